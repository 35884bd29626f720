// A legend: for each key a coloured square with black edge and its text, in
// a column that continues in further columns when a height is reached.
#ifndef BRELO_CHART_LEGEND_H
#define BRELO_CHART_LEGEND_H

#include <string>
#include <utility>
#include <vector>

#include "chart/TextBox.h"

class DrawArea;

class LegendBox : public Box {
  public:
    // The top left corner at (x, y).
    LegendBox(int x, int y, const std::string& font = "", double fontSize = 8);

    void addKey(const std::string& text, int color);
    // Columns are at most this high (0: one column).
    void setMaxHeight(int height) { m_nMaxHeight = height; }
    void setPos(int x, int y) { m_nX = x, m_nY = y; }

    bool empty() const { return m_vKeys.empty(); }
    int getLeft() const { return m_nX; }
    int getTop() const { return m_nY; }
    // Size in pixels, measured with the legend's font.
    int getWidth() const;
    int getHeight() const;
    // Draws the keys given, or keys when none were (a chart's named data
    // sets).
    void draw(DrawArea& d, const std::vector<std::pair<std::string, int>>& keys) const;

  private:
    int rowHeight() const;
    int rowsPerColumn(size_t keys) const;
    int columnWidth(const std::vector<std::pair<std::string, int>>& keys) const;

    int m_nX, m_nY;
    std::string m_strFont;
    double m_dFontSize;
    int m_nMaxHeight = 0;
    std::vector<std::pair<std::string, int>> m_vKeys;
};

#endif

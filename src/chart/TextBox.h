// Boxes and text boxes: titles, free texts, axis and data labels.
#ifndef BRELO_CHART_TEXTBOX_H
#define BRELO_CHART_TEXTBOX_H

#include <string>

#include "chart/ChartConstants.h"

class DrawArea;

class Box {
  public:
    virtual ~Box() = default;
    // -1 as edge colour means no edge; raisedEffect is a bevel width in pixels.
    void setBackground(int color, int edgeColor = -1, int raisedEffect = 0);

    int getBgColor() const { return m_nBgColor; }
    int getEdgeColor() const { return m_nEdgeColor; }
    int getRaisedEffect() const { return m_nRaisedEffect; }

  protected:
    int m_nBgColor = Chart::Transparent;
    int m_nEdgeColor = Chart::Transparent;
    int m_nRaisedEffect = 0;
};

class TextBox : public Box {
  public:
    TextBox() = default;
    TextBox(const std::string& text, const std::string& font, double fontSize, int fontColor,
            double angle = 0);

    void setText(const std::string& text) { m_strText = text; }
    void setFontStyle(const std::string& font) { m_strFont = font; }
    void setFontSize(double size) { m_dFontSize = size; }
    void setFontColor(int color) { m_nFontColor = color; }
    void setFontAngle(double angle) { m_dAngle = angle; }
    // Which point of the box sits at the reference point (Chart::TopLeft ...).
    void setAlignment(int alignment) { m_nAlignment = alignment; }
    // Offset in pixels added to the reference point.
    void setPos(int x, int y) {
        m_nPosX = x;
        m_nPosY = y;
    }
    void setMargin(int margin) { m_nMargin = margin; }

    const std::string& getText() const { return m_strText; }
    const std::string& getFont() const { return m_strFont; }
    double getFontSize() const { return m_dFontSize; }
    int getFontColor() const { return m_nFontColor; }
    double getFontAngle() const { return m_dAngle; }
    int getAlignment() const { return m_nAlignment; }
    int getPosX() const { return m_nPosX; }
    int getPosY() const { return m_nPosY; }
    int getMargin() const { return m_nMargin; }

    // Draws str (the box's own text when str is null) with the box point of
    // the alignment at (x, y) plus the offset of setPos.
    void draw(DrawArea& d, double x, double y, const std::string* str = nullptr) const;

  private:
    std::string m_strText;
    std::string m_strFont;
    double m_dFontSize = 8;
    int m_nFontColor = Chart::TextColor;
    double m_dAngle = 0;
    int m_nAlignment = Chart::TopLeft;
    int m_nPosX = 0;
    int m_nPosY = 0;
    int m_nMargin = 0;
};

#endif

// What every chart has: a size, a background with edge and raised effect,
// a title, free texts, and the rendering to an image, a recording or figure
// files (PNG and its PDF twin, see Figure.h).
//
// Charts own their titles, texts, axes and layers; the pointers handed out
// stay valid for the chart's life. Free a chart made with new by delete or
// destroy().
#ifndef BRELO_CHART_BASECHART_H
#define BRELO_CHART_BASECHART_H

#include <memory>
#include <string>
#include <vector>

#include "chart/ChartConstants.h"
#include "chart/DrawArea.h"
#include "chart/Legend.h"
#include "chart/TextBox.h"

class BaseChart {
  public:
    BaseChart(int width, int height, int bgColor, int edgeColor, int raisedEffect);
    virtual ~BaseChart();
    BaseChart(const BaseChart&) = delete;
    BaseChart& operator=(const BaseChart&) = delete;
    void destroy() { delete this; }

    // The title spans the top of the chart; font "" is the default font.
    TextBox* addTitle(const std::string& text, const std::string& font = "", double fontSize = 12,
                      int fontColor = Chart::TextColor, int bgColor = Chart::Transparent,
                      int edgeColor = Chart::Transparent);
    // Free text whose box point given by alignment lies at (x, y); angle in
    // degrees counter-clockwise.
    TextBox* addText(int x, int y, const std::string& text, const std::string& font = "",
                     double fontSize = 8, int fontColor = Chart::TextColor,
                     int alignment = Chart::TopLeft, double angle = 0);
    void setBackground(int color, int edgeColor = -1, int raisedEffect = 0);
    // A legend with its top left corner at (x, y): its keys are those added
    // to it, else the chart's named data sets.
    LegendBox* addLegend(int x, int y, const std::string& font = "", double fontSize = 8);

    int getWidth() const { return m_nWidth; }
    int getHeight() const { return m_nHeight; }

    // Draws the chart once and writes it as PNG with its PDF twin (as
    // Chart::WriteFigure), or as SVG when the name ends in ".svg": false
    // when a file cannot be written.
    bool makeChart(const std::string& filename);
    // Draws the chart and hands out the image, owned by the chart and valid
    // until the next makeChart or the chart's end.
    DrawArea* makeChart();
    // Draws the chart into a recording (DrawArea::Recording), from which
    // Chart::WriteFigure writes the figure files; more may be drawn on it
    // first, in the chart's pixels (XYChart::getXCoor ...).
    std::unique_ptr<DrawArea> makeDrawing();
    // Draws the whole chart into d with its top left corner at d's origin.
    void paint(DrawArea& d);
    // Where the texts of the last drawing went (makeChart, makeDrawing).
    const std::vector<Chart::TextExtent>& textExtents() const { return m_vTextExtents; }

  protected:
    // Draws the chart's own content between background and texts.
    virtual void drawContent(DrawArea& d) = 0;
    // The keys of a legend given none: text and colour of each named data
    // set.
    virtual std::vector<std::pair<std::string, int>> legendKeys() const { return {}; }
    // Called when the chart exceeds the image size limit, to fit its layout
    // into w x h pixels. The default scales the positions of texts (and, in
    // a multi-chart, of its sub-charts) by m_dScale; returns a phrase that
    // tells how the chart was fitted.
    virtual std::string shrinkTo(int w, int h);
    // Renders at the requested size (no size limit handling).
    std::unique_ptr<DrawArea> render();

    int m_nWidth;
    int m_nHeight;
    double m_dScale = 1;

  private:
    void drawBackground(DrawArea& d) const;
    void drawTitle(DrawArea& d) const;
    void drawTexts(DrawArea& d) const;
    void drawEdge(DrawArea& d) const;
    void drawLegend(DrawArea& d) const;
    std::unique_ptr<DrawArea> renderWithinLimits();
    void fitWithinLimits();

    int m_nBgColor;
    int m_nEdgeColor;
    int m_nRaisedEffect;
    std::unique_ptr<TextBox> m_pTitle;
    std::unique_ptr<LegendBox> m_pLegend;
    std::vector<std::unique_ptr<TextBox>> m_vTexts;
    std::vector<std::pair<int, int>> m_vTextPos;
    std::unique_ptr<DrawArea> m_pImage;
    std::vector<Chart::TextExtent> m_vTextExtents;
};

#endif

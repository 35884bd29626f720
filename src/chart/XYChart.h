// A chart with a rectangular plot area, an x and a y axis, and layers.
#ifndef BRELO_CHART_XYCHART_H
#define BRELO_CHART_XYCHART_H

#include <memory>
#include <string>
#include <vector>

#include "chart/Axis.h"
#include "chart/BaseChart.h"
#include "chart/Layer.h"

class XYChart : public BaseChart {
  public:
    XYChart(int width, int height, int bgColor = Chart::BackgroundColor,
            int edgeColor = Chart::Transparent, int raisedEffect = 0);

    // -1 or Chart::Transparent leave out the alternate background, the edge
    // or a grid.
    void setPlotArea(int x, int y, int width, int height, int bgColor = Chart::Transparent,
                     int altBgColor = -1, int edgeColor = -1, int hGridColor = 0xc0c0c0,
                     int vGridColor = Chart::Transparent);
    // Layers are clipped to the plot area widened by margin pixels.
    void setClipping(int margin = 0);
    Axis* xAxis() { return &m_xAxis; }
    Axis* yAxis() { return &m_yAxis; }

    LineLayer* addLineLayer(const std::vector<double>& data, int color = -1,
                            const std::string& name = "", int depth = 0);
    LineLayer* addLineLayer();
    // An empty bar layer whose data sets are combined by dataCombineMethod
    // (Chart::Stack, Chart::Percentage ...).
    BarLayer* addBarLayer(int dataCombineMethod, int depth = 0);
    BarLayer* addBarLayer(const std::vector<double>& data, int color = -1,
                          const std::string& name = "", int depth = 0);
    ScatterLayer* addScatterLayer(const std::vector<double>& xData,
                                  const std::vector<double>& yData, const std::string& name = "",
                                  int symbol = Chart::SquareSymbol, int symbolSize = 5,
                                  int fillColor = -1, int edgeColor = -1);

    int getPlotAreaLeft() const { return m_nPlotX; }
    int getPlotAreaTop() const { return m_nPlotY; }
    int getPlotAreaWidth() const { return m_nPlotW; }
    int getPlotAreaHeight() const { return m_nPlotH; }
    // Settles both axes from the layers; getXCoor and getYCoor then give the
    // pixel of a value (makeChart does this itself).
    void layout();
    // Where the axes' labels and titles need more room than the margins
    // give them, the chart grows (the plot area keeps its size and moves
    // with the left and top margins). Otherwise, when drawn, the plot area
    // gives up the room they need (see drawContent).
    void growToFitAxes();
    double getXCoor(double v) const;
    double getYCoor(double v) const;

  protected:
    void drawContent(DrawArea& d) override;
    std::string shrinkTo(int w, int h) override;
    std::vector<std::pair<std::string, int>> legendKeys() const override;

  private:
    PlotFrame frame() const;
    void fitPlotArea(DrawArea& d);
    void missingRoom(DrawArea& d, int& dLeft, int& dRight, int& dTop, int& dBottom) const;
    void drawPlotBackground(DrawArea& d) const;
    void drawGrid(DrawArea& d) const;
    void drawLayers(DrawArea& d) const;
    void drawMarks(DrawArea& d) const;

    int m_nPlotX = 0, m_nPlotY = 0, m_nPlotW = 0, m_nPlotH = 0;
    int m_nPlotBg = Chart::Transparent;
    int m_nPlotAltBg = -1;
    int m_nPlotEdge = -1;
    int m_nHGrid = 0xc0c0c0;
    int m_nVGrid = Chart::Transparent;
    bool m_bClip = false;
    int m_nClipMargin = 0;
    Axis m_xAxis;
    Axis m_yAxis;
    int m_nColorCounter = 0;
    std::vector<std::unique_ptr<Layer>> m_vLayers;
};

#endif

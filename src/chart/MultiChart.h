// A chart made of other charts placed at given positions, with its own
// background, title and texts.
#ifndef BRELO_CHART_MULTICHART_H
#define BRELO_CHART_MULTICHART_H

#include <memory>
#include <utility>
#include <vector>

#include "chart/BaseChart.h"

class MultiChart : public BaseChart {
  public:
    MultiChart(int width, int height, int bgColor = Chart::BackgroundColor,
               int edgeColor = Chart::Transparent, int raisedEffect = 0);
    // The sub-chart is drawn with its top left corner at (x, y). It is not
    // owned: it must live until this chart has been made.
    void addChart(int x, int y, BaseChart* c);
    // The same for a sub-chart this chart then owns.
    void addChart(int x, int y, std::unique_ptr<BaseChart> c);

  protected:
    void drawContent(DrawArea& d) override;

  private:
    std::vector<std::pair<std::pair<int, int>, BaseChart*>> m_vCharts;
    std::vector<std::unique_ptr<BaseChart>> m_vOwned;
};

#endif

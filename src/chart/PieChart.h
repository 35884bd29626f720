// A pie of sectors in the default data colours, clockwise from 12 o'clock.
#ifndef BRELO_CHART_PIECHART_H
#define BRELO_CHART_PIECHART_H

#include <string>
#include <vector>

#include "chart/BaseChart.h"

class PieChart : public BaseChart {
  public:
    PieChart(int width, int height, int bgColor = Chart::BackgroundColor,
             int edgeColor = Chart::Transparent, int raisedEffect = 0);
    void setPieSize(int x, int y, int r);
    // Sector labels are drawn only when labels are given.
    void setData(const std::vector<double>& data,
                 const std::vector<std::string>& labels = std::vector<std::string>());

  protected:
    void drawContent(DrawArea& d) override;

  private:
    int m_nCX = 0, m_nCY = 0, m_nR = 0;
    std::vector<double> m_vdData;
    std::vector<std::string> m_vstrLabels;
};

#endif

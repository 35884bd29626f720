#include "plot/PlotStyle.h"

#include <cmath>
#include <iostream>

#include "chart/Chart.h"
#include "core/Messages.h"

namespace PlotStyle {

void Report(std::ostream& os, const std::string& message) {
    os << message << std::endl;
}

void AddCommonTitle(BaseChart& c, const std::string& title) {
    c.addTitle(title, kTitleFont, kTitleSize, 0xffffff, Chart::Transparent, Chart::Transparent)
        ->setBackground(kTitleBackground, -1, 0);
}

int CommonTitleWidth(const std::string& title) {
    double w, h;
    DrawArea::MeasureText(title, kTitleFont, kTitleSize, w, h);
    return static_cast<int>(std::ceil(w)) + 40;
}

void SetCommonPlotArea(XYChart& c, int x, int y, int w, int h) {
    c.setPlotArea(x, y, w, h, 0xffffff, -1, -1, kGridColor, Chart::Transparent);
    c.setClipping(0);
}

BarLayer* AddStackedBars(XYChart& c, const DBL_VCTR_2D& dataSets) {
    BarLayer* layer = c.addBarLayer(Chart::Percentage);
    for (const DBL_VCTR_1D& ds : dataSets)
        layer->addDataSet(ds);
    layer->setBorderColor(Chart::Transparent);
    // The full height whatever else the chart holds (lines between groups).
    c.yAxis()->setLinearScale(0, 100);
    c.yAxis()->setLabelFormat("{={value}*0.01}");
    c.yAxis()->setTickDensity(50, -1);
    return layer;
}

DBL_VCTR_2D Transpose(const DBL_VCTR_2D& m) {
    DBL_VCTR_2D t(m[0].size(), DBL_VCTR_1D(m.size()));
    for (size_t i = 0; i < m.size(); ++i)
        for (size_t k = 0; k < m[i].size(); ++k)
            t[k][i] = m[i][k];
    return t;
}

bool IsRectangular(const DBL_VCTR_2D& m) {
    if (m.empty() || m[0].empty())
        return false;
    for (const DBL_VCTR_1D& row : m)
        if (row.size() != m[0].size())
            return false;
    return true;
}

int WriteChart(BaseChart& c, const std::string& file, const std::string& function) {
    if (c.makeChart(file))
        return 0;
    PrintMessage("Unable to make chart - " + function);
    return -1;
}

}  // namespace PlotStyle

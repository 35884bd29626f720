#include "chart/MultiChart.h"

#include <cmath>

MultiChart::MultiChart(int width, int height, int bgColor, int edgeColor, int raisedEffect)
    : BaseChart(width, height, bgColor, edgeColor, raisedEffect) {}

void MultiChart::addChart(int x, int y, BaseChart* c) {
    if (c)
        m_vCharts.push_back({{x, y}, c});
}

void MultiChart::addChart(int x, int y, std::unique_ptr<BaseChart> c) {
    addChart(x, y, c.get());
    if (c)
        m_vOwned.push_back(std::move(c));
}

void MultiChart::drawContent(DrawArea& d) {
    for (auto& [pos, chart] : m_vCharts) {
        if (d.isVector()) {
            d.pushCanvas(pos.first * m_dScale, pos.second * m_dScale, chart->getWidth(),
                         chart->getHeight(), m_dScale);
            chart->paint(d);
            d.popCanvas();
            continue;
        }
        DrawArea* sub = chart->makeChart();
        if (m_dScale == 1) {
            d.merge(*sub, pos.first, pos.second);
            continue;
        }
        d.mergeScaled(*sub, static_cast<int>(std::lround(pos.first * m_dScale)),
                      static_cast<int>(std::lround(pos.second * m_dScale)),
                      std::max(1, static_cast<int>(std::lround(sub->getWidth() * m_dScale))),
                      std::max(1, static_cast<int>(std::lround(sub->getHeight() * m_dScale))));
    }
}

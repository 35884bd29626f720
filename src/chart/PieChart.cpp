#include "chart/PieChart.h"

#include <cmath>

PieChart::PieChart(int width, int height, int bgColor, int edgeColor, int raisedEffect)
    : BaseChart(width, height, bgColor, edgeColor, raisedEffect),
      m_nCX(width / 2),
      m_nCY(height / 2),
      m_nR(std::min(width, height) / 3) {}

void PieChart::setPieSize(int x, int y, int r) {
    m_nCX = x;
    m_nCY = y;
    m_nR = r;
}

void PieChart::setData(const std::vector<double>& data, const std::vector<std::string>& labels) {
    m_vdData = data;
    m_vstrLabels = labels;
}

void PieChart::drawContent(DrawArea& d) {
    double total = 0;
    for (double v : m_vdData)
        if (v > 0 && std::isfinite(v))
            total += v;
    if (total <= 0)
        return;
    double cx = m_nCX * m_dScale, cy = m_nCY * m_dScale, r = m_nR * m_dScale;
    double start = 0;
    for (size_t i = 0; i < m_vdData.size(); ++i) {
        double v = m_vdData[i] > 0 && std::isfinite(m_vdData[i]) ? m_vdData[i] : 0;
        double sweep = 360.0 * v / total;
        if (sweep > 0)
            d.sector(cx, cy, r, start, start + sweep, Chart::LineColor,
                     Chart::DefaultDataColor(static_cast<int>(i)));
        if (i < m_vstrLabels.size() && !m_vstrLabels[i].empty()) {
            double mid = (start + sweep / 2 - 90) * 3.14159265358979323846 / 180;
            d.text(m_vstrLabels[i], "", 8, cx + (r + 15) * std::cos(mid),
                   cy + (r + 15) * std::sin(mid), Chart::TextColor, Chart::Center, 0);
        }
        start += sweep;
    }
}

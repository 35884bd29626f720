#include "chart/XYChart.h"

#include <algorithm>
#include <cmath>
#include <limits>

XYChart::XYChart(int width, int height, int bgColor, int edgeColor, int raisedEffect)
    : BaseChart(width, height, bgColor, edgeColor, raisedEffect),
      m_nPlotX(50),
      m_nPlotY(30),
      m_nPlotW(std::max(1, width - 80)),
      m_nPlotH(std::max(1, height - 70)),
      m_xAxis(true),
      m_yAxis(false) {}

void XYChart::setPlotArea(int x, int y, int width, int height, int bgColor, int altBgColor,
                          int edgeColor, int hGridColor, int vGridColor) {
    m_nPlotX = x;
    m_nPlotY = y;
    m_nPlotW = std::max(1, width);
    m_nPlotH = std::max(1, height);
    m_nPlotBg = bgColor;
    m_nPlotAltBg = altBgColor;
    m_nPlotEdge = edgeColor;
    m_nHGrid = hGridColor;
    m_nVGrid = vGridColor;
}

void XYChart::setClipping(int margin) {
    m_bClip = true;
    m_nClipMargin = margin;
}

LineLayer* XYChart::addLineLayer() {
    m_vLayers.push_back(std::make_unique<LineLayer>(&m_nColorCounter));
    return static_cast<LineLayer*>(m_vLayers.back().get());
}

LineLayer* XYChart::addLineLayer(const std::vector<double>& data, int color,
                                 const std::string& name, int /*depth*/) {
    LineLayer* layer = addLineLayer();
    layer->addDataSet(data, color, name);
    return layer;
}

BarLayer* XYChart::addBarLayer(int dataCombineMethod, int /*depth*/) {
    m_vLayers.push_back(std::make_unique<BarLayer>(&m_nColorCounter, dataCombineMethod));
    return static_cast<BarLayer*>(m_vLayers.back().get());
}

BarLayer* XYChart::addBarLayer(const std::vector<double>& data, int color, const std::string& name,
                               int depth) {
    BarLayer* layer = addBarLayer(Chart::Overlay, depth);
    layer->addDataSet(data, color, name);
    return layer;
}

ScatterLayer* XYChart::addScatterLayer(const std::vector<double>& xData,
                                       const std::vector<double>& yData, const std::string& name,
                                       int symbol, int symbolSize, int fillColor, int edgeColor) {
    m_vLayers.push_back(
        std::make_unique<ScatterLayer>(&m_nColorCounter, symbol, symbolSize, edgeColor));
    Layer* layer = m_vLayers.back().get();
    layer->addDataSet(yData, fillColor, name);
    layer->setXData(xData);
    return static_cast<ScatterLayer*>(layer);
}

void XYChart::layout() {
    const double inf = std::numeric_limits<double>::infinity();
    double xLo = inf, xHi = -inf, yLo = inf, yHi = -inf;
    bool hasBars = false, hasXData = false, percentOnly = !m_vLayers.empty();
    for (const auto& layer : m_vLayers) {
        layer->xRange(xLo, xHi);
        layer->yRange(yLo, yHi);
        hasBars = hasBars || layer->isBarLayer();
        hasXData = hasXData || layer->hasXData();
        // A percentage bar layer reports exactly 0..100.
        double lo = inf, hi = -inf;
        layer->yRange(lo, hi);
        percentOnly = percentOnly && layer->isBarLayer() && lo == 0 && hi == 100;
    }
    if (m_xAxis.isLabelAxis() && !m_xAxis.hasFixedScale()) {
        int n = m_xAxis.labelCount();
        if (hasBars || n == 1)
            m_xAxis.resolveLabelScale(-0.5, n - 0.5, m_nPlotW);
        else
            m_xAxis.resolveLabelScale(0, n - 1, m_nPlotW);
    } else if (hasBars && !hasXData && !m_xAxis.hasFixedScale() && xLo <= xHi) {
        m_xAxis.resolveExactScale(xLo, xHi, m_nPlotW);  // one slot per bar position
    } else {
        m_xAxis.resolveScale(xLo, xHi, m_nPlotW);
    }
    // Bars stacked to 100 % fill the plot area exactly.
    if (percentOnly && !m_yAxis.hasFixedScale())
        m_yAxis.setLinearScale(0, 100);
    m_yAxis.resolveScale(yLo, yHi, m_nPlotH);
}

PlotFrame XYChart::frame() const {
    return PlotFrame{&m_xAxis, &m_yAxis, m_nPlotX, m_nPlotY, m_nPlotW, m_nPlotH};
}

double XYChart::getXCoor(double v) const {
    return frame().px(v);
}

double XYChart::getYCoor(double v) const {
    return frame().py(v);
}

void XYChart::drawPlotBackground(DrawArea& d) const {
    d.rect(m_nPlotX, m_nPlotY, m_nPlotX + m_nPlotW - 1, m_nPlotY + m_nPlotH - 1, Chart::Transparent,
           m_nPlotBg);
    if (!Chart::IsVisible(Chart::ResolveColor(m_nPlotAltBg, Chart::Transparent)))
        return;
    // Alternate bands between successive y ticks.
    PlotFrame f = frame();
    const std::vector<double>& ticks = m_yAxis.ticks();
    for (size_t i = 0; i + 1 < ticks.size(); i += 2)
        d.rect(m_nPlotX, static_cast<int>(std::lround(f.py(ticks[i + 1]))) + 1,
               m_nPlotX + m_nPlotW - 1, static_cast<int>(std::lround(f.py(ticks[i]))),
               Chart::Transparent, m_nPlotAltBg);
}

void XYChart::drawGrid(DrawArea& d) const {
    PlotFrame f = frame();
    if (Chart::IsVisible(Chart::ResolveColor(m_nHGrid, Chart::Transparent)))
        for (double t : m_yAxis.ticks()) {
            double y = std::round(f.py(t));
            if (y >= m_nPlotY && y < m_nPlotY + m_nPlotH)
                d.line(m_nPlotX, y, m_nPlotX + m_nPlotW - 1, y, m_nHGrid);
        }
    if (Chart::IsVisible(Chart::ResolveColor(m_nVGrid, Chart::Transparent)))
        for (double t : m_xAxis.ticks()) {
            double x = std::round(f.px(t));
            if (x >= m_nPlotX && x < m_nPlotX + m_nPlotW)
                d.line(x, m_nPlotY, x, m_nPlotY + m_nPlotH - 1, m_nVGrid);
        }
}

void XYChart::drawLayers(DrawArea& d) const {
    PlotFrame f = frame();
    if (m_bClip)
        d.setClipRect(m_nPlotX - m_nClipMargin, m_nPlotY - m_nClipMargin,
                      m_nPlotW + 2 * m_nClipMargin, m_nPlotH + 2 * m_nClipMargin);
    for (const auto& layer : m_vLayers)
        layer->draw(d, f);
    d.clearClip();
    for (const auto& layer : m_vLayers)
        layer->drawDataLabels(d, f);
}

// Marks of the x axis: vertical lines over the layers, inside the plot area.
void XYChart::drawMarks(DrawArea& d) const {
    PlotFrame f = frame();
    for (const Axis::Mark& m : m_xAxis.marks()) {
        const double x = std::round(f.px(m.value));
        if (x < m_nPlotX || x >= m_nPlotX + m_nPlotW)
            continue;
        d.line(x, m_nPlotY, x, m_nPlotY + m_nPlotH - 1, m.color);
        if (!m.text.empty())
            d.text(m.text, "", 8, x + 3, m_nPlotY + 2, m.color, Chart::TopLeft);
    }
}

void XYChart::drawContent(DrawArea& d) {
    layout();
    drawPlotBackground(d);
    drawGrid(d);
    drawLayers(d);
    drawMarks(d);
    d.rect(m_nPlotX, m_nPlotY, m_nPlotX + m_nPlotW - 1, m_nPlotY + m_nPlotH - 1, m_nPlotEdge,
           Chart::Transparent);
    m_xAxis.draw(d, m_nPlotX, m_nPlotY, m_nPlotW, m_nPlotH);
    m_yAxis.draw(d, m_nPlotX, m_nPlotY, m_nPlotW, m_nPlotH);
}

// The plot area gives up the excess, so bars get narrower (or shorter)
// while texts and margins keep their size.
std::string XYChart::shrinkTo(int w, int h) {
    int excessW = m_nWidth - w, excessH = m_nHeight - h;
    if (m_nPlotW - excessW < 1 || m_nPlotH - excessH < 1)
        return BaseChart::shrinkTo(w, h);
    m_nPlotW -= excessW;
    m_nPlotH -= excessH;
    m_nWidth = w;
    m_nHeight = h;
    return "with a narrower plot area and narrower bars";
}

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
    std::vector<std::array<double, 4>> symbols, taken;
    for (const auto& layer : m_vLayers)
        layer->addSymbolBoxes(f, symbols);
    for (const auto& layer : m_vLayers)
        layer->drawDataLabels(d, f, taken, symbols);
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

// What the tick labels and axis titles lack beyond each side of the plot
// area to stay inside the chart (pixels, 0 where they fit).
void XYChart::missingRoom(DrawArea& d, int& dLeft, int& dRight, int& dTop, int& dBottom) const {
    const int kEdge = 2;
    double xLow, xHigh, yLow, yHigh;
    m_xAxis.overhang(d, m_nPlotW, xLow, xHigh);
    m_yAxis.overhang(d, m_nPlotH, yLow, yHigh);
    const int left = static_cast<int>(std::ceil(std::max(m_yAxis.band(d), xLow))) + kEdge;
    const int bottom = static_cast<int>(std::ceil(std::max(m_xAxis.band(d), yLow))) + kEdge;
    const int right = static_cast<int>(std::ceil(xHigh)) + kEdge;
    const int top = static_cast<int>(std::ceil(yHigh)) + kEdge;
    dLeft = std::max(0, left - m_nPlotX);
    dRight = std::max(0, m_nPlotX + m_nPlotW + right - m_nWidth);
    dTop = std::max(0, top - m_nPlotY);
    dBottom = std::max(0, m_nPlotY + m_nPlotH + bottom - m_nHeight);
}

// Tick labels and axis titles are never cut at the chart's edges: where
// they need more room than the plot area leaves them, the plot area gives
// it up (it never grows). A chart whose texts fit keeps its plot area.
void XYChart::fitPlotArea(DrawArea& d) {
    const int kSmallest = 20;
    for (int pass = 0; pass < 3; ++pass) {
        int dLeft, dRight, dTop, dBottom;
        missingRoom(d, dLeft, dRight, dTop, dBottom);
        if (dLeft + dRight + dTop + dBottom == 0)
            return;
        if (m_nPlotW - dLeft - dRight < kSmallest || m_nPlotH - dTop - dBottom < kSmallest)
            return;
        m_nPlotX += dLeft;
        m_nPlotW -= dLeft + dRight;
        m_nPlotY += dTop;
        m_nPlotH -= dTop + dBottom;
        layout();
    }
}

void XYChart::growToFitAxes() {
    std::unique_ptr<DrawArea> scratch = DrawArea::Recording(1, 1);
    layout();
    int dLeft, dRight, dTop, dBottom;
    missingRoom(*scratch, dLeft, dRight, dTop, dBottom);
    m_nPlotX += dLeft;
    m_nPlotY += dTop;
    m_nWidth += dLeft + dRight;
    m_nHeight += dTop + dBottom;
}

void XYChart::drawContent(DrawArea& d) {
    layout();
    fitPlotArea(d);
    drawPlotBackground(d);
    drawGrid(d);
    drawLayers(d);
    drawMarks(d);
    d.rect(m_nPlotX, m_nPlotY, m_nPlotX + m_nPlotW - 1, m_nPlotY + m_nPlotH - 1, m_nPlotEdge,
           Chart::Transparent);
    m_xAxis.draw(d, m_nPlotX, m_nPlotY, m_nPlotW, m_nPlotH);
    m_yAxis.draw(d, m_nPlotX, m_nPlotY, m_nPlotW, m_nPlotH);
}

std::vector<std::pair<std::string, int>> XYChart::legendKeys() const {
    std::vector<std::pair<std::string, int>> keys;
    for (const auto& layer : m_vLayers)
        for (int i = 0; i < layer->dataSetCount(); ++i)
            if (!layer->dataSet(i).name().empty())
                keys.push_back({layer->dataSet(i).name(), layer->dataSet(i).color()});
    return keys;
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

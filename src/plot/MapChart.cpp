#include "plot/MapChart.h"

#include <algorithm>
#include <cmath>

#include "core/Messages.h"
#include "plot/PlotUtilities.h"

void CMapChart::setPlane(double x0, double x1, double y0, double y1, double shiftX, double shiftY,
                         bool labelled) {
    m_dShiftX = shiftX;
    m_dShiftY = shiftY;
    xAxis()->setLinearScale(x0 - shiftX, x1 - shiftX);
    yAxis()->setLinearScale(y0 - shiftY, y1 - shiftY);
    for (Axis* axis : {xAxis(), yAxis()}) {
        axis->setTickDensity(labelled ? 80 : 50);
        if (!labelled)
            axis->setColors(Chart::LineColor, Chart::Transparent, Chart::Transparent,
                            Chart::Transparent);
    }
    if (labelled) {
        xAxis()->setTitle("x", "", 9);
        yAxis()->setTitle("y", "", 9);
    }
}

void CMapChart::drawContent(DrawArea& d) {
    XYChart::drawContent(d);
    const int x = getPlotAreaLeft(), y = getPlotAreaTop();
    const int w = getPlotAreaWidth(), h = getPlotAreaHeight();
    if (m_fnMap) {
        d.setClipRect(x, y, w, h);
        m_fnMap(d, *this);
        d.clearClip();
    }
    if (m_fnOver)
        m_fnOver(d, *this);
}

namespace MapStyle {

void PlotAreaSize(double W, double H, int shortSide, int longest, int& nW, int& nH) {
    const double ratio = std::max(W, H) / std::min(W, H);
    double longSide = std::floor(shortSide * ratio + 0.5);
    if (longSide > longest) {
        PrintMessage(
            "Map too elongated for the image limit; its shorter side is drawn shorter "
            "than " +
            std::to_string(shortSide) + " pixels.");
        longSide = longest;
        shortSide = std::max(1, static_cast<int>(longest / ratio));
    }
    nW = W > H ? static_cast<int>(longSide) : shortSide;
    nH = W > H ? shortSide : static_cast<int>(longSide);
}

int OverWhite(int color, double opacity) {
    const double a = std::clamp(opacity, 0.0, 1.0);
    int out = 0;
    for (int shift : {16, 8, 0}) {
        const int channel = (color >> shift) & 0xff;
        out |= static_cast<int>(std::lround(255 - a * (255 - channel))) << shift;
    }
    return out;
}

void FillCell(DrawArea& d, const CMapChart& c, const CELL_POLYGON& polygon, int fillColor) {
    std::vector<double> xs, ys;
    for (const SPosition& p : polygon) {
        xs.push_back(c.px(p.m_dX));
        ys.push_back(c.py(p.m_dY));
    }
    d.polygon(xs, ys, Chart::Transparent, fillColor);
}

void DrawCellSides(DrawArea& d, const CMapChart& c, const CELL_POLYGON& polygon, double x0,
                   double x1, double y0, double y1, int color) {
    for (size_t i = 0; i < polygon.size(); ++i) {
        const SPosition& a = polygon[i];
        const SPosition& b = polygon[(i + 1) % polygon.size()];
        const bool onBorder = (a.m_dX == x0 && b.m_dX == x0) || (a.m_dX == x1 && b.m_dX == x1) ||
                              (a.m_dY == y0 && b.m_dY == y0) || (a.m_dY == y1 && b.m_dY == y1);
        if (!onBorder)
            d.line(c.px(a.m_dX), c.py(a.m_dY), c.px(b.m_dX), c.py(b.m_dY), color);
    }
}

void SiteMark(DrawArea& d, const CMapChart& c, double x, double y, int r, int edgeColor,
              int fillColor) {
    const int cx = static_cast<int>(std::lround(c.px(x))),
              cy = static_cast<int>(std::lround(c.py(y)));
    d.circle(cx, cy, r, r, edgeColor, fillColor);
}

namespace {
const double kKeyFontSize = 8;
const int kKeyRow = 16, kSwatch = 10, kKeyGap = 6;

std::string KeyText(int k) {
    return "Cluster " + std::to_string(k + 1);
}
}  // namespace

int ClusterKeysWidth(int K) {
    DrawArea probe(1, 1);
    double widest = 0;
    for (int k = 0; k < K; ++k) {
        double w = 0, h = 0;
        probe.textSize(KeyText(k), "", kKeyFontSize, w, h);
        widest = std::max(widest, w);
    }
    return kSwatch + kKeyGap + static_cast<int>(std::ceil(widest)) + 2;
}

int ClusterKeysHeight(int K) {
    return K * kKeyRow;
}

void DrawClusterKeys(DrawArea& d, double x, double y, int K) {
    for (int k = 0; k < K; ++k) {
        const int top = static_cast<int>(y) + k * kKeyRow;
        d.rect(static_cast<int>(x), top, static_cast<int>(x) + kSwatch, top + kSwatch, kBlack,
               GetClusterColor(k));
        d.text(KeyText(k), "", kKeyFontSize, x + kSwatch + kKeyGap, top + kSwatch / 2.0, kBlack,
               Chart::Left);
    }
}

int WriteMap(BaseChart& c, const std::string& file, const std::string& function) {
    if (c.makeChart(file))
        return 0;
    PrintMessage("Unable to make chart - " + function);
    return -1;
}

}  // namespace MapStyle

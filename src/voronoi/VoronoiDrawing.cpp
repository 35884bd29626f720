// Drawings of the tessellation and of the neighbourhood system, so that a
// user can inspect the spatial structure before the sampler runs.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <string>

#include "chart/Chart.h"
#include "core/Messages.h"
#include "voronoi/Voronoi.h"
#include "voronoi/VoronoiGeometry.h"

namespace {

const int kChartBackground = 0xffffcc;
const int kTitleBackground = 0x804020;
const int kLineGrey = 0xc0c0c0;
const int kRed = 0xff0000;
const int kWhite = 0xffffff;
const int kBlack = 0x000000;

// Longest side of a drawing box over its shortest. A box flatter than this
// (points on one axis-parallel line, or a lone point) would give a chart of
// unbounded size, or a division by zero.
const double kMaxAspect = 20.0;

struct SBox {
    double xmin, xmax, ymin, ymax;
    double Width() const { return xmax - xmin; }
    double Height() const { return ymax - ymin; }
};

// Widens a side shorter than 1/kMaxAspect of the other about its centre; a
// box with no extent at all becomes one unit wide and high.
void WidenToMinimalExtent(double& lo, double& hi, double minimal) {
    if (hi - lo >= minimal)
        return;
    const double mid = 0.5 * (lo + hi);
    lo = mid - 0.5 * minimal;
    hi = mid + 0.5 * minimal;
}

SBox WithMinimalExtent(SBox box) {
    double minimal = std::max(box.Width(), box.Height()) / kMaxAspect;
    if (!(minimal > 0.0))
        minimal = 1.0;
    WidenToMinimalExtent(box.xmin, box.xmax, minimal);
    WidenToMinimalExtent(box.ymin, box.ymax, minimal);
    return box;
}

// The shorter side of the plot area is S pixels, the longer one keeps the
// proportions of the box.
void PlotAreaSize(double W, double H, int S, int& nW, int& nH) {
    if (W > H) {
        nH = S;
        nW = static_cast<int>(S * W / H + 0.5);
    } else {
        nW = S;
        nH = static_cast<int>(S * H / W + 0.5);
    }
}

// The common frame of the diagrams: background, title, a white plot area at
// (50, 50) without grids, and axes spanning exactly the box, labelled in the
// data's coordinates.
void SetUpDiagram(XYChart& c, const std::string& title, const SBox& axes, int nW, int nH,
                  int tickDensity) {
    c.addTitle(title, "timesbi.ttf", 14, kWhite, Chart::Transparent, Chart::Transparent)
        ->setBackground(kTitleBackground, -1, 0);
    c.setPlotArea(50, 50, nW, nH, kWhite, -1, -1, Chart::Transparent, Chart::Transparent);
    c.setClipping(0);
    c.xAxis()->setLinearScale(axes.xmin, axes.xmax);
    c.yAxis()->setLinearScale(axes.ymin, axes.ymax);
    c.xAxis()->setTitle("first coordinate", "", 9);
    c.yAxis()->setTitle("second coordinate", "", 9);
    for (Axis* axis : {c.xAxis(), c.yAxis()})
        axis->setTickDensity(tickDensity);
}

// Side in pixels of the symbols of points whose nearest neighbours lie, for
// half of them, within `median` pixels: the design's 5 pixels, smaller where
// points crowd so that the lines between them stay visible.
int SymbolSize(double median) {
    return median >= 10 ? 5 : median >= 6 ? 4 : 3;
}

// Median over the points of the pixel distance to the nearest other point,
// at `scale` pixels a unit (points sorted by x, each scanned outwards until
// x alone is farther than the nearest found).
double MedianNearestPixels(const std::vector<const SPoint*>& points, double scale) {
    if (points.size() < 2)
        return 1e9;
    std::vector<std::pair<double, double>> xy;
    for (const SPoint* p : points)
        xy.push_back({p->m_psXY.m_dX * scale, p->m_psXY.m_dY * scale});
    std::sort(xy.begin(), xy.end());
    std::vector<double> nearest(xy.size(), 1e300);
    for (size_t i = 0; i < xy.size(); ++i)
        for (size_t j = i + 1; j < xy.size(); ++j) {
            const double dx = xy[j].first - xy[i].first;
            if (dx * dx >= nearest[i] && dx * dx >= nearest[j])
                break;
            const double dy = xy[j].second - xy[i].second;
            const double d2 = dx * dx + dy * dy;
            nearest[i] = std::min(nearest[i], d2);
            nearest[j] = std::min(nearest[j], d2);
        }
    std::nth_element(nearest.begin(), nearest.begin() + nearest.size() / 2, nearest.end());
    return std::sqrt(nearest[nearest.size() / 2]);
}

// A scatter layer of circles, labelled with index + 1 when asked.
void AddPointLayer(XYChart& c, const std::vector<const SPoint*>& points, const std::string& name,
                   int symbolSize, int fillColor, bool bDrawLabel,
                   const SPosition& shift = SPosition()) {
    if (points.empty())
        return;
    std::vector<double> x, y;
    std::vector<std::string> labels;
    for (const SPoint* pt : points) {
        x.push_back(pt->m_psXY.m_dX - shift.m_dX);
        y.push_back(pt->m_psXY.m_dY - shift.m_dY);
        labels.push_back(std::to_string(pt->m_nIndex + 1));
    }
    ScatterLayer* layer =
        c.addScatterLayer(x, y, name, Chart::CircleSymbol, symbolSize, fillColor, kBlack);
    if (!bDrawLabel)
        return;
    layer->addExtraField(labels);
    layer->setDataLabelFormat("{field0}");
    TextBox* style = layer->setDataLabelStyle("", 8, Chart::TextColor);
    style->setBackground(Chart::Transparent, Chart::Transparent);
    style->setAlignment(Chart::Left);
    style->setPos(1, 0);
}

void AddGreyLine(XYChart& c, const SPosition& one, const SPosition& two, const SPosition& shift) {
    LineLayer* layer = c.addLineLayer({one.m_dY - shift.m_dY, two.m_dY - shift.m_dY}, kLineGrey);
    layer->setXData({one.m_dX - shift.m_dX, two.m_dX - shift.m_dX});
}

SBox Shifted(const SBox& box, const SPosition& shift) {
    return {box.xmin - shift.m_dX, box.xmax - shift.m_dX, box.ymin - shift.m_dY,
            box.ymax - shift.m_dY};
}

bool Refuse(const char* problem, const char* function) {
    PrintMessage(std::string(problem) + " - CVoronoi::" + function);
    return false;
}

// The margins grow where the coordinates' labels need it (the plot area
// keeps the proportions of the box), then the chart is written.
bool FinishDiagram(XYChart& c, const std::string& file, const char* function) {
    c.growToFitAxes();
    if (c.makeChart(file))
        return true;
    return Refuse("Unable to make chart", function);
}

int NeighborIndex(int o) {
    return o;
}
int NeighborIndex(const CNeighbor& o) {
    return o.m_nIndex;
}

template <class T>
bool NeighborsWithin(const std::vector<std::vector<T>>& vvnNS, size_t nPoints) {
    if (vvnNS.size() > nPoints)
        return false;
    for (const auto& row : vvnNS)
        for (const T& o : row)
            if (NeighborIndex(o) < 0 || static_cast<size_t>(NeighborIndex(o)) >= nPoints)
                return false;
    return true;
}

template <class T>
bool DrawWholeSystem(const std::vector<SPoint>& vptX, const std::vector<double>& vdDataScale,
                     const std::vector<std::vector<T>>& vvnNS, bool bDrawLabel,
                     const std::string& strFigName, const SPosition& shift) {
    const char* fn = "DrawNeighborhoodSystem";
    if (vptX.empty())
        return Refuse("No Voronoi Points", fn);
    if (vdDataScale.size() != 4)
        return Refuse("Wrong Data Scale", fn);
    if (!NeighborsWithin(vvnNS, vptX.size()))
        return Refuse("Wrong Neighborhood System", fn);

    const SBox box =
        WithMinimalExtent({vdDataScale[0], vdDataScale[1], vdDataScale[2], vdDataScale[3]});
    int nW, nH;
    PlotAreaSize(box.Width(), box.Height(), 500, nW, nH);
    XYChart c(nW + 100, nH + 100, kChartBackground, kBlack, 1);
    SetUpDiagram(c, "Neighborhood Diagram", Shifted(box, shift), nW, nH, 50);

    std::vector<const SPoint*> points;
    for (size_t i = 0; i < vvnNS.size(); ++i)
        points.push_back(&vptX[i]);
    for (size_t i = 0; i < vvnNS.size(); ++i)
        for (const T& o : vvnNS[i])
            AddGreyLine(c, vptX[i].m_psXY, vptX[static_cast<size_t>(NeighborIndex(o))].m_psXY,
                        shift);
    const int size = SymbolSize(MedianNearestPixels(points, nW / box.Width()));
    AddPointLayer(c, points, "Data Points", size, kRed, bDrawLabel, shift);
    return FinishDiagram(c, strFigName, fn);
}

template <class T>
bool DrawSinglePoint(int nPtIndex, const std::vector<SPoint>& vptX,
                     const std::vector<std::vector<T>>& vvnNS, bool bDrawLabel,
                     const std::string& strFigName) {
    const char* fn = "DrawNeighborhoodSystem";
    if (vptX.empty())
        return Refuse("No Voronoi Points", fn);
    if (!NeighborsWithin(vvnNS, vptX.size()))
        return Refuse("Wrong Neighborhood System", fn);
    if (nPtIndex < 0 || static_cast<size_t>(nPtIndex) >= vvnNS.size())
        return Refuse("Invalid Point Index", fn);

    const SPoint& point = vptX[static_cast<size_t>(nPtIndex)];
    std::vector<const SPoint*> neighbors;
    SBox bounds{point.m_psXY.m_dX, point.m_psXY.m_dX, point.m_psXY.m_dY, point.m_psXY.m_dY};
    for (const T& o : vvnNS[static_cast<size_t>(nPtIndex)]) {
        const SPoint& pt = vptX[static_cast<size_t>(NeighborIndex(o))];
        neighbors.push_back(&pt);
        bounds.xmin = std::min(bounds.xmin, pt.m_psXY.m_dX);
        bounds.xmax = std::max(bounds.xmax, pt.m_psXY.m_dX);
        bounds.ymin = std::min(bounds.ymin, pt.m_psXY.m_dY);
        bounds.ymax = std::max(bounds.ymax, pt.m_psXY.m_dY);
    }
    bounds = WithMinimalExtent(bounds);
    const double W = bounds.Width(), H = bounds.Height();
    int nW, nH;
    PlotAreaSize(1.2 * W, 1.2 * H, 200, nW, nH);
    const SBox axes{bounds.xmin - 0.1 * W, bounds.xmax + 0.1 * W, bounds.ymin - 0.1 * H,
                    bounds.ymax + 0.1 * H};
    XYChart c(nW + 100, nH + 100, kChartBackground, kBlack, 1);
    SetUpDiagram(c, "Neighborhood Diagram of Single Point", axes, nW, nH, 20);

    for (const SPoint* pt : neighbors)
        AddGreyLine(c, point.m_psXY, pt->m_psXY, SPosition());
    AddPointLayer(c, {&point}, "The Point", 7, kRed, bDrawLabel);
    AddPointLayer(c, neighbors, "Neighbors", 5, kRed, bDrawLabel);
    return FinishDiagram(c, strFigName, fn);
}

}  // namespace

bool CVoronoi::DrawVoronoi(const std::vector<SPoint>& vptX, int N, const std::vector<bool>& vbKeep,
                           const std::vector<double>& vdDataMinMax,
                           const std::vector<CEdge>& veResult, bool bDrawLabel,
                           const std::string& strFigName, const SPosition& shift) {
    const char* fn = "DrawVoronoi";
    if (vptX.empty())
        return Refuse("No Voronoi Points", fn);
    if (N < 0 || static_cast<int>(vptX.size()) < N)
        return Refuse("Wrong Number of Voronoi Points", fn);
    if (vbKeep.size() != vptX.size())
        return Refuse("Wrong Keep Flags", fn);
    if (vdDataMinMax.size() != 4)
        return Refuse("Wrong Data Min Max", fn);
    if (veResult.empty())
        return Refuse("No Voronoi Edges", fn);

    // The clipping box of the tessellation is the drawing box.
    const CVoronoiGeometry geo(vdDataMinMax[0], vdDataMinMax[1], vdDataMinMax[2], vdDataMinMax[3]);
    const SBox clipBox{geo.GetXMinLmt(), geo.GetXMaxLmt(), geo.GetYMinLmt(), geo.GetYMaxLmt()};
    const SBox box = WithMinimalExtent(clipBox);
    // Edges are clipped to the box drawn: clipped to a flat box that was
    // widened, the edges of sites on one line would shrink to dots.
    const double mx = box.Width() / 12.0, my = box.Height() / 12.0;
    const bool widened = box.Width() != clipBox.Width() || box.Height() != clipBox.Height();
    const CVoronoiGeometry widenedGeo(box.xmin + mx, box.xmax - mx, box.ymin + my, box.ymax - my);
    const CVoronoiGeometry& clip = widened ? widenedGeo : geo;
    int nW, nH;
    PlotAreaSize(box.Width(), box.Height(), 500, nW, nH);
    XYChart c(nW + 100, nH + 100, kChartBackground, kBlack, 1);
    SetUpDiagram(c, "Voronoi Diagram", Shifted(box, shift), nW, nH, 50);

    for (CEdge e : veResult) {
        SEdge se;
        CopyEdge(&e, &se);
        const double nan = std::numeric_limits<double>::quiet_NaN();
        SPosition one{nan, nan}, two{nan, nan};
        clip.ClipEdge(&se, one, two);
        if (!std::isnan(one.m_dX))  // untouched: the edge misses the box
            AddGreyLine(c, one, two, shift);
    }
    std::vector<const SPoint*> data, dummies;
    for (size_t i = 0; i < vptX.size(); ++i)
        if (vbKeep[i])
            (static_cast<int>(i) < N ? data : dummies).push_back(&vptX[i]);
    const int size = SymbolSize(MedianNearestPixels(data, nW / box.Width()));
    AddPointLayer(c, data, "Data Points", size, kRed, bDrawLabel, shift);
    AddPointLayer(c, dummies, "Dummy Points", size, kWhite, bDrawLabel, shift);
    return FinishDiagram(c, strFigName, fn);
}

bool CVoronoi::DrawNeighborhoodSystem(const std::vector<SPoint>& vptX,
                                      const std::vector<double>& vdDataScale,
                                      const std::vector<std::vector<int>>& vvnNS, bool bDrawLabel,
                                      const std::string& strFigName, const SPosition& shift) {
    return DrawWholeSystem(vptX, vdDataScale, vvnNS, bDrawLabel, strFigName, shift);
}

bool CVoronoi::DrawNeighborhoodSystem(const std::vector<SPoint>& vptX,
                                      const std::vector<double>& vdDataScale,
                                      const std::vector<std::vector<CNeighbor>>& vvnNS,
                                      bool bDrawLabel, const std::string& strFigName,
                                      const SPosition& shift) {
    return DrawWholeSystem(vptX, vdDataScale, vvnNS, bDrawLabel, strFigName, shift);
}

bool CVoronoi::DrawNeighborhoodSystem(int nPtIndex, const std::vector<SPoint>& vptX,
                                      const std::vector<std::vector<int>>& vvnNS, bool bDrawLabel,
                                      const std::string& strFigName) {
    return DrawSinglePoint(nPtIndex, vptX, vvnNS, bDrawLabel, strFigName);
}

bool CVoronoi::DrawNeighborhoodSystem(int nPtIndex, const std::vector<SPoint>& vptX,
                                      const std::vector<std::vector<CNeighbor>>& vvnNS,
                                      bool bDrawLabel, const std::string& strFigName) {
    return DrawSinglePoint(nPtIndex, vptX, vvnNS, bDrawLabel, strFigName);
}

// The membership map of breloAdm: the Voronoi cells of the individuals
// drawn as polygons in the colour of each one's cluster, with a legend, and
// its scatter variant.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>

#include "chart/Chart.h"
#include "core/Messages.h"
#include "plot/MapChart.h"
#include "plot/PlotUtilities.h"
#include "voronoi/FortuneStructures.h"
#include "voronoi/Voronoi.h"
#include "voronoi/VoronoiGeometry.h"

namespace {

using namespace MapStyle;

const int kChartBackground = 0xffffcc;
const int kShortSide = 500;  // pixels of the shorter side of the plot area
const int kMargin = 50;
const int kLegendGap = 15;

int Fail(const std::string& message) {
    PrintMessage(message);
    return -1;
}

void PlotAreaSize(double W, double H, int& nW, int& nH) {
    MapStyle::PlotAreaSize(W, H, kShortSide, Chart::MaxImageSide / 2 - 2 * kMargin, nW, nH);
}

// The common frame of the membership map: title, white plot area without
// grids, axes spanning the box exactly and showing only their line, room
// on the right for a legend of legendWidth x legendHeight pixels.
std::unique_ptr<CMapChart> MapChart(double x0, double x1, double y0, double y1, int nW, int nH,
                                    int legendWidth = 0, int legendHeight = 0) {
    const int legend = legendWidth > 0 ? kLegendGap + legendWidth : 0;
    auto c = std::make_unique<CMapChart>(nW + 2 * kMargin + legend,
                                         std::max(nH, legendHeight + 10) + 2 * kMargin,
                                         kChartBackground, kBlack, 1);
    c->addTitle("Membership of Individuals", "timesbi.ttf", 14, 0xffffff, Chart::Transparent,
                Chart::Transparent)
        ->setBackground(0x804020, -1, 0);
    c->setPlotArea(kMargin, kMargin, nW, nH, kWhite, -1, -1, Chart::Transparent,
                   Chart::Transparent);
    c->setClipping(0);
    c->setPlane(x0, x1, y0, y1);
    return c;
}

// Sites beyond the clipping box (a hand-edited Voronoi file) have no place
// in the map.
bool SitesWithin(const std::vector<SPoint>& vptX, const CVoronoiGeometry& box) {
    for (const SPoint& pt : vptX) {
        const double x = pt.m_psXY.m_dX, y = pt.m_psXY.m_dY;
        if (!(x >= box.GetXMinLmt() && x <= box.GetXMaxLmt() && y >= box.GetYMinLmt() &&
              y <= box.GetYMaxLmt()))
            return false;
    }
    return true;
}

bool IsFiniteBox(const DBL_VCTR_1D& v) {
    for (double x : v)
        if (!std::isfinite(x))
            return false;
    return v.size() == 4 && v[1] > v[0] && v[3] > v[2];
}

// The cells of the data sites in their clusters' colours, the dummies'
// left white, every cell edged in black; the sites' marks on top.
void PaintMembership(DrawArea& d, const CMapChart& c, const std::vector<SPoint>& vptX,
                     const std::vector<bool>& vbKeep, const std::vector<CELL_POLYGON>& cells,
                     const INT_VCTR_1D& hc, const double box[4]) {
    for (size_t i = 0; i < hc.size(); ++i)
        FillCell(d, c, cells[i], GetClusterColor(hc[i]));
    for (const CELL_POLYGON& cell : cells)
        DrawCellSides(d, c, cell, box[0], box[1], box[2], box[3], kBlack);
    for (size_t i = 0; i < vptX.size(); ++i)
        if (vbKeep[i])
            SiteMark(d, c, vptX[i].m_psXY.m_dX, vptX[i].m_psXY.m_dY, 2, kBlack,
                     i < hc.size() ? kBlack : kWhite);
}

}  // namespace

int PlotHC(const std::string& file, const std::vector<SPoint>& vptX,
           const std::vector<bool>& vbKeep, const DBL_VCTR_1D& vdDataMinMax,
           const std::vector<CEdge>& veVoronoi, const INT_VCTR_1D& hc, int K) {
    if (vptX.empty())
        return Fail("No Voronoi Points - PlotHC");
    if (vbKeep.empty())
        return Fail("No Keep Flags - PlotHC");
    if (vdDataMinMax.size() != 4)
        return Fail("Wrong Data Min Max - PlotHC");
    if (veVoronoi.empty())
        return Fail("No Voronoi Edges - PlotHC");
    if (hc.empty())
        return Fail("No Hard Clustering Results - PlotHC");
    if (hc.size() > vptX.size())
        return Fail("Wrong Hard Clustering Results - PlotHC");
    // A flag missing for some site would be read past the end.
    if (vbKeep.size() < vptX.size())
        return Fail("Wrong Keep Flags - PlotHC");
    // A box of no width or height has no scale.
    if (!IsFiniteBox(vdDataMinMax))
        return Fail("Wrong Data Min Max - PlotHC");

    CVoronoiGeometry geometry(vdDataMinMax[0], vdDataMinMax[1], vdDataMinMax[2], vdDataMinMax[3]);
    if (!SitesWithin(vptX, geometry))
        return Fail("Voronoi Points Outside the Map - PlotHC");
    const double x0 = geometry.GetXMinLmt(), x1 = geometry.GetXMaxLmt();
    const double y0 = geometry.GetYMinLmt(), y1 = geometry.GetYMaxLmt();
    for (int label : hc)
        K = std::max(K, label + 1);
    int nW, nH;
    PlotAreaSize(x1 - x0, y1 - y0, nW, nH);
    std::unique_ptr<CMapChart> c =
        MapChart(x0, x1, y0, y1, nW, nH, ClusterKeysWidth(K), ClusterKeysHeight(K));
    // The cells reach two pixels beyond the plot area, which clips them:
    // their fill covers it to its edges.
    const double pad = 2 * (x1 - x0) / nW;
    const double box[4] = {x0 - pad, x1 + pad, y0 - pad, y1 + pad};
    const std::vector<CELL_POLYGON> cells =
        GetCellPolygons(vptX, vbKeep, veVoronoi, box[0], box[1], box[2], box[3]);
    c->setMapPainter([&](DrawArea& d, const CMapChart& chart) {
        PaintMembership(d, chart, vptX, vbKeep, cells, hc, box);
    });
    c->setOverPainter([&](DrawArea& d, const CMapChart&) {
        DrawClusterKeys(d, kMargin + nW + kLegendGap, kMargin, K);
    });
    return WriteMap(*c, file, "PlotHC");
}

int PlotHC(const std::string& file, const std::vector<SPoint>& vptX, const DBL_VCTR_1D& vdDataScale,
           const INT_VCTR_1D& hc, int NumOfC, bool bDrawLabel) {
    if (vptX.empty())
        return Fail("No Voronoi Points - PlotHC");
    if (vdDataScale.size() != 4 || !IsFiniteBox(vdDataScale))
        return Fail("Wrong Data Scale - PlotHC");
    if (hc.empty())
        return Fail("No Hard Clustering Results - PlotHC");
    if (hc.size() > vptX.size())
        return Fail("Wrong Hard Clustering Results - PlotHC");

    double x0 = vdDataScale[0], x1 = vdDataScale[1], y0 = vdDataScale[2], y1 = vdDataScale[3];
    int nW, nH;
    PlotAreaSize(x1 - x0, y1 - y0, nW, nH);
    std::unique_ptr<XYChart> c = MapChart(x0, x1, y0, y1, nW, nH);
    int clusters = NumOfC;
    for (int label : hc)
        clusters = std::max(clusters, label + 1);
    // One layer per cluster: its own symbol and colour.
    const int symbols[] = {Chart::CircleSymbol,           Chart::SquareSymbol,
                           Chart::DiamondSymbol,          Chart::TriangleSymbol,
                           Chart::InvertedTriangleSymbol, Chart::RightTriangleSymbol,
                           Chart::LeftTriangleSymbol};
    for (int k = 0; k < clusters; ++k) {
        std::vector<double> xs, ys;
        std::vector<std::string> labels;
        for (size_t i = 0; i < hc.size(); ++i)
            if (hc[i] == k) {
                xs.push_back(vptX[i].m_psXY.m_dX);
                ys.push_back(vptX[i].m_psXY.m_dY);
                labels.push_back(std::to_string(i + 1));
            }
        if (xs.empty())
            continue;
        ScatterLayer* layer = c->addScatterLayer(xs, ys, "Cluster " + std::to_string(k + 1),
                                                 symbols[k % 7], 7, GetClusterColor(k), kBlack);
        if (!bDrawLabel)
            continue;
        layer->addExtraField(labels);
        layer->setDataLabelFormat("{field0}");
        TextBox* box = layer->setDataLabelStyle("", 8, Chart::TextColor);
        box->setAlignment(Chart::Left);
        box->setPos(4, 0);
    }
    if (!c->makeChart(file))
        return Fail("Unable to make chart - PlotHC");
    return 0;
}

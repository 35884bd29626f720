// The membership map of breloAdm: Voronoi cells painted in the colour of
// each individual's cluster, and its scatter variant.
#include <algorithm>
#include <cmath>
#include <iostream>
#include <limits>
#include <memory>

#include "chart/Chart.h"
#include "core/Messages.h"
#include "plot/PlotUtilities.h"
#include "voronoi/FortuneStructures.h"
#include "voronoi/Voronoi.h"
#include "voronoi/VoronoiGeometry.h"

namespace {

const int kChartBackground = 0xffffcc;
const int kWhite = 0xffffff;
const int kBlack = 0x000000;
const int kShortSide = 500;  // pixels of the shorter side of the plot area
const int kMargin = 50;

int Fail(const std::string& message) {
    PrintMessage(message);
    return -1;
}

// Plot area of a box W x H: the shorter side kShortSide pixels, the longer
// one in proportion. A very elongated box gets a shorter short side so that
// the chart stays within the image limit.
void PlotAreaSize(double W, double H, int& nW, int& nH) {
    const int longest = Chart::MaxImageSide - 2 * kMargin;
    double ratio = std::max(W, H) / std::min(W, H);
    int shortSide = kShortSide;
    double longSide = std::floor(shortSide * ratio + 0.5);
    if (longSide > longest) {
        PrintMessage(
            "Membership map too elongated for the image limit; its shorter side is "
            "drawn shorter than " +
            std::to_string(kShortSide) + " pixels.");
        longSide = longest;
        shortSide = std::max(1, static_cast<int>(longest / ratio));
    }
    nW = W > H ? static_cast<int>(longSide) : shortSide;
    nH = W > H ? shortSide : static_cast<int>(longSide);
}

// The common chart frame of the map: title, white plot area without grids,
// axes spanning the box exactly and showing only their line.
std::unique_ptr<XYChart> MapChart(double x0, double x1, double y0, double y1, int nW, int nH) {
    auto c =
        std::make_unique<XYChart>(nW + 2 * kMargin, nH + 2 * kMargin, kChartBackground, kBlack, 1);
    c->addTitle("Membership of Individuals", "timesbi.ttf", 14, 0xffffff, Chart::Transparent,
                Chart::Transparent)
        ->setBackground(0x804020, -1, 0);
    c->setPlotArea(kMargin, kMargin, nW, nH, kWhite, -1, -1, Chart::Transparent,
                   Chart::Transparent);
    c->setClipping(0);
    for (Axis* axis : {c->xAxis(), c->yAxis()}) {
        axis->setAutoScale(0, 0, 0);
        axis->setTickDensity(50);
        axis->setColors(Chart::LineColor, Chart::Transparent, Chart::Transparent,
                        Chart::Transparent);
    }
    c->xAxis()->setDateScale(x0, x1);
    c->yAxis()->setDateScale(y0, y1);
    return c;
}

// Every edge clipped to the box as a black two-point line; edges that miss
// the box are left out.
void AddEdgeLines(XYChart& c, const CVoronoiGeometry& geometry,
                  const std::vector<CEdge>& veVoronoi) {
    const double unset = std::numeric_limits<double>::quiet_NaN();
    for (const CEdge& edge : veVoronoi) {
        CEdge copy = edge;  // the pointer form borrows this storage
        SEdge pointerForm;
        if (!CVoronoi::CopyEdge(&copy, &pointerForm))
            continue;
        SPosition one, two;
        one.m_dX = one.m_dY = two.m_dX = two.m_dY = unset;
        geometry.ClipEdge(&pointerForm, one, two);
        if (std::isnan(one.m_dX) || std::isnan(two.m_dX))
            continue;
        c.addLineLayer({one.m_dY, two.m_dY}, kBlack)->setXData({one.m_dX, two.m_dX});
    }
}

struct SitePixel {
    int x, y;
    bool bKeep;
    bool bData;
};

// Pixel of every site in the flipped image (rows growing with y), from the
// chart's own mapping so that sites and lines agree to the pixel.
std::vector<SitePixel> SitePixels(const XYChart& c, const std::vector<SPoint>& vptX,
                                  const std::vector<bool>& vbKeep, int N, int imageHeight) {
    std::vector<SitePixel> pixels;
    for (size_t i = 0; i < vptX.size(); ++i) {
        SitePixel p;
        p.x = static_cast<int>(std::lround(c.getXCoor(vptX[i].m_psXY.m_dX)));
        p.y = imageHeight - 1 - static_cast<int>(std::lround(c.getYCoor(vptX[i].m_psXY.m_dY)));
        p.bKeep = vbKeep[i];
        p.bData = static_cast<int>(i) < N;
        pixels.push_back(p);
    }
    return pixels;
}

// Each kept data site whose pixel is still white floods its cell.
void PaintCells(DrawArea& d, const std::vector<SitePixel>& sites, const INT_VCTR_1D& hc) {
    for (size_t i = 0; i < hc.size(); ++i)
        if (sites[i].bKeep && d.getPixel(sites[i].x, sites[i].y) == kWhite)
            d.fill(sites[i].x, sites[i].y, GetClusterColor(hc[i]));
}

// The kept sites bucketed on a grid of square cells, for the nearest-site
// queries of the gap filling: a linear search per white pixel costs
// pixels x sites, which grows large with many individuals.
class SiteGrid {
  public:
    SiteGrid(const std::vector<SitePixel>& sites, int areaPixels) : m_sites(sites) {
        int kept = 0;
        m_nX0 = m_nY0 = std::numeric_limits<int>::max();
        int xMax = std::numeric_limits<int>::min(), yMax = xMax;
        for (const SitePixel& s : sites) {
            if (!s.bKeep)
                continue;
            ++kept;
            m_nX0 = std::min(m_nX0, s.x), m_nY0 = std::min(m_nY0, s.y);
            xMax = std::max(xMax, s.x), yMax = std::max(yMax, s.y);
        }
        if (kept == 0)
            return;
        // About two sites per cell.
        m_nCell = std::max(1, static_cast<int>(std::sqrt(2.0 * areaPixels / kept)));
        m_nCols = (xMax - m_nX0) / m_nCell + 1;
        m_nRows = (yMax - m_nY0) / m_nCell + 1;
        m_vvnCells.resize(static_cast<size_t>(m_nCols) * m_nRows);
        for (size_t i = 0; i < sites.size(); ++i)
            if (sites[i].bKeep)
                m_vvnCells[cellIndex((sites[i].x - m_nX0) / m_nCell,
                                     (sites[i].y - m_nY0) / m_nCell)]
                    .push_back(static_cast<int>(i));
    }

    // Index of the kept site nearest to pixel (x, y), the lowest index on a
    // tie; -1 when no site is kept. Rings of cells are searched outwards
    // until no farther ring can hold a site as near as the best one.
    int nearest(int x, int y) const {
        if (m_vvnCells.empty())
            return -1;
        int cx = std::clamp(floorDiv(x - m_nX0, m_nCell), 0, m_nCols - 1);
        int cy = std::clamp(floorDiv(y - m_nY0, m_nCell), 0, m_nRows - 1);
        int best = -1;
        long bestDist = std::numeric_limits<long>::max();
        int outside = std::max({cx, cy, m_nCols - 1 - cx, m_nRows - 1 - cy});
        // The point may lie outside the grid: farther rings are then nearer
        // than their number suggests, by the point's distance to the grid.
        long gap = std::max({0, m_nX0 - x, x - (m_nX0 + m_nCols * m_nCell), m_nY0 - y,
                             y - (m_nY0 + m_nRows * m_nCell)});
        for (int r = 0; r <= outside; ++r) {
            for (int gy = cy - r; gy <= cy + r; ++gy)
                for (int gx = cx - r; gx <= cx + r; ++gx) {
                    if (std::max(std::abs(gx - cx), std::abs(gy - cy)) != r)
                        continue;
                    if (gx < 0 || gy < 0 || gx >= m_nCols || gy >= m_nRows)
                        continue;
                    for (int i : m_vvnCells[cellIndex(gx, gy)]) {
                        long dx = m_sites[i].x - x, dy = m_sites[i].y - y;
                        long dist = dx * dx + dy * dy;
                        if (dist < bestDist || (dist == bestDist && i < best))
                            bestDist = dist, best = i;
                    }
                }
            long reach = std::max(0L, static_cast<long>(r) * m_nCell - gap);
            if (best >= 0 && bestDist < reach * reach)
                break;
        }
        return best;
    }

  private:
    static int floorDiv(int a, int b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }
    size_t cellIndex(int gx, int gy) const { return static_cast<size_t>(gy) * m_nCols + gx; }

    const std::vector<SitePixel>& m_sites;
    int m_nX0 = 0, m_nY0 = 0, m_nCell = 1, m_nCols = 0, m_nRows = 0;
    std::vector<std::vector<int>> m_vvnCells;
};

// White pixels left over (cells whose site lies on a line, slivers cut off
// by lines) take, one by one, the colour of their nearest kept site, or
// stay white when that is a dummy site. Pixel by pixel, not by flooding
// from the first white pixel found: the scan reaches a white cell first at
// one of its corners, where the nearest site is often a neighbour's, and a
// flood from there painted the whole cell in the neighbour's colour.
void FillGaps(DrawArea& d, const std::vector<SitePixel>& sites, const INT_VCTR_1D& hc, int nW,
              int nH) {
    SiteGrid grid(sites, nW * nH);
    for (int x = kMargin; x < kMargin + nW; ++x)
        for (int y = kMargin; y < kMargin + nH; ++y) {
            if (d.getPixel(x, y) != kWhite)
                continue;
            int nearest = grid.nearest(x, y);
            if (nearest >= 0 && sites[nearest].bData)
                d.setPixel(x, y, GetClusterColor(hc[nearest]));
        }
}

// A dummy cell painted over (its region joined a data cell's) turns white
// again. A dummy whose pixel lies on a line is left alone: a fill from
// there would turn every connected line and the axes white.
void ClearDummyCells(DrawArea& d, const std::vector<SitePixel>& sites) {
    for (const SitePixel& s : sites)
        if (s.bKeep && !s.bData && d.getPixel(s.x, s.y) != kBlack)
            d.fill(s.x, s.y, kWhite);
}

void MarkSites(DrawArea& d, const std::vector<SitePixel>& sites) {
    for (const SitePixel& s : sites)
        if (s.bKeep)
            d.circle(s.x, s.y, 2, 2, kBlack, s.bData ? kBlack : kWhite);
}

// Sites beyond the clipping box (a hand-edited Voronoi file) have no pixel in
// the map, and far-off ones would blow up the grid of the nearest-site search.
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

}  // namespace

int PlotHC(const std::string& file, const std::vector<SPoint>& vptX,
           const std::vector<bool>& vbKeep, const DBL_VCTR_1D& vdDataMinMax,
           const std::vector<CEdge>& veVoronoi, const INT_VCTR_1D& hc) {
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
    double x0 = geometry.GetXMinLmt(), x1 = geometry.GetXMaxLmt();
    double y0 = geometry.GetYMinLmt(), y1 = geometry.GetYMaxLmt();
    int nW, nH;
    PlotAreaSize(x1 - x0, y1 - y0, nW, nH);
    std::unique_ptr<XYChart> c = MapChart(x0, x1, y0, y1, nW, nH);
    AddEdgeLines(*c, geometry, veVoronoi);

    DrawArea* d = c->makeChart();
    d->vFlip();
    std::vector<SitePixel> sites =
        SitePixels(*c, vptX, vbKeep, static_cast<int>(hc.size()), d->getHeight());
    PaintCells(*d, sites, hc);
    FillGaps(*d, sites, hc, nW, nH);
    ClearDummyCells(*d, sites);
    MarkSites(*d, sites);
    d->vFlip();
    if (!d->out(file))
        return Fail("Unable to make chart - PlotHC");
    return 0;
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

// The maps of breloAdm's results: the admixture proportions of the sampling
// sites over their Voronoi cells (MAP), and the proportions predicted over a
// raster map (PredictionMap).
#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>

#include "chart/Chart.h"
#include "core/Messages.h"
#include "plot/MapChart.h"
#include "plot/PlotUtilities.h"
#include "voronoi/FortuneStructures.h"
#include "voronoi/VoronoiGeometry.h"

namespace {

using namespace MapStyle;

const int kChartBackground = 0xffffcc;
const int kTitleBackground = 0x804020;
const int kNoDataColor = 0xdddddd;
const int kPieEdge = 0x404040;
const int kLeft = 75, kTop = 50, kBottom = 55, kLegendGap = 15, kRight = 10;

int Fail(const std::string& message) {
    PrintMessage(message);
    return -1;
}

void AddTitle(BaseChart& c, const std::string& title) {
    c.addTitle(title, "timesbi.ttf", 14, 0xffffff, Chart::Transparent, Chart::Transparent)
        ->setBackground(kTitleBackground, -1, 0);
}

int MainCluster(const DBL_VCTR_1D& q) {
    return static_cast<int>(std::max_element(q.begin(), q.end()) - q.begin());
}

const int kNoteRow = 14;

// Notes under the legend's keys, one a line.
void DrawNotes(DrawArea& d, double x, double y, const std::vector<std::string>& lines) {
    for (size_t i = 0; i < lines.size(); ++i)
        d.text(lines[i], "", 8, x, y + kNoteRow * static_cast<double>(i), kBlack, Chart::TopLeft);
}

// The legend: K keys from kTop, then the notes.
double NotesTop(int K) {
    return kTop + ClusterKeysHeight(K) + 10.0;
}
int LegendBottom(int K, const std::vector<std::string>& notes) {
    return static_cast<int>(NotesTop(K)) + kNoteRow * static_cast<int>(notes.size()) + 15;
}

int NotesWidth(const std::vector<std::string>& lines) {
    DrawArea probe(1, 1);
    double widest = 0;
    for (const std::string& line : lines) {
        double w = 0, h = 0;
        probe.textSize(line, "", 8, w, h);
        widest = std::max(widest, w);
    }
    return static_cast<int>(std::ceil(widest)) + 2;
}

// ---------------------------------------------------------------------------
// Sampling sites

struct SSites {
    DBL_VCTR_2D q;     // mean proportions of each site
    DBL_VCTR_2D xy;    // where each site lies (the mean of its individuals)
    INT_VCTR_1D of;    // the site of each individual
    DBL_VCTR_1D size;  // radius of each site's pie, in pixels
};

SSites GroupSites(const std::vector<SPoint>& vptX, const DBL_VCTR_2D& q,
                  const INT_VCTR_1D& siteOf) {
    SSites s;
    const size_t N = q.size(), K = q[0].size();
    s.of.resize(N);
    int count = 0;
    for (size_t i = 0; i < N; ++i) {
        s.of[i] = i < siteOf.size() && siteOf[i] >= 0 ? siteOf[i] : count;
        count = std::max(count, s.of[i] + 1);
    }
    s.q.assign(count, DBL_VCTR_1D(K, 0.0));
    s.xy.assign(count, DBL_VCTR_1D(2, 0.0));
    INT_VCTR_1D members(count, 0);
    for (size_t i = 0; i < N; ++i) {
        const int site = s.of[i];
        ++members[site];
        for (size_t k = 0; k < K; ++k)
            s.q[site][k] += q[i][k];
        s.xy[site][0] += vptX[i].m_psXY.m_dX;
        s.xy[site][1] += vptX[i].m_psXY.m_dY;
    }
    for (int site = 0; site < count; ++site) {
        const double n = std::max(members[site], 1);
        for (double& v : s.q[site])
            v /= n;
        s.xy[site][0] /= n;
        s.xy[site][1] /= n;
    }
    return s;
}

// Pies as large as they can be without covering one another much: 0.45 of
// the distance to the nearest other site, between 3 and 12 pixels.
void SizePies(SSites& s, double pixelsPerUnit) {
    const size_t n = s.xy.size();
    s.size.assign(n, 12.0);
    for (size_t a = 0; a < n; ++a)
        for (size_t b = a + 1; b < n; ++b) {
            const double d =
                std::hypot(s.xy[a][0] - s.xy[b][0], s.xy[a][1] - s.xy[b][1]) * pixelsPerUnit;
            s.size[a] = std::min(s.size[a], 0.45 * d);
            s.size[b] = std::min(s.size[b], 0.45 * d);
        }
    for (double& r : s.size)
        r = std::max(r, 3.0);
}

void DrawPie(DrawArea& d, double cx, double cy, double r, const DBL_VCTR_1D& q) {
    const int main = MainCluster(q);
    if (q[main] > 0.999) {
        d.circle(static_cast<int>(std::lround(cx)), static_cast<int>(std::lround(cy)),
                 static_cast<int>(std::lround(r)), static_cast<int>(std::lround(r)), kPieEdge,
                 GetClusterColor(main));
        return;
    }
    double angle = 0;
    for (size_t k = 0; k < q.size(); ++k) {
        const double sweep = 360.0 * q[k];
        if (sweep > 0.5)
            d.sector(cx, cy, r, angle, angle + sweep, kPieEdge,
                     GetClusterColor(static_cast<int>(k)));
        angle += sweep;
    }
}

// The sides of the cells, but those between two individuals of one site
// (each such side is a side of both cells, with its ends swapped).
void DrawSiteBorders(DrawArea& d, const CMapChart& c, const std::vector<CELL_POLYGON>& cells,
                     const INT_VCTR_1D& siteOfCell, const double box[4]) {
    std::vector<std::vector<size_t>> cellsOfSite;
    for (size_t i = 0; i < cells.size(); ++i)
        if (siteOfCell[i] >= 0) {
            if (static_cast<size_t>(siteOfCell[i]) >= cellsOfSite.size())
                cellsOfSite.resize(siteOfCell[i] + 1);
            cellsOfSite[siteOfCell[i]].push_back(i);
        }
    const double tol = 1e-9 * (box[1] - box[0]);
    const auto same = [tol](const SPosition& p, const SPosition& q) {
        return std::fabs(p.m_dX - q.m_dX) < tol && std::fabs(p.m_dY - q.m_dY) < tol;
    };
    const auto shared = [&](size_t i, const SPosition& a, const SPosition& b) {
        if (siteOfCell[i] < 0)
            return false;
        for (size_t j : cellsOfSite[siteOfCell[i]]) {
            if (j == i)
                continue;
            for (size_t w = 0; w < cells[j].size(); ++w)
                if (same(cells[j][w], b) && same(cells[j][(w + 1) % cells[j].size()], a))
                    return true;
        }
        return false;
    };
    for (size_t i = 0; i < cells.size(); ++i)
        for (size_t v = 0; v < cells[i].size(); ++v) {
            const SPosition& a = cells[i][v];
            const SPosition& b = cells[i][(v + 1) % cells[i].size()];
            if (!shared(i, a, b))
                DrawCellSides(d, c, {a, b}, box[0], box[1], box[2], box[3], kCellLine);
        }
}

}  // namespace

int PlotAdmixtureMap(const std::string& file, const std::vector<SPoint>& vptX,
                     const std::vector<bool>& vbKeep, const DBL_VCTR_1D& vdDataMinMax,
                     const std::vector<CEdge>& veVoronoi, const DBL_VCTR_2D& q,
                     const INT_VCTR_1D& siteOf, double shiftX, double shiftY) {
    if (q.empty() || q[0].empty() || q.size() > vptX.size() || vbKeep.size() < vptX.size() ||
        vdDataMinMax.size() != 4 || !(vdDataMinMax[1] > vdDataMinMax[0]) ||
        !(vdDataMinMax[3] > vdDataMinMax[2]) || veVoronoi.empty())
        return Fail("Wrong Tessellation or Proportions - PlotAdmixtureMap");
    const int K = static_cast<int>(q[0].size());
    CVoronoiGeometry geometry(vdDataMinMax[0], vdDataMinMax[1], vdDataMinMax[2], vdDataMinMax[3]);
    const double x0 = geometry.GetXMinLmt(), x1 = geometry.GetXMaxLmt();
    const double y0 = geometry.GetYMinLmt(), y1 = geometry.GetYMaxLmt();
    int nW, nH;
    PlotAreaSize(x1 - x0, y1 - y0, 450, Chart::MaxImageSide / 2 - 400, nW, nH);

    SSites sites = GroupSites(vptX, q, siteOf);
    SizePies(sites, nW / (x1 - x0));
    const std::vector<std::string> notes = {"Cells: the main cluster of", "the site, paler where",
                                            "it holds less.", "Pies: the mean proportions",
                                            "of the site."};
    const int legendW = std::max(ClusterKeysWidth(K), NotesWidth(notes));
    auto c = std::make_unique<CMapChart>(kLeft + nW + kLegendGap + legendW + kRight,
                                         std::max(kTop + nH + kBottom, LegendBottom(K, notes)),
                                         kChartBackground, kBlack, 1);
    AddTitle(*c, "Admixture Proportions of the Sampling Sites");
    c->setPlotArea(kLeft, kTop, nW, nH, kWhite, -1, -1, Chart::Transparent, Chart::Transparent);
    c->setPlane(x0, x1, y0, y1, shiftX, shiftY, true);

    const double pad = 2 * (x1 - x0) / nW;
    const double box[4] = {x0 - pad, x1 + pad, y0 - pad, y1 + pad};
    const std::vector<CELL_POLYGON> cells =
        GetCellPolygons(vptX, vbKeep, veVoronoi, box[0], box[1], box[2], box[3]);
    INT_VCTR_1D siteOfCell(cells.size(), -1);
    for (size_t i = 0; i < q.size(); ++i)
        siteOfCell[i] = sites.of[i];
    c->setMapPainter([&](DrawArea& d, const CMapChart& chart) {
        for (size_t i = 0; i < q.size(); ++i) {
            const DBL_VCTR_1D& share = sites.q[sites.of[i]];
            const int main = MainCluster(share);
            FillCell(d, chart, cells[i], OverWhite(GetClusterColor(main), share[main]));
        }
        DrawSiteBorders(d, chart, cells, siteOfCell, box);
        for (size_t i = q.size(); i < vptX.size(); ++i)
            if (vbKeep[i])
                SiteMark(d, chart, vptX[i].m_psXY.m_dX, vptX[i].m_psXY.m_dY, 2, kBlack, kWhite);
        for (size_t s = 0; s < sites.xy.size(); ++s)
            DrawPie(d, chart.px(sites.xy[s][0]), chart.py(sites.xy[s][1]), sites.size[s],
                    sites.q[s]);
    });
    c->setOverPainter([&](DrawArea& d, const CMapChart&) {
        const double x = kLeft + nW + kLegendGap;
        DrawClusterKeys(d, x, kTop, K);
        DrawNotes(d, x, NotesTop(K), notes);
    });
    return WriteMap(*c, file, "PlotAdmixtureMap");
}

namespace {

// ---------------------------------------------------------------------------
// Predicted map

struct SGridView {
    int nrow, ncol;
    double left, right, bottom, top;  // the raster's outer edges
};

// The raster as an image: one pixel for each step x step block of cells,
// the colour of the block's top-left cell when it holds data, the no-data
// colour otherwise. A raster larger than the map's pixels is sampled so.
template <class Colour>
std::unique_ptr<DrawArea> RasterImage(const DBL_VCTR_3D& prediction, double noData, int step,
                                      Colour colour) {
    const int nrow = static_cast<int>(prediction[0].size());
    const int ncol = static_cast<int>(prediction[0][0].size());
    auto image = std::make_unique<DrawArea>((ncol + step - 1) / step, (nrow + step - 1) / step,
                                            kNoDataColor);
    DBL_VCTR_1D q(prediction.size());
    for (int i = 0; i < nrow; i += step)
        for (int j = 0; j < ncol; j += step) {
            bool data = true;
            for (size_t k = 0; k < prediction.size(); ++k) {
                q[k] = prediction[k][i][j];
                data = data && q[k] != noData && std::isfinite(q[k]);
            }
            if (data)
                image->setPixel(j / step, i / step, colour(q));
        }
    return image;
}

// Cells a pixel of the raster's image, so that the image has about as many
// pixels as the PNG shows on pixels of the map (two a layout pixel).
int SamplingStep(const SGridView& g, int pixels) {
    const int most = 2 * std::max(1, pixels);
    return std::max(1, (std::max(g.ncol, g.nrow) + most - 1) / most);
}

// The image of step x step blocks covers whole blocks: its right and
// bottom edges lie beyond the raster's when a block is cut, and the plot
// area clips them.
void PaintRaster(DrawArea& d, const CMapChart& c, const DrawArea& image, const SGridView& g,
                 int step) {
    const double cell = (g.right - g.left) / g.ncol;
    const double right = g.left + image.getWidth() * step * cell;
    const double bottom = g.top - image.getHeight() * step * cell;
    d.image(image, c.px(g.left), c.py(g.top), c.px(right) - c.px(g.left),
            c.py(bottom) - c.py(g.top), false);
}

void PaintSites(DrawArea& d, const CMapChart& c, const DBL_VCTR_2D& sites, int r) {
    for (const DBL_VCTR_1D& s : sites)
        SiteMark(d, c, s[0], s[1], r, kWhite, kBlack);
}

// The box shown: the raster and the sites, with a margin of 2 %.
void PlaneOf(const SGridView& g, const DBL_VCTR_2D& sites, double& x0, double& x1, double& y0,
             double& y1) {
    x0 = g.left, x1 = g.right, y0 = g.bottom, y1 = g.top;
    for (const DBL_VCTR_1D& s : sites) {
        x0 = std::min(x0, s[0]), x1 = std::max(x1, s[0]);
        y0 = std::min(y0, s[1]), y1 = std::max(y1, s[1]);
    }
    const double mx = 0.02 * (x1 - x0), my = 0.02 * (y1 - y0);
    if (x0 < g.left || x1 > g.right)
        x0 -= mx, x1 += mx;
    if (y0 < g.bottom || y1 > g.top)
        y0 -= my, y1 += my;
}

}  // namespace

int PlotPredictionMap(const std::string& file, const DBL_VCTR_3D& prediction, double xll,
                      double yll, double cellSize, double noData, const DBL_VCTR_2D& sites) {
    if (prediction.empty() || prediction[0].empty() || prediction[0][0].empty() || !(cellSize > 0))
        return Fail("Uninitialized prediction - PlotPredictionMap");
    const int K = static_cast<int>(prediction.size());
    SGridView g;
    g.nrow = static_cast<int>(prediction[0].size());
    g.ncol = static_cast<int>(prediction[0][0].size());
    g.left = xll - cellSize / 2, g.right = g.left + g.ncol * cellSize;
    g.bottom = yll - cellSize / 2, g.top = g.bottom + g.nrow * cellSize;
    double x0, x1, y0, y1;
    PlaneOf(g, sites, x0, x1, y0, y1);

    // The main panel: the main cluster of each cell, paler where it holds less.
    int nW, nH;
    PlotAreaSize(x1 - x0, y1 - y0, 400, 1600, nW, nH);
    const std::vector<std::string> notes = {
        "Colour: the main predicted", "cluster of the cell,", "paler where it holds less.",
        "Small maps: the proportion", "of each cluster.",     "Dots: the sampling sites."};
    const int legendW = std::max(ClusterKeysWidth(K), NotesWidth(notes));
    const int mainW = kLeft + nW + kLegendGap + legendW + kRight;
    const int mainH = std::max(nH + kTop + kBottom, LegendBottom(K, notes));
    CMapChart main(mainW, mainH, kChartBackground, Chart::Transparent, 0);
    main.setPlotArea(kLeft, kTop, nW, nH, kWhite, -1, -1, Chart::Transparent, Chart::Transparent);
    main.setPlane(x0, x1, y0, y1, 0, 0, true);
    const std::unique_ptr<DrawArea> mainImage = RasterImage(
        prediction, noData, SamplingStep(g, std::max(nW, nH)), [](const DBL_VCTR_1D& q) {
            const int k = MainCluster(q);
            return OverWhite(GetClusterColor(k), q[k]);
        });
    main.setMapPainter([&](DrawArea& d, const CMapChart& c) {
        PaintRaster(d, c, *mainImage, g, SamplingStep(g, std::max(nW, nH)));
        PaintSites(d, c, sites, 2);
    });
    main.setOverPainter([&](DrawArea& d, const CMapChart&) {
        const double x = kLeft + nW + kLegendGap;
        DrawClusterKeys(d, x, kTop, K);
        DrawNotes(d, x, NotesTop(K), notes);
    });

    // One small panel per cluster, four to a row: its proportion in each
    // cell, from white (0) to the cluster's colour (1).
    const int columns = std::min(K, 4);
    const int panelW = std::min(300, std::max(140, (mainW - 20) / columns));
    const double fit = std::min((panelW - 20) / (x1 - x0), 180 / (y1 - y0));
    const int pW = std::max(1, static_cast<int>((x1 - x0) * fit));
    const int pH = std::max(1, static_cast<int>((y1 - y0) * fit));
    const int panelH = pH + 35;
    const int panelStep = SamplingStep(g, std::max(pW, pH));
    std::vector<std::unique_ptr<CMapChart>> panels;
    std::vector<std::unique_ptr<DrawArea>> images;
    for (int k = 0; k < K; ++k) {
        auto p =
            std::make_unique<CMapChart>(panelW, panelH, kChartBackground, Chart::Transparent, 0);
        p->addText(panelW / 2, 8, "Cluster " + std::to_string(k + 1), "", 9, kBlack, Chart::Top);
        p->setPlotArea((panelW - pW) / 2, 25, pW, pH, kWhite, -1, -1, Chart::Transparent,
                       Chart::Transparent);
        p->setPlane(x0, x1, y0, y1);
        images.push_back(RasterImage(prediction, noData, panelStep, [k](const DBL_VCTR_1D& q) {
            return OverWhite(GetClusterColor(k), q[k]);
        }));
        const DrawArea& image = *images.back();
        p->setMapPainter([&image, &g, &sites, panelStep](DrawArea& d, const CMapChart& c) {
            PaintRaster(d, c, image, g, panelStep);
            PaintSites(d, c, sites, 1);
        });
        panels.push_back(std::move(p));
    }
    const int rows = (K + columns - 1) / columns;
    const int width = std::max(mainW, 20 + columns * panelW);
    const int panelsLeft = (width - columns * panelW) / 2;
    const int titleH = 30;
    MultiChart m(width, titleH + mainH + rows * panelH + 10, kChartBackground, kBlack, 1);
    AddTitle(m, "Predicted Admixture Proportions");
    m.addChart(0, titleH, &main);
    for (int k = 0; k < K; ++k)
        m.addChart(panelsLeft + (k % columns) * panelW, titleH + mainH + (k / columns) * panelH,
                   panels[k].get());
    return WriteMap(m, file, "PlotPredictionMap");
}

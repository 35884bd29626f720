#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "VoronoiTestUtils.h"
#include "chart/PngImage.h"
#include "voronoi/Voronoi.h"

using vtest::Site;

namespace {

// A PNG read back in the diagram's own pixels, and the colours near one.
class Png : public PngImage {
  public:
    using PngImage::PngImage;
    // Whether any pixel within r of (x, y) has the colour.
    bool colourNear(int x, int y, int r, int colour) const {
        for (int dy = -r; dy <= r; ++dy)
            for (int dx = -r; dx <= r; ++dx)
                if (pixel(x + dx, y + dy) == colour)
                    return true;
        return false;
    }
};

// Where the diagrams go: a temporary folder, or VORONOI_DRAWING_DIR to keep
// them for a look.
std::string FigurePath(const std::string& name) {
    const char* keep = std::getenv("VORONOI_DRAWING_DIR");
    if (keep != nullptr)
        return std::string(keep) + "/" + name;
    return testing::TempDir() + "voronoi_" + std::to_string(getpid()) + "_" + name;
}

struct Diagram {
    std::vector<SPoint> pts;
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    std::vector<std::vector<int>> ns;
};

// Sites in a 30 x 10 box (box corners included), the last nDummy on a ring
// around it as dummies, and a near-duplicate of site 2 as the last data point.
Diagram WideDiagram(int nData, int nDummy) {
    Diagram d;
    d.pts = vtest::UniformPoints(nData - 3, 17);
    for (SPoint& p : d.pts) {
        p.m_psXY.m_dX = 1.0 + 28.0 * p.m_psXY.m_dX;
        p.m_psXY.m_dY = 1.0 + 8.0 * p.m_psXY.m_dY;
    }
    d.pts.push_back(Site(0, 0, nData - 3));
    d.pts.push_back(Site(30, 10, nData - 2));
    d.pts.push_back(Site(d.pts[2].m_psXY.m_dX, d.pts[2].m_psXY.m_dY + 1e-8, nData - 1));
    for (int k = 0; k < nDummy; ++k) {
        const double a = 2.0 * M_PI * k / nDummy;
        d.pts.push_back(Site(15.0 + 14.0 * std::cos(a), 5.0 + 4.5 * std::sin(a), nData + k));
    }
    EXPECT_TRUE(CVoronoi::GetVoronoi(d.pts, d.keep, d.minMax, d.scale, d.edges));
    EXPECT_TRUE(CVoronoi::GetNeighborhoodSystem(nData, d.edges, d.ns));
    return d;
}

// Pixel of a position in a 1600 x 600 diagram of the 30 x 10 data box.
int PixelX(double x) {
    return static_cast<int>(50 + (x + 3.0) / 36.0 * 1500.0 + 0.5);
}
int PixelY(double y) {
    return static_cast<int>(550 - (y + 1.0) / 12.0 * 500.0 + 0.5);
}

}  // namespace

TEST(DrawVoronoi, WideBoxGivesAWideChartWithDummiesInTheirOwnLayer) {
    const int N = 40;
    const Diagram d = WideDiagram(N, 12);
    ASSERT_FALSE(d.keep[N - 1]);
    const std::string path = FigurePath("VD.png");
    ASSERT_TRUE(CVoronoi::DrawVoronoi(d.pts, N, d.keep, d.minMax, d.edges, false, path));
    Png png(path);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 1600);
    EXPECT_EQ(png.height(), 600);
    EXPECT_EQ(png.pixel(2, 300), 0xffffcc);   // chart background
    EXPECT_EQ(png.pixel(800, 20), 0x804020);  // title box
    for (int i = 0; i < N - 1; ++i) {         // data points: red discs
        const SPosition& p = d.pts[static_cast<size_t>(i)].m_psXY;
        EXPECT_TRUE(png.colourNear(PixelX(p.m_dX), PixelY(p.m_dY), 1, 0xff0000)) << i;
    }
    for (size_t i = N; i < d.pts.size(); ++i) {  // dummies: white, black ring, no red
        const SPosition& p = d.pts[i].m_psXY;
        EXPECT_TRUE(png.colourNear(PixelX(p.m_dX), PixelY(p.m_dY), 3, 0x000000)) << i;
        EXPECT_FALSE(png.colourNear(PixelX(p.m_dX), PixelY(p.m_dY), 1, 0xff0000)) << i;
    }
    // Grey edges: between the dummy ring and the box corner at (30, 10) the
    // cell borders run to the box edge.
    int grey = 0;
    for (int x = 50; x < 1550; ++x)
        for (int y = 50; y < 550; ++y)
            grey += png.pixel(x, y) == 0xc0c0c0;
    EXPECT_GT(grey, 3000);

    // The same sites all counted as data: no dummy ring, every site red.
    const std::string all = FigurePath("VD_all.png");
    ASSERT_TRUE(
        CVoronoi::DrawVoronoi(d.pts, int(d.pts.size()), d.keep, d.minMax, d.edges, true, all));
    Png png2(all);
    for (size_t i = N; i < d.pts.size(); ++i) {
        const SPosition& p = d.pts[i].m_psXY;
        EXPECT_TRUE(png2.colourNear(PixelX(p.m_dX), PixelY(p.m_dY), 1, 0xff0000)) << i;
    }
    if (std::getenv("VORONOI_DRAWING_DIR") == nullptr) {
        std::remove(path.c_str());
        std::remove(all.c_str());
    }
}

TEST(DrawNeighborhoodSystem, WholeAndSinglePointDiagrams) {
    const int N = 40;
    const Diagram d = WideDiagram(N, 12);
    const std::string whole = FigurePath("ND.png");
    ASSERT_TRUE(CVoronoi::DrawNeighborhoodSystem(d.pts, d.scale, d.ns, true, whole));
    Png png(whole);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 1600);
    EXPECT_EQ(png.height(), 600);
    // The dropped near-duplicate is drawn too: keep flags are not consulted.
    const SPosition& dup = d.pts[N - 1].m_psXY;
    EXPECT_TRUE(png.colourNear(PixelX(dup.m_dX), PixelY(dup.m_dY), 1, 0xff0000));

    // Weighted rows draw the same picture.
    std::vector<std::vector<CNeighbor>> weighted;
    ASSERT_TRUE(CVoronoi::GetNeighborhoodSystem(d.pts, d.minMax, N, d.edges, weighted, true));
    const std::string wpath = FigurePath("ND_weighted.png");
    ASSERT_TRUE(CVoronoi::DrawNeighborhoodSystem(d.pts, d.scale, weighted, true, wpath));
    Png wpng(wpath);
    ASSERT_TRUE(wpng.ok());
    for (int y = 0; y < 600; y += 7)
        for (int x = 0; x < 1600; x += 3)
            ASSERT_EQ(wpng.pixel(x, y), png.pixel(x, y));

    // One point and its neighbours: 200 pixels on the shorter side.
    const std::string single = FigurePath("ND_single.png");
    ASSERT_TRUE(CVoronoi::DrawNeighborhoodSystem(5, d.pts, d.ns, true, single));
    Png spng(single);
    ASSERT_TRUE(spng.ok());
    EXPECT_EQ(std::min(spng.width(), spng.height()), 300);
    const std::string wsingle = FigurePath("ND_single_w.png");
    ASSERT_TRUE(CVoronoi::DrawNeighborhoodSystem(5, d.pts, weighted, true, wsingle));
    EXPECT_EQ(Png(wsingle).width(), spng.width());
    if (std::getenv("VORONOI_DRAWING_DIR") == nullptr)
        for (const std::string& p : {whole, wpath, single, wsingle})
            std::remove(p.c_str());
}

TEST(DrawNeighborhoodSystem, FlatOrEmptyNeighbourhoodsGetAMinimalExtent) {
    // Neighbours on one vertical line, and a point with no neighbour at all:
    // the size rule would divide by zero.
    const std::vector<SPoint> pts{Site(5, 0, 0), Site(5, 1, 1), Site(5, 2, 2), Site(9, 9, 3)};
    const std::vector<std::vector<int>> ns{{1}, {0, 2}, {1}, {}};
    const std::string vertical = FigurePath("ND_vertical.png");
    ASSERT_TRUE(CVoronoi::DrawNeighborhoodSystem(1, pts, ns, true, vertical));
    Png v(vertical);
    ASSERT_TRUE(v.ok());
    EXPECT_EQ(v.width(), 300);
    EXPECT_EQ(v.height(), 4100);  // 20 times as high as wide at most
    const std::string lone = FigurePath("ND_lone.png");
    ASSERT_TRUE(CVoronoi::DrawNeighborhoodSystem(3, pts, ns, false, lone));
    Png l(lone);
    ASSERT_TRUE(l.ok());
    EXPECT_EQ(l.width(), 300);
    EXPECT_EQ(l.height(), 300);
    // The whole system drawn in a box of no height.
    const std::string flat = FigurePath("ND_flat.png");
    ASSERT_TRUE(CVoronoi::DrawNeighborhoodSystem(pts, {4, 6, 1, 1}, ns, false, flat));
    EXPECT_EQ(Png(flat).height(), 600);
    if (std::getenv("VORONOI_DRAWING_DIR") == nullptr)
        for (const std::string& p : {vertical, lone, flat})
            std::remove(p.c_str());
}

TEST(DrawVoronoi, SitesOnOneLineGetEdgesAcrossTheWidenedBox) {
    // Three sites on a horizontal line: the box has no height and is drawn
    // 1/20 as high as wide; the two cell borders x = 0.5 and x = 1.5 must
    // cross it from top to bottom rather than shrink to dots on the line.
    const std::vector<SPoint> pts{Site(0, 0, 0), Site(1, 0, 1), Site(2, 0, 2)};
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    ASSERT_TRUE(CVoronoi::GetVoronoi(pts, keep, minMax, scale, edges));
    const std::string path = FigurePath("VD_flat.png");
    ASSERT_TRUE(CVoronoi::DrawVoronoi(pts, 3, keep, minMax, edges, false, path));
    Png png(path);
    ASSERT_TRUE(png.ok());
    ASSERT_EQ(png.width(), 10100);
    ASSERT_EQ(png.height(), 600);
    // The box spans x -0.2 .. 2.2 over 10000 pixels.
    for (double x : {0.5, 1.5}) {
        const int col = static_cast<int>(50 + (x + 0.2) / 2.4 * 10000 + 0.5);
        for (int row : {60, 150, 450, 540})
            EXPECT_TRUE(png.colourNear(col, row, 2, 0xc0c0c0)) << x << " " << row;
    }
    if (std::getenv("VORONOI_DRAWING_DIR") == nullptr)
        std::remove(path.c_str());
}

TEST(DrawVoronoi, RefusedInputsWriteNoFile) {
    const Diagram d = WideDiagram(20, 0);
    const std::string path = FigurePath("refused.png");
    std::remove(path.c_str());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::DrawVoronoi(d.pts, 21, d.keep, d.minMax, d.edges, false, path));
    EXPECT_FALSE(CVoronoi::DrawVoronoi(d.pts, 20, {true}, d.minMax, d.edges, false, path));
    EXPECT_FALSE(CVoronoi::DrawVoronoi(d.pts, 20, d.keep, d.minMax, {}, false, path));
    EXPECT_FALSE(CVoronoi::DrawNeighborhoodSystem(d.pts, {0, 1, 0}, d.ns, false, path));
    EXPECT_FALSE(CVoronoi::DrawNeighborhoodSystem(20, d.pts, d.ns, false, path));
    EXPECT_FALSE(CVoronoi::DrawNeighborhoodSystem(0, d.pts, std::vector<std::vector<int>>{{25}},
                                                  false, path));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Wrong Number of Voronoi Points - CVoronoi::DrawVoronoi\n"
              "Wrong Keep Flags - CVoronoi::DrawVoronoi\n"
              "No Voronoi Edges - CVoronoi::DrawVoronoi\n"
              "Wrong Data Scale - CVoronoi::DrawNeighborhoodSystem\n"
              "Invalid Point Index - CVoronoi::DrawNeighborhoodSystem\n"
              "Wrong Neighborhood System - CVoronoi::DrawNeighborhoodSystem\n");
    EXPECT_FALSE(std::ifstream(path).good());
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <random>
#include <string>

#include "chart/Figure.h"
#include "chart/PdfTools.h"
#include "chart/PngImage.h"
#include "core/ProgramFlavour.h"
#include "plot/PlotUtilities.h"
#include "voronoi/FortuneStructures.h"
#include "voronoi/Voronoi.h"

namespace {

const int kWhite = 0xffffff;
const int kBlack = 0x000000;

std::string TempPng(const std::string& name) {
    std::string file = ::testing::TempDir() + "map_" + name + ".png";
    std::remove(file.c_str());
    return file;
}

SPoint Site(double x, double y, int index) {
    SPoint p;
    p.m_psXY.m_dX = x;
    p.m_psXY.m_dY = y;
    p.m_nIndex = index;
    return p;
}

struct Tessellation {
    std::vector<SPoint> vptX;
    std::vector<bool> vbKeep;
    DBL_VCTR_1D vdDataMinMax, vdDataScale;
    std::vector<CEdge> veVoronoi;
};

Tessellation Tessellate(const std::vector<std::pair<double, double>>& xy) {
    Tessellation t;
    for (size_t i = 0; i < xy.size(); ++i)
        t.vptX.push_back(Site(xy[i].first, xy[i].second, static_cast<int>(i)));
    EXPECT_TRUE(CVoronoi::GetVoronoi(t.vptX, t.vbKeep, t.vdDataMinMax, t.vdDataScale, t.veVoronoi));
    return t;
}

// Random sites in [0, 20] x [0, 10], with two corners fixing the bounds.
std::vector<std::pair<double, double>> RandomSites(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> ux(0.5, 19.5), uy(0.5, 9.5);
    std::vector<std::pair<double, double>> xy{{0, 0}, {20, 10}};
    while (static_cast<int>(xy.size()) < n)
        xy.push_back({ux(gen), uy(gen)});
    return xy;
}

// Checks every plot-area pixel well inside a cell (more than 2 pixels from
// the cell's border and from a site mark; every other row and column): it carries the colour of its
// site's cluster, or white for a dummy site. Returns the pixels checked.
int CheckCells(const PngImage& png, const Tessellation& t, const INT_VCTR_1D& hc, int nW, int nH) {
    const double x0 = t.vdDataScale[0], x1 = t.vdDataScale[1];
    const double y0 = t.vdDataScale[2];
    const double scale = nW / (x1 - x0);  // pixels per unit, the same on both axes
    int checked = 0;
    for (int py = 50; py < 50 + nH; py += 2)
        for (int px = 50; px < 50 + nW; px += 2) {
            double x = x0 + (px - 50) / scale, y = y0 + (50 + nH - 1 - py) / scale;
            int best = -1;
            double d1 = 1e300;
            for (size_t i = 0; i < t.vptX.size(); ++i) {
                double d = std::hypot(t.vptX[i].m_psXY.m_dX - x, t.vptX[i].m_psXY.m_dY - y);
                if (t.vbKeep[i] && d < d1)
                    d1 = d, best = static_cast<int>(i);
            }
            // Distance to the cell's border: to the nearest bisector with another site.
            const SPosition& a = t.vptX[best].m_psXY;
            double toBorder = 1e300;
            for (size_t j = 0; j < t.vptX.size(); ++j) {
                if (!t.vbKeep[j] || static_cast<int>(j) == best)
                    continue;
                const SPosition& b = t.vptX[j].m_psXY;
                double dj = std::hypot(b.m_dX - x, b.m_dY - y);
                toBorder =
                    std::min(toBorder, (dj * dj - d1 * d1) /
                                           (2 * std::hypot(a.m_dX - b.m_dX, a.m_dY - b.m_dY)));
            }
            if (toBorder * scale < 2.5 || d1 * scale < 4)
                continue;
            int expected = best < static_cast<int>(hc.size()) ? GetClusterColor(hc[best]) : kWhite;
            EXPECT_EQ(png.pixel(px, py), expected)
                << "pixel " << px << "," << py << " site " << best;
            if (png.pixel(px, py) != expected)
                return -1;
            ++checked;
        }
    return checked;
}

// The plot area of a map of the tessellation's box: 500 pixels on the
// shorter side, the legend to its right.
void PlotArea(const Tessellation& t, int& nW, int& nH) {
    const double W = t.vdDataScale[1] - t.vdDataScale[0], H = t.vdDataScale[3] - t.vdDataScale[2];
    nW = W > H ? static_cast<int>(500 * W / H + 0.5) : 500;
    nH = W > H ? 500 : static_cast<int>(500 * H / W + 0.5);
}

// The legend's keys, right of the plot area: a square of each cluster's
// colour.
void ExpectLegend(const PngImage& png, int nW, int K) {
    for (int k = 0; k < K; ++k)
        EXPECT_EQ(png.pixel(50 + nW + 15 + 5, 50 + 5 + 16 * k), GetClusterColor(k)) << k;
}

class MembershipMapTest : public ::testing::Test {
  protected:
    void SetUp() override { SetProgramFlavour(ProgramFlavour::BreloAdm); }
    void TearDown() override { SetProgramFlavour(ProgramFlavour::Brelo); }
};

}  // namespace

TEST_F(MembershipMapTest, CellsOfABoxTwiceAsWideAsHighTakeTheirClusterColours) {
    Tessellation t = Tessellate(RandomSites(40, 7));
    INT_VCTR_1D hc;
    for (size_t i = 0; i < t.vptX.size(); ++i)
        hc.push_back(static_cast<int>(i % 4));
    std::string file = TempPng("wide");
    EXPECT_EQ(PlotHC(file, t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    // The plot area of 1000 x 500 pixels, the legend beside it.
    EXPECT_GT(png.width(), 1100);
    EXPECT_EQ(png.height(), 600);
    EXPECT_EQ(png.pixel(25, 300), 0xffffcc);
    EXPECT_EQ(png.pixel(0, 300), kBlack);
    EXPECT_GT(CheckCells(png, t, hc, 1000, 500), 75000);
    ExpectLegend(png, 1000, 4);
    // No pixel of the plot area is left white: every cell has a data site.
    int white = 0;
    for (int y = 50; y < 550; ++y)
        for (int x = 50; x < 1050; ++x)
            white += png.pixel(x, y) == kWhite;
    EXPECT_EQ(white, 0);
    // Each kept data site carries its black mark.
    const double scale = 1000 / (t.vdDataScale[1] - t.vdDataScale[0]);
    for (size_t i = 0; i < t.vptX.size(); ++i) {
        int px =
            static_cast<int>(std::lround(50 + (t.vptX[i].m_psXY.m_dX - t.vdDataScale[0]) * scale));
        int py =
            static_cast<int>(std::lround(549 - (t.vptX[i].m_psXY.m_dY - t.vdDataScale[2]) * scale));
        EXPECT_EQ(png.pixel(px, py), kBlack) << i;
    }
}

TEST_F(MembershipMapTest, RegionNearestToADummyPointStaysWhite) {
    // Data sites on the left, one dummy site far on the right.
    std::vector<std::pair<double, double>> xy{{0, 0}, {2, 8}, {4, 3}, {1, 5}, {3, 10}, {20, 5}};
    Tessellation t = Tessellate(xy);
    INT_VCTR_1D hc{0, 1, 2, 1, 0};  // five data points; site 5 is a dummy
    std::string file = TempPng("dummy");
    EXPECT_EQ(PlotHC(file, t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    int nW, nH;
    PlotArea(t, nW, nH);
    EXPECT_GT(CheckCells(png, t, hc, nW, nH), 25000);
    // The dummy's mark: black edge, white centre.
    const double scale = nW / (t.vdDataScale[1] - t.vdDataScale[0]);
    int px = static_cast<int>(std::lround(50 + (20 - t.vdDataScale[0]) * scale));
    int py = static_cast<int>(std::lround(50 + nH - 1 - (5 - t.vdDataScale[2]) * scale));
    EXPECT_EQ(png.pixel(px, py), kWhite);
    EXPECT_EQ(png.pixel(px + 2, py), kBlack);
    EXPECT_EQ(png.pixel(50 + nW - 2, 52), kWhite);
}

TEST_F(MembershipMapTest, LabelsBeyondTheColourTableWrapAround) {
    Tessellation t = Tessellate({{0, 0}, {10, 2}, {4, 9}, {8, 7}});
    INT_VCTR_1D hc{51, 52, 2 + 2 * 51, 3};
    std::string file = TempPng("wrap");
    EXPECT_EQ(PlotHC(file, t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(GetClusterColor(51), GetClusterColor(0));
    int nW, nH;
    PlotArea(t, nW, nH);
    EXPECT_GT(CheckCells(png, t, hc, nW, nH), 12500);
}

TEST_F(MembershipMapTest, RefusalsWriteNothing) {
    Tessellation t = Tessellate({{0, 0}, {10, 2}, {4, 9}});
    INT_VCTR_1D hc{0, 1, 0};
    std::string file = TempPng("refused");
    // A site far beyond the bounds it came with, as in a hand-edited file.
    std::vector<SPoint> farSite = t.vptX;
    farSite[2].m_psXY.m_dY = 1e9;
    struct Case {
        std::vector<SPoint> pts;
        std::vector<bool> keep;
        DBL_VCTR_1D mm;
        std::vector<CEdge> edges;
        INT_VCTR_1D hc;
        std::string message;
    };
    std::vector<Case> cases{
        {{}, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc, "No Voronoi Points - PlotHC"},
        {t.vptX, {}, t.vdDataMinMax, t.veVoronoi, hc, "No Keep Flags - PlotHC"},
        {t.vptX, t.vbKeep, {0, 1, 2}, t.veVoronoi, hc, "Wrong Data Min Max - PlotHC"},
        {t.vptX, t.vbKeep, t.vdDataMinMax, {}, hc, "No Voronoi Edges - PlotHC"},
        {t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, {}, "No Hard Clustering Results - PlotHC"},
        {t.vptX,
         t.vbKeep,
         t.vdDataMinMax,
         t.veVoronoi,
         {0, 1, 0, 1},
         "Wrong Hard Clustering Results - PlotHC"},
        {t.vptX, {true, true}, t.vdDataMinMax, t.veVoronoi, hc, "Wrong Keep Flags - PlotHC"},
        {t.vptX, t.vbKeep, {0, 10, 3, 3}, t.veVoronoi, hc, "Wrong Data Min Max - PlotHC"},
        {farSite, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc,
         "Voronoi Points Outside the Map - PlotHC"},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        EXPECT_EQ(PlotHC(file, c.pts, c.keep, c.mm, c.edges, c.hc), -1);
        EXPECT_EQ(::testing::internal::GetCapturedStderr(), c.message + "\n");
        EXPECT_FALSE(std::ifstream(file).good()) << c.message;
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(
        PlotHC("/nonexistent-folder/m.png", t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Unable to make chart - PlotHC\n");
}

TEST_F(MembershipMapTest, ScatterFormDrawsOneColourPerCluster) {
    Tessellation t = Tessellate(RandomSites(12, 3));
    INT_VCTR_1D hc;
    for (size_t i = 0; i < t.vptX.size(); ++i)
        hc.push_back(static_cast<int>(i % 3));
    std::string file = TempPng("scatter");
    EXPECT_EQ(PlotHC(file, t.vptX, t.vdDataScale, hc, 3, true), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 1100);
    EXPECT_EQ(png.height(), 600);
    const double scale = 1000 / (t.vdDataScale[1] - t.vdDataScale[0]);
    for (size_t i = 0; i < t.vptX.size(); ++i) {
        int px =
            static_cast<int>(std::lround(50 + (t.vptX[i].m_psXY.m_dX - t.vdDataScale[0]) * scale));
        int py =
            static_cast<int>(std::lround(549 - (t.vptX[i].m_psXY.m_dY - t.vdDataScale[2]) * scale));
        EXPECT_EQ(png.pixel(px, py), GetClusterColor(hc[i])) << i;
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PlotHC(file, t.vptX, {0, 1}, hc, 3, false), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "Wrong Data Scale - PlotHC\n");
}

TEST_F(MembershipMapTest, SitesOnTheirCellBorderStillGetTheirCellsPainted) {
    // Two sites less than a pixel apart: the line between their cells runs
    // through their pixels, so the cells are painted by the gap filling.
    Tessellation t = Tessellate({{0, 0}, {10, 10}, {5, 5}, {5.015, 5.0}, {2, 8}, {8, 2}});
    ASSERT_TRUE(t.vbKeep[2] && t.vbKeep[3]);
    INT_VCTR_1D hc{0, 1, 2, 3, 4, 5};
    std::string file = TempPng("border");
    EXPECT_EQ(PlotHC(file, t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_GT(CheckCells(png, t, hc, 500, 500), 25000);
    // Both narrow cells show their colours above and below the two sites.
    int counts[2] = {0, 0};
    for (int y = 50; y < 550; ++y)
        for (int x = 290; x < 310; ++x) {
            counts[0] += png.pixel(x, y) == GetClusterColor(2);
            counts[1] += png.pixel(x, y) == GetClusterColor(3);
        }
    EXPECT_GT(counts[0], 100);
    EXPECT_GT(counts[1], 100);
}

TEST_F(MembershipMapTest, DummySiteOnALineLeavesTheLinesBlack) {
    // The dummy site lies less than a pixel from a data site: the line
    // between their cells runs through its pixel.
    Tessellation t = Tessellate({{0, 0}, {10, 10}, {5, 5}, {2, 8}, {8, 2}, {5.015, 5.0}});
    ASSERT_TRUE(t.vbKeep[5]);
    INT_VCTR_1D hc{0, 1, 2, 3, 4};
    std::string file = TempPng("dummy_on_line");
    EXPECT_EQ(PlotHC(file, t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    int black = 0;
    for (int y = 50; y < 550; ++y)
        for (int x = 50; x < 550; ++x)
            black += png.pixel(x, y) == kBlack;
    EXPECT_GT(black, 1000);                 // the cell borders are still drawn
    EXPECT_EQ(png.pixel(49, 300), kBlack);  // and the y axis
    EXPECT_GT(CheckCells(png, t, hc, 500, 500), 25000);
}

// The PDF twin draws the cells as shapes: no image in it, the title and the
// legend as text.
TEST_F(MembershipMapTest, PdfTwinIsVector) {
    if (!PdfTools::Installed() || std::system("command -v pdfimages > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "poppler-utils (pdfimages, pdftotext) are not installed: PDF not read";
    Tessellation t = Tessellate(RandomSites(30, 11));
    INT_VCTR_1D hc;
    for (size_t i = 0; i < t.vptX.size(); ++i)
        hc.push_back(static_cast<int>(i % 3));
    const std::string file = TempPng("vector");
    ASSERT_EQ(PlotHC(file, t.vptX, t.vbKeep, t.vdDataMinMax, t.veVoronoi, hc, 3), 0);
    const std::string pdf = Chart::PdfTwin(file);
    const std::string images = PdfTools::Run("pdfimages -list '" + pdf + "'");
    EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images;
    std::string words;
    for (const PdfTools::Word& w : PdfTools::Words(pdf).words)
        words += w.text + " ";
    EXPECT_NE(words.find("Membership of Individuals"), std::string::npos) << words;
    EXPECT_NE(words.find("Cluster 3"), std::string::npos) << words;
}

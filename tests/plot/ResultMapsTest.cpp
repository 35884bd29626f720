// The maps of breloAdm's results: MAP (the sampling sites' cells and pies)
// and PredictionMap (the predicted raster), read back from their PNG and
// PDF files.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "chart/PdfTools.h"
#include "chart/PngImage.h"
#include "plot/MapChart.h"
#include "plot/PlotUtilities.h"
#include "voronoi/Voronoi.h"
#include "voronoi/VoronoiTestUtils.h"

namespace {

std::string TempPng(const std::string& name) {
    const std::string file = ::testing::TempDir() + "maps_" + name + ".png";
    std::remove(file.c_str());
    std::remove(Chart::PdfTwin(file).c_str());
    return file;
}

using vtest::Site;

// The images a PDF holds (pdfimages -list, after its two header lines).
int PdfImages(const std::string& pdf) {
    const std::string list = PdfTools::Run("pdfimages -list '" + pdf + "' 2>/dev/null");
    int lines = 0;
    for (char ch : list)
        lines += ch == '\n';
    return lines - 2;
}

bool HasPdfImages() {
    return PdfTools::Installed() && std::system("command -v pdfimages > /dev/null 2>&1") == 0;
}

}  // namespace

// Four sampling sites on a square, the third holding two individuals at one
// place: each cell takes the site's main cluster, as opaque as its share;
// the PDF twin draws the cells as shapes (no image) with its text as text.
TEST(AdmixtureMap, CellsTakeTheMainClusterOfTheirSiteAsOpaqueAsItsShare) {
    std::vector<SPoint> sites = {Site(0, 0, 0), Site(10, 0, 1), Site(0, 10, 2),
                                 Site(0.001, 10.001, 3), Site(10, 10, 4)};
    std::vector<bool> keep;
    std::vector<double> minMax, box;
    std::vector<CEdge> edges;
    ASSERT_TRUE(CVoronoi::GetVoronoi(sites, keep, minMax, box, edges));
    const DBL_VCTR_2D q = {{0.9, 0.1}, {0.2, 0.8}, {0.6, 0.4}, {0.4, 0.6}, {0.5, 0.5}};
    const INT_VCTR_1D siteOf = {0, 1, 2, 2, 3};
    const std::string file = TempPng("admixture");
    ASSERT_EQ(PlotAdmixtureMap(file, sites, keep, minMax, edges, q, siteOf, 100, 200), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    // A square box: 450 x 450 pixels from (75, 50); the box spans the sites'
    // bounds widened by 10 % on each side.
    const double x0 = -1, y1 = 11.0015, scale = 450 / 12.0;
    const auto pixel = [&](double x, double y) {
        return png.pixel(static_cast<int>(75 + (x - x0) * scale),
                         static_cast<int>(50 + (y1 - y) * scale));
    };
    EXPECT_EQ(pixel(2.5, 1.5), MapStyle::OverWhite(GetClusterColor(0), 0.9));
    EXPECT_EQ(pixel(7.5, 1.5), MapStyle::OverWhite(GetClusterColor(1), 0.8));
    // The two individuals of the third site: the mean of their shares, 0.5
    // and 0.5, main cluster the first.
    EXPECT_EQ(pixel(1.5, 7.5), MapStyle::OverWhite(GetClusterColor(0), 0.5));
    EXPECT_EQ(pixel(7.5, 8.5), MapStyle::OverWhite(GetClusterColor(0), 0.5));
    // The pie of the first site: its first cluster fills most of it.
    EXPECT_EQ(pixel(0.05, 0.1), GetClusterColor(0));
    if (!HasPdfImages())
        GTEST_SKIP() << "poppler-utils (pdfimages, pdffonts) are not installed: PDF not read";
    const std::string pdf = Chart::PdfTwin(file);
    EXPECT_EQ(PdfImages(pdf), 0);
    const PdfTools::Page page = PdfTools::Words(pdf);
    std::string words;
    for (const auto& w : page.words)
        words += w.text + " ";
    EXPECT_NE(words.find("Cluster 2"), std::string::npos) << words;
    EXPECT_NE(words.find("-100"), std::string::npos) << words;  // x = 0 - 100
}

// A raster of 4 x 2 cells with one cell without data: each cell takes its
// main cluster, paler where it holds less; the small maps show each
// cluster's proportion; the raster is one image per map in the PDF.
TEST(PredictionMap, CellsTakeTheirMainClusterAndPanelsTheirProportion) {
    const DBL_VCTR_3D prediction = {{{0.9, 0.7, 0.5, -9}, {0.3, 0.1, 0.2, 0.6}},
                                    {{0.1, 0.3, 0.5, -9}, {0.7, 0.9, 0.8, 0.4}}};
    const DBL_VCTR_2D sites = {{0.5, 0.5}, {3.2, 1.7}};
    const std::string file = TempPng("prediction");
    ASSERT_EQ(PlotPredictionMap(file, prediction, 0.5, 0.5, 1, -9, sites), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    // The main map: 800 x 400 pixels from (75, 80), 200 pixels a cell.
    const auto cell = [&](int row, int col) {
        return png.pixel(75 + col * 200 + 60, 80 + row * 200 + 60);
    };
    EXPECT_EQ(cell(0, 0), MapStyle::OverWhite(GetClusterColor(0), 0.9));
    EXPECT_EQ(cell(0, 1), MapStyle::OverWhite(GetClusterColor(0), 0.7));
    EXPECT_EQ(cell(1, 1), MapStyle::OverWhite(GetClusterColor(1), 0.9));
    EXPECT_EQ(cell(0, 3), 0xdddddd);
    // A site is a black dot.
    EXPECT_EQ(png.pixel(75 + 100, 80 + 300), 0x000000);
    EXPECT_GT(png.height(), 30 + 505 + 100);  // the small maps below

    if (!HasPdfImages())
        GTEST_SKIP() << "poppler-utils (pdfimages, pdffonts) are not installed: PDF not read";
    EXPECT_EQ(PdfImages(Chart::PdfTwin(file)), 3);
}

// A raster of more cells than the map has pixels is drawn from a sample of
// its cells: the image in the PDF stays about as wide as the map's pixels.
TEST(PredictionMap, LargeRasterIsSampled) {
    if (!HasPdfImages())
        GTEST_SKIP() << "poppler-utils (pdfimages) are not installed: PDF not read";
    const DBL_VCTR_3D prediction(2, DBL_VCTR_2D(700, DBL_VCTR_1D(8000, 0.5)));
    const std::string file = TempPng("large");
    ::testing::internal::CaptureStderr();
    ASSERT_EQ(PlotPredictionMap(file, prediction, 0.5, 0.5, 1, -9, {}), 0);
    ::testing::internal::GetCapturedStderr();
    const std::string list = PdfTools::Run("pdfimages -list '" + Chart::PdfTwin(file) + "'");
    std::istringstream rows(list);
    std::string line;
    std::getline(rows, line);
    std::getline(rows, line);
    int images = 0;
    while (std::getline(rows, line)) {
        std::istringstream fields(line);
        int page = 0, num = 0, width = 0, height = 0;
        std::string type;
        fields >> page >> num >> type >> width >> height;
        // The main map 1600 pixels wide, the small ones at most 300.
        EXPECT_LE(width, images == 0 ? 3200 : 600) << line;
        EXPECT_GE(width, images == 0 ? 1600 : 200) << line;
        ++images;
    }
    EXPECT_EQ(images, 3);
}

TEST(ResultMaps, RefusalsWriteNothing) {
    const std::string file = TempPng("refused");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PlotPredictionMap(file, {}, 0, 0, 1, -9, {}), -1);
    EXPECT_EQ(PlotAdmixtureMap(file, {}, {}, {}, {}, {}, {}, 0, 0), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Uninitialized prediction - PlotPredictionMap\n"
              "Wrong Tessellation or Proportions - PlotAdmixtureMap\n");
    EXPECT_FALSE(std::ifstream(file).good());
}

// With 17 clusters (and 30) and 240 sites every text of both maps lies on
// the page: the legend makes the chart taller when it must.
TEST(ResultMaps, NoTextCutWithManyClusters) {
    if (!PdfTools::Installed())
        GTEST_SKIP() << "poppler-utils (pdftotext) are not installed: PDF not read";
    for (const int K : {17, 30}) {
        std::mt19937 gen(3);
        std::uniform_real_distribution<double> u(0, 1);
        const int N = 240;
        std::vector<SPoint> sites;
        DBL_VCTR_2D q(N, DBL_VCTR_1D(K)), xy;
        for (int i = 0; i < N; ++i) {
            sites.push_back(Site(1000 * u(gen), 300 * u(gen), i));
            xy.push_back({sites[i].m_psXY.m_dX, sites[i].m_psXY.m_dY});
            double sum = 0;
            for (int k = 0; k < K; ++k)
                sum += (q[i][k] = u(gen) + (k == i % K ? 10 : 0));
            for (double& v : q[i])
                v /= sum;
        }
        std::vector<bool> keep;
        std::vector<double> minMax, box;
        std::vector<CEdge> edges;
        ASSERT_TRUE(CVoronoi::GetVoronoi(sites, keep, minMax, box, edges));
        const DBL_VCTR_3D prediction(K, DBL_VCTR_2D(3, DBL_VCTR_1D(10, 1.0 / K)));
        const std::string admixture = TempPng("many"), predicted = TempPng("many_p");
        ASSERT_EQ(PlotAdmixtureMap(admixture, sites, keep, minMax, edges, q, {}, 0, 0), 0);
        ASSERT_EQ(PlotPredictionMap(predicted, prediction, 50, 50, 100, -9, xy), 0);
        // The last words of each legend: the last key, the end of the notes.
        for (const auto& [file, end] : {std::make_pair(admixture, std::string("site.")),
                                        std::make_pair(predicted, std::string("sites."))}) {
            const PdfTools::Page page = PdfTools::Words(Chart::PdfTwin(file));
            bool last = false, noted = false;
            for (const PdfTools::Word& w : page.words) {
                EXPECT_TRUE(w.xMin >= 0 && w.yMin >= 0 && w.xMax <= page.width &&
                            w.yMax <= page.height)
                    << file << ": " << w.text;
                last = last || w.text == std::to_string(K);
                noted = noted || w.text == end;
            }
            EXPECT_TRUE(last) << file << " names cluster " << K;
            EXPECT_TRUE(noted) << file << " ends its notes";
        }
    }
}

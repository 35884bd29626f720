#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "chart/Palette.h"
#include "chart/PngImage.h"
#include "core/ProgramFlavour.h"
#include "plot/PlotUtilities.h"

namespace {

const int kBackground = 0xffffcc;
const int kWhite = 0xffffff;

std::string TempPng(const std::string& name) {
    std::string file = ::testing::TempDir() + "plot_" + name + ".png";
    std::remove(file.c_str());
    return file;
}

bool FileExists(const std::string& file) {
    return std::ifstream(file).good();
}

DBL_VCTR_1D Ramp(int n, double from, double step) {
    DBL_VCTR_1D v;
    for (int i = 0; i < n; ++i)
        v.push_back(from + i * step);
    return v;
}

// Individual i of n: memberships (0.25, 0.75) for i = 0, others varied.
DBL_VCTR_2D Memberships(int n) {
    DBL_VCTR_2D ap{{0.25, 0.75}};
    for (int i = 1; i < n; ++i)
        ap.push_back({(i % 5) / 5.0, 1 - (i % 5) / 5.0});
    return ap;
}

class ResultChartsTest : public ::testing::Test {
  protected:
    void TearDown() override { SetProgramFlavour(ProgramFlavour::Brelo); }
};

}  // namespace

TEST_F(ResultChartsTest, LogLikelihoodChartHasItsSizeAndColours) {
    std::string file = TempPng("lh");
    // Five values: a label step of 0, which must still draw every label.
    EXPECT_EQ(PlotLH(file, {-1500, -1300, -1250, -1240, -1235}), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 900);
    EXPECT_EQ(png.height(), 600);
    EXPECT_EQ(png.pixel(0, 300), 0x000000);      // edge
    EXPECT_EQ(png.pixel(20, 580), kBackground);  // margin
    EXPECT_EQ(png.pixel(450, 5), 0x804020);      // title band
    EXPECT_EQ(png.pixel(449, 51), kWhite);       // plot area
    // The first value sits at the plot area's left edge, in the first data colour.
    EXPECT_GT(png.countInColumn(50, 50, 549, GetClusterColor(0)), 0);
}

// The end of the burn-in is a line across the plot area between the last
// burn-in sweep and the first kept one, on the likelihood history and on
// every coefficient history; without a burn-in there is none.
TEST_F(ResultChartsTest, BurnInIsMarkedOnTheHistories) {
    const DBL_VCTR_1D lh = Ramp(100, -500, 1.0);
    const std::string marked = TempPng("lh_burnin"), plain = TempPng("lh_plain");
    ASSERT_EQ(PlotLH(marked, lh, 30), 0);
    ASSERT_EQ(PlotLH(plain, lh), 0);
    // Position 29.5 of 0..99 on an 800-pixel-wide area starting at x = 50.
    const int x = static_cast<int>(std::lround(50 + 29.5 / 99 * 800));
    PngImage a(marked), b(plain);
    EXPECT_GT(a.countInColumn(x, 50, 549, kBurnInMarkColor), 450);
    EXPECT_EQ(b.countInColumn(x, 50, 549, kBurnInMarkColor), 0);
    const std::string beta = TempPng("beta_burnin");
    ASSERT_EQ(PlotBetaHist(beta, DBL_VCTR_3D(1, DBL_VCTR_2D(2, Ramp(50, 0, 0.1))), {}, 0, 0, 10),
              0);
    PngImage c(beta);
    // Small charts at x = 100 and 450, plot areas 260 x 160 at (20, 20).
    for (int chart = 0; chart < 2; ++chart) {
        const int cx = static_cast<int>(std::lround(100 + 350 * chart + 20 + 9.5 / 49 * 260));
        EXPECT_GT(c.countInColumn(cx, 120, 279, kBurnInMarkColor), 140) << chart;
    }
}

TEST_F(ResultChartsTest, LogLikelihoodOutOfRangeWritesNothing) {
    std::string file = TempPng("lh_bad");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PlotLH(file, {-10, -1e301, -5}), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Data Out Of Range, No Chart Plotted - PlotLH\n");
    EXPECT_FALSE(FileExists(file));
}

TEST_F(ResultChartsTest, UnwritablePathIsReportedAndReturns) {
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PlotLH("/nonexistent-folder/lh.png", {1, 2, 3}), -1);
    EXPECT_EQ(PlotAP("/nonexistent-folder/ap.png", Memberships(3), "T"), -1);
    std::string err = ::testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Unable to make chart - PlotLH\n"), std::string::npos);
    EXPECT_NE(err.find("Unable to make chart - PlotAP\n"), std::string::npos);
}

TEST_F(ResultChartsTest, AssignmentBarsStackMembershipsToFullHeight) {
    for (ProgramFlavour flavour : {ProgramFlavour::Brelo, ProgramFlavour::BreloAdm}) {
        SetProgramFlavour(flavour);
        std::string file = TempPng("ap");
        EXPECT_EQ(PlotAP(file, Memberships(20), "Assignment Probabilities"), 0);
        PngImage png(file);
        ASSERT_TRUE(png.ok());
        EXPECT_EQ(png.width(), 700);
        EXPECT_EQ(png.height(), 600);
        // Plot area 600 pixels wide from x = 50: 30 pixels per individual.
        int firstBar = 50 + 15, lastBar = 50 + 19 * 30 + 15;
        EXPECT_EQ(png.countInColumn(firstBar, 50, 549, GetClusterColor(0)), 125);
        EXPECT_EQ(png.countInColumn(firstBar, 50, 549, GetClusterColor(1)), 375);
        EXPECT_EQ(png.pixel(firstBar, 549), GetClusterColor(0));  // cluster 1 at the bottom
        EXPECT_EQ(png.pixel(lastBar, 100), GetClusterColor(1));   // individual 20: (0.8, 0.2)
        EXPECT_EQ(png.countInColumn(lastBar, 50, 549, GetClusterColor(0)), 400);
        EXPECT_EQ(png.pixel(50 + 30, 300), kWhite);  // gap between bars
        EXPECT_EQ(png.pixel(690, 300), kBackground);
    }
}

TEST_F(ResultChartsTest, AssignmentChartOfManyIndividualsIsStillDrawn) {
    const int n = 1200;  // 30 * n + 100 pixels exceed the image limit
    std::string file = TempPng("ap_large");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(PlotAP(file, Memberships(n), "Many"), 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("exceeds the image limit"), std::string::npos);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 32767);
    EXPECT_EQ(png.height(), 600);
    // The last individual's bar is there, just left of the right margin.
    double slot = (32767 - 100.0) / n;
    int x = static_cast<int>(50 + (n - 0.5) * slot);
    EXPECT_EQ(png.countInColumn(x, 50, 549, GetClusterColor(0)) +
                  png.countInColumn(x, 50, 549, GetClusterColor(1)),
              500);
}

TEST_F(ResultChartsTest, RaggedMembershipsAreRefused) {
    std::string file = TempPng("ap_ragged");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PlotAP(file, {{0.5, 0.5}, {1.0}}, "T"), -1);
    EXPECT_EQ(PlotAP(file, {}, "T"), -1);
    ::testing::internal::GetCapturedStderr();
    EXPECT_FALSE(FileExists(file));
}

TEST_F(ResultChartsTest, CoefficientGridHasOneChartPerClusterAndCoefficient) {
    const int K = 2, B = 3;
    DBL_VCTR_3D hist(K, DBL_VCTR_2D(B, Ramp(40, -1, 0.05)));
    std::string file = TempPng("beta");
    EXPECT_EQ(PlotBetaHist(file, hist, {2}, 1, 0), 0);
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 350 * B + 100);
    EXPECT_EQ(png.height(), 250 * K + 100);
    for (int k = 0; k < K; ++k)
        for (int b = 0; b < B; ++b) {
            int x = 100 + 350 * b, y = 100 + 250 * k;
            EXPECT_EQ(png.pixel(x, y + 100), 0x000000) << k << b;  // sub-chart edge
            EXPECT_EQ(png.pixel(x + 150, y + 10), kBackground);    // its margin
            EXPECT_EQ(png.pixel(x + 150, y + 21), kWhite);         // its plot area
        }
    EXPECT_EQ(png.pixel(80, 580), kBackground);
}

TEST_F(ResultChartsTest, CoefficientOutOfRangeWritesNothing) {
    DBL_VCTR_3D hist(2, DBL_VCTR_2D(2, Ramp(10, 0, 1)));
    hist[1][1][7] = -1e301;
    std::string file = TempPng("beta_bad");
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(PlotBetaHist(file, hist, {}, 1, 0), -1);
    EXPECT_EQ(::testing::internal::GetCapturedStderr(),
              "Data Out Of Range, No Chart Plotted - PlotBetaHist\n");
    EXPECT_FALSE(FileExists(file));
}

TEST_F(ResultChartsTest, EmptyCoefficientHistoryEndsTheProgram) {
    EXPECT_EXIT(PlotBetaHist(TempPng("beta_empty"), {}, {}, 0, 0), ::testing::ExitedWithCode(1),
                "Uninitialized betaHist - PlotBetaHist");
}

TEST_F(ResultChartsTest, PredictedProbabilitiesPerLevelSideBySide) {
    DBL_VCTR_3D ap{{{0.2, 0.8}, {0.5, 0.5}, {0.9, 0.1}},
                   {{0.3, 0.7}, {0.6, 0.4}, {0.1, 0.9}, {0.5, 0.5}}};
    std::string file = TempPng("ppm");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(PlotPPMqual(file, ap), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(),
              "enter plotPPMqual\nChart made - PlotPPMqual\n");
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 560);
    EXPECT_EQ(png.height(), 700);
    // Sub-charts at x = 50 and x = 290, y = 50, each 600 high.
    EXPECT_EQ(png.pixel(50, 300), 0x000000);
    EXPECT_EQ(png.pixel(290, 300), 0x000000);
    EXPECT_EQ(png.pixel(270, 300), kBackground);
    // Level 1 of covariate 1: 0.2 of cluster 1 over 500 pixels.
    EXPECT_EQ(png.countInColumn(50 + 50 + 15, 100, 599, GetClusterColor(0)), 100);
    // Level 4 of covariate 2: half and half.
    EXPECT_EQ(png.countInColumn(290 + 50 + 105, 100, 599, GetClusterColor(1)), 250);
}

TEST_F(ResultChartsTest, MixingProportionsAndKinshipCharts) {
    std::string mp = TempPng("mp");
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(PlotMP(mp, {0.25, 0.75}), 0);
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(out.rfind("Entering Plot MP ... \n", 0), 0u);
    EXPECT_NE(out.find("Chart Made ... \n"), std::string::npos);
    PngImage pie(mp);
    EXPECT_EQ(pie.width(), 600);
    EXPECT_EQ(pie.height(), 600);
    EXPECT_EQ(pie.pixel(350, 250), GetClusterColor(0));  // first quarter, clockwise from 12 o'clock
    EXPECT_EQ(pie.pixel(250, 350), GetClusterColor(1));
    EXPECT_EQ(pie.pixel(300, 510), kBackground);

    std::string kin = TempPng("kin");
    EXPECT_EQ(PlotKin(kin, {0.1, 0.3, 0.2}, {"a", "b", "c"}), 0);
    PngImage bars(kin);
    EXPECT_EQ(bars.width(), 280);
    EXPECT_EQ(bars.height(), 600);
    int tallest = bars.countInColumn(50 + 90, 50, 549, GetClusterColor(0));
    int shortest = bars.countInColumn(50 + 30, 50, 549, GetClusterColor(0));
    EXPECT_GT(tallest, 2 * shortest);
}

// A cluster has one colour in every chart of both programs: the chart
// palette's, whatever the program.
TEST_F(ResultChartsTest, ClusterColoursAreThePalettesInBothPrograms) {
    for (ProgramFlavour flavour : {ProgramFlavour::Brelo, ProgramFlavour::BreloAdm}) {
        SetProgramFlavour(flavour);
        for (int k = 0; k < 2 * Chart::kPaletteSize; ++k)
            EXPECT_EQ(GetClusterColor(k), Chart::PaletteColor(k)) << k;
    }
}

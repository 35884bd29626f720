#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "chart/Palette.h"
#include "chart/PngImage.h"
#include "core/ProgramFlavour.h"
#include "plot/PlotUtilities.h"
#include "plot/ResultCharts.h"

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
    // The first value sits at the plot area's left edge (moved right for the
    // y axis's labels and name), in the first data colour.
    auto c = LogLikelihoodChart({-1500, -1300, -1250, -1240, -1235}, -1);
    c->makeDrawing();
    EXPECT_GT(c->getPlotAreaLeft(), 50);
    EXPECT_GT(png.countInColumn(c->getPlotAreaLeft(), 50, 549, GetClusterColor(0)), 0);
}

// The end of the burn-in is a line across the plot area between the last
// burn-in sweep and the first kept one, on the likelihood history and on
// every coefficient history; without a burn-in there is none.
TEST_F(ResultChartsTest, BurnInIsMarkedOnTheHistories) {
    const DBL_VCTR_1D lh = Ramp(100, -500, 1.0);
    const std::string marked = TempPng("lh_burnin"), plain = TempPng("lh_plain");
    ASSERT_EQ(PlotLH(marked, lh, 30), 0);
    ASSERT_EQ(PlotLH(plain, lh), 0);
    // Position 29.5 of 0..99 across the plot area.
    auto chart = LogLikelihoodChart(lh, 30);
    chart->makeDrawing();
    const int x = static_cast<int>(std::lround(chart->getXCoor(29.5)));
    PngImage a(marked), b(plain);
    EXPECT_GT(a.countInColumn(x, 50, 549, kBurnInMarkColor), 450);
    EXPECT_EQ(b.countInColumn(x, 50, 549, kBurnInMarkColor), 0);
    const std::string beta = TempPng("beta_burnin");
    ASSERT_EQ(PlotBetaHist(beta, DBL_VCTR_3D(1, DBL_VCTR_2D(2, Ramp(50, 0, 0.1))), {}, 0, 0, 10),
              0);
    PngImage c(beta);
    // Small charts at x = 100 and 450, 200 high at y = 100; position 9.5 of
    // 0..49 across their plot areas (the same in both).
    const DBL_VCTR_1D values = Ramp(50, 0, 0.1);
    auto grid = CoefficientHistoryChart(DBL_VCTR_3D(1, DBL_VCTR_2D(2, values)), {}, 0, 0, 10);
    grid->makeDrawing();
    const Chart::TextExtent* sweep = nullptr;
    for (const Chart::TextExtent& t : grid->textExtents())
        if (t.text == "sweep" && !sweep)
            sweep = &t;
    ASSERT_NE(sweep, nullptr);  // the x axis of the first small chart is named
    for (int chart = 0; chart < 2; ++chart) {
        int marked = 0;
        for (int x = 100 + 350 * chart; x < 400 + 350 * chart; ++x)
            marked = std::max(marked, c.countInColumn(x, 100, 299, kBurnInMarkColor));
        EXPECT_GT(marked, 120) << chart;
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
        // The design's 30 pixels a bar from x = 50, then the legend.
        EXPECT_GT(png.width(), 700);
        EXPECT_EQ(png.height(), 600);
        // Plot area 600 pixels wide from x = 50: 30 pixels per individual.
        int firstBar = 50 + 15, lastBar = 50 + 19 * 30 + 15;
        EXPECT_EQ(png.countInColumn(firstBar, 50, 549, GetClusterColor(0)), 125);
        EXPECT_EQ(png.countInColumn(firstBar, 50, 549, GetClusterColor(1)), 375);
        EXPECT_EQ(png.pixel(firstBar, 549), GetClusterColor(0));  // cluster 1 at the bottom
        EXPECT_EQ(png.pixel(lastBar, 100), GetClusterColor(1));   // individual 20: (0.8, 0.2)
        EXPECT_EQ(png.countInColumn(lastBar, 50, 549, GetClusterColor(0)), 400);
        EXPECT_EQ(png.pixel(50 + 30, 300), kWhite);  // gap between bars
        EXPECT_EQ(png.pixel(660, 300), kBackground);
    }
}

// At any number of individuals the bar plot keeps to kMaxBarPlotWidth
// (2400 pixels in its PNG), its bars side by side without gaps, with a
// legend of every cluster; ids are written only where they fit.
TEST_F(ResultChartsTest, MembershipBarsFitTheWidthAtAnyNumberOfIndividuals) {
    const int K = 17;
    for (int N : {20, 237, 704, 5000}) {
        DBL_VCTR_2D ap(N, DBL_VCTR_1D(K, 0.0));
        std::vector<std::string> ids;
        for (int i = 0; i < N; ++i) {
            ap[i][i % K] = 0.7;
            ap[i][(i + 1) % K] = 0.3;
            ids.push_back("id" + std::to_string(i + 1));
        }
        SBarLabels labels;
        labels.ids = ids;
        const std::string file = TempPng("ap_" + std::to_string(N));
        ASSERT_EQ(PlotAP(file, ap, "Assignment Probabilities", labels), 0);
        PngImage png(file);
        ASSERT_TRUE(png.ok());
        EXPECT_LE(png.imageWidth(), 2400) << N;
        auto c = MembershipBarChart(ap, "Assignment Probabilities", labels, {});
        c->makeDrawing();
        int legendKeys = 0, idsShown = 0;
        for (const Chart::TextExtent& t : c->textExtents()) {
            EXPECT_TRUE(t.inside()) << N << " '" << t.text << "'";
            legendKeys += t.text.rfind("cluster ", 0) == 0;
            idsShown += t.text.rfind("id", 0) == 0;
        }
        EXPECT_EQ(legendKeys, K) << N;
        EXPECT_EQ(idsShown, N <= 40 ? N : 0) << N;
        // Across the middle of the plot area every pixel is a bar's.
        const int y = c->getPlotAreaTop() + c->getPlotAreaHeight() / 2;
        int background = 0;
        for (int x = c->getPlotAreaLeft() + 1; x < c->getPlotAreaLeft() + c->getPlotAreaWidth() - 1;
             ++x)
            background += png.pixel(x, y) == kWhite || png.pixel(x, y) == kBackground;
        EXPECT_EQ(background, N <= 100 ? background : 0) << N;  // gaps only between wide bars
    }
}

// The individuals stand by group, then by main cluster; each group named
// under its bars, a black line between groups.
TEST_F(ResultChartsTest, MembershipBarsStandByGroupThenByMainCluster) {
    const DBL_VCTR_2D ap{{0.1, 0.9}, {0.8, 0.2}, {0.7, 0.3}, {0.6, 0.4}, {0.2, 0.8}, {0.9, 0.1}};
    SBarLabels labels =
        PopulationBarLabels({"a", "b", "c", "d", "e", "f"}, INT_VCTR_1D{2, 1, 2, 1, 2, 1});
    EXPECT_EQ(labels.groupNames, (std::vector<std::string>{"pop 1", "pop 2"}));
    const INT_VCTR_1D order = MembershipOrder(ap, labels);
    EXPECT_EQ(order, (INT_VCTR_1D{5, 1, 3, 2, 0, 4}));
    EXPECT_EQ(MembershipOrder(ap, SBarLabels()), (INT_VCTR_1D{5, 1, 2, 3, 0, 4}));
    const std::string file = TempPng("ap_groups");
    ASSERT_EQ(PlotAP(file, ap, "Assignment Probabilities", labels, order), 0);
    auto c = MembershipBarChart(ap, "Assignment Probabilities", labels, order);
    c->makeDrawing();
    std::vector<std::string> texts;
    for (const Chart::TextExtent& t : c->textExtents()) {
        EXPECT_TRUE(t.inside()) << t.text;
        if (t.top > c->getPlotAreaTop() + c->getPlotAreaHeight())
            texts.push_back(t.text);
    }
    EXPECT_EQ(texts, (std::vector<std::string>{"f", "b", "d", "c", "a", "e", "pop 1", "pop 2",
                                               "individuals by group, then by main cluster"}));
    PngImage png(file);
    const int between = static_cast<int>(std::lround(c->getXCoor(2.5)));
    EXPECT_GT(png.countInColumn(between, 60, 540, 0x000000), 400);
    // Bar 1 is individual f: 0.9 of cluster 1 from the bottom.
    const int bar1 = static_cast<int>(c->getXCoor(0));
    EXPECT_EQ(png.countInColumn(bar1, 50, 549, GetClusterColor(0)), 450);
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
    EXPECT_GT(png.width(), 560);  // the design's 560, then the legend
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

namespace {

// Every text of the chart's last drawing lies inside its own chart, and
// the title is drawn as given.
void ExpectWholeTexts(const BaseChart& c, const std::string& title) {
    bool titleSeen = false;
    for (const Chart::TextExtent& t : c.textExtents()) {
        EXPECT_TRUE(t.inside()) << title << ": '" << t.text << "' at " << t.left << "," << t.top
                                << " - " << t.right << "," << t.bottom << " in " << t.canvasLeft
                                << "," << t.canvasTop << " - " << t.canvasRight << ","
                                << t.canvasBottom;
        titleSeen = titleSeen || t.text == title;
    }
    EXPECT_TRUE(titleSeen) << title;
}

}  // namespace

// Charts shaped as those of a run on 237 sites with 17 clusters, a trend of
// degree 3 and covariates, of large values, and of a prediction for a few
// new individuals: no text is cut (tick labels, titles, headers, ids).
TEST_F(ResultChartsTest, NoTextIsCutOnAnyResultChart) {
    const int N = 237, K = 17, S = 300;
    DBL_VCTR_1D lh;
    for (int s = 0; s < S; ++s)
        lh.push_back(-123456.75 + 1000 * std::sqrt(s));
    auto history = LogLikelihoodChart(lh, 100);
    history->makeDrawing();
    ExpectWholeTexts(*history, "Log-Likelihood History");

    // Two qualitative covariates of 3 and 2 levels, 2 quantitative ones,
    // a trend of degree 3: 15 coefficients.
    DBL_VCTR_3D beta(K, DBL_VCTR_2D(15));
    for (int k = 0; k < K; ++k)
        for (int b = 0; b < 15; ++b)
            beta[k][b] = Ramp(S, -1234.5678 * (b + 1), 0.001 * (k + 1));
    auto coefficients = CoefficientHistoryChart(beta, {3, 2}, 2, 3, 100);
    coefficients->makeDrawing();
    ExpectWholeTexts(*coefficients, "Longitude * Latitude^2");

    DBL_VCTR_2D ap(N, DBL_VCTR_1D(K, 0.0));
    SBarLabels labels;
    for (int i = 0; i < N; ++i) {
        ap[i][i % K] = 0.6;
        ap[i][(i * 7) % K] += 0.4;
        labels.ids.push_back("r" + std::to_string(1000 + i));
        labels.groupOf.push_back(i * 12 / N);
    }
    for (int g = 1; g <= 12; ++g)
        labels.groupNames.push_back("site " + std::to_string(g));
    SetProgramFlavour(ProgramFlavour::BreloAdm);  // ids in its serif font
    auto bars =
        MembershipBarChart(ap, "Assignment Probabilities", labels, MembershipOrder(ap, labels));
    bars->makeDrawing();
    ExpectWholeTexts(*bars, "Assignment Probabilities");
    for (int n = 1; n <= 4; ++n) {
        auto predicted = MembershipBarChart(DBL_VCTR_2D(n, {0.3, 0.7}),
                                            "Predicted Assignement Probilities", {}, {});
        predicted->makeDrawing();
        ExpectWholeTexts(*predicted, "Predicted Assignement Probilities");
    }
    auto levels = LevelBarChart({{{0.2, 0.8}}});
    levels->makeDrawing();
    ExpectWholeTexts(*levels, "Predicted Assignement Probabilities");
}

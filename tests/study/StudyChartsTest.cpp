#include "study/StudyCharts.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>

#include "chart/PngImage.h"
#include "study/StudyTestUtil.h"

namespace {

// Summaries of K = 1 .. 3 whose major modes put individual i mostly in
// cluster i % K.
std::vector<SKSummary> Summaries(int N) {
    std::mt19937 rng(1);
    std::vector<SKSummary> s(3);
    for (int k = 0; k < 3; ++k) {
        s[k].K = k + 1;
        s[k].majorQ = SimulatedMemberships(N, k + 1, rng);
        s[k].meanLogL = -1000 + 100 * k;
        s[k].sdLogL = 5;
        s[k].meanDIC = s[k].bestDIC = 2000 - 150 * k;
    }
    s[1].deltaK = 40;
    s[1].chosen = true;
    return s;
}

}  // namespace

TEST(StudyChartsTest, BarsGroupedWithoutGapsOnAWidthThatFollowsN) {
    // Two groups, given out of order: group 1 first, then by main cluster.
    const std::vector<int> groupOf{1, 0, 1, 0, 1, 0};
    const DBL_VCTR_2D lastQ{{0.1, 0.9}, {0.8, 0.2}, {0.7, 0.3}, {0.6, 0.4}, {0.2, 0.8}, {0.9, 0.1}};
    SBarOrder bars = OrderForBars(groupOf, {"north", "south"}, lastQ);
    EXPECT_EQ(bars.order, (std::vector<int>{5, 1, 3, 2, 0, 4}));
    EXPECT_EQ(bars.names, (std::vector<std::string>{"north", "south"}));
    EXPECT_EQ(bars.starts, (std::vector<int>{0, 3, 6}));

    for (int N : {40, 200, 704}) {
        std::vector<SKSummary> s = Summaries(N);
        std::vector<int> groups(N);
        for (int i = 0; i < N; ++i)
            groups[i] = i < N / 2 ? 0 : 1;
        const std::string base = ::testing::TempDir() + "study_bars" + std::to_string(N);
        ASSERT_TRUE(DrawBarplots(base, s, OrderForBars(groups, {"A", "B"}, s[2].majorQ), "sites"));
        PngImage png(base + ".png");
        ASSERT_TRUE(png.ok());
        // Five pixels a bar from 480 pixels on, plus the margins and the
        // legend, within 1200 pixels (2400 in the image).
        const int W = std::min(1006, std::max(480, 5 * N));
        EXPECT_EQ(png.width(), 60 + W + 4 + 130) << N;
        EXPECT_LE(png.imageWidth(), 2400) << N;
        // Across the K = 3 plot, every pixel of a row is a bar: no gaps.
        const int row = 36 + 2 * 70 + 30, left = 60, right = 60 + W - 1;
        int white = 0, separators = 0;
        for (int x = left + 1; x < right; ++x) {  // inside the plot's edge
            white += png.pixel(x, row) == 0xffffff;
            separators += png.pixel(x, row) == 0x000000;
        }
        EXPECT_EQ(white, 0) << N;
        EXPECT_EQ(separators, 1) << N;  // between the two groups
        std::ifstream svg(base + ".svg");
        std::stringstream text;
        text << svg.rdbuf();
        EXPECT_NE(text.str().find("width=\"" + std::to_string(png.width()) + "px\""),
                  std::string::npos);
    }
}

TEST(StudyChartsTest, KChoiceMarksTheChosenK) {
    std::vector<SKSummary> s = Summaries(20);
    const std::string base = ::testing::TempDir() + "study_kchoice";
    ASSERT_TRUE(DrawKChoice(base, s, {{-1001, -999}, {-905, -895}, {-800, -800}}));
    PngImage png(base + ".png");
    ASSERT_TRUE(png.ok());
    int vermillion = 0;
    // Inside the plot area of the Delta K panel (its legend lies below).
    for (int y = 32 + 28; y < 32 + 28 + 195; ++y)
        for (int x = 675 + 75; x < 675 + 75 + 235; ++x)
            vermillion += png.pixel(x, y) == 0xD55E00;
    EXPECT_GT(vermillion, 50);  // the diamond of K = 2 in the Delta K panel
}

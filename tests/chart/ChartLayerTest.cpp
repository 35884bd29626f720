#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "chart/Chart.h"
#include "chart/LabelFormat.h"
#include "chart/PngImage.h"

namespace {

const int kWhite = 0xffffff;
const int kBlack = 0x000000;
const int kFill = 0x3366cc;

std::string TempPng(const std::string& name) {
    return ::testing::TempDir() + "chart_" + name + ".png";
}

// The triangle (10,10) (90,20) (40,85) drawn with black one-pixel lines.
void DrawTriangle(DrawArea& d) {
    d.line(10, 10, 90, 20, kBlack);
    d.line(90, 20, 40, 85, kBlack);
    d.line(40, 85, 10, 10, kBlack);
}

// Which side of the directed line a->b the point p lies on.
double Side(double ax, double ay, double bx, double by, double px, double py) {
    return (bx - ax) * (py - ay) - (by - ay) * (px - ax);
}

// 1 well inside the triangle, -1 well outside, 0 near an edge.
int TriangleZone(int x, int y) {
    const double vx[] = {10, 90, 40}, vy[] = {10, 20, 85};
    double minDist = 1e9;
    int positive = 0;
    for (int i = 0; i < 3; ++i) {
        int j = (i + 1) % 3;
        double s = Side(vx[i], vy[i], vx[j], vy[j], x, y);
        double len = std::hypot(vx[j] - vx[i], vy[j] - vy[i]);
        positive += s > 0;
        minDist = std::min(minDist, std::fabs(s) / len);
    }
    if (minDist < 1.5)
        return 0;
    return positive == 3 || positive == 0 ? 1 : -1;
}

}  // namespace

TEST(DrawAreaTest, FloodFillStopsAtDiagonalBlackLines) {
    DrawArea d(100, 100, kWhite);
    DrawTriangle(d);
    d.fill(40, 35, kFill);
    int inside = 0, outside = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x) {
            int zone = TriangleZone(x, y);
            int c = d.getPixel(x, y);
            if (zone == 1) {
                EXPECT_EQ(c, kFill) << x << "," << y;
                ++inside;
            }
            if (zone == -1) {
                EXPECT_EQ(c, kWhite) << x << "," << y;
                ++outside;
            }
            EXPECT_TRUE(c == kWhite || c == kFill || c == kBlack);
        }
    EXPECT_GT(inside, 1000);
    EXPECT_GT(outside, 5000);
    // Filling the outside now leaves the triangle and its border alone.
    d.fill(0, 0, 0x00ff00);
    EXPECT_EQ(d.getPixel(40, 35), kFill);
    EXPECT_EQ(d.getPixel(99, 99), 0x00ff00);
    // Filling with the region's own colour changes nothing.
    d.fill(40, 35, kFill);
    EXPECT_EQ(d.getPixel(40, 35), kFill);
}

TEST(DrawAreaTest, TwoLinesSharingAnEndCloseTheirCorner) {
    // Many wedges meeting at one off-grid vertex, as Voronoi edges do: the
    // fill of one wedge never leaks into the next.
    DrawArea d(200, 200, kWhite);
    const double cx = 100.37, cy = 99.71;
    const int n = 7;
    for (int i = 0; i < n; ++i) {
        double a = 2 * M_PI * i / n + 0.1;
        d.line(cx, cy, cx + 150 * std::cos(a), cy + 150 * std::sin(a), kBlack);
    }
    double mid = 2 * M_PI * 0.5 / n + 0.1;
    d.fill(static_cast<int>(cx + 40 * std::cos(mid)), static_cast<int>(cy + 40 * std::sin(mid)),
           kFill);
    double other = 2 * M_PI * 1.5 / n + 0.1;
    EXPECT_EQ(d.getPixel(static_cast<int>(cx + 40 * std::cos(other)),
                         static_cast<int>(cy + 40 * std::sin(other))),
              kWhite);
}

TEST(DrawAreaTest, GetPixelReadsBackWhatWasDrawn) {
    DrawArea d(40, 30, 0xffffcc);
    EXPECT_EQ(d.getWidth(), 40);
    EXPECT_EQ(d.getHeight(), 30);
    EXPECT_EQ(d.getPixel(0, 0), 0xffffcc);
    d.setPixel(3, 4, 0x123456);
    EXPECT_EQ(d.getPixel(3, 4), 0x123456);
    d.rect(10, 10, 19, 14, kBlack, 0xff0000);
    EXPECT_EQ(d.getPixel(10, 10), kBlack);
    EXPECT_EQ(d.getPixel(15, 12), 0xff0000);
    EXPECT_EQ(d.getPixel(20, 12), 0xffffcc);
    d.circle(30, 20, 2, 2, kBlack, kWhite);
    EXPECT_EQ(d.getPixel(30, 20), kWhite);
    EXPECT_EQ(d.getPixel(32, 20), kBlack);
    EXPECT_EQ(d.getPixel(30, 24), 0xffffcc);
    EXPECT_EQ(d.getPixel(-1, 0), Chart::Transparent);
    EXPECT_EQ(d.getPixel(40, 0), Chart::Transparent);
    // Transparent drawing leaves the image unchanged.
    d.rect(0, 0, 39, 29, Chart::Transparent, Chart::Transparent);
    d.line(0, 0, 39, 29, Chart::Transparent);
    EXPECT_EQ(d.getPixel(15, 12), 0xff0000);
    d.vFlip();
    EXPECT_EQ(d.getPixel(3, 29 - 4), 0x123456);
    EXPECT_EQ(d.getPixel(15, 29 - 12), 0xff0000);
}

TEST(DrawAreaTest, OutWritesThePngAndReportsFailure) {
    DrawArea d(12, 7, 0x00ff00);
    d.setPixel(11, 6, 0x0000ff);
    std::string file = TempPng("out");
    ASSERT_TRUE(d.out(file));
    PngImage png(file);
    ASSERT_TRUE(png.ok());
    EXPECT_EQ(png.width(), 12);
    EXPECT_EQ(png.height(), 7);
    EXPECT_EQ(png.pixel(0, 0), 0x00ff00);
    EXPECT_EQ(png.pixel(11, 6), 0x0000ff);
    EXPECT_FALSE(d.out("/nonexistent-folder/x.png"));
}

TEST(DrawAreaTest, Latin1TextDoesNotStopLaterDrawing) {
    // A byte that is not UTF-8 once put cairo in an error state in which
    // nothing more was drawn.
    DrawArea d(100, 40, kWhite);
    double w, h;
    d.textSize("n\xB0 1", "timesbi.ttf", 10, w, h);
    EXPECT_GT(w, 5);
    d.text("n\xB0 1 \xff\xfe", "", 10, 5, 5, kBlack);
    d.rect(60, 10, 70, 20, Chart::Transparent, 0xff0000);
    EXPECT_EQ(d.getPixel(65, 15), 0xff0000);
}

TEST(LabelFormatTest, TemplatesOfTheCharts) {
    EXPECT_EQ(Chart::FormatLabel("{value|0}", 3.6), "4");
    EXPECT_EQ(Chart::FormatLabel("{value|2}", 0.5), "0.50");
    EXPECT_EQ(Chart::FormatLabel("{={value}*0.01}", 30), "0.3");
    EXPECT_EQ(Chart::FormatLabel("{={value}*0.01}", 100), "1");
    EXPECT_EQ(Chart::FormatLabel("{={value}*0.01|1}", 26), "0.3");
    EXPECT_EQ(Chart::FormatLabel("{field0}", 7, {"12", "x"}), "12");
    EXPECT_EQ(Chart::FormatLabel("#{field1}: {value}", 2.5, {"12", "x"}), "#x: 2.5");
    EXPECT_EQ(Chart::FormatLabel("{field3}", 1, {"a"}), "");
    EXPECT_EQ(Chart::FormatLabel("", -0.0), "0");
    EXPECT_EQ(Chart::FormatNumber(-0.001, 1), "0.0");
}

TEST(XYChartTest, PercentageBarsSplitTheHeightInProportion) {
    XYChart c(200, 300, 0xffffcc, kBlack, 1);
    c.setPlotArea(50, 50, 100, 200, kWhite, -1, -1, 0xc0c0c0, Chart::Transparent);
    c.xAxis()->setLabels(std::vector<std::string>{"a", "b"});
    BarLayer* bars = c.addBarLayer(Chart::Percentage);
    bars->addDataSet({0.25, 0});
    bars->addDataSet({0.75, 0});  // the second position is all zeros: no bar
    bars->setBorderColor(Chart::Transparent);
    DrawArea* d = c.makeChart();
    ASSERT_NE(d, nullptr);
    int first = Chart::DefaultDataColor(0), second = Chart::DefaultDataColor(1);
    int col = 75;  // middle of the first position
    int n1 = 0, n2 = 0;
    for (int y = 50; y < 250; ++y)
        n1 += d->getPixel(col, y) == first, n2 += d->getPixel(col, y) == second;
    EXPECT_EQ(n1, 50);
    EXPECT_EQ(n2, 150);
    EXPECT_EQ(d->getPixel(col, 249), first);  // bottom row of the plot area
    EXPECT_EQ(d->getPixel(col, 50), second);  // top row
    for (int y = 50; y < 250; ++y) {
        int p = d->getPixel(125, y);
        EXPECT_TRUE(p == kWhite || p == 0xc0c0c0) << y;
    }
    EXPECT_EQ(d->getPixel(5, 150), 0xffffcc);
    EXPECT_EQ(d->getPixel(0, 150), kBlack);
}

TEST(XYChartTest, FixedScaleMapsTheRangeOntoThePlotArea) {
    XYChart c(300, 200);
    c.setPlotArea(50, 50, 200, 100, kWhite);
    c.xAxis()->setLinearScale(-1, 3);
    c.yAxis()->setDateScale(0, 10);
    c.yAxis()->setAutoScale(0, 0, 0);
    c.layout();
    EXPECT_DOUBLE_EQ(c.getXCoor(-1), 50);
    EXPECT_DOUBLE_EQ(c.getXCoor(3), 250);
    EXPECT_DOUBLE_EQ(c.getYCoor(0), 149);
    EXPECT_DOUBLE_EQ(c.getYCoor(10), 49);
}

TEST(XYChartTest, LinesWithXDataAreClippedToThePlotArea) {
    XYChart c(300, 200, 0xffffcc);
    c.setPlotArea(50, 50, 200, 100, kWhite, -1, -1, Chart::Transparent, Chart::Transparent);
    c.setClipping(0);
    c.xAxis()->setLinearScale(0, 10);
    c.yAxis()->setLinearScale(0, 10);
    c.xAxis()->setColors(Chart::Transparent, Chart::Transparent);
    c.yAxis()->setColors(Chart::Transparent, Chart::Transparent);
    // A horizontal line at y = 5 reaching far beyond both sides.
    c.addLineLayer({5, 5}, kBlack)->setXData({-100, 100});
    DrawArea* d = c.makeChart();
    int row = static_cast<int>(std::lround(c.getYCoor(5)));
    EXPECT_EQ(d->getPixel(50, row), kBlack);
    EXPECT_EQ(d->getPixel(249, row), kBlack);
    EXPECT_EQ(d->getPixel(49, row), 0xffffcc);
    EXPECT_EQ(d->getPixel(250, row), 0xffffcc);
}

TEST(XYChartTest, ScatterSymbolsSitAtTheirValues) {
    XYChart c(300, 200, 0xffffcc);
    c.setPlotArea(50, 50, 200, 100, kWhite);
    c.xAxis()->setLinearScale(0, 10);
    c.yAxis()->setLinearScale(0, 10);
    ScatterLayer* s =
        c.addScatterLayer({2, 8}, {3, 7}, "Data Points", Chart::CircleSymbol, 5, 0xff0000, kBlack);
    s->addExtraField(std::vector<std::string>{"1", "2"});
    s->setDataLabelFormat("{field0}");
    s->setDataLabelStyle("", 8, Chart::TextColor)->setAlignment(Chart::Left);
    DrawArea* d = c.makeChart();
    int x = static_cast<int>(std::lround(c.getXCoor(2)));
    int y = static_cast<int>(std::lround(c.getYCoor(3)));
    EXPECT_EQ(d->getPixel(x, y), 0xff0000);
    EXPECT_EQ(d->getPixel(x - 2, y), kBlack);
    // The label is drawn to the right of the symbol.
    bool labelSeen = false;
    for (int dx = 3; dx < 12; ++dx)
        for (int dy = -5; dy <= 5; ++dy)
            labelSeen = labelSeen || d->getPixel(x + dx, y + dy) != kWhite;
    EXPECT_TRUE(labelSeen);
}

TEST(BaseChartTest, MakeChartToAFileReportsFailure) {
    XYChart c(120, 80, 0xffffcc, kBlack);
    c.addTitle("T", "timesbi.ttf", 14, 0xffffff)->setBackground(0x804020, -1, 0);
    EXPECT_FALSE(c.makeChart("/nonexistent-folder/chart.png"));
    std::string file = TempPng("title");
    ASSERT_TRUE(c.makeChart(file));
    PngImage png(file);
    EXPECT_EQ(png.width(), 120);
    EXPECT_EQ(png.height(), 80);
    EXPECT_EQ(png.pixel(3, 3), 0x804020);   // title band
    EXPECT_EQ(png.pixel(0, 40), kBlack);    // chart edge
    EXPECT_EQ(png.pixel(5, 75), 0xffffcc);  // background
}

TEST(BaseChartTest, OversizedChartIsDrawnAtTheLimitWithNarrowerBars) {
    const int n = 1200;
    XYChart c(30 * n + 100, 200, 0xffffcc, kBlack, 1);
    c.setPlotArea(50, 50, 30 * n, 100, kWhite);
    std::vector<double> ones(n, 1.0);
    c.addBarLayer(Chart::Percentage)->addDataSet(ones, 0xff0000);
    ::testing::internal::CaptureStdout();
    DrawArea* d = c.makeChart();
    std::string out = ::testing::internal::GetCapturedStdout();
    EXPECT_NE(out.find("32767"), std::string::npos);
    ASSERT_EQ(d->getWidth(), Chart::MaxImageSide);
    EXPECT_EQ(d->getHeight(), 200);
    // Each bar keeps its place: the last one ends near the right margin.
    double slot = (Chart::MaxImageSide - 100.0) / n;
    EXPECT_EQ(d->getPixel(static_cast<int>(50 + (n - 0.5) * slot), 100), 0xff0000);
    EXPECT_EQ(d->getPixel(static_cast<int>(50 + 0.5 * slot), 100), 0xff0000);
    EXPECT_EQ(d->getPixel(Chart::MaxImageSide - 20, 100), 0xffffcc);
}

TEST(MultiChartTest, SubChartsAreDrawnAtTheirPositions) {
    XYChart sub(60, 40, 0x00ff00, kBlack);
    sub.setPlotArea(10, 10, 40, 20, kWhite);
    MultiChart m(200, 100, 0xffffcc, kBlack, 1);
    m.addChart(100, 30, &sub);
    m.addText(20, 50, "Cluster 1", "timesbi.ttf", 12, kBlack, Chart::Center, 90);
    DrawArea* d = m.makeChart();
    EXPECT_EQ(d->getPixel(100, 50), kBlack);    // sub-chart edge
    EXPECT_EQ(d->getPixel(103, 33), 0x00ff00);  // its background
    EXPECT_EQ(d->getPixel(130, 50), kWhite);    // its plot area
    EXPECT_EQ(d->getPixel(80, 50), 0xffffcc);
    // The rotated text is taller than wide around its centre.
    int minX = 200, maxX = 0, minY = 100, maxY = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 2; x < 60; ++x)
            if (d->getPixel(x, y) != 0xffffcc && y > 2 && y < 97)
                minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y),
                maxY = std::max(maxY, y);
    EXPECT_GT(maxY - minY, 2 * (maxX - minX));
    EXPECT_NEAR((minY + maxY) / 2.0, 50, 3);
}

TEST(XYChartTest, WideAxisLabelsAreMovedInsideTheImage) {
    XYChart c(120, 100, kWhite);
    c.setPlotArea(10, 10, 100, 80, kWhite, -1, -1, Chart::Transparent, Chart::Transparent);
    c.yAxis()->setLinearScale(-12000, 12000);
    c.addLineLayer({-12000, 12000}, Chart::Transparent);
    DrawArea* d = c.makeChart();
    int inColumn0 = 0, inMargin = 0;
    for (int y = 0; y < 100; ++y) {
        inColumn0 += d->getPixel(0, y) != kWhite;
        for (int x = 1; x < 8; ++x)
            inMargin += d->getPixel(x, y) != kWhite;
    }
    EXPECT_EQ(inColumn0, 0);  // no label cut at the image edge
    EXPECT_GT(inMargin, 10);
}

TEST(BaseChartTest, SvgNameWritesAVectorDrawingWithSubChartsInPlace) {
    XYChart sub(60, 40, 0x00ff00, kBlack);
    sub.setPlotArea(10, 10, 40, 20, kWhite);
    sub.addBarLayer(Chart::Percentage)->addDataSet({1, 2}, 0xff0000);
    MultiChart m(200, 100, 0xffffcc, kBlack);
    m.addChart(100, 30, &sub);
    m.addText(20, 50, "Cluster 1", "", 12, kBlack);
    EXPECT_FALSE(m.makeChart("/nonexistent-folder/chart.svg"));
    std::string file = ::testing::TempDir() + "chart_multi.svg";
    ASSERT_TRUE(m.makeChart(file));
    std::ifstream in(file);
    std::string svg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(svg.rfind("<?xml", 0), 0u);
    EXPECT_NE(svg.find("width=\"200px\" height=\"100px\""), std::string::npos);
    // The sub-chart's background is a vector shape at its place, not an image.
    EXPECT_NE(svg.find("fill:rgb(0%,100%,0%);fill-opacity:1;\" d=\"M 100 30 L 160 30"),
              std::string::npos);
    EXPECT_EQ(svg.find("<image"), std::string::npos);
    // Both bars of the plot area, side by side within it.
    size_t bars = 0;
    for (size_t at = svg.find("fill:rgb(100%,0%,0%)"); at != std::string::npos;
         at = svg.find("fill:rgb(100%,0%,0%)", at + 1))
        ++bars;
    EXPECT_EQ(bars, 2u);
    EXPECT_NE(svg.find("<use xlink:href=\"#glyph"), std::string::npos);  // the text
}

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "chart/Chart.h"
#include "chart/PdfTools.h"
#include "chart/PngImage.h"

namespace {

bool Exists(const std::string& file) {
    return std::ifstream(file).good();
}

std::string Slurp(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// A small chart with a title, axis labels, bars and a free text.
std::unique_ptr<XYChart> SmallChart() {
    auto c = std::make_unique<XYChart>(300, 200, 0xffffcc, 0x000000, 1);
    c->addTitle("Assignment Probabilities", "timesbi.ttf", 14, 0xffffff)
        ->setBackground(0x804020, -1, 0);
    c->setPlotArea(50, 40, 220, 120, 0xffffff);
    c->addBarLayer(Chart::Percentage)->addDataSet({1, 2, 3}, 0xff0000);
    c->xAxis()->setLabels({"a", "b", "c"});
    c->addText(60, 175, "cluster 1", "", 8);
    return c;
}

// Restores the formats of the figures after each test.
class FigureTest : public ::testing::Test {
  protected:
    void TearDown() override { Chart::SetFigureFormats(Chart::FigureFormats()); }
    std::string Base(const std::string& name) {
        const std::string base = ::testing::TempDir() + "figure_" + name;
        std::remove((base + ".png").c_str());
        std::remove((base + ".pdf").c_str());
        return base;
    }
};

}  // namespace

TEST(PaletteTest, StartsWithOkabeItoStaysDistinctAndWraps) {
    EXPECT_EQ(Chart::PaletteColor(0), 0xE69F00);
    EXPECT_EQ(Chart::PaletteColor(1), 0x56B4E9);
    EXPECT_EQ(Chart::PaletteColor(5), 0xD55E00);
    std::set<int> colours;
    for (int k = 0; k < Chart::kPaletteSize; ++k) {
        const int c = Chart::PaletteColor(k);
        colours.insert(c);
        // Far enough from the white of the plot areas to be seen.
        const int sum = (c >> 16 & 0xff) + (c >> 8 & 0xff) + (c & 0xff);
        EXPECT_LT(sum, 3 * 0xf0) << k;
        EXPECT_EQ(Chart::DefaultDataColor(k), c) << k;
    }
    EXPECT_EQ(colours.size(), static_cast<size_t>(Chart::kPaletteSize));
    EXPECT_EQ(Chart::PaletteColor(Chart::kPaletteSize + 3), Chart::PaletteColor(3));
}

TEST(PaletteTest, FormatsOfTheOption) {
    Chart::FigureFormats f;
    ASSERT_TRUE(Chart::ParseFigureFormats("png", f));
    EXPECT_TRUE(f.png && !f.pdf);
    ASSERT_TRUE(Chart::ParseFigureFormats("pdf", f));
    EXPECT_TRUE(!f.png && f.pdf);
    ASSERT_TRUE(Chart::ParseFigureFormats("pdf,png", f));
    EXPECT_TRUE(f.png && f.pdf);
    ASSERT_TRUE(Chart::ParseFigureFormats("none", f));
    EXPECT_TRUE(!f.png && !f.pdf);
    for (const char* bad : {"", "svg", "png,", "png,png", "PNG", "png pdf", "none,png"})
        EXPECT_FALSE(Chart::ParseFigureFormats(bad, f)) << bad;
    EXPECT_EQ(Chart::PdfTwin("dir/x.txtAP.png"), "dir/x.txtAP.pdf");
    EXPECT_EQ(Chart::PdfTwin("pred"), "pred.pdf");
}

// One drawing, two files: the PNG at 192 dpi (twice the layout in pixels,
// the same colours where the layout has them), the PDF of the layout's size
// at 72 points to 96 pixels.
TEST_F(FigureTest, ChartIsWrittenAsPngAndPdfTwin) {
    const std::string base = Base("twin");
    auto c = SmallChart();
    ASSERT_TRUE(c->makeChart(base + ".png"));
    PngImage png(base + ".png");
    ASSERT_TRUE(png.ok());
    EXPECT_NEAR(png.dpi(), 192, 0.1);
    EXPECT_EQ(png.imageWidth(), 600);
    EXPECT_EQ(png.imageHeight(), 400);
    EXPECT_EQ(png.pixel(150, 4), 0x804020);  // title band
    EXPECT_EQ(png.pixel(0, 100), 0x000000);  // edge
    EXPECT_EQ(png.pixel(10, 190), 0xffffcc);
    // Bars fill whole layout pixels: all four image pixels of one alike.
    for (int dy = 0; dy < 2; ++dy)
        for (int dx = 0; dx < 2; ++dx)
            EXPECT_EQ(png.imagePixel(2 * 100 + dx, 2 * 150 + dy), 0xff0000);
    const std::string pdf = Slurp(base + ".pdf");
    EXPECT_EQ(pdf.rfind("%PDF-", 0), 0u);
    EXPECT_NE(pdf.find("/MediaBox [ 0 0 225 150 ]"), std::string::npos);
    EXPECT_EQ(pdf.find("/CreationDate"), std::string::npos);    // same chart, same file
    EXPECT_EQ(pdf.find("/Subtype /Image"), std::string::npos);  // all vector
}

TEST_F(FigureTest, EitherFormatCanBeTurnedOff) {
    auto c = SmallChart();
    const std::string pngOnly = Base("png_only"), pdfOnly = Base("pdf_only"), none = Base("none");
    Chart::SetFigureFormats({true, false});
    ASSERT_TRUE(c->makeChart(pngOnly + ".png"));
    EXPECT_TRUE(Exists(pngOnly + ".png"));
    EXPECT_FALSE(Exists(pngOnly + ".pdf"));
    Chart::SetFigureFormats({false, true});
    ASSERT_TRUE(c->makeChart(pdfOnly + ".png"));
    EXPECT_FALSE(Exists(pdfOnly + ".png"));
    EXPECT_TRUE(Exists(pdfOnly + ".pdf"));
    Chart::SetFigureFormats({false, false});
    ASSERT_TRUE(c->makeChart(none + ".png"));
    EXPECT_FALSE(Exists(none + ".png") || Exists(none + ".pdf"));
}

TEST_F(FigureTest, UnwritableFilesAreReported) {
    auto c = SmallChart();
    EXPECT_FALSE(c->makeChart("/nonexistent-folder/x.png"));
    Chart::SetFigureFormats({false, true});
    EXPECT_FALSE(c->makeChart("/nonexistent-folder/x.png"));
}

TEST_F(FigureTest, PdfKeepsItsTextAsTextWithEmbeddedFonts) {
    if (!PdfTools::Installed())
        GTEST_SKIP() << "pdffonts and pdftotext (poppler-utils) are not installed";
    const std::string base = Base("fonts");
    ASSERT_TRUE(SmallChart()->makeChart(base + ".png"));
    std::vector<PdfTools::Font> fonts = PdfTools::Fonts(base + ".pdf");
    ASSERT_EQ(fonts.size(), 2u);  // the title's serif bold italic, the labels' sans
    for (const PdfTools::Font& f : fonts) {
        EXPECT_TRUE(f.embedded) << f.name;
        EXPECT_NE(f.name.find("Liberation"), std::string::npos) << f.name;
    }
    PdfTools::Page page = PdfTools::Words(base + ".pdf");
    EXPECT_DOUBLE_EQ(page.width, 225);
    std::string words;
    for (const PdfTools::Word& w : page.words)
        words += w.text + " ";
    EXPECT_NE(words.find("Assignment Probabilities"), std::string::npos) << words;
    EXPECT_NE(words.find("cluster 1"), std::string::npos) << words;
}

// The drawing notes where each text went, against the box of the chart it
// belongs to: a sub-chart's text that runs past the sub-chart is cut there.
TEST_F(FigureTest, TextExtentsAreNotedAgainstTheirChart) {
    PieChart sub(60, 40, 0xffffff);
    sub.addText(30, 20, "far too long for this box", "", 10, 0x000000, Chart::Center);
    MultiChart m(300, 100, 0xffffcc);
    m.addTitle("Whole", "", 12);
    m.addChart(200, 50, &sub);
    std::unique_ptr<DrawArea> d = m.makeDrawing();
    const std::vector<Chart::TextExtent>& texts = m.textExtents();
    ASSERT_EQ(texts.size(), 2u);
    const Chart::TextExtent& title = texts[0].text == "Whole" ? texts[1] : texts[0];
    const Chart::TextExtent& whole = texts[0].text == "Whole" ? texts[0] : texts[1];
    EXPECT_TRUE(whole.inside());
    EXPECT_DOUBLE_EQ(whole.canvasRight, 300);
    EXPECT_FALSE(title.inside());
    EXPECT_DOUBLE_EQ(title.canvasLeft, 200);
    EXPECT_DOUBLE_EQ(title.canvasBottom, 90);
    EXPECT_NEAR((title.left + title.right) / 2, 230, 1);
}

namespace {

// Every text of the last drawing lies inside the chart it belongs to.
void ExpectNoTextCut(const BaseChart& c) {
    for (const Chart::TextExtent& t : c.textExtents())
        EXPECT_TRUE(t.inside()) << "'" << t.text << "' at " << t.left << "," << t.top << " - "
                                << t.right << "," << t.bottom << " in " << t.canvasLeft << ","
                                << t.canvasTop << " - " << t.canvasRight << "," << t.canvasBottom;
}

bool Drawn(const BaseChart& c, const std::string& text) {
    for (const Chart::TextExtent& t : c.textExtents())
        if (t.text == text)
            return true;
    return false;
}

}  // namespace

// Labels wider than the margin left of the plot area, an axis title, a last
// x label past the right edge: the plot area gives up the room they need,
// and a chart whose labels fit keeps its plot area.
TEST(TextFitTest, TickLabelsAndAxisTitlesAreNeverCut) {
    XYChart c(300, 200, 0xffffff);
    c.setPlotArea(20, 10, 275, 170);
    c.addLineLayer({-123456.5, -100000.25, -110000});
    c.xAxis()->setLabels({"first", "second", "the last label"});
    c.xAxis()->setTitle("sweep", "", 9);
    c.yAxis()->setTitle("log-likelihood", "", 9);
    c.makeDrawing();
    ExpectNoTextCut(c);
    EXPECT_TRUE(Drawn(c, "sweep") && Drawn(c, "log-likelihood") && Drawn(c, "the last label"));
    EXPECT_GT(c.getPlotAreaLeft(), 60);
    EXPECT_LT(c.getPlotAreaLeft() + c.getPlotAreaWidth(), 300 - 30);
    EXPECT_LT(c.getPlotAreaTop() + c.getPlotAreaHeight(), 200 - 20);

    XYChart roomy(300, 200, 0xffffff);
    roomy.setPlotArea(50, 30, 200, 120);
    roomy.addLineLayer({1, 2, 3});
    roomy.makeDrawing();
    ExpectNoTextCut(roomy);
    EXPECT_EQ(roomy.getPlotAreaLeft(), 50);
    EXPECT_EQ(roomy.getPlotAreaWidth(), 200);
    EXPECT_EQ(roomy.getPlotAreaHeight(), 120);
}

// growToFitAxes keeps the plot area's size (a map keeps its proportions)
// and widens the chart instead.
TEST(TextFitTest, AChartCanGrowForItsLabelsInstead) {
    XYChart c(300, 200, 0xffffff);
    c.setPlotArea(50, 50, 200, 100);
    c.xAxis()->setLinearScale(904000, 909000);
    c.yAxis()->setLinearScale(2074000, 2091000);
    c.yAxis()->setTitle("second coordinate", "", 9);
    c.growToFitAxes();
    c.makeDrawing();
    ExpectNoTextCut(c);
    EXPECT_EQ(c.getPlotAreaWidth(), 200);
    EXPECT_EQ(c.getPlotAreaHeight(), 100);
    EXPECT_GT(c.getWidth(), 300);
}

// A title wider than its chart is drawn whole, smaller.
TEST(TextFitTest, TitlesAreDrawnWhole) {
    XYChart c(150, 100, 0xffffcc);
    c.addTitle("Predicted Assignement Probilities", "timesbi.ttf", 14, 0xffffff)
        ->setBackground(0x804020, -1, 0);
    c.makeDrawing();
    ExpectNoTextCut(c);
    EXPECT_TRUE(Drawn(c, "Predicted Assignement Probilities"));
}

// Crowded points keep only the data labels that overlap no other: the
// first of each crowd, every lone point.
TEST(TextFitTest, DataLabelsDoNotOverlap) {
    XYChart c(400, 300, 0xffffff);
    c.setPlotArea(50, 50, 300, 200);
    c.xAxis()->setLinearScale(0, 100);
    c.yAxis()->setLinearScale(0, 100);
    std::vector<double> x{10, 10.5, 11, 50, 90}, y{10, 10.5, 11, 50, 90};
    ScatterLayer* layer = c.addScatterLayer(x, y, "", Chart::CircleSymbol, 5, 0xff0000);
    layer->addExtraField(std::vector<std::string>{"p1", "p2", "p3", "p4", "p5"});
    layer->setDataLabelFormat("{field0}");
    layer->setDataLabelStyle("", 8)->setAlignment(Chart::Left);
    c.makeDrawing();
    std::vector<std::string> labels;
    for (const Chart::TextExtent& t : c.textExtents())
        if (t.text[0] == 'p')
            labels.push_back(t.text);
    EXPECT_EQ(labels, (std::vector<std::string>{"p1", "p4", "p5"}));
}

// A label that would cover the symbol of another point (of any layer) is
// left out; that point keeps its own.
TEST(TextFitTest, DataLabelsLeaveTheOtherPointsSymbolsUncovered) {
    XYChart c(400, 300, 0xffffff);
    c.setPlotArea(50, 50, 300, 200);
    c.xAxis()->setLinearScale(0, 100);
    c.yAxis()->setLinearScale(0, 100);
    ScatterLayer* layer =
        c.addScatterLayer({10, 13, 60}, {50, 50, 50}, "", Chart::CircleSymbol, 5, 0xff0000);
    layer->addExtraField(std::vector<std::string>{"pA", "pB", "pC"});
    layer->setDataLabelFormat("{field0}");
    layer->setDataLabelStyle("", 8)->setAlignment(Chart::Left);
    c.addScatterLayer({40}, {50}, "", Chart::CircleSymbol, 5, 0x0000ff);  // no labels
    ScatterLayer* before = c.addScatterLayer({36}, {50}, "", Chart::CircleSymbol, 5, 0x00ff00);
    before->addExtraField(std::vector<std::string>{"pD"});
    before->setDataLabelFormat("{field0}");
    before->setDataLabelStyle("", 8)->setAlignment(Chart::Left);
    c.makeDrawing();
    std::vector<std::string> labels;
    for (const Chart::TextExtent& t : c.textExtents())
        if (t.text[0] == 'p')
            labels.push_back(t.text);
    EXPECT_EQ(labels, (std::vector<std::string>{"pB", "pC"}));
}

TEST(TextFitTest, LegendKeysComeFromTheNamedDataSets) {
    XYChart c(400, 200, 0xffffff);
    c.setPlotArea(50, 30, 200, 120);
    c.addLineLayer({1, 2}, -1, "cluster 1");
    c.addLineLayer({2, 1}, -1, "cluster 2");
    c.addLineLayer({1, 1});  // unnamed: no key
    LegendBox* legend = c.addLegend(270, 30);
    EXPECT_EQ(legend->getWidth(), 0);  // no key of its own
    c.makeDrawing();
    ExpectNoTextCut(c);
    EXPECT_TRUE(Drawn(c, "cluster 1") && Drawn(c, "cluster 2"));
    LegendBox own(0, 0);
    own.addKey("cluster 1", 0xE69F00);
    own.addKey("cluster 2", 0x56B4E9);
    own.setMaxHeight(30);  // one key a column
    LegendBox tall(0, 0);
    tall.addKey("cluster 1", 0xE69F00);
    tall.addKey("cluster 2", 0x56B4E9);
    EXPECT_GT(own.getWidth(), tall.getWidth());
    EXPECT_LT(own.getHeight(), tall.getHeight());
}

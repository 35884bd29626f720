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

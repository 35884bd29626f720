// The charts of the three programs as a user gets them: which files (-w),
// a PDF twin beside every PNG, fonts embedded, and no text cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "chart/PdfTools.h"
#include "chart/PngImage.h"
#include "cli/BreloCli.h"

namespace {

// sim2pop: 130 diploid individuals, 20 loci; id and population skipped,
// then two coordinates (a trend of degree 1: coefficients and PPM.png).
const std::string kBrelo = "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c2 -K2 -T1 -S30 -B10 ";
const std::string kAdm = "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c2 -K2 -T1 -P0.6 -S20 -B5 ";

std::string Folder(const std::string& name) {
    const std::string dir = FreshFolder("charts_" + name);
    CopyFixture("sim2pop.txt", dir);
    return dir;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The files of a folder ending with suffix, sorted, without it.
std::vector<std::string> Stems(const std::string& dir, const std::string& suffix) {
    std::vector<std::string> stems;
    for (const std::string& f : FolderFiles(dir))
        if (EndsWith(f, suffix))
            stems.push_back(f.substr(0, f.size() - suffix.size()));
    std::sort(stems.begin(), stems.end());
    return stems;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(ChartFilesCli, OptionWChoosesTheFilesOfEveryChart) {
    const std::string png = Folder("png_only"), pdf = Folder("pdf_only"), none = Folder("none");
    ASSERT_EQ(RunBreloIn(png, kBrelo + "-wpng").status, 0);
    EXPECT_EQ(Stems(png, ".png"), (std::vector<std::string>{"sim2pop.txtAP", "sim2pop.txtBH",
                                                            "sim2pop.txtLH", "sim2pop.txtPPM"}));
    EXPECT_TRUE(Stems(png, ".pdf").empty());
    SCliResult adm = RunProgramIn("breloAdm", pdf, kAdm + "-wpdf");
    ASSERT_EQ(adm.status, 0) << adm.output;
    EXPECT_TRUE(Stems(pdf, ".png").empty());
    for (const char* chart :
         {"sim2pop.txtVD", "sim2pop.txtND", "sim2pop.txtAP", "sim2pop.txtLH", "sim2pop.txtBH",
          "sim2pop.txtPPM", "sim2pop.txtHC", "sim2pop.txtIM", "sim2pop.txtMAP"})
        EXPECT_TRUE(FileExists(pdf + "/" + chart + ".pdf")) << chart;
    ASSERT_EQ(RunBreloIn(none, kBrelo + "-wnone").status, 0);
    EXPECT_TRUE(Stems(none, ".png").empty() && Stems(none, ".pdf").empty());
}

TEST(ChartFilesCli, AFormatNotKnownIsRefusedByEachProgram) {
    const std::string dir = Folder("refused");
    const std::vector<std::string> commands{
        "brelo " + kBrelo + "-wsvg", "breloAdm " + kAdm + "-wpng,svg",
        "brelo -predict -BETAb.txt -newFn.txt -newN1 -K2 -T1 -X0 -XL0 -admn -wjpg",
        "breloStudy -run -wPNG -Pbrelo -K1:2 -ostudy -- " + kBrelo};
    for (const std::string& command : commands) {
        const size_t blank = command.find(' ');
        SCliResult r = RunProgramIn(command.substr(0, blank), dir, command.substr(blank + 1));
        EXPECT_EQ(r.status, 1) << command;
        EXPECT_TRUE(Contains(r.output, "-wpng, -wpdf, -wpng,pdf or -wnone")) << r.output;
    }
    std::vector<std::string> files = FolderFiles(dir);
    EXPECT_EQ(files, std::vector<std::string>{"sim2pop.txt"});
}

namespace {

bool Overlap(const PdfTools::Word& a, const PdfTools::Word& b) {
    const double w = std::min(a.xMax, b.xMax) - std::max(a.xMin, b.xMin);
    const double h = std::min(a.yMax, b.yMax) - std::max(a.yMin, b.yMin);
    return w > 0.5 && h > 0.5;
}

// Every chart of the folder has its PDF twin; with poppler's tools, each
// PDF embeds its fonts and keeps every word on its page (no text cut), and
// the point labels of the neighbourhood diagram overlap none another.
// Returns whether the PDFs were read.
bool CheckCharts(const std::string& dir) {
    const std::vector<std::string> charts = Stems(dir, ".png");
    EXPECT_FALSE(charts.empty()) << dir;
    for (const std::string& stem : charts)
        EXPECT_TRUE(FileExists(dir + "/" + stem + ".pdf")) << stem;
    if (!PdfTools::Installed())
        return false;
    for (const std::string& stem : charts) {
        const std::string pdf = dir + "/" + stem + ".pdf";
        std::vector<PdfTools::Font> fonts = PdfTools::Fonts(pdf);
        EXPECT_FALSE(fonts.empty()) << stem;
        for (const PdfTools::Font& f : fonts)
            EXPECT_TRUE(f.embedded) << stem << " " << f.name;
        PdfTools::Page page = PdfTools::Words(pdf);
        EXPECT_GT(page.words.size(), 3u) << stem;
        for (const PdfTools::Word& w : page.words)
            EXPECT_TRUE(w.xMin >= -0.5 && w.yMin >= -0.5 && w.xMax <= page.width + 0.5 &&
                        w.yMax <= page.height + 0.5)
                << stem << ": '" << w.text << "' cut at the page's edge";
        if (!EndsWith(stem, "ND"))
            continue;
        for (size_t i = 0; i < page.words.size(); ++i)
            for (size_t j = i + 1; j < page.words.size(); ++j)
                EXPECT_FALSE(Overlap(page.words[i], page.words[j]))
                    << stem << ": '" << page.words[i].text << "' over '" << page.words[j].text
                    << "'";
    }
    return true;
}

// The colours of the legend's keys "cluster 1", "cluster 2"... of a chart
// (either case), read from its PNG image in the square left of each key's
// text, whose place the PDF twin gives (0.75 point a layout pixel).
std::vector<int> LegendColours(const std::string& dir, const std::string& stem) {
    const PdfTools::Page page = PdfTools::Words(dir + "/" + stem + ".pdf");
    const PngImage png(dir + "/" + stem + ".png");
    std::vector<int> colours;
    for (size_t i = 0; i + 1 < page.words.size(); ++i) {
        const PdfTools::Word& w = page.words[i];
        if (w.text != "cluster" && w.text != "Cluster")
            continue;
        if (page.words[i + 1].text != std::to_string(colours.size() + 1))
            continue;
        const int x = static_cast<int>(w.xMin / 0.75) - 9;
        const int y = static_cast<int>((w.yMin + w.yMax) / 2 / 0.75);
        colours.push_back(png.pixel(x, y));
    }
    return colours;
}

// The words of phrase follow one another on the PDF's page.
bool HasPhrase(const std::string& pdf, const std::vector<std::string>& phrase) {
    const PdfTools::Page page = PdfTools::Words(pdf);
    for (size_t i = 0; i + phrase.size() <= page.words.size(); ++i) {
        size_t n = 0;
        while (n < phrase.size() && page.words[i + n].text == phrase[n])
            ++n;
        if (n == phrase.size())
            return true;
    }
    return false;
}

// The first `individuals` of a two-rows-an-individual data file.
void WriteFirstIndividuals(const std::string& from, const std::string& to, int individuals) {
    std::vector<std::string> lines = ReadLines(from);
    std::ofstream out(to);
    for (int i = 0; i < 2 * individuals && i < static_cast<int>(lines.size()); ++i)
        out << lines[i] << "\n";
}

}  // namespace

// The charts of the demo's runs (brelo with its prediction, breloAdm, a
// study) and of a breloAdm run on 237 sites with 17 clusters.
TEST(ChartFilesCli, EveryChartHasItsPdfTwinWithNoTextCut) {
    const std::string brelo = Folder("demo_brelo"), adm = Folder("demo_adm"),
                      study = Folder("demo_study"), sites = Folder("sites237");
    ASSERT_EQ(RunBreloIn(brelo, kBrelo).status, 0);
    std::ofstream(brelo + "/new.txt") << "n1 2 3\nn2 30 40\nn3 40 10\n";
    SCliResult predict = RunBreloIn(brelo,
                                    "-predict -BETAsim2pop.txtbetaHat.txt -newFnew.txt -newN3 "
                                    "-newC1 -K2 -T1 -X0 -XL0 -admn -opredicted");
    ASSERT_EQ(predict.status, 0) << predict.output;
    // The demo's grid: the admixture run maps its prediction too.
    std::filesystem::copy_file(
        std::string(BRELO_TEST_DATA_DIR) + "/../../examples/sim2pop_grid.asc", adm + "/grid.asc");
    SCliResult admixture = RunProgramIn("breloAdm", adm, kAdm + "-mgrid.asc");
    ASSERT_EQ(admixture.status, 0) << admixture.output;
    EXPECT_TRUE(FileExists(adm + "/sim2pop.txtPredictionMap.png"));
    ASSERT_EQ(RunProgramIn("breloStudy", study,
                           "-run -Pbrelo -K1:3 -R2 -j2 -seed1 -ostudy -- "
                           "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c2 -T1 -S40 -B10 -X0 -XL0")
                  .status,
              0);
    // rupica: id, elevation (a quantitative covariate), x, y, 9 loci.
    CopyFixture("rupica.txt", sites);
    WriteFirstIndividuals(sites + "/rupica.txt", sites + "/rup237.txt", 237);
    SCliResult many = RunProgramIn(
        "breloAdm", sites, "-Frup237.txt -N237 -A2 -L9 -c1 -X1 -K17 -T1 -P0.6 -D1 -S30 -B10");
    ASSERT_EQ(many.status, 0) << many.output;

    bool read = true;
    for (const std::string& dir : {brelo, adm, study + "/study", sites})
        read = CheckCharts(dir) && read;
    EXPECT_TRUE(FileExists(brelo + "/predicted.pdf"));
    if (read) {
        EXPECT_TRUE(
            HasPhrase(brelo + "/predicted.pdf", {"Predicted", "Assignement", "Probilities"}));
        // One palette: cluster k has one colour in the bars, the maps and
        // the study's charts, 17 clusters 17 colours.
        const std::vector<int> palette = LegendColours(sites, "rup237.txtAP");
        ASSERT_EQ(palette.size(), 17u);
        EXPECT_EQ(std::set<int>(palette.begin(), palette.end()).size(), 17u);
        for (const char* chart : {"rup237.txtPPM", "rup237.txtMAP", "rup237.txtHC", "rup237.txtIM"})
            EXPECT_EQ(LegendColours(sites, chart), palette) << chart;
        const std::vector<int> two(palette.begin(), palette.begin() + 2);
        EXPECT_EQ(LegendColours(brelo, "sim2pop.txtAP"), two);
        EXPECT_EQ(LegendColours(adm, "sim2pop.txtMAP"), two);
        EXPECT_EQ(LegendColours(adm, "sim2pop.txtPredictionMap"), two);
        const std::vector<int> three(palette.begin(), palette.begin() + 3);
        EXPECT_EQ(LegendColours(study + "/study", "barplots"), three);
    }
    if (!read)
        GTEST_SKIP() << "pdffonts and pdftotext (poppler-utils) are not installed: the PDF twins "
                        "exist, their fonts and text boxes were not read";
}

// The Pop blocks of a GENEPOP file group the bars: the individuals of each
// block stand together, named under them; the ids are written where they
// fit.
TEST(ChartFilesCli, GenepopPopulationsGroupTheBars) {
    if (!PdfTools::Installed())
        GTEST_SKIP() << "pdftotext (poppler-utils) is not installed: the bars' texts are read "
                        "from the PDF";
    const std::string dir = FreshFolder("charts_genepop");
    {
        std::ofstream gen(dir + "/three.gen");
        gen << "Three populations\nl1, l2, l3, l4\n";
        const char* genotypes[] = {"0101 0202 0101 0303", "0102 0202 0101 0303",
                                   "0303 0101 0202 0101", "0303 0102 0202 0101"};
        for (int pop = 0; pop < 3; ++pop) {
            gen << "Pop\n";
            for (int i = 0; i < 6; ++i)
                gen << "p" << pop + 1 << "i" << i + 1 << " , " << genotypes[(i + pop) % 4] << "\n";
        }
    }
    SCliResult r = RunBreloIn(dir, "-Fthree.gen -fgenepop -T-1 -K2 -D1 -S30 -B10 -wpdf");
    ASSERT_EQ(r.status, 0) << r.output;
    PdfTools::Page page = PdfTools::Words(dir + "/three.genAP.pdf");
    std::vector<std::pair<double, std::string>> pops, ids;
    for (size_t i = 0; i + 1 < page.words.size(); ++i) {
        if (page.words[i].text == "pop")
            pops.push_back({page.words[i].xMin, page.words[i + 1].text});
        if (page.words[i].text.size() == 4 && page.words[i].text[0] == 'p')
            ids.push_back({page.words[i].xMin, page.words[i].text});
    }
    std::sort(pops.begin(), pops.end());
    ASSERT_EQ(pops.size(), 3u);
    EXPECT_EQ(pops[0].second + pops[1].second + pops[2].second, "123");
    ASSERT_EQ(ids.size(), 18u);
    std::sort(ids.begin(), ids.end());
    for (size_t i = 0; i < ids.size(); ++i)  // the ids of each block under its name
        EXPECT_EQ(ids[i].second[1] - '1', static_cast<int>(i / 6)) << ids[i].second;
}

// The charts of the three programs as a user gets them: which files (-w),
// a PDF twin beside every PNG, fonts embedded, and no text cut.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "chart/PdfTools.h"
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
    EXPECT_TRUE(Stems(pdf, ".png").size() <= 2u);  // the cell maps (HC, IM) are images
    for (const char* chart : {"sim2pop.txtVD", "sim2pop.txtND", "sim2pop.txtAP", "sim2pop.txtLH",
                              "sim2pop.txtBH", "sim2pop.txtPPM"})
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

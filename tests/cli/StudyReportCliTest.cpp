// breloStudy's report.html: one page holding every K, its modes and traces,
// rendered by a real browser (headless Chromium) when one is installed.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "cli/BreloCli.h"
#include "cli/StudyFakeProgram.h"

namespace fs = std::filesystem;

namespace {

const std::string kStudy = BRELO_BIN_DIR "/breloStudy";

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The first chain of each K in another mode from K = 2 on: individuals 1 to
// 3 in cluster 1, the others in cluster 2.
const char* const kOtherMode = R"SH(
if [ "$K" -ge 2 ] && [ $((GSL_RNG_SEED % 1000)) = 11 ]; then
  {
    printf 'id'; k=1; while [ $k -le $K ]; do printf '\tcluster%s' $k; k=$((k + 1)); done; echo
    for i in 1 2 3 4 5 6; do
      printf 'ind%s' $i; k=1; c=$(( i <= 3 ? 1 : 2 ))
      while [ $k -le $K ]; do if [ $k = $c ]; then printf '\t1'; else printf '\t0'; fi; k=$((k + 1)); done
      echo
    done
  } > "$O/${F}Q.txt"
fi
)SH";

}  // namespace

TEST(StudyReportCli, EveryKIsOnOnePageThatABrowserRendersWithoutError) {
    const std::string dir = ::testing::TempDir() + "studyreport";
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir + "/data.txt") << "a stand-in for a data file\n";
    const std::string fake = WriteFakeBrelo(dir, "", kOtherMode);
    const SCliResult r = RunShellIn(
        dir, kStudy + " -run -P" + fake + " -K1:3 -R3 -j2 -seed11 -wnone -ostudy -- -Fdata.txt");
    ASSERT_TRUE(r.status == 0 || r.status == 2) << r.output;
    const std::string report = dir + "/study/report.html";
    const std::string html = ReadWholeFile(report);
    for (int K = 1; K <= 3; ++K)
        EXPECT_NE(html.find("<section id=\"K" + std::to_string(K) + "\">"), std::string::npos) << K;
    // K = 2 and 3 have two modes: their bar plots are drawn and shown.
    EXPECT_FALSE(fs::exists(dir + "/study/K1_modes.svg"));
    EXPECT_TRUE(fs::exists(dir + "/study/K2_modes.svg"));
    // Kchoice, the bar plots, three traces and two modes charts, inline, each
    // with its own ids; nothing fetched from outside the page.
    EXPECT_EQ(Count(html, "<svg"), 7u);
    EXPECT_EQ(Count(html, "id=\"glyph0-1\""), 0u);
    EXPECT_EQ(Count(html, "id=\"K2modes-glyph0-1\""), 1u);
    EXPECT_EQ(Count(html, "src="), 0u);
    EXPECT_EQ(Count(html, "<script"), 0u);

    if (std::system("command -v chromium > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Chromium is not installed (scripts/install-deps.sh installs it): the "
                        "report was not rendered";
    // The page as the browser built it, and what the page logged.
    const SCliResult shown = RunShellIn(
        dir,
        "timeout 120 chromium --headless --no-sandbox --disable-gpu --enable-logging=stderr "
        "--v=0 --dump-dom 'file://" +
            report + "' 2> chromium.log");
    ASSERT_EQ(shown.status, 0) << shown.output << ReadWholeFile(dir + "/chromium.log");
    for (int K = 1; K <= 3; ++K)
        EXPECT_NE(shown.output.find("<section id=\"K" + std::to_string(K) + "\">"),
                  std::string::npos)
            << K;
    EXPECT_EQ(Count(shown.output, "<svg"), 7u);
    const std::string log = ReadWholeFile(dir + "/chromium.log");
    EXPECT_EQ(log.find("CONSOLE"), std::string::npos) << log;
}

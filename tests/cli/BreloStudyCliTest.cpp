// breloStudy as a user runs it: a whole study on the example data, the same
// study through GNU parallel, an interrupted study resumed, a failing
// chain, refusals.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart/PngImage.h"
#include "cli/BreloCli.h"
#include "cli/OutsideReaders.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string kStudy = BRELO_BIN_DIR "/breloStudy";
// brelo on the example data, a few sweeps.
const std::string kBreloOptions = "-Fsim2pop.txt -N130 -A2 -L20 -c2 -D1 -X0 -XL0 -T0";

using SResult = SCliResult;

std::string ReadFile(const std::string& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

int CountLines(const std::string& file) {
    std::ifstream in(file);
    std::string line;
    int n = 0;
    while (std::getline(in, line))
        ++n;
    return n;
}

// A fresh folder holding a copy of the example data.
std::string StudyFolder(const std::string& name) {
    const std::string dir = ::testing::TempDir() + "studycli_" + name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    fs::copy_file(BRELO_TEST_DATA_DIR "/sim2pop.txt", dir + "/sim2pop.txt");
    return dir;
}

SResult RunIn(const std::string& dir, const std::string& command) {
    return RunShellIn(dir, command);
}

// The (K, replicate) folders of a study that hold a marker file.
int Markers(const std::string& study, const std::string& marker) {
    int n = 0;
    for (const auto& k : fs::directory_iterator(study))
        if (k.is_directory())
            for (const auto& rep : fs::directory_iterator(k.path()))
                n += fs::exists(rep.path() / marker);
    return n;
}

// The field of a table's row (1 = the first after the header) in the
// column of that name.
std::string Cell(const std::string& table, int row, const std::string& column) {
    std::ifstream in(table);
    std::string header, line;
    std::getline(in, header);
    for (int r = 0; r < row; ++r)
        std::getline(in, line);
    std::vector<std::string> names, values;
    std::istringstream h(header), v(line);
    for (std::string f; std::getline(h, f, '\t');)
        names.push_back(f);
    for (std::string f; std::getline(v, f, '\t');)
        values.push_back(f);
    for (size_t i = 0; i < names.size() && i < values.size(); ++i)
        if (names[i] == column)
            return values[i];
    return "(no column " + column + " in row " + std::to_string(row) + " of " + table + ")";
}

}  // namespace

TEST(BreloStudyCliTest, AStudyOfBreloAndTheSameStudyThroughGnuParallel) {
    const std::string dir = StudyFolder("parallel");
    const std::string study = kStudy + " -Pbrelo -K1:3 -R2 -j2 -seed7";
    const std::string program = " -- " + kBreloOptions + " -S60 -B20";
    SResult r = RunIn(dir, study + " -run -orun" + program);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("chains 6/6 done"), std::string::npos) << r.output;
    EXPECT_EQ(CountLines(dir + "/run/summary.tsv"), 4);
    EXPECT_EQ(CountLines(dir + "/run/K2_Q.tsv"), 131);
    EXPECT_EQ(CountLines(dir + "/run/K3_chains.tsv"), 3);
    for (const char* chart : {"Kchoice", "barplots"}) {
        PngImage png(dir + "/run/" + chart + ".png");
        EXPECT_TRUE(png.ok()) << chart;
        EXPECT_GT(png.width(), 600);
        EXPECT_NE(ReadFile(dir + "/run/" + chart + ".svg").find("<svg"), std::string::npos);
    }
    // The chains read the data where they are and wrote nothing beside them.
    EXPECT_FALSE(fs::exists(dir + "/run/K2/rep1/sim2pop.txt"));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);

    r = RunIn(dir, study + " -jobs -ojobs" + program);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(CountLines(dir + "/jobs/jobs.txt"), 6);
    EXPECT_NE(ReadFile(dir + "/jobs/study.sbatch").find("#SBATCH --array=1-6"), std::string::npos);
    EXPECT_EQ(Markers(dir + "/jobs", "done"), 0);  // -jobs runs nothing
    if (std::system("command -v parallel > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "GNU parallel is not installed (scripts/install-deps.sh installs it)";
    r = RunIn(dir, "parallel --will-cite -j2 --joblog jobs/joblog.txt < jobs/jobs.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Markers(dir + "/jobs", "done"), 6);
    r = RunIn(dir, kStudy + " -collect -ojobs");
    ASSERT_EQ(r.status, 0) << r.output;
    // Same seeds, same chains: the same summary and memberships.
    EXPECT_EQ(ReadFile(dir + "/jobs/summary.tsv"), ReadFile(dir + "/run/summary.tsv"));
    for (const char* table : {"K1_Q.tsv", "K2_Q.tsv", "K3_Q.tsv"})
        EXPECT_EQ(ReadFile(dir + "/jobs/" + table), ReadFile(dir + "/run/" + table)) << table;
}

TEST(BreloStudyCliTest, AStudyStoppedByASignalRunsOnlyTheMissingChainsWhenResumed) {
    const std::string dir = StudyFolder("resume");
    const std::string command =
        kStudy + " -run -Pbrelo -K1:2 -R2 -j1 -ostudy -seed3 -- " + kBreloOptions + " -S1500 -B500";
    // Start the study, let its first chain end, then interrupt it.
    std::vector<std::string> words{"/bin/sh", "-c",
                                   "cd '" + dir + "' && exec " + command + " > first.txt 2>&1"};
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    pid_t pid;
    ASSERT_EQ(posix_spawn(&pid, "/bin/sh", nullptr, nullptr, argv.data(), environ), 0);
    const std::string firstDone = dir + "/study/K1/rep1/done";
    for (int i = 0; i < 600 && !fs::exists(firstDone); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(firstDone)) << ReadFile(dir + "/first.txt");
    kill(pid, SIGINT);
    int status;
    waitpid(pid, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 130) << ReadFile(dir + "/first.txt");
    EXPECT_NE(ReadFile(dir + "/first.txt").find("Give the same command again"), std::string::npos);
    const int doneBefore = Markers(dir + "/study", "done");
    EXPECT_GE(doneBefore, 1);
    EXPECT_LT(doneBefore, 4);
    EXPECT_EQ(Markers(dir + "/study", "failed"), 0);  // stopped chains are no failures
    EXPECT_FALSE(fs::exists(dir + "/study/summary.tsv"));
    const std::string marker = ReadFile(firstDone);

    SResult r = RunIn(dir, command);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("chains " + std::to_string(doneBefore) + "/4 done, 1 running"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find(std::to_string(4 - doneBefore) + " chains ran"), std::string::npos)
        << r.output;
    EXPECT_EQ(Markers(dir + "/study", "done"), 4);
    EXPECT_EQ(ReadFile(firstDone), marker);  // the finished chain did not run again
    EXPECT_EQ(CountLines(dir + "/study/summary.tsv"), 3);
    // Another seed for the same folder is refused.
    r = RunIn(dir, kStudy + " -run -Pbrelo -K1:2 -R2 -ostudy -seed4 -- " + kBreloOptions +
                       " -S1500 -B500");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("holds a study with -seed3"), std::string::npos) << r.output;
}

TEST(BreloStudyCliTest, AFailingChainIsReportedWithItsLogAndTheStudyGoesOn) {
    const std::string dir = StudyFolder("failing");
    // A stand-in for brelo: fails at K = 2, otherwise writes a run's
    // memberships (six individuals), DIC and mean log-likelihood.
    fs::create_directories(dir + "/fake");
    const std::string fake = dir + "/fake/brelo";
    std::ofstream(fake) << R"SH(#!/bin/sh
for a in "$@"; do
  case "$a" in -K*) K=${a#-K};; -o*) O=${a#-o};; -F*) F=${a#-F};; esac
done
echo "Random seed: $GSL_RNG_SEED"
echo "$GSL_RNG_SEED" > "$O/seed.txt"
if [ "$K" = 2 ]; then echo "Cannot converge with K=2" >&2; exit 3; fi
{
  if [ "$K" = 1 ]; then echo "id	cluster1"; else echo "id	cluster1	cluster2	cluster3"; fi
  for i in 1 2 3 4 5 6; do
    if [ "$K" = 1 ]; then echo "\"ind $i\"	1.0"
    elif [ $((i % 3)) = 0 ]; then echo "\"ind $i\"	1	0	0"
    elif [ $((i % 3)) = 1 ]; then echo "\"ind $i\"	0	1	0"
    else echo "\"ind $i\"	0	0	1"; fi
  done
} > "$O/${F}Q.txt"
printf '1\n1\n2\n2\n2\n3\n' > "$O/${F}labels.txt"
echo $((100 * K)) > "$O/${F}DIC.txt"
echo "-$((60 - K))" > "$O/${F}AL.txt"
)SH";
    fs::permissions(fake, fs::perms::owner_all);
    // Labels with blanks and a quote, as sampling sites may be named.
    std::ofstream(dir + "/sites.txt") << "Col de l'Iseran\nCol de l'Iseran\nLa Grave\n"
                                         "La Grave\nLa Grave\nBessans\n";
    SResult r = RunIn(dir, kStudy + " -run -P" + fake +
                               " -K1:3 -R2 -j2 -ostudy -seed5 -labelssites.txt -- -Fsim2pop.txt");
    // Collected from the other chains, but not reported as a success.
    ASSERT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("K2 rep1 failed (exit status 3): Cannot converge with K=2"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("2 failed"), std::string::npos);
    EXPECT_TRUE(fs::exists(dir + "/study/K2/rep2/failed"));
    const std::string summary = ReadFile(dir + "/study/summary.tsv");
    EXPECT_NE(summary.find("\n2\t0\t2\t"), std::string::npos) << summary;
    EXPECT_NE(summary.find("\n3\t2\t0\t-57\t0\t300\t300\t"), std::string::npos) << summary;
    EXPECT_NE(ReadFile(dir + "/study/K2_chains.tsv").find("failed"), std::string::npos);
    EXPECT_FALSE(fs::exists(dir + "/study/K2_Q.tsv"));
    EXPECT_EQ(CountLines(dir + "/study/K3_Q.tsv"), 7);
    // Each chain got its own seed through the environment.
    EXPECT_EQ(ReadFile(dir + "/study/K3/rep2/seed.txt"), "2006\n");
    EXPECT_EQ(ReadFile(dir + "/study/K1/rep1/seed.txt"), "5\n");
    EXPECT_EQ(RunIn(dir, kStudy + " -collect -ostudy").status, 2);
    // Memberships never go out without their ids: a chain whose table
    // cannot be read is failed, and when no chain's ids can be read the
    // study stops in one line.
    const std::string table = dir + "/study/K3/rep1/sim2pop.txtQ.txt";
    const std::string q3 = ReadFile(dir + "/study/K3_Q.tsv");
    std::ofstream(table) << "id\tcluster1\tcluster2\tcluster3\n\"ind 1\t1\t0\t0\n";
    SResult broken = RunIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(broken.status, 2);
    EXPECT_NE(broken.output.find("K3 rep1 failed: cannot read the ids and memberships of " + table +
                                 ": row 1 holds a badly quoted field"),
              std::string::npos)
        << broken.output;
    // Memberships without ids (the AP table of older versions) are no way
    // round it.
    for (const char* chain : {"K1/rep1", "K1/rep2", "K3/rep1", "K3/rep2"})
        fs::remove(dir + "/study/" + chain + "/sim2pop.txtQ.txt");
    std::ofstream(dir + "/study/K3/rep1/sim2pop.txtAP.txt")
        << "000001:\t1 0 0 \t1\n000002:\t0 1 0 \t1\n000003:\t0 0 1 \t1\n"
        << "000004:\t1 0 0 \t1\n000005:\t0 1 0 \t1\n000006:\t0 0 1 \t1\n";
    broken = RunIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(broken.status, 1);
    EXPECT_NE(broken.output.find("breloStudy: no chain's ids of the individuals can be read: K3 "
                                 "rep1: it wrote no ids of its individuals (no sim2pop.txtQ.txt)"),
              std::string::npos)
        << broken.output;
    EXPECT_EQ(ReadFile(dir + "/study/K3_Q.tsv"), q3);
    EXPECT_NE(r.output.find("Bar plots: individuals grouped by their label"), std::string::npos);
    // Without labels, the populations the program read from the data file
    // (a GENEPOP file's) group the bar plots.
    r = RunIn(dir, kStudy + " -run -P" + fake + " -K1:3 -R1 -ostudy2 -seed5 -- -Fsim2pop.txt");
    EXPECT_NE(r.output.find("Bar plots: individuals grouped by their population in the data file"),
              std::string::npos)
        << r.output;
    if (std::system("command -v Rscript > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "R is not installed: the tables were not loaded in R";
    r = RunIn(dir,
              "Rscript -e 's <- read.table(\"study/summary.tsv\", header = TRUE)' "
              "-e 'q <- read.table(\"study/K3_Q.tsv\", header = TRUE)' "
              "-e 'c <- read.table(\"study/K2_chains.tsv\", header = TRUE)' "
              "-e 'cat(nrow(s), s$chosen[1], q$id[1], q$group[1], ncol(q), nrow(q), c$status[1], "
              "is.numeric(c$seed), \"\\n\")'");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("3 FALSE ind 1 Col de l'Iseran 5 6 failed TRUE"), std::string::npos)
        << r.output;
}

TEST(BreloStudyCliTest, ABreloAdmStudyReportsItsChainsWarningsTracesAndKeepsTheIds) {
    const std::string dir = StudyFolder("adm");
    std::ofstream labels(dir + "/groups.txt");
    for (int i = 0; i < 130; ++i)
        labels << (i < 65 ? "north" : "south") << "\n";
    labels.close();
    SResult r =
        RunIn(dir, kStudy + " -run -PbreloAdm -K2:3 -R2 -j2 -seed9 -ostudy -labelsgroups.txt -- " +
                       kBreloOptions + " -P0.6 -S60 -B20");
    ASSERT_EQ(r.status, 0) << r.output;
    // Sixty sweeps do not mix: every chain warns, and the study says so.
    EXPECT_NE(r.output.find("K = 2: "), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("not mixed ("), std::string::npos) << r.output;
    const std::string summary = dir + "/study/summary.tsv";
    EXPECT_EQ(Cell(summary, 1, "warnedChains"), "2");  // K = 2
    EXPECT_NE(Cell(summary, 1, "worstParameter"), "NA");
    EXPECT_NE(Cell(summary, 1, "mark").find("not mixed"), std::string::npos);
    EXPECT_NE(Cell(summary, 1, "Rhat"), "NA");
    EXPECT_NE(ReadFile(dir + "/study/K2_chains.tsv").find("\tTRUE\t"), std::string::npos);
    // Every chain's trace, with the burn-in, overlaid per K.
    EXPECT_EQ(CountLines(dir + "/study/K3/rep2/sim2pop.txtLHstock.txt"), 60);
    PngImage traces(dir + "/study/K3_traces.png");
    EXPECT_TRUE(traces.ok());
    // The labels group the individuals: the ids stay those of the data.
    const std::string q = ReadFile(dir + "/study/K2_Q.tsv");
    EXPECT_EQ(q.substr(0, q.find('\n')), "id\tgroup\tcluster1\tcluster2");
    const std::string chainQ = ReadFile(dir + "/study/K2/rep1/sim2pop.txtQ.txt");
    const std::string firstId = chainQ.substr(
        chainQ.find('\n') + 1, chainQ.find('\t', chainQ.find('\n')) - chainQ.find('\n') - 1);
    EXPECT_EQ(q.substr(q.find('\n') + 1, firstId.size() + 7), firstId + "\tnorth\t")
        << q.substr(0, 200);
}

// -cv: each chain's twin scores held-out halves of the loci with brelo's
// 2-fold cross-validation; the study sums them up per K.
TEST(BreloStudyCliTest, HeldOutLociScoreEachK) {
    const std::string dir = StudyFolder("heldout");
    const std::string command = kStudy + " -run -Pbrelo -K1:2 -R2 -j2 -seed11 -cv -ostudy -- " +
                                kBreloOptions + " -S40 -B10 -wnone";
    SResult r = RunIn(dir, command);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("chains 8/8 done"), std::string::npos) << r.output;
    EXPECT_NE(r.output.find("The held-out loci point to K = "), std::string::npos) << r.output;
    const std::string summary = dir + "/study/summary.tsv";
    int best = 0;
    for (int row = 1; row <= 2; ++row) {
        EXPECT_EQ(Cell(summary, row, "heldOutChains"), "2");
        const double mean = std::stod(Cell(summary, row, "heldOutLogLik"));
        // Per held-out locus: 130 diploid individuals score some hundreds.
        EXPECT_LT(mean, -100);
        EXPECT_GT(mean, -2000);
        best += Cell(summary, row, "bestHeldOut") == "TRUE";
    }
    EXPECT_EQ(best, 1);
    // At K = 1 both folds score every locus once, whatever the halves: the
    // replicates agree exactly. Beyond, the clusters learned from each half
    // differ.
    EXPECT_LT(std::stod(Cell(summary, 1, "sdHeldOutLogLik")), 1e-6);
    EXPECT_GT(std::stod(Cell(summary, 2, "sdHeldOutLogLik")), 0);
    // Each chain's own score and its run time, as its run.txt says.
    const std::string chains = dir + "/study/K2_chains.tsv";
    EXPECT_EQ(std::stod(Cell(chains, 1, "heldOutLogLik")),
              std::stod(Cell(dir + "/study/K2/cv1/sim2pop.txt_cvScore.txt", 1, " CVscore ")));
    EXPECT_EQ(std::stod(Cell(chains, 2, "seconds")),
              std::stod(Cell(dir + "/study/K2/rep2/sim2pop.txtrun.txt", 1, "run_time_seconds")));
    // A held-out chain that has not ended leaves the study unfinished.
    fs::remove(dir + "/study/K2/cv1/done");
    r = RunIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("1 chains have not ended"), std::string::npos) << r.output;
    // Resumed without -cv: refused, the study's chains left as they are.
    r = RunIn(dir,
              kStudy + " -run -Pbrelo -K1:2 -R2 -ostudy -- " + kBreloOptions + " -S40 -B10 -wnone");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("holds a study run with -cv"), std::string::npos) << r.output;
}

// -cv with breloAdm: each twin learns from the data with a tenth of the
// genotypes written as missing and is scored on them; two populations
// predict them better than one.
TEST(BreloStudyCliTest, HeldOutGenotypesScoreEachKOfABreloAdmStudy) {
    const std::string dir = StudyFolder("heldout_adm");
    const std::string options = kBreloOptions + " -P0.6 -S40 -B10 -wnone";
    SResult r = RunIn(
        dir, kStudy + " -run -PbreloAdm -K1:2 -R2 -j2 -seed5 -cv -wnone -ostudy -- " + options);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("The held-out genotypes point to K = 2"), std::string::npos)
        << r.output;
    const std::string summary = dir + "/study/summary.tsv";
    EXPECT_EQ(Cell(summary, 1, "heldOutChains"), "2");
    EXPECT_EQ(Cell(summary, 2, "heldOutChains"), "2");
    const double one = std::stod(Cell(summary, 1, "heldOutLogLik"));
    const double two = std::stod(Cell(summary, 2, "heldOutLogLik"));
    EXPECT_GT(two, one);
    EXPECT_LT(one, -1);  // per held-out genotype of 4 to 12 alleles
    // The twin's data differ from the user's in the held-out codes only.
    std::ifstream mine(dir + "/sim2pop.txt"), twin(dir + "/study/heldout1_sim2pop.txt");
    std::string a, b;
    int changed = 0, missing = 0;
    while (mine >> a && twin >> b) {
        changed += a != b;
        missing += a != b && b == "-9";
    }
    EXPECT_TRUE(!(mine >> a) && !(twin >> b));
    EXPECT_EQ(changed, 2 * (CountLines(dir + "/study/heldout1.txt") - 1));
    EXPECT_EQ(missing, changed);
    EXPECT_GT(changed, 2 * 130 * 20 / 20);  // about a tenth of 2600 genotypes
    EXPECT_LT(changed, 2 * 130 * 20 * 3 / 20);

    // Data the study cannot hide genotypes in: one line, and no study left.
    r = RunIn(dir, kStudy + " -run -PbreloAdm -K1:2 -cv -oother -- " + kBreloOptions +
                       " -L21 -P0.6 -S40 -B10");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    EXPECT_NE(r.output.find("-cv: "), std::string::npos) << r.output;
    EXPECT_FALSE(fs::exists(dir + "/other/study.txt"));
}

// Names that break a naive reader come back exactly from the study's
// membership tables, through its own reading of the chains' tables and
// through R and Python.
TEST(BreloStudyCliTest, HostileIdsComeBackExactlyFromTheStudysTables) {
    const std::vector<std::string> names = {"O'Brien", "say \"hi\"", "back\\slash", "two  words",
                                            "#7",      "NA",         "Zürich-été",  "pop x",
                                            "\"q\"",   "plain"};
    const std::string dir = StudyFolder("hostile");
    std::ofstream gen(dir + "/hostile.gen");
    gen << "hostile names\nloc1\nloc2\nloc3\nPop\n";
    for (size_t i = 0; i < names.size(); ++i)
        gen << names[i] << " , " << (i % 2 ? "0101 0202 0102" : "0202 0101 0201") << "\n";
    gen.close();
    const SResult r = RunIn(dir, kStudy +
                                     " -run -Pbrelo -K1:2 -R2 -j2 -seed3 -wnone -ostudy -- "
                                     "-Fhostile.gen -fgenepop -T-1 -D1 -S20 -B5 -wnone");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string skipped = ExpectIdsReadBackOutside(dir, "study/K2_Q.tsv", names);
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

TEST(BreloStudyCliTest, ARefusedCommandWritesNothing) {
    const std::string dir = StudyFolder("refused");
    SResult r = RunIn(dir, kStudy + " -run -Pbrelo -K1:3 -onew -- -Fmissing.txt -N130");
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.output, "breloStudy: cannot read the data file missing.txt\n");
    EXPECT_FALSE(fs::exists(dir + "/new"));
    r = RunIn(dir, kStudy + " -collect -onew");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("no study in new"), std::string::npos) << r.output;
    r = RunIn(dir, kStudy);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("-collect -o<study>"), std::string::npos);
    r = RunIn(dir, kStudy + " --help");
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.output.find("-collect -o<study>"), std::string::npos);
    r = RunIn(dir, kStudy + " --version");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "breloStudy " BRELO_PROJECT_VERSION "\n");
}

// breloAdm with replica exchange (-rx) and threads (-t): the same files
// whatever the number of threads, with replicas or without, the layout of a plain run, the swap
// rates in the diagnostics and run.txt, one replica as the plain chain, and the refused values.
#include <gtest/gtest.h>

#include <algorithm>

#include "breloAdm/AdmTestUtils.h"
#include "cli/BreloCli.h"

namespace {

// Charts left out (-wnone): the tables tell what the chains did.
const std::string kSim =
    "-Fsim2pop.txt -N130 -A2 -L20 -c2 -K2 -T1 -P0.6 -D1 -S40 -B20 -auxout -wnone ";

std::string Folder(const std::string& name) {
    const std::string dir = FreshFolder("cli_adm_rx_" + name);
    CopyFixture("sim2pop.txt", dir);
    return dir;
}

// Dominant markers: each replica draws its own genotypes behind the
// phenotypes.
const std::string kDominant =
    "-Fdom.txt -N40 -A2 -L6 -K2 -T1 -P0.6 -D1 -S40 -B20 -rcy -auxout -wnone ";

SCliResult RunAdmIn(const std::string& folder, const std::string& args) {
    return RunProgramIn("breloAdm", folder, args);
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

long Lines(const std::string& file) {
    const std::string text = ReadWholeFile(file);
    return std::count(text.begin(), text.end(), '\n');
}

}  // namespace

// Microsatellites with psi updated (each replica's prior follows its psi),
// and dominant markers (each replica draws its own genotypes).
TEST(BreloAdmReplicaCli, OneAndTwoThreadsWriteTheSameFilesAsAPlainRunLaysThemOut) {
    const struct {
        std::string tag, args, data;
    } runs[] = {{"sim", kSim + "-jk -upy ", "sim2pop.txt"}, {"dom", kDominant, "dom.txt"}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.tag);
        const std::string one = Folder(run.tag + "_t1"), two = Folder(run.tag + "_t2"),
                          plain = Folder(run.tag + "_plain");
        for (const std::string& dir : {one, two, plain})
            admtest::WriteDominantData(dir + "/dom.txt");
        const SCliResult r1 = RunAdmIn(one, run.args + "-rx3 -t1");
        ASSERT_EQ(r1.status, 0) << r1.output;
        const SCliResult r2 = RunAdmIn(two, run.args + "-rx3 -t2");
        ASSERT_EQ(r2.status, 0) << r2.output;
        ASSERT_EQ(RunAdmIn(plain, run.args).status, 0);
        EXPECT_TRUE(Contains(r2.output, "Replica exchange: 3 replicas on 2 threads"));
        EXPECT_TRUE(Contains(r1.output, "swap of rungs 1-2 (powers 1, ")) << r1.output;
        EXPECT_TRUE(Contains(r1.output, "swap of rungs 2-3 (powers "));

        const std::vector<std::string> files = SortedFolderFiles(one);
        EXPECT_EQ(files, SortedFolderFiles(two));
        EXPECT_EQ(files, SortedFolderFiles(plain));
        const std::string runTable = run.data + "run.txt";
        for (const std::string& name : files) {
            if (name == runTable || name == run.data)
                continue;
            EXPECT_EQ(ReadWholeFile(one + "/" + name), ReadWholeFile(two + "/" + name)) << name;
            // The report gains the swap lines; every other file keeps the
            // lines of a plain run.
            if (name != run.data + "TR.txt") {
                EXPECT_EQ(Lines(one + "/" + name), Lines(plain + "/" + name)) << name;
            }
        }
        std::map<std::string, std::string> run1 = RunTableFacts(one + "/" + runTable),
                                           run2 = RunTableFacts(two + "/" + runTable),
                                           plainRun = RunTableFacts(plain + "/" + runTable);
        EXPECT_EQ(run1["replicas"], "3");
        EXPECT_EQ(run1["threads"], "1");
        EXPECT_EQ(run2["threads"], "2");
        EXPECT_EQ(run1["ladder_powers"], run2["ladder_powers"]);
        EXPECT_EQ(run1["ladder_powers"].substr(0, 2), "1 ");
        for (const char* pair : {"swap_rate_1_2", "swap_rate_2_3"}) {
            ASSERT_EQ(run1.count(pair), 1u) << pair;
            EXPECT_EQ(run1[pair], run2[pair]);
            const double rate = std::stod(run1[pair]);
            EXPECT_GE(rate, 0.0);
            EXPECT_LE(rate, 1.0);
        }
        EXPECT_EQ(plainRun["replicas"], "1");
        EXPECT_EQ(plainRun.count("swap_rate_1_2"), 0u);
    }
}

// One chain on one thread or two: the draws of each sweep run in blocks of
// individuals (five of the 130 here) whatever the threads, on the default
// route with shuffled visiting orders and on the single-site route.
TEST(BreloAdmReplicaCli, SweepsOnTwoThreadsWriteTheFilesOfOne) {
    for (const std::string route : {"-sy", "-joint0 -qmove0"}) {
        SCOPED_TRACE(route);
        const std::string one = Folder("blocks_t1"), two = Folder("blocks_t2");
        ASSERT_EQ(RunAdmIn(one, kSim + route + " -t1").status, 0);
        ASSERT_EQ(RunAdmIn(two, kSim + route + " -t2").status, 0);
        const std::vector<std::string> files = SortedFolderFiles(one);
        EXPECT_EQ(files, SortedFolderFiles(two));
        for (const std::string& name : files) {
            if (name != "sim2pop.txtrun.txt") {
                EXPECT_EQ(ReadWholeFile(one + "/" + name), ReadWholeFile(two + "/" + name)) << name;
            }
        }
    }
}

TEST(BreloAdmReplicaCli, OneReplicaIsThePlainChain) {
    const std::string plain = Folder("rx1_plain"), rx1 = Folder("rx1");
    ASSERT_EQ(RunAdmIn(plain, kSim).status, 0);
    ASSERT_EQ(RunAdmIn(rx1, kSim + "-rx1 -t2").status, 0);
    for (const char* file : {"Q.txt", "LHstock.txt", "TR.txt", "P.txt"})
        EXPECT_EQ(ReadWholeFile(plain + "/sim2pop.txt" + file),
                  ReadWholeFile(rx1 + "/sim2pop.txt" + file))
            << file;
}

TEST(BreloAdmReplicaCli, ImpossibleReplicaAndThreadCountsAreRefused) {
    const std::string dir = Folder("refused");
    ExpectRefusals(ReplicaCountRefusals(),
                   [&](const std::string& option) { return RunAdmIn(dir, kSim + option); });
    EXPECT_EQ(SortedFolderFiles(dir), std::vector<std::string>{"sim2pop.txt"});
}

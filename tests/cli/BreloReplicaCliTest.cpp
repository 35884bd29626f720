// brelo with replica exchange (-rx) and threads (-t): the same files whatever
// the number of threads, the layout of a plain run, the swap rates in the
// diagnostics and in run.txt, and the refused values.
#include <gtest/gtest.h>

#include <algorithm>

#include "cli/BreloCli.h"

namespace {

// Charts are left out (-wnone): the tables tell what the chains did.
const std::string kSim = "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c2 -K3 -S40 -B20 -wnone ";

std::string Folder(const std::string& name) {
    const std::string dir = FreshFolder("cli_rx_" + name);
    CopyFixture("sim2pop.txt", dir);
    return dir;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST(BreloReplicaCli, OneAndTwoThreadsWriteTheSameFilesAsAPlainRunLaysThemOut) {
    // With covariates (structure, regression and kept sweeps) and without.
    for (const std::string trend : {"-T1 ", "-T0 "}) {
        const std::string one = Folder("t1"), two = Folder("t2"), plain = Folder("plain");
        const SCliResult r1 = RunBreloIn(one, kSim + trend + "-jk -zg -rx3 -t1");
        ASSERT_EQ(r1.status, 0) << r1.output;
        const SCliResult r2 = RunBreloIn(two, kSim + trend + "-jk -zg -rx3 -t2");
        ASSERT_EQ(r2.status, 0) << r2.output;
        ASSERT_EQ(RunBreloIn(plain, kSim + trend + "-jk -zg").status, 0);
        EXPECT_TRUE(Contains(r2.output, "Replica exchange: 3 replicas on 2 threads"));
        EXPECT_TRUE(Contains(r1.output, "swap of rungs 1-2 (powers 1, "));
        EXPECT_TRUE(Contains(r1.output, "swap of rungs 2-3 (powers "));

        const std::vector<std::string> files = SortedFolderFiles(one);
        EXPECT_EQ(files, SortedFolderFiles(two));
        EXPECT_EQ(files, SortedFolderFiles(plain));
        for (const std::string& name : files) {
            if (name == "sim2pop.txtrun.txt")
                continue;
            EXPECT_EQ(ReadWholeFile(one + "/" + name), ReadWholeFile(two + "/" + name))
                << trend << name;
            // The layout of a plain run: as many lines in every table.
            const std::string a = ReadWholeFile(one + "/" + name),
                              b = ReadWholeFile(plain + "/" + name);
            if (name.find(".png") == std::string::npos && name.find(".pdf") == std::string::npos &&
                name.find("TR.txt") == std::string::npos) {
                EXPECT_EQ(std::count(a.begin(), a.end(), '\n'),
                          std::count(b.begin(), b.end(), '\n'))
                    << trend << name;
            }
        }
        std::map<std::string, std::string> run1 = RunTableFacts(one + "/sim2pop.txtrun.txt"),
                                           run2 = RunTableFacts(two + "/sim2pop.txtrun.txt"),
                                           plainRun = RunTableFacts(plain + "/sim2pop.txtrun.txt");
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
        // -zg: the two-cluster reallocations and their acceptance rate.
        ASSERT_EQ(run1.count("reallocation_rate"), 1u);
        EXPECT_EQ(run1["reallocation_rate"], run2["reallocation_rate"]);
        EXPECT_TRUE(Contains(r1.output, "Two-cluster reallocations: ")) << r1.output;
    }
}

TEST(BreloReplicaCli, OneReplicaIsThePlainChain) {
    const std::string plain = Folder("rx1_plain"), rx1 = Folder("rx1");
    ASSERT_EQ(RunBreloIn(plain, kSim + "-T0 -zg").status, 0);
    ASSERT_EQ(RunBreloIn(rx1, kSim + "-T0 -zg -rx1 -t2").status, 0);
    for (const char* file : {"AP.txt", "LHstock.txt", "TR.txt"})
        EXPECT_EQ(ReadWholeFile(plain + "/sim2pop.txt" + file),
                  ReadWholeFile(rx1 + "/sim2pop.txt" + file))
            << file;
}

TEST(BreloReplicaCli, ImpossibleReplicaAndThreadCountsAreRefused) {
    const std::string dir = Folder("refused");
    std::vector<SOptionRefusal> cases = ReplicaCountRefusals();
    cases.insert(
        cases.end(),
        {{"-rx", "Option -rx needs a whole number."},
         {"-zr-1", "The number of reallocations per sweep (-zr) must be between 0 and 10000."},
         {"-zrx", "Option -zr needs a whole number, not 'x'."}});
    ExpectRefusals(
        cases, [&](const std::string& option) { return RunBreloIn(dir, kSim + "-T0 " + option); });
    EXPECT_EQ(SortedFolderFiles(dir), std::vector<std::string>{"sim2pop.txt"});
}

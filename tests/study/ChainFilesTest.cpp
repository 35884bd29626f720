#include "study/ChainFiles.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <fstream>
#include <string>

#include "io/TableText.h"
#include "study/JobFiles.h"

namespace {

std::string Scratch(const std::string& name, const std::string& text) {
    const std::string file = ::testing::TempDir() + "study_" + name;
    std::ofstream(file) << text;
    return file;
}

}  // namespace

TEST(ChainFilesTest, MembershipsOfEachProgramsLayout) {
    DBL_VCTR_2D Q;
    std::vector<std::string> ids;
    // brelo's AP table: rows only, a trailing 1.
    const std::string ap = Scratch("AP.txt",
                                   "000001:\t0.250000000000000 0.750000000000000 \t1\n"
                                   "000002:\t1.000000000000000 0.000000000000000 \t1\n\n\n\n");
    ASSERT_TRUE(ReadNumberedMemberships(ap, 2, Q));
    EXPECT_EQ(Q, (DBL_VCTR_2D{{0.25, 0.75}, {1, 0}}));
    // The trailing 1 is no third cluster: the row would not sum to 1.
    EXPECT_FALSE(ReadNumberedMemberships(ap, 3, Q));
    // breloAdm's report: a title, a header, the rows, then other tables.
    const std::string tr = Scratch("TR.txt",
                                   "Estimated Clustering Probabilities for Samples\n"
                                   "Sample\t***Cluster  01***\t***Cluster  02***\t\n"
                                   "000001:\t0.9\t0.1\t\t1\n000002:\t0.2\t0.8\t\t1\n\n\n\n"
                                   "Estimated Allele Frequencies\nCluster 01\nLocus 001\n"
                                   "Allele 001\t0.5\n");
    ASSERT_TRUE(ReadNumberedMemberships(tr, 2, Q));
    EXPECT_EQ(Q.size(), 2u);
    EXPECT_DOUBLE_EQ(Q[1][1], 0.8);
    // The plain table.
    const std::string plain =
        Scratch("Q.txt", "id\tcluster1\tcluster2\nA1\t0.3\t0.7\n\"B 2\"\t1\t0\n");
    std::string why;
    ASSERT_EQ(ReadPlainMemberships(plain, 2, Q, ids, why), PlainTable::Read);
    EXPECT_EQ(ids, (std::vector<std::string>{"A1", "B 2"}));
    EXPECT_DOUBLE_EQ(Q[0][1], 0.7);
    EXPECT_EQ(ReadPlainMemberships(plain, 3, Q, ids, why), PlainTable::Unreadable);
    EXPECT_FALSE(ReadNumberedMemberships(::testing::TempDir() + "missing", 2, Q));
}

// Ids come back exactly as the programs wrote them; a table that cannot be
// read whole says where, and is never read in part.
TEST(ChainFilesTest, HostileIdsComeBackExactlyAndABrokenTableIsNamed) {
    const std::vector<std::string> hostile{"back\\slash", "say \"hi\"", "it's", "two words",
                                           "tab\there",   "#hash",      "NA",   "",
                                           "Ærøskøbing",  " lead"};
    std::string text = "id\tcluster1\tcluster2\n";
    for (const std::string& id : hostile)
        text += TableRow({id, "0.25", "0.75"}) + "\n";
    DBL_VCTR_2D Q;
    std::vector<std::string> ids;
    std::string why;
    ASSERT_EQ(ReadPlainMemberships(Scratch("Qhostile.txt", text), 2, Q, ids, why), PlainTable::Read)
        << why;
    EXPECT_EQ(ids, hostile);
    EXPECT_EQ(Q.size(), hostile.size());

    const struct {
        const char* table;
        const char* why;
    } broken[] = {
        {"id\tcluster1\tcluster2\nA\t0.5\t0.5\n\"B\t0.5\t0.5\n", "row 2 holds a badly quoted"},
        {"id\tcluster1\tcluster2\nA\t0.5\t0.5\nB 0.5 0.5\n", "row 2 holds 1 fields, not 3"},
        {"id\tcluster1\tcluster2\nA\t0.5\tx\n", "row 1 (id A) does not hold 2 memberships"},
        {"id\tcluster1\nA\t1\n", "its header is not that of an id and 2 clusters"},
        {"id\tcluster1\tcluster2\n", "it holds no individual"},
    };
    for (const auto& b : broken) {
        EXPECT_EQ(ReadPlainMemberships(Scratch("Qbroken.txt", b.table), 2, Q, ids, why),
                  PlainTable::Unreadable)
            << b.table;
        EXPECT_NE(why.find(b.why), std::string::npos) << why;
    }
    EXPECT_EQ(ReadPlainMemberships(::testing::TempDir() + "missing", 2, Q, ids, why),
              PlainTable::Absent);
}

TEST(ChainFilesTest, ChainResultsPreferThePlainTableAndReadTheCriteria) {
    const std::string prefix = ::testing::TempDir() + "study_chain_";
    std::remove((prefix + "Q.txt").c_str());
    Scratch("chain_AP.txt", "000001:\t0.5 0.5 \t1\n");
    Scratch("chain_DIC.txt", "17838");
    Scratch("chain_AL.txt", "-8796.65");
    Scratch("chain_PD.txt", "364\n");
    SChainResult chain;
    std::string message;
    ASSERT_EQ(ReadChainResults(StudyProgram::Brelo, prefix, 2, chain, message), ChainRead::Read);
    EXPECT_DOUBLE_EQ(chain.DIC, 17838);
    EXPECT_DOUBLE_EQ(chain.meanLogL, -8796.65);
    // breloAdm: the mean over all kept sweeps, -(DIC - pD) / 2.
    Scratch("chain_TR.txt", "000001:\t0.1\t0.9\t\t1\n");
    ASSERT_EQ(ReadChainResults(StudyProgram::BreloAdm, prefix, 2, chain, message), ChainRead::Read);
    EXPECT_DOUBLE_EQ(chain.meanLogL, (364 - 17838) / 2.0);
    EXPECT_DOUBLE_EQ(chain.Q[0][1], 0.9);
    Scratch("chain_Q.txt", "id\tcluster1\tcluster2\nind1\t0.7\t0.3\n");
    ASSERT_EQ(ReadChainResults(StudyProgram::BreloAdm, prefix, 2, chain, message), ChainRead::Read);
    EXPECT_DOUBLE_EQ(chain.Q[0][0], 0.7);
    EXPECT_EQ(chain.ids[0], "ind1");
    EXPECT_EQ(ReadChainResults(StudyProgram::Brelo, prefix + "none_", 2, chain, message),
              ChainRead::NoMemberships);
    EXPECT_NE(message.find("no memberships"), std::string::npos);
    // A broken Q.txt is never passed over for the AP table's rows without ids.
    Scratch("chain_Q.txt", "id\tcluster1\tcluster2\n\"ind1\t0.7\t0.3\n");
    EXPECT_EQ(ReadChainResults(StudyProgram::Brelo, prefix, 2, chain, message),
              ChainRead::UnreadableTable);
    EXPECT_NE(message.find("chain_Q.txt: row 1 holds a badly quoted field"), std::string::npos)
        << message;
}

TEST(ChainFilesTest, TheMessageOfAFailedRunComesBeforeItsUsage) {
    EXPECT_EQ(LastMessageOfLog(Scratch("log1",
                                       "brelo -Q1 \n*****\nUnknown Option - -Q1\n"
                                       "\bTo use PREDICTION UTILITIES, run brelo\n"
                                       "Typical Usages:\n  (value 1)\n")),
              "Unknown Option - -Q1");
    EXPECT_EQ(LastMessageOfLog(Scratch("log2", "brelo -F\n*****\nTypical Usage: ...\n")),
              "the program printed its usage");
    EXPECT_EQ(LastMessageOfLog(Scratch("log3", "Random seed: 1\nCannot open x.txt\n\n")),
              "Cannot open x.txt");
}

// The run table is one header row and one row of values; a key and a value
// a line is read too.
TEST(ChainFilesTest, RunTimeAndHeldOutScoreOfAChain) {
    EXPECT_DOUBLE_EQ(RecordedRunSeconds(Scratch("run1.txt",
                                                "program\tseed\tcommand_line\trun_time_seconds\n"
                                                "brelo\t3024\t\"brelo -K2 -o x\"\t2.720\n")),
                     2.72);
    EXPECT_DOUBLE_EQ(RecordedRunSeconds(Scratch(
                         "run2.txt", "key\tvalue\nseed\t7\nrun_time_seconds\t1.5\nhost\tvm\n")),
                     1.5);
    EXPECT_TRUE(std::isnan(
        RecordedRunSeconds(Scratch("run3.txt", "program\trun_time_seconds\nbrelo\tNA\n"))));
    EXPECT_TRUE(std::isnan(RecordedRunSeconds(::testing::TempDir() + "missing")));

    EXPECT_DOUBLE_EQ(ReadHeldOutScore(Scratch("cv1.txt",
                                              "RUN \t CVscore \t 2FoldPartition\n"
                                              "sim2pop.txt\t-75.368\thalf1\n")),
                     -75.368);
    // A fold abandoned, a cut file, none.
    EXPECT_TRUE(std::isnan(ReadHeldOutScore(
        Scratch("cv2.txt", "RUN \t CVscore \t 2FoldPartition\nsim2pop.txt\tNA\thalf1\n"))));
    EXPECT_TRUE(std::isnan(ReadHeldOutScore(Scratch("cv3.txt", "RUN \t CVscore \t 2Fold"))));
    EXPECT_TRUE(std::isnan(ReadHeldOutScore(::testing::TempDir() + "missing")));
}

TEST(JobFilesTest, QuotedWordsComeBackWholeFromTheShell) {
    const std::string word = "it's a \"folder\" with $HOME and `x`";
    FILE* pipe = popen(("printf %s " + ShellQuote(word)).c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[256] = {0};
    size_t n = fread(buffer, 1, sizeof buffer - 1, pipe);
    pclose(pipe);
    EXPECT_EQ(std::string(buffer, n), word);
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>
#include <map>
#include <sstream>
#include <vector>

#include "core/TestSupport.h"
#include "io/IOUtilities.h"
#include "io/ManipVector.h"
#include "io/ResultTables.h"

TEST(MembershipTable, ExactLayoutWithAndWithoutHeader) {
    const DBL_VCTR_2D V = {{0.25, 0.75}, {1.0, 0.0}};
    const std::string file = TempPath("AP.txt");
    EXPECT_TRUE(SaveToMyFileClumppFormat(V, file, true, "Estimated Clustering"));
    EXPECT_EQ(ReadWholeFile(file),
              "Estimated Clustering\n"
              "Sample\t***Cluster  01***\t***Cluster  02***\t\n"
              "000001:\t0.250000000000000 0.750000000000000 \t1\n"
              "000002:\t1.000000000000000 0.000000000000000 \t1\n"
              "\n\n\n");
    EXPECT_TRUE(SaveToMyFileClumppFormat(V, file, false, "ignored"));
    EXPECT_EQ(ReadWholeFile(file),
              "000001:\t0.250000000000000 0.750000000000000 \t1\n"
              "000002:\t1.000000000000000 0.000000000000000 \t1\n"
              "\n\n\n");
    EXPECT_EXIT_STDOUT(SaveToMyFileClumppFormat(V, "/no/such/x", true, ""),
                       "^Cannot open file /no/such/x - SaveToMyFileClusterFormat\n$");
}

TEST(MembershipTable, WideTablesNegativeValuesAndAppendedTables) {
    DBL_VCTR_2D V(1, DBL_VCTR_1D(12, 0.0));
    V[0][11] = -0.5;
    const std::string file = TempPath("wide.txt");
    {
        std::ofstream ofs(file);
        ofs << "title\n";
        WriteInOfstreamClummpFormat(V, ofs);
        ofs << std::setw(3) << 7 << " " << 0.5 << "\n";  // the stream keeps fill and format
    }
    const std::string content = ReadWholeFile(file);
    EXPECT_NE(content.find("\t***Cluster  12***\t\n"), std::string::npos);
    EXPECT_NE(content.find(" -0.500000000000000 \t1\n\n\n\n"), std::string::npos);
    EXPECT_NE(content.find("\n007 0.500000000000000\n"), std::string::npos);

    // Field widths are minimums: cluster 123 is written in full.
    SaveToMyFileClumppFormat(DBL_VCTR_2D(1, DBL_VCTR_1D(123, 0.0)), file, true, "");
    EXPECT_NE(ReadWholeFile(file).find("\t***Cluster  123***\t\n"), std::string::npos);
}

TEST(PlainTables, OneValuePerLineAndTabTerminatedRows) {
    const std::string file = TempPath("t.txt");
    EXPECT_TRUE(SaveToMyFile(DBL_VCTR_1D{1.5, 1234567.0}, file));
    EXPECT_EQ(ReadWholeFile(file), "1.5\n1.23457e+06\n");
    EXPECT_TRUE(SaveToMyFile(DBL_VCTR_2D{{1, 2}, {3, 4}}, file));
    EXPECT_EQ(ReadWholeFile(file), "1\t2\t\n3\t4\t\n");
    EXPECT_EXIT_STDOUT(SaveToMyFile(DBL_VCTR_1D{1}, "/no/such/t"),
                       "^Cannot open file /no/such/t - SaveToMyFile\n$");
}

// ---------------------------------------------------------------------------
// Plain tables for R (Q.txt, P.txt, run.txt)

// Texts that read.table would split, take for the start of a string or of a
// comment, or lose (an empty field) are quoted.
TEST(PlainResultTables, TextFieldsAreQuotedOnlyWhereReadTableNeedsIt) {
    EXPECT_EQ(TableField("-F/data/x.txt"), "-F/data/x.txt");
    for (const char* text : {"a b", "", "O'Brien", "site#3"})
        EXPECT_EQ(TableField(text), "\"" + std::string(text) + "\"");
    EXPECT_EQ(TableField("say \"hi\""), "\"say \"\"hi\"\"\"");
}

TEST(PlainResultTables, MembershipTableHasAnIdColumnAndOneColumnPerCluster) {
    const std::string file = TempPath("Q.txt");
    ASSERT_TRUE(SaveQTable({{0.25, 0.75}, {1.0 / 3, 2.0 / 3}}, {"ind01", "ind 2"}, file));
    EXPECT_EQ(ReadWholeFile(file),
              "id\tcluster1\tcluster2\n"
              "ind01\t0.25\t0.75\n"
              "\"ind 2\"\t0.3333333333\t0.6666666667\n");
    FlavourScope adm(ProgramFlavour::BreloAdm);  // messages on stderr, the run goes on
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveQTable({{1.0}}, {"a", "b"}, file));
    EXPECT_FALSE(SaveQTable({{1.0}}, {"a"}, "/no/such/dir/Q.txt"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Internal error: 2 ids for 1 rows - SaveQTable\n"
              "Cannot open file /no/such/dir/Q.txt - SaveQTable\n");
}

TEST(PlainResultTables, FrequencyTableHasOneRowPerClusterLocusAndAllele) {
    const std::string file = TempPath("P.txt");
    const DBL_VCTR_3D p = {{{0.5, 0.5}, {1.0}}, {{0.1, 0.9}, {1.0}}};
    const INT_VCTR_2D alleleV = {{101, 105}, {7}};
    ASSERT_TRUE(SavePTable(p, alleleV, {3, 8}, file));
    EXPECT_EQ(ReadWholeFile(file),
              "cluster\tlocus\tallele\tfrequency\n"
              "1\t3\t101\t0.5\n1\t3\t105\t0.5\n1\t8\t7\t1\n"
              "2\t3\t101\t0.1\n2\t3\t105\t0.9\n2\t8\t7\t1\n");
    EXPECT_EQ(PositionLocusNumbers(3), (INT_VCTR_1D{1, 2, 3}));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SavePTable(p, {{101, 105}, {7, 9}}, {1, 2}, file));  // 2 alleles, 1 frequency
    EXPECT_FALSE(SavePTable(p, alleleV, {1}, file));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("disagree - SavePTable"),
              std::string::npos);
}

TEST(PlainResultTables, RunTableRecordsTheRunInOneRow) {
    FlavourScope brelo(ProgramFlavour::Brelo);
    const std::string input = WriteTempFile("data.txt", "12345");
    const char* argv[] = {"brelo", "-Fdata.txt", "-omy results", "-K2"};
    SRunRecord record = StartRunRecord(4, argv, input);
    record.seed = 4242;
    const std::string file = TempPath("run.txt");
    ASSERT_TRUE(SaveRunTable(record, file));

    std::istringstream is(ReadWholeFile(file));
    std::vector<std::string> keys, values;
    std::map<std::string, std::string> value;
    ASSERT_EQ(ReadTableRecord(is, keys), TableRecord::Read);
    ASSERT_EQ(ReadTableRecord(is, values), TableRecord::Read);
    ASSERT_EQ(keys.size(), values.size());
    for (size_t i = 0; i < keys.size(); ++i)
        value[keys[i]] = values[i];
    EXPECT_EQ(keys, (std::vector<std::string>{"program", "version", "command_line",
                                              "working_directory", "seed", "start_time", "end_time",
                                              "run_time_seconds", "cpu_time_seconds", "host",
                                              "input_file", "input_size_bytes", "input_modified"}));
    EXPECT_EQ(value["program"], "brelo");
    EXPECT_EQ(value["version"], ProgramVersion());
    EXPECT_EQ(value["command_line"], "brelo -Fdata.txt '-omy results' -K2");
    EXPECT_EQ(value["seed"], "4242");
    EXPECT_EQ(value["input_size_bytes"], "5");
    const std::string iso = "[0-9]{4}-[0-9]{2}-[0-9]{2}T[0-9]{2}:[0-9]{2}:[0-9]{2}[-+][0-9]{4}";
    for (const char* key : {"start_time", "end_time", "input_modified"})
        EXPECT_THAT(value[key], ::testing::MatchesRegex(iso)) << key;
    EXPECT_GE(std::stod(value["run_time_seconds"]), 0.0);

    // A data file that cannot be examined leaves NA, not an empty field.
    record.inputFile = "/no/such/file";
    ASSERT_TRUE(SaveRunTable(record, file));
    const std::string text = ReadWholeFile(file);
    EXPECT_EQ(text.substr(text.size() - 7), "\tNA\tNA\n");
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>
#include <iomanip>

#include "core/TestSupport.h"
#include "io/IOUtilities.h"
#include "io/ManipVector.h"

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

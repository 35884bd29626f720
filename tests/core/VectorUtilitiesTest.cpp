#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/TestSupport.h"
#include "core/VectorUtilities.h"

TEST(InitVctr, ZeroSizeLeavesContainerEmptyAndReusable) {
    DBL_VCTR_1D v;
    InitVctr1D(v, 0, 1.0);
    EXPECT_TRUE(v.empty());
    InitVctr1D(v, 3, 2.0);
    EXPECT_EQ(v.size(), 3u);

    DBL_VCTR_2D m;
    InitVctr2D(m, 0, 4, 0.0);
    EXPECT_TRUE(m.empty());
    InitVctr2D(m, 2, 4, 0.0);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].size(), 4u);
}

TEST(InitVctr, SecondCallKeepsFirstShapeAndWarns) {
    INT_VCTR_2D m;
    InitVctr2D(m, 2, 3, 7);
    testing::internal::CaptureStderr();
    InitVctr2D(m, 5, 5, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "V Already Initialized - InitVctr2D\n");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].size(), 3u);
    EXPECT_EQ(m[1][2], 7);
}

TEST(InitVctr, RaggedBlocksAreIndependentCopies) {
    DBL_VCTR_3D p;
    INT_VCTR_1D lengths = {2, 5, 3};
    InitVctr3D(p, 4, 3, lengths, 0.5);
    ASSERT_EQ(p.size(), 4u);
    for (const auto& block : p) {
        ASSERT_EQ(block.size(), 3u);
        EXPECT_EQ(block[0].size(), 2u);
        EXPECT_EQ(block[1].size(), 5u);
        EXPECT_EQ(block[2].size(), 3u);
    }
    p[0][1][4] = 9.0;
    EXPECT_EQ(p[1][1][4], 0.5);
}

// ---------------------------------------------------------------------------
// CopyVctr, PrintVctr and the matrix files

TEST(CopyVctr, EmptyTargetBecomesRaggedCopy) {
    DBL_VCTR_2D source = {{1, 2}, {3}, {4, 5, 6}};
    DBL_VCTR_2D target;
    CopyVctr(source, target);
    EXPECT_EQ(target, source);
}

TEST(CopyVctr, ComparesOnlyRowCountAndFirstRow) {
    DBL_VCTR_2D source = {{1, 2}, {3, 4, 5}};
    DBL_VCTR_2D target = {{0, 0}, {0}};
    CopyVctr(source, target);
    EXPECT_EQ(target, source);

    DBL_VCTR_2D wrongRows = {{0, 0}};
    EXPECT_EXIT_STDOUT(CopyVctr(source, wrongRows),
                       "^CopyVctr : error, dimensions don't match. Exiting...\n$");
    DBL_VCTR_2D wrongCols = {{0, 0, 0}, {0, 0, 0}};
    EXPECT_EXIT_STDOUT(CopyVctr(source, wrongCols), "dimensions don't match");
}

TEST(PrintVctr, BreloFormatsAndEmptyMessage) {
    FlavourScope flavour(ProgramFlavour::Brelo);
    testing::internal::CaptureStdout();
    EXPECT_TRUE(PrintVctr(INT_VCTR_1D{1, -2}));
    EXPECT_TRUE(PrintVctr(DBL_VCTR_1D{0.5}));
    EXPECT_TRUE(PrintVctr(DBL_VCTR_2D{{1, 2}, {3, 4}}));
    EXPECT_TRUE(PrintVctr(INT_VCTR_3D{{{1}}, {{2}}}));
    int raw[2] = {7, 8};
    EXPECT_TRUE(PrintVctr(raw, 2));
    EXPECT_FALSE(PrintVctr(DBL_VCTR_2D{}));
    EXPECT_FALSE(PrintVctr(DBL_VCTR_3D{{{}}}));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "1\n-2\n"
              "0.500000  \n"
              "1.000000  2.000000  \n3.000000  4.000000  \n \n"
              "1  \n \n \n2  \n \n \n"
              "7\n8\n"
              "Uninitialized vector - PrintVctr\n"
              "Uninitialized vector - PrintVctr\n");
}

TEST(PrintVctr, BreloAdmFormats) {
    FlavourScope flavour(ProgramFlavour::BreloAdm);
    testing::internal::CaptureStdout();
    PrintVctr(INT_VCTR_1D{3});
    PrintVctr(DBL_VCTR_1D{});
    PrintVctr(DBL_VCTR_2D{{1, 2}});
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\n3\n"
              "\n\n"
              "\n\n1.000000  2.000000  \n\n \n");
}

TEST(MatrixFiles, SaveWritesTabTerminatedLinesAndLoadReadsThemBack) {
    DBL_VCTR_2D V = {{1, 2.5, -3}, {1e-7, 123456789, 0}};
    std::string path = TempPath("m.txt");
    EXPECT_TRUE(SaveVector2D(V, path));
    EXPECT_EQ(ReadWholeFile(path), "1\t2.5\t-3\t\n1e-07\t1.23457e+08\t0\t\n");
    DBL_VCTR_2D back(2, DBL_VCTR_1D(3, 0.0));
    EXPECT_TRUE(LoadVector2D(back, path));
    EXPECT_EQ(back[0], V[0]);
    EXPECT_DOUBLE_EQ(back[1][1], 123457000);
}

TEST(MatrixFiles, EachRowIsOneLineAndNothingIsLeftOver) {
    DBL_VCTR_2D V(2, DBL_VCTR_1D(2, 0.0));
    testing::internal::CaptureStderr();
    EXPECT_TRUE(LoadVector2D(V, WriteTempFile("ok.txt", "0 1\n\n1 0 \n")));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(V, (DBL_VCTR_2D{{0, 1}, {1, 0}}));
    // Written for three individuals, or with the rows run together: read out
    // of step if taken as a stream of values.
    EXPECT_EXIT(LoadVector2D(V, WriteTempFile("long.txt", "0 1\n1 0\n2 2\n"), "-N2"),
                ::testing::ExitedWithCode(1),
                "^.*long.txt holds 3 rows, where -N2 announces 2 - LoadVector2D\n$");
    EXPECT_EXIT(LoadVector2D(V, WriteTempFile("flat.txt", "0 1 1\n0 \n")),
                ::testing::ExitedWithCode(1),
                "^Line 1 of .*flat.txt \\(row 1\\) holds 3 values, where 2 x 2 matrix expect 2 "
                "values a row - LoadVector2D\n$");
    EXPECT_FALSE(CheckMatrixFile(2147483647, 2147483647, WriteTempFile("ok.txt", "0 1\n1 0\n")));

    std::string shortFile = WriteTempFile("short.txt", "0 1\n1\n");
    EXPECT_EXIT(LoadVector2D(V, shortFile), ::testing::ExitedWithCode(1),
                "^Line 2 of .*short.txt \\(row 2\\) holds 1 value");
    std::string endFile = WriteTempFile("end.txt", "0 1\n");
    EXPECT_EXIT(LoadVector2D(V, endFile), ::testing::ExitedWithCode(1),
                "^Unexpected end of file in .*end.txt, row 2: expected a row of 2 values - "
                "LoadVector2D\n$");
    std::string badFile = WriteTempFile("bad.txt", "0 1\n1 x0\n");
    EXPECT_EXIT(LoadVector2D(V, badFile), ::testing::ExitedWithCode(1),
                "Invalid number 'x0' in .*bad.txt, row 2 \\(line 2\\): expected value 2 of 2 - "
                "LoadVector2D");
    EXPECT_EXIT(LoadVector2D(V, "/nonexistent/d.txt"), ::testing::ExitedWithCode(1),
                "Cannot open file /nonexistent/d.txt - LoadVector2D");
    DBL_VCTR_2D empty;
    EXPECT_EXIT(LoadVector2D(empty, badFile), ::testing::ExitedWithCode(1),
                "Uninitialized mat - LoadVector2D");
    EXPECT_EXIT(SaveVector2D(empty, badFile), ::testing::ExitedWithCode(1),
                "Uninitialized mat - SaveVector2D");
}

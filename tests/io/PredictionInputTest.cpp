#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "core/TestSupport.h"
#include "io/ManipVector.h"

namespace {
// Estimation data: 3 individuals, diploid, 2 loci; extra id column, one
// qualitative covariate with codes {3, 7, 9}, one quantitative, coordinates.
const char* kOrdinary =
    "header\n"
    "i1 3 0.1 1 2 11 12\ni1 3 0.1 1 2 13 14\n"
    "i2 9 0.2 1 2 11 12\ni2 9 0.2 1 2 13 14\n"
    "i3 7 0.3 1 2 11 12\ni3 7 0.3 1 2 13 14\n"
    "dummy 5 0 0 0 0 0\ndummy 5 0 0 0 0 0\n";
const char* kSpecial =
    "header\n"
    "i1 3 0.1 1 2 11 12 13 14\n"
    "i2 9 0.2 1 2 11 12 13 14\n"
    "i3 7 0.3 1 2 11 12 13 14\n";

std::vector<std::set<int>> QualInfo(const std::string& file, bool special, int nd = 0) {
    std::vector<std::set<int>> levelS;
    EXPECT_TRUE(
        LoadQualInfoFromData(3, 1, 1, 2, 2, 1, 1, special, false, false, true, levelS, file, nd));
    return levelS;
}
}  // namespace

TEST(QualInfo, LevelsOfTheEstimationDataInBothFormats) {
    const std::set<int> expected = {3, 7, 9};
    const std::string ordinaryFile = WriteTempFile("o.txt", kOrdinary);
    std::vector<std::set<int>> ordinary = QualInfo(ordinaryFile, false, 1);
    ASSERT_EQ(ordinary.size(), 1u);
    EXPECT_EQ(ordinary[0], expected);  // dummy record 5 not a level
    EXPECT_EQ(QualInfo(WriteTempFile("s.txt", kSpecial), true)[0], expected);

    std::vector<std::set<int>> levelS;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        LoadQualInfoFromData(3, 1, 1, 2, 2, 1, 1, true, false, false, true, levelS,
                             WriteTempFile("t.txt", "header\ni1 3 0.1 1 2 11 12 13 14\n")));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::MatchesRegex("Unexpected end of file in .*t.txt, record 2: expected "
                                        "a row of 9 values - LoadQualInfoFromData\n"));
    // The same rules as the estimation run: the dummy record must be announced
    // (-d), a row of another length is refused.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        LoadQualInfoFromData(3, 1, 1, 2, 2, 1, 1, false, false, false, true, levelS, ordinaryFile));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::EndsWith("o.txt holds 4 records of 2 rows (-A2), where -N3 announces "
                                    "3 - LoadQualInfoFromData\n"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadQualInfoFromData(3, 1, 1, 2, 2, 1, 1, false, false, false, false, levelS,
                                      ordinaryFile, 1));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::HasSubstr("holds 7 values, where -c1 -XL1 -X1 -L2 expect 5 values"));
    // -XL at a count no row holds ends on the file, before a set per
    // covariate is given room (a fuzzing finding: 888888888 sets).
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadQualInfoFromData(3, 888888888, 1, 2, 2, 1, 1, false, false, false, true,
                                      levelS, ordinaryFile, 1));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::HasSubstr("where -c1 -XL888888888 -X1 -T0 -L2 expect 888888894 values"));
    EXPECT_TRUE(levelS.empty());
    EXPECT_EXIT_STDOUT(
        LoadQualInfoFromData(3, 1, 1, 2, 2, 1, 1, true, false, false, true, levelS, "/no/such/f"),
        "^Cannot open file /no/such/f - LoadQualInfoFromData\n$");
}

TEST(NewData, CodedLikeTheEstimationDataWithAllTrendTerms) {
    const std::vector<std::set<int>> levelS = {{3, 7, 9}};
    const std::string file = WriteTempFile("new.txt",
                                           "id q z x y\n"
                                           "n1 7 0.5 2 3\n"
                                           "n2 3 1.5 1 1\n");
    DBL_VCTR_2D C(2, DBL_VCTR_1D(2, 0.0));
    DBL_VCTR_2D Xtild(2, DBL_VCTR_1D(1 + 2 + 1 + 9, 0.0));
    ASSERT_TRUE(LoadNewData(C, Xtild, 1, 1, 1, true, levelS, file));
    EXPECT_EQ(Xtild[0], (DBL_VCTR_1D{1, 1, 0, 0.5, 2, 3, 4, 9, 6, 8, 27, 12, 18}));
    EXPECT_EQ(Xtild[1], (DBL_VCTR_1D{1, -1, -1, 1.5, 1, 1, 1, 1, 1, 1, 1, 1, 1}));
    EXPECT_EQ(C, (DBL_VCTR_2D{{2, 3}, {1, 1}}));

    DBL_VCTR_2D noCoordXtild(1, DBL_VCTR_1D(2, 0.0));
    ASSERT_TRUE(LoadNewData(C, noCoordXtild, 0, 0, 1, false, {}, WriteTempFile("q.txt", "4.5\n")));
    EXPECT_EQ(noCoordXtild[0], (DBL_VCTR_1D{1, 4.5}));
    // A row of another length, or more rows than -newN, would be read out of
    // step or in part.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        LoadNewData(C, noCoordXtild, 0, 0, 1, false, {}, WriteTempFile("l.txt", "4.5 2\n")));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::MatchesRegex("Line 1 of .*l.txt \\(row 1\\) holds 2 values, where -X1 "
                                        "expects 1 value a row - LoadNewData\n"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        LoadNewData(C, noCoordXtild, 0, 0, 1, false, {}, WriteTempFile("m.txt", "4.5\n2\n")));
    EXPECT_THAT(
        testing::internal::GetCapturedStderr(),
        ::testing::EndsWith("m.txt holds 2 rows, where -newN1 announces 1 - LoadNewData\n"));
    // The checks come before the design matrix is sized: -newN and -X at
    // values no file can hold end on the file, and nothing is given room.
    testing::internal::CaptureStderr();
    DBL_VCTR_2D unsizedC, unsizedXtild;
    const std::vector<std::set<int>> oneLevel = {{1, 2}};
    EXPECT_FALSE(
        LoadNewDataFile(2147483647, 1, 1, 1, true, oneLevel, file, unsizedC, unsizedXtild));
    EXPECT_FALSE(
        LoadNewDataFile(2, 1, 1, 2147483647, true, oneLevel, file, unsizedC, unsizedXtild));
    EXPECT_TRUE(unsizedC.empty() && unsizedXtild.empty());
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::MatchesRegex("Unexpected end of file in .*new.txt, row 3: expected a "
                                        "row of 5 values - LoadNewData\n"
                                        "Line 2 of .*new.txt \\(row 1\\) holds 5 values, where "
                                        "-newC1 -XL1 -X2147483647 -T \\(2 coordinates\\) expect "
                                        "2147483651 values a row - LoadNewData\n"));
}

TEST(NewData, RefusesUnknownLevelsShortFilesAndUnsizedContainers) {
    const std::vector<std::set<int>> levelS = {{3, 7, 9}};
    DBL_VCTR_2D C(2, DBL_VCTR_1D(2, 0.0));
    DBL_VCTR_2D Xtild(2, DBL_VCTR_1D(4, 0.0));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        LoadNewData(C, Xtild, 0, 0, 1, false, levelS, WriteTempFile("u.txt", "7 0.5\n8 1.5\n")));
    EXPECT_EQ(testing::internal::GetCapturedStderr().find("Unknown level 8 of qualitative "
                                                          "covariate 1 in "),
              0u);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadNewData(C, Xtild, 0, 0, 1, false, levelS, WriteTempFile("t.txt", "7 0.5\n")));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::MatchesRegex("Unexpected end of file in .*t.txt, row 2: expected "
                                        "a row of 2 values - LoadNewData\n"));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadNewData(C, Xtild, 0, 0, 1, false, levelS, "/no/such/n"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open file /no/such/n - LoadNewData\n");

    DBL_VCTR_2D empty;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadNewData(empty, Xtild, 0, 0, 1, false, levelS, "x"));
    EXPECT_FALSE(LoadNewData(C, empty, 0, 0, 1, false, levelS, "x"));
    DBL_VCTR_2D narrow(2, DBL_VCTR_1D(3, 0.0));
    EXPECT_FALSE(LoadNewData(C, narrow, 0, 0, 1, false, levelS, "x"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Uninitialized C - LoadNewData\nUninitialized Xtild - LoadNewData\n"
              "Xtild has too few columns - LoadNewData\n");
}

// Coefficient reading and the truncated product of prediction mode.
#include <gtest/gtest.h>

#include <fstream>

#include "brelo/BreloTestUtil.h"
#include "brelo/PredictUtilities.h"

namespace {

using ::testing::ExitedWithCode;

std::string WriteFile(const std::string& dir, const std::string& name, const std::string& text) {
    const std::string file = dir + "/" + name;
    std::ofstream(file) << text;
    return file;
}

TEST(PredictUtilitiesTest, NumberOfCoefficientsFollowsTheTrendDegree) {
    // 2 covariate columns + intercept + 9 trend columns.
    EXPECT_EQ(NumberOfCoefficients(12, 3), 12);
    EXPECT_EQ(NumberOfCoefficients(12, 1), 5);
    EXPECT_EQ(NumberOfCoefficients(12, 0), 3);
    EXPECT_EQ(NumberOfCoefficients(4, -1), 4);
}

TEST(PredictUtilitiesTest, LoadBetaReadsOneLinePerClusterOrAFlatColumnOrder) {
    const std::string dir = FreshFolder("loadbeta");
    // betaHat layout: one line per cluster; the file decides how many
    // coefficients per cluster there are.
    DBL_VCTR_2D beta(4, DBL_VCTR_1D(2, 0.0));
    LoadBeta(beta, WriteFile(dir, "lines.txt", "1 2 3\t\n4 5 6\t\n"));
    EXPECT_EQ(beta, (DBL_VCTR_2D{{1, 4}, {2, 5}, {3, 6}}));
    // All values on one line: read column by column into the given shape.
    DBL_VCTR_2D flat(2, DBL_VCTR_1D(2, 0.0));
    LoadBeta(flat, WriteFile(dir, "flat.txt", "1 2 3 4\n"));
    EXPECT_EQ(flat, (DBL_VCTR_2D{{1, 3}, {2, 4}}));
}

TEST(PredictUtilitiesDeathTest, LoadBetaRefusals) {
    const std::string dir = FreshFolder("loadbeta_death");
    DBL_VCTR_2D noColumn(3, DBL_VCTR_1D());
    EXPECT_EXIT(StdoutToStderr();
                LoadBeta(noColumn, "any"), ExitedWithCode(1), "Uninitialized beta - LoadBeta");
    DBL_VCTR_2D beta(2, DBL_VCTR_1D(2, 0.0));
    EXPECT_EXIT(StdoutToStderr(); LoadBeta(beta, dir + "/missing.txt"), ExitedWithCode(1),
                                  "Cannot open file .*missing.txt - LoadBeta");
    EXPECT_EXIT(StdoutToStderr(); LoadBeta(beta, WriteFile(dir, "bad.txt", "1 2\n3 x\n")),
                                  ExitedWithCode(1), "Invalid number 'x' .*line 2.* - LoadBeta");
    // Three lines for two clusters fit neither layout.
    EXPECT_EXIT(StdoutToStderr(); LoadBeta(beta, WriteFile(dir, "three.txt", "1 2\n3 4\n5 6\n")),
                                  ExitedWithCode(1), "check -K and -adm");
}

TEST(PredictUtilitiesTest, TroncateAndMultIgnoresTheExtraColumnsOfA) {
    DBL_VCTR_2D Res;
    TroncateAndMult(Res, {{1, 2, 100}, {3, 4, 100}}, {{1, 0}, {0, 1}});
    EXPECT_EQ(Res, (DBL_VCTR_2D{{1, 2}, {3, 4}}));
}

TEST(PredictUtilitiesDeathTest, TroncateAndMultRefusals) {
    DBL_VCTR_2D Res;
    EXPECT_EXIT(StdoutToStderr();
                TroncateAndMult(Res, {{1, 2}}, {{1}, {2}, {3}}), ExitedWithCode(1), "2 vs 3");
    EXPECT_EXIT(StdoutToStderr(); TroncateAndMult(Res, {}, {{1}}), ExitedWithCode(1),
                                  "Uninitialized Matrix - TroncateAndMult");
    DBL_VCTR_2D wrong(3, DBL_VCTR_1D(3, 0.0));
    EXPECT_EXIT(StdoutToStderr(); TroncateAndMult(wrong, {{1, 2}}, {{1}, {2}}), ExitedWithCode(1),
                                  "Res matrix has inadequate dimensions");
}

}  // namespace

// Coefficient files of prediction mode in their two layouts.
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
    DBL_VCTR_2D beta(2, DBL_VCTR_1D(2, 0.0));
    EXPECT_EXIT(StdoutToStderr(); LoadBeta(beta, WriteFile(dir, "bad.txt", "1 2\n3 x\n")),
                                  ExitedWithCode(1), "Invalid number 'x' .*line 2.* - LoadBeta");
    // Three lines for two clusters fit neither layout.
    EXPECT_EXIT(StdoutToStderr(); LoadBeta(beta, WriteFile(dir, "three.txt", "1 2\n3 4\n5 6\n")),
                                  ExitedWithCode(1), "check -K and -adm");
}

}  // namespace

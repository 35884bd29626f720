// The refusals both programs share: counts of the data layout and settings of
// the sampler that make no sense, on each program's message stream.
#include <gtest/gtest.h>

#include <cmath>

#include "core/MiscUtilities.h"
#include "core/TestSupport.h"
#include "io/DataSet.h"
#include "io/ResultReport.h"

namespace {

SDataLayout GoodLayout() {
    SDataLayout layout;
    layout.N = 10;
    layout.A = 2;
    layout.L = 5;
    return layout;
}

}  // namespace

TEST(RunSettings, SensibleCountsPass) {
    CheckDataLayout(GoodLayout());
    CheckChainSettings(1, 1.0, 10, 0, 0);
    CheckChainSettings(3, 0.5, 100, 50, 49);
}

TEST(RunSettings, LayoutCountsAreRefusedOnTheErrorStreamOfBreloAdm) {
    FlavourScope adm(ProgramFlavour::BreloAdm);
    SDataLayout l = GoodLayout();
    l.N = 0;
    EXPECT_EXIT(CheckDataLayout(l), ::testing::ExitedWithCode(1),
                "^The number of individuals \\(-N\\) must be at least 1.\n$");
    l = GoodLayout();
    l.A = -2;
    EXPECT_EXIT(CheckDataLayout(l), ::testing::ExitedWithCode(1), "ploidy \\(-A\\)");
    l = GoodLayout();
    l.L = 0;
    EXPECT_EXIT(CheckDataLayout(l), ::testing::ExitedWithCode(1), "loci \\(-L\\)");
    l = GoodLayout();
    l.EC = -1;
    EXPECT_EXIT(CheckDataLayout(l), ::testing::ExitedWithCode(1), "extra columns \\(-c\\)");
    l = GoodLayout();
    l.nd = -1;
    EXPECT_EXIT(CheckDataLayout(l), ::testing::ExitedWithCode(1), "dummy individuals \\(-d\\)");
}

TEST(RunSettings, ChainSettingsAreRefusedOnStandardOutputOfBrelo) {
    FlavourScope brelo(ProgramFlavour::Brelo);
    EXPECT_EXIT_STDOUT(CheckChainSettings(0, 1.0, 10, 0, 0),
                       "clusters \\(-K\\) must be at least 1");
    EXPECT_EXIT_STDOUT(CheckChainSettings(2, 0.0, 10, 0, 0), "Dirichlet parameter \\(-D\\)");
    EXPECT_EXIT_STDOUT(CheckChainSettings(2, NAN, 10, 0, 0), "Dirichlet parameter \\(-D\\)");
    EXPECT_EXIT_STDOUT(CheckChainSettings(2, 1.0, 0, 0, 0), "sweeps \\(-S\\) must be at least 1");
    EXPECT_EXIT_STDOUT(CheckChainSettings(2, 1.0, 10, -1, 0), "burn-in \\(-B\\) must not be");
    // Every sweep burnt: nothing would be kept to average.
    EXPECT_EXIT_STDOUT(CheckChainSettings(2, 1.0, 10, 10, 0),
                       "The burn-in \\(-B\\) must be smaller than the total number of sweeps");
    EXPECT_EXIT_STDOUT(CheckChainSettings(2, 1.0, 10, 5, 5),
                       "The burn-in \\(-B plus -BS\\) must be smaller");
}

TEST(RunSettings, UndefinedCriteriaReadNA) {
    EXPECT_EQ(CriterionText(0.25), "0.25");
    EXPECT_EQ(CriterionText(-1234.5678), "-1234.57");
    EXPECT_EQ(CriterionText(NAN), "NA");
    EXPECT_EQ(CriterionText(-INFINITY), "NA");
}

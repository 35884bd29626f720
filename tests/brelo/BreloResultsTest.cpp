// Criteria over the kept sweeps and the report sections shared with
// breloAdm.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "brelo/BreloResults.h"
#include "brelo/BreloSampler.h"
#include "core/ProgramFlavour.h"
#include "io/ResultReport.h"

namespace {

TEST(BreloResultsTest, LikelihoodCriteriaUseTheKeptSweepsOnly) {
    // Sweeps 0..4, the last three kept; validation terms per kept sweep.
    const DBL_VCTR_1D LH = {-100, -50, -10, -12, -14};
    const DBL_VCTR_1D LH_valid = {-1, -2, -3};
    SLikelihoodCriteria c = ComputeLikelihoodCriteria(LH, LH_valid, 5, 3);
    EXPECT_DOUBLE_EQ(c.LHmax, -10);
    EXPECT_DOUBLE_EQ(c.dAL, -12);
    EXPECT_DOUBLE_EQ(c.dAL_valid, -2);
    EXPECT_DOUBLE_EQ(c.dAL_tot, -14);
    EXPECT_NEAR(c.varLH, 8.0 / 3.0, 1e-9);                    // (4 + 0 + 4) / 3
    EXPECT_NEAR(c.varLH_tot, (9.0 + 0.0 + 9.0) / 3.0, 1e-9);  // -11, -14, -17
    EXPECT_NEAR(c.BF, (1 + std::exp(2.0) + std::exp(4.0)) / 3, 1e-9);

    DBL_VCTR_1D mean, var;
    KeptColumnMeans({{9, 9}, {1, 2}, {3, 4}}, 3, 2, mean, var);
    EXPECT_EQ(mean, (DBL_VCTR_1D{2, 3}));
    EXPECT_EQ(var, (DBL_VCTR_1D{1, 1}));
}

TEST(ResultReportTest, HardAssignmentTakesTheFirstStrictMaximum) {
    EXPECT_EQ(HardAssignment(DBL_VCTR_1D{0.25, 0.5, 0.5}), 1);
    EXPECT_EQ(HardAssignment(DBL_VCTR_1D{0.0, 0.0}), 0);
    EXPECT_EQ(HardAssignment(DBL_VCTR_1D{-2.0, -1.5}), 0);  // nothing beats -1
    INT_VCTR_1D hc;
    HardAssignment(DBL_VCTR_2D{{0.1, 0.9}, {0.6, 0.4}}, hc);
    EXPECT_EQ(hc, (INT_VCTR_1D{1, 0}));
}

TEST(ResultReportTest, FrequencyAndMixingSectionsLayout) {
    std::ostringstream os;
    WriteAlleleFrequencies(os, {{{0.25, 0.75}}}, {{7, 12}});
    EXPECT_EQ(os.str(),
              "Estimated Allele Frequencies\nCluster 01\nLocus 001\n"
              "Allele 007\t0.250000000000000\nAllele 012\t0.750000000000000\n\n\n\n");
    std::ostringstream mix;
    WriteMixingProportions(mix, {0.5, 0.5});
    EXPECT_EQ(mix.str(),
              "Estimated Mixing Proportions\n0.500000000000000\n0.500000000000000\n\n\n\n");
}

TEST(ResultReportTest, CoefficientSectionsUseOnlyTheKeptTrace) {
    // Coefficient 0: strongly positive after sweep 10, negative before;
    // coefficient 1: centred on 0.
    DBL_VCTR_1D positive(110, -5.0), centred(110, 0.0);
    for (int s = 10; s < 110; ++s) {
        positive[s] = 1.0 + 0.01 * s;
        centred[s] = s % 2 == 0 ? 1.0 : -1.0;
    }
    const DBL_VCTR_3D BH = {{positive, centred}};
    std::ostringstream os;
    WriteBetaSignificance(os, {{1.5, 0.0}}, BH, 10, 100);
    EXPECT_EQ(os.str(),
              "Estimated Beta and Significance Level:\n"
              "1:\t1.500000000000000 ****\t0.000000000000000 no\t\n\n"
              "100% '****' 99.9 % '***' 99% '**' 95% '*' 90% '-' 0% \n\n\n\n");

    SetProgramFlavour(ProgramFlavour::Brelo);
    std::ostringstream ci;
    WriteBetaIntervals(ci, BH, 10, 100);
    EXPECT_EQ(ci.str().rfind("95 % Bayesian Confidence Interval for Estimated Beta:\n1:\t[ 1.1", 0),
              0u)
        << ci.str();
    EXPECT_NE(ci.str().find("[ -1 , 1 ]\t\n\n\n\n"), std::string::npos) << ci.str();

    SetProgramFlavour(ProgramFlavour::BreloAdm);
    std::ostringstream padded;
    WriteBetaIntervals(padded, {{{1.0, 1.0}}}, 0, 2);
    EXPECT_NE(padded.str().find("1:\t        [ 1 , 1 ]\t"), std::string::npos) << padded.str();
    SetProgramFlavour(ProgramFlavour::Brelo);
}

}  // namespace

// The diagnostics of brelo: its label Metropolis step, then the
// log-likelihood and every coefficient over the kept sweeps only.
TEST(BreloResultsTest, DiagnosticsReadTheKeptSweepsOfEveryTrace) {
    SBreloChain c;
    c.TotalSweep = 300;
    c.KeptSweep = 200;
    c.R = 2;
    c.beta_length = 2;
    c.hasRegression = true;
    c.labelAcceptance.Count(true);
    c.labelAcceptance.Count(false);
    c.LH.assign(300, 0.0);
    for (int s = 0; s < 300; ++s)
        c.LH[s] = std::sin(1.7 * s * s);  // moves in every sweep...
    for (int s = 200; s < 300; ++s)
        c.LH[s] = -5.0;  // ...but the last half of the kept ones
    c.BH.assign(2, DBL_VCTR_2D(2, DBL_VCTR_1D(300, 0.0)));
    for (int s = 0; s < 300; ++s)
        c.BH[1][0][s] = std::cos(2.3 * s * s);
    const SRunDiagnostics d = DiagnoseChain(c);
    ASSERT_EQ(d.steps.size(), 1u);
    EXPECT_EQ(d.steps[0].name, "label");
    EXPECT_DOUBLE_EQ(d.steps[0].counter.Rate(), 0.5);
    std::vector<std::string> names;
    for (const auto& t : d.traces) {
        names.push_back(t.name);
        EXPECT_EQ(t.length, 200u);
    }
    EXPECT_EQ(names, std::vector<std::string>({"log-likelihood", "beta[1][1]", "beta[1][2]",
                                               "beta[2][1]", "beta[2][2]"}));
    EXPECT_TRUE(d.traces[0].frozen);
    EXPECT_FALSE(d.traces[3].Flagged());  // beta[2][1] moves freely
    EXPECT_TRUE(d.traces[1].frozen);      // beta[1][1] never moves
}

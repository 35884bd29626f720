// Whether the chains of one K agree: their traces, their modes, and their
// own diagnostics read back from the report the programs write.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <random>

#include "io/RunDiagnostics.h"
#include "study/ChainFiles.h"
#include "study/StudySummary.h"
#include "study/StudyTestUtil.h"

namespace {

// A finished chain of K = 2 with memberships Q and a trace of 200 sweeps
// (50 of burn-in) wandering around level.
SChainResult Chain(int replicate, const DBL_VCTR_2D& Q, double level, std::mt19937& rng) {
    SChainResult c;
    c.K = 2;
    c.replicate = replicate;
    c.status = ChainStatus::Done;
    c.Q = Q;
    c.DIC = 100;
    c.meanLogL = level;
    c.burnIn = 50;
    std::normal_distribution<double> noise(0, 1);
    for (int t = 0; t < 200; ++t)
        c.trace.push_back(level + noise(rng) - (t < 50 ? 100.0 : 0.0));
    return c;
}

SKSummary Assessed(std::vector<SChainResult>& chains) {
    SKSummary s = SummariseK(2, chains, 0.9);
    AssessAgreement(s, chains);
    return s;
}

}  // namespace

TEST(AgreementTest, ChainsInOneModeAgreeAndChainsApartAreMarked) {
    std::mt19937 rng(5);
    const DBL_VCTR_2D Q = SimulatedMemberships(40, 2, rng);
    std::vector<SChainResult> same{Chain(1, Q, -500, rng), Chain(2, Noisy(Q, 0.01, rng), -500, rng),
                                   Chain(3, Noisy(Q, 0.01, rng), -500, rng)};
    SKSummary s = Assessed(same);
    EXPECT_LT(s.rhat, 1.05);
    EXPECT_GT(s.ess, 300);  // 3 x 150 kept draws, the burn-in left out
    EXPECT_DOUBLE_EQ(s.majorModeShare, 1.0);
    EXPECT_FALSE(s.disagree);
    EXPECT_FALSE(s.notMixed);
    EXPECT_EQ(MarkText(s), "");

    // One chain in a mode 20 units below: R-hat tells, though two of three
    // chains share the major mode.
    std::vector<SChainResult> lower = same;
    lower[2] = Chain(3, Noisy(Q, 0.01, rng), -520, rng);
    s = Assessed(lower);
    EXPECT_GT(s.rhat, 1.05);
    EXPECT_TRUE(s.disagree);
    EXPECT_EQ(MarkText(s), "chains disagree");

    // Three chains in three modes whose traces overlap: the modes tell.
    std::mt19937 other(6);
    std::vector<SChainResult> apart{
        Chain(1, Q, -500, rng), Chain(2, SimulatedMemberships(40, 2, other), -500, rng),
        Chain(3, Noisy(SimulatedMemberships(40, 2, other), 0.9, rng), -500, rng)};
    s = Assessed(apart);
    ASSERT_EQ(s.modes, 3);
    EXPECT_LT(s.rhat, 1.05);
    EXPECT_TRUE(s.disagree);
}

TEST(AgreementTest, TheWorstWarningOfTheChainsIsKept) {
    std::mt19937 rng(7);
    const DBL_VCTR_2D Q = SimulatedMemberships(30, 2, rng);
    std::vector<SChainResult> chains{Chain(1, Q, -500, rng), Chain(2, Q, -500, rng),
                                     Chain(3, Q, -500, rng)};
    chains[0].warned = true, chains[0].worstParameter = "beta[1][2]", chains[0].worstEss = 12;
    chains[1].warned = true, chains[1].worstParameter = "sigma[1]", chains[1].worstEss = 40;
    SKSummary s = Assessed(chains);
    EXPECT_TRUE(s.notMixed);
    EXPECT_EQ(s.warnedChains, 2);
    EXPECT_EQ(s.worstParameter, "beta[1][2]");
    EXPECT_EQ(MarkText(s), "not mixed");
    // A frozen trace is worse than any effective sample size.
    chains[2].warned = true, chains[2].worstParameter = "psi[2]", chains[2].worstEss = std::nan("");
    s = Assessed(chains);
    EXPECT_EQ(s.warnedChains, 3);
    EXPECT_EQ(s.worstParameter, "psi[2]");
}

TEST(AgreementTest, TheDiagnosticsOfTheProgramsReportAreReadBack) {
    // The section as the programs write it.
    SRunDiagnostics d;
    CAcceptanceCounter step;
    step.Count(true);
    AddStepDiagnostic(d, "label", step);
    std::vector<double> mixed(400), slow(400), frozen(400, 3.0);
    std::mt19937 rng(8);
    std::normal_distribution<double> noise(0, 1);
    double x = 0;
    for (size_t t = 0; t < 400; ++t) {
        mixed[t] = noise(rng);
        slow[t] = x = 0.99 * x + noise(rng);
        frozen[t] = t < 100 ? noise(rng) : 3.0;
    }
    AddTraceDiagnostic(d, "log-likelihood", mixed.data(), mixed.size());
    AddTraceDiagnostic(d, "beta[1][2]", slow.data(), slow.size());
    AddTraceDiagnostic(d, "sigma[1]", mixed.data(), mixed.size());
    const std::string file = ::testing::TempDir() + "agreement_TR.txt";
    {
        std::ofstream report(file);
        report << "MEMBERSHIPS\n000001: 0.5 0.5\n\n";
        ReportRunDiagnostics(report, d);
        report << "Other results\nname\t12\t(below 100)\n";
    }
    SChainResult c;
    ReadRunDiagnostics(file, c);
    EXPECT_TRUE(c.warned);
    EXPECT_EQ(c.worstParameter, "beta[1][2]");
    EXPECT_NEAR(c.worstEss, d.traces[1].ess, 0.05);

    AddTraceDiagnostic(d, "psi[1]", frozen.data(), frozen.size());
    {
        std::ofstream report(file);
        ReportRunDiagnostics(report, d);
    }
    SChainResult f;
    ReadRunDiagnostics(file, f);
    EXPECT_EQ(f.worstParameter, "psi[1]");
    EXPECT_TRUE(std::isnan(f.worstEss));

    SRunDiagnostics good;
    AddTraceDiagnostic(good, "log-likelihood", mixed.data(), mixed.size());
    {
        std::ofstream report(file);
        ReportRunDiagnostics(report, good);
    }
    SChainResult g;
    ReadRunDiagnostics(file, g);
    EXPECT_FALSE(g.warned);
    EXPECT_TRUE(g.worstParameter.empty());
}

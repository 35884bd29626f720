#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

#include "breloAdm/AdmTestUtils.h"
#include "breloAdm/AdmixtureResults.h"
#include "breloAdm/AdmixtureSampler.h"
#include "breloAdm/AdmixtureSteps.h"
#include "breloAdm/BreloAdmOptions.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/ChainRun.h"
#include "breloAdm/HierarchicalClustering.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"
#include "core/StatUtilities.h"
#include "io/IOUtilities.h"

namespace {

gsl_rng* SeededRng(unsigned long seed) {
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_mt19937);
    gsl_rng_set(rng, seed);
    return rng;
}

using admtest::RunChain;
using admtest::SChainRun;

std::vector<double> Column(const std::vector<std::vector<double>>& m, size_t k) {
    std::vector<double> c;
    for (const auto& row : m)
        c.push_back(row[k]);
    return c;
}

}  // namespace

TEST(DrawCopyLabel, FollowsQTimesPAndFallsBackToQWhenEveryProductIsZero) {
    gsl_rng* rng = SeededRng(3);
    DBL_VCTR_3D p = {{{0.0, 1.0}}, {{1.0, 0.0}}, {{0.0, 0.0}}};  // K = 3, L = 1, J = 2
    DBL_VCTR_1D q = {0.5, 0.5, 0.0}, work(3);
    // Allele 0 is only possible in cluster 1, allele 1 only in cluster 0.
    for (int t = 0; t < 50; ++t) {
        EXPECT_EQ(DrawCopyLabel(rng, q, p, 0, 0, work), 1);
        EXPECT_EQ(DrawCopyLabel(rng, q, p, 0, 1, work), 0);
    }
    // Every product 0 (the allele is impossible where q is positive): the
    // label comes from q alone, never from an index past the end.
    DBL_VCTR_1D q2 = {0.0, 0.0, 1.0};
    for (int t = 0; t < 50; ++t)
        EXPECT_EQ(DrawCopyLabel(rng, q2, p, 0, 0, work), 2);
    DBL_VCTR_1D qNaN = {NAN, 0.5, 0.5};
    for (int t = 0; t < 50; ++t) {
        const int k = DrawCopyLabel(rng, qNaN, p, 0, 1, work);
        EXPECT_GE(k, 0);
        EXPECT_LT(k, 3);
    }
    // Missing copy: q alone, with its proportions.
    int ones = 0;
    for (int t = 0; t < 2000; ++t)
        ones += DrawCopyLabel(rng, q, p, 0, -1, work) == 1;
    EXPECT_NEAR(ones / 2000.0, 0.5, 0.05);
    FreeRNG(rng);
}

TEST(HierarchicalStart, MovesAQuarterOfTheIndividualsAndKeepsTheRest) {
    // 40 individuals, 4 loci: two clear groups.
    INT_VCTR_3D X(40, INT_VCTR_2D(2, INT_VCTR_1D(4)));
    for (int i = 0; i < 40; ++i)
        for (int a = 0; a < 2; ++a)
            for (int l = 0; l < 4; ++l)
                X[i][a][l] = (i < 20 ? 1 : 5) + (a + l + i) % 2;
    const INT_VCTR_1D ward = HClustering(X, WAR, 3, true);
    gsl_rng* rng = SeededRng(11);
    const INT_VCTR_1D z = HierarchicalStartLabels(CGenotypeStore::FromCodes(X), 3, rng);
    FreeRNG(rng);
    int moved = 0;
    for (int i = 0; i < 40; ++i) {
        EXPECT_GE(z[i], 0);
        EXPECT_LT(z[i], 3);
        moved += z[i] != ward[i];
    }
    EXPECT_EQ(moved, 10);
}

TEST(HierarchicalStart, KMeansStartMovesTheSameShareOfTheKMeansLabels) {
    // Two groups of 20 with distinct alleles at 5 loci: k-means finds them
    // (labels 0 and 1 by first member), then a quarter of the individuals
    // move to the other cluster, as in the hierarchical start.
    INT_VCTR_3D X(40, INT_VCTR_2D(2, INT_VCTR_1D(5)));
    for (int i = 0; i < 40; ++i)
        for (int a = 0; a < 2; ++a)
            for (int l = 0; l < 5; ++l)
                X[i][a][l] = (i < 20 ? 1 : 5) + (a + l + i) % 2;
    gsl_rng* rng = SeededRng(11);
    testing::internal::CaptureStdout();
    const INT_VCTR_1D z = KMeansAdmStartLabels(CGenotypeStore::FromCodes(X), 2, rng);
    testing::internal::GetCapturedStdout();
    FreeRNG(rng);
    int moved = 0;
    for (int i = 0; i < 40; ++i)
        moved += z[i] != (i < 20 ? 0 : 1);
    EXPECT_EQ(moved, 10);
}

TEST(HierarchicalStart, FrequenciesCountMissingCopiesInTheTotal) {
    // N = 3, A = 2, L = 1
    const CGenotypeStore X = CGenotypeStore::FromCodes({{{1}, {2}}, {{1}, {-9}}, {{2}, {2}}});
    DBL_VCTR_3D p = {{{0, 0}}, {{0, 0}}, {{0, 0}}};
    FrequenciesFromLabels(p, X, {0, 0, 1}, 3);
    EXPECT_DOUBLE_EQ(p[0][0][0], 0.5);   // 1 1 of 4 copies
    EXPECT_DOUBLE_EQ(p[0][0][1], 0.25);  // one 2; the missing copy counts
    EXPECT_DOUBLE_EQ(p[1][0][1], 1.0);
    EXPECT_DOUBLE_EQ(p[2][0][0], 0.0);  // empty cluster
}

// The label counts of the copies: those of labels 0..K-2 stored, that of
// K-1 deduced, two bytes a count until 65535 sweeps, four beyond.
TEST(CopyLabelCounts, CountEveryLabelBeyondTheTwoByteRange) {
    CCopyLabels labels(1, 2, 2);  // four copies
    CCopyLabelCounts counts;
    counts.Size(4, 3, 10);
    const int sweeps = 70000;
    for (int s = 0; s < sweeps; ++s) {
        labels[0][0][0] = 0;  // always 0
        labels[0][0][1] = 2;  // always the last label
        labels[0][1][0] = static_cast<uint8_t>(s % 3);
        labels[0][1][1] = s < 66000 ? 1 : 2;  // 1, then 2 past the switch
        counts.Add(labels);
    }
    EXPECT_EQ(counts.Sweeps(), sweeps);
    INT_VCTR_1D k(3);
    counts.Counts(0, k.data());
    EXPECT_EQ(k, (INT_VCTR_1D{sweeps, 0, 0}));
    counts.Counts(1, k.data());
    EXPECT_EQ(k, (INT_VCTR_1D{0, 0, sweeps}));
    counts.Counts(2, k.data());
    EXPECT_EQ(k, (INT_VCTR_1D{23334, 23333, 23333}));
    counts.Counts(3, k.data());
    EXPECT_EQ(k, (INT_VCTR_1D{0, 66000, 4000}));

    // One cluster: every sweep counts for it.
    CCopyLabelCounts one;
    one.Size(4, 1, 5);
    one.Add(CCopyLabels(1, 2, 2));
    one.Add(CCopyLabels(1, 2, 2));
    int only = 0;
    one.Counts(3, &only);
    EXPECT_EQ(only, 2);
}

TEST(PredictiveSweeps, CountsKeptSweepsWithAnIndexMultipleOfTen) {
    EXPECT_EQ(CountPredictiveSweeps(0, 100), 10);
    EXPECT_EQ(CountPredictiveSweeps(5, 30), 2);  // 10, 20
    EXPECT_EQ(CountPredictiveSweeps(10, 31), 3);
    EXPECT_EQ(CountPredictiveSweeps(11, 15), 0);
}

// Two clusters whose proportions follow a gradient in x: the chain recovers
// the proportions and the sign of the trend.
TEST(AdmixtureSampler, RecoversAGradientOfAdmixtureProportions) {
    const std::string dir = admtest::MakeScratchDir("sampler");
    const admtest::SSimTruth truth =
        admtest::WriteSimulatedSpatialData(dir + "/sim.txt", 200, 30, 2, 2024);
    SChainRun run;
    const int S = 1200, B = 400;
    RunChain(run,
             {"-Fsim.txt", "-i" + dir, "-o" + dir, "-N200", "-A2", "-L30", "-K2", "-T1", "-P0.6",
              "-D1", "-S" + std::to_string(S), "-B" + std::to_string(B), "-c1"},
             99);
    const DBL_VCTR_2D& q = run.est.mean.q;
    // Relabel: the estimated cluster most correlated with true cluster 1.
    const double r0 = admtest::Pearson(Column(q, 0), Column(truth.q, 1));
    const double r1 = admtest::Pearson(Column(q, 1), Column(truth.q, 1));
    const int up = r1 > r0 ? 1 : 0, down = 1 - up;
    EXPECT_GT(std::max(r0, r1), 0.9);
    // Rows of the estimates and of the predictive shares sum to 1.
    for (int i = 0; i < 200; ++i) {
        EXPECT_NEAR(q[i][0] + q[i][1], 1.0, 1e-9);
        EXPECT_NEAR(run.est.nb_cluster_individual[i][0] + run.est.nb_cluster_individual[i][1], 1.0,
                    1e-9);
        EXPECT_NEAR(run.est.cpAverage[i][0] + run.est.cpAverage[i][1], 1.0, 1e-9);
    }
    // Coefficient of x (column 1): its difference between the growing and
    // the shrinking cluster is positive with a 95 % interval away from 0.
    std::vector<double> diff;
    for (int s = B; s < S; ++s)
        diff.push_back(run.chain.BH[up][1][s] - run.chain.BH[down][1][s]);
    const double lower = quantile(diff.data(), diff.size(), 0.025);
    EXPECT_GT(lower, 0.0);
    // Each cluster's own coefficient of x: positive for the growing cluster,
    // negative for the shrinking one, 95 % intervals away from 0.
    std::vector<double> upTrace(run.chain.BH[up][1].begin() + B, run.chain.BH[up][1].end());
    std::vector<double> downTrace(run.chain.BH[down][1].begin() + B, run.chain.BH[down][1].end());
    EXPECT_GT(quantile(upTrace.data(), upTrace.size(), 0.025), 0.0);
    EXPECT_LT(quantile(downTrace.data(), downTrace.size(), 0.975), 0.0);
    EXPECT_TRUE(std::isfinite(run.est.DIC));
    EXPECT_TRUE(std::isfinite(run.est.DIC3));
    // psi stays fixed: the whole spectrum of W is never computed.
    EXPECT_FALSE(run.prior.logDet.HoldsSpectrum());
}

TEST(AdmixtureSampler, SameSeedSameChain) {
    const std::string dir = admtest::MakeScratchDir("repro");
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", 40, 8, 3, 5);
    const std::vector<std::string> args = {"-Fsim.txt", "-i" + dir, "-o" + dir, "-N40",  "-A2",
                                           "-L8",       "-K3",      "-T1",      "-P0.6", "-D1",
                                           "-S40",      "-B10",     "-c1",      "-sy",   "-upy"};
    SChainRun a, b;
    RunChain(a, args, 17);
    RunChain(b, args, 17);
    EXPECT_EQ(a.chain.LH, b.chain.LH);
    EXPECT_EQ(a.est.mean.beta, b.est.mean.beta);
    EXPECT_EQ(a.est.mean.psi, b.est.mean.psi);
    // The structure burn-in leaves the coefficient history at 0.
    EXPECT_EQ(a.chain.BH[0][0][0], 0.0);
    EXPECT_NE(a.chain.BH[0][0][1], 0.0);
    // psi moves (from the whole spectrum at this size) but stays inside
    // [0, 1 / largest eigenvalue).
    EXPECT_TRUE(a.prior.logDet.HoldsSpectrum());
    for (double v : a.chain.spSweep.psi) {
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 1.0 / a.prior.largestEigenvalue);
    }
}

// The psi step reads its log-determinants from the whole spectrum of W or
// from sparse Cholesky factors: the same chain either way. The sparse
// initial field starts another chain, which keeps psi in range too.
TEST(AdmixtureSampler, SparseRoutesRunTheSameChain) {
    const std::string dir = admtest::MakeScratchDir("routes");
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", 70, 8, 3, 5);
    const std::vector<std::string> args = {"-Fsim.txt", "-i" + dir, "-o" + dir, "-N70",  "-A2",
                                           "-L8",       "-K3",      "-T1",      "-P0.9", "-D1",
                                           "-S60",      "-B10",     "-c1",      "-upy"};
    SChainRun spectrum, sparse, sparseField;
    spectrum.prior.routes = SPriorRoutes{true, true};
    sparse.prior.routes = SPriorRoutes{false, true};
    sparseField.prior.routes = SPriorRoutes{false, false};
    RunChain(spectrum, args, 23);
    RunChain(sparse, args, 23);
    RunChain(sparseField, args, 23);
    EXPECT_FALSE(sparse.prior.logDet.HoldsSpectrum());
    EXPECT_EQ(spectrum.chain.LH, sparse.chain.LH);
    // psi starts from the largest eigenvalue of either route (equal to
    // rounding) and takes the same steps.
    for (int k = 0; k < 3; ++k)
        EXPECT_NEAR(spectrum.est.mean.psi[k], sparse.est.mean.psi[k], 1e-12);
    EXPECT_NE(spectrum.chain.spSweep.psi, DBL_VCTR_1D(3, 0.9 / spectrum.prior.largestEigenvalue));
    EXPECT_NE(spectrum.chain.LH, sparseField.chain.LH);
    for (double v : sparseField.chain.spSweep.psi) {
        EXPECT_GE(v, 0.0);
        EXPECT_LT(v, 1.0 / sparseField.prior.largestEigenvalue);
    }
}

// A continuation file replaces the starting variances: the coefficient
// draws then follow its sigma, so that -x changes nothing in the chain.
TEST(AdmixtureSampler, ContinuationFileSetsTheVarianceOfTheCoefficients) {
    const std::string dir = admtest::MakeScratchDir("continue");
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", 40, 8, 2, 9);
    std::vector<std::string> args = {"-Fsim.txt", "-i" + dir, "-o" + dir, "-N40",  "-A2",
                                     "-L8",       "-K2",      "-T1",      "-P0.6", "-D1",
                                     "-S60",      "-B20",     "-c1"};
    SChainRun first;
    RunChain(first, args, 3);
    const std::string cf = dir + "/state.cf";
    const DBL_VCTR_1D sigma = {0.5, 2.0};
    ASSERT_TRUE(SaveCF(sigma, first.est.mean.beta, first.est.mean.alpha, first.est.mean.q,
                       first.est.hcAdmix, first.est.mean.p, cf));
    args.insert(args.end(), {"-p" + cf, "-un"});
    SChainRun small, large;
    args.push_back("-x0.01");
    RunChain(small, args, 4);
    args.back() = "-x100";
    RunChain(large, args, 4);
    EXPECT_EQ(small.chain.spSweep.sigma, sigma);
    EXPECT_TRUE(small.chain.BH == large.chain.BH);
    EXPECT_TRUE(small.chain.LH == large.chain.LH);
}

// Under the improper 1/sigma prior sigma = 0 absorbed the chain: once a field
// sat on its trend its proposals shrank with sigma. On a small data set
// (40 individuals, 3 loci) where that happened within a few hundred sweeps
// for most seeds, the inverse-gamma prior keeps every variance of every
// kept sweep well away from 0.
TEST(AdmixtureSampler, NoCarVarianceCollapsesOverManySeeds) {
    const std::string dir = admtest::MakeScratchDir("collapse");
    {
        std::istringstream is(admtest::ReadFile(std::string(BRELO_TEST_DATA_DIR) + "/sim2pop.txt"));
        std::ofstream os(dir + "/s40.txt");
        std::string line;
        for (int row = 0; row < 80 && std::getline(is, line); ++row) {
            std::istringstream fields(line);
            std::string token;
            for (int c = 0; c < 7 && fields >> token; ++c)
                os << token << (c < 6 ? " " : "\n");
        }
    }
    const std::vector<std::string> args = {"-Fs40.txt", "-i" + dir, "-o" + dir, "-N40", "-A2",
                                           "-L3",       "-c2",      "-K2",      "-T1",  "-P0.6",
                                           "-D1",       "-S600",    "-B200",    "-jy"};
    double smallest = 1e300;
    for (unsigned long seed = 1; seed <= 10; ++seed) {
        SChainRun run;
        RunChain(run, args, seed);
        for (const DBL_VCTR_1D& trace : run.chain.sigmaH)
            smallest = std::min(smallest, *std::min_element(trace.begin() + 200, trace.end()));
    }
    EXPECT_GT(smallest, 0.05);
}

// The diagnostics cover every Metropolis step and every monitored trace of
// the run, and only the parameters the run updates.
TEST(AdmixtureSampler, DiagnosticsCoverTheStepsAndTracesOfTheRun) {
    const std::string dir = admtest::MakeScratchDir("diagnostics");
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", 30, 5, 2, 11);
    const std::vector<std::string> args = {"-Fsim.txt", "-i" + dir, "-o" + dir, "-N30",  "-A2",
                                           "-L5",       "-K2",      "-T1",      "-P0.6", "-D1",
                                           "-S50",      "-B20",     "-c1",      "-bs4",  "-joint0"};
    auto names = [](const SRunDiagnostics& d) {
        std::vector<std::string> n;
        for (const auto& s : d.steps)
            n.push_back(s.name);
        for (const auto& t : d.traces)
            n.push_back(t.name);
        return n;
    };
    SChainRun all;
    std::vector<std::string> withPsi = args;
    withPsi.push_back("-upy");
    RunChain(all, withPsi, 5);
    const SRunDiagnostics& d = all.est.diagnostics;
    EXPECT_EQ(names(d), std::vector<std::string>(
                            {"CAR field[1]", "CAR field[2]", "psi[1]", "psi[2]", "proportion move",
                             "ancestral frequencies", "drift[1]", "drift[2]", "log-likelihood",
                             "beta[1][1]", "beta[1][2]", "beta[1][3]", "beta[2][1]", "beta[2][2]",
                             "beta[2][3]", "sigma[1]", "sigma[2]", "psi[1]", "psi[2]"}));
    // Sweeps 5..49 update the field (one proposal per individual) and psi.
    EXPECT_EQ(d.steps[0].counter.proposed, 45 * 30);
    EXPECT_EQ(d.steps[2].counter.proposed, 45);
    // The proportion move: one proposal per individual in every sweep.
    EXPECT_EQ(d.steps[4].counter.proposed, 50 * 30);
    for (const auto& t : d.traces)
        EXPECT_EQ(t.length, 30u) << t.name;
    SChainRun fixed;
    std::vector<std::string> noUpdates = args;
    noUpdates.push_back("-un");
    noUpdates.push_back("-anc0");  // nor ancestral frequencies and drifts
    RunChain(fixed, noUpdates, 5);
    for (const std::string& n : names(fixed.est.diagnostics))
        EXPECT_TRUE(n.find("sigma") == std::string::npos && n.find("psi") == std::string::npos &&
                    n.find("drift") == std::string::npos &&
                    n.find("ancestral") == std::string::npos)
            << n;
    // The joint route (the default) passes kSpatialPassesGivenLabels times
    // over the spatial block, each with its moves of whole fields.
    SChainRun joint;
    std::vector<std::string> jointArgs = args;
    jointArgs.back() = "-joint1";
    RunChain(joint, jointArgs, 5);
    const SRunDiagnostics& j = joint.est.diagnostics;
    EXPECT_EQ(names(j), std::vector<std::string>({"CAR field[1]",    "CAR field[2]",
                                                  "trend shift[1]",  "trend shift[2]",
                                                  "level shift",     "common trend shift",
                                                  "field scale[1]",  "field scale[2]",
                                                  "proportion move", "ancestral frequencies",
                                                  "drift[1]",        "drift[2]",
                                                  "log-likelihood",  "beta[1][1]",
                                                  "beta[1][2]",      "beta[1][3]",
                                                  "beta[2][1]",      "beta[2][2]",
                                                  "beta[2][3]",      "sigma[1]",
                                                  "sigma[2]"}));
    const int passes = 45 * kSpatialPassesGivenLabels;
    EXPECT_EQ(j.steps[0].counter.proposed, passes * 30);
    EXPECT_EQ(j.steps[2].counter.proposed, passes);
    EXPECT_EQ(j.steps[6].counter.proposed, passes * kScaleMovesPerPass);
}

// Admixed SNP data from a k-means start, where every copy of an individual
// starts with one label: with hundreds of copies a label-by-label sweep
// hardly moves an individual's proportions, so a chain without the moves of
// whole proportions stays near the start (0/1 proportions). With them, on
// the default route, the posterior means come close to the true proportions
// within a few dozen sweeps.
TEST(AdmixtureSampler, ProportionsLeaveAHardStartOnSnpData) {
    const std::string dir = admtest::MakeScratchDir("snp");
    const int N = 80, L = 800;
    const admtest::SSimTruth truth =
        admtest::WriteAdmixedSnpData(dir + "/snp.txt", N, L, 2, 0.2, 0.5, 7);
    SChainRun run;
    RunChain(
        run,
        {"-Fsnp.txt", "-i" + dir, "-o" + dir, "-N" + std::to_string(N), "-A2",
         "-L" + std::to_string(L), "-K2", "-T1", "-P0.6", "-D1", "-S100", "-B50", "-c1", "-jk"},
        3);
    // 0.068 (0.04 with the independent frequencies of -anc0); without the
    // move (-qmove0): 0.18.
    EXPECT_LT(admtest::ProportionRmse(run.est.mean.q, truth.q), 0.085);
}

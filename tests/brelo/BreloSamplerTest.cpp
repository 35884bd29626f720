// Statistical tests of the brelo sampler on data simulated with known truth,
// and tests of single sweep steps on hand-made chains.
#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>

#include "brelo/BreloSampler.h"
#include "brelo/BreloSimulation.h"
#include "brelo/BreloStepCheckUtil.h"
#include "brelo/BreloTestUtil.h"
#include "core/ExactCheckSupport.h"
#include "core/KMeans.h"
#include "core/StatUtilities.h"
#include "io/ResultReport.h"

namespace {

struct SRunOutcome {
    bool completed = false;
    CRunCriteria criteria;
    std::string prefix;  // folder + "/" + data file name
};

// One call of the sampler entry on a data file of the folder.
SRunOutcome RunSampler(const std::string& folder, const std::string& file,
                       std::vector<std::string> options, bool bFIT = false,
                       bool bValOnIndiv = false, CTrainingConfig config = CTrainingConfig()) {
    options.push_back("-F" + file);
    options.push_back("-i" + folder);
    options.push_back("-o" + folder);
    CArgs args(options);
    std::ofstream criteria(folder + "/criteria.txt", std::ios::app);
    SRunOutcome out;
    out.completed =
        brelo(args.argc(), args.argv(), "", criteria, out.criteria, bFIT, bValOnIndiv, config);
    out.prefix = folder + "/" + file;
    return out;
}

// Share of individuals whose most probable cluster matches the truth under
// the best relabelling of the clusters.
double AgreementUpToRelabelling(const INT_VCTR_1D& hc, const std::vector<int>& truth, int K) {
    std::vector<int> perm(K);
    std::iota(perm.begin(), perm.end(), 0);
    int best = 0;
    do {
        int agree = 0;
        for (size_t i = 0; i < hc.size(); ++i)
            agree += perm[hc[i]] == truth[i];
        best = std::max(best, agree);
    } while (std::next_permutation(perm.begin(), perm.end()));
    return static_cast<double>(best) / hc.size();
}

INT_VCTR_1D HardClusters(const std::string& apFile) {
    INT_VCTR_1D hc;
    HardAssignment(ReadMembershipTable(apFile), hc);
    return hc;
}

CTrainingConfig MakeConfig(const std::string& name, int first, int last, int step = 1) {
    CTrainingConfig config;
    config.name = name;
    for (int i = first; i <= last; i += step)
        config.index.push_back(i);
    return config;
}

SSimulatedData ProbitData(int N) {
    SSimulatedData d;
    d.N = N;
    d.L = 15;
    SimulateProbitLabels(d, 0.5, 1.5, 7);
    SimulateGenotypes(d, 6, 0.5, 8);
    return d;
}

// 150 individuals in three well separated clusters (15 loci), written to file.
SSimulatedData WriteThreeClusters(const std::string& file) {
    SSimulatedData d;
    d.N = 150;
    d.L = 15;
    d.K = 3;
    SimulateLabelsInTurn(d);
    SimulateGenotypes(d, 6, 0.5, 3);
    WriteSimulatedData(d, file);
    return d;
}

TEST(BreloSamplerTest, RecoversThreeSeparatedClustersAndCriteriaPreferThem) {
    FixSeed();
    const std::string dir = FreshFolder("three_clusters");
    const SSimulatedData d = WriteThreeClusters(dir + "/three.txt");

    const std::vector<std::string> common = {"-N150", "-A2",   "-L15", "-D1",
                                             "-S300", "-B100", "-T-1"};
    std::vector<std::string> k3 = common, k2 = common;
    k3.push_back("-K3");
    k2.push_back("-K2");
    SRunOutcome r3 = RunSampler(dir, "three.txt", k3);
    ASSERT_TRUE(r3.completed);
    INT_VCTR_1D hc = HardClusters(r3.prefix + "AP.txt");
    ASSERT_EQ(hc.size(), 150u);
    EXPECT_GE(AgreementUpToRelabelling(hc, d.z, 3), 0.95);
    EXPECT_EQ(r3.criteria.KEst, 3);

    SRunOutcome r2 = RunSampler(dir, "three.txt", k2);
    ASSERT_TRUE(r2.completed);
    EXPECT_LT(r3.criteria.DIC, r2.criteria.DIC);
    EXPECT_LT(r3.criteria.DIC2, r2.criteria.DIC2);
    EXPECT_GT(r3.criteria.dAL, r2.criteria.dAL);
    // Without validation the validation terms are zero.
    EXPECT_EQ(r3.criteria.dAL_valid, 0.0);
    EXPECT_DOUBLE_EQ(r3.criteria.DIC2_tot, r3.criteria.DIC2);
}

TEST(BreloSamplerTest, KMeansStartAndGibbsLabelsRecoverThreeSeparatedClusters) {
    FixSeed();
    const std::string dir = FreshFolder("three_clusters_jk_zg");
    const SSimulatedData d = WriteThreeClusters(dir + "/three.txt");
    SRunOutcome r =
        RunSampler(dir, "three.txt",
                   {"-N150", "-A2", "-L15", "-D1", "-S100", "-B50", "-T-1", "-K3", "-jk", "-zg"});
    ASSERT_TRUE(r.completed);
    EXPECT_GE(AgreementUpToRelabelling(HardClusters(r.prefix + "AP.txt"), d.z, 3), 0.95);
    EXPECT_EQ(r.criteria.KEst, 3);
}

// The k-means start, with and without reference individuals: these keep
// cluster K, the others are split among the other clusters by their genotypes.
TEST(BreloSamplerTest, KMeansStartLabelsAreTheGeneticClusters) {
    SSimulatedData d;
    d.N = 90;
    d.L = 20;
    d.K = 3;
    SimulateLabelsInTurn(d);
    SimulateGenotypes(d, 6, 0.5, 5);
    for (bool withReference : {false, true}) {
        SBreloOptions opts;
        opts.K = 3;
        opts.lambda = 1.0;
        opts.TotalSweep = 10;
        opts.kmeansStart = true;
        opts.bbase = withReference;
        SBreloData data;
        data.N = d.N;
        data.A = d.A;
        data.L = d.L;
        data.X = CGenotypeStore::FromCodes(d.X);
        for (int i = 0; i < d.N; ++i)
            data.isBase.push_back(withReference && d.z[i] == 2 ? 1 : 0);
        SBreloChain chain;
        SetUpChain(chain, opts, std::move(data), "");
        SBreloReplica& r = chain.replicas[0];
        FixSeed();
        gsl_rng* rng = nullptr;
        AllocRNG(rng, gsl_rng_default);
        DrawInitialState(chain, rng);
        FreeRNG(rng);
        INT_VCTR_1D truth(d.z.begin(), d.z.end());
        EXPECT_DOUBLE_EQ(AdjustedRandIndex(r.spSweep.z, truth), 1.0) << withReference;
        for (int i = 0; i < d.N && withReference; ++i)
            EXPECT_EQ(r.spSweep.z[i] == 2, d.z[i] == 2) << i;
    }
}

TEST(BreloSamplerTest, ProbitCoefficientsHaveTheRightSignsAndIntervalsCoverTheTruth) {
    FixSeed();
    const std::string dir = FreshFolder("probit");
    const double truth[2] = {0.5, 1.5};
    SSimulatedData d = ProbitData(400);
    WriteSimulatedData(d, dir + "/probit.txt");
    SRunOutcome r =
        RunSampler(dir, "probit.txt",
                   {"-N400", "-A2", "-L15", "-K2", "-D1", "-S1500", "-B300", "-T-1", "-X1"});
    ASSERT_TRUE(r.completed);

    // Labels are known up to a relabelling; with two clusters swapping them
    // turns beta into -beta.
    INT_VCTR_1D hc = HardClusters(r.prefix + "AP.txt");
    int agree = 0;
    for (int i = 0; i < d.N; ++i)
        agree += hc[i] == d.z[i];
    const double sign = agree > d.N / 2 ? 1.0 : -1.0;
    EXPECT_GE(std::max(agree, d.N - agree), 0.95 * d.N);

    DBL_VCTR_2D betaHat = ReadNumberTable(r.prefix + "betaHat.txt");
    ASSERT_EQ(betaHat.size(), 1u);
    ASSERT_EQ(betaHat[0].size(), 2u);
    // BetaStock: header "cycles K P", then one line per sweep; the kept
    // sweeps are the last 1200.
    DBL_VCTR_2D stock = ReadNumberTable(r.prefix + "BetaStock.txt", 1);
    ASSERT_EQ(stock.size(), 1500u);
    for (int b = 0; b < 2; ++b) {
        EXPECT_GT(sign * betaHat[0][b], 0) << "coefficient " << b;
        DBL_VCTR_1D kept;
        for (size_t s = 300; s < stock.size(); ++s)
            kept.push_back(sign * stock[s][b]);
        const double lo = quantile(kept.data(), kept.size(), 0.025);
        const double hi = quantile(kept.data(), kept.size(), 0.975);
        EXPECT_LE(lo, truth[b]) << "coefficient " << b;
        EXPECT_GE(hi, truth[b]) << "coefficient " << b;
    }
    EXPECT_GT(r.criteria.cor, 0.5);
}

TEST(BreloSamplerTest, ValidationOnIndividualsAndOnLociGiveFiniteLikelihoodsAndTheirFiles) {
    FixSeed();
    const std::string dir = FreshFolder("validation");
    SSimulatedData d = ProbitData(200);
    d.qual.resize(d.N);
    for (int i = 0; i < d.N; ++i)
        d.qual[i] = 3 + 2 * (i % 3);  // levels 3, 5, 7
    WriteSimulatedData(d, dir + "/valid.txt");
    const std::vector<std::string> options = {"-N200", "-A2",  "-L15", "-K2", "-D1",
                                              "-S200", "-B50", "-T-1", "-X1", "-XL1"};

    SRunOutcome onIndiv =
        RunSampler(dir, "valid.txt", options, true, true, MakeConfig("odd", 1, 199, 2));
    ASSERT_TRUE(onIndiv.completed);
    EXPECT_TRUE(std::isfinite(onIndiv.criteria.dAL_valid));
    EXPECT_LT(onIndiv.criteria.dAL_valid, 0.0);
    const std::string p = onIndiv.prefix;
    EXPECT_EQ(ReadNumberTable(p + "LHstock_valid.txt").size(), 150u);  // kept sweeps
    EXPECT_EQ(ReadNumberTable(p + "LHstock.txt").size(), 200u);
    EXPECT_EQ(ReadMembershipTable(p + "PPM_valid.txt").size(), 100u);  // held-out individuals
    EXPECT_EQ(ReadMembershipTable(p + "AP.txt").size(), 100u);         // training individuals
    EXPECT_EQ(ReadMembershipTable(p + "PPM1_valid.txt").size(), 3u);   // levels
    for (const char* suffix : {"LH_valid.png", "PPM_valid.png", "PPMqual_valid.png", "PPMvar1.txt"})
        EXPECT_TRUE(FileExists(p + suffix)) << suffix;
    for (const DBL_VCTR_1D& row : ReadMembershipTable(p + "PPM_valid.txt"))
        EXPECT_NEAR(row[0] + row[1], 1.0, 1e-9);

    const std::string lociDir = FreshFolder("validation_loci");
    WriteSimulatedData(d, lociDir + "/valid.txt");
    SRunOutcome onLoci =
        RunSampler(lociDir, "valid.txt", options, true, false, MakeConfig("first10", 1, 10));
    ASSERT_TRUE(onLoci.completed);
    EXPECT_TRUE(std::isfinite(onLoci.criteria.dAL_valid));
    EXPECT_LT(onLoci.criteria.dAL_valid, 0.0);
    EXPECT_EQ(ReadMembershipTable(onLoci.prefix + "AP.txt").size(), 200u);
    EXPECT_TRUE(FileExists(onLoci.prefix + "LHstock_valid.txt"));
    EXPECT_FALSE(FileExists(onLoci.prefix + "PPM_valid.txt"));
    // Frequencies are reported for the training loci only.
    EXPECT_EQ(ReadWholeFile(onLoci.prefix + "TR.txt").find("Locus 011"), std::string::npos);
    EXPECT_NE(ReadWholeFile(onLoci.prefix + "TR.txt").find("Locus 010"), std::string::npos);
}

TEST(BreloSamplerTest, OneClusterWithCovariatesRunsWithoutCoefficients) {
    FixSeed();
    const std::string dir = FreshFolder("one_cluster");
    SSimulatedData d = ProbitData(60);
    WriteSimulatedData(d, dir + "/one.txt");
    SRunOutcome r = RunSampler(
        dir, "one.txt", {"-N60", "-A2", "-L15", "-K1", "-D1", "-S40", "-B10", "-T-1", "-X1"});
    ASSERT_TRUE(r.completed);
    for (const DBL_VCTR_1D& row : ReadMembershipTable(r.prefix + "AP.txt"))
        EXPECT_EQ(row[0], 1.0);
    for (const DBL_VCTR_1D& row : ReadMembershipTable(r.prefix + "PPM.txt"))
        EXPECT_EQ(row[0], 1.0);
    for (const char* absent : {"betaHat.txt", "BetaStock.txt", "AIC.txt", "DICregr.txt", "BH.png"})
        EXPECT_FALSE(FileExists(r.prefix + absent)) << absent;
    std::vector<std::string> rows = ReadLines(dir + "/criteria.txt");
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_NE(rows[0].find("\tNA\tNA\tNA\t"), std::string::npos);
}

TEST(BreloSamplerTest, SameSeedSameResults) {
    const std::string dir = FreshFolder("seed");
    SSimulatedData d = ProbitData(80);
    WriteSimulatedData(d, dir + "/seed.txt");
    const std::vector<std::string> options = {"-N80", "-A2",  "-L15", "-K2", "-D1",
                                              "-S60", "-B20", "-T-1", "-X1"};
    FixSeed("99");
    ASSERT_TRUE(RunSampler(dir, "seed.txt", options).completed);
    const std::string first = ReadWholeFile(dir + "/seed.txtBetaStock.txt");
    FixSeed("99");
    ASSERT_TRUE(RunSampler(dir, "seed.txt", options).completed);
    EXPECT_EQ(ReadWholeFile(dir + "/seed.txtBetaStock.txt"), first);
    EXPECT_FALSE(first.empty());
}

// A small chain built in memory: N individuals, K clusters, an intercept
// and one covariate, the first nBase individuals fixed in the reference.
SBreloChain MakeChain(int N, int nBase, int S, int B, int K = 2) {
    SBreloOptions opts;
    opts.N = N;
    opts.A = 2;
    opts.L = 3;
    opts.K = K;
    opts.lambda = 1.0;
    opts.TotalSweep = S;
    opts.BurnIn = B;
    opts.bbase = nBase > 0;
    SBreloData data;
    data.N = N;
    data.A = 2;
    data.L = 3;
    data.X = CGenotypeStore(N, 2, 3);
    data.Xtild.assign(N, DBL_VCTR_1D(2, 1.0));
    data.isBase.assign(N, 0);
    for (int i = 0; i < N; ++i) {
        for (int a = 0; a < 2; ++a)
            for (int l = 0; l < 3; ++l)
                data.X.Put(i, a, l, 1 + (i + a + l) % 3);
        data.Xtild[i][1] = (i % 7) - 3.0;
        data.isBase[i] = i < nBase ? 1 : 0;
    }
    data.X.Finish();
    SBreloChain chain;
    SetUpChain(chain, opts, std::move(data), "test");
    return chain;
}

// The initial labels take one uniform draw each (K = 1 included), then the
// frequencies one Dirichlet draw per cluster and locus: replaying these
// draws on a twin generator gives the same state.
TEST(BreloSamplerTest, InitialLabelsAndFrequenciesAreDrawnInTheirOrder) {
    for (int K : {1, 3}) {
        FixSeed("31");
        SBreloChain chain = MakeChain(12, 0, 5, 2, K);
        SBreloReplica& r = chain.replicas[0];
        chain.hasRegression = false;  // no coefficient draws before the labels
        gsl_rng *rng = nullptr, *twin = nullptr;
        AllocRNG(rng, gsl_rng_default);
        twin = gsl_rng_alloc(gsl_rng_default);
        gsl_rng_set(twin, 31);
        DrawInitialState(chain, rng);
        for (int i = 0; i < chain.N; ++i)
            EXPECT_EQ(r.spSweep.z[i], static_cast<int>(gsl_rng_uniform_int(twin, K)))
                << "K=" << K << " individual " << i;
        for (int k = 0; k < K; ++k)
            for (int l = 0; l < chain.L; ++l) {
                DBL_VCTR_1D alpha(chain.J[l], 1.0), p(chain.J[l]);
                gsl_ran_dirichlet(twin, chain.J[l], alpha.data(), p.data());
                EXPECT_EQ(r.spSweep.p[k][l], p) << "K=" << K << " cluster " << k;
            }
        gsl_rng_free(twin);
        FreeRNG(rng);
    }
}

TEST(BreloSamplerTest, NonFiniteFirstCoefficientDrawKeepsTheInitialDraw) {
    FixSeed();
    SBreloChain chain = MakeChain(30, 1, 5, 4);
    SBreloReplica& r = chain.replicas[0];
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_default);
    DrawInitialState(chain, rng);
    const DBL_VCTR_1D initial = r.spSweep.beta[0];
    // The fixed individual's utility is never redrawn: a NaN there makes the
    // mean of the coefficient draw NaN.
    r.spSweep.w[0][0] = std::nan("");
    ASSERT_TRUE(RunSweep(chain, 0, rng));
    EXPECT_EQ(r.spSweep.beta[0], initial);
    EXPECT_EQ(chain.BH[0][0][0], initial[0]);
    EXPECT_EQ(chain.BH[0][1][0], initial[1]);
    FreeRNG(rng);
}

TEST(BreloSamplerTest, StructureSweepWithUtilityBoundsFarInTheTailCompletes) {
    FixSeed();
    SBreloChain chain = MakeChain(30, 0, 50, 40);
    SBreloReplica& r = chain.replicas[0];
    ASSERT_EQ(chain.BurnInStructure, 2);
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_default);
    DrawInitialState(chain, rng);
    // Means 40 standard deviations below the bound 0 (or above it): the
    // utilities of cluster 0 must be drawn far in the tail.
    for (int i = 0; i < chain.N; ++i)
        r.Pred[i][0] = i % 2 == 0 ? -40.0 : 40.0;
    ASSERT_TRUE(RunSweep(chain, 0, rng));
    for (int i = 0; i < chain.N; ++i) {
        const double w = r.spSweep.w[i][0];
        ASSERT_TRUE(std::isfinite(w)) << i;
        if (r.spSweep.z[i] == 0)
            EXPECT_GE(w, 0.0) << i;
        else
            EXPECT_LE(w, 0.0) << i;
    }
    FreeRNG(rng);
}

TEST(BreloSamplerTest, ReferenceIndividualsStayInTheLastClusterWithZeroUtilities) {
    FixSeed();
    SBreloChain chain = MakeChain(40, 5, 60, 40);
    SBreloReplica& r = chain.replicas[0];
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_default);
    DrawInitialState(chain, rng);
    for (int s = 0; s < chain.TotalSweep; ++s) {
        ASSERT_TRUE(RunSweep(chain, s, rng));
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(r.spSweep.z[i], 1) << "sweep " << s;
            ASSERT_EQ(r.spSweep.w[i][0], 0.0) << "sweep " << s;
        }
    }
    // Structure sweeps were 5 % of the burn-in; the others moved.
    EXPECT_EQ(chain.BurnInStructure, 2);
    EXPECT_EQ(chain.BurnIn, 38);
    EXPECT_EQ(chain.KeptSweep, 20);
    FreeRNG(rng);
}

TEST(BreloSamplerTest, BurnInSplitCapsTheStructureSweepsAndAllSweepsAreStructureWithoutCovariates) {
    SBreloChain capped = MakeChain(10, 0, 3000, 2000);
    EXPECT_EQ(capped.BurnInStructure, 50);
    EXPECT_EQ(capped.BurnIn, 1950);
    EXPECT_EQ(capped.KeptSweep, 1000);

    SBreloOptions opts;
    opts.N = 10;
    opts.A = 1;
    opts.L = 1;
    opts.K = 2;
    opts.lambda = 1;
    opts.TotalSweep = 100;
    opts.BurnIn = 30;
    opts.BurnInStructure = 5;
    SBreloData data;
    data.N = 10;
    data.A = 1;
    data.L = 1;
    data.X = CGenotypeStore::FromCodes(INT_VCTR_3D(10, INT_VCTR_2D(1, INT_VCTR_1D(1, 1))));
    SBreloChain plain;
    SetUpChain(plain, opts, std::move(data), "");
    EXPECT_EQ(plain.KeptSweep, 65);
    EXPECT_EQ(plain.BurnInStructure, 100);
    EXPECT_EQ(plain.BurnIn, 0);
}

}  // namespace

TEST(BreloSamplerTest, TwoClusterReallocationReadsPackedGenotypesAsTheirCopies) {
    // The same SNP genotypes, one byte a copy on one thread and two bits a
    // genotype on three: the same draws must make the same reallocations,
    // over loci that fill two blocks of the move's passes and end inside a
    // third.
    const int N = 12, L = 2 * 1024 + 40, K = 3;
    SBreloChain bytes, packed;
    for (SBreloChain* c : {&bytes, &packed}) {
        SetUpTinyChain(*c, N, 2, L, 2, K, 1.0);
        unsigned state = 11;
        for (int i = 0; i < N; ++i)
            for (int l = 0; l < L; ++l) {
                state = state * 1103515245u + 12345u;
                const int g = static_cast<int>((state >> 16) % 4);  // 3: missing
                SetGenotype(*c, i, 0, l, g == 3 ? -1 : g == 2 ? 1 : 0);
                SetGenotype(*c, i, 1, l, g == 3 ? -1 : g == 0 ? 0 : 1);
            }
    }
    ASSERT_TRUE(packed.data.X.Pack());
    ASSERT_FALSE(bytes.data.X.IsPacked());
    CThreadPool pool(3);
    packed.pool = &pool;
    CSeededRng drawsBytes(5), drawsPacked(5);
    for (SBreloChain* c : {&bytes, &packed})
        for (int i = 0; i < N; ++i)
            c->replicas[0].spSweep.z[i] = i % K;
    for (int t = 0; t < 300; ++t) {
        ReallocateTwoClusters(bytes, bytes.replicas[0], drawsBytes.get());
        ReallocateTwoClusters(packed, packed.replicas[0], drawsPacked.get());
        ASSERT_EQ(packed.replicas[0].spSweep.z, bytes.replicas[0].spSweep.z) << "move " << t;
    }
    EXPECT_GT(bytes.replicas[0].reallocationAcceptance.accepted, 0);
}

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <sstream>

#include "breloAdm/AdmTestUtils.h"
#include "breloAdm/BreloAdmOptions.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"
#include "voronoi/Voronoi.h"

namespace {

SAdmOptions ParseArgs(const std::vector<std::string>& args) {
    std::vector<const char*> argv{"breloAdm"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    SAdmOptions opt;
    ParseAdmOptions(static_cast<int>(argv.size()), argv.data(), opt);
    return opt;
}

// The set-up of a fixture copied into a scratch folder (the tessellation
// files are written next to the input).
struct SFixtureRun {
    std::string dir;
    SAdmOptions opt;
    SAdmSetup setup;
};

// The set-up of the data file run.dir + "/" + fixture.
void RunSetupIn(SFixtureRun& run, const std::string& fixture, int N, int L,
                std::vector<std::string> extra) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    std::vector<std::string> args = {"-F" + fixture,
                                     "-i" + run.dir,
                                     "-N" + std::to_string(N),
                                     "-A2",
                                     "-L" + std::to_string(L),
                                     "-K2",
                                     "-T1",
                                     "-P0.6",
                                     "-D1",
                                     "-S10",
                                     "-B5",
                                     "-c2",
                                     "-o" + run.dir};
    args.insert(args.end(), extra.begin(), extra.end());
    run.opt = ParseArgs(args);
    gsl_rng* rng = nullptr;
    RunAdmSetup(run.opt, run.setup, rng);
    FreeRNG(rng);
}

void RunFixtureSetup(SFixtureRun& run, const std::string& fixture, int N, int L,
                     std::vector<std::string> extra = {}) {
    run.dir = admtest::MakeScratchDir("setup");
    admtest::CopyFile(std::string(BRELO_TEST_DATA_DIR) + "/" + fixture, run.dir + "/" + fixture);
    RunSetupIn(run, fixture, N, L, extra);
}

void ExpectSymmetricAndConnected(const INT_VCTR_2D& NS, int N) {
    ASSERT_EQ(static_cast<int>(NS.size()), N);
    std::set<std::pair<int, int>> pairs;
    for (int i = 0; i < N; ++i)
        for (int j : NS[i]) {
            ASSERT_GE(j, 0);
            ASSERT_LT(j, N);
            EXPECT_NE(i, j);
            pairs.insert({i, j});
        }
    for (const auto& pr : pairs)
        EXPECT_TRUE(pairs.count({pr.second, pr.first})) << pr.first << " - " << pr.second;
    for (int i = 0; i < N; ++i)
        EXPECT_FALSE(NS[i].empty()) << "individual " << i << " has no neighbour";
}

}  // namespace

TEST(TranslateCoordinates, SmallestCoordinateBecomesTwiceTheRange) {
    DBL_VCTR_2D C = {{-3.0, 10.0}, {1.0, 14.0}, {5.0, 11.0}};  // ranges 8 and 4
    ASSERT_TRUE(TranslateCoordinates(C));
    EXPECT_DOUBLE_EQ(C[0][0], 16.0);
    EXPECT_DOUBLE_EQ(C[2][0], 24.0);
    EXPECT_DOUBLE_EQ(C[0][1], 8.0);
    EXPECT_DOUBLE_EQ(C[1][1], 12.0);
    DBL_VCTR_2D empty, triples = {{1, 2, 3}};
    EXPECT_FALSE(TranslateCoordinates(empty));
    EXPECT_FALSE(TranslateCoordinates(triples));
    EXPECT_EQ(triples[0][0], 1);
}

TEST(Jitter, DesignedValueForShortDecimalsAndRangeFloorForMetricCoordinates) {
    // Two decimals on a small range: one tenth of the last decimal.
    DBL_VCTR_2D C = {{1.25, 2.5}, {1.5, 2.75}};
    EXPECT_DOUBLE_EQ(JitterStandardDeviation(C, 2), 0.001);
    // Metric coordinates print as "2.07444e+06": the designed value would be
    // 1e-10, below the resolution of a double at that size.
    DBL_VCTR_2D M = {{904155.0, 2074435.0}, {902370.0, 2074942.0}, {900107.0, 2073151.0}};
    const double sd = JitterStandardDeviation(M, 3);
    EXPECT_DOUBLE_EQ(sd, 1e-5 * (904155.0 - 900107.0));
    // Dummy rows count for the range but are never moved.
    DBL_VCTR_2D D = {{5.0, 5.0}, {5.0, 5.0}, {0.0, 0.0}};
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_mt19937);
    JitterCoordinates(D, 2, rng);
    FreeRNG(rng);
    EXPECT_NE(D[0][0], D[1][0]);
    EXPECT_NE(D[0][1], D[1][1]);
    EXPECT_EQ(D[2][0], 0.0);
    EXPECT_EQ(D[2][1], 0.0);
    EXPECT_LT(std::fabs(D[0][0] - 5.0), 1.0);
}

TEST(AdmSetup, RupicaCoincidentSamplesBecomeDistinctSitesWithNeighbours) {
    SFixtureRun run;
    RunFixtureSetup(run, "rupica.txt", 335, 9);
    const SAdmSetup& s = run.setup;
    EXPECT_EQ(s.beta_length, 3);
    ExpectSymmetricAndConnected(s.tess.vvnNS, 335);
    // Every site kept: the jitter separated the individuals sampled together.
    EXPECT_EQ(std::count(s.tess.vbKeep.begin(), s.tess.vbKeep.end(), true), 335);
    EXPECT_TRUE(admtest::FileExists(run.dir + "/rupica.txtVD.png"));
    EXPECT_TRUE(admtest::FileExists(run.dir + "/rupica.txtND.png"));
    EXPECT_TRUE(admtest::FileExists(run.dir + "/rupica.txtVC"));
    // Allele lists: sorted, distinct, no missing code.
    ASSERT_EQ(s.alleleV.size(), 9u);
    for (size_t l = 0; l < 9; ++l) {
        EXPECT_EQ(s.J[l], static_cast<int>(s.alleleV[l].size()));
        EXPECT_TRUE(std::is_sorted(s.alleleV[l].begin(), s.alleleV[l].end()));
        EXPECT_GE(s.alleleV[l].front(), 0);
    }
}

TEST(AdmSetup, SavedTessellationReloadsWithTheSameNeighbourhoodSystem) {
    SFixtureRun first;
    RunFixtureSetup(first, "sim2pop.txt", 130, 20);
    ExpectSymmetricAndConnected(first.setup.tess.vvnNS, 130);
    SFixtureRun second;
    RunFixtureSetup(second, "sim2pop.txt", 130, 20, {"-v" + first.dir + "/sim2pop.txtVC"});
    EXPECT_EQ(second.setup.tess.vvnNS, first.setup.tess.vvnNS);
    EXPECT_EQ(second.setup.tess.vbKeep, first.setup.tess.vbKeep);
    // The reload draws no tessellation next to the second input.
    EXPECT_FALSE(admtest::FileExists(second.dir + "/sim2pop.txtVC"));
    // A file made for other sites is not used: another number of sites, or
    // as many sites elsewhere (here the same individuals with x and y
    // swapped).
    SFixtureRun other;
    RunFixtureSetup(other, "rupica.txt", 335, 9, {"-v" + first.dir + "/sim2pop.txtVC"});
    EXPECT_EQ(other.setup.tess.vvnNS.size(), 335u);
    EXPECT_TRUE(admtest::FileExists(other.dir + "/rupica.txtVC"));
    SFixtureRun swapped;
    swapped.dir = admtest::MakeScratchDir("setup_swapped");
    {
        std::istringstream is(admtest::ReadFile(std::string(BRELO_TEST_DATA_DIR) + "/sim2pop.txt"));
        std::ofstream os(swapped.dir + "/sim2pop.txt");
        std::string id, pop, x, y, rest;
        while (is >> id >> pop >> x >> y && std::getline(is, rest))
            os << id << " " << pop << " " << y << " " << x << rest << "\n";
    }
    RunSetupIn(swapped, "sim2pop.txt", 130, 20, {"-v" + first.dir + "/sim2pop.txtVC"});
    EXPECT_TRUE(admtest::FileExists(swapped.dir + "/sim2pop.txtVC"));
    EXPECT_NE(swapped.setup.tess.vvnNS, first.setup.tess.vvnNS);

    // The same sites in a box of infinite width: no chart could be drawn in
    // it, so the file does not fit either.
    std::istringstream saved(admtest::ReadFile(first.dir + "/sim2pop.txtVC"));
    std::vector<std::string> tokens;
    for (std::string t; saved >> t;)
        tokens.push_back(t);
    const size_t box = 2 + 3 * 130 + 130 + 4;
    tokens[box] = "-1e308";
    tokens[box + 1] = "1e308";
    std::ofstream wide(first.dir + "/wide.VC");
    for (const std::string& t : tokens)
        wide << t << " ";
    wide.close();
    SFixtureRun unbounded;
    RunFixtureSetup(unbounded, "sim2pop.txt", 130, 20, {"-v" + first.dir + "/wide.VC"});
    EXPECT_TRUE(admtest::FileExists(unbounded.dir + "/sim2pop.txtVC"));
    ASSERT_EQ(unbounded.setup.tess.vdDataScale.size(), 4u);
    EXPECT_LT(unbounded.setup.tess.vdDataScale[1] - unbounded.setup.tess.vdDataScale[0], 1e6);
}

TEST(AdmSetup, InterceptOnlyDesignWithoutTrend) {
    SFixtureRun run;
    RunFixtureSetup(run, "sim2pop.txt", 130, 20, {"-T0"});
    EXPECT_EQ(run.setup.beta_length, 1);
    ASSERT_EQ(run.setup.data.Xtild.size(), 130u);
    EXPECT_EQ(run.setup.data.Xtild[7][0], 1.0);
}

TEST(AdmSetup, DistanceScaleFromTheFileOrTheCommandLine) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const std::string dir = admtest::MakeScratchDir("geo");
    {
        std::ofstream os(dir + "/geo.txt");
        os << "0 2 4\n2 0 6\n4 6 0\n";
    }
    std::vector<std::string> base = {"-Fx",
                                     "-N3",
                                     "-A2",
                                     "-L1",
                                     "-K2",
                                     "-T1",
                                     "-P0.5",
                                     "-D1",
                                     "-S10",
                                     "-B1",
                                     "-g" + dir + "/geo.txt"};
    SAdmOptions opt = ParseArgs(base);
    SAdmSetup setup;
    LoadGeoDistances(opt, setup);
    EXPECT_DOUBLE_EQ(setup.theta, 2.0);  // mean of 0 2 4 0 6 0
    base.push_back("-scx");
    opt = ParseArgs(base);
    LoadGeoDistances(opt, setup);
    EXPECT_DOUBLE_EQ(setup.theta, 6.0);
    base.push_back("-sc12.5");
    opt = ParseArgs(base);
    LoadGeoDistances(opt, setup);
    EXPECT_DOUBLE_EQ(setup.theta, 12.5);
}

// The prior on a real neighbourhood system: psi from the largest eigenvalue
// and V = Xtild' (I - psi W) Xtild.
TEST(AdmSetup, SpatialPriorOnTheSim2popNeighbourhood) {
    SFixtureRun run;
    RunFixtureSetup(run, "sim2pop.txt", 130, 20, {"-T2"});
    const SAdmSetup& s = run.setup;
    CSpatialPrior prior;
    DBL_VCTR_1D psi, sigma = {1.0, 2.0};
    BuildSpatialPrior(prior, psi, sigma, s.tess.vvnNS, s.geo, s.theta, s.data.Xtild, 0.6);
    DBL_VCTR_2D W;
    BuildWeightMatrix(W, s.tess.vvnNS, s.geo, s.theta);
    // Power iteration on W + I (nonnegative): the largest eigenvalue.
    DBL_VCTR_1D v(130, 1.0), w(130);
    double lambda = 0;
    for (int it = 0; it < 5000; ++it) {
        double norm = 0;
        for (int i = 0; i < 130; ++i) {
            w[i] = v[i];
            for (int j = 0; j < 130; ++j)
                w[i] += W[i][j] * v[j];
            norm += w[i] * w[i];
        }
        norm = std::sqrt(norm);
        double rq = 0;
        for (int i = 0; i < 130; ++i)
            rq += v[i] * w[i];
        lambda = rq - 1.0;
        for (int i = 0; i < 130; ++i)
            v[i] = w[i] / norm;
    }
    EXPECT_NEAR(prior.largestEigenvalue, lambda, 1e-6 * lambda);
    EXPECT_NEAR(psi[1], 0.6 / lambda, 1e-6 / lambda);
    const int bl = s.beta_length;
    ASSERT_EQ(bl, 6);
    for (int r = 0; r < bl; ++r)
        for (int c = 0; c < bl; ++c) {
            double direct = 0;
            for (int i = 0; i < 130; ++i)
                for (int j = 0; j < 130; ++j)
                    direct +=
                        s.data.Xtild[i][r] * ((i == j) - psi[1] * W[i][j]) * s.data.Xtild[j][c];
            EXPECT_NEAR(prior.V[1][r][c], direct, 1e-9 * std::fabs(direct) + 1e-9);
        }
}

// Sites on one line (or only two sites) give edges without a finite end,
// which the tessellation lists twice: each neighbour must still be listed
// once, as W counts it, so that the field's conditional mean and W agree.
TEST(AdmSetup, NeighbourListsHoldEachNeighbourOnceAndAgreeWithW) {
    for (int N : {2, 5}) {
        SFixtureRun run;
        run.dir = admtest::MakeScratchDir("setup_line");
        {
            std::ofstream os(run.dir + "/line.txt");
            for (int i = 0; i < N; ++i)
                for (int a = 0; a < 2; ++a)
                    os << "i" << i << " 1 " << 10 + 3 * i << " 7 1 2\n";
        }
        RunSetupIn(run, "line.txt", N, 2, {});
        if (N == 2) {
            // A tessellation saved with repeated neighbours (by an earlier
            // version) is reloaded with each neighbour once.
            STessellation t = run.setup.tess;
            for (INT_VCTR_1D& row : t.vvnNS)
                row.push_back(row.front());
            const std::string file = run.dir + "/repeated.VC";
            ASSERT_TRUE(CVoronoi::SaveVoronoi(t.vptC, t.vbKeep, t.vdDataMinMax, t.vdDataScale,
                                              t.veVoronoi, t.vvnNS, file));
            SFixtureRun reload;
            reload.dir = run.dir;
            RunSetupIn(reload, "line.txt", N, 2, {"-v" + file});
            EXPECT_EQ(reload.setup.tess.vvnNS, INT_VCTR_2D({{1}, {0}}));
        }
        const INT_VCTR_2D& NS = run.setup.tess.vvnNS;
        ExpectSymmetricAndConnected(NS, N);
        for (int i = 0; i < N; ++i) {
            INT_VCTR_1D row = NS[i];
            std::sort(row.begin(), row.end());
            EXPECT_EQ(std::adjacent_find(row.begin(), row.end()), row.end()) << "row " << i;
        }
        // The neighbour sums of the sampler are W e.
        CSpatialPrior prior;
        DBL_VCTR_1D psi, sigma(1, 1.0);
        BuildSpatialPrior(prior, psi, sigma, NS, {}, 1.0, DBL_VCTR_2D(N, DBL_VCTR_1D(1, 1.0)), 0.6);
        DBL_VCTR_2D W;
        BuildWeightMatrix(W, NS, {}, 1.0);
        DBL_VCTR_1D e(N);
        for (int i = 0; i < N; ++i)
            e[i] = std::sin(1.0 + i);
        for (int i = 0; i < N; ++i) {
            double We = 0.0;
            for (int j = 0; j < N; ++j)
                We += W[i][j] * e[j];
            EXPECT_NEAR(NeighbourSum(prior, NS, i, e.data()), We, 1e-12) << "N " << N << " i " << i;
        }
    }
}

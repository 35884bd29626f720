// Exact checks of the moves of -joint, which read the label counts with the
// admixture proportions integrated out. Their target is the law of the
// spatial block given the labels, so each must keep the joint prior of
// (coefficients, variances, fields, labels) when it alternates with a fresh
// draw of the labels given the fields: many independent replicas start
// from forward draws of that prior, run a few rounds of (move, labels) and
// must end with the moments of the prior. The flat prior of the
// coefficients has no forward draws, so the checks run under their Gaussian
// prior (-bg), which the moves' ratios read too.
#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "breloAdm/StepFixture.h"
#include "core/MatrixUtilities.h"

using admcheck::SStepFixture;

namespace {

constexpr int N = 4, L = 3, K = 2;
const double kShape = 3.0, kScale = 2.0, kTau = 0.8;
const INT_VCTR_2D kRing = {{1, 2}, {0, 3}, {0, 3}, {1, 2}};
const DBL_VCTR_2D kDesign = {{1.0, -1.0}, {1.0, -0.2}, {1.0, 0.5}, {1.0, 0.7}};

// Haploid individuals, one allele everywhere: the moves read only the
// labels' counts.
INT_VCTR_3D Genotypes() {
    return INT_VCTR_3D(N, INT_VCTR_2D(1, INT_VCTR_1D(L, 1)));
}

struct SPriorDraw {
    DBL_VCTR_2D betaFactor;  // lower factor of tau^2 N (X'X)^-1
};

SPriorDraw MakePriorDraw() {
    DBL_VCTR_2D XtX, cov;
    Mult_t_left(XtX, kDesign, kDesign);
    InverseWithChol(cov, XtX);
    for (DBL_VCTR_1D& row : cov)
        for (double& v : row)
            v *= kTau * kTau * N;
    SPriorDraw d;
    choldc(d.betaFactor, cov);
    return d;
}

// Labels given the fields: q[i] ~ Dirichlet(alpha[i]), each copy's label
// from q[i]; then the label counts m.
void DrawLabels(SStepFixture& f) {
    SAdmSampler& S = *f;
    DBL_VCTR_1D logq(K);
    for (int i = 0; i < N; ++i) {
        DirichletLogDraw(S.rng, K, S.sp.alpha[i].data(), logq.data());
        for (int l = 0; l < L; ++l)
            S.sp.zadMix[i][0][l] = gsl_rng_uniform(S.rng) < std::exp(logq[0]) ? 0 : 1;
    }
    UpdateAdmixtureProportions(S);
}

// Coefficients, variances and fields from their prior, then the labels.
void DrawFromThePrior(SStepFixture& f, const SPriorDraw& d) {
    SAdmSampler& S = *f;
    CSweepParams& sp = S.sp;
    DBL_VCTR_2D work;
    DBL_VCTR_1D trend(N);
    for (int k = 0; k < K; ++k) {
        sp.sigma[k] = 1.0 / gsl_ran_gamma(S.rng, kShape, 1.0 / kScale);
        RefreshSigma(f.prior, k, sp.sigma[k]);
        MultivariateGauss(DBL_VCTR_1D(2, 0.0), d.betaFactor, sp.beta[k], S.rng);
        for (int i = 0; i < N; ++i)
            trend[i] = kDesign[i][0] * sp.beta[k][0] + kDesign[i][1] * sp.beta[k][1];
        DrawInitialField(f.prior, trend, sp.sigma[k], work, sp.CAR[k], S.rng);
    }
    f.SyncFieldAndTrend();
    DrawLabels(f);
}

struct SStatistic {
    std::string name;
    std::function<double(const SAdmSampler&)> g;
};

const std::vector<SStatistic>& Statistics() {
    static const std::vector<SStatistic> stats = {
        {"beta[0][0]", [](const SAdmSampler& S) { return S.sp.beta[0][0]; }},
        {"beta[0][1]", [](const SAdmSampler& S) { return S.sp.beta[0][1]; }},
        {"beta[1][0]^2", [](const SAdmSampler& S) { return S.sp.beta[1][0] * S.sp.beta[1][0]; }},
        {"beta[0][0] + beta[1][0]",
         [](const SAdmSampler& S) { return S.sp.beta[0][0] + S.sp.beta[1][0]; }},
        {"log sigma[0]", [](const SAdmSampler& S) { return std::log(S.sp.sigma[0]); }},
        {"1/sigma[1]", [](const SAdmSampler& S) { return 1.0 / S.sp.sigma[1]; }},
        {"CAR[0][0]", [](const SAdmSampler& S) { return S.sp.CAR[0][0]; }},
        {"CAR[1][2]^2", [](const SAdmSampler& S) { return S.sp.CAR[1][2] * S.sp.CAR[1][2]; }},
        {"CAR[0][3] CAR[1][3]",
         [](const SAdmSampler& S) { return S.sp.CAR[0][3] * S.sp.CAR[1][3]; }},
        {"residual[1][1]", [](const SAdmSampler& S) { return S.sp.CAR[1][1] - S.Pred[1][1]; }},
        {"labels in cluster 0",
         [](const SAdmSampler& S) {
             double m = 0.0;
             for (const INT_VCTR_1D& mi : S.m)
                 m += mi[0];
             return m;
         }},
    };
    return stats;
}

// The fixture of the checks: the ring of four sites, the design (intercept,
// one covariate), the Gaussian prior of the coefficients, the steps sized.
void Prepare(SStepFixture& f) {
    f.opt.sigmaShape = kShape;
    f.opt.sigmaScale = kScale;
    f.prior.coefficientScale = kTau;
    BuildSpatialPrior(f.prior, f.sp().psi, f.sp().sigma, kRing, {}, 1.0, kDesign, 0.5);
    SizeJointMoves(*f);
    f.S->moves.levelStep = 0.8;
    f.S->moves.commonStep = 0.8;
    f.S->moves.scaleStep.assign(K, 0.4);
}

// M replicas of: a prior draw, then R rounds of (move, labels); their end
// states against M independent prior draws, statistic by statistic.
void ExpectTheMoveKeepsThePrior(const std::string& name,
                                const std::function<void(SAdmSampler&)>& move, unsigned long seed) {
    SStepFixture f(Genotypes(), K, kRing, seed, kDesign, 0.5);
    Prepare(f);
    const SPriorDraw d = MakePriorDraw();
    const std::vector<SStatistic>& stats = Statistics();
    const size_t G = stats.size();
    const int M = 20000, R = 4;
    std::vector<std::vector<double>> forward(G), moved(G);
    for (int m = 0; m < M; ++m) {
        DrawFromThePrior(f, d);
        for (size_t g = 0; g < G; ++g)
            forward[g].push_back(stats[g].g(*f));
        DrawFromThePrior(f, d);
        for (int r = 0; r < R; ++r) {
            move(*f);
            DrawLabels(f);
        }
        for (size_t g = 0; g < G; ++g)
            moved[g].push_back(stats[g].g(*f));
    }
    for (size_t g = 0; g < G; ++g) {
        const admcheck::SMoments a = admcheck::Moments(forward[g]);
        const admcheck::SMoments b = admcheck::Moments(moved[g]);
        const double z = (a.mean - b.mean) / std::sqrt((a.var + b.var) / M);
        EXPECT_LT(std::fabs(z), 4.0) << name << ", " << stats[g].name << ": prior " << a.mean
                                     << ", after the move " << b.mean;
    }
    // The fields' Dirichlet parameters and trends follow the moves.
    for (int k = 0; k < K; ++k)
        for (int i = 0; i < N; ++i) {
            EXPECT_DOUBLE_EQ(f.sp().alpha[i][k], std::exp(f.sp().CAR[k][i])) << name;
            EXPECT_NEAR(f.S->Pred[i][k],
                        kDesign[i][0] * f.sp().beta[k][0] + kDesign[i][1] * f.sp().beta[k][1], 1e-9)
                << name;
        }
}

// A Metropolis move accepts some proposals and refuses others: else the
// check above says little.
void ExpectSomeAccepted(const CAcceptanceCounter& c, const std::string& name) {
    EXPECT_GT(c.Rate(), 0.05) << name;
    EXPECT_LT(c.Rate(), 0.95) << name;
}

}  // namespace

TEST(AdmixtureJointMoveChecks, FieldStepGivenTheLabelsKeepsThePrior) {
    ExpectTheMoveKeepsThePrior("field given labels", UpdateSpatialFieldGivenLabels, 301);
}

// The coefficients' step under their Gaussian prior (its precision enters
// V[k] with the variance).
TEST(AdmixtureJointMoveChecks, CoefficientStepKeepsThePriorUnderTheGaussianPrior) {
    ExpectTheMoveKeepsThePrior("coefficients", UpdateCoefficients, 302);
}

TEST(AdmixtureJointMoveChecks, VarianceStepKeepsThePriorUnderTheGaussianPrior) {
    ExpectTheMoveKeepsThePrior(
        "variances",
        [](SAdmSampler& S) {
            ComputeResidualForms(S);
            UpdateVariances(S);
        },
        303);
}

TEST(AdmixtureJointMoveChecks, TrendShiftsKeepThePrior) {
    CAcceptanceCounter seen;
    ExpectTheMoveKeepsThePrior(
        "trend shifts",
        [&](SAdmSampler& S) {
            ShiftTrends(S, false);
            seen = S.chain.trendAcceptance[0];
        },
        304);
    ExpectSomeAccepted(seen, "trend shifts");
}

TEST(AdmixtureJointMoveChecks, LevelShiftKeepsThePrior) {
    CAcceptanceCounter seen;
    ExpectTheMoveKeepsThePrior(
        "level shift",
        [&](SAdmSampler& S) {
            ShiftLevel(S, false);
            seen = S.chain.levelAcceptance;
        },
        305);
    ExpectSomeAccepted(seen, "level shift");
}

// The trend common to all clusters: a shift along the design of every field
// at once, whose ratio holds the coefficients' prior of each cluster.
TEST(AdmixtureJointMoveChecks, CommonTrendShiftKeepsThePrior) {
    CAcceptanceCounter seen;
    ExpectTheMoveKeepsThePrior(
        "common trend shift",
        [&](SAdmSampler& S) {
            ShiftCommonTrend(S, false);
            seen = S.chain.commonAcceptance;
        },
        307);
    ExpectSomeAccepted(seen, "common trend shift");
}

// The scale move's ratio holds the Jacobian of (e, sigma) -> (s e, s^2 sigma).
TEST(AdmixtureJointMoveChecks, FieldScaleKeepsThePrior) {
    CAcceptanceCounter seen;
    ExpectTheMoveKeepsThePrior(
        "field scale",
        [&](SAdmSampler& S) {
            ScaleFields(S, false);
            seen = S.chain.scaleAcceptance[1];
        },
        306);
    ExpectSomeAccepted(seen, "field scale");
}

// Joint check of the admixture sampler's steps in the manner of Geweke
// (2004): on a tiny data set, the successive-conditional simulator (draw the
// genotypes from the current parameters, then one sweep) must have the
// prior as its stationary law, so its moments must match those of forward
// draws from the prior. The regression coefficients have a flat prior, which
// has no forward draws: they are held known here (their step has its own
// exact check), and every other step of the sweep runs in its order.
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

constexpr int N = 4, A = 2, L = 3, K = 2;
const double kShape = 3.0, kScale = 2.0;  // a prior of sigma with a variance
const DBL_VCTR_1D kTrend = {0.3, -0.3};

// Genotypes holding both alleles (codes 1 and 2) at every locus, so that the
// allele lists are those of every later draw.
INT_VCTR_3D StartingGenotypes() {
    INT_VCTR_3D X(N, INT_VCTR_2D(A, INT_VCTR_1D(L, 1)));
    for (int l = 0; l < L; ++l)
        X[0][1][l] = 2;
    return X;
}

// X[i][a][l] ~ p[zadMix[i][a][l]][l]: allele j, code j + 1.
void DrawGenotypes(SAdmSampler& S) {
    for (int i = 0; i < N; ++i)
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l) {
                const int k = S.sp.zadMix[i][a][l];
                S.X.SetIndex(i, a, l, gsl_rng_uniform(S.rng) < S.sp.p[k][l][0] ? 0 : 1);
            }
}

// Every parameter from the prior, then the genotypes.
void DrawFromThePrior(SStepFixture& f) {
    SAdmSampler& S = *f;
    CSweepParams& sp = S.sp;
    const double upper = 1.0 / f.prior.largestEigenvalue;
    DBL_VCTR_2D W, R(N, DBL_VCTR_1D(N)), cov, factor;
    BuildWeightMatrix(W, f.setup.tess.vvnNS, {}, 1.0);
    for (int k = 0; k < K; ++k) {
        sp.sigma[k] = 1.0 / gsl_ran_gamma(S.rng, kShape, 1.0 / kScale);
        sp.psi[k] = upper * gsl_rng_uniform(S.rng);
        for (int i = 0; i < N; ++i)
            for (int j = 0; j < N; ++j)
                R[i][j] = (i == j) - sp.psi[k] * W[i][j];
        InverseWithChol(cov, R);
        for (DBL_VCTR_1D& row : cov)
            for (double& v : row)
                v *= sp.sigma[k];
        factor.clear();
        choldc(factor, cov);
        MultivariateGauss(DBL_VCTR_1D(N, kTrend[k]), factor, sp.CAR[k], S.rng);
        RefreshRegressionMatrices(f.prior, k, sp.psi[k], sp.sigma[k]);
    }
    for (int i = 0; i < N; ++i) {
        for (int k = 0; k < K; ++k)
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        gsl_ran_dirichlet(S.rng, K, sp.alpha[i].data(), sp.q[i].data());
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l)
                sp.zadMix[i][a][l] = gsl_rng_uniform(S.rng) < sp.q[i][0] ? 0 : 1;
    }
    const double ones[2] = {1.0, 1.0};
    if (!S.opt.ancestralFrequencies) {
        for (int k = 0; k < K; ++k)
            for (int l = 0; l < L; ++l)
                gsl_ran_dirichlet(S.rng, 2, ones, sp.p[k][l].data());
    } else {
        // Ancestral frequencies ~ Dirichlet(lambda = 1), drifts ~ Beta(1, 9),
        // p[k][l] ~ Dirichlet(ancestral[l] (1 - drift[k]) / drift[k]).
        for (int l = 0; l < L; ++l)
            gsl_ran_dirichlet(S.rng, 2, ones, sp.ancestral[l].data());
        for (int k = 0; k < K; ++k) {
            sp.drift[k] = gsl_ran_beta(S.rng, 1.0, 9.0);
            const double nu = (1.0 - sp.drift[k]) / sp.drift[k];
            for (int l = 0; l < L; ++l) {
                const double params[2] = {sp.ancestral[l][0] * nu, sp.ancestral[l][1] * nu};
                gsl_ran_dirichlet(S.rng, 2, params, sp.p[k][l].data());
            }
        }
    }
    DrawGenotypes(S);
}

// One sweep with the coefficients known: the steps of RunSweep but the
// coefficient draw.
void SweepGivenTheTrend(SAdmSampler& S) {
    CountAlleles(S);
    UpdateAlleleFrequencies(S);
    UpdateAdmixtureProportions(S);
    UpdateSpatialField(S);
    ComputeResidualForms(S);
    UpdateVariances(S);
    UpdateInteractionParameters(S);
    UpdateCopyLabels(S);
}

// The same with -joint: the field, variances, psi, the field scale and the
// labels with q integrated out, then q from its conditional. (The trend and
// level shifts move the coefficients, held known here; their own checks
// are in AdmixtureJointMoveChecks.) Run under the correlated frequency
// model (-anc1), whose ancestral frequencies and drifts follow the
// frequencies.
void JointSweepGivenTheTrend(SAdmSampler& S) {
    CountAlleles(S);
    UpdateAlleleFrequencies(S);
    UpdateFrequencyPrior(S, false);
    UpdateAdmixtureProportions(S);
    UpdateSpatialFieldGivenLabels(S);
    ComputeResidualForms(S);
    UpdateVariances(S);
    UpdateInteractionParameters(S);
    ScaleFields(S, false);
    UpdateCopyLabelsGivenField(S);
    DrawProportions(S);
}

struct SStatistic {
    std::string name;
    std::function<double(const CSweepParams&)> g;
};

void ExpectTheSimulatorKeepsThePrior(const std::function<void(SAdmSampler&)>& sweep,
                                     const std::string& name, bool correlated) {
    SStepFixture f(StartingGenotypes(), K, {{1, 3}, {0, 2}, {1, 3}, {0, 2}}, 2004, {}, 0.5);
    SizeJointMoves(*f);
    f.opt.ancestralFrequencies = correlated;
    f.opt.updatePsi = true;
    f.opt.sigmaShape = kShape;
    f.opt.sigmaScale = kScale;
    for (int k = 0; k < K; ++k)
        f.sp().beta[k][0] = kTrend[k];
    UpdatePred(*f);
    std::vector<SStatistic> stats = {
        {"sigma[0]", [](const CSweepParams& s) { return s.sigma[0]; }},
        {"1/sigma[1]", [](const CSweepParams& s) { return 1.0 / s.sigma[1]; }},
        {"psi[0]", [](const CSweepParams& s) { return s.psi[0]; }},
        {"psi[1]^2", [](const CSweepParams& s) { return s.psi[1] * s.psi[1]; }},
        {"CAR[0][0]", [](const CSweepParams& s) { return s.CAR[0][0]; }},
        {"CAR[1][2]^2", [](const CSweepParams& s) { return s.CAR[1][2] * s.CAR[1][2]; }},
        {"CAR[0][1] CAR[0][2]", [](const CSweepParams& s) { return s.CAR[0][1] * s.CAR[0][2]; }},
        {"q[0][0]", [](const CSweepParams& s) { return s.q[0][0]; }},
        {"q[3][1]^2", [](const CSweepParams& s) { return s.q[3][1] * s.q[3][1]; }},
        {"p[0][0][0]", [](const CSweepParams& s) { return s.p[0][0][0]; }},
        {"p[1][2][1]^2", [](const CSweepParams& s) { return s.p[1][2][1] * s.p[1][2][1]; }},
        {"z[1][0][0]", [](const CSweepParams& s) { return s.zadMix[1][0][0]; }},
        {"z[2][0][1] z[2][1][1]",
         [](const CSweepParams& s) { return s.zadMix[2][0][1] * s.zadMix[2][1][1]; }},
    };
    if (correlated) {
        stats.push_back({"drift[0]", [](const CSweepParams& s) { return s.drift[0]; }});
        stats.push_back(
            {"drift[1]^2", [](const CSweepParams& s) { return s.drift[1] * s.drift[1]; }});
        stats.push_back(
            {"ancestral[1][0]", [](const CSweepParams& s) { return s.ancestral[1][0]; }});
    }
    const size_t G = stats.size();
    const int M = 40000, T = 100000;
    std::vector<std::vector<double>> forward(G), chain(G);
    for (int m = 0; m < M; ++m) {
        DrawFromThePrior(f);
        for (size_t g = 0; g < G; ++g)
            forward[g].push_back(stats[g].g(f.sp()));
    }
    DrawFromThePrior(f);
    for (int t = 0; t < T; ++t) {
        DrawGenotypes(*f);
        sweep(*f);
        for (size_t g = 0; g < G; ++g)
            chain[g].push_back(stats[g].g(f.sp()));
    }
    for (size_t g = 0; g < G; ++g) {
        const admcheck::SMoments a = admcheck::Moments(forward[g]);
        const admcheck::SMoments b = admcheck::Moments(chain[g]);
        const double ess = EffectiveSampleSize(chain[g]);
        const double z = (a.mean - b.mean) / std::sqrt(a.var / M + b.var / ess);
        EXPECT_LT(std::fabs(z), 4.0)
            << name << ", " << stats[g].name << ": prior " << a.mean << ", simulator " << b.mean
            << " (effective sample size " << ess << ")";
    }
}

}  // namespace

TEST(AdmixtureJointChecks, SuccessiveConditionalSimulatorKeepsThePrior) {
    ExpectTheSimulatorKeepsThePrior(SweepGivenTheTrend, "sweep", false);
}

TEST(AdmixtureJointChecks, SuccessiveConditionalSimulatorOfJointSweepKeepsThePrior) {
    // With the correlated frequency model, the default.
    ExpectTheSimulatorKeepsThePrior(JointSweepGivenTheTrend, "-joint sweep", true);
}

#include <gtest/gtest.h>

#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cmath>

#include "breloAdm/SpatialPrior.h"
#include "core/MatrixUtilities.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"

namespace {

// A ring of n individuals: the largest eigenvalue of its W is 2.
INT_VCTR_2D Ring(int n) {
    INT_VCTR_2D NS(n);
    for (int i = 0; i < n; ++i)
        NS[i] = {(i + n - 1) % n, (i + 1) % n};
    return NS;
}

DBL_VCTR_2D Design(int n) {
    DBL_VCTR_2D X(n, DBL_VCTR_1D(3, 1.0));
    for (int i = 0; i < n; ++i) {
        X[i][1] = std::sin(1.3 * i) * 4 + i;
        X[i][2] = std::cos(0.7 * i) * 3 - 0.5 * i;
    }
    return X;
}

DBL_VCTR_2D DenseW(const INT_VCTR_2D& NS, const DBL_VCTR_2D& geo, double theta) {
    DBL_VCTR_2D W;
    BuildWeightMatrix(W, NS, geo, theta);
    return W;
}

// Xtild' (I - psi W) Xtild and Xtild' (I - psi W), straight from the
// definitions.
void DirectGLS(const DBL_VCTR_2D& X, const DBL_VCTR_2D& W, double psi, DBL_VCTR_2D& V,
               DBL_VCTR_2D& M) {
    const size_t n = X.size(), b = X[0].size();
    M.assign(b, DBL_VCTR_1D(n, 0.0));
    for (size_t r = 0; r < b; ++r)
        for (size_t j = 0; j < n; ++j)
            for (size_t i = 0; i < n; ++i)
                M[r][j] += X[i][r] * ((i == j) - psi * W[i][j]);
    V.assign(b, DBL_VCTR_1D(b, 0.0));
    for (size_t r = 0; r < b; ++r)
        for (size_t c = 0; c < b; ++c)
            for (size_t j = 0; j < n; ++j)
                V[r][c] += M[r][j] * X[j][c];
}

void ExpectNear(const DBL_VCTR_2D& a, const DBL_VCTR_2D& b, double tol) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].size(), b[i].size());
        for (size_t j = 0; j < a[i].size(); ++j)
            EXPECT_NEAR(a[i][j], b[i][j], tol * (1 + std::fabs(b[i][j]))) << i << "," << j;
    }
}

// L L' of a lower factor.
DBL_VCTR_2D Gram(const DBL_VCTR_2D& L) {
    const size_t n = L.size();
    DBL_VCTR_2D G(n, DBL_VCTR_1D(n, 0.0));
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            for (size_t t = 0; t < n; ++t)
                G[i][j] += L[i][t] * L[j][t];
    return G;
}

class SpatialPriorTest : public ::testing::Test {
  protected:
    void SetUp() override { SetProgramFlavour(ProgramFlavour::BreloAdm); }
};

}  // namespace

TEST_F(SpatialPriorTest, PsiStartsAtPsiUserOverTheLargestEigenvalue) {
    CSpatialPrior prior;
    DBL_VCTR_1D psi, sigma = {2.0, 3.0, 5.0};
    BuildSpatialPrior(prior, psi, sigma, Ring(8), {}, 1.0, Design(8), 0.6);
    ASSERT_EQ(psi.size(), 3u);
    EXPECT_NEAR(prior.largestEigenvalue, 2.0, 1e-12);
    EXPECT_TRUE(std::is_sorted(prior.logDet.Spectrum().begin(), prior.logDet.Spectrum().end()));
    for (double v : psi)
        EXPECT_NEAR(v, 0.3, 1e-12);
}

TEST_F(SpatialPriorTest, RegressionMatricesEqualTheirDefinitions) {
    const int n = 9;
    const INT_VCTR_2D NS = Ring(n);
    const DBL_VCTR_2D X = Design(n), W = DenseW(NS, {}, 1.0);
    CSpatialPrior prior;
    DBL_VCTR_1D psi, sigma = {2.0, 0.5};
    BuildSpatialPrior(prior, psi, sigma, NS, {}, 1.0, X, 0.9);
    for (int k = 0; k < 2; ++k) {
        DBL_VCTR_2D V, M;
        DirectGLS(X, W, psi[k], V, M);
        ExpectNear(prior.V[k], V, 1e-10);
        ExpectNear(prior.M[k], M, 1e-10);
        // Vinv V = I, Vinv_M = Vinv M, Var_beta Var_beta' = Vinv.
        for (size_t r = 0; r < 3; ++r)
            for (size_t c = 0; c < 3; ++c) {
                double s = 0;
                for (size_t t = 0; t < 3; ++t)
                    s += prior.Vinv[k][r][t] * V[t][c];
                EXPECT_NEAR(s, r == c ? 1.0 : 0.0, 1e-9);
            }
        ExpectNear(Gram(prior.Var_beta[k]), prior.Vinv[k], 1e-10);
        ExpectNear(
            Gram(prior.Var_beta_chol[k]),
            [&] {
                DBL_VCTR_2D S = prior.Vinv[k];
                for (auto& row : S)
                    for (double& v : row)
                        v *= sigma[k];
                return S;
            }(),
            1e-10);
    }
    // The initial-field factor: (I - psi W) RinvChol RinvChol' = I.
    const DBL_VCTR_2D G = Gram(prior.RinvChol);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int t = 0; t < n; ++t)
                s += ((i == t) - psi[0] * W[i][t]) * G[t][j];
            EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-10);
        }
    // It is the Cholesky factor of the explicit inverse.
    DBL_VCTR_2D R(n, DBL_VCTR_1D(n)), Rinv, factor;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            R[i][j] = (i == j) - psi[0] * W[i][j];
    InverseWithChol(Rinv, R);
    choldc(factor, Rinv);
    ExpectNear(prior.RinvChol, factor, 1e-12);
    FreeInitialFieldFactor(prior);
    EXPECT_TRUE(prior.RinvChol.empty());
}

TEST_F(SpatialPriorTest, RefreshAfterNewPsiAndSigmaMatchesAFreshBuild) {
    const int n = 7;
    CSpatialPrior prior, fresh;
    DBL_VCTR_1D psi, sigma = {1.0, 1.0}, psiFresh;
    BuildSpatialPrior(prior, psi, sigma, Ring(n), {}, 1.0, Design(n), 0.2);
    // psiUser 0.7 on a ring gives psi = 0.35; sigma 4 for cluster 1.
    DBL_VCTR_1D sigmaFresh = {1.0, 4.0};
    BuildSpatialPrior(fresh, psiFresh, sigmaFresh, Ring(n), {}, 1.0, Design(n), 0.7);
    RefreshRegressionMatrices(prior, 1, psiFresh[1], 1.0);
    RefreshSigma(prior, 1, 4.0);
    EXPECT_EQ(prior.V[1], fresh.V[1]);
    EXPECT_EQ(prior.Vinv_M[1], fresh.Vinv_M[1]);
    EXPECT_EQ(prior.Var_beta_chol[1], fresh.Var_beta_chol[1]);
    EXPECT_NE(prior.V[0], fresh.V[0]);  // the other cluster is untouched
}

TEST_F(SpatialPriorTest, DistanceWeightsOnlyForNeighbours) {
    // Four individuals on a line; 0-1, 1-2, 2-3 are neighbours.
    INT_VCTR_2D NS = {{1}, {0, 2}, {1, 3}, {2}};
    DBL_VCTR_2D geo(4, DBL_VCTR_1D(4));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            geo[i][j] = std::fabs(i - j) * 1.5;
    const double theta = 2.0;
    const DBL_VCTR_2D W = DenseW(NS, geo, theta);
    EXPECT_DOUBLE_EQ(W[0][1], std::exp(-1.5 / 2.0));
    EXPECT_EQ(W[0][2], 0.0);
    EXPECT_EQ(W[0][3], 0.0);
    EXPECT_EQ(W[1][1], 0.0);
    CSpatialPrior prior;
    DBL_VCTR_1D psi, sigma = {1.0};
    BuildSpatialPrior(prior, psi, sigma, NS, geo, theta, DBL_VCTR_2D(4, DBL_VCTR_1D(1, 1.0)), 0.5);
    ASSERT_EQ(prior.nsWeight[1].size(), 2u);
    EXPECT_DOUBLE_EQ(prior.nsWeight[1][1], std::exp(-0.75));
    // Intercept only: V is the sum of the entries of I - psi W.
    double sum = 0;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            sum += (i == j) - psi[0] * W[i][j];
    EXPECT_NEAR(prior.V[0][0][0], sum, 1e-12);
    EXPECT_EQ(prior.Vinv_M[0].size(), 1u);
}

TEST_F(SpatialPriorTest, RefusesAGraphWithoutEdgesADesignWiderThanTheDataOrAnImproperPsi) {
    CSpatialPrior prior;
    DBL_VCTR_1D psi, sigma = {1.0};
    EXPECT_EXIT(BuildSpatialPrior(prior, psi, sigma, INT_VCTR_2D(3), {}, 1.0,
                                  DBL_VCTR_2D(3, DBL_VCTR_1D(1, 1.0)), 0.6),
                ::testing::ExitedWithCode(1), "no pair of neighbours.* - BuildSpatialPrior");
    EXPECT_EXIT(BuildSpatialPrior(prior, psi, sigma, Ring(2), {}, 1.0, Design(2), 0.6),
                ::testing::ExitedWithCode(1),
                "more regression terms \\(3\\) than there are "
                "individuals \\(2\\)");
    // A ring of 4 has eigenvalues 2 and -2: I - psi W is singular at
    // psiUser = -1 and indefinite below; -0.9 is still a proper prior.
    const DBL_VCTR_2D intercept(4, DBL_VCTR_1D(1, 1.0));
    EXPECT_EXIT(BuildSpatialPrior(prior, psi, sigma, Ring(4), {}, 1.0, intercept, -1.5),
                ::testing::ExitedWithCode(1), "\\(-P\\) is too far below 0.*above -1\\.0");
    BuildSpatialPrior(prior, psi, sigma, Ring(4), {}, 1.0, intercept, -0.9);
    EXPECT_NEAR(psi[0], -0.45, 1e-12);
}

namespace {

// A triangulated grid of m x m sites: up to six neighbours a site.
INT_VCTR_2D TriangulatedGrid(int m) {
    INT_VCTR_2D NS(m * m);
    auto link = [&](int a, int b) {
        NS[a].push_back(b);
        NS[b].push_back(a);
    };
    for (int x = 0; x < m; ++x)
        for (int y = 0; y < m; ++y) {
            const int i = x * m + y;
            if (y + 1 < m)
                link(i, i + 1);
            if (x + 1 < m)
                link(i, i + m);
            if (x + 1 < m && y + 1 < m)
                link(i, i + m + 1);
        }
    return NS;
}

// Column j of the initial-field factor F (x = F z).
DBL_VCTR_2D FieldFactor(const CSpatialPrior& prior, int n) {
    DBL_VCTR_2D F(n, DBL_VCTR_1D(n));
    DBL_VCTR_1D e(n), x;
    for (int j = 0; j < n; ++j) {
        std::fill(e.begin(), e.end(), 0.0);
        e[j] = 1.0;
        ApplyInitialFieldFactor(prior, e, x);
        for (int i = 0; i < n; ++i)
            F[i][j] = x[i];
    }
    return F;
}

}  // namespace

// The dense routes (whole spectrum, dense field factor) and the sparse ones
// (Lanczos extremes, CHOLMOD factors) build the same prior.
TEST_F(SpatialPriorTest, DenseAndSparseRoutesBuildTheSamePrior) {
    const int m = 9, n = m * m;
    const INT_VCTR_2D NS = TriangulatedGrid(m);
    DBL_VCTR_2D geo(n, DBL_VCTR_1D(n));
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j)
            geo[i][j] = std::hypot(i / m - j / m, i % m - j % m) * (1 + 0.1 * ((i + j) % 3));
    const DBL_VCTR_2D X = Design(n);
    CSpatialPrior dense, sparse;
    dense.routes = SPriorRoutes{true, true};
    sparse.routes = SPriorRoutes{false, false};
    DBL_VCTR_1D psiD, psiS, sigma = {1.0, 3.0};
    BuildSpatialPrior(dense, psiD, sigma, NS, geo, 1.5, X, 0.95);
    BuildSpatialPrior(sparse, psiS, sigma, NS, geo, 1.5, X, 0.95);
    EXPECT_TRUE(dense.logDet.HoldsSpectrum());
    EXPECT_FALSE(sparse.logDet.HoldsSpectrum());
    EXPECT_TRUE(sparse.RinvChol.empty());
    EXPECT_NEAR(sparse.largestEigenvalue, dense.largestEigenvalue, 1e-10);
    EXPECT_NEAR(sparse.smallestEigenvalue, dense.smallestEigenvalue, 1e-10);
    for (int k = 0; k < 2; ++k) {
        EXPECT_NEAR(psiS[k], psiD[k], 1e-12);
        ExpectNear(sparse.V[k], dense.V[k], 1e-10);
        ExpectNear(sparse.M[k], dense.M[k], 1e-10);
        ExpectNear(sparse.Vinv_M[k], dense.Vinv_M[k], 1e-9);
        ExpectNear(sparse.Var_beta_chol[k], dense.Var_beta_chol[k], 1e-9);
    }
    const double upper = 1.0 / dense.largestEigenvalue;
    for (double a : {0.05, 0.5, 0.99}) {
        const double ref = dense.logDet.Ratio(a * upper, psiD[0]);
        EXPECT_NEAR(sparse.logDet.Ratio(a * upper, psiD[0]), ref, 1e-9 * (1 + std::fabs(ref)));
    }
    // The two field factors differ but give the same covariance (I - psi W)^-1.
    ExpectNear(Gram(FieldFactor(sparse, n)), Gram(dense.RinvChol), 1e-10);
}

// Initial fields drawn by either route: N(mean, sigma (I - psi W)^-1), with
// the same number of standard normal draws taken from the generator.
TEST_F(SpatialPriorTest, BothFieldRoutesDrawTheSameLaw) {
    const int m = 4, n = m * m;
    const INT_VCTR_2D NS = TriangulatedGrid(m);
    CSpatialPrior dense, sparse;
    dense.routes = SPriorRoutes{true, true};
    sparse.routes = SPriorRoutes{true, false};
    DBL_VCTR_1D psi, sigma = {2.5};
    BuildSpatialPrior(dense, psi, sigma, NS, {}, 1.0, Design(n), 0.9);
    BuildSpatialPrior(sparse, psi, sigma, NS, {}, 1.0, Design(n), 0.9);
    const DBL_VCTR_2D cov = Gram(dense.RinvChol);  // (I - psi W)^-1
    DBL_VCTR_1D mean(n);
    for (int i = 0; i < n; ++i)
        mean[i] = 0.5 * i - 3;
    // Contrasts a'x whose variance sigma a' cov a is checked: one site, a
    // neighbour difference and the total.
    std::vector<DBL_VCTR_1D> contrasts(3, DBL_VCTR_1D(n, 0.0));
    contrasts[0][5] = 1;
    contrasts[1][5] = 1;
    contrasts[1][6] = -1;
    std::fill(contrasts[2].begin(), contrasts[2].end(), 1.0);
    const int draws = 4000;
    for (const CSpatialPrior* prior : {&dense, &sparse}) {
        gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(rng, 77);
        DBL_VCTR_2D work;
        DBL_VCTR_1D CAR, sum(n, 0.0), sumA(3, 0.0), sumA2(3, 0.0);
        for (int d = 0; d < draws; ++d) {
            DrawInitialField(*prior, mean, sigma[0], work, CAR, rng);
            for (int i = 0; i < n; ++i)
                sum[i] += CAR[i];
            for (int c = 0; c < 3; ++c) {
                double v = 0;
                for (int i = 0; i < n; ++i)
                    v += contrasts[c][i] * (CAR[i] - mean[i]);
                sumA[c] += v;
                sumA2[c] += v * v;
            }
        }
        for (int c = 0; c < 3; ++c) {
            double truth = 0;
            for (int i = 0; i < n; ++i)
                for (int j = 0; j < n; ++j)
                    truth += sigma[0] * contrasts[c][i] * cov[i][j] * contrasts[c][j];
            const double var = sumA2[c] / draws - std::pow(sumA[c] / draws, 2);
            EXPECT_NEAR(var / truth, 1.0, 5 * std::sqrt(2.0 / draws)) << c;
            EXPECT_NEAR(sumA[c] / draws, 0.0, 5 * std::sqrt(truth / draws)) << c;
        }
        FreeRNG(rng);
    }
    // Both routes leave the generator at the same place.
    gsl_rng* a = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng* b = gsl_rng_alloc(gsl_rng_mt19937);
    DBL_VCTR_2D work;
    DBL_VCTR_1D CAR;
    DrawInitialField(dense, mean, 1.0, work, CAR, a);
    work.clear();
    DrawInitialField(sparse, mean, 1.0, work, CAR, b);
    EXPECT_EQ(gsl_rng_get(a), gsl_rng_get(b));
    FreeRNG(a);
    FreeRNG(b);
}

#include <gtest/gtest.h>

#include <cmath>

#include "breloAdm/SpatialPrior.h"
#include "core/MatrixUtilities.h"
#include "core/ProgramFlavour.h"

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

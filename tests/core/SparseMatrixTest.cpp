#include "core/SparseMatrix.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/MatrixUtilities.h"
#include "core/ProgramFlavour.h"

namespace {

// A triangulated m x m grid (right, down and down-right neighbours, so up
// to six a site, a planar graph like a Voronoi neighbourhood) with positive
// weights that differ from pair to pair but agree both ways.
struct SGrid {
    INT_VCTR_2D NS;
    DBL_VCTR_2D weights;
};
SGrid TriangulatedGrid(int m) {
    SGrid g;
    const int n = m * m;
    g.NS.assign(n, INT_VCTR_1D());
    g.weights.assign(n, DBL_VCTR_1D());
    auto link = [&](int a, int b) {
        const double w = std::exp(-0.1 * ((a * 7 + b * 13) % 11) - 0.1 * ((b * 7 + a * 13) % 11));
        g.NS[a].push_back(b);
        g.weights[a].push_back(w);
        g.NS[b].push_back(a);
        g.weights[b].push_back(w);
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
    return g;
}

DBL_VCTR_1D Spectrum(const CSparseMatrix& W) {
    DBL_VCTR_1D ev(W.n, 0.0);
    computeEigenvalues(ev, ToDense(W));
    return ev;
}

double LogDetFromSpectrum(const DBL_VCTR_1D& ev, double psi) {
    double s = 0;
    for (double l : ev)
        s += std::log(1.0 - psi * l);
    return s;
}

class SparseMatrixTest : public ::testing::Test {
  protected:
    void SetUp() override { SetProgramFlavour(ProgramFlavour::BreloAdm); }
};

}  // namespace

TEST_F(SparseMatrixTest, NeighbourListsGiveTheDenseWeightMatrixAndItsProducts) {
    // A repeated neighbour gives one entry, as in the dense matrix.
    INT_VCTR_2D NS = {{1, 2, 1}, {0}, {0, 3}, {2}};
    DBL_VCTR_2D geo(4, DBL_VCTR_1D(4));
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            geo[i][j] = 0.3 * (i + j) + (i == j ? 0 : 1);
    DBL_VCTR_2D weights;
    for (int i = 0; i < 4; ++i) {
        weights.emplace_back();
        for (int j : NS[i])
            weights[i].push_back(std::exp(-geo[i][j] / 2.0));
    }
    DBL_VCTR_2D dense(4, DBL_VCTR_1D(4, 0.0));
    buildNeighborhoodMatrix(dense, NS, geo, 2.0);
    const CSparseMatrix W = SparseFromNeighbours(NS, weights);
    EXPECT_EQ(W.NonZeros(), 6);
    EXPECT_EQ(ToDense(W), dense);

    // Xtild' W: exactly the dense product, on a bigger system.
    const SGrid g = TriangulatedGrid(7);
    const CSparseMatrix G = SparseFromNeighbours(g.NS, g.weights);
    DBL_VCTR_2D X(G.n, DBL_VCTR_1D(3));
    for (int i = 0; i < G.n; ++i)
        X[i] = {1.0, std::sin(1.7 * i) * 3, 0.01 * i * i};
    DBL_VCTR_2D sparseProduct, denseProduct;
    Mult_t_left(sparseProduct, X, G);
    Mult_t_left(denseProduct, X, ToDense(G));
    EXPECT_EQ(sparseProduct, denseProduct);
    DBL_VCTR_1D x(G.n), y(G.n);
    for (int i = 0; i < G.n; ++i)
        x[i] = X[i][1];
    MultSparse(y.data(), G, x.data());
    const DBL_VCTR_2D D = ToDense(G);
    for (int i = 0; i < G.n; ++i) {
        double s = 0;
        for (int j = 0; j < G.n; ++j)
            s += D[i][j] * x[j];
        EXPECT_NEAR(y[i], s, 1e-12);
    }
    EXPECT_EXIT(SparseFromNeighbours({{1}, {2}}, {{1.0}, {1.0}}), ::testing::ExitedWithCode(1),
                "Neighbour index out of range - SparseFromNeighbours");
}

TEST_F(SparseMatrixTest, LanczosExtremeEigenvaluesMatchTheWholeSpectrum) {
    for (int m : {4, 20}) {  // below and above the size that goes to Lanczos
        const SGrid g = TriangulatedGrid(m);
        const CSparseMatrix W = SparseFromNeighbours(g.NS, g.weights);
        const DBL_VCTR_1D ev = Spectrum(W);
        const SExtremeEigenvalues e = ExtremeEigenvalues(W);
        EXPECT_NEAR(e.smallest, ev.front(), 1e-10) << m;
        EXPECT_NEAR(e.largest, ev.back(), 1e-10) << m;
        EXPECT_NEAR(LargestEigenvalue(W), ev.back(), 1e-10) << m;
        // Same matrix, same values, call after call.
        EXPECT_EQ(ExtremeEigenvalues(W).largest, e.largest);
    }
}

TEST_F(SparseMatrixTest, CholeskyFactorGivesLogDeterminantsAndTheCovarianceFactor) {
    const SGrid g = TriangulatedGrid(9);
    const CSparseMatrix W = SparseFromNeighbours(g.NS, g.weights);
    const DBL_VCTR_1D ev = Spectrum(W);
    const double upper = 1.0 / ev.back(), lower = 1.0 / ev.front();
    CSparseCholesky chol(W);
    for (double share : {-0.9, -0.2, 0.0, 0.5, 0.99, 0.999999}) {
        const double psi = share * (share < 0 ? -lower : upper);
        ASSERT_TRUE(chol.Factorise(psi)) << share;
        EXPECT_NEAR(chol.LogDeterminant(), LogDetFromSpectrum(ev, psi), 1e-9 * W.n) << share;
    }
    // Beyond either end I - psi W is not positive definite; a later psi
    // inside the range factorises again.
    EXPECT_FALSE(chol.Factorise(1.001 * upper));
    EXPECT_TRUE(std::isnan(chol.LogDeterminant()));
    EXPECT_FALSE(chol.Factorise(1.001 * lower));
    ASSERT_TRUE(chol.Factorise(0.7 * upper));
    EXPECT_GT(chol.FactorNonZeros(), W.n);

    // F = P' L^-T, column by column: F F' (I - psi W) = I.
    const double psi = 0.7 * upper;
    const int n = W.n;
    DBL_VCTR_2D F(n, DBL_VCTR_1D(n));
    DBL_VCTR_1D e(n), x(n);
    for (int j = 0; j < n; ++j) {
        std::fill(e.begin(), e.end(), 0.0);
        e[j] = 1.0;
        chol.SolveTransposedFactor(x.data(), e.data());
        for (int i = 0; i < n; ++i)
            F[i][j] = x[i];
    }
    DBL_VCTR_2D cov;
    Mult_t(cov, F, F);
    const DBL_VCTR_2D D = ToDense(W);
    double worst = 0;
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            double s = 0;
            for (int t = 0; t < n; ++t)
                s += cov[i][t] * ((t == j) - psi * D[t][j]);
            worst = std::max(worst, std::fabs(s - (i == j)));
        }
    EXPECT_LT(worst, 1e-10);
}

TEST_F(SparseMatrixTest, BothLogDeterminantRoutesAgree) {
    const SGrid g = TriangulatedGrid(12);
    const CSparseMatrix W = SparseFromNeighbours(g.NS, g.weights);
    CLogDeterminant spectrum, sparse;
    spectrum.Build(W, true);
    sparse.Build(W, false);
    EXPECT_TRUE(spectrum.HoldsSpectrum());
    EXPECT_FALSE(sparse.HoldsSpectrum());
    const double upper = 1.0 / spectrum.Spectrum().back();
    for (double a : {0.0, 0.3, 0.95})
        for (double b : {0.1, 0.5, 0.999}) {
            const double ref = spectrum.Ratio(a * upper, b * upper);
            EXPECT_NEAR(sparse.Ratio(a * upper, b * upper), ref, 1e-9 * (1 + std::fabs(ref)));
        }
    // Remembered values come back unchanged; a value out of range is NaN.
    const double v = sparse.Value(0.4 * upper);
    for (int t = 0; t < 200; ++t)
        sparse.Value(t * 1e-4 * upper);
    EXPECT_EQ(sparse.Value(0.4 * upper), v);
    EXPECT_TRUE(std::isnan(sparse.Value(1.5 * upper)));
    // Chosen by size.
    CLogDeterminant bySize;
    bySize.Build(W);
    EXPECT_EQ(bySize.HoldsSpectrum(), W.n <= CLogDeterminant::kDenseSpectrumLimit);
}

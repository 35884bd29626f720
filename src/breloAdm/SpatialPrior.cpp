#include "breloAdm/SpatialPrior.h"

#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <string>

#include "core/MatrixUtilities.h"
#include "core/Messages.h"
#include "core/ProgramExit.h"
#include "core/RNGUtilities.h"
#include "core/SparseMatrix.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    Refuse(message);
}

void BuildNeighbourWeights(CSpatialPrior& prior, const INT_VCTR_2D& vvnNS, const DBL_VCTR_2D& geo,
                           double theta) {
    prior.nsWeight.assign(vvnNS.size(), DBL_VCTR_1D());
    for (size_t i = 0; i < vvnNS.size(); ++i) {
        prior.nsWeight[i].assign(vvnNS[i].size(), 1.0);
        if (geo.empty())
            continue;
        for (size_t t = 0; t < vvnNS[i].size(); ++t)
            prior.nsWeight[i][t] = std::exp(-geo[i][vvnNS[i][t]] / theta);
    }
}

// Y = G^-1 for the lower triangular G, row by row: row i of Y is
// (e_i - sum_{k<i} G[i][k] Y[k]) / G[i][i], so every update is a contiguous
// run over a row.
void InvertLowerTriangular(const DBL_VCTR_2D& G, DBL_VCTR_2D& Y) {
    const size_t n = G.size();
    Y.assign(n, DBL_VCTR_1D(n, 0.0));
    for (size_t i = 0; i < n; ++i) {
        double* yi = Y[i].data();
        yi[i] = 1.0;
        for (size_t k = 0; k < i; ++k) {
            const double g = G[i][k];
            const double* yk = Y[k].data();
            for (size_t j = 0; j <= k; ++j)
                yi[j] -= g * yk[j];
        }
        const double d = G[i][i];
        for (size_t j = 0; j <= i; ++j)
            yi[j] /= d;
    }
}

// The dense initial-field factor, computed once for the common starting
// psi0: the lower Cholesky factor of (I - psi0 W)^-1, without forming the
// inverse. With P the order-reversing permutation and P R P = G G' (G lower),
// R^-1 = (P G^-T P)(P G^-T P)' and P G^-T P is lower with a positive
// diagonal: it is that factor. R is built in place of the dense W; each
// N x N intermediate is freed as soon as the next exists.
void BuildDenseFieldFactor(CSpatialPrior& prior, double psi0) {
    DBL_VCTR_2D W = ToDense(prior.W);
    const size_t n = W.size();
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            W[i][j] = (i == j) ? 1.0 : -psi0 * W[i][j];
    std::reverse(W.begin(), W.end());
    for (DBL_VCTR_1D& row : W)
        std::reverse(row.begin(), row.end());
    DBL_VCTR_2D G;
    choldc(G, W);
    DBL_VCTR_2D().swap(W);
    DBL_VCTR_2D Y;
    InvertLowerTriangular(G, Y);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            G[i][j] = Y[n - 1 - j][n - 1 - i];
    prior.RinvChol.swap(G);
}

// The sparse initial-field factor: CHOLMOD's factor of I - psi0 W.
void BuildSparseFieldFactor(CSpatialPrior& prior, double psi0) {
    prior.fieldFactor = std::make_shared<CSparseCholesky>(prior.W);
    if (!prior.fieldFactor->Factorise(psi0))
        Fail(
            "I - psi W is not positive definite at the starting spatial interaction parameter "
            "(-P too close to 1) - BuildSpatialPrior");
}

// The extreme eigenvalues of W and the log-determinant of the psi step.
void BuildSpectrum(CSpatialPrior& prior, bool denseSpectrum) {
    prior.logDet.Build(prior.W, denseSpectrum);
    if (prior.logDet.HoldsSpectrum()) {
        prior.smallestEigenvalue = prior.logDet.Spectrum().front();
        prior.largestEigenvalue = prior.logDet.Spectrum().back();
        return;
    }
    const SExtremeEigenvalues extremes = ExtremeEigenvalues(prior.W);
    prior.smallestEigenvalue = extremes.smallest;
    prior.largestEigenvalue = extremes.largest;
}

void SizeRegressionMatrices(CSpatialPrior& prior, int K, int bl, int N) {
    InitVctr3D(prior.psi_tXtild_W, K, bl, N, 0.0);
    InitVctr3D(prior.psi_tXtild_W_Xtild, K, bl, bl, 0.0);
    InitVctr3D(prior.V, K, bl, bl, 0.0);
    InitVctr3D(prior.M, K, bl, N, 0.0);
    InitVctr3D(prior.Vinv, K, bl, bl, 0.0);
    InitVctr3D(prior.Vinv_M, K, bl, N, 0.0);
    InitVctr3D(prior.Var_beta, K, bl, bl, 0.0);
    InitVctr3D(prior.Var_beta_chol, K, bl, bl, 0.0);
    InitVctr1D(prior.Constant, bl, 0.0);
}

void BuildFixedProducts(CSpatialPrior& prior, const DBL_VCTR_2D& Xtild) {
    Mult_t_left(prior.tXtild_Xtild, Xtild, Xtild);
    const double tau = prior.coefficientScale;
    const double N = static_cast<double>(Xtild.size());
    prior.coefPrecision = prior.tXtild_Xtild;
    Mult_byConstant(prior.coefPrecision, prior.tXtild_Xtild,
                    tau > 0.0 ? 1.0 / (N * tau * tau) : 0.0);
    Mult_t_left(prior.tXtild_W, Xtild, prior.W);
    Mult(prior.tXtild_W_Xtild, prior.tXtild_W, Xtild);
    Transpose(prior.tXtild, Xtild);
}

}  // namespace

void BuildWeightMatrix(DBL_VCTR_2D& W, const INT_VCTR_2D& vvnNS, const DBL_VCTR_2D& geo,
                       double theta) {
    const size_t n = vvnNS.size();
    W.assign(n, DBL_VCTR_1D(n, 0.0));
    if (geo.empty())
        buildNeighborhoodMatrix(W, vvnNS);
    else
        buildNeighborhoodMatrix(W, vvnNS, geo, theta);
}

SPriorRoutes DefaultPriorRoutes(int N, bool updatePsi) {
    SPriorRoutes routes;
    routes.denseSpectrum = updatePsi && N <= kDenseSpectrumLimit;
    routes.denseField = N <= kDenseFieldLimit;
    return routes;
}

void BuildSpatialPrior(CSpatialPrior& prior, DBL_VCTR_1D& psi, const DBL_VCTR_1D& sigma,
                       const INT_VCTR_2D& vvnNS, const DBL_VCTR_2D& geo, double theta,
                       const DBL_VCTR_2D& Xtild, double psiUser) {
    const SPriorRoutes routes =
        prior.routes ? *prior.routes : DefaultPriorRoutes(static_cast<int>(vvnNS.size()));
    BuildSpatialPrior(prior, psi, sigma, vvnNS, geo, theta, Xtild, psiUser, routes);
}

void BuildSpatialPrior(CSpatialPrior& prior, DBL_VCTR_1D& psi, const DBL_VCTR_1D& sigma,
                       const INT_VCTR_2D& vvnNS, const DBL_VCTR_2D& geo, double theta,
                       const DBL_VCTR_2D& Xtild, double psiUser, const SPriorRoutes& routes) {
    std::cout << "Inverting Covariance Matrices ..." << std::endl;
    const int N = static_cast<int>(vvnNS.size());
    const int K = static_cast<int>(sigma.size());
    const int bl = static_cast<int>(Xtild[0].size());
    BuildNeighbourWeights(prior, vvnNS, geo, theta);
    prior.W = SparseFromNeighbours(vvnNS, prior.nsWeight);
    if (bl > N)
        Fail("The design has more regression terms (" + std::to_string(bl) +
             ") than there are "
             "individuals (" +
             std::to_string(N) + "); lower the trend degree - BuildSpatialPrior");
    // Without any neighbour pair psi would be psiUser / 0.
    const char* noPair =
        "The neighbourhood system has no pair of neighbours: the spatial prior needs "
        "individuals at two distinct sites at least - BuildSpatialPrior";
    if (prior.W.NonZeros() == 0)
        Fail(noPair);
    BuildSpectrum(prior, routes.denseSpectrum);
    if (!(prior.largestEigenvalue > 0.0))
        Fail(noPair);
    psi.assign(K, psiUser / prior.largestEigenvalue);
    // psiUser < 1 keeps 1 - psi lambda positive at the largest eigenvalue; a
    // psiUser far below 0 can make it negative at the smallest one, and the
    // field would have no covariance.
    if (!(1.0 - psi[0] * prior.smallestEigenvalue > 0.0))
        Fail(
            "The spatial interaction parameter (-P) is too far below 0 for this neighbourhood "
            "system: it must be above " +
            std::to_string(prior.largestEigenvalue / prior.smallestEigenvalue) +
            " - BuildSpatialPrior");
    BuildFixedProducts(prior, Xtild);
    if (routes.denseField)
        BuildDenseFieldFactor(prior, psi[0]);
    else
        BuildSparseFieldFactor(prior, psi[0]);
    SizeRegressionMatrices(prior, K, bl, N);
    for (int k = 0; k < K; ++k)
        RefreshRegressionMatrices(prior, k, psi[k], sigma[k]);
}

namespace {

bool HasCoefficientPrior(const CSpatialPrior& prior) {
    return prior.coefficientScale > 0.0;
}

// V, Vinv, Vinv_M, Var_beta and Var_beta_chol of cluster k from its psi
// products and sigma_k.
void RefreshCoefficientLaw(CSpatialPrior& prior, int k, double sigma_k) {
    Diff(prior.V[k], prior.tXtild_Xtild, prior.psi_tXtild_W_Xtild[k]);
    if (HasCoefficientPrior(prior)) {
        const size_t bl = prior.V[k].size();
        for (size_t a = 0; a < bl; ++a)
            for (size_t b = 0; b < bl; ++b)
                prior.V[k][a][b] += sigma_k * prior.coefPrecision[a][b];
    }
    Inverse(prior.Vinv[k], prior.V[k]);
    Mult(prior.Vinv_M[k], prior.Vinv[k], prior.M[k]);
    choldc(prior.Var_beta[k], prior.Vinv[k]);
    Mult_byConstant(prior.Var_beta_chol[k], prior.Var_beta[k], std::sqrt(sigma_k));
}

}  // namespace

void RefreshSigma(CSpatialPrior& prior, int k, double sigma_k) {
    if (HasCoefficientPrior(prior))
        RefreshCoefficientLaw(prior, k, sigma_k);
    else
        Mult_byConstant(prior.Var_beta_chol[k], prior.Var_beta[k], std::sqrt(sigma_k));
}

void RefreshRegressionMatrices(CSpatialPrior& prior, int k, double psi_k, double sigma_k) {
    Mult_byConstant(prior.psi_tXtild_W_Xtild[k], prior.tXtild_W_Xtild, psi_k);
    Mult_byConstant(prior.psi_tXtild_W[k], prior.tXtild_W, psi_k);
    Diff(prior.M[k], prior.tXtild, prior.psi_tXtild_W[k]);
    RefreshCoefficientLaw(prior, k, sigma_k);
}

double LogCoefficientPrior(const CSpatialPrior& prior, const DBL_VCTR_1D& beta) {
    if (!HasCoefficientPrior(prior))
        return 0.0;
    double q = 0.0;
    for (size_t a = 0; a < beta.size(); ++a)
        for (size_t b = 0; b < beta.size(); ++b)
            q += beta[a] * prior.coefPrecision[a][b] * beta[b];
    return -0.5 * q;
}

void ApplyInitialFieldFactor(const CSpatialPrior& prior, const DBL_VCTR_1D& z, DBL_VCTR_1D& x) {
    const size_t n = prior.W.n;
    x.resize(n);
    if (prior.fieldFactor) {
        prior.fieldFactor->SolveTransposedFactor(x.data(), z.data());
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        double v = 0.0;
        for (size_t j = 0; j <= i; ++j)
            v += prior.RinvChol[i][j] * z[j];
        x[i] = v;
    }
}

void DrawInitialField(const CSpatialPrior& prior, const DBL_VCTR_1D& mean, double sigma_k,
                      DBL_VCTR_2D& work, DBL_VCTR_1D& CAR, const gsl_rng* rng) {
    if (!prior.fieldFactor) {
        if (work.size() != prior.RinvChol.size())
            work = prior.RinvChol;
        Mult_byConstant(work, prior.RinvChol, std::sqrt(sigma_k));
        MultivariateGauss(mean, work, CAR, rng);
        return;
    }
    const size_t n = prior.W.n;
    work.resize(2);
    DBL_VCTR_1D& z = work[0];
    DBL_VCTR_1D& x = work[1];
    z.resize(n);
    for (size_t j = 0; j < n; ++j)
        z[j] = gsl_ran_ugaussian(rng);
    ApplyInitialFieldFactor(prior, z, x);
    const double sd = std::sqrt(sigma_k);
    CAR.resize(std::max(CAR.size(), n));
    for (size_t i = 0; i < n; ++i)
        CAR[i] = mean[i] + sd * x[i];
}

void FreeInitialFieldFactor(CSpatialPrior& prior) {
    DBL_VCTR_2D().swap(prior.RinvChol);
    prior.fieldFactor.reset();
}

// The spatial prior of the admixture model: the weighted neighbourhood
// matrix, its eigenvalues, the factor of the initial CAR field and the
// generalised-least-squares matrices of the regression coefficients, with
// the refresh functions the sampler calls after a new sigma[k] or psi[k].
// W is sparse (a handful of neighbours a site) and nothing of size N x N is
// formed beyond the small-size routes: the whole spectrum of W and the dense
// initial-field factor below the sizes where they are cheaper, ARPACK's
// extreme eigenvalues and CHOLMOD factors of I - psi W above.
#ifndef BRELO_BRELOADM_SPATIALPRIOR_H
#define BRELO_BRELOADM_SPATIALPRIOR_H

#include <gsl/gsl_rng.h>

#include <memory>
#include <optional>

#include "core/SparseMatrix.h"
#include "core/VectorUtilities.h"

// Which computations go through dense N x N matrices.
struct SPriorRoutes {
    // All eigenvalues of W (LAPACK, cubic) for the log-determinants of the
    // psi step; otherwise a sparse Cholesky factor of I - psi W per value.
    bool denseSpectrum = true;
    // The dense factor RinvChol of the initial field; otherwise the sparse
    // Cholesky factor of I - psi0 W.
    bool denseField = true;
};
// Up to these sizes the dense routes cost less (measured by
// bench/breloAdm_setup_bench): the spectrum is paid once and makes each psi
// proposal a sum of N logarithms instead of a sparse factorisation, the
// dense field factor is cheap for small N. The spectrum serves the psi step
// alone: a run that keeps psi fixed never computes it.
constexpr int kDenseSpectrumLimit = CLogDeterminant::kDenseSpectrumLimit;
constexpr int kDenseFieldLimit = 200;
SPriorRoutes DefaultPriorRoutes(int N, bool updatePsi = true);

struct CSpatialPrior {
    // The routes to take; chosen by the size when unset.
    std::optional<SPriorRoutes> routes;

    // Neighbour weights w_ij aligned with the neighbour lists (1, or
    // exp(-geo/theta) with a distance file): the sweep never reads W.
    DBL_VCTR_2D nsWeight;
    CSparseMatrix W;  // the same weights as a sparse symmetric matrix
    double smallestEigenvalue = 0.0, largestEigenvalue = 0.0;  // of W
    // log det(I - psi W) for any psi (it holds all eigenvalues of W,
    // increasing, on the dense route).
    CLogDeterminant logDet;

    // Factor of (I - psi0 W)^-1, psi0 the common starting value of every
    // cluster, freed once the initial field is drawn: the dense lower factor
    // RinvChol, or the sparse Cholesky factor of I - psi0 W.
    DBL_VCTR_2D RinvChol;
    std::shared_ptr<CSparseCholesky> fieldFactor;

    // Prior of every cluster's coefficients: with a scale tau > 0 the
    // unit-information Gaussian N(0, tau^2 N (Xtild'Xtild)^-1), under which
    // the trend's part along each term varies over the sites by about tau
    // whatever the units or origin of the covariates; with 0, the flat
    // prior. Set before the prior is built.
    double coefficientScale = 0.0;
    DBL_VCTR_2D coefPrecision;  // bl x bl, Xtild'Xtild / (N tau^2); zeros when flat

    DBL_VCTR_2D tXtild_Xtild;        // bl x bl
    DBL_VCTR_2D tXtild_W;            // bl x N
    DBL_VCTR_2D tXtild_W_Xtild;      // bl x bl
    DBL_VCTR_2D tXtild;              // bl x N, Xtild'
    DBL_VCTR_3D psi_tXtild_W;        // K x bl x N
    DBL_VCTR_3D psi_tXtild_W_Xtild;  // K x bl x bl
    // With the Gaussian prior of the coefficients, V[k] also holds
    // sigma[k] coefPrecision, so that beta[k] ~ N(Vinv_M[k] CAR[k],
    // sigma[k] Vinv[k]) either way.
    DBL_VCTR_3D V;              // K x bl x bl, Xtild' R_k Xtild
    DBL_VCTR_3D M;              // K x bl x N, Xtild' R_k
    DBL_VCTR_3D Vinv;           // K x bl x bl
    DBL_VCTR_3D Vinv_M;         // K x bl x N
    DBL_VCTR_3D Var_beta;       // K x bl x bl, lower factor of Vinv[k]
    DBL_VCTR_3D Var_beta_chol;  // K x bl x bl, sqrt(sigma[k]) Var_beta[k]
    DBL_VCTR_1D Constant;       // bl zeros, prior mean of the initial beta
};

// W: W[i][j] = w_ij for every neighbour j of i, 0 elsewhere. geo may be
// empty (unit weights).
void BuildWeightMatrix(DBL_VCTR_2D& W, const INT_VCTR_2D& vvnNS, const DBL_VCTR_2D& geo,
                       double theta);

// Builds every matrix of the prior and sets psi[k] = psiUser / largest
// eigenvalue for all K clusters. sigma holds the starting CAR variances.
// Prints "Inverting Covariance Matrices ...". Refuses (stderr, exit 1) a
// graph without a neighbour pair, a design wider than the data and a psiUser
// so far below 0 that I - psi W is not positive definite. The routes are
// those given, else prior.routes, else chosen by the size.
void BuildSpatialPrior(CSpatialPrior& prior, DBL_VCTR_1D& psi, const DBL_VCTR_1D& sigma,
                       const INT_VCTR_2D& vvnNS, const DBL_VCTR_2D& geo, double theta,
                       const DBL_VCTR_2D& Xtild, double psiUser);
void BuildSpatialPrior(CSpatialPrior& prior, DBL_VCTR_1D& psi, const DBL_VCTR_1D& sigma,
                       const INT_VCTR_2D& vvnNS, const DBL_VCTR_2D& geo, double theta,
                       const DBL_VCTR_2D& Xtild, double psiUser, const SPriorRoutes& routes);

// After a new sigma[k]: Var_beta_chol[k] = sqrt(sigma_k) Var_beta[k]; with
// the Gaussian prior of the coefficients, V, Vinv, Vinv_M and Var_beta too.
void RefreshSigma(CSpatialPrior& prior, int k, double sigma_k);
// log density of beta under the coefficients' prior, up to a constant (0
// for the flat prior).
double LogCoefficientPrior(const CSpatialPrior& prior, const DBL_VCTR_1D& beta);
// After a new psi[k]: the products, V, M, Vinv, Vinv_M, Var_beta and
// Var_beta_chol of cluster k for psi_k.
void RefreshRegressionMatrices(CSpatialPrior& prior, int k, double psi_k, double sigma_k);

// x = F z with F F' = (I - psi0 W)^-1: F = RinvChol on the dense route,
// P' L^-T on the sparse one. z holds N values.
void ApplyInitialFieldFactor(const CSpatialPrior& prior, const DBL_VCTR_1D& z, DBL_VCTR_1D& x);
// CAR = mean + sqrt(sigma_k) F z, z N standard normal draws taken in order:
// the initial field of one cluster, N(mean, sigma_k (I - psi0 W)^-1) by
// either route. work is a buffer reused across clusters (N x N on the dense
// route).
void DrawInitialField(const CSpatialPrior& prior, const DBL_VCTR_1D& mean, double sigma_k,
                      DBL_VCTR_2D& work, DBL_VCTR_1D& CAR, const gsl_rng* rng);
void FreeInitialFieldFactor(CSpatialPrior& prior);

// sum over neighbours j of i of w_ij v[j].
inline double NeighbourSum(const CSpatialPrior& prior, const INT_VCTR_2D& vvnNS, int i,
                           const double* v) {
    const INT_VCTR_1D& ns = vvnNS[i];
    const DBL_VCTR_1D& w = prior.nsWeight[i];
    double sum = 0.0;
    for (size_t t = 0; t < ns.size(); ++t)
        sum += w[t] * v[ns[t]];
    return sum;
}

#endif

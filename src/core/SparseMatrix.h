// Sparse symmetric matrices for the neighbourhood weights of a spatial
// prior, and what is computed from them without ever forming an n x n array:
// products with dense designs, the extreme eigenvalues (ARPACK's Lanczos),
// log-determinants and Gaussian draws through a sparse Cholesky factor
// (CHOLMOD). The dense counterparts live in MatrixUtilities.
#ifndef BRELO_CORE_SPARSEMATRIX_H
#define BRELO_CORE_SPARSEMATRIX_H

#include <memory>
#include <utility>
#include <vector>

#include "core/VectorUtilities.h"

// An n x n matrix in compressed rows: the entries of row i are
// col[rowStart[i] .. rowStart[i+1]-1] (increasing) with their values val.
// Symmetric matrices store both triangles.
struct CSparseMatrix {
    int n = 0;
    std::vector<int> rowStart;  // n + 1
    std::vector<int> col;
    std::vector<double> val;

    int NonZeros() const { return static_cast<int>(col.size()); }
};

// W[i][j] = weights[i][t] for j = NS[i][t], every other entry 0: the sparse
// form of buildNeighborhoodMatrix. A neighbour listed twice in a row gives
// one entry (the later weight, as the dense matrix keeps it); indices
// outside 0..n-1 (n = rows of NS) are fatal. weights is aligned with NS.
CSparseMatrix SparseFromNeighbours(const INT_VCTR_2D& NS, const DBL_VCTR_2D& weights);

// The dense n x n copy (tests and the small-size routes).
DBL_VCTR_2D ToDense(const CSparseMatrix& W);

// y = W x (x and y hold n values, distinct arrays).
void MultSparse(double* y, const CSparseMatrix& W, const double* x);

// Res = A'.W (A dense with n rows, Res cols(A) x n), summing each entry over
// the rows of W in increasing order as the dense Mult_t_left does: the same
// values without the n x n work.
void Mult_t_left(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const CSparseMatrix& W);

// Smallest and largest eigenvalues of the symmetric W. Computed by ARPACK's
// implicitly restarted Lanczos iteration to machine precision (from a fixed
// starting vector, so that repeated calls agree), or from the whole dense
// spectrum when n is too small for Lanczos or it does not converge.
struct SExtremeEigenvalues {
    double smallest = 0.0;
    double largest = 0.0;
};
SExtremeEigenvalues ExtremeEigenvalues(const CSparseMatrix& W);
// Only the largest.
double LargestEigenvalue(const CSparseMatrix& W);

// Cholesky factor of I - psi W for a symmetric sparse W: CHOLMOD analyses
// the pattern once (fill-reducing ordering), each Factorise redoes only the
// numeric factorisation, so a factor for a new psi costs a fraction of the
// first one. With P A P' = L L' (A = I - psi W):
//  - log det A = 2 sum_i log L_ii;
//  - x = P' L^-T z has covariance A^-1 when z is standard normal.
class CSparseCholesky {
  public:
    explicit CSparseCholesky(const CSparseMatrix& W);
    ~CSparseCholesky();
    CSparseCholesky(const CSparseCholesky&) = delete;
    CSparseCholesky& operator=(const CSparseCholesky&) = delete;

    // Factorises I - psi W. False when it is not positive definite (the
    // factor is then unusable until a later Factorise succeeds).
    bool Factorise(double psi);
    // log det(I - psi W) of the last successful factorisation.
    double LogDeterminant() const;
    // x = P' L^-T z, n values, x and z may be the same array.
    void SolveTransposedFactor(double* x, const double* z) const;
    // Non-zeros of the factor L.
    double FactorNonZeros() const;

  private:
    struct SImpl;
    std::unique_ptr<SImpl> m_pImpl;
};

// log det(I - psi W) of a symmetric W for any psi where I - psi W is positive
// definite, by the route that is cheaper for the size: from the whole
// spectrum of W (LAPACK, cubic once, then n logarithms a value) up to
// kDenseSpectrumLimit rows, from a sparse Cholesky factor of I - psi W (one
// numeric factorisation a value, the last values remembered) above; the
// sparse factor is analysed at the first value asked for.
class CLogDeterminant {
  public:
    static constexpr int kDenseSpectrumLimit = 3000;

    // useSpectrum: the first route; by default chosen by the size.
    void Build(const CSparseMatrix& W, bool useSpectrum);
    void Build(const CSparseMatrix& W) { Build(W, W.n <= kDenseSpectrumLimit); }

    bool HoldsSpectrum() const { return !m_eigenVal.empty(); }
    // All eigenvalues of W, increasing (empty on the sparse route).
    const DBL_VCTR_1D& Spectrum() const { return m_eigenVal; }

    // log det(I - psiNew W) - log det(I - psiOld W). On the spectrum route
    // the sum over i of log(1 - psiNew lambda_i) - log(1 - psiOld lambda_i),
    // in increasing i. Both values must keep I - psi W positive definite
    // (not-a-number otherwise).
    double Ratio(double psiNew, double psiOld);
    // log det(I - psi W).
    double Value(double psi);

  private:
    DBL_VCTR_1D m_eigenVal;
    CSparseMatrix m_W;  // kept for the sparse route
    std::shared_ptr<CSparseCholesky> m_pCholesky;
    // Recently computed values of the sparse route.
    struct SCacheEntry {
        double psi;
        double value;
        unsigned long lastUse;
    };
    std::vector<SCacheEntry> m_vCache;
    unsigned long m_nClock = 0;
};

#endif

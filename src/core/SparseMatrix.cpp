#include "core/SparseMatrix.h"

#include <arpack.h>
#include <cholmod.h>
#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>
#include <utility>

#include "core/MatrixUtilities.h"
#include "core/Messages.h"
#include "core/ProgramExit.h"

namespace {

[[noreturn]] void FailStderr(const char* message) {
    Refuse(message);
}

}  // namespace

CSparseMatrix SparseFromNeighbours(const INT_VCTR_2D& NS, const DBL_VCTR_2D& weights) {
    CSparseMatrix W;
    W.n = static_cast<int>(NS.size());
    W.rowStart.assign(W.n + 1, 0);
    std::vector<std::pair<int, double>> row;
    for (int i = 0; i < W.n; ++i) {
        row.clear();
        for (size_t t = 0; t < NS[i].size(); ++t) {
            const int j = NS[i][t];
            if (j < 0 || j >= W.n)
                FailStderr("Neighbour index out of range - SparseFromNeighbours");
            row.emplace_back(j, weights[i][t]);
        }
        // Stable: of a repeated neighbour the later weight is kept.
        std::stable_sort(row.begin(), row.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        for (size_t t = 0; t < row.size(); ++t) {
            if (t + 1 < row.size() && row[t + 1].first == row[t].first)
                continue;
            W.col.push_back(row[t].first);
            W.val.push_back(row[t].second);
        }
        W.rowStart[i + 1] = W.NonZeros();
    }
    return W;
}

DBL_VCTR_2D ToDense(const CSparseMatrix& W) {
    DBL_VCTR_2D D(W.n, DBL_VCTR_1D(W.n, 0.0));
    for (int i = 0; i < W.n; ++i)
        for (int t = W.rowStart[i]; t < W.rowStart[i + 1]; ++t)
            D[i][W.col[t]] = W.val[t];
    return D;
}

void MultSparse(double* y, const CSparseMatrix& W, const double* x) {
    for (int i = 0; i < W.n; ++i) {
        double s = 0.0;
        for (int t = W.rowStart[i]; t < W.rowStart[i + 1]; ++t)
            s += W.val[t] * x[W.col[t]];
        y[i] = s;
    }
}

void Mult_t_left(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const CSparseMatrix& W) {
    if (A.size() != static_cast<size_t>(W.n))
        FailStderr("Design and weight matrix differ in size - Mult_t_left");
    const size_t b = A.empty() ? 0 : A[0].size();
    Res.assign(b, DBL_VCTR_1D(W.n, 0.0));
    // Entry (r, j) gathers A[i][r] W[i][j] over the rows i that hold
    // column j, in increasing i.
    for (int i = 0; i < W.n; ++i)
        for (int t = W.rowStart[i]; t < W.rowStart[i + 1]; ++t) {
            const int j = W.col[t];
            const double w = W.val[t];
            for (size_t r = 0; r < b; ++r)
                Res[r][j] += A[i][r] * w;
        }
}

// ---------------------------------------------------------------------------
// Extreme eigenvalues

namespace {

// Below this size, or when Lanczos fails, the whole dense spectrum.
constexpr int kLanczosMinSize = 60;

SExtremeEigenvalues DenseExtremes(const CSparseMatrix& W) {
    DBL_VCTR_1D ev(W.n, 0.0);
    computeEigenvalues(ev, ToDense(W));
    return {ev.front(), ev.back()};
}

// which: "LA" (largest), "BE" (one from each end). False when ARPACK does
// not converge.
bool Lanczos(const CSparseMatrix& W, const char* which, int nev, DBL_VCTR_1D& values) {
    UseOneBlasThread();
    const a_int n = W.n;
    const a_int ncv = std::min<a_int>(n, 64);
    const a_int lworkl = ncv * (ncv + 8);
    DBL_VCTR_1D resid(n), v(static_cast<size_t>(n) * ncv), workd(3 * static_cast<size_t>(n)),
        workl(lworkl);
    // A fixed starting vector: the same W always gives the same values.
    gsl_rng* start = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(start, 12345);
    for (double& r : resid)
        r = gsl_rng_uniform(start) + 0.5;
    gsl_rng_free(start);
    a_int iparam[11] = {0}, ipntr[14] = {0};
    iparam[0] = 1;      // exact shifts
    iparam[2] = 10000;  // restarts
    iparam[6] = 1;      // standard problem, matrix-vector products only
    a_int ido = 0, info = 1;
    const double tol = 0.0;  // machine precision
    for (;;) {
        dsaupd_c(&ido, "I", n, which, nev, tol, resid.data(), ncv, v.data(), n, iparam, ipntr,
                 workd.data(), workl.data(), lworkl, &info);
        if (ido != -1 && ido != 1)
            break;
        MultSparse(&workd[ipntr[1] - 1], W, &workd[ipntr[0] - 1]);
    }
    if (info != 0 || iparam[4] < nev)
        return false;
    std::vector<a_int> select(ncv, 0);
    DBL_VCTR_1D d(nev), z(static_cast<size_t>(n) * nev);
    dseupd_c(0, "A", select.data(), d.data(), z.data(), n, 0.0, "I", n, which, nev, tol,
             resid.data(), ncv, v.data(), n, iparam, ipntr, workd.data(), workl.data(), lworkl,
             &info);
    if (info != 0)
        return false;
    std::sort(d.begin(), d.end());
    values = d;
    return true;
}

}  // namespace

SExtremeEigenvalues ExtremeEigenvalues(const CSparseMatrix& W) {
    if (W.n < kLanczosMinSize)
        return DenseExtremes(W);
    DBL_VCTR_1D d;
    if (!Lanczos(W, "BE", 2, d))
        return DenseExtremes(W);
    return {d.front(), d.back()};
}

double LargestEigenvalue(const CSparseMatrix& W) {
    if (W.n < kLanczosMinSize)
        return DenseExtremes(W).largest;
    DBL_VCTR_1D d;
    if (!Lanczos(W, "LA", 1, d))
        return DenseExtremes(W).largest;
    return d.back();
}

// ---------------------------------------------------------------------------
// Sparse Cholesky factor of I - psi W

struct CSparseCholesky::SImpl {
    cholmod_common common;
    cholmod_sparse* A = nullptr;  // upper triangle of I - psi W, by columns
    cholmod_factor* L = nullptr;
    std::vector<double> weight;  // W entries aligned with A's values (0 on the diagonal)
    bool factorised = false;
};

CSparseCholesky::CSparseCholesky(const CSparseMatrix& W) : m_pImpl(new SImpl) {
    SImpl& s = *m_pImpl;
    cholmod_start(&s.common);
    s.common.print = 0;
    s.common.error_handler = nullptr;
    s.common.final_ll = 1;  // L L', not L D L'
    const int n = W.n;
    // Column j of the upper triangle: rows i <= j, that is the entries of
    // row j of the symmetric W left of the diagonal, then the diagonal
    // (always stored, with W's own diagonal entry when it has one).
    size_t nnz = n;
    for (int j = 0; j < n; ++j)
        for (int t = W.rowStart[j]; t < W.rowStart[j + 1]; ++t)
            nnz += W.col[t] < j;
    UseOneBlasThread();
    s.A = cholmod_allocate_sparse(n, n, nnz, 1, 1, 1, CHOLMOD_REAL, &s.common);
    if (!s.A)
        FailStderr("Cannot allocate the sparse precision matrix - CSparseCholesky");
    int* Ap = static_cast<int*>(s.A->p);
    int* Ai = static_cast<int*>(s.A->i);
    s.weight.assign(nnz, 0.0);
    size_t pos = 0;
    for (int j = 0; j < n; ++j) {
        Ap[j] = static_cast<int>(pos);
        for (int t = W.rowStart[j]; t < W.rowStart[j + 1] && W.col[t] < j; ++t) {
            Ai[pos] = W.col[t];
            s.weight[pos++] = W.val[t];
        }
        double diagonal = 0.0;
        for (int t = W.rowStart[j]; t < W.rowStart[j + 1]; ++t)
            if (W.col[t] == j)
                diagonal = W.val[t];
        Ai[pos] = j;
        s.weight[pos++] = diagonal;
    }
    Ap[n] = static_cast<int>(pos);
    s.L = cholmod_analyze(s.A, &s.common);
    if (!s.L)
        FailStderr("Cannot order the sparse precision matrix - CSparseCholesky");
}

CSparseCholesky::~CSparseCholesky() {
    SImpl& s = *m_pImpl;
    cholmod_free_factor(&s.L, &s.common);
    cholmod_free_sparse(&s.A, &s.common);
    cholmod_finish(&s.common);
}

bool CSparseCholesky::Factorise(double psi) {
    SImpl& s = *m_pImpl;
    double* Ax = static_cast<double*>(s.A->x);
    const int* Ap = static_cast<const int*>(s.A->p);
    const int* Ai = static_cast<const int*>(s.A->i);
    for (size_t j = 0; j < s.A->ncol; ++j)
        for (int t = Ap[j]; t < Ap[j + 1]; ++t)
            Ax[t] = (Ai[t] == static_cast<int>(j) ? 1.0 : 0.0) - psi * s.weight[t];
    const int ok = cholmod_factorize(s.A, s.L, &s.common);
    s.factorised = ok && s.common.status == CHOLMOD_OK && s.L->minor == s.L->n;
    return s.factorised;
}

double CSparseCholesky::LogDeterminant() const {
    const SImpl& s = *m_pImpl;
    if (!s.factorised)
        return std::numeric_limits<double>::quiet_NaN();
    const cholmod_factor* L = s.L;
    const double* Lx = static_cast<const double*>(L->x);
    double sum = 0.0;
    if (L->is_super) {
        const int* super = static_cast<const int*>(L->super);
        const int* pi = static_cast<const int*>(L->pi);
        const int* px = static_cast<const int*>(L->px);
        for (size_t sn = 0; sn < L->nsuper; ++sn) {
            const int ncols = super[sn + 1] - super[sn];
            const int nrows = pi[sn + 1] - pi[sn];
            for (int c = 0; c < ncols; ++c)
                sum += std::log(Lx[px[sn] + c * nrows + c]);
        }
    } else {
        const int* Lp = static_cast<const int*>(L->p);
        for (size_t j = 0; j < L->n; ++j)
            sum += std::log(Lx[Lp[j]]);
    }
    return 2.0 * sum;
}

void CSparseCholesky::SolveTransposedFactor(double* x, const double* z) const {
    SImpl& s = *m_pImpl;
    if (!s.factorised)
        FailStderr("No factor to solve with - CSparseCholesky");
    const size_t n = s.L->n;
    cholmod_dense* b = cholmod_allocate_dense(n, 1, n, CHOLMOD_REAL, &s.common);
    std::copy(z, z + n, static_cast<double*>(b->x));
    cholmod_dense* y = cholmod_solve(CHOLMOD_Lt, s.L, b, &s.common);
    cholmod_dense* r = y ? cholmod_solve(CHOLMOD_Pt, s.L, y, &s.common) : nullptr;
    if (!r)
        FailStderr("Sparse triangular solve failed - CSparseCholesky");
    const double* rx = static_cast<const double*>(r->x);
    std::copy(rx, rx + n, x);
    cholmod_free_dense(&r, &s.common);
    cholmod_free_dense(&y, &s.common);
    cholmod_free_dense(&b, &s.common);
}

double CSparseCholesky::FactorNonZeros() const {
    const cholmod_factor* L = m_pImpl->L;
    if (L->is_super) {
        const int* super = static_cast<const int*>(L->super);
        const int* pi = static_cast<const int*>(L->pi);
        double nz = 0;
        for (size_t sn = 0; sn < L->nsuper; ++sn) {
            const double ncols = super[sn + 1] - super[sn];
            const double nrows = pi[sn + 1] - pi[sn];
            nz += ncols * nrows - ncols * (ncols - 1) / 2;
        }
        return nz;
    }
    const int* Lnz = static_cast<const int*>(L->nz);
    double nz = 0;
    for (size_t j = 0; j < L->n; ++j)
        nz += Lnz[j];
    return nz;
}

// ---------------------------------------------------------------------------
// log det(I - psi W)

void CLogDeterminant::Build(const CSparseMatrix& W, bool useSpectrum) {
    m_vCache.clear();
    m_nClock = 0;
    m_eigenVal.clear();
    m_pCholesky.reset();
    m_W = CSparseMatrix();
    if (useSpectrum) {
        m_eigenVal.assign(W.n, 0.0);
        computeEigenvalues(m_eigenVal, ToDense(W));
    } else {
        m_W = W;
    }
}

double CLogDeterminant::Ratio(double psiNew, double psiOld) {
    if (HoldsSpectrum()) {
        double sum = 0.0;
        for (double lambda : m_eigenVal)
            sum += std::log(1.0 - psiNew * lambda) - std::log(1.0 - psiOld * lambda);
        return sum;
    }
    return Value(psiNew) - Value(psiOld);
}

double CLogDeterminant::Value(double psi) {
    if (HoldsSpectrum()) {
        double sum = 0.0;
        for (double lambda : m_eigenVal)
            sum += std::log(1.0 - psi * lambda);
        return sum;
    }
    ++m_nClock;
    for (SCacheEntry& entry : m_vCache)
        if (entry.psi == psi) {
            entry.lastUse = m_nClock;
            return entry.value;
        }
    if (!m_pCholesky)
        m_pCholesky = std::make_shared<CSparseCholesky>(m_W);
    const double value = m_pCholesky->Factorise(psi) ? m_pCholesky->LogDeterminant()
                                                     : std::numeric_limits<double>::quiet_NaN();
    // Room for the current psi of a few dozen clusters and their proposals:
    // the least recently used value gives way.
    constexpr size_t kCacheSize = 64;
    const SCacheEntry entry = {psi, value, m_nClock};
    if (m_vCache.size() < kCacheSize) {
        m_vCache.push_back(entry);
    } else {
        *std::min_element(m_vCache.begin(), m_vCache.end(),
                          [](const SCacheEntry& a, const SCacheEntry& b) {
                              return a.lastUse < b.lastUse;
                          }) = entry;
    }
    return value;
}

#include "core/MatrixUtilities.h"

#include <gsl/gsl_errno.h>
#include <gsl/gsl_linalg.h>
#include <gsl/gsl_matrix.h>
#include <gsl/gsl_statistics_double.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <vector>

#include "core/Messages.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"

// LAPACK's symmetric eigen-solver (divide and conquer; with eigenvalues only
// it reduces to tridiagonal form and runs the root-free QR iteration).
extern "C" void dsyevd_(const char* jobz, const char* uplo, const int* n, double* a, const int* lda,
                        double* w, double* work, const int* lwork, int* iwork, const int* liwork,
                        int* info, size_t jobzLength, size_t uploLength);

// Present only when OpenBLAS is the BLAS that was loaded.
extern "C" void openblas_set_num_threads(int) __attribute__((weak));

namespace {
size_t Rows(const DBL_VCTR_2D& M) {
    return M.size();
}
size_t Cols(const DBL_VCTR_2D& M) {
    return M.empty() ? 0 : M[0].size();
}

// breloAdm speaks French, brelo English.
[[noreturn]] void Fail(const char* french, const char* english) {
    Refuse(IsBreloAdm() ? french : english);
}

[[noreturn]] void FailBoth(const char* message) {
    Fail(message, message);
}

[[noreturn]] void FailStderr(const char* message) {
    Refuse(message);
}

void CheckInnerSizes(size_t a, size_t b, const char* french, const char* english) {
    if (a == b)
        return;
    PrintMessage(std::to_string(a) + " vs " + std::to_string(b));
    Fail(french, english);
}

// An empty result is sized; a non-empty one must already have the shape.
void CheckResultShape(const DBL_VCTR_2D& Res, size_t rows, size_t cols, const char* french,
                      const char* english) {
    if (!Res.empty() && (Rows(Res) != rows || Cols(Res) != cols))
        Fail(french, english);
}

// Products write their result while reading their operands, so a result
// that is also an operand is computed aside first. Otherwise the result is
// zeroed (or sized with zeros) and filled in place, without allocating.
template <class Product>
void ComputeInto(DBL_VCTR_2D& Res, size_t rows, size_t cols, bool aliased, Product product) {
    if (aliased) {
        DBL_VCTR_2D tmp(rows, DBL_VCTR_1D(cols, 0.0));
        product(tmp);
        Res = std::move(tmp);
        return;
    }
    if (Res.empty())
        Res.assign(rows, DBL_VCTR_1D(cols, 0.0));
    else
        for (auto& row : Res)
            std::fill(row.begin(), row.end(), 0.0);
    product(Res);
}

[[noreturn]] void CholeskyFailed() {
    Fail(
        "Cholesky Decomposition Failed! Consider lowering the trend degree. Exiting...\n"
        "exit",
        "Choldc Failed! Exiting...\nexit");
}

void CheckSquare(const DBL_VCTR_2D& A) {
    if (Rows(A) != Cols(A))
        Fail("inverse : error, matrice is not square. Exiting...",
             "inverse : error, matrix is not square. Exiting...");
}
}  // namespace

void Mult(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B) {
    CheckInnerSizes(Cols(A), Rows(B),
                    "Mult: Dimensions des matrices a multiplier inadequates. Exiting...",
                    "Mult: Matrices have inadequate dimensions to be multiplied. Exiting...");
    CheckResultShape(Res, Rows(A), Cols(B),
                     "Mult: Dimensions de la matrice resultat inadequates. Exiting...",
                     "Mult: Res matrix has inadequate dimensions to contain the result of the "
                     "matrices multiplication. Exiting...");
    // i-t-j order: each entry still sums its terms in increasing t.
    ComputeInto(Res, Rows(A), Cols(B), &Res == &A || &Res == &B, [&](DBL_VCTR_2D& R) {
        for (size_t i = 0; i < Rows(A); ++i)
            for (size_t t = 0; t < Rows(B); ++t) {
                const double a = A[i][t];
                const DBL_VCTR_1D& Bt = B[t];
                DBL_VCTR_1D& Ri = R[i];
                for (size_t j = 0; j < Ri.size(); ++j)
                    Ri[j] += a * Bt[j];
            }
    });
}

void Mult_t(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B) {
    CheckInnerSizes(Cols(A), Cols(B),
                    "Mult_t: Dimensions des matrices a multiplier inadequates. Exiting...",
                    "Mult_t: Matrices have inadequate dimensions to be multiplied. Exiting...");
    CheckResultShape(Res, Rows(A), Rows(B),
                     "Mult_t: Dimensions de la matrice resultat inadequates. Exiting...",
                     "Mult_t: Res matrix has inadequate dimensions to contain the result of the "
                     "matrices multiplication. Exiting...");
    const size_t inner = Cols(A);
    ComputeInto(Res, Rows(A), Rows(B), &Res == &A || &Res == &B, [&](DBL_VCTR_2D& R) {
        for (size_t i = 0; i < Rows(A); ++i)
            for (size_t j = 0; j < Rows(B); ++j) {
                double s = 0.0;
                for (size_t t = 0; t < inner; ++t)
                    s += A[i][t] * B[j][t];
                R[i][j] = s;
            }
    });
}

void Mult_t_left(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B) {
    CheckInnerSizes(
        Rows(A), Rows(B),
        "Mult_t_left: Dimensions des matrices a multiplier inadequates. Exiting...",
        "Mult_t_left: Matrices have inadequate dimensions to be multiplied. Exiting...");
    CheckResultShape(Res, Cols(A), Cols(B),
                     "Mult_t_left: Dimensions de la matrice resultat inadequates. Exiting...",
                     "Mult_t_left: Res matrix has inadequate dimensions to contain the result of "
                     "the matrices multiplication. Exiting...");
    // t-i-j order: each entry still sums its terms in increasing t.
    ComputeInto(Res, Cols(A), Cols(B), &Res == &A || &Res == &B, [&](DBL_VCTR_2D& R) {
        for (size_t t = 0; t < Rows(A); ++t)
            for (size_t i = 0; i < R.size(); ++i) {
                const double a = A[t][i];
                const DBL_VCTR_1D& Bt = B[t];
                DBL_VCTR_1D& Ri = R[i];
                for (size_t j = 0; j < Ri.size(); ++j)
                    Ri[j] += a * Bt[j];
            }
    });
}

void Transpose(DBL_VCTR_2D& res, const DBL_VCTR_2D& A) {
    CheckResultShape(res, Cols(A), Rows(A), "Transpose : wrong dimensions. Exiting...",
                     "Transpose : wrong dimensions. Exiting...");
    ComputeInto(res, Cols(A), Rows(A), &res == &A, [&](DBL_VCTR_2D& R) {
        for (size_t i = 0; i < Rows(A); ++i)
            for (size_t j = 0; j < Cols(A); ++j)
                R[j][i] = A[i][j];
    });
}

void Diff(DBL_VCTR_2D& result, const DBL_VCTR_2D& mat1, const DBL_VCTR_2D& mat2) {
    if (Rows(result) != Rows(mat1) || Rows(result) != Rows(mat2) || Cols(result) != Cols(mat1) ||
        Cols(result) != Cols(mat2))
        FailBoth("Diff : error, dimensions don't match. Exiting...");
    for (size_t i = 0; i < Rows(result); ++i)
        for (size_t j = 0; j < Cols(result); ++j)
            result[i][j] = mat1[i][j] - mat2[i][j];
}

void Diff_t_left(DBL_VCTR_2D& result, const DBL_VCTR_2D& mat1, const DBL_VCTR_2D& mat2) {
    if (Rows(result) != Rows(mat2) || Rows(result) != Cols(mat1) || Cols(result) != Cols(mat2) ||
        Cols(result) != Rows(mat1))
        FailBoth("Diff_t_left : error, dimensions don't match. Exiting...");
    ComputeInto(result, Rows(result), Cols(result), &result == &mat1 || &result == &mat2,
                [&](DBL_VCTR_2D& R) {
                    for (size_t i = 0; i < Rows(R); ++i)
                        for (size_t j = 0; j < Cols(R); ++j)
                            R[i][j] = mat1[j][i] - mat2[i][j];
                });
}

void Mult_byConstant(DBL_VCTR_2D& result, const DBL_VCTR_2D& mat, double constant) {
    if (Rows(result) != Rows(mat))
        FailBoth("Mult_byConstant : error, dimensions don't match. Exiting...");
    for (size_t i = 0; i < Rows(mat); ++i) {
        // A shorter result row would be written past its end.
        if (result[i].size() < mat[i].size())
            FailBoth("Mult_byConstant : error, dimensions don't match. Exiting...");
        for (size_t j = 0; j < mat[i].size(); ++j)
            result[i][j] = constant * mat[i][j];
    }
}

void Inverse(DBL_VCTR_2D& res, const DBL_VCTR_2D& A) {
    CheckSquare(A);
    const size_t n = Rows(A);
    DBL_VCTR_2D MM = A;
    DBL_VCTR_2D identity(n, DBL_VCTR_1D(n, 0.0));
    for (size_t i = 0; i < n; ++i)
        identity[i][i] = 1.0;
    CopyVctr(identity, res);
    // Gauss-Jordan in place: each row update reads its factor before writing,
    // which gives exactly the values of the copy-per-step formulation.
    for (size_t k = 0; k < n; ++k) {
        const double p = MM[k][k];
        if (p == 0.0)
            FailBoth("inverse : inversion with gauss method impossible, division by 0");
        for (size_t i = 0; i < n; ++i) {
            MM[k][i] = MM[k][i] / p;
            res[k][i] = res[k][i] / p;
        }
        for (size_t m = 0; m < n; ++m) {
            if (m == k)
                continue;
            const double factor = MM[m][k];
            for (size_t i = 0; i < n; ++i) {
                MM[m][i] = MM[m][i] - MM[k][i] * factor;
                res[m][i] = res[m][i] - res[k][i] * factor;
            }
        }
    }
}

void InverseWithChol(DBL_VCTR_2D& res, const DBL_VCTR_2D& A) {
    CheckSquare(A);
    const size_t n = Rows(A);
    if (IsBreloAdm()) {
        // Its callers size res; any other shape would be written out of bounds.
        if (Rows(res) != n || Cols(res) != n)
            res.assign(n, DBL_VCTR_1D(n, 0.0));
    } else {
        const char* wrongShape =
            "InverseWithChol : wrong dimensions for Initialized matrix res. Exiting...";
        CheckResultShape(res, n, n, wrongShape, wrongShape);
        if (res.empty())
            res.assign(n, DBL_VCTR_1D(n, 0.0));
    }
    if (n == 0)
        return;

    gsl_matrix* chol = gsl_matrix_alloc(n, n);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            gsl_matrix_set(chol, i, j, A[i][j]);
    gsl_error_handler_t* previous = gsl_set_error_handler_off();
    int status = gsl_linalg_cholesky_decomp(chol);
    if (status != GSL_SUCCESS) {
        gsl_matrix_free(chol);
        CholeskyFailed();
    }
    gsl_vector* x = gsl_vector_alloc(n);
    for (size_t i = 0; i < n; ++i) {
        gsl_vector_set_basis(x, i);
        gsl_linalg_cholesky_svx(chol, x);
        for (size_t j = 0; j < n; ++j)
            res[i][j] = gsl_vector_get(x, j);
    }
    gsl_set_error_handler(previous);
    gsl_vector_free(x);
    gsl_matrix_free(chol);
}

void choldc(DBL_VCTR_2D& matrix, const DBL_VCTR_2D& mat) {
    const size_t n = Rows(mat);
    if (n != Cols(mat)) {
        Refuse("Error in cholewsky : problem in matrix dimension");
    }
    if (!matrix.empty() && (Rows(matrix) != n || Cols(matrix) != n))
        FailBoth(
            "choldc : error, cholesky matrix is already initialized with wrong dimensions. "
            "Exiting...");
    CopyVctr(mat, matrix);
    for (size_t i = 0; i < n; ++i) {
        for (size_t j = i; j < n; ++j) {
            double s = matrix[i][j];
            for (size_t m = i; m-- > 0;)
                s -= matrix[i][m] * matrix[j][m];
            if (i == j) {
                // !(s > 0) also stops a NaN, which would spread silently.
                if (!(s > 0))
                    CholeskyFailed();
                matrix[i][i] = std::sqrt(s);
            } else {
                matrix[j][i] = s / matrix[i][i];
            }
        }
    }
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i + 1; j < n; ++j)
            matrix[i][j] = 0.0;
}

double FindBound(const DBL_VCTR_1D& Wi, int k) {
    double bound = 0.0;
    for (size_t j = 0; j < Wi.size(); ++j)
        if (static_cast<int>(j) != k && Wi[j] > bound)
            bound = Wi[j];
    return bound;
}

void UseOneBlasThread() {
    static const bool done = [] {
        if (openblas_set_num_threads)
            openblas_set_num_threads(1);
        return true;
    }();
    (void)done;
}

void computeEigenvalues(DBL_VCTR_1D& eigenVal, const DBL_VCTR_2D& A) {
    if (A.empty() || A[0].empty())
        FailStderr("Uninitialized A - computeEigenvalues");
    if (eigenVal.empty())
        FailStderr("Uninitialized eigenVal - computeEigenvalues");
    const size_t n = Rows(A);
    if (Cols(A) != n)
        FailStderr("A is not square - computeEigenvalues");
    // LAPACK reads the lower triangle of the column-major copy, that is the
    // upper triangle of A; eigenvalues only, returned in ascending order.
    std::vector<double> a(n * n);
    for (size_t i = 0; i < n; ++i)
        std::copy(A[i].begin(), A[i].begin() + std::min(n, A[i].size()), a.begin() + i * n);
    UseOneBlasThread();
    const int order = static_cast<int>(n);
    int info = 0, lwork = -1, liwork = -1, iworkSize = 0;
    double workSize = 0.0;
    eigenVal.resize(n);
    dsyevd_("N", "L", &order, a.data(), &order, eigenVal.data(), &workSize, &lwork, &iworkSize,
            &liwork, &info, 1, 1);
    lwork = static_cast<int>(workSize);
    liwork = std::max(1, iworkSize);
    std::vector<double> work(std::max(1, lwork));
    std::vector<int> iwork(liwork);
    dsyevd_("N", "L", &order, a.data(), &order, eigenVal.data(), work.data(), &lwork, iwork.data(),
            &liwork, &info, 1, 1);
    if (info != 0)
        FailStderr("The eigenvalue iteration did not converge - computeEigenvalues");
}

void computeSymmMatrixStat(double& stat, const DBL_VCTR_2D& Matrix, const std::string& option) {
    if (Matrix.empty() || Matrix[0].empty())
        FailStderr("Uninitialized Matrix - computeSymmMatrixStat");
    if (option != "m" && option != "d" && option != "x")
        FailStderr("Unknown option for scale parameter - computeSymmMatrixStat");
    const size_t n = Rows(Matrix);
    if (Cols(Matrix) != n)
        FailStderr("Matrix is not square - computeSymmMatrixStat");
    DBL_VCTR_1D upper;
    upper.reserve(n * (n + 1) / 2);
    for (size_t i = 0; i < n; ++i)
        for (size_t j = i; j < n; ++j)
            upper.push_back(Matrix[i][j]);
    if (option == "m") {
        stat = gsl_stats_mean(upper.data(), 1, upper.size());
    } else if (option == "d") {
        std::sort(upper.begin(), upper.end());
        stat = gsl_stats_median_from_sorted_data(upper.data(), 1, upper.size());
    } else {
        stat = gsl_stats_max(upper.data(), 1, upper.size());
    }
}

namespace {
void CheckNeighborhoodArgs(const DBL_VCTR_2D& W, const INT_VCTR_2D& NS) {
    if (W.empty())
        FailStderr("Uninitialized W - buildNeighborhoodMatrix");
    if (NS.empty())
        FailStderr("Uninitialized NS - buildNeighborhoodMatrix");
    if (NS.size() > W.size())
        FailStderr("NS has more rows than W - buildNeighborhoodMatrix");
    for (size_t i = 0; i < NS.size(); ++i)
        for (int j : NS[i])
            if (j < 0 || static_cast<size_t>(j) >= W[i].size())
                FailStderr("Neighbour index out of range - buildNeighborhoodMatrix");
}
}  // namespace

void buildNeighborhoodMatrix(DBL_VCTR_2D& W, const INT_VCTR_2D& NS) {
    CheckNeighborhoodArgs(W, NS);
    for (size_t i = 0; i < NS.size(); ++i) {
        W[i][i] = 0.0;
        for (int j : NS[i])
            W[i][j] = 1.0;
    }
}

void buildNeighborhoodMatrix(DBL_VCTR_2D& W, const INT_VCTR_2D& NS, const DBL_VCTR_2D& geo,
                             double theta) {
    CheckNeighborhoodArgs(W, NS);
    if (geo.size() < NS.size())
        FailStderr("Uninitialized geo - buildNeighborhoodMatrix");
    for (size_t i = 0; i < NS.size(); ++i) {
        W[i][i] = 0.0;
        for (int j : NS[i])
            W[i][j] = std::exp(-geo[i][j] / theta);
    }
}

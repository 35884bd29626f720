// Dense linear algebra on row-major DBL_VCTR_2D matrices (the column count is
// the length of row 0). Result arguments come first. For the products and the
// transposition an empty result is sized by the operation, a non-empty one
// must already have the exact result shape. Every dimension error prints its
// message on standard output (French in breloAdm, English in brelo) and ends
// the process with exit status 1.
#ifndef BRELO_CORE_MATRIXUTILITIES_H
#define BRELO_CORE_MATRIXUTILITIES_H

#include <string>

#include "core/VectorUtilities.h"

// Res = A.B
void Mult(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B);
// Res = A.B' (Res[i][j] = sum_t A[i][t] B[j][t])
void Mult_t(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B);
// Res = A'.B (Res[i][j] = sum_t A[t][i] B[t][j])
void Mult_t_left(DBL_VCTR_2D& Res, const DBL_VCTR_2D& A, const DBL_VCTR_2D& B);
// res = A'
void Transpose(DBL_VCTR_2D& res, const DBL_VCTR_2D& A);

// result = mat1 - mat2; all three already sized alike.
void Diff(DBL_VCTR_2D& result, const DBL_VCTR_2D& mat1, const DBL_VCTR_2D& mat2);
// result = mat1' - mat2 (result[i][j] = mat1[j][i] - mat2[i][j]); result sized by the caller.
void Diff_t_left(DBL_VCTR_2D& result, const DBL_VCTR_2D& mat1, const DBL_VCTR_2D& mat2);
// result[i][j] = constant * mat[i][j] over the columns of mat; extra columns
// of result are left untouched. Row counts must agree.
void Mult_byConstant(DBL_VCTR_2D& result, const DBL_VCTR_2D& mat, double constant);

// res = inverse of A by Gauss-Jordan elimination without row exchanges: a zero
// pivot met on the diagonal is fatal even when A is invertible.
void Inverse(DBL_VCTR_2D& res, const DBL_VCTR_2D& A);
// res = inverse of the symmetric positive definite A through a Cholesky
// factorisation. A matrix that is not positive definite is fatal, with the
// same message as choldc. brelo: an empty res is sized n x n, a non-empty res
// of another shape is fatal; breloAdm: res is given the n x n shape.
void InverseWithChol(DBL_VCTR_2D& res, const DBL_VCTR_2D& A);
// matrix = L, lower triangular, with mat = L.L' (only the upper triangle of
// mat is read). Fatal when mat is not square, when matrix is non-empty with
// another shape, or when mat is not positive definite.
void choldc(DBL_VCTR_2D& matrix, const DBL_VCTR_2D& mat);

// max(0, max over j != k of Wi[j]): the bound of latent utility k of the
// multinomial probit.
double FindBound(const DBL_VCTR_1D& Wi, int k);

// Eigenvalues of the symmetric n x n matrix A in ascending order (LAPACK's
// symmetric eigen-solver, cubic in n: the sparse routes of SparseMatrix.h
// serve large neighbourhood matrices); eigenVal must be non-empty (it is
// given n entries). Messages on stderr.
void computeEigenvalues(DBL_VCTR_1D& eigenVal, const DBL_VCTR_2D& A);
// Dense and sparse linear algebra keep to the one thread of the programs:
// a multi-threaded OpenBLAS is asked for one thread (called by the routines
// that reach LAPACK or CHOLMOD; results then do not depend on the machine's
// core count).
void UseOneBlasThread();

// Mean ("m"), median ("d") or maximum ("x") of the entries on and above the
// diagonal of the square Matrix. Messages on stderr.
void computeSymmMatrixStat(double& stat, const DBL_VCTR_2D& Matrix, const std::string& option);

// W[i][i] = 0 and W[i][j] = 1 for each neighbour j in NS[i]; other entries
// keep what the caller put there (0). W and NS must be non-empty.
void buildNeighborhoodMatrix(DBL_VCTR_2D& W, const INT_VCTR_2D& NS);
// As above with weights exp(-geo[i][j] / theta) for the neighbours.
void buildNeighborhoodMatrix(DBL_VCTR_2D& W, const INT_VCTR_2D& NS, const DBL_VCTR_2D& geo,
                             double theta);

#endif

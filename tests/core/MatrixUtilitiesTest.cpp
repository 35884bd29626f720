#include "core/MatrixUtilities.h"

#include <gtest/gtest.h>

#include <cmath>

#include "core/TestSupport.h"

namespace {
void ExpectNear(const DBL_VCTR_2D& a, const DBL_VCTR_2D& b, double tol = 1e-12) {
    ASSERT_EQ(a.size(), b.size());
    for (size_t i = 0; i < a.size(); ++i) {
        ASSERT_EQ(a[i].size(), b[i].size()) << "row " << i;
        for (size_t j = 0; j < a[i].size(); ++j)
            EXPECT_NEAR(a[i][j], b[i][j], tol) << i << "," << j;
    }
}

const DBL_VCTR_2D A23 = {{1, 2, 3}, {4, 5, 6}};
const DBL_VCTR_2D SPD3 = {{4, 2, 0.4}, {2, 3, 0.5}, {0.4, 0.5, 2}};
}  // namespace

TEST(Products, MultSizesAnEmptyResultAndOverwritesOnReuse) {
    DBL_VCTR_2D B = {{1, 0}, {0, 1}, {1, 1}};
    DBL_VCTR_2D Res;
    Mult(Res, A23, B);
    ExpectNear(Res, {{4, 5}, {10, 11}});
    Mult(Res, A23, B);  // no accumulation across calls
    ExpectNear(Res, {{4, 5}, {10, 11}});
}

TEST(Products, TransposedFormsGiveTheGramMatrices) {
    DBL_VCTR_2D AAt, AtA, At;
    Mult_t(AAt, A23, A23);
    ExpectNear(AAt, {{14, 32}, {32, 77}});
    Mult_t_left(AtA, A23, A23);
    ExpectNear(AtA, {{17, 22, 27}, {22, 29, 36}, {27, 36, 45}});
    Transpose(At, A23);
    ExpectNear(At, {{1, 4}, {2, 5}, {3, 6}});
    DBL_VCTR_2D viaTranspose;
    Mult(viaTranspose, At, A23);
    EXPECT_EQ(viaTranspose, AtA);  // same summation order, bit for bit
}

TEST(Products, ResultMayBeAnOperand) {
    DBL_VCTR_2D M = {{1, 2}, {3, 4}};
    Mult(M, M, DBL_VCTR_2D{{0, 1}, {1, 0}});
    ExpectNear(M, {{2, 1}, {4, 3}});
    Transpose(M, M);
    ExpectNear(M, {{2, 4}, {1, 3}});
}

TEST(Products, DimensionErrorsInBothLanguages) {
    DBL_VCTR_2D Res;
    {
        FlavourScope f(ProgramFlavour::BreloAdm);
        EXPECT_EXIT_STDOUT(Mult(Res, A23, A23),
                           "^3 vs 2\nMult: Dimensions des matrices a multiplier inadequates\\. "
                           "Exiting\\.\\.\\.\n$");
    }
    FlavourScope f(ProgramFlavour::Brelo);
    EXPECT_EXIT_STDOUT(Mult_t(Res, A23, DBL_VCTR_2D{{1, 2}}),
                       "^3 vs 2\nMult_t: Matrices have inadequate dimensions to be multiplied\\. "
                       "Exiting\\.\\.\\.\n$");
    DBL_VCTR_2D wrong = {{0, 0}};
    EXPECT_EXIT_STDOUT(Mult(wrong, A23, DBL_VCTR_2D{{1}, {1}, {1}}),
                       "^Mult: Res matrix has inadequate dimensions to contain the result of the "
                       "matrices multiplication\\. Exiting\\.\\.\\.\n$");
}

TEST(Elementwise, DiffDiffTLeftAndScaling) {
    DBL_VCTR_2D result(2, DBL_VCTR_1D(3, 0.0));
    Diff(result, A23, DBL_VCTR_2D{{1, 1, 1}, {1, 1, 1}});
    ExpectNear(result, {{0, 1, 2}, {3, 4, 5}});

    DBL_VCTR_2D r32(3, DBL_VCTR_1D(2, 0.0));
    Diff_t_left(r32, A23, DBL_VCTR_2D{{1, 0}, {0, 1}, {1, 1}});
    ExpectNear(r32, {{0, 4}, {2, 4}, {2, 5}});

    DBL_VCTR_2D wide = {{9, 9, 9}, {9, 9, 9}};
    Mult_byConstant(wide, DBL_VCTR_2D{{1, 2}, {3, 4}}, 2.0);
    ExpectNear(wide, {{2, 4, 9}, {6, 8, 9}});  // extra column untouched

    EXPECT_EXIT_STDOUT(Diff(result, A23, r32), "^Diff : error, dimensions don't match");
    EXPECT_EXIT_STDOUT(Diff_t_left(result, A23, A23), "^Diff_t_left : error");
    DBL_VCTR_2D narrow = {{0}, {0}};
    EXPECT_EXIT_STDOUT(Mult_byConstant(narrow, A23, 1.0), "^Mult_byConstant : error");
}

TEST(Cholesky, FactorOfAKnownMatrix) {
    DBL_VCTR_2D L;
    choldc(L, DBL_VCTR_2D{{4, 2}, {2, 3}});
    ExpectNear(L, {{2, 0}, {1, std::sqrt(2.0)}});

    DBL_VCTR_2D L3, LLt;
    choldc(L3, SPD3);
    Mult_t(LLt, L3, L3);
    ExpectNear(LLt, SPD3);
    choldc(L3, SPD3);  // a result of the right shape is reused
    EXPECT_EQ(L3[0][1], 0.0);
}

TEST(Cholesky, FailuresInBothPrograms) {
    DBL_VCTR_2D L;
    const DBL_VCTR_2D indefinite = {{1, 2}, {2, 1}};
    {
        FlavourScope f(ProgramFlavour::BreloAdm);
        EXPECT_EXIT_STDOUT(choldc(L, indefinite),
                           "^Cholesky Decomposition Failed! Consider lowering the trend degree\\. "
                           "Exiting\\.\\.\\.\nexit\n$");
    }
    FlavourScope f(ProgramFlavour::Brelo);
    EXPECT_EXIT_STDOUT(choldc(L, indefinite), "^Choldc Failed! Exiting\\.\\.\\.\nexit\n$");
    EXPECT_EXIT_STDOUT(choldc(L, A23), "^Error in cholewsky : problem in matrix dimension\n$");
    DBL_VCTR_2D wrong = {{0}};
    EXPECT_EXIT_STDOUT(choldc(wrong, SPD3),
                       "^choldc : error, cholesky matrix is already initialized with wrong "
                       "dimensions\\. Exiting\\.\\.\\.\n$");
    const DBL_VCTR_2D withNaN = {{NAN, 0}, {0, 1}};
    EXPECT_EXIT_STDOUT(choldc(L, withNaN), "Choldc Failed");
}

TEST(Inverses, GaussJordanAndCholeskyAgree) {
    DBL_VCTR_2D gj, ch, product;
    Inverse(gj, SPD3);
    Mult(product, SPD3, gj);
    ExpectNear(product, {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}});
    InverseWithChol(ch, SPD3);
    ExpectNear(ch, gj);

    DBL_VCTR_2D nonSym = {{2, 1}, {7, 4}};
    DBL_VCTR_2D inv;
    Inverse(inv, nonSym);
    ExpectNear(inv, {{4, -1}, {-7, 2}});
}

TEST(Inverses, Failures) {
    DBL_VCTR_2D res;
    EXPECT_EXIT_STDOUT(Inverse(res, DBL_VCTR_2D{{0, 1}, {1, 0}}),
                       "^inverse : inversion with gauss method impossible, division by 0\n$");
    {
        FlavourScope f(ProgramFlavour::BreloAdm);
        EXPECT_EXIT_STDOUT(Inverse(res, A23), "^inverse : error, matrice is not square");
        // Not positive definite: reported as choldc does, not garbage.
        EXPECT_EXIT_STDOUT(InverseWithChol(res, DBL_VCTR_2D{{1, 2}, {2, 1}}),
                           "^Cholesky Decomposition Failed!");
        DBL_VCTR_2D unsized;
        InverseWithChol(unsized, DBL_VCTR_2D{{4, 0}, {0, 2}});
        ExpectNear(unsized, {{0.25, 0}, {0, 0.5}});
    }
    FlavourScope f(ProgramFlavour::Brelo);
    EXPECT_EXIT_STDOUT(InverseWithChol(res, A23), "^inverse : error, matrix is not square");
    EXPECT_EXIT_STDOUT(InverseWithChol(res, DBL_VCTR_2D{{-1, 0}, {0, 1}}),
                       "^Choldc Failed! Exiting");
    DBL_VCTR_2D wrong = {{0, 0, 0}};
    EXPECT_EXIT_STDOUT(InverseWithChol(wrong, DBL_VCTR_2D{{1, 0}, {0, 1}}),
                       "^InverseWithChol : wrong dimensions for Initialized matrix res\\. "
                       "Exiting\\.\\.\\.\n$");
}

TEST(FindBound, LargestOtherUtilityOrZero) {
    EXPECT_EQ(FindBound({-1, -2, -3}, 0), 0.0);
    EXPECT_EQ(FindBound({5, 1, 7}, 2), 5.0);
    EXPECT_EQ(FindBound({5, 1, 7}, 0), 7.0);
}

TEST(SpatialHelpers, EigenvaluesStatisticsAndNeighbourhoodWeights) {
    DBL_VCTR_1D ev(1, 0.0);
    computeEigenvalues(ev, DBL_VCTR_2D{{2, 1}, {1, 2}});
    ASSERT_EQ(ev.size(), 2u);
    EXPECT_NEAR(ev[0], 1.0, 1e-12);
    EXPECT_NEAR(ev[1], 3.0, 1e-12);

    const DBL_VCTR_2D dist = {{0, 4}, {4, 0}};
    double stat = -1;
    computeSymmMatrixStat(stat, dist, "d");
    EXPECT_EQ(stat, 0.0);
    computeSymmMatrixStat(stat, dist, "m");
    EXPECT_DOUBLE_EQ(stat, 4.0 / 3.0);
    computeSymmMatrixStat(stat, dist, "x");
    EXPECT_EQ(stat, 4.0);

    DBL_VCTR_2D W(3, DBL_VCTR_1D(3, 0.0));
    INT_VCTR_2D NS = {{1}, {0, 2}, {1}};
    buildNeighborhoodMatrix(W, NS);
    ExpectNear(W, {{0, 1, 0}, {1, 0, 1}, {0, 1, 0}});
    DBL_VCTR_2D Wg(3, DBL_VCTR_1D(3, 0.0));
    buildNeighborhoodMatrix(Wg, NS, DBL_VCTR_2D{{0, 2, 9}, {2, 0, 4}, {9, 4, 0}}, 2.0);
    EXPECT_DOUBLE_EQ(Wg[0][1], std::exp(-1.0));
    EXPECT_DOUBLE_EQ(Wg[1][2], std::exp(-2.0));
    EXPECT_EQ(Wg[0][2], 0.0);
}

TEST(SpatialHelpers, Failures) {
    DBL_VCTR_1D ev;
    EXPECT_EXIT(computeEigenvalues(ev, DBL_VCTR_2D{{1}}), ::testing::ExitedWithCode(1),
                "^Uninitialized eigenVal - computeEigenvalues\n$");
    double stat;
    EXPECT_EXIT(computeSymmMatrixStat(stat, DBL_VCTR_2D{{0}}, "q"), ::testing::ExitedWithCode(1),
                "Unknown option for scale parameter - computeSymmMatrixStat");
    DBL_VCTR_2D W(2, DBL_VCTR_1D(2, 0.0));
    EXPECT_EXIT(buildNeighborhoodMatrix(W, INT_VCTR_2D{{5}, {}}), ::testing::ExitedWithCode(1),
                "Neighbour index out of range");
}

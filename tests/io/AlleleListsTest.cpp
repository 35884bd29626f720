#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "io/IOUtilities.h"

TEST(AlleleLists, SortedDistinctCodesWithoutMissingOnes) {
    // Locus 0: {-9, 0, 2}; locus 1: {1, 2}; locus 2: two different missing
    // codes, -9 and -1, neither of which is an allele.
    INT_VCTR_3D X = {{{-9, 2, -9}, {0, 1, -1}}, {{2, 2, 5}, {0, 1, -9}}};
    INT_VCTR_2D alleleV;
    INT_VCTR_1D J;
    BuildAlleleLists(X, alleleV, J);
    EXPECT_EQ(alleleV, (INT_VCTR_2D{{0, 2}, {1, 2}, {5}}));
    EXPECT_EQ(J, (INT_VCTR_1D{2, 2, 1}));

    INT_VCTR_3D idx = BuildAlleleIndex(X, alleleV);
    EXPECT_EQ(idx[0], (INT_VCTR_2D{{-1, 1, -1}, {0, 0, -1}}));
    EXPECT_EQ(idx[1], (INT_VCTR_2D{{1, 1, 0}, {0, 0, -1}}));
    EXPECT_EQ(FindAlleleIndex(alleleV[0], 1), -1);
}

TEST(AlleleLists, UnionOfSeveralArraysAndAppendedLoci) {
    INT_VCTR_3D train = {{{3, 10}}};
    INT_VCTR_3D held = {{{1, 10}}, {{3, 12}}};
    INT_VCTR_3D newLoci = {{{7}}, {{-9}}};
    INT_VCTR_3D empty;
    INT_VCTR_2D alleleV;
    INT_VCTR_1D J;
    BuildAlleleLists({&train, &empty, &held, nullptr}, alleleV, J);
    BuildAlleleLists(newLoci, alleleV, J);
    EXPECT_EQ(alleleV, (INT_VCTR_2D{{1, 3}, {10, 12}, {7}}));
    EXPECT_EQ(J, (INT_VCTR_1D{2, 2, 1}));
}

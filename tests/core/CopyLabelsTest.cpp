#include "core/CopyLabels.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

// A label pattern that uses every label of 0..K-1 and differs between
// neighbouring copies, rows and individuals.
int Pattern(int i, int a, int l, int K) {
    return (7 * i + 3 * a + l) % K;
}

}  // namespace

// Each width keeps every label apart from its neighbours, across the word
// boundaries of rows longer than one word and shorter ones.
TEST(CopyLabels, EveryWidthKeepsEachLabelApart) {
    struct SCase {
        int K, bits;
    };
    for (const SCase c :
         {SCase{1, 2}, SCase{4, 2}, SCase{5, 4}, SCase{16, 4}, SCase{17, 8}, SCase{256, 8}}) {
        for (const int L : {1, 7, 31, 32, 33, 65}) {
            CCopyLabels z(3, 2, L, c.K);
            EXPECT_EQ(z.Bits(), c.bits) << "K=" << c.K;
            for (int i = 0; i < 3; ++i)
                for (int a = 0; a < 2; ++a)
                    for (int l = 0; l < L; ++l)
                        z[i][a][l] = Pattern(i, a, l, c.K);
            // Overwrite one label in the middle: its neighbours keep theirs.
            z[1][1][L / 2] = c.K - 1;
            z[1][1][L / 2] = Pattern(1, 1, L / 2, c.K);
            const CCopyLabels& read = z;
            for (int i = 0; i < 3; ++i)
                for (int a = 0; a < 2; ++a)
                    for (int l = 0; l < L; ++l)
                        ASSERT_EQ(read[i][a][l], Pattern(i, a, l, c.K))
                            << "K=" << c.K << " L=" << L << " i=" << i << " a=" << a << " l=" << l;
        }
    }
}

// Every row begins on a 64-bit word of its own (so that threads may write
// the labels of different individuals at once): filling the last labels of
// one individual never touches the first of the next, and the store takes
// whole words a row.
TEST(CopyLabels, RowsOfIndividualsNeverShareAWord) {
    CCopyLabels z(2, 2, 33, 3);  // 33 labels of 2 bits: two words a row
    EXPECT_EQ(z.Bytes(), 2u * 2 * 2 * 8);
    for (int a = 0; a < 2; ++a)
        for (int l = 0; l < 33; ++l)
            z[0][a][l] = 3;
    for (int a = 0; a < 2; ++a)
        for (int l = 0; l < 33; ++l)
            EXPECT_EQ(z[1][a][l], 0);
    // A label beyond the width is cut to it, not spilt onto a neighbour.
    z[1][0][5] = 4 + 2;
    EXPECT_EQ(z[1][0][5], 2);
    EXPECT_EQ(z[1][0][4], 0);
    EXPECT_EQ(z[1][0][6], 0);
}

// Copying one label to another writes its value; stores of different
// widths with the same labels are equal; nested vectors fill the narrowest
// width their labels allow.
TEST(CopyLabels, AssignmentAndEqualityFollowTheLabels) {
    CCopyLabels z(1, 2, 3, 4);
    z[0][0][0] = 2;
    z[0][1][2] = z[0][0][0];
    EXPECT_EQ(z[0][1][2], 2);
    EXPECT_EQ(z[0][0][0], 2);

    CCopyLabels wide(1, 2, 3);  // a byte a label
    EXPECT_EQ(wide.Bits(), 8);
    EXPECT_NE(wide, z);
    wide[0][0][0] = 2;
    wide[0][1][2] = 2;
    EXPECT_EQ(wide, z);
    EXPECT_NE(CCopyLabels(1, 2, 4, 4), z);  // another shape

    CCopyLabels nested;
    nested = INT_VCTR_3D{{{0, 5}, {1, 0}}};
    EXPECT_EQ(nested.Bits(), 4);
    EXPECT_EQ(nested[0][0][1], 5);
    EXPECT_EQ(nested[0][1][0], 1);

    EXPECT_THROW(CCopyLabels(1, 1, 1, 0), std::invalid_argument);
    EXPECT_THROW(CCopyLabels(1, 1, 1, 257), std::invalid_argument);
}

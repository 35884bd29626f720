#include <gtest/gtest.h>

#include "core/VectorUtilities.h"

TEST(InitVctr, ZeroSizeLeavesContainerEmptyAndReusable) {
    DBL_VCTR_1D v;
    InitVctr1D(v, 0, 1.0);
    EXPECT_TRUE(v.empty());
    InitVctr1D(v, 3, 2.0);
    EXPECT_EQ(v.size(), 3u);

    DBL_VCTR_2D m;
    InitVctr2D(m, 0, 4, 0.0);
    EXPECT_TRUE(m.empty());
    InitVctr2D(m, 2, 4, 0.0);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[1].size(), 4u);
}

TEST(InitVctr, SecondCallKeepsFirstShapeAndWarns) {
    INT_VCTR_2D m;
    InitVctr2D(m, 2, 3, 7);
    testing::internal::CaptureStderr();
    InitVctr2D(m, 5, 5, 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "V Already Initialized - InitVctr2D\n");
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0].size(), 3u);
    EXPECT_EQ(m[1][2], 7);
}

TEST(InitVctr, RaggedBlocksAreIndependentCopies) {
    DBL_VCTR_3D p;
    INT_VCTR_1D lengths = {2, 5, 3};
    InitVctr3D(p, 4, 3, lengths, 0.5);
    ASSERT_EQ(p.size(), 4u);
    for (const auto& block : p) {
        ASSERT_EQ(block.size(), 3u);
        EXPECT_EQ(block[0].size(), 2u);
        EXPECT_EQ(block[1].size(), 5u);
        EXPECT_EQ(block[2].size(), 3u);
    }
    p[0][1][4] = 9.0;
    EXPECT_EQ(p[1][1][4], 0.5);
}

#include "study/Modes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "study/Alignment.h"
#include "study/StudyTestUtil.h"

namespace {

// A chain that settled near structure truth, under shuffled labels.
DBL_VCTR_2D ChainNear(const DBL_VCTR_2D& truth, std::mt19937& rng) {
    std::vector<int> p(truth[0].size());
    std::iota(p.begin(), p.end(), 0);
    std::shuffle(p.begin(), p.end(), rng);
    return Noisy(PermuteClusters(truth, p), 0.04, rng);
}

}  // namespace

TEST(ModesTest, ChainsOfTwoSimulatedStructuresFallInTwoModes) {
    std::mt19937 rng(11);
    const int N = 90, K = 4;
    const DBL_VCTR_2D A = SimulatedMemberships(N, K, rng);
    // Structure B: A with two clusters merged and another one split.
    DBL_VCTR_2D B = A;
    for (int i = 0; i < N; ++i) {
        B[i][0] += B[i][1];
        B[i][1] = i % 2 ? B[i][2] : 0;
        B[i][2] -= B[i][1];
    }
    // Chains 0, 2, 4, 5, 7 found A; 1, 3, 6 found B.
    const std::vector<bool> nearA{true, false, true, false, true, true, false, true};
    std::vector<DBL_VCTR_2D> chains;
    std::vector<double> dic;
    for (size_t c = 0; c < nearA.size(); ++c) {
        chains.push_back(ChainNear(nearA[c] ? A : B, rng));
        dic.push_back(nearA[c] ? 1000.0 + c : 900.0 + c);
    }
    std::vector<SMode> modes = FindModes(chains, dic, 0.9);
    ASSERT_EQ(modes.size(), 2u);
    EXPECT_EQ(modes[0].chains, (std::vector<int>{0, 2, 4, 5, 7}));
    EXPECT_EQ(modes[1].chains, (std::vector<int>{1, 3, 6}));
    EXPECT_GT(AlignedSimilarity(A, modes[0].meanQ), 0.95);
    EXPECT_GT(AlignedSimilarity(B, modes[1].meanQ), 0.95);
    EXPECT_NEAR(modes[0].meanDIC, 1000 + (0 + 2 + 4 + 5 + 7) / 5.0, 1e-9);
    for (double s : modes[0].similarityToMean)
        EXPECT_GT(s, 0.95);
    EXPECT_GT(modes[0].meanPairSimilarity, 0.9);
    // Asking for near identity splits every chain apart.
    EXPECT_EQ(FindModes(chains, dic, 0.999).size(), chains.size());
}

TEST(ModesTest, EqualModesAreRankedByTheirMeanDic) {
    std::mt19937 rng(5);
    const DBL_VCTR_2D A = SimulatedMemberships(60, 3, rng);
    DBL_VCTR_2D B = A;
    for (int i = 0; i < 60; i += 2)  // half the individuals swap two clusters
        std::swap(B[i][0], B[i][1]);
    std::vector<DBL_VCTR_2D> chains{ChainNear(A, rng), ChainNear(A, rng), ChainNear(B, rng),
                                    ChainNear(B, rng)};
    std::vector<SMode> modes = FindModes(chains, {500, 510, 490, std::nan("")}, 0.9);
    ASSERT_EQ(modes.size(), 2u);
    // Mean DIC 505 against 490 (the unknown DIC is left out).
    EXPECT_EQ(modes[0].chains, (std::vector<int>{2, 3}));
    EXPECT_DOUBLE_EQ(modes[0].meanDIC, 490);
    std::vector<SMode> one = FindModes({chains[0]}, {1}, 0.9);
    ASSERT_EQ(one.size(), 1u);
    EXPECT_TRUE(std::isnan(one[0].meanPairSimilarity));
    EXPECT_DOUBLE_EQ(one[0].similarityToMean[0], 1);
}

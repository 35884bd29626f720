#include "study/StudySummary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "study/Alignment.h"
#include "study/StudyTestUtil.h"

TEST(StudySummaryTest, EvannoDeltaKOnAKnownLikelihoodTable) {
    const std::vector<int> K{1, 2, 3, 4, 5};
    const std::vector<double> L{-1000, -800, -790, -785, -783};
    const std::vector<double> sd{1, 2, 3, 4, 5};
    const std::vector<double> d = EvannoDeltaK(K, L, sd);
    EXPECT_TRUE(std::isnan(d[0]));
    EXPECT_DOUBLE_EQ(d[1], 190.0 / 2);  // |-790 + 1600 - 1000| / 2
    EXPECT_DOUBLE_EQ(d[2], 5.0 / 3);
    EXPECT_DOUBLE_EQ(d[3], 3.0 / 4);
    EXPECT_TRUE(std::isnan(d[4]));
    // A missing K, an unknown or zero spread leave Delta K undefined.
    const std::vector<double> gap = EvannoDeltaK({1, 2, 4}, {-1000, -800, -790}, {1, 2, 3});
    EXPECT_TRUE(std::isnan(gap[1]));
    const std::vector<double> flat = EvannoDeltaK(K, L, {1, 0, std::nan(""), 4, 5});
    EXPECT_TRUE(std::isnan(flat[1]));
    EXPECT_TRUE(std::isnan(flat[2]));
    EXPECT_DOUBLE_EQ(flat[3], 3.0 / 4);

    std::vector<SKSummary> summaries(5);
    for (size_t i = 0; i < 5; ++i)
        summaries[i].K = K[i], summaries[i].deltaK = d[i];
    EXPECT_EQ(ChooseK(summaries), 2);
    EXPECT_TRUE(summaries[1].chosen);
    EXPECT_FALSE(summaries[2].chosen);
    std::vector<SKSummary> none(2);
    EXPECT_EQ(ChooseK(none), 0);
}

TEST(StudySummaryTest, SummaryOfOneKCountsChainsAndFindsTheBest) {
    std::mt19937 rng(3);
    const DBL_VCTR_2D Q = SimulatedMemberships(40, 2, rng);
    std::vector<SChainResult> chains(4);
    const double dic[] = {120, 100, 0, 110}, logL[] = {-50, -48, 0, -52};
    for (int c = 0; c < 4; ++c) {
        chains[c].K = 2;
        chains[c].replicate = c + 1;
        chains[c].status = c == 2 ? ChainStatus::Failed : ChainStatus::Done;
        chains[c].DIC = dic[c];
        chains[c].meanLogL = logL[c];
        chains[c].Q = Noisy(Q, 0.02, rng);
    }
    SKSummary s = SummariseK(2, chains, 0.9);
    EXPECT_EQ(s.chains, 3);
    EXPECT_EQ(s.failed, 1);
    EXPECT_DOUBLE_EQ(s.meanLogL, -50);
    EXPECT_DOUBLE_EQ(s.sdLogL, 2);  // sample standard deviation of -50, -48, -52
    EXPECT_DOUBLE_EQ(s.meanDIC, 110);
    EXPECT_DOUBLE_EQ(s.bestDIC, 100);
    EXPECT_EQ(s.bestReplicate, 2);
    EXPECT_EQ(s.modes, 1);
    EXPECT_EQ(s.majorModeChains, 3);
    EXPECT_EQ(chains[2].mode, -1);
    EXPECT_EQ(chains[3].mode, 0);
    EXPECT_GT(chains[3].similarityToMode, 0.95);
    EXPECT_TRUE(std::isnan(s.meanHeldOut));

    // Held-out scores: the chains that have one, whatever their own state.
    chains[0].heldOut = -70, chains[2].heldOut = -74;
    s = SummariseK(2, chains, 0.9);
    EXPECT_EQ(s.heldOutChains, 2);
    EXPECT_DOUBLE_EQ(s.meanHeldOut, -72);
    EXPECT_DOUBLE_EQ(s.sdHeldOut, std::sqrt(8.0));
    // The smallest K within one standard error of the best mean.
    std::vector<SKSummary> byK(4);
    const double mean[] = {-478, -464.4, -464.2, NAN};
    for (int k = 0; k < 4; ++k)
        byK[k].K = k + 1, byK[k].meanHeldOut = mean[k], byK[k].heldOutChains = 4;
    byK[2].sdHeldOut = 0.6;  // standard error 0.3
    EXPECT_EQ(ChooseKByHeldOut(byK), 2);
    EXPECT_TRUE(byK[1].bestHeldOut);
    EXPECT_FALSE(byK[2].bestHeldOut);
    byK[2].sdHeldOut = 0.2;
    EXPECT_EQ(ChooseKByHeldOut(byK), 3);
    EXPECT_FALSE(byK[1].bestHeldOut);
    byK[2].sdHeldOut = NAN;  // a single chain: the best mean itself
    EXPECT_EQ(ChooseKByHeldOut(byK), 3);
    std::vector<SKSummary> unscored(2);
    EXPECT_EQ(ChooseKByHeldOut(unscored), 0);
}

TEST(StudySummaryTest, ClustersKeepTheirNumbersFromOneKToTheNext) {
    std::mt19937 rng(9);
    const DBL_VCTR_2D Q3 = SimulatedMemberships(60, 3, rng);
    // K = 2 merges clusters 1 and 2 of K = 3; K = 3 comes with its labels
    // shuffled: columns (2, 0, 1).
    DBL_VCTR_2D Q2(60, DBL_VCTR_1D(2));
    for (int i = 0; i < 60; ++i)
        Q2[i] = {Q3[i][0], Q3[i][1] + Q3[i][2]};
    std::vector<SKSummary> s(2);
    s[0].K = 2;
    s[0].majorQ = Q2;
    s[1].K = 3;
    s[1].majorQ = PermuteClusters(Q3, {2, 0, 1});
    AlignAcrossK(s);
    // Cluster 1 keeps its number; cluster 2 of K = 2 goes on as one of its
    // two parts, the new cluster is number 3.
    for (int i = 0; i < 60; ++i) {
        EXPECT_DOUBLE_EQ(s[1].majorQ[i][0], Q3[i][0]);
        EXPECT_DOUBLE_EQ(s[1].majorQ[i][1] + s[1].majorQ[i][2], Q3[i][1] + Q3[i][2]);
    }
}

// The minor modes of a K are drawn beside its major mode: aligned to it,
// and moved with it when K is aligned to the K before.
TEST(StudySummaryTest, MinorModesFollowTheMajorMode) {
    std::mt19937 rng(5);
    const DBL_VCTR_2D A = SimulatedMemberships(40, 2, rng);
    DBL_VCTR_2D B = SimulatedMemberships(40, 2, rng);
    std::shuffle(B.begin(), B.end(), rng);  // another partition of the individuals
    std::vector<SChainResult> chains(3);
    for (int c = 0; c < 3; ++c) {
        chains[c].K = 2;
        chains[c].status = ChainStatus::Done;
        chains[c].DIC = 100 + c;
        chains[c].Q = c < 2 ? Noisy(A, 0.01, rng) : PermuteClusters(B, {1, 0});
    }
    std::vector<SKSummary> s{SummariseK(2, chains, 0.9)};
    ASSERT_EQ(s[0].modes, 2);
    ASSERT_EQ(s[0].minorQ.size(), 1u);
    EXPECT_EQ(s[0].minorModeChains, std::vector<int>{1});
    // Aligned to the major mode: no permutation brings it closer.
    EXPECT_NEAR(Similarity(s[0].majorQ, s[0].minorQ[0]),
                AlignedSimilarity(s[0].majorQ, s[0].minorQ[0]), 1e-12);
    // The K before has its clusters the other way round: both modes turn.
    const DBL_VCTR_2D major = s[0].majorQ, minor = s[0].minorQ[0];
    SKSummary before;
    before.K = 2;
    before.majorQ = PermuteClusters(major, {1, 0});
    s.insert(s.begin(), before);
    AlignAcrossK(s);
    EXPECT_EQ(s[1].majorQ, PermuteClusters(major, {1, 0}));
    EXPECT_EQ(s[1].minorQ[0], PermuteClusters(minor, {1, 0}));
}

#include "study/Alignment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numeric>
#include <random>

#include "study/StudyTestUtil.h"

namespace {

double AssignmentCost(const DBL_VCTR_2D& cost, const std::vector<int>& a) {
    double total = 0;
    for (size_t r = 0; r < a.size(); ++r)
        total += cost[r][a[r]];
    return total;
}

}  // namespace

TEST(AlignmentTest, HungarianMatchesExhaustiveSearch) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(0, 10);
    for (int n = 1; n <= 7; ++n)
        for (int trial = 0; trial < 20; ++trial) {
            DBL_VCTR_2D cost(n, DBL_VCTR_1D(n));
            for (auto& row : cost)
                for (double& c : row)
                    // Repeated values make ties and degenerate trees likely.
                    c = trial % 2 ? std::floor(u(rng) / 3) : u(rng);
            std::vector<int> a = MinimumCostAssignment(cost);
            std::vector<int> sorted = a;
            std::sort(sorted.begin(), sorted.end());
            std::vector<int> identity(n);
            std::iota(identity.begin(), identity.end(), 0);
            ASSERT_EQ(sorted, identity) << "not a permutation";
            double best = 1e300;
            std::vector<int> p = identity;
            do
                best = std::min(best, AssignmentCost(cost, p));
            while (std::next_permutation(p.begin(), p.end()));
            EXPECT_NEAR(AssignmentCost(cost, a), best, 1e-9) << "n = " << n;
        }
}

TEST(AlignmentTest, RecoversAKnownPermutationOfNoisyMemberships) {
    for (int K : {2, 3, 5, 12}) {
        std::mt19937 rng(100 + K);
        const DBL_VCTR_2D truth = SimulatedMemberships(80, K, rng);
        std::vector<int> permutation(K);
        std::iota(permutation.begin(), permutation.end(), 0);
        std::shuffle(permutation.begin(), permutation.end(), rng);
        if (std::is_sorted(permutation.begin(), permutation.end()))
            std::rotate(permutation.begin(), permutation.begin() + 1, permutation.end());
        // A chain that found the truth under other labels, with noise.
        const DBL_VCTR_2D chain = Noisy(PermuteClusters(truth, permutation), 0.05, rng);
        const std::vector<int> back = AlignClusters(chain, truth);
        for (int k = 0; k < K; ++k)
            EXPECT_EQ(back[permutation[k]], k) << "K = " << K;
        EXPECT_GT(Similarity(PermuteClusters(chain, back), truth), 0.9);
        EXPECT_LT(Similarity(chain, truth), 0.9);
    }
}

TEST(AlignmentTest, SimilarityRunsFromZeroToOne) {
    const DBL_VCTR_2D a{{1, 0}, {0, 1}, {1, 0}};
    const DBL_VCTR_2D b{{0, 1}, {1, 0}, {0, 1}};
    EXPECT_DOUBLE_EQ(Similarity(a, a), 1);
    EXPECT_NEAR(Similarity(a, b), 0, 1e-12);  // every individual moved wholly
    EXPECT_DOUBLE_EQ(AlignedSimilarity(a, b), 1);
    // One individual of two moved wholly: 1 - sqrt(2) / sqrt(4).
    EXPECT_NEAR(Similarity({{1, 0}, {1, 0}}, {{1, 0}, {0, 1}}), 1 - std::sqrt(0.5), 1e-12);
}

TEST(AlignmentTest, AReferenceWithFewerClustersKeepsItsNumbersAndAddsTheNewOne) {
    // K = 2 reference; the K = 3 chain holds its clusters as columns 2 and 0,
    // and in column 1 a new cluster split off the second.
    const DBL_VCTR_2D reference{{1, 0}, {1, 0}, {0, 1}, {0, 1}, {0, 1}, {0, 1}};
    const DBL_VCTR_2D chain{{0, 0, 1}, {0, 0, 1}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    const std::vector<int> p = AlignClusters(chain, reference);
    EXPECT_EQ(p[2], 0);
    EXPECT_EQ(p[0], 1);
    EXPECT_EQ(p[1], 2);
}

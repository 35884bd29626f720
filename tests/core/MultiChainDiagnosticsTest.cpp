#include "core/MultiChainDiagnostics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {

using Chains = std::vector<std::vector<double>>;

// m chains of n draws of an AR(1) process x_t = rho x_{t-1} + e_t with
// stationary standard deviation sd, around mean[c].
Chains Autoregressive(int m, int n, double rho, const std::vector<double>& mean,
                      const std::vector<double>& sd, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal(0, 1);
    Chains chains(m, std::vector<double>(n));
    for (int c = 0; c < m; ++c) {
        double x = normal(rng);
        for (int t = 0; t < n; ++t) {
            x = rho * x + std::sqrt(1 - rho * rho) * normal(rng);
            chains[c][t] = mean[c] + sd[c] * x;
        }
    }
    return chains;
}

}  // namespace

TEST(MultiChainDiagnosticsTest, ChainsOfOneLawAgreeAndAreWorthTheirDraws) {
    const Chains iid = Autoregressive(4, 1000, 0.0, {0, 0, 0, 0}, {1, 1, 1, 1}, 1);
    EXPECT_NEAR(SplitRhat(iid), 1.0, 0.01);
    EXPECT_NEAR(BulkEffectiveSampleSize(iid), 4000, 600);
    // AR(1) with rho 0.9: worth n (1 - rho) / (1 + rho) draws.
    const Chains ar = Autoregressive(4, 5000, 0.9, {0, 0, 0, 0}, {1, 1, 1, 1}, 2);
    EXPECT_NEAR(SplitRhat(ar), 1.0, 0.02);
    EXPECT_NEAR(BulkEffectiveSampleSize(ar), 20000 * 0.1 / 1.9, 0.2 * 20000 * 0.1 / 1.9);
}

TEST(MultiChainDiagnosticsTest, ChainsInDifferentPlacesOrSpreadsOrDriftingDisagree) {
    // One chain of four sits a standard deviation away.
    const Chains shifted = Autoregressive(4, 1000, 0.5, {0, 0, 0, 1}, {1, 1, 1, 1}, 3);
    EXPECT_GT(SplitRhat(shifted), 1.05);
    EXPECT_LT(BulkEffectiveSampleSize(shifted), 1000);
    // Same centre, other spreads: only the tails tell them apart.
    const Chains spread = Autoregressive(4, 1000, 0.0, {0, 0, 0, 0}, {1, 1, 3, 3}, 4);
    EXPECT_LT(PotentialScaleReduction(RankNormalize(SplitChains(spread))), 1.02);
    EXPECT_GT(SplitRhat(spread), 1.05);
    // A single chain that drifts disagrees with itself once split.
    std::vector<double> drift(400);
    for (size_t t = 0; t < drift.size(); ++t)
        drift[t] = 0.01 * static_cast<double>(t) + std::sin(static_cast<double>(t));
    EXPECT_GT(SplitRhat({drift}), 1.5);
}

TEST(MultiChainDiagnosticsTest, RanksSplitsAndUndefinedCases) {
    const Chains z = RankNormalize({{3, 1, 2}, {2, 5}});
    EXPECT_DOUBLE_EQ(z[0][2], z[1][0]);  // ties share a score
    EXPECT_LT(z[0][1], z[0][2]);
    EXPECT_NEAR(z[0][1], -z[1][1], 1e-12);  // lowest and highest of 5 are symmetric
    const Chains halves = SplitChains({{1, 2, 3, 4, 5}, {6, 7, 8, 9, 10, 11}});
    ASSERT_EQ(halves.size(), 4u);
    EXPECT_EQ(halves[0], (std::vector<double>{1, 2}));
    EXPECT_EQ(halves[1], (std::vector<double>{4, 5}));
    EXPECT_EQ(halves[3], (std::vector<double>{9, 10}));
    EXPECT_TRUE(std::isnan(SplitRhat({{1, 1, 1, 1}, {1, 1, 1, 1}})));
    EXPECT_TRUE(std::isnan(SplitRhat({{1}})));
    EXPECT_EQ(BulkEffectiveSampleSize({}), 0.0);
}

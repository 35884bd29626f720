#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "core/Diagnostics.h"

namespace {

// x[t] = rho x[t-1] + e[t], stationary from the start: its effective sample
// size is n (1 - rho) / (1 + rho).
std::vector<double> AutoRegressive(double rho, size_t n, unsigned long seed) {
    gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
    gsl_rng_set(rng, seed);
    std::vector<double> x(n);
    x[0] = gsl_ran_gaussian(rng, 1.0 / std::sqrt(1.0 - rho * rho));
    for (size_t t = 1; t < n; ++t)
        x[t] = rho * x[t - 1] + gsl_ran_gaussian(rng, 1.0);
    gsl_rng_free(rng);
    return x;
}

}  // namespace

TEST(Autocovariances, AgreeWithTheDirectSumsAtEveryLag) {
    const std::vector<double> x = {1.5, -0.2, 3.1, 0.7, 0.7, -2.4, 5.0};
    const size_t n = x.size();
    double mean = 0.0;
    for (double v : x)
        mean += v / n;
    const std::vector<double> gamma = Autocovariances(x.data(), n);
    ASSERT_EQ(gamma.size(), n);
    for (size_t k = 0; k < n; ++k) {
        double direct = 0.0;
        for (size_t t = 0; t + k < n; ++t)
            direct += (x[t] - mean) * (x[t + k] - mean);
        EXPECT_NEAR(gamma[k], direct / n, 1e-12) << "lag " << k;
    }
}

// The estimator is checked against the known value of autoregressive traces
// (independent, positively and negatively correlated); 10 % covers its
// sampling error at these lengths.
TEST(EffectiveSampleSize, MatchesAutoRegressiveTraces) {
    const size_t n = 100000;
    for (double rho : {0.0, 0.5, 0.95, -0.3}) {
        const double expected = n * (1 - rho) / (1 + rho);
        const double ess = EffectiveSampleSize(AutoRegressive(rho, n, 7));
        EXPECT_NEAR(ess / expected, 1.0, 0.1) << "rho " << rho;
    }
}

TEST(EffectiveSampleSize, IsZeroForAConstantOrTooShortTrace) {
    EXPECT_EQ(EffectiveSampleSize(std::vector<double>(50, 2.5)), 0.0);
    EXPECT_EQ(EffectiveSampleSize(std::vector<double>{1.0}), 0.0);
    EXPECT_EQ(EffectiveSampleSize(std::vector<double>{}), 0.0);
}

TEST(IsConstantOverLastHalf, LooksAtTheLastHalfOnly) {
    std::vector<double> x = {3, 1, 4, 1, 5, 9, 9, 9, 9};  // last 4 values
    EXPECT_TRUE(IsConstantOverLastHalf(x.data(), x.size()));
    x[5] = 9.000001;
    EXPECT_FALSE(IsConstantOverLastHalf(x.data(), x.size()));
    EXPECT_FALSE(IsConstantOverLastHalf(x.data(), 1));
}

TEST(AcceptanceCounter, CountsProposalsAndAcceptances) {
    CAcceptanceCounter c;
    EXPECT_TRUE(std::isnan(c.Rate()));
    for (int t = 0; t < 10; ++t)
        c.Count(t % 4 == 0);
    EXPECT_EQ(c.proposed, 10);
    EXPECT_EQ(c.accepted, 3);
    EXPECT_DOUBLE_EQ(c.Rate(), 0.3);
}

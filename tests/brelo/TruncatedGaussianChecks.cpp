// Exact check of the truncated normal draws behind the probit utilities:
// mean and second moment against the closed forms, on half-lines and
// intervals from the bulk of the law to its far tails. Fixed seed.
#include <gsl/gsl_cdf.h>
#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "brelo/TruncatedGaussian.h"
#include "core/ExactCheckSupport.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

// Mass of the standard normal law between a and b, from the tail where it
// is accurate.
double StandardMass(double a, double b) {
    if (a >= 0)
        return gsl_cdf_ugaussian_Q(a) - gsl_cdf_ugaussian_Q(b);
    return gsl_cdf_ugaussian_P(b) - gsl_cdf_ugaussian_P(a);
}

double DensityTimes(double x, double factor) {
    return std::isinf(x) ? 0.0 : factor * gsl_ran_ugaussian_pdf(x);
}

// Mean and second moment of N(mu, sigma^2) restricted to (lower, upper).
void TruncatedMoments(double mu, double sigma, double lower, double upper, double& mean,
                      double& second) {
    const double a = (lower - mu) / sigma, b = (upper - mu) / sigma;
    const double Z = StandardMass(a, b);
    const double shift = (DensityTimes(a, 1.0) - DensityTimes(b, 1.0)) / Z;
    const double spread =
        (DensityTimes(a, std::isinf(a) ? 0 : a) - DensityTimes(b, std::isinf(b) ? 0 : b)) / Z;
    const double variance = sigma * sigma * (1 + spread - shift * shift);
    mean = mu + sigma * shift;
    second = variance + mean * mean;
}

}  // namespace

TEST(TruncatedGaussianChecks, DrawsHaveTheMomentsOfTheTruncatedLaw) {
    struct SCase {
        double mu, sigma, lower, upper;
    };
    const SCase cases[] = {
        {0.5, 2.0, -3.5, kInf},   // most of the mass above the bound
        {0.5, 2.0, 0.5, kInf},    // half
        {0.5, 2.0, 3.5, kInf},    // the tail
        {0.5, 2.0, 16.5, kInf},   // far tail, a = 8
        {-1.0, 1.0, 29.0, kInf},  // a = 30
        {0.5, 2.0, -kInf, 4.5},   // the same on the other side
        {0.5, 2.0, -kInf, -3.5}, {-1.0, 1.0, -kInf, -31.0},
        {0.0, 1.0, -1.0, 0.5},    // intervals: around the mean,
        {0.0, 1.0, 2.0, 2.5},     // in one tail,
        {0.0, 1.0, -30.0, -29.9}  // in the far tail
    };
    CSeededRng rng(81);
    const int draws = 50000;
    for (const SCase& c : cases) {
        SMoments first, second;
        for (int t = 0; t < draws; ++t) {
            double x;
            if (std::isinf(c.upper))
                x = TruncGauss_Left(c.mu, c.sigma, c.lower, rng.get());
            else if (std::isinf(c.lower))
                x = TruncGauss_Right(c.mu, c.sigma, c.upper, rng.get());
            else
                x = TruncGauss(c.mu, c.sigma, c.lower, c.upper, rng.get());
            ASSERT_TRUE(x > c.lower && x < c.upper) << x;
            first.Add(x);
            second.Add(x * x);
        }
        double mean, moment2;
        TruncatedMoments(c.mu, c.sigma, c.lower, c.upper, mean, moment2);
        EXPECT_LT(std::fabs(first.Z(mean)), kZLimit) << c.lower << " " << c.upper;
        EXPECT_LT(std::fabs(second.Z(moment2)), kZLimit) << c.lower << " " << c.upper;
    }
}

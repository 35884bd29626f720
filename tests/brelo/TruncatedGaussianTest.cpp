#include <gsl/gsl_cdf.h>
#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>

#include "brelo/TruncatedGaussian.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

class Rng {
  public:
    explicit Rng(unsigned long seed) : rng_(gsl_rng_alloc(gsl_rng_mt19937)) {
        gsl_rng_set(rng_, seed);
    }
    ~Rng() { gsl_rng_free(rng_); }
    gsl_rng*& get() { return rng_; }

  private:
    gsl_rng* rng_;
};

// Largest distance between the empirical distribution of n draws and cdf,
// times sqrt(n); above 1.95 the fit is rejected at the 0.1 % level.
double KolmogorovSmirnov(std::function<double()> draw, std::function<double(double)> cdf, int n) {
    DBL_VCTR_1D x(n);
    for (double& v : x)
        v = draw();
    std::sort(x.begin(), x.end());
    double D = 0;
    for (int i = 0; i < n; ++i) {
        const double F = cdf(x[i]);
        D = std::max({D, std::fabs(F - double(i) / n), std::fabs(F - double(i + 1) / n)});
    }
    return D * std::sqrt(double(n));
}

const double kUniforms[] = {0.0, 1e-12, 0x1p-32, 0.1, 0.5, 0.9, 1.0 - 0x1p-32};

}  // namespace

TEST(TruncGauss, InvertsTheDistributionFunctionAtTheUniform) {
    EXPECT_NEAR(TruncGaussRightAt(0, 1, 0, 0.5), gsl_cdf_ugaussian_Pinv(0.25), 1e-14);
    EXPECT_NEAR(TruncGaussLeftAt(0, 1, 0, 0.5), gsl_cdf_ugaussian_Pinv(0.75), 1e-14);
    EXPECT_NEAR(TruncGaussLeftAt(1, 2, 1, 0.5), 1 + 2 * gsl_cdf_ugaussian_Pinv(0.75), 1e-13);
    EXPECT_NEAR(TruncGaussAt(0, 1, -1, 2, 0.3),
                gsl_cdf_ugaussian_Pinv(gsl_cdf_ugaussian_P(-1) +
                                       0.3 * (gsl_cdf_ugaussian_P(2) - gsl_cdf_ugaussian_P(-1))),
                1e-13);
    // Larger u, larger draw, on both sides of the mean and in the far tail.
    for (double bound : {-3.0, 0.0, 2.0, 36.0, 1e3}) {
        double previousLeft = -kInf, previousRight = -kInf, previousInterval = -kInf;
        for (double u : {0.01, 0.2, 0.5, 0.8, 0.99}) {
            const double left = TruncGaussLeftAt(0, 1, bound, u);
            const double right = TruncGaussRightAt(0, 1, -bound, u);
            const double interval = TruncGaussAt(0, 1, bound, bound + 0.5, u);
            EXPECT_GT(left, previousLeft) << bound << " " << u;
            EXPECT_GT(right, previousRight) << bound << " " << u;
            EXPECT_GT(interval, previousInterval) << bound << " " << u;
            previousLeft = left;
            previousRight = right;
            previousInterval = interval;
        }
    }
}

TEST(TruncGauss, EqualBoundsGiveTheBoundAndCrossedBoundsAreFatal) {
    for (double u : kUniforms)
        EXPECT_EQ(TruncGaussAt(3, 2, 1.5, 1.5, u), 1.5);
    Rng rng(1);
    EXPECT_EXIT(TruncGauss(0, 1, 1, 0, rng.get()), ::testing::ExitedWithCode(1),
                "Error lower bound is greater than upper bound in TruncGauss\\. Exiting\\.\\.\\.");
}

TEST(TruncGauss, FarTailDrawsAreFiniteAndStrictlyInside) {
    for (double bound : {10.0, 35.0, 40.0, 1e3, 1e6, 1e200}) {
        for (double u : kUniforms) {
            const double left = TruncGaussLeftAt(0, 1, bound, u);
            EXPECT_TRUE(std::isfinite(left) && left > bound) << bound << " " << u << " " << left;
            const double right = TruncGaussRightAt(0, 1, -bound, u);
            EXPECT_TRUE(std::isfinite(right) && right < -bound) << bound << " " << u;
            const double shifted = TruncGaussLeftAt(5, 0.1, 5 + 0.1 * bound, u);
            EXPECT_TRUE(std::isfinite(shifted) && shifted > 5 + 0.1 * bound) << bound << " " << u;
            const double lower = -bound - std::max(1.0, 1e-3 * bound);
            const double interval = TruncGaussAt(0, 1, lower, -bound, u);
            EXPECT_TRUE(interval > lower && interval < -bound) << bound << " " << u;
        }
    }
    // The open end of a half-line or of an unbounded interval is never returned.
    EXPECT_TRUE(std::isfinite(TruncGaussRightAt(0, 1, 0, 0.0)));
    EXPECT_TRUE(std::isfinite(TruncGaussAt(0, 1, -kInf, 0, 0.0)));
    EXPECT_TRUE(std::isfinite(TruncGaussAt(0, 1, 0, kInf, 1.0 - 0x1p-53)));
    EXPECT_TRUE(std::isnan(TruncGaussLeftAt(std::nan(""), 1, 0, 0.5)));
}

TEST(TruncGauss, FarTailFollowsTheExactLaw) {
    // Where GSL's Q still resolves the tail, the draw solves
    // Q(x) = (1 - u) Q(a) to near double precision.
    for (double a : {20.0, 35.5, 36.0, 37.0}) {
        for (double u : {1e-9, 0.25, 0.5, 0.999}) {
            const double x = TruncGaussLeftAt(0, 1, a, u);
            EXPECT_NEAR(gsl_cdf_ugaussian_Q(x) / gsl_cdf_ugaussian_Q(a), 1 - u, 1e-10 * (1 - u))
                << a << " " << u;
        }
    }
    // Beyond, the excess over the bound is exponential with rate a.
    for (double a : {1e3, 1e6}) {
        const double u = 0.75;
        const double x = TruncGaussLeftAt(0, 1, a, u);
        EXPECT_NEAR((x - a) * a, -std::log1p(-u), 1e-4) << a;
    }
}

TEST(TruncGauss, DrawsMatchTheTruncatedLaw) {
    Rng rng(20240611);
    const int n = 100000;
    const double a = 2.0;
    double sum = 0, minimum = kInf;
    for (int i = 0; i < n; ++i) {
        const double x = TruncGauss_Left(0, 1, a, rng.get());
        sum += x;
        minimum = std::min(minimum, x);
    }
    const double lambda = gsl_ran_ugaussian_pdf(a) / gsl_cdf_ugaussian_Q(a);
    const double sd = std::sqrt(1 + a * lambda - lambda * lambda);
    EXPECT_GT(minimum, a);
    EXPECT_NEAR(sum / n, lambda, 4 * sd / std::sqrt(double(n)));

    const auto Q = [](double x) { return gsl_cdf_ugaussian_Q(x); };
    EXPECT_LT(KolmogorovSmirnov([&] { return TruncGauss_Left(0, 1, 2, rng.get()); },
                                [&](double x) { return 1 - Q(x) / Q(2); }, n),
              1.95);
    EXPECT_LT(KolmogorovSmirnov([&] { return TruncGauss_Right(1, 2, 0.5, rng.get()); },
                                [&](double x) { return Q(-(x - 1) / 2) / Q(0.25); }, n),
              1.95);
    EXPECT_LT(KolmogorovSmirnov([&] { return TruncGauss(0, 1, -1, 0.5, rng.get()); },
                                [&](double x) { return (Q(-1) - Q(x)) / (Q(-1) - Q(0.5)); }, n),
              1.95);
    EXPECT_LT(KolmogorovSmirnov([&] { return TruncGauss_Left(0, 1, 36, rng.get()); },
                                [&](double x) { return 1 - Q(x) / Q(36); }, n),
              1.95);
    EXPECT_LT(KolmogorovSmirnov([&] { return TruncGauss(0, 1, 36, 36.05, rng.get()); },
                                [&](double x) { return (Q(36) - Q(x)) / (Q(36) - Q(36.05)); }, n),
              1.95);
}

TEST(SimulateXtild, InterceptThenUniformCovariatesAndNoOverwrite) {
    Rng rng(3);
    DBL_VCTR_2D Xtild;
    SimulateXtild(Xtild, 50, 3, rng.get());
    ASSERT_EQ(Xtild.size(), 50u);
    double sum = 0;
    for (const auto& row : Xtild) {
        ASSERT_EQ(row.size(), 3u);
        EXPECT_EQ(row[0], 1.0);
        for (int c = 1; c < 3; ++c) {
            EXPECT_GE(row[c], -1.0);
            EXPECT_LT(row[c], 1.0);
            sum += row[c];
        }
    }
    EXPECT_NEAR(sum / 100, 0.0, 0.25);
    DBL_VCTR_2D before = Xtild;
    testing::internal::CaptureStdout();
    SimulateXtild(Xtild, 5, 2, rng.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Xtild exists already. No new simulation.\n");
    EXPECT_EQ(Xtild, before);
}

TEST(MultiProbitModel, ReferenceClassAndColumnMapping) {
    Rng rng(5);
    // Two utility columns, far apart: row 0 of Xtild picks column 0, row 1
    // column 1, row 2 is left to the noise.
    DBL_VCTR_2D Beta = {{0, 100}, {0, -100}};
    DBL_VCTR_2D Xtild = {{1, 1}, {1, -1}, {1, 0}};
    INT_VCTR_1D Z;
    MultiProbitModel(Z, Xtild, Beta, 3, 0, rng.get());
    ASSERT_EQ(Z.size(), 3u);
    EXPECT_EQ(Z[0], 1);  // column 0 is class 1 when the reference is 0
    EXPECT_EQ(Z[1], 2);
    INT_VCTR_1D Zlast;
    MultiProbitModel(Zlast, Xtild, Beta, 3, 2, rng.get());
    EXPECT_EQ(Zlast[0], 0);  // column c is class c when the reference is last
    EXPECT_EQ(Zlast[1], 1);
    INT_VCTR_1D Zbase;  // both utilities far below 0: the reference class
    DBL_VCTR_2D X2 = {{1, 0}}, below = {{-100, 0}, {-100, 0}};
    MultiProbitModel(Zbase, X2, below, 1, 1, rng.get());
    EXPECT_EQ(Zbase, INT_VCTR_1D{1});

    testing::internal::CaptureStderr();
    MultiProbitModel(Z, Xtild, Beta, 3, 0, rng.get());
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning : Z has already been initialized. Exit from MultiProbitModel...\n");
    EXPECT_EQ(Z.size(), 3u);
}

TEST(MultiProbitModel, NoiseAloneGivesTheReferenceClassAQuarterOfTheTime) {
    // Zero coefficients, two utility columns: the reference class wins when
    // both standard normal utilities are negative, with probability 1/4.
    Rng rng(11);
    const int M = 20000;
    DBL_VCTR_2D Xtild, Beta = {{0, 0, 0}, {0, 0, 0}};
    INT_VCTR_1D Z;
    MultiProbitModel(Z, Xtild, Beta, M, 1, rng.get());
    ASSERT_EQ(Xtild.size(), size_t(M));
    ASSERT_EQ(Xtild[0].size(), 3u);
    ASSERT_EQ(Z.size(), size_t(M));
    int counts[3] = {0, 0, 0};
    for (int z : Z)
        ++counts[z];
    EXPECT_NEAR(counts[1] / double(M), 0.25, 0.015);
    EXPECT_NEAR(counts[0] / double(M), 0.375, 0.015);
}

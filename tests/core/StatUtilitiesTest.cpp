#include "core/StatUtilities.h"

#include <gmock/gmock.h>
#include <gsl/gsl_sf_gamma.h>
#include <gtest/gtest.h>

#include <chrono>

#include <cmath>

#include "core/MiscUtilities.h"
#include "core/TestSupport.h"

TEST(Quantile, InterpolatesBetweenOrderStatistics) {
    const double d[] = {4, 1, 3, 2};
    EXPECT_DOUBLE_EQ(quantile(d, 4, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(quantile(d, 4, 0.25), 1.75);
    EXPECT_DOUBLE_EQ(quantile(d, 4, 1.0), 4.0);
    EXPECT_DOUBLE_EQ(quantile(d, 4, 0.0), 1.0);
    EXPECT_EQ(d[0], 4);  // input untouched
    EXPECT_EQ(quantile(d, 0, 0.5), 0.0);
    EXPECT_EQ(quantile(d, 1, 0.9), 4.0);
    const double withNaN[] = {NAN, 1, 2, 3};
    EXPECT_DOUBLE_EQ(quantile(withNaN, 4, 0.5), 2.5);  // NaN sorts last
}

TEST(Significance, MarksTheNarrowestIntervalExcludingZero) {
    DBL_VCTR_1D s(100);
    for (int i = 0; i < 100; ++i)
        s[i] = i + 1;  // 1..100: all positive
    EXPECT_EQ(Significance(s.data(), 100), "****");
    s[0] = -1000;  // q(0.005) < 0 but q(0.025) > 0
    EXPECT_EQ(Significance(s.data(), 100), "**");
    s[1] = -1000;
    s[2] = -1000;  // q(0.025) < 0, q(0.05) > 0
    EXPECT_EQ(Significance(s.data(), 100), "*");
    for (int i = 0; i < 10; ++i)
        s[i] = -1;
    EXPECT_EQ(Significance(s.data(), 100), "no");
    EXPECT_EQ(Significance(nullptr, 0), "no");

    DBL_VCTR_1D far(10000);
    for (int i = 0; i < 10000; ++i)
        far[i] = 50 + std::sin(i);
    EXPECT_EQ(Significance(far.data(), 10000), "****");
    // 2000 values, two below 0: only the 99.9 % interval reaches them
    // (pos 0.9995 lies between the two lowest); with one it stays above 0.
    DBL_VCTR_1D two(2000, 1.0);
    two[0] = -1;
    EXPECT_EQ(Significance(two.data(), 2000), "****");
    two[1] = -1;
    EXPECT_EQ(Significance(two.data(), 2000), "***");
}

TEST(CI, QuantilesWithSixSignificantDigits) {
    const double d[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(CI(d, 5, 0.25, 0.75), "[ 2 , 4 ]");
    const double e[] = {0.123456789, 1234567.89};
    EXPECT_EQ(CI(e, 2, 0, 1), "[ 0.123457 , 1.23457e+06 ]");
    EXPECT_EQ(CI(nullptr, 0, 0.025, 0.975), "[ 0 , 0 ]");
}

TEST(Correlation, MembershipMatrices) {
    DBL_VCTR_2D X = {{0.9, 0.1}, {0.2, 0.8}, {0.5, 0.5}};
    EXPECT_DOUBLE_EQ(Correlation(X, X), 1.0);
    DBL_VCTR_2D Y = {{0.8, 0.2}, {0.4, 0.6}, {0.3, 0.7}};
    // propMean = 3 / 2
    double sxy = 0.9 * 0.8 + 0.1 * 0.2 + 0.2 * 0.4 + 0.8 * 0.6 + 0.5 * 0.3 + 0.5 * 0.7;
    double sxx = 0.81 + 0.01 + 0.04 + 0.64 + 0.25 + 0.25;
    double syy = 0.64 + 0.04 + 0.16 + 0.36 + 0.09 + 0.49;
    EXPECT_NEAR(Correlation(X, Y), (sxy - 1.5) / std::sqrt((sxx - 1.5) * (syy - 1.5)), 1e-12);
    EXPECT_EXIT_STDOUT(Correlation(X, DBL_VCTR_2D{{1, 0}}),
                       "^Correlation: Matrices have inadequate dimensions to be multiplied\\. "
                       "Exiting\\.\\.\\.\n$");
}

TEST(MiscUtilities, ProgressAndRunTimeLines) {
    EXPECT_EQ(NumOfDigits(0), 1);
    EXPECT_EQ(NumOfDigits(9), 1);
    EXPECT_EQ(NumOfDigits(10), 2);
    EXPECT_EQ(NumOfDigits(10000), 5);
    EXPECT_EQ(NumOfDigits(99999), 5);

    testing::internal::CaptureStdout();
    PrintSweepProgress(100, 5);
    PrintSweepProgress(150, 5);
    PrintSweepProgress(0, 5);
    PrintSweepProgress(10000, 5);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "00100 sweeps completed.\n10000 sweeps completed.\n");

    {
        FlavourScope f(ProgramFlavour::Brelo);
        testing::internal::CaptureStdout();
        // Wall-clock time: a run that started three seconds ago, however
        // little processor time it used.
        PrintRunTime(std::chrono::system_clock::now() - std::chrono::seconds(3));
        EXPECT_THAT(
            testing::internal::GetCapturedStdout(),
            ::testing::MatchesRegex(
                "This run takes 3\\.[0-9]{3} seconds to complete on this computer\\.\n"));
    }
    FlavourScope f(ProgramFlavour::BreloAdm);
    testing::internal::CaptureStdout();
    PrintRunTime(std::chrono::system_clock::now());
    EXPECT_THAT(testing::internal::GetCapturedStdout(),
                ::testing::MatchesRegex("This run took [0-9]+\\.[0-9]{3} seconds to complete on "
                                        "this computer\\.\n\n\n"));
}

// Where exp(logA) underflows, lnGamma(exp(logA)) is -logA (to 1e-300 and
// beyond); where it does not, GSL's value; and the two meet at the switch.
TEST(LogGammaOfExp, FollowsLnGammaIntoTheUnderflow) {
    EXPECT_NEAR(LogGammaOfExp(std::log(2.5)), gsl_sf_lngamma(2.5), 1e-12);
    EXPECT_NEAR(LogGammaOfExp(-29.999), gsl_sf_lngamma(std::exp(-29.999)), 1e-10);
    EXPECT_NEAR(LogGammaOfExp(-30.001), gsl_sf_lngamma(std::exp(-30.001)), 1e-10);
    EXPECT_DOUBLE_EQ(LogGammaOfExp(-800.0), 800.0);
    const double v[3] = {-800.0, -801.0, -1e6};
    EXPECT_NEAR(LogSumExp(v, 3), -800.0 + std::log1p(std::exp(-1.0)), 1e-12);
    const double big[2] = {710.0, 710.0};
    EXPECT_NEAR(LogSumExp(big, 2), 710.0 + std::log(2.0), 1e-12);
}

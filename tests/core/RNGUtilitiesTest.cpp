#include "core/RNGUtilities.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_rng.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>

#include "core/MatrixUtilities.h"
#include "core/TestSupport.h"

namespace {
// Allocates quietly (the seed line is checked elsewhere).
unsigned long AllocQuiet(gsl_rng*& rng) {
    testing::internal::CaptureStdout();
    unsigned long seed = AllocRNG(rng, gsl_rng_mt19937);
    testing::internal::GetCapturedStdout();
    return seed;
}

class SeedEnv : public ::testing::Test {
  protected:
    void SetUp() override {
        const char* old = getenv("GSL_RNG_SEED");
        m_hadSeed = old != nullptr;
        if (m_hadSeed)
            m_oldSeed = old;
        ResetRNGSeedSequence();
    }
    void TearDown() override {
        if (m_hadSeed)
            setenv("GSL_RNG_SEED", m_oldSeed.c_str(), 1);
        else
            unsetenv("GSL_RNG_SEED");
        ResetRNGSeedSequence();
    }

  private:
    bool m_hadSeed = false;
    std::string m_oldSeed;
};

// The seed the first generator of a fresh process takes, run in a child.
unsigned long SeedOfChildProcess() {
    int fds[2];
    if (pipe(fds) != 0)
        return 0;
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        ResetRNGSeedSequence();
        gsl_rng* rng = nullptr;
        unsigned long seed = AllocQuiet(rng);
        if (write(fds[1], &seed, sizeof seed) != sizeof seed)
            _exit(1);
        _exit(0);
    }
    close(fds[1]);
    unsigned long seed = 0;
    if (read(fds[0], &seed, sizeof seed) != sizeof seed)
        seed = 0;
    close(fds[0]);
    waitpid(pid, nullptr, 0);
    return seed;
}
}  // namespace

using RNGSeeding = SeedEnv;

TEST_F(RNGSeeding, EnvironmentSeedThenConsecutiveSeedsAndReproducibleDraws) {
    setenv("GSL_RNG_SEED", "5", 1);
    gsl_rng* first = nullptr;
    gsl_rng* second = nullptr;
    testing::internal::CaptureStdout();
    EXPECT_EQ(AllocRNG(first, gsl_rng_mt19937), 5u);
    EXPECT_EQ(AllocRNG(second, gsl_rng_mt19937), 6u);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Random seed: 5\nRandom seed: 6\n");
    EXPECT_NE(gsl_rng_get(first), gsl_rng_get(second));

    ResetRNGSeedSequence();
    gsl_rng* again = nullptr;
    EXPECT_EQ(AllocQuiet(again), 5u);
    gsl_rng_set(first, 5);
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(gsl_rng_get(first), gsl_rng_get(again));

    FreeRNG(first);
    FreeRNG(second);
    FreeRNG(again);
    EXPECT_EQ(first, nullptr);
    FreeRNG(first);  // freeing a null generator is harmless
}

TEST_F(RNGSeeding, WithoutEnvironmentProcessesStartedTogetherDiffer) {
    unsetenv("GSL_RNG_SEED");
    unsigned long a = SeedOfChildProcess();
    unsigned long b = SeedOfChildProcess();
    EXPECT_NE(a, b);  // same second, different process ids
    gsl_rng* rng = nullptr;
    gsl_rng* next = nullptr;
    unsigned long s = AllocQuiet(rng);
    EXPECT_EQ(AllocQuiet(next), s + 1);
    FreeRNG(rng);
    FreeRNG(next);
}

class Draws : public ::testing::Test {
  protected:
    void SetUp() override {
        m_rng = gsl_rng_alloc(gsl_rng_mt19937);
        gsl_rng_set(m_rng, 20240);
    }
    void TearDown() override { gsl_rng_free(m_rng); }
    gsl_rng* m_rng = nullptr;
};

TEST_F(Draws, SelectANumFollowsWeightsAndNeverReturnsPastTheEnd) {
    for (int i = 0; i < 200; ++i) {
        EXPECT_EQ(SelectANum(m_rng, {0.0, 1.0}), 1);
        EXPECT_EQ(SelectANum(m_rng, {1.0, 0.0}), 0);
    }
    // Weights summing to 0.5: draws above it fall on the last positive weight.
    const int n = 20000;
    int counts[4] = {0, 0, 0, 0};
    for (int i = 0; i < n; ++i) {
        int k = SelectANum(m_rng, {0.25, 0.25, 0.0});
        ASSERT_GE(k, 0);
        ASSERT_LE(k, 2);
        ++counts[k];
    }
    EXPECT_EQ(counts[2], 0);
    EXPECT_NEAR(counts[0] / double(n), 0.25, 0.02);
    EXPECT_NEAR(counts[1] / double(n), 0.75, 0.02);
}

TEST_F(Draws, MultivariateGaussHasTheFactorsCovariance) {
    DBL_VCTR_1D mu = {1.0, -2.0};
    DBL_VCTR_2D L;
    choldc(L, DBL_VCTR_2D{{4, 2}, {2, 3}});
    const int n = 20000;
    double s0 = 0, s1 = 0, s00 = 0, s11 = 0, s01 = 0;
    DBL_VCTR_1D Y;
    for (int i = 0; i < n; ++i) {
        MultivariateGauss(mu, L, Y, m_rng);
        ASSERT_EQ(Y.size(), 2u);
        s0 += Y[0];
        s1 += Y[1];
        s00 += Y[0] * Y[0];
        s11 += Y[1] * Y[1];
        s01 += Y[0] * Y[1];
    }
    double m0 = s0 / n, m1 = s1 / n;
    EXPECT_NEAR(m0, 1.0, 0.05);
    EXPECT_NEAR(m1, -2.0, 0.05);
    EXPECT_NEAR(s00 / n - m0 * m0, 4.0, 0.2);
    EXPECT_NEAR(s11 / n - m1 * m1, 3.0, 0.15);
    EXPECT_NEAR(s01 / n - m0 * m1, 2.0, 0.15);

    DBL_VCTR_1D fixed = {7.0, 8.0, 9.0};
    MultivariateGauss(mu, DBL_VCTR_2D(2, DBL_VCTR_1D(2, 0.0)), fixed, m_rng);
    EXPECT_EQ(fixed, (DBL_VCTR_1D{1.0, -2.0, 9.0}));  // only the first n entries change
}

TEST_F(Draws, MultivariateGaussDrawsInOrderAndReproduces) {
    gsl_rng_set(m_rng, 7);
    double z0 = gsl_ran_ugaussian(m_rng);
    double z1 = gsl_ran_ugaussian(m_rng);
    gsl_rng_set(m_rng, 7);
    DBL_VCTR_1D Y;
    MultivariateGauss({0.5, 0.5}, {{1, 0}, {0.5, 2}}, Y, m_rng);
    EXPECT_DOUBLE_EQ(Y[0], 0.5 + z0);
    EXPECT_DOUBLE_EQ(Y[1], 0.5 + 0.5 * z0 + 2 * z1);
}

TEST_F(Draws, BreloReportsAnInfiniteDraw) {
    FlavourScope flavour(ProgramFlavour::Brelo);
    DBL_VCTR_1D Y;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    MultivariateGauss({INFINITY}, {{1}}, Y, m_rng);
    const std::string message = testing::internal::GetCapturedStderr();
    const std::string dump = testing::internal::GetCapturedStdout();
    EXPECT_EQ(message, "Y[0] == infini in Multivariate Gaussian\n");
    EXPECT_EQ(dump.rfind("inf", 0), 0u) << dump;  // mu, the normal draws and v_chol follow
    EXPECT_TRUE(std::isinf(Y[0]));
}

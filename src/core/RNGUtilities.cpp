#include "core/RNGUtilities.h"

#include <gsl/gsl_randist.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>

#include "core/Messages.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"

namespace {
// The seed sequence of the process: the first generator's seed, then +1.
bool g_bSeeded = false;
unsigned long g_nLastSeed = 0;

// Mixes the clock with the process id (splitmix64 finaliser), so that two
// processes started within the same second get unrelated seeds.
unsigned long ClockSeed() {
    unsigned long long x = static_cast<unsigned long long>(time(nullptr));
    x ^= static_cast<unsigned long long>(getpid()) << 32;
    x += 0x9E3779B97F4A7C15ULL;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
    x ^= x >> 31;
    // Keep it within 32 bits: some generators use only the low 32 bits.
    return static_cast<unsigned long>(x & 0xFFFFFFFFULL);
}

unsigned long FirstSeed() {
    // GSL_RNG_SEED is GSL's own variable; read as gsl_rng_env_setup does.
    const char* env = getenv("GSL_RNG_SEED");
    if (env != nullptr)
        return strtoul(env, nullptr, 0);
    return ClockSeed();
}

// Scratch space for the standard normal draws, reused across calls so that a
// sweep does not allocate; one per thread, as replicas draw side by side.
thread_local DBL_VCTR_1D g_vNormalDraws;
}  // namespace

unsigned long AllocRNG(gsl_rng*& rng, const gsl_rng_type* T) {
    unsigned long seed = g_bSeeded ? g_nLastSeed + 1 : FirstSeed();
    g_bSeeded = true;
    g_nLastSeed = seed;
    rng = gsl_rng_alloc(T);
    if (rng == nullptr) {
        PrintMessage("Cannot allocate the random number generator - AllocRNG");
        ExitProgram(1);
    }
    gsl_rng_set(rng, seed);
    std::cout << "Random seed: " << seed << std::endl;
    return seed;
}

void FreeRNG(gsl_rng*& rng) {
    if (rng != nullptr)
        gsl_rng_free(rng);
    rng = nullptr;
}

void ResetRNGSeedSequence() {
    g_bSeeded = false;
    g_nLastSeed = 0;
}

int SelectANum(const gsl_rng* rng, const DBL_VCTR_1D& dW) {
    const double u = gsl_rng_uniform_pos(rng);
    double S = 0.0;
    int lastPositive = -1;
    for (size_t i = 0; i < dW.size(); ++i) {
        S += dW[i];
        if (u <= S)
            return static_cast<int>(i);
        if (dW[i] > 0)
            lastPositive = static_cast<int>(i);
    }
    // Rounding left the total below u: the last index that can be drawn.
    if (lastPositive >= 0)
        return lastPositive;
    return dW.empty() ? 0 : static_cast<int>(dW.size()) - 1;
}

void MultivariateGauss(const DBL_VCTR_1D& mu, const DBL_VCTR_2D& v_chol, DBL_VCTR_1D& Y,
                       const gsl_rng* rng) {
    const size_t n = v_chol.size();
    if (mu.size() < n || (n > 0 && v_chol[0].size() != n)) {
        PrintMessage("MultivariateGauss : error, dimensions don't match. Exiting...");
        ExitProgram(1);
    }
    DBL_VCTR_1D& z = g_vNormalDraws;
    z.resize(n);
    for (size_t j = 0; j < n; ++j)
        z[j] = gsl_ran_ugaussian(rng);
    if (Y.size() < n)
        Y.resize(n);
    for (size_t i = 0; i < n; ++i) {
        double y = mu[i];
        const DBL_VCTR_1D& row = v_chol[i];
        for (size_t j = 0; j < n; ++j)
            y += row[j] * z[j];
        Y[i] = y;
    }
    if (!IsBreloAdm() && n > 0 && Y[0] > DBL_MAX) {
        PrintMessage("Y[0] == infini in Multivariate Gaussian");
        PrintVctr(mu);
        PrintVctr(z);
        PrintVctr(v_chol);
    }
}

void DirichletLogDraw(const gsl_rng* rng, size_t K, const double* alpha, double* logTheta) {
    double top = -HUGE_VAL;
    for (size_t k = 0; k < K; ++k) {
        const double a = alpha[k];
        if (a < 1.0) {
            const double u = gsl_rng_uniform_pos(rng);
            logTheta[k] = std::log(gsl_ran_gamma(rng, a + 1.0, 1.0)) + std::log(u) / a;
        } else {
            logTheta[k] = std::log(gsl_ran_gamma(rng, a, 1.0));
        }
        top = std::max(top, logTheta[k]);
    }
    double sum = 0.0;
    for (size_t k = 0; k < K; ++k)
        sum += std::exp(logTheta[k] - top);
    const double logNorm = top + std::log(sum);
    for (size_t k = 0; k < K; ++k)
        logTheta[k] -= logNorm;
}

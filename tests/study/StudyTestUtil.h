// Simulated membership matrices for the study's tests.
#ifndef BRELO_TESTS_STUDY_STUDYTESTUTIL_H
#define BRELO_TESTS_STUDY_STUDYTESTUTIL_H

#include <random>

#include "core/VectorUtilities.h"

// N individuals, each mostly in one of K clusters (cluster i % K), the rest
// spread at random.
inline DBL_VCTR_2D SimulatedMemberships(int N, int K, std::mt19937& rng) {
    std::gamma_distribution<double> gamma(0.3, 1.0);
    DBL_VCTR_2D Q(N, DBL_VCTR_1D(K));
    for (int i = 0; i < N; ++i) {
        double total = 0;
        for (int k = 0; k < K; ++k)
            total += Q[i][k] = gamma(rng) + (k == i % K ? 3.0 : 0.0);
        for (double& q : Q[i])
            q /= total;
    }
    return Q;
}

// Q with uniform noise of the given size added, rows renormalised.
inline DBL_VCTR_2D Noisy(const DBL_VCTR_2D& Q, double size, std::mt19937& rng) {
    std::uniform_real_distribution<double> u(0, size);
    DBL_VCTR_2D out = Q;
    for (auto& row : out) {
        double total = 0;
        for (double& q : row)
            total += q += u(rng);
        for (double& q : row)
            q /= total;
    }
    return out;
}

#endif

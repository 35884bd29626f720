// Statistics that tell whether a Markov chain has mixed: the effective
// sample size of a trace, the acceptance rate of a Metropolis step, and
// whether a trace has stopped moving.
#ifndef BRELO_CORE_DIAGNOSTICS_H
#define BRELO_CORE_DIAGNOSTICS_H

#include <cstddef>
#include <vector>

// Autocovariances gamma[0..n-1] of x[0..n-1] around its mean, each sum
// divided by n (the usual biased estimator), computed by FFT.
std::vector<double> Autocovariances(const double* x, size_t n);

// Effective sample size n gamma0 / sigma^2 of a trace, with sigma^2 the
// asymptotic variance of its mean estimated by Geyer's initial monotone
// sequence: the sums gamma[2m] + gamma[2m+1] are taken while positive and
// made non-increasing. 0 for a constant trace or fewer than 2 values; at
// most n max(1, log10 n) (strongly antithetic traces).
double EffectiveSampleSize(const double* x, size_t n);
inline double EffectiveSampleSize(const std::vector<double>& x) {
    return EffectiveSampleSize(x.data(), x.size());
}

// True when the last half of x[0..n-1] (its last n/2 values, n >= 2) holds
// one value only: a chain that has stopped moving.
bool IsConstantOverLastHalf(const double* x, size_t n);

// Proposals and acceptances of one Metropolis step.
struct CAcceptanceCounter {
    long proposed = 0;
    long accepted = 0;
    void Count(bool wasAccepted) {
        ++proposed;
        accepted += wasAccepted;
    }
    // Share of the proposals accepted; NaN before the first proposal.
    double Rate() const;
};

#endif

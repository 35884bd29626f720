// Summary statistics of samples: quantiles, the significance mark and the
// credible interval of a regression coefficient, and the correlation of two
// membership matrices.
#ifndef BRELO_CORE_STATUTILITIES_H
#define BRELO_CORE_STATUTILITIES_H

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <vector>

#include "core/VectorUtilities.h"

// Strict weak order that places NaN after every number, so that sorting a
// sample holding NaN stays well defined.
template <class T>
bool QuantileLess(const T& a, const T& b) {
    if constexpr (std::is_floating_point_v<T>) {
        if (std::isnan(a))
            return false;
        if (std::isnan(b))
            return true;
    }
    return a < b;
}

// Empirical quantile of order q of the sample d[0..size-1], by linear
// interpolation between order statistics: pos = (size-1) q. Empty sample: 0;
// q <= 0: the minimum; q >= 1: the maximum. d is not modified.
template <class T>
T quantile(const T* d, unsigned size, double q) {
    if (size == 0)
        return T(0);
    if (size == 1)
        return d[0];
    std::vector<T> v(d, d + size);
    if (q <= 0)
        return *std::min_element(v.begin(), v.end(), QuantileLess<T>);
    if (q >= 1)
        return *std::max_element(v.begin(), v.end(), QuantileLess<T>);
    double pos = (size - 1) * q;
    unsigned ind = static_cast<unsigned>(pos);
    double frac = pos - ind;
    std::nth_element(v.begin(), v.begin() + ind, v.end(), QuantileLess<T>);
    T lo = v[ind];
    T hi = *std::min_element(v.begin() + ind + 1, v.end(), QuantileLess<T>);
    return (1 - frac) * lo + frac * hi;
}

// Significance mark of a coefficient from its sample: "no" when 0 lies in the
// central 90 % interval, "*" in the 95 %, "**" in the 99 %, "***" in the
// 99.9 %, "****" otherwise.
std::string Significance(const double* V, int size);

// "[ " + q(inf) + " , " + q(sup) + " ]", quantiles with 6 significant digits.
std::string CI(const double* V, int size, double inf, double sup);

// Pearson correlation of the N.K entry pairs of two N x K membership matrices
// whose rows sum to 1 (the common mean 1/K is used). Different shapes are
// fatal (stdout, exit 1).
double Correlation(const DBL_VCTR_2D& X, const DBL_VCTR_2D& Y);

// log(exp(v[0]) + ... + exp(v[n-1])), n >= 1, without overflow or underflow.
double LogSumExp(const double* v, int n);

// lnGamma(exp(logA)), also where exp(logA) underflows: below exp(-30) from
// lnGamma(a) = -log a - Euler's gamma a + O(a^2).
double LogGammaOfExp(double logA);

#endif

#include "core/StatUtilities.h"
#include "core/Messages.h"
#include "core/ProgramExit.h"

#include <gsl/gsl_sf_gamma.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <sstream>

namespace {
// The quantile of an already sorted sample; the same values as quantile().
double SortedQuantile(const DBL_VCTR_1D& s, double q) {
    if (s.empty())
        return 0.0;
    if (s.size() == 1 || q <= 0)
        return s.front();
    if (q >= 1)
        return s.back();
    double pos = (s.size() - 1) * q;
    size_t ind = static_cast<size_t>(pos);
    double frac = pos - ind;
    return (1 - frac) * s[ind] + frac * s[ind + 1];
}

bool ZeroInside(const DBL_VCTR_1D& sorted, double lower) {
    return SortedQuantile(sorted, lower) <= 0 && SortedQuantile(sorted, 1 - lower) >= 0;
}
}  // namespace

std::string Significance(const double* V, int size) {
    // One sort serves the eight quantiles.
    DBL_VCTR_1D sorted(V, V + (size > 0 ? size : 0));
    std::sort(sorted.begin(), sorted.end(), QuantileLess<double>);
    if (ZeroInside(sorted, 0.05))
        return "no";
    if (ZeroInside(sorted, 0.025))
        return "*";
    if (ZeroInside(sorted, 0.005))
        return "**";
    if (ZeroInside(sorted, 0.0005))
        return "***";
    return "****";
}

std::string CI(const double* V, int size, double inf, double sup) {
    unsigned n = size > 0 ? static_cast<unsigned>(size) : 0;
    std::ostringstream text;
    text << "[ " << quantile(V, n, inf) << " , " << quantile(V, n, sup) << " ]";
    return text.str();
}

double Correlation(const DBL_VCTR_2D& X, const DBL_VCTR_2D& Y) {
    if (X.empty() || X.size() != Y.size() || X[0].size() != Y[0].size() || X[0].empty()) {
        Refuse("Correlation: Matrices have inadequate dimensions to be multiplied. Exiting...");
    }
    const size_t K = X[0].size();
    double Sxy = 0.0, Sxx = 0.0, Syy = 0.0;
    for (size_t i = 0; i < X.size(); ++i)
        for (size_t k = 0; k < K; ++k) {
            Sxy += X[i][k] * Y[i][k];
            Sxx += X[i][k] * X[i][k];
            Syy += Y[i][k] * Y[i][k];
        }
    const double propMean = static_cast<double>(X.size()) / static_cast<double>(K);
    return (Sxy - propMean) / (std::sqrt(Sxx - propMean) * std::sqrt(Syy - propMean));
}

double LogSumExp(const double* v, int n) {
    const double top = *std::max_element(v, v + n);
    if (std::isinf(top))
        return top;
    double sum = 0.0;
    for (int k = 0; k < n; ++k)
        sum += std::exp(v[k] - top);
    return top + std::log(sum);
}

double LogGammaOfExp(double logA) {
    constexpr double kEulerGamma = 0.57721566490153286;
    if (logA > -30.0)
        return gsl_sf_lngamma(std::exp(logA));
    return -logA - kEulerGamma * std::exp(logA);
}

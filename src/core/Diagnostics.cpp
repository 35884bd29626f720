#include "core/Diagnostics.h"

#include <gsl/gsl_fft_halfcomplex.h>
#include <gsl/gsl_fft_real.h>

#include <algorithm>
#include <cmath>
#include <limits>

std::vector<double> Autocovariances(const double* x, size_t n) {
    if (n == 0)
        return {};
    double mean = 0.0;
    for (size_t t = 0; t < n; ++t)
        mean += x[t];
    mean /= static_cast<double>(n);
    // Zero padding to a power of two at least 2n keeps the circular
    // correlation of the FFT from wrapping around.
    size_t m = 1;
    while (m < 2 * n)
        m <<= 1;
    std::vector<double> f(m, 0.0);
    for (size_t t = 0; t < n; ++t)
        f[t] = x[t] - mean;
    gsl_fft_real_radix2_transform(f.data(), 1, m);
    // Half-complex layout: f[i] real part, f[m - i] imaginary part of
    // frequency i; frequencies 0 and m/2 are real.
    f[0] *= f[0];
    f[m / 2] *= f[m / 2];
    for (size_t i = 1; i < m / 2; ++i) {
        f[i] = f[i] * f[i] + f[m - i] * f[m - i];
        f[m - i] = 0.0;
    }
    gsl_fft_halfcomplex_radix2_inverse(f.data(), 1, m);
    std::vector<double> gamma(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(n));
    for (double& g : gamma)
        g /= static_cast<double>(n);
    return gamma;
}

double EffectiveSampleSize(const double* x, size_t n) {
    if (n < 2)
        return 0.0;
    const std::vector<double> gamma = Autocovariances(x, n);
    if (!(gamma[0] > 0.0))
        return 0.0;
    double sum = 0.0;
    double previous = std::numeric_limits<double>::infinity();
    for (size_t m = 0; 2 * m + 1 < n; ++m) {
        double pair = gamma[2 * m] + gamma[2 * m + 1];
        if (!(pair > 0.0))
            break;
        pair = std::min(pair, previous);
        sum += pair;
        previous = pair;
    }
    const double size = static_cast<double>(n);
    const double ceiling = size * std::max(1.0, std::log10(size));
    const double variance = -gamma[0] + 2.0 * sum;
    if (!(variance > 0.0))
        return ceiling;
    return std::min(size * gamma[0] / variance, ceiling);
}

bool IsConstantOverLastHalf(const double* x, size_t n) {
    if (n < 2)
        return false;
    const size_t first = n - n / 2;
    return std::all_of(x + first, x + n, [&](double v) { return v == x[first]; });
}

double CAcceptanceCounter::Rate() const {
    if (proposed == 0)
        return std::numeric_limits<double>::quiet_NaN();
    return static_cast<double>(accepted) / static_cast<double>(proposed);
}

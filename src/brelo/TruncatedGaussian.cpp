#include "brelo/TruncatedGaussian.h"

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>
#include <limits>

#include "core/MatrixUtilities.h"
#include "core/Messages.h"
#include "core/ProgramExit.h"

namespace {

const double kInf = std::numeric_limits<double>::infinity();

// Below any generator's resolution: only u = 0 is moved, and the draw then
// stays finite instead of landing on the open end of the law.
const double kSmallestUniform = 0x1p-64;

// Beyond this standardised bound Q(a) nears the smallest normal double
// (Q(35) ~ 1e-268), so tail masses are handled through their logarithms.
const double kTailStart = 35.0;

// ---------------------------------------------------------------------------
// Far upper tail. Q(x) = phi(x)/x * (1 + s(x)) with the asymptotic series
// s(x) = sum_{n>=1} (-1)^n (2n-1)!! / x^(2n), accurate to double precision
// for x >= kTailStart.

double MillsSeriesExcess(double x) {
    const double inverseSquare = 1.0 / (x * x);
    double term = -inverseSquare, sum = 0.0;
    for (int n = 1; n < 60 && std::fabs(term) > 1e-18; ++n) {
        sum += term;
        term *= -(2.0 * n + 1.0) * inverseSquare;
    }
    return sum;
}

// log(Q(a + t) / Q(a)) for a >= kTailStart, t >= 0, without forming a^2.
double LogTailRatio(double a, double t) {
    if (t == kInf)
        return -kInf;
    return -t * (a + 0.5 * t) - std::log1p(t / a) + std::log1p(MillsSeriesExcess(a + t)) -
           std::log1p(MillsSeriesExcess(a));
}

// The t >= 0 with Q(a + t) = exp(-E) Q(a), for a >= kTailStart: the
// exponential-tail guess refined by Newton steps on the log ratio, whose
// derivative is -(a + t) / (1 + s(a + t)).
double TailOffset(double a, double E) {
    if (E == kInf)
        return kInf;
    double t = 2.0 * E / (a + std::hypot(a, std::sqrt(2.0 * E)));  // root of E = a t + t^2/2
    for (int step = 0; step < 8; ++step) {
        const double g = E + LogTailRatio(a, t);
        const double dt = g * (1.0 + MillsSeriesExcess(a + t)) / (a + t);
        t = std::max(0.0, t + dt);
        if (std::fabs(dt) <= 1e-16 * t)
            break;
    }
    return t;
}

// For 0 <= a < b, the mass above a split at b: below = 1 - Q(b)/Q(a) and
// above = Q(b)/Q(a), each computed without cancellation.
struct MassSplit {
    double below, above;
};

MassSplit SplitUpperMass(double a, double b) {
    if (a > kTailStart) {
        const double logRatio = LogTailRatio(a, b - a);
        return {-std::expm1(logRatio), std::exp(logRatio)};
    }
    const double Qa = gsl_cdf_ugaussian_Q(a), Qb = gsl_cdf_ugaussian_Q(b);
    return {(Qa - Qb) / Qa, Qb / Qa};
}

// ---------------------------------------------------------------------------
// Standardised draws. UpperDraw(a, E) is the x >= a with
// Q(x) = exp(-E) Q(a), each tail evaluated where it is accurate.

double UpperDraw(double a, double E) {
    if (std::isnan(a) || std::isnan(E) || a == kInf)
        return a;
    if (a < 0) {  // bound below the mean: most of the mass is above it
        const double Qa = gsl_cdf_ugaussian_Q(a);
        const double q = std::exp(-E) * Qa;
        if (q < 0.5)
            return gsl_cdf_ugaussian_Qinv(q);
        return gsl_cdf_ugaussian_Pinv(gsl_cdf_ugaussian_P(a) - std::expm1(-E) * Qa);
    }
    if (a <= kTailStart)
        return gsl_cdf_ugaussian_Qinv(std::exp(-E) * gsl_cdf_ugaussian_Q(a));
    return a + TailOffset(a, E);
}

// Draw on (a, b) at uniform u, u = 0 at a; uc = 1 - u is carried along so
// that mirroring never rounds a tiny u away.
double IntervalDraw(double a, double b, double u, double uc) {
    if (b <= 0)
        return -IntervalDraw(-b, -a, uc, u);
    if (a >= 0) {
        // Q(x) = Q(a) (1 - u below) = Q(a) (uc + u above)
        const MassSplit split = SplitUpperMass(a, b);
        const double skipped = u * split.below;
        const double E = skipped < 0.5 ? -std::log1p(-skipped) : -std::log(uc + u * split.above);
        return UpperDraw(a, E);
    }
    // The interval holds the mean: neither end is in a far tail.
    const double Pa = gsl_cdf_ugaussian_P(a), Qb = gsl_cdf_ugaussian_Q(b);
    const double mass = (1.0 - Pa) - Qb;
    const double p = Pa + u * mass;
    if (p <= 0.5)
        return gsl_cdf_ugaussian_Pinv(p);
    return gsl_cdf_ugaussian_Qinv(Qb + uc * mass);
}

// Rounding (of the inversion, or of mu + sigma x) may land on or past the
// bound; the exact draw lies strictly inside, so step back in by one ulp.
double KeepAbove(double x, double lower) {
    return std::isnan(x) || x > lower ? x : std::nextafter(lower, kInf);
}

double KeepBelow(double x, double upper) {
    return std::isnan(x) || x < upper ? x : std::nextafter(upper, -kInf);
}

}  // namespace

double TruncGaussLeftAt(double mu, double sigma, double lower, double u) {
    u = std::max(u, kSmallestUniform);
    const double x = UpperDraw((lower - mu) / sigma, -std::log1p(-u));
    return KeepAbove(mu + sigma * x, lower);
}

double TruncGaussRightAt(double mu, double sigma, double upper, double u) {
    u = std::max(u, kSmallestUniform);
    const double x = -UpperDraw((mu - upper) / sigma, -std::log(u));
    return KeepBelow(mu + sigma * x, upper);
}

double TruncGaussAt(double mu, double sigma, double lower, double upper, double u) {
    if (lower > upper) {
        Refuse("Error lower bound is greater than upper bound in TruncGauss. Exiting...");
    }
    if (lower == upper)
        return lower;
    u = std::max(u, kSmallestUniform);
    const double x =
        mu + sigma * IntervalDraw((lower - mu) / sigma, (upper - mu) / sigma, u, 1.0 - u);
    if (std::isnan(x))
        return x;
    return std::min(std::max(x, std::nextafter(lower, upper)), std::nextafter(upper, lower));
}

double TruncGauss_Right(double mu, double sigma, double upper, gsl_rng*& rng) {
    return TruncGaussRightAt(mu, sigma, upper, gsl_rng_uniform(rng));
}

double TruncGauss_Left(double mu, double sigma, double lower, gsl_rng*& rng) {
    return TruncGaussLeftAt(mu, sigma, lower, gsl_rng_uniform(rng));
}

double TruncGauss(double mu, double sigma, double lower, double upper, gsl_rng*& rng) {
    return TruncGaussAt(mu, sigma, lower, upper, gsl_rng_uniform(rng));
}

// ---------------------------------------------------------------------------
// Simulated probit data

void SimulateXtild(DBL_VCTR_2D& Xtild, int N, int beta_length, gsl_rng*& rng) {
    if (!Xtild.empty()) {
        std::cout << "Xtild exists already. No new simulation." << std::endl;
        return;
    }
    InitVctr2D(Xtild, N, beta_length, 1.0);
    for (DBL_VCTR_1D& row : Xtild)
        for (int c = 1; c < beta_length; ++c)
            row[c] = 2.0 * gsl_rng_uniform(rng) - 1.0;
}

namespace {

// Class of one individual: base has utility 0, utility column c stands for
// class c below base and c + 1 from base on; only a strictly larger utility
// takes over.
int ProbitClass(const DBL_VCTR_1D& utilities, int base) {
    int chosen = base;
    double best = 0.0;
    for (size_t c = 0; c < utilities.size(); ++c)
        if (utilities[c] > best) {
            best = utilities[c];
            chosen = int(c) < base ? int(c) : int(c) + 1;
        }
    return chosen;
}

}  // namespace

void MultiProbitModel(INT_VCTR_1D& Z, DBL_VCTR_2D& Xtild, DBL_VCTR_2D& Beta_vrai, int M, int base,
                      gsl_rng*& rng) {
    if (!Z.empty()) {
        PrintMessage("Warning : Z has already been initialized. Exit from MultiProbitModel...");
        return;
    }
    // Refused rather than read out of bounds.
    if (Beta_vrai.empty() || M < 0 || (!Xtild.empty() && Xtild.size() != size_t(M))) {
        PrintMessage(
            "Warning : Xtild or Beta_vrai do not fit M individuals. Exit from "
            "MultiProbitModel...");
        return;
    }
    if (Xtild.empty())
        SimulateXtild(Xtild, M, int(Beta_vrai[0].size()), rng);

    DBL_VCTR_2D utilities;
    Mult_t(utilities, Xtild, Beta_vrai);
    for (DBL_VCTR_1D& row : utilities)
        for (double& w : row)
            w += gsl_ran_ugaussian(rng);
    for (const DBL_VCTR_1D& row : utilities)
        Z.push_back(ProbitClass(row, base));
}

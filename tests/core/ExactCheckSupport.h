// Tools of the exact checks of sampler steps: a seeded generator, moments of
// draws with their Monte Carlo errors, chi-square fits of discrete draws, and
// batch-mean errors of correlated chains (the joint successive-conditional
// tests).
#ifndef BRELO_TESTS_CORE_EXACTCHECKSUPPORT_H
#define BRELO_TESTS_CORE_EXACTCHECKSUPPORT_H

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <vector>

// A Mersenne twister with a fixed seed, freed with the object.
class CSeededRng {
  public:
    explicit CSeededRng(unsigned long seed) : m_rng(gsl_rng_alloc(gsl_rng_mt19937)) {
        gsl_rng_set(m_rng, seed);
    }
    ~CSeededRng() { gsl_rng_free(m_rng); }
    CSeededRng(const CSeededRng&) = delete;
    CSeededRng& operator=(const CSeededRng&) = delete;
    gsl_rng*& get() { return m_rng; }

  private:
    gsl_rng* m_rng;
};

// Running sums of independent draws of one statistic.
struct SMoments {
    double sum = 0.0, sumSq = 0.0;
    long n = 0;
    void Add(double x) {
        sum += x;
        sumSq += x * x;
        ++n;
    }
    double Mean() const { return sum / n; }
    double Variance() const { return (sumSq - sum * sum / n) / (n - 1); }
    double StdErr() const { return std::sqrt(Variance() / n); }
    // Distance of the sample mean from truth in Monte Carlo standard errors.
    double Z(double truth) const { return (Mean() - truth) / StdErr(); }
};

// A bound on |z| for a check made of a few dozen z-scores: a sound step
// exceeds it with probability below 1e-4 over the whole check.
constexpr double kZLimit = 4.5;

// Upper tail probability of Pearson's chi-square statistic of the counts
// against the probabilities (every expected count should be 5 or more).
inline double ChiSquarePValue(const std::vector<long>& counts, const std::vector<double>& probs) {
    long n = 0;
    for (long c : counts)
        n += c;
    double stat = 0.0;
    int cells = 0;
    for (size_t k = 0; k < counts.size(); ++k) {
        const double expected = n * probs[k];
        if (expected <= 0.0) {
            if (counts[k] > 0)
                return 0.0;  // a draw where the law puts no mass
            continue;
        }
        stat += (counts[k] - expected) * (counts[k] - expected) / expected;
        ++cells;
    }
    return cells > 1 ? gsl_cdf_chisq_Q(stat, cells - 1) : 1.0;
}

// The smallest p-value a sound step may show in one check.
constexpr double kPValueLimit = 1e-4;

// Standard error of the mean of a correlated series, from the spread of the
// means of consecutive batches.
inline double BatchMeansStdErr(const std::vector<double>& x, int batches) {
    const size_t size = x.size() / batches;
    std::vector<double> means(batches, 0.0);
    double grand = 0.0;
    for (int b = 0; b < batches; ++b) {
        for (size_t t = 0; t < size; ++t)
            means[b] += x[b * size + t];
        means[b] /= size;
        grand += means[b];
    }
    grand /= batches;
    double ss = 0.0;
    for (double m : means)
        ss += (m - grand) * (m - grand);
    return std::sqrt(ss / (batches - 1) / batches);
}

inline double Mean(const std::vector<double>& x) {
    double sum = 0.0;
    for (double v : x)
        sum += v;
    return sum / x.size();
}

#endif

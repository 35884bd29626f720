// Helpers of the exact checks of brelo's sweep steps: tiny chains set up as a
// run would be, genotypes written straight into the allele coding, and the
// exact moments of the probit regions of two utilities.
#ifndef BRELO_TESTS_BRELO_BRELOSTEPCHECKUTIL_H
#define BRELO_TESTS_BRELO_BRELOSTEPCHECKUTIL_H

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_integration.h>
#include <gsl/gsl_randist.h>

#include <cmath>
#include <functional>
#include <iostream>
#include <utility>

#include "brelo/BreloSampler.h"
#include "brelo/BreloSweepSteps.h"

// Standard output switched off for the life of the object (the set-up and
// the fallback label draw print lines).
class CQuietStdout {
  public:
    CQuietStdout() : m_saved(std::cout.rdbuf(nullptr)) {}
    ~CQuietStdout() { std::cout.rdbuf(m_saved); }

  private:
    std::streambuf* m_saved;
};

// A chain of N individuals with A copies at L loci of J alleles each and K
// clusters, set up as a run would be (design matrix Xtild, empty for none).
// Every allele of every locus occurs in the data, so the allele coding holds
// all J of them; SetGenotype then rewrites single copies.
inline void SetUpTinyChain(SBreloChain& c, int N, int A, int L, int J, int K, double lambda,
                           const DBL_VCTR_2D& Xtild = {}) {
    SBreloData data;
    data.N = N;
    data.A = A;
    data.L = L;
    data.X = CGenotypeStore(N, A, L);
    for (int i = 0; i < N; ++i)
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l)
                data.X.Put(i, a, l, 1 + (i * A + a) % J);
    data.X.Finish();
    data.isBase.assign(N, 0);
    data.Xtild = Xtild;
    SBreloOptions opts;
    opts.K = K;
    opts.lambda = lambda;
    opts.TotalSweep = 1;
    CQuietStdout quiet;
    SetUpChain(c, opts, std::move(data), "check");
}

// Copy a of individual i at locus l carries allele j (j < 0: missing).
inline void SetGenotype(SBreloChain& c, int i, int a, int l, int j) {
    c.data.X.SetIndex(i, a, l, j < 0 ? CGenotypeStore::kMissing : j);
}

// Genotype log-likelihoods of individual i (in the first replica) set directly from the cluster
// probabilities they stand for (shifted as real log-likelihoods are).
inline void SetLikelihoods(SBreloChain& c, int i, const DBL_VCTR_1D& weights) {
    double maxLog = -INFINITY;
    for (int k = 0; k < c.K; ++k) {
        c.replicas[0].logpr[i][k] = std::log(weights[k]) - 40.0;
        maxLog = std::max(maxLog, c.replicas[0].logpr[i][k]);
    }
    c.replicas[0].maxlogPr[i] = maxLog;
}

inline double IntegrateFromZero(std::function<double(double)> f) {
    gsl_integration_workspace* ws = gsl_integration_workspace_alloc(2000);
    gsl_function F;
    F.function = [](double x, void* p) {
        return (*static_cast<std::function<double(double)>*>(p))(x);
    };
    F.params = &f;
    double result = 0.0, error = 0.0;
    gsl_integration_qagiu(&F, 0.0, 1e-13, 1e-11, 2000, ws, &result, &error);
    gsl_integration_workspace_free(ws);
    return result;
}

// Integrals of 1, w0, w1, w0^2, w1^2, w0 w1 against the N((m0, m1), I)
// density over the region where class z wins the probit of two utilities
// (class 2, the reference, at utility 0). mass is the class probability;
// divided by it, the others are the moments of the utilities given z.
struct SRegionMoments {
    double mass = 0, w0 = 0, w1 = 0, w00 = 0, w11 = 0, w01 = 0;
};

namespace detail {

// Integrals of 1, w, w^2 against the N(m, 1) density over w < b.
inline double Below0(double b, double m) {
    return gsl_cdf_ugaussian_P(b - m);
}
inline double Below1(double b, double m) {
    return m * gsl_cdf_ugaussian_P(b - m) - gsl_ran_ugaussian_pdf(b - m);
}
inline double Below2(double b, double m) {
    return (1 + m * m) * gsl_cdf_ugaussian_P(b - m) - (b + m) * gsl_ran_ugaussian_pdf(b - m);
}

// Class 0: w0 > 0 and w1 < w0.
inline SRegionMoments FirstClassMoments(double m0, double m1) {
    auto phi0 = [m0](double x) { return gsl_ran_ugaussian_pdf(x - m0); };
    SRegionMoments r;
    r.mass = IntegrateFromZero([&](double x) { return phi0(x) * Below0(x, m1); });
    r.w0 = IntegrateFromZero([&](double x) { return x * phi0(x) * Below0(x, m1); });
    r.w00 = IntegrateFromZero([&](double x) { return x * x * phi0(x) * Below0(x, m1); });
    r.w1 = IntegrateFromZero([&](double x) { return phi0(x) * Below1(x, m1); });
    r.w11 = IntegrateFromZero([&](double x) { return phi0(x) * Below2(x, m1); });
    r.w01 = IntegrateFromZero([&](double x) { return x * phi0(x) * Below1(x, m1); });
    return r;
}

}  // namespace detail

inline SRegionMoments ProbitRegionMoments(double m0, double m1, int z) {
    using namespace detail;
    if (z == 0)
        return FirstClassMoments(m0, m1);
    if (z == 1) {
        SRegionMoments s = FirstClassMoments(m1, m0);
        std::swap(s.w0, s.w1);
        std::swap(s.w00, s.w11);
        return s;
    }
    SRegionMoments r;  // both utilities below 0, independently
    r.mass = Below0(0, m0) * Below0(0, m1);
    r.w0 = Below1(0, m0) * Below0(0, m1);
    r.w1 = Below0(0, m0) * Below1(0, m1);
    r.w00 = Below2(0, m0) * Below0(0, m1);
    r.w11 = Below0(0, m0) * Below2(0, m1);
    r.w01 = Below1(0, m0) * Below1(0, m1);
    return r;
}

// The winning class of utilities w (reference class R at 0).
inline int ProbitWinner(const DBL_VCTR_1D& w) {
    int cls = static_cast<int>(w.size());
    double best = 0.0;
    for (size_t k = 0; k < w.size(); ++k)
        if (w[k] > best) {
            best = w[k];
            cls = static_cast<int>(k);
        }
    return cls;
}

// Utilities from N(pred, I) conditioned on class z winning, by rejection.
inline void DrawUtilitiesGivenClass(const DBL_VCTR_1D& pred, int z, DBL_VCTR_1D& w, gsl_rng* rng) {
    w.resize(pred.size());
    do {
        for (size_t k = 0; k < pred.size(); ++k)
            w[k] = pred[k] + gsl_ran_ugaussian(rng);
    } while (ProbitWinner(w) != z);
}

#endif

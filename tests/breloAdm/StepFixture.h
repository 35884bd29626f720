// A small admixture sampler built by hand for the checks of its steps: the
// genotypes, neighbour lists and design are given, the state is set by the
// test, and each step can be run alone. Also the statistics the checks
// compare with exact distributions.
#ifndef BRELO_TESTS_BRELOADM_STEPFIXTURE_H
#define BRELO_TESTS_BRELOADM_STEPFIXTURE_H

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_rng.h>

#include <cmath>
#include <memory>
#include <vector>

#include "breloAdm/AdmixtureSteps.h"
#include "breloAdm/SpatialPrior.h"
#include "core/Diagnostics.h"
#include "core/RNGUtilities.h"
#include "io/IOUtilities.h"

namespace admcheck {

struct SStepFixture {
    SAdmOptions opt;
    SAdmSetup setup;
    CSpatialPrior prior;
    SAdmChain chain;
    gsl_rng* rng = nullptr;
    std::unique_ptr<SAdmSampler> S;

    // X: N x A x L genotypes; NS: neighbour lists of the N individuals
    // (with a pair of neighbours at least, the spatial prior is built with
    // psi = psiUser / largest eigenvalue and keeps its initial-field factor;
    // without, only the unit weights of the lists are set); Xtild: N x bl
    // design (intercept when empty).
    SStepFixture(const INT_VCTR_3D& X, int K, const INT_VCTR_2D& NS, unsigned long seed,
                 DBL_VCTR_2D Xtild = {}, double psiUser = 0.5) {
        opt.N = static_cast<int>(X.size());
        opt.A = static_cast<int>(X[0].size());
        opt.L = static_cast<int>(X[0][0].size());
        opt.K = K;
        opt.lambda = 1.0;
        // Independent frequencies unless a check sets the correlated model.
        opt.ancestralFrequencies = false;
        opt.TotalSweep = 1;
        setup.data.X = CGenotypeStore::FromCodes(X);
        if (Xtild.empty())
            Xtild.assign(opt.N, DBL_VCTR_1D(1, 1.0));
        setup.data.Xtild = Xtild;
        setup.beta_length = static_cast<int>(Xtild[0].size());
        setup.tess.vvnNS = NS;
        setup.alleleV = setup.data.X.AlleleLists();
        setup.J = setup.data.X.AlleleCounts();
        AllocRNG(rng, gsl_rng_mt19937);
        gsl_rng_set(rng, seed);
        setup.seed = seed;  // the steps' block streams derive from it
        S = std::make_unique<SAdmSampler>(opt, setup, prior, rng, chain);
        SizeSamplerState(*S);
        bool anyPair = false;
        for (const INT_VCTR_1D& row : NS)
            anyPair = anyPair || !row.empty();
        if (anyPair) {
            BuildSpatialPrior(prior, S->sp.psi, S->sp.sigma, NS, {}, 1.0, Xtild, psiUser);
        } else {
            prior.nsWeight.assign(NS.size(), DBL_VCTR_1D());
            S->sp.psi.assign(K, 0.0);
        }
    }
    ~SStepFixture() { FreeRNG(rng); }

    SAdmSampler& operator*() { return *S; }
    CSweepParams& sp() { return S->sp; }

    // The field's Dirichlet parameters and trend follow CAR and beta.
    void SyncFieldAndTrend() {
        UpdatePred(*S);
        for (int i = 0; i < opt.N; ++i)
            for (int k = 0; k < opt.K; ++k)
                sp().alpha[i][k] = std::exp(sp().CAR[k][i]);
    }
    // logq from q, as the proportion step leaves it.
    void SetProportions(const DBL_VCTR_2D& q) {
        sp().q = q;
        for (int i = 0; i < opt.N; ++i)
            for (int k = 0; k < opt.K; ++k)
                S->logq[i][k] = q[i][k] > 0 ? std::log(q[i][k]) : N_LIMIT;
    }
};

// Mean and variance of a sample.
struct SMoments {
    double mean = 0.0, var = 0.0;
};
inline SMoments Moments(const std::vector<double>& x) {
    SMoments m;
    for (double v : x)
        m.mean += v;
    m.mean /= x.size();
    for (double v : x)
        m.var += (v - m.mean) * (v - m.mean);
    m.var /= x.size() - 1;
    return m;
}

// z-score of the mean of a Markov chain trace against an exact value whose
// own Monte Carlo variance is exactVar (0 when computed exactly): the
// chain's error comes from its effective sample size.
inline double ChainMeanZ(const std::vector<double>& trace, double exact, double exactVar = 0.0) {
    const SMoments m = Moments(trace);
    const double ess = EffectiveSampleSize(trace);
    return (m.mean - exact) / std::sqrt(m.var / ess + exactVar);
}

// Upper tail probability of Pearson's chi-square of observed counts against
// expected probabilities (cells of probability 0 must stay empty).
inline double ChiSquarePValue(const std::vector<double>& counts, const std::vector<double>& probs) {
    double total = 0.0;
    for (double c : counts)
        total += c;
    double chi2 = 0.0;
    int cells = 0;
    for (size_t c = 0; c < counts.size(); ++c) {
        if (probs[c] <= 0.0) {
            if (counts[c] > 0)
                return 0.0;
            continue;
        }
        const double expected = total * probs[c];
        chi2 += (counts[c] - expected) * (counts[c] - expected) / expected;
        ++cells;
    }
    return gsl_cdf_chisq_Q(chi2, cells - 1);
}

}  // namespace admcheck

#endif

// The correlated frequency model (-anc1): the allele frequencies of the
// clusters drawn around common ancestral frequencies,
//
//   p[k][l] ~ Dirichlet(ancestral[l] nu[k]),  nu[k] = (1 - drift[k]) / drift[k],
//   ancestral[l] ~ Dirichlet(lambda),  drift[k] ~ Beta(1, 9).
//
// With independent flat priors on the frequencies, the likelihood, which
// reads the proportions q and the frequencies p only through
// sum_k q[i][k] p[k][l][j], stays the same when every q[i] is pulled towards
// 1/K and the clusters' frequencies are pushed apart to match; the thousands
// of frequencies then gain more room than the hundreds of proportions lose,
// and the posterior settles on proportions shrunk towards 1/K. Here pushing
// the frequencies apart costs their prior: they must look like draws around
// one ancestral frequency, the same drift at every locus.
//
// Both steps are Metropolis steps given the clusters' frequencies (exact
// logarithms, drawn on the log scale): they do not read the genotypes, so
// they are the same at every power of a replica exchange.
#include <gsl/gsl_randist.h>
#include <gsl/gsl_sf_gamma.h>

#include <algorithm>
#include <cmath>

#include "breloAdm/AdmixtureSteps.h"

namespace {

// Beta prior of each drift: mean 0.1, most of its weight below 0.3.
constexpr double kDriftPriorA = 1.0;
constexpr double kDriftPriorB = 9.0;
constexpr double kTargetAcceptance = 0.3;
constexpr double kStartingDriftStep = 0.3;
// Proposals of each drift in a sweep: each costs a pass over the loci, far
// less than the labels' step.
constexpr int kDriftMovesPerSweep = 3;

double Concentration(double drift) {
    return (1.0 - drift) / drift;
}

// Robbins-Monro step of a proposal scale towards the target acceptance.
void Adapt(double& step, bool accepted, double most) {
    step = std::min(most, step * std::exp(0.05 * ((accepted ? 1.0 : 0.0) - kTargetAcceptance)));
}

bool Accept(const gsl_rng* rng, double logRatio) {
    return logRatio >= 0.0 || gsl_rng_uniform(rng) < std::exp(logRatio);
}

// One shift d ~ N(0, step^2) of ancestral frequency from allele h to allele
// j at locus l (a symmetric proposal), accepted on the ancestral prior and
// the clusters' frequency densities.
bool ShiftAncestral(SAdmSampler& S, int l, int j, int h) {
    DBL_VCTR_1D& a = S.sp.ancestral[l];
    const double d = S.ancestralStep * gsl_ran_ugaussian(S.rng);
    const double aj = a[j] + d, ah = a[h] - d;
    if (!(aj > 0.0 && ah > 0.0))
        return false;
    double logRatio =
        (S.opt.lambda - 1.0) * (std::log(aj) - std::log(a[j]) + std::log(ah) - std::log(a[h]));
    for (int k = 0; k < S.K; ++k) {
        const double nu = Concentration(S.sp.drift[k]);
        logRatio += gsl_sf_lngamma(a[j] * nu) + gsl_sf_lngamma(a[h] * nu) -
                    gsl_sf_lngamma(aj * nu) - gsl_sf_lngamma(ah * nu) +
                    d * nu * (S.logp[k][l][j] - S.logp[k][l][h]);
    }
    if (!Accept(S.rng, logRatio))
        return false;
    a[j] = aj;
    a[h] = ah;
    return true;
}

// log of prod over the loci of Dirichlet(p[k][l]; ancestral[l] nu), from
// the sums over the loci that do not depend on nu: sumLogP of the log
// frequencies, sumALogP of ancestral times log frequency.
double ClusterFrequencyLogDensity(const SAdmSampler& S, double nu, double sumLogP,
                                  double sumALogP) {
    double ld = nu * sumALogP - sumLogP;
    for (int l = 0; l < S.L; ++l) {
        if (S.setup.J[l] < 2)
            continue;
        ld += gsl_sf_lngamma(nu);
        for (double a : S.sp.ancestral[l])
            ld -= gsl_sf_lngamma(a * nu);
    }
    return ld;
}

// log of the drift's target on the logit scale, with the Jacobian F (1 - F)
// of the change of variable.
double DriftLogTarget(const SAdmSampler& S, double drift, double sumLogP, double sumALogP) {
    return kDriftPriorA * std::log(drift) + kDriftPriorB * std::log1p(-drift) +
           ClusterFrequencyLogDensity(S, Concentration(drift), sumLogP, sumALogP);
}

}  // namespace

double FrequencyPriorParameter(const SAdmSampler& S, int k, int l, int j) {
    if (!S.opt.ancestralFrequencies)
        return S.opt.lambda;
    return S.sp.ancestral[l][j] * Concentration(S.sp.drift[k]);
}

void SizeFrequencyPrior(SAdmSampler& S) {
    InitVctr2D(S.sp.ancestral, S.L, S.setup.J, 0.0);
    S.sp.drift.assign(S.K, kDriftPriorA / (kDriftPriorA + kDriftPriorB));
    S.driftStep.assign(S.K, kStartingDriftStep);
    S.chain.ancestralAcceptance = CAcceptanceCounter();
    S.chain.driftAcceptance.assign(S.K, CAcceptanceCounter());
}

// Each ancestral frequency the share of its allele over the clusters'
// frequencies, with one allele's worth spread evenly, so that none is 0.
void StartFrequencyPrior(SAdmSampler& S) {
    for (int l = 0; l < S.L; ++l) {
        const int J = S.setup.J[l];
        DBL_VCTR_1D& a = S.sp.ancestral[l];
        double total = 0.0;
        for (int j = 0; j < J; ++j) {
            a[j] = 1.0 / J;
            for (int k = 0; k < S.K; ++k)
                a[j] += S.sp.p[k][l][j];
            total += a[j];
        }
        for (double& v : a)
            v /= total;
    }
    std::fill(S.sp.drift.begin(), S.sp.drift.end(), kDriftPriorA / (kDriftPriorA + kDriftPriorB));
}

// At each locus, as many shifts as it has alleles, each between two alleles
// drawn at random.
void UpdateAncestralFrequencies(SAdmSampler& S, bool adapting) {
    for (int ll = 0; ll < S.L; ++ll) {
        const int l = S.shuffledLoc[ll];
        const int J = S.setup.J[l];
        if (J < 2)
            continue;
        for (int t = 0; t < J; ++t) {
            const int j = static_cast<int>(gsl_rng_uniform_int(S.rng, J));
            int h = static_cast<int>(gsl_rng_uniform_int(S.rng, J - 1));
            h += h >= j;
            const bool accepted = ShiftAncestral(S, l, j, h);
            S.chain.ancestralAcceptance.Count(accepted);
            if (adapting)
                Adapt(S.ancestralStep, accepted, 0.5);
        }
    }
}

// A random walk on the logit of each cluster's drift.
void UpdateDrifts(SAdmSampler& S, bool adapting) {
    for (int kk = 0; kk < S.K; ++kk) {
        const int k = S.shuffledClust[kk];
        double sumLogP = 0.0, sumALogP = 0.0;
        for (int l = 0; l < S.L; ++l) {
            if (S.setup.J[l] < 2)
                continue;
            for (int j = 0; j < S.setup.J[l]; ++j) {
                sumLogP += S.logp[k][l][j];
                sumALogP += S.sp.ancestral[l][j] * S.logp[k][l][j];
            }
        }
        double& drift = S.sp.drift[k];
        double current = DriftLogTarget(S, drift, sumLogP, sumALogP);
        for (int t = 0; t < kDriftMovesPerSweep; ++t) {
            const double logit = std::log(drift) - std::log1p(-drift);
            const double proposedLogit = logit + S.driftStep[k] * gsl_ran_ugaussian(S.rng);
            const double proposed = 1.0 / (1.0 + std::exp(-proposedLogit));
            bool accepted = false;
            if (proposed > 0.0 && proposed < 1.0) {
                const double target = DriftLogTarget(S, proposed, sumLogP, sumALogP);
                accepted = Accept(S.rng, target - current);
                if (accepted) {
                    drift = proposed;
                    current = target;
                }
            }
            S.chain.driftAcceptance[k].Count(accepted);
            if (adapting)
                Adapt(S.driftStep[k], accepted, 3.0);
        }
    }
}

void UpdateFrequencyPrior(SAdmSampler& S, bool adapting) {
    if (!S.opt.ancestralFrequencies)
        return;
    UpdateAncestralFrequencies(S, adapting);
    UpdateDrifts(S, adapting);
}

// The move of an individual's admixture proportions with its copies' labels
// redrawn together.
//
// Given the allele frequencies p and its Dirichlet parameters alpha, the
// proportions q of individual i have, with its copies' labels summed out,
// the law prop. to Dirichlet(q; alpha) prod over its observed copies of
// sum_k q_k p[k][l][j] (p^power at a power below 1). A Metropolis step on
// that law moves q without the labels holding it back: when thousands of
// copies each carry a label, the label-by-label steps move q by about one
// copy's weight a sweep, and a hard start (every copy of i with one label)
// hardly moves at all. When q moves, the labels are drawn again from their
// law given the new q; when it does not, they stay (the step's acceptance
// does not read them, so they keep their law given q).
//
// The proposal moves a share d ~ N(0, step^2) from one cluster h to another
// k, both drawn at random: symmetric in q on the simplex, so the ratio is
// that of the two laws; a proposal outside the simplex is refused. Each
// individual's step adapts in the burn-in towards an acceptance of 0.3.
#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>

#include "breloAdm/AdmixtureSteps.h"
#include "core/RNGUtilities.h"

namespace {

constexpr double kTargetAcceptance = 0.3;
constexpr double kStartingStep = 0.05;

// log of prod over the observed copies of i of sum_k q[k] p[k][l][j].
double CopiesLogLikelihood(const SAdmSampler& S, int i, const double* q) {
    const DBL_VCTR_3D& p = S.LikelihoodFrequencies();
    double ll = 0.0;
    for (int a = 0; a < S.A; ++a)
        for (int l = 0; l < S.L; ++l) {
            const int j = S.Idx(i, a, l);
            if (j < 0)
                continue;
            double sum = 0.0;
            for (int k = 0; k < S.K; ++k)
                sum += q[k] * p[k][l][j];
            ll += std::log(sum);
        }
    return ll;
}

// Proportions on the boundary of the simplex (the start of a clustering puts
// every copy's weight on one cluster) have no finite density to move from;
// they are drawn from their law given the labels first, which the Dirichlet
// draw keeps inside. The set of such states has no weight in the posterior.
void LeaveTheBoundary(SAdmSampler& S, SAdmBlock& block, int i) {
    DBL_VCTR_1D& q = S.sp.q[i];
    if (std::all_of(q.begin(), q.end(), [](double v) { return v > 0.0; }))
        return;
    DBL_VCTR_1D& dpq = block.dpq;
    std::fill(dpq.begin(), dpq.end(), 0.0);
    for (int a = 0; a < S.A; ++a)
        for (int l = 0; l < S.L; ++l)
            dpq[S.sp.zadMix[i][a][l]] += 1.0;
    for (int k = 0; k < S.K; ++k)
        dpq[k] += S.sp.alpha[i][k];
    DirichletLogDraw(block.rng(), S.K, dpq.data(), S.logq[i].data());
    for (int k = 0; k < S.K; ++k)
        q[k] = std::max(std::exp(S.logq[i][k]), 1e-300);
}

// The labels of every copy of i given q (q alone for a missing copy).
void RedrawLabels(SAdmSampler& S, SAdmBlock& block, int i) {
    for (int a = 0; a < S.A; ++a)
        for (int l = 0; l < S.L; ++l)
            S.sp.zadMix[i][a][l] = DrawCopyLabel(block.rng(), S.sp.q[i], S.LikelihoodFrequencies(),
                                                 l, S.Idx(i, a, l), block.labelWork);
}

// The move of individual i, counted in its block.
void MoveProportionsWithLabels(SAdmSampler& S, SAdmBlock& block, int i, bool adapting) {
    gsl_rng* rng = block.rng();
    LeaveTheBoundary(S, block, i);
    DBL_VCTR_1D& q = S.sp.q[i];
    const DBL_VCTR_1D& alpha = S.sp.alpha[i];
    const int k = static_cast<int>(gsl_rng_uniform_int(rng, S.K));
    int h = static_cast<int>(gsl_rng_uniform_int(rng, S.K - 1));
    h += h >= k;
    const double d = S.proportionStep[i] * gsl_ran_ugaussian(rng);
    DBL_VCTR_1D& proposed = block.proposedQ;
    proposed = q;
    proposed[k] += d;
    proposed[h] -= d;
    bool accepted = false;
    if (proposed[k] > 0.0 && proposed[h] > 0.0) {
        const double logRatio = (alpha[k] - 1.0) * std::log(proposed[k] / q[k]) +
                                (alpha[h] - 1.0) * std::log(proposed[h] / q[h]) +
                                CopiesLogLikelihood(S, i, proposed.data()) -
                                CopiesLogLikelihood(S, i, q.data());
        accepted = logRatio >= 0.0 || gsl_rng_uniform(rng) < std::exp(logRatio);
    }
    block.proportionAcceptance.Count(accepted);
    if (adapting)
        S.proportionStep[i] =
            std::min(0.5, S.proportionStep[i] *
                              std::exp(0.05 * ((accepted ? 1.0 : 0.0) - kTargetAcceptance)));
    if (!accepted)
        return;
    q.swap(proposed);
    for (int c = 0; c < S.K; ++c)
        S.logq[i][c] = std::log(q[c]);
    RedrawLabels(S, block, i);
}

}  // namespace

void SizeProportionMoves(SAdmSampler& S) {
    S.proportionStep.assign(S.N, kStartingStep);
    S.chain.proportionAcceptance = CAcceptanceCounter();
}

void MoveProportionsWithLabels(SAdmSampler& S, bool adapting) {
    if (S.K < 2)
        return;
    ForIndividualBlocks(S, [&](SAdmBlock& block, SBlockRange ind) {
        block.proportionAcceptance = CAcceptanceCounter();
        for (int i = ind.first; i < ind.last; ++i)
            MoveProportionsWithLabels(S, block, i, adapting);
    });
    CAcceptanceCounter& counter = S.chain.proportionAcceptance;
    for (const SAdmBlock& block : S.individualDraws) {
        counter.proposed += block.proportionAcceptance.proposed;
        counter.accepted += block.proportionAcceptance.accepted;
    }
}

// Moves of the admixture sampler's spatial block that integrate the
// admixture proportions out: given the copy labels, the Dirichlet parameters
// exp(CAR[.][i]) of individual i have the Dirichlet-multinomial likelihood
// of its label counts m[i]. The field step that reads this likelihood
// instead of the drawn q[i], and moves of whole fields along their trend
// (one cluster, the level of all clusters, or the trend common to all) and
// in scale with their variance. Each leaves the law of the spatial block
// given the labels invariant; the proportions are drawn again from their
// conditional (DrawProportions) before anything reads them.
//
// The likelihood of individual i is sum over k of term[i][k] less whole[i]:
// term[i][k] = log of alpha_k (alpha_k + 1) ... (alpha_k + m_k - 1) and
// whole[i] the same for the sum of the alphas and all n copies. A move of
// one cluster's field changes one term and the whole, so the terms of the
// current fields are kept (SLabelTerms) and only those are computed again.
#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>

#include "breloAdm/AdmixtureSteps.h"
#include "core/MatrixUtilities.h"
#include "core/StatUtilities.h"

namespace {

// Above this alpha the difference of two log-gamma values loses digits
// (it holds alpha log alpha): Stirling's series is used instead.
constexpr double kLargeAlpha = 1e6;

// Below this count the rising factorial is a product; from it on a
// difference of log-gamma values, whose rounding (about 1e-16 of
// (alpha + m) log(alpha + m)) stays far below what a Metropolis ratio sees.
constexpr int kProductCount = 16;

constexpr double kTargetAcceptance = 0.3;

bool Accept(SAdmSampler& S, double logRatio) {
    return logRatio >= 0.0 || gsl_rng_uniform(S.rng) < std::exp(logRatio);
}

// During the burn-in a step size moves towards the acceptance rate target:
// up after an acceptance, down after a rejection. Fixed afterwards, so the
// kept sweeps are those of one fixed kernel.
void AdaptStep(double& step, bool accepted, double target, bool adapting) {
    if (adapting)
        step *= std::exp(0.05 * ((accepted ? 1.0 : 0.0) - target));
}

// Copies of individual i (every copy has a label, missing or not).
int CopyCount(const SAdmSampler& S) {
    return S.A * S.L;
}

// whole[i] for the fields c[0..K-1] of individual i.
double WholeTerm(const SAdmSampler& S, const double* c) {
    return LogRising(LogSumExp(c, S.K), CopyCount(S));
}

// The fields of individual i into c.
void FieldsOf(const SAdmSampler& S, int i, double* c) {
    for (int k = 0; k < S.K; ++k)
        c[k] = S.sp.CAR[k][i];
}

// The terms of individual i when its fields are c, into term[0..K-1] and
// whole; returns its likelihood.
double ComputeTerms(const SAdmSampler& S, int i, const double* c, double* term, double& whole) {
    double ll = 0.0;
    for (int k = 0; k < S.K; ++k)
        ll += term[k] = LogRising(c[k], S.m[i][k]);
    whole = WholeTerm(S, c);
    return ll - whole;
}

// The terms of every individual under the current fields and labels.
void RefreshLabelTerms(SAdmSampler& S) {
    SLabelTerms& t = S.moves.terms;
    double* c = S.moves.logAlpha.data();
    for (int i = 0; i < S.N; ++i) {
        FieldsOf(S, i, c);
        ComputeTerms(S, i, c, &t.term[static_cast<size_t>(i) * S.K], t.whole[i]);
    }
}

// Change of the likelihood of individual i when the field of cluster k alone
// moves to v; its new term and whole into newTerm, newWhole.
double ClusterChange(SAdmSampler& S, int i, int k, double v, double& newTerm, double& newWhole) {
    const SLabelTerms& t = S.moves.terms;
    double* c = S.moves.logAlpha.data();
    FieldsOf(S, i, c);
    c[k] = v;
    newTerm = LogRising(v, S.m[i][k]);
    newWhole = WholeTerm(S, c);
    const size_t at = static_cast<size_t>(i) * S.K + k;
    return (newTerm - t.term[at]) - (newWhole - t.whole[i]);
}

// Change of the summed likelihood when cluster k's field moves by shift[i]
// at every individual; the proposal's terms go to S.moves.proposal.
double ShiftedClusterChange(SAdmSampler& S, int k, const double* shift) {
    SLabelTerms& p = S.moves.proposal;
    double change = 0.0;
    for (int i = 0; i < S.N; ++i)
        change += ClusterChange(S, i, k, S.sp.CAR[k][i] + shift[i],
                                p.term[static_cast<size_t>(i) * S.K + k], p.whole[i]);
    return change;
}

// The proposal of ShiftedClusterChange becomes the current terms.
void AcceptClusterTerms(SAdmSampler& S, int k) {
    SLabelTerms& t = S.moves.terms;
    const SLabelTerms& p = S.moves.proposal;
    for (int i = 0; i < S.N; ++i) {
        const size_t at = static_cast<size_t>(i) * S.K + k;
        t.term[at] = p.term[at];
        t.whole[i] = p.whole[i];
    }
}

// Change of the summed likelihood when every cluster's field moves by
// shift[i] at individual i; the proposal's terms go to S.moves.proposal and
// are the current ones once accepted (swap).
double ShiftedAllChange(SAdmSampler& S, const double* shift) {
    SLabelTerms& t = S.moves.terms;
    SLabelTerms& p = S.moves.proposal;
    double* c = S.moves.logAlpha.data();
    double change = 0.0;
    for (int i = 0; i < S.N; ++i) {
        FieldsOf(S, i, c);
        double old = -t.whole[i];
        for (int k = 0; k < S.K; ++k) {
            c[k] += shift[i];
            old += t.term[static_cast<size_t>(i) * S.K + k];
        }
        change += ComputeTerms(S, i, c, &p.term[static_cast<size_t>(i) * S.K], p.whole[i]) - old;
    }
    return change;
}

// Every cluster's coefficients and field shifted by delta and shift (the
// trend common to all clusters, or the level alone).
void ApplyCommonShift(SAdmSampler& S, const DBL_VCTR_1D& delta, const double* shift) {
    CSweepParams& sp = S.sp;
    for (int k = 0; k < S.K; ++k) {
        for (int b = 0; b < S.bl; ++b)
            sp.beta[k][b] += delta[b];
        for (int i = 0; i < S.N; ++i) {
            sp.CAR[k][i] += shift[i];
            S.Pred[i][k] += shift[i];
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        }
    }
    S.moves.terms.term.swap(S.moves.proposal.term);
    S.moves.terms.whole.swap(S.moves.proposal.whole);
}

// log prior ratio of every cluster's coefficients moved by delta.
double CommonShiftPriorRatio(SAdmSampler& S, const DBL_VCTR_1D& delta) {
    SJointMoveState& w = S.moves;
    double ratio = 0.0;
    for (int k = 0; k < S.K; ++k) {
        for (int b = 0; b < S.bl; ++b)
            w.betaProposed[b] = S.sp.beta[k][b] + delta[b];
        ratio += LogCoefficientPrior(S.prior, w.betaProposed) -
                 LogCoefficientPrior(S.prior, S.sp.beta[k]);
    }
    return ratio;
}

// delta = step * trendShape * z, z standard normal; shift = Xtild delta.
void DrawTrendShift(SAdmSampler& S, double step) {
    SJointMoveState& w = S.moves;
    const DBL_VCTR_2D& X = S.setup.data.Xtild;
    for (int b = 0; b < S.bl; ++b)
        w.normal[b] = gsl_ran_ugaussian(S.rng);
    for (int b = 0; b < S.bl; ++b) {
        double v = 0.0;
        for (int c = 0; c <= b; ++c)
            v += w.trendShape[b][c] * w.normal[c];
        w.delta[b] = step * v;
    }
    for (int i = 0; i < S.N; ++i) {
        double v = 0.0;
        for (int b = 0; b < S.bl; ++b)
            v += X[i][b] * w.delta[b];
        w.shift[i] = v;
    }
}

// The moves below, given the terms of the current fields (kept up to date
// as they accept).
void ShiftTrendsGivenTerms(SAdmSampler& S, bool adapting) {
    CSweepParams& sp = S.sp;
    SJointMoveState& w = S.moves;
    for (int k = 0; k < S.K; ++k) {
        DrawTrendShift(S, w.trendStep[k]);
        for (int b = 0; b < S.bl; ++b)
            w.betaProposed[b] = sp.beta[k][b] + w.delta[b];
        // The residual field is unchanged: only the labels' likelihood and
        // the coefficients' prior are in the ratio.
        const double logRatio = ShiftedClusterChange(S, k, w.shift.data()) +
                                LogCoefficientPrior(S.prior, w.betaProposed) -
                                LogCoefficientPrior(S.prior, sp.beta[k]);
        const bool accepted = Accept(S, logRatio);
        S.chain.trendAcceptance[k].Count(accepted);
        AdaptStep(w.trendStep[k], accepted, kTargetAcceptance, adapting);
        if (!accepted)
            continue;
        AcceptClusterTerms(S, k);
        sp.beta[k] = w.betaProposed;
        for (int i = 0; i < S.N; ++i) {
            sp.CAR[k][i] += w.shift[i];
            S.Pred[i][k] += w.shift[i];
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        }
    }
}

void ShiftLevelGivenTerms(SAdmSampler& S, bool adapting) {
    SJointMoveState& w = S.moves;
    if (S.K < 2 || !w.hasIntercept)
        return;
    const double d = w.levelStep * gsl_ran_ugaussian(S.rng);
    std::fill(w.delta.begin(), w.delta.end(), 0.0);
    w.delta[0] = d;
    std::fill(w.shift.begin(), w.shift.end(), d);
    const double logRatio = ShiftedAllChange(S, w.shift.data()) + CommonShiftPriorRatio(S, w.delta);
    const bool accepted = Accept(S, logRatio);
    S.chain.levelAcceptance.Count(accepted);
    AdaptStep(w.levelStep, accepted, kTargetAcceptance, adapting);
    if (accepted)
        ApplyCommonShift(S, w.delta, w.shift.data());
}

void ShiftCommonTrendGivenTerms(SAdmSampler& S, bool adapting) {
    SJointMoveState& w = S.moves;
    if (S.K < 2)
        return;
    DrawTrendShift(S, w.commonStep);
    const double logRatio = ShiftedAllChange(S, w.shift.data()) + CommonShiftPriorRatio(S, w.delta);
    const bool accepted = Accept(S, logRatio);
    S.chain.commonAcceptance.Count(accepted);
    AdaptStep(w.commonStep, accepted, kTargetAcceptance, adapting);
    if (accepted)
        ApplyCommonShift(S, w.delta, w.shift.data());
}

// The residual field e of cluster k and its variance: (e, sigma) ->
// (s e, s^2 sigma), beta fixed, log s ~ N(0, step^2) (symmetric: s and 1/s
// equally likely). The CAR density of the scaled field gains s^-N (its
// quadratic form over sigma is unchanged), the map's Jacobian is s^(N+2)
// (s per site, s^2 for sigma), and sigma's inverse-gamma prior gains
// s^-2(a+1) exp(b/sigma - b/sigma'): s^-2a and that exponential, times the
// ratio of the label-count likelihoods.
void ScaleFieldsGivenTerms(SAdmSampler& S, bool adapting) {
    if (!S.opt.updateSigma)
        return;
    CSweepParams& sp = S.sp;
    SJointMoveState& w = S.moves;
    ComputeResiduals(S);
    for (int k = 0; k < S.K; ++k) {
        const double logS = w.scaleStep[k] * gsl_ran_ugaussian(S.rng);
        const double s = std::exp(logS);
        for (int i = 0; i < S.N; ++i)
            w.shift[i] = (s - 1.0) * S.E[k][i];
        const double sigma = sp.sigma[k], sigma_n = s * s * sigma;
        const double logRatio = -2.0 * S.opt.sigmaShape * logS - S.opt.sigmaScale / sigma_n +
                                S.opt.sigmaScale / sigma +
                                ShiftedClusterChange(S, k, w.shift.data());
        const bool accepted = Accept(S, logRatio);
        S.chain.scaleAcceptance[k].Count(accepted);
        AdaptStep(w.scaleStep[k], accepted, kTargetAcceptance, adapting);
        if (!accepted)
            continue;
        AcceptClusterTerms(S, k);
        sp.sigma[k] = sigma_n;
        RefreshSigma(S.prior, k, sigma_n);
        for (int i = 0; i < S.N; ++i) {
            sp.CAR[k][i] += w.shift[i];
            S.E[k][i] *= s;
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        }
    }
}

}  // namespace

// log of alpha (alpha + 1) ... (alpha + m - 1) = lnGamma(alpha + m) -
// lnGamma(alpha), alpha = exp(logAlpha), accurate however small or large
// alpha is: log alpha plus the log of (alpha + 1) ... (alpha + m - 1) up to
// kLargeAlpha; above, with x = m / alpha, Stirling's series
// m log alpha + alpha (log(1 + x) - x) + (m - 1/2) log(1 + x)
// + 1/(12 (alpha + m)) - 1/(12 alpha), its terms written so that none
// cancels (and alpha = infinity gives m log alpha).
double LogRising(double logAlpha, int m) {
    if (m == 0)
        return 0.0;
    const double alpha = std::exp(logAlpha);
    if (alpha <= kLargeAlpha) {
        if (m < kProductCount) {
            double product = 1.0;
            for (int t = 1; t < m; ++t)
                product *= alpha + t;
            return logAlpha + std::log(product);
        }
        int sign = 0;
        return logAlpha + lgamma_r(alpha + m, &sign) - lgamma_r(alpha + 1.0, &sign);
    }
    const double x = m / alpha, l1p = std::log1p(x);
    const double tail = x > 0.0 ? m * ((l1p - x) / x) : 0.0;
    return m * logAlpha + tail + (m - 0.5) * l1p + (1.0 / (alpha + m) - 1.0 / alpha) / 12.0;
}

double LabelLogLikelihood(const SAdmSampler& S, int i, const double* logAlpha) {
    const INT_VCTR_1D& m = S.m[i];
    double ll = 0.0;
    int n = 0;
    for (int k = 0; k < S.K; ++k) {
        ll += LogRising(logAlpha[k], m[k]);
        n += m[k];
    }
    return ll - LogRising(LogSumExp(logAlpha, S.K), n);
}

void SizeJointMoves(SAdmSampler& S) {
    SJointMoveState& w = S.moves;
    w.trendStep.assign(S.K, 1.0);
    w.scaleStep.assign(S.K, 0.1);
    w.levelStep = 0.1;
    w.commonStep = 1.0;
    w.logAlpha.assign(S.K, 0.0);
    w.shift.assign(S.N, 0.0);
    w.normal.assign(S.bl, 0.0);
    w.delta.assign(S.bl, 0.0);
    w.betaProposed.assign(S.bl, 0.0);
    for (SLabelTerms* t : {&w.terms, &w.proposal}) {
        t->term.assign(static_cast<size_t>(S.N) * S.K, 0.0);
        t->whole.assign(S.N, 0.0);
    }
    // Shape of the trend proposals: a factor of (Xtild'Xtild)^-1 N.
    const DBL_VCTR_2D& X = S.setup.data.Xtild;
    DBL_VCTR_2D XtX, inv;
    Mult_t_left(XtX, X, X);
    InverseWithChol(inv, XtX);
    for (DBL_VCTR_1D& row : inv)
        for (double& v : row)
            v *= S.N;
    choldc(w.trendShape, inv);
    // The level move shifts the intercept, the design's first column.
    w.hasIntercept = true;
    for (int i = 0; i < S.N; ++i)
        w.hasIntercept = w.hasIntercept && X[i][0] == 1.0;
    S.chain.trendAcceptance.assign(S.K, CAcceptanceCounter());
    S.chain.scaleAcceptance.assign(S.K, CAcceptanceCounter());
    S.chain.levelAcceptance = CAcceptanceCounter();
    S.chain.commonAcceptance = CAcceptanceCounter();
}

void UpdateSpatialFieldGivenLabels(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    SLabelTerms& t = S.moves.terms;
    ComputeResiduals(S);
    RefreshLabelTerms(S);
    for (int ii = 0; ii < S.N; ++ii) {
        const int i = S.shuffledInd[ii];
        for (int kk = 0; kk < S.K; ++kk) {
            const int k = S.shuffledClust[kk];
            const double mean =
                S.Pred[i][k] + sp.psi[k] * NeighbourSum(S.prior, S.NS, i, S.E[k].data());
            const double v = mean + gsl_ran_gaussian(S.rng, std::sqrt(sp.sigma[k]));
            double term = 0.0, whole = 0.0;
            const bool accepted = Accept(S, ClusterChange(S, i, k, v, term, whole));
            S.chain.fieldAcceptance[k].Count(accepted);
            if (accepted) {
                sp.CAR[k][i] = v;
                S.E[k][i] = v - S.Pred[i][k];
                t.term[static_cast<size_t>(i) * S.K + k] = term;
                t.whole[i] = whole;
            }
        }
    }
    for (int i = 0; i < S.N; ++i)
        for (int k = 0; k < S.K; ++k)
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
}

void ShiftTrends(SAdmSampler& S, bool adapting) {
    RefreshLabelTerms(S);
    ShiftTrendsGivenTerms(S, adapting);
}

void ShiftLevel(SAdmSampler& S, bool adapting) {
    RefreshLabelTerms(S);
    ShiftLevelGivenTerms(S, adapting);
}

void ShiftCommonTrend(SAdmSampler& S, bool adapting) {
    RefreshLabelTerms(S);
    ShiftCommonTrendGivenTerms(S, adapting);
}

void ScaleFields(SAdmSampler& S, bool adapting) {
    RefreshLabelTerms(S);
    ScaleFieldsGivenTerms(S, adapting);
}

// The label counts m[i] hold every copy of i; the copy being drawn is taken
// out, and its label drawn with probability prop. to (alpha[i][k] +
// m[i][k]) p[k][l][j] (alpha[i][k] + m[i][k] for a missing copy): q[i]
// integrated out of q[i][k] p[k][l][j] (p^power below power 1).
namespace {

// The labels of the copies of individual i, one after the other, each given
// the others (the Polya urn of its label counts m[i]).
void UpdateCopyLabelsGivenField(SAdmSampler& S, SAdmBlock& block, int i) {
    DBL_VCTR_1D& w = block.labelWork;
    const DBL_VCTR_3D& p = S.LikelihoodFrequencies();
    INT_VCTR_1D& m = S.m[i];
    const DBL_VCTR_1D& alpha = S.sp.alpha[i];
    for (int aa = 0; aa < S.A; ++aa) {
        const int a = S.shuffledPloidy[aa];
        for (int ll = 0; ll < S.L; ++ll) {
            const int l = S.shuffledLoc[ll];
            CCopyLabels::CRef z = S.sp.zadMix[i][a][l];
            --m[z];
            const int j = S.Idx(i, a, l);
            double sum = 0.0;
            for (int k = 0; k < S.K; ++k) {
                w[k] = (alpha[k] + m[k]) * (j < 0 ? 1.0 : p[k][l][j]);
                sum += w[k];
            }
            double u = gsl_rng_uniform(block.rng()) * sum;
            int k = 0;
            while (k < S.K - 1 && (u -= w[k]) > 0.0)
                ++k;
            z = k;
            ++m[z];
        }
    }
}

}  // namespace

void UpdateCopyLabelsGivenField(SAdmSampler& S) {
    ForIndividualBlocks(S, [&](SAdmBlock& block, SBlockRange ind) {
        for (int i = ind.first; i < ind.last; ++i)
            UpdateCopyLabelsGivenField(S, block, i);
    });
}

void MoveFieldsJointly(SAdmSampler& S, bool adapting) {
    RefreshLabelTerms(S);
    ShiftTrendsGivenTerms(S, adapting);
    ShiftLevelGivenTerms(S, adapting);
    ShiftCommonTrendGivenTerms(S, adapting);
    for (int r = 0; r < kScaleMovesPerPass; ++r)
        ScaleFieldsGivenTerms(S, adapting);
}

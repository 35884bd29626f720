// Moves of the admixture sampler's spatial block that integrate the
// admixture proportions out: given the copy labels, the Dirichlet parameters
// exp(CAR[.][i]) of individual i have the Dirichlet-multinomial likelihood
// of its label counts m[i]. The field step that reads this likelihood
// instead of the drawn q[i], and moves of whole fields along their trend
// (one cluster, or the level of all clusters) and in scale with their
// variance. Each leaves the law of the spatial block given the labels
// invariant; the proportions are drawn again from their conditional
// (DrawProportions) before anything reads them.
#include <gsl/gsl_randist.h>
#include <gsl/gsl_sf_gamma.h>

#include <algorithm>
#include <cmath>

#include "breloAdm/AdmixtureSteps.h"
#include "core/MatrixUtilities.h"
#include "core/StatUtilities.h"

namespace {

// Above this alpha the difference of two log-gamma values loses digits
// (it holds alpha log alpha): Stirling's series is used instead.
constexpr double kLargeAlpha = 1e6;

// log of alpha (alpha + 1) ... (alpha + m - 1) = lnGamma(alpha + m) -
// lnGamma(alpha), alpha = exp(logAlpha), accurate however small or large
// alpha is: log alpha plus the log Pochhammer symbol (alpha + 1)_(m-1) up to
// kLargeAlpha; above, with x = m / alpha, Stirling's series
// m log alpha + alpha (log(1 + x) - x) + (m - 1/2) log(1 + x)
// + 1/(12 (alpha + m)) - 1/(12 alpha), its terms written so that none
// cancels (and alpha = infinity gives m log alpha).
double LogRising(double logAlpha, int m) {
    if (m == 0)
        return 0.0;
    const double alpha = std::exp(logAlpha);
    if (alpha <= kLargeAlpha)
        return logAlpha + gsl_sf_lnpoch(alpha + 1.0, m - 1);
    const double x = m / alpha, l1p = std::log1p(x);
    const double tail = x > 0.0 ? m * ((l1p - x) / x) : 0.0;
    return m * logAlpha + tail + (m - 0.5) * l1p + (1.0 / (alpha + m) - 1.0 / alpha) / 12.0;
}

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

constexpr double kTargetAcceptance = 0.3;

// Label-count log-likelihood of all individuals when cluster k's field is
// CAR[k] + shift[i] (shift may be null: no change) and the others are as
// they are.
double ShiftedLabelLogLikelihood(SAdmSampler& S, int k, const double* shift) {
    double total = 0.0;
    double* c = S.moves.logAlpha.data();
    for (int i = 0; i < S.N; ++i) {
        for (int h = 0; h < S.K; ++h)
            c[h] = S.sp.CAR[h][i];
        if (shift)
            c[k] += shift[i];
        total += LabelLogLikelihood(S, i, c);
    }
    return total;
}

}  // namespace

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
    w.logAlpha.assign(S.K, 0.0);
    w.shift.assign(S.N, 0.0);
    w.normal.assign(S.bl, 0.0);
    w.delta.assign(S.bl, 0.0);
    w.betaProposed.assign(S.bl, 0.0);
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
}

void UpdateSpatialFieldGivenLabels(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    ComputeResiduals(S);
    double* c = S.moves.logAlpha.data();
    for (int ii = 0; ii < S.N; ++ii) {
        const int i = S.shuffledInd[ii];
        for (int k = 0; k < S.K; ++k)
            c[k] = sp.CAR[k][i];
        double current = LabelLogLikelihood(S, i, c);
        for (int kk = 0; kk < S.K; ++kk) {
            const int k = S.shuffledClust[kk];
            const double mean =
                S.Pred[i][k] + sp.psi[k] * NeighbourSum(S.prior, S.NS, i, S.E[k].data());
            const double old = c[k];
            c[k] = mean + gsl_ran_gaussian(S.rng, std::sqrt(sp.sigma[k]));
            const double proposed = LabelLogLikelihood(S, i, c);
            const bool accepted = Accept(S, proposed - current);
            S.chain.fieldAcceptance[k].Count(accepted);
            if (accepted) {
                sp.CAR[k][i] = c[k];
                S.E[k][i] = c[k] - S.Pred[i][k];
                current = proposed;
            } else {
                c[k] = old;
            }
        }
    }
    for (int i = 0; i < S.N; ++i)
        for (int k = 0; k < S.K; ++k)
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
}

namespace {

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

}  // namespace

void ShiftTrends(SAdmSampler& S, bool adapting) {
    CSweepParams& sp = S.sp;
    SJointMoveState& w = S.moves;
    for (int k = 0; k < S.K; ++k) {
        DrawTrendShift(S, w.trendStep[k]);
        for (int b = 0; b < S.bl; ++b)
            w.betaProposed[b] = sp.beta[k][b] + w.delta[b];
        // The residual field is unchanged: only the labels' likelihood and
        // the coefficients' prior are in the ratio.
        const double logRatio = ShiftedLabelLogLikelihood(S, k, w.shift.data()) -
                                ShiftedLabelLogLikelihood(S, k, nullptr) +
                                LogCoefficientPrior(S.prior, w.betaProposed) -
                                LogCoefficientPrior(S.prior, sp.beta[k]);
        const bool accepted = Accept(S, logRatio);
        S.chain.trendAcceptance[k].Count(accepted);
        AdaptStep(w.trendStep[k], accepted, kTargetAcceptance, adapting);
        if (!accepted)
            continue;
        sp.beta[k] = w.betaProposed;
        for (int i = 0; i < S.N; ++i) {
            sp.CAR[k][i] += w.shift[i];
            S.Pred[i][k] += w.shift[i];
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        }
    }
}

void ShiftLevel(SAdmSampler& S, bool adapting) {
    SJointMoveState& w = S.moves;
    if (S.K < 2 || !w.hasIntercept)
        return;
    CSweepParams& sp = S.sp;
    const double d = w.levelStep * gsl_ran_ugaussian(S.rng);
    double logRatio = 0.0;
    double* c = w.logAlpha.data();
    for (int i = 0; i < S.N; ++i) {
        for (int k = 0; k < S.K; ++k)
            c[k] = sp.CAR[k][i];
        logRatio -= LabelLogLikelihood(S, i, c);
        for (int k = 0; k < S.K; ++k)
            c[k] += d;
        logRatio += LabelLogLikelihood(S, i, c);
    }
    for (int k = 0; k < S.K; ++k) {
        w.betaProposed = sp.beta[k];
        w.betaProposed[0] += d;
        logRatio +=
            LogCoefficientPrior(S.prior, w.betaProposed) - LogCoefficientPrior(S.prior, sp.beta[k]);
    }
    const bool accepted = Accept(S, logRatio);
    S.chain.levelAcceptance.Count(accepted);
    AdaptStep(w.levelStep, accepted, kTargetAcceptance, adapting);
    if (!accepted)
        return;
    for (int k = 0; k < S.K; ++k) {
        sp.beta[k][0] += d;
        for (int i = 0; i < S.N; ++i) {
            sp.CAR[k][i] += d;
            S.Pred[i][k] += d;
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        }
    }
}

// The residual field e of cluster k and its variance: (e, sigma) ->
// (s e, s^2 sigma), beta fixed, log s ~ N(0, step^2) (symmetric: s and 1/s
// equally likely). The CAR density of the scaled field gains s^-N (its
// quadratic form over sigma is unchanged), the map's Jacobian is s^(N+2)
// (s per site, s^2 for sigma), and sigma's inverse-gamma prior gains
// s^-2(a+1) exp(b/sigma - b/sigma'): s^-2a and that exponential, times the
// ratio of the label-count likelihoods.
void ScaleFields(SAdmSampler& S, bool adapting) {
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
                                ShiftedLabelLogLikelihood(S, k, w.shift.data()) -
                                ShiftedLabelLogLikelihood(S, k, nullptr);
        const bool accepted = Accept(S, logRatio);
        S.chain.scaleAcceptance[k].Count(accepted);
        AdaptStep(w.scaleStep[k], accepted, kTargetAcceptance, adapting);
        if (!accepted)
            continue;
        sp.sigma[k] = sigma_n;
        RefreshSigma(S.prior, k, sigma_n);
        for (int i = 0; i < S.N; ++i) {
            sp.CAR[k][i] += w.shift[i];
            S.E[k][i] *= s;
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
        }
    }
}

// The label counts m[i] hold every copy of i; the copy being drawn is taken
// out, and its label drawn with probability prop. to (alpha[i][k] +
// m[i][k]) p[k][l][j] (alpha[i][k] + m[i][k] for a missing copy): q[i]
// integrated out of q[i][k] p[k][l][j].
void UpdateCopyLabelsGivenField(SAdmSampler& S) {
    DBL_VCTR_1D& w = S.labelWork;
    for (int ii = 0; ii < S.N; ++ii) {
        const int i = S.shuffledInd[ii];
        INT_VCTR_1D& m = S.m[i];
        const DBL_VCTR_1D& alpha = S.sp.alpha[i];
        for (int aa = 0; aa < S.A; ++aa) {
            const int a = S.shuffledPloidy[aa];
            for (int ll = 0; ll < S.L; ++ll) {
                const int l = S.shuffledLoc[ll];
                uint8_t& z = S.sp.zadMix[i][a][l];
                --m[z];
                const int j = S.Idx(i, a, l);
                double sum = 0.0;
                for (int k = 0; k < S.K; ++k) {
                    w[k] = (alpha[k] + m[k]) * (j < 0 ? 1.0 : S.sp.p[k][l][j]);
                    sum += w[k];
                }
                double u = gsl_rng_uniform(S.rng) * sum;
                int k = 0;
                while (k < S.K - 1 && (u -= w[k]) > 0.0)
                    ++k;
                z = static_cast<uint8_t>(k);
                ++m[z];
            }
        }
    }
}

void MoveFieldsJointly(SAdmSampler& S, bool adapting) {
    ShiftTrends(S, adapting);
    ShiftLevel(S, adapting);
    ScaleFields(S, adapting);
}

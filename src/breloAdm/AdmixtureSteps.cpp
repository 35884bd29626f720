#include "breloAdm/AdmixtureSteps.h"

#include <gsl/gsl_randist.h>
#include <gsl/gsl_sf_gamma.h>

#include <cmath>
#include <iostream>
#include <numeric>

#include "core/MatrixUtilities.h"
#include "core/Messages.h"
#include "core/RNGUtilities.h"
#include "core/StatUtilities.h"

namespace {

double SafeLog(double v) {
    return v > 0.0 ? std::log(v) : N_LIMIT;
}

void IdentityOrder(INT_VCTR_1D& order, int size) {
    order.resize(size);
    std::iota(order.begin(), order.end(), 0);
}

std::vector<SAdmBlock> SizedBlocks(const SAdmSampler& S, EBlockItems items, int count) {
    std::vector<CRandomStream> streams = BlockStreams(S.setup.seed, S.replica, items, count);
    std::vector<SAdmBlock> blocks(count);
    for (int b = 0; b < count; ++b) {
        blocks[b].stream = std::move(streams[b]);
        blocks[b].labelWork.assign(S.K, 0.0);
        blocks[b].dpq.assign(S.K, 0.0);
        blocks[b].proposedQ.assign(S.K, 0.0);
    }
    return blocks;
}

void SizeBlocks(SAdmSampler& S) {
    S.locusBlocks = CBlockRanges(S.L, kLociPerBlock);
    S.individualBlocks = CBlockRanges(S.N, IndividualsPerBlock(S.A * S.L));
    S.locusDraws = SizedBlocks(S, EBlockItems::Loci, S.locusBlocks.Count());
    S.individualDraws = SizedBlocks(S, EBlockItems::Individuals, S.individualBlocks.Count());
}

}  // namespace

SAdmSampler::SAdmSampler(const SAdmOptions& o, SAdmSetup& s, CSpatialPrior& pr, gsl_rng* r,
                         SAdmChain& c)
    : SAdmSampler(o, s, pr, r, c, s.data.X) {}

SAdmSampler::SAdmSampler(const SAdmOptions& o, SAdmSetup& s, CSpatialPrior& pr, gsl_rng* r,
                         SAdmChain& c, CGenotypeStore& genotypes)
    : opt(o),
      setup(s),
      prior(pr),
      rng(r),
      chain(c),
      sp(c.spSweep),
      N(o.N),
      A(o.A),
      L(o.L),
      K(o.K),
      bl(s.beta_length),
      X(genotypes),
      NS(s.tess.vvnNS) {}

int IndividualsPerBlock(int copiesPerIndividual) {
    const int step = kIndividualsPerBlockStep;
    const int copiesPerStep = std::max(1, copiesPerIndividual) * step;
    return step * std::max(1, (kCopiesPerBlock + copiesPerStep - 1) / copiesPerStep);
}

void SizeSamplerState(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    InitVctr3D(sp.p, S.K, S.L, S.setup.J, 0.0);
    InitVctr3D(S.n, S.K, S.L, S.setup.J, 0);
    InitVctr3D(S.logp, S.K, S.L, S.setup.J, 0.0);
    InitVctr3D(S.pPower, S.K, S.L, S.setup.J, 0.0);
    InitVctr2D(S.m, S.N, S.K, 0);
    InitVctr2D(S.logq, S.N, S.K, 0.0);
    InitVctr1D(S.dpq, S.K, 1.0);
    InitVctr2D(sp.alpha, S.N, S.K, 0.0);
    InitVctr2D(sp.q, S.N, S.K, 0.0);
    InitVctr2D(S.Pred, S.N, S.K, 0.0);
    InitVctr1D(sp.sigma, S.K, S.opt.sigmaQ);
    InitVctr2D(sp.beta, S.K, S.bl, 0.0);
    InitVctr1D(sp.z, S.N, 0);
    sp.zadMix.Assign(S.N, S.A, S.L, S.K);
    InitVctr2D(sp.CAR, S.K, S.N, 0.0);
    InitVctr2D(S.E, S.K, S.N, 0.0);
    InitVctr1D(S.ee, S.K, 0.0);
    InitVctr1D(S.eWe, S.K, 0.0);
    InitVctr2D(S.DirParams, S.L, S.setup.J, S.opt.lambda);
    InitVctr1D(S.fieldWork, S.K, 0.0);
    InitVctr1D(S.QPredict, S.K, 0.0);
    InitVctr1D(S.dpqPredict, S.K, 0.0);
    InitVctr2D(S.beta_mean, S.K, S.bl, 0.0);
    IdentityOrder(S.shuffledInd, S.N);
    IdentityOrder(S.shuffledClust, S.K);
    IdentityOrder(S.shuffledLoc, S.L);
    IdentityOrder(S.shuffledPloidy, S.A);
    S.chain.fieldAcceptance.assign(S.K, CAcceptanceCounter());
    S.chain.psiAcceptance.assign(S.K, CAcceptanceCounter());
    if (S.opt.jointMoves)
        SizeJointMoves(S);
    SizeProportionMoves(S);
    SizeBlocks(S);
    SizeFrequencyPrior(S);
}

void UpdatePred(SAdmSampler& S) {
    Mult_t(S.Pred, S.setup.data.Xtild, S.sp.beta);
}

// S1
void ShuffleVisitingOrders(SAdmSampler& S) {
    if (!S.opt.shuffle)
        return;
    gsl_ran_shuffle(S.rng, S.shuffledInd.data(), S.N, sizeof(int));
    gsl_ran_shuffle(S.rng, S.shuffledClust.data(), S.K, sizeof(int));
    gsl_ran_shuffle(S.rng, S.shuffledLoc.data(), S.L, sizeof(int));
    gsl_ran_shuffle(S.rng, S.shuffledPloidy.data(), S.A, sizeof(int));
}

namespace {

// S2 at loci.first .. loci.last-1, on the allele indices of the copies: the
// observed allele j or the recessive one jr.
void DrawRecessiveGenotypes(SAdmSampler& S, gsl_rng* rng, SBlockRange loci) {
    const DBL_VCTR_3D& p = S.LikelihoodFrequencies();
    for (int l = loci.first; l < loci.last; ++l) {
        const int r = S.setup.data.recAllele[l];
        if (r < 0)  // a locus without a recessive allele
            continue;
        const int jr = S.X.FindAllele(l, r);
        for (int i = 0; i < S.N; ++i) {
            const int j = S.setup.Xobs.Index(i, 0, l);
            if (j == CGenotypeStore::kMissing)  // a missing phenotype stays missing
                continue;
            if (j == jr)
                continue;
            const int k0 = S.sp.zadMix[i][0][l], k1 = S.sp.zadMix[i][1][l];
            // A recessive allele never observed has frequency 0 everywhere.
            const double r0 = jr >= 0 ? p[k0][l][jr] : 0.0;
            const double r1 = jr >= 0 ? p[k1][l][jr] : 0.0;
            const double het0 = p[k0][l][j] * r1, het1 = p[k1][l][j] * r0;
            const double den = het0 + het1 + p[k0][l][j] * p[k1][l][j];
            const double u = gsl_rng_uniform(rng);
            int copy0 = j, copy1 = j;
            if (u < het0 / den)
                copy1 = jr;
            else if (u < (het0 + het1) / den)
                copy0 = jr;
            S.X.SetIndex(i, 0, l, copy0);
            S.X.SetIndex(i, 1, l, copy1);
        }
    }
}

// S3 at loci.first .. loci.last-1.
void CountAlleles(SAdmSampler& S, SBlockRange loci) {
    for (INT_VCTR_2D& nk : S.n)
        for (int l = loci.first; l < loci.last; ++l)
            std::fill(nk[l].begin(), nk[l].end(), 0);
    for (int i = 0; i < S.N; ++i)
        for (int a = 0; a < S.A; ++a) {
            const CCopyLabels::CConstRow z = S.sp.zadMix[i][a];
            for (int l = loci.first; l < loci.last; ++l) {
                const int j = S.Idx(i, a, l);
                if (j >= 0)
                    ++S.n[z[l]][l][j];
            }
        }
}

void RaiseFrequencies(SAdmSampler& S, SBlockRange loci) {
    if (S.power == 1.0)
        return;
    for (int k = 0; k < S.K; ++k)
        for (int l = loci.first; l < loci.last; ++l)
            for (int j = 0; j < S.setup.J[l]; ++j)
                S.pPower[k][l][j] = std::pow(S.sp.p[k][l][j], S.power);
}

// S4, S5 at loci.first .. loci.last-1.
void DrawAlleleFrequencies(SAdmSampler& S, gsl_rng* rng, SBlockRange loci) {
    // Under the correlated model (-anc1) the frequencies are drawn on the
    // log scale, so that logp holds the exact logarithm of a frequency too
    // small for a double, which the steps of the ancestral frequencies and
    // drifts read.
    const bool correlated = S.opt.ancestralFrequencies;
    for (int kk = 0; kk < S.K; ++kk) {
        const int k = S.shuffledClust[kk];
        for (int l = loci.first; l < loci.last; ++l) {
            DBL_VCTR_1D& params = S.DirParams[l];
            for (int j = 0; j < S.setup.J[l]; ++j)
                params[j] = S.n[k][l][j] * S.power + FrequencyPriorParameter(S, k, l, j);
            if (!correlated) {
                gsl_ran_dirichlet(rng, S.setup.J[l], params.data(), S.sp.p[k][l].data());
                continue;
            }
            DirichletLogDraw(rng, S.setup.J[l], params.data(), S.logp[k][l].data());
            for (int j = 0; j < S.setup.J[l]; ++j)
                S.sp.p[k][l][j] = std::exp(S.logp[k][l][j]);
        }
    }
    for (int k = 0; !correlated && k < S.K; ++k)
        for (int l = loci.first; l < loci.last; ++l)
            for (int j = 0; j < S.setup.J[l]; ++j) {
                const double v = S.sp.p[k][l][j];
                if (!(v > 0.0))
                    PrintMessageOnce("warning: N_LIMIT used for logp");
                S.logp[k][l][j] = SafeLog(v);
            }
    RaiseFrequencies(S, loci);
}

}  // namespace

// S2
void DrawRecessiveGenotypes(SAdmSampler& S) {
    if (!S.opt.isRecAllele)
        return;
    ForLocusBlocks(S, [&](SAdmBlock& block, SBlockRange loci) {
        DrawRecessiveGenotypes(S, block.rng(), loci);
    });
}

// S3: counts in one pass over the genotypes.
void CountAlleles(SAdmSampler& S) {
    ForLocusBlocks(S, [&](SAdmBlock&, SBlockRange loci) { CountAlleles(S, loci); });
}

void UpdateAlleleFrequencies(SAdmSampler& S) {
    ForLocusBlocks(S, [&](SAdmBlock& block, SBlockRange loci) {
        DrawAlleleFrequencies(S, block.rng(), loci);
    });
}

void RaiseFrequencies(SAdmSampler& S) {
    RaiseFrequencies(S, {0, S.L});
}

// S7, S8. q[i] and logq[i] come from the logarithms of the gamma variables:
// a proportion far below the smallest double keeps its true logarithm (a
// few thousand below 0 where its Dirichlet parameter is tiny), which the
// field step reads, and q[i][k] = exp(logq[i][k]) is then 0.
void DrawProportions(SAdmSampler& S) {
    ForIndividualBlocks(S, [&](SAdmBlock& block, SBlockRange ind) {
        for (int i = ind.first; i < ind.last; ++i) {
            for (int k = 0; k < S.K; ++k)
                block.dpq[k] = S.m[i][k] + S.sp.alpha[i][k];
            DirichletLogDraw(block.rng(), S.K, block.dpq.data(), S.logq[i].data());
            for (int k = 0; k < S.K; ++k)
                S.sp.q[i][k] = std::exp(S.logq[i][k]);
        }
    });
}

// S6
void CountLabels(SAdmSampler& S) {
    ForIndividualBlocks(S, [&](SAdmBlock&, SBlockRange ind) {
        for (int i = ind.first; i < ind.last; ++i) {
            INT_VCTR_1D& mi = S.m[i];
            std::fill(mi.begin(), mi.end(), 0);
            for (int a = 0; a < S.A; ++a) {
                const CCopyLabels::CConstRow z = S.sp.zadMix[i][a];
                for (int l = 0; l < S.L; ++l)
                    ++mi[z[l]];
            }
        }
    });
}

// S6, S7, S8
void UpdateAdmixtureProportions(SAdmSampler& S) {
    CountLabels(S);
    DrawProportions(S);
}

void ComputeResiduals(SAdmSampler& S) {
    for (int k = 0; k < S.K; ++k)
        for (int i = 0; i < S.N; ++i)
            S.E[k][i] = S.sp.CAR[k][i] - S.Pred[i][k];
}

// S9a, S9b. Proposing from the prior full conditional leaves only the
// Dirichlet likelihood of q[i] in the ratio; its normaliser lnGamma(sum of
// alpha) follows every accepted value of the individual. Everything is
// computed from the logarithms, so that a field far below 0 (alpha below the
// smallest double, log q at -infinity) neither stops the run nor poisons
// the ratio.
void UpdateSpatialField(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    ComputeResiduals(S);
    double* c = S.fieldWork.data();
    for (int ii = 0; ii < S.N; ++ii) {
        const int i = S.shuffledInd[ii];
        for (int k = 0; k < S.K; ++k)
            c[k] = sp.CAR[k][i];
        double lgSum = LogGammaOfExp(LogSumExp(c, S.K));
        for (int kk = 0; kk < S.K; ++kk) {
            const int k = S.shuffledClust[kk];
            const double mean =
                S.Pred[i][k] + sp.psi[k] * NeighbourSum(S.prior, S.NS, i, S.E[k].data());
            const double CAR_n = mean + gsl_ran_gaussian(S.rng, std::sqrt(sp.sigma[k]));
            const double old = c[k];
            const double eOld = std::exp(old), eNew = std::exp(CAR_n);
            c[k] = CAR_n;
            const double lgSum_n = LogGammaOfExp(LogSumExp(c, S.K));
            const double qTerm = eNew == eOld ? 0.0 : (eNew - eOld) * S.logq[i][k];
            const double lnAPu =
                LogGammaOfExp(old) - LogGammaOfExp(CAR_n) + qTerm + lgSum_n - lgSum;
            const double u = gsl_rng_uniform(S.rng);
            const bool accepted = std::exp(lnAPu) > u;
            S.chain.fieldAcceptance[k].Count(accepted);
            if (accepted) {
                sp.CAR[k][i] = CAR_n;
                S.E[k][i] = CAR_n - S.Pred[i][k];
                // The next cluster of this individual sees the new sum.
                lgSum = lgSum_n;
            } else {
                c[k] = old;
            }
        }
    }
    for (int i = 0; i < S.N; ++i)
        for (int k = 0; k < S.K; ++k)
            sp.alpha[i][k] = std::exp(sp.CAR[k][i]);
}

// S9c, S9d
void UpdateCoefficients(SAdmSampler& S) {
    CSweepParams& sp = S.sp;
    for (int k = 0; k < S.K; ++k)
        for (int b = 0; b < S.bl; ++b) {
            const DBL_VCTR_1D& row = S.prior.Vinv_M[k][b];
            double v = 0.0;
            for (int i = 0; i < S.N; ++i)
                v += row[i] * sp.CAR[k][i];
            S.beta_mean[k][b] = v;
        }
    for (int k = 0; k < S.K; ++k) {
        if (sp.sigma[k] > 0)
            MultivariateGauss(S.beta_mean[k], S.prior.Var_beta_chol[k], sp.beta[k], S.rng);
        else
            sp.beta[k] = S.beta_mean[k];
    }
    UpdatePred(S);
}

void ComputeResidualForms(SAdmSampler& S) {
    ComputeResiduals(S);
    for (int k = 0; k < S.K; ++k) {
        const double* e = S.E[k].data();
        double ee = 0.0, eWe = 0.0;
        for (int i = 0; i < S.N; ++i) {
            ee += e[i] * e[i];
            eWe += e[i] * NeighbourSum(S.prior, S.NS, i, e);
        }
        S.ee[k] = ee;
        S.eWe[k] = eWe;
    }
}

// S9e
void UpdateVariances(SAdmSampler& S) {
    if (!S.opt.updateSigma)
        return;
    for (int kk = 0; kk < S.K; ++kk) {
        const int k = S.shuffledClust[kk];
        const double dSum = S.ee[k] - S.sp.psi[k] * S.eWe[k];
        const double shape = S.opt.sigmaShape + S.N * 0.5;
        const double rate = S.opt.sigmaScale + 0.5 * dSum;
        const double g = gsl_ran_gamma(S.rng, shape, 1.0 / rate);
        S.sp.sigma[k] = 1.0 / g;
        RefreshSigma(S.prior, k, S.sp.sigma[k]);
    }
}

// S9f
void UpdateInteractionParameters(SAdmSampler& S) {
    if (!S.opt.updatePsi)
        return;
    const double upper = 1.0 / S.prior.largestEigenvalue;
    for (int k = 0; k < S.K; ++k) {
        const double psi = S.sp.psi[k];
        const double psi_n = psi + gsl_ran_gaussian(S.rng, 0.05);
        if (!(psi_n >= 0.0 && psi_n < upper)) {
            S.chain.psiAcceptance[k].Count(false);
            continue;
        }
        // 0.5 sum_i log(1 - psi_n lambda_i) - log(1 - psi lambda_i)
        double lnAPpsi = 0.5 * S.prior.logDet.Ratio(psi_n, psi);
        // The CAR log-density holds +psi e'We / (2 sigma).
        lnAPpsi += (psi_n - psi) * S.eWe[k] * (0.5 / S.sp.sigma[k]);
        const double u = gsl_rng_uniform(S.rng);
        const bool accepted = std::exp(lnAPpsi) > u;
        S.chain.psiAcceptance[k].Count(accepted);
        if (accepted) {
            S.sp.psi[k] = psi_n;
            RefreshRegressionMatrices(S.prior, k, psi_n, S.sp.sigma[k]);
        }
    }
}

// S10, S11
void UpdateCopyLabels(SAdmSampler& S) {
    const DBL_VCTR_3D& p = S.LikelihoodFrequencies();
    ForIndividualBlocks(S, [&](SAdmBlock& block, SBlockRange ind) {
        for (int i = ind.first; i < ind.last; ++i)
            for (int aa = 0; aa < S.A; ++aa) {
                const int a = S.shuffledPloidy[aa];
                for (int ll = 0; ll < S.L; ++ll) {
                    const int l = S.shuffledLoc[ll];
                    S.sp.zadMix[i][a][l] = DrawCopyLabel(block.rng(), S.sp.q[i], p, l,
                                                         S.Idx(i, a, l), block.labelWork);
                }
            }
    });
}

// S12: the sum of each block of individuals, the blocks added in order.
double LogLikelihood(SAdmSampler& S) {
    ForIndividualBlocks(S, [&](SAdmBlock& block, SBlockRange ind) {
        double lh = 0.0;
        for (int i = ind.first; i < ind.last; ++i)
            for (int a = 0; a < S.A; ++a)
                for (int l = 0; l < S.L; ++l) {
                    const int j = S.Idx(i, a, l);
                    if (j >= 0)
                        lh += S.logp[S.sp.zadMix[i][a][l]][l][j];
                }
        block.sum = lh;
    });
    double lh = 0.0;
    for (const SAdmBlock& block : S.individualDraws)
        lh += block.sum;
    return lh;
}

namespace {

// The coefficients, variances and interaction parameters of sweep s, in
// the sweeps that update them.
void RecordSpatialTraces(SAdmSampler& S, int s) {
    SAdmChain& c = S.chain;
    for (int k = 0; k < S.K; ++k) {
        for (int b = 0; b < S.bl; ++b)
            c.BH[k][b][s] = S.sp.beta[k][b];
        c.sigmaH[k][s] = S.sp.sigma[k];
        c.psiH[k][s] = S.sp.psi[k];
    }
}

// S9, skipped in the sweeps of the structure burn-in (-bs). With -joint the
// field step reads the label counts with the proportions integrated out and
// the joint moves follow, the whole block kSpatialPassesGivenLabels times;
// q is drawn after the labels' step.
void UpdateSpatialBlock(SAdmSampler& S, int s) {
    if (s <= S.opt.burnStruct)
        return;
    const int passes = S.opt.jointMoves ? kSpatialPassesGivenLabels : 1;
    for (int r = 0; r < passes; ++r) {
        if (S.opt.jointMoves)
            UpdateSpatialFieldGivenLabels(S);
        else
            UpdateSpatialField(S);
        UpdateCoefficients(S);
        if (S.opt.updateSigma || S.opt.updatePsi) {
            ComputeResidualForms(S);
            UpdateVariances(S);
            UpdateInteractionParameters(S);
        }
        if (S.opt.jointMoves)
            MoveFieldsJointly(S, s < S.opt.BurnIn);
    }
    RecordSpatialTraces(S, s);
}

// With -joint, after the structure burn-in, nothing reads q before the
// labels are drawn with q integrated out.
bool LabelsGivenField(const SAdmSampler& S, int s) {
    return S.opt.jointMoves && s > S.opt.burnStruct;
}

// S10, S11. With -joint, after the structure burn-in, the labels too are
// drawn with q integrated out; q is then drawn from its conditional.
void UpdateLabels(SAdmSampler& S, int s) {
    if (LabelsGivenField(S, s)) {
        UpdateCopyLabelsGivenField(S);
        DrawProportions(S);
    } else {
        UpdateCopyLabels(S);
    }
}

}  // namespace

void RunSweep(SAdmSampler& S, int s) {
    ShuffleVisitingOrders(S);
    DrawRecessiveGenotypes(S);
    CountAlleles(S);
    UpdateAlleleFrequencies(S);
    UpdateFrequencyPrior(S, s < S.opt.BurnIn);
    if (S.opt.proportionMoves)
        MoveProportionsWithLabels(S, s < S.opt.BurnIn);
    CountLabels(S);
    if (!LabelsGivenField(S, s))
        DrawProportions(S);
    UpdateSpatialBlock(S, s);
    UpdateLabels(S, s);
    S.chain.LH[s] = LogLikelihood(S);
}

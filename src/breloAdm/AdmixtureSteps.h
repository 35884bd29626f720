// The steps of one sweep of the admixture sampler and the state they share.
// RunSweep calls them in the order of the model; each can also be driven on
// its own (the step checks do), given a sampler whose state SizeSamplerState
// has sized.
#ifndef BRELO_BRELOADM_ADMIXTURESTEPS_H
#define BRELO_BRELOADM_ADMIXTURESTEPS_H

#include <gsl/gsl_rng.h>

#include <vector>

#include "breloAdm/AdmixtureSampler.h"
#include "breloAdm/BreloAdmOptions.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "core/SweepBlocks.h"
#include "core/VectorUtilities.h"

// The label-count log-likelihood of every individual by terms (see
// AdmixtureJointMoves): term N x K (row i: the K clusters), whole N.
struct SLabelTerms {
    DBL_VCTR_1D term;
    DBL_VCTR_1D whole;
};

// Passes over the spatial block in each sweep of the joint route: given the
// labels it is cheap (O(N K) a pass against O(N A L K) for the labels), and
// its coefficients and variances mix slower than the labels.
constexpr int kSpatialPassesGivenLabels = 3;

// Scale moves of each residual field in one pass of the joint moves: they
// are cheap beside the field step and the variances mix slowest.
constexpr int kScaleMovesPerPass = 3;

// Step sizes and work arrays of the joint moves (-joint).
struct SJointMoveState {
    DBL_VCTR_1D trendStep;      // K, factor of the trend shift proposals
    DBL_VCTR_1D scaleStep;      // K, standard deviation of log s in the scale move
    double levelStep = 0.1;     // standard deviation of the level shift
    double commonStep = 1.0;    // factor of the common trend shift proposals
    DBL_VCTR_2D trendShape;     // bl x bl, lower factor of N (Xtild'Xtild)^-1
    bool hasIntercept = false;  // the design's first column is all ones
    DBL_VCTR_1D logAlpha;       // K
    DBL_VCTR_1D shift;          // N
    DBL_VCTR_1D normal, delta;  // bl
    DBL_VCTR_1D betaProposed;   // bl
    // The terms of the current fields and of a proposal.
    SLabelTerms terms, proposal;
};

// Loci in a block of the per-locus steps (a multiple of the 32 loci of a
// packed genotype word).
constexpr int kLociPerBlock = 256;
// Copies a block of the per-individual steps holds at least. Its
// individuals are a multiple of 8, so that two blocks never share a byte of
// labels stored at a few bits each.
constexpr int kCopiesPerBlock = 1024;
constexpr int kIndividualsPerBlockStep = 8;

// What one block of a sweep's per-locus or per-individual steps owns: its
// generator stream, the work arrays of its draws and its share of the step
// counts and sums, which the step adds up in block order.
struct SAdmBlock {
    CRandomStream stream;
    DBL_VCTR_1D labelWork;  // K, the weights of one copy's labels
    DBL_VCTR_1D dpq;        // K, Dirichlet parameters of one individual
    DBL_VCTR_1D proposedQ;  // K
    CAcceptanceCounter proportionAcceptance;
    double sum = 0.0;

    gsl_rng* rng() { return stream.get(); }
};

// Everything one chain reads and the work arrays it reuses, sized once.
struct SAdmSampler {
    const SAdmOptions& opt;
    SAdmSetup& setup;
    CSpatialPrior& prior;
    gsl_rng* rng;
    SAdmChain& chain;
    CSweepParams& sp;

    int N, A, L, K, bl;
    CGenotypeStore& X;  // the recessive step rewrites its copies
    const INT_VCTR_2D& NS;

    INT_VCTR_3D n;     // K x L x J[l] allele counts
    INT_VCTR_2D m;     // N x K label counts
    DBL_VCTR_3D logp;  // K x L x J[l]
    DBL_VCTR_2D logq;  // N x K
    DBL_VCTR_2D Pred;  // N x K, trend part of CAR
    DBL_VCTR_2D E;     // K x N, CAR[k][j] - Pred[j][k]
    DBL_VCTR_1D ee;    // K, e'e of each cluster's residual field
    DBL_VCTR_1D eWe;   // K, e'We
    DBL_VCTR_2D DirParams;
    DBL_VCTR_1D dpq;
    DBL_VCTR_1D fieldWork;  // K, log alpha of one individual
    DBL_VCTR_1D QPredict;   // K
    DBL_VCTR_1D dpqPredict;
    DBL_VCTR_2D beta_mean;  // K x bl
    INT_VCTR_1D shuffledInd, shuffledClust, shuffledLoc, shuffledPloidy;
    SJointMoveState moves;
    DBL_VCTR_1D proportionStep;  // N, step of each individual's proportion move
    // Step sizes of the correlated frequency model's moves (-anc1).
    double ancestralStep = 0.05;  // standard deviation of an ancestral shift
    DBL_VCTR_1D driftStep;        // K, of the drift's logit

    // The per-locus steps (counts, frequencies, recessive genotypes) run in
    // blocks of loci and the per-individual ones (labels, proportions, their
    // counts and the log-likelihood) in blocks of individuals, on the run's
    // threads (pool; null: the caller's alone). Each block draws from the
    // stream of its index in this replica, so the sweep makes the same
    // draws on any number of threads. Given the rest of the state the draws
    // of distinct loci, or of distinct individuals, are independent, so
    // their order is free: each block visits its own in index order.
    CThreadPool* pool = nullptr;
    int replica = 0;
    CBlockRanges locusBlocks, individualBlocks;
    std::vector<SAdmBlock> locusDraws, individualDraws;

    // Power of the genotype likelihood the sweeps target: 1 for the
    // posterior; below 1 on the hotter rungs of a replica exchange, where
    // the frequencies' draw weighs the allele counts by it and the draws of
    // labels and genotypes read pPower, p to that power, in place of p.
    double power = 1.0;
    DBL_VCTR_3D pPower;  // K x L x J[l]

    SAdmSampler(const SAdmOptions& o, SAdmSetup& s, CSpatialPrior& pr, gsl_rng* r, SAdmChain& c);
    // The same with genotypes of its own (a replica's, with recessive
    // alleles).
    SAdmSampler(const SAdmOptions& o, SAdmSetup& s, CSpatialPrior& pr, gsl_rng* r, SAdmChain& c,
                CGenotypeStore& genotypes);

    // Allele index of a copy, CGenotypeStore::kMissing when missing.
    int Idx(int i, int a, int l) const { return X.Index(i, a, l); }
    // The frequencies the genotype likelihood is made of at the sampler's
    // power: p itself, or p^power.
    const DBL_VCTR_3D& LikelihoodFrequencies() const { return power == 1.0 ? sp.p : pPower; }
};

// body(block, range) over the blocks of loci, or of individuals, of S.
template <class Body>
void ForLocusBlocks(SAdmSampler& S, const Body& body) {
    ForEachBlock(S.pool, S.locusBlocks, [&](int b, SBlockRange r) { body(S.locusDraws[b], r); });
}
template <class Body>
void ForIndividualBlocks(SAdmSampler& S, const Body& body) {
    ForEachBlock(S.pool, S.individualBlocks,
                 [&](int b, SBlockRange r) { body(S.individualDraws[b], r); });
}

// Individuals in a block of the per-individual steps, given the copies of
// one individual.
int IndividualsPerBlock(int copiesPerIndividual);

// Sizes the sweep state, the work arrays and the acceptance counters, with
// sigma at -x, frequencies and proportions at 0, the visiting orders at the
// identity; the blocks and their streams (of S.replica, from the run's
// seed).
void SizeSamplerState(SAdmSampler& S);

// Pred = Xtild beta'.
void UpdatePred(SAdmSampler& S);

// S1: fresh visiting orders, with -sy only.
void ShuffleVisitingOrders(SAdmSampler& S);
// S2: with recessive alleles, the genotype behind each dominant phenotype
// given the labels of its two copies; loci without a recessive allele (a
// negative code) are left as observed.
void DrawRecessiveGenotypes(SAdmSampler& S);
// S3 to S5: allele counts, p[k][l] ~ Dirichlet(prior parameters + power
// counts), logp (and pPower below power 1).
void CountAlleles(SAdmSampler& S);
void UpdateAlleleFrequencies(SAdmSampler& S);
// pPower = p^power (nothing at power 1, where p itself is read).
void RaiseFrequencies(SAdmSampler& S);
// The Dirichlet parameter of allele j at locus l in cluster k's frequency
// prior: lambda, or with -anc1 ancestral[l][j] (1 - drift[k]) / drift[k].
double FrequencyPriorParameter(const SAdmSampler& S, int k, int l, int j);
// The correlated frequency model (-anc1, see AncestralFrequencies): its
// starting state (the ancestral frequencies from the clusters' frequencies,
// each drift at its prior mean), step sizes and counters; then, given the
// clusters' frequencies, a Metropolis pass over the ancestral frequencies of
// every locus and over each cluster's drift. With adapting (the burn-in) the
// step sizes move towards an acceptance of 0.3.
void SizeFrequencyPrior(SAdmSampler& S);
void StartFrequencyPrior(SAdmSampler& S);
void UpdateAncestralFrequencies(SAdmSampler& S, bool adapting);
void UpdateDrifts(SAdmSampler& S, bool adapting);
void UpdateFrequencyPrior(SAdmSampler& S, bool adapting);
// S6: the label counts m.
void CountLabels(SAdmSampler& S);
// S6 to S8: label counts, q[i] ~ Dirichlet(counts + alpha[i]), logq.
void UpdateAdmixtureProportions(SAdmSampler& S);
// S7, S8 alone, from the label counts m: q[i] ~ Dirichlet(m[i] + alpha[i])
// drawn on the log scale, logq its exact logarithm (never floored).
void DrawProportions(SAdmSampler& S);
// S9a, S9b: one Metropolis-Hastings proposal per field value CAR[k][i],
// drawn from its prior full conditional; then alpha = exp(CAR).
void UpdateSpatialField(SAdmSampler& S);
// The residual fields E = CAR - Pred.
void ComputeResiduals(SAdmSampler& S);

// The joint moves (-joint), with the proportions integrated out: they read
// the label counts m, and leave q stale until DrawProportions.
// log of alpha (alpha + 1) ... (alpha + m - 1), alpha = exp(logAlpha),
// accurate for any alpha.
double LogRising(double logAlpha, int m);
// log of the Dirichlet-multinomial probability of the label counts m[i]
// when the Dirichlet parameters of individual i are exp(logAlpha[0..K-1]),
// up to the multinomial coefficient.
double LabelLogLikelihood(const SAdmSampler& S, int i, const double* logAlpha);
// Sizes the step sizes, their acceptance counters and work arrays.
void SizeJointMoves(SAdmSampler& S);
// S9a, S9b with q integrated out: one Metropolis-Hastings proposal per field
// value CAR[k][i], from its prior full conditional, accepted on the
// label-count likelihood; then alpha = exp(CAR).
void UpdateSpatialFieldGivenLabels(SAdmSampler& S);
// For each cluster: beta[k] += delta and CAR[k] += Xtild delta together (the
// residual field unchanged), delta a Gaussian of shape N (Xtild'Xtild)^-1;
// Pred and alpha follow.
void ShiftTrends(SAdmSampler& S, bool adapting);
// The intercepts and fields of all clusters shifted by one common d (K >= 2,
// a design whose first column is the intercept).
void ShiftLevel(SAdmSampler& S, bool adapting);
// The coefficients of all clusters shifted by one common delta, a Gaussian
// of shape N (Xtild'Xtild)^-1, and their fields by Xtild delta (K >= 2): the
// Dirichlet parameters of each individual scaled alike, varying over space.
void ShiftCommonTrend(SAdmSampler& S, bool adapting);
// For each cluster, with -uy: the residual field times s and sigma times
// s^2, log s Gaussian.
void ScaleFields(SAdmSampler& S, bool adapting);
// The moves above in turn, the scale moves kScaleMovesPerPass times. With
// adapting (the burn-in) each step size moves towards an acceptance rate of
// 0.3; fixed afterwards.
void MoveFieldsJointly(SAdmSampler& S, bool adapting);
// The move of each individual's proportions q[i] with its copies' labels
// redrawn together (-qmove1, see ProportionMoves): a Metropolis step on q[i]
// given p and alpha with the labels summed out, then, when q[i] moved, every
// label of i from its law given q[i]. q and the labels stay a draw of their
// joint law; the label counts m are stale afterwards. With adapting (the
// burn-in) each individual's step moves towards an acceptance of 0.3.
void SizeProportionMoves(SAdmSampler& S);
void MoveProportionsWithLabels(SAdmSampler& S, bool adapting);
// S10, S11 with q integrated out: each copy's label given the other labels
// of its individual, the field and the allele frequencies (Polya urn);
// the label counts m follow.
void UpdateCopyLabelsGivenField(SAdmSampler& S);

// S9c, S9d: beta[k] ~ N(Vinv_M[k] CAR[k], sigma[k] Vinv[k]); then Pred.
void UpdateCoefficients(SAdmSampler& S);
// The residual fields E = CAR - Pred and their forms ee and eWe, which the
// variance and interaction steps read.
void ComputeResidualForms(SAdmSampler& S);
// S9e: sigma[k] ~ inverse gamma(shape + N/2, scale + e'(I - psi W)e / 2).
void UpdateVariances(SAdmSampler& S);
// S9f: random walk on psi[k] inside [0, 1/largest eigenvalue).
void UpdateInteractionParameters(SAdmSampler& S);
// S10, S11: the label of every copy from q[i][k] p[k][l][j] (p^power).
void UpdateCopyLabels(SAdmSampler& S);
// S12: log-likelihood of the labelled data.
double LogLikelihood(SAdmSampler& S);

// One whole sweep s, S1 to S12 (LH[s] and the traces included).
void RunSweep(SAdmSampler& S, int s);

#endif

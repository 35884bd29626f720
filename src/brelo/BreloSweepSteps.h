// The named steps of one sweep of the brelo sampler, one by one, for callers
// that drive a chain step by step (the sweep itself, and the checks of each
// step against the distribution it must leave invariant). Each step reads
// the run's part of the chain and writes one replica; wherever a genotype
// likelihood enters a step, it enters raised to the replica's power.
#ifndef BRELO_BRELO_BRELOSWEEPSTEPS_H
#define BRELO_BRELO_BRELOSWEEPSTEPS_H

#include <gsl/gsl_rng.h>

#include "brelo/BreloSampler.h"

// (Xtild'Xtild)^-1, its Cholesky factor and (Xtild'Xtild)^-1 Xtild'.
void SetUpRegression(SBreloChain& chain);

// n: the allele counts of the individuals labelled k, for every k.
void CountAlleles(const SBreloChain& chain, SBreloReplica& replica);
// p[k][l] ~ Dirichlet(lambda + power * n[k][l]).
void DrawAlleleFrequencies(const SBreloChain& chain, SBreloReplica& replica, gsl_rng*& rng);
// Both, in this order.
void UpdateAlleleFrequencies(const SBreloChain& chain, SBreloReplica& replica, gsl_rng*& rng);
// logp from p (-707 for a zero frequency), and with packed genotypes the
// genotype log-likelihoods.
void UpdateLogFrequencies(const SBreloChain& chain, SBreloReplica& replica);
void UpdateGenotypeLogs(const SBreloChain& chain, SBreloReplica& replica);
// logpr[i][k], maxlogPr[i] and sumlogPr[i] from logp.
void UpdateGenotypeLikelihoods(const SBreloChain& chain, SBreloReplica& replica);

// Structure sweeps: the label of i under a uniform prior over the K
// clusters, by a Metropolis step with a uniform proposal, ...
void UpdateLabelByMetropolis(const SBreloChain& chain, SBreloReplica& replica, int i,
                             gsl_rng*& rng);
// ... or drawn from its full conditional over all K clusters (-zg).
void UpdateLabelByGibbs(const SBreloChain& chain, SBreloReplica& replica, int i, gsl_rng*& rng);
// Structure sweeps (-zg): two clusters drawn at random give the free
// individuals of their union a new split, proposed by sequential allocation
// in a random order (each one to either cluster in proportion to its
// genotypes' predictive probability given those already placed, the
// frequencies integrated out) and accepted by the Metropolis-Hastings rule.
// The frequencies are stale afterwards: the next step draws them. True when
// the proposal was accepted. Exact at any power; a run makes it only on the
// rung at power 1.
bool ReallocateTwoClusters(const SBreloChain& chain, SBreloReplica& replica, gsl_rng*& rng);

// Structure sweeps: the utilities of i given its label, one Gibbs pass over
// the K-1 truncated normal conditionals. False (message printed) when a draw
// is not finite or lands on the wrong side of its bound.
bool UpdateUtilities(const SBreloChain& chain, SBreloReplica& replica, int i, int s, gsl_rng*& rng);

// Regression sweeps: label and utilities of i together, by accept-reject from
// the probit prior on the genotype likelihood; after PROPOSAL_MAX proposals
// the label is drawn from the genotype likelihood alone. False when the run
// must be abandoned.
bool UpdateLabelByProbit(const SBreloChain& chain, SBreloReplica& replica, int i, gsl_rng*& rng);

// Pred = Xtild beta'.
void UpdatePredictors(const SBreloChain& chain, SBreloReplica& replica);
// beta_k ~ N((Xtild'Xtild)^-1 Xtild' w_k, (Xtild'Xtild)^-1) for every k.
void UpdateCoefficients(const SBreloChain& chain, SBreloReplica& replica, gsl_rng*& rng);

// One class from the probit with linear predictors pred[0..R-1]: the
// reference class R at utility 0, the strictly largest utility wins. The
// utilities are written into w when it is not null.
int DrawProbitClass(const double* pred, double* w, int R, gsl_rng*& rng);

#endif

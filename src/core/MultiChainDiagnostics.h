// Whether several chains of one posterior agree, from their traces of one
// quantity (the log-likelihood, say): the rank-normalised split-R-hat and the
// bulk effective sample size of Vehtari, Gelman, Simpson, Carpenter and
// Buerkner (2021, Bayesian Analysis 16: 667-718). Each chain is cut in two
// halves, so that a chain that drifts disagrees with itself; the draws of all
// chains are replaced by the normal scores of their ranks, so that heavy
// tails do not hide a disagreement.
#ifndef BRELO_CORE_MULTICHAINDIAGNOSTICS_H
#define BRELO_CORE_MULTICHAINDIAGNOSTICS_H

#include <vector>

// Normal scores of the ranks of all values of chains together: value of
// rank r (ties share their mean rank) of S becomes the standard normal
// quantile of (r - 3/8) / (S + 1/4). Same shape as chains.
std::vector<std::vector<double>> RankNormalize(const std::vector<std::vector<double>>& chains);

// The chains cut to the length of the shortest, then each split into its
// first and last halves (the middle value of an odd length dropped).
std::vector<std::vector<double>> SplitChains(const std::vector<std::vector<double>>& chains);

// The classic potential scale reduction of chains of equal length:
// sqrt(((n - 1) / n W + B / n) / W); NaN for fewer than two chains, fewer
// than two values each, or no variation within chains.
double PotentialScaleReduction(const std::vector<std::vector<double>>& chains);

// Rank-normalised split-R-hat: the larger of the value on the rank-normalised
// split chains (bulk) and on the rank-normalised distances to the median
// (tails). 1 for chains that agree; above 1.01 they had better run longer,
// above 1.05 they plainly disagree. NaN when undefined (fewer than 4 values a
// chain, or constant draws).
double SplitRhat(const std::vector<std::vector<double>>& chains);

// Bulk effective sample size: the number of independent draws the chains
// together are worth for the centre of the distribution, from the
// autocorrelations of the rank-normalised split chains combined across
// chains and summed by Geyer's initial monotone sequence. 0 when undefined.
double BulkEffectiveSampleSize(const std::vector<std::vector<double>>& chains);

#endif

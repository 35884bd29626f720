// What a study learns from its finished chains: for each K the spread of the
// chains' likelihoods and criteria, their modes and the major mode's mean
// memberships, Evanno's Delta K across K, and the K it points to.
#ifndef BRELO_STUDY_STUDYSUMMARY_H
#define BRELO_STUDY_STUDYSUMMARY_H

#include <string>
#include <vector>

#include "core/VectorUtilities.h"

enum class ChainStatus { Done, Failed, Unfinished };

struct SChainResult {
    int K = 0;
    int replicate = 0;
    unsigned long seed = 0;
    ChainStatus status = ChainStatus::Unfinished;
    std::string message;           // why the chain failed or is unfinished
    double DIC;                    // NaN when unknown
    double meanLogL;               // NaN when unknown
    double seconds;                // run time when recorded, else NaN
    DBL_VCTR_2D Q;                 // memberships of a finished chain
    std::vector<std::string> ids;  // individual ids, when the chain wrote them
    bool idsUnread = false;        // failed for want of readable ids
    int mode = -1;                 // 0 for the major mode, -1 for none
    double similarityToMode;       // to its mode's mean memberships
    DBL_VCTR_1D trace;             // log-likelihood of every sweep, burn-in included
    int burnIn = 0;                // sweeps of the trace before the kept ones
    // The chain's own diagnostics: whether it warned that it had not mixed,
    // and its worst parameter (lowest effective sample size, or frozen).
    bool warned = false;
    std::string worstParameter;
    double worstEss;  // NaN when unknown or frozen
    double heldOut;   // held-out log-likelihood per unit (-cv), NaN without
    // The chain that scored the held-out data (-cv): its state, and why it
    // failed or has not ended.
    ChainStatus heldOutStatus = ChainStatus::Unfinished;
    std::string heldOutMessage;
    SChainResult();
};

struct SKSummary {
    int K = 0;
    int chains = 0;  // finished chains
    int failed = 0;
    double meanLogL, sdLogL, meanDIC, bestDIC, deltaK;
    int modes = 0;
    int majorModeChains = 0;
    double majorModeSimilarity;
    int bestReplicate = -1;  // replicate of the lowest DIC, -1 for none
    // Agreement of the chains: rank-normalised split-R-hat and bulk effective
    // sample size of their kept log-likelihood traces, the share of the
    // chains in the major mode, the chains whose own diagnostics warned and
    // the worst parameter among them.
    double rhat, ess, majorModeShare;
    int warnedChains = 0;
    std::string worstParameter;
    double worstEss;
    bool disagree = false;  // R-hat above 1.05, or fewer than half the chains in the major mode
    bool notMixed = false;  // a chain warned
    // Held-out log-likelihood per unit over the chains (-cv): mean, sd, count.
    double meanHeldOut, sdHeldOut;
    int heldOutChains = 0;
    bool bestHeldOut = false;  // the K the held-out criterion points to
    DBL_VCTR_2D majorQ;        // major mode's mean memberships (clusters aligned across K)
    // The other modes, largest first: their mean memberships, each aligned
    // to the major mode (and across K with it), and their chains.
    std::vector<DBL_VCTR_2D> minorQ;
    std::vector<int> minorModeChains;
    bool chosen = false;
    SKSummary();
};

// Summary of the chains of one K (the held-out scores of its chains among
// them); sets the mode and the similarity of each
// finished chain. Chains in one mode are more similar than threshold.
SKSummary SummariseK(int K, std::vector<SChainResult>& chains, double threshold);

// Evanno's Delta K = |L(K+1) - 2 L(K) + L(K-1)| / sd L(K), with L the mean
// log-likelihood over chains; NaN where K - 1 or K + 1 is missing from the
// list, or where L or its standard deviation is unknown or zero. The list
// is in increasing K.
std::vector<double> EvannoDeltaK(const std::vector<int>& K, const std::vector<double>& meanLogL,
                                 const std::vector<double>& sdLogL);

// Reorders the clusters of each K's major mode (increasing K) so that they
// match the previous K's: a cluster keeps its number, and so its colour,
// from one K to the next.
void AlignAcrossK(std::vector<SKSummary>& summaries);

// The K's marks as one text: "chains disagree", "not mixed", both joined by
// "; ", or empty.
std::string MarkText(const SKSummary& s);

// Sets rhat, ess, warnedChains, worstParameter, disagree and notMixed of s
// from its chains' kept traces and diagnostics (after SummariseK).
void AssessAgreement(SKSummary& s, const std::vector<SChainResult>& chains);

// The R-hat above which chains are said to disagree.
constexpr double kRhatLimit = 1.05;

// Marks the K of the largest Delta K; returns that K, or 0 when Delta K is
// nowhere defined.
int ChooseK(std::vector<SKSummary>& summaries);

// Marks the K the held-out log-likelihood (-cv) points to: the smallest K
// whose mean comes within one standard error of the highest mean (the
// standard error of that mean over its chains); returns that K, or 0 when
// no K has a score.
int ChooseKByHeldOut(std::vector<SKSummary>& summaries);

#endif

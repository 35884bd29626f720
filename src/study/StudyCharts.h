// The study's two figures, each written as PNG and as SVG: the choice of K
// (mean log-likelihood with its spread, DIC, Delta K against K) and the bar
// plots of the major mode's memberships at each K.
#ifndef BRELO_STUDY_STUDYCHARTS_H
#define BRELO_STUDY_STUDYCHARTS_H

#include <string>
#include <vector>

#include "study/StudySummary.h"

class BaseChart;

// Writes chart, drawn once, as fileBase + ".png" with its PDF twin (as the
// program's -w asks) and ".svg", each under a temporary name renamed when
// complete; false with the reason in *error when one failed.
bool WriteChart(BaseChart& chart, const std::string& fileBase, std::string* error = nullptr);

// fileBase + ".png" and ".svg": panels against K (mean log-likelihood, DIC,
// Delta K, and the held-out log-likelihood when known), each K whose chains
// disagree or have not mixed marked across them. logLikOfChains holds, for
// each summary, the mean log-likelihoods of its chains, heldOutOfChains
// their held-out scores.
bool DrawKChoice(const std::string& fileBase, const std::vector<SKSummary>& summaries,
                 const std::vector<std::vector<double>>& logLikOfChains,
                 std::string* error = nullptr,
                 const std::vector<std::vector<double>>& heldOutOfChains = {});

// fileBase + ".png" and ".svg": the log-likelihood trace of every finished
// chain of one K overlaid, each chain in its colour, the end of the burn-in
// marked; the vertical range fits the kept sweeps (the burn-in's first
// sweeps, far below, are cut). True, writing nothing, when no chain has a
// trace.
bool DrawTraces(const std::string& fileBase, int K, const std::vector<SChainResult>& chains,
                std::string* error = nullptr);

// The order in which the bar plots show the individuals and the groups
// they fall in: groups in increasing number, within a group by main
// cluster at the last K, then by how much they belong to it.
struct SBarOrder {
    std::vector<int> order;          // individuals, in the order shown
    std::vector<std::string> names;  // names of the groups shown, in order
    std::vector<int> starts;         // first position of each group, then N
};
// groupOf[i] is the number of individual i's group, names[g] its name.
SBarOrder OrderForBars(const std::vector<int>& groupOf, const std::vector<std::string>& names,
                       const DBL_VCTR_2D& lastQ);

// fileBase + ".png" and ".svg": one stacked bar plot per K with a major
// mode; groupTitle names the grouping under the last plot.
bool DrawBarplots(const std::string& fileBase, const std::vector<SKSummary>& summaries,
                  const SBarOrder& bars, const std::string& groupTitle,
                  std::string* error = nullptr);

// fileBase + ".png" and ".svg": the bar plots of every mode of one K, the
// major mode first, clusters in the colours of the K's major mode. True,
// writing nothing, when the K has a single mode.
bool DrawModeBarplots(const std::string& fileBase, const SKSummary& s, const SBarOrder& bars,
                      const std::string& groupTitle, std::string* error = nullptr);

#endif

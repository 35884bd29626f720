// The study's tables, tab-separated with a header line, NA for unknown
// values, each loadable by R's read.table(header = TRUE).
#ifndef BRELO_STUDY_STUDYTABLES_H
#define BRELO_STUDY_STUDYTABLES_H

#include <ostream>
#include <string>
#include <vector>

#include "study/StudySummary.h"

// Each writer returns false when the stream failed.
// summary.tsv: one row per K.
bool WriteSummaryTable(std::ostream& out, const std::vector<SKSummary>& summaries);
// K<k>_Q.tsv: "id cluster1 ... clusterK", then one row per individual (ids
// quoted as the programs' plain tables quote them); with groups (one per
// individual) a column "group" after the id. False, writing nothing, unless
// there is one id per row of Q.
bool WriteMembershipTable(std::ostream& out, const DBL_VCTR_2D& Q,
                          const std::vector<std::string>& ids,
                          const std::vector<std::string>& groups = {});
// K<k>_chains.tsv: one row per chain of one K.
bool WriteChainTable(std::ostream& out, const std::vector<SChainResult>& chains);

#endif

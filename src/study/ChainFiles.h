// The result files of one chain, read through the programs' own layouts:
// memberships (the plain table "Q.txt" when the program writes it, else
// brelo's "AP.txt" or the first table of breloAdm's report "TR.txt"), the
// DIC and the mean log-likelihood of the kept sweeps; and the message of a
// chain that failed, from its log.
#ifndef BRELO_STUDY_CHAINFILES_H
#define BRELO_STUDY_CHAINFILES_H

#include <string>
#include <vector>

#include "core/VectorUtilities.h"
#include "study/StudySummary.h"

enum class StudyProgram { Brelo, BreloAdm };

enum class PlainTable { Read, Absent, Unreadable };

// Memberships of the plain table: a header "id cluster1 ... clusterK", then
// one row per individual, its id (quoted where needed, as the programs write
// their tables) and K values. Absent when there is no such file; Unreadable,
// with why, when it is not a whole table of K clusters.
PlainTable ReadPlainMemberships(const std::string& file, int K, DBL_VCTR_2D& Q,
                                std::vector<std::string>& ids, std::string& why);

// Memberships of the rows "000001:  q1 ... qK ..." of a report or AP table:
// the first block of such rows in the file. False when there is none or a
// row does not start with K memberships summing to 1.
bool ReadNumberedMemberships(const std::string& file, int K, DBL_VCTR_2D& Q);

enum class ChainRead { Read, NoMemberships, UnreadableTable };

// Fills Q, ids, DIC and meanLogL of a finished chain whose result files are
// named prefix + suffix: from the plain table Q.txt, or, for runs of versions
// without it, from the numbered rows of the AP (brelo) or TR (breloAdm)
// table, without ids. NoMemberships or UnreadableTable (a Q.txt that is not
// a whole table), with the reason in message, when they cannot be read.
ChainRead ReadChainResults(StudyProgram program, const std::string& prefix, int K,
                           SChainResult& chain, std::string& message);

// The log-likelihood of every sweep of a chain ("LHstock.txt": one number
// a line); empty when the file is absent or holds anything else.
DBL_VCTR_1D ReadTrace(const std::string& file);

// The chain's own verdict from the section "Run Diagnostics" of its report:
// sets warned and the worst flagged trace (worstParameter, worstEss, NaN
// for a frozen one). Leaves chain as it is without such a section.
void ReadRunDiagnostics(const std::string& report, SChainResult& chain);

// The run time a chain recorded in its run.txt (its column
// run_time_seconds, or a line of that key and the value), NaN when there is
// none.
double RecordedRunSeconds(const std::string& runTable);

// The cross-validation score of a -2fold run (the second field of the row of
// "_cvScore.txt": mean log-likelihood per held-out unit); NaN
// when the file is absent or the score unknown ("NA": a fold abandoned).
double ReadHeldOutScore(const std::string& scoreTable);

// The line of a log that tells why a run failed: the last line before the
// usage text when the log ends with it, else the last non-blank line.
std::string LastMessageOfLog(const std::string& logFile);

#endif

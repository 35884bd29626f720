// Runs the chains of a study as child processes of the program, at most
// `jobs` at once, each with its own GSL_RNG_SEED, its output in its folder's
// run.log, and a marker when it ends (done, or failed with its exit status).
// SIGINT and SIGTERM stop the children: the chains they cut short leave no
// marker and run again when the same command is given again. Each chain runs
// in its own process group, holds its chain's lock while it runs, and dies
// with breloStudy even when breloStudy is killed outright.
#ifndef BRELO_STUDY_CHAINRUNNER_H
#define BRELO_STUDY_CHAINRUNNER_H

#include <string>
#include <vector>

#include "study/StudyPlan.h"

struct SRunOutcome {
    int ran = 0;       // chains started by this call
    int finished = 0;  // of them, ended well
    int failed = 0;    // ended with an error
    int stopped = 0;   // cut short by a signal
    int busy = 0;      // not started: another process runs them
    int signal = 0;    // the signal that stopped the study, 0 when none
    double wallSeconds = 0;
    double chainSeconds = 0;  // sum of the run times of the chains that ended
};

// Runs the chains of plan that have no done marker; alreadyDone of the total
// ended in an earlier command. Prints one progress line, refreshed as chains
// end, and one line per failed chain with the last message of its log.
SRunOutcome RunChains(const std::vector<SChainPlan>& plan, int jobs);

// Runs one program run of the study (its folder made, its output in its
// run.log, its seed in GSL_RNG_SEED) and waits for its end: its exit status,
// or -1 when it could not start or a signal ended it (error says which).
int RunToEnd(const SChainPlan& run, std::string& error);

// The environment of a chain: this process's, with GSL_RNG_SEED set.
std::vector<std::string> ChainEnvironment(unsigned long seed);

#endif

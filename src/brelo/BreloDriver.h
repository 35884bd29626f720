// Entry of program brelo: echoes the command line, switches to prediction
// mode, checks the options, opens the criteria tables and calls the sampler
// once per run (one run, a 2-fold pair, or a series -g ... -h).
#ifndef BRELO_BRELO_BRELODRIVER_H
#define BRELO_BRELO_BRELODRIVER_H

#include <string>
#include <vector>

#include "io/ManipVector.h"

// Options of the first stage of the command line.
struct SDriverOptions {
    std::string F, FoO, run, FindexTraining;
    int K = 0, N = 0, L = 0;
    int test_inf = 1, test_sup = 1;
    bool bF = false, bN = false, bL = false, bg = false, bh = false, bFIT = false, b2fold = false;
};

// Stage-1 scan of argv[1..argc-1]. An option beginning with "-2" other than
// "-2fold" prints "Unknown Option - " + argument and the usage, exit 1.
SDriverOptions ScanDriverOptions(int argc, char** argv);

// Base name + "_allCriteria.txt" / "_cvScore.txt", with "_g<inf>h<sup>" for
// a series of runs.
std::string CriteriaTableName(const SDriverOptions& d);
std::string CvScoreTableName(const SDriverOptions& d);
// Header line of the criteria table (without line end).
std::string CriteriaHeader(int K);

// Refuses (one line, exit 1) training configurations that leave nothing to
// hold out: a configuration listing all M individuals or loci.
void CheckTrainingConfigs(const std::vector<CTrainingConfig>& configs, bool bValOnIndiv, int M);

// The whole program; returns its exit status.
int BreloMain(int argc, char** argv);

#endif

// Run summaries of program brelo: posterior estimates, model-choice
// criteria, every result file and chart of a completed run, and its row of
// the criteria table.
#ifndef BRELO_BRELO_BRELORESULTS_H
#define BRELO_BRELO_BRELORESULTS_H

#include <fstream>
#include <string>

#include "core/VectorUtilities.h"
#include "io/RunDiagnostics.h"

struct SBreloChain;
struct SBreloOptions;

// The criteria of the last completed run, read by the run driver.
class CRunCriteria {
  public:
    int KEst = 0;
    double dAL = 0, dAL_valid = 0, DIC = 0, DIC2 = 0;
    DBL_VCTR_1D dAIC, DICregr, DICregr2;
    double DIC2_tot = 0, BF = 0, LHmax = 0, cor = 0;
};

// Likelihood criteria over the kept sweeps (traces of the chain).
struct SLikelihoodCriteria {
    double LHmax = 0, dAL = 0, dAL_valid = 0, dAL_tot = 0, varLH = 0, varLH_tot = 0, BF = 0;
};
SLikelihoodCriteria ComputeLikelihoodCriteria(const DBL_VCTR_1D& LH, const DBL_VCTR_1D& LH_valid,
                                              int TotalSweep, int KeptSweep);

// Mean over the kept sweeps of each column of a per-sweep table, and the
// variance (mean of squares minus square of the mean).
void KeptColumnMeans(const DBL_VCTR_2D& perSweep, int TotalSweep, int KeptSweep, DBL_VCTR_1D& mean,
                     DBL_VCTR_1D& var);

// The acceptance rate of the label Metropolis step (structure sweeps) and
// the effective sample sizes of the log-likelihood and of each coefficient
// over the kept sweeps.
SRunDiagnostics DiagnoseChain(const SBreloChain& chain);

// Posterior estimates from the sums of the chain, every result file and
// chart under the prefix FOFN, the criteria in runCriteria and the row body
// in the criteria table. configName is the training configuration of a run
// with held-out data, empty otherwise. Returns the diagnostics that close
// the report.
SRunDiagnostics WriteRunResults(SBreloChain& chain, const SBreloOptions& opts,
                                const std::string& FOFN, std::ofstream& ofsCriteria,
                                CRunCriteria& runCriteria, const std::string& configName);

#endif

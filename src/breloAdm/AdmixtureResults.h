// Results of a breloAdm run: posterior means, hard assignments, predictive
// memberships, the three DIC variants, the result files and charts, and the
// best-run record with its continuation file.
#ifndef BRELO_BRELOADM_ADMIXTURERESULTS_H
#define BRELO_BRELOADM_ADMIXTURERESULTS_H

#include <string>

#include "breloAdm/AdmixtureSampler.h"
#include "breloAdm/BreloAdmOptions.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "io/RunDiagnostics.h"

struct SAdmEstimates {
    CSweepParams mean;                  // posterior means of beta, sigma, alpha, q, p, psi
    DBL_VCTR_2D cpAverage;              // N x K shares of the copies of i labelled k
    DBL_VCTR_2D nb_cluster_individual;  // N x K predictive shares
    DBL_VCTR_3D nClusterQualVar;        // predictive shares per covariate level
    CCopyLabels hcAdmix;                // most frequent label of each copy
    INT_VCTR_1D hc;                     // most probable cluster of each individual
    DBL_VCTR_1D pi;                     // mixing proportions
    double dAL = 0.0;                   // mean log-likelihood of the last tenth of the kept sweeps
    double pd = 0.0, pd2 = 0.0, pd3 = 0.0;
    double DIC = 0.0, DIC2 = 0.0, DIC3 = 0.0;
    SRunDiagnostics diagnostics;  // acceptance rates and effective sample sizes
};

// Turns the sums of the chain into estimates and criteria, and its traces
// into diagnostics (no file written).
void SummariseChain(const SAdmOptions& opt, const SAdmSetup& setup, const SAdmChain& chain,
                    SAdmEstimates& est);

// Writes every result file and chart of the run, in order, then updates the
// best-run record. prior gives the largest eigenvalue (psi on the -P scale).
// The diagnostics close the report and are printed.
void WriteAdmResults(const SAdmOptions& opt, const SAdmSetup& setup, const CSpatialPrior& prior,
                     const SAdmChain& chain, const SAdmEstimates& est);

// Keeps the best-run record and its continuation file of this K (FAFN
// prefix, see BestRunRecord) for the run of lowest DIC: both are replaced
// when there is no readable record for K or its DIC is higher than this
// run's. True when they were replaced; a pair that cannot be written ends
// the run (exit 1).
bool UpdateBestRunRecord(const SAdmOptions& opt, const SAdmEstimates& est);

#endif

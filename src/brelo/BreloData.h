// The data of one brelo run: the data file loaded in one call, then, for
// validation, split into the training part (the main arrays) and the
// held-out part (the validation arrays) by a training configuration.
#ifndef BRELO_BRELO_BRELODATA_H
#define BRELO_BRELO_BRELODATA_H

#include <chrono>
#include <string>
#include <vector>

#include "brelo/BreloOptions.h"
#include "core/VectorUtilities.h"
#include "io/DataSet.h"
#include "io/GenotypeStore.h"
#include "io/ManipVector.h"

struct SBreloData {
    int N = 0;   // training individuals (all of them without validation on individuals)
    int A = 0;   // allele copies
    int L = 0;   // training loci (all of them without validation on loci)
    int NV = 0;  // held-out individuals (N with validation on loci)
    int LV = 0;  // held-out loci
    bool bFIT = false;
    bool bValOnIndiv = false;

    // Genotypes. X and XsameLoci are parts of the one data file, with its
    // allele lists at their loci; XnewLoci holds the lists of the other loci.
    CGenotypeStore X;              // N x A x L
    DBL_VCTR_2D Xtild;             // N rows, empty without covariates
    INT_VCTR_2D XQual;             // N x nbQualVar level indices
    INT_VCTR_2D LevelCount;        // individuals per level, over the N
    INT_VCTR_1D nQualLevels;       // levels of each qualitative covariate (whole file)
    INT_VCTR_1D isBase;            // N reference flags
    std::vector<std::string> ids;  // N ids of the training individuals
    INT_VCTR_1D popIndex;          // their population numbers (GENEPOP), else empty
    INT_VCTR_1D locusNumber;       // L numbers (from 1) in the data file of the training loci

    CGenotypeStore XsameLoci;      // NV x A x L: held-out individuals at the training loci
    CGenotypeStore XnewLoci;       // N x A x LV: every individual at the held-out loci
    DBL_VCTR_2D Xtild_valid;       // NV rows
    INT_VCTR_2D XQual_valid;       // NV x nbQualVar
    INT_VCTR_2D LevelCount_valid;  // individuals per level, over the NV
};

// The data file of an invocation, read once and lent to its runs: each run
// copies what it needs, and the run marked as the last use takes it.
struct SLoadedData {
    CDataSet set;
    bool lastUse = false;
    // When the reading began; the first run to use the data counts it in its
    // run time.
    std::chrono::system_clock::time_point readStart = std::chrono::system_clock::now();
    bool readingCounted = false;
    SGenotypeCounts Counts() const { return {set.X.N(), set.X.A(), set.X.L()}; }
};

// Reads the data file of the options into loaded: every reading error stops
// the program (one line, exit 1) before anything is written, and so does a
// number of sweeps whose traces would not fit in memory.
void LoadInvocationData(const SBreloOptions& opts, SLoadedData& loaded);

// The data of a run, taken from loaded (nullptr: the data file is read).
// With bFIT, keeps the 1-based indices of trainingConfig (individuals when
// bValOnIndiv, else loci) as the training part, in the order listed, and
// moves the others, in increasing order, to the validation arrays; prints
// the sizes of both sets. The file is read and coded as a whole, so both
// parts share the levels of the qualitative covariates and the allele lists.
void LoadBreloData(const SBreloOptions& opts, bool bFIT, bool bValOnIndiv,
                   const CTrainingConfig& trainingConfig, SBreloData& data,
                   SLoadedData* loaded = nullptr);

// Values a run keeps for every sweep: the coefficient trace ((K-1) x B),
// the log-likelihood, and the AIC and residual sum of squares of each
// cluster.
double TraceValuesPerSweep(int K, int beta_length);

// Individuals per level of each covariate among the rows of XQual.
INT_VCTR_2D CountLevels(const INT_VCTR_2D& XQual, const INT_VCTR_1D& nQualLevels);

// The 0-based indices of 0..M-1 that are not in the sorted 1-based list.
INT_VCTR_1D ComplementIndices(const INT_VCTR_1D& oneBased, int M);

#endif

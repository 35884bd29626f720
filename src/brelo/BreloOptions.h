// The model options of program brelo (the second stage of its command line),
// their checks, and the usage text.
#ifndef BRELO_BRELO_BRELOOPTIONS_H
#define BRELO_BRELO_BRELOOPTIONS_H

#include <string>

#include "io/InputFormat.h"

// Every option the sampler reads, with the defaults of the command line.
struct SBreloOptions {
    std::string F;    // data file name (-F)
    std::string FoI;  // input folder (-i)
    std::string FoO;  // output folder (-o)
    std::string run;  // run string (-orun)
    bool bRun = false;
    int N = 0, A = 0, L = 0, K = 0;  // -N -A -L -K
    double lambda = 0.0;             // -D
    int TotalSweep = 0;              // -S
    int BurnIn = 0;                  // -B
    int BurnInStructure = 0;         // -BS
    bool bBurnInStructure = false;
    int trendDegree = -1;        // -T
    int nbQuantVar = 0;          // -X
    int nbQualVar = 0;           // -XL
    int ER = 0, EC = 0;          // -r -c
    bool specialFormat = false;  // -spy
    bool isRecAllele = false;    // -rcy
    bool bbase = false;          // -ref
    int nb_var_regr = 2;         // -n
    int nd = 0;                  // -d
    SInputOptions input;         // -f -C
    bool kmeansStart = false;    // -jk: starting labels from k-means
    bool gibbsLabels = false;    // -zg: Gibbs label draws in structure sweeps
    int reallocations = -1;      // -zr: two-cluster reallocations per structure sweep (-1: default)
    int replicas = 1;            // -rx: replicas of the chain (replica exchange when above 1)
    int threads = 1;             // -t: threads running the replicas (0: all cores)
    // Which of the required options were given.
    bool bF = false, bN = false, bA = false, bL = false, bK = false, bD = false, bS = false,
         bB = false, bT = false;
};

// Largest number of two-cluster reallocations per sweep (-zr).
constexpr int kMaxReallocations = 10000;

// Prints the usage text of brelo on standard output.
void ShowUsage();

// Refuses arg in one line naming it as written and the nearest options of
// the usage (exit status 1).
[[noreturn]] void RefuseUnknownOption(const char* arg);

// Second stage of the command line: reads every option of argv into opts.
// Fatal (one line, exit 1): an unknown option (named with the nearest known
// ones), the required options that are missing (named), dominant markers
// with a ploidy other than 2, a trend degree outside -1..3, and every count
// that makes no sense (see CheckBreloCounts). With a format (-f), N, A and L are those of the data
// file: of known when given (a data set already loaded), else read from the
// file.
void ParseBreloOptions(int argc, char** argv, SBreloOptions& opts,
                       const SGenotypeCounts* known = nullptr);

// Refuses, with a one-line message and exit status 1, counts that make no
// sense: N, A, L, K or S below 1, B or BS negative, no kept sweep left
// (B + BS >= S), a Dirichlet parameter that is not a positive number, negative
// numbers of covariates, extra rows, extra columns or dummy records, and a
// number of trend coordinates outside 0..2, -jk with a single cluster, and
// numbers of replicas or threads out of range.
void CheckBreloCounts(const SBreloOptions& opts);

#endif

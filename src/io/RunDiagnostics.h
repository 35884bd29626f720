// How well a finished chain has mixed, reported alike by both programs: the
// acceptance rate of each Metropolis step and the effective sample size of
// each monitored trace over the kept sweeps, in the report file and on
// screen, and a one-line warning at the end of a run that has not mixed.
#ifndef BRELO_IO_RUNDIAGNOSTICS_H
#define BRELO_IO_RUNDIAGNOSTICS_H

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "core/Diagnostics.h"
#include "core/ReplicaExchange.h"
#include "io/ResultTables.h"

// Traces with fewer effective draws than this are flagged.
constexpr double kMinimumEffectiveSampleSize = 100.0;

struct SRunDiagnostics {
    struct SStep {
        std::string name;
        CAcceptanceCounter counter;
    };
    struct STrace {
        std::string name;
        size_t length = 0;
        double ess = 0.0;
        bool frozen = false;  // constant over the last half
        bool Flagged() const { return frozen || ess < kMinimumEffectiveSampleSize; }
    };
    std::vector<SStep> steps;
    std::vector<STrace> traces;
    // The trace charts the run writes, by the suffix of their files (LH.png,
    // BH.pdf...), for the warning to point to (none when it writes none).
    std::vector<std::string> charts;
};

// The acceptance counts of one Metropolis step; a step never proposed is
// left out.
void AddStepDiagnostic(SRunDiagnostics& d, const std::string& name, const CAcceptanceCounter& c);
// The effective sample size of x[0..n-1], the kept part of a trace, and
// whether it is constant over its last half. An empty trace is left out.
void AddTraceDiagnostic(SRunDiagnostics& d, const std::string& name, const double* x, size_t n);

// The swaps of each pair of neighbouring rungs of a replica exchange, as
// steps "swap of rungs j-j+1 (powers b_j, b_j+1)" (rungs from 1, the
// final powers of the ladder); nothing with a single replica.
void AddSwapDiagnostics(SRunDiagnostics& d, const CReplicaExchange& exchange);
// The rows of run.txt that record how the chain was run: "replicas",
// "threads", and with more than one replica "ladder_powers" (the final
// powers, rung by rung, separated by blanks) and "swap_rate_<j>_<j+1>" for
// each pair of neighbouring rungs (NA when never proposed).
void RecordExchange(SRunRecord& record, const CReplicaExchange& exchange, int threads);
// "Replica exchange: n replicas on t threads", on standard output.
void PrintReplicaExchange(int replicas, int threads);

// Writes the section "Run Diagnostics" (acceptance rates, then effective
// sample sizes, flagged ones marked) to the report and the same lines to
// standard output; the report file ends the section with the convergence
// warning, which the screen gets once from WarnIfNotConverged.
void ReportRunDiagnostics(std::ostream& report, const SRunDiagnostics& d);

// "Warning: ..." naming every flagged trace with its reason, suggesting
// more sweeps and pointing to the trace charts of d.charts; empty when no
// trace is flagged.
std::string ConvergenceWarning(const SRunDiagnostics& d);
// Writes that warning on the error stream (PrintMessage) when there is one;
// true when it did.
bool WarnIfNotConverged(const SRunDiagnostics& d);

#endif

// A whole breloAdm chain on a data file, run in-process from a command line.
#ifndef BRELO_TESTS_BRELOADM_CHAINRUN_H
#define BRELO_TESTS_BRELOADM_CHAINRUN_H

#include <string>
#include <vector>

#include "breloAdm/AdmixtureResults.h"
#include "breloAdm/AdmixtureSampler.h"
#include "breloAdm/BreloAdmOptions.h"
#include "breloAdm/BreloAdmSetup.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"

namespace admtest {

struct SChainRun {
    SAdmOptions opt;
    SAdmSetup setup;
    CSpatialPrior prior;
    SAdmChain chain;
    SAdmEstimates est;
};

inline void RunChain(SChainRun& run, const std::vector<std::string>& args, unsigned long seed) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    std::vector<const char*> argv{"breloAdm"};
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    ParseAdmOptions(static_cast<int>(argv.size()), argv.data(), run.opt);
    gsl_rng* rng = nullptr;
    RunAdmSetup(run.opt, run.setup, rng);
    // The run's seed, from which its block streams derive too.
    gsl_rng_set(rng, seed);
    run.setup.seed = seed;
    RunAdmixtureSampler(run.opt, run.setup, rng, run.prior, run.chain);
    FreeRNG(rng);
    SummariseChain(run.opt, run.setup, run.chain, run.est);
}

}  // namespace admtest

#endif

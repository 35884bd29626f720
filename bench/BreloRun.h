// One run of brelo inside the benchmark's process, as its command line
// would start it, with the given seed and its screen output off.
#ifndef BRELO_BENCH_BRELORUN_H
#define BRELO_BENCH_BRELORUN_H

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "brelo/BreloSampler.h"
#include "core/RNGUtilities.h"

// args[0] is the program's name. criteriaFile receives the criteria row.
// False when the run was abandoned.
inline bool RunBreloQuietly(std::vector<std::string> args, unsigned long seed,
                            const std::string& criteriaFile) {
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    setenv("GSL_RNG_SEED", std::to_string(seed).c_str(), 1);
    ResetRNGSeedSequence();
    std::ofstream criteria(criteriaFile, std::ios::app);
    CRunCriteria runCriteria;
    CTrainingConfig config;
    std::streambuf* out = std::cout.rdbuf(nullptr);
    const bool done = brelo(static_cast<int>(args.size()), argv.data(), "", criteria, runCriteria,
                            false, false, config);
    std::cout.rdbuf(out);
    return done;
}

#endif

// Sweeps of the admixture sampler: N = 1000 individuals, A = 2, L = 100
// loci, K = 5 clusters, trend degree 1. The set-up and initialisation are
// timed apart: sweeps per second come from the difference between a chain
// of 20 sweeps and one of 20 + state.range(0) sweeps. The floor kernel
// (AdmFloorKernel.h) runs the same number of sweeps on the same data in the
// same process right after, and sweep_over_floor is the ratio of the times.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <ctime>

#include "../tests/breloAdm/AdmTestUtils.h"
#include "AdmFloorKernel.h"
#include "breloAdm/AdmixtureSampler.h"
#include "breloAdm/BreloAdmSetup.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"

namespace {

// Wall-clock seconds of the chain; cpu receives its processor seconds.
// Without accumulate only the last sweep is a kept one (the burn-in must be
// shorter than the chain), in the short and in the long chain alike.
double RunChainSeconds(const std::string& dir, int sweeps, const std::vector<std::string>& extra,
                       bool accumulate, double& cpu) {
    std::vector<std::string> args = {"breloAdm",
                                     "-Fsim.txt",
                                     "-i" + dir,
                                     "-o" + dir,
                                     "-N1000",
                                     "-A2",
                                     "-L100",
                                     "-K5",
                                     "-T1",
                                     "-P0.6",
                                     "-D1",
                                     "-S" + std::to_string(sweeps),
                                     "-B" + std::to_string(accumulate ? 0 : sweeps - 1),
                                     "-c1"};
    args.insert(args.end(), extra.begin(), extra.end());
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    SAdmOptions opt;
    ParseAdmOptions(static_cast<int>(argv.size()), argv.data(), opt);
    SAdmSetup setup;
    gsl_rng* rng = nullptr;
    RunAdmSetup(opt, setup, rng);
    const auto start = std::chrono::steady_clock::now();
    const clock_t cpuStart = clock();
    CSpatialPrior prior;
    SAdmChain chain;
    RunAdmixtureSampler(opt, setup, rng, prior, chain);
    FreeRNG(rng);
    cpu = static_cast<double>(clock() - cpuStart) / CLOCKS_PER_SEC;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_AdmSweeps(benchmark::State& state, std::vector<std::string> extra, bool accumulate) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const std::string dir = admtest::MakeScratchDir("bench_sweep");
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", 1000, 100, 5, 3, 0.3);
    const int sweeps = static_cast<int>(state.range(0));
    double perSecond = 0, perCpuSecond = 0, floorPerSecond = 0, floorPerCpuSecond = 0;
    for (auto _ : state) {
        double cpuBase = 0, cpuFull = 0;
        const double base = RunChainSeconds(dir, 20, extra, accumulate, cpuBase);
        const double full = RunChainSeconds(dir, 20 + sweeps, extra, accumulate, cpuFull);
        perSecond = sweeps / (full - base);
        perCpuSecond = sweeps / (cpuFull - cpuBase);
        state.SetIterationTime(full - base);
        std::vector<std::string> args = {"breloAdm", "-Fsim.txt", "-i" + dir, "-o" + dir, "-N1000",
                                         "-A2",      "-L100",     "-K5",      "-T1",      "-P0.6",
                                         "-D1",      "-S220",     "-B0",      "-c1"};
        args.insert(args.end(), extra.begin(), extra.end());
        double floorCpu = 0;
        const double floorWall = TimeFloorSweeps(args, sweeps, accumulate, floorCpu);
        floorPerSecond = sweeps / floorWall;
        floorPerCpuSecond = sweeps / floorCpu;
    }
    state.counters["floor_sweeps_per_s"] = floorPerSecond;
    state.counters["sweep_over_floor"] = floorPerSecond / perSecond;
    state.counters["sweep_over_floor_cpu"] = floorPerCpuSecond / perCpuSecond;
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["sweeps_per_s"] = perSecond;
    state.counters["sweeps_per_cpu_s"] = perCpuSecond;
    state.counters["peak_MiB"] = usage.ru_maxrss / 1024.0;
}

}  // namespace

BENCHMARK_CAPTURE(BM_AdmSweeps, default_options, std::vector<std::string>{}, true)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_AdmSweeps, shuffle_and_psi, std::vector<std::string>{"-sy", "-upy"}, true)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
// The sweep steps alone: no post-burn-in sums, no predictive draws.
BENCHMARK_CAPTURE(BM_AdmSweeps, no_kept_sweeps, std::vector<std::string>{}, false)
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_MAIN();

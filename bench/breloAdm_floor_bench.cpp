// The floor kernel of an admixture sweep alone (see AdmFloorKernel.h):
// N = 1000 individuals, A = 2, L = 100 loci, K = 5 clusters, trend degree
// 1, the data set of bench/breloAdm_sweep_bench.
#include <benchmark/benchmark.h>

#include "../tests/breloAdm/AdmTestUtils.h"
#include "AdmFloorKernel.h"
#include "core/ProgramFlavour.h"

namespace {

void BM_AdmFloorSweeps(benchmark::State& state, std::vector<std::string> extra) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const std::string dir = admtest::MakeScratchDir("bench_floor");
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", 1000, 100, 5, 3, 0.3);
    std::vector<std::string> args = {"breloAdm", "-Fsim.txt", "-i" + dir, "-o" + dir, "-N1000",
                                     "-A2",      "-L100",     "-K5",      "-T1",      "-P0.6",
                                     "-D1",      "-S220",     "-B0",      "-c1"};
    args.insert(args.end(), extra.begin(), extra.end());
    const int sweeps = static_cast<int>(state.range(0));
    double perSecond = 0, perCpuSecond = 0;
    for (auto _ : state) {
        double cpu = 0;
        const double wall = TimeFloorSweeps(args, sweeps, true, cpu);
        perSecond = sweeps / wall;
        perCpuSecond = sweeps / cpu;
        state.SetIterationTime(wall);
    }
    state.counters["sweeps_per_s"] = perSecond;
    state.counters["sweeps_per_cpu_s"] = perCpuSecond;
}

}  // namespace

BENCHMARK_CAPTURE(BM_AdmFloorSweeps, default_options, std::vector<std::string>{})
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_CAPTURE(BM_AdmFloorSweeps, shuffle_and_psi, std::vector<std::string>{"-sy", "-upy"})
    ->Arg(200)
    ->UseManualTime()
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK_MAIN();

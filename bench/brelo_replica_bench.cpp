// Cost of replica exchange in brelo: whole runs of 300 sweeps on simulated
// data of 15 populations nested in 5 groups, 700 diploids at 30 loci of 10
// to 20 alleles (ClusterSimulation.h), with n replicas on t threads, without
// and with -zg (Gibbs labels and the two-cluster reallocations).
//
// Read: ms_per_replica_sweep of (4 replicas, 1 thread) over that of
// (1 replica, 1 thread) is the overhead of the exchange per replica; the
// real time of (4, 1) over that of (4, 2) is the speed-up of a second
// thread. The runs' set-up and result files are included (a few per cent).
// The CPU column is the processor time of the whole process, all threads:
// on a machine shared with other work, where the real times stretch with the
// load, the CPU times of the one-thread runs still give the overhead, and
// that of (4, 2) against (4, 1) the work the second thread adds, and the
// caller_cpu_s counter of (4, 1) over that of (4, 2) what a second thread
// buys when it gets a core of its own.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "BreloRun.h"
#include "ClusterSimulation.h"
#include "CpuTime.h"

namespace {

constexpr int kSweeps = 300;

const std::string& DataFolder() {
    static const std::string folder = [] {
        const std::string dir =
            (std::filesystem::temp_directory_path() / "brelo_replica_bench").string();
        std::filesystem::create_directories(dir);
        SNestedSimulation sim;
        sim.seed = 2026;
        WriteGenotypes(SimulateNestedClusters(sim), dir + "/sim.txt");
        return dir;
    }();
    return folder;
}

// Arguments: replicas, threads, -zg (0 or 1).
void BM_BreloReplicas(benchmark::State& state) {
    const int replicas = static_cast<int>(state.range(0));
    const int threads = static_cast<int>(state.range(1));
    const std::string& dir = DataFolder();
    const SNestedSimulation sim;
    std::vector<std::string> args = {"brelo",
                                     "-Fsim.txt",
                                     "-i" + dir,
                                     "-o" + dir,
                                     "-N" + std::to_string(sim.N),
                                     "-A2",
                                     "-L" + std::to_string(sim.L),
                                     "-K" + std::to_string(sim.groups * sim.perGroup),
                                     "-D1",
                                     "-c1",
                                     "-T-1",
                                     "-wnone",
                                     "-S" + std::to_string(kSweeps),
                                     "-B100",
                                     "-rx" + std::to_string(replicas),
                                     "-t" + std::to_string(threads)};
    if (state.range(2) != 0)
        args.push_back("-zg");
    double seconds = 0.0, callerSeconds = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const double callerStart = ThreadCpuSeconds();
        if (!RunBreloQuietly(args, 4242, dir + "/criteria.txt"))
            state.SkipWithError("run abandoned");
        callerSeconds += ThreadCpuSeconds() - callerStart;
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    }
    // Milliseconds of wall time per sweep of one replica.
    state.counters["ms_per_replica_sweep"] =
        1e3 * seconds / (static_cast<double>(state.iterations()) * kSweeps * replicas);
    // Processor seconds of the calling thread a run: with one thread the
    // whole run; with two, the share the caller swept, which is the run's
    // critical path when the other thread kept pace beside it.
    state.counters["caller_cpu_s"] = callerSeconds / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_BreloReplicas)
    ->ArgNames({"replicas", "threads", "zg"})
    ->Args({1, 1, 0})
    ->Args({4, 1, 0})
    ->Args({4, 2, 0})
    ->Args({1, 1, 1})
    ->Args({4, 1, 1})
    ->Args({4, 2, 1})
    ->Iterations(2)
    ->UseRealTime()
    ->MeasureProcessCPUTime()
    ->Unit(benchmark::kSecond);

BENCHMARK_MAIN();

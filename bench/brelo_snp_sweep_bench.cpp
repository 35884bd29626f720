// brelo's sweep on SNP data held packed: 2000 individuals x 20 000 and
// x 100 000 SNPs of three populations (PackedSnps.h), K = 3, Gibbs labels
// (-zg), on 1 or 2 threads, without and with one two-cluster reallocation a
// sweep. The chain starts from uniform labels; every iteration is one sweep.
//
// Read: "Time" is wall time; "CPU" the processor time of the calling thread,
// the critical path when the other thread runs beside it (on a loaded
// machine the wall times stretch, the calling thread's time much less); the
// "cpu_all" counter is the processor time of the whole process a sweep.
// The speed-up of a second thread is Time(1) / Time(2) on an idle machine,
// about CPU(1) / CPU(2) on a busy one, and cpu_all(2) / cpu_all(1) the work
// the split adds. Results do not depend on the number of threads (tested).
#include <benchmark/benchmark.h>

#include <memory>

#include "CpuTime.h"
#include "PackedSnps.h"
#include "brelo/BreloSampler.h"
#include "core/RandomStreams.h"
#include "core/ThreadPool.h"

namespace {

constexpr int kN = 2000, kK = 3;

const CGenotypeStore& Store(int L) {
    static std::unique_ptr<CGenotypeStore> made;
    static int madeL = 0;
    if (!made || madeL != L) {
        made = std::make_unique<CGenotypeStore>(SimulatePackedSnps(kN, L));
        madeL = L;
    }
    return *made;
}

// Arguments: loci, threads, reallocations a sweep.
void BM_BreloSnpSweep(benchmark::State& state) {
    const int L = static_cast<int>(state.range(0));
    SBreloOptions opts;
    opts.N = kN;
    opts.A = 2;
    opts.L = L;
    opts.K = kK;
    opts.lambda = 1.0;
    opts.TotalSweep = 1000000;
    opts.gibbsLabels = true;
    opts.reallocations = static_cast<int>(state.range(2));
    SBreloData data;
    data.N = kN;
    data.A = 2;
    data.L = L;
    data.X = Store(L);
    data.isBase.assign(kN, 0);
    SBreloChain chain;
    SetUpChain(chain, opts, std::move(data), "");
    CThreadPool pool(static_cast<int>(state.range(1)));
    chain.pool = &pool;
    SetUpBlockStreams(chain, 7);
    CRandomStream rng(7, 0);
    DrawInitialState(chain, rng.get());
    int s = 0;
    const double start = ProcessCpuSeconds();
    for (auto _ : state)
        if (!SweepReplica(chain, chain.replicas[0], s++ % 1000, rng.get()))
            state.SkipWithError("sweep abandoned");
    state.counters["cpu_all"] = (ProcessCpuSeconds() - start) / static_cast<double>(s);
}

}  // namespace

BENCHMARK(BM_BreloSnpSweep)
    ->ArgNames({"loci", "threads", "realloc"})
    ->ArgsProduct({{20000, 100000}, {1, 2}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

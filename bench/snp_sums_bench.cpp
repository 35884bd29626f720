// The sums over packed SNP genotypes that make most of a brelo sweep: the
// allele counts of the clusters (CountPackedAlleles) and every individual's
// genotype log-likelihood in every cluster (SumPackedGenotypeValues), at
// 2000 individuals x 20 000 and x 100 000 SNPs, K = 3, on a pool of 1 or 2
// threads.
//
// Read: "Time" is wall time; "CPU" the processor time of the calling thread
// alone, which is the critical path when the other thread runs beside it:
// on a machine shared with other work, where the wall times stretch with
// the load, CPU(2 threads) / CPU(1 thread) still shows what the split of
// the work buys. The "cpu_all" counter is the processor time of the whole
// process (every thread), a call, so that cpu_all(2) / cpu_all(1) is the
// work the split adds.
#include <benchmark/benchmark.h>

#include <utility>
#include <vector>

#include "CpuTime.h"
#include "PackedSnps.h"
#include "core/ThreadPool.h"
#include "io/GenotypeStore.h"
#include "io/PackedGenotypeSums.h"

namespace {

const CGenotypeStore& Store(int N, int L) {
    static std::vector<std::pair<std::pair<int, int>, CGenotypeStore>> made;
    for (const auto& m : made)
        if (m.first == std::make_pair(N, L))
            return m.second;
    made.emplace_back(std::make_pair(N, L), SimulatePackedSnps(N, L));
    return made.back().second;
}

constexpr int kN = 2000, kK = 3;

// Arguments: loci, threads.
void BM_CountPackedAlleles(benchmark::State& state) {
    const int L = static_cast<int>(state.range(0));
    const CGenotypeStore& X = Store(kN, L);
    CThreadPool pool(static_cast<int>(state.range(1)));
    std::vector<int> group(kN), observed(static_cast<size_t>(kK) * L),
        allele1(static_cast<size_t>(kK) * L);
    for (int i = 0; i < kN; ++i)
        group[i] = (i * 7) % kK;
    std::vector<uint32_t> work;
    const double start = ProcessCpuSeconds();
    for (auto _ : state) {
        CountPackedAlleles(X, group.data(), kK, observed.data(), allele1.data(), work, &pool);
        benchmark::DoNotOptimize(observed.data());
    }
    state.counters["cpu_all"] =
        (ProcessCpuSeconds() - start) / static_cast<double>(state.iterations());
}

void BM_SumPackedGenotypeValues(benchmark::State& state) {
    const int L = static_cast<int>(state.range(0));
    const CGenotypeStore& X = Store(kN, L);
    CThreadPool pool(static_cast<int>(state.range(1)));
    std::vector<double> table(static_cast<size_t>(L) * 4 * kK), out(static_cast<size_t>(kN) * kK),
        work;
    for (size_t v = 0; v < table.size(); ++v)
        table[v] = -0.001 * static_cast<double>(v % 977);
    const double start = ProcessCpuSeconds();
    for (auto _ : state) {
        SumPackedGenotypeValues(X, table.data(), kK, 0, kN, out.data(), work, &pool);
        benchmark::DoNotOptimize(out.data());
    }
    state.counters["cpu_all"] =
        (ProcessCpuSeconds() - start) / static_cast<double>(state.iterations());
}

}  // namespace

BENCHMARK(BM_CountPackedAlleles)
    ->ArgNames({"loci", "threads"})
    ->ArgsProduct({{20000, 100000}, {1, 2}})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SumPackedGenotypeValues)
    ->ArgNames({"loci", "threads"})
    ->ArgsProduct({{20000, 100000}, {1, 2}})
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

// Initial labelling of breloAdm: Ward's rule on allele sharing, as called
// once per run with -jy. Sizes: N individuals, L loci, diploid.
#include <benchmark/benchmark.h>

#include <random>

#include "breloAdm/HierarchicalClustering.h"

namespace {

INT_VCTR_3D RandomGenotypes(int N, int L, int alleles) {
    std::mt19937 gen(1);
    INT_VCTR_3D X;
    InitVctr3D(X, N, 2, L, 0);
    for (auto& individual : X)
        for (auto& copy : individual)
            for (int& code : copy)
                code = 100 + int(gen() % alleles);
    return X;
}

void BM_BuildDissimilarityMatrix(benchmark::State& state) {
    INT_VCTR_3D X = RandomGenotypes(int(state.range(0)), int(state.range(1)), 5);
    for (auto _ : state)
        benchmark::DoNotOptimize(BuildDissimilarityMatrix(X, true));
}

void BM_HClusteringEngine(benchmark::State& state) {
    const int N = int(state.range(0));
    DBL_VCTR_1D dm0 = BuildDissimilarityMatrix(RandomGenotypes(N, int(state.range(1)), 5), true);
    for (auto _ : state) {
        DBL_VCTR_1D dm = dm0;
        INT_VCTR_1D A, B;
        HClusteringEngine(N, dm, WAR, A, B);
        benchmark::DoNotOptimize(A.data());
    }
}

void BM_HClustering(benchmark::State& state) {
    INT_VCTR_3D X = RandomGenotypes(int(state.range(0)), int(state.range(1)), 5);
    for (auto _ : state)
        benchmark::DoNotOptimize(HClustering(X, WAR, 4, true));
}

}  // namespace

BENCHMARK(BM_BuildDissimilarityMatrix)
    ->Args({500, 100})
    ->Args({2000, 100})
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HClusteringEngine)->Args({500, 100})->Args({2000, 100})->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HClustering)->Args({2000, 100})->Args({5000, 100})->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

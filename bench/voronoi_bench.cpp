// Tessellation and neighbourhood system of uniform random sites.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "voronoi/Voronoi.h"

static std::vector<SPoint> UniformSites(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1000.0);
    std::vector<SPoint> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        v[static_cast<size_t>(i)].m_psXY.m_dX = u(gen);
        v[static_cast<size_t>(i)].m_psXY.m_dY = u(gen);
        v[static_cast<size_t>(i)].m_nIndex = i;
    }
    return v;
}

// Sites on a coarse grid of rows sharing one y, many at the same position:
// the near-duplicate check sees long runs within the y tolerance.
static std::vector<SPoint> RowSites(int n) {
    std::vector<SPoint> v(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i) {
        v[static_cast<size_t>(i)].m_psXY.m_dX = (i * 7919) % 2000;
        v[static_cast<size_t>(i)].m_psXY.m_dY = i % 50;
        v[static_cast<size_t>(i)].m_nIndex = i;
    }
    return v;
}

static void RunTessellation(benchmark::State& state, const std::vector<SPoint>& sites) {
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    std::vector<std::vector<int>> ns;
    for (auto _ : state) {
        CVoronoi::GetVoronoi(sites, keep, minMax, scale, edges);
        CVoronoi::GetNeighborhoodSystem(static_cast<int>(sites.size()), edges, ns);
        benchmark::DoNotOptimize(ns.data());
    }
    state.counters["edges"] = static_cast<double>(edges.size());
    state.counters["sites/s"] = benchmark::Counter(static_cast<double>(sites.size()),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}

static void BM_TessellationAndNeighbours(benchmark::State& state) {
    RunTessellation(state, UniformSites(static_cast<int>(state.range(0)), 42));
}
BENCHMARK(BM_TessellationAndNeighbours)
    ->Arg(1000)
    ->Arg(10000)
    ->Arg(100000)
    ->Unit(benchmark::kMillisecond);

static void BM_TessellationOfSitesInRows(benchmark::State& state) {
    RunTessellation(state, RowSites(static_cast<int>(state.range(0))));
}
BENCHMARK(BM_TessellationOfSitesInRows)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

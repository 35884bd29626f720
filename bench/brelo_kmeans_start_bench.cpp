// Cost of the k-means start (-jk) against the time of 100 sweeps of brelo, at
// N = 1350 diploid individuals, 678 loci and K = 7 clusters, for loci of 2
// alleles (SNP-like) and of 10 alleles (microsatellite-like). The data: seven
// populations drifted from a common ancestor (F = 0.05), 1 % missing copies.
// The sweeps: structure sweeps without covariates (the cheapest kind), and
// sweeps with an intercept and two covariates.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <iostream>

#include "ClusterSimulation.h"
#include "brelo/BreloSampler.h"
#include "core/RNGUtilities.h"
#include "io/AlleleCountFeatures.h"

namespace {

constexpr int kN = 1350, kL = 678, kK = 7;

// A chain set up on the simulated data, started from uniform labels; with
// covariates, an intercept and two standard normal columns.
void SetUpBenchChain(SBreloChain& chain, int alleles, bool covariates = false) {
    SClusterSimulation s;
    s.K = kK;
    s.N = kN;
    s.L = kL;
    s.J = alleles;
    s.missing = 0.01;
    s.seed = 99;
    SSimulatedGenotypes g = SimulateClusters(s);
    SBreloData d;
    d.N = kN;
    d.A = 2;
    d.L = kL;
    d.X = CGenotypeStore::FromCodes(g.X);
    d.isBase.assign(kN, 0);
    std::mt19937 gen(7);
    std::normal_distribution<double> normal(0.0, 1.0);
    for (int i = 0; i < kN && covariates; ++i)
        d.Xtild.push_back({1.0, normal(gen), normal(gen)});
    SBreloOptions opts;
    opts.K = kK;
    opts.lambda = 1.0;
    opts.TotalSweep = 100000;
    opts.BurnIn = 100;
    SetUpChain(chain, opts, std::move(d), "bench");
}

void BM_KMeansStart(benchmark::State& state) {
    std::streambuf* out = std::cout.rdbuf(nullptr);
    SBreloChain chain;
    SetUpBenchChain(chain, static_cast<int>(state.range(0)));
    setenv("GSL_RNG_SEED", "4242", 1);
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_default);
    for (auto _ : state)
        benchmark::DoNotOptimize(KMeansStartLabels(chain.data.X, kK, rng));
    std::cout.rdbuf(out);
    FreeRNG(rng);
}

void BM_HundredSweeps(benchmark::State& state) {
    std::streambuf* out = std::cout.rdbuf(nullptr);
    SBreloChain chain;
    SetUpBenchChain(chain, static_cast<int>(state.range(0)), state.range(1) != 0);
    setenv("GSL_RNG_SEED", "4242", 1);
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_default);
    DrawInitialState(chain, rng);
    int s = 0;
    for (; s < 20; ++s)
        RunSweep(chain, s, rng);
    for (auto _ : state)
        for (int sweep = 0; sweep < 100; ++sweep)
            if (!RunSweep(chain, s++, rng))
                state.SkipWithError("run abandoned");
    std::cout.rdbuf(out);
    FreeRNG(rng);
}

}  // namespace

BENCHMARK(BM_KMeansStart)->Arg(2)->Arg(10)->Iterations(5)->Unit(benchmark::kMillisecond);
// Second argument 1: with covariates (structure sweeps first, then
// regression sweeps with the probit label step).
BENCHMARK(BM_HundredSweeps)
    ->Args({2, 0})
    ->Args({10, 0})
    ->Args({2, 1})
    ->Args({10, 1})
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

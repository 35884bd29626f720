// Sweeps per second of the brelo sampler at N = 1000 diploid individuals,
// L = 100 microsatellite-like loci (10 alleles), K = 5 clusters and three
// quantitative covariates (intercept + 3 columns); and the same data without
// covariates (structure sweeps only).
#include <benchmark/benchmark.h>

#include <iostream>
#include <random>

#include "brelo/BreloSampler.h"
#include "core/RNGUtilities.h"

namespace {

constexpr int kN = 1000, kA = 2, kL = 100, kK = 5, kAlleles = 10, kCovariates = 3;

// Five clusters with their own allele frequencies; membership loosely tied to
// the first covariate.
SBreloData SimulateData(bool withCovariates) {
    std::mt19937 gen(17);
    std::gamma_distribution<double> gamma(0.7, 1.0);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<std::vector<std::discrete_distribution<int>>> freq(kK);
    for (int k = 0; k < kK; ++k)
        for (int l = 0; l < kL; ++l) {
            std::vector<double> w(kAlleles);
            for (double& v : w)
                v = gamma(gen) + 1e-3;
            freq[k].emplace_back(w.begin(), w.end());
        }
    SBreloData d;
    d.N = kN;
    d.A = kA;
    d.L = kL;
    d.X = CGenotypeStore(kN, kA, kL);
    d.isBase.assign(kN, 0);
    for (int i = 0; i < kN; ++i) {
        DBL_VCTR_1D row(1 + kCovariates, 1.0);
        for (int c = 1; c <= kCovariates; ++c)
            row[c] = normal(gen);
        const int z = std::min(kK - 1, std::max(0, static_cast<int>(2 + row[1] + normal(gen))));
        for (int a = 0; a < kA; ++a)
            for (int l = 0; l < kL; ++l)
                d.X.Put(i, a, l, 100 + 2 * freq[z][l](gen));  // microsatellite-like sizes
        if (withCovariates)
            d.Xtild.push_back(row);
    }
    d.X.Finish();
    return d;
}

void RunSweeps(benchmark::State& state, bool withCovariates) {
    const int warmUp = 200;
    SBreloOptions opts;
    opts.N = kN;
    opts.A = kA;
    opts.L = kL;
    opts.K = kK;
    opts.lambda = 1.0;
    opts.TotalSweep = 100000;
    opts.BurnIn = 100;
    SBreloChain chain;
    std::streambuf* out = std::cout.rdbuf(nullptr);  // progress lines off
    SetUpChain(chain, opts, SimulateData(withCovariates), "bench");
    setenv("GSL_RNG_SEED", "4242", 1);
    gsl_rng* rng = nullptr;
    AllocRNG(rng, gsl_rng_default);
    DrawInitialState(chain, rng);
    int s = 0;
    for (; s < warmUp; ++s)
        RunSweep(chain, s, rng);
    for (auto _ : state) {
        if (!RunSweep(chain, s++, rng))
            state.SkipWithError("run abandoned");
    }
    std::cout.rdbuf(out);
    state.counters["sweeps_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    FreeRNG(rng);
}

void BM_BreloSweepWithCovariates(benchmark::State& state) {
    RunSweeps(state, true);
}

void BM_BreloSweepNoCovariates(benchmark::State& state) {
    RunSweeps(state, false);
}

}  // namespace

BENCHMARK(BM_BreloSweepWithCovariates)->Iterations(500)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BreloSweepNoCovariates)->Iterations(500)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();

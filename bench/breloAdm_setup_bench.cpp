// Set-up of breloAdm for N individuals: data loading, tessellation and
// neighbourhood system, then the spatial prior (eigenvalues of W, the
// initial-field factor, the regression matrices) and the initial fields of
// the K clusters, with the routes the program takes (without and with -upy). Peak memory (the
// process's, so sizes run in increasing order) is reported in MiB next to the size of one N x N
// matrix of doubles.
//
// BM_PriorRoute times the parts of the prior by each route on the same
// neighbourhood system, so that the sizes up to which the dense routes are
// cheaper can be read off:
//   spectrum      all eigenvalues of W (LAPACK), then one psi proposal as a
//                 sum of N logarithms;
//   extremes      the two extreme eigenvalues (ARPACK), then one psi proposal
//                 as a sparse Cholesky factorisation of I - psi W;
//   dense_field   the dense factor of (I - psi0 W)^-1 and K = 5 draws;
//   sparse_field  the sparse factor of I - psi0 W and K = 5 draws.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <chrono>
#include <iostream>
#include <map>

#include "../tests/breloAdm/AdmTestUtils.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"
#include "core/SparseMatrix.h"

namespace {

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

SAdmOptions SimulatedOptions(const std::string& dir, int N) {
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", N, 10, 2, 7);
    const std::string sN = std::to_string(N);
    static std::vector<std::string> args;
    args = {"breloAdm", "-Fsim.txt", "-i" + dir, "-o" + dir, "-N" + sN, "-A2", "-L10",
            "-K5",      "-T1",       "-P0.6",    "-D1",      "-S10",    "-B1", "-c1"};
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    SAdmOptions opt;
    ParseAdmOptions(static_cast<int>(argv.size()), argv.data(), opt);
    return opt;
}

void DrawFields(const CSpatialPrior& prior, int K, double sigma, gsl_rng* rng) {
    DBL_VCTR_2D work;
    DBL_VCTR_1D mean(prior.W.n, 0.0), CAR;
    for (int k = 0; k < K; ++k)
        DrawInitialField(prior, mean, sigma, work, CAR, rng);
    benchmark::DoNotOptimize(CAR.data());
}

void BM_AdmSetupAndPrior(benchmark::State& state) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const int N = static_cast<int>(state.range(0));
    const bool updatePsi = state.range(1) != 0;  // -upy: the psi step needs log-determinants
    const std::string dir = admtest::MakeScratchDir("bench_setup");
    const SAdmOptions opt = SimulatedOptions(dir, N);
    double setupSeconds = 0, priorSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        SAdmSetup setup;
        gsl_rng* rng = nullptr;
        RunAdmSetup(opt, setup, rng);
        setupSeconds = Seconds(start);
        start = std::chrono::steady_clock::now();
        CSpatialPrior prior;
        prior.routes = DefaultPriorRoutes(N, updatePsi);
        DBL_VCTR_1D psi, sigma(opt.K, opt.sigmaQ);
        BuildSpatialPrior(prior, psi, sigma, setup.tess.vvnNS, setup.geo, setup.theta,
                          setup.data.Xtild, opt.psiUser);
        if (updatePsi)  // the first proposal: the sparse route's first factorisation
            benchmark::DoNotOptimize(prior.logDet.Ratio(0.9 * psi[0], psi[0]));
        DrawFields(prior, opt.K, opt.sigmaQ, rng);
        FreeInitialFieldFactor(prior);
        priorSeconds = Seconds(start);
        FreeRNG(rng);
        benchmark::DoNotOptimize(prior.Vinv_M.data());
    }
    state.counters["setup_s"] = setupSeconds;
    state.counters["prior_s"] = priorSeconds;
    state.counters["peak_MiB"] = PeakMiB();
    state.counters["NxN_MiB"] = N * static_cast<double>(N) * sizeof(double) / (1024.0 * 1024.0);
}

// The neighbourhood system and design of N simulated individuals, made once.
struct SSystem {
    INT_VCTR_2D NS;
    DBL_VCTR_2D Xtild;
};
const SSystem& System(int N) {
    static std::map<int, SSystem> systems;
    auto found = systems.find(N);
    if (found != systems.end())
        return found->second;
    const std::string dir = admtest::MakeScratchDir("bench_route");
    const SAdmOptions opt = SimulatedOptions(dir, N);
    SAdmSetup setup;
    gsl_rng* rng = nullptr;
    RunAdmSetup(opt, setup, rng);
    FreeRNG(rng);
    return systems[N] = {setup.tess.vvnNS, setup.data.Xtild};
}

enum ERoute { kSpectrum, kExtremes, kDenseField, kSparseField };

void BM_PriorRoute(benchmark::State& state) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const int N = static_cast<int>(state.range(0));
    const ERoute route = static_cast<ERoute>(state.range(1));
    const SSystem& sys = System(N);
    DBL_VCTR_2D unit;
    for (const INT_VCTR_1D& row : sys.NS)
        unit.emplace_back(row.size(), 1.0);
    const CSparseMatrix W = SparseFromNeighbours(sys.NS, unit);
    gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
    double perProposal = 0;
    for (auto _ : state) {
        switch (route) {
            case kSpectrum:
            case kExtremes: {
                CLogDeterminant logDet;
                logDet.Build(W, route == kSpectrum);
                double lambda = 0;
                if (route == kSpectrum)
                    lambda = logDet.Spectrum().back();
                else
                    lambda = ExtremeEigenvalues(W).largest;
                const auto start = std::chrono::steady_clock::now();
                double sum = 0;
                for (int t = 1; t <= 20; ++t)
                    sum += logDet.Value(0.9 * t / (21 * lambda));
                perProposal = Seconds(start) / 20;
                benchmark::DoNotOptimize(sum);
                break;
            }
            case kDenseField:
            case kSparseField: {
                SPriorRoutes routes;
                routes.denseSpectrum = false;
                routes.denseField = route == kDenseField;
                CSpatialPrior prior;
                DBL_VCTR_1D psi, sigma(5, 1.0);
                std::cout.setstate(std::ios::failbit);  // the prior's progress line
                BuildSpatialPrior(prior, psi, sigma, sys.NS, {}, 1.0, sys.Xtild, 0.6, routes);
                std::cout.clear();
                DrawFields(prior, 5, 1.0, rng);
                break;
            }
        }
    }
    gsl_rng_free(rng);
    if (route == kSpectrum || route == kExtremes)
        state.counters["per_proposal_ms"] = perProposal * 1e3;
}

void RouteSizes(benchmark::internal::Benchmark* b) {
    for (int N : {100, 200})
        for (int route : {kDenseField, kSparseField})
            b->Args({N, route});
    for (int N : {250, 500, 1000, 2000})
        for (int route : {kSpectrum, kExtremes, kDenseField, kSparseField})
            b->Args({N, route});
    b->Args({4000, kSpectrum});
    for (int N : {4000, 10000})
        for (int route : {kExtremes, kSparseField})
            b->Args({N, route});
}

}  // namespace

// Second argument 1: a run with -upy (the psi step's log-determinants).
BENCHMARK(BM_AdmSetupAndPrior)
    ->Args({1000, 0})
    ->Args({2000, 0})
    ->Args({4000, 0})
    ->Args({10000, 0})
    ->Args({1000, 1})
    ->Args({2000, 1})
    ->Args({4000, 1})
    ->Args({10000, 1})
    ->Unit(benchmark::kSecond)
    ->Iterations(1);
BENCHMARK(BM_PriorRoute)->Apply(RouteSizes)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_MAIN();

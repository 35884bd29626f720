// Set-up of breloAdm for N individuals: data loading, tessellation and
// neighbourhood system, then the spatial prior (eigenvalues of W, the
// initial-field factor, the regression matrices). Peak memory is reported
// in MiB next to the size of one N x N matrix of doubles.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <iostream>

#include "../tests/breloAdm/AdmTestUtils.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/SpatialPrior.h"
#include "core/ProgramFlavour.h"
#include "core/RNGUtilities.h"

namespace {

double PeakMiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024.0;
}

void BM_AdmSetupAndPrior(benchmark::State& state) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const int N = static_cast<int>(state.range(0));
    const std::string dir = admtest::MakeScratchDir("bench_setup");
    admtest::WriteSimulatedSpatialData(dir + "/sim.txt", N, 10, 2, 7);
    const std::string sN = std::to_string(N);
    std::vector<std::string> args = {"breloAdm", "-Fsim.txt", "-i" + dir, "-o" + dir, "-N" + sN,
                                     "-A2",      "-L10",      "-K5",      "-T1",      "-P0.6",
                                     "-D1",      "-S10",      "-B1",      "-c1"};
    std::vector<const char*> argv;
    for (const std::string& a : args)
        argv.push_back(a.c_str());
    SAdmOptions opt;
    ParseAdmOptions(static_cast<int>(argv.size()), argv.data(), opt);
    for (auto _ : state) {
        SAdmSetup setup;
        gsl_rng* rng = nullptr;
        RunAdmSetup(opt, setup, rng);
        CSpatialPrior prior;
        DBL_VCTR_1D psi, sigma(opt.K, opt.sigmaQ);
        BuildSpatialPrior(prior, psi, sigma, setup.tess.vvnNS, setup.geo, setup.theta,
                          setup.data.Xtild, opt.psiUser);
        FreeInitialFieldFactor(prior);
        FreeRNG(rng);
        benchmark::DoNotOptimize(prior.Vinv_M.data());
    }
    state.counters["peak_MiB"] = PeakMiB();
    state.counters["NxN_MiB"] = N * static_cast<double>(N) * sizeof(double) / (1024.0 * 1024.0);
}

}  // namespace

BENCHMARK(BM_AdmSetupAndPrior)->Arg(500)->Arg(2000)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK_MAIN();

// How well brelo finds many clusters in few sweeps, with the default start
// and label step, with -jk (k-means start), -zg (Gibbs labels) and both: on
// simulated data with K populations (ClusterSimulation.h), the adjusted Rand
// index of each run's most probable clusters against the true populations,
// and its run time, over several seeds.
//
// Usage: brelo_start_study [folder] [sweeps] [burn-in] [seeds] [F]
// (defaults: ./brelo_start_study, 2000, 1000, 5, 0.06). Data: K = 10
// populations of 30 diploids, 30 loci of 8 alleles drifted by F from their
// ancestor, 2 % missing copies. The k-means clusters alone are scored too.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "BreloRun.h"
#include "ClusterSimulation.h"
#include "brelo/BreloSampler.h"
#include "core/KMeans.h"
#include "core/RNGUtilities.h"
#include "io/AlleleCountFeatures.h"
#include "io/IOUtilities.h"

namespace {

struct SOutcome {
    double ari = 0.0, seconds = 0.0;
};

SOutcome RunOnce(const std::string& folder, const SClusterSimulation& sim, int sweeps, int burnIn,
                 unsigned long seed, const std::vector<std::string>& extra, const std::string& tag,
                 const INT_VCTR_1D& truth) {
    std::vector<std::string> args = {"brelo",
                                     "-Fsim.txt",
                                     "-i" + folder,
                                     "-o" + folder,
                                     "-orun" + tag,
                                     "-N" + std::to_string(sim.N),
                                     "-A2",
                                     "-L" + std::to_string(sim.L),
                                     "-K" + std::to_string(sim.K),
                                     "-D1",
                                     "-c1",
                                     "-T-1",
                                     "-S" + std::to_string(sweeps),
                                     "-B" + std::to_string(burnIn)};
    args.insert(args.end(), extra.begin(), extra.end());
    const auto start = std::chrono::steady_clock::now();
    const bool done = RunBreloQuietly(args, seed, folder + "/criteria.txt");
    const auto stop = std::chrono::steady_clock::now();
    SOutcome o;
    o.seconds = std::chrono::duration<double>(stop - start).count();
    if (done)
        o.ari = AdjustedRandIndex(HardClusters(folder + "/sim.txt_RUN" + tag + "_AP.txt"), truth);
    return o;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder = argc > 1 ? argv[1] : "brelo_start_study";
    const int sweeps = argc > 2 ? std::atoi(argv[2]) : 2000;
    const int burnIn = argc > 3 ? std::atoi(argv[3]) : 1000;
    const int seeds = argc > 4 ? std::atoi(argv[4]) : 5;
    const double F = argc > 5 ? std::atof(argv[5]) : 0.06;
    std::filesystem::create_directories(folder);

    SClusterSimulation sim;
    sim.K = 10;
    sim.N = 300;
    sim.L = 30;
    sim.J = 8;
    sim.F = F;
    sim.missing = 0.02;
    sim.seed = 2024;
    const SSimulatedGenotypes g = SimulateClusters(sim);
    WriteGenotypes(g, folder + "/sim.txt");
    const INT_VCTR_1D truth(g.truth.begin(), g.truth.end());

    struct SSetting {
        const char* name;
        std::vector<std::string> extra;
    };
    const SSetting settings[] = {
        {"defaults", {}}, {"-jk", {"-jk"}}, {"-zg", {"-zg"}}, {"-jk -zg", {"-jk", "-zg"}}};
    std::printf(
        "K = %d populations, N = %d, L = %d loci of %d alleles, F = %.2f; %d sweeps, "
        "burn-in %d\n",
        sim.K, sim.N, sim.L, sim.J, sim.F, sweeps, burnIn);
    std::printf("%-10s", "setting");
    for (int s = 1; s <= seeds; ++s)
        std::printf("   seed %d", s);
    std::printf("   mean ARI   mean s\n");
    {
        const CGenotypeStore X = CGenotypeStore::FromCodes(g.X);
        double sumAri = 0.0;
        std::printf("%-10s", "k-means");
        for (int s = 1; s <= seeds; ++s) {
            gsl_rng* rng = gsl_rng_alloc(gsl_rng_mt19937);
            gsl_rng_set(rng, 1000 + s);
            std::streambuf* out = std::cout.rdbuf(nullptr);
            const double ari = AdjustedRandIndex(KMeansStartLabels(X, sim.K, rng), truth);
            std::cout.rdbuf(out);
            gsl_rng_free(rng);
            sumAri += ari;
            std::printf("   %6.3f", ari);
        }
        std::printf("   %8.3f\n", sumAri / seeds);
    }
    int tag = 0;
    for (const SSetting& setting : settings) {
        double sumAri = 0.0, sumSeconds = 0.0;
        std::printf("%-10s", setting.name);
        for (int s = 1; s <= seeds; ++s) {
            const SOutcome o = RunOnce(folder, sim, sweeps, burnIn, 1000 + s, setting.extra,
                                       std::to_string(++tag), truth);
            sumAri += o.ari;
            sumSeconds += o.seconds;
            std::printf("   %6.3f", o.ari);
            std::fflush(stdout);
        }
        std::printf("   %8.3f   %6.2f\n", sumAri / seeds, sumSeconds / seeds);
    }
    return 0;
}

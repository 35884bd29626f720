// Do brelo's chains reach the same mode whatever the seed? On simulated data
// of 15 populations nested in 5 groups (sister populations at F_ST from
// about 0.015 in one group to 0.06 in another, populations of different
// groups about 0.1 and more; ClusterSimulation.h),
// 700 diploids at 30 loci of 10 to 20 alleles, the given brelo program is run
// with the given options once per seed. Printed per chain: its mean
// log-likelihood over the kept sweeps, the adjusted Rand index (ARI) of its
// most probable clusters against the populations, and its wall time; then the
// spread of the mean log-likelihoods and the smallest ARI between two chains.
//
// Usage: brelo_mode_study folder sweeps burn-in seeds brelo-program [options...]
// e.g.   brelo_mode_study modes 3000 1000 8 build/bin/brelo -jk -zg -rx4 -t2
// Comparing two builds of the program (before and after a change) on the same
// folder compares them on the same data.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ClusterSimulation.h"
#include "core/KMeans.h"

namespace {

struct SChain {
    double meanLogLikelihood = 0.0, ari = 0.0, seconds = 0.0;
    INT_VCTR_1D clusters;
};

double MeanOfLastLines(const std::string& file, int count) {
    std::ifstream is(file);
    std::vector<double> values;
    double v;
    while (is >> v)
        values.push_back(v);
    if (values.empty() || count <= 0)
        return 0.0;
    count = std::min<int>(count, static_cast<int>(values.size()));
    double sum = 0.0;
    for (size_t t = values.size() - count; t < values.size(); ++t)
        sum += values[t];
    return sum / count;
}

std::string Quoted(const std::string& text) {
    std::string out = "'";
    for (char ch : text)
        out += ch == '\'' ? std::string("'\\''") : std::string(1, ch);
    return out + "'";
}

bool RunChain(const std::string& program, const std::string& folder, const SNestedSimulation& sim,
              int sweeps, int burnIn, int seed, const std::string& options, SChain& chain) {
    const std::string tag = "s" + std::to_string(seed);
    const std::string command =
        "GSL_RNG_SEED=" + std::to_string(seed) + " " + Quoted(program) + " -Fsim.txt -i" +
        Quoted(folder) + " -o" + Quoted(folder) + " -orun" + tag + " -N" + std::to_string(sim.N) +
        " -A2 -L" + std::to_string(sim.L) + " -K" + std::to_string(sim.groups * sim.perGroup) +
        " -D1 -c1 -T-1 -wnone -S" + std::to_string(sweeps) + " -B" + std::to_string(burnIn) + " " +
        options + " > " + Quoted(folder + "/" + tag + ".log") + " 2>&1";
    const auto start = std::chrono::steady_clock::now();
    const int status = std::system(command.c_str());
    chain.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (status != 0)
        return false;
    const std::string prefix = folder + "/sim.txt_RUN" + tag + "_";
    chain.meanLogLikelihood = MeanOfLastLines(prefix + "LHstock.txt", sweeps - burnIn);
    chain.clusters = HardClusters(prefix + "AP.txt");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr,
                     "usage: brelo_mode_study folder sweeps burn-in seeds brelo-program "
                     "[options...]\n");
        return 1;
    }
    const std::string folder = argv[1];
    const int sweeps = std::atoi(argv[2]), burnIn = std::atoi(argv[3]), seeds = std::atoi(argv[4]);
    const std::string program = std::filesystem::absolute(argv[5]).string();
    std::string options;
    for (int a = 6; a < argc; ++a)
        options += std::string(a > 6 ? " " : "") + argv[a];
    std::filesystem::create_directories(folder);

    SNestedSimulation sim;
    sim.seed = 2026;
    const SSimulatedGenotypes g = SimulateNestedClusters(sim);
    WriteGenotypes(g, folder + "/sim.txt");
    const INT_VCTR_1D truth(g.truth.begin(), g.truth.end());

    std::printf(
        "K = %d populations (%d groups of %d), N = %d, L = %d loci of %d-%d alleles; %d "
        "sweeps, burn-in %d; options: %s\n",
        sim.groups * sim.perGroup, sim.groups, sim.perGroup, sim.N, sim.L, sim.Jmin, sim.Jmax,
        sweeps, burnIn, options.c_str());
    std::printf("seed   mean log-lik      ARI   seconds\n");
    std::vector<SChain> chains;
    for (int seed = 1; seed <= seeds; ++seed) {
        SChain chain;
        if (!RunChain(program, folder, sim, sweeps, burnIn, seed, options, chain)) {
            std::printf("%4d   failed (see %s/s%d.log)\n", seed, folder.c_str(), seed);
            continue;
        }
        chain.ari = AdjustedRandIndex(chain.clusters, truth);
        std::printf("%4d   %12.1f   %6.3f   %7.1f\n", seed, chain.meanLogLikelihood, chain.ari,
                    chain.seconds);
        std::fflush(stdout);
        chains.push_back(chain);
    }
    if (chains.size() < 2)
        return 1;
    double low = chains[0].meanLogLikelihood, high = low, minAri = 1.0, minPair = 1.0;
    double seconds = 0.0;
    for (size_t a = 0; a < chains.size(); ++a) {
        low = std::min(low, chains[a].meanLogLikelihood);
        high = std::max(high, chains[a].meanLogLikelihood);
        minAri = std::min(minAri, chains[a].ari);
        seconds += chains[a].seconds;
        for (size_t b = a + 1; b < chains.size(); ++b)
            minPair = std::min(minPair, AdjustedRandIndex(chains[a].clusters, chains[b].clusters));
    }
    std::printf(
        "spread of the mean log-likelihoods %.1f (%.1f to %.1f); smallest ARI to the "
        "populations %.3f, between two chains %.3f; mean wall time %.1f s\n",
        high - low, low, high, minAri, minPair, seconds / chains.size());
    return 0;
}

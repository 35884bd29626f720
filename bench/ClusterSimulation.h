// Simulated genotypes of K populations under the F-model: an ancestral
// frequency vector per locus, Dirichlet(lambda), and each population's
// frequencies drawn around it, Dirichlet(ancestral (1 - F) / F), so that F
// sets how far the populations have drifted apart. Diploids, individuals in
// turn over the populations, a share of missing copies (-9). Used by the
// benchmarks of the starting labels and by the study of the label steps.
#ifndef BRELO_BENCH_CLUSTERSIMULATION_H
#define BRELO_BENCH_CLUSTERSIMULATION_H

#include <fstream>
#include <random>
#include <string>
#include <vector>

struct SClusterSimulation {
    int K = 2, N = 100, L = 10, J = 10;  // populations, individuals, loci, alleles per locus
    double F = 0.05;                     // drift of each population from the ancestor
    double lambda = 1.0;                 // Dirichlet parameter of the ancestral frequencies
    double missing = 0.0;                // share of missing copies
    unsigned seed = 1;
};

struct SSimulatedGenotypes {
    std::vector<int> truth;                        // population of each individual
    std::vector<std::vector<std::vector<int>>> X;  // N x 2 x L allele codes, -9 missing
};

inline std::vector<double> DrawDirichlet(const std::vector<double>& alpha, std::mt19937& gen) {
    std::vector<double> p(alpha.size());
    double sum = 0.0;
    for (size_t j = 0; j < alpha.size(); ++j) {
        p[j] = std::gamma_distribution<double>(alpha[j], 1.0)(gen) + 1e-300;
        sum += p[j];
    }
    for (double& v : p)
        v /= sum;
    return p;
}

inline SSimulatedGenotypes SimulateClusters(const SClusterSimulation& s) {
    std::mt19937 gen(s.seed);
    std::vector<std::vector<std::discrete_distribution<int>>> freq(s.K);
    for (int l = 0; l < s.L; ++l) {
        const std::vector<double> ancestral =
            DrawDirichlet(std::vector<double>(s.J, s.lambda), gen);
        std::vector<double> alpha(s.J);
        for (int j = 0; j < s.J; ++j)
            alpha[j] = ancestral[j] * (1.0 - s.F) / s.F;
        for (int k = 0; k < s.K; ++k) {
            const std::vector<double> p = DrawDirichlet(alpha, gen);
            freq[k].emplace_back(p.begin(), p.end());
        }
    }
    std::uniform_real_distribution<double> unif(0.0, 1.0);
    SSimulatedGenotypes g;
    g.X.assign(s.N, std::vector<std::vector<int>>(2, std::vector<int>(s.L)));
    for (int i = 0; i < s.N; ++i) {
        const int k = i % s.K;
        g.truth.push_back(k);
        for (int a = 0; a < 2; ++a)
            for (int l = 0; l < s.L; ++l)
                g.X[i][a][l] = unif(gen) < s.missing ? -9 : 100 + 2 * freq[k][l](gen);
    }
    return g;
}

// The ordinary data-file layout: two rows per individual, an id column, then
// one allele code per locus (options -c1 -T-1).
inline void WriteGenotypes(const SSimulatedGenotypes& g, const std::string& file) {
    std::ofstream os(file);
    for (size_t i = 0; i < g.X.size(); ++i)
        for (const std::vector<int>& copy : g.X[i]) {
            os << "ind" << i + 1;
            for (int code : copy)
                os << " " << code;
            os << "\n";
        }
}

#endif

// Simulated genotypes of K populations under the F-model: an ancestral
// frequency vector per locus, Dirichlet(lambda), and each population's
// frequencies drawn around it, Dirichlet(ancestral (1 - F) / F), so that F
// sets how far the populations have drifted apart. Diploids, individuals in
// turn over the populations, a share of missing copies (-9). Used by the
// benchmarks of the starting labels and by the study of the label steps.
#ifndef BRELO_BENCH_CLUSTERSIMULATION_H
#define BRELO_BENCH_CLUSTERSIMULATION_H

#include <algorithm>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "core/VectorUtilities.h"

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

// Populations nested in groups: each group drifts from the ancestor by
// Fgroup, each of its populations from the group by a drift that grows from
// FclusterLow in the first group to FclusterHigh in the last, so that sister
// populations differ little in some groups (F_ST about FclusterLow), more
// in others, and populations of different groups much more. Loci of
// Jmin..Jmax alleles.
struct SNestedSimulation {
    int groups = 5, perGroup = 3, N = 700, L = 30, Jmin = 10, Jmax = 20;
    double Fgroup = 0.08, FclusterLow = 0.015, FclusterHigh = 0.06, lambda = 1.0, missing = 0.02;
    unsigned seed = 1;
    double Fcluster(int group) const {
        return groups > 1 ? FclusterLow + (FclusterHigh - FclusterLow) * group / (groups - 1)
                          : FclusterLow;
    }
};

inline std::vector<double> DriftedFrequencies(const std::vector<double>& from, double F,
                                              std::mt19937& gen) {
    std::vector<double> alpha(from.size());
    for (size_t j = 0; j < from.size(); ++j)
        alpha[j] = from[j] * (1.0 - F) / F;
    return DrawDirichlet(alpha, gen);
}

inline SSimulatedGenotypes SimulateNestedClusters(const SNestedSimulation& s) {
    std::mt19937 gen(s.seed);
    const int K = s.groups * s.perGroup;
    std::vector<std::vector<std::discrete_distribution<int>>> freq(K);
    for (int l = 0; l < s.L; ++l) {
        const int J = std::uniform_int_distribution<int>(s.Jmin, s.Jmax)(gen);
        const std::vector<double> ancestral = DrawDirichlet(std::vector<double>(J, s.lambda), gen);
        for (int g = 0; g < s.groups; ++g) {
            const std::vector<double> group = DriftedFrequencies(ancestral, s.Fgroup, gen);
            for (int c = 0; c < s.perGroup; ++c) {
                const std::vector<double> p = DriftedFrequencies(group, s.Fcluster(g), gen);
                freq[g * s.perGroup + c].emplace_back(p.begin(), p.end());
            }
        }
    }
    std::uniform_real_distribution<double> unif(0.0, 1.0);
    SSimulatedGenotypes out;
    out.X.assign(s.N, std::vector<std::vector<int>>(2, std::vector<int>(s.L)));
    for (int i = 0; i < s.N; ++i) {
        const int k = i % K;
        out.truth.push_back(k);
        for (int a = 0; a < 2; ++a)
            for (int l = 0; l < s.L; ++l)
                out.X[i][a][l] = unif(gen) < s.missing ? -9 : 100 + 2 * freq[k][l](gen);
    }
    return out;
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

// The most probable cluster of each row "000001:\t p1 p2 ... \t1".
inline INT_VCTR_1D HardClusters(const std::string& apFile) {
    std::ifstream is(apFile);
    std::string line;
    INT_VCTR_1D hc;
    while (std::getline(is, line)) {
        const size_t colon = line.find(":\t");
        if (colon == std::string::npos)
            continue;
        std::istringstream values(line.substr(colon + 2));
        std::vector<double> row;
        double v;
        while (values >> v)
            row.push_back(v);
        row.pop_back();  // the trailing 1
        int best = 0;
        for (size_t k = 1; k < row.size(); ++k)
            if (row[k] > row[best])
                best = static_cast<int>(k);
        hc.push_back(best);
    }
    return hc;
}

#endif

// Simulated data sets with known truth for the statistical tests of brelo:
// clusters with their own allele frequencies, memberships that may follow a
// probit in one quantitative covariate, written in the ordinary data-file
// format. Fixed seeds, so that a failure reproduces.
#ifndef BRELO_TESTS_BRELOSIMULATION_H
#define BRELO_TESTS_BRELOSIMULATION_H

#include <fstream>
#include <random>
#include <string>
#include <vector>

struct SSimulatedData {
    int N = 0, A = 2, L = 0, K = 0;
    std::vector<int> z;                            // true cluster of each individual
    std::vector<double> x;                         // quantitative covariate (empty: none)
    std::vector<int> qual;                         // qualitative covariate code (empty: none)
    std::vector<std::vector<std::vector<int>>> X;  // N x A x L allele codes
};

// Labels drawn uniformly (K clusters, in turn so that every cluster is used).
inline void SimulateLabelsInTurn(SSimulatedData& d) {
    d.z.resize(d.N);
    for (int i = 0; i < d.N; ++i)
        d.z[i] = i % d.K;
}

// Two clusters from a probit in x ~ U(-2, 2): cluster 0 when
// b0 + b1 x + N(0,1) > 0, else the reference cluster 1.
inline void SimulateProbitLabels(SSimulatedData& d, double b0, double b1, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unif(-2.0, 2.0);
    std::normal_distribution<double> noise(0.0, 1.0);
    d.K = 2;
    d.x.resize(d.N);
    d.z.resize(d.N);
    for (int i = 0; i < d.N; ++i) {
        d.x[i] = unif(gen);
        d.z[i] = b0 + b1 * d.x[i] + noise(gen) > 0 ? 0 : 1;
    }
}

// Genotypes: each cluster has its own frequencies over nAlleles alleles at
// every locus, drawn from a Dirichlet(alpha); small alpha, distinct clusters.
inline void SimulateGenotypes(SSimulatedData& d, int nAlleles, double alpha, unsigned seed) {
    std::mt19937 gen(seed);
    std::gamma_distribution<double> gamma(alpha, 1.0);
    std::vector<std::vector<std::discrete_distribution<int>>> freq(d.K);
    for (int k = 0; k < d.K; ++k)
        for (int l = 0; l < d.L; ++l) {
            std::vector<double> w(nAlleles);
            for (double& v : w)
                v = gamma(gen) + 1e-6;
            freq[k].emplace_back(w.begin(), w.end());
        }
    d.X.assign(d.N, std::vector<std::vector<int>>(d.A, std::vector<int>(d.L, 0)));
    for (int i = 0; i < d.N; ++i)
        for (int a = 0; a < d.A; ++a)
            for (int l = 0; l < d.L; ++l)
                d.X[i][a][l] = 101 + freq[d.z[i]][l](gen);
}

// Ordinary format: A rows per individual, each "[qual] [x] alleles".
inline void WriteSimulatedData(const SSimulatedData& d, const std::string& file) {
    std::ofstream ofs(file);
    for (int i = 0; i < d.N; ++i)
        for (int a = 0; a < d.A; ++a) {
            if (!d.qual.empty())
                ofs << d.qual[i] << " ";
            if (!d.x.empty())
                ofs << d.x[i] << " ";
            for (int l = 0; l < d.L; ++l)
                ofs << d.X[i][a][l] << (l + 1 < d.L ? " " : "\n");
        }
}

#endif

// Simulated SNP genotypes held packed for the benchmarks of the sums and
// sweeps over them: N diploid individuals of three populations (individual
// i in population i % 3) at L biallelic loci whose allele frequencies differ
// between the populations, about one genotype in 3000 missing.
#ifndef BRELO_BENCH_PACKEDSNPS_H
#define BRELO_BENCH_PACKEDSNPS_H

#include <algorithm>
#include <cstdint>
#include <vector>

#include "io/GenotypeStore.h"

inline CGenotypeStore SimulatePackedSnps(int N, int L, unsigned seed = 2026) {
    CGenotypeStore X = CGenotypeStore::Packed(N, L);
    std::vector<uint8_t> values(static_cast<size_t>(N) * CGenotypeStore::kLociPerWord);
    unsigned state = seed;
    const auto uniform = [&state] {
        state = state * 1103515245u + 12345u;
        return static_cast<double>((state >> 8) & 0xFFFF) / 65536.0;
    };
    for (int first = 0; first < L; first += CGenotypeStore::kLociPerWord) {
        const int count = std::min(CGenotypeStore::kLociPerWord, L - first);
        for (int c = 0; c < count; ++c) {
            X.AddAllele(first + c, 0);
            X.AddAllele(first + c, 1);
            const double base = 0.1 + 0.8 * uniform();
            double p[3];
            for (double& f : p)
                f = std::clamp(base + 0.3 * (uniform() - 0.5), 0.02, 0.98);
            for (int i = 0; i < N; ++i) {
                uint8_t& g = values[static_cast<size_t>(c) * N + i];
                if (uniform() * 3000.0 < 1.0) {
                    g = CGenotypeStore::kMissingGenotype;
                    continue;
                }
                g = static_cast<uint8_t>((uniform() < p[i % 3]) + (uniform() < p[i % 3]));
            }
        }
        X.PutLoci(first, count, values.data());
    }
    X.Finish();
    return X;
}

#endif

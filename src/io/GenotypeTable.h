// The genotypes of a file in a format that names its individuals and counts
// its own loci (VCF, GENEPOP), as read before they are laid out in the loaded
// data set.
#ifndef BRELO_IO_GENOTYPETABLE_H
#define BRELO_IO_GENOTYPETABLE_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/VectorUtilities.h"

struct SGenotypeTable {
    int N = 0;                     // individuals
    int A = 0;                     // allele copies per individual
    int L = 0;                     // loci
    std::vector<std::string> ids;  // N names, in file order
    INT_VCTR_1D popIndex;          // N population numbers from 1 (GENEPOP), else empty
    std::vector<int16_t> codes;    // allele codes, locus by locus: (l * N + i) * A + a
    static constexpr int16_t kMissing = -1;

    int16_t Code(int i, int a, int l) const {
        return codes[(static_cast<size_t>(l) * N + i) * A + a];
    }
};

// X[i][a][l] = table.Code(i, a, l): X sized N x A x L exactly.
void FillGenotypes(const SGenotypeTable& table, INT_VCTR_3D& X);

#endif

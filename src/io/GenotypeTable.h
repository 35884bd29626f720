// The genotypes of a file in a format that names its individuals and counts
// its own loci (VCF, GENEPOP). Such a file is read once: its genotypes are
// collected as they come and go into a genotype store of the counts read.
#ifndef BRELO_IO_GENOTYPETABLE_H
#define BRELO_IO_GENOTYPETABLE_H

#include <string>
#include <vector>

#include "core/VectorUtilities.h"
#include "io/GenotypeStore.h"

struct SGenotypeCounts {
    int N = 0;  // individuals
    int A = 0;  // allele copies per individual
    int L = 0;  // loci
};

struct SGenotypeTable {
    int N = 0;
    int A = 0;
    int L = 0;
    std::vector<std::string> ids;        // N names, in file order
    INT_VCTR_1D popIndex;                // N population numbers from 1 (GENEPOP), else empty
    CGenotypeStore genotypes;            // N x A x L
    static constexpr int kMissing = -1;  // the code of a missing copy

    int Code(int i, int a, int l) const { return genotypes.Code(i, a, l); }
};

#endif

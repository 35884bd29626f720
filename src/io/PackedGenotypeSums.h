// Sums over the genotypes of a packed store (two bits a genotype), read in
// place: allele counts per group of individuals, and per-individual sums of
// a value of each locus and genotype. Both take a range so that callers can
// split the work (loci, or individuals) into blocks.
#ifndef BRELO_IO_PACKEDGENOTYPESUMS_H
#define BRELO_IO_PACKEDGENOTYPESUMS_H

#include <cstdint>
#include <vector>

#include "io/GenotypeStore.h"

class CThreadPool;

// Loci of a range of counts: firstWord * 32 .. min(lastWord * 32, L) - 1.
struct SWordRange {
    int firstWord = 0;
    int lastWord = 0;  // one past the last word
};

// The whole row: every word of the store.
SWordRange AllWords(const CGenotypeStore& X);

// For the individuals i with group[i] = k (0 <= k < K; a negative group
// leaves i out), at every locus l of the range: observed[k * L + l] =
// individuals of group k whose genotype at l is observed, allele1[k * L + l]
// = copies of allele 1 they carry. Both arrays hold K * L counts; the
// counts of the range are overwritten, the others untouched. work is
// resized as needed (reused across calls).
void CountPackedAlleles(const CGenotypeStore& X, const int* group, int K, SWordRange range,
                        int* observed, int* allele1, std::vector<uint32_t>& work);

// out[(i - firstRow) * K + k] = sum over the loci l of table[(l * 4 + g) * K
// + k], g the genotype value of individual i at l (0, 1, 2, or 3 when
// missing), for the individuals firstRow .. lastRow - 1; the loci are added
// in increasing order, four at a time. work is resized as needed.
void SumPackedGenotypeValues(const CGenotypeStore& X, const double* table, int K, int firstRow,
                             int lastRow, double* out, std::vector<double>& work);

// The same two sums over every locus with the work run on pool (null, or a
// pool of one thread: the caller does it all), with the results of the
// serial forms above bit for bit, whatever the number of threads: the
// counts split the individuals among the threads (integer sums, in any
// order the same), the log-likelihood sums split the loci into blocks that
// do not depend on the number of threads, their partial sums added in block
// order.
void CountPackedAlleles(const CGenotypeStore& X, const int* group, int K, int* observed,
                        int* allele1, std::vector<uint32_t>& work, CThreadPool* pool);
void SumPackedGenotypeValues(const CGenotypeStore& X, const double* table, int K, int firstRow,
                             int lastRow, double* out, std::vector<double>& work,
                             CThreadPool* pool);

#endif

// Genotypes read in one pass from a file whose counts are known only at its
// end: the allele codes come in blocks, one locus at a time (the copies of
// every individual at that locus: a VCF record) or one individual at a time
// (its copies at every locus: a GENEPOP line), and go into a genotype store
// once the file is read. A code takes one byte while every code is below
// 255, two bytes once one is larger.
#ifndef BRELO_IO_GENOTYPECOLLECTOR_H
#define BRELO_IO_GENOTYPECOLLECTOR_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "io/GenotypeStore.h"

class CGenotypeCollector {
  public:
    // The largest allele code it keeps; a larger one is the reader's to refuse.
    static constexpr int kMaxCode = 65534;

    // Appends count codes (negative: a missing copy; at most kMaxCode).
    void Append(const int* codes, size_t count);
    // Appends count missing copies.
    void AppendMissing(size_t count);
    size_t Size() const { return m_bWide ? m_vWide.size() : m_vNarrow.size(); }

    // The store of N individuals, A copies and L loci (Size() = N A L), the
    // blocks having been appended locus by locus (each block: individual i,
    // copy a at position i A + a) or individual by individual (each block:
    // copy a at locus l at position a L + l). The collector is left empty.
    CGenotypeStore LociToStore(int N, int A, int L) { return ToStore(N, A, L, true); }
    CGenotypeStore IndividualsToStore(int N, int A, int L) { return ToStore(N, A, L, false); }

  private:
    CGenotypeStore ToStore(int N, int A, int L, bool byLocus);
    void Widen();
    // The code at position p, -1 when missing.
    int CodeAt(size_t p) const {
        const int stored = m_bWide ? m_vWide[p] : m_vNarrow[p];
        return stored - 1;
    }
    void Clear();

    // Code + 1, 0 for a missing copy.
    bool m_bWide = false;
    std::vector<uint8_t> m_vNarrow;
    std::vector<uint16_t> m_vWide;
};

#endif

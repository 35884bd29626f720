// The genotypes of a data set: for every locus the sorted list of the allele
// codes observed there (its alleles), and for every copy the index of its
// code in that list, or a missing marker. Two layouts: one byte an allele
// copy, or, for diploid data whose every locus has at most two alleles, two
// bits a genotype (Packed).
#ifndef BRELO_IO_GENOTYPESTORE_H
#define BRELO_IO_GENOTYPESTORE_H

#include <cstddef>
#include <cstdint>
#include <limits>
#include <unordered_map>
#include <utility>
#include <vector>

#include "core/VectorUtilities.h"

// N individuals x A copies x L loci. Copies are kept in the order
// (i * A + a) * L + l, the order in which the samplers read them.
// An index takes one byte while every locus has at most 255 alleles (index
// 0..254, 255 marking a missing copy); a locus with more makes the whole
// store two bytes a copy (65535 marking a missing copy). A locus with more
// than 65535 alleles is refused (one line, exit status 1).
// The codes of the data are kept exactly, missing ones included: a missing
// copy reads back the negative code it was written with (-1 when none was
// given), so X[i][a][l] of the data file remains available through Code.
//
// Packed layout: individual i is a row of Words() 64-bit words, locus l in
// bits 2 (l % 32) and 2 (l % 32) + 1 of word l / 32: the genotype value
// 0 (two copies of allele 0), 1 (one of each: copy 0 carries allele 0, copy 1
// allele 1), 2 (two copies of allele 1) or kMissingGenotype (both copies
// missing). Bits past locus L-1 in the last word are 0. Copy-wise reading
// (Index, Code) gives the copies of that order.
class CGenotypeStore {
  public:
    static constexpr int kMissing = -1;  // Index of a missing copy
    static constexpr int kMaxAlleles = 65535;
    static constexpr int kMissingGenotype = 3;  // packed value of a missing genotype
    static constexpr int kLociPerWord = 32;

    CGenotypeStore() = default;
    // Every copy missing, no allele listed; filled by Put, then Finish.
    CGenotypeStore(int N, int A, int L);
    // The codes X[i][a][l] (negative = missing); every individual must have
    // the A x L shape of the first one.
    static CGenotypeStore FromCodes(const INT_VCTR_3D& X);

    // ---- Filling
    // Code of copy a of individual i at locus l, in any order of the copies,
    // each copy once. The alleles are listed as they come; Finish sorts them.
    void Put(int i, int a, int l, int code);
    // Sorts the allele list of every locus and renumbers the copies; the
    // store is then ready to be read (and may be filled further and finished
    // again).
    void Finish();

    // ---- Shape
    int N() const { return m_nN; }
    int A() const { return m_nA; }
    int L() const { return m_nL; }
    bool empty() const { return m_nN == 0 || m_nA == 0 || m_nL == 0; }
    size_t Copies() const { return static_cast<size_t>(m_nN) * m_nA * m_nL; }
    size_t CopyIndex(int i, int a, int l) const {
        return (static_cast<size_t>(i) * m_nA + a) * m_nL + l;
    }
    // Bytes an index takes: 1, or 2 once a locus has more than 255 alleles
    // (0 when packed).
    int BytesPerCopy() const { return m_bPacked ? 0 : m_bWide ? 2 : 1; }
    // Bytes the genotypes take (the allele lists aside).
    size_t GenotypeBytes() const;

    // ---- Packed layout
    // An empty packed store of N diploid individuals and L loci: every
    // genotype missing, no allele listed; filled by PutLoci, then Finish.
    static CGenotypeStore Packed(int N, int L);
    bool IsPacked() const { return m_bPacked; }
    // Words of a row, and row i (Words() words).
    size_t Words() const { return m_nWords; }
    const uint64_t* Row(int i) const {
        return m_vPacked.data() + static_cast<size_t>(i) * m_nWords;
    }
    // Genotype value of individual i at locus l (packed only).
    int Genotype(int i, int l) const {
        return static_cast<int>(Row(i)[l / kLociPerWord] >> (2 * (l % kLociPerWord))) & 3;
    }
    // True when the store can be packed: A = 2, at most two alleles a
    // locus, and both copies of every genotype missing or both observed.
    bool CanPack() const;
    // Packs the store when it can be (after Finish); returns IsPacked().
    bool Pack();
    // The allele slot of code at locus l while the store is filled (a new
    // code gets the next slot; Finish sorts them).
    int AddAllele(int l, int code) { return AlleleSlot(l, code); }
    // Genotypes of count loci first .. first+count-1 (count <= 32, first a
    // multiple of 32), values[c * N + i] for locus first + c: 0, 1 or 2
    // copies of the allele of slot 1, or kMissingGenotype.
    void PutLoci(int first, int count, const uint8_t* values);

    // ---- Reading (after Finish)
    // Allele index of a copy (its position in Alleles(l)), kMissing when the
    // copy is missing.
    int Index(int i, int a, int l) const {
        return m_bPacked ? PackedIndex(i, a, l) : IndexAt(CopyIndex(i, a, l));
    }
    int IndexAt(size_t copy) const {
        if (m_bPacked)
            return PackedIndex(static_cast<int>(copy / (static_cast<size_t>(m_nA) * m_nL)),
                               static_cast<int>(copy / m_nL % m_nA), static_cast<int>(copy % m_nL));
        if (m_bWide) {
            const uint16_t v = m_vWide[copy];
            return v == kWideMissing ? kMissing : v;
        }
        const uint8_t v = m_vNarrow[copy];
        return v == kNarrowMissing ? kMissing : v;
    }
    // The code of a copy as the data gave it (negative when missing).
    int Code(int i, int a, int l) const;
    // The A x L codes of individual i, and all of them (N x A x L).
    INT_VCTR_2D Codes(int i) const;
    INT_VCTR_3D ToCodes() const;
    // The alleles of locus l: the distinct non-negative codes, increasing.
    const INT_VCTR_1D& Alleles(int l) const { return m_vvAlleles[l]; }
    int J(int l) const { return static_cast<int>(m_vvAlleles[l].size()); }
    // Every locus's list, and their lengths.
    INT_VCTR_2D AlleleLists() const { return m_vvAlleles; }
    INT_VCTR_1D AlleleCounts() const;
    // Position of code in Alleles(l), kMissing when it is not there.
    int FindAllele(int l, int code) const;
    // True when some locus has missing copies written with different
    // negative codes (the codes of two missing copies then may differ).
    bool HasSeveralMissingCodes() const { return !m_vOtherMissing.empty(); }

    // The indices of every copy in copy order, for the loops that read them
    // all: visit(const uint8_t*) or visit(const uint16_t*), the missing
    // marker being the largest value of the type (MissingMarker). A packed
    // store is expanded for the visit into a temporary of one byte a copy:
    // the sweeps read packed rows in place instead.
    template <class Visit>
    decltype(auto) VisitIndices(Visit&& visit) const {
        if (m_bPacked) {
            const std::vector<uint8_t> expanded = ExpandIndices();
            return visit(expanded.data());
        }
        return m_bWide ? visit(m_vWide.data()) : visit(m_vNarrow.data());
    }
    template <class T>
    static constexpr T MissingMarker() {
        return std::numeric_limits<T>::max();
    }

    // ---- Rewriting
    // Copy a of individual i at locus l now carries allele j of Alleles(l)
    // (kMissing: missing).
    void SetIndex(int i, int a, int l, int j);

    // ---- Parts, with the allele lists of the whole
    // The individuals of rows (0-based, in that order).
    CGenotypeStore SelectIndividuals(const INT_VCTR_1D& rows) const;
    // The loci of loci (0-based, in that order).
    CGenotypeStore SelectLoci(const INT_VCTR_1D& loci) const;

  private:
    int PackedIndex(int i, int a, int l) const {
        const int g = Genotype(i, l);
        if (g == kMissingGenotype)
            return kMissing;
        return a == 0 ? g >> 1 : (g + 1) >> 1;
    }
    std::vector<uint8_t> ExpandIndices() const;
    void PackFromCopies();
    // The missing codes of the rows (individuals) of a part.
    void CopyOtherMissing(const INT_VCTR_1D& rows, CGenotypeStore& part) const;
    void SwapPackedAlleles(int l);

    static constexpr uint8_t kNarrowMissing = std::numeric_limits<uint8_t>::max();
    static constexpr uint16_t kWideMissing = std::numeric_limits<uint16_t>::max();

    void Store(size_t copy, int index);
    int AlleleSlot(int l, int code);
    void Widen();
    void NoteMissingCode(size_t copy, int l, int code);
    // An empty store of the given shape with no copy yet.
    CGenotypeStore EmptyLike(int N, int L) const;

    int m_nN = 0, m_nA = 0, m_nL = 0;
    bool m_bWide = false;
    bool m_bPacked = false;
    size_t m_nWords = 0;
    std::vector<uint64_t> m_vPacked;
    bool m_bSorted = true;
    std::vector<uint8_t> m_vNarrow;
    std::vector<uint16_t> m_vWide;
    INT_VCTR_2D m_vvAlleles;
    // While filling: code -> slot of the loci with many alleles.
    std::vector<std::unordered_map<int, int>> m_vLookup;
    // The negative code of the missing copies of each locus (the first one
    // met; 0 before any), and the copies whose missing code differs from
    // it, sorted by copy.
    INT_VCTR_1D m_vnMissingCode;
    std::vector<std::pair<size_t, int>> m_vOtherMissing;
};

#endif

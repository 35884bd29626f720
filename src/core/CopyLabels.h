// The cluster label of every allele copy (individual i, copy a, locus l),
// packed as tightly as the number of clusters allows: 2 bits a label up to
// 4 clusters, 4 bits up to 16, a byte up to 256. zadMix[i][a][l] reads and
// writes a label as with nested vectors (through a small reference object);
// zadMix[i][a] is the row of the L labels of one copy.
//
// Each row (i, a) starts on a 64-bit word of its own, so that the rows of
// two individuals never share a word: threads may write the labels of
// different individuals at once.
#ifndef BRELO_CORE_COPYLABELS_H
#define BRELO_CORE_COPYLABELS_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/VectorUtilities.h"

class CCopyLabels {
  public:
    static constexpr int kMaxClusters = 256;

    CCopyLabels() = default;
    CCopyLabels(int N, int A, int L, int clusters = kMaxClusters) { Assign(N, A, L, clusters); }
    // From nested vectors N x A x L (each individual of the first one's
    // shape), as narrow as their largest label allows.
    CCopyLabels& operator=(const INT_VCTR_3D& labels);

    // Every label 0, room for labels 0..clusters-1 (1 to 256 clusters).
    void Assign(int N, int A, int L, int clusters = kMaxClusters);

    int N() const { return m_nN; }
    int A() const { return m_nA; }
    int L() const { return m_nL; }
    bool empty() const { return m_v.empty(); }
    // Individuals, as size() of nested vectors.
    size_t size() const { return static_cast<size_t>(m_nN); }
    // Bits a label: 2, 4 or 8.
    int Bits() const { return 1 << m_nBitShift; }
    // Bytes held by the labels.
    size_t Bytes() const { return m_v.size() * sizeof(uint64_t); }

    // The position of label l in a row of labels 2^bitShift bits wide.
    struct SPlace {
        size_t word;
        unsigned shift;
    };
    static SPlace Place(int l, unsigned bitShift) {
        const unsigned perWordShift = 6u - bitShift;  // labels a word: 2^perWordShift
        const unsigned index = static_cast<unsigned>(l);
        return {index >> perWordShift, (index & ((1u << perWordShift) - 1u)) << bitShift};
    }
    static uint64_t Mask(unsigned bitShift) { return (uint64_t{1} << (1u << bitShift)) - 1u; }

    // A read-only row of L labels.
    class CConstRow {
      public:
        CConstRow(const uint64_t* words, unsigned bitShift) : m_w(words), m_nBitShift(bitShift) {}
        int operator[](int l) const {
            const SPlace at = Place(l, m_nBitShift);
            return static_cast<int>((m_w[at.word] >> at.shift) & Mask(m_nBitShift));
        }

      private:
        const uint64_t* m_w;
        unsigned m_nBitShift;
    };

    // One label that can be read and written, as a uint8_t& would be.
    class CRef {
      public:
        CRef(uint64_t* word, unsigned shift, uint64_t mask)
            : m_w(word), m_nShift(shift), m_mask(mask) {}
        CRef(const CRef&) = default;
        operator int() const { return static_cast<int>((*m_w >> m_nShift) & m_mask); }
        // A label beyond the row's width is cut to it, never spilt over the
        // neighbouring labels.
        CRef& operator=(int k) {
            *m_w =
                (*m_w & ~(m_mask << m_nShift)) | ((static_cast<uint64_t>(k) & m_mask) << m_nShift);
            return *this;
        }
        CRef& operator=(const CRef& other) { return *this = static_cast<int>(other); }

      private:
        uint64_t* m_w;
        unsigned m_nShift;
        uint64_t m_mask;
    };

    // A row of L labels that can be written.
    class CRow {
      public:
        CRow(uint64_t* words, unsigned bitShift) : m_w(words), m_nBitShift(bitShift) {}
        CRef operator[](int l) const {
            const SPlace at = Place(l, m_nBitShift);
            return {m_w + at.word, at.shift, Mask(m_nBitShift)};
        }
        operator CConstRow() const { return {m_w, m_nBitShift}; }

      private:
        uint64_t* m_w;
        unsigned m_nBitShift;
    };

    // zadMix[i]: the A rows of individual i.
    template <class Row, class Word>
    class CIndividual {
      public:
        CIndividual(Word* first, size_t rowWords, unsigned bitShift)
            : m_p(first), m_nRowWords(rowWords), m_nBitShift(bitShift) {}
        Row operator[](int a) const {
            return Row(m_p + static_cast<size_t>(a) * m_nRowWords, m_nBitShift);
        }

      private:
        Word* m_p;
        size_t m_nRowWords;
        unsigned m_nBitShift;
    };
    CIndividual<CRow, uint64_t> operator[](int i) {
        return {m_v.data() + Row(i), m_nRowWords, m_nBitShift};
    }
    CIndividual<CConstRow, const uint64_t> operator[](int i) const {
        return {m_v.data() + Row(i), m_nRowWords, m_nBitShift};
    }

    // The same shape and labels, whatever the width of either.
    bool operator==(const CCopyLabels& other) const;
    bool operator!=(const CCopyLabels& other) const { return !(*this == other); }

  private:
    size_t Row(int i) const { return static_cast<size_t>(i) * m_nA * m_nRowWords; }

    int m_nN = 0, m_nA = 0, m_nL = 0;
    unsigned m_nBitShift = 3;  // log2 of the bits a label
    size_t m_nRowWords = 0;    // words a row (i, a)
    std::vector<uint64_t> m_v;
};

#endif

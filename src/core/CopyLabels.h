// The cluster label of every allele copy (individual i, copy a, locus l), one
// byte each, so at most 256 clusters. zadMix[i][a][l] reads and writes a
// label as with nested vectors; the labels lie in the order
// (i * A + a) * L + l.
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
    CCopyLabels(int N, int A, int L, int k = 0) { Assign(N, A, L, k); }
    // From nested vectors N x A x L (each individual of the first one's shape).
    CCopyLabels& operator=(const INT_VCTR_3D& labels);

    void Assign(int N, int A, int L, int k = 0) {
        m_nN = N;
        m_nA = A;
        m_nL = L;
        m_v.assign(static_cast<size_t>(N) * A * L, static_cast<uint8_t>(k));
    }

    int N() const { return m_nN; }
    int A() const { return m_nA; }
    int L() const { return m_nL; }
    bool empty() const { return m_v.empty(); }
    // Individuals, as size() of nested vectors.
    size_t size() const { return static_cast<size_t>(m_nN); }

    // zadMix[i][a] is the row of the L labels of copy a of individual i.
    template <class T>
    class CIndividual {
      public:
        CIndividual(T* first, int L) : m_p(first), m_nL(L) {}
        T* operator[](int a) const { return m_p + static_cast<size_t>(a) * m_nL; }

      private:
        T* m_p;
        int m_nL;
    };
    CIndividual<uint8_t> operator[](int i) { return {m_v.data() + Row(i), m_nL}; }
    CIndividual<const uint8_t> operator[](int i) const { return {m_v.data() + Row(i), m_nL}; }

    const uint8_t* data() const { return m_v.data(); }
    bool operator==(const CCopyLabels& other) const {
        return m_nN == other.m_nN && m_nA == other.m_nA && m_nL == other.m_nL && m_v == other.m_v;
    }

  private:
    size_t Row(int i) const { return static_cast<size_t>(i) * m_nA * m_nL; }

    int m_nN = 0, m_nA = 0, m_nL = 0;
    std::vector<uint8_t> m_v;
};

#endif

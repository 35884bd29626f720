#include "core/CopyLabels.h"

#include <algorithm>
#include <stdexcept>

namespace {

// log2 of the bits a label needs for the labels 0..clusters-1.
unsigned BitShiftFor(int clusters) {
    if (clusters < 1 || clusters > CCopyLabels::kMaxClusters)
        throw std::invalid_argument("copy labels: the number of clusters must be 1 to 256");
    return clusters <= 4 ? 1u : clusters <= 16 ? 2u : 3u;
}

}  // namespace

void CCopyLabels::Assign(int N, int A, int L, int clusters) {
    m_nBitShift = BitShiftFor(clusters);
    m_nN = N;
    m_nA = A;
    m_nL = L;
    const size_t perWord = size_t{64} >> m_nBitShift;
    m_nRowWords = (static_cast<size_t>(L) + perWord - 1) / perWord;
    m_v.assign(static_cast<size_t>(N) * A * m_nRowWords, 0);
}

CCopyLabels& CCopyLabels::operator=(const INT_VCTR_3D& labels) {
    const int N = static_cast<int>(labels.size());
    const int A = N > 0 ? static_cast<int>(labels[0].size()) : 0;
    const int L = A > 0 ? static_cast<int>(labels[0][0].size()) : 0;
    int largest = 0;
    for (const INT_VCTR_2D& individual : labels)
        for (const INT_VCTR_1D& copy : individual)
            for (int k : copy)
                largest = std::max(largest, k);
    Assign(N, A, L, std::min(largest + 1, kMaxClusters));
    for (int i = 0; i < N; ++i)
        for (int a = 0; a < A && a < static_cast<int>(labels[i].size()); ++a)
            for (int l = 0; l < L && l < static_cast<int>(labels[i][a].size()); ++l)
                (*this)[i][a][l] = labels[i][a][l];
    return *this;
}

bool CCopyLabels::operator==(const CCopyLabels& other) const {
    if (m_nN != other.m_nN || m_nA != other.m_nA || m_nL != other.m_nL)
        return false;
    // Unused bits of the rows stay 0: rows of one width compare as words.
    if (m_nBitShift == other.m_nBitShift)
        return m_v == other.m_v;
    for (int i = 0; i < m_nN; ++i)
        for (int a = 0; a < m_nA; ++a) {
            const CConstRow mine = (*this)[i][a], theirs = other[i][a];
            for (int l = 0; l < m_nL; ++l)
                if (mine[l] != theirs[l])
                    return false;
        }
    return true;
}

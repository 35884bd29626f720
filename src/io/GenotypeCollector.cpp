#include "io/GenotypeCollector.h"

#include <limits>

void CGenotypeCollector::Widen() {
    m_vWide.assign(m_vNarrow.begin(), m_vNarrow.end());
    std::vector<uint8_t>().swap(m_vNarrow);
    m_bWide = true;
}

void CGenotypeCollector::Append(const int* codes, size_t count) {
    for (size_t c = 0; c < count; ++c) {
        const int stored = codes[c] < 0 ? 0 : codes[c] + 1;
        if (!m_bWide && stored > std::numeric_limits<uint8_t>::max())
            Widen();
        if (m_bWide)
            m_vWide.push_back(static_cast<uint16_t>(stored));
        else
            m_vNarrow.push_back(static_cast<uint8_t>(stored));
    }
}

void CGenotypeCollector::AppendMissing(size_t count) {
    if (m_bWide)
        m_vWide.insert(m_vWide.end(), count, 0);
    else
        m_vNarrow.insert(m_vNarrow.end(), count, 0);
}

void CGenotypeCollector::Clear() {
    std::vector<uint8_t>().swap(m_vNarrow);
    std::vector<uint16_t>().swap(m_vWide);
    m_bWide = false;
}

CGenotypeStore CGenotypeCollector::ToStore(int N, int A, int L, bool byLocus) {
    CGenotypeStore store(N, A, L);
    // The blocks, then the positions inside a block, in the order appended.
    const int blocks = byLocus ? L : N, outer = byLocus ? N : A, inner = byLocus ? A : L;
    size_t p = 0;
    for (int b = 0; b < blocks; ++b)
        for (int o = 0; o < outer; ++o)
            for (int n = 0; n < inner; ++n, ++p) {
                const int code = CodeAt(p);
                if (code < 0)
                    continue;
                if (byLocus)
                    store.Put(o, n, b, code);
                else
                    store.Put(b, o, n, code);
            }
    Clear();
    store.Finish();
    return store;
}

#include "voronoi/PriorityQueue.h"

#include "voronoi/HalfEdgeList.h"

void CPriorityQueue::Initialize(double dYMin, double dYMax, int nSize) {
    m_dYMin = dYMin;
    m_dYMax = dYMax;
    m_dDY = dYMax - dYMin;
    m_nSize = nSize < 1 ? 1 : nSize;
    m_vheHash.assign(static_cast<size_t>(m_nSize), SHalfEdge());
    m_nCount = 0;
    m_nMin = 0;
}

int CPriorityQueue::Bucket(const SHalfEdge* phe) {
    const int bucket = HashBucket(phe->m_dYStar, m_dYMin, m_dDY, m_nSize);
    if (bucket < m_nMin)
        m_nMin = bucket;
    return bucket;
}

// Order within a bucket: by sweep position, then by vertex x.
static bool QueuedAfter(const SHalfEdge* a, const SHalfEdge* b) {
    return a->m_dYStar > b->m_dYStar || (a->m_dYStar == b->m_dYStar &&
                                         a->m_pptVertex->m_psXY.m_dX > b->m_pptVertex->m_psXY.m_dX);
}

void CPriorityQueue::Insert(SHalfEdge* phe, SPoint* pptVertex, double dOffset) {
    phe->m_pptVertex = pptVertex;
    phe->m_dYStar = pptVertex->m_psXY.m_dY + dOffset;
    // A new entry goes ahead of any entry with exactly the same key.
    SHalfEdge* last = &m_vheHash[static_cast<size_t>(Bucket(phe))];
    SHalfEdge* next;
    while ((next = last->m_phePQNext) != nullptr && QueuedAfter(phe, next))
        last = next;
    phe->m_phePQNext = last->m_phePQNext;
    last->m_phePQNext = phe;
    ++m_nCount;
}

void CPriorityQueue::Delete(SHalfEdge* phe) {
    if (phe->m_pptVertex == nullptr)
        return;
    SHalfEdge* last = &m_vheHash[static_cast<size_t>(Bucket(phe))];
    while (last->m_phePQNext != nullptr && last->m_phePQNext != phe)
        last = last->m_phePQNext;
    if (last->m_phePQNext == phe) {
        last->m_phePQNext = phe->m_phePQNext;
        --m_nCount;
    }
    phe->m_pptVertex = nullptr;
}

SPosition CPriorityQueue::GetMinPosition() {
    while (m_vheHash[static_cast<size_t>(m_nMin)].m_phePQNext == nullptr)
        ++m_nMin;
    const SHalfEdge* first = m_vheHash[static_cast<size_t>(m_nMin)].m_phePQNext;
    SPosition ps;
    ps.m_dX = first->m_pptVertex->m_psXY.m_dX;
    ps.m_dY = first->m_dYStar;
    return ps;
}

SHalfEdge* CPriorityQueue::ExtractMinHalfEdge() {
    SHalfEdge* head = &m_vheHash[static_cast<size_t>(m_nMin)];
    SHalfEdge* first = head->m_phePQNext;
    head->m_phePQNext = first->m_phePQNext;
    --m_nCount;
    return first;
}

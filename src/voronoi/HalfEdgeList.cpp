#include "voronoi/HalfEdgeList.h"

#include <cmath>

int HashBucket(double v, double dMin, double dRange, int nSize) {
    const double q = (v - dMin) / dRange * nSize;
    if (!std::isfinite(q) || q < 0.0)
        return 0;
    if (q >= static_cast<double>(nSize))
        return nSize - 1;
    return static_cast<int>(q);  // towards zero
}

SEdge* CHalfEdgeList::DeletedMark() {
    static SEdge s_eDeleted;
    return &s_eDeleted;
}

void CHalfEdgeList::Initialize(double dXMin, double dXMax, int nSize) {
    m_dXMin = dXMin;
    m_dXMax = dXMax;
    m_dDX = dXMax - dXMin;
    m_nSize = nSize < 2 ? 2 : nSize;  // room for the two sentinels
    m_vpheHash.assign(static_cast<size_t>(m_nSize), nullptr);
    m_fnlhePrivate.Initialize(1024);
    m_pheLftEnd = Create(nullptr, 0);
    m_pheRhtEnd = Create(nullptr, 0);
    m_pheLftEnd->m_pheLft = nullptr;
    m_pheLftEnd->m_pheRht = m_pheRhtEnd;
    m_pheRhtEnd->m_pheLft = m_pheLftEnd;
    m_pheRhtEnd->m_pheRht = nullptr;
    m_vpheHash[0] = m_pheLftEnd;
    m_vpheHash[static_cast<size_t>(m_nSize - 1)] = m_pheRhtEnd;
}

SHalfEdge* CHalfEdgeList::Create(SEdge* peEdge, int nSide) {
    SHalfEdge* phe = m_fnlhePrivate.GetFreeNode();
    phe->m_pheLft = nullptr;
    phe->m_pheRht = nullptr;
    phe->m_peEdge = peEdge;
    phe->m_nSide = nSide;
    phe->m_pptVertex = nullptr;
    phe->m_dYStar = 0.0;
    phe->m_phePQNext = nullptr;
    return phe;
}

void CHalfEdgeList::Insert(SHalfEdge* pheLft, SHalfEdge* pheNew) {
    pheNew->m_pheLft = pheLft;
    pheNew->m_pheRht = pheLft->m_pheRht;
    pheLft->m_pheRht->m_pheLft = pheNew;
    pheLft->m_pheRht = pheNew;
}

void CHalfEdgeList::Delete(SHalfEdge* phe) {
    phe->m_pheLft->m_pheRht = phe->m_pheRht;
    phe->m_pheRht->m_pheLft = phe->m_pheLft;
    phe->m_peEdge = DeletedMark();
}

SPoint* CHalfEdgeList::GetLftRegPnt(const SHalfEdge* phe, SPoint* pptBottom) const {
    if (phe->m_peEdge == nullptr)
        return pptBottom;
    return phe->m_nSide == 0 ? phe->m_peEdge->m_pptReg[0] : phe->m_peEdge->m_pptReg[1];
}

SPoint* CHalfEdgeList::GetRhtRegPnt(const SHalfEdge* phe, SPoint* pptBottom) const {
    if (phe->m_peEdge == nullptr)
        return pptBottom;
    return phe->m_nSide == 0 ? phe->m_peEdge->m_pptReg[1] : phe->m_peEdge->m_pptReg[0];
}

SHalfEdge* CHalfEdgeList::GetHash(int nBucket) {
    if (nBucket < 0 || nBucket >= m_nSize)
        return nullptr;
    SHalfEdge* phe = m_vpheHash[static_cast<size_t>(nBucket)];
    if (phe == nullptr || phe->m_peEdge != DeletedMark())
        return phe;
    // A stale shortcut: the half-edge left the line since it was stored.
    m_vpheHash[static_cast<size_t>(nBucket)] = nullptr;
    return nullptr;
}

bool CHalfEdgeList::RightOf(const SHalfEdge* phe, const SPosition& p) const {
    const SEdge* e = phe->m_peEdge;
    const SPosition& top = e->m_pptReg[1]->m_psXY;
    const bool rightOfSite = p.m_dX > top.m_dX;
    if (rightOfSite && phe->m_nSide == 0)
        return true;
    if (!rightOfSite && phe->m_nSide == 1)
        return false;

    bool above;
    if (e->m_dA == 1.0) {
        const double dyp = p.m_dY - top.m_dY;
        const double dxp = p.m_dX - top.m_dX;
        bool fast = false;
        if ((!rightOfSite && e->m_dB < 0.0) || (rightOfSite && e->m_dB >= 0.0)) {
            above = dyp >= e->m_dB * dxp;
            fast = above;
        } else {
            above = p.m_dX + p.m_dY * e->m_dB > e->m_dC;
            if (e->m_dB < 0.0)
                above = !above;
            if (!above)
                fast = true;
        }
        if (!fast) {
            const double dxs = top.m_dX - e->m_pptReg[0]->m_psXY.m_dX;
            above = e->m_dB * (dxp * dxp - dyp * dyp) <
                    dxs * dyp * (1.0 + 2.0 * dxp / dxs + e->m_dB * e->m_dB);
            if (e->m_dB < 0.0)
                above = !above;
        }
    } else {
        const double yl = e->m_dC - e->m_dA * p.m_dX;
        const double t1 = p.m_dY - yl;
        const double t2 = p.m_dX - top.m_dX;
        const double t3 = yl - top.m_dY;
        above = t1 * t1 > t2 * t2 + t3 * t3;
    }
    return phe->m_nSide == 0 ? above : !above;
}

SHalfEdge* CHalfEdgeList::GetLftBnd(const SPosition& p) {
    const int bucket = HashBucket(p.m_dX, m_dXMin, m_dDX, m_nSize);

    // Nearest live shortcut, searching outwards; the sentinels in the first
    // and last buckets end the search.
    SHalfEdge* he = GetHash(bucket);
    for (int i = 1; he == nullptr; ++i) {
        if ((he = GetHash(bucket - i)) != nullptr)
            break;
        he = GetHash(bucket + i);
    }

    // Walk the line to the half-edge immediately left of p.
    if (he == m_pheLftEnd || (he != m_pheRhtEnd && RightOf(he, p))) {
        do {
            he = he->m_pheRht;
        } while (he != m_pheRhtEnd && RightOf(he, p));
        he = he->m_pheLft;
    } else {
        do {
            he = he->m_pheLft;
        } while (he != m_pheLftEnd && !RightOf(he, p));
    }

    if (bucket > 0 && bucket < m_nSize - 1)
        m_vpheHash[static_cast<size_t>(bucket)] = he;
    return he;
}

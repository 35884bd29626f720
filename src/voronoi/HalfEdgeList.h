// The sweep line: a doubly linked list of half-edges between two sentinels,
// with a hash by x of shortcuts into the list.
#ifndef BRELO_VORONOI_HALFEDGELIST_H
#define BRELO_VORONOI_HALFEDGELIST_H

#include <vector>

#include "voronoi/FortuneStructures.h"
#include "voronoi/FreeNodeList.h"

class CHalfEdgeList {
  public:
    CHalfEdgeList() { Initialize(-8.0, 8.0, 1024); }
    CHalfEdgeList(double dXMin, double dXMax, int nSize) { Initialize(dXMin, dXMax, nSize); }
    virtual ~CHalfEdgeList() = default;
    CHalfEdgeList(const CHalfEdgeList&) = delete;
    CHalfEdgeList& operator=(const CHalfEdgeList&) = delete;

    void Initialize(double dXMin, double dXMax, int nSize);

    SHalfEdge* Create(SEdge* peEdge, int nSide);
    void Insert(SHalfEdge* pheLft, SHalfEdge* pheNew);
    void Delete(SHalfEdge* phe);

    SHalfEdge* GetLft(const SHalfEdge* phe) const { return phe->m_pheLft; }
    SHalfEdge* GetRht(const SHalfEdge* phe) const { return phe->m_pheRht; }
    SHalfEdge* GetLftEnd() const { return m_pheLftEnd; }
    SHalfEdge* GetRhtEnd() const { return m_pheRhtEnd; }

    SPoint* GetLftRegPnt(const SHalfEdge* phe, SPoint* pptBottom) const;
    SPoint* GetRhtRegPnt(const SHalfEdge* phe, SPoint* pptBottom) const;

    SHalfEdge* GetHash(int nBucket);
    bool RightOf(const SHalfEdge* phe, const SPosition& ps) const;
    SHalfEdge* GetLftBnd(const SPosition& ps);

    // The reserved non-null edge value of a half-edge that left the line.
    static SEdge* DeletedMark();

  protected:
    std::vector<SHalfEdge*> m_vpheHash;
    int m_nSize = 0;
    SHalfEdge* m_pheLftEnd = nullptr;
    SHalfEdge* m_pheRhtEnd = nullptr;
    CFreeNodeList<SHalfEdge> m_fnlhePrivate;
    double m_dXMin = 0.0;
    double m_dXMax = 0.0;
    double m_dDX = 0.0;
};

// Bucket index of v within [dMin, dMin + dRange) split into nSize buckets,
// clamped to 0..nSize-1; a negative or non-finite quotient gives 0.
int HashBucket(double v, double dMin, double dRange, int nSize);

#endif

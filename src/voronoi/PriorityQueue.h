// The event queue of the sweep: circle events bucketed by their sweep
// position, each bucket a list ordered by (position, vertex x).
#ifndef BRELO_VORONOI_PRIORITYQUEUE_H
#define BRELO_VORONOI_PRIORITYQUEUE_H

#include <vector>

#include "voronoi/FortuneStructures.h"

class CPriorityQueue {
  public:
    CPriorityQueue() { Initialize(-8.0, 8.0, 1024); }
    CPriorityQueue(double dYMin, double dYMax, int nSize) { Initialize(dYMin, dYMax, nSize); }
    virtual ~CPriorityQueue() = default;
    CPriorityQueue(const CPriorityQueue&) = delete;
    CPriorityQueue& operator=(const CPriorityQueue&) = delete;

    void Initialize(double dYMin, double dYMax, int nSize);

    int Bucket(const SHalfEdge* phe);
    void Insert(SHalfEdge* phe, SPoint* pptVertex, double dOffset);
    void Delete(SHalfEdge* phe);
    bool Empty() const { return m_nCount == 0; }
    int GetCount() const { return m_nCount; }
    SPosition GetMinPosition();
    SHalfEdge* ExtractMinHalfEdge();

  protected:
    std::vector<SHalfEdge> m_vheHash;
    int m_nSize = 0;
    int m_nCount = 0;
    int m_nMin = 0;
    double m_dYMin = 0.0;
    double m_dYMax = 0.0;
    double m_dDY = 0.0;
};

#endif

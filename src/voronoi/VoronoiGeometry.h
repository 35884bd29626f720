// Geometric kernel of the sweep (bisectors, intersections, vertices) and the
// clipping box: the data bounds widened by 10 % of each axis range.
#ifndef BRELO_VORONOI_VORONOIGEOMETRY_H
#define BRELO_VORONOI_VORONOIGEOMETRY_H

#include "voronoi/FortuneStructures.h"
#include "voronoi/FreeNodeList.h"

class CVoronoiGeometry {
  public:
    CVoronoiGeometry() : CVoronoiGeometry(-8.0, 8.0, -8.0, 8.0) {}
    CVoronoiGeometry(double dXMin, double dXMax, double dYMin, double dYMax);
    virtual ~CVoronoiGeometry() = default;
    CVoronoiGeometry(const CVoronoiGeometry&) = delete;
    CVoronoiGeometry& operator=(const CVoronoiGeometry&) = delete;

    SEdge* Bisect(SPoint* pptS1, SPoint* pptS2);
    SPoint* Intersect(const SHalfEdge* phe1, const SHalfEdge* phe2);
    static bool EndPoint(SEdge* pe, int nSide, SPoint* pptVertex);
    void MakeVertex(SPoint* pptVertex) { pptVertex->m_nIndex = m_nNoV++; }
    static double Distance(const SPoint* ppt1, const SPoint* ppt2);

    // Clips an edge to the box; writes both ends, or neither when the edge
    // misses the box.
    void ClipEdge(const SEdge* pe, SPosition& psOne, SPosition& psTwo) const;

    double GetXMinLmt() const { return m_dXMinLmt; }
    double GetXMaxLmt() const { return m_dXMaxLmt; }
    double GetYMinLmt() const { return m_dYMinLmt; }
    double GetYMaxLmt() const { return m_dYMaxLmt; }
    int GetNoV() const { return m_nNoV; }
    int GetNoE() const { return m_nNoE; }

  protected:
    double m_dXMin, m_dXMax, m_dYMin, m_dYMax;
    double m_dXMinLmt, m_dXMaxLmt, m_dYMinLmt, m_dYMaxLmt;
    int m_nNoV = 0;
    int m_nNoE = 0;
    CFreeNodeList<SEdge> m_fnlePrivate;
    CFreeNodeList<SPoint> m_fnlptPrivate;
};

#endif

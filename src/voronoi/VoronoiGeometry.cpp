#include "voronoi/VoronoiGeometry.h"

#include <cmath>

CVoronoiGeometry::CVoronoiGeometry(double dXMin, double dXMax, double dYMin, double dYMax)
    : m_dXMin(dXMin),
      m_dXMax(dXMax),
      m_dYMin(dYMin),
      m_dYMax(dYMax),
      m_dXMinLmt(dXMin - 0.1 * (dXMax - dXMin)),
      m_dXMaxLmt(dXMax + 0.1 * (dXMax - dXMin)),
      m_dYMinLmt(dYMin - 0.1 * (dYMax - dYMin)),
      m_dYMaxLmt(dYMax + 0.1 * (dYMax - dYMin)) {}

SEdge* CVoronoiGeometry::Bisect(SPoint* pptS1, SPoint* pptS2) {
    SEdge* e = m_fnlePrivate.GetFreeNode();
    e->m_pptReg[0] = pptS1;
    e->m_pptReg[1] = pptS2;
    e->m_pptEnd[0] = nullptr;
    e->m_pptEnd[1] = nullptr;

    const double dx = pptS2->m_psXY.m_dX - pptS1->m_psXY.m_dX;
    const double dy = pptS2->m_psXY.m_dY - pptS1->m_psXY.m_dY;
    const double c = pptS1->m_psXY.m_dX * dx + pptS1->m_psXY.m_dY * dy + (dx * dx + dy * dy) * 0.5;
    if (std::fabs(dx) > std::fabs(dy)) {
        e->m_dA = 1.0;
        e->m_dB = dy / dx;
        e->m_dC = c / dx;
    } else {
        e->m_dB = 1.0;
        e->m_dA = dx / dy;
        e->m_dC = c / dy;
    }
    e->m_nIndex = m_nNoE++;
    return e;
}

// The half-edge whose edge has the lower top site (sweep order) decides on
// which side of it the meeting point must lie.
static const SHalfEdge* ReferenceHalfEdge(const SHalfEdge* phe1, const SHalfEdge* phe2) {
    const SPosition& top1 = phe1->m_peEdge->m_pptReg[1]->m_psXY;
    const SPosition& top2 = phe2->m_peEdge->m_pptReg[1]->m_psXY;
    if (top1.m_dY < top2.m_dY || (top1.m_dY == top2.m_dY && top1.m_dX < top2.m_dX))
        return phe1;
    return phe2;
}

SPoint* CVoronoiGeometry::Intersect(const SHalfEdge* phe1, const SHalfEdge* phe2) {
    const SEdge* e1 = phe1->m_peEdge;
    const SEdge* e2 = phe2->m_peEdge;
    if (e1 == nullptr || e2 == nullptr || e1->m_pptReg[1] == e2->m_pptReg[1])
        return nullptr;
    const double d = e1->m_dA * e2->m_dB - e1->m_dB * e2->m_dA;
    if (-1e-68 < d && d < 1e-68)
        return nullptr;
    const double x = (e1->m_dC * e2->m_dB - e2->m_dC * e1->m_dB) / d;
    const double y = (e2->m_dC * e1->m_dA - e1->m_dC * e2->m_dA) / d;

    const SHalfEdge* ref = ReferenceHalfEdge(phe1, phe2);
    const bool rightOfSite = x >= ref->m_peEdge->m_pptReg[1]->m_psXY.m_dX;
    if ((rightOfSite && ref->m_nSide == 0) || (!rightOfSite && ref->m_nSide == 1))
        return nullptr;

    SPoint* v = m_fnlptPrivate.GetFreeNode();
    v->m_psXY.m_dX = x;
    v->m_psXY.m_dY = y;
    v->m_nIndex = 0;
    return v;
}

bool CVoronoiGeometry::EndPoint(SEdge* pe, int nSide, SPoint* pptVertex) {
    pe->m_pptEnd[nSide] = pptVertex;
    return pe->m_pptEnd[1 - nSide] != nullptr;
}

double CVoronoiGeometry::Distance(const SPoint* ppt1, const SPoint* ppt2) {
    const double dx = ppt1->m_psXY.m_dX - ppt2->m_psXY.m_dX;
    const double dy = ppt1->m_psXY.m_dY - ppt2->m_psXY.m_dY;
    return std::sqrt(dx * dx + dy * dy);
}

void CVoronoiGeometry::ClipEdge(const SEdge* e, SPosition& psOne, SPosition& psTwo) const {
    const double xl = m_dXMinLmt, xh = m_dXMaxLmt, yl = m_dYMinLmt, yh = m_dYMaxLmt;
    const double a = e->m_dA, b = e->m_dB, c = e->m_dC;
    double x1, y1, x2, y2;
    if (a == 1.0) {
        // Nearly vertical: walk along y, solve for x.
        const SPoint* s1 = b >= 0.0 ? e->m_pptEnd[1] : e->m_pptEnd[0];
        const SPoint* s2 = b >= 0.0 ? e->m_pptEnd[0] : e->m_pptEnd[1];
        y1 = (s1 != nullptr && s1->m_psXY.m_dY > yl) ? s1->m_psXY.m_dY : yl;
        if (y1 > yh)
            return;
        y2 = (s2 != nullptr && s2->m_psXY.m_dY < yh) ? s2->m_psXY.m_dY : yh;
        if (y2 < yl)
            return;
        x1 = c - b * y1;
        x2 = c - b * y2;
        if ((x1 > xh && x2 > xh) || (x1 < xl && x2 < xl))
            return;
        if (x1 > xh || x1 < xl) {
            x1 = x1 > xh ? xh : xl;
            y1 = (c - x1) / b;
        }
        if (x2 > xh || x2 < xl) {
            x2 = x2 > xh ? xh : xl;
            y2 = (c - x2) / b;
        }
    } else {
        // Nearly horizontal: walk along x, solve for y.
        const SPoint* s1 = e->m_pptEnd[0];
        const SPoint* s2 = e->m_pptEnd[1];
        x1 = (s1 != nullptr && s1->m_psXY.m_dX > xl) ? s1->m_psXY.m_dX : xl;
        if (x1 > xh)
            return;
        x2 = (s2 != nullptr && s2->m_psXY.m_dX < xh) ? s2->m_psXY.m_dX : xh;
        if (x2 < xl)
            return;
        y1 = c - a * x1;
        y2 = c - a * x2;
        if ((y1 > yh && y2 > yh) || (y1 < yl && y2 < yl))
            return;
        if (y1 > yh || y1 < yl) {
            y1 = y1 > yh ? yh : yl;
            x1 = (c - y1) / a;
        }
        if (y2 > yh || y2 < yl) {
            y2 = y2 > yh ? yh : yl;
            x2 = (c - y2) / a;
        }
    }
    psOne.m_dX = x1;
    psOne.m_dY = y1;
    psTwo.m_dX = x2;
    psTwo.m_dY = y2;
}

// Plain records shared by the Voronoi sweep, the neighbourhood system, the
// Voronoi file and the drawings: positions, sites and vertices, edges (pointer
// form while the sweep runs, value form for callers and files), half-edges of
// the sweep line and weighted neighbours.
#ifndef BRELO_VORONOI_FORTUNESTRUCTURES_H
#define BRELO_VORONOI_FORTUNESTRUCTURES_H

#include <iosfwd>

// Coordinate that marks an absent end or site of a CEdge (an edge running to
// infinity on that side). Stored files rely on this exact value.
constexpr double kAbsentCoordinate = 1e168;

struct SPosition {
    double m_dX = 0.0;
    double m_dY = 0.0;

    bool operator==(const SPosition& o) const { return m_dX == o.m_dX && m_dY == o.m_dY; }
    bool operator!=(const SPosition& o) const { return !(*this == o); }
};

// A site (m_nIndex = the caller's point index; indices >= N mark dummy points)
// or a Voronoi vertex (m_nIndex = its serial number in the sweep).
struct SPoint {
    SPosition m_psXY;
    int m_nIndex = 0;

    bool operator==(const SPoint& o) const { return m_psXY == o.m_psXY && m_nIndex == o.m_nIndex; }
    bool operator!=(const SPoint& o) const { return !(*this == o); }
};

// An edge while the sweep runs, on the line m_dA*x + m_dB*y = m_dC. Either
// m_dA or m_dB is exactly 1.0 (m_dA when the sites differ more in x).
struct SEdge {
    double m_dA = 0.0;
    double m_dB = 0.0;
    double m_dC = 0.0;
    SPoint* m_pptEnd[2] = {nullptr, nullptr};  // [0] via the left half-edge, [1] via the right
    SPoint* m_pptReg[2] = {nullptr, nullptr};  // the two sites, lower one (sweep order) first
    int m_nIndex = 0;
};

// A finished edge by value; absent ends hold the absent point.
class CEdge {
  public:
    double m_dA = 0.0;
    double m_dB = 0.0;
    double m_dC = 0.0;
    SPoint m_ptEnd[2];
    SPoint m_ptReg[2];
    int m_nIndex = 0;
};

// One element of the sweep line and, at once, one entry of the event queue.
struct SHalfEdge {
    SHalfEdge* m_pheLft = nullptr;
    SHalfEdge* m_pheRht = nullptr;
    SEdge* m_peEdge = nullptr;      // null for the sentinels; the deleted mark once off the line
    int m_nSide = 0;                // 0 = left half-edge, 1 = right half-edge
    SPoint* m_pptVertex = nullptr;  // queued circle-event vertex, null when not queued
    double m_dYStar = 0.0;          // sweep position at which the event fires
    SHalfEdge* m_phePQNext = nullptr;
};

// One weighted neighbour of a data point.
class CNeighbor {
  public:
    CNeighbor() = default;
    CNeighbor(int nIndex, double dWeight) : m_nIndex(nIndex), m_dWeight(dWeight) {}

    int m_nIndex = 0;
    double m_dWeight = 0.0;
};

// The absent point: (1e168, 1e168), index 0.
SPoint AbsentPoint();

// Text forms: tokens separated by one space, no leading or trailing
// separator, no line end; numbers in the stream's current format. The
// readers take the same tokens in the same order and check nothing (callers
// test the stream state).
std::ostream& operator<<(std::ostream& os, const SPosition& ps);
std::istream& operator>>(std::istream& is, SPosition& ps);
std::ostream& operator<<(std::ostream& os, const SPoint& pt);
std::istream& operator>>(std::istream& is, SPoint& pt);
std::ostream& operator<<(std::ostream& os, const CEdge& e);  // 16 tokens
std::istream& operator>>(std::istream& is, CEdge& e);

#endif

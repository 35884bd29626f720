#include "voronoi/FortuneStructures.h"

#include <istream>
#include <ostream>

SPoint AbsentPoint() {
    SPoint pt;
    pt.m_psXY.m_dX = kAbsentCoordinate;
    pt.m_psXY.m_dY = kAbsentCoordinate;
    pt.m_nIndex = 0;
    return pt;
}

std::ostream& operator<<(std::ostream& os, const SPosition& ps) {
    return os << ps.m_dX << ' ' << ps.m_dY;
}

std::istream& operator>>(std::istream& is, SPosition& ps) {
    return is >> ps.m_dX >> ps.m_dY;
}

std::ostream& operator<<(std::ostream& os, const SPoint& pt) {
    return os << pt.m_psXY << ' ' << pt.m_nIndex;
}

std::istream& operator>>(std::istream& is, SPoint& pt) {
    return is >> pt.m_psXY >> pt.m_nIndex;
}

std::ostream& operator<<(std::ostream& os, const CEdge& e) {
    os << e.m_dA << ' ' << e.m_dB << ' ' << e.m_dC;
    os << ' ' << e.m_ptEnd[0] << ' ' << e.m_ptEnd[1];
    os << ' ' << e.m_ptReg[0] << ' ' << e.m_ptReg[1];
    return os << ' ' << e.m_nIndex;
}

std::istream& operator>>(std::istream& is, CEdge& e) {
    is >> e.m_dA >> e.m_dB >> e.m_dC;
    is >> e.m_ptEnd[0] >> e.m_ptEnd[1] >> e.m_ptReg[0] >> e.m_ptReg[1];
    return is >> e.m_nIndex;
}

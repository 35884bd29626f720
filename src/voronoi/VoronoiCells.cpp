#include "voronoi/VoronoiCells.h"

namespace {

// The part of a convex polygon where (p - mid) . normal <= 0: the side of
// the bisector nearer to the site (normal points from the site to its
// neighbour).
CELL_POLYGON ClipToHalfPlane(const CELL_POLYGON& polygon, const SPosition& mid,
                             const SPosition& normal) {
    const auto side = [&](const SPosition& p) {
        return (p.m_dX - mid.m_dX) * normal.m_dX + (p.m_dY - mid.m_dY) * normal.m_dY;
    };
    CELL_POLYGON out;
    for (size_t i = 0; i < polygon.size(); ++i) {
        const SPosition& a = polygon[i];
        const SPosition& b = polygon[(i + 1) % polygon.size()];
        const double sa = side(a), sb = side(b);
        if (sa <= 0)
            out.push_back(a);
        if ((sa < 0 && sb > 0) || (sa > 0 && sb < 0)) {
            const double t = sa / (sa - sb);
            out.push_back({a.m_dX + t * (b.m_dX - a.m_dX), a.m_dY + t * (b.m_dY - a.m_dY)});
        }
    }
    return out;
}

}  // namespace

std::vector<CELL_POLYGON> GetCellPolygons(const std::vector<SPoint>& vptX,
                                          const std::vector<bool>& vbKeep,
                                          const std::vector<CEdge>& veVoronoi, double xmin,
                                          double xmax, double ymin, double ymax) {
    const int n = static_cast<int>(vptX.size());
    // The neighbours of each site, from the edges that separate them.
    std::vector<std::vector<int>> neighbours(n);
    for (const CEdge& edge : veVoronoi) {
        const int a = edge.m_ptReg[0].m_nIndex, b = edge.m_ptReg[1].m_nIndex;
        if (a >= 0 && b >= 0 && a < n && b < n && a != b) {
            neighbours[a].push_back(b);
            neighbours[b].push_back(a);
        }
    }
    std::vector<CELL_POLYGON> cells(n);
    for (int i = 0; i < n; ++i) {
        const SPosition& site = vptX[i].m_psXY;
        const bool kept = i < static_cast<int>(vbKeep.size()) && vbKeep[i];
        if (!kept || site.m_dX < xmin || site.m_dX > xmax || site.m_dY < ymin || site.m_dY > ymax)
            continue;
        CELL_POLYGON cell = {{xmin, ymin}, {xmax, ymin}, {xmax, ymax}, {xmin, ymax}};
        for (int j : neighbours[i]) {
            const SPosition& other = vptX[j].m_psXY;
            const SPosition normal = {other.m_dX - site.m_dX, other.m_dY - site.m_dY};
            if (normal.m_dX == 0 && normal.m_dY == 0)
                continue;
            const SPosition mid = {(site.m_dX + other.m_dX) / 2, (site.m_dY + other.m_dY) / 2};
            cell = ClipToHalfPlane(cell, mid, normal);
        }
        cells[i] = cell;
    }
    return cells;
}

#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "VoronoiTestUtils.h"
#include "voronoi/Voronoi.h"
#include "voronoi/VoronoiCells.h"

namespace {

double Area(const CELL_POLYGON& p) {
    double twice = 0;
    for (size_t i = 0; i < p.size(); ++i) {
        const SPosition& a = p[i];
        const SPosition& b = p[(i + 1) % p.size()];
        twice += a.m_dX * b.m_dY - b.m_dX * a.m_dY;
    }
    return twice / 2;
}

bool Inside(const CELL_POLYGON& p, double x, double y) {
    if (p.size() < 3)
        return false;
    for (size_t i = 0; i < p.size(); ++i) {
        const SPosition& a = p[i];
        const SPosition& b = p[(i + 1) % p.size()];
        if ((b.m_dX - a.m_dX) * (y - a.m_dY) - (b.m_dY - a.m_dY) * (x - a.m_dX) < 0)
            return false;
    }
    return true;
}

}  // namespace

// The cells of random sites tile the box without gap or overlap (their
// areas, counter-clockwise, add up to the box), and a point lies in the cell
// of its nearest site; the second copy of a repeated site has no cell.
TEST(CellPolygons, CellsTileTheBoxAndHoldTheirNearestPoints) {
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(0, 100);
    std::vector<SPoint> sites;
    for (int i = 0; i < 80; ++i)
        sites.push_back(vtest::Site(u(gen), 0.5 * u(gen), i));
    sites.push_back(vtest::Site(sites[7].m_psXY.m_dX, sites[7].m_psXY.m_dY, 80));
    std::vector<bool> keep;
    std::vector<double> minMax, box;
    std::vector<CEdge> edges;
    ASSERT_TRUE(CVoronoi::GetVoronoi(sites, keep, minMax, box, edges));
    const std::vector<CELL_POLYGON> cells =
        GetCellPolygons(sites, keep, edges, box[0], box[1], box[2], box[3]);
    ASSERT_EQ(cells.size(), sites.size());
    EXPECT_TRUE(cells[7].empty() != cells[80].empty());
    double total = 0;
    for (const CELL_POLYGON& c : cells) {
        const double a = c.empty() ? 0 : Area(c);
        EXPECT_GE(a, 0);
        total += a;
    }
    const double boxArea = (box[1] - box[0]) * (box[3] - box[2]);
    EXPECT_NEAR(total, boxArea, 1e-9 * boxArea);
    std::uniform_real_distribution<double> ux(box[0], box[1]), uy(box[2], box[3]);
    for (int t = 0; t < 2000; ++t) {
        const double x = ux(gen), y = uy(gen);
        size_t nearest = 0;
        double best = 1e300;
        for (size_t i = 0; i < sites.size(); ++i) {
            const double d = std::hypot(sites[i].m_psXY.m_dX - x, sites[i].m_psXY.m_dY - y);
            if (!cells[i].empty() && d < best)
                best = d, nearest = i;
        }
        EXPECT_TRUE(Inside(cells[nearest], x, y)) << x << " " << y;
    }
}

// Sites on one line: the edges have no finite end, the cells are strips.
TEST(CellPolygons, CollinearSitesGiveStrips) {
    std::vector<SPoint> sites = {vtest::Site(0, 0, 0), vtest::Site(1, 0, 1), vtest::Site(3, 0, 2)};
    std::vector<bool> keep;
    std::vector<double> minMax, box;
    std::vector<CEdge> edges;
    ASSERT_TRUE(CVoronoi::GetVoronoi(sites, keep, minMax, box, edges));
    const std::vector<CELL_POLYGON> cells = GetCellPolygons(sites, keep, edges, -1, 4, -1, 1);
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_NEAR(Area(cells[0]), 1.5 * 2, 1e-12);
    EXPECT_NEAR(Area(cells[1]), 1.5 * 2, 1e-12);
    EXPECT_NEAR(Area(cells[2]), 2.0 * 2, 1e-12);
}

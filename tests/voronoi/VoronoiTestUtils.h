// Point generators and an independent Delaunay oracle for the tessellation
// tests. The oracle knows nothing of the sweep: a pair of sites is a Delaunay
// pair when some circle through both has no other site strictly inside. The
// centres of the circles through i and j lie on their bisector, c(t) = m + t d;
// each other site k rules out the centres that are closer to k than to i, a
// half-line of t. The pair is Delaunay when an interval of centres survives.
#ifndef BRELO_TESTS_VORONOI_TESTUTILS_H
#define BRELO_TESTS_VORONOI_TESTUTILS_H

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <set>
#include <utility>
#include <vector>

#include "voronoi/FortuneStructures.h"

namespace vtest {

inline SPoint Site(double x, double y, int index) {
    SPoint pt;
    pt.m_psXY.m_dX = x;
    pt.m_psXY.m_dY = y;
    pt.m_nIndex = index;
    return pt;
}

inline std::vector<SPoint> UniformPoints(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 1.0);
    std::vector<SPoint> v;
    for (int i = 0; i < n; ++i) {
        const double x = u(gen);
        v.push_back(Site(x, u(gen), i));
    }
    return v;
}

// Tight Gaussian clusters around a few centres, spread over a wide box.
inline std::vector<SPoint> ClusteredPoints(int n, unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> u(0.0, 100.0);
    std::normal_distribution<double> g(0.0, 1.5);
    std::vector<std::pair<double, double>> centres;
    for (int c = 0; c < 5; ++c) {
        const double x = u(gen);
        centres.emplace_back(x, u(gen));
    }
    std::vector<SPoint> v;
    for (int i = 0; i < n; ++i) {
        const auto& c = centres[static_cast<size_t>(i) % centres.size()];
        const double x = c.first + g(gen);
        v.push_back(Site(x, c.second + g(gen), i));
    }
    return v;
}

typedef std::set<std::pair<int, int>> PairSet;  // (smaller index, larger index)

struct DelaunayPairs {
    PairSet strict;      // an interval of empty circles of positive length
    PairSet degenerate;  // a single empty circle (cocircular sites)
};

// Brute force over all pairs, O(n^3). Sites flagged false in keep are ignored.
inline DelaunayPairs BruteForceDelaunay(const std::vector<SPoint>& pts,
                                        const std::vector<bool>& keep) {
    DelaunayPairs out;
    const size_t n = pts.size();
    double scale = 0.0;
    for (const SPoint& p : pts)
        scale = std::max({scale, std::fabs(p.m_psXY.m_dX), std::fabs(p.m_psXY.m_dY)});
    const double eps = 1e-9 * (scale > 0.0 ? scale : 1.0);
    for (size_t i = 0; i < n; ++i) {
        if (!keep[i])
            continue;
        const double xi = pts[i].m_psXY.m_dX, yi = pts[i].m_psXY.m_dY;
        for (size_t j = i + 1; j < n; ++j) {
            if (!keep[j])
                continue;
            const double xj = pts[j].m_psXY.m_dX, yj = pts[j].m_psXY.m_dY;
            const double mx = 0.5 * (xi + xj), my = 0.5 * (yi + yj);
            const double len = std::hypot(xj - xi, yj - yi);
            const double dx = -(yj - yi) / len, dy = (xj - xi) / len;  // unit direction
            double lo = -std::numeric_limits<double>::infinity();
            double hi = std::numeric_limits<double>::infinity();
            bool blocked = false;
            for (size_t k = 0; k < n && !blocked; ++k) {
                if (k == i || k == j || !keep[k])
                    continue;
                const double kx = pts[k].m_psXY.m_dX - xi, ky = pts[k].m_psXY.m_dY - yi;
                // |c - k|^2 >= |c - i|^2  <=>  alpha t <= beta, with c relative to i.
                const double cx = mx - xi, cy = my - yi;
                const double alpha = 2.0 * (dx * kx + dy * ky);
                const double beta = kx * kx + ky * ky - 2.0 * (cx * kx + cy * ky);
                if (std::fabs(alpha) < 1e-14) {
                    if (beta < -eps * eps)
                        blocked = true;
                } else if (alpha > 0.0) {
                    hi = std::min(hi, beta / alpha);
                } else {
                    lo = std::max(lo, beta / alpha);
                }
            }
            if (blocked || hi - lo < -eps)
                continue;
            (hi - lo > eps ? out.strict : out.degenerate).insert({int(i), int(j)});
        }
    }
    return out;
}

inline PairSet PairsOf(const std::vector<std::vector<int>>& ns) {
    PairSet s;
    for (size_t i = 0; i < ns.size(); ++i)
        for (int o : ns[i])
            s.insert({std::min(int(i), o), std::max(int(i), o)});
    return s;
}

}  // namespace vtest

#endif

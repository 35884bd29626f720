#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>

#include "VoronoiTestUtils.h"
#include "voronoi/Voronoi.h"

using vtest::PairSet;
using vtest::Site;

namespace {

struct Tessellation {
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    std::vector<std::vector<int>> ns;
    bool ok = false;
};

Tessellation Tessellate(const std::vector<SPoint>& pts, int N = -1) {
    Tessellation t;
    t.ok = CVoronoi::GetVoronoi(pts, t.keep, t.minMax, t.scale, t.edges);
    if (t.ok)
        CVoronoi::GetNeighborhoodSystem(N < 0 ? int(pts.size()) : N, t.edges, t.ns);
    return t;
}

bool IsAbsent(const SPoint& pt) {
    return pt.m_psXY.m_dX == kAbsentCoordinate && pt.m_psXY.m_dY == kAbsentCoordinate &&
           pt.m_nIndex == 0;
}

// Every listed neighbour once per row, and i in j's row whenever j is in i's.
void ExpectSymmetricWithoutRepeats(const std::vector<std::vector<int>>& ns) {
    for (size_t i = 0; i < ns.size(); ++i) {
        std::vector<int> row = ns[i];
        std::sort(row.begin(), row.end());
        EXPECT_EQ(std::adjacent_find(row.begin(), row.end()), row.end()) << "row " << i;
        for (int o : ns[i]) {
            const auto& back = ns[static_cast<size_t>(o)];
            EXPECT_NE(std::find(back.begin(), back.end(), int(i)), back.end()) << i << "-" << o;
        }
    }
}

// The sweep's neighbours must hold every pair with a shared cell border of
// positive length, and nothing that is not at least a degenerate Delaunay pair.
void ExpectMatchesOracle(const std::vector<SPoint>& pts, const Tessellation& t) {
    const vtest::DelaunayPairs oracle = vtest::BruteForceDelaunay(pts, t.keep);
    const PairSet found = vtest::PairsOf(t.ns);
    for (const auto& p : oracle.strict)
        EXPECT_TRUE(found.count(p)) << "missing " << p.first << "-" << p.second;
    for (const auto& p : found)
        EXPECT_TRUE(oracle.strict.count(p) || oracle.degenerate.count(p))
            << "spurious " << p.first << "-" << p.second;
}

}  // namespace

TEST(GetVoronoi, RandomSitesGiveTheDelaunayNeighbours) {
    for (unsigned seed : {1u, 2u, 3u, 4u}) {
        for (int n : {5, 40, 300}) {
            for (bool clustered : {false, true}) {
                SCOPED_TRACE(testing::Message() << "seed " << seed << " n " << n
                                                << (clustered ? " clustered" : " uniform"));
                const auto pts =
                    clustered ? vtest::ClusteredPoints(n, seed) : vtest::UniformPoints(n, seed);
                const Tessellation t = Tessellate(pts);
                ASSERT_TRUE(t.ok);
                const vtest::DelaunayPairs oracle = vtest::BruteForceDelaunay(pts, t.keep);
                EXPECT_TRUE(oracle.degenerate.empty());  // general position
                EXPECT_EQ(vtest::PairsOf(t.ns), oracle.strict);
                ExpectSymmetricWithoutRepeats(t.ns);
                EXPECT_EQ(std::count(t.keep.begin(), t.keep.end(), true), n);
            }
        }
    }
}

TEST(GetVoronoi, EdgesAreNumberedAndVerticesEquidistantFromTheirSites) {
    const auto pts = vtest::UniformPoints(200, 7);
    const Tessellation t = Tessellate(pts);
    ASSERT_TRUE(t.ok);
    std::map<int, SPosition> vertices;
    std::set<int> edgeIndices;
    for (const CEdge& e : t.edges) {
        edgeIndices.insert(e.m_nIndex);
        // m_dA or m_dB is exactly 1, and both sites lie symmetric to the line.
        EXPECT_TRUE(e.m_dA == 1.0 || e.m_dB == 1.0);
        const SPosition& s0 = e.m_ptReg[0].m_psXY;
        const SPosition& s1 = e.m_ptReg[1].m_psXY;
        EXPECT_LE(s0.m_dY, s1.m_dY);
        const double f0 = e.m_dA * s0.m_dX + e.m_dB * s0.m_dY - e.m_dC;
        const double f1 = e.m_dA * s1.m_dX + e.m_dB * s1.m_dY - e.m_dC;
        EXPECT_NEAR(f0, -f1, 1e-9);
        for (const SPoint& end : e.m_ptEnd) {
            if (IsAbsent(end))
                continue;
            const double d0 = std::hypot(end.m_psXY.m_dX - s0.m_dX, end.m_psXY.m_dY - s0.m_dY);
            const double d1 = std::hypot(end.m_psXY.m_dX - s1.m_dX, end.m_psXY.m_dY - s1.m_dY);
            EXPECT_NEAR(d0, d1, 1e-9);
            // A vertex number always names the same position.
            auto it = vertices.emplace(end.m_nIndex, end.m_psXY).first;
            EXPECT_EQ(it->second, end.m_psXY);
        }
    }
    // Vertices are numbered 0, 1, ... and every one ends some edge.
    EXPECT_EQ(vertices.size(), size_t(vertices.rbegin()->first + 1));
    EXPECT_EQ(*edgeIndices.begin(), 0);
}

TEST(GetVoronoi, NoPointFailsAndOnePointLeavesOutputsAlone) {
    std::vector<bool> keep{true, false};
    std::vector<double> minMax{1, 2, 3, 4}, scale{5};
    std::vector<CEdge> edges(3);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::GetVoronoi({}, keep, minMax, scale, edges));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "No Voronoi Points - CVoronoi::GetVoronoi\n");
    EXPECT_TRUE(CVoronoi::GetVoronoi({Site(1, 1, 0)}, keep, minMax, scale, edges));
    EXPECT_EQ(keep, (std::vector<bool>{true, false}));
    EXPECT_EQ(minMax, (std::vector<double>{1, 2, 3, 4}));
    EXPECT_EQ(scale, std::vector<double>{5});
    EXPECT_EQ(edges.size(), 3u);
}

TEST(GetVoronoi, TwoPointsGiveOneOpenEdgeTwiceAndTheWidenedBox) {
    const Tessellation t = Tessellate({Site(0, 0, 0), Site(4, 2, 1)});
    ASSERT_TRUE(t.ok);
    ASSERT_EQ(t.edges.size(), 2u);
    for (const CEdge& e : t.edges) {
        EXPECT_EQ(e.m_nIndex, 0);
        EXPECT_TRUE(IsAbsent(e.m_ptEnd[0]) && IsAbsent(e.m_ptEnd[1]));
        EXPECT_EQ(e.m_ptReg[0].m_nIndex, 0);
        EXPECT_EQ(e.m_ptReg[1].m_nIndex, 1);
        EXPECT_EQ(e.m_dA, 1.0);  // the sites differ more in x
        EXPECT_DOUBLE_EQ(e.m_dB, 0.5);
        EXPECT_DOUBLE_EQ(e.m_dC, 2.5);  // the midpoint (2, 1) is on the line
    }
    EXPECT_EQ(t.minMax, (std::vector<double>{0, 4, 0, 2}));
    EXPECT_EQ(t.scale, (std::vector<double>{-0.4, 4.4, -0.2, 2.2}));
    EXPECT_EQ(t.ns, (std::vector<std::vector<int>>{{1, 1}, {0, 0}}));
}

TEST(GetVoronoi, ThreePointsMeetAtVertexZero) {
    const Tessellation t = Tessellate({Site(0, 0, 0), Site(2, 0, 1), Site(1, 3, 2)});
    ASSERT_TRUE(t.ok);
    ASSERT_EQ(t.edges.size(), 3u);
    std::set<int> indices;
    for (const CEdge& e : t.edges) {
        indices.insert(e.m_nIndex);
        const int finite = !IsAbsent(e.m_ptEnd[0]) + !IsAbsent(e.m_ptEnd[1]);
        ASSERT_EQ(finite, 1);
        const SPoint& v = IsAbsent(e.m_ptEnd[0]) ? e.m_ptEnd[1] : e.m_ptEnd[0];
        EXPECT_EQ(v.m_nIndex, 0);
        EXPECT_DOUBLE_EQ(v.m_psXY.m_dX, 1.0);
        EXPECT_DOUBLE_EQ(v.m_psXY.m_dY, 4.0 / 3.0);  // the circumcentre
    }
    EXPECT_EQ(indices.size(), 3u);
    ExpectSymmetricWithoutRepeats(t.ns);
    EXPECT_EQ(vtest::PairsOf(t.ns), (PairSet{{0, 1}, {0, 2}, {1, 2}}));
}

TEST(GetVoronoi, CollinearSitesLinkConsecutivePointsThroughDoubledEdges) {
    // Horizontal (zero y range), vertical (zero x range) and slanted lines,
    // the sites given out of order.
    const std::vector<std::vector<SPoint>> lines = {
        {Site(3, 1, 0), Site(0, 1, 1), Site(2, 1, 2), Site(1, 1, 3), Site(4, 1, 4)},
        {Site(5, 3, 0), Site(5, 0, 1), Site(5, 2, 2), Site(5, 1, 3), Site(5, 4, 4)},
        {Site(3, 6, 0), Site(0, 0, 1), Site(2, 4, 2), Site(1, 2, 3), Site(4, 8, 4)}};
    // Along the line the order is 1, 3, 2, 0, 4.
    const PairSet consecutive{{1, 3}, {2, 3}, {0, 2}, {0, 4}};
    for (const auto& pts : lines) {
        const Tessellation t = Tessellate(pts);
        ASSERT_TRUE(t.ok);
        EXPECT_EQ(t.edges.size(), 8u);  // four open edges, each twice
        EXPECT_EQ(vtest::PairsOf(t.ns), consecutive);
        std::vector<int> row3 = t.ns[3];
        std::sort(row3.begin(), row3.end());
        EXPECT_EQ(row3, (std::vector<int>{1, 1, 2, 2}));
    }
}

TEST(GetVoronoi, SquareGridKeepsEveryCellBorder) {
    std::vector<SPoint> pts;
    for (int r = 0; r < 12; ++r)
        for (int c = 0; c < 12; ++c)
            pts.push_back(Site(c * 10.0, r * 10.0, int(pts.size())));
    const Tessellation t = Tessellate(pts);
    ASSERT_TRUE(t.ok);
    ExpectMatchesOracle(pts, t);
    const PairSet found = vtest::PairsOf(t.ns);
    // All 2 * 12 * 11 side-by-side pairs are there.
    int sides = 0;
    for (const auto& p : found)
        sides += (p.second - p.first == 1 || p.second - p.first == 12);
    EXPECT_EQ(sides, 2 * 12 * 11);
    // A diamond: the top site sits exactly where the circle event of the
    // three others fires.
    const std::vector<SPoint> diamond{Site(-1, 0, 0), Site(1, 0, 1), Site(0, -1, 2), Site(0, 1, 3)};
    const Tessellation d = Tessellate(diamond);
    ASSERT_TRUE(d.ok);
    ExpectMatchesOracle(diamond, d);
}

TEST(GetVoronoi, NearDuplicatesAreDroppedButCountInTheBounds) {
    auto pts = vtest::UniformPoints(60, 11);
    // Copies within 1e-7 of the range of earlier points, one outside the box
    // corner so it also sets the bounds, and one exact copy.
    pts.push_back(Site(pts[5].m_psXY.m_dX + 2e-9, pts[5].m_psXY.m_dY - 3e-9, 60));
    pts.push_back(Site(pts[9].m_psXY.m_dX, pts[9].m_psXY.m_dY, 61));
    pts.push_back(Site(pts[20].m_psXY.m_dX - 5e-9, pts[20].m_psXY.m_dY + 1e-9, 62));
    // Close in x only: not a duplicate.
    pts.push_back(Site(pts[30].m_psXY.m_dX + 1e-9, pts[30].m_psXY.m_dY + 0.01, 63));
    const Tessellation t = Tessellate(pts);
    ASSERT_TRUE(t.ok);
    int dropped = 0;
    for (size_t i = 0; i < pts.size(); ++i)
        dropped += !t.keep[i];
    EXPECT_EQ(dropped, 3);
    // Of each pair, the later one in (y, x) order goes.
    EXPECT_FALSE(t.keep[5]);  // its copy 60 lies lower
    EXPECT_TRUE(t.keep[60]);
    EXPECT_NE(t.keep[9], t.keep[61]);
    EXPECT_TRUE(t.keep[20]);
    EXPECT_FALSE(t.keep[62]);
    EXPECT_TRUE(t.keep[63]);
    for (size_t i = 0; i < pts.size(); ++i)
        EXPECT_TRUE(t.keep[i] || t.ns[i].empty()) << i;
    ExpectMatchesOracle(pts, t);
    ExpectSymmetricWithoutRepeats(t.ns);
}

TEST(GetVoronoi, NearDuplicateBoundsIncludeDroppedPoints) {
    // The dropped point holds the x maximum.
    const std::vector<SPoint> pts{Site(0, 0, 0), Site(10, 10, 1), Site(5, 3, 2),
                                  Site(10 + 5e-7, 10 + 5e-7, 3)};
    const Tessellation t = Tessellate(pts);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(t.keep, (std::vector<bool>{true, true, true, false}));
    EXPECT_EQ(t.minMax[1], 10 + 5e-7);
    EXPECT_EQ(t.minMax[3], 10 + 5e-7);
}

TEST(GetVoronoi, ExactDuplicatesOnALineAreDroppedToo) {
    // With a zero y range the tolerance test keeps everything; exact copies
    // must still go, else the bisector of a site with itself has no direction.
    const std::vector<SPoint> pts{Site(0, 2, 0), Site(1, 2, 1), Site(1, 2, 2), Site(2, 2, 3),
                                  Site(0, 2, 4)};
    const Tessellation t = Tessellate(pts);
    ASSERT_TRUE(t.ok);
    EXPECT_EQ(std::count(t.keep.begin(), t.keep.end(), false), 2);
    EXPECT_TRUE(t.keep[3]);
    EXPECT_NE(t.keep[1], t.keep[2]);
    EXPECT_NE(t.keep[0], t.keep[4]);
    EXPECT_EQ(vtest::PairsOf(t.ns).size(), 2u);
    // Every point at one position: no edge at all.
    testing::internal::CaptureStderr();
    Tessellation same = Tessellate({Site(1, 1, 0), Site(1, 1, 1), Site(1, 1, 2)});
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Failed to find any Voronoi edge - CVoronoi::GetVoronoi\n");
    EXPECT_FALSE(same.ok);
    EXPECT_EQ(same.keep, (std::vector<bool>{true, false, false}));
}

TEST(GetVoronoi, RefusesSitesItCannotOrder) {
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::GetVoronoi({Site(0, 0, 0), Site(std::nan(""), 1, 1), Site(2, 2, 2)},
                                      keep, minMax, scale, edges));
    EXPECT_FALSE(CVoronoi::GetVoronoi({Site(0, 0, 0), Site(1, 1, 5)}, keep, minMax, scale, edges));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Non-finite Voronoi Point - CVoronoi::GetVoronoi"), std::string::npos);
    EXPECT_NE(err.find("Wrong Voronoi Point Index - CVoronoi::GetVoronoi"), std::string::npos);
}

TEST(GetVoronoi, DummyPointsShapeCellsButNeverBecomeNeighbours) {
    auto pts = vtest::UniformPoints(50, 21);
    const int N = 40;  // the last ten act as dummies
    const Tessellation t = Tessellate(pts, N);
    ASSERT_TRUE(t.ok);
    ASSERT_EQ(t.ns.size(), size_t(N));
    PairSet expected;
    for (const auto& p : vtest::BruteForceDelaunay(pts, t.keep).strict)
        if (p.second < N)
            expected.insert(p);
    EXPECT_EQ(vtest::PairsOf(t.ns), expected);
    // With no dummies, row lengths add up to twice the edges between data points.
    const Tessellation all = Tessellate(pts);
    size_t total = 0;
    for (const auto& row : all.ns)
        total += row.size();
    EXPECT_EQ(total, 2 * all.edges.size());
}

TEST(GetVoronoi, WindowedDuplicateScanAgreesWithComparingEveryPair) {
    // Distinct sites packed in small groups around a coarse grid, at offsets
    // of the order of the tolerance (2e-6 on both axes), so that chains of
    // near-duplicates form: a site close only to an already dropped one goes.
    std::mt19937 gen(5);
    std::uniform_int_distribution<int> cell(0, 20), offset(0, 5);
    std::set<std::pair<int, int>> used;
    std::vector<SPoint> pts;
    while (pts.size() < 3000) {
        const int gx = cell(gen) * 100 + offset(gen), gy = cell(gen) * 100 + offset(gen);
        if (used.insert({gx, gy}).second)
            pts.push_back(Site(gx / 100.0 + (gx % 100) * 0.9e-6 - (gx % 100) / 100.0,
                               gy / 100.0 + (gy % 100) * 0.9e-6 - (gy % 100) / 100.0,
                               int(pts.size())));
    }
    const Tessellation t = Tessellate(pts);
    ASSERT_TRUE(t.ok);

    std::vector<SPoint> sorted = pts;
    std::sort(sorted.begin(), sorted.end(), CVoronoi::PointLess);
    const double tolX = (t.minMax[1] - t.minMax[0]) * 1e-7;
    const double tolY = (t.minMax[3] - t.minMax[2]) * 1e-7;
    std::vector<bool> expected(pts.size(), true), sortedFlag(pts.size(), true);
    for (size_t i = 0; i + 1 < sorted.size(); ++i)
        for (size_t j = i + 1; j < sorted.size(); ++j)
            if (sortedFlag[j] && std::fabs(sorted[i].m_psXY.m_dX - sorted[j].m_psXY.m_dX) < tolX &&
                std::fabs(sorted[i].m_psXY.m_dY - sorted[j].m_psXY.m_dY) < tolY) {
                sortedFlag[j] = false;
                expected[static_cast<size_t>(sorted[j].m_nIndex)] = false;
            }
    const auto dropped = std::count(expected.begin(), expected.end(), false);
    EXPECT_GT(dropped, 1000);
    EXPECT_LT(dropped, 2900);
    EXPECT_EQ(t.keep, expected);
}

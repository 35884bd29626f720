#include <gtest/gtest.h>

#include <sstream>

#include "VoronoiTestUtils.h"
#include "voronoi/PriorityQueue.h"
#include "voronoi/Voronoi.h"
#include "voronoi/VoronoiGeometry.h"

using vtest::Site;

TEST(FreeNodeList, GrowsByBlocksWithoutMovingNodesAndReinitialises) {
    CFreeNodeList<SPoint> pool;
    std::vector<SPoint*> handed;
    for (int i = 0; i < 1024; ++i) {
        handed.push_back(pool.GetFreeNode());
        handed.back()->m_nIndex = i;
    }
    EXPECT_EQ(pool.GetStoredCount(), 1024);
    SPoint* p1025 = pool.GetFreeNode();
    EXPECT_EQ(pool.GetStoredCount(), 2048);
    for (int i = 0; i < 1024; ++i) {
        EXPECT_EQ(handed[static_cast<size_t>(i)]->m_nIndex, i);
        EXPECT_NE(handed[static_cast<size_t>(i)], p1025);
    }
    for (int i = 0; i < 1024; ++i)
        pool.GetFreeNode();
    EXPECT_EQ(pool.GetStoredCount(), 3072);

    pool.Initialize(1024);
    EXPECT_EQ(pool.GetStoredCount(), 1024);
    EXPECT_EQ(pool.GetHandedOutCount(), 0);
    SPoint* again = pool.GetFreeNode();
    EXPECT_EQ(again, handed[0]);
    EXPECT_EQ(again->m_nIndex, 0);  // stale contents survive
}

TEST(Records, EdgeTextFormAndConversionToPointerForm) {
    CEdge e;
    e.m_dA = 1.0;
    e.m_dB = -0.25;
    e.m_dC = 3.5;
    e.m_ptEnd[0] = AbsentPoint();
    e.m_ptEnd[1] = Site(2, 1e-5, 7);
    e.m_ptReg[0] = Site(0, 0, 4);
    e.m_ptReg[1] = Site(1234567, 2, 5);
    e.m_nIndex = 9;
    std::ostringstream os;
    os << e;
    EXPECT_EQ(os.str(), "1 -0.25 3.5 1e+168 1e+168 0 2 1e-05 7 0 0 4 1.23457e+06 2 5 9");

    std::istringstream is(os.str());
    CEdge back;
    ASSERT_TRUE(is >> back);
    SEdge se;
    ASSERT_TRUE(CVoronoi::CopyEdge(&back, &se));
    EXPECT_EQ(se.m_pptEnd[0], nullptr);
    ASSERT_EQ(se.m_pptEnd[1], &back.m_ptEnd[1]);
    EXPECT_EQ(se.m_pptEnd[1]->m_nIndex, 7);
    EXPECT_EQ(se.m_pptReg[1]->m_psXY.m_dX, 1234570.0);  // 6 significant digits
    EXPECT_EQ(se.m_nIndex, 9);
    EXPECT_EQ(se.m_dB, -0.25);

    // Either absent coordinate alone makes the pointer null.
    back.m_ptEnd[1].m_psXY.m_dY = kAbsentCoordinate;
    back.m_ptReg[0].m_psXY.m_dX = kAbsentCoordinate;
    ASSERT_TRUE(CVoronoi::CopyEdge(&back, &se));
    EXPECT_EQ(se.m_pptEnd[1], nullptr);
    EXPECT_EQ(se.m_pptReg[0], nullptr);

    // And back to the value form: null pointers become the absent point.
    CEdge again;
    ASSERT_TRUE(CVoronoi::CopyEdge(static_cast<const SEdge*>(&se), &again));
    EXPECT_EQ(again.m_ptEnd[0], AbsentPoint());
    EXPECT_EQ(again.m_ptReg[1], back.m_ptReg[1]);
    EXPECT_FALSE(CVoronoi::CopyEdge(static_cast<const SEdge*>(nullptr), &again));
    EXPECT_FALSE(CVoronoi::CopyEdge(&again, static_cast<SEdge*>(nullptr)));
}

TEST(PriorityQueue, OrdersByPositionThenXAndPutsEqualKeysFirst) {
    CPriorityQueue pq(0.0, 10.0, 8);
    SHalfEdge he[5];
    SPoint v[5] = {Site(3, 6, 0), Site(1, 2, 1), Site(5, 2, 2), Site(5, 2, 3), Site(0, 9.5, 4)};
    pq.Insert(&he[0], &v[0], 1.0);  // fires at 7
    pq.Insert(&he[1], &v[1], 1.0);  // 3, x 1
    pq.Insert(&he[2], &v[2], 1.0);  // 3, x 5
    pq.Insert(&he[3], &v[3], 1.0);  // same key as he[2]: goes first
    pq.Insert(&he[4], &v[4], 5.0);  // beyond the range: last bucket
    EXPECT_EQ(pq.GetCount(), 5);
    pq.Delete(&he[0]);
    EXPECT_EQ(he[0].m_pptVertex, nullptr);
    pq.Delete(&he[0]);  // not queued any more: nothing happens
    EXPECT_EQ(pq.GetCount(), 4);

    const SHalfEdge* expected[] = {&he[1], &he[3], &he[2], &he[4]};
    for (const SHalfEdge* e : expected) {
        ASSERT_FALSE(pq.Empty());
        const SPosition min = pq.GetMinPosition();
        SHalfEdge* got = pq.ExtractMinHalfEdge();
        EXPECT_EQ(got, e);
        EXPECT_EQ(min.m_dY, got->m_dYStar);
        EXPECT_EQ(min.m_dX, got->m_pptVertex->m_psXY.m_dX);
    }
    EXPECT_TRUE(pq.Empty());
}

TEST(ClipEdge, ClipsToTheWidenedBoxOrLeavesTheEndsAlone) {
    CVoronoiGeometry geo(0.0, 10.0, 0.0, 5.0);  // box -1..11 x -0.5..5.5
    EXPECT_DOUBLE_EQ(geo.GetXMinLmt(), -1.0);
    EXPECT_DOUBLE_EQ(geo.GetYMaxLmt(), 5.5);
    const SPosition untouched{42.0, 43.0};

    // Open vertical line x = 4: from the bottom to the top of the box.
    SEdge vertical;
    vertical.m_dA = 1.0;
    vertical.m_dB = 0.0;
    vertical.m_dC = 4.0;
    SPosition one = untouched, two = untouched;
    geo.ClipEdge(&vertical, one, two);
    EXPECT_EQ(one, (SPosition{4.0, -0.5}));
    EXPECT_EQ(two, (SPosition{4.0, 5.5}));

    // The same line left of the box: nothing written.
    vertical.m_dC = -3.0;
    one = two = untouched;
    geo.ClipEdge(&vertical, one, two);
    EXPECT_EQ(one, untouched);
    EXPECT_EQ(two, untouched);

    // A ray y = 0.5 x + 1 (a = -0.5, b = 1) starting at a vertex (2, 2) and
    // leaving the box through its top.
    SPoint start = Site(2.0, 2.0, 0);
    SEdge ray;
    ray.m_dA = -0.5;
    ray.m_dB = 1.0;
    ray.m_dC = 1.0;
    ray.m_pptEnd[0] = &start;
    one = two = untouched;
    geo.ClipEdge(&ray, one, two);
    EXPECT_EQ(one, (SPosition{2.0, 2.0}));
    EXPECT_DOUBLE_EQ(two.m_dX, 9.0);
    EXPECT_DOUBLE_EQ(two.m_dY, 5.5);

    // A segment wholly inside keeps its ends.
    SPoint end = Site(4.0, 3.0, 1);
    ray.m_pptEnd[1] = &end;
    geo.ClipEdge(&ray, one, two);
    EXPECT_EQ(two, (SPosition{4.0, 3.0}));
}

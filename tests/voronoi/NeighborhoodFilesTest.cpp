#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "VoronoiTestUtils.h"
#include "voronoi/Voronoi.h"

using vtest::Site;

namespace {

typedef std::vector<std::vector<int>> NS;

std::string TempPath(const std::string& name) {
    return testing::TempDir() + "voronoi_" + std::to_string(getpid()) + "_" + name;
}

std::string ReadAll(const std::string& path) {
    std::ifstream is(path, std::ios::binary);
    std::stringstream ss;
    ss << is.rdbuf();
    return ss.str();
}

void WriteAll(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

CEdge EdgeBetween(int i, int j) {
    CEdge e;
    e.m_ptReg[0].m_nIndex = i;
    e.m_ptReg[1].m_nIndex = j;
    return e;
}

struct Saved {
    std::vector<SPoint> pts;
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    NS ns;
};

Saved TessellateRandom(int n, unsigned seed) {
    Saved s;
    s.pts = vtest::UniformPoints(n, seed);
    for (SPoint& p : s.pts) {  // coordinates that do not fit in 6 digits
        p.m_psXY.m_dX = 1000.0 + 123.456789 * p.m_psXY.m_dX;
        p.m_psXY.m_dY = -50.0 + 77.7777777 * p.m_psXY.m_dY;
    }
    s.pts.push_back(s.pts[3]);  // a dropped duplicate
    s.pts.back().m_nIndex = n;
    EXPECT_TRUE(CVoronoi::GetVoronoi(s.pts, s.keep, s.minMax, s.scale, s.edges));
    EXPECT_TRUE(CVoronoi::GetNeighborhoodSystem(n + 1, s.edges, s.ns));
    return s;
}

}  // namespace

TEST(NeighborhoodSystem, EmptyEdgeListKeepsThePreviousSystem) {
    NS ns{{1}, {0}};
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::GetNeighborhoodSystem(2, {}, ns));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "No Voronoi Edges - CVoronoi::GetNeighborhoodSystem\n");
    EXPECT_EQ(ns, (NS{{1}, {0}}));
    EXPECT_TRUE(CVoronoi::GetNeighborhoodSystem(0, {EdgeBetween(0, 1)}, ns));
    EXPECT_TRUE(ns.empty());
}

TEST(NeighborhoodSystem, WeightsFallWithDistanceBetweenFiveAndFiftyPercentOfTheRange) {
    // Largest range 100 (x): weight 1 closer than 5, 5/d up to 50, 0.1 beyond.
    const std::vector<SPoint> pts{Site(0, 0, 0),  Site(0, 4, 1),  Site(0, 20, 2),
                                  Site(60, 0, 3), Site(0, 50, 4), Site(1, 1, 5)};
    const std::vector<double> minMax{0, 100, 0, 50};
    std::vector<CEdge> edges{EdgeBetween(0, 1), EdgeBetween(2, 0), EdgeBetween(0, 3),
                             EdgeBetween(4, 0), EdgeBetween(0, 5), EdgeBetween(1, 2)};
    std::vector<std::vector<CNeighbor>> ns;
    ASSERT_TRUE(CVoronoi::GetNeighborhoodSystem(pts, minMax, 5, edges, ns, true));
    ASSERT_EQ(ns.size(), 5u);
    ASSERT_EQ(ns[0].size(), 4u);  // the dummy point 5 is left out
    const int idx[] = {1, 2, 3, 4};
    const double w[] = {1.0, 0.25, 0.1, 0.1};
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(ns[0][static_cast<size_t>(k)].m_nIndex, idx[k]);
        EXPECT_DOUBLE_EQ(ns[0][static_cast<size_t>(k)].m_dWeight, w[k]);
    }
    ASSERT_EQ(ns[2].size(), 2u);
    EXPECT_EQ(ns[2][0].m_nIndex, 0);
    EXPECT_EQ(ns[2][1].m_nIndex, 1);
    EXPECT_DOUBLE_EQ(ns[2][1].m_dWeight, 5.0 / 16.0);

    // Unweighted: the same neighbours in the same order, all of weight 1.
    ASSERT_TRUE(CVoronoi::GetNeighborhoodSystem(pts, minMax, 5, edges, ns, false));
    NS plain;
    ASSERT_TRUE(CVoronoi::GetNeighborhoodSystem(5, edges, plain));
    for (size_t i = 0; i < 5; ++i) {
        ASSERT_EQ(ns[i].size(), plain[i].size());
        for (size_t k = 0; k < ns[i].size(); ++k) {
            EXPECT_EQ(ns[i][k].m_nIndex, plain[i][k]);
            EXPECT_EQ(ns[i][k].m_dWeight, 1.0);
        }
    }

    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::GetNeighborhoodSystem(pts, minMax, 7, edges, ns, false));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Wrong Number of Data Points - CVoronoi::GetNeighborhoodSystem\n");
}

TEST(VoronoiFile, ExactSingleLineFormat) {
    Saved s;
    s.pts = {Site(0, 0, 0), Site(4, 2, 1)};
    ASSERT_TRUE(CVoronoi::GetVoronoi(s.pts, s.keep, s.minMax, s.scale, s.edges));
    ASSERT_TRUE(CVoronoi::GetNeighborhoodSystem(2, s.edges, s.ns));
    const std::string path = TempPath("two.txt");
    ASSERT_TRUE(CVoronoi::SaveVoronoi(s.pts, s.keep, s.minMax, s.scale, s.edges, s.ns, path));
    const std::string edge = "1 0.5 2.5 1e+168 1e+168 0 1e+168 1e+168 0 0 0 0 4 2 1 0 ";
    EXPECT_EQ(ReadAll(path), "Voronoi-1.0 2 0 0 0 4 2 1 1 1 0 4 0 2 -0.4 4.4 -0.2 2.2 2 " + edge +
                                 edge + "2 2 1 1 2 0 0 ");
    std::remove(path.c_str());
}

TEST(VoronoiFile, RoundTripKeepsCountsAndIndicesAndSixDigits) {
    const Saved s = TessellateRandom(80, 3);
    const std::string path = TempPath("round.txt");
    ASSERT_TRUE(CVoronoi::SaveVoronoi(s.pts, s.keep, s.minMax, s.scale, s.edges, s.ns, path));
    Saved r;
    ASSERT_TRUE(CVoronoi::LoadVoronoi(r.pts, r.keep, r.minMax, r.scale, r.edges, r.ns, path));
    EXPECT_EQ(r.keep, s.keep);
    EXPECT_NE(r.keep[3], r.keep.back());  // one of the two copies was dropped
    EXPECT_EQ(r.ns, s.ns);
    ASSERT_EQ(r.pts.size(), s.pts.size());
    ASSERT_EQ(r.edges.size(), s.edges.size());
    const auto near6 = [](double a, double b) { return std::fabs(a - b) <= 5e-6 * std::fabs(b); };
    for (size_t i = 0; i < s.pts.size(); ++i) {
        EXPECT_EQ(r.pts[i].m_nIndex, s.pts[i].m_nIndex);
        EXPECT_TRUE(near6(r.pts[i].m_psXY.m_dX, s.pts[i].m_psXY.m_dX));
        EXPECT_TRUE(near6(r.pts[i].m_psXY.m_dY, s.pts[i].m_psXY.m_dY));
    }
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_TRUE(near6(r.minMax[i], s.minMax[i]));
        EXPECT_TRUE(near6(r.scale[i], s.scale[i]));
    }
    for (size_t i = 0; i < s.edges.size(); ++i) {
        const CEdge &a = r.edges[i], &b = s.edges[i];
        EXPECT_EQ(a.m_nIndex, b.m_nIndex);
        EXPECT_TRUE(near6(a.m_dC, b.m_dC));
        for (int k = 0; k < 2; ++k) {
            EXPECT_EQ(a.m_ptEnd[k].m_nIndex, b.m_ptEnd[k].m_nIndex);
            EXPECT_EQ(a.m_ptReg[k].m_nIndex, b.m_ptReg[k].m_nIndex);
            EXPECT_TRUE(near6(a.m_ptEnd[k].m_psXY.m_dY, b.m_ptEnd[k].m_psXY.m_dY));
        }
    }
    // Layout does not matter to the reader: one token a line reads the same.
    std::string text = ReadAll(path);
    for (char& c : text)
        if (c == ' ')
            c = '\n';
    WriteAll(path, text);
    Saved t;
    ASSERT_TRUE(CVoronoi::LoadVoronoi(t.pts, t.keep, t.minMax, t.scale, t.edges, t.ns, path));
    EXPECT_EQ(t.ns, r.ns);
    EXPECT_EQ(t.pts.size(), r.pts.size());
    std::remove(path.c_str());
}

TEST(VoronoiFile, RefusedLoadsLeaveAllSixContainersEmpty) {
    const Saved s = TessellateRandom(20, 5);
    const std::string path = TempPath("bad.txt");
    ASSERT_TRUE(CVoronoi::SaveVoronoi(s.pts, s.keep, s.minMax, s.scale, s.edges, s.ns, path));
    const std::string good = ReadAll(path);

    const auto expectRefused = [&](const std::string& text, const std::string& message) {
        WriteAll(path, text);
        Saved r = s;  // full containers beforehand
        testing::internal::CaptureStderr();
        EXPECT_FALSE(CVoronoi::LoadVoronoi(r.pts, r.keep, r.minMax, r.scale, r.edges, r.ns, path));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), message + "\n");
        EXPECT_TRUE(r.pts.empty() && r.keep.empty() && r.minMax.empty() && r.scale.empty() &&
                    r.edges.empty() && r.ns.empty());
    };
    expectRefused("Voronoi-0.9" + good.substr(11),
                  "Unknown or Old Version Voronoi File - CVoronoi::LoadVoronoi");
    expectRefused("", "Unknown or Old Version Voronoi File - CVoronoi::LoadVoronoi");

    const std::string malformed =
        "Truncated or Malformed Voronoi File " + path + " - CVoronoi::LoadVoronoi";
    // Cut anywhere before the last token starts.
    const size_t lastStart = good.rfind(' ', good.size() - 2) + 1;
    for (size_t cut = 12; cut <= lastStart; cut += 97)
        expectRefused(good.substr(0, cut), malformed);
    expectRefused(good.substr(0, lastStart), malformed);
    // A word where a number belongs, a negative count, a neighbour out of range.
    std::string word = good;
    word.replace(word.find(' ', 30), 1, " x");
    expectRefused(word, malformed);
    expectRefused("Voronoi-1.0 -3 ", malformed);
    const std::string onePoint = "Voronoi-1.0 1 0 0 0 1 0 0 0 0 0 0 0 0 0 1 1 ";
    expectRefused(onePoint + "1 ", malformed);
    WriteAll(path, onePoint + "0 ");
    Saved ok;
    EXPECT_TRUE(CVoronoi::LoadVoronoi(ok.pts, ok.keep, ok.minMax, ok.scale, ok.edges, ok.ns, path));
    EXPECT_EQ(ok.ns, NS{{0}});

    Saved r;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        CVoronoi::LoadVoronoi(r.pts, r.keep, r.minMax, r.scale, r.edges, r.ns, path + ".missing"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open file " + path + ".missing - CVoronoi::LoadVoronoi\n");
    std::remove(path.c_str());
}

TEST(VoronoiFile, SaveRefusesIncompleteInputsWithoutWriting) {
    const Saved s = TessellateRandom(10, 8);
    const std::string path = TempPath("refused.txt");
    std::remove(path.c_str());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::SaveVoronoi(s.pts, s.keep, s.minMax, {1, 2, 3}, s.edges, s.ns, path));
    EXPECT_FALSE(CVoronoi::SaveVoronoi(s.pts, {true}, s.minMax, s.scale, s.edges, s.ns, path));
    EXPECT_FALSE(CVoronoi::SaveVoronoi(s.pts, s.keep, s.minMax, s.scale, s.edges, {}, path));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Wrong Data Scale - CVoronoi::SaveVoronoi\n"
              "Wrong Keep Flags - CVoronoi::SaveVoronoi\n"
              "No Voronoi Neighborhood System - CVoronoi::SaveVoronoi\n");
    EXPECT_FALSE(std::ifstream(path).good());
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::SaveVoronoi(s.pts, s.keep, s.minMax, s.scale, s.edges, s.ns,
                                       "/nonexistent-dir/v.txt"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot open file /nonexistent-dir/v.txt - CVoronoi::SaveVoronoi\n");
}

TEST(NSFile, SquareTablePaddedWithMinusOneReadsBack) {
    const std::string path = TempPath("ns.txt");
    ASSERT_TRUE(CVoronoi::WriteNStoMyFile({{1, 2}, {0}, {0}}, path));
    EXPECT_EQ(ReadAll(path), "1 2 -1 \n0 -1 -1 \n0 -1 -1 \n");
    NS ns{{7}, {}, {}, {}};  // rows given by the caller are appended to
    ASSERT_TRUE(CVoronoi::LoadNS(ns, 3, path));
    EXPECT_EQ(ns, (NS{{7, 1, 2}, {0}, {0}, {}}));

    // A system whose table would not be square is not written.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::WriteNStoMyFile({{0, 0, 2, 2}, {1}, {1}}, path + ".long"));
    EXPECT_FALSE(CVoronoi::WriteNStoMyFile({}, path));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Neighborhood Row Too Long - CVoronoi::WriteNStoMyFile\n"
              "No Voronoi Neighborhood System - CVoronoi::WriteNStoMyFile\n");
    EXPECT_FALSE(std::ifstream(path + ".long").good());
    std::remove(path.c_str());
}

TEST(NSFile, BadTablesLeaveTheRowsAsGiven) {
    const std::string path = TempPath("nsbad.txt");
    const std::string malformed =
        "Truncated or Malformed NS File " + path + " - CVoronoi::LoadNS\n";
    const std::vector<std::string> bad = {
        "1 2 -1 \n0 -1 -1 \n0 -1 ", "1 2 -1 \n0 x -1 \n0 -1 -1 \n", "1 2 -1 \n0 -1 -1 \n0 -1 3 \n",
        "1 2 -1 \n0 -1 -1 \n-2 0 0"};
    for (const std::string& text : bad) {
        WriteAll(path, text);
        NS ns(3);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(CVoronoi::LoadNS(ns, 3, path));
        EXPECT_EQ(testing::internal::GetCapturedStderr(), malformed);
        EXPECT_EQ(ns, NS(3));
    }
    NS tooFew(2);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(CVoronoi::LoadNS(tooFew, 3, path));
    EXPECT_FALSE(CVoronoi::LoadNS(tooFew, 3, path + ".missing"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Wrong Neighborhood System - CVoronoi::LoadNS\nCannot open file " + path +
                  ".missing - CVoronoi::LoadNS\n");
    std::remove(path.c_str());
}

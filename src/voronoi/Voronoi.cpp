#include "voronoi/Voronoi.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <iterator>
#include <set>

#include "core/Messages.h"
#include "voronoi/HalfEdgeList.h"
#include "voronoi/PriorityQueue.h"
#include "voronoi/VoronoiGeometry.h"

int CVoronoi::m_nIndex = 0;

SPoint* CVoronoi::NextSite(std::vector<SPoint>& vptX) {
    if (m_nIndex < 0 || static_cast<size_t>(m_nIndex) >= vptX.size())
        return nullptr;
    return &vptX[static_cast<size_t>(m_nIndex++)];
}

bool CVoronoi::CopyEdge(const SEdge* pSrc, CEdge* pDst) {
    if (pSrc == nullptr || pDst == nullptr)
        return false;
    pDst->m_dA = pSrc->m_dA;
    pDst->m_dB = pSrc->m_dB;
    pDst->m_dC = pSrc->m_dC;
    pDst->m_nIndex = pSrc->m_nIndex;
    for (int k = 0; k < 2; ++k) {
        pDst->m_ptEnd[k] = pSrc->m_pptEnd[k] != nullptr ? *pSrc->m_pptEnd[k] : AbsentPoint();
        pDst->m_ptReg[k] = pSrc->m_pptReg[k] != nullptr ? *pSrc->m_pptReg[k] : AbsentPoint();
    }
    return true;
}

static SPoint* PresentOrNull(SPoint& pt) {
    const bool absent = pt.m_psXY.m_dX == kAbsentCoordinate || pt.m_psXY.m_dY == kAbsentCoordinate;
    return absent ? nullptr : &pt;
}

bool CVoronoi::CopyEdge(CEdge* pSrc, SEdge* pDst) {
    if (pSrc == nullptr || pDst == nullptr)
        return false;
    pDst->m_dA = pSrc->m_dA;
    pDst->m_dB = pSrc->m_dB;
    pDst->m_dC = pSrc->m_dC;
    pDst->m_nIndex = pSrc->m_nIndex;
    for (int k = 0; k < 2; ++k) {
        pDst->m_pptEnd[k] = PresentOrNull(pSrc->m_ptEnd[k]);
        pDst->m_pptReg[k] = PresentOrNull(pSrc->m_ptReg[k]);
    }
    return true;
}

namespace {

double X(const SPoint& pt) {
    return pt.m_psXY.m_dX;
}
double Y(const SPoint& pt) {
    return pt.m_psXY.m_dY;
}

// Checks that sorting and flagging can rely on: finite coordinates (a NaN
// breaks the ordering of the sort) and indices that address vbKeep.
bool CheckSites(const std::vector<SPoint>& vptX) {
    const int n = static_cast<int>(vptX.size());
    for (const SPoint& pt : vptX) {
        if (!std::isfinite(X(pt)) || !std::isfinite(Y(pt))) {
            PrintMessage("Non-finite Voronoi Point - CVoronoi::GetVoronoi");
            return false;
        }
        if (pt.m_nIndex < 0 || pt.m_nIndex >= n) {
            PrintMessage("Wrong Voronoi Point Index - CVoronoi::GetVoronoi");
            return false;
        }
    }
    return true;
}

// xmin, xmax, ymin, ymax of the points sorted in sweep order.
void AppendDataBounds(const std::vector<SPoint>& vptSorted, std::vector<double>& vdDataMinMax) {
    const auto byX = [](const SPoint& a, const SPoint& b) { return X(a) < X(b); };
    const auto xr = std::minmax_element(vptSorted.begin(), vptSorted.end(), byX);
    vdDataMinMax.push_back(X(*xr.first));
    vdDataMinMax.push_back(X(*xr.second));
    vdDataMinMax.push_back(Y(vptSorted.front()));
    vdDataMinMax.push_back(Y(vptSorted.back()));
}

// A point is a near-duplicate when some earlier point in sweep order (dropped
// or not) lies strictly within the tolerances on both axes. The earlier
// points within tolY form a window that slides along the y-sorted list; the
// closest x in it on either side decides, so the cost is n log n instead of
// comparing every pair.
void MarkNearDuplicates(const std::vector<SPoint>& vptSorted, double tolX, double tolY,
                        std::vector<bool>& vbSortedKeep) {
    if (!(tolX > 0.0) || !(tolY > 0.0))
        return;  // a strict test against a zero tolerance never holds
    std::multiset<double> window;
    size_t first = 0;
    for (size_t j = 0; j < vptSorted.size(); ++j) {
        const double xj = X(vptSorted[j]);
        const double yj = Y(vptSorted[j]);
        for (; first < j && !(std::fabs(Y(vptSorted[first]) - yj) < tolY); ++first)
            window.erase(window.find(X(vptSorted[first])));
        const auto above = window.lower_bound(xj);
        const bool near = (above != window.end() && std::fabs(*above - xj) < tolX) ||
                          (above != window.begin() && std::fabs(*std::prev(above) - xj) < tolX);
        if (near)
            vbSortedKeep[j] = false;
        window.insert(xj);
    }
}

// Points at exactly the same position give a bisector with no direction.
// With a zero range on one axis the tolerance test keeps them, so drop them
// here; sorting put them next to each other.
void MarkExactDuplicates(const std::vector<SPoint>& vptSorted, std::vector<bool>& vbSortedKeep) {
    for (size_t j = 1; j < vptSorted.size(); ++j)
        if (vptSorted[j].m_psXY == vptSorted[j - 1].m_psXY)
            vbSortedKeep[j] = false;
}

// Flags dropped points by input index and removes them from the sorted list.
void DropDuplicates(std::vector<SPoint>& vptSorted, const std::vector<double>& vdDataMinMax,
                    std::vector<bool>& vbKeep) {
    const double tolX = (vdDataMinMax[1] - vdDataMinMax[0]) * 1e-7;
    const double tolY = (vdDataMinMax[3] - vdDataMinMax[2]) * 1e-7;
    std::vector<bool> vbSortedKeep(vptSorted.size(), true);
    MarkNearDuplicates(vptSorted, tolX, tolY, vbSortedKeep);
    MarkExactDuplicates(vptSorted, vbSortedKeep);

    vbKeep.assign(vptSorted.size(), true);
    size_t m = 0;
    for (size_t j = 0; j < vptSorted.size(); ++j) {
        if (vbSortedKeep[j])
            vptSorted[m++] = vptSorted[j];
        else
            vbKeep[static_cast<size_t>(vptSorted[j].m_nIndex)] = false;
    }
    vptSorted.resize(m);
}

// Fortune's sweep over sites sorted in sweep order. Site and circle events
// are taken in (y, x) order; a tie between a site and an event goes to the
// event.
class CSweep {
  public:
    CSweep(std::vector<SPoint>& vptSites, CHalfEdgeList& hel, CPriorityQueue& pq,
           CVoronoiGeometry& geo, std::vector<CEdge>& veResult)
        : m_vptSites(vptSites), m_hel(hel), m_pq(pq), m_geo(geo), m_veResult(veResult) {}

    void Run() {
        m_pptBottom = CVoronoi::NextSite(m_vptSites);
        SPoint* newsite = CVoronoi::NextSite(m_vptSites);
        SPosition min;
        for (;;) {
            if (!m_pq.Empty())
                min = m_pq.GetMinPosition();
            if (newsite != nullptr && (m_pq.Empty() || SiteComesFirst(*newsite, min))) {
                HandleSite(newsite);
                newsite = CVoronoi::NextSite(m_vptSites);
            } else if (!m_pq.Empty()) {
                HandleCircle();
            } else {
                break;
            }
        }
        AppendOpenEdges();
    }

  private:
    static bool SiteComesFirst(const SPoint& site, const SPosition& event) {
        return Y(site) < event.m_dY || (Y(site) == event.m_dY && X(site) < event.m_dX);
    }

    void QueueIfMeeting(SHalfEdge* pheLft, SHalfEdge* pheRht, SHalfEdge* pheQueued,
                        const SPoint* pptSite, bool bRequeue) {
        SPoint* p = m_geo.Intersect(pheLft, pheRht);
        if (p == nullptr)
            return;
        if (bRequeue)
            m_pq.Delete(pheQueued);
        m_pq.Insert(pheQueued, p, CVoronoiGeometry::Distance(p, pptSite));
    }

    // A new site splits the arc above it: two half-edges of its bisector with
    // the site that owns that arc.
    void HandleSite(SPoint* newsite) {
        SHalfEdge* lbnd = m_hel.GetLftBnd(newsite->m_psXY);
        SHalfEdge* rbnd = m_hel.GetRht(lbnd);
        SPoint* bot = m_hel.GetRhtRegPnt(lbnd, m_pptBottom);
        SEdge* e = m_geo.Bisect(bot, newsite);
        SHalfEdge* b1 = m_hel.Create(e, 0);
        m_hel.Insert(lbnd, b1);
        QueueIfMeeting(lbnd, b1, lbnd, newsite, true);
        SHalfEdge* b2 = m_hel.Create(e, 1);
        m_hel.Insert(b1, b2);
        QueueIfMeeting(b2, rbnd, b2, newsite, false);
    }

    void OutputIfFinished(SHalfEdge* phe, SPoint* v) {
        if (CVoronoiGeometry::EndPoint(phe->m_peEdge, phe->m_nSide, v)) {
            m_veResult.emplace_back();
            CVoronoi::CopyEdge(phe->m_peEdge, &m_veResult.back());
        }
    }

    // An arc vanishes at a vertex: its two bounding half-edges end there and
    // the bisector of its neighbours starts there.
    void HandleCircle() {
        SHalfEdge* lbnd = m_pq.ExtractMinHalfEdge();
        SHalfEdge* llbnd = m_hel.GetLft(lbnd);
        SHalfEdge* rbnd = m_hel.GetRht(lbnd);
        SHalfEdge* rrbnd = m_hel.GetRht(rbnd);
        SPoint* bot = m_hel.GetLftRegPnt(lbnd, m_pptBottom);
        SPoint* top = m_hel.GetRhtRegPnt(rbnd, m_pptBottom);
        SPoint* v = lbnd->m_pptVertex;
        m_geo.MakeVertex(v);
        OutputIfFinished(lbnd, v);
        OutputIfFinished(rbnd, v);
        m_hel.Delete(lbnd);
        m_pq.Delete(rbnd);
        m_hel.Delete(rbnd);

        int side = 0;
        if (Y(*bot) > Y(*top)) {
            std::swap(bot, top);
            side = 1;
        }
        SEdge* e = m_geo.Bisect(bot, top);
        SHalfEdge* b = m_hel.Create(e, side);
        m_hel.Insert(llbnd, b);
        CVoronoiGeometry::EndPoint(e, 1 - side, v);
        QueueIfMeeting(llbnd, b, llbnd, bot, true);
        QueueIfMeeting(b, rrbnd, b, bot, false);
    }

    // Edges still on the sweep line run to infinity; one copy per half-edge.
    void AppendOpenEdges() {
        for (SHalfEdge* he = m_hel.GetRht(m_hel.GetLftEnd()); he != m_hel.GetRhtEnd();
             he = m_hel.GetRht(he)) {
            m_veResult.emplace_back();
            CVoronoi::CopyEdge(he->m_peEdge, &m_veResult.back());
        }
    }

    std::vector<SPoint>& m_vptSites;
    CHalfEdgeList& m_hel;
    CPriorityQueue& m_pq;
    CVoronoiGeometry& m_geo;
    std::vector<CEdge>& m_veResult;
    SPoint* m_pptBottom = nullptr;
};

}  // namespace

bool CVoronoi::GetVoronoi(std::vector<SPoint> vptX, std::vector<bool>& vbKeep,
                          std::vector<double>& vdDataMinMax, std::vector<double>& vdDataScale,
                          std::vector<CEdge>& veResult) {
    if (vptX.empty()) {
        PrintMessage("No Voronoi Points - CVoronoi::GetVoronoi");
        return false;
    }
    if (vptX.size() == 1)
        return true;
    if (!CheckSites(vptX))
        return false;

    vbKeep.clear();
    vdDataMinMax.clear();
    vdDataScale.clear();
    veResult.clear();

    std::sort(vptX.begin(), vptX.end(), PointLess);
    AppendDataBounds(vptX, vdDataMinMax);
    DropDuplicates(vptX, vdDataMinMax, vbKeep);

    const double xmin = vdDataMinMax[0], xmax = vdDataMinMax[1];
    const double ymin = vdDataMinMax[2], ymax = vdDataMinMax[3];
    const int s = static_cast<int>(std::sqrt(static_cast<double>(vptX.size()) + 4.0));
    CHalfEdgeList hel(xmin, xmax, 2 * s);
    CPriorityQueue pq(ymin, ymax, 4 * s);
    CVoronoiGeometry geo(xmin, xmax, ymin, ymax);
    vdDataScale = {geo.GetXMinLmt(), geo.GetXMaxLmt(), geo.GetYMinLmt(), geo.GetYMaxLmt()};

    m_nIndex = 0;
    veResult.reserve(3 * vptX.size());  // a planar diagram has at most 3m - 6 edges
    CSweep(vptX, hel, pq, geo, veResult).Run();

    if (veResult.empty()) {
        PrintMessage("Failed to find any Voronoi edge - CVoronoi::GetVoronoi");
        return false;
    }
    return true;
}

// Both sites of an edge below nNoP: one entry in each of their rows.
static bool LinksDataPoints(const CEdge& e, int nNoP) {
    const int i = e.m_ptReg[0].m_nIndex, o = e.m_ptReg[1].m_nIndex;
    return i >= 0 && i < nNoP && o >= 0 && o < nNoP;
}

// Sizes every row once, so that filling them allocates nothing more.
template <class T>
static void ReserveRows(int nNoP, const std::vector<CEdge>& veVoronoi,
                        std::vector<std::vector<T>>& vvnNS) {
    std::vector<int> count(static_cast<size_t>(nNoP), 0);
    for (const CEdge& e : veVoronoi) {
        if (!LinksDataPoints(e, nNoP))
            continue;
        ++count[static_cast<size_t>(e.m_ptReg[0].m_nIndex)];
        ++count[static_cast<size_t>(e.m_ptReg[1].m_nIndex)];
    }
    for (size_t i = 0; i < count.size(); ++i)
        vvnNS[i].reserve(static_cast<size_t>(count[i]));
}

bool CVoronoi::GetNeighborhoodSystem(int nNoP, const std::vector<CEdge>& veVoronoi,
                                     std::vector<std::vector<int>>& vvnNS) {
    if (veVoronoi.empty()) {
        PrintMessage("No Voronoi Edges - CVoronoi::GetNeighborhoodSystem");
        return false;
    }
    vvnNS.clear();
    if (nNoP <= 0)
        return true;
    vvnNS.resize(static_cast<size_t>(nNoP));
    ReserveRows(nNoP, veVoronoi, vvnNS);
    // One pass over the edges in order fills every row in the same order as
    // scanning all edges once per point would.
    for (const CEdge& e : veVoronoi) {
        if (!LinksDataPoints(e, nNoP))
            continue;
        for (int k = 0; k < 2; ++k)
            vvnNS[static_cast<size_t>(e.m_ptReg[k].m_nIndex)].push_back(e.m_ptReg[1 - k].m_nIndex);
    }
    return true;
}

// Weight of a neighbour at distance d when R is the larger data range: 1 up
// to 5 % of R, 0.05 R / d beyond, 0.1 beyond half of R.
static double NeighborWeight(double d, double R) {
    if (0.05 * R > d)
        return 1.0;
    if (d > 0.5 * R)
        return 0.1;
    return 0.05 * R / d;
}

bool CVoronoi::GetNeighborhoodSystem(const std::vector<SPoint>& vptX,
                                     const std::vector<double>& vdDataMinMax, int N,
                                     const std::vector<CEdge>& veVoronoi,
                                     std::vector<std::vector<CNeighbor>>& vvnNS, bool bUseWeight) {
    if (vptX.empty()) {
        PrintMessage("No Voronoi Points - CVoronoi::GetNeighborhoodSystem");
        return false;
    }
    if (static_cast<int>(vptX.size()) < N) {
        PrintMessage("Wrong Number of Data Points - CVoronoi::GetNeighborhoodSystem");
        return false;
    }
    if (veVoronoi.empty()) {
        PrintMessage("No Voronoi Edges - CVoronoi::GetNeighborhoodSystem");
        return false;
    }
    if (bUseWeight && vdDataMinMax.size() != 4) {
        PrintMessage("Wrong Data Min Max - CVoronoi::GetNeighborhoodSystem");
        return false;
    }
    vvnNS.clear();
    if (N <= 0)
        return true;
    vvnNS.resize(static_cast<size_t>(N));
    ReserveRows(N, veVoronoi, vvnNS);
    const double R =
        bUseWeight ? std::max(vdDataMinMax[1] - vdDataMinMax[0], vdDataMinMax[3] - vdDataMinMax[2])
                   : 0.0;
    for (const CEdge& e : veVoronoi) {
        if (!LinksDataPoints(e, N))
            continue;
        for (int k = 0; k < 2; ++k) {
            const int j = e.m_ptReg[k].m_nIndex;
            const int o = e.m_ptReg[1 - k].m_nIndex;
            double weight = 1.0;
            if (bUseWeight) {
                const SPoint& pj = vptX[static_cast<size_t>(j)];
                const SPoint& po = vptX[static_cast<size_t>(o)];
                weight = NeighborWeight(CVoronoiGeometry::Distance(&po, &pj), R);
            }
            vvnNS[static_cast<size_t>(j)].emplace_back(o, weight);
        }
    }
    return true;
}

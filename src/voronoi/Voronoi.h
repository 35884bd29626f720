// Voronoi tessellation of the sampling sites (Fortune's sweep), the
// neighbourhood system derived from it, its files and its drawings. All
// operations are static: the class only groups them.
#ifndef BRELO_VORONOI_VORONOI_H
#define BRELO_VORONOI_VORONOI_H

#include <string>
#include <vector>

#include "voronoi/FortuneStructures.h"

class CVoronoi {
  public:
    CVoronoi() = delete;

    // --- Tessellation -----------------------------------------------------
    // vptX[i].m_nIndex must be i. Fills vbKeep (false for a point dropped as
    // a (near-)duplicate), vdDataMinMax (xmin, xmax, ymin, ymax of all
    // points), vdDataScale (the clipping box, same order) and veResult (the
    // edges; an edge with no finite end appears twice). No point: message,
    // false. One point: true, outputs untouched.
    static bool GetVoronoi(std::vector<SPoint> vptX, std::vector<bool>& vbKeep,
                           std::vector<double>& vdDataMinMax, std::vector<double>& vdDataScale,
                           std::vector<CEdge>& veResult);

    static bool PointLess(const SPoint& a, const SPoint& b) {
        return a.m_psXY.m_dY < b.m_psXY.m_dY ||
               (a.m_psXY.m_dY == b.m_psXY.m_dY && a.m_psXY.m_dX < b.m_psXY.m_dX);
    }
    static SPoint* NextSite(std::vector<SPoint>& vptX);

    // Edge conversions. The SEdge made from a CEdge points into the CEdge's
    // storage (null where a point is absent) and lives only as long as it.
    static bool CopyEdge(const SEdge* pSrc, CEdge* pDst);
    static bool CopyEdge(CEdge* pSrc, SEdge* pDst);

    // --- Neighbourhood system ---------------------------------------------
    static bool GetNeighborhoodSystem(int nNoP, const std::vector<CEdge>& veVoronoi,
                                      std::vector<std::vector<int>>& vvnNS);
    static bool GetNeighborhoodSystem(const std::vector<SPoint>& vptX,
                                      const std::vector<double>& vdDataMinMax, int N,
                                      const std::vector<CEdge>& veVoronoi,
                                      std::vector<std::vector<CNeighbor>>& vvnNS, bool bUseWeight);

    // --- Files ------------------------------------------------------------
    static bool SaveVoronoi(const std::vector<SPoint>& vptX, const std::vector<bool>& vbKeep,
                            const std::vector<double>& vdDataMinMax,
                            const std::vector<double>& vdDataScale,
                            const std::vector<CEdge>& veVoronoi,
                            const std::vector<std::vector<int>>& vvnNS, const std::string& File);
    static bool LoadVoronoi(std::vector<SPoint>& vptX, std::vector<bool>& vbKeep,
                            std::vector<double>& vdDataMinMax, std::vector<double>& vdDataScale,
                            std::vector<CEdge>& veVoronoi, std::vector<std::vector<int>>& vvnNS,
                            const std::string& File);
    static bool WriteNStoMyFile(const std::vector<std::vector<int>>& vvnNS,
                                const std::string& File);
    // vvnNS must already hold at least N rows; values are appended to them.
    static bool LoadNS(std::vector<std::vector<int>>& vvnNS, int N, const std::string& File);

    // --- Drawings (PNG and PDF) -------------------------------------------
    // The axes are labelled in the coordinates of the sites minus shift:
    // the data's own when the sites were moved by shift.
    static bool DrawVoronoi(const std::vector<SPoint>& vptX, int N, const std::vector<bool>& vbKeep,
                            const std::vector<double>& vdDataMinMax,
                            const std::vector<CEdge>& veResult, bool bDrawLabel,
                            const std::string& strFigName, const SPosition& shift = SPosition());
    static bool DrawNeighborhoodSystem(const std::vector<SPoint>& vptX,
                                       const std::vector<double>& vdDataScale,
                                       const std::vector<std::vector<int>>& vvnNS, bool bDrawLabel,
                                       const std::string& strFigName,
                                       const SPosition& shift = SPosition());
    static bool DrawNeighborhoodSystem(const std::vector<SPoint>& vptX,
                                       const std::vector<double>& vdDataScale,
                                       const std::vector<std::vector<CNeighbor>>& vvnNS,
                                       bool bDrawLabel, const std::string& strFigName,
                                       const SPosition& shift = SPosition());
    static bool DrawNeighborhoodSystem(int nPtIndex, const std::vector<SPoint>& vptX,
                                       const std::vector<std::vector<int>>& vvnNS, bool bDrawLabel,
                                       const std::string& strFigName);
    static bool DrawNeighborhoodSystem(int nPtIndex, const std::vector<SPoint>& vptX,
                                       const std::vector<std::vector<CNeighbor>>& vvnNS,
                                       bool bDrawLabel, const std::string& strFigName);

  private:
    static int m_nIndex;  // cursor of NextSite
};

#endif

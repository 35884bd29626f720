#include "breloAdm/BreloAdmSetup.h"

#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>
#include <iostream>
#include <map>
#include <sstream>

#include "core/MatrixUtilities.h"
#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/RNGUtilities.h"
#include "io/IOUtilities.h"
#include "voronoi/Voronoi.h"

namespace {

// Characters after the first '.' of the six-digit rendering of v (all of
// them when there is no '.').
int CountShownDecimals(double v) {
    std::ostringstream os;
    os << v;
    const std::string text = os.str();
    const size_t dot = text.find('.');
    if (dot == std::string::npos)
        return static_cast<int>(text.size());
    return static_cast<int>(text.size() - dot - 1);
}

double LargerRange(const DBL_VCTR_2D& C) {
    double range = 0.0;
    for (int axis = 0; axis < 2; ++axis) {
        double lo = 1e300, hi = -1e300;
        for (const DBL_VCTR_1D& row : C) {
            lo = std::min(lo, row[axis]);
            hi = std::max(hi, row[axis]);
        }
        range = std::max(range, hi - lo);
    }
    return range;
}

std::vector<SPoint> MakeSites(const DBL_VCTR_2D& C) {
    std::vector<SPoint> sites(C.size());
    for (size_t i = 0; i < C.size(); ++i) {
        sites[i].m_psXY.m_dX = C[i][0];
        sites[i].m_psXY.m_dY = C[i][1];
        sites[i].m_nIndex = static_cast<int>(i);
    }
    return sites;
}

// Whether the sites of a saved tessellation are those of this data: the
// translated coordinates, moved at most by the jitter (individuals only) and
// by the six-digit rounding of the file.
bool SitesMatch(const std::vector<SPoint>& sites, const DBL_VCTR_2D& C, int N) {
    const double jitter = 8.0 * JitterStandardDeviation(C, N);
    for (size_t i = 0; i < sites.size(); ++i) {
        const double x = sites[i].m_psXY.m_dX, y = sites[i].m_psXY.m_dY;
        const double moved = i < static_cast<size_t>(N) ? jitter : 0.0;
        const double tolX = moved + 1e-5 * std::max(std::fabs(x), std::fabs(C[i][0]));
        const double tolY = moved + 1e-5 * std::max(std::fabs(y), std::fabs(C[i][1]));
        if (!(std::fabs(x - C[i][0]) <= tolX && std::fabs(y - C[i][1]) <= tolY))
            return false;
    }
    return true;
}

// The data bounds and the drawing box of a saved tessellation: finite, of a
// finite positive width and height, the box around the bounds. A box of
// infinite width (-1e308 1e308) would leave every chart blank.
bool BoundsFit(const std::vector<double>& bounds, const std::vector<double>& box) {
    if (bounds.size() != 4 || box.size() != 4)
        return false;
    // Sites on one line have bounds of no width; the box is always wider.
    for (const std::vector<double>* v : {&bounds, &box})
        for (int axis = 0; axis < 2; ++axis) {
            const double lo = (*v)[2 * axis], hi = (*v)[2 * axis + 1];
            if (!std::isfinite(lo) || !std::isfinite(hi) || !std::isfinite(hi - lo) ||
                !(v == &box ? hi > lo : hi >= lo))
                return false;
        }
    return box[0] <= bounds[0] && box[1] >= bounds[1] && box[2] <= bounds[2] && box[3] >= bounds[3];
}

// A saved tessellation is only of use for the same sites: N + nd points at
// the positions of C, and a neighbourhood system over the N individuals.
bool ReloadTessellation(const SAdmOptions& opt, const DBL_VCTR_2D& C, STessellation& tess) {
    if (opt.Voronoi.empty())
        return false;
    if (!CVoronoi::LoadVoronoi(tess.vptC, tess.vbKeep, tess.vdDataMinMax, tess.vdDataScale,
                               tess.veVoronoi, tess.vvnNS, opt.Voronoi))
        return false;
    const size_t sites = static_cast<size_t>(opt.N) + opt.nd;
    bool fits = tess.vptC.size() == sites && tess.vbKeep.size() == sites &&
                tess.vvnNS.size() == static_cast<size_t>(opt.N) && C.size() == sites;
    for (const INT_VCTR_1D& row : tess.vvnNS)
        for (int j : row)
            fits = fits && j >= 0 && j < opt.N;
    fits =
        fits && SitesMatch(tess.vptC, C, opt.N) && BoundsFit(tess.vdDataMinMax, tess.vdDataScale);
    if (!fits) {
        PrintMessage("Voronoi file " + opt.Voronoi +
                     " does not fit the data (other sites or no finite box); computing the "
                     "tessellation");
        tess = STessellation();
        return false;
    }
    DropRepeatedNeighbours(tess.vvnNS);
    return true;
}

void ComputeTessellation(const SAdmOptions& opt, const DBL_VCTR_2D& C, const SPosition& shift,
                         STessellation& tess) {
    std::cout << "Generating Voronoi Tessellation & Neighborhood System... " << std::flush;
    tess.vptC = MakeSites(C);
    CVoronoi::GetVoronoi(tess.vptC, tess.vbKeep, tess.vdDataMinMax, tess.vdDataScale,
                         tess.veVoronoi);
    CVoronoi::DrawVoronoi(tess.vptC, opt.N, tess.vbKeep, tess.vdDataMinMax, tess.veVoronoi, false,
                          opt.FAFN + "VD.png", shift);
    CVoronoi::GetNeighborhoodSystem(opt.N, tess.veVoronoi, tess.vvnNS);
    // Individuals that the tessellation left without an edge still need a row.
    if (tess.vvnNS.size() < static_cast<size_t>(opt.N))
        tess.vvnNS.resize(opt.N);
    DropRepeatedNeighbours(tess.vvnNS);
    CVoronoi::DrawNeighborhoodSystem(tess.vptC, tess.vdDataScale, tess.vvnNS, true,
                                     opt.FAFN + "ND.png", shift);
    CVoronoi::SaveVoronoi(tess.vptC, tess.vbKeep, tess.vdDataMinMax, tess.vdDataScale,
                          tess.veVoronoi, tess.vvnNS, opt.FAFN + "VC");
    std::cout << "Done" << std::endl;
}

}  // namespace

void DropRepeatedNeighbours(INT_VCTR_2D& vvnNS) {
    for (INT_VCTR_1D& row : vvnNS) {
        INT_VCTR_1D kept;
        for (int j : row)
            if (std::find(kept.begin(), kept.end(), j) == kept.end())
                kept.push_back(j);
        row.swap(kept);
    }
}

void LoadGeoDistances(const SAdmOptions& opt, SAdmSetup& setup) {
    if (opt.geoFile.empty())
        return;
    // N x N values grow fast: the file is checked before they are given room.
    const std::string announcedBy = "-N" + std::to_string(opt.N);
    if (!CheckMatrixFile(opt.N, opt.N, opt.geoFile, announcedBy))
        ExitProgram(1);
    setup.geo.assign(opt.N, DBL_VCTR_1D(opt.N, 0.0));
    LoadVector2D(setup.geo, opt.geoFile, announcedBy);
    setup.theta = opt.theta;
    if (!opt.scSpecified)
        computeSymmMatrixStat(setup.theta, setup.geo, opt.scOpt);
    if (!(setup.theta > 0.0) || !std::isfinite(setup.theta)) {
        Refuse("The distance scale derived from " + opt.geoFile +
               " is not a positive number - LoadGeoDistances");
    }
}

void LoadAdmData(const SAdmOptions& opt, SAdmSetup& setup) {
    LoadDataSet(MakeDataLayout(opt, opt.FIFN), setup.data);
    DBL_VCTR_2D& Xtild = setup.data.Xtild;
    if (Xtild.empty() || Xtild[0].empty()) {
        Xtild.clear();
        InitVctr2D(Xtild, opt.N, 1, 1.0);
    }
    setup.beta_length = static_cast<int>(Xtild[0].size());
    // Per sweep the run keeps the coefficient trace (K x B) and the
    // log-likelihood: refused before any work when they cannot fit.
    CheckTraceMemory(opt.TotalSweep, static_cast<double>(opt.K) * setup.beta_length + 1.0);
    if (opt.isRecAllele)
        setup.Xobs = setup.data.X;
}

bool TranslateCoordinates(DBL_VCTR_2D& C, SPosition* shift) {
    if (C.empty() || C[0].size() != 2)
        return false;
    double minX = 1e300, maxX = -1e300, minY = 1e300, maxY = -1e300;
    for (const DBL_VCTR_1D& row : C) {
        minX = std::min(minX, row[0]);
        maxX = std::max(maxX, row[0]);
        minY = std::min(minY, row[1]);
        maxY = std::max(maxY, row[1]);
    }
    const double shiftX = 2 * (maxX - minX) - minX;
    const double shiftY = 2 * (maxY - minY) - minY;
    for (DBL_VCTR_1D& row : C) {
        row[0] += shiftX;
        row[1] += shiftY;
    }
    if (shift)
        *shift = SPosition{shiftX, shiftY};
    return true;
}

INT_VCTR_1D SamplingSites(const DBL_VCTR_2D& C, int N) {
    std::map<std::pair<double, double>, int> sites;
    INT_VCTR_1D siteOf;
    for (int i = 0; i < N && i < static_cast<int>(C.size()); ++i) {
        const auto place = std::make_pair(C[i][0], C[i][1]);
        const auto found = sites.emplace(place, static_cast<int>(sites.size())).first;
        siteOf.push_back(found->second);
    }
    return siteOf;
}

double JitterStandardDeviation(const DBL_VCTR_2D& C, int N) {
    int nbDigitMax = 0;
    for (int i = 0; i < N && i < static_cast<int>(C.size()); ++i)
        nbDigitMax =
            std::max({nbDigitMax, CountShownDecimals(C[i][0]), CountShownDecimals(C[i][1])});
    const double designed = 1.0 / (std::pow(10.0, nbDigitMax) * 10.0);
    return std::max(designed, 1e-5 * LargerRange(C));
}

void JitterCoordinates(DBL_VCTR_2D& C, int N, const gsl_rng* rng) {
    const double perturb = JitterStandardDeviation(C, N);
    for (int i = 0; i < N; ++i) {
        C[i][0] += gsl_ran_gaussian(rng, perturb);
        C[i][1] += gsl_ran_gaussian(rng, perturb);
    }
}

void BuildNeighborhoodSystem(const SAdmOptions& opt, DBL_VCTR_2D& C, const SPosition& shift,
                             const gsl_rng* rng, STessellation& tess) {
    if (ReloadTessellation(opt, C, tess))
        return;
    JitterCoordinates(C, opt.N, rng);
    ComputeTessellation(opt, C, shift, tess);
}

DBL_VCTR_2D SitesInDataCoordinates(const SAdmSetup& setup, int N) {
    DBL_VCTR_2D sites;
    const STessellation& t = setup.tess;
    for (int i = 0; i < N && i < static_cast<int>(t.vptC.size()); ++i)
        if (i < static_cast<int>(t.vbKeep.size()) && t.vbKeep[i])
            sites.push_back({t.vptC[i].m_psXY.m_dX - setup.shift.m_dX,
                             t.vptC[i].m_psXY.m_dY - setup.shift.m_dY});
    return sites;
}

void RunAdmSetup(const SAdmOptions& opt, SAdmSetup& setup, gsl_rng*& rng) {
    LoadGeoDistances(opt, setup);
    LoadAdmData(opt, setup);
    setup.s_clock = clock();
    gsl_rng_env_setup();
    setup.seed = AllocRNG(rng, gsl_rng_default);
    TranslateCoordinates(setup.data.C, &setup.shift);
    setup.siteOf = SamplingSites(setup.data.C, opt.N);
    BuildNeighborhoodSystem(opt, setup.data.C, setup.shift, rng, setup.tess);
    setup.alleleV = setup.data.X.AlleleLists();
    setup.J = setup.data.X.AlleleCounts();
}

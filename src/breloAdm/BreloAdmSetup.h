// Set-up of a breloAdm run: the data, the geographic distances, the
// coordinates prepared for the tessellation, the neighbourhood system and
// the allele lists.
#ifndef BRELO_BRELOADM_BRELOADMSETUP_H
#define BRELO_BRELOADM_BRELOADMSETUP_H

#include <gsl/gsl_rng.h>

#include <ctime>
#include <string>
#include <vector>

#include "breloAdm/BreloAdmOptions.h"
#include "core/VectorUtilities.h"
#include "io/DataSet.h"
#include "voronoi/FortuneStructures.h"

// The tessellation of the sites (data individuals, then dummies) with the
// neighbourhood system of the N individuals.
struct STessellation {
    std::vector<SPoint> vptC;
    std::vector<bool> vbKeep;
    std::vector<double> vdDataMinMax;
    std::vector<double> vdDataScale;
    std::vector<CEdge> veVoronoi;
    INT_VCTR_2D vvnNS;
};

struct SAdmSetup {
    CDataSet data;        // X, C, Xtild, XQual, LevelCount, nQualLevels, isBase, recAllele
    CGenotypeStore Xobs;  // observed phenotypes, only with recessive alleles
    int beta_length = 0;
    DBL_VCTR_2D geo;     // N x N distances, only with -g
    double theta = 1.0;  // distance scale
    STessellation tess;
    SPosition shift;      // added to the coordinates: the data's own are C - shift
    INT_VCTR_1D siteOf;   // the sampling site of each individual (one place, one site)
    INT_VCTR_2D alleleV;  // the allele lists of data.X
    INT_VCTR_1D J;
    clock_t s_clock = 0;     // processor time at the start of the run
    unsigned long seed = 0;  // seed of the run's generator
};

// Steps before the generator exists: the distance file with its scale, then
// the data file with the intercept-only fallback and the copy of the
// observed phenotypes.
void LoadGeoDistances(const SAdmOptions& opt, SAdmSetup& setup);
void LoadAdmData(const SAdmOptions& opt, SAdmSetup& setup);

// Moves the sites so that the smallest coordinate on each axis becomes twice
// that axis's range (over all rows, dummies included); *shift, when given,
// receives what was added on each axis. False, and nothing done, when C is
// empty or its rows are not pairs.
bool TranslateCoordinates(DBL_VCTR_2D& C, SPosition* shift = nullptr);

// The sampling site of each of the first N rows of C: rows at the same
// place share one, numbered from 0 in the order of their first row.
INT_VCTR_1D SamplingSites(const DBL_VCTR_2D& C, int N);

// Standard deviation of the jitter that separates coincident individuals:
// ten times below the last decimal shown by the six-digit rendering of the
// coordinates, but never below 1e-5 of the larger coordinate range, so that
// it stays far above the resolution of a double on metric coordinates.
double JitterStandardDeviation(const DBL_VCTR_2D& C, int N);
// Adds the jitter to x then y of each of the first N rows, in row order.
void JitterCoordinates(DBL_VCTR_2D& C, int N, const gsl_rng* rng);

// Keeps the first of repeated entries of every row. The tessellation lists
// an edge without a finite end twice (sites on one line, or only two
// sites); W counts each neighbour once, and so must the sampler's neighbour
// sums.
void DropRepeatedNeighbours(INT_VCTR_2D& vvnNS);

// The neighbourhood system: reloaded from opt.Voronoi when that file loads
// and fits the sites, otherwise jitter, tessellation, drawings "VD.png" and
// "ND.png" (axes in the coordinates C - shift) and the file "VC", all with
// the prefix opt.FAFN; each neighbour listed once.
void BuildNeighborhoodSystem(const SAdmOptions& opt, DBL_VCTR_2D& C, const SPosition& shift,
                             const gsl_rng* rng, STessellation& tess);

// Where the first N sites of the tessellation lie in the data's own
// coordinates (those kept by the tessellation), as rows (x, y).
DBL_VCTR_2D SitesInDataCoordinates(const SAdmSetup& setup, int N);

// The whole set-up in the order of the program, the generator allocated in
// between (rng receives it).
void RunAdmSetup(const SAdmOptions& opt, SAdmSetup& setup, gsl_rng*& rng);

#endif

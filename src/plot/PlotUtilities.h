// Result charts of both programs (log-likelihood history, coefficient
// histories, assignment probabilities, predicted probabilities per level,
// mixing proportions, kinship coefficients) and the membership map of
// breloAdm, drawn as PNG files through the charting layer.
//
// Every function returns 0 when the chart was written and -1 when it was
// refused or could not be written; the message says which. Only an empty
// coefficient history ends the program (PlotBetaHist).
#ifndef BRELO_PLOT_PLOTUTILITIES_H
#define BRELO_PLOT_PLOTUTILITIES_H

#include <string>
#include <vector>

#include "core/VectorUtilities.h"

struct SPoint;
class CEdge;
class DrawArea;

// Colour (0xRRGGBB) of the 0-based cluster label, the same in every chart
// of the three programs: the chart palette's (labels beyond it wrap around).
int GetClusterColor(int label);

// The option -w<formats> of brelo and breloAdm: the files every chart is
// written as, "png", "pdf", "png,pdf" (the default) or "none". Anything
// else is refused (one line, exit status 1).
void SetFigureFormatsOption(const std::string& formats);

// The file where a chart written under pngFile can be looked at: the PNG,
// else its PDF twin, or "" when -w turns both off.
std::string FigureFile(const std::string& pngFile);

// Colour of the line that marks the end of the burn-in on the histories.
constexpr int kBurnInMarkColor = 0x0000ff;

// firstKept, the 0-based index of the first kept sweep, is marked by a line
// between it and the sweep before when 0 < firstKept < history.size().
int PlotLH(const std::string& file, const DBL_VCTR_1D& history, int firstKept = -1);
// betaHist[k][b][d]: value d of coefficient b of cluster k; firstKept is
// marked on every small chart as on PlotLH.
int PlotBetaHist(const std::string& file, const DBL_VCTR_3D& betaHist,
                 const INT_VCTR_1D& nQualLevels, int nbQuantVar, int trendDegree,
                 int firstKept = -1);
// What a membership bar plot knows of its individuals.
struct SBarLabels {
    // One id per individual, shown under its bar where the ids fit; empty:
    // the positions 1..N.
    std::vector<std::string> ids;
    // The group of each individual (an index into groupNames), or empty:
    // groups are marked by lines between them and named under the bars.
    INT_VCTR_1D groupOf;
    std::vector<std::string> groupNames;
};
// The labels of a data set: its ids, and its populations (popIndex, from 1,
// as the Pop blocks of a GENEPOP file; empty: none) as groups "pop 1" ...
SBarLabels PopulationBarLabels(const std::vector<std::string>& ids, const INT_VCTR_1D& popIndex);
// The order of the bars: by group, then by main cluster of memberships,
// then by the membership of that cluster, largest first.
INT_VCTR_1D MembershipOrder(const DBL_VCTR_2D& memberships, const SBarLabels& labels);

// ap[i][k]: probability of individual i in cluster k, drawn as one stacked
// bar per individual, in the order given (positions in ap; empty: as in
// ap), at most 1200 pixels wide whatever N, with a legend of the clusters.
int PlotAP(const std::string& file, const DBL_VCTR_2D& ap, const std::string& title,
           const SBarLabels& labels = SBarLabels(), const INT_VCTR_1D& order = INT_VCTR_1D());

// Largest width of a membership bar plot, in layout pixels (its PNG is
// twice as wide).
constexpr int kMaxBarPlotWidth = 1200;
// ap[v][l][k]: predicted probability of cluster k at level l of qualitative
// covariate v.
int PlotPPMqual(const std::string& file, const DBL_VCTR_3D& ap);
int PlotMP(const std::string& file, const DBL_VCTR_1D& mp);
int PlotKin(const std::string& file, const DBL_VCTR_1D& values,
            const std::vector<std::string>& labels);

// Membership map: the Voronoi cells of the kept data points painted in the
// colour of their cluster hc[i]; sites 0..hc.size()-1 of vptX are data
// points, the rest dummy points.
// The cells are polygons (a vector PDF twin); the legend names K clusters
// (at least those of hc).
int PlotHC(const std::string& file, const std::vector<SPoint>& vptX,
           const std::vector<bool>& vbKeep, const DBL_VCTR_1D& vdDataMinMax,
           const std::vector<CEdge>& veVoronoi, const INT_VCTR_1D& hc, int K = 0);
// Map of the admixture proportions (MAP.png): the Voronoi cells of the
// sampling sites in the colour of each site's main cluster, paler where it
// holds less (its share as opacity over white), a pie of each site's mean
// proportions at the site, axes in the data's own coordinates and a
// legend. q[i][k]: proportions of data point i (sites 0..q.size()-1 of
// vptX); siteOf[i]: the sampling site of i (individuals at one place share
// one; empty: a site each); (shiftX, shiftY): what the tessellation's
// coordinates add to the data's own. Returns 0, or -1 when refused or not
// written.
int PlotAdmixtureMap(const std::string& file, const std::vector<SPoint>& vptX,
                     const std::vector<bool>& vbKeep, const DBL_VCTR_1D& vdDataMinMax,
                     const std::vector<CEdge>& veVoronoi, const DBL_VCTR_2D& q,
                     const INT_VCTR_1D& siteOf, double shiftX, double shiftY);

// Map of the predicted proportions (PredictionMap.png): each raster cell in
// the colour of its main predicted cluster, paler where it holds less, the
// sampling sites on top, a legend, and under it one small map per cluster
// of its proportion. prediction[k][row][col] on ncol x nrow cells of side
// cellSize, rows from the top, the centre of the bottom-left cell at (xll,
// yll), noData where nothing is predicted; sites: (x, y) in the same
// coordinates. Returns 0, or -1 when refused or not written.
int PlotPredictionMap(const std::string& file, const DBL_VCTR_3D& prediction, double xll,
                      double yll, double cellSize, double noData, const DBL_VCTR_2D& sites);

// The individuals as a scatter chart, one symbol and colour per cluster,
// optionally labelled with their index + 1.
int PlotHC(const std::string& file, const std::vector<SPoint>& vptX, const DBL_VCTR_1D& vdDataScale,
           const INT_VCTR_1D& hc, int NumOfC, bool bDrawLabel);

#endif

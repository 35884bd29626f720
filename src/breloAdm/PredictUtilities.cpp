#include "breloAdm/PredictUtilities.h"

#include <gsl/gsl_randist.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <fstream>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "core/Messages.h"
#include "core/ProgramExit.h"
#include "core/RNGUtilities.h"
#include "io/CovariateCoding.h"
#include "io/RasterFiles.h"
#include "plot/PlotUtilities.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    Refuse(message);
}

// The no-data mark of the cells: the map's own value, unless a cell centre
// lies at that very coordinate (a no-data value of 0 on a grid through 0),
// where the cell would be taken for a cell without data.
double NoDataMark(const SRasterGrid& grid) {
    double mark = grid.noData;
    for (int attempt = 0; attempt < 3; ++attempt) {
        bool clash = false;
        for (int i = 0; i < grid.nrow && !clash; ++i)
            clash = grid.CellY(i) == mark;
        for (int j = 0; j < grid.ncol && !clash; ++j)
            clash = grid.CellX(j) == mark;
        if (!clash)
            return mark;
        mark = attempt == 0 ? -9999.0 : -1e300;
    }
    return mark;
}

}  // namespace

void LoadMap(DBL_VCTR_2D& map, SRasterGrid& grid, const std::string& File) {
    std::vector<char> hasData;
    std::string error;
    if (!ReadRasterMap(File, "LoadMap", grid, hasData, error))
        Fail(error);
    grid.noData = NoDataMark(grid);
    map.assign(hasData.size(), DBL_VCTR_1D(2, grid.noData));
    for (int i = 0, cell = 0; i < grid.nrow; ++i)
        for (int j = 0; j < grid.ncol; ++j, ++cell)
            if (hasData[cell])
                map[cell] = {grid.CellX(j), grid.CellY(i)};
}

void LoadMap(DBL_VCTR_2D& map, double& NoData, double& XLL, double& YLL, double& CellSize,
             int& nrow, int& ncol, const std::string& File) {
    SRasterGrid grid;
    LoadMap(map, grid, File);
    NoData = grid.noData;
    XLL = grid.xllCenter;
    YLL = grid.yllCenter;
    CellSize = grid.cellSize;
    nrow = grid.nrow;
    ncol = grid.ncol;
}

int TrendDegreeOfDesign(int beta_length) {
    switch (beta_length) {
        case 1:
            return 0;
        case 3:
            return 1;
        case 6:
            return 2;
        case 10:
            return 3;
        default:
            return -1;
    }
}

namespace {

// g[k] = trend of cluster k at (x, y): the coefficients of beta[k] over the
// terms 1, x, y, x2, y2, xy, x3, ... of a design of the given degree.
void TrendAt(double x, double y, const DBL_VCTR_2D& beta, int degree, DBL_VCTR_1D& terms,
             DBL_VCTR_1D& g) {
    FillTrendColumns(x, y, degree, 2, terms.data() + 1);
    for (size_t k = 0; k < beta.size(); ++k) {
        g[k] = 0.0;
        for (size_t b = 0; b < terms.size(); ++b)
            g[k] += beta[k][b] * terms[b];
    }
}

// alpha_k / sum(alpha) with alpha_k = exp(g_k), computed from the largest
// g so that no exponential overflows.
void ExpectedProportions(const DBL_VCTR_1D& g, DBL_VCTR_1D& Q) {
    const double gmax = *std::max_element(g.begin(), g.end());
    double sum = 0.0;
    for (size_t k = 0; k < g.size(); ++k)
        sum += Q[k] = std::exp(g[k] - gmax);
    for (double& q : Q)
        q /= sum;
}

void CheckPredictionArguments(const DBL_VCTR_3D& prediction, const DBL_VCTR_2D& map,
                              const DBL_VCTR_2D& beta) {
    if (prediction.empty())
        Fail("Uninitialized prediction -- predictFromBetaHat");
    if (map.empty())
        Fail("Uninitialized map -- predictFromBetaHat");
    if (beta.empty())
        Fail("Uninitialized beta -- predictFromBetaHat");
    if (beta.size() != prediction.size())
        Fail("Internal error: beta.size and prediction.size don't agree -- predictFromBetaHat");
    const size_t nrow = prediction[0].size();
    const size_t ncol = nrow ? prediction[0][0].size() : 0;
    if (map.size() != nrow * ncol)
        Fail("Internal error: map.size and prediction.size don't agree -- predictFromBetaHat");
    const int bl = static_cast<int>(beta[0].size());
    if (TrendDegreeOfDesign(bl) < 0)
        Fail("The coefficients do not form a polynomial trend in both coordinates (" +
             std::to_string(bl) + " columns): no map prediction -- predictFromBetaHat");
}

}  // namespace

void predictFromBetaHat(DBL_VCTR_3D& prediction, const DBL_VCTR_2D& map, const DBL_VCTR_2D& beta,
                        double noData, MapPrediction mode) {
    CheckPredictionArguments(prediction, map, beta);
    const size_t ncol = prediction[0][0].size();
    const int bl = static_cast<int>(beta[0].size());
    const int degree = TrendDegreeOfDesign(bl);

    gsl_rng* rng = nullptr;
    if (mode == MapPrediction::Draw) {
        gsl_rng_env_setup();
        AllocRNG(rng, gsl_rng_default);
    }
    const size_t K = beta.size();
    DBL_VCTR_1D terms(bl, 1.0), g(K), alpha(K), QPredict(K);
    for (size_t c = 0; c < map.size(); ++c) {
        const size_t i = c / ncol, j = c % ncol;
        const double x = map[c][0], y = map[c][1];
        if (x == noData || y == noData) {
            for (size_t k = 0; k < K; ++k)
                prediction[k][i][j] = noData;
            continue;
        }
        TrendAt(x, y, beta, degree, terms, g);
        if (mode == MapPrediction::Draw) {
            for (size_t k = 0; k < K; ++k)
                alpha[k] = std::exp(g[k]);
            gsl_ran_dirichlet(rng, K, alpha.data(), QPredict.data());
        } else {
            ExpectedProportions(g, QPredict);
        }
        for (size_t k = 0; k < K; ++k)
            prediction[k][i][j] = QPredict[k];
    }
    FreeRNG(rng);
}

bool SavePredictionToMyFile(const DBL_VCTR_2D& prediction_clust, const std::string& File,
                            double noData, double XLL, double YLL, double CellSize) {
    if (prediction_clust.empty())
        Fail("Uninitialized prediction -- SavePredictionToMyFile");
    SRasterGrid grid;
    grid.nrow = static_cast<int>(prediction_clust.size());
    grid.ncol = static_cast<int>(prediction_clust[0].size());
    grid.xllCenter = XLL;
    grid.yllCenter = YLL;
    grid.cellSize = CellSize;
    grid.noData = noData;
    std::string error;
    if (!WriteTextRaster(File, grid, prediction_clust, error))
        Fail(error);
    return true;
}

void SavePredictionGeoTiff(const DBL_VCTR_3D& prediction, const SRasterGrid& grid,
                           const std::string& File) {
    std::vector<std::string> names;
    for (size_t k = 1; k <= prediction.size(); ++k)
        names.push_back("Cluster " + std::to_string(k));
    std::string error;
    if (!WriteGeoTiff(File, grid, prediction, names, error))
        Fail(error);
}

void RunMapPrediction(const std::string& mapFile, bool covariatesGiven, const std::string& FOFN,
                      const DBL_VCTR_2D& betaHat, const DBL_VCTR_2D& sites, MapPrediction mode,
                      const std::string& crsWkt) {
    if (covariatesGiven) {
        PrintMessage(
            "Warning: BRELO command line or gui do NOT predict on map if there are "
            "covariates other than spatial in the data file: option -m" +
            mapFile +
            " ignored (use R scripts provided along with the software to forecast "
            "membership/admixture coefficients on maps)");
        return;
    }
    const clock_t start = clock();
    std::cout << "Prediction started ..." << std::endl;
    DBL_VCTR_2D map;
    SRasterGrid grid;
    LoadMap(map, grid, mapFile);
    if (!crsWkt.empty())
        grid.crsWkt = crsWkt;
    DBL_VCTR_3D prediction;
    InitVctr3D(prediction, static_cast<int>(betaHat.size()), grid.nrow, grid.ncol, 0.0);
    predictFromBetaHat(prediction, map, betaHat, grid.noData, mode);
    for (size_t k = 1; k <= betaHat.size(); ++k)
        SavePredictionToMyFile(prediction[k - 1],
                               FOFN + "Prediction_cluster_" + std::to_string(k) + ".txt",
                               grid.noData, grid.xllCenter, grid.yllCenter, grid.cellSize);
    SavePredictionGeoTiff(prediction, grid, FOFN + kPredictionGeoTiffSuffix);
    PlotPredictionMap(FOFN + "PredictionMap.png", prediction, grid.xllCenter, grid.yllCenter,
                      grid.cellSize, grid.noData, sites);
    std::ostringstream line;
    line << "Prediction took " << std::fixed << std::setprecision(3)
         << static_cast<double>(clock() - start) / CLOCKS_PER_SEC
         << " seconds to complete on this computer.";
    std::cout << line.str() << std::endl;
}

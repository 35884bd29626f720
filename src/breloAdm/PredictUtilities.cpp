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
#include "core/TokenReader.h"
#include "io/CovariateCoding.h"

namespace {

[[noreturn]] void Fail(const std::string& message) {
    Refuse(message);
}

void ReadMapHeader(CFieldReader& reader, double& NoData, double& XLL, double& YLL, double& CellSize,
                   int& nrow, int& ncol) {
    reader.SetWhere("header");
    if (!(reader.Skip("the NCOLS keyword") && reader.Int(ncol, "the number of columns") &&
          reader.Skip("the NROWS keyword") && reader.Int(nrow, "the number of rows") &&
          reader.Skip("the XLLCENTER keyword") && reader.Real(XLL, "the x of the left column") &&
          reader.Skip("the YLLCENTER keyword") && reader.Real(YLL, "the y of the bottom row") &&
          reader.Skip("the CELLSIZE keyword") && reader.Real(CellSize, "the cell size") &&
          reader.Skip("the NODATA_VALUE keyword") && reader.Real(NoData, "the no-data value")))
        ExitProgram(1);
    if (ncol < 1 || nrow < 1 || !(CellSize > 0))
        Fail("Map " + reader.File() +
             " describes no grid (rows and columns must be at least 1, the cell size "
             "positive) - LoadMap");
}

}  // namespace

void LoadMap(DBL_VCTR_2D& map, double& NoData, double& XLL, double& YLL, double& CellSize,
             int& nrow, int& ncol, const std::string& File) {
    CFieldReader reader(File, "LoadMap", std::cerr);
    if (!reader.Open())
        Fail("Cannot open file " + File + " - LoadMap");
    ReadMapHeader(reader, NoData, XLL, YLL, CellSize, nrow, ncol);
    // The cells grow as they are read: a header that promises more cells than
    // the file holds ends at the first missing value, not in an allocation of
    // the promised size.
    map.clear();
    const double Ymax = std::round((nrow - 1) * CellSize + YLL);
    for (int i = 0; i < nrow; ++i) {
        reader.SetWhere("row", i + 1);
        for (int j = 0; j < ncol; ++j) {
            double v = 0;
            if (!reader.Real(v, "the value of column %d", j + 1))
                ExitProgram(1);
            if (v != NoData)
                map.push_back({j * CellSize + XLL, Ymax - i * CellSize});
            else
                map.push_back({NoData, NoData});
        }
    }
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
    std::ofstream os(File, std::ios::out | std::ios::trunc);
    if (!os.is_open())
        Fail("Cannot open file " + File + " - SavePredictionToMyFile");
    os << "#NCOLS   " << prediction_clust[0].size() << "\n";
    os << "#NROWS   " << prediction_clust.size() << "\n";
    // The georeference keeps its digits: six significant digits would move a
    // map in metric coordinates by metres.
    os << std::setprecision(12);
    os << "#XLLCENTER   " << XLL << "\n";
    os << "#YLLCENTER   " << YLL << "\n";
    os << "#CELLSIZE   " << CellSize << "\n";
    os << "#NODATA_VALUE   " << noData << "\n";
    os << std::setprecision(6);
    for (const DBL_VCTR_1D& row : prediction_clust) {
        for (double v : row)
            os << v << "\t";
        os << "\n";
    }
    os << "\n\n\n";
    os.close();
    if (!os)
        Fail("Cannot write file " + File + " - SavePredictionToMyFile");
    return true;
}

void RunMapPrediction(const std::string& mapFile, bool covariatesGiven, const std::string& FOFN,
                      const DBL_VCTR_2D& betaHat, MapPrediction mode) {
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
    double noData = 0, XLL = 0, YLL = 0, CellSize = 0;
    int nrow = 0, ncol = 0;
    LoadMap(map, noData, XLL, YLL, CellSize, nrow, ncol, mapFile);
    DBL_VCTR_3D prediction;
    InitVctr3D(prediction, static_cast<int>(betaHat.size()), nrow, ncol, 0.0);
    predictFromBetaHat(prediction, map, betaHat, noData, mode);
    for (size_t k = 1; k <= betaHat.size(); ++k)
        SavePredictionToMyFile(prediction[k - 1],
                               FOFN + "Prediction_cluster_" + std::to_string(k) + ".txt", noData,
                               XLL, YLL, CellSize);
    std::ostringstream line;
    line << "Prediction took " << std::fixed << std::setprecision(3)
         << static_cast<double>(clock() - start) / CLOCKS_PER_SEC
         << " seconds to complete on this computer.";
    std::cout << line.str() << std::endl;
}

// Map prediction of breloAdm: the posterior mean trend of every cluster
// projected onto the cells of a raster map, the admixture proportions
// predicted in each cell (their expected values, or one draw from their
// Dirichlet law), one text raster written per cluster and one GeoTIFF of
// all clusters.
#ifndef BRELO_BRELOADM_PREDICTUTILITIES_H
#define BRELO_BRELOADM_PREDICTUTILITIES_H

#include <string>

#include "core/VectorUtilities.h"
#include "io/RasterFiles.h"

// Reads the raster map File (any raster GDAL reads, or the text layout of
// the predicted maps: see ReadRasterMap) into its grid and map: one row
// (x, y) per cell in row-major order from the top row, the centre of the
// cell, or (noData, noData) for a cell without data. grid.noData is the
// map's no-data value, or -9999 when it has none or a cell centre lies at
// that coordinate. Fatal (stderr, exit 1): every refusal of ReadRasterMap.
void LoadMap(DBL_VCTR_2D& map, SRasterGrid& grid, const std::string& File);
// The same with the header values apart: ncol, nrow, XLL (x of the centre
// of the left column), YLL (y of the centre of the bottom row), CellSize,
// NoData.
void LoadMap(DBL_VCTR_2D& map, double& NoData, double& XLL, double& YLL, double& CellSize,
             int& nrow, int& ncol, const std::string& File);

// Trend degree of a design of beta_length columns holding the polynomial
// terms 1, x, y, x2, y2, xy, x3, y3, x2y, xy2: 0, 1, 2 or 3 for 1, 3, 6 or 10
// columns, -1 for any other count.
int TrendDegreeOfDesign(int beta_length);

// What a cell of the predicted map holds: the expected proportions of the
// Dirichlet law of the cell, alpha_k / sum(alpha), or one random draw from
// that law (a simulated map, option -qdraw).
enum class MapPrediction { Expected, Draw };

// prediction (K x nrow x ncol, sized by the caller) receives for each cell,
// with alpha_k = exp(trend of cluster k at the cell centre), the expected
// proportions alpha_k / sum(alpha) or, with MapPrediction::Draw, one draw
// of Dirichlet(alpha) from a generator of its own; noData for the cells
// without data. Fatal (stderr, exit 1) on empty or mismatched arguments or
// a design that is not a polynomial trend in both coordinates.
void predictFromBetaHat(DBL_VCTR_3D& prediction, const DBL_VCTR_2D& map, const DBL_VCTR_2D& beta,
                        double noData, MapPrediction mode = MapPrediction::Expected);

// Writes one cluster's raster: the header with "#NCOLS   " ... keys, the
// rows (every value followed by a tab), three empty lines. Fatal (stderr,
// exit 1) when prediction_clust is empty or the file cannot be written.
bool SavePredictionToMyFile(const DBL_VCTR_2D& prediction_clust, const std::string& File,
                            double noData, double XLL, double YLL, double CellSize);

// The K predicted rasters as one GeoTIFF of K bands ("Cluster k"), on the
// grid of the map with its no-data value and reference system. Fatal
// (stderr, exit 1) when it cannot be written.
void SavePredictionGeoTiff(const DBL_VCTR_3D& prediction, const SRasterGrid& grid,
                           const std::string& File);
constexpr const char* kPredictionGeoTiffSuffix = "Prediction.tif";

// The driving steps of -m after the results: the covariate warning when -X
// or -XL was given, otherwise load, predict, write FOFN +
// "Prediction_cluster_" + k + ".txt" for k = 1..K and FOFN +
// "Prediction.tif", draw FOFN + "PredictionMap.png" (sites: the sampling
// sites (x, y) drawn on it) and report the time. crsWkt, when set, is the
// reference system of the GeoTIFF (otherwise the map's own, if it has one).
void RunMapPrediction(const std::string& mapFile, bool covariatesGiven, const std::string& FOFN,
                      const DBL_VCTR_2D& betaHat, const DBL_VCTR_2D& sites,
                      MapPrediction mode = MapPrediction::Expected, const std::string& crsWkt = "");

#endif

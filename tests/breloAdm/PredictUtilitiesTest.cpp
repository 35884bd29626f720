#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "breloAdm/AdmTestUtils.h"
#include "breloAdm/PredictUtilities.h"
#include "core/ProgramFlavour.h"

namespace {

std::string WriteMap(const std::string& text) {
    const std::string path = admtest::MakeScratchDir("map") + "/map.asc";
    std::ofstream(path) << text;
    return path;
}

const char* const HEADER =
    "ncols 2\nnrows 3\nxllcenter 10\nyllcenter 0.5\ncellsize 1\nNODATA_value -9999\n";

}  // namespace

// The cells lie at their centres, the top row (nrow - 1) cells above the
// bottom one: with YLL = 0.5, CellSize = 1 and 3 rows, at y = 2.5, 1.5, 0.5
// (the top row's y was once rounded to a whole number, 3, which moved every
// cell of a map in degrees by up to half a degree).
TEST(LoadMap, CellCentresFromTheTopRowAndNoDataCells) {
    const std::string path = WriteMap(std::string(HEADER) + "5 6\n-9999 7\n8 9\n");
    DBL_VCTR_2D map;
    double noData = 0, XLL = 0, YLL = 0, CellSize = 0;
    int nrow = 0, ncol = 0;
    LoadMap(map, noData, XLL, YLL, CellSize, nrow, ncol, path);
    EXPECT_EQ(nrow, 3);
    EXPECT_EQ(ncol, 2);
    EXPECT_EQ(noData, -9999);
    EXPECT_EQ(YLL, 0.5);
    ASSERT_EQ(map.size(), 6u);
    EXPECT_EQ(map[0], (DBL_VCTR_1D{10, 2.5}));
    EXPECT_EQ(map[1], (DBL_VCTR_1D{11, 2.5}));
    EXPECT_EQ(map[2], (DBL_VCTR_1D{-9999, -9999}));
    EXPECT_EQ(map[3], (DBL_VCTR_1D{11, 1.5}));
    EXPECT_EQ(map[5], (DBL_VCTR_1D{11, 0.5}));
}

// A no-data value that a cell centre takes as a coordinate (0 on a grid
// through 0) would mark that cell as without data: another mark is used.
TEST(LoadMap, NoDataValueThatIsACoordinateIsReplaced) {
    const std::string path = WriteMap(
        "ncols 2\nnrows 1\nxllcenter 0\nyllcenter 5\ncellsize 1\nNODATA_value 0\n"
        "3 0\n");
    DBL_VCTR_2D map;
    SRasterGrid grid;
    LoadMap(map, grid, path);
    EXPECT_EQ(grid.noData, -9999);
    EXPECT_EQ(map, (DBL_VCTR_2D{{0, 5}, {-9999, -9999}}));
}

TEST(LoadMap, UnreadableTruncatedOrMalformedMapsAreFatal) {
    DBL_VCTR_2D map;
    double nd = 0, x = 0, y = 0, cs = 0;
    int r = 0, c = 0;
    EXPECT_EXIT(LoadMap(map, nd, x, y, cs, r, c, "/nonexistent/map.asc"),
                ::testing::ExitedWithCode(1), "Cannot open file /nonexistent/map.asc - LoadMap");
    // The text layout of the predicted maps says where it fails.
    const std::string layout = "#NCOLS 2\n#NROWS 3\n#XLL 10\n#YLL 0.5\n#CS 1\n#ND -9999\n";
    const std::string truncated = WriteMap(layout + "5 6\n1\n");
    EXPECT_EXIT(LoadMap(map, nd, x, y, cs, r, c, truncated), ::testing::ExitedWithCode(1),
                "Unexpected end of file in .*map.asc, row 2: expected the value of column 2 - "
                "LoadMap");
    const std::string malformed = WriteMap(layout + "5 6\n1 x\n");
    EXPECT_EXIT(LoadMap(map, nd, x, y, cs, r, c, malformed), ::testing::ExitedWithCode(1),
                "Invalid number 'x'");
    // A header with a typo promising ten billion cells is refused at once.
    const std::string huge = WriteMap("ncols 100000\nnrows 100000\nx 0\ny 0\ncs 1\nnd -9\n1 2 3\n");
    EXPECT_EXIT(LoadMap(map, nd, x, y, cs, r, c, huge), ::testing::ExitedWithCode(1),
                "holds 100000 x 100000 cells, more than 20000000: give it coarser cells - LoadMap");
    const std::string noGrid = WriteMap("ncols 0\nnrows 3\nx 0\ny 0\ncs 1\nnd -9\n");
    EXPECT_EXIT(LoadMap(map, nd, x, y, cs, r, c, noGrid), ::testing::ExitedWithCode(1),
                "describes no grid");
    // An ESRI grid whose cells end early, read through GDAL.
    const std::string esri = WriteMap(std::string(HEADER) + "5 6\n1\n");
    EXPECT_EXIT(LoadMap(map, nd, x, y, cs, r, c, esri), ::testing::ExitedWithCode(1),
                "Cannot read the cells of map .*map.asc: 3 rows of 2 values expected .* - LoadMap");
}

TEST(PredictFromBetaHat, ProportionsFollowTheTrendAndNoDataCellsStayNoData) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    // Two cells far apart in x, one no-data cell; trend degree 1.
    DBL_VCTR_2D map = {{-4, 0}, {4, 0}, {-9, -9}};
    DBL_VCTR_2D beta = {{3, 2, 0}, {3, -2, 0}};  // cluster 0 grows with x
    DBL_VCTR_3D prediction(2, DBL_VCTR_2D(1, DBL_VCTR_1D(3, 0.0)));
    predictFromBetaHat(prediction, map, beta, -9);
    EXPECT_NEAR(prediction[0][0][0] + prediction[1][0][0], 1.0, 1e-12);
    EXPECT_NEAR(prediction[0][0][1] + prediction[1][0][1], 1.0, 1e-12);
    EXPECT_LT(prediction[0][0][0], 0.01);  // alpha = (e^-5, e^11) at x = -4
    EXPECT_GT(prediction[0][0][1], 0.99);
    EXPECT_EQ(prediction[0][0][2], -9);
    EXPECT_EQ(prediction[1][0][2], -9);
    // The terms follow 1, x, y, x2, y2, xy: a quadratic design uses y2.
    DBL_VCTR_2D quad = {{0, 0, 0, 0, 1, 0}, {0, 0, 0, 0, -1, 0}};
    DBL_VCTR_2D high = {{0, 3}};
    DBL_VCTR_3D p2(2, DBL_VCTR_2D(1, DBL_VCTR_1D(1, 0.0)));
    predictFromBetaHat(p2, high, quad, -9);
    EXPECT_GT(p2[0][0][0], 0.99);
    EXPECT_EQ(TrendDegreeOfDesign(10), 3);
    EXPECT_EQ(TrendDegreeOfDesign(2), -1);
    DBL_VCTR_2D two = {{0, 1}, {0, 1}};
    EXPECT_EXIT(predictFromBetaHat(p2, high, two, -9), ::testing::ExitedWithCode(1), "2 columns");
    DBL_VCTR_3D wrong(3, DBL_VCTR_2D(1, DBL_VCTR_1D(1, 0.0)));
    EXPECT_EXIT(predictFromBetaHat(wrong, high, quad, -9), ::testing::ExitedWithCode(1),
                "beta.size and prediction.size don't agree");
}

// A map of predicted proportions holds the expected proportions of each
// cell's Dirichlet law, alpha_k / sum(alpha), not a random draw from it (the
// draws of a law with small parameters sit near the corners of the simplex
// and speckle the map).
TEST(PredictFromBetaHat, CellsHoldTheExpectedProportions) {
    const DBL_VCTR_2D beta = {{0.5, 0.2, -0.1}, {-1.0, 0.0, 0.3}, {0.0, -0.4, 0.0}};
    const DBL_VCTR_2D map = {{1.0, 2.0}, {-3.0, 0.5}, {1.0, 2.0}, {5000.0, 0.0}};
    DBL_VCTR_3D prediction(3, DBL_VCTR_2D(1, DBL_VCTR_1D(4, 0.0)));
    predictFromBetaHat(prediction, map, beta, -9);
    for (size_t c = 0; c < 3; ++c) {
        const double x = map[c][0], y = map[c][1];
        double alpha[3], sum = 0.0;
        for (int k = 0; k < 3; ++k)
            sum += alpha[k] = std::exp(beta[k][0] + beta[k][1] * x + beta[k][2] * y);
        for (int k = 0; k < 3; ++k)
            EXPECT_NEAR(prediction[k][0][c], alpha[k] / sum, 1e-12) << "cell " << c;
    }
    // The same cell twice gives the same values; a trend beyond the range of
    // exp (alpha_1 = exp(1000.5)) still gives proportions.
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ(prediction[k][0][0], prediction[k][0][2]);
    EXPECT_EQ(prediction[0][0][3], 1.0);
    EXPECT_EQ(prediction[1][0][3] + prediction[2][0][3], 0.0);
}

// The simulated map of -qdraw: each cell is one draw of Dirichlet(alpha);
// over many cells at one place, the draws have the mean and the variance of
// that law (here Beta(2, 6): mean 0.25, variance 0.0208).
TEST(PredictFromBetaHat, DrawnCellsFollowTheirDirichletLaw) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    const int cells = 4000;
    const DBL_VCTR_2D beta = {{std::log(2.0)}, {std::log(6.0)}};
    const DBL_VCTR_2D map(cells, DBL_VCTR_1D{0.0, 0.0});
    DBL_VCTR_3D prediction(2, DBL_VCTR_2D(1, DBL_VCTR_1D(cells, 0.0)));
    predictFromBetaHat(prediction, map, beta, -9, MapPrediction::Draw);
    double sum = 0.0, sumSq = 0.0;
    for (int c = 0; c < cells; ++c) {
        const double q = prediction[0][0][c];
        EXPECT_NEAR(q + prediction[1][0][c], 1.0, 1e-12);
        sum += q;
        sumSq += q * q;
    }
    const double mean = sum / cells;
    const double var = sumSq / cells - mean * mean;
    EXPECT_NEAR(mean, 0.25, 0.01);  // standard error 0.0023
    EXPECT_NEAR(var, 12.0 / 576.0, 0.002);
}

TEST(SavePredictionToMyFile, HeaderRowsAndTrailingLines) {
    const std::string path = admtest::MakeScratchDir("pred") + "/p.txt";
    ASSERT_TRUE(SavePredictionToMyFile({{0.25, -9}, {1, 0.5}}, path, -9, 10, 0.5, 2));
    EXPECT_EQ(admtest::ReadFile(path),
              "#NCOLS   2\n#NROWS   2\n#XLLCENTER   10\n#YLLCENTER   0.5\n#CELLSIZE   2\n"
              "#NODATA_VALUE   -9\n0.25\t-9\t\n1\t0.5\t\n\n\n\n");
    // A metric georeference keeps its digits (the rupica map's corner).
    ASSERT_TRUE(SavePredictionToMyFile({{0.123456789}}, path, -9999, 894895.4, 2071436, 199.7699));
    EXPECT_EQ(admtest::ReadFile(path),
              "#NCOLS   1\n#NROWS   1\n#XLLCENTER   894895.4\n#YLLCENTER   2071436\n"
              "#CELLSIZE   199.7699\n#NODATA_VALUE   -9999\n0.123457\t\n\n\n\n");
    EXPECT_EXIT(SavePredictionToMyFile({}, path, -9, 0, 0, 1), ::testing::ExitedWithCode(1),
                "Uninitialized prediction -- SavePredictionToMyFile");
}

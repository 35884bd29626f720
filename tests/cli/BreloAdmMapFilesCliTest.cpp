// breloAdm's raster maps as GIS software exchanges them: -m reads any grid
// GDAL reads and the text layout of the predicted maps alike, and the
// prediction comes out as one GeoTIFF of K bands beside the text rasters.
#include <gdal.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "cli/BreloCli.h"

namespace {

const char* const kSim2pop = "-Fsim2pop.txt -N130 -A2 -L20 -K2 -T1 -P0.6 -D1 -c2 -S30 -B10";

// A grid over the sites of sim2pop (0..100 on both axes), 10 x 8 cells, two
// of them without data.
const int kCols = 10, kRows = 8;
const double kCell = 12.5;
bool CellHasData(int row, int col) {
    return !(row == 0 && col == 9) && !(row == 5 && col == 2);
}

void WriteEsriGrid(const std::string& file) {
    std::ofstream os(file);
    os << "ncols " << kCols << "\nnrows " << kRows << "\nxllcorner 0\nyllcorner 0\ncellsize "
       << kCell << "\nNODATA_value -9999\n";
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c)
            os << (CellHasData(r, c) ? 100 + r * c : -9999) << " ";
        os << "\n";
    }
}

void WriteTextLayout(const std::string& file) {
    std::ofstream os(file);
    os << "#NCOLS   " << kCols << "\n#NROWS   " << kRows << "\n#XLLCENTER   " << kCell / 2
       << "\n#YLLCENTER   " << kCell / 2 << "\n#CELLSIZE   " << kCell
       << "\n#NODATA_VALUE   -9999\n";
    for (int r = 0; r < kRows; ++r) {
        for (int c = 0; c < kCols; ++c)
            os << (CellHasData(r, c) ? 0.5 : -9999) << "\t";
        os << "\n";
    }
}

struct SDatasetCloser {
    void operator()(void* ds) const { GDALClose(ds); }
};
using Dataset = std::unique_ptr<void, SDatasetCloser>;

void WriteGeoTiffGrid(const std::string& file) {
    GDALAllRegister();
    Dataset ds(GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), kCols, kRows, 1, GDT_Float32,
                          nullptr));
    ASSERT_TRUE(ds);
    double gt[6] = {0, kCell, 0, kRows * kCell, 0, -kCell};
    GDALSetGeoTransform(ds.get(), gt);
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    GDALSetRasterNoDataValue(band, -9999);
    std::vector<float> v;
    for (int r = 0; r < kRows; ++r)
        for (int c = 0; c < kCols; ++c)
            v.push_back(CellHasData(r, c) ? 7.5f : -9999.f);
    ASSERT_EQ(
        GDALRasterIO(band, GF_Write, 0, 0, kCols, kRows, v.data(), kCols, kRows, GDT_Float32, 0, 0),
        CE_None);
}

// The values of a predicted text raster, row by row.
std::vector<double> TextRasterValues(const std::string& file) {
    std::istringstream is(ReadWholeFile(file));
    std::string key, value;
    for (int t = 0; t < 6; ++t)
        is >> key >> value;
    std::vector<double> v;
    double x;
    while (is >> x)
        v.push_back(x);
    return v;
}

std::string PredictionFiles(const std::string& prefix) {
    return ReadWholeFile(prefix + "Prediction_cluster_1.txt") +
           ReadWholeFile(prefix + "Prediction_cluster_2.txt");
}

bool HasGdalinfo() {
    return std::system("command -v gdalinfo > /dev/null 2>&1") == 0;
}

}  // namespace

// The same grid as an ESRI ASCII grid (corner keys), a GeoTIFF and the text
// layout of the predicted maps gives the same prediction; the GeoTIFF of
// the prediction holds the K text rasters as its K bands (within 1e-6),
// with their no-data cells and the reference system of -crs.
TEST(BreloAdmMapFiles, AnyRasterInOneGeoTiffOut) {
    const std::string dir = FreshFolder("adm_mapfiles");
    CopyFixture("sim2pop.txt", dir);
    WriteEsriGrid(dir + "/grid.asc");
    WriteTextLayout(dir + "/grid.txt");
    WriteGeoTiffGrid(dir + "/grid.tif");
    const std::string args = std::string(kSim2pop) + " -orun";
    SCliResult r = RunProgramIn("breloAdm", dir, args + "asc -mgrid.asc -crs EPSG:3857");
    ASSERT_EQ(r.status, 0) << r.output;
    r = RunProgramIn("breloAdm", dir, args + "tif -mgrid.tif");
    ASSERT_EQ(r.status, 0) << r.output;
    r = RunProgramIn("breloAdm", dir, args + "txt -mgrid.txt");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string fromAsc = PredictionFiles(dir + "/sim2pop.txt_RUNasc_");
    EXPECT_FALSE(fromAsc.empty());
    EXPECT_EQ(PredictionFiles(dir + "/sim2pop.txt_RUNtif_"), fromAsc);
    EXPECT_EQ(PredictionFiles(dir + "/sim2pop.txt_RUNtxt_"), fromAsc);

    // The map of the prediction, with its PDF twin.
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txt_RUNasc_PredictionMap.png"));
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txt_RUNasc_PredictionMap.pdf"));
    const std::string tif = dir + "/sim2pop.txt_RUNasc_Prediction.tif";
    Dataset ds(GDALOpen(tif.c_str(), GA_ReadOnly));
    ASSERT_TRUE(ds);
    ASSERT_EQ(GDALGetRasterCount(ds.get()), 2);
    for (int k = 1; k <= 2; ++k) {
        const std::vector<double> text = TextRasterValues(
            dir + "/sim2pop.txt_RUNasc_Prediction_cluster_" + std::to_string(k) + ".txt");
        ASSERT_EQ(text.size(), static_cast<size_t>(kRows * kCols));
        std::vector<double> band(kRows * kCols);
        ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(ds.get(), k), GF_Read, 0, 0, kCols, kRows,
                               band.data(), kCols, kRows, GDT_Float64, 0, 0),
                  CE_None);
        for (int c = 0; c < kRows * kCols; ++c) {
            EXPECT_NEAR(band[c], text[c], 1e-6) << "band " << k << " cell " << c;
            EXPECT_EQ(band[c] == -9999, !CellHasData(c / kCols, c % kCols)) << c;
        }
    }
    if (!HasGdalinfo()) {
        GTEST_SKIP() << "gdalinfo is not installed: the GeoTIFF was read through GDAL's API only";
    }
    const SCliResult info = RunShellIn(dir, "gdalinfo sim2pop.txt_RUNasc_Prediction.tif");
    ASSERT_EQ(info.status, 0) << info.output;
    for (const char* part : {"Size is 10, 8", "WGS 84 / Pseudo-Mercator", "Origin = (0.0",
                             "Band 2 ", "Description = Cluster 2", "NoData Value=-9999"})
        EXPECT_NE(info.output.find(part), std::string::npos) << part << "\n" << info.output;
}

// -crs takes EPSG:<code> glued to it or as the next word (the GeoTIFF test
// above); anything else is refused before the run, in one line.
TEST(BreloAdmMapFiles, ReferenceSystemOptionIsChecked) {
    const std::string dir = FreshFolder("adm_crs");
    CopyFixture("sim2pop.txt", dir);
    for (const char* bad : {"-crs", "-crs4326", "-crsEPSG:999999", "-crs EPSG:999999"}) {
        const SCliResult r = RunProgramIn("breloAdm", dir, std::string(kSim2pop) + " " + bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
        EXPECT_EQ(r.output.rfind("Option -crs: ", 0), 0u) << r.output;
        EXPECT_FALSE(FileExists(dir + "/sim2pop.txtVC")) << bad;
    }
}

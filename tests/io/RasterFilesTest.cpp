#include <cpl_conv.h>
#include <gdal.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "core/TestSupport.h"
#include "io/RasterFiles.h"

namespace {

struct SRead {
    bool ok = false;
    SRasterGrid grid;
    std::vector<char> hasData;
    std::string error;
};

SRead Read(const std::string& file) {
    SRead r;
    r.ok = ReadRasterMap(file, "Test", r.grid, r.hasData, r.error);
    return r;
}

// A 2 x 3 grid whose third cell has no data.
const char* const kCells = "1 2 -9999\n4 5 6\n";
const std::vector<char> kHasData = {1, 1, 0, 1, 1, 1};

SRasterGrid SmallGrid() {
    SRasterGrid g;
    g.nrow = 2;
    g.ncol = 3;
    g.xllCenter = 10.5;
    g.yllCenter = 45.005;
    g.cellSize = 0.01;
    g.noData = -9999;
    return g;
}

void ExpectSameGrid(const SRasterGrid& a, const SRasterGrid& b) {
    EXPECT_EQ(a.nrow, b.nrow);
    EXPECT_EQ(a.ncol, b.ncol);
    EXPECT_NEAR(a.xllCenter, b.xllCenter, 1e-9);
    EXPECT_NEAR(a.yllCenter, b.yllCenter, 1e-9);
    EXPECT_NEAR(a.cellSize, b.cellSize, 1e-12);
    EXPECT_EQ(a.noData, b.noData);
}

struct SDatasetCloser {
    void operator()(void* ds) const { GDALClose(ds); }
};

}  // namespace

// The text layout, an ESRI grid with centre keys and one with corner keys
// describe the same grid; the corner keys lie half a cell from the centres.
TEST(RasterFiles, TextLayoutAndEsriGridsGiveTheSameGrid) {
    const SRead text = Read(WriteTempFile("layout.txt",
                                          "#NCOLS   3\n#NROWS   2\n#XLLCENTER   10.5\n"
                                          "#YLLCENTER   45.005\n#CELLSIZE   0.01\n"
                                          "#NODATA_VALUE   -9999\n" +
                                              std::string(kCells)));
    ASSERT_TRUE(text.ok) << text.error;
    ExpectSameGrid(text.grid, SmallGrid());
    EXPECT_EQ(text.hasData, kHasData);
    EXPECT_TRUE(text.grid.crsWkt.empty());

    const SRead centre = Read(WriteTempFile("centre.asc",
                                            "ncols 3\nnrows 2\nxllcenter 10.5\nyllcenter 45.005\n"
                                            "cellsize 0.01\nNODATA_value -9999\n" +
                                                std::string(kCells)));
    ASSERT_TRUE(centre.ok) << centre.error;
    ExpectSameGrid(centre.grid, SmallGrid());
    EXPECT_EQ(centre.hasData, kHasData);

    const SRead corner = Read(WriteTempFile("corner.asc",
                                            "NCOLS 3\nNROWS 2\nXLLCORNER 10.495\nYLLCORNER 45\n"
                                            "CELLSIZE 0.01\nNODATA_VALUE -9999\n" +
                                                std::string(kCells)));
    ASSERT_TRUE(corner.ok) << corner.error;
    ExpectSameGrid(corner.grid, SmallGrid());
    // The top row lies one cell above the bottom one, not at a whole number.
    EXPECT_NEAR(corner.grid.CellY(0), 45.015, 1e-9);

    // Without a no-data line every cell holds data; -9999 marks the cells
    // of the rasters written from it.
    const SRead plain = Read(WriteTempFile(
        "plain.asc", "ncols 3\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\n1 2 3\n4 5 6\n"));
    ASSERT_TRUE(plain.ok) << plain.error;
    EXPECT_EQ(plain.hasData, std::vector<char>(6, 1));
    EXPECT_EQ(plain.grid.noData, -9999);
}

// K bands written as one GeoTIFF come back through GDAL with their values,
// names, no-data value, georeference and reference system; the reader
// takes the first band's no-data cells.
TEST(RasterFiles, GeoTiffRoundTrip) {
    SRasterGrid grid = SmallGrid();
    std::string error;
    ASSERT_TRUE(ReferenceSystemFromEpsg("EPSG:4326", grid.crsWkt, error)) << error;
    const DBL_VCTR_3D bands = {{{0.1, 0.2, -9999}, {0.3, 0.4, 0.123456789}},
                               {{0.9, 0.8, -9999}, {0.7, 0.6, 1 - 0.123456789}}};
    const std::string file = TempPath("two.tif");
    ASSERT_TRUE(WriteGeoTiff(file, grid, bands, {"Cluster 1", "Cluster 2"}, error)) << error;

    std::unique_ptr<void, SDatasetCloser> ds(GDALOpen(file.c_str(), GA_ReadOnly));
    ASSERT_TRUE(ds);
    ASSERT_EQ(GDALGetRasterCount(ds.get()), 2);
    double gt[6];
    ASSERT_EQ(GDALGetGeoTransform(ds.get(), gt), CE_None);
    EXPECT_NEAR(gt[0], 10.495, 1e-12);
    EXPECT_NEAR(gt[3], 45.02, 1e-12);
    EXPECT_NEAR(gt[1], 0.01, 1e-15);
    EXPECT_NEAR(gt[5], -0.01, 1e-15);
    EXPECT_NE(std::string(GDALGetProjectionRef(ds.get())).find("WGS 84"), std::string::npos);
    for (int b = 0; b < 2; ++b) {
        GDALRasterBandH band = GDALGetRasterBand(ds.get(), b + 1);
        EXPECT_EQ(std::string(GDALGetDescription(band)), "Cluster " + std::to_string(b + 1));
        int has = 0;
        EXPECT_EQ(GDALGetRasterNoDataValue(band, &has), -9999);
        EXPECT_TRUE(has);
        std::vector<double> v(6);
        ASSERT_EQ(GDALRasterIO(band, GF_Read, 0, 0, 3, 2, v.data(), 3, 2, GDT_Float64, 0, 0),
                  CE_None);
        for (int c = 0; c < 6; ++c)
            EXPECT_EQ(v[c], bands[b][c / 3][c % 3]);
    }
    const SRead back = Read(file);
    ASSERT_TRUE(back.ok) << back.error;
    ExpectSameGrid(back.grid, grid);
    EXPECT_EQ(back.hasData, kHasData);
    EXPECT_NE(back.grid.crsWkt.find("WGS 84"), std::string::npos);
}

// Rows stored from the bottom (a positive row step) are read from the top.
TEST(RasterFiles, GridStoredFromTheBottomIsReadFromTheTop) {
    const std::string file = TempPath("up.tif");
    GDALAllRegister();
    std::unique_ptr<void, SDatasetCloser> ds(
        GDALCreate(GDALGetDriverByName("GTiff"), file.c_str(), 2, 2, 1, GDT_Float64, nullptr));
    ASSERT_TRUE(ds);
    double gt[6] = {0, 1, 0, 0, 0, 1};  // first stored row: y from 0 to 1
    GDALSetGeoTransform(ds.get(), gt);
    GDALRasterBandH band = GDALGetRasterBand(ds.get(), 1);
    GDALSetRasterNoDataValue(band, -1);
    double v[4] = {-1, 2, 3, 4};  // the no-data cell is bottom left
    ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, 0, 2, 2, v, 2, 2, GDT_Float64, 0, 0), CE_None);
    ds.reset();
    const SRead r = Read(file);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.hasData, (std::vector<char>{1, 1, 0, 1}));
    EXPECT_DOUBLE_EQ(r.grid.yllCenter, 0.5);
    EXPECT_DOUBLE_EQ(r.grid.xllCenter, 0.5);
}

TEST(RasterFiles, RefusalsAreOneLine) {
    const auto error = [](const std::string& file) {
        const SRead r = Read(file);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.find('\n'), std::string::npos) << r.error;
        return r.error;
    };
    EXPECT_EQ(error("/no/such/map.asc"), "Cannot open file /no/such/map.asc - Test");
    EXPECT_NE(error(WriteTempFile("short.txt", "#NCOLS 3\n#NROWS 2\n#X 0\n#Y 0\n#C 1\n#N -9\n1 2"))
                  .find("Unexpected end of file in " + TempPath("short.txt") +
                        ", row 1: expected the value of column 3 - Test"),
              std::string::npos);
    EXPECT_NE(error(WriteTempFile("huge.txt",
                                  "#NCOLS 100000\n#NROWS 100000\n#X 0\n#Y 0\n#C 1\n"
                                  "#N -9\n1 2 3\n"))
                  .find("holds 100000 x 100000 cells, more than 20000000"),
              std::string::npos);
    EXPECT_NE(error(WriteTempFile("nogrid.txt", "#NCOLS 0\n#NROWS 2\n#X 0\n#Y 0\n#C 1\n#N -9\n"))
                  .find("describes no grid"),
              std::string::npos);
    // ESRI grids GDAL opens but whose cells end early: GDAL itself refuses
    // a missing row, and takes a last row that ends early for complete.
    for (const char* cells : {"1 2 3\n", "1 2 3\n4 5\n"})
        EXPECT_NE(error(WriteTempFile("short.asc",
                                      "ncols 3\nnrows 2\nxllcenter 0\nyllcenter 0\n"
                                      "cellsize 1\nNODATA_value -9\n" +
                                          std::string(cells)))
                      .find("Cannot read the cells of map " + TempPath("short.asc") +
                            ": 2 rows of 3 values expected"),
                  std::string::npos)
            << cells;
    // A grid without georeference, and one of cells that are not square.
    GDALAllRegister();
    const std::string bare = TempPath("bare.tif"), oblong = TempPath("oblong.tif");
    for (const std::string& f : {bare, oblong}) {
        std::unique_ptr<void, SDatasetCloser> ds(
            GDALCreate(GDALGetDriverByName("GTiff"), f.c_str(), 2, 2, 1, GDT_Byte, nullptr));
        ASSERT_TRUE(ds);
        double gt[6] = {0, 1, 0, 10, 0, -2};
        if (f == oblong)
            GDALSetGeoTransform(ds.get(), gt);
    }
    EXPECT_NE(error(bare).find("has no georeference"), std::string::npos);
    EXPECT_NE(error(oblong).find("are not square"), std::string::npos);
}

TEST(RasterFiles, TextRasterLayout) {
    SRasterGrid grid = SmallGrid();
    grid.nrow = 1;
    grid.ncol = 2;
    grid.xllCenter = 894895.4;
    grid.yllCenter = 2071436.25;
    std::string error;
    const std::string file = TempPath("out.txt");
    ASSERT_TRUE(WriteTextRaster(file, grid, {{0.1234567, -9999}}, error)) << error;
    EXPECT_EQ(ReadWholeFile(file),
              "#NCOLS   2\n#NROWS   1\n#XLLCENTER   894895.4\n#YLLCENTER   2071436.25\n"
              "#CELLSIZE   0.01\n#NODATA_VALUE   -9999\n0.123457\t-9999\t\n\n\n\n");
    EXPECT_FALSE(WriteTextRaster("/no/such/out.txt", grid, {{1, 2}}, error));
    EXPECT_EQ(error, "Cannot open file /no/such/out.txt - WriteTextRaster");
}

TEST(RasterFiles, ReferenceSystemFromEpsgCode) {
    std::string wkt, error;
    EXPECT_TRUE(ReferenceSystemFromEpsg("epsg:2154", wkt, error)) << error;
    EXPECT_NE(wkt.find("Lambert-93"), std::string::npos);
    for (const char* bad : {"", "2154", "EPSG:", "EPSG:21x4", "EPSG:-4326", "UTM:32"}) {
        EXPECT_FALSE(ReferenceSystemFromEpsg(bad, wkt, error)) << bad;
        EXPECT_NE(error.find("give it as EPSG:<code>"), std::string::npos) << error;
    }
    EXPECT_FALSE(ReferenceSystemFromEpsg("EPSG:999999", wkt, error));
    EXPECT_EQ(error,
              "Unknown reference system EPSG:999999 (no such EPSG code) - "
              "ReferenceSystemFromEpsg");
}

#include "io/RasterFiles.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <fstream>
#include <iomanip>
#include <memory>
#include <mutex>
#include <sstream>

#include "core/TokenReader.h"

namespace {

const double kDefaultNoData = -9999.0;

void RegisterDrivers() {
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
}

// GDAL's messages are collected, not printed: each failure becomes the one
// line of our own report.
class CQuietGdal {
  public:
    CQuietGdal() {
        RegisterDrivers();
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~CQuietGdal() { CPLPopErrorHandler(); }
    CQuietGdal(const CQuietGdal&) = delete;
    CQuietGdal& operator=(const CQuietGdal&) = delete;

    // GDAL's last message, as one line ("" when it said nothing).
    static std::string LastMessage() {
        std::string message = CPLGetLastErrorMsg();
        std::replace(message.begin(), message.end(), '\n', ' ');
        return message;
    }
};

struct SDatasetCloser {
    void operator()(void* dataset) const { GDALClose(dataset); }
};
using DatasetPtr = std::unique_ptr<void, SDatasetCloser>;

bool Fail(std::string& error, const std::string& message, const std::string& func) {
    error = message + " - " + func;
    return false;
}

std::string WithGdalReason(const std::string& message) {
    const std::string reason = CQuietGdal::LastMessage();
    return reason.empty() ? message : message + " (" + reason + ")";
}

// The first character of the file that is not white space ('\0' for an
// empty file); false when the file cannot be opened.
bool FirstCharacter(const std::string& File, char& first) {
    std::ifstream is(File, std::ios::binary);
    if (!is.is_open())
        return false;
    first = '\0';
    char c;
    while (is.get(c))
        if (!std::isspace(static_cast<unsigned char>(c))) {
            first = c;
            break;
        }
    return true;
}

bool CheckGridSize(const std::string& File, const std::string& func, const SRasterGrid& grid,
                   std::string& error) {
    if (grid.ncol < 1 || grid.nrow < 1 || !(grid.cellSize > 0) || !std::isfinite(grid.cellSize))
        return Fail(error,
                    "Map " + File +
                        " describes no grid (rows and columns must be at least 1, the cell size "
                        "positive)",
                    func);
    if (static_cast<long long>(grid.nrow) * grid.ncol > kMaxRasterCells)
        return Fail(error,
                    "Map " + File + " holds " + std::to_string(grid.nrow) + " x " +
                        std::to_string(grid.ncol) + " cells, more than " +
                        std::to_string(kMaxRasterCells) + ": give it coarser cells",
                    func);
    if (!std::isfinite(grid.xllCenter) || !std::isfinite(grid.yllCenter))
        return Fail(error, "Map " + File + " has no finite position", func);
    return true;
}

// A no-data value that is not a number cannot be compared with: the
// default stands in for it.
double UsableNoData(double noData) {
    return std::isfinite(noData) ? noData : kDefaultNoData;
}

// ---------------------------------------------------------------------------
// The text layout

bool ReadTextHeader(CFieldReader& reader, SRasterGrid& grid) {
    reader.SetWhere("header");
    return reader.Skip("the NCOLS keyword") && reader.Int(grid.ncol, "the number of columns") &&
           reader.Skip("the NROWS keyword") && reader.Int(grid.nrow, "the number of rows") &&
           reader.Skip("the XLLCENTER keyword") &&
           reader.Real(grid.xllCenter, "the x of the left column") &&
           reader.Skip("the YLLCENTER keyword") &&
           reader.Real(grid.yllCenter, "the y of the bottom row") &&
           reader.Skip("the CELLSIZE keyword") && reader.Real(grid.cellSize, "the cell size") &&
           reader.Skip("the NODATA_VALUE keyword") && reader.Real(grid.noData, "the no-data value");
}

bool ReadTextRaster(const std::string& File, const std::string& func, SRasterGrid& grid,
                    std::vector<char>& hasData, std::string& error) {
    std::ostringstream messages;
    CFieldReader reader(File, func, messages);
    const auto failed = [&] {
        std::string line = messages.str();
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        error = line;
        return false;
    };
    if (!reader.Open())
        return Fail(error, "Cannot open file " + File, func);
    if (!ReadTextHeader(reader, grid))
        return failed();
    if (!CheckGridSize(File, func, grid, error))
        return false;
    // The cells grow as they are read: a header that promises more cells
    // than the file holds ends at the first missing value, not in an
    // allocation of the promised size.
    for (int i = 0; i < grid.nrow; ++i) {
        reader.SetWhere("row", i + 1);
        for (int j = 0; j < grid.ncol; ++j) {
            double v = 0;
            if (!reader.Real(v, "the value of column %d", j + 1))
                return failed();
            hasData.push_back(v != grid.noData);
        }
    }
    return true;
}

// ---------------------------------------------------------------------------
// Through GDAL

// The grid of a north-up geotransform (x0, dx, 0, y0, 0, dy); rows running
// upwards (dy > 0) are flipped by the caller.
bool GridFromGeoTransform(const std::string& File, const std::string& func, const double* gt,
                          int nrow, int ncol, SRasterGrid& grid, std::string& error) {
    if (gt[2] != 0.0 || gt[4] != 0.0)
        return Fail(error, "Map " + File + " is a rotated grid: give it north up", func);
    const double dx = gt[1], dy = std::fabs(gt[5]);
    if (!(dx > 0) || !(dy > 0) || std::fabs(dx - dy) > 1e-6 * std::max(dx, dy))
        return Fail(error,
                    "The cells of map " + File + " are not square (" + std::to_string(dx) + " by " +
                        std::to_string(dy) + "): resample it to square cells",
                    func);
    grid.nrow = nrow;
    grid.ncol = ncol;
    grid.cellSize = dx;
    grid.xllCenter = gt[0] + 0.5 * dx;
    // The bottom row is the last one when rows run downwards, the first
    // one otherwise.
    grid.yllCenter = gt[5] < 0 ? gt[3] + (nrow - 0.5) * gt[5] : gt[3] + 0.5 * gt[5];
    return true;
}

// Which cells of band hold data: its mask (no-data value, alpha band, ...)
// and a finite value. Reading every value also finds a damaged file.
bool ReadCellsWithData(GDALRasterBandH band, int nrow, int ncol, bool rowsUp,
                       std::vector<char>& hasData) {
    GDALRasterBandH mask = GDALGetMaskBand(band);
    std::vector<double> values(ncol);
    std::vector<unsigned char> valid(ncol);
    hasData.assign(static_cast<size_t>(nrow) * ncol, 0);
    for (int r = 0; r < nrow; ++r) {
        if (GDALRasterIO(band, GF_Read, 0, r, ncol, 1, values.data(), ncol, 1, GDT_Float64, 0, 0) !=
                CE_None ||
            GDALRasterIO(mask, GF_Read, 0, r, ncol, 1, valid.data(), ncol, 1, GDT_Byte, 0, 0) !=
                CE_None)
            return false;
        const int row = rowsUp ? nrow - 1 - r : r;
        char* out = hasData.data() + static_cast<size_t>(row) * ncol;
        for (int j = 0; j < ncol; ++j)
            out[j] = valid[j] != 0 && std::isfinite(values[j]);
    }
    return true;
}

// GDAL reads an ESRI ASCII grid whose last row ends early as if it were
// complete: the cells after the header are counted here. The header is the
// leading keywords, each with its value.
bool EsriGridComplete(const std::string& File, long long cells) {
    std::ifstream is(File);
    std::string token;
    long long values = 0;
    bool header = true;
    while (is >> token) {
        if (header && std::isalpha(static_cast<unsigned char>(token[0]))) {
            is >> token;
            continue;
        }
        header = false;
        ++values;
    }
    return values == cells;
}

std::string ReferenceSystemOf(GDALDatasetH dataset) {
    const char* wkt = GDALGetProjectionRef(dataset);
    return wkt ? wkt : "";
}

// 1: read; 0: GDAL does not know the file; -1: a file GDAL knows but cannot
// use (error set).
int ReadGdalRaster(const std::string& File, const std::string& func, SRasterGrid& grid,
                   std::vector<char>& hasData, std::string& error) {
    CQuietGdal quiet;
    DatasetPtr dataset(
        GDALOpenEx(File.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, nullptr, nullptr, nullptr));
    if (!dataset)
        return 0;
    GDALDatasetH ds = dataset.get();
    const int ncol = GDALGetRasterXSize(ds), nrow = GDALGetRasterYSize(ds);
    const int unusable = -1;
    if (GDALGetRasterCount(ds) < 1)
        return Fail(error, "Map " + File + " holds no band", func), unusable;
    double gt[6];
    if (GDALGetGeoTransform(ds, gt) != CE_None)
        return Fail(error, "Map " + File + " has no georeference (cell size and position)", func),
               unusable;
    if (!GridFromGeoTransform(File, func, gt, nrow, ncol, grid, error))
        return unusable;
    GDALRasterBandH band = GDALGetRasterBand(ds, 1);
    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    grid.noData = hasNoData ? UsableNoData(noData) : kDefaultNoData;
    grid.crsWkt = ReferenceSystemOf(ds);
    if (!CheckGridSize(File, func, grid, error))
        return unusable;
    const std::string driver = GDALGetDriverShortName(GDALGetDatasetDriver(ds));
    if (!ReadCellsWithData(band, nrow, ncol, gt[5] > 0, hasData) ||
        (driver == "AAIGrid" && !EsriGridComplete(File, static_cast<long long>(nrow) * ncol)))
        return Fail(error,
                    WithGdalReason("Cannot read the cells of map " + File + ": " +
                                   std::to_string(nrow) + " rows of " + std::to_string(ncol) +
                                   " values expected"),
                    func),
               unusable;
    return 1;
}

// ---------------------------------------------------------------------------
// GeoTIFF writer

bool WriteBand(GDALRasterBandH band, const DBL_VCTR_2D& values, int ncol, double noData,
               const std::string& name) {
    GDALSetDescription(band, name.c_str());
    if (GDALSetRasterNoDataValue(band, noData) != CE_None)
        return false;
    for (size_t r = 0; r < values.size(); ++r)
        if (values[r].size() != static_cast<size_t>(ncol) ||
            GDALRasterIO(band, GF_Write, 0, static_cast<int>(r), ncol, 1,
                         const_cast<double*>(values[r].data()), ncol, 1, GDT_Float64, 0,
                         0) != CE_None)
            return false;
    return true;
}

}  // namespace

bool ReadRasterMap(const std::string& File, const std::string& func, SRasterGrid& grid,
                   std::vector<char>& hasData, std::string& error) {
    grid = SRasterGrid();
    hasData.clear();
    char first = '\0';
    if (!FirstCharacter(File, first))
        return Fail(error, "Cannot open file " + File, func);
    if (first != '#') {
        const int read = ReadGdalRaster(File, func, grid, hasData, error);
        if (read != 0)
            return read > 0;
        grid = SRasterGrid();
    }
    if (!ReadTextRaster(File, func, grid, hasData, error))
        return false;
    grid.noData = UsableNoData(grid.noData);
    return true;
}

bool WriteTextRaster(const std::string& File, const SRasterGrid& grid, const DBL_VCTR_2D& band,
                     std::string& error) {
    std::ofstream os(File, std::ios::out | std::ios::trunc);
    if (!os.is_open())
        return Fail(error, "Cannot open file " + File, "WriteTextRaster");
    os << "#NCOLS   " << (band.empty() ? 0 : band[0].size()) << "\n";
    os << "#NROWS   " << band.size() << "\n";
    // The georeference keeps its digits: six significant digits would move a
    // map in metric coordinates by metres.
    os << std::setprecision(12);
    os << "#XLLCENTER   " << grid.xllCenter << "\n";
    os << "#YLLCENTER   " << grid.yllCenter << "\n";
    os << "#CELLSIZE   " << grid.cellSize << "\n";
    os << "#NODATA_VALUE   " << grid.noData << "\n";
    os << std::setprecision(6);
    for (const DBL_VCTR_1D& row : band) {
        for (double v : row)
            os << v << "\t";
        os << "\n";
    }
    os << "\n\n\n";
    os.close();
    if (!os)
        return Fail(error, "Cannot write file " + File, "WriteTextRaster");
    return true;
}

bool WriteGeoTiff(const std::string& File, const SRasterGrid& grid, const DBL_VCTR_3D& bands,
                  const std::vector<std::string>& names, std::string& error) {
    CQuietGdal quiet;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (!driver)
        return Fail(error, "GDAL has no GeoTIFF driver", "WriteGeoTiff");
    char** options = nullptr;
    options = CSLSetNameValue(options, "COMPRESS", "DEFLATE");
    options = CSLSetNameValue(options, "PREDICTOR", "3");
    DatasetPtr dataset(GDALCreate(driver, File.c_str(), grid.ncol, grid.nrow,
                                  static_cast<int>(bands.size()), GDT_Float64, options));
    CSLDestroy(options);
    const std::string cannot = "Cannot write file " + File;
    if (!dataset)
        return Fail(error, WithGdalReason(cannot), "WriteGeoTiff");
    GDALDatasetH ds = dataset.get();
    double gt[6] = {grid.xllCenter - 0.5 * grid.cellSize,
                    grid.cellSize,
                    0.0,
                    grid.yllCenter + (grid.nrow - 0.5) * grid.cellSize,
                    0.0,
                    -grid.cellSize};
    bool ok = GDALSetGeoTransform(ds, gt) == CE_None;
    if (ok && !grid.crsWkt.empty())
        ok = GDALSetProjection(ds, grid.crsWkt.c_str()) == CE_None;
    for (size_t b = 0; ok && b < bands.size(); ++b)
        ok = bands[b].size() == static_cast<size_t>(grid.nrow) &&
             WriteBand(GDALGetRasterBand(ds, static_cast<int>(b) + 1), bands[b], grid.ncol,
                       grid.noData, b < names.size() ? names[b] : std::string());
    // Closing flushes the last blocks: a full disk shows here, as an error
    // GDAL reports (its close returns nothing).
    CPLErrorReset();
    dataset.reset();
    ok = ok && CPLGetLastErrorType() < CE_Failure;
    if (!ok)
        return Fail(error, WithGdalReason(cannot), "WriteGeoTiff");
    return true;
}

bool ReferenceSystemFromEpsg(const std::string& code, std::string& wkt, std::string& error) {
    const std::string usage = "give it as EPSG:<code>, e.g. EPSG:4326";
    std::string prefix = code.substr(0, 5);
    std::transform(prefix.begin(), prefix.end(), prefix.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    const std::string digits = code.size() > 5 ? code.substr(5) : "";
    int number = 0;
    if (prefix != "EPSG:" || digits.empty() ||
        !std::all_of(digits.begin(), digits.end(),
                     [](unsigned char c) { return std::isdigit(c); }) ||
        !ParseInt(digits, number))
        return Fail(error, "Unknown reference system '" + code + "': " + usage,
                    "ReferenceSystemFromEpsg");
    CQuietGdal quiet;
    OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
    char* text = nullptr;
    const bool ok = OSRImportFromEPSG(srs, number) == OGRERR_NONE &&
                    OSRExportToWkt(srs, &text) == OGRERR_NONE && text;
    if (ok)
        wkt = text;
    CPLFree(text);
    OSRDestroySpatialReference(srs);
    if (!ok)
        return Fail(error, "Unknown reference system " + code + " (no such EPSG code)",
                    "ReferenceSystemFromEpsg");
    return true;
}

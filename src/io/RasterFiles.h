// Raster maps in and out. The reader takes any grid GDAL reads (GeoTIFF,
// ESRI ASCII grids, ...) and the text layout of the predicted maps (six
// header pairs "#NCOLS", "#NROWS", "#XLLCENTER", "#YLLCENTER", "#CELLSIZE",
// "#NODATA_VALUE", then the rows from the top); the writers put several
// bands in one GeoTIFF through GDAL, or one band in the text layout.
#ifndef BRELO_IO_RASTERFILES_H
#define BRELO_IO_RASTERFILES_H

#include <string>
#include <vector>

#include "core/VectorUtilities.h"

// A north-up grid of square cells. Rows are counted from the top.
struct SRasterGrid {
    int nrow = 0;
    int ncol = 0;
    double xllCenter = 0.0;  // x of the centre of the left column
    double yllCenter = 0.0;  // y of the centre of the bottom row
    double cellSize = 0.0;
    double noData = -9999.0;
    std::string crsWkt;  // reference system as WKT; empty when unknown

    double CellX(int col) const { return xllCenter + col * cellSize; }
    double CellY(int row) const { return yllCenter + (nrow - 1 - row) * cellSize; }
};

// The largest grid a map may hold (cells): 20 million, a 25 m grid over
// 110 km x 180 km. Each cell costs the prediction some 60 bytes and 8 more
// for each cluster, and a header or a compressed file must not ask for
// more memory than the machine has.
constexpr long long kMaxRasterCells = 20000000LL;

// Reads the grid of File and which of its cells hold data (row by row from
// the top): a text file whose first token begins with '#' is read in the
// text layout (keywords read, not compared; a cell holds data when its value
// differs from the no-data value); anything else through GDAL (its first
// band and that band's mask), and in the text layout when GDAL does not know
// it. grid.noData is the file's no-data value, or -9999 when it has none or
// one that is not a finite number. False, with a one-line message ending in
// " - " + func in error, for a file that cannot be read, a truncated or
// malformed one, a grid without rows, columns or cells of positive size, a
// rotated grid, cells that are not square, or more than kMaxRasterCells
// cells.
bool ReadRasterMap(const std::string& File, const std::string& func, SRasterGrid& grid,
                   std::vector<char>& hasData, std::string& error);

// Writes band (nrow x ncol, top row first) in the text layout: the header
// keys followed by three blanks, the georeference with 12 significant
// digits, every value (6 significant digits) followed by a tab, three empty
// lines at the end. False, with a one-line message, when it cannot be
// written.
bool WriteTextRaster(const std::string& File, const SRasterGrid& grid, const DBL_VCTR_2D& band,
                     std::string& error);

// Writes the bands (each grid.nrow x grid.ncol, top row first) as one
// GeoTIFF of 64-bit reals, band b described as names[b], grid.noData as the
// no-data value of every band, grid.crsWkt as its reference system when
// set. False, with a one-line message, when it cannot be written.
bool WriteGeoTiff(const std::string& File, const SRasterGrid& grid, const DBL_VCTR_3D& bands,
                  const std::vector<std::string>& names, std::string& error);

// The reference system of an EPSG code written "EPSG:<code>" (any case), as
// WKT. False, with a one-line message, when the text is not of that form or
// the code is unknown.
bool ReferenceSystemFromEpsg(const std::string& code, std::string& wkt, std::string& error);

#endif

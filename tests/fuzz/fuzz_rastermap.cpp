// The raster map of breloAdm -m (any raster GDAL reads, or the text layout
// of the predicted maps), loaded and predicted on with a small set of trend
// coefficients.
// Parameters: none used.
#include "FuzzSupport.h"
#include "breloAdm/PredictUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const std::string file = in.WriteBody("map.asc");
    return RunFuzzCase([&] {
        DBL_VCTR_2D map;
        SRasterGrid grid;
        LoadMap(map, grid, file);
        // A small compressed file may describe a grid of millions of cells
        // (the reader allows 20 million): the reading is what is tried, the
        // prediction only on small grids.
        if (map.size() > 100000)
            return;
        const DBL_VCTR_2D beta = {{0.1, 0.01, -0.01}, {-0.1, 0.0, 0.02}};
        DBL_VCTR_3D prediction(2, DBL_VCTR_2D(grid.nrow, DBL_VCTR_1D(grid.ncol, 0.0)));
        predictFromBetaHat(prediction, map, beta, grid.noData);
    });
}

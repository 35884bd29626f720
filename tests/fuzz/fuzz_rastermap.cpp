// The ASCII raster map of breloAdm -m, loaded and predicted on with a
// small set of trend coefficients.
// Parameters: none used.
#include "FuzzSupport.h"
#include "breloAdm/PredictUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const std::string file = in.WriteBody("map.asc");
    return RunFuzzCase([&] {
        DBL_VCTR_2D map;
        double noData = 0, XLL = 0, YLL = 0, CellSize = 0;
        int nrow = 0, ncol = 0;
        LoadMap(map, noData, XLL, YLL, CellSize, nrow, ncol, file);
        const DBL_VCTR_2D beta = {{0.1, 0.01, -0.01}, {-0.1, 0.0, 0.02}};
        DBL_VCTR_3D prediction(2, DBL_VCTR_2D(nrow, DBL_VCTR_1D(ncol, 0.0)));
        predictFromBetaHat(prediction, map, beta, noData);
    });
}

// The coefficient file of brelo -predict ("betaHat.txt" of either program).
// Parameters: rows (coefficients) clusters.
#include "FuzzSupport.h"
#include "brelo/PredictUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int rows = in.Param(0, 64), clusters = in.Param(0, 64);
    const std::string file = in.WriteBody("betaHat.txt");
    return RunFuzzCase([&] {
        DBL_VCTR_2D beta(rows, DBL_VCTR_1D(clusters, 0.0));
        LoadBeta(beta, file);
    });
}

// The geographic distance file of breloAdm: checked against the announced
// size before the matrix is given room, then loaded.
// Parameters: rows cols.
#include "FuzzSupport.h"
#include "core/ProgramExit.h"
#include "core/VectorUtilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int rows = in.Param(1, 2147483647);
    const int cols = in.Param(1, 2147483647);
    const std::string file = in.WriteBody("distances.txt");
    return RunFuzzCase([&] {
        if (!CheckMatrixFile(rows, cols, file, "-N" + std::to_string(rows)))
            ExitProgram(1);
        DBL_VCTR_2D V(rows, DBL_VCTR_1D(cols, 0.0));
        LoadVector2D(V, file);
    });
}

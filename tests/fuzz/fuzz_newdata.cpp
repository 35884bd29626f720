// The new covariate file of brelo -predict: checked against -newN and the
// covariate counts before the design matrix is sized, then coded with the
// levels of the estimation data.
// Parameters: newN newER newEC nbQuantVar hasSpatialCoord, then the number
// of levels of each qualitative covariate (levels 1..n).
#include <set>
#include <vector>

#include "FuzzSupport.h"
#include "core/ProgramExit.h"
#include "io/ManipVector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int newN = in.Param(1, 2147483647), newER = in.Param(0, 2147483647),
              newEC = in.Param(0, 2147483647), nbQuantVar = in.Param(0, 2147483647);
    const bool coords = in.Flag();
    std::vector<std::set<int>> levelS;
    for (int v = 0, n = in.Param(0, 4); v < n; ++v) {
        std::set<int> levels;
        for (int code = 1, last = in.Param(1, 5); code <= last; ++code)
            levels.insert(code);
        levelS.push_back(levels);
    }
    const std::string file = in.WriteBody("new.txt");
    return RunFuzzCase([&] {
        if (!ScanNewData(newN, newER, newEC, static_cast<int>(levelS.size()), nbQuantVar, coords,
                         file))
            ExitProgram(1);
        size_t columns = 1 + static_cast<size_t>(nbQuantVar) + (coords ? 9 : 0);
        for (const auto& levels : levelS)
            columns += levels.size() - 1;
        DBL_VCTR_2D C(newN, DBL_VCTR_1D(2, 0.0)), Xtild(newN, DBL_VCTR_1D(columns, 0.0));
        LoadNewData(C, Xtild, newER, newEC, nbQuantVar, coords, levelS, file);
    });
}

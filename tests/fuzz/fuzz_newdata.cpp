// The new covariate file of brelo -predict, read in one pass: the design
// matrix is sized only once the file can hold what -newN and the covariate
// counts announce, and coded with the levels of the estimation data.
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
        DBL_VCTR_2D C, Xtild;
        LoadNewDataFile(newN, newER, newEC, nbQuantVar, coords, levelS, file, C, Xtild);
    });
}

// The training configuration file of brelo (-v).
// Parameters: N L.
#include <vector>

#include "FuzzSupport.h"
#include "io/ManipVector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int N = in.Param(1, 5000), L = in.Param(1, 5000);
    const std::string file = in.WriteBody("training.txt");
    return RunFuzzCase([&] {
        std::vector<CTrainingConfig> configs, comps;
        bool bValOnIndiv = false;
        LoadTraining(configs, comps, bValOnIndiv, N, L, file);
    });
}

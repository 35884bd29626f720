// The Voronoi file (a saved tessellation, reused with breloAdm -v) and the
// neighbourhood-system file.
// Parameters: N (rows of the neighbourhood file).
#include <vector>

#include "FuzzSupport.h"
#include "voronoi/Voronoi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CFuzzInput in(data, size);
    const int N = in.Param(0, 64);
    const std::string file = in.WriteBody("VC");
    RunFuzzCase([&] {
        std::vector<SPoint> points;
        std::vector<bool> keep;
        std::vector<double> minMax, scale;
        std::vector<CEdge> edges;
        std::vector<std::vector<int>> ns;
        if (CVoronoi::LoadVoronoi(points, keep, minMax, scale, edges, ns, file))
            CVoronoi::GetNeighborhoodSystem(static_cast<int>(ns.size()), edges, ns);
    });
    RunFuzzCase([&] {
        std::vector<std::vector<int>> ns(N);
        CVoronoi::LoadNS(ns, N, file);
    });
    return 0;
}

// Charts at stated sizes: the membership map of uniform random sites ringed
// by dummy sites (whose white cells make the gap filling search), and the
// assignment-probability bar chart of many individuals.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "core/ProgramFlavour.h"
#include "plot/PlotUtilities.h"
#include "voronoi/Voronoi.h"

namespace {

struct Map {
    std::vector<SPoint> sites;
    std::vector<bool> keep;
    std::vector<double> minMax, scale;
    std::vector<CEdge> edges;
    std::vector<int> hc;
};

Map UniformMap(int n) {
    Map m;
    std::mt19937 gen(5);
    std::uniform_real_distribution<double> u(0.0, 10.0);
    for (int i = 0; i < n + 40; ++i) {
        SPoint p;
        if (i < n) {
            p.m_psXY.m_dX = u(gen);
            p.m_psXY.m_dY = u(gen);
        } else {
            double a = (i - n) * 2 * M_PI / 40;
            p.m_psXY.m_dX = 5 + 9 * std::cos(a);
            p.m_psXY.m_dY = 5 + 9 * std::sin(a);
        }
        p.m_nIndex = i;
        m.sites.push_back(p);
    }
    CVoronoi::GetVoronoi(m.sites, m.keep, m.minMax, m.scale, m.edges);
    for (int i = 0; i < n; ++i)
        m.hc.push_back(i % 5);
    return m;
}

void BM_MembershipMap(benchmark::State& state) {
    SetProgramFlavour(ProgramFlavour::BreloAdm);
    Map m = UniformMap(static_cast<int>(state.range(0)));
    const std::string file = "/tmp/brelo_bench_map.png";
    for (auto _ : state)
        PlotHC(file, m.sites, m.keep, m.minMax, m.edges, m.hc);
}
BENCHMARK(BM_MembershipMap)->Arg(200)->Arg(1000)->Arg(3000)->Unit(benchmark::kMillisecond);

void BM_AssignmentBars(benchmark::State& state) {
    std::vector<std::vector<double>> ap;
    for (int i = 0; i < state.range(0); ++i)
        ap.push_back({(i % 7) / 7.0, 1 - (i % 7) / 7.0});
    const std::string file = "/tmp/brelo_bench_ap.png";
    for (auto _ : state)
        PlotAP(file, ap, "Assignment Probabilities");
}
BENCHMARK(BM_AssignmentBars)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

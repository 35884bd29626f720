// Charts at stated sizes: the membership map of uniform random sites ringed
// by dummy sites (whose white cells make the gap filling search), the
// assignment-probability bar chart of many individuals, the log-likelihood
// history of a long run and the neighbourhood diagram of many sites; the
// last three written as PNG alone (second argument 0) or PNG and PDF (1),
// to see what the PDF twin costs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "chart/Figure.h"
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

// PNG alone, or PNG and PDF.
void SetFormats(const benchmark::State& state) {
    Chart::SetFigureFormats({true, state.range(1) != 0});
}

void BM_AssignmentBars(benchmark::State& state) {
    SetFormats(state);
    std::vector<std::vector<double>> ap;
    for (int i = 0; i < state.range(0); ++i)
        ap.push_back({(i % 7) / 7.0, 1 - (i % 7) / 7.0});
    const std::string file = "/tmp/brelo_bench_ap.png";
    for (auto _ : state)
        PlotAP(file, ap, "Assignment Probabilities", SBarLabels(), MembershipOrder(ap, {}));
}
BENCHMARK(BM_AssignmentBars)
    ->ArgsProduct({{100, 1000, 10000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_LikelihoodHistory(benchmark::State& state) {
    SetFormats(state);
    std::vector<double> lh;
    for (int s = 0; s < state.range(0); ++s)
        lh.push_back(-5000 + 100 * std::sin(s * 0.01) + s * 0.001);
    const std::string file = "/tmp/brelo_bench_lh.png";
    for (auto _ : state)
        PlotLH(file, lh, static_cast<int>(state.range(0) / 5));
}
BENCHMARK(BM_LikelihoodHistory)
    ->ArgsProduct({{10000, 100000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

void BM_NeighbourhoodDiagram(benchmark::State& state) {
    SetFormats(state);
    Map m = UniformMap(static_cast<int>(state.range(0)));
    std::vector<std::vector<int>> ns;
    CVoronoi::GetNeighborhoodSystem(static_cast<int>(state.range(0)), m.edges, ns);
    const std::string file = "/tmp/brelo_bench_nd.png";
    for (auto _ : state)
        CVoronoi::DrawNeighborhoodSystem(m.sites, m.scale, ns, true, file);
}
BENCHMARK(BM_NeighbourhoodDiagram)
    ->ArgsProduct({{237, 3000}, {0, 1}})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

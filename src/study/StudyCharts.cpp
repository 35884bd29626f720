#include "study/StudyCharts.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <utility>

#include "chart/Chart.h"
#include "study/AtomicFile.h"

namespace {

const int kBlack = 0x000000;
const int kGrey = 0x999999;
const int kBlue = 0x0072B2;
const int kVermillion = 0xD55E00;
const int kGreen = 0x009E73;
const int kMarkRed = 0xCC3311;
const std::string kFont = "";

// A column of coloured squares with their texts.
class SwatchLegend : public BaseChart {
  public:
    SwatchLegend(int width, const std::vector<std::pair<int, std::string>>& entries,
                 int rowHeight = 16)
        : BaseChart(width, std::max<int>(1, rowHeight * entries.size() + 2), 0xffffff,
                    Chart::Transparent, 0),
          m_vEntries(entries),
          m_nRow(rowHeight) {}

  protected:
    void drawContent(DrawArea& d) override {
        for (size_t i = 0; i < m_vEntries.size(); ++i) {
            const int top = 2 + static_cast<int>(i) * m_nRow;
            d.rect(2, top, 12, top + 10, kBlack, m_vEntries[i].first);
            d.text(m_vEntries[i].second, kFont, 8, 18, top + 5, kBlack, Chart::Left);
        }
    }

  private:
    std::vector<std::pair<int, std::string>> m_vEntries;
    int m_nRow;
};

std::string Number(int n) {
    return std::to_string(n);
}

void IntegerKAxis(XYChart& c, int kMin, int kMax) {
    c.xAxis()->setLinearScale(kMin - 0.5, kMax + 0.5, 1);
    c.xAxis()->setLabelFormat("{value|0}");
    c.xAxis()->setTitle("K (number of clusters)", kFont, 9);
}

std::unique_ptr<XYChart> KPanel(const std::string& title, const std::string& yTitle, int kMin,
                                int kMax) {
    auto c = std::make_unique<XYChart>(330, 270, 0xffffff);
    c->setPlotArea(75, 28, 235, 195, 0xffffff, -1, kBlack, 0xe0e0e0, 0xe0e0e0);
    c->addTitle(title, kFont, 10);
    IntegerKAxis(*c, kMin, kMax);
    c->yAxis()->setTitle(yTitle, kFont, 9);
    c->yAxis()->setAutoScale(0.1, 0.1, 0);
    return c;
}

void AddLine(XYChart& c, const std::vector<double>& x, const std::vector<double>& y, int color,
             int symbol) {
    if (x.empty())
        return;
    LineLayer* layer = c.addLineLayer();
    layer->addDataSet(y, color)->setDataSymbol(symbol, 7, color, color);
    layer->setXData(x);
    layer->setLineWidth(2);
}

}  // namespace

bool WriteChart(BaseChart& chart, const std::string& fileBase, std::string* error) {
    const std::unique_ptr<DrawArea> drawing = chart.makeDrawing();
    const Chart::FigureFormats formats = Chart::GetFigureFormats();
    using Writer = std::function<bool(const std::string&)>;
    std::vector<std::pair<std::string, Writer>> files;
    if (formats.png)
        files.push_back(
            {".png", [&](const std::string& f) { return Chart::WritePng(*drawing, f); }});
    if (formats.pdf)
        files.push_back({".pdf", [&](const std::string& f) { return drawing->writePdf(f); }});
    // SVG is painted again, straight into its file.
    files.push_back({".svg", [&](const std::string& f) { return chart.makeChart(f); }});
    for (const auto& [extension, write] : files) {
        std::string why;
        if (!MakeFileAtomically(fileBase + extension, write, why)) {
            if (error != nullptr)
                *error = why;
            return false;
        }
    }
    return true;
}

namespace {

// A line across each panel at every K whose chains disagree or have not
// mixed, named in the first panel.
void MarkUntrustedK(const std::vector<SKSummary>& summaries, const std::vector<XYChart*>& panels) {
    for (const SKSummary& s : summaries) {
        const std::string mark = MarkText(s);
        if (mark.empty())
            continue;
        const std::string text = s.disagree ? "disagree" : "not mixed";
        for (size_t p = 0; p < panels.size(); ++p)
            panels[p]->xAxis()->addMark(s.K, kMarkRed, p == 0 ? text : "");
    }
}

bool AnyMarked(const std::vector<SKSummary>& summaries) {
    for (const SKSummary& s : summaries)
        if (s.disagree || s.notMixed)
            return true;
    return false;
}

// The held-out panel: each chain's score, the mean and its spread, the K the
// held-out loci point to marked.
std::unique_ptr<XYChart> HeldOutPanel(const std::vector<SKSummary>& summaries,
                                      const std::vector<std::vector<double>>& heldOutOfChains,
                                      int kMin, int kMax) {
    auto panel = KPanel("Held-out log-likelihood (-cv)", "per held-out locus", kMin, kMax);
    std::vector<double> chainK, chainH, k, mean;
    for (size_t i = 0; i < summaries.size(); ++i) {
        const SKSummary& s = summaries[i];
        if (i < heldOutOfChains.size())
            for (double h : heldOutOfChains[i])
                if (std::isfinite(h))
                    chainK.push_back(s.K), chainH.push_back(h);
        if (!std::isfinite(s.meanHeldOut))
            continue;
        k.push_back(s.K), mean.push_back(s.meanHeldOut);
        if (std::isfinite(s.sdHeldOut)) {
            LineLayer* bar = panel->addLineLayer();
            bar->addDataSet({s.meanHeldOut - s.sdHeldOut, s.meanHeldOut + s.sdHeldOut}, kGreen);
            bar->setXData({double(s.K), double(s.K)});
            bar->setLineWidth(2);
        }
        if (s.bestHeldOut)
            panel->addScatterLayer({double(s.K)}, {s.meanHeldOut}, "", Chart::DiamondSymbol, 13,
                                   kVermillion, kBlack);
    }
    if (!chainK.empty())
        panel->addScatterLayer(chainK, chainH, "", Chart::CircleSymbol, 5, kGrey, kGrey);
    AddLine(*panel, k, mean, kGreen, Chart::CircleSymbol);
    return panel;
}

}  // namespace

bool DrawKChoice(const std::string& fileBase, const std::vector<SKSummary>& summaries,
                 const std::vector<std::vector<double>>& logLikOfChains, std::string* error,
                 const std::vector<std::vector<double>>& heldOutOfChains) {
    if (summaries.empty())
        return false;
    const int kMin = summaries.front().K, kMax = summaries.back().K;
    auto logLik = KPanel("Mean log-likelihood of the chains", "mean log-likelihood", kMin, kMax);
    auto dic = KPanel("DIC of the chains", "DIC", kMin, kMax);
    auto delta = KPanel("Evanno's \xCE\x94K", "\xCE\x94K", kMin, kMax);
    delta->yAxis()->setAutoScale(0.1, 0, 0.8);

    std::vector<double> chainK, chainL, k, mean, meanDIC, bestDIC, kDIC, kBest, kDelta, deltaK;
    int chosen = 0, bestHeldOut = 0;
    bool heldOut = false;
    for (size_t i = 0; i < summaries.size(); ++i) {
        const SKSummary& s = summaries[i];
        for (double l : logLikOfChains[i])
            if (std::isfinite(l))
                chainK.push_back(s.K), chainL.push_back(l);
        if (std::isfinite(s.meanLogL))
            k.push_back(s.K), mean.push_back(s.meanLogL);
        if (std::isfinite(s.meanLogL) && std::isfinite(s.sdLogL)) {
            LineLayer* bar = logLik->addLineLayer();
            bar->addDataSet({s.meanLogL - s.sdLogL, s.meanLogL + s.sdLogL}, kBlue);
            bar->setXData({double(s.K), double(s.K)});
            bar->setLineWidth(2);
        }
        if (std::isfinite(s.meanDIC))
            kDIC.push_back(s.K), meanDIC.push_back(s.meanDIC);
        if (std::isfinite(s.bestDIC))
            kBest.push_back(s.K), bestDIC.push_back(s.bestDIC);
        if (std::isfinite(s.deltaK))
            kDelta.push_back(s.K), deltaK.push_back(s.deltaK);
        if (s.chosen)
            chosen = s.K;
        if (s.bestHeldOut)
            bestHeldOut = s.K;
        heldOut = heldOut || std::isfinite(s.meanHeldOut);
    }
    if (!chainK.empty())
        logLik->addScatterLayer(chainK, chainL, "", Chart::CircleSymbol, 5, kGrey, kGrey);
    AddLine(*logLik, k, mean, kBlue, Chart::CircleSymbol);
    AddLine(*dic, kDIC, meanDIC, kBlue, Chart::CircleSymbol);
    AddLine(*dic, kBest, bestDIC, kVermillion, Chart::DiamondSymbol);
    AddLine(*delta, kDelta, deltaK, kBlue, Chart::CircleSymbol);
    for (size_t i = 0; i < kDelta.size(); ++i)
        if (kDelta[i] == chosen)
            delta->addScatterLayer({kDelta[i]}, {deltaK[i]}, "", Chart::DiamondSymbol, 13,
                                   kVermillion, kBlack);
    std::unique_ptr<XYChart> held;
    if (heldOut)
        held = HeldOutPanel(summaries, heldOutOfChains, kMin, kMax);
    std::vector<XYChart*> panels{logLik.get(), dic.get(), delta.get()};
    if (held)
        panels.push_back(held.get());
    MarkUntrustedK(summaries, panels);

    std::vector<std::pair<int, std::string>> entries1{{kGrey, "one chain"},
                                                      {kBlue, "mean \xC2\xB1 standard deviation"}};
    if (AnyMarked(summaries))
        entries1.push_back({kMarkRed, "K whose chains disagree or have not mixed"});
    SwatchLegend legend1(300, entries1);
    SwatchLegend legend2(300, {{kBlue, "mean over the chains"}, {kVermillion, "best chain"}});
    std::vector<std::pair<int, std::string>> entries3{{kBlue, "\xCE\x94K"}};
    if (chosen > 0)
        entries3.push_back({kVermillion, "largest \xCE\x94K: K = " + Number(chosen)});
    SwatchLegend legend3(300, entries3);
    std::vector<std::pair<int, std::string>> entries4{{kGreen, "mean \xC2\xB1 standard deviation"}};
    if (bestHeldOut > 0)
        entries4.push_back(
            {kVermillion, "within one s.e. of the best: K = " + Number(bestHeldOut)});
    SwatchLegend legend4(300, entries4);

    std::string title = chosen > 0
                            ? "Choosing K: Evanno's \xCE\x94K points to K = " + Number(chosen)
                            : "Choosing K (\xCE\x94K needs three successive K and two "
                              "chains each)";
    if (bestHeldOut > 0)
        title += ", the held-out loci to K = " + Number(bestHeldOut);
    MultiChart m(held ? 1345 : 1010, 365, 0xffffff);
    m.addTitle(title, kFont, 12);
    for (size_t p = 0; p < panels.size(); ++p)
        m.addChart(5 + 335 * static_cast<int>(p), 32, panels[p]);
    SwatchLegend* legends[] = {&legend1, &legend2, &legend3, &legend4};
    for (size_t p = 0; p < panels.size(); ++p)
        m.addChart(80 + 335 * static_cast<int>(p), 305, legends[p]);
    return WriteChart(m, fileBase, error);
}

bool DrawTraces(const std::string& fileBase, int K, const std::vector<SChainResult>& chains,
                std::string* error) {
    std::vector<const SChainResult*> drawn;
    double lo = HUGE_VAL, hi = -HUGE_VAL;
    size_t longest = 0;
    int burnIn = 0;
    for (const SChainResult& c : chains) {
        if (c.status != ChainStatus::Done || c.trace.empty())
            continue;
        drawn.push_back(&c);
        longest = std::max(longest, c.trace.size());
        burnIn = std::max(burnIn, c.burnIn);
        const size_t first = static_cast<size_t>(c.burnIn) < c.trace.size() ? c.burnIn : 0;
        for (size_t t = first; t < c.trace.size(); ++t)
            lo = std::min(lo, c.trace[t]), hi = std::max(hi, c.trace[t]);
    }
    if (drawn.empty())
        return true;
    const double margin = hi > lo ? 0.08 * (hi - lo) : std::max(1.0, 1e-6 * std::fabs(hi));
    XYChart c(760, 400, 0xffffff);
    c.setPlotArea(85, 36, 650, 300, 0xffffff, -1, kBlack, 0xe0e0e0, 0xe0e0e0);
    c.setClipping();
    c.addTitle("Log-likelihood of the chains at K = " + Number(K), kFont, 11);
    c.xAxis()->setLinearScale(0, static_cast<double>(longest));
    c.xAxis()->setTitle("sweep", kFont, 9);
    c.yAxis()->setLinearScale(lo - margin, hi + margin);
    c.yAxis()->setTitle("log-likelihood", kFont, 9);
    if (burnIn > 0 && static_cast<size_t>(burnIn) < longest)
        c.xAxis()->addMark(burnIn + 0.5, kGrey, "end of burn-in");
    std::vector<std::pair<int, std::string>> entries;
    for (const SChainResult* chain : drawn) {
        std::vector<double> x(chain->trace.size());
        for (size_t t = 0; t < x.size(); ++t)
            x[t] = static_cast<double>(t + 1);
        const int color = Chart::PaletteColor(chain->replicate - 1);
        LineLayer* layer = c.addLineLayer();
        layer->addDataSet(chain->trace, color);
        layer->setXData(x);
        layer->setLineWidth(1);
        entries.push_back({color, "chain " + Number(chain->replicate)});
    }
    SwatchLegend legend(110, entries);
    MultiChart m(880, std::max(400, legend.getHeight() + 46), 0xffffff);
    m.addChart(0, 0, &c);
    m.addChart(765, 40, &legend);
    return WriteChart(m, fileBase, error);
}

SBarOrder OrderForBars(const std::vector<int>& groupOf, const std::vector<std::string>& names,
                       const DBL_VCTR_2D& lastQ) {
    SBarOrder bars;
    const int N = static_cast<int>(groupOf.size());
    bars.order = Chart::ShareOrder(lastQ, groupOf);
    for (int p = 0; p < N; ++p)
        if (p == 0 || groupOf[bars.order[p]] != groupOf[bars.order[p - 1]]) {
            bars.starts.push_back(p);
            const int g = groupOf[bars.order[p]];
            bars.names.push_back(g >= 0 && g < static_cast<int>(names.size()) ? names[g] : "");
        }
    bars.starts.push_back(N);
    return bars;
}

namespace {

// One stacked bar plot of a figure: its memberships, named on its side.
struct SBarPanel {
    const DBL_VCTR_2D* Q;
    std::string name;
};

// Stacked bar plots one above the other, the individuals in the order of
// bars, a cluster in the same colour in every plot.
bool DrawBarPanels(const std::string& fileBase, const std::string& title,
                   const std::vector<SBarPanel>& shown, const SBarOrder& bars,
                   const std::string& groupTitle, std::string* error) {
    if (shown.empty())
        return false;
    const int N = static_cast<int>(bars.order.size());
    // Five pixels a bar, within what a page holds: the whole figure at most
    // 1200 pixels wide (2400 in its PNG image), as the programs' bar plots.
    const int left = 60, panelH = 66, gap = 4, top = 36;
    const int W = std::clamp(5 * N, 480, 1200 - (left + 4 + 130));
    const int groups = static_cast<int>(bars.names.size());
    size_t longest = 0;
    for (const std::string& g : bars.names)
        longest = std::max(longest, g.size());
    // Group names turn upright when they do not fit under their group.
    const bool upright = groups > 0 && 6.5 * longest > 0.9 * W / groups;
    const int labelH = upright ? std::min<int>(130, 10 + 6 * static_cast<int>(longest)) : 18;
    const int lastH = panelH + labelH + 22;
    int Kmax = 0;
    for (const SBarPanel& s : shown)
        Kmax = std::max(Kmax, static_cast<int>(s.Q->front().size()));

    std::vector<std::unique_ptr<XYChart>> panels;
    for (size_t p = 0; p < shown.size(); ++p) {
        const DBL_VCTR_2D& Q = *shown[p].Q;
        const int K = static_cast<int>(Q.front().size());
        const bool last = p + 1 == shown.size();
        auto c = std::make_unique<XYChart>(left + W + 4, last ? lastH : panelH, 0xffffff);
        c->setPlotArea(left, 6, W, panelH - 12, 0xffffff, -1, kBlack, Chart::Transparent,
                       Chart::Transparent);
        BarLayer* layer = c->addBarLayer(Chart::Percentage);
        layer->setBarGap(0);
        for (int k = 0; k < K; ++k) {
            std::vector<double> column(N);
            for (int pos = 0; pos < N; ++pos)
                column[pos] = Q[bars.order[pos]][k];
            layer->addDataSet(column, Chart::PaletteColor(k));
        }
        for (size_t g = 1; g + 1 < bars.starts.size(); ++g) {
            LineLayer* line = c->addLineLayer();
            line->addDataSet({0, 100}, kBlack);
            line->setXData({bars.starts[g] - 0.5, bars.starts[g] - 0.5});
        }
        c->yAxis()->setLinearScale(0, 100, 100);
        c->yAxis()->setLabelFormat("{={value}*0.01}");
        c->yAxis()->setTitle(shown[p].name, kFont, 9);
        c->xAxis()->setLabels(std::vector<std::string>(N));
        c->xAxis()->setColors(kBlack, Chart::TextColor, -1, Chart::Transparent);
        if (last) {
            // Group names under their group, the grouping under them all.
            for (int g = 0; g < groups; ++g) {
                const double centre = (bars.starts[g] + bars.starts[g + 1]) / 2.0;
                const int x = left + static_cast<int>(std::lround(W * centre / N));
                if (upright)
                    c->addText(x, panelH - 2, bars.names[g], kFont, 8, kBlack, Chart::Right, 90);
                else
                    c->addText(x, panelH - 3, bars.names[g], kFont, 8, kBlack, Chart::TopCenter);
            }
            c->addText(left + W / 2, panelH + labelH, groupTitle, kFont, 9, kBlack,
                       Chart::TopCenter);
        }
        panels.push_back(std::move(c));
    }
    std::vector<std::pair<int, std::string>> entries;
    for (int k = 0; k < Kmax; ++k)
        entries.push_back({Chart::PaletteColor(k), "cluster " + Number(k + 1)});
    SwatchLegend legend(110, entries);

    const int height =
        std::max(top + static_cast<int>(shown.size() - 1) * (panelH + gap) + lastH + 6,
                 top + legend.getHeight() + 10);
    MultiChart m(left + W + 4 + 130, height, 0xffffff);
    m.addTitle(title, kFont, 12);
    for (size_t p = 0; p < panels.size(); ++p)
        m.addChart(0, top + static_cast<int>(p) * (panelH + gap), panels[p].get());
    m.addChart(left + W + 16, top, &legend);
    return WriteChart(m, fileBase, error);
}

}  // namespace

bool DrawBarplots(const std::string& fileBase, const std::vector<SKSummary>& summaries,
                  const SBarOrder& bars, const std::string& groupTitle, std::string* error) {
    std::vector<SBarPanel> shown;
    for (const SKSummary& s : summaries)
        if (!s.majorQ.empty())
            shown.push_back({&s.majorQ, "K = " + Number(s.K)});
    return DrawBarPanels(fileBase,
                         "Memberships of the major mode at each K (" +
                             Number(static_cast<int>(bars.order.size())) + " individuals)",
                         shown, bars, groupTitle, error);
}

bool DrawModeBarplots(const std::string& fileBase, const SKSummary& s, const SBarOrder& bars,
                      const std::string& groupTitle, std::string* error) {
    if (s.minorQ.empty() || s.majorQ.empty())
        return true;
    std::vector<SBarPanel> shown{{&s.majorQ, "mode 1"}};
    for (size_t m = 0; m < s.minorQ.size(); ++m)
        shown.push_back({&s.minorQ[m], "mode " + Number(static_cast<int>(m) + 2)});
    std::string title = "Modes at K = " + Number(s.K) + ": " + Number(s.majorModeChains);
    for (int n : s.minorModeChains)
        title += ", " + Number(n);
    title += " chains";
    return DrawBarPanels(fileBase, title, shown, bars, groupTitle, error);
}

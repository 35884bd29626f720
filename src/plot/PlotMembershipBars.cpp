// The membership bar plot (PlotAP): one stacked bar per individual, at most
// kMaxBarPlotWidth pixels wide whatever the number of individuals, grouped
// where groups are known, with a legend of the clusters; ids and group
// names are written under the bars only where they fit.
#include <algorithm>
#include <cmath>
#include <iostream>

#include "chart/Chart.h"
#include "core/Messages.h"
#include "core/ProgramFlavour.h"
#include "plot/PlotStyle.h"
#include "plot/PlotUtilities.h"
#include "plot/ResultCharts.h"

using namespace PlotStyle;

namespace {

const int kLeft = 50, kTop = 50, kPlotHeight = 500;
const int kLegendGap = 15, kRightMargin = 10;
const int kDesignSlot = 30;     // pixels a bar when the plot is narrow enough
const double kLabelSize = 8;    // points, ids and group names
const int kLongestLabel = 110;  // pixels: longer ids or names are not written
const double kBarGap = 0.2;     // of a slot, between slots of 10 pixels or more

// How the texts under the bars are written: one line across, upright
// (rotated a quarter turn), or not at all.
enum class LabelWay { Across, Upright, None };

struct SLabelFit {
    LabelWay way = LabelWay::None;
    double band = 0;  // pixels below the plot area they take
};

double TextWidth(const std::string& text, const std::string& font) {
    double w, h;
    DrawArea::MeasureText(text, font, kLabelSize, w, h);
    return w;
}

double TextHeight(const std::string& font) {
    double w, h;
    DrawArea::MeasureText("0", font, kLabelSize, w, h);
    return h;
}

// The way texts of at most widest pixels fit in room pixels a text.
SLabelFit FitLabels(double widest, double room, const std::string& font) {
    const double h = TextHeight(font);
    if (widest + 2 <= room)
        return {LabelWay::Across, h + 3};
    if (h <= room && widest <= kLongestLabel)
        return {LabelWay::Upright, widest + 5};
    return {};
}

// Writes text centred under x, at y, the way given.
void AddLabel(XYChart& c, LabelWay way, double x, double y, const std::string& text,
              const std::string& font) {
    const int ix = static_cast<int>(std::lround(x)), iy = static_cast<int>(std::lround(y));
    if (way == LabelWay::Across)
        c.addText(ix, iy, text, font, kLabelSize, Chart::TextColor, Chart::TopCenter);
    else if (way == LabelWay::Upright)
        c.addText(ix, iy, text, font, kLabelSize, Chart::TextColor, Chart::Right, 90);
}

std::vector<std::string> IdsOrPositions(const SBarLabels& labels, int N) {
    if (static_cast<int>(labels.ids.size()) == N)
        return labels.ids;
    std::vector<std::string> ids;
    for (int i = 1; i <= N; ++i)
        ids.push_back(std::to_string(i));
    return ids;
}

// The groups in the order shown: their first position, then N.
std::vector<int> GroupStarts(const INT_VCTR_1D& groupOf, const INT_VCTR_1D& order) {
    std::vector<int> starts;
    for (size_t p = 0; p < order.size(); ++p)
        if (p == 0 || groupOf[order[p]] != groupOf[order[p - 1]])
            starts.push_back(static_cast<int>(p));
    starts.push_back(static_cast<int>(order.size()));
    return starts;
}

class MembershipBarPlot {
  public:
    MembershipBarPlot(const DBL_VCTR_2D& ap, const std::string& title, const SBarLabels& labels,
                      const INT_VCTR_1D& order)
        : m_ap(ap),
          m_title(title),
          m_labels(labels),
          m_order(order),
          m_N(static_cast<int>(ap.size())),
          m_K(static_cast<int>(ap[0].size())),
          m_font(IsBreloAdm() ? "times.ttf" : ""),
          m_legend(0, kTop) {
        m_sorted = static_cast<int>(m_order.size()) == m_N;
        if (!m_sorted) {
            m_order.resize(m_N);
            for (int i = 0; i < m_N; ++i)
                m_order[i] = i;
        }
        m_grouped = static_cast<int>(labels.groupOf.size()) == m_N;
        FillLegend(m_legend);
    }

    std::unique_ptr<XYChart> build() {
        layOut();
        auto c = std::make_unique<XYChart>(m_width, m_height, kChartBackground, kChartEdge, 1);
        SetCommonPlotArea(*c, kLeft, kTop, m_plotWidth, kPlotHeight);
        AddCommonTitle(*c, m_title);
        addBars(*c);
        addIds(*c);
        if (m_grouped)
            addGroups(*c);
        c->addText(kLeft + m_plotWidth / 2, static_cast<int>(std::lround(m_captionTop)), caption(),
                   "", kLabelSize, Chart::TextColor, Chart::TopCenter);
        FillLegend(*c->addLegend(kLeft + m_plotWidth + kLegendGap, kTop));
        return c;
    }

  private:
    void FillLegend(LegendBox& legend) const {
        for (int k = 0; k < m_K; ++k)
            legend.addKey("cluster " + std::to_string(k + 1), GetClusterColor(k));
        legend.setMaxHeight(kPlotHeight);
    }

    // Widths first: the legend takes what it needs, the bars share the rest
    // (kDesignSlot each when they can), and the chart is at least as wide
    // as its title. Then the heights of the texts under the bars.
    void layOut() {
        const int legendW = m_legend.getWidth();
        const int room = kMaxBarPlotWidth - kLeft - kLegendGap - legendW - kRightMargin;
        m_plotWidth = std::max(1, std::min(kDesignSlot * m_N, room));
        m_slot = static_cast<double>(m_plotWidth) / m_N;
        m_width = std::max(kLeft + m_plotWidth + kLegendGap + legendW + kRightMargin,
                           std::min(kMaxBarPlotWidth, CommonTitleWidth(m_title)));
        m_ids = IdsOrPositions(m_labels, m_N);
        double widest = 0;
        for (const std::string& id : m_ids)
            widest = std::max(widest, TextWidth(id, m_font));
        m_idFit = FitLabels(widest, m_slot, m_font);
        double groupBand = 0;
        if (m_grouped) {
            m_starts = GroupStarts(m_labels.groupOf, m_order);
            for (size_t g = 0; g + 1 < m_starts.size(); ++g) {
                const std::string& name = groupName(g);
                SLabelFit fit =
                    FitLabels(TextWidth(name, ""), m_slot * (m_starts[g + 1] - m_starts[g]), "");
                m_groupFits.push_back(fit);
                groupBand = std::max(groupBand, fit.band);
            }
        }
        m_groupTop = kTop + kPlotHeight + 4 + m_idFit.band;
        m_captionTop = m_groupTop + groupBand + 2;
        m_height = std::max(600, static_cast<int>(std::ceil(m_captionTop + TextHeight("") + 8)));
    }

    // What the order of the bars is.
    std::string caption() const {
        if (!m_sorted)
            return "individuals";
        return m_grouped ? "individuals by group, then by main cluster"
                         : "individuals by main cluster";
    }

    const std::string& groupName(size_t g) const {
        static const std::string none;
        const int group = m_labels.groupOf[m_order[m_starts[g]]];
        return group >= 0 && group < static_cast<int>(m_labels.groupNames.size())
                   ? m_labels.groupNames[group]
                   : none;
    }

    void addBars(XYChart& c) const {
        DBL_VCTR_2D shown;
        for (int i : m_order)
            shown.push_back(m_ap[i]);
        AddStackedBars(c, Transpose(shown))->setBarGap(m_slot >= 10 ? kBarGap : 0);
        c.xAxis()->setLabels(std::vector<std::string>(m_N));
        c.xAxis()->setColors(Chart::LineColor, Chart::Transparent, -1, Chart::Transparent);
    }

    void addIds(XYChart& c) const {
        for (int p = 0; p < m_N; ++p)
            AddLabel(c, m_idFit.way, kLeft + (p + 0.5) * m_slot, kTop + kPlotHeight + 4,
                     m_ids[m_order[p]], m_font);
    }

    // A line between groups across the plot area, each group's name under
    // it where it fits.
    void addGroups(XYChart& c) const {
        for (size_t g = 0; g + 1 < m_starts.size(); ++g) {
            if (g > 0) {
                LineLayer* line = c.addLineLayer();
                line->addDataSet({0, 100}, 0x000000);
                line->setXData({m_starts[g] - 0.5, m_starts[g] - 0.5});
            }
            const double centre = kLeft + m_slot * (m_starts[g] + m_starts[g + 1]) / 2.0;
            AddLabel(c, m_groupFits[g].way, centre, m_groupTop, groupName(g), "");
        }
    }

    const DBL_VCTR_2D& m_ap;
    const std::string& m_title;
    const SBarLabels& m_labels;
    INT_VCTR_1D m_order;
    const int m_N, m_K;
    const std::string m_font;
    LegendBox m_legend;
    bool m_grouped = false, m_sorted = false;
    int m_plotWidth = 0, m_width = 0, m_height = 0;
    double m_slot = 0, m_groupTop = 0, m_captionTop = 0;
    std::vector<std::string> m_ids;
    SLabelFit m_idFit;
    std::vector<int> m_starts;
    std::vector<SLabelFit> m_groupFits;
};

}  // namespace

SBarLabels PopulationBarLabels(const std::vector<std::string>& ids, const INT_VCTR_1D& popIndex) {
    SBarLabels labels;
    labels.ids = ids;
    if (popIndex.empty())
        return labels;
    int groups = 0;
    for (int pop : popIndex) {
        labels.groupOf.push_back(pop - 1);
        groups = std::max(groups, pop);
    }
    for (int g = 1; g <= groups; ++g)
        labels.groupNames.push_back("pop " + std::to_string(g));
    return labels;
}

INT_VCTR_1D MembershipOrder(const DBL_VCTR_2D& memberships, const SBarLabels& labels) {
    const bool grouped = labels.groupOf.size() == memberships.size();
    return Chart::ShareOrder(memberships, grouped ? labels.groupOf : INT_VCTR_1D());
}

std::unique_ptr<XYChart> MembershipBarChart(const DBL_VCTR_2D& ap, const std::string& title,
                                            const SBarLabels& labels, const INT_VCTR_1D& order) {
    return MembershipBarPlot(ap, title, labels, order).build();
}

int PlotAP(const std::string& file, const DBL_VCTR_2D& ap, const std::string& title,
           const SBarLabels& labels, const INT_VCTR_1D& order) {
    if (!IsRectangular(ap)) {
        PrintMessage("Wrong Assignment Probabilities - PlotAP");
        return -1;
    }
    return WriteChart(*MembershipBarChart(ap, title, labels, order), file, "PlotAP");
}

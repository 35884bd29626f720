#include "plot/PlotUtilities.h"

#include <algorithm>
#include <cmath>
#include <iostream>
#include <memory>

#include "chart/Chart.h"
#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"
#include "plot/PlotStyle.h"
#include "plot/ResultCharts.h"

using namespace PlotStyle;

std::string FigureFile(const std::string& pngFile) {
    const Chart::FigureFormats formats = Chart::GetFigureFormats();
    return formats.png ? pngFile : formats.pdf ? Chart::PdfTwin(pngFile) : std::string();
}

namespace {

const double kOutOfRange = -1e300;  // values below it mark a failed run

DBL_VCTR_1D OneToN(size_t n) {
    DBL_VCTR_1D v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = static_cast<double>(i + 1);
    return v;
}

bool AnyBelow(const DBL_VCTR_1D& v, double limit) {
    for (double x : v)
        if (x < limit)
            return true;
    return false;
}

// The line between the burn-in and the kept sweeps of a history of n
// values, when both have sweeps.
void MarkBurnIn(XYChart& c, size_t n, int firstKept, const std::string& text) {
    if (firstKept > 0 && static_cast<size_t>(firstKept) < n)
        c.xAxis()->addMark(firstKept - 0.5, kBurnInMarkColor, text);
}

}  // namespace

void SetFigureFormatsOption(const std::string& formats) {
    Chart::FigureFormats f;
    if (!Chart::ParseFigureFormats(formats, f))
        RefuseInput(
            "The option -w takes the files of the charts: -wpng, -wpdf, -wpng,pdf or "
            "-wnone, not -w" +
            formats + ".");
    Chart::SetFigureFormats(f);
}

int GetClusterColor(int label) {
    return Chart::PaletteColor(label);
}

std::unique_ptr<XYChart> LogLikelihoodChart(const DBL_VCTR_1D& history, int firstKept) {
    auto c = std::make_unique<XYChart>(900, 600, kChartBackground, kChartEdge, 1);
    SetCommonPlotArea(*c, 50, 50, 800, 500);
    AddCommonTitle(*c, "Log-Likelihood History");
    c->addLineLayer(history);
    c->xAxis()->setLabels(OneToN(history.size()), "{value|0}");
    c->xAxis()->setLabelStep(static_cast<int>(history.size()) / 10);
    c->xAxis()->setTitle("sweep", "", 9);
    c->yAxis()->setTitle("log-likelihood", "", 9);
    MarkBurnIn(*c, history.size(), firstKept, "end of burn-in");
    return c;
}

int PlotLH(const std::string& file, const DBL_VCTR_1D& history, int firstKept) {
    if (AnyBelow(history, kOutOfRange)) {
        PrintMessage("Data Out Of Range, No Chart Plotted - PlotLH");
        return -1;
    }
    return WriteChart(*LogLikelihoodChart(history, firstKept), file, "PlotLH");
}

namespace {

// Column headers of the coefficient grid, in the order of the coefficients.
std::vector<std::string> CoefficientNames(const INT_VCTR_1D& nQualLevels, int nbQuantVar,
                                          int trendDegree) {
    std::vector<std::string> names{"Intercept"};
    for (size_t v = 0; v < nQualLevels.size(); ++v)
        for (int l = 2; l <= nQualLevels[v]; ++l)
            names.push_back("Qual. Var " + std::to_string(v + 1) + " level" + std::to_string(l));
    for (int m = 1; m <= nbQuantVar; ++m)
        names.push_back("Quant. Var " + std::to_string(m));
    const std::vector<std::vector<std::string>> trend = {
        {"Longitude", "Latitude"},
        {"Longitude^2", "Latitude^2", "Longitude * Latitude"},
        {"Longitude^3", "Latitude^3", "Longitude^2 * Latitude", "Longitude * Latitude^2"}};
    for (int d = 0; d < trendDegree && d < 3; ++d)
        names.insert(names.end(), trend[d].begin(), trend[d].end());
    return names;
}

// The small history chart of one coefficient of one cluster.
std::unique_ptr<XYChart> CoefficientChart(const DBL_VCTR_1D& values, int firstKept) {
    auto c = std::make_unique<XYChart>(300, 200, kChartBackground, kChartEdge, 0);
    SetCommonPlotArea(*c, 20, 20, 260, 160);
    c->addLineLayer(values);
    c->xAxis()->setLabelStyle("", 6, Chart::TextColor);
    c->yAxis()->setLabelStyle("", 6, Chart::TextColor);
    c->xAxis()->setLabels(OneToN(values.size()), "{value|0}");
    c->xAxis()->setLabelStep(static_cast<int>(values.size()) / 10);
    c->xAxis()->setTitle("sweep", "", 7);
    c->yAxis()->setTitle("coefficient", "", 7);
    MarkBurnIn(*c, values.size(), firstKept, "");
    return c;
}

}  // namespace

std::unique_ptr<MultiChart> CoefficientHistoryChart(const DBL_VCTR_3D& betaHist,
                                                    const INT_VCTR_1D& nQualLevels, int nbQuantVar,
                                                    int trendDegree, int firstKept) {
    const size_t K = betaHist.size(), B = betaHist[0].size();
    auto m = std::make_unique<MultiChart>(static_cast<int>(350 * B + 100),
                                          static_cast<int>(250 * K + 100), kChartBackground,
                                          kChartEdge, 1);
    AddCommonTitle(*m, "Regression Coefficients");
    for (size_t k = 0; k < K; ++k) {
        m->addText(50, static_cast<int>(200 + 250 * k), "Cluster " + std::to_string(k + 1),
                   "timesbi.ttf", 12, 0x000000, Chart::Center, 90);
        for (size_t b = 0; b < B; ++b)
            m->addChart(static_cast<int>(100 + 350 * b), static_cast<int>(100 + 250 * k),
                        CoefficientChart(betaHist[k][b], firstKept));
    }
    std::vector<std::string> names = CoefficientNames(nQualLevels, nbQuantVar, trendDegree);
    for (size_t col = 0; col < names.size() && col < B; ++col)
        m->addText(static_cast<int>(250 + 350 * col - 5 * names[col].size()), 50, names[col],
                   "timesbi.ttf", 12, 0x000007, Chart::TopLeft);
    return m;
}

int PlotBetaHist(const std::string& file, const DBL_VCTR_3D& betaHist,
                 const INT_VCTR_1D& nQualLevels, int nbQuantVar, int trendDegree, int firstKept) {
    if (betaHist.empty()) {
        PrintMessage("Uninitialized betaHist - PlotBetaHist");
        ExitProgram(1);
    }
    const size_t B = betaHist[0].size();
    for (const DBL_VCTR_2D& cluster : betaHist)
        if (B == 0 || cluster.size() != B) {
            PrintMessage("Wrong betaHist - PlotBetaHist");
            return -1;
        }
    for (const DBL_VCTR_2D& cluster : betaHist)
        for (const DBL_VCTR_1D& values : cluster)
            if (AnyBelow(values, kOutOfRange)) {
                PrintMessage("Data Out Of Range, No Chart Plotted - PlotBetaHist");
                return -1;
            }
    return WriteChart(
        *CoefficientHistoryChart(betaHist, nQualLevels, nbQuantVar, trendDegree, firstKept), file,
        "PlotBetaHist");
}

namespace {

const std::string kLevelChartTitle = "Predicted Assignement Probabilities";

// The stacked bars of one qualitative covariate: levels along x, 30 pixels
// each; the chart at least as wide as its title.
std::unique_ptr<XYChart> LevelChart(const DBL_VCTR_2D& levels, int v) {
    const int L = static_cast<int>(levels.size());
    const std::string title = "Qualitative variable n\xB0" + std::to_string(v + 1);
    double w, h;
    DrawArea::MeasureText(title, "timesbi.ttf", 10, w, h);
    const int width = std::max(30 * L + 100, static_cast<int>(std::ceil(w)) + 20);
    auto c = std::make_unique<XYChart>(width, 600, kChartBackground, kChartEdge, 0);
    SetCommonPlotArea(*c, 50, 50, 30 * L, 500);
    c->addTitle(title, "timesbi.ttf", 10, Chart::TextColor, Chart::Transparent, Chart::Transparent);
    c->xAxis()->setLabels(OneToN(L), "{value|0}");
    c->xAxis()->setTitle("level", "", 8);
    AddStackedBars(*c, Transpose(levels));
    return c;
}

}  // namespace

std::unique_ptr<MultiChart> LevelBarChart(const DBL_VCTR_3D& ap) {
    std::vector<std::unique_ptr<XYChart>> charts;
    std::vector<int> x;
    int width = 50;
    for (size_t v = 0; v < ap.size(); ++v) {
        charts.push_back(LevelChart(ap[v], static_cast<int>(v)));
        x.push_back(width);
        width += charts.back()->getWidth() + 50;
    }
    const int K = static_cast<int>(ap[0][0].size());
    LegendBox legend(width - 40, 100);
    for (int k = 0; k < K; ++k)
        legend.addKey("cluster " + std::to_string(k + 1), GetClusterColor(k));
    legend.setMaxHeight(500);
    width = std::max(width - 40 + legend.getWidth() + 10, CommonTitleWidth(kLevelChartTitle));
    auto m = std::make_unique<MultiChart>(width, 700, kChartBackground, kChartEdge, 1);
    AddCommonTitle(*m, kLevelChartTitle);
    for (size_t v = 0; v < charts.size(); ++v)
        m->addChart(x[v], 50, std::move(charts[v]));
    *m->addLegend(legend.getLeft(), legend.getTop()) = legend;
    return m;
}

int PlotPPMqual(const std::string& file, const DBL_VCTR_3D& ap) {
    Report(std::cout, "enter plotPPMqual");
    bool valid = !ap.empty();
    for (const DBL_VCTR_2D& levels : ap)
        valid = valid && IsRectangular(levels) && levels[0].size() == ap[0][0].size();
    if (!valid) {
        PrintMessage("Wrong Predicted Probabilities - PlotPPMqual");
        return -1;
    }
    if (WriteChart(*LevelBarChart(ap), file, "PlotPPMqual") != 0)
        return -1;
    Report(std::cout, "Chart made - PlotPPMqual");
    return 0;
}

int PlotMP(const std::string& file, const DBL_VCTR_1D& mp) {
    std::cout << "Entering Plot MP ... " << std::endl;
    if (mp.empty()) {
        PrintMessage("No Mixing Proportions - PlotMP");
        return -1;
    }
    std::cout << "Labels written ..." << std::endl;
    PieChart c(600, 600, kChartBackground, kChartEdge, 1);
    std::cout << "Chart created ..." << std::endl;
    AddCommonTitle(c, "Mixing Proportions");
    std::cout << "Chart entitled ..." << std::endl;
    c.setPieSize(300, 300, 200);
    c.setData(mp);
    std::cout << "Data set ..." << std::endl;
    if (WriteChart(c, file, "PlotMP") != 0)
        return -1;
    std::cout << "Chart Made ... " << std::endl;
    return 0;
}

int PlotKin(const std::string& file, const DBL_VCTR_1D& values,
            const std::vector<std::string>& labels) {
    if (values.empty()) {
        PrintMessage("No Kinship Coefficients - PlotKin");
        return -1;
    }
    const int n = static_cast<int>(values.size());
    XYChart c(60 * n + 100, 600, kChartBackground, kChartEdge, 1);
    SetCommonPlotArea(c, 50, 50, 60 * n, 500);
    AddCommonTitle(c, "Kinship Coefficients");
    c.addBarLayer(values)->setBorderColor(Chart::Transparent);
    std::vector<std::string> shown(labels);
    shown.resize(values.size());  // one label per bar
    c.xAxis()->setLabels(shown);
    return WriteChart(c, file, "PlotKin");
}

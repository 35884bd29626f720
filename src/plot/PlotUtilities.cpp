#include "plot/PlotUtilities.h"

#include <iostream>
#include <memory>

#include "chart/Chart.h"
#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"

std::string FigureFile(const std::string& pngFile) {
    const Chart::FigureFormats formats = Chart::GetFigureFormats();
    return formats.png ? pngFile : formats.pdf ? Chart::PdfTwin(pngFile) : std::string();
}

namespace {

const int kChartBackground = 0xffffcc;
const int kChartEdge = 0x000000;
const int kTitleBackground = 0x804020;
const int kGridColor = 0xc0c0c0;
const double kOutOfRange = -1e300;  // values below it mark a failed run

void Report(std::ostream& os, const std::string& message) {
    os << message << std::endl;
}

// The common title: white on a brown band.
void AddCommonTitle(BaseChart& c, const std::string& title) {
    c.addTitle(title, "timesbi.ttf", 14, 0xffffff, Chart::Transparent, Chart::Transparent)
        ->setBackground(kTitleBackground, -1, 0);
}

void SetCommonPlotArea(XYChart& c, int x, int y, int w, int h) {
    c.setPlotArea(x, y, w, h, 0xffffff, -1, -1, kGridColor, Chart::Transparent);
    c.setClipping(0);
}

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

// One data set per cluster (rows of dataSets), stacked to the full height.
void AddStackedBars(XYChart& c, const DBL_VCTR_2D& dataSets) {
    BarLayer* layer = c.addBarLayer(Chart::Percentage);
    for (const DBL_VCTR_1D& ds : dataSets)
        layer->addDataSet(ds);
    layer->setBorderColor(Chart::Transparent);
    c.yAxis()->setLabelFormat("{={value}*0.01}");
    c.yAxis()->setTickDensity(50, -1);
}

// Rows of equal, non-zero length.
bool IsRectangular(const DBL_VCTR_2D& m) {
    if (m.empty() || m[0].empty())
        return false;
    for (const DBL_VCTR_1D& row : m)
        if (row.size() != m[0].size())
            return false;
    return true;
}

DBL_VCTR_2D Transpose(const DBL_VCTR_2D& m) {
    DBL_VCTR_2D t(m[0].size(), DBL_VCTR_1D(m.size()));
    for (size_t i = 0; i < m.size(); ++i)
        for (size_t k = 0; k < m[i].size(); ++k)
            t[k][i] = m[i][k];
    return t;
}

// The line between the burn-in and the kept sweeps of a history of n
// values, when both have sweeps.
void MarkBurnIn(XYChart& c, size_t n, int firstKept, const std::string& text) {
    if (firstKept > 0 && static_cast<size_t>(firstKept) < n)
        c.xAxis()->addMark(firstKept - 0.5, kBurnInMarkColor, text);
}

// Writes the chart; a failure is reported on the error stream.
int WriteChart(BaseChart& c, const std::string& file, const std::string& function) {
    if (c.makeChart(file))
        return 0;
    PrintMessage("Unable to make chart - " + function);
    return -1;
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

int PlotLH(const std::string& file, const DBL_VCTR_1D& history, int firstKept) {
    if (AnyBelow(history, kOutOfRange)) {
        PrintMessage("Data Out Of Range, No Chart Plotted - PlotLH");
        return -1;
    }
    XYChart c(900, 600, kChartBackground, kChartEdge, 1);
    SetCommonPlotArea(c, 50, 50, 800, 500);
    AddCommonTitle(c, "Log-Likelihood History");
    c.addLineLayer(history);
    c.xAxis()->setLabels(OneToN(history.size()), "{value|0}");
    c.xAxis()->setLabelStep(static_cast<int>(history.size()) / 10);
    MarkBurnIn(c, history.size(), firstKept, "end of burn-in");
    return WriteChart(c, file, "PlotLH");
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
    MarkBurnIn(*c, values.size(), firstKept, "");
    return c;
}

}  // namespace

int PlotBetaHist(const std::string& file, const DBL_VCTR_3D& betaHist,
                 const INT_VCTR_1D& nQualLevels, int nbQuantVar, int trendDegree, int firstKept) {
    if (betaHist.empty()) {
        PrintMessage("Uninitialized betaHist - PlotBetaHist");
        ExitProgram(1);
    }
    const size_t K = betaHist.size(), B = betaHist[0].size();
    for (const DBL_VCTR_2D& cluster : betaHist)
        if (B == 0 || cluster.size() != B) {
            PrintMessage("Wrong betaHist - PlotBetaHist");
            return -1;
        }
    MultiChart m(static_cast<int>(350 * B + 100), static_cast<int>(250 * K + 100), kChartBackground,
                 kChartEdge, 1);
    AddCommonTitle(m, "Regression Coefficients");
    std::vector<std::unique_ptr<XYChart>> charts;
    for (size_t k = 0; k < K; ++k) {
        m.addText(50, static_cast<int>(200 + 250 * k), "Cluster " + std::to_string(k + 1),
                  "timesbi.ttf", 12, 0x000000, Chart::Center, 90);
        for (size_t b = 0; b < B; ++b) {
            if (AnyBelow(betaHist[k][b], kOutOfRange)) {
                PrintMessage("Data Out Of Range, No Chart Plotted - PlotBetaHist");
                return -1;
            }
            charts.push_back(CoefficientChart(betaHist[k][b], firstKept));
            m.addChart(static_cast<int>(100 + 350 * b), static_cast<int>(100 + 250 * k),
                       charts.back().get());
        }
    }
    std::vector<std::string> names = CoefficientNames(nQualLevels, nbQuantVar, trendDegree);
    for (size_t col = 0; col < names.size() && col < B; ++col)
        m.addText(static_cast<int>(250 + 350 * col - 5 * names[col].size()), 50, names[col],
                  "timesbi.ttf", 12, 0x000007, Chart::TopLeft);
    return WriteChart(m, file, "PlotBetaHist");
}

int PlotAP(const std::string& file, const DBL_VCTR_2D& ap, const std::string& title) {
    if (!IsRectangular(ap)) {
        PrintMessage("Wrong Assignment Probabilities - PlotAP");
        return -1;
    }
    const int N = static_cast<int>(ap.size());
    // Widths beyond the image limit are narrowed by the chart layer.
    long width = 30L * N + 100;
    XYChart c(static_cast<int>(std::min<long>(width, 1L << 30)), 600, kChartBackground, kChartEdge,
              1);
    SetCommonPlotArea(c, 50, 50, c.getWidth() - 100, 500);
    AddCommonTitle(c, title);
    c.xAxis()->setLabels(OneToN(N), "{value|0}");
    if (IsBreloAdm())
        c.xAxis()->setLabelStyle("times.ttf", 8, Chart::TextColor);
    AddStackedBars(c, Transpose(ap));
    return WriteChart(c, file, "PlotAP");
}

namespace {

// The stacked bars of one qualitative covariate: levels along x.
std::unique_ptr<XYChart> LevelChart(const DBL_VCTR_2D& levels, int v) {
    const int L = static_cast<int>(levels.size());
    auto c = std::make_unique<XYChart>(30 * L + 100, 600, kChartBackground, kChartEdge, 0);
    SetCommonPlotArea(*c, 50, 50, 30 * L, 500);
    c->addTitle("Qualitative variable n\xB0" + std::to_string(v + 1), "timesbi.ttf", 10,
                Chart::TextColor, Chart::Transparent, Chart::Transparent);
    c->xAxis()->setLabels(OneToN(L), "{value|0}");
    AddStackedBars(*c, Transpose(levels));
    return c;
}

}  // namespace

int PlotPPMqual(const std::string& file, const DBL_VCTR_3D& ap) {
    Report(std::cout, "enter plotPPMqual");
    bool valid = !ap.empty();
    for (const DBL_VCTR_2D& levels : ap)
        valid = valid && IsRectangular(levels);
    if (!valid) {
        PrintMessage("Wrong Predicted Probabilities - PlotPPMqual");
        return -1;
    }
    std::vector<int> x;
    int width = 50;
    for (const DBL_VCTR_2D& levels : ap) {
        x.push_back(width);
        width += 30 * static_cast<int>(levels.size()) + 150;
    }
    MultiChart m(width, 700, kChartBackground, kChartEdge, 1);
    AddCommonTitle(m, "Predicted Assignement Probabilities");
    std::vector<std::unique_ptr<XYChart>> charts;
    for (size_t v = 0; v < ap.size(); ++v) {
        charts.push_back(LevelChart(ap[v], static_cast<int>(v)));
        m.addChart(x[v], 50, charts.back().get());
    }
    if (WriteChart(m, file, "PlotPPMqual") != 0)
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

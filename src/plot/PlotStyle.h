// The common style of the result charts, shared by the files of this
// folder: colours, the title band, the plot area, writing and reporting.
#ifndef BRELO_PLOT_PLOTSTYLE_H
#define BRELO_PLOT_PLOTSTYLE_H

#include <iosfwd>
#include <string>
#include <vector>

#include "core/VectorUtilities.h"

class BarLayer;
class BaseChart;
class XYChart;

namespace PlotStyle {

constexpr int kChartBackground = 0xffffcc;
constexpr int kChartEdge = 0x000000;
constexpr int kTitleBackground = 0x804020;
constexpr int kGridColor = 0xc0c0c0;
// Font and size of the titles.
inline const char* const kTitleFont = "timesbi.ttf";
constexpr double kTitleSize = 14;

// A message and a line end.
void Report(std::ostream& os, const std::string& message);
// The common title: white on a brown band.
void AddCommonTitle(BaseChart& c, const std::string& title);
// Width in pixels the common title needs, margins included.
int CommonTitleWidth(const std::string& title);
// White plot area, grey horizontal grid, layers clipped to it.
void SetCommonPlotArea(XYChart& c, int x, int y, int w, int h);
// One data set per cluster (rows of dataSets, in the clusters' colours),
// stacked to the full height; the y axis labelled 0 to 1.
BarLayer* AddStackedBars(XYChart& c, const DBL_VCTR_2D& dataSets);
// Columns of m as rows.
DBL_VCTR_2D Transpose(const DBL_VCTR_2D& m);
// Rows of equal, non-zero length.
bool IsRectangular(const DBL_VCTR_2D& m);
// Writes the chart (PNG and its PDF twin); a failure is reported on the
// error stream as "Unable to make chart - " + function, and gives -1.
int WriteChart(BaseChart& c, const std::string& file, const std::string& function);

}  // namespace PlotStyle

#endif

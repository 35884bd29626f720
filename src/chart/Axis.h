// An axis of an XYChart: its scale (automatic, fixed, or one position per
// text label), ticks, labels and colours.
#ifndef BRELO_CHART_AXIS_H
#define BRELO_CHART_AXIS_H

#include <functional>
#include <string>
#include <vector>

#include "chart/ChartConstants.h"
#include "chart/TextBox.h"

class DrawArea;

class Axis {
  public:
    explicit Axis(bool bHorizontal);

    // One label per data position 0, 1, ...; the axis becomes a label axis.
    TextBox* setLabels(const std::vector<std::string>& labels);
    // Numbers shown through a label format such as "{value|0}".
    TextBox* setLabels(const std::vector<double>& labels, const std::string& formatString = "");
    // Every majorStep-th label is shown (a step below 1 shows every label).
    void setLabelStep(int majorStep, int minorStep = 0);
    TextBox* setLabelStyle(const std::string& font = "", double fontSize = 8,
                           int fontColor = Chart::TextColor, double fontAngle = 0);
    // Format of the numeric labels of a scaled axis, e.g. "{={value}*0.01}".
    void setLabelFormat(const std::string& formatString);
    // Pixels between major ticks of a scaled axis (minor ticks are not drawn).
    void setTickDensity(int majorTickSpacing, int minorTickSpacing = -1);
    // Fixed range; a tick increment of 0 lets the tick density choose.
    void setLinearScale(double lowerLimit, double upperLimit, double majorTickInc = 0,
                        double minorTickInc = 0);
    void setDateScale(double lowerLimit, double upperLimit, double majorTickInc = 0,
                      double minorTickInc = 0);
    // Automatic range: extensions as fractions of the data range; the range
    // starts at zero when the data's near end lies within zeroAffinity of it.
    void setAutoScale(double topExtension = 0.1, double bottomExtension = 0.1,
                      double zeroAffinity = 0.8);
    void setColors(int axisColor, int labelColor = Chart::TextColor, int titleColor = -1,
                   int tickColor = -1);
    TextBox* setTitle(const std::string& text, const std::string& font = "", double fontSize = 8,
                      int fontColor = Chart::TextColor);
    // A line across the plot area at value (in axis units) in lineColor,
    // labelled with text (may be empty) at its upper end.
    void addMark(double value, int lineColor, const std::string& text = "");

    struct Mark {
        double value;
        int color;
        std::string text;
    };
    const std::vector<Mark>& marks() const { return m_vMarks; }

    // --- used by XYChart while drawing ---
    bool isLabelAxis() const { return !m_vstrLabels.empty(); }
    int labelCount() const { return static_cast<int>(m_vstrLabels.size()); }
    bool hasFixedScale() const { return m_bFixedScale; }
    // Settles the range from the data range (ignored for fixed scales) and
    // the axis length in pixels.
    void resolveScale(double dataMin, double dataMax, int lengthPixels);
    // Exactly lower .. upper (no rounding), ticks from the tick density.
    void resolveExactScale(double lower, double upper, int lengthPixels);
    // Label axis range, e.g. -0.5 .. n-0.5 with bars.
    void resolveLabelScale(double lower, double upper, int lengthPixels);
    double getMinValue() const { return m_dMin; }
    double getMaxValue() const { return m_dMax; }
    // Major tick positions in axis units.
    const std::vector<double>& ticks() const { return m_vdTicks; }
    void draw(DrawArea& d, int plotX, int plotY, int plotW, int plotH) const;
    // Room its ticks, labels and title take beside the plot area, away
    // from it (pixels), as measured on d.
    double band(DrawArea& d) const;
    // How far its first and last labels reach beyond the ends of the axis
    // of length pixels (pixels, 0 when they do not).
    void overhang(DrawArea& d, int length, double& low, double& high) const;
    // Where v lies along the axis: 0 at the minimum, 1 at the maximum.
    double fraction(double v) const;

  private:
    std::string tickText(double v) const;
    bool labelsVisible() const;
    bool titleVisible() const;
    // Size of a label across and along the axis.
    void labelSize(DrawArea& d, const std::string& text, double& across, double& along) const;
    // Calls f(tick, across, along) for every tick whose label is drawn.
    void forEachLabel(DrawArea& d, const std::function<void(double, double, double)>& f) const;
    bool showsLabel(int i) const;
    int tickColor() const;
    void drawHorizontal(DrawArea& d, int plotX, int plotY, int plotW, int plotH) const;
    void drawVertical(DrawArea& d, int plotX, int plotY, int plotH) const;
    void chooseTicks(int lengthPixels);

    bool m_bHorizontal;
    std::vector<std::string> m_vstrLabels;
    int m_nLabelStep = 1;
    TextBox m_tbLabelStyle;
    TextBox m_tbTitle;
    std::string m_strLabelFormat;
    int m_nTickDensity;
    bool m_bFixedScale = false;
    double m_dFixedTick = 0;
    double m_dTopExt = 0.1;
    double m_dBottomExt = 0.1;
    double m_dZeroAffinity = 0.8;
    int m_nAxisColor = Chart::LineColor;
    int m_nLabelColor = Chart::TextColor;
    int m_nTickColor = -1;
    double m_dMin = 0;
    double m_dMax = 1;
    double m_dTickStep = 0.1;
    std::vector<double> m_vdTicks;
    std::vector<Mark> m_vMarks;
};

#endif

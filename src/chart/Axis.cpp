#include "chart/Axis.h"

#include <algorithm>
#include <cmath>

#include "chart/DrawArea.h"
#include "chart/LabelFormat.h"

namespace {

const int kTickLength = 3;
const int kLabelGap = 5;  // pixels between the axis line and its labels

// The smallest of 1, 2, 5 times a power of ten that is at least raw.
double NiceStep(double raw) {
    if (!(raw > 0) || !std::isfinite(raw))
        return 1;
    double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (m * power >= raw * (1 - 1e-9))
            return m * power;
    return 10 * power;
}

}  // namespace

Axis::Axis(bool bHorizontal) : m_bHorizontal(bHorizontal), m_nTickDensity(bHorizontal ? 50 : 30) {
    m_tbLabelStyle.setAlignment(bHorizontal ? Chart::TopCenter : Chart::Right);
}

TextBox* Axis::setLabels(const std::vector<std::string>& labels) {
    m_vstrLabels = labels;
    return &m_tbLabelStyle;
}

TextBox* Axis::setLabels(const std::vector<double>& labels, const std::string& formatString) {
    m_vstrLabels.clear();
    for (double v : labels)
        m_vstrLabels.push_back(Chart::FormatLabel(formatString, v));
    return &m_tbLabelStyle;
}

void Axis::setLabelStep(int majorStep, int /*minorStep*/) {
    m_nLabelStep = majorStep;
}

TextBox* Axis::setLabelStyle(const std::string& font, double fontSize, int fontColor,
                             double fontAngle) {
    m_tbLabelStyle.setFontStyle(font);
    m_tbLabelStyle.setFontSize(fontSize);
    m_tbLabelStyle.setFontColor(fontColor);
    m_tbLabelStyle.setFontAngle(fontAngle);
    return &m_tbLabelStyle;
}

void Axis::setLabelFormat(const std::string& formatString) {
    m_strLabelFormat = formatString;
}

void Axis::setTickDensity(int majorTickSpacing, int /*minorTickSpacing*/) {
    m_nTickDensity = majorTickSpacing;
}

void Axis::setLinearScale(double lowerLimit, double upperLimit, double majorTickInc,
                          double /*minorTickInc*/) {
    m_bFixedScale = true;
    m_dMin = lowerLimit;
    m_dMax = upperLimit;
    m_dFixedTick = majorTickInc;
}

void Axis::setDateScale(double lowerLimit, double upperLimit, double majorTickInc,
                        double minorTickInc) {
    setLinearScale(lowerLimit, upperLimit, majorTickInc, minorTickInc);
}

void Axis::setAutoScale(double topExtension, double bottomExtension, double zeroAffinity) {
    m_dTopExt = topExtension;
    m_dBottomExt = bottomExtension;
    m_dZeroAffinity = zeroAffinity;
}

void Axis::setColors(int axisColor, int labelColor, int /*titleColor*/, int tickColor) {
    m_nAxisColor = axisColor;
    m_nLabelColor = labelColor;
    m_tbLabelStyle.setFontColor(labelColor);
    m_nTickColor = tickColor;
}

TextBox* Axis::setTitle(const std::string& text, const std::string& font, double fontSize,
                        int fontColor) {
    m_tbTitle = TextBox(text, font, fontSize, fontColor, m_bHorizontal ? 0 : 90);
    m_tbTitle.setAlignment(m_bHorizontal ? Chart::TopCenter : Chart::BottomCenter);
    return &m_tbTitle;
}

void Axis::chooseTicks(int lengthPixels) {
    double range = m_dMax - m_dMin;
    int density = m_nTickDensity > 0 ? m_nTickDensity : 30;
    int count = std::max(1, lengthPixels / density);
    m_dTickStep = (m_bFixedScale && m_dFixedTick > 0) ? m_dFixedTick : NiceStep(range / count);
    m_vdTicks.clear();
    double first = std::ceil(m_dMin / m_dTickStep - 1e-9) * m_dTickStep;
    for (int i = 0; i < 10000; ++i) {
        double t = first + i * m_dTickStep;
        if (t > m_dMax + 1e-9 * std::max(1.0, std::fabs(range)))
            break;
        m_vdTicks.push_back(std::fabs(t) < 1e-12 * m_dTickStep ? 0 : t);
    }
}

void Axis::resolveScale(double dataMin, double dataMax, int lengthPixels) {
    if (m_bFixedScale) {
        if (!(m_dMax > m_dMin))
            m_dMax = m_dMin + 1;
        chooseTicks(lengthPixels);
        return;
    }
    double lo = dataMin, hi = dataMax;
    if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi))
        lo = 0, hi = 1;
    // A range starting at zero reads better unless the data sit far from it.
    if (lo > 0 && lo / hi < m_dZeroAffinity)
        lo = 0;
    if (hi < 0 && hi / lo < m_dZeroAffinity)
        hi = 0;
    if (hi == lo) {
        if (lo > 0)
            lo = 0;
        else if (hi < 0)
            hi = 0;
        else
            hi = 1;
    }
    double range = hi - lo;
    if (hi != 0)
        hi += m_dTopExt * range;
    if (lo != 0)
        lo -= m_dBottomExt * range;
    m_dMin = lo;
    m_dMax = hi;
    chooseTicks(lengthPixels);
    m_dMin = std::floor(lo / m_dTickStep + 1e-9) * m_dTickStep;
    m_dMax = std::ceil(hi / m_dTickStep - 1e-9) * m_dTickStep;
    chooseTicks(lengthPixels);
}

void Axis::resolveExactScale(double lower, double upper, int lengthPixels) {
    m_dMin = lower;
    m_dMax = upper > lower ? upper : lower + 1;
    chooseTicks(lengthPixels);
}

void Axis::resolveLabelScale(double lower, double upper, int /*lengthPixels*/) {
    m_dMin = lower;
    m_dMax = upper;
    m_vdTicks.clear();
    for (int i = 0; i < labelCount(); ++i)
        if (showsLabel(i))
            m_vdTicks.push_back(i);
}

void Axis::addMark(double value, int lineColor, const std::string& text) {
    m_vMarks.push_back({value, lineColor, text});
}

double Axis::fraction(double v) const {
    return m_dMax > m_dMin ? (v - m_dMin) / (m_dMax - m_dMin) : 0;
}

bool Axis::showsLabel(int i) const {
    return m_nLabelStep <= 1 || i % m_nLabelStep == 0;
}

int Axis::tickColor() const {
    return m_nTickColor == -1 ? m_nAxisColor : m_nTickColor;
}

std::string Axis::tickText(double v) const {
    if (isLabelAxis()) {
        int i = static_cast<int>(std::lround(v));
        return i >= 0 && i < labelCount() ? m_vstrLabels[i] : std::string();
    }
    if (!m_strLabelFormat.empty())
        return Chart::FormatLabel(m_strLabelFormat, v);
    int decimals = static_cast<int>(std::ceil(-std::log10(m_dTickStep) - 1e-9));
    return Chart::FormatNumber(v, std::max(0, decimals));
}

bool Axis::labelsVisible() const {
    return Chart::IsVisible(Chart::ResolveColor(m_tbLabelStyle.getFontColor(), Chart::DefaultText));
}

bool Axis::titleVisible() const {
    return !m_tbTitle.getText().empty() &&
           Chart::IsVisible(Chart::ResolveColor(m_tbTitle.getFontColor(), Chart::DefaultText));
}

void Axis::labelSize(DrawArea& d, const std::string& text, double& across, double& along) const {
    double w, h;
    d.textSize(text, m_tbLabelStyle.getFont(), m_tbLabelStyle.getFontSize(), w, h);
    const double a = m_tbLabelStyle.getFontAngle() * 3.14159265358979323846 / 180;
    const double horizontal = std::fabs(w * std::cos(a)) + std::fabs(h * std::sin(a));
    const double vertical = std::fabs(w * std::sin(a)) + std::fabs(h * std::cos(a));
    across = m_bHorizontal ? vertical : horizontal;
    along = m_bHorizontal ? horizontal : vertical;
}

void Axis::forEachLabel(DrawArea& d, const std::function<void(double, double, double)>& f) const {
    if (!labelsVisible())
        return;
    for (double t : m_vdTicks) {
        const std::string text = tickText(t);
        if (text.empty())
            continue;
        double across, along;
        labelSize(d, text, across, along);
        f(t, across, along);
    }
}

double Axis::band(DrawArea& d) const {
    double room = kLabelGap;
    forEachLabel(d,
                 [&](double, double across, double) { room = std::max(room, kLabelGap + across); });
    if (titleVisible()) {
        double w, h;
        d.textSize(m_tbTitle.getText(), m_tbTitle.getFont(), m_tbTitle.getFontSize(), w, h);
        room += 2 + h;
    }
    return room + 1;
}

void Axis::overhang(DrawArea& d, int length, double& low, double& high) const {
    low = high = 0;
    // Horizontal labels are centred on their tick, vertical ones too.
    forEachLabel(d, [&](double t, double, double along) {
        const double at = fraction(t) * length;
        low = std::max(low, along / 2 - at);
        high = std::max(high, at + along / 2 - length);
    });
}

void Axis::draw(DrawArea& d, int plotX, int plotY, int plotW, int plotH) const {
    if (m_bHorizontal)
        drawHorizontal(d, plotX, plotY, plotW, plotH);
    else
        drawVertical(d, plotX, plotY, plotH);
}

void Axis::drawHorizontal(DrawArea& d, int plotX, int plotY, int plotW, int plotH) const {
    int axisRow = plotY + plotH;
    d.line(plotX - 1, axisRow, plotX + plotW, axisRow, m_nAxisColor);
    double lastRight = -1e9;
    double labelBottom = axisRow + kLabelGap;
    for (double t : m_vdTicks) {
        double x = std::round(plotX + fraction(t) * plotW);
        d.line(x, axisRow + 1, x, axisRow + kTickLength, tickColor());
        std::string text = tickText(t);
        double w, h;
        d.textSize(text, m_tbLabelStyle.getFont(), m_tbLabelStyle.getFontSize(), w, h);
        if (m_tbLabelStyle.getFontAngle() == 0) {
            // Labels that would overlap the previous one are left out.
            if (x - w / 2 < lastRight + 2)
                continue;
            lastRight = x + w / 2;
        }
        m_tbLabelStyle.draw(d, x, axisRow + kLabelGap, &text);
        labelBottom = std::max(labelBottom, axisRow + kLabelGap + h);
    }
    m_tbTitle.draw(d, plotX + plotW / 2.0, labelBottom + 2);
}

void Axis::drawVertical(DrawArea& d, int plotX, int plotY, int plotH) const {
    int axisCol = plotX - 1;
    d.line(axisCol, plotY - 1, axisCol, plotY + plotH, m_nAxisColor);
    double lastTop = 1e9;
    double labelLeft = axisCol - kLabelGap;
    for (double t : m_vdTicks) {
        double y = std::round(plotY + plotH - 1 - fraction(t) * plotH);
        d.line(axisCol - 1, y, axisCol - kTickLength, y, tickColor());
        std::string text = tickText(t);
        double w, h;
        d.textSize(text, m_tbLabelStyle.getFont(), m_tbLabelStyle.getFontSize(), w, h);
        if (y + h / 2 > lastTop - 1)
            continue;
        lastTop = y - h / 2;
        // A label wider than the margin is moved right rather than cut off
        // at the image edge, where "-1200" would read "200".
        double right = std::max<double>(axisCol - kLabelGap, w + 1);
        m_tbLabelStyle.draw(d, right, y, &text);
        labelLeft = std::min(labelLeft, axisCol - kLabelGap - w);
    }
    m_tbTitle.draw(d, labelLeft - 2, plotY + plotH / 2.0);
}

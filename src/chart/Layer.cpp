#include "chart/Layer.h"

#include <algorithm>
#include <cmath>

#include "chart/Axis.h"
#include "chart/DrawArea.h"
#include "chart/LabelFormat.h"

double PlotFrame::px(double x) const {
    return nX + pxAxis->fraction(x) * nW;
}

// Row nY + nH - 1 is the bottom row of the plot area, so that the minimum of
// the axis lies inside the area, as the minimum of the x axis does.
double PlotFrame::py(double y) const {
    return nY + nH - 1 - pyAxis->fraction(y) * nH;
}

DataSet::DataSet(const std::vector<double>& data, int color, const std::string& name)
    : m_vdData(data), m_nColor(color), m_strName(name) {}

void DataSet::setDataColor(int color, int edgeColor) {
    m_nColor = color;
    m_nEdgeColor = edgeColor;
}

void DataSet::setDataSymbol(int symbol, int size, int fillColor, int edgeColor) {
    m_nSymbol = symbol;
    m_nSymbolSize = size;
    if (fillColor != -1)
        m_nColor = fillColor;
    m_nEdgeColor = edgeColor;
}

Layer::Layer(int* colorCounter) : m_pColorCounter(colorCounter) {
    m_tbDataLabelStyle.setAlignment(Chart::BottomCenter);
}

DataSet* Layer::addDataSet(const std::vector<double>& data, int color, const std::string& name) {
    if (color == -1)
        color = Chart::DefaultDataColor((*m_pColorCounter)++);
    m_vDataSets.push_back(std::make_unique<DataSet>(data, color, name));
    return m_vDataSets.back().get();
}

void Layer::setBorderColor(int color, int /*raisedEffect*/) {
    m_nBorderColor = color;
}

void Layer::setXData(const std::vector<double>& xData) {
    m_vdXData = xData;
}

void Layer::addExtraField(const std::vector<std::string>& texts) {
    m_vvstrExtraFields.push_back(texts);
}

void Layer::addExtraField(const std::vector<double>& numbers) {
    std::vector<std::string> texts;
    for (double v : numbers)
        texts.push_back(Chart::FormatNumber(v));
    m_vvstrExtraFields.push_back(texts);
}

void Layer::setDataLabelFormat(const std::string& formatString) {
    m_strDataLabelFormat = formatString;
}

TextBox* Layer::setDataLabelStyle(const std::string& font, double fontSize, int fontColor,
                                  double fontAngle) {
    m_tbDataLabelStyle.setFontStyle(font);
    m_tbDataLabelStyle.setFontSize(fontSize);
    m_tbDataLabelStyle.setFontColor(fontColor);
    m_tbDataLabelStyle.setFontAngle(fontAngle);
    if (m_strDataLabelFormat.empty())
        m_strDataLabelFormat = "{value}";
    return &m_tbDataLabelStyle;
}

void Layer::setLineWidth(int width) {
    m_nLineWidth = width;
}

int Layer::positionCount() const {
    size_t n = 0;
    for (const auto& ds : m_vDataSets)
        n = std::max(n, ds->data().size());
    if (hasXData())
        n = std::min(n, m_vdXData.size());
    return static_cast<int>(n);
}

double Layer::xAt(int i) const {
    return hasXData() ? m_vdXData[i] : i;
}

void Layer::xRange(double& lo, double& hi) const {
    for (int i = 0; i < positionCount(); ++i) {
        double x = xAt(i);
        if (!std::isfinite(x))
            continue;
        lo = std::min(lo, x);
        hi = std::max(hi, x);
    }
}

void Layer::yRange(double& lo, double& hi) const {
    for (const auto& ds : m_vDataSets)
        for (double v : ds->data()) {
            if (!std::isfinite(v))
                continue;
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
}

std::string Layer::dataLabelText(int ds, int i) const {
    std::vector<std::string> fields;
    for (const auto& field : m_vvstrExtraFields)
        fields.push_back(i < static_cast<int>(field.size()) ? field[i] : std::string());
    const std::vector<double>& data = m_vDataSets[ds]->data();
    double value = i < static_cast<int>(data.size()) ? data[i] : 0;
    return Chart::FormatLabel(m_strDataLabelFormat, value, fields);
}

namespace {

bool Overlaps(const std::array<double, 4>& a, const std::array<double, 4>& b) {
    return a[0] < b[2] && b[0] < a[2] && a[1] < b[3] && b[1] < a[3];
}

bool Covers(const std::array<double, 4>& box, double x, double y) {
    return box[0] <= x && x <= box[2] && box[1] <= y && y <= box[3];
}

// The box of a symbol of the given size centred at pixel (x, y), its edge
// included.
std::array<double, 4> SymbolBox(int size, double x, double y) {
    const double r = size / 2.0 + 0.5;
    x = std::round(x);
    y = std::round(y);
    return {x - r, y - r, x + r, y + r};
}

}  // namespace

void Layer::addSymbolBoxes(const PlotFrame&, std::vector<std::array<double, 4>>&) const {}

void Layer::addDataSetBoxes(const PlotFrame& frame, const DataSet& ds, int size,
                            std::vector<std::array<double, 4>>& boxes) const {
    const std::vector<double>& v = ds.data();
    for (int i = 0; i < positionCount() && i < static_cast<int>(v.size()); ++i) {
        const double x = frame.px(xAt(i)), y = frame.py(v[i]);
        if (std::isfinite(x) && std::isfinite(y))
            boxes.push_back(SymbolBox(size, x, y));
    }
}

void Layer::drawDataLabels(DrawArea& d, const PlotFrame& frame,
                           std::vector<std::array<double, 4>>& taken,
                           const std::vector<std::array<double, 4>>& symbols) const {
    if (m_strDataLabelFormat.empty())
        return;
    const TextBox& style = m_tbDataLabelStyle;
    const int col = (style.getAlignment() - 1) % 3, row = (style.getAlignment() - 1) / 3;
    for (int ds = 0; ds < dataSetCount(); ++ds) {
        const std::vector<double>& data = m_vDataSets[ds]->data();
        for (int i = 0; i < positionCount() && i < static_cast<int>(data.size()); ++i) {
            if (!std::isfinite(data[i]) || !std::isfinite(xAt(i)))
                continue;
            std::string text = dataLabelText(ds, i);
            const double x = std::round(frame.px(xAt(i))), y = std::round(frame.py(data[i]));
            double w, h;
            d.textSize(text, style.getFont(), style.getFontSize(), w, h);
            const double left = x + style.getPosX() - col * 0.5 * w;
            const double top = y + style.getPosY() - (1.0 - row * 0.5) * h;
            const std::array<double, 4> box{left - 1, top, left + w + 1, top + h};
            if (std::any_of(taken.begin(), taken.end(),
                            [&](const std::array<double, 4>& t) { return Overlaps(t, box); }) ||
                std::any_of(symbols.begin(), symbols.end(), [&](const std::array<double, 4>& s) {
                    return Overlaps(s, box) && !Covers(s, x, y);
                }))
                continue;
            taken.push_back(box);
            style.draw(d, x, y, &text);
        }
    }
}

// Each run of finite points is one polyline; a lone finite point a dot.
void LineLayer::draw(DrawArea& d, const PlotFrame& frame) const {
    for (const auto& ds : m_vDataSets) {
        const std::vector<double>& v = ds->data();
        int n = std::min(positionCount(), static_cast<int>(v.size()));
        std::vector<double> xs, ys;
        auto flush = [&] {
            if (xs.size() > 1 || (xs.size() == 1 && n == 1))
                d.polyline(xs, ys, ds->color(), m_nLineWidth);
            xs.clear();
            ys.clear();
        };
        for (int i = 0; i < n; ++i) {
            double x = frame.px(xAt(i)), y = frame.py(v[i]);
            if (!(std::isfinite(x) && std::isfinite(y))) {
                flush();
                continue;
            }
            xs.push_back(x);
            ys.push_back(y);
        }
        flush();
        if (ds->symbol() != Chart::NoSymbol)
            for (int i = 0; i < n; ++i)
                DrawSymbol(d, ds->symbol(), ds->symbolSize(), frame.px(xAt(i)), frame.py(v[i]),
                           ds->color(), ds->edgeColor());
    }
}

void LineLayer::addSymbolBoxes(const PlotFrame& frame,
                               std::vector<std::array<double, 4>>& boxes) const {
    for (const auto& ds : m_vDataSets)
        if (ds->symbol() != Chart::NoSymbol && ds->symbolSize() > 0)
            Layer::addDataSetBoxes(frame, *ds, ds->symbolSize(), boxes);
}

BarLayer::BarLayer(int* colorCounter, int dataCombineMethod)
    : Layer(colorCounter), m_nCombine(dataCombineMethod) {
    m_nBorderColor = Chart::Transparent;
}

void BarLayer::xRange(double& lo, double& hi) const {
    int n = positionCount();
    if (n == 0)
        return;
    lo = std::min(lo, xAt(0) - 0.5);
    hi = std::max(hi, xAt(n - 1) + 0.5);
}

void BarLayer::yRange(double& lo, double& hi) const {
    lo = std::min(lo, 0.0);
    hi = std::max(hi, 0.0);
    if (m_nCombine == Chart::Percentage) {
        hi = std::max(hi, 100.0);
        return;
    }
    if (m_nCombine != Chart::Stack) {
        Layer::yRange(lo, hi);
        return;
    }
    for (int i = 0; i < positionCount(); ++i)
        for (int ds = 0; ds < dataSetCount(); ++ds) {
            double bottom, top;
            segment(ds, i, bottom, top);
            lo = std::min({lo, bottom, top});
            hi = std::max({hi, bottom, top});
        }
}

void BarLayer::segment(int ds, int i, double& bottom, double& top) const {
    auto value = [&](int k) {
        const std::vector<double>& v = m_vDataSets[k]->data();
        return i < static_cast<int>(v.size()) && std::isfinite(v[i]) ? v[i] : 0.0;
    };
    bottom = 0;
    top = value(ds);
    if (m_nCombine != Chart::Stack && m_nCombine != Chart::Percentage)
        return;
    // Positive values stack upwards, negative ones downwards.
    for (int k = 0; k < ds; ++k)
        if ((value(k) >= 0) == (top >= 0))
            bottom += value(k);
    top += bottom;
    if (m_nCombine == Chart::Percentage) {
        double total = 0;
        for (int k = 0; k < dataSetCount(); ++k)
            total += std::fabs(value(k));
        // A position whose values are all zero has no bar.
        double scale = total > 0 ? 100.0 / total : 0.0;
        bottom *= scale;
        top *= scale;
    }
}

void BarLayer::draw(DrawArea& d, const PlotFrame& frame) const {
    int sets = dataSetCount();
    bool side = m_nCombine == Chart::Side && sets > 1;
    double half = (1.0 - std::clamp(m_dBarGap, 0.0, 1.0)) / 2;
    for (int i = 0; i < positionCount(); ++i) {
        for (int ds = 0; ds < sets; ++ds) {
            double from = xAt(i) - half, to = xAt(i) + half;
            if (side) {
                double w = (to - from) / sets;
                from += ds * w;
                to = from + w;
            }
            int left = static_cast<int>(std::lround(frame.px(from)));
            int right = std::max(left, static_cast<int>(std::lround(frame.px(to))) - 1);
            double bottom, top;
            segment(ds, i, bottom, top);
            int rowA = static_cast<int>(std::lround(frame.py(bottom)));
            int rowB = static_cast<int>(std::lround(frame.py(top)));
            if (rowA == rowB)
                continue;
            // The segment covers the rows strictly above its bottom boundary
            // up to its top boundary, so that stacked segments do not overlap.
            int y1 = std::min(rowA, rowB) + 1, y2 = std::max(rowA, rowB);
            d.rect(left, y1, right, y2, m_nBorderColor, m_vDataSets[ds]->color());
        }
    }
}

ScatterLayer::ScatterLayer(int* colorCounter, int symbol, int symbolSize, int edgeColor)
    : Layer(colorCounter), m_nSymbol(symbol), m_nSymbolSize(symbolSize) {
    m_nBorderColor = edgeColor;
}

void ScatterLayer::draw(DrawArea& d, const PlotFrame& frame) const {
    for (const auto& ds : m_vDataSets) {
        const std::vector<double>& v = ds->data();
        int n = std::min(positionCount(), static_cast<int>(v.size()));
        int symbol = ds->symbol() != Chart::NoSymbol ? ds->symbol() : m_nSymbol;
        int size = ds->symbol() != Chart::NoSymbol ? ds->symbolSize() : m_nSymbolSize;
        int edge = ds->edgeColor() != -1 ? ds->edgeColor() : m_nBorderColor;
        for (int i = 0; i < n; ++i) {
            double x = frame.px(xAt(i)), y = frame.py(v[i]);
            if (std::isfinite(x) && std::isfinite(y))
                DrawSymbol(d, symbol, size, x, y, ds->color(), edge);
        }
    }
}

void ScatterLayer::addSymbolBoxes(const PlotFrame& frame,
                                  std::vector<std::array<double, 4>>& boxes) const {
    for (const auto& ds : m_vDataSets) {
        const bool own = ds->symbol() != Chart::NoSymbol;
        const int symbol = own ? ds->symbol() : m_nSymbol;
        const int size = own ? ds->symbolSize() : m_nSymbolSize;
        if (symbol != Chart::NoSymbol && size > 0)
            Layer::addDataSetBoxes(frame, *ds, size, boxes);
    }
}

void DrawSymbol(DrawArea& d, int symbol, int size, double x, double y, int fillColor,
                int edgeColor) {
    if (symbol == Chart::NoSymbol || size <= 0)
        return;
    int cx = static_cast<int>(std::lround(x)), cy = static_cast<int>(std::lround(y));
    double r = size / 2.0;
    int ri = size / 2;
    switch (symbol) {
        case Chart::CircleSymbol:
            d.circle(cx, cy, ri, ri, edgeColor, fillColor);
            return;
        case Chart::DiamondSymbol:
            d.polygon({cx - r, double(cx), cx + r, double(cx)},
                      {double(cy), cy - r, double(cy), cy + r}, edgeColor, fillColor);
            return;
        case Chart::TriangleSymbol:
            d.polygon({cx - r, double(cx), cx + r}, {cy + r, cy - r, cy + r}, edgeColor, fillColor);
            return;
        case Chart::InvertedTriangleSymbol:
            d.polygon({cx - r, double(cx), cx + r}, {cy - r, cy + r, cy - r}, edgeColor, fillColor);
            return;
        case Chart::RightTriangleSymbol:
            d.polygon({cx - r, cx + r, cx - r}, {cy - r, double(cy), cy + r}, edgeColor, fillColor);
            return;
        case Chart::LeftTriangleSymbol:
            d.polygon({cx + r, cx - r, cx + r}, {cy - r, double(cy), cy + r}, edgeColor, fillColor);
            return;
        case Chart::CrossSymbol:
        case Chart::Cross2Symbol: {
            int color = Chart::IsVisible(Chart::ResolveColor(fillColor, Chart::Transparent))
                            ? fillColor
                            : edgeColor;
            if (symbol == Chart::CrossSymbol) {
                d.line(cx - ri, cy, cx + ri, cy, color);
                d.line(cx, cy - ri, cx, cy + ri, color);
            } else {
                d.line(cx - ri, cy - ri, cx + ri, cy + ri, color);
                d.line(cx - ri, cy + ri, cx + ri, cy - ri, color);
            }
            return;
        }
        default:
            d.rect(cx - ri, cy - ri, cx - ri + size - 1, cy - ri + size - 1, edgeColor, fillColor);
    }
}

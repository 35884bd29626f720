#include "chart/Legend.h"

#include <algorithm>
#include <cmath>

#include "chart/DrawArea.h"

namespace {
const int kPadding = 4;     // pixels around the keys
const int kSwatchGap = 5;   // between a square and its text
const int kColumnGap = 12;  // between columns
}  // namespace

LegendBox::LegendBox(int x, int y, const std::string& font, double fontSize)
    : m_nX(x), m_nY(y), m_strFont(font), m_dFontSize(fontSize) {}

void LegendBox::addKey(const std::string& text, int color) {
    m_vKeys.push_back({text, color});
}

int LegendBox::rowHeight() const {
    double w, h;
    DrawArea::MeasureText("Xg", m_strFont, m_dFontSize, w, h);
    return static_cast<int>(std::ceil(h)) + 3;
}

int LegendBox::rowsPerColumn(size_t keys) const {
    const int fit = m_nMaxHeight > 0 ? (m_nMaxHeight - 2 * kPadding) / rowHeight() : 0;
    return std::max(1, fit > 0 ? std::min<int>(fit, keys) : static_cast<int>(keys));
}

int LegendBox::columnWidth(const std::vector<std::pair<std::string, int>>& keys) const {
    double widest = 0;
    for (const auto& key : keys) {
        double w, h;
        DrawArea::MeasureText(key.first, m_strFont, m_dFontSize, w, h);
        widest = std::max(widest, w);
    }
    return rowHeight() - 3 + kSwatchGap + static_cast<int>(std::ceil(widest));
}

int LegendBox::getWidth() const {
    if (m_vKeys.empty())
        return 0;
    const int rows = rowsPerColumn(m_vKeys.size());
    const int columns = static_cast<int>((m_vKeys.size() + rows - 1) / rows);
    return 2 * kPadding + columns * columnWidth(m_vKeys) + (columns - 1) * kColumnGap;
}

int LegendBox::getHeight() const {
    if (m_vKeys.empty())
        return 0;
    return 2 * kPadding + rowsPerColumn(m_vKeys.size()) * rowHeight();
}

void LegendBox::draw(DrawArea& d, const std::vector<std::pair<std::string, int>>& keys) const {
    const std::vector<std::pair<std::string, int>>& shown = m_vKeys.empty() ? keys : m_vKeys;
    if (shown.empty())
        return;
    const int rows = rowsPerColumn(shown.size()), row = rowHeight();
    const int columns = static_cast<int>((shown.size() + rows - 1) / rows);
    const int colW = columnWidth(shown);
    const int w = 2 * kPadding + columns * colW + (columns - 1) * kColumnGap;
    d.rect(m_nX, m_nY, m_nX + w - 1, m_nY + 2 * kPadding + rows * row - 1, m_nEdgeColor, m_nBgColor,
           m_nRaisedEffect);
    const int square = row - 3;
    for (size_t i = 0; i < shown.size(); ++i) {
        const int col = static_cast<int>(i) / rows, r = static_cast<int>(i) % rows;
        const int x = m_nX + kPadding + col * (colW + kColumnGap);
        const int y = m_nY + kPadding + r * row + 1;
        d.rect(x, y, x + square - 1, y + square - 1, 0x000000, shown[i].second);
        d.text(shown[i].first, m_strFont, m_dFontSize, x + square + kSwatchGap, y + square / 2.0,
               Chart::TextColor, Chart::Left);
    }
}

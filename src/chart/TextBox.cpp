#include "chart/TextBox.h"

#include "chart/DrawArea.h"

void Box::setBackground(int color, int edgeColor, int raisedEffect) {
    m_nBgColor = color;
    m_nEdgeColor = edgeColor;
    m_nRaisedEffect = raisedEffect;
}

TextBox::TextBox(const std::string& text, const std::string& font, double fontSize, int fontColor,
                 double angle)
    : m_strText(text),
      m_strFont(font),
      m_dFontSize(fontSize),
      m_nFontColor(fontColor),
      m_dAngle(angle) {}

void TextBox::draw(DrawArea& d, double x, double y, const std::string* str) const {
    const std::string& text = str ? *str : m_strText;
    x += m_nPosX;
    y += m_nPosY;
    bool hasBox = Chart::IsVisible(Chart::ResolveColor(m_nBgColor, Chart::Transparent)) ||
                  Chart::IsVisible(Chart::ResolveColor(m_nEdgeColor, Chart::Transparent));
    if (hasBox && m_dAngle == 0 && !text.empty()) {
        double w, h;
        d.textSize(text, m_strFont, m_dFontSize, w, h);
        int col = (m_nAlignment - 1) % 3, row = (m_nAlignment - 1) / 3;
        double left = x - col * 0.5 * w - m_nMargin;
        double top = y - (1.0 - row * 0.5) * h - m_nMargin;
        d.rect(static_cast<int>(left), static_cast<int>(top),
               static_cast<int>(left + w + 2 * m_nMargin),
               static_cast<int>(top + h + 2 * m_nMargin), m_nEdgeColor, m_nBgColor,
               m_nRaisedEffect);
    }
    d.text(text, m_strFont, m_dFontSize, x, y, m_nFontColor, m_nAlignment, m_dAngle);
}

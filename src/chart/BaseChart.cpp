#include "chart/BaseChart.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "chart/Figure.h"

namespace {
const int kTitleMargin = 3;  // pixels above and below the title text
const int kTitleSide = 4;    // pixels at least left and right of it
}  // namespace

BaseChart::BaseChart(int width, int height, int bgColor, int edgeColor, int raisedEffect)
    : m_nWidth(std::max(1, width)),
      m_nHeight(std::max(1, height)),
      m_nBgColor(bgColor),
      m_nEdgeColor(edgeColor),
      m_nRaisedEffect(raisedEffect) {}

BaseChart::~BaseChart() = default;

TextBox* BaseChart::addTitle(const std::string& text, const std::string& font, double fontSize,
                             int fontColor, int bgColor, int edgeColor) {
    m_pTitle = std::make_unique<TextBox>(text, font, fontSize, fontColor);
    m_pTitle->setAlignment(Chart::TopCenter);
    m_pTitle->setBackground(bgColor, edgeColor);
    return m_pTitle.get();
}

TextBox* BaseChart::addText(int x, int y, const std::string& text, const std::string& font,
                            double fontSize, int fontColor, int alignment, double angle) {
    m_vTexts.push_back(std::make_unique<TextBox>(text, font, fontSize, fontColor, angle));
    m_vTexts.back()->setAlignment(alignment);
    m_vTextPos.push_back({x, y});
    return m_vTexts.back().get();
}

LegendBox* BaseChart::addLegend(int x, int y, const std::string& font, double fontSize) {
    m_pLegend = std::make_unique<LegendBox>(x, y, font, fontSize);
    return m_pLegend.get();
}

void BaseChart::drawLegend(DrawArea& d) const {
    if (m_pLegend)
        m_pLegend->draw(d, legendKeys());
}

void BaseChart::setBackground(int color, int edgeColor, int raisedEffect) {
    m_nBgColor = color;
    m_nEdgeColor = edgeColor;
    m_nRaisedEffect = raisedEffect;
}

void BaseChart::drawBackground(DrawArea& d) const {
    int bg = Chart::ResolveColor(m_nBgColor, Chart::DefaultBackground);
    d.rect(0, 0, m_nWidth - 1, m_nHeight - 1, Chart::Transparent, bg);
}

// The title band spans the chart's width; its text is centred in it, and
// drawn whole: a title wider than the chart is drawn smaller.
void BaseChart::drawTitle(DrawArea& d) const {
    if (!m_pTitle)
        return;
    const std::string& text = m_pTitle->getText();
    double size = m_pTitle->getFontSize(), w, h;
    d.textSize(text, m_pTitle->getFont(), size, w, h);
    const double room = m_nWidth - 2.0 * kTitleSide;
    if (w > room && room > 0) {
        size *= room / w;
        d.textSize(text, m_pTitle->getFont(), size, w, h);
    }
    int bandHeight = static_cast<int>(std::ceil(h)) + 2 * kTitleMargin;
    d.rect(0, 0, m_nWidth - 1, bandHeight - 1, m_pTitle->getEdgeColor(), m_pTitle->getBgColor(),
           m_pTitle->getRaisedEffect());
    d.text(text, m_pTitle->getFont(), size, m_nWidth / 2.0, kTitleMargin, m_pTitle->getFontColor(),
           Chart::TopCenter, 0);
}

void BaseChart::drawTexts(DrawArea& d) const {
    for (size_t i = 0; i < m_vTexts.size(); ++i)
        m_vTexts[i]->draw(d, std::round(m_vTextPos[i].first * m_dScale),
                          std::round(m_vTextPos[i].second * m_dScale));
}

// The raised effect is a bevel inside the edge line.
void BaseChart::drawEdge(DrawArea& d) const {
    int inset = Chart::IsVisible(Chart::ResolveColor(m_nEdgeColor, Chart::Transparent)) ? 1 : 0;
    if (m_nRaisedEffect > 0)
        d.rect(inset, inset, m_nWidth - 1 - inset, m_nHeight - 1 - inset, Chart::Transparent,
               Chart::Transparent, m_nRaisedEffect);
    d.rect(0, 0, m_nWidth - 1, m_nHeight - 1, m_nEdgeColor, Chart::Transparent);
}

void BaseChart::paint(DrawArea& d) {
    drawBackground(d);
    drawContent(d);
    drawLegend(d);
    drawTitle(d);
    drawTexts(d);
    drawEdge(d);
}

std::unique_ptr<DrawArea> BaseChart::render() {
    auto d = std::make_unique<DrawArea>(m_nWidth, m_nHeight, Chart::DefaultBackground);
    paint(*d);
    return d;
}

std::string BaseChart::shrinkTo(int w, int h) {
    m_dScale = std::min(static_cast<double>(w) / m_nWidth, static_cast<double>(h) / m_nHeight);
    m_nWidth = std::max(1, static_cast<int>(m_nWidth * m_dScale));
    m_nHeight = std::max(1, static_cast<int>(m_nHeight * m_dScale));
    return "scaled down";
}

// cairo images stop at Chart::MaxImageSide pixels a side: a larger chart is
// fitted into that limit rather than lost, and the user is told.
void BaseChart::fitWithinLimits() {
    if (m_nWidth <= Chart::MaxImageSide && m_nHeight <= Chart::MaxImageSide)
        return;
    int w0 = m_nWidth, h0 = m_nHeight;
    std::string how =
        shrinkTo(std::min(m_nWidth, Chart::MaxImageSide), std::min(m_nHeight, Chart::MaxImageSide));
    std::cout << "Chart of " << w0 << " x " << h0 << " pixels exceeds the image limit of "
              << Chart::MaxImageSide << " pixels a side; drawn at " << m_nWidth << " x "
              << m_nHeight << ", " << how << "." << std::endl;
}

std::unique_ptr<DrawArea> BaseChart::renderWithinLimits() {
    fitWithinLimits();
    return render();
}

DrawArea* BaseChart::makeChart() {
    m_pImage = renderWithinLimits();
    m_vTextExtents = m_pImage->textExtents();
    return m_pImage.get();
}

// A recording has no size limit, but the images written from it have: the
// chart is fitted as for an image, so that its PNG keeps the texts' sizes.
std::unique_ptr<DrawArea> BaseChart::makeDrawing() {
    fitWithinLimits();
    std::unique_ptr<DrawArea> d =
        DrawArea::Recording(m_nWidth, m_nHeight, Chart::DefaultBackground);
    paint(*d);
    m_vTextExtents = d->textExtents();
    return d;
}

bool BaseChart::makeChart(const std::string& filename) {
    const std::string svg = ".svg";
    if (filename.size() > svg.size() &&
        filename.compare(filename.size() - svg.size(), svg.size(), svg) == 0) {
        fitWithinLimits();
        std::unique_ptr<DrawArea> d =
            DrawArea::SvgFile(filename, m_nWidth, m_nHeight, Chart::DefaultBackground);
        paint(*d);
        m_vTextExtents = d->textExtents();
        return d->finishSvg();
    }
    return Chart::WriteFigure(*makeDrawing(), filename);
}

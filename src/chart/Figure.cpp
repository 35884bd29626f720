#include "chart/Figure.h"

#include <algorithm>
#include <cmath>
#include <iostream>

#include "chart/ChartConstants.h"
#include "chart/DrawArea.h"

namespace Chart {

namespace {

FigureFormats g_formats;

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The scale of the PNG: kPngScale unless the image would then exceed the
// largest side an image can have.
double PngScale(const DrawArea& drawing) {
    const double longest = std::max(drawing.getWidth(), drawing.getHeight());
    return std::min(kPngScale, MaxImageSide / longest);
}

}  // namespace

void SetFigureFormats(const FigureFormats& formats) {
    g_formats = formats;
}

FigureFormats GetFigureFormats() {
    return g_formats;
}

bool ParseFigureFormats(const std::string& text, FigureFormats& formats) {
    if (text == "none") {
        formats = FigureFormats{false, false};
        return true;
    }
    FigureFormats f{false, false};
    size_t start = 0;
    while (start <= text.size()) {
        size_t comma = text.find(',', start);
        if (comma == std::string::npos)
            comma = text.size();
        const std::string name = text.substr(start, comma - start);
        if (name == "png" && !f.png)
            f.png = true;
        else if (name == "pdf" && !f.pdf)
            f.pdf = true;
        else
            return false;
        start = comma + 1;
    }
    formats = f;
    return true;
}

std::string PdfTwin(const std::string& pngFile) {
    if (EndsWith(pngFile, ".png"))
        return pngFile.substr(0, pngFile.size() - 4) + ".pdf";
    return pngFile + ".pdf";
}

bool WritePng(const DrawArea& drawing, const std::string& pngFile) {
    const double scale = PngScale(drawing);
    if (scale < kPngScale)
        std::cout << "Chart " << pngFile << " drawn at " << std::lround(96 * scale) << " dpi: at "
                  << std::lround(96 * kPngScale) << " dpi it would exceed the image limit of "
                  << MaxImageSide << " pixels a side." << std::endl;
    return drawing.writePng(pngFile, scale);
}

bool WriteFigure(const DrawArea& drawing, const std::string& pngFile) {
    bool ok = true;
    if (g_formats.png)
        ok = WritePng(drawing, pngFile) && ok;
    if (g_formats.pdf)
        ok = drawing.writePdf(PdfTwin(pngFile)) && ok;
    return ok;
}

}  // namespace Chart

// Writing a drawn chart as figure files: a PNG image and, beside it, a PDF
// twin (same name, ".pdf" in place of ".png") from the same drawing. Which
// of the two are written is one setting of the program (its option -w).
#ifndef BRELO_CHART_FIGURE_H
#define BRELO_CHART_FIGURE_H

#include <string>

class DrawArea;

namespace Chart {

// PNG pixels a layout pixel: the charts are laid out at 96 pixels to the
// inch, their PNG images are written at 192 dots per inch.
constexpr double kPngScale = 2.0;

struct FigureFormats {
    bool png = true;
    bool pdf = true;
};

// The formats written by WriteFigure, both by default.
void SetFigureFormats(const FigureFormats& formats);
FigureFormats GetFigureFormats();

// Reads the value of the option -w: "png", "pdf", "png,pdf" (either order)
// or "none"; false for anything else.
bool ParseFigureFormats(const std::string& text, FigureFormats& formats);

// The PDF beside a PNG: "x.png" gives "x.pdf", any other name gets ".pdf"
// appended.
std::string PdfTwin(const std::string& pngFile);

// Writes a recording (DrawArea::Recording) as a PNG image at kPngScale, or
// at the largest scale the image size limit allows (said on the standard
// output); false when it cannot be written.
bool WritePng(const DrawArea& drawing, const std::string& pngFile);

// Writes a recording as pngFile (WritePng) and its PDF twin
// (DrawArea::writePdf), each only when the formats ask for it. False when a
// file could not be written. A caller that writes under other names (a
// temporary name, say) calls the two writers itself.
bool WriteFigure(const DrawArea& drawing, const std::string& pngFile);

}  // namespace Chart

#endif

// A drawing with the primitives the charts need, in one of two kinds:
//
// - an image (the first constructor): pixels that can be read and changed
//   (getPixel, setPixel, fill, vFlip). Lines and shapes are drawn without
//   anti-aliasing so that regions keep exact colours (the flood fill relies
//   on it); text is anti-aliased.
// - a recording (DrawArea::Recording): the same primitives kept as vector
//   commands, drawn once and then written as a PNG image at any resolution,
//   as a PDF with its text kept as text (fonts embedded) or as SVG. The
//   pixel operations do nothing on it (getPixel returns Chart::Transparent,
//   setPixel paints a one-pixel square).
//
// Positions are in layout pixels (the charts' pixels, 96 to the inch) from
// the top left corner. Both kinds note where every text was drawn (see
// textExtents), so that a chart can be checked for text cut at its edges.
#ifndef BRELO_CHART_DRAWAREA_H
#define BRELO_CHART_DRAWAREA_H

#include <memory>
#include <string>
#include <vector>

#include "chart/ChartConstants.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

namespace Chart {

// Where a text was drawn: the box of its ink and the box of the chart (or
// sub-chart) it belongs to, both in layout pixels of the whole drawing.
struct TextExtent {
    std::string text;
    double left, top, right, bottom;
    double canvasLeft, canvasTop, canvasRight, canvasBottom;
    // The ink lies inside the canvas (within a tolerance of slack pixels).
    bool inside(double slack = 0.5) const {
        return left >= canvasLeft - slack && top >= canvasTop - slack &&
               right <= canvasRight + slack && bottom <= canvasBottom + slack;
    }
};

}  // namespace Chart

class DrawArea {
  public:
    // An image; sides are clamped to 1 .. Chart::MaxImageSide.
    DrawArea(int width, int height, int bgColor = 0xffffff);
    // A recording of width x height layout pixels (at least 1 each).
    static std::unique_ptr<DrawArea> Recording(int width, int height, int bgColor = 0xffffff);
    // An SVG file of width x height layout pixels (one user unit a pixel),
    // drawn into directly; finishSvg() completes it.
    static std::unique_ptr<DrawArea> SvgFile(const std::string& filename, int width, int height,
                                             int bgColor = 0xffffff);
    ~DrawArea();
    DrawArea(const DrawArea&) = delete;
    DrawArea& operator=(const DrawArea&) = delete;

    int getWidth() const { return m_nWidth; }
    int getHeight() const { return m_nHeight; }

    // Colour 0xRRGGBB at (x, y); Chart::Transparent outside the image.
    int getPixel(int x, int y) const;
    void setPixel(int x, int y, int color);
    // Mirrors the image top to bottom.
    void vFlip();
    // Replaces the 4-connected region of the colour of pixel (x, y) by color.
    void fill(int x, int y, int color);
    // Ellipse centred at (cx, cy) with radii rx, ry.
    void circle(int cx, int cy, int rx, int ry, int edgeColor, int fillColor);
    // Writes the image as PNG (96 dpi); false when the file cannot be
    // written, and always for a recording.
    bool out(const std::string& filename);
    bool isVector() const { return m_bVector; }
    // Writes a recording as a PNG image of scale device pixels a layout
    // pixel, marked with its resolution (96 x scale dots per inch).
    bool writePng(const std::string& filename, double scale) const;
    // Writes a recording as a one-page PDF, 0.75 point a layout pixel, its
    // text as text with the fonts embedded.
    bool writePdf(const std::string& filename) const;
    // Completes an SVG file (SvgFile); false, and the file removed, when it
    // could not be written whole.
    bool finishSvg();
    // What follows, until the matching popCanvas, is the drawing of a
    // sub-chart of w x h layout pixels whose top left corner lies at (dx,
    // dy), scaled by scale: it is clipped to that box (recordings only:
    // sub-charts are drawn in place).
    void pushCanvas(double dx, double dy, double w, double h, double scale = 1);
    void popCanvas();
    // Every text drawn so far, in the order drawn.
    const std::vector<Chart::TextExtent>& textExtents() const { return m_vTextExtents; }

    // Primitives in pixel coordinates; (x, y) is the centre of pixel x, y.
    void line(double x1, double y1, double x2, double y2, int color, int width = 1);
    // Lines through the points in order: on a recording one path (one
    // stroke, cheap to replay and small in a PDF), on an image line by line.
    void polyline(const std::vector<double>& x, const std::vector<double>& y, int color,
                  int width = 1);
    // Rectangle covering the pixels x1..x2, y1..y2.
    void rect(int x1, int y1, int x2, int y2, int edgeColor, int fillColor, int raisedEffect = 0);
    void polygon(const std::vector<double>& x, const std::vector<double>& y, int edgeColor,
                 int fillColor);
    // Pie sector centred at (cx, cy), angles in degrees clockwise from 12 o'clock.
    void sector(double cx, double cy, double r, double startAngle, double endAngle, int edgeColor,
                int fillColor);
    // Text whose box point given by alignment lies at (x, y); angle in degrees
    // counter-clockwise. font is a font file name ("times.ttf"...) or "".
    void text(const std::string& str, const std::string& font, double fontSize, double x, double y,
              int color, int alignment = Chart::TopLeft, double angle = 0);
    // Width and height of the unrotated text box.
    void textSize(const std::string& str, const std::string& font, double fontSize, double& w,
                  double& h);
    // The same for any recording, measured before there is one (to lay a
    // chart out).
    static void MeasureText(const std::string& str, const std::string& font, double fontSize,
                            double& w, double& h);
    // Copies another image with its top left corner at (x, y).
    void merge(const DrawArea& src, int x, int y);
    // Copies another image scaled to fit w x h pixels at (x, y).
    void mergeScaled(const DrawArea& src, int x, int y, int w, int h);
    // Draws another image scaled to fill the box w x h whose top left
    // corner lies at (x, y) (in the frame of the primitives below), smoothed
    // or with each of its pixels a sharp rectangle (a raster of map cells);
    // a recording keeps it as one image (in a PDF, an embedded image).
    void image(const DrawArea& src, double x, double y, double w, double h, bool smooth);
    // Restricts drawing to a rectangle of pixels (within the canvas);
    // clearClip lifts it.
    void setClipRect(int x, int y, int w, int h);
    void clearClip();

  private:
    struct RecordingTag {};
    DrawArea(int width, int height, int bgColor, RecordingTag);
    DrawArea(cairo_surface_t* vectorSurface, int width, int height, int bgColor);
    unsigned int* row(int y) const;
    // src scaled into the box w x h at (x, y) in cairo's coordinates.
    void paintImage(const DrawArea& src, double x, double y, double w, double h, bool smooth);
    void setSource(int color);
    void initialise(int bgColor);
    void noteText(const std::string& utf8, double ox, double oy);

    bool m_bVector = false;
    std::string m_sSvgFile;  // the file an SvgFile area draws into
    bool m_bClipped = false;
    std::vector<double> m_vdCanvas;  // left, top, right, bottom of each open canvas
    std::vector<Chart::TextExtent> m_vTextExtents;

    int m_nWidth;
    int m_nHeight;
    cairo_surface_t* m_pSurface;
    cairo_t* m_pCairo;
};

#endif

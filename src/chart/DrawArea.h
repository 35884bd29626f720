// A raster image with the drawing primitives the charts need. Lines and
// shapes are drawn without anti-aliasing so that regions keep exact colours
// (the flood fill relies on it); text is anti-aliased.
//
// A DrawArea can also draw into an SVG file instead of an image: the same
// primitives become vector shapes and text. The pixel operations (getPixel,
// setPixel, fill, vFlip) need an image: on an SVG drawing getPixel returns
// Chart::Transparent, setPixel paints a one-pixel square, fill and vFlip do
// nothing.
#ifndef BRELO_CHART_DRAWAREA_H
#define BRELO_CHART_DRAWAREA_H

#include <string>
#include <vector>

#include "chart/ChartConstants.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

class DrawArea {
  public:
    // Sides are clamped to 1 .. Chart::MaxImageSide.
    DrawArea(int width, int height, int bgColor = 0xffffff);
    // An SVG drawing of width x height pixels written to svgFile (complete
    // once finish() has returned true).
    DrawArea(int width, int height, const std::string& svgFile, int bgColor = 0xffffff);
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
    // Writes the image as PNG; false when the file cannot be written (and
    // always for an SVG drawing).
    bool out(const std::string& filename);
    bool isVector() const { return m_bVector; }
    // Completes an SVG drawing's file: false when it could not be written.
    bool finish();
    // Moves the origin of the drawing that follows by (dx, dy) pixels, until
    // the matching popOrigin (SVG drawings only: sub-charts are drawn in
    // place).
    void pushOrigin(double dx, double dy);
    void popOrigin();

    // Primitives in pixel coordinates; (x, y) is the centre of pixel x, y.
    void line(double x1, double y1, double x2, double y2, int color, int width = 1);
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
    // Copies another image with its top left corner at (x, y).
    void merge(const DrawArea& src, int x, int y);
    // Copies another image scaled to fit w x h pixels at (x, y).
    void mergeScaled(const DrawArea& src, int x, int y, int w, int h);
    // Restricts drawing to a rectangle of pixels; clearClip lifts it.
    void setClipRect(int x, int y, int w, int h);
    void clearClip();

  private:
    unsigned int* row(int y) const;
    void setSource(int color);
    void initialise(int bgColor);

    bool m_bVector = false;

    int m_nWidth;
    int m_nHeight;
    cairo_surface_t* m_pSurface;
    cairo_t* m_pCairo;
};

#endif

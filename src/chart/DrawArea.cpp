#include "chart/DrawArea.h"

#include <cairo-pdf.h>
#include <cairo-svg.h>
#include <cairo.h>
#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <utility>

namespace {

const double kPi = 3.14159265358979323846;
// Font sizes are in points; the images are laid out at 96 pixels per inch.
const double kPixelsPerPoint = 96.0 / 72.0;

int ClampSide(int n) {
    return std::max(1, std::min(n, Chart::MaxImageSide));
}

struct FontFace {
    const char* family;
    cairo_font_slant_t slant;
    cairo_font_weight_t weight;
};

// Maps the font file names the charts use to installed Liberation faces.
FontFace FaceOf(const std::string& font) {
    std::string f;
    for (char c : font)
        f += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    f = f.substr(0, f.find('.'));
    FontFace face{"Liberation Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL};
    std::string style;
    if (f.compare(0, 5, "times") == 0) {
        face.family = "Liberation Serif";
        style = f.substr(5);
    } else if (f.compare(0, 4, "cour") == 0) {
        face.family = "Liberation Mono";
        style = f.substr(4);
    } else if (f.compare(0, 5, "arial") == 0) {
        style = f.substr(5);
    }
    if (style.find('b') != std::string::npos)
        face.weight = CAIRO_FONT_WEIGHT_BOLD;
    if (style.find('i') != std::string::npos)
        face.slant = CAIRO_FONT_SLANT_ITALIC;
    return face;
}

// Horizontal and vertical fractions of the box point named by an alignment.
void AlignmentFractions(int alignment, double& fx, double& fy) {
    int col = (alignment - 1) % 3;  // 0 left, 1 centre, 2 right
    int row = (alignment - 1) / 3;  // 0 bottom, 1 middle, 2 top
    if (alignment < 1 || alignment > 9)
        col = 0, row = 2;
    fx = col * 0.5;
    fy = 1.0 - row * 0.5;
}

// Liang-Barsky: cuts the segment to the rectangle; false when it misses it.
bool ClipSegment(double xmin, double ymin, double xmax, double ymax, double& x1, double& y1,
                 double& x2, double& y2) {
    if (!(std::isfinite(x1) && std::isfinite(y1) && std::isfinite(x2) && std::isfinite(y2)))
        return false;
    double t0 = 0, t1 = 1, dx = x2 - x1, dy = y2 - y1;
    const double p[4] = {-dx, dx, -dy, dy};
    const double q[4] = {x1 - xmin, xmax - x1, y1 - ymin, ymax - y1};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0)
                return false;
            continue;
        }
        double t = q[i] / p[i];
        if (p[i] < 0)
            t0 = std::max(t0, t);
        else
            t1 = std::min(t1, t);
        if (t0 > t1)
            return false;
    }
    double ox = x1, oy = y1;
    if (t1 < 1)
        x2 = ox + t1 * dx, y2 = oy + t1 * dy;
    if (t0 > 0)
        x1 = ox + t0 * dx, y1 = oy + t0 * dy;
    return true;
}

// Length of the well-formed UTF-8 sequence at s[i], 0 if there is none
// (overlong forms, surrogates and code points beyond U+10FFFF included:
// cairo refuses them and then stops drawing altogether).
size_t Utf8Length(const std::string& s, size_t i) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    size_t len = (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (len == 0 || i + len > s.size())
        return 0;
    unsigned long cp = c & (0x7F >> len);
    for (size_t k = 1; k < len; ++k) {
        unsigned char cc = static_cast<unsigned char>(s[i + k]);
        if ((cc >> 6) != 2)
            return 0;
        cp = cp << 6 | (cc & 0x3F);
    }
    const unsigned long minimum[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < minimum[len] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return 0;
    return len;
}

// Text comes in UTF-8 or Latin-1 (the degree sign of some titles is the
// byte 0xB0); cairo wants UTF-8, so stray bytes are read as Latin-1.
std::string ToUtf8(const std::string& s) {
    std::string out;
    size_t i = 0;
    while (i < s.size()) {
        size_t len = Utf8Length(s, i);
        if (len > 0) {
            out.append(s, i, len);
            i += len;
            continue;
        }
        unsigned char c = static_cast<unsigned char>(s[i++]);
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

// Writes the rows of an RGB24 image surface to an open PNG writer, with the
// resolution in the pHYs chunk; false when libpng fails (it jumps back here
// then, so nothing that needs destroying lives in this frame).
bool WritePngRows(png_structp png, png_infop info, cairo_surface_t* image, double dpi,
                  png_byte* rgb) {
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    const int w = cairo_image_surface_get_width(image), h = cairo_image_surface_get_height(image);
    const int stride = cairo_image_surface_get_stride(image);
    const unsigned char* data = cairo_image_surface_get_data(image);
    png_set_IHDR(png, info, w, h, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    const png_uint_32 perMetre = static_cast<png_uint_32>(std::lround(dpi / 0.0254));
    png_set_pHYs(png, info, perMetre, perMetre, PNG_RESOLUTION_METER);
    // Charts are large flat areas of a few colours: the "left neighbour"
    // filter with a light deflate keeps them small (about 100 kB at 2400
    // pixels) in a quarter of the time libpng's defaults take (a trial of
    // every filter on every row, then a full deflate).
    png_set_filter(png, PNG_FILTER_TYPE_BASE, PNG_FILTER_SUB);
    png_set_compression_strategy(png, Z_FILTERED);
    png_set_compression_level(png, 3);
    png_write_info(png, info);
    for (int y = 0; y < h; ++y) {
        // cairo's pixels are 32-bit words 0x00RRGGBB in the machine's order.
        const uint32_t* src = reinterpret_cast<const uint32_t*>(data + y * stride);
        for (int x = 0; x < w; ++x) {
            rgb[3 * x] = static_cast<png_byte>(src[x] >> 16);
            rgb[3 * x + 1] = static_cast<png_byte>(src[x] >> 8);
            rgb[3 * x + 2] = static_cast<png_byte>(src[x]);
        }
        png_write_row(png, rgb);
    }
    png_write_end(png, info);
    return true;
}

// Writes an RGB24 image surface as PNG through libpng, with its resolution
// (cairo's own writer leaves it out, and a page layout program then takes
// the image for 72 dpi). False when the file cannot be written; a partly
// written file is removed.
bool WritePngFile(cairo_surface_t* image, const std::string& filename, double dpi) {
    cairo_surface_flush(image);
    if (!cairo_image_surface_get_data(image))
        return false;
    std::vector<png_byte> rgb(3 * static_cast<size_t>(cairo_image_surface_get_width(image)));
    FILE* fp = std::fopen(filename.c_str(), "wb");
    if (!fp)
        return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (ok) {
        png_init_io(png, fp);
        ok = WritePngRows(png, info, image, dpi, rgb.data());
    }
    png_destroy_write_struct(&png, &info);
    ok = std::fclose(fp) == 0 && ok;
    if (!ok)
        std::remove(filename.c_str());
    return ok;
}

// Paints a recording onto another surface, scaled, and reports whether
// that surface is still sound.
bool Replay(cairo_surface_t* recording, cairo_surface_t* target, double scale) {
    cairo_t* cr = cairo_create(target);
    cairo_scale(cr, scale, scale);
    cairo_set_source_surface(cr, recording, 0, 0);
    cairo_paint(cr);
    const bool ok = cairo_status(cr) == CAIRO_STATUS_SUCCESS;
    cairo_destroy(cr);
    return ok && cairo_surface_status(target) == CAIRO_STATUS_SUCCESS;
}

}  // namespace

DrawArea::DrawArea(int width, int height, int bgColor)
    : m_nWidth(ClampSide(width)), m_nHeight(ClampSide(height)) {
    m_pSurface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, m_nWidth, m_nHeight);
    initialise(bgColor);
}

DrawArea::DrawArea(int width, int height, int bgColor, RecordingTag)
    : m_bVector(true), m_nWidth(std::max(1, width)), m_nHeight(std::max(1, height)) {
    cairo_rectangle_t extents{0, 0, static_cast<double>(m_nWidth), static_cast<double>(m_nHeight)};
    m_pSurface = cairo_recording_surface_create(CAIRO_CONTENT_COLOR, &extents);
    initialise(bgColor);
}

std::unique_ptr<DrawArea> DrawArea::Recording(int width, int height, int bgColor) {
    return std::unique_ptr<DrawArea>(new DrawArea(width, height, bgColor, RecordingTag()));
}

// SVG is drawn straight into its file: replaying a recording into cairo's
// SVG surface keeps the recording alive for ever (a reference cycle of
// snapshots inside cairo).
DrawArea::DrawArea(cairo_surface_t* vectorSurface, int width, int height, int bgColor)
    : m_bVector(true), m_nWidth(width), m_nHeight(height) {
    m_pSurface = vectorSurface;
    initialise(bgColor);
}

std::unique_ptr<DrawArea> DrawArea::SvgFile(const std::string& filename, int width, int height,
                                            int bgColor) {
    width = std::max(1, width);
    height = std::max(1, height);
    cairo_surface_t* svg = cairo_svg_surface_create(filename.c_str(), width, height);
    // One user unit is one layout pixel, as in the image.
    cairo_svg_surface_set_document_unit(svg, CAIRO_SVG_UNIT_PX);
    std::unique_ptr<DrawArea> d(new DrawArea(svg, width, height, bgColor));
    d->m_sSvgFile = filename;
    return d;
}

void DrawArea::initialise(int bgColor) {
    m_pCairo = cairo_create(m_pSurface);
    m_vdCanvas = {0, 0, static_cast<double>(m_nWidth), static_cast<double>(m_nHeight)};
    cairo_set_antialias(m_pCairo, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    if (m_bVector) {
        // Text laid out once for every resolution: glyph advances and shapes
        // are not fitted to the pixels of the layout.
        cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_NONE);
    }
    cairo_set_font_options(m_pCairo, options);
    cairo_font_options_destroy(options);
    int bg = Chart::ResolveColor(bgColor, Chart::DefaultBackground);
    rect(0, 0, m_nWidth - 1, m_nHeight - 1, Chart::Transparent,
         Chart::IsVisible(bg) ? bg : Chart::DefaultBackground);
}

DrawArea::~DrawArea() {
    cairo_destroy(m_pCairo);
    cairo_surface_destroy(m_pSurface);
}

unsigned int* DrawArea::row(int y) const {
    unsigned char* data = cairo_image_surface_get_data(m_pSurface);
    return reinterpret_cast<unsigned int*>(data + y * cairo_image_surface_get_stride(m_pSurface));
}

void DrawArea::setSource(int color) {
    unsigned int c = static_cast<unsigned int>(color);
    double alpha = 1.0 - ((c >> 24) & 0xff) / 255.0;
    cairo_set_source_rgba(m_pCairo, ((c >> 16) & 0xff) / 255.0, ((c >> 8) & 0xff) / 255.0,
                          (c & 0xff) / 255.0, alpha);
}

int DrawArea::getPixel(int x, int y) const {
    if (m_bVector || x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight)
        return Chart::Transparent;
    cairo_surface_flush(m_pSurface);
    return static_cast<int>(row(y)[x] & 0xffffff);
}

void DrawArea::setPixel(int x, int y, int color) {
    color = Chart::ResolveColor(color, Chart::DefaultLine);
    if (x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight || !Chart::IsVisible(color))
        return;
    if (m_bVector) {
        rect(x, y, x, y, Chart::Transparent, color);
        return;
    }
    cairo_surface_flush(m_pSurface);
    row(y)[x] = static_cast<unsigned int>(color) & 0xffffff;
    cairo_surface_mark_dirty_rectangle(m_pSurface, x, y, 1, 1);
}

void DrawArea::vFlip() {
    if (m_bVector)
        return;
    cairo_surface_flush(m_pSurface);
    size_t bytes = static_cast<size_t>(m_nWidth) * sizeof(unsigned int);
    std::vector<unsigned int> tmp(m_nWidth);
    for (int top = 0, bottom = m_nHeight - 1; top < bottom; ++top, --bottom) {
        std::memcpy(tmp.data(), row(top), bytes);
        std::memcpy(row(top), row(bottom), bytes);
        std::memcpy(row(bottom), tmp.data(), bytes);
    }
    cairo_surface_mark_dirty(m_pSurface);
}

// Scan-line flood fill with an explicit stack: a large region cannot
// overflow the call stack.
void DrawArea::fill(int x, int y, int color) {
    color = Chart::ResolveColor(color, Chart::DefaultLine);
    if (m_bVector || x < 0 || y < 0 || x >= m_nWidth || y >= m_nHeight || !Chart::IsVisible(color))
        return;
    cairo_surface_flush(m_pSurface);
    const unsigned int target = row(y)[x] & 0xffffff;
    const unsigned int paint = static_cast<unsigned int>(color) & 0xffffff;
    if (target == paint)
        return;
    auto matches = [&](int px, int py) { return (row(py)[px] & 0xffffff) == target; };
    std::vector<std::pair<int, int>> stack{{x, y}};
    while (!stack.empty()) {
        auto [sx, sy] = stack.back();
        stack.pop_back();
        if (!matches(sx, sy))
            continue;
        int left = sx, right = sx;
        while (left > 0 && matches(left - 1, sy))
            --left;
        while (right < m_nWidth - 1 && matches(right + 1, sy))
            ++right;
        unsigned int* r = row(sy);
        for (int i = left; i <= right; ++i)
            r[i] = paint;
        for (int ny : {sy - 1, sy + 1}) {
            if (ny < 0 || ny >= m_nHeight)
                continue;
            // One seed per run of matching pixels in the neighbouring row.
            bool inRun = false;
            for (int i = left; i <= right; ++i) {
                bool m = matches(i, ny);
                if (m && !inRun)
                    stack.push_back({i, ny});
                inRun = m;
            }
        }
    }
    cairo_surface_mark_dirty(m_pSurface);
}

void DrawArea::circle(int cx, int cy, int rx, int ry, int edgeColor, int fillColor) {
    if (rx <= 0 || ry <= 0) {
        setPixel(cx, cy, Chart::IsVisible(edgeColor) ? edgeColor : fillColor);
        return;
    }
    cairo_save(m_pCairo);
    cairo_translate(m_pCairo, cx + 0.5, cy + 0.5);
    cairo_scale(m_pCairo, rx, ry);
    cairo_arc(m_pCairo, 0, 0, 1, 0, 2 * kPi);
    cairo_restore(m_pCairo);
    int fill = Chart::ResolveColor(fillColor, Chart::Transparent);
    int edge = Chart::ResolveColor(edgeColor, Chart::Transparent);
    if (Chart::IsVisible(fill)) {
        setSource(fill);
        cairo_fill_preserve(m_pCairo);
    }
    if (Chart::IsVisible(edge)) {
        setSource(edge);
        cairo_set_line_width(m_pCairo, 1);
        cairo_stroke_preserve(m_pCairo);
    }
    cairo_new_path(m_pCairo);
}

// One-pixel lines are drawn by Bresenham's algorithm between the pixels
// nearest to the two ends: the result is 8-connected and two lines that
// share an end share its pixel, so the regions they bound are closed for a
// 4-connected fill.
void DrawArea::line(double x1, double y1, double x2, double y2, int color, int width) {
    color = Chart::ResolveColor(color, Chart::DefaultLine);
    if (!Chart::IsVisible(color))
        return;
    if (width > 1 || m_bVector) {
        // A vector line covers the same pixels as the one drawn pixel by
        // pixel: square caps reach the centres' outer edges.
        setSource(color);
        cairo_set_line_cap(m_pCairo, m_bVector ? CAIRO_LINE_CAP_SQUARE : CAIRO_LINE_CAP_BUTT);
        cairo_set_line_width(m_pCairo, width);
        cairo_move_to(m_pCairo, x1 + 0.5, y1 + 0.5);
        cairo_line_to(m_pCairo, x2 + 0.5, y2 + 0.5);
        cairo_stroke(m_pCairo);
        return;
    }
    double cx0, cy0, cx1, cy1;
    cairo_clip_extents(m_pCairo, &cx0, &cy0, &cx1, &cy1);
    if (!ClipSegment(cx0 - 1, cy0 - 1, cx1, cy1, x1, y1, x2, y2))
        return;
    long ax = std::lround(x1), ay = std::lround(y1), bx = std::lround(x2), by = std::lround(y2);
    long dx = std::labs(bx - ax), dy = -std::labs(by - ay);
    long stepX = ax < bx ? 1 : -1, stepY = ay < by ? 1 : -1;
    long err = dx + dy;
    cairo_surface_flush(m_pSurface);
    unsigned int paint = static_cast<unsigned int>(color) & 0xffffff;
    double alpha = 1.0 - ((static_cast<unsigned int>(color) >> 24) & 0xff) / 255.0;
    for (;;) {
        if (ax >= cx0 && ax < cx1 && ay >= cy0 && ay < cy1) {
            unsigned int& p = row(static_cast<int>(ay))[ax];
            if (alpha >= 1.0) {
                p = paint;
            } else {
                unsigned int mixed = 0;
                for (int shift = 0; shift <= 16; shift += 8) {
                    double a = (paint >> shift) & 0xff, b = (p >> shift) & 0xff;
                    mixed |= static_cast<unsigned int>(std::lround(alpha * a + (1 - alpha) * b))
                             << shift;
                }
                p = mixed;
            }
        }
        if (ax == bx && ay == by)
            break;
        long e2 = 2 * err;
        if (e2 >= dy)
            err += dy, ax += stepX;
        if (e2 <= dx)
            err += dx, ay += stepY;
    }
    cairo_surface_mark_dirty(m_pSurface);
}

void DrawArea::polyline(const std::vector<double>& x, const std::vector<double>& y, int color,
                        int width) {
    const size_t n = std::min(x.size(), y.size());
    color = Chart::ResolveColor(color, Chart::DefaultLine);
    if (n == 0 || !Chart::IsVisible(color))
        return;
    if (!m_bVector || n == 1) {
        for (size_t i = 0; i < n; ++i)
            line(x[i > 0 ? i - 1 : 0], y[i > 0 ? i - 1 : 0], x[i], y[i], color, width);
        return;
    }
    setSource(color);
    cairo_set_line_cap(m_pCairo, CAIRO_LINE_CAP_SQUARE);
    cairo_set_line_join(m_pCairo, CAIRO_LINE_JOIN_ROUND);
    cairo_set_line_width(m_pCairo, width);
    cairo_move_to(m_pCairo, x[0] + 0.5, y[0] + 0.5);
    for (size_t i = 1; i < n; ++i)
        cairo_line_to(m_pCairo, x[i] + 0.5, y[i] + 0.5);
    cairo_stroke(m_pCairo);
}

void DrawArea::rect(int x1, int y1, int x2, int y2, int edgeColor, int fillColor,
                    int raisedEffect) {
    if (x2 < x1)
        std::swap(x1, x2);
    if (y2 < y1)
        std::swap(y1, y2);
    int fill = Chart::ResolveColor(fillColor, Chart::Transparent);
    if (Chart::IsVisible(fill)) {
        setSource(fill);
        cairo_rectangle(m_pCairo, x1, y1, x2 - x1 + 1, y2 - y1 + 1);
        cairo_fill(m_pCairo);
    }
    // A raised box: lighter top and left, darker bottom and right.
    for (int i = 0; i < raisedEffect && x1 + i < x2 - i && y1 + i < y2 - i; ++i) {
        line(x1 + i, y1 + i, x2 - i, y1 + i, 0x80ffffff);
        line(x1 + i, y1 + i, x1 + i, y2 - i, 0x80ffffff);
        line(x1 + i, y2 - i, x2 - i, y2 - i, 0x80000000);
        line(x2 - i, y1 + i, x2 - i, y2 - i, 0x80000000);
    }
    int edge = Chart::ResolveColor(edgeColor, Chart::Transparent);
    if (Chart::IsVisible(edge)) {
        line(x1, y1, x2, y1, edge);
        line(x2, y1, x2, y2, edge);
        line(x2, y2, x1, y2, edge);
        line(x1, y2, x1, y1, edge);
    }
}

void DrawArea::polygon(const std::vector<double>& x, const std::vector<double>& y, int edgeColor,
                       int fillColor) {
    size_t n = std::min(x.size(), y.size());
    if (n == 0)
        return;
    int fill = Chart::ResolveColor(fillColor, Chart::Transparent);
    if (Chart::IsVisible(fill)) {
        cairo_move_to(m_pCairo, x[0] + 0.5, y[0] + 0.5);
        for (size_t i = 1; i < n; ++i)
            cairo_line_to(m_pCairo, x[i] + 0.5, y[i] + 0.5);
        cairo_close_path(m_pCairo);
        setSource(fill);
        cairo_fill(m_pCairo);
    }
    int edge = Chart::ResolveColor(edgeColor, Chart::Transparent);
    if (Chart::IsVisible(edge))
        for (size_t i = 0; i < n; ++i)
            line(x[i], y[i], x[(i + 1) % n], y[(i + 1) % n], edge);
}

void DrawArea::sector(double cx, double cy, double r, double startAngle, double endAngle,
                      int edgeColor, int fillColor) {
    // Clockwise from 12 o'clock in the chart's terms is clockwise from -90
    // degrees in cairo's y-down frame.
    double a0 = (startAngle - 90) * kPi / 180, a1 = (endAngle - 90) * kPi / 180;
    auto path = [&] {
        cairo_move_to(m_pCairo, cx + 0.5, cy + 0.5);
        cairo_arc(m_pCairo, cx + 0.5, cy + 0.5, r, a0, a1);
        cairo_close_path(m_pCairo);
    };
    int fill = Chart::ResolveColor(fillColor, Chart::Transparent);
    if (Chart::IsVisible(fill)) {
        path();
        setSource(fill);
        cairo_fill(m_pCairo);
    }
    int edge = Chart::ResolveColor(edgeColor, Chart::Transparent);
    if (Chart::IsVisible(edge)) {
        path();
        setSource(edge);
        cairo_set_line_width(m_pCairo, 1);
        cairo_stroke(m_pCairo);
    }
}

void DrawArea::textSize(const std::string& str, const std::string& font, double fontSize, double& w,
                        double& h) {
    FontFace face = FaceOf(font);
    cairo_select_font_face(m_pCairo, face.family, face.slant, face.weight);
    cairo_set_font_size(m_pCairo, fontSize * kPixelsPerPoint);
    cairo_text_extents_t te;
    cairo_text_extents(m_pCairo, ToUtf8(str).c_str(), &te);
    cairo_font_extents_t fe;
    cairo_font_extents(m_pCairo, &fe);
    w = te.x_advance;
    h = fe.ascent + fe.descent;
}

void DrawArea::MeasureText(const std::string& str, const std::string& font, double fontSize,
                           double& w, double& h) {
    static thread_local std::unique_ptr<DrawArea> scratch = Recording(1, 1);
    scratch->textSize(str, font, fontSize, w, h);
}

void DrawArea::text(const std::string& str, const std::string& font, double fontSize, double x,
                    double y, int color, int alignment, double angle) {
    color = Chart::ResolveColor(color, Chart::DefaultText);
    if (!Chart::IsVisible(color) || str.empty() || fontSize <= 0)
        return;
    std::string utf8 = ToUtf8(str);
    double w, h;
    textSize(utf8, font, fontSize, w, h);
    cairo_font_extents_t fe;
    cairo_font_extents(m_pCairo, &fe);
    double fx, fy;
    AlignmentFractions(alignment, fx, fy);
    cairo_save(m_pCairo);
    cairo_translate(m_pCairo, x, y);
    cairo_rotate(m_pCairo, -angle * kPi / 180);
    cairo_move_to(m_pCairo, -fx * w, -fy * h + fe.ascent);
    noteText(utf8, -fx * w, -fy * h + fe.ascent);
    setSource(color);
    cairo_show_text(m_pCairo, utf8.c_str());
    cairo_new_path(m_pCairo);
    cairo_restore(m_pCairo);
}

// The ink box of the text about to be drawn from (ox, oy) in the current
// user space, turned into the drawing's own pixels.
void DrawArea::noteText(const std::string& utf8, double ox, double oy) {
    cairo_text_extents_t te;
    cairo_text_extents(m_pCairo, utf8.c_str(), &te);
    if (te.width <= 0 || te.height <= 0)
        return;
    Chart::TextExtent e{utf8, 1e300, 1e300, -1e300, -1e300, 0, 0, 0, 0};
    for (int corner = 0; corner < 4; ++corner) {
        double x = ox + te.x_bearing + (corner & 1 ? te.width : 0);
        double y = oy + te.y_bearing + (corner & 2 ? te.height : 0);
        cairo_user_to_device(m_pCairo, &x, &y);
        e.left = std::min(e.left, x), e.right = std::max(e.right, x);
        e.top = std::min(e.top, y), e.bottom = std::max(e.bottom, y);
    }
    const size_t c = m_vdCanvas.size() - 4;
    e.canvasLeft = m_vdCanvas[c], e.canvasTop = m_vdCanvas[c + 1];
    e.canvasRight = m_vdCanvas[c + 2], e.canvasBottom = m_vdCanvas[c + 3];
    m_vTextExtents.push_back(e);
}

void DrawArea::merge(const DrawArea& src, int x, int y) {
    cairo_surface_flush(src.m_pSurface);
    cairo_set_source_surface(m_pCairo, src.m_pSurface, x, y);
    cairo_paint(m_pCairo);
}

void DrawArea::mergeScaled(const DrawArea& src, int x, int y, int w, int h) {
    paintImage(src, x, y, w, h, true);
}

void DrawArea::image(const DrawArea& src, double x, double y, double w, double h, bool smooth) {
    paintImage(src, x + 0.5, y + 0.5, w, h, smooth);
}

void DrawArea::paintImage(const DrawArea& src, double x, double y, double w, double h,
                          bool smooth) {
    cairo_surface_flush(src.m_pSurface);
    cairo_save(m_pCairo);
    cairo_translate(m_pCairo, x, y);
    cairo_scale(m_pCairo, w / src.m_nWidth, h / src.m_nHeight);
    cairo_set_source_surface(m_pCairo, src.m_pSurface, 0, 0);
    cairo_pattern_set_filter(cairo_get_source(m_pCairo),
                             smooth ? CAIRO_FILTER_GOOD : CAIRO_FILTER_NEAREST);
    // The pixels at the border are not blended with what lies outside.
    cairo_pattern_set_extend(cairo_get_source(m_pCairo), CAIRO_EXTEND_PAD);
    cairo_rectangle(m_pCairo, 0, 0, src.m_nWidth, src.m_nHeight);
    cairo_fill(m_pCairo);
    cairo_restore(m_pCairo);
}

// The clip is set inside a saved state, so that lifting it restores the
// clip of the canvas around it.
void DrawArea::setClipRect(int x, int y, int w, int h) {
    clearClip();
    cairo_save(m_pCairo);
    m_bClipped = true;
    cairo_rectangle(m_pCairo, x, y, std::max(w, 0), std::max(h, 0));
    cairo_clip(m_pCairo);
}

void DrawArea::clearClip() {
    if (!m_bClipped)
        return;
    cairo_restore(m_pCairo);
    m_bClipped = false;
}

bool DrawArea::out(const std::string& filename) {
    if (m_bVector)
        return false;
    return WritePngFile(m_pSurface, filename, 96);
}

bool DrawArea::writePng(const std::string& filename, double scale) const {
    if (!m_bVector || !(scale > 0))
        return false;
    const int w = ClampSide(static_cast<int>(std::ceil(m_nWidth * scale - 1e-9)));
    const int h = ClampSide(static_cast<int>(std::ceil(m_nHeight * scale - 1e-9)));
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w, h);
    bool ok = Replay(m_pSurface, image, scale) && WritePngFile(image, filename, 96 * scale);
    cairo_surface_destroy(image);
    return ok;
}

bool DrawArea::writePdf(const std::string& filename) const {
    if (!m_bVector)
        return false;
    const double pointsPerPixel = 72.0 / 96.0;
    cairo_surface_t* pdf = cairo_pdf_surface_create(filename.c_str(), m_nWidth * pointsPerPixel,
                                                    m_nHeight * pointsPerPixel);
    // No creation date: the same chart gives the same file.
    cairo_pdf_surface_set_metadata(pdf, CAIRO_PDF_METADATA_CREATE_DATE, "");
    bool ok = Replay(m_pSurface, pdf, pointsPerPixel);
    cairo_surface_finish(pdf);
    ok = ok && cairo_surface_status(pdf) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(pdf);
    if (!ok)
        std::remove(filename.c_str());
    return ok;
}

bool DrawArea::finishSvg() {
    if (m_sSvgFile.empty())
        return false;
    cairo_surface_finish(m_pSurface);
    const bool ok = cairo_surface_status(m_pSurface) == CAIRO_STATUS_SUCCESS;
    if (!ok)
        std::remove(m_sSvgFile.c_str());
    m_sSvgFile.clear();
    return ok;
}

void DrawArea::pushCanvas(double dx, double dy, double w, double h, double scale) {
    cairo_save(m_pCairo);
    cairo_translate(m_pCairo, dx, dy);
    cairo_scale(m_pCairo, scale, scale);
    cairo_rectangle(m_pCairo, 0, 0, w, h);
    cairo_clip(m_pCairo);
    double x0 = 0, y0 = 0, x1 = w, y1 = h;
    cairo_user_to_device(m_pCairo, &x0, &y0);
    cairo_user_to_device(m_pCairo, &x1, &y1);
    m_vdCanvas.insert(m_vdCanvas.end(), {x0, y0, x1, y1});
}

void DrawArea::popCanvas() {
    if (m_vdCanvas.size() <= 4)
        return;
    cairo_restore(m_pCairo);
    m_vdCanvas.resize(m_vdCanvas.size() - 4);
}

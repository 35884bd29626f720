// Reads a PNG file back for the chart tests, in the charts' own pixels: an
// image written at 192 dpi has two pixels a side for each pixel of the
// chart's layout (96 dpi), and pixel(x, y) reads the layout pixel (x, y).
#ifndef BRELO_TESTS_CHART_PNGIMAGE_H
#define BRELO_TESTS_CHART_PNGIMAGE_H

#include <cairo.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <string>

class PngImage {
  public:
    explicit PngImage(const std::string& file)
        : m_pSurface(cairo_image_surface_create_from_png(file.c_str())),
          m_dDpi(ReadDpi(file)),
          m_nScale(std::max(1, static_cast<int>(std::lround(m_dDpi / 96)))) {}
    ~PngImage() { cairo_surface_destroy(m_pSurface); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    bool ok() const { return cairo_surface_status(m_pSurface) == CAIRO_STATUS_SUCCESS; }
    // Resolution recorded in the file (0 when it has none).
    double dpi() const { return m_dDpi; }
    // Image pixels a layout pixel.
    int scale() const { return m_nScale; }
    int imageWidth() const { return ok() ? cairo_image_surface_get_width(m_pSurface) : 0; }
    int imageHeight() const { return ok() ? cairo_image_surface_get_height(m_pSurface) : 0; }
    // Size in layout pixels.
    int width() const { return imageWidth() / m_nScale; }
    int height() const { return imageHeight() / m_nScale; }
    // 0xRRGGBB of layout pixel (x, y), or -1 outside the image.
    int pixel(int x, int y) const { return imagePixel(x * m_nScale, y * m_nScale); }
    // 0xRRGGBB of image pixel (x, y), or -1 outside the image.
    int imagePixel(int x, int y) const {
        if (!ok() || x < 0 || y < 0 || x >= imageWidth() || y >= imageHeight())
            return -1;
        const unsigned char* data = cairo_image_surface_get_data(m_pSurface);
        int stride = cairo_image_surface_get_stride(m_pSurface);
        return static_cast<int>(reinterpret_cast<const unsigned int*>(data + y * stride)[x] &
                                0xffffff);
    }
    // Number of layout pixels of a colour in column x between rows y0 and y1.
    int countInColumn(int x, int y0, int y1, int color) const {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            n += pixel(x, y) == color;
        return n;
    }

  private:
    // The resolution of the pHYs chunk, in dots per inch; 0 without one.
    static double ReadDpi(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        auto word = [&](size_t at) {
            unsigned long v = 0;
            for (size_t i = 0; i < 4; ++i)
                v = v << 8 | static_cast<unsigned char>(bytes[at + i]);
            return v;
        };
        for (size_t at = 8; at + 8 <= bytes.size();) {
            const unsigned long length = word(at);
            if (bytes.compare(at + 4, 4, "pHYs") == 0 && at + 17 <= bytes.size() &&
                bytes[at + 16] == 1)
                return word(at + 8) * 0.0254;
            at += 12 + length;
        }
        return 0;
    }

    cairo_surface_t* m_pSurface;
    double m_dDpi;
    int m_nScale;
};

#endif

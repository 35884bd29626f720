// Reads a PNG file back for the chart tests.
#ifndef BRELO_TESTS_CHART_PNGIMAGE_H
#define BRELO_TESTS_CHART_PNGIMAGE_H

#include <cairo.h>

#include <string>

class PngImage {
  public:
    explicit PngImage(const std::string& file)
        : m_pSurface(cairo_image_surface_create_from_png(file.c_str())) {}
    ~PngImage() { cairo_surface_destroy(m_pSurface); }
    PngImage(const PngImage&) = delete;
    PngImage& operator=(const PngImage&) = delete;

    bool ok() const { return cairo_surface_status(m_pSurface) == CAIRO_STATUS_SUCCESS; }
    int width() const { return ok() ? cairo_image_surface_get_width(m_pSurface) : 0; }
    int height() const { return ok() ? cairo_image_surface_get_height(m_pSurface) : 0; }
    // 0xRRGGBB, or -1 outside the image.
    int pixel(int x, int y) const {
        if (!ok() || x < 0 || y < 0 || x >= width() || y >= height())
            return -1;
        const unsigned char* data = cairo_image_surface_get_data(m_pSurface);
        int stride = cairo_image_surface_get_stride(m_pSurface);
        return static_cast<int>(reinterpret_cast<const unsigned int*>(data + y * stride)[x] &
                                0xffffff);
    }
    // Number of pixels of a colour in column x between rows y0 and y1.
    int countInColumn(int x, int y0, int y1, int color) const {
        int n = 0;
        for (int y = y0; y <= y1; ++y)
            n += pixel(x, y) == color;
        return n;
    }

  private:
    cairo_surface_t* m_pSurface;
};

#endif

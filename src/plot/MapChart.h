// What the maps of this folder share (membership map, map of the admixture
// proportions, predicted map): a chart whose plot area shows a box of the
// plane at one scale on both axes, with the map itself painted over the
// plot area as shapes (cells, pies, sites) or as an image of raster cells.
#ifndef BRELO_PLOT_MAPCHART_H
#define BRELO_PLOT_MAPCHART_H

#include <functional>
#include <string>
#include <vector>

#include "chart/Chart.h"
#include "core/VectorUtilities.h"
#include "voronoi/VoronoiCells.h"

class CMapChart : public XYChart {
  public:
    using Painter = std::function<void(DrawArea&, const CMapChart&)>;

    CMapChart(int width, int height, int bgColor, int edgeColor, int raisedEffect)
        : XYChart(width, height, bgColor, edgeColor, raisedEffect) {}

    // What lies on the map, painted clipped to the plot area, and what is
    // painted after it anywhere on the chart (a legend).
    void setMapPainter(Painter painter) { m_fnMap = std::move(painter); }
    void setOverPainter(Painter painter) { m_fnOver = std::move(painter); }

    // The box x0..x1, y0..y1 of the plane shown, exactly, by the plot area.
    // Its points are moved by shift (the data's own coordinates are the
    // plane's minus shift): the axes, labelled in the data's own coordinates
    // with their names, or showing their line only.
    void setPlane(double x0, double x1, double y0, double y1, double shiftX = 0, double shiftY = 0,
                  bool labelled = false);

    // The pixel of a point of the plane.
    double px(double x) const { return getXCoor(x - m_dShiftX); }
    double py(double y) const { return getYCoor(y - m_dShiftY); }

  protected:
    void drawContent(DrawArea& d) override;

  private:
    Painter m_fnMap, m_fnOver;
    double m_dShiftX = 0, m_dShiftY = 0;
};

namespace MapStyle {

constexpr int kWhite = 0xffffff;
constexpr int kBlack = 0x000000;
constexpr int kCellLine = 0x808080;

// Plot area of a box W x H: the shorter side shortSide pixels, the longer
// one in proportion, at most longest pixels (the shorter side then gives
// way).
void PlotAreaSize(double W, double H, int shortSide, int longest, int& nW, int& nH);

// color seen through an opacity in 0..1 over white.
int OverWhite(int color, double opacity);

// Fills polygon (points of the plane).
void FillCell(DrawArea& d, const CMapChart& c, const CELL_POLYGON& polygon, int fillColor);
// Draws the sides of polygon that do not lie on the border of the box
// x0..x1, y0..y1 (the plot area's own edges are the axes').
void DrawCellSides(DrawArea& d, const CMapChart& c, const CELL_POLYGON& polygon, double x0,
                   double x1, double y0, double y1, int color);

// A round mark of radius r pixels at (the pixel nearest to) a point of
// the plane.
void SiteMark(DrawArea& d, const CMapChart& c, double x, double y, int r, int edgeColor,
              int fillColor);

// The keys "Cluster 1" ... "Cluster K" in the clusters' colours, a column
// from (x, y); its width and height in pixels.
int ClusterKeysWidth(int K);
int ClusterKeysHeight(int K);
void DrawClusterKeys(DrawArea& d, double x, double y, int K);

// Writes the chart; "Unable to make chart - " + function on the error
// stream and -1 when it cannot.
int WriteMap(BaseChart& c, const std::string& file, const std::string& function);

}  // namespace MapStyle

#endif

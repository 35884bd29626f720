// The cells of the tessellation as polygons: what the maps paint, so that a
// cell is one filled shape in a PNG and in a PDF alike.
#ifndef BRELO_VORONOI_VORONOICELLS_H
#define BRELO_VORONOI_VORONOICELLS_H

#include <vector>

#include "voronoi/FortuneStructures.h"

typedef std::vector<SPosition> CELL_POLYGON;

// The cell of every site of vptX (indexed by m_nIndex) within the box
// (xmin, xmax, ymin, ymax): the box cut, for each edge of veVoronoi that
// separates the site from another, by the bisector of the two sites, on the
// site's side. Its corners run counter-clockwise. A site dropped from the
// tessellation (vbKeep false) or outside the box gets an empty polygon.
std::vector<CELL_POLYGON> GetCellPolygons(const std::vector<SPoint>& vptX,
                                          const std::vector<bool>& vbKeep,
                                          const std::vector<CEdge>& veVoronoi, double xmin,
                                          double xmax, double ymin, double ymax);

#endif

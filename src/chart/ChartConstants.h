// Colours, alignments, symbols and layer modes understood by the charting
// layer. Colours are 0xRRGGBB integers; the top byte is a transparency
// (0x00 opaque .. 0xff invisible), and a few values with the top bytes
// 0xffff stand for colours chosen by the chart.
#ifndef BRELO_CHART_CHARTCONSTANTS_H
#define BRELO_CHART_CHARTCONSTANTS_H

namespace Chart {

constexpr int Transparent = static_cast<int>(0xff000000u);
constexpr int BackgroundColor = static_cast<int>(0xffff0000u);
constexpr int LineColor = static_cast<int>(0xffff0001u);
constexpr int TextColor = static_cast<int>(0xffff0002u);

// What the special colours above resolve to.
constexpr int DefaultBackground = 0xffffff;
constexpr int DefaultLine = 0x000000;
constexpr int DefaultText = 0x000000;

// Text box reference points, laid out as on a numeric keypad.
constexpr int BottomLeft = 1;
constexpr int BottomCenter = 2;
constexpr int BottomRight = 3;
constexpr int Left = 4;
constexpr int Center = 5;
constexpr int Right = 6;
constexpr int TopLeft = 7;
constexpr int TopCenter = 8;
constexpr int TopRight = 9;
constexpr int Top = TopCenter;
constexpr int Bottom = BottomCenter;

// How the data sets of one bar layer are combined at each position.
constexpr int Overlay = 0;
constexpr int Stack = 1;
constexpr int Depth = 2;
constexpr int Side = 3;
constexpr int Percentage = 4;  // stacked, each position scaled to 100

// Scatter symbols.
constexpr int NoSymbol = 0;
constexpr int SquareSymbol = 1;
constexpr int DiamondSymbol = 2;
constexpr int TriangleSymbol = 3;
constexpr int RightTriangleSymbol = 4;
constexpr int LeftTriangleSymbol = 5;
constexpr int InvertedTriangleSymbol = 6;
constexpr int CircleSymbol = 7;
constexpr int CrossSymbol = 8;
constexpr int Cross2Symbol = 9;

// The largest side of an image the back end can hold.
constexpr int MaxImageSide = 32767;

// Colour of data set i when none is given: the palette's (Palette.h).
int DefaultDataColor(int i);

// The colour to draw with: special values resolved, -1 replaced by
// fallback. The result may still be invisible (see IsVisible).
int ResolveColor(int color, int fallback);
// False for Chart::Transparent and any fully transparent colour.
bool IsVisible(int color);

}  // namespace Chart

#endif

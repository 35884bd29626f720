#include "chart/ChartConstants.h"

#include "chart/Palette.h"

namespace Chart {

int DefaultDataColor(int i) {
    return PaletteColor(i);
}

int ResolveColor(int color, int fallback) {
    if (color == -1)
        color = fallback;
    if (color == BackgroundColor)
        return DefaultBackground;
    if (color == LineColor)
        return DefaultLine;
    if (color == TextColor)
        return DefaultText;
    return color;
}

bool IsVisible(int color) {
    if (color == Transparent || color == -1)
        return false;
    return ((static_cast<unsigned int>(color) >> 24) & 0xff) != 0xff;
}

}  // namespace Chart

#include "chart/ChartConstants.h"

namespace Chart {

namespace {
// The palette of data colours, in the order they are handed out.
const int kDataColors[] = {0xff3333, 0x33ff33, 0x6666ff, 0xffff00, 0xff66ff, 0x99ffff, 0xffcc33,
                           0xcccccc, 0xcc9999, 0x339966, 0x999900, 0xcc3300, 0x669999, 0x993333,
                           0x006600, 0x990099, 0xff9966, 0x99ff99, 0x9999ff, 0xcc6600, 0x33cc33,
                           0xcc99ff, 0xff6666, 0x99cc66, 0x009999, 0xcc3333, 0x9933ff, 0xff0000,
                           0x0000ff, 0x00ff00, 0xffcc99, 0x999999};
const int kDataColorCount = sizeof(kDataColors) / sizeof(kDataColors[0]);
}  // namespace

int DefaultDataColor(int i) {
    if (i < 0)
        i = 0;
    return kDataColors[i % kDataColorCount];
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

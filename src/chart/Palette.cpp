#include "chart/Palette.h"

#include <cmath>

namespace Chart {

namespace {

const int kOkabeIto[] = {0xE69F00, 0x56B4E9, 0x009E73, 0xF0E442,
                         0x0072B2, 0xD55E00, 0xCC79A7, 0x999999};
const int kTolMuted[] = {0xCC6677, 0x332288, 0xDDCC77, 0x117733, 0x88CCEE,
                         0x882255, 0x44AA99, 0x999933, 0xAA4499};
const int kOkabeItoCount = 8, kTolCount = 9;

// color moved towards with by share (0: color, 1: with).
int Mix(int color, int with, double share) {
    int out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        const double a = (color >> shift) & 0xff, b = (with >> shift) & 0xff;
        out |= static_cast<int>(std::lround(a + share * (b - a))) << shift;
    }
    return out;
}

// The base colour itself, then a lighter, then a darker version.
int Shade(int base, int shade) {
    switch (shade) {
        case 0:
            return base;
        case 1:
            return Mix(base, 0xffffff, 0.55);
        default:
            return Mix(base, 0x000000, 0.45);
    }
}

}  // namespace

int PaletteColor(int k) {
    if (k < 0)
        k = 0;
    k %= kPaletteSize;
    if (k < 3 * kOkabeItoCount)
        return Shade(kOkabeIto[k % kOkabeItoCount], k / kOkabeItoCount);
    k -= 3 * kOkabeItoCount;
    return Shade(kTolMuted[k % kTolCount], k / kTolCount);
}

}  // namespace Chart

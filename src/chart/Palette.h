// The colours of the data sets of every chart, chosen to stay apart for
// readers with a colour-vision deficiency: the eight colours of Okabe and
// Ito, then lighter and darker versions of them, then Tol's muted colours
// and their lighter and darker versions. Data set k (a cluster) has the same
// colour in every chart: bar plots, maps and traces.
#ifndef BRELO_CHART_PALETTE_H
#define BRELO_CHART_PALETTE_H

namespace Chart {

// Number of distinct colours; data set k takes colour k modulo this.
constexpr int kPaletteSize = 51;

// Colour 0xRRGGBB of data set k (from 0); negative k counts as 0.
int PaletteColor(int k);

}  // namespace Chart

#endif

// The order of the bars of a chart of stacked shares (one bar a row, the
// parts of a bar its columns), so that like bars stand together.
#ifndef BRELO_CHART_BARORDER_H
#define BRELO_CHART_BARORDER_H

#include <vector>

namespace Chart {

// The rows in the order shown: by group (groupOf[i], increasing; no groups
// when groupOf is empty), then by the part of largest share (the first of
// equal ones), then by that share, largest first; rows alike keep their
// order. A row missing from shares counts as part 0 with share 0.
std::vector<int> ShareOrder(const std::vector<std::vector<double>>& shares,
                            const std::vector<int>& groupOf);

}  // namespace Chart

#endif

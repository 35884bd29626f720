#include "chart/BarOrder.h"

#include <algorithm>
#include <utility>

namespace Chart {

std::vector<int> ShareOrder(const std::vector<std::vector<double>>& shares,
                            const std::vector<int>& groupOf) {
    const int n = static_cast<int>(groupOf.empty() ? shares.size() : groupOf.size());
    auto group = [&](int i) { return groupOf.empty() ? 0 : groupOf[i]; };
    auto largest = [&](int i) {
        if (i >= static_cast<int>(shares.size()) || shares[i].empty())
            return std::make_pair(0, 0.0);
        auto it = std::max_element(shares[i].begin(), shares[i].end());
        return std::make_pair(static_cast<int>(it - shares[i].begin()), *it);
    };
    std::vector<int> order(n);
    for (int i = 0; i < n; ++i)
        order[i] = i;
    std::stable_sort(order.begin(), order.end(), [&](int a, int b) {
        if (group(a) != group(b))
            return group(a) < group(b);
        const auto la = largest(a), lb = largest(b);
        if (la.first != lb.first)
            return la.first < lb.first;
        return la.second > lb.second;
    });
    return order;
}

}  // namespace Chart

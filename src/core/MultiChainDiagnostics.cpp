#include "core/MultiChainDiagnostics.h"

#include <gsl/gsl_cdf.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "core/Diagnostics.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

double Mean(const std::vector<double>& x) {
    return std::accumulate(x.begin(), x.end(), 0.0) / static_cast<double>(x.size());
}

double Variance(const std::vector<double>& x) {
    const double m = Mean(x);
    double s = 0;
    for (double v : x)
        s += (v - m) * (v - m);
    return s / static_cast<double>(x.size() - 1);
}

// Chains usable for the statistics: at least two of at least two values each.
bool Usable(const std::vector<std::vector<double>>& chains) {
    return chains.size() >= 2 && chains.front().size() >= 2;
}

std::vector<std::vector<double>> FoldedAroundMedian(
    const std::vector<std::vector<double>>& chains) {
    std::vector<double> all;
    for (const auto& c : chains)
        all.insert(all.end(), c.begin(), c.end());
    const size_t n = all.size();
    std::nth_element(all.begin(), all.begin() + n / 2, all.end());
    double median = all[n / 2];
    if (n % 2 == 0) {
        const double below = *std::max_element(all.begin(), all.begin() + n / 2);
        median = (median + below) / 2;
    }
    std::vector<std::vector<double>> folded = chains;
    for (auto& c : folded)
        for (double& v : c)
            v = std::fabs(v - median);
    return folded;
}

}  // namespace

std::vector<std::vector<double>> RankNormalize(const std::vector<std::vector<double>>& chains) {
    std::vector<std::pair<double, std::pair<size_t, size_t>>> all;
    for (size_t c = 0; c < chains.size(); ++c)
        for (size_t t = 0; t < chains[c].size(); ++t)
            all.push_back({chains[c][t], {c, t}});
    std::sort(all.begin(), all.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::vector<double>> z = chains;
    const double S = static_cast<double>(all.size());
    for (size_t i = 0; i < all.size();) {
        size_t j = i;
        while (j < all.size() && all[j].first == all[i].first)
            ++j;
        const double rank = (static_cast<double>(i + 1) + static_cast<double>(j)) / 2;
        const double score = gsl_cdf_ugaussian_Pinv((rank - 0.375) / (S + 0.25));
        for (size_t k = i; k < j; ++k)
            z[all[k].second.first][all[k].second.second] = score;
        i = j;
    }
    return z;
}

std::vector<std::vector<double>> SplitChains(const std::vector<std::vector<double>>& chains) {
    std::vector<std::vector<double>> halves;
    if (chains.empty())
        return halves;
    size_t n = chains.front().size();
    for (const auto& c : chains)
        n = std::min(n, c.size());
    const size_t half = n / 2;
    for (const auto& c : chains) {
        halves.emplace_back(c.begin(), c.begin() + static_cast<std::ptrdiff_t>(half));
        halves.emplace_back(c.begin() + static_cast<std::ptrdiff_t>(n - half),
                            c.begin() + static_cast<std::ptrdiff_t>(n));
    }
    return halves;
}

double PotentialScaleReduction(const std::vector<std::vector<double>>& chains) {
    if (!Usable(chains))
        return kNaN;
    const double n = static_cast<double>(chains.front().size());
    std::vector<double> means, variances;
    for (const auto& c : chains) {
        means.push_back(Mean(c));
        variances.push_back(Variance(c));
    }
    const double W = Mean(variances);
    const double BoverN = Variance(means);
    if (!(W > 0))
        return kNaN;
    return std::sqrt(((n - 1) / n * W + BoverN) / W);
}

double SplitRhat(const std::vector<std::vector<double>>& chains) {
    const std::vector<std::vector<double>> split = SplitChains(chains);
    if (!Usable(split))
        return kNaN;
    const double bulk = PotentialScaleReduction(RankNormalize(split));
    const double tail = PotentialScaleReduction(RankNormalize(FoldedAroundMedian(split)));
    if (std::isnan(bulk))
        return tail;
    if (std::isnan(tail))
        return bulk;
    return std::max(bulk, tail);
}

double BulkEffectiveSampleSize(const std::vector<std::vector<double>>& chains) {
    const std::vector<std::vector<double>> z = RankNormalize(SplitChains(chains));
    if (!Usable(z) || z.front().size() < 4)
        return 0.0;
    const size_t M = z.size(), n = z.front().size();
    std::vector<double> meanAcov(n, 0.0), means;
    double W = 0;
    for (const auto& c : z) {
        const std::vector<double> acov = Autocovariances(c.data(), n);
        for (size_t t = 0; t < n; ++t)
            meanAcov[t] += acov[t] / static_cast<double>(M);
        W += acov[0] * static_cast<double>(n) / static_cast<double>(n - 1) / static_cast<double>(M);
        means.push_back(Mean(c));
    }
    const double varPlus =
        W * static_cast<double>(n - 1) / static_cast<double>(n) + Variance(means);
    if (!(varPlus > 0))
        return 0.0;
    auto rho = [&](size_t t) { return 1.0 - (W - meanAcov[t]) / varPlus; };
    // Geyer's initial positive sequence of pairs, then made monotone.
    std::vector<double> r(n + 2, 0.0);
    r[0] = 1.0;
    double even = 1.0, odd = rho(1);
    r[1] = odd;
    size_t t = 1;
    while (t + 5 < n && even + odd > 0) {
        even = rho(t + 1);
        odd = rho(t + 2);
        if (even + odd >= 0) {
            r[t + 1] = even;
            r[t + 2] = odd;
        }
        t += 2;
    }
    const size_t maxT = t;
    // Kept for the estimate below, which is steadier for antithetic chains.
    if (even > 0)
        r[maxT + 1] = even;
    for (size_t u = 1; u + 3 <= maxT; u += 2)
        if (r[u + 1] + r[u + 2] > r[u - 1] + r[u]) {
            r[u + 1] = (r[u - 1] + r[u]) / 2;
            r[u + 2] = r[u + 1];
        }
    const double draws = static_cast<double>(M * n);
    double tau = -1.0 + r[maxT + 1];
    for (size_t u = 0; u < maxT; ++u)
        tau += 2 * r[u];
    tau = std::max(tau, 1.0 / std::log10(draws));
    return draws / tau;
}

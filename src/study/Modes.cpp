#include "study/Modes.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

#include "study/Alignment.h"

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();

double DicOrWorst(double dic) {
    return std::isnan(dic) ? std::numeric_limits<double>::infinity() : dic;
}

// Connected components of the graph "similarity > threshold".
std::vector<std::vector<int>> LinkedGroups(const DBL_VCTR_2D& similarity, double threshold) {
    const int n = static_cast<int>(similarity.size());
    std::vector<int> group(n, -1);
    std::vector<std::vector<int>> groups;
    for (int start = 0; start < n; ++start) {
        if (group[start] >= 0)
            continue;
        groups.push_back({});
        std::vector<int> stack{start};
        group[start] = static_cast<int>(groups.size()) - 1;
        while (!stack.empty()) {
            int c = stack.back();
            stack.pop_back();
            groups.back().push_back(c);
            for (int d = 0; d < n; ++d)
                if (group[d] < 0 && similarity[c][d] > threshold) {
                    group[d] = group[start];
                    stack.push_back(d);
                }
        }
        std::sort(groups.back().begin(), groups.back().end());
    }
    return groups;
}

DBL_VCTR_2D MeanOf(const std::vector<DBL_VCTR_2D>& aligned) {
    DBL_VCTR_2D mean(aligned[0].size(), DBL_VCTR_1D(aligned[0][0].size(), 0.0));
    for (const DBL_VCTR_2D& Q : aligned)
        for (size_t i = 0; i < Q.size(); ++i)
            for (size_t k = 0; k < Q[i].size(); ++k)
                mean[i][k] += Q[i][k] / aligned.size();
    return mean;
}

}  // namespace

DBL_VCTR_2D PairwiseSimilarities(const std::vector<DBL_VCTR_2D>& Q) {
    const size_t n = Q.size();
    DBL_VCTR_2D similarity(n, DBL_VCTR_1D(n, 1.0));
    for (size_t c = 0; c < n; ++c)
        for (size_t d = c + 1; d < n; ++d)
            similarity[c][d] = similarity[d][c] = AlignedSimilarity(Q[c], Q[d]);
    return similarity;
}

DBL_VCTR_2D AlignedMean(const std::vector<const DBL_VCTR_2D*>& Q, const std::vector<double>& DIC,
                        std::vector<double>& similarityToMean) {
    size_t best = 0;
    for (size_t c = 1; c < Q.size(); ++c)
        if (DicOrWorst(DIC[c]) < DicOrWorst(DIC[best]))
            best = c;
    std::vector<std::vector<int>> permutation(Q.size());
    std::vector<DBL_VCTR_2D> aligned(Q.size());
    const DBL_VCTR_2D* reference = Q[best];
    DBL_VCTR_2D mean;
    // A handful of rounds settle it: each round can only bring the chains
    // closer to their mean.
    for (int round = 0; round < 20; ++round) {
        bool changed = false;
        for (size_t c = 0; c < Q.size(); ++c) {
            std::vector<int> p = AlignClusters(*Q[c], *reference);
            changed = changed || p != permutation[c];
            permutation[c] = p;
            aligned[c] = PermuteClusters(*Q[c], p);
        }
        mean = MeanOf(aligned);
        reference = &mean;
        if (!changed && round > 0)
            break;
    }
    similarityToMean.clear();
    for (const DBL_VCTR_2D& A : aligned)
        similarityToMean.push_back(Similarity(A, mean));
    return mean;
}

std::vector<SMode> FindModes(const std::vector<DBL_VCTR_2D>& Q, const std::vector<double>& DIC,
                             double threshold) {
    std::vector<SMode> modes;
    if (Q.empty())
        return modes;
    const DBL_VCTR_2D similarity = PairwiseSimilarities(Q);
    for (const std::vector<int>& members : LinkedGroups(similarity, threshold)) {
        SMode mode;
        mode.chains = members;
        std::vector<const DBL_VCTR_2D*> memberQ;
        std::vector<double> memberDIC;
        double dicSum = 0;
        int dicCount = 0, pairs = 0;
        double pairSum = 0;
        for (size_t m = 0; m < members.size(); ++m) {
            memberQ.push_back(&Q[members[m]]);
            memberDIC.push_back(DIC[members[m]]);
            if (!std::isnan(DIC[members[m]]))
                dicSum += DIC[members[m]], ++dicCount;
            for (size_t o = m + 1; o < members.size(); ++o)
                pairSum += similarity[members[m]][members[o]], ++pairs;
        }
        mode.meanDIC = dicCount > 0 ? dicSum / dicCount : kNaN;
        mode.meanPairSimilarity = pairs > 0 ? pairSum / pairs : kNaN;
        mode.meanQ = AlignedMean(memberQ, memberDIC, mode.similarityToMean);
        modes.push_back(std::move(mode));
    }
    std::stable_sort(modes.begin(), modes.end(), [](const SMode& a, const SMode& b) {
        if (a.chains.size() != b.chains.size())
            return a.chains.size() > b.chains.size();
        return DicOrWorst(a.meanDIC) < DicOrWorst(b.meanDIC);
    });
    return modes;
}

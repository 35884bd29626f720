#include "io/AlleleCountFeatures.h"

#include <iostream>

#include "io/IOUtilities.h"

namespace {

// Allele index of each copy of X (N x A x L), -1 when missing or not listed:
// through a table over the range of the codes of each locus when it is
// short, else by search.
INT_VCTR_3D AlleleIndices(const INT_VCTR_3D& X, const INT_VCTR_2D& alleleV, size_t L) {
    const int kLongestTable = 1 << 16;
    INT_VCTR_2D table(L);
    INT_VCTR_1D lowest(L, 0);
    for (size_t l = 0; l < L && l < alleleV.size(); ++l) {
        const INT_VCTR_1D& codes = alleleV[l];
        if (codes.empty() || static_cast<long>(codes.back()) - codes.front() >= kLongestTable)
            continue;
        lowest[l] = codes.front();
        table[l].assign(codes.back() - codes.front() + 1, -1);
        for (size_t j = 0; j < codes.size(); ++j)
            table[l][codes[j] - codes.front()] = static_cast<int>(j);
    }
    INT_VCTR_3D index = X;
    for (INT_VCTR_2D& individual : index)
        for (INT_VCTR_1D& copy : individual)
            for (size_t l = 0; l < L; ++l) {
                const int code = copy[l];
                if (code < 0 || l >= alleleV.size())
                    copy[l] = -1;
                else if (table[l].empty())
                    copy[l] = alleleV[l].empty() ? -1 : FindAlleleIndex(alleleV[l], code);
                else
                    copy[l] =
                        code < lowest[l] || code - lowest[l] >= static_cast<long>(table[l].size())
                            ? -1
                            : table[l][code - lowest[l]];
            }
    return index;
}

// Mean frequency of each allele of each locus over the observed copies
// (all 0 at a locus without any).
DBL_VCTR_2D MeanFrequencies(const INT_VCTR_3D& index, const INT_VCTR_1D& J) {
    DBL_VCTR_2D freq(J.size());
    INT_VCTR_1D observed(J.size(), 0);
    for (size_t l = 0; l < J.size(); ++l)
        freq[l].assign(J[l], 0.0);
    for (const INT_VCTR_2D& individual : index)
        for (const INT_VCTR_1D& copy : individual)
            for (size_t l = 0; l < copy.size(); ++l)
                if (copy[l] >= 0) {
                    freq[l][copy[l]] += 1.0;
                    ++observed[l];
                }
    for (size_t l = 0; l < J.size(); ++l)
        for (double& f : freq[l])
            f = observed[l] > 0 ? f / observed[l] : 0.0;
    return freq;
}

}  // namespace

SSparseRows AlleleCountFeatures(const INT_VCTR_3D& X, const INT_VCTR_2D& alleleV) {
    const size_t L = X.empty() || X[0].empty() ? 0 : X[0][0].size();
    const INT_VCTR_3D index = AlleleIndices(X, alleleV, L);
    INT_VCTR_1D J(L, 0), offset(L, 0);
    SSparseRows rows;
    for (size_t l = 0; l < L; ++l) {
        J[l] = l < alleleV.size() ? static_cast<int>(alleleV[l].size()) : 0;
        offset[l] = rows.cols;
        rows.cols += J[l];
    }
    const DBL_VCTR_2D freq = MeanFrequencies(index, J);
    const size_t copies = index.size() * (index.empty() ? 0 : index[0].size()) * L;
    rows.index.reserve(copies + copies / 8);
    rows.value.reserve(copies + copies / 8);
    DBL_VCTR_1D locus;
    for (const INT_VCTR_2D& individual : index) {
        for (size_t l = 0; l < L; ++l) {
            int missing = 0;
            for (const INT_VCTR_1D& copy : individual)
                missing += copy[l] < 0;
            if (missing > 0) {  // the whole locus
                locus.assign(J[l], 0.0);
                for (int j = 0; j < J[l]; ++j)
                    locus[j] = missing * freq[l][j];
                for (const INT_VCTR_1D& copy : individual)
                    if (copy[l] >= 0)
                        locus[copy[l]] += 1.0;
                for (int j = 0; j < J[l]; ++j)
                    if (locus[j] != 0.0) {
                        rows.index.push_back(offset[l] + j);
                        rows.value.push_back(locus[j]);
                    }
                continue;
            }
            const size_t first = rows.index.size();  // one entry per allele carried
            for (const INT_VCTR_1D& copy : individual) {
                const int column = offset[l] + copy[l];
                size_t e = first;
                while (e < rows.index.size() && rows.index[e] != column)
                    ++e;
                if (e == rows.index.size()) {
                    rows.index.push_back(column);
                    rows.value.push_back(0.0);
                }
                rows.value[e] += 1.0;
            }
        }
        rows.start.push_back(static_cast<int>(rows.index.size()));
    }
    return rows;
}

INT_VCTR_1D KMeansStartLabels(const INT_VCTR_3D& X, const INT_VCTR_2D& alleleV, int K,
                              const gsl_rng* rng) {
    const SKMeansResult res = KMeans(AlleleCountFeatures(X, alleleV), K, KMEANS_START_RUNS, rng);
    std::cout << "Starting labels from k-means of the allele counts (best of " << KMEANS_START_RUNS
              << " runs), cluster sizes:";
    for (int size : res.sizes)
        std::cout << " " << size;
    std::cout << std::endl;
    return res.labels;
}

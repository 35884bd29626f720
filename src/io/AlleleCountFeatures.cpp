#include "io/AlleleCountFeatures.h"

#include <algorithm>
#include <iostream>
#include <numeric>

namespace {

INT_VCTR_1D AllRows(const CGenotypeStore& X) {
    INT_VCTR_1D rows(X.N());
    std::iota(rows.begin(), rows.end(), 0);
    return rows;
}

// Mean frequency of each allele of each locus over the observed copies of
// the individuals of rows (all 0 at a locus without any).
DBL_VCTR_2D MeanFrequencies(const CGenotypeStore& X, const INT_VCTR_1D& rows) {
    const int L = X.L();
    DBL_VCTR_2D freq(L);
    INT_VCTR_1D observed(L, 0);
    for (int l = 0; l < L; ++l)
        freq[l].assign(X.J(l), 0.0);
    for (int i : rows)
        for (int a = 0; a < X.A(); ++a)
            for (int l = 0; l < L; ++l) {
                const int j = X.Index(i, a, l);
                if (j != CGenotypeStore::kMissing) {
                    freq[l][j] += 1.0;
                    ++observed[l];
                }
            }
    for (int l = 0; l < L; ++l)
        for (double& f : freq[l])
            f = observed[l] > 0 ? f / observed[l] : 0.0;
    return freq;
}

// The counts of individual i at locus l whose copies are all observed: one
// entry per allele carried, in the order of the copies.
void AddObservedLocus(const CGenotypeStore& X, int i, int l, int offset, SSparseRows& rows) {
    const size_t first = rows.index.size();
    for (int a = 0; a < X.A(); ++a) {
        const int column = offset + X.Index(i, a, l);
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

}  // namespace

SSparseRows AlleleCountFeatures(const CGenotypeStore& X) {
    return AlleleCountFeatures(X, AllRows(X));
}

SSparseRows AlleleCountFeatures(const CGenotypeStore& X, const INT_VCTR_1D& rows) {
    const int L = X.L(), A = X.A();
    INT_VCTR_1D offset(L, 0);
    SSparseRows out;
    for (int l = 0; l < L; ++l) {
        offset[l] = out.cols;
        out.cols += X.J(l);
    }
    const DBL_VCTR_2D freq = MeanFrequencies(X, rows);
    const size_t copies = rows.size() * A * L;
    out.index.reserve(copies + copies / 8);
    out.value.reserve(copies + copies / 8);
    DBL_VCTR_1D locus;
    for (int i : rows) {
        for (int l = 0; l < L; ++l) {
            int missing = 0;
            for (int a = 0; a < A; ++a)
                missing += X.Index(i, a, l) == CGenotypeStore::kMissing;
            if (missing == 0) {
                AddObservedLocus(X, i, l, offset[l], out);
                continue;
            }
            const int J = X.J(l);  // the whole locus
            locus.assign(J, 0.0);
            for (int j = 0; j < J; ++j)
                locus[j] = missing * freq[l][j];
            for (int a = 0; a < A; ++a) {
                const int j = X.Index(i, a, l);
                if (j != CGenotypeStore::kMissing)
                    locus[j] += 1.0;
            }
            for (int j = 0; j < J; ++j)
                if (locus[j] != 0.0) {
                    out.index.push_back(offset[l] + j);
                    out.value.push_back(locus[j]);
                }
        }
        out.start.push_back(static_cast<int>(out.index.size()));
    }
    return out;
}

INT_VCTR_1D KMeansStartLabels(const CGenotypeStore& X, int K, const gsl_rng* rng) {
    return KMeansStartLabels(X, AllRows(X), K, rng);
}

INT_VCTR_1D KMeansLoci(size_t individuals, int L, size_t maxGenotypes) {
    const size_t n = std::max<size_t>(individuals, 1);
    const size_t keep = std::max<size_t>(maxGenotypes / n, 1);
    if (L <= 0 || static_cast<size_t>(L) <= keep)
        return {};
    INT_VCTR_1D loci(keep);
    for (size_t m = 0; m < keep; ++m)
        loci[m] = static_cast<int>(m * static_cast<size_t>(L) / keep);
    return loci;
}

INT_VCTR_1D KMeansStartLabels(const CGenotypeStore& X, const INT_VCTR_1D& rows, int K,
                              const gsl_rng* rng, size_t maxGenotypes) {
    // Large data sets: the k-means of an evenly spaced sample of the loci,
    // so that the counts it holds stay a bounded size.
    const INT_VCTR_1D loci = KMeansLoci(rows.size(), X.L(), maxGenotypes);
    const SSparseRows features =
        loci.empty() ? AlleleCountFeatures(X, rows) : AlleleCountFeatures(X.SelectLoci(loci), rows);
    const SKMeansResult res = KMeans(features, K, KMEANS_START_RUNS, rng);
    std::cout << "Starting labels from k-means of the allele counts";
    if (!loci.empty())
        std::cout << " at " << loci.size() << " of the " << X.L() << " loci, evenly spaced";
    std::cout << " (best of " << KMEANS_START_RUNS << " runs), cluster sizes:";
    for (int size : res.sizes)
        std::cout << " " << size;
    std::cout << std::endl;
    return res.labels;
}

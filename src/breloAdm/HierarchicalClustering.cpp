#include "breloAdm/HierarchicalClustering.h"
#include "core/Messages.h"
#include "core/ProgramExit.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <iostream>

namespace {

const double INF = 1e300;

[[noreturn]] void Fail(const char* message) {
    Refuse(message);
}

// ---------------------------------------------------------------------------
// Dissimilarities

// X with every individual of the same A x L shape; anything else would send
// the pair loops out of bounds.
void CheckRectangular(const INT_VCTR_3D& X, size_t A, size_t L) {
    for (const INT_VCTR_2D& individual : X) {
        if (individual.size() != A)
            Fail("Inconsistent Data Dimensions - BuildDissimilarityMatrix");
        for (const INT_VCTR_1D& copy : individual)
            if (copy.size() != L)
                Fail("Inconsistent Data Dimensions - BuildDissimilarityMatrix");
    }
}

// The codes of the store, one contiguous block of A*L per individual
// (copy-major), so the pair loops run over plain arrays.
std::vector<int> FlattenCodes(const CGenotypeStore& X) {
    std::vector<int> codes;
    codes.reserve(X.Copies());
    for (int i = 0; i < X.N(); ++i)
        for (int a = 0; a < X.A(); ++a)
            for (int l = 0; l < X.L(); ++l)
                codes.push_back(X.Code(i, a, l));
    return codes;
}

// Number of (a, b, l) with copy a of i equal to copy b of j at locus l:
// codes, or allele indices of a store whose missing copies all have one
// code a locus (equal indices then mean equal codes).
template <class T>
long CountSharedAlleles(const T* xi, const T* xj, size_t A, size_t L) {
    long sim = 0;
    for (size_t a = 0; a < A; ++a)
        for (size_t b = 0; b < A; ++b) {
            const T* p = xi + a * L;
            const T* q = xj + b * L;
            int count = 0;
            for (size_t l = 0; l < L; ++l)
                count += (p[l] == q[l]);
            sim += count;
        }
    return sim;
}

template <class T>
double EuclideanDistance(const T* xi, const T* xj, size_t size) {
    double sum = 0.0;
    for (size_t t = 0; t < size; ++t) {
        double diff = double(xi[t]) - double(xj[t]);
        sum += diff * diff;
    }
    return std::sqrt(sum);
}

// ---------------------------------------------------------------------------
// Merge engine. Instead of rebuilding the whole nearest-neighbour list at
// every step, NN/DisNN are kept up to date and only the rows that a merge can
// change are rescanned; the scans and comparisons are those of the full
// rebuild, so the merge sequence is the same.

double LanceWilliams(HClusteringMethod m, double dIK, double dJK, double dIJ, double nI, double nJ,
                     double nK) {
    switch (m) {
        case AVE:
            return (nI * dIK + nJ * dJK) / (nI + nJ);
        case CEN:
            return (nI * dIK + nJ * dJK - nI * nJ * dIJ / (nI + nJ)) / (nI + nJ);
        case COM:
            return std::max(dIK, dJK);
        case MCQ:
            return (dIK + dJK) / 2;
        case MED:
            return (dIK + dJK) / 2 - dIJ / 4;
        case SIN:
            return std::min(dIK, dJK);
        case WAR:
            return ((nI + nK) * dIK + (nJ + nK) * dJK - nK * dIJ) / (nI + nJ + nK);
    }
    Fail("Unsupported Clustering Method - HClusteringEngine");
}

class MergeEngine {
  public:
    MergeEngine(int N, DBL_VCTR_1D& dm, HClusteringMethod m)
        : N_(N), dm_(dm), m_(m), NoM_(N, 1), NN_(N, -1), DisNN_(N, INF) {
        for (int i = 0; i < N; ++i)
            Active_.push_back(i);
        Rescan_.reserve(N);
        for (int i = 0; i + 1 < N; ++i)
            ScanRow(i);
    }

    // One agglomeration step: closest pair, record, update, neighbour upkeep.
    void Step(int& IMerge, int& JMerge) {
        IMerge = ClosestPairRow();
        JMerge = NN_[IMerge];
        Active_.erase(std::lower_bound(Active_.begin(), Active_.end(), JMerge));
        UpdateDissimilarities(IMerge, JMerge);
        NoM_[IMerge] += NoM_[JMerge];
        ScanRow(IMerge);
        for (int k : Rescan_)
            ScanRow(k);
    }

  private:
    double& D(int i, int j) {
        return i < j ? dm_[CondensedIndex(N_, i, j)] : dm_[CondensedIndex(N_, j, i)];
    }

    // Nearest active neighbour of row i among larger indices; the lowest j
    // wins ties.
    void ScanRow(int i) {
        size_t rowBase = CondensedIndex(N_, i, 0);  // wraps for small i; + j is exact
        auto it = std::upper_bound(Active_.begin(), Active_.end(), i);
        int nn = -1;
        double best = INF;
        for (; it != Active_.end(); ++it) {
            double d = dm_[rowBase + *it];
            if (nn < 0 || d < best) {
                best = d;
                nn = *it;
            }
        }
        NN_[i] = nn;
        DisNN_[i] = nn < 0 ? INF : best;
    }

    // Row with the smallest DisNN, the lowest index on ties.
    int ClosestPairRow() const {
        int bestRow = -1;
        for (int i : Active_)
            if (NN_[i] >= 0 && (bestRow < 0 || DisNN_[i] < DisNN_[bestRow]))
                bestRow = i;
        return bestRow;
    }

    // Lance-Williams update of every dm(I, k), with the neighbour upkeep of
    // the rows above I, whose entry in column I changes.
    void UpdateDissimilarities(int I, int J) {
        Rescan_.clear();
        const double dIJ = D(I, J);
        const double nI = NoM_[I], nJ = NoM_[J];
        for (int k : Active_) {
            if (k == I)
                continue;
            double updated = LanceWilliams(m_, D(I, k), D(J, k), dIJ, nI, nJ, NoM_[k]);
            D(I, k) = updated;
            if (k < I)
                UpdateRowAboveMerge(k, I, J, updated);
            else if (k < J && NN_[k] == J)
                Rescan_.push_back(k);
        }
    }

    // Row k < I: its entry dm(k, I) is now 'updated' and column J is gone.
    void UpdateRowAboveMerge(int k, int I, int J, double updated) {
        if (NN_[k] == J) {
            Rescan_.push_back(k);
        } else if (NN_[k] == I) {
            if (updated > DisNN_[k] || !(updated <= DisNN_[k]))
                Rescan_.push_back(k);  // moved away: another column may now be closer
            else
                DisNN_[k] = updated;
        } else if (updated < DisNN_[k] || (updated == DisNN_[k] && I < NN_[k])) {
            NN_[k] = I;
            DisNN_[k] = updated;
        }
    }

    int N_;
    DBL_VCTR_1D& dm_;
    HClusteringMethod m_;
    INT_VCTR_1D NoM_;
    INT_VCTR_1D NN_;
    DBL_VCTR_1D DisNN_;
    INT_VCTR_1D Active_;  // unabsorbed indices, ascending
    INT_VCTR_1D Rescan_;
};

// The condensed dissimilarities of N blocks of A*L values (codes, or
// allele indices for allele sharing).
template <class T>
DBL_VCTR_1D PairDissimilarities(const T* values, size_t N, size_t A, size_t L, bool bG) {
    const size_t block = A * L;
    const double pairCount = double(A * A * L);
    DBL_VCTR_1D dm(N * (N - 1) / 2, 0.0);
    size_t index = 0;
    for (size_t i = 0; i + 1 < N; ++i) {
        const T* xi = values + i * block;
        for (size_t j = i + 1; j < N; ++j, ++index) {
            const T* xj = values + j * block;
            if (!bG)
                dm[index] = EuclideanDistance(xi, xj, block);
            else if (pairCount > 0)
                dm[index] = 1.0 - double(CountSharedAlleles(xi, xj, A, L)) / pairCount;
        }
    }
    return dm;
}

}  // namespace

DBL_VCTR_1D BuildDissimilarityMatrix(const CGenotypeStore& X, bool bG) {
    const size_t N = X.N(), A = X.A(), L = X.L();
    if (N < 2)
        return DBL_VCTR_1D();
    // Allele sharing compares the indices in place, unless two missing
    // copies of a locus may carry different codes; distances need the codes.
    if (bG && !X.HasSeveralMissingCodes())
        return X.VisitIndices(
            [&](const auto* index) { return PairDissimilarities(index, N, A, L, true); });
    const std::vector<int> codes = FlattenCodes(X);
    return PairDissimilarities(codes.data(), N, A, L, bG);
}

DBL_VCTR_1D BuildDissimilarityMatrix(const INT_VCTR_3D& X, bool bG) {
    if (X.size() < 2)
        return DBL_VCTR_1D();
    const size_t A = X[0].size();
    CheckRectangular(X, A, A > 0 ? X[0][0].size() : 0);
    return BuildDissimilarityMatrix(CGenotypeStore::FromCodes(X), bG);
}

void HClusteringEngine(int N, DBL_VCTR_1D& dm, HClusteringMethod m, INT_VCTR_1D& ResultA,
                       INT_VCTR_1D& ResultB) {
    if (N < 1)
        N = 1;
    if (dm.size() != size_t(N) * size_t(N - 1) / 2)
        Fail("Wrong Size of Dissimilarity Matrix - HClusteringEngine");
    if (ResultA.size() != size_t(N - 1))
        ResultA.assign(N - 1, 0);
    if (ResultB.size() != size_t(N - 1))
        ResultB.assign(N - 1, 0);
    if (N < 2)
        return;

    MergeEngine engine(N, dm, m);
    for (int s = 0; s < N - 1; ++s)
        engine.Step(ResultA[s], ResultB[s]);
}

INT_VCTR_1D LabelSamples(const INT_VCTR_1D& ResultA, const INT_VCTR_1D& ResultB, int K) {
    if (K < 1)
        Fail("Number of clusters must be at least 1 - LabelSamples");
    const int N = int(ResultA.size()) + 1;
    const int steps = std::max(0, N - K);

    // Each merged index points to the group it joined; a group is named by its
    // smallest member, so a parent always has a smaller index.
    // Records that do not come from the engine are refused rather than read
    // out of bounds.
    if (ResultB.size() != ResultA.size())
        Fail("Invalid Merge Records - LabelSamples");
    INT_VCTR_1D parent(N);
    for (int i = 0; i < N; ++i)
        parent[i] = i;
    for (int s = 0; s < steps; ++s) {
        const int a = ResultA[s], b = ResultB[s];
        if (a < 0 || b >= N || a >= b || parent[a] != a || parent[b] != b)
            Fail("Invalid Merge Records - LabelSamples");
        parent[b] = a;
    }

    INT_VCTR_1D label(N, 0);
    int next = 0;
    for (int i = 0; i < N; ++i)
        label[i] = parent[i] == i ? next++ : label[parent[i]];
    return label;
}

INT_VCTR_1D HClustering(const INT_VCTR_3D& X, HClusteringMethod m, int NoC, bool bG) {
    if (X.empty() || X[0].empty() || X[0][0].empty())
        Fail("Empty Data - HClustering");
    const size_t A = X[0].size();
    CheckRectangular(X, A, X[0][0].size());
    return HClustering(CGenotypeStore::FromCodes(X), m, NoC, bG);
}

INT_VCTR_1D HClustering(const CGenotypeStore& X, HClusteringMethod m, int NoC, bool bG) {
    if (X.empty())
        Fail("Empty Data - HClustering");
    if (NoC < 1)
        Fail("Number of clusters must be at least 1 - HClustering");
    const int N = X.N();
    DBL_VCTR_1D dm = BuildDissimilarityMatrix(X, bG);
    INT_VCTR_1D ResultA, ResultB;
    HClusteringEngine(N, dm, m, ResultA, ResultB);
    return LabelSamples(ResultA, ResultB, NoC);
}

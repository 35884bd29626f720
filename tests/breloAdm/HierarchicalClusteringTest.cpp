#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <random>

#include "breloAdm/HierarchicalClustering.h"

namespace {

// Straightforward cubic engine: the neighbour list is rebuilt at every step.
// The fast engine must reproduce its merge records exactly.
void ReferenceEngine(int N, DBL_VCTR_1D dm, HClusteringMethod m, INT_VCTR_1D& A, INT_VCTR_1D& B) {
    auto D = [&](int i, int j) -> double& {
        return i < j ? dm[CondensedIndex(N, i, j)] : dm[CondensedIndex(N, j, i)];
    };
    INT_VCTR_1D NoM(N, 1), NN(N, -1);
    BOOL_VCTR_1D Clustered(N, false);
    DBL_VCTR_1D DisNN(N, 1e300);
    A.assign(N - 1, 0);
    B.assign(N - 1, 0);
    for (int s = 0; s < N - 1; ++s) {
        for (int i = 0; i < N - 1; ++i) {
            if (Clustered[i])
                continue;
            NN[i] = -1;
            DisNN[i] = 1e300;
            for (int j = i + 1; j < N; ++j)
                if (!Clustered[j] && (NN[i] < 0 || D(i, j) < DisNN[i])) {
                    NN[i] = j;
                    DisNN[i] = D(i, j);
                }
        }
        int best = -1;
        for (int i = 0; i < N - 1; ++i)
            if (!Clustered[i] && NN[i] >= 0 && (best < 0 || DisNN[i] < DisNN[best]))
                best = i;
        const int I = best, J = NN[best];
        A[s] = I;
        B[s] = J;
        Clustered[J] = true;
        const double dIJ = D(I, J), nI = NoM[I], nJ = NoM[J];
        for (int k = 0; k < N; ++k) {
            if (Clustered[k] || k == I)
                continue;
            const double dIK = D(I, k), dJK = D(J, k), nK = NoM[k];
            double v = 0;
            switch (m) {
                case AVE:
                    v = (nI * dIK + nJ * dJK) / (nI + nJ);
                    break;
                case CEN:
                    v = (nI * dIK + nJ * dJK - nI * nJ * dIJ / (nI + nJ)) / (nI + nJ);
                    break;
                case COM:
                    v = std::max(dIK, dJK);
                    break;
                case MCQ:
                    v = (dIK + dJK) / 2;
                    break;
                case MED:
                    v = (dIK + dJK) / 2 - dIJ / 4;
                    break;
                case SIN:
                    v = std::min(dIK, dJK);
                    break;
                case WAR:
                    v = ((nI + nK) * dIK + (nJ + nK) * dJK - nK * dIJ) / (nI + nJ + nK);
                    break;
            }
            D(I, k) = v;
        }
        NoM[I] += NoM[J];
    }
}

// N individuals, A copies, L loci; each individual drawn from population
// pop[i] with its own frequency of allele 1 per locus (allele 2 otherwise).
INT_VCTR_3D SimulateGenotypes(const INT_VCTR_1D& pop, const DBL_VCTR_2D& freq, int A, int L,
                              unsigned seed) {
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> unif(0.0, 1.0);
    INT_VCTR_3D X;
    InitVctr3D(X, int(pop.size()), A, L, 0);
    for (size_t i = 0; i < pop.size(); ++i)
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l)
                X[i][a][l] = unif(gen) < freq[pop[i]][l] ? 1 : 2;
    return X;
}

INT_VCTR_3D Individuals(const INT_VCTR_2D& genotypes) {
    INT_VCTR_3D X;  // one locus, copies as given
    for (const auto& g : genotypes) {
        INT_VCTR_2D ind;
        for (int code : g)
            ind.push_back({code});
        X.push_back(ind);
    }
    return X;
}

const HClusteringMethod kAllMethods[] = {AVE, CEN, COM, MCQ, MED, SIN, WAR};

}  // namespace

TEST(BuildDissimilarityMatrix, AlleleSharingCountsEveryCopyAgainstEveryCopy) {
    DBL_VCTR_1D dm = BuildDissimilarityMatrix(Individuals({{1, 2}, {2, 3}, {1, 2}, {4, 4}}), true);
    ASSERT_EQ(dm.size(), 6u);
    EXPECT_DOUBLE_EQ(dm[CondensedIndex(4, 0, 1)], 0.75);  // one matching pair of four
    EXPECT_DOUBLE_EQ(dm[CondensedIndex(4, 0, 2)], 0.5);   // same heterozygote: 2 of 4
    EXPECT_DOUBLE_EQ(dm[CondensedIndex(4, 0, 3)], 1.0);
    EXPECT_DOUBLE_EQ(dm[CondensedIndex(4, 1, 2)], 0.75);
}

TEST(BuildDissimilarityMatrix, EuclideanComparesSameCopiesAcrossLoci) {
    INT_VCTR_3D X = {{{1, 0}, {2, 0}}, {{4, 0}, {2, 4}}, {{1, 0}, {2, 0}}};
    DBL_VCTR_1D dm = BuildDissimilarityMatrix(X, false);
    ASSERT_EQ(dm.size(), 3u);
    EXPECT_DOUBLE_EQ(dm[0], 5.0);  // (1-4)^2 + (0-4)^2
    EXPECT_DOUBLE_EQ(dm[1], 0.0);
    EXPECT_DOUBLE_EQ(dm[2], 5.0);
}

TEST(BuildDissimilarityMatrix, RaggedGenotypesAreRefused) {
    INT_VCTR_3D X = {{{1, 2}, {1, 2}}, {{1, 2}, {1}}};
    EXPECT_EXIT(BuildDissimilarityMatrix(X, true), ::testing::ExitedWithCode(1),
                "Inconsistent Data Dimensions - BuildDissimilarityMatrix");
}

TEST(HClusteringEngine, ClosestPairsMergeFirstAndLabelsFollowSmallestMember) {
    // 0 and 3 closest, then 1 and 2.
    DBL_VCTR_1D dm(6, 1.0);
    dm[CondensedIndex(4, 0, 3)] = 0.1;
    dm[CondensedIndex(4, 1, 2)] = 0.2;
    INT_VCTR_1D A, B;
    HClusteringEngine(4, dm, WAR, A, B);
    EXPECT_EQ(A, (INT_VCTR_1D{0, 1, 0}));
    EXPECT_EQ(B, (INT_VCTR_1D{3, 2, 1}));
    EXPECT_EQ(LabelSamples(A, B, 2), (INT_VCTR_1D{0, 1, 1, 0}));
    EXPECT_EQ(LabelSamples(A, B, 1), (INT_VCTR_1D{0, 0, 0, 0}));
    EXPECT_EQ(LabelSamples(A, B, 4), (INT_VCTR_1D{0, 1, 2, 3}));
    EXPECT_EQ(LabelSamples(A, B, 9), (INT_VCTR_1D{0, 1, 2, 3}));
}

TEST(HClusteringEngine, TiesGoToLowestFirstThenLowestSecondIndex) {
    // Equal smallest values at (1,3), (1,2) and (2,3): (1,2) wins.
    DBL_VCTR_1D dm(6, 1.0);
    dm[CondensedIndex(4, 1, 3)] = 0.5;
    dm[CondensedIndex(4, 1, 2)] = 0.5;
    dm[CondensedIndex(4, 2, 3)] = 0.5;
    INT_VCTR_1D A, B;
    HClusteringEngine(4, dm, SIN, A, B);
    EXPECT_EQ(A[0], 1);
    EXPECT_EQ(B[0], 2);
    // Single linkage then joins 3 (distance 0.5) before 0 (distance 1).
    EXPECT_EQ(A[1], 1);
    EXPECT_EQ(B[1], 3);
}

TEST(HClusteringEngine, MatchesReferenceOnRandomDataForEveryRule) {
    // Genotype-based dissimilarities have many ties, which exercises the
    // tie rules of the incremental neighbour upkeep.
    std::mt19937 gen(2024);
    for (int trial = 0; trial < 12; ++trial) {
        const int N = 2 + int(gen() % 70);
        const int L = 1 + int(gen() % 6);
        const bool bG = trial % 3 != 0;
        INT_VCTR_1D pop(N);
        for (int i = 0; i < N; ++i)
            pop[i] = int(gen() % 3);
        DBL_VCTR_2D freq(3, DBL_VCTR_1D(L));
        for (auto& row : freq)
            for (double& f : row)
                f = double(gen() % 100) / 100.0;
        DBL_VCTR_1D dm0 = BuildDissimilarityMatrix(SimulateGenotypes(pop, freq, 2, L, gen()), bG);
        for (HClusteringMethod m : kAllMethods) {
            INT_VCTR_1D refA, refB, A, B;
            ReferenceEngine(N, dm0, m, refA, refB);
            DBL_VCTR_1D dm = dm0;
            HClusteringEngine(N, dm, m, A, B);
            ASSERT_EQ(A, refA) << "method " << m << " N " << N << " trial " << trial;
            ASSERT_EQ(B, refB) << "method " << m << " N " << N << " trial " << trial;
        }
    }
    // Continuous dissimilarities at a larger size.
    const int N = 300;
    std::uniform_real_distribution<double> unif(0.0, 1.0);
    DBL_VCTR_1D dm0(N * (N - 1) / 2);
    for (double& d : dm0)
        d = unif(gen);
    for (HClusteringMethod m : kAllMethods) {
        INT_VCTR_1D refA, refB, A, B;
        ReferenceEngine(N, dm0, m, refA, refB);
        DBL_VCTR_1D dm = dm0;
        HClusteringEngine(N, dm, m, A, B);
        ASSERT_EQ(A, refA) << "method " << m;
        ASSERT_EQ(B, refB) << "method " << m;
    }
}

TEST(HClustering, WardWithAlleleSharingSeparatesTwoPopulations) {
    const int N = 60, L = 20;
    INT_VCTR_1D truth(N);
    for (int i = 0; i < N; ++i)
        truth[i] = (i * 7) % 2;  // interleaved
    std::mt19937 gen(7);
    std::uniform_real_distribution<double> unif(0.0, 1.0);
    DBL_VCTR_2D freq(2, DBL_VCTR_1D(L));
    for (int l = 0; l < L; ++l) {
        freq[0][l] = 0.1 + 0.2 * unif(gen);
        freq[1][l] = 0.7 + 0.2 * unif(gen);
    }
    INT_VCTR_1D labels = HClustering(SimulateGenotypes(truth, freq, 2, L, 99), WAR, 2, true);
    ASSERT_EQ(labels.size(), size_t(N));
    EXPECT_EQ(labels[0], 0);
    std::map<int, int> toTruth;  // labels agree with the truth up to renaming
    int errors = 0;
    for (int i = 0; i < N; ++i) {
        auto it = toTruth.emplace(labels[i], truth[i]).first;
        errors += it->second != truth[i];
    }
    EXPECT_EQ(toTruth.size(), 2u);
    EXPECT_EQ(errors, 0);
}

TEST(HClustering, SingleIndividualAndFatalInputs) {
    EXPECT_EQ(HClustering(Individuals({{1, 2}}), WAR, 3, true), (INT_VCTR_1D{0}));
    EXPECT_EXIT(HClustering(INT_VCTR_3D(), WAR, 2, true), ::testing::ExitedWithCode(1),
                "Empty Data - HClustering");
    EXPECT_EXIT(HClustering(Individuals({{1, 2}, {2, 2}}), WAR, 0, true),
                ::testing::ExitedWithCode(1), "Number of clusters must be at least 1");
    INT_VCTR_1D A = {0}, B = {1};
    EXPECT_EXIT(LabelSamples(A, B, 0), ::testing::ExitedWithCode(1),
                "Number of clusters must be at least 1 - LabelSamples");
    INT_VCTR_1D badB = {0};
    EXPECT_EXIT(LabelSamples(A, badB, 1), ::testing::ExitedWithCode(1),
                "Invalid Merge Records - LabelSamples");
}

TEST(HClusteringEngine, UnknownMethodFailsOnlyWhenAnUpdateIsNeeded) {
    const auto unknown = static_cast<HClusteringMethod>(7);
    DBL_VCTR_1D two = {0.3};
    INT_VCTR_1D A, B;
    HClusteringEngine(2, two, unknown, A, B);
    EXPECT_EQ(B, (INT_VCTR_1D{1}));
    DBL_VCTR_1D three = {0.3, 0.5, 0.7};
    EXPECT_EXIT(HClusteringEngine(3, three, unknown, A, B), ::testing::ExitedWithCode(1),
                "Unsupported Clustering Method - HClusteringEngine");
    DBL_VCTR_1D wrongSize = {0.3, 0.5};
    EXPECT_EXIT(HClusteringEngine(3, wrongSize, WAR, A, B), ::testing::ExitedWithCode(1),
                "Wrong Size of Dissimilarity Matrix - HClusteringEngine");
}

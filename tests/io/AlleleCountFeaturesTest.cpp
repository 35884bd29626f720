#include "io/AlleleCountFeatures.h"

#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <numeric>

#include "core/ExactCheckSupport.h"

namespace {

DBL_VCTR_2D Dense(const SSparseRows& rows) {
    DBL_VCTR_2D dense(rows.Rows(), DBL_VCTR_1D(rows.cols, 0.0));
    for (int r = 0; r < rows.Rows(); ++r)
        for (int e = rows.start[r]; e < rows.start[r + 1]; ++e)
            dense[r][rows.index[e]] += rows.value[e];
    return dense;
}

// K clusters of n diploids at L loci of J alleles, each cluster with its own
// frequencies, drawn from Dirichlet(alpha).
INT_VCTR_3D SimulateGenotypes(int K, int n, int L, int J, double alpha, gsl_rng* rng,
                              INT_VCTR_1D& truth) {
    DBL_VCTR_3D freq(K, DBL_VCTR_2D(L, DBL_VCTR_1D(J)));
    const DBL_VCTR_1D a(J, alpha);
    for (auto& cluster : freq)
        for (auto& locus : cluster)
            gsl_ran_dirichlet(rng, J, a.data(), locus.data());
    INT_VCTR_3D X;
    truth.clear();
    for (int i = 0; i < K * n; ++i) {
        const int k = i % K;
        truth.push_back(k);
        X.push_back(INT_VCTR_2D(2, INT_VCTR_1D(L)));
        for (int c = 0; c < 2; ++c)
            for (int l = 0; l < L; ++l) {
                double u = gsl_rng_uniform(rng);
                int j = 0;
                while (j + 1 < J && (u -= freq[k][l][j]) >= 0)
                    ++j;
                X[i][c][l] = 100 + 2 * j;
            }
    }
    return X;
}

}  // namespace

TEST(AlleleCountFeatures, CountsCopiesAndSpreadsMissingOnesOverTheMeanFrequencies) {
    // Locus 0 has alleles 10, 12, 14; locus 1 alleles 7, 9.
    const CGenotypeStore X =
        CGenotypeStore::FromCodes({{{10, 7}, {12, 7}}, {{14, -9}, {14, 9}}, {{-1, 9}, {12, 9}}});
    const SSparseRows rows = AlleleCountFeatures(X);
    ASSERT_EQ(rows.Rows(), 3);
    ASSERT_EQ(rows.cols, 5);
    // Observed copies: locus 0: 10, 12, 14, 14, 12 (frequencies 0.2, 0.4,
    // 0.4); locus 1: 7, 7, 9, 9, 9 (0.4, 0.6).
    const DBL_VCTR_2D expected = {{1, 1, 0, 2, 0}, {0, 0, 2, 0.4, 1.6}, {0.2, 1.4, 0.4, 0, 2}};
    const DBL_VCTR_2D dense = Dense(rows);
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_NEAR(dense[r][c], expected[r][c], 1e-12) << r << " " << c;
    // Each allele carried appears once in a row: its squared norm is right.
    EXPECT_EQ(rows.start[1] - rows.start[0], 3);

    // Individuals 2 and 0 alone: their rows, the frequencies over their
    // observed copies (locus 0: 10, 12, 12 gives 1/3, 2/3, 0).
    const DBL_VCTR_2D some = Dense(AlleleCountFeatures(X, {2, 0}));
    const DBL_VCTR_2D expectedSome = {{1.0 / 3, 5.0 / 3, 0, 0, 2}, {1, 1, 0, 2, 0}};
    ASSERT_EQ(some.size(), 2u);
    for (int r = 0; r < 2; ++r)
        for (int c = 0; c < 5; ++c)
            EXPECT_NEAR(some[r][c], expectedSome[r][c], 1e-12) << r << " " << c;
}

TEST(AlleleCountFeatures, KMeansStartSeparatesGeneticClustersAndRepeatsFromTheSeed) {
    CSeededRng data(3);
    INT_VCTR_1D truth;
    INT_VCTR_3D codes = SimulateGenotypes(4, 30, 25, 6, 0.5, data.get(), truth);
    codes[5][0][3] = -9;  // some missing data
    codes[9][1][7] = -9;
    const CGenotypeStore X = CGenotypeStore::FromCodes(codes);
    CSeededRng rng(4), again(4);
    testing::internal::CaptureStdout();
    const INT_VCTR_1D labels = KMeansStartLabels(X, 4, rng.get());
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_GE(AdjustedRandIndex(labels, truth), 0.95);
    EXPECT_NE(printed.find("cluster sizes:"), std::string::npos);
    testing::internal::CaptureStdout();
    EXPECT_EQ(KMeansStartLabels(X, 4, again.get()), labels);
    testing::internal::GetCapturedStdout();
}

TEST(AlleleCountFeatures, LargeDataSetsClusterOnAnEvenlySpacedSampleOfLoci) {
    EXPECT_TRUE(KMeansLoci(100, 20, 2000).empty());
    EXPECT_EQ(KMeansLoci(100, 20, 500), (INT_VCTR_1D{0, 4, 8, 12, 16}));
    EXPECT_EQ(KMeansLoci(100, 7, 1), INT_VCTR_1D{0});  // never no locus at all
    EXPECT_EQ(KMeansLoci(3, 10, 9), (INT_VCTR_1D{0, 3, 6}));

    CSeededRng data(5);
    INT_VCTR_1D truth;
    const CGenotypeStore X =
        CGenotypeStore::FromCodes(SimulateGenotypes(3, 40, 60, 4, 0.5, data.get(), truth));
    CSeededRng rng(6), again(6);
    INT_VCTR_1D all(120);
    std::iota(all.begin(), all.end(), 0);
    testing::internal::CaptureStdout();
    const INT_VCTR_1D sampled = KMeansStartLabels(X, all, 3, rng.get(), 120 * 20);
    const std::string printed = testing::internal::GetCapturedStdout();
    EXPECT_NE(printed.find("at 20 of the 60 loci, evenly spaced"), std::string::npos) << printed;
    EXPECT_GE(AdjustedRandIndex(sampled, truth), 0.95);
    // Below the bound, every locus and no word of a sample.
    testing::internal::CaptureStdout();
    KMeansStartLabels(X, all, 3, again.get());
    EXPECT_EQ(testing::internal::GetCapturedStdout().find("loci, evenly"), std::string::npos);
}

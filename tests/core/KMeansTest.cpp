#include "core/KMeans.h"

#include <gsl/gsl_randist.h>
#include <gtest/gtest.h>

#include <cmath>

#include "core/ExactCheckSupport.h"

namespace {

// n points around each of K random centres in d dimensions; truth gets the
// cluster of every point.
DBL_VCTR_2D GaussianClusters(int K, int n, int d, double spread, double noise, gsl_rng* rng,
                             INT_VCTR_1D& truth) {
    DBL_VCTR_2D centres(K, DBL_VCTR_1D(d));
    for (DBL_VCTR_1D& c : centres)
        for (double& v : c)
            v = gsl_ran_gaussian(rng, spread);
    DBL_VCTR_2D points;
    truth.clear();
    for (int i = 0; i < n * K; ++i) {
        const int k = i % K;
        DBL_VCTR_1D x(d);
        for (int j = 0; j < d; ++j)
            x[j] = centres[k][j] + gsl_ran_gaussian(rng, noise);
        points.push_back(x);
        truth.push_back(k);
    }
    return points;
}

double Dist2(const DBL_VCTR_1D& a, const DBL_VCTR_1D& b) {
    double d2 = 0.0;
    for (size_t j = 0; j < a.size(); ++j)
        d2 += (a[j] - b[j]) * (a[j] - b[j]);
    return d2;
}

}  // namespace

TEST(KMeans, SeparatesClustersAndRepeatsFromTheSeed) {
    CSeededRng data(1);
    INT_VCTR_1D truth;
    const DBL_VCTR_2D points = GaussianClusters(6, 40, 10, 4.0, 1.0, data.get(), truth);
    CSeededRng rng(2), again(2);
    const SKMeansResult res = KMeans(points, 6, 10, rng.get());
    EXPECT_DOUBLE_EQ(AdjustedRandIndex(res.labels, truth), 1.0);
    EXPECT_EQ(res.labels[0], 0);  // numbered by first member
    EXPECT_EQ(res.sizes, INT_VCTR_1D(6, 40));
    const SKMeansResult repeat = KMeans(points, 6, 10, again.get());
    EXPECT_EQ(repeat.labels, res.labels);
    EXPECT_EQ(repeat.withinSS, res.withinSS);
}

TEST(KMeans, EndsOnAFixedPointOfLloydIterations) {
    // Overlapping clusters take many iterations, in which the bounds let most
    // distances go uncomputed: at the end every point must still be nearest
    // to its own centre, and every centre be the mean of its points.
    for (unsigned long seed = 3; seed < 13; ++seed) {
        CSeededRng rng(seed);
        INT_VCTR_1D truth;
        const DBL_VCTR_2D points = GaussianClusters(5, 60, 4, 1.0, 1.0, rng.get(), truth);
        const SKMeansResult res = KMeans(points, 7, 1, rng.get());
        double withinSS = 0.0;
        DBL_VCTR_2D means(7, DBL_VCTR_1D(4, 0.0));
        for (size_t i = 0; i < points.size(); ++i) {
            const int own = res.labels[i];
            for (int k = 0; k < 7; ++k)
                ASSERT_LE(Dist2(points[i], res.centres[own]),
                          Dist2(points[i], res.centres[k]) + 1e-9)
                    << "seed " << seed << " point " << i;
            withinSS += Dist2(points[i], res.centres[own]);
            for (int j = 0; j < 4; ++j)
                means[own][j] += points[i][j] / res.sizes[own];
        }
        for (int k = 0; k < 7; ++k) {
            ASSERT_GT(res.sizes[k], 0) << "seed " << seed;
            for (int j = 0; j < 4; ++j)
                EXPECT_NEAR(res.centres[k][j], means[k][j], 1e-9);
        }
        EXPECT_NEAR(res.withinSS, withinSS, 1e-9 * withinSS);
    }
}

TEST(KMeans, FewPointsOneClusterAndRepeatedPoints) {
    CSeededRng rng(5);
    const DBL_VCTR_2D three = {{0, 1}, {4, 1}, {2, 7}};
    SKMeansResult alone = KMeans(three, 5, 10, rng.get());
    EXPECT_EQ(alone.labels, (INT_VCTR_1D{0, 1, 2}));
    EXPECT_EQ(alone.withinSS, 0.0);

    const SKMeansResult one = KMeans(three, 1, 3, rng.get());
    EXPECT_EQ(one.labels, (INT_VCTR_1D{0, 0, 0}));
    EXPECT_DOUBLE_EQ(one.centres[0][0], 2.0);
    EXPECT_DOUBLE_EQ(one.centres[0][1], 3.0);
    EXPECT_DOUBLE_EQ(one.withinSS, 4 + 4 + 0 + 4 + 4 + 16);

    // Two distinct values, three clusters: one stays empty, nothing breaks.
    const DBL_VCTR_2D twoValues = {{1}, {1}, {5}, {5}, {1}};
    const SKMeansResult res = KMeans(twoValues, 3, 10, rng.get());
    EXPECT_EQ(res.labels, (INT_VCTR_1D{0, 0, 1, 1, 0}));
    EXPECT_EQ(res.sizes, (INT_VCTR_1D{3, 2, 0}));
    EXPECT_EQ(res.withinSS, 0.0);

    EXPECT_EXIT(KMeans(three, 0, 10, rng.get()), ::testing::ExitedWithCode(1), "KMeans");
}

TEST(KMeans, AdjustedRandIndexOfKnownPartitions) {
    const INT_VCTR_1D a = {0, 0, 0, 1, 1, 1};
    EXPECT_DOUBLE_EQ(AdjustedRandIndex(a, {5, 5, 5, 2, 2, 2}), 1.0);
    // Pairs together in both: 2 of 15; 6 in a, 3 in b: (2 - 1.2) / (4.5 - 1.2).
    EXPECT_NEAR(AdjustedRandIndex(a, {0, 0, 1, 1, 2, 2}), 0.8 / 3.3, 1e-12);
    EXPECT_DOUBLE_EQ(AdjustedRandIndex({0, 0, 0}, {1, 1, 1}), 1.0);
    // Unrelated random partitions score near 0.
    CSeededRng rng(7);
    INT_VCTR_1D x(2000), y(2000);
    for (size_t i = 0; i < x.size(); ++i) {
        x[i] = static_cast<int>(gsl_rng_uniform_int(rng.get(), 4));
        y[i] = static_cast<int>(gsl_rng_uniform_int(rng.get(), 4));
    }
    EXPECT_NEAR(AdjustedRandIndex(x, y), 0.0, 0.01);
}

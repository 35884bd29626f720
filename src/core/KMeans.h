// k-means clustering of points in R^d: k-means++ seeding, Lloyd iterations
// to convergence, the best of several restarts by within-cluster sum of
// squares. The points are held as sparse rows, since the features the
// programs cluster (allele counts) are mostly zeros.
#ifndef BRELO_CORE_KMEANS_H
#define BRELO_CORE_KMEANS_H

#include <gsl/gsl_rng.h>

#include "core/VectorUtilities.h"

// Rows of an n x cols matrix, each as its nonzero entries: row r holds
// index[start[r] .. start[r+1]-1] with the values of the same positions.
struct SSparseRows {
    int cols = 0;
    INT_VCTR_1D start = {0};
    INT_VCTR_1D index;
    DBL_VCTR_1D value;

    int Rows() const { return static_cast<int>(start.size()) - 1; }
    // Appends a row from its dense form (cols entries).
    void AddDenseRow(const DBL_VCTR_1D& row);
};

struct SKMeansResult {
    INT_VCTR_1D labels;   // cluster of each point, numbered by first member:
                          // the cluster of point 0 is 0, the next new one 1...
    DBL_VCTR_2D centres;  // K x cols, the means of the clusters
    INT_VCTR_1D sizes;    // points per cluster
    double withinSS = 0.0;
};

// k-means clustering of the points into K clusters, the best of restarts
// runs by within-cluster sum of squares (the first one on ties). Each run:
// k-means++ seeding (the first centre a uniform point, each further one a
// point drawn with probability proportional to its squared distance to the
// nearest centre chosen), then Lloyd iterations (each point to its nearest
// centre, the lowest index on ties; each centre to the mean of its points)
// until no point changes cluster. A cluster left empty takes the point
// farthest from its centre. The iterations skip the distances that Hamerly's
// bounds show cannot change a point's cluster, so they end where plain Lloyd
// iterations end at a fraction of the cost. Every random draw comes from
// rng. K >= number of points puts each point alone. K >= 1, restarts >= 1, at
// least one point; rows of the dense form must have one length.
SKMeansResult KMeans(const SSparseRows& points, int K, int restarts, const gsl_rng* rng);
SKMeansResult KMeans(const DBL_VCTR_2D& points, int K, int restarts, const gsl_rng* rng);

// Adjusted Rand index of two partitions of the same items (labels >= 0): 1
// for the same partition whatever the label names, 0 on average for
// unrelated ones. 1 when both put every item in one cluster or each alone.
double AdjustedRandIndex(const INT_VCTR_1D& a, const INT_VCTR_1D& b);

#endif

// The individuals described by their allele counts, and the starting labels
// both programs draw from a k-means clustering of those counts (-jk).
#ifndef BRELO_IO_ALLELECOUNTFEATURES_H
#define BRELO_IO_ALLELECOUNTFEATURES_H

#include <gsl/gsl_rng.h>

#include "core/KMeans.h"
#include "core/VectorUtilities.h"

// One row per individual of X (N x A x L), one column per allele of each
// locus (the alleles of alleleV[l] in order, locus after locus; lists beyond
// the L loci of X are ignored): the number of the individual's copies that
// carry the allele. A missing copy (a negative code, or one not listed)
// counts, for every allele of its locus, that allele's mean frequency over
// all observed copies of the locus, so that missing data pull nobody.
SSparseRows AlleleCountFeatures(const INT_VCTR_3D& X, const INT_VCTR_2D& alleleV);

// Starting labels 0..K-1 of the individuals of X: k-means of their allele
// counts, best of 10 runs, every draw from rng (so the printed seed repeats
// them). Prints one line with the sizes of the clusters.
INT_VCTR_1D KMeansStartLabels(const INT_VCTR_3D& X, const INT_VCTR_2D& alleleV, int K,
                              const gsl_rng* rng);

// Runs of k-means behind the starting labels.
constexpr int KMEANS_START_RUNS = 10;

#endif

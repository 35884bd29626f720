// The individuals described by their allele counts, and the starting labels
// both programs draw from a k-means clustering of those counts (-jk).
#ifndef BRELO_IO_ALLELECOUNTFEATURES_H
#define BRELO_IO_ALLELECOUNTFEATURES_H

#include <gsl/gsl_rng.h>

#include <cstddef>

#include "core/KMeans.h"
#include "core/VectorUtilities.h"
#include "io/GenotypeStore.h"

// One row per individual of X (or per individual of rows, 0-based, in that
// order), one column per allele of each locus (the alleles of X.Alleles(l)
// in order, locus after locus): the number of the individual's copies that
// carry the allele. A missing copy counts, for every allele of its locus,
// that allele's mean frequency over the observed copies of the locus among
// the individuals described, so that missing data pull nobody.
SSparseRows AlleleCountFeatures(const CGenotypeStore& X);
SSparseRows AlleleCountFeatures(const CGenotypeStore& X, const INT_VCTR_1D& rows);

// Genotypes (individuals x loci) the k-means start describes at most: beyond
// that it clusters the individuals on an evenly spaced sample of the loci
// (the printed line says how many).
constexpr size_t KMEANS_MAX_GENOTYPES = 2000000;

// Starting labels 0..K-1 of the individuals of X (or of rows): k-means of
// their allele counts, best of 10 runs, every draw from rng (so the printed
// seed repeats them). Prints one line with the sizes of the clusters.
// Past KMEANS_MAX_GENOTYPES genotypes, the loci of KMeansLoci alone.
INT_VCTR_1D KMeansStartLabels(const CGenotypeStore& X, int K, const gsl_rng* rng);
INT_VCTR_1D KMeansStartLabels(const CGenotypeStore& X, const INT_VCTR_1D& rows, int K,
                              const gsl_rng* rng, size_t maxGenotypes = KMEANS_MAX_GENOTYPES);

// Runs of k-means behind the starting labels.
constexpr int KMEANS_START_RUNS = 10;

// The loci of that sample for individuals x L genotypes: empty when every
// locus fits, else floor(m L / M) for m = 0..M-1, M = maxGenotypes /
// individuals (at least 1).
INT_VCTR_1D KMeansLoci(size_t individuals, int L, size_t maxGenotypes);

#endif

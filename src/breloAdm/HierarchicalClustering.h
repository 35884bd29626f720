// Agglomerative hierarchical clustering of the genotypes, cut into K groups.
// breloAdm uses it (Ward's rule on the allele-sharing dissimilarity) to give
// the sampler its initial cluster labels.
#ifndef BRELO_BRELOADM_HIERARCHICALCLUSTERING_H
#define BRELO_BRELOADM_HIERARCHICALCLUSTERING_H

#include "core/VectorUtilities.h"
#include "io/GenotypeStore.h"

// Linkage rules, with the values stored by callers. The fixed underlying type
// keeps any int a valid value, refused by the engine when unknown.
enum HClusteringMethod : int { AVE = 0, CEN = 1, COM = 2, MCQ = 3, MED = 4, SIN = 5, WAR = 6 };

// Condensed upper triangle of the N x N dissimilarities: pair (i, j), i < j,
// sits at i*N - (i+1)(i+2)/2 + j.
inline size_t CondensedIndex(size_t N, size_t i, size_t j) {
    return i * N - (i + 1) * (i + 2) / 2 + j;
}

// Pairwise dissimilarities of the N individuals of X[i][a][l]. With bG:
// 1 - (matching copy pairs)/(A*A*L), every copy of i against every copy of j
// (allele sharing); otherwise the Euclidean distance of the code vectors.
// Codes compare as the data gave them, missing codes included.
DBL_VCTR_1D BuildDissimilarityMatrix(const CGenotypeStore& X, bool bG);
// The same of nested codes (every individual of the first one's shape).
DBL_VCTR_1D BuildDissimilarityMatrix(const INT_VCTR_3D& X, bool bG);

// Merges the N singletons N-1 times. Step s merges group ResultB[s] into
// group ResultA[s] (ResultA[s] < ResultB[s]; a group is represented by its
// smallest member). dm is overwritten by the Lance-Williams updates.
// Closest pair: lowest first index, then lowest second index, on ties.
void HClusteringEngine(int N, DBL_VCTR_1D& dm, HClusteringMethod m, INT_VCTR_1D& ResultA,
                       INT_VCTR_1D& ResultB);

// Applies the first N-K merges and numbers the groups by their smallest
// member: the group of individual 0 gets label 0, and so on. K >= 1.
INT_VCTR_1D LabelSamples(const INT_VCTR_1D& ResultA, const INT_VCTR_1D& ResultB, int K);

// The three steps in a row: one label in 0 ... NoC-1 per individual.
INT_VCTR_1D HClustering(const CGenotypeStore& X, HClusteringMethod m, int NoC, bool bG);
INT_VCTR_1D HClustering(const INT_VCTR_3D& X, HClusteringMethod m, int NoC, bool bG);

#endif

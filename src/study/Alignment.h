// Label alignment of membership matrices (N individuals x K clusters, each
// row summing to 1): the cluster permutation that brings one chain closest
// to another, and the similarity of two aligned chains.
#ifndef BRELO_STUDY_ALIGNMENT_H
#define BRELO_STUDY_ALIGNMENT_H

#include <vector>

#include "core/VectorUtilities.h"

// Exact minimum-cost assignment on a square cost matrix (Hungarian method
// with potentials, O(n^3)): result[row] is the column given to that row.
std::vector<int> MinimumCostAssignment(const DBL_VCTR_2D& cost);

// The permutation of Q's clusters that minimises the Frobenius distance to
// reference: result[a] is the column of reference that Q's cluster a takes.
// reference may have fewer clusters than Q (a smaller K): it is read with
// empty columns added, and Q's extra clusters take the columns beyond it.
std::vector<int> AlignClusters(const DBL_VCTR_2D& Q, const DBL_VCTR_2D& reference);

// Q with its cluster a moved to column permutation[a].
DBL_VCTR_2D PermuteClusters(const DBL_VCTR_2D& Q, const std::vector<int>& permutation);

// 1 - ||Q1 - Q2||_F / sqrt(2 N): 1 for equal matrices, 0 when every
// individual sits wholly in different clusters. Q1 and Q2 have equal sizes.
double Similarity(const DBL_VCTR_2D& Q1, const DBL_VCTR_2D& Q2);

// The similarity of Q2 aligned to Q1.
double AlignedSimilarity(const DBL_VCTR_2D& Q1, const DBL_VCTR_2D& Q2);

#endif

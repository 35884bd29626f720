// Modes of a set of chains run with the same K: chains whose aligned
// memberships are more similar than a threshold fall in one mode.
#ifndef BRELO_STUDY_MODES_H
#define BRELO_STUDY_MODES_H

#include <vector>

#include "core/VectorUtilities.h"

struct SMode {
    std::vector<int> chains;               // positions in the input, increasing
    DBL_VCTR_2D meanQ;                     // the members' aligned mean memberships
    std::vector<double> similarityToMean;  // of each member, in the order of chains
    double meanDIC = 0;                    // NaN when no member has a DIC
    double meanPairSimilarity = 0;         // over pairs of members; NaN for one chain
};

// Pairwise similarities of the chains, each pair optimally aligned.
DBL_VCTR_2D PairwiseSimilarities(const std::vector<DBL_VCTR_2D>& Q);

// Groups the chains into modes: two chains whose similarity exceeds
// threshold are in the same mode, and so are chains linked through others.
// Modes come largest first (the first is the major mode); among equal sizes
// the lower mean DIC comes first (NaN DICs count as worst).
std::vector<SMode> FindModes(const std::vector<DBL_VCTR_2D>& Q, const std::vector<double>& DIC,
                             double threshold);

// The mean memberships of chains: each is aligned to the chain of lowest
// DIC, then again to the mean until no alignment changes. Also gives each
// chain's similarity to the mean.
DBL_VCTR_2D AlignedMean(const std::vector<const DBL_VCTR_2D*>& Q, const std::vector<double>& DIC,
                        std::vector<double>& similarityToMean);

#endif

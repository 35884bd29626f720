// The best run of breloAdm on a data file, kept for each number of clusters:
// the record "<data>MDIC_admCAR_K<K>" (its DIC and trend degree) and its
// continuation file "<data>CFadmCAR_K<K>", readable with -p. A run with K
// clusters only ever compares itself with, and replaces, the pair of its K.
#ifndef BRELO_IO_BESTRUNRECORD_H
#define BRELO_IO_BESTRUNRECORD_H

#include <string>

#include "core/CopyLabels.h"
#include "core/VectorUtilities.h"

struct SBestRun {
    double DIC = 0.0;
    int trendDegree = 0;
    std::string recordFile;  // where the record was read
    std::string cfFile;      // its continuation file
};

// FIFN (the data file path) + "MDIC_admCAR_K" + K / "CFadmCAR_K" + K.
std::string BestRunRecordName(const std::string& FIFN, int K);
std::string BestRunCFName(const std::string& FIFN, int K);

// The record of the best run with K clusters: the pair named for K or, when
// there is none, an older pair without K in its names ("MDIC_admCAR" and
// "CFadmCAR") whose continuation file holds K clusters. A pair that a run
// killed between its two renames left half done is completed first. False
// when there is no readable record for K (a malformed one is reported).
bool ReadBestRun(const std::string& FIFN, int K, SBestRun& best);

// Writes the pair of K so that a process killed at any instant leaves the
// old pair or the new one: both files are written in full to temporary
// names and synced, then the continuation file is renamed into place, and
// the record last. (Killed between the two renames, the new record waits
// complete under its temporary name; ReadBestRun finishes the rename.)
// False, with one line on stderr, when a file cannot be written.
bool WriteBestRun(const std::string& FIFN, int K, int trendDegree, double DIC,
                  const DBL_VCTR_1D& sigma, const DBL_VCTR_2D& beta, const DBL_VCTR_2D& alpha,
                  const DBL_VCTR_2D& q, const CCopyLabels& zadmix, const DBL_VCTR_3D& p);

#endif

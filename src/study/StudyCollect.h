// -collect: reads whatever chains of a study have finished, aligns their
// labels, finds the modes, and writes the study's tables and figures.
#ifndef BRELO_STUDY_STUDYCOLLECT_H
#define BRELO_STUDY_STUDYCOLLECT_H

#include <string>
#include <vector>

#include "study/StudyOptions.h"
#include "study/StudySummary.h"

// The state of chain (K, replicate) of a study from the files in its folder.
SChainResult LoadChain(const SStudySettings& study, int K, int replicate);

// Collects the study in studyDir; labelsFile may be empty. Refuses (one
// line, exit 1) a folder without a study or labels that do not match.
// Returns the chosen K, 0 when none.
int CollectStudy(const std::string& studyDir, const std::string& labelsFile, double threshold);

#endif

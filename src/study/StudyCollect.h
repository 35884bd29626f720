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

struct SCollectOutcome {
    int chosenK = 0;     // 0 when Delta K is nowhere defined
    int failed = 0;      // chains that failed
    int unfinished = 0;  // chains not run yet, running or stopped
};

// Collects the study in studyDir with the labels of labelsFile, or when it
// is empty those recorded by -run or -jobs (if any). Refuses (one
// line, exit 1) a folder without a study or labels that do not match.
SCollectOutcome CollectStudy(const std::string& studyDir, const std::string& labelsFile,
                             double threshold);

#endif

// The study's chains as shell command lines, for GNU parallel (jobs.txt,
// one complete command a line) and for a Slurm array (study.sbatch, whose
// task i runs line i of jobs.txt). A line does what -run does for a chain:
// runs the program with the chain's seed, output to its run.log, then
// leaves the done marker or the failed marker with the exit status.
#ifndef BRELO_STUDY_JOBFILES_H
#define BRELO_STUDY_JOBFILES_H

#include <string>
#include <vector>

#include "study/StudyPlan.h"

// text in single quotes for a POSIX shell.
std::string ShellQuote(const std::string& text);

// The command line of one chain, run from workingDir.
std::string ChainCommandLine(const SChainPlan& chain, const std::string& workingDir);

// Writes <study>/jobs.txt and <study>/study.sbatch for the chains that have
// no done marker; returns how many lines jobs.txt holds.
int WriteJobFiles(const std::string& studyDir, const std::vector<SChainPlan>& plan,
                  const std::string& workingDir);

#endif

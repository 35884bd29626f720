// The study's chains for GNU parallel and Slurm. Each chain gets its own
// script in its folder (chain.sh): it takes the chain's lock, runs the
// program with the chain's seed, its output to run.log, and leaves the done
// marker or the failed marker with the exit status; a chain that has ended or
// runs elsewhere is left alone. jobs.txt runs one script a line; the tasks of
// the Slurm array study.sbatch find their chain by its K and replicate in
// the list the script holds, fixed when it is submitted.
#ifndef BRELO_STUDY_JOBFILES_H
#define BRELO_STUDY_JOBFILES_H

#include <string>
#include <vector>

#include "study/StudyPlan.h"

// text in single quotes for a POSIX shell.
std::string ShellQuote(const std::string& text);

// The script of one chain, run from workingDir.
std::string ChainScriptText(const SChainPlan& chain, const std::string& workingDir);

// A default time limit for one chain in Slurm's format ([D-]HH:MM:SS):
// several times a rough cost of the chain from its size, at least 30 minutes,
// or several times the longest run time among the chains already finished
// (longestSeconds > 0).
std::string DefaultChainTime(const SStudySettings& s, double longestSeconds);

// True when the scheduler's options set the time limit themselves.
bool SetsTimeLimit(const std::string& sbatchOptions);

// Writes the chain scripts and their queued markers, <study>/jobs.txt and
// <study>/study.sbatch for the chains that have no done marker; returns how
// many chains they list. Refuses (exit 1) when a file cannot be written.
int WriteJobFiles(const SStudySettings& s, const std::vector<SChainPlan>& plan,
                  const std::string& workingDir, const std::string& timeLimit);

#endif

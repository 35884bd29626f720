// The command line of breloStudy:
//   breloStudy -run     -P<program> -K<a>:<b> [-R<n>] [-j<n>] -o<study> [-seed<n>]
//                       [-labels<file>] [-modes<x>] [-cv] [-fresh] [-force]
//                       -- <options of the program>
//   breloStudy -jobs    (the same options, and -sbatch<options>): writes the
//                       job list, runs nothing
//   breloStudy -collect -o<study> [-labels<file>] [-modes<x>]
// Every option is one word, its value written behind its name. A refused
// command line gets one line on standard error and exit status 1.
#ifndef BRELO_STUDY_STUDYOPTIONS_H
#define BRELO_STUDY_STUDYOPTIONS_H

#include <string>
#include <vector>

#include "study/ChainFiles.h"

enum class StudyMode { None, Run, Jobs, Collect };

struct SStudySettings {
    StudyMode mode = StudyMode::None;
    std::string programPath;  // the program's executable
    StudyProgram program = StudyProgram::Brelo;
    int kMin = 0, kMax = 0;
    int replicates = 5;
    int jobs = 0;  // 0 until set: the number of cores
    bool seedGiven = false;
    unsigned long seed = 0;
    std::string studyDir;
    std::string labelsFile;
    double modeThreshold = 0.9;
    bool fresh = false;         // -fresh: the study's earlier chains and files removed first
    bool force = false;         // -force: run or write jobs even with chains queued by -jobs
    bool heldOut = false;       // -cv: each chain also scores held-out data
    std::string sbatchOptions;  // -sbatch: options of the scheduler for study.sbatch
    std::vector<std::string> programOptions;  // as given, -i included
    // Read from the program's options:
    std::string dataFile;   // -F
    std::string inputDir;   // -i, empty for the current folder
    long individuals = -1;  // -N, -1 when not a number
    long loci = -1;         // -L, -1 when not a number
    int threads = 1;        // -t: threads of each chain (0: every core)
    long sweeps = -1;       // -S, -1 when not a number
    long burnIn = -1;       // -B, -1 when not a number
};

// The largest replicate count: chain seeds are spaced by it across K.
constexpr int kMaxReplicates = 1000;

// A whole decimal integer, nothing else (no blank before it, nothing after).
bool ParseInteger(const std::string& text, long& value);

// Prints message as the one line of a refusal and exits with status 1.
[[noreturn]] void RefuseStudy(const std::string& message);

// The usage text of breloStudy (--help), from which an unknown option is
// refused with the nearest known ones.
std::vector<std::string> StudyUsageLines();

// Parses and checks the command line (program found, data file present,
// options the study sets itself absent, labels matching -N ...).
SStudySettings ParseStudyOptions(const std::vector<std::string>& args);

// The program's executable: a path as given, else the program next to
// breloStudy, else on PATH; empty when none is found.
std::string FindProgram(const std::string& name);

// Reads the labels file, one label a line (blank lines at the end dropped);
// refuses it when it cannot be read or does not hold individuals labels
// (individuals < 0: any number).
std::vector<std::string> ReadLabels(const std::string& file, long individuals);

// The number of cores this process may use.
int AvailableCores();

// Chains run at once by default: every core busy, each chain counted with
// its threads (-t of the program; -t0 takes every core).
int DefaultJobs(int cores, int threadsPerChain);

// Reads what the study needs from the program's options (-F, -i, -N, -S, -B
// and -t) into s.
void ReadProgramSettings(SStudySettings& s);

#endif

// Small run helpers shared by both programs: progress and timing lines, file
// names, and the readers of option values.
#ifndef BRELO_CORE_MISCUTILITIES_H
#define BRELO_CORE_MISCUTILITIES_H

#include <chrono>
#include <cstddef>
#include <ctime>
#include <fstream>
#include <string>

// Number of decimal digits of TotalSweep (1 for values below 10, including 0).
int NumOfDigits(int TotalSweep);

// When sweepsDone is a positive multiple of 100, prints the count zero-padded
// to numOfDigits followed by " sweeps completed." on standard output.
void PrintSweepProgress(int sweepsDone, int numOfDigits);

// Prints the time elapsed since start (wall clock: the threads of a run
// do not add up): "This run takes " (brelo) or "This run took " (breloAdm),
// seconds with 3 decimals, " seconds to complete on this computer.", then
// one line end (brelo) or three (breloAdm).
void PrintRunTime(std::chrono::system_clock::time_point start);

// FoI + "/" + F, or F when FoI is empty.
std::string MakeInputPath(const std::string& FoI, const std::string& F);
// FoO + "/" + F (or F when FoO is empty), then "_RUN" + run + "_" when run is
// not empty: the prefix of every result file of a run.
std::string MakeOutputPrefix(const std::string& FoO, const std::string& F, const std::string& run);

// text without the blanks (spaces, tabs, line ends) at either end.
std::string Trim(const std::string& text);

// The value of an option argument whose first prefixLength characters name
// the option (-K3: 2; -XL1: 3). The whole value must be a number: a decimal
// integer within the range of int, or a finite real. Anything else (-Babc,
// -B, -Bnan, -K3x) is refused through RefuseInput, naming the option.
int ReadIntOption(const char* arg, size_t prefixLength);
double ReadDoubleOption(const char* arg, size_t prefixLength);

// Whether an argument beginning with -o is the run label option -orun (its
// value is then what follows "-orun") rather than the output folder -o.
// A run label becomes part of every file name and cannot hold a '/', so
// -oruns/x is the folder runs/x: the longer option name wins only when its
// value fits it.
bool IsRunLabelOption(const std::string& arg);

// The two questions every program answers before reading its options: when
// an argument is "--help", prints the usage (showUsage); when it is
// "--version", prints "<program> <version>" on standard output; the first of
// them wins. True when it answered (the program then exits with status 0).
bool AnswerInfoOption(int argc, const char* const* argv, void (*showUsage)());

// Ends the run on input that makes no sense: prints message as one line on
// standard error and exits with status 1 (Refuse).
[[noreturn]] void RefuseInput(const std::string& message);

// Refuses, through RefuseInput, sampler settings that make no sense: fewer
// than one cluster (-K) or sweep (-S), a Dirichlet parameter (-D) that is not
// a positive number, a negative burn-in (-B), or a burn-in that leaves no
// sweep to keep. BurnInStructure is brelo's structure burn-in (-BS), which
// also comes before the kept sweeps; breloAdm passes 0.
void CheckChainSettings(int K, double lambda, int TotalSweep, int BurnIn, int BurnInStructure);

// Refuses, through RefuseInput, a start from k-means clusters (-jk) with
// fewer than 2 clusters.
void CheckKMeansStart(bool kmeansStart, int K);

// Refuses, through RefuseInput, a number of replicas (-rx) outside
// 1..kMaxReplicas and a number of threads (-t) outside 0..kMaxThreads.
constexpr int kMaxReplicas = 64, kMaxThreads = 256;
void CheckReplicaSettings(int replicas, int threads);

// Result files. OpenResultFile opens File for writing (truncated); a file
// that cannot be created ends the run (RefuseInput: "Cannot open file " +
// File + " - " + func). CloseResultFile closes it and ends the run unless
// every byte reached the file ("Cannot write file ..."): a full disk or a
// folder removed during the run must not pass for a completed run.
std::ofstream OpenResultFile(const std::string& File, const char* func);
void CloseResultFile(std::ofstream& ofs, const std::string& File, const char* func);

// Refuses, through RefuseInput, a number of sweeps whose traces (the values
// kept for every sweep: valuesPerSweep of them, 8 bytes each) would not fit
// in the memory of this computer (or the address-space limit of the
// process, when one is set).
void CheckTraceMemory(int TotalSweep, double valuesPerSweep);

// The memory a run may count on: the physical memory of the computer, or
// the address-space limit of the process when it is lower (bytes).
double AvailableMemoryBytes();

// Runs a program's main body so that a failed allocation (or a size beyond
// what a container can hold) that no check caught ends the program with one
// line on its message stream and exit status 1, never an abort.
int RunProgram(int (*body)(int, char**), int argc, char** argv);

#endif

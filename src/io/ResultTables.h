// Plain result tables of both programs, for R and other tools: a header
// line, then one row per record, fields separated by one tab, texts quoted
// where they need it (TableText.h). Each loads with
// read.delim(file, na.strings = character()) in R and csv.reader(file,
// delimiter="\t") in Python.
//
// Names: every estimating run writes its tables under the prefix of its
// other result files (MakeOutputPrefix: output folder + "/" + data file
// name, then "_RUN" + run label + "_" when the run has a label) followed by
// the suffix: <prefix>Q.txt, <prefix>P.txt, <prefix>run.txt. For example
// out/data.txtQ.txt, or out/data.txt_RUN3_Q.txt for run 3 of a series.
#ifndef BRELO_IO_RESULTTABLES_H
#define BRELO_IO_RESULTTABLES_H

#include <chrono>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "core/VectorUtilities.h"
#include "io/TableText.h"

inline constexpr const char* kQTableSuffix = "Q.txt";
inline constexpr const char* kPTableSuffix = "P.txt";
inline constexpr const char* kRunTableSuffix = "run.txt";
inline constexpr const char* kLabelsSuffix = "labels.txt";

// Q.txt: header "id\tcluster1\t...\tclusterK", then per individual its id
// and its K values (memberships in brelo, admixture proportions in
// breloAdm). ids gives one name per row of Q. False, with a message, when
// ids and Q differ in length or the file cannot be written.
bool SaveQTable(const DBL_VCTR_2D& Q, const std::vector<std::string>& ids, const std::string& File);

// labels.txt: the population number of each individual, one a line without
// header, in the order of the rows of Q.txt (what a -labels option reads).
// False, with a message, when the file cannot be written.
bool SaveLabelTable(const INT_VCTR_1D& labels, const std::string& File);

// P.txt: header "cluster\tlocus\tallele\tfrequency", then one row per
// cluster k (from 1), locus l and allele j of alleleV[l]: k, locusNumber[l]
// (the locus's number in the data file, from 1), the allele code,
// p[k][l][j]. False, with a message, when the shapes disagree or the file
// cannot be written.
bool SavePTable(const DBL_VCTR_3D& p, const INT_VCTR_2D& alleleV, const INT_VCTR_1D& locusNumber,
                const std::string& File);
// 1, 2, ... L: the locus numbers of a run that keeps every locus.
INT_VCTR_1D PositionLocusNumbers(int L);

// What run.txt records of a run, gathered while it goes.
struct SRunRecord {
    std::string commandLine;       // the arguments, shell-quoted where needed
    std::string workingDirectory;  // where relative file names start
    std::string inputFile;         // the data file as opened
    unsigned long seed = 0;        // seed of the run's generator
    std::chrono::system_clock::time_point start;
    std::clock_t cpuStart = 0;
    // Further facts (name, value) of the run's settings, after the others.
    std::vector<std::pair<std::string, std::string>> settings;
};

// A record started now for the command line argv and the data file.
SRunRecord StartRunRecord(int argc, const char* const* argv, const std::string& inputFile);

// run.txt: one row under a header of the facts it records: program,
// version, command_line, working_directory, seed (a plain integer),
// start_time, end_time (local time, ISO 8601 with offset), run_time_seconds
// (elapsed), cpu_time_seconds, host, input_file, input_size_bytes and
// input_modified, then the settings of record.settings; a fact that cannot
// be known (a file that cannot be examined, a setting given as NA) is NA,
// unquoted. The end is the moment of writing. False, with a
// message, when the file cannot be written.
bool SaveRunTable(const SRunRecord& record, const std::string& File);

// Local time in ISO 8601 with its offset, e.g. 2024-05-01T14:03:07+0200.
std::string IsoLocalTime(std::time_t t);

#endif

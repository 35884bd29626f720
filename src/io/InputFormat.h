// The input formats both programs read besides their ordinary layout, chosen
// on the command line: -fvcf (VCF or BCF), -fgenepop (GENEPOP) and -fplink
// (PLINK .bed/.bim/.fam), with -C<file> for the coordinates and covariates
// such files do not carry.
#ifndef BRELO_IO_INPUTFORMAT_H
#define BRELO_IO_INPUTFORMAT_H

#include <string>
#include <vector>

#include "io/GenotypeTable.h"

enum class EInputFormat { Ordinary, Vcf, Genepop, Plink };

struct SInputOptions {
    EInputFormat format = EInputFormat::Ordinary;  // -f
    std::string sideTable;                         // -C
    bool HasFormat() const { return format != EInputFormat::Ordinary; }
};

// Reads arg when it is -f<name> (vcf, bcf, genepop or plink, in any case) or
// -C<file>, and returns true; false for any other option, a format name it
// does not know included (the program refuses it as an unknown option). An
// empty -C is refused (one line, exit status 1).
bool ParseInputOption(const char* arg, SInputOptions& input);

// True when one of the arguments chooses a format (-f...): the counts -N,
// -A and -L then come from the file and may be left out.
bool NamesInputFormat(int argc, const char* const* argv);

// "-fvcf", "-fgenepop", "-fplink" or "the ordinary layout", for messages.
std::string FormatName(EInputFormat format);

// A program's usage lines followed by those of -f and -C (both programs end
// their usage so).
std::vector<std::string> WithInputFormatUsage(std::vector<std::string> lines);

// The genotypes of a file of the given format (not the ordinary layout),
// read in one pass with every check of its reader.
SGenotypeTable ReadGenotypeTable(EInputFormat format, const std::string& File);
// The same, but the table TakeCountsFromFile read from that file is taken
// (not read again) when there is one: the file is read once a process.
SGenotypeTable TakeGenotypeTable(EInputFormat format, const std::string& File);

// The counts of a command line, with whether each was given.
struct SCountOption {
    int& value;
    bool& given;
};

// Sets N, A and L to the counts of the file at path, marked as given. A
// count also given on the command line must agree, else the run is refused
// naming both values.
void TakeCounts(const SGenotypeCounts& counts, const std::string& path, SCountOption N,
                SCountOption A, SCountOption L);
// With a format: reads the file at path (once: the table is kept for
// TakeGenotypeTable) and takes its counts. Nothing happens for the ordinary
// layout.
void TakeCountsFromFile(const SInputOptions& input, const std::string& path, SCountOption N,
                        SCountOption A, SCountOption L);

#endif

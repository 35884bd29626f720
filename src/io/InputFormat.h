// The input formats both programs read besides their ordinary layout, chosen
// on the command line: -fvcf (VCF or BCF) and -fgenepop (GENEPOP), with
// -C<file> for the coordinates and covariates such files do not carry.
#ifndef BRELO_IO_INPUTFORMAT_H
#define BRELO_IO_INPUTFORMAT_H

#include <string>

#include "io/GenotypeTable.h"

enum class EInputFormat { Ordinary, Vcf, Genepop };

struct SInputOptions {
    EInputFormat format = EInputFormat::Ordinary;  // -f
    std::string sideTable;                         // -C
    bool HasFormat() const { return format != EInputFormat::Ordinary; }
};

// Reads arg when it is -f<name> (vcf, bcf or genepop, in any case) or
// -C<file>, and returns true; false for any other option. A format name it
// does not know or an empty -C is refused (one line, exit status 1).
bool ParseInputOption(const char* arg, SInputOptions& input);

// True when one of the arguments chooses a format (-f...): the counts -N,
// -A and -L then come from the file and may be left out.
bool NamesInputFormat(int argc, const char* const* argv);

// "-fvcf", "-fgenepop" or "the ordinary layout", for messages.
std::string FormatName(EInputFormat format);

// Prints the usage lines of -f and -C (both programs end their usage so).
void ShowInputFormatUsage();

// The counts of a file of the given format (not the ordinary layout), read
// with every check of its reader; nothing else is kept.
SGenotypeCounts CountGenotypes(EInputFormat format, const std::string& File);
// The genotypes of such a file, stored into a store of the given counts (a
// file that does not hold them is refused).
SGenotypeTable ReadGenotypeTable(EInputFormat format, const std::string& File,
                                 const SGenotypeCounts& counts);

// The counts of a command line, with whether each was given.
struct SCountOption {
    int& value;
    bool& given;
};

// With a format: reads N, A and L from the file at path and sets them, marked
// as given. A count also given on the command line must agree, else the run
// is refused naming both values. Nothing happens for the ordinary layout.
void TakeCountsFromFile(const SInputOptions& input, const std::string& path, SCountOption N,
                        SCountOption A, SCountOption L);

#endif

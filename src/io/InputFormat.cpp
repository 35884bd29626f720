#include "io/InputFormat.h"

#include <cctype>
#include <cstring>
#include <iostream>
#include <iterator>

#include "core/MiscUtilities.h"
#include "io/GenepopReader.h"
#include "io/PlinkReader.h"
#include "io/VcfReader.h"

namespace {

const char* const kFormatUsage[] = {
    "-fvcf:   the data file F is a VCF or BCF file (plain or compressed): N, A and L come",
    "         from the file; allele codes are the GT allele indices (0 = REF); ids are the",
    "         sample names",
    "-fgenepop: the data file F is a GENEPOP file (2- or 3-digit alleles, 0 = missing);",
    "         ids are the names before the comma; <prefix>labels.txt gets the Pop block",
    "         number of each individual",
    "-fplink: the data file F is a PLINK binary fileset F.bed, F.bim, F.fam (-FF or",
    "         -FF.bed; SNP-major .bed): N and L come from the files, A = 2; allele codes",
    "         are 0 for the .bim's second allele, 1 for its first; ids are the .fam's",
    "         individual ids; <prefix>labels.txt gets the family number of each",
    "         individual when the family ids group them",
    "-C<file>: table of ids with the reference flag, covariates and coordinates of a",
    "         -fvcf, -fgenepop or -fplink file (header line; columns id, ref, x, y, then the",
    "         qualitative and the quantitative covariates)",
};

std::string Lower(const char* text) {
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

void CheckCount(SCountOption count, int fromFile, const char* option, const char* what,
                const std::string& path) {
    if (count.given && count.value != fromFile)
        RefuseInput("The file " + path + " holds " + std::to_string(fromFile) + " " + what +
                    ", but " + option + std::to_string(count.value) +
                    " was given: leave it out or make it agree.");
    count.value = fromFile;
    count.given = true;
}

}  // namespace

bool ParseInputOption(const char* arg, SInputOptions& input) {
    if (arg[0] != '-')
        return false;
    if (arg[1] == 'f') {
        const std::string name = Lower(arg + 2);
        if (name == "vcf" || name == "bcf")
            input.format = EInputFormat::Vcf;
        else if (name == "genepop")
            input.format = EInputFormat::Genepop;
        else if (name == "plink")
            input.format = EInputFormat::Plink;
        else
            return false;  // an unknown option, for the program to name
        return true;
    }
    if (arg[1] == 'C') {
        if (arg[2] == '\0')
            RefuseInput("The option -C needs a file name: -C<file>.");
        input.sideTable = arg + 2;
        return true;
    }
    return false;
}

bool NamesInputFormat(int argc, const char* const* argv) {
    for (int i = 1; i < argc; ++i)
        if (std::strncmp(argv[i], "-f", 2) == 0)
            return true;
    return false;
}

std::string FormatName(EInputFormat format) {
    switch (format) {
        case EInputFormat::Vcf:
            return "-fvcf";
        case EInputFormat::Genepop:
            return "-fgenepop";
        case EInputFormat::Plink:
            return "-fplink";
        default:
            return "the ordinary layout";
    }
}

std::vector<std::string> WithInputFormatUsage(std::vector<std::string> lines) {
    lines.insert(lines.end(), std::begin(kFormatUsage), std::end(kFormatUsage));
    return lines;
}

namespace {

// The table a count read from the file, kept for the load that follows so
// that the file is read once.
struct SKeptTable {
    EInputFormat format = EInputFormat::Ordinary;
    std::string path;
    SGenotypeTable table;
};

SKeptTable& KeptTable() {
    static SKeptTable kept;
    return kept;
}

}  // namespace

SGenotypeTable ReadGenotypeTable(EInputFormat format, const std::string& File) {
    switch (format) {
        case EInputFormat::Vcf:
            return ReadVcf(File);
        case EInputFormat::Plink:
            return ReadPlink(File);
        default:
            return ReadGenepop(File);
    }
}

SGenotypeTable TakeGenotypeTable(EInputFormat format, const std::string& File) {
    SKeptTable& kept = KeptTable();
    if (kept.format != format || kept.path != File)
        return ReadGenotypeTable(format, File);
    kept.format = EInputFormat::Ordinary;
    kept.path.clear();
    return std::move(kept.table);
}

void TakeCounts(const SGenotypeCounts& counts, const std::string& path, SCountOption N,
                SCountOption A, SCountOption L) {
    CheckCount(N, counts.N, "-N", "individuals", path);
    CheckCount(A, counts.A, "-A", "allele copies per individual", path);
    CheckCount(L, counts.L, "-L", "loci", path);
}

void TakeCountsFromFile(const SInputOptions& input, const std::string& path, SCountOption N,
                        SCountOption A, SCountOption L) {
    if (!input.HasFormat())
        return;
    SKeptTable& kept = KeptTable();
    if (kept.format != input.format || kept.path != path) {
        kept.table = ReadGenotypeTable(input.format, path);
        kept.format = input.format;
        kept.path = path;
    }
    const SGenotypeTable& table = kept.table;
    TakeCounts({table.N, table.A, table.L}, path, N, A, L);
}

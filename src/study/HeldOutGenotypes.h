// The held-out criterion of a breloAdm study (-cv). breloAdm has no
// validation of its own, so the study hides a share of the genotypes from a
// twin of each chain (written as missing in a copy of the data file) and
// scores them with the twin's memberships and allele frequencies: the mean
// log-probability of a held-out genotype, each of its copies drawn from the
// clusters in the individual's proportions. The copy keeps every other byte
// of the user's file.
#ifndef BRELO_STUDY_HELDOUTGENOTYPES_H
#define BRELO_STUDY_HELDOUTGENOTYPES_H

#include <cstdint>
#include <string>
#include <vector>

#include "core/VectorUtilities.h"

// Where the genotypes of an ordinary data file are, from the program's options.
struct SGenotypeLayout {
    long N = -1, A = -1, L = -1;  // -N, -A, -L
    long dummies = 0;             // -d: records after the N individuals
    long headerRows = 0;          // -r
    long leading = 0;             // fields before the genotypes on each row
    bool oneRow = false;          // -spy: one row an individual, copies grouped by locus
};

// The layout of breloAdm's options; false, with why, for data the study cannot
// hide genotypes in (another format, recessive alleles, counts not given).
bool HeldOutLayout(const std::vector<std::string>& programOptions, SGenotypeLayout& layout,
                   std::string& why);

// The data file read as text, with the allele codes of its N individuals.
struct SGenotypeText {
    std::string text;
    SGenotypeLayout layout;
    std::vector<int> codes;  // [(individual * L + locus) * A + copy]
    int Code(long individual, long locus, long copy) const {
        return codes[(individual * layout.L + locus) * layout.A + copy];
    }
};

// Reads the file; false, with why, when it does not hold the layout's codes.
bool ReadGenotypeText(const std::string& file, const SGenotypeLayout& layout, SGenotypeText& data,
                      std::string& why);

struct SHeldOutGenotype {
    long individual = 0, locus = 0;  // from 0
    std::vector<int> copies;
};

// Draws about share of the fully observed genotypes, the same for a seed on
// every system; a genotype stays in when hiding it would leave one of its
// alleles unseen at its locus (its frequency could not be learnt) or its
// individual without any observed genotype.
std::vector<SHeldOutGenotype> DrawHeldOutGenotypes(const SGenotypeText& data, double share,
                                                   std::uint32_t seed);

// The file's text with the held-out genotypes written as missing (the
// smallest negative code of their locus, else -9).
std::string HideGenotypes(const SGenotypeText& data, const std::vector<SHeldOutGenotype>& held);

// The held-out list: a header, then "individual locus copy..." from 1.
void WriteHeldOutList(std::ostream& out, const std::vector<SHeldOutGenotype>& held);
bool ReadHeldOutList(const std::string& file, std::vector<SHeldOutGenotype>& held,
                     std::string& why);

// The mean log-probability of the held-out genotypes given the memberships Q
// (individual x cluster) and the frequency table of the program ("cluster
// locus allele frequency"); NaN, with why, when they cannot be scored.
double ScoreHeldOutGenotypes(const std::vector<SHeldOutGenotype>& held, const DBL_VCTR_2D& Q,
                             const std::string& frequencyTable, std::string& why);

#endif

// Genotypes of a VCF or BCF file (plain, bgzip-compressed or BCF, as htslib
// recognises it).
#ifndef BRELO_IO_VCFREADER_H
#define BRELO_IO_VCFREADER_H

#include <string>

#include "io/GenotypeTable.h"

// Reads every record of File in file order; each record is one locus, each
// sample one individual (ids: the sample names). The allele code of a copy is
// its GT allele index: 0 for the reference allele, 1 for the first
// alternate, and so on, so multi-allelic sites keep all their alleles; a
// missing copy ('.') has the code SGenotypeTable::kMissing. Phased and unphased calls
// are read alike (the model does not use phase); the copies keep the order of
// the GT field. A is the ploidy of the called genotypes: a call with another
// number of copies (mixed ploidy) is refused, while a wholly missing call
// ('.' or './.') is missing at every copy whatever its written ploidy.
// FILTER and QUAL are not looked at: every record is read.
// Fatal (one line, exit status 1): a file that cannot be opened or is not a
// VCF/BCF, a malformed record, a record without GT, an allele index beyond
// the record's alleles, mixed ploidy, a file without sample, record or
// called genotype.
// CountVcf reads the whole file with these checks and keeps only its counts;
// ReadVcf(File, counts) stores the genotypes into a store of that size (a
// file that no longer holds those counts is refused); ReadVcf(File) does both.
SGenotypeCounts CountVcf(const std::string& File);
SGenotypeTable ReadVcf(const std::string& File, const SGenotypeCounts& counts);
SGenotypeTable ReadVcf(const std::string& File);

#endif

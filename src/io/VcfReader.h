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
// VCF/BCF, a compressed file without its end-of-file block (cut short), a
// malformed record, a record of VCF text with another number of genotype
// columns than the header has samples, a record without GT, an allele index
// beyond the record's alleles, mixed ploidy, a file without sample, record
// or called genotype.
// The file is read once, from its start to its end (a pipe will do).
SGenotypeTable ReadVcf(const std::string& File);

#endif

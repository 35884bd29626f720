// Genotypes of a PLINK binary fileset: <prefix>.bed (SNP-major), <prefix>.bim
// (one line a SNP) and <prefix>.fam (one line an individual).
#ifndef BRELO_IO_PLINKREADER_H
#define BRELO_IO_PLINKREADER_H

#include <string>

#include "io/GenotypeTable.h"

// The prefix of a fileset named by -F: the name itself, or the name less a
// final ".bed".
std::string PlinkPrefix(const std::string& File);

// N is the number of lines of the .fam, L that of the .bim, A = 2. The ids
// are the .fam's individual ids (second column); its family ids (first
// column) number the individuals' groups from 1 in order of appearance
// (popIndex) when they group them, that is when there are at least two
// families and fewer families than individuals. The allele codes of a SNP
// are 0 for the .bim's second allele (A2, the reference allele of files
// written from VCF) and 1 for its first (A1); a missing call is missing at
// both copies; a heterozygote's copy 0 carries code 0. The genotypes go
// straight into a packed store.
// Fatal (one line, exit status 1): a file of the three that cannot be
// opened, a .fam or .bim line without its six fields, an id given twice, a
// .bed without the magic bytes 0x6c 0x1b, an individual-major .bed (third
// byte 0x00) or another mode byte, a .bed whose size is not that of its
// individuals and SNPs, no individual or no SNP.
SGenotypeTable ReadPlink(const std::string& File);

#endif

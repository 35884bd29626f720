// Genotypes of a GENEPOP file.
#ifndef BRELO_IO_GENEPOPREADER_H
#define BRELO_IO_GENEPOPREADER_H

#include <string>

#include "io/GenotypeTable.h"

// Layout: a title line; the locus names, one a line or separated by commas
// (on one or more lines); then populations, each opened by a line "Pop"
// (any case, possibly followed by a blank and a name), each individual on one
// line "name , genotype1 genotype2 ...", one genotype a locus (a line that
// holds a comma is an individual, even one named "pop ..."). A genotype is
// written with 2 or 3 digits an allele copy: 4 or 6 digits for a diploid,
// 2 or 3 for a haploid (e.g. 0102, 105110, 01, 105), the same width in the
// whole file. An allele 0 (0, 00, 000) is a missing copy, and a lone "0" a
// wholly missing genotype. Blank lines and carriage returns are ignored.
// The allele code of a copy is the number written (105 for "105"); ids are
// the names before the comma; popIndex the 1-based number of the
// individual's Pop block.
// Fatal (one line naming the file, the line and what is wrong, exit status
// 1): no locus name, no Pop line, a Pop block without individual, a line
// without comma, a wrong number of genotypes, a genotype that is not digits
// or not of the file's width.
// The file is read once, from its start to its end (a pipe will do).
SGenotypeTable ReadGenepop(const std::string& File);

#endif

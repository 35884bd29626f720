// Everything a data file gives a run, loaded in one call from the layout the
// command line describes. Both programs load their data through it.
#ifndef BRELO_IO_DATASET_H
#define BRELO_IO_DATASET_H

#include <string>
#include <vector>

#include "core/VectorUtilities.h"
#include "io/GenotypeStore.h"
#include "io/InputFormat.h"

// How the data file is laid out (all from the command line).
struct SDataLayout {
    std::string File;            // path of the data file (input folder included)
    int N = 0;                   // genotyped individuals
    int A = 0;                   // allele copies per individual (ploidy)
    int L = 0;                   // loci
    int nd = 0;                  // dummy records after the N individuals
    int ER = 0;                  // header rows to skip
    int EC = 0;                  // leading columns to skip on each row
    int nbQuantVar = 0;          // quantitative covariates
    int nbQualVar = 0;           // qualitative covariates
    int trendDegree = -1;        // -1: no coordinates in the file; 0: not used; 1..3
    int nb_var_regr = 2;         // coordinates used in the trend: 0, 1 (y only) or 2
    bool specialFormat = false;  // one row per individual
    bool isRecAllele = false;    // a recessive-allele line precedes the records
    bool bbase = false;          // the first non-extra column is a reference flag
    // Another format than the ordinary layout (-f), and the table of ids,
    // covariates and coordinates that goes with it (-C).
    EInputFormat format = EInputFormat::Ordinary;
    std::string sideTable;
};

// The loaded arrays.
struct CDataSet {
    // N x A x L genotypes: X.Code(i, a, l) is the allele code X[i][a][l] of
    // the data (negative = missing), X.Index(i, a, l) its position in the
    // sorted list X.Alleles(l) (CGenotypeStore::kMissing when missing).
    CGenotypeStore X;
    DBL_VCTR_2D C;            // (N + nd) x 2 coordinates
    DBL_VCTR_2D Xtild;        // design matrix, empty without covariates and trend
    INT_VCTR_2D XQual;        // N x nbQualVar level indices
    INT_VCTR_2D LevelCount;   // individuals per level of each qualitative covariate
    INT_VCTR_1D nQualLevels;  // levels of each qualitative covariate
    INT_VCTR_1D isBase;       // reference flags (N)
    INT_VCTR_1D recAllele;    // recessive allele code of each locus (L)
    // The name of each of the N individuals in the result tables: what the
    // file calls it (the first extra column of the ordinary layout; a format
    // that names its samples gives those names), else its position "1".."N".
    std::vector<std::string> ids;
    // The population of each individual, numbered from 1 in the order of the
    // file's populations (the Pop blocks of GENEPOP); empty when the format
    // has none.
    INT_VCTR_1D popIndex;
};

// The ordinary layout of a file from its counts, as the loaders of the
// design take them one by one.
SDataLayout OrdinaryLayout(const std::string& File, int N, int A, int L, int nd, int ER, int EC,
                           int nbQualVar, int nbQuantVar, int trendDegree, int nb_var_regr,
                           bool specialFormat, bool isRecAllele, bool bbase);

// "1", "2", ... "N": the ids of individuals the file does not name.
std::vector<std::string> PositionIds(int N);

// The layout of a program's options: both programs name these settings alike.
template <class Options>
SDataLayout MakeDataLayout(const Options& opts, const std::string& path) {
    SDataLayout layout;
    layout.File = path;
    layout.N = opts.N;
    layout.A = opts.A;
    layout.L = opts.L;
    layout.nd = opts.nd;
    layout.ER = opts.ER;
    layout.EC = opts.EC;
    layout.nbQuantVar = opts.nbQuantVar;
    layout.nbQualVar = opts.nbQualVar;
    layout.trendDegree = opts.trendDegree;
    layout.nb_var_regr = opts.nb_var_regr;
    layout.specialFormat = opts.specialFormat;
    layout.isRecAllele = opts.isRecAllele;
    layout.bbase = opts.bbase;
    layout.format = opts.input.format;
    layout.sideTable = opts.input.sideTable;
    return layout;
}

// Refuses, with one line and exit status 1 (RefuseInput), counts that make no
// sense: N, A or L below 1, a negative number of covariates, extra rows,
// extra columns or dummy records. With a format (-f): an option of the
// ordinary layout (-r, -c, -spy, -rcy, -d), and coordinates, covariates or
// reference flags asked for without a -C table; without one: -C.
void CheckDataLayout(const SDataLayout& layout);

// Refuses, through RefuseInput, more clusters (-K) than the allele copies
// of the data (N x A) with admixture, than the individuals without (each
// individual then belongs to one cluster): the clusters beyond would stay
// empty, and each one costs memory and time.
void CheckClusterCount(int K, const SDataLayout& layout, bool admixture);

// Sizes the arrays of data for the layout and reads the file into them,
// the ids included; the ordinary layout is first checked against every
// count it announces, so that no array is sized from a count the file
// cannot hold. With a format, the genotypes come from the file and the
// reference flags, covariates and coordinates from the -C table, matched by
// id; the arrays then have the shapes and the coding the ordinary layout
// gives (design matrix included). Every failure of a reader is fatal (one
// line, exit status 1), and so are data without any observed allele
// (CheckObservedAlleles). Each reading reads the file once.
void LoadDataSet(const SDataLayout& layout, CDataSet& data);

// Refuses (one line, exit status 1) data in which no copy is observed, and
// warns, naming them (the first ten), about the loci and the individuals
// that have no observed copy.
void CheckObservedAlleles(const CDataSet& data, const std::string& File);

#endif

// The genotype data file with its covariates, the continuation (CF) and
// best-run (ML) files of breloAdm, the membership tables, and the search of
// an allele code in a locus's list.
#ifndef BRELO_IO_IOUTILITIES_H
#define BRELO_IO_IOUTILITIES_H

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "core/CopyLabels.h"
#include "core/VectorUtilities.h"
#include "io/DataSet.h"
#include "io/GenotypeStore.h"

// Reads the genotype data file File.
// Preconditions: C sized M x 2 (M = N genotyped + dummy records, the number of
// records read), the genotype store X sized N x A x L (it receives the codes
// and is finished, its allele lists sorted), XQual N x nbQualVar (nbQualVar is the
// length of XQual[0]; XQual may be empty when there is none), isBase N when
// bbase, recAllele L when isRecAllele, nQualLevels nbQualVar.
// Layout: ER header lines; with isRecAllele L recessive allele codes; then M
// records, each made of EC skipped tokens, the reference flag (bbase), the
// nbQualVar qualitative codes, the nbQuantVar quantitative covariates, two
// coordinates (trendDegree != -1) and the genotype: A rows of L codes
// (ordinary format; the leading fields repeated on each row, the last row
// kept), or one row with the A copies of locus 1, then of locus 2, ...
// (specialFormat). Dummy records only give their coordinates.
// Builds Xtild: intercept, effect-coded qualitative blocks (TransformQualData),
// quantitative covariates, trend columns (nb_var_regr 1: y, y2, y3; 2: x, y,
// x2, y2, xy, x3, y3, x2y, xy2, truncated to trendDegree); Xtild stays empty
// without covariates and trend.
// Each row of the file (a copy of an individual in the ordinary format, an
// individual in the special one, the recessive-allele line) is one line.
// Fatal (exit 1, the message on stderr): containers not sized, file not
// readable, a file that ends early or holds a malformed
// number (one line naming the file, the record and what was expected), a
// line holding another number of values than the options give a row (the
// line, both counts and those options named), and rows left after the M
// records (the number of records the file holds named). When ids is given,
// it receives the first extra column of each genotyped record as written
// (the last row of an individual, like the other leading fields), or
// nothing when EC is 0. Returns true.
bool LoadData(bool bbase, INT_VCTR_1D& isBase, DBL_VCTR_2D& C, DBL_VCTR_2D& Xtild,
              INT_VCTR_2D& XQual, INT_VCTR_2D& LevelCount, INT_VCTR_1D& nQualLevels,
              CGenotypeStore& X, INT_VCTR_1D& recAllele, int ER, int EC, const std::string& File,
              const bool& specialFormat, const int& nbQuantVar, const int& nb_var_regr,
              const bool& isRecAllele, const int& trendDegree,
              std::vector<std::string>* ids = nullptr);

// Where ReadDataFile stores what it reads; a null container is not stored
// (the others must be sized as for LoadData).
struct SDataTargets {
    INT_VCTR_1D* isBase = nullptr;
    DBL_VCTR_2D* C = nullptr;       // M x 2
    INT_VCTR_2D* XQual = nullptr;   // raw level codes
    DBL_VCTR_2D* XQuant = nullptr;  // N x (1 + nbQuantVar + trend), column 0 left alone
    CGenotypeStore* X = nullptr;    // filled with Put; the caller finishes it
    INT_VCTR_1D* recAllele = nullptr;
    std::vector<std::string>* ids = nullptr;  // N: the first extra column
};

// Reads the data file of the layout with the rules of LoadData (rows as
// lines, exact counts, nothing left over) into containers sized as LoadData
// wants them. False after one line on out ("... - " + func) at the first
// problem.
bool ReadDataFile(const SDataLayout& layout, const SDataTargets& into, std::ostream& out,
                  const char* func);
// The same reading in one pass, where the caller sizes the containers only
// once the file is known to be long enough for the counts of the layout
// (size returns where to store): a count the file cannot hold is refused
// with the message of the value it lacks, before anything is sized from it.
bool LoadDataFile(const SDataLayout& layout, const std::function<SDataTargets()>& size,
                  std::ostream& out, const char* func);
// The ordinary layout into data, in one pass, with the design matrix coded as
// LoadData codes it (ids only where the file has extra columns). Every
// failure is fatal (one line on stderr, exit status 1).
void LoadOrdinaryDataSet(const SDataLayout& layout, CDataSet& data);

// Effect coding of the qualitative covariates: the levels of covariate v are
// its distinct codes in increasing order; the smallest is the base level
// (-1 in the whole block), level k > 0 puts 1 in column k-1 of the block.
// Xtild = intercept, the blocks, then XQuant[i][1...]. XQual[i][v] is replaced
// by the level index; nQualLevels and LevelCount (individuals per level) are
// filled. Always true.
bool TransformQualData(INT_VCTR_2D& XQual, DBL_VCTR_2D& XQuant, DBL_VCTR_2D& Xtild,
                       INT_VCTR_1D& nQualLevels, INT_VCTR_2D& LevelCount);

// Continuation file: one line "K L J[0..L-1] N p zadmix q alpha beta sigma",
// every value followed by a blank. False on an open or write failure or an
// empty beta, q, zadmix or p (message on stderr).
bool SaveCF(const DBL_VCTR_1D& sigma, const DBL_VCTR_2D& beta, const DBL_VCTR_2D& alpha,
            const DBL_VCTR_2D& q, const CCopyLabels& zadmix, const DBL_VCTR_3D& p,
            const std::string& File);
// Reads a continuation file into containers sized for the current command
// line (beta, q, zadmix, p at least; sigma and alpha are given their shapes).
// False, with a message on stderr and the containers untouched, when a
// container is empty, the file cannot be read, its header (K, L, J, N)
// conflicts with the shapes, values are left over after sigma (a file written
// for another ploidy or design matrix), it ends early, holds a malformed
// number or a copy label outside 0..K-1, or holds a state no run can be in:
// a frequency or admixture coefficient outside 0..1, frequencies of a locus
// or coefficients of an individual that do not sum to 1, a sigma or a
// latent value (alpha) that is not positive, latent values of an individual
// whose sum overflows, and, given the design matrix Xtild, coefficients
// whose trend (Xtild . beta, the log of a latent value) overflows its
// exponential (the message names the file and the value).
bool LoadCF(DBL_VCTR_1D& sigma, DBL_VCTR_2D& beta, DBL_VCTR_2D& alpha, DBL_VCTR_2D& q,
            CCopyLabels& zadmix, DBL_VCTR_3D& p, const std::string& File,
            const DBL_VCTR_2D* Xtild = nullptr);

// Best-run record: "minDIC trendDeg 1 " on one line without line end. False
// on an open or write failure (message on stderr).
bool SaveML(const int& trendDeg, const double& minDIC, const std::string& File);
// Reads minDIC then trendDeg. False when the file cannot be opened (message
// unless quiet) or does not start with the two numbers (message always).
bool LoadML(int& trendDeg, double& minDIC, const std::string& File, bool quiet);

// Membership table (the CLUMPP input layout) in a file of its own: with
// header, a title line and the column header; then per individual
// "000001:\t" + values (fixed, 15 decimals, width 17, fill '0') each followed
// by a blank + "\t1"; then three empty lines. An open failure is fatal
// ("... - SaveToMyFileClusterFormat", stdout). Returns true.
bool SaveToMyFileClumppFormat(const DBL_VCTR_2D& V, const std::string& File, bool header,
                              const std::string& title);
// The same table, always with the column header and without title, appended
// to an open stream, which keeps fill '0' and fixed notation afterwards.
void WriteInOfstreamClummpFormat(const DBL_VCTR_2D& V, std::ofstream& ofs);

// Position of code in the sorted list alleleV_l, -1 when absent.
int FindAlleleIndex(const INT_VCTR_1D& alleleV_l, int code);

#endif

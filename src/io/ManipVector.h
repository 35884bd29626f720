// The readers and writers of program brelo: training configurations, the
// new covariates of prediction mode, plain result tables and the coefficient
// trace.
#ifndef BRELO_IO_MANIPVECTOR_H
#define BRELO_IO_MANIPVECTOR_H

#include <set>
#include <string>
#include <vector>

#include "core/VectorUtilities.h"

// One named set of 1-based indices of training individuals or loci; the
// complement carries "comp." + name.
class CTrainingConfig {
  public:
    std::string name;
    INT_VCTR_1D index;

    // Name line, "size: " + count line, then one index per line (stdout).
    void Print() const;
    int size() const { return static_cast<int>(index.size()); }
};

// Reads the training configuration file. First line: the validation method
// ("individuals"/"Individuals"/"INDIVIDUALS" -> bValOnIndiv, M = N; else
// "loci"/"Loci"/"LOCI" -> M = L). Each later line with a colon is one
// configuration "name: i1 i2 ...", strictly increasing indices in 1..M;
// its complement in 1..M goes at the same position of vCompTrainingConfig.
// Fatal (stdout, exit 1): file not readable, no method, an empty list, an
// index that is not a number, not increasing or outside 1..M. Returns true.
bool LoadTraining(std::vector<CTrainingConfig>& vTrainingConfig,
                  std::vector<CTrainingConfig>& vCompTrainingConfig, bool& bValOnIndiv, int N,
                  int L, const std::string& FindexTraining);

// Collects into levelS (nbQualVar sets) the qualitative codes of the N
// genotyped records of the estimation data file F (followed by nd dummy
// records), read with the rules of LoadData: each row one line of the
// values the options give, nothing left after the records. Not readable:
// fatal (stdout, exit 1). Any other problem: one line (stdout), false.
bool LoadQualInfoFromData(int N, int nbQualVar, int nbQuantVar, int L, int A, int ER, int EC,
                          const bool& specialFormat, const bool& hasReferenceCol,
                          const bool& isRecAllele, const bool& hasSpatialCoord,
                          std::vector<std::set<int>>& levelS, const std::string& F, int nd = 0);

// Reads the new covariate file of prediction mode: newER header lines, then
// one row per row of newDataXtild: newEC skipped tokens, the qualitative
// codes, nbQuantVar reals, and with hasSpatialCoord the two coordinates.
// newDataXtild (sized newN x (1 + qualitative columns + nbQuantVar + 9 with
// coordinates)) receives the intercept, the effect-coded blocks built from
// levelS, the quantitative values and x, y, x2, y2, xy, x3, y3, x2y, xy2;
// newDataC the coordinates. False, with a one-line message, when a container
// is empty or too small, the file is not readable, it ends early, holds a
// malformed number or a qualitative code absent from levelS. Each row is one
// line of exactly the values the options give; a line of another length and
// rows left after the last one are refused (one line, false).
bool LoadNewData(DBL_VCTR_2D& newDataC, DBL_VCTR_2D& newDataXtild, int newER, int newEC,
                 const int& nbQuantVar, const bool& hasSpatialCoord,
                 const std::vector<std::set<int>>& levelS, const std::string& newF);

// Columns of the design matrix of the new covariates: intercept, the
// effect-coded blocks of levelS, nbQuantVar, and 9 trend columns with
// coordinates.
size_t NewDesignColumns(const std::vector<std::set<int>>& levelS, int nbQuantVar,
                        bool hasSpatialCoord);
// LoadNewData in one pass of newN rows into newDataC and newDataXtild, sized
// here (NewDesignColumns) once the file is known to be long enough for what
// -newN and the covariate counts announce: a count the file cannot hold is
// refused with the message of the value it lacks, before it sizes anything.
bool LoadNewDataFile(int newN, int newER, int newEC, int nbQuantVar, bool hasSpatialCoord,
                     const std::vector<std::set<int>>& levelS, const std::string& newF,
                     DBL_VCTR_2D& newDataC, DBL_VCTR_2D& newDataXtild);

// One value per line / one line per row with every value followed by a tab
// (6 significant digits). An open failure is fatal (stdout, exit 1).
bool SaveToMyFile(const DBL_VCTR_1D& V, const std::string& File);
bool SaveToMyFile(const DBL_VCTR_2D& V, const std::string& File);

// Coefficient trace Beta[k][p][cycle] (K-1 clusters x P columns x cycles):
// header "cycles\tK\tP\t", then one line per cycle with every value followed
// by a tab; prints "Beta saved in " + File. An open failure is fatal (stdout,
// exit 1); an empty Beta is refused (false).
bool SaveBetaToMyFile(const DBL_VCTR_3D& Beta, const std::string& File);

#endif

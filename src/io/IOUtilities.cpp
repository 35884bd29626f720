#include "io/IOUtilities.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <iomanip>
#include <iostream>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <utility>

#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"
#include "core/TokenReader.h"
#include "io/CovariateCoding.h"

// ---------------------------------------------------------------------------
// Genotype data file

namespace {
[[noreturn]] void FailLoadData(const std::string& message) {
    Refuse(message);
}

long long RecordCount(const SDataLayout& lay) {
    return static_cast<long long>(lay.N) + lay.nd;
}

long long RowsPerRecord(const SDataLayout& lay) {
    return lay.specialFormat ? 1 : lay.A;
}

long long LeadingValues(const SDataLayout& lay) {
    return static_cast<long long>(lay.EC) + (lay.bbase ? 1 : 0) + lay.nbQualVar + lay.nbQuantVar +
           (lay.trendDegree != -1 ? 2 : 0);
}

long long ValuesPerRow(const SDataLayout& lay) {
    return LeadingValues(lay) + (lay.specialFormat ? static_cast<long long>(lay.A) * lay.L : lay.L);
}

// The options that give a row its length, in the order of its fields.
std::string RowOptions(const SDataLayout& lay) {
    std::string options;
    auto add = [&options](const std::string& option) {
        options += (options.empty() ? "" : " ") + option;
    };
    if (lay.EC > 0)
        add("-c" + std::to_string(lay.EC));
    if (lay.bbase)
        add("-ref");
    if (lay.nbQualVar > 0)
        add("-XL" + std::to_string(lay.nbQualVar));
    if (lay.nbQuantVar > 0)
        add("-X" + std::to_string(lay.nbQuantVar));
    if (lay.trendDegree != -1)
        add("-T" + std::to_string(lay.trendDegree));
    add("-L" + std::to_string(lay.L));
    if (lay.specialFormat)
        add("-A" + std::to_string(lay.A) + " -spy");
    return options;
}

std::string RecordOptions(const SDataLayout& lay) {
    std::string options = "-N" + std::to_string(lay.N);
    if (lay.nd > 0)
        options += " -d" + std::to_string(lay.nd);
    return options;
}

// Where each leading field of a genotyped record goes; dummy records keep
// only their coordinates. Null pointers are not stored.
struct SRecordTarget {
    std::string* id = nullptr;
    int* isBase = nullptr;
    int* qual = nullptr;
    double* quant = nullptr;
    double* coord = nullptr;
};

bool ReadFileHead(CFieldReader& reader, const SDataLayout& lay, INT_VCTR_1D* recAllele) {
    reader.SetWhere("header");
    if (!reader.SkipLines(lay.ER, "%d header lines", lay.ER))
        return false;
    if (!lay.isRecAllele)
        return true;
    reader.SetWhere("recessive allele line");
    if (!reader.Row(lay.L, "-rcy -L" + std::to_string(lay.L), "the recessive allele codes"))
        return false;
    for (int l = 0; l < lay.L; ++l) {
        int code = 0;
        if (!reader.Int(code, "the recessive allele code of locus %d", l + 1))
            return false;
        if (recAllele)
            (*recAllele)[l] = code;
    }
    return true;
}

bool ReadLeadingFields(CFieldReader& reader, const SDataLayout& lay, SRecordTarget& t) {
    for (int c = 0; c < lay.EC; ++c) {
        const bool ok = c == 0 && t.id ? reader.Text(*t.id, "extra column %d (the id)", c + 1)
                                       : reader.Skip("extra column %d", c + 1);
        if (!ok)
            return false;
    }
    int flag = 0, code = 0;
    double value = 0.0;
    if (lay.bbase) {
        if (!reader.Int(flag, "the reference flag"))
            return false;
        if (t.isBase)
            *t.isBase = flag;
    }
    for (int v = 0; v < lay.nbQualVar; ++v) {
        if (!reader.Int(code, "qualitative covariate %d (an integer code)", v + 1))
            return false;
        if (t.qual)
            t.qual[v] = code;
    }
    for (int v = 0; v < lay.nbQuantVar; ++v) {
        if (!reader.Real(value, "quantitative covariate %d", v + 1))
            return false;
        if (t.quant)
            t.quant[v] = value;
    }
    if (lay.trendDegree != -1) {
        for (int c = 0; c < 2; ++c) {
            if (!reader.Real(value, "coordinate %d", c + 1))
                return false;
            if (t.coord)
                t.coord[c] = value;
        }
    }
    return true;
}

// One row of the file: the leading fields, then the allele codes, put (when
// genotypes is set) in individual i of the store at the positions the format
// gives.
bool ReadRow(CFieldReader& reader, const SDataLayout& lay, const std::string& rowOptions,
             SRecordTarget& t, CGenotypeStore* genotypes, int i, int copy) {
    const std::string what = "a row of " + std::to_string(ValuesPerRow(lay)) + " values";
    if (!reader.Row(ValuesPerRow(lay), rowOptions, what.c_str()) ||
        !ReadLeadingFields(reader, lay, t))
        return false;
    int code = 0;
    if (!lay.specialFormat) {
        // Ordinary format: copy `copy` at loci 1..L.
        for (int l = 0; l < lay.L; ++l) {
            if (!reader.Int(code, "the allele code of copy %d at locus %d", copy + 1, l + 1))
                return false;
            if (genotypes)
                genotypes->Put(i, copy, l, code);
        }
        return true;
    }
    // Special format: the A copies of each locus together.
    for (int l = 0; l < lay.L; ++l)
        for (int a = 0; a < lay.A; ++a) {
            if (!reader.Int(code, "the allele code of copy %d at locus %d", a + 1, l + 1))
                return false;
            if (genotypes)
                genotypes->Put(i, a, l, code);
        }
    return true;
}

bool ReadRecords(CFieldReader& reader, const SDataLayout& lay, const SDataTargets& into) {
    const std::string rowOptions = RowOptions(lay);
    const long long M = RecordCount(lay);
    for (long long r = 0; r < M; ++r) {
        reader.SetWhere("record", static_cast<int>(std::min<long long>(r + 1, INT_MAX)));
        const bool genotyped = r < lay.N;
        SRecordTarget t;
        if (into.C)
            t.coord = (*into.C)[r].data();
        if (genotyped) {
            if (into.ids)
                t.id = &(*into.ids)[r];
            if (lay.bbase && into.isBase)
                t.isBase = &(*into.isBase)[r];
            if (lay.nbQualVar > 0 && into.XQual)
                t.qual = (*into.XQual)[r].data();
            if (lay.nbQuantVar > 0 && into.XQuant)
                t.quant = (*into.XQuant)[r].data() + 1;
        }
        CGenotypeStore* genotypes = genotyped ? into.X : nullptr;
        for (long long row = 0; row < RowsPerRecord(lay); ++row)
            if (!ReadRow(reader, lay, rowOptions, t, genotypes, static_cast<int>(r),
                         static_cast<int>(row)))
                return false;
    }
    return true;
}

// A file with more records than announced is read out of step or only in
// part: either way the run would not be on the data the user has.
bool RefuseMoreRecords(CFieldReader& reader, const SDataLayout& lay) {
    const long long perRecord = RowsPerRecord(lay);
    const std::string unit = lay.specialFormat ? std::string("records")
                                               : "records of " + std::to_string(perRecord) +
                                                     (perRecord == 1 ? " row" : " rows") + " (-A" +
                                                     std::to_string(lay.A) + ")";
    return reader.NothingLeft(RecordCount(lay) * perRecord, perRecord, unit, RecordOptions(lay),
                              RecordCount(lay));
}

void AddTrendColumns(DBL_VCTR_2D& XQuant, const DBL_VCTR_2D& C, const SDataLayout& lay) {
    if (XQuant.empty() || TrendSize(lay.trendDegree, lay.nb_var_regr) == 0)
        return;
    for (int i = 0; i < lay.N; ++i)
        FillTrendColumns(C[i][0], C[i][1], lay.trendDegree, lay.nb_var_regr,
                         XQuant[i].data() + 1 + lay.nbQuantVar);
}

bool BuildsXQuant(const SDataLayout& lay) {
    return lay.nbQuantVar > 0 || lay.nbQualVar > 0 || lay.trendDegree >= 1;
}

// The containers must hold what the layout describes; a caller's mistake,
// reported like the other preconditions of LoadData.
void CheckLoadDataArgs(const SDataLayout& lay, const INT_VCTR_1D& isBase,
                       const INT_VCTR_1D& recAllele, const INT_VCTR_2D& XQual) {
    if (lay.nd < 0)
        FailLoadData("C has fewer records than X - LoadData");
    if (lay.bbase && static_cast<int>(isBase.size()) < lay.N)
        FailLoadData("Uninitialized isBase - LoadData");
    if (lay.isRecAllele && static_cast<int>(recAllele.size()) < lay.L)
        FailLoadData("Uninitialized recAllele - LoadData");
    if (lay.nbQualVar > 0 && static_cast<int>(XQual.size()) < lay.N)
        FailLoadData("Uninitialized XQual - LoadData");
    if (lay.trendDegree < -1 || lay.trendDegree > 3)
        FailLoadData("Trend degree must lie between -1 and 3 - LoadData");
    if (lay.nb_var_regr < 0 || lay.nb_var_regr > 2)
        FailLoadData("Number of trend coordinates must be 0, 1 or 2 - LoadData");
    if (lay.EC < 0 || lay.ER < 0 || lay.nbQuantVar < 0)
        FailLoadData("Negative count of extra rows, columns or covariates - LoadData");
}
}  // namespace

namespace {

bool ReadOpenedDataFile(CFieldReader& reader, const SDataLayout& layout, const SDataTargets& into) {
    return ReadFileHead(reader, layout, into.recAllele) && ReadRecords(reader, layout, into) &&
           RefuseMoreRecords(reader, layout);
}

// True when the text is long enough for the values the layout announces.
// Counted in floating point: the counts of a hostile command line overflow
// 64 bits.
bool TextCanHold(const CFieldReader& reader, const SDataLayout& lay) {
    return reader.CanHold((lay.isRecAllele ? static_cast<long double>(lay.L) : 0.0L) +
                          static_cast<long double>(RecordCount(lay)) * RowsPerRecord(lay) *
                              ValuesPerRow(lay));
}

// The columns of XQuant: intercept, quantitative covariates, trend.
size_t XQuantColumns(const SDataLayout& lay) {
    return 1 + static_cast<size_t>(lay.nbQuantVar) + TrendSize(lay.trendDegree, lay.nb_var_regr);
}

// After the reading: the allele lists sorted, the trend columns computed and
// the design matrix coded.
void CodeLoadedData(const SDataLayout& lay, CGenotypeStore& X, const DBL_VCTR_2D& C,
                    DBL_VCTR_2D& XQuant, INT_VCTR_2D& XQual, DBL_VCTR_2D& Xtild,
                    INT_VCTR_1D& nQualLevels, INT_VCTR_2D& LevelCount) {
    X.Finish();
    AddTrendColumns(XQuant, C, lay);
    Xtild.clear();
    if (lay.nbQualVar == 0)
        Xtild = std::move(XQuant);
    else
        TransformQualData(XQual, XQuant, Xtild, nQualLevels, LevelCount);
}

// Where a reading of the whole layout stores what it reads, the XQuant of
// the design matrix included (sized here).
SDataTargets AllTargets(const SDataLayout& lay, INT_VCTR_1D& isBase, DBL_VCTR_2D& C,
                        INT_VCTR_2D& XQual, DBL_VCTR_2D& XQuant, CGenotypeStore& X,
                        INT_VCTR_1D& recAllele, std::vector<std::string>* ids) {
    XQuant.clear();
    if (BuildsXQuant(lay))
        XQuant.assign(lay.N, DBL_VCTR_1D(XQuantColumns(lay), 1.0));
    SDataTargets into;
    into.isBase = &isBase;
    into.C = &C;
    into.XQual = &XQual;
    into.XQuant = &XQuant;
    into.X = &X;
    into.recAllele = &recAllele;
    if (ids) {
        ids->assign(lay.EC > 0 ? lay.N : 0, std::string());
        if (lay.EC > 0)
            into.ids = ids;
    }
    return into;
}

}  // namespace

bool ReadDataFile(const SDataLayout& layout, const SDataTargets& into, std::ostream& out,
                  const char* func) {
    CFieldReader reader(layout.File, func, out);
    if (!reader.Open())
        return reader.Refuse("Cannot open file " + layout.File);
    return ReadOpenedDataFile(reader, layout, into);
}

bool LoadDataFile(const SDataLayout& layout, const std::function<SDataTargets()>& size,
                  std::ostream& out, const char* func) {
    CFieldReader reader(layout.File, func, out);
    if (!reader.Open())
        return reader.Refuse("Cannot open file " + layout.File);
    if (TextCanHold(reader, layout))
        return ReadOpenedDataFile(reader, layout, size());
    // Too short for its counts: read without storing, the reading stops at
    // the first value the file lacks and says which, and nothing was sized
    // from counts the file cannot hold.
    if (ReadOpenedDataFile(reader, layout, SDataTargets()))
        reader.Refuse(layout.File + " is too short for the values its options announce");
    return false;
}

bool LoadData(bool bbase, INT_VCTR_1D& isBase, DBL_VCTR_2D& C, DBL_VCTR_2D& Xtild,
              INT_VCTR_2D& XQual, INT_VCTR_2D& LevelCount, INT_VCTR_1D& nQualLevels,
              CGenotypeStore& X, INT_VCTR_1D& recAllele, int ER, int EC, const std::string& File,
              const bool& specialFormat, const int& nbQuantVar, const int& nb_var_regr,
              const bool& isRecAllele, const int& trendDegree, std::vector<std::string>* ids) {
    if (C.empty())
        FailLoadData("Uninitialized C - LoadData");
    if (X.empty())
        FailLoadData("Uninitialized X - LoadData");
    const SDataLayout lay =
        OrdinaryLayout(File, X.N(), X.A(), X.L(), static_cast<int>(C.size()) - X.N(), ER, EC,
                       XQual.empty() ? 0 : static_cast<int>(XQual[0].size()), nbQuantVar,
                       trendDegree, nb_var_regr, specialFormat, isRecAllele, bbase);
    CheckLoadDataArgs(lay, isBase, recAllele, XQual);

    // The caller sized the containers: the file is read into them at once.
    DBL_VCTR_2D XQuant;
    const SDataTargets into = AllTargets(lay, isBase, C, XQual, XQuant, X, recAllele, ids);
    if (!ReadDataFile(lay, into, std::cerr, "LoadData"))
        ExitProgram(1);
    CodeLoadedData(lay, X, C, XQuant, XQual, Xtild, nQualLevels, LevelCount);
    return true;
}

void LoadOrdinaryDataSet(const SDataLayout& lay, CDataSet& data) {
    DBL_VCTR_2D XQuant;
    auto size = [&]() {
        data.X = CGenotypeStore(lay.N, lay.A, lay.L);
        data.C.assign(static_cast<size_t>(lay.N) + lay.nd, DBL_VCTR_1D(2, 0.0));
        data.XQual.assign(lay.N, INT_VCTR_1D(lay.nbQualVar, 0));
        data.nQualLevels.assign(lay.nbQualVar, 0);
        data.isBase.assign(lay.N, 0);
        data.recAllele.assign(lay.L, 0);
        return AllTargets(lay, data.isBase, data.C, data.XQual, XQuant, data.X, data.recAllele,
                          &data.ids);
    };
    if (!LoadDataFile(lay, size, std::cerr, "LoadData"))
        ExitProgram(1);
    CodeLoadedData(lay, data.X, data.C, XQuant, data.XQual, data.Xtild, data.nQualLevels,
                   data.LevelCount);
}

bool TransformQualData(INT_VCTR_2D& XQual, DBL_VCTR_2D& XQuant, DBL_VCTR_2D& Xtild,
                       INT_VCTR_1D& nQualLevels, INT_VCTR_2D& LevelCount) {
    const size_t N = XQual.size();
    const size_t nbQualVar = N > 0 ? XQual[0].size() : 0;
    // Level index of each code: its rank among the distinct codes.
    std::vector<std::map<int, int>> levelIndex(nbQualVar);
    for (size_t v = 0; v < nbQualVar; ++v) {
        std::set<int> levelS;
        for (size_t i = 0; i < N; ++i)
            levelS.insert(XQual[i][v]);
        int k = 0;
        for (int code : levelS)
            levelIndex[v][code] = k++;
    }
    nQualLevels.assign(nbQualVar, 0);
    int nbQualColumns = 0;
    LevelCount.clear();
    for (size_t v = 0; v < nbQualVar; ++v) {
        nQualLevels[v] = static_cast<int>(levelIndex[v].size());
        nbQualColumns += nQualLevels[v] - 1;
        LevelCount.push_back(INT_VCTR_1D(nQualLevels[v], 0));
    }
    const size_t quantCols = XQuant.empty() ? 1 : XQuant[0].size();
    Xtild.assign(N, DBL_VCTR_1D(nbQualColumns + quantCols, 0.0));
    for (size_t i = 0; i < N; ++i) {
        Xtild[i][0] = 1.0;
        size_t column = 1;
        for (size_t v = 0; v < nbQualVar; ++v) {
            const int k = levelIndex[v][XQual[i][v]];
            ++LevelCount[v][k];
            EffectCode(&Xtild[i][column], nQualLevels[v], k);
            column += nQualLevels[v] - 1;
            XQual[i][v] = k;
        }
        for (size_t c = 1; c < quantCols && i < XQuant.size(); ++c)
            Xtild[i][column++] = XQuant[i][c];
    }
    return true;
}

// ---------------------------------------------------------------------------
// Continuation (CF) and best-run (ML) files

namespace {
bool RefuseIfEmpty(bool empty, const char* what, const char* func) {
    if (empty)
        PrintMessage(std::string("Uninitialized ") + what + " - " + func);
    return empty;
}

// A continuation or best-run file cut short (a full disk) must not pass for
// a written one.
bool CloseWritten(std::ofstream& ofs, const std::string& File, const char* func) {
    ofs.close();
    if (!ofs.fail())
        return true;
    PrintMessage(std::string("Cannot write file ") + File + " - " + func);
    return false;
}

// Shapes taken from the containers: K clusters, L loci, J alleles per locus,
// N individuals, A copies, B regression columns.
struct SCFShape {
    size_t K, L, N, A, B;
    std::vector<size_t> J;
};

SCFShape ShapeOf(const DBL_VCTR_2D& beta, const CCopyLabels& zadmix, const DBL_VCTR_3D& p) {
    SCFShape s;
    s.K = p.size();
    s.L = p[0].size();
    for (const auto& alleles : p[0])
        s.J.push_back(alleles.size());
    s.N = zadmix.N();
    s.A = zadmix.A();
    s.B = beta[0].size();
    return s;
}
}  // namespace

bool SaveCF(const DBL_VCTR_1D& sigma, const DBL_VCTR_2D& beta, const DBL_VCTR_2D& alpha,
            const DBL_VCTR_2D& q, const CCopyLabels& zadmix, const DBL_VCTR_3D& p,
            const std::string& File) {
    if (RefuseIfEmpty(beta.empty(), "beta", "SaveCF") || RefuseIfEmpty(q.empty(), "Q", "SaveCF") ||
        RefuseIfEmpty(zadmix.empty(), "zadmix", "SaveCF") ||
        RefuseIfEmpty(p.empty(), "p", "SaveCF"))
        return false;
    const SCFShape s = ShapeOf(beta, zadmix, p);
    // Every section is written with the shape of p and zadmix; shorter
    // containers would be read past their end.
    if (RefuseIfEmpty(beta.size() < s.K, "beta", "SaveCF") ||
        RefuseIfEmpty(q.size() < s.N, "Q", "SaveCF") ||
        RefuseIfEmpty(alpha.size() < s.N, "alpha", "SaveCF") ||
        RefuseIfEmpty(static_cast<size_t>(zadmix.L()) < s.L, "zadmix", "SaveCF") ||
        RefuseIfEmpty(sigma.size() < s.K, "sigma", "SaveCF"))
        return false;
    std::ofstream ofs(File);
    if (!ofs.is_open()) {
        PrintMessage(std::string("Cannot open file ") + File + " - SaveCF");
        return false;
    }
    ofs << s.K << " " << s.L << " ";
    for (size_t j : s.J)
        ofs << j << " ";
    ofs << s.N << " ";
    for (const auto& cluster : p)
        for (const auto& locus : cluster)
            for (double v : locus)
                ofs << v << " ";
    for (size_t i = 0; i < s.N; ++i)
        for (size_t a = 0; a < s.A; ++a) {
            const CCopyLabels::CConstRow copy = zadmix[static_cast<int>(i)][static_cast<int>(a)];
            for (size_t l = 0; l < s.L; ++l)
                ofs << copy[static_cast<int>(l)] << " ";
        }
    for (size_t i = 0; i < s.N; ++i)
        for (size_t k = 0; k < s.K; ++k)
            ofs << q[i][k] << " ";
    for (size_t i = 0; i < s.N; ++i)
        for (size_t k = 0; k < s.K; ++k)
            ofs << alpha[i][k] << " ";
    for (size_t k = 0; k < s.K; ++k)
        for (size_t b = 0; b < s.B; ++b)
            ofs << beta[k][b] << " ";
    for (size_t k = 0; k < s.K; ++k)
        ofs << sigma[k] << " ";
    return CloseWritten(ofs, File, "SaveCF");
}

namespace {
// Reads one header count and compares it with the current shape.
enum class HeaderField { Agrees, Conflicts, Unreadable };

HeaderField ReadHeaderCount(CFieldReader& reader, size_t expected, const char* what, int a = 0) {
    int value = 0;
    if (!reader.Int(value, what, a))
        return HeaderField::Unreadable;
    return value == static_cast<int>(expected) ? HeaderField::Agrees : HeaderField::Conflicts;
}

// The header (K, L, J[0..L-1], N) must describe the current command line.
HeaderField ReadCFHeader(CFieldReader& reader, const SCFShape& s) {
    reader.SetWhere("header");
    HeaderField f = ReadHeaderCount(reader, s.K, "the number of clusters");
    if (f == HeaderField::Agrees)
        f = ReadHeaderCount(reader, s.L, "the number of loci");
    for (size_t l = 0; l < s.L && f == HeaderField::Agrees; ++l)
        f = ReadHeaderCount(reader, s.J[l], "the number of alleles of locus %d",
                            static_cast<int>(l + 1));
    if (f == HeaderField::Agrees)
        f = ReadHeaderCount(reader, s.N, "the number of individuals");
    return f;
}

bool ReadCFMatrix(CFieldReader& reader, DBL_VCTR_2D& M, const char* section, const char* what) {
    reader.SetWhere(section);
    for (size_t i = 0; i < M.size(); ++i)
        for (size_t k = 0; k < M[i].size(); ++k)
            if (!reader.Real(M[i][k], what, static_cast<int>(i + 1), static_cast<int>(k + 1)))
                return false;
    return true;
}

// Frequencies and proportions are written with six significant digits: a
// sum that misses 1 by more than this was not written by a run.
constexpr double kSumTolerance = 1e-3;

// Reads a probability (0 to 1); RejectLast names it otherwise.
bool ReadProbability(CFieldReader& reader, double& v, const char* what, int a, int b) {
    if (!reader.Real(v, what, a, b))
        return false;
    return (v >= 0.0 && v <= 1.0) || reader.RejectLast(what, a, b);
}

bool RefuseSum(CFieldReader& reader, const std::string& what, double sum) {
    std::ostringstream msg;
    msg << what << " sum to " << sum << " in " << reader.File() << ", not 1";
    return reader.Refuse(msg.str());
}

// p[k][l] (each locus with alleles) and every row of q sum to 1: a state
// off the simplex would turn into NaN in the first sweep.
bool ReadFrequencies(CFieldReader& reader, DBL_VCTR_3D& p) {
    reader.SetWhere("allele frequencies");
    for (size_t k = 0; k < p.size(); ++k)
        for (size_t l = 0; l < p[k].size(); ++l) {
            const int kk = static_cast<int>(k + 1), ll = static_cast<int>(l + 1);
            double sum = 0.0;
            for (double& v : p[k][l]) {
                if (!ReadProbability(reader, v, "a frequency (0 to 1) of cluster %d at locus %d",
                                     kk, ll))
                    return false;
                sum += v;
            }
            if (!p[k][l].empty() && std::fabs(sum - 1.0) > kSumTolerance)
                return RefuseSum(reader,
                                 "The allele frequencies of cluster " + std::to_string(kk) +
                                     " at locus " + std::to_string(ll),
                                 sum);
        }
    return true;
}

bool ReadProportions(CFieldReader& reader, DBL_VCTR_2D& q) {
    reader.SetWhere("admixture coefficients");
    for (size_t i = 0; i < q.size(); ++i) {
        const int ii = static_cast<int>(i + 1);
        double sum = 0.0;
        for (size_t k = 0; k < q[i].size(); ++k) {
            if (!ReadProbability(reader, q[i][k], "q (0 to 1) of individual %d, cluster %d", ii,
                                 static_cast<int>(k + 1)))
                return false;
            sum += q[i][k];
        }
        if (std::fabs(sum - 1.0) > kSumTolerance)
            return RefuseSum(reader,
                             "The admixture coefficients of individual " + std::to_string(ii), sum);
    }
    return true;
}

// The Dirichlet parameters of each individual: positive, and summing to a
// number (a sum beyond the largest double turns every draw into NaN).
bool ReadDirichletParameters(CFieldReader& reader, DBL_VCTR_2D& alpha) {
    reader.SetWhere("latent values");
    const char* what = "alpha of individual %d, cluster %d (a positive number)";
    for (size_t i = 0; i < alpha.size(); ++i) {
        const int ii = static_cast<int>(i + 1);
        double sum = 0.0;
        for (size_t k = 0; k < alpha[i].size(); ++k) {
            if (!reader.Real(alpha[i][k], what, ii, static_cast<int>(k + 1)))
                return false;
            if (!(alpha[i][k] > 0.0))
                return reader.RejectLast(what, ii, static_cast<int>(k + 1));
            sum += alpha[i][k];
        }
        if (!std::isfinite(sum))
            return reader.Refuse("The latent values of individual " + std::to_string(ii) + " in " +
                                 reader.File() + " sum beyond the largest number");
    }
    return true;
}

// The trend of cluster k at individual i, Xtild[i] . beta[k], is the log of
// a Dirichlet parameter: beyond log(DBL_MAX) its exponential overflows.
// Names the coefficient that weighs most in the first trend out of range.
bool CheckTrendRange(const DBL_VCTR_2D& Xtild, const DBL_VCTR_2D& beta, const std::string& File) {
    const double limit = std::log(std::numeric_limits<double>::max());
    for (size_t k = 0; k < beta.size(); ++k)
        for (size_t i = 0; i < Xtild.size(); ++i) {
            double trend = 0.0;
            size_t heaviest = 0;
            for (size_t b = 0; b < beta[k].size() && b < Xtild[i].size(); ++b) {
                trend += Xtild[i][b] * beta[k][b];
                if (std::fabs(Xtild[i][b] * beta[k][b]) >
                    std::fabs(Xtild[i][heaviest] * beta[k][heaviest]))
                    heaviest = b;
            }
            if (std::fabs(trend) <= limit)
                continue;
            std::ostringstream msg;
            msg << "The coefficient beta of cluster " << k + 1 << ", coefficient " << heaviest + 1
                << " in " << File << " (" << beta[k][heaviest] << ") gives individual " << i + 1
                << " a trend of " << trend << ", whose exponential overflows (beyond " << limit
                << ") - LoadCF";
            PrintMessage(msg.str());
            return false;
        }
    return true;
}

bool ReadCFBody(CFieldReader& reader, DBL_VCTR_1D& sigma, DBL_VCTR_2D& beta, DBL_VCTR_2D& alpha,
                DBL_VCTR_2D& q, CCopyLabels& zadmix, DBL_VCTR_3D& p) {
    if (!ReadFrequencies(reader, p))
        return false;
    // The labels index per-cluster arrays: one outside 0..K-1 is refused.
    const int K = static_cast<int>(p.size());
    const std::string labelText =
        "a cluster label of individual %d, copy %d (0 to " + std::to_string(K - 1) + ")";
    const char* label = labelText.c_str();
    reader.SetWhere("copy labels");
    for (int i = 0; i < zadmix.N(); ++i)
        for (int a = 0; a < zadmix.A(); ++a)
            for (int l = 0; l < zadmix.L(); ++l) {
                int v = 0;
                if (!reader.Int(v, label, i + 1, a + 1))
                    return false;
                if (v < 0 || v >= K)
                    return reader.RejectLast(label, i + 1, a + 1);
                zadmix[i][a][l] = v;
            }
    if (!ReadProportions(reader, q) || !ReadDirichletParameters(reader, alpha) ||
        !ReadCFMatrix(reader, beta, "regression coefficients",
                      "beta of cluster %d, coefficient %d"))
        return false;
    // A variance that is not positive has no square root for the field.
    reader.SetWhere("variances");
    const char* what = "sigma of cluster %d (a positive number)";
    for (size_t k = 0; k < sigma.size(); ++k) {
        const int kk = static_cast<int>(k + 1);
        if (!reader.Real(sigma[k], what, kk))
            return false;
        if (!(sigma[k] > 0.0))
            return reader.RejectLast(what, kk);
    }
    return true;
}
}  // namespace

bool LoadCF(DBL_VCTR_1D& sigma, DBL_VCTR_2D& beta, DBL_VCTR_2D& alpha, DBL_VCTR_2D& q,
            CCopyLabels& zadmix, DBL_VCTR_3D& p, const std::string& File,
            const DBL_VCTR_2D* Xtild) {
    if (RefuseIfEmpty(beta.empty(), "beta", "LoadCF") || RefuseIfEmpty(q.empty(), "Q", "LoadCF") ||
        RefuseIfEmpty(zadmix.empty(), "zadmix", "LoadCF") ||
        RefuseIfEmpty(p.empty(), "p", "LoadCF"))
        return false;
    const SCFShape s = ShapeOf(beta, zadmix, p);
    CFieldReader reader(File, "LoadCF", std::cerr);
    if (!reader.Open()) {
        PrintMessage(std::string("Cannot open file ") + File + " - LoadCF");
        return false;
    }
    const HeaderField header = ReadCFHeader(reader, s);
    if (header == HeaderField::Conflicts)
        PrintMessage("CF file conflicts with command-line options - LoadCF");
    if (header != HeaderField::Agrees)
        return false;
    // Read into copies so that a file that fails half way leaves the state
    // of the run as it was.
    DBL_VCTR_1D newSigma(s.K, 0.0);
    DBL_VCTR_2D newBeta(s.K, DBL_VCTR_1D(s.B, 0.0));
    DBL_VCTR_2D newAlpha(s.N, DBL_VCTR_1D(s.K, 0.0));
    DBL_VCTR_2D newQ(s.N, DBL_VCTR_1D(s.K, 0.0));
    CCopyLabels newZ(static_cast<int>(s.N), static_cast<int>(s.A), static_cast<int>(s.L),
                     static_cast<int>(s.K));
    DBL_VCTR_3D newP = p;
    if (!ReadCFBody(reader, newSigma, newBeta, newAlpha, newQ, newZ, newP))
        return false;
    // Neither the ploidy nor the number of regression columns is in the
    // header: a file written with more of either leaves values over, which
    // would otherwise have been read into the wrong fields.
    if (!reader.AtEnd()) {
        PrintMessage("CF file conflicts with command-line options - LoadCF");
        return false;
    }
    if (Xtild && !CheckTrendRange(*Xtild, newBeta, File))
        return false;
    sigma.swap(newSigma);
    beta.swap(newBeta);
    alpha.swap(newAlpha);
    q.swap(newQ);
    zadmix = std::move(newZ);
    p.swap(newP);
    return true;
}

bool SaveML(const int& trendDeg, const double& minDIC, const std::string& File) {
    std::ofstream ofs(File);
    if (!ofs.is_open()) {
        PrintMessage(std::string("Cannot open file ") + File + " - SaveML");
        return false;
    }
    // Full precision: the record decides which run is best, and a DIC cut to
    // six digits would let a slightly worse run replace a better one.
    ofs << std::setprecision(std::numeric_limits<double>::max_digits10) << minDIC << " " << trendDeg
        << " " << 1 << " ";
    return CloseWritten(ofs, File, "SaveML");
}

bool LoadML(int& trendDeg, double& minDIC, const std::string& File, bool quiet) {
    CFieldReader reader(File, "LoadML", std::cerr);
    if (!reader.Open()) {
        if (!quiet)
            PrintMessage(std::string("Cannot open file ") + File + " - LoadML");
        return false;
    }
    reader.SetWhere("record", 1);
    double dic = 0.0;
    int degree = 0;
    if (!reader.Real(dic, "the criterion value") || !reader.Int(degree, "the trend degree"))
        return false;
    minDIC = dic;
    trendDeg = degree;
    return true;
}

// ---------------------------------------------------------------------------
// Membership tables

namespace {
void WriteClumppRows(const DBL_VCTR_2D& V, std::ostream& os, bool columnHeader) {
    const size_t K = V.empty() ? 0 : V[0].size();
    os.fill('0');
    if (columnHeader) {
        os << "Sample\t";
        for (size_t k = 1; k <= K; ++k)
            os << "***Cluster  " << std::setw(2) << k << "***\t";
        os << "\n";
    }
    os << std::fixed << std::setprecision(15);
    for (size_t i = 0; i < V.size(); ++i) {
        os << std::setw(6) << i + 1 << ":\t";
        for (size_t k = 0; k < K; ++k)
            os << std::setw(17) << V[i][k] << " ";
        os << "\t" << 1 << "\n";
    }
    os << "\n\n\n";
}
}  // namespace

bool SaveToMyFileClumppFormat(const DBL_VCTR_2D& V, const std::string& File, bool header,
                              const std::string& title) {
    std::ofstream ofs(File);
    if (!ofs.is_open()) {
        PrintMessage(std::string("Cannot open file ") + File + " - SaveToMyFileClusterFormat");
        ExitProgram(1);
    }
    if (header)
        ofs << title << "\n";
    WriteClumppRows(V, ofs, header);
    CloseResultFile(ofs, File, "SaveToMyFileClusterFormat");
    return true;
}

void WriteInOfstreamClummpFormat(const DBL_VCTR_2D& V, std::ofstream& ofs) {
    WriteClumppRows(V, ofs, true);
}

// ---------------------------------------------------------------------------
// Allele lists

int FindAlleleIndex(const INT_VCTR_1D& alleleV_l, int code) {
    auto it = std::lower_bound(alleleV_l.begin(), alleleV_l.end(), code);
    if (it == alleleV_l.end() || *it != code)
        return -1;
    return static_cast<int>(it - alleleV_l.begin());
}

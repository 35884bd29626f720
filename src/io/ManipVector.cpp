#include "io/ManipVector.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <sstream>

#include "core/Messages.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/TokenReader.h"
#include "io/CovariateCoding.h"
#include "io/IOUtilities.h"

// ---------------------------------------------------------------------------
// Training configurations

void CTrainingConfig::Print() const {
    std::cout << name << std::endl;
    std::cout << "size: " << size() << std::endl;
    PrintVctr(index);
}

namespace {
[[noreturn]] void FailTraining(const std::string& message) {
    Refuse(message);
}

bool Contains(const std::string& line, const char* a, const char* b, const char* c) {
    return line.find(a) != std::string::npos || line.find(b) != std::string::npos ||
           line.find(c) != std::string::npos;
}

// Parses the list after the colon: integers, strictly increasing, in 1..M.
INT_VCTR_1D ReadTrainingIndices(const std::string& name, const std::string& list, int M) {
    INT_VCTR_1D index;
    std::istringstream tokens(list);
    std::string token;
    while (tokens >> token) {
        int value = 0;
        if (!ParseInt(token, value))
            FailTraining("Invalid training index '" + token + "' in configuration " + name +
                         " - LoadTraining");
        if (value < 1 || value > M)
            FailTraining("Training index " + token + " of configuration " + name +
                         " lies outside 1.." + std::to_string(M) + " - LoadTraining");
        if (!index.empty() && value <= index.back())
            FailTraining("Training indices of configuration " + name +
                         " must be strictly increasing (" + token + " after " +
                         std::to_string(index.back()) + ") - LoadTraining");
        index.push_back(value);
    }
    if (index.empty())
        FailTraining("Cannot read training index for configuration " + name);
    return index;
}

// Every integer of 1..M absent from the increasing list.
INT_VCTR_1D Complement(const INT_VCTR_1D& index, int M) {
    INT_VCTR_1D comp;
    size_t next = 0;
    for (int v = 1; v <= M; ++v) {
        if (next < index.size() && index[next] == v)
            ++next;
        else
            comp.push_back(v);
    }
    return comp;
}
}  // namespace

bool LoadTraining(std::vector<CTrainingConfig>& vTrainingConfig,
                  std::vector<CTrainingConfig>& vCompTrainingConfig, bool& bValOnIndiv, int N,
                  int L, const std::string& FindexTraining) {
    std::ifstream ifs(FindexTraining);
    if (!ifs.is_open())
        FailTraining("Cannot open file " + FindexTraining + " - LoadTraining");
    std::string line;
    std::getline(ifs, line);
    int M = 0;
    if (Contains(line, "individuals", "Individuals", "INDIVIDUALS")) {
        bValOnIndiv = true;
        M = N;
    } else if (Contains(line, "loci", "Loci", "LOCI")) {
        bValOnIndiv = false;
        M = L;
    } else {
        FailTraining(
            "The first line of the Training Configuration file must contain the Validation "
            "Method:\nIndividuals or Loci");
    }
    while (std::getline(ifs, line)) {
        size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        CTrainingConfig config, comp;
        config.name = line.substr(0, colon);
        config.index = ReadTrainingIndices(config.name, line.substr(colon + 1), M);
        comp.name = "comp." + config.name;
        comp.index = Complement(config.index, M);
        vTrainingConfig.push_back(config);
        vCompTrainingConfig.push_back(comp);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Prediction mode: levels of the estimation data and the new covariates

bool LoadQualInfoFromData(int N, int nbQualVar, int nbQuantVar, int L, int A, int ER, int EC,
                          const bool& specialFormat, const bool& hasReferenceCol,
                          const bool& isRecAllele, const bool& hasSpatialCoord,
                          std::vector<std::set<int>>& levelS, const std::string& F, int nd) {
    const SDataLayout layout =
        OrdinaryLayout(F, N, A, L, nd, ER, EC, nbQualVar, nbQuantVar, hasSpatialCoord ? 0 : -1, 2,
                       specialFormat, isRecAllele, hasReferenceCol);
    if (access(F.c_str(), R_OK) != 0) {
        PrintMessage("Cannot open file " + F + " - LoadQualInfoFromData");
        ExitProgram(1);
    }
    // The same rules as the estimation run read the file with, in one pass;
    // -XL sizes the codes only once the file can hold the counts.
    levelS.clear();
    INT_VCTR_2D XQual;
    auto size = [&]() {
        levelS.assign(nbQualVar > 0 ? nbQualVar : 0, std::set<int>());
        XQual.assign(N, INT_VCTR_1D(levelS.size(), 0));
        SDataTargets into;
        into.XQual = &XQual;
        return into;
    };
    if (!LoadDataFile(layout, size, std::cerr, "LoadQualInfoFromData"))
        return false;
    for (const INT_VCTR_1D& codes : XQual)
        for (size_t v = 0; v < codes.size(); ++v)
            levelS[v].insert(codes[v]);
    return true;
}

namespace {
bool RefuseNewData(const std::string& message) {
    PrintMessage(message);
    return false;
}

// The shape of the new covariate file: newEC skipped columns, the
// qualitative codes, the quantitative values and the two coordinates.
struct SNewDataShape {
    long long newN = 0;
    int newER = 0, newEC = 0, nbQualVar = 0, nbQuantVar = 0;
    bool hasSpatialCoord = false;

    long long ValuesPerRow() const {
        return static_cast<long long>(newEC) + nbQualVar + nbQuantVar + (hasSpatialCoord ? 2 : 0);
    }
    std::string RowOptions() const {
        std::string options;
        auto add = [&options](const std::string& option) {
            options += (options.empty() ? "" : " ") + option;
        };
        if (newEC > 0)
            add("-newC" + std::to_string(newEC));
        if (nbQualVar > 0)
            add("-XL" + std::to_string(nbQualVar));
        if (nbQuantVar > 0)
            add("-X" + std::to_string(nbQuantVar));
        if (hasSpatialCoord)
            add("-T (2 coordinates)");
        return options.empty() ? std::string("-X0 -XL0 -T-1") : options;
    }
};

SNewDataShape NewDataShape(long long newN, int newER, int newEC, int nbQualVar, int nbQuantVar,
                           bool hasSpatialCoord) {
    SNewDataShape shape;
    shape.newN = newN;
    shape.newER = newER;
    shape.newEC = newEC;
    shape.nbQualVar = nbQualVar;
    shape.nbQuantVar = nbQuantVar;
    shape.hasSpatialCoord = hasSpatialCoord;
    return shape;
}

// Effect-codes each qualitative code of the row with the levels of the
// estimation data; a code those data never had cannot be predicted. Without
// a row, the codes are only read.
bool ReadNewQualCodes(CFieldReader& reader, const SNewDataShape& shape,
                      const std::vector<std::set<int>>& levelS, double* row, int rowNumber) {
    size_t column = 1;
    for (int v = 0; v < shape.nbQualVar; ++v) {
        int code = 0;
        if (!reader.Int(code, "qualitative covariate %d (an integer code)", v + 1))
            return false;
        if (row == nullptr)
            continue;
        auto it = levelS[v].find(code);
        if (it == levelS[v].end()) {
            PrintMessage("Unknown level " + std::to_string(code) + " of qualitative covariate " +
                         std::to_string(v + 1) + " in " + reader.File() + ", row " +
                         std::to_string(rowNumber) + " (absent from the estimation data) - " +
                         "LoadNewData");
            return false;
        }
        const int nLevels = static_cast<int>(levelS[v].size());
        EffectCode(row + column, nLevels, static_cast<int>(std::distance(levelS[v].begin(), it)));
        column += nLevels - 1;
    }
    return true;
}

// Reads the rows of the new file; with Xtild and C null only checks them.
bool ReadNewRows(CFieldReader& reader, const SNewDataShape& shape,
                 const std::vector<std::set<int>>& levelS, DBL_VCTR_2D* Xtild, DBL_VCTR_2D* C) {
    int nbQualColumns = 0;
    for (const auto& levels : levelS)
        nbQualColumns += static_cast<int>(levels.size()) - 1;
    const size_t firstQuant = 1 + nbQualColumns;
    const std::string options = shape.RowOptions();
    const std::string what = "a row of " + std::to_string(shape.ValuesPerRow()) + " values";
    reader.SetWhere("header");
    if (!reader.SkipLines(shape.newER, "%d header lines", shape.newER))
        return false;
    for (long long i = 0; i < shape.newN; ++i) {
        const int rowNumber = static_cast<int>(std::min<long long>(i + 1, INT_MAX));
        reader.SetWhere("row", rowNumber);
        if (!reader.Row(shape.ValuesPerRow(), options, what.c_str()))
            return false;
        for (int c = 0; c < shape.newEC; ++c)
            if (!reader.Skip("extra column %d", c + 1))
                return false;
        double* row = Xtild ? (*Xtild)[i].data() : nullptr;
        if (row)
            row[0] = 1.0;
        if (!ReadNewQualCodes(reader, shape, levelS, row, rowNumber))
            return false;
        for (int v = 0; v < shape.nbQuantVar; ++v) {
            double value = 0.0;
            if (!reader.Real(value, "quantitative covariate %d", v + 1))
                return false;
            if (row)
                row[firstQuant + v] = value;
        }
        if (!shape.hasSpatialCoord)
            continue;
        double x = 0.0, y = 0.0;
        if (!reader.Real(x, "coordinate 1") || !reader.Real(y, "coordinate 2"))
            return false;
        if (!row)
            continue;
        (*C)[i][0] = x;
        (*C)[i][1] = y;
        FillTrendColumns(x, y, 3, 2, row + firstQuant + shape.nbQuantVar);
    }
    // As in the data file: more rows than announced are refused.
    return reader.NothingLeft(shape.newN, 1, "rows", "-newN" + std::to_string(shape.newN),
                              shape.newN);
}
}  // namespace

size_t NewDesignColumns(const std::vector<std::set<int>>& levelS, int nbQuantVar,
                        bool hasSpatialCoord) {
    size_t columns = 1 + static_cast<size_t>(nbQuantVar) + (hasSpatialCoord ? 9 : 0);
    for (const auto& levels : levelS)
        columns += levels.size() - 1;
    return columns;
}

bool LoadNewData(DBL_VCTR_2D& newDataC, DBL_VCTR_2D& newDataXtild, int newER, int newEC,
                 const int& nbQuantVar, const bool& hasSpatialCoord,
                 const std::vector<std::set<int>>& levelS, const std::string& newF) {
    if (newDataC.empty())
        return RefuseNewData("Uninitialized C - LoadNewData");
    if (newDataXtild.empty())
        return RefuseNewData("Uninitialized Xtild - LoadNewData");
    const size_t needed = NewDesignColumns(levelS, nbQuantVar, hasSpatialCoord);
    for (const auto& row : newDataXtild)
        if (row.size() < needed)
            return RefuseNewData("Xtild has too few columns - LoadNewData");
    if (hasSpatialCoord && newDataC.size() < newDataXtild.size())
        return RefuseNewData("C has fewer rows than Xtild - LoadNewData");

    const SNewDataShape shape =
        NewDataShape(static_cast<long long>(newDataXtild.size()), newER, newEC,
                     static_cast<int>(levelS.size()), nbQuantVar, hasSpatialCoord);
    CFieldReader reader(newF, "LoadNewData", std::cerr);
    if (!reader.Open())
        return reader.Refuse("Cannot open file " + newF);
    return ReadNewRows(reader, shape, levelS, &newDataXtild, &newDataC);
}

bool LoadNewDataFile(int newN, int newER, int newEC, int nbQuantVar, bool hasSpatialCoord,
                     const std::vector<std::set<int>>& levelS, const std::string& newF,
                     DBL_VCTR_2D& newDataC, DBL_VCTR_2D& newDataXtild) {
    const SNewDataShape shape = NewDataShape(newN, newER, newEC, static_cast<int>(levelS.size()),
                                             nbQuantVar, hasSpatialCoord);
    CFieldReader reader(newF, "LoadNewData", std::cerr);
    if (!reader.Open())
        return reader.Refuse("Cannot open file " + newF);
    // Every row is a line: rows of no value still need their line ends.
    const bool fits =
        reader.CanHold(static_cast<long double>(shape.newN) * shape.ValuesPerRow()) &&
        static_cast<long double>(shape.newN) - 1.0L <= static_cast<long double>(reader.TextSize());
    if (!fits) {
        // Read without storing: the reading says what the file lacks.
        if (ReadNewRows(reader, shape, levelS, nullptr, nullptr))
            reader.Refuse(newF + " is too short for the values its options announce");
        return false;
    }
    newDataXtild.assign(newN,
                        DBL_VCTR_1D(NewDesignColumns(levelS, nbQuantVar, hasSpatialCoord), 0.0));
    newDataC.assign(newN, DBL_VCTR_1D(2, 0.0));
    return ReadNewRows(reader, shape, levelS, &newDataXtild, &newDataC);
}

// ---------------------------------------------------------------------------
// Plain tables and the coefficient trace

namespace {
std::ofstream OpenOrExit(const std::string& File, const char* func) {
    std::ofstream ofs(File);
    if (!ofs.is_open()) {
        PrintMessage(std::string("Cannot open file ") + File + " - " + func);
        ExitProgram(1);
    }
    return ofs;
}
}  // namespace

bool SaveToMyFile(const DBL_VCTR_1D& V, const std::string& File) {
    std::ofstream ofs = OpenOrExit(File, "SaveToMyFile");
    for (double v : V)
        ofs << v << "\n";
    CloseResultFile(ofs, File, "SaveToMyFile");
    return true;
}

bool SaveToMyFile(const DBL_VCTR_2D& V, const std::string& File) {
    std::ofstream ofs = OpenOrExit(File, "SaveToMyFile");
    for (const auto& row : V) {
        for (double v : row)
            ofs << v << "\t";
        ofs << "\n";
    }
    CloseResultFile(ofs, File, "SaveToMyFile");
    return true;
}

bool SaveBetaToMyFile(const DBL_VCTR_3D& Beta, const std::string& File) {
    bool shaped = !Beta.empty() && !Beta[0].empty();
    const size_t P = shaped ? Beta[0].size() : 0;
    const size_t nb_cycles = shaped ? Beta[0][0].size() : 0;
    for (const auto& cluster : Beta) {
        shaped = shaped && cluster.size() == P;
        for (const auto& trace : cluster)
            shaped = shaped && trace.size() == nb_cycles;
    }
    if (!shaped) {
        PrintMessage("Uninitialized Beta - SaveBetaToMyFile");
        return false;
    }
    {
        std::ofstream ofs = OpenOrExit(File, "SaveBetaToMyFile");
        ofs << nb_cycles << "\t" << Beta.size() + 1 << "\t" << P << "\t\n";
        for (size_t cycle = 0; cycle < nb_cycles; ++cycle) {
            for (const auto& cluster : Beta)
                for (const auto& trace : cluster)
                    ofs << trace[cycle] << "\t";
            ofs << "\n";
        }
        CloseResultFile(ofs, File, "SaveBetaToMyFile");
    }
    std::cout << "Beta saved in " << File << std::endl;
    return true;
}

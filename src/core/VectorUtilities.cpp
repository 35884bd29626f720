#include "core/VectorUtilities.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "core/Messages.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"
#include "core/TokenReader.h"

void CopyVctr(const DBL_VCTR_2D& source, DBL_VCTR_2D& target) {
    if (&source == &target)
        return;
    if (target.empty()) {
        target = source;
        return;
    }
    bool rowsMatch = target.size() == source.size();
    bool colsMatch = rowsMatch && !source.empty() && target[0].size() == source[0].size();
    if (!rowsMatch || !colsMatch) {
        Refuse("CopyVctr : error, dimensions don't match. Exiting...");
    }
    for (size_t i = 0; i < source.size(); ++i)
        target[i] = source[i];
}

namespace {
const char* kUninitialized = "Uninitialized vector - PrintVctr\n";

// brelo reports an empty container; breloAdm prints its two leading line
// ends whatever the content.
bool StartDump(bool empty) {
    if (IsBreloAdm()) {
        std::printf("\n\n");
        return true;
    }
    if (empty) {
        std::printf("%s", kUninitialized);
        return false;
    }
    return true;
}

template <class T>
void PrintRows(const std::vector<std::vector<T>>& V, const char* format) {
    for (const auto& row : V) {
        for (const T& v : row)
            std::printf(format, v);
        std::printf("\n");
    }
}

template <class T>
bool PrintMatrix(const std::vector<std::vector<T>>& V, const char* format) {
    if (!StartDump(V.empty() || V[0].empty()))
        return false;
    PrintRows(V, format);
    if (IsBreloAdm())
        std::printf("\n");
    std::printf(" \n");
    return true;
}

// The 3-D dumps exist in brelo only; they print each slice as brelo does.
template <class T>
bool PrintCube(const std::vector<std::vector<std::vector<T>>>& V, const char* format) {
    if (V.empty() || V[0].empty() || V[0][0].empty()) {
        std::printf("%s", kUninitialized);
        return false;
    }
    for (const auto& slice : V) {
        PrintRows(slice, format);
        std::printf(" \n");
        std::printf(" \n");
    }
    return true;
}
}  // namespace

bool PrintVctr(const INT_VCTR_1D& V) {
    if (!StartDump(V.empty()))
        return false;
    for (int v : V)
        std::printf("%d\n", v);
    return true;
}

bool PrintVctr(const DBL_VCTR_1D& V) {
    if (!StartDump(V.empty()))
        return false;
    for (double v : V)
        std::printf("%f  \n", v);
    return true;
}

bool PrintVctr(const DBL_VCTR_2D& V) {
    return PrintMatrix(V, "%f  ");
}
bool PrintVctr(const INT_VCTR_2D& V) {
    return PrintMatrix(V, "%d  ");
}
bool PrintVctr(const DBL_VCTR_3D& V) {
    return PrintCube(V, "%f  ");
}
bool PrintVctr(const INT_VCTR_3D& V) {
    return PrintCube(V, "%d  ");
}

bool PrintVctr(const int* V, int size) {
    if (V == nullptr || size <= 0) {
        std::printf("%s", kUninitialized);
        return false;
    }
    for (int i = 0; i < size; ++i)
        std::printf("%d\n", V[i]);
    return true;
}

namespace {
[[noreturn]] void FailMatrixFile(const std::string& message) {
    Refuse(message);
}
}  // namespace

namespace {
// Reads a rows x cols matrix file into V (sized so), or only checks it when
// V is null. False after one line on stderr.
bool ReadMatrixFile(DBL_VCTR_2D* V, size_t rows, size_t cols, const std::string& File,
                    const std::string& announcedBy) {
    CFieldReader reader(File, "LoadVector2D", std::cerr);
    if (!reader.Open())
        return reader.Refuse("Cannot open file " + File);
    const std::string options =
        announcedBy.empty() ? std::to_string(rows) + " x " + std::to_string(cols) + " matrix"
                            : announcedBy;
    const std::string what = "a row of " + std::to_string(cols) + " values";
    for (size_t r = 0; r < rows; ++r) {
        reader.SetWhere("row", static_cast<int>(std::min<size_t>(r + 1, INT_MAX)));
        if (!reader.Row(static_cast<long long>(cols), options, what.c_str()))
            return false;
        for (size_t c = 0; c < cols; ++c) {
            double value = 0.0;
            if (!reader.Real(value, "value %d of %d", static_cast<int>(c + 1),
                             static_cast<int>(cols)))
                return false;
            if (V)
                (*V)[r][c] = value;
        }
    }
    // A matrix written for more individuals would be read out of step.
    return reader.NothingLeft(static_cast<long long>(rows), 1, "rows", options,
                              static_cast<long long>(rows));
}
}  // namespace

bool CheckMatrixFile(size_t rows, size_t cols, const std::string& File,
                     const std::string& announcedBy) {
    return ReadMatrixFile(nullptr, rows, cols, File, announcedBy);
}

bool LoadVector2D(DBL_VCTR_2D& V, const std::string& File, const std::string& announcedBy) {
    if (V.empty() || V[0].empty())
        FailMatrixFile("Uninitialized mat - LoadVector2D");
    for (const DBL_VCTR_1D& row : V)
        if (row.size() != V[0].size())
            FailMatrixFile("Uninitialized mat - LoadVector2D");
    if (!ReadMatrixFile(&V, V.size(), V[0].size(), File, announcedBy))
        ExitProgram(1);
    return true;
}

bool SaveVector2D(const DBL_VCTR_2D& V, const std::string& File) {
    if (V.empty() || V[0].empty())
        FailMatrixFile("Uninitialized mat - SaveVector2D");
    std::ofstream ofs(File);
    if (!ofs.is_open())
        FailMatrixFile("Cannot open file " + File + " - SaveVector2D");
    for (const auto& row : V) {
        for (double v : row)
            ofs << v << "\t";
        ofs << "\n";
    }
    ofs.close();
    if (ofs.fail())
        FailMatrixFile("Cannot write file " + File +
                       " - SaveVector2D (is the disk full, or the folder gone?)");
    return true;
}

#include "core/VectorUtilities.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

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
        std::cout << "CopyVctr : error, dimensions don't match. Exiting..." << std::endl;
        exit(1);
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
    std::cerr << message << std::endl;
    exit(1);
}
}  // namespace

bool LoadVector2D(DBL_VCTR_2D& V, const std::string& File) {
    if (V.empty() || V[0].empty())
        FailMatrixFile("Uninitialized mat - LoadVector2D");
    CTokenReader reader;
    if (!reader.Open(File))
        FailMatrixFile("Cannot open file " + File + " - LoadVector2D");
    const size_t nCols = V[0].size();
    for (size_t r = 0; r < V.size(); ++r) {
        for (size_t c = 0; c < V[r].size(); ++c) {
            TokenStatus status = reader.ReadDouble(V[r][c]);
            if (status != TokenStatus::Ok)
                FailMatrixFile(TokenErrorMessage(
                    status, reader, File, "row " + std::to_string(r + 1),
                    "value " + std::to_string(c + 1) + " of " + std::to_string(nCols),
                    "LoadVector2D"));
        }
    }
    // A matrix written for more individuals would be read out of step.
    if (!reader.AtEnd())
        std::cerr << "Warning: " << File << " holds more than " << V.size() << " x " << nCols
                  << " values, which are not read - LoadVector2D" << std::endl;
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
    return true;
}

// Nested-vector containers shared by both programs, with the helpers that
// size, copy, print and store them.
#ifndef BRELO_CORE_VECTORUTILITIES_H
#define BRELO_CORE_VECTORUTILITIES_H

#include <iostream>
#include <string>
#include <vector>

typedef std::vector<bool> BOOL_VCTR_1D;
typedef std::vector<int> INT_VCTR_1D;
typedef std::vector<INT_VCTR_1D> INT_VCTR_2D;
typedef std::vector<INT_VCTR_2D> INT_VCTR_3D;
typedef std::vector<double> DBL_VCTR_1D;
typedef std::vector<DBL_VCTR_1D> DBL_VCTR_2D;
typedef std::vector<DBL_VCTR_2D> DBL_VCTR_3D;
typedef std::vector<DBL_VCTR_3D> DBL_VCTR_4D;

// The sizing helpers fill an empty container by appending; a container that
// already holds something is left as it is, with a message.
template <class T>
void InitVctr1D(std::vector<T>& V, int D1, const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr1D" << std::endl;
        return;
    }
    for (int i = 0; i < D1; ++i)
        V.push_back(Val);
}

template <class T>
void InitVctr2D(std::vector<std::vector<T>>& V, int D1, int D2, const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr2D" << std::endl;
        return;
    }
    for (int i = 0; i < D1; ++i)
        V.push_back(std::vector<T>(D2 > 0 ? D2 : 0, Val));
}

template <class T>
void InitVctr2D(std::vector<std::vector<T>>& V, int D1, const INT_VCTR_1D& D2, const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr2D" << std::endl;
        return;
    }
    for (int i = 0; i < D1; ++i)
        V.push_back(std::vector<T>(D2[i] > 0 ? D2[i] : 0, Val));
}

template <class T>
void InitVctr2D(std::vector<std::vector<T>>& V, int D1, const int* D2, const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr2D" << std::endl;
        return;
    }
    for (int i = 0; i < D1; ++i)
        V.push_back(std::vector<T>(D2[i] > 0 ? D2[i] : 0, Val));
}

template <class T>
void InitVctr3D(std::vector<std::vector<std::vector<T>>>& V, int D1, int D2, int D3, const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr3D" << std::endl;
        return;
    }
    for (int i = 0; i < D1; ++i)
        V.push_back(
            std::vector<std::vector<T>>(D2 > 0 ? D2 : 0, std::vector<T>(D3 > 0 ? D3 : 0, Val)));
}

// D1 identical blocks of D2 rows, row j of length D3[j] (the shape of p[k][l][a]).
template <class T>
void InitVctr3D(std::vector<std::vector<std::vector<T>>>& V, int D1, int D2, const INT_VCTR_1D& D3,
                const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr3D" << std::endl;
        return;
    }
    std::vector<std::vector<T>> block;
    for (int j = 0; j < D2; ++j)
        block.push_back(std::vector<T>(D3[j] > 0 ? D3[j] : 0, Val));
    for (int i = 0; i < D1; ++i)
        V.push_back(block);
}

template <class T>
void InitVctr3D(std::vector<std::vector<std::vector<T>>>& V, int D1, int D2, const int* D3,
                const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr3D" << std::endl;
        return;
    }
    std::vector<std::vector<T>> block;
    for (int j = 0; j < D2; ++j)
        block.push_back(std::vector<T>(D3[j] > 0 ? D3[j] : 0, Val));
    for (int i = 0; i < D1; ++i)
        V.push_back(block);
}

// D1 blocks; block i has D2[i] rows of length D3.
template <class T>
void InitVctr3D(std::vector<std::vector<std::vector<T>>>& V, int D1, const INT_VCTR_1D& D2, int D3,
                const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr3D" << std::endl;
        return;
    }
    for (int i = 0; i < D1; ++i)
        V.push_back(std::vector<std::vector<T>>(D2[i] > 0 ? D2[i] : 0,
                                                std::vector<T>(D3 > 0 ? D3 : 0, Val)));
}

template <class T>
void InitVctr4D(std::vector<std::vector<std::vector<std::vector<T>>>>& V, int D1, int D2, int D3,
                int D4, const T& Val) {
    if (!V.empty()) {
        std::cerr << "V Already Initialized - InitVctr4D" << std::endl;
        return;
    }
    for (int i = 0; i < D1; ++i)
        V.push_back(std::vector<std::vector<std::vector<T>>>(
            D2 > 0 ? D2 : 0,
            std::vector<std::vector<T>>(D3 > 0 ? D3 : 0, std::vector<T>(D4 > 0 ? D4 : 0, Val))));
}

// Copies source into target. An empty target becomes a row-by-row copy
// (ragged rows stay ragged); otherwise the row count and the length of row 0
// must agree, and each row of target is assigned from source. A mismatch is
// fatal: "CopyVctr : error, dimensions don't match. Exiting..." (stdout).
void CopyVctr(const DBL_VCTR_2D& source, DBL_VCTR_2D& target);

// Debug dumps to standard output. The formats differ slightly between the
// two programs (see GetProgramFlavour): brelo prints
// "Uninitialized vector - PrintVctr" for an empty container and returns false;
// breloAdm prints two line ends before a dump. True when something was printed.
bool PrintVctr(const INT_VCTR_1D& V);
bool PrintVctr(const DBL_VCTR_1D& V);
bool PrintVctr(const DBL_VCTR_2D& V);
bool PrintVctr(const INT_VCTR_2D& V);
bool PrintVctr(const DBL_VCTR_3D& V);
bool PrintVctr(const INT_VCTR_3D& V);
bool PrintVctr(const int* V, int size);

// Reads the already sized matrix V (the geographic distance matrix of
// breloAdm) from a file of one line per row, white-space separated. Fatal
// (exit 1, one line on stderr): V empty, file not readable, a file that ends
// early or holds a non-numeric token, a line of another length than V's rows
// or lines left after the last row. announcedBy names the options that give
// the size in those messages (for instance "-N130"; by default the size).
// Returns true.
bool LoadVector2D(DBL_VCTR_2D& V, const std::string& File, const std::string& announcedBy = "");
// The checks of LoadVector2D for a rows x cols matrix, without storing it:
// false after one line on stderr. Lets a caller check a size against the
// file before it allocates the matrix.
bool CheckMatrixFile(size_t rows, size_t cols, const std::string& File,
                     const std::string& announcedBy = "");

// Writes one line per row, each value (6 significant digits) followed by a
// tab. Fatal (exit 1, stderr): V empty or file not writable. Returns true.
bool SaveVector2D(const DBL_VCTR_2D& V, const std::string& File);

#endif

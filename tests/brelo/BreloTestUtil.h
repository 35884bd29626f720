// Helpers of the brelo tests: argument vectors, scratch folders, and readers
// of the result tables.
#ifndef BRELO_TESTS_BRELOTESTUTIL_H
#define BRELO_TESTS_BRELOTESTUTIL_H

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "core/RNGUtilities.h"
#include "core/VectorUtilities.h"

// An argv built from strings; "brelo" is argument 0.
class CArgs {
  public:
    explicit CArgs(std::vector<std::string> args) : m_args(std::move(args)) {
        m_args.insert(m_args.begin(), "brelo");
        for (std::string& a : m_args)
            m_ptrs.push_back(a.data());
        m_ptrs.push_back(nullptr);
    }
    int argc() const { return static_cast<int>(m_args.size()); }
    char** argv() { return m_ptrs.data(); }

  private:
    std::vector<std::string> m_args;
    std::vector<char*> m_ptrs;
};

// An empty scratch folder named after the test.
inline std::string FreshFolder(const std::string& name) {
    std::filesystem::path dir = std::filesystem::current_path() / ("brelo_test_" + name);
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir);
    return dir.string();
}

inline bool FileExists(const std::string& file) {
    return std::filesystem::exists(file);
}

inline std::string ReadWholeFile(const std::string& file) {
    std::ifstream ifs(file);
    std::ostringstream content;
    content << ifs.rdbuf();
    return content.str();
}

inline std::vector<std::string> ReadLines(const std::string& file) {
    std::ifstream ifs(file);
    std::vector<std::string> lines;
    std::string line;
    while (std::getline(ifs, line))
        lines.push_back(line);
    return lines;
}

// Rows "000001:\t v1 v2 ... \t1" of a membership table.
inline DBL_VCTR_2D ReadMembershipTable(const std::string& file) {
    DBL_VCTR_2D table;
    for (const std::string& line : ReadLines(file)) {
        size_t colon = line.find(":\t");
        if (colon == std::string::npos || line.rfind("Sample", 0) == 0)
            continue;
        std::istringstream values(line.substr(colon + 2));
        DBL_VCTR_1D row;
        std::string token;
        while (values >> token)
            row.push_back(std::stod(token));
        row.pop_back();  // the trailing 1
        table.push_back(row);
    }
    return table;
}

// White-space separated numbers, one row per line.
inline DBL_VCTR_2D ReadNumberTable(const std::string& file, int skipLines = 0) {
    DBL_VCTR_2D table;
    std::vector<std::string> lines = ReadLines(file);
    for (size_t n = skipLines; n < lines.size(); ++n) {
        std::istringstream values(lines[n]);
        DBL_VCTR_1D row;
        double v;
        while (values >> v)
            row.push_back(v);
        if (!row.empty())
            table.push_back(row);
    }
    return table;
}

// Death tests read the error stream only; the messages of brelo mostly go to
// standard output. Call inside the death statement.
inline void StdoutToStderr() {
    std::cout.flush();
    std::cout.rdbuf(std::cerr.rdbuf());
}

// Every run of a test starts from the same seed sequence.
inline void FixSeed(const char* seed = "12345") {
    setenv("GSL_RNG_SEED", seed, 1);
    ResetRNGSeedSequence();
}

#endif

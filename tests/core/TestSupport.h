// Helpers shared by the core and io tests: temporary files, the program
// flavour, and death tests of messages written on standard output.
#ifndef BRELO_TESTS_CORE_TESTSUPPORT_H
#define BRELO_TESTS_CORE_TESTSUPPORT_H

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "core/ProgramFlavour.h"

// EXPECT_EXIT sees only stderr: send stdout there inside the dying child.
#define EXPECT_EXIT_STDOUT(statement, regex)    \
    EXPECT_EXIT(                                \
        {                                       \
            fflush(stdout);                     \
            dup2(STDERR_FILENO, STDOUT_FILENO); \
            statement;                          \
        },                                      \
        ::testing::ExitedWithCode(1), regex)

// Sets a program flavour for the life of the object.
class FlavourScope {
  public:
    explicit FlavourScope(ProgramFlavour f) : m_previous(GetProgramFlavour()) {
        SetProgramFlavour(f);
    }
    ~FlavourScope() { SetProgramFlavour(m_previous); }

  private:
    ProgramFlavour m_previous;
};

inline std::string TempPath(const std::string& name) {
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    return ::testing::TempDir() + "brelo_" + std::to_string(getpid()) + "_" + info->name() + "_" +
           name;
}

inline std::string WriteTempFile(const std::string& name, const std::string& content) {
    std::string path = TempPath(name);
    std::ofstream(path) << content;
    return path;
}

inline std::string ReadWholeFile(const std::string& path) {
    std::ifstream ifs(path, std::ios::binary);
    std::ostringstream content;
    content << ifs.rdbuf();
    return content.str();
}

inline std::string TestDataPath(const std::string& name) {
    return std::string(BRELO_TEST_DATA_DIR) + "/" + name;
}

#endif

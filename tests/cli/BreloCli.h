// Runs the built programs in a scratch folder and captures their output
// (both streams) and exit status.
#ifndef BRELO_TESTS_CLI_BRELOCLI_H
#define BRELO_TESTS_CLI_BRELOCLI_H

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "brelo/BreloTestUtil.h"

struct SCliResult {
    int status = -1;
    std::string output;
};

// A shell command run from folder, both streams captured.
inline SCliResult RunShellIn(const std::string& folder, const std::string& command) {
    const std::string cmd = "cd '" + folder + "' && " + command + " 2>&1";
    SCliResult r;
    FILE* pipe = popen(cmd.c_str(), "r");
    if (pipe == nullptr)
        return r;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    const int raw = pclose(pipe);
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    return r;
}

// One of the built programs + args, run from folder with GSL_RNG_SEED fixed.
inline SCliResult RunProgramIn(const std::string& program, const std::string& folder,
                               const std::string& args) {
    return RunShellIn(folder, "GSL_RNG_SEED=12345 '" BRELO_BIN_DIR "/" + program + "' " + args);
}

// brelo + args, run from folder with GSL_RNG_SEED fixed.
inline SCliResult RunBreloIn(const std::string& folder, const std::string& args) {
    return RunProgramIn("brelo", folder, args);
}

// Names of the files of a folder.
inline std::vector<std::string> FolderFiles(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    return names;
}

inline void CopyFixture(const std::string& name, const std::string& folder) {
    std::filesystem::copy_file(std::string(BRELO_TEST_DATA_DIR) + "/" + name, folder + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
}

#endif

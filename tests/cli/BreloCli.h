// Runs the built programs in a scratch folder and captures their output
// (both streams) and exit status.
#ifndef BRELO_TESTS_CLI_BRELOCLI_H
#define BRELO_TESTS_CLI_BRELOCLI_H

#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "brelo/BreloTestUtil.h"
#include "io/TableText.h"

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

inline std::vector<std::string> SortedFolderFiles(const std::string& folder) {
    std::vector<std::string> files = FolderFiles(folder);
    std::sort(files.begin(), files.end());
    return files;
}

// run.txt: the value of each fact named in its header.
inline std::map<std::string, std::string> RunTableFacts(const std::string& file) {
    std::istringstream in(ReadWholeFile(file));
    std::vector<std::string> names, values;
    std::map<std::string, std::string> facts;
    if (ReadTableRecord(in, names) != TableRecord::Read ||
        ReadTableRecord(in, values) != TableRecord::Read || names.size() != values.size()) {
        ADD_FAILURE() << file << " is not one row under a header";
        return facts;
    }
    for (size_t c = 0; c < names.size(); ++c)
        facts[names[c]] = values[c];
    return facts;
}

inline void CopyFixture(const std::string& name, const std::string& folder) {
    std::filesystem::copy_file(std::string(BRELO_TEST_DATA_DIR) + "/" + name, folder + "/" + name,
                               std::filesystem::copy_options::overwrite_existing);
}

// The refusals of impossible replica and thread counts, the same in both
// programs: each option with the message it must give.
struct SOptionRefusal {
    std::string option, message;
};
inline std::vector<SOptionRefusal> ReplicaCountRefusals() {
    return {
        {"-rx0", "The number of replicas (-rx) must be between 1 and 64."},
        {"-rx65", "The number of replicas (-rx) must be between 1 and 64."},
        {"-rxfour", "Option -rx needs a whole number, not 'four'."},
        {"-t-1", "The number of threads (-t) must be between 0 (all cores) and 256."},
        {"-t2.5", "Option -t needs a whole number, not '2.5'."},
    };
}

// Runs each case through run(option): status 1 and the case's message.
template <class Run>
void ExpectRefusals(const std::vector<SOptionRefusal>& cases, Run&& run) {
    for (const auto& c : cases) {
        const SCliResult r = run(c.option);
        EXPECT_EQ(r.status, 1) << c.option;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.option << ": " << r.output;
    }
}

#endif

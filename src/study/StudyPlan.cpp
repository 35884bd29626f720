#include "study/StudyPlan.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

namespace fs = std::filesystem;

unsigned long ChainSeed(unsigned long base, int K, int replicate) {
    return base + static_cast<unsigned long>(kMaxReplicates) * (K - 1) + (replicate - 1);
}

bool SeedsFitIn32Bits(unsigned long base, int kMax, int replicates) {
    return base <= UINT_MAX && ChainSeed(base, kMax, replicates) <= UINT_MAX;
}

unsigned long DrawBaseSeed() {
    std::random_device device;
    // Below 2^31 leaves room for every chain of any allowed range.
    return device() % 2147483647UL;
}

std::string ChainFolder(const std::string& studyDir, int K, int replicate) {
    return studyDir + "/K" + std::to_string(K) + "/rep" + std::to_string(replicate);
}

std::string DoneMarker(const std::string& folder) {
    return folder + "/done";
}

std::string FailedMarker(const std::string& folder) {
    return folder + "/failed";
}

std::string ChainLog(const std::string& folder) {
    return folder + "/run.log";
}

bool SharesTessellation(const SStudySettings& s) {
    if (s.program != StudyProgram::BreloAdm)
        return false;
    for (const std::string& a : s.programOptions)
        if (a.compare(0, 2, "-v") == 0)
            return false;
    return true;
}

std::string TessellationFile(const SStudySettings& s) {
    return s.studyDir + "/tessellation/" + s.dataFile + "VC";
}

// The program with the study's options, K and its output folder; breloAdm
// keeps its tessellation and best-run files there (-auxout).
SChainPlan ProgramRun(const SStudySettings& s, int K, const std::string& folder) {
    SChainPlan c;
    c.K = K;
    c.folder = folder;
    c.argv.push_back(s.programPath);
    for (const std::string& a : s.programOptions)
        c.argv.push_back(a);
    c.argv.push_back("-K" + std::to_string(K));
    c.argv.push_back("-o" + c.folder);
    if (s.program == StudyProgram::BreloAdm)
        c.argv.push_back("-auxout");
    return c;
}

SChainPlan TessellationPlan(const SStudySettings& s) {
    SChainPlan c = ProgramRun(s, s.kMin, s.studyDir + "/tessellation");
    c.seed = s.seed;
    c.argv.push_back("-tessonly");
    return c;
}

std::vector<SChainPlan> PlanChains(const SStudySettings& s) {
    std::vector<SChainPlan> chains;
    for (int K = s.kMin; K <= s.kMax; ++K)
        for (int r = 1; r <= s.replicates; ++r) {
            SChainPlan c = ProgramRun(s, K, ChainFolder(s.studyDir, K, r));
            c.replicate = r;
            c.seed = ChainSeed(s.seed, K, r);
            if (SharesTessellation(s))
                c.argv.push_back("-v" + TessellationFile(s));
            chains.push_back(c);
        }
    return chains;
}

bool PrepareChainFolder(const SChainPlan& chain, std::string& error) {
    std::error_code ec;
    fs::create_directories(chain.folder, ec);
    if (ec) {
        error = "cannot create " + chain.folder + ": " + ec.message();
        return false;
    }
    return true;
}

void WriteStudyRecord(const SStudySettings& s, const std::string& workingDir) {
    const std::string file = s.studyDir + "/study.txt";
    std::ofstream out(file);
    out << "program\t" << s.programPath << "\n"
        << "seed\t" << s.seed << "\n"
        << "Kmin\t" << s.kMin << "\n"
        << "Kmax\t" << s.kMax << "\n"
        << "replicates\t" << s.replicates << "\n"
        << "folder\t" << workingDir << "\n"
        << "labels\t" << s.labelsFile << "\n"
        << "options";
    for (const std::string& a : s.programOptions)
        out << "\t" << a;
    out << "\n";
    if (!out)
        RefuseStudy("cannot write " + file);
}

bool ReadStudyRecord(const std::string& studyDir, SStudySettings& s, std::string& workingDir,
                     std::string& error) {
    const std::string file = studyDir + "/study.txt";
    std::ifstream in(file);
    if (!in) {
        error = "no study in " + studyDir + " (" + file + " is missing)";
        return false;
    }
    std::string line;
    int fields = 0;
    while (std::getline(in, line)) {
        std::istringstream row(line);
        std::string key, value;
        std::getline(row, key, '\t');
        if (key == "options") {
            s.programOptions.clear();
            while (std::getline(row, value, '\t'))
                s.programOptions.push_back(value);
            ++fields;
            continue;
        }
        std::getline(row, value);
        try {
            if (key == "program")
                s.programPath = value;
            else if (key == "seed")
                s.seed = std::stoul(value);
            else if (key == "Kmin")
                s.kMin = std::stoi(value);
            else if (key == "Kmax")
                s.kMax = std::stoi(value);
            else if (key == "replicates")
                s.replicates = std::stoi(value);
            else if (key == "folder")
                workingDir = value;
            else if (key == "labels")
                s.labelsFile = value;
            else
                continue;
        } catch (const std::exception&) {
            error = file + ": cannot read " + key + " '" + value + "'";
            return false;
        }
        ++fields;
    }
    const std::string name = fs::path(s.programPath).filename().string();
    s.program = name == "breloAdm" ? StudyProgram::BreloAdm : StudyProgram::Brelo;
    if (fields < 7 || s.kMin < 1 || s.kMax < s.kMin || s.replicates < 1 ||
        s.replicates > kMaxReplicates) {
        error = file + " is incomplete";
        return false;
    }
    for (const std::string& a : s.programOptions) {
        if (a.compare(0, 2, "-F") == 0)
            s.dataFile = a.substr(2);
        if (a.compare(0, 2, "-N") == 0)
            s.individuals = std::strtol(a.c_str() + 2, nullptr, 10);
    }
    s.seedGiven = true;
    return true;
}

void MergeWithStudyRecord(SStudySettings& s, SStudySettings& recorded) {
    if (recorded.programPath != s.programPath || recorded.programOptions != s.programOptions)
        RefuseStudy(s.studyDir +
                    " holds a study of other program options: give another -o, or the same "
                    "options to resume it");
    if (s.seedGiven && s.seed != recorded.seed)
        RefuseStudy(s.studyDir + " holds a study with -seed" + std::to_string(recorded.seed) +
                    ": give that seed, or none, to resume it");
    s.seed = recorded.seed;
    s.seedGiven = true;
    if (!s.labelsFile.empty())
        recorded.labelsFile = s.labelsFile;
    recorded.kMin = std::min(recorded.kMin, s.kMin);
    recorded.kMax = std::max(recorded.kMax, s.kMax);
    recorded.replicates = std::max(recorded.replicates, s.replicates);
}

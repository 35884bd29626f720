#include "study/StudyPlan.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <random>
#include <regex>
#include <sstream>

#include "study/AtomicFile.h"
#include "study/HeldOutGenotypes.h"
#include "study/StudyLock.h"

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

std::string HeldOutFolder(const std::string& studyDir, int K, int replicate) {
    return studyDir + "/K" + std::to_string(K) + "/cv" + std::to_string(replicate);
}

std::string ChainName(const SChainPlan& c) {
    return "K" + std::to_string(c.K) + (c.heldOut ? " cv" : " rep") + std::to_string(c.replicate);
}

std::string HeldOutPartition(const std::string& studyDir, int replicate) {
    return studyDir + "/heldout" + std::to_string(replicate) + ".txt";
}

std::vector<long> HeldOutHalf(long n, unsigned long baseSeed, int replicate) {
    std::vector<long> all(n);
    for (long i = 0; i < n; ++i)
        all[i] = i + 1;
    // The Mersenne twister's output is fixed by the standard: the same halves
    // on every system (a partial Fisher-Yates shuffle of our own).
    std::mt19937 generator(static_cast<std::uint32_t>(baseSeed * 1000003UL + replicate));
    const long half = n / 2;
    for (long i = 0; i < half; ++i) {
        const long j = i + static_cast<long>(generator() % static_cast<std::uint32_t>(n - i));
        std::swap(all[i], all[j]);
    }
    all.resize(half);
    std::sort(all.begin(), all.end());
    return all;
}

std::string HeldOutDataName(const SStudySettings& s, int replicate) {
    return "heldout" + std::to_string(replicate) + "_" + s.dataFile;
}

namespace {

void WriteOrRefuse(const std::string& file, const std::function<bool(std::ostream&)>& write) {
    std::string error;
    if (!WriteFileAtomically(file, write, error))
        RefuseStudy(error);
}

// brelo's partitions of the loci into halves.
void WriteLociHalves(const SStudySettings& s) {
    for (int r = 1; r <= s.replicates; ++r) {
        const std::vector<long> half = HeldOutHalf(s.loci, s.seed, r);
        WriteOrRefuse(HeldOutPartition(s.studyDir, r), [&](std::ostream& out) {
            out << "Validation on Loci\nhalf" << r << ":";
            for (long i : half)
                out << " " << i;
            out << "\n";
            return static_cast<bool>(out);
        });
    }
}

// breloAdm's held-out genotypes: per replicate, the list of the genotypes
// hidden and the data file with them written as missing.
void WriteHiddenGenotypes(const SStudySettings& s) {
    SGenotypeLayout layout;
    SGenotypeText data;
    std::string why;
    const std::string path = s.inputDir.empty() ? s.dataFile : s.inputDir + "/" + s.dataFile;
    if (!HeldOutLayout(s.programOptions, layout, why) || !ReadGenotypeText(path, layout, data, why))
        RefuseStudy("-cv: " + why);
    for (int r = 1; r <= s.replicates; ++r) {
        const std::vector<SHeldOutGenotype> held = DrawHeldOutGenotypes(
            data, kHeldOutShare, static_cast<std::uint32_t>(s.seed * 1000003UL + r));
        if (held.empty())
            RefuseStudy("-cv: the data hold too few observed genotypes to hide some of them");
        WriteOrRefuse(HeldOutPartition(s.studyDir, r), [&](std::ostream& out) {
            WriteHeldOutList(out, held);
            return static_cast<bool>(out);
        });
        const std::string text = HideGenotypes(data, held);
        WriteOrRefuse(s.studyDir + "/" + HeldOutDataName(s, r), [&](std::ostream& out) {
            out << text;
            return static_cast<bool>(out);
        });
    }
}

}  // namespace

void WriteHeldOutPartitions(const SStudySettings& s) {
    if (s.program == StudyProgram::Brelo)
        WriteLociHalves(s);
    else
        WriteHiddenGenotypes(s);
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

std::string ChainCommandFile(const std::string& folder) {
    return folder + "/command.txt";
}

std::string QueuedMarker(const std::string& folder) {
    return folder + "/queued";
}

std::string ChainScript(const std::string& folder) {
    return folder + "/chain.sh";
}

std::vector<std::string> ChainCommandWords(const SChainPlan& chain) {
    std::vector<std::string> words{"GSL_RNG_SEED=" + std::to_string(chain.seed)};
    words.insert(words.end(), chain.argv.begin(), chain.argv.end());
    return words;
}

std::string FirstDifference(const std::vector<std::string>& recorded,
                            const std::vector<std::string>& planned) {
    const size_t n = std::min(recorded.size(), planned.size());
    for (size_t i = 0; i < n; ++i)
        if (recorded[i] != planned[i])
            return recorded[i] + " where this command gives " + planned[i];
    if (recorded.size() > n)
        return recorded[n] + ", which this command lacks";
    if (planned.size() > n)
        return "no " + planned[n] + ", which this command adds";
    return std::string();
}

namespace {

bool ReadChainCommand(const std::string& folder, std::vector<std::string>& words) {
    std::ifstream in(ChainCommandFile(folder));
    if (!in)
        return false;
    words.clear();
    std::string line;
    while (std::getline(in, line))
        words.push_back(line);
    return !words.empty();
}

bool WriteChainCommand(const SChainPlan& chain, std::string& error) {
    return WriteFileAtomically(
        ChainCommandFile(chain.folder),
        [&](std::ostream& out) {
            for (const std::string& w : ChainCommandWords(chain))
                out << w << "\n";
            return static_cast<bool>(out);
        },
        error);
}

// A chain folder that holds anything but its lock: the chain started once.
bool ChainStarted(const std::string& folder) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.path().filename() != "lock")
            return true;
    return false;
}

}  // namespace

void CheckChainPlaces(const std::vector<SChainPlan>& plan) {
    for (const SChainPlan& c : plan)
        for (const fs::path& place : {fs::path(c.folder).parent_path(), fs::path(c.folder)}) {
            std::error_code ec;
            const fs::file_status st = fs::status(place, ec);
            if (fs::exists(st) && !fs::is_directory(st))
                RefuseStudy(place.string() + " is not a folder: chain " + ChainName(c) +
                            " belongs there; move it away or give another -o");
        }
}

int CheckRecordedCommands(const std::vector<SChainPlan>& plan, bool studyRecordFound) {
    int started = 0;
    for (const SChainPlan& c : plan) {
        if (!ChainStarted(c.folder))
            continue;
        ++started;
        std::vector<std::string> recorded;
        const std::string how = studyRecordFound ? "" : " (and study.txt is missing)";
        if (!ReadChainCommand(c.folder, recorded)) {
            if (studyRecordFound)
                continue;  // a chain of an earlier version, settled by study.txt
            RefuseStudy("chain " + ChainName(c) + " in " + c.folder +
                        " has no record of its command and study.txt is missing: give -fresh "
                        "to start the study over, or another -o");
        }
        const std::string difference = FirstDifference(recorded, ChainCommandWords(c));
        if (!difference.empty())
            RefuseStudy("chain " + ChainName(c) + " ran with " + difference + how +
                        ": give the same options to resume it, -fresh to start the study over, "
                        "or another -o");
    }
    return started;
}

int QueuedOrRunning(const std::vector<SChainPlan>& plan) {
    int n = 0;
    for (const SChainPlan& c : plan) {
        std::error_code ec;
        if (fs::exists(DoneMarker(c.folder), ec))
            continue;
        n += fs::exists(QueuedMarker(c.folder), ec) || ChainIsRunning(c.folder);
    }
    return n;
}

void RemoveStudy(const std::string& studyDir) {
    static const std::regex ownFile(
        R"((study\.txt|summary\.tsv|K[0-9]+_.*|Kchoice\..*|barplots\..*|report\.html|jobs\.txt|)"
        R"(joblog\.txt|study\.sbatch|slurm-.*\.out|heldout.*))");
    static const std::regex kFolder("K[0-9]+"), repFolder("(rep|cv)[0-9]+");
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(studyDir, ec)) {
        const std::string name = entry.path().filename().string();
        std::error_code e2;
        if (entry.is_directory(e2) && name == "tessellation") {
            fs::remove_all(entry.path(), e2);
        } else if (entry.is_directory(e2) && std::regex_match(name, kFolder)) {
            for (const auto& rep : fs::directory_iterator(entry.path(), e2))
                if (std::regex_match(rep.path().filename().string(), repFolder))
                    fs::remove_all(rep.path(), e2);
            fs::remove(entry.path(), e2);  // only when nothing else is left in it
        } else if (entry.is_regular_file(e2) && std::regex_match(name, ownFile)) {
            fs::remove(entry.path(), e2);
        }
    }
}

namespace {

// The study's options with the data file whose held-out genotypes are hidden.
SStudySettings OnHiddenGenotypes(const SStudySettings& s, int replicate) {
    SStudySettings twin = s;
    twin.programOptions.clear();
    for (const std::string& a : s.programOptions)
        if (a.compare(0, 2, "-F") != 0 && a.compare(0, 2, "-i") != 0)
            twin.programOptions.push_back(a);
    twin.programOptions.push_back("-F" + HeldOutDataName(s, replicate));
    twin.programOptions.push_back("-i" + s.studyDir);
    return twin;
}

}  // namespace

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
            if (!s.heldOut)
                continue;
            c.heldOut = true;
            c.folder = HeldOutFolder(s.studyDir, K, r);
            if (s.program == StudyProgram::Brelo) {
                c.argv = ProgramRun(s, K, c.folder).argv;
                c.argv.push_back("-v" + HeldOutPartition(s.studyDir, r));
                c.argv.push_back("-2fold");
            } else {
                c.argv = ProgramRun(OnHiddenGenotypes(s, r), K, c.folder).argv;
                if (SharesTessellation(s))
                    c.argv.push_back("-v" + TessellationFile(s));
            }
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
    return WriteChainCommand(chain, error);
}

void WriteStudyRecord(const SStudySettings& s, const std::string& workingDir) {
    const std::string file = s.studyDir + "/study.txt";
    std::string error;
    const bool written = WriteFileAtomically(
        file,
        [&](std::ostream& out) {
            out << "program\t" << s.programPath << "\n"
                << "seed\t" << s.seed << "\n"
                << "Kmin\t" << s.kMin << "\n"
                << "Kmax\t" << s.kMax << "\n"
                << "replicates\t" << s.replicates << "\n"
                << "folder\t" << workingDir << "\n"
                << "labels\t" << s.labelsFile << "\n"
                << "heldout\t" << (s.heldOut ? 1 : 0) << "\n"
                << "options";
            for (const std::string& a : s.programOptions)
                out << "\t" << a;
            out << "\n";
            return static_cast<bool>(out);
        },
        error);
    if (!written)
        RefuseStudy(error);
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
            else if (key == "heldout")
                s.heldOut = value == "1";
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
    ReadProgramSettings(s);
    s.seedGiven = true;
    return true;
}

void MergeWithStudyRecord(SStudySettings& s, SStudySettings& recorded) {
    std::vector<std::string> was{recorded.programPath}, now{s.programPath};
    was.insert(was.end(), recorded.programOptions.begin(), recorded.programOptions.end());
    now.insert(now.end(), s.programOptions.begin(), s.programOptions.end());
    const std::string difference = FirstDifference(was, now);
    if (!difference.empty())
        RefuseStudy(s.studyDir + " holds a study run with " + difference +
                    ": give the same options to resume it, -fresh to start over, or another -o");
    if (recorded.heldOut != s.heldOut)
        RefuseStudy(s.studyDir + " holds a study run " + (recorded.heldOut ? "with" : "without") +
                    " -cv: give the same options to resume it, -fresh to start over, or another "
                    "-o");
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

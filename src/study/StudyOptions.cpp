#include "study/StudyOptions.h"

#include <sched.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>

#include "chart/Figure.h"
#include "core/OptionNames.h"
#include "study/HeldOutGenotypes.h"
#include "study/StudyPlan.h"

namespace fs = std::filesystem;

namespace {

const char* const kStudyUsage[] = {
    "breloStudy: many chains of brelo or breloAdm over a range of K, labels aligned,",
    "modes found, K chosen.",
    "",
    "  breloStudy -run -P<program> -K<first>:<last> [-R<n>] [-j<n>] -o<study> [-seed<n>]",
    "             [-labels<file>] [-modes<x>] [-w<formats>] [-cv] [-fresh] [-force]",
    "             -- <options of the program>",
    "  breloStudy -jobs (the same options) [-sbatch<options>]   writes <study>/jobs.txt and",
    "             study.sbatch",
    "  breloStudy -collect -o<study> [-labels<file>] [-modes<x>] [-w<formats>]",
    "",
    "-run:            run the chains on this computer",
    "-jobs:           write the chains as jobs for GNU parallel or a Slurm array",
    "-collect:        align, group and sum up the chains of a study",
    "-P<program>:     brelo or breloAdm (found next to breloStudy, then on PATH)",
    "-K<first>:<last>: the range of K, for example -K1:6",
    "-R<n>:           chains per K (default 5)",
    "-j<n>:           chains run at once (default: the cores over the threads of a chain, -t)",
    "-o<study>:       the study folder (created when missing)",
    "-seed<n>:        base seed of the chains (default: drawn and printed)",
    "-labels<file>:   one label a line for each individual (e.g. its sampling site)",
    "-modes<x>:       chains more similar than this fall in one mode (default 0.9)",
    "-w<formats>:     files of the study's charts: png, pdf, png,pdf (default) or none",
    "-fresh:          remove the study's earlier chains and files, then start over",
    "-force:          run or write jobs even while chains of the study are queued or running",
    "-sbatch<options>: options of the scheduler written into study.sbatch (with -jobs)",
    "-cv:             each chain has a twin that scores data it never saw: the held-out",
    "                 criterion for K. brelo: 2-fold cross-validation on halves of the",
    "                 loci drawn per replicate; breloAdm: a tenth of the genotypes drawn",
    "                 per replicate, hidden from the twin and scored by its memberships",
    "                 and allele frequencies (data in the ordinary layout)",
    "After --, the options of the program without -K, -o, -orun (and -g, -h for brelo).",
    "Exit status: 0, 1 for a refused command line, 2 when chains failed (the study is",
    "collected from the others), 128 + the signal when stopped.",
};

bool StartsWith(const std::string& s, const std::string& prefix) {
    return s.compare(0, prefix.size(), prefix) == 0;
}

int PositiveInteger(const std::string& option, const std::string& text, long max) {
    long v;
    if (!ParseInteger(text, v) || v < 1 || v > max)
        RefuseStudy(option + " needs a whole number from 1 to " + std::to_string(max) + ", not '" +
                    text + "'");
    return static_cast<int>(v);
}

void ParseKRange(const std::string& text, SStudySettings& s) {
    const size_t colon = text.find(':');
    long a = 0, b = 0;
    bool ok = colon == std::string::npos ? ParseInteger(text, a)
                                         : ParseInteger(text.substr(0, colon), a) &&
                                               ParseInteger(text.substr(colon + 1), b);
    if (colon == std::string::npos)
        b = a;
    if (!ok || a < 1 || b < a || b > 999)
        RefuseStudy(
            "-K needs a range of clusters such as -K1:6 (1 <= first <= last <= 999), not '" + text +
            "'");
    s.kMin = static_cast<int>(a);
    s.kMax = static_cast<int>(b);
}

void ParseSeed(const std::string& text, SStudySettings& s) {
    long v;
    if (!ParseInteger(text, v) || v < 0 || static_cast<unsigned long>(v) > UINT_MAX)
        RefuseStudy("-seed needs a whole number from 0 to " + std::to_string(UINT_MAX) + ", not '" +
                    text + "'");
    s.seed = static_cast<unsigned long>(v);
    s.seedGiven = true;
}

void ParseModeThreshold(const std::string& text, SStudySettings& s) {
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !(v > 0 && v <= 1))
        RefuseStudy("-modes needs a similarity above 0 and at most 1, not '" + text + "'");
    s.modeThreshold = v;
}

// -w<formats>: the files of the study's charts.
void ParseFigureFormats(const std::string& text) {
    Chart::FigureFormats formats;
    if (!Chart::ParseFigureFormats(text, formats))
        RefuseStudy("-w takes the files of the charts: -wpng, -wpdf, -wpng,pdf or -wnone, not '" +
                    text + "'");
    Chart::SetFigureFormats(formats);
}

// One option of breloStudy itself (before "--").
void ParseStudyOption(const std::string& a, SStudySettings& s) {
    auto setMode = [&](StudyMode m) {
        if (s.mode != StudyMode::None)
            RefuseStudy("give one of -run, -jobs and -collect");
        s.mode = m;
    };
    if (a == "-run")
        setMode(StudyMode::Run);
    else if (a == "-fresh")
        s.fresh = true;
    else if (a == "-force")
        s.force = true;
    else if (a == "-cv")
        s.heldOut = true;
    else if (StartsWith(a, "-sbatch"))
        s.sbatchOptions = a.substr(7);
    else if (a == "-jobs")
        setMode(StudyMode::Jobs);
    else if (a == "-collect")
        setMode(StudyMode::Collect);
    else if (StartsWith(a, "-labels"))
        s.labelsFile = a.substr(7);
    else if (StartsWith(a, "-modes"))
        ParseModeThreshold(a.substr(6), s);
    else if (StartsWith(a, "-seed"))
        ParseSeed(a.substr(5), s);
    else if (StartsWith(a, "-P"))
        s.programPath = a.substr(2);
    else if (StartsWith(a, "-K"))
        ParseKRange(a.substr(2), s);
    else if (StartsWith(a, "-R"))
        s.replicates = PositiveInteger("-R", a.substr(2), kMaxReplicates);
    else if (StartsWith(a, "-j"))
        s.jobs = PositiveInteger("-j", a.substr(2), 4096);
    else if (StartsWith(a, "-o"))
        s.studyDir = a.substr(2);
    else if (StartsWith(a, "-w"))
        ParseFigureFormats(a.substr(2));
    else
        RefuseUnknownOption(a, StudyUsageLines(), "breloStudy");
}

// Options of the program that the study sets for each chain, or that would
// make a chain something else than one run.
void RefuseSetOption(const std::string& a, StudyProgram program) {
    std::string why;
    if (StartsWith(a, "-K"))
        why = "the study sets -K for each chain";
    else if (StartsWith(a, "-o"))
        why = "the study sets the output folder of each chain";
    else if (a == "-predict")
        why = "a study runs chains, not predictions";
    else if (program == StudyProgram::Brelo && (StartsWith(a, "-g") || StartsWith(a, "-h")))
        why = "each chain is one run: the study runs the replicates";
    else if (program == StudyProgram::Brelo && a == "-2fold")
        why = "each chain is one run";
    if (!why.empty())
        RefuseStudy("remove " + a + " from the options of the program: " + why);
}

// -S, -B and -N as whole numbers; -1 when the option reads otherwise (the
// program refuses it then).
long WholeNumberOr(const std::string& text, long otherwise) {
    long v;
    return ParseInteger(text, v) ? v : otherwise;
}

void ReadProgramOptions(SStudySettings& s) {
    for (const std::string& a : s.programOptions) {
        if (a.find_first_of("\t\n") != std::string::npos)
            RefuseStudy("an option of the program holds a tab or a line break");
        RefuseSetOption(a, s.program);
    }
    ReadProgramSettings(s);
    if (s.threads < 0)
        RefuseStudy("-t of the program needs a whole number of threads (0 for every core)");
    if (s.dataFile.empty())
        RefuseStudy("the options of the program need the data file: -F<file>");
    if (s.dataFile.find('/') != std::string::npos)
        RefuseStudy("-F takes the data file's name alone: give its folder with -i");
    const std::string path = s.inputDir.empty() ? s.dataFile : s.inputDir + "/" + s.dataFile;
    std::ifstream probe(path);
    if (!probe || !fs::is_regular_file(path))
        RefuseStudy("cannot read the data file " + path);
}

void CheckProgram(SStudySettings& s) {
    if (s.programPath.empty())
        RefuseStudy("-P needs the program: -Pbrelo or -PbreloAdm");
    const std::string name = fs::path(s.programPath).filename().string();
    if (name == "brelo")
        s.program = StudyProgram::Brelo;
    else if (name == "breloAdm")
        s.program = StudyProgram::BreloAdm;
    else
        RefuseStudy("-P takes brelo or breloAdm, not '" + s.programPath + "'");
    const std::string found = FindProgram(s.programPath);
    if (found.empty())
        RefuseStudy("cannot find the program " + s.programPath + " next to breloStudy or on PATH");
    s.programPath = found;
}

// -cv: brelo's 2-fold cross-validation on halves of the loci; for breloAdm,
// genotypes hidden in a copy of its data file.
void CheckHeldOut(const SStudySettings& s) {
    if (s.program == StudyProgram::BreloAdm) {
        SGenotypeLayout layout;
        std::string why;
        if (!HeldOutLayout(s.programOptions, layout, why))
            RefuseStudy("-cv: " + why);
        return;
    }
    if (s.loci < 2)
        RefuseStudy(
            "-cv needs the number of loci (-L<n>, 2 or more) among the options of the "
            "program");
    for (const std::string& a : s.programOptions)
        if (StartsWith(a, "-v"))
            RefuseStudy("remove " + a +
                        " from the options of the program: with -cv the study "
                        "holds out halves of the loci itself");
}

void CheckRunOptions(SStudySettings& s) {
    CheckProgram(s);
    if (s.kMin == 0)
        RefuseStudy("-K needs the range of clusters, for example -K1:6");
    if (s.studyDir.empty())
        RefuseStudy("-o needs the study folder");
    if (s.programOptions.empty())
        RefuseStudy("the options of the program come after --");
    ReadProgramOptions(s);
    if (s.program == StudyProgram::BreloAdm && s.kMin == 1)
        for (const std::string& a : s.programOptions)
            if (a == "-jy")
                RefuseStudy("breloAdm -jy needs 2 clusters or more: start the range at -K2");
    if (s.heldOut)
        CheckHeldOut(s);
    if (s.seedGiven && !SeedsFitIn32Bits(s.seed, s.kMax, s.replicates))
        RefuseStudy("-seed" + std::to_string(s.seed) +
                    " leaves no room for the seeds of the chains: take a smaller seed");
    if (!s.labelsFile.empty()) {
        ReadLabels(s.labelsFile, s.individuals);
        s.labelsFile = fs::absolute(s.labelsFile).lexically_normal().string();
    }
    if (s.jobs == 0)
        s.jobs = DefaultJobs(AvailableCores(), s.threads);
    else if (s.threads != 1 && s.jobs * std::max(s.threads, 1) > AvailableCores())
        std::cerr << "breloStudy: -j" << s.jobs << " chains of " << s.threads
                  << " threads ask for more than the " << AvailableCores() << " cores here"
                  << std::endl;
}

}  // namespace

bool ParseInteger(const std::string& text, long& value) {
    if (text.empty() || std::isspace(static_cast<unsigned char>(text[0])))
        return false;
    char* end = nullptr;
    errno = 0;
    value = std::strtol(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

std::vector<std::string> StudyUsageLines() {
    return std::vector<std::string>(std::begin(kStudyUsage), std::end(kStudyUsage));
}

void RefuseStudy(const std::string& message) {
    std::cerr << "breloStudy: " << message << std::endl;
    std::exit(1);
}

std::string FindProgram(const std::string& name) {
    auto executable = [](const fs::path& p) {
        return fs::is_regular_file(p) && access(p.c_str(), X_OK) == 0;
    };
    if (name.find('/') != std::string::npos)
        return executable(name) ? fs::absolute(name).lexically_normal().string() : std::string();
    std::error_code ec;
    fs::path self = fs::read_symlink("/proc/self/exe", ec);
    if (!ec && executable(self.parent_path() / name))
        return (self.parent_path() / name).string();
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        size_t end = dirs.find(':', start);
        if (end == std::string::npos)
            end = dirs.size();
        fs::path dir = dirs.substr(start, end - start);
        if (!dir.empty() && executable(dir / name))
            return fs::absolute(dir / name).string();
        start = end + 1;
    }
    return std::string();
}

std::vector<std::string> ReadLabels(const std::string& file, long individuals) {
    std::ifstream in(file);
    if (!in || !fs::is_regular_file(file))
        RefuseStudy("cannot read the labels file " + file);
    std::vector<std::string> labels;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        labels.push_back(line);
    }
    while (!labels.empty() && labels.back().find_first_not_of(" \t") == std::string::npos)
        labels.pop_back();
    if (individuals >= 0 && static_cast<long>(labels.size()) != individuals)
        RefuseStudy("the labels file " + file + " holds " + std::to_string(labels.size()) +
                    " labels for " + std::to_string(individuals) + " individuals");
    return labels;
}

void ReadProgramSettings(SStudySettings& s) {
    for (const std::string& a : s.programOptions) {
        if (StartsWith(a, "-F"))
            s.dataFile = a.substr(2);
        else if (StartsWith(a, "-i"))
            s.inputDir = a.substr(2);
        else if (StartsWith(a, "-N"))
            s.individuals = WholeNumberOr(a.substr(2), -1);
        else if (StartsWith(a, "-L"))
            s.loci = WholeNumberOr(a.substr(2), -1);
        else if (StartsWith(a, "-S"))
            s.sweeps = WholeNumberOr(a.substr(2), -1);
        else if (StartsWith(a, "-B"))
            s.burnIn = WholeNumberOr(a.substr(2), -1);
        else if (StartsWith(a, "-t"))
            s.threads = static_cast<int>(std::clamp(WholeNumberOr(a.substr(2), -1), -1L, 4096L));
    }
}

int DefaultJobs(int cores, int threadsPerChain) {
    if (threadsPerChain <= 0)
        return 1;
    return std::max(1, cores / threadsPerChain);
}

int AvailableCores() {
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0)
        return CPU_COUNT(&set);
    long n = sysconf(_SC_NPROCESSORS_ONLN);
    return n > 0 ? static_cast<int>(n) : 1;
}

SStudySettings ParseStudyOptions(const std::vector<std::string>& args) {
    SStudySettings s;
    size_t i = 0;
    for (; i < args.size() && args[i] != "--"; ++i) {
        // The scheduler's options hold blanks: they may come as the next word.
        if (args[i] == "-sbatch" && i + 1 < args.size() && args[i + 1] != "--")
            s.sbatchOptions = args[++i];
        else
            ParseStudyOption(args[i], s);
    }
    if (i < args.size())
        s.programOptions.assign(args.begin() + i + 1, args.end());
    if (s.mode == StudyMode::None)
        RefuseStudy("give one of -run, -jobs and -collect");
    if (s.mode == StudyMode::Collect) {
        if (s.studyDir.empty())
            RefuseStudy("-collect needs the study folder: -o<study>");
        if (!s.programPath.empty() || s.kMin != 0 || !s.programOptions.empty() || s.seedGiven ||
            s.fresh || s.force || s.heldOut || !s.sbatchOptions.empty())
            RefuseStudy(
                "-collect takes only -o, -labels and -modes: the study folder records the rest");
        return s;
    }
    if (s.mode == StudyMode::Run && !s.sbatchOptions.empty())
        RefuseStudy("-sbatch goes with -jobs: it sets the scheduler's options of study.sbatch");
    if (s.sbatchOptions.find_first_of("\n\r") != std::string::npos)
        RefuseStudy("-sbatch holds a line break");
    CheckRunOptions(s);
    return s;
}

// Program breloStudy: many chains of brelo or breloAdm over a range of K,
// run on every core or written out for a cluster; their labels aligned,
// their modes found, K chosen and the memberships drawn.
#include <unistd.h>

#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "core/ProgramFlavour.h"
#include "study/ChainFiles.h"
#include "study/ChainRunner.h"
#include "study/JobFiles.h"
#include "study/StudyCollect.h"
#include "study/StudyLock.h"
#include "study/StudyOptions.h"
#include "study/StudyPlan.h"

namespace fs = std::filesystem;

namespace {

void ShowUsage() {
    for (const std::string& line : StudyUsageLines())
        std::cout << line << "\n";
    std::cout << std::flush;
}

// The study folder, created when missing; s.studyDir becomes absolute.
void MakeStudyFolder(SStudySettings& s) {
    std::error_code ec;
    fs::create_directories(s.studyDir, ec);
    if (ec || !fs::is_directory(s.studyDir, ec))
        RefuseStudy("cannot create the study folder " + s.studyDir);
    s.studyDir = fs::absolute(s.studyDir).lexically_normal().string();
    if (!s.studyDir.empty() && s.studyDir.back() == '/')
        s.studyDir.pop_back();
}

// The -run and -jobs set-up, under the study's lock: the study's record (an
// earlier record of the same folder settles the seed), the chains, and the
// checks that keep a resumed study whole.
std::vector<SChainPlan> SetUpStudy(SStudySettings& s, std::string& workingDir) {
    if (s.fresh)
        RemoveStudy(s.studyDir);
    workingDir = fs::current_path().string();
    SStudySettings recorded = s;
    std::string recordedDir, error;
    std::error_code ec;
    const bool recordFound = fs::exists(s.studyDir + "/study.txt", ec);
    if (recordFound) {
        if (!ReadStudyRecord(s.studyDir, recorded, recordedDir, error))
            RefuseStudy(error + ": give -fresh to start the study over, or another -o");
        MergeWithStudyRecord(s, recorded);
    } else {
        if (!s.seedGiven)
            s.seed = DrawBaseSeed();
        recorded = s;
    }
    if (!SeedsFitIn32Bits(s.seed, recorded.kMax, recorded.replicates))
        RefuseStudy("the base seed " + std::to_string(s.seed) +
                    " leaves no room for the chains' seeds");
    std::vector<SChainPlan> plan = PlanChains(s);
    CheckChainPlaces(plan);
    const int started = CheckRecordedCommands(plan, recordFound);
    if (!recordFound && started > 0)
        std::cout << "study.txt was missing: " << started
                  << " chains ran with this very command and are kept" << std::endl;
    const int busy = QueuedOrRunning(plan);
    if (busy > 0 && !s.force)
        RefuseStudy(std::to_string(busy) + " chains of " + s.studyDir +
                    " are queued by -jobs or running: wait for them and collect with -collect, "
                    "or cancel them and give -force");
    // Before the record: data the held-out chains cannot be drawn from leave
    // no study behind.
    if (s.heldOut)
        WriteHeldOutPartitions(s);
    recorded.seed = s.seed;
    WriteStudyRecord(recorded, workingDir);
    std::cout << "Study " << s.studyDir << ": " << fs::path(s.programPath).filename().string()
              << ", K " << s.kMin << " to " << s.kMax << ", " << s.replicates
              << " chains each, base seed " << s.seed << std::endl;
    return plan;
}

// A study collected with failed chains is usable, but not a success.
// So is one whose chains have not all ended.
int ExitStatus(const SCollectOutcome& outcome) {
    if (outcome.failed == 0 && outcome.unfinished == 0)
        return 0;
    if (outcome.failed > 0)
        std::cout << outcome.failed << " chains failed";
    if (outcome.failed > 0 && outcome.unfinished > 0)
        std::cout << ", ";
    if (outcome.unfinished > 0)
        std::cout << outcome.unfinished << " chains have not ended";
    std::cout << ": exit status 2" << std::endl;
    return 2;
}

// breloAdm chains share one tessellation of the sites: made once, before
// the chains, unless an earlier command of the study made it.
void PrepareTessellation(const SStudySettings& s) {
    if (!SharesTessellation(s) || fs::exists(TessellationFile(s)))
        return;
    const SChainPlan run = TessellationPlan(s);
    std::string error;
    if (RunToEnd(run, error) != 0 || !fs::exists(TessellationFile(s)))
        RefuseStudy("the tessellation of the sites failed (" +
                    (error.empty() ? "no " + TessellationFile(s) : error) + "): " +
                    LastMessageOfLog(ChainLog(run.folder)) + "  [" + ChainLog(run.folder) + "]");
}

int RunStudy(SStudySettings& s) {
    MakeStudyFolder(s);
    CStudyLock lock(s.studyDir, "-run");
    std::string workingDir;
    std::vector<SChainPlan> plan = SetUpStudy(s, workingDir);
    PrepareTessellation(s);
    SRunOutcome outcome = RunChains(plan, s.jobs);
    if (outcome.signal != 0) {
        std::cout << "Stopped: " << outcome.stopped
                  << " chains cut short. Give the same command again to run the chains that "
                     "have not ended."
                  << std::endl;
        return 128 + outcome.signal;
    }
    if (outcome.ran > 0)
        std::cout << outcome.ran << " chains ran in " << outcome.wallSeconds << " s with -j"
                  << s.jobs << ", " << outcome.chainSeconds << " s of chain run time (ratio "
                  << (outcome.wallSeconds > 0 ? outcome.chainSeconds / outcome.wallSeconds : 0)
                  << ")" << std::endl;
    return ExitStatus(CollectStudy(s.studyDir, s.labelsFile, s.modeThreshold));
}

int WriteJobs(SStudySettings& s) {
    MakeStudyFolder(s);
    CStudyLock lock(s.studyDir, "-jobs");
    std::string workingDir;
    std::vector<SChainPlan> plan = SetUpStudy(s, workingDir);
    PrepareTessellation(s);
    double longest = 0;
    for (const SChainPlan& c : plan) {
        std::error_code ec;
        if (fs::exists(DoneMarker(c.folder), ec)) {
            const double seconds = RecordedRunSeconds(c.folder + "/" + s.dataFile + "run.txt");
            if (seconds > longest)
                longest = seconds;
            continue;
        }
        std::string error;
        if (!PrepareChainFolder(c, error))
            RefuseStudy(error);
    }
    const int lines = WriteJobFiles(s, plan, workingDir, DefaultChainTime(s, longest));
    std::cout << lines << " chains to run in " << s.studyDir << "/jobs.txt, for example with\n"
              << "  parallel -j " << s.jobs << " --joblog " << s.studyDir << "/joblog.txt < "
              << s.studyDir << "/jobs.txt\n"
              << "or on a Slurm cluster with\n  sbatch " << s.studyDir << "/study.sbatch\n"
              << "then: breloStudy -collect -o" << s.studyDir << std::endl;
    return 0;
}

int Collect(const SStudySettings& s) {
    std::error_code ec;
    if (!fs::is_directory(s.studyDir, ec))
        RefuseStudy("no study in " + s.studyDir + " (" + s.studyDir + "/study.txt is missing)");
    CStudyLock lock(s.studyDir, "-collect");
    return ExitStatus(CollectStudy(s.studyDir, s.labelsFile, s.modeThreshold));
}

int Main(const std::vector<std::string>& args) {
    if (args.empty()) {
        ShowUsage();
        return 1;
    }
    for (const std::string& a : args) {
        if (a == "--")
            break;
        if (a == "--help") {
            ShowUsage();
            return 0;
        }
        if (a == "--version") {
            std::cout << "breloStudy " << ProgramVersion() << std::endl;
            return 0;
        }
    }
    SStudySettings s = ParseStudyOptions(args);
    switch (s.mode) {
        case StudyMode::Run:
            return RunStudy(s);
        case StudyMode::Jobs:
            return WriteJobs(s);
        default:
            return Collect(s);
    }
}

}  // namespace

int main(int argc, char** argv) {
    // Whatever the study folder holds, breloStudy ends with one line.
    try {
        return Main(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const std::exception& e) {
        RefuseStudy(e.what());
    }
}

// breloStudy under accidents: killed outright, run twice at once, resumed
// with other options or without its record, a study folder holding
// something unexpected, a disk that fills up. Each case kills or corrupts a
// real study (of a stand-in program, so that it runs in a moment).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "cli/BreloCli.h"
#include "cli/StudyFakeProgram.h"

extern char** environ;

namespace fs = std::filesystem;

namespace {

const std::string kStudy = BRELO_BIN_DIR "/breloStudy";

std::string Folder(const std::string& name) {
    const std::string dir = ::testing::TempDir() + "studyrobust_" + name;
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir + "/data.txt") << "a stand-in for a data file\n";
    return dir;
}

// breloStudy started in the background with argv (no shell between: a
// signal reaches breloStudy itself), its output in out.
pid_t StartStudy(const std::string& dir, const std::vector<std::string>& args,
                 const std::string& out) {
    std::vector<std::string> words{kStudy};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& w : words)
        argv.push_back(w.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const std::string cwd = fs::current_path();
    fs::current_path(dir);
    pid_t pid = -1;
    posix_spawn(&pid, kStudy.c_str(), &actions, nullptr, argv.data(), environ);
    fs::current_path(cwd);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

bool WaitFor(const std::function<bool()>& condition, int milliseconds = 20000) {
    for (int waited = 0; waited < milliseconds; waited += 20) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return condition();
}

// A process that has ended (gone, or a zombie nobody reaped yet).
bool Ended(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string line;
    if (!std::getline(stat, line))
        return true;
    const size_t close = line.rfind(')');
    return close != std::string::npos && close + 2 < line.size() && line[close + 2] == 'Z';
}

pid_t ReadPid(const std::string& file) {
    std::ifstream in(file);
    pid_t pid = -1;
    in >> pid;
    return pid;
}

std::string StudyArgs(const std::string& fake) {
    return kStudy + " -run -P" + fake + " -K1:2 -R2 -j2 -seed11 -ostudy -- -Fdata.txt";
}

std::vector<std::string> Words(const std::string& line) {
    std::istringstream in(line);
    std::vector<std::string> words;
    std::string w;
    while (in >> w)
        words.push_back(w);
    return words;
}

}  // namespace

TEST(StudyRobustnessCliTest, KilledOutrightTheStudyTakesItsChainsAlongAndItsLockIsTakenOver) {
    const std::string dir = Folder("kill9");
    const std::string fake = WriteFakeBrelo(dir, "echo $$ > \"$O/pid\"; sleep 30");
    std::vector<std::string> args = Words(StudyArgs(fake));
    args.erase(args.begin());
    const pid_t study = StartStudy(dir, args, dir + "/first.txt");
    ASSERT_GT(study, 0);
    const std::string pid1 = dir + "/study/K1/rep1/pid", pid2 = dir + "/study/K1/rep2/pid";
    ASSERT_TRUE(WaitFor([&] { return ReadPid(pid1) > 0 && ReadPid(pid2) > 0; }))
        << ReadWholeFile(dir + "/first.txt");

    // A second study on the same folder, while the first runs, is refused.
    SCliResult r = RunShellIn(dir, StudyArgs(fake));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("study is in use (breloStudy -run, process " + std::to_string(study)),
              std::string::npos)
        << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;
    r = RunShellIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(r.status, 1) << r.output;

    kill(study, SIGKILL);
    int status;
    waitpid(study, &status, 0);
    // Both chains die with it.
    EXPECT_TRUE(WaitFor([&] { return Ended(ReadPid(pid1)) && Ended(ReadPid(pid2)); }, 5000));

    // Its lock is taken over with a notice; the chains it cut short are
    // unfinished, which -collect says with exit status 2.
    r = RunShellIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(
        r.output.find("taking over the lock of breloStudy -run, process " + std::to_string(study)),
        std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("4 chains have not ended"), std::string::npos) << r.output;
}

TEST(StudyRobustnessCliTest, AChainRunningInAnotherProcessIsNeverStartedTwice) {
    const std::string dir = Folder("twice");
    const std::string fake = WriteFakeBrelo(dir, "echo run >> \"$O/runs\"");
    // Some process holds the lock of chain K2 rep1 (a study killed outright
    // whose chain has not died yet, a job of -jobs).
    fs::create_directories(dir + "/study/K2/rep1");
    const int fd = open((dir + "/study/K2/rep1/lock").c_str(), O_RDWR | O_CREAT, 0644);
    ASSERT_EQ(flock(fd, LOCK_EX), 0);
    SCliResult r = RunShellIn(dir, StudyArgs(fake));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("1 chains of " + dir + "/study are queued by -jobs or running"),
              std::string::npos)
        << r.output;
    // Told to go on, the study runs the others and leaves that one alone.
    r = RunShellIn(
        dir, kStudy + " -run -force -P" + fake + " -K1:2 -R2 -j2 -seed11 -ostudy -- -Fdata.txt");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("K2 rep1 is running in another process: left to it"), std::string::npos)
        << r.output;
    EXPECT_FALSE(fs::exists(dir + "/study/K2/rep1/runs"));
    EXPECT_EQ(ReadWholeFile(dir + "/study/K2/rep2/runs"), "run\n");
    close(fd);
    // Once it has ended, a resume runs it, and only it.
    r = RunShellIn(dir, StudyArgs(fake));
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(ReadWholeFile(dir + "/study/K2/rep1/runs"), "run\n");
    EXPECT_EQ(ReadWholeFile(dir + "/study/K2/rep2/runs"), "run\n");
}

TEST(StudyRobustnessCliTest,
     AResumeWithOtherOptionsOrWithoutItsRecordIsRefusedNamingTheDifference) {
    const std::string dir = Folder("resume");
    const std::string fake = WriteFakeBrelo(dir);
    ASSERT_EQ(RunShellIn(dir, StudyArgs(fake) + " -S20").status, 0);
    EXPECT_NE(ReadWholeFile(dir + "/study/K2/rep1/command.txt").find("GSL_RNG_SEED=1011\n"),
              std::string::npos);

    SCliResult r = RunShellIn(dir, StudyArgs(fake) + " -S30");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("run with -S20 where this command gives -S30"), std::string::npos)
        << r.output;

    // Without study.txt the chains' own records speak: another seed (drawn,
    // as none is given) or other options are refused...
    fs::remove(dir + "/study/study.txt");
    const std::string unseeded = kStudy + " -run -P" + fake + " -K1:2 -R2 -ostudy -- -Fdata.txt";
    r = RunShellIn(dir, unseeded + " -S20");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("chain K1 rep1 ran with GSL_RNG_SEED=11 where this command gives"),
              std::string::npos)
        << r.output;
    r = RunShellIn(dir, StudyArgs(fake) + " -S30");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(
        r.output.find("ran with -S20 where this command gives -S30 (and study.txt is missing)"),
        std::string::npos)
        << r.output;
    // ... the very same command resumes ...
    r = RunShellIn(dir, StudyArgs(fake) + " -S20");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(r.output.find("4 chains ran with this very command and are kept"), std::string::npos);
    // ... and -fresh starts over, leaving what is not the study's.
    std::ofstream(dir + "/study/notes.txt") << "mine\n";
    r = RunShellIn(dir, kStudy + " -run -fresh -P" + fake +
                            " -K1:2 -R2 -j2 -seed11 -ostudy -- -Fdata.txt -S30");
    EXPECT_EQ(r.status, 0) << r.output;
    EXPECT_NE(ReadWholeFile(dir + "/study/K1/rep1/command.txt").find("-S30"), std::string::npos);
    EXPECT_EQ(ReadWholeFile(dir + "/study/notes.txt"), "mine\n");
}

TEST(StudyRobustnessCliTest, SomethingUnexpectedInTheStudyFolderEndsInOneLineOrIsSkipped) {
    const std::string dir = Folder("unexpected");
    const std::string fake = WriteFakeBrelo(dir);
    fs::create_directories(dir + "/study");
    std::ofstream(dir + "/study/K1") << "not a folder\n";
    SCliResult r = RunShellIn(dir, StudyArgs(fake));
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("study/K1 is not a folder: chain K1 rep1 belongs there"),
              std::string::npos)
        << r.output;
    EXPECT_EQ(std::count(r.output.begin(), r.output.end(), '\n'), 1) << r.output;

    fs::remove(dir + "/study/K1");
    ASSERT_EQ(RunShellIn(dir, StudyArgs(fake)).status, 0);
    // A chain folder replaced by a file, a chain whose memberships are
    // garbage: each is reported and the rest collected.
    fs::remove_all(dir + "/study/K2/rep2");
    std::ofstream(dir + "/study/K2/rep2") << "not a folder\n";
    std::ofstream(dir + "/study/K1/rep2/data.txtQ.txt") << "id\tcluster1\nind1\tgarbage\n";
    r = RunShellIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("K2 rep2 failed: " + dir + "/study/K2/rep2 is not a folder"),
              std::string::npos)
        << r.output;
    EXPECT_NE(r.output.find("K1 rep2 failed: cannot read the ids and memberships of " + dir +
                            "/study/K1/rep2/data.txtQ.txt: row 1 (id ind1) does not hold"),
              std::string::npos)
        << r.output;
    EXPECT_TRUE(fs::exists(dir + "/study/summary.tsv"));
}

TEST(StudyRobustnessCliTest, AFailedWriteEndsWithStatus1AndLeavesThePreviousFiles) {
    const std::string dir = Folder("fullDisk");
    const std::string fake = WriteFakeBrelo(dir);
    ASSERT_EQ(RunShellIn(dir, StudyArgs(fake)).status, 0);
    std::vector<std::string> files;
    for (const auto& e : fs::directory_iterator(dir + "/study"))
        if (e.is_regular_file() && e.path().filename() != "lock")
            files.push_back(e.path().string());
    std::vector<std::string> before;
    for (const std::string& f : files)
        before.push_back(ReadWholeFile(f));
    // A file size limit stands for a full disk: writes beyond 2 KiB fail.
    SCliResult r = RunShellIn(
        dir, "bash -c \"trap '' XFSZ; ulimit -f 2; exec " + kStudy + " -collect -ostudy\"");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find("breloStudy: cannot write " + dir + "/study/"), std::string::npos)
        << r.output;
    for (size_t i = 0; i < files.size(); ++i)
        EXPECT_EQ(ReadWholeFile(files[i]), before[i]) << files[i];
    for (const auto& e : fs::directory_iterator(dir + "/study"))
        EXPECT_EQ(e.path().filename().string().find(".tmp"), std::string::npos) << e.path();
}

namespace {

// The field in the column of that name of a tab-separated table's first row.
std::string FirstRowField(const std::string& table, const std::string& column) {
    std::ifstream in(table);
    std::string header, row;
    std::getline(in, header);
    std::getline(in, row);
    const std::vector<std::string> names = Words(header), values = Words(row);
    for (size_t i = 0; i < names.size() && i < values.size(); ++i)
        if (names[i] == column)
            return values[i];
    return "(no " + column + " in " + table + ")";
}

// The chains of a study that ran, and how often each did.
std::string RunsOfEachChain(const std::string& study) {
    std::string runs;
    for (const char* chain : {"K1/rep1", "K1/rep2", "K2/rep1", "K2/rep2"})
        runs += std::string(chain) + ":" +
                std::to_string(Words(ReadWholeFile(study + "/" + chain + "/runs")).size()) + " ";
    return runs;
}

const char* const kAllOnce = "K1/rep1:1 K1/rep2:1 K2/rep1:1 K2/rep2:1 ";

}  // namespace

// A Slurm array is queued with the script as it was submitted; each task
// finds its chain by name in that script. Rewriting the jobs while the array
// waits is refused, and forced, it loses or swaps no chain.
TEST(StudyRobustnessCliTest, ArrayTasksRunTheirOwnChainsWhateverJobsRewrites) {
    const std::string dir = Folder("array");
    const std::string fake = WriteFakeBrelo(dir, "echo run >> \"$O/runs\"");
    const std::string jobs = kStudy + " -jobs -P" + fake + " -K1:2 -R2 -seed11 -ostudy";
    const std::string program = " -- -Fdata.txt";
    SCliResult r = RunShellIn(dir, jobs + " -sbatch '--mem=2G -p long'" + program);
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string sbatch = ReadWholeFile(dir + "/study/study.sbatch");
    EXPECT_NE(sbatch.find("#SBATCH --array=1-4\n"), std::string::npos) << sbatch;
    EXPECT_NE(sbatch.find("#SBATCH --mem=2G -p long\n"), std::string::npos) << sbatch;
    EXPECT_NE(sbatch.find("#SBATCH --time=00:30:00\n"), std::string::npos) << sbatch;
    fs::copy_file(dir + "/study/study.sbatch", dir + "/submitted.sbatch");
    auto task = [&](int i) {
        return RunShellIn(dir,
                          "SLURM_ARRAY_TASK_ID=" + std::to_string(i) + " bash submitted.sbatch")
            .status;
    };
    EXPECT_EQ(task(2), 0);
    r = RunShellIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(r.status, 2) << r.output;
    EXPECT_NE(r.output.find("3 chains have not ended"), std::string::npos) << r.output;
    r = RunShellIn(dir, jobs + program);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.output.find("3 chains of " + dir + "/study are queued by -jobs or running"),
              std::string::npos)
        << r.output;
    r = RunShellIn(dir, jobs + " -force -sbatch --time=1:00:00" + program);
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_EQ(Words(ReadWholeFile(dir + "/study/jobs.txt")).size(), 6u);  // "sh <script>" three times
    const std::string rewritten = ReadWholeFile(dir + "/study/study.sbatch");
    EXPECT_NE(rewritten.find("#SBATCH --array=1-3\n"), std::string::npos) << rewritten;
    EXPECT_EQ(rewritten.find("#SBATCH --time=00:30:00"), std::string::npos) << rewritten;
    for (int i : {1, 3, 4})
        EXPECT_EQ(task(i), 0);
    EXPECT_EQ(RunsOfEachChain(dir + "/study"), kAllOnce);
    r = RunShellIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(r.status, 0) << r.output;
    // Each chain's run time, from its own run table.
    EXPECT_EQ(FirstRowField(dir + "/study/K2_chains.tsv", "seconds"), "1.2");
}

// study.sbatch under a real Slurm (scripts/slurm-single-node.sh sets one
// up): held in the queue, the study refuses new jobs and is unfinished;
// released, every chain runs once.
TEST(StudyRobustnessCliTest, StudySbatchUnderARealSlurm) {
    if (std::system("command -v sbatch > /dev/null 2>&1 && sinfo -h > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Slurm is not installed or not running here "
                        "(scripts/slurm-single-node.sh sets up a single-node Slurm on Debian): "
                        "study.sbatch was not run under sbatch";
    const std::string dir = Folder("slurm");
    const std::string fake = WriteFakeBrelo(dir, "echo run >> \"$O/runs\"");
    const std::string jobs = kStudy + " -jobs -P" + fake + " -K1:2 -R2 -seed11 -ostudy";
    ASSERT_EQ(RunShellIn(dir, jobs + " -- -Fdata.txt").status, 0);
    SCliResult r = RunShellIn(dir, "sbatch --parsable --hold study/study.sbatch");
    ASSERT_EQ(r.status, 0) << r.output;
    const std::string job = Words(r.output).at(0);
    EXPECT_EQ(RunShellIn(dir, jobs + " -- -Fdata.txt").status, 1);
    EXPECT_EQ(RunShellIn(dir, kStudy + " -collect -ostudy").status, 2);
    ASSERT_EQ(RunShellIn(dir, "scontrol release " + job).status, 0);
    EXPECT_TRUE(WaitFor(
        [&] {
            return RunShellIn(dir, "squeue -h -j " + job).output.find_first_not_of(" \n") ==
                   std::string::npos;
        },
        180000));
    EXPECT_EQ(RunsOfEachChain(dir + "/study"), kAllOnce);
    r = RunShellIn(dir, kStudy + " -collect -ostudy");
    EXPECT_EQ(r.status, 0) << r.output;
}

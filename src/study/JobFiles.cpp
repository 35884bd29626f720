#include "study/JobFiles.h"

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "study/AtomicFile.h"
#include "study/StudyLock.h"
#include "study/StudyOptions.h"

namespace fs = std::filesystem;

namespace {

// The chain's folder within the study, "K<k>/rep<r>" or "K<k>/cv<r>".
std::string ChainId(const SChainPlan& c) {
    const fs::path folder(c.folder);
    return (folder.parent_path().filename() / folder.filename()).string();
}

void WriteOrRefuse(const std::string& file, const std::string& text) {
    std::string error;
    if (!WriteFileAtomically(
            file, [&](std::ostream& out) { return static_cast<bool>(out << text); }, error))
        RefuseStudy(error);
}

// Seconds of one sweep for one copy and one cluster, generous for both
// programs (breloAdm's spatial steps included) on a current core.
constexpr double kSecondsPerCopyClusterSweep = 3e-7;

std::string SlurmTime(double seconds) {
    long minutes = static_cast<long>(std::ceil(seconds / 60));
    minutes = std::max(minutes, 30L);
    char text[32];
    const long days = minutes / 1440, hours = (minutes % 1440) / 60, rest = minutes % 60;
    if (days > 0)
        std::snprintf(text, sizeof text, "%ld-%02ld:%02ld:00", days, hours, rest);
    else
        std::snprintf(text, sizeof text, "%02ld:%02ld:00", hours, rest);
    return text;
}

// Replicas of -rx<n> among the program's options, 1 without.
int Replicas(const std::vector<std::string>& options) {
    for (const std::string& a : options)
        if (a.compare(0, 3, "-rx") == 0) {
            const long n = std::strtol(a.c_str() + 3, nullptr, 10);
            if (n > 1)
                return static_cast<int>(n);
        }
    return 1;
}

}  // namespace

std::string ShellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

std::string ChainScriptText(const SChainPlan& chain, const std::string& workingDir) {
    const std::string name = ChainName(chain);
    std::ostringstream s;
    s << "#!/bin/sh\n"
      << "# Chain " << name << " of a breloStudy study (written by -jobs): runs once, unless it\n"
      << "# has ended or runs elsewhere now; leaves 'done', or 'failed' with the exit status.\n"
      << "cd " << ShellQuote(workingDir) << " || exit 1\n"
      << "exec 9>" << ShellQuote(ChainLockFile(chain.folder)) << " || exit 1\n"
      << "if command -v flock > /dev/null 2>&1 && ! flock -n 9; then\n"
      << "  echo \"chain " << name << " is running elsewhere: left to it\" >&2\n"
      << "  exit 0\n"
      << "fi\n"
      << "[ -e " << ShellQuote(DoneMarker(chain.folder)) << " ] && exit 0\n"
      << "rm -f " << ShellQuote(FailedMarker(chain.folder)) << " "
      << ShellQuote(QueuedMarker(chain.folder)) << "\n"
      << "GSL_RNG_SEED=" << chain.seed;
    for (const std::string& a : chain.argv)
        s << " " << ShellQuote(a);
    s << " > " << ShellQuote(ChainLog(chain.folder)) << " 2>&1\n"
      << "s=$?\n"
      << "if [ $s -eq 0 ]; then\n"
      << "  : > " << ShellQuote(DoneMarker(chain.folder)) << "\n"
      << "else\n"
      << "  echo \"exit status $s\" > " << ShellQuote(FailedMarker(chain.folder)) << "\n"
      << "fi\n"
      << "exit $s\n";
    return s.str();
}

bool SetsTimeLimit(const std::string& sbatchOptions) {
    std::istringstream words(sbatchOptions);
    std::string w;
    while (words >> w)
        if (w == "-t" || w.compare(0, 2, "-t") == 0 || w.compare(0, 6, "--time") == 0)
            return true;
    return false;
}

std::string DefaultChainTime(const SStudySettings& s, double longestSeconds) {
    if (longestSeconds > 0)
        return SlurmTime(4 * longestSeconds);
    const double copies = std::max(1L, s.individuals) * std::max(1L, s.loci) * 2.0;
    const double threads = s.threads > 0 ? s.threads : 1;
    const double sweeps = s.sweeps > 0 ? s.sweeps : 10000;
    const double estimate = sweeps * copies * s.kMax * kSecondsPerCopyClusterSweep *
                            Replicas(s.programOptions) / threads;
    return SlurmTime(4 * estimate);
}

int WriteJobFiles(const SStudySettings& s, const std::vector<SChainPlan>& plan,
                  const std::string& workingDir, const std::string& timeLimit) {
    std::vector<const SChainPlan*> listed;
    for (const SChainPlan& c : plan) {
        std::error_code ec;
        if (!fs::exists(DoneMarker(c.folder), ec))
            listed.push_back(&c);
    }
    std::ostringstream jobs;
    for (const SChainPlan* c : listed) {
        WriteOrRefuse(ChainScript(c->folder), ChainScriptText(*c, workingDir));
        jobs << "sh " << ShellQuote(ChainScript(c->folder)) << "\n";
    }
    WriteOrRefuse(s.studyDir + "/jobs.txt", jobs.str());

    std::ostringstream sbatch;
    sbatch << "#!/bin/bash\n"
           << "# One Slurm array task a chain of the study (breloStudy -jobs): sbatch "
           << s.studyDir << "/study.sbatch\n"
           << "# Each task finds its chain by K and replicate in the list below, fixed\n"
           << "# when the script is submitted.\n"
           << "#SBATCH --job-name=breloStudy\n"
           << "#SBATCH --array=1-" << std::max<size_t>(listed.size(), 1) << "\n"
           << "#SBATCH --ntasks=1\n"
           << "#SBATCH --cpus-per-task=" << std::max(s.threads, 1) << "\n"
           << "#SBATCH --output=" << s.studyDir << "/slurm-%A_%a.out\n";
    if (!SetsTimeLimit(s.sbatchOptions))
        sbatch << "#SBATCH --time=" << timeLimit << "\n";
    if (!s.sbatchOptions.empty())
        sbatch << "#SBATCH " << s.sbatchOptions << "\n";
    sbatch << "chains=(";
    for (const SChainPlan* c : listed)
        sbatch << " " << ChainId(*c);
    sbatch << " )\n"
           << "chain=${chains[$((SLURM_ARRAY_TASK_ID - 1))]}\n"
           << "[ -n \"$chain\" ] || { echo \"no chain for task $SLURM_ARRAY_TASK_ID\" >&2; exit 1; "
              "}\n"
           << "exec sh " << ShellQuote(s.studyDir) << "/\"$chain\"/chain.sh\n";
    WriteOrRefuse(s.studyDir + "/study.sbatch", sbatch.str());
    // Queued from now until each chain's job starts.
    for (const SChainPlan* c : listed)
        WriteOrRefuse(QueuedMarker(c->folder), "queued by breloStudy -jobs\n");
    return static_cast<int>(listed.size());
}

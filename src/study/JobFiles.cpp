#include "study/JobFiles.h"

#include <filesystem>
#include <fstream>

#include "study/StudyOptions.h"

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

std::string ChainCommandLine(const SChainPlan& chain, const std::string& workingDir) {
    const std::string failed = ShellQuote(FailedMarker(chain.folder));
    std::string line = "cd " + ShellQuote(workingDir) + " && rm -f " + failed +
                       " && GSL_RNG_SEED=" + std::to_string(chain.seed);
    for (const std::string& a : chain.argv)
        line += " " + ShellQuote(a);
    line += " > " + ShellQuote(ChainLog(chain.folder)) + " 2>&1 && touch " +
            ShellQuote(DoneMarker(chain.folder)) + " || { s=$?; echo \"exit status $s\" > " +
            failed + "; exit $s; }";
    return line;
}

int WriteJobFiles(const std::string& studyDir, const std::vector<SChainPlan>& plan,
                  const std::string& workingDir) {
    const std::string jobs = studyDir + "/jobs.txt";
    std::ofstream out(jobs);
    int lines = 0;
    for (const SChainPlan& c : plan) {
        if (std::filesystem::exists(DoneMarker(c.folder)))
            continue;
        out << ChainCommandLine(c, workingDir) << "\n";
        ++lines;
    }
    if (!out)
        RefuseStudy("cannot write " + jobs);
    const std::string sbatch = studyDir + "/study.sbatch";
    std::ofstream script(sbatch);
    script << "#!/bin/bash\n"
           << "# One Slurm array task per line of jobs.txt: sbatch " << sbatch << "\n"
           << "#SBATCH --job-name=breloStudy\n"
           << "#SBATCH --array=1-" << std::max(lines, 1) << "\n"
           << "#SBATCH --ntasks=1\n"
           << "#SBATCH --cpus-per-task=1\n"
           << "#SBATCH --output=" << studyDir << "/slurm-%A_%a.out\n"
           << "line=$(sed -n \"${SLURM_ARRAY_TASK_ID}p\" " << ShellQuote(jobs) << ")\n"
           << "exec bash -c \"$line\"\n";
    if (!script)
        RefuseStudy("cannot write " + sbatch);
    return lines;
}

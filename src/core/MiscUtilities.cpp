#include "core/MiscUtilities.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <iomanip>
#include <iostream>
#include <new>
#include <sstream>
#include <stdexcept>

#include "core/Messages.h"
#include "core/ProgramExit.h"
#include "core/ProgramFlavour.h"
#include "core/TokenReader.h"

int NumOfDigits(int TotalSweep) {
    if (TotalSweep < 10)
        return 1;
    return static_cast<int>(std::log10(static_cast<double>(TotalSweep))) + 1;
}

void PrintSweepProgress(int sweepsDone, int numOfDigits) {
    if (sweepsDone <= 0 || sweepsDone % 100 != 0)
        return;
    std::ostringstream line;
    line << std::setw(numOfDigits) << std::setfill('0') << sweepsDone << " sweeps completed.";
    std::cout << line.str() << std::endl;
}

void PrintRunTime(std::chrono::system_clock::time_point start) {
    const double seconds =
        std::chrono::duration<double>(std::chrono::system_clock::now() - start).count();
    std::ostringstream line;
    line << (IsBreloAdm() ? "This run took " : "This run takes ") << std::fixed
         << std::setprecision(3) << seconds << " seconds to complete on this computer.";
    std::cout << line.str() << (IsBreloAdm() ? "\n\n\n" : "\n") << std::flush;
}

std::string MakeInputPath(const std::string& FoI, const std::string& F) {
    return FoI.empty() ? F : FoI + "/" + F;
}

std::string MakeOutputPrefix(const std::string& FoO, const std::string& F, const std::string& run) {
    std::string prefix = MakeInputPath(FoO, F);
    if (!run.empty())
        prefix += "_RUN" + run + "_";
    return prefix;
}

namespace {
// The option name (its first prefixLength characters) and its value.
std::pair<std::string, std::string> SplitOption(const char* arg, size_t prefixLength) {
    const std::string text = arg ? arg : "";
    if (prefixLength >= text.size())
        return {text, ""};
    return {text.substr(0, prefixLength), text.substr(prefixLength)};
}
}  // namespace

std::string Trim(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return std::string();
    const size_t last = text.find_last_not_of(" \t\r\n");
    return text.substr(first, last - first + 1);
}

int ReadIntOption(const char* arg, size_t prefixLength) {
    const auto [option, value] = SplitOption(arg, prefixLength);
    int v = 0;
    if (!ParseInt(value, v))
        RefuseInput("Option " + option + " needs a whole number" +
                    (value.empty() ? std::string(".") : ", not '" + value + "'."));
    return v;
}

double ReadDoubleOption(const char* arg, size_t prefixLength) {
    const auto [option, value] = SplitOption(arg, prefixLength);
    double v = 0.0;
    if (!ParseDouble(value, v))
        RefuseInput("Option " + option + " needs a finite number" +
                    (value.empty() ? std::string(".") : ", not '" + value + "'."));
    return v;
}

bool IsRunLabelOption(const std::string& arg) {
    return arg.compare(0, 5, "-orun") == 0 && arg.find('/', 5) == std::string::npos;
}

bool AnswerInfoOption(int argc, const char* const* argv, void (*showUsage)()) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help") {
            showUsage();
            return true;
        }
        if (arg == "--version") {
            std::cout << ProgramName() << " " << ProgramVersion() << std::endl;
            return true;
        }
    }
    return false;
}

void RefuseInput(const std::string& message) {
    Refuse(message);
}

void CheckChainSettings(int K, double lambda, int TotalSweep, int BurnIn, int BurnInStructure) {
    if (K < 1)
        RefuseInput("The number of clusters (-K) must be at least 1.");
    if (!(lambda > 0.0) || !std::isfinite(lambda))
        RefuseInput("The Dirichlet parameter (-D) must be a positive number.");
    if (TotalSweep < 1)
        RefuseInput("The total number of sweeps (-S) must be at least 1.");
    if (BurnIn < 0)
        RefuseInput("The burn-in (-B) must not be negative.");
    if (static_cast<long>(BurnIn) + BurnInStructure >= TotalSweep)
        RefuseInput(std::string("The burn-in (") + (BurnInStructure > 0 ? "-B plus -BS" : "-B") +
                    ") must be smaller than the total number of sweeps (-S), so that some "
                    "sweeps are kept.");
}

void CheckKMeansStart(bool kmeansStart, int K) {
    if (kmeansStart && K < 2)
        RefuseInput("The k-means initialisation (-jk) needs at least 2 clusters (-K).");
}

void CheckReplicaSettings(int replicas, int threads) {
    if (replicas < 1 || replicas > kMaxReplicas)
        RefuseInput("The number of replicas (-rx) must be between 1 and " +
                    std::to_string(kMaxReplicas) + ".");
    if (threads < 0 || threads > kMaxThreads)
        RefuseInput("The number of threads (-t) must be between 0 (all cores) and " +
                    std::to_string(kMaxThreads) + ".");
}

std::ofstream OpenResultFile(const std::string& File, const char* func) {
    std::ofstream ofs(File, std::ios::out | std::ios::trunc);
    if (!ofs.is_open())
        RefuseInput("Cannot open file " + File + " - " + func);
    return ofs;
}

void CloseResultFile(std::ofstream& ofs, const std::string& File, const char* func) {
    ofs.close();
    if (ofs.fail())
        RefuseInput("Cannot write file " + File + " - " + func +
                    " (is the disk full, or the folder gone?)");
}

double AvailableMemoryBytes() {
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGE_SIZE);
    double bytes = pages > 0 && pageSize > 0 ? static_cast<double>(pages) * pageSize : 1e300;
    struct rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
        bytes = std::min(bytes, static_cast<double>(limit.rlim_cur));
    return bytes;
}

void CheckTraceMemory(int TotalSweep, double valuesPerSweep) {
    const double bytes = 8.0 * valuesPerSweep * TotalSweep;
    const double available = AvailableMemoryBytes();
    if (bytes <= available)
        return;
    std::ostringstream msg;
    msg << std::fixed << std::setprecision(1) << "The traces of " << TotalSweep
        << " sweeps (-S) need " << bytes / 1e9 << " GB, more than the " << available / 1e9
        << " GB of memory this run may use: lower -S.";
    RefuseInput(msg.str());
}

namespace {
const char kOutOfMemory[] =
    "Not enough memory for this run: the counts of the command line (-N, -L, -K, -S...) ask "
    "for more than this computer can give.";

// Called by operator new when an allocation fails: ends the program at once
// (no further allocation) with one line.
[[noreturn]] void OutOfMemory() {
    std::FILE* out = IsBreloAdm() ? stderr : stdout;
    std::fflush(stdout);
    std::fputs(kOutOfMemory, out);
    std::fputs("\n", out);
    std::fflush(out);
    std::_Exit(1);
}
}  // namespace

int RunProgram(int (*body)(int, char**), int argc, char** argv) {
    std::set_new_handler(OutOfMemory);
    try {
        return body(argc, argv);
    } catch (const std::bad_alloc&) {
        OutOfMemory();
    } catch (const std::length_error&) {
        OutOfMemory();
    } catch (const std::exception& e) {
        PrintMessage(std::string("Internal error: ") + e.what());
        return 1;
    }
}

#include "core/MiscUtilities.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "core/ProgramFlavour.h"

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

void PrintRunTime(clock_t start) {
    double seconds = static_cast<double>(clock() - start) / CLOCKS_PER_SEC;
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

int ReadIntOption(const char* text) {
    if (text == nullptr)
        return 0;
    long v = strtol(text, nullptr, 10);
    if (v > INT_MAX)
        return INT_MAX;
    if (v < INT_MIN)
        return INT_MIN;
    return static_cast<int>(v);
}

double ReadDoubleOption(const char* text) {
    if (text == nullptr)
        return 0.0;
    return strtod(text, nullptr);
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
    (IsBreloAdm() ? std::cerr : std::cout) << message << std::endl;
    std::exit(1);
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

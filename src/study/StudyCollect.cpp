#include "study/StudyCollect.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iomanip>
#include <iostream>
#include <map>
#include <sstream>

#include "study/AtomicFile.h"
#include "study/ChainFiles.h"
#include "study/StudyCharts.h"
#include "study/StudyLock.h"
#include "study/StudyPlan.h"
#include "study/StudyTables.h"

namespace fs = std::filesystem;

namespace {

double RecordedSeconds(const std::string& marker) {
    std::ifstream in(marker);
    std::string key;
    double value;
    while (in >> key >> value)
        if (key == "seconds")
            return value;
    return std::nan("");
}

bool Exists(const std::string& file) {
    std::error_code ec;
    return fs::exists(file, ec);
}

// Writes one table of the study whole, or ends the study (exit 1) leaving
// the previous file.
void WriteTable(const std::string& file, const std::function<bool(std::ostream&)>& write) {
    std::string error;
    if (!WriteFileAtomically(file, write, error))
        RefuseStudy(error);
}

// Every finished chain must describe the same individuals.
void CheckSameIndividuals(std::vector<std::vector<SChainResult>>& chains, size_t& N) {
    N = 0;
    for (auto& ofK : chains)
        for (SChainResult& c : ofK) {
            if (c.status != ChainStatus::Done)
                continue;
            if (N == 0)
                N = c.Q.size();
            if (c.Q.size() != N) {
                c.status = ChainStatus::Failed;
                c.message = "memberships of " + std::to_string(c.Q.size()) +
                            " individuals where other chains have " + std::to_string(N);
            }
        }
}

struct Shown {
    double v;
    int precision;
};

std::ostream& operator<<(std::ostream& os, Shown x) {
    if (std::isnan(x.v))
        return os << "NA";
    return os << std::fixed << std::setprecision(x.precision) << x.v;
}

void PrintSummary(const std::vector<SKSummary>& summaries, int chosen) {
    std::cout << "\n  K  chains failed  mean logL (sd)          mean DIC     deltaK  modes  "
                 "major mode (similarity)\n";
    for (const SKSummary& s : summaries) {
        std::ostringstream row;
        row << std::setw(3) << s.K << std::setw(8) << s.chains << std::setw(7) << s.failed << "  "
            << std::setw(11) << Shown{s.meanLogL, 1} << " (" << std::setw(7) << Shown{s.sdLogL, 1}
            << ")  " << std::setw(11) << Shown{s.meanDIC, 1} << std::setw(11) << Shown{s.deltaK, 1}
            << std::setw(7) << s.modes << std::setw(6) << s.majorModeChains << " ("
            << Shown{s.majorModeSimilarity, 3} << ")" << (s.chosen ? "  <- K" : "");
        std::cout << row.str() << "\n";
    }
    if (chosen > 0)
        std::cout << "Evanno's delta K points to K = " << chosen << "\n";
    else
        std::cout << "Delta K is nowhere defined (it needs three successive K with two chains or "
                     "more each): no K chosen\n";
}

// The populations a finished chain wrote (labels.txt), when there are N.
std::vector<std::string> PopulationsOfTheData(const SStudySettings& study,
                                              const std::vector<std::vector<SChainResult>>& chains,
                                              size_t N) {
    for (const auto& ofK : chains)
        for (const SChainResult& c : ofK) {
            if (c.status != ChainStatus::Done)
                continue;
            const std::string file =
                ChainFolder(study.studyDir, c.K, c.replicate) + "/" + study.dataFile + "labels.txt";
            std::vector<std::string> populations;
            std::ifstream in(file);
            std::string line;
            while (std::getline(in, line))
                if (!line.empty())
                    populations.push_back(line);
            return populations.size() == N ? populations : std::vector<std::string>();
        }
    return {};
}

}  // namespace

SChainResult LoadChain(const SStudySettings& study, int K, int replicate) {
    SChainResult c;
    c.K = K;
    c.replicate = replicate;
    c.seed = ChainSeed(study.seed, K, replicate);
    const std::string folder = ChainFolder(study.studyDir, K, replicate);
    const std::string prefix = folder + "/" + study.dataFile;
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        c.status = ChainStatus::Failed;
        c.message = folder + " is not a folder";
    } else if (Exists(DoneMarker(folder))) {
        c.seconds = RecordedRunSeconds(prefix + "run.txt");
        if (std::isnan(c.seconds))
            c.seconds = RecordedSeconds(DoneMarker(folder));
        if (ReadChainResults(study.program, prefix, K, c, c.message))
            c.status = ChainStatus::Done;
        else
            c.status = ChainStatus::Failed;
    } else if (Exists(FailedMarker(folder))) {
        c.status = ChainStatus::Failed;
        c.message = LastMessageOfLog(ChainLog(folder));
    } else if (ChainIsRunning(folder)) {
        c.message = "running";
    } else if (Exists(QueuedMarker(folder))) {
        c.message = "queued by -jobs";
    } else {
        c.message = Exists(ChainLog(folder)) ? "stopped before its end" : "not run";
    }
    return c;
}

SCollectOutcome CollectStudy(const std::string& studyDir, const std::string& labelsFile,
                             double threshold) {
    SStudySettings study;
    std::string workingDir, error;
    if (!ReadStudyRecord(studyDir, study, workingDir, error))
        RefuseStudy(error);
    study.studyDir = fs::absolute(studyDir).lexically_normal().string();
    // Labels given now, else those the study was run with.
    const std::string labelsPath = labelsFile.empty() ? study.labelsFile : labelsFile;
    std::vector<std::string> labels;
    if (!labelsPath.empty())
        labels = ReadLabels(labelsPath, study.individuals);

    std::vector<std::vector<SChainResult>> chains;
    for (int K = study.kMin; K <= study.kMax; ++K) {
        chains.push_back({});
        for (int r = 1; r <= study.replicates; ++r)
            chains.back().push_back(LoadChain(study, K, r));
    }
    size_t N;
    CheckSameIndividuals(chains, N);
    if (!labels.empty() && N > 0 && labels.size() != N)
        RefuseStudy("the labels file " + labelsPath + " holds " + std::to_string(labels.size()) +
                    " labels for " + std::to_string(N) + " individuals");

    std::vector<SKSummary> summaries;
    std::vector<std::vector<double>> logLik;
    std::vector<int> K;
    std::vector<double> meanL, sdL;
    for (auto& ofK : chains) {
        summaries.push_back(SummariseK(ofK.front().K, ofK, threshold));
        logLik.push_back({});
        for (const SChainResult& c : ofK)
            if (c.status == ChainStatus::Done)
                logLik.back().push_back(c.meanLogL);
        K.push_back(summaries.back().K);
        meanL.push_back(summaries.back().meanLogL);
        sdL.push_back(summaries.back().sdLogL);
    }
    const std::vector<double> delta = EvannoDeltaK(K, meanL, sdL);
    for (size_t i = 0; i < summaries.size(); ++i)
        summaries[i].deltaK = delta[i];
    AlignAcrossK(summaries);
    const int chosen = ChooseK(summaries);

    // Without labels, a program that read the individuals' populations from
    // the data file (GENEPOP) wrote them beside its results: they group the
    // bar plots.
    std::vector<std::string> groupLabels = labels;
    std::string groupTitle = "individuals grouped by their label";
    if (groupLabels.empty()) {
        groupLabels = PopulationsOfTheData(study, chains, N);
        groupTitle = "individuals grouped by their population in the data file";
    }

    // Ids: the labels, else those the chains wrote, else the positions.
    std::vector<std::string> ids = labels;
    for (size_t k = 0; ids.empty() && k < chains.size(); ++k)
        for (const SChainResult& c : chains[k])
            if (c.status == ChainStatus::Done && c.ids.size() == N) {
                ids = c.ids;
                break;
            }

    for (size_t i = 0; i < summaries.size(); ++i) {
        const std::string stem = study.studyDir + "/K" + std::to_string(summaries[i].K);
        WriteTable(stem + "_chains.tsv",
                   [&](std::ostream& out) { return WriteChainTable(out, chains[i]); });
        if (!summaries[i].majorQ.empty())
            WriteTable(stem + "_Q.tsv", [&](std::ostream& out) {
                return WriteMembershipTable(out, summaries[i].majorQ, ids);
            });
        for (const SChainResult& c : chains[i])
            if (c.status == ChainStatus::Failed)
                std::cout << "K" << c.K << " rep" << c.replicate << " failed: " << c.message
                          << "\n";
    }
    SCollectOutcome outcome;
    outcome.chosenK = chosen;
    for (const auto& ofK : chains)
        for (const SChainResult& c : ofK) {
            outcome.unfinished += c.status == ChainStatus::Unfinished;
            outcome.failed += c.status == ChainStatus::Failed;
        }
    if (outcome.unfinished > 0)
        std::cout << outcome.unfinished
                  << " chains have not finished (not run yet, running, or stopped): collect "
                     "again once they have\n";
    WriteTable(study.studyDir + "/summary.tsv",
               [&](std::ostream& out) { return WriteSummaryTable(out, summaries); });

    if (!DrawKChoice(study.studyDir + "/Kchoice", summaries, logLik, &error))
        RefuseStudy(error);
    const SKSummary* last = nullptr;
    for (const SKSummary& s : summaries)
        if (!s.majorQ.empty())
            last = &s;
    if (last != nullptr) {
        std::vector<int> groupOf;
        std::vector<std::string> names;
        std::string title = groupTitle;
        if (!groupLabels.empty()) {
            std::map<std::string, int> number;
            for (const std::string& l : groupLabels) {
                auto it = number.emplace(l, static_cast<int>(names.size())).first;
                if (it->second == static_cast<int>(names.size()))
                    names.push_back(l);
                groupOf.push_back(it->second);
            }
        } else {
            for (int k = 1; k <= last->K; ++k)
                names.push_back(std::to_string(k));
            for (const DBL_VCTR_1D& q : last->majorQ)
                groupOf.push_back(
                    static_cast<int>(std::max_element(q.begin(), q.end()) - q.begin()));
            title = "individuals grouped by their main cluster at K = " + std::to_string(last->K);
        }
        if (!DrawBarplots(study.studyDir + "/barplots", summaries,
                          OrderForBars(groupOf, names, last->majorQ), title, &error))
            RefuseStudy(error);
        std::cout << "Bar plots: " << title << "\n";
    }
    PrintSummary(summaries, chosen);
    std::cout << "Results in " << study.studyDir
              << "/: summary.tsv, K<k>_Q.tsv, K<k>_chains.tsv, Kchoice.png/.svg, barplots.png/.svg"
              << std::endl;
    return outcome;
}

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
#include "study/HeldOutGenotypes.h"
#include "study/StudyCharts.h"
#include "study/StudyLock.h"
#include "study/StudyPlan.h"
#include "study/StudyReport.h"
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

// What the criteria point to, a line each.
// heldOutData: what the held-out chains scored (loci, genotypes).
std::vector<std::string> ChoiceLines(int chosen, int chosenByHeldOut,
                                     const std::string& heldOutData) {
    std::vector<std::string> lines;
    if (chosen > 0)
        lines.push_back("Evanno's delta K points to K = " + std::to_string(chosen));
    else
        lines.push_back(
            "Delta K is nowhere defined (it needs three successive K with two chains or more "
            "each): no K chosen");
    if (chosenByHeldOut > 0)
        lines.push_back("The held-out " + heldOutData +
                        " point to K = " + std::to_string(chosenByHeldOut) +
                        " (the smallest K within one standard error of the best held-out score)" +
                        (chosen > 0 && chosen != chosenByHeldOut
                             ? ": the criteria disagree; trust the held-out " + heldOutData +
                                   ", which test the clusters on data they were not fitted to"
                             : ""));
    return lines;
}

std::string HeldOutData(StudyProgram program) {
    return program == StudyProgram::Brelo ? "loci" : "genotypes";
}

void PrintSummary(const std::vector<SKSummary>& summaries, int chosen, int chosenByHeldOut,
                  const std::string& heldOutData) {
    const bool heldOut = chosenByHeldOut > 0;
    std::cout << "\n  K  chains failed  mean logL (sd)          mean DIC     deltaK  R-hat  modes  "
                 "major mode (similarity)"
              << (heldOut ? "  held-out logL (sd)" : "") << "\n";
    for (const SKSummary& s : summaries) {
        std::ostringstream row;
        row << std::setw(3) << s.K << std::setw(8) << s.chains << std::setw(7) << s.failed << "  "
            << std::setw(11) << Shown{s.meanLogL, 1} << " (" << std::setw(7) << Shown{s.sdLogL, 1}
            << ")  " << std::setw(11) << Shown{s.meanDIC, 1} << std::setw(11) << Shown{s.deltaK, 1}
            << std::setw(7) << Shown{s.rhat, 2} << std::setw(7) << s.modes << std::setw(6)
            << s.majorModeChains << " (" << Shown{s.majorModeSimilarity, 3} << ")";
        if (heldOut)
            row << std::setw(12) << Shown{s.meanHeldOut, 2} << " (" << Shown{s.sdHeldOut, 2} << ")"
                << (s.bestHeldOut ? " <- held-out" : "");
        row << (s.chosen ? "  <- K" : "");
        const std::string mark = MarkText(s);
        if (!mark.empty())
            row << "  [" << mark << "]";
        std::cout << row.str() << "\n";
    }
    for (const std::string& line : ChoiceLines(chosen, chosenByHeldOut, heldOutData))
        std::cout << line << "\n";
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

// The state of the chain run in folder, with the reason when it is not done.
ChainStatus StateOfChain(const std::string& folder, std::string& message) {
    std::error_code ec;
    if (fs::exists(folder, ec) && !fs::is_directory(folder, ec)) {
        message = folder + " is not a folder";
        return ChainStatus::Failed;
    }
    if (Exists(DoneMarker(folder)))
        return ChainStatus::Done;
    if (Exists(FailedMarker(folder))) {
        message = LastMessageOfLog(ChainLog(folder));
        return ChainStatus::Failed;
    }
    if (ChainIsRunning(folder))
        message = "running";
    else if (Exists(QueuedMarker(folder)))
        message = "queued by -jobs";
    else
        message = Exists(ChainLog(folder)) ? "stopped before its end" : "not run";
    return ChainStatus::Unfinished;
}

// brelo's twin scores its held-out loci itself; breloAdm's twin is scored
// here on the genotypes hidden from it.
double HeldOutScore(const SStudySettings& study, const std::string& folder, int K, int replicate,
                    std::string& why) {
    if (study.program == StudyProgram::Brelo) {
        const std::string scores = folder + "/" + study.dataFile + "_cvScore.txt";
        const double score = ReadHeldOutScore(scores);
        if (std::isnan(score))
            why = "no held-out score in " + scores;
        return score;
    }
    std::vector<SHeldOutGenotype> held;
    if (!ReadHeldOutList(HeldOutPartition(study.studyDir, replicate), held, why))
        return std::nan("");
    const std::string prefix = folder + "/" + HeldOutDataName(study, replicate);
    DBL_VCTR_2D Q;
    std::vector<std::string> ids;
    if (ReadPlainMemberships(prefix + "Q.txt", K, Q, ids, why) != PlainTable::Read) {
        why =
            "cannot read the memberships of " + prefix + "Q.txt" + (why.empty() ? "" : ": " + why);
        return std::nan("");
    }
    return ScoreHeldOutGenotypes(held, Q, prefix + "P.txt", why);
}

// The score of the chain's held-out twin (-cv).
void LoadHeldOut(const SStudySettings& study, SChainResult& c) {
    const std::string folder = HeldOutFolder(study.studyDir, c.K, c.replicate);
    c.heldOutStatus = StateOfChain(folder, c.heldOutMessage);
    if (c.heldOutStatus != ChainStatus::Done)
        return;
    c.heldOut = HeldOutScore(study, folder, c.K, c.replicate, c.heldOutMessage);
    if (std::isnan(c.heldOut))
        c.heldOutStatus = ChainStatus::Failed;
}

}  // namespace

SChainResult LoadChain(const SStudySettings& study, int K, int replicate) {
    SChainResult c;
    c.K = K;
    c.replicate = replicate;
    c.seed = ChainSeed(study.seed, K, replicate);
    c.burnIn = static_cast<int>(std::max(study.burnIn, 0L));
    const std::string folder = ChainFolder(study.studyDir, K, replicate);
    const std::string prefix = folder + "/" + study.dataFile;
    c.status = StateOfChain(folder, c.message);
    if (c.status == ChainStatus::Done) {
        c.seconds = RecordedRunSeconds(prefix + "run.txt");
        if (std::isnan(c.seconds))
            c.seconds = RecordedSeconds(DoneMarker(folder));
        const ChainRead read = ReadChainResults(study.program, prefix, K, c, c.message);
        if (read != ChainRead::Read)
            c.status = ChainStatus::Failed;
        c.idsUnread = read == ChainRead::UnreadableTable;
    }
    if (study.heldOut)
        LoadHeldOut(study, c);
    return c;
}

namespace {

// What -collect gathers and derives, for the tables, charts and report.
struct SStudyResults {
    SStudySettings study;
    std::vector<std::vector<SChainResult>> chains;  // per K, per replicate
    std::vector<SKSummary> summaries;               // per K
    std::vector<std::vector<double>> logLik;        // per K, the finished chains' mean
    std::vector<std::vector<double>> heldOut;       // per K, the chains' held-out scores
    std::vector<std::string> ids;                   // one per individual
    std::vector<std::string> groups;                // per individual, empty when unknown
    std::string groupSource;                        // what the groups are
    size_t N = 0;
    int chosen = 0;
    int chosenByHeldOut = 0;
};

// The start of the names of K's tables and charts, "<study>/K<k>".
std::string StemOf(const SStudyResults& r, const SKSummary& s) {
    return r.study.studyDir + "/K" + std::to_string(s.K);
}

std::vector<std::vector<SChainResult>> LoadChains(const SStudySettings& study) {
    std::vector<std::vector<SChainResult>> chains;
    for (int K = study.kMin; K <= study.kMax; ++K) {
        chains.push_back({});
        for (int r = 1; r <= study.replicates; ++r)
            chains.back().push_back(LoadChain(study, K, r));
    }
    return chains;
}

void Summarise(SStudyResults& r, double threshold) {
    std::vector<int> K;
    std::vector<double> meanL, sdL;
    for (auto& ofK : r.chains) {
        r.summaries.push_back(SummariseK(ofK.front().K, ofK, threshold));
        AssessAgreement(r.summaries.back(), ofK);
        r.logLik.push_back({});
        r.heldOut.push_back({});
        for (const SChainResult& c : ofK) {
            if (c.status == ChainStatus::Done)
                r.logLik.back().push_back(c.meanLogL);
            if (std::isfinite(c.heldOut))
                r.heldOut.back().push_back(c.heldOut);
        }
        K.push_back(r.summaries.back().K);
        meanL.push_back(r.summaries.back().meanLogL);
        sdL.push_back(r.summaries.back().sdLogL);
    }
    const std::vector<double> delta = EvannoDeltaK(K, meanL, sdL);
    for (size_t i = 0; i < r.summaries.size(); ++i)
        r.summaries[i].deltaK = delta[i];
    AlignAcrossK(r.summaries);
    r.chosen = ChooseK(r.summaries);
    r.chosenByHeldOut = ChooseKByHeldOut(r.summaries);
}

// The ids the chains wrote. A finished chain without ids (a run of a
// version without Q.txt) or naming other individuals than the others is
// failed: memberships never go out unnamed. When no chain's ids can be read,
// the study stops, saying why.
void SettleIds(SStudyResults& r) {
    const SChainResult* unread = nullptr;
    for (auto& ofK : r.chains)
        for (SChainResult& c : ofK) {
            if (c.idsUnread && unread == nullptr)
                unread = &c;
            if (c.status != ChainStatus::Done)
                continue;
            if (c.ids.empty()) {
                c.status = ChainStatus::Failed;
                c.idsUnread = true;
                c.message = "it wrote no ids of its individuals (no " + r.study.dataFile +
                            "Q.txt): remove its folder and run the study again";
                if (unread == nullptr)
                    unread = &c;
            } else if (r.ids.empty()) {
                r.ids = c.ids;
            } else if (c.ids != r.ids) {
                c.status = ChainStatus::Failed;
                c.message = "its Q.txt names other individuals than the other chains'";
            }
        }
    if (r.ids.empty() && unread != nullptr)
        RefuseStudy("no chain's ids of the individuals can be read: K" + std::to_string(unread->K) +
                    " rep" + std::to_string(unread->replicate) + ": " + unread->message);
}

// The groups of the bar plots and of the tables' group column: the labels
// given, else the populations a program read from the data file (GENEPOP)
// and wrote beside its results.
void SettleGroups(SStudyResults& r, const std::string& labelsPath) {
    if (!labelsPath.empty()) {
        r.groups = ReadLabels(labelsPath, r.study.individuals);
        if (r.N > 0 && r.groups.size() != r.N)
            RefuseStudy("the labels file " + labelsPath + " holds " +
                        std::to_string(r.groups.size()) + " labels for " + std::to_string(r.N) +
                        " individuals");
        r.groupSource = "label";
        return;
    }
    r.groups = PopulationsOfTheData(r.study, r.chains, r.N);
    if (!r.groups.empty())
        r.groupSource = "population in the data file";
}

void WriteStudyTables(const SStudyResults& r) {
    for (size_t i = 0; i < r.summaries.size(); ++i) {
        const SKSummary& s = r.summaries[i];
        const std::string stem = StemOf(r, s);
        WriteTable(stem + "_chains.tsv",
                   [&](std::ostream& out) { return WriteChainTable(out, r.chains[i]); });
        if (!s.majorQ.empty())
            WriteTable(stem + "_Q.tsv", [&](std::ostream& out) {
                return WriteMembershipTable(out, s.majorQ, r.ids, r.groups);
            });
    }
    WriteTable(r.study.studyDir + "/summary.tsv",
               [&](std::ostream& out) { return WriteSummaryTable(out, r.summaries); });
}

// The bars in order of the groups, else of the main cluster at the last K.
SBarOrder BarOrder(const SStudyResults& r, const SKSummary& last, std::string& title) {
    std::vector<int> groupOf;
    std::vector<std::string> names;
    if (!r.groups.empty()) {
        std::map<std::string, int> number;
        for (const std::string& l : r.groups) {
            auto it = number.emplace(l, static_cast<int>(names.size())).first;
            if (it->second == static_cast<int>(names.size()))
                names.push_back(l);
            groupOf.push_back(it->second);
        }
        title = "individuals grouped by their " + r.groupSource;
    } else {
        for (int k = 1; k <= last.K; ++k)
            names.push_back(std::to_string(k));
        for (const DBL_VCTR_1D& q : last.majorQ)
            groupOf.push_back(static_cast<int>(std::max_element(q.begin(), q.end()) - q.begin()));
        title = "individuals grouped by their main cluster at K = " + std::to_string(last.K);
    }
    return OrderForBars(groupOf, names, last.majorQ);
}

void DrawStudyCharts(const SStudyResults& r) {
    std::string error;
    std::error_code ec;
    const std::string& dir = r.study.studyDir;
    if (!DrawKChoice(dir + "/Kchoice", r.summaries, r.logLik, &error, r.heldOut))
        RefuseStudy(error);
    for (size_t i = 0; i < r.summaries.size(); ++i)
        if (!DrawTraces(dir + "/K" + std::to_string(r.summaries[i].K) + "_traces", r.summaries[i].K,
                        r.chains[i], &error))
            RefuseStudy(error);
    const SKSummary* last = nullptr;
    for (const SKSummary& s : r.summaries)
        if (!s.majorQ.empty())
            last = &s;
    if (last == nullptr)
        return;
    std::string title;
    const SBarOrder bars = BarOrder(r, *last, title);
    if (!DrawBarplots(dir + "/barplots", r.summaries, bars, title, &error))
        RefuseStudy(error);
    for (const SKSummary& s : r.summaries) {
        const std::string modes = StemOf(r, s) + "_modes";
        // A K of one mode now may have had several when last collected.
        if (s.minorQ.empty())
            for (const char* extension : {".png", ".pdf", ".svg"})
                fs::remove(modes + extension, ec);
        else if (!DrawModeBarplots(modes, s, bars, title, &error))
            RefuseStudy(error);
    }
    std::cout << "Bar plots: " << title << "\n";
}

// One line per K whose chains disagree or have not mixed, saying what to do.
std::vector<std::string> MarkLines(const std::vector<SKSummary>& summaries) {
    std::vector<std::string> lines;
    for (const SKSummary& s : summaries) {
        if (!s.disagree && !s.notMixed)
            continue;
        std::ostringstream line;
        line << "K = " << s.K << ": " << MarkText(s) << " (";
        if (s.disagree)
            line << "R-hat " << Shown{s.rhat, 2} << ", " << s.majorModeChains << " of " << s.chains
                 << " chains in the major mode" << (s.notMixed ? "; " : "");
        if (s.notMixed) {
            line << s.warnedChains << " of " << s.chains << " chains warned, worst "
                 << s.worstParameter;
            if (!std::isnan(s.worstEss))
                line << " with effective sample size " << Shown{s.worstEss, 0};
            else
                line << " frozen";
        }
        line << "): its results are not to be trusted; run more sweeps (-S), or replica "
                "exchange (-rx) if the program offers it";
        lines.push_back(line.str());
    }
    return lines;
}

// The lines of the chains that failed, K<k> rep<r> (or cv<r>) and why.
std::vector<std::string> FailureLines(const SStudyResults& r) {
    std::vector<std::string> lines;
    for (const auto& ofK : r.chains)
        for (const SChainResult& c : ofK) {
            const std::string name = "K" + std::to_string(c.K);
            if (c.status == ChainStatus::Failed)
                lines.push_back(name + " rep" + std::to_string(c.replicate) +
                                " failed: " + c.message);
            if (r.study.heldOut && c.heldOutStatus == ChainStatus::Failed)
                lines.push_back(name + " cv" + std::to_string(c.replicate) +
                                " failed: " + c.heldOutMessage);
        }
    return lines;
}

template <typename Writer>
std::string TableText(Writer write) {
    std::ostringstream out;
    write(out);
    return out.str();
}

// The report of the study, from the tables and charts just written.
void WriteReport(const SStudyResults& r) {
    SStudyReport report;
    const std::string program = fs::path(r.study.programPath).filename().string();
    report.title = "breloStudy: " + program + ", K " + std::to_string(r.study.kMin) + " to " +
                   std::to_string(r.study.kMax) + ", " + std::to_string(r.study.replicates) +
                   " chains each (" + fs::path(r.study.studyDir).filename().string() + ")";
    report.choice = ChoiceLines(r.chosen, r.chosenByHeldOut, HeldOutData(r.study.program));
    report.warnings = MarkLines(r.summaries);
    for (const std::string& line : FailureLines(r))
        report.warnings.push_back(line);
    report.summaryTable =
        TableText([&](std::ostream& out) { return WriteSummaryTable(out, r.summaries); });
    const std::string& dir = r.study.studyDir;
    report.kChoiceSvg = dir + "/Kchoice.svg";
    if (Exists(dir + "/barplots.svg"))
        report.barplotsSvg = dir + "/barplots.svg";
    for (size_t i = 0; i < r.summaries.size(); ++i) {
        const SKSummary& s = r.summaries[i];
        SReportK k;
        k.K = s.K;
        k.mark = MarkText(s);
        k.chainsTable =
            TableText([&](std::ostream& out) { return WriteChainTable(out, r.chains[i]); });
        if (!s.minorQ.empty())
            k.modesSvg = StemOf(r, s) + "_modes.svg";
        if (Exists(StemOf(r, s) + "_traces.svg"))
            k.tracesSvg = StemOf(r, s) + "_traces.svg";
        report.ks.push_back(k);
    }
    WriteTable(dir + "/report.html",
               [&](std::ostream& out) { return WriteStudyReport(out, report); });
}

}  // namespace

SCollectOutcome CollectStudy(const std::string& studyDir, const std::string& labelsFile,
                             double threshold) {
    SStudyResults r;
    std::string workingDir, error;
    if (!ReadStudyRecord(studyDir, r.study, workingDir, error))
        RefuseStudy(error);
    r.study.studyDir = fs::absolute(studyDir).lexically_normal().string();
    r.chains = LoadChains(r.study);
    CheckSameIndividuals(r.chains, r.N);
    SettleIds(r);
    // Labels given now, else those the study was run with.
    SettleGroups(r, labelsFile.empty() ? r.study.labelsFile : labelsFile);
    Summarise(r, threshold);

    SCollectOutcome outcome;
    outcome.chosenK = r.chosen;
    for (const std::string& line : FailureLines(r))
        std::cout << line << "\n";
    for (const auto& ofK : r.chains)
        for (const SChainResult& c : ofK) {
            outcome.unfinished += c.status == ChainStatus::Unfinished;
            outcome.failed += c.status == ChainStatus::Failed;
            if (!r.study.heldOut)
                continue;
            outcome.unfinished += c.heldOutStatus == ChainStatus::Unfinished;
            outcome.failed += c.heldOutStatus == ChainStatus::Failed;
        }
    if (outcome.unfinished > 0)
        std::cout << outcome.unfinished
                  << " chains have not finished (not run yet, queued, running, or stopped): "
                     "collect again once they have\n";
    WriteStudyTables(r);
    DrawStudyCharts(r);
    WriteReport(r);
    PrintSummary(r.summaries, r.chosen, r.chosenByHeldOut, HeldOutData(r.study.program));
    for (const std::string& line : MarkLines(r.summaries))
        std::cout << line << "\n";
    std::cout << "Results in " << r.study.studyDir
              << "/: report.html, summary.tsv, K<k>_Q.tsv, K<k>_chains.tsv, K<k>_traces, "
                 "Kchoice, barplots (and K<k>_modes where the chains fell in several modes)"
              << std::endl;
    return outcome;
}

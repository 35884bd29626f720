#include "brelo/BreloDriver.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "brelo/BreloData.h"
#include "brelo/BreloOptions.h"
#include "brelo/BreloResults.h"
#include "brelo/BreloSampler.h"
#include "brelo/PredictUtilities.h"
#include "core/MiscUtilities.h"

namespace {

// A run of a series that keeps being abandoned is not retried for ever.
constexpr int kMaxAttemptsPerRun = 20;

struct SRunTables {
    std::ofstream criteria;
    std::ofstream cvScore;
    SLoadedData* data = nullptr;  // the data file, read once for every run
};

void EchoCommandLine(int argc, char** argv) {
    for (int i = 0; i < argc; ++i)
        std::cout << argv[i] << " ";
    std::cout << "\n" << std::string(62, '*') << std::endl;
}

std::string BaseName(const SDriverOptions& d) {
    std::string base = MakeInputPath(d.FoO, d.F);
    if (!d.run.empty())
        base += "_RUN" + d.run + "_";
    if (d.bg)
        base += "_g" + std::to_string(d.test_inf) + "h" + std::to_string(d.test_sup);
    return base;
}

void OpenTables(const SDriverOptions& d, int K, SRunTables& tables) {
    const std::string criteria = CriteriaTableName(d);
    const std::string cvScore = CvScoreTableName(d);
    tables.criteria.open(criteria);
    if (!tables.criteria)
        RefuseInput("Cannot open file " + criteria + " - brelo (does the output folder exist?)");
    tables.cvScore.open(cvScore);
    if (!tables.cvScore)
        RefuseInput("Cannot open file " + cvScore + " - brelo (does the output folder exist?)");
    tables.criteria << CriteriaHeader(K) << std::endl;
    tables.cvScore << "RUN \t CVscore \t 2FoldPartition" << std::endl;
}

// One call of the sampler; in a series, repeated until the run completes.
// A single run that is abandoned keeps its row without body, ended here so
// that the next row starts on a line of its own.
bool CallSampler(int argc, char** argv, const std::string& run, SRunTables& tables,
                 CRunCriteria& criteria, bool bFIT, bool bValOnIndiv, CTrainingConfig& config,
                 bool repeat) {
    for (int attempt = 1;; ++attempt) {
        if (brelo(argc, argv, run, tables.criteria, criteria, bFIT, bValOnIndiv, config,
                  tables.data))
            return true;
        if (!repeat) {
            tables.criteria << std::endl;
            std::cout << "The run was abandoned: it wrote no result file." << std::endl;
            return false;
        }
        if (attempt == kMaxAttemptsPerRun)
            RefuseInput("Run " + run + " was abandoned " + std::to_string(kMaxAttemptsPerRun) +
                        " times in a row; giving up.");
        std::cout << "Run " << run << " abandoned; starting it again." << std::endl;
    }
}

// A 2-fold pair: the first fold trains on the configuration, the second on
// its complement; the score is the mean validation log-likelihood per
// held-out unit over the two folds, "NA" when a fold was abandoned (its
// criteria would be those of an earlier run). False when a fold was abandoned.
bool RunTwoFoldPair(int argc, char** argv, const std::string& label, const std::string& runA,
                    const std::string& runB, SRunTables& tables, CRunCriteria& criteria,
                    bool bValOnIndiv, CTrainingConfig& config, CTrainingConfig& comp, bool repeat) {
    tables.criteria << label << "a"
                    << "\t";
    const bool firstDone =
        CallSampler(argc, argv, runA, tables, criteria, true, bValOnIndiv, config, repeat);
    const double first = criteria.dAL_valid / comp.size();
    tables.criteria << label << "b"
                    << "\t";
    tables.data->lastUse = !repeat;
    const bool secondDone =
        CallSampler(argc, argv, runB, tables, criteria, true, bValOnIndiv, comp, repeat);
    tables.cvScore << label << "\t";
    if (firstDone && secondDone)
        tables.cvScore << 0.5 * (criteria.dAL_valid / config.size() + first);
    else
        tables.cvScore << "NA";
    tables.cvScore << "\t" << config.name << std::endl;
    return firstDone && secondDone;
}

// False when the run (or a fold of the pair) was abandoned.
bool RunSingle(int argc, char** argv, const SDriverOptions& d, SRunTables& tables,
               CRunCriteria& criteria, bool bValOnIndiv, std::vector<CTrainingConfig>& configs,
               std::vector<CTrainingConfig>& comps) {
    CTrainingConfig emptyTrainingConfig;
    // A single run is the last to use the data: it takes them.
    tables.data->lastUse = !d.b2fold;
    if (!d.bFIT) {
        tables.criteria << d.F << "\t";
        return CallSampler(argc, argv, "", tables, criteria, false, bValOnIndiv,
                           emptyTrainingConfig, false);
    }
    if (!d.b2fold) {
        tables.criteria << d.F << "\t";
        return CallSampler(argc, argv, "", tables, criteria, true, bValOnIndiv, configs[0], false);
    }
    return RunTwoFoldPair(argc, argv, d.F, "RUNa", "RUNb", tables, criteria, bValOnIndiv,
                          configs[0], comps[0], false);
}

void RunSeries(int argc, char** argv, const SDriverOptions& d, SRunTables& tables,
               CRunCriteria& criteria, bool bValOnIndiv, std::vector<CTrainingConfig>& configs,
               std::vector<CTrainingConfig>& comps) {
    CTrainingConfig emptyTrainingConfig;
    for (int r = d.test_inf; r <= d.test_sup; ++r) {
        const int c = r - d.test_inf;
        const std::string run = std::to_string(r);
        if (!d.bFIT) {
            tables.criteria << run << "\t";
            CallSampler(argc, argv, run, tables, criteria, false, bValOnIndiv, emptyTrainingConfig,
                        true);
        } else if (!d.b2fold) {
            tables.criteria << run << "\t";
            CallSampler(argc, argv, run, tables, criteria, true, bValOnIndiv,
                        configs[c % configs.size()], true);
        } else {
            RunTwoFoldPair(argc, argv, run, run + "a", run + "b", tables, criteria, bValOnIndiv,
                           configs[c % configs.size()], comps[c % comps.size()], true);
        }
    }
}

}  // namespace

SDriverOptions ScanDriverOptions(int argc, char** argv) {
    SDriverOptions d;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (arg[0] != '-')
            continue;
        const char* value = arg + 2;
        switch (arg[1]) {
            case 'F':
                d.F = value;
                d.bF = true;
                break;
            case 'K':
                d.K = ReadIntOption(arg, 2);
                break;
            case 'L':
                d.L = ReadIntOption(arg, 2);
                d.bL = true;
                break;
            case 'N':
                d.N = ReadIntOption(arg, 2);
                d.bN = true;
                break;
            case 'g':
                d.test_inf = ReadIntOption(arg, 2);
                d.bg = true;
                break;
            case 'h':
                d.test_sup = ReadIntOption(arg, 2);
                d.bh = true;
                break;
            case 'o':
                if (IsRunLabelOption(arg))
                    d.run = arg + 5;
                else
                    d.FoO = value;
                break;
            case 'v':
                d.FindexTraining = value;
                d.bFIT = true;
                break;
            case '2':
                if (strcmp(arg, "-2fold") != 0)
                    RefuseUnknownOption(arg);
                d.b2fold = true;
                break;
            default:
                break;
        }
    }
    return d;
}

std::string CriteriaTableName(const SDriverOptions& d) {
    return BaseName(d) + "_allCriteria.txt";
}

std::string CvScoreTableName(const SDriverOptions& d) {
    return BaseName(d) + "_cvScore.txt";
}

std::string CriteriaHeader(int K) {
    std::string header =
        "RUN \t  KEst \t LHtraining \t LHvalidation \t DIC \t DIC2 \t COR \t AIC \t DICregr \t "
        "DICregr2 \t DIC2_tot \t pseudoBF \t LHmax";
    if (K > 1) {
        for (int k = 1; k < K; ++k)
            header += "\t DICregr_" + std::to_string(k);
        for (int k = 1; k < K; ++k)
            header += "\t AIC_" + std::to_string(k);
    }
    return header + "\t TrainingConfiguration";
}

void CheckTrainingConfigs(const std::vector<CTrainingConfig>& configs, bool bValOnIndiv, int M) {
    if (configs.empty())
        RefuseInput(
            "The training configuration file holds no configuration (no line with a colon).");
    for (const CTrainingConfig& config : configs)
        if (config.size() >= M)
            RefuseInput("The training configuration " + config.name + " lists all " +
                        std::to_string(M) + (bValOnIndiv ? " individuals" : " loci") +
                        ": nothing is left to hold out for validation.");
}

int BreloMain(int argc, char** argv) {
    const bool predict = argc > 1 && strcmp(argv[1], "-predict") == 0;
    if (AnswerInfoOption(argc, argv, predict ? ShowUsagePrediction : ShowUsage))
        return 0;
    EchoCommandLine(argc, argv);
    if (predict) {
        predictionFromCommandLine(argc, argv);
        return 0;
    }
    if (argc == 1) {
        ShowUsage();
        return 1;
    }
    SDriverOptions d = ScanDriverOptions(argc, argv);
    if (d.bg != d.bh)
        RefuseInput("The options -g<first> and -h<last> make a series together: give both.");
    if (d.bg && d.test_inf > d.test_sup)
        RefuseInput("The series of runs -g" + std::to_string(d.test_inf) + " -h" +
                    std::to_string(d.test_sup) +
                    " is empty: its first run (-g) must not come after its last (-h).");
    if (d.bg && !d.run.empty())
        RefuseInput("You can not use -orun parameter at the same time as -g -h parameters");
    // Every model option is checked here once, so that a refused command line
    // writes no file.
    SBreloOptions model;
    ParseBreloOptions(argc, argv, model);
    d.N = model.N;
    d.L = model.L;
    if (d.b2fold && !d.bFIT)
        RefuseInput("The option -2fold needs a partition file given with the option -v.");

    // The data file first, read once for every run: it bounds -N and -L,
    // which size the complements of the training configurations.
    SLoadedData data;
    LoadInvocationData(model, data);

    std::vector<CTrainingConfig> vTrainingConfig, vCompTrainingConfig;
    bool bValOnIndiv = false;
    if (d.bFIT) {
        LoadTraining(vTrainingConfig, vCompTrainingConfig, bValOnIndiv, d.N, d.L, d.FindexTraining);
        CheckTrainingConfigs(vTrainingConfig, bValOnIndiv, bValOnIndiv ? d.N : d.L);
    }

    SRunTables tables;
    tables.data = &data;
    OpenTables(d, d.K, tables);
    if (d.bFIT)
        std::cout << "Validation on " << (bValOnIndiv ? "individuals" : "loci") << ": "
                  << vTrainingConfig.size() << " training configuration(s) loaded." << std::endl;

    // A series repeats an abandoned run; a single run that was abandoned
    // wrote no result, which the exit status reports.
    CRunCriteria runCriteria;
    bool completed = true;
    if (d.bg)
        RunSeries(argc, argv, d, tables, runCriteria, bValOnIndiv, vTrainingConfig,
                  vCompTrainingConfig);
    else
        completed = RunSingle(argc, argv, d, tables, runCriteria, bValOnIndiv, vTrainingConfig,
                              vCompTrainingConfig);

    CloseResultFile(tables.criteria, CriteriaTableName(d), "brelo");
    CloseResultFile(tables.cvScore, CvScoreTableName(d), "brelo");
    if (!d.b2fold)
        remove(CvScoreTableName(d).c_str());
    return completed ? 0 : 1;
}

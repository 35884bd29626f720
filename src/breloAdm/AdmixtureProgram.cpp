#include "breloAdm/AdmixtureProgram.h"

#include <iostream>
#include <utility>

#include "breloAdm/AdmixtureResults.h"
#include "breloAdm/AdmixtureSampler.h"
#include "breloAdm/BreloAdmOptions.h"
#include "breloAdm/BreloAdmSetup.h"
#include "breloAdm/PredictUtilities.h"
#include "breloAdm/SpatialPrior.h"
#include "core/MiscUtilities.h"
#include "core/ProgramExit.h"
#include "core/RNGUtilities.h"
#include "core/ThreadPool.h"
#include "io/ResultTables.h"
#include "io/RunDiagnostics.h"

int RunBreloAdm(int argc, const char* const* argv) {
    if (AnswerInfoOption(argc, argv, ShowUsage))
        return 0;
    SAdmOptions opt;
    ParseAdmOptions(argc, argv, opt);
    SRunRecord record = StartRunRecord(argc, argv, opt.FIFN);
    SAdmSetup setup;
    gsl_rng* rng = nullptr;
    RunAdmSetup(opt, setup, rng);
    if (opt.tessellationOnly) {
        FreeRNG(rng);
        std::cout << "Tessellation of the sites in " << opt.FAFN << "VC" << std::endl;
        return 0;
    }

    CSpatialPrior prior;
    SAdmChain chain;
    RunAdmixtureSampler(opt, setup, rng, prior, chain);

    SAdmEstimates est;
    // The labels of the last sweep are not read after the sweeps: their room
    // (a byte a copy) holds the most frequent labels instead.
    est.hcAdmix = std::move(chain.spSweep.zadMix);
    SummariseChain(opt, setup, chain, est);
    WriteAdmResults(opt, setup, prior, chain, est);
    FreeRNG(rng);
    // The whole run, the reading of the data included.
    PrintRunTime(record.start);
    record.seed = setup.seed;
    RecordExchange(record, *chain.exchange, ThreadsFromOption(opt.threads));
    if (!SaveRunTable(record, opt.FOFN + kRunTableSuffix))
        ExitProgram(1);

    if (!opt.mapFile.empty())
        RunMapPrediction(opt.mapFile, opt.covariatesGiven, opt.FOFN, est.mean.beta,
                         SitesInDataCoordinates(setup, opt.N),
                         opt.drawMap ? MapPrediction::Draw : MapPrediction::Expected, opt.crsWkt);
    WarnIfNotConverged(est.diagnostics);
    return 0;
}

// The brelo program from its command line: refusals and their statuses, the
// criteria and cross-validation tables, series of runs, and which result
// files a run writes, with their layouts.
#include <gtest/gtest.h>

#include <fstream>

#include "cli/BreloCli.h"

namespace {

// sim2pop: 130 diploid individuals, 20 loci; id and population skipped,
// then two coordinates.
const std::string kSim = "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c2 ";
const std::string kShort = "-S30 -B10 ";

std::string Folder(const std::string& name) {
    const std::string dir = FreshFolder("cli_" + name);
    CopyFixture("sim2pop.txt", dir);
    return dir;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::string WritePartition(const std::string& dir, const std::string& text) {
    std::ofstream(dir + "/part.txt") << text;
    return "part.txt";
}

TEST(BreloDriverCli, RefusedCommandLinesExitWithStatusOneAndWriteNothing) {
    const std::string dir = Folder("refusals");
    // Missing options are named in one line; brelo alone shows its usage.
    SCliResult fewOptions = RunBreloIn(dir, "-Fsim2pop.txt -N130 -L20");
    EXPECT_EQ(fewOptions.status, 1);
    EXPECT_TRUE(Contains(fewOptions.output,
                         "\nMissing option(s): -A<ploidy>, -K<k>, -D<lambda>, -S<sweeps>, "
                         "-B<burn-in>, -T<degree> (brelo --help lists them all).\n"))
        << fewOptions.output;
    EXPECT_FALSE(Contains(fewOptions.output, "Typical Usages:"));
    SCliResult bare = RunBreloIn(dir, "");
    EXPECT_EQ(bare.status, 1);
    // The usage has blank lines only where its sections call for them.
    EXPECT_TRUE(Contains(bare.output, "(-K3, -Fdata.txt, -T-1).\nTypical Usages:\n"));
    EXPECT_TRUE(Contains(bare.output, "sp format.\nOptions:\n"));

    SCliResult unknown2 = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -2folds");
    EXPECT_EQ(unknown2.status, 1);
    EXPECT_TRUE(Contains(unknown2.output,
                         "Unknown Option - -2folds: the nearest known option is -2fold (brelo "
                         "--help lists them all).\n"))
        << unknown2.output;

    // The example: an option that is not -f<format> is named as written.
    SCliResult foo = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -foo");
    EXPECT_EQ(foo.status, 1);
    EXPECT_TRUE(Contains(foo.output,
                         "Unknown Option - -foo: the nearest known options are "
                         "-fvcf, -fplink and -fgenepop"))
        << foo.output;
    for (const char* bad : {"-refs", "-jkx", "-zgibbs", "-spyes"}) {
        SCliResult r = RunBreloIn(dir, kSim + kShort + "-K2 -T0 " + bad);
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_TRUE(Contains(r.output, "Unknown Option - " + std::string(bad) + ": the nearest"))
            << r.output;
    }

    SCliResult noF = RunBreloIn(dir, "-N130 -A2 -L20 -D1 -c2 -S30 -B10 -K2 -T0 -X0");
    EXPECT_EQ(noF.status, 1);
    EXPECT_TRUE(Contains(noF.output, "Missing option(s): -F<file> (brelo --help"));

    SCliResult orun = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -g1 -h3 -orunX");
    EXPECT_EQ(orun.status, 1);
    EXPECT_TRUE(Contains(orun.output,
                         "You can not use -orun parameter at the same time as -g -h parameters"));

    SCliResult onlyG = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -g1");
    EXPECT_EQ(onlyG.status, 1);

    // An empty series, and more clusters than individuals, in one line.
    SCliResult backwards = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -g3 -h1");
    EXPECT_EQ(backwards.status, 1);
    EXPECT_TRUE(Contains(backwards.output,
                         "The series of runs -g3 -h1 is empty: its first run "
                         "(-g) must not come after its last (-h).\n"))
        << backwards.output;
    SCliResult tooMany = RunBreloIn(dir, kSim + kShort + "-K131 -T0");
    EXPECT_EQ(tooMany.status, 1);
    EXPECT_TRUE(Contains(tooMany.output,
                         "The number of clusters (-K131) must not exceed the 130 "
                         "individuals of the data (-N130)"))
        << tooMany.output;

    SCliResult noKept = RunBreloIn(dir, kSim + "-S30 -B30 -K2 -T0");
    EXPECT_EQ(noKept.status, 1);
    EXPECT_TRUE(Contains(noKept.output, "must be smaller than the total number of sweeps"));

    SCliResult predictLater = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -predict");
    EXPECT_EQ(predictLater.status, 1);
    EXPECT_TRUE(Contains(predictLater.output, "Unknown Option - -predict"));
    EXPECT_FALSE(Contains(predictLater.output, "Typical Usages:"));

    WritePartition(dir, "Validation on Individuals\nall: ");
    std::string everybody;
    for (int i = 1; i <= 130; ++i)
        everybody += std::to_string(i) + " ";
    std::ofstream(dir + "/part.txt", std::ios::app) << everybody << "\n";
    SCliResult nothingHeldOut = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -vpart.txt");
    EXPECT_EQ(nothingHeldOut.status, 1);
    EXPECT_TRUE(Contains(nothingHeldOut.output, "nothing is left to hold out"));

    // Data errors are found before any table is created.
    SCliResult wrongL =
        RunBreloIn(dir, "-Fsim2pop.txt -N130 -A2 -L21 -D1 -c2 " + kShort + "-K2 -T0");
    EXPECT_EQ(wrongL.status, 1);
    EXPECT_TRUE(Contains(wrongL.output,
                         "Line 1 of sim2pop.txt (record 1) holds 24 values, where -c2 -T0 -L21 "
                         "expect 25 values a row - LoadData"));
    SCliResult wrongC =
        RunBreloIn(dir, "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c1 " + kShort + "-K2 -T0");
    EXPECT_EQ(wrongC.status, 1);
    EXPECT_TRUE(
        Contains(wrongC.output, "holds 24 values, where -c1 -T0 -L20 expect 23 values a row"));

    std::vector<std::string> files = FolderFiles(dir);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, (std::vector<std::string>{"part.txt", "sim2pop.txt"}));
}

TEST(BreloDriverCli, CriteriaHeaderFollowsK) {
    const std::string dir = Folder("header");
    ASSERT_EQ(RunBreloIn(dir, kSim + kShort + "-K1 -T0").status, 0);
    std::vector<std::string> k1 = ReadLines(dir + "/sim2pop.txt_allCriteria.txt");
    ASSERT_EQ(k1.size(), 2u);
    EXPECT_EQ(k1[0],
              "RUN \t  KEst \t LHtraining \t LHvalidation \t DIC \t DIC2 \t COR \t AIC \t DICregr "
              "\t DICregr2 \t DIC2_tot \t pseudoBF \t LHmax\t TrainingConfiguration");
    EXPECT_EQ(k1[1].rfind("sim2pop.txt\t1\t", 0), 0u) << k1[1];
    EXPECT_TRUE(Contains(k1[1], "\tNA\tNA\tNA\t"));
    EXPECT_EQ(k1[1].substr(k1[1].size() - 9), "\t AllData");

    ASSERT_EQ(RunBreloIn(dir, kSim + kShort + "-K3 -T0").status, 0);
    std::vector<std::string> k3 = ReadLines(dir + "/sim2pop.txt_allCriteria.txt");
    ASSERT_EQ(k3.size(), 2u);
    EXPECT_TRUE(
        Contains(k3[0], "LHmax\t DICregr_1\t DICregr_2\t AIC_1\t AIC_2\t TrainingConfiguration"));
    // First column, 12 criteria, 2 + 2 per-cluster columns, configuration.
    EXPECT_EQ(std::count(k3[1].begin(), k3[1].end(), '\t'), 17);
}

TEST(BreloDriverCli, SeriesOfRunsNameTheirTablesAndFiles) {
    const std::string dir = Folder("series");
    SCliResult series = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -g2 -h4");
    ASSERT_EQ(series.status, 0) << series.output;
    std::vector<std::string> rows = ReadLines(dir + "/sim2pop.txt_g2h4_allCriteria.txt");
    ASSERT_EQ(rows.size(), 4u);
    for (int r = 2; r <= 4; ++r) {
        EXPECT_EQ(rows[r - 1].rfind(std::to_string(r) + "\t", 0), 0u) << rows[r - 1];
        EXPECT_TRUE(FileExists(dir + "/sim2pop.txt_RUN" + std::to_string(r) + "_AP.txt"));
    }
    EXPECT_FALSE(FileExists(dir + "/sim2pop.txt_g2h4_cvScore.txt"));
    // Each run of the series has its own seed.
    EXPECT_NE(ReadWholeFile(dir + "/sim2pop.txt_RUN2_LHstock.txt"),
              ReadWholeFile(dir + "/sim2pop.txt_RUN3_LHstock.txt"));

    // A series whose first run comes after its last is refused, and writes
    // no table.
    SCliResult none = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -g3 -h2");
    EXPECT_EQ(none.status, 1);
    EXPECT_FALSE(FileExists(dir + "/sim2pop.txt_g3h2_allCriteria.txt"));
    EXPECT_FALSE(FileExists(dir + "/sim2pop.txt_g3h2_cvScore.txt"));
}

TEST(BreloDriverCli, CrossValidationTableHoldsOneRowPerPair) {
    const std::string dir = Folder("twofold");
    std::string odd, even;
    for (int i = 1; i <= 130; i += 2)
        odd += " " + std::to_string(i);
    for (int i = 2; i <= 130; i += 2)
        even += " " + std::to_string(i);
    WritePartition(dir, "Validation on Individuals\nodd:" + odd + "\neven:" + even + "\n");

    SCliResult split = RunBreloIn(dir, kSim + kShort + "-K2 -T1 -vpart.txt");
    ASSERT_EQ(split.status, 0) << split.output;
    EXPECT_TRUE(Contains(split.output, "Validation on individuals: 2 training configuration(s)"));
    EXPECT_FALSE(FileExists(dir + "/sim2pop.txt_cvScore.txt"));
    std::vector<std::string> splitRows = ReadLines(dir + "/sim2pop.txt_allCriteria.txt");
    ASSERT_EQ(splitRows.size(), 2u);
    EXPECT_EQ(splitRows[1].substr(splitRows[1].size() - 4), "\todd");
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txtPPM_valid.txt"));

    SCliResult pair = RunBreloIn(dir, kSim + kShort + "-K2 -T1 -vpart.txt -2fold");
    ASSERT_EQ(pair.status, 0) << pair.output;
    std::vector<std::string> cv = ReadLines(dir + "/sim2pop.txt_cvScore.txt");
    ASSERT_EQ(cv.size(), 2u);
    EXPECT_EQ(cv[0], "RUN \t CVscore \t 2FoldPartition");
    EXPECT_EQ(cv[1].rfind("sim2pop.txt\t-", 0), 0u) << cv[1];
    EXPECT_EQ(cv[1].substr(cv[1].size() - 4), "\todd");
    std::vector<std::string> rows = ReadLines(dir + "/sim2pop.txt_allCriteria.txt");
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[1].rfind("sim2pop.txta\t", 0), 0u);
    EXPECT_EQ(rows[2].rfind("sim2pop.txtb\t", 0), 0u);
    EXPECT_EQ(rows[2].substr(rows[2].size() - 9), "\tcomp.odd");
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txt_RUNRUNa_AP.txt"));
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txt_RUNRUNb_AP.txt"));

    SCliResult series = RunBreloIn(dir, kSim + kShort + "-K2 -T1 -vpart.txt -2fold -g1 -h3");
    ASSERT_EQ(series.status, 0);
    std::vector<std::string> cvSeries = ReadLines(dir + "/sim2pop.txt_g1h3_cvScore.txt");
    ASSERT_EQ(cvSeries.size(), 4u);
    // Runs 1, 2, 3 use configurations odd, even, odd.
    EXPECT_EQ(cvSeries[2].substr(cvSeries[2].size() - 5), "\teven");
    EXPECT_EQ(cvSeries[3].rfind("3\t", 0), 0u);
    EXPECT_EQ(cvSeries[3].substr(cvSeries[3].size() - 4), "\todd");
}

const char* const kAlwaysWritten[] = {"AP.txt", "AP.png",  "TR.txt",  "EN.txt", "AL.txt",
                                      "BF.txt", "DIC.txt", "COR.txt", "LH.png", "LHstock.txt"};
const char* const kCovariatesOnly[] = {"betaHat.txt",  "BH.png",        "PPM.txt",    "PPM.png",
                                       "AICStock.txt", "BetaStock.txt", "DICregr.txt"};

TEST(BreloDriverCli, ResultFilesExistOnlyWhereTheyMust) {
    const std::string dir = Folder("files");
    ASSERT_EQ(RunBreloIn(dir, kSim + kShort + "-K2 -T0 -orunplain").status, 0);
    ASSERT_EQ(RunBreloIn(dir, kSim + kShort + "-K2 -T1 -orunregr").status, 0);
    const std::string plain = dir + "/sim2pop.txt_RUNplain_";
    const std::string regr = dir + "/sim2pop.txt_RUNregr_";
    for (const char* suffix : kAlwaysWritten) {
        EXPECT_TRUE(FileExists(plain + suffix)) << suffix;
        EXPECT_TRUE(FileExists(regr + suffix)) << suffix;
    }
    for (const char* suffix : kCovariatesOnly) {
        EXPECT_FALSE(FileExists(plain + suffix)) << suffix;
        EXPECT_TRUE(FileExists(regr + suffix)) << suffix;
    }
    for (const char* suffix : {"PPMqual.png", "PPMvar1.txt", "LHstock_valid.txt", "PPM_valid.txt"})
        EXPECT_FALSE(FileExists(regr + suffix)) << suffix;
    EXPECT_TRUE(FileExists(plain + "AIC.txt"));
    // Without covariates the memberships are compared with a constant
    // matrix: the correlation is undefined and reads NA, not nan.
    std::vector<std::string> cor = ReadLines(plain + "COR.txt");
    ASSERT_EQ(cor.size(), 1u);
    EXPECT_EQ(cor[0], "NA");
    std::vector<std::string> rows = ReadLines(dir + "/sim2pop.txt_RUNplain__allCriteria.txt");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_NE(rows[1].find("\tNA\t"), std::string::npos) << rows[1];
    EXPECT_EQ(rows[1].find("nan"), std::string::npos) << rows[1];
}

TEST(BreloDriverCli, KMeansStartAndGibbsLabelsWriteEveryResultFileAndRepeatFromTheSeed) {
    const std::string dir = Folder("jk_zg");
    const std::string options = kSim + kShort + "-K2 -T1 -jk -zg -orun";
    SCliResult first = RunBreloIn(dir, options + "1");
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_TRUE(Contains(first.output, "Starting labels from k-means of the allele counts"));
    const std::string p = dir + "/sim2pop.txt_RUN1_";
    for (const char* suffix : kAlwaysWritten)
        EXPECT_TRUE(FileExists(p + suffix)) << suffix;
    for (const char* suffix : kCovariatesOnly)
        EXPECT_TRUE(FileExists(p + suffix)) << suffix;
    ASSERT_EQ(RunBreloIn(dir, options + "2").status, 0);
    EXPECT_EQ(ReadWholeFile(p + "TR.txt"), ReadWholeFile(dir + "/sim2pop.txt_RUN2_TR.txt"));

    SCliResult oneCluster = RunBreloIn(dir, kSim + kShort + "-K1 -T0 -jk");
    EXPECT_EQ(oneCluster.status, 1);
    EXPECT_TRUE(Contains(oneCluster.output,
                         "The k-means initialisation (-jk) needs at least 2 clusters (-K).\n"));
    SCliResult unknown = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -zx");
    EXPECT_EQ(unknown.status, 1);
    EXPECT_TRUE(Contains(unknown.output, "Unknown Option - -zx"));
}

TEST(BreloDriverCli, ResultFileLayouts) {
    const std::string dir = Folder("layouts");
    ASSERT_EQ(RunBreloIn(dir, kSim + kShort + "-K2 -T1").status, 0);
    const std::string p = dir + "/sim2pop.txt";

    std::vector<std::string> ap = ReadLines(p + "AP.txt");
    ASSERT_EQ(ap.size(), 133u);  // 130 rows, three empty lines
    EXPECT_EQ(ap[0].rfind("000001:\t", 0), 0u);
    EXPECT_EQ(ap[129].rfind("000130:\t", 0), 0u);
    EXPECT_EQ(ap[0].substr(ap[0].size() - 3), " \t1");
    EXPECT_EQ(ap[0].size(), 8u + 2 * 18 + 2);

    const std::string en = ReadWholeFile(p + "EN.txt");
    EXPECT_TRUE(en == "1\n" || en == "2\n") << en;
    const std::string al = ReadWholeFile(p + "AL.txt");
    EXPECT_EQ(al.find('\n'), std::string::npos);
    EXPECT_LT(std::stod(al), 0.0);
    std::vector<std::string> bf = ReadLines(p + "BF.txt");
    ASSERT_EQ(bf.size(), 2u);
    EXPECT_EQ(bf[0].rfind("(Likelihood Max)/P(Data)\t", 0), 0u);
    EXPECT_EQ(bf[1].rfind("Log-Likelihood Max\t", 0), 0u);
    EXPECT_EQ(ReadWholeFile(p + "DIC.txt").find('\n'), std::string::npos);

    std::vector<std::string> aic = ReadLines(p + "AIC.txt");
    ASSERT_EQ(aic.size(), 3u);
    EXPECT_EQ(aic[0], "Cluster \t AIC ");
    EXPECT_EQ(aic[1].rfind("1\t", 0), 0u);
    EXPECT_EQ(aic[2].rfind("ALL\t", 0), 0u);
    std::vector<std::string> regr = ReadLines(p + "DICregr.txt");
    ASSERT_EQ(regr.size(), 3u);
    EXPECT_EQ(regr[2].rfind("ALL \t", 0), 0u);

    // The sections of the report, in order.
    const std::string tr = ReadWholeFile(p + "TR.txt");
    size_t at = 0;
    for (const char* title :
         {"Estimated Clustering Probabilities for Samples\nSample\t***Cluster  01***\t"
          "***Cluster  02***\t\n000001:\t",
          "Predicted Clustering Probabilities for Samples\n", "Estimated Allele Frequencies\n",
          "Cluster 01\nLocus 001\nAllele 001\t", "Estimated Mixing Proportions\n",
          "Estimated Beta and Significance Level:\n1:\t",
          "100% '****' 99.9 % '***' 99% '**' 95% '*' 90% '-' 0% \n",
          "95 % Bayesian Confidence Interval for Estimated Beta:\n1:\t[ ",
          "Estimated Latent Variable W:\n0:\t", "\n129:\t"}) {
        size_t found = tr.find(title, at);
        ASSERT_NE(found, std::string::npos) << title;
        at = found;
    }
    // BetaStock: sweeps, clusters, coefficients.
    EXPECT_EQ(ReadLines(p + "BetaStock.txt")[0], "30\t2\t3\t");
}

}  // namespace

// A result file that cannot be written (here a full disk) ends the run with
// one line and exit status 1 instead of passing for a completed run.
TEST(BreloDriverCli, AResultFileThatCannotBeWrittenEndsTheRun) {
    const std::string dir = Folder("fulldisk");
    std::filesystem::create_symlink("/dev/full", dir + "/sim2pop.txtAL.txt");
    SCliResult r = RunBreloIn(dir, kSim + kShort + "-K2 -T0");
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_TRUE(Contains(r.output,
                         "Cannot write file sim2pop.txtAL.txt - brelo (is the disk "
                         "full, or the folder gone?)\n"))
        << r.output;
}

// -o followed by a folder whose name begins with "run" is the folder: a run
// label cannot hold a '/'.
TEST(BreloDriverCli, AnOutputFolderNamedRunSomethingIsAFolder) {
    const std::string dir = Folder("runfolder");
    std::filesystem::create_directories(dir + "/runs/x");
    SCliResult r = RunBreloIn(dir, kSim + kShort + "-K2 -T0 -oruns/x");
    ASSERT_EQ(r.status, 0) << r.output;
    EXPECT_TRUE(FileExists(dir + "/runs/x/sim2pop.txtAP.txt"));
    EXPECT_TRUE(FileExists(dir + "/runs/x/sim2pop.txt_allCriteria.txt"));
}

// The convergence warning tells a chain that has not mixed from one that has:
// on sim2pop with the coordinates as covariates, 300 kept sweeps leave the
// coefficients with an effective sample size near 10 and warn; 18000 kept
// sweeps give every trace more than 200 and end without a warning. The
// warning is said once, though both streams go to one place here.
TEST(BreloDriverCli, ConvergenceWarningOnlyWhereTheChainHasNotMixed) {
    const std::string dir = Folder("mixing");
    const std::string warning = "Warning: the chain has not mixed for ";
    SCliResult shortRun = RunBreloIn(dir, kSim + "-X0 -XL0 -K2 -T1 -S400 -B100");
    ASSERT_EQ(shortRun.status, 0) << shortRun.output;
    EXPECT_TRUE(Contains(shortRun.output, warning + "beta[1][1] (effective sample size "))
        << shortRun.output;
    EXPECT_EQ(shortRun.output.find(warning), shortRun.output.rfind(warning)) << shortRun.output;
    SCliResult longRun = RunBreloIn(dir, kSim + "-X0 -XL0 -K2 -T1 -S20000 -B2000");
    ASSERT_EQ(longRun.status, 0) << longRun.output;
    EXPECT_TRUE(Contains(longRun.output, "Effective sample size over the 18000 kept sweeps"))
        << longRun.output;
    EXPECT_FALSE(Contains(longRun.output, warning)) << longRun.output;
}

// Without covariates there is no coefficient chart and nothing to correlate:
// the warning points to the charts the run wrote (PNG, else PDF, none when
// neither is written) and the correlation line is not printed.
TEST(BreloDriverCli, MessagesPointOnlyToWhatTheRunWrote) {
    const std::string dir = Folder("pointers");
    const std::string warning = "Warning: the chain has not mixed for log-likelihood";
    const std::string plain = kSim + "-X0 -XL0 -K2 -T0 -S60 -B10 ";
    const SCliResult png = RunBreloIn(dir, plain + "-orunA");
    ASSERT_EQ(png.status, 0) << png.output;
    EXPECT_TRUE(Contains(png.output, warning + " (effective sample size ")) << png.output;
    EXPECT_TRUE(Contains(png.output, "and look at LH.png.")) << png.output;
    EXPECT_FALSE(Contains(png.output, "BH.")) << png.output;
    EXPECT_FALSE(Contains(png.output, "Correlation between")) << png.output;
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txt_RUNA_LH.png"));

    const SCliResult pdf = RunBreloIn(dir, plain + "-wpdf -orunB");
    EXPECT_TRUE(Contains(pdf.output, "and look at LH.pdf.")) << pdf.output;
    const SCliResult none = RunBreloIn(dir, plain + "-wnone -orunC");
    EXPECT_TRUE(Contains(none.output, "run more sweeps (-S).")) << none.output;

    // With covariates both charts exist and the correlation means something.
    const SCliResult regression = RunBreloIn(dir, kSim + "-X0 -XL0 -K2 -T1 -S60 -B10 -orunD");
    EXPECT_TRUE(Contains(regression.output, "look at LH.png and BH.png.")) << regression.output;
    EXPECT_TRUE(Contains(regression.output, "Correlation between estimated and predicted"));
}

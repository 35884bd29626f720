// breloAdm as a user runs it: refusals, output names and end-to-end runs.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "breloAdm/AdmTestUtils.h"

namespace {

using admtest::FileExists;
using admtest::ReadFile;

struct SResult {
    int status = -1;
    std::string out, err;
};

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// Runs breloAdm in dir with the given arguments and GSL_RNG_SEED=12345.
SResult RunAdm(const std::string& dir, const std::vector<std::string>& args) {
    std::string cmd = "cd " + Quote(dir) + " && GSL_RNG_SEED=12345 " +
                      Quote(std::string(BRELO_BIN_DIR) + "/breloAdm");
    for (const std::string& a : args)
        cmd += " " + Quote(a);
    cmd += " > stdout.txt 2> stderr.txt";
    SResult r;
    const int raw = std::system(cmd.c_str());
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = ReadFile(dir + "/stdout.txt");
    r.err = ReadFile(dir + "/stderr.txt");
    return r;
}

bool HasUsage(const std::string& out) {
    return out.find("Typical Usage: breloAdm") != std::string::npos;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// A scratch folder holding a copy of the fixture.
std::string DirWith(const std::string& tag, const std::string& fixture) {
    const std::string dir = admtest::MakeScratchDir(tag);
    admtest::CopyFile(std::string(BRELO_TEST_DATA_DIR) + "/" + fixture, dir + "/" + fixture);
    return dir;
}

// A short run on sim2pop (130 individuals, 20 loci, id and population before
// the coordinates).
std::vector<std::string> Sim2pop(std::vector<std::string> extra, int S = 40, int B = 10) {
    std::vector<std::string> args = {"-Fsim2pop.txt",
                                     "-N130",
                                     "-A2",
                                     "-L20",
                                     "-K2",
                                     "-T1",
                                     "-P0.6",
                                     "-D1",
                                     "-c2",
                                     "-S" + std::to_string(S),
                                     "-B" + std::to_string(B)};
    args.insert(args.end(), extra.begin(), extra.end());
    return args;
}

const char* const RESULT_SUFFIXES[] = {"betaHat.txt", "HC.png",   "TR.txt",   "AP.png", "PPM.txt",
                                       "PPM.png",     "COR.txt",  "AL.txt",   "PD.txt", "PD2.txt",
                                       "DIC.txt",     "DIC2.txt", "DIC3.txt", "LH.png", "BH.png",
                                       "IM.png",      "MAP.png",  "MAP.pdf"};

void ExpectAllResults(const std::string& prefix, const std::string& inputPrefix) {
    for (const char* suffix : RESULT_SUFFIXES)
        EXPECT_TRUE(FileExists(prefix + suffix)) << prefix + suffix;
    for (const char* suffix : {"MDIC_admCAR_K2", "CFadmCAR_K2", "VD.png", "ND.png", "VC"})
        EXPECT_TRUE(FileExists(inputPrefix + suffix)) << inputPrefix + suffix;
}

double ReadNumber(const std::string& path) {
    std::istringstream is(ReadFile(path));
    double v = NAN;
    is >> v;
    return v;
}

typedef std::vector<int> INT_VCTR;

// The most probable cluster of each individual, from the first section of a
// report.
INT_VCTR HardClusters(const std::string& report) {
    std::istringstream is(ReadFile(report));
    std::string line;
    INT_VCTR hc;
    while (std::getline(is, line) && !line.empty()) {
        if (line.size() < 7 || line[6] != ':')
            continue;
        std::istringstream fields(line.substr(7));
        double v, best = -1;
        int k = 0, arg = 0;
        while (fields >> v && k < 2) {
            if (v > best) {
                best = v;
                arg = k;
            }
            ++k;
        }
        hc.push_back(arg);
    }
    return hc;
}

double Agreement(const INT_VCTR& a, const INT_VCTR& b) {
    if (a.size() != b.size() || a.empty())
        return 0;
    int same = 0;
    for (size_t i = 0; i < a.size(); ++i)
        same += a[i] == b[i];
    return same / static_cast<double>(a.size());
}

}  // namespace

// Missing required options are named in one line; the program alone shows
// its usage.
TEST(BreloAdmCli, MissingRequiredOptionsAreNamed) {
    const std::string dir = admtest::MakeScratchDir("cli_usage");
    SResult r = RunAdm(dir, {"-Fa", "-N3"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err,
              "Missing option(s): -A<ploidy>, -L<loci>, -K<k>, -T<degree>, -P<psi>, "
              "-D<lambda>, -S<sweeps>, -B<burn-in> (breloAdm --help lists them all).\n");
    EXPECT_FALSE(HasUsage(r.out));
    r = RunAdm(dir, {"-Fa", "-N3", "-A2", "-L1", "-K2", "-T1", "-P0.5", "-D1", "-S10"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Missing option(s): -B<burn-in> (breloAdm --help lists them all).\n");
    r = RunAdm(dir, {});
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(HasUsage(r.out));
    EXPECT_TRUE(Contains(r.out, "-bs<n>:       Burn-In Structure, Default: 0"));
}

// An unknown option is named as written, in one line, with the nearest
// known ones; a switch is its name alone (-upq, -jointly, -jkx are not
// -up<y|n>, -joint, -jk).
TEST(BreloAdmCli, UnknownOptionsAreNamed) {
    const std::string dir = admtest::MakeScratchDir("cli_unknown");
    for (const std::string bad : {"-uq", "-q3", "-jx", "-bx", "-rex", "-rcq", "-spz", "-sz", "-upq",
                                  "-upyes", "-jkx", "-refs", "-anc2", "-anc"}) {
        SResult r = RunAdm(dir, Sim2pop({bad}));
        EXPECT_EQ(r.status, 1) << bad;
        EXPECT_EQ(r.err.rfind("Unknown Option - " + bad + ": the nearest known option", 0), 0u)
            << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(HasUsage(r.out)) << bad;
    }
    const std::vector<std::pair<std::string, std::string>> nearest = {
        {"-jointly", "are -joint1, -joint0 and -j<y|n> (breloAdm --help lists them all)."},
        {"-qdraws", "are -qdraw, -qmove1 and -qmove0 "},
        {"-foo", "are -fvcf, -fplink and -fgenepop"},
        {"-spz", " -sp<y|n>"},
        {"-upyes", " -up<y|n>"}};
    for (const auto& [bad, shown] : nearest) {
        SResult r = RunAdm(dir, Sim2pop({bad}));
        EXPECT_EQ(r.status, 1);
        EXPECT_TRUE(Contains(r.err, shown)) << r.err;
    }
}

TEST(BreloAdmCli, ModelSettingRefusalsWithTheirStreams) {
    const std::string dir = admtest::MakeScratchDir("cli_model");
    SResult r = RunAdm(dir, Sim2pop({"-rcy", "-A1"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Dominant markers allowed for diploid individuals only ...\n");
    EXPECT_FALSE(HasUsage(r.out));
    for (const std::string psi : {"-P1", "-P1.5"}) {
        r = RunAdm(dir, Sim2pop({psi}));
        EXPECT_EQ(r.status, 1);
        EXPECT_EQ(r.err, "The spatial interaction parameter must be stricly inferior to 1.\n");
        EXPECT_FALSE(HasUsage(r.out));
    }
    // -P-0.5 passes; the trend degree is checked next.
    r = RunAdm(dir, Sim2pop({"-P-0.5", "-T-1"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "The trend degree must be in {0,1,2,3}.\n");
    EXPECT_FALSE(HasUsage(r.out));
    r = RunAdm(dir, Sim2pop({"-n3", "-orun7"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "Number of variables in the regression must be in {0,1,2}\n");
    EXPECT_TRUE(Contains(r.out, "RUN= 7\n"));
    EXPECT_FALSE(HasUsage(r.out));
}

TEST(BreloAdmCli, CountsThatMakeNoSenseAreRefusedBeforeAnyWork) {
    const std::string dir = DirWith("cli_counts", "sim2pop.txt");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"-N0"}, "-N"},
        {{"-N1"}, "at least 2 individuals (-N)"},
        {{"-A0"}, "-A"},
        {{"-L-2"}, "-L"},
        {{"-K0"}, "-K"},
        {{"-S0"}, "-S"},
        {{"-B-1"}, "-B"},
        {{"-B40"}, "-B"},
        {{"-D0"}, "-D"},
        {{"-Dabc"}, "-D"},
        {{"-x0"}, "-x"},
        {{"-sg1"}, "-sg"},
        {{"-sg0,1"}, "-sg"},
        {{"-sg1,x"}, "-sg"},
        {{"-sg,1"}, "-sg"},
        {{"-bg-1"}, "-bg"},
        {{"-bgx"}, "-bg"},
        {{"-bg"}, "-bg"},
        {{"-jy", "-K1"}, "-jy"},
        {{"-jk", "-K1"}, "The k-means initialisation (-jk) needs at least 2 clusters (-K)."},
        {{"-jy", "-jk"}, "Options -jy and -jk both choose the starting labels"},
        {{"-d-1"}, "-d"},
        {{"-mmap.asc", "-n1"}, "-n1"},
        {{"-onowhere"}, "Cannot write the result files in folder nowhere"},
        {{"-orun/x"}, "Cannot write the result files in folder run/x"},
        {{"-Pabc"}, "Option -P needs a finite number, not 'abc'."},
        {{"-S"}, "Option -S needs a whole number."},
        {{"-K261"}, "(-K261) must not exceed the 260 allele copies of the data (-N130 x -A2)"},
        {{"-K257"}, "one byte: -K must be at most 256."},
        {{"-S2147483647"}, "The traces of 2147483647 sweeps (-S) need"}};
    for (const auto& c : cases) {
        SResult r = RunAdm(dir, Sim2pop(c.first));
        EXPECT_EQ(r.status, 1) << c.second;
        EXPECT_TRUE(Contains(r.err, c.second)) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
        EXPECT_FALSE(HasUsage(r.out)) << c.second;
    }
    EXPECT_FALSE(FileExists(dir + "/sim2pop.txtVC"));
    EXPECT_FALSE(FileExists(dir + "/sim2pop.txtMDIC_admCAR_K2"));
}

TEST(BreloAdmCli, OutputNamesFollowFolderAndRunLabel) {
    const std::string dir = DirWith("cli_names", "sim2pop.txt");
    const std::string out = admtest::MakeScratchDir("cli_names_out");
    SResult r = RunAdm(dir, Sim2pop({"-o" + out, "-orun3"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "RUN= 3\n"));
    ExpectAllResults(out + "/sim2pop.txt_RUN3_", dir + "/sim2pop.txt");
    EXPECT_FALSE(FileExists(out + "/sim2pop.txtVD.png"));
    EXPECT_FALSE(FileExists(out + "/sim2pop.txt_RUN3_MDIC_admCAR"));
    EXPECT_TRUE(Contains(r.out, "This run took "));
    EXPECT_TRUE(Contains(r.out, "0040 sweeps completed.") == false);  // 40 < 100
    // An empty run label adds nothing.
    r = RunAdm(dir, Sim2pop({"-orun"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Contains(r.out, "RUN="));
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txtDIC.txt"));
}

TEST(BreloAdmCli, ScaleOptionWithoutDistanceFileHasNoEffect) {
    const std::string a = DirWith("cli_sc_a", "sim2pop.txt");
    const std::string b = DirWith("cli_sc_b", "sim2pop.txt");
    ASSERT_EQ(RunAdm(a, Sim2pop({})).status, 0);
    ASSERT_EQ(RunAdm(b, Sim2pop({"-scd"})).status, 0);
    EXPECT_EQ(ReadFile(a + "/sim2pop.txtDIC.txt"), ReadFile(b + "/sim2pop.txtDIC.txt"));
    EXPECT_EQ(ReadFile(a + "/sim2pop.txtTR.txt"), ReadFile(b + "/sim2pop.txtTR.txt"));
}

TEST(BreloAdmCli, ReportLayoutAndCriteria) {
    const std::string dir = DirWith("cli_report", "sim2pop.txt");
    ASSERT_EQ(RunAdm(dir, Sim2pop({"-XL1", "-c1"})).status, 0);
    const std::string tr = ReadFile(dir + "/sim2pop.txtTR.txt");
    EXPECT_EQ(tr.rfind("Estimated Clustering Probabilities for Samples\nSample\t***Cluster  01***\t"
                       "***Cluster  02***\t\n000001:\t",
                       0),
              0u);
    for (const char* section :
         {"Estimated Allele Frequencies\nCluster 01\nLocus 001\nAllele 001\t",
          "Estimated Mixing Proportions\n", "Estimated Beta and Significance Level:\n",
          "95 % Bayesian Confidence Interval for Estimated Beta:\n", "Estimated sigma: \nk: 0\t",
          "Estimated psi: \nk: 0\t0.600000000000000\n"})
        EXPECT_TRUE(Contains(tr, section)) << section;
    // The qualitative covariate adds its predictive table and chart.
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txtPPMvar1.txt"));
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txtPPMqual.png"));
    // DIC = D-bar + pD, so DIC - PD is the same D-bar for the first two.
    const double dic = ReadNumber(dir + "/sim2pop.txtDIC.txt");
    const double dic2 = ReadNumber(dir + "/sim2pop.txtDIC2.txt");
    const double pd = ReadNumber(dir + "/sim2pop.txtPD.txt");
    const double pd2 = ReadNumber(dir + "/sim2pop.txtPD2.txt");
    EXPECT_NEAR(dic - pd, dic2 - pd2, 1e-3 * std::fabs(dic));
    EXPECT_GT(dic, 0.0);
    // Predictive shares: every row of the table sums to 1.
    std::istringstream ppm(ReadFile(dir + "/sim2pop.txtPPM.txt"));
    std::string line;
    int rows = 0;
    while (std::getline(ppm, line)) {
        if (line.size() < 7 || line[6] != ':')
            continue;
        std::istringstream fields(line.substr(7));
        double a = 0, b = 0;
        fields >> a >> b;
        EXPECT_NEAR(a + b, 1.0, 1e-9) << line;
        ++rows;
    }
    EXPECT_EQ(rows, 130);
}

// Each option runs end to end on small data and writes every file.
TEST(BreloAdmCli, OptionsRunEndToEnd) {
    const std::string dir = DirWith("cli_options", "sim2pop.txt");
    // Distances between the individuals, from their coordinates.
    std::vector<std::pair<double, double>> xy;
    {
        std::istringstream is(ReadFile(dir + "/sim2pop.txt"));
        std::string id;
        double pop, x, y;
        std::string rest;
        while (is >> id >> pop >> x >> y && std::getline(is, rest)) {
            xy.push_back({x, y});
            std::getline(is, rest);  // second copy
        }
    }
    ASSERT_EQ(xy.size(), 130u);
    {
        std::ofstream os(dir + "/geo.txt");
        for (const auto& a : xy) {
            for (const auto& b : xy)
                os << std::hypot(a.first - b.first, a.second - b.second) << " ";
            os << "\n";
        }
    }
    const std::vector<std::vector<std::string>> variants = {{"-jy", "-orunj"},
                                                            {"-jk", "-orunjk"},
                                                            {"-sy", "-oruns"},
                                                            {"-upy", "-sg3,0.5", "-orunup"},
                                                            {"-un", "-orunun"},
                                                            {"-bs15", "-orunbs"},
                                                            {"-ggeo.txt", "-sc12.5", "-orung"},
                                                            {"-ggeo.txt", "-scx", "-orungx"},
                                                            {"-T2", "-orunT2"},
                                                            {"-joint0", "-bg0", "-orunsingle"}};
    for (const auto& v : variants) {
        SResult r = RunAdm(dir, Sim2pop(v));
        EXPECT_EQ(r.status, 0) << v[0] << "\n" << r.err;
        EXPECT_EQ(Contains(r.out, "Starting labels from k-means"), v[0] == "-jk") << v[0];
        const std::string prefix = dir + "/sim2pop.txt_RUN" + v.back().substr(5) + "_";
        ExpectAllResults(prefix, dir + "/sim2pop.txt");
        // The joint moves (the default route) report their acceptance rates.
        const std::string tr = ReadFile(prefix + "TR.txt");
        EXPECT_EQ(Contains(tr, "\nlevel shift\t"), v[0] != "-joint0") << v[0];
        EXPECT_EQ(Contains(tr, "\nfield scale[2]\t"), v[0] != "-joint0" && v[0] != "-un") << v[0];
        // The flat prior of -bg0 is named improper, once.
        const size_t note = r.err.find("no proper posterior");
        EXPECT_EQ(note != std::string::npos, v[0] == "-joint0") << v[0] << "\n" << r.err;
        if (note != std::string::npos) {
            EXPECT_EQ(r.err.find("no proper posterior", note + 1), std::string::npos);
        }
    }
}

TEST(BreloAdmCli, RecessiveAllelesRunEndToEnd) {
    const std::string dir = admtest::MakeScratchDir("cli_recessive");
    admtest::WriteDominantData(dir + "/dom.txt");
    SResult r = RunAdm(dir, {"-Fdom.txt", "-N40", "-A2", "-L6", "-K2", "-T1", "-P0.6", "-D1",
                             "-S40", "-B10", "-rcy"});
    EXPECT_EQ(r.status, 0) << r.err;
    ExpectAllResults(dir + "/dom.txt", dir + "/dom.txt");
}

// The best-run record keeps the lowest DIC with its continuation file, and a
// continuation file restarts a chain where it stood.
TEST(BreloAdmCli, BestRunRecordAndContinuation) {
    const std::string dir = DirWith("cli_best", "sim2pop.txt");
    const std::string record = dir + "/sim2pop.txtMDIC_admCAR_K2";
    const std::string cf = dir + "/sim2pop.txtCFadmCAR_K2";
    ASSERT_EQ(RunAdm(dir, Sim2pop({}, 300, 100)).status, 0);
    const INT_VCTR hc = HardClusters(dir + "/sim2pop.txtTR.txt");
    ASSERT_EQ(hc.size(), 130u);
    ASSERT_TRUE(FileExists(cf));
    std::istringstream rec(ReadFile(record));
    double dic = 0;
    rec >> dic;
    EXPECT_NEAR(dic, ReadNumber(dir + "/sim2pop.txtDIC.txt"), 1e-5 * std::fabs(dic));

    // Two sweeps from the continuation file keep the memberships of the
    // earlier run, labels included; two sweeps from a random start do not.
    SResult r = RunAdm(dir, Sim2pop({"-psim2pop.txtCFadmCAR_K2", "-orunp"}, 2, 1));
    ASSERT_EQ(r.status, 0) << r.err;
    const double continued = Agreement(hc, HardClusters(dir + "/sim2pop.txt_RUNp_TR.txt"));
    r = RunAdm(dir, Sim2pop({"-orunr"}, 2, 1));
    ASSERT_EQ(r.status, 0) << r.err;
    const double fresh = Agreement(hc, HardClusters(dir + "/sim2pop.txt_RUNr_TR.txt"));
    EXPECT_GT(continued, 0.95);
    EXPECT_LT(std::max(fresh, 1 - fresh), 0.8);

    // A record with a lower DIC than any run is left untouched, with its
    // continuation file.
    std::ofstream(record) << "-1e+09 1 1 ";
    std::ofstream(cf) << "kept";
    ASSERT_EQ(RunAdm(dir, Sim2pop({})).status, 0);
    EXPECT_EQ(ReadFile(record), "-1e+09 1 1 ");
    EXPECT_EQ(ReadFile(cf), "kept");
    // A record with a higher DIC is replaced, continuation file included.
    std::ofstream(record) << "1e+300 1 1 ";
    ASSERT_EQ(RunAdm(dir, Sim2pop({})).status, 0);
    EXPECT_NE(ReadFile(record), "1e+300 1 1 ");
    EXPECT_NE(ReadFile(cf), "kept");
}

// One pair per K: a run with another K neither compares itself with nor
// replaces the pair of K = 2; a pair from before K was in the names is the
// record of the K its continuation file holds.
TEST(BreloAdmCli, EachNumberOfClustersKeepsItsOwnBestRun) {
    const std::string dir = DirWith("cli_bestK", "sim2pop.txt");
    const std::string prefix = dir + "/sim2pop.txt";
    ASSERT_EQ(RunAdm(dir, Sim2pop({})).status, 0);
    const std::string record2 = ReadFile(prefix + "MDIC_admCAR_K2");
    const std::string cf2 = ReadFile(prefix + "CFadmCAR_K2");
    // A K = 3 record can be worse than the K = 2 one and is still kept.
    std::vector<std::string> k3 = Sim2pop({});
    k3[4] = "-K3";
    ASSERT_EQ(RunAdm(dir, k3).status, 0);
    EXPECT_EQ(ReadFile(prefix + "MDIC_admCAR_K2"), record2);
    EXPECT_EQ(ReadFile(prefix + "CFadmCAR_K2"), cf2);
    EXPECT_EQ(ReadFile(prefix + "CFadmCAR_K3").rfind("3 20 ", 0), 0u);
    SResult continued = RunAdm(dir, Sim2pop({"-psim2pop.txtCFadmCAR_K2", "-orunp"}, 2, 1));
    ASSERT_EQ(continued.status, 0);
    EXPECT_FALSE(Contains(continued.err, "conflicts")) << continued.err;

    // An older pair of K = 2 with a DIC no run reaches stays the record of
    // K = 2; a K = 3 run does not take it for its own.
    const std::string legacy = DirWith("cli_bestOld", "sim2pop.txt");
    const std::string old = legacy + "/sim2pop.txt";
    std::ofstream(old + "MDIC_admCAR") << "-1e+09 1 1 ";
    std::ofstream(old + "CFadmCAR") << ReadFile(prefix + "CFadmCAR_K2");
    ASSERT_EQ(RunAdm(legacy, Sim2pop({})).status, 0);
    EXPECT_FALSE(FileExists(old + "MDIC_admCAR_K2"));
    ASSERT_EQ(RunAdm(legacy, k3).status, 0);
    EXPECT_TRUE(FileExists(old + "MDIC_admCAR_K3"));
    EXPECT_EQ(ReadFile(old + "MDIC_admCAR"), "-1e+09 1 1 ");
}

TEST(BreloAdmCli, MapPredictionOnTheElevationRaster) {
    const std::string dir = DirWith("cli_map", "rupica.txt");
    admtest::CopyFile(std::string(BRELO_TEST_DATA_DIR) + "/rupica_elevation.asc",
                      dir + "/rupica_elevation.asc");
    const std::vector<std::string> rupica = {
        "-Frupica.txt", "-N335", "-A2",  "-L9",  "-K3", "-T1",
        "-P0.6",        "-D1",   "-S30", "-B10", "-c2", "-mrupica_elevation.asc"};
    SResult r = RunAdm(dir, rupica);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.out, "Prediction started ...\n"));
    EXPECT_TRUE(Contains(r.out, "Prediction took "));
    // The raster's no-data cells, in reading order.
    std::istringstream map(ReadFile(dir + "/rupica_elevation.asc"));
    std::string key;
    double ncol, nrow, v;
    map >> key >> ncol >> key >> nrow;
    for (int t = 0; t < 4; ++t)
        map >> key >> v;
    std::vector<bool> noData;
    while (map >> v)
        noData.push_back(v == -9999);
    ASSERT_EQ(noData.size(), static_cast<size_t>(ncol * nrow));
    std::vector<std::vector<double>> values(3);
    for (int k = 0; k < 3; ++k) {
        std::istringstream is(
            ReadFile(dir + "/rupica.txtPrediction_cluster_" + std::to_string(k + 1) + ".txt"));
        std::string header;
        for (int t = 0; t < 6; ++t) {
            is >> key >> header;
            EXPECT_EQ(key[0], '#');
        }
        while (is >> v)
            values[k].push_back(v);
        ASSERT_EQ(values[k].size(), noData.size());
    }
    for (size_t c = 0; c < noData.size(); ++c) {
        if (noData[c]) {
            for (int k = 0; k < 3; ++k)
                EXPECT_EQ(values[k][c], -9999);
        } else {
            EXPECT_NEAR(values[0][c] + values[1][c] + values[2][c], 1.0, 2e-5) << c;
        }
    }
    // Covariate options on the command line, even -X0, block the prediction.
    const std::string blocked = DirWith("cli_map_x", "rupica.txt");
    std::vector<std::string> withX = rupica;
    withX.push_back("-X0");
    r = RunAdm(blocked, withX);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(Contains(r.err, "option -mrupica_elevation.asc ignored (use R scripts")) << r.err;
    EXPECT_FALSE(FileExists(blocked + "/rupica.txtPrediction_cluster_1.txt"));
}

TEST(BreloAdmCli, UnreadableOrTruncatedMapsAreRefused) {
    const std::string dir = DirWith("cli_badmap", "sim2pop.txt");
    std::ofstream(dir + "/short.asc") << "ncols 3\nnrows 2\nxllcenter 0\nyllcenter 0\n"
                                         "cellsize 1\nNODATA_value -9\n1 2 3\n4 5\n";
    SResult r = RunAdm(dir, Sim2pop({"-mshort.asc"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Cannot read the cells of map short.asc")) << r.err;
    EXPECT_TRUE(Contains(r.err, " - LoadMap")) << r.err;
    r = RunAdm(dir, Sim2pop({"-mnothere.asc", "-orunb"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(Contains(r.err, "Cannot open file nothere.asc - LoadMap")) << r.err;
    // The results were written before the map was read.
    EXPECT_TRUE(FileExists(dir + "/sim2pop.txt_RUNb_DIC.txt"));
}

// A result file that cannot be written (a full disk) ends the run with one
// line and exit status 1, and so does a best-run pair that cannot be.
TEST(BreloAdmCli, AResultFileThatCannotBeWrittenEndsTheRun) {
    const std::string dir = DirWith("cli_fulldisk", "sim2pop.txt");
    std::filesystem::create_symlink("/dev/full", dir + "/sim2pop.txtDIC.txt");
    SResult r = RunAdm(dir, Sim2pop({}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err,
                         "\nCannot write file sim2pop.txtDIC.txt - WriteValue (is the disk "
                         "full, or the folder gone?)\n"))
        << r.err;
    EXPECT_FALSE(FileExists(dir + "/sim2pop.txtMDIC_admCAR_K2"));
    // A record that cannot take its place (here a folder of its name).
    std::filesystem::remove(dir + "/sim2pop.txtDIC.txt");
    std::filesystem::create_directory(dir + "/sim2pop.txtMDIC_admCAR_K2");
    r = RunAdm(dir, Sim2pop({}));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Contains(r.err,
                         "\nCannot rename sim2pop.txtMDIC_admCAR_K2.tmp to "
                         "sim2pop.txtMDIC_admCAR_K2 - WriteBestRun\n"))
        << r.err;
}

// Without covariates or trend the predicted proportions are the same for
// everyone: no correlation is printed, COR.txt reads NA. The report goes to
// standard output, the messages to standard error, each once.
TEST(BreloAdmCli, NoCorrelationWithoutCovariatesAndMessagesOnStandardError) {
    const std::string dir = DirWith("nocovariates", "sim2pop.txt");
    std::vector<std::string> args = Sim2pop({});
    for (std::string& a : args)
        if (a == "-T1")
            a = "-T0";
    const SResult r = RunAdm(dir, args);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_FALSE(Contains(r.out, "Correlation between")) << r.out;
    EXPECT_EQ(ReadFile(dir + "/sim2pop.txtCOR.txt"), "NA");
    const std::string warning = "Warning: the chain has not mixed";
    EXPECT_FALSE(Contains(r.out, warning)) << r.out;
    ASSERT_TRUE(Contains(r.err, warning)) << r.err;
    EXPECT_EQ(r.err.find(warning), r.err.rfind(warning));
    EXPECT_TRUE(Contains(r.err, "look at LH.png and BH.png.")) << r.err;
}

// A continuation file whose coefficient overflows the exponential of the
// trend is refused, naming file and value; the run starts afresh and its
// results hold numbers, not inf or NaN.
TEST(BreloAdmCli, AContinuationFileWhoseTrendOverflowsIsRefused) {
    const std::string dir = DirWith("cli_cf_overflow", "sim2pop.txt");
    ASSERT_EQ(RunAdm(dir, Sim2pop({}, 40, 10)).status, 0);
    // The file ends with the K x B coefficients (B = 3 with -T1), then K sigmas.
    std::istringstream in(ReadFile(dir + "/sim2pop.txtCFadmCAR_K2"));
    std::vector<std::string> values;
    for (std::string v; in >> v;)
        values.push_back(v);
    ASSERT_GT(values.size(), 8u);
    values[values.size() - 8] = "1e308";
    std::ofstream cf(dir + "/big.cf");
    for (const std::string& v : values)
        cf << v << " ";
    cf.close();
    const SResult r = RunAdm(dir, Sim2pop({"-pbig.cf", "-orunbig"}, 20, 5));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(
        Contains(r.err, "The coefficient beta of cluster 1, coefficient 1 in big.cf (1e+308)"))
        << r.err;
    for (const char* suffix : {"TR.txt", "DIC.txt", "Q.txt", "betaHat.txt"}) {
        const std::string text = ReadFile(dir + "/sim2pop.txt_RUNbig_" + suffix);
        EXPECT_EQ(text.find("nan"), std::string::npos) << suffix;
        EXPECT_EQ(text.find("inf"), std::string::npos) << suffix;
    }
}

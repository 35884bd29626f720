// brelo -predict: a round trip from coefficients estimated by brelo, the
// coefficients a trend degree uses, qualitative levels, and the refusals.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "brelo/BreloSimulation.h"
#include "cli/BreloCli.h"
#include "io/ResultReport.h"

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

void WriteText(const std::string& file, const std::string& text) {
    std::ofstream(file) << text;
}

// Every row of a prediction table without admixture: shares of ten draws.
void ExpectTenthsSummingToOne(const DBL_VCTR_2D& table) {
    for (const DBL_VCTR_1D& row : table) {
        double sum = 0;
        for (double x : row) {
            EXPECT_NEAR(x * 10, std::round(x * 10), 1e-9);
            sum += x;
        }
        EXPECT_NEAR(sum, 1.0, 1e-9);
    }
}

TEST(BreloPredictCli, RoundTripFromEstimatedCoefficients) {
    const std::string dir = FreshFolder("predict_roundtrip");
    SSimulatedData d;
    d.N = 300;
    d.L = 15;
    SimulateProbitLabels(d, 0.5, 1.5, 21);
    SimulateGenotypes(d, 6, 0.5, 22);
    WriteSimulatedData(d, dir + "/est.txt");
    SCliResult est = RunBreloIn(dir, "-Fest.txt -N300 -A2 -L15 -K2 -D1 -S400 -B100 -T-1 -X1 -XL0");
    ASSERT_EQ(est.status, 0) << est.output;

    // The cluster that holds the individuals of cluster 0 of the truth.
    INT_VCTR_1D hc;
    HardAssignment(ReadMembershipTable(dir + "/est.txtAP.txt"), hc);
    int agree = 0;
    for (int i = 0; i < d.N; ++i)
        agree += hc[i] == d.z[i];
    const int highCluster = agree > d.N / 2 ? 0 : 1;

    // Three new individuals at each end of the covariate's range, after an
    // id column and a header line.
    WriteText(dir + "/new.txt", "id x\na -2\nb -1.9\nc -2\nd 2\ne 1.9\nf 2\n");
    SCliResult pred = RunBreloIn(dir,
                                 "-predict -BETAest.txtbetaHat.txt -newFnew.txt -newN6 -newR1 "
                                 "-newC1 -K2 -T-1 -X1 -XL0 -admn -opred");
    ASSERT_EQ(pred.status, 0) << pred.output;
    std::vector<std::string> lines = ReadLines(dir + "/pred.txt");
    ASSERT_GE(lines.size(), 8u);
    EXPECT_EQ(lines[0], "Predicted Clustering Probabilities for Samples");
    EXPECT_EQ(lines[1], "Sample\t***Cluster  01***\t***Cluster  02***\t");
    EXPECT_EQ(lines[2].rfind("000001:\t", 0), 0u);
    DBL_VCTR_2D table = ReadMembershipTable(dir + "/pred.txt");
    ASSERT_EQ(table.size(), 6u);
    ExpectTenthsSummingToOne(table);
    for (int i = 0; i < 3; ++i)
        EXPECT_GE(table[i][1 - highCluster], 0.9) << "low end, row " << i;
    for (int i = 3; i < 6; ++i)
        EXPECT_GE(table[i][highCluster], 0.9) << "high end, row " << i;
    EXPECT_TRUE(FileExists(dir + "/pred.png"));
}

// New individuals with coordinates (x, y); coefficients written by hand so
// that the latitude alone decides.
TEST(BreloPredictCli, TheTrendDegreeSetsTheCoefficientsUsed) {
    const std::string dir = FreshFolder("predict_trend");
    WriteText(dir + "/new.txt", "0 5\n0 -5\n");
    WriteText(dir + "/beta3.txt", "0 0 100\n");  // intercept, x, y
    SCliResult t1 = RunBreloIn(dir,
                               "-predict -BETAbeta3.txt -newFnew.txt -newN2 -K2 -T1 -X0 -XL0 "
                               "-admn -ot1 -plotn");
    ASSERT_EQ(t1.status, 0) << t1.output;
    DBL_VCTR_2D table = ReadMembershipTable(dir + "/t1.txt");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_EQ(table[0], (DBL_VCTR_1D{1.0, 0.0}));
    EXPECT_EQ(table[1], (DBL_VCTR_1D{0.0, 1.0}));
    EXPECT_FALSE(FileExists(dir + "/t1.png"));

    // Degree 0 uses the intercept only: three coefficients are too many.
    SCliResult t0 = RunBreloIn(dir,
                               "-predict -BETAbeta3.txt -newFnew.txt -newN2 -K2 -T0 -X0 -XL0 "
                               "-admn -ot0");
    EXPECT_EQ(t0.status, 1);
    EXPECT_TRUE(Contains(t0.output, "1 vs 3"));
    EXPECT_FALSE(FileExists(dir + "/t0.txt"));

    // Degree 3 uses all ten columns; the y^3 coefficient decides.
    WriteText(dir + "/beta10.txt", "0 0 0 0 0 0 0 0 0 0\n0 0 0 0 0 0 0 -1 0 0\n");
    SCliResult t3 = RunBreloIn(dir,
                               "-predict -BETAbeta10.txt -newFnew.txt -newN2 -K3 -T3 -X0 -XL0 "
                               "-admn -ot3");
    ASSERT_EQ(t3.status, 0) << t3.output;
    DBL_VCTR_2D t3table = ReadMembershipTable(dir + "/t3.txt");
    ASSERT_EQ(t3table.size(), 2u);
    EXPECT_EQ(t3table[1][1], 1.0);  // y = -5: -y^3 large for cluster 2
    ExpectTenthsSummingToOne(t3table);
    SCliResult t1with10 = RunBreloIn(dir,
                                     "-predict -BETAbeta10.txt -newFnew.txt -newN2 -K3 -T1 -X0 "
                                     "-XL0 -admn");
    EXPECT_EQ(t1with10.status, 1);
    EXPECT_TRUE(Contains(t1with10.output, "3 vs 10"));
    // Fewer coefficients than the options describe: the options are not those
    // of the estimating run, and the prediction is refused.
    SCliResult t2with3 = RunBreloIn(dir,
                                    "-predict -BETAbeta3.txt -newFnew.txt -newN2 -K2 -T2 -X0 "
                                    "-XL0 -admn -ot2");
    EXPECT_EQ(t2with3.status, 1);
    EXPECT_TRUE(Contains(t2with3.output,
                         "holds 3 coefficient(s) per cluster where -X, -XL and "
                         "-T give 6"));
    EXPECT_FALSE(FileExists(dir + "/t2.txt"));
}

TEST(BreloPredictCli, QualitativeLevelsComeFromTheEstimationData) {
    const std::string dir = FreshFolder("predict_qual");
    // Estimation file: one qualitative covariate (levels 3, 5, 7) and two loci.
    std::string data;
    for (int i = 0; i < 6; ++i)
        for (int a = 0; a < 2; ++a)
            data += std::to_string(3 + 2 * (i % 3)) + " 1 2\n";
    WriteText(dir + "/est.txt", data);
    // Intercept and the two columns of the levels: level 7 favours cluster 0.
    WriteText(dir + "/beta.txt", "0 -50 50\n");
    const std::string common =
        "-predict -BETAbeta.txt -newFnew.txt -newN3 -K2 -T-1 -X0 -XL1 -admn -Fest.txt -N6 -A2 -L2 ";
    WriteText(dir + "/new.txt", "3\n5\n7\n");
    SCliResult ok = RunBreloIn(dir, common + "-oq");
    ASSERT_EQ(ok.status, 0) << ok.output;
    DBL_VCTR_2D table = ReadMembershipTable(dir + "/q.txt");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1], (DBL_VCTR_1D{0.0, 1.0}));  // level 5: (1, 0) coding
    EXPECT_EQ(table[2], (DBL_VCTR_1D{1.0, 0.0}));  // level 7: (0, 1)

    WriteText(dir + "/new.txt", "3\n9\n7\n");
    SCliResult absent = RunBreloIn(dir, common + "-oabsent");
    EXPECT_EQ(absent.status, 1);
    EXPECT_TRUE(Contains(absent.output,
                         "Unknown level 9 of qualitative covariate 1 in new.txt, "
                         "row 2 (absent from the estimation data) - LoadNewData"))
        << absent.output;
    EXPECT_FALSE(FileExists(dir + "/absent.txt"));

    SCliResult noData = RunBreloIn(dir,
                                   "-predict -BETAbeta.txt -newFnew.txt -newN3 -K2 -T-1 -X0 "
                                   "-XL1 -admn");
    EXPECT_EQ(noData.status, 1);
    EXPECT_TRUE(Contains(noData.output, "With qualitative covariates, more parameters"));
}

// A run on a GENEPOP or VCF file takes its covariates from the -C table;
// prediction reads the levels the same way, from the table's rows of the
// file's individuals (a row of another id is not used).
TEST(BreloPredictCli, QualitativeLevelsComeFromTheSideTableOfAFormat) {
    const std::string dir = FreshFolder("predict_side");
    std::string gen = "title\nloc1\nloc2\nPop\n";
    std::string side = "id\thabitat\n";
    for (int i = 0; i < 6; ++i) {
        gen += "ind" + std::to_string(i) + " , 0101 0202\n";
        side += "ind" + std::to_string(i) + "\t" + std::to_string(3 + 2 * (i % 3)) + "\n";
    }
    side += "stranger\t11\n";  // level 11 is not one of the data's
    WriteText(dir + "/est.gen", gen);
    WriteText(dir + "/side.txt", side);
    WriteText(dir + "/beta.txt", "0 -50 50\n");
    WriteText(dir + "/new.txt", "3\n5\n7\n");
    const std::string common =
        "-predict -BETAbeta.txt -newFnew.txt -newN3 -K2 -T-1 -X0 -XL1 -admn -Fest.gen -fgenepop "
        "-Cside.txt ";
    SCliResult ok = RunBreloIn(dir, common + "-oq");
    ASSERT_EQ(ok.status, 0) << ok.output;
    DBL_VCTR_2D table = ReadMembershipTable(dir + "/q.txt");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table[1], (DBL_VCTR_1D{0.0, 1.0}));  // level 5: (1, 0) coding
    EXPECT_EQ(table[2], (DBL_VCTR_1D{1.0, 0.0}));  // level 7: (0, 1)

    WriteText(dir + "/new.txt", "3\n11\n7\n");
    SCliResult stranger = RunBreloIn(dir, common + "-ostranger");
    EXPECT_EQ(stranger.status, 1);
    EXPECT_TRUE(Contains(stranger.output, "Unknown level 11 of qualitative covariate 1"))
        << stranger.output;
    SCliResult noTable =
        RunBreloIn(dir,
                   "-predict -BETAbeta.txt -newFnew.txt -newN3 -K2 -T-1 -X0 -XL1 -admn -Fest.gen "
                   "-fgenepop");
    EXPECT_EQ(noTable.status, 1);
    EXPECT_TRUE(Contains(noTable.output, "(-C<file>) are needed")) << noTable.output;
}

TEST(BreloPredictCli, AdmixtureCoefficientsGiveOneDirichletDrawPerRow) {
    const std::string dir = FreshFolder("predict_adm");
    WriteText(dir + "/new.txt", "0.5\n-0.5\n1\n");
    WriteText(dir + "/beta.txt", "0.1 1\n0.2 -1\n0.3 0\n");  // K lines of breloAdm
    SCliResult r = RunBreloIn(dir,
                              "-predict -BETAbeta.txt -newFnew.txt -newN3 -K3 -T-1 -X1 -XL0 "
                              "-admy -Oadm");
    ASSERT_EQ(r.status, 0) << r.output;
    for (const DBL_VCTR_1D& row : ReadMembershipTable(dir + "/adm.txt")) {
        ASSERT_EQ(row.size(), 3u);
        EXPECT_NEAR(row[0] + row[1] + row[2], 1.0, 1e-9);
    }
}

TEST(BreloPredictCli, RefusalsExitWithStatusOne) {
    const std::string dir = FreshFolder("predict_refusals");
    WriteText(dir + "/new.txt", "1\n2\n");
    WriteText(dir + "/beta.txt", "0.5 1\n");
    const std::string base = "-predict -BETAbeta.txt -newFnew.txt -newN2 -X1 -XL0 ";
    const std::pair<std::string, std::string> cases[] = {
        {base + "-K2 -T-1", "Missing option(s): -adm<y|n> (brelo -predict --help lists them all)."},
        {base + "-K2 -admn", "Missing option(s): -T<degree>"},
        {base + "-K2 -T5 -admn", "The trend degree must be in {-1,0,1,2,3}"},
        {base + "-K1 -T-1 -admn", "Uninitialized beta - LoadBeta"},
        {"-predict -BETAnone.txt -newFnew.txt -newN2 -X1 -XL0 -K2 -T-1 -admn",
         "Cannot open file none.txt - LoadBeta"},
        {"-predict -BETAbeta.txt -newFnone.txt -newN2 -X1 -XL0 -K2 -T-1 -admn",
         "Cannot open file none.txt - LoadNewData"},
        {base + "-K2 -T-1 -admx", "Unknown Option - -admx: the nearest known option is -adm<y|n>"},
        {base + "-K2 -T-1 -admn -Bx",
         "Unknown Option - -Bx: the nearest known option is "
         "-BETA<file>"},
        {base + "-K2 -T-1 -admn -ploty2",
         "Unknown Option - -ploty2: the nearest known option "
         "is -plot<y|n>"},
        {base + "-K2 -T-1 -admn -S100",
         "Unknown Option - -S100: the nearest known option is "
         "-sp<y|n>"},
        {base + "-K2 -T-1 -admn -newX5",
         "Unknown Option - -newX5: the nearest known options are "
         "-newF<file>, -newN<n> and -newC<n>"},
        {base + "-K0 -T-1 -admn", "number of clusters (-K) must be at least 1"},
    };
    for (const auto& c : cases) {
        SCliResult r = RunBreloIn(dir, c.first);
        EXPECT_EQ(r.status, 1) << c.first;
        EXPECT_TRUE(Contains(r.output, c.second)) << c.first << "\n" << r.output;
    }
    // Two coefficients per cluster for a design of intercept + one
    // covariate: accepted; three are too many.
    WriteText(dir + "/beta3.txt", "0.5 1 2\n");
    SCliResult vs = RunBreloIn(dir,
                               "-predict -BETAbeta3.txt -newFnew.txt -newN2 -X1 -XL0 -K2 -T-1 "
                               "-admn");
    EXPECT_EQ(vs.status, 1);
    EXPECT_TRUE(Contains(vs.output, "2 vs 3"));
    std::vector<std::string> files = FolderFiles(dir);
    EXPECT_EQ(files.size(), 3u);  // nothing written by the refused runs
}

}  // namespace

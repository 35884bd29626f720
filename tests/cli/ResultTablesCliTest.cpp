// The plain result tables (Q.txt, P.txt, run.txt) as both programs write
// them, --help and --version, the predicted map of breloAdm, and the tables
// read back by R where R is installed.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/BreloCli.h"
#include "cli/OutsideReaders.h"
#include "io/TableText.h"

namespace {

const std::string kSim = "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c2 -S30 -B10 ";
const std::string kAdm = "-Fsim2pop.txt -N130 -A2 -L20 -D1 -c2 -S30 -B10 -T1 -P0.6 ";

std::string Folder(const std::string& name) {
    const std::string dir = FreshFolder("tables_" + name);
    CopyFixture("sim2pop.txt", dir);
    return dir;
}

std::string ReadText(const std::string& path) {
    std::ifstream is(path);
    std::stringstream text;
    text << is.rdbuf();
    return text.str();
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

using Row = std::vector<std::string>;

// The rows of a tab-separated table, header first.
std::vector<Row> ReadTable(const std::string& path) {
    std::vector<Row> rows;
    std::istringstream is(ReadText(path));
    Row row;
    TableRecord read;
    while ((read = ReadTableRecord(is, row)) == TableRecord::Read)
        rows.push_back(row);
    EXPECT_EQ(read, TableRecord::End) << path;
    return rows;
}

// run.txt: the value of each fact named in the header.
std::map<std::string, std::string> ReadRunTable(const std::string& path) {
    std::map<std::string, std::string> value;
    const std::vector<Row> rows = ReadTable(path);
    EXPECT_EQ(rows.size(), 2u) << path;
    for (size_t c = 0; rows.size() == 2 && c < rows[0].size() && c < rows[1].size(); ++c)
        value[rows[0][c]] = rows[1][c];
    return value;
}

// Q.txt of K clusters for the given ids: header, one row per id, each row
// summing to 1.
void ExpectMembershipTable(const std::string& path, int K, const std::vector<std::string>& ids) {
    const std::vector<Row> rows = ReadTable(path);
    ASSERT_EQ(rows.size(), ids.size() + 1) << path;
    Row header = {"id"};
    for (int k = 1; k <= K; ++k)
        header.push_back("cluster" + std::to_string(k));
    EXPECT_EQ(rows[0], header);
    for (size_t i = 0; i < ids.size(); ++i) {
        ASSERT_EQ(rows[i + 1].size(), static_cast<size_t>(K + 1));
        EXPECT_EQ(rows[i + 1][0], ids[i]);
        double sum = 0.0;
        for (int k = 1; k <= K; ++k)
            sum += std::stod(rows[i + 1][k]);
        EXPECT_NEAR(sum, 1.0, 1e-6) << ids[i];
    }
}

// P.txt: the header, and frequencies summing to 1 over the alleles of each
// cluster and locus; returns the loci it names.
std::set<int> ExpectFrequencyTable(const std::string& path, int K) {
    const std::vector<Row> rows = ReadTable(path);
    EXPECT_EQ(rows.at(0), (Row{"cluster", "locus", "allele", "frequency"}));
    std::map<std::pair<int, int>, double> sums;
    std::set<int> loci;
    for (size_t r = 1; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r].size(), 4u);
        const int k = std::stoi(rows[r][0]), l = std::stoi(rows[r][1]);
        EXPECT_GE(k, 1);
        EXPECT_LE(k, K);
        loci.insert(l);
        sums[{k, l}] += std::stod(rows[r][3]);
    }
    for (const auto& [key, sum] : sums)
        EXPECT_NEAR(sum, 1.0, 1e-6) << "cluster " << key.first << " locus " << key.second;
    EXPECT_EQ(sums.size(), K * loci.size());
    return loci;
}

std::vector<std::string> SimIds(const std::vector<int>& numbers) {
    std::vector<std::string> ids;
    for (int n : numbers) {
        char id[8];
        std::snprintf(id, sizeof id, "s%03d", n);
        ids.push_back(id);
    }
    return ids;
}

std::vector<int> Range(int from, int to) {
    std::vector<int> v;
    for (int n = from; n <= to; ++n)
        v.push_back(n);
    return v;
}

}  // namespace

TEST(ResultTablesCli, BreloWritesTheTablesOfEveryRunUnderItsPrefix) {
    const std::string dir = Folder("brelo");
    ASSERT_EQ(RunBreloIn(dir, kSim + "-K2 -T1 -orunA").status, 0);
    const std::string prefix = dir + "/sim2pop.txt_RUNA_";
    ExpectMembershipTable(prefix + "Q.txt", 2, SimIds(Range(1, 130)));
    EXPECT_EQ(ExpectFrequencyTable(prefix + "P.txt", 2).size(), 20u);
    std::map<std::string, std::string> run = ReadRunTable(prefix + "run.txt");
    EXPECT_EQ(run["program"], "brelo");
    EXPECT_EQ(run["seed"], "12345");
    EXPECT_TRUE(Contains(run["command_line"], "/brelo -Fsim2pop.txt -N130 "))
        << run["command_line"];
    EXPECT_EQ(run["input_file"], "sim2pop.txt");
    EXPECT_EQ(run["input_size_bytes"], std::to_string(ReadText(dir + "/sim2pop.txt").size()));

    // A series: each run its own tables and its own seed.
    ASSERT_EQ(RunBreloIn(dir, kSim + "-K3 -T0 -g4 -h5").status, 0);
    for (int r : {4, 5}) {
        const std::string series = dir + "/sim2pop.txt_RUN" + std::to_string(r) + "_";
        ExpectMembershipTable(series + "Q.txt", 3, SimIds(Range(1, 130)));
        EXPECT_EQ(ReadRunTable(series + "run.txt")["seed"], std::to_string(12345 + r - 4));
    }
}

TEST(ResultTablesCli, ValidationRunsNameTheirTrainingIndividualsAndLoci) {
    const std::string dir = Folder("valid");
    std::ofstream(dir + "/indiv.txt") << "Validation on Individuals\nsome: 1 3 7 120\n";
    ASSERT_EQ(RunBreloIn(dir, kSim + "-K2 -T1 -vindiv.txt").status, 0);
    ExpectMembershipTable(dir + "/sim2pop.txtQ.txt", 2, SimIds({1, 3, 7, 120}));

    std::ofstream(dir + "/loci.txt") << "Validation on Loci\nsome: 2 5 7 11 19\n";
    ASSERT_EQ(RunBreloIn(dir, kSim + "-K2 -T1 -vloci.txt -orunL").status, 0);
    EXPECT_EQ(ExpectFrequencyTable(dir + "/sim2pop.txt_RUNL_P.txt", 2),
              (std::set<int>{2, 5, 7, 11, 19}));
    ExpectMembershipTable(dir + "/sim2pop.txt_RUNL_Q.txt", 2, SimIds(Range(1, 130)));
}

TEST(ResultTablesCli, BreloAdmWritesTheAdmixtureProportionsAndFrequencies) {
    const std::string dir = Folder("adm");
    ASSERT_EQ(RunProgramIn("breloAdm", dir, kAdm + "-K3 -orun2").status, 0);
    const std::string prefix = dir + "/sim2pop.txt_RUN2_";
    ExpectMembershipTable(prefix + "Q.txt", 3, SimIds(Range(1, 130)));
    EXPECT_EQ(ExpectFrequencyTable(prefix + "P.txt", 3).size(), 20u);
    std::map<std::string, std::string> run = ReadRunTable(prefix + "run.txt");
    EXPECT_EQ(run["program"], "breloAdm");
    EXPECT_EQ(run["version"], BRELO_PROJECT_VERSION);
    EXPECT_EQ(run["seed"], "12345");
}

TEST(ResultTablesCli, HelpAndVersionAnswerWithStatusZero) {
    const std::string dir = FreshFolder("tables_info");
    SCliResult help = RunBreloIn(dir, "--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(Contains(help.output, "Typical Usages:"));
    EXPECT_FALSE(Contains(help.output, "*****"));  // no echo of the command line
    SCliResult predictHelp = RunBreloIn(dir, "-predict --help");
    EXPECT_EQ(predictHelp.status, 0);
    EXPECT_TRUE(Contains(predictHelp.output, "-BETA")) << predictHelp.output;
    SCliResult version = RunBreloIn(dir, "-K2 --version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.output, std::string("brelo ") + BRELO_PROJECT_VERSION + "\n");

    SCliResult admHelp = RunProgramIn("breloAdm", dir, "--help");
    EXPECT_EQ(admHelp.status, 0);
    EXPECT_TRUE(Contains(admHelp.output, "Typical Usage: breloAdm"));
    SCliResult admVersion = RunProgramIn("breloAdm", dir, "--version");
    EXPECT_EQ(admVersion.status, 0);
    EXPECT_EQ(admVersion.output, std::string("breloAdm ") + BRELO_PROJECT_VERSION + "\n");
    EXPECT_FALSE(FileExists(dir + "/_allCriteria.txt"));
}

// A predicted map holds, in each cell, the expected proportions of the
// Dirichlet law of the fitted trend there, exp(g_k) / sum exp(g); -qdraw
// asks for one random draw per cell instead.
TEST(ResultTablesCli, PredictedMapHoldsTheExpectedProportionsOfTheFittedTrend) {
    const std::string dir = Folder("map");
    std::ofstream(dir + "/grid.asc") << "ncols 3\nnrows 2\nxllcenter 10\nyllcenter 10\n"
                                        "cellsize 40\nNODATA_value -9\n1 1 -9\n1 1 1\n";
    ASSERT_EQ(RunProgramIn("breloAdm", dir, kAdm + "-K2 -mgrid.asc").status, 0);
    std::istringstream betaText(ReadText(dir + "/sim2pop.txtbetaHat.txt"));
    double beta[2][3];
    for (auto& row : beta)
        for (double& b : row)
            ASSERT_TRUE(betaText >> b);
    std::vector<std::vector<double>> cells(2);
    for (int k = 0; k < 2; ++k) {
        std::istringstream is(
            ReadText(dir + "/sim2pop.txtPrediction_cluster_" + std::to_string(k + 1) + ".txt"));
        std::string key, value;
        for (int h = 0; h < 6; ++h)
            is >> key >> value;
        double v;
        while (is >> v)
            cells[k].push_back(v);
        ASSERT_EQ(cells[k].size(), 6u);
    }
    // Rows at y = 50 then 10; columns at x = 10, 50, 90.
    for (int c = 0; c < 6; ++c) {
        if (c == 2) {
            EXPECT_EQ(cells[0][c], -9);
            continue;
        }
        const double x = 10 + 40 * (c % 3), y = c < 3 ? 50 : 10;
        const double g0 = beta[0][0] + beta[0][1] * x + beta[0][2] * y;
        const double g1 = beta[1][0] + beta[1][1] * x + beta[1][2] * y;
        const double expected = 1.0 / (1.0 + std::exp(g1 - g0));
        EXPECT_NEAR(cells[0][c], expected, 1e-5 * expected + 1e-9) << "cell " << c;
        EXPECT_NEAR(cells[0][c] + cells[1][c], 1.0, 2e-6);
    }

    ASSERT_EQ(RunProgramIn("breloAdm", dir, kAdm + "-K2 -mgrid.asc -qdraw -orund").status, 0);
    const std::string drawn = ReadText(dir + "/sim2pop.txt_RUNd_Prediction_cluster_1.txt");
    EXPECT_NE(drawn, ReadText(dir + "/sim2pop.txtPrediction_cluster_1.txt"));
    SCliResult refused = RunProgramIn("breloAdm", dir, kAdm + "-K2 -qdraws");
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Contains(refused.output, "Unknown Option - -qdraws"));
}

// The tables load with read.delim(..., na.strings = character()) in R, ids
// that R would misread unquoted included. Skipped where R is not installed.
TEST(ResultTablesCli, TablesLoadWithReadDelimInR) {
    if (std::system("command -v Rscript > /dev/null 2>&1") != 0)
        GTEST_SKIP() << "Rscript is not installed";
    const std::string dir = Folder("r");
    // Two ids with a quote and a comment sign, which read.table would take
    // for the start of a string and of a comment.
    std::string data = ReadText(dir + "/sim2pop.txt");
    for (const auto& [from, to] :
         {std::pair<std::string, std::string>{"s001 ", "O'Brien "}, {"s002 ", "site#2 "}})
        for (size_t at = data.find(from); at != std::string::npos; at = data.find(from, at))
            data.replace(at, from.size(), to);
    std::ofstream(dir + "/sim2pop.txt") << data;
    ASSERT_EQ(RunBreloIn(dir, kSim + "-K2 -T1 '-orunR R'").status, 0);
    ASSERT_EQ(RunProgramIn("breloAdm", dir, kAdm + "-K3 -orunA").status, 0);
    std::ofstream(dir + "/check.R") << R"(
check <- function(prefix, program, K) {
  q <- read.delim(paste0(prefix, "Q.txt"), na.strings = character())
  stopifnot(identical(names(q), c("id", paste0("cluster", 1:K))), nrow(q) == 130,
            identical(q$id[1:3], c("O'Brien", "site#2", "s003")),
            all(abs(rowSums(q[, -1]) - 1) < 1e-6))
  p <- read.delim(paste0(prefix, "P.txt"))
  stopifnot(identical(names(p), c("cluster", "locus", "allele", "frequency")),
            all(abs(tapply(p$frequency, list(p$cluster, p$locus), sum) - 1) < 1e-6))
  r <- read.delim(paste0(prefix, "run.txt"))
  stopifnot(nrow(r) == 1, r$program == program, is.numeric(r$seed), r$seed == 12345,
            r$input_size_bytes > 0, grepl(" -K", r$command_line))
  r$command_line
}
cat(check("sim2pop.txt_RUNR R_", "brelo", 2), "\n")
cat(check("sim2pop.txt_RUNA_", "breloAdm", 3), "\n")
cat("R read the tables\n")
)";
    SCliResult r;
    const std::string cmd = "cd '" + dir + "' && Rscript check.R 2>&1";
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        r.output.append(buffer, n);
    EXPECT_EQ(pclose(pipe), 0) << r.output;
    EXPECT_TRUE(Contains(r.output, "'-orunR R'")) << r.output;
    EXPECT_TRUE(Contains(r.output, "R read the tables")) << r.output;
}

// Names of a GENEPOP file that break a naive reader (and names that begin
// with "pop", which are individuals, not Pop lines) come back exactly from
// Q.txt: through our own reader, Python's csv module and R's read.delim
// (each outside reader skipped, and said so, where it is not installed).
TEST(ResultTablesCli, HostileNamesComeBackExactlyFromQTable) {
    const std::vector<std::string> names = {
        "O'Brien", "say \"hi\"", "back\\slash", "ends\\", "two  words", "tab\there", "#7",
        "NA",      "Zürich-été", "pop x",       "plain",  "\"q\"",      "pop"};
    const std::string dir = FreshFolder("tables_hostile");
    std::ofstream gen(dir + "/hostile.gen");
    gen << "hostile names\nloc1\nloc2\nloc3\nPop\n";
    for (size_t i = 0; i < names.size(); ++i)
        gen << names[i] << " , " << (i % 2 ? "0101 0202 0102" : "0202 0101 0201") << "\n";
    gen.close();
    ASSERT_EQ(RunBreloIn(dir, "-Fhostile.gen -fgenepop -T-1 -K2 -D1 -S20 -B5").status, 0);
    const std::string q = dir + "/hostile.genQ.txt";
    std::vector<std::string> read;
    for (const Row& row : ReadTable(q))
        read.push_back(row.at(0));
    read.erase(read.begin());
    EXPECT_EQ(read, names);

    const std::string skipped = ExpectIdsReadBackOutside(dir, "hostile.genQ.txt", names);
    if (!skipped.empty())
        GTEST_SKIP() << skipped;
}

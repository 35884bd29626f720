#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <random>
#include <sstream>

#include "core/TestSupport.h"
#include "io/BestRunRecord.h"
#include "io/IOUtilities.h"
#include "io/ManipVector.h"

namespace {
// A small sampler state: K clusters, L loci with J alleles, N individuals, A
// copies, B regression columns.
struct SState {
    DBL_VCTR_1D sigma;
    DBL_VCTR_2D beta, alpha, q;
    CCopyLabels zadmix;
    DBL_VCTR_3D p;
};

void Normalise(DBL_VCTR_1D& v) {
    double sum = 0.0;
    for (double x : v)
        sum += x;
    for (double& x : v)
        x /= sum;
}

SState MakeState(int K, const INT_VCTR_1D& J, int N, int A, int B, double offset) {
    SState s;
    const int L = static_cast<int>(J.size());
    InitVctr1D(s.sigma, K, 0.0);
    InitVctr2D(s.beta, K, B, 0.0);
    InitVctr2D(s.alpha, N, K, 0.0);
    InitVctr2D(s.q, N, K, 0.0);
    s.zadmix.Assign(N, A, L);
    InitVctr3D(s.p, K, L, J, 0.0);
    for (int k = 0; k < K; ++k) {
        s.sigma[k] = offset + 0.1234567 * (k + 1);
        for (int b = 0; b < B; ++b)
            s.beta[k][b] = offset - 1.0 / (3 + k + b);
        for (int l = 0; l < L; ++l)
            for (int j = 0; j < J[l]; ++j)
                s.p[k][l][j] = offset + 1.0 / (j + k + 7);
    }
    for (int i = 0; i < N; ++i) {
        for (int k = 0; k < K; ++k) {
            s.q[i][k] = offset + 1.0 / (i + k + 2);
            s.alpha[i][k] = offset + 1e5 / (i + k + 3);
        }
        for (int a = 0; a < A; ++a)
            for (int l = 0; l < L; ++l)
                s.zadmix[i][a][l] = (i + a + l) % K;
    }
    // A state a run can be in: frequencies and coefficients on the simplex.
    for (DBL_VCTR_2D& pk : s.p)
        for (DBL_VCTR_1D& locus : pk)
            Normalise(locus);
    for (DBL_VCTR_1D& row : s.q)
        Normalise(row);
    return s;
}

bool Load(SState& s, const std::string& file) {
    return LoadCF(s.sigma, s.beta, s.alpha, s.q, s.zadmix, s.p, file);
}

bool Save(const SState& s, const std::string& file) {
    return SaveCF(s.sigma, s.beta, s.alpha, s.q, s.zadmix, s.p, file);
}

double SixDigits(double v) {
    std::ostringstream os;
    os << v;
    return std::stod(os.str());
}
}  // namespace

TEST(CFFile, RoundTripKeepsIntegersAndSixSignificantDigits) {
    const INT_VCTR_1D J = {2, 3, 1, 4, 5};
    SState saved = MakeState(3, J, 4, 2, 3, 0.5);
    const std::string file = TempPath("CFadmCAR");
    ASSERT_TRUE(Save(saved, file));
    const std::string content = ReadWholeFile(file);
    EXPECT_EQ(content.rfind("3 5 2 3 1 4 5 4 ", 0), 0u);
    EXPECT_EQ(content.back(), ' ');  // one line, no line end
    EXPECT_EQ(content.find('\n'), std::string::npos);

    SState loaded = MakeState(3, J, 4, 2, 3, 0.0);
    loaded.sigma.clear();  // shaped by the reader
    loaded.alpha.clear();
    ASSERT_TRUE(Load(loaded, file));
    EXPECT_EQ(loaded.zadmix, saved.zadmix);
    ASSERT_EQ(loaded.sigma.size(), 3u);
    EXPECT_EQ(loaded.sigma[2], SixDigits(saved.sigma[2]));
    EXPECT_EQ(loaded.alpha[3][1], SixDigits(saved.alpha[3][1]));
    EXPECT_EQ(loaded.beta[2][2], SixDigits(saved.beta[2][2]));
    EXPECT_EQ(loaded.q[1][0], SixDigits(saved.q[1][0]));
    EXPECT_EQ(loaded.p[1][4][4], SixDigits(saved.p[1][4][4]));
}

TEST(CFFile, ConflictingHeaderTruncatedFileAndMissingFileAreRefused) {
    const INT_VCTR_1D J = {2, 3, 1, 4, 5};
    const std::string file = TempPath("CFadmCAR");
    ASSERT_TRUE(Save(MakeState(3, J, 4, 2, 3, 0.5), file));

    SState twoClusters = MakeState(2, J, 4, 2, 3, 0.0);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(twoClusters, file));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CF file conflicts with command-line options - LoadCF\n");

    SState fiveAlleles = MakeState(3, {2, 3, 1, 4, 4}, 4, 2, 3, 0.0);  // locus 5 differs
    const SState before = fiveAlleles;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(fiveAlleles, file));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CF file conflicts with command-line options - LoadCF\n");
    EXPECT_EQ(fiveAlleles.p, before.p);

    // Cut the file in the middle of the regression coefficients: refused,
    // and nothing of the run's state is replaced.
    std::string content = ReadWholeFile(file);
    const std::string cut = WriteTempFile("cut", content.substr(0, content.size() - 40));
    SState target = MakeState(3, J, 4, 2, 3, 9.0);
    const SState untouched = target;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(target, cut));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::MatchesRegex("Unexpected end of file in .*cut, regression "
                                        "coefficients: expected beta of cluster .* - LoadCF\n"));
    EXPECT_EQ(target.q, untouched.q);
    EXPECT_EQ(target.zadmix, untouched.zadmix);

    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(target, TempPath("none")));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), ::testing::HasSubstr("Cannot open file"));

    SState empty;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Save(empty, file));
    EXPECT_FALSE(Load(empty, file));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Uninitialized beta - SaveCF\nUninitialized beta - LoadCF\n");
}

TEST(CFFile, LeftOverValuesAndForeignLabelsAreRefused) {
    const INT_VCTR_1D J = {2, 3};
    const std::string file = TempPath("CFadmCAR");
    // Written with three regression columns, read back with two (another
    // trend degree): the header agrees, the rest would land in sigma.
    ASSERT_TRUE(Save(MakeState(2, J, 3, 2, 3, 0.5), file));
    SState narrower = MakeState(2, J, 3, 2, 2, 9.0);
    const SState before = narrower;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(narrower, file));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "CF file conflicts with command-line options - LoadCF\n");
    EXPECT_EQ(narrower.sigma, before.sigma);
    EXPECT_EQ(narrower.beta, before.beta);

    SState foreign = MakeState(2, J, 3, 2, 3, 0.5);
    foreign.zadmix[1][0][1] = 2;  // only clusters 0 and 1 exist
    ASSERT_TRUE(Save(foreign, file));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(narrower, file));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::MatchesRegex("Invalid number '2' in .*CFadmCAR, copy labels \\(line "
                                        "1\\): expected a cluster label of individual 2, copy 1 "
                                        "\\(0 to 1\\) - LoadCF\n"));

    // A full disk is not reported as a written file.
    testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveML(1, 10.0, "/dev/full"));
    EXPECT_FALSE(Save(foreign, "/dev/full"));
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Cannot write file /dev/full - SaveML\nCannot write file /dev/full - SaveCF\n");
}

// Values a run could not use without overflowing: latent values whose sum
// is beyond the largest double, and coefficients whose trend (with the
// design matrix) has an exponential beyond it. Refused naming file and value;
// the state stays as it was.
TEST(CFFile, ValuesWhoseUseOverflowsAreRefused) {
    const SState written = MakeState(2, {2, 3}, 3, 2, 2, 0.0);
    const DBL_VCTR_2D Xtild = {{1.0, 2.0}, {1.0, -3.0}, {1.0, 0.5}};
    const std::string file = TempPath("CF");
    ASSERT_TRUE(Save(written, file));
    SState read = MakeState(2, {2, 3}, 3, 2, 2, 0.0);
    ASSERT_TRUE(
        LoadCF(read.sigma, read.beta, read.alpha, read.q, read.zadmix, read.p, file, &Xtild));

    SState huge = written;
    huge.beta[1][1] = 1e308;
    ASSERT_TRUE(Save(huge, file));
    SState kept = MakeState(2, {2, 3}, 3, 2, 2, 0.5);
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        LoadCF(kept.sigma, kept.beta, kept.alpha, kept.q, kept.zadmix, kept.p, file, &Xtild));
    EXPECT_THAT(
        testing::internal::GetCapturedStderr(),
        ::testing::MatchesRegex("The coefficient beta of cluster 2, coefficient 2 in .*CF "
                                "\\(1e\\+308\\) gives individual 1 a trend of inf, "
                                "whose exponential overflows \\(beyond 709.78.*\\) - LoadCF\n"));
    EXPECT_EQ(kept.beta, MakeState(2, {2, 3}, 3, 2, 2, 0.5).beta);
    // 800 is finite, its exponential is not.
    huge.beta[1][1] = 0.0;
    huge.beta[0][0] = 800.0;
    ASSERT_TRUE(Save(huge, file));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(
        LoadCF(kept.sigma, kept.beta, kept.alpha, kept.q, kept.zadmix, kept.p, file, &Xtild));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), ::testing::HasSubstr("(800) gives"));

    SState alpha = written;
    alpha.alpha[2][0] = 1.7e308;
    alpha.alpha[2][1] = 1.7e308;
    ASSERT_TRUE(Save(alpha, file));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(kept, file));
    alpha.alpha[2][1] = -4.0;
    ASSERT_TRUE(Save(alpha, file));
    EXPECT_FALSE(Load(kept, file));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::MatchesRegex(
                    "The latent values of individual 3 in .*CF sum beyond the largest number - "
                    "LoadCF\n"
                    "Invalid number '-4' in .*CF, latent values \\(line 1\\): expected alpha of "
                    "individual 3, cluster 2 \\(a positive number\\) - LoadCF\n"));
}

TEST(MLFile, RecordRule) {
    const std::string file = TempPath("MDIC_admCAR");
    int degree = -5;
    double dic = 0;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadML(degree, dic, file, true));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadML(degree, dic, file, false));
    EXPECT_THAT(testing::internal::GetCapturedStderr(),
                ::testing::EndsWith("MDIC_admCAR - LoadML\n"));

    // The DIC comes back exactly, so that two runs whose DIC agree to six
    // digits are still ranked correctly.
    ASSERT_TRUE(SaveML(2, 1234.56789, file));
    EXPECT_THAT(ReadWholeFile(file), ::testing::EndsWith(" 2 1 "));
    ASSERT_TRUE(LoadML(degree, dic, file, true));
    EXPECT_EQ(degree, 2);
    EXPECT_EQ(dic, 1234.56789);

    const std::string bad = WriteTempFile("badML", "DIC 2 1 ");
    testing::internal::CaptureStderr();
    EXPECT_FALSE(LoadML(degree, dic, bad, true));
    EXPECT_THAT(testing::internal::GetCapturedStderr(), ::testing::HasSubstr("Invalid number"));
}

TEST(BetaTrace, HeaderAndOneLinePerCycle) {
    DBL_VCTR_3D Beta;
    InitVctr3D(Beta, 2, 4, 1000, 0.25);  // K = 3 clusters, P = 4, 1000 cycles
    Beta[1][3][999] = -1.5;
    const std::string file = TempPath("BetaStock.txt");
    testing::internal::CaptureStdout();
    EXPECT_TRUE(SaveBetaToMyFile(Beta, file));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Beta saved in " + file + "\n");
    std::istringstream lines(ReadWholeFile(file));
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, "1000\t3\t4\t");
    int count = 0;
    std::string last;
    while (std::getline(lines, line)) {
        ++count;
        last = line;
    }
    EXPECT_EQ(count, 1000);
    EXPECT_EQ(last, "0.25\t0.25\t0.25\t0.25\t0.25\t0.25\t0.25\t-1.5\t");
    EXPECT_EXIT_STDOUT(SaveBetaToMyFile(Beta, "/no/such/dir/b.txt"),
                       "^Cannot open file /no/such/dir/b.txt - SaveBetaToMyFile\n$");
}

namespace {
struct STraining {
    std::vector<CTrainingConfig> configs, complements;
    bool onIndiv = false;
};

STraining LoadTrainingText(const std::string& text, int N = 6, int L = 3) {
    STraining t;
    LoadTraining(t.configs, t.complements, t.onIndiv, N, L, WriteTempFile("train.txt", text));
    return t;
}
}  // namespace

TEST(TrainingFile, ConfigurationsAndComplements) {
    STraining t = LoadTrainingText("Validation on Individuals\nA: 2 3 5\nno colon here\nB:1\r\n");
    EXPECT_TRUE(t.onIndiv);
    ASSERT_EQ(t.configs.size(), 2u);
    EXPECT_EQ(t.configs[0].name, "A");
    EXPECT_EQ(t.configs[0].index, (INT_VCTR_1D{2, 3, 5}));
    EXPECT_EQ(t.complements[0].name, "comp.A");
    EXPECT_EQ(t.complements[0].index, (INT_VCTR_1D{1, 4, 6}));
    EXPECT_EQ(t.configs[1].index, (INT_VCTR_1D{1}));
    EXPECT_EQ(t.complements[1].index, (INT_VCTR_1D{2, 3, 4, 5, 6}));

    STraining loci = LoadTrainingText("Validation on Loci\nB:1 2 3\n");
    EXPECT_FALSE(loci.onIndiv);
    EXPECT_EQ(loci.complements[0].size(), 0);  // M = L = 3
    EXPECT_FALSE(LoadTrainingText("individual-based, on loci\nC: 2\n").onIndiv);

    testing::internal::CaptureStdout();
    t.configs[0].Print();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "A\nsize: 3\n2\n3\n5\n");
}

TEST(TrainingFile, RefusedFiles) {
    EXPECT_EXIT_STDOUT(LoadTrainingText("individual-based\nA: 1\n"),
                       "^The first line of the Training Configuration file must contain the "
                       "Validation Method:\nIndividuals or Loci\n$");
    EXPECT_EXIT_STDOUT(LoadTrainingText("Individuals\nA:  \n"),
                       "^Cannot read training index for configuration A\n$");
    EXPECT_EXIT_STDOUT(LoadTrainingText("Individuals\nA: 3 2\n"),
                       "^Training indices of configuration A must be strictly increasing \\(2 "
                       "after 3\\) - LoadTraining\n$");
    EXPECT_EXIT_STDOUT(LoadTrainingText("Individuals\nA: 3 3\n"), "strictly increasing");
    EXPECT_EXIT_STDOUT(LoadTrainingText("Individuals\nA: 2 7\n"),
                       "^Training index 7 of configuration A lies outside 1..6 - LoadTraining\n$");
    EXPECT_EXIT_STDOUT(LoadTrainingText("Individuals\nA: 0 2\n"), "lies outside 1..6");
    EXPECT_EXIT_STDOUT(LoadTrainingText("Individuals\nA: 1,2\n"),
                       "^Invalid training index '1,2' in configuration A - LoadTraining\n$");
    std::vector<CTrainingConfig> a, b;
    bool on;
    EXPECT_EXIT_STDOUT(LoadTraining(a, b, on, 3, 3, "/no/such/t.txt"),
                       "^Cannot open file /no/such/t.txt - LoadTraining\n$");
}

namespace {
// Loads a state written with one value changed; false with its message.
std::string RefusalOf(SState bad, const std::string& name) {
    const std::string file = TempPath(name);
    EXPECT_TRUE(Save(bad, file));
    SState target = MakeState(3, {2, 3}, 4, 2, 3, 9.0);
    const SState untouched = target;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(Load(target, file)) << name;
    EXPECT_EQ(target.p, untouched.p) << name;
    EXPECT_EQ(target.sigma, untouched.sigma) << name;
    return testing::internal::GetCapturedStderr();
}
}  // namespace

TEST(CFFile, StatesNoRunCanBeInAreRefusedWithTheFileAndTheValue) {
    const SState good = MakeState(3, {2, 3}, 4, 2, 3, 0.5);
    SState negativeSigma = good;
    negativeSigma.sigma[1] = -1;
    EXPECT_THAT(RefusalOf(negativeSigma, "sigma"),
                ::testing::MatchesRegex("Invalid number '-1' in .*sigma, variances \\(line 1\\): "
                                        "expected sigma of cluster 2 \\(a positive number\\) - "
                                        "LoadCF\n"));
    SState zeroSigma = good;
    zeroSigma.sigma[0] = 0;
    EXPECT_THAT(RefusalOf(zeroSigma, "zero"), ::testing::HasSubstr("sigma of cluster 1"));
    SState frequency = good;
    frequency.p[2][1][0] = 1.5;
    EXPECT_THAT(RefusalOf(frequency, "p"),
                ::testing::HasSubstr("Invalid number '1.5' in " + TempPath("p") +
                                     ", allele frequencies (line 1): expected a frequency (0 to 1) "
                                     "of cluster 3 at locus 2 - LoadCF"));
    SState notSummed = good;
    for (double& v : notSummed.p[0][1])
        v *= 1.2;
    EXPECT_THAT(RefusalOf(notSummed, "sum"),
                ::testing::MatchesRegex("The allele frequencies of cluster 1 at locus 2 sum to 1.2 "
                                        "in .*sum, not 1 - LoadCF\n"));
    SState offSimplex = good;
    offSimplex.q[3] = {0.2, 0.2, 0.2};
    EXPECT_THAT(RefusalOf(offSimplex, "q"),
                ::testing::HasSubstr("The admixture coefficients of individual 4 sum to 0.6"));
    SState negativeQ = good;
    negativeQ.q[0] = {-0.5, 1.0, 0.5};
    EXPECT_THAT(RefusalOf(negativeQ, "negq"),
                ::testing::HasSubstr("expected q (0 to 1) of individual 1, cluster 1"));
}

namespace {
// A state for the pair of K clusters whose first sigma tells which
// generation wrote it (the record holds DIC = -generation).
SState Generation(int K, int generation) {
    SState s = MakeState(K, INT_VCTR_1D(20, 6), 300, 2, 3, 0.5);
    s.sigma[0] = generation;
    return s;
}

bool WritePair(const std::string& prefix, int K, int generation) {
    const SState s = Generation(K, generation);
    return WriteBestRun(prefix, K, 1, -generation, s.sigma, s.beta, s.alpha, s.q, s.zadmix, s.p);
}

// The pair of K as a later run reads it: record and continuation file of
// the same generation, or none at all. Returns the generation (0: none).
int ReadConsistentPair(const std::string& prefix, int K) {
    SBestRun best;
    if (!ReadBestRun(prefix, K, best))
        return 0;
    SState loaded = Generation(K, 0);
    EXPECT_TRUE(Load(loaded, best.cfFile));
    EXPECT_EQ(loaded.sigma[0], -best.DIC) << "record and continuation file of different runs";
    return static_cast<int>(loaded.sigma[0]);
}
}  // namespace

TEST(BestRunRecord, OnePairPerKAndOlderPairsReadForTheKTheyHold) {
    const std::string prefix = TempPath("data.txt");
    ASSERT_TRUE(WritePair(prefix, 2, 7));
    ASSERT_TRUE(WritePair(prefix, 3, 9));
    EXPECT_EQ(ReadConsistentPair(prefix, 2), 7);
    EXPECT_EQ(ReadConsistentPair(prefix, 3), 9);
    EXPECT_EQ(ReadConsistentPair(prefix, 4), 0);
    EXPECT_EQ(BestRunCFName(prefix, 2), prefix + "CFadmCAR_K2");

    const std::string old = TempPath("old.txt");
    const SState s = Generation(2, 5);
    ASSERT_TRUE(SaveML(1, -5, old + "MDIC_admCAR"));
    ASSERT_TRUE(Save(s, old + "CFadmCAR"));
    EXPECT_EQ(ReadConsistentPair(old, 2), 5);
    EXPECT_EQ(ReadConsistentPair(old, 3), 0);
    // Once K = 2 has a pair of its own, that pair is the record.
    ASSERT_TRUE(WritePair(old, 2, 6));
    EXPECT_EQ(ReadConsistentPair(old, 2), 6);
}

TEST(BestRunRecord, AWriteCutBetweenItsTwoRenamesIsCompleted) {
    const std::string prefix = TempPath("data.txt");
    ASSERT_TRUE(WritePair(prefix, 2, 1));
    // The new continuation file in place, the new record still under its
    // temporary name.
    const SState s = Generation(2, 2);
    ASSERT_TRUE(Save(s, BestRunCFName(prefix, 2)));
    ASSERT_TRUE(SaveML(1, -2, BestRunRecordName(prefix, 2) + ".tmp"));
    EXPECT_EQ(ReadConsistentPair(prefix, 2), 2);
    // Cut before the first rename: the temporary files go, the old pair stays.
    ASSERT_TRUE(Save(Generation(2, 3), BestRunCFName(prefix, 2) + ".tmp"));
    std::ofstream(BestRunRecordName(prefix, 2) + ".tmp") << "-3 1";
    EXPECT_EQ(ReadConsistentPair(prefix, 2), 2);
    EXPECT_FALSE(std::ifstream(BestRunCFName(prefix, 2) + ".tmp").is_open());
}

TEST(BestRunRecord, ARunKilledAtAnyInstantLeavesTheOldPairOrTheNewOne) {
    const std::string prefix = TempPath("killed.txt");
    std::mt19937 random(2024);  // fixed: a failure reproduces
    std::uniform_int_distribution<int> delay(0, 40000);
    int newest = 0;
    for (int attempt = 0; attempt < 30; ++attempt) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int generation = newest + 1;; ++generation)
                if (!WritePair(prefix, 2, generation))
                    _exit(2);
        }
        usleep(static_cast<useconds_t>(delay(random)));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the writer stopped on its own";
        const int found = ReadConsistentPair(prefix, 2);
        EXPECT_GE(found, newest) << "an older pair came back";
        newest = found;
    }
    EXPECT_GT(newest, 0);
}

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "core/TestSupport.h"
#include "io/IOUtilities.h"
#include "io/ManipVector.h"

namespace {
// A small sampler state: K clusters, L loci with J alleles, N individuals, A
// copies, B regression columns.
struct SState {
    DBL_VCTR_1D sigma;
    DBL_VCTR_2D beta, alpha, q;
    INT_VCTR_3D zadmix;
    DBL_VCTR_3D p;
};

SState MakeState(int K, const INT_VCTR_1D& J, int N, int A, int B, double offset) {
    SState s;
    const int L = static_cast<int>(J.size());
    InitVctr1D(s.sigma, K, 0.0);
    InitVctr2D(s.beta, K, B, 0.0);
    InitVctr2D(s.alpha, N, K, 0.0);
    InitVctr2D(s.q, N, K, 0.0);
    InitVctr3D(s.zadmix, N, A, L, 0);
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

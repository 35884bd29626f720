#include "study/StudyOptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "study/StudyPlan.h"

namespace {

const std::string kBrelo = BRELO_BIN_DIR "/brelo";

// A valid -run command line of brelo on the test data, with extra options
// of the study and of the program.
std::vector<std::string> RunLine(const std::vector<std::string>& study,
                                 const std::vector<std::string>& program = {}) {
    std::vector<std::string> args{"-run", "-P" + kBrelo, "-K1:3", "-R2", "-j2", "-ostudy"};
    args.insert(args.end(), study.begin(), study.end());
    args.push_back("--");
    for (const char* a : {"-Fsim2pop.txt", "-i" BRELO_TEST_DATA_DIR, "-N130", "-A2", "-L20", "-c2",
                          "-D1", "-T0", "-S50", "-B10"})
        args.push_back(a);
    args.insert(args.end(), program.begin(), program.end());
    return args;
}

}  // namespace

TEST(StudyOptionsTest, AValidLineIsReadWhole) {
    SStudySettings s = ParseStudyOptions(RunLine({"-seed42", "-modes0.8"}));
    EXPECT_EQ(s.mode, StudyMode::Run);
    EXPECT_EQ(s.program, StudyProgram::Brelo);
    EXPECT_EQ(s.kMin, 1);
    EXPECT_EQ(s.kMax, 3);
    EXPECT_EQ(s.replicates, 2);
    EXPECT_EQ(s.jobs, 2);
    EXPECT_EQ(s.seed, 42u);
    EXPECT_DOUBLE_EQ(s.modeThreshold, 0.8);
    EXPECT_EQ(s.dataFile, "sim2pop.txt");
    EXPECT_EQ(s.individuals, 130);
    EXPECT_EQ(s.programOptions.size(), 10u);
}

TEST(StudyOptionsDeathTest, RefusedLinesGetOneLineAndStatus1) {
    const struct {
        std::vector<std::string> args;
        const char* message;
    } cases[] = {
        {{"-ostudy"}, "give one of -run, -jobs and -collect"},
        {{"-run", "-collect", "-ostudy"}, "give one of"},
        {RunLine({"-K0:3"}), "-K needs a range"},
        {RunLine({"-K4:2"}), "-K needs a range"},
        {RunLine({"-K2:x"}), "-K needs a range"},
        {RunLine({"-R0"}), "-R needs a whole number from 1 to 1000"},
        {RunLine({"-j2x"}), "-j needs a whole number"},
        {RunLine({"-seed-4"}), "-seed needs a whole number"},
        {RunLine({"-seed4294967295"}), "leaves no room for the seeds"},
        {RunLine({"-modes1.5"}), "-modes needs a similarity"},
        {RunLine({"-Q"}), "Unknown Option - -Q \\(breloStudy --help lists them all\\)"},
        {RunLine({"-runn"}), "Unknown Option - -runn: the nearest known option is -run "},
        {RunLine({"-Pstructure"}), "-P takes brelo or breloAdm"},
        {RunLine({"-P/nonexistent/brelo"}), "cannot find the program"},
        {RunLine({}, {"-K3"}), "remove -K3 from the options of the program"},
        {RunLine({}, {"-orunA"}), "remove -orunA"},
        {RunLine({}, {"-g1", "-h3"}), "remove -g1"},
        {RunLine({}, {"-2fold"}), "remove -2fold"},
        {RunLine({}, {"-Fdata/sim2pop.txt"}), "-F takes the data file's name alone"},
        {RunLine({}, {"-Fmissing.txt"}), "cannot read the data file"},
        {RunLine({"-labels/nonexistent"}), "cannot read the labels file"},
        {{"-collect"}, "-collect needs the study folder"},
        {{"-collect", "-ostudy", "-K1:3"}, "-collect takes only -o, -labels and -modes"},
        {RunLine({"-cv"}, {"-vhalves.txt"}), "remove -vhalves.txt from the options"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(ParseStudyOptions(c.args), ::testing::ExitedWithCode(1), c.message)
            << c.message;
}

TEST(StudyOptionsDeathTest, LabelsMustNameEveryIndividual) {
    const std::string labels = ::testing::TempDir() + "study_labels.txt";
    std::ofstream out(labels);
    for (int i = 0; i < 129; ++i)
        out << "site" << i % 7 << "\n";
    out.close();
    EXPECT_EXIT(ParseStudyOptions(RunLine({"-labels" + labels})), ::testing::ExitedWithCode(1),
                "holds 129 labels for 130 individuals");
}

TEST(StudyPlanTest, EveryChainHasItsOwnSeedFolderAndCommand) {
    SStudySettings s = ParseStudyOptions(RunLine({"-seed100", "-R3"}));
    s.studyDir = "/x/study";
    std::vector<SChainPlan> plan = PlanChains(s);
    ASSERT_EQ(plan.size(), 9u);
    std::vector<unsigned long> seeds;
    for (const SChainPlan& c : plan)
        seeds.push_back(c.seed);
    std::sort(seeds.begin(), seeds.end());
    EXPECT_EQ(std::unique(seeds.begin(), seeds.end()), seeds.end());
    // The seed of a chain does not depend on the range or the replicates.
    EXPECT_EQ(plan[4].seed, ChainSeed(100, 2, 2));
    EXPECT_EQ(ChainSeed(100, 2, 2), 100u + 1000 + 1);
    EXPECT_EQ(plan[4].folder, "/x/study/K2/rep2");
    const std::vector<std::string>& argv = plan[4].argv;
    EXPECT_EQ(argv.front(), s.programPath);
    // The data are read where they are; the chain writes in its folder.
    EXPECT_EQ(std::count(argv.begin(), argv.end(), "-i" BRELO_TEST_DATA_DIR), 1);
    EXPECT_EQ(argv[argv.size() - 2], "-K2");
    EXPECT_EQ(argv.back(), "-o/x/study/K2/rep2");
}

// breloAdm chains keep their side files in their folder and share the
// study's tessellation, made once by a -tessonly run; a -v of the user's
// is theirs.
TEST(StudyPlanTest, BreloAdmChainsShareOneTessellation) {
    SStudySettings s = ParseStudyOptions(RunLine({"-seed100"}));
    s.studyDir = "/x/study";
    s.program = StudyProgram::BreloAdm;
    const std::vector<SChainPlan> plan = PlanChains(s);
    const std::vector<std::string>& argv = plan[2].argv;  // K2 rep1
    EXPECT_EQ(argv[argv.size() - 3], "-o/x/study/K2/rep1");
    EXPECT_EQ(argv[argv.size() - 2], "-auxout");
    EXPECT_EQ(argv.back(), "-v/x/study/tessellation/sim2pop.txtVC");
    EXPECT_EQ(TessellationFile(s), "/x/study/tessellation/sim2pop.txtVC");
    const SChainPlan t = TessellationPlan(s);
    EXPECT_EQ(t.seed, 100u);
    EXPECT_EQ(t.folder, "/x/study/tessellation");
    const std::vector<std::string> tail(t.argv.end() - 4, t.argv.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"-K1", "-o/x/study/tessellation", "-auxout", "-tessonly"}));
    s.programOptions.push_back("-vmine.VC");
    EXPECT_FALSE(SharesTessellation(s));
    EXPECT_EQ(PlanChains(s)[0].argv.back(), "-auxout");
}

// -cv: each chain is followed by its held-out twin, the same run with the
// same seed scoring halves of the loci drawn once per replicate.
TEST(StudyPlanTest, HeldOutChainsScoreHalvesOfTheLoci) {
    SStudySettings s = ParseStudyOptions(RunLine({"-seed100", "-cv"}));
    s.studyDir = "/x/study";
    const std::vector<SChainPlan> plan = PlanChains(s);
    ASSERT_EQ(plan.size(), 12u);
    const SChainPlan &chain = plan[6], &twin = plan[7];  // K2 rep2 and K2 cv2
    EXPECT_FALSE(chain.heldOut);
    EXPECT_TRUE(twin.heldOut);
    EXPECT_EQ(twin.seed, chain.seed);
    EXPECT_EQ(twin.folder, "/x/study/K2/cv2");
    EXPECT_EQ(ChainName(twin), "K2 cv2");
    const std::vector<std::string> tail(twin.argv.end() - 3, twin.argv.end());
    EXPECT_EQ(tail,
              (std::vector<std::string>{"-o/x/study/K2/cv2", "-v/x/study/heldout2.txt", "-2fold"}));

    const std::vector<long> half = HeldOutHalf(131, 100, 2);
    ASSERT_EQ(half.size(), 65u);
    EXPECT_TRUE(std::is_sorted(half.begin(), half.end()));
    EXPECT_EQ(std::adjacent_find(half.begin(), half.end()), half.end());
    EXPECT_GE(half.front(), 1);
    EXPECT_LE(half.back(), 131);
    EXPECT_EQ(HeldOutHalf(131, 100, 2), half);  // the same for every K and on resume
    EXPECT_NE(HeldOutHalf(131, 100, 3), half);
    EXPECT_NE(HeldOutHalf(131, 101, 2), half);
    // A fair draw: over many replicates, each individual is held out about
    // half of the time.
    std::vector<int> chosen(131);
    for (int r = 1; r <= 400; ++r)
        for (long i : HeldOutHalf(131, 7, r))
            ++chosen[i - 1];
    for (int n : chosen)
        EXPECT_NEAR(n, 400 * 65 / 131.0, 45);
}

// -t of the program goes to every chain, and the chains run at once fill
// the cores with their threads.
TEST(StudyPlanTest, ThreadsOfAChainAreCountedWhenTheCoresAreFilled) {
    SStudySettings s = ParseStudyOptions(RunLine({}, {"-t2"}));
    EXPECT_EQ(s.threads, 2);
    s.studyDir = "/x/study";
    const std::vector<std::string> argv = PlanChains(s)[0].argv;
    EXPECT_EQ(std::count(argv.begin(), argv.end(), "-t2"), 1);
    EXPECT_EQ(DefaultJobs(8, 2), 4);
    EXPECT_EQ(DefaultJobs(8, 3), 2);
    EXPECT_EQ(DefaultJobs(2, 4), 1);
    EXPECT_EQ(DefaultJobs(8, 0), 1);  // -t0: every core for each chain
    EXPECT_EQ(DefaultJobs(8, 1), 8);
}

TEST(StudyOptionsDeathTest, HeldOutDataNeedTheirLayout) {
    // breloAdm's genotypes are hidden in data of the ordinary layout only.
    std::vector<std::string> adm = RunLine({"-cv"}, {"-rcy"});
    adm[1] = "-P" BRELO_BIN_DIR "/breloAdm";
    EXPECT_EXIT(ParseStudyOptions(adm), ::testing::ExitedWithCode(1), "-cv: dominant markers");
    adm.back() = "-fgenepop";
    EXPECT_EXIT(ParseStudyOptions(adm), ::testing::ExitedWithCode(1), "ordinary layout only");
    std::vector<std::string> noL = RunLine({"-cv"});
    noL.erase(std::find(noL.begin(), noL.end(), "-L20"));
    EXPECT_EXIT(ParseStudyOptions(noL), ::testing::ExitedWithCode(1),
                "-cv needs the number of loci");
}

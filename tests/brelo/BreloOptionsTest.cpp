// Second stage of the brelo command line: option recognition and the
// refusal of counts that make no sense.
#include <gtest/gtest.h>

#include "brelo/BreloOptions.h"
#include "brelo/BreloTestUtil.h"

namespace {

using ::testing::ExitedWithCode;

std::vector<std::string> Valid() {
    return {"-Fdata.txt", "-N10", "-A2", "-L5", "-K2", "-D1", "-S100", "-B20", "-T-1"};
}

std::vector<std::string> With(std::vector<std::string> args, const std::string& extra) {
    args.push_back(extra);
    return args;
}

void Parse(std::vector<std::string> args) {
    StdoutToStderr();
    CArgs a(std::move(args));
    SBreloOptions opts;
    ParseBreloOptions(a.argc(), a.argv(), opts);
}

TEST(BreloOptionsTest, RecognisesMultiLetterOptionsAndTheirValues) {
    CArgs a({"-Fmy file.txt", "-N10",   "-A2",  "-L5",  "-K3", "-D0.5", "-S100", "-B20",
             "-BS7",          "-T2",    "-X3",  "-XL1", "-r2", "-c4",   "-iin",  "-oout",
             "-orunX7",       "-spy",   "-rcy", "-ref", "-n1", "-d6",   "-g1",   "-h2",
             "-vpart",        "-2fold", "-K4",  "-jk",  "-zg", "-zr3"});
    SBreloOptions o;
    ParseBreloOptions(a.argc(), a.argv(), o);
    EXPECT_EQ(o.F, "my file.txt");
    EXPECT_EQ(o.K, 4);  // the last one wins
    EXPECT_DOUBLE_EQ(o.lambda, 0.5);
    EXPECT_EQ(o.BurnIn, 20);
    EXPECT_EQ(o.BurnInStructure, 7);
    EXPECT_TRUE(o.bBurnInStructure);
    EXPECT_EQ(o.trendDegree, 2);
    EXPECT_EQ(o.nbQuantVar, 3);
    EXPECT_EQ(o.nbQualVar, 1);
    EXPECT_EQ(o.ER, 2);
    EXPECT_EQ(o.EC, 4);
    EXPECT_EQ(o.FoI, "in");
    EXPECT_EQ(o.FoO, "out");
    EXPECT_EQ(o.run, "X7");
    EXPECT_TRUE(o.specialFormat && o.isRecAllele && o.bbase);
    EXPECT_EQ(o.nb_var_regr, 1);
    EXPECT_EQ(o.nd, 6);
    EXPECT_TRUE(o.kmeansStart && o.gibbsLabels);
    EXPECT_EQ(o.reallocations, 3);
}

TEST(BreloOptionsDeathTest, RefusesUnknownOrMalformedOptions) {
    EXPECT_EXIT(Parse(With(Valid(), "-predict")), ExitedWithCode(1), "Unknown Option - -predict");
    EXPECT_EXIT(Parse(With(Valid(), "-rex")), ExitedWithCode(1), "Unknown Option - -rex");
    EXPECT_EXIT(Parse(With(Valid(), "-rcx")), ExitedWithCode(1), "Unknown Option - -rcx");
    EXPECT_EXIT(Parse(With(Valid(), "-sq")), ExitedWithCode(1), "Unknown Option - -sq");
    EXPECT_EXIT(Parse(With(Valid(), "stray")), ExitedWithCode(1), "Unknown Option - stray");
    EXPECT_EXIT(Parse(With(Valid(), "-jy")), ExitedWithCode(1), "Unknown Option - -jy");
    EXPECT_EXIT(Parse(With(Valid(), "-zm")), ExitedWithCode(1), "Unknown Option - -zm");
    // A missing required option is named, in one line.
    std::vector<std::string> noD = Valid();
    noD.erase(noD.begin() + 5);
    noD.push_back("-X0");
    EXPECT_EXIT(Parse(noD), ExitedWithCode(1),
                "^Missing option\\(s\\): -D<lambda> \\(brelo --help lists them all\\)\\.\n$");
    EXPECT_EXIT(Parse(With(With(Valid(), "-A1"), "-rcy")), ExitedWithCode(1),
                "Dominant markers allowed for diploid individuals only");
    EXPECT_EXIT(Parse(With(Valid(), "-T4")), ExitedWithCode(1),
                "The trend degree must be in \\{-1,0,1,2,3\\}");
}

TEST(BreloOptionsDeathTest, RefusesCountsThatMakeNoSense) {
    const std::pair<const char*, const char*> cases[] = {
        {"-N0", "number of individuals \\(-N\\) must be at least 1"},
        {"-A0", "ploidy \\(-A\\) must be at least 1"},
        {"-L-3", "number of loci \\(-L\\) must be at least 1"},
        {"-K0", "number of clusters \\(-K\\) must be at least 1"},
        {"-S0", "total number of sweeps \\(-S\\) must be at least 1"},
        {"-B-1", "burn-in \\(-B\\) must not be negative"},
        {"-BS-1", "structure burn-in \\(-BS\\) must not be negative"},
        {"-B100", "must be smaller than the total number of sweeps"},
        {"-BS80", "must be smaller than the total number of sweeps"},
        {"-D0", "Dirichlet parameter \\(-D\\) must be a positive number"},
        {"-Dabc", "^Option -D needs a finite number, not 'abc'.\n$"},
        {"-Dnan", "^Option -D needs a finite number, not 'nan'.\n$"},
        {"-Babc", "^Option -B needs a whole number, not 'abc'.\n$"},
        {"-B", "^Option -B needs a whole number.\n$"},
        {"-Bnan", "^Option -B needs a whole number, not 'nan'.\n$"},
        {"-K3x", "^Option -K needs a whole number, not '3x'.\n$"},
        {"-N99999999999", "^Option -N needs a whole number, not '99999999999'.\n$"},
        {"-XL", "^Option -XL needs a whole number.\n$"},
        {"-X-1", "quantitative covariates \\(-X\\) must not be negative"},
        {"-n3", "Number of variables in the regression must be in \\{0,1,2\\}"},
    };
    for (const auto& c : cases)
        EXPECT_EXIT(Parse(With(Valid(), c.first)), ExitedWithCode(1), c.second) << c.first;
    EXPECT_EXIT(Parse(With(With(Valid(), "-jk"), "-K1")), ExitedWithCode(1),
                "The k-means initialisation \\(-jk\\) needs at least 2 clusters \\(-K\\)\\.");
}

}  // namespace

#include <gtest/gtest.h>

#include "core/OptionNames.h"

namespace {
const std::vector<std::string> kUsage = {
    "Typical Usage: prog -F<file> -K<k>",
    "-F<file>:     the data file",
    "              -1: not an option (indented)",
    "-K<k>:        clusters",
    "-g<first> -h<last>: a series",
    "-ref :        reference flags",
    "-rc<y|n>:     recessive alleles",
    "-r<n>:        extra rows",
    "-joint:       joint moves",
    "-j<y|n>:      a start",
    "-fvcf:        VCF",
    "-fgenepop:    GENEPOP",
};
}  // namespace

TEST(OptionNames, SpellingsComeFromTheUsageLines) {
    EXPECT_EQ(
        OptionSpellings(kUsage),
        (std::vector<std::string>{"-F<file>", "-K<k>", "-g<first>", "-h<last>", "-ref", "-rc<y|n>",
                                  "-r<n>", "-joint", "-j<y|n>", "-fvcf", "-fgenepop"}));
}

// The nearest options: those that begin as the argument does, then those of
// its letter, a switch before an option whose value could not be read.
TEST(OptionNames, NearestOptionsOfWhatWasWritten) {
    const std::vector<std::string> known = OptionSpellings(kUsage);
    using V = std::vector<std::string>;
    EXPECT_EQ(NearestOptions("-refs", known), (V{"-ref", "-r<n>", "-rc<y|n>"}));
    EXPECT_EQ(NearestOptions("-jointly", known), (V{"-joint", "-j<y|n>"}));
    EXPECT_EQ(NearestOptions("-foo", known), (V{"-fvcf", "-fgenepop"}));
    EXPECT_EQ(NearestOptions("-k", known), (V{"-K<k>"}));  // the other case
    EXPECT_TRUE(NearestOptions("-zzzzzzzzzz", known).empty());
    EXPECT_EQ(MissingOptionsLine({{"-F<file>", true}, {"-K<k>", true}}, "prog"), "");
    EXPECT_EQ(MissingOptionsLine({{"-F<file>", false}, {"-K<k>", true}, {"-r<n>", false}}, "prog"),
              "Missing option(s): -F<file>, -r<n> (prog --help lists them all).");
    EXPECT_EXIT(RefuseUnknownOption("-refs", kUsage, "prog"), ::testing::ExitedWithCode(1),
                "^Unknown Option - -refs: the nearest known options are -ref, -r<n> and "
                "-rc<y\\|n> \\(prog --help lists them all\\)\\.\n$");
}

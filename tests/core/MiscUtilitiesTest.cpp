#include <gtest/gtest.h>
#include <sys/resource.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "core/MiscUtilities.h"
#include "core/TestSupport.h"

namespace {
#if !defined(__SANITIZE_ADDRESS__)
int AllocateTooMuch(int, char**) {
    // Within what a vector may hold, beyond what any computer has.
    std::vector<double> v(size_t(1) << 58);
    return static_cast<int>(v.size());
}

void CheckTraceMemoryUnderLimit(size_t bytes, int sweeps, double perSweep) {
    struct rlimit limit;
    limit.rlim_cur = bytes;
    limit.rlim_max = bytes;
    setrlimit(RLIMIT_AS, &limit);
    CheckTraceMemory(sweeps, perSweep);
}

int OverflowAContainer(int, char**) {
    std::vector<double> v;
    v.reserve(v.max_size() + 1);
    return 0;
}
#endif
}  // namespace

TEST(ProgramGuard, AnAllocationNoCheckCaughtEndsWithOneLineNotAnAbort) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "AddressSanitizer reports failed allocations itself";
#else
    FlavourScope f(ProgramFlavour::BreloAdm);
    EXPECT_EXIT(RunProgram(AllocateTooMuch, 0, nullptr), ::testing::ExitedWithCode(1),
                "^Not enough memory for this run: the counts of the command line \\(-N, -L, -K, "
                "-S...\\) ask for more than this computer can give.\n$");
    EXPECT_EXIT(RunProgram(OverflowAContainer, 0, nullptr), ::testing::ExitedWithCode(1),
                "^Not enough memory for this run");
#endif
}

TEST(ProgramGuard, TracesBeyondTheMemoryAvailableAreRefused) {
    EXPECT_GT(AvailableMemoryBytes(), 1e6);
    CheckTraceMemory(1000, 100.0);  // 800 kB: fine
    FlavourScope f(ProgramFlavour::BreloAdm);
    EXPECT_EXIT(CheckTraceMemory(2147483647, 7.0), ::testing::ExitedWithCode(1),
                "^The traces of 2147483647 sweeps \\(-S\\) need 120.3 GB, more than the .* GB of "
                "memory this run may use: lower -S.\n$");
#if !defined(__SANITIZE_ADDRESS__)
    // An address-space limit counts as the memory of the run.
    EXPECT_EXIT(CheckTraceMemoryUnderLimit(size_t(1) << 30, 100000000, 3.0),
                ::testing::ExitedWithCode(1), "need 2.4 GB, more than the 1.1 GB");
#endif
}

TEST(OptionValues, WholeValuesOnlyAndTheLongestOptionThatFitsItsValue) {
    const char* arg = "-K12";
    EXPECT_EQ(ReadIntOption(arg, 2), 12);
    EXPECT_EQ(ReadIntOption("-T-1", 2), -1);
    EXPECT_EQ(ReadIntOption("-XL+3", 3), 3);
    EXPECT_DOUBLE_EQ(ReadDoubleOption("-P0.999", 2), 0.999);
    EXPECT_DOUBLE_EQ(ReadDoubleOption("-sc12.5", 3), 12.5);
    FlavourScope f(ProgramFlavour::BreloAdm);
    EXPECT_EXIT(ReadIntOption("-newNabc", 5), ::testing::ExitedWithCode(1),
                "^Option -newN needs a whole number, not 'abc'.\n$");
    EXPECT_EXIT(ReadIntOption("-K 3", 2), ::testing::ExitedWithCode(1), "not ' 3'");
    EXPECT_EXIT(ReadDoubleOption("-Pinf", 2), ::testing::ExitedWithCode(1),
                "^Option -P needs a finite number, not 'inf'.\n$");
    EXPECT_EXIT(ReadDoubleOption("-x", 2), ::testing::ExitedWithCode(1),
                "^Option -x needs a finite number.\n$");

    EXPECT_TRUE(IsRunLabelOption("-orun3"));
    EXPECT_TRUE(IsRunLabelOption("-orunK2"));
    EXPECT_TRUE(IsRunLabelOption("-orun"));
    EXPECT_FALSE(IsRunLabelOption("-oruns/x"));  // the folder runs/x
    EXPECT_FALSE(IsRunLabelOption("-oresults"));
    EXPECT_FALSE(IsRunLabelOption("-or"));
}

TEST(Trim, DropsTheBlanksAtEitherEndOnly) {
    EXPECT_EQ(Trim("  Lyon 2\t\r\n"), "Lyon 2");
    EXPECT_EQ(Trim("a\t b"), "a\t b");
    EXPECT_EQ(Trim(" \t\r\n"), "");
    EXPECT_EQ(Trim(""), "");
}

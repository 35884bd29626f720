#include <gtest/gtest.h>

#include "core/Messages.h"
#include "core/TestSupport.h"

// Messages go to standard error only, a repeated warning once.
TEST(Messages, OneLineOnStandardErrorAndRepeatsSaidOnce) {
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    PrintMessage("Warning: first");
    EXPECT_TRUE(PrintMessageOnce("Notice: said once"));
    EXPECT_FALSE(PrintMessageOnce("Notice: said once"));
    PrintMessage("Warning: first");
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "Warning: first\nNotice: said once\nWarning: first\n");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EXIT(Refuse("Bad value - F"), ::testing::ExitedWithCode(1), "^Bad value - F\n$");
}

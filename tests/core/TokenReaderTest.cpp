// Loading a file for the token reader: a regular file in one piece at its
// size, anything else (a pipe, a folder) through a stream, as before.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "core/TestSupport.h"
#include "core/TokenReader.h"

TEST(TokenReader, LoadsRegularFilesPipesAndNotAFolder) {
    const std::string file = WriteTempFile("tokens.txt",
                                           "\xEF\xBB\xBF"
                                           "3 -4\n2.5 x");
    CTokenReader reader;
    ASSERT_TRUE(reader.Open(file));
    int i = 0;
    double d = 0.0;
    EXPECT_EQ(reader.ReadInt(i), TokenStatus::Ok);
    EXPECT_EQ(i, 3);
    EXPECT_EQ(reader.ReadInt(i), TokenStatus::Ok);
    EXPECT_EQ(i, -4);
    EXPECT_EQ(reader.ReadDouble(d), TokenStatus::Ok);
    EXPECT_EQ(d, 2.5);
    EXPECT_EQ(reader.Skip(), TokenStatus::Ok);
    EXPECT_EQ(reader.Line(), 2);
    EXPECT_TRUE(reader.AtEnd());

    // A named pipe has no size: its text comes through the stream.
    const std::string fifo = TempPath("tokens.fifo");
    std::remove(fifo.c_str());
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const pid_t writer = fork();
    ASSERT_GE(writer, 0);
    if (writer == 0) {
        std::ofstream(fifo) << "7 8\n";
        _exit(0);
    }
    CTokenReader piped;
    ASSERT_TRUE(piped.Open(fifo));
    EXPECT_EQ(piped.ReadInt(i), TokenStatus::Ok);
    EXPECT_EQ(i, 7);
    EXPECT_EQ(piped.ReadInt(i), TokenStatus::Ok);
    EXPECT_EQ(i, 8);
    EXPECT_TRUE(piped.AtEnd());
    int status = 0;
    EXPECT_EQ(waitpid(writer, &status, 0), writer);
    std::remove(fifo.c_str());

    // A folder holds no token (and is not taken for a file of some size).
    CTokenReader folder;
    if (folder.Open(std::filesystem::path(file).parent_path())) {
        EXPECT_TRUE(folder.AtEnd());
    }
}

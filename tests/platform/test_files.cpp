// Whole-file reading with its size limit, the data directory dataPath puts
// in front of every name the engine loads, and the program's own folder.
#include "platform/platform.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <unistd.h>

static void writeBytes(const char* path, const std::string& bytes)
{
    FILE* f = fopen(path, "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// A file of exactly the limit is read whole with a zero byte past its end; one
// byte more is refused, also for files that take the buffer several growths;
// a missing file is 0, and a refused read leaves the caller's pointers alone.
TEST(ReadWholeFile, LimitZeroTerminatorAndFailures)
{
    std::string small(100, 'a');
    for (int i = 0; i < 100; i++) small[i] = (char)('a' + i % 26);
    writeBytes("whole_small.bin", small);
    unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(readWholeFile("whole_small.bin", 100, &data, &size), 1);
    EXPECT_EQ(size, 100u);
    EXPECT_EQ(std::string((const char*)data, size), small);
    EXPECT_EQ(data[100], 0);
    free(data);

    unsigned char marker = 0;
    data = &marker;
    size = 7;
    EXPECT_EQ(readWholeFile("whole_small.bin", 99, &data, &size), -1);
    EXPECT_EQ(data, &marker);
    EXPECT_EQ(size, 7u);
    EXPECT_EQ(readWholeFile("no_such_file.bin", NoFileLimit, &data, &size), 0);
    EXPECT_EQ(readWholeFile(nullptr, NoFileLimit, &data, &size), 0);
    EXPECT_EQ(data, &marker);

    std::string large(300000, 'x');
    for (size_t i = 0; i < large.size(); i += 997) large[i] = (char)(i % 251);
    writeBytes("whole_large.bin", large);
    EXPECT_EQ(readWholeFile("whole_large.bin", 70000, &data, &size), -1);
    EXPECT_EQ(readWholeFile("whole_large.bin", large.size() - 1, &data, &size), -1);
    ASSERT_EQ(readWholeFile("whole_large.bin", large.size(), &data, &size), 1);
    EXPECT_EQ(size, large.size());
    EXPECT_EQ(memcmp(data, large.data(), size), 0);
    free(data);
    ASSERT_EQ(readWholeFile("whole_large.bin", NoFileLimit, &data, &size), 1);
    EXPECT_EQ(size, large.size());
    free(data);
}

TEST(DataPath, PrefixesAndRefuses)
{
    char text[16] = "jug.baf";
    EXPECT_EQ(1, dataPath(text, sizeof(text)));
    EXPECT_STREQ(text, "./data/jug.baf");

    // "./data/abc" needs 11 bytes: 11 fits, 10 is refused and left alone.
    char exact[11 + 4];
    memset(exact, 'Z', sizeof(exact));
    strcpy(exact, "abc");
    EXPECT_EQ(1, dataPath(exact, 11));
    EXPECT_STREQ(exact, "./data/abc");
    EXPECT_EQ('Z', exact[11]);
    char tight[10 + 4];
    memset(tight, 'Z', sizeof(tight));
    strcpy(tight, "abc");
    EXPECT_EQ(0, dataPath(tight, 10));
    EXPECT_STREQ(tight, "abc");
    EXPECT_EQ('Z', tight[10]);

    // A buffer whose text has no terminator inside capacity is refused.
    char full[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(0, dataPath(full, 4));
    EXPECT_EQ(0, dataPath(nullptr, 10));
    EXPECT_EQ(0, dataPath(text, 0));
}

// ---- loading the built-in table -------------------------------------------------------

// The program's folder from /proc/self/exe: a buffer that could hold a cut
// path is refused (readlink cannot say whether it cut), one more byte gives
// the folder whole.
TEST(ProgramFolder, WholeOrRefused)
{
    char exe[4096];
    ssize_t length = readlink("/proc/self/exe", exe, sizeof exe - 1);
    ASSERT_GT(length, 0);
    exe[length] = 0;
    std::string folder(exe, strrchr(exe, '/'));
    char out[4096];
    EXPECT_EQ(programFolder(out, (size_t)length), 0);
    EXPECT_EQ(programFolder(out, (size_t)length + 1), 0);
    ASSERT_EQ(programFolder(out, (size_t)length + 2), 1);
    EXPECT_EQ(folder, out);
    EXPECT_EQ(programFolder(out, 1), 0);
}

// The log: a fresh log holds the logo and the title block, every line is on
// disk when the call returns, and an unopenable log still reaches stderr.
#include "platform/platform.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

void enterOwnDirectory()
{
    static std::string dir;
    if (dir.empty()) {
        dir = makeTempDir("app");   // demo.log is written to the working directory
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
}

TEST(Log, FreshLogHoldsTheLogoThenTheTitleBlock)
{
    enterOwnDirectory();
    FILE* old = fopen("demo.log", "w");
    ASSERT_TRUE(old);
    fputs("left over from an earlier run\n", old);
    fclose(old);
    startLog();
    std::string text = readFile("demo.log");
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    ASSERT_EQ(lines.size(), 11u) << text;
    for (int i = 0; i < 5; i++) EXPECT_GE(lines[i].size(), 20u) << "logo line " << i;
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "                KESTREL Engine V.0.1");
    EXPECT_EQ(lines[7], std::string(52, '-'));
    EXPECT_EQ(lines[8].size(), 52u);
    EXPECT_EQ(lines[8].rfind("by the Kestrel developers", 0), 0u);
    EXPECT_EQ(lines[8].substr(40), "Warning:WIP!");
    EXPECT_EQ(lines[9], std::string(52, '-'));
    EXPECT_EQ(lines[10], "");

    EXPECT_EQ(logMessage("value %d\n", 7), 1);
    EXPECT_EQ(readFile("demo.log"), text + "value 7\n");   // on disk when the call returns
}

TEST(Log, AnUnopenableLogStillReachesStderr)
{
    enterOwnDirectory();
    std::string dir = makeTempDir("nolog");
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.c_str()), 0);
    ASSERT_EQ(mkdir("demo.log", 0755), 0);   // a directory: no file can be opened there
    testing::internal::CaptureStderr();
    int result = logMessage("lost %s\n", "line");
    startLog();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(chdir(cwd), 0);
    EXPECT_EQ(result, 0);
    // One warning for the whole run, not one per line; plain lines stay off stderr.
    const std::string warning = "WARNING: could not open the log file demo.log";
    EXPECT_EQ(err.rfind(warning, 0), 0u) << err;
    EXPECT_EQ(err.find(warning, 1), std::string::npos) << err;
    EXPECT_EQ(err.find("lost line"), std::string::npos) << err;
    EXPECT_EQ(err.find("KESTREL Engine V.0.1"), std::string::npos) << err;
}

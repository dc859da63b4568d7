// Log capture: what a thread logs while capturing is kept in order, apart from
// other threads, and written by a replay exactly as it would have been.
#include "platform/platform.h"
#include <atomic>
#include <gtest/gtest.h>
#include <stdio.h>
#include <string>
#include <thread>

static std::string readText(const char* path)
{
    std::string text;
    FILE* file = fopen(path, "rb");
    if (!file) return text;
    char buffer[4096];
    size_t count;
    while ((count = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, count);
    fclose(file);
    return text;
}

// A fresh log file for one test; the log name is kept, so it is a static text.
static void freshLog(void)
{
    static const char* path = "log_capture_test.log";
    setLogFile(path);
    fclose(fopen(path, "w"));
}

TEST(LogCapture, KeepsMessagesUntilReplayedThenWritesThemInOrder)
{
    freshLog();
    LogCapture capture = {};
    beginLogCapture(&capture);
    logMessage("first %d\n", 1);
    logStderr("Libtga:unit:1: Read failed\n");
    logMessage("ERROR: second <%s>\n", "x");
    endLogCapture();
    logMessage("outside\n");
    EXPECT_EQ(readText(logFilePath()), "outside\n");
    testing::internal::CaptureStderr();
    replayLogCapture(&capture);
    std::string echoed = testing::internal::GetCapturedStderr();
    EXPECT_EQ(readText(logFilePath()), "outside\nfirst 1\nERROR: second <x>\n");
    // stderr gets the reader's report and the error line, in their order.
    EXPECT_EQ(echoed, "Libtga:unit:1: Read failed\nERROR: second <x>\n");
    // A second replay writes the same messages again; freeing empties it.
    replayLogCapture(&capture);
    freeLogCapture(&capture);
    replayLogCapture(&capture);
    EXPECT_EQ(readText(logFilePath()), "outside\nfirst 1\nERROR: second <x>\nfirst 1\nERROR: second <x>\n");
}

TEST(LogCapture, ThreadsCaptureApartAndOtherThreadsStillWrite)
{
    freshLog();
    LogCapture captures[2] = {};
    std::atomic<int> capturing{0}, mainLogged{0};
    std::thread workers[2];
    for (int t = 0; t < 2; t++)
        workers[t] = std::thread([t, &captures, &capturing, &mainLogged] {
            beginLogCapture(&captures[t]);
            logMessage("thread %d line 0\n", t);
            capturing++;
            while (!mainLogged) std::this_thread::yield();
            for (int i = 1; i < 200; i++) logMessage("thread %d line %d\n", t, i);
            endLogCapture();
        });
    // The main thread writes while both workers are capturing.
    while (capturing < 2) std::this_thread::yield();
    logMessage("main\n");
    mainLogged = 1;
    for (std::thread& worker : workers) worker.join();
    EXPECT_EQ(readText(logFilePath()), "main\n");
    replayLogCapture(&captures[1]);
    replayLogCapture(&captures[0]);
    std::string expected = "main\n";
    for (int t = 1; t >= 0; t--)
        for (int i = 0; i < 200; i++) expected += "thread " + std::to_string(t) + " line " + std::to_string(i) + "\n";
    EXPECT_EQ(readText(logFilePath()), expected);
    freeLogCapture(&captures[0]);
    freeLogCapture(&captures[1]);
}

TEST(LogCapture, DropsPastItsLimitAndSaysHowMany)
{
    freshLog();
    std::string line(1000, 'a');
    LogCapture capture = {};
    beginLogCapture(&capture);
    int kept = 0;
    for (int i = 0; i < 1100; i++) kept += logMessage("%s\n", line.c_str());
    endLogCapture();
    EXPECT_LT(kept, 1100);
    EXPECT_EQ(capture.dropped, 1100 - kept);
    EXPECT_LE(capture.used, (size_t)LogCaptureLimit);
    replayLogCapture(&capture);
    std::string expected;
    for (int i = 0; i < kept; i++) expected += line + "\n";
    expected += "WARNING: " + std::to_string(1100 - kept) + " log lines of a loader were dropped\n";
    EXPECT_EQ(readText(logFilePath()), expected);
    freeLogCapture(&capture);
}

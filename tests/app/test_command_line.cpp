// The command line: modes and full screen, bad input, help and version, and the
// offline options of capture and bench (what fits together, what is refused).
#include "app/options.h"
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <string>
#include <vector>

// Runs parseCommandLine on the words; returns its result and fills err/out.
int parse(std::vector<const char*> words, std::string* err = nullptr, std::string* out = nullptr)
{
    words.insert(words.begin(), "kestrel");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    int result = parseCommandLine((int)words.size(), const_cast<char**>(words.data()));
    std::string o = testing::internal::GetCapturedStdout();
    std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    if (out) *out = o;
    return result;
}

TEST(CommandLine, ModeAndFullscreen)
{
    EXPECT_EQ(parse({}), 1);
    EXPECT_EQ(runOptions.width, 0);   // no mode: the dialog asks
    EXPECT_EQ(parse({"--mode", "640x360"}), 1);
    EXPECT_EQ(runOptions.width, 640);
    EXPECT_EQ(runOptions.height, 360);
    EXPECT_EQ(runOptions.fullscreen, 0);
    EXPECT_EQ(parse({"--fullscreen", "--mode", "1920x1080"}), 1);
    EXPECT_EQ(runOptions.fullscreen, 1);
    EXPECT_EQ(runOptions.width, 1920);
    EXPECT_EQ(parse({"--mode", "800x600"}), 1);
    EXPECT_EQ(runOptions.fullscreen, 0);   // nothing carries over from an earlier parse
    // Each side 1..32767: both ends are taken (one past them is refused below).
    EXPECT_EQ(parse({"--mode", "32767x1"}), 1);
    EXPECT_EQ(runOptions.width, 32767);
    EXPECT_EQ(runOptions.height, 1);
    EXPECT_EQ(parse({"--mode", "1x32767"}), 1);
    EXPECT_EQ(runOptions.width, 1);
    EXPECT_EQ(runOptions.height, 32767);
}

TEST(CommandLine, BadInputGetsAMessageTheUsageAndMinusOne)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--mode"},
        {"--mode", "640"},
        {"--mode", "640x"},
        {"--mode", "x360"},
        {"--mode", "0x360"},
        {"--mode", "640x0"},
        {"--mode", "-640x360"},
        {"--mode", "640x360x2"},
        {"--mode", "640X360"},
        {"--mode", "99999x360"},
        {"--mode", "32768x1"},
        {"--mode", "1x32768"},
        {"--mode", "640x 360"},
        {"--mode", "99999999999999999999x1"},
        {"--bogus"},
        {"640x360"},
        {"-h"},
        {"--fullscreen=1"},
    };
    for (const auto& words : bad) {
        std::string err, out;
        EXPECT_EQ(parse(words, &err, &out), -1) << words[0] << " " << (words.size() > 1 ? words[1] : "");
        EXPECT_EQ(err.rfind("kestrel: ", 0), 0u) << err;
        EXPECT_NE(err.find("usage: kestrel"), std::string::npos);
        EXPECT_NE(err.find("--mode WxH"), std::string::npos);
        EXPECT_EQ(out, "");
    }
    std::string err;
    parse({"--bogus"}, &err);
    EXPECT_NE(err.find("unknown option '--bogus'"), std::string::npos) << err;
    parse({"--mode", "big"}, &err);
    EXPECT_NE(err.find("--mode"), std::string::npos);
    EXPECT_NE(err.find("'big'"), std::string::npos) << err;
}

TEST(CommandLine, HelpAndVersionEndTheProgramWithZero)
{
    std::string err, out;
    EXPECT_EQ(parse({"--help"}, &err, &out), 0);
    EXPECT_NE(out.find("usage: kestrel"), std::string::npos);
    EXPECT_NE(out.find("--fullscreen"), std::string::npos);
    EXPECT_EQ(err, "");
    EXPECT_EQ(parse({"--version"}, &err, &out), 0);
    EXPECT_EQ(out.rfind("kestrel ", 0), 0u);
    EXPECT_EQ(parse({"--help", "--bogus"}, &err, &out), -1);   // a bad option wins
}

// parseCommandLine on the words with stderr silenced; returns its result.
static int parseQuiet(std::vector<const char*> words)
{
    words.insert(words.begin(), "kestrel");
    fflush(stderr);
    int saved = dup(2), quiet = open("/dev/null", O_WRONLY);
    if (quiet >= 0) dup2(quiet, 2);
    int result = parseCommandLine((int)words.size(), const_cast<char**>(words.data()));
    fflush(stderr);
    if (saved >= 0) dup2(saved, 2);
    if (saved >= 0) close(saved);
    if (quiet >= 0) close(quiet);
    return result;
}

TEST(CaptureOptions, AcceptedValuesLandInRunOptions)
{
    ASSERT_EQ(parseQuiet({"--capture", "out.mp4", "--fps", "30", "--from", "1.5", "--to", "20", "--subframes", "4"}),
              1);
    EXPECT_STREQ(runOptions.captureTarget, "out.mp4");
    EXPECT_EQ(runOptions.captureFps, 30);
    EXPECT_FLOAT_EQ(runOptions.captureFrom, 1.5f);
    EXPECT_FLOAT_EQ(runOptions.captureTo, 20.0f);
    EXPECT_EQ(runOptions.captureSubframes, 4);
    EXPECT_EQ(runOptions.width, 1280);   // no dialog for offline runs
    EXPECT_EQ(runOptions.height, 720);
    EXPECT_TRUE(isOfflineRun());

    ASSERT_EQ(parseQuiet({"--mode", "320x180", "--bench", "--seconds", "2.5", "--start", "60"}), 1);
    EXPECT_EQ(runOptions.bench, 1);
    EXPECT_FLOAT_EQ(runOptions.benchSeconds, 2.5f);
    EXPECT_EQ(runOptions.width, 320);   // an explicit --mode is kept
    EXPECT_TRUE(isOfflineRun());
    EXPECT_EQ(runOptions.hud, 0);
    ASSERT_EQ(parseQuiet({"--bench", "--hud"}), 1);   // to measure the display's cost
    EXPECT_EQ(runOptions.hud, 1);

    ASSERT_EQ(parseQuiet({"--mode", "320x180"}), 1);
    EXPECT_FALSE(isOfflineRun());
    EXPECT_EQ(runOptions.captureTarget[0], 0);
}

TEST(CaptureOptions, RefusedCombinationsAndValues)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--fps", "10"},      // without --capture
        {"--capture", "d"},   // without --fps
        {"--capture", "d", "--fps", "0"},
        {"--capture", "d", "--fps", "241"},
        {"--capture", "d", "--fps", "10x"},
        {"--capture", "d", "--fps", "10", "--from", "5", "--to", "5"},
        {"--capture", "d", "--fps", "10", "--from", "nan"},
        {"--capture", "d", "--fps", "10", "--to", "inf"},
        {"--capture", "d", "--fps", "10", "--subframes", "65"},
        {"--capture", "d", "--fps", "10", "--start", "2"},
        {"--capture", "d", "--fps", "10", "--bench"},
        {"--bench", "--shot", "1:a.png"},
        {"--seconds", "3"},   // without --bench
        {"--bench", "--seconds", "0"},
        {"--capture", ""},
        {"--hud", "--shot", "1:a.png"},   // the display never lands in stills or captures
        {"--hud", "--capture", "d", "--fps", "10"},
    };
    for (const auto& words : bad) {
        std::string text;
        for (const char* w : words) text += std::string(w) + " ";
        EXPECT_EQ(parseQuiet(words), -1) << text;
    }
    std::string longName(300, 'a');
    EXPECT_EQ(parseQuiet({"--capture", longName.c_str(), "--fps", "10"}), -1);
}

// --start: the seconds the music seeks to and the clock is set back by.
TEST(CommandLine, StartOptionTakesSecondsFromZeroToADay)
{
    char prog[] = "kestrel", opt[] = "--start";
    char good[] = "12.5", zero[] = "0", negative[] = "-1", nan[] = "nan", junk[] = "3s", huge[] = "1e9";
    char* argv[3] = {prog, opt, good};
    ASSERT_EQ(parseCommandLine(3, argv), 1);
    EXPECT_EQ(runOptions.startTime, 12.5f);
    argv[2] = zero;
    ASSERT_EQ(parseCommandLine(3, argv), 1);
    EXPECT_EQ(runOptions.startTime, 0.0f);
    for (char* bad : {negative, nan, junk, huge}) {
        argv[2] = bad;
        EXPECT_EQ(parseCommandLine(3, argv), -1) << bad;
    }
    EXPECT_EQ(parseCommandLine(2, argv), -1);   // the value is missing
}

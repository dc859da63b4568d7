// Capture and bench: the offline options as parsed into RunOptions (what
// fits together, what is refused), the subframe-free defaults, and the heap
// allocation counter the bench reports.
#include "app/app.h"
#include "platform/platform.h"
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>
#include <vector>

// parseCommandLine on the words with stderr silenced; returns its result.
static int parse(std::vector<const char*> words)
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
    ASSERT_EQ(parse({"--capture", "out.mp4", "--fps", "30", "--from", "1.5", "--to", "20", "--subframes", "4"}), 1);
    EXPECT_STREQ(runOptions.captureTarget, "out.mp4");
    EXPECT_EQ(runOptions.captureFps, 30);
    EXPECT_FLOAT_EQ(runOptions.captureFrom, 1.5f);
    EXPECT_FLOAT_EQ(runOptions.captureTo, 20.0f);
    EXPECT_EQ(runOptions.captureSubframes, 4);
    EXPECT_EQ(runOptions.width, 1280);   // no dialog for offline runs
    EXPECT_EQ(runOptions.height, 720);
    EXPECT_TRUE(isOfflineRun());

    ASSERT_EQ(parse({"--mode", "320x180", "--bench", "--seconds", "2.5", "--start", "60"}), 1);
    EXPECT_EQ(runOptions.bench, 1);
    EXPECT_FLOAT_EQ(runOptions.benchSeconds, 2.5f);
    EXPECT_EQ(runOptions.width, 320);    // an explicit --mode is kept
    EXPECT_TRUE(isOfflineRun());

    ASSERT_EQ(parse({"--mode", "320x180"}), 1);
    EXPECT_FALSE(isOfflineRun());
    EXPECT_EQ(runOptions.captureTarget[0], 0);
}

TEST(CaptureOptions, RefusedCombinationsAndValues)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--fps", "10"},                                          // without --capture
        {"--capture", "d"},                                       // without --fps
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
        {"--seconds", "3"},                                       // without --bench
        {"--bench", "--seconds", "0"},
        {"--capture", ""},
    };
    for (const auto& words : bad) {
        std::string text;
        for (const char* w : words) text += std::string(w) + " ";
        EXPECT_EQ(parse(words), -1) << text;
    }
    std::string longName(300, 'a');
    EXPECT_EQ(parse({"--capture", longName.c_str(), "--fps", "10"}), -1);
}

// Counting is what the bench's "no allocation per frame" figure rests on: a
// malloc, a new and a realloc made here are seen, nothing is counted while off.
TEST(AllocationCounting, CountsOwnCallsOnlyWhileOn)
{
    if (!allocationCountingAvailable()) GTEST_SKIP() << "sanitizer build: its allocator is not replaced";
    setAllocationCounting(1);
    void* volatile block = malloc(64);
    void* volatile grown = realloc(block, 4096);
    int* volatile object = new int(7);
    setAllocationCounting(0);
    EXPECT_GE(allocationsCounted(), 3);
    EXPECT_GE(mainThreadAllocationsCounted(), 3);
    EXPECT_GE(engineAllocationsCounted(), 3);
    long before = allocationsCounted();
    void* volatile after = malloc(64);
    EXPECT_EQ(allocationsCounted(), before);
    free(after);
    free(grown);
    delete object;

    setAllocationCounting(1);
    EXPECT_EQ(allocationsCounted(), 0);   // turning it on starts from zero
    setAllocationCounting(0);
}

// The soundtrack WAV is cut from this decode: the whole stream at 44100 Hz
// stereo, null and 0 when there is nothing to decode.
TEST(SoundtrackDecode, WholeStreamOrNothing)
{
    float* frames = (float*)&frames;
    EXPECT_EQ(soundDecodeStream("no/such/file.mp3", &frames), 0u);
    EXPECT_EQ(frames, nullptr);
    EXPECT_EQ(soundDecodeStream(nullptr, &frames), 0u);
    EXPECT_EQ(soundDecodeStream(KESTREL_SOURCE_DIR "/data/timeline.txt", &frames), 0u);   // not audio
    EXPECT_EQ(frames, nullptr);
    EXPECT_EQ(soundDecodeStream(KESTREL_SOURCE_DIR "/data/timeline.txt", nullptr), 0u);

    size_t count = soundDecodeStream(KESTREL_BINARY_DIR "/data/barnstomp.mp3", &frames);
    ASSERT_GT(count, (size_t)44100 * 60) << "the show's music should last minutes";
    ASSERT_NE(frames, nullptr);
    double energy = 0.0;
    for (size_t i = 0; i < count * 2; i++) {
        ASSERT_TRUE(frames[i] >= -1.5f && frames[i] <= 1.5f) << "sample " << i << " is " << frames[i];
        energy += (double)frames[i] * frames[i];
    }
    EXPECT_GT(energy / (double)(count * 2), 1e-4) << "decoded music is (nearly) silent";
    free(frames);
}

// Writing edited keys back into timeline text: the shipped timeline unchanged
// byte for byte, changed, removed and new statements in place with every
// other byte kept, what the text cannot hold refused, values in their
// shortest form, and the whole-file replacement refusing a read-only file.
#include "sync/timeline_fixture.h"
#include "sync/timeline_write.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

static Timeline edited;

// Rewrites text with edited's keys; the result or "ERROR: message".
static std::string rewrite(const std::string& text)
{
    char* out = nullptr;
    size_t size = 0;
    char error[600];
    if (!rewriteTimelineText(text.c_str(), "t.txt", &edited, &out, &size, error, sizeof error))
        return std::string("ERROR: ") + error;
    std::string result(out, size);
    free(out);
    return result;
}

static TimelineKey* keyOn(int track, int row)
{
    TimelineTrack* t = &edited.tracks[track];
    for (int k = 0; k < t->keyCount; k++)
        if (t->keys[k].row == row) return &t->keys[k];
    return nullptr;
}

static void removeKey(int track, int row)
{
    TimelineTrack* t = &edited.tracks[track];
    TimelineKey* k = keyOn(track, row);
    ASSERT_NE(k, nullptr);
    int i = (int)(k - t->keys);
    memmove(k, k + 1, sizeof(TimelineKey) * (size_t)(t->keyCount - i - 1));
    t->keyCount--;
}

static void insertKey(int track, int row, float value, int type)
{
    TimelineTrack* t = &edited.tracks[track];
    int i = t->keyCount;
    while (i > 0 && t->keys[i - 1].row > row) {
        t->keys[i] = t->keys[i - 1];
        i--;
    }
    t->keys[i] = TimelineKey{row, value, type, 0};
    t->keyCount++;
}

static const std::string text = "# head comment\n"
                                "tempo 130\n"
                                "\n"
                                "scene 1 at 0 music intro\n"
                                "var0    0       0       linear      # from here\n"
                                "var0    2       1.5     step\n"
                                "post1   last    0.25    smooth\n"
                                "\n"
                                "# the second scene\n"
                                "scene 2 at 4 music night\n"
                                "var1\t0\t1\tstep\n"
                                "end at 6\n";

TEST(TimelineWrite, TheShippedTimelineComesBackByteForByte)
{
    std::string shipped = readFile(std::string(KESTREL_SOURCE_DIR) + "/data/timeline.txt");
    ASSERT_TRUE(parse(shipped));
    edited = parsed;
    EXPECT_EQ(rewrite(shipped), shipped);
    ASSERT_TRUE(parse(text));
    edited = parsed;
    EXPECT_EQ(rewrite(text), text);
    ASSERT_TRUE(parse("scene 1 at 0 music intro\nend at 1"));   // no newline at the end
    edited = parsed;
    EXPECT_EQ(rewrite("scene 1 at 0 music intro\nend at 1"), "scene 1 at 0 music intro\nend at 1");
}

TEST(TimelineWrite, ChangedRemovedAndNewKeysTouchOnlyTheirLines)
{
    ASSERT_TRUE(parse(text));
    edited = parsed;
    int var0 = trackIndex("var0"), var1 = trackIndex("var1"), post1 = trackIndex("post1"), part = trackIndex("part");
    keyOn(var0, 0)->value = 12.125f;                // a longer value: the comment keeps its column
    keyOn(post1, 63)->type = KeyRamp;               // "last" stays "last"
    removeKey(var0, 32);                            // bar 2 of scene 1
    insertKey(part, 16 + 4 + 1, 0.1f, KeyLinear);   // scene 1, 1:1:1
    insertKey(var1, 64 + 17, -3, KeyStep);          // scene 2, 1:0:1
    keyOn(0, 64)->value = 7;                        // scene 2 becomes scene 7
    EXPECT_EQ(rewrite(text), "# head comment\n"
                             "tempo 130\n"
                             "\n"
                             "scene 1 at 0 music intro\n"
                             "var0    0       12.125  linear      # from here\n"
                             "post1   last    0.25    ramp\n"
                             "part    1:1:1   0.1     linear\n"
                             "\n"
                             "# the second scene\n"
                             "scene 7 at 4 music night\n"
                             "var1\t0\t1\tstep\n"
                             "var1    1:0:1   -3      step\n"
                             "end at 6\n");
}

TEST(TimelineWrite, WhatTheTextCannotHoldIsRefused)
{
    ASSERT_TRUE(parse(text));
    edited = parsed;
    edited.tracks[0].keys[1].row = 60;   // scene 2 starting earlier
    EXPECT_NE(rewrite(text).find("moves a scene start"), std::string::npos);
    edited = parsed;
    insertKey(0, 32, 3, KeyStep);   // a new scene start
    EXPECT_NE(rewrite(text).find("adds or removes a scene start"), std::string::npos);
    edited = parsed;
    keyOn(0, 96)->value = 2;   // the end's key
    EXPECT_NE(rewrite(text).find("comes from the end line"), std::string::npos);
    edited = parsed;
    insertKey(trackIndex("var0"), 96, 1, KeyStep);   // on the end row
    EXPECT_NE(rewrite(text).find("outside the scenes"), std::string::npos);
    edited = parsed;
    keyOn(trackIndex("var0"), 0)->value = 1e-45f;   // a subnormal the reader refuses
    EXPECT_NE(rewrite(text).find("cannot be written"), std::string::npos);
    edited = parsed;
    keyOn(0, 64)->value = 9;   // the last scene turning into scene 9 would change the end key
    EXPECT_NE(rewrite(text).find("ERROR: "), std::string::npos);
}

TEST(TimelineWrite, ValuesInTheirShortestExactForm)
{
    char out[48];
    struct Case {
        float value;
        const char* text;
    } cases[] = {
        {0.1f, "0.1"},    {3.99f, "3.99"}, {-0.0f, "-0"}, {1.0f / 3.0f, "0.33333334"}, {16777216.0f, "16777216"},
        {1e20f, "1e+20"}, {0.3f, "0.3"}};
    for (const Case& c : cases) {
        ASSERT_GT(formatTimelineValue(c.value, out, sizeof out), 0) << c.text;
        EXPECT_STREQ(out, c.text);
    }
    EXPECT_EQ(formatTimelineValue(nanf(""), out, sizeof out), 0);
    EXPECT_EQ(formatTimelineValue(INFINITY, out, sizeof out), 0);
    EXPECT_EQ(formatTimelineValue(1e-40f, out, sizeof out), 0);   // below the smallest normal float
    EXPECT_EQ(formatTimelineValue(0.1f, out, 3), 0);              // "0.1" needs 4 bytes
    ASSERT_TRUE(parse(text));
    formatTimelinePosition(&parsed, 0, out, sizeof out);
    EXPECT_STREQ(out, "0");
    formatTimelinePosition(&parsed, 20, out, sizeof out);
    EXPECT_STREQ(out, "1:1");
    formatTimelinePosition(&parsed, 15, out, sizeof out);
    EXPECT_STREQ(out, "0:3:3");
}

TEST(TimelineWrite, WholeFileReplacementLeavesAReadOnlyFileAlone)
{
    std::string dir = makeTempDir("replace_whole");
    std::string path = dir + "/timeline.txt";
    char error[512];
    ASSERT_TRUE(replaceFileWhole(path.c_str(), "one\n", 4, error, sizeof error)) << error;
    ASSERT_TRUE(replaceFileWhole(path.c_str(), "two\n", 4, error, sizeof error)) << error;
    EXPECT_EQ(readFile(path), "two\n");
    chmod(path.c_str(), 0444);
    EXPECT_FALSE(replaceFileWhole(path.c_str(), "three\n", 6, error, sizeof error));
    EXPECT_NE(strstr(error, "read-only"), nullptr) << error;
    EXPECT_EQ(readFile(path), "two\n");
    EXPECT_NE(access((path + ".part").c_str(), F_OK), 0);
    EXPECT_FALSE(replaceFileWhole((dir + "/missing/timeline.txt").c_str(), "x", 1, error, sizeof error));
}

// The track tool: tracks it builds agree with `tracktool at` through the
// engine's reader, its dump, its refusals, timeline text written back, and
// the show's own timeline (scenes in order on bars, the end).
#include "sync/sync.h"
#include "show/show.h"
#include "sync/timeline_fixture.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string>
#include <unistd.h>

static const std::string binaryDir = KESTREL_BINARY_DIR;
static const std::string sourceDir = KESTREL_SOURCE_DIR;
static const std::string tracktool = binaryDir + "/tracktool";
static const std::string showTimeline = sourceDir + "/data/timeline.txt";

// The content tools are not built in every configuration (sanitizer builds
// reuse a Release build's data); the tests that run them skip there.
static bool haveTracktool(void) { return access(tracktool.c_str(), X_OK) == 0; }

static std::string run(const std::string& command, int* status)
{
    std::string dir = makeTempDir("tools_out");
    *status = runCommand(command + " > " + dir + "/out.txt 2> " + dir + "/err.txt");
    return readFile(dir + "/out.txt") + readFile(dir + "/err.txt");
}

static float valueAfter(const std::string& text, const std::string& name)
{
    size_t at = text.find(name + " ");
    if (at == std::string::npos) return NAN;
    return strtof(text.c_str() + at + name.size() + 1, nullptr);
}

// Builds the show's timeline, reads every file with the engine's reader and
// checks that the engine's evaluation at many show times equals `tracktool at`.
TEST(Tracktool, BuiltTracksEvaluateAsTracktoolAtSays)
{
    if (!haveTracktool()) GTEST_SKIP() << "built without the content tools";
    std::string dir = makeTempDir("tools_tracks");
    int status = 0;
    std::string log = run(tracktool + " build " + showTimeline + " " + dir, &status);
    ASSERT_EQ(status, 0) << log;
    EXPECT_EQ(log, "") << "the show's timeline should build without warnings";

    static DemoConfig config;
    config = builtinConfig;
    for (int i = 0; i < MaxTracks; i++) config.trackNames[i] = nullptr;
    demoConfig = &config;
    initSync();
    SyncTrack tracks[ShowTrackCount] = {};
    for (int i = 0; i < ShowTrackCount; i++) {
        std::string path = dir + "/sync_" + showTrackNames[i] + ".track";
        ASSERT_EQ(readTrackFile(path.c_str(), &tracks[i]), 1) << path;
    }
    ASSERT_GT(tracks[0].keyCount, 9);

    const float times[] = {0.0f,   0.05f,  1.0f,    3.3f,   6.0f,   14.7f,  29.53f,  29.54f,
                           33.0f,  44.3f,  59.0f,   66.47f, 81.3f,  103.4f, 110.77f, 118.0f,
                           132.9f, 140.5f, 162.46f, 170.0f, 180.3f, 184.6f, 184.7f,  250.0f};
    for (float t : times) {
        char seconds[32];
        snprintf(seconds, sizeof seconds, "%.9g", t);
        std::string out = run(tracktool + " at " + showTimeline + " " + seconds, &status);
        ASSERT_EQ(status, 0) << out;
        float row = rowForTime(t);
        for (int i = 0; i < ShowTrackCount; i++) {
            float engine = trackValue(&tracks[i], (double)row);
            EXPECT_EQ(engine, valueAfter(out, showTrackNames[i])) << showTrackNames[i] << " at " << t << " s";
        }
    }
    for (int i = 0; i < ShowTrackCount; i++) free(tracks[i].keys);
    demoConfig = nullptr;
}

// dump prints what the engine reads; the timeline's keys come back exactly.
TEST(Tracktool, DumpPrintsTheKeysOfTheTimeline)
{
    if (!haveTracktool()) GTEST_SKIP() << "built without the content tools";
    std::string dir = makeTempDir("tools_dump");
    std::string error;
    ASSERT_TRUE(parse(readFile(showTimeline), &error)) << error;
    int status = 0;
    run(tracktool + " build " + showTimeline + " " + dir, &status);
    ASSERT_EQ(status, 0);
    for (int i = 0; i < ShowTrackCount; i++) {
        std::string out = run(tracktool + " dump " + dir + "/sync_" + showTrackNames[i] + ".track", &status);
        ASSERT_EQ(status, 0) << out;
        std::string expected;
        for (int k = 0; k < parsed.tracks[i].keyCount; k++) {
            char line[64];
            const TimelineKey& key = parsed.tracks[i].keys[k];
            snprintf(line, sizeof line, "%d %.9g %d\n", key.row, key.value, key.type);
            expected += line;
        }
        EXPECT_EQ(out, expected) << showTrackNames[i];
    }
}

TEST(Tracktool, RefusesDamagedInputWithAClearMessage)
{
    if (!haveTracktool()) GTEST_SKIP() << "built without the content tools";
    std::string dir = makeTempDir("tools_damaged");
    int status = 0;
    FILE* f = fopen((dir + "/bad.txt").c_str(), "wb");
    ASSERT_TRUE(f);
    fputs("scene 1 at 0 music intro\n# two\nvar0 0 1 smooth\nvar0 0:1 1 slow\nend at 2\n", f);
    fclose(f);
    std::string out = run(tracktool + " build " + dir + "/bad.txt " + dir, &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("bad.txt:4:"), std::string::npos) << out;
    EXPECT_NE(out.find("slow"), std::string::npos) << out;

    const struct {
        const char* name;
        std::string bytes;
        const char* words;
    } files[] = {
        {"short.track", std::string("\x01\x00", 2), "too short"},
        {"count.track",
         std::string("\x02\x00\x00\x00"
                     "\x00\x00\x00\x00\x00\x00\x80\x3f\x01",
                     13),
         "claims 2 keys"},
        {"negative.track", std::string("\xff\xff\xff\xff", 4), "claims -1 keys"},
        {"order.track",
         std::string("\x02\x00\x00\x00"
                     "\x05\x00\x00\x00\x00\x00\x80\x3f\x01"
                     "\x05\x00\x00\x00\x00\x00\x80\x3f\x01",
                     22),
         "does not come after"},
        {"type.track",
         std::string("\x01\x00\x00\x00"
                     "\x05\x00\x00\x00\x00\x00\x80\x3f\x07",
                     13),
         "type 7"},
    };
    for (const auto& file : files) {
        std::string path = dir + "/" + file.name;
        FILE* t = fopen(path.c_str(), "wb");
        ASSERT_TRUE(t);
        fwrite(file.bytes.data(), 1, file.bytes.size(), t);
        fclose(t);
        out = run(tracktool + " dump " + path, &status);
        EXPECT_NE(status, 0) << file.name;
        EXPECT_NE(out.find(file.words), std::string::npos) << file.name << ": " << out;
    }
    out = run(tracktool + " dump " + dir + "/missing.track", &status);
    EXPECT_NE(status, 0);
    out = run(tracktool + " at " + showTimeline + " soon", &status);
    EXPECT_NE(status, 0);
    out = run(tracktool + " at " + showTimeline + " 1e30", &status);
    EXPECT_NE(status, 0);
}

// text turns track files back into a timeline; building that timeline gives
// the same bytes again, for the show and for an end by scene -1.
TEST(Tracktool, TextWritesATimelineThatBuildsTheSameTracks)
{
    if (!haveTracktool()) GTEST_SKIP() << "built without the content tools";
    std::string dir = makeTempDir("tools_text");
    FILE* f = fopen((dir + "/minus.txt").c_str(), "wb");
    ASSERT_TRUE(f);
    fputs("scene 2 at 1 music night\nvar0 0:1:2 0.1 ramp\npart 0 3 linear\nscene 4 at 3 music press\n"
          "post2 r5 -7.25 smooth\nend at 5:2\n",
          f);
    fclose(f);
    const std::string timelines[2] = {showTimeline, dir + "/minus.txt"};
    for (const std::string& timeline : timelines) {
        int status = 0;
        std::string first = dir + "/first", second = dir + "/second";
        runCommand("rm -rf " + first + " " + second + " && mkdir -p " + first + " " + second);
        std::string out = run(tracktool + " build " + timeline + " " + first, &status);
        ASSERT_EQ(status, 0) << out;
        status = runCommand(tracktool + " text " + first + " > " + dir + "/back.txt");
        ASSERT_EQ(status, 0) << timeline;
        out = run(tracktool + " build " + dir + "/back.txt " + second, &status);
        ASSERT_EQ(status, 0) << out << readFile(dir + "/back.txt");
        for (int i = 0; i < ShowTrackCount; i++) {
            std::string name = std::string("/sync_") + showTrackNames[i] + ".track";
            std::string a = readFile(first + name), b = readFile(second + name);
            EXPECT_FALSE(a.empty());
            EXPECT_TRUE(a == b) << timeline << ": " << showTrackNames[i];
        }
    }
    // A key before the first scene is refused, also when it is its track's
    // first key and a later key lies inside.
    FILE* v = fopen((dir + "/second/sync_var0.track").c_str(), "wb");
    ASSERT_TRUE(v);
    fwrite("\x02\x00\x00\x00"
           "\x00\x00\x00\x00\x00\x00\x80\x3f\x00"
           "\x40\x00\x00\x00\x00\x00\x80\x3f\x00",
           1, 22, v);   // rows 0 and 64; the scenes run from row 16
    fclose(v);
    int early = 0;
    std::string refused = run(tracktool + " text " + dir + "/second", &early);
    EXPECT_NE(early, 0);
    EXPECT_NE(refused.find("var0 key on row 0 lies outside the scenes"), std::string::npos) << refused;
    // A scene value the timeline cannot say is refused.
    FILE* t = fopen((dir + "/second/sync_scene.track").c_str(), "wb");
    ASSERT_TRUE(t);
    fwrite("\x02\x00\x00\x00"
           "\x00\x00\x00\x00\x00\x00\x20\x40\x00"
           "\x10\x00\x00\x00\x00\x00\x80\xbf\x00",
           1, 22, t);   // 2.5, then -1
    fclose(t);
    int status = 0;
    std::string out = run(tracktool + " text " + dir + "/second", &status);
    EXPECT_NE(status, 0);
    EXPECT_NE(out.find("not a scene"), std::string::npos) << out;
}

// The show's own timeline: scenes 1 to 9 in order on bar lines, a music
// section starting at every scene change, and the end rule after scene 9.
TEST(ShowTimeline, ScenesRunInOrderOnBarsAndEndTheShow)
{
    std::string error;
    ASSERT_TRUE(parse(readFile(showTimeline), &error)) << error;
    const TimelineTrack& scene = parsed.tracks[0];
    ASSERT_EQ(scene.keyCount, 10);
    for (int i = 0; i < 9; i++) {
        EXPECT_EQ(scene.keys[i].value, (float)(i + 1));
        EXPECT_EQ(scene.keys[i].row % 16, 0) << "scene " << i + 1 << " starts off the bar";
        bool section = false;
        for (int s = 0; s < parsed.sectionCount; s++) section |= parsed.sections[s].row == scene.keys[i].row;
        EXPECT_TRUE(section) << "no music section starts with scene " << i + 1;
    }
    EXPECT_EQ(scene.keys[9].value, 1.0f);
    EXPECT_EQ(scene.keys[9].row, parsed.endRow);
    double seconds = rowSeconds(&parsed, parsed.endRow);
    EXPECT_GT(seconds, 170.0);
    EXPECT_LT(seconds, 200.0);
    // Scene 8 breaks its sixteen jugs, one per bar.
    const TimelineTrack& var1 = parsed.tracks[trackIndex("var1")];
    float most = -1;
    for (int k = 0; k < var1.keyCount; k++)
        if (var1.keys[k].row >= scene.keys[7].row && var1.keys[k].row < scene.keys[8].row)
            most = fmaxf(most, var1.keys[k].value);
    EXPECT_EQ(most, 16.0f);
}

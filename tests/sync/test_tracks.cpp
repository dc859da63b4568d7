// Sync player: key search and interpolation, the row clock and its rounding,
// configuration defaults, shared tracks, and damaged or missing track files.
#include "sync/sync.h"
#include "show/vocabulary.h"
#include "platform/platform.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <limits.h>
#include <string>
#include <vector>

namespace {

struct RawKey {
    int row;
    float value;
    signed char type;
};

std::vector<unsigned char> trackBytes(int count, const std::vector<RawKey>& keys)
{
    std::vector<unsigned char> out(4);
    memcpy(out.data(), &count, 4);   // the test machine is little-endian like the format
    for (const RawKey& k : keys) {
        unsigned char raw[9];
        memcpy(raw, &k.row, 4);
        memcpy(raw + 4, &k.value, 4);
        raw[8] = (unsigned char)k.type;
        out.insert(out.end(), raw, raw + 9);
    }
    return out;
}

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

SyncTrack makeTrack(std::vector<SyncKey>& keys)
{
    SyncTrack t;
    t.name = nullptr;
    t.keys = keys.data();
    t.keyCount = (int)keys.size();
    return t;
}

// Enters a fresh working directory (made next to the test's own) holding an
// empty "./data/".
std::string enterDataDir(const char* name)
{
    static char home[PATH_MAX];
    if (!home[0] && !getcwd(home, sizeof home)) home[0] = 0;
    EXPECT_EQ(chdir(home), 0);
    std::string dir = makeTempDir(name);
    EXPECT_EQ(chdir(dir.c_str()), 0);
    mkdir("data", 0755);
    return dir;
}

// The show's clock and track names (show/vocabulary.h, header only) in a record of
// this floor, as the show's configuration carries them.
DemoConfig showConfig(void)
{
    DemoConfig config = {"./data/", nullptr, nullptr, nullptr, {}, ShowBpm, ShowRowsPerBeat, &showVocabulary};
    for (int i = 0; i < ShowTrackCount; i++) config.trackNames[i] = showTrackNames[i];
    return config;
}

}   // namespace

TEST(SyncKeys, FindKeyReturnsIndexOrInsertionPoint)
{
    std::vector<SyncKey> keys = {{0, 0, 0}, {4, 1, 0}, {10, 2, 0}};
    SyncTrack t = makeTrack(keys);
    EXPECT_EQ(findKey(&t, 0), 0);
    EXPECT_EQ(findKey(&t, 4), 1);
    EXPECT_EQ(findKey(&t, 10), 2);
    EXPECT_EQ(findKey(&t, -3), -1);   // before key 0
    EXPECT_EQ(findKey(&t, 5), -3);    // between keys 1 and 2
    EXPECT_EQ(findKey(&t, 11), -4);   // after the last
    SyncTrack empty = {nullptr, nullptr, 0};
    EXPECT_EQ(findKey(&empty, 3), -1);
    EXPECT_EQ(findKey(nullptr, 3), -1);
}

TEST(SyncKeys, InterpolationKinds)
{
    const float expected[4] = {0.0f, 0.25f, 0.15625f, 0.0625f};
    for (int type = 0; type < 4; type++) {
        std::vector<SyncKey> keys = {{0, 0.0f, type}, {4, 1.0f, 0}};
        SyncTrack t = makeTrack(keys);
        EXPECT_FLOAT_EQ(trackValue(&t, 1.0), expected[type]) << "type " << type;
        EXPECT_FLOAT_EQ(trackValue(&t, 0.0), 0.0f) << "on the first key, t = 0";
    }
    // An unknown type gives 0 between its key and the next, not at the keys' ends.
    std::vector<SyncKey> odd = {{0, 5.0f, 7}, {4, 6.0f, -1}};
    SyncTrack t = makeTrack(odd);
    EXPECT_EQ(trackValue(&t, 2.0), 0.0f);
    EXPECT_EQ(trackValue(&t, 4.0), 6.0f);
    EXPECT_EQ(trackValue(&t, 9.0), 6.0f);
}

TEST(SyncKeys, RowsOnAroundAndOutsideKeys)
{
    std::vector<SyncKey> keys = {{2, 10.0f, 0}, {6, 20.0f, 1}, {8, 40.0f, 1}};
    SyncTrack t = makeTrack(keys);
    EXPECT_EQ(trackValue(&t, -100.0), 10.0f);   // before the first key, whatever its type
    EXPECT_EQ(trackValue(&t, 1.99), 10.0f);
    EXPECT_EQ(trackValue(&t, 2.0), 10.0f);
    EXPECT_EQ(trackValue(&t, 5.999), 10.0f);   // step holds up to, not including, the next key
    EXPECT_EQ(trackValue(&t, 6.0), 20.0f);     // exactly on a key
    EXPECT_FLOAT_EQ(trackValue(&t, 7.0), 30.0f);
    EXPECT_EQ(trackValue(&t, 8.0), 40.0f);   // the last key
    EXPECT_EQ(trackValue(&t, 1e9), 40.0f);
    EXPECT_EQ(trackValue(&t, 1e300), 40.0f);   // beyond any int row
    EXPECT_EQ(trackValue(&t, -1e300), 10.0f);

    std::vector<SyncKey> one = {{5, 3.5f, 1}};
    SyncTrack single = makeTrack(one);
    for (double row : {-1.0, 0.0, 5.0, 5.5, 1000.0}) EXPECT_EQ(trackValue(&single, row), 3.5f);

    SyncTrack empty = {nullptr, nullptr, 0};
    EXPECT_EQ(trackValue(&empty, 3.0), 0.0f);
    EXPECT_EQ(trackValue(nullptr, 3.0), 0.0f);
}

TEST(SyncKeys, InterpolationRoundsOnceFromExtendedPrecision)
{
    // 1/3 of the way: evaluated in long double then rounded, the result is the
    // float nearest to 1/3 of the difference, whatever double would do first.
    std::vector<SyncKey> keys = {{0, 0.1f, 1}, {3, 0.7f, 0}};
    SyncTrack t = makeTrack(keys);
    long double exact = (long double)0.1f + ((long double)0.7f - (long double)0.1f) / 3;
    EXPECT_EQ(trackValue(&t, 1.0), (float)exact);
}

TEST(SyncPlayer, BuiltinRowClockAndSharedTracks)
{
    std::string dir = enterDataDir("sync_builtin");
    // scene: a step to 2 on row 52; part: linear 0 -> 1 over rows 0..4.
    writeBytes("data/sync_scene.track", trackBytes(2, {{0, 1.0f, 0}, {52, 2.0f, 0}}));
    writeBytes("data/sync_part.track", trackBytes(2, {{0, 0.0f, 1}, {4, 1.0f, 1}}));
    DemoConfig config = showConfig();
    config.trackNames[6] = "scene";   // shares the track of index 0
    demoConfig = &config;
    initSync();
    ASSERT_TRUE(syncDevice);
    EXPECT_STREQ(syncDevice->basePath, "./data/sync");
    EXPECT_EQ(syncDevice->trackCount, 6);
    EXPECT_EQ(syncTracks[6], syncTracks[0]);
    EXPECT_EQ(getTrack("part"), syncTracks[1]);
    EXPECT_EQ(findTrack(syncDevice, "Part"), -1);   // case matters
    EXPECT_EQ(findTrack(syncDevice, "var1"), 3);
    EXPECT_EQ(syncTracks[2]->keyCount, 0);   // no file: empty track

    EXPECT_EQ(syncRowRate, 0.0086666662f);
    EXPECT_EQ(rowForTime(6.0f), 51.999996f);
    float values[MaxTracks];
    evaluateTracks(6.0f, values);
    EXPECT_EQ(values[TrackScene], 1.0f);   // row 52's key is not reached yet
    EXPECT_EQ(values[6], 1.0f);
    EXPECT_EQ(values[TrackPart], 1.0f);
    EXPECT_EQ(values[TrackVar0], 0.0f);
    EXPECT_EQ(values[7], 0.0f);   // no track configured there
    evaluateTracks(6.001f, values);
    EXPECT_EQ(values[TrackScene], 2.0f);
    evaluateTracks(0.2f, values);   // row 1.7333 on the linear part track
    EXPECT_NEAR(values[TrackPart], rowForTime(0.2f) / 4.0f, 1e-6);
    demoConfig = nullptr;
}

// A timeline compiled into the live tracks: all of them, or (damaged, at
// another tempo, or naming no track the show plays) none, with the reason.
TEST(SyncPlayer, ATimelineReplacesTheTracksOrLeavesThemWithAReason)
{
    enterDataDir("sync_live");
    writeBytes("data/sync_var0.track", trackBytes(1, {{0, 3.0f, 0}}));
    DemoConfig config = showConfig();
    demoConfig = &config;
    initSync();
    SyncTrack* var0 = getTrack("var0");
    ASSERT_TRUE(var0);
    auto write = [](const char* text) {
        FILE* f = fopen("t.txt", "w");
        ASSERT_TRUE(f);
        fputs(text, f);
        fclose(f);
    };
    char error[512];
    EXPECT_EQ(3.0f, trackValue(var0, 8.0));
    write("scene 1 at 0 music intro\nvar0 r8 5 step\nend at r64\n");
    EXPECT_EQ(1, loadTimelineTracks("t.txt", error, sizeof error)) << error;
    EXPECT_STREQ("", error);
    ASSERT_EQ(1, var0->keyCount) << "the file's key at row 0 should be gone: replaced, not merged";
    EXPECT_EQ(5.0f, trackValue(var0, 8.0));

    const char* refused[][2] = {
        {"scene 1 at 0 music intro\nvar0 r8 x step\nend at r64\n", "t.txt:2:"},
        {"tempo 120\nscene 1 at 0 music intro\nvar0 r8 7 step\nend at r64\n", "differs"},
    };
    for (auto& r : refused) {
        write(r[0]);
        EXPECT_EQ(0, loadTimelineTracks("t.txt", error, sizeof error)) << r[0];
        EXPECT_NE(std::string(error).find(r[1]), std::string::npos) << error;
        EXPECT_EQ(5.0f, trackValue(var0, 8.0)) << "a refused timeline changed a track";
    }
    // A show that plays none of the timeline's tracks takes nothing from it.
    for (int i = 0; i < MaxTracks; i++) config.trackNames[i] = nullptr;
    config.trackNames[0] = "other";
    initSync();
    write("scene 1 at 0 music intro\nvar0 r8 7 step\nend at r64\n");
    EXPECT_EQ(0, loadTimelineTracks("t.txt", error, sizeof error));
    EXPECT_NE(std::string(error).find("none of its tracks"), std::string::npos) << error;
    demoConfig = nullptr;
}

TEST(SyncPlayer, DefaultsAndEmptyConfiguration)
{
    enterDataDir("sync_defaults");
    DemoConfig config = showConfig();
    config.bpm = 0.0f;
    config.rowsPerBeat = 0;
    for (int i = 0; i < MaxTracks; i++) config.trackNames[i] = nullptr;
    demoConfig = &config;
    initSync();
    EXPECT_EQ(config.bpm, 120.0f);
    EXPECT_EQ(config.rowsPerBeat, 4);
    EXPECT_EQ(syncRowRate, 0.008f);
    EXPECT_EQ(rowForTime(1.0f), 8.0f);
    EXPECT_EQ(syncDevice->trackCount, 0);
    float values[MaxTracks];
    for (float& v : values) v = 5.0f;
    evaluateTracks(10.0f, values);
    for (int i = 0; i < MaxTracks; i++) EXPECT_EQ(values[i], 0.0f);
    demoConfig = nullptr;
}

TEST(SyncFiles, DamagedAndMissingFiles)
{
    std::string dir = enterDataDir("sync_files");
    SyncTrack t = {nullptr, nullptr, 0};
    EXPECT_EQ(readTrackFile("data/none.track", &t), 0);
    EXPECT_EQ(t.keyCount, 0);

    std::vector<RawKey> three = {{0, 1.0f, 1}, {4, 2.0f, -1}, {8, 3.0f, 0}};
    writeBytes("whole.track", trackBytes(3, three));
    EXPECT_EQ(readTrackFile("whole.track", &t), 1);
    ASSERT_EQ(t.keyCount, 3);
    EXPECT_EQ(t.keys[1].row, 4);
    EXPECT_EQ(t.keys[1].value, 2.0f);
    EXPECT_EQ(t.keys[1].type, -1);   // sign-extended type byte

    std::vector<unsigned char> extra = trackBytes(2, three);   // a third key past the count
    writeBytes("extra.track", extra);
    EXPECT_EQ(readTrackFile("extra.track", &t), 1);
    EXPECT_EQ(t.keyCount, 2);

    writeBytes("short.track", trackBytes(1000000, three));   // fewer keys than claimed
    EXPECT_EQ(readTrackFile("short.track", &t), 1);
    EXPECT_EQ(t.keyCount, 3);
    EXPECT_EQ(t.keys[2].value, 3.0f);

    std::vector<unsigned char> cut = trackBytes(3, three);
    cut.resize(cut.size() - 4);   // cut inside the last key
    writeBytes("cut.track", cut);
    EXPECT_EQ(readTrackFile("cut.track", &t), 1);
    EXPECT_EQ(t.keyCount, 2);
    EXPECT_EQ(trackValue(&t, 100.0), 2.0f);

    for (int count : {0, -1, -2147483647 - 1, 2147483647}) {
        writeBytes("count.track", trackBytes(count, count > 0 ? std::vector<RawKey>{} : three));
        EXPECT_EQ(readTrackFile("count.track", &t), 1);
        EXPECT_EQ(t.keyCount, 0) << count;
        EXPECT_EQ(trackValue(&t, 1.0), 0.0f);
    }
    writeBytes("tiny.track", {1, 0});   // cut inside the count
    EXPECT_EQ(readTrackFile("tiny.track", &t), 1);
    EXPECT_EQ(t.keyCount, 0);
    EXPECT_EQ(readTrackFile(nullptr, &t), 0);
    EXPECT_EQ(readTrackFile("whole.track", nullptr), 0);
    free(t.keys);

    // The strict decoder (reloading, the track tool) takes only whole files
    // of ascending rows and known types; the tolerant one keeps what it can.
    SyncKey keys[4];
    char why[128] = "";
    std::vector<unsigned char> whole = trackBytes(3, {{0, 1.0f, 1}, {4, 2.0f, 3}, {8, 3.0f, 0}});
    EXPECT_EQ(decodeTrackKeys(whole.data(), whole.size(), 1, keys, 4, why, sizeof why), 3);
    EXPECT_EQ(keys[1].type, 3);
    EXPECT_EQ(decodeTrackKeys(whole.data(), whole.size(), 1, keys, 2, why, sizeof why), -1);   // no room
    EXPECT_EQ(decodeTrackKeys(whole.data(), whole.size(), 0, keys, 2, why, sizeof why), 2);
    EXPECT_EQ(decodeTrackKeys(extra.data(), extra.size(), 1, keys, 4, why, sizeof why), -1);
    EXPECT_NE(strstr(why, "claims 2 keys but holds 31 bytes"), nullptr) << why;
    EXPECT_EQ(decodeTrackKeys(cut.data(), cut.size(), 1, keys, 4, why, sizeof why), -1);
    std::vector<unsigned char> order = trackBytes(2, {{5, 1.0f, 0}, {5, 2.0f, 0}});
    EXPECT_EQ(decodeTrackKeys(order.data(), order.size(), 1, keys, 4, why, sizeof why), -1);
    EXPECT_NE(strstr(why, "does not come after"), nullptr) << why;
    EXPECT_EQ(decodeTrackKeys(whole.data(), 3, 1, keys, 4, why, sizeof why), -1);
    EXPECT_EQ(decodeTrackKeys(whole.data(), 3, 0, keys, 4, why, sizeof why), 0);
    std::vector<unsigned char> typed = trackBytes(1, {{0, 1.0f, 4}});
    EXPECT_EQ(decodeTrackKeys(typed.data(), typed.size(), 1, keys, 4, why, sizeof why), -1);
    EXPECT_NE(strstr(why, "type 4"), nullptr) << why;
}

TEST(SyncFiles, TrackPathRefusesWhatDoesNotFit)
{
    EXPECT_STREQ(trackPath("./data/sync", "scene"), "./data/sync_scene.track");
    // The buffer holds a data directory of any openable length plus the name.
    const size_t size = DataPathSize + 64;
    std::string fits(size - 1 - strlen("b_.track"), 'n');
    const char* p = trackPath("b", fits.c_str());
    ASSERT_TRUE(p);
    EXPECT_EQ(strlen(p), size - 1);
    EXPECT_EQ(trackPath("b", (fits + "n").c_str()), nullptr);
    EXPECT_EQ(trackPath(nullptr, "x"), nullptr);

    enterDataDir("sync_longname");
    DemoConfig config = showConfig();
    std::string longName(DataPathSize + 100, 'x');
    for (int i = 0; i < MaxTracks; i++) config.trackNames[i] = nullptr;
    config.trackNames[0] = longName.c_str();
    demoConfig = &config;
    initSync();
    ASSERT_TRUE(syncTracks[0]);
    EXPECT_EQ(syncTracks[0]->keyCount, 0);   // created, but no file could be named
    demoConfig = nullptr;
}

// The device fails when the data directory leaves no room for "sync" in its
// buffer. Run in a fresh process: the data directory is read once.
static void deviceFailureChild(void)
{
    static std::string longDir = "./" + std::string(DataPathSize, 'd') + "/";
    static DemoConfig config = showConfig();
    setDataDirectory(longDir.c_str());
    demoConfig = &config;
    initSync();
    int ok = syncDevice == nullptr;
    for (int i = 0; i < MaxTracks; i++) ok = ok && syncTracks[i] == nullptr;
    float values[MaxTracks];
    evaluateTracks(30.0f, values);
    for (int i = 0; i < MaxTracks; i++) ok = ok && values[i] == 0.0f;
    ok = ok && getTrack("scene") == nullptr;
    exit(ok ? 0 : 1);
}

TEST(SyncPlayerDeathTest, DeviceFailureLeavesEveryTrackAtZero)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    enterDataDir("sync_rocket");
    EXPECT_EXIT(deviceFailureChild(), testing::ExitedWithCode(0), "Rocket failed!");
}

// The show's length from hand-made scene and part tracks (showEndRow,
// showLengthSeconds) and the log's split of problems from other lines
// (logLineIsProblem), which decides what reaches stderr.
#include "platform/platform.h"
#include "show/show.h"
#include "sync/sync.h"
#include <gtest/gtest.h>
#include <stdint.h>
#include <vector>

// A track over the given keys (kept alive by the vector the caller owns).
static SyncTrack makeTrack(std::vector<SyncKey>& keys)
{
    SyncTrack track = {nullptr, keys.empty() ? nullptr : keys.data(), (int)keys.size()};
    return track;
}

TEST(ShowEndRow, StepFromNineToOneEndsTheShow)
{
    std::vector<SyncKey> sceneKeys = {{0, 1, 0}, {100, 5, 0}, {300, 9, 0}, {400, 1, 0}, {500, 2, 0}};
    std::vector<SyncKey> partKeys = {{0, 0, 0}, {350, 3, 0}};
    SyncTrack scene = makeTrack(sceneKeys), part = makeTrack(partKeys);
    EXPECT_EQ(400, showEndRow(&scene, &part));
    // 130 bpm, 4 rows a beat: 400 rows are 400 / (520 / 60) s.
    EXPECT_NEAR(400.0 * 60.0 / 520.0, showLengthSeconds(&scene, &part, 130.0f, 4), 1e-9);
    // Scene numbers are truncated as dispatchScene truncates them.
    sceneKeys[2].value = 9.75f;
    sceneKeys[3].value = 1.5f;
    EXPECT_EQ(400, showEndRow(&scene, &part));
}

TEST(ShowEndRow, OtherStepsIntoOneDoNotEnd)
{
    // 8 -> 1, 9 -> 2, and 1 at the very start are no end.
    std::vector<SyncKey> sceneKeys = {{0, 1, 0}, {100, 8, 0}, {200, 1, 0}, {300, 9, 0}, {400, 2, 0}};
    SyncTrack scene = makeTrack(sceneKeys);
    EXPECT_EQ(-1, showEndRow(&scene, nullptr));
    EXPECT_LT(showLengthSeconds(&scene, nullptr, 130.0f, 4), 0.0);
}

TEST(ShowEndRow, SlideFromNineToOneIsNotAJump)
{
    // A linear key from 9 to 1 passes 8..2 on the way: frames never see 9 then 1.
    std::vector<SyncKey> sceneKeys = {{0, 9, 1}, {100, 1, 0}};
    SyncTrack scene = makeTrack(sceneKeys);
    EXPECT_EQ(-1, showEndRow(&scene, nullptr));
    sceneKeys[0].type = 0;   // the same keys as a step do end it
    EXPECT_EQ(100, showEndRow(&scene, nullptr));
}

TEST(ShowEndRow, TheLastRowAKeyCanHoldStillEnds)
{
    // A key's row is an int: a track file can put the step from 9 to 1 on its
    // largest value, or one before it.
    for (int row : {INT32_MAX - 1, INT32_MAX}) {
        std::vector<SyncKey> sceneKeys = {{0, 9, 0}, {row, 1, 0}};
        SyncTrack scene = makeTrack(sceneKeys);
        EXPECT_EQ(row, showEndRow(&scene, nullptr));
    }
}

TEST(ShowEndRow, MinusOneWithPartExactlyMinusOne)
{
    std::vector<SyncKey> sceneKeys = {{0, 3, 0}, {200, -1, 0}};
    std::vector<SyncKey> partKeys = {{0, 0, 0}, {150, -0.5f, 0}, {260, -1, 0}};
    SyncTrack scene = makeTrack(sceneKeys), part = makeTrack(partKeys);
    EXPECT_EQ(260, showEndRow(&scene, &part));   // part reaches -1 after the scene does
    partKeys[2].row = 120;
    EXPECT_EQ(200, showEndRow(&scene, &part));   // part was -1 first: the scene's key ends it
    partKeys[2].value = -0.999f;
    EXPECT_EQ(-1, showEndRow(&scene, &part));   // not exactly -1
}

TEST(ShowEndRow, TheEarlierOfTheTwoRulesWins)
{
    std::vector<SyncKey> sceneKeys = {{0, 9, 0}, {50, -1, 0}, {80, 9, 0}, {90, 1, 0}};
    std::vector<SyncKey> partKeys = {{0, 0, 0}, {70, -1, 0}};
    SyncTrack scene = makeTrack(sceneKeys), part = makeTrack(partKeys);
    EXPECT_EQ(70, showEndRow(&scene, &part));
    partKeys[1].row = 95;   // -1 / -1 never coincide now
    EXPECT_EQ(90, showEndRow(&scene, &part));
}

TEST(ShowEndRow, EmptyOrMissingTracksNeverEnd)
{
    std::vector<SyncKey> none;
    SyncTrack empty = makeTrack(none);
    EXPECT_EQ(-1, showEndRow(nullptr, nullptr));
    EXPECT_EQ(-1, showEndRow(&empty, &empty));
    // -1 / -1 from the first key on: the show is over at row 0.
    std::vector<SyncKey> sceneKeys = {{10, -1, 0}}, partKeys = {{20, -1, 0}};
    SyncTrack scene = makeTrack(sceneKeys), part = makeTrack(partKeys);
    EXPECT_EQ(0, showEndRow(&scene, &part));
    // Tempo 0 means 120 bpm and 4 rows a beat, as the player reads it.
    std::vector<SyncKey> endKeys = {{0, 9, 0}, {16, 1, 0}};
    SyncTrack ending = makeTrack(endKeys);
    EXPECT_NEAR(2.0, showLengthSeconds(&ending, nullptr, 0.0f, 0), 1e-9);
}

TEST(LogLineIsProblem, WarningsAndErrorsAreProblems)
{
    const char* problems[] = {
        "ERROR: could not start GLFW3\n",
        "WARNING: something\n",
        "EEEEEEEEEEEK!!!     file <a> not found!!\n",
        "EEEEEK!!    file <a> is of invalid TYPE x\n",
        "Can't find file <data/x.obj>\n",
        "can't open shader file <x>\n",
        "GL error 3 (glGetError, during scene 4): x\n",
        "Rocket failed!\n",
        "sync: no track file <data/sync_scene.track>, the track stays empty\n",
        "sync: <x> is damaged, 3 of 4 keys kept\n",
        "data path: <x> does not fit in 64 bytes, refused\n",
        "music: <x> could not be played, the show runs silent\n",
        "Capture FAILED: 0 frames\n",
        "out of post buffer!\n",
    };
    for (const char* line : problems) EXPECT_TRUE(logLineIsProblem(line)) << line;
}

TEST(LogLineIsProblem, OrdinaryLinesAreNot)
{
    const char* ordinary[] = {
        "loading <data/x.obj>\n",
        "by the Kestrel developers               Warning:WIP!\n",
        "Start-up phase window 100 ms\n",
        "Summary: 10 frames rendered\n",
        "GL debug: 0 GL errors\n",
        "Still at 5.000 s written to a.png\n",
        "data processing complete!\n",
        "Show length: 184.615 s\n",
        "",
    };
    for (const char* line : ordinary) EXPECT_FALSE(logLineIsProblem(line)) << line;
    EXPECT_FALSE(logLineIsProblem(nullptr));
}

// The timeline text: key positions, the end rules, key order, damaged
// timelines rejected with their line, and the bytes of a .track file.
#include "sync/timeline_fixture.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string>

TEST(Timeline, PositionsKeysAndTheEndAfterSceneNine)
{
    std::string text = "# comment line\n"
                       "tempo 130\nrows-per-beat 4\nbeats-per-bar 4\n"
                       "scene 1 at 0 music intro\n"
                       "var0 0 0 linear      # trailing comment\n"
                       "var0 1:2:3 2.5 smooth\n"
                       "var0 r40 3 ramp\n"
                       "var0 last 3.9 step\n"
                       "post2 1s 1 step\n"
                       "cue 2 smash\n"
                       "scene 9 at 4 music finale\n"
                       "var1\t0\t-1e-3\tstep\n"
                       "music 1:2 outro\n"
                       "end at 6\n";
    std::string error;
    ASSERT_TRUE(parse(text, &error)) << error;
    const TimelineTrack& var0 = parsed.tracks[trackIndex("var0")];
    ASSERT_EQ(var0.keyCount, 4);
    EXPECT_EQ(var0.keys[1].row, 16 + 8 + 3);
    EXPECT_EQ(var0.keys[1].type, KeySmooth);
    EXPECT_EQ(var0.keys[2].row, 40);
    EXPECT_EQ(var0.keys[3].row, 63);   // last row before scene 9 at bar 4
    EXPECT_FLOAT_EQ(var0.keys[3].value, 3.9f);
    EXPECT_EQ(parsed.tracks[trackIndex("post2")].keys[0].row, 9);   // 1 s = 8.67 rows
    EXPECT_EQ(parsed.tracks[trackIndex("var1")].keys[0].row, 64);
    const TimelineTrack& scene = parsed.tracks[0];
    ASSERT_EQ(scene.keyCount, 3);
    EXPECT_EQ(scene.keys[0].row, 0);
    EXPECT_EQ(scene.keys[1].row, 64);
    EXPECT_EQ(scene.keys[2].row, 96);
    EXPECT_EQ(scene.keys[2].value, 1.0f);   // 9 -> 1 ends the show
    EXPECT_EQ(parsed.tracks[trackIndex("part")].keyCount, 0);
    EXPECT_EQ(parsed.endRow, 96);
    ASSERT_EQ(parsed.sectionCount, 3);
    EXPECT_STREQ(parsed.sections[2].style, "outro");
    EXPECT_EQ(parsed.sections[2].row, 64 + 24);
    ASSERT_EQ(parsed.cueCount, 1);
    EXPECT_EQ(parsed.cues[0].row, 32);
}

TEST(Timeline, EndAfterAnotherSceneUsesMinusOne)
{
    ASSERT_TRUE(parse("scene 3 at 0 music rise\npart 0 2 step\nend at 2\n"));
    const TimelineTrack& scene = parsed.tracks[0];
    const TimelineTrack& part = parsed.tracks[1];
    ASSERT_EQ(scene.keyCount, 2);
    EXPECT_EQ(scene.keys[1].value, -1.0f);
    ASSERT_EQ(part.keyCount, 2);
    EXPECT_EQ(part.keys[1].row, 32);
    EXPECT_EQ(part.keys[1].value, -1.0f);
}

TEST(Timeline, KeysWrittenOutOfOrderAreSorted)
{
    ASSERT_TRUE(parse("scene 1 at 0 music intro\nvar1 3 3 step\nvar1 1 1 step\nvar1 2 2 step\n"
                      "end at 4\n"));
    const TimelineTrack& t = parsed.tracks[trackIndex("var1")];
    ASSERT_EQ(t.keyCount, 3);
    for (int i = 0; i < 3; i++) EXPECT_EQ(t.keys[i].row, 16 * (i + 1));
}

// The compiler speaks the vocabulary it is handed, not the default show's:
// another show's track names, scene count (its last scene ends the show by
// the jump to 1), music styles and cues.
TEST(Timeline, AnotherShowsVocabulary)
{
    static const char* const tracks[3] = {"shot", "take", "fog"};
    static const char* const styles[1] = {"drone"};
    static const char* const cues[1] = {"bell"};
    const ShowVocabulary words = {tracks, 3, 3, styles, 1, cues, 1, "t.txt", 120.0f, 4};
    std::string error;
    ASSERT_TRUE(parse("scene 3 at 0 music drone\nfog 1 0.5 linear\ncue 1 bell\nend at 2\n", &error, &words)) << error;
    EXPECT_EQ(parsed.trackCount, 3);
    EXPECT_EQ(trackIndex("fog"), 2);
    EXPECT_EQ(trackIndex("var0"), -1);
    EXPECT_EQ(parsed.tracks[2].keys[0].row, 16);   // 120 bpm, 4 rows a beat, 4 beats a bar
    ASSERT_EQ(parsed.tracks[0].keyCount, 2);
    EXPECT_EQ(parsed.tracks[0].keys[1].value, 1.0f);   // scene 3 is the last: 3 -> 1 ends it
    EXPECT_EQ(parsed.tracks[1].keyCount, 0);
    // Scene 2 is not the last here: scene -1 with "take" at -1 ends the show.
    ASSERT_TRUE(parse("scene 2 at 0 music drone\nend at 1\n", &error, &words)) << error;
    EXPECT_EQ(parsed.tracks[0].keys[1].value, -1.0f);
    EXPECT_EQ(parsed.tracks[1].keys[0].value, -1.0f);
    // The default show's words are unknown here, and scene 4 is past the count.
    EXPECT_FALSE(parse("scene 1 at 0 music intro\nend at 1\n", &error, &words));
    EXPECT_NE(error.find("unknown music style 'intro'"), std::string::npos) << error;
    EXPECT_FALSE(parse("scene 4 at 0 music drone\nend at 1\n", &error, &words));
    EXPECT_NE(error.find("not 1 to 3"), std::string::npos) << error;
    EXPECT_FALSE(parse("scene 1 at 0 music drone\nvar0 0 1 step\nend at 1\n", &error, &words));
    EXPECT_NE(error.find("unknown word 'var0'"), std::string::npos) << error;
    EXPECT_FALSE(parse("scene 1 at 0 music drone\ncue 0 smash\nend at 1\n", &error, &words));
    EXPECT_NE(error.find("unknown cue 'smash'"), std::string::npos) << error;
    const ShowVocabulary oneTrack = {tracks, 1, 3, styles, 1, cues, 1, "t.txt", 120.0f, 4};
    EXPECT_FALSE(parse("scene 1 at 0 music drone\nend at 1\n", &error, &oneTrack));
    // A word is found among the first count words only; no list or no name finds nothing.
    EXPECT_EQ(vocabularyIndex(tracks, 3, "fog"), 2);
    EXPECT_EQ(vocabularyIndex(tracks, 2, "fog"), -1);
    EXPECT_EQ(vocabularyIndex(nullptr, 3, "fog"), -1);
    EXPECT_EQ(vocabularyIndex(tracks, 3, nullptr), -1);
}

// Each damaged timeline is refused with the number of the offending line.
TEST(Timeline, DamagedTimelinesAreRejectedWithTheirLine)
{
    struct Case {
        const char* text;
        int line;
        const char* words;
    };
    const Case cases[] = {
        {"scene 1 at 0 music intro\nvar0 0 1 lin\nend at 1\n", 2, "key type"},
        {"scene 1 at 0 music intro\nvar0 0:4 1 step\nend at 1\n", 2, "beat 4"},
        {"scene 1 at 0 music intro\nvar0 0:0:4 1 step\nend at 1\n", 2, "row 4"},
        {"scene 1 at 0 music intro\nvar0 0 1 step\n\nvar0 0:0:0 2 step\nend at 1\n", 4, "two keys"},
        {"var0 0 1 step\nscene 1 at 0 music intro\nend at 1\n", 1, "before the first scene"},
        {"scene 1 at 0 music intro\nvar2 0 1 step\nend at 1\n", 2, "unknown word"},
        {"scene 1 at 0 music intro\nvar0 0 nan step\nend at 1\n", 2, "not a number"},
        {"scene 1 at 0 music intro\nvar0 0 1e40 step\nend at 1\n", 2, "not a number"},
        {"scene 1 at 0 music intro\nvar0 0 1\nend at 1\n", 2, "expected"},
        {"scene 1 at 0 music polka\nend at 1\n", 1, "music style"},
        {"scene 1 at 0 music intro\ncue 0 bang\nend at 1\n", 2, "unknown cue"},
        {"scene 1 at 4 music intro\nscene 2 at 2 music night\nend at 9\n", 2, "not after"},
        {"scene 10 at 0 music intro\nend at 1\n", 1, "not 1 to 9"},
        {"scene 1 at 0 music intro\n", 2, "no end"},
        {"# nothing\n", 2, "no scene"},
        {"scene 1 at 0 music intro\nend at 1\nvar0 0 1 step\n", 3, "after the end"},
        {"scene 1 at 0 music intro\nend at 0\n", 2, "not after"},
        {"scene 1 at 0 music intro\nscene 1 at -1 music intro\nend at 1\n", 2, "bad position"},
        {"scene 1 at 0 music intro\nvar0 1:x 1 step\nend at 1\n", 2, "bad position"},
        {"scene 1 at 0 music intro\nend at 1\ntempo 120\n", 3, "before the first scene"},
        {"tempo fast\nscene 1 at 0 music intro\nend at 1\n", 1, "tempo"},
        {"scene 1 at 0 music intro\nmusic 0 night\nend at 1\n", 2, "two music sections"},
        {"scene 1 at 0 music intro\ncue 2 hit\nend at 1\n", 2, "after the end"},
        {"scene 1 at 0 music intro\nvar0 99999999999 1 step\nend at 1\n", 2, "too far"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(parse(c.text, &error)) << c.text;
        std::string where = "t.txt:" + std::to_string(c.line) + ":";
        EXPECT_EQ(error.rfind(where, 0), 0u) << c.text << " gave: " << error;
        EXPECT_NE(error.find(c.words), std::string::npos) << c.text << " gave: " << error;
    }
    std::string longLine(2000, 'x');
    std::string error;
    EXPECT_FALSE(parse("scene 1 at 0 music intro\n" + longLine + "\nend at 1\n", &error));
    EXPECT_EQ(error.rfind("t.txt:2:", 0), 0u) << error;
}

// Positions at the parser's limits and one step past them: bar 100000, row
// 10000000, and a time of 63 characters before its 's' (64 are refused).
TEST(Timeline, PositionsAtTheirLimits)
{
    std::string time63 = std::string(60, '0') + "1.5", time64 = "0" + time63;
    struct Limit {
        std::string key, end;
        int row;             // the key's row when taken (the show's 130 bpm, 4 rows a beat, 4 beats a bar)
        const char* words;   // the refusal otherwise
        int line;
    };
    const Limit limits[] = {
        {"100000:0:0", "r10000000", 1600000, nullptr, 0},
        {"100001:0:0", "r10000000", 0, "too far", 2},
        {"r5", "r10000001", 0, "too far", 3},
        {time63 + "s", "r40", 13, nullptr, 0},   // 1.5 s of 520 rows a minute
        {time64 + "s", "r40", 0, "bad time position", 2},
    };
    for (const Limit& l : limits) {
        std::string text = "scene 1 at 0 music intro\nvar0 " + l.key + " 1 step\nend at " + l.end + "\n";
        std::string error;
        EXPECT_EQ(parse(text, &error), l.words ? 0 : 1) << l.key << " " << l.end << ": " << error;
        if (!l.words) {
            EXPECT_EQ(parsed.tracks[trackIndex("var0")].keys[0].row, l.row) << l.key;
        } else {
            EXPECT_EQ(error.rfind("t.txt:" + std::to_string(l.line) + ":", 0), 0u) << l.key << " gave: " << error;
            EXPECT_NE(error.find(l.words), std::string::npos) << l.key << " gave: " << error;
        }
    }
}

TEST(Timeline, TrackBytesAreLittleEndianNineBytesAKey)
{
    ASSERT_TRUE(parse("scene 1 at 0 music intro\nvar0 r3 -2.5 ramp\nvar0 r300 1 linear\n"
                      "end at 40\n"));
    static unsigned char bytes[4 + 9 * MaxTimelineKeys];
    int size = encodeTrack(&parsed.tracks[trackIndex("var0")], bytes);
    ASSERT_EQ(size, 4 + 2 * 9);
    const unsigned char expected[] = {2,    0, 0,    0,    3, 0, 0,    0,    0x00, 0x00, 0x20,
                                      0xC0, 3, 0x2C, 0x01, 0, 0, 0x00, 0x00, 0x80, 0x3F, 1};
    for (int i = 0; i < size; i++) EXPECT_EQ(bytes[i], expected[i]) << "byte " << i;
}

// The header's ranges at each edge and one step outside: the edges are taken
// and used (a beat is rows-per-beat rows, a bar beats-per-bar beats), one step
// outside is refused with its line.
TEST(Timeline, HeaderRangesAtTheirEdges)
{
    struct Edge {
        const char* header;
        int ok;
        int barRow;   // the row of bar 1 when taken
    };
    const Edge edges[] = {
        {"rows-per-beat 32\nbeats-per-bar 1\n", 1, 32},
        {"rows-per-beat 1\nbeats-per-bar 32\n", 1, 32},
        {"rows-per-beat 3\nbeats-per-bar 5\n", 1, 15},
        {"rows-per-beat 33\n", 0, 0},
        {"rows-per-beat 0\n", 0, 0},
        {"beats-per-bar 33\n", 0, 0},
        {"beats-per-bar 0\n", 0, 0},
        {"tempo 20\nrows-per-beat 2\nbeats-per-bar 4\n", 1, 8},
        {"tempo 400\nrows-per-beat 2\nbeats-per-bar 4\n", 1, 8},
        {"tempo 19.99\n", 0, 0},
        {"tempo 400.01\n", 0, 0},
    };
    for (const Edge& e : edges) {
        std::string text = std::string(e.header) + "scene 1 at 0 music intro\nvar0 1 1 step\nend at 40\n";
        std::string error;
        EXPECT_EQ(parse(text, &error), e.ok) << e.header << error;
        if (e.ok) {
            EXPECT_EQ(parsed.tracks[trackIndex("var0")].keys[0].row, e.barRow) << e.header;
        } else {
            EXPECT_EQ(error.rfind("t.txt:1:", 0), 0u) << e.header << " gave: " << error;
        }
    }
}

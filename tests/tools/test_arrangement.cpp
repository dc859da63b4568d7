// The soundtrack's arrangement read as a score: the band's instruments are
// replaced by a recorder, and the notes the show's timeline makes are checked
// against the brief (a stomp on every beat, claps on 2 and 4), the swing, the
// key of G and the places where the song names its chords.
#include "tools/soundtrack/arrange.cpp"
#include "show/show.h"
#include <gtest/gtest.h>
#include <math.h>
#include <vector>

enum Voice { Stomp, Clap, Washboard, Bass, Banjo, Fiddle, Cue };
struct Played {
    Voice voice;
    int start;
    float note, gain, seconds;
};
static std::vector<Played> played;

void addStomp(Mix*, int start, float gain) { played.push_back({Stomp, start, 0, gain, 0}); }
void addClap(Mix*, int start, float gain) { played.push_back({Clap, start, 0, gain, 0}); }
void addWashboard(Mix*, int start, float gain, int) { played.push_back({Washboard, start, 0, gain, 0}); }
void addBass(Mix*, int start, float note, float seconds, float gain)
{
    played.push_back({Bass, start, note, gain, seconds});
}
void addBanjo(Mix*, int start, float note, float gain, float) { played.push_back({Banjo, start, note, gain, 0}); }
void addFiddle(Mix*, int start, float note, float, float gain, float)
{
    played.push_back({Fiddle, start, note, gain, 0});
}
void addShot(Mix*, int start, float gain) { played.push_back({Cue, start, 0, gain, 0}); }
void addSmash(Mix*, int start, float gain, uint32_t) { played.push_back({Cue, start, 0, gain, 0}); }
void addBoom(Mix*, int start, float gain) { played.push_back({Cue, start, 0, gain, 0}); }

// 130 beats a minute, 4 rows a beat: a row is 60 / 520 s.
static const double rowSamples = 44100.0 * 60.0 / 520.0;

static Timeline showTimeline;

static void arrangeShow(void)
{
    if (!played.empty()) return;
    char error[256];
    ASSERT_TRUE(
        loadTimeline(KESTREL_SOURCE_DIR "/data/timeline.txt", &showVocabulary, &showTimeline, error, sizeof error))
        << error;
    Mix none = {nullptr, nullptr, nullptr, nullptr, 0};
    ASSERT_TRUE(arrangeSong(&showTimeline, &none));
}

static const MusicSection* section(const char* style)
{
    for (int i = 0; i < showTimeline.sectionCount; i++)
        if (strcmp(showTimeline.sections[i].style, style) == 0) return &showTimeline.sections[i];
    return nullptr;
}

// Every beat of the song, up to the end, has its stomp on its first sample;
// the last bar's four beats fall in strength. The intro claps on 2 and 4 and
// rolls into the next section in its last beat only.
TEST(Arrangement, AStompOnEveryBeatAndTheIntrosClaps)
{
    arrangeShow();
    std::vector<float> stompAt(showTimeline.endRow / 4, 0.0f);
    for (const Played& p : played) {
        if (p.voice != Stomp) continue;
        double beat = p.start / rowSamples / 4.0;
        long b = lround(beat);
        ASSERT_LT(fabs(beat - b) * 4 * rowSamples, 1.0) << "a stomp off the beat at sample " << p.start;
        if (b >= 0 && b < (long)stompAt.size()) stompAt[b] = fmaxf(stompAt[b], p.gain);
    }
    for (size_t b = 0; b < stompAt.size(); b++) EXPECT_GT(stompAt[b], 0.0f) << "no stomp on beat " << b;
    size_t last = stompAt.size() - 4;
    for (size_t b = last + 1; b < stompAt.size(); b++) EXPECT_LT(stompAt[b], stompAt[b - 1]) << "beat " << b;

    const MusicSection* intro = section("intro");
    ASSERT_TRUE(intro && intro == &showTimeline.sections[0] && showTimeline.sectionCount > 1);
    long lastBeat = showTimeline.sections[1].row - 4;
    int claps = 0;
    for (const Played& p : played) {
        long row = lround(p.start / rowSamples);
        if (p.voice != Clap || row < intro->row || row >= lastBeat + 4) continue;
        EXPECT_TRUE((row - intro->row) % 16 == 4 || (row - intro->row) % 16 == 12 || row >= lastBeat)
            << "an intro clap on row " << row;
        claps++;
    }
    EXPECT_GT(claps, 4);
}

// The washboard swings: a tick on an even row falls on it, one on an odd row
// 0.12 of a row late.
TEST(Arrangement, TheWashboardSwingsItsOddRows)
{
    arrangeShow();
    int ticks = 0;
    for (const Played& p : played) {
        if (p.voice != Washboard) continue;
        double row = p.start / rowSamples;
        long whole = (long)floor(row + 0.01);
        double late = (row - whole) * rowSamples;   // in samples
        double want = whole % 2 ? 0.12 * rowSamples : 0.0;
        ASSERT_LT(fabs(late - want), 1.0) << "a tick at row " << row;
        ticks++;
    }
    EXPECT_GT(ticks, 1000);
}

// The song is in G major: every bass note lies on its scale, and lasts at
// least a row (the shortest written are the driving eighths, 1.6 rows). It opens on G
// (the intro's first fiddle chord), the finale winds up on D7 (its bass plays
// D and A, root and fifth), and the last bar's banjo roll dies away.
TEST(Arrangement, TheKeyOfGAndTheChordsThatFrameTheSong)
{
    arrangeShow();
    const int scale[7] = {7, 9, 11, 0, 2, 4, 6};   // G A B C D E F#
    const MusicSection* finale = section("finale");
    const MusicSection* outro = section("outro");
    ASSERT_TRUE(finale && outro);
    int finaleFrom = lround(finale->row * rowSamples), finaleTo = lround(outro->row * rowSamples);
    int lastBar = lround((showTimeline.endRow - 16) * rowSamples);
    int finaleNotes = 0;
    const Played* firstFiddle = nullptr;
    std::vector<float> lastRoll;
    for (const Played& p : played) {
        int pitch = (int)lroundf(p.note) % 12;
        if (p.voice == Bass) {
            EXPECT_NE(std::find(scale, scale + 7, pitch), scale + 7) << "bass note " << p.note << " at " << p.start;
            EXPECT_GE(p.seconds * 44100.0, rowSamples) << "bass note at " << p.start;
            if (p.start >= finaleFrom && p.start < finaleTo) {
                EXPECT_TRUE(pitch == 2 || pitch == 9) << "finale bass note " << p.note;
                finaleNotes++;
            }
        }
        if (p.voice == Fiddle && (!firstFiddle || p.start < firstFiddle->start)) firstFiddle = &p;
        if (p.voice == Banjo && p.start >= lastBar + 4000) lastRoll.push_back(p.gain);   // after the stab
    }
    EXPECT_GT(finaleNotes, 0);
    ASSERT_TRUE(firstFiddle);
    EXPECT_EQ((int)lroundf(firstFiddle->note) % 12, 7) << firstFiddle->note;
    ASSERT_GE(lastRoll.size(), 4u);
    for (size_t k = 1; k < lastRoll.size(); k++) EXPECT_LT(lastRoll[k], lastRoll[k - 1]) << k;
}

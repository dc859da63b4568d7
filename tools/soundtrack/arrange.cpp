// The arrangement: a barn-stomp in G for stomp, claps, washboard, jug bass,
// banjo and fiddle. Each music section of the timeline is played in its style
// over its own bars, so the music changes exactly where the timeline says.
#include "tools/soundtrack/synth.h"
#include "show/vocabulary.h"
#include "sync/timeline_text.h"
#include <math.h>
#include <stdio.h>
#include <string.h>

enum { RowsPerBar = 16, MaxPhraseNotes = 64 };

// Song state for one render: the timeline's clock, the mix, and the row where
// the section being played must stop.
struct Song {
    const Timeline* timeline;
    Mix* mix;
    double cutRow;
};

// The sample of a row. Rows at or past the section's end map far before the
// song's start, where no note reaches the mix: a section that does not fill
// its last bar is cut where the next one begins.
static int sampleAt(const Song* song, double row)
{
    if (row >= song->cutRow) return -(1 << 30);
    return (int)lround(rowSeconds(song->timeline, row) * SampleRate);
}

static double rowLength(const Song* song) { return rowSeconds(song->timeline, 1.0); }

// ---- harmony -------------------------------------------------------------------

struct Chord {
    int root;      // MIDI note of the root in octave 3 (G3 = 55 ... F#4 = 66)
    int third;     // 3 minor, 4 major
    int seventh;   // 0 none, 10 dominant
};

// "G", "C", "D", "Em", "Am", "B7", "D7", "E7"...
static Chord parseChord(const char* name)
{
    static const char letters[] = "CDEFGAB";
    static const int semitone[] = {0, 2, 4, 5, 7, 9, 11};
    Chord c = {55, 4, 0};
    const char* l = strchr(letters, name[0]);
    if (!l) return c;
    int pitch = semitone[l - letters];
    const char* p = name + 1;
    if (*p == '#') pitch++, p++;
    c.root = 48 + pitch;
    if (c.root < 55) c.root += 12;
    if (*p == 'm') c.third = 3, p++;
    if (*p == '7') c.seventh = 10;
    return c;
}

// Chord of bar `bar` in a progression of space-separated chord names.
static Chord chordOf(const char* progression, int bar)
{
    char names[24][8];
    int count = 0;
    const char* p = progression;
    while (*p && count < 24) {
        while (*p == ' ') p++;
        int n = 0;
        while (*p && *p != ' ' && n < 7) names[count][n++] = *p++;
        names[count][n] = 0;
        if (n) count++;
    }
    if (count == 0) return parseChord("G");
    return parseChord(names[bar % count]);
}

// The k-th chord tone counted upward from the root (0 root, 1 third, 2 fifth,
// then the next octave).
static int chordTone(Chord c, int k)
{
    int tones[4] = {0, c.third, 7, c.seventh};
    int per = c.seventh ? 4 : 3;
    int octave = k >= 0 ? k / per : -((-k + per - 1) / per);
    int i = k - octave * per;
    return c.root + tones[i] + 12 * octave;
}

// Nearest chord tone at or above a MIDI note.
static int chordToneFrom(Chord c, int note)
{
    for (int k = -9; k < 20; k++) {
        int t = chordTone(c, k);
        if (t >= note) return t;
    }
    return note;
}

// ---- melodies --------------------------------------------------------------------

struct Note {
    int pitch;    // MIDI, -1 rest
    int start;    // in rows from the phrase start
    int length;   // in rows
};

// Phrases as "name+octave.rows" words: "g4.2 f#5.2 r.4". Returns the note count.
static int parsePhrase(const char* text, Note* notes, int max)
{
    static const char letters[] = "cdefgab";
    static const int semitone[] = {0, 2, 4, 5, 7, 9, 11};
    int count = 0, at = 0;
    const char* p = text;
    while (*p && count < max) {
        while (*p == ' ') p++;
        if (!*p) break;
        int pitch = -1;
        if (*p != 'r') {
            const char* l = strchr(letters, *p);
            if (!l) return count;
            pitch = semitone[l - letters];
            p++;
            if (*p == '#') pitch++, p++;
            if (*p == 'b') pitch--, p++;
            int octave = *p++ - '0';
            pitch += 12 * (octave + 1);
        } else {
            p++;
        }
        if (*p++ != '.') return count;
        int length = 0;
        while (*p >= '0' && *p <= '9') length = length * 10 + (*p++ - '0');
        notes[count++] = {pitch, at, length};
        at += length;
    }
    return count;
}

// Melody A over G G C G | G D G G; melody B over Em C G D | Em C D D; the
// standoff in E minor over Em Em Am Em | B7 B7 Em Em. One string per bar.
static const char* const melodyA[8] = {
    "g4.2 b4.2 d5.4 b4.2 d5.2 g5.4",           "f#5.2 g5.2 a5.2 g5.2 e5.2 d5.2 b4.4",
    "c5.2 e5.2 g5.4 e5.2 g5.2 c6.4",           "b5.4 a5.2 g5.2 d5.8",
    "g4.2 b4.2 d5.2 g5.2 b5.4 a5.2 g5.2",      "a5.2 f#5.2 d5.2 f#5.2 a5.4 c6.4",
    "b5.2 a5.2 g5.2 e5.2 d5.2 b4.2 a4.2 b4.2", "g4.12 r.4",
};
static const char* const melodyB[8] = {
    "e5.4 g5.2 b5.2 e6.4 d6.2 b5.2",       "c6.4 b5.2 a5.2 g5.4 e5.4",
    "d5.2 g5.2 b5.2 d6.2 b5.4 g5.4",       "a5.4 f#5.2 a5.2 d6.8",
    "e6.2 d6.2 b5.2 g5.2 e5.4 g5.4",       "e5.2 g5.2 c6.4 b5.2 a5.2 g5.4",
    "f#5.2 g5.2 a5.2 b5.2 c6.2 b5.2 a5.4", "d6.12 r.4",
};
static const char* const melodyStandoff[8] = {
    "e5.8 g5.4 f#5.4",  "e5.12 b4.4", "c5.8 e5.4 a5.4",        "g5.8 f#5.4 e5.4",
    "d#5.8 f#5.4 a5.4", "b5.12 a5.4", "g5.4 f#5.4 e5.4 d#5.4", "e5.16",
};
// The chords of each music style, one per bar, repeating (indexed like
// showMusicStyles).
static const char* const styleChords[ShowMusicStyleCount] = {
    "G G C G G D7 G G",                     // intro
    "Em C G D Em C D D",                    // night
    "C C G G Am Am D D",                    // rise
    "G G C G G D7 G G G G C G",             // breakout
    "G G C C D D G G",                      // press
    "Em Em Am Em B7 B7 Em Em",              // standoff
    "G G D D C C D D",                      // chase
    "Em C G D Em C D D G G C G G D7 G G",   // greets
    "D7",                                   // finale
    "G G C G G D7 G G",                     // outro
};

// Plays one bar of a phrase on the fiddle, transposed by `shift` semitones.
static void playBar(Song* song, const char* bar, double barRow, int shift, float gain)
{
    Note notes[MaxPhraseNotes];
    int count = parsePhrase(bar, notes, MaxPhraseNotes);
    for (int i = 0; i < count; i++) {
        if (notes[i].pitch < 0) continue;
        double seconds = notes[i].length * rowLength(song) * 0.92;
        addFiddle(song->mix, sampleAt(song, barRow + notes[i].start), (float)(notes[i].pitch + shift), (float)seconds,
                  gain, 0.25f);
    }
}

// A second fiddle under the melody: on each note of a beat or longer, the
// nearest chord tone at least a minor third below it, panned the other way.
static void harmonyBar(Song* song, const char* bar, double barRow, Chord c, float gain)
{
    Note notes[MaxPhraseNotes];
    int count = parsePhrase(bar, notes, MaxPhraseNotes);
    for (int i = 0; i < count; i++) {
        if (notes[i].pitch < 0 || notes[i].length < 4) continue;
        int below = notes[i].pitch - 3;
        while (below > 48 && chordToneFrom(c, below) != below) below--;
        double seconds = notes[i].length * rowLength(song) * 0.92;
        addFiddle(song->mix, sampleAt(song, barRow + notes[i].start), (float)below, (float)seconds, gain, -0.2f);
    }
}

// ---- rhythm section --------------------------------------------------------------

// Stomp on every beat; claps on 2 and 4 (clapLevel 0 leaves them out).
static void stompBar(Song* song, double barRow, float stomp, float clap)
{
    for (int beat = 0; beat < 4; beat++) {
        float accent = beat == 0 ? 1.0f : 0.88f;
        addStomp(song->mix, sampleAt(song, barRow + beat * 4), stomp * accent);
        if (clap > 0 && (beat == 1 || beat == 3)) addClap(song->mix, sampleAt(song, barRow + beat * 4), clap);
    }
}

// Claps on every eighth (step 2) or sixteenth (step 1) for `rows` rows, rising.
static void clapRoll(Song* song, double fromRow, int rows, int step, float from, float to)
{
    for (int r = 0; r < rows; r += step) {
        float g = from + (to - from) * r / rows;
        addClap(song->mix, sampleAt(song, fromRow + r), g);
    }
}

// Washboard: sixteenths with a swing and accents on the off-beats.
static void washboardBar(Song* song, double barRow, float gain, int sixteenths)
{
    static const float accent[4] = {0.55f, 0.35f, 1.0f, 0.45f};
    for (int r = 0; r < RowsPerBar; r += sixteenths ? 1 : 2) {
        double swing = (r & 1) ? 0.12 : 0.0;
        addWashboard(song->mix, sampleAt(song, barRow + r + swing), gain * accent[r & 3], (r & 3) == 2);
    }
}

// Jug bass: root on 1, fifth on 3 (boom-chick), or eighths for drive.
static void bassBar(Song* song, double barRow, Chord c, float gain, int eighths)
{
    int root = c.root - 24 < 36 ? c.root - 12 : c.root - 24;
    int fifth = root + 7 > 50 ? root - 5 : root + 7;
    if (!eighths) {
        double beat = 4 * rowLength(song);
        addBass(song->mix, sampleAt(song, barRow), (float)root, (float)(beat * 1.7), gain);
        addBass(song->mix, sampleAt(song, barRow + 8), (float)fifth, (float)(beat * 1.7), gain * 0.9f);
        return;
    }
    for (int r = 0; r < RowsPerBar; r += 2) {
        int note = (r / 4) % 2 ? fifth : root;
        if (r % 4 == 2) note += 12;
        addBass(song->mix, sampleAt(song, barRow + r), (float)note, (float)(rowLength(song) * 1.6),
                gain * (r % 4 ? 0.7f : 1.0f));
    }
}

// Banjo forward roll over the chord: thumb, index, middle around the fifth
// string's drone G4, in sixteenths (or eighths when sparse).
static void banjoBar(Song* song, double barRow, Chord c, float gain, int sparse)
{
    int low = chordToneFrom(c, 55), mid = chordToneFrom(c, 62), high = chordToneFrom(c, 69);
    const int roll[8] = {low, mid, high, low, mid, high, 67, high};
    int step = sparse ? 2 : 1;
    for (int r = 0, k = 0; r < RowsPerBar; r += step, k++) {
        double swing = (r & 1) ? 0.12 : 0.0;
        float accent = (r % 4 == 0) ? 1.0f : 0.72f;
        addBanjo(song->mix, sampleAt(song, barRow + r + swing), (float)roll[k % 8], gain * accent, -0.3f);
    }
}

// A strummed chord on the banjo with a stomp and a clap: the band's stab.
static void stab(Song* song, double row, Chord c, float gain)
{
    for (int k = 0; k < 4; k++)
        addBanjo(song->mix, sampleAt(song, row) + k * 220, (float)chordTone(c, 3 + k), gain * 0.8f, -0.3f + 0.2f * k);
    addClap(song->mix, sampleAt(song, row), gain * 0.6f);
    addBass(song->mix, sampleAt(song, row), (float)(c.root - 12), (float)(rowLength(song) * 3), gain);
}

// ---- styles ----------------------------------------------------------------------

// One section in one style: bars [0, bars) starting at row `start`.
struct Section {
    int style;
    double start;
    int bars;
};

static void playIntro(Song* song, const Section* s)
{
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        int phase = b * 16 / (s->bars > 0 ? s->bars : 1);   // 0..15 over the section
        Chord c = chordOf(styleChords[0], b);
        stompBar(song, row, 0.85f, phase >= 8 ? 0.32f : 0.0f);
        banjoBar(song, row, c, phase >= 8 ? 0.26f : 0.2f, phase < 8);
        if (phase >= 4) {
            washboardBar(song, row, 0.10f, phase >= 8);
            bassBar(song, row, c, 0.45f, 0);
        }
        if (phase < 8) {
            double seconds = RowsPerBar * rowLength(song) * 0.96;
            addFiddle(song->mix, sampleAt(song, row), (float)chordTone(c, 3), (float)seconds, 0.16f, 0.2f);
            addFiddle(song->mix, sampleAt(song, row), (float)chordTone(c, 5), (float)seconds, 0.12f, 0.3f);
        } else {
            playBar(song, melodyA[(b - (s->bars / 2)) & 7], row, 0, 0.22f);
        }
        if (b == s->bars - 1) clapRoll(song, row + 12, 4, 1, 0.1f, 0.3f);
    }
}

static void playNight(Song* song, const Section* s)
{
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        Chord c = chordOf(styleChords[1], b);
        stompBar(song, row, 0.8f, 0.18f);
        washboardBar(song, row, 0.07f, 0);
        bassBar(song, row, c, 0.45f, 0);
        banjoBar(song, row, c, 0.15f, 0);
        playBar(song, melodyB[b & 7], row, -12, 0.2f);
    }
}

static void playRise(Song* song, const Section* s)
{
    static const int climb[8] = {62, 64, 67, 69, 71, 72, 74, 74};
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        float lift = (float)b / (s->bars > 1 ? s->bars - 1 : 1);
        Chord c = chordOf(styleChords[2], b);
        stompBar(song, row, 0.85f + 0.1f * lift, b < s->bars / 2 ? 0.25f : 0.0f);
        if (b >= s->bars / 2 && b < s->bars - 1) clapRoll(song, row, RowsPerBar, 2, 0.18f, 0.26f);
        if (b == s->bars - 1) clapRoll(song, row, RowsPerBar, 1, 0.15f, 0.4f);
        washboardBar(song, row, 0.07f + 0.06f * lift, 1);
        bassBar(song, row, c, 0.45f, b >= s->bars / 2);
        banjoBar(song, row, c, 0.2f + 0.08f * lift, 0);
        double half = 8 * rowLength(song) * 0.95;
        int note = chordToneFrom(c, climb[b & 7]);
        addFiddle(song->mix, sampleAt(song, row), (float)note, (float)half, 0.22f, 0.25f);
        addFiddle(song->mix, sampleAt(song, row + 8), (float)chordToneFrom(c, note + 1), (float)half, 0.22f, 0.25f);
    }
}

// Full band; melody A, from its start again after eight bars.
static void playBreakout(Song* song, const Section* s, const char* const* melody, const char* prog, float level)
{
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        Chord c = chordOf(prog, b);
        stompBar(song, row, 1.0f * level, 0.32f * level);
        washboardBar(song, row, 0.11f * level, 1);
        bassBar(song, row, c, 0.5f * level, 0);
        banjoBar(song, row, c, 0.24f * level, 0);
        playBar(song, melody[b & 7], row, 0, 0.24f * level);
        if (level > 1.0f) harmonyBar(song, melody[b & 7], row, c, 0.15f);
    }
}

static void playPress(Song* song, const Section* s)
{
    static const int riff[8] = {12, 12, 7, 12, 14, 16, 14, 12};
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        Chord c = chordOf(styleChords[4], b);
        stompBar(song, row, 1.0f, 0.3f);
        washboardBar(song, row, 0.1f, 1);
        banjoBar(song, row, c, 0.26f, 0);
        static const int walk[4] = {0, 4, 7, 9};
        for (int beat = 0; beat < 4; beat++)
            addBass(song->mix, sampleAt(song, row + beat * 4),
                    (float)(c.root - 24 + walk[beat] + (c.root < 60 ? 12 : 0)), (float)(rowLength(song) * 3.4), 0.48f);
        int base = c.root + 12 > 79 ? c.root : c.root + 12;
        for (int k = 0; k < 8; k++)
            addFiddle(song->mix, sampleAt(song, row + 2 * k), (float)(base + riff[k] - 12),
                      (float)(rowLength(song) * 1.7), 0.2f, 0.25f);
    }
}

static void playStandoff(Song* song, const Section* s)
{
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        Chord c = chordOf(styleChords[5], b);
        int second = b >= s->bars / 2;
        stompBar(song, row, second ? 0.9f : 0.65f, second ? 0.28f : 0.0f);
        double whole = RowsPerBar * rowLength(song);
        addBass(song->mix, sampleAt(song, row), (float)(c.root - 24 < 31 ? c.root - 12 : c.root - 24),
                (float)(whole * 0.95), 0.5f);
        for (int r = 2; r < RowsPerBar; r += 4) addWashboard(song->mix, sampleAt(song, row + r), 0.08f, 1);
        if (second) banjoBar(song, row, c, 0.2f, 0);
        playBar(song, melodyStandoff[b & 7], row, 0, 0.23f);
    }
}

// Sixteenth-note fiddle runs up and down the G major scale from a chord tone.
static void playChase(Song* song, const Section* s)
{
    static const int scale[7] = {0, 2, 4, 5, 7, 9, 11};
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        Chord c = chordOf(styleChords[6], b);
        stompBar(song, row, 1.0f, 0.32f);
        washboardBar(song, row, 0.12f, 1);
        bassBar(song, row, c, 0.48f, 1);
        banjoBar(song, row, c, 0.25f, 0);
        int degree = ((c.root - 55) == 0 ? 0 : (c.root - 55) == 7 ? 4 : 3);   // G, D or C in G major
        for (int r = 0; r < RowsPerBar; r++) {
            int beat = r / 4, step = r % 4;
            int d = degree + ((beat & 1) ? 6 - step : step + (beat == 2 ? 2 : 0));
            int note = 67 + scale[d % 7] + 12 * (d / 7);
            addFiddle(song->mix, sampleAt(song, row + r), (float)note, (float)(rowLength(song) * 0.9), 0.19f, 0.25f);
        }
    }
}

static void playGreets(Song* song, const Section* s)
{
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        int inB = (b / 8) % 2 == 0;
        Chord c = chordOf(styleChords[7], b);
        stompBar(song, row, 1.0f, 0.32f);
        washboardBar(song, row, 0.11f, 1);
        bassBar(song, row, c, 0.5f, 0);
        banjoBar(song, row, c, 0.24f, 0);
        playBar(song, (inB ? melodyB : melodyA)[b & 7], row, 0, 0.25f);
        if (b >= 4) harmonyBar(song, (inB ? melodyB : melodyA)[b & 7], row, c, 0.15f);
    }
}

// The wind-up before the blast: a D pedal, rising fiddle, claps doubling up.
static void playFinale(Song* song, const Section* s)
{
    static const int rise[4] = {69, 72, 74, 78};
    Chord d = chordOf(styleChords[8], 0);
    for (int b = 0; b < s->bars; b++) {
        double row = s->start + b * RowsPerBar;
        float lift = (float)b / (s->bars > 1 ? s->bars - 1 : 1);
        stompBar(song, row, 0.85f + 0.15f * lift, 0.0f);
        clapRoll(song, row, RowsPerBar, b >= s->bars - 2 ? 1 : 2, 0.15f + 0.1f * lift, 0.25f + 0.15f * lift);
        washboardBar(song, row, 0.08f + 0.05f * lift, 1);
        bassBar(song, row, d, 0.5f, 1);
        banjoBar(song, row, d, 0.2f + 0.08f * lift, 0);
        addFiddle(song->mix, sampleAt(song, row), (float)rise[b & 3], (float)(RowsPerBar * rowLength(song) * 0.97),
                  0.2f + 0.06f * lift, 0.25f);
    }
}

// The last chorus, a stop-time bar and the final chord that rings out.
static void playOutro(Song* song, const Section* s)
{
    Section chorus = *s;
    chorus.bars = s->bars > 2 ? s->bars - 2 : 0;
    playBreakout(song, &chorus, melodyA, styleChords[9], 1.05f);
    Chord g = parseChord("G"), dd = parseChord("D7");
    if (s->bars >= 2) {
        double row = s->start + (s->bars - 2) * RowsPerBar;
        stompBar(song, row, 0.95f, 0.0f);
        stab(song, row, g, 0.6f);
        stab(song, row + 6, dd, 0.45f);
        stab(song, row + 12, dd, 0.55f);
        playBar(song, "b5.4 a5.2 d6.6 c6.4", row, 0, 0.24f);
    }
    if (s->bars >= 1) {
        double row = s->start + (s->bars - 1) * RowsPerBar;
        double seconds = RowsPerBar * rowLength(song);
        addStomp(song->mix, sampleAt(song, row), 1.0f);
        for (int beat = 1; beat < 4; beat++) addStomp(song->mix, sampleAt(song, row + beat * 4), 0.35f - 0.08f * beat);
        stab(song, row, g, 0.6f);
        addBass(song->mix, sampleAt(song, row), 43.0f, (float)(seconds * 0.9), 0.4f);
        addFiddle(song->mix, sampleAt(song, row), 79.0f, (float)(seconds * 0.85), 0.24f, 0.25f);
        addFiddle(song->mix, sampleAt(song, row), 74.0f, (float)(seconds * 0.85), 0.18f, 0.15f);
        for (int r = 0; r < RowsPerBar; r += 2)
            addBanjo(song->mix, sampleAt(song, row + r), (float)chordTone(g, 4 + (r / 2) % 3),
                     0.2f * (1.0f - r / 20.0f), -0.3f);
    }
}

static int styleIndex(const char* name) { return vocabularyIndex(showMusicStyles, ShowMusicStyleCount, name); }

static void playSection(Song* song, const Section* s)
{
    switch (s->style) {
    case StyleIntro: playIntro(song, s); break;
    case StyleNight: playNight(song, s); break;
    case StyleRise: playRise(song, s); break;
    case StyleBreakout: playBreakout(song, s, melodyA, styleChords[StyleBreakout], 1.0f); break;
    case StylePress: playPress(song, s); break;
    case StyleStandoff: playStandoff(song, s); break;
    case StyleChase: playChase(song, s); break;
    case StyleGreets: playGreets(song, s); break;
    case StyleFinale: playFinale(song, s); break;
    default: playOutro(song, s); break;
    }
}

// The chord under a row: its section's style and bar.
static Chord chordAt(const Timeline* timeline, int row)
{
    const MusicSection* section = nullptr;
    for (int i = 0; i < timeline->sectionCount; i++)
        if (timeline->sections[i].row <= row) section = &timeline->sections[i];
    if (!section) return parseChord("G");
    int style = styleIndex(section->style);
    return chordOf(styleChords[style < 0 ? 0 : style], (row - section->row) / RowsPerBar);
}

static void playCue(Song* song, const MusicCue* cue, int index)
{
    int at = sampleAt(song, cue->row);
    switch (vocabularyIndex(showCueNames, ShowCueCount, cue->name)) {
    case CueShot: addShot(song->mix, at, 0.6f); break;
    case CueSmash: addSmash(song->mix, at, 0.35f, (uint32_t)index * 7919u); break;
    case CueBoom: addBoom(song->mix, at, 1.0f); break;
    default: stab(song, cue->row, chordAt(song->timeline, cue->row), 0.4f); break;
    }
}

int songLength(const Timeline* timeline) { return (int)lround(rowSeconds(timeline, timeline->endRow) * SampleRate); }

int arrangeSong(const Timeline* timeline, Mix* mix)
{
    if (timeline->rowsPerBeat * timeline->beatsPerBar != RowsPerBar) {
        fprintf(stderr,
                "soundtrack: the band plays 4 beats of 4 rows to the bar, the timeline "
                "has %d of %d\n",
                timeline->beatsPerBar, timeline->rowsPerBeat);
        return 0;
    }
    if (timeline->sectionCount == 0 || timeline->endRow <= 0) {
        fprintf(stderr, "soundtrack: the timeline has no music sections or no end\n");
        return 0;
    }
    Song song = {timeline, mix, 0.0};
    for (int i = 0; i < timeline->sectionCount; i++) {
        const MusicSection* m = &timeline->sections[i];
        int end = i + 1 < timeline->sectionCount ? timeline->sections[i + 1].row : timeline->endRow;
        Section s = {styleIndex(m->style), (double)m->row, (end - m->row + RowsPerBar - 1) / RowsPerBar};
        song.cutRow = end;
        playSection(&song, &s);
    }
    song.cutRow = timeline->endRow;
    for (int i = 0; i < timeline->cueCount; i++) playCue(&song, &timeline->cues[i], i);
    return 1;
}

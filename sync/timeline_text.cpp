// The timeline parser and the .track writer. The format is line based; see the
// head of data/timeline.txt for the reference an author reads.
#include "sync/timeline_text.h"
#include <errno.h>
#include <math.h>
#include <stdint.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* const keyTypeNames[4] = {"step", "linear", "smooth", "ramp"};

enum { MaxLine = 1024, MaxTokens = 16, MaxTimelineBytes = 1 << 20 };

// Position of a key written as "last": the row before the next block starts,
// known only once the whole file is read. Such keys are held with a negative
// row, -1 - (index of their block), and placed by placeLastKeys.
enum { LastRow = -1 };

int vocabularyIndex(const char* const* words, int count, const char* name)
{
    if (!words || !name) return -1;
    for (int i = 0; i < count; i++)
        if (words[i] && strcmp(name, words[i]) == 0) return i;
    return -1;
}

int timelineTrackIndex(const Timeline* timeline, const char* name)
{
    return vocabularyIndex(timeline->vocabulary->trackNames, timeline->trackCount, name);
}

const char* timelineTrackName(const Timeline* timeline, int track)
{
    return track >= 0 && track < timeline->trackCount ? timeline->vocabulary->trackNames[track] : "?";
}

const char* keyTypeName(int type)
{
    if (type < 0 || type > 3) return "?";
    return keyTypeNames[type];
}

// Parser state: the timeline being filled and where the current block starts.
struct ParseState {
    Timeline* timeline;
    const char* name;
    int line;
    int blockRow;                          // row of the current scene block, -1 before the first
    int lastScene;                         // number of the latest scene block
    int blockCount;                        // scene blocks so far
    int blockRows[MaxMusicSections + 1];   // start row of each block, then the end
    char* error;
    int errorSize;
};

static int fail(ParseState* s, const char* format, ...)
{
    char text[512];
    va_list args;
    va_start(args, format);
    vsnprintf(text, sizeof text, format, args);
    va_end(args);
    snprintf(s->error, (size_t)s->errorSize, "%s:%d: %s", s->name, s->line, text);
    return 0;
}

// Whole-token integer. Returns 1 and the value, or 0.
static int parseInt(const char* text, long* value)
{
    char* end = nullptr;
    errno = 0;
    long v = strtol(text, &end, 10);
    if (end == text || *end != 0 || errno != 0) return 0;
    *value = v;
    return 1;
}

// Whole-token finite float.
static int parseFloat(const char* text, float* value)
{
    char* end = nullptr;
    errno = 0;
    float v = strtof(text, &end);
    if (end == text || *end != 0 || errno == ERANGE || !isfinite(v)) return 0;
    *value = v;
    return 1;
}

// A position: "BAR", "BAR:BEAT", "BAR:BEAT:ROW" (all counted from 0), "rROWS"
// or "SECONDSs" (rounded to the nearest row). Gives a row count from the
// reference point. Returns 1, or 0 with the message set.
static int parsePosition(ParseState* s, const char* text, int* row)
{
    const Timeline* t = s->timeline;
    size_t n = strlen(text);
    long total = 0;
    if (strcmp(text, "last") == 0) {
        if (s->blockRow < 0) return fail(s, "'last' is the last row of a scene block");
        *row = LastRow;
        return 1;
    }
    if (text[0] == 'r') {
        if (!parseInt(text + 1, &total) || total < 0) return fail(s, "bad row position '%s' (rN with N >= 0)", text);
    } else if (n > 1 && text[n - 1] == 's') {
        char number[64];
        if (n - 1 >= sizeof number) return fail(s, "bad time position '%s'", text);
        memcpy(number, text, n - 1);
        number[n - 1] = 0;
        float seconds = 0;
        if (!parseFloat(number, &seconds) || seconds < 0 || seconds > 36000)
            return fail(s, "bad time position '%s' (seconds, e.g. 12.5s)", text);
        total = lround((double)seconds * t->bpm * t->rowsPerBeat / 60.0);
    } else {
        long parts[3] = {0, 0, 0};
        int count = 0;
        const char* p = text;
        while (count < 3) {
            char piece[32];
            const char* colon = strchr(p, ':');
            size_t len = colon ? (size_t)(colon - p) : strlen(p);
            if (len == 0 || len >= sizeof piece)
                return fail(s, "bad position '%s' (BAR, BAR:BEAT or BAR:BEAT:ROW)", text);
            memcpy(piece, p, len);
            piece[len] = 0;
            if (!parseInt(piece, &parts[count]) || parts[count] < 0)
                return fail(s, "bad position '%s' (BAR, BAR:BEAT or BAR:BEAT:ROW)", text);
            count++;
            if (!colon) break;
            p = colon + 1;
            if (count == 3) return fail(s, "bad position '%s' (at most BAR:BEAT:ROW)", text);
        }
        if (parts[1] >= t->beatsPerBar)
            return fail(s, "beat %ld in '%s' is past the bar (beats 0 to %d)", parts[1], text, t->beatsPerBar - 1);
        if (parts[2] >= t->rowsPerBeat)
            return fail(s, "row %ld in '%s' is past the beat (rows 0 to %d)", parts[2], text, t->rowsPerBeat - 1);
        if (parts[0] > 100000) return fail(s, "bar %ld in '%s' is too far", parts[0], text);
        total = (parts[0] * t->beatsPerBar + parts[1]) * t->rowsPerBeat + parts[2];
    }
    if (total > 10000000) return fail(s, "position '%s' is too far", text);
    *row = (int)total;
    return 1;
}

static int addKey(ParseState* s, int track, int row, float value, int type)
{
    TimelineTrack* t = &s->timeline->tracks[track];
    if (t->keyCount >= MaxTimelineKeys)
        return fail(s, "too many keys in track %s (at most %d)", timelineTrackName(s->timeline, track),
                    MaxTimelineKeys);
    TimelineKey* k = &t->keys[t->keyCount++];
    k->row = row;
    k->value = value;
    k->type = type;
    k->line = s->line;
    return 1;
}

static int copyWord(ParseState* s, char* out, const char* word, const char* what)
{
    if (strlen(word) >= MaxTimelineWord) return fail(s, "%s name '%s' is too long", what, word);
    strcpy(out, word);
    return 1;
}

static int addSection(ParseState* s, int row, const char* style)
{
    Timeline* t = s->timeline;
    if (t->sectionCount >= MaxMusicSections) return fail(s, "too many music sections (at most %d)", MaxMusicSections);
    MusicSection* m = &t->sections[t->sectionCount];
    const ShowVocabulary* v = t->vocabulary;
    if (vocabularyIndex(v->musicStyles, v->musicStyleCount, style) < 0)
        return fail(s, "unknown music style '%s'", style);
    if (!copyWord(s, m->style, style, "music")) return 0;
    m->row = row;
    m->scene = s->lastScene;
    m->line = s->line;
    t->sectionCount++;
    return 1;
}

// "tempo 130", "rows-per-beat 4", "beats-per-bar 4": before the first scene.
static int parseSetting(ParseState* s, char** tok, int count)
{
    Timeline* t = s->timeline;
    if (count != 2) return fail(s, "'%s' takes one number", tok[0]);
    if (s->blockRow >= 0) return fail(s, "'%s' must come before the first scene", tok[0]);
    if (strcmp(tok[0], "tempo") == 0) {
        float bpm = 0;
        if (!parseFloat(tok[1], &bpm) || bpm < 20 || bpm > 400)
            return fail(s, "tempo '%s' is not a number of beats per minute (20 to 400)", tok[1]);
        t->bpm = bpm;
        return 1;
    }
    long v = 0;
    if (!parseInt(tok[1], &v) || v < 1 || v > 32)
        return fail(s, "'%s' needs a whole number from 1 to 32, not '%s'", tok[0], tok[1]);
    if (strcmp(tok[0], "rows-per-beat") == 0)
        t->rowsPerBeat = (int)v;
    else
        t->beatsPerBar = (int)v;
    return 1;
}

// "scene N at POS music STYLE"
static int parseScene(ParseState* s, char** tok, int count)
{
    long scene = 0;
    int row = 0;
    if (count != 6 || strcmp(tok[2], "at") != 0 || strcmp(tok[4], "music") != 0)
        return fail(s, "expected 'scene N at POS music STYLE'");
    int sceneCount = s->timeline->vocabulary->sceneCount;
    if (!parseInt(tok[1], &scene) || scene < 1 || scene > sceneCount)
        return fail(s, "scene number '%s' is not 1 to %d", tok[1], sceneCount);
    if (s->timeline->endRow >= 0) return fail(s, "scene after the end of the show");
    if (!parsePosition(s, tok[3], &row)) return 0;
    if (row == LastRow) return fail(s, "a scene starts at an absolute position, not 'last'");
    if (row <= s->blockRow && s->blockRow >= 0)
        return fail(s, "scene starts at row %d, not after the previous scene (row %d)", row, s->blockRow);
    if (s->blockCount >= MaxMusicSections) return fail(s, "too many scenes");
    s->blockRows[s->blockCount++] = row;
    s->blockRow = row;
    s->lastScene = (int)scene;
    if (!addKey(s, 0, row, (float)scene, KeyStep)) return 0;
    return addSection(s, row, tok[5]);
}

// "end at POS": the scene key that ends the show. After the last scene the
// jump to scene 1 ends it; after any other scene, scene -1 with part -1 does.
static int parseEnd(ParseState* s, char** tok, int count)
{
    int row = 0;
    if (count != 3 || strcmp(tok[1], "at") != 0) return fail(s, "expected 'end at POS'");
    if (s->blockRow < 0) return fail(s, "the end comes before any scene");
    if (s->timeline->endRow >= 0) return fail(s, "the show already ends earlier");
    if (!parsePosition(s, tok[2], &row)) return 0;
    if (row == LastRow) return fail(s, "the end is an absolute position, not 'last'");
    if (row <= s->blockRow)
        return fail(s, "the end (row %d) is not after the last scene's start (row %d)", row, s->blockRow);
    s->timeline->endRow = row;
    if (s->lastScene == s->timeline->vocabulary->sceneCount) return addKey(s, 0, row, 1.0f, KeyStep);
    if (!addKey(s, 0, row, -1.0f, KeyStep)) return 0;
    return addKey(s, 1, row, -1.0f, KeyStep);
}

// "music POS STYLE" and "cue POS NAME" inside a scene block.
static int parseMark(ParseState* s, char** tok, int count)
{
    int row = 0;
    if (count != 3) return fail(s, "expected '%s POS NAME'", tok[0]);
    if (s->blockRow < 0) return fail(s, "'%s' before the first scene", tok[0]);
    if (s->timeline->endRow >= 0) return fail(s, "'%s' after the end of the show", tok[0]);
    if (!parsePosition(s, tok[1], &row)) return 0;
    if (row == LastRow) return fail(s, "'last' is for keys only");
    row += s->blockRow;
    if (tok[0][0] == 'm') return addSection(s, row, tok[2]);
    Timeline* t = s->timeline;
    if (t->cueCount >= MaxMusicCues) return fail(s, "too many cues (at most %d)", MaxMusicCues);
    MusicCue* c = &t->cues[t->cueCount];
    const ShowVocabulary* v = t->vocabulary;
    if (vocabularyIndex(v->cueNames, v->cueCount, tok[2]) < 0) return fail(s, "unknown cue '%s'", tok[2]);
    if (!copyWord(s, c->name, tok[2], "cue")) return 0;
    c->row = row;
    c->line = s->line;
    t->cueCount++;
    return 1;
}

// "TRACK POS VALUE TYPE": a key, its position counted from the scene's start.
static int parseKey(ParseState* s, char** tok, int count)
{
    int track = timelineTrackIndex(s->timeline, tok[0]);
    if (track < 0) return fail(s, "unknown word '%s' (a track name, scene, music, cue, end or a setting)", tok[0]);
    if (track == 0) return fail(s, "scene keys come from 'scene N at POS' lines");
    if (count != 4) return fail(s, "expected '%s POS VALUE TYPE'", tok[0]);
    if (s->blockRow < 0) return fail(s, "key before the first scene");
    if (s->timeline->endRow >= 0) return fail(s, "key after the end of the show");
    int row = 0;
    if (!parsePosition(s, tok[1], &row)) return 0;
    float value = 0;
    if (!parseFloat(tok[2], &value)) return fail(s, "value '%s' is not a number", tok[2]);
    int type = -1;
    for (int i = 0; i < 4; i++)
        if (strcmp(tok[3], keyTypeNames[i]) == 0) type = i;
    if (type < 0) return fail(s, "unknown key type '%s' (step, linear, smooth or ramp)", tok[3]);
    if (row == LastRow) return addKey(s, track, -s->blockCount, value, type);
    return addKey(s, track, s->blockRow + row, value, type);
}

static int parseLine(ParseState* s, char* text)
{
    char* hash = strchr(text, '#');
    if (hash) *hash = 0;
    char* tok[MaxTokens];
    int count = 0;
    for (char* p = strtok(text, " \t\r"); p; p = strtok(nullptr, " \t\r")) {
        if (count == MaxTokens) return fail(s, "too many words on one line");
        tok[count++] = p;
    }
    if (count == 0) return 1;
    if (strcmp(tok[0], "tempo") == 0 || strcmp(tok[0], "rows-per-beat") == 0 || strcmp(tok[0], "beats-per-bar") == 0)
        return parseSetting(s, tok, count);
    if (strcmp(tok[0], "scene") == 0) return parseScene(s, tok, count);
    if (strcmp(tok[0], "end") == 0) return parseEnd(s, tok, count);
    if (strcmp(tok[0], "music") == 0 || strcmp(tok[0], "cue") == 0) return parseMark(s, tok, count);
    return parseKey(s, tok, count);
}

// Gives every "last" key the row before its block's successor (or the end).
static void placeLastKeys(ParseState* s)
{
    s->blockRows[s->blockCount] = s->timeline->endRow;
    for (int i = 0; i < s->timeline->trackCount; i++) {
        TimelineTrack* t = &s->timeline->tracks[i];
        for (int k = 0; k < t->keyCount; k++)
            if (t->keys[k].row < 0) t->keys[k].row = s->blockRows[-t->keys[k].row] - 1;
    }
}

// Stable insertion sort by row; then no row may hold two keys of one track.
static int sortTrack(ParseState* s, int track)
{
    TimelineTrack* t = &s->timeline->tracks[track];
    for (int i = 1; i < t->keyCount; i++) {
        TimelineKey k = t->keys[i];
        int j = i - 1;
        while (j >= 0 && t->keys[j].row > k.row) {
            t->keys[j + 1] = t->keys[j];
            j--;
        }
        t->keys[j + 1] = k;
    }
    for (int i = 1; i < t->keyCount; i++) {
        if (t->keys[i].row != t->keys[i - 1].row) continue;
        const TimelineKey* a = &t->keys[i - 1];
        const TimelineKey* b = &t->keys[i];
        s->line = a->line > b->line ? a->line : b->line;
        return fail(s, "track %s has two keys on row %d (lines %d and %d)", timelineTrackName(s->timeline, track),
                    b->row, a->line < b->line ? a->line : b->line, s->line);
    }
    return 1;
}

static int sortSections(ParseState* s)
{
    Timeline* t = s->timeline;
    for (int i = 1; i < t->sectionCount; i++) {
        MusicSection m = t->sections[i];
        int j = i - 1;
        while (j >= 0 && t->sections[j].row > m.row) {
            t->sections[j + 1] = t->sections[j];
            j--;
        }
        t->sections[j + 1] = m;
    }
    for (int i = 1; i < t->sectionCount; i++) {
        if (t->sections[i].row != t->sections[i - 1].row) continue;
        s->line = t->sections[i].line;
        return fail(s, "two music sections start on row %d", t->sections[i].row);
    }
    if (t->sectionCount > 0 && t->sections[t->sectionCount - 1].row >= t->endRow) {
        s->line = t->sections[t->sectionCount - 1].line;
        return fail(s, "music section starts at or after the end of the show");
    }
    for (int i = 0; i < t->cueCount; i++) {
        if (t->cues[i].row < t->endRow) continue;
        s->line = t->cues[i].line;
        return fail(s, "cue at or after the end of the show");
    }
    return 1;
}

int parseTimeline(const char* text, const char* name, const ShowVocabulary* vocabulary, Timeline* timeline, char* error,
                  int errorSize)
{
    memset(timeline, 0, sizeof *timeline);
    timeline->vocabulary = vocabulary;
    timeline->bpm = vocabulary->bpm;
    timeline->rowsPerBeat = vocabulary->rowsPerBeat;
    timeline->beatsPerBar = 4;
    timeline->endRow = -1;
    ParseState s;
    memset(&s, 0, sizeof s);
    s.timeline = timeline;
    s.name = name;
    s.blockRow = -1;
    s.error = error;
    s.errorSize = errorSize;
    if (errorSize > 0) error[0] = 0;
    // The end rule needs a scene and a part track; the text cannot name more
    // tracks than a timeline holds.
    if (!vocabulary) return fail(&s, "no vocabulary to read the timeline with");
    if (vocabulary->trackCount < 2 || vocabulary->trackCount > MaxTimelineTracks || vocabulary->sceneCount < 1)
        return fail(&s, "the show's vocabulary has %d tracks and %d scenes", vocabulary->trackCount,
                    vocabulary->sceneCount);
    timeline->trackCount = vocabulary->trackCount;
    const char* p = text;
    while (*p) {
        s.line++;
        const char* eol = strchr(p, '\n');
        size_t len = eol ? (size_t)(eol - p) : strlen(p);
        if (len >= MaxLine) return fail(&s, "line longer than %d characters", MaxLine - 1);
        char line[MaxLine];
        memcpy(line, p, len);
        line[len] = 0;
        if (memchr(p, 0, len)) return fail(&s, "NUL byte in the text");
        if (!parseLine(&s, line)) return 0;
        p = eol ? eol + 1 : p + len;
    }
    s.line++;
    if (s.blockRow < 0) return fail(&s, "no scene: add 'scene 1 at 0 music STYLE'");
    if (timeline->endRow < 0) return fail(&s, "the show has no end: add 'end at POS'");
    placeLastKeys(&s);
    for (int i = 0; i < timeline->trackCount; i++)
        if (!sortTrack(&s, i)) return 0;
    return sortSections(&s);
}

int loadTimeline(const char* path, const ShowVocabulary* vocabulary, Timeline* timeline, char* error, int errorSize)
{
    FILE* f = fopen(path, "rb");
    if (!f) {
        snprintf(error, (size_t)errorSize, "%s: cannot open: %s", path, strerror(errno));
        return 0;
    }
    char* text = (char*)malloc(MaxTimelineBytes + 1);
    if (!text) {
        fclose(f);
        snprintf(error, (size_t)errorSize, "%s: out of memory", path);
        return 0;
    }
    size_t n = fread(text, 1, MaxTimelineBytes + 1, f);
    fclose(f);
    if (n > MaxTimelineBytes) {
        free(text);
        snprintf(error, (size_t)errorSize, "%s: larger than %d bytes", path, MaxTimelineBytes);
        return 0;
    }
    text[n] = 0;
    if (strlen(text) != n) {
        free(text);
        snprintf(error, (size_t)errorSize, "%s: holds a NUL byte, not text", path);
        return 0;
    }
    int ok = parseTimeline(text, path, vocabulary, timeline, error, errorSize);
    free(text);
    return ok;
}

static void putLE32(unsigned char* out, uint32_t v)
{
    out[0] = (unsigned char)v;
    out[1] = (unsigned char)(v >> 8);
    out[2] = (unsigned char)(v >> 16);
    out[3] = (unsigned char)(v >> 24);
}

int encodeTrack(const TimelineTrack* track, unsigned char* out)
{
    putLE32(out, (uint32_t)track->keyCount);
    unsigned char* p = out + 4;
    for (int i = 0; i < track->keyCount; i++) {
        const TimelineKey* k = &track->keys[i];
        uint32_t bits = 0;
        memcpy(&bits, &k->value, 4);
        putLE32(p, (uint32_t)k->row);
        putLE32(p + 4, bits);
        p[8] = (unsigned char)(signed char)k->type;
        p += 9;
    }
    return (int)(p - out);
}

int writeTrackFiles(const Timeline* timeline, const char* outDir, char* error, int errorSize)
{
    static unsigned char bytes[4 + 9 * MaxTimelineKeys];
    for (int i = 0; i < timeline->trackCount; i++) {
        char path[4096];
        int n = snprintf(path, sizeof path, "%s/sync_%s.track", outDir, timelineTrackName(timeline, i));
        if (n < 0 || n >= (int)sizeof path) {
            snprintf(error, (size_t)errorSize, "output directory name too long");
            return 0;
        }
        int size = encodeTrack(&timeline->tracks[i], bytes);
        FILE* f = fopen(path, "wb");
        if (!f) {
            snprintf(error, (size_t)errorSize, "%s: cannot write: %s", path, strerror(errno));
            return 0;
        }
        size_t written = fwrite(bytes, 1, (size_t)size, f);
        int closed = fclose(f);
        if (written != (size_t)size || closed != 0) {
            snprintf(error, (size_t)errorSize, "%s: write failed", path);
            return 0;
        }
    }
    return 1;
}

double rowSeconds(const Timeline* timeline, double row)
{
    return row * 60.0 / ((double)timeline->bpm * timeline->rowsPerBeat);
}

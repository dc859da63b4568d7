// tracktool: turns the authored timeline into the show's .track files, prints a
// track file as the engine reads it, and evaluates the timeline at a show time
// through the engine's own sync player.
#include "sync/timeline_text.h"
#include "sync/timeline_write.h"
#include "show/vocabulary.h"
#include "platform/platform.h"
#include "sync/sync.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* usage = "usage: tracktool build TIMELINE OUTDIR   write sync_<track>.track files\n"
                           "       tracktool dump FILE.track         print a track's keys: row value type\n"
                           "       tracktool at TIMELINE SECONDS     print every track's value at that time\n"
                           "       tracktool text TRACKDIR           print a timeline that builds those tracks\n";

static Timeline timeline;
static SyncTrack tracks[ShowTrackCount];
static SyncKey trackKeys[ShowTrackCount][MaxTimelineKeys];

// The timeline's tempo must be the one the engine plays with (its track names
// are the show's own: it was read in the show's words). Returns 1, or 0 with
// a message on stderr.
static int matchesEngine(const Timeline* t)
{
    if (t->bpm != ShowBpm || t->rowsPerBeat != ShowRowsPerBeat) {
        fprintf(stderr,
                "tracktool: the timeline's tempo (%g bpm, %d rows per beat) differs "
                "from the engine's (%g bpm, %d rows per beat)\n",
                t->bpm, t->rowsPerBeat, ShowBpm, ShowRowsPerBeat);
        return 0;
    }
    return 1;
}

static int loadChecked(const char* path)
{
    char error[600];
    if (!loadTimeline(path, &showVocabulary, &timeline, error, sizeof error)) {
        fprintf(stderr, "tracktool: %s\n", error);
        return 0;
    }
    return matchesEngine(&timeline);
}

// The parsed keys as the engine's in-memory tracks.
static void makeSyncTracks(void)
{
    for (int i = 0; i < ShowTrackCount; i++) {
        const TimelineTrack* src = &timeline.tracks[i];
        for (int k = 0; k < src->keyCount; k++) {
            trackKeys[i][k].row = src->keys[k].row;
            trackKeys[i][k].value = src->keys[k].value;
            trackKeys[i][k].type = src->keys[k].type;
        }
        tracks[i].name = (char*)showTrackNames[i];
        tracks[i].keys = trackKeys[i];
        tracks[i].keyCount = src->keyCount;
    }
}

// Where a scene reads a track, the range its tables allow. Values outside are
// clamped by the scenes, so these are warnings for the author, not errors.
struct RangeRule {
    int scene, track;
    float min, max;
    const char* why;
};
static const RangeRule rangeRules[] = {
    {1, TrackVar0, 0, 4, "its camera path"},    {1, TrackPost2, 0, 1, "its fade"},
    {2, TrackVar0, 0, 4, "its camera path"},    {3, TrackVar0, 0, 4, "its camera path"},
    {4, TrackVar0, 0, 6, "its camera path"},    {4, TrackPart, 0, 6, "its camera path"},
    {5, TrackVar0, 0, 2, "its camera path"},    {5, TrackPart, 0, 8, "the kaleidoscope"},
    {5, TrackPost1, 0, 1, "its tint"},          {6, TrackVar0, 0, 4, "its camera path"},
    {7, TrackVar0, 0, 5, "its camera path"},    {8, TrackVar0, 0, 29, "its camera path"},
    {8, TrackVar1, -1, 16, "the sixteen jugs"}, {9, TrackVar0, 0, 5, "its camera path"},
    {9, TrackVar1, 0.0042f, 1, "the flash"},    {9, TrackPart, -1, 2, "its closing fade"},
};

// Evaluates every row of the show and warns once per stretch where a scene
// gets a value outside its range. Returns the number of warnings.
static int warnRanges(void)
{
    int warnings = 0;
    int count = (int)(sizeof rangeRules / sizeof rangeRules[0]);
    int inside[sizeof rangeRules / sizeof rangeRules[0]];
    for (int r = 0; r < count; r++) inside[r] = 1;
    for (int row = 0; row < timeline.endRow; row++) {
        int scene = (int)trackValue(&tracks[TrackScene], row);
        for (int r = 0; r < count; r++) {
            const RangeRule* rule = &rangeRules[r];
            if (rule->scene != scene) continue;
            float v = trackValue(&tracks[rule->track], row);
            int ok = v >= rule->min && v <= rule->max;
            if (!ok && inside[r]) {
                fprintf(stderr,
                        "tracktool: warning: %s is %g at row %d (bar %d) in scene %d; "
                        "%s takes %g to %g\n",
                        showTrackNames[rule->track], v, row, row / (timeline.rowsPerBeat * timeline.beatsPerBar), scene,
                        rule->why, rule->min, rule->max);
                warnings++;
            }
            inside[r] = ok;
        }
    }
    return warnings;
}

static int commandBuild(const char* path, const char* outDir)
{
    if (!loadChecked(path)) return 1;
    char error[600];
    if (!writeTrackFiles(&timeline, outDir, error, sizeof error)) {
        fprintf(stderr, "tracktool: %s\n", error);
        return 1;
    }
    makeSyncTracks();
    warnRanges();
    return 0;
}

// Checks a track file's shape before the engine reads it: the engine's reader
// keeps what it can of a damaged file, the tool refuses it. Returns 1 or 0.
static int checkTrackFile(const char* path)
{
    unsigned char* bytes = nullptr;
    size_t size = 0;
    if (readWholeFile(path, TrackFileLimit, &bytes, &size) != 1) {
        fprintf(stderr, "tracktool: %s: cannot open\n", path);
        return 0;
    }
    char why[200];
    int count = decodeTrackKeys(bytes, size, 1, nullptr, TrackFileLimit, why, sizeof why);
    free(bytes);
    if (count < 0) fprintf(stderr, "tracktool: %s: damaged: %s\n", path, why);
    return count >= 0;
}

static int commandDump(const char* path)
{
    if (!checkTrackFile(path)) return 1;
    SyncTrack track = {};
    if (!readTrackFile(path, &track)) {
        fprintf(stderr, "tracktool: %s: the engine could not read it\n", path);
        return 1;
    }
    for (int i = 0; i < track.keyCount; i++)
        printf("%d %.9g %d\n", track.keys[i].row, track.keys[i].value, track.keys[i].type);
    free(track.keys);
    return 0;
}

// Sets the engine's row rate the way start-up does, from the built-in
// configuration, without loading any track file.
static void startEngineClock(void)
{
    static DemoConfig toolConfig;
    toolConfig.bpm = ShowBpm;
    toolConfig.rowsPerBeat = ShowRowsPerBeat;
    for (int i = 0; i < MaxTracks; i++) toolConfig.trackNames[i] = nullptr;
    demoConfig = &toolConfig;
    initSync();
}

static int commandAt(const char* path, const char* secondsText)
{
    char* end = nullptr;
    double seconds = strtod(secondsText, &end);
    // A day either way keeps the row well inside the player's integer rows.
    if (end == secondsText || *end != 0 || !isfinite(seconds) || fabs(seconds) > 86400) {
        fprintf(stderr, "tracktool: '%s' is not a time in seconds (within a day)\n", secondsText);
        return 2;
    }
    if (!loadChecked(path)) return 1;
    makeSyncTracks();
    startEngineClock();
    float row = rowForTime((float)seconds);
    for (int i = 0; i < ShowTrackCount; i++)
        printf("%s %.9g\n", showTrackNames[i], trackValue(&tracks[i], (double)row));
    return 0;
}

// ---- tracks back to a timeline ---------------------------------------------------

// The music style a scene gets when a timeline is written from tracks alone
// (sections and cues live only in the timeline); a scene past this list gets
// the first style.
static const char* const defaultStyle[] = {
    "intro", "intro", "night", "rise", "breakout", "press", "standoff", "chase", "greets", "finale",
};

static const char* styleForScene(int scene)
{
    int count = (int)(sizeof defaultStyle / sizeof defaultStyle[0]);
    return scene >= 0 && scene < count ? defaultStyle[scene] : showMusicStyles[0];
}

// A row count as BAR, BAR:BEAT or BAR:BEAT:ROW at the show's tempo.
static const char* positionText(int rows, char* out, int size)
{
    timeline.rowsPerBeat = ShowRowsPerBeat;
    timeline.beatsPerBar = 4;
    formatTimelinePosition(&timeline, rows, out, size);
    return out;
}

// The shortest decimal that reads back as the same float.
static const char* valueText(float value, char* out, int size)
{
    for (int digits = 1; digits <= 9; digits++) {
        snprintf(out, (size_t)size, "%.*g", digits, value);
        if (strtof(out, nullptr) == value) break;
    }
    return out;
}

// Reads the show's track files of a directory with the engine's reader; a
// missing file is an empty track, as for the player. Returns 1 or 0.
static int readTrackDirectory(const char* dir)
{
    for (int i = 0; i < ShowTrackCount; i++) {
        char path[4096];
        snprintf(path, sizeof path, "%s/sync_%s.track", dir, showTrackNames[i]);
        tracks[i].name = (char*)showTrackNames[i];
        FILE* f = fopen(path, "rb");
        if (!f) continue;
        fclose(f);
        if (!checkTrackFile(path) || !readTrackFile(path, &tracks[i])) return 0;
    }
    return 1;
}

// Checks that the scene track is a run of scene blocks closed by an end key
// the timeline can express. Returns the end key's index, or -1 (logged).
static int sceneShape(void)
{
    const SyncTrack* scene = &tracks[TrackScene];
    int n = scene->keyCount;
    if (n < 2) {
        fprintf(stderr, "tracktool: the scene track needs scene keys and an end key\n");
        return -1;
    }
    for (int k = 0; k < n - 1; k++) {
        float v = scene->keys[k].value;
        if (v != floorf(v) || v < 1 || v > ShowSceneCount || scene->keys[k].type != 0) {
            fprintf(stderr,
                    "tracktool: scene key %d (%g, type %d) is not a scene 1 to %d "
                    "held by a step\n",
                    k, v, scene->keys[k].type, ShowSceneCount);
            return -1;
        }
    }
    float last = scene->keys[n - 2].value, end = scene->keys[n - 1].value;
    if (!(last == ShowSceneCount && end == 1) && !(last != ShowSceneCount && end == -1)) {
        fprintf(stderr, "tracktool: the last scene key (%g after %g) is not an end of the show\n", end, last);
        return -1;
    }
    return n - 1;
}

static int commandText(const char* dir)
{
    if (!readTrackDirectory(dir)) return 1;
    int endKey = sceneShape();
    if (endKey < 0) return 1;
    const SyncTrack* scene = &tracks[TrackScene];
    int endRow = scene->keys[endKey].row;
    int ruleB = scene->keys[endKey].value == -1;
    // Every other key must fall inside a scene block; rule B's part key is the end's own.
    for (int i = 1; i < ShowTrackCount; i++)
        for (int k = 0; k < tracks[i].keyCount; k++) {
            const SyncKey* key = &tracks[i].keys[k];
            if (ruleB && i == TrackPart && key->row == endRow && key->value == -1) continue;
            if (key->row < scene->keys[0].row || key->row >= endRow) {
                fprintf(stderr,
                        "tracktool: %s key on row %d lies outside the scenes "
                        "(rows %d to %d)\n",
                        showTrackNames[i], key->row, scene->keys[0].row, endRow - 1);
                return 1;
            }
        }
    if (ruleB) {
        const SyncTrack* part = &tracks[TrackPart];
        int found = 0;
        for (int k = 0; k < part->keyCount; k++) found |= part->keys[k].row == endRow && part->keys[k].value == -1;
        if (!found) {
            fprintf(stderr, "tracktool: the end on row %d has no part key of -1\n", endRow);
            return 1;
        }
    }
    char pos[48], number[32];
    printf("# Written by tracktool text from %s\n", dir);
    printf("tempo %g\nrows-per-beat %d\nbeats-per-bar 4\n", ShowBpm, ShowRowsPerBeat);
    for (int b = 0; b < endKey; b++) {
        int from = scene->keys[b].row, to = scene->keys[b + 1].row;
        int sceneNumber = (int)scene->keys[b].value;
        printf("\nscene %d at %s music %s\n", sceneNumber, positionText(from, pos, sizeof pos),
               styleForScene(sceneNumber));
        for (int i = 1; i < ShowTrackCount; i++)
            for (int k = 0; k < tracks[i].keyCount; k++) {
                const SyncKey* key = &tracks[i].keys[k];
                if (key->row < from || key->row >= to) continue;
                printf("%-7s %-7s %-7s %s\n", showTrackNames[i], positionText(key->row - from, pos, sizeof pos),
                       valueText(key->value, number, sizeof number), keyTypeName(key->type));
            }
    }
    printf("\nend at %s\n", positionText(endRow, pos, sizeof pos));
    return 0;
}

int main(int argc, char** argv)
{
    if (argc == 4 && strcmp(argv[1], "build") == 0) return commandBuild(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "dump") == 0) return commandDump(argv[2]);
    if (argc == 4 && strcmp(argv[1], "at") == 0) return commandAt(argv[2], argv[3]);
    if (argc == 3 && strcmp(argv[1], "text") == 0) return commandText(argv[2]);
    fputs(usage, stderr);
    return 2;
}

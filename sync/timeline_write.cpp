// Writing edited keys back into the timeline text they came from: statements
// are changed, removed or added one line at a time, so comments, blank lines
// and untouched statements keep their bytes; and the whole-file replacement.
#include "sync/timeline_write.h"
#include <errno.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

enum { MaxLineText = 1024 + 64, MaxLineTokens = 16 };

int formatTimelineValue(float value, char* out, int size)
{
    if (!out || size <= 0) return 0;
    out[0] = 0;
    if (!isfinite(value)) return 0;
    for (int digits = 1; digits <= 9; digits++) {
        int n = snprintf(out, (size_t)size, "%.*g", digits, (double)value);
        if (n < 0 || n >= size) break;
        // The reader's rules: the whole word, in range (no underflow), finite.
        char* end = nullptr;
        errno = 0;
        float back = strtof(out, &end);
        if (*end == 0 && errno != ERANGE && isfinite(back) && back == value && signbit(back) == signbit(value))
            return n;
    }
    out[0] = 0;
    return 0;
}

void formatTimelinePosition(const Timeline* timeline, int rows, char* out, int size)
{
    int perBeat = timeline->rowsPerBeat > 0 ? timeline->rowsPerBeat : 4;
    int perBar = perBeat * (timeline->beatsPerBar > 0 ? timeline->beatsPerBar : 4);
    if (rows < 0) rows = 0;
    int bar = rows / perBar, beat = rows % perBar / perBeat, row = rows % perBeat;
    if (row)
        snprintf(out, (size_t)size, "%d:%d:%d", bar, beat, row);
    else if (beat)
        snprintf(out, (size_t)size, "%d:%d", bar, beat);
    else
        snprintf(out, (size_t)size, "%d", bar);
}

// ---- the rewrite ---------------------------------------------------------------------

// The text split into lines (1-based), each without its '\n'.
struct TextLines {
    const char* text;
    int count;
    int* start;   // offset of line L at start[L]
    int* length;
    int lastEnded;   // 1 when the text's last line ends in '\n'
};

// A statement to add after a line of the text.
struct NewStatement {
    int afterLine;
    int track;
    int row;
    int blockRow;
};

// Everything the rewrite allocates, freed in one place.
struct Rewrite {
    Timeline* original;
    Timeline* check;
    TextLines lines;
    int* lineTrack;   // per line: the track of the key statement on it, -1 none
    int* lineKey;     // its key index in the original's track
    NewStatement* added;
    int addedCount;
    char* out;
    size_t outSize, outCapacity;
    int failed;   // out of memory while appending
};

static void freeRewrite(Rewrite* r)
{
    free(r->original);
    free(r->check);
    free(r->lines.start);
    free(r->lines.length);
    free(r->lineTrack);
    free(r->lineKey);
    free(r->added);
    free(r->out);
}

static int splitLines(const char* text, TextLines* lines)
{
    int count = 0;
    size_t n = strlen(text);
    for (size_t i = 0; i < n; i++) count += text[i] == '\n';
    int last = n > 0 && text[n - 1] != '\n';
    lines->text = text;
    lines->count = count + last;
    lines->lastEnded = !last;
    lines->start = (int*)calloc((size_t)lines->count + 2, sizeof(int));
    lines->length = (int*)calloc((size_t)lines->count + 2, sizeof(int));
    if (!lines->start || !lines->length) return 0;
    const char* p = text;
    for (int l = 1; l <= lines->count; l++) {
        const char* eol = strchr(p, '\n');
        lines->start[l] = (int)(p - text);
        lines->length[l] = eol ? (int)(eol - p) : (int)strlen(p);
        p = eol ? eol + 1 : p + strlen(p);
    }
    return 1;
}

static void append(Rewrite* r, const char* bytes, size_t size)
{
    if (r->failed) return;
    if (r->outSize + size + 1 > r->outCapacity) {
        size_t capacity = (r->outCapacity + size + 1) * 2;
        char* grown = (char*)realloc(r->out, capacity);
        if (!grown) {
            r->failed = 1;
            return;
        }
        r->out = grown;
        r->outCapacity = capacity;
    }
    memcpy(r->out + r->outSize, bytes, size);
    r->outSize += size;
    r->out[r->outSize] = 0;
}

// Word spans of a statement line (up to a '#'): start and end offsets.
static int wordSpans(const char* line, int length, int* from, int* to)
{
    int count = 0;
    int i = 0;
    while (i < length && line[i] != '#' && count < MaxLineTokens) {
        while (i < length && (line[i] == ' ' || line[i] == '\t' || line[i] == '\r')) i++;
        if (i >= length || line[i] == '#') break;
        from[count] = i;
        while (i < length && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' && line[i] != '#') i++;
        to[count++] = i;
    }
    return count;
}

// Puts word in place of line[from, to): the spaces after it shrink or grow so
// the words after it stay in their columns where the spaces allow (a tab
// gap is kept as it is). Returns the new length, or -1 when it does not fit.
static int replaceWord(char* line, int length, int from, int to, const char* word)
{
    char rest[MaxLineText];
    int gapEnd = to;
    while (gapEnd < length && line[gapEnd] == ' ') gapEnd++;
    int gap = gapEnd - to;
    int words = (int)strlen(word);
    int newGap = gap;
    if (gap > 0 && gapEnd < length && line[gapEnd] != '\t') {
        newGap = gap + (to - from) - words;
        if (newGap < 1) newGap = 1;
    }
    int restLength = length - gapEnd;
    if (from + words + newGap + restLength >= MaxLineText) return -1;
    memcpy(rest, line + gapEnd, (size_t)restLength);
    memcpy(line + from, word, (size_t)words);
    memset(line + from + words, ' ', (size_t)newGap);
    memcpy(line + from + words + newGap, rest, (size_t)restLength);
    return from + words + newGap + restLength;
}

static int fail(char* error, int errorSize, const char* format, ...) __attribute__((format(printf, 3, 4)));
static int fail(char* error, int errorSize, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(error, (size_t)errorSize, format, args);
    va_end(args);
    return 0;
}

static const TimelineKey* keyAtRow(const TimelineTrack* track, int row)
{
    int lo = 0, hi = track->keyCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        if (track->keys[mid].row == row) return &track->keys[mid];
        if (track->keys[mid].row < row)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return nullptr;
}

static int sameKey(const TimelineKey* a, const TimelineKey* b)
{
    return a->row == b->row && a->type == b->type && memcmp(&a->value, &b->value, sizeof a->value) == 0;
}

// The line of the end statement: the line of the scene key on the end row.
static int endLine(const Timeline* t)
{
    const TimelineKey* end = keyAtRow(&t->tracks[0], t->endRow);
    return end ? end->line : 0;
}

// The last line holding a statement in the block that starts on line first
// and ends before line next.
static int lastStatementLine(const TextLines* lines, int first, int next)
{
    int last = first;
    for (int l = first; l < next && l <= lines->count; l++) {
        int from[MaxLineTokens], to[MaxLineTokens];
        if (wordSpans(lines->text + lines->start[l], lines->length[l], from, to) > 0) last = l;
    }
    return last;
}

// Plans the new statements: each new key after the last statement of the
// scene block its row falls in. Returns 1, or 0 (error set).
static int planNewKeys(Rewrite* r, const Timeline* edited, const char* name, char* error, int errorSize)
{
    const Timeline* o = r->original;
    const TimelineTrack* scenes = &o->tracks[0];
    int blocks = scenes->keyCount - 1;   // the last scene key is the end
    int total = 0;
    for (int t = 1; t < edited->trackCount; t++) total += edited->tracks[t].keyCount;
    r->added = (NewStatement*)calloc((size_t)total + 1, sizeof(NewStatement));
    if (!r->added) return fail(error, errorSize, "%s: out of memory", name);
    for (int t = 1; t < edited->trackCount; t++) {
        const TimelineTrack* track = &edited->tracks[t];
        for (int k = 0; k < track->keyCount; k++) {
            const TimelineKey* key = &track->keys[k];
            if (keyAtRow(&o->tracks[t], key->row)) continue;
            if (key->row < scenes->keys[0].row || key->row >= o->endRow)
                return fail(error, errorSize, "%s: a %s key on row %d lies outside the scenes", name,
                            timelineTrackName(o, t), key->row);
            int b = blocks - 1;
            while (b > 0 && scenes->keys[b].row > key->row) b--;
            int next = b + 1 < blocks ? scenes->keys[b + 1].line : endLine(o);
            NewStatement* s = &r->added[r->addedCount++];
            s->afterLine = lastStatementLine(&r->lines, scenes->keys[b].line, next);
            s->track = t;
            s->row = key->row;
            s->blockRow = scenes->keys[b].row;
        }
    }
    // In text order; in one place by track, then row.
    for (int i = 1; i < r->addedCount; i++) {
        NewStatement s = r->added[i];
        int j = i - 1;
        while (j >= 0 &&
               (r->added[j].afterLine > s.afterLine ||
                (r->added[j].afterLine == s.afterLine &&
                 (r->added[j].track > s.track || (r->added[j].track == s.track && r->added[j].row > s.row))))) {
            r->added[j + 1] = r->added[j];
            j--;
        }
        r->added[j + 1] = s;
    }
    return 1;
}

// Maps every key statement line to its key, and checks what cannot change:
// the scene starts, the end and its keys. Returns 1, or 0 (error set).
static int mapLines(Rewrite* r, const Timeline* edited, const char* name, char* error, int errorSize)
{
    const Timeline* o = r->original;
    int n = r->lines.count + 2;
    r->lineTrack = (int*)malloc(sizeof(int) * (size_t)n);
    r->lineKey = (int*)malloc(sizeof(int) * (size_t)n);
    if (!r->lineTrack || !r->lineKey) return fail(error, errorSize, "%s: out of memory", name);
    for (int l = 0; l < n; l++) r->lineTrack[l] = r->lineKey[l] = -1;
    if (edited->trackCount != o->trackCount || edited->endRow != o->endRow)
        return fail(error, errorSize, "%s: the edit moves the end of the show(row %d)", name, edited->endRow);
    const TimelineTrack* scenes = &o->tracks[0];
    if (edited->tracks[0].keyCount != scenes->keyCount)
        return fail(error, errorSize, "%s: the edit adds or removes a scene start (%d scene keys)", name,
                    edited->tracks[0].keyCount);
    for (int k = 0; k < scenes->keyCount; k++)
        if (edited->tracks[0].keys[k].row != scenes->keys[k].row)
            return fail(error, errorSize, "%s: the edit moves a scene start to row %d", name,
                        edited->tracks[0].keys[k].row);
    int end = endLine(o);
    for (int t = 0; t < o->trackCount; t++) {
        for (int k = 0; k < o->tracks[t].keyCount; k++) {
            const TimelineKey* key = &o->tracks[t].keys[k];
            if (key->line == end) {
                const TimelineKey* kept = keyAtRow(&edited->tracks[t], key->row);
                if (!kept || !sameKey(kept, key))
                    return fail(error, errorSize, "%s: the %s key on row %d comes from the end line", name,
                                timelineTrackName(o, t), key->row);
                continue;
            }
            if (key->line < 1 || key->line > r->lines.count) continue;
            r->lineTrack[key->line] = t;
            r->lineKey[key->line] = k;
        }
    }
    return 1;
}

// Writes one original line: kept, changed in its words, or dropped.
static int writeLine(Rewrite* r, const Timeline* edited, int l, char* error, int errorSize, const char* name)
{
    const char* text = r->lines.text + r->lines.start[l];
    int length = r->lines.length[l];
    int ended = l < r->lines.count || r->lines.lastEnded;
    int t = r->lineTrack[l];
    if (t < 0) {
        append(r, text, (size_t)length + (size_t)ended);
        return 1;
    }
    const TimelineKey* before = &r->original->tracks[t].keys[r->lineKey[l]];
    const TimelineKey* after = keyAtRow(&edited->tracks[t], before->row);
    if (!after) return 1;   // the key is gone, and its statement with it
    if (sameKey(after, before)) {
        append(r, text, (size_t)length + (size_t)ended);
        return 1;
    }
    char line[MaxLineText];
    int from[MaxLineTokens], to[MaxLineTokens];
    memcpy(line, text, (size_t)length);
    int words = wordSpans(line, length, from, to);
    if (t == 0) {
        char number[16];
        if (after->value != floorf(after->value) || after->value < 1 || after->value > 1000 || words < 2)
            return fail(error, errorSize, "%s: scene %d is not a scene number", name, (int)after->value);
        snprintf(number, sizeof number, "%d", (int)after->value);
        length = replaceWord(line, length, from[1], to[1], number);
    } else {
        char value[48];
        if (words < 4) return fail(error, errorSize, "%s: line %d is not a key statement", name, l);
        if (!formatTimelineValue(after->value, value, sizeof value))
            return fail(error, errorSize, "%s: the %s value on row %d cannot be written as text", name,
                        timelineTrackName(edited, t), after->row);
        // Right to left, so the spans to the left stay where they are.
        if (after->type != before->type) length = replaceWord(line, length, from[3], to[3], keyTypeName(after->type));
        if (length >= 0 && memcmp(&after->value, &before->value, sizeof after->value) != 0)
            length = replaceWord(line, length, from[2], to[2], value);
    }
    if (length < 0) return fail(error, errorSize, "%s: line %d would be too long", name, l);
    append(r, line, (size_t)length);
    if (ended) append(r, "\n", 1);
    return 1;
}

static int writeNewStatement(Rewrite* r, const Timeline* edited, const NewStatement* s, char* error, int errorSize,
                             const char* name)
{
    const TimelineKey* key = keyAtRow(&edited->tracks[s->track], s->row);
    char position[48], value[48], line[256];
    formatTimelinePosition(edited, s->row - s->blockRow, position, sizeof position);
    if (!key || !formatTimelineValue(key->value, value, sizeof value))
        return fail(error, errorSize, "%s: the %s value on row %d cannot be written as text", name,
                    timelineTrackName(edited, s->track), s->row);
    int n = snprintf(line, sizeof line, "%-7s %-7s %-7s %s\n", timelineTrackName(edited, s->track), position, value,
                     keyTypeName(key->type));
    append(r, line, (size_t)n);
    return 1;
}

// The new text read back must give the edited keys, every one.
static int verify(Rewrite* r, const Timeline* edited, const char* name, char* error, int errorSize)
{
    char why[512];
    r->check = (Timeline*)malloc(sizeof(Timeline));
    if (!r->check) return fail(error, errorSize, "%s: out of memory", name);
    if (!parseTimeline(r->out, name, edited->vocabulary, r->check, why, sizeof why))
        return fail(error, errorSize, "%s: the written text would not read back: %s", name, why);
    for (int t = 0; t < edited->trackCount; t++) {
        const TimelineTrack* a = &edited->tracks[t];
        const TimelineTrack* b = &r->check->tracks[t];
        for (int k = 0; k < a->keyCount || k < b->keyCount; k++) {
            if (k < a->keyCount && k < b->keyCount && sameKey(&a->keys[k], &b->keys[k])) continue;
            int row = k < a->keyCount ? a->keys[k].row : b->keys[k].row;
            return fail(error, errorSize, "%s: the text cannot hold the %s key on row %d", name,
                        timelineTrackName(edited, t), row);
        }
    }
    return 1;
}

int rewriteTimelineText(const char* text, const char* name, const Timeline* edited, char** out, size_t* outSize,
                        char* error, int errorSize)
{
    Rewrite r;
    memset(&r, 0, sizeof r);
    *out = nullptr;
    *outSize = 0;
    r.original = (Timeline*)malloc(sizeof(Timeline));
    int ok = r.original != nullptr;
    if (!ok) fail(error, errorSize, "%s: out of memory", name);
    if (ok) ok = parseTimeline(text, name, edited->vocabulary, r.original, error, errorSize);
    if (ok) ok = splitLines(text, &r.lines) || fail(error, errorSize, "%s: out of memory", name);
    if (ok) ok = mapLines(&r, edited, name, error, errorSize) && planNewKeys(&r, edited, name, error, errorSize);
    int next = 0;
    for (int l = 1; ok && l <= r.lines.count; l++) {
        ok = writeLine(&r, edited, l, error, errorSize, name);
        if (next < r.addedCount && r.added[next].afterLine == l && l == r.lines.count && !r.lines.lastEnded)
            append(&r, "\n", 1);
        for (; ok && next < r.addedCount && r.added[next].afterLine == l; next++)
            ok = writeNewStatement(&r, edited, &r.added[next], error, errorSize, name);
    }
    if (ok && r.failed) ok = fail(error, errorSize, "%s: out of memory", name);
    if (ok && !r.out) append(&r, "", 0);
    if (ok) ok = verify(&r, edited, name, error, errorSize);
    if (ok) {
        *out = r.out;
        *outSize = r.outSize;
        r.out = nullptr;
        if (errorSize > 0) error[0] = 0;
    }
    freeRewrite(&r);
    return ok;
}

int replaceFileWhole(const char* path, const char* bytes, size_t size, char* error, int errorSize)
{
    char temp[4096 + 8];
    if (snprintf(temp, sizeof temp, "%s.part", path) >= (int)sizeof temp) {
        snprintf(error, (size_t)errorSize, "%s: the name is too long", path);
        return 0;
    }
    // A file that is there but marked read-only stays as it is: the rename
    // would replace it all the same, since it asks only for the folder. No
    // write bit at all counts as read-only even for the superuser.
    struct stat info;
    if (stat(path, &info) == 0 && ((info.st_mode & 0222) == 0 || access(path, W_OK) != 0)) {
        snprintf(error, (size_t)errorSize, "%s: the file is read-only: not saved", path);
        return 0;
    }
    FILE* f = fopen(temp, "wb");
    if (!f) {
        snprintf(error, (size_t)errorSize, "%s: cannot write: %s", temp, strerror(errno));
        return 0;
    }
    int ok = fwrite(bytes, 1, size, f) == size;
    if (fflush(f) != 0) ok = 0;
    if (ok && fsync(fileno(f)) != 0) ok = 0;
    int reason = errno;
    if (fclose(f) != 0) ok = 0;
    if (ok && rename(temp, path) != 0) {
        reason = errno;
        ok = 0;
    }
    if (!ok) {
        remove(temp);
        snprintf(error, (size_t)errorSize, "%s: write failed: %s", path, strerror(reason));
    }
    return ok;
}

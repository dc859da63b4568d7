// The track editor's model: cursor, keys, the copied block, undo and redo
// over the edited timeline, and the rebuild of the player's tracks after each
// change. Every change is checked against what the timeline text can hold.
#include "sync/track_edit.h"
#include "sync/timeline_write.h"
#include <errno.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int refuse(TrackEditor* e, const char* format, ...) __attribute__((format(printf, 2, 3)));
static int refuse(TrackEditor* e, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    vsnprintf(e->message, sizeof e->message, format, args);
    va_end(args);
    return 0;
}

static const char* rowText(const TrackEditor* e, int row, char* out, int size)
{
    formatTimelinePosition(&e->timeline, row, out, size);
    return out;
}

// Index of the key of track at row, or -(insertion index) - 1.
static int keyIndex(const TimelineTrack* track, int row)
{
    int lo = 0, hi = track->keyCount - 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        if (track->keys[mid].row == row) return mid;
        if (track->keys[mid].row < row)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -lo - 1;
}

const TimelineKey* editorKeyAt(const TrackEditor* editor, int track, int row)
{
    if (track < 0 || track >= editor->timeline.trackCount) return nullptr;
    const TimelineTrack* t = &editor->timeline.tracks[track];
    int i = keyIndex(t, row);
    return i >= 0 ? &t->keys[i] : nullptr;
}

// The player's view of a track, and the live track, from the edited keys.
static void rebuildTrack(TrackEditor* e, int track)
{
    const TimelineTrack* source = &e->timeline.tracks[track];
    for (int k = 0; k < source->keyCount; k++)
        e->view[track][k] = SyncKey{source->keys[k].row, source->keys[k].value, source->keys[k].type};
    e->viewTrack[track].name = (char*)timelineTrackName(&e->timeline, track);
    e->viewTrack[track].keys = e->view[track];
    e->viewTrack[track].keyCount = source->keyCount;
    if (e->live[track] && !replaceTrackKeys(e->live[track], e->view[track], source->keyCount))
        refuse(e, "out of memory: track %s keeps its old keys in the show", timelineTrackName(&e->timeline, track));
}

static void freeSteps(EditStep* steps, int* count)
{
    for (int i = 0; i < *count; i++) free(steps[i].changes);
    *count = 0;
}

void editorRelease(TrackEditor* editor)
{
    freeSteps(editor->undo, &editor->undoCount);
    freeSteps(editor->redo, &editor->redoCount);
    free(editor->clip);
    editor->clip = nullptr;
    editor->clipCount = editor->clipRows = 0;
}

int editorLoad(TrackEditor* editor, const Timeline* timeline, SyncTrack* const* live)
{
    freeSteps(editor->undo, &editor->undoCount);
    freeSteps(editor->redo, &editor->redoCount);
    if (&editor->timeline != timeline) memcpy(&editor->timeline, timeline, sizeof *timeline);
    editor->message[0] = 0;
    for (int t = 0; t < MaxTimelineTracks; t++) editor->live[t] = live ? live[t] : nullptr;
    for (int t = 0; t < editor->timeline.trackCount; t++) rebuildTrack(editor, t);
    editor->markRow = -1;
    editor->inputLength = 0;
    editor->input[0] = 0;
    editor->dirty = 0;
    editorSetCursor(editor, editor->cursorRow, editor->cursorColumn);
    return 1;
}

// ---- the cursor ----------------------------------------------------------------------

int editorLastRow(const TrackEditor* editor) { return editor->timeline.endRow > 0 ? editor->timeline.endRow : 0; }
int editorBarRows(const TrackEditor* editor) { return editor->timeline.rowsPerBeat * editor->timeline.beatsPerBar; }

void editorSetCursor(TrackEditor* editor, int row, int column)
{
    int last = editorLastRow(editor);
    editor->cursorRow = row < 0 ? 0 : row > last ? last : row;
    int columns = editor->timeline.trackCount;
    editor->cursorColumn = column < 0 ? 0 : column >= columns ? columns - 1 : column;
}

void editorMoveRow(TrackEditor* editor, int rows)
{
    editor->markRow = -1;
    editorSetCursor(editor, editor->cursorRow + rows, editor->cursorColumn);
}

void editorMoveColumn(TrackEditor* editor, int columns)
{
    editorSetCursor(editor, editor->cursorRow, editor->cursorColumn + columns);
}

void editorExtendBlock(TrackEditor* editor, int rows)
{
    if (editor->markRow < 0) editor->markRow = editor->cursorRow;
    editorSetCursor(editor, editor->cursorRow + rows, editor->cursorColumn);
}

int editorJumpKey(TrackEditor* editor, int direction)
{
    const TimelineTrack* t = &editor->timeline.tracks[editor->cursorColumn];
    int i = keyIndex(t, editor->cursorRow);
    int target = -1;
    if (direction > 0) {
        int next = i >= 0 ? i + 1 : -i - 1;
        if (next < t->keyCount) target = t->keys[next].row;
    } else {
        int previous = i >= 0 ? i - 1 : -i - 2;
        if (previous >= 0) target = t->keys[previous].row;
    }
    if (target < 0) return 0;
    editorMoveRow(editor, target - editor->cursorRow);
    return 1;
}

// ---- checks: what the text can hold ------------------------------------------------

// The index among the scene keys of the last scene start (the key before the end).
static int lastSceneStart(const TrackEditor* e) { return e->timeline.tracks[0].keyCount - 2; }

// Returns 1 when track may hold a key of value and type at row; 0 with the
// message why not.
static int keyAllowed(TrackEditor* e, int track, int row, float value, int type)
{
    const Timeline* t = &e->timeline;
    const TimelineTrack* scenes = &t->tracks[0];
    char at[48], text[48];
    rowText(e, row, at, sizeof at);
    if (track < 0 || track >= t->trackCount) return refuse(e, "no track %d", track);
    if (!formatTimelineValue(value, text, sizeof text)) return refuse(e, "%g cannot be written in the timeline", value);
    if (type < KeyStep || type > KeyRamp) return refuse(e, "no key type %d", type);
    if (track != 0) {
        if (scenes->keyCount < 2 || row < scenes->keys[0].row || row >= t->endRow)
            return refuse(e, "%s: row %s lies outside the scenes (the show ends at %s)", timelineTrackName(t, track),
                          at, rowText(e, t->endRow, text, sizeof text));
        return 1;
    }
    int i = keyIndex(scenes, row);
    if (i < 0 || i == scenes->keyCount - 1)
        return refuse(e, "scene: a scene starts only on a 'scene' line of the timeline; row %s is %s", at,
                      i < 0 ? "no scene start" : "the end of the show");
    int count = t->vocabulary ? t->vocabulary->sceneCount : 1;
    if (value != floorf(value) || value < 1 || value > count)
        return refuse(e, "scene: %g is not a scene number 1 to %d", value, count);
    if (type != KeyStep) return refuse(e, "scene: a scene key is always a step");
    if (i == lastSceneStart(e) && (value == count) != (scenes->keys[i].value == count))
        return refuse(e, "scene: the last scene's number decides how the show ends (scene %d or not)", count);
    return 1;
}

// ---- changes and the history ----------------------------------------------------------

// Puts the key (has) or no key (!has) on track at row. Returns 0 when the
// track is full.
static int placeKey(TrackEditor* e, int track, int row, int has, const TimelineKey* key)
{
    TimelineTrack* t = &e->timeline.tracks[track];
    int i = keyIndex(t, row);
    if (i >= 0 && has) {
        t->keys[i] = *key;
    } else if (i >= 0) {
        memmove(&t->keys[i], &t->keys[i + 1], sizeof(TimelineKey) * (size_t)(t->keyCount - i - 1));
        t->keyCount--;
    } else if (has) {
        if (t->keyCount >= MaxTimelineKeys) return 0;
        int at = -i - 1;
        memmove(&t->keys[at + 1], &t->keys[at], sizeof(TimelineKey) * (size_t)(t->keyCount - at));
        t->keys[at] = *key;
        t->keyCount++;
    }
    return 1;
}

// Applies a step forward (the after side) or back (the before side, last
// change first), then rebuilds the tracks it touched.
static void applyStep(TrackEditor* e, const EditStep* step, int forward)
{
    int touched[MaxTimelineTracks] = {0};
    for (int n = 0; n < step->count; n++) {
        const KeyChange* c = &step->changes[forward ? n : step->count - 1 - n];
        if (forward)
            placeKey(e, c->track, c->row, c->has, &c->after);
        else
            placeKey(e, c->track, c->row, c->had, &c->before);
        touched[c->track] = 1;
    }
    for (int t = 0; t < e->timeline.trackCount; t++)
        if (touched[t]) rebuildTrack(e, t);
    e->dirty = 1;
}

// Applies changes (malloc'd, taken over) as one undoable step.
static int commitStep(TrackEditor* e, KeyChange* changes, int count)
{
    EditStep step = {changes, count};
    freeSteps(e->redo, &e->redoCount);
    if (e->undoCount == EditUndoSteps) {
        free(e->undo[0].changes);
        memmove(&e->undo[0], &e->undo[1], sizeof(EditStep) * (EditUndoSteps - 1));
        e->undoCount--;
    }
    e->message[0] = 0;
    applyStep(e, &step, 1);
    e->undo[e->undoCount++] = step;
    return 1;
}

// One change of the key of track at row into has/after, as a step.
static int commitOne(TrackEditor* e, int track, int row, int has, const TimelineKey* after)
{
    KeyChange* c = (KeyChange*)calloc(1, sizeof(KeyChange));
    if (!c) return refuse(e, "out of memory");
    const TimelineKey* before = editorKeyAt(e, track, row);
    if (!before && has && e->timeline.tracks[track].keyCount >= MaxTimelineKeys) {
        free(c);
        return refuse(e, "%s holds %d keys, the most a track may", timelineTrackName(&e->timeline, track),
                      MaxTimelineKeys);
    }
    c->track = track;
    c->row = row;
    c->had = before != nullptr;
    if (before) c->before = *before;
    c->has = has;
    if (has) c->after = *after;
    return commitStep(e, c, 1);
}

int editorUndo(TrackEditor* editor)
{
    if (editor->undoCount == 0) return refuse(editor, "nothing to undo");
    EditStep step = editor->undo[--editor->undoCount];
    applyStep(editor, &step, 0);
    editor->redo[editor->redoCount++] = step;
    snprintf(editor->message, sizeof editor->message, "undone (%d more)", editor->undoCount);
    return 1;
}

int editorRedo(TrackEditor* editor)
{
    if (editor->redoCount == 0) return refuse(editor, "nothing to redo");
    EditStep step = editor->redo[--editor->redoCount];
    applyStep(editor, &step, 1);
    editor->undo[editor->undoCount++] = step;
    snprintf(editor->message, sizeof editor->message, "redone (%d more)", editor->redoCount);
    return 1;
}

// ---- keys ----------------------------------------------------------------------------

int editorSetKey(TrackEditor* editor, int track, int row, float value, int type)
{
    if (!keyAllowed(editor, track, row, value, type)) return 0;
    TimelineKey key = {row, value, type, 0};
    const TimelineKey* there = editorKeyAt(editor, track, row);
    if (there) key.line = there->line;
    return commitOne(editor, track, row, 1, &key);
}

void editorType(TrackEditor* editor, char c)
{
    if (editor->inputLength >= EditInputSize - 1) return;
    editor->input[editor->inputLength++] = c;
    editor->input[editor->inputLength] = 0;
}

void editorBackspace(TrackEditor* editor)
{
    if (editor->inputLength > 0) editor->input[--editor->inputLength] = 0;
}

// Reads the typed number: the whole text, finite, in a float's range, and
// written back by the timeline as the same decimal number (more digits than
// a float holds would be rounded). Returns 1, or 0 (message).
static int typedValue(TrackEditor* e, float* value)
{
    const char* text = e->input;
    if (!text[0]) return refuse(e, "type a number first, then Enter");
    char* end = nullptr;
    errno = 0;
    float v = strtof(text, &end);
    if (end == text || *end != 0) return refuse(e, "'%s' is not a number", text);
    if (errno == ERANGE || !isfinite(v)) return refuse(e, "'%s' is out of a track value's range", text);
    char written[48];
    if (!formatTimelineValue(v, written, sizeof written)) return refuse(e, "'%s' cannot be written", text);
    if (strtod(written, nullptr) != strtod(text, nullptr))
        return refuse(e, "'%s' has more digits than a track value keeps (it would be %s)", text, written);
    *value = v;
    return 1;
}

int editorEnter(TrackEditor* editor)
{
    float value = 0;
    int ok = typedValue(editor, &value);
    if (ok) {
        const TimelineKey* there = editorKeyAt(editor, editor->cursorColumn, editor->cursorRow);
        ok = editorSetKey(editor, editor->cursorColumn, editor->cursorRow, value, there ? there->type : KeyStep);
    }
    editor->inputLength = 0;
    editor->input[0] = 0;
    return ok;
}

int editorCycleType(TrackEditor* editor)
{
    const TimelineKey* there = editorKeyAt(editor, editor->cursorColumn, editor->cursorRow);
    if (!there) return refuse(editor, "no key here to change");
    if (editor->cursorColumn == 0) return refuse(editor, "scene: a scene key is always a step");
    TimelineKey key = *there;
    key.type = (key.type + 1) % 4;
    return commitOne(editor, editor->cursorColumn, editor->cursorRow, 1, &key);
}

int editorDeleteKey(TrackEditor* editor)
{
    if (!editorKeyAt(editor, editor->cursorColumn, editor->cursorRow)) return refuse(editor, "no key here to delete");
    if (editor->cursorColumn == 0) return refuse(editor, "scene: scene starts are 'scene' lines of the timeline");
    return commitOne(editor, editor->cursorColumn, editor->cursorRow, 0, nullptr);
}

// ---- the copied block ---------------------------------------------------------------------

int editorCopy(TrackEditor* editor)
{
    int from = editor->markRow >= 0 && editor->markRow < editor->cursorRow ? editor->markRow : editor->cursorRow;
    int to = editor->markRow > editor->cursorRow ? editor->markRow : editor->cursorRow;
    int count = 0;
    for (int t = 1; t < editor->timeline.trackCount; t++)
        for (int r = from; r <= to; r++) count += editorKeyAt(editor, t, r) != nullptr;
    ClipKey* clip = (ClipKey*)malloc(sizeof(ClipKey) * (size_t)(count + 1));
    if (!clip) return refuse(editor, "out of memory");
    int n = 0;
    for (int t = 1; t < editor->timeline.trackCount; t++)
        for (int r = from; r <= to; r++) {
            const TimelineKey* k = editorKeyAt(editor, t, r);
            if (k) clip[n++] = ClipKey{t, r - from, k->value, k->type};
        }
    free(editor->clip);
    editor->clip = clip;
    editor->clipCount = n;
    editor->clipRows = to - from + 1;
    editor->markRow = -1;
    snprintf(editor->message, sizeof editor->message, "copied %d rows, %d keys", editor->clipRows, n);
    return 1;
}

int editorPaste(TrackEditor* editor)
{
    if (!editor->clip) return refuse(editor, "nothing copied (Ctrl+C copies rows)");
    if (editor->clipCount == 0) return refuse(editor, "the copied rows hold no keys");
    int added[MaxTimelineTracks] = {0};
    for (int i = 0; i < editor->clipCount; i++) {
        const ClipKey* c = &editor->clip[i];
        int row = editor->cursorRow + c->offset;
        char at[48];
        if (!keyAllowed(editor, c->track, row, c->value, c->type)) return 0;
        if (editorKeyAt(editor, c->track, row))
            return refuse(editor, "%s already has a key on row %s: nothing pasted",
                          timelineTrackName(&editor->timeline, c->track), rowText(editor, row, at, sizeof at));
        if (editor->timeline.tracks[c->track].keyCount + ++added[c->track] > MaxTimelineKeys)
            return refuse(editor, "%s would hold more than %d keys", timelineTrackName(&editor->timeline, c->track),
                          MaxTimelineKeys);
    }
    KeyChange* changes = (KeyChange*)calloc((size_t)(unsigned)editor->clipCount, sizeof(KeyChange));
    if (!changes) return refuse(editor, "out of memory");
    for (int i = 0; i < editor->clipCount; i++) {
        const ClipKey* c = &editor->clip[i];
        KeyChange* k = &changes[i];
        k->track = c->track;
        k->row = editor->cursorRow + c->offset;
        k->has = 1;
        k->after = TimelineKey{k->row, c->value, c->type, 0};
    }
    commitStep(editor, changes, editor->clipCount);
    snprintf(editor->message, sizeof editor->message, "pasted %d keys", editor->clipCount);
    return 1;
}

// ---- what the grid shows -------------------------------------------------------------------

void editorCell(const TrackEditor* editor, int track, int row, EditorCell* cell)
{
    cell->key = editorKeyAt(editor, track, row);
    cell->value = trackValue(&editor->viewTrack[track], (double)row);
    cell->moveType = -1;
    cell->moving = 0;
    const TimelineTrack* t = &editor->timeline.tracks[track];
    int i = keyIndex(t, row);
    int before = i >= 0 ? i : -i - 2;
    if (before < 0) return;
    cell->moveType = t->keys[before].type;
    cell->moving =
        cell->moveType != KeyStep && before + 1 < t->keyCount && t->keys[before + 1].value != t->keys[before].value;
}

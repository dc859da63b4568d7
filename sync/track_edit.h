// The track editor's model, without GL or windows: the timeline's keys as
// edited, a cursor on a grid of rows by tracks, the keys set, changed and
// removed there, a copied block of rows, undo and redo, and the player's
// tracks rebuilt after every change. What the timeline text cannot express
// is refused with a message, never applied.
#pragma once
#include "sync/sync.h"
#include "sync/timeline_text.h"

enum { EditUndoSteps = 128, EditInputSize = 32, EditMessageSize = 256 };

// One key's change: the track's row held before (had, before) and after (has, after).
struct KeyChange {
    int track, row;
    int had, has;
    TimelineKey before, after;
};
struct EditStep {
    KeyChange* changes;   // malloc'd
    int count;
};
struct ClipKey {
    int track, offset;   // offset: rows from the block's first row
    float value;
    int type;
};

struct TrackEditor {
    Timeline timeline;                                  // the keys as edited
    SyncTrack* live[MaxTimelineTracks];                 // the player's track of each timeline track, or null
    SyncKey view[MaxTimelineTracks][MaxTimelineKeys];   // each track's keys as the player reads them
    SyncTrack viewTrack[MaxTimelineTracks];             // over view, for values between keys
    int cursorRow, cursorColumn;
    int markRow;                 // the other end of the marked block, -1 when none
    char input[EditInputSize];   // the number being typed
    int inputLength;
    char message[EditMessageSize];   // the latest refusal or report, "" for none
    int dirty;                       // changes since the load or the last save
    EditStep undo[EditUndoSteps], redo[EditUndoSteps];
    int undoCount, redoCount;
    ClipKey* clip;   // malloc'd
    int clipCount, clipRows;
};

// Takes timeline (parsed from the text in use) as the one edited, drops the
// history, and rebuilds the live tracks (entries of live may be null).
// Returns 1.
int editorLoad(TrackEditor* editor, const Timeline* timeline, SyncTrack* const* live);
void editorRelease(TrackEditor* editor);   // frees the history and the copied block

// The last row the cursor may reach (the end of the show) and the rows of a bar.
int editorLastRow(const TrackEditor* editor);
int editorBarRows(const TrackEditor* editor);
// Cursor moves, clamped to the grid: rows, bars, columns; direction -1/+1 to
// the previous or next key of the cursor's column (1 moved, 0 none there).
void editorMoveRow(TrackEditor* editor, int rows);
void editorMoveColumn(TrackEditor* editor, int columns);
int editorJumpKey(TrackEditor* editor, int direction);
void editorSetCursor(TrackEditor* editor, int row, int column);
// Moves the cursor by rows with the block marked from where it stood (Shift).
void editorExtendBlock(TrackEditor* editor, int rows);

// The typed number: a character added, the last one taken back, all cleared.
void editorType(TrackEditor* editor, char c);
void editorBackspace(TrackEditor* editor);
// Enter: the typed number becomes the key at the cursor (a new step key, or
// the key there with its type kept). Returns 1 set; 0 refused (message).
int editorEnter(TrackEditor* editor);
// Sets the key of track at row to value with type (a new key or the one
// there); the same rules as Enter. Returns 1 set, 0 refused (message).
int editorSetKey(TrackEditor* editor, int track, int row, float value, int type);
int editorCycleType(TrackEditor* editor);   // I: step, linear, smooth, ramp, step; 1 or 0 (message)
int editorDeleteKey(TrackEditor* editor);   // Delete: the key at the cursor; 1 or 0 (message)
// Ctrl+C: the keys of the marked block's rows (or the cursor's row), every
// track but the scene track. Ctrl+V: those keys again from the cursor's row,
// refused whole when a row there already holds a key of the same track.
int editorCopy(TrackEditor* editor);
int editorPaste(TrackEditor* editor);
int editorUndo(TrackEditor* editor);   // 1 undone, 0 nothing to undo
int editorRedo(TrackEditor* editor);

// The key of track at row, or null.
const TimelineKey* editorKeyAt(const TrackEditor* editor, int track, int row);
// What a grid cell shows: its key (when one), the value the player gives at
// the row, and the move it is in: the type of the key before it (-1 before
// the first key) and whether the value changes across that move.
struct EditorCell {
    const TimelineKey* key;
    float value;
    int moveType;
    int moving;
};
void editorCell(const TrackEditor* editor, int track, int row, EditorCell* cell);

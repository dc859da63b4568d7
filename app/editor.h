// The track editor of an --edit run (F2): a grid of rows by tracks beside the
// picture, keys typed in at the cursor and heard and seen at once, saved back
// into the timeline text with Ctrl+S. The keys and their rules are the model's
// (sync/track_edit.h); this is its panel, its keys and its files.
#pragma once

struct ShowFrame;

// Makes the editor available (F2) on the timeline of the sources folder, or
// of the data directory when sources is null. Returns 1, or 0 (logged, no
// editor) when the timeline's path is too long to hold.
int startTrackEditor(const char* sources);
void stopTrackEditor(void);
int trackEditorOpen(void);
// The key callback's first stop: 1 when the editor took the key (F2 in an
// edit run; every key but F1 and F5 while it is open).
int trackEditorKey(int key, int mods, int action);
// Once a frame with the frame just drawn: the current row follows the show
// while it plays.
void trackEditorFollow(const ShowFrame* frame);
// 1 while Escape is the editor's (it closed the editor, or asked about
// unsaved edits, and is still held): the show does not end on it.
int trackEditorHoldsEscape(void);
// Called when the window is about to close: with edits not saved, the first
// time asks (a message) and returns 1 to keep the show running; 0 then.
int trackEditorHoldsQuit(void);

// Writing a timeline back as text: the edited keys put into the statements of
// the text they were read from, every other byte kept, and the file replaced
// whole through a temporary file and a rename.
#pragma once
#include "sync/timeline_text.h"
#include <stddef.h>

// The shortest decimal the timeline reader turns back into exactly value, in
// out. Returns its length, or 0 when no text reads back as it (not finite, a
// subnormal the reader refuses) or it does not fit.
int formatTimelineValue(float value, char* out, int size);
// A row count as a position: "BAR", "BAR:BEAT" or "BAR:BEAT:ROW" (from 0).
void formatTimelinePosition(const Timeline* timeline, int rows, char* out, int size);

// Rewrites text (a timeline that parses in edited's vocabulary) so it holds
// edited's keys. A key is known by its track and row: a key statement whose
// key is gone is removed, one whose value or type changed gets the new words
// in place (its position word, layout and comment kept), and a new key is a
// new statement at the end of its scene block. A changed scene key rewrites
// the number of its scene line. Scene starts, the end and the settings cannot
// move. The result is parsed again and must give edited's keys exactly.
// Returns 1 with a malloc'd text in *out (*outSize bytes, NUL-terminated);
// 0 with the reason in error (nothing allocated).
int rewriteTimelineText(const char* text, const char* name, const Timeline* edited, char** out, size_t* outSize,
                        char* error, int errorSize);

// Replaces the file at path by size bytes: written to "path.part", then renamed
// over it, so a reader sees the old file or the new one, never a part. The
// file is not touched when it exists but cannot be written (read-only).
// Returns 1, or 0 with the reason in error (the temporary file removed).
int replaceFileWhole(const char* path, const char* bytes, size_t size, char* error, int errorSize);

// libFuzzer target: the timeline writer on any text the parser takes. Written
// back unchanged it must give the same bytes; with a key removed, one added
// and a value and a type changed (chosen by the input) it must either refuse
// or give a text that reads back as exactly the edited keys.
#include "show/vocabulary.h"
#include "sync/timeline_write.h"
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

static Timeline parsed, edited;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size > 65536) return 0;
    char* text = (char*)malloc(size + 1);
    if (!text) abort();
    memcpy(text, data, size);
    text[size] = 0;
    char error[600];
    if (strlen(text) != size || !parseTimeline(text, "fuzz", &showVocabulary, &parsed, error, sizeof error)) {
        free(text);
        return 0;
    }
    char* out = nullptr;
    size_t outSize = 0;
    if (!rewriteTimelineText(text, "fuzz", &parsed, &out, &outSize, error, sizeof error)) abort();
    if (outSize != size || memcmp(out, text, size) != 0) abort();
    free(out);
    // An edit picked by the input's bytes: a changed value and type, a key
    // removed, one added on a free row inside the scenes.
    unsigned pick = size > 0 ? data[0] + 256u * data[size - 1] : 0;
    memcpy(&edited, &parsed, sizeof edited);
    int track = 1 + (int)(pick % (unsigned)(edited.trackCount - 1));
    TimelineTrack* t = &edited.tracks[track];
    if (t->keyCount > 0) {
        TimelineKey* k = &t->keys[pick % (unsigned)t->keyCount];
        k->value = k->value * 0.5f + 0.1f;
        k->type = (k->type + 1) % 4;
    }
    if (t->keyCount > 1) {
        int gone = (int)(pick / 7 % (unsigned)t->keyCount);
        memmove(&t->keys[gone], &t->keys[gone + 1], sizeof(TimelineKey) * (size_t)(t->keyCount - gone - 1));
        t->keyCount--;
    }
    int row = edited.tracks[0].keys[0].row + (int)(pick % 61u);
    int at = 0;
    while (at < t->keyCount && t->keys[at].row < row) at++;
    if (row < edited.endRow && (at == t->keyCount || t->keys[at].row != row) && t->keyCount < MaxTimelineKeys) {
        memmove(&t->keys[at + 1], &t->keys[at], sizeof(TimelineKey) * (size_t)(t->keyCount - at));
        t->keys[at] = TimelineKey{row, 1.25f, KeySmooth, 0};
        t->keyCount++;
    }
    // A success was read back and compared with the edited keys inside.
    if (rewriteTimelineText(text, "fuzz", &edited, &out, &outSize, error, sizeof error)) {
        if (strlen(out) != outSize) abort();
        free(out);
    }
    free(text);
    return 0;
}

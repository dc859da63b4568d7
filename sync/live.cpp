// Changing the sync tracks while the show plays: a new timeline compiled by the
// same parser the track tool uses, or a rewritten .track file, takes over the
// configured tracks between two frames. Whatever fails to read keeps the old keys.
#include "platform/platform.h"
#include "sync/sync.h"
#include "sync/timeline_text.h"
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

// A track file of the greatest key count the timeline allows.
static const size_t maxTrackFileBytes = 4 + 9 * (size_t)MaxTimelineKeys;

// Returns 1 with track's keys replaced by a copy of count keys, 0 when memory
// ran out (the old keys stay).
int replaceTrackKeys(SyncTrack* track, const SyncKey* keys, int count)
{
    if (!track || count < 0 || (count > 0 && !keys)) return 0;
    SyncKey* copy = nullptr;
    if (count > 0) {
        copy = (SyncKey*)malloc(sizeof(SyncKey) * (size_t)count);
        if (!copy) return 0;
        memcpy(copy, keys, sizeof(SyncKey) * (size_t)count);
    }
    free(track->keys);
    track->keys = copy;
    track->keyCount = count;
    return 1;
}

// The configured track of that name, or null.
static SyncTrack* configuredTrack(const char* name)
{
    if (!demoConfig || !name) return nullptr;
    for (int i = 0; i < MaxTracks && demoConfig->trackNames[i]; i++)
        if (syncTracks[i] && strcmp(demoConfig->trackNames[i], name) == 0) return syncTracks[i];
    return nullptr;
}

int loadTimelineTracks(const char* path, char* error, int errorSize)
{
    static Timeline timeline;   // 200 kB: kept off the stack, reused by every reload
    static SyncKey keys[MaxTimelineKeys];
    if (!demoConfig || !demoConfig->vocabulary) {
        snprintf(error, (size_t)errorSize, "%s: the show has no vocabulary to read it with", path);
        return 0;
    }
    if (!loadTimeline(path, demoConfig->vocabulary, &timeline, error, errorSize)) return 0;
    if ((timeline.bpm != demoConfig->bpm || timeline.rowsPerBeat != demoConfig->rowsPerBeat)) {
        snprintf(error, (size_t)errorSize, "%s: tempo %g bpm, %d rows per beat differs from the show's", path,
                 (double)timeline.bpm, timeline.rowsPerBeat);
        return 0;
    }
    int replaced = 0;
    for (int t = 0; t < timeline.trackCount; t++) {
        SyncTrack* track = configuredTrack(timelineTrackName(&timeline, t));
        if (!track) continue;
        const TimelineTrack* source = &timeline.tracks[t];
        for (int k = 0; k < source->keyCount; k++) {
            keys[k].row = source->keys[k].row;
            keys[k].value = source->keys[k].value;
            keys[k].type = source->keys[k].type;
        }
        if (!replaceTrackKeys(track, keys, source->keyCount)) {
            snprintf(error, (size_t)errorSize, "%s: out of memory for track %s", path, timelineTrackName(&timeline, t));
            return 0;
        }
        replaced++;
    }
    // A timeline none of whose tracks the show plays changed nothing: a failure with its reason.
    if (replaced == 0) {
        snprintf(error, (size_t)errorSize, "%s: none of its tracks is one the show plays", path);
        return 0;
    }
    if (error && errorSize > 0) error[0] = 0;
    return 1;
}

int reloadTrackFile(const char* path, const char* trackName)
{
    SyncTrack* track = configuredTrack(trackName);
    if (!track) return 0;
    unsigned char* bytes = nullptr;
    size_t size = 0;
    if (readWholeFile(path, maxTrackFileBytes, &bytes, &size) != 1) return -1;
    // Only a whole file is used: one caught half-written is tried again
    // later, never half-used.
    static SyncKey keys[MaxTimelineKeys];
    int count = decodeTrackKeys(bytes, size, 1, keys, MaxTimelineKeys, nullptr, 0);
    free(bytes);
    if (count < 0) return -1;
    return replaceTrackKeys(track, keys, count);
}

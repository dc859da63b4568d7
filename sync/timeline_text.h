// The authored timeline (data/timeline.txt): its parser and the records it
// fills. Shared by the track tool (which turns it into .track files) and the
// soundtrack synthesizer (which takes its music sections and cues from it).
#pragma once
#include "sync/vocabulary.h"

enum {
    MaxTimelineTracks = 8,    // the tracks a show's vocabulary may name
    MaxTimelineKeys = 2048,   // per track
    MaxMusicSections = 64,
    MaxMusicCues = 256,
    MaxTimelineWord = 32,
};

enum TimelineKeyType { KeyStep = 0, KeyLinear = 1, KeySmooth = 2, KeyRamp = 3 };

struct TimelineKey {
    int row;
    float value;
    int type;
    int line;   // source line, for messages
};

struct TimelineTrack {
    TimelineKey keys[MaxTimelineKeys];   // ascending by row after parsing
    int keyCount;
};

// A stretch of music in one style, from its row to the next section's row (or
// the end of the show).
struct MusicSection {
    int row;
    int scene;   // the scene block it belongs to
    char style[MaxTimelineWord];
    int line;
};

// A one-off sound the music places at a row (a shot, a smash, a boom).
struct MusicCue {
    int row;
    char name[MaxTimelineWord];
    int line;
};

struct Timeline {
    const ShowVocabulary* vocabulary;   // the words it was parsed with
    int trackCount;                     // the vocabulary's tracks, in its order
    float bpm;
    int rowsPerBeat;
    int beatsPerBar;
    TimelineTrack tracks[MaxTimelineTracks];
    MusicSection sections[MaxMusicSections];
    int sectionCount;
    MusicCue cues[MaxMusicCues];
    int cueCount;
    int endRow;   // row of the end key; -1 while the show has no end
};

// Index of a track name in the timeline's vocabulary, or -1; the name of a
// track index ("?" out of range).
int timelineTrackIndex(const Timeline* timeline, const char* name);
const char* timelineTrackName(const Timeline* timeline, int track);
const char* keyTypeName(int type);

// Parses the timeline text in the words of vocabulary (kept by the timeline,
// so it must outlive it). Returns 1 on success; 0 with a message
// "NAME:LINE: what is wrong" in error (name is the label used in messages).
int parseTimeline(const char* text, const char* name, const ShowVocabulary* vocabulary, Timeline* timeline, char* error,
                  int errorSize);

// Reads and parses a timeline file (at most 1 MiB). Returns 1, or 0 with a message.
int loadTimeline(const char* path, const ShowVocabulary* vocabulary, Timeline* timeline, char* error, int errorSize);

// The bytes of a .track file for one track (4 + 9 n, little-endian) in out,
// which must hold 4 + 9 * MaxTimelineKeys bytes. Returns the byte count.
int encodeTrack(const TimelineTrack* track, unsigned char* out);

// Writes OUTDIR/sync_<name>.track for every track of the timeline. Returns 1, or 0 with a message.
int writeTrackFiles(const Timeline* timeline, const char* outDir, char* error, int errorSize);

// Seconds of a row at the timeline's tempo.
double rowSeconds(const Timeline* timeline, double row);

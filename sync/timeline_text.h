// The authored timeline (data/timeline.txt): its parser and the records it
// fills. Shared by the track tool (which turns it into .track files) and the
// soundtrack synthesizer (which takes its music sections and cues from it).
#pragma once

enum {
    TimelineTrackCount = 6,   // scene, part, var0, var1, post1, post2
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
    float bpm;
    int rowsPerBeat;
    int beatsPerBar;
    TimelineTrack tracks[TimelineTrackCount];
    MusicSection sections[MaxMusicSections];
    int sectionCount;
    MusicCue cues[MaxMusicCues];
    int cueCount;
    int endRow;   // row of the end key; -1 while the show has no end
};

extern const char* const timelineTrackNames[TimelineTrackCount];

// The words of "music" and "cue" lines; the synthesizer knows each by its index.
enum { MusicStyleCount = 10, CueCount = 4 };
extern const char* const musicStyleNames[MusicStyleCount];
extern const char* const cueNames[CueCount];
int musicStyleIndex(const char* name);   // -1 when unknown
int cueIndex(const char* name);

// Index of a track name in timelineTrackNames, or -1.
int timelineTrackIndex(const char* name);
const char* keyTypeName(int type);

// Parses the timeline text. Returns 1 on success; 0 with a message
// "NAME:LINE: what is wrong" in error (name is the label used in messages).
int parseTimeline(const char* text, const char* name, Timeline* timeline, char* error, int errorSize);

// Reads and parses a timeline file (at most 1 MiB). Returns 1, or 0 with a message.
int loadTimeline(const char* path, Timeline* timeline, char* error, int errorSize);

// The bytes of a .track file for one track (4 + 9 n, little-endian) in out,
// which must hold 4 + 9 * MaxTimelineKeys bytes. Returns the byte count.
int encodeTrack(const TimelineTrack* track, unsigned char* out);

// Writes OUTDIR/sync_<name>.track for all six tracks. Returns 1, or 0 with a message.
int writeTrackFiles(const Timeline* timeline, const char* outDir, char* error, int errorSize);

// Seconds of a row at the timeline's tempo.
double rowSeconds(const Timeline* timeline, double row);

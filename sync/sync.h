// Timing, sync and music: the demo configuration record, the sync-track
// player that turns a show time into track values, and soundtrack playback.
#pragma once
#include "sync/vocabulary.h"
#include <stddef.h>
#include <stdint.h>

// ---- configuration -------------------------------------------------------------
enum { MaxTracks = 16 };
struct DemoConfig {
    const char* dataDir;   // "./data/"
    void* reserved;
    const char* musicFile;   // relative to dataDir; null = no music
    void (*dataHook)(void);
    const char* trackNames[MaxTracks];   // ends at the first null
    float bpm;                           // 0 means 120
    int rowsPerBeat;                     // 0 means 4
    const ShowVocabulary* vocabulary;    // the show's words (timeline compiler, live editing); null: none
};
// The configuration in use: set by start-up to the show's own record; null
// until then (no tracks, no soundtrack).
extern DemoConfig* demoConfig;

// ---- sync tracks ---------------------------------------------------------------
struct SyncKey {
    int row;
    float value;
    int type;
};   // type: 0 step, 1 linear, 2 smooth, 3 ramp
struct SyncTrack {
    char* name;
    SyncKey* keys;
    int keyCount;
};
struct SyncDevice {
    char* basePath;
    SyncTrack** tracks;
    int trackCount;
};

extern SyncDevice* syncDevice;
extern SyncTrack* syncTracks[MaxTracks];
extern float syncRowRate;   // rows per millisecond

void initSync(void);
// Every configured track's value at a show time (at the row the player rounds
// it to) into values[0 .. MaxTracks-1]; unconfigured entries are 0.
void evaluateTracks(float time, float* values);
SyncTrack* getTrack(const char* name);
int findTrack(SyncDevice* device, const char* name);
const char* trackPath(const char* base, const char* name);   // null when it does not fit
// Reads a .track file into track, tolerant: a damaged file keeps the keys it
// holds whole (logged). Returns 1 read, 0 when the file could not be opened or
// was refused (logged). The track must be zeroed or hold keys of an earlier
// read: they are freed.
int readTrackFile(const char* path, SyncTrack* track);
// The .track key format: a little-endian int32 key count, then 9 bytes a key
// (int32 row, float32 value, signed type byte). Decodes size bytes into at
// most capacity keys. Tolerant (strict 0): the keys the bytes hold whole, up to
// the declared count, are kept and their number returned (0 for no head or a
// negative count). Strict: the bytes must hold exactly the declared count
// (no more than capacity), rows ascending, types 0..3; returns the count, or
// -1 with the reason in why (when given). With keys null nothing is decoded:
// the count is returned (a check).
int decodeTrackKeys(const unsigned char* bytes, size_t size, int strict, SyncKey* keys, long capacity, char* why,
                    int whySize);
int findKey(const SyncTrack* track, int row);
float trackValue(const SyncTrack* track, double row);
// The row for a show time, rounded as the player rounds it.
float rowForTime(float seconds);

// ---- changing tracks while the show plays ---------------------------------------------
// Copies count keys into track (its old keys freed). 1, or 0 when memory ran
// out (the old keys stay).
int replaceTrackKeys(SyncTrack* track, const SyncKey* keys, int count);
// Compiles a timeline file into every configured track it names, all or
// nothing. Returns 1; 0 with "file:line: what is wrong" in error and the
// tracks unchanged.
int loadTimelineTracks(const char* path, char* error, int errorSize);
// Reads a .track file into the configured track trackName. 1 replaced; 0 no
// such track or no memory; -1 the file is missing, too large or not whole
// (caught half-written: try again later). The old keys stay unless 1.
int reloadTrackFile(const char* path, const char* trackName);

// ---- music ---------------------------------------------------------------------
struct SoundStream;
struct SoundModule;
struct ZxxEvent {
    int parameter, time, order, pattern, row;
};
extern int soundReady;
extern SoundModule* currentSong;
extern SoundStream* currentStream;

// Starts the soundtrack at startSeconds into it. 1 started, 0 otherwise (silent).
int startMusic(const char* path, float startSeconds);
int stopMusic(void);
// Starts the configured soundtrack (demoConfig->musicFile with the data
// directory in front, in a buffer of DataPathSize bytes) at startSeconds. 1 started;
// 0 without a soundtrack, when the name does not fit or playback failed (both logged).
int startSoundtrack(float startSeconds);
int isStreamFile(const char* path);
// The transport: move the playing soundtrack to a time (1 moved, 0 nothing
// plays), hold it silent where it is (1) or play on (0), and its position
// in seconds (-1 when nothing plays).
int seekMusic(float seconds);
int holdMusic(int held);
float musicPosition(void);
void onZxx(SoundModule* module, unsigned char parameter);
int pushZxxEvent(const ZxxEvent* event);
int zxxEventCount(void);
const ZxxEvent* zxxEventAt(int index);

// The soundtrack synthesizer: the barn band's instruments, each adding one
// note into a stereo mix; the arrangement that plays the timeline's music
// sections; the master stage; the MP3 and tracker-module writers.
// Everything is deterministic: noise comes from seeded generators, never rand().
#pragma once
#include <stdint.h>
#include <stddef.h>

struct Timeline;

enum { SampleRate = 44100 };

// Two stereo buses: dry and the send into the room (reverb).
struct Mix {
    float* left;
    float* right;
    float* sendLeft;
    float* sendRight;
    int length;   // samples per channel
};

// Returns 1, or 0 when the buses could not be allocated (logged on stderr).
int allocMix(Mix* mix, int length);
void freeMix(Mix* mix);

float midiFrequency(float note);

// Instruments. start is a sample index; notes past the mix's end are cut.
// gain is linear, pan runs from -1 (left) to 1 (right).
void addStomp(Mix* mix, int start, float gain);
void addClap(Mix* mix, int start, float gain);
void addWashboard(Mix* mix, int start, float gain, int accent);
void addBass(Mix* mix, int start, float note, float seconds, float gain);
void addBanjo(Mix* mix, int start, float note, float gain, float pan);
void addFiddle(Mix* mix, int start, float note, float seconds, float gain, float pan);
void addShot(Mix* mix, int start, float gain);
void addSmash(Mix* mix, int start, float gain, uint32_t seed);
void addBoom(Mix* mix, int start, float gain);

// Reverb, DC filter, soft saturation and normalisation to peakDb (dBFS): the
// final samples are left in mix->left and mix->right.
void finishMix(Mix* mix, float peakDb);

// Plays the timeline's music sections and cues into the mix, which must be
// songLength(timeline) samples long. Returns 1, or 0 with a message on stderr.
int arrangeSong(const Timeline* timeline, Mix* mix);
int songLength(const Timeline* timeline);

// Encodes the mix as a 44.1 kHz stereo MP3 with the LAME info tag written over
// the first frame. Returns 1, or 0 with a message on stderr.
int writeMp3(const Mix* mix, const char* path);
int writeWav(const Mix* mix, const char* path);

// A small FastTracker 2 module: one sample, one pattern, notes and "Z"
// effects (parameters 0x01, 0x02, ...) at known rows. Returns 1 or 0.
int writeZxxModule(const char* path);

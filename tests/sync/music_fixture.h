// Shared by the music tests: SDL's "disk" driver captures the output, MP3
// sines and S3M modules with Z effects are written here, captures are read back.
#pragma once
#include "sync/sync.h"
#include "platform/platform.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <lame/lame.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

const int Rate = 44100;

// Every test of this program captures the output instead of playing it.
struct DiskAudio {
    DiskAudio()
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        setenv("SDL_DISKAUDIOFILE", "music_capture.raw", 1);
    }
};
inline DiskAudio diskAudio;

inline void writeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// A sine of the given length (440 Hz left, 660 Hz right), encoded with the
// LAME info tag written over the first frame so decoders trim the encoder
// delay and padding.
inline void writeSineMp3(const std::string& path, int frames, float amplitude, int rate = Rate, int channels = 2)
{
    std::vector<float> left(frames), right(frames);
    for (int i = 0; i < frames; i++) {
        left[i] = amplitude * sinf(2.0f * 3.14159265f * 440.0f * i / rate);
        right[i] = amplitude * sinf(2.0f * 3.14159265f * 660.0f * i / rate);
    }
    lame_global_flags* gf = lame_init();
    lame_set_in_samplerate(gf, rate);
    lame_set_out_samplerate(gf, rate);
    lame_set_num_channels(gf, channels);
    if (channels == 1) lame_set_mode(gf, MONO);
    lame_set_brate(gf, 128);
    lame_set_bWriteVbrTag(gf, 1);
    ASSERT_GE(lame_init_params(gf), 0);
    std::vector<unsigned char> mp3(frames * 2 + 65536);
    int n = lame_encode_buffer_ieee_float(gf, left.data(), right.data(), frames, mp3.data(), (int)mp3.size());
    ASSERT_GE(n, 0);
    int m = lame_encode_flush(gf, mp3.data() + n, (int)mp3.size() - n);
    ASSERT_GE(m, 0);
    mp3.resize(n + m);
    unsigned char tag[4096];
    size_t tagSize = lame_get_lametag_frame(gf, tag, sizeof tag);
    ASSERT_GT(tagSize, 0u);
    ASSERT_LE(tagSize, mp3.size());
    memcpy(mp3.data(), tag, tagSize);
    lame_close(gf);
    writeFile(path, mp3);
}

// Closes the output so the next startMusic opens it again (and the disk driver
// starts a fresh capture file).
inline void resetOutput(const char* capture)
{
    static std::string previous;
    stopMusic();
    soundShutdown();
    soundReady = 0;
    if (!previous.empty()) unlink(previous.c_str());   // captures run to megabytes
    previous = capture;
    setenv("SDL_DISKAUDIOFILE", capture, 1);
    unlink(capture);
}

inline long fileSize(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 ? (long)st.st_size : 0;
}

// Waits until the capture has grown by the given number of stereo frames.
inline bool waitForCapture(const char* path, long frames)
{
    long target = fileSize(path) + frames * 8;
    for (int i = 0; i < 20000; i++) {
        if (fileSize(path) >= target) return true;
        usleep(1000);
    }
    return false;
}

// Waits until the playing stream has been played to its end, then for a
// little captured silence after it.
inline bool waitForStreamEnd(const char* capture)
{
    for (int i = 0; i < 20000 && currentStream; i++) {
        if (soundStreamTime(currentStream) >= soundStreamLength(currentStream))
            return waitForCapture(capture, Rate / 5);
        usleep(1000);
    }
    return false;
}

inline std::vector<float> readCapture(const char* path)
{
    std::string bytes = readFile(path);
    std::vector<float> samples(bytes.size() / sizeof(float));
    memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

struct Loud {
    long first, last;
    double rms;
};

// The first and last stereo frame above the threshold, and the RMS between them.
inline Loud loudPart(const std::vector<float>& s, float threshold)
{
    Loud l = {-1, -1, 0.0};
    long frames = (long)s.size() / 2;
    for (long i = 0; i < frames; i++)
        if (fabsf(s[2 * i]) > threshold || fabsf(s[2 * i + 1]) > threshold) {
            if (l.first < 0) l.first = i;
            l.last = i;
        }
    if (l.first < 0) return l;
    double sum = 0;
    for (long i = 2 * l.first; i <= 2 * l.last + 1; i++) sum += (double)s[i] * s[i];
    l.rms = sqrt(sum / (2.0 * (l.last - l.first + 1)));
    return l;
}

// ---- a tracker module written here: S3M with "Z" effects only ----------------

struct ZCell {
    int pattern, row, channel, param;
};

inline void put16(std::vector<unsigned char>& v, size_t at, int x)
{
    v[at] = (unsigned char)(x & 255);
    v[at + 1] = (unsigned char)((x >> 8) & 255);
}

// Two-channel S3M without instruments: `patterns` patterns of 64 rows played in
// order, one tick per row at the given tempo.
inline std::vector<unsigned char> makeS3m(const std::vector<ZCell>& cells, int patterns, int tempo)
{
    std::vector<unsigned char> f(0x60, 0);
    memcpy(&f[0], "zxx test", 8);
    f[0x1C] = 0x1A;
    f[0x1D] = 16;
    int orders = (patterns + 2) & ~1;
    put16(f, 0x20, orders);
    put16(f, 0x22, 0);
    put16(f, 0x24, patterns);
    put16(f, 0x28, 0x1320);
    put16(f, 0x2A, 2);
    memcpy(&f[0x2C], "SCRM", 4);
    f[0x30] = 64;   // global volume
    f[0x31] = 1;    // speed: one tick per row
    f[0x32] = (unsigned char)tempo;
    f[0x33] = 0xB0;
    for (int c = 0; c < 32; c++) f[0x40 + c] = c == 0 ? 0 : c == 1 ? 8 : 255;
    for (int o = 0; o < orders; o++) f.push_back(o < patterns ? (unsigned char)o : 255);
    size_t pointers = f.size();
    f.resize(f.size() + 2 * patterns);
    for (int p = 0; p < patterns; p++) {
        while (f.size() % 16) f.push_back(0);
        put16(f, pointers + 2 * p, (int)(f.size() / 16));
        size_t start = f.size();
        f.resize(f.size() + 2);
        for (int r = 0; r < 64; r++) {
            for (const ZCell& z : cells)
                if (z.pattern == p && z.row == r) {
                    f.push_back((unsigned char)(128 | z.channel));
                    f.push_back(26);   // 'Z'
                    f.push_back((unsigned char)z.param);
                }
            f.push_back(0);
        }
        put16(f, start, (int)(f.size() - start));
    }
    return f;
}

// Twelve Z effects over two orders; two share row 8 (channel order decides).
inline const std::vector<ZCell> zCells = {
    {0, 0, 0, 0x10}, {0, 3, 1, 0x11}, {0, 8, 0, 0x12},  {0, 8, 1, 0x13},  {0, 20, 1, 0x14}, {0, 63, 0, 0x15},
    {1, 0, 1, 0x16}, {1, 1, 0, 0x17}, {1, 30, 0, 0x18}, {1, 40, 1, 0x19}, {1, 50, 0, 0x1A}, {1, 60, 1, 0x1B},
};
const int zTempo = 250;   // 2.5 / 250 s = 10 ms per row
const double zRowMs = 10.0;

struct SeenZ {
    int parameter, order, pattern, row, time;
};
inline std::vector<SeenZ> seenZ;

inline void recordZ(SoundModule* module, unsigned char parameter)
{
    seenZ.push_back({parameter, soundModuleOrder(module), soundModulePattern(module), soundModuleRow(module),
                     soundModuleTime(module)});
}

inline bool waitForModuleTime(SoundModule* module, int ms)
{
    for (int i = 0; i < 20000; i++) {
        if (soundModuleTime(module) >= ms) return true;
        usleep(1000);
    }
    return false;
}

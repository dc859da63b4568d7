// Music: streams and modules through the sound layer with SDL's "disk" driver
// capturing the output, the Zxx event ring, the stream/module choice by
// extension, start offsets, silent fallbacks and what shutdown releases.
#include "sync/sync.h"
#include "app/app.h"
#include "platform/platform.h"
#include "support/gl_context.h"
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

namespace {

const int Rate = 44100;

// Every test of this program captures the output instead of playing it.
struct DiskAudio {
    DiskAudio()
    {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIODELAY", "0", 1);
        setenv("SDL_DISKAUDIOFILE", "music_capture.raw", 1);
    }
} diskAudio;

void writeFile(const std::string& path, const std::vector<unsigned char>& bytes)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
}

// A sine of the given length (440 Hz left, 660 Hz right), encoded with the
// LAME info tag written over the first frame so decoders trim the encoder
// delay and padding.
void writeSineMp3(const std::string& path, int frames, float amplitude, int rate = Rate, int channels = 2)
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
void resetOutput(const char* capture)
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

long fileSize(const char* path)
{
    struct stat st;
    return stat(path, &st) == 0 ? (long)st.st_size : 0;
}

// Waits until the capture has grown by the given number of stereo frames.
bool waitForCapture(const char* path, long frames)
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
bool waitForStreamEnd(const char* capture)
{
    for (int i = 0; i < 20000 && currentStream; i++) {
        if (soundStreamTime(currentStream) >= soundStreamLength(currentStream))
            return waitForCapture(capture, Rate / 5);
        usleep(1000);
    }
    return false;
}

std::vector<float> readCapture(const char* path)
{
    std::string bytes = readFile(path);
    std::vector<float> samples(bytes.size() / sizeof(float));
    memcpy(samples.data(), bytes.data(), samples.size() * sizeof(float));
    return samples;
}

struct Loud { long first, last; double rms; };

// The first and last stereo frame above the threshold, and the RMS between them.
Loud loudPart(const std::vector<float>& s, float threshold)
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

struct ZCell { int pattern, row, channel, param; };

void put16(std::vector<unsigned char>& v, size_t at, int x)
{
    v[at] = (unsigned char)(x & 255);
    v[at + 1] = (unsigned char)((x >> 8) & 255);
}

// Two-channel S3M without instruments: `patterns` patterns of 64 rows played in
// order, one tick per row at the given tempo.
std::vector<unsigned char> makeS3m(const std::vector<ZCell>& cells, int patterns, int tempo)
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
    f[0x30] = 64;       // global volume
    f[0x31] = 1;        // speed: one tick per row
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
const std::vector<ZCell> zCells = {
    {0, 0, 0, 0x10}, {0, 3, 1, 0x11}, {0, 8, 0, 0x12}, {0, 8, 1, 0x13}, {0, 20, 1, 0x14},
    {0, 63, 0, 0x15}, {1, 0, 1, 0x16}, {1, 1, 0, 0x17}, {1, 30, 0, 0x18}, {1, 40, 1, 0x19},
    {1, 50, 0, 0x1A}, {1, 60, 1, 0x1B},
};
const int zTempo = 250;                                  // 2.5 / 250 s = 10 ms per row
const double zRowMs = 10.0;

struct SeenZ { int parameter, order, pattern, row, time; };
std::vector<SeenZ> seenZ;

void recordZ(SoundModule* module, unsigned char parameter)
{
    seenZ.push_back({parameter, soundModuleOrder(module), soundModulePattern(module),
                     soundModuleRow(module), soundModuleTime(module)});
}

bool waitForModuleTime(SoundModule* module, int ms)
{
    for (int i = 0; i < 20000; i++) {
        if (soundModuleTime(module) >= ms) return true;
        usleep(1000);
    }
    return false;
}

}  // namespace

TEST(Music, StreamFileByExactExtension)
{
    EXPECT_EQ(isStreamFile("./data/barnstomp.mp3"), 1);
    EXPECT_EQ(isStreamFile("SONG.MP3"), 1);
    EXPECT_EQ(isStreamFile("a.b/tune.ogg"), 1);
    EXPECT_EQ(isStreamFile("x.OGG"), 1);
    EXPECT_EQ(isStreamFile("song.Mp3"), 0);        // mixed case goes to the module loader
    EXPECT_EQ(isStreamFile("song.mp3.xm"), 0);
    EXPECT_EQ(isStreamFile("song.mp"), 0);
    EXPECT_EQ(isStreamFile("song.mp3 "), 0);
    EXPECT_EQ(isStreamFile("mp3"), 0);
    EXPECT_EQ(isStreamFile(".mp3"), 1);            // no dot-less fallback needed: whole path
    EXPECT_EQ(isStreamFile(""), 0);
    EXPECT_EQ(isStreamFile(nullptr), 0);
}

TEST(Music, MissingOrBrokenSoundtrackLeavesShowSilent)
{
    resetOutput("capture_missing.raw");
    EXPECT_EQ(startMusic("no/such/barnstomp.mp3", 0.0f), 0);
    EXPECT_EQ(currentStream, nullptr);
    EXPECT_EQ(currentSong, nullptr);
    EXPECT_EQ(startMusic("no/such/song.xm", 0.0f), 0);
    EXPECT_EQ(currentSong, nullptr);

    writeFile("broken.mp3", std::vector<unsigned char>(5000, 0x5A));
    EXPECT_EQ(startMusic("broken.mp3", 0.0f), 0);
    writeFile("broken.it", std::vector<unsigned char>(300, 0x00));
    EXPECT_EQ(startMusic("broken.it", 0.0f), 0);
    writeSineMp3("mixed.Mp3", Rate / 10, 0.5f);      // a real MP3, but loaded as a module
    EXPECT_EQ(startMusic("mixed.Mp3", 0.0f), 0);
    EXPECT_EQ(startMusic(nullptr, 0.0f), 0);

    EXPECT_EQ(currentStream, nullptr);
    EXPECT_EQ(currentSong, nullptr);
    EXPECT_EQ(soundLiveObjects(), 0);
    EXPECT_EQ(stopMusic(), 1);                      // shutdown: nothing to release
    EXPECT_EQ(soundLiveObjects(), 0);
}

TEST(Music, Mp3StreamPlaysWholeAndFromOffset)
{
    writeSineMp3("sine.mp3", Rate, 0.5f);
    const char* capture = "capture_mp3.raw";
    resetOutput(capture);
    ASSERT_EQ(startMusic("sine.mp3", 0.0f), 1);
    ASSERT_TRUE(currentStream);
    EXPECT_EQ(currentSong, nullptr);
    EXPECT_EQ(soundStreamLength(currentStream), 1000);   // gapless: exactly one second
    EXPECT_TRUE(waitForStreamEnd(capture));
    EXPECT_EQ(soundLiveObjects(), 1);
    EXPECT_EQ(stopMusic(), 1);
    EXPECT_EQ(soundLiveObjects(), 0);
    EXPECT_EQ(currentStream, nullptr);
    soundShutdown();
    Loud whole = loudPart(readCapture(capture), 0.02f);
    ASSERT_GE(whole.first, 0) << "captured output is silent";
    EXPECT_NEAR(whole.last - whole.first + 1, Rate, 40);
    EXPECT_NEAR(whole.rms, 0.5 / sqrt(2.0), 0.03);

    resetOutput(capture);
    ASSERT_EQ(startMusic("sine.mp3", 0.75f), 1);         // --start: seek into the stream
    EXPECT_TRUE(waitForStreamEnd(capture));
    stopMusic();
    soundShutdown();
    Loud tail = loudPart(readCapture(capture), 0.02f);
    ASSERT_GE(tail.first, 0);
    EXPECT_NEAR(tail.last - tail.first + 1, Rate / 4, 40);

    resetOutput(capture);
    ASSERT_EQ(startMusic("sine.mp3", 5.0f), 1);          // past the end: silence, still started
    EXPECT_TRUE(waitForStreamEnd(capture));
    stopMusic();
    soundShutdown();
    EXPECT_LT(loudPart(readCapture(capture), 0.02f).first, 0);
}

// Streams in other formats are decoded whole and converted to 44100 Hz stereo.
TEST(Music, OtherStreamFormatsAreConverted)
{
    writeSineMp3("mono22k.mp3", 22050, 0.5f, 22050, 1);
    const char* capture = "capture_convert.raw";
    resetOutput(capture);
    ASSERT_EQ(startMusic("mono22k.mp3", 0.0f), 1);
    EXPECT_NEAR(soundStreamLength(currentStream), 1000, 2);
    EXPECT_TRUE(waitForStreamEnd(capture));
    stopMusic();
    soundShutdown();
    std::vector<float> mono = readCapture(capture);
    Loud l = loudPart(mono, 0.02f);
    ASSERT_GE(l.first, 0);
    EXPECT_NEAR(l.last - l.first + 1, Rate, 60);
    EXPECT_EQ(mono[2 * (l.first + 100)], mono[2 * (l.first + 100) + 1]);   // one channel on both sides

    int made = runCommand("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 "
                          "-ac 2 -c:a libvorbis sine.ogg");
    if (made != 0) GTEST_SKIP() << "ffmpeg could not write an Ogg Vorbis file";
    resetOutput(capture);
    ASSERT_EQ(startMusic("sine.ogg", 0.0f), 1);
    EXPECT_NEAR(soundStreamLength(currentStream), 1000, 2);
    EXPECT_TRUE(waitForStreamEnd(capture));
    stopMusic();
    soundShutdown();
    Loud ogg = loudPart(readCapture(capture), 0.02f);
    ASSERT_GE(ogg.first, 0) << "captured output is silent";
    EXPECT_NEAR(ogg.last - ogg.first + 1, Rate, 60);
}

TEST(Music, ModuleDeliversFirstTenZxxEventsInOrder)
{
    writeFile("zxx.s3m", makeS3m(zCells, 2, zTempo));
    resetOutput("capture_module.raw");
    ASSERT_EQ(startMusic("zxx.s3m", 0.0f), 1);
    ASSERT_TRUE(currentSong);
    EXPECT_EQ(currentStream, nullptr);
    EXPECT_TRUE(waitForModuleTime(currentSong, 1250));
    stopMusic();
    soundShutdown();
    ASSERT_EQ(zxxEventCount(), 10);
    for (int i = 0; i < 10; i++) {
        const ZxxEvent* e = zxxEventAt(i);
        ASSERT_TRUE(e);
        EXPECT_EQ(e->parameter, zCells[i].param) << i;
        EXPECT_EQ(e->order, zCells[i].pattern) << i;     // order i plays pattern i
        EXPECT_EQ(e->pattern, zCells[i].pattern) << i;
        EXPECT_EQ(e->row, zCells[i].row) << i;
        double rowMs = (zCells[i].pattern * 64 + zCells[i].row) * zRowMs;
        EXPECT_NEAR(e->time, rowMs, zRowMs + 1) << i;
    }
    EXPECT_EQ(zxxEventAt(10), nullptr);
    ZxxEvent extra = {1, 2, 3, 4, 5};
    EXPECT_EQ(pushZxxEvent(&extra), 0);                  // the ring keeps the first ten
    EXPECT_EQ(zxxEventCount(), 10);
}

TEST(Music, ModuleLayerReportsEveryZRowAndSeeks)
{
    writeFile("zxx_layer.s3m", makeS3m(zCells, 2, zTempo));
    resetOutput("capture_layer.raw");
    ASSERT_EQ(soundInit(44100), 1);
    SoundModule* m = soundModuleLoad("zxx_layer.s3m");
    ASSERT_TRUE(m);
    seenZ.clear();
    ASSERT_EQ(soundModuleSetZxxCallback(m, recordZ), 1);
    ASSERT_EQ(soundModulePlay(m, 0), 1);
    EXPECT_TRUE(waitForModuleTime(m, 1250));
    EXPECT_EQ(soundModuleFree(m), 1);                    // stops the callback before returning
    ASSERT_EQ(seenZ.size(), zCells.size());              // the 11th and 12th reach the layer
    for (size_t i = 0; i < zCells.size(); i++) {
        EXPECT_EQ(seenZ[i].parameter, zCells[i].param) << i;
        EXPECT_EQ(seenZ[i].order, zCells[i].pattern) << i;
        EXPECT_EQ(seenZ[i].row, zCells[i].row) << i;
    }

    // Started 0.7 s in (order 1, row 6): the first effect seen is order 1 row 30.
    m = soundModuleLoad("zxx_layer.s3m");
    ASSERT_TRUE(m);
    seenZ.clear();
    soundModuleSetZxxCallback(m, recordZ);
    ASSERT_EQ(soundModulePlay(m, 700), 1);
    EXPECT_TRUE(waitForModuleTime(m, 1250));
    soundModuleFree(m);
    ASSERT_EQ(seenZ.size(), 4u);
    EXPECT_EQ(seenZ[0].parameter, 0x18);
    EXPECT_EQ(seenZ[0].order, 1);
    EXPECT_EQ(seenZ[0].row, 30);
    EXPECT_EQ(soundLiveObjects(), 0);
    soundShutdown();
}

TEST(Music, NoDeviceFallsBackToSilentOutputThatAdvances)
{
    writeSineMp3("fallback.mp3", Rate * 2, 0.5f);
    resetOutput("capture_fallback.raw");
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    uint32_t started = tickCount();
    ASSERT_EQ(startMusic("fallback.mp3", 0.0f), 1);
    ASSERT_TRUE(currentStream);
    int position = 0;
    for (int i = 0; i < 5000 && position <= 200; i++) {
        usleep(1000);
        position = soundStreamTime(currentStream);
    }
    uint32_t elapsed = tickCount() - started;
    EXPECT_GT(position, 200);                   // it moves without a device...
    EXPECT_LE(position, (int)elapsed + 100);    // ...paced by the clock, never ahead of it
    stopMusic();
    soundShutdown();
    soundReady = 0;
    setenv("SDL_AUDIODRIVER", "disk", 1);
}

TEST(Music, SoundtrackNameMustFitItsBuffer)
{
    mkdir("data", 0755);
    // "./data/" + 60 characters + terminator is exactly 68: it fits.
    std::string fits = std::string(56, 's') + ".mp3";
    std::string tooLong = "s" + fits;
    writeSineMp3("data/" + fits, Rate / 10, 0.5f);
    writeSineMp3("data/" + tooLong, Rate / 10, 0.5f);
    resetOutput("capture_names.raw");
    DemoConfig config = builtinConfig;
    demoConfig = &config;
    config.musicFile = fits.c_str();
    EXPECT_EQ(startSoundtrack(0.0f), 1);
    EXPECT_TRUE(currentStream);
    config.musicFile = tooLong.c_str();
    SoundStream* playing = currentStream;
    EXPECT_EQ(startSoundtrack(0.0f), 0);        // refused before anything is opened
    EXPECT_EQ(currentStream, playing);          // so what plays goes on
    EXPECT_EQ(stopMusic(), 1);
    config.musicFile = nullptr;                 // no soundtrack: the show runs on the clock
    EXPECT_EQ(startSoundtrack(0.0f), 0);
    EXPECT_EQ(currentStream, nullptr);
    EXPECT_EQ(soundLiveObjects(), 0);
    demoConfig = &builtinConfig;
    resetOutput("capture_names2.raw");
    soundShutdown();
}

TEST(Music, StartOptionTakesSecondsFromZeroToADay)
{
    char prog[] = "kestrel", opt[] = "--start";
    char good[] = "12.5", zero[] = "0", negative[] = "-1", nan[] = "nan", junk[] = "3s", huge[] = "1e9";
    char* argv[3] = {prog, opt, good};
    ASSERT_EQ(parseCommandLine(3, argv), 1);
    EXPECT_EQ(runOptions.startTime, 12.5f);
    argv[2] = zero;
    ASSERT_EQ(parseCommandLine(3, argv), 1);
    EXPECT_EQ(runOptions.startTime, 0.0f);
    for (char* bad : {negative, nan, junk, huge}) {
        argv[2] = bad;
        EXPECT_EQ(parseCommandLine(3, argv), -1) << bad;
    }
    EXPECT_EQ(parseCommandLine(2, argv), -1);   // the value is missing
}

// The sound layer: one SDL2 output (44100 Hz, stereo float) that mixes the
// playing stream and module; streams are decoded whole at open (mpg123 for MP3,
// stb_vorbis for Ogg), modules are rendered by libopenmpt in the output
// callback, which also reports each new row's "Z" effects to the Zxx callback.
#include "platform/platform.h"
#include <SDL2/SDL.h>
#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <atomic>
#include <new>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#ifndef __clang__
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#pragma GCC diagnostic ignored "-Wmisleading-indentation"
#include <stb/stb_vorbis.h>
#pragma GCC diagnostic pop
#undef L
#undef C
#undef R

enum {
    OutputRate = 44100,
    SubRead = 64,                 // module frames rendered per step
    MaxStreamSeconds = 10 * 60,   // longest stream decoded into memory (212 MB of floats)
};

struct SoundStream {
    float* frames;   // interleaved stereo at OutputRate, frameCount long
    size_t frameCount;
    size_t cursor;   // next frame to play
    // Frames decoded so far. An MP3 already at the output format is decoded by
    // a thread of its own while it plays; every other stream is whole at open.
    std::atomic<size_t> decoded;
    std::atomic<int> cancel;
    SDL_Thread* decoder;
    mpg123_handle* mp3;
};

struct SoundModule {
    openmpt_module* mod;
    SoundZxxCallback zxx;
    int lastOrder, lastRow;   // the row whose "Z" effects were reported last
    int finished;
    double duration;   // seconds, played once
};

static SDL_AudioDeviceID outputDevice;
static int outputReady;
static SoundStream* playingStream;
static SoundModule* playingModule;
static int liveObjects;   // streams and modules made and not yet freed, on every path
static float moduleScratch[SubRead * 2];

// ---- output ------------------------------------------------------------------

// The position moves with the output even over frames the decoder has not
// reached yet (they play as silence): the stream never falls behind the clock.
static void mixStream(SoundStream* s, float* out, size_t frames)
{
    size_t left = s->frameCount - s->cursor;
    size_t n = frames < left ? frames : left;
    size_t ready = s->decoded.load(std::memory_order_acquire);
    size_t audible = ready <= s->cursor ? 0 : ready - s->cursor < n ? ready - s->cursor : n;
    const float* in = s->frames + s->cursor * 2;
    for (size_t i = 0; i < audible * 2; i++) out[i] += in[i];
    s->cursor += n;
}

// Reports the "Z" effects of the row the module is on, once per row.
static void scanRow(SoundModule* m)
{
    int order = openmpt_module_get_current_order(m->mod);
    int row = openmpt_module_get_current_row(m->mod);
    if (order == m->lastOrder && row == m->lastRow) return;
    m->lastOrder = order;
    m->lastRow = row;
    if (!m->zxx) return;
    int pattern = openmpt_module_get_current_pattern(m->mod);
    int channels = openmpt_module_get_num_channels(m->mod);
    for (int c = 0; c < channels; c++) {
        const char* effect =
            openmpt_module_format_pattern_row_channel_command(m->mod, pattern, row, c, OPENMPT_MODULE_COMMAND_EFFECT);
        int isZ = effect && effect[0] == 'Z' && effect[1] == 0;
        openmpt_free_string(effect);
        if (!isZ) continue;
        unsigned char parameter =
            openmpt_module_get_pattern_row_channel_command(m->mod, pattern, row, c, OPENMPT_MODULE_COMMAND_PARAMETER);
        m->zxx(m, parameter);
    }
}

// Rows are scanned once at the start and after every sub-read until the song
// has played its length: at its end the module jumps back to its first row,
// which must not be reported again.
static void mixModule(SoundModule* m, float* out, size_t frames)
{
    for (size_t done = 0; done < frames && !m->finished;) {
        size_t step = frames - done < (size_t)SubRead ? frames - done : (size_t)SubRead;
        if (m->lastOrder < 0) scanRow(m);
        size_t got = openmpt_module_read_interleaved_float_stereo(m->mod, OutputRate, step, moduleScratch);
        for (size_t i = 0; i < got * 2; i++) out[done * 2 + i] += moduleScratch[i];
        done += got;
        if (got < step || openmpt_module_get_position_seconds(m->mod) >= m->duration)
            m->finished = 1;
        else
            scanRow(m);
    }
}

// Set by the main thread: while 1 the output plays silence and no stream or
// module moves on, so playing resumes at the same sample.
static std::atomic<int> outputHeld{0};

int soundHold(int held)
{
    outputHeld.store(held ? 1 : 0);
    return 1;
}

static void outputCallback(void*, Uint8* bytes, int length)
{
    float* out = (float*)bytes;
    size_t frames = (size_t)length / (2 * sizeof(float));
    memset(bytes, 0, (size_t)length);
    if (outputHeld.load()) return;
    if (playingStream) mixStream(playingStream, out, frames);
    if (playingModule) mixModule(playingModule, out, frames);
}

// The output asked for (soundSetOutput) and the format SDL gave.
static char wantedDevice[128];
static int muted;
static int outputSilent;   // 1 on SDL's dummy driver: nothing is heard
static int obtainedSamples, obtainedRate;

void soundSetOutput(const char* deviceName, int mute)
{
    snprintf(wantedDevice, sizeof wantedDevice, "%s", deviceName ? deviceName : "");
    muted = mute ? 1 : 0;
}

// SDL would otherwise take over SIGINT and SIGTERM, and the show could no
// longer be stopped from a terminal or by kill. Returns 1 when audio started.
static int startSdlAudio(void)
{
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    return SDL_InitSubSystem(SDL_INIT_AUDIO) == 0;
}

// The wanted device's name when SDL lists it, else null: the default device
// (a missing name is logged).
static const char* chosenDevice(void)
{
    if (!wantedDevice[0]) return nullptr;
    int count = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < count; i++) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        if (name && strcmp(name, wantedDevice) == 0) return wantedDevice;
    }
    logMessage("sound: no output device named <%s>, the default device plays\n", wantedDevice);
    return nullptr;
}

int soundPrintDevices(FILE* out)
{
    if (!startSdlAudio()) {
        logMessage("sound: SDL audio did not start (%s)\n", SDL_GetError());
        return -1;
    }
    int count = SDL_GetNumAudioDevices(0);
    int printed = 0;
    for (int i = 0; i < count; i++) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        if (!name) continue;
        fprintf(out, "%s\n", name);
        printed++;
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return printed;
}

float soundOutputLatency(void)
{
    if (!outputReady || outputSilent) return 0.0f;
    uint32_t queued = SDL_GetQueuedAudioSize(outputDevice) / (uint32_t)(2 * sizeof(float));
    return audioLatencySeconds(obtainedSamples, obtainedRate, queued);
}

static SDL_AudioDeviceID openOutput(int mixRate)
{
    if (!startSdlAudio()) return 0;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = mixRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = outputCallback;
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(chosenDevice(), 0, &want, &have, 0);
    if (id == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    obtainedSamples = id ? have.samples : 0;
    obtainedRate = id ? have.freq : 0;
    return id;
}

// Returns 1 when ready. Without a usable device the output falls back to SDL's
// silent "dummy" driver, so positions still advance with the wall clock.
int soundInit(int mixRate)
{
    if (outputReady) return 1;
    if (mixRate != OutputRate) return 0;   // streams are converted to this rate
    outputSilent = muted;
    if (muted) {
        logMessage("sound: muted, no output device is opened\n");
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
    }
    outputDevice = openOutput(mixRate);
    if (!outputDevice) {
        outputSilent = 1;
        logMessage("sound: no audio device (%s), playing silent\n", SDL_GetError());
        SDL_SetHintWithPriority(SDL_HINT_AUDIODRIVER, "dummy", SDL_HINT_OVERRIDE);
        outputDevice = openOutput(mixRate);
    }
    if (!outputDevice) return 0;
    SDL_PauseAudioDevice(outputDevice, 0);
    outputReady = 1;
    return 1;
}

void soundShutdown(void)
{
    if (!outputReady) return;
    SDL_CloseAudioDevice(outputDevice);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    SDL_ResetHint(SDL_HINT_AUDIODRIVER);   // drop a dummy fallback: the next open tries again
    outputDevice = 0;
    outputReady = 0;
    playingStream = nullptr;
    playingModule = nullptr;
}

int soundLiveObjects(void) { return liveObjects; }

static void lockOutput(void)
{
    if (outputReady) SDL_LockAudioDevice(outputDevice);
}
static void unlockOutput(void)
{
    if (outputReady) SDL_UnlockAudioDevice(outputDevice);
}

// ---- streams -----------------------------------------------------------------

// Growing float buffer for decoded audio; 0 when the limit is passed.
struct Pcm {
    float* data;
    size_t count, capacity, limit;
};

static int pcmAppend(Pcm* pcm, const float* samples, size_t n)
{
    if (n > pcm->limit - pcm->count) return 0;
    if (pcm->count + n > pcm->capacity) {
        size_t want = pcm->capacity ? pcm->capacity * 2 : 1 << 16;
        while (want < pcm->count + n) want *= 2;
        float* grown = (float*)realloc(pcm->data, want * sizeof(float));
        if (!grown) return 0;
        pcm->data = grown;
        pcm->capacity = want;
    }
    memcpy(pcm->data + pcm->count, samples, n * sizeof(float));
    pcm->count += n;
    return 1;
}

// Decodes an MP3 with gapless trimming. 1 with pcm filled, 0 on failure.
static int decodeMp3(const char* path, Pcm* pcm, int* channels, int* rate)
{
    static int ready = 0;
    if (!ready) ready = mpg123_init() == MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    if (!h) return 0;
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_format_none(h);
    const long* rates;
    size_t rateCount;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; i++) mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    int ok = mpg123_open(h, path) == MPG123_OK;
    long fileRate = 0;
    int enc = 0;
    ok = ok && mpg123_getformat(h, &fileRate, channels, &enc) == MPG123_OK && enc == MPG123_ENC_FLOAT_32;
    pcm->limit = (size_t)MaxStreamSeconds * (size_t)fileRate * (size_t)(ok ? *channels : 0);
    unsigned char chunk[16384];
    while (ok) {
        size_t got = 0;
        int r = mpg123_read(h, chunk, sizeof chunk, &got);
        if (got && !pcmAppend(pcm, (const float*)chunk, got / sizeof(float))) ok = 0;
        if (r == MPG123_DONE) break;
        if (r == MPG123_NEW_FORMAT) {   // a change of format mid-stream is refused
            long newRate = 0;
            int newChannels = 0;
            ok = mpg123_getformat(h, &newRate, &newChannels, &enc) == MPG123_OK && newRate == fileRate &&
                 newChannels == *channels && enc == MPG123_ENC_FLOAT_32;
        } else if (r != MPG123_OK) {
            ok = 0;
        }
    }
    *rate = (int)fileRate;
    mpg123_close(h);
    mpg123_delete(h);
    return ok && pcm->count > 0;
}

static int decodeOgg(const char* path, Pcm* pcm, int* channels, int* rate)
{
    int error = 0;
    stb_vorbis* v = stb_vorbis_open_filename(path, &error, nullptr);
    if (!v) return 0;
    stb_vorbis_info info = stb_vorbis_get_info(v);
    *channels = info.channels;
    *rate = (int)info.sample_rate;
    int ok = info.channels > 0 && info.channels <= 8 && info.sample_rate > 0;
    pcm->limit = ok ? (size_t)MaxStreamSeconds * info.sample_rate * (size_t)info.channels : 0;
    float chunk[4096];
    while (ok) {
        int frames = stb_vorbis_get_samples_float_interleaved(v, info.channels, chunk, 4096);
        if (frames <= 0) break;
        if (!pcmAppend(pcm, chunk, (size_t)frames * (size_t)info.channels)) ok = 0;
    }
    stb_vorbis_close(v);
    return ok && pcm->count > 0;
}

// Converts decoded audio to interleaved stereo at OutputRate with linear
// interpolation; the length is the source's duration to the frame (SDL's own
// resampler drops its last ~12 ms). Mono goes to both sides; with more than
// two channels the front left and right are taken (Vorbis order: L, C, R, ...).
static int convertPcm(const Pcm* pcm, int channels, int rate, SoundStream* s)
{
    if (channels < 1 || rate <= 0) return 0;
    size_t inFrames = pcm->count / (size_t)channels;
    size_t outFrames = (size_t)(((uint64_t)inFrames * OutputRate + (uint64_t)rate / 2) / (uint64_t)rate);
    if (inFrames == 0 || outFrames == 0) return 0;
    s->frames = (float*)malloc(outFrames * 2 * sizeof(float));
    if (!s->frames) return 0;
    int right = channels == 1 ? 0 : channels == 3 || channels >= 5 ? 2 : 1;
    const float* in = pcm->data;
    double step = (double)rate / OutputRate;
    for (size_t o = 0; o < outFrames; o++) {
        double position = o * step;
        size_t i = (size_t)position;
        if (i >= inFrames) i = inFrames - 1;
        size_t j = i + 1 < inFrames ? i + 1 : i;
        float f = (float)(position - (double)i);
        const float* a = in + i * (size_t)channels;
        const float* b = in + j * (size_t)channels;
        s->frames[2 * o] = a[0] + (b[0] - a[0]) * f;
        s->frames[2 * o + 1] = a[right] + (b[right] - a[right]) * f;
    }
    s->frameCount = outFrames;
    return 1;
}

static int hasSuffix(const char* path, const char* a, const char* b)
{
    const char* dot = strrchr(path, '.');
    return dot && (strcmp(dot, a) == 0 || strcmp(dot, b) == 0);
}

static SoundStream* newStream(void)
{
    SoundStream* s = new (std::nothrow) SoundStream();
    if (!s) return nullptr;
    s->decoded.store(0);
    s->cancel.store(0);
    liveObjects++;
    return s;
}

static void deleteStream(SoundStream* s)
{
    if (s->decoder) {
        s->cancel.store(1);
        SDL_WaitThread(s->decoder, nullptr);
    }
    if (s->mp3) {
        mpg123_close(s->mp3);
        mpg123_delete(s->mp3);
    }
    free(s->frames);
    delete s;
    liveObjects--;
}

static int decodeInBackground(void* data)
{
    SoundStream* s = (SoundStream*)data;
    size_t done = 0;
    while (done < s->frameCount && !s->cancel.load(std::memory_order_relaxed)) {
        size_t want = s->frameCount - done < 65536 ? s->frameCount - done : 65536;
        size_t got = 0;
        int r = mpg123_read(s->mp3, s->frames + done * 2, want * 2 * sizeof(float), &got);
        done += got / (2 * sizeof(float));
        s->decoded.store(done, std::memory_order_release);
        if (r != MPG123_OK) break;   // done, a format change or damage: the rest stays silent
    }
    return 0;
}

// An MP3 at 44100 Hz stereo: its exact length from a scan of the frame
// headers (the LAME tag trims the encoder's padding), the buffer allocated
// once, and the decoding left to a thread. Null when the file is not such an MP3.
static SoundStream* openMp3InBackground(const char* path)
{
    static int ready = 0;
    if (!ready) ready = mpg123_init() == MPG123_OK;
    mpg123_handle* h = mpg123_new(nullptr, nullptr);
    if (!h) return nullptr;
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_QUIET, 0);
    mpg123_format_none(h);
    mpg123_format(h, OutputRate, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    long rate = 0;
    int channels = 0, enc = 0;
    int ok = mpg123_open(h, path) == MPG123_OK && mpg123_getformat(h, &rate, &channels, &enc) == MPG123_OK &&
             rate == OutputRate && channels == 2 && enc == MPG123_ENC_FLOAT_32 && mpg123_scan(h) == MPG123_OK;
    off_t length = ok ? mpg123_length(h) : 0;
    SoundStream* s = nullptr;
    if (length > 0 && length <= (off_t)MaxStreamSeconds * OutputRate) s = newStream();
    if (s) s->frames = (float*)malloc((size_t)length * 2 * sizeof(float));
    if (s && s->frames) {
        s->frameCount = (size_t)length;
        s->mp3 = h;
        s->decoder = SDL_CreateThread(decodeInBackground, "mp3 decoder", s);
    }
    if (!s || !s->decoder) {
        if (s) s->mp3 = nullptr;
        if (s) deleteStream(s);
        mpg123_close(h);
        mpg123_delete(h);
        return nullptr;
    }
    return s;
}

// Returns the stream, or null when the file is missing, unreadable, too long
// or in another format. An MP3 at the output format is decoded while it plays
// (start-up does not wait for three minutes of audio); others are decoded whole.
SoundStream* soundStreamOpen(const char* path)
{
    if (!path || checkDataFile(path, SoundtrackFileLimit) != 1) return nullptr;
    int ogg = hasSuffix(path, ".ogg", ".OGG");
    SoundStream* s = ogg ? nullptr : openMp3InBackground(path);
    if (s) return s;
    Pcm pcm = {nullptr, 0, 0, 0};
    int channels = 0, rate = 0;
    int ok = ogg ? decodeOgg(path, &pcm, &channels, &rate) : decodeMp3(path, &pcm, &channels, &rate);
    s = ok ? newStream() : nullptr;
    if (s && !convertPcm(&pcm, channels, rate, s)) {
        deleteStream(s);
        s = nullptr;
    }
    free(pcm.data);
    if (!s) return nullptr;
    s->decoded.store(s->frameCount);
    return s;
}

size_t soundDecodeStream(const char* path, float** frames)
{
    if (!frames) return 0;
    *frames = nullptr;
    if (!path || checkDataFile(path, SoundtrackFileLimit) != 1) return 0;
    Pcm pcm = {nullptr, 0, 0, 0};
    int channels = 0, rate = 0;
    int ogg = hasSuffix(path, ".ogg", ".OGG");
    int ok = ogg ? decodeOgg(path, &pcm, &channels, &rate) : decodeMp3(path, &pcm, &channels, &rate);
    SoundStream* s = ok ? newStream() : nullptr;
    size_t count = 0;
    if (s && convertPcm(&pcm, channels, rate, s)) {
        *frames = s->frames;
        count = s->frameCount;
        s->frames = nullptr;
    }
    if (s) deleteStream(s);
    free(pcm.data);
    return count;
}

// Starts (or restarts) the stream startMs into it. 1 started.
int soundStreamPlay(SoundStream* stream, uint32_t startMs)
{
    if (!stream || !outputReady) return 0;
    uint64_t frame = (uint64_t)startMs * OutputRate / 1000;
    if (frame > stream->frameCount) frame = stream->frameCount;
    // Let the decoder get a second ahead of the start, so the first frames
    // play as music rather than silence; it decodes far faster than real time.
    size_t lead = frame + OutputRate < stream->frameCount ? (size_t)frame + OutputRate : stream->frameCount;
    for (int waited = 0; stream->decoder && stream->decoded.load() < lead && waited < 10000; waited++) SDL_Delay(1);
    lockOutput();
    stream->cursor = (size_t)frame;
    playingStream = stream;
    unlockOutput();
    return 1;
}

int soundStreamTime(SoundStream* stream)
{
    if (!stream) return 0;
    lockOutput();
    size_t cursor = stream->cursor;
    unlockOutput();
    return (int)((uint64_t)cursor * 1000 / OutputRate);
}

int soundStreamLength(SoundStream* stream)
{
    return stream ? (int)((uint64_t)stream->frameCount * 1000 / OutputRate) : 0;
}

// Stops and frees the stream. 1 released, 0 for a null stream.
int soundStreamClose(SoundStream* stream)
{
    if (!stream) return 0;
    lockOutput();
    if (playingStream == stream) playingStream = nullptr;
    unlockOutput();
    deleteStream(stream);
    return 1;
}

// ---- modules -----------------------------------------------------------------

// Returns the module, or null when the file is missing or not a module.
SoundModule* soundModuleLoad(const char* path)
{
    if (!path) return nullptr;
    size_t size = 0;
    unsigned char* data = nullptr;
    if (readWholeFile(path, ModuleFileLimit, &data, &size) != 1) return nullptr;
    if (size == 0) {
        free(data);
        return nullptr;
    }
    openmpt_module* mod = openmpt_module_create_from_memory2(
        data, size, openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
    free(data);
    if (!mod) return nullptr;
    SoundModule* m = (SoundModule*)calloc(1, sizeof(SoundModule));
    if (!m) {
        openmpt_module_destroy(mod);
        return nullptr;
    }
    openmpt_module_set_repeat_count(mod, 0);
    m->mod = mod;
    m->duration = openmpt_module_get_duration_seconds(mod);
    m->lastOrder = m->lastRow = -1;
    liveObjects++;
    return m;
}

int soundModuleSetZxxCallback(SoundModule* module, SoundZxxCallback callback)
{
    if (!module) return 0;
    lockOutput();
    module->zxx = callback;
    unlockOutput();
    return 1;
}

// Starts the module startMs into it. 1 started.
int soundModulePlay(SoundModule* module, uint32_t startMs)
{
    if (!module || !outputReady) return 0;
    lockOutput();
    openmpt_module_set_position_seconds(module->mod, startMs / 1000.0);
    module->lastOrder = module->lastRow = -1;
    module->finished = 0;
    playingModule = module;
    unlockOutput();
    return 1;
}

// Stops and frees the module. 1 released, 0 for a null module.
int soundModuleFree(SoundModule* module)
{
    if (!module) return 0;
    lockOutput();
    if (playingModule == module) playingModule = nullptr;
    unlockOutput();
    openmpt_module_destroy(module->mod);
    free(module);
    liveObjects--;
    return 1;
}

// Position queries; safe from the Zxx callback (the output lock is recursive).
int soundModuleTime(SoundModule* module)
{
    if (!module) return 0;
    lockOutput();
    double seconds = openmpt_module_get_position_seconds(module->mod);
    unlockOutput();
    return (int)(seconds * 1000.0);
}

static int modulePosition(SoundModule* module, int32_t (*query)(openmpt_module*))
{
    if (!module) return 0;
    lockOutput();
    int value = query(module->mod);
    unlockOutput();
    return value;
}

int soundModuleOrder(SoundModule* module) { return modulePosition(module, openmpt_module_get_current_order); }
int soundModulePattern(SoundModule* module) { return modulePosition(module, openmpt_module_get_current_pattern); }
int soundModuleRow(SoundModule* module) { return modulePosition(module, openmpt_module_get_current_row); }

// The sound layer: one SDL2 output (44100 Hz, stereo float) that mixes the
// playing stream and module; streams are decoded whole at open (mpg123 for MP3,
// stb_vorbis for Ogg), modules are rendered by libopenmpt in the output
// callback, which also reports each new row's "Z" effects to the Zxx callback.
#include "platform/platform.h"
#include "app/app.h"
#include <SDL2/SDL.h>
#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-variable"
#pragma GCC diagnostic ignored "-Wunused-but-set-variable"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wmisleading-indentation"
#include <stb/stb_vorbis.h>
#pragma GCC diagnostic pop
#undef L
#undef C
#undef R

enum {
    OutputRate = 44100,
    SubRead = 64,                             // module frames rendered per step
    MaxStreamSeconds = 15 * 60,               // longest stream decoded into memory
    MaxModuleBytes = 64 * 1024 * 1024,        // largest module file read
};

struct SoundStream {
    float* frames;          // interleaved stereo at OutputRate
    size_t frameCount;
    size_t cursor;          // next frame to play
};

struct SoundModule {
    openmpt_module* mod;
    SoundZxxCallback zxx;
    int lastOrder, lastRow; // the row whose "Z" effects were reported last
    int finished;
    double duration;        // seconds, played once
};

static SDL_AudioDeviceID outputDevice;
static int outputReady;
static SoundStream* playingStream;
static SoundModule* playingModule;
static int liveObjects;
static float moduleScratch[SubRead * 2];

// ---- output ------------------------------------------------------------------

static void mixStream(SoundStream* s, float* out, size_t frames)
{
    size_t left = s->frameCount - s->cursor;
    size_t n = frames < left ? frames : left;
    const float* in = s->frames + s->cursor * 2;
    for (size_t i = 0; i < n * 2; i++) out[i] += in[i];
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
        const char* effect = openmpt_module_format_pattern_row_channel_command(
            m->mod, pattern, row, c, OPENMPT_MODULE_COMMAND_EFFECT);
        int isZ = effect && effect[0] == 'Z' && effect[1] == 0;
        openmpt_free_string(effect);
        if (!isZ) continue;
        unsigned char parameter = openmpt_module_get_pattern_row_channel_command(
            m->mod, pattern, row, c, OPENMPT_MODULE_COMMAND_PARAMETER);
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
        if (got < step || openmpt_module_get_position_seconds(m->mod) >= m->duration) m->finished = 1;
        else scanRow(m);
    }
}

static void outputCallback(void*, Uint8* bytes, int length)
{
    float* out = (float*)bytes;
    size_t frames = (size_t)length / (2 * sizeof(float));
    memset(bytes, 0, (size_t)length);
    if (playingStream) mixStream(playingStream, out, frames);
    if (playingModule) mixModule(playingModule, out, frames);
}

static SDL_AudioDeviceID openOutput(int mixRate)
{
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
    SDL_AudioSpec want, have;
    SDL_zero(want);
    want.freq = mixRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = outputCallback;
    SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (id == 0) SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return id;
}

// Returns 1 when ready. Without a usable device the output falls back to SDL's
// silent "dummy" driver, so positions still advance with the wall clock.
int soundInit(int mixRate)
{
    if (outputReady) return 1;
    if (mixRate != OutputRate) return 0;   // streams are converted to this rate
    outputDevice = openOutput(mixRate);
    if (!outputDevice) {
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

static void lockOutput(void) { if (outputReady) SDL_LockAudioDevice(outputDevice); }
static void unlockOutput(void) { if (outputReady) SDL_UnlockAudioDevice(outputDevice); }

// ---- streams -----------------------------------------------------------------

// Growing float buffer for decoded audio; 0 when the limit is passed.
struct Pcm { float* data; size_t count, capacity, limit; };

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
    for (size_t i = 0; i < rateCount; i++)
        mpg123_format(h, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
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
            ok = mpg123_getformat(h, &newRate, &newChannels, &enc) == MPG123_OK &&
                 newRate == fileRate && newChannels == *channels && enc == MPG123_ENC_FLOAT_32;
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

// Converts decoded audio to interleaved stereo at OutputRate.
static int convertPcm(const Pcm* pcm, int channels, int rate, SoundStream* s)
{
    SDL_AudioStream* c = SDL_NewAudioStream(AUDIO_F32SYS, (Uint8)channels, rate, AUDIO_F32SYS, 2, OutputRate);
    if (!c) return 0;
    int ok = SDL_AudioStreamPut(c, pcm->data, (int)(pcm->count * sizeof(float))) == 0 &&
             SDL_AudioStreamFlush(c) == 0;
    int bytes = ok ? SDL_AudioStreamAvailable(c) : 0;
    s->frames = bytes > 0 ? (float*)malloc((size_t)bytes) : nullptr;
    ok = ok && s->frames && SDL_AudioStreamGet(c, s->frames, bytes) == bytes;
    s->frameCount = ok ? (size_t)bytes / (2 * sizeof(float)) : 0;
    SDL_FreeAudioStream(c);
    return ok;
}

static int hasSuffix(const char* path, const char* a, const char* b)
{
    const char* dot = strrchr(path, '.');
    return dot && (strcmp(dot, a) == 0 || strcmp(dot, b) == 0);
}

// Decodes the whole file at once. Returns the stream, or null when the file is
// missing, unreadable, too long or in another format.
SoundStream* soundStreamOpen(const char* path)
{
    if (!path) return nullptr;
    Pcm pcm = {nullptr, 0, 0, 0};
    int channels = 0, rate = 0;
    int ok = hasSuffix(path, ".ogg", ".OGG") ? decodeOgg(path, &pcm, &channels, &rate)
                                             : decodeMp3(path, &pcm, &channels, &rate);
    SoundStream* s = ok ? (SoundStream*)calloc(1, sizeof(SoundStream)) : nullptr;
    if (s && !convertPcm(&pcm, channels, rate, s)) {
        free(s->frames);
        free(s);
        s = nullptr;
    }
    free(pcm.data);
    if (s) liveObjects++;
    return s;
}

// Starts (or restarts) the stream startMs into it. 1 started.
int soundStreamPlay(SoundStream* stream, uint32_t startMs)
{
    if (!stream || !outputReady) return 0;
    uint64_t frame = (uint64_t)startMs * OutputRate / 1000;
    lockOutput();
    stream->cursor = frame < stream->frameCount ? (size_t)frame : stream->frameCount;
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
    free(stream->frames);
    free(stream);
    liveObjects--;
    return 1;
}

// ---- modules -----------------------------------------------------------------

static unsigned char* readWholeFile(const char* path, size_t* size)
{
    FILE* f = fopen(path, "rb");
    if (!f) return nullptr;
    long n = -1;
    if (fseek(f, 0, SEEK_END) == 0) n = ftell(f);
    unsigned char* data = nullptr;
    if (n > 0 && n <= MaxModuleBytes && fseek(f, 0, SEEK_SET) == 0) data = (unsigned char*)malloc((size_t)n);
    if (data && fread(data, 1, (size_t)n, f) != (size_t)n) {
        free(data);
        data = nullptr;
    }
    fclose(f);
    *size = data ? (size_t)n : 0;
    return data;
}

// Returns the module, or null when the file is missing or not a module.
SoundModule* soundModuleLoad(const char* path)
{
    if (!path) return nullptr;
    size_t size = 0;
    unsigned char* data = readWholeFile(path, &size);
    if (!data) return nullptr;
    openmpt_module* mod = openmpt_module_create_from_memory2(data, size, openmpt_log_func_silent, nullptr,
        openmpt_error_func_ignore, nullptr, nullptr, nullptr, nullptr);
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

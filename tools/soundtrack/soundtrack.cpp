// soundtrack: renders the show's music from the timeline's sections and cues
// and encodes it as MP3 (with the LAME info tag, so decoding is gap-free);
// also writes the small test module with "Z" effects.
#include "tools/soundtrack/synth.h"
#include "show/vocabulary.h"
#include "sync/timeline_text.h"
#include <lame/lame.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* usage = "usage: soundtrack build TIMELINE OUT.mp3 [OUT.wav]   render the show's music\n"
                           "       soundtrack module OUT.xm                      write the Zxx test module\n";

static Timeline timeline;

static int writeAll(const char* path, const unsigned char* bytes, size_t size)
{
    FILE* f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "soundtrack: %s: cannot write\n", path);
        return 0;
    }
    size_t written = fwrite(bytes, 1, size, f);
    int closed = fclose(f);
    if (written != size || closed != 0) {
        fprintf(stderr, "soundtrack: %s: write failed\n", path);
        return 0;
    }
    return 1;
}

// Grows a byte buffer to hold `need` more bytes. Returns 1 or 0.
static int reserve(unsigned char** buffer, size_t* capacity, size_t used, size_t need)
{
    if (used + need <= *capacity) return 1;
    size_t grown = (*capacity + need) * 2;
    unsigned char* bigger = (unsigned char*)realloc(*buffer, grown);
    if (!bigger) return 0;
    *buffer = bigger;
    *capacity = grown;
    return 1;
}

int writeMp3(const Mix* mix, const char* path)
{
    lame_global_flags* lame = lame_init();
    if (!lame) {
        fprintf(stderr, "soundtrack: lame_init failed\n");
        return 0;
    }
    lame_set_in_samplerate(lame, SampleRate);
    lame_set_out_samplerate(lame, SampleRate);
    lame_set_num_channels(lame, 2);
    lame_set_mode(lame, JOINT_STEREO);
    lame_set_brate(lame, 192);
    lame_set_quality(lame, 2);
    lame_set_bWriteVbrTag(lame, 1);
    if (lame_init_params(lame) < 0) {
        lame_close(lame);
        fprintf(stderr, "soundtrack: lame_init_params failed\n");
        return 0;
    }
    enum { Chunk = 8192 };
    size_t capacity = 1 << 22, used = 0;
    unsigned char* out = (unsigned char*)malloc(capacity);
    int ok = out != nullptr;
    for (int at = 0; ok && at < mix->length; at += Chunk) {
        int n = mix->length - at < Chunk ? mix->length - at : Chunk;
        size_t need = (size_t)(1.25 * n + 7200);
        ok = reserve(&out, &capacity, used, need);
        if (!ok) break;
        int got = lame_encode_buffer_ieee_float(lame, mix->left + at, mix->right + at, n, out + used, (int)need);
        if (got < 0)
            ok = 0;
        else
            used += (size_t)got;
    }
    if (ok && reserve(&out, &capacity, used, 7200)) {
        int got = lame_encode_flush(lame, out + used, 7200);
        if (got < 0)
            ok = 0;
        else
            used += (size_t)got;
    }
    // The info tag goes over the first frame, which LAME left empty for it.
    unsigned char tag[2880];
    size_t tagSize = ok ? lame_get_lametag_frame(lame, tag, sizeof tag) : 0;
    if (ok && (tagSize == 0 || tagSize > used)) {
        fprintf(stderr, "soundtrack: no LAME info tag\n");
        ok = 0;
    }
    if (ok) memcpy(out, tag, tagSize);
    lame_close(lame);
    if (ok)
        ok = writeAll(path, out, used);
    else
        fprintf(stderr, "soundtrack: MP3 encoding failed\n");
    free(out);
    return ok;
}

static void putLE(unsigned char* p, uint32_t v, int bytes)
{
    for (int i = 0; i < bytes; i++) p[i] = (unsigned char)(v >> (8 * i));
}

int writeWav(const Mix* mix, const char* path)
{
    size_t frames = (size_t)mix->length;
    size_t size = 44 + frames * 4;
    unsigned char* bytes = (unsigned char*)malloc(size);
    if (!bytes) {
        fprintf(stderr, "soundtrack: out of memory for the WAV file\n");
        return 0;
    }
    memcpy(bytes, "RIFF", 4);
    putLE(bytes + 4, (uint32_t)(size - 8), 4);
    memcpy(bytes + 8, "WAVEfmt ", 8);
    putLE(bytes + 16, 16, 4);
    putLE(bytes + 20, 1, 2);
    putLE(bytes + 22, 2, 2);
    putLE(bytes + 24, SampleRate, 4);
    putLE(bytes + 28, SampleRate * 4, 4);
    putLE(bytes + 32, 4, 2);
    putLE(bytes + 34, 16, 2);
    memcpy(bytes + 36, "data", 4);
    putLE(bytes + 40, (uint32_t)(frames * 4), 4);
    for (size_t i = 0; i < frames; i++) {
        float side[2] = {mix->left[i], mix->right[i]};
        for (int s = 0; s < 2; s++) {
            float v = side[s] < -1 ? -1 : side[s] > 1 ? 1 : side[s];
            putLE(bytes + 44 + i * 4 + s * 2, (uint32_t)(uint16_t)(int16_t)lrintf(v * 32767.0f), 2);
        }
    }
    int ok = writeAll(path, bytes, size);
    free(bytes);
    return ok;
}

static int commandBuild(const char* timelinePath, const char* mp3Path, const char* wavPath)
{
    char error[600];
    if (!loadTimeline(timelinePath, &showVocabulary, &timeline, error, sizeof error)) {
        fprintf(stderr, "soundtrack: %s\n", error);
        return 1;
    }
    Mix mix;
    if (!allocMix(&mix, songLength(&timeline))) return 1;
    int ok = arrangeSong(&timeline, &mix);
    if (ok) finishMix(&mix, -2.5f);
    if (ok) ok = writeMp3(&mix, mp3Path);
    if (ok && wavPath) ok = writeWav(&mix, wavPath);
    freeMix(&mix);
    return ok ? 0 : 1;
}

int main(int argc, char** argv)
{
    if ((argc == 4 || argc == 5) && strcmp(argv[1], "build") == 0)
        return commandBuild(argv[2], argv[3], argc == 5 ? argv[4] : nullptr);
    if (argc == 3 && strcmp(argv[1], "module") == 0) return writeZxxModule(argv[2]) ? 0 : 1;
    fputs(usage, stderr);
    return 2;
}

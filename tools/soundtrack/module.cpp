// The Zxx test module: a two-pattern FastTracker 2 (.xm) file with one looped
// triangle-wave sample, a note every two rows and a "Z" effect beside each,
// its parameter counting up from 0x01, so the module player's effect callback
// can be checked against known rows.
#include "tools/soundtrack/synth.h"
#include <stdio.h>
#include <string.h>

enum {
    ModuleRows = 16,
    ModulePatterns = 2,
    ModuleChannels = 2,
    EffectZ = 35,   // XM effect numbers run 0-9, then A (10) to Z (35)
    SampleBytes = 32,
};

static unsigned char* putBytes(unsigned char* p, const void* data, int size)
{
    memcpy(p, data, (size_t)size);
    return p + size;
}

static unsigned char* putInt(unsigned char* p, unsigned value, int bytes)
{
    for (int i = 0; i < bytes; i++) *p++ = (unsigned char)(value >> (8 * i));
    return p;
}

static unsigned char* putText(unsigned char* p, const char* text, int size)
{
    memset(p, 0, (size_t)size);
    memcpy(p, text, strlen(text) < (size_t)size ? strlen(text) : (size_t)size);
    return p + size;
}

// One pattern, packed: channel 0 plays C-4 with a Zxx every second row,
// channel 1 stays empty. Returns the end of the written pattern.
static unsigned char* putPattern(unsigned char* p, int pattern)
{
    unsigned char data[ModuleRows * ModuleChannels * 6];
    unsigned char* d = data;
    for (int row = 0; row < ModuleRows; row++) {
        if (row % 2 == 0) {
            int parameter = 1 + pattern * (ModuleRows / 2) + row / 2;
            *d++ = 0x80 | 0x01 | 0x02 | 0x08 | 0x10;
            *d++ = 49;   // C-4
            *d++ = 1;    // instrument 1
            *d++ = EffectZ;
            *d++ = (unsigned char)parameter;
        } else {
            *d++ = 0x80;
        }
        *d++ = 0x80;   // channel 1: empty
    }
    int size = (int)(d - data);
    p = putInt(p, 9, 4);
    p = putInt(p, 0, 1);
    p = putInt(p, ModuleRows, 2);
    p = putInt(p, (unsigned)size, 2);
    return putBytes(p, data, size);
}

int writeZxxModule(const char* path)
{
    static unsigned char file[4096];
    unsigned char* p = file;
    p = putBytes(p, "Extended Module: ", 17);
    p = putText(p, "kestrel zxx test", 20);
    *p++ = 0x1A;
    p = putText(p, "kestrel soundtrack", 20);
    p = putInt(p, 0x0104, 2);
    p = putInt(p, 276, 4);              // header size from this field on
    p = putInt(p, ModulePatterns, 2);   // song length (orders)
    p = putInt(p, 0, 2);                // restart position
    p = putInt(p, ModuleChannels, 2);
    p = putInt(p, ModulePatterns, 2);
    p = putInt(p, 1, 2);     // instruments
    p = putInt(p, 1, 2);     // linear frequency table
    p = putInt(p, 6, 2);     // ticks per row
    p = putInt(p, 125, 2);   // tempo
    unsigned char orders[256] = {0, 1};
    p = putBytes(p, orders, 256);
    for (int i = 0; i < ModulePatterns; i++) p = putPattern(p, i);

    // Instrument 1 with one sample; the header is 263 bytes as FastTracker 2 writes it.
    unsigned char* instrument = p;
    p = putInt(p, 263, 4);
    p = putText(p, "triangle", 22);
    p = putInt(p, 0, 1);
    p = putInt(p, 1, 2);      // samples
    p = putInt(p, 40, 4);     // sample header size
    memset(p, 0, 263 - 33);   // key map, envelopes, vibrato, fade-out: all zero
    p = instrument + 263;

    p = putInt(p, SampleBytes, 4);   // length
    p = putInt(p, 0, 4);             // loop start
    p = putInt(p, SampleBytes, 4);   // loop length
    p = putInt(p, 64, 1);            // volume
    p = putInt(p, 0, 1);             // finetune
    p = putInt(p, 1, 1);             // forward loop, 8-bit
    p = putInt(p, 128, 1);           // panning
    p = putInt(p, 0, 1);             // relative note
    p = putInt(p, 0, 1);
    p = putText(p, "triangle", 22);
    signed char previous = 0;
    for (int i = 0; i < SampleBytes; i++) {
        int phase = i < SampleBytes / 2 ? i : SampleBytes - i;
        signed char v = (signed char)(phase * 12 - 96);
        *p++ = (unsigned char)(signed char)(v - previous);   // delta coded
        previous = v;
    }
    size_t size = (size_t)(p - file);
    FILE* f = fopen(path, "wb");
    if (!f) {
        fprintf(stderr, "soundtrack: %s: cannot write\n", path);
        return 0;
    }
    size_t written = fwrite(file, 1, size, f);
    int closed = fclose(f);
    if (written != size || closed != 0) {
        fprintf(stderr, "soundtrack: %s: write failed\n", path);
        return 0;
    }
    return 1;
}

// The band's instruments (stomp, clap, washboard, jug bass, Karplus-Strong
// banjo, bowed fiddle, and the show's sound cues) and the master stage.
#include "tools/soundtrack/synth.h"
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const double TwoPi = 6.283185307179586;

int allocMix(Mix* mix, int length)
{
    memset(mix, 0, sizeof *mix);
    if (length <= 0 || length > SampleRate * 60 * 30) {
        fprintf(stderr, "soundtrack: bad song length %d samples\n", length);
        return 0;
    }
    size_t n = (size_t)length;
    mix->left = (float*)calloc(n, sizeof(float));
    mix->right = (float*)calloc(n, sizeof(float));
    mix->sendLeft = (float*)calloc(n, sizeof(float));
    mix->sendRight = (float*)calloc(n, sizeof(float));
    mix->length = length;
    if (!mix->left || !mix->right || !mix->sendLeft || !mix->sendRight) {
        freeMix(mix);
        fprintf(stderr, "soundtrack: out of memory for %d samples\n", length);
        return 0;
    }
    return 1;
}

void freeMix(Mix* mix)
{
    free(mix->left);
    free(mix->right);
    free(mix->sendLeft);
    free(mix->sendRight);
    memset(mix, 0, sizeof *mix);
}

float midiFrequency(float note) { return (float)(440.0 * pow(2.0, (note - 69.0) / 12.0)); }

// xorshift32: every note seeds its own, so notes do not depend on each other.
static float noise(uint32_t* state)
{
    uint32_t x = *state;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    *state = x;
    return (float)((double)x / 2147483648.0 - 1.0);
}

static uint32_t seedFor(int start, uint32_t salt)
{
    uint32_t s = (uint32_t)start * 2654435761u ^ salt * 40503u;
    return s ? s : 0x9E3779B9u;
}

// Adds one stereo sample with equal-power panning and a reverb send.
static void put(Mix* mix, int i, float value, float pan, float send)
{
    if (i < 0 || i >= mix->length) return;
    float angle = (pan + 1.0f) * 0.25f * 3.14159265f;
    float l = value * cosf(angle) * 1.41421356f;
    float r = value * sinf(angle) * 1.41421356f;
    mix->left[i] += l;
    mix->right[i] += r;
    mix->sendLeft[i] += l * send;
    mix->sendRight[i] += r * send;
}

// Chamberlin state-variable filter, band-pass output.
struct BandPass {
    float f, q, low, band;
};

static BandPass bandPass(float frequency, float damping)
{
    BandPass b;
    b.f = 2.0f * sinf(3.14159265f * frequency / SampleRate);
    b.q = damping;
    b.low = b.band = 0;
    return b;
}

static float runBandPass(BandPass* b, float x)
{
    b->low += b->f * b->band;
    float high = x - b->low - b->q * b->band;
    b->band += b->f * high;
    return b->band;
}

// A boot on a wooden floor: a falling sine thump, a knock and a click. It
// starts at full strength on its first sample.
void addStomp(Mix* mix, int start, float gain)
{
    gain *= 0.72f;   // voice level in the band's balance
    uint32_t seed = seedFor(start, 1);
    int length = (int)(0.42 * SampleRate);
    double phase = TwoPi * 0.25, knock = 0;
    float lowNoise = 0;
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        double f = 46.0 + 120.0 * exp(-t / 0.028);
        phase += TwoPi * f / SampleRate;
        knock += TwoPi * 190.0 / SampleRate;
        double body = sin(phase) * exp(-t / 0.17);
        double wood = sin(knock) * exp(-t / 0.035) * 0.35;
        lowNoise += 0.35f * (noise(&seed) - lowNoise);
        double click = lowNoise * exp(-t / 0.006) * 0.9;
        put(mix, start + n, (float)(gain * (body + wood + click)), 0.0f, 0.10f);
    }
}

// Three quick slaps and a tail of band-passed noise, a little wider on the right.
void addClap(Mix* mix, int start, float gain)
{
    gain *= 4.5f;   // voice level in the band's balance
    uint32_t seedL = seedFor(start, 2), seedR = seedFor(start, 3);
    BandPass left = bandPass(1150.0f, 0.7f), right = bandPass(1350.0f, 0.7f);
    int length = (int)(0.28 * SampleRate);
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        double env = 0;
        for (int k = 0; k < 3; k++) {
            double tk = t - 0.0105 * k;
            if (tk >= 0) env += exp(-tk / 0.0045);
        }
        if (t > 0.03) env += 0.55 * exp(-(t - 0.03) / 0.075);
        float l = runBandPass(&left, noise(&seedL)) * (float)env;
        float r = runBandPass(&right, noise(&seedR)) * (float)env;
        put(mix, start + n, gain * l, -0.35f, 0.35f);
        put(mix, start + n, gain * r, 0.45f, 0.35f);
    }
}

// A thimble scraped over the washboard: a high tick with a metallic ring.
void addWashboard(Mix* mix, int start, float gain, int accent)
{
    gain *= 4.0f;   // voice level in the band's balance
    uint32_t seed = seedFor(start, 4);
    int length = (int)((accent ? 0.07 : 0.04) * SampleRate);
    float previous = 0;
    double ring = 0;
    double decay = accent ? 0.014 : 0.007;
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        float x = noise(&seed);
        float high = x - previous;
        previous = x;
        ring += TwoPi * 5300.0 / SampleRate;
        double v = high * 0.6 * exp(-t / decay) + sin(ring) * 0.18 * exp(-t / 0.02);
        put(mix, start + n, (float)(gain * v), 0.45f, 0.15f);
    }
}

// Jug-band bass: a plucked upright with a little of the jug's buzz and a
// short upward scoop into the note.
void addBass(Mix* mix, int start, float note, float seconds, float gain)
{
    gain *= 0.65f;   // voice level in the band's balance
    double f0 = midiFrequency(note);
    int length = (int)((seconds + 0.12) * SampleRate);
    double phase = 0;
    static const double harmonic[6] = {1.0, 0.55, 0.3, 0.12, 0.06, 0.04};
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        double f = f0 * (1.0 - 0.03 * exp(-t / 0.025));
        phase += TwoPi * f / SampleRate;
        double attack = 1.0 - exp(-t / 0.004);
        double release = t > seconds ? exp(-(t - seconds) / 0.03) : 1.0;
        double v = 0;
        for (int h = 0; h < 6; h++) v += harmonic[h] * exp(-t * (1.6 + h * 1.4)) * sin(phase * (h + 1));
        put(mix, start + n, (float)(gain * v * attack * release), 0.0f, 0.05f);
    }
}

// Karplus-Strong banjo: a noise burst shaped for the pick position circulates
// in a delay line of one period with an averaging filter; the drum head adds
// a short bright resonance.
void addBanjo(Mix* mix, int start, float note, float gain, float pan)
{
    gain *= 2.7f;   // voice level in the band's balance
    static float line[SampleRate * 2];
    double f = midiFrequency(note);
    double delay = SampleRate / f - 0.5;
    if (delay < 2 || delay > SampleRate / 20) return;
    int whole = (int)delay;
    double frac = delay - whole;
    double seconds = 0.9;
    int length = (int)(seconds * SampleRate);
    double decay = pow(0.001, 1.0 / (0.75 * f));
    uint32_t seed = seedFor(start, 5) ^ (uint32_t)(note * 100);
    float smooth = 0;
    for (int n = 0; n <= whole + 1; n++) {
        smooth += 0.6f * (noise(&seed) - smooth);
        line[n] = smooth;
    }
    int pick = whole / 5;
    for (int n = whole + 1; n > pick; n--) line[n] -= 0.5f * line[n - pick];
    BandPass head = bandPass(2400.0f, 1.2f);
    float previousRead = line[whole + 1];
    for (int n = whole + 2; n < length; n++) {
        float read = (float)((1.0 - frac) * line[n - whole] + frac * line[n - whole - 1]);
        line[n] = (float)(decay * 0.5 * (read + previousRead));
        previousRead = read;
    }
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        float y = line[n];
        float twang = runBandPass(&head, y) * 0.5f;
        double fade = t > seconds - 0.05 ? (seconds - t) / 0.05 : 1.0;
        put(mix, start + n, (float)(gain * (y + twang) * fade), pan, 0.25f);
    }
}

// Band-limited sawtooth step correction (polyBLEP).
static double blep(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

// A bowed fiddle: a band-limited sawtooth with delayed vibrato, a scoop into
// the pitch and bow noise, through three body resonances.
void addFiddle(Mix* mix, int start, float note, float seconds, float gain, float pan)
{
    gain *= 1.8f;   // voice level in the band's balance
    double f0 = midiFrequency(note);
    double release = 0.09;
    double rise = seconds * 0.3 < 0.045 ? seconds * 0.3 + 0.002 : 0.045;   // short notes bite
    int length = (int)((seconds + release + 0.02) * SampleRate);
    uint32_t seed = seedFor(start, 6) ^ (uint32_t)(note * 100);
    BandPass body[3] = {bandPass(300.0f, 0.5f), bandPass(1150.0f, 0.55f), bandPass(2700.0f, 0.4f)};
    static const float bodyGain[3] = {0.9f, 0.7f, 0.45f};
    double phase = 0, vibrato = 0;
    float low = 0;
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        double depth = 0.0055 * (t < 0.3 ? t / 0.3 : 1.0);
        vibrato += TwoPi * 5.6 / SampleRate;
        double f = f0 * (1.0 + depth * sin(vibrato)) * (1.0 - 0.012 * exp(-t / 0.035));
        double dt = f / SampleRate;
        phase += dt;
        if (phase >= 1.0) phase -= 1.0;
        double saw = 2.0 * phase - 1.0 - blep(phase, dt);
        double attack = t < rise ? t / rise : 1.0;
        attack = attack * attack * (3.0 - 2.0 * attack);
        double env = attack * (t > seconds ? exp(-(t - seconds) / (release * 0.35)) : 1.0);
        double bow = noise(&seed) * 0.04;
        float x = (float)((saw + bow) * env);
        float y = 0.25f * x;
        for (int k = 0; k < 3; k++) y += bodyGain[k] * runBandPass(&body[k], x);
        low += 0.55f * (y - low);
        put(mix, start + n, gain * low * 0.6f, pan, 0.3f);
    }
}

// The gun: a crack of noise, a low punch and a long room tail.
void addShot(Mix* mix, int start, float gain)
{
    gain *= 0.6f;   // voice level in the band's balance
    uint32_t seed = seedFor(start, 7);
    int length = (int)(1.6 * SampleRate);
    double phase = 0;
    float low = 0;
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        float x = noise(&seed);
        low += 0.08f * (x - low);
        phase += TwoPi * (40.0 + 90.0 * exp(-t / 0.05)) / SampleRate;
        double v = x * exp(-t / 0.012) * 0.9 + low * 3.0 * exp(-t / 0.35) + sin(phase) * exp(-t / 0.2) * 0.8;
        put(mix, start + n, (float)(gain * v), 0.0f, 0.6f);
    }
}

// A stoneware jug breaking: a crack, a few ringing partials of the body and
// a scatter of shards.
void addSmash(Mix* mix, int start, float gain, uint32_t seed)
{
    gain *= 3.0f;   // voice level in the band's balance
    uint32_t state = seedFor(start, 8) ^ seed;
    BandPass crack = bandPass(3200.0f, 0.8f);
    double partial[4], phases[4] = {0, 0, 0, 0};
    for (int k = 0; k < 4; k++) partial[k] = 900.0 + 2600.0 * (0.5 + 0.5 * noise(&state)) * (k + 1) * 0.5;
    int shardAt[6];
    for (int k = 0; k < 6; k++) shardAt[k] = (int)((0.03 + 0.25 * (0.5 + 0.5 * noise(&state))) * SampleRate);
    int length = (int)(0.7 * SampleRate);
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        float x = noise(&state);
        double v = runBandPass(&crack, x) * 1.4 * exp(-t / 0.05);
        for (int k = 0; k < 4; k++) {
            phases[k] += TwoPi * partial[k] / SampleRate;
            v += sin(phases[k]) * 0.12 * exp(-t / (0.09 + 0.03 * k));
        }
        for (int k = 0; k < 6; k++) {
            int d = n - shardAt[k];
            if (d >= 0 && d < SampleRate / 40) v += x * 0.35 * exp(-d / (0.004 * SampleRate));
        }
        put(mix, start + n, (float)(gain * v), noise(&state) * 0.1f, 0.4f);
    }
}

// The mushroom cloud: a deep falling rumble that swells and rolls on for seconds.
void addBoom(Mix* mix, int start, float gain)
{
    gain *= 0.35f;   // voice level in the band's balance
    uint32_t seed = seedFor(start, 9);
    int length = (int)(6.0 * SampleRate);
    double phase = 0;
    float low = 0, lower = 0;
    for (int n = 0; n < length; n++) {
        double t = (double)n / SampleRate;
        float x = noise(&seed);
        low += 0.02f * (x - low);
        lower += 0.05f * (low - lower);
        phase += TwoPi * (28.0 + 60.0 * exp(-t / 0.4)) / SampleRate;
        double swell = 1.0 - exp(-t / 0.01);
        double v = sin(phase) * exp(-t / 1.6) * 0.9 + lower * 9.0 * exp(-t / 2.2) + x * 0.5 * exp(-t / 0.03);
        put(mix, start + n, (float)(gain * v * swell), 0.0f, 0.3f);
    }
}

// ---- master --------------------------------------------------------------------

// Comb and all-pass filters of a small Schroeder room.
struct Comb {
    float* buffer;
    int size, index;
    float store;
};

static float runComb(Comb* c, float x, float feedback, float damp)
{
    float out = c->buffer[c->index];
    c->store = out * (1.0f - damp) + c->store * damp;
    c->buffer[c->index] = x + c->store * feedback;
    if (++c->index >= c->size) c->index = 0;
    return out;
}

static float runAllPass(Comb* c, float x)
{
    float delayed = c->buffer[c->index];
    float out = delayed - x;
    c->buffer[c->index] = x + delayed * 0.5f;
    if (++c->index >= c->size) c->index = 0;
    return out;
}

// The room: four combs and two all-passes per side, the right side a little longer.
static void addRoom(Mix* mix, float wet)
{
    static const int combSize[4] = {1116, 1188, 1277, 1356};
    static const int passSize[2] = {556, 441};
    static float memory[2][6][1400];
    memset(memory, 0, sizeof memory);
    for (int side = 0; side < 2; side++) {
        Comb comb[4], pass[2];
        for (int k = 0; k < 4; k++) comb[k] = {memory[side][k], combSize[k] + 23 * side, 0, 0};
        for (int k = 0; k < 2; k++) pass[k] = {memory[side][4 + k], passSize[k] + 23 * side, 0, 0};
        const float* send = side ? mix->sendRight : mix->sendLeft;
        float* out = side ? mix->right : mix->left;
        for (int n = 0; n < mix->length; n++) {
            float x = send[n] * 0.25f, y = 0;
            for (int k = 0; k < 4; k++) y += runComb(&comb[k], x, 0.80f, 0.3f);
            for (int k = 0; k < 2; k++) y = runAllPass(&pass[k], y);
            out[n] += y * wet;
        }
    }
}

// Sliding minimum over [i - radius, i + radius] (monotone queue, linear time).
static void slidingMin(const float* in, float* out, int n, int radius, int* queue)
{
    int head = 0, tail = 0;
    int next = 0;
    for (int i = 0; i < n; i++) {
        int reach = i + radius < n ? i + radius : n - 1;
        for (; next <= reach; next++) {
            while (tail > head && in[queue[tail - 1]] >= in[next]) tail--;
            queue[tail++] = next;
        }
        while (queue[head] < i - radius) head++;
        out[i] = in[queue[head]];
    }
}

// Look-ahead peak limiter: the gain each sample needs, its minimum over a
// window around it, averaged over that window (which never exceeds what any
// sample in it needs), then released slowly. Returns the deepest reduction in dB.
static float limitPeaks(float* left, float* right, int n, float ceiling)
{
    enum { Radius = 220 };   // 5 ms each way
    float* need = (float*)malloc(sizeof(float) * (size_t)n);
    float* low = (float*)malloc(sizeof(float) * (size_t)n);
    int* queue = (int*)malloc(sizeof(int) * (size_t)n);
    if (!need || !low || !queue) {
        free(need);
        free(low);
        free(queue);
        fprintf(stderr, "soundtrack: out of memory for the limiter; peaks only scaled\n");
        return 0;
    }
    for (int i = 0; i < n; i++) {
        float p = fmaxf(fabsf(left[i]), fabsf(right[i]));
        need[i] = p > ceiling ? ceiling / p : 1.0f;
    }
    slidingMin(need, low, n, Radius, queue);
    double sum = 0;
    for (int i = 0; i < Radius && i < n; i++) sum += low[i];
    float gain = 1.0f, deepest = 1.0f;
    const float release = 1.0f - expf(-1.0f / (0.08f * SampleRate));
    for (int i = 0; i < n; i++) {
        if (i + Radius < n) sum += low[i + Radius];
        if (i - Radius - 1 >= 0) sum -= low[i - Radius - 1];
        int lo = i - Radius < 0 ? 0 : i - Radius, hi = i + Radius >= n ? n - 1 : i + Radius;
        float average = (float)(sum / (hi - lo + 1));
        gain = average < gain ? average : gain + (average - gain) * release;
        if (gain > need[i]) gain = need[i];   // rounding of the running sum
        if (gain < deepest) deepest = gain;
        left[i] *= gain;
        right[i] *= gain;
    }
    free(need);
    free(low);
    free(queue);
    return 20.0f * log10f(deepest);
}

void finishMix(Mix* mix, float peakDb)
{
    addRoom(mix, 0.9f);
    float* side[2] = {mix->left, mix->right};
    double energy = 0;
    for (int s = 0; s < 2; s++) {
        float previousIn = 0, previousOut = 0;
        for (int n = 0; n < mix->length; n++) {
            float x = side[s][n];
            float y = x - previousIn + 0.9985f * previousOut;
            previousIn = x;
            previousOut = y;
            side[s][n] = y;
            energy += (double)y * y;
        }
    }
    if (energy <= 0) return;
    // Loudness first (an RMS of -17.5 dBFS), then the limiter holds the peaks.
    double rms = sqrt(energy / (2.0 * mix->length));
    float scale = (float)(pow(10.0, -17.5 / 20.0) / rms);
    for (int s = 0; s < 2; s++)
        for (int n = 0; n < mix->length; n++) side[s][n] *= scale;
    float reduction = limitPeaks(mix->left, mix->right, mix->length, powf(10.0f, peakDb / 20.0f));
    fprintf(stderr, "soundtrack: limiter takes at most %.1f dB off the peaks\n", -reduction);
}

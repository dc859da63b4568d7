// The soundtrack's voices, one note at a time into an empty mix: where the
// pan law puts a note, and how fast the ringing voices die away, each against
// its own definition; and the master stage's peak limiter.
#include "tools/soundtrack/instruments.cpp"
#include <gtest/gtest.h>
#include <math.h>
#include <vector>

// Level in dB of one channel over [from, to) seconds.
static double levelDb(const float* channel, double from, double to)
{
    int a = (int)(from * SampleRate), b = (int)(to * SampleRate);
    double sum = 0;
    for (int i = a; i < b; i++) sum += (double)channel[i] * channel[i];
    return 10.0 * log10(sum / (b - a) + 1e-30);
}

// Power in dB at one frequency over the first seconds of a channel (Goertzel).
static double powerDb(const float* x, double seconds, double frequency)
{
    double c = 2.0 * cos(2.0 * M_PI * frequency / SampleRate), s1 = 0, s2 = 0;
    for (int i = 0; i < (int)(seconds * SampleRate); i++) {
        double s = x[i] + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    return 10.0 * log10(s1 * s1 + s2 * s2 - c * s1 * s2 + 1e-30);
}

struct NoteMix {
    Mix mix;
    NoteMix() { EXPECT_TRUE(allocMix(&mix, 2 * SampleRate)); }
    ~NoteMix() { freeMix(&mix); }
};

// Equal power: a note panned hard left has no right channel and the full
// power on the left (twice the power each side gets in the middle), and the
// middle is the same on both sides.
TEST(Instruments, PanningKeepsThePowerAndTheSide)
{
    NoteMix left, middle;
    addBanjo(&left.mix, 0, 60.0f, 0.5f, -1.0f);
    addBanjo(&middle.mix, 0, 60.0f, 0.5f, 0.0f);
    EXPECT_LT(levelDb(left.mix.right, 0, 0.5), levelDb(left.mix.left, 0, 0.5) - 100.0);
    EXPECT_NEAR(levelDb(middle.mix.left, 0, 0.5), levelDb(middle.mix.right, 0, 0.5), 0.01);
    EXPECT_NEAR(levelDb(left.mix.left, 0, 0.5), levelDb(middle.mix.left, 0, 0.5) + 10 * log10(2.0), 0.01);
}

// The stomp starts at full strength (its thump's sine begins at its crest):
// its first sample is at least half its peak, and nothing comes before it;
// its wooden knock rings at 190 Hz, above the thump's falling sweep (166 Hz
// down), so over its first 60 ms 190 Hz stands 12 dB over 250 Hz.
// The gun starts from rest: its first sample holds one noise step (0.9 of
// the crack, 3 x 0.08 through the rumble's filter) and the punch's first
// step, at most 0.6 x 1.16 at gain 1.
// The banjo's string loses 60 dB in 0.75 s (its loop gain per period is
// 0.001^(1 / (0.75 f))): half a second on, at least 40 dB quieter, and the
// loop's smoothing takes at most 15 dB more. The jug's ringing body partials
// (time constants 0.09 to 0.18 s) leave its last tenth of a second at least
// 30 dB under its first.
TEST(Instruments, VoicesStartAndDieAwayAsDefined)
{
    NoteMix stomp, banjo, smash;
    addStomp(&stomp.mix, 100, 1.0f);
    float peak = 0;
    for (int i = 0; i < stomp.mix.length; i++) peak = fmaxf(peak, fabsf(stomp.mix.left[i]));
    EXPECT_EQ(stomp.mix.left[99], 0.0f);
    EXPECT_GE(fabsf(stomp.mix.left[100]), 0.5f * peak) << peak;
    const float* thump = stomp.mix.left + 100;
    EXPECT_GE(powerDb(thump, 0.06, 190.0), powerDb(thump, 0.06, 250.0) + 12.0);
    for (int start : {0, 1000, 5000}) {
        NoteMix shot;
        addShot(&shot.mix, start, 1.0f);
        EXPECT_LE(fabsf(shot.mix.left[start]), 0.6f * 1.16f) << start;
    }
    addBanjo(&banjo.mix, 0, 60.0f, 0.5f, 0.0f);
    double drop = levelDb(banjo.mix.left, 0.05, 0.15) - levelDb(banjo.mix.left, 0.55, 0.65);
    EXPECT_GE(drop, 40.0);
    EXPECT_LE(drop, 55.0);
    addSmash(&smash.mix, 0, 0.5f, 1);
    EXPECT_GE(levelDb(smash.mix.left, 0.0, 0.1) - levelDb(smash.mix.left, 0.6, 0.7), 30.0);
}

// The limiter's gain at a sample is the mean, over the 441 samples around
// it, of the least gain any sample within 220 of them needs. A carrier of 0.9
// with one peak of 2 (which needs 0.5) at sample 2000: 220 samples before the
// peak, 221 of the 441 need 0.5, so the carrier is 0.9 (1 - 0.5 x 221 / 441);
// at the peak all of them do and the peak lands on the ceiling; far before
// it nothing is touched.
TEST(Instruments, TheLimiterAveragesTheGainItsWindowNeeds)
{
    std::vector<float> left(4000, 0.9f), right(4000, 0.9f);
    left[2000] = 2.0f;
    float deepest = limitPeaks(left.data(), right.data(), 4000, 1.0f);
    EXPECT_NEAR(deepest, 20.0 * log10(0.5), 1e-4);
    EXPECT_EQ(left[1000], 0.9f);
    EXPECT_NEAR(right[1780], 0.9 * (1.0 - 0.5 * 221.0 / 441.0), 1e-5);
    EXPECT_NEAR(right[2000], 0.45, 1e-6);
    EXPECT_NEAR(left[2000], 1.0, 1e-6);
}

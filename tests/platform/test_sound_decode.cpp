// The sound layer's whole-stream decode, which the capture cuts its WAV from.
#include "platform/platform.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string>

// The soundtrack WAV is cut from this decode: the whole stream at 44100 Hz
// stereo, null and 0 when there is nothing to decode.
TEST(SoundtrackDecode, WholeStreamOrNothing)
{
    float* frames = (float*)&frames;
    EXPECT_EQ(soundDecodeStream("no/such/file.mp3", &frames), 0u);
    EXPECT_EQ(frames, nullptr);
    EXPECT_EQ(soundDecodeStream(nullptr, &frames), 0u);
    EXPECT_EQ(soundDecodeStream(KESTREL_SOURCE_DIR "/data/timeline.txt", &frames), 0u);   // not audio
    EXPECT_EQ(frames, nullptr);
    EXPECT_EQ(soundDecodeStream(KESTREL_SOURCE_DIR "/data/timeline.txt", nullptr), 0u);

    size_t count = soundDecodeStream(KESTREL_BINARY_DIR "/data/barnstomp.mp3", &frames);
    ASSERT_GT(count, (size_t)44100 * 60) << "the show's music should last minutes";
    ASSERT_NE(frames, nullptr);
    double energy = 0.0;
    for (size_t i = 0; i < count * 2; i++) {
        ASSERT_TRUE(frames[i] >= -1.5f && frames[i] <= 1.5f) << "sample " << i << " is " << frames[i];
        energy += (double)frames[i] * frames[i];
    }
    EXPECT_GT(energy / (double)(count * 2), 1e-4) << "decoded music is (nearly) silent";
    free(frames);
}

// Decoded whole, a stream may last ten minutes: one a second longer is
// refused, not cut at ten minutes (a low-rate file keeps the decode small).
TEST(SoundtrackDecode, AStreamOverTenMinutesIsRefused)
{
    std::string path = makeTempDir("long_sound") + "/601s.mp3";
    ASSERT_EQ(runCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=8000:duration=601 -ac 1 "
                         "-b:a 8k " +
                         path),
              0);
    float* frames = (float*)&frames;
    EXPECT_EQ(soundDecodeStream(path.c_str(), &frames), 0u);
    EXPECT_EQ(frames, nullptr);
    free(frames);
}

// A stream at half the output rate comes out twice as long, each channel on
// its own side, every new sample halfway between its neighbours (linear
// interpolation at a fraction of exactly 0.5), whatever the codec did.
TEST(SoundtrackDecode, HalfRateStereoIsInterpolatedPerChannel)
{
    std::string path = makeTempDir("half_rate") + "/22050.ogg";
    ASSERT_EQ(runCommand("ffmpeg -v error -y -f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 "
                         "-af 'pan=stereo|c0=0.2*c0|c1=c0' -c:a libvorbis " +
                         path),
              0);
    float* frames = nullptr;
    size_t count = soundDecodeStream(path.c_str(), &frames);
    ASSERT_NE(frames, nullptr);
    EXPECT_NEAR((double)count, 44100.0, 2.0);
    double left = 0, right = 0;
    int off = 0;
    for (size_t o = 1; o + 1 < count; o += 2)
        for (int c = 0; c < 2; c++)
            off += fabsf(frames[2 * o + c] - 0.5f * (frames[2 * (o - 1) + c] + frames[2 * (o + 1) + c])) > 1e-5f;
    for (size_t o = 0; o < count; o++)
        left += frames[2 * o] * frames[2 * o], right += frames[2 * o + 1] * frames[2 * o + 1];
    EXPECT_EQ(off, 0) << "samples not halfway between their neighbours";
    EXPECT_NEAR(sqrt(right / left), 5.0, 0.5) << "the louder side is the right";
    free(frames);
}

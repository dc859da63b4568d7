// The sound layer's whole-stream decode, which the capture cuts its WAV from.
#include "platform/platform.h"
#include "support/files.h"
#include <gtest/gtest.h>
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

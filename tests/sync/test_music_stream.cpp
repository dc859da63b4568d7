// Streams through the sound layer: the choice by extension, a missing or broken
// soundtrack, MP3 played whole and from an offset, other formats, the silent
// fallback without a device and the name's buffer.
#include "sync/music_fixture.h"

TEST(Music, StreamFileByExactExtension)
{
    EXPECT_EQ(isStreamFile("./data/barnstomp.mp3"), 1);
    EXPECT_EQ(isStreamFile("SONG.MP3"), 1);
    EXPECT_EQ(isStreamFile("a.b/tune.ogg"), 1);
    EXPECT_EQ(isStreamFile("x.OGG"), 1);
    EXPECT_EQ(isStreamFile("song.Mp3"), 0);   // mixed case goes to the module loader
    EXPECT_EQ(isStreamFile("song.mp3.xm"), 0);
    EXPECT_EQ(isStreamFile("song.mp"), 0);
    EXPECT_EQ(isStreamFile("song.mp3 "), 0);
    EXPECT_EQ(isStreamFile("mp3"), 0);
    EXPECT_EQ(isStreamFile(".mp3"), 1);   // no dot-less fallback needed: whole path
    EXPECT_EQ(isStreamFile(""), 0);
    EXPECT_EQ(isStreamFile(nullptr), 0);
}

TEST(Music, MissingOrBrokenSoundtrackLeavesShowSilent)
{
    InDirectory here("music_MissingOrBrokenSoundtrackLeavesShowSilent");   // its files, away from any data folder
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
    writeSineMp3("mixed.Mp3", Rate / 10, 0.5f);   // a real MP3, but loaded as a module
    EXPECT_EQ(startMusic("mixed.Mp3", 0.0f), 0);
    EXPECT_EQ(startMusic(nullptr, 0.0f), 0);

    EXPECT_EQ(currentStream, nullptr);
    EXPECT_EQ(currentSong, nullptr);
    EXPECT_EQ(soundLiveObjects(), 0);
    EXPECT_EQ(stopMusic(), 1);   // shutdown: nothing to release
    EXPECT_EQ(soundLiveObjects(), 0);
}

TEST(Music, Mp3StreamPlaysWholeAndFromOffset)
{
    InDirectory here("music_Mp3StreamPlaysWholeAndFromOffset");   // its files, away from any data folder
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
    ASSERT_EQ(startMusic("sine.mp3", 0.75f), 1);   // --start: seek into the stream
    EXPECT_TRUE(waitForStreamEnd(capture));
    stopMusic();
    soundShutdown();
    Loud tail = loudPart(readCapture(capture), 0.02f);
    ASSERT_GE(tail.first, 0);
    EXPECT_NEAR(tail.last - tail.first + 1, Rate / 4, 40);

    resetOutput(capture);
    ASSERT_EQ(startMusic("sine.mp3", 5.0f), 1);   // past the end: silence, still started
    EXPECT_TRUE(waitForStreamEnd(capture));
    stopMusic();
    soundShutdown();
    EXPECT_LT(loudPart(readCapture(capture), 0.02f).first, 0);
}

// Streams in other formats are decoded whole and converted to 44100 Hz stereo.
TEST(Music, OtherStreamFormatsAreConverted)
{
    InDirectory here("music_OtherStreamFormatsAreConverted");   // its files, away from any data folder
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

    int made =
        runCommand("ffmpeg -nostdin -loglevel error -y -f lavfi -i sine=frequency=440:sample_rate=48000:duration=1 "
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

TEST(Music, NoDeviceFallsBackToSilentOutputThatAdvances)
{
    InDirectory here("music_NoDeviceFallsBackToSilentOutputThatAdvances");   // its files, away from any data folder
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
    EXPECT_GT(position, 200);                  // it moves without a device...
    EXPECT_LE(position, (int)elapsed + 100);   // ...paced by the clock, never ahead of it
    stopMusic();
    soundShutdown();
    soundReady = 0;
    setenv("SDL_AUDIODRIVER", "disk", 1);
}

TEST(Music, SoundtrackNameMustFitItsBuffer)
{
    InDirectory here("music_SoundtrackNameMustFitItsBuffer");   // its files, away from any data folder
    mkdir("data", 0755);
    // "./data/" + the name + terminator must fit DataPathSize bytes; a name
    // past that is refused before any file is looked for.
    std::string fits = std::string(56, 's') + ".mp3";
    std::string tooLong = std::string(DataPathSize - strlen("./data/") - 4, 's') + ".mp3";
    writeSineMp3("data/" + fits, Rate / 10, 0.5f);
    resetOutput("capture_names.raw");
    DemoConfig config = {"./data/", nullptr, nullptr, nullptr, {}, 0.0f, 0, nullptr};
    demoConfig = &config;
    config.musicFile = fits.c_str();
    EXPECT_EQ(startSoundtrack(0.0f), 1);
    EXPECT_TRUE(currentStream);
    config.musicFile = tooLong.c_str();
    SoundStream* playing = currentStream;
    EXPECT_EQ(startSoundtrack(0.0f), 0);   // refused before anything is opened
    EXPECT_EQ(currentStream, playing);     // so what plays goes on
    EXPECT_EQ(stopMusic(), 1);
    config.musicFile = nullptr;   // no soundtrack: the show runs on the clock
    EXPECT_EQ(startSoundtrack(0.0f), 0);
    EXPECT_EQ(currentStream, nullptr);
    EXPECT_EQ(soundLiveObjects(), 0);
    demoConfig = nullptr;
    resetOutput("capture_names2.raw");
    soundShutdown();
}

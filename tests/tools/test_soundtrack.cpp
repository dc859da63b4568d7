// Tests of the generated soundtrack, decoded as the player decodes it (libmpg123,
// gapless): its length against the timeline, its peak level, a stomp on the
// beat grid, no silent bar, sound from the first milliseconds, identical bytes
// on a second render; and the Zxx test module as the module player sees it.
#include "sync/sync.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.h>
#include <math.h>
#include <mpg123.h>
#include <algorithm>
#include <string>
#include <unistd.h>
#include <vector>

static const std::string binaryDir = KESTREL_BINARY_DIR;
static const std::string dataDir = binaryDir + "/data";
static const double rate = 44100.0;

struct Decoded {
    std::vector<float> left, right;
    long sampleRate = 0;
    int channels = 0;
};

// Decodes the whole file to float stereo. Returns false when mpg123 fails.
static bool decode(const std::string& path, Decoded* out)
{
    mpg123_init();
    int error = 0;
    mpg123_handle* h = mpg123_new(nullptr, &error);
    if (!h) return false;
    mpg123_param(h, MPG123_ADD_FLAGS, MPG123_GAPLESS | MPG123_FORCE_FLOAT, 0);
    mpg123_format_none(h);
    mpg123_format(h, 44100, MPG123_STEREO, MPG123_ENC_FLOAT_32);
    bool ok = mpg123_open(h, path.c_str()) == MPG123_OK;
    int encoding = 0;
    if (ok) ok = mpg123_getformat(h, &out->sampleRate, &out->channels, &encoding) == MPG123_OK;
    std::vector<float> buffer(8192);
    while (ok) {
        size_t done = 0;
        int r = mpg123_read(h, (unsigned char*)buffer.data(), buffer.size() * sizeof(float), &done);
        for (size_t i = 0; i + 1 < done / sizeof(float); i += 2) {
            out->left.push_back(buffer[i]);
            out->right.push_back(buffer[i + 1]);
        }
        if (r == MPG123_DONE) break;
        if (r != MPG123_OK && r != MPG123_NEW_FORMAT) ok = false;
    }
    mpg123_close(h);
    mpg123_delete(h);
    return ok;
}

static Decoded song;
static double showSeconds = 0;

// Decodes barnstomp.mp3 once and finds the show's length from the scene track.
static void load(void)
{
    static bool done = false;
    if (done) return;
    done = true;
    decode(dataDir + "/barnstomp.mp3", &song);
    SyncTrack scene = {};
    if (readTrackFile((dataDir + "/sync_scene.track").c_str(), &scene) == 1 && scene.keyCount > 0)
        showSeconds = scene.keys[scene.keyCount - 1].row * 60.0 / (130.0 * 4);
    free(scene.keys);
}

static double barSeconds(void) { return 4 * 60.0 / 130.0; }

static double meanSquare(const Decoded& d, long from, long to)
{
    from = std::max(from, 0L);
    to = std::min(to, (long)d.left.size());
    double sum = 0;
    for (long i = from; i < to; i++) {
        double m = 0.5 * (d.left[i] + d.right[i]);
        sum += m * m;
    }
    return to > from ? sum / (to - from) : 0.0;
}

TEST(Soundtrack, DecodesGaplessToTheLengthOfTheShow)
{
    load();
    ASSERT_FALSE(song.left.empty()) << "could not decode " << dataDir << "/barnstomp.mp3";
    EXPECT_EQ(song.sampleRate, 44100);
    EXPECT_EQ(song.channels, 2);
    ASSERT_GT(showSeconds, 60.0);
    double seconds = song.left.size() / rate;
    EXPECT_NEAR(seconds, showSeconds, barSeconds());
    // With the info tag the decoder drops the encoder's delay and padding.
    EXPECT_NEAR(seconds, showSeconds, 0.01);
}

TEST(Soundtrack, PeaksStayAtOrBelowMinusOneDecibel)
{
    load();
    ASSERT_FALSE(song.left.empty());
    float peak = 0;
    for (size_t i = 0; i < song.left.size(); i++)
        peak = std::max(peak, std::max(fabsf(song.left[i]), fabsf(song.right[i])));
    EXPECT_LE(peak, powf(10.0f, -1.0f / 20.0f));
    EXPECT_GT(peak, powf(10.0f, -6.0f / 20.0f)) << "the music is far quieter than intended";
}

// Equal-power panning keeps the band in the middle: the banjo and the fiddles
// sit a little either side, and the most lopsided bar leans 1.6 dB to the right.
// A pan law that favours one speaker (one factor of it inverted) leans bars by 7.7 dB.
TEST(Soundtrack, BarsStayBalancedBetweenTheSpeakers)
{
    load();
    ASSERT_FALSE(song.left.empty());
    int bars = (int)floor(showSeconds / barSeconds());
    double widest = 0;
    for (int b = 0; b < bars; b++) {
        long from = lround(b * barSeconds() * rate), to = lround((b + 1) * barSeconds() * rate);
        double l = 0, r = 0;
        for (long i = from; i < to && i < (long)song.left.size(); i++) {
            l += (double)song.left[i] * song.left[i];
            r += (double)song.right[i] * song.right[i];
        }
        double db = 10 * log10((l + 1e-20) / (r + 1e-20));
        if (fabs(db) > fabs(widest)) widest = db;
    }
    EXPECT_LT(fabs(widest), 3.0) << "a bar's left channel stands " << widest << " dB against its right";
}

TEST(Soundtrack, StartsAtOnceAndNoBarIsSilent)
{
    load();
    ASSERT_FALSE(song.left.empty());
    long first = -1;
    for (size_t i = 0; i < song.left.size() && first < 0; i++)
        if (fabsf(song.left[i]) > 0.01f || fabsf(song.right[i]) > 0.01f) first = (long)i;
    EXPECT_GE(first, 0);
    EXPECT_LE(first / rate, 0.005) << "first onset at " << first / rate << " s";
    // The band plays through: the quietest bar is 3.4 dB under the middle
    // bar's level. A bar the band leaves out, with only the reverb of the
    // one before it, falls far further.
    int bars = (int)floor(showSeconds / barSeconds());
    std::vector<double> db;
    for (int b = 0; b < bars; b++) {
        double ms = meanSquare(song, lround(b * barSeconds() * rate), lround((b + 1) * barSeconds() * rate));
        db.push_back(10 * log10(ms + 1e-20));
    }
    std::vector<double> sorted = db;
    std::sort(sorted.begin(), sorted.end());
    double middle = sorted.empty() ? 0.0 : sorted[sorted.size() / 2];
    for (int b = 0; b < bars; b++) {
        EXPECT_GT(db[b], -40.0) << "bar " << b << " is silent";
        EXPECT_GT(db[b], middle - 10.0) << "bar " << b << " is " << middle - db[b] << " dB under the middle bar";
    }
}

// Onset strength: the energy of the 10 ms after a time against the 30 ms
// before it. A stomp on every beat makes it large on the grid.
static double onset(const Decoded& d, double seconds)
{
    long at = lround(seconds * rate);
    double after = meanSquare(d, at, at + 441);
    double before = meanSquare(d, at - 1323, at - 88);
    return after / (before + 1e-9);
}

TEST(Soundtrack, StompsFallOnTheBeatGrid)
{
    load();
    ASSERT_FALSE(song.left.empty());
    double beat = 60.0 / 130.0;
    int beats = (int)floor((showSeconds - 2 * barSeconds()) / beat);   // the last chord rings out
    ASSERT_GT(beats, 100);
    int onGrid = 0;
    std::vector<double> grid, between;
    for (int k = 0; k < beats; k++) {
        double s = onset(song, k * beat);
        grid.push_back(s);
        if (s > 2.0) onGrid++;
        between.push_back(onset(song, (k + 0.375) * beat));
    }
    EXPECT_GE(onGrid, beats * 95 / 100) << onGrid << " of " << beats << " beats have an onset";
    std::sort(grid.begin(), grid.end());
    std::sort(between.begin(), between.end());
    EXPECT_GT(grid[grid.size() / 2], 4.0 * between[between.size() / 2])
        << "onsets between the beats are as strong as on them";
}

TEST(Soundtrack, RendersTheSameBytesAgain)
{
    if (access((binaryDir + "/soundtrack").c_str(), X_OK) != 0) GTEST_SKIP() << "built without the content tools";
    std::string dir = makeTempDir("soundtrack_again");
    std::string again = dir + "/again.mp3";
    ASSERT_EQ(runCommand(binaryDir + "/soundtrack build " KESTREL_SOURCE_DIR "/data/timeline.txt " + again + " 2> " +
                         dir + "/log.txt"),
              0);
    std::string built = readFile(dataDir + "/barnstomp.mp3");
    ASSERT_GT(built.size(), 100000u);
    EXPECT_TRUE(built == readFile(again)) << "a second render differs";
}

// The test module: "Z" effects with counting parameters on every second row of
// both patterns, as the module player's row scan will find them.
TEST(ZxxModule, CarriesZEffectsOnKnownRows)
{
    std::string bytes = readFile(dataDir + "/zxx_test.xm");
    ASSERT_GT(bytes.size(), 300u);
    openmpt_module* mod = openmpt_module_create_from_memory2(bytes.data(), bytes.size(), nullptr, nullptr, nullptr,
                                                             nullptr, nullptr, nullptr, nullptr);
    ASSERT_TRUE(mod);
    EXPECT_EQ(openmpt_module_get_num_orders(mod), 2);
    EXPECT_EQ(openmpt_module_get_num_patterns(mod), 2);
    int seen = 0;
    for (int pattern = 0; pattern < 2; pattern++) {
        ASSERT_EQ(openmpt_module_get_pattern_num_rows(mod, pattern), 16);
        for (int row = 0; row < 16; row++) {
            const char* effect =
                openmpt_module_format_pattern_row_channel_command(mod, pattern, row, 0, OPENMPT_MODULE_COMMAND_EFFECT);
            int parameter =
                openmpt_module_get_pattern_row_channel_command(mod, pattern, row, 0, OPENMPT_MODULE_COMMAND_PARAMETER);
            if (row % 2 == 0) {
                EXPECT_STREQ(effect, "Z") << pattern << ":" << row;
                EXPECT_EQ(parameter, 1 + pattern * 8 + row / 2);
                seen++;
            } else {
                EXPECT_STRNE(effect, "Z");
            }
            openmpt_free_string(effect);
        }
    }
    EXPECT_EQ(seen, 16);
    float buffer[2 * 1024];
    double peak = 0;
    for (int i = 0; i < 20; i++) {
        size_t n = openmpt_module_read_interleaved_float_stereo(mod, 44100, 1024, buffer);
        for (size_t k = 0; k < 2 * n; k++) peak = std::max(peak, (double)fabsf(buffer[k]));
    }
    EXPECT_GT(peak, 0.01) << "the module plays no sound";
    openmpt_module_destroy(mod);
}

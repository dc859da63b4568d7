// Scenes 5 to 9 with the show's own data: the uniforms they queue, small
// renders, and the show run to its end (timeline and program).
#include "show/show_local.h"
#include "show/fixture.h"
#include "support/gl_context.h"
#include "support/show_data.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>

static const int RecordWidth = 96, RecordHeight = 54;

// The show's data, loaded once (support); false (and the test fails) when the
// data was not generated.
static bool showData(void)
{
    static int state = -1;
    if (state >= 0) return state == 1;
    state = loadShowData(RecordWidth, RecordHeight);
    tweakMode = -1;
    return state == 1;
}

TEST(SceneUniforms, ProgramsReceiveWhatScenesFiveToNineQueue)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    for (int program : {res.progCar, res.progTrail, res.progGreet, res.progShroom, res.progScroll, res.progBokeh,
                        res.progLomofiContrast, res.progLomofiCorrect})
        ASSERT_GT(program, 0);
    setTracks(0, 0, 0, 0, 0);
    auto vec3Value = [](int program, const char* name) {
        std::vector<float> v(3, -99.0f);
        glGetUniformfv((GLuint)program, glGetUniformLocation((GLuint)program, name), v.data());
        return v;
    };

    // Scene 5's gamma is 1: the grade without the exponent, lifted by the
    // green-grey layer it used to draw (0x20, 0x30, 0x20): contrast 1.7 about
    // mid grey gives x * 1.7 + lift * 1.7 - 0.35, and the saturation's cap
    // (1.35) lies above white.
    scene5(1.0f, 2, 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progLomofiContrast, "correctScale"), 1.7f);
    std::vector<float> lifted = vec3Value(res.progLomofiContrast, "correctOffset");
    EXPECT_NEAR(lifted[0], 32.0f / 255.0f * 1.7f - 0.35f, 1e-6f);
    EXPECT_NEAR(lifted[1], -0.03f, 1e-6f);
    EXPECT_NEAR(lifted[2], 32.0f / 255.0f * 1.7f - 0.35f, 1e-6f);
    // Scene 6: contrast 0.76, luminosity 0.033, gamma 1.66: offset 0.153,
    // white corrected to 0.913.
    scene6(2.5f, 1.0f, 3.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progCar, "chrome"), 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progLomofiCorrect, "correctScale"), 0.76f);
    EXPECT_NEAR(vec3Value(res.progLomofiCorrect, "correctOffset")[1], 0.153f, 1e-6f);
    EXPECT_NEAR(vec3Value(res.progLomofiCorrect, "correctLimits")[1], 0.913f, 1e-6f);
    std::vector<float> curve = vec3Value(res.progLomofiCorrect, "correctCurve");
    EXPECT_NEAR(curve[0] * 0.5f + curve[1] * 0.25f + curve[2] * 0.125f, powf(0.25f, 1.66f), 1.0f / 255.0f);

    // Scene 7: contrast 0.55, luminosity -0.08: white corrected to 0.695.
    scene7(2.0f, 0.25f, 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progCar, "chrome"), 0.75f);
    EXPECT_NEAR(vec3Value(res.progLomofiCorrect, "correctLimits")[1], 0.695f, 1e-6f);
    scene7(2.0f, -1.0f, 1.0f);   // the trail and the sky scroll on the frame's one time
    EXPECT_FLOAT_EQ(uniformValue(res.progCar, "chrome"), 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(res.progTrail, "time"), 2.0f);
    GLint location = glGetUniformLocation((GLuint)res.progScroll, "offset");
    ASSERT_GE(location, 0);
    float offset[2] = {1, 1};
    glGetUniformfv((GLuint)res.progScroll, location, offset);
    EXPECT_FLOAT_EQ(offset[0], -6.0f);
    EXPECT_EQ(offset[1], 0.0f);

    scene8(3.0f, 5.5f);
    EXPECT_EQ(uniformValue(res.progGreet, "grt"), (float)(15 - lastPlaceDrawn(0, 15)));   // jug number 15 - place

    setTracks(1.5f, 3.0f, 0.5f, 1.0f, 1.5f);
    scene9(1.5f, 3.0f, 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progShroom, "light"), 0.3883483f);
    EXPECT_FLOAT_EQ(uniformValue(res.progBokeh, "scale"), 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(res.progBokeh, "highlight"), 1.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

struct Shot {
    const char* name;
    int scene;
    float time, part, var0, var1, post1, post2;
};

static void drawShot(const Shot& s)
{
    setTracks(s.part, s.var0, s.var1, s.post1, s.post2);
    switch (s.scene) {
    case 5: scene5(s.time, (int)s.part, s.var0, s.var1); break;
    case 6: scene6(s.part, s.var0, s.var1); break;
    case 7: scene7(s.time, s.part, s.var0); break;
    case 8: scene8(s.var0, s.var1); break;
    default: scene9(s.part, s.var0, s.var1); break;
    }
}

// Renders a shot twice (the second frame no longer shows the scene buffer's
// leftovers) into the default framebuffer and reads it back.
static std::vector<unsigned char> renderShot(const Shot& s)
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, RecordWidth, RecordHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawShot(s);
    drawShot(s);
    glFinish();
    return readPixels(0, 0, RecordWidth, RecordHeight);
}

// Frames along each scene's course as the show's tracks drive it.
static const Shot sceneShots[] = {
    {"press, key 0", 5, 81.5f, 0, 0.02f, 0, 0, 0},
    {"press, key 1", 5, 92.0f, 0, 1.0f, 0, 0, 0},
    {"kaleidoscope of 4", 5, 88.0f, 4, 0.6f, 0, 0, 0},
    {"kaleidoscope of 6, rolls", 5, 96.0f, 6, 1.33f, 0.68f, 0, 0},
    {"rolls tumbling, key 2", 5, 103.0f, 6, 1.97f, 1.95f, 0, 0},
    {"gun assembling", 6, 106.0f, 0.47f, 0.57f, 2.8f, 0, 0},
    {"gun fires", 6, 110.0f, 1.0f, 1.94f, 7.2f, 0, 0},
    {"bullet flying", 6, 111.8f, 2.56f, 2.1f, 3.9f, 0, 0},
    {"blood, key 3", 6, 117.0f, 3.0f, 3.9f, 3.2f, 0, 0},
    {"bullet in the lines", 7, 120.0f, 0, 0.67f, 0, 0, 0},
    {"bullet from behind", 7, 125.5f, 0.48f, 2.65f, 0, 0, 0},
    {"hot rod, key 4", 7, 130.0f, 1.0f, 4.2f, 0, 0, 0},
    {"first jug breaking", 8, 133.5f, 0, 0.3f, 0.62f, 0, 0},
    {"jugs, key 5", 8, 145.0f, 0, 5.5f, 7.0f, 0, 0},
    {"last jug, key 25", 8, 161.0f, 0, 25.7f, 15.4f, 0, 0},
    {"nuke jug", 9, 163.0f, -1.0f, 0.03f, 1.0f, 0.35f, 1.0f},
    // Later in the growth than the show's 172 s, where the flash still
    // washes the sky out to a mean above 235.
    {"mushroom grows", 9, 172.0f, 0.0f, 2.6f, 0.5f, 0.35f, 1.0f},
    {"the cap rises", 9, 178.0f, 1.0f, 4.0f, 0.88f, 0.35f, 1.0f},
    {"darkening under the blur", 9, 181.5f, 1.5f, 4.6f, 1.0f, 0.35f, 1.0f},
};

TEST(SceneRenders, EveryScenePaintsADistinctPictureWithoutGLErrors)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    while (glGetError() != GL_NO_ERROR) {}
    const int pixels = RecordWidth * RecordHeight;
    std::vector<unsigned char> previous;
    for (const Shot& s : sceneShots) {
        std::vector<unsigned char> image = renderShot(s);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << s.name;
        // Scene 6's hazy backdrop changes little between its shots: a low bar
        // that still catches a routine that left the previous frame standing.
        expectLivelyPicture(image, pixels, previous, 0.5, s.name);
        previous = image;
    }
}

// Scene 7 copies the frame for its trail only where the trail can read it:
// whatever fullTarget held outside that region must not reach the picture.
static std::vector<unsigned char> renderOverFilledCopy(const Shot& s, float red, float green, float blue)
{
    renderShot(s);
    bindRenderTarget(fullTarget);
    glClearColor(red, green, blue, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    unbindRenderTarget(fullTarget);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, RecordWidth, RecordHeight);
    drawShot(s);
    glFinish();
    return readPixels(0, 0, RecordWidth, RecordHeight);
}

TEST(SceneRenders, TrailSeesOnlyTheFrameItCopied)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    // The rod seen over its trail, which then covers half the frame.
    static const Shot overTrail = {"rod over its trail", 7, 128.5f, 1.0f, 2.12f, 0, 0, 0};
    std::vector<Shot> shots(sceneShots, sceneShots + sizeof sceneShots / sizeof *sceneShots);
    shots.push_back(overTrail);
    for (const Shot& s : shots) {
        if (s.scene != 7) continue;
        std::vector<unsigned char> magenta = renderOverFilledCopy(s, 1, 0, 1);
        std::vector<unsigned char> green = renderOverFilledCopy(s, 0, 1, 0);
        EXPECT_TRUE(magenta == green) << s.name;
    }
}

TEST(SceneRenders, RodPicturesAgreePastPartOneAndTheEndIsBlack)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    Shot one = {"rod at part 1", 7, 2.0f, 1.0f, 4.5f, 0, 0, 0};
    Shot three = one;
    three.part = 3.0f;
    Shot half = one;
    half.part = 0.5f;
    std::vector<unsigned char> a = renderShot(one);
    std::vector<unsigned char> b = renderShot(three);
    std::vector<unsigned char> c = renderShot(half);
    EXPECT_TRUE(a == b) << "part 1 and part 3 differ";
    EXPECT_FALSE(a == c) << "the rod does not change with part";

    // part 2: darkened to black before the blur, so the frame stays dark.
    Shot end = {"the end", 9, 184.5f, 2.0f, 4.99f, 1.0f, 0.35f, 1.0f};
    std::vector<unsigned char> image = renderShot(end);
    double sum = 0.0;
    for (size_t i = 0; i < image.size(); i += 4) sum += (image[i] + image[i + 1] + image[i + 2]) / 3.0;
    EXPECT_LT(sum / (RecordWidth * RecordHeight), 40.0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// ---- the whole show ------------------------------------------------------------------

// Drives the timeline on a fixed clock from 0 until it says the show is over:
// every scene runs in order and the end comes on the scene track after scene 9.
TEST(ShowToTheEnd, TimelineRunsEveryScenesInOrderAndEnds)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    initSync();
    ASSERT_NE(syncTracks[TrackScene], nullptr);
    prevScene = -1;
    std::vector<int> order;
    float endTime = -1.0f;
    for (int frame = 0; frame < 2000; frame++) {
        ShowFrame shown = showFrameAt(frame * 0.5f, 0.5f, 1);
        if (dispatchScene(&shown)) {
            endTime = shown.time;
            break;
        }
        if (order.empty() || order.back() != prevScene) order.push_back(prevScene);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_GT(endTime, 180.0f);
    EXPECT_LT(endTime, 190.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// The row where the scene track steps from 9 to 1 (the end of the show), or
// -1 when the track file has no such step.
static int endRow(const char* path)
{
    SyncTrack track;
    memset(&track, 0, sizeof track);
    if (!readTrackFile(path, &track)) return -1;
    int row = -1;
    for (int i = 1; i < track.keyCount; i++)
        if (track.keys[i - 1].value == 9.0f && track.keys[i].value == 1.0f) row = track.keys[i].row;
    free(track.keys);
    return row;
}

// The program itself, started three seconds before the end the scene track
// gives, finishes by itself with code 0.
TEST(ShowToTheEnd, ProgramEndsByItselfWithCodeZero)
{
    int row = endRow(KESTREL_BINARY_DIR "/data/sync_scene.track");
    ASSERT_GT(row, 0) << "the scene track never steps from 9 to 1";
    float rowsPerSecond = builtinConfig.bpm * (float)builtinConfig.rowsPerBeat / 60.0f;
    ASSERT_GT(rowsPerSecond, 0.0f);
    float start = (float)row / rowsPerSecond - 3.0f;
    if (start < 0.0f) start = 0.0f;
    std::string dir = "/tmp/kestrel_show_end_" + std::to_string((long)getpid());
    std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "' && cd '" + dir +
                          "' && ln -sf '" KESTREL_BINARY_DIR "/data' data && timeout 150 '" +
                          std::string(KESTREL_BINARY_DIR) + "/kestrel' --mode 160x90 --start " + std::to_string(start) +
                          " >out.txt 2>&1";
    EXPECT_EQ(runCommand(command), 0) << readFile(dir + "/out.txt");
    runCommand("rm -rf '" + dir + "'");
}

// Scene 9 adds the cloud's glow and the flash to its picture in one pass.
// Over a known grey picture that pass must make what the blender makes of
// the two layers added one by one, with the glow a shot of the scene left.
TEST(SceneRenders, CloudGlowAndFlashAddLikeTheirLayers)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    const Shot shots[] = {
        {"nuke jug, flash", 9, 163.0f, -1.0f, 0.03f, 0.02f, 0.35f, 2.0f},
        {"mushroom, flash", 9, 172.0f, 0.0f, 2.6f, 0.02f, 0.8f, 2.0f},
        {"cap, no flash", 9, 178.0f, 1.0f, 4.0f, 1.0f, 0.25f, 2.0f},
    };
    for (const Shot& s : shots) {
        renderShot(s);
        uint32_t flash = flashColour(shroomGlow(s.var1));
        glClearColor(0.25f, 0.25f, 0.25f, 1.0f);
        bindRenderTarget(extraTarget);
        glClear(GL_COLOR_BUFFER_BIT);
        addGlowAndFlash(s.part, flash);
        unbindRenderTarget(extraTarget);
        std::vector<unsigned char> summed = readTargetPixels(extraTarget);
        const int glow[1] = {renderTargets[halfTarget]->colorTexture};
        const int none[1] = {0};
        bindRenderTarget(extraTarget);
        glClear(GL_COLOR_BUFFER_BIT);
        if (s.part >= 0.0f) drawOverlayQuad(glow, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Additive, -1);
        drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, flash, Additive, -1);
        unbindRenderTarget(extraTarget);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        std::vector<unsigned char> layered = readTargetPixels(extraTarget);
        ASSERT_EQ(summed.size(), layered.size());
        int worst = 0;
        long brighter = 0;
        for (size_t i = 0; i < summed.size(); i++) {
            worst = std::max(worst, abs((int)summed[i] - (int)layered[i]));
            brighter += i % 4 != 3 && layered[i] > 66 ? 1 : 0;
        }
        EXPECT_LE(worst, 1) << s.name;
        EXPECT_GT(brighter, (long)summed.size() / 8) << s.name << ": nothing was added";
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// Scenes 5 to 7 are graded with their correction applied as the grade reads
// the scene buffer: the picture must be the one correcting into fullTarget
// first and grading that gave (within the rounding of the 8-bit copy the
// fold does without, and the blurred copy made from corrected fetches), and
// far from the grade without the correction.
TEST(SceneRenders, GradeCorrectsAsACorrectedCopyWouldBeGraded)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    const struct {
        const char* name;
        void (*draw)(void);
        ColourCorrection correction;
        float gamma;
        int preset;
    } scenes[] = {
        {"scene 5",
         [] { scene5(1.0f, 2, 0.5f, 0.5f); },
         {{32 / 255.0f, 48 / 255.0f, 32 / 255.0f}, 1.7f, 0.0f, 1.0f},
         1.0f,
         4},
        {"scene 6", [] { scene6(2.5f, 1.0f, 3.0f); }, {{0, 0, 0}, 0.76f, 0.033f, 1.66f}, 1.66f, 2},
        {"scene 7", [] { scene7(2.0f, 0.25f, 1.0f); }, {{0, 0, 0}, 0.55f, -0.08f, 1.15f}, 1.15f, 3},
    };
    gradingSources.grainMovesOn = 0;
    auto gradedInto = [](int source, int preset, const ColourCorrection* correction) {
        glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)renderTargets[extraTarget]->framebuffer);
        glViewport(0, 0, RecordWidth, RecordHeight);
        gradeFrame(source, preset, correction);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return readTargetPixels(extraTarget);
    };
    for (const auto& s : scenes) {
        s.draw();
        std::vector<unsigned char> folded = gradedInto(sceneTarget, s.preset, &s.correction);
        std::vector<unsigned char> plain = gradedInto(sceneTarget, s.preset, nullptr);
        const float* lift = s.correction.lift;
        uint32_t liftBytes = (uint32_t)lroundf(lift[0] * 255.0f) << 24 | (uint32_t)lroundf(lift[1] * 255.0f) << 16 |
                             (uint32_t)lroundf(lift[2] * 255.0f) << 8;
        correctColour(fullTarget, sceneTarget, s.gamma, s.correction.contrast, s.correction.luminosity, liftBytes);
        std::vector<unsigned char> twoPasses = gradedInto(fullTarget, s.preset, nullptr);
        ASSERT_EQ(folded.size(), twoPasses.size());
        int worst = 0;
        double mean = 0.0, fromPlain = 0.0, level = 0.0;
        for (size_t i = 0; i < folded.size(); i += 4) {
            for (int ch = 0; ch < 3; ch++) {
                int d = abs((int)folded[i + ch] - (int)twoPasses[i + ch]);
                worst = std::max(worst, d);
                mean += d;
                fromPlain += abs((int)plain[i + ch] - (int)twoPasses[i + ch]);
                level += twoPasses[i + ch];
            }
        }
        double values = (double)folded.size() / 4.0 * 3.0;
        EXPECT_LE(worst, 8) << s.name;
        EXPECT_LE(mean / values, 1.0) << s.name;
        EXPECT_GT(fromPlain / values, 4.0) << s.name << ": the correction must show";
        EXPECT_GT(level / values, 20.0) << s.name << ": blank";
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// The colour correction against values worked out by hand from its
// definition for a flat picture of (100, 200, 240): the lift (32, 48, 32)
// saturates blue at white before the contrast 0.5 about mid grey, giving
// (129.75, 187.75, 191.25); gamma 2 then squares them to (66.0, 138.2,
// 143.4). Blue unsaturated would give 199.75, squared 156.5.
TEST(SceneRenders, ColourCorrectionLiftsSaturatingThenContrastThenGamma)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    const struct {
        float gamma;
        int expected[3];
    } cases[] = {{1.0f, {130, 188, 191}}, {2.0f, {66, 138, 143}}};
    for (const auto& c : cases) {
        bindRenderTarget(sceneTarget);
        glClearColor(100.0f / 255.0f, 200.0f / 255.0f, 240.0f / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        unbindRenderTarget(sceneTarget);
        correctColour(fullTarget, sceneTarget, c.gamma, 0.5f, 0.0f, 0x20302000u);
        std::vector<unsigned char> out = readTargetPixels(fullTarget);
        ASSERT_GE(out.size(), (size_t)4);
        for (size_t i = 0; i < out.size(); i += 4 * 97)
            for (int ch = 0; ch < 3; ch++)
                EXPECT_NEAR(out[i + ch], c.expected[ch], 1) << "gamma " << c.gamma << " channel " << ch;
    }
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

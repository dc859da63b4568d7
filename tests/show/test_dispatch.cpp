// The timeline: which scene routine runs with which arguments, both end
// rules, one show frame (clock, grading sources, flare), and the letterbox
// bars on real pixels at several window sizes.
#include "show/show_local.h"
#include "app/window.h"
#include "post/post.h"
#include "render/render.h"
#include "sync/sync.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <vector>

// What the recording routines saw: the last frame each scene was handed.
struct SceneCall {
    int count;
    float time, part, var0, var1, post1;
};
static SceneCall calls[ShowSceneCount + 1];

template <int Scene>
static void record(const ShowFrame* frame)
{
    SceneCall* c = &calls[Scene];
    c->count++;
    c->time = frame->time;
    c->part = frame->tracks[TrackPart];
    c->var0 = frame->tracks[TrackVar0];
    c->var1 = frame->tracks[TrackVar1];
    c->post1 = frame->tracks[TrackPost1];
}

static int totalCalls(void)
{
    int n = 0;
    for (const SceneCall& c : calls) n += c.count;
    return n;
}

// The frame is drawn into an off-screen buffer of the window's size (a hidden
// test window's own pixels are unreliable once it is resized); windowWidth,
// windowHeight and the camera aspect are set as for a window of that size.
// The buffer is cleared to red.
static void prepareFrame(int width = 64, int height = 48)
{
    ASSERT_TRUE(testGLContext(64, 64));
    static RenderTarget canvas;
    static int canvasWidth, canvasHeight;
    if (canvasWidth != width || canvasHeight != height) {
        ASSERT_TRUE(createRenderTarget(&canvas, width, height, 1));
        canvasWidth = width;
        canvasHeight = height;
    }
    windowWidth = width;
    windowHeight = height;
    setCameraAspect(width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)canvas.framebuffer);
    glViewport(0, 0, width, height);
    glDisable(GL_SCISSOR_TEST);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

static int isBlack(const unsigned char* p) { return p[0] == 0 && p[1] == 0 && p[2] == 0; }
static int isRed(const unsigned char* p) { return p[0] == 255 && p[1] == 0 && p[2] == 0; }

// Counts black pixels in each row of the bound framebuffer.
static std::vector<int> blackPerRow(int width, int height)
{
    std::vector<unsigned char> pixels = readPixels(0, 0, width, height);
    std::vector<int> rows(height, 0);
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) rows[y] += isBlack(&pixels[((size_t)y * width + x) * 4]);
    return rows;
}

static int runFrame(float scene, float part = 0.0f, float var0 = 0.25f, float var1 = 0.75f, float time = 12.5f)
{
    ShowFrame frame = {};
    frame.time = time;
    frame.tracks[TrackScene] = scene;
    frame.tracks[TrackPart] = part;
    frame.tracks[TrackVar0] = var0;
    frame.tracks[TrackVar1] = var1;
    frame.tracks[TrackPost1] = time + 1.0f;
    return dispatchScene(&frame);
}

class Dispatch : public ::testing::Test {
protected:
    SceneRoutine saved[ShowSceneCount];
    void SetUp() override
    {
        static const SceneRoutine recorders[ShowSceneCount] = {record<1>, record<2>, record<3>, record<4>, record<5>,
                                                               record<6>, record<7>, record<8>, record<9>};
        memcpy(saved, showScenes, sizeof saved);
        memcpy(showScenes, recorders, sizeof saved);
        for (SceneCall& c : calls) c = SceneCall();
        prevScene = -1;
    }
    void TearDown() override { memcpy(showScenes, saved, sizeof saved); }
};

TEST_F(Dispatch, NineThenOneEndsWithoutDrawing)
{
    prepareFrame();
    EXPECT_EQ(runFrame(9.0f), 0);
    EXPECT_EQ(calls[9].count, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(runFrame(1.0f), 1);
    EXPECT_EQ(calls[1].count, 0);
    EXPECT_EQ(prevScene, 9);
    std::vector<int> rows = blackPerRow(64, 48);
    EXPECT_EQ(rows[0], 0) << "no letterbox on the final call";
    EXPECT_EQ(rows[47], 0);
}

TEST_F(Dispatch, OtherChangesGoOn)
{
    prepareFrame();
    runFrame(9.0f);
    EXPECT_EQ(runFrame(2.0f), 0);
    EXPECT_EQ(calls[2].count, 1);
    EXPECT_EQ(prevScene, 2);
    runFrame(8.0f);
    EXPECT_EQ(runFrame(1.0f), 0);
    EXPECT_EQ(calls[1].count, 1);
    EXPECT_EQ(prevScene, 1);
}

TEST_F(Dispatch, SceneNumbersTruncateTowardZero)
{
    prepareFrame();
    EXPECT_EQ(runFrame(1.9f), 0);
    EXPECT_EQ(calls[1].count, 1);
    EXPECT_EQ(prevScene, 1);
    EXPECT_EQ(runFrame(-0.5f), 0);
    EXPECT_EQ(prevScene, 0);
    EXPECT_EQ(runFrame(9.99f), 0);
    EXPECT_EQ(calls[9].count, 1);
    EXPECT_EQ(runFrame(10.0f), 0);
    EXPECT_EQ(prevScene, 10);
    EXPECT_EQ(runFrame(-1.5f, 0.0f), 0);    // -1 without the end marker
    EXPECT_EQ(runFrame(-2.0f, -1.0f), 0);   // -2 never ends the show
    EXPECT_EQ(runFrame(-7.0f), 0);
    EXPECT_EQ(totalCalls(), 2);
}

TEST_F(Dispatch, MinusOneWithPartMinusOneDrawsTheBarsAndEnds)
{
    prepareFrame();
    EXPECT_EQ(runFrame(-1.0f, -0.999f), 0);
    EXPECT_EQ(prevScene, -1);
    glClear(GL_COLOR_BUFFER_BIT);
    EXPECT_EQ(runFrame(-1.0f, -1.0f), 1);
    EXPECT_EQ(totalCalls(), 0);
    std::vector<int> rows = blackPerRow(64, 48);
    EXPECT_EQ(rows[0], 64) << "the bars are drawn before the end";
    EXPECT_EQ(rows[47], 64);
}

TEST_F(Dispatch, EachSceneGetsItsArguments)
{
    prepareFrame();
    runFrame(1.0f, 0.5f, 0.25f, 0.75f, 12.5f);
    EXPECT_FLOAT_EQ(calls[1].var0, 0.25f);
    runFrame(2.0f, 0.5f, 1.25f, 1.75f, 13.0f);
    EXPECT_FLOAT_EQ(calls[2].time, 13.0f);
    EXPECT_FLOAT_EQ(calls[2].post1, 14.0f);
    EXPECT_FLOAT_EQ(calls[2].var0, 1.25f);
    EXPECT_FLOAT_EQ(calls[2].var1, 1.75f);
    runFrame(3.5f, 0.5f, 2.25f, 2.75f, 14.0f);
    EXPECT_FLOAT_EQ(calls[3].time, 14.0f);
    EXPECT_FLOAT_EQ(calls[3].var1, 2.75f);
    runFrame(4.0f, 0.5f, 3.25f);
    EXPECT_FLOAT_EQ(calls[4].var0, 3.25f);
    runFrame(5.0f, 3.7f, 0.5f, 0.6f, 15.0f);
    EXPECT_FLOAT_EQ(calls[5].part, 3.7f);   // the scene truncates it itself
    EXPECT_FLOAT_EQ(calls[5].time, 15.0f);
    EXPECT_FLOAT_EQ(calls[5].var1, 0.6f);
    EXPECT_FLOAT_EQ(calls[5].post1, 16.0f);
    runFrame(6.0f, 2.5f, 5.5f, 6.5f);
    EXPECT_FLOAT_EQ(calls[6].part, 2.5f);
    EXPECT_FLOAT_EQ(calls[6].var0, 5.5f);
    EXPECT_FLOAT_EQ(calls[6].var1, 6.5f);
    runFrame(7.0f, 0.75f, 1.5f, 9.0f, 16.0f);
    EXPECT_FLOAT_EQ(calls[7].time, 16.0f);
    EXPECT_FLOAT_EQ(calls[7].part, 0.75f);
    EXPECT_FLOAT_EQ(calls[7].var0, 1.5f);
    runFrame(8.0f, 0.0f, 3.0f, 12.0f);
    EXPECT_FLOAT_EQ(calls[8].var0, 3.0f);
    EXPECT_FLOAT_EQ(calls[8].var1, 12.0f);
    runFrame(9.0f, 1.5f, 0.1f, 0.2f);
    EXPECT_FLOAT_EQ(calls[9].part, 1.5f);
    EXPECT_FLOAT_EQ(calls[9].var1, 0.2f);
    EXPECT_EQ(totalCalls(), 9);
}

// One show frame hands the post chain this frame's sources (the flare dimmed
// in scene 7 only, the grain moving on after a present) and dispatches the
// frame record as it is, tracks included.
TEST_F(Dispatch, ShowFrameHandsOnTheRecordAndTheGradingSources)
{
    prepareFrame();
    GradingSources saved = gradingSources;
    const int slots[4] = {res.progLomofi, res.texGrain, res.texLeak, res.texDirt};
    res.progLomofi = 41;
    res.texGrain = 42;
    res.texLeak = 43;
    res.texDirt = 44;
    const float scenes[4] = {7.0f, 7.9f, 6.999f, 8.0f};
    const float flare[4] = {0.25f, 0.25f, 1.0f, 1.0f};
    for (int i = 0; i < 4; i++) {
        ShowFrame frame = {};
        frame.time = 20.0f + i;
        frame.delta = 0.04f;
        frame.grainMovesOn = i % 2;
        frame.tracks[TrackScene] = scenes[i];
        frame.tracks[TrackPart] = 0.5f;
        frame.tracks[TrackVar0] = 1.5f;
        EXPECT_EQ(drawShowFrame(&frame), 0);
        EXPECT_EQ(gradingSources.program, 41);
        EXPECT_EQ(gradingSources.grain, 42);
        EXPECT_EQ(gradingSources.leak, 43);
        EXPECT_EQ(gradingSources.dirt, 44);
        EXPECT_EQ(gradingSources.flareAmount, flare[i]) << "scene " << scenes[i];
        EXPECT_EQ(flareAmount(scenes[i]), flare[i]);
        EXPECT_EQ(gradingSources.grainMovesOn, i % 2);
    }
    EXPECT_EQ(calls[7].count, 2);
    EXPECT_FLOAT_EQ(calls[7].time, 21.0f);
    EXPECT_FLOAT_EQ(calls[7].var0, 1.5f);
    EXPECT_EQ(calls[6].count, 1);
    EXPECT_EQ(calls[8].count, 1);
    EXPECT_EQ(flareAmount(NAN), 1.0f);
    EXPECT_EQ(flareAmount(1e30f), 1.0f);
    res.progLomofi = slots[0];
    res.texGrain = slots[1];
    res.texLeak = slots[2];
    res.texDirt = slots[3];
    gradingSources = saved;
}

// The letterbox at real window sizes, read back from the window.
TEST(Letterbox, SixteenByNineHasZeroHeightBars)
{
    prepareFrame(1280, 720);
    drawLetterbox();
    std::vector<int> rows = blackPerRow(1280, 720);
    int black = 0;
    for (int n : rows) black += n;
    EXPECT_EQ(black, 0);
}

TEST(Letterbox, FourByThreeHasBarsOfAnEighthEach)
{
    prepareFrame(1024, 768);
    drawLetterbox();
    std::vector<int> rows = blackPerRow(1024, 768);
    EXPECT_EQ(rows[0], 1024);
    EXPECT_EQ(rows[95], 1024);
    EXPECT_EQ(rows[96], 0);
    EXPECT_EQ(rows[671], 0);
    EXPECT_EQ(rows[672], 1024);
    EXPECT_EQ(rows[767], 1024);
    std::vector<unsigned char> middle = readPixels(512, 384, 1, 1);
    EXPECT_TRUE(isRed(middle.data()));
}

TEST(Letterbox, WiderThanSixteenByNineHasNone)
{
    prepareFrame(1366, 768);
    drawLetterbox();
    std::vector<int> rows = blackPerRow(1366, 768);
    EXPECT_EQ(rows[0], 0);
    EXPECT_EQ(rows[767], 0);
    EXPECT_EQ(rows[384], 0);
}

TEST(Letterbox, BarsFollowAResizeAtOnce)
{
    prepareFrame(320, 180);
    drawLetterbox();
    EXPECT_EQ(blackPerRow(320, 180)[0], 0);

    // The window becomes 4:3: its size callback updates the camera aspect.
    prepareFrame(320, 240);
    setCameraAspect(320, 180);
    onWindowSize(testWindow(), 320, 240);
    glViewport(0, 0, 320, 240);
    drawLetterbox();
    std::vector<int> rows = blackPerRow(320, 240);
    EXPECT_EQ(rows[0], 320);
    EXPECT_EQ(rows[29], 320);
    EXPECT_EQ(rows[30], 0);
    EXPECT_EQ(rows[209], 0);
    EXPECT_EQ(rows[210], 320);
}

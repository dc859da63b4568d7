// Presenting frames: the present rule and its counters, the weighted average
// read back from real pixels, the clock's readings, window resizes and the
// camera aspect.
#include "app/present.h"
#include "app/transport.h"
#include "app/window.h"
#include "platform/platform.h"
#include "render/render.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <math.h>
#include <unistd.h>
#include <string>
#include <vector>

void enterOwnDirectory()
{
    static std::string dir;
    if (dir.empty()) {
        dir = makeTempDir("app");   // demo.log is written to the working directory
        ASSERT_EQ(chdir(dir.c_str()), 0);
    }
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        enterOwnDirectory();
        if (!testGLContext(64, 48)) GTEST_SKIP() << "no display";
        mainWindow = testWindow();
        resolveFrame();   // empty whatever an earlier case left in the sum
        presentState = PresentState{0, 0.0f, 0.0f, 0, -1.0f};
        delta = ClockNotRunning;
    }
    float delta;   // the clock's step handed to each present
    // Clears the back buffer: left half one colour, right half another.
    static void drawFrame(const unsigned char left[3], const unsigned char right[3], int width = 64, int height = 48)
    {
        glEnable(GL_SCISSOR_TEST);
        glScissor(0, 0, width / 2, height);
        glClearColor(left[0] / 255.0f, left[1] / 255.0f, left[2] / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glScissor(width / 2, 0, width - width / 2, height);
        glClearColor(right[0] / 255.0f, right[1] / 255.0f, right[2] / 255.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT);
        glDisable(GL_SCISSOR_TEST);
    }
    static void expectPixel(const std::vector<unsigned char>& px, int width, int x, int y, double r, double g, double b,
                            const char* what)
    {
        const unsigned char* p = &px[4 * ((size_t)y * width + x)];
        EXPECT_NEAR(p[0], r, 1.01) << what << " at " << x << "," << y;
        EXPECT_NEAR(p[1], g, 1.01) << what << " at " << x << "," << y;
        EXPECT_NEAR(p[2], b, 1.01) << what << " at " << x << "," << y;
    }
};

TEST_F(FrameTest, EveryCallBeforeTheFirstPollPresents)
{
    for (int i = 0; i < 4; i++) {
        EXPECT_EQ(presentFrame(delta), 1) << "call " << i;
        EXPECT_EQ(presentState.accumFrames, 0);
        EXPECT_EQ(presentState.accumWeight, 0.0f);
        EXPECT_EQ(presentState.rateClock, -1.0f);
    }
    EXPECT_EQ(presentState.framesPerPresent, 1.0f);   // set by the first present
}

TEST_F(FrameTest, WithOneFramePerPresentTheSecondFramePresents)
{
    presentState.framesPerPresent = 1.0f;
    delta = 0.0f;
    EXPECT_EQ(presentFrame(delta), 0);
    EXPECT_EQ(presentState.accumFrames, 1);
    EXPECT_FLOAT_EQ(presentState.accumWeight, 1.0f);
    EXPECT_EQ(presentFrame(delta), 1);
    EXPECT_EQ(presentState.accumFrames, 0);   // counters reset after a present
    EXPECT_EQ(presentState.accumWeight, 0.0f);
    EXPECT_EQ(presentFrame(delta), 0);
    EXPECT_FLOAT_EQ(presentState.accumWeight, 1.0f);   // the next frame weighs 1 again
}

TEST_F(FrameTest, TheRateIsMeasuredOverWindowsOfOneTwentyFourth)
{
    // As after start-up (one frame per present), frames 10 ms apart: the fifth
    // crosses 1/24 s with five frames counted and is smoothed in at 0.3/0.7.
    presentState.framesPerPresent = 1.0f;
    delta = 0.01f;
    for (int i = 0; i < 4; i++) presentFrame(delta);
    EXPECT_EQ(presentState.rateFrames, 4);
    EXPECT_EQ(presentState.framesPerPresent, 1.0f);
    presentFrame(delta);
    float expected = (float)(0.3f * 5.0 + 0.7f * 1.0);
    EXPECT_EQ(presentState.framesPerPresent, expected);
    EXPECT_EQ(presentState.rateFrames, 0);
    EXPECT_EQ(presentState.rateClock, 0.0f);
    delta = 0.05f;   // one slow frame closes the next window with a count of 1
    presentFrame(delta);
    EXPECT_EQ(presentState.framesPerPresent, (float)(0.3f * 1.0 + 0.7f * (double)expected));
    // Between measurements a present needs more frames than the smoothed count.
    delta = 0.0f;
    presentState.accumFrames = 0;
    presentState.accumWeight = 0.0f;
    presentState.framesPerPresent = 2.2f;
    EXPECT_EQ(presentFrame(delta), 0);
    EXPECT_EQ(presentFrame(delta), 0);
    EXPECT_EQ(presentFrame(delta), 1);
}

TEST_F(FrameTest, PresentShowsTheWeightedAverageOfTheFramesSinceTheLast)
{
    presentState.framesPerPresent = 100.0f;   // not due: only accumulate
    delta = 0.0f;
    const unsigned char red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
    const unsigned char green[3] = {0, 255, 0}, grey[3] = {90, 90, 90}, white[3] = {255, 255, 255};
    drawFrame(red, blue);
    EXPECT_EQ(presentFrame(delta), 0);   // weight 1
    drawFrame(green, white);
    EXPECT_EQ(presentFrame(delta), 0);   // weight 1/2
    drawFrame(grey, grey);
    EXPECT_EQ(presentFrame(delta), 0);   // weight 1/3
    EXPECT_FLOAT_EQ(presentState.accumWeight, 1.0f + 0.5f + (float)(1.0 / 3));

    drawFrame(white, white);   // what the resolve must overwrite
    ASSERT_EQ(resolveFrame(), 1);
    std::vector<unsigned char> px = readPixels(0, 0, 64, 48);
    const double sum = 1.0 + 0.5 + 1.0 / 3;
    expectPixel(px, 64, 5, 5, (255 + 30) / sum, (127.5 + 30) / sum, 30 / sum, "left");
    expectPixel(px, 64, 60, 40, (127.5 + 30) / sum, (127.5 + 30) / sum, (255 + 127.5 + 30) / sum, "right");
    EXPECT_EQ(presentState.accumFrames, 0);

    // After a resolve the sum is empty: one frame alone comes back unchanged.
    drawFrame(grey, red);
    presentFrame(delta);
    drawFrame(white, white);
    resolveFrame();
    px = readPixels(0, 0, 64, 48);
    expectPixel(px, 64, 10, 10, 90, 90, 90, "single left");
    expectPixel(px, 64, 50, 10, 255, 0, 0, "single right");
}

TEST_F(FrameTest, ThePresentPathLeavesTheEngineGLStateAlone)
{
    GLuint program = glCreateProgram();   // any name: the state only has to come back
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    glViewport(3, 4, 20, 30);
    presentState.framesPerPresent = 1.0f;
    delta = 0.0f;
    presentFrame(delta);
    presentFrame(delta);   // accumulated, then resolved and swapped
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint v[4] = {0, 0, 0, 0};
    glGetIntegerv(GL_BLEND_SRC_RGB, v);
    EXPECT_EQ(v[0], GL_SRC_ALPHA);
    glGetIntegerv(GL_BLEND_DST_RGB, v);
    EXPECT_EQ(v[0], GL_ONE);
    glGetIntegerv(GL_VIEWPORT, v);
    EXPECT_EQ(v[0], 3);
    EXPECT_EQ(v[3], 30);
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, v);
    EXPECT_EQ(v[0], 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glDeleteProgram(program);
    glViewport(0, 0, 64, 48);
}

TEST_F(FrameTest, TheSumFollowsTheWindowSize)
{
    presentState.framesPerPresent = 100.0f;
    delta = 0.0f;
    const unsigned char red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
    drawFrame(red, red);
    presentFrame(delta);
    ASSERT_EQ(testGLContext(96, 40), 1);
    int fw = 0, fh = 0;
    // The engine learns the new size from the window's events, as the loop's
    // poll before the next frame delivers them.
    for (int i = 0; i < 100 && !(windowFramebufferSize(&fw, &fh) && fw == 96 && fh == 40); i++)
        glfwWaitEventsTimeout(0.01);
    ASSERT_EQ(fw, 96);
    ASSERT_EQ(fh, 40);
    glfwSwapBuffers(mainWindow);   // llvmpipe takes a new window size at the next swap
    setAccumulationSize(96, 40);   // what the loop does once the new size has settled
    drawFrame(blue, red, 96, 40);
    presentFrame(delta);   // the old size's sum is dropped: this frame starts afresh
    EXPECT_EQ(presentState.accumFrames, 1);
    resolveFrame();
    std::vector<unsigned char> px = readPixels(0, 0, 96, 40);
    expectPixel(px, 96, 2, 2, 0, 0, 255, "resized left");
    expectPixel(px, 96, 93, 37, 255, 0, 0, "resized right corner");
    ASSERT_EQ(testGLContext(64, 48), 1);
    for (int i = 0; i < 100 && !(windowFramebufferSize(&fw, &fh) && fw == 64 && fh == 48); i++)
        glfwWaitEventsTimeout(0.01);
    setAccumulationSize(64, 48);
}

TEST_F(FrameTest, TheClockReadsTheFixedTimeElseTheTickCounter)
{
    fixShowClock(1, 2.5f);
    EXPECT_EQ(readShowClock().time, 2.5f);
    fixShowClock(1, 2.75f);
    ClockReading reading = readShowClock();
    EXPECT_EQ(reading.time, 2.75f);
    EXPECT_FLOAT_EQ(reading.delta, 0.25f);
    fixShowClock(0, 0.0f);

    // On the tick counter: a start 30 ms before "now", even across the wrap.
    startShowClock(0.03f);
    reading = readShowClock();
    EXPECT_GE(reading.time, 0.03f);
    EXPECT_LT(reading.time, 5.0f);
}

TEST_F(FrameTest, ResizeSetsViewportAndAspectAndAZeroSizeKeepsIt)
{
    camera.dirty = 0;
    onWindowSize(mainWindow, 200, 100);
    EXPECT_EQ(windowWidth, 200);
    EXPECT_EQ(windowHeight, 100);
    EXPECT_EQ(camera.aspect, 0.5f);
    EXPECT_EQ(camera.dirty, 1);
    GLint v[4];
    glGetIntegerv(GL_VIEWPORT, v);
    EXPECT_EQ(v[2], 200);
    EXPECT_EQ(v[3], 100);

    onWindowSize(mainWindow, 0, 0);   // minimised
    EXPECT_EQ(windowWidth, 0);
    EXPECT_EQ(camera.aspect, 0.5f);
    EXPECT_TRUE(std::isfinite(camera.aspect));
    onWindowSize(mainWindow, 0, 300);
    EXPECT_EQ(camera.aspect, 0.5f);
    onWindowSize(mainWindow, 100, 300);
    EXPECT_EQ(camera.aspect, 3.0f);
    onWindowSize(mainWindow, 64, 48);
}

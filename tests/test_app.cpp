// The application frame: the present rule and its counters, the weighted
// average read back from real pixels, the clock across the tick wrap, the
// poll step, window resizes and the camera aspect, the log's head, and the
// command line.
#include "app/app.h"
#include "platform/platform.h"
#include "render/render.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <math.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

namespace {

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
        frameDelta = -1.0f;
    }
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
    static void expectPixel(const std::vector<unsigned char>& px, int width, int x, int y,
                            double r, double g, double b, const char* what)
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
        EXPECT_EQ(presentFrame(), 1) << "call " << i;
        EXPECT_EQ(presentState.accumFrames, 0);
        EXPECT_EQ(presentState.accumWeight, 0.0f);
        EXPECT_EQ(presentState.rateClock, -1.0f);
    }
    EXPECT_EQ(presentState.framesPerPresent, 1.0f);   // set by the first present
}

TEST_F(FrameTest, WithOneFramePerPresentTheSecondFramePresents)
{
    presentState.framesPerPresent = 1.0f;
    frameDelta = 0.0f;
    EXPECT_EQ(presentFrame(), 0);
    EXPECT_EQ(presentState.accumFrames, 1);
    EXPECT_FLOAT_EQ(presentState.accumWeight, 1.0f);
    EXPECT_EQ(presentFrame(), 1);
    EXPECT_EQ(presentState.accumFrames, 0);   // counters reset after a present
    EXPECT_EQ(presentState.accumWeight, 0.0f);
    EXPECT_EQ(presentFrame(), 0);
    EXPECT_FLOAT_EQ(presentState.accumWeight, 1.0f);   // the next frame weighs 1 again
}

TEST_F(FrameTest, TheRateIsMeasuredOverWindowsOfOneTwentyFourth)
{
    // As after start-up (one frame per present), frames 10 ms apart: the fifth
    // crosses 1/24 s with five frames counted and is smoothed in at 0.3/0.7.
    presentState.framesPerPresent = 1.0f;
    frameDelta = 0.01f;
    for (int i = 0; i < 4; i++) presentFrame();
    EXPECT_EQ(presentState.rateFrames, 4);
    EXPECT_EQ(presentState.framesPerPresent, 1.0f);
    presentFrame();
    float expected = (float)(0.3f * 5.0 + 0.7f * 1.0);
    EXPECT_EQ(presentState.framesPerPresent, expected);
    EXPECT_EQ(presentState.rateFrames, 0);
    EXPECT_EQ(presentState.rateClock, 0.0f);
    frameDelta = 0.05f;   // one slow frame closes the next window with a count of 1
    presentFrame();
    EXPECT_EQ(presentState.framesPerPresent, (float)(0.3f * 1.0 + 0.7f * (double)expected));
    // Between measurements a present needs more frames than the smoothed count.
    frameDelta = 0.0f;
    presentState.accumFrames = 0;
    presentState.accumWeight = 0.0f;
    presentState.framesPerPresent = 2.2f;
    EXPECT_EQ(presentFrame(), 0);
    EXPECT_EQ(presentFrame(), 0);
    EXPECT_EQ(presentFrame(), 1);
}

TEST_F(FrameTest, PresentShowsTheWeightedAverageOfTheFramesSinceTheLast)
{
    presentState.framesPerPresent = 100.0f;   // not due: only accumulate
    frameDelta = 0.0f;
    const unsigned char red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
    const unsigned char green[3] = {0, 255, 0}, grey[3] = {90, 90, 90}, white[3] = {255, 255, 255};
    drawFrame(red, blue);
    EXPECT_EQ(presentFrame(), 0);   // weight 1
    drawFrame(green, white);
    EXPECT_EQ(presentFrame(), 0);   // weight 1/2
    drawFrame(grey, grey);
    EXPECT_EQ(presentFrame(), 0);   // weight 1/3
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
    presentFrame();
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
    frameDelta = 0.0f;
    presentFrame();
    presentFrame();   // accumulated, then resolved and swapped
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
    frameDelta = 0.0f;
    const unsigned char red[3] = {255, 0, 0}, blue[3] = {0, 0, 255};
    drawFrame(red, red);
    presentFrame();
    ASSERT_EQ(testGLContext(96, 40), 1);
    int fw = 0, fh = 0;
    glfwGetFramebufferSize(mainWindow, &fw, &fh);
    ASSERT_EQ(fw, 96);
    ASSERT_EQ(fh, 40);
    glfwSwapBuffers(mainWindow);   // llvmpipe takes a new window size at the next swap
    drawFrame(blue, red, 96, 40);
    presentFrame();   // the old size's sum is dropped: this frame starts afresh
    EXPECT_EQ(presentState.accumFrames, 1);
    resolveFrame();
    std::vector<unsigned char> px = readPixels(0, 0, 96, 40);
    expectPixel(px, 96, 2, 2, 0, 0, 255, "resized left");
    expectPixel(px, 96, 93, 37, 255, 0, 0, "resized right corner");
    ASSERT_EQ(testGLContext(64, 48), 1);
}

TEST(Clock, ElapsedTimeSurvivesTheTickCounterWrap)
{
    EXPECT_FLOAT_EQ(ticksToSeconds(0x00000010u, 0xFFFFFFF0u), 0.032f);
    EXPECT_FLOAT_EQ(ticksToSeconds(1500u, 0u), 1.5f);
    EXPECT_FLOAT_EQ(ticksToSeconds(0xFFFFFFFFu, 0xFFFFFFFFu), 0.0f);
}

// glibc marks a chunk that has a mapping of its own with bit 1 (IS_MMAPPED) of
// the size word just before the block.
static bool mappedOnItsOwn(void* block) { return (((const size_t*)block)[-1] & 2u) != 0; }

// Once pinned, a block that the heap cannot hold is mapped on its own even
// after a larger mapped block was freed; glibc's default would have raised its
// threshold to that block's size and grown the heap for the next one instead.
TEST(Memory, LargeBlocksDoNotGrowTheHeapAfterALargerOneWasFreed)
{
    if (!allocationCountingAvailable()) GTEST_SKIP() << "the sanitizer keeps its own allocator";
    ASSERT_EQ(pinMmapThreshold(), 1);
    // volatile: the compiler may not drop a malloc and free it can see through
    void* volatile big = malloc(24u << 20);
    ASSERT_NE(big, nullptr);
    EXPECT_TRUE(mappedOnItsOwn(big));
    free(big);
    // More than all free heap space together, and below the 24 MiB the
    // default would have raised its threshold to.
    size_t heapFree = mallinfo2().fordblks;
    if (heapFree > (16u << 20)) GTEST_SKIP() << "the heap holds " << heapFree << " free bytes";
    void* volatile block = malloc(heapFree + (4u << 20));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(mappedOnItsOwn(block)) << "the heap grew for it";
    free(block);
}

TEST_F(FrameTest, PollTakesTheFixedClockAndTheCloseFlag)
{
    useFixedClock = 1;
    fixedClockTime = 2.5f;
    EXPECT_EQ(pollFrame(), 0);
    EXPECT_EQ(frameTime, 2.5f);
    fixedClockTime = 2.75f;
    pollFrame();
    EXPECT_EQ(frameTime, 2.75f);
    EXPECT_FLOAT_EQ(frameDelta, 0.25f);
    glfwSetWindowShouldClose(mainWindow, 1);
    EXPECT_NE(pollFrame(), 0);
    glfwSetWindowShouldClose(mainWindow, 0);
    useFixedClock = 0;

    // On the tick counter: a start 30 ms before "now", even across the wrap.
    startTick = 0;
    startTick = startTick - 30u + tickCount();
    pollFrame();
    EXPECT_GE(frameTime, 0.03f);
    EXPECT_LT(frameTime, 5.0f);
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

TEST(Log, FreshLogHoldsTheLogoThenTheTitleBlock)
{
    enterOwnDirectory();
    FILE* old = fopen("demo.log", "w");
    ASSERT_TRUE(old);
    fputs("left over from an earlier run\n", old);
    fclose(old);
    startLog();
    std::string text = readFile("demo.log");
    std::vector<std::string> lines;
    size_t at = 0;
    for (size_t end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    ASSERT_EQ(lines.size(), 11u) << text;
    for (int i = 0; i < 5; i++) EXPECT_GE(lines[i].size(), 20u) << "logo line " << i;
    EXPECT_EQ(lines[5], "");
    EXPECT_EQ(lines[6], "                KESTREL Engine V.0.1");
    EXPECT_EQ(lines[7], std::string(52, '-'));
    EXPECT_EQ(lines[8].size(), 52u);
    EXPECT_EQ(lines[8].rfind("by the Kestrel developers", 0), 0u);
    EXPECT_EQ(lines[8].substr(40), "Warning:WIP!");
    EXPECT_EQ(lines[9], std::string(52, '-'));
    EXPECT_EQ(lines[10], "");

    EXPECT_EQ(logMessage("value %d\n", 7), 1);
    EXPECT_EQ(readFile("demo.log"), text + "value 7\n");   // on disk when the call returns
}

TEST(Log, AnUnopenableLogStillReachesStderr)
{
    enterOwnDirectory();
    std::string dir = makeTempDir("nolog");
    char cwd[4096];
    ASSERT_TRUE(getcwd(cwd, sizeof cwd));
    ASSERT_EQ(chdir(dir.c_str()), 0);
    ASSERT_EQ(mkdir("demo.log", 0755), 0);   // a directory: no file can be opened there
    testing::internal::CaptureStderr();
    int result = logMessage("lost %s\n", "line");
    startLog();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(chdir(cwd), 0);
    EXPECT_EQ(result, 0);
    EXPECT_EQ(err.rfind("ERROR: could not open GL_LOG_FILE demo.log file for appending\nlost line\n", 0), 0u) << err;
    EXPECT_NE(err.find("KESTREL Engine V.0.1"), std::string::npos);
}

// Runs parseCommandLine on the words; returns its result and fills err/out.
int parse(std::vector<const char*> words, std::string* err = nullptr, std::string* out = nullptr)
{
    words.insert(words.begin(), "kestrel");
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    int result = parseCommandLine((int)words.size(), const_cast<char**>(words.data()));
    std::string o = testing::internal::GetCapturedStdout();
    std::string e = testing::internal::GetCapturedStderr();
    if (err) *err = e;
    if (out) *out = o;
    return result;
}

TEST(CommandLine, ModeAndFullscreen)
{
    EXPECT_EQ(parse({}), 1);
    EXPECT_EQ(runOptions.width, 0);   // no mode: the dialog asks
    EXPECT_EQ(parse({"--mode", "640x360"}), 1);
    EXPECT_EQ(runOptions.width, 640);
    EXPECT_EQ(runOptions.height, 360);
    EXPECT_EQ(runOptions.fullscreen, 0);
    EXPECT_EQ(parse({"--fullscreen", "--mode", "1920x1080"}), 1);
    EXPECT_EQ(runOptions.fullscreen, 1);
    EXPECT_EQ(runOptions.width, 1920);
    EXPECT_EQ(parse({"--mode", "800x600"}), 1);
    EXPECT_EQ(runOptions.fullscreen, 0);   // nothing carries over from an earlier parse
}

TEST(CommandLine, BadInputGetsAMessageTheUsageAndMinusOne)
{
    const std::vector<std::vector<const char*>> bad = {
        {"--mode"}, {"--mode", "640"}, {"--mode", "640x"}, {"--mode", "x360"}, {"--mode", "0x360"},
        {"--mode", "640x0"}, {"--mode", "-640x360"}, {"--mode", "640x360x2"}, {"--mode", "640X360"},
        {"--mode", "99999x360"}, {"--mode", "640x 360"}, {"--mode", "99999999999999999999x1"},
        {"--bogus"}, {"640x360"}, {"-h"}, {"--fullscreen=1"},
    };
    for (const auto& words : bad) {
        std::string err, out;
        EXPECT_EQ(parse(words, &err, &out), -1) << words[0] << " " << (words.size() > 1 ? words[1] : "");
        EXPECT_EQ(err.rfind("kestrel: ", 0), 0u) << err;
        EXPECT_NE(err.find("usage: kestrel"), std::string::npos);
        EXPECT_NE(err.find("--mode WxH"), std::string::npos);
        EXPECT_EQ(out, "");
    }
    std::string err;
    parse({"--bogus"}, &err);
    EXPECT_NE(err.find("unknown option '--bogus'"), std::string::npos) << err;
    parse({"--mode", "big"}, &err);
    EXPECT_NE(err.find("--mode"), std::string::npos);
    EXPECT_NE(err.find("'big'"), std::string::npos) << err;
}

TEST(CommandLine, HelpAndVersionEndTheProgramWithZero)
{
    std::string err, out;
    EXPECT_EQ(parse({"--help"}, &err, &out), 0);
    EXPECT_NE(out.find("usage: kestrel"), std::string::npos);
    EXPECT_NE(out.find("--fullscreen"), std::string::npos);
    EXPECT_EQ(err, "");
    EXPECT_EQ(parse({"--version"}, &err, &out), 0);
    EXPECT_EQ(out.rfind("kestrel ", 0), 0u);
    EXPECT_EQ(parse({"--help", "--bogus"}, &err, &out), -1);   // a bad option wins
}

}  // namespace

// The whole program started in-process at a small size with --gl-debug: the
// show survives a window minimised to zero size (the size callback GLFW sends
// on desktops that report it) without GL errors and with its aspect kept and
// restored, the GL error accounting counts and names a real error, and the
// one-frame step goes on until the show's end or a close.
#include "app/clock.h"
#include "app/loop.h"
#include "app/options.h"
#include "app/preflight.h"
#include "app/present.h"
#include "app/window.h"
#include "platform/platform.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <unistd.h>

static std::string logText() { return readFile("demo.log"); }

// Starts the demo once for the whole suite in its own directory, whose data/
// links the build's data. Returns 1 when the show is up.
static int startShow(void)
{
    static int started = -1;
    if (started >= 0) return started;
    started = 0;
    if (!getenv("DISPLAY")) return 0;
    std::string dir = makeTempDir("hardening");
    if (chdir(dir.c_str()) != 0) return 0;
    if (symlink(KESTREL_BINARY_DIR "/data", "data") != 0) return 0;
    char arg0[] = "kestrel", mode[] = "--mode", size[] = "160x90", debug[] = "--gl-debug";
    char* argv[] = {arg0, mode, size, debug};
    if (parseCommandLine(4, argv) != 1 || prepareRun() != -1) return 0;
    started = startDemo();
    return started;
}

// One frame of the show at a fixed time, drawn and handed to presentation as
// the main loop does.
static void renderAt(float seconds)
{
    fixShowClock(1, seconds);
    ShowFrame frame = showFrameAt(seconds, 1.0f / 30.0f, 1);
    drawShowFrame(&frame);
    presentFrame(frame.delta);
    checkGLErrors();
}

TEST(Hardening, ZeroSizedWindowKeepsTheAspectAndRaisesNoGLError)
{
    if (!startShow()) GTEST_SKIP() << "no display or the show did not start";
    long before = glErrorCount();
    for (float t : {12.0f, 70.0f, 112.0f}) renderAt(t);
    float aspect = camera.aspect;
    EXPECT_NEAR(aspect, 90.0f / 160.0f, 1e-6f);

    onWindowSize(mainWindow, 0, 0);   // minimised
    for (float t : {12.5f, 92.0f, 150.0f, 175.0f}) renderAt(t);
    EXPECT_EQ(camera.aspect, aspect);   // a zero size keeps the aspect it had
    EXPECT_TRUE(isfinite(camera.aspect));

    onWindowSize(mainWindow, 90, 160);   // a tall shape, then 16:9 again
    renderAt(113.0f);
    EXPECT_NEAR(camera.aspect, 160.0f / 90.0f, 1e-5f);
    onWindowSize(mainWindow, 160, 90);
    renderAt(114.0f);
    EXPECT_NEAR(camera.aspect, aspect, 1e-6f);
    EXPECT_EQ(glErrorCount(), before) << logText();
}

TEST(Hardening, GLErrorsAreCountedAndLoggedWithTheirPhase)
{
    if (!startShow()) GTEST_SKIP() << "no display or the show did not start";
    ASSERT_NE(logText().find("GL debug: errors are "), std::string::npos);
    long before = glErrorCount();
    setGLDebugPhase("probe", 3);
    glEnable(0x7fff);   // not a capability: GL_INVALID_ENUM
    checkGLErrors();
    EXPECT_EQ(glErrorCount(), before + 1);
    std::string text = logText();
    size_t line = text.find("GL error " + std::to_string(before + 1) + " (");
    ASSERT_NE(line, std::string::npos) << text;
    std::string entry = text.substr(line, text.find('\n', line) - line);
    EXPECT_NE(entry.find("during probe 3"), std::string::npos) << entry;
    EXPECT_NE(entry.find("INVALID_ENUM"), std::string::npos) << entry;

    // Reported once: nothing is left for the next check to count again.
    EXPECT_EQ(checkGLErrors(), 0);
    EXPECT_EQ(glErrorCount(), before + 1);
    logGLDebugSummary();
    EXPECT_NE(logText().find("GL debug: " + std::to_string(before + 1) + " GL errors\n"), std::string::npos);
}

TEST(Hardening, TheOneFrameStepGoesOnUntilTheShowsEndOrAClose)
{
    if (!startShow()) GTEST_SKIP() << "no display or the show did not start";
    const float end = (float)knownShowLength();
    ASSERT_GT(end, 1.0f);
    // Each step draws at the clock's previous reading, then reads it again.
    fixShowClock(1, 12.0f);
    EXPECT_EQ(stepShowFrame(), 1);
    glfwSetWindowShouldClose(mainWindow, 1);
    EXPECT_EQ(stepShowFrame(), 0);   // the window asked to close
    glfwSetWindowShouldClose(mainWindow, 0);

    fixShowClock(1, end - 1.0f / 30.0f);
    EXPECT_EQ(stepShowFrame(), 1);   // draws 12 s, reads a frame before the end
    EXPECT_EQ(stepShowFrame(), 1);   // draws it: the show goes on
    fixShowClock(1, end);
    EXPECT_EQ(stepShowFrame(), 1);   // draws the frame before the end again, reads the end
    EXPECT_EQ(stepShowFrame(), 0);   // draws the end: over
    fixShowClock(0, 0.0f);
}

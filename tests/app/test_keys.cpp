// The keyboard's tweak-camera mode: entering and leaving, the messages in the
// log, step sizes with Shift and Ctrl, clip factors and the keys it ignores.
#include "app/app.h"
#include "render/render.h"
#include "support/gl_context.h"
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <string>

static const char controls[] =
    "Entering tweak cam mode. Controls:\n\tQWEASD = move\n\tUIOJKL = turn\n"
    "\tCTRL\\SHIFT = speed\n\tENTER = record\n\tTAB = toggle tweak mode\n";
static const char exiting[] = "Exiting tweak cam mode.\n";

// What the log gained since the mark.
static size_t logMark(void) { return readFile("demo.log").size(); }
static std::string logSince(size_t mark)
{
    std::string all = readFile("demo.log");
    return mark <= all.size() ? all.substr(mark) : all;
}

static void resetCamera(void)
{
    tweakMode = -1;
    camera = Camera();
    camera.near = 1.0f;
    camera.far = 1000.0f;
    camera.fov = 60.0f;
    camera.aspect = 0.5625f;
    tweakCamera = Camera();
}

static void press(int key, int mods = 0) { onKey(nullptr, key, 0, GLFW_PRESS, mods); }

TEST(TweakCamera, MovementKeyBeforeTabEntersSilently)
{
    resetCamera();
    size_t mark = logMark();
    press(GLFW_KEY_W);
    EXPECT_FLOAT_EQ(camera.z, 1.0f);   // forward is +z with all angles 0
    EXPECT_FLOAT_EQ(camera.x, 0.0f);
    EXPECT_EQ(tweakMode, 1);
    EXPECT_EQ(camera.dirty, 1);
    EXPECT_FLOAT_EQ(tweakCamera.z, 1.0f);
    EXPECT_EQ(logSince(mark), "");

    // Releases are ignored, repeats step again.
    onKey(nullptr, GLFW_KEY_W, 0, GLFW_RELEASE, 0);
    EXPECT_FLOAT_EQ(camera.z, 1.0f);
    onKey(nullptr, GLFW_KEY_D, 0, GLFW_REPEAT, 0);
    onKey(nullptr, GLFW_KEY_D, 0, GLFW_REPEAT, 0);
    EXPECT_FLOAT_EQ(camera.x, 2.0f);
    EXPECT_FLOAT_EQ(tweakCamera.x, 2.0f);
}

TEST(TweakCamera, DirectionsFollowTheCameraAngles)
{
    resetCamera();
    camera.yaw = 1.5708f;   // a quarter turn
    press(GLFW_KEY_W);
    EXPECT_NEAR(camera.x, -1.0f, 1e-4);
    EXPECT_NEAR(camera.z, 0.0f, 1e-4);
    press(GLFW_KEY_D);      // right turned with it
    EXPECT_NEAR(camera.x, -1.0f, 1e-4);
    EXPECT_NEAR(camera.z, 1.0f, 1e-4);
    press(GLFW_KEY_E);      // up unaffected by yaw
    EXPECT_NEAR(camera.y, 1.0f, 1e-4);
    press(GLFW_KEY_Q);
    press(GLFW_KEY_S);
    press(GLFW_KEY_A);
    EXPECT_NEAR(camera.x, 0.0f, 1e-4);
    EXPECT_NEAR(camera.y, 0.0f, 1e-4);
    EXPECT_NEAR(camera.z, 0.0f, 1e-4);
}

TEST(TweakCamera, TabThreeTimesTogglesWithMessagesAndKeepsTheTweakedView)
{
    resetCamera();
    camera.x = 5.0f;
    size_t mark = logMark();
    press(GLFW_KEY_TAB);
    EXPECT_EQ(logSince(mark), controls);
    EXPECT_EQ(tweakMode, 1);
    EXPECT_FLOAT_EQ(tweakCamera.x, 5.0f);

    press(GLFW_KEY_D);      // the author moves to x = 6
    mark = logMark();
    press(GLFW_KEY_TAB);
    EXPECT_EQ(logSince(mark), exiting);
    EXPECT_EQ(tweakMode, 0);
    EXPECT_FLOAT_EQ(camera.x, 6.0f);

    // The scene takes the camera back while the mode is left.
    setCamera(100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 10.0f, 60.0f);
    EXPECT_FLOAT_EQ(camera.x, 100.0f);
    camera.dirty = 0;
    mark = logMark();
    press(GLFW_KEY_TAB);
    EXPECT_EQ(logSince(mark), controls);
    EXPECT_EQ(tweakMode, 1);
    EXPECT_FLOAT_EQ(camera.x, 6.0f);
    EXPECT_EQ(camera.dirty, 1);
    // While active, the scene's camera calls are ignored.
    setCamera(100.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 10.0f, 60.0f);
    EXPECT_FLOAT_EQ(camera.x, 6.0f);
}

TEST(TweakCamera, ShiftAndCtrlStepSizes)
{
    resetCamera();
    press(GLFW_KEY_W, GLFW_MOD_SHIFT);
    EXPECT_NEAR(camera.z, 0.1f, 1e-6);
    press(GLFW_KEY_W, GLFW_MOD_CONTROL);
    EXPECT_NEAR(camera.z, 10.1f, 1e-5);
    press(GLFW_KEY_W, GLFW_MOD_SHIFT | GLFW_MOD_CONTROL);
    EXPECT_NEAR(camera.z, 11.1f, 1e-5);

    press(GLFW_KEY_I);
    EXPECT_FLOAT_EQ(camera.pitch, 0.1f);
    press(GLFW_KEY_J, GLFW_MOD_SHIFT);
    EXPECT_NEAR(camera.yaw, 0.01f, 1e-7);
    press(GLFW_KEY_U, GLFW_MOD_CONTROL);
    EXPECT_NEAR(camera.roll, -1.0f, 1e-6);
    press(GLFW_KEY_K);
    press(GLFW_KEY_L, GLFW_MOD_SHIFT);
    press(GLFW_KEY_O, GLFW_MOD_CONTROL);
    EXPECT_NEAR(camera.pitch, 0.0f, 1e-6);
    EXPECT_NEAR(camera.yaw, 0.0f, 1e-6);
    EXPECT_NEAR(camera.roll, 0.0f, 1e-6);
}

TEST(TweakCamera, ClipKeysScaleByOneAndAHalfIgnoringCtrl)
{
    resetCamera();
    press(GLFW_KEY_EQUAL);
    EXPECT_FLOAT_EQ(camera.far, 1500.0f);
    press(GLFW_KEY_EQUAL, GLFW_MOD_SHIFT);
    EXPECT_FLOAT_EQ(camera.far, 1000.0f);
    press(GLFW_KEY_EQUAL, GLFW_MOD_SHIFT | GLFW_MOD_CONTROL);
    EXPECT_FLOAT_EQ(camera.far, 1000.0f / 1.5f);
    press(GLFW_KEY_MINUS, GLFW_MOD_CONTROL);
    EXPECT_FLOAT_EQ(camera.near, 1.5f);
    press(GLFW_KEY_MINUS, GLFW_MOD_SHIFT);
    EXPECT_FLOAT_EQ(camera.near, 1.0f);
    EXPECT_EQ(tweakMode, 1);
    EXPECT_FLOAT_EQ(tweakCamera.near, 1.0f);
}

TEST(TweakCamera, AltTabAndUnknownKeysChangeNothing)
{
    resetCamera();
    camera.x = 3.0f;
    size_t mark = logMark();
    press(GLFW_KEY_TAB, GLFW_MOD_ALT);
    press(GLFW_KEY_ENTER);
    press(GLFW_KEY_Z);
    EXPECT_EQ(tweakMode, -1);
    EXPECT_FLOAT_EQ(camera.x, 3.0f);
    EXPECT_EQ(logSince(mark), "");

    press(GLFW_KEY_TAB);
    camera.dirty = 0;
    press(GLFW_KEY_TAB, GLFW_MOD_ALT | GLFW_MOD_SHIFT);
    EXPECT_EQ(tweakMode, 1);
    EXPECT_EQ(camera.dirty, 0);
}

// The keyboard's tweak-camera mode: entering and leaving, the messages in the
// log, step sizes with Shift and Ctrl, clip factors and the keys it ignores;
// Enter's camera key lines: their numbers, where they go and when.
#include "app/keyboard.h"
#include "render/render.h"
#include "show/show.h"
#include "support/gl_context.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdio.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static const char controls[] = "Entering tweak cam mode. Controls:\n\tQWEASD = move\n\tUIOJKL = turn\n"
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

// The frame on screen that Enter records from: the loop hands it over after
// the keys of a poll came in.
static ShowFrame shownFrame(float time, float scene)
{
    ShowFrame frame = {time, 1.0f / 30.0f, 1, {}};
    frame.tracks[TrackScene] = scene;
    return frame;
}

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
    press(GLFW_KEY_D);   // right turned with it
    EXPECT_NEAR(camera.x, -1.0f, 1e-4);
    EXPECT_NEAR(camera.z, 1.0f, 1e-4);
    press(GLFW_KEY_E);   // up unaffected by yaw
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

    press(GLFW_KEY_D);   // the author moves to x = 6
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
    press(GLFW_KEY_F5);
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

// ---- Enter: camera key lines --------------------------------------------------------

static std::string keyLine(const Camera& cam, int scene = 4, float time = 61.25f)
{
    char line[512];
    int n = formatCameraKey(&cam, scene, time, line, (int)sizeof line);
    EXPECT_EQ(n, (int)strlen(line));
    return line;
}

static Camera cameraAt(float x, float y, float z, float yaw, float pitch, float roll, float near, float far, float fov)
{
    Camera cam = Camera();
    cam.x = x;
    cam.y = y;
    cam.z = z;
    cam.yaw = yaw;
    cam.pitch = pitch;
    cam.roll = roll;
    cam.near = near;
    cam.far = far;
    cam.fov = fov;
    return cam;
}

TEST(CameraKeyLine, WritesDegreesAndTheFewestDigitsAKeyTableUses)
{
    // A quarter turn of yaw (3.1416 / 2 rad) is 90 degrees, an eighth of pitch -45.
    Camera cam = cameraAt(12.5f, 3.0f, -40.0f, 3.1416f / 2, -3.1416f / 4, 0.0f, 0.1f, 500.0f, 70.0f);
    EXPECT_EQ(keyLine(cam), "{12.5f, 3.0f, -40.0f, 90.0f, -45.0f, 0.0f, 0.1f, 500.0f, 70.0f},  // scene 4 at 61.250 s");
    // Numbers as the scenes' tables hold them; whole numbers written out, tiny ones
    // in exponent form.
    cam = cameraAt(-97.0304f, 1.94922f, 229.176f, 3.1416f, 0.0f, -3.1416f / 2, 0.00001f, 1e10f, 52.0f);
    EXPECT_EQ(keyLine(cam, 9, 0.0f),
              "{-97.0304f, 1.94922f, 229.176f, 180.0f, 0.0f, -90.0f, 1e-05f, 10000000000.0f, 52.0f},"
              "  // scene 9 at 0.000 s");
    cam = cameraAt(1000.0f, -1500.0f, 1e20f, 0.0f, 0.0f, 0.0f, 0.9f, 15000.0f, 40.0f);
    EXPECT_EQ(keyLine(cam, 2, 7.5f),
              "{1000.0f, -1500.0f, 1e+20f, 0.0f, 0.0f, 0.0f, 0.9f, 15000.0f, 40.0f},  // scene 2 at 7.500 s");
    // Values that need nine or eight digits get them (at 1.2e8 floats lie 8 apart:
    // 123456790 would read back as the same float, but a whole number is written out).
    cam = cameraAt(100.300026f, 0.33333334f, 123456792.0f, 0.0f, 0.0f, 0.0f, 1.0f, 2.0f, 3.0f);
    EXPECT_EQ(keyLine(cam, 1, 2.0006f),
              "{100.300026f, 0.33333334f, 123456792.0f, 0.0f, 0.0f, 0.0f, 1.0f, 2.0f, 3.0f},  // scene 1 at 2.001 s");
}

TEST(CameraKeyLine, ReadsBackAsTheSameCameraThroughDeg2Rad)
{
    const float angles[] = {0.1f, -1.2345678f, 2.9f, 6.2f, -0.0001f, 1.5708f};
    for (float a : angles) {
        Camera cam = cameraAt(-238.866f, 68.8677f, 794.605f, a, -a / 3, a / 7, 0.25f, 15000.0f, 53.0f);
        std::string line = keyLine(cam);
        float v[9];
        ASSERT_EQ(sscanf(line.c_str(), "{%ff, %ff, %ff, %ff, %ff, %ff, %ff, %ff, %ff}", &v[0], &v[1], &v[2], &v[3],
                         &v[4], &v[5], &v[6], &v[7], &v[8]),
                  9)
            << line;
        EXPECT_EQ(v[0], cam.x) << line;
        EXPECT_EQ(v[1], cam.y) << line;
        EXPECT_EQ(v[2], cam.z) << line;
        EXPECT_FLOAT_EQ(DEG2RAD(v[3]), cam.yaw) << line;
        EXPECT_FLOAT_EQ(DEG2RAD(v[4]), cam.pitch) << line;
        EXPECT_FLOAT_EQ(DEG2RAD(v[5]), cam.roll) << line;
        EXPECT_EQ(v[6], cam.near) << line;
        EXPECT_EQ(v[7], cam.far) << line;
        EXPECT_EQ(v[8], cam.fov) << line;
        // setCamera takes degrees: the line puts the camera back where it was.
        tweakMode = -1;
        setCamera(v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7], v[8]);
        EXPECT_FLOAT_EQ(camera.yaw, cam.yaw) << line;
        EXPECT_FLOAT_EQ(camera.pitch, cam.pitch) << line;
        EXPECT_FLOAT_EQ(camera.roll, cam.roll) << line;
    }
}

TEST(CameraKeyLine, RefusesWhatDoesNotFitOrIsNotANumber)
{
    Camera cam = cameraAt(1.0f, 2.0f, 3.0f, 0.0f, 0.0f, 0.0f, 1.0f, 100.0f, 60.0f);
    std::string full = keyLine(cam);
    char out[512];
    EXPECT_EQ(formatCameraKey(&cam, 4, 61.25f, out, (int)full.size() + 1), (int)full.size());
    EXPECT_EQ(std::string(out), full);
    for (int size : {(int)full.size(), (int)full.size() - 12, 3, 1}) {
        memset(out, 'x', sizeof out);
        EXPECT_EQ(formatCameraKey(&cam, 4, 61.25f, out, size), 0) << size;
        EXPECT_EQ(out[0], '\0') << size;
        EXPECT_EQ(out[size], 'x') << size;   // nothing written past the buffer
    }
    EXPECT_EQ(formatCameraKey(&cam, 4, 61.25f, out, 0), 0);
    EXPECT_EQ(formatCameraKey(&cam, 4, 61.25f, nullptr, 64), 0);
    EXPECT_EQ(formatCameraKey(nullptr, 4, 61.25f, out, 64), 0);
    EXPECT_EQ(formatCameraKey(&cam, 4, NAN, out, 64), 0);
    cam.far = INFINITY;
    EXPECT_EQ(formatCameraKey(&cam, 4, 61.25f, out, sizeof out), 0);
    cam.far = 100.0f;
    cam.yaw = NAN;
    EXPECT_EQ(formatCameraKey(&cam, 4, 61.25f, out, sizeof out), 0);
}

TEST(TweakCamera, EnterRecordsWhatTheViewerSeesInTheLogAndTheKeysFile)
{
    resetCamera();
    remove("camera_keys.txt");
    ShowFrame shown = shownFrame(61.25f, 4.0f);
    setCamera(12.5f, 3.0f, -40.0f, 90.0f, 0.0f, 0.0f, 0.1f, 500.0f, 70.0f);
    camera.dirty = 0;
    const std::string first =
        "{12.5f, 3.0f, -40.0f, 90.0f, 0.0f, 0.0f, 0.1f, 500.0f, 70.0f},  // scene 4 at 61.250 s\n";

    // Outside tweak mode: the scene's camera; a repeat or a release adds nothing.
    size_t mark = logMark();
    press(GLFW_KEY_ENTER);
    onKey(nullptr, GLFW_KEY_ENTER, 0, GLFW_REPEAT, 0);
    onKey(nullptr, GLFW_KEY_ENTER, 0, GLFW_RELEASE, 0);
    EXPECT_EQ(logSince(mark), "");   // recorded when the loop hands the frame over
    applyFrameKeys(&shown);
    EXPECT_EQ(logSince(mark), first);
    EXPECT_EQ(readFile("camera_keys.txt"), first);
    EXPECT_EQ(tweakMode, -1);
    EXPECT_EQ(camera.dirty, 0);

    // In tweak mode: the author's camera, one step up; the keypad's Enter too.
    press(GLFW_KEY_TAB);
    press(GLFW_KEY_E);
    shown = shownFrame(70.0f, 5.7f);
    mark = logMark();
    press(GLFW_KEY_KP_ENTER);
    applyFrameKeys(&shown);
    applyFrameKeys(&shown);   // each press is recorded once
    const std::string second =
        "{12.5f, 4.0f, -40.0f, 90.0f, 0.0f, 0.0f, 0.1f, 500.0f, 70.0f},  // scene 5 at 70.000 s\n";
    EXPECT_EQ(logSince(mark), second);
    EXPECT_EQ(readFile("camera_keys.txt"), first + second);
    EXPECT_EQ(tweakMode, 1);

    remove("camera_keys.txt");
}

TEST(TweakCamera, EnterWithAKeysFileThatCannotBeOpenedLogsEachPress)
{
    resetCamera();
    remove("camera_keys.txt");
    ASSERT_EQ(mkdir("camera_keys.txt", 0755), 0);   // a directory cannot be appended to
    camera.x = 3.0f;
    ShowFrame shown = shownFrame(0.0f, 0.0f);
    size_t mark = logMark();
    press(GLFW_KEY_ENTER);
    applyFrameKeys(&shown);
    press(GLFW_KEY_ENTER);
    applyFrameKeys(&shown);
    std::string log = logSince(mark);
    const std::string complaint = "Camera key not written: cannot open camera_keys.txt for appending.\n";
    size_t at = log.find(complaint);
    ASSERT_NE(at, std::string::npos) << log;
    EXPECT_NE(log.find(complaint, at + complaint.size()), std::string::npos) << log;
    EXPECT_EQ(log.find("{3.0f, 0.0f, 0.0f,"), 0u) << log;   // the line is still logged
    // The show goes on: the next key still works.
    press(GLFW_KEY_D);
    EXPECT_FLOAT_EQ(camera.x, 4.0f);
    rmdir("camera_keys.txt");

    // A camera gone to NaN is not written as a key.
    camera.z = NAN;
    mark = logMark();
    press(GLFW_KEY_ENTER);
    applyFrameKeys(&shown);
    EXPECT_EQ(logSince(mark), "Camera key not recorded: a camera value is not finite.\n");
    EXPECT_EQ(access("camera_keys.txt", F_OK), -1);
}

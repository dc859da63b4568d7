// The keyboard: the GLFW key callback, the tweak-camera mode, in which an
// author flies the live camera by hand while the show goes on, and Enter, which
// records that camera as a key line. Escape is not handled here (the loop's
// poll closes the window on it).
#include "app/hud.h"
#include "app/keyboard.h"
#include "app/live.h"
#include "app/transport.h"
#include "platform/platform.h"
#include "render/render.h"
#include "show/show.h"
#include "sync/sync.h"
#include <GLFW/glfw3.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char controlsMessage[] = "Entering tweak cam mode. Controls:\n\tQWEASD = move\n\tUIOJKL = turn\n"
                                      "\tCTRL\\SHIFT = speed\n\tENTER = record\n\tTAB = toggle tweak mode\n";

// What a tweak key does to the live camera.
enum KeyAction { MoveRight, MoveUp, MoveForward, TurnPitch, TurnYaw, TurnRoll, ScaleFar, ScaleNear };
struct TweakKey {
    int key;
    int action;
    float sign;   // +1 or -1 along the axis
};
static const TweakKey tweakKeys[] = {
    {GLFW_KEY_D, MoveRight, 1.0f},    {GLFW_KEY_A, MoveRight, -1.0f},    {GLFW_KEY_E, MoveUp, 1.0f},
    {GLFW_KEY_Q, MoveUp, -1.0f},      {GLFW_KEY_W, MoveForward, 1.0f},   {GLFW_KEY_S, MoveForward, -1.0f},
    {GLFW_KEY_I, TurnPitch, 1.0f},    {GLFW_KEY_K, TurnPitch, -1.0f},    {GLFW_KEY_J, TurnYaw, 1.0f},
    {GLFW_KEY_L, TurnYaw, -1.0f},     {GLFW_KEY_O, TurnRoll, 1.0f},      {GLFW_KEY_U, TurnRoll, -1.0f},
    {GLFW_KEY_EQUAL, ScaleFar, 1.0f}, {GLFW_KEY_MINUS, ScaleNear, 1.0f},
};

// Camera rotation R = Rz(roll)·Rx(−pitch)·Ry(−yaw), the product the view uses;
// its columns 0, 1, 2 are the camera's right, up and forward directions.
static void cameraRotation(const Camera* cam, float* r)
{
    float rx[16], ry[16], rz[16], rxy[16];
    float c = (float)cos((double)-cam->pitch), s = (float)sin((double)-cam->pitch);
    matIdentity(rx);
    rx[5] = c;
    rx[6] = s;
    rx[9] = -s;
    rx[10] = c;
    c = (float)cos((double)-cam->yaw);
    s = (float)sin((double)-cam->yaw);
    matIdentity(ry);
    ry[0] = c;
    ry[2] = -s;
    ry[8] = s;
    ry[10] = c;
    c = (float)cos((double)cam->roll);
    s = (float)sin((double)cam->roll);
    matIdentity(rz);
    rz[0] = c;
    rz[1] = s;
    rz[4] = -s;
    rz[5] = c;
    matMultiply(rxy, rx, ry);
    matMultiply(r, rz, rxy);
}

static void moveAlong(Camera* cam, const float* axis, float amount)
{
    cam->x += amount * axis[0];
    cam->y += amount * axis[1];
    cam->z += amount * axis[2];
}

// Applies one table key with step size step; shift picks the shrinking clip factor.
static void applyTweakKey(Camera* cam, const TweakKey* entry, float step, int shift)
{
    float r[16];
    cameraRotation(cam, r);
    float amount = entry->sign * step;
    switch (entry->action) {
    case MoveRight: moveAlong(cam, r + 0, amount); break;
    case MoveUp: moveAlong(cam, r + 4, amount); break;
    case MoveForward: moveAlong(cam, r + 8, amount); break;
    case TurnPitch: cam->pitch += amount * 0.1f; break;
    case TurnYaw: cam->yaw += amount * 0.1f; break;
    case TurnRoll: cam->roll += amount * 0.1f; break;
    case ScaleFar: cam->far = shift ? cam->far / 1.5f : cam->far * 1.5f; break;
    case ScaleNear: cam->near = shift ? cam->near / 1.5f : cam->near * 1.5f; break;
    }
}

// TAB toggles the mode; Alt+TAB is the desktop's window switch and is left alone.
static void toggleTweakMode(int mods)
{
    if (mods & GLFW_MOD_ALT) return;
    if (tweakMode == -1) {
        logMessage("%s", controlsMessage);
        tweakCamera = camera;
        tweakMode = 1;
    } else if (tweakMode == 0) {
        logMessage("%s", controlsMessage);
        camera = tweakCamera;
        tweakMode = 1;
    } else {
        camera = tweakCamera;
        tweakMode = 0;
        logMessage("Exiting tweak cam mode.\n");
    }
    camera.dirty = 1;
}

// ---- recording camera keys -------------------------------------------------------

static const char cameraKeysFile[] = "camera_keys.txt";

// Appends value as a float literal of a key table ("90.0f", "-97.0304f",
// "1500.0f", "1e-05f"): the shortest %g that reads back as the same float,
// whole numbers below 1e16 written out rather than as "1.5e+03". Returns the
// new length, or -1 when it does not fit or the value is not finite.
static int appendFloat(char* out, int size, int at, float value)
{
    if (!isfinite(value)) return -1;
    char number[40];
    for (int digits = 1; digits <= 9; digits++) {
        snprintf(number, sizeof number, "%.*g", digits, (double)value);
        if (strtof(number, nullptr) == value) break;
    }
    const char* exponent = strstr(number, "e+");
    if (exponent && atoi(exponent + 2) < 16)
        snprintf(number, sizeof number, "%.*g", atoi(exponent + 2) + 1, (double)value);
    const char* tail = strpbrk(number, ".e") ? "f" : ".0f";
    int n = snprintf(out + at, (size_t)(size - at), "%s%s", number, tail);
    return n < 0 || n >= size - at ? -1 : at + n;
}

// Radians back to the degrees of a key table: the inverse of DEG2RAD.
static float toDegrees(float radians) { return (float)((double)radians * 180.0 / (double)3.1416f); }

int formatCameraKey(const Camera* cam, int scene, float time, char* out, int size)
{
    if (!out || size <= 0) return 0;
    out[0] = '\0';
    if (!cam || !isfinite(time)) return 0;
    const float values[9] = {
        cam->x,    cam->y,   cam->z,  toDegrees(cam->yaw), toDegrees(cam->pitch), toDegrees(cam->roll),
        cam->near, cam->far, cam->fov};
    int at = 0;
    for (int i = 0; i < 9 && at >= 0; i++) {
        if (at + 2 >= size) {
            at = -1;
            break;
        }
        if (i > 0) {
            out[at++] = ',';
            out[at++] = ' ';
        } else
            out[at++] = '{';
        at = appendFloat(out, size, at, values[i]);
    }
    if (at >= 0) {
        int n = snprintf(out + at, (size_t)(size - at), "},  // scene %d at %.3f s", scene, (double)time);
        at = n < 0 || n >= size - at ? -1 : at + n;
    }
    if (at < 0) {
        out[0] = '\0';
        return 0;
    }
    return at;
}

// Logs the live camera's key line, with the scene and time of the frame on
// screen, and appends it to camera_keys.txt.
static void recordCameraKey(const ShowFrame* shown)
{
    char line[512];
    if (!formatCameraKey(&camera, (int)shown->tracks[TrackScene], shown->time, line, (int)sizeof line)) {
        logMessage("Camera key not recorded: a camera value is not finite.\n");
        return;
    }
    logMessage("%s\n", line);
    if (liveEditing()) hudCameraKey(line);   // on the display, ready to paste into a key table
    FILE* file = fopen(cameraKeysFile, "a");
    if (!file) {
        logMessage("Camera key not written: cannot open %s for appending.\n", cameraKeysFile);
        return;
    }
    fprintf(file, "%s\n", line);
    if (fclose(file) != 0) logMessage("Camera key not written: cannot write %s.\n", cameraKeysFile);
}

// ---- state: presses waiting for the frame on screen ---------------------------------
enum { MaxFrameKeys = 16 };
struct FrameKey {
    int key, mods;
};
static FrameKey frameKeys[MaxFrameKeys];
static int frameKeyCount;

// Keeps a press for applyFrameKeys; presses beyond MaxFrameKeys in one poll are dropped.
static void keepFrameKey(int key, int mods)
{
    if (frameKeyCount < MaxFrameKeys) frameKeys[frameKeyCount++] = FrameKey{key, mods};
}

void applyFrameKeys(const ShowFrame* shown)
{
    for (int i = 0; i < frameKeyCount; i++) {
        const FrameKey* press = &frameKeys[i];
        if (press->key == GLFW_KEY_ENTER || press->key == GLFW_KEY_KP_ENTER)
            recordCameraKey(shown);
        else
            transportKey(press->key, press->mods, shown->time);
    }
    frameKeyCount = 0;
}

// GLFW key callback: presses and repeats act, releases are ignored. Any
// movement, turn or clip key enters tweak mode at once, silently. Enter acts
// on the press only: holding it records one key.
void onKey(GLFWwindow* window, int key, int scancode, int action, int mods)
{
    (void)window;
    (void)scancode;
    if (action == GLFW_RELEASE) return;
    if (key == GLFW_KEY_ENTER || key == GLFW_KEY_KP_ENTER) {
        if (action == GLFW_PRESS) keepFrameKey(key, mods);
        return;
    }
    if (key == GLFW_KEY_TAB) {
        toggleTweakMode(mods);
        return;
    }
    if (key == GLFW_KEY_F1 && action == GLFW_PRESS) {
        showHud(!hudVisible());
        return;
    }
    if (key == GLFW_KEY_F5 && action == GLFW_PRESS) {
        startSoundtrackBuild();
        return;
    }
    if (action == GLFW_PRESS && isTransportKey(key)) {
        keepFrameKey(key, mods);
        return;
    }
    float step = (mods & GLFW_MOD_SHIFT) ? 0.1f : 1.0f;
    if (mods & GLFW_MOD_CONTROL) step *= 10.0f;
    for (const TweakKey& entry : tweakKeys) {
        if (entry.key != key) continue;
        applyTweakKey(&camera, &entry, step, mods & GLFW_MOD_SHIFT);
        tweakCamera = camera;
        tweakMode = 1;
        camera.dirty = 1;
        return;
    }
}

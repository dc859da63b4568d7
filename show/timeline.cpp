// The timeline: every frame the "scene" track picks one scene routine, the
// letterbox bars are drawn on top, and the show ends by one of two rules.
#include "show/show_local.h"
#include <stdint.h>

int prevScene = -1;

// Truncation toward zero; values beyond +-1e6 (or NaN) give 0 instead of an
// undefined conversion.
static int truncToInt(float value)
{
    if (!(value > -1.0e6f && value < 1.0e6f)) return 0;
    return (int)value;
}

SceneRoutines sceneRoutines = {
    drawScene1, drawScenes2And3, drawScene4, drawScene5, drawScene6, drawScene7, drawScene8, drawScene9,
};

static void runScene1(float, float, float var0, float) { sceneRoutines.scene1(var0); }
static void runScene2(float time, float, float var0, float var1) { sceneRoutines.scenes2And3(0, time, var0, var1); }
static void runScene3(float time, float, float var0, float var1) { sceneRoutines.scenes2And3(1, time, var0, var1); }
static void runScene4(float, float, float var0, float) { sceneRoutines.scene4(var0); }
static void runScene5(float time, float part, float var0, float var1)
{
    sceneRoutines.scene5(time, truncToInt(part), var0, var1);
}
static void runScene6(float, float part, float var0, float var1) { sceneRoutines.scene6(part, var0, var1); }
static void runScene7(float time, float part, float var0, float) { sceneRoutines.scene7(time, part, var0); }
static void runScene8(float, float, float var0, float var1) { sceneRoutines.scene8(var0, var1); }
static void runScene9(float, float part, float var0, float var1) { sceneRoutines.scene9(part, var0, var1); }

// Scene number n runs sceneTable[n - 1]; arguments are (time, part, var0, var1).
typedef void (*SceneRoutine)(float time, float part, float var0, float var1);
static const SceneRoutine sceneTable[9] = {
    runScene1, runScene2, runScene3, runScene4, runScene5, runScene6, runScene7, runScene8, runScene9,
};

// Returns 1 when the show is over: the scene number went from 9 straight to 1
// (nothing is drawn then), or it is -1 while "part" is exactly -1.0.
int dispatchScene(void)
{
    float time = frameTime;
    int scene = truncToInt(syncValues[TrackScene]);
    float part = syncValues[TrackPart];
    if (prevScene == 9 && scene == 1) return 1;
    setGLDebugPhase("scene", scene);
    int ended = 0;
    if (scene >= 1 && scene <= 9)
        sceneTable[scene - 1](time, part, syncValues[TrackVar0], syncValues[TrackVar1]);
    else if (scene == -1)
        ended = part == -1.0f;
    drawLetterbox();
    checkGLErrors();   // --gl-debug without a debug callback: once per frame
    prevScene = scene;
    return ended;
}

// The scene number just before row: a step key holds its value up to the
// next key, the other kinds arrive at the next key's value continuously.
static float valueJustBefore(const SyncTrack* track, long row)
{
    int i = track && row >= INT32_MIN && row <= INT32_MAX ? findKey(track, (int)row) : -1;
    if (i < 0) return trackValue(track, (double)row);   // no key here: the value does not jump
    if (i == 0) return track->keys[0].value;            // before the first key: its value
    const SyncKey* before = &track->keys[i - 1];
    if (before->type == 0) return before->value;
    return before->type >= 1 && before->type <= 3 ? track->keys[i].value : 0.0f;
}

static int endsAtRow(const SyncTrack* scene, const SyncTrack* part, long row)
{
    int now = truncToInt(trackValue(scene, (double)row));
    if (now == -1 && trackValue(part, (double)row) == -1.0f) return 1;
    return row > 0 && now == 1 && truncToInt(valueJustBefore(scene, row)) == 9;
}

long showEndRow(const SyncTrack* scene, const SyncTrack* part)
{
    long end = endsAtRow(scene, part, 0) ? 0 : -1;
    const SyncTrack* tracks[2] = {scene, part};
    for (int t = 0; t < 2 && end != 0; t++) {
        const SyncTrack* track = tracks[t];
        if (!track || !track->keys) continue;
        for (int i = 0; i < track->keyCount; i++) {
            long row = track->keys[i].row;
            if (row > 0 && (end < 0 || row < end) && endsAtRow(scene, part, row)) end = row;
        }
    }
    return end;
}

double showLengthSeconds(const SyncTrack* scene, const SyncTrack* part, float bpm, int rowsPerBeat)
{
    long row = showEndRow(scene, part);
    if (row < 0) return -1.0;
    double rowsPerSecond = (double)(rowsPerBeat ? rowsPerBeat : 4) * (bpm != 0.0f ? bpm : 120.0f) / 60.0;
    return rowsPerSecond > 0.0 ? (double)row / rowsPerSecond : -1.0;
}

// Two black bars that keep the picture at 16:9 in a window taller than that;
// a window wider than 16:9 gets none.
void drawLetterbox(void)
{
    float a = 1.0f / camera.aspect;
    float b = a * 0.5625f;
    float c = 1.0f - b;
    if (!(c >= 0.0f)) return;
    const int noTexture[1] = {-1};
    float h = c * 0.5f;
    drawOverlayQuad(noTexture, 0.5f, c * 0.25f, 1.0f, h, 1, 0x000000FFu, Opaque, -1);
    drawOverlayQuad(noTexture, 0.5f, 1.0f - c * 0.25f, 1.0f, h, 1, 0x000000FFu, Opaque, -1);
}

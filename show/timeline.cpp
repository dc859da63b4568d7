// The timeline: every frame the "scene" track picks one routine of the scene
// table, the letterbox bars are drawn on top, and the show ends by one of two
// rules.
#include "show/show_local.h"
#include <stdint.h>

int prevScene = -1;

int truncTrack(float value)
{
    if (!(value > -1.0e6f && value < 1.0e6f)) return 0;
    return (int)value;
}

SceneRoutine showScenes[ShowSceneCount] = {
    drawScene1, drawScene2, drawScene3, drawScene4, drawScene5, drawScene6, drawScene7, drawScene8, drawScene9,
};

int dispatchScene(const ShowFrame* frame)
{
    int scene = truncTrack(frame->tracks[TrackScene]);
    float part = frame->tracks[TrackPart];
    if (prevScene == ShowSceneCount && scene == 1) return 1;
    setGLDebugPhase("scene", scene);
    int ended = 0;
    if (scene >= 1 && scene <= ShowSceneCount)
        showScenes[scene - 1](frame);
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
    int now = truncTrack(trackValue(scene, (double)row));
    if (now == -1 && trackValue(part, (double)row) == -1.0f) return 1;
    return row > 0 && now == 1 && truncTrack(valueJustBefore(scene, row)) == ShowSceneCount;
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

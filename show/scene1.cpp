// Scene 1, the jug and the splash: the jug reassembles on its log under the
// var0 scrub while the camera travels five keys, then a bokeh blur and a fade.
#include "show/show_local.h"

// ---- scene 1 -------------------------------------------------------------------

static const CameraKey scene1Keys[5] = {
    {-33.0f, 70.0f, 773.0f, 174.0f, -3.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-160.0f, 45.0f, 473.0f, 194.0f, -3.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-8.0f, -29.0f, 322.0f, 188.0f, 4.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-12.7085f, 144.4179f, 368.805f, 176.811f, 2.72956f, 0.0f, 100.0f, 1000.0f, 30.0f},
    {-12.7085f, -135.378f, 377.377f, 176.811f, 2.72956f, 0.0f, 100.0f, 1000.0f, 30.0f},
};

void drawScene1(const ShowFrame* frame)
{
    float var0 = frame->tracks[TrackVar0];
    Mesh* jug = &res.jugMeshes[0];
    Mesh* intact = &res.jugMeshes[3];
    float t = 1.0f - var0;   // 1 = burst (last frame), 0 = whole
    if (!(t > 0.0f)) t = 0.0f;
    if (t > 1.0f) t = 1.0f;

    beginSceneTarget();
    driveCamera(scene1Keys, 5, var0);

    placeMesh(&res.logMesh, 0.0f, -180.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    drawMesh(&res.logMesh);

    Mesh* shown = (t == 0.0f) ? intact : jug;
    placeMesh(shown, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseScrub(jug, t);
    drawMesh(shown);
    drawSkybox(0);

    placeMesh(&res.splashMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseScrub(&res.splashMesh, t);
    drawAdditiveSplash();

    // Multiplied by white (post2 1, the scene after its fade-in) every pixel
    // stays as it is: not drawn.
    int none = 0;
    uint32_t fade = fadeColour(frame->tracks[TrackPost2]);
    if (fade != 0xFFFFFFFFu) drawOverlayQuad(&none, 0.5f, 0.5f, 1.0f, 1.0f, 1, fade, Multiply, -1);
    unbindRenderTarget(sceneTarget);

    bokehBlurAndMix(frame->tracks[TrackPost1], frame->tracks[TrackPost2]);
    postProcessFrame(1);
}

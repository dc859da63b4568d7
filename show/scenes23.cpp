// Scenes 2 and 3, the bottles and the fire: the copper still at night with its
// fire, a hundred bottles that lie on the ground (scene 2) or rise and tumble
// under var1 (scene 3), then colour correction, distortion and bokeh passes.
#include "show/show_local.h"
#include <GL/glew.h>
#include <stdlib.h>

static const CameraKey stillKeys[5] = {
    {-742.0f, 156.0f, -520.0f, -74.0f, -6.0f, 0.0f, 10.0f, 15000.0f, 53.0f},
    {-364.0f, 213.0f, 43.0f, -103.0f, -15.0f, 0.0f, 10.0f, 15000.0f, 53.0f},
    {-353.0f, 109.0f, -671.0f, -60.0f, -18.0f, 0.0f, 10.0f, 15000.0f, 53.0f},
    {-330.0f, 160.0f, -672.0f, -46.0f, 5.0f, 0.0f, 10.0f, 15000.0f, 53.0f},
    {-1468.07f, 250.568f, -401.837f, -79.983f, 21.9915f, 0.0f, 10.0f, 15000.0f, 75.0f},
};

void placeBottle(Mesh* mesh, int i, float rise)
{
    int k = 3 * i;
    float X = (float)((randomTable[k] % 1024) * 2 - 1024);
    float Y = (float)((randomTable[k + 1] % 1024) + 238);
    float Z = (float)((randomTable[k + 2] % 1024) * 2 - 1024);
    placeMesh(mesh, X, Y * rise - 100.0f, Z, Z + 100.0f * rise, (X + 200.0f) * rise, (Y + 400.0f) * rise);
}

// The fire is one shell drawn twice, the second a little larger and fainter;
// it glows over everything without writing depth.
static void drawFireShell(void)
{
    int previous = currentBlendMode;
    setBlendMode(AlphaAdditive);
    drawMesh(&res.fireMesh);
    setBlendMode(previous);
}

static void drawFire(float time)
{
    placeMesh(&res.fireMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    queueUniform("iGlobalTime", time);
    queueUniform("factorTex", extraDivisor);
    queueUniform("factorBlend", 0.0f);
    queueUniform("scale", 1.0f);
    queueUniform("alphafactor", 0.6f);
    drawFireShell();
    // The program keeps iGlobalTime, factorTex and factorBlend from above.
    queueUniform("scale", 1.05f);
    queueUniform("alphafactor", 0.4f);
    drawFireShell();
}

// Colour correction of the frame in fullTarget into sceneTarget, with the
// post2 distortion over it. At post2 <= 0 the distortion is fully
// transparent: the correction alone. Above it the distortion pass corrects
// the picture as it reads it and mixes its ghost over the sharp picture
// itself: one pass instead of correcting, copying the result and blending
// the ghost over it (the same picture but for rounding: nothing between is
// stored at 8 bits any more).
static const float StillContrast = 0.8f;

void gradeAndDistort(float strength)
{
    if (strength <= 0.0f) {
        correctColour(sceneTarget, fullTarget, 1.0f, StillContrast, 0.0f, 0);
        return;
    }
    int fullTexture = renderTargets[fullTarget]->colorTexture;
    bindRenderTarget(sceneTarget);
    queueUniform("time", strength);
    queueUniform("con", StillContrast);
    queueUniform("lum", 0.0f);
    drawOverlayQuad(&fullTexture, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Opaque, res.progDrunk);
    unbindRenderTarget(sceneTarget);
}

static void drawStill(int mode, const ShowFrame* frame)
{
    float time = frame->time, var0 = frame->tracks[TrackVar0], var1 = frame->tracks[TrackVar1];
    // Drawn into fullTarget: the colour correction then writes sceneTarget
    // in one pass. The sky covers every pixel, so nothing of an earlier
    // frame shows through either buffer.
    bindRenderTarget(fullTarget);
    glClear(GL_DEPTH_BUFFER_BIT);
    driveCamera(stillKeys, 5, var0);

    placeMesh(&res.stillMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    drawMesh(&res.stillMesh);

    int seed = rand();
    float rise = 0.0f;
    if (mode != 0) {
        rise = var1;
        if (!(rise > 0.0f)) rise = 0.0f;
        if (rise > 1.0f) rise = 1.0f;
    }
    // Most of the hundred lie outside the view at any time: those are not
    // sent to the GL at all (a draw that covers nothing still costs its
    // vertices, its setup and its binning).
    const RenderTarget* into = renderTargets[fullTarget];
    int region[4];
    for (int i = 0; i < 100; i++) {
        placeBottle(&res.bottlesMesh, i, rise);
        if (meshScreenRect(&res.bottlesMesh, into->width, into->height, 0.0f, 0.0f, region)) drawMesh(&res.bottlesMesh);
    }
    srand((unsigned)seed);
    drawSkybox(1);

    drawFire(time);
    unbindRenderTarget(fullTarget);

    gradeAndDistort(frame->tracks[TrackPost2]);
    bokehBlurAndMix(frame->tracks[TrackPost1], frame->tracks[TrackPost2]);
    postProcessFrame(4);
}

void drawScene2(const ShowFrame* frame) { drawStill(0, frame); }
void drawScene3(const ShowFrame* frame) { drawStill(1, frame); }

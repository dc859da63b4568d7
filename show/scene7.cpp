// Scene 7, the rod, the bullet and the trail: inside the scrolling speed lines
// the chrome bullet turns into the hot rod as part goes from 0 to 1, with a
// trail behind it that refracts a copy of the frame.
#include "show/show_local.h"
#include <GL/glew.h>
#include <math.h>

static const CameraKey rodKeys[6] = {
    {108.853f, 28.1834f, -80.8538f, 61.3522f, -4.0f, 0.0f, 0.9f, 1000.0f, 52.0f},
    {250.0f, 25.0f, 64.0f, 90.0f, -4.0f, 0.0f, 0.9f, 1000.0f, 52.0f},
    {150.0f, 25.0f, -200.0f, 45.0f, -4.0f, 0.0f, 0.9f, 1000.0f, 52.0f},
    {0.0f, 25.0f, -1000.0f, 15.0f, -4.0f, 0.0f, 0.9f, 1000.0f, 52.0f},
    {79.2703f, 9.09932f, 333.298f, 149.377f, -4.0f, 5.0f, 0.9f, 1000.0f, 52.0f},
    {301.191f, 36.2153f, 8.56508f, 103.541f, -4.0f, 0.0f, 0.9f, 1000.0f, 52.0f},
};

void rodWobble(float time, float* a, float* b)
{
    *a = 0.2f * (sinf(100.0f * time) + sinf(140.0f * time) * sinf(80.0f * time));
    *b = 0.2f * (sinf(120.0f * time) + sinf(150.0f * time) * sinf(90.0f * time));
}

// The rod above part 0 (its animation backwards, chrome fading out), the
// plain chrome bullet at 0 and below.
static void drawObject(float part, float a, float b)
{
    if (part > 0.0f) {
        Mesh* rod = &res.rodMeshes[1];
        float p = part > 1.0f ? 1.0f : part;
        placeMesh(rod, 0.0f, b, a, 0.0f, 0.0f, 0.0f);
        poseAnimation(rod, (1.0f - p) * (float)(rod->frameCount - 1));
        queueUniform("chrome", 1.0f - p);
        drawMesh(rod);
        return;
    }
    Mesh* bullet = &res.rodMeshes[0];
    bullet->textures[1] = bullet->textures[0];
    placeMesh(bullet, 0.0f, b, a, 0.0f, 0.0f, 0.0f);
    queueUniform("chrome", 1.0f);
    drawMesh(bullet);
}

// The trail reads the copy of the frame at most this share of the frame's
// width and height away from its own pixels (trail.fs: the normal's bend,
// 0.05 + 0.03 of a ripple, fully at the object's end).
static const float TrailReach = 0.08f;

// The frame so far copied into fullTarget where the trail can read it, then
// the trail over it. Outside that rectangle fullTarget keeps older pixels
// that nothing reads; a trail out of view is neither copied for nor drawn.
static void drawTrail(float time, float a, float b)
{
    placeMesh(&res.trailMesh, 0.0f, b, a - 7.0f, 0.0f, 0.0f, 0.0f);
    res.trailMesh.textures[0] = renderTargets[fullTarget]->colorTexture;
    const RenderTarget* scene = renderTargets[sceneTarget];
    int region[4];
    float reachX = TrailReach * (float)scene->width + 1.0f, reachY = TrailReach * (float)scene->height + 1.0f;
    if (!meshScreenRect(&res.trailMesh, scene->width, scene->height, reachX, reachY, region)) return;
    glEnable(GL_SCISSOR_TEST);
    glScissor(region[0], region[1], region[2], region[3]);
    copyTarget(fullTarget, sceneTarget, 0);
    glDisable(GL_SCISSOR_TEST);
    queueUniform("time", time);
    queueUniform("factorPix", 1.0f);
    queueUniform("factorTex", 1.0f);
    int previous = currentBlendMode;
    setBlendMode(AlphaBlend);
    drawMesh(&res.trailMesh);
    setBlendMode(previous);
}

void drawScene7(const ShowFrame* frame)
{
    float time = frame->time;
    float a = 0.0f, b = 0.0f;
    rodWobble(time, &a, &b);
    beginSceneTarget();
    driveCamera(rodKeys, 6, frame->tracks[TrackVar0]);
    drawObject(frame->tracks[TrackPart], a, b);
    const float offset[2] = {-3.0f * time, 0.0f};
    queueUniformEntry("offset", Vec2, 0.0f, 0.0f, offset);
    drawSkybox(2);
    drawTrail(time, a, b);
    unbindRenderTarget(sceneTarget);

    colourCorrectAndGrade(1.15f, 0.55f, -0.08f, 0, 3);
}

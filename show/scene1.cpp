// Scene 1, the jug and the splash: the jug reassembles on its log under the
// var0 scrub while the camera travels five keys, then a bokeh blur and a fade.
// Also home of the small steps every scene routine shares (show.h, helpers).
#include "show/show.h"
#include "render/render.h"
#include "post/post.h"
#include "assets/assets.h"
#include "sync/sync.h"
#include <GL/glew.h>

// ---- shared scene steps ------------------------------------------------------

void placeMesh(Mesh* mesh, float x, float y, float z, float yaw, float pitch, float roll)
{
    mesh->x = x;
    mesh->y = y;
    mesh->z = z;
    mesh->yaw = DEG2RAD(yaw);
    mesh->pitch = DEG2RAD(pitch);
    mesh->roll = DEG2RAD(roll);
    mesh->dirty = 1;
}

void cameraSegment(float driver, int keyCount, int* n, float* f)
{
    int last = keyCount - 2;            // first key of the last segment
    if (!(driver >= 0.0f)) {            // below the path, or NaN
        *n = 0;
        *f = 0.0f;
        return;
    }
    if (driver >= (float)(last + 1)) {
        *n = last;
        *f = 1.0f;
        return;
    }
    *n = (int)driver;
    *f = driver - (float)*n;
}

void driveCamera(const CameraKey* keys, int keyCount, float driver)
{
    int n = 0;
    float f = 0.0f;
    cameraSegment(driver, keyCount, &n, &f);
    lerpCamera(&keys[n], &keys[n + 1], f);
}

uint32_t trackByte(float value)
{
    double scaled = (double)value * 255.0;
    if (!(scaled > 0.0)) return 0;      // negative or NaN
    if (scaled >= 255.0) return 255;
    return (uint32_t)scaled;
}

uint32_t fadeColour(float value) { return trackByte(value) * 0x01010101u; }

uint32_t blurMixColour(float post1)
{
    float a = 16.0f * post1;
    if (!(a > 0.0f)) a = 0.0f;
    if (a > 1.0f) a = 1.0f;
    return 0xFFFFFF00u | (uint32_t)(255.0f * a);
}

float bokehScale(float post1, int width, float pixDivisor)
{
    if (width <= 1024) return post1;
    return post1 * 4.0f / pixDivisor;
}

void bokehBlurAndMix(void)
{
    int sceneTexture = renderTargets[sceneTarget]->colorTexture;
    int halfTexture = renderTargets[halfTarget]->colorTexture;
    float post1 = syncValues[TrackPost1];
    uint32_t mix = blurMixColour(post1);
    // Mixed at alpha 0 the blur would leave the scene exactly as it is, so it
    // is not drawn (most frames of scenes 1 to 3 are sharp). The half buffer
    // then keeps what it held; nothing else reads it in these scenes.
    if ((mix & 0xFFu) == 0) {
        beginSceneTarget();
        return;
    }

    bindRenderTarget(halfTarget);
    queueUniform("scale", bokehScale(post1, windowWidth, factorPix));
    queueUniform("intensity", 20.0f);
    queueUniform("highlight", syncValues[TrackPost2]);
    queueUniform("factorPix", factorPix);
    queueUniform("factorTex", 1.0f);
    drawOverlayQuad(&sceneTexture, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Opaque, progBokeh);
    unbindRenderTarget(halfTarget);

    beginSceneTarget();
    drawOverlayQuad(&halfTexture, 0.5f, 0.5f, 1.0f, 1.0f, 1, mix, AlphaBlend, -1);
}

// ---- scene 1 -------------------------------------------------------------------

static const CameraKey scene1Keys[5] = {
    {-33.0f, 70.0f, 773.0f, 174.0f, -3.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-160.0f, 45.0f, 473.0f, 194.0f, -3.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-8.0f, -29.0f, 322.0f, 188.0f, 4.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-12.7085f, 144.4179f, 368.805f, 176.811f, 2.72956f, 0.0f, 100.0f, 1000.0f, 30.0f},
    {-12.7085f, -135.378f, 377.377f, 176.811f, 2.72956f, 0.0f, 100.0f, 1000.0f, 30.0f},
};

// A frame position inside 0 .. frameCount-1 for blendMeshFrames; a mesh that
// failed to load (no frames) is never posed.
static void poseMesh(Mesh* mesh, float scrub)
{
    if (mesh->frameCount == 0 || mesh->vertexCount == 0) return;
    blendMeshFrames(mesh, scrub * (float)(mesh->frameCount - 1));
}

// The splash adds light over the jug: both faces, no depth writes.
static void drawSplash(void)
{
    glDisable(GL_CULL_FACE);
    int previous = currentBlendMode;
    setBlendMode(Additive);
    drawMesh(&splashMesh);
    setBlendMode(previous);
    glEnable(GL_CULL_FACE);
}

void drawScene1(float var0)
{
    Mesh* jug = &jugMeshes[0];
    Mesh* intact = &jugMeshes[3];
    float t = 1.0f - var0;              // 1 = burst (last frame), 0 = whole
    if (!(t > 0.0f)) t = 0.0f;
    if (t > 1.0f) t = 1.0f;

    beginSceneTarget();
    driveCamera(scene1Keys, 5, var0);
    drawSkybox(0);

    placeMesh(&logMesh, 0.0f, -180.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    drawMesh(&logMesh);

    // Scene 8 lends the intact jug another label and program; take them back.
    intact->textures[1] = jug->textures[1];
    intact->program = jug->program;
    Mesh* shown = (t == 0.0f) ? intact : jug;
    placeMesh(shown, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseMesh(jug, t);
    drawMesh(shown);

    placeMesh(&splashMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseMesh(&splashMesh, t);
    drawSplash();

    // Multiplied by white (post2 1, the scene after its fade-in) every pixel
    // stays as it is: not drawn.
    int none = 0;
    uint32_t fade = fadeColour(syncValues[TrackPost2]);
    if (fade != 0xFFFFFFFFu) drawOverlayQuad(&none, 0.5f, 0.5f, 1.0f, 1.0f, 1, fade, Multiply, -1);
    unbindRenderTarget(sceneTarget);

    bokehBlurAndMix();
    postProcessFrame(1);
}

// Scene 5, the press and the kaleidoscope: the press prints bills on a
// quarter-second loop; part repeats the picture around the view axis, and once
// var1 rises three money rolls tumble in front of a rolling camera.
#include "show/show_local.h"
#include <GL/glew.h>
#include <math.h>
#include <stdlib.h>

// More copies than this are not told apart on screen; a runaway part track
// must not turn into thousands of full-screen draws.
enum { MaxKaleidoCopies = 64 };

static const CameraKey pressKeys[3] = {
    {440.0f, 188.0f, -341.0f, 44.0f, -17.0f, 0.0f, 5.0f, 1000.0f, 60.0f},
    {423.0f, 83.0f, -325.0f, 44.0f, -4.0f, 0.0f, 5.0f, 1000.0f, 65.0f},
    {267.0f, 119.0f, -80.0f, 76.0f, -18.0f, 0.0f, 5.0f, 1000.0f, 65.0f},
};

float loopPhase(float time) { return (float)fmod((double)(time * 4.0f), 1.0); }

int kaleidoRolls(int part, float cameraRoll, float* rolls, int capacity)
{
    if (part <= 0) return 0;
    if (part > MaxKaleidoCopies) part = MaxKaleidoCopies;
    float copies = (float)part;
    int written = 0;
    for (int j = part - 1; j >= 0 && written < capacity; j--)
        rolls[written++] = (float)((double)cameraRoll + (double)j * (double)6.2832f / (double)copies);
    return written;
}

uint32_t tintColour(float post1) { return 0x22441100u | trackByte(post1); }

float rollRadius(int j, float var1)
{
    int c = 2 - j;
    float h = (float)(1.25 * (double)var1 - c * 0.5 / 3.0);
    float k = h * h;
    if (!(k > 0.0f)) k = 0.0f;
    if (k > 1.0f) k = 1.0f;
    return (1.3f - k) * 50.0f;
}

void placeRoll(Mesh* mesh, int j, float var1, float time)
{
    int e = 300 + 5 * j;
    int o = 120 - 60 * j;
    float u = (float)((randomTable[e] & 127) - 64);
    float w = (float)((randomTable[e + 1] & 127) - 64);
    float length = u * u + w * w;
    if (length != 0.0f) {
        float inverse = 1.0f / sqrtf(length);
        u *= inverse;
        w *= inverse;
    }
    float g = var1 - 1.0f;
    if (!(g > 0.0f)) g = 0.0f;
    if (g > 1.0f) g = 1.0f;
    float r = rollRadius(j, var1);
    float yaw = (float)((double)((randomTable[e + 4] & 255) + o) + 20.0 * (double)time);
    float roll = (float)((double)((randomTable[e + 2] & 255) + o) + 10.0 * (double)time);
    float pitch = (float)((double)((randomTable[e + 3] & 255) + o) + 30.0 * (double)time + 128.0 * (double)g);
    placeMesh(mesh, r * u, r * w, 0.0f, yaw, pitch, roll);
}

// Triangles at the front of the wedge, in its index order, that reach into
// the first share of its depth ramp: 1 + the last one with a corner that
// near. Copies turned about the view axis by 1/N of a turn each show only
// the sector where they are nearest, the first 1/N of their ramp; the rest
// of every copy was drawn only to fail the depth test there. Any triangle
// order gives a correct count (at worst all of them). The wedge sits at the
// eye, which looks along -z: a corner's distance ahead of it is -z.
uint32_t kaleidoTriangles(const Mesh* mesh, float share)
{
    const MeshVertex* v = mesh->vertices;
    if (!v || !mesh->indices || mesh->triangleCount == 0) return mesh->triangleCount;
    float nearest = -v[0].z, farthest = -v[0].z;
    for (uint32_t i = 1; i < mesh->vertexCount; i++) {
        if (-v[i].z < nearest) nearest = -v[i].z;
        if (-v[i].z > farthest) farthest = -v[i].z;
    }
    float limit = nearest + (farthest - nearest) * share;
    uint32_t count = 0;
    for (uint32_t t = 0; t < mesh->triangleCount; t++) {
        const uint16_t* corner = mesh->indices + 3 * (size_t)t;
        float distance = fminf(-v[corner[0]].z, fminf(-v[corner[1]].z, -v[corner[2]].z));
        if (!(distance > limit)) count = t + 1;
    }
    return count;
}

// The frame in fullTarget repeated around the view axis: the wedge sits at
// the eye with the camera's angles, one draw per copy. Each copy draws only
// the front of its ramp, a twentieth of its sector to spare (which the depth
// test sorts out as before; with none, pixels on the seams between copies
// go undrawn): the same picture for about one full-screen draw instead of
// one per copy.
static void drawKaleidoscope(int part)
{
    float rolls[MaxKaleidoCopies];
    int count = kaleidoRolls(part, activeCamera->roll, rolls, MaxKaleidoCopies);
    res.kaleidoMesh.textures[0] = renderTargets[fullTarget]->colorTexture;
    res.kaleidoMesh.x = activeCamera->x;
    res.kaleidoMesh.y = activeCamera->y;
    res.kaleidoMesh.z = activeCamera->z;
    res.kaleidoMesh.dirty = 1;
    uint32_t allTriangles = res.kaleidoMesh.triangleCount;
    if (count > 1) res.kaleidoMesh.triangleCount = kaleidoTriangles(&res.kaleidoMesh, 1.05f / (float)count);
    for (int i = 0; i < count; i++) {
        res.kaleidoMesh.yaw = activeCamera->yaw;
        res.kaleidoMesh.pitch = activeCamera->pitch;
        res.kaleidoMesh.roll = rolls[i];
        res.kaleidoMesh.dirty = 1;
        drawMesh(&res.kaleidoMesh);
    }
    res.kaleidoMesh.triangleCount = allTriangles;
}

static void drawRolls(float time, float var1)
{
    int seed = rand();
    setCamera(0.0f, 0.0f, -100.0f, -4.0f, 0.0f, 60.0f * var1, 5.0f, 500.0f, 50.0f);
    for (int j = 0; j < 3; j++) {
        placeRoll(&res.rollMesh, j, var1, time);
        drawMesh(&res.rollMesh);
    }
    srand((unsigned)seed);
}

void drawScene5(const ShowFrame* frame)
{
    float time = frame->time;
    int part = truncTrack(frame->tracks[TrackPart]);
    float var0 = frame->tracks[TrackVar0], var1 = frame->tracks[TrackVar1];
    float f = loopPhase(time);
    bindRenderTarget(fullTarget);
    glClear(GL_DEPTH_BUFFER_BIT);
    driveCamera(pressKeys, 3, var0);
    placeMesh(&res.pressMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseAnimation(&res.pressMesh, (float)(res.pressMesh.frameCount - 1) * f);
    drawMesh(&res.pressMesh);
    placeMesh(&res.pressBillMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseAnimation(&res.pressBillMesh, (float)(res.pressBillMesh.frameCount - 1) * f);
    drawMesh(&res.pressBillMesh);
    drawSkybox(0);
    unbindRenderTarget(fullTarget);

    beginSceneTarget();
    if (part <= 0) {
        int picture = renderTargets[fullTarget]->colorTexture;
        const RenderTarget* scene = renderTargets[sceneTarget];
        int texel = beginTexelReads(fullTarget, scene->width, scene->height);
        drawOverlayQuad(&picture, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Opaque, 0);
        endTexelReads(fullTarget, texel);
    } else {
        drawKaleidoscope(part);
    }
    int none = 0;
    // The tint at alpha 0 (post1 0, the whole scene as the timeline stands)
    // would leave every pixel as it is: not drawn.
    uint32_t tint = tintColour(frame->tracks[TrackPost1]);
    if ((tint & 0xFFu) != 0) drawOverlayQuad(&none, 0.5f, 0.5f, 1.0f, 1.0f, 1, tint, AlphaBlend, -1);
    glClear(GL_DEPTH_BUFFER_BIT);
    if (var1 > 0.0f && part > 0) drawRolls(time, var1);
    unbindRenderTarget(sceneTarget);

    // The green-grey lift is added by the colour correction as it reads the
    // picture: the same sum as an additive layer over it, one pass fewer.
    colourCorrectAndGrade(1.0f, 1.7f, 0.0f, 0x20302000u, 4);
}

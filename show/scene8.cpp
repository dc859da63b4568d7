// Scene 8, the sixteen greeting jugs: a field of jugs on logs, each labelled
// with one greeting; var1 breaks them one after another with a splash, while
// var0 moves the camera along thirty keys. Also the field layout scene 9 reuses.
#include "show/show_local.h"
#include <GL/glew.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

static const CameraKey greetKeys[30] = {
    {492.895f, -91.7066f, 226.231f, 200.929f, 14.1887f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {471.462f, -77.9699f, 280.562f, 200.929f, 14.1887f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {982.272f, -63.5336f, 337.66f, 143.633f, 12.4698f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {100.873f, -98.0349f, 181.647f, 149.363f, 12.4698f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {49.2476f, -91.4329f, 211.502f, 149.363f, 12.4698f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-996.31f, -30.6469f, -131.143f, 928.012f, 6.74023f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-114.955f, 36.0979f, 705.508f, 939.471f, 6.74023f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-114.955f, 14.25f, 708.09f, 939.471f, 6.74023f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {32.6968f, -64.6771f, 1148.62f, 532.67f, 7.31318f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {45.4524f, -52.0518f, 1246.99f, 532.67f, 7.31318f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-421.395f, -123.501f, 228.693f, 922.282f, 18.7723f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-57.4997f, 36.6894f, 765.475f, 1231.68f, 1.5836f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-448.002f, 13.0227f, 1377.02f, 1247.72f, 2.72951f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-496.859f, 13.5289f, 1387.64f, 1247.72f, 2.72951f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {95.6511f, 12.7042f, 128.533f, 1266.06f, 2.15656f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-57.4997f, 36.6894f, 765.475f, 1231.68f, 1.5836f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {655.257f, 30.8975f, 1134.93f, 1238.56f, 3.30247f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {667.179f, 30.8187f, 1133.57f, 1252.88f, 3.30247f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {329.54f, -1.01997f, 1159.02f, 197.272f, 2.72956f, 0.0f, 100.0f, 15000.0f, 40.0f},
    {134.863f, -17.7168f, 808.803f, 197.272f, 2.72956f, 0.0f, 100.0f, 15000.0f, 50.0f},
    {-922.353f, -124.566f, 1502.72f, 197.272f, 19.3453f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-927.401f, -124.85f, 1520.03f, 197.272f, 19.3453f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-757.769f, -9.15541f, 1390.0f, 203.002f, 13.0428f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {-835.922f, 3.16566f, 1576.12f, 203.002f, 13.0428f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {169.332f, -54.0799f, 1231.19f, 532.67f, 7.31318f, 0.0f, 100.0f, 15000.0f, 70.0f},
    {236.428f, 70.9629f, 740.869f, 174.354f, -3.0f, 0.0f, 100.0f, 15000.0f, 40.0f},
    {-33.0f, 70.0f, 773.0f, 174.0f, -3.0f, 0.0f, 100.0f, 15000.0f, 40.0f},
    {-160.0f, 45.0f, 473.0f, 194.0f, -3.0f, 0.0f, 100.0f, 15000.0f, 40.0f},
    {-8.0f, -29.0f, 322.0f, 188.0f, 4.0f, 0.0f, 100.0f, 15000.0f, 40.0f},
    {279.368f, 1444.45f, 3345.56f, 176.052f, -25.9183f, 0.0f, 100.0f, 15000.0f, 40.0f},
};

void jugPlace(int j, float* x, float* z)
{
    int k = 300 + 3 * j;
    *x = (float)(2 * (randomTable[k] % 1024) - 1024);
    *z = (float)(2 * (randomTable[k + 1] % 1024) - 1024);
}

// Nearest first, the depth test turns away the hidden pixels of the jugs and
// logs behind before they are shaded. All of them are opaque, so the picture
// is the same in any order but where two surfaces tie in the 16-bit depth
// buffer (a few hundred pixels of some scene 8 frames): there the one drawn
// first shows.
void jugsNearFirst(float eyeX, float eyeZ, int order[16])
{
    float distance[16];
    for (int j = 0; j < 16; j++) {
        float x = 0.0f, z = 0.0f;
        jugPlace(j, &x, &z);
        distance[j] = (x - eyeX) * (x - eyeX) + (z - eyeZ) * (z - eyeZ);
        int at = j;
        for (; at > 0 && distance[order[at - 1]] > distance[j]; at--) order[at] = order[at - 1];
        order[at] = j;
    }
}

int jugState(int i, float var1, float* progress)
{
    // Far outside the field's range every jug is whole or broken alike; the
    // clamp keeps the truncation defined. NaN counts as 0.
    if (!(var1 >= -2.0f)) var1 = var1 < 0.0f ? -2.0f : 0.0f;
    if (var1 > 17.0f) var1 = 17.0f;
    int n = (int)var1;
    float t = var1 - (float)n;
    if (!(t > 0.0f)) t = 0.0f;
    if (t > 1.0f) t = 1.0f;
    *progress = i == n ? t : 0.0f;
    if (i < n) return JugBroken;
    return i == n ? JugBreaking : JugWhole;
}

// A broken jug rests in one of its poses, chosen by the table entry C.
void poseBrokenJug(Mesh* broken, int j)
{
    if (broken->frameCount < 2) {
        poseAnimation(broken, 0.0f);
        return;
    }
    poseAnimation(broken, (float)(randomTable[302 + 3 * j] % (broken->frameCount - 1)));
}

void drawScene8(const ShowFrame* frame)
{
    float var0 = frame->tracks[TrackVar0], var1 = frame->tracks[TrackVar1];
    Mesh* greeting = &res.jugMeshes[1];
    Mesh* broken = &res.jugMeshes[2];
    Mesh* intact = &res.jugMeshes[3];
    beginSceneTarget();
    driveCamera(greetKeys, 30, var0);
    // Whole jugs are the intact jug drawn with the greeting label and program.
    int greetingLook[sizeof intact->textures / sizeof *intact->textures];
    memcpy(greetingLook, intact->textures, sizeof greetingLook);
    greetingLook[1] = greeting->textures[1];

    int seed = rand();
    int splash = 0;
    int order[16];
    jugsNearFirst(activeCamera->x, activeCamera->z, order);
    for (int k = 0; k < 16; k++) {
        int j = order[k];
        int i = 15 - j;
        float x = 0.0f, z = 0.0f, t = 0.0f;
        jugPlace(j, &x, &z);
        Mesh* jug = intact;
        int state = jugState(i, var1, &t);
        if (state == JugBroken) {
            jug = broken;
            poseBrokenJug(broken, j);
        } else if (state == JugBreaking) {
            jug = greeting;
            poseAnimation(greeting, (float)(greeting->frameCount - 1) * t);
            placeMesh(&res.splashMesh, x, 0.0f, z, 0.0f, 0.0f, 0.0f);
            poseAnimation(&res.splashMesh, (float)(res.splashMesh.frameCount - 1) * t);
            splash = 1;
        }
        // What lies wholly beside the view is not drawn: llvmpipe would
        // transform and clip all its triangles for no pixel.
        placeMesh(&res.logMesh, x, -187.0f, z, 0.0f, 0.0f, 0.0f);
        if (meshInView(&res.logMesh)) drawMesh(&res.logMesh);
        placeMesh(jug, x, 0.0f, z, 0.0f, 0.0f, 0.0f);
        if (!meshInView(jug)) continue;
        queueUniform("grt", (float)i);
        if (jug == intact)
            drawMeshWith(intact, greeting->program, greetingLook);
        else
            drawMesh(jug);
    }
    srand((unsigned)seed);
    drawSkybox(0);
    if (splash) drawAdditiveSplash();
    postProcessFrame(1);
}

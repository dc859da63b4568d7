// Scene 4, the jug and the bills: back on the log, the jug bursts under var1
// and a cloud of a hundred banknotes spreads and spins out of it; the camera
// follows seven keys by var0, or by the part track whenever it is non-zero.
#include "show/show_local.h"
#include <math.h>
#include <stdlib.h>

static const CameraKey billKeys[7] = {
    {-33.0f, 70.0f, 773.0f, 174.0f, -3.0f, 0.0f, 300.0f, 1000.0f, 40.0f},
    {-238.866f, 68.8677f, 794.605f, 174.0f, -3.0f, 0.0f, 300.0f, 1000.0f, 40.0f},
    {-323.351f, 19.4898f, 494.815f, 174.0f, -3.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-97.0304f, 1.94922f, 229.176f, 174.0f, 16.4805f, 0.0f, 100.0f, 1000.0f, 40.0f},
    {-236.92f, 172.968f, 285.441f, 134.466f, -16.178f, -13.751f, 100.0f, 1000.0f, 40.0f},
    {-153.957f, -62.9409f, 321.635f, 86.9106f, 5.59435f, 3.43769f, 100.0f, 1000.0f, 40.0f},
    {-323.351f, 19.4898f, 494.815f, 174.0f, -3.0f, 0.0f, 100.0f, 1000.0f, 40.0f},
};

float billSpread(float s)
{
    // Single-precision constants widened; the power in double, kept as float.
    return (float)pow((double)s - (double)0.1f, (double)0.7f);
}

void placeBill(Mesh* mesh, int i, float spread)
{
    int k = 3 * i;
    int A = (int)(randomTable[k] % 1024) - 512;
    int Bv = (int)(randomTable[k + 1] % 1024) - 512;
    int Cv = (int)(randomTable[k + 2] % 1024) - 512;
    float a = (float)A / 512.0f;
    float P = (float)Bv * fabsf(a) * 0.5f;
    float Q = (float)Cv * fabsf(a);
    double m200 = 200.0 * (double)spread;
    double m400 = 400.0 * (double)spread;
    float pitch = (float)((double)A + m200);
    float roll = (float)((double)Q - m400);

    mesh->textures[0] = res.texBills[(99 - i) % 4];
    placeMesh(mesh, (float)A * spread, P * spread, Q * spread, P, pitch, roll);
}

void drawScene4(const ShowFrame* frame)
{
    float var0 = frame->tracks[TrackVar0];
    Mesh* jug = &res.jugMeshes[0];
    Mesh* intact = &res.jugMeshes[3];
    float s = frame->tracks[TrackVar1];
    if (!(s > 0.0f)) s = 0.0f;
    if (s > 1.0f) s = 1.0f;
    float p = frame->tracks[TrackPart];

    beginSceneTarget();
    if (p == 0.0f) {
        driveCamera(billKeys, 7, var0);
    } else {
        driveCamera(billKeys, 7, p);
        s += 0.5f;
    }

    placeMesh(&res.logMesh, 0.0f, -180.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    drawMesh(&res.logMesh);

    Mesh* shown = (s == 0.0f) ? intact : jug;
    placeMesh(shown, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseScrub(jug, s > 1.0f ? 1.0f : s);
    drawMesh(shown);

    int seed = rand();
    // Below 0.1 the spread has no real value: no bill is drawn at all.
    if (s >= 0.1f) {
        float m = billSpread(s);
        for (int i = 0; i < 100; i++) {
            placeBill(&res.billMesh, i, m);
            drawMesh(&res.billMesh);
        }
    }
    srand((unsigned)seed);
    drawSkybox(0);
    postProcessFrame(2);
}

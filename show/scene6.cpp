// Scene 6, the gun, the shot and the bullet: before a red backdrop the money
// gun flies together, the pistol takes its place and fires (var1 past 5), and
// from part 2 the bullet flies down the z axis into a spray of blood.
#include "show/show_local.h"
#include <GL/glew.h>

static const CameraKey gunKeys[5] = {
    {300.0f, 30.0f, -200.0f, 45.0f, -4.0f, 0.0f, 0.9f, 1000.0f, 52.0f},
    {200.0f, 30.0f, 155.0f, 90.0f, -8.0f, 10.0f, 0.9f, 1000.0f, 52.0f},
    {180.0f, 15.0f, 350.0f, 135.0f, -4.0f, 5.0f, 0.9f, 1000.0f, 52.0f},
    {120.0f, 15.0f, 300.0f, 115.0f, -4.0f, 5.0f, 0.9f, 1000.0f, 52.0f},
    {89.6574f, 9.00249f, 347.623f, 143.648f, -4.0f, 5.0f, 0.9f, 1000.0f, 52.0f},
};

float backdropHeight(float aspect) { return 0.75f / aspect; }

// Bullet flight g = clamp(part - 2, 0, 1): z from 225 to 375, fastest at the end.
float bulletZ(float part)
{
    float g = part - 2.0f;
    if (!(g > 0.0f)) g = 0.0f;
    if (g > 1.0f) g = 1.0f;
    return (float)(150.0 * (double)g * (double)g + 225.0);
}

// The money gun flying together, or the pistol: opaque.
static void drawGun(float part, float var1)
{
    float z = -1.5f * var1;
    float pitch = var1 / 6.0f;
    if (part < 1.0f) {
        float q = part > 0.0f ? part : 0.0f;
        placeMesh(&res.gunMesh, 0.0f, 0.0f, z, 0.0f, pitch, 0.0f);
        poseAnimation(&res.gunMesh, (1.0f - q) * (float)(res.gunMesh.frameCount - 1));
        drawMesh(&res.gunMesh);
        return;
    }
    placeMesh(&res.m47Mesh, 0.0f, 0.0f, z, 0.0f, pitch, 0.0f);
    drawMesh(&res.m47Mesh);
}

// The pistol's shot, added over everything behind it once var1 passes 5.
static void drawShot(float part, float var1)
{
    if (part < 1.0f || !(var1 > 5.0f)) return;
    placeMesh(&res.shotMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    drawAdditive(&res.shotMesh);
}

static void drawBulletAndBlood(float part)
{
    float g = part - 2.0f;
    if (g > 1.0f) g = 1.0f;
    Mesh* bullet = &res.rodMeshes[2];
    placeMesh(&res.bloodMesh, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    poseAnimation(&res.bloodMesh, (float)(res.bloodMesh.frameCount - 1) * g);
    bullet->textures[1] = bullet->textures[0];
    placeMesh(bullet, 0.0f, -1.0f, bulletZ(part), 0.0f, 0.0f, 0.0f);
    queueUniform("chrome", 1.0f);
    drawMesh(bullet);
    glDisable(GL_CULL_FACE);
    drawAdditive(&res.bloodMesh);
    glEnable(GL_CULL_FACE);
}

void drawScene6(const ShowFrame* frame)
{
    float part = frame->tracks[TrackPart];
    beginSceneTarget();
    driveCamera(gunKeys, 5, frame->tracks[TrackVar0]);
    // The gun first: the sky, and the red backdrop blended over the sky, lie
    // behind it and shade only what it leaves (the picture they gave drawn
    // first), then the shot adds its light over all three.
    drawGun(part, frame->tracks[TrackVar1]);
    drawSkybox(0);
    drawOverlayQuadBehind(&res.texBgRed, 0.5f, 0.5f, 1.0f, backdropHeight(camera.aspect), 1, 0xFFFFFFA0u, AlphaBlend,
                          -1);
    drawShot(part, frame->tracks[TrackVar1]);
    if (part > 2.0f) drawBulletAndBlood(part);
    unbindRenderTarget(sceneTarget);

    colourCorrectAndGrade(1.66f, 0.76f, 0.033f, 0, 2);
}

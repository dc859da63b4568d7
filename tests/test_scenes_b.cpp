// Scenes 5 to 9: the arithmetic of loops, copies, rolls, flights, jug states and
// fades; what the routines leave in the records; the uniforms that reach the
// show's programs; small renders of each scene; the show running to its end.
#include "show/show.h"
#include "render/render.h"
#include "post/post.h"
#include "assets/assets.h"
#include "sync/sync.h"
#include "app/app.h"
#include "support/gl_context.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>

static float rad(float degrees) { return DEG2RAD(degrees); }

// ---- arithmetic --------------------------------------------------------------------

TEST(PressArithmetic, LoopPhaseAndKaleidoscopeCopies)
{
    EXPECT_NEAR(loopPhase(1.3f), 0.2f, 1e-5f);
    EXPECT_EQ(loopPhase(0.0f), 0.0f);
    EXPECT_NEAR(loopPhase(0.3f), 0.2f, 1e-5f);

    float rolls[64];
    EXPECT_EQ(kaleidoRolls(0, 0.5f, rolls, 64), 0);
    EXPECT_EQ(kaleidoRolls(-3, 0.5f, rolls, 64), 0);
    ASSERT_EQ(kaleidoRolls(1, 0.25f, rolls, 64), 1);
    EXPECT_EQ(rolls[0], 0.25f);                       // the camera's own roll
    ASSERT_EQ(kaleidoRolls(6, 0.25f, rolls, 64), 6);
    for (int k = 0; k < 6; k++)                       // offsets 5, 4, ... 0 sixths
        EXPECT_FLOAT_EQ(rolls[k], (float)(0.25 + (5 - k) * (double)6.2832f / 6.0)) << k;
    EXPECT_EQ(rolls[5], 0.25f);
    // A runaway track is held to a bounded number of draws.
    EXPECT_EQ(kaleidoRolls(100000, 0.0f, rolls, 64), 64);
    EXPECT_EQ(kaleidoRolls(6, 0.0f, rolls, 4), 4);

    EXPECT_EQ(tintColour(1.0f), 0x224411FFu);
    EXPECT_EQ(tintColour(0.0f), 0x22441100u);
    EXPECT_EQ(tintColour(0.5f), 0x2244117Fu);
    EXPECT_EQ(tintColour(3.0f), 0x224411FFu);         // clamped, never into blue
    EXPECT_EQ(tintColour(-1.0f), 0x22441100u);
}

TEST(PressArithmetic, RollRadiiSpreadAndTumble)
{
    EXPECT_NEAR(rollRadius(0, 0.8f), 42.7778f, 1e-4f);
    EXPECT_NEAR(rollRadius(1, 0.8f), 30.2778f, 1e-4f);
    EXPECT_EQ(rollRadius(2, 0.8f), 14.999998f);       // 1.3 in single precision
    // Each roll is widest (65) where its H is 0.
    EXPECT_FLOAT_EQ(rollRadius(2, 0.0f), 65.0f);
    EXPECT_FLOAT_EQ(rollRadius(0, (float)(1.0 / 3.0 / 1.25)), 65.0f);

    Mesh roll;
    memset(&roll, 0, sizeof roll);
    for (int j = 0; j < 3; j++) {
        int e = 300 + 5 * j, o = 120 - 60 * j;
        placeRoll(&roll, j, 0.8f, 0.0f);
        EXPECT_NEAR(sqrtf(roll.x * roll.x + roll.y * roll.y), rollRadius(j, 0.8f), 1e-3f) << j;
        EXPECT_EQ(roll.z, 0.0f);
        EXPECT_FLOAT_EQ(roll.pitch, rad((float)((randomTable[e + 3] & 255) + o))) << j;   // G = 0
        EXPECT_FLOAT_EQ(roll.yaw, rad((float)((randomTable[e + 4] & 255) + o)));
        EXPECT_FLOAT_EQ(roll.roll, rad((float)((randomTable[e + 2] & 255) + o)));
        EXPECT_EQ(roll.dirty, 1);
        // var1 1.5: G = 0.5 adds 64 degrees to the pitch; time turns all three.
        placeRoll(&roll, j, 1.5f, 2.0f);
        EXPECT_FLOAT_EQ(roll.pitch, rad((float)((randomTable[e + 3] & 255) + o + 60 + 64))) << j;
        EXPECT_FLOAT_EQ(roll.yaw, rad((float)((randomTable[e + 4] & 255) + o + 40)));
        EXPECT_FLOAT_EQ(roll.roll, rad((float)((randomTable[e + 2] & 255) + o + 20)));
    }
}

TEST(GunArithmetic, BackdropAndBulletFlight)
{
    EXPECT_FLOAT_EQ(backdropHeight(1080.0f / 1920.0f), 1.3333333f);
    EXPECT_FLOAT_EQ(backdropHeight(0.75f), 1.0f);
    EXPECT_EQ(bulletZ(2.5f), 262.5f);
    EXPECT_EQ(bulletZ(3.0f), 375.0f);
    EXPECT_EQ(bulletZ(4.0f), 375.0f);
    EXPECT_EQ(bulletZ(2.0f), 225.0f);
    EXPECT_EQ(bulletZ(-5.0f), 225.0f);
    EXPECT_EQ(bulletZ(NAN), 225.0f);
}

TEST(RodArithmetic, WobbleStartsAtRestAndStaysSmall)
{
    float a = 1.0f, b = 1.0f;
    rodWobble(0.0f, &a, &b);
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(b, 0.0f);
    for (int i = 1; i < 400; i++) {
        rodWobble(i * 0.013f, &a, &b);
        ASSERT_LE(fabsf(a), 0.4f);
        ASSERT_LE(fabsf(b), 0.4f);
    }
    rodWobble(0.01f, &a, &b);
    EXPECT_FLOAT_EQ(a, 0.2f * (sinf(1.0f) + sinf(1.4f) * sinf(0.8f)));
    EXPECT_FLOAT_EQ(b, 0.2f * (sinf(1.2f) + sinf(1.5f) * sinf(0.9f)));
}

TEST(GreetingArithmetic, JugStatesByVar1)
{
    struct Case { float var1; int breaking; float t; } cases[] = {
        {3.5f, 3, 0.5f}, {0.0f, 0, 0.0f}, {-0.5f, 0, 0.0f}, {-1.0f, -1, 0.0f},
        {-7.0f, -1, 0.0f}, {16.0f, 16, 0.0f}, {15.999f, 15, 0.999f}, {1e30f, 17, 0.0f},
        {NAN, 0, 0.0f},
    };
    for (const Case& c : cases)
        for (int i = 0; i < 16; i++) {
            float t = -1.0f;
            int state = jugState(i, c.var1, &t);
            int expected = i < c.breaking ? JugBroken : (i == c.breaking ? JugBreaking : JugWhole);
            ASSERT_EQ(state, expected) << "var1 " << c.var1 << " jug " << i;
            EXPECT_NEAR(t, i == c.breaking ? c.t : 0.0f, 1e-3f) << "var1 " << c.var1 << " jug " << i;
        }

    // The sixteen places: even coordinates on the square, all different.
    for (int j = 0; j < 16; j++) {
        float x = 0.0f, z = 0.0f;
        jugPlace(j, &x, &z);
        EXPECT_EQ(x, (float)(2 * (randomTable[300 + 3 * j] % 1024) - 1024));
        EXPECT_EQ(z, (float)(2 * (randomTable[301 + 3 * j] % 1024) - 1024));
        for (int k = 0; k < j; k++) {
            float x2 = 0.0f, z2 = 0.0f;
            jugPlace(k, &x2, &z2);
            EXPECT_FALSE(x == x2 && z == z2) << j << " and " << k;
        }
    }
}

TEST(CloudArithmetic, GlowFlashAndDarkening)
{
    EXPECT_NEAR(shroomGlow(0.5f), 0.3883483f, 1e-6f);
    EXPECT_NEAR(shroomGlow(0.1f), 1.107128f, 1e-5f);
    EXPECT_EQ(shroomGlow(1.0f), 0.0f);
    EXPECT_EQ(shroomGlow(0.0f), 3.0f);
    EXPECT_EQ(shroomGlow(-1.0f), 3.0f);               // below 0 counts as 0
    EXPECT_EQ(shroomGlow(NAN), 3.0f);

    EXPECT_EQ(flashColour(shroomGlow(0.5f)), 0x31313131u);   // byte 49
    EXPECT_EQ(flashColour(shroomGlow(0.1f)), 141u * 0x01010101u);
    EXPECT_EQ(flashColour(shroomGlow(1.0f)), 0u);
    // Near var1 0 the byte would pass 255: clamped, no carry into the next channel.
    EXPECT_EQ(flashColour(shroomGlow(0.0f)), 0xFFFFFFFFu);
    EXPECT_EQ(flashColour(shroomGlow(0.003f)), 0xFFFFFFFFu);

    EXPECT_EQ(darkenColour(1.5f), 0x7F7F7F7Fu);
    EXPECT_EQ(darkenColour(2.0f), 0u);
    EXPECT_EQ(darkenColour(1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(darkenColour(2.5f), 0u);                // past the end: stays black
    EXPECT_EQ(darkenColour(0.5f), 0xFFFFFFFFu);
}

// ---- what the routines leave behind (real GL, stand-in meshes) -----------------------

static const int RecordWidth = 96, RecordHeight = 54;

static bool sceneContext(void)
{
    static int state = -1;
    if (state >= 0) return state == 1;
    state = 0;
    if (!testGLContext(RecordWidth, RecordHeight)) return false;
    windowWidth = RecordWidth;
    windowHeight = RecordHeight;
    setCameraAspect(RecordWidth, RecordHeight);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glEnable(GL_BLEND);
    initPostProcessing();
    if (sceneTarget < 0 || fullTarget < 0 || halfTarget < 0) return false;
    tweakMode = -1;
    framePresented = 0;
    state = 1;
    return true;
}

// A stand-in animated mesh of three vertices per frame whose x in frame f is f:
// the blended slot tells the frame position the scene asked for. The record is
// given back by restore().
struct Stand {
    Mesh* mesh;
    Mesh saved;
    Stand(Mesh* m, uint32_t frames) : mesh(m), saved(*m)
    {
        memset(m, 0, sizeof *m);
        m->vertexCount = 3;
        m->triangleCount = 1;
        m->frameCount = frames;
        m->vertices = (MeshVertex*)calloc((frames + 1) * 3, sizeof(MeshVertex));
        m->indices = (uint16_t*)calloc(3, sizeof(uint16_t));
        for (uint32_t f = 0; f < frames; f++)
            for (int v = 0; v < 3; v++) m->vertices[f * 3 + v].x = (float)f;
        for (int i = 0; i < 5; i++) m->textures[i] = -1;
        m->x = 999.0f;
    }
    ~Stand()
    {
        free(mesh->vertices);
        free(mesh->indices);
        *mesh = saved;
    }
    float pose() const { return mesh->vertices[mesh->frameCount * 3].x; }
};

static void setTracks(float part, float var0, float var1, float post1, float post2)
{
    syncValues[TrackPart] = part;
    syncValues[TrackVar0] = var0;
    syncValues[TrackVar1] = var1;
    syncValues[TrackPost1] = post1;
    syncValues[TrackPost2] = post2;
}

TEST(SceneRecordsB, PressLoopKaleidoscopeAndRolls)
{
    ASSERT_TRUE(sceneContext());
    Stand press(&pressMesh, 11), bills(&pressBillMesh, 6);
    setTracks(0, 0, 0, 0, 0);

    // time 1.3: both loops at 20 % of their frames; part 0 is a plain copy.
    kaleidoMesh.x = 999.0f;
    rollMesh.x = 999.0f;
    drawScene5(1.3f, 0, 0.0f, 0.8f);
    EXPECT_NEAR(press.pose(), 2.0f, 1e-4f);
    EXPECT_NEAR(bills.pose(), 1.0f, 1e-4f);
    EXPECT_EQ(pressMesh.x, 0.0f);
    EXPECT_EQ(kaleidoMesh.x, 999.0f);                 // no kaleidoscope
    EXPECT_EQ(rollMesh.x, 999.0f);                    // no rolls without copies
    EXPECT_NEAR(camera.x, 440.0f, 1e-3f);

    // part 1: one copy at the camera, with the camera's angles and the frame.
    drawScene5(0.0f, 1, 1.0f, 0.0f);
    EXPECT_NEAR(camera.x, 423.0f, 1e-3f);
    EXPECT_EQ(kaleidoMesh.x, camera.x);
    EXPECT_EQ(kaleidoMesh.z, camera.z);
    EXPECT_EQ(kaleidoMesh.yaw, camera.yaw);
    EXPECT_EQ(kaleidoMesh.pitch, camera.pitch);
    EXPECT_EQ(kaleidoMesh.roll, camera.roll);
    EXPECT_EQ(kaleidoMesh.textures[0], renderTargets[fullTarget]->colorTexture);

    // part 3, var1 0: no rolls, the camera stays on the path (key 1 .. 2).
    drawScene5(0.0f, 3, 1.5f, 0.0f);
    EXPECT_EQ(rollMesh.x, 999.0f);
    EXPECT_NEAR(camera.x, 345.0f, 1e-3f);
    EXPECT_NEAR(camera.fov, 65.0f, 1e-4f);

    // part 3, var1 0.8: the rolls in front of the roll camera; the last one
    // drawn (roll 2) at radius 14.999998.
    drawScene5(0.0f, 3, 1.5f, 0.8f);
    EXPECT_NEAR(sqrtf(rollMesh.x * rollMesh.x + rollMesh.y * rollMesh.y), 14.999998f, 1e-4f);
    EXPECT_NEAR(camera.z, -100.0f, 1e-4f);
    EXPECT_NEAR(camera.fov, 50.0f, 1e-4f);
    EXPECT_NEAR(camera.roll, rad(48.0f), 1e-5f);
    EXPECT_EQ(kaleidoMesh.roll, 0.0f);                // copy 0 last, at the path's roll

    // The camera drivers clamp outside the three keys.
    drawScene5(0.0f, 0, 7.0f, 0.0f);
    EXPECT_NEAR(camera.x, 267.0f, 1e-3f);
    drawScene5(0.0f, 0, -1.0f, 0.0f);
    EXPECT_NEAR(camera.x, 440.0f, 1e-3f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecordsB, GunChoiceShotAndBullet)
{
    ASSERT_TRUE(sceneContext());
    Stand gun(&gunMesh, 5), blood(&bloodMesh, 5);
    Mesh* bullet = &rodMeshes[2];
    Mesh savedBullet = *bullet;
    bullet->textures[0] = 77;
    setTracks(0, 0, 0, 0, 0);

    // part 0.25, var1 3: the animated gun at 75 % of its frames, no bullet.
    m47Mesh.x = 999.0f;
    bullet->x = 999.0f;
    drawScene6(0.25f, 0.0f, 3.0f);
    EXPECT_FLOAT_EQ(gun.pose(), 3.0f);
    EXPECT_EQ(gunMesh.x, 0.0f);
    EXPECT_FLOAT_EQ(gunMesh.z, -4.5f);
    EXPECT_FLOAT_EQ(gunMesh.pitch, rad(0.5f));
    EXPECT_EQ(m47Mesh.x, 999.0f);
    EXPECT_EQ(bullet->x, 999.0f);
    drawScene6(-2.0f, 0.0f, 0.0f);                    // negative part: the last frame
    EXPECT_FLOAT_EQ(gun.pose(), 4.0f);

    // part 1 exactly: the static gun; no flash at var1 5, a flash at 5.01.
    gunMesh.x = 999.0f;
    shotMesh.x = 999.0f;
    drawScene6(1.0f, 0.0f, 5.0f);
    EXPECT_EQ(gunMesh.x, 999.0f);
    EXPECT_EQ(m47Mesh.x, 0.0f);
    EXPECT_FLOAT_EQ(m47Mesh.z, -7.5f);
    EXPECT_EQ(shotMesh.x, 999.0f);
    drawScene6(1.5f, 0.0f, 5.01f);
    EXPECT_EQ(shotMesh.x, 0.0f);
    EXPECT_EQ(bullet->x, 999.0f);

    // part 2: still no bullet; 2.5 halfway; 4 at the end.
    drawScene6(2.0f, 1.0f, 3.0f);
    EXPECT_EQ(bullet->x, 999.0f);
    EXPECT_EQ(blood.mesh->x, 999.0f);
    drawScene6(2.5f, 1.0f, 3.0f);
    EXPECT_EQ(bullet->z, 262.5f);
    EXPECT_EQ(bullet->y, -1.0f);
    EXPECT_EQ(bullet->textures[1], 77);
    EXPECT_FLOAT_EQ(blood.pose(), 2.0f);
    EXPECT_EQ(bloodMesh.x, 0.0f);
    drawScene6(4.0f, 3.5f, 3.0f);
    EXPECT_EQ(bullet->z, 375.0f);
    EXPECT_FLOAT_EQ(blood.pose(), 4.0f);
    EXPECT_NEAR(camera.x, (120.0f + 89.6574f) * 0.5f, 1e-3f);
    drawScene6(3.0f, 9.0f, 3.0f);                     // past the keys: key 4
    EXPECT_NEAR(camera.x, 89.6574f, 1e-3f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    *bullet = savedBullet;
}

TEST(SceneRecordsB, RodOrBulletWobbleTrailAndCamera)
{
    ASSERT_TRUE(sceneContext());
    Stand rod(&rodMeshes[1], 11);
    Mesh* bullet = &rodMeshes[0];
    Mesh savedBullet = *bullet;
    bullet->textures[0] = 55;
    setTracks(0, 0, 0, 0, 0);

    drawScene7(1.0f, 0.25f, 0.0f);
    EXPECT_FLOAT_EQ(rod.pose(), 7.5f);
    drawScene7(1.0f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(rod.pose(), 0.0f);
    drawScene7(1.0f, 3.0f, 0.0f);
    EXPECT_FLOAT_EQ(rod.pose(), 0.0f);

    // part 0 at time 0: the bullet at the origin, the trail 7 behind it.
    rodMeshes[1].x = 999.0f;
    drawScene7(0.0f, 0.0f, 2.5f);
    EXPECT_EQ(rodMeshes[1].x, 999.0f);
    EXPECT_EQ(bullet->x, 0.0f);
    EXPECT_EQ(bullet->y, 0.0f);
    EXPECT_EQ(bullet->z, 0.0f);
    EXPECT_EQ(bullet->textures[1], 55);
    EXPECT_EQ(trailMesh.z, -7.0f);
    EXPECT_EQ(trailMesh.y, 0.0f);
    EXPECT_EQ(trailMesh.textures[0], renderTargets[fullTarget]->colorTexture);
    // var0 2.5: halfway between keys 2 and 3.
    EXPECT_NEAR(camera.x, 75.0f, 1e-3f);
    EXPECT_NEAR(camera.y, 25.0f, 1e-3f);
    EXPECT_NEAR(camera.z, -600.0f, 1e-3f);
    EXPECT_NEAR(camera.yaw, rad(30.0f), 1e-5f);

    // Later the object and the trail move together by the wobble.
    float a = 0.0f, b = 0.0f;
    rodWobble(3.7f, &a, &b);
    drawScene7(3.7f, -1.0f, 0.0f);
    EXPECT_EQ(bullet->y, b);
    EXPECT_EQ(bullet->z, a);
    EXPECT_EQ(trailMesh.z, a - 7.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    *bullet = savedBullet;
}

static void expectAt(const Mesh* mesh, int j, float y)
{
    float x = 0.0f, z = 0.0f;
    jugPlace(j, &x, &z);
    EXPECT_EQ(mesh->x, x) << "place " << j;
    EXPECT_EQ(mesh->y, y) << "place " << j;
    EXPECT_EQ(mesh->z, z) << "place " << j;
}

TEST(SceneRecordsB, GreetingJugsBreakOneByOne)
{
    ASSERT_TRUE(sceneContext());
    Stand greeting(&jugMeshes[1], 5), broken(&jugMeshes[2], 4), splash(&splashMesh, 9);
    Mesh* intact = &jugMeshes[3];
    Mesh savedIntact = *intact;
    jugMeshes[1].textures[1] = 4343;
    jugMeshes[1].program = 0;
    setTracks(0, 0, 0, 0, 0);

    // 3.5: jug 3 (drawn at place 12) half broken, with the splash there.
    drawScene8(0.0f, 3.5f);
    expectAt(&jugMeshes[1], 12, 0.0f);
    expectAt(&splashMesh, 12, 0.0f);
    EXPECT_FLOAT_EQ(greeting.pose(), 2.0f);
    EXPECT_FLOAT_EQ(splash.pose(), 4.0f);
    expectAt(&jugMeshes[2], 15, 0.0f);                // the last broken one drawn: jug 0
    EXPECT_FLOAT_EQ(broken.pose(), (float)(randomTable[302 + 3 * 15] % 3));
    expectAt(intact, 11, 0.0f);                       // the last whole one: jug 4
    expectAt(&logMesh, 15, -187.0f);                  // jug 0 last of all
    EXPECT_EQ(intact->textures[1], 4343);
    EXPECT_EQ(intact->program, 0);

    // 0 and -0.5: jug 0 breaking at its first frame; the rest whole.
    for (float v : {0.0f, -0.5f}) {
        jugMeshes[2].x = 999.0f;
        drawScene8(0.0f, v);
        expectAt(&jugMeshes[1], 15, 0.0f);
        EXPECT_EQ(greeting.pose(), 0.0f) << v;
        EXPECT_EQ(splash.pose(), 0.0f) << v;
        EXPECT_EQ(jugMeshes[2].x, 999.0f) << v;
        expectAt(intact, 14, 0.0f);
    }

    // -1: all whole, no splash; 16: all broken, no splash.
    jugMeshes[1].x = 999.0f;
    splashMesh.x = 999.0f;
    drawScene8(0.0f, -1.0f);
    EXPECT_EQ(jugMeshes[1].x, 999.0f);
    EXPECT_EQ(splashMesh.x, 999.0f);
    expectAt(intact, 15, 0.0f);
    intact->x = 999.0f;
    drawScene8(0.0f, 16.0f);
    EXPECT_EQ(jugMeshes[1].x, 999.0f);
    EXPECT_EQ(splashMesh.x, 999.0f);
    EXPECT_EQ(intact->x, 999.0f);
    expectAt(&jugMeshes[2], 15, 0.0f);

    // 15.999: jug 15, the first drawn, almost broken.
    drawScene8(0.0f, 15.999f);
    expectAt(&jugMeshes[1], 0, 0.0f);
    EXPECT_NEAR(greeting.pose(), 4.0f * 0.999f, 1e-3f);

    // The camera: 28.5 halfway between keys 28 and 29; beyond the path, key 29.
    drawScene8(28.5f, 0.0f);
    EXPECT_NEAR(camera.x, (-8.0f + 279.368f) * 0.5f, 1e-3f);
    EXPECT_NEAR(camera.y, (-29.0f + 1444.45f) * 0.5f, 1e-2f);
    drawScene8(31.0f, 0.0f);
    EXPECT_NEAR(camera.z, 3345.56f, 1e-2f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    *intact = savedIntact;
}

TEST(SceneRecordsB, CloudSceneObjectsAndState)
{
    ASSERT_TRUE(sceneContext());
    Stand nuke(&jugMeshes[4], 5), stem(&shroomMeshes[0], 9), top(&shroomMeshes[1], 5);
    Stand broken(&jugMeshes[2], 4);
    setTracks(0, 0, 0, 1.0f, 1.5f);
    glClearColor(0.1f, 0.2f, 0.3f, 0.4f);

    // part -0.5: the nuke jug halfway, no cloud.
    drawScene9(-0.5f, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(nuke.pose(), 2.0f);
    EXPECT_EQ(jugMeshes[4].y, 100.0f);
    EXPECT_EQ(shroomMeshes[0].x, 999.0f);
    expectAt(&jugMeshes[2], 15, 100.0f);
    EXPECT_EQ(logMesh.y, -87.0f);
    EXPECT_EQ(logMesh.x, 0.0f);                       // the centre log drawn last
    drawScene9(-3.0f, 0.0f, 1.0f);
    EXPECT_EQ(nuke.pose(), 0.0f);

    // part 0.5: the stem, scrubbed by the root of var1; 1.5: the top.
    drawScene9(0.5f, 1.0f, 0.25f);
    EXPECT_EQ(shroomMeshes[0].x, 0.0f);
    EXPECT_FLOAT_EQ(stem.pose(), 4.0f);
    EXPECT_EQ(shroomMeshes[1].x, 999.0f);
    drawScene9(1.5f, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(top.pose(), 4.0f);
    drawScene9(0.5f, 1.0f, -2.0f);                    // below 0: the first frame
    EXPECT_EQ(stem.pose(), 0.0f);

    // The scene's red clear does not leak into later clears.
    GLfloat clear[4] = {0, 0, 0, 0};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.1f);
    EXPECT_FLOAT_EQ(clear[2], 0.3f);
    EXPECT_FLOAT_EQ(clear[3], 0.4f);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);

    drawScene9(2.0f, 2.5f, 1.0f);
    EXPECT_NEAR(camera.x, (1261.0f + 473.875f) * 0.5f, 1e-2f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecordsB, LayoutScenesReseedTheGeneratorWithTheirOwnDraw)
{
    ASSERT_TRUE(sceneContext());
    setTracks(0, 0, 0, 0, 0);
    srand(4321);
    int drawn = rand();
    srand((unsigned)drawn);
    int expected = rand();

    srand(4321);
    drawScene8(1.0f, 2.5f);
    EXPECT_EQ(rand(), expected);
    srand(4321);
    drawScene9(0.5f, 1.0f, 0.5f);
    EXPECT_EQ(rand(), expected);
    srand(4321);
    drawScene5(1.0f, 2, 0.5f, 0.5f);                  // rolls drawn
    EXPECT_EQ(rand(), expected);
    srand(4321);
    drawScene5(1.0f, 2, 0.5f, 0.0f);                  // no rolls: no draw at all
    EXPECT_EQ(rand(), drawn);
}

// ---- the show's own data ---------------------------------------------------------------

static bool showData(void)
{
    static int state = -1;
    if (state >= 0) return state == 1;
    state = 0;
    if (!sceneContext()) return false;
    if (chdir(KESTREL_BINARY_DIR) != 0) return false;
    if (access("data/rod.baf", R_OK) != 0 || access("data/car.fs", R_OK) != 0) return false;
    demoConfig = &builtinConfig;
    loadResources();
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, RecordWidth, RecordHeight);
    state = 1;
    return true;
}

static float uniformValue(int program, const char* name)
{
    float value = NAN;
    int location = glGetUniformLocation((GLuint)program, name);
    if (location >= 0) glGetUniformfv((GLuint)program, location, &value);
    return value;
}

TEST(SceneUniformsB, ProgramsReceiveWhatScenesFiveToNineQueue)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    for (int program : {progCar, progTrail, progGreet, progShroom, progScroll, progBokeh, progColorCorrect})
        ASSERT_GT(program, 0);
    setTracks(0, 0, 0, 0, 0);

    drawScene5(1.0f, 2, 0.5f, 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(progColorCorrect, "con"), 1.7f);
    drawScene6(2.5f, 1.0f, 3.0f);
    EXPECT_FLOAT_EQ(uniformValue(progCar, "chrome"), 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(progColorCorrect, "gamma"), 1.66f);

    drawScene7(2.0f, 0.25f, 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(progCar, "chrome"), 0.75f);
    EXPECT_FLOAT_EQ(uniformValue(progColorCorrect, "lum"), -0.08f);
    frameTime = 12.5f;
    drawScene7(2.0f, -1.0f, 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(progCar, "chrome"), 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(progTrail, "time"), 12.5f);
    GLint location = glGetUniformLocation((GLuint)progScroll, "offset");
    ASSERT_GE(location, 0);
    float offset[2] = {1, 1};
    glGetUniformfv((GLuint)progScroll, location, offset);
    EXPECT_FLOAT_EQ(offset[0], -6.0f);
    EXPECT_EQ(offset[1], 0.0f);

    drawScene8(3.0f, 5.5f);
    EXPECT_EQ(uniformValue(progGreet, "grt"), 0.0f);   // jug 0 is drawn last

    setTracks(1.5f, 3.0f, 0.5f, 1.0f, 1.5f);
    drawScene9(1.5f, 3.0f, 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(progShroom, "light"), 0.3883483f);
    EXPECT_FLOAT_EQ(uniformValue(progBokeh, "scale"), 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(progBokeh, "highlight"), 1.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

struct ShotB {
    const char* name;
    int scene;
    float time, part, var0, var1, post1, post2;
};

static void drawShotB(const ShotB& s)
{
    setTracks(s.part, s.var0, s.var1, s.post1, s.post2);
    frameTime = s.time;
    switch (s.scene) {
    case 5: drawScene5(s.time, (int)s.part, s.var0, s.var1); break;
    case 6: drawScene6(s.part, s.var0, s.var1); break;
    case 7: drawScene7(s.time, s.part, s.var0); break;
    case 8: drawScene8(s.var0, s.var1); break;
    default: drawScene9(s.part, s.var0, s.var1); break;
    }
}

// Renders a shot twice (the second frame no longer shows the scene buffer's
// leftovers) into the default framebuffer and reads it back.
static std::vector<unsigned char> renderShot(const ShotB& s)
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, RecordWidth, RecordHeight);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawShotB(s);
    drawShotB(s);
    glFinish();
    return readPixels(0, 0, RecordWidth, RecordHeight);
}

// Frames along each scene's course as the show's tracks drive it.
static const ShotB shotsB[] = {
    {"press, key 0", 5, 81.5f, 0, 0.02f, 0, 0, 0},
    {"press, key 1", 5, 92.0f, 0, 1.0f, 0, 0, 0},
    {"kaleidoscope of 4", 5, 88.0f, 4, 0.6f, 0, 0, 0},
    {"kaleidoscope of 6, rolls", 5, 96.0f, 6, 1.33f, 0.68f, 0, 0},
    {"rolls tumbling, key 2", 5, 103.0f, 6, 1.97f, 1.95f, 0, 0},
    {"gun assembling", 6, 106.0f, 0.47f, 0.57f, 2.8f, 0, 0},
    {"gun fires", 6, 110.0f, 1.0f, 1.94f, 7.2f, 0, 0},
    {"bullet flying", 6, 111.8f, 2.56f, 2.1f, 3.9f, 0, 0},
    {"blood, key 3", 6, 117.0f, 3.0f, 3.9f, 3.2f, 0, 0},
    {"bullet in the lines", 7, 120.0f, 0, 0.67f, 0, 0, 0},
    {"bullet from behind", 7, 125.5f, 0.48f, 2.65f, 0, 0, 0},
    {"hot rod, key 4", 7, 130.0f, 1.0f, 4.2f, 0, 0, 0},
    {"first jug breaking", 8, 133.5f, 0, 0.3f, 0.62f, 0, 0},
    {"jugs, key 5", 8, 145.0f, 0, 5.5f, 7.0f, 0, 0},
    {"last jug, key 25", 8, 161.0f, 0, 25.7f, 15.4f, 0, 0},
    {"nuke jug", 9, 163.0f, -1.0f, 0.03f, 1.0f, 0.35f, 1.0f},
    {"mushroom grows", 9, 172.0f, 0.0f, 2.6f, 0.24f, 0.35f, 1.0f},
    {"the cap rises", 9, 178.0f, 1.0f, 4.0f, 0.88f, 0.35f, 1.0f},
    {"darkening under the blur", 9, 181.5f, 1.5f, 4.6f, 1.0f, 0.35f, 1.0f},
};

TEST(SceneRendersB, EveryScenePaintsADistinctPictureWithoutGLErrors)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    while (glGetError() != GL_NO_ERROR) {}
    const int pixels = RecordWidth * RecordHeight;
    std::vector<unsigned char> previous;
    for (const ShotB& s : shotsB) {
        std::vector<unsigned char> image = renderShot(s);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << s.name;
        double sum = 0.0;
        int dark = 0, white = 0;
        for (int i = 0; i < pixels; i++) {
            const unsigned char* p = &image[(size_t)i * 4];
            int luma = (p[0] * 3 + p[1] * 6 + p[2]) / 10;
            sum += luma;
            if (luma < 6) dark++;
            if (p[0] > 250 && p[1] > 250 && p[2] > 250) white++;
        }
        double mean = sum / pixels;
        EXPECT_GT(mean, 8.0) << s.name << ": blank";
        EXPECT_LT(mean, 235.0) << s.name << ": saturated";
        EXPECT_LT(dark, pixels * 9 / 10) << s.name << ": mostly black";
        EXPECT_LT(white, pixels / 3) << s.name << ": mostly white";
        if (!previous.empty()) {
            double change = 0.0;
            for (size_t i = 0; i < image.size(); i++) change += abs((int)image[i] - (int)previous[i]);
            // Scene 6's hazy backdrop changes little between its shots: a low bar
            // that still catches a routine that left the previous frame standing.
            EXPECT_GT(change / (double)image.size(), 0.5) << s.name << ": same as the frame before";
        }
        previous = image;
    }
}

TEST(SceneRendersB, RodPicturesAgreePastPartOneAndTheEndIsBlack)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    ShotB one = {"rod at part 1", 7, 2.0f, 1.0f, 4.5f, 0, 0, 0};
    ShotB three = one;
    three.part = 3.0f;
    ShotB half = one;
    half.part = 0.5f;
    std::vector<unsigned char> a = renderShot(one);
    std::vector<unsigned char> b = renderShot(three);
    std::vector<unsigned char> c = renderShot(half);
    EXPECT_TRUE(a == b) << "part 1 and part 3 differ";
    EXPECT_FALSE(a == c) << "the rod does not change with part";

    // part 2: darkened to black before the blur, so the frame stays dark.
    ShotB end = {"the end", 9, 184.5f, 2.0f, 4.99f, 1.0f, 0.35f, 1.0f};
    std::vector<unsigned char> image = renderShot(end);
    double sum = 0.0;
    for (size_t i = 0; i < image.size(); i += 4) sum += (image[i] + image[i + 1] + image[i + 2]) / 3.0;
    EXPECT_LT(sum / (RecordWidth * RecordHeight), 40.0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// Scene 9 adds the cloud's glow and the flash to its picture in one pass. The
// scene buffer must hold what the blender makes of the three layers drawn one
// by one (copy, glow added from part 0 on, flash added), redrawn here from
// the same buffers into a spare one.
TEST(SceneRendersB, CloudFrameIsThePictureWithGlowAndFlashAdded)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    const ShotB shots[] = {
        {"nuke jug, flash", 9, 163.0f, -1.0f, 0.03f, 0.02f, 0.35f, 2.0f},
        {"mushroom, flash", 9, 172.0f, 0.0f, 2.6f, 0.02f, 0.8f, 2.0f},
        {"cap, no flash", 9, 178.0f, 1.0f, 4.0f, 1.0f, 0.25f, 2.0f},
    };
    for (const ShotB& s : shots) {
        renderShot(s);
        std::vector<unsigned char> summed = readTargetPixels(sceneTarget);
        const int picture[1] = {renderTargets[fullTarget]->colorTexture};
        const int glow[1] = {renderTargets[halfTarget]->colorTexture};
        const int none[1] = {0};
        bindRenderTarget(extraTarget);
        drawOverlayQuad(picture, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Opaque, -1);
        if (s.part >= 0.0f) drawOverlayQuad(glow, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, Additive, -1);
        drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, flashColour(shroomGlow(s.var1)), Additive, -1);
        unbindRenderTarget(extraTarget);
        std::vector<unsigned char> layered = readTargetPixels(extraTarget);
        ASSERT_EQ(summed.size(), layered.size());
        int worst = 0;
        double mean = 0.0;
        for (size_t i = 0; i < summed.size(); i++) {
            worst = std::max(worst, abs((int)summed[i] - (int)layered[i]));
            mean += layered[i];
        }
        EXPECT_LE(worst, 1) << s.name;
        EXPECT_GT(mean / (double)summed.size(), 20.0) << s.name << ": blank";
    }
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// ---- the whole show ------------------------------------------------------------------

// Drives the timeline on a fixed clock from 0 until it says the show is over:
// every scene runs in order and the end comes on the scene track after scene 9.
TEST(ShowToTheEnd, TimelineRunsEveryScenesInOrderAndEnds)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    initSync();
    ASSERT_NE(syncTracks[TrackScene], nullptr);
    prevScene = -1;
    std::vector<int> order;
    float endTime = -1.0f;
    for (int frame = 0; frame < 2000; frame++) {
        frameTime = frame * 0.5f;
        updateSync();
        if (dispatchScene()) {
            endTime = frameTime;
            break;
        }
        if (order.empty() || order.back() != prevScene) order.push_back(prevScene);
    }
    EXPECT_EQ(order, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_GT(endTime, 180.0f);
    EXPECT_LT(endTime, 190.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// The row where the scene track steps from 9 to 1 (the end of the show), or
// -1 when the track file has no such step.
static int endRow(const char* path)
{
    SyncTrack track;
    memset(&track, 0, sizeof track);
    if (readTrackFile(path, &track) != 0) return -1;
    int row = -1;
    for (int i = 1; i < track.keyCount; i++)
        if (track.keys[i - 1].value == 9.0f && track.keys[i].value == 1.0f) row = track.keys[i].row;
    free(track.keys);
    return row;
}

// The program itself, started three seconds before the end the scene track
// gives, finishes by itself with code 0.
TEST(ShowToTheEnd, ProgramEndsByItselfWithCodeZero)
{
    int row = endRow(KESTREL_BINARY_DIR "/data/sync_scene.track");
    ASSERT_GT(row, 0) << "the scene track never steps from 9 to 1";
    float rowsPerSecond = builtinConfig.bpm * (float)builtinConfig.rowsPerBeat / 60.0f;
    ASSERT_GT(rowsPerSecond, 0.0f);
    float start = (float)row / rowsPerSecond - 3.0f;
    if (start < 0.0f) start = 0.0f;
    std::string dir = "/tmp/kestrel_show_end_" + std::to_string((long)getpid());
    std::string command = "rm -rf '" + dir + "' && mkdir -p '" + dir + "' && cd '" + dir +
                          "' && ln -sf '" KESTREL_BINARY_DIR "/data' data && timeout 150 '" +
                          std::string(KESTREL_BINARY_DIR) + "/kestrel' --mode 160x90 --start " +
                          std::to_string(start) + " >out.txt 2>&1";
    EXPECT_EQ(runCommand(command), 0) << readFile(dir + "/out.txt");
    runCommand("rm -rf '" + dir + "'");
}

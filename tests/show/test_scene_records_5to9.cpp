// What scenes 5 to 9 leave in the records (real GL, stand-in meshes): the press
// loop, gun, rod, greeting jugs, cloud, and reseeding.
#include "show/show_local.h"
#include "show/fixture.h"
#include "support/gl_context.h"
#include "support/show_data.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <string>
#include <vector>

static float rad(float degrees) { return DEG2RAD(degrees); }

// ---- what the routines leave behind (real GL, stand-in meshes) -----------------------

static const int RecordWidth = 96, RecordHeight = 54;

// The scene buffers of a small window, the tweak camera off and no frame
// presented yet (set once for the whole program).
static bool sceneContext(void)
{
    static int state = -1;
    if (state >= 0) return state == 1;
    state = useSceneBuffers(RecordWidth, RecordHeight);
    tweakMode = -1;
    return state == 1;
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

TEST(SceneRecords, PressLoopKaleidoscopeAndRolls)
{
    ASSERT_TRUE(sceneContext());
    Stand press(&res.pressMesh, 11), bills(&res.pressBillMesh, 6);
    setTracks(0, 0, 0, 0, 0);

    // time 1.3: both loops at 20 % of their frames; part 0 is a plain copy.
    res.kaleidoMesh.x = 999.0f;
    res.rollMesh.x = 999.0f;
    scene5(1.3f, 0, 0.0f, 0.8f);
    EXPECT_NEAR(press.pose(), 2.0f, 1e-4f);
    EXPECT_NEAR(bills.pose(), 1.0f, 1e-4f);
    EXPECT_EQ(res.pressMesh.x, 0.0f);
    EXPECT_EQ(res.kaleidoMesh.x, 999.0f);   // no kaleidoscope
    EXPECT_EQ(res.rollMesh.x, 999.0f);      // no rolls without copies
    EXPECT_NEAR(camera.x, 440.0f, 1e-3f);
    // part 0.9 is truncated to 0 copies (rounding would make one): still no
    // kaleidoscope and no rolls.
    scene5(1.3f, 0.9f, 0.0f, 0.8f);
    EXPECT_EQ(res.kaleidoMesh.x, 999.0f);
    EXPECT_EQ(res.rollMesh.x, 999.0f);

    // part 1: one copy at the camera, with the camera's angles and the frame.
    scene5(0.0f, 1, 1.0f, 0.0f);
    EXPECT_NEAR(camera.x, 423.0f, 1e-3f);
    EXPECT_EQ(res.kaleidoMesh.x, camera.x);
    EXPECT_EQ(res.kaleidoMesh.z, camera.z);
    EXPECT_EQ(res.kaleidoMesh.yaw, camera.yaw);
    EXPECT_EQ(res.kaleidoMesh.pitch, camera.pitch);
    EXPECT_EQ(res.kaleidoMesh.roll, camera.roll);
    EXPECT_EQ(res.kaleidoMesh.textures[0], renderTargets[fullTarget]->colorTexture);

    // part 3, var1 0: no rolls, the camera stays on the path (key 1 .. 2).
    scene5(0.0f, 3, 1.5f, 0.0f);
    EXPECT_EQ(res.rollMesh.x, 999.0f);
    EXPECT_NEAR(camera.x, 345.0f, 1e-3f);
    EXPECT_NEAR(camera.fov, 65.0f, 1e-4f);

    // part 3, var1 0.8: the rolls in front of the roll camera; the last one
    // drawn (roll 2) at radius 14.999998.
    scene5(0.0f, 3, 1.5f, 0.8f);
    EXPECT_NEAR(sqrtf(res.rollMesh.x * res.rollMesh.x + res.rollMesh.y * res.rollMesh.y), 14.999998f, 1e-4f);
    EXPECT_NEAR(camera.z, -100.0f, 1e-4f);
    EXPECT_NEAR(camera.fov, 50.0f, 1e-4f);
    EXPECT_NEAR(camera.roll, rad(48.0f), 1e-5f);
    EXPECT_EQ(res.kaleidoMesh.roll, 0.0f);   // copy 0 last, at the path's roll

    // The camera drivers clamp outside the three keys.
    scene5(0.0f, 0, 7.0f, 0.0f);
    EXPECT_NEAR(camera.x, 267.0f, 1e-3f);
    scene5(0.0f, 0, -1.0f, 0.0f);
    EXPECT_NEAR(camera.x, 440.0f, 1e-3f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecords, GunChoiceShotAndBullet)
{
    ASSERT_TRUE(sceneContext());
    Stand gun(&res.gunMesh, 5), blood(&res.bloodMesh, 5);
    Mesh* bullet = &res.rodMeshes[2];
    Mesh savedBullet = *bullet;
    bullet->textures[0] = 77;
    setTracks(0, 0, 0, 0, 0);

    // part 0.25, var1 3: the animated gun at 75 % of its frames, no bullet.
    res.m47Mesh.x = 999.0f;
    bullet->x = 999.0f;
    scene6(0.25f, 0.0f, 3.0f);
    EXPECT_FLOAT_EQ(gun.pose(), 3.0f);
    EXPECT_EQ(res.gunMesh.x, 0.0f);
    EXPECT_FLOAT_EQ(res.gunMesh.z, -4.5f);
    EXPECT_FLOAT_EQ(res.gunMesh.pitch, rad(0.5f));
    EXPECT_EQ(res.m47Mesh.x, 999.0f);
    EXPECT_EQ(bullet->x, 999.0f);
    scene6(-2.0f, 0.0f, 0.0f);   // negative part: the last frame
    EXPECT_FLOAT_EQ(gun.pose(), 4.0f);

    // part 1 exactly: the static gun; no flash at var1 5, a flash at 5.01.
    res.gunMesh.x = 999.0f;
    res.shotMesh.x = 999.0f;
    scene6(1.0f, 0.0f, 5.0f);
    EXPECT_EQ(res.gunMesh.x, 999.0f);
    EXPECT_EQ(res.m47Mesh.x, 0.0f);
    EXPECT_FLOAT_EQ(res.m47Mesh.z, -7.5f);
    EXPECT_EQ(res.shotMesh.x, 999.0f);
    scene6(1.5f, 0.0f, 5.01f);
    EXPECT_EQ(res.shotMesh.x, 0.0f);
    EXPECT_EQ(bullet->x, 999.0f);

    // part 2: still no bullet; 2.5 halfway; 4 at the end.
    scene6(2.0f, 1.0f, 3.0f);
    EXPECT_EQ(bullet->x, 999.0f);
    EXPECT_EQ(blood.mesh->x, 999.0f);
    scene6(2.5f, 1.0f, 3.0f);
    EXPECT_EQ(bullet->z, 262.5f);
    EXPECT_EQ(bullet->y, -1.0f);
    EXPECT_EQ(bullet->textures[1], 77);
    EXPECT_FLOAT_EQ(blood.pose(), 2.0f);
    EXPECT_EQ(res.bloodMesh.x, 0.0f);
    scene6(4.0f, 3.5f, 3.0f);
    EXPECT_EQ(bullet->z, 375.0f);
    EXPECT_FLOAT_EQ(blood.pose(), 4.0f);
    EXPECT_NEAR(camera.x, (120.0f + 89.6574f) * 0.5f, 1e-3f);
    scene6(3.0f, 9.0f, 3.0f);   // past the keys: key 4
    EXPECT_NEAR(camera.x, 89.6574f, 1e-3f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    *bullet = savedBullet;
}

TEST(SceneRecords, RodOrBulletWobbleTrailAndCamera)
{
    ASSERT_TRUE(sceneContext());
    Stand rod(&res.rodMeshes[1], 11);
    Mesh* bullet = &res.rodMeshes[0];
    Mesh savedBullet = *bullet;
    bullet->textures[0] = 55;
    setTracks(0, 0, 0, 0, 0);

    scene7(1.0f, 0.25f, 0.0f);
    EXPECT_FLOAT_EQ(rod.pose(), 7.5f);
    scene7(1.0f, 1.0f, 0.0f);
    EXPECT_FLOAT_EQ(rod.pose(), 0.0f);
    scene7(1.0f, 3.0f, 0.0f);
    EXPECT_FLOAT_EQ(rod.pose(), 0.0f);

    // part 0 at time 0: the bullet at the origin, the trail 7 behind it.
    res.rodMeshes[1].x = 999.0f;
    scene7(0.0f, 0.0f, 2.5f);
    EXPECT_EQ(res.rodMeshes[1].x, 999.0f);
    EXPECT_EQ(bullet->x, 0.0f);
    EXPECT_EQ(bullet->y, 0.0f);
    EXPECT_EQ(bullet->z, 0.0f);
    EXPECT_EQ(bullet->textures[1], 55);
    EXPECT_EQ(res.trailMesh.z, -7.0f);
    EXPECT_EQ(res.trailMesh.y, 0.0f);
    EXPECT_EQ(res.trailMesh.textures[0], renderTargets[fullTarget]->colorTexture);
    // var0 2.5: halfway between keys 2 and 3.
    EXPECT_NEAR(camera.x, 75.0f, 1e-3f);
    EXPECT_NEAR(camera.y, 25.0f, 1e-3f);
    EXPECT_NEAR(camera.z, -600.0f, 1e-3f);
    EXPECT_NEAR(camera.yaw, rad(30.0f), 1e-5f);

    // Later the object and the trail move together by the wobble.
    float a = 0.0f, b = 0.0f;
    rodWobble(3.7f, &a, &b);
    scene7(3.7f, -1.0f, 0.0f);
    EXPECT_EQ(bullet->y, b);
    EXPECT_EQ(bullet->z, a);
    EXPECT_EQ(res.trailMesh.z, a - 7.0f);
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

TEST(SceneRecords, GreetingJugsBreakOneByOne)
{
    ASSERT_TRUE(sceneContext());
    Stand greeting(&res.jugMeshes[1], 5), broken(&res.jugMeshes[2], 4), splash(&res.splashMesh, 9);
    Mesh* intact = &res.jugMeshes[3];
    Mesh savedIntact = *intact;
    res.jugMeshes[1].textures[1] = 4343;
    res.jugMeshes[1].program = 0;
    intact->textures[1] = 4444;   // its own label: scene 8 draws it with the greeting's
    intact->program = 0;
    const Mesh before = *intact;
    setTracks(0, 0, 0, 0, 0);

    // 3.5: jug 3 (drawn at place 12) half broken, with the splash there.
    scene8(0.0f, 3.5f);
    expectAt(&res.jugMeshes[1], 12, 0.0f);
    expectAt(&res.splashMesh, 12, 0.0f);
    EXPECT_FLOAT_EQ(greeting.pose(), 2.0f);
    EXPECT_FLOAT_EQ(splash.pose(), 4.0f);
    int lastBroken = lastPlaceDrawn(13, 15);   // jugs 0-2, nearest first
    expectAt(&res.jugMeshes[2], lastBroken, 0.0f);
    EXPECT_FLOAT_EQ(broken.pose(), (float)(randomTable[302 + 3 * lastBroken] % 3));
    expectAt(intact, lastPlaceDrawn(0, 11), 0.0f);   // jugs 4-15 whole
    expectAt(&res.logMesh, lastPlaceDrawn(0, 15), -187.0f);
    // Whole jugs are drawn with the greeting's label and program for the draw
    // only: the intact jug's record keeps its own.
    EXPECT_EQ(memcmp(intact->textures, before.textures, sizeof before.textures), 0);
    EXPECT_EQ(intact->textures[1], 4444);
    EXPECT_EQ(intact->program, before.program);

    // 0 and -0.5: jug 0 breaking at its first frame; the rest whole.
    for (float v : {0.0f, -0.5f}) {
        res.jugMeshes[2].x = 999.0f;
        scene8(0.0f, v);
        expectAt(&res.jugMeshes[1], 15, 0.0f);
        EXPECT_EQ(greeting.pose(), 0.0f) << v;
        EXPECT_EQ(splash.pose(), 0.0f) << v;
        EXPECT_EQ(res.jugMeshes[2].x, 999.0f) << v;
        expectAt(intact, lastPlaceDrawn(0, 14), 0.0f);
    }

    // -1: all whole, no splash; 16: all broken, no splash.
    res.jugMeshes[1].x = 999.0f;
    res.splashMesh.x = 999.0f;
    scene8(0.0f, -1.0f);
    EXPECT_EQ(res.jugMeshes[1].x, 999.0f);
    EXPECT_EQ(res.splashMesh.x, 999.0f);
    expectAt(intact, lastPlaceDrawn(0, 15), 0.0f);
    intact->x = 999.0f;
    scene8(0.0f, 16.0f);
    EXPECT_EQ(res.jugMeshes[1].x, 999.0f);
    EXPECT_EQ(res.splashMesh.x, 999.0f);
    EXPECT_EQ(intact->x, 999.0f);
    expectAt(&res.jugMeshes[2], lastPlaceDrawn(0, 15), 0.0f);

    // 15.999: jug 15 (place 0) almost broken.
    scene8(0.0f, 15.999f);
    expectAt(&res.jugMeshes[1], 0, 0.0f);
    EXPECT_NEAR(greeting.pose(), 4.0f * 0.999f, 1e-3f);

    // The camera: 28.5 halfway between keys 28 and 29; beyond the path, key 29.
    scene8(28.5f, 0.0f);
    EXPECT_NEAR(camera.x, (-8.0f + 279.368f) * 0.5f, 1e-3f);
    EXPECT_NEAR(camera.y, (-29.0f + 1444.45f) * 0.5f, 1e-2f);
    scene8(31.0f, 0.0f);
    EXPECT_NEAR(camera.z, 3345.56f, 1e-2f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    *intact = savedIntact;
}

TEST(SceneRecords, CloudSceneObjectsAndState)
{
    ASSERT_TRUE(sceneContext());
    Stand nuke(&res.jugMeshes[4], 5), stem(&res.shroomMeshes[0], 9), top(&res.shroomMeshes[1], 5);
    Stand broken(&res.jugMeshes[2], 4);
    setTracks(0, 0, 0, 1.0f, 1.5f);
    glClearColor(0.1f, 0.2f, 0.3f, 0.4f);

    // part -0.5: the nuke jug halfway, no cloud.
    scene9(-0.5f, 0.0f, 1.0f);
    EXPECT_FLOAT_EQ(nuke.pose(), 2.0f);
    EXPECT_EQ(res.jugMeshes[4].y, 100.0f);
    EXPECT_EQ(res.shroomMeshes[0].x, 999.0f);
    expectAt(&res.jugMeshes[2], lastPlaceDrawn(0, 15), 100.0f);
    EXPECT_EQ(res.logMesh.y, -87.0f);
    EXPECT_EQ(res.logMesh.x, 0.0f);   // the centre log drawn last
    scene9(-3.0f, 0.0f, 1.0f);
    EXPECT_EQ(nuke.pose(), 0.0f);

    // part 0.5: the stem, scrubbed by the root of var1; 1.5: the top.
    scene9(0.5f, 1.0f, 0.25f);
    EXPECT_EQ(res.shroomMeshes[0].x, 0.0f);
    EXPECT_FLOAT_EQ(stem.pose(), 4.0f);
    EXPECT_EQ(res.shroomMeshes[1].x, 999.0f);
    scene9(1.5f, 1.0f, 1.0f);
    EXPECT_FLOAT_EQ(top.pose(), 4.0f);
    scene9(0.5f, 1.0f, -2.0f);   // below 0: the first frame
    EXPECT_EQ(stem.pose(), 0.0f);

    // The scene's red clear does not leak into later clears.
    GLfloat clear[4] = {0, 0, 0, 0};
    glGetFloatv(GL_COLOR_CLEAR_VALUE, clear);
    EXPECT_FLOAT_EQ(clear[0], 0.1f);
    EXPECT_FLOAT_EQ(clear[2], 0.3f);
    EXPECT_FLOAT_EQ(clear[3], 0.4f);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);

    scene9(2.0f, 2.5f, 1.0f);
    EXPECT_NEAR(camera.x, (1261.0f + 473.875f) * 0.5f, 1e-2f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecords, LayoutScenesReseedTheGeneratorWithTheirOwnDraw)
{
    ASSERT_TRUE(sceneContext());
    setTracks(0, 0, 0, 0, 0);
    srand(4321);
    int drawn = rand();
    srand((unsigned)drawn);
    int expected = rand();

    srand(4321);
    scene8(1.0f, 2.5f);
    EXPECT_EQ(rand(), expected);
    srand(4321);
    scene9(0.5f, 1.0f, 0.5f);
    EXPECT_EQ(rand(), expected);
    srand(4321);
    scene5(1.0f, 2, 0.5f, 0.5f);   // rolls drawn
    EXPECT_EQ(rand(), expected);
    srand(4321);
    scene5(1.0f, 2, 0.5f, 0.0f);   // no rolls: no draw at all
    EXPECT_EQ(rand(), drawn);
}

// ---- the show's own data ---------------------------------------------------------------

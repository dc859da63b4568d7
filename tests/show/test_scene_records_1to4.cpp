// What scenes 1 to 4 leave in the records (real GL, stand-in meshes): scrubbed
// poses, camera keys, bottles by mode and rise, reseeding and the bill cloud.
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

// ---- what the routines leave behind (real GL, stand-in meshes) -------------------

static const int RecordWidth = 96, RecordHeight = 54;

// An animated stand-in: three vertices per frame, every x of frame f equal to f,
// so the blended slot tells which frame position the scene asked for.
struct FakeMesh {
    Mesh* mesh;
    Mesh saved;
};

static FakeMesh fakeAnimated(Mesh* mesh, uint32_t frames)
{
    FakeMesh fake = {mesh, *mesh};
    memset(mesh, 0, sizeof *mesh);
    mesh->vertexCount = 3;
    mesh->triangleCount = 1;
    mesh->frameCount = frames;
    mesh->vertices = (MeshVertex*)calloc((frames + 1) * 3, sizeof(MeshVertex));
    mesh->indices = (uint16_t*)calloc(3, sizeof(uint16_t));
    for (uint32_t f = 0; f < frames; f++)
        for (int v = 0; v < 3; v++) mesh->vertices[f * 3 + v].x = (float)f;
    mesh->indices[1] = 1;
    mesh->indices[2] = 2;
    for (int i = 0; i < 5; i++) mesh->textures[i] = -1;
    return fake;
}

static void restoreMesh(FakeMesh& fake)
{
    free(fake.mesh->vertices);
    free(fake.mesh->indices);
    *fake.mesh = fake.saved;
}

static float blendedX(const Mesh* mesh) { return mesh->vertices[mesh->frameCount * mesh->vertexCount].x; }

static void expectCamera(float x, float y, float z, float fov)
{
    EXPECT_NEAR(camera.x, x, 1e-3f);
    EXPECT_NEAR(camera.y, y, 1e-3f);
    EXPECT_NEAR(camera.z, z, 1e-3f);
    EXPECT_NEAR(camera.fov, fov, 1e-4f);
}

TEST(SceneRecords, SceneOneScrubsTheJugAndSplashAndPicksTheJug)
{
    ASSERT_TRUE(useSceneBuffers(RecordWidth, RecordHeight));
    tweakMode = -1;
    FakeMesh jug = fakeAnimated(&res.jugMeshes[0], 5);
    FakeMesh splash = fakeAnimated(&res.splashMesh, 9);
    Mesh savedIntact = res.jugMeshes[3];
    res.jugMeshes[0].textures[1] = 4242;
    res.jugMeshes[0].program = 0;
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);

    struct Case {
        float var0;
        float jugX;
        float splashX;
        bool intact;
    } cases[] = {
        {0.0f, 4.0f, 8.0f, false},   // t = 1: last frames
        {0.5f, 2.0f, 4.0f, false},   // halfway back
        {1.0f, 0.0f, 0.0f, true},    // t = 0: frame 0, the intact jug
        {2.5f, 0.0f, 0.0f, true},
    };
    for (const Case& c : cases) {
        res.jugMeshes[0].x = 999.0f;
        res.jugMeshes[3].x = 999.0f;
        res.jugMeshes[3].textures[1] = 4343;   // the intact jug's own look, unlike the jug's
        res.jugMeshes[3].program = 0;
        scene1(c.var0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        EXPECT_FLOAT_EQ(blendedX(&res.jugMeshes[0]), c.jugX) << c.var0;
        EXPECT_FLOAT_EQ(blendedX(&res.splashMesh), c.splashX) << c.var0;
        EXPECT_EQ(res.jugMeshes[3].x == 0.0f, c.intact) << c.var0;
        EXPECT_EQ(res.jugMeshes[0].x == 0.0f, !c.intact) << c.var0;
        EXPECT_EQ(res.jugMeshes[3].textures[1], 4343) << "scene 1 leaves the intact jug's record alone";
        EXPECT_EQ(res.jugMeshes[3].program, 0);
    }
    EXPECT_FLOAT_EQ(res.logMesh.y, -180.0f);
    restoreMesh(jug);
    restoreMesh(splash);
    res.jugMeshes[3] = savedIntact;
}

TEST(SceneRecords, SceneOneCameraFollowsItsKeysAndClamps)
{
    ASSERT_TRUE(useSceneBuffers(RecordWidth, RecordHeight));
    tweakMode = -1;
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    scene1(0.0f);
    expectCamera(-33.0f, 70.0f, 773.0f, 40.0f);
    EXPECT_NEAR(camera.yaw, rad(174.0f), 1e-6f);
    scene1(0.5f);
    expectCamera(-96.5f, 57.5f, 623.0f, 40.0f);
    scene1(1.0f);
    expectCamera(-160.0f, 45.0f, 473.0f, 40.0f);
    scene1(3.999f);
    expectCamera(-12.7085f, -135.098f, 377.368f, 30.0f);
    scene1(4.0f);   // past the keys: the last key
    expectCamera(-12.7085f, -135.378f, 377.377f, 30.0f);
    scene1(9.0f);
    expectCamera(-12.7085f, -135.378f, 377.377f, 30.0f);
    scene1(-2.0f);   // before the keys: the first key
    expectCamera(-33.0f, 70.0f, 773.0f, 40.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecords, BottlesByModeAndRiseAndTheCameraAtThreeAndAHalf)
{
    ASSERT_TRUE(useSceneBuffers(RecordWidth, RecordHeight));
    tweakMode = -1;
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    Mesh expected;
    memset(&expected, 0, sizeof expected);
    struct Case {
        int mode;
        float var1;
        float rise;
    } cases[] = {
        {0, 1.0f, 0.0f},   {0, 0.5f, 0.0f}, {1, 0.0f, 0.0f},  {1, 1.0f, 1.0f},
        {1, 0.25f, 0.25f}, {1, 2.0f, 1.0f}, {1, -1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        scenes2And3(c.mode, 3.0f, 1.0f, c.var1);
        placeBottle(&expected, 99, c.rise);   // the record keeps the last instance
        EXPECT_FLOAT_EQ(res.bottlesMesh.x, expected.x);
        EXPECT_FLOAT_EQ(res.bottlesMesh.y, expected.y) << c.mode << " " << c.var1;
        EXPECT_FLOAT_EQ(res.bottlesMesh.z, expected.z);
        EXPECT_FLOAT_EQ(res.bottlesMesh.yaw, expected.yaw);
        EXPECT_FLOAT_EQ(res.bottlesMesh.pitch, expected.pitch) << c.mode << " " << c.var1;
        EXPECT_FLOAT_EQ(res.bottlesMesh.roll, expected.roll);
    }
    EXPECT_EQ(res.fireMesh.x, 0.0f);
    scenes2And3(1, 3.0f, 3.5f, 0.0f);
    expectCamera(-899.035f, 205.284f, -536.9185f, 64.0f);
    EXPECT_NEAR(camera.pitch, rad(13.49575f), 1e-5f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecords, ScenesReseedTheGeneratorWithTheirOwnDraw)
{
    ASSERT_TRUE(useSceneBuffers(RecordWidth, RecordHeight));
    setTracks(0.0f, 0.0f, 0.5f, 0.0f, 1.0f);
    srand(1234);
    int drawn = rand();
    srand((unsigned)drawn);
    int expected = rand();

    srand(1234);
    scenes2And3(1, 1.0f, 0.5f, 0.5f);
    EXPECT_EQ(rand(), expected);
    srand(1234);
    scene4(0.5f);
    EXPECT_EQ(rand(), expected);
    srand(1234);
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);   // no bill drawn, the reseed still happens
    scene4(0.5f);
    EXPECT_EQ(rand(), expected);
}

TEST(SceneRecords, SceneFourSpreadsBillsByVar1AndPart)
{
    ASSERT_TRUE(useSceneBuffers(RecordWidth, RecordHeight));
    tweakMode = -1;
    FakeMesh jug = fakeAnimated(&res.jugMeshes[0], 5);
    Mesh savedIntact = res.jugMeshes[3];
    int savedBills[4];
    memcpy(savedBills, res.texBills, sizeof savedBills);
    for (int i = 0; i < 4; i++) res.texBills[i] = 500 + i;
    Mesh expected;
    memset(&expected, 0, sizeof expected);

    // var1 0, part 0: the intact jug, and no bill at all (the record is untouched).
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    res.billMesh.x = 12345.0f;
    res.jugMeshes[3].x = 999.0f;
    scene4(0.0f);
    EXPECT_EQ(res.billMesh.x, 12345.0f);
    EXPECT_EQ(res.jugMeshes[3].x, 0.0f);
    EXPECT_FLOAT_EQ(blendedX(&res.jugMeshes[0]), 0.0f);
    expectCamera(-33.0f, 70.0f, 773.0f, 40.0f);
    setTracks(0.0f, 0.0f, 0.05f, 0.0f, 0.0f);
    scene4(0.0f);
    EXPECT_EQ(res.billMesh.x, 12345.0f);

    // var1 0.1: every bill at the origin.
    setTracks(0.0f, 0.0f, 0.1f, 0.0f, 0.0f);
    scene4(1.5f);
    EXPECT_EQ(res.billMesh.x, 0.0f);
    EXPECT_EQ(res.billMesh.y, 0.0f);
    EXPECT_EQ(res.billMesh.z, 0.0f);
    EXPECT_EQ(res.billMesh.textures[0], 500);   // instance 99 takes the first design
    EXPECT_NEAR(camera.x, (-238.866f + -323.351f) * 0.5f, 1e-3f);

    // var1 1: the last jug frame and the full spread.
    setTracks(0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    res.jugMeshes[0].x = 999.0f;
    scene4(0.0f);
    EXPECT_EQ(res.jugMeshes[0].x, 0.0f);
    EXPECT_FLOAT_EQ(blendedX(&res.jugMeshes[0]), 4.0f);
    placeBill(&expected, 99, billSpread(1.0f));
    EXPECT_FLOAT_EQ(res.billMesh.x, expected.x);
    EXPECT_FLOAT_EQ(res.billMesh.roll, expected.roll);

    // part 2.5 drives the camera whatever var0 says, and adds 0.5 to s.
    setTracks(2.5f, 0.0f, 0.0f, 0.0f, 0.0f);
    scene4(5.5f);
    expectCamera((-323.351f + -97.0304f) * 0.5f, (19.4898f + 1.94922f) * 0.5f, (494.815f + 229.176f) * 0.5f, 40.0f);
    EXPECT_NEAR(camera.near, 100.0f, 1e-4f);
    EXPECT_FLOAT_EQ(blendedX(&res.jugMeshes[0]), 2.0f);
    placeBill(&expected, 99, billSpread(0.5f));
    EXPECT_FLOAT_EQ(res.billMesh.x, expected.x);
    EXPECT_FLOAT_EQ(res.billMesh.pitch, expected.pitch);

    // Past the last key: the camera stays on key 6.
    setTracks(8.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    scene4(0.0f);
    expectCamera(-323.351f, 19.4898f, 494.815f, 40.0f);
    EXPECT_FLOAT_EQ(blendedX(&res.jugMeshes[0]), 4.0f);   // s = 1.5, pose clamped to 1

    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    restoreMesh(jug);
    res.jugMeshes[3] = savedIntact;
    memcpy(res.texBills, savedBills, sizeof savedBills);
}

// ---- the shader pairs of these scenes ------------------------------------------------

// Every pair compiles and links under the engine's rules, and keeps active the
// samplers and uniforms its scenes fill (a uniform the compiler dropped would
// silently ignore what the scene queues).

// Scenes 1 to 4: the layout table, the arithmetic of placements, fades and
// camera segments, what the routines leave in the records, and small renders of
// each scene with the show's own data.
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
#include <vector>

static float rad(float degrees) { return DEG2RAD(degrees); }

// ---- the layout table ----------------------------------------------------------

TEST(RandomTable, FirstEntriesFollowTheGeneratorAndTheRestIsFixed)
{
    uint32_t s = 0;
    for (int i = 0; i < 300; i++) {
        s = s * 214013u + 2531011u;
        ASSERT_EQ(randomTable[i], (s >> 16) & 0x7FFF) << "entry " << i;
    }
    const unsigned short fixed[48] = {
        81, 16376, 24096, 20348, 11872, 30076, 16059, 26999, 28493, 16223, 3930, 28673,
        26804, 18775, 14123, 11940, 29899, 3669, 26796, 25588, 5537, 3767, 20240, 18792,
        11688, 14015, 10980, 19816, 8562, 2372, 8690, 13223, 18104, 25255, 18022, 4019,
        17568, 26633, 6447, 19915, 18751, 30395, 2984, 15856, 14429, 10230, 17528, 21822};
    for (int i = 0; i < 48; i++) EXPECT_EQ(randomTable[300 + i], fixed[i]) << "entry " << 300 + i;
    EXPECT_EQ(randomTable[598], 31912);
    EXPECT_EQ(randomTable[599], 22196);
    for (int i = 0; i < 600; i++) ASSERT_LE(randomTable[i], 32767) << "entry " << i;
}

// ---- small shared steps -------------------------------------------------------------

TEST(SceneSteps, CameraSegmentsClampOutsideTheKeys)
{
    struct Case { float driver; int keys; int n; float f; } cases[] = {
        {0.0f, 5, 0, 0.0f},      {0.5f, 5, 0, 0.5f},   {1.0f, 5, 1, 0.0f},
        {3.5f, 5, 3, 0.5f},      {4.0f, 5, 3, 1.0f},   {7.25f, 5, 3, 1.0f},
        {-0.5f, 5, 0, 0.0f},     {-3.0f, 5, 0, 0.0f},  {NAN, 5, 0, 0.0f},
        {INFINITY, 7, 5, 1.0f},  {6.0f, 7, 5, 1.0f},   {2.5f, 7, 2, 0.5f},
        {0.0001f, 7, 0, 0.0001f},
    };
    for (const Case& c : cases) {
        int n = -9;
        float f = -9.0f;
        cameraSegment(c.driver, c.keys, &n, &f);
        EXPECT_EQ(n, c.n) << "driver " << c.driver;
        EXPECT_FLOAT_EQ(f, c.f) << "driver " << c.driver;
    }
    int n = 0;
    float f = 0.0f;
    cameraSegment(3.999f, 5, &n, &f);
    EXPECT_EQ(n, 3);
    EXPECT_NEAR(f, 0.999f, 1e-6f);
}

TEST(SceneSteps, FadeAndBlurColoursStayInTheirBytes)
{
    EXPECT_EQ(fadeColour(0.5f), 0x7F7F7F7Fu);
    EXPECT_EQ(fadeColour(1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(fadeColour(0.0f), 0u);
    // Out of range: clamped per channel, never carried into the next byte.
    EXPECT_EQ(fadeColour(1.5f), 0xFFFFFFFFu);
    EXPECT_EQ(fadeColour(40.0f), 0xFFFFFFFFu);
    EXPECT_EQ(fadeColour(-0.25f), 0u);
    EXPECT_EQ(fadeColour(NAN), 0u);
    EXPECT_EQ(trackByte(0.999f), 254u);

    EXPECT_EQ(blurMixColour(0.03f), 0xFFFFFF00u | 122u);
    EXPECT_EQ(blurMixColour(0.0f), 0xFFFFFF00u);
    EXPECT_EQ(blurMixColour(1.0f / 16.0f), 0xFFFFFFFFu);
    EXPECT_EQ(blurMixColour(3.0f), 0xFFFFFFFFu);
    EXPECT_EQ(blurMixColour(-1.0f), 0xFFFFFF00u);

    EXPECT_FLOAT_EQ(bokehScale(0.25f, 1024, 2.0f), 0.25f);
    EXPECT_FLOAT_EQ(bokehScale(0.25f, 1025, 2.0f), 0.5f);
    EXPECT_FLOAT_EQ(bokehScale(0.25f, 1920, 2.0f), 0.5f);
}

// ---- instance layouts ----------------------------------------------------------

TEST(SceneLayouts, BottleZeroRisesAndTurns)
{
    Mesh bottle;
    memset(&bottle, 0, sizeof bottle);
    placeBottle(&bottle, 0, 1.0f);
    EXPECT_FLOAT_EQ(bottle.x, -948.0f);
    EXPECT_FLOAT_EQ(bottle.y, 689.0f);
    EXPECT_FLOAT_EQ(bottle.z, 492.0f);
    EXPECT_FLOAT_EQ(bottle.yaw, rad(592.0f));
    EXPECT_FLOAT_EQ(bottle.pitch, rad(-748.0f));
    EXPECT_FLOAT_EQ(bottle.roll, rad(1189.0f));
    EXPECT_EQ(bottle.dirty, 1);
}

TEST(SceneLayouts, BottlesOnTheGroundKeepOnlyTheirYaw)
{
    Mesh bottle;
    memset(&bottle, 0, sizeof bottle);
    for (int i = 0; i < 100; i++) {
        placeBottle(&bottle, i, 0.0f);
        ASSERT_FLOAT_EQ(bottle.y, -100.0f) << i;
        ASSERT_EQ(bottle.pitch, 0.0f) << i;
        ASSERT_EQ(bottle.roll, 0.0f) << i;
        ASSERT_FLOAT_EQ(bottle.yaw, rad(bottle.z)) << i;
        ASSERT_GE(bottle.x, -1024.0f);
        ASSERT_LE(bottle.x, 1022.0f);
        ASSERT_EQ(fmodf(bottle.x, 2.0f), 0.0f);
    }
}

TEST(SceneLayouts, BillSpreadAndBillZero)
{
    EXPECT_EQ(billSpread(0.1f), 0.0f);
    EXPECT_NEAR(billSpread(1.0f), 0.928902f, 1e-6f);
    EXPECT_NEAR(billSpread(0.5f), 0.526553f, 1e-6f);
    EXPECT_TRUE(isnan(billSpread(0.0f)));

    int saved[4];
    memcpy(saved, texBills, sizeof saved);
    for (int i = 0; i < 4; i++) texBills[i] = 100 + i;
    Mesh bill;
    memset(&bill, 0, sizeof bill);
    placeBill(&bill, 0, 0.0f);
    EXPECT_EQ(bill.x, 0.0f);
    EXPECT_EQ(bill.y, 0.0f);
    EXPECT_EQ(bill.z, 0.0f);
    EXPECT_FLOAT_EQ(bill.yaw, rad(18.052734375f));
    EXPECT_FLOAT_EQ(bill.pitch, rad(-474.0f));
    EXPECT_FLOAT_EQ(bill.roll, rad(227.7421875f));
    EXPECT_EQ(bill.textures[0], 103);   // the fourth design
    EXPECT_EQ(bill.dirty, 1);

    float m = billSpread(1.0f);
    placeBill(&bill, 0, m);
    EXPECT_FLOAT_EQ(bill.x, -474.0f * m);
    EXPECT_FLOAT_EQ(bill.y, 18.052734375f * m);
    EXPECT_FLOAT_EQ(bill.z, 227.7421875f * m);
    EXPECT_FLOAT_EQ(bill.pitch, rad((float)(-474.0 + 200.0 * (double)m)));
    EXPECT_FLOAT_EQ(bill.roll, rad((float)(227.7421875 - 400.0 * (double)m)));

    const int cycle[4] = {103, 102, 101, 100};
    for (int i = 0; i < 8; i++) {
        placeBill(&bill, i, m);
        EXPECT_EQ(bill.textures[0], cycle[i % 4]) << i;
    }
    memcpy(texBills, saved, sizeof saved);
}

// ---- what the routines leave behind (real GL, stand-in meshes) -------------------

static const int RecordWidth = 96, RecordHeight = 54;

// The fixed GL state of start-up and a post-buffer set for a small window,
// made once for the whole program.
static bool sceneContext(int width, int height)
{
    static bool ready = false;
    static bool usable = false;
    if (ready) return usable;
    ready = true;
    if (!testGLContext(width, height)) return false;
    windowWidth = width;
    windowHeight = height;
    setCameraAspect(width, height);
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glFrontFace(GL_CW);
    glEnable(GL_BLEND);
    initPostProcessing();
    usable = sceneTarget >= 0 && halfTarget >= 0 && fullTarget >= 0;
    return usable;
}

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

static void setTracks(float part, float var0, float var1, float post1, float post2)
{
    syncValues[TrackPart] = part;
    syncValues[TrackVar0] = var0;
    syncValues[TrackVar1] = var1;
    syncValues[TrackPost1] = post1;
    syncValues[TrackPost2] = post2;
}

TEST(SceneRecords, SceneOneScrubsTheJugAndSplashAndPicksTheJug)
{
    ASSERT_TRUE(sceneContext(RecordWidth, RecordHeight));
    tweakMode = -1;
    framePresented = 0;
    FakeMesh jug = fakeAnimated(&jugMeshes[0], 5);
    FakeMesh splash = fakeAnimated(&splashMesh, 9);
    Mesh savedIntact = jugMeshes[3];
    jugMeshes[0].textures[1] = 4242;
    jugMeshes[0].program = 0;
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);

    struct Case { float var0; float jugX; float splashX; bool intact; } cases[] = {
        {0.0f, 4.0f, 8.0f, false},   // t = 1: last frames
        {0.5f, 2.0f, 4.0f, false},   // halfway back
        {1.0f, 0.0f, 0.0f, true},    // t = 0: frame 0, the intact jug
        {2.5f, 0.0f, 0.0f, true},
    };
    for (const Case& c : cases) {
        jugMeshes[0].x = 999.0f;
        jugMeshes[3].x = 999.0f;
        jugMeshes[3].textures[1] = 7;
        jugMeshes[3].program = 77;   // lent by scene 8
        drawScene1(c.var0);
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
        EXPECT_FLOAT_EQ(blendedX(&jugMeshes[0]), c.jugX) << c.var0;
        EXPECT_FLOAT_EQ(blendedX(&splashMesh), c.splashX) << c.var0;
        EXPECT_EQ(jugMeshes[3].x == 0.0f, c.intact) << c.var0;
        EXPECT_EQ(jugMeshes[0].x == 0.0f, !c.intact) << c.var0;
        EXPECT_EQ(jugMeshes[3].textures[1], 4242);
        EXPECT_EQ(jugMeshes[3].program, 0);
    }
    EXPECT_FLOAT_EQ(logMesh.y, -180.0f);
    restoreMesh(jug);
    restoreMesh(splash);
    jugMeshes[3] = savedIntact;
}

TEST(SceneRecords, SceneOneCameraFollowsItsKeysAndClamps)
{
    ASSERT_TRUE(sceneContext(RecordWidth, RecordHeight));
    tweakMode = -1;
    framePresented = 0;
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    drawScene1(0.0f);
    expectCamera(-33.0f, 70.0f, 773.0f, 40.0f);
    EXPECT_NEAR(camera.yaw, rad(174.0f), 1e-6f);
    drawScene1(0.5f);
    expectCamera(-96.5f, 57.5f, 623.0f, 40.0f);
    drawScene1(1.0f);
    expectCamera(-160.0f, 45.0f, 473.0f, 40.0f);
    drawScene1(3.999f);
    expectCamera(-12.7085f, -135.098f, 377.368f, 30.0f);
    drawScene1(4.0f);                            // past the keys: the last key
    expectCamera(-12.7085f, -135.378f, 377.377f, 30.0f);
    drawScene1(9.0f);
    expectCamera(-12.7085f, -135.378f, 377.377f, 30.0f);
    drawScene1(-2.0f);                           // before the keys: the first key
    expectCamera(-33.0f, 70.0f, 773.0f, 40.0f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecords, BottlesByModeAndRiseAndTheCameraAtThreeAndAHalf)
{
    ASSERT_TRUE(sceneContext(RecordWidth, RecordHeight));
    tweakMode = -1;
    framePresented = 0;
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);
    Mesh expected;
    memset(&expected, 0, sizeof expected);
    struct Case { int mode; float var1; float rise; } cases[] = {
        {0, 1.0f, 0.0f}, {0, 0.5f, 0.0f}, {1, 0.0f, 0.0f},
        {1, 1.0f, 1.0f}, {1, 0.25f, 0.25f}, {1, 2.0f, 1.0f}, {1, -1.0f, 0.0f},
    };
    for (const Case& c : cases) {
        drawScenes2And3(c.mode, 3.0f, 1.0f, c.var1);
        placeBottle(&expected, 99, c.rise);   // the record keeps the last instance
        EXPECT_FLOAT_EQ(bottlesMesh.x, expected.x);
        EXPECT_FLOAT_EQ(bottlesMesh.y, expected.y) << c.mode << " " << c.var1;
        EXPECT_FLOAT_EQ(bottlesMesh.z, expected.z);
        EXPECT_FLOAT_EQ(bottlesMesh.yaw, expected.yaw);
        EXPECT_FLOAT_EQ(bottlesMesh.pitch, expected.pitch) << c.mode << " " << c.var1;
        EXPECT_FLOAT_EQ(bottlesMesh.roll, expected.roll);
    }
    EXPECT_EQ(fireMesh.x, 0.0f);
    drawScenes2And3(1, 3.0f, 3.5f, 0.0f);
    expectCamera(-899.035f, 205.284f, -536.9185f, 64.0f);
    EXPECT_NEAR(camera.pitch, rad(13.49575f), 1e-5f);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

TEST(SceneRecords, ScenesReseedTheGeneratorWithTheirOwnDraw)
{
    ASSERT_TRUE(sceneContext(RecordWidth, RecordHeight));
    framePresented = 0;   // the final pass then draws no grain offset
    setTracks(0.0f, 0.0f, 0.5f, 0.0f, 1.0f);
    srand(1234);
    int drawn = rand();
    srand((unsigned)drawn);
    int expected = rand();

    srand(1234);
    drawScenes2And3(1, 1.0f, 0.5f, 0.5f);
    EXPECT_EQ(rand(), expected);
    srand(1234);
    drawScene4(0.5f);
    EXPECT_EQ(rand(), expected);
    srand(1234);
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 1.0f);   // no bill drawn, the reseed still happens
    drawScene4(0.5f);
    EXPECT_EQ(rand(), expected);
}

TEST(SceneRecords, SceneFourSpreadsBillsByVar1AndPart)
{
    ASSERT_TRUE(sceneContext(RecordWidth, RecordHeight));
    tweakMode = -1;
    framePresented = 0;
    FakeMesh jug = fakeAnimated(&jugMeshes[0], 5);
    Mesh savedIntact = jugMeshes[3];
    int savedBills[4];
    memcpy(savedBills, texBills, sizeof savedBills);
    for (int i = 0; i < 4; i++) texBills[i] = 500 + i;
    Mesh expected;
    memset(&expected, 0, sizeof expected);

    // var1 0, part 0: the intact jug, and no bill at all (the record is untouched).
    setTracks(0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    billMesh.x = 12345.0f;
    jugMeshes[3].x = 999.0f;
    drawScene4(0.0f);
    EXPECT_EQ(billMesh.x, 12345.0f);
    EXPECT_EQ(jugMeshes[3].x, 0.0f);
    EXPECT_FLOAT_EQ(blendedX(&jugMeshes[0]), 0.0f);
    expectCamera(-33.0f, 70.0f, 773.0f, 40.0f);
    setTracks(0.0f, 0.0f, 0.05f, 0.0f, 0.0f);
    drawScene4(0.0f);
    EXPECT_EQ(billMesh.x, 12345.0f);

    // var1 0.1: every bill at the origin.
    setTracks(0.0f, 0.0f, 0.1f, 0.0f, 0.0f);
    drawScene4(1.5f);
    EXPECT_EQ(billMesh.x, 0.0f);
    EXPECT_EQ(billMesh.y, 0.0f);
    EXPECT_EQ(billMesh.z, 0.0f);
    EXPECT_EQ(billMesh.textures[0], 500);     // instance 99 takes the first design
    EXPECT_NEAR(camera.x, (-238.866f + -323.351f) * 0.5f, 1e-3f);

    // var1 1: the last jug frame and the full spread.
    setTracks(0.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    jugMeshes[0].x = 999.0f;
    drawScene4(0.0f);
    EXPECT_EQ(jugMeshes[0].x, 0.0f);
    EXPECT_FLOAT_EQ(blendedX(&jugMeshes[0]), 4.0f);
    placeBill(&expected, 99, billSpread(1.0f));
    EXPECT_FLOAT_EQ(billMesh.x, expected.x);
    EXPECT_FLOAT_EQ(billMesh.roll, expected.roll);

    // part 2.5 drives the camera whatever var0 says, and adds 0.5 to s.
    setTracks(2.5f, 0.0f, 0.0f, 0.0f, 0.0f);
    drawScene4(5.5f);
    expectCamera((-323.351f + -97.0304f) * 0.5f, (19.4898f + 1.94922f) * 0.5f,
                 (494.815f + 229.176f) * 0.5f, 40.0f);
    EXPECT_NEAR(camera.near, 100.0f, 1e-4f);
    EXPECT_FLOAT_EQ(blendedX(&jugMeshes[0]), 2.0f);
    placeBill(&expected, 99, billSpread(0.5f));
    EXPECT_FLOAT_EQ(billMesh.x, expected.x);
    EXPECT_FLOAT_EQ(billMesh.pitch, expected.pitch);

    // Past the last key: the camera stays on key 6.
    setTracks(8.0f, 0.0f, 1.0f, 0.0f, 0.0f);
    drawScene4(0.0f);
    expectCamera(-323.351f, 19.4898f, 494.815f, 40.0f);
    EXPECT_FLOAT_EQ(blendedX(&jugMeshes[0]), 4.0f);   // s = 1.5, pose clamped to 1

    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    restoreMesh(jug);
    jugMeshes[3] = savedIntact;
    memcpy(texBills, savedBills, sizeof savedBills);
}

// ---- the shader pairs of these scenes ------------------------------------------------

// Every pair compiles and links under the engine's rules, and keeps active the
// samplers and uniforms its scenes fill (a uniform the compiler dropped would
// silently ignore what the scene queues).
TEST(SceneShaders, PairsLinkAndKeepTheirInputs)
{
    ASSERT_TRUE(sceneContext(RecordWidth, RecordHeight));
    struct Pair { const char* vs; const char* fs; const char* inputs[8]; } pairs[] = {
        {"env.vs", "env.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"splash.vs", "splash.fs", {"tex0", "tex1", "matM", "matP", "matN"}},
        {"nrm_lite.vs", "nrm_lite.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"light.vs", "light.fs", {"tex0", "tex1", "matM", "matP", "matN"}},
        {"light.vs", "bills.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"still.vs", "still.fs", {"tex0", "tex1", "tex2", "matM", "matP", "matN"}},
        {"env_scale.vs", "firehighlight.fs",
         {"tex0", "iGlobalTime", "factorTex", "factorBlend", "scale", "alphafactor", "matP"}},
    };
    for (const Pair& pair : pairs) {
        std::string vs = std::string(KESTREL_SOURCE_DIR) + "/data/" + pair.vs;
        std::string fs = std::string(KESTREL_SOURCE_DIR) + "/data/" + pair.fs;
        int program = createShaderProgram(vs.c_str(), fs.c_str(), 0);
        ASSERT_GT(program, 0) << pair.vs << "|" << pair.fs;
        GLint linked = 0;
        glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, GL_TRUE) << pair.vs << "|" << pair.fs;
        for (const char* name : pair.inputs) {
            if (!name) break;
            EXPECT_GE(glGetUniformLocation((GLuint)program, name), 0) << pair.fs << ": " << name;
        }
        EXPECT_GE(glGetAttribLocation((GLuint)program, "vpos"), 0) << pair.vs;
        glDeleteProgram((GLuint)program);
    }
}

// ---- the show's own data: uniforms that reach the programs, small renders ----------

// Loads the whole resource table from the build's data directory once. Returns
// false (and the test fails) when the data was not generated.
static bool showData(void)
{
    static int state = -1;
    if (state >= 0) return state == 1;
    state = 0;
    if (!sceneContext(RecordWidth, RecordHeight)) return false;
    if (chdir(KESTREL_BINARY_DIR) != 0) return false;
    if (access("data/jug.baf", R_OK) != 0 || access("data/env.fs", R_OK) != 0) return false;
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

TEST(SceneUniforms, ProgramsReceiveWhatTheScenesQueue)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    ASSERT_GT(progFire, 0);
    ASSERT_GT(progBokeh, 0);
    tweakMode = -1;
    framePresented = 0;

    setTracks(0.0f, 1.0f, 0.5f, 0.1f, 0.3f);
    drawScenes2And3(1, 12.5f, 1.0f, 0.5f);
    EXPECT_FLOAT_EQ(uniformValue(progFire, "iGlobalTime"), 12.5f);
    EXPECT_FLOAT_EQ(uniformValue(progFire, "factorTex"), 1.0f);
    EXPECT_FLOAT_EQ(uniformValue(progFire, "factorBlend"), 0.0f);
    EXPECT_FLOAT_EQ(uniformValue(progFire, "scale"), 1.05f);      // the second shell last
    EXPECT_FLOAT_EQ(uniformValue(progFire, "alphafactor"), 0.4f);
    EXPECT_FLOAT_EQ(uniformValue(progColorCorrect, "con"), 0.8f);
    EXPECT_FLOAT_EQ(uniformValue(progDrunk, "time"), 0.3f);       // post2, not the clock
    EXPECT_FLOAT_EQ(uniformValue(progBokeh, "highlight"), 0.3f);
    EXPECT_FLOAT_EQ(uniformValue(progBokeh, "intensity"), 20.0f);
    EXPECT_FLOAT_EQ(uniformValue(progBokeh, "scale"), 0.1f);      // narrow window

    // The bokeh radius doubles on windows wider than 1024 pixels.
    int savedWidth = windowWidth;
    windowWidth = 1025;
    drawScene1(0.5f);
    EXPECT_FLOAT_EQ(uniformValue(progBokeh, "scale"), 0.2f);
    windowWidth = 1024;
    drawScene1(0.5f);
    EXPECT_FLOAT_EQ(uniformValue(progBokeh, "scale"), 0.1f);
    windowWidth = savedWidth;
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

struct Shot {
    const char* name;
    int scene;       // 1 to 4
    float part, var0, var1, post1, post2;
};

static void drawShot(const Shot& s)
{
    setTracks(s.part, s.var0, s.var1, s.post1, s.post2);
    switch (s.scene) {
    case 1: drawScene1(s.var0); break;
    case 2: drawScenes2And3(0, 20.0f + s.var0, s.var0, s.var1); break;
    case 3: drawScenes2And3(1, 30.0f + s.var0, s.var0, s.var1); break;
    default: drawScene4(s.var0); break;
    }
}

// Frames along each scene's course, as the show's tracks drive it.
static const Shot shots[] = {
    {"jug in pieces, fading in", 1, 0, 0.0f, 0, 0.25f, 0.7f},
    {"jug reassembling", 1, 0, 0.5f, 0, 0.05f, 1.0f},
    {"jug whole, key 1", 1, 0, 1.0f, 0, 0.0f, 1.0f},
    {"low by the log", 1, 0, 2.0f, 0, 0.0f, 1.0f},
    {"the jug's top", 1, 0, 3.0f, 0, 0.0f, 1.0f},
    {"the jug's base", 1, 0, 3.99f, 0, 0.0f, 1.0f},
    {"still, key 0", 2, 0, 0.0f, 0, 0.06f, 0.0f},
    {"still, key 1", 2, 0, 1.0f, 0, 0.0f, 0.0f},
    {"still, key 2", 2, 0, 2.0f, 0, 0.0f, 0.0f},
    {"bottles rising", 3, 0, 2.5f, 0.4f, 0.0f, 0.5f},
    {"bottles up, key 3", 3, 0, 3.0f, 1.0f, 0.0f, 1.0f},
    {"wide, key 4", 3, 0, 3.99f, 1.0f, 0.08f, 2.0f},
    {"intact jug, key 0", 4, 0, 0.0f, 0.0f, 0, 0},
    {"jug bursting, key 2", 4, 0, 2.0f, 0.5f, 0, 0},
    {"bills out, key 3", 4, 0, 3.0f, 1.0f, 0, 0},
    {"part 4, spreading on", 4, 4.0f, 4.0f, 0.5f, 0, 0},
    {"part 5.99", 4, 5.99f, 4.0f, 1.0f, 0, 0},
};

TEST(SceneRenders, EveryScenePaintsADistinctPictureWithoutGLErrors)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    tweakMode = -1;
    framePresented = 0;
    while (glGetError() != GL_NO_ERROR) {}
    const int pixels = RecordWidth * RecordHeight;
    std::vector<unsigned char> previous;
    for (const Shot& s : shots) {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glViewport(0, 0, RecordWidth, RecordHeight);
        glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        // Twice: scenes leave earlier colour in the scene buffer where they do
        // not draw, so the second frame shows only this frame's own content.
        drawShot(s);
        drawShot(s);
        glFinish();
        EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR) << s.name;
        std::vector<unsigned char> image = readPixels(0, 0, RecordWidth, RecordHeight);

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
            change /= (double)image.size();
            EXPECT_GT(change, 2.0) << s.name << ": same as the frame before";
        }
        previous = image;
    }
}

static void paintTarget(int index, float r, float g, float b)
{
    bindRenderTarget(index);
    glClearColor(r, g, b, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    unbindRenderTarget(index);
}

static bool allOneColour(const std::vector<unsigned char>& p, unsigned char r, unsigned char g, unsigned char b)
{
    for (size_t i = 0; i + 3 < p.size(); i += 4)
        if (p[i] != r || p[i + 1] != g || p[i + 2] != b) return false;
    return !p.empty();
}

// A sharp frame (post1 0: the blur would be mixed in at alpha 0) does not draw
// the bokeh, and what the half buffer holds never reaches the picture.
TEST(SceneRenders, SharpFramesSkipTheBokehWithoutChangingThePicture)
{
    ASSERT_TRUE(showData()) << "needs the generated show data in " KESTREL_BINARY_DIR "/data";
    tweakMode = -1;
    framePresented = 0;
    const Shot sharp = {"sharp", 1, 0, 2.0f, 0, 0.0f, 1.0f};
    const Shot soft = {"soft", 1, 0, 2.0f, 0, 0.03f, 1.0f};
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, RecordWidth, RecordHeight);
    drawShot(sharp);
    paintTarget(halfTarget, 1.0f, 0.0f, 0.0f);
    drawShot(sharp);
    glFinish();
    std::vector<unsigned char> overRed = readPixels(0, 0, RecordWidth, RecordHeight);
    EXPECT_TRUE(allOneColour(readTargetPixels(halfTarget), 255, 0, 0)) << "the bokeh was drawn";
    paintTarget(halfTarget, 0.0f, 1.0f, 0.0f);
    drawShot(sharp);
    glFinish();
    EXPECT_TRUE(readPixels(0, 0, RecordWidth, RecordHeight) == overRed) << "the half buffer showed through";

    drawShot(soft);
    EXPECT_FALSE(allOneColour(readTargetPixels(halfTarget), 0, 255, 0)) << "a soft frame blurs into the half buffer";
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

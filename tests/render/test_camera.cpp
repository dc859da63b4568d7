// The camera and frame numbers: projection, aspect guard, view matrices, lerp
// and tweak mode, the uniform queue's limits and frame blending.
#include "render/fixture.h"

TEST(Camera, ProjectionNumbers)
{
    Camera c{};
    c.fov = 90.0f;
    c.aspect = 0.5625f;
    c.near = 0.1f;
    c.far = 500.0f;
    matPerspective(&c);
    EXPECT_FLOAT_EQ(c.projection[0], 0.9999964f);
    EXPECT_FLOAT_EQ(c.projection[5], 1.7777714f);
    EXPECT_NE(c.projection[0], 1.0f);
    EXPECT_FLOAT_EQ(c.projection[10], (500.0f + 0.1f) / (0.1f - 500.0f));
    EXPECT_FLOAT_EQ(c.projection[14], 2.0f * 500.0f * 0.1f / (0.1f - 500.0f));
    EXPECT_EQ(c.projection[11], -1.0f);
    EXPECT_EQ(c.projection[15], 0.0f);
    EXPECT_EQ(c.projection[1], 0.0f);

    // An aspect that is no aspect leaves the projection as it was.
    float before[16];
    memcpy(before, c.projection, sizeof(before));
    c.aspect = 0.0f;
    matPerspective(&c);
    c.aspect = NAN;
    matPerspective(&c);
    EXPECT_EQ(0, memcmp(before, c.projection, sizeof(before)));
}

TEST(Camera, AspectGuard)
{
    camera.aspect = 0.5f;
    camera.dirty = 0;
    setCameraAspect(0, 0);
    setCameraAspect(640, 0);
    setCameraAspect(0, 480);
    setCameraAspect(-5, 10);
    EXPECT_EQ(camera.aspect, 0.5f);
    EXPECT_EQ(camera.dirty, 0);
    setCameraAspect(640, 360);
    EXPECT_EQ(camera.aspect, 0.5625f);
    EXPECT_EQ(camera.dirty, 1);
}

TEST(Camera, ViewTranslationAndEyeDepth)
{
    resetCamera();
    setCamera(0, 0, 5, 0, 0, 0, 0.1f, 100.0f, 70.0f);
    updateViewMatrix();
    EXPECT_EQ(camera.dirty, 0);
    EXPECT_EQ(camera.view[12], 0.0f);
    EXPECT_EQ(camera.view[13], 0.0f);
    EXPECT_EQ(camera.view[14], 5.0f);

    Mesh m{};
    m.z = 10.0f;
    m.dirty = 1;
    updateModelMatrix(&m);
    EXPECT_EQ(m.dirty, 0);
    float mv[16];
    matMultiply(mv, camera.view, m.model);
    EXPECT_EQ(mv[14], -5.0f);
    m.z = 5.0f;
    m.dirty = 1;
    updateModelMatrix(&m);
    matMultiply(mv, camera.view, m.model);
    EXPECT_EQ(mv[14], 0.0f);

    // The dirty flags gate the rebuilds.
    m.z = 50.0f;
    updateModelMatrix(&m);
    EXPECT_EQ(m.model[14], -5.0f);
    camera.x = 3.0f;
    updateViewMatrix();
    EXPECT_EQ(camera.view[12], 0.0f);
}

// The view of a pose is the inverse of a mesh placed with the same pose.
TEST(Camera, ViewInvertsPlacement)
{
    resetCamera();
    setCamera(1.5f, -2.0f, 7.0f, 30.0f, -20.0f, 45.0f, 0.1f, 100.0f, 70.0f);
    updateViewMatrix();
    Mesh m{};
    m.x = 1.5f;
    m.y = -2.0f;
    m.z = 7.0f;
    m.yaw = DEG2RAD(30.0f);
    m.pitch = DEG2RAD(-20.0f);
    m.roll = DEG2RAD(45.0f);
    m.dirty = 1;
    updateModelMatrix(&m);
    float product[16], normal[16];
    matMultiply(product, camera.view, m.model);
    matMultiply(normal, camera.rotation, m.rotation);
    for (int i = 0; i < 16; i++) {
        EXPECT_NEAR(product[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-5f) << i;
        EXPECT_NEAR(normal[i], (i % 5 == 0) ? 1.0f : 0.0f, 1e-5f) << i;
    }
    float t[16], s[16], out[16];
    matIdentity(t);
    t[12] = 3.0f;
    matIdentity(s);
    s[0] = 2.0f;
    matMultiply(out, t, s);   // scale first, then move
    EXPECT_EQ(out[0], 2.0f);
    EXPECT_EQ(out[12], 3.0f);
    matMultiply(out, s, t);   // move first, then scale the move too
    EXPECT_EQ(out[12], 6.0f);
}

TEST(Camera, LerpAndTweakMode)
{
    resetCamera();
    CameraKey a = {1, 2, 3, 10, 20, 30, 0.5f, 200, 60};
    CameraKey b = {-4, 5, 9, 90, -45, 0, 1.5f, 400, 80};
    lerpCamera(&a, &b, 0.0f);
    EXPECT_EQ(camera.x, 1.0f);
    EXPECT_EQ(camera.z, 3.0f);
    EXPECT_EQ(camera.yaw, DEG2RAD(10.0f));
    EXPECT_EQ(camera.roll, DEG2RAD(30.0f));
    EXPECT_EQ(camera.near, 0.5f);
    EXPECT_EQ(camera.fov, 60.0f);
    lerpCamera(&a, &b, 1.0f);
    EXPECT_EQ(camera.x, -4.0f);
    EXPECT_EQ(camera.pitch, DEG2RAD(-45.0f));
    EXPECT_EQ(camera.far, 400.0f);
    EXPECT_EQ(camera.fov, 80.0f);
    lerpCamera(&a, &b, 0.5f);
    EXPECT_EQ(camera.near, 1.0f);
    EXPECT_EQ(camera.far, 300.0f);
    EXPECT_EQ(camera.fov, 70.0f);
    EXPECT_EQ(camera.dirty, 1);

    camera.dirty = 0;
    Camera saved = camera;
    tweakMode = 1;
    setCamera(9, 9, 9, 9, 9, 9, 9, 9, 9);
    lerpCamera(&a, &b, 0.25f);
    EXPECT_EQ(0, memcmp(&saved, &camera, sizeof(Camera)));
    tweakMode = 0;
    setCamera(9, 9, 9, 9, 9, 9, 9, 9, 9);
    EXPECT_EQ(camera.x, 9.0f);
    EXPECT_EQ(camera.dirty, 1);
    tweakMode = -1;
    setCamera(7, 0, 0, 0, 0, 0, 1, 2, 3);
    EXPECT_EQ(camera.x, 7.0f);
}

// ---- uniform queue ----------------------------------------------------------------

TEST(UniformQueue, RefusesWhatDoesNotFit)
{
    uniformQueue.count = 0;
    char name[40];
    for (int i = 0; i < MaxQueuedUniforms; i++) {
        snprintf(name, sizeof(name), "u%d", i);
        EXPECT_EQ(1, queueUniform(name, (float)i));
    }
    EXPECT_EQ(uniformQueue.count, 16);
    EXPECT_EQ(0, queueUniform("oneTooMany", 1.0f));
    EXPECT_EQ(0, queueUniformEntry("oneTooMany", Vec2, 0, 0, nullptr));
    EXPECT_EQ(uniformQueue.count, 16);
    EXPECT_STREQ(uniformQueue.entries[15].name, "u15");
    EXPECT_EQ(uniformQueue.entries[15].value, 15.0f);

    uniformQueue.count = 0;
    const char* longest = "abcdefghijklmnopqrstuvwxyz01234";   // 31 characters
    EXPECT_EQ(1, queueUniform(longest, 2.0f));
    EXPECT_STREQ(uniformQueue.entries[0].name, longest);
    EXPECT_EQ(0, queueUniform("abcdefghijklmnopqrstuvwxyz012345", 3.0f));   // 32
    EXPECT_EQ(0, queueUniform(nullptr, 3.0f));
    EXPECT_EQ(uniformQueue.count, 1);
    float v[3] = {1, 2, 3};
    EXPECT_EQ(1, queueUniformEntry("lightDir", Vec3, 0.0f, 4.0f, v));
    EXPECT_EQ(uniformQueue.entries[1].kind, Vec3);
    EXPECT_EQ(uniformQueue.entries[1].auxValue, 4.0f);
    EXPECT_EQ(uniformQueue.entries[1].vector, v);
    uniformQueue.count = 0;
}

// ---- blendMeshFrames ---------------------------------------------------------------

struct FourFrames {
    Mesh mesh;
    MeshVertex vertices[5 * 2];
};

// Frame f, vertex i: float k holds 100·f + 10·i + k.
static void makeFourFrames(FourFrames* m)
{
    memset(m, 0, sizeof(*m));
    m->mesh.vertexCount = 2;
    m->mesh.frameCount = 4;
    m->mesh.vertices = m->vertices;
    for (int f = 0; f < 5; f++)
        for (int i = 0; i < 2; i++)
            for (int k = 0; k < 15; k++)
                ((float*)&m->vertices[f * 2 + i])[k] = f < 4 ? 100.0f * f + 10.0f * i + k : -1.0f;
}

static float blended(const FourFrames* m, int i, int k) { return ((const float*)&m->vertices[4 * 2 + i])[k]; }

TEST(BlendFrames, PositionsAndWrap)
{
    FourFrames m;
    makeFourFrames(&m);
    blendMeshFrames(&m.mesh, 2.25f);
    EXPECT_FLOAT_EQ(blended(&m, 1, 0), 200 + 10 + 0.25f * 100);
    EXPECT_FLOAT_EQ(blended(&m, 0, 10), 200 + 10 + 0.25f * 100);
    EXPECT_EQ(blended(&m, 0, 11), -1.0f);   // colour of the blend slot is not written
    EXPECT_EQ(blended(&m, 1, 14), -1.0f);
    EXPECT_EQ(m.mesh.uploadedFrame, 4);

    blendMeshFrames(&m.mesh, 3.5f);   // frame 3 toward frame 0
    EXPECT_FLOAT_EQ(blended(&m, 0, 0), 300 + 0.5f * (0 - 300));
    blendMeshFrames(&m.mesh, 0.0f);
    for (int k = 0; k < 11; k++) EXPECT_EQ(blended(&m, 1, k), 10.0f + k);

    blendMeshFrames(&m.mesh, 5.25f);   // wraps to 1.25
    EXPECT_FLOAT_EQ(blended(&m, 0, 2), 100 + 2 + 0.25f * 100);
    blendMeshFrames(&m.mesh, -0.75f);   // wraps to 3.25
    EXPECT_FLOAT_EQ(blended(&m, 0, 1), 300 + 1 + 0.25f * (1 - 301));
    blendMeshFrames(&m.mesh, NAN);
    EXPECT_EQ(blended(&m, 0, 3), 3.0f);
    blendMeshFrames(&m.mesh, INFINITY);
    EXPECT_EQ(blended(&m, 0, 3), 3.0f);

    // Without frames or vertices nothing is touched.
    FourFrames empty;
    makeFourFrames(&empty);
    empty.mesh.frameCount = 0;
    blendMeshFrames(&empty.mesh, 1.0f);
    EXPECT_EQ(empty.mesh.uploadedFrame, 0);
    empty.mesh.frameCount = 4;
    empty.mesh.vertexCount = 0;
    blendMeshFrames(&empty.mesh, 1.0f);
    EXPECT_EQ(empty.mesh.uploadedFrame, 0);
    EXPECT_EQ(blended(&empty, 0, 0), -1.0f);
    blendMeshFrames(nullptr, 1.0f);
}

TEST(BlendFrames, UploadsTheBlendSlot)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    FourFrames m;
    makeFourFrames(&m);
    glGenBuffers(1, &m.mesh.vertexBuffer);
    blendMeshFrames(&m.mesh, 1.5f);
    float gpu[30];
    glBindBuffer(GL_ARRAY_BUFFER, m.mesh.vertexBuffer);
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, sizeof(gpu), gpu);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    EXPECT_EQ(0, memcmp(gpu, &m.vertices[8], sizeof(gpu)));
    EXPECT_FLOAT_EQ(gpu[15], 150 + 10);
    glDeleteBuffers(1, &m.mesh.vertexBuffer);
}

// ---- bindMeshShader ---------------------------------------------------------------

// A square of half size 1 in its xy plane, 10 ahead of a 90-degree camera:
// 0.1 of the view's half on each side (90..110 of 200 pixels), as a bare
// record (no GL needed to project it).
struct ScreenSquare {
    MeshVertex corners[4] = {};
    Mesh mesh = {};
    ScreenSquare(float x, float y, float z)
    {
        const float at[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
        for (int i = 0; i < 4; i++) corners[i].x = at[i][0], corners[i].y = at[i][1];
        mesh.vertices = corners;
        mesh.vertexCount = 4;
        mesh.frameCount = 1;
        mesh.x = x, mesh.y = y, mesh.z = z;   // authored z: ahead of the eye
        mesh.dirty = 1;
    }
};

static void expectRect(const int* rect, int x, int y, int width, int height)
{
    EXPECT_NEAR(rect[0], x, 1);
    EXPECT_NEAR(rect[1], y, 1);
    EXPECT_NEAR(rect[2], width, 1);
    EXPECT_NEAR(rect[3], height, 1);
}

TEST(Camera, MeshScreenRectInsideBesideAndBehind)
{
    resetCamera();
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    int rect[4] = {};
    ScreenSquare ahead(0, 0, 10);
    ASSERT_EQ(meshScreenRect(&ahead.mesh, 200, 200, 5, 5, rect), 1);
    expectRect(rect, 85, 85, 30, 30);
    ScreenSquare low(0, -5, 10);   // 0.4..0.6 below the middle: 40..60, grown to 30..70
    ASSERT_EQ(meshScreenRect(&low.mesh, 200, 200, 10, 10, rect), 1);
    expectRect(rect, 80, 30, 40, 40);
    // At the right edge (0.85..1.05): the margin grows it leftward only.
    ScreenSquare edge(9.5f, 0, 10);
    ASSERT_EQ(meshScreenRect(&edge.mesh, 200, 200, 5, 0, rect), 1);
    expectRect(rect, 180, 90, 20, 20);
    // Beside the view it covers nothing, however wide the margin.
    ScreenSquare beside(12, 0, 10);
    EXPECT_EQ(meshScreenRect(&beside.mesh, 200, 200, 100, 100, rect), 0);
    ScreenSquare behind(0, 0, -10);
    EXPECT_EQ(meshScreenRect(&behind.mesh, 200, 200, 5, 5, rect), 0);
    // Reaching past the eye: bounded by its part in front of the near plane
    // (0.1), which spans the view here...
    ScreenSquare around(0, 0, 0);
    around.corners[0].z = around.corners[1].z = -3;   // two corners 3 ahead, two 3 behind
    around.corners[2].z = around.corners[3].z = 3;
    ASSERT_EQ(meshScreenRect(&around.mesh, 200, 100, 5, 5, rect), 1);
    expectRect(rect, 0, 0, 200, 100);
    // ...but to the right (x 2..4) only from x 2 at 3 ahead, 2/3 of the half
    // view right of the middle (167, less the margin), to the right edge.
    ScreenSquare right(3, 0, 0);
    for (int i = 0; i < 4; i++) right.corners[i].z = around.corners[i].z;
    ASSERT_EQ(meshScreenRect(&right.mesh, 200, 100, 5, 5, rect), 1);
    expectRect(rect, 161, 0, 39, 100);
    // Wholly nearer than the near plane, partly ahead of the eye: nothing.
    ScreenSquare grazing(0, 0, 0);
    for (int i = 0; i < 4; i++) grazing.corners[i].z = i < 2 ? -0.05f : 0.05f;
    EXPECT_EQ(meshScreenRect(&grazing.mesh, 200, 200, 5, 5, rect), 0);
    Mesh empty = {};
    EXPECT_EQ(meshScreenRect(&empty, 200, 200, 5, 5, rect), 0);
}

// A mesh is culled only when it covers no pixel: at the view's edge (the
// square reaching 0.05 past it, or stopping 0.05 short) it is kept or not by
// a hair. A known box stands for the vertices (every frame of an animation):
// a box reaching into the view keeps a mesh whose frame 0 lies beside it.
TEST(Camera, MeshInViewCullsOnlyWhatCoversNothing)
{
    resetCamera();
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    ScreenSquare inside(10.95f, 0, 10), outside(11.05f, 0, 10), behind(0, 0, -10);
    EXPECT_EQ(meshInView(&inside.mesh), 1);
    EXPECT_EQ(meshInView(&outside.mesh), 0);
    EXPECT_EQ(meshInView(&behind.mesh), 0);
    outside.mesh.boxKnown = 1;
    const float low[3] = {-1.2f, -1, 0}, high[3] = {1, 1, 0};   // 0.15 into the view
    memcpy(outside.mesh.boxLow, low, sizeof low);
    memcpy(outside.mesh.boxHigh, high, sizeof high);
    EXPECT_EQ(meshInView(&outside.mesh), 1);
    Mesh empty = {};
    EXPECT_EQ(meshInView(&empty), 1);   // nothing to judge by: drawn (it draws nothing)
}

// The skybox step of the show: centred on the eye, without culling, behind
// everything drawn before or after it, and guarded against indices it does
// not know.
#include "render/fixture.h"
#include "show/show_local.h"
#include <vector>

TEST(Skybox, CentredOnTheEyeAndGuarded)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    resetCamera();
    setCamera(3, 4, 5, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    Mesh saved[3];
    memcpy(saved, res.skyMeshes, sizeof(saved));
    drawSkybox(3);
    drawSkybox(-1);
    EXPECT_EQ(0, memcmp(saved, res.skyMeshes, sizeof(saved)));

    TestMesh t;
    makeSquare(&t, 1.0f, flatProgram());
    res.skyMeshes[1] = t.mesh;
    res.skyMeshes[1].z = 1.0f;   // its own placement is replaced
    static float colour[4] = {0, 0, 1, 1};
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    queueUniformEntry("colour", Vec4, 0, 0, colour);
    drawSkybox(1);
    // The square lies in the plane of the eye: seen edge-on it draws nothing,
    // but its model matrix puts it exactly at the camera.
    updateViewMatrix();
    float mv[16];
    matMultiply(mv, camera.view, res.skyMeshes[1].model);
    EXPECT_EQ(mv[12], 0.0f);
    EXPECT_EQ(mv[13], 0.0f);
    EXPECT_EQ(mv[14], 0.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    memcpy(res.skyMeshes, saved, sizeof(saved));
    freeTestMesh(&t);
}

// ---- overlay quads -----------------------------------------------------------------

// A square of half size half, its corners pushed to distance ahead of the eye.
static void makeSquareAhead(TestMesh* t, float half, float distance, int program)
{
    makeSquare(t, half, program);
    for (MeshVertex& v : t->vertices) v.z = -distance;
    glBindBuffer(GL_ARRAY_BUFFER, t->mesh.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, 4 * sizeof(MeshVertex), t->vertices.data(), GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

static void drawFlat(TestMesh* t, float r, float g, float b)
{
    static float colour[4];
    colour[0] = r, colour[1] = g, colour[2] = b, colour[3] = 1;
    queueUniformEntry("colour", Vec4, 0, 0, colour);
    placeMesh(&t->mesh, 0, 0, 0, 0, 0, 0);
    drawMesh(&t->mesh);
}

// The dome (the show's own sky program) drawn after geometry that lies
// farther than the dome's own mesh still stays behind it, fills only what
// nothing covers, and leaves no depth that would hide geometry drawn later.
TEST(Skybox, DomeFillsOnlyUncoveredPixelsAtAnyPointOfTheOrder)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    resetCamera();
    int sky = loadShaderPair(KESTREL_SOURCE_DIR "/data/sky.vs", KESTREL_SOURCE_DIR "/data/picture.fs");
    ASSERT_GT(sky, 0);
    GLuint blue = 0;
    const unsigned char texel[4] = {0, 0, 255, 255};
    glGenTextures(1, &blue);
    glBindTexture(GL_TEXTURE_2D, blue);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    Mesh saved[3];
    memcpy(saved, res.skyMeshes, sizeof(saved));
    TestMesh dome, red, green;
    makeSquareAhead(&dome, 40.0f, 10.0f, sky);   // fills the view at 10
    dome.mesh.textures[0] = (int)blue;
    makeSquareAhead(&red, 5.0f, 20.0f, flatProgram());       // the middle quarter, beyond the dome's mesh
    makeSquareAhead(&green, 200.0f, 50.0f, flatProgram());   // the whole view, farther still
    res.skyMeshes[0] = dome.mesh;
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setBlendMode(Opaque);
    drawFlat(&red, 1, 0, 0);
    drawSkybox(0);
    expectColour(32, 32, 255, 0, 0);   // covered: the dome lies behind the red square
    expectColour(3, 3, 0, 0, 255);     // uncovered: the dome
    drawFlat(&green, 0, 1, 0);
    expectColour(3, 3, 0, 255, 0);     // the dome left no depth in front of the green
    expectColour(32, 32, 255, 0, 0);   // which stays behind the red
    GLint depthFunction = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &depthFunction);
    EXPECT_EQ(depthFunction, GL_LESS);
    memcpy(res.skyMeshes, saved, sizeof(saved));
    freeTestMesh(&dome);
    freeTestMesh(&red);
    freeTestMesh(&green);
    glDeleteTextures(1, &blue);
    glDeleteProgram((GLuint)sky);
}

// A dome whose picture puts at most half a window's width of texels across
// the view is read from its full-size level alone; a wider one, and the speed
// lines always, keep their mip levels. A picture blue at full size and red at
// every smaller level, drawn minified, tells which was read.
TEST(Skybox, DomesReadTheirFullPictureWhereMagnified)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    resetCamera();   // 90 degrees across 64 pixels: up to 128 texels on the horizon read level 0
    int sky = loadShaderPair(KESTREL_SOURCE_DIR "/data/sky.vs", KESTREL_SOURCE_DIR "/data/picture.fs");
    ASSERT_GT(sky, 0);
    Mesh saved[3];
    memcpy(saved, res.skyMeshes, sizeof(saved));
    const struct {
        int index, side, blue;
    } cases[] = {{0, 128, 1}, {1, 128, 1}, {0, 256, 0}, {2, 64, 0}};
    for (const auto& c : cases) {
        GLuint texture = 0;
        glGenTextures(1, &texture);
        glBindTexture(GL_TEXTURE_2D, texture);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
        for (int level = 0, side = c.side; side >= 1; level++, side /= 2) {
            std::vector<unsigned char> texels((size_t)side * side * 4, 0);
            for (size_t i = 0; i < texels.size(); i += 4) texels[i + (level == 0 ? 2 : 0)] = texels[i + 3] = 255;
            glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA, side, side, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
        }
        TestMesh square;
        makeSquareAhead(&square, 2.0f, 10.0f, sky);   // about 13 pixels across: minified
        square.mesh.textures[0] = (int)texture;
        res.skyMeshes[c.index] = square.mesh;
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        setBlendMode(Opaque);
        drawSkybox(c.index);
        expectColour(32, 32, c.blue ? 0 : 255, 0, c.blue ? 255 : 0);
        freeTestMesh(&square);
        glDeleteTextures(1, &texture);
    }
    memcpy(res.skyMeshes, saved, sizeof(saved));
    glDeleteProgram((GLuint)sky);
}

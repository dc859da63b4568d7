// Drawing meshes against a real GL context: uniform slots and matrices, the
// blend-mode cache, where objects land on screen, and one draw with another look.
#include "render/fixture.h"

static const char* probeVertex =
    "#version 100\nattribute vec3 vpos;uniform mat4 matM, matMM, matP, matN;uniform vec2 iResolution;\n"
    "uniform float a; uniform float b; uniform vec2 v2; uniform vec3 v3; uniform vec4 v4;\n"
    "void main(){ gl_Position = matP * matM * matMM * matN * vec4(vpos * a * b, 1.0)"
    " + vec4(iResolution, v2) + vec4(v3, 0.0) + v4; }";
static const char* probeFragment =
    "#version 100\nprecision mediump float;uniform sampler2D tex0, tex2, extra; uniform samplerCube texcube1;\n"
    "void main(){ gl_FragColor = texture2D(tex0, vec2(0.5)) + texture2D(tex2, vec2(0.5))"
    " + texture2D(extra, vec2(0.5)) + textureCube(texcube1, vec3(1.0)); }";

TEST(BindMeshShader, SlotsQueueAndMatrices)
{
    if (!glReady(64, 48)) GTEST_SKIP() << "no display";
    int program = createShaderProgram(probeVertex, probeFragment, 1);
    ASSERT_GT(program, 0);
    TestMesh t;
    makeSquare(&t, 1.0f, program);
    t.mesh.textures[0] = 7;
    t.mesh.textures[2] = 9;
    t.mesh.textures[1] = 11;   // only texcube1 exists for slot 1
    resetCamera();
    setCamera(0, 0, -3, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    t.mesh.z = 4.0f;
    t.mesh.dirty = 1;

    float v2[2] = {5, 6}, v3[3] = {7, 8, 9}, v4[4] = {1, 2, 3, 4};
    queueUniform("a", 1.0f);
    queueUniform("a", 2.0f);   // the later one wins
    queueUniform("b", 3.0f);
    queueUniformEntry("v2", Vec2, 0, 0, v2);
    queueUniformEntry("v3", Vec3, 0, 0, v3);
    queueUniformEntry("v4", Vec4, 0, 0, v4);
    queueUniformEntry("b", AuxFloat, 99.0f, 4.0f, nullptr);
    queueUniformEntry("extra", Texture, 0, 13.9f, nullptr);
    queueUniformEntry("a", 42, 0, 0, nullptr);   // unknown kind: skipped
    bindMeshShader(&t.mesh);
    EXPECT_EQ(uniformQueue.count, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    int active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, (int)GL_TEXTURE0 + 5);   // the queued texture came last
    EXPECT_EQ(boundTexture(2, GL_TEXTURE_BINDING_2D), 9);
    EXPECT_EQ(boundTexture(0, GL_TEXTURE_BINDING_2D), 7);
    EXPECT_EQ(boundTexture(1, GL_TEXTURE_BINDING_CUBE_MAP), 11);
    EXPECT_EQ(boundTexture(5, GL_TEXTURE_BINDING_2D), 13);
    EXPECT_EQ(uniformInt(program, "tex0"), 0);
    EXPECT_EQ(uniformInt(program, "tex2"), 2);
    EXPECT_EQ(uniformInt(program, "texcube1"), 1);
    EXPECT_EQ(uniformInt(program, "extra"), 5);

    float f[16];
    uniformFloats(program, "a", f);
    EXPECT_EQ(f[0], 2.0f);
    uniformFloats(program, "b", f);
    EXPECT_EQ(f[0], 4.0f);
    uniformFloats(program, "v3", f);
    EXPECT_EQ(f[2], 9.0f);
    uniformFloats(program, "v4", f);
    EXPECT_EQ(f[3], 4.0f);
    uniformFloats(program, "iResolution", f);
    EXPECT_EQ(f[0], 64.0f);
    EXPECT_EQ(f[1], 48.0f);
    uniformFloats(program, "matM", f);
    EXPECT_EQ(f[14], -7.0f);   // 4 ahead of a camera at −3
    uniformFloats(program, "matP", f);
    EXPECT_EQ(f[11], -1.0f);

    // Without a camera: the mesh's own matrices, matP untouched.
    t.mesh.dirty = 1;
    t.mesh.x = 0.5f;
    t.mesh.roll = DEG2RAD(90.0f);
    activeCamera = nullptr;
    camera.fov = 30.0f;
    camera.dirty = 1;
    queueUniform("a", 5.0f);
    bindMeshShader(&t.mesh);
    activeCamera = &camera;
    EXPECT_EQ(uniformQueue.count, 0);
    uniformFloats(program, "matM", f);
    EXPECT_EQ(0, memcmp(f, t.mesh.model, sizeof(f)));
    uniformFloats(program, "matN", f);
    EXPECT_EQ(0, memcmp(f, t.mesh.rotation, sizeof(f)));
    uniformFloats(program, "matP", f);
    EXPECT_EQ(f[0], 1.0f / (float)tan(90.0 * 3.1416f / 360.0f));
    EXPECT_EQ(camera.dirty, 1);   // no camera, no rebuild

    // A program without any of the conventional uniforms binds cleanly.
    t.mesh.program = flatProgram();
    queueUniform("nothingHere", 1.0f);
    bindMeshShader(&t.mesh);
    EXPECT_EQ(uniformQueue.count, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glActiveTexture(GL_TEXTURE0);
    freeTestMesh(&t);
    glDeleteProgram(program);
}

TEST(BindMeshShader, LowestSlotStaysActive)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    static const char* fs = "#version 100\nprecision mediump float;uniform sampler2D tex0, tex2;\n"
                            "void main(){ gl_FragColor = texture2D(tex0, vec2(0.5)) + texture2D(tex2, vec2(0.5)); }";
    int program = createShaderProgram(flatVertex, fs, 1);
    ASSERT_GT(program, 0);
    TestMesh t;
    makeSquare(&t, 1.0f, program);
    int slots[5] = {7, -1, 9, -1, -1};
    memcpy(t.mesh.textures, slots, sizeof(slots));
    glActiveTexture(GL_TEXTURE3);
    bindMeshShader(&t.mesh);
    int active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, (int)GL_TEXTURE0);
    EXPECT_EQ(boundTexture(2, GL_TEXTURE_BINDING_2D), 9);
    EXPECT_EQ(boundTexture(0, GL_TEXTURE_BINDING_2D), 7);
    EXPECT_EQ(boundTexture(1, GL_TEXTURE_BINDING_2D), 0);
    freeTestMesh(&t);
    glDeleteProgram(program);
}

// The cache is observed by changing GL state behind its back: a call that
// made GL calls would overwrite it.
TEST(BlendMode, CallsGLOnlyOnChange)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    const GLenum table[5][3] = {{GL_ONE, GL_ZERO, GL_TRUE},
                                {GL_ONE, GL_ONE, GL_FALSE},
                                {GL_SRC_ALPHA, GL_ONE, GL_FALSE},
                                {GL_DST_COLOR, GL_ZERO, GL_FALSE},
                                {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_FALSE}};
    for (int mode = 4; mode >= 0; mode--) {
        setBlendMode(mode);
        EXPECT_EQ(currentBlendMode, mode);
        expectBlendState(table[mode][0], table[mode][1], (GLboolean)table[mode][2]);
    }
    glBlendFunc(GL_ONE_MINUS_DST_COLOR, GL_SRC_COLOR);
    glDepthMask(GL_FALSE);
    setBlendMode(Opaque);   // same mode: no GL call
    expectBlendState(GL_ONE_MINUS_DST_COLOR, GL_SRC_COLOR, GL_FALSE);
    setBlendMode(7);   // unknown: remembered, no GL call
    EXPECT_EQ(currentBlendMode, 7);
    expectBlendState(GL_ONE_MINUS_DST_COLOR, GL_SRC_COLOR, GL_FALSE);
    setBlendMode(Opaque);
    expectBlendState(GL_ONE, GL_ZERO, GL_TRUE);
}

// ---- where things land ---------------------------------------------------------------

static void drawFlat(TestMesh* t, float x, float y, float z, float r, float g, float b)
{
    static float colour[4];
    colour[0] = r;
    colour[1] = g;
    colour[2] = b;
    colour[3] = 1;
    t->mesh.x = x;
    t->mesh.y = y;
    t->mesh.z = z;
    t->mesh.dirty = 1;
    queueUniformEntry("colour", Vec4, 0, 0, colour);
    drawMesh(&t->mesh);
}

// fov 90 and aspect 0.5 (128 × 64): at 5 units a point 2.5 to the side sits
// half-way to the edge, and 1.25 up sits half-way to the top.
TEST(Placement, ObjectsLandWhereTheConventionsSay)
{
    if (!glReady(128, 64)) GTEST_SKIP() << "no display";
    int program = flatProgram();
    ASSERT_GT(program, 0);
    TestMesh t;
    makeSquare(&t, 0.2f, program);
    resetCamera();
    camera.aspect = 0.5f;
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawFlat(&t, 0, 0, 5, 1, 0, 0);       // straight ahead
    drawFlat(&t, 2.5f, 0, 5, 0, 1, 0);    // right
    drawFlat(&t, 0, 1.25f, 5, 0, 0, 1);   // up
    drawFlat(&t, 0, 0, -5, 1, 1, 1);      // behind: not seen
    expectColour(64, 32, 255, 0, 0);
    expectColour(96, 32, 0, 255, 0);
    expectColour(64, 48, 0, 0, 255);
    expectColour(32, 32, 0, 0, 0);
    expectColour(64, 16, 0, 0, 0);

    // Turned by yaw 90 the camera looks along authored −x; pitch 90 looks up.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setCamera(0, 0, 0, 90, 0, 0, 0.1f, 100.0f, 90.0f);
    t.mesh.yaw = DEG2RAD(90.0f);
    drawFlat(&t, -5, 0, 0, 1, 1, 0);
    drawFlat(&t, 5, 0, 0, 1, 0, 1);
    expectColour(64, 32, 255, 255, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setCamera(0, 0, 0, 0, 90, 0, 0.1f, 100.0f, 90.0f);
    t.mesh.yaw = 0;
    t.mesh.pitch = DEG2RAD(90.0f);
    drawFlat(&t, 0, 5, 0, 0, 1, 1);
    expectColour(64, 32, 0, 255, 255);
    t.mesh.pitch = 0;

    // Depth: the nearer square hides the farther one whatever the order.
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    drawFlat(&t, 0, 0, 3, 1, 0, 0);
    drawFlat(&t, 0, 0, 6, 0, 1, 0);
    expectColour(64, 32, 255, 0, 0);
    freeTestMesh(&t);
}

// ---- drawing with another look ---------------------------------------------------------

static GLuint solidTexture(unsigned char r, unsigned char g, unsigned char b)
{
    const unsigned char pixel[4] = {r, g, b, 255};
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    glBindTexture(GL_TEXTURE_2D, 0);
    return t;
}

// drawMeshWith draws with the program and slots it is given (null: the mesh's
// own slots) for that draw only: the record keeps its program and textures.
TEST(DrawMeshWith, AnotherProgramAndTexturesForOneDraw)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    const char* textured = "#version 100\nprecision mediump float;uniform sampler2D tex0;\n"
                           "void main(){ gl_FragColor = texture2D(tex0, vec2(0.5)); }";
    int texProgram = createShaderProgram(flatVertex, textured, 1);
    ASSERT_GT(texProgram, 0);
    GLuint red = solidTexture(255, 0, 0), green = solidTexture(0, 255, 0);
    TestMesh t;
    makeSquare(&t, 2.0f, flatProgram());
    t.mesh.textures[0] = (int)red;
    const Mesh before = t.mesh;
    resetCamera();
    static float blue[4] = {0, 0, 1, 1};
    const int look[5] = {(int)green, -1, -1, -1, -1};

    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    t.mesh.z = 5;
    t.mesh.dirty = 1;
    drawMeshWith(&t.mesh, texProgram, look);
    expectColour(32, 32, 0, 255, 0);
    EXPECT_EQ(t.mesh.program, before.program);
    EXPECT_EQ(memcmp(t.mesh.textures, before.textures, sizeof before.textures), 0);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    drawMeshWith(&t.mesh, texProgram, nullptr);   // its own red slot
    expectColour(32, 32, 255, 0, 0);
    EXPECT_EQ(t.mesh.program, before.program);

    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    queueUniformEntry("colour", Vec4, 0, 0, blue);
    drawMesh(&t.mesh);   // the record's own program again
    expectColour(32, 32, 0, 0, 255);
    drawMeshWith(nullptr, texProgram, look);   // nothing to draw
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    freeTestMesh(&t);
    glDeleteTextures(1, &red);
    glDeleteTextures(1, &green);
    glDeleteProgram((GLuint)texProgram);
}

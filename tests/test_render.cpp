// Rendering core: matrix and camera numbers, the uniform queue, frame
// blending, uniform binding and blend modes against a real GL context, where
// objects land on screen, and the overlay quad's pixels.
#include <gtest/gtest.h>
#include "support/gl_context.h"
#include "render/render.h"
#include "assets/assets.h"
#include <GL/glew.h>
#include <math.h>
#include <string.h>
#include <vector>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

// ---- helpers -------------------------------------------------------------------

static void resetCamera(void) {
    tweakMode = -1;
    activeCamera = &camera;
    camera.aspect = 1.0f;
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 100.0f, 90.0f);
}

// The fixed GL state start-up leaves (depth test, back faces culled with
// clockwise fronts, blending on) and a matching blend cache.
// Drawing goes to an off-screen framebuffer of the asked size: the hidden test
// window cannot be relied on to resize.
static void useOffscreen(int width, int height) {
    static GLuint framebuffer, colour, depth;
    if (!framebuffer) {
        glGenFramebuffers(1, &framebuffer);
        glGenRenderbuffers(1, &colour);
        glGenRenderbuffers(1, &depth);
    }
    glBindRenderbuffer(GL_RENDERBUFFER, colour);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, depth);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, width, height);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colour);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depth);
}

static int glReady(int width, int height) {
    if (!testGLContext(64, 64)) return 0;
    useOffscreen(width, height);
    if (glCheckFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) return 0;
    windowWidth = width;
    windowHeight = height;
    glViewport(0, 0, width, height);
    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_CULL_FACE);
    glCullFace(GL_BACK);
    glFrontFace(GL_CW);
    glEnable(GL_BLEND);
    currentBlendMode = -100;
    setBlendMode(Opaque);
    uniformCount = 0;
    return 1;
}

static void fillAttributes(Mesh* m) {
    static const int sizes[5] = {3, 2, 3, 3, 4}, offsets[5] = {0, 12, 20, 32, 44};
    m->attribCount = 5;
    for (int i = 0; i < 5; i++) {
        m->attribLocations[i] = i;
        m->attribSizes[i] = sizes[i];
        m->attribOffsets[i] = offsets[i];
    }
}

static void uploadMesh(Mesh* m) {
    glGenBuffers(1, &m->vertexBuffer);
    glGenBuffers(1, &m->indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m->vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, m->vertexCount * sizeof(MeshVertex), m->vertices, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m->indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, m->triangleCount * 6, m->indices, GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    fillAttributes(m);
}

// A square of side 2·half in the stored (GL) xy plane, clockwise on screen.
struct TestMesh {
    Mesh mesh;
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
};

static void makeSquare(TestMesh* t, float half, int program) {
    memset(&t->mesh, 0, sizeof(Mesh));
    const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
    t->vertices.assign(8, MeshVertex{});
    for (int i = 0; i < 4; i++) {
        MeshVertex& v = t->vertices[i];
        v.x = corners[i][0] * half;
        v.y = corners[i][1] * half;
        v.u = corners[i][0] * 0.5f + 0.5f;
        v.v = corners[i][1] * 0.5f + 0.5f;
        v.nz = 1;
        v.r = v.g = v.b = v.a = 1;
    }
    t->indices = {0, 1, 2, 2, 3, 0};
    t->mesh.vertexCount = 4;
    t->mesh.triangleCount = 2;
    t->mesh.frameCount = 1;
    t->mesh.vertices = t->vertices.data();
    t->mesh.indices = t->indices.data();
    for (int i = 0; i < 5; i++) t->mesh.textures[i] = -1;
    t->mesh.program = program;
    t->mesh.dirty = 1;
    uploadMesh(&t->mesh);
}

static void freeTestMesh(TestMesh* t) {
    glDeleteBuffers(1, &t->mesh.vertexBuffer);
    glDeleteBuffers(1, &t->mesh.indexBuffer);
}

static const char* flatVertex =
    "#version 100\nattribute vec3 vpos;uniform mat4 matM, matP;\n"
    "void main(){ gl_Position = matP * matM * vec4(vpos, 1.0); }";
static const char* flatFragment =
    "#version 100\nprecision mediump float;uniform vec4 colour;\n"
    "void main(){ gl_FragColor = colour; }";

static int flatProgram(void) {
    static int program = 0;
    if (!program) program = createShaderProgram(flatVertex, flatFragment, 1);
    return program;
}

static std::vector<unsigned char> pixelAt(int x, int y) { return readPixels(x, y, 1, 1); }

static void expectColour(int x, int y, int r, int g, int b, int tolerance = 2) {
    std::vector<unsigned char> p = pixelAt(x, y);
    EXPECT_NEAR(p[0], r, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(p[1], g, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(p[2], b, tolerance) << "at " << x << "," << y;
}

// ---- matrices and camera (no GL) ------------------------------------------------

TEST(Camera, ProjectionNumbers) {
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

TEST(Camera, AspectGuard) {
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

TEST(Camera, ViewTranslationAndEyeDepth) {
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
TEST(Camera, ViewInvertsPlacement) {
    resetCamera();
    setCamera(1.5f, -2.0f, 7.0f, 30.0f, -20.0f, 45.0f, 0.1f, 100.0f, 70.0f);
    updateViewMatrix();
    Mesh m{};
    m.x = 1.5f; m.y = -2.0f; m.z = 7.0f;
    m.yaw = DEG2RAD(30.0f); m.pitch = DEG2RAD(-20.0f); m.roll = DEG2RAD(45.0f);
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
    matMultiply(out, t, s);     // scale first, then move
    EXPECT_EQ(out[0], 2.0f);
    EXPECT_EQ(out[12], 3.0f);
    matMultiply(out, s, t);     // move first, then scale the move too
    EXPECT_EQ(out[12], 6.0f);
}

TEST(Camera, LerpAndTweakMode) {
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

TEST(UniformQueue, RefusesWhatDoesNotFit) {
    uniformCount = 0;
    char name[40];
    for (int i = 0; i < MaxQueuedUniforms; i++) {
        snprintf(name, sizeof(name), "u%d", i);
        EXPECT_EQ(1, queueUniform(name, (float)i));
    }
    EXPECT_EQ(uniformCount, 16);
    EXPECT_EQ(0, queueUniform("oneTooMany", 1.0f));
    EXPECT_EQ(0, queueUniformEntry("oneTooMany", Vec2, 0, 0, nullptr));
    EXPECT_EQ(uniformCount, 16);
    EXPECT_STREQ(uniformQueue[15].name, "u15");
    EXPECT_EQ(uniformQueue[15].value, 15.0f);

    uniformCount = 0;
    const char* longest = "abcdefghijklmnopqrstuvwxyz01234";   // 31 characters
    EXPECT_EQ(1, queueUniform(longest, 2.0f));
    EXPECT_STREQ(uniformQueue[0].name, longest);
    EXPECT_EQ(0, queueUniform("abcdefghijklmnopqrstuvwxyz012345", 3.0f));   // 32
    EXPECT_EQ(0, queueUniform(nullptr, 3.0f));
    EXPECT_EQ(uniformCount, 1);
    float v[3] = {1, 2, 3};
    EXPECT_EQ(1, queueUniformEntry("lightDir", Vec3, 0.0f, 4.0f, v));
    EXPECT_EQ(uniformQueue[1].kind, Vec3);
    EXPECT_EQ(uniformQueue[1].auxValue, 4.0f);
    EXPECT_EQ(uniformQueue[1].vector, v);
    uniformCount = 0;
}

// ---- blendMeshFrames ---------------------------------------------------------------

struct FourFrames {
    Mesh mesh;
    MeshVertex vertices[5 * 2];
};

// Frame f, vertex i: float k holds 100·f + 10·i + k.
static void makeFourFrames(FourFrames* m) {
    memset(m, 0, sizeof(*m));
    m->mesh.vertexCount = 2;
    m->mesh.frameCount = 4;
    m->mesh.vertices = m->vertices;
    for (int f = 0; f < 5; f++)
        for (int i = 0; i < 2; i++)
            for (int k = 0; k < 15; k++)
                ((float*)&m->vertices[f * 2 + i])[k] = f < 4 ? 100.0f * f + 10.0f * i + k : -1.0f;
}

static float blended(const FourFrames* m, int i, int k) {
    return ((const float*)&m->vertices[4 * 2 + i])[k];
}

TEST(BlendFrames, PositionsAndWrap) {
    FourFrames m;
    makeFourFrames(&m);
    blendMeshFrames(&m.mesh, 2.25f);
    EXPECT_FLOAT_EQ(blended(&m, 1, 0), 200 + 10 + 0.25f * 100);
    EXPECT_FLOAT_EQ(blended(&m, 0, 10), 200 + 10 + 0.25f * 100);
    EXPECT_EQ(blended(&m, 0, 11), -1.0f);   // colour of the blend slot is not written
    EXPECT_EQ(blended(&m, 1, 14), -1.0f);
    EXPECT_EQ(m.mesh.uploadedFrame, 4);

    blendMeshFrames(&m.mesh, 3.5f);          // frame 3 toward frame 0
    EXPECT_FLOAT_EQ(blended(&m, 0, 0), 300 + 0.5f * (0 - 300));
    blendMeshFrames(&m.mesh, 0.0f);
    for (int k = 0; k < 11; k++) EXPECT_EQ(blended(&m, 1, k), 10.0f + k);

    blendMeshFrames(&m.mesh, 5.25f);         // wraps to 1.25
    EXPECT_FLOAT_EQ(blended(&m, 0, 2), 100 + 2 + 0.25f * 100);
    blendMeshFrames(&m.mesh, -0.75f);        // wraps to 3.25
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

TEST(BlendFrames, UploadsTheBlendSlot) {
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

static const char* probeVertex =
    "#version 100\nattribute vec3 vpos;uniform mat4 matM, matMM, matP, matN;uniform vec2 iResolution;\n"
    "uniform float a; uniform float b; uniform vec2 v2; uniform vec3 v3; uniform vec4 v4;\n"
    "void main(){ gl_Position = matP * matM * matMM * matN * vec4(vpos * a * b, 1.0)"
    " + vec4(iResolution, v2) + vec4(v3, 0.0) + v4; }";
static const char* probeFragment =
    "#version 100\nprecision mediump float;uniform sampler2D tex0, tex2, extra; uniform samplerCube texcube1;\n"
    "void main(){ gl_FragColor = texture2D(tex0, vec2(0.5)) + texture2D(tex2, vec2(0.5))"
    " + texture2D(extra, vec2(0.5)) + textureCube(texcube1, vec3(1.0)); }";

static void uniformFloats(int program, const char* name, float* out) {
    glGetUniformfv(program, glGetUniformLocation(program, name), out);
}

static int uniformInt(int program, const char* name) {
    int v = -1;
    glGetUniformiv(program, glGetUniformLocation(program, name), &v);
    return v;
}

static int boundTexture(int unit, GLenum query) {
    glActiveTexture(GL_TEXTURE0 + unit);
    int name = 0;
    glGetIntegerv(query, &name);
    return name;
}

TEST(BindMeshShader, SlotsQueueAndMatrices) {
    if (!glReady(64, 48)) GTEST_SKIP() << "no display";
    int program = createShaderProgram(probeVertex, probeFragment, 1);
    ASSERT_GT(program, 0);
    TestMesh t;
    makeSquare(&t, 1.0f, program);
    t.mesh.textures[0] = 7;
    t.mesh.textures[2] = 9;
    t.mesh.textures[1] = 11;    // only texcube1 exists for slot 1
    resetCamera();
    setCamera(0, 0, -3, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    t.mesh.z = 4.0f;
    t.mesh.dirty = 1;

    float v2[2] = {5, 6}, v3[3] = {7, 8, 9}, v4[4] = {1, 2, 3, 4};
    queueUniform("a", 1.0f);
    queueUniform("a", 2.0f);    // the later one wins
    queueUniform("b", 3.0f);
    queueUniformEntry("v2", Vec2, 0, 0, v2);
    queueUniformEntry("v3", Vec3, 0, 0, v3);
    queueUniformEntry("v4", Vec4, 0, 0, v4);
    queueUniformEntry("b", AuxFloat, 99.0f, 4.0f, nullptr);
    queueUniformEntry("extra", Texture, 0, 13.9f, nullptr);
    queueUniformEntry("a", 42, 0, 0, nullptr);   // unknown kind: skipped
    bindMeshShader(&t.mesh);
    EXPECT_EQ(uniformCount, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);

    int active = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &active);
    EXPECT_EQ(active, (int)GL_TEXTURE0 + 5);     // the queued texture came last
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
    EXPECT_EQ(f[14], -7.0f);                     // 4 ahead of a camera at −3
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
    EXPECT_EQ(uniformCount, 0);
    uniformFloats(program, "matM", f);
    EXPECT_EQ(0, memcmp(f, t.mesh.model, sizeof(f)));
    uniformFloats(program, "matN", f);
    EXPECT_EQ(0, memcmp(f, t.mesh.rotation, sizeof(f)));
    uniformFloats(program, "matP", f);
    EXPECT_EQ(f[0], 1.0f / (float)tan(90.0 * 3.1416f / 360.0f));
    EXPECT_EQ(camera.dirty, 1);                  // no camera, no rebuild

    // A program without any of the conventional uniforms binds cleanly.
    t.mesh.program = flatProgram();
    queueUniform("nothingHere", 1.0f);
    bindMeshShader(&t.mesh);
    EXPECT_EQ(uniformCount, 0);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    glActiveTexture(GL_TEXTURE0);
    freeTestMesh(&t);
    glDeleteProgram(program);
}

TEST(BindMeshShader, LowestSlotStaysActive) {
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    static const char* fs =
        "#version 100\nprecision mediump float;uniform sampler2D tex0, tex2;\n"
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

static void expectBlendState(GLenum source, GLenum destination, GLboolean depth) {
    int s = 0, d = 0;
    GLboolean mask = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &s);
    glGetIntegerv(GL_BLEND_DST_RGB, &d);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(s, (int)source);
    EXPECT_EQ(d, (int)destination);
    EXPECT_EQ(mask, depth);
}

// The cache is observed by changing GL state behind its back: a call that
// made GL calls would overwrite it.
TEST(BlendMode, CallsGLOnlyOnChange) {
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    const GLenum table[5][3] = {{GL_ONE, GL_ZERO, GL_TRUE}, {GL_ONE, GL_ONE, GL_FALSE},
                                {GL_SRC_ALPHA, GL_ONE, GL_FALSE}, {GL_DST_COLOR, GL_ZERO, GL_FALSE},
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
    setBlendMode(7);        // unknown: remembered, no GL call
    EXPECT_EQ(currentBlendMode, 7);
    expectBlendState(GL_ONE_MINUS_DST_COLOR, GL_SRC_COLOR, GL_FALSE);
    setBlendMode(Opaque);
    expectBlendState(GL_ONE, GL_ZERO, GL_TRUE);
}

// ---- where things land ---------------------------------------------------------------

static void drawFlat(TestMesh* t, float x, float y, float z, float r, float g, float b) {
    static float colour[4];
    colour[0] = r; colour[1] = g; colour[2] = b; colour[3] = 1;
    t->mesh.x = x; t->mesh.y = y; t->mesh.z = z;
    t->mesh.dirty = 1;
    queueUniformEntry("colour", Vec4, 0, 0, colour);
    drawMesh(&t->mesh);
}

// fov 90 and aspect 0.5 (128 × 64): at 5 units a point 2.5 to the side sits
// half-way to the edge, and 1.25 up sits half-way to the top.
TEST(Placement, ObjectsLandWhereTheConventionsSay) {
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
    drawFlat(&t, 0, 0, 5, 1, 0, 0);         // straight ahead
    drawFlat(&t, 2.5f, 0, 5, 0, 1, 0);      // right
    drawFlat(&t, 0, 1.25f, 5, 0, 0, 1);     // up
    drawFlat(&t, 0, 0, -5, 1, 1, 1);        // behind: not seen
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

TEST(Skybox, CentredOnTheEyeAndGuarded) {
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    resetCamera();
    setCamera(3, 4, 5, 0, 0, 0, 0.1f, 100.0f, 90.0f);
    Mesh saved[3];
    memcpy(saved, skyMeshes, sizeof(saved));
    drawSkybox(3);
    drawSkybox(-1);
    EXPECT_EQ(0, memcmp(saved, skyMeshes, sizeof(saved)));

    TestMesh t;
    makeSquare(&t, 1.0f, flatProgram());
    skyMeshes[1] = t.mesh;
    skyMeshes[1].z = 1.0f;   // its own placement is replaced
    static float colour[4] = {0, 0, 1, 1};
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    queueUniformEntry("colour", Vec4, 0, 0, colour);
    drawSkybox(1);
    // The square lies in the plane of the eye: seen edge-on it draws nothing,
    // but its model matrix puts it exactly at the camera.
    updateViewMatrix();
    float mv[16];
    matMultiply(mv, camera.view, skyMeshes[1].model);
    EXPECT_EQ(mv[12], 0.0f);
    EXPECT_EQ(mv[13], 0.0f);
    EXPECT_EQ(mv[14], 0.0f);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
    memcpy(skyMeshes, saved, sizeof(saved));
    freeTestMesh(&t);
}

// ---- overlay quads -----------------------------------------------------------------

TEST(Overlay, LoadingBarAndColours) {
    if (!glReady(200, 200)) GTEST_SKIP() << "no display";
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    const int noTexture[1] = {0};
    float p = 0.5f;
    drawOverlayQuad(noTexture, p * 0.5f, 0.33f, p, 0.01f, 1, 0xffeeaaffu, Opaque, -1);
    ASSERT_GT(overlayProgram, 0);
    EXPECT_EQ(activeCamera, &camera);
    expectColour(0, 66, 255, 238, 170, 0);
    expectColour(99, 66, 255, 238, 170, 0);
    expectColour(101, 66, 0, 0, 0, 0);
    expectColour(50, 70, 0, 0, 0, 0);
    expectColour(50, 62, 0, 0, 0, 0);
    float f[4];
    uniformFloats(overlayProgram, "vcol", f);
    EXPECT_EQ(f[0], 1.0f);
    EXPECT_EQ(f[1], 238.0f / 255.0f);
    EXPECT_EQ(f[2], 170.0f / 255.0f);
    EXPECT_EQ(f[3], 1.0f);
    EXPECT_EQ(uniformInt(overlayProgram, "hasTex"), 0);

    overlayAlpha = 0.25f;
    drawOverlayQuad(nullptr, 0.5f, 0.5f, 1, 1, 0, 0xffffffffu, AlphaBlend, 0);
    overlayAlpha = -1.0f;
    uniformFloats(overlayProgram, "vcol", f);
    EXPECT_EQ(f[3], 0.25f);
    expectColour(150, 150, 64, 64, 64);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST(Overlay, TexturesCullingAndRestoredState) {
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, tex);
    const unsigned char texel[4] = {0, 128, 255, 255};
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);

    const int none[2] = {0, -1};
    glClear(GL_COLOR_BUFFER_BIT);
    drawOverlayQuad(none, 0.5f, 0.5f, 1, 1, 2, 0xff0000ffu, Opaque, -1);
    EXPECT_EQ(uniformInt(overlayProgram, "hasTex"), 0);
    expectColour(32, 32, 255, 0, 0);
    const int real[1] = {(int)tex};
    drawOverlayQuad(real, 0.5f, 0.5f, 1, 1, 1, 0xffffffffu, Opaque, -1);
    EXPECT_EQ(uniformInt(overlayProgram, "hasTex"), 1);
    expectColour(32, 32, 0, 128, 255);
    const int tooMany[7] = {0, 0, 0, 0, 0, (int)tex, (int)tex};   // only five fit
    drawOverlayQuad(tooMany, 0.5f, 0.5f, 1, 1, 7, 0x00ff00ffu, Opaque, -1);
    EXPECT_EQ(uniformInt(overlayProgram, "hasTex"), 0);
    expectColour(32, 32, 0, 255, 0);

    // A negative size mirrors the quad: it faces away and is culled.
    glClear(GL_COLOR_BUFFER_BIT);
    drawOverlayQuad(nullptr, 0.5f, 0.5f, -1, 1, 0, 0xffffffffu, Opaque, -1);
    drawOverlayQuad(nullptr, 0.5f, 0.5f, 1, -1, 0, 0xffffffffu, Opaque, -1);
    expectColour(32, 32, 0, 0, 0, 0);

    setBlendMode(Additive);
    drawOverlayQuad(nullptr, 0.5f, 0.5f, 0.5f, 0.5f, 0, 0x102030ffu, AlphaBlend, -1);
    EXPECT_EQ(currentBlendMode, Additive);
    expectBlendState(GL_ONE, GL_ONE, GL_FALSE);
    EXPECT_EQ(activeCamera, &camera);
    setBlendMode(Opaque);
    glDeleteTextures(1, &tex);
}

// ---- the picture: a textured, lit sphere through the camera and overlay quads
// in every blend mode, read back, compared and written to render_check.png.

static const char* litVertex =
    "#version 100\nattribute vec3 vpos; attribute vec2 vUV; attribute vec3 vnrm;\n"
    "uniform mat4 matM, matP, matN; varying vec2 uv; varying vec3 n;\n"
    "void main(){ gl_Position = matP * matM * vec4(vpos, 1.0); uv = vUV; n = (matN * vec4(vnrm, 0.0)).xyz; }";
static const char* litFragment =
    "#version 100\nprecision mediump float; uniform sampler2D tex0; uniform vec3 light;\n"
    "varying vec2 uv; varying vec3 n;\n"
    "void main(){ float d = max(dot(normalize(n), light), 0.0);"
    " gl_FragColor = vec4(texture2D(tex0, uv).rgb * (0.15 + 0.85 * d), 1.0); }";

static void makeSphere(TestMesh* t, int rings, int segments, float radius, int program) {
    memset(&t->mesh, 0, sizeof(Mesh));
    t->vertices.clear();
    t->indices.clear();
    for (int r = 0; r <= rings; r++) {
        float theta = 3.14159265f * r / rings;
        for (int s = 0; s <= segments; s++) {
            float phi = 2.0f * 3.14159265f * s / segments;
            MeshVertex v{};
            v.nx = sinf(theta) * cosf(phi);
            v.ny = cosf(theta);
            v.nz = sinf(theta) * sinf(phi);
            v.x = v.nx * radius; v.y = v.ny * radius; v.z = v.nz * radius;
            v.u = (float)s / segments;
            v.v = (float)r / rings;
            t->vertices.push_back(v);
        }
    }
    for (int r = 0; r < rings; r++)
        for (int s = 0; s < segments; s++) {
            uint16_t a = (uint16_t)(r * (segments + 1) + s), b = (uint16_t)(a + segments + 1);
            uint16_t quad[6] = {a, b, (uint16_t)(a + 1), b, (uint16_t)(b + 1), (uint16_t)(a + 1)};   // clockwise seen from outside
            t->indices.insert(t->indices.end(), quad, quad + 6);
        }
    t->mesh.vertexCount = (uint32_t)t->vertices.size();
    t->mesh.triangleCount = (uint32_t)t->indices.size() / 3;
    t->mesh.frameCount = 1;
    t->vertices.resize(t->vertices.size() * 2);   // the blend slot
    t->mesh.vertices = t->vertices.data();
    t->mesh.indices = t->indices.data();
    for (int i = 0; i < 5; i++) t->mesh.textures[i] = -1;
    t->mesh.program = program;
    uploadMesh(&t->mesh);
}

static GLuint checkerTexture(void) {
    unsigned char pixels[8 * 8 * 4];
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            unsigned char* p = pixels + (y * 8 + x) * 4;
            int on = (x + y) & 1;
            p[0] = on ? 240 : 40; p[1] = on ? 200 : 60; p[2] = on ? 80 : 160; p[3] = 255;
        }
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return tex;
}

static int blendExpected(int mode, int s, int d, float a) {
    float S = s / 255.0f, D = d / 255.0f, out = 0;
    switch (mode) {
    case Opaque: out = S; break;
    case Additive: out = S + D; break;
    case AlphaAdditive: out = S * a + D; break;
    case Multiply: out = S * D; break;
    case AlphaBlend: out = S * a + D * (1 - a); break;
    }
    if (out > 1) out = 1;
    return (int)lrintf(out * 255.0f);
}

TEST(RenderCheck, LitSphereAndOverlayBlendModes) {
    const int W = 320, H = 180;
    if (!glReady(W, H)) GTEST_SKIP() << "no display";
    int program = createShaderProgram(litVertex, litFragment, 1);
    ASSERT_GT(program, 0);
    TestMesh sphere;
    makeSphere(&sphere, 24, 32, 1.0f, program);
    GLuint tex = checkerTexture();
    sphere.mesh.textures[0] = (int)tex;
    resetCamera();
    camera.aspect = (float)H / W;
    setCamera(0, 0, -6, 0, 0, 0, 0.1f, 100.0f, 60.0f);
    sphere.mesh.yaw = DEG2RAD(30.0f);
    sphere.mesh.dirty = 1;

    glClearColor(0.5f, 0.5f, 0.5f, 1);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    static float light[3] = {-0.57735f, 0.57735f, 0.57735f};   // from upper left, towards the viewer
    queueUniformEntry("light", Vec3, 0, 0, light);
    drawMesh(&sphere.mesh);

    // Five quads along the bottom over the grey background, one per mode.
    const uint32_t colour = 0xc0408080u;   // (192, 64, 128), alpha 128
    for (int mode = 0; mode < 5; mode++)
        drawOverlayQuad(nullptr, 0.1f + 0.2f * mode, 0.1f, 0.16f, 0.12f, 0, colour, mode, -1);
    std::vector<unsigned char> image = readPixels(0, 0, W, H);

    // Write it (top row first) for a look.
    std::vector<unsigned char> flipped(image.size());
    for (int y = 0; y < H; y++) memcpy(&flipped[(size_t)y * W * 4], &image[(size_t)(H - 1 - y) * W * 4], W * 4);
    std::string path = std::string(KESTREL_BINARY_DIR) + "/render_check.png";
    EXPECT_NE(0, stbi_write_png(path.c_str(), W, H, 4, flipped.data(), W * 4));

    auto at = [&](int x, int y) { return &image[((size_t)y * W + x) * 4]; };
    // The sphere is centred; its lit upper left is brighter than its lower right.
    const unsigned char* centre = at(W / 2, H / 2);
    EXPECT_FALSE(centre[0] == 128 && centre[1] == 128 && centre[2] == 128);
    int bright = 0, dark = 0;
    for (int d = 5; d < 25; d++) {
        const unsigned char* ul = at(W / 2 - d, H / 2 + d);
        const unsigned char* lr = at(W / 2 + d, H / 2 - d);
        bright += ul[0] + ul[1] + ul[2];
        dark += lr[0] + lr[1] + lr[2];
    }
    EXPECT_GT(bright, dark * 2);
    // The checker shows: across the middle the squares alternate.
    int changes = 0;
    for (int x = W / 2 - 40; x < W / 2 + 40; x++) {
        const unsigned char* a = at(x, H / 2 + 10);
        const unsigned char* b = at(x + 1, H / 2 + 10);
        if (abs(a[0] - b[0]) > 40) changes++;
    }
    EXPECT_GE(changes, 2);
    EXPECT_EQ(at(5, H / 2)[0], 128);   // background beside the sphere

    const int src[3] = {192, 64, 128};
    for (int mode = 0; mode < 5; mode++) {
        const unsigned char* p = at((int)((0.1f + 0.2f * mode) * W), (int)(0.1f * H));
        for (int c = 0; c < 3; c++)
            EXPECT_NEAR(p[c], blendExpected(mode, src[c], 128, 128 / 255.0f), 2) << "mode " << mode << " channel " << c;
    }
    glDeleteTextures(1, &tex);
    freeTestMesh(&sphere);
    glDeleteProgram(program);
}

// Overlay quads (loading bar, colours, textures, culling, restored state) and a
// lit, textured sphere under overlays in every blend mode, read back.
#include "render/fixture.h"
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

TEST(Overlay, LoadingBarAndColours)
{
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

TEST(Overlay, TexturesCullingAndRestoredState)
{
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

// A quad drawn behind shows only where the depth is still at the far plane:
// the left half stands for geometry at depth 0.5, a strip of the middle for
// geometry a hair in front of the far plane; a plain quad ignores both.
TEST(Overlay, BehindFillsOnlyWhatNothingCovers)
{
    if (!glReady(64, 64)) GTEST_SKIP() << "no display";
    glClearColor(0, 0, 0, 1);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, 32, 64);
    glClearDepth(0.5);
    glClear(GL_DEPTH_BUFFER_BIT);
    glScissor(40, 0, 8, 64);
    glClearDepth(1.0 - 2.0 / 65535.0);
    glClear(GL_DEPTH_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);
    glClearDepth(1.0);
    glDepthMask(GL_TRUE);

    drawOverlayQuadBehind(nullptr, 0.5f, 0.5f, 1, 1, 0, 0xff0000ffu, Opaque, -1);
    expectColour(16, 32, 0, 0, 0);
    expectColour(44, 32, 0, 0, 0);
    expectColour(36, 32, 255, 0, 0);
    expectColour(56, 32, 255, 0, 0);
    // Blended behind, over what the first one left; the depth stayed as it was.
    drawOverlayQuadBehind(nullptr, 0.5f, 0.5f, 1, 1, 0, 0x0000ff80u, AlphaBlend, -1);
    expectColour(16, 32, 0, 0, 0);
    expectColour(56, 32, 127, 0, 128);
    GLboolean writes = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &writes);
    EXPECT_EQ(writes, GL_TRUE);
    GLint func = 0;
    glGetIntegerv(GL_DEPTH_FUNC, &func);
    EXPECT_EQ(func, GL_LESS);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(currentBlendMode, Opaque);
    drawOverlayQuad(nullptr, 0.5f, 0.5f, 1, 1, 0, 0x00ff00ffu, Opaque, -1);
    expectColour(16, 32, 0, 255, 0);
}

// ---- the picture: a textured, lit sphere through the camera and overlay quads
// in every blend mode, read back, compared and written to render_check.png.

static const char* litVertex =
    "#version 100\nattribute vec3 vpos; attribute vec2 vUV; attribute vec3 vnrm;\n"
    "uniform mat4 matM, matP, matN; varying vec2 uv; varying vec3 n;\n"
    "void main(){ gl_Position = matP * matM * vec4(vpos, 1.0); uv = vUV; n = (matN * vec4(vnrm, 0.0)).xyz; }";
static const char* litFragment = "#version 100\nprecision mediump float; uniform sampler2D tex0; uniform vec3 light;\n"
                                 "varying vec2 uv; varying vec3 n;\n"
                                 "void main(){ float d = max(dot(normalize(n), light), 0.0);"
                                 " gl_FragColor = vec4(texture2D(tex0, uv).rgb * (0.15 + 0.85 * d), 1.0); }";

static void makeSphere(TestMesh* t, int rings, int segments, float radius, int program)
{
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
            v.x = v.nx * radius;
            v.y = v.ny * radius;
            v.z = v.nz * radius;
            v.u = (float)s / segments;
            v.v = (float)r / rings;
            t->vertices.push_back(v);
        }
    }
    for (int r = 0; r < rings; r++)
        for (int s = 0; s < segments; s++) {
            uint16_t a = (uint16_t)(r * (segments + 1) + s), b = (uint16_t)(a + segments + 1);
            uint16_t quad[6] = {
                a, b, (uint16_t)(a + 1), b, (uint16_t)(b + 1), (uint16_t)(a + 1)};   // clockwise seen from outside
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

static GLuint checkerTexture(void)
{
    unsigned char pixels[8 * 8 * 4];
    for (int y = 0; y < 8; y++)
        for (int x = 0; x < 8; x++) {
            unsigned char* p = pixels + (y * 8 + x) * 4;
            int on = (x + y) & 1;
            p[0] = on ? 240 : 40;
            p[1] = on ? 200 : 60;
            p[2] = on ? 80 : 160;
            p[3] = 255;
        }
    GLuint tex = 0;
    glGenTextures(1, &tex);
    glBindTexture(GL_TEXTURE_2D, tex);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 8, 8, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    return tex;
}

static int blendExpected(int mode, int s, int d, float a)
{
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

TEST(RenderCheck, LitSphereAndOverlayBlendModes)
{
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

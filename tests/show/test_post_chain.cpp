// The whole post chain with the show's own post shaders: a test scene through
// the timeline, grading and letterbox, seams of a flat picture, bokeh at zero.
#include "post/fixture.h"
#include "show/show_local.h"
#include <math.h>
#include <string>
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#define STB_IMAGE_WRITE_STATIC
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#pragma GCC diagnostic pop

static std::string dataFile(const char* name) { return std::string(KESTREL_SOURCE_DIR) + "/data/" + name; }

static int noiseTexture(int size, int seed, int warm)
{
    std::vector<unsigned char> p((size_t)size * size * 4);
    unsigned state = (unsigned)seed;
    for (size_t i = 0; i < p.size(); i += 4) {
        state = state * 1103515245u + 12345u;
        unsigned char v = (unsigned char)(state >> 24);
        p[i] = v;
        p[i + 1] = warm ? v / 2 : v;
        p[i + 2] = warm ? v / 4 : v;
        p[i + 3] = 255;
    }
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

// A test scene: a dark backdrop with a bright light (unless switched off) and
// a coloured block.
static int testSceneLight = 1;
static void testScene(const ShowFrame*)
{
    beginSceneTarget();
    const int none[1] = {0};
    drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0x302820FFu, Opaque, -1);
    if (testSceneLight) drawOverlayQuad(none, 0.3f, 0.6f, 0.08f, 0.12f, 1, 0xFFF0D0FFu, Opaque, -1);
    drawOverlayQuad(none, 0.65f, 0.4f, 0.25f, 0.3f, 1, 0x4080C0FFu, Opaque, -1);
    postProcessFrame(1);
}

static void writePng(const char* path, const std::vector<unsigned char>& rgba, int width, int height)
{
    std::vector<unsigned char> flipped(rgba.size());
    size_t row = (size_t)width * 4;
    for (int y = 0; y < height; y++) memcpy(&flipped[row * y], &rgba[row * (height - 1 - y)], row);
    stbi_write_png(path, width, height, 4, flipped.data(), (int)row);
}

TEST(PostChain, ShowShadersCompileWithTheirAttributes)
{
    ASSERT_TRUE(testGLContext(64, 64));
    const char* pairs[5][2] = {{"post.vs", "fastbokeh.fs"},
                               {"post_uv.vs", "color_correct.fs"},
                               {"post_uv.vs", "color_contrast.fs"},
                               {"post_uv.vs", "lomofi.fs"},
                               {"post.vs", "drunk.fs"}};
    for (auto& pair : pairs) {
        int program = bindPostAttributes(loadShaderPair(dataFile(pair[0]).c_str(), dataFile(pair[1]).c_str()));
        ASSERT_GT(program, 0) << pair[1];
        GLint linked = 0;
        glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
        EXPECT_EQ(linked, 1) << pair[1];
        EXPECT_EQ(glGetAttribLocation((GLuint)program, "PosAttribute"), 0) << pair[1];
        EXPECT_EQ(glGetAttribLocation((GLuint)program, "TexAttribute"), 1) << pair[1];
    }
}

TEST(PostChain, TestSceneThroughTimelineGradingAndLetterbox)
{
    ASSERT_TRUE(usePost(128, 72));
    int saved[4] = {res.progLomofi, res.texGrain, res.texLeak, res.texDirt};
    res.progLomofi = bindPostAttributes(loadShaderPair(dataFile("post_uv.vs").c_str(), dataFile("lomofi.fs").c_str()));
    ASSERT_GT(res.progLomofi, 0);
    res.texGrain = noiseTexture(64, 7, 0);
    res.texLeak = noiseTexture(4, 11, 1);
    res.texDirt = noiseTexture(16, 13, 0);

    // A 4:3 "window" (an off-screen buffer of 128 × 96) shows bars of 12 rows.
    static RenderTarget window;
    ASSERT_TRUE(createRenderTarget(&window, 128, 96, 1));
    setCameraAspect(128, 96);
    SceneRoutine routine = showScenes[0];
    showScenes[0] = testScene;
    prevScene = -1;
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)window.framebuffer);
    glViewport(0, 0, 128, 96);
    // Through the show's frame, which hands the grading its program and textures.
    ShowFrame frame = {};
    frame.time = 1.0f;
    frame.delta = 0.04f;
    frame.tracks[TrackScene] = 1.0f;
    EXPECT_EQ(drawShowFrame(&frame), 0);
    std::vector<unsigned char> out = readPixels(0, 0, 128, 96);
    // The same frame without the light (same grain offset: no frame was
    // presented), to tell its glow from the grade of the backdrop.
    testSceneLight = 0;
    EXPECT_EQ(drawShowFrame(&frame), 0);
    std::vector<unsigned char> dark = readPixels(0, 0, 128, 96);
    testSceneLight = 1;
    showScenes[0] = routine;
    writePng("post_chain.png", out, 128, 96);

    auto at = [&](int x, int y) { return &out[((size_t)y * 128 + x) * 4]; };
    for (int x = 0; x < 128; x += 9) {
        EXPECT_EQ(at(x, 0)[0] + at(x, 0)[1] + at(x, 0)[2], 0);
        EXPECT_EQ(at(x, 95)[0] + at(x, 95)[1] + at(x, 95)[2], 0);
    }
    // The light (at 0.3, 0.6 of the picture) glows beyond its edge, and the
    // graded picture is not the flat backdrop.
    int lightX = 38, lightY = 12 + (int)(0.6f * 72);
    EXPECT_GT(at(lightX, lightY)[0], 200);
    // Just beyond its edge the light glows: brighter than the same pixel of
    // the unlit frame, and more than farther out.
    auto lift = [&](int x) { return (int)at(x, lightY)[0] - (int)dark[((size_t)lightY * 128 + x) * 4]; };
    EXPECT_GE(lift(lightX + 7), 2) << "glow from the blurred copy";
    EXPECT_GE(lift(lightX + 7), lift(lightX + 25));
    // Grain: a flat area is not flat any more.
    int lo = 255, hi = 0;
    for (int x = 2; x < 30; x++) {
        lo = std::min(lo, (int)at(x, 20)[1]);
        hi = std::max(hi, (int)at(x, 20)[1]);
    }
    EXPECT_GT(hi - lo, 2);
    // Vignette: a corner of the picture is darker than the backdrop near the centre.
    EXPECT_LT(at(1, 13)[0], at(64, 30)[0]);
    res.progLomofi = saved[0];
    res.texGrain = saved[1];
    res.texLeak = saved[2];
    res.texDirt = saved[3];
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// A texture of size x size whose alpha falls from 1 at the left edge to 0 at
// the right, white, repeating: a light leak that does not tile.
static int edgeLeakTexture(int size)
{
    std::vector<unsigned char> p((size_t)size * size * 4, 255);
    for (int y = 0; y < size; y++)
        for (int x = 0; x < size; x++) p[((size_t)y * size + x) * 4 + 3] = (unsigned char)(255 - x * 255 / (size - 1));
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, size, size, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

static int flatTexture(unsigned char value)
{
    std::vector<unsigned char> p(4 * 4 * 4, value);
    for (size_t i = 3; i < p.size(); i += 4) p[i] = 255;
    GLuint t = 0;
    glGenTextures(1, &t);
    glBindTexture(GL_TEXTURE_2D, t);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 4, 4, 0, GL_RGBA, GL_UNSIGNED_BYTE, p.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    return (int)t;
}

// Largest step between neighbouring pixels of a row (dx 1) or column, colour only.
static int largestStep(const std::vector<unsigned char>& p, int width, int height, int vertical)
{
    int worst = 0;
    for (int y = 0; y + vertical < height; y++)
        for (int x = 0; x + 1 - vertical < width; x++)
            for (int c = 0; c < 3; c++) {
                int a = p[((size_t)y * width + x) * 4 + c];
                int b = p[((size_t)(y + vertical) * width + x + 1 - vertical) * 4 + c];
                worst = std::max(worst, abs(a - b));
            }
    return worst;
}

// A flat picture must come out of the blur and the grade without edges: no
// panel from the pyramid, and no seam where the light leak, moved by the
// camera, would wrap around its border (its bright edge against its dark one).
TEST(PostChain, FlatPictureStaysFreeOfSeamsThroughBlurAndGrade)
{
    ASSERT_TRUE(usePost(128, 72));
    int saved[4] = {res.progLomofi, res.texGrain, res.texLeak, res.texDirt};
    res.progLomofi = bindPostAttributes(loadShaderPair(dataFile("post_uv.vs").c_str(), dataFile("lomofi.fs").c_str()));
    ASSERT_GT(res.progLomofi, 0);
    res.texGrain = flatTexture(128);
    res.texLeak = edgeLeakTexture(64);
    res.texDirt = flatTexture(0);
    const int none[1] = {0};
    bindRenderTarget(fullTarget);
    drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0x604830FFu, Opaque, -1);
    unbindRenderTarget(fullTarget);
    blurTarget(fullTarget, extraTarget, 1.0f, 3.0f);
    std::vector<unsigned char> blurred = readTargetPixels(extraTarget);
    EXPECT_LE(largestStep(blurred, 128, 72, 0), 1);
    EXPECT_LE(largestStep(blurred, 128, 72, 1), 1);

    // What the show hands the grade in scene 8 when no frame was presented.
    const GradingSources savedSources = gradingSources;
    gradingSources =
        GradingSources{res.progLomofi, -1, -1, res.texGrain, res.texLeak, res.texDirt, flareAmount(8.0f), 0};
    const float cameraX[3] = {0.0f, 320.0f, -1000.0f};   // leak moved by 0, 0.4 and -1.25 pictures before
    for (float x : cameraX) {
        camera = Camera();
        camera.x = x;
        camera.yaw = 0.7f;
        glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(extraTarget)->framebuffer);
        glViewport(0, 0, 128, 72);
        beginSceneTarget();
        drawOverlayQuad(none, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0x604830FFu, Opaque, -1);
        postProcessFrame(1);
        std::vector<unsigned char> graded = readTargetPixels(extraTarget);
        EXPECT_LE(largestStep(graded, 128, 72, 0), 3) << "camera x " << x;
        EXPECT_LE(largestStep(graded, 128, 72, 1), 3) << "camera x " << x;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    camera = Camera();
    gradingSources = savedSources;
    res.progLomofi = saved[0];
    res.texGrain = saved[1];
    res.texLeak = saved[2];
    res.texDirt = saved[3];
}

TEST(PostChain, BokehAtScaleZeroKeepsSinglePixelsOfAWidePicture)
{
    ASSERT_TRUE(usePost(128, 72));
    int program = bindPostAttributes(loadShaderPair(dataFile("post.vs").c_str(), dataFile("fastbokeh.fs").c_str()));
    ASSERT_GT(program, 0);
    // One-pixel stripes across 2048 pixels: coordinates computed in 16-bit
    // floats would land between pixels and smear them.
    static int src = -1, dst = -1;
    if (src < 0) src = allocRenderTarget(2048, 4, 0);
    if (dst < 0) dst = allocRenderTarget(2048, 4, 0);
    ASSERT_GE(src, 0);
    ASSERT_GE(dst, 0);
    bindRenderTarget(src);
    glClearColor(0.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    glEnable(GL_SCISSOR_TEST);
    for (int x = 1; x < 2048; x += 2) {
        glScissor(x, 0, 1, 4);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glDisable(GL_SCISSOR_TEST);
    unbindRenderTarget(src);
    queueUniform("scale", 0.0f);
    queueUniform("intensity", 20.0f);
    queueUniform("highlight", 0.0f);
    queueUniform("factorPix", 1.0f);
    queueUniform("factorTex", 1.0f);
    copyTarget(dst, src, program);
    EXPECT_LE(maxDifference(readTargetPixels(dst), readTargetPixels(src)), 1);
}

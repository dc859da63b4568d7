// The pool of post buffers: start-up sizes, nested bindings, the scene buffer's
// begin, incomplete buffers and the pool's limit.
#include "post/fixture.h"

TEST(PostBuffers, StartUpSizesAt1280x720And1366x768)
{
    ASSERT_TRUE(usePost(1280, 720));
    struct {
        int index, w, h, depth;
    } rows1280[] = {
        {sceneTarget, 1280, 720, 1}, {fullTarget, 1280, 720, 1},    {halfTarget, 640, 360, 1},
        {smallTarget, 80, 45, 1},    {extraTarget, 1280, 720, 1},   {blurTargetA, 1280, 720, 0},
        {blurTargetB, 1280, 720, 0}, {pyramidBase, 320, 180, 0},    {pyramidFade, 320, 180, 0},
        {pyramidRows, 320, 270, 0},  {pyramidBlurred, 320, 270, 0},
    };
    for (auto& r : rows1280) {
        ASSERT_GE(r.index, 0);
        EXPECT_EQ(target(r.index)->width, r.w);
        EXPECT_EQ(target(r.index)->height, r.h);
        EXPECT_EQ(target(r.index)->depthBuffer != -1, r.depth == 1);
        EXPECT_EQ(target(r.index)->format, (unsigned)GL_RGBA);
    }
    // Start-up order: scene, full, half, small, extra, A, B, level 0, the fade
    // buffer, the rows and the blurred atlas.
    EXPECT_EQ(fullTarget, sceneTarget + 1);
    EXPECT_EQ(blurTargetB, sceneTarget + 6);
    EXPECT_EQ(pyramidBase, sceneTarget + 7);
    EXPECT_EQ(pyramidFade, sceneTarget + 8);
    EXPECT_EQ(pyramidBlurred, sceneTarget + 10);
    EXPECT_FLOAT_EQ(factorPix, 2.0f);
    EXPECT_FLOAT_EQ(smallDivisor, 16.0f);
    EXPECT_FLOAT_EQ(extraDivisor, 1.0f);
    for (int level = 0; level < 4; level++) {
        EXPECT_GT(blurPrograms.horizontal[level], 0);
        EXPECT_GT(blurPrograms.vertical[level], 0);
        EXPECT_EQ(blurPrograms.halved[level] > 0, level > 0) << "level " << level;
        EXPECT_EQ(glGetAttribLocation((GLuint)blurPrograms.horizontal[level], "PosAttribute"), 0);
        EXPECT_EQ(glGetAttribLocation((GLuint)blurPrograms.vertical[level], "TexAttribute"), 1);
    }
    EXPECT_EQ(glGetAttribLocation((GLuint)blurPrograms.combine, "TexAttribute"), 1);
    EXPECT_EQ(glGetAttribLocation((GLuint)blurPrograms.downsample, "PosAttribute"), 0);

    ASSERT_TRUE(usePost(1366, 768));
    EXPECT_EQ(target(halfTarget)->width, 683);
    EXPECT_EQ(target(halfTarget)->height, 384);
    EXPECT_EQ(target(smallTarget)->width, 85);
    EXPECT_EQ(target(smallTarget)->height, 48);
    EXPECT_EQ(target(pyramidBase)->width, 341);
    EXPECT_EQ(target(pyramidBase)->height, 192);
}

// The set's memory at 37 x 23, worked out by hand: scene, full and extra
// 37 x 23 with depth (6 bytes a pixel), half 18 x 11 and small 2 x 1 with
// depth, A and B 37 x 23, level 0 and the fade buffer of 9 x 5, and two
// atlases of 9 x 7 (levels 1-3 of 4 x 2, 2 x 1 and 1 x 1 side by side are 7
// wide; 23 / 32 rounds to 0 and is held at one pixel).
TEST(PostBuffers, MemoryOfTheSetFromItsRows)
{
    EXPECT_EQ(postBufferBytes(37, 23), 3u * 851 * 6 + 198u * 6 + 2u * 6 + 2u * 851 * 4 + 2u * 4 * 45 + 2u * 4 * 63);
    EXPECT_EQ(postBufferBytes(0, 23), 0u);
}

TEST(PostBuffers, BindingsNestAndRestore)
{
    ASSERT_TRUE(usePost(128, 72));
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(extraTarget)->framebuffer);
    glViewport(3, 4, 50, 40);
    bindRenderTarget(halfTarget);
    bindRenderTarget(smallTarget);
    GLint fb = -1, vp[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(smallTarget)->framebuffer);
    EXPECT_EQ(vp[2], 8);
    EXPECT_EQ(vp[3], 4);
    unbindRenderTarget(smallTarget);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(halfTarget)->framebuffer);
    EXPECT_EQ(vp[0], 0);
    EXPECT_EQ(vp[2], 64);
    EXPECT_EQ(vp[3], 36);
    unbindRenderTarget(halfTarget);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(extraTarget)->framebuffer);
    EXPECT_EQ(vp[0], 3);
    EXPECT_EQ(vp[1], 4);
    EXPECT_EQ(vp[2], 50);
    EXPECT_EQ(vp[3], 40);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    bindRenderTarget(-1);   // no buffer: nothing happens
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    EXPECT_EQ(fb, 0);
}

TEST(PostBuffers, BeginSceneTargetKeepsColourAndClearsDepth)
{
    ASSERT_TRUE(usePost(128, 72));
    bindRenderTarget(sceneTarget);
    glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
    glClearDepth(0.25);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glClearDepth(1.0);
    unbindRenderTarget(sceneTarget);
    beginSceneTarget();
    std::vector<unsigned char> colour = readPixels(60, 30, 1, 1);
    float depth = 0.0f;
    glReadPixels(60, 30, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &depth);
    unbindRenderTarget(sceneTarget);
    EXPECT_EQ(colour[0], 0);
    EXPECT_EQ(colour[1], 255);
    EXPECT_FLOAT_EQ(depth, 1.0f);
}

TEST(PostBuffers, IncompleteBufferIsLoggedWithItsStatus)
{
    ASSERT_TRUE(testGLContext(64, 64));
    size_t mark = readFile("demo.log").size();
    RenderTarget broken = {};
    EXPECT_EQ(createRenderTarget(&broken, 0, 0, 1), 0);
    std::string log = readFile("demo.log").substr(mark);
    EXPECT_NE(log.find("incomplete (status 0x"), std::string::npos) << log;
    GLint fb = -1;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    EXPECT_EQ(fb, 0);
}

TEST(PostBuffers, SixtyFifthBufferIsRefused)
{
    ASSERT_TRUE(usePost(128, 72));
    std::vector<int> taken;
    for (;;) {
        int index = allocRenderTarget(4, 4, 0);
        if (index < 0) break;
        taken.push_back(index);
        ASSERT_LT(taken.size(), 65u);
    }
    EXPECT_EQ(renderTargets[MaxRenderTargets - 1] != nullptr, true);
    // The last slot answers; one past it and one below the first do not.
    EXPECT_EQ(colorTextureOf(MaxRenderTargets - 1), renderTargets[MaxRenderTargets - 1]->colorTexture);
    EXPECT_EQ(colorTextureOf(MaxRenderTargets), -1);
    EXPECT_EQ(colorTextureOf(-1), -1);
    size_t mark = readFile("demo.log").size();
    EXPECT_EQ(allocRenderTarget(4, 4, 0), -1);
    EXPECT_EQ(readFile("demo.log").substr(mark), "out of post buffer!");
    for (int index : taken) {
        free(renderTargets[index]);
        renderTargets[index] = nullptr;
    }
}

// A read texel for texel samples nearest during its draw only, and only from
// a buffer of the viewport's size (one pixel off either way, or no buffer:
// refused). A same-size copy is exact; a half-size copy made after it from
// the same buffer still blends each black column with the white one beside it.
TEST(PostBuffers, TexelForTexelReadsSampleNearestOnlyForTheirDraw)
{
    ASSERT_TRUE(usePost(128, 72));
    EXPECT_EQ(beginTexelReads(fullTarget, 128, 72), 1);
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, (GLuint)target(fullTarget)->colorTexture);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filter);
    glBindTexture(GL_TEXTURE_2D, 0);
    EXPECT_EQ(filter, GL_NEAREST);
    endTexelReads(fullTarget, 1);
    const int refused[6][3] = {{fullTarget, 127, 72}, {fullTarget, 129, 72}, {fullTarget, 128, 71},
                               {fullTarget, 128, 73}, {-1, 128, 72},         {MaxRenderTargets, 128, 72}};
    for (const auto& r : refused)
        EXPECT_EQ(beginTexelReads(r[0], r[1], r[2]), 0) << r[0] << ": " << r[1] << " x " << r[2];

    std::vector<unsigned char> stripes((size_t)128 * 72 * 4);
    for (size_t i = 0; i < stripes.size(); i++) stripes[i] = i % 4 == 3 || (i / 4) % 2 ? 255 : 0;
    GLuint pattern = 0;
    glGenTextures(1, &pattern);
    glBindTexture(GL_TEXTURE_2D, pattern);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 128, 72, 0, GL_RGBA, GL_UNSIGNED_BYTE, stripes.data());
    glBindTexture(GL_TEXTURE_2D, 0);
    fillTarget(sceneTarget, (int)pattern);
    copyTarget(fullTarget, sceneTarget, 0);
    EXPECT_EQ(maxDifference(readTargetPixels(fullTarget), stripes), 0);
    copyTarget(halfTarget, sceneTarget, 0);
    std::vector<unsigned char> half = readTargetPixels(halfTarget);
    ASSERT_EQ(half.size(), (size_t)64 * 36 * 4);
    for (size_t i = 0; i < half.size(); i += 4 * 37) EXPECT_NEAR(half[i], 128, 2) << "pixel " << i / 4;
    glDeleteTextures(1, &pattern);
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
}

// ---- blurTarget on pictures ------------------------------------------------------

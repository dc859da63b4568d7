// The window's size: when a new framebuffer size counts as settled, and which
// frame sizes fit the memory budget and the GL limits.
#include "app/present.h"
#include "app/window.h"
#include "post/post.h"
#include <gtest/gtest.h>

// A drag changes the size every poll: nothing is remade until the size has
// held for SettlePolls polls and SettleSeconds.
TEST(WindowSize, BuffersAreRemadeOnceTheSizeSettles)
{
    SizeWatch watch = {640, 360, 640, 360, 10, 0.0};
    double t = 1.0;
    for (int w = 650; w < 900; w += 10, t += 0.016) EXPECT_EQ(sizeSettled(&watch, w, 500, t), 0) << w;
    int settledAt = -1;
    for (int poll = 0; poll < 40 && settledAt < 0; poll++, t += 0.016)
        if (sizeSettled(&watch, 890, 500, t)) settledAt = poll;
    // The drag's last poll already saw 890 x 500: poll p is (p + 1) × 16 ms later.
    ASSERT_GE(settledAt, SettlePolls);
    EXPECT_GE((settledAt + 1) * 0.016 + 1e-9, SettleSeconds);
    EXPECT_LE((settledAt + 1) * 0.016, SettleSeconds + 0.02);
    watch.madeWidth = 890;
    watch.madeHeight = 500;
    EXPECT_EQ(sizeSettled(&watch, 890, 500, t + 5.0), 0);   // once made, not again
    // Slow polls: three polls are not enough before 0.2 s have passed.
    SizeWatch slow = {640, 360, 640, 360, 10, 0.0};
    EXPECT_EQ(sizeSettled(&slow, 800, 600, 2.0), 0);
    for (int i = 0; i < 5; i++) EXPECT_EQ(sizeSettled(&slow, 800, 600, 2.0 + 0.01 * (i + 1)), 0);
    EXPECT_EQ(sizeSettled(&slow, 800, 600, 2.25), 1);
}

TEST(FrameBudget, CommonSizesFitHugeOnesAreRefused)
{
    EXPECT_TRUE(frameSizeFitsBudget(1920, 1080));
    EXPECT_TRUE(frameSizeFitsBudget(3840, 2160));
    EXPECT_FALSE(frameSizeFitsBudget(7680, 4320));
    EXPECT_FALSE(frameSizeFitsBudget(16384, 16384));
    EXPECT_FALSE(frameSizeFitsBudget(0, 720));
    EXPECT_FALSE(frameSizeFitsBudget(1280, -1));
    // Every buffer of the set keeps at least one pixel, so a 1 x 1 frame still
    // counts all 11 of them (five with 16-bit depth); the two blur atlases are
    // 3 x 2 (levels 1-3 of one pixel each side by side above level 0).
    EXPECT_EQ(postBufferBytes(1, 1), 5u * 6 + 4u * 4 + 2u * 6 * 4);
    EXPECT_EQ(frameSizeBytes(1, 1), postBufferBytes(1, 1) + accumulationBytes(1, 1));
    // Doubling each side about quadruples the bytes (pyramid rounding aside).
    double ratio = (double)frameSizeBytes(2560, 1440) / (double)frameSizeBytes(1280, 720);
    EXPECT_NEAR(ratio, 4.0, 0.01);
}

TEST(FrameBudget, TheFirstGlLimitExceededIsNamed)
{
    FrameSizeLimits limits = {16384, 16384, 16384, 8192};
    EXPECT_EQ(frameSizeLimitProblem(8192, 8192, &limits), nullptr);
    EXPECT_STREQ(frameSizeLimitProblem(8193, 100, &limits), "GL_MAX_RENDERBUFFER_SIZE");
    EXPECT_STREQ(frameSizeLimitProblem(20000, 8, &limits), "GL_MAX_VIEWPORT_DIMS");
    FrameSizeLimits smallTexture = {32768, 32768, 4096, 16384};
    EXPECT_STREQ(frameSizeLimitProblem(100, 5000, &smallTexture), "GL_MAX_TEXTURE_SIZE");
}

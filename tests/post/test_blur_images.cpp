// blurTarget on real pictures: amounts between and beyond whole passes, zero
// strength, and the framebuffer, viewport and alpha it leaves behind.
#include "post/fixture.h"
#include <math.h>

class BlurImages : public ::testing::Test {
protected:
    std::vector<unsigned char> source;
    void SetUp() override
    {
        ASSERT_TRUE(usePost(128, 72));
        static int pattern = 0;
        if (!pattern) pattern = patternTexture(128, 72);
        fillTarget(fullTarget, pattern);
        source = readTargetPixels(fullTarget);
    }
    std::vector<unsigned char> blurred(float strength, float amount)
    {
        blurTarget(fullTarget, extraTarget, strength, amount);
        return readTargetPixels(extraTarget);
    }
};

TEST_F(BlurImages, NoAmountCopiesTheSource)
{
    EXPECT_EQ(maxDifference(blurred(1.0f, 0.0f), source), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, -2.0f), source), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, NAN), source), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, 1.0f), source), 0) << "fraction 0 keeps the base";
}

TEST_F(BlurImages, HalfAmountMixesSourceAndOnePass)
{
    std::vector<unsigned char> half = blurred(1.0f, 0.5f);
    std::vector<unsigned char> onePass = readTargetPixels(blurTargetA);
    EXPECT_GT(maxDifference(onePass, source), 40) << "the blur changes the picture";
    std::vector<unsigned char> mix(source.size());
    for (size_t i = 0; i < mix.size(); i++) mix[i] = (unsigned char)((source[i] + onePass[i] + 1) / 2);
    // Colour only: the blend also fades the destination's alpha.
    EXPECT_LE(maxDifference(half, mix, 1), 2);
    EXPECT_LE(maxDifference(blurred(1.0f, 0.999f), onePass, 1), 2);
}

TEST_F(BlurImages, ThreeEqualsTheTwoPassResult)
{
    pyramidBlur(fullTarget, blurTargetB, 1.0f);
    std::vector<unsigned char> onePass = readTargetPixels(blurTargetB);
    pyramidBlur(blurTargetB, blurTargetA, 1.0f);
    std::vector<unsigned char> twoPass = readTargetPixels(blurTargetA);
    std::vector<unsigned char> three = blurred(1.0f, 3.0f);
    EXPECT_LE(maxDifference(three, twoPass), 1);
    EXPECT_LE(maxDifference(readTargetPixels(blurTargetB), twoPass), 1);
    // The chain src -> A -> B -> A stops before its last pass, which would be
    // faded in at weight 0: A still holds the first pass.
    EXPECT_LE(maxDifference(readTargetPixels(blurTargetA), onePass), 1) << "a zero-weight pass ran into A";
}

TEST_F(BlurImages, WholeAmountsShowOnePassFewer)
{
    pyramidBlur(fullTarget, blurTargetA, 1.0f);
    std::vector<unsigned char> onePass = readTargetPixels(blurTargetA);
    EXPECT_LE(maxDifference(blurred(1.0f, 2.0f), onePass), 1);
    std::vector<unsigned char> nearlyTwo = blurred(1.0f, 1.999f);
    EXPECT_GT(maxDifference(nearlyTwo, onePass), 2) << "just below 2 fades to two passes";
    // Four and five passes: 5.0 shows the four-pass base, as 4.999 nearly does.
    std::vector<unsigned char> five = blurred(1.0f, 5.0f);
    EXPECT_LE(maxDifference(five, blurred(1.0f, 4.0f + 1.0e-3f), 1), 2);
    EXPECT_EQ(maxDifference(five, blurred(1.0f, 6.0f)), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, INFINITY), five), 0) << "no fraction, no fade";
}

TEST_F(BlurImages, AboveFourEveryUnitFadesFourToFivePasses)
{
    std::vector<unsigned char> a = blurred(1.0f, 4.5f);
    std::vector<unsigned char> b = blurred(1.0f, 5.5f);
    EXPECT_LE(maxDifference(a, b), 1);
    EXPECT_GT(maxDifference(a, source), 20);
}

TEST_F(BlurImages, ZeroStrengthIsTransparentBlack)
{
    EXPECT_EQ(maxDifference(blurred(0.0f, 0.5f), source), 0);
    std::vector<unsigned char> dark = blurred(0.0f, 2.5f);
    EXPECT_EQ(maxDifference(dark, std::vector<unsigned char>(dark.size(), 0)), 0);
}

TEST_F(BlurImages, FramebufferViewportAndAlphaRestored)
{
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)target(halfTarget)->framebuffer);
    glViewport(1, 2, 30, 20);
    blurTarget(fullTarget, extraTarget, 0.7f, 2.25f);
    GLint fb = -1, vp[4];
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &fb);
    glGetIntegerv(GL_VIEWPORT, vp);
    EXPECT_EQ(fb, target(halfTarget)->framebuffer);
    EXPECT_EQ(vp[0], 1);
    EXPECT_EQ(vp[1], 2);
    EXPECT_EQ(vp[2], 30);
    EXPECT_EQ(vp[3], 20);
    EXPECT_EQ(overlayAlpha, -1.0f);
    EXPECT_EQ(currentBlendMode, Opaque);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

// ---- final grading -------------------------------------------------------------

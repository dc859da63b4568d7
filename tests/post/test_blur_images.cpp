// blurTarget on real pictures: amounts between and beyond whole passes, zero
// strength, and the framebuffer, viewport and alpha it leaves behind.
#include "post/fixture.h"
#include <math.h>

// Mean channel difference over all four channels, in 1/255 units.
static double meanDifference(const std::vector<unsigned char>& a, const std::vector<unsigned char>& b)
{
    if (a.size() != b.size() || a.empty()) return 256.0;
    double sum = 0.0;
    for (size_t i = 0; i < a.size(); i++) sum += abs((int)a[i] - (int)b[i]);
    return sum / (double)a.size();
}

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

// blurTarget sums each pass at the size it is read at; pyramidBlur still sums
// at the size of its target. A chain of pyramidBlur calls between the two
// full-size buffers is the reference the cheaper sums must stay close to.
// Returns the buffer with the last result (the one before is in the other).
static int chainedPasses(int passes, float strength)
{
    int from = fullTarget;
    for (int pass = 0; pass < passes; pass++) {
        int to = pass % 2 == 0 ? blurTargetA : blurTargetB;
        pyramidBlur(from, to, strength);
        from = to;
    }
    return from;
}

// ---- the pyramid worked out on the CPU ---------------------------------------------
// One colour channel of a picture, as the 8-bit buffers hold it between passes.
struct Plane {
    int w, h;
    std::vector<float> v;
    float at(int x, int y) const
    {
        x = std::min(std::max(x, 0), w - 1);
        y = std::min(std::max(y, 0), h - 1);
        return v[(size_t)y * w + x];
    }
    // Linear filtering with clamp to edge at texture coordinate (u, v).
    float sample(float u, float t) const
    {
        float x = u * (float)w - 0.5f, y = t * (float)h - 0.5f;
        int x0 = (int)floorf(x), y0 = (int)floorf(y);
        float fx = x - (float)x0, fy = y - (float)y0;
        float low = at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx;
        float high = at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx;
        return low * (1 - fy) + high * fy;
    }
};

static float eightBits(float value) { return roundf(std::min(std::max(value, 0.0f), 1.0f) * 255.0f) / 255.0f; }

// Each pixel of a w x h plane from f(u, v) at its centre, stored as 8 bits
// unless exact.
template <typename F>
static Plane makePlane(int w, int h, F f, int exact = 0)
{
    Plane p = {w, h, std::vector<float>((size_t)w * h)};
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            float value = f(((float)x + 0.5f) / (float)w, ((float)y + 0.5f) / (float)h);
            p.v[(size_t)y * w + x] = exact ? value : eightBits(value);
        }
    return p;
}

// The Gaussian of parameter k: weights exp(-(k x)^2) for |x| <= 3 / k, normalised.
static Plane blurAlong(const Plane& p, float k, int vertical)
{
    int radius = (int)(3.0 / (double)k);
    double total = 0.0;
    for (int i = -radius; i <= radius; i++) total += exp(-(double)(k * i) * (double)(k * i));
    Plane out = p;
    for (int y = 0; y < p.h; y++)
        for (int x = 0; x < p.w; x++) {
            double sum = 0.0;
            for (int i = -radius; i <= radius; i++)
                sum +=
                    exp(-(double)(k * i) * (double)(k * i)) / total * p.at(vertical ? x : x + i, vertical ? y + i : y);
            out.v[(size_t)y * p.w + x] = roundf((float)sum * 255.0f) / 255.0f;
        }
    return out;
}

// The four levels (a quarter of the picture from four fetches 2/1280 and
// 2/720 apart, each further level half the one before, stored as 8 bits only
// once made), each blurred along x then y, summed at the target's size with
// 0.5, 0.3, 0.23 and 0.18.
static Plane pyramidOnCpu(const Plane& picture, int dstWidth, int dstHeight)
{
    const float k[4] = {0.55f, 0.3f, 0.2f, 0.17f}, weight[4] = {0.5f, 0.3f, 0.23f, 0.18f};
    Plane levels[4];
    int w = picture.w / 4, h = picture.h / 4;
    levels[0] = makePlane(w, h, [&](float u, float v) {
        return (picture.sample(u, v) + picture.sample(u + 2.0f / 1280, v) +
                picture.sample(u + 2.0f / 1280, v + 2.0f / 720) + picture.sample(u, v + 2.0f / 720)) *
               0.25f;
    });
    Plane exact = levels[0];
    for (int level = 1; level < 4; level++) {
        exact = makePlane(
            std::max(exact.w / 2, 1), std::max(exact.h / 2, 1), [&](float u, float v) { return exact.sample(u, v); },
            1);
        levels[level] = exact;
        for (float& value : levels[level].v) value = eightBits(value);
    }
    for (int level = 0; level < 4; level++)
        levels[level] = blurAlong(blurAlong(levels[level], k[level], 0), k[level], 1);
    return makePlane(dstWidth, dstHeight, [&](float u, float v) {
        float sum = 0.0f;
        for (int level = 0; level < 4; level++) sum += levels[level].sample(u, v) * weight[level];
        return sum;
    });
}

static Plane planeOf(const std::vector<unsigned char>& pixels, int w, int h, int channel)
{
    Plane p = {w, h, std::vector<float>((size_t)w * h)};
    for (size_t i = 0; i < p.v.size(); i++) p.v[i] = pixels[i * 4 + channel] / 255.0f;
    return p;
}

// The levels share two atlases on the GPU: a fetch that strayed out of its
// level's region, a region or a level's mapping off by a texel would show
// against the pyramid worked out level by level in separate pictures.
TEST_F(BlurImages, PyramidMatchesTheLevelsWorkedOutOneByOne)
{
    pyramidBlur(fullTarget, extraTarget, 1.0f);
    std::vector<unsigned char> gpu = readTargetPixels(extraTarget);
    for (int channel = 0; channel < 3; channel++) {
        Plane expected = pyramidOnCpu(planeOf(source, 128, 72, channel), 128, 72);
        int worst = 0;
        double total = 0.0;
        for (size_t i = 0; i < expected.v.size(); i++) {
            int d = abs((int)gpu[i * 4 + channel] - (int)lroundf(expected.v[i] * 255.0f));
            worst = std::max(worst, d);
            total += d;
        }
        EXPECT_LE(worst, 3) << "channel " << channel;
        EXPECT_LE(total / (double)expected.v.size(), 0.75) << "channel " << channel;
    }
}

TEST_F(BlurImages, HalfAmountMixesSourceAndOnePass)
{
    std::vector<unsigned char> half = blurred(1.0f, 0.5f);
    std::vector<unsigned char> nearlyOne = blurred(1.0f, 0.999f);
    std::vector<unsigned char> onePass = readTargetPixels(chainedPasses(1, 1.0f));
    EXPECT_GT(maxDifference(onePass, source), 40) << "the blur changes the picture";
    std::vector<unsigned char> mix(source.size());
    for (size_t i = 0; i < mix.size(); i++) mix[i] = (unsigned char)((source[i] + onePass[i] + 1) / 2);
    // Colour only: the blend also fades the destination's alpha.
    EXPECT_LE(maxDifference(half, mix, 1), 2);
    EXPECT_LE(maxDifference(nearlyOne, onePass, 1), 2);
}

TEST_F(BlurImages, ThreeEqualsTheTwoPassResult)
{
    std::vector<unsigned char> three = blurred(1.0f, 3.0f);
    std::vector<unsigned char> twoPass = readTargetPixels(chainedPasses(2, 1.0f));
    EXPECT_LE(maxDifference(three, twoPass), 2);
    EXPECT_LE(meanDifference(three, twoPass), 0.5);
}

TEST_F(BlurImages, WholeAmountsShowOnePassFewer)
{
    std::vector<unsigned char> two = blurred(1.0f, 2.0f);
    std::vector<unsigned char> nearlyTwo = blurred(1.0f, 1.999f);
    std::vector<unsigned char> onePass = readTargetPixels(chainedPasses(1, 1.0f));
    EXPECT_LE(maxDifference(two, onePass), 2);
    EXPECT_GT(maxDifference(nearlyTwo, onePass), 2) << "just below 2 fades to two passes";
    // Four and five passes: 5.0 shows the four-pass base, as 4.999 nearly does.
    std::vector<unsigned char> five = blurred(1.0f, 5.0f);
    EXPECT_LE(maxDifference(five, blurred(1.0f, 4.0f + 1.0e-3f), 1), 2);
    EXPECT_EQ(maxDifference(five, blurred(1.0f, 6.0f)), 0);
    EXPECT_EQ(maxDifference(blurred(1.0f, INFINITY), five), 0) << "no fraction, no fade";
}

// Smaller targets get the sum at their own size: the grade's glow (a sixteenth
// of the window) and scene 9's half-size glow, whose alpha (the weights' sum,
// 0.3 at strength 0.25) scales it where it is added to the picture. The
// reference: the full-size results copied down, the next pass faded in.
TEST_F(BlurImages, SmallerTargetsMatchTheFullSizeResultScaledDown)
{
    struct Case {
        int dst;
        float strength, amount;
    };
    const Case cases[] = {{smallTarget, 1.0f, 3.0f}, {halfTarget, 0.25f, 2.0f}, {halfTarget, 0.8f, 1.5f}};
    for (const Case& c : cases) {
        blurTarget(fullTarget, c.dst, c.strength, c.amount);
        std::vector<unsigned char> direct = readTargetPixels(c.dst);
        float fraction = c.amount - floorf(c.amount);
        int basePasses = (int)ceilf(c.amount) - 1;
        int top = chainedPasses(basePasses + (fraction > 0.0f ? 1 : 0), c.strength);
        int base = fraction > 0.0f ? (top == blurTargetA ? blurTargetB : blurTargetA) : top;
        copyTarget(c.dst, base, 0);
        if (fraction > 0.0f) {
            const int texture[1] = {target(top)->colorTexture};
            bindRenderTarget(c.dst);
            overlayAlpha = fraction;
            drawOverlayQuad(texture, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, AlphaBlend, -1);
            overlayAlpha = -1.0f;
            unbindRenderTarget(c.dst);
        }
        std::vector<unsigned char> before = readTargetPixels(c.dst);
        EXPECT_GT(meanDifference(direct, std::vector<unsigned char>(direct.size(), 0)), 20.0) << "a picture came out";
        EXPECT_LE(maxDifference(direct, before), 3) << "amount " << c.amount;
        EXPECT_LE(meanDifference(direct, before), 0.5) << "amount " << c.amount;
    }
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

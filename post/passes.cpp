// Full-screen passes between post buffers: shader copies, the four-level
// pyramid blur (levels blurred in two atlases, summed by the combine) and the
// public blurTarget, which chains pyramid blurs and fades by the fraction.
#include "post/post.h"
#include "render/render.h"
#include <GL/glew.h>
#include <math.h>

// One quad over the bound viewport with one texture, opaque white.
static void drawFullQuad(int texture, int blendMode, int program)
{
    const int textures[1] = {texture};
    drawOverlayQuad(textures, 0.5f, 0.5f, 1.0f, 1.0f, 1, 0xFFFFFFFFu, blendMode, program);
}

// ---- texel-for-texel reads -------------------------------------------------------
// A full-screen pass that reads a buffer of its own viewport's size samples
// every texel at its centre: linear filtering there returns the texel, the
// same as nearest, but costs llvmpipe four fetches and their weights per
// channel instead of one. Such passes sample nearest for their draw; the
// buffer is linear again afterwards for the passes that stretch it.
static void setBufferFilter(int index, GLint filter)
{
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, (GLuint)colorTextureOf(index));
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
}

int beginTexelReads(int index, int width, int height)
{
    if (index < 0 || index >= MaxRenderTargets || !renderTargets[index]) return 0;
    if (renderTargets[index]->width != width || renderTargets[index]->height != height) return 0;
    setBufferFilter(index, GL_NEAREST);
    return 1;
}

void endTexelReads(int index, int begun)
{
    if (begun) setBufferFilter(index, GL_LINEAR);
}

// Draws src into dst through program (0: the plain overlay copy).
void copyTarget(int dst, int src, int program)
{
    bindRenderTarget(dst);
    RenderTarget* into = dst >= 0 && dst < MaxRenderTargets ? renderTargets[dst] : NULL;
    int texel = into ? beginTexelReads(src, into->width, into->height) : 0;
    glActiveTexture(GL_TEXTURE0);
    drawFullQuad(colorTextureOf(src), Opaque, program);
    endTexelReads(src, texel);
    unbindRenderTarget(dst);
}

// Draws every pyramid level into its region of atlas, each through its own
// program, reading what texture gives for the level. One framebuffer for the
// four levels: on llvmpipe each framebuffer switch costs a flush and a wait
// for its threads, whatever the size, and the levels 2 and 3 are tiny.
static void drawLevelsInto(int atlas, int firstLevel, const int* programs, const int* textures)
{
    const RenderTarget* base = pyramidBase >= 0 && pyramidBase < MaxRenderTargets ? renderTargets[pyramidBase] : NULL;
    if (!base) return;
    bindRenderTarget(atlas);
    for (int level = firstLevel; level < PyramidLevels; level++) {
        int region[4];
        pyramidAtlasRegion(base->width, base->height, level, region);
        glViewport(region[0], region[1], region[2], region[3]);
        drawFullQuad(textures[level], Opaque, programs[level]);
    }
    unbindRenderTarget(atlas);
}

// Blurs the four pyramid levels of one pass: from src through the downsample,
// or (fromLevel0) straight from pyramidBase, which already holds a level-0
// sized picture, the result of the pass before. Levels 1-3 are made from
// level 0 into their regions of the blurred atlas (free until the vertical
// pass), then all four are blurred along x into the rows atlas and, unless
// the combine does it (columns), along y into the blurred atlas. A correction
// (null: none) is applied by the downsample to what it reads of src.
static void blurLevels(int src, int fromLevel0, int columns, const CorrectionUniforms* correction)
{
    if (!fromLevel0) {
        int program = blurPrograms.downsample;
        if (correction) {
            queueCorrectionUniforms(correction);
            program = blurPrograms.correctedDownsample;
        }
        bindRenderTarget(pyramidBase);
        drawFullQuad(colorTextureOf(src), Opaque, program);
        unbindRenderTarget(pyramidBase);
    }
    int bases[PyramidLevels], sources[PyramidLevels], rows[PyramidLevels];
    for (int level = 0; level < PyramidLevels; level++) {
        bases[level] = colorTextureOf(pyramidBase);
        sources[level] = level == 0 ? bases[level] : colorTextureOf(pyramidBlurred);
        rows[level] = colorTextureOf(pyramidRows);
    }
    drawLevelsInto(pyramidBlurred, 1, blurPrograms.halved, bases);
    drawLevelsInto(pyramidRows, 0, blurPrograms.horizontal, sources);
    if (!columns) drawLevelsInto(pyramidBlurred, 0, blurPrograms.vertical, rows);
}

// The weighted sum of the blurred levels drawn into dst at dst's own size;
// with columns, of the rows atlas, each level blurred along y as it is read.
static void combineLevels(int dst, float strength, int columns)
{
    float coeff[4] = {strength * 0.5f, strength * 0.3f, strength * 0.23f, strength * 0.18f};
    queueUniformEntry("coeff", Vec4, 0.0f, 0.0f, coeff);
    bindRenderTarget(dst);
    if (columns)
        drawFullQuad(colorTextureOf(pyramidRows), Opaque, blurPrograms.combineColumns);
    else
        drawFullQuad(colorTextureOf(pyramidBlurred), Opaque, blurPrograms.combine);
    unbindRenderTarget(dst);
}

// 1 when dst has fewer pixels than level 0 on both sides: the vertical pass
// then costs less done by the combine at dst's size (the grade's glow, a
// sixteenth of the window, reads level 0 at one pixel in sixteen).
static int smallerThanLevel0(int dst)
{
    RenderTarget* into = dst >= 0 && dst < MaxRenderTargets ? renderTargets[dst] : NULL;
    RenderTarget* base = pyramidBase >= 0 && pyramidBase < MaxRenderTargets ? renderTargets[pyramidBase] : NULL;
    return into && base && into->width < base->width && into->height < base->height;
}

// Downsamples src into the pyramid, blurs each level and sums the levels into
// dst with the weights strength × (0.5, 0.3, 0.23, 0.18).
void pyramidBlur(int src, int dst, float strength)
{
    blurLevels(src, 0, 0, nullptr);
    combineLevels(dst, strength, 0);
}

// Number of chained pyramid passes for an amount above 0 (ranges closed at
// the top, at most five).
static int passesFor(float amount)
{
    if (amount <= 1.0f) return 1;
    if (amount <= 2.0f) return 2;
    if (amount <= 3.0f) return 3;
    if (amount <= 4.0f) return 4;
    return 5;
}

// Blurs src into dst by amount pyramid passes, fading between the last two
// results by amount's fractional part. amount <= 0 (or NaN) copies src.
// At a whole amount the fade weight is exactly 0: the last pass could not
// change dst, so it is not run (a third of the final grade's blur work).
// A pass's result is only ever read smoothly (by the next pass's downsample
// or by dst), so it is summed at the size it is read at: a pass feeding the
// next one straight into pyramidBase, the base result straight into dst,
// the faded-in result into pyramidFade (level-0 size), then stretched over
// dst. The full-size sums of earlier versions cost four reads per window
// pixel each; the picture moves by under 1/255 on average. blurTargetA and
// blurTargetB are no longer written.
static void blurWith(int src, int dst, float strength, float amount, const CorrectionUniforms* correction)
{
    if (!(amount > 0.0f)) {
        bindRenderTarget(dst);
        drawFullQuad(colorTextureOf(src), Opaque, 0);
        unbindRenderTarget(dst);
        return;
    }
    float fraction = isfinite(amount) ? fmodf(amount, 1.0f) : 0.0f;
    int passes = passesFor(amount);
    int lastPass = fraction > 0.0f ? 1 : 2;
    if (amount <= 1.0f) {
        bindRenderTarget(dst);
        drawFullQuad(colorTextureOf(src), Opaque, 0);
        unbindRenderTarget(dst);
    }
    // A base pass read by dst alone is blurred along y by the combine when
    // dst is smaller than level 0.
    int columns = lastPass == 2 && blurPrograms.combineColumns > 0 && smallerThanLevel0(dst);
    for (int pass = passes; pass >= lastPass; pass--) {
        blurLevels(src, pass != passes, pass == 2 && columns, correction);
        if (pass == 2) combineLevels(dst, strength, columns);
        if (pass > 1 && pass > lastPass) combineLevels(pyramidBase, strength, 0);
        if (pass == 1) combineLevels(pyramidFade, strength, 0);
    }
    if (fraction > 0.0f) {
        bindRenderTarget(dst);
        overlayAlpha = fraction;
        drawFullQuad(colorTextureOf(pyramidFade), AlphaBlend, 0);
        overlayAlpha = -1.0f;
        unbindRenderTarget(dst);
    }
}

void blurTarget(int src, int dst, float strength, float amount) { blurWith(src, dst, strength, amount, nullptr); }

void blurCorrectedTarget(int src, int dst, float strength, float amount, const CorrectionUniforms* correction)
{
    blurWith(src, dst, strength, amount, blurPrograms.correctedDownsample > 0 ? correction : nullptr);
}

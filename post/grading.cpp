// The final grading pass: leaves the scene buffer, keeps a blurred small copy
// of it, and draws the graded frame (preset, film grain, flare, camera motion)
// into the framebuffer that was bound before the scene began, with the
// program, textures and amounts the show hands over in gradingSources.
#include "post/post.h"
#include "platform/platform.h"
#include "assets/assets.h"
#include "render/render.h"
#include <GL/glew.h>
#include <math.h>
#include <stdlib.h>
#include <string.h>

float grainOffset = 0.0f;
GradingSources gradingSources = {-1, -1, -1, -1, -1, -1, 1.0f, 0};

enum { GradingPresets = 5 };
struct GradingPreset {
    float luminosity[4], contrast[4], gamma[4];
};
static const GradingPreset gradingPresets[GradingPresets] = {
    {{0.0f, 0.0f, 0.0f, 0.0f}, {1.0f, 1.0f, 1.0f, 1.0f}, {1.0f, 1.0f, 1.0f, 1.0f}},
    {{0.0f, 0.05f, 0.07f, 0.0f}, {1.2f, 1.4f, 0.75f, 1.0f}, {1.0f, 1.2f, 1.0f, 1.0f}},
    {{0.03f, 0.01f, 0.025f, 0.0f}, {1.2f, 1.0f, 0.5f, 1.0f}, {0.8f, 0.9f, 1.0f, 1.0f}},
    {{0.05f, -0.2f, 0.13f, 0.0f}, {0.95f, 1.2f, 1.0f, 1.0f}, {0.9f, 0.9f, 1.2f, 1.0f}},
    {{0.05f, -0.1f, 0.1f, 0.0f}, {0.95f, 1.1f, 1.02f, 1.0f}, {0.8f, 0.7f, 1.05f, 1.0f}},
};

// ---- sampling the grade's own textures ----------------------------------------
// Where a texture is drawn at one texel per pixel or larger, trilinear
// filtering takes its level 0 with the magnification filter, the same as
// plain bilinear: the mip levels cost a software renderer the level-of-detail
// work per pixel (about a tenth of a 960 x 540 frame for the three) and add
// nothing. A texture is drawn that large when it spans at least its own
// size in pixels: the grain is tiled at 256 pixels to the texture, the leak's
// window is 0.79 of it stretched over the frame, the dirt all of it.
// The leak, magnified, is read nearest: a smooth glow whose neighbouring
// texels differ by at most about 1/255 of what it adds, so the steps between
// texels stay below the 8-bit picture's own, for one fetch instead of four.
// Each slot: the texture it was last fitted for, the frame size, and the
// filters the texture came with (put back when it is not magnified or leaves
// the slot). GL is asked about a texture only when one of them changes.
enum { FittedSources = 3, LeakSlot = 1 };
static struct {
    int texture, width, height, ownMinFilter, ownMagFilter;
} fittedSources[FittedSources];

int gradingTextureMagnified(int textureWidth, int textureHeight, float spanWidth, float spanHeight)
{
    return textureWidth > 0 && textureHeight > 0 && (float)textureWidth <= spanWidth &&
           (float)textureHeight <= spanHeight;
}

// Binds texture on the active unit and returns the name bound before.
static GLint bindForQuery(int texture)
{
    GLint bound = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    return bound;
}

static void setBoundFilters(GLint minFilter, GLint magFilter)
{
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, minFilter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, magFilter);
}

// Fits the filters of texture (in slot) to a frame of width x height pixels,
// over which the whole texture spans spanScale times the frame (0: a fixed
// 256 pixels). A name that is no texture is left alone.
static void fitGradingFilter(int slot, int texture, float spanScale, int width, int height)
{
    auto* fitted = &fittedSources[slot];
    if (fitted->texture == texture && fitted->width == width && fitted->height == height) return;
    int entering = fitted->texture != texture;
    if (entering && fitted->texture > 0 && glIsTexture((GLuint)fitted->texture)) {
        GLint bound = bindForQuery(fitted->texture);
        setBoundFilters(fitted->ownMinFilter, fitted->ownMagFilter);
        glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
    }
    fitted->texture = texture;
    fitted->width = width;
    fitted->height = height;
    if (texture <= 0 || !glIsTexture((GLuint)texture)) return;
    GLint bound = bindForQuery(texture);
    int textureWidth = 0, textureHeight = 0;
    if (entering) {
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &fitted->ownMinFilter);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &fitted->ownMagFilter);
    }
    // Unknown size (the browser): not magnified, the texture keeps its own filters.
    boundTextureSize(&textureWidth, &textureHeight);
    float spanWidth = spanScale > 0.0f ? (float)width * spanScale : 256.0f;
    float spanHeight = spanScale > 0.0f ? (float)height * spanScale : 256.0f;
    int magnified = gradingTextureMagnified(textureWidth, textureHeight, spanWidth, spanHeight);
    if (magnified && slot == LeakSlot)
        setBoundFilters(GL_NEAREST, GL_NEAREST);
    else
        setBoundFilters(magnified ? GL_LINEAR : fitted->ownMinFilter, fitted->ownMagFilter);
    glBindTexture(GL_TEXTURE_2D, (GLuint)bound);
}

// ---- power curves ------------------------------------------------------------------
// llvmpipe computes pow as a logarithm and an exponential per channel; the
// cubic in sqrt(x) costs a square root and five multiplies and adds, about
// as much as one term of the grade's print look. Its coefficients are the
// least-squares fit over 256 evenly spaced s = sqrt(x) (in doubles), the
// third written as one minus the others so that black and white stay exact.
enum { CurveSamples = 256 };

void powerCurve(float exponent, float coefficients[3])
{
    double e = exponent >= CurveExponentLow ? exponent : CurveExponentLow;   // NaN too
    if (e > CurveExponentHigh) e = CurveExponentHigh;
    // Normal equations of y - s^3 = a1 (s - s^3) + a2 (s^2 - s^3).
    double m[2][3] = {};
    for (int i = 0; i < CurveSamples; i++) {
        double s = (i + 0.5) / CurveSamples;
        double s3 = s * s * s;
        double basis[2] = {s - s3, s * s - s3};
        double y = pow(s, 2.0 * e) - s3;
        for (int r = 0; r < 2; r++) {
            for (int c = 0; c < 2; c++) m[r][c] += basis[r] * basis[c];
            m[r][2] += basis[r] * y;
        }
    }
    double determinant = m[0][0] * m[1][1] - m[0][1] * m[1][0];
    double a1 = (m[0][2] * m[1][1] - m[0][1] * m[1][2]) / determinant;
    double a2 = (m[0][0] * m[1][2] - m[1][0] * m[0][2]) / determinant;
    coefficients[0] = (float)a1;
    coefficients[1] = (float)a2;
    coefficients[2] = (float)(1.0 - a1 - a2);
}

// Queues curve[k] (red, green, blue) as the vec3 uniform "curve<k+1>"; the
// array is read when the next draw uploads the queue.
static void queueCurveUniforms(const float curve[3][3])
{
    static const char* const names[3] = {"curve1", "curve2", "curve3"};
    for (int k = 0; k < 3; k++) queueUniformEntry(names[k], Vec3, 0.0f, 0.0f, curve[k]);
}

// The preset at part strength, as the grade's uniforms take it: contrast
// about mid grey and the lift as one scale and offset, and the curve of each
// channel's exponent. The presets are strong per-channel pushes; at full
// strength their green cuts turn every scene magenta.
static const float PresetStrength = 0.6f;
struct PresetUniforms {
    float scale[3], offset[3], curve[3][3];   // curve[k]: coefficient k + 1 of red, green, blue
};

static void presetUniforms(const GradingPreset* grade, PresetUniforms* out)
{
    for (int channel = 0; channel < 3; channel++) {
        float contrast = 1.0f + (grade->contrast[channel] - 1.0f) * PresetStrength;
        out->scale[channel] = contrast;
        out->offset[channel] = 0.5f - 0.5f * contrast + grade->luminosity[channel] * PresetStrength;
        float coefficients[3];
        powerCurve(1.0f + (grade->gamma[channel] - 1.0f) * PresetStrength, coefficients);
        for (int k = 0; k < 3; k++) out->curve[k][channel] = coefficients[k];
    }
}

// ---- colour correction ------------------------------------------------------------
// min(x + lift, 1) * contrast + base, clamped to 0..1, with base = 0.5 -
// 0.5 * contrast + luminosity, is x * contrast + (lift * contrast + base)
// clamped to limits: the saturation at white caps the result at top =
// contrast + base (a floor instead for a negative contrast), inside 0..1.
void correctionUniforms(const ColourCorrection* correction, CorrectionUniforms* out)
{
    float contrast = correction->contrast;
    float base = 0.5f - 0.5f * contrast + correction->luminosity;
    float top = fminf(fmaxf(contrast + base, 0.0f), 1.0f);
    out->scale = contrast;
    for (int channel = 0; channel < 3; channel++) out->offset[channel] = correction->lift[channel] * contrast + base;
    out->limits[0] = contrast < 0.0f ? top : 0.0f;
    out->limits[1] = contrast < 0.0f ? 1.0f : top;
    powerCurve(correction->gamma, out->curve);
}

void queueCorrectionUniforms(const CorrectionUniforms* uniforms)
{
    queueUniform("correctScale", uniforms->scale);
    queueUniformEntry("correctOffset", Vec3, 0.0f, 0.0f, uniforms->offset);
    queueUniformEntry("correctLimits", Vec2, 0.0f, 0.0f, uniforms->limits);
    queueUniformEntry("correctCurve", Vec3, 0.0f, 0.0f, uniforms->curve);
}

static int correctionIsNeutral(const ColourCorrection* c)
{
    return c->lift[0] == 0.0f && c->lift[1] == 0.0f && c->lift[2] == 0.0f && c->contrast == 1.0f &&
           c->luminosity == 0.0f && c->gamma == 1.0f;
}

// The grading program for correction (null: none): the plain one for none or
// a neutral one, else the variant that applies it; 0 when that is missing
// (logged once).
static int correctingProgram(const ColourCorrection* correction)
{
    if (!correction || correctionIsNeutral(correction)) return 0;
    int program = correction->gamma == 1.0f ? gradingSources.contrastProgram : gradingSources.correctProgram;
    static int warned;
    if (program <= 0 && !warned) {
        logMessage("ERROR: no grading program for the colour correction; graded without it\n");
        warned = 1;
    }
    return program > 0 ? program : 0;
}

// Grades the picture in source into the bound framebuffer. A preset outside
// 0..4 is graded with the neutral preset 0.
void gradeFrame(int source, int preset, const ColourCorrection* correction)
{
    if (preset < 0 || preset >= GradingPresets) preset = 0;
    // The presets are constants: each one's uniforms (its three curve fits)
    // are worked out on the first frame graded with it, not on every frame.
    static PresetUniforms presetCache[GradingPresets];
    static int presetCached[GradingPresets];
    if (!presetCached[preset]) {
        presetUniforms(&gradingPresets[preset], &presetCache[preset]);
        presetCached[preset] = 1;
    }
    const PresetUniforms& grade = presetCache[preset];
    float camView[2] = {
        camera.yaw + 0.25f * camera.pitch + 0.03125f * camera.x,
        camera.pitch + 0.25f * camera.yaw + 0.03125f * camera.y,
    };
    int program = correctingProgram(correction);
    // A scene hands the same correction every frame: its uniforms (a curve
    // fit among them) are worked out again only when it changes.
    static ColourCorrection lastCorrection;
    static CorrectionUniforms corrected;
    static int fitted;
    if (program > 0) {
        if (!fitted || memcmp(&lastCorrection, correction, sizeof lastCorrection) != 0) {
            correctionUniforms(correction, &corrected);
            lastCorrection = *correction;
            fitted = 1;
        }
        blurCorrectedTarget(source, smallTarget, 1.0f, 3.0f, &corrected);
        queueCorrectionUniforms(&corrected);
    } else {
        blurTarget(source, smallTarget, 1.0f, 3.0f);
        program = gradingSources.program;
    }
    if (gradingSources.grainMovesOn) grainOffset = (float)(rand() & 255) * 0.00390625f;

    queueUniform("offset", grainOffset);
    queueUniform("flareAmt", gradingSources.flareAmount);
    queueUniformEntry("gradeScale", Vec3, 0.0f, 0.0f, grade.scale);
    queueUniformEntry("gradeOffset", Vec3, 0.0f, 0.0f, grade.offset);
    queueCurveUniforms(grade.curve);
    queueUniformEntry("camView", Vec2, 0.0f, 0.0f, camView);
    GLint viewport[4];
    glGetIntegerv(GL_VIEWPORT, viewport);
    fitGradingFilter(0, gradingSources.grain, 0.0f, viewport[2], viewport[3]);
    fitGradingFilter(LeakSlot, gradingSources.leak, 1.0f / 0.79f, viewport[2], viewport[3]);
    fitGradingFilter(2, gradingSources.dirt, 1.0f, viewport[2], viewport[3]);
    const int textures[5] = {colorTextureOf(source), gradingSources.grain, gradingSources.leak, gradingSources.dirt,
                             colorTextureOf(smallTarget)};
    int texel = beginTexelReads(source, viewport[2], viewport[3]);
    drawOverlayQuad(textures, 0.5f, 0.5f, 1.0f, 1.0f, 5, 0xFFFFFFFFu, Opaque, program);
    endTexelReads(source, texel);
}

// Ends a scene frame: sceneTarget must be bound by beginSceneTarget.
void postProcessFrame(int preset)
{
    unbindRenderTarget(sceneTarget);
    gradeFrame(sceneTarget, preset, nullptr);
}

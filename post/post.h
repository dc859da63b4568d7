// Post-processing: the pool of off-screen post buffers, the generated Gaussian
// blur shaders, the blur and combine passes and the final grading pass.
#pragma once
#include <stdint.h>

struct ResourceEntry;

struct RenderTarget {
    int width, height;
    unsigned int format, type;
    int framebuffer, colorTexture, depthBuffer;   // -1 until created / no depth
    int savedFramebuffer;
    int savedViewport[4];
};
enum { MaxRenderTargets = 64, PyramidLevels = 4 };
extern RenderTarget* renderTargets[MaxRenderTargets];
extern int sceneTarget, fullTarget, halfTarget, smallTarget, extraTarget;
extern int blurTargetA, blurTargetB;
// The blur pyramid: level 0's picture (the downsampled source or the previous
// pass's sum), a level-0 sized buffer for the sum faded in, and two atlases
// that hold all four levels (pyramidAtlasRegion): the levels blurred along x,
// then along both axes. Before its levels are blurred, the second holds the
// smaller levels' pictures that the first reads.
extern int pyramidBase, pyramidFade, pyramidRows, pyramidBlurred;
extern float factorPix, smallDivisor, extraDivisor;

int createRenderTarget(RenderTarget* target, int width, int height, int withDepth);   // 1 complete
int allocRenderTarget(int width, int height, int withDepth);                          // pool index or -1
void bindRenderTarget(int index);
int colorTextureOf(int index);   // the colour texture of a pool entry, -1 when the index holds no buffer
void unbindRenderTarget(int index);
void beginSceneTarget(void);
void initPostProcessing(void);
// The frame size the set was last made for (0 before initPostProcessing).
extern int postWidth, postHeight;
// Remakes every buffer of the set and the blur shaders for a W x H frame,
// keeping each buffer's pool slot. Returns 1 when every buffer is complete,
// 0 when one is not (logged) or the size is not positive (nothing changed).
int resizePostProcessing(int width, int height);
// Bytes of GPU memory the set takes for a W x H frame (colour and depth of
// every buffer, from the same list the set is made from); 0 for a size that
// is not positive.
uint64_t postBufferBytes(int width, int height);
// Size of pyramid level L for a W x H window: W/4 x H/4 halved L times with
// integer division, never below one pixel (tiny windows keep valid shaders).
void pyramidLevelSize(int width, int height, int level, int* levelWidth, int* levelHeight);
// Where level L (0..3) sits in a pyramid atlas whose level 0 is base W x H, as
// x, y, width, height in texels: level 0 at the origin, levels 1 to 3 side by
// side above it, each level halved from the one before (at least one pixel).
void pyramidAtlasRegion(int baseWidth, int baseHeight, int level, int region[4]);
// The atlas's size: wide enough for level 0 and for levels 1-3 side by side,
// as high as levels 0 and 1.
void pyramidAtlasSize(int baseWidth, int baseHeight, int* atlasWidth, int* atlasHeight);

// ---- blur shader generator -------------------------------------------------------
// The generated programs of the blur chain; -1 until made.
struct BlurPrograms {
    int horizontal[PyramidLevels], vertical[PyramidLevels];   // one pair per pyramid level
    int halved[PyramidLevels];                                // levels 1-3 from level 0; [0] is -1
    int combine, combineColumns, downsample;
    int correctedDownsample;   // the downsample correcting what it averages (CorrectionUniforms)
};
extern BlurPrograms blurPrograms;
float* gaussianWeights(float k, int* radius);   // 2·radius + 1 floats; caller frees
// The part of a texture a blur pass or the combine reads: the texture's size
// and a texel rectangle inside it. The quad's texture coordinates 0..1 span
// the rectangle, and every fetch is clamped to it (half a texel in from its
// border) unless it is the whole texture, where the texture's own clamp acts.
struct BlurRegion {
    int textureWidth, textureHeight;
    int x, y, width, height;
};
int buildBlurShader(const float* weights, int radius, int vertical, const BlurRegion* from);
void buildPostShaders(int width, int height);
void rebuildBlurShaders(int width, int height);   // the blur, halving and combine programs
void releaseBlurShaders(void);
// The generated fragment text of one blur direction over from (malloc'd;
// null, logged, for a region outside its texture).
char* blurShaderText(const float* weights, int radius, int vertical, const BlurRegion* from);
// The generated fragment text of the combine: the four regions of one atlas
// summed with the weights of uniform vec4 coeff; with columns, each region
// blurred along y by its level's kernel as it is read (the vertical pass
// done at the size of the target). Malloc'd; null, logged, for a region
// outside its texture.
char* combineShaderText(const BlurRegion levels[PyramidLevels], int columns);
// The generated fragment text that draws level 1-3 of a pyramid whose level 0
// is base W x H from level 0 (tex0): the picture that halving level 0 level
// by level with linear filtering gives, without storing the levels between
// (malloc'd; null, logged, for another level).
char* halvedShaderText(int level, int baseWidth, int baseHeight);
// Puts PosAttribute at location 0 and TexAttribute at 1 and relinks; returns program.
int bindPostAttributes(int program);
// bindPostAttributes for the program of every shader row of table (ended by
// a null object) flagged PostProgramRow, in table order.
void bindPostPrograms(const ResourceEntry* table);
// The same for those rows only whose program is one of programs[0, count)
// (every row when count is negative): the programs a reload made. The others
// keep their link (linking an unchanged program again costs the driver
// memory on every reload).
void bindNewPostPrograms(const ResourceEntry* table, const int* programs, int count);

// ---- passes --------------------------------------------------------------------
// Before a draw that reads post buffer index over a viewport of width x
// height: when the buffer is that size (every pixel centre on a texel
// centre) it is sampled nearest, the same picture for less work, and 1 is
// returned; otherwise (or for an index without a buffer) 0, nothing changed.
int beginTexelReads(int index, int width, int height);
// After the draw: puts back linear filtering when begun is 1.
void endTexelReads(int index, int begun);
void copyTarget(int dst, int src, int program);
void pyramidBlur(int src, int dst, float strength);
void blurTarget(int src, int dst, float strength, float amount);
struct CorrectionUniforms;
// blurTarget of src as correction leaves it: the downsample corrects the
// average of its four fetches (the grade's blurred copy of a corrected
// picture without a corrected full-size copy). Amounts of 1 or less copy src
// as it is.
void blurCorrectedTarget(int src, int dst, float strength, float amount, const CorrectionUniforms* correction);

// ---- power curves ------------------------------------------------------------------
// The grade raises colours to a power through a cubic in
// s = sqrt(x): c1 s + c2 s^2 + c3 s^3 follows x^exponent on 0..1 within
// 1.6/255 for exponents CurveExponentLow..CurveExponentHigh (within 1/255
// from 0.82 to 1.7), exactly 0 at 0 and 1 at 1. Other exponents get the
// curve of the nearer end of the range, NaN the low end's.
const float CurveExponentLow = 0.5f;
const float CurveExponentHigh = 1.75f;
// Writes c1..c3 of the curve for exponent into coefficients.
void powerCurve(float exponent, float coefficients[3]);

// ---- colour correction ------------------------------------------------------------
// A scene's colour correction, applied by the grade as it reads the scene:
// "lift" added first (saturating at white), contrast about mid grey,
// "luminosity" added, clamped to 0..1, then "gamma" as the exponent of every
// channel (above 1 deepens the mid tones).
struct ColourCorrection {
    float lift[3];
    float contrast, luminosity, gamma;
};
// The same as the shaders take it: clamp(x * scale + offset, limits[0],
// limits[1]) (the lift's saturation folded into the limits), then the curve
// of gamma (powerCurve).
struct CorrectionUniforms {
    float scale;
    float offset[3], limits[2], curve[3];
};
void correctionUniforms(const ColourCorrection* correction, CorrectionUniforms* out);
// Queues correctScale, correctOffset, correctLimits and correctCurve for the next draw.
void queueCorrectionUniforms(const CorrectionUniforms* uniforms);

// ---- final grading -------------------------------------------------------------
extern float grainOffset;
// What the show hands the grading pass: the grading program, the same with a
// colour correction without and with its exponent (see data/lomofi.fs), and
// its grain, light-leak and dirt textures (set after loading), the flare's
// strength and whether the grain moves on (set for every frame: it moves on
// the first frame drawn after a present).
struct GradingSources {
    int program, contrastProgram, correctProgram;
    int grain, leak, dirt;
    float flareAmount;
    int grainMovesOn;
};
extern GradingSources gradingSources;
// 1 when a texture of textureWidth x textureHeight is drawn at most one
// texel per pixel, spread over spanWidth x spanHeight pixels: then the grade
// samples it without its mip levels (the same picture, less work).
int gradingTextureMagnified(int textureWidth, int textureHeight, float spanWidth, float spanHeight);
// Grades the scene buffer (bound by beginSceneTarget) into the framebuffer
// bound before it.
void postProcessFrame(int preset);
// The same grade of the picture in post buffer source, drawn into the
// framebuffer bound now: a scene that ends in another buffer grades it there
// instead of copying it back into the scene buffer. A correction (null: none)
// is applied to source as the grade and its blurred copy read it, through
// contrastProgram (gamma 1) or correctProgram; a neutral one, or one whose
// program is missing (logged), is left out.
void gradeFrame(int source, int preset, const ColourCorrection* correction);

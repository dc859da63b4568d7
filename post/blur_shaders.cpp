// The generated shaders of the four-level blur pyramid: the Gaussian passes
// (two taps per linear fetch), the halving of levels 1-3 and the combine; the
// fixed downsample; the post attributes of the content's full-screen programs.
#include "post/post.h"
#include "platform/platform.h"
#include "assets/assets.h"
#include <GL/glew.h>
#include <locale.h>
#include <math.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

BlurPrograms blurPrograms = {{-1, -1, -1, -1}, {-1, -1, -1, -1}, {-1, -1, -1, -1}, -1, -1, -1, -1};

// Kernel parameter k of each level: weights exp(-(k·x)²), smaller k is wider.
static const float levelKernel[PyramidLevels] = {0.55f, 0.3f, 0.2f, 0.17f};

static const char blurHeader[] =
    "#version 100\nprecision highp float;\nuniform sampler2D tex0;\nvarying vec2 TexCoord0;\n"
    "void main()\n{\nvec3 sum = vec3(0.0,0.0,0.0);\nvec2 texcoord;\n";
static const char blurTrailer[] = "gl_FragColor = vec4(sum, 1.0);\n}\n";
static const char combineVertexText[] =
    "attribute vec3 PosAttribute;attribute vec2 TexAttribute;precision mediump float;"
    "varying  vec2 TexCoord;void main(){\tgl_Position = vec4(PosAttribute, 1.0);"
    "\tTexCoord    = TexAttribute;}";
static const char combineHeader[] = "precision highp float;\nvarying vec2 TexCoord;\nuniform vec4 coeff;\n"
                                    "uniform sampler2D tex0;\nvoid main()\n{\nvec2 at;\nvec4 level;\n";
static const char regionVertexHeader[] =
    "attribute vec3 PosAttribute;\nattribute vec2 TexAttribute;\nprecision highp float;\nvarying vec2 TexCoord0;\n"
    "void main()\n{\ngl_Position = vec4(PosAttribute, 1.0);\n";
static const char downsampleVertexText[] =
    "precision mediump float; attribute  vec3 PosAttribute; attribute  vec2 TexAttribute;"
    " vec2 twoTexelSize = vec2(2./1280.,2./720.);varying  vec2 TexCoord1;varying  vec2 TexCoord2;"
    "varying  vec2 TexCoord3;varying  vec2 TexCoord4;void main(){  TexCoord1 = TexAttribute;"
    "  TexCoord2 = TexAttribute + vec2(twoTexelSize.x, 0);"
    "  TexCoord3 = TexAttribute + vec2(twoTexelSize.x, twoTexelSize.y);"
    "  TexCoord4 = TexAttribute + vec2(0, twoTexelSize.y);  gl_Position = vec4(PosAttribute, 1.0);}";
static const char downsampleFragmentText[] =
    "precision mediump float;varying  vec2 TexCoord1;varying  vec2 TexCoord2;varying  vec2 TexCoord3;"
    "varying  vec2 TexCoord4;uniform sampler2D tex0;void main(){\t\tgl_FragColor = "
    "(texture2D(tex0, TexCoord1) + \t\t            \ttexture2D(tex0, TexCoord2) +            "
    "\t\t\ttexture2D(tex0, TexCoord3) +\t\t\t\t\t\ttexture2D(tex0, TexCoord4)) * 0.25;}";

// The downsample of a picture the grade corrects as it reads it: the four
// fetches' average corrected as data/lomofi.fs corrects the scene
// (CorrectionUniforms; gamma 1 is the curve s^2). Correcting each fetch
// instead cost four times the math (on llvmpipe 3-4 ms a frame at 960 x 540,
// more than the pass the correction saves) for a glow that the blur then
// spreads over dozens of pixels anyway.
static const char correctedDownsampleFragmentText[] =
    "precision mediump float;\nvarying vec2 TexCoord1;\nvarying vec2 TexCoord2;\nvarying vec2 TexCoord3;\n"
    "varying vec2 TexCoord4;\nuniform sampler2D tex0;\nuniform float correctScale;\nuniform vec3 correctOffset;\n"
    "uniform vec2 correctLimits;\nuniform vec3 correctCurve;\n"
    "void main()\n{\n"
    "    vec3 sum = texture2D(tex0, TexCoord1).rgb + texture2D(tex0, TexCoord2).rgb + texture2D(tex0, TexCoord3).rgb\n"
    "        + texture2D(tex0, TexCoord4).rgb;\n"
    "    vec3 c = clamp(sum * (0.25 * correctScale) + correctOffset, correctLimits.x, correctLimits.y);\n"
    "    vec3 root = sqrt(c);\n"
    "    gl_FragColor = vec4(((correctCurve.z * root + correctCurve.y) * root + correctCurve.x) * root, 1.0);\n}\n";

// Returns 2·radius + 1 normalised weights (caller frees), or null (logged)
// for a k that is not positive or gives an absurd radius.
float* gaussianWeights(float k, int* radius)
{
    *radius = 0;
    double reach = 3.0 / (double)k;
    if (!(k > 0.0f) || !(reach < 1000.0)) {
        logMessage("ERROR: blur kernel parameter %g out of range\n", (double)k);
        return NULL;
    }
    int r = (int)reach;
    int n = 2 * r + 1;
    float* weights = (float*)malloc(sizeof(float) * (size_t)n);
    if (!weights) return NULL;
    float sum = 0.0f;
    for (int i = 0; i < n; i++) {
        float d = (float)(i - r) * k;
        weights[i] = expf(-(d * d));
        sum += weights[i];
    }
    for (int i = 0; i < n; i++) weights[i] /= sum;
    *radius = r;
    return weights;
}

// Growable text for the generated source; an allocation failure sets failed.
struct ShaderText {
    char* data;
    size_t length, capacity;
    int failed;
};

static void appendText(ShaderText* text, const char* format, ...)
{
    if (text->failed) return;
    va_list args;
    va_start(args, format);
    int need = vsnprintf(NULL, 0, format, args);
    va_end(args);
    if (need < 0) {
        text->failed = 1;
        return;
    }
    if (text->length + (size_t)need + 1 > text->capacity) {
        size_t capacity = (text->capacity + (size_t)need + 1) * 2;
        char* grown = (char*)realloc(text->data, capacity);
        if (!grown) {
            text->failed = 1;
            return;
        }
        text->data = grown;
        text->capacity = capacity;
    }
    va_start(args, format);
    vsnprintf(text->data + text->length, text->capacity - text->length, format, args);
    va_end(args);
    text->length += (size_t)need;
}

// "%f" must print '.' whatever LC_NUMERIC the user runs with: the text is
// formatted under a private "C" locale for this thread only.
static locale_t cNumericLocale(void)
{
    static locale_t locale = (locale_t)0;
    if (!locale) locale = newlocale(LC_NUMERIC_MASK, "C", (locale_t)0);
    return locale;
}

// Ends a generated text: the thread's own locale back, then the text (the
// caller frees it), or null with the failure logged as out of memory for what.
static char* finishText(ShaderText* text, locale_t previous, const char* what)
{
    if (previous) uselocale(previous);
    if (text->failed) {
        free(text->data);
        logMessage("ERROR: no memory for %s\n", what);
        return NULL;
    }
    return text->data;
}

// The texel rectangle's bounds in texture coordinates, inset by half a texel:
// a bilinear fetch clamped to them reads what clamp-to-edge would read at the
// rectangle's border, never the texels around it.
static void regionBounds(const BlurRegion* from, float low[2], float high[2])
{
    low[0] = ((float)from->x + 0.5f) / (float)from->textureWidth;
    low[1] = ((float)from->y + 0.5f) / (float)from->textureHeight;
    high[0] = ((float)(from->x + from->width) - 0.5f) / (float)from->textureWidth;
    high[1] = ((float)(from->y + from->height) - 0.5f) / (float)from->textureHeight;
}

static int wholeTexture(const BlurRegion* from)
{
    return from->x == 0 && from->y == 0 && from->width == from->textureWidth && from->height == from->textureHeight;
}

static int validRegion(const BlurRegion* from)
{
    return from && from->textureWidth >= 1 && from->textureHeight >= 1 && from->x >= 0 && from->y >= 0 &&
           from->width >= 1 && from->height >= 1 && from->x + from->width <= from->textureWidth &&
           from->y + from->height <= from->textureHeight;
}

// Taps pair up from -radius into one linear fetch each: pair j reads taps
// -radius + 2j and the one after at offset (in texels) and weight sum. The
// last tap, +radius, would be a fetch of its own for the kernel's smallest
// weight (at most 0.02 % at the four levels' radii): it is left out and its
// weight added to the pair that holds the centre, so the weights still sum
// to 1. Returns the number of fetches.
static int tapPairs(int radius) { return radius > 0 ? radius : 1; }

static void tapPair(const float* weights, int radius, int j, float* offset, float* sum)
{
    float a = weights[2 * j];
    float b = 2 * j + 1 <= 2 * radius ? weights[2 * j + 1] : 0.0f;
    *sum = a + b + (radius > 0 && j == radius / 2 ? weights[2 * radius] : 0.0f);
    *offset = (float)(-radius + 2 * j) + b / (a + b);
}

// Returns the fragment text of one blur direction (caller frees), or null
// (logged) for a region outside its texture.
char* blurShaderText(const float* weights, int radius, int vertical, const BlurRegion* from)
{
    if (!weights || radius < 0 || !validRegion(from)) {
        logMessage("ERROR: blur shader for radius %d refused (no weights or a region outside its texture)\n", radius);
        return NULL;
    }
    int clamped = !wholeTexture(from);
    float low[2], high[2];
    regionBounds(from, low, high);
    locale_t c = cNumericLocale();
    locale_t previous = c ? uselocale(c) : (locale_t)0;
    ShaderText text = {NULL, 0, 0, 0};
    appendText(&text, "%s", blurHeader);
    for (int j = 0; j < tapPairs(radius); j++) {
        float o, s;
        tapPair(weights, radius, j, &o, &s);
        float x = vertical ? 0.0f / (float)from->textureWidth : o / (float)from->textureWidth;
        float y = vertical ? o / (float)from->textureHeight : 0.0f / (float)from->textureHeight;
        if (clamped)
            appendText(&text, "texcoord = clamp(TexCoord0 + vec2(%f, %f), vec2(%f, %f), vec2(%f, %f));\n", (double)x,
                       (double)y, (double)low[0], (double)low[1], (double)high[0], (double)high[1]);
        else
            appendText(&text, "texcoord = TexCoord0 + vec2(%f, %f);\n", (double)x, (double)y);
        appendText(&text, "sum += texture2D(tex0, texcoord).rgb*%f;\n", (double)s);
    }
    appendText(&text, "%s", blurTrailer);
    return finishText(&text, previous, "a blur shader");
}

// The vertex text that spreads the quad's texture coordinates over the region.
static char* regionVertexText(const BlurRegion* from)
{
    locale_t c = cNumericLocale();
    locale_t previous = c ? uselocale(c) : (locale_t)0;
    ShaderText text = {NULL, 0, 0, 0};
    appendText(&text, "%s", regionVertexHeader);
    appendText(&text, "TexCoord0 = vec2(%f, %f) + TexAttribute * vec2(%f, %f);\n}\n",
               (double)((float)from->x / (float)from->textureWidth),
               (double)((float)from->y / (float)from->textureHeight),
               (double)((float)from->width / (float)from->textureWidth),
               (double)((float)from->height / (float)from->textureHeight));
    if (previous) uselocale(previous);
    if (text.failed) free(text.data);
    return text.failed ? NULL : text.data;
}

// Level L's position in the atlas from the quad's TexCoord: at = offset + TexCoord x scale.
static void appendLevelPosition(ShaderText* text, const BlurRegion* from)
{
    appendText(
        text, "at = vec2(%f, %f) + TexCoord * vec2(%f, %f);\n", (double)((float)from->x / (float)from->textureWidth),
        (double)((float)from->y / (float)from->textureHeight), (double)((float)from->width / (float)from->textureWidth),
        (double)((float)from->height / (float)from->textureHeight));
}

char* combineShaderText(const BlurRegion levels[PyramidLevels], int columns)
{
    for (int level = 0; level < PyramidLevels; level++)
        if (!validRegion(&levels[level])) {
            logMessage("ERROR: blur combine refused: level %d outside its atlas\n", level);
            return NULL;
        }
    static const char lanes[PyramidLevels] = {'x', 'y', 'z', 'w'};
    locale_t c = cNumericLocale();
    locale_t previous = c ? uselocale(c) : (locale_t)0;
    ShaderText text = {NULL, 0, 0, 0};
    appendText(&text, "%s", combineHeader);
    for (int level = 0; level < PyramidLevels; level++) {
        const BlurRegion* from = &levels[level];
        float low[2], high[2];
        regionBounds(from, low, high);
        appendLevelPosition(&text, from);
        int radius = 0;
        float* weights = columns ? gaussianWeights(levelKernel[level], &radius) : NULL;
        if (columns && !weights) text.failed = 1;
        int fetches = weights ? tapPairs(radius) : 1;
        for (int j = 0; j < fetches; j++) {
            float o = 0.0f, s = 1.0f;
            if (weights) tapPair(weights, radius, j, &o, &s);
            appendText(&text, "level %s texture2D(tex0, clamp(at + vec2(0.0, %f), vec2(%f, %f), vec2(%f, %f)))*%f;\n",
                       j == 0 ? "=" : "+=", (double)(o / (float)from->textureHeight), (double)low[0], (double)low[1],
                       (double)high[0], (double)high[1], (double)s);
        }
        free(weights);
        appendText(&text, "gl_FragColor %s level*coeff.%c;\n", level == 0 ? "=" : "+=", lanes[level]);
    }
    appendText(&text, "}\n");
    return finishText(&text, previous, "the blur combine");
}

char* halvedShaderText(int level, int baseWidth, int baseHeight)
{
    if (level < 1 || level >= PyramidLevels || baseWidth < 1 || baseHeight < 1) {
        logMessage("ERROR: halving shader for level %d of %d x %d refused\n", level, baseWidth, baseHeight);
        return NULL;
    }
    // texelN(c): the value of level N's texel centred at c. Level 1's is a
    // linear fetch of level 0 there; level N's the linear filter of level
    // N-1's four texels around c, clamped to its edge as the texture would be.
    ShaderText text = {NULL, 0, 0, 0};
    appendText(&text, "precision highp float;\nvarying vec2 TexCoord0;\nuniform sampler2D tex0;\n"
                      "vec4 texel1(vec2 c)\n{\nreturn texture2D(tex0, c);\n}\n");
    int w = baseWidth, h = baseHeight;
    for (int n = 2; n <= level; n++) {
        w = w / 2 < 1 ? 1 : w / 2;
        h = h / 2 < 1 ? 1 : h / 2;
        appendText(&text,
                   "vec4 texel%d(vec2 c)\n{\nvec2 size = vec2(%d.0, %d.0);\nvec2 p = c * size - 0.5;\n"
                   "vec2 i = floor(p);\nvec2 f = p - i;\nvec2 a = (clamp(i, vec2(0.0), size - 1.0) + 0.5) / size;\n"
                   "vec2 b = (clamp(i + 1.0, vec2(0.0), size - 1.0) + 0.5) / size;\n"
                   "return mix(mix(texel%d(a), texel%d(vec2(b.x, a.y)), f.x), "
                   "mix(texel%d(vec2(a.x, b.y)), texel%d(b), f.x), f.y);\n}\n",
                   n, w, h, n - 1, n - 1, n - 1, n - 1);
    }
    appendText(&text, "void main()\n{\ngl_FragColor = texel%d(TexCoord0);\n}\n", level);
    if (text.failed) {
        free(text.data);
        logMessage("ERROR: no memory for a halving shader\n");
        return NULL;
    }
    return text.data;
}

// Binds PosAttribute to location 0 and TexAttribute to 1 and links again, so
// the overlay quad's position and texture coordinates reach a post program.
// Returns the program unchanged; a failed link is logged.
int bindPostAttributes(int program)
{
    if (program <= 0) return program;
    glBindAttribLocation((GLuint)program, 0, "PosAttribute");
    glBindAttribLocation((GLuint)program, 1, "TexAttribute");
    glLinkProgram((GLuint)program);
    GLint linked = 0;
    glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
    if (!linked) logMessage("ERROR: post program %d does not link with its attributes bound\n", program);
    return program;
}

void bindPostPrograms(const ResourceEntry* table) { bindNewPostPrograms(table, nullptr, -1); }

void bindNewPostPrograms(const ResourceEntry* table, const int* programs, int count)
{
    for (const ResourceEntry* row = table; row && row->object; row++) {
        if (row->kind != ShaderRow || !(row->flags & PostProgramRow)) continue;
        int program = *(int*)row->object;
        if (count < 0) bindPostAttributes(program);
        for (int i = 0; i < count; i++)
            if (programs[i] == program) {
                bindPostAttributes(program);
                break;
            }
    }
}

// Links fragment (freed here; null fails) with the vertex text of from.
static int buildRegionShader(char* fragment, const BlurRegion* from)
{
    char* vertex = fragment ? regionVertexText(from) : NULL;
    int program = vertex ? createShaderProgram(vertex, fragment, 1) : -1;
    free(fragment);
    free(vertex);
    return bindPostAttributes(program);
}

// Returns createShaderProgram's result for the generated text (0 or -1 on a
// failure, logged there; -1 when the text could not be made).
int buildBlurShader(const float* weights, int radius, int vertical, const BlurRegion* from)
{
    return buildRegionShader(blurShaderText(weights, radius, vertical, from), from);
}

// The region of level in the atlas of a W x H frame.
static BlurRegion atlasRegion(int width, int height, int level)
{
    int region[4], baseWidth, baseHeight;
    BlurRegion from;
    pyramidLevelSize(width, height, 0, &baseWidth, &baseHeight);
    pyramidAtlasSize(baseWidth, baseHeight, &from.textureWidth, &from.textureHeight);
    pyramidAtlasRegion(baseWidth, baseHeight, level, region);
    from.x = region[0];
    from.y = region[1];
    from.width = region[2];
    from.height = region[3];
    return from;
}

// The blur programs, level by level, horizontal first, the halving programs
// of levels 1-3 and the combine for a W x H frame. The horizontal pass reads
// level 0's buffer or the level's region of the blurred atlas (where the
// halving put it), the vertical pass the level's region of the rows atlas;
// the combine sums the four regions of the blurred atlas.
void rebuildBlurShaders(int width, int height)
{
    BlurRegion regions[PyramidLevels];
    for (int level = 0; level < PyramidLevels; level++) {
        int radius;
        BlurRegion own = {0, 0, 0, 0, 0, 0};
        pyramidLevelSize(width, height, level, &own.textureWidth, &own.textureHeight);
        own.width = own.textureWidth;
        own.height = own.textureHeight;
        regions[level] = atlasRegion(width, height, level);
        float* weights = gaussianWeights(levelKernel[level], &radius);
        blurPrograms.horizontal[level] = buildBlurShader(weights, radius, 0, level == 0 ? &own : &regions[level]);
        blurPrograms.vertical[level] = buildBlurShader(weights, radius, 1, &regions[level]);
        free(weights);
        int baseWidth, baseHeight;
        pyramidLevelSize(width, height, 0, &baseWidth, &baseHeight);
        const BlurRegion base = {baseWidth, baseHeight, 0, 0, baseWidth, baseHeight};
        blurPrograms.halved[level] =
            level == 0 ? -1 : buildRegionShader(halvedShaderText(level, baseWidth, baseHeight), &base);
    }
    for (int columns = 0; columns <= 1; columns++) {
        char* combine = combineShaderText(regions, columns);
        int program = combine ? bindPostAttributes(createShaderProgram(combineVertexText, combine, 1)) : -1;
        free(combine);
        *(columns ? &blurPrograms.combineColumns : &blurPrograms.combine) = program;
    }
}

// Deletes the blur, halving and combine programs (the names go back to -1);
// the downsample programs do not depend on the size and stay.
void releaseBlurShaders(void)
{
    freeShaderProgram(&blurPrograms.combine);
    freeShaderProgram(&blurPrograms.combineColumns);
    blurPrograms.combine = -1;
    blurPrograms.combineColumns = -1;
    for (int level = 0; level < PyramidLevels; level++) {
        freeShaderProgram(&blurPrograms.horizontal[level]);
        freeShaderProgram(&blurPrograms.vertical[level]);
        freeShaderProgram(&blurPrograms.halved[level]);
        blurPrograms.horizontal[level] = -1;
        blurPrograms.vertical[level] = -1;
        blurPrograms.halved[level] = -1;
    }
}

// The blur programs, then the combine and the two downsample programs. Runs
// once at start-up.
void buildPostShaders(int width, int height)
{
    rebuildBlurShaders(width, height);
    blurPrograms.downsample = bindPostAttributes(createShaderProgram(downsampleVertexText, downsampleFragmentText, 1));
    blurPrograms.correctedDownsample =
        bindPostAttributes(createShaderProgram(downsampleVertexText, correctedDownsampleFragmentText, 1));
}

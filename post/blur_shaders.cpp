// The generated Gaussian blur shaders of the four-level pyramid (linear
// sampling: two kernel taps per bilinear fetch, weights and offsets written
// into the text), the fixed combine and downsample programs, and the post
// attributes of the content's full-screen programs.
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

BlurPrograms blurPrograms = {{-1, -1, -1, -1}, {-1, -1, -1, -1}, -1, -1};

// Kernel parameter k of each level: weights exp(-(k·x)²), smaller k is wider.
static const float levelKernel[PyramidLevels] = {0.55f, 0.3f, 0.2f, 0.17f};

static const char blurHeader[] =
    "#version 100\nprecision highp float;\nuniform sampler2D tex0;\nvarying vec2 TexCoord0;\n"
    "void main()\n{\nvec3 sum = vec3(0.0,0.0,0.0);\nvec2 texcoord;\n";
static const char blurTrailer[] = "gl_FragColor = vec4(sum, 1.0);\n}\n";
static const char blurVertexText[] =
    "attribute vec3  PosAttribute;attribute vec2  TexAttribute;precision mediump float;"
    "varying  vec2 TexCoord0;void main(){\tgl_Position = vec4(PosAttribute, 1.0);"
    "\tTexCoord0 = TexAttribute;}";

static const char combineVertexText[] =
    "attribute vec3 PosAttribute;attribute vec2 TexAttribute;precision mediump float;"
    "varying  vec2 TexCoord;void main(){\tgl_Position = vec4(PosAttribute, 1.0);"
    "\tTexCoord    = TexAttribute;}";
static const char combineFragmentText[] =
    "precision highp float;varying  vec2 TexCoord;uniform vec4 coeff;uniform sampler2D tex0;"
    "uniform sampler2D tex1;uniform sampler2D tex2;uniform sampler2D tex3;void main(){"
    "\tgl_FragColor = texture2D(tex0, TexCoord)*coeff.x + texture2D(tex1, TexCoord)*coeff.y"
    " + texture2D(tex2, TexCoord)*coeff.z + texture2D(tex3, TexCoord)*coeff.w;}";
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

// Returns the fragment text of one blur direction (caller frees), or null
// (logged). width and height are the size of the sampled texture.
char* blurShaderText(const float* weights, int radius, int vertical, int width, int height)
{
    if (!weights || radius < 0 || width < 1 || height < 1) {
        logMessage("ERROR: blur shader for %d x %d, radius %d refused\n", width, height, radius);
        return NULL;
    }
    int n = 2 * radius + 1;
    int m = (int)ceil(n * 0.5);
    locale_t c = cNumericLocale();
    locale_t previous = c ? uselocale(c) : (locale_t)0;
    ShaderText text = {NULL, 0, 0, 0};
    appendText(&text, "%s", blurHeader);
    for (int j = 0; j < m; j++) {
        float a = weights[2 * j];
        float b = 2 * j + 1 <= n - 1 ? weights[2 * j + 1] : 0.0f;
        float s = a + b;
        float f = b / (a + b);
        float o = (float)(-radius + 2 * j) + f;
        float x = vertical ? 0.0f / (float)width : o / (float)width;
        float y = vertical ? o / (float)height : 0.0f / (float)height;
        appendText(&text, "texcoord = TexCoord0 + vec2(%f, %f);\n", (double)x, (double)y);
        appendText(&text, "sum += texture2D(tex0, texcoord).rgb*%f;\n", (double)s);
    }
    appendText(&text, "%s", blurTrailer);
    if (previous) uselocale(previous);
    if (text.failed) {
        free(text.data);
        logMessage("ERROR: no memory for a blur shader\n");
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

void bindPostPrograms(const ResourceEntry* table)
{
    for (const ResourceEntry* row = table; row && row->object; row++)
        if (row->kind == ShaderRow && (row->flags & PostProgramRow)) bindPostAttributes(*(int*)row->object);
}

// Returns createShaderProgram's result for the generated text (0 or -1 on a
// failure, logged there; -1 when the text could not be made).
int buildBlurShader(const float* weights, int radius, int vertical, int width, int height)
{
    char* fragment = blurShaderText(weights, radius, vertical, width, height);
    if (!fragment) return -1;
    int program = createShaderProgram(blurVertexText, fragment, 1);
    free(fragment);
    return bindPostAttributes(program);
}

// The eight blur programs for a W x H frame, level by level, horizontal first.
void rebuildBlurShaders(int width, int height)
{
    for (int level = 0; level < PyramidLevels; level++) {
        int w, h, radius;
        pyramidLevelSize(width, height, level, &w, &h);
        float* weights = gaussianWeights(levelKernel[level], &radius);
        blurPrograms.horizontal[level] = buildBlurShader(weights, radius, 0, w, h);
        blurPrograms.vertical[level] = buildBlurShader(weights, radius, 1, w, h);
        free(weights);
    }
}

// Deletes the eight blur programs (the names go back to -1); the combine and
// downsample programs do not depend on the size and stay.
void releaseBlurShaders(void)
{
    for (int level = 0; level < PyramidLevels; level++) {
        freeShaderProgram(&blurPrograms.horizontal[level]);
        freeShaderProgram(&blurPrograms.vertical[level]);
        blurPrograms.horizontal[level] = -1;
        blurPrograms.vertical[level] = -1;
    }
}

// The blur programs, then the combine and downsample programs. Runs once at
// start-up.
void buildPostShaders(int width, int height)
{
    rebuildBlurShaders(width, height);
    blurPrograms.combine = bindPostAttributes(createShaderProgram(combineVertexText, combineFragmentText, 1));
    blurPrograms.downsample = bindPostAttributes(createShaderProgram(downsampleVertexText, downsampleFragmentText, 1));
}

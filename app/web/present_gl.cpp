// Presentation in WebGL 1: a GLSL ES 1.00 blit fed by a vertex buffer,
// unsized RGBA float sums (OES_texture_float + WEBGL_color_buffer_float), one
// framebuffer binding for reading and drawing. The browser shows the canvas
// after every animation frame, so the presented picture is kept in a texture
// and put back over a frame that was only added to the sum (keepShownPicture).
#include "app/present_gl.h"
#include "app/web/web.h"
#include "platform/platform.h"
#include "render/render.h"
#include <stdlib.h>
#include <string.h>

const GLint SumFormats[] = {GL_RGBA};
const int SumFormatCount = 1;
const GLint FrameCopyFormat = GL_RGBA;

// ---- state: the blit's quad and the picture on the page ---------------------------------
static GLuint quadBuffer;
static GLuint blitProgram;   // the one buildBlitProgram made (the picture is put back with it)
static GLint blitScale = -1;
static GLuint shownTexture;   // the presented picture, shownWidth x shownHeight
static int shownWidth, shownHeight;
static int shownValid;   // 1 once a picture was presented at the current size

static const char* blitVertexSource =
    "#version 100\n"
    "attribute vec2 corner;\n"
    "varying vec2 uv;\n"
    "void main() { uv = corner * 0.5 + 0.5; gl_Position = vec4(corner, 0.0, 1.0); }\n";
static const char* blitFragmentSource = "#version 100\n"
                                        "precision highp float;\n"
                                        "uniform sampler2D image;\n"
                                        "uniform float scale;\n"
                                        "varying vec2 uv;\n"
                                        "void main() { gl_FragColor = texture2D(image, uv) * scale; }\n";

GLuint buildBlitProgram(GLint* scaleLocation)
{
    GLuint vs = glCreateShader(GL_VERTEX_SHADER), fs = glCreateShader(GL_FRAGMENT_SHADER);
    glShaderSource(vs, 1, &blitVertexSource, nullptr);
    glShaderSource(fs, 1, &blitFragmentSource, nullptr);
    glCompileShader(vs);
    glCompileShader(fs);
    GLuint program = glCreateProgram();
    glAttachShader(program, vs);
    glAttachShader(program, fs);
    glBindAttribLocation(program, 0, "corner");
    glLinkProgram(program);
    glDeleteShader(vs);
    glDeleteShader(fs);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (!linked) {
        logMessage("ERROR: frame accumulation program did not link\n");
        glDeleteProgram(program);
        return 0;
    }
    glUseProgram(program);
    glUniform1i(glGetUniformLocation(program, "image"), 0);
    *scaleLocation = glGetUniformLocation(program, "scale");
    blitProgram = program;
    blitScale = *scaleLocation;
    return program;
}

// Attribute 0 is borrowed for the quad and disabled again (every mesh draw
// enables the arrays it uses; asking whether it was enabled is not possible
// with emscripten's client-side arrays).
void drawViewportQuad(void)
{
    static const float corners[8] = {-1.0f, -1.0f, 1.0f, -1.0f, -1.0f, 1.0f, 1.0f, 1.0f};
    if (!quadBuffer) {
        glGenBuffers(1, &quadBuffer);
        glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
        glBufferData(GL_ARRAY_BUFFER, sizeof corners, corners, GL_STATIC_DRAW);
    }
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

int framebuffersAvailable(void) { return 1; }

// WebGL 1 reads only RGBA bytes: read a row at a time and drop the alpha.
void readBackBufferRgb(unsigned char* pixels, int width, int height)
{
    unsigned char* row = (unsigned char*)malloc((size_t)width * 4);
    if (!row) {
        logMessage("ERROR: no memory to read the picture back\n");
        memset(pixels, 0, (size_t)width * 3 * (size_t)height);
        return;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    for (int y = 0; y < height; y++) {
        glReadPixels(0, y, width, 1, GL_RGBA, GL_UNSIGNED_BYTE, row);
        unsigned char* out = pixels + (size_t)y * (size_t)width * 3;
        for (int x = 0; x < width; x++) memcpy(out + x * 3, row + x * 4, 3);
    }
    free(row);
}

void bindBackBufferForReading(void) { glBindFramebuffer(GL_FRAMEBUFFER, 0); }

// The browser shows the canvas by itself; the picture is kept for the frames
// that follow without a present.
void showBackBuffer(void)
{
    int width, height;
    if (!windowFramebufferSize(&width, &height)) return;
    GLint texture = 0, framebuffer = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &texture);
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &framebuffer);
    if (!shownTexture) glGenTextures(1, &shownTexture);
    glBindTexture(GL_TEXTURE_2D, shownTexture);
    if (width != shownWidth || height != shownHeight) {
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        shownWidth = width;
        shownHeight = height;
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
    glBindFramebuffer(GL_FRAMEBUFFER, (GLuint)framebuffer);
    glBindTexture(GL_TEXTURE_2D, (GLuint)texture);
    shownValid = 1;
}

int keepShownPicture(void)
{
    int width, height;
    if (!shownValid || !blitProgram || !windowFramebufferSize(&width, &height)) return 0;
    if (width != shownWidth || height != shownHeight) return 0;
    SavedGLState saved;
    saveGLState(&saved);
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    glDisable(GL_BLEND);
    glDisable(GL_DEPTH_TEST);
    glDisable(GL_CULL_FACE);
    glDisable(GL_SCISSOR_TEST);
    glUseProgram(blitProgram);
    glUniform1f(blitScale, 1.0f);
    glBindTexture(GL_TEXTURE_2D, shownTexture);
    drawViewportQuad();
    restoreGLState(&saved);
    return 1;
}

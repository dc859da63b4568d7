// Presentation in the desktop's OpenGL: a GLSL 1.10 blit fed by immediate
// mode, RGBA32F (else RGBA16F) sums, the back buffer read through its own
// binding, and GLFW's swap.
#include "app/present_gl.h"
#include "platform/platform.h"
#include <GLFW/glfw3.h>

const GLint SumFormats[] = {GL_RGBA32F, GL_RGBA16F};
const int SumFormatCount = 2;
const GLint FrameCopyFormat = GL_RGBA8;

static const char* blitVertexSource = "#version 110\n"
                                      "varying vec2 uv;\n"
                                      "void main() { uv = gl_MultiTexCoord0.xy; gl_Position = gl_Vertex; }\n";
static const char* blitFragmentSource = "#version 110\n"
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
    return program;
}

void drawViewportQuad(void)
{
    glBegin(GL_TRIANGLE_STRIP);
    glTexCoord2f(0.0f, 0.0f);
    glVertex2f(-1.0f, -1.0f);
    glTexCoord2f(1.0f, 0.0f);
    glVertex2f(1.0f, -1.0f);
    glTexCoord2f(0.0f, 1.0f);
    glVertex2f(-1.0f, 1.0f);
    glTexCoord2f(1.0f, 1.0f);
    glVertex2f(1.0f, 1.0f);
    glEnd();
}

int framebuffersAvailable(void) { return GLEW_VERSION_2_0 && glGenFramebuffers; }

void readBackBufferRgb(unsigned char* pixels, int width, int height)
{
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels);
}

void bindBackBufferForReading(void)
{
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
}

void showBackBuffer(void)
{
    if (mainWindow) glfwSwapBuffers(mainWindow);
}

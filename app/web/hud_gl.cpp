// The heads-up display on WebGL 1: ImGui's OpenGL 3 renderer (GLSL ES 1.00
// in the browser) and a GLSL ES 1.00 panel program fed by a vertex buffer.
#include "app/hud_gl.h"
#include <imgui.h>
#include <imgui_impl_opengl3.h>

int hudRendererInit(void) { return ImGui_ImplOpenGL3_Init("#version 100") ? 1 : 0; }
void hudRendererNewFrame(void) { ImGui_ImplOpenGL3_NewFrame(); }
void hudRendererDraw(ImDrawData* data) { ImGui_ImplOpenGL3_RenderDrawData(data); }
void hudRendererShutdown(void) { ImGui_ImplOpenGL3_Shutdown(); }

const GLint HudPanelFormat = GL_RGBA;

const char* const panelVertexShader = "#version 100\n"
                                      "attribute vec2 vpos;\n"
                                      "attribute vec2 vUV;\n"
                                      "varying vec2 uv;\n"
                                      "void main() { uv = vUV; gl_Position = vec4(vpos, 0.0, 1.0); }\n";
const char* const panelFragmentShader = "#version 100\n"
                                        "precision mediump float;\n"
                                        "uniform sampler2D panel;\n"
                                        "varying vec2 uv;\n"
                                        "void main() { gl_FragColor = texture2D(panel, uv); }\n";

// ---- state: the quad's buffer ----------------------------------------------------------
static GLuint quadBuffer;

// Attributes 0 and 1 are borrowed and disabled again (every mesh draw enables
// the arrays it uses), and no array buffer is left bound.
void drawPanelQuad(float left, float right, float top, float bottom, float u0, float u1, float v0, float v1)
{
    const float quad[16] = {left, top, u0, v0, right, top, u1, v0, left, bottom, u0, v1, right, bottom, u1, v1};
    if (!quadBuffer) glGenBuffers(1, &quadBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, quadBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STREAM_DRAW);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), nullptr);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), (const void*)(2 * sizeof(float)));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(0);
    glDisableVertexAttribArray(1);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

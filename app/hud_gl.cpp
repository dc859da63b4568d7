// The heads-up display on the desktop's OpenGL: ImGui's fixed-function
// renderer, a GLSL 1.20 panel program fed by immediate mode.
#include "app/hud_gl.h"
#include <imgui.h>
#include <imgui_impl_opengl2.h>

int hudRendererInit(void) { return ImGui_ImplOpenGL2_Init() ? 1 : 0; }
void hudRendererNewFrame(void) { ImGui_ImplOpenGL2_NewFrame(); }
void hudRendererDraw(ImDrawData* data) { ImGui_ImplOpenGL2_RenderDrawData(data); }
void hudRendererShutdown(void) { ImGui_ImplOpenGL2_Shutdown(); }

const GLint HudPanelFormat = GL_RGBA8;

const char* const panelVertexShader = "#version 120\n"
                                      "attribute vec2 vpos;\n"
                                      "attribute vec2 vUV;\n"
                                      "varying vec2 uv;\n"
                                      "void main() { uv = vUV; gl_Position = vec4(vpos, 0.0, 1.0); }\n";
const char* const panelFragmentShader = "#version 120\n"
                                        "uniform sampler2D panel;\n"
                                        "varying vec2 uv;\n"
                                        "void main() { gl_FragColor = texture2D(panel, uv); }\n";

void drawPanelQuad(float left, float right, float top, float bottom, float u0, float u1, float v0, float v1)
{
    glBegin(GL_TRIANGLE_STRIP);   // attribute 0 last: it makes the vertex
    glVertexAttrib2f(1, u0, v0);
    glVertexAttrib2f(0, left, top);
    glVertexAttrib2f(1, u1, v0);
    glVertexAttrib2f(0, right, top);
    glVertexAttrib2f(1, u0, v1);
    glVertexAttrib2f(0, left, bottom);
    glVertexAttrib2f(1, u1, v1);
    glVertexAttrib2f(0, right, bottom);
    glEnd();
}

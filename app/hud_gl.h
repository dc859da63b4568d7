// The GL dialect of the heads-up display: ImGui's renderer and the panel's
// program and quad on the desktop's OpenGL (app/hud_gl.cpp) and on WebGL 1
// (app/web/hud_gl.cpp).
#pragma once
#include <GL/glew.h>

struct ImDrawData;

// ImGui's renderer for the current context: 1 set up, 0 failed.
int hudRendererInit(void);
void hudRendererNewFrame(void);
void hudRendererDraw(ImDrawData* data);
void hudRendererShutdown(void);
// The panel texture's format.
extern const GLint HudPanelFormat;
// The panel program's sources: attribute 0 "vpos", 1 "vUV", sampler "panel".
extern const char* const panelVertexShader;
extern const char* const panelFragmentShader;
// The panel's quad in clip space with its texture rectangle, the panel
// program in use; the program is left in use.
void drawPanelQuad(float left, float right, float top, float bottom, float u0, float u1, float v0, float v1);

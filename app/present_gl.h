// The GL dialect of presentation: what the desktop's OpenGL and the browser's
// WebGL 1 do differently (app/present_gl.cpp, app/web/present_gl.cpp); the
// accumulation itself (app/present.cpp) is the same on both.
#pragma once
#include <GL/glew.h>

// Texture formats of the float sum, tried in order until the framebuffer is
// complete, and of the copy of the finished frame.
extern const GLint SumFormats[];
extern const int SumFormatCount;
extern const GLint FrameCopyFormat;
// The program that draws texture unit 0 times the uniform at *scaleLocation
// over the viewport (drawViewportQuad). Returns it, or 0 (logged) when the
// driver refuses it.
GLuint buildBlitProgram(GLint* scaleLocation);
// Draws the quad over the whole viewport with the blit program in use and no
// array buffer bound (it is left at 0).
void drawViewportQuad(void);
// 1 when the context has what the accumulation needs (GLSL, framebuffer objects).
int framebuffersAvailable(void);
// Reads the back buffer into pixels as width x height RGB bytes, bottom row
// first (GL's order), rows packed without padding.
void readBackBufferRgb(unsigned char* pixels, int width, int height);
// Makes the window's back buffer the source of glCopyTexSubImage2D.
void bindBackBufferForReading(void);
// Shows the back buffer (the swap).
void showBackBuffer(void);

// The shared state of the rendering core, in one place so that code reading it
// (window, keyboard, post passes, scenes) links without pulling in the drawing.
#include "render/render_local.h"

Camera camera;
Camera* activeCamera = &camera;
Camera tweakCamera;
int tweakMode = -1;
int windowWidth, windowHeight;

UniformQueue uniformQueue;
int currentBlendMode = Opaque;

float overlayAlpha = -1.0f;
int overlayProgram;

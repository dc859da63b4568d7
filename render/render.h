// Rendering core: column-major 4×4 matrices, the single camera, mesh drawing
// with its uniform conventions and blend modes, and the 2D overlay quad.
#pragma once
#include <stdint.h>

struct Mesh;

// Degrees to radians with the single-precision constant used everywhere.
#define DEG2RAD(a) ((a)*3.1416f / 180.0f)

// ---- matrices ----------------------------------------------------------------
void matIdentity(float* m);
void matMultiply(float* out, const float* a, const float* b);   // out = a·b, no aliasing

// ---- camera ------------------------------------------------------------------
struct Camera {
    float x, y, z;
    float yaw, pitch, roll;   // radians
    float fov;                // horizontal, degrees
    float near, far;
    float aspect;   // height / width
    float projection[16], view[16], rotation[16];
    int dirty;
};
struct CameraKey {
    float x, y, z;
    float yaw, pitch, roll;   // degrees
    float near, far;
    float fov;
};
extern Camera camera;          // the one camera
extern Camera* activeCamera;   // &camera, null only while drawOverlayQuad draws
extern Camera tweakCamera;     // the author's camera (keyboard)
extern int tweakMode;          // -1 never entered, 1 active, 0 left
extern int windowWidth, windowHeight;

void matPerspective(Camera* cam);
void updateViewMatrix(void);
void updateModelMatrix(Mesh* mesh);
void setCamera(float x, float y, float z, float yaw, float pitch, float roll, float near, float far, float fov);
void lerpCamera(const CameraKey* from, const CameraKey* to, float t);
// Sets the camera's aspect from a window size; a zero or non-finite quotient
// keeps the previous aspect.
void setCameraAspect(int width, int height);
// The part of a width x height viewport that mesh (as placed, every frame of
// it) can cover seen by the active camera: its vertices' bounding box
// projected, grown by marginX, marginY pixels and clipped to the viewport,
// as x, y, width, height in pixels from the bottom left. Returns 1 with the
// rectangle, 0 when the box lies beside the view or wholly nearer than the
// near plane (or there is nothing to judge by); a box reaching past the eye
// is bounded by its part in front of the near plane.
int meshScreenRect(Mesh* mesh, int width, int height, float marginX, float marginY, int rect[4]);
// 0 when mesh (as placed, every frame of it) lies wholly beside the active
// camera's view or nearer than its near plane, so that drawing it would cover
// no pixel; 1 otherwise, and when there is nothing to judge by.
int meshInView(Mesh* mesh);

// ---- mesh drawing --------------------------------------------------------------
enum UniformKind { Float = 0, Vec2 = 1, Vec3 = 2, Vec4 = 3, AuxFloat = 4, Texture = 5 };
enum { MaxQueuedUniforms = 16, UniformNameSize = 32 };

// Appends a Float entry. Returns 1, or 0 (logged) when the queue is full or the
// name does not fit.
int queueUniform(const char* name, float value);
// Appends an entry of any kind; same contract as queueUniform.
int queueUniformEntry(const char* name, int kind, float value, float auxValue, const float* vector);

void bindMeshShader(Mesh* mesh);
void bindMeshBuffers(Mesh* mesh);
void blendMeshFrames(Mesh* mesh, float t);
// bindMeshShader + bindMeshBuffers + glDrawElements of the whole mesh, after the
// caller set its placement; a mesh without buffers or program draws nothing.
void drawMesh(Mesh* mesh);
// drawMesh with another program and five texture slots (null: the mesh's
// own) for this one draw; the mesh record is left as it was.
void drawMeshWith(Mesh* mesh, int program, const int* textures);

enum BlendMode { Opaque = 0, Additive = 1, AlphaAdditive = 2, Multiply = 3, AlphaBlend = 4 };
extern int currentBlendMode;
void setBlendMode(int mode);

// ---- GL state ------------------------------------------------------------------
// The engine's fixed state, as the window's start-up leaves it: depth test
// (less), back faces culled with clockwise fronts, blending on.
void setFixedGLState(void);
// Draws between these stand behind everything drawn before them (the sky,
// a backdrop at depth 1): depth tested LEQUAL and not written. begin returns
// the depth-write mask that end puts back; end puts back the LESS test.
int beginFarPlaneDraws(void);
void endFarPlaneDraws(int depthWrites);
// What a pass drawn outside the engine's frame (accumulation, heads-up
// display) changes: programs, framebuffers, texture unit 0, viewport, blend,
// clear colour, depth writes and the capabilities the engine relies on.
struct SavedGLState {
    int program, framebuffer, readFramebuffer, texture, activeTexture, viewport[4];
    int blendSrcRgb, blendDstRgb, blendSrcAlpha, blendDstAlpha, arrayBuffer;
    float blendColor[4], clearColor[4];
    int depthTest, cullFace, blend, scissor, depthMask;
};
void saveGLState(SavedGLState* state);   // leaves texture unit 0 active
// The first level's size of the texture bound to GL_TEXTURE_2D: 1 with both
// sides, 0 when the GL cannot tell (the browser's has no query; both then 0).
int boundTextureSize(int* width, int* height);
void restoreGLState(const SavedGLState* state);
// Client-memory drawing (ImGui) needs no buffers bound and no generic
// attribute array enabled: these set the engine's aside and bring them back.
enum { SavedAttributeArrays = 8 };
struct SavedVertexArrays {
    int elementBuffer, arrayBuffer, enabled[SavedAttributeArrays];
};
void setVertexArraysAside(SavedVertexArrays* arrays);
void restoreVertexArrays(const SavedVertexArrays* arrays);

// ---- overlay quads -------------------------------------------------------------
extern float overlayAlpha;   // -1: use the colour's alpha
extern int overlayProgram;
// Centre and size in viewport fractions, colour 0xRRGGBBAA, up to five textures,
// program <= 0 selects the default overlay shader.
void drawOverlayQuad(const int* textures, float cx, float cy, float width, float height, int textureCount,
                     uint32_t colour, int blendMode, int program);
// The same quad where nothing has written depth yet (at the far plane, tested
// LEQUAL, no depth writes): a backdrop drawn after the opaque geometry in
// front of it shades only the pixels it shows.
void drawOverlayQuadBehind(const int* textures, float cx, float cy, float width, float height, int textureCount,
                           uint32_t colour, int blendMode, int program);

// The overlay quad: the one 2D primitive (loading bar, letterbox, full-screen
// passes, flat layers), drawn through the ordinary mesh path without depth
// test and without the camera, leaving blend mode and camera as it found them.
#include "render/render.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include <GL/glew.h>

static const char overlayVertexSource[] =
    "#version 100\nprecision mediump float;\nattribute vec3 vpos;\t//could use 'location()' in GL4 "
    "to set which attrib each var is\nattribute vec2 vUV;uniform vec4 vcol;\t//else it's defined at "
    "shader-compile time\nvarying vec4 col;varying vec2 uv;uniform mat4 matM;//model,no proj,no "
    "normals\nvoid main() {\tcol = vcol;\tgl_Position = matM* vec4(vpos,1.0);\tuv = vUV;}";
static const char overlayFragmentSource[] =
    "#version 100\nprecision mediump float;\nvarying vec4 col;varying vec2 uv;uniform sampler2D "
    "tex0;\nuniform bool hasTex;\nvoid main(){\tif(hasTex)\t\tgl_FragColor = col * "
    "texture2D(tex0,uv);\telse\t\tgl_FragColor = col;}";

// Clockwise on screen: front-facing under the GL_CW front face.
static MeshVertex overlayVertices[4] = {
    {-1, -1, 0, 0, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1},
    {-1, 1, 0, 0, 1, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1},
    {1, 1, 0, 1, 1, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1},
    {1, -1, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 1, 1, 1},
};
static uint16_t overlayIndices[6] = {0, 1, 2, 2, 3, 0};
static Mesh overlayMesh;
static int overlayReady;
static float overlayColour[4];   // the "vcol" entry points here until the bind

static void initOverlay(void)
{
    Mesh* q = &overlayMesh;
    for (int i = 0; i < 5; i++) q->textures[i] = -1;
    q->vertexCount = 4;
    q->triangleCount = 2;
    q->frameCount = 1;
    q->vertices = overlayVertices;
    q->indices = overlayIndices;
    glGenBuffers(1, &q->vertexBuffer);
    glGenBuffers(1, &q->indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, q->vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof(overlayVertices), overlayVertices, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, q->indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof(overlayIndices), overlayIndices, GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    initMeshAttributes(q);
    q->x = q->y = q->z = 0.0f;
    q->yaw = q->pitch = q->roll = DEG2RAD(0.0f);
    matIdentity(q->rotation);   // every call clears dirty, so matN would never be built
    q->dirty = 1;
    logMessage("Compiling default overlay shader...\n");
    overlayProgram = createShaderProgram(overlayVertexSource, overlayFragmentSource, 1);
    q->program = overlayProgram;
    overlayReady = 1;
}

// Slots beyond textureCount (clamped to 0..5) are emptied; hasTex needs a
// texture name above 0 among the given ones.
static float setOverlayTextures(const int* textures, int textureCount)
{
    if (!textures || textureCount < 0) textureCount = 0;
    if (textureCount > 5) textureCount = 5;
    float hasTex = 0.0f;
    for (int i = 0; i < 5; i++) {
        overlayMesh.textures[i] = i < textureCount ? textures[i] : -1;
        if (i < textureCount && textures[i] > 0) hasTex = 1.0f;
    }
    return hasTex;
}

static void setOverlayPlacement(float cx, float cy, float width, float height, float depth)
{
    float scale[16];
    matIdentity(scale);
    scale[0] = width;
    scale[5] = height;
    scale[10] = 1.0f;
    matIdentity(overlayMesh.scratch);
    overlayMesh.scratch[12] = 2.0f * cx - 1.0f;
    overlayMesh.scratch[13] = 2.0f * cy - 1.0f;
    overlayMesh.scratch[14] = depth;
    matMultiply(overlayMesh.model, overlayMesh.scratch, scale);
    overlayMesh.dirty = 0;   // keep this matrix through bindMeshShader
}

// Centre and size in viewport fractions, colour 0xRRGGBBAA. A failed default
// shader (program 0 or less) draws nothing; the queue is still emptied.
// behind: at the far plane (depth 1), tested LEQUAL without writing depth,
// else without depth test at depth 0.5.
static void drawQuad(const int* textures, float cx, float cy, float width, float height, int textureCount,
                     uint32_t colour, int blendMode, int program, int behind)
{
    if (!overlayReady) initOverlay();
    float hasTex = setOverlayTextures(textures, textureCount);
    overlayMesh.program = program > 0 ? program : overlayProgram;
    overlayColour[0] = (float)(colour & 0xFF000000u) / 4278190080.0f;
    overlayColour[1] = (float)(colour & 0x00FF0000u) / 16711680.0f;
    overlayColour[2] = (float)(colour & 0x0000FF00u) / 65280.0f;
    overlayColour[3] = overlayAlpha != -1.0f ? overlayAlpha : (float)(colour & 0xFFu) / 255.0f;
    queueUniformEntry("vcol", Vec4, 0.0f, 0.0f, overlayColour);
    queueUniformEntry("hasTex", AuxFloat, 0.0f, hasTex, nullptr);
    setOverlayPlacement(cx, cy, width, height, behind ? 1.0f : 0.0f);

    Camera* savedCamera = activeCamera;
    activeCamera = nullptr;
    int savedBlendMode = currentBlendMode;
    setBlendMode(blendMode);
    int depthWrites = 1;
    if (behind)
        depthWrites = beginFarPlaneDraws();
    else
        glDisable(GL_DEPTH_TEST);
    bindMeshShader(&overlayMesh);
    bindMeshBuffers(&overlayMesh);
    if (overlayMesh.program > 0) glDrawElements(GL_TRIANGLES, 6, GL_UNSIGNED_SHORT, nullptr);
    if (behind) endFarPlaneDraws(depthWrites);
    setBlendMode(savedBlendMode);
    glEnable(GL_DEPTH_TEST);
    activeCamera = savedCamera;
}

void drawOverlayQuad(const int* textures, float cx, float cy, float width, float height, int textureCount,
                     uint32_t colour, int blendMode, int program)
{
    drawQuad(textures, cx, cy, width, height, textureCount, colour, blendMode, program, 0);
}

void drawOverlayQuadBehind(const int* textures, float cx, float cy, float width, float height, int textureCount,
                           uint32_t colour, int blendMode, int program)
{
    drawQuad(textures, cx, cy, width, height, textureCount, colour, blendMode, program, 1);
}

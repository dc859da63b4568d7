// Shared by the render tests: a camera reset, the engine's GL state on an
// off-screen buffer, small meshes uploaded by hand and a flat-colour program.
#pragma once
#include "assets/assets.h"
#include "render/render_local.h"
#include "support/gl_context.h"
#include "support/render_state.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <math.h>
#include <string.h>
#include <vector>

// ---- helpers -------------------------------------------------------------------

inline void resetCamera(void)
{
    tweakMode = -1;
    activeCamera = &camera;
    camera.aspect = 1.0f;
    setCamera(0, 0, 0, 0, 0, 0, 0.1f, 100.0f, 90.0f);
}

// The engine's GL state on an off-screen buffer of the asked size (support).
inline int glReady(int width, int height) { return useOffscreen(width, height); }

inline void fillAttributes(Mesh* m)
{
    static const int sizes[5] = {3, 2, 3, 3, 4}, offsets[5] = {0, 12, 20, 32, 44};
    m->attribCount = 5;
    for (int i = 0; i < 5; i++) {
        m->attribLocations[i] = i;
        m->attribSizes[i] = sizes[i];
        m->attribOffsets[i] = offsets[i];
    }
}

inline void uploadMesh(Mesh* m)
{
    glGenBuffers(1, &m->vertexBuffer);
    glGenBuffers(1, &m->indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, m->vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, m->vertexCount * sizeof(MeshVertex), m->vertices, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, m->indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, m->triangleCount * 6, m->indices, GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    fillAttributes(m);
}

// A square of side 2·half in the stored (GL) xy plane, clockwise on screen.
struct TestMesh {
    Mesh mesh;
    std::vector<MeshVertex> vertices;
    std::vector<uint16_t> indices;
};

inline void makeSquare(TestMesh* t, float half, int program)
{
    memset(&t->mesh, 0, sizeof(Mesh));
    const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, 1}, {1, -1}};
    t->vertices.assign(8, MeshVertex{});
    for (int i = 0; i < 4; i++) {
        MeshVertex& v = t->vertices[i];
        v.x = corners[i][0] * half;
        v.y = corners[i][1] * half;
        v.u = corners[i][0] * 0.5f + 0.5f;
        v.v = corners[i][1] * 0.5f + 0.5f;
        v.nz = 1;
        v.r = v.g = v.b = v.a = 1;
    }
    t->indices = {0, 1, 2, 2, 3, 0};
    t->mesh.vertexCount = 4;
    t->mesh.triangleCount = 2;
    t->mesh.frameCount = 1;
    t->mesh.vertices = t->vertices.data();
    t->mesh.indices = t->indices.data();
    for (int i = 0; i < 5; i++) t->mesh.textures[i] = -1;
    t->mesh.program = program;
    t->mesh.dirty = 1;
    uploadMesh(&t->mesh);
}

inline void freeTestMesh(TestMesh* t)
{
    glDeleteBuffers(1, &t->mesh.vertexBuffer);
    glDeleteBuffers(1, &t->mesh.indexBuffer);
}

inline const char* flatVertex = "#version 100\nattribute vec3 vpos;uniform mat4 matM, matP;\n"
                                "void main(){ gl_Position = matP * matM * vec4(vpos, 1.0); }";
inline const char* flatFragment = "#version 100\nprecision mediump float;uniform vec4 colour;\n"
                                  "void main(){ gl_FragColor = colour; }";

inline int flatProgram(void)
{
    static int program = 0;
    if (!program) program = createShaderProgram(flatVertex, flatFragment, 1);
    return program;
}

inline std::vector<unsigned char> pixelAt(int x, int y) { return readPixels(x, y, 1, 1); }

inline void expectColour(int x, int y, int r, int g, int b, int tolerance = 2)
{
    std::vector<unsigned char> p = pixelAt(x, y);
    EXPECT_NEAR(p[0], r, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(p[1], g, tolerance) << "at " << x << "," << y;
    EXPECT_NEAR(p[2], b, tolerance) << "at " << x << "," << y;
}

// ---- matrices and camera (no GL) ------------------------------------------------

inline void uniformFloats(int program, const char* name, float* out)
{
    glGetUniformfv(program, glGetUniformLocation(program, name), out);
}

inline int uniformInt(int program, const char* name)
{
    int v = -1;
    glGetUniformiv(program, glGetUniformLocation(program, name), &v);
    return v;
}

inline int boundTexture(int unit, GLenum query)
{
    glActiveTexture(GL_TEXTURE0 + unit);
    int name = 0;
    glGetIntegerv(query, &name);
    return name;
}

inline void expectBlendState(GLenum source, GLenum destination, GLboolean depth)
{
    int s = 0, d = 0;
    GLboolean mask = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &s);
    glGetIntegerv(GL_BLEND_DST_RGB, &d);
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    EXPECT_EQ(s, (int)source);
    EXPECT_EQ(d, (int)destination);
    EXPECT_EQ(mask, depth);
}

// Mesh drawing: the uniform queue, bindMeshShader with its fixed uniform
// conventions, vertex buffers and attribute arrays, the in-between frame of
// animated meshes, blend modes with their cache, and the skybox.
#include "render/render_local.h"
#include "assets/assets.h"
#include "platform/platform.h"
#include <GL/glew.h>
#include <math.h>
#include <stdio.h>
#include <string.h>

enum { SamplerNameSize = 16, FirstQueuedUnit = 5 };

// "tex%i" / "texcube%i", formatted the first time slot i is bound.
static char texUniformNames[5][SamplerNameSize];
static char texCubeUniformNames[5][SamplerNameSize];

// Refuses (logged) what does not fit: never more than the queue holds, never a
// name longer than its buffer.
int queueUniformEntry(const char* name, int kind, float value, float auxValue, const float* vector)
{
    if (!name) {
        logMessage("uniform queue: refused an entry without a name\n");
        return 0;
    }
    size_t length = strlen(name);
    if (length >= UniformNameSize) {
        logMessage("uniform queue: refused <%.40s...>, names hold at most %d characters\n", name, UniformNameSize - 1);
        return 0;
    }
    if (uniformQueue.count < 0 || uniformQueue.count >= MaxQueuedUniforms) {
        logMessage("uniform queue: full, refused <%s>\n", name);
        return 0;
    }
    UniformEntry* entry = &uniformQueue.entries[uniformQueue.count];
    memcpy(entry->name, name, length + 1);
    entry->kind = kind;
    entry->value = value;
    entry->auxValue = auxValue;
    entry->vector = vector;
    uniformQueue.count++;
    return 1;
}

int queueUniform(const char* name, float value) { return queueUniformEntry(name, Float, value, 0.0f, nullptr); }

static void uploadMatrix(int program, const char* name, const float* m)
{
    int location = glGetUniformLocation(program, name);
    if (location >= 0) glUniformMatrix4fv(location, 1, GL_FALSE, m);
}

static void uploadMatrices(Mesh* mesh)
{
    float product[16];
    Camera* cam = activeCamera;
    if (cam) {
        matMultiply(product, cam->view, mesh->model);
        uploadMatrix(mesh->program, "matM", product);
    } else {
        uploadMatrix(mesh->program, "matM", mesh->model);
    }
    uploadMatrix(mesh->program, "matMM", mesh->model);
    if (cam) uploadMatrix(mesh->program, "matP", cam->projection);
    if (cam) {
        matMultiply(product, cam->rotation, mesh->rotation);
        uploadMatrix(mesh->program, "matN", product);
    } else {
        uploadMatrix(mesh->program, "matN", mesh->rotation);
    }
}

// Slots 4 down to 0, so the unit left active is the lowest one bound.
static void bindTextureSlots(Mesh* mesh)
{
    for (int i = 4; i >= 0; i--) {
        if (mesh->textures[i] == -1) continue;
        if (!texUniformNames[i][0]) {
            snprintf(texUniformNames[i], SamplerNameSize, "tex%c", '0' + i);   // slots 0 to 4: one digit
            snprintf(texCubeUniformNames[i], SamplerNameSize, "texcube%c", '0' + i);
        }
        int location = glGetUniformLocation(mesh->program, texUniformNames[i]);
        if (location != -1) {
            glActiveTexture(GL_TEXTURE0 + i);
            glBindTexture(GL_TEXTURE_2D, (GLuint)mesh->textures[i]);
            glUniform1i(location, i);
            continue;
        }
        location = glGetUniformLocation(mesh->program, texCubeUniformNames[i]);
        if (location != -1) {
            glActiveTexture(GL_TEXTURE0 + i);
            glBindTexture(GL_TEXTURE_CUBE_MAP, (GLuint)mesh->textures[i]);
            glUniform1i(location, i);
        }
    }
}

static int textureUnitLimit(void)
{
    static GLint limit = 0;
    if (!limit) glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &limit);
    return limit > 0 ? limit : 8;
}

// A vector entry without its floats is skipped rather than read through null.
static void uploadQueuedUniforms(int program)
{
    int unit = FirstQueuedUnit;
    for (int i = 0; i < uniformQueue.count && i < MaxQueuedUniforms; i++) {
        const UniformEntry* e = &uniformQueue.entries[i];
        int location = glGetUniformLocation(program, e->name);
        const float* v = e->vector;
        switch (e->kind) {
        case Float: glUniform1f(location, e->value); break;
        case Vec2:
            if (v) glUniform2f(location, v[0], v[1]);
            break;
        case Vec3:
            if (v) glUniform3f(location, v[0], v[1], v[2]);
            break;
        case Vec4:
            if (v) glUniform4f(location, v[0], v[1], v[2], v[3]);
            break;
        case AuxFloat: glUniform1f(location, e->auxValue); break;
        case Texture:
            if (unit >= textureUnitLimit()) break;
            glActiveTexture(GL_TEXTURE0 + unit);
            glBindTexture(GL_TEXTURE_2D, (GLuint)(int)e->auxValue);
            glUniform1i(location, unit);
            unit++;
            break;
        default: break;
        }
    }
}

// A mesh without a usable program (0, or −1 from a failed load) is drawn with
// no program rather than feeding its uniforms to whichever program was current.
void bindMeshShader(Mesh* mesh)
{
    if (!mesh) {
        uniformQueue.count = 0;
        return;
    }
    if (activeCamera) updateViewMatrix();
    updateModelMatrix(mesh);
    if (mesh->program <= 0) {
        glUseProgram(0);
        uniformQueue.count = 0;
        return;
    }
    glUseProgram((GLuint)mesh->program);
    uploadMatrices(mesh);
    bindTextureSlots(mesh);
    int location = glGetUniformLocation(mesh->program, "iResolution");
    if (location >= 0) glUniform2f(location, (float)windowWidth, (float)windowHeight);
    uploadQueuedUniforms(mesh->program);
    uniformQueue.count = 0;
}

void bindMeshBuffers(Mesh* mesh)
{
    if (!mesh) return;
    glBindBuffer(GL_ARRAY_BUFFER, mesh->vertexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, mesh->indexBuffer);
    if (!mesh->vertexBuffer) return;   // offsets would become client pointers
    int count = mesh->attribCount < 16 ? mesh->attribCount : 16;
    for (int i = 0; i < count; i++) {
        glEnableVertexAttribArray((GLuint)mesh->attribLocations[i]);
        glVertexAttribPointer((GLuint)mesh->attribLocations[i], mesh->attribSizes[i], GL_FLOAT, GL_FALSE,
                              sizeof(MeshVertex), (const void*)(intptr_t)mesh->attribOffsets[i]);
    }
}

// Positions outside [0, frameCount) wrap into range; a mesh without frames or
// vertices is left alone.
void blendMeshFrames(Mesh* mesh, float t)
{
    if (!mesh || !mesh->vertices || mesh->frameCount == 0 || mesh->vertexCount == 0) return;
    float frames = (float)mesh->frameCount;
    if (!isfinite(t)) t = 0.0f;
    t = fmodf(t, frames);
    if (t < 0.0f) t += frames;
    if (!(t < frames)) t = 0.0f;
    uint32_t f = (uint32_t)t;
    if (f >= mesh->frameCount) f = mesh->frameCount - 1;
    uint32_t next = f < mesh->frameCount - 1 ? f + 1 : 0;
    float fraction = t - (float)f;
    size_t n = mesh->vertexCount;
    const float* a = (const float*)(mesh->vertices + (size_t)f * n);
    const float* b = (const float*)(mesh->vertices + (size_t)next * n);
    float* out = (float*)(mesh->vertices + (size_t)mesh->frameCount * n);
    for (size_t i = 0; i < n; i++) {
        for (int k = 0; k < 11; k++) out[k] = a[k] + (b[k] - a[k]) * fraction;
        a += 15;
        b += 15;
        out += 15;
    }
    mesh->uploadedFrame = (int)mesh->frameCount;
    if (!mesh->vertexBuffer) return;
    glBindBuffer(GL_ARRAY_BUFFER, mesh->vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)(n * sizeof(MeshVertex)), mesh->vertices + (size_t)mesh->frameCount * n,
                 GL_DYNAMIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

// Draws only what has its buffers and a program: an unloaded (zero-filled)
// mesh, or one whose shader failed, binds its shader, which empties the
// uniform queue, and draws nothing.
void drawMesh(Mesh* mesh)
{
    if (!mesh) return;
    bindMeshShader(mesh);
    bindMeshBuffers(mesh);
    if (!mesh->vertexBuffer || !mesh->indexBuffer || mesh->triangleCount == 0) return;
    if (mesh->program <= 0) return;
    glDrawElements(GL_TRIANGLES, (GLsizei)(3 * mesh->triangleCount), GL_UNSIGNED_SHORT, nullptr);
}

// The mesh's own record stays as it is: the program and textures of this
// draw are put in for the draw and the mesh's own put back right after.
void drawMeshWith(Mesh* mesh, int program, const int* textures)
{
    if (!mesh) return;
    int ownProgram = mesh->program;
    int ownTextures[5];
    memcpy(ownTextures, mesh->textures, sizeof ownTextures);
    mesh->program = program;
    if (textures) memcpy(mesh->textures, textures, sizeof ownTextures);
    drawMesh(mesh);
    mesh->program = ownProgram;
    memcpy(mesh->textures, ownTextures, sizeof ownTextures);
}

struct BlendState {
    GLenum source, destination;
    GLboolean depthWrites;
};
static const BlendState blendStates[5] = {
    {GL_ONE, GL_ZERO, GL_TRUE},                         // Opaque
    {GL_ONE, GL_ONE, GL_FALSE},                         // Additive
    {GL_SRC_ALPHA, GL_ONE, GL_FALSE},                   // AlphaAdditive
    {GL_DST_COLOR, GL_ZERO, GL_FALSE},                  // Multiply
    {GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA, GL_FALSE},   // AlphaBlend
};

// GL calls only on a change; an unknown mode is remembered but sets nothing.
void setBlendMode(int mode)
{
    if (mode == currentBlendMode) return;
    currentBlendMode = mode;
    if (mode < 0 || mode > 4) return;
    glBlendFunc(blendStates[mode].source, blendStates[mode].destination);
    glDepthMask(blendStates[mode].depthWrites);
}

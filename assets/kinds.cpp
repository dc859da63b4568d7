// The kinds of resource row as rows of operations: how a shader pair, a mesh
// (with its slot-0 texture) and a texture are read, made, freed, renamed and
// linked, with each kind's file size limit; and the file reads they share.
#include "assets/assets_local.h"
#include "assets/resources_local.h"
#include <GL/glew.h>
#include <stdlib.h>
#include <string.h>

// ---- file reads ------------------------------------------------------------------------

static size_t meshArrayBytes(const Mesh* mesh, size_t* vertexBytes, size_t* indexBytes)
{
    *vertexBytes = mesh->vertices ? ((size_t)mesh->frameCount + 1) * mesh->vertexCount * sizeof(MeshVertex) : 0;
    *indexBytes = mesh->indices ? (size_t)mesh->triangleCount * 6 : 0;
    return *vertexBytes + *indexBytes;
}

size_t fileReadBytes(const FileRead* read)
{
    size_t vertexBytes, indexBytes;
    return (read->image.pixels ? imageBytes(&read->image) : 0) + meshArrayBytes(&read->mesh, &vertexBytes, &indexBytes);
}

static void* copyBytes(const void* from, size_t bytes)
{
    void* to = malloc(bytes ? bytes : 1);
    if (to) memcpy(to, from, bytes);
    return to;
}

int copyFileRead(FileRead* to, const FileRead* from)
{
    size_t vertexBytes, indexBytes;
    meshArrayBytes(&from->mesh, &vertexBytes, &indexBytes);
    *to = *from;
    to->image.pixels =
        from->image.pixels ? (unsigned char*)copyBytes(from->image.pixels, imageBytes(&from->image)) : nullptr;
    to->mesh.vertices = from->mesh.vertices ? (MeshVertex*)copyBytes(from->mesh.vertices, vertexBytes) : nullptr;
    to->mesh.indices = from->mesh.indices ? (uint16_t*)copyBytes(from->mesh.indices, indexBytes) : nullptr;
    if ((from->image.pixels && !to->image.pixels) || (from->mesh.vertices && !to->mesh.vertices) ||
        (from->mesh.indices && !to->mesh.indices)) {
        releaseFileRead(to);
        return 0;
    }
    return 1;
}

void releaseFileRead(FileRead* read)
{
    free(read->image.pixels);
    free(read->mesh.vertices);
    free(read->mesh.indices);
    memset(read, 0, sizeof *read);
}

// ---- shader pairs ----------------------------------------------------------------------

static int uploadShaderPair(void* object, const char* const paths[2], FileRead*, const int*)
{
    int program = loadShaderFiles(paths[0], paths[1], resourceKinds[ShaderRow].sizeLimit);
    if (object) *(int*)object = program;
    return program;
}

static void freeShaderPair(void* object) { freeShaderProgram((int*)object); }

static void renameProgram(void* object, int kind, int oldName, int newName)
{
    if (kind == ShaderRow && *(int*)object == oldName) *(int*)object = newName;
}

// ---- textures ----------------------------------------------------------------------------

static int readTexture(const char* path, size_t limit, FileRead* read)
{
    return decodeTextureFile(path, limit, &read->image);
}

static int uploadTextureRead(void* object, const char* const paths[2], FileRead* read, const int*)
{
    return uploadTexture(&read->image, paths[0], (int*)object);
}

static void freeTextureSlot(void* object) { freeTexture((int*)object); }

static void renameTexture(void* object, int kind, int oldName, int newName)
{
    if (kind == TextureRow && *(int*)object == oldName) *(int*)object = newName;
}

// ---- meshes --------------------------------------------------------------------------------

static int readMesh(const char* path, size_t limit, FileRead* read) { return readMeshFile(path, limit, &read->mesh); }

// The mesh takes its texture part into slot 0.
static int uploadMeshRead(void* object, const char* const paths[2], FileRead* read, const int* paired)
{
    Mesh* mesh = uploadMesh((Mesh*)object, &read->mesh, paths[0]);
    if (mesh && paired) mesh->textures[0] = *paired;
    return mesh ? 1 : 0;
}

// Slot 0 holds the row's own texture part: it goes with the mesh.
static void freeMeshRecord(void* object)
{
    Mesh* mesh = (Mesh*)object;
    freeTexture(&mesh->textures[0]);
    freeMesh(mesh);
}

// A mesh holds a program and five texture slots (a data hook may have copied
// a texture into another mesh's slot).
static void renameMeshNames(void* object, int kind, int oldName, int newName)
{
    Mesh* mesh = (Mesh*)object;
    if (kind == ShaderRow && mesh->program == oldName) mesh->program = newName;
    for (int t = 0; kind == TextureRow && t < 5; t++)
        if (mesh->textures[t] == oldName) mesh->textures[t] = newName;
}

static void linkMesh(void* object, int program) { ((Mesh*)object)->program = program; }

// ---- the table ----------------------------------------------------------------------------

const ResourceKindOps resourceKinds[ResourceKindCount] = {
    {"shader pair", ShaderFileLimit, 2, -1, nullptr, uploadShaderPair, freeShaderPair, reloadShaderRow, renameProgram,
     nullptr},
    {"mesh", MeshFileLimit, 1, TextureRow, readMesh, uploadMeshRead, freeMeshRecord, reloadMeshRow, renameMeshNames,
     linkMesh},
    {"texture", TextureFileLimit, 1, -1, readTexture, uploadTextureRead, freeTextureSlot, reloadTextureRow,
     renameTexture, nullptr},
};

const ResourceKindOps* kindOf(const ResourceEntry* row)
{
    if (row->kind < 0 || row->kind >= ResourceKindCount) return nullptr;
    return &resourceKinds[row->kind];
}

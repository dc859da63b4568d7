// Reloading one file while the show plays: the rows that name it load it
// again through their kind's reload, and a new GL name takes every place of
// the old one in the table.
#include "assets/assets_local.h"
#include "assets/resources_local.h"
#include <GL/glew.h>
#include <string.h>

// The length of the file name in one of a row's names (length bytes at
// part): a shader variant's "?NAME,..." is not part of it.
static size_t fileNameLength(const char* part, size_t length)
{
    const char* mark = (const char*)memchr(part, '?', length);
    return mark ? (size_t)(mark - part) : length;
}

// 1 when file is one of the row's file names ("a|b" or "a", either maybe a
// variant "b?NAME"); *part gets 0 or 1.
static int specNames(const char* spec, const char* file, int* part)
{
    if (!spec || !file) return 0;
    const char* bar = strchr(spec, '|');
    size_t firstLength = fileNameLength(spec, bar ? (size_t)(bar - spec) : strlen(spec));
    size_t fileLength = strlen(file);
    if (fileLength == firstLength && strncmp(spec, file, firstLength) == 0) {
        *part = 0;
        return 1;
    }
    if (bar && fileLength == fileNameLength(bar + 1, strlen(bar + 1)) && strncmp(bar + 1, file, fileLength) == 0) {
        *part = 1;
        return 1;
    }
    return 0;
}

void replaceName(ResourceEntry* table, int kind, int oldName, int newName)
{
    for (ResourceEntry* row = table; row->object; row++) {
        const ResourceKindOps* rowKind = kindOf(row);
        if (rowKind) rowKind->rename(row->object, kind, oldName, newName);
    }
}

// A new program from the row's pair (whichever of its files changed); it
// replaces the old one only when both stages compiled and it linked.
int reloadShaderRow(ResourceEntry* table, const ResourceEntry* row, int, const char*, ReloadResult* result)
{
    RowPaths paths;
    if (!strchr(row->spec, '|') || !rowPaths(row->spec, &paths)) return 0;
    int program = loadShaderFiles(paths.first, paths.second, resourceKinds[ShaderRow].sizeLimit);
    if (program <= 0) return 0;
    GLint linked = 0;
    glGetProgramiv((GLuint)program, GL_LINK_STATUS, &linked);
    if (!linked) {
        glDeleteProgram((GLuint)program);
        return 0;
    }
    int old = *(int*)row->object;
    replaceName(table, ShaderRow, old, program);
    if (old > 0 && old != defaultProgram && glIsProgram((GLuint)old)) glDeleteProgram((GLuint)old);
    if (result->programCount >= MaxReloadedPrograms) result->programCount = -1;
    if (result->programCount >= 0) result->programs[result->programCount++] = program;
    return 1;
}

// Returns 1 when the texture file gave a new texture that took over every
// place of old (deleted then), 0 when it failed (old stays).
static int reloadTextureName(ResourceEntry* table, int old, const char* file)
{
    char path[SpecBufferSize];
    if (!specPath(path, file, strlen(file))) return 0;
    FileRead read;
    memset(&read, 0, sizeof read);
    const ResourceKindOps* kind = &resourceKinds[TextureRow];
    const char* names[2] = {path, nullptr};
    int texture = kind->read(path, kind->sizeLimit, &read) ? kind->upload(nullptr, names, &read, nullptr) : -1;
    releaseFileRead(&read);
    if (texture <= 0) return 0;
    if (old > 0) {
        replaceName(table, TextureRow, old, texture);
        GLuint name = (GLuint)old;
        glDeleteTextures(1, &name);
    }
    return 1;
}

int reloadTextureRow(ResourceEntry* table, const ResourceEntry* row, int, const char* file, ReloadResult*)
{
    return reloadTextureName(table, *(int*)row->object, file);
}

static void addMesh(ReloadResult* result, Mesh* mesh)
{
    for (int i = 0; i < result->meshCount; i++)
        if (result->meshes[i] == mesh) return;
    if (result->meshCount < MaxReloadedMeshes) result->meshes[result->meshCount++] = mesh;
}

// Part 0 the geometry (listed in result to be processed again), part 1 the
// texture in slot 0.
int reloadMeshRow(ResourceEntry* table, const ResourceEntry* row, int part, const char* file, ReloadResult* result)
{
    Mesh* mesh = (Mesh*)row->object;
    if (part == 1) return reloadTextureName(table, mesh->textures[0], file);
    char path[SpecBufferSize];
    if (!specPath(path, file, strlen(file)) || !reloadMeshGeometry(mesh, path)) return 0;
    addMesh(result, mesh);
    return 1;
}

int reloadResourceFile(ResourceEntry* table, const char* file, ReloadResult* result)
{
    ReloadResult local;
    if (!result) result = &local;
    memset(result, 0, sizeof *result);
    if (!table || !file) return 0;
    int rows = 0;
    for (ResourceEntry* row = table; row->object; row++) {
        int part = 0;
        if (!specNames(row->spec, file, &part)) continue;
        rows++;
        const ResourceKindOps* kind = kindOf(row);
        if (kind && kind->reload(table, row, part, file, result))
            result->replaced++;
        else
            result->failed++;
    }
    return rows;
}

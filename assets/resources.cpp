// The resource walker: loads a table's rows in order (shader pairs, meshes,
// textures) with a progress step after each row, and the release walk at
// shutdown. The table itself belongs to the show.
#include "assets/assets.h"
#include "platform/platform.h"
#include <GL/glew.h>
#include <string.h>

enum { SpecBufferSize = 64 };

void freeShaderRow(void* object) { freeShaderProgram((int*)object); }
void freeMeshRow(void* object) { freeMesh((Mesh*)object); }
void freeTextureRow(void* object) { freeTexture((int*)object); }

ResourceEntry* activeResourceTable = nullptr;

// Copies count bytes of source into a spec buffer and prefixes the data
// directory. Returns 1, or 0 (logged) when the name does not fit.
static int specPath(char* buffer, const char* source, size_t count) {
    if (count >= SpecBufferSize) {
        logMessage("data path: <%.*s> does not fit in %d bytes, refused\n", (int)count, source,
                   SpecBufferSize);
        return 0;
    }
    memcpy(buffer, source, count);
    buffer[count] = 0;
    return dataPath(buffer, SpecBufferSize);
}

// A mesh with a texture part: the texture first (without a slot), then the
// mesh, then the texture into slot 0. When the mesh fails the texture has
// nowhere to go and is deleted again.
static void loadTexturedMesh(Mesh* mesh, const char* meshPath, const char* texturePath) {
    int texture = loadTexture(nullptr, texturePath);
    Mesh* loaded = loadMesh(mesh, meshPath);
    if (loaded) {
        loaded->textures[0] = texture;
    } else if (texture > 0) {
        GLuint name = (GLuint)texture;
        glDeleteTextures(1, &name);
    }
}

static void loadRow(const ResourceEntry* row) {
    char first[SpecBufferSize], second[SpecBufferSize];
    const char* bar = strchr(row->spec, '|');
    size_t firstLength = bar ? (size_t)(bar - row->spec) : strlen(row->spec);
    if (!specPath(first, row->spec, firstLength)) return;
    if (!bar) {
        if (row->kind == MeshRow) loadMesh((Mesh*)row->object, first);
        else if (row->kind == TextureRow) loadTexture((int*)row->object, first);
        return;
    }
    if (!specPath(second, bar + 1, strlen(bar + 1))) return;
    if (row->kind == ShaderRow) *(int*)row->object = createShaderProgram(first, second, 0);
    else if (row->kind == MeshRow) loadTexturedMesh((Mesh*)row->object, first, second);
}

// Loads every row in order (failures are logged by the loaders; progress is
// called after every row regardless, with the share of rows done).
void loadResourceTable(ResourceEntry* table, ResourceProgress progress) {
    if (!table) return;
    int count = 0;
    while (table[count].object) count++;
    for (int i = 0; i < count; i++) {
        const ResourceEntry* row = &table[i];
        logMessage("loading <%s>\n", row->spec ? row->spec : "");
        if (row->spec) loadRow(row);
        if (row->link && row->kind == MeshRow) ((Mesh*)row->object)->program = *row->link;
        if (progress) progress((float)(i + 1) / (float)count);
    }
    logMessage("loading complete!\n");
}

// Frees every row through its free operation, a mesh row's slot-0 texture
// first. The walk goes from the last row up: a texture row that fills slot 1
// to 3 of an earlier mesh is freed before freeMesh empties that mesh's slots,
// so those textures are deleted too. Rows never loaded are zero-filled and
// the free operations leave them alone.
void releaseResources(void) {
    ResourceEntry* table = activeResourceTable;
    if (!table) return;
    int count = 0;
    while (table[count].object) count++;
    for (int i = count - 1; i >= 0; i--) {
        const ResourceEntry* row = &table[i];
        if (row->kind == MeshRow) {
            Mesh* mesh = (Mesh*)row->object;
            if (mesh->textures[0] > 0) {
                GLuint name = (GLuint)mesh->textures[0];
                glDeleteTextures(1, &name);
            }
        }
        if (row->free) row->free(row->object);
    }
}

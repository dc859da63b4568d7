// The resource walker: loads a table's rows in order (shader pairs, meshes,
// textures) with a progress step after each row, files read and decoded by
// worker threads ahead of the GL work, and the release walk at shutdown. The
// table itself belongs to the show.
#include "assets/assets.h"
#include "platform/platform.h"
#include <GL/glew.h>
#include <condition_variable>
#include <mutex>
#include <pthread.h>
#include <stdlib.h>
#include <string.h>

enum { SpecBufferSize = DataPathSize };

void freeShaderRow(void* object) { freeShaderProgram((int*)object); }
void freeMeshRow(void* object) { freeMesh((Mesh*)object); }
void freeTextureRow(void* object) { freeTexture((int*)object); }

// ---- state: the table in use and how it is loaded ------------------------------------
ResourceEntry* activeResourceTable = nullptr;
int resourceLoadWorkers = 1;   // threads reading ahead of the main thread

// Copies count bytes of source into a spec buffer and prefixes the data
// directory. Returns 1, or 0 (logged) when the name does not fit.
static int specPath(char* buffer, const char* source, size_t count)
{
    if (count >= SpecBufferSize) {
        logMessage("data path: <%.*s> does not fit in %d bytes, refused\n", (int)count, source, SpecBufferSize);
        return 0;
    }
    memcpy(buffer, source, count);
    buffer[count] = 0;
    return dataPath(buffer, SpecBufferSize);
}

// A mesh with a texture part: the texture first (without a slot), then the
// mesh, then the texture into slot 0. When the mesh fails the texture has
// nowhere to go and is deleted again.
static void loadTexturedMesh(Mesh* mesh, const char* meshPath, const char* texturePath)
{
    int texture = loadTexture(nullptr, texturePath);
    Mesh* loaded = loadMesh(mesh, meshPath);
    if (loaded) {
        loaded->textures[0] = texture;
    } else if (texture > 0) {
        GLuint name = (GLuint)texture;
        glDeleteTextures(1, &name);
    }
}

static void loadRow(const ResourceEntry* row)
{
    char first[SpecBufferSize], second[SpecBufferSize];
    const char* bar = strchr(row->spec, '|');
    size_t firstLength = bar ? (size_t)(bar - row->spec) : strlen(row->spec);
    if (!specPath(first, row->spec, firstLength)) return;
    if (!bar) {
        if (row->kind == MeshRow)
            loadMesh((Mesh*)row->object, first);
        else if (row->kind == TextureRow)
            loadTexture((int*)row->object, first);
        return;
    }
    if (!specPath(second, bar + 1, strlen(bar + 1))) return;
    if (row->kind == ShaderRow)
        *(int*)row->object = createShaderProgram(first, second, 0);
    else if (row->kind == MeshRow)
        loadTexturedMesh((Mesh*)row->object, first, second);
}

// ---- reading ahead on worker threads --------------------------------------------------
// Workers take rows in table order and do everything of a row that needs no
// GL: the data paths, reading and decoding its texture, reading and parsing
// its mesh, with every message they log captured. The main thread takes the
// rows in table order too: it writes a row's "loading" line, replays what was
// captured for the texture part, uploads the texture, replays the mesh part,
// uploads the mesh: the log reads as if the row were loaded at once. Shader
// rows (GL from the first step) stay on the main thread. While the row it
// needs is not read yet the main thread reads the next unclaimed row itself.
// A file that an earlier row names in the same part (texture or mesh) is read
// once: the later rows get the earlier row's result and its messages again,
// as reading the same file again would give them.

// Decoded data waiting for the main thread may reach this many bytes before
// workers stop taking new rows (a hostile table must not fill memory ahead).
static const size_t maxPendingBytes = (size_t)96 << 20;
// Results kept for later rows that name the same file may hold this many
// bytes; past it a later row reads the file again on the main thread.
static const size_t maxSharedBytes = (size_t)64 << 20;

struct RowRead {
    int pathsFit;   // 0: a name did not fit (logged), nothing read
    int hasTexture, textureDecoded, meshRead;
    int textureSource, meshSource;   // earlier row read for that part, or -1
    int textureUsers, meshUsers;     // later rows still to take this row's part
    char first[SpecBufferSize], second[SpecBufferSize];
    Image image;
    Mesh parsed;
    Mesh shared;               // a copy of parsed kept for later rows
    int imageKept, meshKept;   // the part's result and messages stay for later rows
    size_t sharedImageBytes, sharedMeshBytes;
    LogCapture pathLog;      // the data paths
    LogCapture textureLog;   // the texture part
    LogCapture meshLog;      // the mesh part
    size_t bytes;            // decoded bytes held
};

// One table load shared by its threads; every field below lock is guarded by it.
struct TableLoad {
    const ResourceEntry* table;
    RowRead* reads;
    int count;
    size_t sharedBytes;   // main thread only: results kept for later rows
    std::mutex lock;
    std::condition_variable changed;
    int nextRow;           // first row no thread has taken
    unsigned char* done;   // per row: 1 when its read is finished
    size_t pendingBytes;   // decoded bytes of finished rows not yet uploaded
};

// The file part of a spec: part 0 before '|', part 1 after it (null when none).
static const char* specPart(const char* spec, int part, size_t* length)
{
    const char* bar = strchr(spec, '|');
    if (part == 0) {
        *length = bar ? (size_t)(bar - spec) : strlen(spec);
        return spec;
    }
    if (!bar) return nullptr;
    *length = strlen(bar + 1);
    return bar + 1;
}

// The texture file of a row (a texture row's name, a mesh row's second part)
// and its mesh file; null when the row has none.
static const char* textureFile(const ResourceEntry* row, size_t* length)
{
    if (row->kind == TextureRow) return strchr(row->spec, '|') ? nullptr : specPart(row->spec, 0, length);
    return row->kind == MeshRow ? specPart(row->spec, 1, length) : nullptr;
}

static const char* meshFile(const ResourceEntry* row, size_t* length)
{
    return row->kind == MeshRow ? specPart(row->spec, 0, length) : nullptr;
}

// Links every row's texture and mesh part to the first earlier row that reads
// the same file for the same part (main thread, before the workers start).
static void findSharedFiles(TableLoad* load)
{
    for (int i = 0; i < load->count; i++) {
        RowRead* read = &load->reads[i];
        read->textureSource = read->meshSource = -1;
        const ResourceEntry* row = &load->table[i];
        if (!row->spec) continue;
        size_t textureLength = 0, meshLength = 0, length = 0;
        const char* texture = textureFile(row, &textureLength);
        const char* mesh = meshFile(row, &meshLength);
        for (int k = 0; k < i && (texture || mesh); k++) {
            const ResourceEntry* earlier = &load->table[k];
            if (!earlier->spec) continue;
            const char* other = textureFile(earlier, &length);
            if (texture && other && length == textureLength && !memcmp(other, texture, length)) {
                read->textureSource = k;
                load->reads[k].textureUsers++;
                texture = nullptr;
            }
            other = meshFile(earlier, &length);
            if (mesh && other && length == meshLength && !memcmp(other, mesh, length)) {
                read->meshSource = k;
                load->reads[k].meshUsers++;
                mesh = nullptr;
            }
        }
    }
}

// Reads the GL-free part of a row into read (any thread); parts an earlier
// row reads are left to it.
static void readRow(const ResourceEntry* row, RowRead* read)
{
    const char* bar = strchr(row->spec, '|');
    size_t firstLength = bar ? (size_t)(bar - row->spec) : strlen(row->spec);
    beginLogCapture(&read->pathLog);
    read->pathsFit =
        specPath(read->first, row->spec, firstLength) && (!bar || specPath(read->second, bar + 1, strlen(bar + 1)));
    read->hasTexture = read->pathsFit && (row->kind == TextureRow ? !bar : row->kind == MeshRow && bar);
    if (read->hasTexture && read->textureSource < 0) {
        beginLogCapture(&read->textureLog);
        read->textureDecoded = decodeTextureFile(bar ? read->second : read->first, &read->image);
    }
    if (read->pathsFit && row->kind == MeshRow && read->meshSource < 0) {
        beginLogCapture(&read->meshLog);
        read->meshRead = readMeshFile(read->first, &read->parsed);
    }
    endLogCapture();
    if (read->textureDecoded) read->bytes += imageBytes(&read->image);
    if (read->meshRead)
        read->bytes += ((size_t)read->parsed.frameCount + 1) * read->parsed.vertexCount * sizeof(MeshVertex);
}

static size_t meshArrayBytes(const Mesh* mesh, size_t* vertexBytes, size_t* indexBytes)
{
    *vertexBytes = ((size_t)mesh->frameCount + 1) * mesh->vertexCount * sizeof(MeshVertex);
    *indexBytes = (size_t)mesh->triangleCount * 6;
    return *vertexBytes + *indexBytes;
}

// Copies a parsed mesh with its own arrays. Returns 1, or 0 when memory
// failed (to is then empty).
static int copyParsedMesh(Mesh* to, const Mesh* from)
{
    size_t vertexBytes, indexBytes;
    meshArrayBytes(from, &vertexBytes, &indexBytes);
    *to = *from;
    to->vertices = (MeshVertex*)malloc(vertexBytes ? vertexBytes : 1);
    to->indices = (uint16_t*)malloc(indexBytes ? indexBytes : 1);
    if (!to->vertices || !to->indices) {
        free(to->vertices);
        free(to->indices);
        memset(to, 0, sizeof *to);
        return 0;
    }
    memcpy(to->vertices, from->vertices, vertexBytes);
    memcpy(to->indices, from->indices, indexBytes);
    return 1;
}

// This row's texture: its own decode, or the earlier row's kept image (read
// again here when that one was not kept). Returns the image to upload or
// null, after writing the texture part's messages (main thread).
static const Image* rowImage(TableLoad* load, RowRead* read, const char* path)
{
    if (read->textureSource < 0) {
        replayLogCapture(&read->textureLog);
        return read->textureDecoded ? &read->image : nullptr;
    }
    RowRead* source = &load->reads[read->textureSource];
    if (source->imageKept) {
        replayLogCapture(&source->textureLog);
        return source->textureDecoded ? &source->image : nullptr;
    }
    read->textureDecoded = decodeTextureFile(path, &read->image);
    read->textureSource = -1;
    return read->textureDecoded ? &read->image : nullptr;
}

// After a row's texture upload: releases the earlier row's kept image after
// its last user; a row's own image is kept for later rows while the shared
// budget allows, else freed (main thread).
static void afterTexture(TableLoad* load, RowRead* read, int sourceIndex)
{
    if (sourceIndex >= 0) {
        RowRead* source = &load->reads[sourceIndex];
        if (--source->textureUsers == 0 && source->imageKept) {
            load->sharedBytes -= source->sharedImageBytes;
            free(source->image.pixels);
            source->image.pixels = nullptr;
            source->imageKept = 0;
            freeLogCapture(&source->textureLog);
        }
        if (read->textureSource >= 0) return;   // the earlier row's image was used
    }
    size_t bytes = read->textureDecoded ? imageBytes(&read->image) : 0;
    if (read->textureUsers > 0 && load->sharedBytes + bytes <= maxSharedBytes) {
        read->imageKept = 1;
        read->sharedImageBytes = bytes;
        load->sharedBytes += bytes;
        return;
    }
    free(read->image.pixels);
    read->image.pixels = nullptr;
    freeLogCapture(&read->textureLog);
}

// This row's parsed mesh into parsed (its own arrays), after writing the mesh
// part's messages: its own read, the earlier row's kept copy, or (when that
// one was not kept) the file read again here. Returns 1, or 0 when the file
// did not load (main thread).
static int rowMesh(TableLoad* load, RowRead* read, Mesh* parsed)
{
    if (read->meshSource < 0) {
        replayLogCapture(&read->meshLog);
        int ok = read->meshRead;
        if (ok) *parsed = read->parsed;
        if (read->meshUsers > 0 && !ok) {
            read->meshKept = 1;   // the later rows get the same messages
        } else if (read->meshUsers > 0) {
            size_t vertexBytes, indexBytes;
            size_t bytes = meshArrayBytes(parsed, &vertexBytes, &indexBytes);
            if (load->sharedBytes + bytes <= maxSharedBytes && copyParsedMesh(&read->shared, parsed)) {
                read->meshKept = 1;
                read->sharedMeshBytes = bytes;
                load->sharedBytes += bytes;
            }
        }
        if (!read->meshKept) freeLogCapture(&read->meshLog);
        return ok;
    }
    RowRead* source = &load->reads[read->meshSource];
    int ok = 0;
    if (source->meshKept) {
        replayLogCapture(&source->meshLog);
        ok = source->meshRead;
        if (ok && source->meshUsers > 1) {
            ok = copyParsedMesh(parsed, &source->shared);
            if (!ok) logMessage("EEEEEEEEEEEK!!!     not nuff mem for <%s>!!", read->first);
        } else if (ok) {
            *parsed = source->shared;   // the last user takes the kept arrays
            memset(&source->shared, 0, sizeof source->shared);
        }
    } else {
        ok = readMeshFile(read->first, parsed);
    }
    if (--source->meshUsers == 0 && source->meshKept) {
        load->sharedBytes -= source->sharedMeshBytes;
        free(source->shared.vertices);
        free(source->shared.indices);
        memset(&source->shared, 0, sizeof source->shared);
        source->meshKept = 0;
        freeLogCapture(&source->meshLog);
    }
    return ok;
}

// The GL part of a row read ahead, with its captured messages in their places
// (main thread).
static void finishRow(TableLoad* load, const ResourceEntry* row, RowRead* read)
{
    replayLogCapture(&read->pathLog);
    freeLogCapture(&read->pathLog);
    if (!read->pathsFit) return;
    int texture = -1;
    if (read->hasTexture) {
        int sourceIndex = read->textureSource;
        const char* path = row->kind == TextureRow ? read->first : read->second;
        const Image* image = rowImage(load, read, path);
        int* slot = row->kind == TextureRow ? (int*)row->object : nullptr;
        if (image) texture = uploadTexture(image, path, slot);
        afterTexture(load, read, sourceIndex);
    }
    if (row->kind != MeshRow) return;
    Mesh parsed;
    Mesh* loaded = rowMesh(load, read, &parsed) ? uploadMesh((Mesh*)row->object, &parsed, read->first) : nullptr;
    if (loaded && read->hasTexture) {
        loaded->textures[0] = texture;
    } else if (!loaded && texture > 0) {
        GLuint name = (GLuint)texture;
        glDeleteTextures(1, &name);
    }
}

// Takes the next row for reading, or returns -1 when none is left or (for a
// worker, not the main thread) decoded data is piling up. Called with lock held.
static int takeRow(TableLoad* load, int mainThread)
{
    while (load->nextRow < load->count &&
           (load->table[load->nextRow].kind == ShaderRow || !load->table[load->nextRow].spec)) {
        load->done[load->nextRow] = 1;
        load->nextRow++;
    }
    if (load->nextRow >= load->count) return -1;
    if (!mainThread && load->pendingBytes > maxPendingBytes) return -1;
    return load->nextRow++;
}

// Reads a taken row outside the lock and marks it done.
static void readTakenRow(TableLoad* load, int index, std::unique_lock<std::mutex>& held)
{
    held.unlock();
    readRow(&load->table[index], &load->reads[index]);
    held.lock();
    load->done[index] = 1;
    load->pendingBytes += load->reads[index].bytes;
    load->changed.notify_all();
}

static void* runWorker(void* argument)
{
    TableLoad* load = (TableLoad*)argument;
    std::unique_lock<std::mutex> held(load->lock);
    while (load->nextRow < load->count) {
        int index = takeRow(load, 0);
        if (index < 0) {
            load->changed.wait(held);
            continue;
        }
        readTakenRow(load, index, held);
    }
    return nullptr;
}

// Waits until row index is read, reading other rows meanwhile (main thread).
static void waitForRow(TableLoad* load, int index)
{
    std::unique_lock<std::mutex> held(load->lock);
    while (!load->done[index]) {
        int other = takeRow(load, 1);
        if (other >= 0)
            readTakenRow(load, other, held);
        else
            load->changed.wait(held);
    }
}

static void uploaded(TableLoad* load, int index)
{
    std::lock_guard<std::mutex> held(load->lock);
    load->pendingBytes -= load->reads[index].bytes;
    load->changed.notify_all();
}

// Loads the rows with up to two workers reading ahead (a worker that cannot be
// started leaves its share to the main thread). Returns 0 (nothing loaded)
// when memory for the bookkeeping could not be had.
static int loadRowsAhead(ResourceEntry* table, int count, int workers, ResourceProgress progress)
{
    TableLoad load;
    load.table = table;
    load.count = count;
    load.nextRow = 0;
    load.pendingBytes = 0;
    load.sharedBytes = 0;
    load.reads = (RowRead*)calloc((size_t)count, sizeof(RowRead));
    load.done = (unsigned char*)calloc((size_t)count, 1);
    if (!load.reads || !load.done) {
        free(load.reads);
        free(load.done);
        return 0;
    }
    findSharedFiles(&load);
    dataPath(nullptr, 0);   // fixes the data prefix here, before any worker reads it
    pthread_t threads[2];
    int started = 0;
    if (workers > 2) workers = 2;
    while (started < workers && pthread_create(&threads[started], nullptr, runWorker, &load) == 0) started++;
    for (int i = 0; i < count; i++) {
        const ResourceEntry* row = &table[i];
        logMessage("loading <%s>\n", row->spec ? row->spec : "");
        if (row->kind == ShaderRow) {
            if (row->spec) loadRow(row);
        } else if (row->spec) {
            waitForRow(&load, i);
            finishRow(&load, row, &load.reads[i]);
            uploaded(&load, i);
        }
        if (row->link && row->kind == MeshRow) ((Mesh*)row->object)->program = *row->link;
        if (progress) progress((float)(i + 1) / (float)count);
    }
    for (int t = 0; t < started; t++) pthread_join(threads[t], nullptr);
    // Results kept for a later row that never took them (its other name did not fit).
    for (int i = 0; i < count; i++) {
        RowRead* read = &load.reads[i];
        if (read->imageKept) free(read->image.pixels);
        free(read->shared.vertices);
        free(read->shared.indices);
        freeLogCapture(&read->textureLog);
        freeLogCapture(&read->meshLog);
    }
    free(load.reads);
    free(load.done);
    return 1;
}

// Loads every row in order (failures are logged by the loaders; progress is
// called after every row regardless, with the share of rows done).
void loadResourceTable(ResourceEntry* table, ResourceProgress progress)
{
    if (!table) return;
    int count = 0;
    while (table[count].object) count++;
    if (resourceLoadWorkers > 0 && count > 0 && loadRowsAhead(table, count, resourceLoadWorkers, progress)) {
        logMessage("loading complete!\n");
        return;
    }
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
void releaseResources(void)
{
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

// ---- reloading while the show plays --------------------------------------------------

// 1 when file is one of the row's file names ("a|b" or "a"); *part gets 0 or 1.
static int specNames(const char* spec, const char* file, int* part)
{
    if (!spec || !file) return 0;
    const char* bar = strchr(spec, '|');
    size_t firstLength = bar ? (size_t)(bar - spec) : strlen(spec);
    size_t fileLength = strlen(file);
    if (fileLength == firstLength && strncmp(spec, file, firstLength) == 0) {
        *part = 0;
        return 1;
    }
    if (bar && strcmp(bar + 1, file) == 0) {
        *part = 1;
        return 1;
    }
    return 0;
}

// Every holder of an old GL name in the table's rows gets the new one: the
// slots of shader and texture rows, and each mesh's program and texture slots
// (a data hook may have copied a texture into another mesh's slot).
static void replaceName(ResourceEntry* table, int kind, int oldName, int newName)
{
    for (ResourceEntry* row = table; row->object; row++) {
        if (row->kind == MeshRow) {
            Mesh* mesh = (Mesh*)row->object;
            if (kind == ShaderRow && mesh->program == oldName) mesh->program = newName;
            for (int t = 0; kind == TextureRow && t < 5; t++)
                if (mesh->textures[t] == oldName) mesh->textures[t] = newName;
        } else if (row->kind == kind && *(int*)row->object == oldName) {
            *(int*)row->object = newName;
        }
    }
}

// A new program from the row's pair; it replaces the old one only when both
// stages compiled and it linked. Returns 1 replaced, 0 kept the old one.
static int reloadShaderRow(ResourceEntry* table, const ResourceEntry* row)
{
    char vertex[SpecBufferSize], fragment[SpecBufferSize];
    const char* bar = strchr(row->spec, '|');
    if (!bar || !specPath(vertex, row->spec, (size_t)(bar - row->spec)) ||
        !specPath(fragment, bar + 1, strlen(bar + 1)))
        return 0;
    int program = createShaderProgram(vertex, fragment, 0);
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
    return 1;
}

// Returns 1 when the texture file gave a new texture that took over every
// place of old (deleted then), 0 when it failed (old stays).
static int reloadTextureName(ResourceEntry* table, int old, const char* file)
{
    char path[SpecBufferSize];
    if (!specPath(path, file, strlen(file))) return 0;
    int texture = loadTexture(nullptr, path);
    if (texture <= 0) return 0;
    if (old > 0) {
        replaceName(table, TextureRow, old, texture);
        GLuint name = (GLuint)old;
        glDeleteTextures(1, &name);
    }
    return 1;
}

static void addMesh(ReloadResult* result, Mesh* mesh)
{
    for (int i = 0; i < result->meshCount; i++)
        if (result->meshes[i] == mesh) return;
    if (result->meshCount < MaxReloadedMeshes) result->meshes[result->meshCount++] = mesh;
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
        int done = 0;
        if (row->kind == ShaderRow) {
            done = reloadShaderRow(table, row);
        } else if (row->kind == TextureRow) {
            done = reloadTextureName(table, *(int*)row->object, file);
        } else if (part == 1) {   // a mesh row's texture: its slot 0
            done = reloadTextureName(table, ((Mesh*)row->object)->textures[0], file);
        } else {
            char path[SpecBufferSize];
            Mesh* mesh = (Mesh*)row->object;
            done = specPath(path, file, strlen(file)) && reloadMeshGeometry(mesh, path);
            if (done) addMesh(result, mesh);
        }
        if (done)
            result->replaced++;
        else
            result->failed++;
    }
    return rows;
}

// Mesh files ("BOF1" static, "BAF1" several frames): the text parser, which
// validates every count, token and index before anything is kept, the GL
// upload of frame 0, normals, the attribute table and the release of a mesh.
#include "assets/assets.h"
#include "platform/platform.h"
#include <GL/glew.h>
#include <math.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>

// Indices are 16-bit: one frame may have at most 65536 vertices.
static const uint32_t maxMeshVertices = 65536;

struct MeshReader {
    const char* start;
    const char* at;
    const char* end;
    const char* name;    // for the log; null logs nothing
    const char* token;   // the token just read
    size_t length;
};

static inline int isSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// Moves to the next whitespace-separated token; returns 0 at the end of the text.
static inline int nextToken(MeshReader* r)
{
    const char* at = r->at;
    while (at < r->end && isSpace(*at)) at++;
    const char* begin = at;
    while (at < r->end && !isSpace(*at)) at++;
    r->at = at;
    r->token = begin;
    r->length = (size_t)(at - begin);
    return r->length != 0;
}

// Logs why the file is rejected, with the line where reading stopped.
__attribute__((format(printf, 2, 3))) static int reject(MeshReader* r, const char* format, ...)
{
    if (!r->name) return 0;
    int line = 1;
    for (const char* p = r->start; p < r->at; p++) line += *p == '\n';
    char reason[160];
    va_list args;
    va_start(args, format);
    vsnprintf(reason, sizeof reason, format, args);
    va_end(args);
    logMessage("ERROR: mesh file <%s> rejected at line %d: %s\n", r->name, line, reason);
    return 0;
}

static int rejectToken(MeshReader* r, const char* what)
{
    if (r->length == 0) return reject(r, "the file ends where %s should be", what);
    return reject(r, "%s expected, found <%.*s>", what, (int)(r->length > 24 ? 24 : r->length), r->token);
}

// Reads an unsigned 32-bit decimal ("%u" without the wrap-around of a sign).
static int readUnsigned(MeshReader* r, uint32_t* value, const char* what)
{
    if (!nextToken(r)) return rejectToken(r, what);
    const char* p = r->token;
    const char* end = p + r->length;
    if (*p == '+') p++;
    if (p == end) return rejectToken(r, what);
    uint64_t v = 0;
    for (; p < end; p++) {
        if (*p < '0' || *p > '9' || v > 0xffffffffull) return rejectToken(r, what);
        v = v * 10 + (uint64_t)(*p - '0');
    }
    if (v > 0xffffffffull) return rejectToken(r, what);
    *value = (uint32_t)v;
    return 1;
}

// Reads an integer whose value is not used (vertex and triangle numbers).
static int skipInteger(MeshReader* r, const char* what)
{
    if (!nextToken(r)) return rejectToken(r, what);
    const char* p = r->token;
    const char* end = p + r->length;
    if (*p == '+' || *p == '-') p++;
    if (p == end) return rejectToken(r, what);
    for (; p < end; p++)
        if (*p < '0' || *p > '9') return rejectToken(r, what);
    return 1;
}

static const double powersOfTen[23] = {
    1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
    1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22,
};

// The common case of mesh files, a plain decimal such as "-12.345678" or
// "1.5e-3", converted exactly as strtof would: the digits (at most 2^53) and
// the power of ten (at most 10^22) are exact doubles, so one division or
// multiplication gives the correctly rounded double, and rounding that to
// float is correct unless it lies exactly halfway between two floats. Returns
// 0 for anything else (the caller then takes the general path).
static int readPlainDecimal(const char* p, const char* end, float* value)
{
    int negative = 0;
    if (p < end && (*p == '-' || *p == '+')) negative = *p++ == '-';
    uint64_t mantissa = 0;
    int significant = 0, exponent = 0, digits = 0;
    for (; p < end && *p >= '0' && *p <= '9'; p++, digits++) {
        mantissa = mantissa * 10 + (uint64_t)(*p - '0');
        significant += mantissa != 0;
    }
    if (p < end && *p == '.') {
        for (p++; p < end && *p >= '0' && *p <= '9'; p++, digits++, exponent--) {
            mantissa = mantissa * 10 + (uint64_t)(*p - '0');
            significant += mantissa != 0;
        }
    }
    if (digits == 0 || significant > 19) return 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        p++;
        int negativeExponent = 0, written = 0;
        if (p < end && (*p == '-' || *p == '+')) negativeExponent = *p++ == '-';
        int e = 0;
        for (; p < end && *p >= '0' && *p <= '9' && e < 1000; p++, written++) e = e * 10 + (*p - '0');
        if (!written) return 0;
        exponent += negativeExponent ? -e : e;
    }
    if (p != end || mantissa > (1ull << 53) || exponent < -22 || exponent > 22) return 0;
    double exact = (double)mantissa;
    exact = exponent < 0 ? exact / powersOfTen[-exponent] : exact * powersOfTen[exponent];
    if (exact != 0.0 && exact < 1.1754943508222875e-38) return 0;   // float subnormals round differently
    uint64_t bits;
    memcpy(&bits, &exact, sizeof bits);
    if ((bits & ((1ull << 29) - 1)) == (1ull << 28)) return 0;   // halfway between two floats
    *value = negative ? -(float)exact : (float)exact;
    return 1;
}

// Reads a float in the syntax of "%f" (decimal, exponent, hexadecimal, sign);
// the whole token must be the number and its value finite.
static int readFloat(MeshReader* r, float* value, const char* what)
{
    if (!nextToken(r)) return rejectToken(r, what);
    const char* end = r->token + r->length;
    float v = 0.0f;
    if (readPlainDecimal(r->token, end, value)) return 1;
    if (!readFloatChars(r->token, end, &v)) {
        // Rare forms from_chars leaves out: a leading '+', hexadecimal, underflow.
        char copy[128];
        if (r->length >= sizeof copy) return rejectToken(r, what);
        memcpy(copy, r->token, r->length);
        copy[r->length] = 0;
        char* stop = nullptr;
        v = strtof(copy, &stop);
        if (stop != copy + r->length) return rejectToken(r, what);
    }
    if (!isfinite(v)) return rejectToken(r, what);
    *value = v;
    return 1;
}

// The counts must fit 16-bit indices, and the rest of the file must be long
// enough to hold every record they announce (each token takes at least two
// bytes), so a forged header cannot demand memory the file does not back.
static int checkCounts(MeshReader* r, uint32_t vertices, uint32_t triangles, uint32_t frames)
{
    if (vertices > maxMeshVertices) return reject(r, "%u vertices, more than %u", vertices, maxMeshVertices);
    // Without vertices no triangle is possible, and the frame count would be
    // bounded by nothing in the file.
    if (vertices == 0) return reject(r, "no vertices");
    if (frames == 0) return reject(r, "no frames");
    uint64_t tokens = (uint64_t)vertices * frames * 6 + (uint64_t)triangles * 4;
    uint64_t remaining = (uint64_t)(r->end - r->at);
    if (tokens > 0 && tokens * 2 - 1 > remaining)
        return reject(r, "%u vertices x %u frames and %u triangles do not fit in the file", vertices, frames,
                      triangles);
    uint64_t vertexBytes = ((uint64_t)frames + 1) * vertices * sizeof(MeshVertex);
    if (vertexBytes > (uint64_t)SIZE_MAX / 2 || (uint64_t)triangles * 6 > (uint64_t)SIZE_MAX / 2)
        return reject(r, "counts too large");
    return 1;
}

static int readVertices(MeshReader* r, MeshVertex* vertices, uint32_t count)
{
    for (uint32_t i = 0; i < count; i++) {
        MeshVertex* v = vertices + i;
        float x, y, z, u, w;
        if (!skipInteger(r, "a vertex number") || !readFloat(r, &x, "a vertex x") || !readFloat(r, &y, "a vertex y") ||
            !readFloat(r, &z, "a vertex z") || !readFloat(r, &u, "a vertex u") || !readFloat(r, &w, "a vertex v"))
            return 0;
        v->x = x;
        v->y = y;
        v->z = -z;
        v->u = u;
        v->v = 1.0f - w;
    }
    return 1;
}

static int readTriangles(MeshReader* r, uint16_t* indices, uint32_t triangles, uint32_t vertices)
{
    for (uint32_t t = 0; t < triangles; t++) {
        if (!skipInteger(r, "a triangle number")) return 0;
        for (int k = 0; k < 3; k++) {
            uint32_t index = 0;
            if (!readUnsigned(r, &index, "a vertex index")) return 0;
            if (index >= vertices)
                return reject(r, "vertex index %u of triangle %u not below the vertex count %u", index, t, vertices);
            indices[3 * t + k] = (uint16_t)index;
        }
    }
    return 1;
}

// What a parse sets in a record: counts, arrays (taken over), cleared
// placement, empty texture slots, frame 0 and the attribute table's entries;
// everything else in out stays.
static void takeParsedGeometry(Mesh* out, const Mesh* parsed)
{
    out->vertexCount = parsed->vertexCount;
    out->triangleCount = parsed->triangleCount;
    out->frameCount = parsed->frameCount;
    out->vertices = parsed->vertices;
    out->indices = parsed->indices;
    memcpy(out->boxLow, parsed->boxLow, sizeof out->boxLow);
    memcpy(out->boxHigh, parsed->boxHigh, sizeof out->boxHigh);
    out->boxKnown = parsed->boxKnown;
    out->x = out->y = out->z = 0.0f;
    out->yaw = out->pitch = out->roll = 0.0f;
    for (int i = 0; i < 5; i++) out->textures[i] = -1;
    out->uploadedFrame = 0;
    out->attribCount = parsed->attribCount;
    for (int i = 0; i < parsed->attribCount; i++) {
        out->attribLocations[i] = parsed->attribLocations[i];
        out->attribSizes[i] = parsed->attribSizes[i];
        out->attribOffsets[i] = parsed->attribOffsets[i];
    }
}

int parseMeshText(const char* text, size_t size, Mesh* out, const char* name)
{
    if (!text || !out) return 0;
    MeshReader r = {text, text, text + size, name, text, 0};
    nextToken(&r);
    int animated = r.length == 4 && memcmp(r.token, "BAF1", 4) == 0;
    if (!animated && !(r.length == 4 && memcmp(r.token, "BOF1", 4) == 0)) {
        // The word as a 12-byte buffer would hold it, with bytes that are not
        // printable ASCII shown as '?': the file's bytes must not reach the
        // log or the terminal as control sequences.
        if (name) {
            char word[12];
            size_t n = r.length > 11 ? 11 : r.length;
            for (size_t i = 0; i < n; i++) word[i] = r.token[i] >= 0x20 && r.token[i] < 0x7f ? r.token[i] : '?';
            word[n] = 0;
            logMessage("EEEEEK!!    file <%s> is of invalid TYPE %s", name, word);
        }
        return 0;
    }
    uint32_t vertexCount = 0, triangleCount = 0, frameCount = 1;
    if (!readUnsigned(&r, &vertexCount, "the vertex count") ||
        !readUnsigned(&r, &triangleCount, "the triangle count") ||
        (animated && !readUnsigned(&r, &frameCount, "the frame count")))
        return 0;
    float position[3];
    for (int i = 0; i < 3; i++)
        if (!readFloat(&r, &position[i], "a header position")) return 0;
    if (!checkCounts(&r, vertexCount, triangleCount, frameCount)) return 0;

    size_t vertexSlots = ((size_t)frameCount + 1) * vertexCount;
    MeshVertex* vertices = (MeshVertex*)calloc(vertexSlots ? vertexSlots : 1, sizeof(MeshVertex));
    uint16_t* indices = (uint16_t*)malloc(triangleCount ? (size_t)triangleCount * 6 : 1);
    if (!vertices || !indices) {
        if (name) logMessage("EEEEEEEEEEEK!!!     not nuff mem for <%s>!!", name);
        free(vertices);
        free(indices);
        return 0;
    }
    if (!readVertices(&r, vertices, frameCount * vertexCount) ||
        !readTriangles(&r, indices, triangleCount, vertexCount)) {
        free(vertices);
        free(indices);
        return 0;
    }
    Mesh fresh;
    memset(&fresh, 0, sizeof fresh);
    fresh.vertexCount = vertexCount;
    fresh.triangleCount = triangleCount;
    fresh.frameCount = frameCount;
    fresh.vertices = vertices;
    fresh.indices = indices;
    for (int i = 0; i < 5; i++) fresh.textures[i] = -1;
    fresh.boxKnown = meshFramesBox(&fresh, fresh.boxLow, fresh.boxHigh);
    computeMeshNormals(&fresh);
    initMeshAttributes(&fresh);
    takeParsedGeometry(out, &fresh);
    return 1;
}

int readMeshFile(const char* path, size_t limit, Mesh* parsed)
{
    memset(parsed, 0, sizeof *parsed);
    unsigned char* text = nullptr;
    size_t size = 0;
    int read = readWholeFile(path, limit, &text, &size);
    if (read == 0) {
        logMessage("EEEEEEEEEEEK!!!     file <%s> not found!!", path ? path : "");
        return 0;
    }
    if (read < 0) {
        logMessage("ERROR: could not read mesh file <%s>\n", path);
        return 0;
    }
    int ok = parseMeshText((const char*)text, size, parsed, path);
    free(text);
    return ok;
}

Mesh* uploadMesh(Mesh* mesh, Mesh* parsed, const char* path)
{
    Mesh record;
    if (mesh)
        record = *mesh;
    else
        memset(&record, 0, sizeof record);
    takeParsedGeometry(&record, parsed);
    parsed->vertices = nullptr;
    parsed->indices = nullptr;
    Mesh* target = mesh ? mesh : (Mesh*)calloc(1, sizeof(Mesh));
    if (!target) {
        logMessage("EEEEEEEEEEEK!!!     not nuff mem for <%s>!!", path);
        free(record.vertices);
        free(record.indices);
        return nullptr;
    }
    glGenBuffers(1, &record.vertexBuffer);
    glGenBuffers(1, &record.indexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, record.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, (GLsizeiptr)record.vertexCount * sizeof(MeshVertex), record.vertices, GL_STATIC_DRAW);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, record.indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, (GLsizeiptr)record.triangleCount * 6, record.indices, GL_STATIC_DRAW);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
    record.program = defaultProgram;
    *target = record;
    return target;
}

// Returns the record (mesh, or a new zero-filled one when mesh is null), or
// null when the file is missing, rejected or memory failed (logged); then the
// record is untouched and nothing was allocated.
Mesh* loadMesh(Mesh* mesh, const char* path)
{
    Mesh parsed;
    if (!readMeshFile(path, MeshFileLimit, &parsed)) return nullptr;
    return uploadMesh(mesh, &parsed, path);
}

int meshFramesBox(const Mesh* mesh, float low[3], float high[3])
{
    if (!mesh || !mesh->vertices || mesh->vertexCount == 0) return 0;
    const MeshVertex* v = mesh->vertices;
    size_t count = (size_t)(mesh->frameCount ? mesh->frameCount : 1) * mesh->vertexCount;
    float lo[3] = {v[0].x, v[0].y, v[0].z}, hi[3] = {v[0].x, v[0].y, v[0].z};
    for (size_t i = 1; i < count; i++) {
        const float p[3] = {v[i].x, v[i].y, v[i].z};
        for (int a = 0; a < 3; a++) {
            if (p[a] < lo[a]) lo[a] = p[a];
            if (p[a] > hi[a]) hi[a] = p[a];
        }
    }
    memcpy(low, lo, sizeof lo);
    memcpy(high, hi, sizeof hi);
    return 1;
}

// Area-weighted vertex normals of every frame from the stored positions; a
// vertex no triangle uses (or only degenerate ones) keeps a zero normal.
// Indices at or above vertexCount are skipped.
void computeMeshNormals(Mesh* mesh)
{
    if (!mesh || !mesh->vertices) return;
    uint32_t count = mesh->vertexCount;
    size_t total = (size_t)mesh->frameCount * count;
    for (size_t i = 0; i < total; i++) mesh->vertices[i].nx = mesh->vertices[i].ny = mesh->vertices[i].nz = 0.0f;
    for (uint32_t f = 0; f < mesh->frameCount; f++) {
        MeshVertex* frame = mesh->vertices + (size_t)f * count;
        for (uint32_t t = 0; t < mesh->triangleCount; t++) {
            const uint16_t* tri = mesh->indices + 3 * (size_t)t;
            if (tri[0] >= count || tri[1] >= count || tri[2] >= count) continue;
            MeshVertex* a = frame + tri[0];
            MeshVertex* b = frame + tri[1];
            MeshVertex* c = frame + tri[2];
            float e1x = b->x - a->x, e1y = b->y - a->y, e1z = b->z - a->z;
            float e2x = c->x - a->x, e2y = c->y - a->y, e2z = c->z - a->z;
            float nx = e2y * e1z - e1y * e2z;
            float ny = e1x * e2z - e2x * e1z;
            float nz = e2x * e1y - e1x * e2y;
            MeshVertex* corners[3] = {a, b, c};
            for (MeshVertex* v : corners) {
                v->nx += nx;
                v->ny += ny;
                v->nz += nz;
            }
        }
    }
    for (size_t i = 0; i < total; i++) {
        MeshVertex* v = mesh->vertices + i;
        float square = v->nx * v->nx + v->ny * v->ny + v->nz * v->nz;
        if (square != 0.0f) {
            float scale = 1.0f / sqrtf(square);
            v->nx *= scale;
            v->ny *= scale;
            v->nz *= scale;
        }
    }
}

// The five fixed attributes: location, float components, byte offset.
static const int meshAttributes[5][3] = {
    {0, 3, 0}, {1, 2, 12}, {2, 3, 20}, {3, 3, 32}, {4, 4, 44},
};

void initMeshAttributes(Mesh* mesh)
{
    if (!mesh) return;
    mesh->attribCount = 0;
    for (const int* entry : meshAttributes) {
        mesh->attribLocations[mesh->attribCount] = entry[0];
        mesh->attribSizes[mesh->attribCount] = entry[1];
        mesh->attribOffsets[mesh->attribCount] = entry[2];
        mesh->attribCount++;
    }
}

// Releases the buffers and arrays; textures are not deleted here (their rows
// or the shutdown walk own them), the program only when it is the mesh's own.
void freeMesh(Mesh* mesh)
{
    if (!mesh) return;
    if (mesh->vertexBuffer || mesh->indexBuffer) glDeleteBuffers(2, &mesh->vertexBuffer);
    mesh->vertexBuffer = mesh->indexBuffer = 0;   // a second call must not delete reused names
    free(mesh->vertices);
    free(mesh->indices);
    mesh->vertices = nullptr;
    mesh->indices = nullptr;
    mesh->vertexCount = 0;
    mesh->triangleCount = 0;
    for (int i = 0; i < 5; i++) mesh->textures[i] = -1;
    // Programs are shared by several meshes and their shader row: the first
    // release deletes it, and deleting a name that is no longer a program is
    // a GL error (GL_INVALID_VALUE), not a no-op.
    if (mesh->program > 0 && mesh->program != defaultProgram && glIsProgram((GLuint)mesh->program))
        glDeleteProgram((GLuint)mesh->program);
}

// Loads path into a fresh record first: only a file that loads whole replaces
// the geometry (vertices, indices, frames, buffers, attribute table); the
// mesh keeps its placement, textures and program. Returns 1 replaced, 0 (the
// old geometry stays; the loader logged why).
int reloadMeshGeometry(Mesh* mesh, const char* path)
{
    if (!mesh) return 0;
    Mesh fresh;
    memset(&fresh, 0, sizeof fresh);
    if (!loadMesh(&fresh, path)) return 0;
    if (mesh->vertexBuffer || mesh->indexBuffer) glDeleteBuffers(2, &mesh->vertexBuffer);
    free(mesh->vertices);
    free(mesh->indices);
    mesh->vertexCount = fresh.vertexCount;
    mesh->triangleCount = fresh.triangleCount;
    mesh->frameCount = fresh.frameCount;
    mesh->vertices = fresh.vertices;
    mesh->indices = fresh.indices;
    memcpy(mesh->boxLow, fresh.boxLow, sizeof mesh->boxLow);
    memcpy(mesh->boxHigh, fresh.boxHigh, sizeof mesh->boxHigh);
    mesh->boxKnown = fresh.boxKnown;
    mesh->uploadedFrame = fresh.uploadedFrame;
    mesh->vertexBuffer = fresh.vertexBuffer;
    mesh->indexBuffer = fresh.indexBuffer;
    mesh->attribCount = fresh.attribCount;
    memcpy(mesh->attribLocations, fresh.attribLocations, sizeof mesh->attribLocations);
    memcpy(mesh->attribSizes, fresh.attribSizes, sizeof mesh->attribSizes);
    memcpy(mesh->attribOffsets, fresh.attribOffsets, sizeof mesh->attribOffsets);
    mesh->dirty = 1;
    return 1;
}

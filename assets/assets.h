// Assets: the resource walker, mesh files and mesh processing, textures
// (JPEG, TGA) and shader programs. Every file read here is untrusted: readers
// validate before use, log, and return a failure. Internals of the readers
// (the raw TGA reader, shader file text) are in assets_local.h.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// ---- meshes ------------------------------------------------------------------
struct MeshVertex {     // 15 floats, 60 bytes, no gaps
    float x, y, z;      // vpos (0)
    float u, v;         // vUV  (1)
    float nx, ny, nz;   // vnrm (2)
    float tx, ty, tz;   // vtan (3)
    float r, g, b, a;   // vcol (4)
};
static_assert(sizeof(MeshVertex) == 60, "MeshVertex must be 15 packed floats");

struct Mesh {
    uint32_t vertexCount;          // vertices in one frame
    uint32_t triangleCount;        // shared by all frames
    uint32_t frameCount;           // 1 for "BOF1"
    MeshVertex* vertices;          // (frameCount + 1) × vertexCount; last slot = blend frame
    uint16_t* indices;             // 3 × triangleCount
    float boxLow[3], boxHigh[3];   // bounds of every frame's positions, when boxKnown
    int boxKnown;                  // 1: set by the parse; 0 (a record built by hand): unknown
    float x, y, z;
    float yaw, pitch, roll;   // radians
    int textures[5];          // -1 = empty slot
    int uploadedFrame;
    float scratch[16], rotation[16], model[16];
    int dirty;
    uint32_t vertexBuffer, indexBuffer;
    int attribCount;
    int attribLocations[16], attribSizes[16], attribOffsets[16];
    int program;
};

// Reads a "BOF1"/"BAF1" file into mesh (or a new record when mesh is null).
// Returns the record, or null on failure (logged; nothing leaks).
Mesh* loadMesh(Mesh* mesh, const char* path);
void freeMesh(Mesh* mesh);
// Replaces the mesh's geometry with the file's when it loads whole; placement,
// textures and program stay. 1 replaced, 0 the old geometry stays (logged).
int reloadMeshGeometry(Mesh* mesh, const char* path);
void computeMeshNormals(Mesh* mesh);
// The bounds of the positions of every frame of mesh (not the blend slot):
// 1 with low and high, 0 when it has no vertices (low and high untouched).
int meshFramesBox(const Mesh* mesh, float low[3], float high[3]);
void initMeshAttributes(Mesh* mesh);
// Parses the text of a mesh file (size bytes, no terminator needed) without GL:
// counts, vertices (converted), indices, normals, cleared placement, textures -1,
// attribute table. Returns 1, or 0 for a rejected file with out untouched; name
// labels the log line (null logs nothing).
int parseMeshText(const char* text, size_t size, Mesh* out, const char* name);
// The two halves of loadMesh. readMeshFile reads and parses a mesh file of at
// most limit bytes into parsed (zero-filled first) without GL, on any thread:
// 1, or 0 (logged as loadMesh logs it; nothing allocated) on failure. uploadMesh (GL thread)
// takes parsed's geometry into mesh (or a new record when mesh is null) and
// makes its buffers, as loadMesh does: returns the record, or null (logged;
// parsed's arrays freed) when memory failed. parsed is left empty either way.
int readMeshFile(const char* path, size_t limit, Mesh* parsed);
Mesh* uploadMesh(Mesh* mesh, Mesh* parsed, const char* path);

// Mesh post-processing, for a data hook.
void scaleMesh(Mesh* mesh, float factor);
void weldNormals(Mesh* mesh, float distance);
void computeMeshTangents(Mesh* mesh);

// ---- textures ----------------------------------------------------------------
// Each returns the GL texture name, or -1 (logged) when the file is missing or
// cannot be decoded; slot (may be null) is written only on success.
int loadTexture(int* slot, const char* path);
int loadJpegTexture(const char* path, int* slot);
int loadTgaTexture(const char* path, int* slot);
void freeTexture(int* slot);

// Largest decoded image: 16 M pixels (64 MiB of RGBA8), so one texture cannot
// take the show past its memory budget; each side is also at most 16384.
enum { MaxImagePixels = 4096 * 4096 };
// Decoded image in memory, RGBA8, bottom row first. Used by the texture loaders
// and by tests and tools; free pixels with free().
struct Image {
    int width, height;
    unsigned char* pixels;
    int levels;   // mip levels in pixels, each after the one before; 0 or 1: the image alone
};
// Appends the image's mip levels down to 1 x 1 to its pixels (each texel the
// mean of the texels of the level above that it covers, rounded per row and
// then down the column). Returns 1,
// or 0 (logged) without memory for them: the image is left as it was.
int addMipLevels(Image* image);
size_t imageBytes(const Image* image);   // the bytes of pixels, all levels
int decodeJpegMemory(const unsigned char* data, size_t size, Image* out, const char* name);   // 1/0
int decodeTgaFile(const char* path, Image* out);                                              // 1/0
int decodeTgaMemory(const unsigned char* data, size_t size, Image* out);                      // 1/0
// The two halves of loadTexture. decodeTextureFile reads and decodes a JPEG
// or TGA file of at most limit bytes (by the letter after the last '.') and adds its mip levels,
// without GL, on any thread: 1 with image filled, 0 (logged as loadTexture
// logs it) on failure.
// uploadTexture (GL thread) makes the texture of image (the pixels stay the
// caller's): the name, or -1 (logged) when the GL refuses its size; slot (may
// be null) is written only on success.
int decodeTextureFile(const char* path, size_t limit, Image* image);
int uploadTexture(const Image* image, const char* path, int* slot);

// ---- shader programs -----------------------------------------------------------
extern int defaultProgram;
// Returns a positive program name (also after a failed link, reported), 0 when a
// stage failed to compile, -1 when a file could not be opened or was refused.
int createShaderProgram(const char* vertex, const char* fragment, int fromSource);
int loadShaderPair(const char* vertexPath, const char* fragmentPath);
void freeShaderProgram(int* slot);
void createDefaultShader(void);
int checkShaderCompile(unsigned int shader);
void logProgramInfo(unsigned int program);
const char* glslTypeName(unsigned int type);

// ---- resource table ------------------------------------------------------------
// The kinds of row; each kind's operations (read, upload, free, reload) and
// file size limit are a row of the loader's kind table.
enum ResourceKind { ShaderRow, MeshRow, TextureRow, ResourceKindCount };
// PostProgramRow: a shader row whose program draws full-screen post passes
// (its PosAttribute and TexAttribute are bound by the post floor).
enum ResourceFlags { PostProgramRow = 1 };
struct ResourceEntry {
    void* object;       // slot: int program, Mesh record or int texture; null ends the table
    const char* spec;   // "file" or "file|file", relative to the data directory
    int* link;          // mesh rows: slot of the shader row giving the program
    int kind;           // ResourceKind: shader pair, mesh (with its slot-0 texture) or texture
    int flags;          // ResourceFlags
};
extern ResourceEntry* activeResourceTable;   // the table releaseResources walks; set by start-up

// Called after each row with the share of rows done (0 < share <= 1).
typedef void (*ResourceProgress)(float share);
// Loads every row of table (ended by a null object) in order, logging
// "loading <spec>" before each, then "loading complete!". A row that fails is
// logged by its loader and the walk goes on.
// Workers (0 to 2; default 1) read and decode files ahead of the row being
// loaded; the log is the same as with 0, which walks the rows one by one on
// the calling thread. GL work is done on the calling thread only.
void loadResourceTable(ResourceEntry* table, ResourceProgress progress);
extern int resourceLoadWorkers;
// Starts workers (1 or 2) reading table's files before loadResourceTable is
// called with it, on any thread state (no GL needed): the files decode while
// the caller brings up the window. Reads started for another table are
// stopped first. Returns 1 started, 0 not (workers < 1, an empty table or no
// memory: loadResourceTable then reads as usual).
int startResourceReads(ResourceEntry* table, int workers);
// Stops reads started for a table that will not be loaded, freeing what they hold.
void stopResourceReads(void);
// Frees every row of activeResourceTable through its kind's free, last row first.
void releaseResources(void);

// Reloading while the show plays: every row of table whose spec names file
// (a part of "a|b", without the data directory) is loaded again. A new
// shader program, texture or mesh geometry replaces the old one only when it
// loaded whole (a program: compiled and linked); every place in the table
// that held the old GL name gets the new one. Returns the number of rows that
// name the file; result (may be null) counts rows replaced and failed and
// lists the meshes whose geometry was replaced (to process them again) and
// the new programs (to bind what their owners bind to them; programCount is
// -1 when more were made than the list holds).
enum { MaxReloadedMeshes = 8, MaxReloadedPrograms = 16 };
struct ReloadResult {
    int replaced, failed;
    Mesh* meshes[MaxReloadedMeshes];
    int meshCount;
    int programs[MaxReloadedPrograms];
    int programCount;
};
int reloadResourceFile(ResourceEntry* table, const char* file, ReloadResult* result);
// The latest shader compile or link report ("compile: ..." / "link: ..."), "" when none.
const char* lastShaderReport(void);

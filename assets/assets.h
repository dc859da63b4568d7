// Assets: the built-in resource table and the loading screen, mesh files and
// mesh processing, textures (JPEG, TGA) and shader programs. Every file read
// here is untrusted: readers validate before use, log, and return a failure.
#pragma once
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>

// ---- meshes ------------------------------------------------------------------
struct MeshVertex {            // 15 floats, 60 bytes, no gaps
    float x, y, z;             // vpos (0)
    float u, v;                // vUV  (1)
    float nx, ny, nz;          // vnrm (2)
    float tx, ty, tz;          // vtan (3)
    float r, g, b, a;          // vcol (4)
};
static_assert(sizeof(MeshVertex) == 60, "MeshVertex must be 15 packed floats");

struct Mesh {
    uint32_t vertexCount;      // vertices in one frame
    uint32_t triangleCount;    // shared by all frames
    uint32_t frameCount;       // 1 for "BOF1"
    MeshVertex* vertices;      // (frameCount + 1) × vertexCount; last slot = blend frame
    uint16_t* indices;         // 3 × triangleCount
    float x, y, z;
    float yaw, pitch, roll;    // radians
    int textures[5];           // -1 = empty slot
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
void computeMeshNormals(Mesh* mesh);
void initMeshAttributes(Mesh* mesh);
// Parses the text of a mesh file (size bytes, no terminator needed) without GL:
// counts, vertices (converted), indices, normals, cleared placement, textures -1,
// attribute table. Returns 1, or 0 for a rejected file with out untouched; name
// labels the log line (null logs nothing).
int parseMeshText(const char* text, size_t size, Mesh* out, const char* name);

// Mesh post-processing and the show's data hook.
void scaleMesh(Mesh* mesh, float factor);
void weldNormals(Mesh* mesh, float distance);
void computeMeshTangents(Mesh* mesh);
void prepareShowData(void);

// ---- textures ----------------------------------------------------------------
// Each returns the GL texture name, or -1 (logged) when the file is missing or
// cannot be decoded; slot (may be null) is written only on success.
int loadTexture(int* slot, const char* path);
int loadJpegTexture(const char* path, int* slot);
int loadTgaTexture(const char* path, int* slot);
void freeTexture(int* slot);

// Decoded image in memory, RGBA8, bottom row first. Used by the texture loaders
// and by tests and tools; free pixels with free().
struct Image {
    int width, height;
    unsigned char* pixels;
};
int decodeJpegMemory(const unsigned char* data, size_t size, Image* out, const char* name); // 1/0
int decodeTgaFile(const char* path, Image* out);                                           // 1/0
int decodeTgaMemory(const unsigned char* data, size_t size, Image* out);                     // 1/0
// Reads a whole file into a new buffer (one zero byte past size; free()).
// Returns 1, 0 when the file cannot be opened, -1 when reading or memory failed.
int readWholeFile(const char* path, unsigned char** data, size_t* size);

// ---- TGA reader --------------------------------------------------------------------
// Raw access to Truevision TGA files; decodeTgaFile builds on it. Problems are
// reported on stderr as "Libtga:<unit>:<site>: <status text>".
enum TgaStatus { TgaSuccess, TgaError, TgaOutOfMemory, TgaOpenFailed, TgaSeekFailed,
    TgaReadFailed, TgaWriteFailed, TgaUnknownFormat };
enum TgaFlags : uint32_t { TgaImageId = 1, TgaImageData = 4, TgaColorMapRead = 8, TgaRedBlueSwap = 32 };
struct TgaFile {
    FILE* file;
    int32_t offset;            // current offset in the file
    int status;                // TgaStatus of the last step
    uint8_t idLength, colorMapType, imageType;
    uint16_t mapFirst, mapLength;
    uint8_t mapEntrySize;
    uint16_t xOrigin, yOrigin, width, height;
    uint8_t depth, alphaBits, horizontalOrder, verticalOrder;
    long fileSize;             // bytes in the file, for plausibility checks
    int rleRaw, rleRun;        // run-length packet state, carried across scanlines
    uint8_t rlePixel[4];
};
struct TgaData {
    uint8_t* imageId;          // owned by the caller after the read (free())
    uint8_t* colorMap;
    uint8_t* pixels;
    uint32_t flags;            // TgaFlags: requests in, results out
};
TgaFile* openTga(const char* path);
TgaFile* openTgaMemory(const unsigned char* data, size_t size);
void closeTga(TgaFile* tga);                 // closes the file and releases the handle
void readTgaImage(TgaFile* tga, TgaData* data);
int readTgaHeader(TgaFile* tga);             // TgaStatus
int readTgaImageId(TgaFile* tga, TgaData* data);
int readTgaColorMap(TgaFile* tga, TgaData* data, uint32_t flags);           // 1/0
size_t readTgaScanlines(TgaFile* tga, uint8_t* buffer, size_t count, uint32_t flags);
int readTgaRleLine(TgaFile* tga, uint8_t* buffer);                          // 0 ok, 1 failed
void swapTgaRedBlue(uint8_t* bytes, size_t length, size_t step);
const char* tgaStatusText(int code);
int tgaBytesPerPixel(int bits);              // 15 and 16 bits take 2 bytes

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
// The file-reading steps without GL (shader files are untrusted input):
// count bytes of a file read into a zero-filled buffer of ShaderSourceCapacity
// bytes become the source text (scrambled files unscrambled in place); null
// when the file filled the buffer (too large). shaderSourceParts gives the
// strings handed to the GL for a text: 1 (its own #version line) or 2
// ("#version 100\n" in front).
enum { ShaderSourceCapacity = 16384 };
const char* shaderFileText(char* buffer, size_t count);
int shaderSourceParts(const char* text, const char* parts[2]);

// ---- resource table ------------------------------------------------------------
typedef int (*ResourceLoad)(void* object, const char* path);
typedef void (*ResourceFree)(void* object);
enum ResourceKind { ShaderRow, MeshRow, TextureRow };
struct ResourceEntry {
    void* object;              // slot: int program, Mesh record or int texture; null ends the table
    const char* spec;          // "file" or "file|file", relative to the data directory
    int* link;                 // mesh rows: slot of the shader row giving the program
    int kind;                  // ResourceKind: loadShaderPair, loadMesh or loadTexture
    ResourceFree free;         // called with object by releaseResources
};
extern ResourceEntry resourceTable[];
extern ResourceEntry* activeResourceTable;   // set by start-up

// Puts the data directory in front of text in place. capacity is the size of
// the buffer; a name that does not fit is refused (logged) and 0 returned.
int dataPath(char* text, int capacity);
void loadResources(void);

// Slots of the table, by the rows that fill them.
extern int progEnv, progScroll, progSplash, progNrmLite, progLight, progStill,
    progFire, progBokeh, progColorCorrect, progLomofi, progBills, progCar,
    progTrail, progGreet, progShroom, progDrunk;
extern Mesh skyMeshes[3];      // rows 8, 9, 10: skybox, skybox2, speed lines
extern Mesh jugMeshes[5];      // rows 1, 69, 72, 4, 75: jug, greeting jug, broken greeting jug, intact jug, nuke jug
extern Mesh rodMeshes[3];      // rows 57, 58, 63: bullet, hot rod, small bullet
extern Mesh shroomMeshes[2];   // rows 79, 82: stem, top
extern Mesh splashMesh, logMesh, stillMesh, fireMesh, bottlesMesh, billMesh,
    pressMesh, pressBillMesh, rollMesh, kaleidoMesh, gunMesh, m47Mesh,
    bloodMesh, shotMesh, trailMesh;
extern int texGrain, texLeak, texDirt, texBgRed;
extern int texBills[4];        // rows 35..38

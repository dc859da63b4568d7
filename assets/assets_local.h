// Internals of the asset readers, for their own files and tests: the raw TGA
// reader, the text steps of shader files and the limited shader pair read.
#pragma once
#include "assets/assets.h"
#include "platform/platform.h"

// ---- TGA reader --------------------------------------------------------------------
// Raw access to Truevision TGA files; decodeTgaFile builds on it. Problems are
// reported on stderr as "Libtga:<unit>:<site>: <status text>".
enum TgaStatus {
    TgaSuccess,
    TgaError,
    TgaOutOfMemory,
    TgaOpenFailed,
    TgaSeekFailed,
    TgaReadFailed,
    TgaWriteFailed,
    TgaUnknownFormat
};
enum TgaFlags : uint32_t { TgaImageId = 1, TgaImageData = 4, TgaColorMapRead = 8, TgaRedBlueSwap = 32 };
struct TgaFile {
    FILE* file;
    int32_t offset;   // current offset in the file
    int status;       // TgaStatus of the last step
    uint8_t idLength, colorMapType, imageType;
    uint16_t mapFirst, mapLength;
    uint8_t mapEntrySize;
    uint16_t xOrigin, yOrigin, width, height;
    uint8_t depth, alphaBits, horizontalOrder, verticalOrder;
    long fileSize;        // bytes in the file, for plausibility checks
    int rleRaw, rleRun;   // run-length packet state, carried across scanlines
    uint8_t rlePixel[4];
};
struct TgaData {
    uint8_t* imageId;   // owned by the caller after the read (free())
    uint8_t* colorMap;
    uint8_t* pixels;
    uint32_t flags;   // TgaFlags: requests in, results out
};
TgaFile* openTga(const char* path);
TgaFile* openTgaMemory(const unsigned char* data, size_t size);
void closeTga(TgaFile* tga);   // closes the file and releases the handle
void readTgaImage(TgaFile* tga, TgaData* data);
int readTgaHeader(TgaFile* tga);   // TgaStatus
int readTgaImageId(TgaFile* tga, TgaData* data);
int readTgaColorMap(TgaFile* tga, TgaData* data, uint32_t flags);   // 1/0
size_t readTgaScanlines(TgaFile* tga, uint8_t* buffer, size_t count, uint32_t flags);
int readTgaRleLine(TgaFile* tga, uint8_t* buffer);   // 0 ok, 1 failed
void swapTgaRedBlue(uint8_t* bytes, size_t length, size_t step);
const char* tgaStatusText(int code);
int tgaBytesPerPixel(int bits);   // 15 and 16 bits take 2 bytes

// ---- texture upload ------------------------------------------------------------
// 1 when every texel of the image's first level has red, green and blue alike
// and alpha 255 (uploaded then as one luminance channel); 0 otherwise or empty.
int imageIsOpaqueGrey(const Image* image);

// ---- shader file text ----------------------------------------------------------
// The file-reading steps without GL (shader files are untrusted input):
// count bytes of a file read into a zero-filled buffer of ShaderSourceCapacity
// bytes become the source text (scrambled files unscrambled in place); null
// when the file filled the buffer (too large). shaderSourceParts gives the
// strings handed to the GL for a text: 1 (its own #version line) or 2
// ("#version 100\n" in front).
enum { ShaderSourceCapacity = 16384 };
// loadShaderPair with the files' size limit given (a larger file is refused
// unopened, logged): the program, 0 or -1 as createShaderProgram.
int loadShaderFiles(const char* vertexPath, const char* fragmentPath, size_t limit);
const char* shaderFileText(char* buffer, size_t count);
int shaderSourceParts(const char* text, const char* parts[2]);
// A fragment shader path "dir/file.fs?NAME,NAME" names file.fs built with a
// "#define NAME" line for each name: one authored file gives several
// programs, and a change to it reloads every row that names it.
enum { VariantDefinesSize = 256 };
struct ShaderVariant {
    char file[DataPathSize];            // the path without "?..."
    char defines[VariantDefinesSize];   // "#define NAME\n" lines, "" for none
};
// Splits path (a '?' counts after its last '/'). Returns 1, or 0 (logged)
// when the path is too long or a name is empty, not a C name, or the lines
// pass VariantDefinesSize.
int shaderVariant(const char* path, ShaderVariant* out);

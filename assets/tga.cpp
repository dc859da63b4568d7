// The TGA reader: header, image id, colour map and pixel data (raw or
// run-length encoded) of Truevision TGA files, plus decodeTgaFile/decodeTgaMemory,
// which turn any supported TGA into RGBA rows, bottom row first, left to right.
#include "assets/assets_local.h"
#include "platform/platform.h"
#include <stdlib.h>
#include <string.h>

// Report units and site numbers identify the failing step in the one-line
// reports; they are stable texts that users and tests match on. Opening: 36
// (memory), 44 (open). Reading: 46 header, 63 colour map, 70 pixel data longer
// than the file, 72 image above 16384 pixels a side, 73 pixel memory, 79 short
// pixel data, 95/109 header seek/read, 117 image type, 129 colour-map
// kind, 141 depth, 160/165/171 image id, 194/199/205 colour map, 290/304 pixels.
static const char* unitOpen = "common/libtga-1.0.1/src/tga";
static const char* unitRead = "common/libtga-1.0.1/src/tgaread";

static const char* statusTexts[] = {
    "Success",     "Error",       "Out of memory", "Failed to open file",
    "Seek failed", "Read failed", "Write failed",  "Unknown sub-format",
};

static const int headerSize = 18;
static const int maxTgaSide = 16384;

const char* tgaStatusText(int code)
{
    if (code < 0 || code >= (int)(sizeof(statusTexts) / sizeof(statusTexts[0]))) return "Error";
    return statusTexts[code];
}

static void report(const char* unit, int site, int code)
{
    logStderr("Libtga:%s:%d: %s\n", unit, site, tgaStatusText(code));
}

// Sets the handle's status and reports it at a site of the reading unit.
static void fail(TgaFile* tga, int site, int code)
{
    tga->status = code;
    report(unitRead, site, code);
}

int tgaBytesPerPixel(int bits) { return (bits + 7) / 8; }

static void refreshOffset(TgaFile* tga)
{
    long at = ftell(tga->file);
    tga->offset = (at < 0 || at > INT32_MAX) ? -1 : (int32_t)at;
}

static int seekTo(TgaFile* tga, long offset)
{
    if (tga->offset == offset) return 1;
    if (fseek(tga->file, offset, SEEK_SET) != 0) return 0;
    refreshOffset(tga);
    return tga->offset == offset;
}

// Takes over an open stream; returns the handle or null (reported).
static TgaFile* adoptStream(FILE* file)
{
    TgaFile* tga = (TgaFile*)calloc(1, sizeof(TgaFile));
    if (!tga) {
        report(unitOpen, 36, TgaOutOfMemory);
        if (file) fclose(file);
        return nullptr;
    }
    tga->offset = 0;
    tga->file = file;
    if (!file) {
        tga->status = TgaOpenFailed;
        report(unitOpen, 44, TgaOpenFailed);
        free(tga);
        return nullptr;
    }
    tga->fileSize = -1;
    if (fseek(file, 0, SEEK_END) == 0) tga->fileSize = ftell(file);
    if (fseek(file, 0, SEEK_SET) != 0) tga->offset = -1;
    tga->status = TgaSuccess;
    return tga;
}

// Returns the handle, or null (reported) when memory or the file failed.
TgaFile* openTga(const char* path)
{
    int status = 0;
    return adoptStream(openDataFile(path, TextureFileLimit, &status));
}

// The bytes must outlive the handle. Returns the handle or null (reported).
TgaFile* openTgaMemory(const unsigned char* data, size_t size)
{
    // fmemopen refuses zero bytes: an empty input becomes one byte, which still
    // fails the 18-byte header read like an empty file.
    static unsigned char empty[1];
    FILE* file = fmemopen(size ? (void*)data : (void*)empty, size ? size : 1, "rb");
    return adoptStream(file);
}

void closeTga(TgaFile* tga)
{
    if (!tga) return;
    if (tga->file) fclose(tga->file);
    free(tga);
}

static uint16_t le16(const uint8_t* bytes) { return (uint16_t)(bytes[0] | (bytes[1] << 8)); }

// Which pixel depths each image type may carry (run-length types share them).
static int depthAllowed(int imageType, int depth)
{
    switch (imageType & 7) {
    case 1: return depth == 8;
    case 2: return depth == 15 || depth == 16 || depth == 24 || depth == 32;
    case 3: return depth == 8 || depth == 16;
    default: return 0;
    }
}

// Returns TgaSuccess, or the failing status (reported).
int readTgaHeader(TgaFile* tga)
{
    if (!tga) return TgaError;
    tga->rleRaw = tga->rleRun = 0;
    if (fseek(tga->file, 0, SEEK_SET) != 0 || (refreshOffset(tga), tga->offset != 0)) {
        fail(tga, 95, TgaSeekFailed);
        return tga->status;
    }
    uint8_t bytes[headerSize] = {0};
    if (fread(bytes, headerSize, 1, tga->file) != 1) {
        refreshOffset(tga);
        fail(tga, 109, TgaReadFailed);
        return tga->status;
    }
    tga->offset = headerSize;
    tga->idLength = bytes[0];
    tga->colorMapType = bytes[1];
    tga->imageType = bytes[2];
    tga->mapFirst = le16(bytes + 3);
    tga->mapLength = le16(bytes + 5);
    tga->mapEntrySize = bytes[7];
    tga->xOrigin = le16(bytes + 8);
    tga->yOrigin = le16(bytes + 10);
    tga->width = le16(bytes + 12);
    tga->height = le16(bytes + 14);
    tga->depth = bytes[16];
    tga->alphaBits = bytes[17] & 15;
    tga->horizontalOrder = (bytes[17] >> 4) & 1;
    tga->verticalOrder = (bytes[17] >> 5) & 1;

    int type = tga->imageType;
    if (type != 1 && type != 2 && type != 3 && type != 9 && type != 10 && type != 11) {
        fail(tga, 117, TgaUnknownFormat);
        return tga->status;
    }
    int mapped = (type & 7) == 1;
    // A colour-mapped image needs its map; a map is only read for such images.
    if (tga->colorMapType > 1 || (tga->colorMapType != 0 && tga->depth != 8) || (mapped && tga->colorMapType != 1)) {
        fail(tga, 129, TgaUnknownFormat);
        return tga->status;
    }
    if (!depthAllowed(type, tga->depth)) {
        fail(tga, 141, TgaUnknownFormat);
        return tga->status;
    }
    tga->status = TgaSuccess;
    return tga->status;
}

// Returns TgaSuccess, or the failing status (reported); data->imageId is
// allocated only when the id was read.
int readTgaImageId(TgaFile* tga, TgaData* data)
{
    if (!tga || !data || tga->idLength == 0) return TgaError;
    if (!seekTo(tga, headerSize)) {
        fail(tga, 160, TgaSeekFailed);
        return tga->status;
    }
    uint8_t* id = (uint8_t*)malloc(tga->idLength);
    if (!id) {
        fail(tga, 165, TgaOutOfMemory);
        return tga->status;
    }
    if (fread(id, tga->idLength, 1, tga->file) != 1) {
        free(id);
        refreshOffset(tga);
        fail(tga, 171, TgaReadFailed);
        return tga->status;
    }
    tga->offset += tga->idLength;
    free(data->imageId);
    data->imageId = id;
    tga->status = TgaSuccess;
    return tga->status;
}

// The bytes the header's map fields describe. They stand between the image id
// and the pixels even when the map type says "no map" (some writers leave the
// fields filled in), so the pixels are found past them either way.
static long colorMapBytes(const TgaFile* tga) { return (long)tga->mapLength * tgaBytesPerPixel(tga->mapEntrySize); }

// Returns 1 with data->colorMap holding mapLength entries of the file's entry
// size (8: grey, 15/16/24/32: colour), or 0 (status set) when the file has no
// map, the map is empty, of an unknown entry size or shorter in the file than
// its entries.
int readTgaColorMap(TgaFile* tga, TgaData* data, uint32_t flags)
{
    if (!tga || !data) return 0;
    int entry = tga->mapEntrySize;
    long size = colorMapBytes(tga);
    if (tga->colorMapType != 1 || size == 0 ||
        (entry != 8 && entry != 15 && entry != 16 && entry != 24 && entry != 32)) {
        tga->status = TgaUnknownFormat;
        return 0;
    }
    if (!seekTo(tga, headerSize + tga->idLength)) {
        fail(tga, 194, TgaSeekFailed);
        return 0;
    }
    uint8_t* map = (uint8_t*)malloc((size_t)size);
    if (!map) {
        fail(tga, 199, TgaOutOfMemory);
        return 0;
    }
    if (fread(map, (size_t)size, 1, tga->file) != 1) {
        free(map);
        refreshOffset(tga);
        fail(tga, 205, TgaReadFailed);
        return 0;
    }
    tga->offset += (int32_t)size;
    if ((entry == 24 || entry == 32) && (flags & TgaRedBlueSwap)) swapTgaRedBlue(map, (size_t)size, (size_t)entry / 8);
    free(data->colorMap);
    data->colorMap = map;
    tga->status = TgaSuccess;
    return 1;
}

// Reads one byte, or returns -1 at the end of the file.
static inline int nextByte(TgaFile* tga)
{
    int c = getc_unlocked(tga->file);
    if (c != EOF) tga->offset++;
    return c;
}

// Decodes width pixels into buffer. Packets may run across scanline ends (many
// writers do so): the handle keeps the pending packet for the next scanline, and
// whatever is still pending after the last scanline is simply never used, so a
// packet that runs past the image is clipped. Returns 0, or 1 when the file ends.
int readTgaRleLine(TgaFile* tga, uint8_t* buffer)
{
    if (!tga || !buffer) return 1;
    int step = tgaBytesPerPixel(tga->depth);
    if (step < 1 || step > 4) return 1;
    for (int pixel = 0; pixel < tga->width; pixel++) {
        uint8_t* out = buffer + (size_t)pixel * step;
        if (tga->rleRaw == 0 && tga->rleRun == 0) {
            int header = nextByte(tga);
            if (header < 0) return 1;
            if (header < 128) {
                tga->rleRaw = header + 1;
            } else {
                tga->rleRun = header - 127;
                for (int i = 0; i < step; i++) {
                    int c = nextByte(tga);
                    if (c < 0) return 1;
                    tga->rlePixel[i] = (uint8_t)c;
                }
            }
        }
        if (tga->rleRaw > 0) {
            for (int i = 0; i < step; i++) {
                int c = nextByte(tga);
                if (c < 0) return 1;
                out[i] = (uint8_t)c;
            }
            tga->rleRaw--;
        } else {
            memcpy(out, tga->rlePixel, (size_t)step);
            tga->rleRun--;
        }
    }
    tga->status = TgaSuccess;
    return 0;
}

static long pixelDataOffset(const TgaFile* tga) { return headerSize + tga->idLength + colorMapBytes(tga); }

// Reads count scanlines into buffer (count × width × bytes per pixel bytes).
// Returns the number read; fewer than count is a failure (reported).
size_t readTgaScanlines(TgaFile* tga, uint8_t* buffer, size_t count, uint32_t flags)
{
    if (!tga || !buffer) return 0;
    long start = pixelDataOffset(tga);
    if (tga->offset != start) {
        tga->rleRaw = tga->rleRun = 0;
        if (!seekTo(tga, start)) {
            fail(tga, 290, TgaSeekFailed);
            return 0;
        }
    }
    int step = tgaBytesPerPixel(tga->depth);
    size_t lineSize = (size_t)step * tga->width;
    size_t done = 0;
    if (tga->imageType >= 9 && tga->imageType <= 11) {
        while (done < count && readTgaRleLine(tga, buffer + done * lineSize) == 0) done++;
        tga->imageType -= 8;
    } else if (lineSize > 0) {
        done = fread(buffer, lineSize, count, tga->file);
        refreshOffset(tga);
    } else {
        done = count;
    }
    if (done < count) {
        fail(tga, 304, TgaReadFailed);
        return done;
    }
    if ((tga->depth == 24 || tga->depth == 32) && (flags & TgaRedBlueSwap))
        swapTgaRedBlue(buffer, count * lineSize, (size_t)step);
    tga->status = TgaSuccess;
    return done;
}

void swapTgaRedBlue(uint8_t* bytes, size_t length, size_t step)
{
    if (!bytes || step < 3) return;
    for (size_t q = 0; q + 2 < length; q += step) {
        uint8_t keep = bytes[q];
        bytes[q] = bytes[q + 2];
        bytes[q + 2] = keep;
    }
}

// Whether the rest of the file can hold the pixels the header promises: raw
// data needs every byte, a run-length packet of one pixel value covers at most
// 128 pixels. Keeps a forged header from demanding gigabytes.
static int pixelsFitFile(const TgaFile* tga)
{
    int step = tgaBytesPerPixel(tga->depth);
    uint64_t pixels = (uint64_t)tga->width * tga->height;
    long start = pixelDataOffset(tga);
    if (tga->fileSize < start) return pixels == 0;
    uint64_t remaining = (uint64_t)(tga->fileSize - start);
    if (tga->imageType >= 9) return pixels <= (remaining / (uint64_t)(1 + step) + 1) * 128;
    return pixels * (uint64_t)step <= remaining;
}

// Reads what data->flags request. Failures are reported and leave their flag
// cleared; the handle's status tells the last outcome.
void readTgaImage(TgaFile* tga, TgaData* data)
{
    if (!tga || !data) return;
    if (readTgaHeader(tga) != TgaSuccess) {
        data->flags &= ~(uint32_t)(TgaImageId | TgaImageData);
        report(unitRead, 46, tga->status);
        return;
    }
    if ((data->flags & TgaImageId) && tga->idLength != 0) {
        if (readTgaImageId(tga, data) != TgaSuccess) data->flags &= ~(uint32_t)TgaImageId;
    } else {
        data->flags &= ~(uint32_t)TgaImageId;
    }
    if (data->flags & TgaImageData) {
        if (tga->colorMapType == 1) {
            if (readTgaColorMap(tga, data, data->flags)) {
                data->flags |= TgaColorMapRead;
            } else {
                data->flags &= ~(uint32_t)(TgaColorMapRead | TgaImageData);
                report(unitRead, 63, tga->status);
                return;
            }
        }
        if (!pixelsFitFile(tga)) {
            data->flags &= ~(uint32_t)TgaImageData;
            fail(tga, 70, TgaReadFailed);
            return;
        }
        size_t size = (size_t)tga->width * tga->height * tgaBytesPerPixel(tga->depth);
        free(data->pixels);
        data->pixels = (uint8_t*)malloc(size ? size : 1);
        if (!data->pixels) {
            data->flags &= ~(uint32_t)TgaImageData;
            fail(tga, 73, TgaOutOfMemory);
            return;
        }
        if (readTgaScanlines(tga, data->pixels, tga->height, data->flags) < tga->height) {
            data->flags &= ~(uint32_t)TgaImageData;
            report(unitRead, 79, tga->status);
            return;
        }
    }
    tga->status = TgaSuccess;
}

// ---- conversion to RGBA ---------------------------------------------------------

static uint8_t expand5(int value) { return (uint8_t)((value << 3) | (value >> 2)); }

// 15/16-bit little-endian A1R5G5B5; the top bit is alpha only when the file
// declares an alpha bit (many writers leave it 0 on opaque images).
static void convert16(const uint8_t* in, uint8_t* out, int hasAlpha)
{
    int value = in[0] | (in[1] << 8);
    out[0] = expand5((value >> 10) & 31);
    out[1] = expand5((value >> 5) & 31);
    out[2] = expand5(value & 31);
    out[3] = hasAlpha ? ((value & 0x8000) ? 255 : 0) : 255;
}

// One pixel or colour-map entry of the given bits, already red-blue swapped.
// 8 bits are a grey map entry. A 32-bit value always carries its alpha byte,
// as other readers take it.
static void convertColor(const uint8_t* in, int bits, int hasAlpha, uint8_t* out)
{
    switch (bits) {
    case 8:
        out[0] = out[1] = out[2] = in[0];
        out[3] = 255;
        break;
    case 15: convert16(in, out, 0); break;
    case 16: convert16(in, out, hasAlpha); break;
    case 24:
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = 255;
        break;
    default:
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
        out[3] = in[3];
        break;
    }
}

static void convertPixel(const TgaFile* tga, const TgaData* data, const uint8_t* in, uint8_t* out)
{
    int hasAlpha = tga->alphaBits != 0;
    switch (tga->imageType) {
    case 1: {
        // An index outside the map reads as an all-zero entry: black.
        static const uint8_t zero[4] = {0, 0, 0, 0};
        int entry = (int)in[0] - tga->mapFirst;
        const uint8_t* color = zero;
        if (entry >= 0 && entry < tga->mapLength)
            color = data->colorMap + (size_t)entry * tgaBytesPerPixel(tga->mapEntrySize);
        convertColor(color, tga->mapEntrySize, hasAlpha, out);
        break;
    }
    case 3:   // grey, or grey and an alpha byte
        out[0] = out[1] = out[2] = in[0];
        out[3] = tga->depth == 16 ? in[1] : 255;
        break;
    default: convertColor(in, tga->depth, hasAlpha, out); break;
    }
}

// Converts the decoded pixels to RGBA, bottom row first and left to right,
// whatever order the descriptor gives. Returns 1, or 0 (logged) without memory.
static int convertImage(const TgaFile* tga, const TgaData* data, Image* out)
{
    int width = tga->width, height = tga->height;
    int step = tgaBytesPerPixel(tga->depth);
    unsigned char* rgba = (unsigned char*)malloc((size_t)width * height * 4);
    if (!rgba) return 0;
    for (int row = 0; row < height; row++) {
        int target = tga->verticalOrder ? height - 1 - row : row;
        const uint8_t* in = data->pixels + (size_t)row * width * step;
        unsigned char* line = rgba + (size_t)target * width * 4;
        for (int column = 0; column < width; column++) {
            int x = tga->horizontalOrder ? width - 1 - column : column;
            convertPixel(tga, data, in + (size_t)column * step, line + (size_t)x * 4);
        }
    }
    out->width = width;
    out->height = height;
    out->pixels = rgba;
    out->levels = 1;
    return 1;
}

// Reads the whole image of an open handle and converts it. Returns 1, or 0
// when the reader failed (reported) or the image is empty; out is written only
// on success. The handle stays open.
static int decodeTga(TgaFile* tga, Image* out)
{
    // The same cap as for JPEG: no texture of the show comes near it, and a
    // run-length file of a few megabytes could otherwise ask for gigabytes.
    if (readTgaHeader(tga) != TgaSuccess) {
        report(unitRead, 46, tga->status);
        return 0;
    }
    if (tga->width > maxTgaSide || tga->height > maxTgaSide || (long long)tga->width * tga->height > MaxImagePixels) {
        fail(tga, 72, TgaOutOfMemory);
        return 0;
    }
    TgaData data = {nullptr, nullptr, nullptr, TgaImageData | TgaRedBlueSwap};
    readTgaImage(tga, &data);
    int ok = (data.flags & TgaImageData) && tga->status == TgaSuccess && tga->width > 0 && tga->height > 0 &&
             (tga->imageType != 1 || (data.flags & TgaColorMapRead));
    if (ok) ok = convertImage(tga, &data, out);
    free(data.imageId);
    free(data.colorMap);
    free(data.pixels);
    return ok;
}

// Returns 1 with out filled (pixels to free()), or 0 when the file is missing
// or cannot be decoded (reported on stderr).
int decodeTgaFile(const char* path, Image* out)
{
    TgaFile* tga = openTga(path);
    if (!tga) return 0;
    int ok = decodeTga(tga, out);
    closeTga(tga);
    return ok;
}

// Same as decodeTgaFile for bytes in memory.
int decodeTgaMemory(const unsigned char* data, size_t size, Image* out)
{
    TgaFile* tga = openTgaMemory(data, size);
    if (!tga) return 0;
    int ok = decodeTga(tga, out);
    closeTga(tga);
    return ok;
}

// Textures: JPEG decoding from memory (libjpeg) and the file loaders that turn
// JPEG and TGA files into GL textures with the fixed parameters.
#include "assets/assets_local.h"
#include "platform/platform.h"
#include <GL/glew.h>
#include <jpeglib.h>
#include <setjmp.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// A hostile header must not demand gigabytes: larger images are refused.
static const unsigned maxJpegSide = 16384;
// Progressive files normally have about ten scans; thousands of tiny scans are
// a known way to make decoding take minutes.
static const int maxJpegScans = 1000;
// Memory libjpeg may take for its own work arrays (a progressive image keeps
// all its coefficients).
static const long maxJpegWorkMemory = 1L << 30;

// ---- JPEG -------------------------------------------------------------------

// libjpeg's errors come back here instead of ending the process.
struct JpegError {
    jpeg_error_mgr manager;
    jmp_buf jump;
    const char* name;   // for the log; null logs nothing
};

static void onJpegError(j_common_ptr info)
{
    JpegError* error = (JpegError*)info->err;
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    if (error->name) logMessage("ERROR: JPEG file <%s> cannot be decoded: %s\n", error->name, text);
    longjmp(error->jump, 1);
}

// Warnings (a file cut short, corrupt data the library works around) go to the log.
static void onJpegMessage(j_common_ptr info)
{
    JpegError* error = (JpegError*)info->err;
    char text[JMSG_LENGTH_MAX];
    info->err->format_message(info, text);
    if (error->name) logMessage("JPEG file <%s>: %s\n", error->name, text);
}

static void onJpegProgress(j_common_ptr info)
{
    j_decompress_ptr decoder = (j_decompress_ptr)info;
    if (decoder->input_scan_number <= maxJpegScans) return;
    JpegError* error = (JpegError*)info->err;
    if (error->name) logMessage("ERROR: JPEG file <%s> has more than %d scans\n", error->name, maxJpegScans);
    longjmp(error->jump, 1);
}

// Expands one decoded scanline of 1, 3 or 4 (CMYK) components to RGBA.
// Adobe writers store CMYK inverted (each sample is 255 minus the ink).
static void expandScanline(const JSAMPLE* in, int width, int components, int inverted, unsigned char* out)
{
    for (int x = 0; x < width; x++, in += components, out += 4) {
        if (components == 4) {
            int flip = inverted ? 0 : 255;
            int k = in[3] ^ flip;
            out[0] = (unsigned char)((in[0] ^ flip) * k / 255);
            out[1] = (unsigned char)((in[1] ^ flip) * k / 255);
            out[2] = (unsigned char)((in[2] ^ flip) * k / 255);
        } else {
            out[0] = in[0];
            out[1] = in[components >= 2 ? 1 : 0];
            out[2] = in[components >= 3 ? 2 : 0];
        }
        out[3] = 255;
    }
}

// Decodes a JPEG held in memory to RGBA rows, bottom row first. Returns 1 with
// out filled (pixels to free()), or 0 (logged under name unless name is null)
// when libjpeg rejects the data or the image exceeds 16384 × 16384.
int decodeJpegMemory(const unsigned char* data, size_t size, Image* out, const char* name)
{
    if (!data || !size || !out) {
        if (name) logMessage("ERROR: JPEG file <%s> cannot be decoded: no data\n", name);
        return 0;
    }
    jpeg_decompress_struct decoder;
    JpegError error;
    jpeg_progress_mgr progress;
    unsigned char* volatile image = nullptr;
    decoder.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = onJpegError;
    error.manager.output_message = onJpegMessage;
    error.name = name;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&decoder);
        free(image);
        return 0;
    }
    jpeg_create_decompress(&decoder);
    decoder.mem->max_memory_to_use = maxJpegWorkMemory;
    progress.progress_monitor = onJpegProgress;
    decoder.progress = &progress;
    jpeg_mem_src(&decoder, data, (unsigned long)size);
    jpeg_read_header(&decoder, TRUE);
    if (decoder.image_width > maxJpegSide || decoder.image_height > maxJpegSide ||
        (uint64_t)decoder.image_width * decoder.image_height > MaxImagePixels) {
        if (name)
            logMessage("ERROR: JPEG file <%s> is too large (%u x %u)\n", name, decoder.image_width,
                       decoder.image_height);
        jpeg_destroy_decompress(&decoder);
        return 0;
    }
    jpeg_start_decompress(&decoder);
    int width = (int)decoder.output_width, height = (int)decoder.output_height;
    int components = decoder.output_components;
    if (components != 1 && components != 3 && components != 4) {
        if (name) logMessage("ERROR: JPEG file <%s> has %d colour components\n", name, components);
        jpeg_destroy_decompress(&decoder);
        return 0;
    }
    JSAMPARRAY row =
        (*decoder.mem->alloc_sarray)((j_common_ptr)&decoder, JPOOL_IMAGE, (JDIMENSION)width * components, 1);
    image = (unsigned char*)malloc((size_t)width * height * 4);
    if (!image) {
        if (name) logMessage("ERROR: no memory to decode JPEG file <%s>\n", name);
        jpeg_destroy_decompress(&decoder);
        return 0;
    }
    int inverted = decoder.saw_Adobe_marker;
    while (decoder.output_scanline < decoder.output_height) {
        int target = height - 1 - (int)decoder.output_scanline;
        if (jpeg_read_scanlines(&decoder, row, 1) != 1) {
            // Cannot happen with a memory source, which never suspends.
            jpeg_destroy_decompress(&decoder);
            free(image);
            return 0;
        }
        expandScanline(row[0], width, components, inverted, image + (size_t)target * width * 4);
    }
    jpeg_finish_decompress(&decoder);
    jpeg_destroy_decompress(&decoder);
    out->width = width;
    out->height = height;
    out->pixels = image;
    out->levels = 1;
    return 1;
}

// ---- mip levels -----------------------------------------------------------------
// Made on the CPU (on the loader's worker, beside the decoding) instead of by
// glGenerateMipmap on the GL thread: a software GL makes them with a blit
// shader it first has to compile, and all of it on the thread that draws the
// loading bar.

static int nextSide(int side) { return side > 1 ? side / 2 : 1; }

size_t imageBytes(const Image* image)
{
    size_t bytes = 0;
    int w = image->width, h = image->height, levels = image->levels > 1 ? image->levels : 1;
    for (int level = 0; level < levels; level++, w = nextSide(w), h = nextSide(h)) bytes += (size_t)w * h * 4;
    return bytes;
}

// One level from the level above. Texel (x, y) covers the source texels
// from x*sw/dw to ((x+1)*sw-1)/dw across (two for an even side, up to three
// for an odd one), likewise down; it is the mean down the column of each
// row's mean across, each rounded half up. Rounding per row, as the software
// GL's own mipmaps do, keeps the pictures what they were with those.
// (a + b + 1) / 2 in each of the four bytes.
static inline uint32_t meanUp(uint32_t a, uint32_t b) { return (a | b) - (((a ^ b) & 0xFEFEFEFEu) >> 1); }

static void halveLevel(const unsigned char* from, int sw, int sh, unsigned char* to, int dw, int dh)
{
    if (sw == 2 * dw && sh == 2 * dh) {   // the common case, 2 x 2 exactly: four channels at a time
        size_t rowBytes = (size_t)sw * 4;
        for (int y = 0; y < dh; y++) {
            const unsigned char* a = from + (size_t)2 * y * rowBytes;
            const unsigned char* b = a + rowBytes;
            unsigned char* out = to + (size_t)y * dw * 4;
            for (int x = 0; x < dw; x++) {
                uint32_t p[4], texel;
                memcpy(&p[0], a + (size_t)x * 8, 8);
                memcpy(&p[2], b + (size_t)x * 8, 8);
                texel = meanUp(meanUp(p[0], p[1]), meanUp(p[2], p[3]));
                memcpy(out + (size_t)x * 4, &texel, 4);
            }
        }
        return;
    }
    for (int y = 0; y < dh; y++) {
        int y0 = (int)((long)y * sh / dh), y1 = (int)(((long)y + 1) * sh - 1) / dh;
        unsigned rows = (unsigned)(y1 - y0 + 1);
        for (int x = 0; x < dw; x++) {
            int x0 = (int)((long)x * sw / dw), x1 = (int)(((long)x + 1) * sw - 1) / dw;
            unsigned across = (unsigned)(x1 - x0 + 1);
            for (int c = 0; c < 4; c++) {
                unsigned column = 0;
                for (int sy = y0; sy <= y1; sy++) {
                    unsigned row = 0;
                    for (int sx = x0; sx <= x1; sx++) row += from[((size_t)sy * sw + sx) * 4 + c];
                    column += (row + across / 2) / across;
                }
                to[((size_t)y * dw + x) * 4 + c] = (unsigned char)((column + rows / 2) / rows);
            }
        }
    }
}

int addMipLevels(Image* image)
{
    if (!image->pixels || image->width < 1 || image->height < 1) return 0;
    int levels = 1;
    for (int w = image->width, h = image->height; w > 1 || h > 1; w = nextSide(w), h = nextSide(h)) levels++;
    Image whole = *image;
    whole.levels = levels;
    unsigned char* grown = (unsigned char*)realloc(image->pixels, imageBytes(&whole));
    if (!grown) {
        logMessage("WARNING: no memory for the mip levels of a %d x %d image\n", image->width, image->height);
        return 0;
    }
    image->pixels = grown;
    image->levels = levels;
    unsigned char* level = grown;
    int w = image->width, h = image->height;
    for (int i = 1; i < levels; i++) {
        unsigned char* next = level + (size_t)w * h * 4;
        halveLevel(level, w, h, next, nextSide(w), nextSide(h));
        level = next;
        w = nextSide(w);
        h = nextSide(h);
    }
    return 1;
}

// ---- GL upload ----------------------------------------------------------------

// 1 when every texel of the image's first level is an opaque grey (red,
// green and blue alike, alpha 255): it then samples the same as one channel.
int imageIsOpaqueGrey(const Image* image)
{
    if (!image->pixels || image->width <= 0 || image->height <= 0) return 0;
    size_t count = (size_t)image->width * (size_t)image->height;
    for (const unsigned char* p = image->pixels; count > 0; count--, p += 4)
        if (p[0] != p[1] || p[1] != p[2] || p[3] != 255) return 0;
    return 1;
}

// Uploads one level: RGBA as it is, or (grey, with scratch room for the
// level's w x h bytes) its red channel alone as a luminance level, which
// samples as (l, l, l, 1), the same values, and costs a software renderer
// less to filter than four channels.
static void uploadLevel(int level, int w, int h, const unsigned char* pixels, unsigned char* grey)
{
    if (!grey) {
        glTexImage2D(GL_TEXTURE_2D, level, GL_RGBA, w, h, 0, GL_RGBA, GL_UNSIGNED_BYTE, pixels);
        return;
    }
    size_t count = (size_t)w * (size_t)h;
    for (size_t i = 0; i < count; i++) grey[i] = pixels[4 * i];
    glTexImage2D(GL_TEXTURE_2D, level, GL_LUMINANCE, w, h, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, grey);
}

// Makes a texture of an RGBA image with the fixed parameters and mipmaps; it
// stays bound to GL_TEXTURE_2D. An opaque grey image is stored as one
// channel (when there is memory for the copy). Returns the name, or -1
// (logged) when the image exceeds what the GL accepts.
static int uploadImage(const Image* image, const char* path)
{
    GLint maxSide = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSide);
    if (image->width > maxSide || image->height > maxSide) {
        logMessage("ERROR: texture <%s> is larger than %d pixels\n", path, (int)maxSide);
        return -1;
    }
    GLuint name = 0;
    glGenTextures(1, &name);
    glBindTexture(GL_TEXTURE_2D, name);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_REPEAT);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR_MIPMAP_LINEAR);
    unsigned char* grey =
        imageIsOpaqueGrey(image) ? (unsigned char*)malloc((size_t)image->width * image->height) : nullptr;
    glPixelStorei(GL_UNPACK_ALIGNMENT, grey ? 1 : 4);
    int levels = image->levels > 1 ? image->levels : 1;   // without its levels (no memory for them): the GL makes them
    const unsigned char* level = image->pixels;
    int w = image->width, h = image->height;
    for (int i = 0; i < levels; i++) {
        uploadLevel(i, w, h, level, grey);
        level += (size_t)w * h * 4;
        w = nextSide(w);
        h = nextSide(h);
    }
    if (image->levels <= 1) glGenerateMipmap(GL_TEXTURE_2D);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    free(grey);
    return (int)name;
}

int uploadTexture(const Image* image, const char* path, int* slot)
{
    int name = uploadImage(image, path);
    if (name >= 0 && slot) *slot = name;
    return name;
}

// Reads and decodes a JPEG file. Returns 1 with image filled, or 0 (logged)
// for a missing, refused or undecodable file.
static int decodeJpegFile(const char* path, size_t limit, Image* image)
{
    unsigned char* data = nullptr;
    size_t size = 0;
    int read = readWholeFile(path, limit, &data, &size);
    if (read == 0) {
        logMessage("Can't find file <%s>\n", path);
        return 0;
    }
    if (read < 0) {
        logMessage("ERROR: could not read file <%s>\n", path);
        return 0;
    }
    int decoded = decodeJpegMemory(data, size, image, path);
    free(data);
    return decoded;
}

// Checks and decodes a TGA file. Returns 1 with image filled, or 0 (logged;
// the TGA reader's own report is on stderr) for a missing, refused or
// rejected file.
static int decodeTgaTextureFile(const char* path, size_t limit, Image* image)
{
    int check = checkDataFile(path, limit);
    if (check == 0) {
        logMessage("Can't find file <%s>\n", path);
        return 0;
    }
    if (check < 0) return 0;
    if (!decodeTgaFile(path, image)) {
        logMessage("ERROR: TGA file <%s> cannot be decoded\n", path);
        return 0;
    }
    return 1;
}

// Makes the texture of a decoded image (decoded 0: none, -1 returned) and
// frees its pixels. Returns the name, or -1 (logged) when the GL refuses it.
static int uploadDecoded(int decoded, Image* image, const char* path, int* slot)
{
    if (!decoded) return -1;
    int name = uploadTexture(image, path, slot);
    free(image->pixels);
    image->pixels = nullptr;
    return name;
}

int loadJpegTexture(const char* path, int* slot)
{
    Image image = {0, 0, nullptr, 0};
    return uploadDecoded(decodeJpegFile(path, TextureFileLimit, &image), &image, path, slot);
}

int loadTgaTexture(const char* path, int* slot)
{
    Image image = {0, 0, nullptr, 0};
    return uploadDecoded(decodeTgaTextureFile(path, TextureFileLimit, &image), &image, path, slot);
}

// The reader is chosen by the letter after the last '.': t or T reads TGA,
// anything else (and a name without '.') JPEG.
int decodeTextureFile(const char* path, size_t limit, Image* image)
{
    const char* dot = path ? strrchr(path, '.') : nullptr;
    int decoded = dot && (dot[1] == 't' || dot[1] == 'T') ? decodeTgaTextureFile(path, limit, image)
                                                          : decodeJpegFile(path, limit, image);
    if (decoded) addMipLevels(image);   // without them the GL makes them at the upload
    return decoded;
}

int loadTexture(int* slot, const char* path)
{
    Image image = {0, 0, nullptr, 0};
    return uploadDecoded(decodeTextureFile(path, TextureFileLimit, &image), &image, path, slot);
}

void freeTexture(int* slot)
{
    if (!slot || *slot <= 0) return;
    GLuint name = (GLuint)*slot;
    glDeleteTextures(1, &name);
}

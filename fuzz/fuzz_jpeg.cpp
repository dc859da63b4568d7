// libFuzzer target: JPEG decoding from memory through the engine's decoder.
#include "assets/assets.h"
#include <jpeglib.h>
#include <setjmp.h>
#include <stdlib.h>

// Large legal images only cost time here: headers announcing more than a
// million pixels are skipped (the decoder's own cap is 16384 x 16384).
static const unsigned long maxFuzzPixels = 1u << 20;

struct HeaderError {
    jpeg_error_mgr manager;
    jmp_buf jump;
};

static void onError(j_common_ptr info) { longjmp(((HeaderError*)info->err)->jump, 1); }

static void onMessage(j_common_ptr) {}

// Returns 1 when the header reads and announces a small enough image.
static int smallImage(const uint8_t* data, size_t size)
{
    jpeg_decompress_struct decoder;
    HeaderError error;
    decoder.err = jpeg_std_error(&error.manager);
    error.manager.error_exit = onError;
    error.manager.output_message = onMessage;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&decoder);
        return 0;
    }
    jpeg_create_decompress(&decoder);
    jpeg_mem_src(&decoder, data, (unsigned long)size);
    jpeg_read_header(&decoder, TRUE);
    unsigned long pixels = (unsigned long)decoder.image_width * decoder.image_height;
    jpeg_destroy_decompress(&decoder);
    return pixels <= maxFuzzPixels;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!size || !smallImage(data, size)) return 0;
    Image image = {0, 0, nullptr, 0};
    if (decodeJpegMemory(data, size, &image, nullptr)) {
        unsigned sum = 0;
        size_t bytes = (size_t)image.width * image.height * 4;
        for (size_t i = 0; i < bytes; i += 61) sum += image.pixels[i];
        if (image.width <= 0 || image.height <= 0 || sum == 0xffffffffu) abort();
        free(image.pixels);
    }
    return 0;
}

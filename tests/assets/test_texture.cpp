// Textures: TGA and JPEG uploads read back from GL, JPEG decoding of whole
// and damaged files, and the loader chosen by the file's extension.
#include "assets/assets_local.h"
#include "platform/platform.h"
#include "support/gl_context.h"
#include "assets/fixture.h"
#include <GL/glew.h>
#include <gtest/gtest.h>
#include <malloc.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <string>
#include <vector>
#include <jpeglib.h>

static Bytes encodeJpeg(int width, int height, int components, const Bytes& samples, int quality = 100)
{
    jpeg_compress_struct encoder;
    jpeg_error_mgr error;
    encoder.err = jpeg_std_error(&error);
    jpeg_create_compress(&encoder);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&encoder, &out, &size);
    encoder.image_width = width;
    encoder.image_height = height;
    encoder.input_components = components;
    encoder.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&encoder);
    jpeg_set_quality(&encoder, quality, TRUE);
    jpeg_start_compress(&encoder, TRUE);
    while (encoder.next_scanline < encoder.image_height) {
        JSAMPROW row = (JSAMPROW)&samples[(size_t)encoder.next_scanline * width * components];
        jpeg_write_scanlines(&encoder, &row, 1);
    }
    jpeg_finish_compress(&encoder);
    Bytes bytes(out, out + size);
    jpeg_destroy_compress(&encoder);
    free(out);
    return bytes;
}

static Bytes textureBytes(int name, int width, int height)
{
    Bytes out((size_t)width * height * 4);
    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, out.data());
    return out;
}

TEST(Texture, TgaUploadsRgbaBottomRowFirst)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("tex_tga");
    writeBytes(dir + "/rgb.tga", tgaFile(2, 1, 2, 24, 0x20, {1, 2, 3, 4, 5, 6}));
    writeBytes(dir + "/rgba.tga", tgaFile(2, 1, 1, 32, 8, {10, 20, 30, 40}));
    writeBytes(dir + "/bad.tga", tgaFile(2, 1, 1, 12, 0, {0, 0}));
    int slot = 77;
    int name = loadTgaTexture((dir + "/rgb.tga").c_str(), &slot);
    ASSERT_GT(name, 0);
    EXPECT_EQ(slot, name);
    EXPECT_EQ(textureBytes(name, 1, 2), (Bytes{6, 5, 4, 255, 3, 2, 1, 255}));
    GLint value = 0;
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &value);
    EXPECT_EQ(value, GL_LINEAR_MIPMAP_LINEAR);
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, &value);
    EXPECT_EQ(value, GL_REPEAT);
    name = loadTgaTexture((dir + "/rgba.tga").c_str(), nullptr);
    EXPECT_EQ(textureBytes(name, 1, 1), (Bytes{30, 20, 10, 40}));
    freeTexture(&name);
    EXPECT_FALSE(glIsTexture((GLuint)name));

    slot = 77;
    size_t from = logSize();
    testing::internal::CaptureStderr();
    EXPECT_EQ(loadTgaTexture((dir + "/bad.tga").c_str(), &slot), -1);
    EXPECT_EQ(loadTgaTexture((dir + "/none.tga").c_str(), &slot), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(slot, 77);
    EXPECT_NE(logSince(from).find("Can't find file <" + dir + "/none.tga>\n"), std::string::npos);
    EXPECT_NE(logSince(from).find("bad.tga> cannot be decoded"), std::string::npos);
}

TEST(Texture, JpegDecodesWholeFilesAndSurvivesBadOnes)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("tex_jpeg");
    // Grey 2 x 2: top row 10 60, bottom row 200 250; uploaded top row last.
    writeBytes(dir + "/grey.jpg", encodeJpeg(2, 2, 1, {10, 60, 200, 250}));
    int slot = -1;
    int name = loadJpegTexture((dir + "/grey.jpg").c_str(), &slot);
    ASSERT_GT(name, 0);
    EXPECT_EQ(slot, name);
    Bytes grey = textureBytes(name, 2, 2);
    const int expected[4] = {200, 250, 10, 60};
    for (int i = 0; i < 4; i++) {
        EXPECT_NEAR(grey[4 * i], expected[i], 3) << i;
        EXPECT_EQ(grey[4 * i + 1], grey[4 * i]);
        EXPECT_EQ(grey[4 * i + 2], grey[4 * i]);
        EXPECT_EQ(grey[4 * i + 3], 255);
    }

    // CMYK as Adobe writers store it (inverted: 255 is no ink) becomes RGB.
    Bytes cmyk;
    for (int i = 0; i < 64; i++) cmyk.insert(cmyk.end(), {200, 100, 255, 128});
    Bytes cmykFile = encodeJpeg(8, 8, 4, cmyk);
    Image image = {0, 0, nullptr};
    ASSERT_EQ(decodeJpegMemory(cmykFile.data(), cmykFile.size(), &image, "cmyk.jpg"), 1);
    EXPECT_NEAR(image.pixels[0], 100, 3);
    EXPECT_NEAR(image.pixels[1], 50, 3);
    EXPECT_NEAR(image.pixels[2], 128, 3);
    EXPECT_EQ(image.pixels[3], 255);
    free(image.pixels);

    // A file above 3 MiB whose last rows (the bottom of the picture) are red.
    const int width = 1600, height = 1600;
    Bytes noise((size_t)width * height * 3);
    srand(7);
    for (size_t i = 0; i < noise.size(); i++) noise[i] = (uint8_t)rand();
    for (int y = height - 16; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t* p = &noise[((size_t)y * width + x) * 3];
            p[0] = 220;
            p[1] = 30;
            p[2] = 30;
        }
    Bytes big = encodeJpeg(width, height, 3, noise);
    ASSERT_GT(big.size(), 3u << 20);
    ASSERT_EQ(decodeJpegMemory(big.data(), big.size(), &image, "big.jpg"), 1);
    EXPECT_NEAR(image.pixels[4 * (width / 2)], 220, 4);
    EXPECT_NEAR(image.pixels[4 * (width / 2) + 1], 30, 4);
    free(image.pixels);

    // Damaged data and a forged size: logged, -1, the slot untouched.
    Bytes forged = encodeJpeg(2, 2, 1, {1, 2, 3, 4});
    for (size_t i = 0; i + 8 < forged.size(); i++)
        if (forged[i] == 0xff && forged[i + 1] == 0xc0) {
            forged[i + 5] = 0x4e;
            forged[i + 6] = 0x20;   // 20000 rows
            break;
        }
    writeBytes(dir + "/forged.jpg", forged);
    writeBytes(dir + "/junk.jpg", Bytes{0xff, 0xd8, 0xff, 0x00, 1, 2, 3});
    writeBytes(dir + "/empty.jpg", Bytes());
    slot = 55;
    size_t from = logSize();
    EXPECT_EQ(loadJpegTexture((dir + "/forged.jpg").c_str(), &slot), -1);
    EXPECT_EQ(loadJpegTexture((dir + "/junk.jpg").c_str(), &slot), -1);
    EXPECT_EQ(loadJpegTexture((dir + "/empty.jpg").c_str(), &slot), -1);
    EXPECT_EQ(loadJpegTexture((dir + "/none.jpg").c_str(), &slot), -1);
    EXPECT_EQ(slot, 55);
    std::string log = logSince(from);
    EXPECT_NE(log.find("forged.jpg> is too large"), std::string::npos) << log;
    EXPECT_NE(log.find("junk.jpg> cannot be decoded: "), std::string::npos) << log;
    EXPECT_NE(log.find("empty.jpg> cannot be decoded: "), std::string::npos) << log;
    EXPECT_NE(log.find("Can't find file <" + dir + "/none.jpg>\n"), std::string::npos) << log;
}

TEST(Texture, LoaderChosenByTheLetterAfterTheLastDot)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("tex_pick");
    Bytes tga = tgaFile(3, 1, 1, 8, 0, {50});
    Bytes jpeg = encodeJpeg(1, 1, 1, {50});
    for (const char* n : {"a.TGA", "b.tga", "c.x.Targa", "e.png"}) writeBytes(dir + "/" + n, tga);
    for (const char* n : {"f.jpeg", "g.JPG", "h.png", "i.tga.jpg"}) writeBytes(dir + "/" + n, jpeg);
    testing::internal::CaptureStderr();
    for (const char* n : {"a.TGA", "b.tga", "c.x.Targa", "f.jpeg", "g.JPG", "h.png", "i.tga.jpg"})
        EXPECT_GT(loadTexture(nullptr, (dir + "/" + n).c_str()), 0) << n;
    EXPECT_EQ(loadTexture(nullptr, (dir + "/e.png").c_str()), -1);   // TGA bytes read as JPEG
    testing::internal::GetCapturedStderr();
}

// ---- files written by other programs ----------------------------------------------

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
    // Stored as one luminance channel (read back as luminance: sampled it is
    // the grey in red, green and blue with alpha 1).
    Bytes grey(4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_LUMINANCE, GL_UNSIGNED_BYTE, grey.data());
    const int expected[4] = {200, 250, 10, 60};
    for (int i = 0; i < 4; i++) EXPECT_NEAR(grey[i], expected[i], 3) << i;

    // CMYK as Adobe writers store it (inverted: 255 is no ink) becomes RGB.
    Bytes cmyk;
    for (int i = 0; i < 64; i++) cmyk.insert(cmyk.end(), {200, 100, 255, 128});
    Bytes cmykFile = encodeJpeg(8, 8, 4, cmyk);
    Image image = {0, 0, nullptr, 0};
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

// An image of one channel (red) in RGBA, the others 0 and alpha 255.
static Image redImage(int width, int height, const std::vector<int>& red)
{
    Image image = {width, height, (unsigned char*)calloc((size_t)width * height, 4), 1};
    if (!image.pixels) abort();
    for (size_t i = 0; i < red.size() && i < (size_t)width * height; i++) {
        image.pixels[i * 4] = (unsigned char)red[i];
        image.pixels[i * 4 + 3] = 255;
    }
    return image;
}

static std::vector<int> levelRed(const Image& image, size_t offsetTexels, int count)
{
    std::vector<int> out;
    for (int i = 0; i < count; i++) out.push_back(image.pixels[(offsetTexels + i) * 4]);
    return out;
}

// Each level's texel is the mean of the texels above it that it covers,
// worked out by hand: 2 x 2 on even sides, three across an odd one; each
// row's mean is rounded half up, then the column's.
TEST(Texture, MipLevelsAreMeansOfTheLevelAbove)
{
    Image even = redImage(4, 2, {0, 10, 20, 30, 40, 50, 60, 70});
    ASSERT_EQ(addMipLevels(&even), 1);
    EXPECT_EQ(even.levels, 3);   // 4x2, 2x1, 1x1
    EXPECT_EQ(imageBytes(&even), (size_t)(8 + 2 + 1) * 4);
    EXPECT_EQ(levelRed(even, 8, 2), (std::vector<int>{25, 45}));   // (0+10+40+50)/4, (20+30+60+70)/4
    EXPECT_EQ(levelRed(even, 10, 1), (std::vector<int>{35}));
    EXPECT_EQ(even.pixels[8 * 4 + 3], 255);   // alpha averaged like the colours
    free(even.pixels);

    Image odd = redImage(5, 1, {10, 20, 30, 40, 50});
    ASSERT_EQ(addMipLevels(&odd), 1);
    EXPECT_EQ(odd.levels, 3);                                     // 5x1, 2x1, 1x1
    EXPECT_EQ(levelRed(odd, 5, 2), (std::vector<int>{20, 40}));   // columns 0..2 and 2..4
    EXPECT_EQ(levelRed(odd, 7, 1), (std::vector<int>{30}));
    free(odd.pixels);

    Image three = redImage(1, 3, {30, 60, 91});
    ASSERT_EQ(addMipLevels(&three), 1);
    EXPECT_EQ(levelRed(three, 3, 1), (std::vector<int>{60}));   // 181/3 rounds to 60
    three.levels = 1;
    three.pixels[2 * 4] = 92;
    ASSERT_EQ(addMipLevels(&three), 1);
    EXPECT_EQ(levelRed(three, 3, 1), (std::vector<int>{61}));   // 182/3 = 60.67 rounds up to 61
    free(three.pixels);

    Image halves = redImage(2, 2, {1, 0, 0, 0});
    ASSERT_EQ(addMipLevels(&halves), 1);
    EXPECT_EQ(levelRed(halves, 4, 1), (std::vector<int>{1}));   // rows 1 and 0, then 1 (a plain mean: 0)
    halves.pixels[0] = 2;
    halves.pixels[3 * 4] = 1;
    halves.levels = 1;
    ASSERT_EQ(addMipLevels(&halves), 1);   // rows (2, 0) and (0, 1): 1 and 1
    EXPECT_EQ(levelRed(halves, 4, 1), (std::vector<int>{1}));
    halves.levels = 1;
    for (int i = 0; i < 4; i++) halves.pixels[i * 4] = i == 2 ? 3 : 0;
    ASSERT_EQ(addMipLevels(&halves), 1);   // rows (0, 0) and (3, 0): 0 and 2, then 1
    EXPECT_EQ(levelRed(halves, 4, 1), (std::vector<int>{1}));
    free(halves.pixels);

    Image one = redImage(1, 1, {7});
    ASSERT_EQ(addMipLevels(&one), 1);
    EXPECT_EQ(one.levels, 1);
    EXPECT_EQ(imageBytes(&one), (size_t)4);
    free(one.pixels);
    Image none = {0, 0, nullptr, 0};
    EXPECT_EQ(addMipLevels(&none), 0);
}

// A loaded texture carries the levels the loader made, each at its own level
// of the GL texture (read back), down to 1 x 1.
TEST(Texture, LoadedTexturesCarryTheirMipLevels)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    std::string dir = makeTempDir("tex_mips");
    writeBytes(dir + "/grey.tga", tgaFile(3, 4, 2, 8, 0, {0, 10, 20, 30, 40, 50, 60, 70}));
    int name = loadTexture(nullptr, (dir + "/grey.tga").c_str());
    ASSERT_GT(name, 0);
    Bytes level1(2), level2(1);   // grey: one luminance channel
    glBindTexture(GL_TEXTURE_2D, (GLuint)name);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 1, GL_LUMINANCE, GL_UNSIGNED_BYTE, level1.data());
    glGetTexImage(GL_TEXTURE_2D, 2, GL_LUMINANCE, GL_UNSIGNED_BYTE, level2.data());
    EXPECT_EQ(level1, (Bytes{25, 45}));
    EXPECT_EQ(level2, (Bytes{35}));
    GLint width = 0, luminance = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 2, GL_TEXTURE_WIDTH, &width);
    EXPECT_EQ(width, 1);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 1, GL_TEXTURE_LUMINANCE_SIZE, &luminance);
    EXPECT_EQ(luminance, 8) << "a grey picture is stored as one channel";
    EXPECT_EQ(glGetError(), (GLenum)GL_NO_ERROR);
    freeTexture(&name);
}

// Only an image grey and opaque in every texel is stored as one channel: one
// channel off by one step, or alpha one short of opaque, keeps all four.
TEST(Texture, OnlyOpaqueGreyImagesAreOneChannel)
{
    unsigned char texels[3 * 4] = {7, 7, 7, 255, 0, 0, 0, 255, 200, 200, 200, 255};
    Image image = {3, 1, texels, 1};
    EXPECT_EQ(imageIsOpaqueGrey(&image), 1);
    for (int channel : {0, 1, 2, 3}) {
        unsigned char* texel = &texels[8 + channel];
        *texel -= 1;
        EXPECT_EQ(imageIsOpaqueGrey(&image), 0) << "channel " << channel;
        *texel += 1;
    }
    Image empty = {0, 0, nullptr, 0};
    EXPECT_EQ(imageIsOpaqueGrey(&empty), 0);
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

// ---- reloading by file name -------------------------------------------------------

// A changed file reloads the rows that name it whole ("a|b" names a and b), not a
// row whose name has the same length or starts the same; the count is of rows named.
TEST(Reload, RowsNamedByTheWholeFileName)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    static int program = -1, variant = -1, texture = -1;
    ResourceEntry table[] = {
        {&program, "ab.vs|ab.fs", nullptr, ShaderRow, 0},
        {&variant, "ab.vs|ab.fs?X,Y", nullptr, ShaderRow, 0},   // a variant is named by its file
        {&texture, "cd.tga", nullptr, TextureRow, 0},
        {nullptr, nullptr, nullptr, 0, 0},
    };
    testing::internal::CaptureStderr();
    for (const char* other : {"xy.vs", "xy.fs", "ab.v", "ab.vs|", "ab.fsx", "ab.fs?X", "ab.f", "cd.tgx", "cd.tg"})
        EXPECT_EQ(reloadResourceFile(table, other, nullptr), 0) << other;
    EXPECT_EQ(reloadResourceFile(table, "ab.vs", nullptr), 2);
    EXPECT_EQ(reloadResourceFile(table, "ab.fs", nullptr), 2);
    EXPECT_EQ(reloadResourceFile(table, "cd.tga", nullptr), 1);
    testing::internal::GetCapturedStderr();
}

// A changed mesh file gives its row the new geometry (and its box) and lists the mesh to be
// processed again; a damaged one fails and leaves the geometry it had.
TEST(Reload, AChangedMeshFileReplacesItsGeometry)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    mkdir("data", 0755);
    const char* name = "reload_mesh_test.bof";
    std::string path = std::string("data/") + name;
    writeText(path, "BOF1 3 1 0 0 0\n0 0 0 0 0 0\n1 1 0 0 0 0\n2 0 1 0 0 0\n0 0 1 2\n");
    Mesh mesh;
    memset(&mesh, 0, sizeof mesh);
    ASSERT_TRUE(loadMesh(&mesh, path.c_str()));
    ResourceEntry table[] = {{&mesh, name, nullptr, MeshRow, 0}, {nullptr, nullptr, nullptr, 0, 0}};
    writeText(path, "BOF1 3 1 0 0 0\n0 5 0 0 0 0\n1 6 0 0 0 0\n2 5 1 0 0 0\n0 0 1 2\n");
    ReloadResult result;
    EXPECT_EQ(reloadResourceFile(table, name, &result), 1);
    EXPECT_EQ(result.replaced, 1);
    ASSERT_EQ(result.meshCount, 1);
    EXPECT_EQ(result.meshes[0], &mesh);
    EXPECT_EQ(mesh.vertices[0].x, 5.0f);
    EXPECT_EQ(mesh.vertices[1].x, 6.0f);
    EXPECT_EQ(mesh.boxLow[0], 5.0f);   // the box the cull goes by moved with it
    EXPECT_EQ(mesh.boxHigh[0], 6.0f);
    writeText(path, "BOF1 3 1 0 0 0\n0 9 0 0 0 0\n");   // cut short
    testing::internal::CaptureStderr();
    EXPECT_EQ(reloadResourceFile(table, name, &result), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.failed, 1);
    EXPECT_EQ(result.meshCount, 0);
    EXPECT_EQ(mesh.vertices[0].x, 5.0f);
    freeMesh(&mesh);
    unlink(path.c_str());
}

// A changed shader file gives its row a new program, which takes every place
// of the old one (deleted then) and is listed as made; one that does not
// compile leaves the old and lists none.
TEST(Reload, AChangedShaderTakesThePlaceOfTheOld)
{
    if (!testGLContext(64, 64)) GTEST_SKIP() << "no display for a GL context";
    mkdir("data", 0755);
    const std::string vertex = "#version 100\nattribute vec3 vpos;\nvoid main() { gl_Position = vec4(vpos, 1.0); }\n";
    const std::string fragment = "#version 100\nprecision mediump float;\nvoid main() { gl_FragColor = vec4(1.0); }\n";
    writeText("data/reload_test.vs", vertex);
    writeText("data/reload_test.fs", fragment);
    int program = loadShaderFiles("data/reload_test.vs", "data/reload_test.fs", 1 << 20);
    ASSERT_GT(program, 0);
    Mesh user;
    memset(&user, 0, sizeof user);
    user.program = program;
    ResourceEntry table[] = {{&program, "reload_test.vs|reload_test.fs", nullptr, ShaderRow, 0},
                             {&user, "none.bof", &program, MeshRow, 0},
                             {nullptr, nullptr, nullptr, 0, 0}};
    int old = program;
    writeText("data/reload_test.fs", fragment + "// changed\n");
    testing::internal::CaptureStderr();
    ReloadResult result;
    EXPECT_EQ(reloadResourceFile(table, "reload_test.fs", &result), 1);
    ASSERT_GT(program, 0);
    EXPECT_NE(program, old);
    EXPECT_EQ(user.program, program);
    EXPECT_FALSE(glIsProgram((GLuint)old));
    ASSERT_EQ(result.programCount, 1);
    EXPECT_EQ(result.programs[0], program);
    old = program;
    writeText("data/reload_test.fs", "#version 100\nvoid main() { not glsl }\n");
    EXPECT_EQ(reloadResourceFile(table, "reload_test.fs", &result), 1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(result.programCount, 0);
    EXPECT_EQ(program, old);
    EXPECT_TRUE(glIsProgram((GLuint)old));
    glDeleteProgram((GLuint)program);
    unlink("data/reload_test.vs");
    unlink("data/reload_test.fs");
}

// ---- files written by other programs ----------------------------------------------

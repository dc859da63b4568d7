// The TGA reader: raw reads (true colour, runs, swaps), refused headers and
// short files with their reports, and decoding every common kind to RGBA.
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

// Reads with the texture loader's flags; returns the handle's status.
static int readTga(const Bytes& file, TgaFile** handle, TgaData* data, std::string* report = nullptr)
{
    *data = TgaData{nullptr, nullptr, nullptr, TgaImageData | TgaRedBlueSwap};
    testing::internal::CaptureStderr();
    *handle = openTgaMemory(file.data(), file.size());
    readTgaImage(*handle, data);
    std::string text = testing::internal::GetCapturedStderr();
    if (report) *report = text;
    return *handle ? (*handle)->status : -1;
}

static void release(TgaFile* handle, TgaData* data)
{
    closeTga(handle);
    free(data->imageId);
    free(data->colorMap);
    free(data->pixels);
}

TEST(TgaReader, TrueColourSwapRunsAndTypeAfterDecoding)
{
    TgaFile* tga;
    TgaData data;
    ASSERT_EQ(readTga(tgaFile(2, 2, 1, 24, 0, {10, 20, 30, 40, 50, 60}), &tga, &data), TgaSuccess);
    EXPECT_EQ(data.flags, (uint32_t)(TgaImageData | TgaRedBlueSwap));
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 6), (Bytes{30, 20, 10, 60, 50, 40}));
    release(tga, &data);

    // 131 = a run of four copies of one pixel; the header then says type 2.
    ASSERT_EQ(readTga(tgaFile(10, 4, 1, 24, 0, {131, 1, 2, 3}), &tga, &data), TgaSuccess);
    EXPECT_EQ(tga->imageType, 2);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 12), (Bytes{3, 2, 1, 3, 2, 1, 3, 2, 1, 3, 2, 1}));
    release(tga, &data);

    // 127 = a raw packet of 128 pixels.
    Bytes body = {127};
    for (int i = 0; i < 128; i++) body.push_back((uint8_t)i);
    ASSERT_EQ(readTga(tgaFile(11, 128, 1, 8, 0, body), &tga, &data), TgaSuccess);
    EXPECT_EQ(tga->imageType, 3);
    for (int i = 0; i < 128; i++) ASSERT_EQ(data.pixels[i], i);
    release(tga, &data);

    // A run across the scanline end continues on the next line; one running
    // past the last pixel is clipped.
    ASSERT_EQ(readTga(tgaFile(11, 2, 2, 8, 0, {130, 9, 0, 7}), &tga, &data), TgaSuccess);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 4), (Bytes{9, 9, 9, 7}));
    release(tga, &data);
    ASSERT_EQ(readTga(tgaFile(11, 2, 2, 8, 0, {255, 4}), &tga, &data), TgaSuccess);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 4), (Bytes{4, 4, 4, 4}));
    release(tga, &data);
    ASSERT_EQ(readTga(tgaFile(11, 2, 1, 8, 0, {127, 1, 2, 3}), &tga, &data), TgaSuccess);
    EXPECT_EQ(Bytes(data.pixels, data.pixels + 2), (Bytes{1, 2}));
    release(tga, &data);
}

TEST(TgaReader, RejectsBadHeadersAndShortFilesWithReports)
{
    struct Case {
        Bytes file;
        int status;
        const char* report;
    };
    const std::string unit = "Libtga:common/libtga-1.0.1/src/tgaread:";
    Bytes pixels16(2 * 2 * 2, 0);
    const Case cases[] = {
        {tgaFile(1, 2, 2, 16, 0, pixels16, 1, 0, 2, 24), TgaUnknownFormat, "129: Unknown sub-format\n"},
        {tgaFile(2, 2, 2, 12, 0, pixels16), TgaUnknownFormat, "141: Unknown sub-format\n"},
        {tgaFile(2, 2, 2, 8, 0, pixels16), TgaUnknownFormat, "141: Unknown sub-format\n"},
        {tgaFile(3, 2, 2, 24, 0, Bytes(12, 0)), TgaUnknownFormat, "141: Unknown sub-format\n"},
        {tgaFile(32, 2, 2, 24, 0, Bytes(12, 0)), TgaUnknownFormat, "117: Unknown sub-format\n"},
        {tgaFile(1, 2, 2, 8, 0, Bytes(4, 0)), TgaUnknownFormat, "129: Unknown sub-format\n"},   // no map
        {Bytes(10, 0), TgaReadFailed, "109: Read failed\n"},
        {Bytes(), TgaReadFailed, "109: Read failed\n"},
        {tgaFile(2, 2, 2, 24, 0, Bytes(11, 0)), TgaReadFailed, "70: Read failed\n"},
        {tgaFile(2, 65535, 65535, 32, 0, Bytes(64, 0)), TgaReadFailed, "70: Read failed\n"},
        {tgaFile(10, 65535, 65535, 32, 0, Bytes(64, 0)), TgaReadFailed, "70: Read failed\n"},
        {tgaFile(10, 4, 4, 24, 0, {131, 1, 2, 3, 0, 1}), TgaReadFailed, "304: Read failed\n"},
        {tgaFile(1, 2, 1, 8, 0, {1, 2, 3, 4, 5, 6}, 1, 0, 3, 24), TgaReadFailed, "205: Read failed\n"},
        {tgaFile(1, 2, 1, 8, 0, {1, 2, 3, 4, 5, 6}, 1, 0, 3, 12), TgaUnknownFormat, "63: Unknown sub-format\n"},
    };
    for (const Case& c : cases) {
        TgaFile* tga;
        TgaData data;
        std::string report;
        EXPECT_EQ(readTga(c.file, &tga, &data, &report), c.status) << report;
        EXPECT_FALSE(data.flags & TgaImageData) << report;
        EXPECT_NE(report.find(unit + c.report), std::string::npos) << report;
        release(tga, &data);
        Image image = {0, 0, nullptr, 0};
        testing::internal::CaptureStderr();
        EXPECT_EQ(decodeTgaMemory(c.file.data(), c.file.size(), &image), 0);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(image.pixels, nullptr);
    }
    testing::internal::CaptureStderr();
    EXPECT_EQ(openTga("no/such/file.tga"), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Libtga:common/libtga-1.0.1/src/tga:44: Failed to open file\n");
    const char* texts[] = {"Success",     "Error",       "Out of memory", "Failed to open file",
                           "Seek failed", "Read failed", "Write failed",  "Unknown sub-format",
                           "Error"};
    for (int code = 0; code < 9; code++) EXPECT_STREQ(tgaStatusText(code), texts[code]);
    EXPECT_STREQ(tgaStatusText(-1), "Error");
}

static Bytes decode(const Bytes& file, int* width = nullptr, int* height = nullptr)
{
    Image image = {0, 0, nullptr, 0};
    testing::internal::CaptureStderr();
    int ok = decodeTgaMemory(file.data(), file.size(), &image);
    testing::internal::GetCapturedStderr();
    if (!ok) return Bytes();
    Bytes out(image.pixels, image.pixels + (size_t)image.width * image.height * 4);
    if (width) *width = image.width;
    if (height) *height = image.height;
    free(image.pixels);
    return out;
}

TEST(TgaDecode, ConvertsEveryCommonKindToBottomUpRgba)
{
    EXPECT_EQ(decode(tgaFile(3, 2, 1, 8, 0, {7, 200})), (Bytes{7, 7, 7, 255, 200, 200, 200, 255}));
    EXPECT_EQ(decode(tgaFile(3, 1, 1, 16, 8, {90, 33})), (Bytes{90, 90, 90, 33}));
    // 15/16-bit: 0x7c00 red, 0x03e0 green, 0x801f blue with the alpha bit.
    EXPECT_EQ(decode(tgaFile(2, 3, 1, 16, 1, {0x00, 0x7c, 0xe0, 0x03, 0x1f, 0x80})),
              (Bytes{255, 0, 0, 0, 0, 255, 0, 0, 0, 0, 255, 255}));
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 15, 0, {0x10, 0x42})), (Bytes{132, 132, 132, 255}));
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 16, 0, {0x00, 0x7c})), (Bytes{255, 0, 0, 255}));
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 32, 8, {1, 2, 3, 4})), (Bytes{3, 2, 1, 4}));
    // Colour map starting at entry 5: index 5 and 6 in range, 4 and 7 black.
    EXPECT_EQ(decode(tgaFile(1, 4, 1, 8, 0, {10, 20, 30, 40, 50, 60, 5, 6, 4, 7}, 1, 5, 2, 24)),
              (Bytes{30, 20, 10, 255, 60, 50, 40, 255, 0, 0, 0, 255, 0, 0, 0, 255}));
    EXPECT_EQ(decode(tgaFile(9, 2, 1, 8, 0, {0x00, 0x7c, 129, 0}, 1, 0, 1, 16)),
              (Bytes{255, 0, 0, 255, 255, 0, 0, 255}));
    EXPECT_EQ(decode(tgaFile(1, 1, 1, 8, 0, {1, 2, 3, 4, 0}, 1, 0, 1, 32)), (Bytes{3, 2, 1, 4}));
    // A 15-bit map entry reads like a 15-bit pixel (0x4210: 16 of 31 each); 14 bits is no entry size.
    EXPECT_EQ(decode(tgaFile(1, 1, 1, 8, 0, {0x10, 0x42, 0}, 1, 0, 1, 15)), (Bytes{132, 132, 132, 255}));
    EXPECT_EQ(decode(tgaFile(1, 1, 1, 8, 0, {0x10, 0x42, 0}, 1, 0, 1, 14)), Bytes());
    // Top row first (bit 5) and right to left (bit 4) are both undone.
    EXPECT_EQ(decode(tgaFile(3, 1, 2, 8, 0x20, {1, 2})), (Bytes{2, 2, 2, 255, 1, 1, 1, 255}));
    EXPECT_EQ(decode(tgaFile(3, 2, 1, 8, 0x10, {1, 2})), (Bytes{2, 2, 2, 255, 1, 1, 1, 255}));
    EXPECT_EQ(decode(tgaFile(3, 0, 1, 8, 0, {})), Bytes());
    // A short run-length file may not claim more than 16384 pixels a side.
    Bytes runs;
    for (int i = 0; i < 160; i++) runs.insert(runs.end(), {255, 9});
    EXPECT_EQ(decode(tgaFile(11, 16384, 1, 8, 0, runs)).size(), 16384u * 4);
    EXPECT_EQ(decode(tgaFile(11, 16385, 1, 8, 0, runs)), Bytes());
}

// ---- textures -----------------------------------------------------------------------

TEST(TgaDecode, GreyColourMapsGiveGreyPixels)
{
    // Map entries 1..3 hold greys 10, 200, 77; index 0 lies before the map: black.
    EXPECT_EQ(decode(tgaFile(1, 4, 1, 8, 0, {10, 200, 77, 3, 1, 2, 0}, 1, 1, 3, 8)),
              (Bytes{77, 77, 77, 255, 10, 10, 10, 255, 200, 200, 200, 255, 0, 0, 0, 255}));
    // Run-length: 129 = two copies of index 1, then a raw packet of index 0.
    EXPECT_EQ(decode(tgaFile(9, 3, 1, 8, 0, {5, 250, 129, 1, 0, 0}, 1, 0, 2, 8)),
              (Bytes{250, 250, 250, 255, 250, 250, 250, 255, 5, 5, 5, 255}));
    // The map is read as it stands, no red-blue swap on one-byte entries.
    TgaFile* tga;
    TgaData data;
    ASSERT_EQ(readTga(tgaFile(1, 1, 1, 8, 0, {10, 20, 30, 2}, 1, 0, 3, 8), &tga, &data), TgaSuccess);
    ASSERT_TRUE(data.flags & TgaColorMapRead);
    EXPECT_EQ(Bytes(data.colorMap, data.colorMap + 3), (Bytes{10, 20, 30}));
    EXPECT_EQ(data.pixels[0], 2);
    release(tga, &data);
}

// An indexed picture needs its map: without one, or with an empty one, it is
// refused; the smallest map (one 8-bit entry, one byte) is enough.
TEST(TgaDecode, IndexedPicturesNeedTheirMap)
{
    EXPECT_EQ(decode(tgaFile(1, 1, 1, 8, 0, {99, 0}, 1, 0, 1, 8)), (Bytes{99, 99, 99, 255}));
    EXPECT_EQ(decode(tgaFile(1, 1, 1, 8, 0, {0}, 0, 0, 0, 8)), Bytes());   // no map at all
    EXPECT_EQ(decode(tgaFile(1, 1, 1, 8, 0, {0}, 1, 0, 0, 8)), Bytes());   // a map of no entries
}

TEST(TgaDecode, MapBytesAreSkippedEvenWithoutAMap)
{
    // Map type 0 but two 24-bit entries described: six bytes before the pixels.
    EXPECT_EQ(decode(tgaFile(2, 1, 1, 24, 0, {9, 9, 9, 9, 9, 9, 1, 2, 3}, 0, 0, 2, 24)), (Bytes{3, 2, 1, 255}));
    // Three 15-bit entries (two bytes each) before grey pixels.
    EXPECT_EQ(decode(tgaFile(3, 2, 1, 8, 0, {1, 1, 1, 1, 1, 1, 40, 80}, 0, 0, 3, 15)),
              (Bytes{40, 40, 40, 255, 80, 80, 80, 255}));
    // One 32-bit entry before a run-length packet; the first index does not matter.
    EXPECT_EQ(decode(tgaFile(10, 2, 1, 24, 0, {0xaa, 0xaa, 0xaa, 0xaa, 129, 1, 2, 3}, 0, 7, 1, 32)),
              (Bytes{3, 2, 1, 255, 3, 2, 1, 255}));
    // An image id comes first, then the skipped map.
    Bytes withId = tgaFile(3, 1, 1, 8, 0, {'i', 'd', 5, 5, 66}, 0, 0, 2, 8);
    withId[0] = 2;
    EXPECT_EQ(decode(withId), (Bytes{66, 66, 66, 255}));
    // A file shorter than the map it describes plus its pixels fails.
    std::string report;
    TgaFile* tga;
    TgaData data;
    EXPECT_EQ(readTga(tgaFile(2, 1, 1, 24, 0, {1, 2, 3}, 0, 0, 100, 24), &tga, &data, &report), TgaReadFailed);
    EXPECT_NE(report.find("Libtga:common/libtga-1.0.1/src/tgaread:70: Read failed\n"), std::string::npos) << report;
    release(tga, &data);
}

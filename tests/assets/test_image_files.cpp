// The image decoders against gdk-pixbuf's own test images: reference TGAs and a
// JPEG decode to their PNGs, hostile files fail cleanly.
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

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#define STB_IMAGE_STATIC
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#pragma GCC diagnostic pop

// Extracts Debian's gdk-pixbuf-tests once under the working directory; returns
// its installed-tests directory, or "" when the package cannot be fetched.
static std::string gdkPixbufTests()
{
    static std::string root;
    static int tried = 0;
    const std::string dir = "gdk-pixbuf-tests";
    const std::string tests = dir + "/x/usr/libexec/installed-tests/gdk-pixbuf";
    if (!tried) {
        tried = 1;
        if (runCommand("test -d " + tests + "/test-images/reftests/tga") != 0)
            runCommand("rm -rf " + dir + " && mkdir -p " + dir + " && cd " + dir +
                       " && apt-get download -q gdk-pixbuf-tests >/dev/null 2>&1"
                       " && dpkg-deb -x gdk-pixbuf-tests_*.deb x && rm -f gdk-pixbuf-tests_*.deb");
        if (runCommand("test -d " + tests + "/test-images/reftests/tga") == 0) root = tests;
    }
    return root;
}

#define REQUIRE_GDK_FILES(var)                                                                                         \
    std::string var = gdkPixbufTests();                                                                                \
    if (var.empty()) GTEST_SKIP() << "gdk-pixbuf-tests could not be fetched (apt-get download + dpkg-deb -x)"

// Compares a bottom-up RGBA image with a top-down reference PNG; returns the
// largest channel difference (alpha 0 pixels compare their alpha only).
static int compareWithPng(const Image& image, const std::string& png)
{
    int w = 0, h = 0, n = 0;
    unsigned char* ref = stbi_load(png.c_str(), &w, &h, &n, 4);
    if (!ref || w != image.width || h != image.height) {
        stbi_image_free(ref);
        return 1000;
    }
    int worst = 0;
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const unsigned char* a = image.pixels + ((size_t)(h - 1 - y) * w + x) * 4;
            const unsigned char* b = ref + ((size_t)y * w + x) * 4;
            int channels = (a[3] == 0 && b[3] == 0) ? 0 : 3;
            for (int c = 0; c <= channels; c++)
                worst = std::max(worst, abs(a[c == channels ? 3 : c] - b[c == channels ? 3 : c]));
        }
    stbi_image_free(ref);
    return worst;
}

TEST(GdkPixbufFiles, EveryReferenceTgaDecodesToItsPng)
{
    REQUIRE_GDK_FILES(root);
    std::string refs = root + "/test-images/reftests";
    std::vector<std::string> names;
    FILE* list = popen(("ls " + refs + "/tga/*.tga " + refs + "/*.tga").c_str(), "r");
    char line[512];
    while (list && fgets(line, sizeof line, list)) {
        line[strcspn(line, "\n")] = 0;
        names.push_back(line);
    }
    if (list) pclose(list);
    ASSERT_EQ(names.size(), 47u);   // 44 of every kind and orientation, 3 damaged ones
    for (const std::string& name : names) {
        Image image = {0, 0, nullptr, 0};
        ASSERT_EQ(decodeTgaFile(name.c_str(), &image), 1) << name;
        int tolerance = name.find("-16bpp") != std::string::npos && name.find("gray") == std::string::npos;
        EXPECT_LE(compareWithPng(image, name + ".ref.png"), tolerance) << name;
        free(image.pixels);
    }
}

TEST(GdkPixbufFiles, HostileFilesFailCleanly)
{
    REQUIRE_GDK_FILES(root);
    std::string images = root + "/test-images";
    testing::internal::CaptureStderr();
    for (const char* name : {"fail/colormap-image-without-colormap.tga", "fail/empty-file.tga", "fail/overflow.tga",
                             "fail/androstanRezeptor.tga", "fail/DoS.tga"}) {
        Image image = {0, 0, nullptr, 0};
        EXPECT_EQ(decodeTgaFile((images + "/" + name).c_str(), &image), 0) << name;
        EXPECT_EQ(image.pixels, nullptr);
    }
    // Randomly damaged files: any outcome but a crash or a bad access.
    for (const char* name : {"randomly-modified/valid.1.tga", "randomly-modified/valid.2.tga"}) {
        Image image = {0, 0, nullptr, 0};
        if (decodeTgaFile((images + "/" + name).c_str(), &image)) free(image.pixels);
    }
    for (const char* name :
         {"fail/CVE-2017-2862.jpg", "randomly-modified/valid.1.jpeg", "randomly-modified/valid.2.jpeg",
          "randomly-modified/bug775697.jpg", "../premature-end.jpg", "../issue70.jpg", "../bug775218.jpg"}) {
        unsigned char* data = nullptr;
        size_t size = 0;
        ASSERT_EQ(readWholeFile((images + "/" + name).c_str(), NoFileLimit, &data, &size), 1) << name;
        Image image = {0, 0, nullptr, 0};
        if (decodeJpegMemory(data, size, &image, nullptr)) free(image.pixels);
        free(data);
    }
    testing::internal::GetCapturedStderr();
}

TEST(GdkPixbufFiles, ReferenceJpegMatchesItsPng)
{
    REQUIRE_GDK_FILES(root);
    std::string name = root + "/test-images/reftests/cat.jpg";
    unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(readWholeFile(name.c_str(), NoFileLimit, &data, &size), 1);
    Image image = {0, 0, nullptr, 0};
    ASSERT_EQ(decodeJpegMemory(data, size, &image, name.c_str()), 1);
    EXPECT_LE(compareWithPng(image, name + ".ref.png"), 2);
    free(image.pixels);
    free(data);
}

// What the asset tests share: byte buffers, files written for a test, the
// log read back from where a test began, and TGA files made by hand. Each
// program runs in a directory of its own, so the demo.log lines it checks
// are its own even while other test programs run beside it.
#pragma once
#include "platform/platform.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>
#include <string>
#include <vector>

typedef std::vector<uint8_t> Bytes;

static const int inOwnDirectory = [] {
    mkdir("assets_work", 0755);
    return chdir("assets_work");
}();

static void writeBytes(const std::string& path, const Bytes& bytes)
{
    FILE* file = fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    if (!bytes.empty()) fwrite(bytes.data(), 1, bytes.size(), file);
    fclose(file);
}

[[maybe_unused]] static void writeText(const std::string& path, const std::string& text)
{
    writeBytes(path, Bytes(text.begin(), text.end()));
}

[[maybe_unused]] static size_t logSize() { return readFile("demo.log").size(); }
[[maybe_unused]] static std::string logSince(size_t from) { return readFile("demo.log").substr(from); }

[[maybe_unused]] static Bytes tgaFile(int type, int width, int height, int depth, int descriptor, const Bytes& body,
                                      int mapType = 0, int mapFirst = 0, int mapLength = 0, int mapBits = 0)
{
    Bytes b = {0,
               (uint8_t)mapType,
               (uint8_t)type,
               (uint8_t)mapFirst,
               (uint8_t)(mapFirst >> 8),
               (uint8_t)mapLength,
               (uint8_t)(mapLength >> 8),
               (uint8_t)mapBits,
               0,
               0,
               0,
               0,
               (uint8_t)width,
               (uint8_t)(width >> 8),
               (uint8_t)height,
               (uint8_t)(height >> 8),
               (uint8_t)depth,
               (uint8_t)descriptor};
    b.resize(18 + body.size());
    if (!body.empty()) memcpy(&b[18], body.data(), body.size());
    return b;
}

// The arithmetic and checks behind the player's limits: which data files are
// read and the sound-latency clock.
#include "platform/platform.h"
#include <gtest/gtest.h>
#include <fcntl.h>
#include <stdlib.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A scratch directory of its own, removed with everything in it.
struct Scratch {
    std::string dir;
    Scratch()
    {
        char name[] = "/tmp/kestrel_limits_XXXXXX";
        dir = mkdtemp(name) ? name : "";
    }
    ~Scratch()
    {
        if (!dir.empty()) system(("rm -rf '" + dir + "'").c_str());
    }
    std::string path(const char* name) const { return dir + "/" + name; }
};

}   // namespace

TEST(DataFileCheck, OnlyRegularFilesWithinTheLimitAreRead)
{
    EXPECT_EQ(dataFileRefusal(S_IFREG | 0644, 100, 100), nullptr);
    EXPECT_STREQ(dataFileRefusal(S_IFREG | 0644, 101, 100), "larger than its limit");
    EXPECT_STREQ(dataFileRefusal(S_IFIFO | 0644, 0, 100), "a named pipe");
    EXPECT_STREQ(dataFileRefusal(S_IFCHR | 0644, 0, 100), "a device");
    EXPECT_STREQ(dataFileRefusal(S_IFBLK | 0644, 0, 100), "a device");
    EXPECT_STREQ(dataFileRefusal(S_IFDIR | 0755, 4096, 1 << 20), "a directory");
    EXPECT_STREQ(dataFileRefusal(S_IFSOCK | 0644, 0, 100), "a socket");
}

// A pipe without a writer would block open() and read() forever; a sparse
// 3 GB file would be read whole. Both must come back at once, refused.
TEST(DataFileCheck, PipesAndHugeFilesAreRefusedWithoutReading)
{
    Scratch scratch;
    ASSERT_FALSE(scratch.dir.empty());
    std::string fifo = scratch.path("pipe.jpg"), huge = scratch.path("huge.bof");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    int fd = open(huge.c_str(), O_CREAT | O_WRONLY, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(ftruncate(fd, (off_t)3 << 30), 0);
    close(fd);

    int status = 7;
    EXPECT_EQ(openDataFile(fifo.c_str(), TextureFileLimit, &status), nullptr);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(checkDataFile(fifo.c_str(), TextureFileLimit), -1);
    unsigned char* data = nullptr;
    size_t size = 0;
    EXPECT_EQ(readWholeFile(huge.c_str(), MeshFileLimit, &data, &size), -1);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(readWholeFile(scratch.dir.c_str(), MeshFileLimit, &data, &size), -1);
    EXPECT_EQ(readWholeFile(scratch.path("missing").c_str(), MeshFileLimit, &data, &size), 0);
    EXPECT_EQ(checkDataFile(scratch.path("missing").c_str(), MeshFileLimit), 0);
    EXPECT_EQ(openDataFile(scratch.path("missing").c_str(), MeshFileLimit, &status), nullptr);
    EXPECT_EQ(status, 0);
}

TEST(DataFileCheck, ARegularFileIsReadWholeUpToItsLimit)
{
    Scratch scratch;
    std::string name = scratch.path("track");
    FILE* f = fopen(name.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    fputs("0123456789", f);
    fclose(f);
    unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(readWholeFile(name.c_str(), 10, &data, &size), 1);
    EXPECT_EQ(size, 10u);
    EXPECT_EQ(std::string((const char*)data), "0123456789");
    free(data);
    data = nullptr;
    EXPECT_EQ(readWholeFile(name.c_str(), 9, &data, &size), -1);
    EXPECT_EQ(data, nullptr);
    int status = 0;
    FILE* opened = openDataFile(name.c_str(), 10, &status);
    ASSERT_NE(opened, nullptr);
    EXPECT_EQ(status, 1);
    char text[16] = {0};
    EXPECT_EQ(fread(text, 1, sizeof text, opened), 10u);   // blocking reads work after the check
    fclose(opened);
}

TEST(SoundLatency, BufferAndQueueAtTheObtainedRate)
{
    EXPECT_FLOAT_EQ(audioLatencySeconds(1024, 44100, 0), 1024.0f / 44100.0f);
    EXPECT_FLOAT_EQ(audioLatencySeconds(512, 48000, 1024), 1536.0f / 48000.0f);
    EXPECT_EQ(audioLatencySeconds(1024, 0, 0), 0.0f);
    EXPECT_EQ(audioLatencySeconds(-1, 44100, 0), 0.0f);
}

TEST(SoundLatency, ThePictureWaitsForTheSoundAndNeverRunsBeforeZero)
{
    float latency = audioLatencySeconds(1024, 44100, 0);
    EXPECT_FLOAT_EQ(showClockSeconds(10.0f, latency), 10.0f - latency);
    EXPECT_FLOAT_EQ(showClockSeconds(10.0f, latency + 0.040f), 10.0f - latency - 0.040f);   // speakers add 40 ms
    EXPECT_FLOAT_EQ(showClockSeconds(10.0f, latency - 0.100f), 10.0f - latency + 0.100f);   // display adds 100 ms
    EXPECT_EQ(showClockSeconds(0.01f, latency), 0.0f);   // the first 23 ms hold the first frame
    EXPECT_EQ(showClockSeconds(0.0f, 0.0f), 0.0f);
}

// The folder watcher: a file written (twice) is handed out once, when its
// latest write lies the settle time before the poll (one step short: not yet),
// with the folder it is in; moved-in files count, folders moved in do not;
// the limits on folders and name lengths; a retried file comes back after the
// settle time; and the watcher works when it is given descriptor 0.
#include "platform/platform.h"
#include "support/files.h"
#include <gtest/gtest.h>
#include <stdio.h>
#include <string.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

static void writeFile(const std::string& path)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_TRUE(f) << path;
    fputs("x", f);
    fclose(f);
}

// Polls at now with a settle time of 0.5 s into events; returns the count.
static int poll(double now, WatchEvent* events, int capacity = 8) { return watchPoll(now, 0.5, events, capacity); }

TEST(Watch, AWrittenFileSettlesThenGoesOutOnce)
{
    std::string a = makeTempDir("watch_a"), b = makeTempDir("watch_b"), elsewhere = makeTempDir("watch_else");
    ASSERT_EQ(1, watchStart());
    ASSERT_EQ(0, watchFolder(a.c_str()));
    ASSERT_EQ(1, watchFolder(b.c_str()));
    WatchEvent events[8];
    writeFile(a + "/x.txt");
    EXPECT_EQ(0, poll(10.0, events));
    writeFile(a + "/x.txt");   // an editor's second write: one change, settling from this write
    EXPECT_EQ(0, poll(10.25, events));
    EXPECT_EQ(0, poll(10.74, events));
    ASSERT_EQ(1, poll(10.75, events));
    EXPECT_EQ(0, events[0].folder);
    EXPECT_STREQ("x.txt", events[0].name);
    EXPECT_EQ(10.25, events[0].changedAt);
    EXPECT_EQ(0, poll(20.0, events));

    // Moved into b: a file counts, a folder does not.
    writeFile(elsewhere + "/y.txt");
    ASSERT_EQ(0, rename((elsewhere + "/y.txt").c_str(), (b + "/y.txt").c_str()));
    ASSERT_EQ(0, mkdir((elsewhere + "/sub").c_str(), 0700));
    ASSERT_EQ(0, rename((elsewhere + "/sub").c_str(), (b + "/sub").c_str()));
    EXPECT_EQ(0, poll(30.0, events));
    ASSERT_EQ(1, poll(31.0, events));
    EXPECT_EQ(1, events[0].folder);
    EXPECT_STREQ("y.txt", events[0].name);

    // A retried file goes out again the settle time after the retry.
    watchRetry(&events[0], 40.0);
    EXPECT_EQ(0, poll(40.49, events));
    ASSERT_EQ(1, poll(40.5, events));
    EXPECT_STREQ("y.txt", events[0].name);
    watchStop();
    EXPECT_EQ(0, poll(50.0, events));
}

TEST(Watch, LimitsOnFoldersNamesAndCapacity)
{
    ASSERT_EQ(1, watchStart());
    EXPECT_EQ(-1, watchFolder("no/such/folder"));
    std::string dirs[MaxWatchedFolders + 1];
    for (int i = 0; i <= MaxWatchedFolders; i++) dirs[i] = makeTempDir("watch_limit" + std::to_string(i));
    for (int i = 0; i < MaxWatchedFolders; i++) EXPECT_EQ(i, watchFolder(dirs[i].c_str()));
    EXPECT_EQ(-1, watchFolder(dirs[MaxWatchedFolders].c_str()));

    // A name of WatchNameSize - 1 characters is kept, one more is not.
    std::string kept(WatchNameSize - 1, 'k'), dropped(WatchNameSize, 'd');
    writeFile(dirs[0] + "/" + kept);
    writeFile(dirs[0] + "/" + dropped);
    writeFile(dirs[1] + "/z");
    WatchEvent events[8];
    EXPECT_EQ(0, poll(1.0, events));
    // Two settled files and room for one: the other goes out on the next poll.
    ASSERT_EQ(1, poll(2.0, events, 1));
    ASSERT_EQ(1, poll(2.0, events + 1, 1));
    EXPECT_EQ(0, poll(3.0, events));
    std::string got[2] = {events[0].name, events[1].name};
    EXPECT_TRUE((got[0] == kept && got[1] == "z") || (got[0] == "z" && got[1] == kept)) << got[0] << ", " << got[1];
    watchStop();
}

TEST(Watch, WorksOnDescriptorZero)
{
    // A program started with its standard input closed gets descriptor 0
    // for the first thing it opens.
    int saved = dup(0);
    close(0);
    int started = watchStart();
    std::string a = makeTempDir("watch_zero");
    int folder = watchFolder(a.c_str());
    writeFile(a + "/w");
    WatchEvent events[8];
    poll(1.0, events);
    int got = poll(2.0, events);
    watchStop();
    if (saved >= 0) {
        dup2(saved, 0);
        close(saved);
    }
    EXPECT_EQ(1, started);
    EXPECT_EQ(0, folder);
    EXPECT_EQ(1, got);
}

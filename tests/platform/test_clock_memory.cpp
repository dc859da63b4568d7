// Clocks, memory and allocation counting: elapsed time across the tick wrap,
// large blocks mapped on their own and the heap's top kept once pinned, the
// loading heap, and the bench's allocation counter.
#include "platform/platform.h"
#include <gtest/gtest.h>
#include <malloc.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

TEST(Clock, ElapsedTimeSurvivesTheTickCounterWrap)
{
    EXPECT_FLOAT_EQ(ticksToSeconds(0x00000010u, 0xFFFFFFF0u), 0.032f);
    EXPECT_FLOAT_EQ(ticksToSeconds(1500u, 0u), 1.5f);
    EXPECT_FLOAT_EQ(ticksToSeconds(0xFFFFFFFFu, 0xFFFFFFFFu), 0.0f);
}

// glibc marks a chunk that has a mapping of its own with bit 1 (IS_MMAPPED) of
// the size word just before the block.
static bool mappedOnItsOwn(void* block) { return (((const size_t*)block)[-1] & 2u) != 0; }

// Once pinned, a block that the heap cannot hold is mapped on its own even
// after a larger mapped block was freed; glibc's default would have raised its
// threshold to that block's size and grown the heap for the next one instead.
TEST(Memory, LargeBlocksDoNotGrowTheHeapAfterALargerOneWasFreed)
{
    if (!allocationCountingAvailable()) GTEST_SKIP() << "the sanitizer keeps its own allocator";
    ASSERT_EQ(pinMmapThreshold(), 1);
    // volatile: the compiler may not drop a malloc and free it can see through
    void* volatile big = malloc(24u << 20);
    ASSERT_NE(big, nullptr);
    EXPECT_TRUE(mappedOnItsOwn(big));
    free(big);
    // More than all free heap space together, and below the 24 MiB the
    // default would have raised its threshold to.
    size_t heapFree = mallinfo2().fordblks;
    if (heapFree > (16u << 20)) GTEST_SKIP() << "the heap holds " << heapFree << " free bytes";
    void* volatile block = malloc(heapFree + (4u << 20));
    ASSERT_NE(block, nullptr);
    EXPECT_TRUE(mappedOnItsOwn(block)) << "the heap grew for it";
    free(block);
}

// Blocks freed at the top of the heap stay in it once pinned: glibc's fixed
// default gave back anything over 128 kB at once, and a frame's driver blocks
// then shrank and regrew the heap every frame.
TEST(Memory, FreedBlocksAtTheHeapTopStayInTheHeap)
{
    if (!allocationCountingAvailable()) GTEST_SKIP() << "the sanitizer keeps its own allocator";
    ASSERT_EQ(pinMmapThreshold(), 1);
    enum { Blocks = 128, BlockBytes = 64 * 1024 };   // 8 MB below the mapping threshold
    void* blocks[Blocks];
    void* start = sbrk(0);
    for (int i = 0; i < Blocks; i++) blocks[i] = malloc(BlockBytes);
    void* top = sbrk(0);
    ASSERT_GT((char*)top - (char*)start, 4 << 20) << "the heap did not grow for the blocks";
    for (int i = Blocks - 1; i >= 0; i--) free(blocks[i]);
    EXPECT_EQ(sbrk(0), top) << "the heap gave its top back";
}

// Whether some part of the heap is advised for huge pages ("hg" among the
// VmFlags of a "[heap]" mapping in /proc/self/smaps).
static bool heapAdvisedHuge(void)
{
    FILE* file = fopen("/proc/self/smaps", "r");
    if (!file) return false;
    char line[512];
    bool inHeap = false, huge = false;
    unsigned long low, high;
    while (fgets(line, sizeof line, file)) {
        if (sscanf(line, "%lx-%lx ", &low, &high) == 2) inHeap = strstr(line, "[heap]") != nullptr;
        if (inHeap && strncmp(line, "VmFlags:", 8) == 0 && strstr(line, " hg")) huge = true;
    }
    fclose(file);
    return huge;
}

// While loading, a large block is carved from the heap advised for huge pages;
// afterwards large blocks are mapped on their own again, the advice is gone
// and the reserve's unused top is given back.
TEST(Memory, LoadingHeapServesLargeBlocksOnlyWhileLoading)
{
    if (!allocationCountingAvailable()) GTEST_SKIP() << "the sanitizer keeps its own allocator";
    ASSERT_EQ(pinMmapThreshold(), 1);
    ASSERT_FALSE(heapAdvisedHuge());
    char* before = (char*)sbrk(0);
    ASSERT_EQ(beginLoadingHeap(), 1);
    char* loadingTop = (char*)sbrk(0);
    EXPECT_GT(loadingTop - before, (long)LoadingHeapBytes / 2) << "the heap did not grow by the reserve";
    EXPECT_TRUE(heapAdvisedHuge());
    void* volatile during = malloc(24u << 20);
    ASSERT_NE(during, nullptr);
    EXPECT_FALSE(mappedOnItsOwn(during));
    EXPECT_LT((char*)during, loadingTop);
    free(during);
    endLoadingHeap();
    EXPECT_FALSE(heapAdvisedHuge());
    EXPECT_LT((char*)sbrk(0) - before, (long)HeapKeepBytes + (1 << 20)) << "the reserve stayed";
    // Larger than every free block of the heap (the one freed above may stay
    // in it as a hole), so only a mapping of its own or a grown heap holds it.
    void* volatile after = malloc(mallinfo2().fordblks + (4u << 20));
    ASSERT_NE(after, nullptr);
    EXPECT_TRUE(mappedOnItsOwn(after));
    free(after);
}

// Counting is what the bench's "no allocation per frame" figure rests on: a
// malloc, a new and a realloc made here are seen, nothing is counted while off.
TEST(AllocationCounting, CountsOwnCallsOnlyWhileOn)
{
    if (!allocationCountingAvailable()) GTEST_SKIP() << "sanitizer build: its allocator is not replaced";
    setAllocationCounting(1);
    void* volatile block = malloc(64);
    void* volatile grown = realloc(block, 4096);
    int* volatile object = new int(7);
    setAllocationCounting(0);
    EXPECT_GE(allocationsCounted(), 3);
    EXPECT_GE(mainThreadAllocationsCounted(), 3);
    EXPECT_GE(engineAllocationsCounted(), 3);
    long before = allocationsCounted();
    void* volatile after = malloc(64);
    EXPECT_EQ(allocationsCounted(), before);
    free(after);
    free(grown);
    delete object;

    setAllocationCounting(1);
    EXPECT_EQ(allocationsCounted(), 0);   // turning it on starts from zero
    setAllocationCounting(0);
}

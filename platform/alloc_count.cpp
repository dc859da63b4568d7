// Heap allocation counting for the bench: this program's malloc, calloc,
// realloc, aligned allocators and operator new forward to glibc's own and
// count each call while counting is on, apart by whether the caller's code
// lies in this program (the engine) or in a library (the GL driver, X).
// Sanitizer builds keep their allocator untouched.
#include "platform/platform.h"
#include <atomic>
#include <errno.h>
#include <new>
#include <stddef.h>
#include <stdlib.h>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KESTREL_COUNT_ALLOCATIONS 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer) || __has_feature(memory_sanitizer)
#define KESTREL_COUNT_ALLOCATIONS 0
#endif
#endif
#ifndef KESTREL_COUNT_ALLOCATIONS
#define KESTREL_COUNT_ALLOCATIONS 1
#endif

static std::atomic<int> countingOn{0};
static std::atomic<long> allCount{0};
static __thread int countingThread;   // 1 on the thread that turned counting on
static long ownCount;                 // written by that thread only
static std::atomic<long> engineCount{0};

int allocationCountingAvailable(void) { return KESTREL_COUNT_ALLOCATIONS; }

void setAllocationCounting(int on)
{
    if (on) {
        allCount.store(0);
        engineCount.store(0);
        ownCount = 0;
    }
    countingThread = on ? 1 : 0;
    countingOn.store(on ? 1 : 0);
}

long allocationsCounted(void) { return allCount.load(); }
long mainThreadAllocationsCounted(void) { return ownCount; }
long engineAllocationsCounted(void) { return engineCount.load(); }

#if KESTREL_COUNT_ALLOCATIONS
extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* pointer, size_t size);
void* __libc_memalign(size_t alignment, size_t size);
extern char __executable_start[], etext[];   // this program's code, from the linker
}

// caller: the return address of the allocation call.
static inline void countCall(const void* caller)
{
    if (!countingOn.load(std::memory_order_relaxed)) return;
    allCount.fetch_add(1, std::memory_order_relaxed);
    if (countingThread) ownCount++;
    if ((const char*)caller >= __executable_start && (const char*)caller < etext)
        engineCount.fetch_add(1, std::memory_order_relaxed);
}
#define countOne() countCall(__builtin_return_address(0))

extern "C" void* malloc(size_t size) noexcept
{
    countOne();
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) noexcept
{
    countOne();
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* pointer, size_t size) noexcept
{
    countOne();
    return __libc_realloc(pointer, size);
}

extern "C" void* memalign(size_t alignment, size_t size) noexcept
{
    countOne();
    return __libc_memalign(alignment, size);
}

extern "C" void* aligned_alloc(size_t alignment, size_t size) noexcept
{
    countOne();
    return __libc_memalign(alignment, size);
}

extern "C" int posix_memalign(void** out, size_t alignment, size_t size) noexcept
{
    if (alignment < sizeof(void*) || (alignment & (alignment - 1)) != 0) return EINVAL;
    countOne();
    void* pointer = __libc_memalign(alignment, size);
    if (!pointer) return ENOMEM;
    *out = pointer;
    return 0;
}

// operator new: the caller of new, not libstdc++, decides whose allocation it is.
static void* newBlock(size_t size, const void* caller)
{
    countCall(caller);
    return __libc_malloc(size ? size : 1);
}

void* operator new(size_t size)
{
    void* pointer = newBlock(size, __builtin_return_address(0));
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

void* operator new[](size_t size)
{
    void* pointer = newBlock(size, __builtin_return_address(0));
    if (!pointer) throw std::bad_alloc();
    return pointer;
}

void* operator new(size_t size, const std::nothrow_t&) noexcept { return newBlock(size, __builtin_return_address(0)); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept
{
    return newBlock(size, __builtin_return_address(0));
}
void operator delete(void* pointer) noexcept { free(pointer); }
void operator delete[](void* pointer) noexcept { free(pointer); }
void operator delete(void* pointer, size_t) noexcept { free(pointer); }
void operator delete[](void* pointer, size_t) noexcept { free(pointer); }
void operator delete(void* pointer, const std::nothrow_t&) noexcept { free(pointer); }
void operator delete[](void* pointer, const std::nothrow_t&) noexcept { free(pointer); }
#endif

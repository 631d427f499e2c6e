#include "platform/platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <thread>
#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace pentad {
namespace {
const auto ProcessStart = std::chrono::steady_clock::now();
} // namespace

int64_t processClockMs() {
    auto elapsed = std::chrono::steady_clock::now() - ProcessStart;
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

int64_t wallClockSeconds() { return int64_t(std::time(nullptr)); }

void beep(int, int milliseconds) {
    std::fputc('\a', stderr);
    std::fflush(stderr);
    sleepMs(milliseconds);
}

void useBinaryStdio() {}

void sleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

#if defined(__linux__)
void *allocateZeroed(size_t bytes) {
    void *memory = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    // Large pages spare random accesses most of their address-translation misses.
    madvise(memory, bytes, MADV_HUGEPAGE);
    return memory;
}

void releaseZeroed(void *memory, size_t bytes) { munmap(memory, bytes); }
#else
void *allocateZeroed(size_t bytes) { return std::calloc(1, bytes); }

void releaseZeroed(void *memory, size_t) { std::free(memory); }
#endif

} // namespace pentad

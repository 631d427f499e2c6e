// Windows services: a monotonic millisecond clock from process start, the speaker beep
// and the pause after a start-up error, and the large table allocation.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <io.h>

#include "platform/platform.h"

namespace pentad {
namespace {
// The performance counter: monotonic, and finer than the 10-16 ms steps of the tick count.
int64_t counterNow() {
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return now.QuadPart;
}
int64_t counterFrequency() {
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    return frequency.QuadPart;
}
const int64_t ProcessStart = counterNow();
const int64_t Frequency = counterFrequency();
} // namespace

int64_t processClockMs() {
    const int64_t ticks = counterNow() - ProcessStart;
    return ticks / Frequency * 1000 + ticks % Frequency * 1000 / Frequency;
}

int64_t wallClockSeconds() { return int64_t(std::time(nullptr)); }

void beep(int hertz, int milliseconds) { Beep(DWORD(hertz), DWORD(milliseconds)); }

void sleepMs(int milliseconds) { Sleep(DWORD(milliseconds)); }

void useBinaryStdio() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
}

void *allocateZeroed(size_t bytes) { return std::calloc(1, bytes); }

void releaseZeroed(void *memory, size_t) { std::free(memory); }

} // namespace pentad

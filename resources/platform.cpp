#include "resources/platform.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>

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

void sleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

} // namespace pentad

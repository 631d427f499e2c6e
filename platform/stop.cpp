#include <atomic>

#include "platform/platform.h"

namespace pentad {
namespace {

std::atomic<bool> stopFlag{false};

} // namespace

void requestStop() { stopFlag.store(true, std::memory_order_relaxed); }
void clearStop() { stopFlag.store(false, std::memory_order_relaxed); }
bool stopRequested() { return stopFlag.load(std::memory_order_relaxed); }

} // namespace pentad

// The few services the engine takes from its platform: the process clock, the wall clock,
// and the beep and pause that follow a start-up error.
#pragma once

#include <cstdint>

namespace pentad {

/// Milliseconds of wall time since the process started, from a monotonic clock.
int64_t processClockMs();
/// Wall-clock time in whole seconds.
int64_t wallClockSeconds();
/// Sounds a tone (on a terminal: the bell).
void beep(int hertz, int milliseconds);
void sleepMs(int milliseconds);

} // namespace pentad

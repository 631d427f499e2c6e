// The few services the engine takes from its platform: the process clock, the wall clock,
// and the beep and pause that follow a start-up error.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pentad {

/// Milliseconds of wall time since the process started, from a monotonic clock.
int64_t processClockMs();
/// Wall-clock time in whole seconds.
int64_t wallClockSeconds();
/// Sounds a tone (on a terminal: the bell).
void beep(int hertz, int milliseconds);
void sleepMs(int milliseconds);

/// A request, from any thread, that the search under way winds down at once and answers
/// with what it has; front ends clear it before each move.
void requestStop();
void clearStop();
bool stopRequested();

/// Standard input and output pass bytes unchanged (no CR LF translation), so messages and
/// protocol lines are the same on every platform.
void useBinaryStdio();

/// A large zero-filled block whose pages need not be touched before use (nullptr when the
/// memory cannot be had), and its release.
void *allocateZeroed(size_t bytes);
void releaseZeroed(void *memory, size_t bytes);

} // namespace pentad

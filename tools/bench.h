// The bench: a fixed set of positions searched reproducibly.
#pragma once

#include <cstdint>

namespace pentad {

struct BenchResult {
    int64_t nodes = 0; ///< the signature
    int64_t ms = 0;
};

int benchPositionCount();

/// Searches every bench position for its first `iterations` root searches with a fixed
/// seed and no clock; prints a line per position when asked. Needs the table allocated.
BenchResult runBench(int iterations, bool print);

} // namespace pentad

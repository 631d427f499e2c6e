// The bench: a fixed set of positions searched reproducibly.
#pragma once

#include <cstdint>

#include "engine/classic_move.h"

namespace pentad {

struct BenchResult {
    int64_t nodes = 0; ///< the signature
    int64_t ms = 0;
};

int benchPositionCount();

/// Searches every bench position for its first `iterations` root searches with a fixed
/// seed and no clock; prints a line per position when asked. Needs the table allocated.
BenchResult runBench(int iterations, bool print);

/// Bench position i as a front end hands it over.
PositionInput benchInput(int i);

/// The tournament engine's bench: every bench position searched to `depth` plies from an
/// empty table, no clock; the signature is the total node count.
BenchResult runTournamentBench(int depth, bool print);

} // namespace pentad

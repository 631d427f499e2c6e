// The classic engine behind the engine interface: the engine as designed, on its process-wide
// state, with its 96 MB transposition table.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/engine.h"
#include "search/transposition.h"

namespace pentad {

/// Memory the classic engine needs with the full transposition table, against the manager's
/// max_memory: the table (96 MB) and the rest of the engine.
constexpr int64_t ClassicMemoryNeed = 112ll * 1024 * 1024;
constexpr int64_t ClassicBaseMemory =
    ClassicMemoryNeed - int64_t(TranspositionTable::bytesFor(TranspositionTable::FullBits));

/// The classic engine's largest table (as 2^bits home slots) that fits in max_memory bytes,
/// or -1 when even the smallest does not; max_memory 0 (no limit) gives the full table.
int classicTableBits(int64_t maxMemory);

struct ClassicOptions {
    bool fixedSeed = false; ///< every random choice from `seed` and the move's position
    uint32_t seed = 0;
};

/// The classic engine; one a process, since it plays on the process-wide engine state.
std::unique_ptr<Engine> makeClassicEngine(const ClassicOptions &options = {});

} // namespace pentad

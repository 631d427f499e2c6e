// The tournament engine behind the engine interface: its pattern board and search
// (tournament/), with a table sized from the manager's memory limit.
#pragma once

#include <cstdint>
#include <memory>

#include "engine/engine.h"

namespace pentad {

/// The tournament engine's memory beside its table, and its table when max_memory is 0.
constexpr int64_t TournamentBaseMemory = 16ll * 1024 * 1024;
constexpr int64_t TournamentDefaultTable = 64ll * 1024 * 1024;
/// The tournament engine's table in bytes for max_memory (0: no limit), or -1 when even the
/// smallest (1 MB) does not fit.
int64_t tournamentTableBytes(int64_t maxMemory, int64_t baseMemory = TournamentBaseMemory);
/// What the tournament engine needs beside its transposition table: TournamentBaseMemory, and
/// the network's feature table when a network evaluates.
int64_t tournamentBaseMemory();

/// The tournament engine's times for one move: no new iteration after about `optimum` ms,
/// never past `maximum`. Both 0 mean "answer at once".
struct MoveTimes {
    int64_t optimum = 0, maximum = 0;
};
MoveTimes tournamentMoveTimes(int64_t turnMs, int64_t matchMs, int64_t timeLeft, int stones);

std::unique_ptr<Engine> makeTournamentEngine();

} // namespace pentad

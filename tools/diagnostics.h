// Text dumps of engine internals for the engine's developers; never on the move path.
#pragma once

#include <filesystem>

#include "board/engine_state.h"

namespace pentad {

/// Writes info.txt in `dir`: the table entry size and every line class the class table
/// holds. False when the file cannot be written.
bool writeInfoDump(const EngineState &e, const std::filesystem::path &dir);

/// Runs the generator for the side to move as the root does (budget 1000) and writes
/// deb2.txt in `dir`: the board with the candidates numbered '1', '2', ... in list order.
bool writeCandidateBoard(EngineState &e, const std::filesystem::path &dir);

} // namespace pentad

// The exchange-file protocol: reading the engine's side, the board and the time limits,
// and writing the move and the statistics line.
#pragma once

#include <filesystem>
#include <string>

#include "engine/classic_move.h"

namespace pentad {

/// Reads tah.dat, plocha.dat and timeouts.dat from `dir`. On a start-up error returns
/// false with the message to print (file name filled in).
bool readExchangeFiles(const std::filesystem::path &dir, PositionInput &in, std::string &error);

/// The whole run of one move in `dir`; returns the process exit status (0 or -1).
int runEngine(const std::filesystem::path &dir);

} // namespace pentad

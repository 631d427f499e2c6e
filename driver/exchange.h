// The exchange-file protocol: reading the engine's side, the board and the time limits,
// building the position, and writing the move and the statistics line.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>

#include "board/engine_state.h"

namespace pentad {

struct ExchangeInput {
    char sideLetter = 'X';               ///< 'X' or 'O', upper case
    std::array<char, CellCount> board{}; ///< 'X', 'O' or '-' per cell
    int32_t turnLimit = 30;              ///< seconds
    int32_t matchTime = 180;             ///< milliseconds
};

/// Reads tah.dat, plocha.dat and timeouts.dat from `dir`. On a start-up error returns
/// false with the message to print (file name filled in).
bool readExchangeFiles(const std::filesystem::path &dir, ExchangeInput &in, std::string &error);

/// Swaps the colours when needed so that X moved first and the engine is to move.
void normaliseColours(ExchangeInput &in);

/// Start-up from the loaded input: seeds the generator, loads the tables, builds the
/// engine state, and places every stone in cell order. False when the tables are missing.
bool setupPosition(EngineState &e, const ExchangeInput &in, uint32_t seed);

/// The whole run of one move in `dir`; returns the process exit status (0 or -1).
int runEngine(const std::filesystem::path &dir);

} // namespace pentad

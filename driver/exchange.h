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

/// Once per process: seeds the generator, loads the tables and the book, builds the
/// constant tables and the keys. False when the tables are missing.
bool startEngine(EngineState &e, uint32_t seed);

/// The position of the input on a started engine: empty board, the engine's settings and
/// parameters, then every stone placed in cell order.
void preparePosition(EngineState &e, const ExchangeInput &in);

/// Both of the above.
bool setupPosition(EngineState &e, const ExchangeInput &in, uint32_t seed);

/// The opening step, then the search: the move for the side to move, always an empty cell.
int chooseMove(EngineState &e);

/// The whole run of one move in `dir`; returns the process exit status (0 or -1).
int runEngine(const std::filesystem::path &dir);

} // namespace pentad

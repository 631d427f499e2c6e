// The classic engine's start-up once per process, the position of a board, and the move
// choice: the exchange-file program plays through these calls, and so does the classic
// engine behind the front ends' engine interface.
#pragma once

#include <array>
#include <cstdint>

#include "board/engine_state.h"
#include "search/search.h"

namespace pentad {

/// A position as a front end hands it over, with the time limits of the move.
struct PositionInput {
    char sideLetter = 'X';               ///< 'X' or 'O', upper case: the engine's colour
    std::array<char, CellCount> board{}; ///< 'X', 'O' or '-' per cell
    int32_t turnLimit = 30;              ///< seconds
    int32_t matchTime = 180;             ///< milliseconds
};

int stoneCount(const PositionInput &in);

/// Swaps the colours when needed so that X moved first and the engine is to move.
void normaliseColours(PositionInput &in);

/// Once per process: seeds the generator, loads the tables and the book, builds the
/// constant tables and the keys. False when the tables are missing.
bool startEngine(EngineState &e, uint32_t seed);

/// The position of the input on a started engine: empty board, the engine's settings and
/// parameters, then every stone placed in cell order.
void preparePosition(EngineState &e, const PositionInput &in);

/// Both of the above.
bool setupPosition(EngineState &e, const PositionInput &in, uint32_t seed);

/// The opening step, then the search: the move for the side to move, always an empty cell.
/// The observer, if any, is told of every root search.
int chooseMove(EngineState &e, SearchObserver *observer = nullptr);

} // namespace pentad

// The opening book: known positions with one answer each, found under the eight symmetries
// of the board and under translation.
//
// Layout: records `length, stones..., answer` in ascending order of the length byte, then
// the terminator 255. Each move byte is 16 * row + column in the book's 16 x 16 frame; the
// stones are X first and then alternating, each colour in ascending byte order. Every
// record is a position with X to move (an even number of stones).
#pragma once

#include <cstdint>
#include <span>

#include "board/engine_state.h"

namespace pentad {

constexpr uint8_t BookTerminator = 255;
constexpr int BookMinStones = 2;
constexpr int BookMaxStones = 50;

/// Map k (0..7) of the board's symmetries applied to a cell; -1..-7 select the inverse
/// maps (-1 is map 3, -2 map 2, -3 map 1, -4..-7 maps 4..7). Anything else gives -1.
int transformCell(int cell, int k);

class OpeningBook {
public:
    /// Takes the embedded "japanese" resource; without it every lookup gives -1.
    void load();
    /// Uses the given bytes as the book (tests and the book tools).
    void use(std::span<const uint8_t> bytes) { bytes_ = bytes; }
    /// The book answer for the stones in MoveHistory, or -1.
    int lookup(const EngineState &e) const;

private:
    std::span<const uint8_t> bytes_;
};

/// The process-wide book.
OpeningBook &openingBook();

} // namespace pentad

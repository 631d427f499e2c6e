// The tournament engine's pattern vocabulary: what a stone of one colour would make on one
// line through a cell (the line pattern), what the four lines of a cell make together (the
// cell pattern), and the tables that map line keys to both. Built once at start-up.
#pragma once

#include <array>
#include <cstdint>

namespace pentad::tournament {

/// Stone colours on the pattern board; a wall is a cell off the board.
enum Colour : uint8_t { Black = 0, White = 1 };
constexpr Colour other(Colour c) { return Colour(c ^ 1); }
enum CellValue : uint8_t { Empty = 0, BlackStone = 1, WhiteStone = 2, Wall = 3 };
constexpr CellValue stoneOf(Colour c) { return CellValue(c + 1); }

/// The line pattern a stone would make on one line, weakest first. Each rung is the best
/// rung one more own stone on that line reaches: a three (F3) makes an open four, a closed
/// three (B3) only a four. F3S and F2A/F2B have more than one way up.
enum LinePattern : uint8_t {
    Dead, ///< no five can pass through the cell on this line
    B1,
    F1,
    B2,
    F2,
    F2A,
    F2B,
    B3,
    F3,
    F3S,
    B4, ///< one five point
    F4, ///< two or more five points
    F5, ///< five or more in a row
    LinePatternCount
};

/// The cell pattern: the four line patterns of one colour at a cell taken together,
/// weakest first.
enum CellPattern : uint8_t {
    None,
    Flex2,       ///< an open two
    Block3,      ///< a closed three
    Flex2x2,     ///< two open twos
    Block3Plus,  ///< a closed three with another three or two
    Flex3,       ///< an open three
    Flex3Plus,   ///< an open three with a closed three or an open two
    Flex3x2,     ///< two open threes
    Block4,      ///< a four
    Block4Plus,  ///< a four with a closed three or an open two
    Block4Flex3, ///< a four and an open three
    Flex4,       ///< an open four, or two fours
    Five,        ///< a five
    CellPatternCount
};

/// Line key: the eight cells around a cell on one line, two bits each (CellValue), the
/// nearest first on each side:
///   bits  0-7: offsets -4, -3, -2, -1    bits 8-15: offsets +1, +2, +3, +4
constexpr int LineKeyCount = 1 << 16;
constexpr int keyShift(int offset) { return offset < 0 ? 2 * (offset + 4) : 2 * (offset + 3); }

/// Four line patterns of one colour packed four bits each, direction d at bits 4d..4d+3.
using PatternKey = uint16_t;

/// Unordered combinations of four line patterns: the index of every per-cell table.
constexpr int ComboCount = 1820; // multisets of 4 out of 13

struct PatternTables {
    std::array<std::array<uint8_t, LineKeyCount>, 2> line; ///< [colour][line key]
    std::array<uint8_t, LineKeyCount> lineBoth;            ///< black's line pattern | white's << 4
    std::array<uint16_t, 1 << 16> combo;                   ///< [pattern key] -> combination
    std::array<uint8_t, 1 << 16> cell;                     ///< [pattern key] -> CellPattern
    std::array<std::array<uint8_t, 4>, ComboCount> comboPatterns; ///< sorted, weakest first
};

/// Built on first use (thread-safe), from the rules above by recursion over line keys.
const PatternTables &patternTables();

/// The cell pattern of four line patterns.
CellPattern combineLines(const std::array<uint8_t, 4> &lines);

} // namespace pentad::tournament

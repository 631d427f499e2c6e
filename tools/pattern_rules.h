// Derivation of the line-pattern tables from the rules of five-in-a-row on one line.
//
// The engine itself loads the tables as embedded data; this derivation produces that data
// and lets the tests check it byte for byte.
#pragma once

#include <array>
#include <cstdint>

namespace pentad {

struct PatternTableSet {
    std::array<uint8_t, 6561> lineClass{};
    std::array<uint8_t, 6561> upgradeCells{};
    std::array<uint8_t, 6561> defenceCells{};
    std::array<uint8_t, 6561> secondaryCells{};
};

/// Derives all four tables for every line pattern.
PatternTableSet derivePatternTables();

} // namespace pentad

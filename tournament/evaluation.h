// The tournament engine's evaluation and ordering tables: data, not code, so that a tuner
// can replace them. They are embedded at build from resources/tournament_eval.bin (resource
// "tournamenteval") and checked on loading.
//
// File layout (little-endian):
//   bytes 0-7    "PNTDEVAL"
//   uint16       format version (1)
//   uint16       combination count (1820)
//   uint16       cell pattern count (13)
//   int16        tempo: the side to move's bonus
//   int16[1820]  value: a cell's potential for a colour, by its line-pattern combination
//   int16[1820]  attack: ordering score of a cell by the mover's own combination
//   int16[1820]  defend: ordering score of a cell by the opponent's combination there
//   int16[169]   threat: [mover's strongest cell pattern][opponent's strongest]
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>

#include "tournament/patterns.h"

namespace pentad::tournament {

struct EvalTables {
    int16_t tempo = 0;
    std::array<int16_t, ComboCount> value{};
    std::array<int16_t, ComboCount> attack{};
    std::array<int16_t, ComboCount> defend{};
    std::array<std::array<int16_t, CellPatternCount>, CellPatternCount> threat{};
    /// By pattern key, derived on loading: the value (low 16 bits, signed) and the cell
    /// pattern (bits 16 up), so the hot path looks a cell up once.
    std::array<uint32_t, 1 << 16> keyEntry{};
    static int16_t entryValue(uint32_t e) { return int16_t(uint16_t(e & 0xffff)); }
    static uint8_t entryPattern(uint32_t e) { return uint8_t(e >> 16); }
};

constexpr size_t EvalFileBytes = 16 + 2 * (3 * ComboCount + CellPatternCount * CellPatternCount);

/// Parses the file format above; false with a reason when the bytes do not fit it.
bool parseEvalTables(std::span<const uint8_t> bytes, EvalTables &out, std::string &error);

/// The embedded tables, parsed once; nullptr (with the reason) when they are missing or bad.
const EvalTables *embeddedEvalTables(std::string *error = nullptr);

/// Reads tables from a file to use in place of the embedded ones from now on (tuning runs
/// try candidate tables without a rebuild); false with the reason, and nothing changed, when
/// the file cannot be read or does not fit the format. Call before the first board is made.
bool loadEvalTablesFile(const std::string &path, std::string &error);

/// The tables boards use: those of loadEvalTablesFile, else the embedded ones.
const EvalTables *activeEvalTables(std::string *error = nullptr);

} // namespace pentad::tournament

// The threat view the solvers play on: for each side, the empty cells where a stone makes
// a five, a four or an open three, kept as bit sets and refreshed only along the lines of
// each trial stone. Stones go down as light stones (line patterns and board only) and a
// 64-bit key follows them, so the search's own state comes back exactly.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "board/cell_set.h"
#include "board/engine_state.h"

namespace pentad {

/// Threat level of a stone on an empty cell for a side: 0 five, 1 open four, 2 four,
/// 3 open three, 4 and above weaker.
enum ThreatLevel : uint8_t { FiveLevel = 0, OpenFourLevel = 1, FourLevel = 2, ThreeLevel = 3 };

class ThreatBoard {
public:
    /// Takes the position of `e` as it stands (every stone placed through `place`).
    void attach(EngineState &e);
    EngineState &state() { return *e_; }

    void play(int cell, Side side);
    void undo(int cell, Side side);
    /// Follows a stone already put down or taken back on the attached state, instead of
    /// building the view afresh.
    void followPlaced(int cell, Side side);
    void followRemoved(int cell, Side side) { followPlaced(cell, side); }

    const CellSet &fives(Side s) const { return fives_[s]; }
    const CellSet &fours(Side s) const { return fours_[s]; } ///< open fours and fours
    const CellSet &threes(Side s) const { return threes_[s]; }
    /// The best level a stone of the side makes on the empty cell.
    int level(int cell, Side s) const { return best_[s][size_t(cell)]; }
    /// The line level of a stone of the side on the cell in one direction.
    int lineLevel(int cell, int d, Side s) const;
    uint64_t key() const { return key_; }

private:
    void refresh(int cell);
    void refreshLines(int cell);

    EngineState *e_ = nullptr;
    std::array<uint8_t, PatternCount> levelOf_{};
    bool levelsReady_ = false;
    std::array<CellSet, 3> fives_{}, fours_{}, threes_{};
    std::array<std::array<uint8_t, CellCount>, 3> best_{};
    uint64_t key_ = 0;
};

} // namespace pentad

#include "solver/threat_board.h"

#include <algorithm>

#include "board/placement.h"

namespace pentad {
namespace {

uint64_t keyOf(const ZobristKey &k) { return uint64_t(k.high) << 32 | k.low; }

} // namespace

void ThreatBoard::attach(EngineState &e) {
    // The level table is the same for every state with the tables loaded: build it once.
    if (!levelsReady_) {
        for (int p = 0; p < PatternCount; ++p)
            levelOf_[size_t(p)] = e.ClassTens[e.LineClass[size_t(p)]];
        levelsReady_ = e.TablesLoaded;
    }
    e_ = &e;
    key_ = keyOf(e.PositionKey);
    for (int c = 0; c < CellCount; ++c)
        refresh(c);
}

int ThreatBoard::lineLevel(int cell, int d, Side s) const {
    const auto &p = s == X ? e_->LinePatternX : e_->LinePatternO;
    return levelOf_[p[size_t(cell)][size_t(d)]];
}

void ThreatBoard::refresh(int cell) {
    const EngineState &e = *e_;
    for (Side s : {X, O}) {
        CellSet &five = fives_[s], &four = fours_[s], &three = threes_[s];
        int best = 9;
        if (e.Board[size_t(cell)] == Empty) {
            const auto &p = s == X ? e.LinePatternX[size_t(cell)] : e.LinePatternO[size_t(cell)];
            for (int d = 0; d < DirectionCount; ++d)
                best = std::min<int>(best, levelOf_[p[size_t(d)]]);
        }
        best_[s][size_t(cell)] = uint8_t(best);
        five.reset(cell);
        four.reset(cell);
        three.reset(cell);
        if (best == FiveLevel)
            five.set(cell);
        else if (best <= FourLevel)
            four.set(cell);
        else if (best == ThreeLevel)
            three.set(cell);
    }
}

// Only cells on the stone's four lines within four steps change their patterns.
void ThreatBoard::refreshLines(int cell) {
    const EngineState &e = *e_;
    refresh(cell);
    // An occupied cell stays out of every set from when its stone went down.
    for (int d = 0; d < DirectionCount; ++d) {
        const int step = LineStep[size_t(d)];
        for (int k = 1, c = cell + step; k <= e.ReachForward[size_t(cell)][size_t(d)];
             ++k, c += step)
            if (e.Board[size_t(c)] == Empty) refresh(c);
        for (int k = 1, c = cell - step; k <= e.ReachBack[size_t(cell)][size_t(d)]; ++k, c -= step)
            if (e.Board[size_t(c)] == Empty) refresh(c);
    }
}

void ThreatBoard::followPlaced(int cell, Side side) {
    key_ ^= keyOf(e_->ZobristTable[side][size_t(cell)]);
    refreshLines(cell);
}

void ThreatBoard::play(int cell, Side side) {
    placeLight(*e_, cell, side);
    e_->Board[size_t(cell)] = side;
    followPlaced(cell, side);
}

void ThreatBoard::undo(int cell, Side side) {
    removeLight(*e_, cell, side);
    e_->Board[size_t(cell)] = Empty;
    followRemoved(cell, side);
}

} // namespace pentad

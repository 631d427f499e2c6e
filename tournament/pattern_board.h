// The tournament engine's board: stones on a board padded by four wall cells on every side,
// and for every empty cell the line key of each direction, the line pattern and cell pattern
// of each colour, and its share of the evaluation. A stone updates the 32 cells on its four
// lines and the near-cell counts around it; taking it back replays the same update.
#pragma once

#include <array>
#include <cstdint>

#include "tournament/evaluation.h"
#include "tournament/network.h"
#include "tournament/patterns.h"

namespace pentad::tournament {

constexpr int Side = 20;  ///< cells on a side of the real board
constexpr int Margin = 4; ///< wall cells around it: a line key never leaves the array
constexpr int Width = Side + 2 * Margin;
constexpr int PaddedCells = Width * Width;
constexpr int MaxStones = Side * Side;
/// Direction steps: along a row, down a column, the diagonal and the anti-diagonal.
constexpr std::array<int, 4> Step = {1, Width, Width + 1, Width - 1};
constexpr int NoCell = -1;

constexpr int padded(int x, int y) { return (y + Margin) * Width + x + Margin; }
constexpr int columnOf(int p) { return p % Width - Margin; }
constexpr int rowOf(int p) { return p / Width - Margin; }

/// A set of padded cells, 64 to a word.
struct CellBits {
    static constexpr int Words = (PaddedCells + 63) / 64;
    std::array<uint64_t, Words> word{};
    void set(int p) { word[size_t(p >> 6)] |= uint64_t(1) << (p & 63); }
    void clear(int p) { word[size_t(p >> 6)] &= ~(uint64_t(1) << (p & 63)); }
    bool test(int p) const { return (word[size_t(p >> 6)] >> (p & 63)) & 1; }
    bool any() const {
        for (uint64_t w : word)
            if (w) return true;
        return false;
    }
    /// Calls visit(p) for every cell, lowest index first.
    template <typename F> void forEach(F &&visit) const {
        for (int i = 0; i < Words; ++i)
            for (uint64_t w = word[size_t(i)]; w; w &= w - 1)
                visit(i * 64 + __builtin_ctzll(w));
    }
};

class PatternBoard {
public:
    PatternBoard();
    /// An empty board with Black to move.
    void reset();
    /// The position of a board given row by row ('X' the first mover's stones, 'O' the
    /// other's, anything else empty); the side with fewer stones, Black on equal counts, moves.
    void setUp(const std::array<char, MaxStones> &cells);
    /// The side to move's stone at the empty padded cell p; the other side moves next.
    void place(int p) { placeAs(p, side_); }
    /// A stone of colour c at the empty padded cell p (setting up a position); the side to
    /// move becomes the other colour.
    void placeAs(int p, Colour c);
    void setToMove(Colour c) { side_ = c; }
    /// Takes the last stone back.
    void undo();

    Colour toMove() const { return side_; }
    int stones() const { return stones_; }
    /// The padded cell of the i-th stone placed (from 0).
    int moveAt(int i) const { return moves_[size_t(i)]; }
    uint64_t hash() const { return hash_; }
    bool isEmpty(int p) const { return cell_[size_t(p)] == Empty; }
    /// An empty cell within two cells (in a 5 x 5 square) of a stone.
    bool isNear(int p) const { return cell_[size_t(p)] == Empty && near_[size_t(p)] > 0; }

    CellPattern cellPattern(Colour c, int p) const {
        return CellPattern(cellPattern_[c][size_t(p)]);
    }
    uint16_t combo(Colour c, int p) const {
        return patternTables().combo[patternKey_[c][size_t(p)]];
    }
    /// Empty cells where colour c holds exactly the cell pattern, counted; as sets, the five
    /// points and the four points (every cell pattern from Block4 up).
    int count(Colour c, CellPattern cp) const { return count_[c][cp]; }
    const CellBits &fivePoints(Colour c) const { return fives_[c]; }
    const CellBits &fourPoints(Colour c) const { return fours_[c]; }
    /// The strongest cell pattern colour c holds anywhere.
    CellPattern strongest(Colour c) const;

    /// The static value for the side to move: the network's when one evaluates (added to the
    /// tables' when it was trained as their correction), else the tables'.
    int evaluate() const;
    /// The evaluation tables' value for the side to move.
    int tableValue() const;
    /// evaluate(), or the tables' value alone when the network is their correction and they
    /// lie `margin` or more outside the window (alpha, beta): the correction would not bring
    /// the value back into it. A margin of 0 always evaluates.
    int evaluateWithin(int alpha, int beta, int margin) const {
        if (margin > 0 && net_ && net_->addsToTables()) {
            const int tables = tableValue();
            if (tables - margin >= beta || tables + margin <= alpha) return tables;
        }
        return evaluate();
    }
    /// Ordering score of an empty cell for the side to move: own attack, defence of his.
    int orderScore(int p) const {
        const Colour us = toMove();
        return eval_->attack[combo(us, p)] + eval_->defend[combo(other(us), p)];
    }

    /// Recomputes everything derived from the stones and compares; false on a difference.
    bool verify() const;

private:
    void buildLineKeys();
    void updateLine(int p, int d);
    void addCell(int p);
    void removeCell(int p);
    void setPatterns(Colour c, int p, PatternKey key);

    const PatternTables *tables_;
    const EvalTables *eval_;
    /// The network's sums when a network evaluates (activeNetwork() when the board was made).
    /// They follow the stones lazily, when a value is asked for: a stone placed and taken
    /// back unevaluated costs them nothing. The first `netValid_` stones of `moves_` are
    /// still those the sums hold; `netMoves_` are the stones they hold, in order.
    std::unique_ptr<NetworkState> net_;
    mutable int netValid_ = 0, netCount_ = 0;
    mutable std::array<std::pair<int16_t, Colour>, MaxStones> netMoves_{};
    void syncNetwork() const;
    std::array<uint8_t, PaddedCells> cell_{};
    std::array<std::array<uint16_t, PaddedCells>, 4> lineKey_{};
    std::array<std::array<PatternKey, PaddedCells>, 2> patternKey_{};
    std::array<std::array<uint8_t, PaddedCells>, 2> cellPattern_{};
    std::array<uint8_t, PaddedCells> near_{};
    std::array<std::array<int16_t, CellPatternCount>, 2> count_{};
    std::array<int32_t, 2> valueSum_{};
    std::array<CellBits, 2> fives_{}, fours_{};
    std::array<int16_t, MaxStones> moves_{};
    /// What a stone changed, so that undo restores it without looking anything up: the
    /// patterns of each empty cell it changed (and of its own cell), and the counts and
    /// value sums before it.
    struct Changed {
        int16_t cell;
        std::array<PatternKey, 2> key;
        std::array<uint8_t, 2> pattern;
    };
    struct Undo {
        std::array<std::array<int16_t, CellPatternCount>, 2> count;
        std::array<int32_t, 2> valueSum;
        int firstChanged;
    };
    std::array<Undo, MaxStones> undo_{};
    std::array<Changed, MaxStones * 33> changed_{};
    int changedCount_ = 0;
    /// The stone count at which a cell was last recorded, so it is recorded once a stone.
    std::array<int16_t, PaddedCells> lastChanged_{};
    int stones_ = 0;
    Colour side_ = Black;
    uint64_t hash_ = 0;
};

/// The Zobrist key of a stone of colour c at padded cell p.
uint64_t stoneKey(Colour c, int p);

} // namespace pentad::tournament

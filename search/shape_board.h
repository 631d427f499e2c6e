// The tournament search's own board: for every empty cell, side and direction, the shape a
// stone there would make on that line (from a lone stone up to a five), kept up to date
// along the lines of each stone put down or taken back. From the shapes it keeps, per side,
// the cells that make a five, an open four (or two fours), a four, and the running sum of
// every empty cell's shape values that the static evaluation reads.
//
// The board is padded by four wall cells on every side, so a cell's nine-cell line window
// never leaves the array; cells are padded indices (see paddedOf and cellOf).
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

#include "board/cell_set.h"
#include "board/engine_state.h"

namespace pentad {

constexpr int ShapePad = 4;
constexpr int ShapeWidth = BoardSize + 2 * ShapePad; ///< 28 padded columns and rows
constexpr int ShapeCells = ShapeWidth * ShapeWidth;
constexpr std::array<int, DirectionCount> ShapeStep = {1, ShapeWidth + 1, ShapeWidth,
                                                       ShapeWidth - 1};
constexpr uint8_t WallCell = 3;

constexpr int paddedOf(int cell) {
    return (cell / BoardSize + ShapePad) * ShapeWidth + cell % BoardSize + ShapePad;
}
constexpr int cellOf(int padded) {
    return (padded / ShapeWidth - ShapePad) * BoardSize + padded % ShapeWidth - ShapePad;
}

/// What a stone on an empty cell makes on one line, weakest first. An open three is a
/// line where one more stone makes an open four; a three only reaches a four.
enum LineShape : uint8_t {
    NoShape = 0,
    OneShape,   ///< one more stone makes a two
    TwoShape,   ///< a blocked two: one more stone makes a three
    OpenTwo,    ///< one more stone makes an open three
    ThreeShape, ///< a blocked three: one more stone makes a four
    OpenThree,  ///< one more stone makes an open four
    FourShape,  ///< one cell left to the five
    OpenFour,   ///< two cells to the five: one block cannot stop it
    FiveShape,
    ShapeCount
};

/// Padded cells as a bit set (one bit per padded index).
using ShapeSet = BitCells<(ShapeCells + 63) / 64>;

class ShapeBoard {
public:
    ShapeBoard();
    /// Empties the board and puts down the stones of `board` (Side per cell).
    void reset(const std::array<int32_t, CellCount> &board);

    void place(int p, Side s);
    void remove(int p);

    uint8_t at(int p) const { return cells_[size_t(p)]; }
    uint64_t key() const { return key_; }
    int stones() const { return stones_; }
    /// Stones within two cells (rows and columns) of the cell: the move generator's candidates.
    int nearCount(int p) const { return near_[size_t(p)]; }
    LineShape shape(int p, int d, Side s) const {
        return LineShape(shapeTable(s)[keys_[size_t(p)][size_t(d)]]);
    }
    /// The value of a stone of the side on the empty cell: its four shapes, and more for
    /// the shapes that combine into a winning threat (0 on occupied cells).
    int value(int p, Side s) const { return value_[s - 1][size_t(p)]; }
    int total(Side s) const { return total_[s - 1]; }

    const ShapeSet &fives(Side s) const { return fives_[s - 1]; }
    /// Cells that make an open four or two fours at once: a win unless he has a five first.
    const ShapeSet &openFours(Side s) const { return openFours_[s - 1]; }
    /// Cells that make a four on some line (open fours included, fives not).
    const ShapeSet &fours(Side s) const { return fours_[s - 1]; }

    /// The shape table of a side: line key (eight neighbours, two bits each) -> LineShape.
    static const std::array<uint8_t, 65536> &shapeTable(Side s);

private:
    /// Reads all four shapes of the cell afresh from its line keys.
    void refresh(int p);
    /// Follows a changed line key of an empty cell; most changes leave its shape as it was.
    void follow(int n, int d);
    /// The cell's value and threat sets for side index i from its four shapes.
    void combine(int p, int i);
    /// Adds `digit` (the stone's side, negated when it is taken back) to the line keys of
    /// the cells within four steps of p, and the stone to the near counts.
    void followLines(int p, int digit);

    std::array<uint8_t, ShapeCells> cells_{};
    std::array<std::array<uint16_t, DirectionCount>, ShapeCells> keys_{};
    std::array<std::array<uint8_t, DirectionCount>, ShapeCells> shapes_{}; ///< X | O << 4
    std::array<std::array<int32_t, ShapeCells>, 2> value_{};
    std::array<std::array<uint8_t, ShapeCells>, 2> flags_{};
    /// The four shapes of each side as digits in base 9: the index of their combination.
    std::array<std::array<uint16_t, ShapeCells>, 2> comboIndex_{};
    std::array<uint8_t, ShapeCells> near_{};
    std::array<int32_t, 2> total_{};
    std::array<ShapeSet, 2> fives_{}, openFours_{}, fours_{};
    uint64_t key_ = 0;
    int stones_ = 0;
};

/// The Zobrist number of a stone of the side on a padded cell.
uint64_t shapeKeyOf(int p, Side s);

} // namespace pentad

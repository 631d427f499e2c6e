#include "search/shape_board.h"

#include <algorithm>

namespace pentad {
namespace {

// A line window of nine cells seen from one side, the cell itself in the middle: 0 empty,
// 1 own stone, 2 the opponent's stone or the edge.
using Window = std::array<uint8_t, 9>;
constexpr int Centre = 4;

int runThroughCentre(const Window &w) {
    int run = 1;
    for (int i = Centre - 1; i >= 0 && w[size_t(i)] == 1; --i)
        ++run;
    for (int i = Centre + 1; i < 9 && w[size_t(i)] == 1; ++i)
        ++run;
    return run;
}

int codeOf(const Window &w) {
    int code = 0;
    for (int i = 8; i >= 0; --i)
        if (i != Centre) code = code * 3 + w[size_t(i)];
    return code;
}

// The shape of an own stone in the middle of the window, from the shapes one more own stone
// would make: a five point makes a four, two make an open four; a stone that can make an
// open four makes an open three, and so on down. Only fives through the middle count, so a
// shape is always the cell's own.
uint8_t classify(Window &w, std::array<int8_t, 6561> &memo) {
    const int code = codeOf(w);
    if (memo[size_t(code)] >= 0) return uint8_t(memo[size_t(code)]);
    uint8_t shape = NoShape;
    if (runThroughCentre(w) >= 5) {
        shape = FiveShape;
    } else {
        int fivePoints = 0;
        uint8_t best = NoShape;
        for (int i = 0; i < 9; ++i) {
            if (w[size_t(i)] != 0) continue;
            w[size_t(i)] = 1;
            if (runThroughCentre(w) >= 5)
                ++fivePoints;
            else
                best = std::max(best, classify(w, memo));
            w[size_t(i)] = 0;
        }
        if (fivePoints >= 2)
            shape = OpenFour;
        else if (fivePoints == 1)
            shape = FourShape;
        else if (best == OpenFour)
            shape = OpenThree;
        else if (best == FourShape)
            shape = ThreeShape;
        else if (best == OpenThree)
            shape = OpenTwo;
        else if (best == ThreeShape)
            shape = TwoShape;
        else if (best == OpenTwo || best == TwoShape)
            shape = OneShape;
    }
    memo[size_t(code)] = int8_t(shape);
    return shape;
}

// Evaluation value of one line shape of a stone on an empty cell.
constexpr std::array<int32_t, ShapeCount> ShapeValue = {0, 1, 2, 5, 8, 25, 30, 120, 240};
// More for a cell where the lines combine into a threat one block cannot answer.
constexpr int32_t DoubleFourBonus = 400;
constexpr int32_t FourThreeBonus = 200;
constexpr int32_t DoubleThreeBonus = 100;

// What four line shapes make together for one side: the cell's value and its threats.
struct CellCombo {
    int16_t value;
    uint8_t flags;
};
constexpr uint8_t FiveFlag = 1, OpenFourFlag = 2, FourFlag = 4;
constexpr int ComboCount = 9 * 9 * 9 * 9;

CellCombo comboOf(int index);

struct ShapeTables {
    std::array<std::array<uint8_t, 65536>, 2> shape{};
    /// Both sides' shapes of a line key: X in the low nibble, O in the high one.
    std::array<uint8_t, 65536> pair{};
    /// The combination of four shapes, indexed by their digits in base 9.
    std::array<int16_t, ComboCount> comboValue{};
    std::array<uint8_t, ComboCount> comboFlags{};
    std::array<std::array<uint64_t, ShapeCells>, 2> zobrist{};

    ShapeTables() {
        std::array<int8_t, 6561> memo;
        memo.fill(-1);
        for (int side = 0; side < 2; ++side) {
            const uint8_t own = uint8_t(side + 1);
            for (int key = 0; key < 65536; ++key) {
                Window w{};
                w[Centre] = 1;
                for (int slot = 0; slot < 8; ++slot) {
                    const int v = (key >> (2 * slot)) & 3;
                    w[size_t(slot < 4 ? slot : slot + 1)] = v == 0 ? 0 : v == own ? 1 : 2;
                }
                shape[size_t(side)][size_t(key)] = classify(w, memo);
            }
        }
        for (int key = 0; key < 65536; ++key)
            pair[size_t(key)] = uint8_t(shape[0][size_t(key)] | shape[1][size_t(key)] << 4);
        for (int i = 0; i < ComboCount; ++i) {
            const CellCombo c = comboOf(i);
            comboValue[size_t(i)] = c.value;
            comboFlags[size_t(i)] = c.flags;
        }
        uint64_t seed = 0x9E3779B97F4A7C15ull;
        for (auto &row : zobrist)
            for (auto &z : row) {
                // splitmix64: fixed keys, so every search is reproducible
                seed += 0x9E3779B97F4A7C15ull;
                uint64_t x = seed;
                x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
                x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
                z = x ^ (x >> 31);
            }
    }
};

const ShapeTables &tables() {
    static const ShapeTables t;
    return t;
}

CellCombo comboOf(int index) {
    int32_t value = 0;
    int fives = 0, openFours = 0, fours = 0, threes = 0;
    for (int d = 0; d < DirectionCount; ++d, index /= 9) {
        const int shape = index % 9;
        value += ShapeValue[size_t(shape)];
        fives += shape == FiveShape;
        openFours += shape == OpenFour;
        fours += shape == FourShape || shape == OpenFour;
        threes += shape == OpenThree;
    }
    if (openFours > 0 || fours >= 2)
        value += DoubleFourBonus;
    else if (fours == 1 && threes >= 1)
        value += FourThreeBonus;
    else if (threes >= 2)
        value += DoubleThreeBonus;
    uint8_t flags = 0;
    if (fives) flags |= FiveFlag;
    if (openFours > 0 || fours >= 2) flags |= OpenFourFlag;
    if (fours) flags |= FourFlag;
    return {int16_t(value), flags};
}

// Line key slot of the neighbour `k` steps along a line (k = -4..-1, 1..4).
constexpr int shiftOf(int k) { return 2 * (k < 0 ? k + 4 : k + 3); }

} // namespace

const std::array<uint8_t, 65536> &ShapeBoard::shapeTable(Side s) {
    return tables().shape[size_t(s - 1)];
}

uint64_t shapeKeyOf(int p, Side s) { return tables().zobrist[size_t(s - 1)][size_t(p)]; }

ShapeBoard::ShapeBoard() {
    std::array<int32_t, CellCount> none{};
    reset(none);
}

void ShapeBoard::reset(const std::array<int32_t, CellCount> &board) {
    cells_.fill(WallCell);
    for (auto &k : keys_)
        k.fill(0);
    for (auto &v : value_)
        v.fill(0);
    for (auto &f : flags_)
        f.fill(0);
    near_.fill(0);
    total_ = {0, 0};
    fives_ = {};
    openFours_ = {};
    fours_ = {};
    key_ = 0;
    stones_ = 0;
    for (int c = 0; c < CellCount; ++c)
        cells_[size_t(paddedOf(c))] = Empty;
    // The edge reads as a wall in the keys of the cells within four steps of it.
    for (int p = 0; p < ShapeCells; ++p) {
        if (cells_[size_t(p)] == WallCell) continue;
        for (int d = 0; d < DirectionCount; ++d)
            for (int k = -4; k <= 4; ++k) {
                const int n = p + k * ShapeStep[size_t(d)];
                if (k != 0 && n >= 0 && n < ShapeCells && cells_[size_t(n)] == WallCell)
                    keys_[size_t(p)][size_t(d)] += uint16_t(WallCell << shiftOf(k));
            }
    }
    for (int c = 0; c < CellCount; ++c)
        refresh(paddedOf(c));
    for (int c = 0; c < CellCount; ++c)
        if (board[size_t(c)] == X || board[size_t(c)] == O)
            place(paddedOf(c), Side(board[size_t(c)]));
}

constexpr std::array<int, DirectionCount> DigitOf = {1, 9, 81, 729};

void ShapeBoard::refresh(int p) {
    const auto &t = tables();
    std::array<int, 2> index{};
    for (int d = 0; d < DirectionCount; ++d) {
        const uint8_t shape = t.pair[keys_[size_t(p)][size_t(d)]];
        shapes_[size_t(p)][size_t(d)] = shape;
        index[0] += (shape & 15) * DigitOf[size_t(d)];
        index[1] += (shape >> 4) * DigitOf[size_t(d)];
    }
    for (int i = 0; i < 2; ++i) {
        comboIndex_[size_t(i)][size_t(p)] = uint16_t(index[size_t(i)]);
        combine(p, i);
    }
}

void ShapeBoard::combine(int p, int i) {
    const auto &t = tables();
    int32_t value = 0;
    uint8_t flags = 0;
    if (cells_[size_t(p)] == Empty) {
        const uint16_t index = comboIndex_[size_t(i)][size_t(p)];
        value = t.comboValue[index];
        flags = t.comboFlags[index];
    }
    total_[size_t(i)] += value - value_[size_t(i)][size_t(p)];
    value_[size_t(i)][size_t(p)] = value;
    const uint8_t changed = flags ^ flags_[size_t(i)][size_t(p)];
    if (!changed) return;
    flags_[size_t(i)][size_t(p)] = flags;
    if (changed & FiveFlag) fives_[size_t(i)].flip(p);
    if (changed & OpenFourFlag) openFours_[size_t(i)].flip(p);
    if (changed & FourFlag) fours_[size_t(i)].flip(p);
}

void ShapeBoard::follow(int n, int d) {
    const uint8_t shape = tables().pair[keys_[size_t(n)][size_t(d)]];
    const uint8_t old = shapes_[size_t(n)][size_t(d)];
    if (shape == old) return;
    shapes_[size_t(n)][size_t(d)] = shape;
    // Only the side whose shape changed needs its value and threats again.
    for (int i = 0; i < 2; ++i) {
        const int diff = (shape >> (4 * i) & 15) - (old >> (4 * i) & 15);
        if (diff == 0) continue;
        comboIndex_[size_t(i)][size_t(n)] =
            uint16_t(comboIndex_[size_t(i)][size_t(n)] + diff * DigitOf[size_t(d)]);
        combine(n, i);
    }
}

void ShapeBoard::place(int p, Side s) {
    cells_[size_t(p)] = s;
    key_ ^= shapeKeyOf(p, s);
    ++stones_;
    combine(p, 0);
    combine(p, 1);
    followLines(p, s);
}

void ShapeBoard::remove(int p) {
    const Side s = Side(cells_[size_t(p)]);
    cells_[size_t(p)] = Empty;
    key_ ^= shapeKeyOf(p, s);
    --stones_;
    refresh(p);
    followLines(p, -int(s));
}

void ShapeBoard::followLines(int p, int digit) {
    for (int d = 0; d < DirectionCount; ++d)
        for (int sign : {1, -1})
            for (int k = 1; k <= 4; ++k) {
                const int n = p + sign * k * ShapeStep[size_t(d)];
                if (cells_[size_t(n)] == WallCell) break;
                // The stone stands -sign * k steps from n along the line.
                keys_[size_t(n)][size_t(d)] += uint16_t(digit * (1 << shiftOf(-sign * k)));
                if (cells_[size_t(n)] == Empty) follow(n, d);
            }
    const int change = digit > 0 ? 1 : -1;
    for (int dr = -2; dr <= 2; ++dr)
        for (int dc = -2; dc <= 2; ++dc)
            near_[size_t(p + dr * ShapeWidth + dc)] += uint8_t(change);
}

} // namespace pentad

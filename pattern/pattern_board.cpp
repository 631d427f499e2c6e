#include "pattern/pattern_board.h"

#include <algorithm>

namespace pentad::pattern {
namespace {

struct Keys {
    std::array<std::array<uint64_t, PaddedCells>, 2> stone{};
    Keys() {
        uint64_t x = 0x9E3779B97F4A7C15ull; // splitmix64: fixed keys, the same every run
        for (auto &colour : stone)
            for (uint64_t &k : colour) {
                uint64_t z = (x += 0x9E3779B97F4A7C15ull);
                z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
                z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
                k = z ^ (z >> 31);
            }
    }
};

const Keys &keys() {
    static const Keys k;
    return k;
}

bool onBoard(int x, int y) { return x >= 0 && x < Side && y >= 0 && y < Side; }

// Tables that leave the value and ordering at zero, for a board built without the data.
const EvalTables &zeroTables() {
    static const EvalTables t{};
    return t;
}

} // namespace

uint64_t stoneKey(Colour c, int p) { return keys().stone[c][size_t(p)]; }

PatternBoard::PatternBoard()
    : tables_(&patternTables()), eval_(activeEvalTables() ? activeEvalTables() : &zeroTables()) {
    keys();
    reset();
}

void PatternBoard::reset() {
    for (int p = 0; p < PaddedCells; ++p)
        cell_[size_t(p)] = onBoard(p % Width - Margin, p / Width - Margin) ? Empty : Wall;
    buildLineKeys();
    near_.fill(0);
    for (auto &c : count_)
        c.fill(0);
    valueSum_.fill(0);
    for (int c = 0; c < 2; ++c) {
        fives_[size_t(c)] = {};
        fours_[size_t(c)] = {};
        patternKey_[size_t(c)].fill(0);
        cellPattern_[size_t(c)].fill(None);
    }
    stones_ = 0;
    side_ = Black;
    hash_ = 0;
    for (int p = 0; p < PaddedCells; ++p)
        if (cell_[size_t(p)] == Empty) addCell(p);
}

// Every line key read from the stones, with the wall beyond the array's ends.
void PatternBoard::buildLineKeys() {
    for (int d = 0; d < 4; ++d)
        for (int p = 0; p < PaddedCells; ++p) {
            uint16_t key = 0;
            for (int offset = -4; offset <= 4; ++offset) {
                const int q = p + offset * Step[size_t(d)];
                if (offset == 0) continue;
                const uint16_t v = (q < 0 || q >= PaddedCells) ? uint16_t(Wall) : cell_[size_t(q)];
                key = uint16_t(key | (v << keyShift(offset)));
            }
            lineKey_[size_t(d)][size_t(p)] = key;
        }
}

void PatternBoard::setUp(const std::array<char, MaxStones> &cells) {
    reset();
    int black = 0, white = 0;
    for (int c = 0; c < MaxStones; ++c) {
        const char v = cells[size_t(c)];
        if (v != 'X' && v != 'O') continue;
        placeAs(padded(c % Side, c / Side), v == 'X' ? Black : White);
        ++(v == 'X' ? black : white);
    }
    side_ = white < black ? White : Black;
}

// Files an empty cell's patterns, worked out afresh from its line keys.
void PatternBoard::addCell(int p) {
    for (Colour c : {Black, White}) {
        PatternKey key = 0;
        for (int d = 0; d < 4; ++d)
            key = PatternKey(key | (tables_->line[c][lineKey_[size_t(d)][size_t(p)]] << (4 * d)));
        patternKey_[c][size_t(p)] = key;
        const auto cp = CellPattern(tables_->cell[key]);
        cellPattern_[c][size_t(p)] = cp;
        ++count_[c][cp];
        valueSum_[c] += eval_->keyValue[key];
        if (cp == Five) fives_[c].set(p);
        if (cp >= Block4) fours_[c].set(p);
    }
}

void PatternBoard::removeCell(int p) {
    for (Colour c : {Black, White}) {
        const auto cp = CellPattern(cellPattern_[c][size_t(p)]);
        --count_[c][cp];
        valueSum_[c] -= eval_->keyValue[patternKey_[c][size_t(p)]];
        fives_[c].clear(p);
        fours_[c].clear(p);
    }
}

void PatternBoard::setPatterns(Colour c, int p, PatternKey key) {
    const PatternKey old = patternKey_[c][size_t(p)];
    if (key == old) return;
    patternKey_[c][size_t(p)] = key;
    valueSum_[c] += eval_->keyValue[key] - eval_->keyValue[old];
    const auto before = CellPattern(cellPattern_[c][size_t(p)]);
    const auto after = CellPattern(tables_->cell[key]);
    if (before == after) return;
    cellPattern_[c][size_t(p)] = after;
    --count_[c][before];
    ++count_[c][after];
    if (before == Five) fives_[c].clear(p);
    if (after == Five) fives_[c].set(p);
    if (before >= Block4 && after < Block4) fours_[c].clear(p);
    if (after >= Block4 && before < Block4) fours_[c].set(p);
}

// The line of direction d through the empty cell p changed: its line pattern for each colour.
void PatternBoard::updateLine(int p, int d) {
    const uint16_t key = lineKey_[size_t(d)][size_t(p)];
    const int shift = 4 * d;
    for (Colour c : {Black, White}) {
        const PatternKey old = patternKey_[c][size_t(p)];
        setPatterns(c, p, PatternKey((old & ~(15 << shift)) | (tables_->line[c][key] << shift)));
    }
}

void PatternBoard::placeAs(int p, Colour c) {
    side_ = other(c);
    const auto stone = uint16_t(stoneOf(c));
    removeCell(p);
    cell_[size_t(p)] = uint8_t(stone);
    hash_ ^= stoneKey(c, p);
    moves_[size_t(stones_++)] = int16_t(p);
    for (int d = 0; d < 4; ++d) {
        const int step = Step[size_t(d)];
        for (int k = 1; k <= 4; ++k) {
            // Seen from the cell k steps away, this stone sits k steps back, and the reverse.
            const int ahead = p + k * step, behind = p - k * step;
            lineKey_[size_t(d)][size_t(ahead)] += uint16_t(stone << keyShift(-k));
            lineKey_[size_t(d)][size_t(behind)] += uint16_t(stone << keyShift(k));
            if (cell_[size_t(ahead)] == Empty) updateLine(ahead, d);
            if (cell_[size_t(behind)] == Empty) updateLine(behind, d);
        }
    }
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            ++near_[size_t(p + dy * Width + dx)];
}

void PatternBoard::undo() {
    const int p = moves_[size_t(--stones_)];
    const Colour c = cell_[size_t(p)] == BlackStone ? Black : White;
    side_ = c;
    const auto stone = uint16_t(stoneOf(c));
    cell_[size_t(p)] = Empty;
    hash_ ^= stoneKey(c, p);
    for (int d = 0; d < 4; ++d) {
        const int step = Step[size_t(d)];
        for (int k = 1; k <= 4; ++k) {
            const int ahead = p + k * step, behind = p - k * step;
            lineKey_[size_t(d)][size_t(ahead)] -= uint16_t(stone << keyShift(-k));
            lineKey_[size_t(d)][size_t(behind)] -= uint16_t(stone << keyShift(k));
            if (cell_[size_t(ahead)] == Empty) updateLine(ahead, d);
            if (cell_[size_t(behind)] == Empty) updateLine(behind, d);
        }
    }
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            --near_[size_t(p + dy * Width + dx)];
    addCell(p);
}

CellPattern PatternBoard::strongest(Colour c) const {
    for (int cp = Five; cp > None; --cp)
        if (count_[c][size_t(cp)] > 0) return CellPattern(cp);
    return None;
}

int PatternBoard::evaluate() const {
    const Colour us = toMove(), them = other(us);
    return valueSum_[us] - valueSum_[them] + eval_->threat[strongest(us)][strongest(them)] +
           eval_->tempo;
}

bool PatternBoard::verify() const {
    PatternBoard fresh;
    for (int i = 0; i < stones_; ++i)
        fresh.placeAs(moves_[size_t(i)],
                      cell_[size_t(moves_[size_t(i)])] == BlackStone ? Black : White);
    // The incremental board must equal one built stone by stone from empty, and that one
    // must equal a build from scratch of every cell.
    PatternBoard scratch;
    scratch.cell_ = cell_;
    scratch.stones_ = stones_;
    scratch.buildLineKeys();
    for (auto &c : scratch.count_)
        c.fill(0);
    scratch.valueSum_.fill(0);
    scratch.fives_ = {};
    scratch.fours_ = {};
    scratch.near_.fill(0);
    for (int p = 0; p < PaddedCells; ++p) {
        if (cell_[size_t(p)] == Empty) scratch.addCell(p);
        if (cell_[size_t(p)] == BlackStone || cell_[size_t(p)] == WhiteStone)
            for (int dy = -2; dy <= 2; ++dy)
                for (int dx = -2; dx <= 2; ++dx)
                    ++scratch.near_[size_t(p + dy * Width + dx)];
    }
    for (const PatternBoard *b : {&fresh, &scratch}) {
        if (b->count_ != count_ || b->valueSum_ != valueSum_ || b->near_ != near_) return false;
        for (int c = 0; c < 2; ++c)
            if (b->fives_[size_t(c)].word != fives_[size_t(c)].word ||
                b->fours_[size_t(c)].word != fours_[size_t(c)].word)
                return false;
        for (int p = 0; p < PaddedCells; ++p) {
            if (cell_[size_t(p)] != Empty) continue;
            for (int d = 0; d < 4; ++d)
                if (b->lineKey_[size_t(d)][size_t(p)] != lineKey_[size_t(d)][size_t(p)])
                    return false;
            for (int c = 0; c < 2; ++c)
                if (b->patternKey_[size_t(c)][size_t(p)] != patternKey_[size_t(c)][size_t(p)] ||
                    b->cellPattern_[size_t(c)][size_t(p)] != cellPattern_[size_t(c)][size_t(p)])
                    return false;
        }
    }
    return fresh.hash_ == hash_;
}

} // namespace pentad::pattern

#include "tournament/pattern_board.h"

#include <algorithm>
#include <memory>

namespace pentad::tournament {
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
    static const std::unique_ptr<EvalTables> t = [] {
        auto z = std::make_unique<EvalTables>();
        const PatternTables &patterns = patternTables();
        for (size_t key = 0; key < z->keyEntry.size(); ++key)
            z->keyEntry[key] = uint32_t(patterns.cell[key]) << 16;
        return z;
    }();
    return *t;
}

} // namespace

uint64_t stoneKey(Colour c, int p) { return keys().stone[c][size_t(p)]; }

PatternBoard::PatternBoard()
    : tables_(&patternTables()), eval_(activeEvalTables() ? activeEvalTables() : &zeroTables()),
      net_(activeNetwork() ? std::make_unique<NetworkState>(*activeNetwork()) : nullptr) {
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
    if (net_) net_->reset();
    netValid_ = netCount_ = 0;
    changedCount_ = 0;
    lastChanged_.fill(-1);
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
        valueSum_[c] += EvalTables::entryValue(eval_->keyEntry[key]);
        if (cp == Five) fives_[c].set(p);
        if (cp >= Block4) fours_[c].set(p);
    }
}

void PatternBoard::removeCell(int p) {
    for (Colour c : {Black, White}) {
        const auto cp = CellPattern(cellPattern_[c][size_t(p)]);
        --count_[c][cp];
        valueSum_[c] -= EvalTables::entryValue(eval_->keyEntry[patternKey_[c][size_t(p)]]);
        fives_[c].clear(p);
        fours_[c].clear(p);
    }
}

void PatternBoard::setPatterns(Colour c, int p, PatternKey key) {
    const PatternKey old = patternKey_[c][size_t(p)];
    if (key == old) return;
    patternKey_[c][size_t(p)] = key;
    const uint32_t entry = eval_->keyEntry[key];
    valueSum_[c] += EvalTables::entryValue(entry) - EvalTables::entryValue(eval_->keyEntry[old]);
    const auto before = CellPattern(cellPattern_[c][size_t(p)]);
    const auto after = CellPattern(EvalTables::entryPattern(entry));
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
// A cell's patterns before the stone are kept for undo the first time the stone changes them.
void PatternBoard::updateLine(int p, int d) {
    const uint16_t key = lineKey_[size_t(d)][size_t(p)];
    const int shift = 4 * d;
    const PatternKey oldBlack = patternKey_[Black][size_t(p)],
                     oldWhite = patternKey_[White][size_t(p)];
    const unsigned both = tables_->lineBoth[key];
    const auto newBlack = PatternKey((oldBlack & ~(15 << shift)) | ((both & 15) << shift));
    const auto newWhite = PatternKey((oldWhite & ~(15 << shift)) | ((both >> 4) << shift));
    if (newBlack == oldBlack && newWhite == oldWhite) return;
    if (lastChanged_[size_t(p)] != stones_) {
        lastChanged_[size_t(p)] = int16_t(stones_);
        changed_[size_t(changedCount_++)] = {
            int16_t(p),
            {oldBlack, oldWhite},
            {cellPattern_[Black][size_t(p)], cellPattern_[White][size_t(p)]}};
    }
    setPatterns(Black, p, newBlack);
    setPatterns(White, p, newWhite);
}

void PatternBoard::placeAs(int p, Colour c) {
    side_ = other(c);
    const auto stone = uint16_t(stoneOf(c));
    Undo &u = undo_[size_t(stones_)];
    u.count = count_;
    u.valueSum = valueSum_;
    u.firstChanged = changedCount_;
    changed_[size_t(changedCount_++)] = {
        int16_t(p),
        {patternKey_[Black][size_t(p)], patternKey_[White][size_t(p)]},
        {cellPattern_[Black][size_t(p)], cellPattern_[White][size_t(p)]}};
    removeCell(p);
    cell_[size_t(p)] = uint8_t(stone);
    hash_ ^= stoneKey(c, p);
    moves_[size_t(stones_++)] = int16_t(p);
    lastChanged_[size_t(p)] = int16_t(stones_);
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

// Restores what the last stone changed from the records placeAs kept.
void PatternBoard::undo() {
    const int p = moves_[size_t(--stones_)];
    const Colour c = cell_[size_t(p)] == BlackStone ? Black : White;
    side_ = c;
    const auto stone = uint16_t(stoneOf(c));
    cell_[size_t(p)] = Empty;
    hash_ ^= stoneKey(c, p);
    netValid_ = std::min(netValid_, stones_);
    for (int d = 0; d < 4; ++d) {
        const int step = Step[size_t(d)];
        for (int k = 1; k <= 4; ++k) {
            lineKey_[size_t(d)][size_t(p + k * step)] -= uint16_t(stone << keyShift(-k));
            lineKey_[size_t(d)][size_t(p - k * step)] -= uint16_t(stone << keyShift(k));
        }
    }
    for (int dy = -2; dy <= 2; ++dy)
        for (int dx = -2; dx <= 2; ++dx)
            --near_[size_t(p + dy * Width + dx)];
    const Undo &u = undo_[size_t(stones_)];
    for (int i = changedCount_ - 1; i >= u.firstChanged; --i) {
        const Changed &ch = changed_[size_t(i)];
        const auto q = size_t(ch.cell);
        lastChanged_[q] = -1;
        // The stone's own cell lost its set memberships when it was filled.
        const bool ownCell = i == u.firstChanged;
        for (Colour colour : {Black, White}) {
            patternKey_[colour][q] = ch.key[colour];
            const auto now = CellPattern(cellPattern_[colour][q]);
            const auto cp = CellPattern(ch.pattern[colour]);
            if (now == cp && !ownCell) continue;
            cellPattern_[colour][q] = uint8_t(cp);
            if ((now == Five) != (cp == Five) || ownCell) {
                if (cp == Five)
                    fives_[colour].set(ch.cell);
                else
                    fives_[colour].clear(ch.cell);
            }
            if ((now >= Block4) != (cp >= Block4) || ownCell) {
                if (cp >= Block4)
                    fours_[colour].set(ch.cell);
                else
                    fours_[colour].clear(ch.cell);
            }
        }
    }
    changedCount_ = u.firstChanged;
    count_ = u.count;
    valueSum_ = u.valueSum;
}

CellPattern PatternBoard::strongest(Colour c) const {
    for (int cp = Five; cp > None; --cp)
        if (count_[c][size_t(cp)] > 0) return CellPattern(cp);
    return None;
}

void PatternBoard::syncNetwork() const {
    while (netCount_ > netValid_) {
        const auto [cell, colour] = netMoves_[size_t(--netCount_)];
        net_->remove(cell, colour);
    }
    for (; netCount_ < stones_; ++netCount_) {
        const int p = moves_[size_t(netCount_)];
        const auto entry = std::pair{int16_t(rowOf(p) * Side + columnOf(p)),
                                     cell_[size_t(p)] == BlackStone ? Black : White};
        netMoves_[size_t(netCount_)] = entry;
        net_->place(entry.first, entry.second);
    }
    netValid_ = stones_;
}

int PatternBoard::evaluate() const {
    if (net_) {
        syncNetwork();
        const int value = net_->evaluate(toMove());
        if (!net_->addsToTables()) return value;
        return std::clamp(value + tableValue(), -20000, 20000);
    }
    return tableValue();
}

int PatternBoard::tableValue() const {
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
    // The network's sums follow from its codes, and equal those of the board built afresh.
    if (net_) {
        syncNetwork();
        fresh.syncNetwork();
    }
    if (net_ && (!net_->verify() || fresh.net_->evaluate(Black) != net_->evaluate(Black) ||
                 fresh.net_->evaluate(White) != net_->evaluate(White)))
        return false;
    return fresh.hash_ == hash_;
}

} // namespace pentad::tournament

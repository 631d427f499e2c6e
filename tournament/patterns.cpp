#include "tournament/patterns.h"

#include <algorithm>
#include <memory>

namespace pentad::tournament {
namespace {

// A line of nine cells, the cell itself at index 4, seen by one colour: own stone, empty,
// or blocked (the other colour or the wall).
enum Seen : uint8_t { Open = 0, Own = 1, Blocked = 2 };

struct Line {
    std::array<uint8_t, 9> cell{};
};

Line decode(uint16_t key, Colour c) {
    Line l;
    const CellValue own = stoneOf(c);
    for (int offset = -4; offset <= 4; ++offset) {
        if (offset == 0) {
            l.cell[4] = Own;
            continue;
        }
        const auto v = CellValue((key >> keyShift(offset)) & 3);
        l.cell[size_t(offset + 4)] = v == Empty ? Open : v == own ? Own : Blocked;
    }
    return l;
}

// Windows of five cells that hold the centre: they start at index 0..4.
template <typename F> void forEachWindow(const Line &l, F &&visit) {
    for (int start = 0; start <= 4; ++start) {
        bool blocked = false;
        int own = 0;
        for (int i = start; i < start + 5; ++i) {
            blocked |= l.cell[size_t(i)] == Blocked;
            own += l.cell[size_t(i)] == Own;
        }
        if (!blocked) visit(start, own);
    }
}

class Builder {
public:
    explicit Builder(Colour c) : colour_(c) { memo_.fill(0xff); }

    LinePattern get(uint16_t key) {
        if (memo_[key] == 0xff) memo_[key] = uint8_t(compute(key));
        return LinePattern(memo_[key]);
    }

private:
    LinePattern compute(uint16_t key) {
        const Line l = decode(key, colour_);
        // 1. A five, or the cells that would make one.
        bool five = false, anyWindow = false;
        std::array<bool, 9> fivePoint{};
        forEachWindow(l, [&](int start, int own) {
            anyWindow = true;
            if (own == 5) five = true;
            if (own == 4)
                for (int i = start; i < start + 5; ++i)
                    if (l.cell[size_t(i)] == Open) fivePoint[size_t(i)] = true;
        });
        if (five) return F5;
        const int points = int(std::count(fivePoint.begin(), fivePoint.end(), true));
        if (points >= 2) return F4;
        if (points == 1) return B4;
        if (!anyWindow) return Dead;
        // 2. Otherwise the rung is the best that one more own stone in a window reaches.
        std::array<bool, 9> usable{};
        forEachWindow(l, [&](int start, int) {
            for (int i = start; i < start + 5; ++i)
                if (l.cell[size_t(i)] == Open) usable[size_t(i)] = true;
        });
        std::array<int, LinePatternCount> reached{};
        for (int i = 0; i < 9; ++i) {
            if (!usable[size_t(i)]) continue;
            const int offset = i - 4;
            ++reached[get(uint16_t(key | (uint16_t(stoneOf(colour_)) << keyShift(offset))))];
        }
        if (reached[F4]) return reached[F4] >= 2 ? F3S : F3;
        if (reached[B4]) return B3;
        const int threes = reached[F3] + reached[F3S];
        if (threes) return threes == 1 ? F2 : threes == 2 ? F2A : F2B;
        if (reached[B3]) return B2;
        if (reached[F2] + reached[F2A] + reached[F2B]) return F1;
        return B1;
    }

    Colour colour_;
    std::array<uint8_t, LineKeyCount> memo_;
};

std::unique_ptr<PatternTables> build() {
    auto t = std::make_unique<PatternTables>();
    for (Colour c : {Black, White}) {
        auto b = std::make_unique<Builder>(c);
        for (int key = 0; key < LineKeyCount; ++key)
            t->line[c][size_t(key)] = b->get(uint16_t(key));
    }
    for (int key = 0; key < LineKeyCount; ++key)
        t->lineBoth[size_t(key)] =
            uint8_t(t->line[Black][size_t(key)] | (t->line[White][size_t(key)] << 4));
    // Combinations in the order of their sorted tuples, weakest first.
    int index = 0;
    static uint16_t comboOf[LinePatternCount][LinePatternCount][LinePatternCount][LinePatternCount];
    for (int a = 0; a < LinePatternCount; ++a)
        for (int b = a; b < LinePatternCount; ++b)
            for (int c = b; c < LinePatternCount; ++c)
                for (int d = c; d < LinePatternCount; ++d) {
                    comboOf[a][b][c][d] = uint16_t(index);
                    t->comboPatterns[size_t(index)] = {uint8_t(a), uint8_t(b), uint8_t(c),
                                                       uint8_t(d)};
                    ++index;
                }
    for (int key = 0; key < (1 << 16); ++key) {
        std::array<uint8_t, 4> p{};
        bool valid = true;
        for (int d = 0; d < 4; ++d) {
            p[size_t(d)] = uint8_t((key >> (4 * d)) & 15);
            valid &= p[size_t(d)] < LinePatternCount;
        }
        if (!valid) continue;
        t->cell[size_t(key)] = combineLines(p);
        std::sort(p.begin(), p.end());
        t->combo[size_t(key)] = comboOf[p[0]][p[1]][p[2]][p[3]];
    }
    return t;
}

} // namespace

CellPattern combineLines(const std::array<uint8_t, 4> &lines) {
    std::array<int, LinePatternCount> n{};
    for (uint8_t p : lines)
        ++n[p];
    const int threes = n[F3] + n[F3S], twos = n[F2] + n[F2A] + n[F2B];
    if (n[F5]) return Five;
    if (n[F4] || n[B4] >= 2) return Flex4;
    if (n[B4]) return threes ? Block4Flex3 : (n[B3] || twos) ? Block4Plus : Block4;
    if (threes >= 2) return Flex3x2;
    if (threes) return (n[B3] || twos) ? Flex3Plus : Flex3;
    if (n[B3] >= 2 || (n[B3] && twos)) return Block3Plus;
    if (twos >= 2) return Flex2x2;
    if (n[B3]) return Block3;
    if (twos) return Flex2;
    return None;
}

const PatternTables &patternTables() {
    static const std::unique_ptr<PatternTables> tables = build();
    return *tables;
}

} // namespace pentad::tournament

#include "tools/pattern_rules.h"

#include <algorithm>

namespace pentad {
namespace {

// A line is seen as nine positions -4..+4 around the cell; position 0 holds the own stone
// that is being judged and the eight others are the digits of the pattern code. Digit i
// describes position +4, +3, +2, +1, -1, -2, -3, -4 for i = 0..7.
constexpr int PositionOfDigit[8] = {4, 3, 2, 1, -1, -2, -3, -4};
constexpr int Power3[8] = {1, 3, 9, 27, 81, 243, 729, 2187};
constexpr int Unknown = -1;

int digitAt(int code, int digit) { return code / Power3[digit] % 3; }

// Value of position k (-4..+4): 0 empty, 1 own, 2 other side.
struct Line {
    int cell[9];
    explicit Line(int code) {
        cell[4] = 1;
        for (int i = 0; i < 8; ++i)
            cell[PositionOfDigit[i] + 4] = digitAt(code, i);
    }
    int at(int position) const { return cell[position + 4]; }
};

bool isFive(int code) {
    Line line(code);
    for (int start = -4; start <= 0; ++start) {
        bool all = true;
        for (int k = start; k < start + 5; ++k)
            all = all && line.at(k) == 1;
        if (all) return true;
    }
    return false;
}

bool isDead(int code) {
    Line line(code);
    for (int start = -4; start <= 0; ++start) {
        bool free = true;
        for (int k = start; k < start + 5; ++k)
            free = free && line.at(k) != 2;
        if (free) return false;
    }
    return true;
}

int withOwn(int code, int digit) { return code + Power3[digit]; }
int withOther(int code, int digit) { return code + 2 * Power3[digit]; }

class Deriver {
public:
    Deriver() {
        continuation_.fill(Unknown);
        level_.fill(Unknown);
        upgrade_.fill(Unknown);
        defence_.fill(Unknown);
    }

    // Positions (as digits) where one more own stone makes five.
    int completionDigits(int code, int *digits) {
        int n = 0;
        for (int i = 0; i < 8; ++i)
            if (digitAt(code, i) == 0 && isFive(withOwn(code, i))) digits[n++] = i;
        return n;
    }

    int stepLevel(int code) {
        int best = 9;
        for (int i = 0; i < 8; ++i)
            if (digitAt(code, i) == 0) best = std::min(best, continuation(withOwn(code, i)));
        return std::min(9, 2 + best);
    }

    // Level the line can still reach with the own side playing on: broken double fours
    // count as open fours here.
    int continuation(int code) {
        int &r = continuation_[code];
        if (r != Unknown) return r;
        int digits[8];
        if (isFive(code)) return r = 0;
        if (isDead(code)) return r = 9;
        int n = completionDigits(code, digits);
        if (n >= 2) return r = 1;
        if (n == 1) return r = 2;
        return r = stepLevel(code);
    }

    // Level of the line itself: an open four needs two five points five positions apart.
    int level(int code) {
        int &t = level_[code];
        if (t != Unknown) return t;
        int digits[8];
        if (isFive(code)) return t = 0;
        if (isDead(code)) return t = 9;
        int n = completionDigits(code, digits);
        if (n >= 2) {
            int lo = 4, hi = -4;
            for (int j = 0; j < n; ++j) {
                lo = std::min(lo, PositionOfDigit[digits[j]]);
                hi = std::max(hi, PositionOfDigit[digits[j]]);
            }
            return t = (hi - lo == 5) ? 1 : 2;
        }
        if (n == 1) return t = 2;
        return t = stepLevel(code);
    }

    int lineClass(int code) {
        if (isFive(code)) return 0;
        int reply = 0;
        bool anyEmpty = false;
        for (int i = 0; i < 8; ++i) {
            if (digitAt(code, i) != 0) continue;
            anyEmpty = true;
            reply = std::max(reply, level(withOther(code, i)));
        }
        return 10 * level(code) + (anyEmpty ? reply : 9);
    }

    int upgrade(int code) {
        int &u = upgrade_[code];
        if (u != Unknown) return u;
        if (isFive(code) || level(code) == 9) return u = 0;
        int best = 10, mask = 0;
        for (int i = 0; i < 8; ++i) {
            if (digitAt(code, i) != 0) continue;
            int r = continuation(withOwn(code, i));
            if (r < best) {
                best = r;
                mask = 0;
            }
            if (r == best) mask |= 1 << i;
        }
        return u = mask;
    }

    int defence(int code) {
        int &d = defence_[code];
        if (d != Unknown) return d;
        if (isFive(code) || level(code) == 9) return d = 0;
        int up = upgrade(code);
        int mask = up;
        for (int i = 0; i < 8; ++i)
            if (up & (1 << i)) mask |= defence(withOwn(code, i));
        return d = mask;
    }

    int secondary(int code) {
        if (lineClass(code) != 24) return 0;
        int digits[8];
        completionDigits(code, digits);
        return upgrade(withOther(code, digits[0]));
    }

private:
    std::array<int, 6561> continuation_, level_, upgrade_, defence_;
};

// Two defence entries that the derivation does not give; the tables carry these values.
constexpr int DefenceExceptionOne = 730;  // own stones at -3 and +4
constexpr int DefenceExceptionTwo = 2190; // own stones at -4 and +3

} // namespace

PatternTableSet derivePatternTables() {
    PatternTableSet tables;
    Deriver deriver;
    for (int code = 0; code < 6561; ++code) {
        tables.lineClass[code] = uint8_t(deriver.lineClass(code));
        tables.upgradeCells[code] = uint8_t(deriver.upgrade(code));
        tables.defenceCells[code] = uint8_t(deriver.defence(code));
        tables.secondaryCells[code] = uint8_t(deriver.secondary(code));
    }
    tables.defenceCells[DefenceExceptionOne] = 190;
    tables.defenceCells[DefenceExceptionTwo] = 125;
    return tables;
}

} // namespace pentad

#include "threats/combinations.h"

#include "threats/threat_classes.h"

namespace pentad {
namespace {

// The attacker's follow-up after a four at a: in the four's own line (class 24: a four
// with a three behind it) the last secondary cell that makes at least an open three, else
// across, in the second direction, the first upgrade cell that does.
template <Side A> bool findFollowUp(EngineState &e, int a, int &follow, int &direction) {
    int top = cls<A>(e, a, 0), d0 = dir<A>(e, a, 0);
    int second = cls<A>(e, a, 1), d1 = dir<A>(e, a, 1);
    // Class of the follow-up cell t in line g, not counting line g itself when it is t's best.
    auto lineLevel = [&](int t, int g) {
        int l = dir<A>(e, t, 0) == g ? cls<A>(e, t, 1) : cls<A>(e, t, 0);
        return level(e, l);
    };
    if (top == LineFourWithThree) {
        bool found = false;
        int mask = secondaryMask<A>(e, a, d0);
        for (int k = 1; k <= e.BitCount[mask]; ++k) {
            int t = maskCell(e, a, mask, d0, k);
            if (lineLevel(t, d0) <= 3) {
                follow = t;
                direction = d0;
                found = true;
            }
        }
        if (found) return true;
    }
    if (level(e, second) > 4) return false;
    int mask = upgradeMask<A>(e, a, d1);
    for (int k = 1; k <= e.BitCount[mask]; ++k) {
        int t = maskCell(e, a, mask, d1, k);
        if (lineLevel(t, d1) <= 3) {
            follow = t;
            direction = d1;
            return true;
        }
    }
    return false;
}

// With the four and its block on the board (trial stones): does the follow-up f in line g
// win? D is where the defender must then block. A block that makes the defender a four
// still loses when its five point is the attacker's own second winning point.
template <Side A> bool followUpWins(EngineState &e, int f, int g, int &block) {
    constexpr Side D = opponent(A);
    if (level(e, cls<A>(e, f, 1)) > 3) return false;
    block = firstUpgradeCell<A>(e, f, g);
    int reply = level(e, cls<D>(e, block, 0));
    if (reply > 2) return true;
    if (reply < 2) return false;
    int attackerPoint = firstUpgradeCell<A>(e, f, dir<A>(e, f, 1));
    int defenderPoint = firstUpgradeCell<D>(e, block, dir<D>(e, block, 0));
    return attackerPoint == defenderPoint;
}

// For every own line at the cell that is at most a three, all its defence cells.
template <Side S> void appendCounterCells(EngineState &e, DefenceList &list, int cell) {
    for (int k = 0; k < 4; ++k)
        if (level(e, cls<S>(e, cell, k)) <= 4)
            appendMask(e, list, cell, defenceMask<S>(e, cell, dir<S>(e, cell, k)),
                       dir<S>(e, cell, k));
}

void writeForcingLine(ForcingLine &out, int a, int b, int c) {
    out.count = 3;
    out.cells[1] = int16_t(a);
    out.cells[2] = int16_t(b);
    out.cells[3] = int16_t(c);
}

} // namespace

template <Side S> bool checkFourOpenThree(EngineState &e, int a, ForcingLine &out) {
    constexpr Side Them = opponent(S);
    out.cells[1] = int16_t(a);
    int block = firstUpgradeCell<S>(e, a, dir<S>(e, a, 0));
    int reply = level(e, cls<Them>(e, block, 0));
    if (reply > 2) return true;
    if (reply == 2) {
        int counter = firstUpgradeCell<Them>(e, block, dir<Them>(e, block, 0));
        e.CellScore[counter] = uint16_t(e.CellScore[counter] + e.Params.CounterFourScore);
    }
    e.CellScore[a] = uint16_t(e.CellScore[a] + 1);
    return false;
}

template <Side S> bool findFourThreeWin(EngineState &e, ForcingLine &out) {
    constexpr Side Them = opponent(S);
    const auto &bucket = e.Buckets[OwnFourWithThree];
    for (int i = 1; i <= bucket.count; ++i) {
        int a = bucket.cells[i];
        int b = firstUpgradeCell<S>(e, a, dir<S>(e, a, 0));
        if (level(e, cls<Them>(e, b, 0)) <= 2) continue;
        int follow, g;
        if (!findFollowUp<S>(e, a, follow, g)) continue;
        bool wins;
        {
            TrialStone four(e, a, S);
            TrialStone forcedBlock(e, b, Them);
            int block;
            wins = followUpWins<S>(e, follow, g, block);
        }
        if (wins) {
            writeForcingLine(out, a, b, follow);
            return true;
        }
    }
    return false;
}

template <Side S> bool findFourTwoWin(EngineState &e, ForcingLine &out) {
    constexpr Side Them = opponent(S);
    const auto &bucket = e.Buckets[OwnFourWithTwo];
    for (int i = 1; i <= bucket.count; ++i) {
        int a = bucket.cells[i];
        int d1 = dir<S>(e, a, 1);
        int h = firstUpgradeCell<S>(e, a, dir<S>(e, a, 0));
        if (level(e, cls<Them>(e, h, 0)) <= 2 || level(e, cls<S>(e, a, 1)) > 5) continue;
        int follow = -1;
        int mask = upgradeMask<S>(e, a, d1);
        for (int k = 1; k <= e.BitCount[mask] && follow < 0; ++k) {
            int o = maskCell(e, a, mask, d1, k);
            if (level(e, cls<S>(e, o, 0)) <= 2 && dir<S>(e, o, 0) != d1) follow = o;
        }
        if (follow < 0) continue;
        bool wins;
        {
            TrialStone four(e, a, S);
            TrialStone forcedBlock(e, h, Them);
            int block = firstUpgradeCell<S>(e, follow, dir<S>(e, follow, 0));
            wins = level(e, cls<Them>(e, block, 0)) > 2;
        }
        if (wins) {
            writeForcingLine(out, a, h, follow);
            return true;
        }
    }
    return false;
}

template <Side S> void defendOpenFour(EngineState &e, int p, DefenceList &list) {
    constexpr Side Them = opponent(S);
    int d = dir<Them>(e, p, 0);
    int mask = defenceMask<Them>(e, p, d);
    list.count = 0;
    append(list, p);
    append(list, maskCell(e, p, mask, d, 1));
    append(list, maskCell(e, p, mask, d, 2));
}

template <Side S> void defendDoubleFour(EngineState &e, int p, DefenceList &list) {
    constexpr Side Them = opponent(S);
    int d0 = dir<Them>(e, p, 0);
    int mask = upgradeMask<Them>(e, p, d0);
    list.count = 0;
    append(list, maskCell(e, p, mask, d0, 1));
    if (e.BitCount[mask] >= 2) append(list, maskCell(e, p, mask, d0, 2));
    if (level(e, cls<Them>(e, p, 1)) <= 2)
        append(list, firstUpgradeCell<Them>(e, p, dir<Them>(e, p, 1)));
    append(list, p);
}

template <Side S> bool defendFourOpenThree(EngineState &e, int p, DefenceList &list) {
    constexpr Side Them = opponent(S);
    list.count = 0;
    int f = firstUpgradeCell<Them>(e, p, dir<Them>(e, p, 0));
    int blockLevel = level(e, cls<S>(e, f, 0));
    if (blockLevel <= 2) return false;
    if (blockLevel <= 4) appendCounterCells<S>(e, list, f);
    append(list, f);
    if (level(e, cls<Them>(e, p, 2)) > 3) {
        int d1 = dir<Them>(e, p, 1);
        int mask = cls<Them>(e, p, 1) == LineOpenThreeWithThree ? upgradeMask<Them>(e, p, d1)
                                                                : defenceMask<Them>(e, p, d1);
        appendMask(e, list, p, mask, d1);
    }
    append(list, p);
    return true;
}

template <Side S> bool defendFourThree(EngineState &e, int p, DefenceList &list) {
    constexpr Side Them = opponent(S);
    list.count = 0;
    // 1. The block of the opponent's four must not make us a four already.
    int f0 = firstUpgradeCell<Them>(e, p, dir<Them>(e, p, 0));
    if (level(e, cls<S>(e, f0, 0)) <= 2) return false;
    // 2. The opponent's follow-up, found as the attacker finds it.
    int follow, g;
    if (!findFollowUp<Them>(e, p, follow, g)) return false;
    {
        // 3. Verify the threat with the four and its block on the board.
        TrialStone four(e, p, Them);
        TrialStone forcedBlock(e, f0, S);
        int block;
        if (!followUpWins<Them>(e, follow, g, block)) return false;
        // 4. Answers in the trial position: the later block, our counters there, the
        // follow-up's own lines when it has no third threat, and the follow-up itself.
        append(list, block);
        if (level(e, cls<S>(e, block, 0)) <= 4) appendCounterCells<S>(e, list, block);
        if (level(e, cls<Them>(e, follow, 2)) > 3) {
            for (int k = 0; k < 2; ++k) {
                int d = dir<Them>(e, follow, k);
                int mask = cls<Them>(e, follow, k) <= LineOpenThreeWithThree
                               ? upgradeMask<Them>(e, follow, d)
                               : defenceMask<Them>(e, follow, d);
                appendMask(e, list, follow, mask, d);
            }
        }
        append(list, follow);
    }
    // 5. The four's cell, its block, and our counters at the block.
    append(list, p);
    append(list, f0);
    appendCounterCells<S>(e, list, f0);
    return true;
}

template <Side S> bool defendFourTwo(EngineState &e, int p, DefenceList &list) {
    constexpr Side Them = opponent(S);
    list.count = 0;
    // 1. The block of the four, and an open two across it.
    int block = firstUpgradeCell<Them>(e, p, dir<Them>(e, p, 0));
    if (level(e, cls<S>(e, block, 0)) <= 2 || level(e, cls<Them>(e, p, 1)) > 5) return false;
    // 2. The opponent's follow-up: a cell of the two that makes a four in another line.
    int d1 = dir<Them>(e, p, 1);
    int follow = -1;
    int mask = upgradeMask<Them>(e, p, d1);
    for (int k = 1; k <= e.BitCount[mask] && follow < 0; ++k) {
        int h = maskCell(e, p, mask, d1, k);
        if (level(e, cls<Them>(e, h, 0)) < 3 && dir<Them>(e, h, 0) != d1) follow = h;
    }
    if (follow < 0) return false;
    {
        // 3. With the four and its block on the board: where must the next four be blocked?
        TrialStone four(e, p, Them);
        TrialStone forcedBlock(e, block, S);
        int next = firstUpgradeCell<Them>(e, follow, dir<Them>(e, follow, 0));
        int nextLevel = level(e, cls<S>(e, next, 0));
        if (nextLevel <= 2) return false;
        // 4. Answers in the trial position.
        if (nextLevel <= 4) appendCounterCells<S>(e, list, next);
        append(list, next);
        if (level(e, cls<Them>(e, follow, 2)) > 3) {
            int d = dir<Them>(e, follow, 1);
            int m = cls<Them>(e, follow, 1) == LineOpenThreeWithThree
                        ? upgradeMask<Them>(e, follow, d)
                        : defenceMask<Them>(e, follow, d);
            appendMask(e, list, follow, m, d);
        }
        append(list, follow);
    }
    // 5. The four's cell, its block, and our counters at the block.
    append(list, p);
    append(list, block);
    appendCounterCells<S>(e, list, block);
    return true;
}

#define PENTAD_INSTANTIATE(S)                                                                      \
    template bool checkFourOpenThree<S>(EngineState &, int, ForcingLine &);                        \
    template bool findFourThreeWin<S>(EngineState &, ForcingLine &);                               \
    template bool findFourTwoWin<S>(EngineState &, ForcingLine &);                                 \
    template void defendOpenFour<S>(EngineState &, int, DefenceList &);                            \
    template void defendDoubleFour<S>(EngineState &, int, DefenceList &);                          \
    template bool defendFourOpenThree<S>(EngineState &, int, DefenceList &);                       \
    template bool defendFourThree<S>(EngineState &, int, DefenceList &);                           \
    template bool defendFourTwo<S>(EngineState &, int, DefenceList &);
PENTAD_INSTANTIATE(X)
PENTAD_INSTANTIATE(O)
#undef PENTAD_INSTANTIATE

} // namespace pentad

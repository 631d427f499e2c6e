// The threat solvers against an independent brute force that reads only the stones: on
// random crowded positions both colours must agree on every VCF within a few fours, every
// winning line must replay as a forced win, and the engine state must come back exactly.
#include <gtest/gtest.h>

#include <memory>
#include <random>

#include "board/placement.h"
#include "solver/threat_solver.h"
#include "tests/test_support.h"
#include "tournament/pattern_board.h"
#include "tournament/search.h"

namespace pentad {
namespace {

int at(int row, int column) { return row * BoardSize + column; }

// --- The brute force: five points from runs of stones, nothing else -----------------------
struct Stones {
    std::array<int, CellCount> board{};

    bool makesFive(int cell, int side) const {
        if (board[size_t(cell)] != Empty) return false;
        const int r0 = cell / BoardSize, c0 = cell % BoardSize;
        for (int d = 0; d < 4; ++d) {
            int run = 1;
            for (int sign : {1, -1}) {
                for (int k = 1;; ++k) {
                    int r = r0 + sign * k * RowStep[size_t(d)],
                        c = c0 + sign * k * ColumnStep[size_t(d)];
                    if (r < 0 || r >= BoardSize || c < 0 || c >= BoardSize) break;
                    if (board[size_t(r * BoardSize + c)] != side) break;
                    ++run;
                }
            }
            if (run >= 5) return true;
        }
        return false;
    }
    std::vector<int> fivePoints(int side) const {
        std::vector<int> out;
        for (int c = 0; c < CellCount; ++c)
            if (makesFive(c, side)) out.push_back(c);
        return out;
    }
};

// A VCF for `a` to move within `depth` fours, by trying every cell.
bool bruteVcf(Stones &s, int a, int depth) {
    const int d = 3 - a;
    if (!s.fivePoints(a).empty()) return true;
    std::vector<int> theirs = s.fivePoints(d);
    if (theirs.size() >= 2 || depth == 0) return false;
    for (int m = 0; m < CellCount; ++m) {
        if (s.board[size_t(m)] != Empty) continue;
        if (theirs.size() == 1 && m != theirs[0]) continue;
        s.board[size_t(m)] = a;
        std::vector<int> points = s.fivePoints(a);
        bool win = points.size() >= 2;
        if (points.size() == 1) {
            s.board[size_t(points[0])] = d;
            win = s.fivePoints(d).size() < 2 && bruteVcf(s, a, depth - 1);
            s.board[size_t(points[0])] = Empty;
        }
        s.board[size_t(m)] = Empty;
        if (win) return true;
    }
    return false;
}

// Replays a VCF line: every attacker move blocks his five point if he has one and makes a
// four (or the five), every defender move is the one forced block, and it ends in a win.
bool vcfLineWins(Stones s, int a, const SolverResult &r) {
    const int d = 3 - a;
    for (int i = 0; i < r.lineLength; i += 2) {
        const int m = r.line[size_t(i)];
        if (s.board[size_t(m)] != Empty) return false;
        if (s.makesFive(m, a)) return i + 1 == r.lineLength;
        std::vector<int> theirs = s.fivePoints(d);
        if (theirs.size() > 1 || (theirs.size() == 1 && theirs[0] != m)) return false;
        s.board[size_t(m)] = a;
        std::vector<int> points = s.fivePoints(a);
        if (points.size() >= 2) return i + 1 == r.lineLength;
        if (points.size() != 1 || i + 1 >= r.lineLength || r.line[size_t(i + 1)] != points[0])
            return false;
        s.board[size_t(points[0])] = d;
    }
    return false;
}

Stones stonesOf(const EngineState &e) {
    Stones s;
    for (int c = 0; c < CellCount; ++c)
        s.board[size_t(c)] = e.Board[size_t(c)];
    return s;
}

// A crowded random position around the centre with no five on it.
void randomPosition(EngineState &e, std::mt19937 &rng, int stones) {
    std::uniform_int_distribution<int> near(5, 14);
    Stones s;
    for (int placed = 0; placed < stones;) {
        int c = at(near(rng), near(rng));
        int side = placed % 2 ? O : X;
        if (s.board[size_t(c)] != Empty || s.makesFive(c, side)) continue;
        s.board[size_t(c)] = side;
        place(e, c, side);
        ++placed;
    }
}

TEST(ThreatSolver, VcfAgreesWithBruteForceOnRandomPositions) {
    std::mt19937 rng(20261209);
    int wins = 0, checked = 0;
    for (int trial = 0; trial < 120; ++trial) {
        auto e = test::freshState();
        randomPosition(*e, rng, 14 + trial % 16);
        const ZobristKey key = e->PositionKey;
        for (Side a : {X, O}) {
            SolverLimits limits;
            limits.maxDepth = 3;
            limits.maxNodes = 1 << 22;
            SolverResult r = threatSolver().vcf(*e, a, limits);
            Stones s = stonesOf(*e);
            ASSERT_TRUE(r.complete);
            ASSERT_EQ(r.win, bruteVcf(s, a, 3)) << "trial " << trial << " side " << int(a);
            if (r.win) {
                EXPECT_TRUE(vcfLineWins(s, a, r)) << "trial " << trial;
                ++wins;
            }
            ++checked;
        }
        EXPECT_TRUE(e->PositionKey == key);
        EXPECT_TRUE(verifyState(*e));
    }
    EXPECT_GT(wins, 20);
    EXPECT_GT(checked - wins, 20);
}

// Positions found in random play and checked with the brute force: long VCFs, and VCFs
// that only exist when the defender's counter-fours are ignored. Each is tried for both
// colours: the attacker's stones as X, then as O.
struct Listed {
    std::vector<int> attacker, defender;
};
const Listed LongVcf7 = {
    {84, 109, 114, 145, 146, 150, 151, 193, 208, 209, 231, 253, 268, 287, 288, 307, 315},
    {88, 107, 113, 133, 149, 173, 175, 213, 226, 235, 255, 292, 294, 295, 304, 309}};
const Listed LongVcf8 = {
    {87, 127, 133, 151, 154, 167, 170, 172, 185, 195, 227, 228, 229, 245, 248, 272, 292, 306, 309},
    {106, 124, 126, 155, 164, 169, 193, 211, 213, 230, 244, 269, 285, 287, 293, 295, 305, 314,
     315}};
const Listed CounterFourRefutes = {
    {86, 105, 108, 111, 128, 144, 214, 231, 252, 253, 264, 274, 315},
    {92, 130, 133, 150, 151, 155, 164, 171, 184, 213, 271, 290, 307}};
// Two open twos that one stone turns into two open threes: a VCT, no VCF.
const Listed DoubleThree = {{168, 189, 208, 209}, {0, 2, 4}};

std::unique_ptr<EngineState> positionOf(const Listed &p, Side attacker) {
    auto e = test::freshState();
    for (int c : p.attacker)
        place(*e, c, attacker);
    for (int c : p.defender)
        place(*e, c, opponent(attacker));
    return e;
}

SolverLimits deep(int depth) {
    SolverLimits l;
    l.maxDepth = depth;
    l.maxNodes = 2000000;
    return l;
}

TEST(ThreatSolver, LongVcfsAndCounterFourRefutationsForBothColours) {
    for (Side a : {X, O}) {
        for (const Listed *p : {&LongVcf7, &LongVcf8}) {
            auto e = positionOf(*p, a);
            SolverResult r = threatSolver().vcf(*e, a, deep(30));
            ASSERT_TRUE(r.win);
            EXPECT_GE(r.depth, 7);
            EXPECT_TRUE(vcfLineWins(stonesOf(*e), a, r));
        }
        auto e = positionOf(CounterFourRefutes, a);
        EXPECT_FALSE(threatSolver().vcf(*e, a, deep(30)).win);
        Stones s = stonesOf(*e);
        EXPECT_FALSE(bruteVcf(s, a, 3));
    }
}

TEST(ThreatSolver, VctFindsTheDoubleThreeThatNoVcfHas) {
    for (Side a : {X, O}) {
        auto e = positionOf(DoubleThree, a);
        EXPECT_FALSE(threatSolver().vcf(*e, a, deep(30)).win);
        SolverResult r = threatSolver().vct(*e, a, deep(4));
        ASSERT_TRUE(r.win);
        EXPECT_EQ(r.line[0], at(10, 10));
        EXPECT_TRUE(verifyState(*e));
    }
}

// The tournament engine's move for the side to move of `e`, from a node-limited search on
// its own board.
int tournamentMove(const EngineState &e) {
    std::array<char, tournament::MaxStones> cells{};
    for (int c = 0; c < CellCount; ++c)
        cells[size_t(c)] = e.Board[size_t(c)] == X ? 'X' : e.Board[size_t(c)] == O ? 'O' : '-';
    auto board = std::make_unique<tournament::PatternBoard>();
    board->setUp(cells);
    tournament::Searcher searcher;
    EXPECT_TRUE(searcher.allocate(1 << 22));
    tournament::Limits limits;
    limits.maxNodes = 300000;
    const int p = searcher.think(*board, limits).move;
    return tournament::rowOf(p) * BoardSize + tournament::columnOf(p);
}

// A four in row 10 and a two in column 8 that meet at (10,8): the attacker wins by fours
// unless the defender, to move, answers first; the tournament engine must leave him none.
const Listed FourThenOpenFour = {{205, 206, 207, 228, 248, 390}, {204, 0, 10, 380, 399}};

TEST(TournamentEngine, AnswersAnOpponentVcf) {
    for (Side a : {X, O}) {
        auto e = positionOf(FourThenOpenFour, a);
        if (a == O) place(*e, at(19, 5), X); // the defender stays to move
        ASSERT_TRUE(threatSolver().vcf(*e, a, deep(30)).win);
        const int move = tournamentMove(*e);
        ASSERT_EQ(e->Board[size_t(move)], Empty);
        place(*e, move, opponent(a));
        EXPECT_FALSE(threatSolver().vcf(*e, a, deep(30)).win) << "move " << move;
    }
}

// The threat view a search carries along with its own stones must read as a fresh one.
TEST(ThreatSolver, FollowedViewMatchesAFreshOne) {
    std::mt19937 rng(7);
    auto e = test::freshState();
    randomPosition(*e, rng, 30);
    ThreatBoard &followed = threatSolver().board();
    followed.attach(*e);
    auto fresh = std::make_unique<ThreatBoard>();
    std::vector<std::pair<int, Side>> stack;
    std::uniform_int_distribution<int> cell(0, CellCount - 1);
    for (int step = 0; step < 400; ++step) {
        if (!stack.empty() && (stack.size() > 40 || step % 3 == 2)) {
            auto [c, side] = stack.back();
            stack.pop_back();
            place(*e, c, Empty);
            followed.followRemoved(c, side);
        } else {
            int c = cell(rng);
            if (e->Board[size_t(c)] != Empty) continue;
            Side side = step % 2 ? O : X;
            place(*e, c, side);
            followed.followPlaced(c, side);
            stack.emplace_back(c, side);
        }
        fresh->attach(*e);
        for (Side s : {X, O}) {
            ASSERT_EQ(followed.fives(s).words, fresh->fives(s).words) << step;
            ASSERT_EQ(followed.fours(s).words, fresh->fours(s).words) << step;
            ASSERT_EQ(followed.threes(s).words, fresh->threes(s).words) << step;
        }
        ASSERT_EQ(followed.key(), fresh->key());
    }
}

} // namespace
} // namespace pentad

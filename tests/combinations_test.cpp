#include <gtest/gtest.h>

#include "tests/test_support.h"
#include "threats/combinations.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

// Positions are drawn as rows 6..14 of the board (columns 0..19); '.' is empty. Each test
// runs the X twin on the drawing and the O twin on the colour-swapped drawing, and expects
// the same answers: the twins must mirror each other.
constexpr int FirstRow = 6;
using Drawing = std::vector<std::string>;

int at(int row, int column) { return row * BoardSize + column; }

using test::swapColours;

std::unique_ptr<EngineState> positionFor(Side toMove, const Drawing &drawnForX) {
    auto e = test::freshState();
    test::placeBoard(*e, toMove == X ? drawnForX : swapColours(drawnForX), FirstRow);
    return e;
}

std::vector<int> cellsOf(const DefenceList &list) {
    return std::vector<int>(list.cells.begin() + 1, list.cells.begin() + 1 + list.count);
}

// The parts of the state that no threat test may leave changed.
struct Snapshot {
    std::array<int32_t, CellCount> board;
    std::array<std::array<uint16_t, 4>, CellCount> patternX, patternO;
    ZobristKey key;
    explicit Snapshot(const EngineState &e)
        : board(e.Board), patternX(e.LinePatternX), patternO(e.LinePatternO), key(e.PositionKey) {}
    bool operator==(const Snapshot &) const = default;
};

template <Side S> void fileInto(EngineState &e, int bucket, std::vector<int> cells) {
    e.Buckets[bucket].count = 0;
    for (int c : cells)
        fileCell(e, bucket, c);
}

template <Side S> void checkFourOpenThreeCases() {
    // Row 10: O X X X a . ; column 8 above a: X X, so a makes a four and an open three.
    Drawing base = {"....................", "....................", "........X...........",
                    "........X...........", "....OXXX............"};
    const int a = at(10, 8), block = at(10, 9);
    {
        auto e = positionFor(S, base);
        ASSERT_EQ(combinedClass<S>(*e, a), 23);
        Snapshot before(*e);
        ForcingLine out;
        EXPECT_TRUE(checkFourOpenThree<S>(*e, a, out));
        EXPECT_EQ(out.cells[1], a);
        EXPECT_EQ(Snapshot(*e), before);
    }
    {
        // The block at (10, 9) gives the opponent a four down column 9 (five point (11, 9)):
        // the counter-four point gets 185 and the cell 1.
        Drawing d = base;
        d[0][9] = 'X';
        d[1][9] = 'O';
        d[2][9] = 'O';
        d[3][9] = 'O';
        auto e = positionFor(S, d);
        ForcingLine out;
        EXPECT_FALSE(checkFourOpenThree<S>(*e, a, out));
        EXPECT_EQ(e->CellScore[at(11, 9)], 185);
        EXPECT_EQ(e->CellScore[a], 1);
        EXPECT_EQ(e->CellScore[block], 0);
    }
    {
        // The block makes the opponent an open four: only the cell's 1 is added.
        Drawing d = base;
        d[1][9] = 'O';
        d[2][9] = 'O';
        d[3][9] = 'O';
        auto e = positionFor(S, d);
        ForcingLine out;
        EXPECT_FALSE(checkFourOpenThree<S>(*e, a, out));
        EXPECT_EQ(e->CellScore[a], 1);
        int total = 0;
        for (int c = 0; c < CellCount; ++c)
            total += e->CellScore[c];
        EXPECT_EQ(total, 1);
    }
}
TEST(AttackTests, CheckFourOpenThree) {
    checkFourOpenThreeCases<X>();
    checkFourOpenThreeCases<O>();
}

template <Side S> void fourThreeLineCase() {
    // Row 10: a X X . X : a four with a three behind it (class 24). Column 7 crosses the
    // secondary cell (10, 7) with X above and below: an open three after the block.
    Drawing d = {"....................", "....................", "....................",
                 ".......X............", ".........XX.X.......", ".......X............"};
    const int a = at(10, 8);
    auto e = positionFor(S, d);
    ASSERT_EQ(cls<S>(*e, a, 0), 24);
    fileInto<S>(*e, OwnFourWithThree, {a});
    Snapshot before(*e);
    ForcingLine out;
    ASSERT_TRUE(findFourThreeWin<S>(*e, out));
    EXPECT_EQ(out.count, 3);
    EXPECT_EQ(std::vector<int>(out.cells.begin() + 1, out.cells.begin() + 4),
              (std::vector<int>{a, at(10, 11), at(10, 7)}));
    EXPECT_EQ(Snapshot(*e), before);

    // With a second qualifying secondary cell, the last one in slot order wins.
    Drawing both = d;
    both[3][6] = 'X';
    both[5][6] = 'X';
    auto e2 = positionFor(S, both);
    fileInto<S>(*e2, OwnFourWithThree, {a});
    ASSERT_TRUE(findFourThreeWin<S>(*e2, out));
    EXPECT_EQ(out.cells[3], at(10, 6));
}

template <Side S> void fourThreeCrossCase() {
    // Row 10: O X X X a : a four; column 8: O X X a : a closed three (combined class 24).
    // Row 11 around (11, 8): X . X, so the upgrade cell (11, 8) makes an open three.
    Drawing d = {"....................", "........O...........", "........X...........",
                 "........X...........", "....OXXX............", ".......X.X.........."};
    const int a = at(10, 8);
    auto e = positionFor(S, d);
    ASSERT_EQ(combinedClass<S>(*e, a), 24);
    ASSERT_EQ(level(*e, cls<S>(*e, a, 1)), 4);
    fileInto<S>(*e, OwnFourWithThree, {a});
    Snapshot before(*e);
    ForcingLine out;
    ASSERT_TRUE(findFourThreeWin<S>(*e, out));
    EXPECT_EQ(std::vector<int>(out.cells.begin() + 1, out.cells.begin() + 4),
              (std::vector<int>{a, at(10, 9), at(11, 8)}));
    EXPECT_EQ(Snapshot(*e), before);

    // When the opponent's forced block already makes him a four (along the diagonal
    // through (10, 9)), the cell is skipped.
    Drawing blocked = d;
    blocked[0][13] = 'X';
    blocked[1][12] = 'O';
    blocked[2][11] = 'O';
    blocked[3][10] = 'O';
    auto e2 = positionFor(S, blocked);
    fileInto<S>(*e2, OwnFourWithThree, {a});
    Snapshot before2(*e2);
    EXPECT_FALSE(findFourThreeWin<S>(*e2, out));
    EXPECT_EQ(Snapshot(*e2), before2);
}

TEST(AttackTests, FindFourThreeWinLineAndCrossCases) {
    fourThreeLineCase<X>();
    fourThreeLineCase<O>();
    fourThreeCrossCase<X>();
    fourThreeCrossCase<O>();
}

template <Side S> void fourTwoCase() {
    // Row 10: O X X X a : a four; column 8: X above a : an open two. The two's upgrade cell
    // (11, 8) makes a four along row 11 (O X X X to its left).
    Drawing d = {"....................", "....................", "....................",
                 "........X...........", "....OXXX............", "....OXXX............"};
    const int a = at(10, 8);
    auto e = positionFor(S, d);
    ASSERT_EQ(combinedClass<S>(*e, a), 25);
    fileInto<S>(*e, OwnFourWithTwo, {a});
    Snapshot before(*e);
    ForcingLine out;
    ASSERT_TRUE(findFourTwoWin<S>(*e, out));
    EXPECT_EQ(std::vector<int>(out.cells.begin() + 1, out.cells.begin() + 4),
              (std::vector<int>{a, at(10, 9), at(11, 8)}));
    EXPECT_EQ(Snapshot(*e), before);

    // Without the row-11 stones no follow-up exists.
    Drawing bare = d;
    bare[5] = "....................";
    auto e2 = positionFor(S, bare);
    fileInto<S>(*e2, OwnFourWithTwo, {a});
    EXPECT_FALSE(findFourTwoWin<S>(*e2, out));
}
TEST(AttackTests, FindFourTwoWin) {
    fourTwoCase<X>();
    fourTwoCase<O>();
}

template <Side S> void defenceBuilderCases() {
    DefenceList list;
    {
        // Opponent three on row 10 (columns 6..8): (10, 9) makes an open four.
        Drawing d = {"....................", "....................", "....................",
                     "....................", "......OOO..........."};
        auto e = positionFor(S, d);
        Snapshot before(*e);
        defendOpenFour<S>(*e, at(10, 9), list);
        EXPECT_EQ(cellsOf(list), (std::vector<int>{at(10, 9), at(10, 5), at(10, 10)}));
        EXPECT_EQ(Snapshot(*e), before);
    }
    {
        // A double four within one line: . O . O p O . O .
        Drawing d = {"....................", "....................", "....................",
                     "....................", ".....O.O.O.O........"};
        auto e = positionFor(S, d);
        const int p = at(10, 8);
        ASSERT_EQ(cls<opponent(S)>(*e, p, 0), 22);
        defendDoubleFour<S>(*e, p, list);
        EXPECT_EQ(cellsOf(list), (std::vector<int>{at(10, 6), at(10, 10), p}));
    }
    {
        // Opponent four and open three at p = (10, 8): row O O O p (X beyond), column O O p.
        Drawing d = {"....................", "....................", "........O...........",
                     "........O...........", "....XOOO............"};
        auto e = positionFor(S, d);
        const int p = at(10, 8);
        ASSERT_EQ(combinedClass<opponent(S)>(*e, p), 23);
        Snapshot before(*e);
        ASSERT_TRUE(defendFourOpenThree<S>(*e, p, list));
        // The five point (10, 9), then the three's upgrade cells, then p.
        std::vector<int> cells = cellsOf(list);
        ASSERT_GE(cells.size(), 3u);
        EXPECT_EQ(cells.front(), at(10, 9));
        EXPECT_EQ(cells.back(), p);
        EXPECT_NE(std::find(cells.begin(), cells.end(), at(7, 8)), cells.end());
        EXPECT_NE(std::find(cells.begin(), cells.end(), at(11, 8)), cells.end());
        EXPECT_EQ(Snapshot(*e), before);

        // Blocking at the five point would make our own four: the threat is not real.
        Drawing counter = d;
        counter[0][9] = 'X';
        counter[1][9] = 'X';
        counter[2][9] = 'X';
        auto e2 = positionFor(S, counter);
        EXPECT_FALSE(defendFourOpenThree<S>(*e2, p, list));
    }
}
TEST(DefenceBuilders, OpenFourDoubleFourAndFourOpenThree) {
    defenceBuilderCases<X>();
    defenceBuilderCases<O>();
}

template <Side S> void fourThreeDefence() {
    // The opponent's line-case four-three of fourThreeLineCase, seen by the side to move.
    Drawing d =
        swapColours({"....................", "....................", "....................",
                     ".......X............", ".........XX.X.......", ".......X............"});
    const int p = at(10, 8);
    auto e = positionFor(S, d);
    Snapshot before(*e);
    DefenceList list;
    ASSERT_TRUE(defendFourThree<S>(*e, p, list));
    std::vector<int> cells = cellsOf(list);
    // Trial position answers first (the later block (10, 5), ..., the follow-up (10, 7)),
    // then p and the four's block (10, 11).
    ASSERT_GE(cells.size(), 4u);
    EXPECT_EQ(cells.front(), at(10, 6));
    EXPECT_EQ(cells[cells.size() - 3], at(10, 7));
    EXPECT_EQ(cells[cells.size() - 2], p);
    EXPECT_EQ(cells[cells.size() - 1], at(10, 11));
    EXPECT_EQ(Snapshot(*e), before);

    // Without the crossing stones there is no follow-up: not a real threat.
    Drawing bare =
        swapColours({"....................", "....................", "....................",
                     "....................", ".........XX.X......."});
    auto e2 = positionFor(S, bare);
    Snapshot before2(*e2);
    EXPECT_FALSE(defendFourThree<S>(*e2, p, list));
    EXPECT_EQ(Snapshot(*e2), before2);
}

template <Side S> void fourTwoDefence() {
    Drawing d =
        swapColours({"....................", "....................", "....................",
                     "........X...........", "....OXXX............", "....OXXX............"});
    const int p = at(10, 8);
    auto e = positionFor(S, d);
    Snapshot before(*e);
    DefenceList list;
    ASSERT_TRUE(defendFourTwo<S>(*e, p, list));
    std::vector<int> cells = cellsOf(list);
    ASSERT_GE(cells.size(), 4u);
    // ..., the next four's block (11, 9), ..., the follow-up (11, 8), p, the block (10, 9).
    EXPECT_NE(std::find(cells.begin(), cells.end(), at(11, 9)), cells.end());
    EXPECT_EQ(cells[cells.size() - 3], at(11, 8));
    EXPECT_EQ(cells[cells.size() - 2], p);
    EXPECT_EQ(cells[cells.size() - 1], at(10, 9));
    EXPECT_EQ(Snapshot(*e), before);
}

TEST(DefenceBuilders, FourThreeAndFourTwoVerifyByPlay) {
    fourThreeDefence<X>();
    fourThreeDefence<O>();
    fourTwoDefence<X>();
    fourTwoDefence<O>();
}

// Where a cell has two equal line classes the sides pick a different first direction, so
// the twins answer differently on colour-swapped positions.
TEST(DefenceBuilders, EqualClassesMakeTheTwinsDiffer) {
    // The opponent's cell (10, 8) makes an open four both along row 10 and down column 8.
    Drawing d = {"....................", "........O...........", "........O...........",
                 "........O...........", ".....OOO............"};
    const int p = at(10, 8);
    DefenceList list;
    auto ex = positionFor(X, d);
    ASSERT_EQ(cls<O>(*ex, p, 0), cls<O>(*ex, p, 1));
    defendOpenFour<X>(*ex, p, list);
    std::vector<int> forX = cellsOf(list);
    auto eo = positionFor(O, d);
    defendOpenFour<O>(*eo, p, list);
    std::vector<int> forO = cellsOf(list);
    // X sees O's cell with O's direction order (row first); O sees X's with X's (column first).
    EXPECT_EQ(forX, (std::vector<int>{p, at(10, 4), at(10, 9)}));
    EXPECT_EQ(forO, (std::vector<int>{p, at(6, 8), at(11, 8)}));
}

TEST(ThreatTables, MasksNeverReachPastABlockingDigit) {
    // Board edges count as the other side, so no mask may name a cell beyond an 'other'
    // digit on the same side: this keeps every mask cell on the board.
    auto e = test::freshState();
    const int power3[8] = {1, 3, 9, 27, 81, 243, 729, 2187};
    for (int p = 0; p < PatternCount; ++p) {
        int beyond = 0;
        for (int i = 3; i >= 0; --i) // +1 .. +4
            if (p / power3[i] % 3 == 2) beyond |= (1 << i) - 1;
        for (int i = 4; i < 8; ++i) // -1 .. -4
            if (p / power3[i] % 3 == 2) beyond |= 0xFF & ~((2 << i) - 1);
        ASSERT_EQ(e->UpgradeCells[p] & beyond, 0) << p;
        ASSERT_EQ(e->DefenceCells[p] & beyond, 0) << p;
        ASSERT_EQ(e->SecondaryCells[p] & beyond, 0) << p;
    }
}

} // namespace
} // namespace pentad

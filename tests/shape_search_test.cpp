// The tournament mode's shape board and search: shapes of known lines, the incremental
// board against one built afresh, and the search's answers to plain threats.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "search/shape_board.h"
#include "search/shape_search.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

std::array<int32_t, CellCount> boardOf(const std::vector<std::string> &rows) {
    std::array<int32_t, CellCount> b{};
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size() && c < BoardSize; ++c)
            b[r * BoardSize + c] = rows[r][c] == 'X' ? X : rows[r][c] == 'O' ? O : Empty;
    return b;
}

// The shape a stone at column `col` of row 0 makes along the row, for X.
LineShape rowShape(const std::string &row, int col) {
    ShapeBoard b;
    b.reset(boardOf({row}));
    return b.shape(paddedOf(col), 0, X);
}

TEST(ShapeBoard, ShapesOfKnownLines) {
    EXPECT_EQ(rowShape("..XXXX.....", 6), FiveShape);
    EXPECT_EQ(rowShape("..XXX......", 5), OpenFour);
    EXPECT_EQ(rowShape("..XXX......", 6), FourShape);
    EXPECT_EQ(rowShape("..XX.X.....", 4), OpenFour); // fills the gap of a split three
    EXPECT_EQ(rowShape("OXXX.......", 4), FourShape);
    EXPECT_EQ(rowShape("XXX........", 3), FourShape); // the edge blocks like a stone
    EXPECT_EQ(rowShape("XX.XXX.....", 2), FiveShape); // an overline counts as a five
    EXPECT_EQ(rowShape("...XX......", 6), OpenThree);
    EXPECT_EQ(rowShape("..OXX......", 6), ThreeShape);
    EXPECT_EQ(rowShape("...X.......", 5), OpenTwo);
    EXPECT_EQ(rowShape("O..X.....O.", 5), OpenTwo);
    EXPECT_EQ(rowShape("OX.X.O.....", 4), NoShape); // no room for a five
    // The same line for O reads the X stones as blocks.
    ShapeBoard b;
    b.reset(boardOf({"..OOO......"}));
    EXPECT_EQ(b.shape(paddedOf(5), 0, O), OpenFour);
    EXPECT_EQ(b.shape(paddedOf(1), 0, X), NoShape);
    EXPECT_TRUE(b.openFours(O).test(paddedOf(5)));
    EXPECT_TRUE(b.fours(O).test(paddedOf(1)));
}

// Stones put down and taken back in random order leave the same board as one built afresh.
TEST(ShapeBoard, IncrementalMatchesFresh) {
    std::mt19937 rng(7);
    ShapeBoard b;
    std::array<int32_t, CellCount> stones{};
    b.reset(stones);
    std::vector<int> placed;
    for (int step = 0; step < 3000; ++step) {
        if (placed.size() > 150 || (!placed.empty() && rng() % 3 == 0)) {
            const size_t i = rng() % placed.size();
            b.remove(paddedOf(placed[i]));
            stones[size_t(placed[i])] = Empty;
            placed.erase(placed.begin() + long(i));
        } else {
            const int c = int(rng() % CellCount);
            if (stones[size_t(c)] != Empty) continue;
            const Side s = rng() % 2 ? X : O;
            b.place(paddedOf(c), s);
            stones[size_t(c)] = s;
            placed.push_back(c);
        }
        if (step % 100 != 0) continue;
        ShapeBoard fresh;
        fresh.reset(stones);
        ASSERT_EQ(b.key(), fresh.key());
        for (Side s : {X, O}) {
            ASSERT_EQ(b.total(s), fresh.total(s));
            ASSERT_EQ(b.fives(s).words, fresh.fives(s).words);
            ASSERT_EQ(b.openFours(s).words, fresh.openFours(s).words);
            ASSERT_EQ(b.fours(s).words, fresh.fours(s).words);
        }
        for (int c = 0; c < CellCount; ++c)
            ASSERT_EQ(b.nearCount(paddedOf(c)), fresh.nearCount(paddedOf(c)));
    }
}

std::unique_ptr<EngineState> stateOf(const std::vector<std::string> &rows) {
    auto e = std::make_unique<EngineState>();
    e->Board = boardOf(rows);
    int stones = 0;
    for (int v : e->Board)
        stones += v != Empty;
    e->MoveNumber = stones + 1;
    return e;
}

int searchOn(const std::vector<std::string> &rows, int maxDepth = 6) {
    auto e = stateOf(rows);
    ShapeSearchLimits limits;
    limits.maxDepth = maxDepth;
    return shapeSearch(*e, limits).move;
}

TEST(ShapeSearch, PlaysFivesBlocksAndWinsByFours) {
    // X to move (even count): own five before blocking his.
    const int five = searchOn({"", "", "", "", "....XXXX.", "....OOOO."});
    EXPECT_TRUE(five == 4 * BoardSize + 3 || five == 4 * BoardSize + 8) << five;
    // O to move: block X's four.
    EXPECT_EQ(searchOn({"", "", "", "", "...OXXXX.", "......O..", "", "", "", "", "O"}),
              4 * BoardSize + 8);
    // X to move: the open three against his open three wins first.
    const int move = searchOn({"", "", "", "", ".....XXX...", "", "......OOO..", "", "", ""});
    EXPECT_TRUE(move == 4 * BoardSize + 4 || move == 4 * BoardSize + 8) << move;
}

// X and O are twins: the colour-swapped position, the other side to move, reads the same;
// and a search leaves nothing behind that the next one reads.
TEST(ShapeSearch, ColourSwapGivesTheSameBoardAndMoveAndSearchesRepeat) {
    std::mt19937 rng(3);
    for (int round = 0; round < 20; ++round) {
        auto e = std::make_unique<EngineState>();
        for (int i = 0; i < 24; ++i) {
            const int c = 7 * BoardSize + 5 + int(rng() % 6) * BoardSize + int(rng() % 10);
            if (e->Board[size_t(c)] == Empty) e->Board[size_t(c)] = i % 2 ? O : X;
        }
        auto swapped = std::make_unique<EngineState>();
        for (int c = 0; c < CellCount; ++c)
            swapped->Board[size_t(c)] =
                e->Board[size_t(c)] == Empty ? Empty : 3 - e->Board[size_t(c)];
        e->MoveNumber = 1 + 2 * round % 2;
        swapped->MoveNumber = e->MoveNumber + 1;
        ShapeBoard a, b;
        a.reset(e->Board);
        b.reset(swapped->Board);
        ASSERT_EQ(a.total(X), b.total(O));
        ASSERT_EQ(a.fours(X).words, b.fours(O).words);
        ASSERT_EQ(a.openFours(O).words, b.openFours(X).words);
        ShapeSearchLimits limits;
        limits.maxDepth = 3;
        const ShapeSearchResult r = shapeSearch(*e, limits);
        EXPECT_EQ(r.move, shapeSearch(*swapped, limits).move) << round;
        EXPECT_EQ(r.value, e->BestScore);
        // Nothing of the searches before is read: the same search again is the same search.
        const ShapeSearchResult again = shapeSearch(*e, limits);
        EXPECT_EQ(again.nodes, r.nodes) << round;
        EXPECT_EQ(again.move, r.move) << round;
    }
}

// The clock stops the search however deep it may go.
TEST(ShapeSearch, StopsAtTheDeadline) {
    auto e = stateOf({"", "", "", "", "", "", "", "", "........X", "......O.X", ".......O"});
    ShapeSearchLimits limits;
    limits.maxDepth = MaxShapeDepth;
    const int64_t start = processClockMs();
    limits.deadline = start + 50;
    const ShapeSearchResult r = shapeSearch(*e, limits);
    EXPECT_GE(r.move, 0);
    EXPECT_LT(r.depth, MaxShapeDepth);
    EXPECT_LT(processClockMs() - start, 2000);
}

// The root keeps to the tournament mode's filter, lists every move it searched, and reports
// its line; a node limit ends it at once.
TEST(ShapeSearch, RootFilterOrderAndLimits) {
    auto e = stateOf({"", "", "", "", "", "", "", "", "", ".........X", "..........O"});
    for (int c : {0, 399, 9 * BoardSize + 8})
        append(e->RootMoveFilter, c);
    ShapeSearchLimits limits;
    limits.maxDepth = 4;
    const ShapeSearchResult r = shapeSearch(*e, limits);
    EXPECT_EQ(r.order.count, 3);
    EXPECT_EQ(r.move, 9 * BoardSize + 8); // the one filtered cell near the stones
    EXPECT_EQ(e->IterationLine[1], r.move);
    EXPECT_EQ(e->IterationNumber, 4);
    e->RootMoveFilter.count = 0;
    limits.maxNodes = 1;
    limits.maxDepth = MaxShapeDepth;
    EXPECT_LE(shapeSearch(*e, limits).nodes, 1024);
}

} // namespace
} // namespace pentad

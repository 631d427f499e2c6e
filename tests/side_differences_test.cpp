// One test per deliberate difference between the X and O twins of the quiet scoring: each
// runs one scoring step for both sides on the same shape and fails when that difference is
// removed. (The equal-class direction order and the opponent-four mark have theirs beside
// the class records and the generator tests.)
#include <gtest/gtest.h>

#include "board/placement.h"
#include "tests/test_support.h"
#include "threats/quiet_scoring.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

int at(int row, int column) { return row * BoardSize + column; }

// A fresh position with the side's stones placed and the scoring inputs cleared.
std::unique_ptr<EngineState> shape(Side side, std::initializer_list<int> own) {
    auto e = test::freshState();
    for (int c : own)
        place(*e, c, side);
    for (auto &b : e->Buckets)
        b.count = 0;
    e->CellScore.fill(0);
    e->DefenceScore.fill(0);
    return e;
}

template <typename F> void forBothSides(F &&check) {
    check(X);
    check(O);
}

// Own four at (10,8) along row 10, with an open three through it down column 8.
std::unique_ptr<EngineState> fourWithColumnThree(Side side) {
    auto e = shape(side, {at(10, 5), at(10, 6), at(10, 7), at(8, 8), at(9, 8)});
    fileCell(*e, OwnFour, at(10, 8));
    side == X ? scoreOwnFours<X>(*e, NoLevelLimit) : scoreOwnFours<O>(*e, NoLevelLimit);
    return e;
}

TEST(SideDifferences, OwnFourLowestLevel) {
    forBothSides([](Side side) {
        auto e = fourWithColumnThree(side);
        int scored = 0; // column cells the open three through the four reaches
        for (int row : {5, 6, 7, 11, 12, 13})
            scored += e->CellScore[at(row, 8)] != 0;
        if (side == X)
            EXPECT_EQ(scored, 0);
        else
            EXPECT_GT(scored, 0);
    });
}

TEST(SideDifferences, OwnFourBestFromLevel) {
    forBothSides([](Side side) {
        auto e = fourWithColumnThree(side);
        // X has no open two at the four, so its cell keeps the mark 1; O adds half the best
        // score along the open three.
        if (side == X)
            EXPECT_EQ(e->CellScore[at(10, 8)], 1);
        else
            EXPECT_GT(e->CellScore[at(10, 8)], 1);
    });
}

TEST(SideDifferences, MarksUnscoredThreeCells) {
    forBothSides([](Side side) {
        // An own open three at (10,8) along row 10; its empty column is a single-stone line.
        auto e = shape(side, {at(10, 6), at(10, 7)});
        fileCell(*e, OwnOpenThree, at(10, 8));
        side == X ? scoreOwnThreeLines<X>(*e) : scoreOwnThreeLines<O>(*e);
        int marked = 0;
        for (int row : {7, 8, 9, 11, 12, 13})
            marked += e->CellScore[at(row, 8)] == 1;
        if (side == X)
            EXPECT_GT(marked, 0);
        else
            EXPECT_EQ(marked, 0);
    });
}

TEST(SideDifferences, AddsAlongOpenTwos) {
    forBothSides([](Side side) {
        // The open three of row 10 with an open two down column 8; the column's cells
        // already hold a score.
        auto e = shape(side, {at(10, 6), at(10, 7), at(9, 8)});
        const std::vector<int> column = {at(6, 8), at(7, 8), at(8, 8), at(11, 8), at(12, 8)};
        for (int c : column)
            e->CellScore[c] = 7;
        fileCell(*e, OwnOpenThree, at(10, 8));
        side == X ? scoreOwnThreeLines<X>(*e) : scoreOwnThreeLines<O>(*e);
        int added = 0;
        for (int c : column)
            added += e->CellScore[c] - 7;
        if (side == X)
            EXPECT_EQ(added, 0);
        else
            EXPECT_GT(added, 0);
    });
}

TEST(SideDifferences, OwnThreesBeforeFours) {
    forBothSides([](Side side) {
        // (11,9) lies on the empty diagonals of an own four point (10,8) and of an own open
        // three point (12,10): which step scores it first changes what the other adds.
        auto build = [&] {
            auto e = shape(side, {at(10, 5), at(10, 6), at(10, 7), at(12, 11), at(12, 12)});
            fileCell(*e, OwnFour, at(10, 8));
            fileCell(*e, OwnOpenThree, at(12, 10));
            return e;
        };
        auto threesFirst = build(), foursFirst = build(), own = build();
        if (side == X) {
            scoreOwnThreeLines<X>(*threesFirst);
            scoreOwnFours<X>(*threesFirst, NoLevelLimit);
            scoreOwnFours<X>(*foursFirst, NoLevelLimit);
            scoreOwnThreeLines<X>(*foursFirst);
            scoreOwnLines<X>(*own);
        } else {
            scoreOwnThreeLines<O>(*threesFirst);
            scoreOwnFours<O>(*threesFirst, NoLevelLimit);
            scoreOwnFours<O>(*foursFirst, NoLevelLimit);
            scoreOwnThreeLines<O>(*foursFirst);
            scoreOwnLines<O>(*own);
        }
        ASSERT_NE(threesFirst->CellScore, foursFirst->CellScore);
        EXPECT_EQ(own->CellScore, side == X ? foursFirst->CellScore : threesFirst->CellScore);
    });
}

} // namespace
} // namespace pentad

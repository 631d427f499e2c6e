#include <gtest/gtest.h>
#include <random>

#include "board/placement.h"
#include "tests/test_support.h"

namespace pentad {
namespace {

TEST(Placement, SingleStoneInTheCentre) {
    auto e = test::freshState();
    place(*e, 210, X);
    EXPECT_EQ(e->LiveWindowsX, 20);
    EXPECT_EQ(e->LiveWindowsO, 0);
    const int weightO[9] = {45, 95, 95, 105, 0, 105, 95, 95, 45};
    const int weightX[9] = {57, 157, 157, 180, 0, 180, 157, 157, 57};
    for (int i = 0; i < 9; ++i) {
        EXPECT_EQ(e->WeightO[206 + i], weightO[i]) << 206 + i;
        EXPECT_EQ(e->WeightX[206 + i], weightX[i]) << 206 + i;
    }
    EXPECT_EQ(e->WeightO[126], 45);
    EXPECT_EQ(e->WeightX[126], 57);
    EXPECT_EQ(e->LinePatternX[206][0], 1);
    EXPECT_EQ(e->LinePatternO[206][0], 2);
    EXPECT_EQ(e->LinePatternX[214][0], 2187);
    EXPECT_EQ(e->LinePatternO[214][0], 4374);
    EXPECT_EQ(e->PositionKey, e->ZobristTable[X][210]);
    EXPECT_TRUE(verifyState(*e));
}

TEST(Placement, SecondStoneSharesWindowsAndRemovalRestoresEverything) {
    auto e = test::freshState();
    auto start = std::make_unique<EngineState>(*e);
    place(*e, 210, X);
    auto patterns210 = e->LinePatternX[210];
    place(*e, 211, O);
    EXPECT_EQ(e->LiveWindowsX, 16);
    EXPECT_EQ(e->LiveWindowsO, 16);
    // The earlier stone's cell keeps the patterns it was placed with.
    EXPECT_EQ(e->LinePatternX[210], patterns210);
    EXPECT_TRUE(verifyState(*e));
    EXPECT_EQ(e->SavedWeightX[211], 180);

    place(*e, 211, Empty);
    place(*e, 210, Empty);
    EXPECT_EQ(e->Board, start->Board);
    EXPECT_EQ(e->LinePatternX, start->LinePatternX);
    EXPECT_EQ(e->LinePatternO, start->LinePatternO);
    EXPECT_EQ(e->WeightX, start->WeightX);
    EXPECT_EQ(e->WeightO, start->WeightO);
    EXPECT_EQ(e->WindowStones, start->WindowStones);
    EXPECT_EQ(e->LiveWindowsX, 0);
    EXPECT_EQ(e->LiveWindowsO, 0);
    EXPECT_EQ(e->PositionKey, ZobristKey{});
    EXPECT_EQ(e->ClassValidX[209], 0);
    EXPECT_EQ(e->SavedWeightX[211], 180);
}

TEST(Placement, CornerStoneTouchesOnlyItsOnBoardLineCells) {
    auto e = test::freshState();
    for (int c = 0; c < CellCount; ++c)
        e->ClassValidX[c] = e->ClassValidO[c] = 1;
    auto before = std::make_unique<EngineState>(*e);
    place(*e, 0, X);
    std::vector<int> touched;
    for (int c = 1; c < CellCount; ++c)
        if (e->LinePatternX[c] != before->LinePatternX[c] || e->ClassValidX[c] == 0)
            touched.push_back(c);
    EXPECT_EQ(touched, (std::vector<int>{1, 2, 3, 4, 20, 21, 40, 42, 60, 63, 80, 84}));
}

TEST(CellClasses, EqualClassesFollowEachSidesDirectionOrder) {
    auto e = test::freshState();
    // On the empty board an interior cell has class 78 in every direction.
    sortCellClasses<X>(*e, 210);
    sortCellClasses<O>(*e, 210);
    using Bytes = std::array<uint8_t, 4>;
    EXPECT_EQ(e->CellClassesX[210].cls, (Bytes{78, 78, 78, 78}));
    EXPECT_EQ(e->CellClassesX[210].dir, (Bytes{2, 3, 1, 0}));
    EXPECT_EQ(e->CellClassesO[210].dir, (Bytes{0, 1, 2, 3}));
    EXPECT_EQ(e->ClassValidX[210], 0); // the caller sets the flag

    // Cell 0: classes 89 (directions 0, 1, 2) and 99 (direction 3), ascending.
    sortCellClasses<X>(*e, 0);
    EXPECT_EQ(e->CellClassesX[0].cls, (Bytes{89, 89, 89, 99}));
    EXPECT_EQ(e->CellClassesX[0].dir, (Bytes{2, 1, 0, 3}));
    sortCellClasses<O>(*e, 0);
    EXPECT_EQ(e->CellClassesO[0].dir, (Bytes{0, 1, 2, 3}));

    // A stone to the right of 210 makes direction 0 the strongest for both sides.
    place(*e, 211, X);
    sortCellClasses<X>(*e, 210);
    EXPECT_EQ(e->CellClassesX[210].dir[0], 0);
    EXPECT_LT(e->CellClassesX[210].cls[0], 78);
}

TEST(TopFour, FloorTiesAndLeftoverSlots) {
    auto e = test::freshState();
    std::array<uint16_t, CellCount + 1> values{};
    values.fill(22);
    e->TopFour.cells = {5, 6, 7, 8};
    selectTopFour(*e, values);
    EXPECT_EQ(e->TopFour.values, (std::array<uint16_t, 4>{22, 22, 22, 22}));
    EXPECT_EQ(e->TopFour.cells, (std::array<int16_t, 4>{5, 6, 7, 8}));

    values[300] = 23;
    selectTopFour(*e, values);
    EXPECT_EQ(e->TopFour.cells, (std::array<int16_t, 4>{300, 5, 6, 7}));
    EXPECT_EQ(e->TopFour.values, (std::array<uint16_t, 4>{23, 22, 22, 22}));

    // Ties go to the lower cell; values compare as unsigned (0xFFFF is the largest).
    values.fill(0);
    values[10] = 100;
    values[3] = 100;
    values[50] = 0xFFFF;
    values[60] = 200;
    values[70] = 100;
    selectTopFour(*e, values);
    EXPECT_EQ(e->TopFour.cells, (std::array<int16_t, 4>{50, 60, 3, 10}));

    // Signed weights are read as unsigned.
    std::array<int16_t, CellCount + 1> weights{};
    weights[7] = -1;
    weights[8] = 30;
    selectTopFour(*e, weights);
    EXPECT_EQ(e->TopFour.cells[0], 7);
    EXPECT_EQ(e->TopFour.values[0], 0xFFFF);
    EXPECT_EQ(e->TopFour.cells[1], 8);
}

// Random games of placements and last-in-first-out removals with light trial stones in
// between; every derived value is checked against a recomputation from the board.
TEST(Placement, RandomSequencesStayExactAndUnwindToTheStart) {
    auto e = test::freshState(7);
    auto start = std::make_unique<EngineState>(*e);
    std::mt19937 rng(12345);
    struct Placed {
        int cell;
        std::array<uint16_t, 4> patternX, patternO;
    };
    std::vector<Placed> stack;
    auto randomEmpty = [&] {
        int c;
        do
            c = int(rng() % CellCount);
        while (e->Board[c] != Empty);
        return c;
    };
    for (int step = 0; step < 3000; ++step) {
        bool removing = !stack.empty() && (stack.size() > 150 || rng() % 3 == 0);
        if (removing) {
            Placed p = stack.back();
            stack.pop_back();
            // An occupied cell keeps the patterns it had when its stone went down.
            ASSERT_EQ(e->LinePatternX[p.cell], p.patternX);
            ASSERT_EQ(e->LinePatternO[p.cell], p.patternO);
            place(*e, p.cell, Empty);
        } else {
            int c = randomEmpty();
            stack.push_back({c, e->LinePatternX[c], e->LinePatternO[c]});
            place(*e, c, stack.size() % 2 ? X : O);
        }
        ASSERT_TRUE(verifyState(*e)) << "step " << step;

        if (step % 5 == 0) {
            // Two nested light stones: patterns follow the board, then everything is back.
            auto weightsX = e->WeightX;
            int a = randomEmpty();
            placeLight(*e, a, X);
            e->Board[a] = X;
            int b = randomEmpty();
            placeLight(*e, b, O);
            e->Board[b] = O;
            for (int c = 0; c < CellCount; ++c) {
                if (e->Board[c] != Empty) continue;
                for (int d = 0; d < DirectionCount; ++d) {
                    ASSERT_EQ(e->LinePatternX[c][d], patternFromBoard(*e, c, d, X));
                    ASSERT_EQ(e->LinePatternO[c][d], patternFromBoard(*e, c, d, O));
                }
            }
            EXPECT_EQ(e->WeightX, weightsX); // weights are not touched by trial stones
            removeLight(*e, b, O);
            e->Board[b] = Empty;
            removeLight(*e, a, X);
            e->Board[a] = Empty;
            ASSERT_TRUE(verifyState(*e));
        }
    }
    while (!stack.empty()) {
        place(*e, stack.back().cell, Empty);
        stack.pop_back();
    }
    EXPECT_EQ(e->Board, start->Board);
    EXPECT_EQ(e->LinePatternX, start->LinePatternX);
    EXPECT_EQ(e->LinePatternO, start->LinePatternO);
    EXPECT_EQ(e->WeightX, start->WeightX);
    EXPECT_EQ(e->WeightO, start->WeightO);
    EXPECT_EQ(e->WindowStones, start->WindowStones);
    EXPECT_EQ(e->LiveWindowsX, start->LiveWindowsX);
    EXPECT_EQ(e->LiveWindowsO, start->LiveWindowsO);
    EXPECT_EQ(e->PositionKey, start->PositionKey);
}

} // namespace
} // namespace pentad

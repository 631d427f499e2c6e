#include <gtest/gtest.h>
#include <random>

#include "board/placement.h"
#include "tests/test_support.h"
#include "threats/evaluation.h"
#include "threats/generator.h"
#include "threats/quiet_scoring.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

using Drawing = std::vector<std::string>;
constexpr int FirstRow = 6;
int at(int row, int column) { return row * BoardSize + column; }

using test::swapColours;

struct Generated {
    CandidateList moves;
    GenerateRequest req;
    uint16_t pathCounts[3] = {0, 0, 0};
};

// Runs the generator for `side` the way the search would at this ply and budget.
Generated generate(EngineState &e, Side side, int ply = 0, int budget = 1000, int wide = 0) {
    Generated g;
    g.pathCounts[0] = uint16_t(wide);
    e.Deadline = 100000;
    computeBudgetThresholds(e);
    g.req.side = side;
    g.req.budget = budget;
    g.req.ply = ply;
    g.req.moves = &g.moves;
    g.req.pathCounts = g.pathCounts;
    generateMoves(e, g.req);
    return g;
}

std::vector<int> cells(const CandidateList &list) {
    return std::vector<int>(list.cells.begin() + 1, list.cells.begin() + 1 + list.count);
}

// The position as the generator must leave it.
struct Snapshot {
    std::array<int32_t, CellCount> board;
    std::array<std::array<uint16_t, 4>, CellCount> patternX, patternO;
    std::array<int16_t, CellCount + 1> weightX, weightO;
    ZobristKey key;
    explicit Snapshot(const EngineState &e)
        : board(e.Board), patternX(e.LinePatternX), patternO(e.LinePatternO), weightX(e.WeightX),
          weightO(e.WeightO), key(e.PositionKey) {}
    bool operator==(const Snapshot &) const = default;
};

TEST(Generator, OwnFiveStopsTheScanAtOnce) {
    auto e = test::freshState();
    test::placeBoard(*e,
                     {"....................", "....XXXX............", "....OOO.............",
                      "...................."},
                     FirstRow);
    place(*e, at(12, 12), O);
    Generated g = generate(*e, X);
    EXPECT_TRUE(e->ForcedResult);
    EXPECT_EQ(cells(g.moves), (std::vector<int>{at(7, 3)}));
    // Cells after the five point were never classified.
    EXPECT_EQ(e->ClassValidX[at(7, 8)], 0);
    EXPECT_EQ(e->ClassValidO[at(8, 7)], 0);
}

TEST(Generator, OpponentFiveIsBlockedBeforeOwnOpenFour) {
    for (Side side : {X, O}) {
        Drawing d = {"....................", "...OOOO.............", "....................",
                     ".....XXX............"};
        auto e = test::freshState();
        test::placeBoard(*e, side == X ? d : swapColours(d), FirstRow);
        place(*e, at(14, 14), side); // equal stone counts do not matter to the generator
        Generated g = generate(*e, side);
        EXPECT_TRUE(e->DefenceMode);
        EXPECT_FALSE(e->ForcedResult);
        EXPECT_EQ(cells(g.moves), (std::vector<int>{at(7, 2)}));
    }
}

TEST(Generator, DefenceSetsEmptyAndSingle) {
    for (Side side : {X, O}) {
        SCOPED_TRACE(side == X ? "X" : "O");
        // Two opponent threes that each make an open four, far apart: no cell answers both.
        Drawing two = {"..OOO...............", "....................", "....................",
                       "....................", "..............OOO...", "....................",
                       "X...X...X..........."};
        auto e = test::freshState();
        test::placeBoard(*e, side == X ? two : swapColours(two), FirstRow);
        Generated g = generate(*e, side);
        EXPECT_TRUE(e->DefenceMode);
        EXPECT_FALSE(e->ForcedResult);
        EXPECT_EQ(e->DefenceCount, 1);
        for (int c : cells(g.moves))
            EXPECT_NE(e->CellScore[c], e->Params.DefenceCellScore) << c;

        // One opponent three: its defence set is the open-four point and the two ends.
        Drawing one = {"....................", "....................", "....................",
                       "....................", "..............OOO...", "....................",
                       "X.X................."};
        auto e1 = test::freshState();
        test::placeBoard(*e1, side == X ? one : swapColours(one), FirstRow);
        Generated g1 = generate(*e1, side, 1, 5);
        EXPECT_TRUE(e1->DefenceMode);
        EXPECT_GE(e1->DefenceCount, 2);
        std::vector<int> list = cells(g1.moves);
        for (int c : {at(10, 13), at(10, 17)})
            EXPECT_NE(std::find(list.begin(), list.end(), c), list.end()) << c;
    }
}

TEST(Generator, GeneratorLeavesThePositionExactlyAsItFoundIt) {
    // Random positions, both sides, several plies and budgets: board, patterns, weights
    // and key come back exact, including weights of cells filed twice in one call.
    std::mt19937 rng(99);
    for (int game = 0; game < 40; ++game) {
        auto e = test::freshState(uint32_t(game + 1));
        // Open middle games, and crowded boards where few cells keep any weight (there the
        // top-four selection leaves slots with cells of earlier selections).
        bool crowded = game % 4 == 3;
        int stones = crowded ? 300 + int(rng() % 95) : 2 + int(rng() % 30);
        for (int s = 0; s < stones; ++s) {
            int c;
            do
                c = crowded ? int(rng() % CellCount) : at(5 + int(rng() % 10), 5 + int(rng() % 10));
            while (e->Board[c] != Empty);
            place(*e, c, s % 2 ? O : X);
        }
        for (Side side : {X, O}) {
            for (int budget : {5, 1000}) {
                Snapshot before(*e);
                Generated g = generate(*e, side, int(rng() % 3), budget);
                ASSERT_EQ(Snapshot(*e), before) << "game " << game;
                ASSERT_TRUE(verifyState(*e));
                // Every listed cell is empty; every other cell has ordering score 0.
                std::vector<bool> listed(CellCount);
                for (int c : cells(g.moves)) {
                    ASSERT_EQ(e->Board[c], Empty);
                    listed[c] = true;
                }
                if (!e->ForcedResult && !e->QuietNode && !(e->DefenceMode && g.moves.count == 1)) {
                    for (int c = 0; c < CellCount; ++c) {
                        if (!listed[c]) {
                            ASSERT_EQ(e->MoveScores[g.req.ply][c], 0) << c;
                        }
                    }
                }
            }
        }
    }
}

TEST(Generator, OrderingScoresNeverKeepStaleValues) {
    auto e = test::freshState();
    test::placeBoard(*e, {"..........", "....XO....", "....OX...."}, 9);
    e->MoveScores[0].fill(777);
    Generated g = generate(*e, X);
    ASSERT_GT(g.moves.count, 0);
    std::vector<int> list = cells(g.moves);
    for (int c = 0; c < CellCount; ++c) {
        bool isListed = std::find(list.begin(), list.end(), c) != list.end();
        EXPECT_EQ(e->MoveScores[0][c] != 0, isListed) << c;
    }
}

TEST(Generator, MoveLimitsByPlyAndBudget) {
    auto e = test::freshState();
    test::placeBoard(*e, {"..........", "....XO....", "....OX...."}, 9);
    EXPECT_EQ(generate(*e, X, 0).req.moveLimit, 32);
    // Ply 3, budget 100: width class 2 gives 4; the quiet-list rule widens to 24 only when
    // no wide node lies on the path.
    EXPECT_EQ(generate(*e, X, 3, 100, 1).req.moveLimit, 4);
    EXPECT_EQ(generate(*e, X, 3, 100, 0).req.moveLimit, 24);
    EXPECT_EQ(generate(*e, X, 2, 100, 1).req.moveLimit, 7);
    EXPECT_EQ(generate(*e, X, 3, 20000000, 1).req.moveLimit, 3);
    // A quiet node takes the leaf move limit.
    e->LeafMoveLimit = 16;
    Generated leaf = generate(*e, X, 1, 9);
    EXPECT_TRUE(e->QuietNode);
    EXPECT_EQ(leaf.req.moveLimit, 16);
    EXPECT_EQ(leaf.moves.count, 0);
    // Even plies are leaves only under a short clock.
    generate(*e, X, 2, 9);
    EXPECT_FALSE(e->QuietNode);
}

TEST(QuietExpansion, PassesStopWhenTheFiledCellsFillTheRoom) {
    // On an empty board no cell reaches the proximity floor; the passes file four cells
    // each and stop once r + 1 < (51 - filed) / 4 fails: after six passes, 24 cells.
    auto e = test::freshState();
    Snapshot before(*e);
    generate(*e, X);
    EXPECT_EQ(e->OwnFiledCells.count, 24);
    EXPECT_EQ(Snapshot(*e), before);
}

TEST(QuietExpansion, ACellFiledAgainKeepsItsSavedWeights) {
    // No cell weighs more than the top-four floor, so every pass leaves the slots of the
    // previous selection: the same four cells are filed pass after pass.
    auto e = test::freshState();
    for (int c = 0; c < CellCount; ++c)
        e->WeightX[c] = e->WeightO[c] = 10;
    e->TopFour.cells = {100, 101, 102, 103};
    Generated g = generate(*e, X, 1, 1000, 1);
    for (int c = 0; c < CellCount; ++c) {
        ASSERT_EQ(e->WeightX[c], 10) << c;
        ASSERT_EQ(e->WeightO[c], 10) << c;
    }
    // The repeated entries stay, and each earns its point.
    EXPECT_EQ(e->OwnFiledCells.count, 24);
    EXPECT_EQ(cells(g.moves), (std::vector<int>{100, 101, 102, 103}));
    EXPECT_EQ(e->MoveScores[1][100], 6 + 10);
}

TEST(QuietExpansion, AFullListSkipsTheExpansionButStillScores) {
    auto e = test::freshState();
    test::placeBoard(*e,
                     {"..X.O.X.O.X.O.X.....", "....................", ".O.X.O.X.O.X.O.X....",
                      "....................", "..X.O.X.O.X.O.X.....", "....................",
                      ".O.X.O.X.O.X.O.X...."},
                     5);
    Generated g = generate(*e, X);
    ASSERT_GT(e->OwnFiledCells.count, 47);
    // Each filed cell got its step-7 point, so every one of them is a candidate.
    std::vector<int> list = cells(g.moves);
    for (int i = 1; i <= e->OwnFiledCells.count; ++i)
        EXPECT_NE(std::find(list.begin(), list.end(), e->OwnFiledCells.cells[i]), list.end());
}

TEST(QuietEvaluation, TakesAtMostTheLeafLimitAndStopsAtTheFloor) {
    auto e = test::freshState();
    e->LeafMoveLimit = 16;
    for (auto &b : e->Buckets)
        b.count = 0;
    e->CellScore.fill(0);
    e->DefenceScore.fill(0);
    // Two scored cells only: both are taken, then the selection stops.
    e->CellScore[100] = 50;
    e->CellScore[200] = 40;
    evaluateQuietNode<X>(*e);
    int expected = (50 + 36 + 36 - 36) + (40 + 36 + 36 - 36) - (36 + 36);
    EXPECT_EQ(e->QuietEvaluation, expected);
    EXPECT_EQ(e->CellScore[100], 0);

    // Thirty scored cells: only sixteen are taken.
    e->CellScore.fill(0);
    for (int c = 0; c < 30; ++c)
        e->CellScore[100 + c] = uint16_t(1000 + c);
    evaluateQuietNode<X>(*e);
    int left = 0;
    for (int c = 0; c < CellCount; ++c)
        left += e->CellScore[c] != 0;
    EXPECT_EQ(left, 14);

    // No scored cell: the bucket and window terms alone.
    e->CellScore.fill(0);
    e->Buckets[OwnOpenThree].count = 2;
    e->Buckets[OppFour].count = 1;
    evaluateQuietNode<O>(*e);
    EXPECT_EQ(e->QuietEvaluation, 60 + e->Params.FourCountWeight);
}

TEST(QuietScoring, TheSidesScoreQuietPositionsDifferently) {
    // A quiet position with open threes for both sides: the decisive parts agree on the
    // colour-swapped position, the scores do not.
    Drawing d = {"....................", ".......X............", "........X...........",
                 "......O.O...........", ".....O..............", "...................."};
    auto ex = test::freshState();
    test::placeBoard(*ex, d, FirstRow);
    generate(*ex, X);
    auto eo = test::freshState();
    test::placeBoard(*eo, swapColours(d), FirstRow);
    generate(*eo, O);
    EXPECT_EQ(ex->ForcedResult, eo->ForcedResult);
    EXPECT_EQ(ex->DefenceMode, eo->DefenceMode);
    for (int b = 1; b <= BucketCount; ++b)
        EXPECT_EQ(ex->Buckets[b].count, eo->Buckets[b].count) << "bucket " << b;
    ASSERT_GT(ex->Buckets[OwnOpenThree].count, 0);
    bool anyDifferent = false;
    for (int c = 0; c < CellCount; ++c)
        anyDifferent |= ex->MoveScores[0][c] != eo->MoveScores[0][c];
    EXPECT_TRUE(anyDifferent);
}

TEST(QuietScoring, OpponentFourMarksItsCellOnlyForX) {
    for (Side side : {X, O}) {
        auto e = test::freshState();
        for (auto &b : e->Buckets)
            b.count = 0;
        e->CellScore.fill(0);
        e->DefenceScore.fill(0);
        // An opponent four point with nothing around it.
        Side them = opponent(side);
        place(*e, at(10, 5), them);
        place(*e, at(10, 6), them);
        place(*e, at(10, 7), them);
        place(*e, at(10, 4), side);
        fileCell(*e, OppFour, at(10, 8));
        side == X ? scoreOpponentFours<X>(*e, 0) : scoreOpponentFours<O>(*e, 0);
        EXPECT_EQ(e->CellScore[at(10, 8)], side == X ? 1 : 0);
    }
}

} // namespace
} // namespace pentad

#include <chrono>
#include <gtest/gtest.h>

#include "board/placement.h"
#include "engine/classic_move.h"
#include "search/search.h"
#include "search/transposition.h"
#include "tests/test_support.h"
#include "threats/generator.h"

namespace pentad {
namespace {

int at(int row, int column) { return row * BoardSize + column; }

TranspositionTable &table() {
    EXPECT_TRUE(transpositionTable().allocate());
    return transpositionTable();
}

TEST(TranspositionTable, ClustersReplacementAndTheLastHomeSlot) {
    TranspositionTable &t = table();
    t.clear();
    const uint32_t home = 12345;
    for (uint32_t high = 1; high <= 9; ++high)
        t.store({home, high}, 15, int(high), int(high) * 10, ExactScore, 1);
    // The ninth key found the cluster full and replaced the home slot (the first key).
    EXPECT_EQ(t.probe({home, 1}), nullptr);
    for (uint32_t high = 2; high <= 9; ++high) {
        TranspositionEntry *entry = t.probe({home, high});
        ASSERT_NE(entry, nullptr) << high;
        EXPECT_EQ(entry->score, int(high) * 10);
    }
    EXPECT_EQ(t.entry(home).keyCheck, 9u);

    // Storing a key again updates its entry in place.
    t.store({home, 5}, 17, 42, -7, LowerBound, 2);
    TranspositionEntry *five = t.probe({home, 5});
    EXPECT_EQ(five, &t.entry(home + 4));
    EXPECT_EQ(five->depth, 17);
    EXPECT_EQ(five->bestMove, 42);
    EXPECT_EQ(five->bound, LowerBound);

    // The highest home slot's cluster is the last eight entries; nothing wraps.
    const uint32_t last = TranspositionTable::IndexMask;
    for (uint32_t high = 1; high <= 8; ++high)
        t.store({last | 0x12800000u, high}, 15, 0, 0, UpperBound, 1);
    EXPECT_EQ(t.entry(TranspositionTable::EntryCount - 1).keyCheck, 8u);
    EXPECT_EQ(t.entry(0).depth, 0);

    t.clear();
    EXPECT_EQ(t.probe({home, 9}), nullptr);
    EXPECT_EQ(t.entry(home).bestMove, -1);
    EXPECT_EQ(sizeof(TranspositionEntry) * TranspositionTable::EntryCount, 100663380u);
}

TEST(TimeBudget, PoissonModelAndCaps) {
    EXPECT_EQ(timeBudgetMs(30, 180000, 0), 6923);
    EXPECT_EQ(timeBudgetMs(30, 180000, 20), 11250);
    EXPECT_EQ(timeBudgetMs(30, 180000, 40), 18000);
    EXPECT_EQ(timeBudgetMs(30, 180000, 60), 11250);
    EXPECT_EQ(timeBudgetMs(30, 100000000, 10), 29500);
    EXPECT_EQ(timeBudgetMs(5, 100000000, 10), 4500);
    EXPECT_LT(timeBudgetMs(30, 180, 10), 20);
    EXPECT_LE(timeBudgetMs(30, 0, 10), 0);
    // Late in long games the model's tail is lost to rounding: the budget stays sound and
    // never assumes fewer than one remaining move.
    for (int stones = 100; stones <= 400; stones += 10) {
        int32_t budget = timeBudgetMs(30, 180000, stones);
        EXPECT_GT(budget, 0) << stones;
        EXPECT_LE(budget, 29500) << stones;
    }
    // Extreme limits neither overflow nor wrap.
    EXPECT_EQ(timeBudgetMs(2147483647, 2147483647, 0), 2147483647 / 26);
    EXPECT_LT(timeBudgetMs(-2147483647, 180000, 0), 0);
}

// A position ready for nodeSearch calls at any ply.
std::unique_ptr<EngineState> searchReady(const std::vector<std::string> &rows, int firstRow) {
    auto e = test::freshState();
    test::placeBoard(*e, rows, firstRow);
    table().clear();
    e->IterationNumber = 1;
    e->PlyLimit = 15;
    e->ClockEnabled = false;
    e->Deadline = 100000;
    e->LeafMoveLimit = 16;
    e->RandomizeLeaves = false;
    e->PrincipalLine[0] = 0;
    e->EngineSide = X;
    for (auto &k : e->KillerMoves)
        k = {-1, -1};
    computeBudgetThresholds(*e);
    return e;
}

int search(EngineState &e, int move, Side side, int ply, int alpha, int beta, int budget) {
    LineBuffer line{};
    line[0] = int16_t(ply);
    LineCounters counters;
    bool madeFour = false;
    return nodeSearch(e, move, side, ply, alpha, beta, budget, line, counters, madeFour);
}

TEST(NodeSearch, TerminalValuesByPly) {
    // X has an open four: after any O move, X to move wins at once.
    auto e = searchReady({"..........", "....XXXX..", "....OOO..."}, 9);
    const ZobristKey key = e->PositionKey;
    EXPECT_EQ(search(*e, at(2, 2), X, 3, -32000, 32000, 1000), 31997);
    EXPECT_EQ(e->PositionKey, key);
    EXPECT_EQ(e->Board[at(2, 2)], Empty);
    EXPECT_TRUE(verifyState(*e));
}

// A board in two colours with no line of three: every five-cell window holds both colours,
// so empty cells on it have no weight and nothing to play.
std::unique_ptr<EngineState> deadBoard(std::vector<int> empties) {
    std::vector<std::string> rows;
    for (int r = 0; r < BoardSize; ++r) {
        std::string row;
        for (int c = 0; c < BoardSize; ++c)
            row += (c + 2 * r) % 4 < 2 ? 'X' : 'O';
        for (int cell : empties)
            if (cell / BoardSize == r) row[cell % BoardSize] = '.';
        rows.push_back(row);
    }
    return searchReady(rows, 0);
}

TEST(NodeSearch, NoCandidateIsALossAtThatPly) {
    auto e = deadBoard({at(5, 5), at(12, 3), at(17, 17)});
    e->TopFour.cells = {0, 1, 2, 3}; // occupied: nothing left over to file
    EXPECT_EQ(search(*e, at(5, 5), X, 4, -32000, 32000, 1000), -31996);
}

TEST(NodeSearch, WindowAndHorizonCuts) {
    const std::vector<std::string> middle = {"........", "...XO...", "...OX...", "........"};
    auto e = searchReady(middle, 8);
    // Even the quickest loss lies above beta.
    int before = e->IterationNodes;
    EXPECT_EQ(search(*e, at(3, 3), O, 12, -32000, -31990, 100000), -31990);
    EXPECT_EQ(e->IterationNodes, before + 1);
    // At the horizon a node returns alpha unless alpha is a loss within the horizon.
    EXPECT_EQ(search(*e, at(3, 3), O, 15, 0, 100, 100000), 0);
    EXPECT_EQ(e->IterationNodes, before + 2);
    search(*e, at(3, 3), O, 15, -31990, 100, 200);
    EXPECT_GT(e->IterationNodes, before + 3);
    EXPECT_TRUE(verifyState(*e));
}

TEST(NodeSearch, ChildBudgetWidths) {
    auto e = searchReady({}, 0);
    EXPECT_EQ(widthForBudget(*e, 29), 3);
    EXPECT_EQ(widthForBudget(*e, 100), 4);
    EXPECT_EQ(widthForBudget(*e, 810), 5);
    EXPECT_EQ(widthForBudget(*e, 5314409), 7);
    EXPECT_EQ(widthForBudget(*e, 5314410), 3);
}

TEST(RootSearch, DecisiveAndSingleRootsAreNotSearched) {
    auto e = searchReady({"..........", "....XXXX..", "....OOO..."}, 9);
    e->MoveNumber = 8;
    e->IterationNumber = 1;
    e->NodeBudget = 1000;
    rootSearch(*e, X);
    EXPECT_EQ(e->IterationLine[0], 1);
    EXPECT_TRUE(e->IterationLine[1] == at(10, 3) || e->IterationLine[1] == at(10, 8));
    EXPECT_EQ(e->IterationNodes, 0);
}

TEST(RootSearch, EmptyRootOnADeadBoardTakesTheFirstEmptyCell) {
    auto e = deadBoard({at(5, 5), at(12, 3)});
    e->TopFour.cells = {0, 1, 2, 3};
    e->MoveNumber = 399;
    e->IterationNumber = 1;
    e->NodeBudget = 1000;
    rootSearch(*e, O);
    EXPECT_EQ(e->IterationLine[0], 1);
    EXPECT_EQ(e->IterationLine[1], at(5, 5));
}

struct CountingObserver : SearchObserver {
    int searches = 0;
    void iterationDone(const EngineState &, int, int) override { ++searches; }
};

TEST(SearchDriver, RootSearchesPerMoveAndLeafLimit) {
    // A forced root keeps every root search trivial; the driver still runs its schedule.
    for (auto [stones, searches, leafLimit] :
         {std::tuple{8, 6, 16}, std::tuple{9, 5, 16}, std::tuple{11, 5, 24}}) {
        auto e = searchReady({"..........", "....XXX...", "....OOO..."}, 9);
        // Pad with far-away stones to the wanted count; X to move at even counts.
        const int pads[] = {at(0, 0), at(0, 19), at(19, 0), at(19, 19), at(0, 10)};
        int n = 6;
        for (int i = 0; n < stones; ++i, ++n)
            place(*e, pads[i], n % 2 == 0 ? X : O);
        e->MoveHistory.count = int16_t(stones);
        e->MoveNumber = stones + 1;
        e->ClockEnabled = false;
        CountingObserver observer;
        searchMove(*e, &observer);
        EXPECT_EQ(observer.searches, searches) << stones;
        EXPECT_EQ(e->IterationNumber, searches + 1) << stones;
        EXPECT_EQ(e->LeafMoveLimit, leafLimit) << stones;
    }
}

TEST(RootSearch, BookFlagKeepsTheFirstRootMove) {
    auto e = searchReady({"........", "...XO...", "...OX...", "........"}, 8);
    e->MoveNumber = 5;
    e->MoveHistory.count = 4;
    e->BookMoveFlag = true;
    e->ClockEnabled = false;
    CountingObserver observer;
    observer.maxIterations = 2;
    searchMove(*e, &observer);
    EXPECT_EQ(e->BestScore, 31999);
    for (int i = 2; i <= e->RootFullCount; ++i)
        EXPECT_EQ(e->RootScores[i], -32000) << i;
}

// Whole moves through the exchange-file engine.
int playedMove(const std::vector<std::string> &rows, const char *letter, const char *timeouts) {
    test::ScratchDir dir;
    dir.write("tah.dat", letter);
    dir.write("plocha.dat", test::boardFile(rows));
    dir.write("timeouts.dat", timeouts);
    test::RunResult r = test::runIn(dir.path(), test::engineCommand());
    EXPECT_EQ(r.status, 0);
    int column = -1, row = -1;
    if (std::sscanf(dir.read("tah.dat").c_str(), "%d,%d", &column, &row) != 2) return -1;
    return at(row, column);
}

TEST(EngineEndToEnd, CompletesFiveBlocksFourAndWinsAFourThree) {
    std::vector<std::string> rows(20, std::string(20, '-'));
    // Own four (X to move, 8 stones): complete the five.
    rows[10] = "----XXXX------------";
    rows[11] = "----OOO-------------";
    rows[3] = "O-------------------";
    int move = playedMove(rows, "x", "5 60000");
    EXPECT_TRUE(move == at(10, 3) || move == at(10, 8)) << move;

    // Opponent four, no own threat (O to move): block it.
    rows = std::vector<std::string>(20, std::string(20, '-'));
    rows[10] = "---OXXXX------------";
    rows[12] = "-----O--O-----------";
    move = playedMove(rows, "o", "5 60000");
    EXPECT_EQ(move, at(10, 8));

    // A four-three: X plays (10, 8) with a four along row 10 and an open three down
    // column 8, which wins whatever O does.
    rows = std::vector<std::string>(20, std::string(20, '-'));
    rows[10] = "----OXXX------------";
    rows[8] = "--------X-----------";
    rows[9] = "--------X-----------";
    rows[15] = "O-----------O--O----";
    move = playedMove(rows, "x", "5 60000");
    EXPECT_EQ(move, at(10, 8));
}

TEST(EngineEndToEnd, KeepsToATwoSecondTurnLimit) {
    std::vector<std::string> rows(20, std::string(20, '-'));
    rows[9] = "--------XO----------";
    rows[10] = "--------OX----------";
    rows[11] = "---------X----------";
    auto start = std::chrono::steady_clock::now();
    int move = playedMove(rows, "o", "2 1000000");
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_GE(move, 0);
    EXPECT_LT(seconds, 2.0);
}

} // namespace
} // namespace pentad

#include <cmath>
#include <gtest/gtest.h>

#include "board/init.h"
#include "board/placement.h"
#include "engine/classic_move.h"
#include "search/transposition.h"
#include "tests/test_support.h"
#include "tools/diagnostics.h"
#include "tools/harness.h"

namespace pentad {
namespace {

const std::string Tools = PENTAD_TOOLS_BINARY;

TEST(Diagnostics, InfoDumpListsTheLineClasses) {
    test::ScratchDir dir;
    test::RunResult r = test::runIn(dir.path(), Tools + " info");
    ASSERT_EQ(r.status, 0);
    std::string info = dir.read("info.txt");
    EXPECT_EQ(info.substr(0, 22), "Hash entry size = 12\n1");
    EXPECT_EQ(std::count(info.begin(), info.end(), '\n'), 26);
    EXPECT_NE(info.find("\n2) 12\n"), std::string::npos);
    EXPECT_NE(info.find("\n22) 78\n"), std::string::npos);
    EXPECT_EQ(info.substr(info.size() - 7), "25) 99\n");
    EXPECT_NE(info.find("\n1)  0\n"), std::string::npos); // right-aligned in two characters
}

TEST(Diagnostics, CandidateBoardLayout) {
    test::ScratchDir dir;
    std::vector<std::string> rows(20, std::string(20, '-'));
    rows[9] = "---------XO---------";
    rows[10] = "---------OX---------";
    dir.write("tah.dat", "x");
    dir.write("plocha.dat", test::boardFile(rows));
    ASSERT_EQ(test::runIn(dir.path(), Tools + " candidates .").status, 0);
    std::string board = dir.read("deb2.txt");
    ASSERT_EQ(board.size(), 20u * 61u);
    EXPECT_EQ(board[0], '\n');
    EXPECT_NE(board.back(), '\n');
    for (int r = 0; r < 20; ++r)
        EXPECT_EQ(board[size_t(r) * 61], '\n');
    // Row 9 as written: " X " at column 9, " O " at column 10.
    EXPECT_EQ(board.substr(9 * 61 + 1 + 9 * 3, 6), " X  O ");
    // The root list of 32 candidates runs past '9' into ':', ';', ... in code order.
    for (char c : {'1', '9', ':', ';', '<'})
        EXPECT_NE(board.find(std::string(" ") + c + " "), std::string::npos) << c;
}

TEST(Diagnostics, CandidateBoardWithoutCandidatesShowsOnlyStones) {
    auto e = test::freshState();
    e->MoveNumber = 1;
    // Dead board: every window holds both colours, so the generator lists nothing.
    for (int c = 0; c < CellCount; ++c) {
        if (c == 105 || c == 243) continue;
        place(*e, c, (c % 20 + 2 * (c / 20)) % 4 < 2 ? X : O);
    }
    e->TopFour.cells = {0, 1, 2, 3};
    test::ScratchDir dir;
    ASSERT_TRUE(writeCandidateBoard(*e, dir.path()));
    std::string board = dir.read("deb2.txt");
    for (char c : board)
        EXPECT_TRUE(c == '\n' || c == ' ' || c == 'X' || c == 'O' || c == '-') << c;
}

GameRecord recordFrom(const std::string &text, test::ScratchDir &dir) {
    dir.write("glk.rec", text);
    GameRecord record;
    EXPECT_TRUE(readGameRecord(dir.path() / "glk.rec", record));
    return record;
}

TEST(GameRecord, ReadingStopsSafely) {
    test::ScratchDir dir;
    EXPECT_EQ(recordFrom("Black White 10,10 11,11 12,10", dir).moves,
              (std::vector<int>{189, 210, 191}));
    // A malformed item ends the list; the moves before it stay.
    EXPECT_EQ(recordFrom("a b 10,10 11,11 x,3 12,12", dir).moves.size(), 2u);
    EXPECT_EQ(recordFrom("a b 10,10 11;11", dir).moves.size(), 1u);
    // Off the board and repeated cells stop reading too, with a note.
    GameRecord off = recordFrom("a b 10,10 21,1 12,12", dir);
    EXPECT_EQ(off.moves.size(), 1u);
    EXPECT_EQ(off.notes.size(), 1u);
    EXPECT_EQ(recordFrom("a b 10,10 10,10", dir).moves.size(), 1u);
    // A long header word is read whole; more than 63 moves are cut there.
    std::string text = std::string(500, 'h') + " w";
    for (int i = 0; i < 80; ++i) {
        char move[16];
        std::snprintf(move, sizeof move, " %d,%d", i % 20 + 1, i / 20 + 1);
        text += move;
    }
    GameRecord cut = recordFrom(text, dir);
    EXPECT_EQ(cut.moves.size(), 63u);
    EXPECT_EQ(cut.notes.size(), 2u);
    GameRecord missing;
    EXPECT_FALSE(readGameRecord(dir.path() / "absent.rec", missing));
}

std::unique_ptr<EngineState> harnessReady() {
    EXPECT_TRUE(transpositionTable().allocate());
    auto e = std::make_unique<EngineState>();
    PositionInput in;
    in.board.fill('-');
    in.turnLimit = 30;
    in.matchTime = 180000;
    setupPosition(*e, in, 1);
    e->ClockEnabled = false;
    return e;
}

TEST(Replay, ShortRecordsAndTheBookFlagStatistic) {
    auto e = harnessReady();
    test::ScratchDir dir;
    // Three moves or fewer: nothing is printed and the total is 0.
    {
        GameRecord three = recordFrom("a b 10,10 11,11 10,11", dir);
        EXPECT_EQ(replayGameRecord(*e, three, 2, nullptr), 0.0);
        EXPECT_EQ(e->MoveHistory.count, 3);
    }
    // With the book flag on, only the recorded move raises the value, so each position with
    // n root moves adds exactly n - 1 (a position with one root move adds nothing).
    GameRecord game = recordFrom("a b 10,10 11,11 10,11 10,12 12,11", dir);
    // Short searches: one root search per position.
    e->NodeBudgetCeiling = 1000;
    FILE *out = std::tmpfile();
    double total = replayGameRecord(*e, game, 2, out);
    std::rewind(out);
    char line[64];
    ASSERT_TRUE(std::fgets(line, sizeof line, out));
    EXPECT_EQ(std::string(line).substr(0, 6), "4.  = ");
    ASSERT_TRUE(std::fgets(line, sizeof line, out));
    EXPECT_EQ(std::string(line).substr(0, 6), "5.  = ");
    std::fclose(out);
    EXPECT_EQ(total, std::floor(total));
    EXPECT_GT(total, 0);
    EXPECT_TRUE(verifyState(*e));
}

TEST(SelfPlay, FiveDecidesByTheStoneCount) {
    auto e = harnessReady();
    startHarnessGame(*e);
    // X builds a row on row 5, O answers far away; X's fifth stone (stone 9) makes five.
    const int xs[] = {100, 101, 102, 103, 104}, os[] = {300, 320, 340, 360};
    for (int i = 0; i < 4; ++i) {
        EXPECT_FALSE(makesFive(*e, xs[i]));
        playMove(*e, xs[i]);
        playMove(*e, os[i]);
    }
    EXPECT_TRUE(makesFive(*e, 104));
    playMove(*e, 104);
    EXPECT_EQ(e->MoveHistory.count % 2, 1); // X played the last stone: result 2
    EXPECT_TRUE(checkLinePatterns(*e));
    e->LinePatternO[7][2] = 7000;
    EXPECT_FALSE(checkLinePatterns(*e));
    EXPECT_EQ(e->LinePatternX[7][0], 0);
}

TEST(SelfPlay, ToolSettingsNeverReachTheEnginesOwnMove) {
    auto e = harnessReady();
    applyWeightSet(*e, 0);
    useTuningSettings(*e);
    e->FullWindowRoot = true;
    e->BookMoveFlag = true;
    e->NodeBudgetCeiling = 99;
    PositionInput in;
    in.board.fill('-');
    ASSERT_TRUE(setupPosition(*e, in, 1));
    EXPECT_TRUE(e->RandomizeLeaves);
    EXPECT_FALSE(e->FullWindowRoot);
    EXPECT_FALSE(e->BookMoveFlag);
    EXPECT_EQ(e->NodeBudgetCeiling, 1500000);
    EXPECT_EQ(e->Params.LevelScore[3], 165); // set 3 of the engine, not set 1's 170
    EXPECT_EQ(e->Params.FourCountWeight, 40);
}

TEST(SelfPlay, ToolPlaysAndSummarises) {
    test::ScratchDir dir;
    test::RunResult r = test::runIn(
        dir.path(),
        Tools + " selfplay --x-set 2 --o-set 2 --games 1 --seed 3 --turn-s 1 --match-ms 3000");
    ASSERT_EQ(r.status, 0);
    EXPECT_EQ(r.output.substr(0, 7), "game 1:");
    EXPECT_NE(r.output.find("set 2 (X) wins"), std::string::npos);
    EXPECT_EQ(test::runIn(dir.path(), Tools + " selfplay --x-set 5 --o-set 0").status, 2);
}

} // namespace
} // namespace pentad

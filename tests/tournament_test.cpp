#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "tests/test_support.h"
#include "tools/bench.h"
#include "tools/tool_support.h"
#include "tournament/evaluation.h"
#include "tournament/params.h"
#include "tournament/pattern_board.h"
#include "tournament/search.h"

namespace pentad {
namespace {

using namespace tournament;
using tournament::Empty;
using tournament::Side;

// A line written as nine cells, the cell itself '*' in the middle: 'X' own (Black), 'O'
// the other colour, '#' off the board, '.' empty.
LinePattern lineOf(const char *cells) {
    uint16_t key = 0;
    for (int i = 0; i < 9; ++i) {
        if (i == 4) continue;
        const char c = cells[i];
        const int v = c == 'X' ? BlackStone : c == 'O' ? WhiteStone : c == '#' ? Wall : Empty;
        key = uint16_t(key | (v << keyShift(i - 4)));
    }
    const LinePattern p = LinePattern(patternTables().line[Black][key]);
    // The same line with the colours swapped reads the same for White.
    uint16_t swapped = 0;
    for (int s = 0; s < 16; s += 2) {
        int v = (key >> s) & 3;
        v = v == BlackStone ? WhiteStone : v == WhiteStone ? BlackStone : v;
        swapped = uint16_t(swapped | (v << s));
    }
    EXPECT_EQ(patternTables().line[White][swapped], p) << cells;
    return p;
}

TEST(PatternTables, LinePatternsOfHandCheckedLines) {
    EXPECT_EQ(lineOf("XXXX*...."), F5);
    EXPECT_EQ(lineOf("XXXX*XX.."), F5); // an overline wins too
    EXPECT_EQ(lineOf(".XXX*...."), F4);
    EXPECT_EQ(lineOf("X.XX*.X.."), F4); // two five points on one line
    EXPECT_EQ(lineOf("OXXX*...."), B4);
    EXPECT_EQ(lineOf("..XX*...."), F3S);
    EXPECT_EQ(lineOf(".X.X*...."), F3);
    EXPECT_EQ(lineOf("OXX*.O..."), Dead);
    EXPECT_EQ(lineOf("O.XX*O..."), Dead); // four cells between his stones
    EXPECT_EQ(lineOf("O.XX*.O.."), B3);
    EXPECT_EQ(lineOf("...X*...."), F2B);
    EXPECT_EQ(lineOf("#..X*.O.."), B2);
    EXPECT_EQ(lineOf("O...*O..."), Dead);
    EXPECT_EQ(lineOf("....*####"), B1);
    EXPECT_EQ(lineOf("....*...."), F1);
}

TEST(PatternTables, CellPatternsCombineTheFourLines) {
    auto cell = [](LinePattern a, LinePattern b, LinePattern c = Dead, LinePattern d = Dead) {
        return combineLines({uint8_t(a), uint8_t(b), uint8_t(c), uint8_t(d)});
    };
    EXPECT_EQ(cell(F5, Dead), Five);
    EXPECT_EQ(cell(B4, B4), Flex4);
    EXPECT_EQ(cell(B4, F3S), Block4Flex3);
    EXPECT_EQ(cell(B4, F2), Block4Plus);
    EXPECT_EQ(cell(F3, F3S), Flex3x2);
    EXPECT_EQ(cell(F3, B3), Flex3Plus);
    EXPECT_EQ(cell(B3, B3), Block3Plus);
    EXPECT_EQ(cell(F2, F2A), Flex2x2);
    EXPECT_EQ(cell(B2, B1, F1), None);
    // Every pattern key maps to the combination of its sorted patterns.
    const auto &t = patternTables();
    EXPECT_EQ(t.comboPatterns[t.combo[0x4321]], (std::array<uint8_t, 4>{1, 2, 3, 4}));
    EXPECT_EQ(t.combo[0x4321], t.combo[0x1234]);
}

// Random games, many near the edges and corners: after every stone and every take-back the
// incremental board equals one built from scratch.
TEST(PatternBoard, IncrementalUpdatesMatchARecomputation) {
    auto board = std::make_unique<PatternBoard>();
    std::mt19937 rng(7);
    int checked = 0;
    for (int game = 0; game < 12; ++game) {
        board->reset();
        const int corner = game % 4;
        const int moves = 40 + int(rng() % 60);
        for (int i = 0; i < moves; ++i) {
            int x = int(rng() % 8), y = int(rng() % 8);
            if (corner & 1) x = Side - 1 - x;
            if (corner & 2) y = Side - 1 - y;
            if (game >= 8) x = int(rng() % Side), y = int(rng() % Side);
            const int p = padded(x, y);
            if (!board->isEmpty(p)) continue;
            board->place(p);
            ASSERT_TRUE(board->verify()) << "game " << game << " move " << i;
            ++checked;
        }
        const uint64_t full = board->hash();
        for (int k = 0; k < 10 && board->stones() > 0; ++k) {
            board->undo();
            ASSERT_TRUE(board->verify()) << "game " << game << " take-back " << k;
        }
        while (board->stones() > 0)
            board->undo();
        EXPECT_EQ(board->hash(), 0u);
        EXPECT_NE(full, 0u);
        ASSERT_TRUE(board->verify());
    }
    EXPECT_GT(checked, 400);
}

TEST(PatternBoard, SetUpPlacesBothColoursAndCountsFourPoints) {
    std::array<char, MaxStones> cells;
    cells.fill('-');
    for (int x = 5; x < 8; ++x)
        cells[size_t(10 * Side + x)] = 'X'; // an open three of X in row 10
    cells[0] = 'O';
    cells[1] = 'O';
    auto board = std::make_unique<PatternBoard>();
    board->setUp(cells);
    EXPECT_EQ(board->toMove(), White); // three X stones against two
    EXPECT_EQ(board->count(Black, Flex4), 2);
    EXPECT_TRUE(board->fourPoints(Black).test(padded(4, 10)));
    EXPECT_TRUE(board->fourPoints(Black).test(padded(8, 10)));
    EXPECT_EQ(board->cellPattern(White, padded(2, 0)), Block3); // the wall closes it
    EXPECT_EQ(board->cellPattern(White, padded(15, 15)), None);
    EXPECT_TRUE(board->verify());
}

TEST(EvalTables, TheFileIsCheckedOnLoading) {
    std::string error;
    ASSERT_NE(embeddedEvalTables(&error), nullptr) << error;
    std::vector<uint8_t> bytes(EvalFileBytes, 0);
    EvalTables t;
    EXPECT_FALSE(parseEvalTables(bytes, t, error));
    EXPECT_NE(error.find("not an evaluation file"), std::string::npos);
    std::copy_n("PNTDEVAL\x02\x00", 10, bytes.begin());
    EXPECT_FALSE(parseEvalTables(bytes, t, error));
    EXPECT_NE(error.find("version 2"), std::string::npos);
    bytes.pop_back();
    EXPECT_FALSE(parseEvalTables(bytes, t, error));
    EXPECT_NE(error.find("expected"), std::string::npos);
}

// Positions given as rows of text, X moved first.
struct Searched {
    int x, y, value;
    int64_t nodes;
};
Searched searchRows(std::initializer_list<const char *> rows, tournament::Limits limits = {}) {
    std::array<char, MaxStones> cells;
    cells.fill('-');
    int y = 0;
    for (const char *row : rows) {
        for (int x = 0; row[x] && x < Side; ++x)
            cells[size_t(y * Side + x)] = row[x];
        ++y;
    }
    auto board = std::make_unique<PatternBoard>();
    board->setUp(cells);
    const uint64_t before = board->hash();
    if (limits.maxDepth == 0 && limits.maxNodes == 0) limits.maxDepth = 6;
    tournament::Searcher searcher;
    EXPECT_TRUE(searcher.allocate(1 << 20));
    const tournament::Result r = searcher.think(*board, limits);
    EXPECT_EQ(board->hash(), before); // the board is left as it was
    EXPECT_TRUE(board->isEmpty(r.move));
    return {columnOf(r.move), rowOf(r.move), r.last.value, r.last.nodes};
}

TEST(TournamentSearch, ForcedMovesComeFirst) {
    // Own four: the five. His four: the block. Own open three: the open four, a win.
    Searched five = searchRows({"", "", "..XXXX", "..OOO", "...O"});
    EXPECT_EQ(five.y, 2);
    EXPECT_TRUE(five.x == 1 || five.x == 6);
    EXPECT_EQ(tournament::winDistance(five.value), 1);
    // His four comes before X's own open three.
    Searched block = searchRows({"", "", "XOOOO", "..XXX"});
    EXPECT_EQ(std::make_pair(block.x, block.y), std::make_pair(5, 2));
    Searched four = searchRows({"", "", "...XXX", "..O.O", "........O"});
    EXPECT_EQ(four.y, 2);
    EXPECT_TRUE(four.x == 2 || four.x == 6);
    EXPECT_EQ(tournament::winDistance(four.value), 2);
    // A four with an open three when he has no four of his own: a win by rule in three moves.
    Searched fourThree = searchRows({"", "", "", "", "", "OXXX", "....X", "....X", "", "",
                                     "..........O...O", "", "............O...O"});
    EXPECT_EQ(std::make_pair(fourThree.x, fourThree.y), std::make_pair(4, 5));
    EXPECT_EQ(tournament::winDistance(fourThree.value), 3);
}

TEST(TournamentSearch, HisOpenThreeIsAnswered) {
    // O to move (four X stones, three O): X's open three in row 5 must be stopped at an end.
    Searched r = searchRows({"", "", "", "", "", ".....XXX", "", "", "....O.O.O", "", "X"});
    EXPECT_EQ(r.y, 5);
    EXPECT_TRUE(r.x == 4 || r.x == 8);
    EXPECT_GT(tournament::winDistance(r.value), -1);
}

TEST(TournamentSearch, NodeLimitedSearchesAreReproducible) {
    tournament::Limits limits;
    limits.maxNodes = 20000;
    const auto rows = {"", "", "", "", "", "", "", "", ".......XO", "........X.O", ".........X"};
    Searched a = searchRows(rows, limits), b = searchRows(rows, limits);
    EXPECT_EQ(a.nodes, b.nodes);
    EXPECT_EQ(std::make_pair(a.x, a.y), std::make_pair(b.x, b.y));
}

// The two colours are one body: the same position with the colours swapped (and the other
// colour to move) gets the same value, move and depth, in a forced and a searched case. Node
// counts may differ a little, as the keys file other positions into shared buckets.
TEST(TournamentSearch, ColourSwapGivesTheSameSearch) {
    const std::vector<std::vector<std::string>> positions = {
        {"", "", "", "", "", "", "", "", ".......XO", "........X.O", ".........X", "........O"},
        {"", "", "", "", "...XX.O", "....OX", "...OXO.X", "....XO", "...O"},
    };
    for (const auto &rows : positions) {
        std::array<char, MaxStones> cells, swapped;
        cells.fill('-');
        for (size_t y = 0; y < rows.size(); ++y)
            for (size_t x = 0; x < rows[y].size(); ++x)
                cells[y * Side + x] = rows[y][x];
        for (size_t c = 0; c < cells.size(); ++c)
            swapped[c] = cells[c] == 'X' ? 'O' : cells[c] == 'O' ? 'X' : '-';
        auto board = std::make_unique<PatternBoard>();
        tournament::Limits limits;
        limits.maxDepth = 6;
        tournament::Searcher searcher;
        ASSERT_TRUE(searcher.allocate(16 << 20)); // room enough that no entry is replaced
        board->setUp(cells);
        const Colour mover = board->toMove();
        const int eval = board->evaluate();
        const tournament::Result a = searcher.think(*board, limits);
        board->setUp(swapped);
        board->setToMove(other(mover));
        EXPECT_EQ(board->evaluate(), eval);
        searcher.clear();
        const tournament::Result b = searcher.think(*board, limits);
        EXPECT_EQ(a.move, b.move);
        EXPECT_EQ(a.last.value, b.last.value);
        EXPECT_EQ(a.last.depth, b.last.depth);
    }
}

TEST(TournamentSearch, WinDistanceCountsTheWinnersMoves) {
    EXPECT_EQ(tournament::winDistance(tournament::Win), 1);         // a five on the move
    EXPECT_EQ(tournament::winDistance(tournament::Win - 2), 2);     // an open four
    EXPECT_EQ(tournament::winDistance(-(tournament::Win - 1)), -1); // his five next
    EXPECT_EQ(tournament::winDistance(-(tournament::Win - 3)), -2);
    EXPECT_EQ(tournament::winDistance(500), 0);
}

TEST(Bench, TournamentEngineSignatureMatchesTheCommittedOne) {
#ifdef PENTAD_SANITIZED
    GTEST_SKIP() << "the full bench is run in the Release build";
#endif
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/tests/bench_tournament.sig");
    long long expected = 0;
    ASSERT_TRUE(in >> expected);
    EXPECT_EQ(runTournamentBench(TournamentBenchDepth, false).nodes, expected);
}

} // namespace
} // namespace pentad

namespace pentad {
namespace {

// Self-play data: a file of whole game blocks that a second run completes, a run of other
// settings refuses, and tables or parameters from files that do not fit are refused.
TEST(TournamentTuning, SelfPlayWritesWholeGamesAndResumesAnInterruptedRun) {
    const std::string tools = PENTAD_TOOLS_BINARY;
    test::ScratchDir dir;
    dir.write("openings.txt", "9,9 10,10 9,10\n10,9 9,9 11,11\n");
    const std::string play = tools + " selfplay --engine tournament --openings openings.txt "
                                     "--out pos.bin --nodes 2000 --threads 2 --seed 3";
    test::RunResult first = test::runIn(dir.path(), play + " --games 4 2>/dev/null");
    ASSERT_EQ(first.status, 0) << first.output;
    EXPECT_NE(first.output.find("games 4"), std::string::npos);
    const std::string bytes = dir.read("pos.bin");
    ASSERT_GT(bytes.size(), 32u);
    EXPECT_EQ(bytes.substr(0, 8), "PNTDPOS2");
    // Walk the blocks: every record fits, results are from the mover's view of the winner,
    // and the search's value, where it ran, agrees with a proven result.
    auto u16 = [&](size_t at) {
        return unsigned(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8);
    };
    std::vector<size_t> blockStarts;
    size_t at = 32;
    int positions = 0, searched = 0;
    while (at < bytes.size()) {
        blockStarts.push_back(at);
        ASSERT_LE(at + 8, bytes.size());
        const int winner = uint8_t(bytes[at + 4]), count = int(u16(at + 6));
        at += 8;
        for (int k = 0; k < count; ++k, ++positions) {
            ASSERT_LE(at + 8, bytes.size());
            const int result = uint8_t(bytes[at]);
            EXPECT_TRUE(winner == 2 ? result == 1 : result == 0 || result == 2);
            const int value = int16_t(u16(at + 4));
            if (value > tournament::WinBound) {
                EXPECT_EQ(result, 2);
            } else if (value < -tournament::WinBound && value != -32768) {
                EXPECT_EQ(result, 0);
            }
            searched += value != -32768;
            at += 8 + 4 * size_t(u16(at + 6));
        }
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(blockStarts.size(), 4u);
    EXPECT_GT(positions, 8);
    EXPECT_GT(searched, positions / 2);

    // Cut inside the third game: a run for six games keeps two, drops the cut one, plays four.
    dir.write("pos.bin", bytes.substr(0, blockStarts[2] + 5));
    // Messages go to standard error, which runIn drops unless the command keeps it.
    auto withErrors = [](const std::string &command) { return "(" + command + " 2>&1)"; };
    test::RunResult resumed = test::runIn(dir.path(), withErrors(play + " --games 6"));
    ASSERT_EQ(resumed.status, 0) << resumed.output;
    EXPECT_NE(resumed.output.find("resuming: 2 of 6 games"), std::string::npos) << resumed.output;
    EXPECT_NE(resumed.output.find("games 4 ("), std::string::npos) << resumed.output;
    EXPECT_EQ(dir.read("pos.bin").substr(0, blockStarts[2]), bytes.substr(0, blockStarts[2]));

    test::RunResult other = test::runIn(
        dir.path(), withErrors(tools + " selfplay --engine tournament --openings openings.txt "
                                       "--out pos.bin --games 6 --nodes 2500 --seed 3"));
    EXPECT_EQ(other.status, 1);
    EXPECT_NE(other.output.find("made with other settings"), std::string::npos);

    dir.write("short.bin", "PNTDEVAL");
    test::RunResult badTables = test::runIn(
        dir.path(), withErrors(tools + " selfplay --engine tournament --openings openings.txt "
                                       "--out x.bin --eval-file short.bin"));
    EXPECT_EQ(badTables.status, 1);
    EXPECT_NE(badTables.output.find("short.bin: evaluation tables: 8 bytes"), std::string::npos);
    const std::string pbrain = PENTAD_PBRAIN_BINARY;
    EXPECT_EQ(test::runIn(dir.path(), pbrain + " --eval-file short.bin </dev/null").status, 2);
    test::RunResult badParam =
        test::runIn(dir.path(), withErrors(pbrain + " --param aspirationWindow=5 </dev/null"));
    EXPECT_EQ(badParam.status, 2);
    EXPECT_NE(badParam.output.find("aspirationWindow takes 10 to 1000"), std::string::npos);
}

// A search constant set by name reaches the search: a different window changes the nodes.
TEST(TournamentTuning, NamedSearchConstantsAreReadByTheNextSearch) {
    std::string error;
    EXPECT_FALSE(tournament::setSearchParam("noSuchThing=3", error));
    EXPECT_EQ(error, "unknown parameter noSuchThing");
    EXPECT_FALSE(tournament::setSearchParam("reductionBase=x", error));
    const tournament::SearchParams saved = tournament::searchParams();
    auto nodesWith = [](int window) {
        std::string e;
        EXPECT_TRUE(tournament::setSearchParam("aspirationWindow=" + std::to_string(window), e))
            << e;
        return runTournamentBench(5, false).nodes;
    };
    const int64_t standard = nodesWith(saved.aspirationWindow);
    EXPECT_NE(nodesWith(10), standard);
    tournament::searchParams() = saved;
}

// The cuts near the horizon (late quiet moves, a static value far above beta) make the same
// depth cheaper; with both off the bench costs more nodes.
TEST(TournamentTuning, HorizonCutsSaveNodes) {
    const tournament::SearchParams saved = tournament::searchParams();
    const int64_t withCuts = runTournamentBench(6, false).nodes;
    tournament::searchParams().moveCountDepth = 0;
    tournament::searchParams().staticNullDepth = 0;
    const int64_t without = runTournamentBench(6, false).nodes;
    tournament::searchParams() = saved;
    EXPECT_LT(withCuts, without);
}

} // namespace
} // namespace pentad

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>

#include "driver/exchange.h"
#include "tests/test_support.h"

namespace pentad {
namespace {

using test::boardFile;
using test::runIn;
using test::RunResult;
using test::ScratchDir;

// Parses "column,row" as written to tah.dat; -1 when malformed.
int parseMove(const std::string &text) {
    int column = -1, row = -1;
    char tail = 0;
    if (std::sscanf(text.c_str(), "%d,%d%c", &column, &row, &tail) != 2) return -1;
    if (column < 0 || column >= BoardSize || row < 0 || row >= BoardSize) return -1;
    return row * BoardSize + column;
}

TEST(DriverEndToEnd, EmptyBoardPlaysACentralCellAndWritesAnEmptyStatistics) {
    ScratchDir dir;
    dir.write("tah.dat", "x");
    dir.write("plocha.dat", boardFile({}));
    RunResult r = runIn(dir.path(), test::engineCommand());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, "");
    int move = parseMove(dir.read("tah.dat"));
    ASSERT_GE(move, 0) << dir.read("tah.dat");
    EXPECT_GE(move % 20, 7);
    EXPECT_LE(move % 20, 12);
    EXPECT_GE(move / 20, 7);
    EXPECT_LE(move / 20, 12);
    EXPECT_TRUE(dir.exists("msg.dat"));
    EXPECT_EQ(dir.read("msg.dat"), "");
}

TEST(DriverEndToEnd, NonEmptyBoardGetsALegalMove) {
    ScratchDir dir;
    std::vector<std::string> rows(20, std::string(20, '-'));
    rows[9] = "---------XO---------";
    rows[10] = "---------OX---------";
    dir.write("tah.dat", "O"); // four stones: X to move, so the colours swap
    dir.write("plocha.dat", boardFile(rows));
    dir.write("timeouts.dat", "5 10000");
    RunResult r = runIn(dir.path(), test::engineCommand());
    EXPECT_EQ(r.status, 0);
    int move = parseMove(dir.read("tah.dat"));
    ASSERT_GE(move, 0);
    EXPECT_EQ(rows[move / 20][move % 20], '-');
}

struct StartUpError {
    const char *name;
    const char *tah;    // nullptr: no tah.dat
    const char *plocha; // nullptr: no plocha.dat
    const char *message;
};

TEST(DriverEndToEnd, StartUpErrorsPrintTheirMessageAndWriteNothing) {
    const StartUpError cases[] = {
        {"no tah.dat", nullptr, "", "error: file  tah.dat  not found!\n"},
        {"wrong letter", "Z", "", "error: Wrong file  tah.dat !\n"},
        {"empty tah.dat", "", "", "error: Wrong file  tah.dat !\n"},
        {"blank before letter", " X", "", "error: Wrong file  tah.dat !\n"},
        {"no plocha.dat", "X", nullptr, "error: file  plocha.dat  not found!\n"},
    };
    for (const StartUpError &c : cases) {
        SCOPED_TRACE(c.name);
        ScratchDir dir;
        if (c.tah) dir.write("tah.dat", c.tah);
        if (c.plocha) dir.write("plocha.dat", boardFile({}));
        RunResult r = runIn(dir.path(), test::engineCommand());
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.output, c.message);
        EXPECT_FALSE(dir.exists("msg.dat"));
        if (c.tah)
            EXPECT_EQ(dir.read("tah.dat"), c.tah);
        else
            EXPECT_FALSE(dir.exists("tah.dat"));
    }
}

TEST(DriverEndToEnd, FullBoardIsRefusedWithoutAMove) {
    ScratchDir dir;
    std::vector<std::string> rows;
    for (int r = 0; r < 20; ++r)
        rows.push_back(r % 4 < 2 ? "XXOOXXOOXXOOXXOOXXOO" : "OOXXOOXXOOXXOOXXOOXX");
    dir.write("tah.dat", "X");
    dir.write("plocha.dat", boardFile(rows));
    RunResult r = runIn(dir.path(), test::engineCommand());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.output, "error: the board has no empty cell!\n");
    EXPECT_EQ(dir.read("tah.dat"), "X");
    EXPECT_FALSE(dir.exists("msg.dat"));
}

TEST(DriverEndToEnd, CrowdedBoardWithOnlyDeadCellsStillGetsALegalMove) {
    // Two colours with no line of three: every window holds both, so no empty cell has a
    // line left to play for.
    std::vector<std::string> rows;
    for (int r = 0; r < 20; ++r) {
        std::string row;
        for (int c = 0; c < 20; ++c)
            row += (c + 2 * r) % 4 < 2 ? 'X' : 'O';
        rows.push_back(row);
    }
    rows[5][5] = '-';
    rows[12][3] = '-';
    ScratchDir dir;
    dir.write("tah.dat", "x");
    dir.write("plocha.dat", boardFile(rows));
    RunResult r = runIn(dir.path(), test::engineCommand());
    EXPECT_EQ(r.status, 0);
    int move = parseMove(dir.read("tah.dat"));
    EXPECT_TRUE(move == 105 || move == 243) << dir.read("tah.dat");
}

// Reading, without starting a process.
PositionInput readIn(const ScratchDir &dir) {
    PositionInput in;
    std::string error;
    EXPECT_TRUE(readExchangeFiles(dir.path(), in, error)) << error;
    return in;
}

TEST(ExchangeFiles, SideLettersAndColourNormalisation) {
    struct Case {
        const char *letter;
        int stones; // X stones placed; O stones are one fewer when odd... see below
        bool swaps;
    };
    // Two stones (X to move): x and X keep the colours, o and O swap them.
    // Three stones (O to move): o and O keep them, x and X swap.
    const Case cases[] = {{"x", 2, false}, {"X", 2, false}, {"o", 2, true}, {"O", 2, true},
                          {"o", 3, false}, {"O", 3, false}, {"x", 3, true}, {"X", 3, true}};
    for (const Case &c : cases) {
        SCOPED_TRACE(std::string(c.letter) + " with " + std::to_string(c.stones) + " stones");
        ScratchDir dir;
        dir.write("tah.dat", c.letter);
        dir.write("plocha.dat", boardFile({c.stones == 2 ? "XO" : "XOX"}));
        PositionInput in = readIn(dir);
        normaliseColours(in);
        EXPECT_EQ(in.board[0], c.swaps ? 'O' : 'X');
        EXPECT_EQ(in.board[1], c.swaps ? 'X' : 'O');
    }
}

TEST(ExchangeFiles, RowsShortLongMissingAndJunk) {
    ScratchDir dir;
    dir.write("tah.dat", "x\n");
    // Row 0 short, row 1 longer than 20 (the rest ignored), row 2 junk and lower case,
    // then only two more rows: rows 5..19 are missing and empty.
    dir.write("plocha.dat", "Xo\n"
                            "--------------------XXXX\n"
                            "x?O*o#\t\n"
                            "   ---X\r\n"
                            "O\n");
    PositionInput in = readIn(dir);
    std::string board(in.board.begin(), in.board.end());
    EXPECT_EQ(board.substr(0, 20), "XO------------------");
    EXPECT_EQ(board.substr(20, 20), std::string(20, '-'));
    EXPECT_EQ(board.substr(40, 20), "X-O-O---------------");
    EXPECT_EQ(board.substr(60, 20), "---X----------------");
    EXPECT_EQ(board.substr(80, 20), "O-------------------");
    EXPECT_EQ(board.substr(100), std::string(300, '-'));
}

TEST(ExchangeFiles, HugeTokensStayInsideTheBoard) {
    ScratchDir dir;
    dir.write("tah.dat", "O");
    dir.write("plocha.dat", std::string(100000, 'X') + "\n" + std::string(5000, '\0'));
    PositionInput in = readIn(dir);
    std::string board(in.board.begin(), in.board.end());
    EXPECT_EQ(board.substr(0, 20), std::string(20, 'X'));
    EXPECT_EQ(board.substr(20, 20), std::string(20, '-'));
}

TEST(ExchangeFiles, TimeLimits) {
    struct Case {
        const char *content; // nullptr: no timeouts.dat
        int turn, match;
    };
    const Case cases[] = {
        {nullptr, 30, 180000},
        {"5 10000", 5, 10000},
        {"  7\n\n2500\n", 7, 2500},
        {"12", 12, 180},
        {"", 30, 180},
        {"abc 100", 30, 180},
        {"-3 99999999999", -3, 2147483647},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.content ? c.content : "(absent)");
        ScratchDir dir;
        dir.write("tah.dat", "X");
        dir.write("plocha.dat", boardFile({}));
        if (c.content) dir.write("timeouts.dat", c.content);
        PositionInput in = readIn(dir);
        EXPECT_EQ(in.turnLimit, c.turn);
        EXPECT_EQ(in.matchTime, c.match);
    }
}

TEST(ExchangeFiles, PositionIsPlacedInCellOrderWithTheHistory) {
    ScratchDir dir;
    dir.write("tah.dat", "O");
    dir.write("plocha.dat", boardFile({"-X--O", "", "O--X-X"}));
    PositionInput in = readIn(dir);
    normaliseColours(in);
    auto e = std::make_unique<EngineState>();
    ASSERT_TRUE(setupPosition(*e, in, 1));
    EXPECT_EQ(e->MoveNumber, 6);
    EXPECT_EQ(e->MoveHistory.count, 5);
    // X stones at positions 0, 2, 4 and O stones at 1, 3, each colour in scan order.
    std::vector<int> history(e->MoveHistory.cells.begin() + 1, e->MoveHistory.cells.begin() + 6);
    EXPECT_EQ(history, (std::vector<int>{1, 4, 43, 40, 45}));
    EXPECT_EQ(e->Board[1], X);
    EXPECT_EQ(e->Board[40], O);
}

// A board file is read whole however long its rows or its white space are; a board file that
// never ends is cut off at the bound and refused as a wrong file, with no move written. A
// folder in the place of the board is no board.
TEST(ExchangeReliability, LongFilesAreReadWholeAndEndlessOnesRefused) {
    const std::string eightMegabytes(8 << 20, ' ');
    {
        SCOPED_TRACE("8 MB first row");
        ScratchDir dir;
        dir.write("tah.dat", "X");
        std::string row0 = "--X" + std::string(8 << 20, 'O');
        dir.write("plocha.dat", row0 + "\n" + boardFile({"", "O", "---X"}).substr(BoardSize + 1));
        PositionInput in = readIn(dir);
        std::string board(in.board.begin(), in.board.end());
        EXPECT_EQ(board.substr(0, 20), "--XOOOOOOOOOOOOOOOOO");
        EXPECT_EQ(board.substr(20, 20), "O-------------------");
        EXPECT_EQ(board.substr(40, 20), "---X----------------");
    }
    {
        SCOPED_TRACE("8 MB of white space before the rows, then rows past the 20th");
        ScratchDir dir;
        dir.write("tah.dat", "X");
        dir.write("plocha.dat", eightMegabytes + boardFile({"X", "-O"}) + eightMegabytes +
                                    std::string(1 << 20, 'X'));
        PositionInput in = readIn(dir);
        EXPECT_EQ(std::count(in.board.begin(), in.board.end(), 'X'), 1);
        EXPECT_EQ(in.board[21], 'O');
    }
    {
        // A number cut off by the bound keeps its preset, and the engine still moves.
        SCOPED_TRACE("timeouts.dat whose numbers do not end within its bound");
        ScratchDir dir;
        dir.write("tah.dat", "X");
        dir.write("plocha.dat", boardFile({"", "", "", "", "", "", "", "", "", "", "-------X"}));
        const std::string digits = "7 " + std::string(8 << 20, '9');
        dir.write("timeouts.dat", digits);
        PositionInput in = readIn(dir);
        EXPECT_EQ(in.turnLimit, 7);
        EXPECT_EQ(in.matchTime, 180);
        dir.write("timeouts.dat", std::string(8192, ' ') + "5 1000");
        in = readIn(dir);
        EXPECT_EQ(in.turnLimit, 30);
        EXPECT_EQ(in.matchTime, 180);
        RunResult r = runIn(dir.path(), test::engineCommand());
        EXPECT_EQ(r.status, 0) << r.output;
        EXPECT_NE(dir.read("tah.dat"), "X");
        EXPECT_EQ(dir.read("timeouts.dat").size(), 8192u + 6);
    }
    {
        SCOPED_TRACE("a device that never ends");
        ScratchDir dir;
        dir.write("tah.dat", "X");
        std::filesystem::create_symlink("/dev/zero", dir.path() / "plocha.dat");
        auto start = std::chrono::steady_clock::now();
        RunResult r = runIn(dir.path(), test::engineCommand());
        EXPECT_EQ(r.status, 255);
        EXPECT_EQ(r.output, "error: Wrong file  plocha.dat !\n");
        EXPECT_EQ(dir.read("tah.dat"), "X");
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
    }
    ScratchDir dir;
    dir.write("tah.dat", "X");
    std::filesystem::create_directory(dir.path() / "plocha.dat");
    RunResult r = runIn(dir.path(), test::engineCommand());
    EXPECT_EQ(r.status, 255);
    EXPECT_EQ(r.output, "error: file  plocha.dat  not found!\n");
}

} // namespace
} // namespace pentad

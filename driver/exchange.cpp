#include "driver/exchange.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <limits>

#include "board/init.h"
#include "board/pattern_tables.h"
#include "board/placement.h"
#include "book/opening.h"
#include "book/opening_book.h"
#include "resources/platform.h"
#include "search/search.h"
#include "search/transposition.h"

namespace pentad {
namespace {

constexpr int DefaultTurnLimit = 30;       // seconds, when there is no time file
constexpr int DefaultMatchTime = 180000;   // milliseconds, when there is no time file
constexpr int StatisticsAfterSeconds = 10; // msg.dat gets its line only after longer moves
constexpr int ErrorBeepHertz = 400;
constexpr int ErrorBeepMs = 300;
constexpr int ErrorPauseMs = 1000;

struct FileCloser {
    FILE *file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

FILE *openFile(const std::filesystem::path &path, const char *mode) {
    return std::fopen(path.string().c_str(), mode);
}

std::string fileNotFound(const char *name) {
    return std::string("error: file  ") + name + "  not found!\n";
}

// Reads a decimal integer the way "%d" does; out-of-range values are clamped.
bool scanInt(FILE *f, int32_t &value) {
    int ch;
    do
        ch = std::fgetc(f);
    while (ch != EOF && std::isspace(ch));
    bool negative = false;
    if (ch == '+' || ch == '-') {
        negative = ch == '-';
        ch = std::fgetc(f);
    }
    if (ch == EOF || !std::isdigit(ch)) return false;
    int64_t magnitude = 0;
    constexpr int64_t Cap = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    for (; ch != EOF && std::isdigit(ch); ch = std::fgetc(f))
        if (magnitude < Cap) magnitude = magnitude * 10 + (ch - '0');
    if (ch != EOF) std::ungetc(ch, f);
    if (magnitude > Cap) magnitude = Cap;
    int64_t v = negative ? -magnitude : magnitude;
    if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
    value = int32_t(v);
    return true;
}

// One row of the board: the next whitespace-delimited token, of which only the first 20
// characters count. Returns false when no token is left.
bool readRow(FILE *f, char *row) {
    int ch;
    do
        ch = std::fgetc(f);
    while (ch != EOF && std::isspace(ch));
    if (ch == EOF) return false;
    for (int i = 0; ch != EOF && !std::isspace(ch); ++i, ch = std::fgetc(f)) {
        if (i >= BoardSize) continue;
        row[i] = (ch == 'X' || ch == 'x') ? 'X' : (ch == 'O' || ch == 'o') ? 'O' : '-';
    }
    return true;
}

int stoneCount(const ExchangeInput &in) {
    int n = 0;
    for (char c : in.board)
        n += c != '-';
    return n;
}

int fail(const std::string &message) {
    std::fputs(message.c_str(), stdout);
    std::fflush(stdout);
    beep(ErrorBeepHertz, ErrorBeepMs);
    sleepMs(ErrorPauseMs);
    return -1;
}

} // namespace

bool readExchangeFiles(const std::filesystem::path &dir, ExchangeInput &in, std::string &error) {
    {
        FileCloser tah{openFile(dir / "tah.dat", "r")};
        if (!tah.file) {
            error = fileNotFound("tah.dat");
            return false;
        }
        int letter = std::toupper(std::fgetc(tah.file));
        if (letter != 'X' && letter != 'O') {
            error = "error: Wrong file  tah.dat !\n";
            return false;
        }
        in.sideLetter = char(letter);
    }
    {
        FileCloser plocha{openFile(dir / "plocha.dat", "r")};
        if (!plocha.file) {
            error = fileNotFound("plocha.dat");
            return false;
        }
        in.board.fill('-');
        for (int r = 0; r < BoardSize; ++r)
            if (!readRow(plocha.file, &in.board[r * BoardSize])) break;
    }
    FileCloser timeouts{openFile(dir / "timeouts.dat", "r")};
    if (timeouts.file) {
        if (scanInt(timeouts.file, in.turnLimit)) scanInt(timeouts.file, in.matchTime);
    } else {
        in.turnLimit = DefaultTurnLimit;
        in.matchTime = DefaultMatchTime;
    }
    return true;
}

void normaliseColours(ExchangeInput &in) {
    int moveNumber = stoneCount(in) + 1;
    char expected = moveNumber % 2 == 1 ? 'X' : 'O';
    if (in.sideLetter == expected) return;
    for (char &c : in.board)
        c = c == 'X' ? 'O' : c == 'O' ? 'X' : c;
}

bool startEngine(EngineState &e, uint32_t seed) {
    e.RandomSeed = seed;
    if (!loadPatternTables(e)) return false;
    openingBook().load();
    initEngine(e);
    return true;
}

void preparePosition(EngineState &e, const ExchangeInput &in) {
    resetPosition(e);
    e.TurnLimit = in.turnLimit;
    e.MatchTime = in.matchTime;
    e.MoveNumber = 1;
    e.NodeBudget = 1500000;
    e.BudgetBase = 3;
    e.DefaultMoveLimit = 32;
    e.PlyLimit = 23;
    activateParameters(e, 3);
    recomputeWeights(e);
    e.RandomizeLeaves = true;
    e.FullWindowRoot = false;
    e.BookMoveFlag = false;
    // Settings a tool may have changed earlier in the same process.
    e.NodeBudgetCeiling = 1500000;
    e.ClockOrigin = 0;
    e.DeadlineOverride = -1;
    e.ClockEnabled = true;
    e.MoveHistory.count = 0;
    e.MoveHistory.cells.fill(0);
    // X stones take the even history positions and O stones the odd ones, each colour in
    // scan order; cells[] is 1-based, so position p is cells[p + 1].
    int nextX = 0, nextO = 1;
    for (int c = 0; c < CellCount; ++c) {
        if (in.board[c] == '-') continue;
        bool isX = in.board[c] == 'X';
        place(e, c, isX ? X : O);
        int &position = isX ? nextX : nextO;
        e.MoveHistory.cells[position + 1] = int16_t(c);
        position += 2;
        ++e.MoveHistory.count;
        ++e.MoveNumber;
    }
    e.RootBonus.fill(0);
}

bool setupPosition(EngineState &e, const ExchangeInput &in, uint32_t seed) {
    if (!startEngine(e, seed)) return false;
    preparePosition(e, in);
    return true;
}

int chooseMove(EngineState &e) {
    int move = prepareOpening(e);
    if (move < 0) {
        searchMove(e);
        move = e.IterationLine[1];
    }
    // The search always names an empty cell; should it ever not, any empty cell is legal.
    if (move < 0 || move >= CellCount || e.Board[move] != Empty)
        move = int(std::find(e.Board.begin(), e.Board.end(), int32_t(Empty)) - e.Board.begin());
    return move;
}

int runEngine(const std::filesystem::path &dir) {
    EngineState &e = engineState();
    // The table is allocated before any file is read; without it there is no search.
    if (!transpositionTable().allocate())
        return fail("error: not enough memory for the transposition table!\n");
    // 1. The start time seeds every random choice of the run.
    e.StartTime = wallClockSeconds();
    uint32_t seed = uint32_t(e.StartTime);
    // 2-4. Exchange files.
    ExchangeInput in;
    std::string error;
    if (!readExchangeFiles(dir, in, error)) return fail(error);
    // 5-6. Colours: X moved first and the engine is to move.
    normaliseColours(in);
    if (stoneCount(in) == CellCount) return fail("error: the board has no empty cell!\n");
    // 7-10. Start-up and placement of the position.
    if (!setupPosition(e, in, seed)) return fail("error: line-pattern tables missing!\n");
    // 11-12. Opening step, then the search.
    int move = chooseMove(e);
    // 13. The move, column first.
    {
        FileCloser tah{openFile(dir / "tah.dat", "w")};
        if (!tah.file) return fail("error: cannot write file  tah.dat !\n");
        std::fprintf(tah.file, "%d,%d", move % BoardSize, move / BoardSize);
    }
    // 14. Statistics line for long moves.
    int64_t elapsed = wallClockSeconds() - e.StartTime;
    FileCloser msg{openFile(dir / "msg.dat", "w")};
    if (msg.file && elapsed > StatisticsAfterSeconds)
        std::fprintf(msg.file, "lvl = %d, nds = %.0f", e.IterationNumber,
                     double(e.TotalNodes) / double(elapsed));
    return 0;
}

} // namespace pentad

#include "tools/harness.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "board/init.h"
#include "board/parameters.h"
#include "board/placement.h"
#include "platform/platform.h"
#include "search/search.h"

namespace pentad {
namespace {

constexpr int HeaderWordLimit = 43;
constexpr int FirstMoveCell = 147; // every self-play game starts on row 7, column 7
constexpr int RecordedMovesBeforeReplay = 3;

// Second and third moves of the self-play openings: x2, y2, x3, y3, counted from 1.
constexpr int SelfPlayOpenings[10][4] = {
    {8, 9, 8, 11},    {9, 9, 9, 11}, {9, 9, 7, 11},   {8, 9, 9, 11},   {9, 10, 11, 8},
    {10, 10, 10, 11}, {6, 6, 7, 5},  {10, 10, 9, 11}, {10, 10, 11, 7}, {7, 7, 6, 5},
};

int cellFromRecord(int x, int y) { return x + BoardSize * y - (BoardSize + 1); }

Side sideToMove(const EngineState &e) { return e.MoveNumber % 2 == 1 ? X : O; }

// Reads "x,y" as "%d,%d" would; false when the next item is not such a pair.
bool readPair(std::istream &in, long &x, long &y) {
    char comma;
    if (!(in >> x)) return false;
    if (!in.get(comma) || comma != ',') return false;
    return bool(in >> y);
}

void searchAndTime(EngineState &e) {
    e.ClockOrigin = processClockMs();
    searchMove(e);
}

} // namespace

void applyWeightSet(EngineState &e, int k) { loadWeightSet(e, k); }

void useTuningSettings(EngineState &e) {
    e.BudgetBase = DefaultBudgetBase;
    e.DefaultMoveLimit = DefaultRootMoveLimit;
    e.RandomizeLeaves = false;
}

void playMove(EngineState &e, int cell) {
    place(e, cell, sideToMove(e));
    e.MoveHistory.cells[++e.MoveHistory.count] = int16_t(cell);
    ++e.MoveNumber;
}

bool makesFive(EngineState &e, int cell) {
    const CellClassRecord &r = sideToMove(e) == X ? classesOf<X>(e, cell) : classesOf<O>(e, cell);
    return r.cls[0] <= 9;
}

bool checkLinePatterns(EngineState &e) {
    for (int c = 0; c < CellCount; ++c) {
        for (int d = 0; d < DirectionCount; ++d) {
            if (e.LinePatternX[c][d] >= PatternCount || e.LinePatternO[c][d] >= PatternCount) {
                e.LinePatternX[c][0] = 0;
                return false;
            }
        }
    }
    return true;
}

void startHarnessGame(EngineState &e) {
    useTuningSettings(e);
    e.MoveHistory.count = 0;
    e.MoveNumber = 1;
    // The windows and the key belong to the empty board too: a game started on a used state
    // must not inherit them.
    resetPosition(e);
}

bool readGameRecord(const std::filesystem::path &file, GameRecord &record) {
    std::ifstream in(file);
    if (!in) return false;
    std::string word;
    for (int i = 0; i < 2 && in >> word; ++i)
        if (word.size() > size_t(HeaderWordLimit))
            record.notes.push_back("header word of " + std::to_string(word.size()) +
                                   " characters read whole and ignored");
    std::vector<bool> taken(CellCount);
    long x, y;
    while (readPair(in, x, y)) {
        if (x < 1 || x > BoardSize || y < 1 || y > BoardSize) {
            record.notes.push_back("move " + std::to_string(x) + "," + std::to_string(y) +
                                   " is off the board: reading stopped there");
            break;
        }
        int cell = cellFromRecord(int(x), int(y));
        if (taken[cell]) {
            record.notes.push_back("move " + std::to_string(x) + "," + std::to_string(y) +
                                   " repeats a cell: reading stopped there");
            break;
        }
        if (int(record.moves.size()) == MaxRecordedMoves) {
            record.notes.push_back("more than 63 moves: the rest are ignored");
            break;
        }
        taken[cell] = true;
        record.moves.push_back(cell);
    }
    return true;
}

double replayGameRecord(EngineState &e, const GameRecord &record, int k, FILE *out) {
    startHarnessGame(e);
    applyWeightSet(e, k);
    recomputeWeights(e);
    const int count = int(record.moves.size());
    // The first three moves are played as they are (as many as the record holds).
    for (int i = 0; i < std::min(count, RecordedMovesBeforeReplay); ++i)
        playMove(e, record.moves[i]);
    e.FullWindowRoot = true;
    e.BookMoveFlag = true;
    if (count <= RecordedMovesBeforeReplay) return 0;
    double total = 0;
    for (int m = RecordedMovesBeforeReplay + 1; m <= count; ++m) {
        const int recorded = record.moves[m - 1];
        // The recorded move stands where the book's answer would, so it is searched first.
        e.MoveHistory.cells[e.MoveHistory.count + 1] = int16_t(recorded);
        searchAndTime(e);
        playMove(e, recorded);
        const int n = e.RootMoves.count;
        if (n > 1) {
            int high = e.RootScores[1], low = e.RootScores[1];
            for (int i = 2; i <= n; ++i) {
                high = std::max(high, e.RootScores[i]);
                low = std::min(low, e.RootScores[i]);
            }
            // With all values equal the position says nothing about the weights.
            if (high > low) {
                double sum = 0;
                for (int i = 2; i <= n; ++i)
                    sum += e.RootScores[1] - e.RootScores[i];
                total += sum / double(high - low);
            }
        }
        if (out) std::fprintf(out, "%d.  = %f\n", m, total);
    }
    return total;
}

SelfPlayGame playSelfGame(EngineState &e, int setX, int setO) {
    SelfPlayGame game;
    game.opening = std::rand() % 10;
    startHarnessGame(e);
    e.BookMoveFlag = false;
    const int *opening = SelfPlayOpenings[game.opening];
    for (int cell : {FirstMoveCell, cellFromRecord(opening[0], opening[1]),
                     cellFromRecord(opening[2], opening[3])}) {
        playMove(e, cell);
        game.moves.push_back(cell);
    }
    while (e.MoveHistory.count < CellCount) {
        applyWeightSet(e, sideToMove(e) == X ? setX : setO);
        recomputeWeights(e);
        searchAndTime(e);
        int move = e.IterationLine[1];
        if (move < 0 || move >= CellCount || e.Board[move] != Empty)
            move = int(std::find(e.Board.begin(), e.Board.end(), int32_t(Empty)) - e.Board.begin());
        const bool five = makesFive(e, move);
        playMove(e, move);
        game.moves.push_back(move);
        if (five) {
            game.result = e.MoveHistory.count % 2 == 1 ? 2 : 0;
            return game;
        }
    }
    game.result = 1; // the board filled without a five
    return game;
}

} // namespace pentad

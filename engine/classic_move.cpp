#include "engine/classic_move.h"

#include <algorithm>

#include "board/init.h"
#include "board/parameters.h"
#include "board/pattern_tables.h"
#include "board/placement.h"
#include "book/opening.h"
#include "book/opening_book.h"
#include "search/search.h"

namespace pentad {

int stoneCount(const PositionInput &in) {
    int n = 0;
    for (char c : in.board)
        n += c != '-';
    return n;
}

void normaliseColours(PositionInput &in) {
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

void preparePosition(EngineState &e, const PositionInput &in) {
    resetPosition(e);
    e.TurnLimit = in.turnLimit;
    e.MatchTime = in.matchTime;
    e.MoveNumber = 1;
    applyMoveSettings(e);
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

bool setupPosition(EngineState &e, const PositionInput &in, uint32_t seed) {
    if (!startEngine(e, seed)) return false;
    preparePosition(e, in);
    return true;
}

int chooseMove(EngineState &e, SearchObserver *observer) {
    int move = prepareOpening(e);
    if (move < 0) {
        searchMove(e, observer);
        move = e.IterationLine[1];
    }
    // The search always names an empty cell; should it ever not, any empty cell is legal.
    if (move < 0 || move >= CellCount || e.Board[move] != Empty)
        move = int(std::find(e.Board.begin(), e.Board.end(), int32_t(Empty)) - e.Board.begin());
    return move;
}

} // namespace pentad

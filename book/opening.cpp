#include "book/opening.h"
#include "board/parameters.h"

#include "board/random.h"
#include "book/opening_book.h"

namespace pentad {
namespace {

// Reply to a single stone: random bonuses on the neighbours that face the centre, so the
// engine varies its second move. Each row whose condition holds draws one value.
void setSecondMoveBonus(EngineState &e, int stone) {
    int row = stone / BoardSize, col = stone % BoardSize;
    struct Row {
        bool applies;
        int dRow, dCol, base, range;
    };
    const Row rows[] = {
        {col >= 7 && row >= 7, -1, -1, 150, 350}, {col >= 7 && row >= 7, -1, 0, 150, 200},
        {col >= 7 && row >= 7, 0, -1, 550, 200},  {col <= 12 && row <= 12, 1, 1, 150, 350},
        {col <= 12 && row <= 12, 1, 0, 150, 200}, {col <= 12 && row <= 12, 0, 1, 150, 200},
        {col <= 12 && row >= 7, -1, 1, 150, 350}, {col >= 7 && row <= 12, 1, -1, 150, 350},
    };
    for (const Row &r : rows) {
        if (!r.applies) continue;
        int v = drawRandom(e);
        e.RootBonus[cellAt(row + r.dRow, col + r.dCol)] = int16_t(r.base + v % r.range);
    }
}

} // namespace

int prepareOpening(EngineState &e) {
    int stones = e.MoveHistory.count;
    if (stones == 0) {
        int r1 = drawRandom(e);
        int r2 = drawRandom(e);
        return cellAt(CentreLow + r2 % CentreSpan, CentreLow + r1 % CentreSpan);
    }
    // The book answer goes one past the last stone.
    int answer = openingBook().lookup(e);
    e.MoveHistory.cells[stones + 1] = int16_t(answer);
    if (answer >= 0 && e.Board[answer] == Empty) e.BookMoveFlag = true;
    if (stones == 1) setSecondMoveBonus(e, e.MoveHistory.cells[1]);
    return -1;
}

} // namespace pentad

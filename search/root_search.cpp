#include <algorithm>

#include "board/parameters.h"
#include "search/search.h"
#include "threats/generator.h"

namespace pentad {
namespace {

void setLine(LineBuffer &line, int move) {
    line[0] = 1;
    line[1] = int16_t(move);
}

// A root with nothing to search still needs a legal move: the first filed cell, or on a
// board whose empty cells are all dead lines, the first empty cell.
int fallbackMove(const EngineState &e) {
    if (e.OwnFiledCells.count > 0) return e.OwnFiledCells.cells[1];
    for (int c = 0; c < CellCount; ++c)
        if (e.Board[c] == Empty) return c;
    return 0;
}

void swapRootPositions(EngineState &e, int a, int b) {
    std::swap(e.RootMoves.cells[a], e.RootMoves.cells[b]);
    std::swap(e.RootScores[a], e.RootScores[b]);
}

// The book keeps its move first only where its answer is searched first: bring the answer
// (stored after the last stone of the history) to position 1, adding it when the
// generator did not list it.
bool bookMoveFirst(const EngineState &e) { return e.BookMoveFlag && e.MoveNumber > 2; }

void placeBookMoveFirst(EngineState &e) {
    const int answer = e.MoveHistory.cells[e.MoveHistory.count + 1];
    if (answer < 0 || answer >= CellCount || e.Board[answer] != Empty) return;
    int at = -1;
    for (int k = 1; k <= e.RootFullCount && at < 0; ++k)
        if (e.RootMoves.cells[k] == answer) at = k;
    if (at < 0) {
        at = ++e.RootFullCount;
        e.RootMoves.cells[at] = int16_t(answer);
        if (e.RootMoves.count == 0) e.RootMoves.count = 1;
    }
    swapRootPositions(e, at, 1);
}

} // namespace

void rootSearch(EngineState &e, Side side) {
    // 1. Settings of this root search.
    e.NodeBudget = std::max(e.NodeBudget, 2);
    e.ExtensionLevel = 0;
    e.IterationNodes = 0;
    computeBudgetThresholds(e);
    e.EngineSide = side;
    LineCounters rootCounters;
    // 2. The root list is built once per move.
    if (e.IterationNumber == 1) {
        GenerateRequest req;
        req.side = side;
        req.budget = e.NodeBudget;
        req.ply = 0;
        req.moves = &e.RootMoves;
        req.pathCounts = rootCounters.four;
        generateMoves(e, req);
        e.RootFullCount = e.RootMoves.count;
        e.RootMoves.count = int16_t(std::min<int>(e.RootMoves.count, req.moveLimit));
        if (bookMoveFirst(e) && !e.ForcedResult) placeBookMoveFirst(e);
    }
    // 3. Degenerate roots need no search: nothing to search, one move, or a decisive move.
    e.IterationLine[0] = 0;
    if (e.RootMoves.count == 0) {
        if (!e.ForcedResult) e.RootMoves.cells[1] = int16_t(fallbackMove(e));
        setLine(e.IterationLine, e.RootMoves.cells[1]);
        return;
    }
    if (e.RootMoves.count == 1 || e.ForcedResult) {
        setLine(e.IterationLine, e.RootMoves.cells[1]);
        return;
    }
    // 4. Fresh best value, killers and window; unscored moves on the first search.
    e.BestScore = StartBestScore;
    e.KillerMoves[1] = {-1, -1};
    if (e.IterationNumber == 1)
        for (int i = 1; i <= e.RootFullCount; ++i)
            e.RootScores[i] = NoScore;
    e.RootAlpha = NoScore;
    e.LineFollow[0] = e.PrincipalLine[0] >= 1;
    // 5. Each root move in turn. A child that returns before classifying its position
    // leaves the four flag of the previous root move.
    bool madeFour = false;
    for (int i = 1;; ++i) {
        if (e.FullWindowRoot) e.RootAlpha = NoScore;
        // 5a. Moves that raised the best value before go first, by value; the rest by their
        // ordering score. Ties keep the earlier position.
        if (i < e.RootFullCount && !(i == 1 && bookMoveFirst(e))) {
            int v = NoScore, o = 0, chosen = -1;
            for (int k = i; k <= e.RootFullCount; ++k) {
                if (e.RootScores[k] > v) {
                    chosen = k;
                    v = e.RootScores[k];
                } else if (v == NoScore && e.MoveScores[0][e.RootMoves.cells[k]] > o) {
                    chosen = k;
                    o = e.MoveScores[0][e.RootMoves.cells[k]];
                }
            }
            if (chosen >= 0) swapRootPositions(e, chosen, i);
        }
        if (i == 1) e.IterationLine[1] = e.RootMoves.cells[1];
        const int m = e.RootMoves.cells[i];
        LineBuffer localLine{};
        localLine[1] = int16_t(m);
        int r = -nodeSearch(e, m, opponent(side), 1, NoScore, -e.RootAlpha, e.NodeBudget, localLine,
                            rootCounters, madeFour);
        // 5b. A move cut by the clock cannot become best (except the very first).
        if (clockReached(e)) r = e.RootAlpha;
        if (r > e.BestScore) {
            e.RootScores[i] = r;
            e.BestScore = r;
            e.IterationLine = localLine;
            if (madeFour && e.IterationLine[0] >= 3) {
                uint16_t &score = e.MoveScores[0][e.IterationLine[3]];
                if (score != 0) score = uint16_t(score + FourFollowUpBonus);
            }
            if (i == 1 && bookMoveFirst(e)) {
                e.BestScore = e.RootAlpha = BookScore;
            } else {
                e.RootAlpha = r;
                if (e.MoveNumber == 2 && r >= -SecondMoveBonusWindow &&
                    r <= SecondMoveBonusWindow) {
                    e.RootAlpha += e.RootBonus[m];
                    e.BestScore = e.RootAlpha;
                }
            }
        } else {
            e.RootScores[i] = NoScore;
        }
        if (i >= e.RootMoves.count || clockReached(e)) break;
    }
    // 6. The root's decisive flag is spent; the next root search starts clean.
    e.ForcedResult = false;
}

} // namespace pentad

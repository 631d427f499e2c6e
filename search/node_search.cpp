#include <algorithm>

#include "board/parameters.h"
#include "board/placement.h"
#include "board/random.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/transposition.h"
#include "threats/generator.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

constexpr int ThreatClassLimit = 30; // line classes below this make a four or better

inline void addScore(uint16_t &score, int bonus) {
    if (score != 0) score = uint16_t(score + bonus);
}

// Takes the node's stone back on every way out.
struct PlacedMove {
    EngineState &e;
    int cell;
    PlacedMove(EngineState &state, int c, Side s) : e(state), cell(c) { place(e, cell, s); }
    ~PlacedMove() { place(e, cell, Empty); }
};

} // namespace

bool clockReached(const EngineState &e) {
    return stopRequested() || (e.ClockEnabled && processClockMs() - e.ClockOrigin >= e.Deadline) ||
           (e.NodeLimit > 0 && e.TotalNodes + e.IterationNodes >= e.NodeLimit);
}

bool isThreatMove(const EngineState &e, int cell, Side side) {
    const auto &patterns = side == X ? e.LinePatternX[cell] : e.LinePatternO[cell];
    for (int d = 0; d < DirectionCount; ++d)
        if (e.LineClass[patterns[d]] < ThreatClassLimit) return true;
    return false;
}

int nodeSearch(EngineState &e, int move, Side side, int ply, int alpha, int beta, int budget,
               LineBuffer &line, const LineCounters &callerCounters, bool &madeFour) {
    const Side mover = opponent(side);
    // 1. Own copies of the line counters; count the visit.
    LineCounters counters = callerCounters;
    ++e.IterationNodes;
    // 2. Empty window.
    if (alpha >= beta) return alpha;
    // 3. Probe the table for the position after the move, before placing it.
    TranspositionTable &table = transpositionTable();
    ZobristKey key = e.PositionKey;
    key ^= e.ZobristTable[mover][move];
    int tableMove = -1;
    if (const TranspositionEntry *entry = table.probe(key)) {
        tableMove = entry->bestMove;
        if (entry->iteration == e.IterationNumber && entry->depth >= e.PlyLimit) {
            int score = entry->score;
            if (entry->bound == ExactScore) return score;
            if (entry->bound == LowerBound && score >= beta) return score;
            if (entry->bound == UpperBound && score <= alpha) return score;
        }
    }
    // 4. Play the move; it is taken back on every return from here on.
    PlacedMove placed(e, move, mover);
    // 5. Still on the previous best line?
    e.LineFollow[ply] =
        e.LineFollow[ply - 1] && ply < e.PrincipalLine[0] && e.PrincipalLine[ply] == move;
    // 6. Generate.
    assert(ply < MaxPly);
    CandidateList &moves = e.PlyMoves[size_t(ply)];
    counters.four[0] = counters.wide[side];
    GenerateRequest req;
    req.side = side;
    req.budget = budget;
    req.ply = ply;
    req.moves = &moves;
    req.pathCounts = counters.four;
    generateMoves(e, req);
    // 7. Line counters and the four flag for the caller.
    const int generated = moves.count;
    const int searched = std::min(generated, int(req.moveLimit));
    if (searched > WideNodeMoves) ++counters.wide[side];
    if (e.Buckets[OppFive].count > 0) {
        ++counters.four[mover];
        madeFour = true;
    } else {
        madeFour = false;
    }
    // 8. Terminal cases.
    if (e.ForcedResult) return WinScore - ply;
    if (e.QuietNode) {
        const int penalty = e.Params.LineFourPenalty;
        int v = side == e.EngineSide ? e.QuietEvaluation - counters.four[side] * penalty
                                     : e.QuietEvaluation + counters.four[e.EngineSide] * penalty;
        if (e.RandomizeLeaves) v += LeafNoiseRange / 2 - drawRandom(e) % LeafNoiseRange;
        return v;
    }
    if (searched == 0) return ply - WinScore;
    if (beta < ply - (WinScore - 1)) return beta;
    if (alpha > (WinScore - 1) - ply) return alpha;
    // 9. Horizon: beyond it only lines that are losing fast, one ply before it also fours.
    const int horizonLoss = e.PlyLimit - (WinScore - 1);
    if (!madeFour && ply == e.PlyLimit - 1 && alpha >= horizonLoss) return alpha;
    if (ply >= e.PlyLimit && alpha >= horizonLoss) return alpha;
    // The per-ply tables end here: a node this deep is a leaf.
    if (ply >= MaxSearchPly) return alpha;
    // 10. Non-threat moves among those to be searched, in list order.
    int quietMoves = 0;
    if (searched > 1)
        for (int i = 1; i <= searched; ++i)
            quietMoves += !isThreatMove(e, moves.cells[i], side);
    // 11. The children share the budget.
    int divisor = std::min(widthForBudget(e, budget), searched);
    if (e.DefenceMode) {
        int n = e.DefenceCount;
        divisor = std::min(divisor, n + (searched - n) / 2);
    }
    const int childBudget = budget / divisor;
    // The children probe the table first thing: start loading their clusters now.
    for (int i = 1; i <= searched; ++i) {
        ZobristKey childKey = e.PositionKey;
        childKey ^= e.ZobristTable[side][moves.cells[i]];
        table.prefetch(childKey);
    }
    // 12. Prepare the loop: best line so far, killers of the next ply, ordering bonuses.
    LineBuffer bestLine = line;
    if (ply < MaxLineMoves) line[0] = int16_t(ply);
    e.KillerMoves[ply + 1] = {-1, -1};
    auto &scores = e.MoveScores[ply];
    auto &killers = e.KillerMoves[ply];
    if (killers[0] >= 0) addScore(scores[killers[0]], KillerBonus);
    if (tableMove >= 0 && tableMove < CellCount && e.Board[tableMove] == Empty &&
        scores[tableMove] != 0)
        scores[tableMove] = uint16_t(scores[tableMove] + HashMoveBonus);
    else
        tableMove = -1;
    if (ply < e.PrincipalLine[0] && e.LineFollow[ply] && e.PrincipalLine[ply + 1] != tableMove)
        addScore(scores[e.PrincipalLine[ply + 1]], LineFollowBonus);
    int best = alpha, bestMove = -1;
    bool childMadeFour = false;
    // 13. The move loop.
    for (int i = 1;; ++i) {
        // 13a. Best remaining candidate by ordering score; ties keep the earlier one.
        if (i < generated) {
            int chosen = i;
            uint16_t top = 0;
            for (int k = i; k <= generated; ++k) {
                if (scores[moves.cells[k]] > top) {
                    top = scores[moves.cells[k]];
                    chosen = k;
                }
            }
            std::swap(moves.cells[i], moves.cells[chosen]);
        }
        // 13b. Take the move out of the ordering and onto the line.
        const int m = moves.cells[i];
        scores[m] = 0;
        if (ply < MaxLineMoves) {
            line[ply + 1] = int16_t(m);
            line[0] = int16_t(ply + 1);
        }
        int v;
        if (searched > 1 && quietMoves > 0 && e.ExtensionLevel <= MaxExtensionLevel &&
            isThreatMove(e, m, side)) {
            // 13c. A threat that beats best on a null window is searched again deeper with
            // the whole budget.
            v = -nodeSearch(e, m, mover, ply + 1, -best - 1, -best, childBudget, line, counters,
                            childMadeFour);
            if (v > best) {
                e.PlyLimit += ExtensionPlies;
                ++e.ExtensionLevel;
                v = -nodeSearch(e, m, mover, ply + 1, -beta, -best, budget, line, counters,
                                childMadeFour);
                e.PlyLimit -= ExtensionPlies;
                --e.ExtensionLevel;
            }
        } else {
            // 13d. Any other move: the full window on the child's share of the budget.
            v = -nodeSearch(e, m, mover, ply + 1, -beta, -best, childBudget, line, counters,
                            childMadeFour);
        }
        // 13e. A new best: keep its line, update the killers, reward a four's follow-up.
        if (v > best) {
            bestLine = line;
            bestMove = m;
            if (m == killers[1])
                std::swap(killers[0], killers[1]);
            else if (m != killers[0])
                killers[1] = int16_t(m);
            best = v;
            if (childMadeFour && bestLine[0] > ply + 2)
                addScore(scores[bestLine[ply + 3]], FourFollowUpBonus);
        }
        // 13f. Stop at a cut-off, at the end of the list, or at the clock.
        if (best >= beta || i >= searched || clockReached(e)) break;
    }
    // 14. Store only results the clock did not cut short.
    if (!clockReached(e)) {
        if (best <= alpha)
            table.store(e.PositionKey, e.PlyLimit, -1, best, UpperBound, e.IterationNumber);
        else if (best >= beta)
            table.store(e.PositionKey, e.PlyLimit, bestMove, best, LowerBound, e.IterationNumber);
        else
            table.store(e.PositionKey, e.PlyLimit, bestMove, best, ExactScore, e.IterationNumber);
    }
    // 15. Hand the best line back to the caller.
    line = bestLine;
    return best;
}

} // namespace pentad

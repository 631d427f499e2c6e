#include "tournament/search.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/platform.h"
#include "tournament/params.h"

namespace pentad::tournament {

namespace {

// Tunables of the search, in evaluation units and plies.
constexpr CellPattern QuiescenceFour = Block4Plus; ///< plain fours are left to the search
constexpr CellPattern TacticalOwn = Block4;        ///< moves never reduced: own fours and
constexpr CellPattern TacticalHis = Block4Flex3;   ///< his winning points
constexpr bool ThreatWins = true; ///< four-three and double-three points win by rule
constexpr int CheckEvery = 1023;  ///< nodes between looks at the clock and stop flag
constexpr int16_t NoMove = -1;

enum Bound : uint8_t { BoundNone = 0, BoundUpper = 1, BoundLower = 2, BoundExact = 3 };

// A table entry, 12 bytes; five to a 64-byte bucket.
//   key      upper 32 bits of the position's key
//   value    the search's value, wins counted from this node
//   eval     the static value
//   move     best padded cell, or -1
//   depth    remaining depth the value was searched to
//   genBound the search generation (6 bits) and the Bound (2 bits)
struct Entry {
    uint32_t key;
    int16_t value, eval;
    int16_t move;
    uint8_t depth, genBound;
};
static_assert(sizeof(Entry) == 12);
struct Bucket {
    std::array<Entry, 5> entry;
    uint32_t pad;
};
static_assert(sizeof(Bucket) == 64);

int toTable(int v, int ply) { return v > WinBound ? v + ply : v < -WinBound ? v - ply : v; }
int fromTable(int v, int ply) { return v > WinBound ? v - ply : v < -WinBound ? v + ply : v; }

struct Move {
    int16_t cell;
    int32_t score;
};

struct Ply {
    std::array<Move, MaxStones> moves;
    int16_t killer[2];
    std::array<int16_t, MaxPly> pv;
    int pvLength;
};

} // namespace

int winDistance(int value) {
    if (value > WinBound) return (Win - value) / 2 + 1;
    if (value < -WinBound) return -((Win + value) / 2 + 1);
    return 0;
}

struct Searcher::Impl {
    Bucket *table = nullptr;
    size_t buckets = 0;
    uint8_t generation = 0;
    std::array<std::array<int32_t, PaddedCells>, 2> history{};
    std::array<Ply, MaxPly + 2> stack{};
    std::array<std::array<int8_t, 64>, 64> reduction{};

    PatternBoard *b = nullptr;
    Limits limits;
    int64_t nodes = 0;
    int selDepth = 0;
    bool rootImproved = false; ///< a later root move beat the first in this iteration
    bool stopped = false;

    SearchParams params;

    Impl() { setUp(); }
    // The tunables are read once a search, so a change between searches takes effect.
    void setUp() {
        params = searchParams();
        const double base = params.reductionBase / 100.0, divisor = params.reductionDivisor / 100.0;
        for (int d = 1; d < 64; ++d)
            for (int m = 1; m < 64; ++m)
                reduction[size_t(d)][size_t(m)] =
                    int8_t(std::lround(base + std::log(d) * std::log(m) / divisor));
    }
    ~Impl() { release(); }
    void release() {
        if (table) releaseZeroed(table, buckets * sizeof(Bucket));
        table = nullptr;
        buckets = 0;
    }

    // --- Transposition table ---------------------------------------------------------------
    Entry *probe(uint64_t key, bool &hit) {
        Bucket &bucket = table[key & (buckets - 1)];
        const auto k = uint32_t(key >> 32);
        for (Entry &e : bucket.entry)
            if (e.key == k && e.genBound != 0) {
                hit = true;
                return &e;
            }
        hit = false;
        // Replace the entry of least worth: shallow and from older searches.
        Entry *worst = &bucket.entry[0];
        auto worth = [&](const Entry &e) {
            const int age = (generation - (e.genBound >> 2)) & 63;
            return int(e.depth) - 8 * age;
        };
        for (Entry &e : bucket.entry)
            if (worth(e) < worth(*worst)) worst = &e;
        return worst;
    }
    // Whether an entry's value settles the window; the value, counted from this node, in v.
    static bool cutsOff(const Entry &e, int ply, int alpha, int beta, int &v) {
        v = fromTable(e.value, ply);
        const auto bound = Bound(e.genBound & 3);
        return bound == BoundExact || (bound == BoundLower && v >= beta) ||
               (bound == BoundUpper && v <= alpha);
    }
    void store(Entry *e, uint64_t key, int value, int eval, int move, int depth, Bound bound,
               int ply) {
        e->key = uint32_t(key >> 32);
        e->value = int16_t(toTable(value, ply));
        e->eval = int16_t(eval);
        e->move = int16_t(move);
        e->depth = uint8_t(std::clamp(depth, 0, 255));
        e->genBound = uint8_t((generation << 2) | bound);
    }

    // --- Limits ----------------------------------------------------------------------------
    bool outOfTime() {
        if (stopped) return true;
        if ((nodes & CheckEvery) != 0) return false;
        if (limits.maxNodes > 0 && nodes >= limits.maxNodes) stopped = true;
        if (limits.maximumMs >= 0 && processClockMs() - limits.clockOrigin >= limits.maximumMs)
            stopped = true;
        if (stopRequested()) stopped = true;
        return stopped;
    }

    // --- Moves -----------------------------------------------------------------------------
    // The single cell that stops his five, or NoCell when he has two (the game is lost).
    int blockOfFive(Colour them) const {
        int block = NoCell, found = 0;
        b->fivePoints(them).forEach([&](int p) {
            ++found;
            block = p;
        });
        return found == 1 ? block : NoCell;
    }

    // Answers to his open three: own fours, and those of his four points after which he has
    // no open-four point left. Returns the count.
    int defenceMoves(Move *out) {
        const Colour us = b->toMove(), them = other(us);
        int n = 0;
        b->fourPoints(us).forEach([&](int p) { out[n++] = {int16_t(p), 0}; });
        b->fourPoints(them).forEach([&](int p) {
            if (b->fourPoints(us).test(p)) return;
            b->place(p);
            const bool stops = b->count(them, Flex4) == 0;
            b->undo();
            if (stops) out[n++] = {int16_t(p), 0};
        });
        return n;
    }

    int allMoves(Move *out) const {
        int n = 0;
        for (int y = 0; y < Side; ++y)
            for (int p = padded(0, y), end = p + Side; p < end; ++p)
                if (b->isNear(p)) out[n++] = {int16_t(p), 0};
        return n;
    }

    void scoreMoves(Move *moves, int n, int ttMove, int ply) {
        const Colour us = b->toMove();
        const Ply &s = stack[size_t(ply)];
        for (int i = 0; i < n; ++i) {
            const int p = moves[i].cell;
            int score = b->orderScore(p) + history[us][size_t(p)] / 64;
            if (p == ttMove)
                score = 1 << 30;
            else if (p == s.killer[0])
                score += 300;
            else if (p == s.killer[1])
                score += 200;
            moves[i].score = score;
        }
    }

    // Brings the best of moves[i..n) to position i; ties go to the lower cell.
    static void pickBest(Move *moves, int i, int n) {
        int best = i;
        for (int j = i + 1; j < n; ++j)
            if (moves[j].score > moves[best].score ||
                (moves[j].score == moves[best].score && moves[j].cell < moves[best].cell))
                best = j;
        std::swap(moves[i], moves[best]);
    }

    void updatePv(int ply, int move) {
        Ply &s = stack[size_t(ply)];
        const Ply &child = stack[size_t(ply + 1)];
        s.pv[0] = int16_t(move);
        const int len = std::min(child.pvLength, MaxPly - 1);
        std::copy_n(child.pv.begin(), len, s.pv.begin() + 1);
        s.pvLength = len + 1;
    }

    // Wins the side to move holds by rule when he has no four to answer with: an open four
    // (five next), or a four with an open three or two open threes (an open four next, as
    // his block cannot touch the other line). 0 when there is none.
    int threatWin(Colour us, Colour them, int ply) const {
        if (b->fourPoints(them).any()) return 0;
        if (b->count(us, Flex4)) return Win - ply - 2;
        if (ThreatWins && (b->count(us, Block4Flex3) || b->count(us, Flex3x2)))
            return Win - ply - 4;
        return 0;
    }

    // --- Quiescence: fours only -------------------------------------------------------------
    int quiesce(int alpha, int beta, int ply, int qply) {
        if (ply >= MaxPly - 2) return b->evaluate();
        ++nodes;
        stack[size_t(ply)].pvLength = 0;
        selDepth = std::max(selDepth, ply);
        if (outOfTime()) return 0;
        const Colour us = b->toMove(), them = other(us);
        if (b->count(us, Five)) return Win - ply;
        if (b->count(them, Five)) {
            const int block = blockOfFive(them);
            if (block == NoCell) return -(Win - ply - 1);
            b->place(block);
            const int v = -quiesce(-beta, -alpha, ply + 1, qply + 1);
            b->undo();
            if (v > alpha && v < beta) updatePv(ply, block);
            return v;
        }
        if (const int v = threatWin(us, them, ply)) return v;
        // The table: a search by fours meets the same position through fours in another order.
        const uint64_t key = b->hash();
        bool hit = false;
        Entry *entry = probe(key, hit);
        if (int v; hit && cutsOff(*entry, ply, alpha, beta, v)) return v;
        const int eval = hit ? entry->eval : b->evaluateWithin(alpha, beta, params.networkGate);
        const int alphaBefore = alpha;
        int best = eval;
        if (best >= beta || qply >= params.quiescencePlies || ply >= MaxPly - 2) return best;
        alpha = std::max(alpha, best);
        // Own fours in cell order: each forces his block, so the line stays narrow.
        std::array<int16_t, 64> fours;
        int n = 0;
        b->fourPoints(us).forEach([&](int p) {
            if (n < int(fours.size()) && b->cellPattern(us, p) >= QuiescenceFour)
                fours[size_t(n++)] = int16_t(p);
        });
        int bestMove = NoMove;
        for (int i = 0; i < n; ++i) {
            b->place(fours[size_t(i)]);
            const int v = -quiesce(-beta, -alpha, ply + 1, qply + 1);
            b->undo();
            if (stopped) return 0;
            if (v > best) {
                best = v;
                if (v > alpha) {
                    alpha = v;
                    bestMove = fours[size_t(i)];
                    updatePv(ply, fours[size_t(i)]);
                    if (v >= beta) break;
                }
            }
        }
        const Bound bound = best >= beta         ? BoundLower
                            : best > alphaBefore ? BoundExact
                                                 : BoundUpper;
        if (!hit || entry->depth == 0) store(entry, key, best, eval, bestMove, 0, bound, ply);
        return best;
    }

    // --- The main search --------------------------------------------------------------------
    int search(int alpha, int beta, int depth, int ply) {
        if (ply >= MaxPly - 2) return b->evaluate();
        const bool pvNode = beta - alpha > 1;
        Ply &s = stack[size_t(ply)];
        s.pvLength = 0;
        const Colour us = b->toMove(), them = other(us);
        // 1. Forced results: own five, his five (one block, or lost), own open four.
        if (b->count(us, Five)) return Win - ply;
        if (b->count(them, Five)) {
            ++nodes;
            if (outOfTime()) return 0;
            const int block = blockOfFive(them);
            if (block == NoCell) return -(Win - ply - 1);
            // The only answer is searched to the same depth: a four costs no depth.
            b->place(block);
            const int v = -search(-beta, -alpha, depth, ply + 1);
            b->undo();
            updatePv(ply, block);
            return v;
        }
        if (const int v = threatWin(us, them, ply)) return v;
        const bool hisThree = b->count(them, Flex4) > 0;
        // His open three at the horizon is answered, not stood on: one more ply.
        if (depth <= 0 && hisThree && ply < MaxPly / 2) depth = params.threeHorizonPlies;
        if (depth <= 0) return quiesce(alpha, beta, ply, 0);
        ++nodes;
        selDepth = std::max(selDepth, ply);
        if (outOfTime()) return 0;

        // 2. Mate distance: no result here beats a win three plies on.
        alpha = std::max(alpha, -(Win - ply - 1));
        beta = std::min(beta, Win - ply - 2);
        if (alpha >= beta) return alpha;

        // 3. The table.
        const uint64_t key = b->hash();
        bool hit = false;
        Entry *entry = probe(key, hit);
        int ttMove = hit ? entry->move : NoMove;
        if (int v; hit && !pvNode && entry->depth >= depth && cutsOff(*entry, ply, alpha, beta, v))
            return v;
        const int eval = hit ? entry->eval : b->evaluate();

        // 4. Off the principal line, with no open three of his to answer, a static value far
        // above beta stands.
        if (!pvNode && !hisThree && std::abs(alpha) < WinBound && depth <= params.staticNullDepth &&
            eval - params.staticNullMargin * depth >= beta)
            return eval;
        // Deeper, such a node is searched a ply shallower.
        if (params.failHighMargin > 0 && !pvNode && !hisThree && depth > params.staticNullDepth &&
            std::abs(beta) < WinBound && eval - params.failHighMargin >= beta)
            --depth;

        // 5. Moves: answers to his open three, or every near cell.
        Move *moves = s.moves.data();
        int n = hisThree ? defenceMoves(moves) : allMoves(moves);
        if (n == 0) {
            if (hisThree) return -(Win - ply - 3);
            return 0; // a full board: a draw
        }
        scoreMoves(moves, n, ttMove, ply);
        stack[size_t(ply + 1)].killer[0] = stack[size_t(ply + 1)].killer[1] = NoMove;

        int best = -Win, bestMove = NoMove, played = 0;
        const int alphaBefore = alpha;
        for (int i = 0; i < n; ++i) {
            pickBest(moves, i, n);
            const int m = moves[i].cell;
            const CellPattern own = b->cellPattern(us, m), his = b->cellPattern(them, m);
            const bool tactical =
                hisThree || own >= TacticalOwn || his >= TacticalHis || m == ttMove;
            // Late quiet moves near the horizon, neither making nor stopping a three, are
            // not searched.
            if (!pvNode && !tactical && depth <= params.moveCountDepth &&
                played >= params.moveCountBase + depth * depth && best > -WinBound && own < Flex3 &&
                his < Flex3)
                continue;
            ++played;
            const int newDepth = depth - 1;
            b->place(m);
            int v;
            if (played == 1) {
                v = -search(-beta, -alpha, newDepth, ply + 1);
            } else {
                // Late-move reductions, then a null-window search, then the full window.
                int r = 0;
                if (depth >= 2 && !tactical)
                    r = std::clamp<int>(
                        reduction[size_t(std::min(depth, 63))][size_t(std::min(played, 63))] +
                            (pvNode ? 0 : params.nonPvReduction),
                        0, depth - 1);
                v = -search(-alpha - 1, -alpha, newDepth - r, ply + 1);
                if (v > alpha && r > 0) v = -search(-alpha - 1, -alpha, newDepth, ply + 1);
                if (v > alpha && v < beta) v = -search(-beta, -alpha, newDepth, ply + 1);
            }
            b->undo();
            if (stopped) return 0;
            if (v > best) {
                best = v;
                if (v > alpha) {
                    bestMove = m;
                    alpha = v;
                    updatePv(ply, m);
                    if (v >= beta) {
                        if (!tactical) {
                            if (s.killer[0] != m) {
                                s.killer[1] = s.killer[0];
                                s.killer[0] = int16_t(m);
                            }
                            history[us][size_t(m)] += depth * depth;
                        }
                        break;
                    }
                }
            }
        }
        const Bound bound = best >= beta         ? BoundLower
                            : best > alphaBefore ? BoundExact
                                                 : BoundUpper;
        store(entry, key, best, eval, bestMove != NoMove ? bestMove : ttMove, depth, bound, ply);
        return best;
    }

    // --- The root ---------------------------------------------------------------------------
    Result think(PatternBoard &board, const Limits &l, Observer *observer) {
        setUp();
        b = &board;
        limits = l;
        nodes = 0;
        stopped = false;
        generation = uint8_t((generation + 1) & 63);
        for (auto &side : history)
            for (int32_t &h : side)
                h /= 4;
        Result result;
        const Colour us = b->toMove(), them = other(us);
        auto decided = [&](int p, const char *why, int value) {
            result.move = p;
            result.reason = why;
            result.last.value = value;
            result.last.pvLength = 1;
            result.last.pv[0] = int16_t(p);
            return result;
        };
        // 1. Moves that need no search.
        if (b->stones() == 0) return decided(padded(Side / 2 - 1, Side / 2 - 1), "opening", 0);
        int forced = NoCell;
        b->fivePoints(us).forEach([&](int p) { forced = forced == NoCell ? p : forced; });
        if (forced != NoCell) return decided(forced, "five", Win - 0);
        b->fivePoints(them).forEach([&](int p) { forced = forced == NoCell ? p : forced; });
        const bool mustBlock = forced != NoCell;
        if (!mustBlock && !b->fourPoints(them).any()) {
            for (int p = 0; p < PaddedCells && forced == NoCell; ++p)
                if (b->isEmpty(p) && b->cellPattern(us, p) == Flex4) forced = p;
            if (forced != NoCell) return decided(forced, "four", Win - 2);
            // A four with an open three, then two open threes: his block leaves an open four.
            for (const CellPattern cp : {Block4Flex3, Flex3x2})
                for (int p = 0; ThreatWins && p < PaddedCells && forced == NoCell; ++p)
                    if (b->isEmpty(p) && b->cellPattern(us, p) == cp) forced = p;
            if (forced != NoCell) return decided(forced, "threat", Win - 4);
        }

        // 2. The root moves: the block, the answers to his open three, or every near cell.
        Ply &root = stack[0];
        int n = 0;
        if (mustBlock)
            root.moves[size_t(n++)] = {int16_t(forced), 0};
        else if (b->count(them, Flex4))
            n = defenceMoves(root.moves.data());
        if (n == 0) n = allMoves(root.moves.data());
        if (n == 0) { // no stone near any empty cell cannot happen on a legal board; be safe
            for (int p = 0; p < PaddedCells && n == 0; ++p)
                if (b->isEmpty(p)) root.moves[size_t(n++)] = {int16_t(p), 0};
        }
        scoreMoves(root.moves.data(), n, NoMove, 0);
        std::stable_sort(root.moves.begin(), root.moves.begin() + n,
                         [](const Move &a, const Move &c) {
                             return a.score > c.score || (a.score == c.score && a.cell < c.cell);
                         });
        result.move = root.moves[0].cell;
        result.last.pv[0] = root.moves[0].cell;
        result.last.pvLength = 1;
        if (n == 1 || (limits.maximumMs == 0)) return result;

        // 3. Iterative deepening with an aspiration window around the last value.
        int previous = 0, stableIterations = 0;
        const int maxDepth =
            limits.maxDepth > 0 ? std::min(limits.maxDepth, MaxPly - 8) : MaxPly - 8;
        for (int depth = 1; depth <= maxDepth; ++depth) {
            selDepth = 0;
            int window = params.aspirationWindow;
            int alpha = -Win, beta = Win;
            if (depth >= 4 && std::abs(previous) < WinBound) {
                alpha = previous - window;
                beta = previous + window;
            }
            int value = 0;
            for (;;) {
                value = rootSearch(alpha, beta, depth, n);
                if (stopped) break;
                if (value <= alpha) {
                    alpha = std::max(-Win, value - window);
                    window *= 2;
                } else if (value >= beta) {
                    beta = std::min(int(Win), value + window);
                    window *= 2;
                } else {
                    break;
                }
            }
            if (stopped) {
                // A move searched to the full depth that beat the first one is kept.
                if (rootImproved && root.pv[0] != result.move) {
                    result.move = root.pv[0];
                    result.last.pvLength = root.pvLength;
                    std::copy_n(root.pv.begin(), root.pvLength, result.last.pv.begin());
                }
                break;
            }
            const int bestMove = root.pv[0];
            stableIterations = bestMove == result.move ? stableIterations + 1 : 0;
            result.move = bestMove;
            Iteration &it = result.last;
            it.depth = depth;
            it.selDepth = selDepth;
            it.value = value;
            it.nodes = nodes;
            it.ms = processClockMs() - limits.clockOrigin;
            it.pvLength = root.pvLength;
            std::copy_n(root.pv.begin(), root.pvLength, it.pv.begin());
            if (observer) observer->iterationDone(it);
            previous = value;
            if (std::abs(value) > WinBound && depth >= 4) break; // proven: deeper changes nothing
            // 4. Time: stop early when the best move holds, go on when it has just changed.
            if (limits.optimumMs >= 0) {
                double share = stableIterations >= 4 ? 0.8 : stableIterations == 0 ? 1.3 : 1.0;
                if (double(it.ms) >= share * double(limits.optimumMs)) break;
            }
        }
        return result;
    }

    // The root: every move, the best first; the root list is kept in the order of the last
    // iteration's values so the next one starts with the best.
    int rootSearch(int alpha, int beta, int depth, int n) {
        Ply &root = stack[0];
        root.pvLength = 0;
        rootImproved = false;
        stack[1].killer[0] = stack[1].killer[1] = NoMove;
        int best = -Win;
        for (int i = 0; i < n; ++i) {
            const int m = root.moves[size_t(i)].cell;
            b->place(m);
            int v;
            if (i == 0) {
                v = -search(-beta, -alpha, depth - 1, 1);
            } else {
                v = -search(-alpha - 1, -alpha, depth - 1, 1);
                if (v > alpha && v < beta) v = -search(-beta, -alpha, depth - 1, 1);
            }
            b->undo();
            if (stopped) break;
            if (v > best) {
                best = v;
                if (v > alpha) {
                    alpha = v;
                    updatePv(0, m);
                    rootImproved = i > 0;
                    // The new best goes first, the others keep their order.
                    std::rotate(root.moves.begin(), root.moves.begin() + i,
                                root.moves.begin() + i + 1);
                    if (v >= beta) break;
                }
            }
        }
        return best;
    }
};

Searcher::Searcher() : impl_(std::make_unique<Impl>()) {}
Searcher::~Searcher() = default;

bool Searcher::allocate(size_t bytes) {
    size_t buckets = 1;
    while (buckets * 2 * sizeof(Bucket) <= bytes)
        buckets *= 2;
    impl_->release();
    impl_->table = static_cast<Bucket *>(allocateZeroed(buckets * sizeof(Bucket)));
    if (!impl_->table) return false;
    impl_->buckets = buckets;
    // Touch every page now, so no search pays for first touches on its clock.
    std::memset(static_cast<void *>(impl_->table), 0, buckets * sizeof(Bucket));
    return true;
}

void Searcher::clear() {
    if (impl_->table) std::memset(impl_->table, 0, impl_->buckets * sizeof(Bucket));
    for (auto &side : impl_->history)
        side.fill(0);
    impl_->generation = 0;
}

Result Searcher::think(PatternBoard &board, const Limits &limits, Observer *observer) {
    if (!impl_->table) allocate(size_t(1) << 20);
    return impl_->think(board, limits, observer);
}

} // namespace pentad::tournament

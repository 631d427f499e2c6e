#include "search/shape_search.h"

#include <algorithm>
#include <memory>

#include "platform/platform.h"
#include "search/shape_board.h"

namespace pentad {
namespace {

constexpr int MaxShapePly = 60;     ///< deeper nodes are leaves, whatever their depth
constexpr int NodeWidth = 12;       ///< moves a node searches when it need not defend
constexpr int HorizonVcfNodes = 64; ///< nodes of a search by fours at the horizon
constexpr int HorizonVcfDepth = 8;  ///< fours it plays at most
constexpr int TableBits = 20;       ///< 2^20 entries of 12 bytes
constexpr int AttackWeight = 5;     ///< ordering: own shapes against his, 5 : 4
constexpr int DefenceWeight = 4;
constexpr int TacticalScore = 5 * 48; ///< ordering score of an own open three: no reduction
constexpr int EvalOwnWeight = 6;      ///< evaluation: the side to move's shapes count 6 : 5
constexpr int EvalTheirWeight = 5;
constexpr int MaxStaticValue = 20000;
constexpr int ThreatPlies = 4;       ///< extensions end this many plies past the iteration's depth
constexpr int HistoryShift = 2;      ///< ordering: a quiet move's cut-offs, scaled down
constexpr int MaxHistoryBonus = 300; ///< ... and capped below an open three's score
constexpr int TtBonus = 1 << 28, FirstKillerBonus = 1 << 26, SecondKillerBonus = 1 << 25;

/// The padded index of every board cell, in cell order.
constexpr std::array<int16_t, CellCount> BoardCells = [] {
    std::array<int16_t, CellCount> cells{};
    for (int c = 0; c < CellCount; ++c)
        cells[size_t(c)] = int16_t(paddedOf(c));
    return cells;
}();

enum ShapeBound : uint8_t { UpperShape = 1, LowerShape = 2, ExactShape = 3 };

/// One stored position: | check 32 | value 16 | move 16 | depth 8 | bound 8 | search 16 |.
struct ShapeEntry {
    uint32_t check;
    int16_t value;
    int16_t move; ///< padded cell, -1 none
    int8_t depth;
    uint8_t bound;
    uint16_t search; ///< the search that stored it: older entries read as empty
};
static_assert(sizeof(ShapeEntry) == 12);

struct ScoredMove {
    int16_t p;
    int32_t score;
};
bool byScore(const ScoredMove &a, const ScoredMove &b) { return a.score > b.score; }

// Win values count from the root in the search and from the node in the table.
int toTable(int v, int ply) {
    return v > ShapeWinBound ? v + ply : v < -ShapeWinBound ? v - ply : v;
}
int fromTable(int v, int ply) {
    return v > ShapeWinBound ? v - ply : v < -ShapeWinBound ? v + ply : v;
}

class ShapeSearcher {
public:
    ShapeSearcher() : table_(std::make_unique<ShapeEntry[]>(size_t(1) << TableBits)) {}
    ShapeSearchResult run(EngineState &e, const ShapeSearchLimits &limits,
                          SearchObserver *observer);

private:
    int search(int depth, int alpha, int beta, int ply, Side us);
    int vcf(Side att, int depth, int ply);
    /// The static value, kept clear of the win values (and of the table's 16 bits) however
    /// crowded the board.
    int evaluate(Side us) const {
        const int v =
            (board_.total(us) * EvalOwnWeight - board_.total(opponent(us)) * EvalTheirWeight) /
            EvalTheirWeight;
        return std::clamp(v, -MaxStaticValue, MaxStaticValue);
    }
    /// Ordering score of a cell: own shapes against his, weighted for attack.
    int32_t orderScore(int p, Side us) const {
        return board_.value(p, us) * AttackWeight + board_.value(p, opponent(us)) * DefenceWeight;
    }
    /// When he makes an open four next, only our fours and the cells of his threat (its open
    /// four points and the far ends of his three) can answer it.
    ShapeSet threatAnswers(Side us) const {
        ShapeSet answers = board_.fours(us);
        answers |= board_.openFours(opponent(us));
        answers |= board_.fours(opponent(us));
        return answers;
    }
    int generate(int ply, Side us, int ttMove, bool &defending);
    int rootMoves(const EngineState &e, Side us);
    void pick(int ply, int i, int n);
    void updatePv(int ply, int p) {
        pv_[size_t(ply)][size_t(ply)] = int16_t(p);
        for (int i = ply + 1; i < pvLength_[size_t(ply + 1)]; ++i)
            pv_[size_t(ply)][size_t(i)] = pv_[size_t(ply + 1)][size_t(i)];
        pvLength_[size_t(ply)] = std::max(pvLength_[size_t(ply + 1)], ply + 1);
    }
    void checkLimits() {
        if (stopRequested() || (limits_.maxNodes > 0 && nodes_ >= limits_.maxNodes) ||
            (limits_.deadline >= 0 && processClockMs() >= limits_.deadline))
            stop_ = true;
    }

    ShapeBoard board_;
    std::unique_ptr<ShapeEntry[]> table_;
    uint16_t searchStamp_ = 0;
    ShapeSearchLimits limits_;
    int64_t nodes_ = 0;
    int vcfNodes_ = 0;
    struct VcfEntry {
        uint32_t check;
        uint8_t length; ///< plies to the five, 0 none
        uint8_t known;
    };
    static constexpr size_t VcfCacheSize = size_t(1) << 16;
    std::array<VcfEntry, VcfCacheSize> vcfCache_{};
    int cachedVcf(Side att, int ply);
    int extensionPly_ = 0; ///< horizon nodes this deep are not extended
    bool stop_ = false;
    std::array<std::array<ScoredMove, CellCount>, MaxShapePly + 2> moves_{};
    std::array<std::array<int16_t, 2>, MaxShapePly + 2> killers_{};
    /// Cut-offs each side's moves made this search, weighted by depth squared.
    std::array<std::array<int32_t, ShapeCells>, 2> history_{};
    std::array<std::array<int16_t, MaxShapePly + 2>, MaxShapePly + 2> pv_{};
    std::array<int, MaxShapePly + 2> pvLength_{};
    std::array<int, CellCount> rootScore_{};
    std::array<uint8_t, ShapeCells> rootTactical_{}; ///< root moves never searched shallower
};

int ShapeSearcher::generate(int ply, Side us, int ttMove, bool &defending) {
    ScoredMove *out = moves_[size_t(ply)].data();
    int n = 0;
    auto add = [&](int p) {
        int32_t s = orderScore(p, us);
        if (p == ttMove)
            s += TtBonus;
        else if (p == killers_[size_t(ply)][0])
            s += FirstKillerBonus;
        else if (p == killers_[size_t(ply)][1])
            s += SecondKillerBonus;
        else
            s += std::min(history_[size_t(us - 1)][size_t(p)] >> HistoryShift, MaxHistoryBonus);
        out[n++] = {int16_t(p), s};
    };
    defending = !board_.openFours(opponent(us)).empty();
    if (defending) {
        threatAnswers(us).forEach(add);
        return n;
    }
    for (int p : BoardCells)
        if (board_.at(p) == Empty && board_.nearCount(p) > 0) add(p);
    return n;
}

void ShapeSearcher::pick(int ply, int i, int n) {
    auto &m = moves_[size_t(ply)];
    int best = i;
    for (int j = i + 1; j < n; ++j)
        if (m[size_t(j)].score > m[size_t(best)].score) best = j;
    std::swap(m[size_t(i)], m[size_t(best)]);
}

// Plies to a win by fours for `att` to move, 0 when none turns up within the small budget.
int ShapeSearcher::vcf(Side att, int depth, int ply) {
    const Side def = opponent(att);
    if (!board_.fives(att).empty()) return 1;
    const int defFives = board_.fives(def).countUpToTwo();
    if (defFives == 0 && !board_.openFours(att).empty()) return 3;
    if (defFives >= 2 || depth == 0 || ply >= MaxShapePly - 2 || ++vcfNodes_ > HorizonVcfNodes)
        return 0;
    ShapeSet tries;
    if (defFives == 1) {
        // His five point must be blocked first, and the block must be a four itself.
        const int p = board_.fives(def).first();
        if (!board_.fours(att).test(p)) return 0;
        tries.set(p);
    } else {
        tries = board_.fours(att);
    }
    int found = 0;
    tries.any([&](int p) {
        board_.place(p, att);
        if (board_.fives(def).empty()) {
            if (board_.fives(att).countUpToTwo() >= 2) {
                found = 3;
            } else if (const int block = board_.fives(att).first(); block >= 0) {
                board_.place(block, def);
                const int len = vcf(att, depth - 1, ply + 2);
                board_.remove(block);
                if (len) found = len + 2;
            }
        }
        board_.remove(p);
        return found != 0;
    });
    return found;
}

// The search by fours of a position, remembered by its key: the horizon asks for the same
// positions again and again through transpositions.
int ShapeSearcher::cachedVcf(Side att, int ply) {
    const uint64_t key = board_.key() ^ (att == X ? 0 : 0x5bd1e9955bd1e995ull);
    VcfEntry &entry = vcfCache_[size_t(key & (VcfCacheSize - 1))];
    if (entry.check == uint32_t(key >> 32) && entry.known) return entry.length;
    vcfNodes_ = 0;
    const int length = vcf(att, HorizonVcfDepth, ply);
    entry = {uint32_t(key >> 32), uint8_t(length), 1};
    return length;
}

int ShapeSearcher::search(int depth, int alpha, int beta, int ply, Side us) {
    const Side them = opponent(us);
    pvLength_[size_t(ply)] = ply;
    if ((++nodes_ & 1023) == 0) checkLimits();
    if (stop_) return 0;
    // 1. Fives and open fours decide at once; his lone five point must be blocked, at the
    // same depth, so a line of fours costs the attacker one ply a four.
    if (!board_.fives(us).empty()) return ShapeWin - ply;
    const int theirFives = board_.fives(them).countUpToTwo();
    if (theirFives >= 2) return -(ShapeWin - ply - 1);
    if (theirFives == 0 && !board_.openFours(us).empty()) return ShapeWin - ply - 2;
    if (ply >= MaxShapePly) return evaluate(us);
    if (theirFives == 1) {
        const int p = board_.fives(them).first();
        board_.place(p, us);
        const int v = -search(depth, -beta, -alpha, ply + 1, them);
        board_.remove(p);
        updatePv(ply, p);
        return v;
    }
    // 2. A win by fours ends the node; at the horizon, a win by fours he would have if we
    // passed makes the node one ply deeper, since only a block or a four of ours can help.
    if (depth <= 0) {
        if (!board_.fours(us).empty())
            if (const int len = cachedVcf(us, ply)) return ShapeWin - ply - len;
        if (ply >= extensionPly_ || board_.fours(them).empty()) return evaluate(us);
        if (!cachedVcf(them, ply)) return evaluate(us);
        depth = 1;
    }
    // 3. The table.
    const bool pvNode = beta - alpha > 1;
    const uint64_t key = board_.key();
    ShapeEntry &entry = table_[size_t(key & ((uint64_t(1) << TableBits) - 1))];
    int ttMove = -1;
    if (entry.check == uint32_t(key >> 32) && entry.bound != 0 && entry.search == searchStamp_) {
        ttMove = entry.move;
        const int v = fromTable(entry.value, ply);
        if (!pvNode && entry.depth >= depth &&
            (entry.bound == ExactShape || (entry.bound == LowerShape && v >= beta) ||
             (entry.bound == UpperShape && v <= alpha)))
            return v;
    }
    // 4. The moves, best first; late quiet moves are searched shallower first.
    bool defending = false;
    const int n = generate(ply, us, ttMove, defending);
    if (n == 0) return 0;
    const int width = defending ? n : std::min(n, NodeWidth);
    const int alphaStart = alpha;
    int best = -ShapeWin, bestMove = -1;
    for (int i = 0; i < width; ++i) {
        pick(ply, i, n);
        const ScoredMove m = moves_[size_t(ply)][size_t(i)];
        const bool tactical = defending || m.score >= TacticalScore;
        board_.place(m.p, us);
        // A new open three (or two fours) leaves him only the answers to it: searched one
        // ply deeper, such lines read as far as a search by threats would.
        const int newDepth = depth - 1 + (ply < extensionPly_ && !board_.openFours(us).empty());
        int v;
        if (i == 0) {
            v = -search(newDepth, -beta, -alpha, ply + 1, them);
        } else {
            const int r = !tactical && depth >= 3 && i >= 3 ? 1 + (i >= 10) : 0;
            v = -search(newDepth - r, -alpha - 1, -alpha, ply + 1, them);
            if (v > alpha && r > 0) v = -search(newDepth, -alpha - 1, -alpha, ply + 1, them);
            if (v > alpha && v < beta) v = -search(newDepth, -beta, -alpha, ply + 1, them);
        }
        board_.remove(m.p);
        if (stop_) return 0;
        if (v > best) {
            best = v;
            bestMove = m.p;
            if (v > alpha) {
                alpha = v;
                updatePv(ply, m.p);
                if (alpha >= beta) {
                    auto &k = killers_[size_t(ply)];
                    if (k[0] != m.p) k = {m.p, k[0]};
                    history_[size_t(us - 1)][size_t(m.p)] += depth * depth;
                    break;
                }
            }
        }
    }
    entry = {uint32_t(key >> 32),
             int16_t(toTable(best, ply)),
             int16_t(bestMove),
             int8_t(std::min(depth, 127)),
             uint8_t(best >= beta        ? LowerShape
                     : best > alphaStart ? ExactShape
                                         : UpperShape),
             searchStamp_};
    return best;
}

// The root's moves: a five, a block of his five, an open four, the answers to his open-four
// threat, else every near cell; within the filter when it leaves any.
int ShapeSearcher::rootMoves(const EngineState &e, Side us) {
    const Side them = opponent(us);
    ShapeSet only;
    bool restricted = true;
    if (!board_.fives(us).empty())
        only.set(board_.fives(us).first());
    else if (!board_.fives(them).empty())
        only.set(board_.fives(them).first());
    else if (!board_.openFours(us).empty())
        only.set(board_.openFours(us).first());
    else if (!board_.openFours(them).empty())
        only = threatAnswers(us);
    else
        restricted = false;
    ShapeSet filter;
    for (int i = 1; i <= e.RootMoveFilter.count; ++i) {
        const int c = e.RootMoveFilter.cells[size_t(i)];
        if (c >= 0 && c < CellCount && board_.at(paddedOf(c)) == Empty) filter.set(paddedOf(c));
    }
    auto &m = moves_[0];
    int n = 0;
    for (int pass = 0; pass < 2 && n == 0; ++pass) {
        // The filter first; when no filtered cell is left, the unfiltered moves.
        const bool useFilter = pass == 0 && !filter.empty();
        if (pass == 1 && filter.empty()) break;
        for (int p : BoardCells) {
            if (board_.at(p) != Empty) continue;
            // A filtered cell is searched wherever it lies: the solvers chose it.
            if (useFilter    ? !filter.test(p) || (restricted && !only.test(p))
                : restricted ? !only.test(p)
                             : board_.nearCount(p) == 0 && board_.stones() > 0)
                continue;
            const int32_t score = orderScore(p, us);
            m[size_t(n++)] = {int16_t(p), score};
            rootTactical_[size_t(p)] = score >= TacticalScore;
        }
    }
    std::stable_sort(m.begin(), m.begin() + n, byScore);
    return n;
}

ShapeSearchResult ShapeSearcher::run(EngineState &e, const ShapeSearchLimits &limits,
                                     SearchObserver *observer) {
    ShapeSearchResult result;
    limits_ = limits;
    nodes_ = 0;
    stop_ = false;
    board_.reset(e.Board);
    // Entries of earlier searches no longer count; the table is cleared only when the
    // stamps come round again, not 12 MB at every move.
    if (++searchStamp_ == 0) {
        std::fill(table_.get(), table_.get() + (size_t(1) << TableBits), ShapeEntry{});
        searchStamp_ = 1;
    }
    vcfCache_.fill(VcfEntry{});
    for (auto &k : killers_)
        k = {-1, -1};
    for (auto &h : history_)
        h.fill(0);
    const Side us = e.MoveNumber % 2 == 1 ? X : O, them = opponent(us);
    const int n = rootMoves(e, us);
    if (n == 0) return result;
    auto publish = [&](int depth, int value) {
        result.move = cellOf(moves_[0][0].p);
        result.value = value;
        result.depth = depth;
        result.order.count = int16_t(n);
        for (int i = 0; i < n; ++i)
            result.order.cells[size_t(i + 1)] = int16_t(cellOf(moves_[0][size_t(i)].p));
    };
    publish(0, 0);
    for (int depth = 1; depth <= limits.maxDepth; ++depth) {
        int alpha = -ShapeWin - 1, best = -ShapeWin - 1, bestIndex = -1;
        extensionPly_ = depth + ThreatPlies;
        for (int i = 0; i < n; ++i) {
            const ScoredMove m = moves_[0][size_t(i)];
            board_.place(m.p, us);
            int v;
            if (i == 0) {
                v = -search(depth - 1, -ShapeWin - 1, -alpha, 1, them);
            } else {
                const int r = depth >= 4 && i >= 6 && !rootTactical_[size_t(m.p)] ? 1 : 0;
                v = -search(depth - 1 - r, -alpha - 1, -alpha, 1, them);
                if (v > alpha && r) v = -search(depth - 1, -alpha - 1, -alpha, 1, them);
                if (v > alpha) v = -search(depth - 1, -ShapeWin - 1, -alpha, 1, them);
            }
            board_.remove(m.p);
            if (stop_) break;
            rootScore_[size_t(i)] = v;
            if (v > best) {
                best = v;
                bestIndex = i;
                alpha = v;
                updatePv(0, m.p);
            }
        }
        if (stop_) {
            // A move the cut iteration searched in full and found better than the last
            // iteration's choice is the better guess.
            if (bestIndex > 0) {
                std::rotate(moves_[0].begin(), moves_[0].begin() + bestIndex,
                            moves_[0].begin() + bestIndex + 1);
                publish(result.depth, best);
            }
            break;
        }
        // Best first; a stable order keeps the earlier ranking among equal values.
        for (int i = 0; i < n; ++i)
            moves_[0][size_t(i)].score = rootScore_[size_t(i)];
        std::stable_sort(moves_[0].begin(), moves_[0].begin() + n, byScore);
        publish(depth, best);
        result.nodes = nodes_;
        e.IterationNumber = depth;
        e.BestScore = best;
        e.TotalNodes = nodes_;
        const int length = std::min(pvLength_[0], MaxPly - 1);
        e.IterationLine[0] = int16_t(length);
        for (int i = 0; i < length; ++i)
            e.IterationLine[size_t(i + 1)] = int16_t(cellOf(pv_[0][size_t(i)]));
        if (observer) observer->iterationDone(e, 0, depth);
        // A forced result does not change with depth; past the soft deadline no iteration
        // could finish.
        if (best > ShapeWinBound || best < -ShapeWinBound || n == 1) break;
        if (limits.softDeadline >= 0 && processClockMs() >= limits.softDeadline) break;
        if (limits.maxNodes > 0 && nodes_ >= limits.maxNodes) break;
    }
    result.nodes = nodes_;
    e.TotalNodes = nodes_;
    return result;
}

ShapeSearcher &searcher() {
    static ShapeSearcher instance;
    return instance;
}

} // namespace

void prepareShapeSearch() { searcher(); }

ShapeSearchResult shapeSearch(EngineState &e, const ShapeSearchLimits &limits,
                              SearchObserver *observer) {
    return searcher().run(e, limits, observer);
}

} // namespace pentad

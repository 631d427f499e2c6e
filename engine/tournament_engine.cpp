#include "engine/tournament_engine.h"

#include <algorithm>
#include <sstream>

#include "platform/platform.h"
#include "tournament/evaluation.h"
#include "tournament/network.h"
#include "tournament/params.h"
#include "tournament/pattern_board.h"
#include "tournament/search.h"

namespace pentad {
namespace {

int cellOf(int padded) {
    return tournament::rowOf(padded) * BoardSize + tournament::columnOf(padded);
}

// Depth, nodes, speed, value (or the distance of a proven result) and line of an iteration.
Thought thoughtOf(const tournament::Iteration &it) {
    Thought t;
    t.depth = it.depth;
    t.selDepth = it.selDepth;
    t.value = it.value;
    t.winIn = tournament::winDistance(it.value);
    t.nodes = it.nodes;
    t.ms = it.ms;
    t.lineLength = std::min<int>(it.pvLength, int(t.line.size()));
    for (int i = 0; i < t.lineLength; ++i)
        t.line[size_t(i)] = int16_t(cellOf(it.pv[size_t(i)]));
    if (t.lineLength > 0) t.move = t.line[0];
    std::ostringstream text;
    text << "depth " << t.depth << "-" << t.selDepth << " nodes " << t.nodes << " nps "
         << (t.ms > 0 ? t.nodes * 1000 / t.ms : 0) << " value ";
    if (t.winIn)
        text << (t.winIn > 0 ? "win in " : "loss in ") << std::abs(t.winIn);
    else
        text << t.value;
    text << " line";
    for (int i = 0; i < t.lineLength; ++i)
        text << ' ' << t.line[size_t(i)] % BoardSize << ',' << t.line[size_t(i)] / BoardSize;
    t.summary = text.str();
    return t;
}

class TournamentEngine final : public Engine {
public:
    // The pattern tables and the evaluation are built now, not on the first move's clock.
    TournamentEngine()
        : board_(std::make_unique<tournament::PatternBoard>()),
          tablesReady_(tournament::activeEvalTables(&tablesError_) != nullptr) {}

    bool newGame(const GameRules &rules, std::string &error) override {
        if (rules.size != BoardSize || rules.rule != Rule::Freestyle) {
            error = "only free-style on the 20x20 board is supported";
            return false;
        }
        position_.fill(Stone::None);
        // Each game starts from an empty table and history, so a game replays the same way
        // whatever came before it.
        searcher().clear();
        return true;
    }

    bool ready(std::string &error, std::string &note) override {
        if (!tablesReady_) {
            error = "the engine's evaluation tables are unusable: " + tablesError_;
            return false;
        }
        const int64_t base = tournamentBaseMemory();
        const int64_t bytes = tournamentTableBytes(memory_, base);
        if (bytes < 0) {
            error = "max_memory " + std::to_string(memory_) + " is below the " +
                    std::to_string(base / (1024 * 1024) + 1) + " MB the engine needs at least";
            return false;
        }
        if (size_t(bytes) != tableBytes_) {
            const bool allocated = searcher().allocate(size_t(bytes));
            tableBytes_ = allocated ? size_t(bytes) : 0;
            if (allocated && bytes != TournamentDefaultTable)
                note = "max_memory " + std::to_string(memory_) + ": transposition table of " +
                       std::to_string(bytes >> 20) + " MB";
        }
        if (tableBytes_ == 0) {
            error = "not enough memory for the transposition table";
            return false;
        }
        return true;
    }

    // The pattern board of the position with the engine's colour to move, then a search
    // within the move's times.
    Thought think(const ThinkLimits &limits, ThinkObserver *observer) override {
        const int stones =
            int(CellCount - std::count(position_.begin(), position_.end(), Stone::None));
        const tournament::Colour own = stones % 2 == 0 ? tournament::Black : tournament::White;
        std::array<char, CellCount> cells{};
        for (int c = 0; c < CellCount; ++c)
            cells[size_t(c)] = position_[size_t(c)] == Stone::None ? '-'
                               : (position_[size_t(c)] == Stone::Own) == (own == tournament::Black)
                                   ? 'X'
                                   : 'O';
        board_->setUp(cells);
        board_->setToMove(own);
        tournament::Limits searchLimits;
        searchLimits.clockOrigin = limits.clockOrigin;
        searchLimits.maxNodes = limits.maxNodes;
        searchLimits.maxDepth = std::clamp(limits.maxDepth, 0, tournament::MaxPly);
        const MoveTimes times =
            tournamentMoveTimes(limits.turnMs, limits.matchMs, limits.timeLeft, stones);
        searchLimits.optimumMs = times.optimum;
        searchLimits.maximumMs = times.maximum;
        if (limits.maxMoveMs >= 0) {
            searchLimits.optimumMs = std::min(searchLimits.optimumMs, limits.maxMoveMs);
            searchLimits.maximumMs = std::min(searchLimits.maximumMs, limits.maxMoveMs);
        }
        // With a node or depth limit the clock does not cut the search: a replayed game plays
        // the same moves.
        if (limits.maxNodes > 0 || limits.maxDepth > 0)
            searchLimits.optimumMs = searchLimits.maximumMs = -1;
        struct Progress : tournament::Observer {
            ThinkObserver *observer;
            explicit Progress(ThinkObserver *o) : observer(o) {}
            void iterationDone(const tournament::Iteration &it) override {
                if (observer) observer->progress(thoughtOf(it));
            }
        } progress(observer);
        const tournament::Result r = searcher().think(*board_, searchLimits, &progress);
        Thought answer = thoughtOf(r.last);
        answer.move = cellOf(r.move);
        answer.decidedBy = r.reason;
        if (r.last.depth == 0) answer.summary = std::string(r.reason) + ", chosen without search";
        position_[size_t(answer.move)] = Stone::Own;
        return answer;
    }

private:
    // One table a process, kept across engines: it is large, and a new game empties it.
    static tournament::Searcher &searcher() {
        static tournament::Searcher instance;
        return instance;
    }

    std::unique_ptr<tournament::PatternBoard> board_;
    std::string tablesError_;
    bool tablesReady_;
    static inline size_t tableBytes_ = 0;
};

} // namespace

int64_t tournamentBaseMemory() {
    const tournament::Network *net = tournament::activeNetwork();
    return TournamentBaseMemory +
           (net ? int64_t(net->table.size() * sizeof(tournament::FeatureVector)) : 0);
}

int64_t tournamentTableBytes(int64_t maxMemory, int64_t baseMemory) {
    if (maxMemory <= 0) return TournamentDefaultTable;
    int64_t bytes = TournamentDefaultTable;
    while (bytes >= (int64_t(1) << 20) && baseMemory + bytes > maxMemory)
        bytes /= 2;
    return bytes >= (int64_t(1) << 20) ? bytes : -1;
}

MoveTimes tournamentMoveTimes(int64_t turnMs, int64_t matchMs, int64_t timeLeft, int stones) {
    MoveTimes t;
    t.maximum = moveBudget(turnMs, matchMs, timeLeft, stones);
    if (t.maximum == 0) return t;
    // The match share is the optimum; the maximum may reach three shares, within the turn
    // limit and a quarter of what is left of the match.
    const int64_t turnCap = turnMs > 0 ? turnMs - SafetyMs : std::numeric_limits<int32_t>::max();
    const int64_t match = timeLeft != NoTimeLeft ? timeLeft : matchMs;
    if (match > 0) {
        t.optimum = t.maximum;
        t.maximum = std::min({turnCap, 3 * t.optimum, (match - SafetyMs) / 4});
        t.maximum = std::max(t.maximum, t.optimum);
    } else {
        t.maximum = std::max<int64_t>(turnCap, 0);
        t.optimum = t.maximum * tournament::searchParams().turnOptimumPercent / 100;
    }
    return t;
}

std::unique_ptr<Engine> makeTournamentEngine() { return std::make_unique<TournamentEngine>(); }

} // namespace pentad

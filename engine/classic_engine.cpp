#include "engine/classic_engine.h"

#include <algorithm>
#include <sstream>

#include "board/engine_state.h"
#include "engine/classic_move.h"
#include "platform/platform.h"
#include "search/search.h"

namespace pentad {
namespace {

std::string cellText(int c) {
    return std::to_string(c % BoardSize) + "," + std::to_string(c / BoardSize);
}

// Level, nodes, speed, value and line of the search so far; a book move shows `book` for
// its value (the root gives it a score that reads as a proven win).
Thought thoughtOf(const EngineState &e, int64_t clockOrigin) {
    Thought t;
    t.depth = e.IterationNumber;
    t.value = e.BestScore;
    t.nodes = e.TotalNodes;
    t.ms = processClockMs() - clockOrigin;
    t.lineLength = std::clamp<int>(e.IterationLine[0], 0, int(t.line.size()));
    for (int i = 0; i < t.lineLength; ++i)
        t.line[size_t(i)] = e.IterationLine[size_t(i) + 1];
    if (t.lineLength > 0) t.move = t.line[0];
    std::ostringstream text;
    text << "level " << t.depth << " nodes " << t.nodes << " nps "
         << (t.ms > 0 ? t.nodes * 1000 / t.ms : 0) << " value ";
    const bool book = e.BookMoveFlag && e.IterationLine[0] >= 1 &&
                      e.IterationLine[1] == e.MoveHistory.cells[e.MoveHistory.count + 1];
    if (book)
        text << "book";
    else
        text << t.value;
    text << " line";
    for (int i = 0; i < t.lineLength; ++i)
        text << ' ' << cellText(t.line[size_t(i)]);
    t.summary = text.str();
    return t;
}

class ClassicEngine final : public Engine {
public:
    explicit ClassicEngine(const ClassicOptions &options) : options_(options) {
        // The table and the engine's constant tables are built once per process.
        static const bool tableReady = transpositionTable().allocate();
        static const bool engineReady = startEngine(
            engineState(), options_.fixedSeed ? options_.seed : uint32_t(wallClockSeconds()));
        tableReady_ = tableReady;
        engineReady_ = engineReady;
    }

    bool newGame(const GameRules &rules, std::string &error) override {
        if (rules.size != BoardSize || rules.rule != Rule::Freestyle) {
            error = "the classic engine plays free-style on 20x20 only";
            return false;
        }
        position_.fill(Stone::None);
        return true;
    }

    bool ready(std::string &error, std::string &note) override {
        if (!engineReady_) {
            error = "the engine's line-pattern tables are missing";
            return false;
        }
        const int bits = classicTableBits(memory_);
        if (bits < 0) {
            const int64_t least =
                ClassicBaseMemory +
                int64_t(TranspositionTable::bytesFor(TranspositionTable::SmallestBits));
            error = "max_memory " + std::to_string(memory_) + " is below the " +
                    std::to_string(least / (1024 * 1024) + 1) + " MB the engine needs at least";
            return false;
        }
        TranspositionTable &table = transpositionTable();
        if (bits != table.bits() || !table.allocated()) {
            tableReady_ = table.allocate(bits);
            if (tableReady_ && bits != TranspositionTable::FullBits)
                note = "max_memory " + std::to_string(memory_) + ": transposition table of " +
                       std::to_string(TranspositionTable::bytesFor(bits) >> 20) +
                       " MB instead of 96 MB; the moves may differ from the engine as designed";
        }
        if (!tableReady_) {
            error = "not enough memory for the transposition table";
            return false;
        }
        return true;
    }

    Thought think(const ThinkLimits &limits, ThinkObserver *observer) override {
        EngineState &e = engineState();
        PositionInput input;
        for (int c = 0; c < CellCount; ++c)
            input.board[size_t(c)] = position_[size_t(c)] == Stone::Own        ? 'X'
                                     : position_[size_t(c)] == Stone::Opponent ? 'O'
                                                                               : '-';
        input.sideLetter = 'X'; // our stones; colours follow from the stone counts
        normaliseColours(input);
        preparePosition(e, input);
        // Vary the choices from move to move: by the clock, or with a fixed seed by the number
        // of stones, so a replayed session with node or depth limits plays the same moves.
        if (options_.fixedSeed)
            e.RandomSeed = options_.seed ^ (uint32_t(e.MoveHistory.count) * 2654435761u);
        else
            e.RandomSeed ^= uint32_t(limits.clockOrigin) * 2654435761u;
        e.NodeLimit = limits.maxNodes;
        e.MaxIterations = int32_t(std::clamp<int64_t>(limits.maxDepth, 0, 1000));
        e.ClockOrigin = limits.clockOrigin;
        e.DeadlineOverride =
            moveBudget(limits.turnMs, limits.matchMs, limits.timeLeft, e.MoveHistory.count);
        if (limits.maxMoveMs >= 0)
            e.DeadlineOverride = int32_t(std::min<int64_t>(e.DeadlineOverride, limits.maxMoveMs));
        e.TotalNodes = 0;
        e.IterationNumber = 0;
        e.IterationLine[0] = 0;
        struct Progress : SearchObserver {
            ThinkObserver *observer;
            int64_t clockOrigin;
            Progress(ThinkObserver *o, int64_t c) : observer(o), clockOrigin(c) {}
            void iterationDone(const EngineState &state, int, int) override {
                if (observer) observer->progress(thoughtOf(state, clockOrigin));
            }
        } progress(observer, limits.clockOrigin);
        const int move = chooseMove(e, &progress);
        Thought answer = thoughtOf(e, limits.clockOrigin);
        if (e.MoveHistory.count == 0) {
            answer.summary = "opening move, chosen without search";
            answer.decidedBy = "opening";
        }
        answer.move = move;
        position_[size_t(move)] = Stone::Own;
        e.TotalNodes = 0;
        return answer;
    }

    // The table is emptied while the opponent thinks, not when the next move's clock is
    // already running.
    void afterAnswer() override { transpositionTable().clear(); }

private:
    ClassicOptions options_;
    bool tableReady_ = false, engineReady_ = false;
};

} // namespace

int classicTableBits(int64_t maxMemory) {
    if (maxMemory <= 0) return TranspositionTable::FullBits;
    for (int bits = TranspositionTable::FullBits; bits >= TranspositionTable::SmallestBits; --bits)
        if (ClassicBaseMemory + int64_t(TranspositionTable::bytesFor(bits)) <= maxMemory)
            return bits;
    return -1;
}

std::unique_ptr<Engine> makeClassicEngine(const ClassicOptions &options) {
    return std::make_unique<ClassicEngine>(options);
}

} // namespace pentad

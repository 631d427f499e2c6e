// What a front end drives an engine through: a new game, the position (set whole, a move
// played or taken back), a move thought out within limits with its progress reported, a stop
// from another thread, and the memory to use. The classic engine and the tournament engine
// each implement it once (engine/classic_engine.cpp, engine/tournament_engine.cpp).
#pragma once

#include <array>
#include <cstdint>
#include <limits>
#include <string>

#include "board/engine_state.h"

namespace pentad {

/// The rule bit of the pbrain protocol's `INFO rule`: free-style (five or more wins) or
/// standard (exactly five wins).
enum class Rule : uint8_t { Freestyle = 0, Standard = 1 };

struct GameRules {
    int size = BoardSize;
    Rule rule = Rule::Freestyle;
};

/// A cell's stone as the engine sees it: it always plays `Own`.
enum class Stone : uint8_t { None = 0, Own = 1, Opponent = 2 };
using Position = std::array<Stone, CellCount>;

/// time_left when the manager has sent none.
constexpr int64_t NoTimeLeft = std::numeric_limits<int64_t>::min();
/// Time kept back from the turn limit and from the time left for answering.
constexpr int SafetyMs = 60;

/// The limits of one move: the manager's clock, and the node and depth limits under which a
/// search is reproducible (the clock then does not cut it).
struct ThinkLimits {
    int64_t clockOrigin = 0;  ///< process clock of the request: the move's time runs from it
    int64_t turnMs = 30000;   ///< timeout_turn; < 0 absent, 0 answer at once
    int64_t matchMs = 180000; ///< timeout_match; 0 no match limit
    int64_t timeLeft = NoTimeLeft;
    int64_t maxMoveMs = -1; ///< >= 0: no move thinks longer than this
    int64_t maxNodes = 0;   ///< 0: no node limit
    int maxDepth = 0;       ///< 0: no depth limit
};

/// One finished iteration, or the move chosen.
struct Thought {
    int move = -1;               ///< the best move: cell row * size + column
    int depth = 0, selDepth = 0; ///< the classic engine counts levels, with no selective depth
    int value = 0;               ///< in the engine's own units
    int winIn = 0;               ///< > 0: a proven win in that many moves, < 0 a loss
    int64_t nodes = 0, ms = 0;
    int lineLength = 0;
    std::array<int16_t, 128> line{}; ///< cells, the move first
    std::string summary;             ///< the engine's own account, as its progress lines read
    /// What chose the move: "search", or what needed none ("opening", "five", "block", "four").
    const char *decidedBy = "search";
};

struct ThinkObserver {
    virtual ~ThinkObserver() = default;
    virtual void progress(const Thought &) = 0;
};

class Engine {
public:
    virtual ~Engine() = default;

    /// A new game on an empty board; false with the reason for rules the engine does not play.
    virtual bool newGame(const GameRules &rules, std::string &error) = 0;
    /// The memory the engine may use (the manager's max_memory, 0: no limit).
    void setMemory(int64_t bytes) { memory_ = bytes; }
    /// Makes the engine ready to think within its memory: false with the reason when it
    /// cannot play; `note` tells of a smaller table than usual.
    virtual bool ready(std::string &error, std::string &note) = 0;

    const Position &position() const { return position_; }
    void setPosition(const Position &position) { position_ = position; }
    /// A stone on an empty cell, or the stone of a cell taken back; false when the cell is
    /// off the board, or taken (play), or empty (take back).
    bool play(int cell, Stone stone);
    bool takeBack(int cell);

    /// The engine's move for its own side within the limits, played on the position; always
    /// an empty cell of a position with one.
    virtual Thought think(const ThinkLimits &limits, ThinkObserver *observer) = 0;
    /// Work best done once the answer is out, not on the next move's clock.
    virtual void afterAnswer() {}
    /// From any thread: the search under way ends at once with its best move so far.
    static void stop();
    /// The next search may think again after a stop.
    static void clearStop();

protected:
    Position position_{};
    int64_t memory_ = 0;
};

/// Milliseconds the search may use for one move, from the manager's limits and the number
/// of stones; 0 means "answer at once": timeout_turn 0, or no time left at all.
int32_t moveBudget(int64_t turnMs, int64_t matchMs, int64_t timeLeft, int stones);

} // namespace pentad

// One game of the browser board: its record, its engine (a pbrain child process driven from a
// thread of its own) and the stream of events the page follows.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "web/engine_process.h"
#include "web/game_record.h"

namespace pentad::web {

enum class EngineSide { None, Black, White };

struct GameSettings {
    EngineSide engineSide = EngineSide::White;
    int moveMs = 1000; ///< the engine's time a move
};

/// The engine's reading at one depth, from its progress MESSAGE lines.
struct Reading {
    std::string depth;       ///< as the engine prints it ("7" or "7-12")
    std::string value;       ///< as printed: a number, "win in 3", "loss in 4"
    double blackShare = 0.5; ///< black's expected score from that value
    int64_t nodes = 0, nps = 0;
    std::vector<Point> line;
    bool forBlack = true; ///< the side the engine was searching for
};

/// Parses "MESSAGE level|depth D nodes N nps R value V line c,r ..." as both engines print
/// it; false for other messages.
bool parseReading(const std::string &message, bool blackToMove, Reading &reading);

/// The outcome of an API call: 0 for success, else the HTTP status with a message.
struct Refusal {
    int status = 0;
    std::string message;
    explicit operator bool() const { return status != 0; }
};

class GameSession {
public:
    GameSession(std::string id, std::vector<std::string> engineCommand, GameSettings settings);
    ~GameSession();
    GameSession(const GameSession &) = delete;
    GameSession &operator=(const GameSession &) = delete;

    const std::string &id() const { return id_; }
    nlohmann::json state();
    GameSettings settings();
    GameRecord record();

    Refusal play(Point p);
    /// The engine plays a move for the side to move; with `playIt` false it only reads.
    Refusal think(bool playIt);
    /// Ends the search under way: the engine answers at once with its best move so far.
    Refusal stop();
    Refusal undo(int count);
    Refusal setUp(const GameRecord &record);
    Refusal configure(GameSettings settings);

    /// Waits up to `timeoutMs` for an event after `cursor` and returns it as server-sent
    /// event text ("event: ...\ndata: ...\n\n"), advancing `cursor`; empty on timeout or when
    /// the session is closing.
    std::string nextEvent(uint64_t &cursor, int timeoutMs);
    /// The cursor a new subscriber starts from: it gets the current state first.
    uint64_t subscribe();
    bool closing() const { return closing_; }
    void close();

private:
    struct Request {
        uint64_t generation = 0;
        bool play = true;
        std::vector<Point> moves;
        int moveMs = 1000;
    };

    const std::string id_;
    const std::vector<std::string> engineCommand_;
    std::mutex mutex_;
    std::condition_variable wake_, eventsChanged_;
    GameSettings settings_;
    GameRecord record_;
    bool thinking_ = false, thinkingToPlay_ = false;
    uint64_t generation_ = 0; ///< bumped when the position changes under a search
    bool hasRequest_ = false;
    Request request_;
    bool hasReading_ = false;
    Reading reading_;
    std::vector<Point> bestMove_; ///< the answer of a reading-only search
    std::string engineError_, engineName_;
    bool closing_ = false;
    std::deque<std::pair<uint64_t, std::string>> events_;
    uint64_t nextEventId_ = 1;
    /// Counts the changes of the state: a page keeps the newest it has seen, since a request's
    /// answer can reach it after an event that already carried a later state.
    uint64_t version_ = 0;

    std::mutex sendMutex_; ///< stop requests come from other threads than the search's
    EngineProcess engine_;
    std::thread worker_;

    nlohmann::json stateLocked() const;
    void pushEventLocked(const char *type, const nlohmann::json &data);
    /// A new version of the state, sent to the event streams.
    void pushStateLocked();
    bool engineToMoveLocked() const;
    void startThinkingLocked(bool playIt);
    void cancelLocked();
    void run();
    bool ensureEngine(std::string &error);
    bool sendLine(const std::string &line);
    void search(const Request &request);
};

const char *sideName(EngineSide side);
bool parseSide(const std::string &text, EngineSide &side);

} // namespace pentad::web

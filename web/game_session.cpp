#include "web/game_session.h"

#include <chrono>
#include <cmath>
#include <sstream>

namespace pentad::web {
namespace {

constexpr int StartTimeoutMs = 10000;       ///< START and ABOUT answered within this
constexpr int AnswerGraceMs = 10000;        ///< a move later than its time by this is a hang
constexpr size_t MaxEvents = 256;           ///< events kept for slow subscribers
constexpr int IdleEngineMs = 5 * 60 * 1000; ///< an engine unused this long is ended
constexpr int DecidedValue = 20000;         ///< values beyond this are won or lost games
/// How values map to an expected score: a value of one scale is about 73 % for its side. The
/// pattern search ("depth" lines) and the classic search ("level" lines) count in different
/// units.
constexpr double PatternValueScale = 600.0, ClassicValueScale = 2000.0;

nlohmann::json pointJson(Point p) { return nlohmann::json::array({p.x, p.y}); }

nlohmann::json pointsJson(const std::vector<Point> &points) {
    nlohmann::json a = nlohmann::json::array();
    for (const Point &p : points)
        a.push_back(pointJson(p));
    return a;
}

const char *outcomeName(Outcome o) {
    switch (o) {
    case Outcome::BlackWon:
        return "black";
    case Outcome::WhiteWon:
        return "white";
    case Outcome::Draw:
        return "draw";
    case Outcome::Playing:
        break;
    }
    return "playing";
}

bool parsePoint(const std::string &token, Point &p) {
    int x = 0, y = 0;
    char comma = 0;
    std::istringstream in(token);
    if (!(in >> x >> comma >> y) || comma != ',' || !in.eof()) return false;
    p = {x, y};
    return onBoard(p);
}

// The value of `key="..."` in an ABOUT answer, or empty.
std::string quotedField(const std::string &line, const std::string &key) {
    size_t start = line.find(key + "=\"");
    if (start == std::string::npos) return {};
    start += key.size() + 2;
    size_t end = line.find('"', start);
    return end == std::string::npos ? std::string() : line.substr(start, end - start);
}

} // namespace

const char *sideName(EngineSide side) {
    return side == EngineSide::Black ? "black" : side == EngineSide::White ? "white" : "none";
}

bool parseSide(const std::string &text, EngineSide &side) {
    if (text == "black")
        side = EngineSide::Black;
    else if (text == "white")
        side = EngineSide::White;
    else if (text == "none")
        side = EngineSide::None;
    else
        return false;
    return true;
}

bool parseReading(const std::string &message, bool blackToMove, Reading &reading) {
    std::istringstream in(message);
    std::string word;
    if (!(in >> word) || word != "MESSAGE") return false;
    if (!(in >> word) || (word != "level" && word != "depth")) return false;
    Reading r;
    r.forBlack = blackToMove;
    const double scale = word == "depth" ? PatternValueScale : ClassicValueScale;
    if (!(in >> r.depth)) return false;
    bool sawValue = false;
    while (in >> word) {
        if (word == "nodes") {
            in >> r.nodes;
        } else if (word == "nps") {
            in >> r.nps;
        } else if (word == "value") {
            std::string v;
            if (!(in >> v)) return false;
            double share = 0.5;
            if (v == "win" || v == "loss") {
                std::string inWord, n;
                in >> inWord >> n;
                r.value = v + " in " + n;
                share = v == "win" ? 1.0 : 0.0;
            } else {
                int value = 0;
                try {
                    value = std::stoi(v);
                } catch (...) {
                    return false;
                }
                r.value = v;
                share = value >= DecidedValue    ? 1.0
                        : value <= -DecidedValue ? 0.0
                                                 : 1.0 / (1.0 + std::exp(-value / scale));
            }
            r.blackShare = blackToMove ? share : 1.0 - share;
            sawValue = true;
        } else if (word == "line") {
            Point p;
            while (in >> word && parsePoint(word, p))
                r.line.push_back(p);
            break; // anything after the line ("| mode ...") is the engine's own note
        }
    }
    if (!sawValue) return false;
    reading = std::move(r);
    return true;
}

GameSession::GameSession(std::string id, std::vector<std::string> engineCommand,
                         GameSettings settings)
    : id_(std::move(id)), engineCommand_(std::move(engineCommand)), settings_(settings) {
    worker_ = std::thread([this] { run(); });
    std::lock_guard lock(mutex_);
    if (engineToMoveLocked()) startThinkingLocked(true);
    pushStateLocked();
}

GameSession::~GameSession() {
    close();
    if (worker_.joinable()) worker_.join();
}

void GameSession::close() {
    {
        std::lock_guard lock(mutex_);
        if (closing_) return;
        closing_ = true;
        cancelLocked();
    }
    wake_.notify_all();
    eventsChanged_.notify_all();
    // A search under way ends with its process; the worker then sees the session closing.
    std::lock_guard send(sendMutex_);
    engine_.send("END");
}

nlohmann::json GameSession::state() {
    std::lock_guard lock(mutex_);
    return stateLocked();
}

GameSettings GameSession::settings() {
    std::lock_guard lock(mutex_);
    return settings_;
}

GameRecord GameSession::record() {
    std::lock_guard lock(mutex_);
    return record_;
}

nlohmann::json GameSession::stateLocked() const {
    nlohmann::json s;
    s["id"] = id_;
    s["version"] = version_;
    s["moves"] = pointsJson(record_.moves());
    s["toMove"] = record_.blackToMove() ? "black" : "white";
    s["engineSide"] = sideName(settings_.engineSide);
    s["moveMs"] = settings_.moveMs;
    s["outcome"] = outcomeName(record_.outcome());
    s["winLine"] = pointsJson(record_.winLine());
    s["thinking"] = thinking_;
    s["thinkingToPlay"] = thinking_ && thinkingToPlay_;
    if (hasReading_) {
        nlohmann::json r;
        r["depth"] = reading_.depth;
        r["value"] = reading_.value;
        r["blackShare"] = std::round(reading_.blackShare * 1000.0) / 1000.0;
        r["nodes"] = reading_.nodes;
        r["nps"] = reading_.nps;
        r["line"] = pointsJson(reading_.line);
        r["forBlack"] = reading_.forBlack;
        s["reading"] = r;
    } else {
        s["reading"] = nullptr;
    }
    s["bestMove"] = bestMove_.empty() ? nlohmann::json(nullptr) : pointJson(bestMove_[0]);
    s["engineError"] =
        engineError_.empty() ? nlohmann::json(nullptr) : nlohmann::json(engineError_);
    s["engineName"] = engineName_;
    return s;
}

void GameSession::pushEventLocked(const char *type, const nlohmann::json &data) {
    std::string text = std::string("id: ") + std::to_string(nextEventId_) + "\nevent: " + type +
                       "\ndata: " + data.dump() + "\n\n";
    events_.emplace_back(nextEventId_++, std::move(text));
    while (events_.size() > MaxEvents)
        events_.pop_front();
    eventsChanged_.notify_all();
}

void GameSession::pushStateLocked() {
    ++version_;
    pushEventLocked("state", stateLocked());
}

uint64_t GameSession::subscribe() {
    std::lock_guard lock(mutex_);
    // Everything before the newest state event is history the subscriber does not need.
    for (auto it = events_.rbegin(); it != events_.rend(); ++it)
        if (it->second.find("\nevent: state\n") != std::string::npos) return it->first - 1;
    return nextEventId_ - 1;
}

std::string GameSession::nextEvent(uint64_t &cursor, int timeoutMs) {
    std::unique_lock lock(mutex_);
    eventsChanged_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return closing_ || (!events_.empty() && events_.back().first > cursor);
    });
    if (closing_) return {};
    for (const auto &[eventId, text] : events_)
        if (eventId > cursor) {
            cursor = eventId;
            return text;
        }
    return {};
}

bool GameSession::engineToMoveLocked() const {
    if (record_.outcome() != Outcome::Playing) return false;
    return (settings_.engineSide == EngineSide::Black && record_.blackToMove()) ||
           (settings_.engineSide == EngineSide::White && !record_.blackToMove());
}

void GameSession::startThinkingLocked(bool playIt) {
    request_.generation = generation_;
    request_.play = playIt;
    request_.moves = record_.moves();
    request_.moveMs = settings_.moveMs;
    hasRequest_ = true;
    thinking_ = true;
    thinkingToPlay_ = playIt;
    hasReading_ = false;
    bestMove_.clear();
    engineError_.clear();
    wake_.notify_all();
}

// The position changed under the search: its answer is dropped when it comes.
void GameSession::cancelLocked() {
    ++generation_;
    hasRequest_ = false;
    if (thinking_) {
        thinking_ = false;
        std::lock_guard send(sendMutex_);
        engine_.send("YXSTOP");
    }
}

Refusal GameSession::play(Point p) {
    std::lock_guard lock(mutex_);
    if (thinking_ && thinkingToPlay_) return {409, "the engine is thinking: stop it first"};
    if (record_.outcome() != Outcome::Playing) return {409, "the game is over"};
    std::string error;
    if (!record_.play(p, error)) return {400, error};
    cancelLocked(); // a reading-only search was of the old position
    hasReading_ = false;
    bestMove_.clear();
    if (engineToMoveLocked()) startThinkingLocked(true);
    pushStateLocked();
    return {};
}

Refusal GameSession::think(bool playIt) {
    std::lock_guard lock(mutex_);
    if (record_.outcome() != Outcome::Playing) return {409, "the game is over"};
    if (thinking_) return {409, "the engine is already thinking"};
    startThinkingLocked(playIt);
    pushStateLocked();
    return {};
}

Refusal GameSession::stop() {
    std::lock_guard lock(mutex_);
    if (!thinking_) return {409, "the engine is not thinking"};
    std::lock_guard send(sendMutex_);
    engine_.send("YXSTOP");
    return {};
}

Refusal GameSession::undo(int count) {
    std::lock_guard lock(mutex_);
    if (count < 1 || count > BoardSize * BoardSize) return {400, "undo takes 1 to 400 moves"};
    if (record_.moves().empty()) return {409, "there is no move to take back"};
    cancelLocked();
    record_.undo(count);
    hasReading_ = false;
    bestMove_.clear();
    engineError_.clear();
    pushStateLocked();
    return {};
}

Refusal GameSession::setUp(const GameRecord &record) {
    std::lock_guard lock(mutex_);
    cancelLocked();
    record_ = record;
    hasReading_ = false;
    bestMove_.clear();
    engineError_.clear();
    if (engineToMoveLocked()) startThinkingLocked(true);
    pushStateLocked();
    return {};
}

Refusal GameSession::configure(GameSettings settings) {
    std::lock_guard lock(mutex_);
    bool sideChanged = settings.engineSide != settings_.engineSide;
    settings_ = settings;
    if (sideChanged) {
        if (thinking_ && thinkingToPlay_) cancelLocked();
        if (engineToMoveLocked() && !thinking_) startThinkingLocked(true);
    }
    pushStateLocked();
    return {};
}

bool GameSession::sendLine(const std::string &line) {
    std::lock_guard send(sendMutex_);
    return engine_.send(line);
}

bool GameSession::ensureEngine(std::string &error) {
    if (engine_.running()) return true;
    {
        std::lock_guard send(sendMutex_);
        if (!engine_.start(engineCommand_, error)) return false;
    }
    std::string line;
    auto expect = [&](const std::string &command, auto accept) {
        if (!sendLine(command)) {
            error = "the engine ended (" + engine_.exitDescription() + ") before " + command;
            return false;
        }
        for (;;) {
            switch (engine_.readLine(line, StartTimeoutMs)) {
            case EngineProcess::Read::Line:
                if (line.rfind("MESSAGE", 0) == 0 || line.rfind("DEBUG", 0) == 0) continue;
                return accept(line);
            case EngineProcess::Read::Timeout:
                error = "the engine did not answer " + command;
                return false;
            case EngineProcess::Read::Closed:
                error = "the engine ended (" + engine_.exitDescription() + ") after " + command;
                return false;
            }
        }
    };
    if (!expect("START " + std::to_string(BoardSize), [&](const std::string &l) {
            if (l == "OK") return true;
            error = "the engine refused the board: " + l;
            return false;
        })) {
        engine_.kill();
        return false;
    }
    if (!expect("ABOUT", [&](const std::string &l) {
            std::string text = quotedField(l, "name");
            std::string version = quotedField(l, "version");
            if (!version.empty()) text += " " + version;
            std::lock_guard lock(mutex_);
            engineName_ = text;
            return true;
        })) {
        engine_.kill();
        return false;
    }
    sendLine("INFO timeout_match 0");
    sendLine("INFO rule 0");
    return true;
}

void GameSession::run() {
    for (;;) {
        Request request;
        {
            std::unique_lock lock(mutex_);
            if (!wake_.wait_for(lock, std::chrono::milliseconds(IdleEngineMs),
                                [&] { return closing_ || hasRequest_; })) {
                // A game left alone gives its engine's memory back; the next search starts
                // a new one.
                lock.unlock();
                std::lock_guard send(sendMutex_);
                engine_.kill();
                continue;
            }
            if (closing_) break;
            request = request_;
            hasRequest_ = false;
        }
        search(request);
    }
    std::lock_guard send(sendMutex_);
    engine_.kill();
}

void GameSession::search(const Request &request) {
    std::string error;
    auto fail = [&](const std::string &message) {
        {
            std::lock_guard send(sendMutex_);
            engine_.kill();
        }
        std::lock_guard lock(mutex_);
        if (request.generation != generation_) return;
        thinking_ = false;
        engineError_ = message;
        pushEventLocked("failure", nlohmann::json{{"message", message}});
        pushStateLocked();
    };
    if (!ensureEngine(error)) return fail(error);

    // BOARD names the side to move's stones 1 and the other side's 2.
    const size_t toMoveParity = request.moves.size() % 2;
    bool sent =
        sendLine("INFO timeout_turn " + std::to_string(request.moveMs)) && sendLine("BOARD");
    for (size_t i = 0; sent && i < request.moves.size(); ++i) {
        const Point &p = request.moves[i];
        sent = sendLine(std::to_string(p.x) + "," + std::to_string(p.y) + "," +
                        (i % 2 == toMoveParity ? "1" : "2"));
    }
    if (!sent || !sendLine("DONE"))
        return fail("the engine ended (" + engine_.exitDescription() + ") while given the board");

    const bool blackToMove = toMoveParity == 0;
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::milliseconds(request.moveMs + AnswerGraceMs);
    std::string line;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        switch (engine_.readLine(line, int(std::max<int64_t>(left, 0)))) {
        case EngineProcess::Read::Timeout:
            return fail("the engine did not answer within " +
                        std::to_string((request.moveMs + AnswerGraceMs) / 1000) +
                        " s and was stopped");
        case EngineProcess::Read::Closed:
            return fail("the engine ended unexpectedly (" + engine_.exitDescription() + ")");
        case EngineProcess::Read::Line:
            break;
        }
        if (line.rfind("MESSAGE", 0) == 0 || line.rfind("DEBUG", 0) == 0) {
            Reading reading;
            if (!parseReading(line, blackToMove, reading)) continue;
            std::lock_guard lock(mutex_);
            if (request.generation != generation_) continue;
            reading_ = reading;
            hasReading_ = true;
            ++version_; // the reading is part of the state
            nlohmann::json r = stateLocked()["reading"];
            r["version"] = version_;
            pushEventLocked("reading", r);
            continue;
        }
        if (line.rfind("ERROR", 0) == 0 || line.rfind("UNKNOWN", 0) == 0)
            return fail("the engine refused the position: " + line);
        Point move;
        if (!parsePoint(line, move)) continue; // a line no manager acts on
        std::lock_guard lock(mutex_);
        if (request.generation != generation_) return; // the position changed meanwhile
        thinking_ = false;
        if (!request.play) {
            bestMove_ = {move};
        } else if (!record_.play(move, error)) {
            engineError_ = "the engine answered " + line + ", which is not a legal move: " + error;
            pushEventLocked("failure", nlohmann::json{{"message", engineError_}});
        } else if (engineToMoveLocked()) {
            // It played the player's side on request; now it is its own turn.
            startThinkingLocked(true);
        }
        pushStateLocked();
        return;
    }
}

} // namespace pentad::web

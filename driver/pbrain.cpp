#include "driver/pbrain.h"

#include "driver/line_input.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "board/engine_state.h"
#include "engine/classic_engine.h"
#include "engine/tournament_engine.h"
#include "engine/version.h"
#include "platform/platform.h"

namespace pentad {
namespace {

constexpr int DefaultTurnMs = 30000; // limits when the manager sends none
constexpr int DefaultMatchMs = 180000;
constexpr size_t MaxEchoBytes = 40; ///< how much of a bad line an answer repeats
constexpr int MaxIgnoredNamed = 8;  ///< BOARD lines a MESSAGE names one by one

std::string upper(std::string s) {
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool isCommand(const std::string &word) {
    static const char *const Commands[] = {"START",    "RESTART", "BEGIN", "TURN",
                                           "BOARD",    "INFO",    "END",   "ABOUT",
                                           "TAKEBACK", "YXSTOP",  "STOP"};
    for (const char *c : Commands)
        if (word == c) return true;
    return false;
}

std::string trim(const std::string &s) {
    size_t a = s.find_first_not_of(" \t");
    if (a == std::string::npos) return "";
    size_t b = s.find_last_not_of(" \t");
    return s.substr(a, b - a + 1);
}

// Parses "a,b" or "a,b,c" of decimal integers; false on anything else.
bool parseNumbers(const std::string &text, std::vector<long long> &numbers, size_t count) {
    numbers.clear();
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, ',')) {
        item = trim(item);
        if (item.empty() || item.size() > 12) return false;
        size_t used = 0;
        long long v;
        try {
            v = std::stoll(item, &used);
        } catch (...) {
            return false;
        }
        if (used != item.size()) return false;
        numbers.push_back(v);
    }
    return numbers.size() == count;
}

// What an answer repeats of a hostile line: its start only, control bytes shown as '?'.
std::string quoted(const std::string &text) {
    std::string out = text.size() <= MaxEchoBytes ? text : text.substr(0, MaxEchoBytes) + "...";
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

class Session {
public:
    Session(std::istream &in, std::ostream &out, const PbrainOptions &options)
        : in_(in), out_(out), options_(options),
          engine_(options.classic ? makeClassicEngine({options.fixedSeed, options.seed})
                                  : makeTournamentEngine()) {}

    int run() {
        if (options_.synchronous) {
            LineReader reader(in_);
            std::string line;
            while (reader.next(line))
                queue_.push(line);
            queue_.close();
        } else {
            // The input has its own thread, so END and a stop request are seen while the
            // engine thinks; the search itself stays on this thread. Untied, so reading
            // never flushes the output from the reader thread.
            in_.tie(nullptr);
            std::thread reader([this] { readInput(); });
            reader.detach();
        }
        std::string line;
        int64_t arrival = 0;
        while (queue_.pop(line, arrival)) {
            if (!handle(line, arrival)) break;
            queue_.answered();
        }
        if (!options_.synchronous) finish();
        out_.flush();
        return 0;
    }

private:
    // The reader thread. END with nothing else pending ends the process at once; otherwise
    // END and the end of input stop the search under way, so what is queued is answered
    // at once and the session ends within moments.
    void readInput() {
        LineReader reader(in_);
        std::string line;
        while (reader.next(line)) {
            const std::string t = trim(line);
            const std::string command = upper(t.substr(0, t.find_first_of(" \t")));
            if (command == "YXSTOP" || command == "STOP") {
                if (thinking_) Engine::stop();
                continue;
            }
            if (command == "END") {
                ending_ = true;
                Engine::stop();
                if (queue_.idle()) finish();
            }
            queue_.push(line);
        }
        ending_ = true;
        Engine::stop();
        queue_.close();
    }

    [[noreturn]] void finish() {
        std::lock_guard<std::mutex> lock(outputMutex_);
        out_.flush();
        std::_Exit(0);
    }

    void reply(const std::string &text) {
        std::lock_guard<std::mutex> lock(outputMutex_);
        out_ << text << '\n';
        out_.flush();
    }

    // Whether the engine can play: its tables, its memory and the manager's memory limit.
    bool ready() {
        std::string error, note;
        const bool ok = engine_->ready(error, note);
        if (!note.empty()) reply("MESSAGE " + note);
        if (!ok) reply("ERROR " + error);
        return ok;
    }

    bool onBoard(long long x, long long y) const {
        return x >= 0 && x < BoardSize && y >= 0 && y < BoardSize;
    }
    Stone at(long long x, long long y) const {
        return engine_->position()[size_t(y * BoardSize + x)];
    }

    // Returns false for END.
    bool handle(const std::string &raw, int64_t arrival) {
        std::string line = trim(raw);
        if (line.empty()) return true;
        size_t space = line.find_first_of(" \t");
        std::string command = upper(line.substr(0, space));
        std::string rest = space == std::string::npos ? "" : trim(line.substr(space));
        if (command == "END") return false;
        if (command == "YXSTOP" || command == "STOP") return true; // nothing to stop
        if (command == "ABOUT") {
            reply(std::string("name=\"Pentad\", version=\"") + engineVersion() +
                  "\", author=\"Pentad developers\", country=\"Unknown\"");
        } else if (command == "START") {
            std::vector<long long> n;
            if (!parseNumbers(rest, n, 1))
                reply("ERROR START needs the board size");
            else if (n[0] != BoardSize)
                reply("ERROR only the 20x20 board is supported");
            else if (ready() && newGame())
                reply("OK");
        } else if (command == "RESTART") {
            if (newGame() && ready()) reply("OK");
        } else if (command == "INFO") {
            info(rest);
        } else if (command == "BEGIN") {
            const Position &p = engine_->position();
            if (std::count(p.begin(), p.end(), Stone::None) != CellCount)
                reply("ERROR BEGIN on a board that already holds stones");
            else
                play(arrival);
        } else if (command == "TURN") {
            std::vector<long long> n;
            if (!parseNumbers(rest, n, 2) || !onBoard(n[0], n[1]))
                reply("ERROR TURN needs x,y on the board, got '" + quoted(rest) + "'");
            else if (at(n[0], n[1]) != Stone::None)
                reply("ERROR TURN " + quoted(rest) + " is on an occupied cell");
            else {
                engine_->play(int(n[1] * BoardSize + n[0]), Stone::Opponent);
                play(arrival);
            }
        } else if (command == "BOARD") {
            return readBoard();
        } else if (command == "TAKEBACK") {
            std::vector<long long> n;
            if (!parseNumbers(rest, n, 2) || !onBoard(n[0], n[1]))
                reply("ERROR TAKEBACK needs x,y on the board");
            else if (at(n[0], n[1]) == Stone::None)
                reply("ERROR TAKEBACK " + quoted(rest) + " names an empty cell");
            else {
                engine_->takeBack(int(n[1] * BoardSize + n[0]));
                reply("OK");
            }
        } else if (command == "DONE") {
            reply("ERROR DONE without BOARD");
        } else {
            reply("UNKNOWN " + quoted(command));
        }
        return true;
    }

    static std::string cellText(int c) {
        return std::to_string(c % BoardSize) + "," + std::to_string(c / BoardSize);
    }

    // After every iteration: the plain progress line, and the realtime form analysis GUIs
    // read, flushed as they come.
    struct Progress : ThinkObserver {
        Session &session;
        explicit Progress(Session &s) : session(s) {}
        void progress(const Thought &t) override {
            session.reply("MESSAGE " + t.summary);
            if (t.lineLength >= 1) session.reply("MESSAGE REALTIME BEST " + cellText(t.line[0]));
        }
    };

    // Whose five the board holds, if any: managers judge the game, the engine just says so.
    const char *fiveOnBoard() const {
        const Position &board = engine_->position();
        for (int c = 0; c < CellCount; ++c) {
            if (board[size_t(c)] == Stone::None) continue;
            for (int d = 0; d < DirectionCount; ++d) {
                int run = 1;
                for (int k = 1; k < 5; ++k) {
                    int r = c / BoardSize + k * RowStep[size_t(d)],
                        col = c % BoardSize + k * ColumnStep[size_t(d)];
                    if (r >= BoardSize || col < 0 || col >= BoardSize ||
                        board[size_t(r * BoardSize + col)] != board[size_t(c)])
                        break;
                    ++run;
                }
                if (run >= 5)
                    return board[size_t(c)] == Stone::Own ? "this engine" : "the opponent";
            }
        }
        return nullptr;
    }

    bool newGame() {
        timeLeft_ = NoTimeLeft;
        std::string error;
        if (engine_->newGame(GameRules{}, error)) return true;
        reply("ERROR " + error);
        return false;
    }

    void info(const std::string &rest) {
        size_t space = rest.find_first_of(" \t");
        std::string key = upper(rest.substr(0, space)),
                    value = space == std::string::npos ? "" : trim(rest.substr(space));
        std::vector<long long> n;
        bool number = parseNumbers(value, n, 1);
        if (key == "TIMEOUT_TURN" && number)
            timeoutTurn_ = n[0];
        else if (key == "TIMEOUT_MATCH" && number)
            timeoutMatch_ = n[0];
        else if (key == "TIME_LEFT" && number)
            timeLeft_ = n[0];
        else if (key == "MAX_MEMORY" && number)
            engine_->setMemory(n[0]);
        else if (key == "MAX_NODE" && number)
            maxNodes_ = std::max<long long>(n[0], 0);
        else if (key == "MAX_DEPTH" && number)
            maxDepth_ = std::max<long long>(n[0], 0);
        // game_type, rule and folder change nothing: every game is free-style on one board.
    }

    // BOARD: x,y,f lines until DONE, answered by exactly one line: the move. Lines that
    // cannot be used (malformed, off the board, a repeated cell, field 3) are left out and
    // named in a MESSAGE before the move. A protocol command ends the BOARD unfinished: it
    // answers ERROR, the previous board stays, and the command is handled.
    bool readBoard() {
        Position fresh{};
        std::string line, ignored;
        int ignoredCount = 0;
        int64_t arrival = 0;
        auto ignore = [&](const std::string &t, const char *why) {
            if (++ignoredCount <= MaxIgnoredNamed) ignored += " '" + quoted(t) + "' (" + why + ")";
        };
        while (queue_.pop(line, arrival)) {
            std::string t = trim(line);
            if (t.empty()) continue;
            const std::string command = upper(t.substr(0, t.find_first_of(" \t")));
            if (command == "DONE") {
                if (ignoredCount > 0)
                    reply("MESSAGE BOARD lines ignored: " + std::to_string(ignoredCount) + ignored);
                engine_->setPosition(fresh);
                play(arrival);
                return true;
            }
            if (isCommand(command)) {
                reply("ERROR BOARD ended without DONE; the position is unchanged");
                return handle(t, arrival);
            }
            std::vector<long long> n;
            if (!parseNumbers(t, n, 3) || !onBoard(n[0], n[1]) || n[2] < 1 || n[2] > 3)
                ignore(t, "not x,y,1 or x,y,2");
            else if (n[2] == 3)
                ignore(t, "field 3 of continuous games");
            else if (fresh[size_t(n[1] * BoardSize + n[0])] != Stone::None)
                ignore(t, "cell already given");
            else
                fresh[size_t(n[1] * BoardSize + n[0])] = Stone(n[2]);
        }
        reply("ERROR BOARD ended without DONE; the position is unchanged");
        return true;
    }

    void play(int64_t arrival) {
        if (!ready()) return;
        // A stop request belongs to the move it interrupts; once input has ended every
        // request is answered at once.
        if (!ending_) Engine::clearStop();
        thinking_ = true;
        struct Done {
            std::atomic<bool> &flag;
            ~Done() { flag = false; }
        } done{thinking_};
        const Position &p = engine_->position();
        if (std::count(p.begin(), p.end(), Stone::None) == 0) {
            reply("ERROR the board is full");
            return;
        }
        if (const char *who = fiveOnBoard())
            reply(std::string("MESSAGE the board already holds a five of ") + who +
                  "; playing on with a legal move");
        ThinkLimits limits;
        limits.clockOrigin = arrival;
        limits.turnMs = timeoutTurn_;
        limits.matchMs = timeoutMatch_;
        limits.timeLeft = timeLeft_;
        limits.maxMoveMs = options_.maxMoveMs;
        limits.maxNodes = maxNodes_;
        limits.maxDepth = int(std::clamp<int64_t>(maxDepth_, 0, 1000));
        Progress progress(*this);
        const Thought answer = engine_->think(limits, &progress);
        reply("MESSAGE " + answer.summary);
        reply(cellText(answer.move));
        engine_->afterAnswer();
    }

    std::istream &in_;
    std::ostream &out_;
    PbrainOptions options_;
    std::unique_ptr<Engine> engine_;
    LineQueue queue_;
    std::mutex outputMutex_;
    std::atomic<bool> thinking_{false}, ending_{false};
    int64_t timeoutTurn_ = DefaultTurnMs, timeoutMatch_ = DefaultMatchMs, timeLeft_ = NoTimeLeft,
            maxNodes_ = 0, maxDepth_ = 0;
};

} // namespace

int runPbrain(std::istream &in, std::ostream &out, const PbrainOptions &options) {
    return Session(in, out, options).run();
}

} // namespace pentad

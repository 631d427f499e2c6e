#include "driver/pbrain.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <limits>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tournament/params.h"
#include "tournament/search.h"
#include "board/engine_state.h"
#include "engine/engine.h"
#include "engine/version.h"
#include "tournament/pattern_board.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/transposition.h"

namespace pentad {
namespace {

constexpr int DefaultTurnMs = 30000; // limits when the manager sends none
constexpr int DefaultMatchMs = 180000;
constexpr size_t MaxLineBytes = 1 << 16; ///< longer lines are cut: no command needs more
constexpr size_t MaxEchoBytes = 40;      ///< how much of a bad line an answer repeats
constexpr int MaxIgnoredNamed = 8;       ///< BOARD lines a MESSAGE names one by one

enum Owner : uint8_t { Free = 0, Own = 1, Opponent = 2 };

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

// Lines end in LF, CR LF or CR. A CR ends its line at once, without looking ahead (on a
// pipe a look-ahead would wait for the next byte), and a LF right after it is skipped.
// Bytes past MaxLineBytes are read and dropped.
class LineReader {
public:
    explicit LineReader(std::istream &in) : in_(in) {}

    /// False at the end of input with nothing read.
    bool next(std::string &line) {
        line.clear();
        bool any = false;
        int ch;
        while ((ch = in_.get()) != EOF) {
            if (skipLineFeed_) {
                skipLineFeed_ = false;
                if (ch == '\n') continue;
            }
            any = true;
            if (ch == '\n') return true;
            if (ch == '\r') {
                skipLineFeed_ = true;
                return true;
            }
            if (line.size() < MaxLineBytes) line += char(ch);
        }
        return any;
    }

private:
    std::istream &in_;
    bool skipLineFeed_ = false;
};

// What an answer repeats of a hostile line: its start only, control bytes shown as '?'.
std::string quoted(const std::string &text) {
    std::string out = text.size() <= MaxEchoBytes ? text : text.substr(0, MaxEchoBytes) + "...";
    for (char &c : out)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    return out;
}

// Lines from the reader thread to the session, in order.
class LineQueue {
public:
    void push(std::string line) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back({std::move(line), processClockMs()});
        }
        ready_.notify_one();
    }
    void close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_one();
    }
    /// Waits for the next line and the process clock of its arrival; false once the queue
    /// is closed and empty.
    bool pop(std::string &line, int64_t &arrival) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return !lines_.empty() || closed_; });
        if (lines_.empty()) return false;
        line = std::move(lines_.front().first);
        arrival = lines_.front().second;
        lines_.pop_front();
        inFlight_ = true;
        return true;
    }
    /// The session has answered every line it took.
    void answered() {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ = false;
    }
    /// Nothing waits and nothing is being answered.
    bool idle() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_.empty() && !inFlight_;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<std::string, int64_t>> lines_;
    bool closed_ = false;
    bool inFlight_ = false; ///< a line was taken and is not answered yet
};

class Session {
public:
    Session(std::istream &in, std::ostream &out, const PbrainOptions &options)
        : in_(in), out_(out), options_(options) {
        board_.fill(Free);
    }

    int run() {
        if (options_.classic) {
            // The table and the engine's constant tables are built once per process.
            static const bool tableReady = transpositionTable().allocate();
            static const bool engineReady = startEngine(
                engineState(), options_.fixedSeed ? options_.seed : uint32_t(wallClockSeconds()));
            tableReady_ = tableReady;
            engineReady_ = engineReady;
        } else {
            // The pattern tables and the evaluation are built now, not on the first move's clock.
            arenaBoard_ = std::make_unique<tournament::PatternBoard>();
            engineReady_ = tournament::activeEvalTables(&arenaError_) != nullptr;
        }
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
                if (thinking_) requestStop();
                continue;
            }
            if (command == "END") {
                ending_ = true;
                requestStop();
                if (queue_.idle()) finish();
            }
            queue_.push(line);
        }
        ending_ = true;
        requestStop();
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

    // Whether the engine can play: tables, memory and the manager's memory limit.
    bool ready() {
        if (!options_.classic) return arenaReady();
        if (!engineReady_) {
            reply("ERROR the engine's line-pattern tables are missing");
            return false;
        }
        const int bits = pbrainTableBits(maxMemory_);
        if (bits < 0) {
            const int64_t least =
                PbrainBaseMemory +
                int64_t(TranspositionTable::bytesFor(TranspositionTable::SmallestBits));
            reply("ERROR max_memory " + std::to_string(maxMemory_) + " is below the " +
                  std::to_string(least / (1024 * 1024) + 1) + " MB the engine needs at least");
            return false;
        }
        TranspositionTable &table = transpositionTable();
        if (bits != table.bits() || !table.allocated()) {
            tableReady_ = table.allocate(bits);
            if (tableReady_ && bits != TranspositionTable::FullBits) {
                std::string text = "MESSAGE max_memory " + std::to_string(maxMemory_) +
                                   ": transposition table of " +
                                   std::to_string(TranspositionTable::bytesFor(bits) >> 20) +
                                   " MB instead of 96 MB";
                text += "; the moves may differ from the engine as designed";
                reply(text);
            }
        }
        if (!tableReady_) {
            reply("ERROR not enough memory for the transposition table");
            return false;
        }
        return true;
    }

    bool arenaReady() {
        if (!engineReady_) {
            reply("ERROR the engine's evaluation tables are unusable: " + arenaError_);
            return false;
        }
        const int64_t bytes = tournamentTableBytes(maxMemory_);
        if (bytes < 0) {
            reply("ERROR max_memory " + std::to_string(maxMemory_) + " is below the " +
                  std::to_string(TournamentBaseMemory / (1024 * 1024) + 1) +
                  " MB the engine needs at least");
            return false;
        }
        tournament::Searcher &searcher = tournamentSearcher();
        if (size_t(bytes) != tournamentTableBytes_) {
            tableReady_ = searcher.allocate(size_t(bytes));
            tournamentTableBytes_ = tableReady_ ? size_t(bytes) : 0;
            if (tableReady_ && bytes != TournamentDefaultTable)
                reply("MESSAGE max_memory " + std::to_string(maxMemory_) +
                      ": transposition table of " + std::to_string(bytes >> 20) + " MB");
        }
        if (!tableReady_) {
            reply("ERROR not enough memory for the transposition table");
            return false;
        }
        return true;
    }

    static tournament::Searcher &tournamentSearcher() {
        static tournament::Searcher searcher;
        return searcher;
    }

    bool onBoard(long long x, long long y) const {
        return x >= 0 && x < BoardSize && y >= 0 && y < BoardSize;
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
            else if (ready()) {
                newGame();
                reply("OK");
            }
        } else if (command == "RESTART") {
            newGame();
            if (ready()) reply("OK");
        } else if (command == "INFO") {
            info(rest);
        } else if (command == "BEGIN") {
            if (std::count(board_.begin(), board_.end(), Free) != CellCount)
                reply("ERROR BEGIN on a board that already holds stones");
            else
                play(arrival);
        } else if (command == "TURN") {
            std::vector<long long> n;
            if (!parseNumbers(rest, n, 2) || !onBoard(n[0], n[1]))
                reply("ERROR TURN needs x,y on the board, got '" + quoted(rest) + "'");
            else if (board_[n[1] * BoardSize + n[0]] != Free)
                reply("ERROR TURN " + quoted(rest) + " is on an occupied cell");
            else {
                board_[n[1] * BoardSize + n[0]] = Opponent;
                play(arrival);
            }
        } else if (command == "BOARD") {
            return readBoard();
        } else if (command == "TAKEBACK") {
            std::vector<long long> n;
            if (!parseNumbers(rest, n, 2) || !onBoard(n[0], n[1]))
                reply("ERROR TAKEBACK needs x,y on the board");
            else if (board_[n[1] * BoardSize + n[0]] == Free)
                reply("ERROR TAKEBACK " + quoted(rest) + " names an empty cell");
            else {
                board_[n[1] * BoardSize + n[0]] = Free;
                reply("OK");
            }
        } else if (command == "DONE") {
            reply("ERROR DONE without BOARD");
        } else {
            reply("UNKNOWN " + quoted(command));
        }
        return true;
    }

    // Level, nodes, speed, value and line of the search so far; a book move shows `book`
    // for its value (the root gives it a score that reads as a proven win).
    static std::string progressText(const EngineState &e, int64_t nodes, int64_t arrival) {
        const int64_t ms = processClockMs() - arrival;
        std::ostringstream text;
        text << " level " << e.IterationNumber << " nodes " << nodes << " nps "
             << (ms > 0 ? nodes * 1000 / ms : 0) << " value ";
        const bool book = e.BookMoveFlag && e.IterationLine[0] >= 1 &&
                          e.IterationLine[1] == e.MoveHistory.cells[e.MoveHistory.count + 1];
        if (book)
            text << "book";
        else
            text << e.BestScore;
        text << " line";
        for (int i = 1; i <= e.IterationLine[0]; ++i)
            text << ' ' << cellText(e.IterationLine[i]);
        return text.str();
    }
    static std::string cellText(int c) {
        return std::to_string(c % BoardSize) + "," + std::to_string(c / BoardSize);
    }

    // After every root search: the plain progress line, and the realtime form analysis
    // GUIs read, flushed as they come.
    struct Progress : SearchObserver {
        Session &session;
        int64_t arrival;
        Progress(Session &s, int64_t a) : session(s), arrival(a) {}
        void iterationDone(const EngineState &e, int, int) override {
            session.reply("MESSAGE" + progressText(e, e.TotalNodes, arrival));
            if (e.IterationLine[0] >= 1)
                session.reply("MESSAGE REALTIME BEST " + cellText(e.IterationLine[1]));
        }
    };

    // Whose five the board holds, if any: managers judge the game, the engine just says so.
    const char *fiveOnBoard() const {
        for (int c = 0; c < CellCount; ++c) {
            if (board_[size_t(c)] == Free) continue;
            for (int d = 0; d < DirectionCount; ++d) {
                int run = 1;
                for (int k = 1; k < 5; ++k) {
                    int r = c / BoardSize + k * RowStep[size_t(d)],
                        col = c % BoardSize + k * ColumnStep[size_t(d)];
                    if (r >= BoardSize || col < 0 || col >= BoardSize ||
                        board_[size_t(r * BoardSize + col)] != board_[size_t(c)])
                        break;
                    ++run;
                }
                if (run >= 5) return board_[size_t(c)] == Own ? "this engine" : "the opponent";
            }
        }
        return nullptr;
    }

    void newGame() {
        board_.fill(Free);
        // Each game starts from an empty table and history, so a game replays the same way
        // whatever came before it in the session.
        if (!options_.classic) tournamentSearcher().clear();
        timeLeft_ = NoTimeLeft;
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
            maxMemory_ = n[0];
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
        std::array<uint8_t, CellCount> fresh{};
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
                board_ = fresh;
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
            else if (fresh[n[1] * BoardSize + n[0]] != Free)
                ignore(t, "cell already given");
            else
                fresh[n[1] * BoardSize + n[0]] = uint8_t(n[2]);
        }
        reply("ERROR BOARD ended without DONE; the position is unchanged");
        return true;
    }

    void play(int64_t arrival) {
        if (!ready()) return;
        // A stop request belongs to the move it interrupts; once input has ended every
        // request is answered at once.
        if (!ending_) clearStop();
        thinking_ = true;
        struct Done {
            std::atomic<bool> &flag;
            ~Done() { flag = false; }
        } done{thinking_};
        if (std::count(board_.begin(), board_.end(), Free) == 0) {
            reply("ERROR the board is full");
            return;
        }
        if (const char *who = fiveOnBoard())
            reply(std::string("MESSAGE the board already holds a five of ") + who +
                  "; playing on with a legal move");
        if (!options_.classic) {
            playArena(arrival);
            return;
        }
        EngineState &e = engineState();
        PositionInput input;
        for (int c = 0; c < CellCount; ++c)
            input.board[c] = board_[c] == Own ? 'X' : board_[c] == Opponent ? 'O' : '-';
        input.sideLetter = 'X'; // our stones; colours follow from the stone counts
        normaliseColours(input);
        preparePosition(e, input);
        // Vary the choices from move to move: by the clock, or with a fixed seed by the number
        // of stones, so a replayed session with node or depth limits plays the same moves.
        if (options_.fixedSeed)
            e.RandomSeed = options_.seed ^ (uint32_t(e.MoveHistory.count) * 2654435761u);
        else
            e.RandomSeed ^= uint32_t(arrival) * 2654435761u;
        e.NodeLimit = maxNodes_;
        e.MaxIterations = int32_t(std::clamp<int64_t>(maxDepth_, 0, 1000));
        e.ClockOrigin = arrival;
        e.DeadlineOverride =
            pbrainMoveBudget(timeoutTurn_, timeoutMatch_, timeLeft_, e.MoveHistory.count);
        if (options_.maxMoveMs >= 0)
            e.DeadlineOverride = int32_t(std::min<int64_t>(e.DeadlineOverride, options_.maxMoveMs));
        e.TotalNodes = 0;
        e.IterationNumber = 0;
        e.IterationLine[0] = 0;
        Progress progress(*this, arrival);
        const int move = chooseMove(e, &progress);
        board_[move] = Own;
        std::ostringstream message;
        message << "MESSAGE";
        if (e.MoveHistory.count == 0) {
            message << " opening move, chosen without search";
        } else {
            message << progressText(e, e.TotalNodes, arrival);
        }
        e.TotalNodes = 0;
        reply(message.str());
        reply(std::to_string(move % BoardSize) + "," + std::to_string(move / BoardSize));
        // The table is emptied now, while the opponent thinks, not when the next move's
        // clock is already running.
        transpositionTable().clear();
    }

    // The tournament engine's move: the pattern board of the position, the engine's colour
    // to move, a search within the move's times, then the MESSAGE and the move.
    struct ArenaProgress : tournament::Observer {
        Session &session;
        explicit ArenaProgress(Session &s) : session(s) {}
        void iterationDone(const tournament::Iteration &it) override {
            session.reply("MESSAGE" + arenaText(it));
            if (it.pvLength >= 1) session.reply("MESSAGE REALTIME BEST " + arenaCell(it.pv[0]));
        }
    };
    static std::string arenaCell(int p) {
        return std::to_string(tournament::columnOf(p)) + "," + std::to_string(tournament::rowOf(p));
    }
    static std::string arenaText(const tournament::Iteration &it) {
        std::ostringstream text;
        text << " depth " << it.depth << "-" << it.selDepth << " nodes " << it.nodes << " nps "
             << (it.ms > 0 ? it.nodes * 1000 / it.ms : 0) << " value ";
        if (const int n = tournament::winDistance(it.value))
            text << (n > 0 ? "win in " : "loss in ") << std::abs(n);
        else
            text << it.value;
        text << " line";
        for (int i = 0; i < it.pvLength; ++i)
            text << ' ' << arenaCell(it.pv[size_t(i)]);
        return text.str();
    }

    void playArena(int64_t arrival) {
        const int stones = int(CellCount - std::count(board_.begin(), board_.end(), Free));
        const tournament::Colour own = stones % 2 == 0 ? tournament::Black : tournament::White;
        std::array<char, CellCount> cells{};
        for (int c = 0; c < CellCount; ++c)
            cells[size_t(c)] = board_[size_t(c)] == Free                               ? '-'
                               : (board_[size_t(c)] == Own) == (own == tournament::Black) ? 'X'
                                                                                       : 'O';
        tournament::PatternBoard &board = *arenaBoard_;
        board.setUp(cells);
        board.setToMove(own);
        tournament::Limits limits;
        limits.clockOrigin = arrival;
        limits.maxNodes = maxNodes_;
        limits.maxDepth = int(std::clamp<int64_t>(maxDepth_, 0, tournament::MaxPly));
        const MoveTimes times = tournamentMoveTimes(timeoutTurn_, timeoutMatch_, timeLeft_, stones);
        limits.optimumMs = times.optimum;
        limits.maximumMs = times.maximum;
        if (options_.maxMoveMs >= 0) {
            limits.optimumMs = std::min(limits.optimumMs, options_.maxMoveMs);
            limits.maximumMs = std::min(limits.maximumMs, options_.maxMoveMs);
        }
        // With a node or depth limit the clock does not cut the search: a replayed session
        // plays the same moves.
        if (maxNodes_ > 0 || maxDepth_ > 0) limits.optimumMs = limits.maximumMs = -1;
        ArenaProgress progress(*this);
        const tournament::Result r = tournamentSearcher().think(board, limits, &progress);
        const int move = tournament::rowOf(r.move) * BoardSize + tournament::columnOf(r.move);
        board_[size_t(move)] = Own;
        std::string message = "MESSAGE";
        if (r.last.depth > 0)
            message += arenaText(r.last);
        else
            message += std::string(" ") + r.reason + ", chosen without search";
        reply(message);
        reply(std::to_string(move % BoardSize) + "," + std::to_string(move / BoardSize));
    }

    std::istream &in_;
    std::ostream &out_;
    PbrainOptions options_;
    std::unique_ptr<tournament::PatternBoard> arenaBoard_;
    std::string arenaError_;
    size_t tournamentTableBytes_ = 0;
    LineQueue queue_;
    std::mutex outputMutex_;
    std::atomic<bool> thinking_{false}, ending_{false};
    std::array<uint8_t, CellCount> board_{};
    bool tableReady_ = false, engineReady_ = false;
    int64_t timeoutTurn_ = DefaultTurnMs, timeoutMatch_ = DefaultMatchMs, timeLeft_ = NoTimeLeft,
            maxMemory_ = 0, maxNodes_ = 0, maxDepth_ = 0;
};

} // namespace

int pbrainTableBits(int64_t maxMemory) {
    if (maxMemory <= 0) return TranspositionTable::FullBits;
    const int64_t rest = PbrainBaseMemory;
    for (int bits = TranspositionTable::FullBits; bits >= TranspositionTable::SmallestBits; --bits)
        if (rest + int64_t(TranspositionTable::bytesFor(bits)) <= maxMemory) return bits;
    return -1;
}

int32_t pbrainMoveBudget(int64_t timeoutTurn, int64_t timeoutMatch, int64_t timeLeft, int stones) {
    // timeout_turn 0 asks for an answer at once, and so does a time_left at or below zero;
    // only timeout_match 0 means no match limit.
    if (timeoutTurn == 0) return 0;
    if (timeLeft != NoTimeLeft && timeLeft <= 0) return 0;
    int64_t budget = std::numeric_limits<int32_t>::max();
    if (timeoutTurn > 0) budget = timeoutTurn - PbrainSafetyMs;
    int64_t match = timeLeft != NoTimeLeft ? timeLeft : timeoutMatch;
    if (match > 0) {
        const int64_t capped = std::min<int64_t>(match, std::numeric_limits<int32_t>::max());
        // The same Poisson model as the exchange engine, fed with the time that is left.
        int64_t perMove =
            timeBudgetMs(std::numeric_limits<int32_t>::max() / 1000, int32_t(capped), stones);
        budget = std::min(budget, perMove);
        budget = std::min(budget, match - PbrainSafetyMs);
    }
    return int32_t(std::clamp<int64_t>(budget, 0, std::numeric_limits<int32_t>::max()));
}

int64_t tournamentTableBytes(int64_t maxMemory) {
    if (maxMemory <= 0) return TournamentDefaultTable;
    int64_t bytes = TournamentDefaultTable;
    while (bytes >= (int64_t(1) << 20) && TournamentBaseMemory + bytes > maxMemory)
        bytes /= 2;
    return bytes >= (int64_t(1) << 20) ? bytes : -1;
}

MoveTimes tournamentMoveTimes(int64_t timeoutTurn, int64_t timeoutMatch, int64_t timeLeft, int stones) {
    MoveTimes t;
    t.maximum = pbrainMoveBudget(timeoutTurn, timeoutMatch, timeLeft, stones);
    if (t.maximum == 0) return t;
    // The match share is the optimum; the maximum may reach three shares, within the turn
    // limit and a quarter of what is left of the match.
    const int64_t turnCap =
        timeoutTurn > 0 ? timeoutTurn - PbrainSafetyMs : std::numeric_limits<int32_t>::max();
    const int64_t match = timeLeft != NoTimeLeft ? timeLeft : timeoutMatch;
    if (match > 0) {
        t.optimum = t.maximum;
        t.maximum = std::min({turnCap, 3 * t.optimum, (match - PbrainSafetyMs) / 4});
        t.maximum = std::max(t.maximum, t.optimum);
    } else {
        t.maximum = std::max<int64_t>(turnCap, 0);
        t.optimum = t.maximum * tournament::searchParams().turnOptimumPercent / 100;
    }
    return t;
}

int runPbrain(std::istream &in, std::ostream &out, const PbrainOptions &options) {
    return Session(in, out, options).run();
}

} // namespace pentad

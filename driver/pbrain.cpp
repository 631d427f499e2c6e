#include "driver/pbrain.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "board/engine_state.h"
#include "engine/engine.h"
#include "engine/tournament.h"
#include "platform/platform.h"
#include "search/search.h"
#include "search/transposition.h"

namespace pentad {
namespace {

constexpr int DefaultTurnMs = 30000; // limits when the manager sends none
constexpr int DefaultMatchMs = 180000;
constexpr const char *Version = "0.1.0";

enum Owner : uint8_t { Free = 0, Own = 1, Opponent = 2 };

std::string upper(std::string s) {
    for (char &c : s)
        c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
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

// Reads one line ending in LF, CR LF or CR; false at the end of input with nothing read.
bool readLine(std::istream &in, std::string &line) {
    line.clear();
    int ch;
    bool any = false;
    while ((ch = in.get()) != EOF) {
        any = true;
        if (ch == '\n') return true;
        if (ch == '\r') {
            if (in.peek() == '\n') in.get();
            return true;
        }
        line += char(ch);
    }
    return any;
}

class Session {
public:
    Session(std::istream &in, std::ostream &out, const PbrainOptions &options)
        : in_(in), out_(out), options_(options) {
        board_.fill(Free);
    }

    int run() {
        tableReady_ = transpositionTable().allocate();
        engineReady_ = startEngine(engineState(), uint32_t(wallClockSeconds()));
        std::string line;
        while (readLine(in_, line)) {
            if (!handle(line)) return 0;
        }
        return 0;
    }

private:
    void reply(const std::string &text) {
        out_ << text << '\n';
        out_.flush();
    }

    // Whether the engine can play: tables, memory and the manager's memory limit.
    bool ready() {
        if (!engineReady_) {
            reply("ERROR the engine's line-pattern tables are missing");
            return false;
        }
        if (!tableReady_) {
            reply("ERROR not enough memory for the transposition table");
            return false;
        }
        if (maxMemory_ > 0 && maxMemory_ < PbrainMemoryNeed) {
            reply("ERROR max_memory " + std::to_string(maxMemory_) + " is below the " +
                  std::to_string(PbrainMemoryNeed / (1024 * 1024)) + " MB the engine needs");
            return false;
        }
        return true;
    }

    bool onBoard(long long x, long long y) const {
        return x >= 0 && x < BoardSize && y >= 0 && y < BoardSize;
    }

    // Returns false for END.
    bool handle(const std::string &raw) {
        const int64_t arrival = processClockMs();
        std::string line = trim(raw);
        if (line.empty()) return true;
        size_t space = line.find_first_of(" \t");
        std::string command = upper(line.substr(0, space));
        std::string rest = space == std::string::npos ? "" : trim(line.substr(space));
        if (command == "END") return false;
        if (command == "ABOUT") {
            reply(std::string("name=\"Pentad\", version=\"") + Version +
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
                reply("ERROR TURN needs x,y on the board, got '" + rest + "'");
            else if (board_[n[1] * BoardSize + n[0]] != Free)
                reply("ERROR TURN " + rest + " is on an occupied cell");
            else {
                board_[n[1] * BoardSize + n[0]] = Opponent;
                play(arrival);
            }
        } else if (command == "BOARD") {
            readBoard(arrival);
        } else if (command == "TAKEBACK") {
            std::vector<long long> n;
            if (!parseNumbers(rest, n, 2) || !onBoard(n[0], n[1]))
                reply("ERROR TAKEBACK needs x,y on the board");
            else if (board_[n[1] * BoardSize + n[0]] == Free)
                reply("ERROR TAKEBACK " + rest + " names an empty cell");
            else {
                board_[n[1] * BoardSize + n[0]] = Free;
                reply("OK");
            }
        } else if (command == "DONE") {
            reply("ERROR DONE without BOARD");
        } else {
            reply("UNKNOWN " + command);
        }
        return true;
    }

    void newGame() {
        board_.fill(Free);
        timeLeft_ = -1;
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
        // game_type, rule and folder change nothing: every game is free-style on one board.
    }

    // BOARD: x,y,f lines until DONE. A line that is a command ends the BOARD unfinished:
    // the previous board stays and the line is handled as a command.
    void readBoard(int64_t arrival) {
        std::array<uint8_t, CellCount> fresh{};
        std::string line;
        while (readLine(in_, line)) {
            std::string t = trim(line);
            if (t.empty()) continue;
            if (upper(t) == "DONE") {
                board_ = fresh;
                play(arrival);
                return;
            }
            if (std::isalpha(static_cast<unsigned char>(t[0]))) {
                reply("ERROR BOARD ended without DONE; the position is unchanged");
                handle(t);
                return;
            }
            std::vector<long long> n;
            if (!parseNumbers(t, n, 3) || !onBoard(n[0], n[1]) || n[2] < 1 || n[2] > 3) {
                reply("ERROR bad BOARD line '" + t + "' (x,y,1 or x,y,2)");
            } else if (n[2] == 3) {
                reply("ERROR continuous-game stones (field 3) are not supported");
            } else if (fresh[n[1] * BoardSize + n[0]] != Free) {
                reply("ERROR BOARD line '" + t + "' names an occupied cell");
            } else {
                fresh[n[1] * BoardSize + n[0]] = uint8_t(n[2]);
            }
        }
        reply("ERROR BOARD ended without DONE; the position is unchanged");
    }

    void play(int64_t arrival) {
        if (!ready()) return;
        if (std::count(board_.begin(), board_.end(), Free) == 0) {
            reply("ERROR the board is full");
            return;
        }
        EngineState &e = engineState();
        PositionInput input;
        for (int c = 0; c < CellCount; ++c)
            input.board[c] = board_[c] == Own ? 'X' : board_[c] == Opponent ? 'O' : '-';
        input.sideLetter = 'X'; // our stones; colours follow from the stone counts
        normaliseColours(input);
        preparePosition(e, input);
        e.RandomSeed ^= uint32_t(arrival) * 2654435761u; // vary the choices from move to move
        e.ClockOrigin = arrival;
        e.DeadlineOverride =
            pbrainMoveBudget(timeoutTurn_, timeoutMatch_, timeLeft_, e.MoveHistory.count);
        e.TotalNodes = 0;
        e.IterationNumber = 0;
        e.IterationLine[0] = 0;
        MoveReport report;
        int move = options_.classic ? chooseMove(e) : chooseTournamentMove(e, report);
        board_[move] = Own;
        int64_t ms = processClockMs() - arrival;
        std::ostringstream message;
        auto cell = [](int c) {
            return std::to_string(c % BoardSize) + "," + std::to_string(c / BoardSize);
        };
        message << "MESSAGE level " << e.IterationNumber << " nodes " << e.TotalNodes << " nps "
                << (ms > 0 ? e.TotalNodes * 1000 / ms : 0) << " value " << e.BestScore << " line";
        for (int i = 1; i <= e.IterationLine[0]; ++i)
            message << ' ' << cell(e.IterationLine[i]);
        if (!options_.classic) {
            message << " | mode tournament decided " << moveSourceName(report.source)
                    << " solver nodes " << report.solverNodes << " ms " << report.solverMs;
            if (report.line.win) {
                message << " win";
                for (int i = 0; i < report.line.lineLength; ++i)
                    message << ' ' << cell(report.line.line[size_t(i)]);
            }
            if (report.opponentThreat) message << " threat refutations " << report.refutations;
        }
        e.TotalNodes = 0;
        reply(message.str());
        reply(std::to_string(move % BoardSize) + "," + std::to_string(move / BoardSize));
    }

    std::istream &in_;
    std::ostream &out_;
    PbrainOptions options_;
    std::array<uint8_t, CellCount> board_{};
    bool tableReady_ = false, engineReady_ = false;
    int64_t timeoutTurn_ = DefaultTurnMs, timeoutMatch_ = DefaultMatchMs, timeLeft_ = -1,
            maxMemory_ = 0;
};

} // namespace

int32_t pbrainMoveBudget(int64_t timeoutTurn, int64_t timeoutMatch, int64_t timeLeft, int stones) {
    // timeout_turn 0 asks for an answer at once; timeout_match 0 means no match limit.
    if (timeoutTurn == 0) return 0;
    int64_t budget = std::numeric_limits<int32_t>::max();
    if (timeoutTurn > 0) budget = timeoutTurn - PbrainSafetyMs;
    int64_t match = timeLeft >= 0 ? timeLeft : timeoutMatch;
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

int runPbrain(std::istream &in, std::ostream &out, const PbrainOptions &options) {
    return Session(in, out, options).run();
}

} // namespace pentad

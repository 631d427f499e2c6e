#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include "driver/pbrain.h"
#include "engine/classic_engine.h"
#include "engine/tournament_engine.h"
#include "tests/test_support.h"

namespace pentad {
namespace {

// Feeds a whole script and collects every line the engine printed.
std::vector<std::string> session(const std::string &script, const std::string &options = "") {
    test::ScratchDir dir;
    dir.write("script.txt", script);
    test::RunResult r = test::runIn(dir.path(), test::pbrainCommand() + options + " < script.txt");
    EXPECT_EQ(r.status, 0);
    std::vector<std::string> lines;
    std::string line;
    for (char c : r.output) {
        if (c == '\n') {
            lines.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    if (!line.empty()) lines.push_back(line);
    return lines;
}

// The engine's replies without its MESSAGE lines.
std::vector<std::string> answers(const std::vector<std::string> &lines) {
    std::vector<std::string> out;
    for (const auto &l : lines)
        if (l.rfind("MESSAGE", 0) != 0) out.push_back(l);
    return out;
}

bool isMove(const std::string &s, int &x, int &y) {
    char tail;
    return std::sscanf(s.c_str(), "%d,%d%c", &x, &y, &tail) == 2 && x >= 0 && x < 20 && y >= 0 &&
           y < 20;
}

TEST(Pbrain, CommandsAndLineEndings) {
    auto lines = session(
        "about\r\n"
        "INFO timeout_turn 300\rINFO timeout_match 100000\n"
        "INFO max_memory 0\nINFO game_type 1\nINFO rule 0\nINFO folder /tmp\nINFO colour red\n"
        "START 20\r\n"
        "BEGIN\n"
        "TURN 0,0\n"
        "TAKEBACK 0,0\n"
        "restart\n"
        "BOARD\n10,10,1\n11,11,2\n10,11,1\ndone\n"
        "hello\n"
        "END\n"
        "ABOUT\n");
    auto a = answers(lines);
    ASSERT_EQ(a.size(), 8u) << ::testing::PrintToString(lines);
    EXPECT_EQ(a[0].rfind("name=\"Pentad\", version=\"", 0), 0u);
    EXPECT_NE(a[0].find("author=\""), std::string::npos);
    EXPECT_NE(a[0].find("country=\""), std::string::npos);
    EXPECT_EQ(a[1], "OK");
    int x, y;
    EXPECT_TRUE(isMove(a[2], x, y)) << a[2];
    EXPECT_GE(x, 7);
    EXPECT_LE(x, 12);
    EXPECT_TRUE(isMove(a[3], x, y)) << a[3];
    EXPECT_EQ(a[4], "OK");
    EXPECT_EQ(a[5], "OK");
    EXPECT_TRUE(isMove(a[6], x, y)) << a[6];
    EXPECT_FALSE((x == 10 && y == 10) || (x == 11 && y == 11) || (x == 10 && y == 11));
    EXPECT_EQ(a[7].rfind("UNKNOWN", 0), 0u);
    // Every move comes right after its summary MESSAGE (progress lines may come before).
    int moves = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        if (!isMove(lines[i], x, y)) continue;
        ++moves;
        EXPECT_EQ(lines[i - 1].rfind("MESSAGE", 0), 0u) << lines[i];
    }
    EXPECT_EQ(moves, 3);
}

TEST(Pbrain, BadInputAnswersErrorAndKeepsGoing) {
    auto lines = session("INFO timeout_turn 300\n"
                         "START 15\n"
                         "START 20\n"
                         "TURN 20,3\n"
                         "TURN 3\n"
                         "TURN 5,5\n"
                         "TURN 5,5\n" // occupied now
                         "TAKEBACK 1,1\n"
                         "BOARD\n1,1,1\n1,1,2\n7,x,1\nxyz\n2,2,3\nDONE\n"
                         "BOARD\n4,4,1\nTURN 9,9\n"
                         "DONE\n"
                         "END\n");
    bool named = false;
    for (const auto &l : lines)
        named |= l.rfind("MESSAGE BOARD lines ignored: 4", 0) == 0;
    EXPECT_TRUE(named);
    auto a = answers(lines);
    ASSERT_EQ(a.size(), 11u) << ::testing::PrintToString(a);
    EXPECT_EQ(a[0].rfind("ERROR", 0), 0u);
    EXPECT_EQ(a[1], "OK");
    EXPECT_EQ(a[2].rfind("ERROR", 0), 0u);
    EXPECT_EQ(a[3].rfind("ERROR", 0), 0u);
    int x, y;
    EXPECT_TRUE(isMove(a[4], x, y));
    EXPECT_EQ(a[5].rfind("ERROR", 0), 0u); // 5,5 is taken
    EXPECT_EQ(a[6].rfind("ERROR", 0), 0u); // nothing at 1,1
    // A BOARD answers one line, the move; the lines it could not use (1,1 twice, a bad
    // line, a stray word, field 3) are named in a MESSAGE.
    EXPECT_TRUE(isMove(a[7], x, y));
    EXPECT_EQ(a[8].rfind("ERROR", 0), 0u); // BOARD without DONE
    EXPECT_TRUE(isMove(a[9], x, y));       // the TURN inside it still counts
    EXPECT_EQ(a[10], "ERROR DONE without BOARD");
}

TEST(Pbrain, SmallerMemoryLimitsGetASmallerTable) {
    constexpr int64_t MB = 1024 * 1024;
    EXPECT_EQ(classicTableBits(0), 23);
    EXPECT_EQ(classicTableBits(112 * MB), 23);
    EXPECT_EQ(classicTableBits(64 * MB), 22); // 48 MB of table
    EXPECT_EQ(classicTableBits(1 * MB), -1);
    auto lines = session("INFO max_memory 67108864\nSTART 20\nINFO timeout_turn 200\nBEGIN\n"
                         "TURN 11,11\nEND\n",
                         " --classic");
    auto a = answers(lines);
    ASSERT_EQ(a.size(), 3u);
    EXPECT_EQ(a[0], "OK");
    EXPECT_EQ(lines[0].rfind("MESSAGE max_memory 67108864: transposition table of 48 MB", 0), 0u);
}

TEST(Pbrain, MemoryLimitIsReportedOnTheNextCommand) {
    auto a =
        answers(session("INFO max_memory 1000000\nSTART 20\nINFO max_memory 0\nSTART 20\nEND\n"));
    ASSERT_EQ(a.size(), 2u);
    EXPECT_EQ(a[0].rfind("ERROR max_memory", 0), 0u);
    EXPECT_EQ(a[1], "OK");
}

// The tournament engine answers as the other modes do: legal moves with its MESSAGE line, a
// table cut to max_memory, and an error when even the smallest does not fit.
TEST(Pbrain, TournamentEnginePlaysWithinItsMemory) {
    auto lines = session("INFO max_memory 40000000\nSTART 20\nINFO timeout_turn 300\nBEGIN\n"
                         "TURN 10,10\nINFO max_memory 1000\nTURN 12,12\nEND\n");
    auto a = answers(lines);
    ASSERT_EQ(a.size(), 4u);
    EXPECT_EQ(a[0], "OK");
    int x, y, x2, y2;
    ASSERT_TRUE(isMove(a[1], x, y));
    ASSERT_TRUE(isMove(a[2], x2, y2));
    EXPECT_NE(std::make_pair(x2, y2), std::make_pair(10, 10));
    EXPECT_NE(std::make_pair(x2, y2), std::make_pair(x, y));
    EXPECT_EQ(a[3].rfind("ERROR max_memory 1000", 0), 0u);
    EXPECT_EQ(lines[0], "MESSAGE max_memory 40000000: transposition table of 16 MB");
    bool depthShown = false;
    for (const auto &l : lines)
        depthShown |= l.rfind("MESSAGE depth ", 0) == 0 && l.find(" line ") != std::string::npos;
    EXPECT_TRUE(depthShown);
    EXPECT_EQ(tournamentTableBytes(0), TournamentDefaultTable);
    EXPECT_EQ(tournamentTableBytes(18ll << 20), 2ll << 20);
    EXPECT_EQ(tournamentTableBytes(16ll << 20), -1);
    // A network's feature table is counted beside the base: 40 MB then leave a table of 8.
    EXPECT_EQ(tournamentTableBytes(40ll << 20, (16ll << 20) + (13ll << 20)), 8ll << 20);
}

// With a node limit the tournament engine's clock is off: a replayed session plays the same moves,
// and a new game does not remember the last one.
TEST(Pbrain, TournamentEngineReplaysWithANodeLimit) {
    const std::string script = "START 20\nINFO max_node 3000\nBOARD\n9,9,2\n10,10,1\n9,10,2\nDONE\n"
                               "TURN 11,11\nTURN 8,8\nRESTART\nBOARD\n9,9,2\n10,10,1\n9,10,2\n"
                               "DONE\nEND\n";
    auto first = answers(session(script));
    auto second = answers(session(script));
    ASSERT_EQ(first.size(), 6u);
    EXPECT_EQ(first, second);
    EXPECT_EQ(first[1], first[5]); // the same position after RESTART: the same move
}

TEST(Pbrain, TournamentEngineMoveTimes) {
    const MoveTimes fixed = tournamentMoveTimes(1000, 0, NoTimeLeft, 10);
    EXPECT_EQ(fixed.maximum, 1000 - SafetyMs);
    EXPECT_EQ(fixed.optimum, fixed.maximum * 3 / 5);
    const MoveTimes match = tournamentMoveTimes(30000, 180000, 90000, 40);
    EXPECT_GT(match.optimum, 0);
    EXPECT_LE(match.maximum, 90000 / 4);
    EXPECT_GE(match.maximum, match.optimum);
    EXPECT_EQ(tournamentMoveTimes(0, 180000, NoTimeLeft, 10).maximum, 0);
}

TEST(Pbrain, MoveBudgets) {
    EXPECT_EQ(moveBudget(0, 100000, NoTimeLeft, 10), 0);             // as fast as possible
    EXPECT_EQ(moveBudget(1000, 0, NoTimeLeft, 10), 1000 - SafetyMs); // no match limit
    EXPECT_EQ(moveBudget(-1, 180000, NoTimeLeft, 0), 6923);          // the Poisson model
    EXPECT_EQ(moveBudget(5000, 180000, 26000, 0), 1000);             // fed with time_left
    EXPECT_EQ(moveBudget(5000, 180000, 30, 0), 0);                   // nearly out of time
    EXPECT_LE(moveBudget(1000, 1000000, NoTimeLeft, 300), 1000 - SafetyMs);
    // No time left at all, or less than none: answer at once.
    EXPECT_EQ(moveBudget(1000, 180000, 0, 10), 0);
    EXPECT_EQ(moveBudget(1000, 0, -5, 10), 0);
}

// A pbrain process driven line by line.
class Engine {
public:
    Engine() {
        int toChild[2], fromChild[2];
        EXPECT_EQ(pipe(toChild), 0);
        EXPECT_EQ(pipe(fromChild), 0);
        pid_ = fork();
        EXPECT_GE(pid_, 0);
        if (pid_ == 0) {
            dup2(toChild[0], 0);
            dup2(fromChild[1], 1);
            close(toChild[1]);
            close(fromChild[0]);
            const std::string command = "exec " + test::pbrainCommand();
            execl("/bin/sh", "sh", "-c", command.c_str(), nullptr);
            _exit(127);
        }
        close(toChild[0]);
        close(fromChild[1]);
        in_ = toChild[1];
        out_ = fromChild[0];
    }
    ~Engine() {
        close(in_);
        close(out_);
        if (pid_ > 0) { // never -1: that would signal every process we may signal
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
    }
    void send(const std::string &line) { sendRaw(line + "\n"); }
    void sendRaw(const std::string &bytes) {
        size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = write(in_, bytes.data() + done, bytes.size() - done);
            ASSERT_GT(n, 0);
            done += size_t(n);
        }
    }
    // The next line that is not a MESSAGE, waiting at most `ms`; "" on a timeout.
    std::string reply(int ms) {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            size_t nl;
            while ((nl = buffer_.find('\n')) != std::string::npos) {
                std::string line = buffer_.substr(0, nl);
                buffer_.erase(0, nl + 1);
                if (line.rfind("MESSAGE", 0) != 0) return line;
            }
            int left = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                               deadline - std::chrono::steady_clock::now())
                               .count());
            if (left <= 0) return "";
            pollfd p{out_, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) return "";
            char chunk[4096];
            ssize_t n = read(out_, chunk, sizeof chunk);
            if (n <= 0) return "";
            buffer_.append(chunk, size_t(n));
        }
    }
    bool exitsWithin(int ms) {
        for (int waited = 0; waited <= ms; waited += 10) {
            if (waitpid(pid_, nullptr, WNOHANG) == pid_) {
                pid_ = -1;
                return true;
            }
            usleep(10000);
        }
        return false;
    }

private:
    pid_t pid_ = -1;
    int in_ = -1, out_ = -1;
    std::string buffer_;
};

bool fiveAt(const std::vector<int> &board, int cell) {
    const int side = board[cell];
    const int steps[4][2] = {{0, 1}, {1, 1}, {1, 0}, {1, -1}};
    for (auto [dr, dc] : steps) {
        int n = 1;
        for (int sign : {1, -1}) {
            int r = cell / 20 + dr * sign, c = cell % 20 + dc * sign;
            while (r >= 0 && r < 20 && c >= 0 && c < 20 && board[r * 20 + c] == side) {
                ++n;
                r += dr * sign;
                c += dc * sign;
            }
        }
        if (n >= 5) return true;
    }
    return false;
}

TEST(Pbrain, TwoEnginesPlayAGameToFiveWithinTheTurnLimit) {
    Engine players[2];
    for (Engine &p : players) {
        p.send("INFO timeout_turn 1000");
        p.send("INFO timeout_match 60000");
        p.send("START 20");
        ASSERT_EQ(p.reply(3000), "OK");
    }
    std::vector<int> board(400, 0);
    int worst = 0, move = -1;
    bool five = false;
    for (int ply = 0; ply < 400 && !five; ++ply) {
        Engine &p = players[ply % 2];
        auto start = std::chrono::steady_clock::now();
        if (ply == 0)
            p.send("BEGIN");
        else
            p.send("TURN " + std::to_string(move % 20) + "," + std::to_string(move / 20));
        std::string answer = p.reply(5000);
        int elapsed = int(std::chrono::duration_cast<std::chrono::milliseconds>(
                              std::chrono::steady_clock::now() - start)
                              .count());
        worst = std::max(worst, elapsed);
        int x, y;
        ASSERT_TRUE(isMove(answer, x, y)) << "ply " << ply << ": '" << answer << "'";
        move = y * 20 + x;
        ASSERT_EQ(board[move], 0) << "illegal move at ply " << ply;
        board[move] = ply % 2 + 1;
        five = fiveAt(board, move);
    }
    EXPECT_TRUE(five);
    EXPECT_LE(worst, 1000 + 60) << "slowest answer in ms";
    players[0].send("END");
    EXPECT_TRUE(players[0].exitsWithin(500));
}

// Each fault a hostile but fair manager could trip over, on a live pipe.
TEST(PbrainReliability, CarriageReturnsTimeLeftEchoesStopAndEnd) {
    {
        // A lone CR ends its line at once: no wait for a byte that may never come.
        Engine p;
        p.sendRaw("START 20\r");
        EXPECT_EQ(p.reply(1000), "OK");
        p.sendRaw("INFO timeout_turn 300\rTURN 10,10\r");
        int x, y;
        EXPECT_TRUE(isMove(p.reply(2000), x, y));
        // No time left answers at once, whatever the turn limit.
        p.send("INFO timeout_turn 5000");
        p.send("INFO time_left 0");
        auto start = std::chrono::steady_clock::now();
        p.send("TURN 11,11");
        EXPECT_TRUE(isMove(p.reply(3000), x, y));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
        // A huge line is answered with its start only.
        p.send(std::string(1 << 20, 'z'));
        EXPECT_LE(p.reply(3000).size(), 64u);
        // A stop request makes a long search answer now; END ends a search at once.
        p.send("INFO time_left 100000");
        p.send("INFO timeout_turn 20000");
        p.send("TURN 12,12");
        usleep(200000);
        start = std::chrono::steady_clock::now();
        p.send("yxstop");
        EXPECT_TRUE(isMove(p.reply(1000), x, y));
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(300));
        p.send("TURN 13,13");
        usleep(200000);
        p.send("END");
        EXPECT_TRUE(p.exitsWithin(100 + 50));
    }
    // A board that already holds a five is said, and a legal move still comes.
    auto lines = session("START 20\nBOARD\n3,3,2\n4,3,2\n5,3,2\n6,3,2\n7,3,2\n9,9,1\n"
                         "10,9,1\nDONE\nEND\n");
    bool said = false;
    for (const auto &l : lines)
        said |= l.find("already holds a five of the opponent") != std::string::npos;
    EXPECT_TRUE(said);
    auto a = answers(lines);
    int x, y;
    ASSERT_EQ(a.size(), 2u);
    EXPECT_TRUE(isMove(a[1], x, y));
}

} // namespace
} // namespace pentad

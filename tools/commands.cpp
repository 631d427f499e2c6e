#include "tools/commands.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "board/pattern_tables.h"
#include "book/opening.h"
#include "book/opening_book.h"
#include "driver/exchange.h"
#include "resources/platform.h"
#include "search/search.h"
#include "search/transposition.h"
#include "threats/generator.h"
#include "tools/bench.h"
#include "tools/book_builder.h"
#include "tools/diagnostics.h"
#include "tools/harness.h"
#include "tools/pattern_rules.h"

namespace pentad {
namespace {

constexpr const char *Usage =
    "usage: pentad-tools COMMAND [ARGS]\n"
    "commands:\n"
    "  tables [DIR]            derive the line-pattern tables and write DIR/whites.bin and\n"
    "                          DIR/sec4.bin (default DIR: resources)\n"
    "  show DIR                print DIR/plocha.dat with the move in DIR/tah.dat marked\n"
    "  state DIR [--seed S]    build the position of DIR as the engine does and print its\n"
    "                          derived state as one line of JSON\n";

// Options of the form --name VALUE after the positional arguments.
struct Options {
    int argc;
    char **argv;
    int first;

    const char *value(std::string_view name) const {
        for (int i = first; i + 1 < argc; ++i)
            if (name == argv[i]) return argv[i + 1];
        return nullptr;
    }
    bool flag(std::string_view name) const {
        for (int i = first; i < argc; ++i)
            if (name == argv[i]) return true;
        return false;
    }
    bool number(std::string_view name, long long &out) const {
        const char *v = value(name);
        if (!v) return true;
        char *end = nullptr;
        long long parsed = std::strtoll(v, &end, 10);
        if (end == v || *end != '\0') {
            std::fprintf(stderr, "pentad-tools: %.*s needs a number, got '%s'\n", int(name.size()),
                         name.data(), v);
            return false;
        }
        out = parsed;
        return true;
    }
};

bool writeFile(const std::filesystem::path &path, const uint8_t *data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
    return bool(out);
}

int commandTables(int argc, char **argv) {
    std::filesystem::path dir = argc > 2 ? argv[2] : "resources";
    PatternTableSet t = derivePatternTables();
    std::vector<uint8_t> whites(t.lineClass.begin(), t.lineClass.end());
    whites.insert(whites.end(), t.upgradeCells.begin(), t.upgradeCells.end());
    whites.insert(whites.end(), t.defenceCells.begin(), t.defenceCells.end());
    bool ok = writeFile(dir / "whites.bin", whites.data(), whites.size()) &&
              writeFile(dir / "sec4.bin", t.secondaryCells.data(), t.secondaryCells.size());
    if (!ok) {
        std::fprintf(stderr, "pentad-tools: cannot write the tables into %s\n",
                     dir.string().c_str());
        return 1;
    }
    std::printf("wrote %s and %s\n", (dir / "whites.bin").string().c_str(),
                (dir / "sec4.bin").string().c_str());
    return 0;
}

} // namespace

// Builds the position of DIR exactly as the engine does, with a fixed seed in place of the
// start time. Prints an error and returns false when the files cannot be used.
bool loadToolPosition(const char *dir, long long seed, EngineState &e) {
    ExchangeInput in;
    std::string error;
    if (!readExchangeFiles(dir, in, error)) {
        std::fputs(error.c_str(), stderr);
        return false;
    }
    normaliseColours(in);
    if (!setupPosition(e, in, uint32_t(seed))) {
        std::fputs("pentad-tools: line-pattern tables missing\n", stderr);
        return false;
    }
    return true;
}

namespace {

template <typename Array> void printNumbers(const Array &values, size_t count) {
    std::putchar('[');
    for (size_t i = 0; i < count; ++i)
        std::printf(i ? ",%d" : "%d", int(values[i]));
    std::putchar(']');
}

void printPatterns(const std::array<std::array<uint16_t, DirectionCount>, CellCount> &p) {
    std::putchar('[');
    for (int c = 0; c < CellCount; ++c)
        for (int d = 0; d < DirectionCount; ++d)
            std::printf(c || d ? ",%d" : "%d", p[c][d]);
    std::putchar(']');
}

// The board of DIR as the manager wrote it, with the engine's move shown as '*'.
int commandShow(int argc, char **argv) {
    if (argc < 3) {
        std::fputs(Usage, stderr);
        return 2;
    }
    std::filesystem::path dir = argv[2];
    // The move has replaced the side letter in tah.dat; the board is shown as written.
    std::ifstream moveFile(dir / "tah.dat");
    std::string moveText((std::istreambuf_iterator<char>(moveFile)),
                         std::istreambuf_iterator<char>());
    int column = -1, row = -1;
    bool hasMove = std::sscanf(moveText.c_str(), "%d,%d", &column, &row) == 2 && column >= 0 &&
                   column < BoardSize && row >= 0 && row < BoardSize;
    std::ifstream boardFile(dir / "plocha.dat");
    std::string token;
    std::printf("   ");
    for (int c = 0; c < BoardSize; ++c)
        std::printf("%c", c < 10 ? '0' + c : 'a' + c - 10);
    std::printf("\n");
    for (int r = 0; r < BoardSize; ++r) {
        if (!(boardFile >> token)) token.clear();
        token.resize(BoardSize, '-');
        std::printf("%2d ", r);
        for (int c = 0; c < BoardSize; ++c) {
            char ch = token[size_t(c)];
            ch = (ch == 'x' || ch == 'X') ? 'X' : (ch == 'o' || ch == 'O') ? 'O' : '.';
            if (hasMove && r == row && c == column) ch = '*';
            std::putchar(ch);
        }
        std::putchar('\n');
    }
    if (hasMove)
        std::printf("move: %d,%d (column %d, row %d)\n", column, row, column, row);
    else
        std::printf("no move in tah.dat: '%s'\n", moveText.c_str());
    return hasMove ? 0 : 1;
}

int commandState(int argc, char **argv) {
    if (argc < 3) {
        std::fputs(Usage, stderr);
        return 2;
    }
    Options options{argc, argv, 3};
    long long seed = 1;
    if (!options.number("--seed", seed)) return 2;
    EngineState &e = engineState();
    if (!loadToolPosition(argv[2], seed, e)) return 1;
    std::printf("{\"weightX\":");
    printNumbers(e.WeightX, CellCount);
    std::printf(",\"weightO\":");
    printNumbers(e.WeightO, CellCount);
    std::printf(",\"liveX\":%d,\"liveO\":%d,\"key\":\"%08x%08x\",\"patternX\":", e.LiveWindowsX,
                e.LiveWindowsO, e.PositionKey.high, e.PositionKey.low);
    printPatterns(e.LinePatternX);
    std::printf(",\"patternO\":");
    printPatterns(e.LinePatternO);
    std::printf("}\n");
    return 0;
}

template <int N> void printList(const MoveList<N> &list) {
    std::putchar('[');
    for (int i = 1; i <= list.count; ++i)
        std::printf(i > 1 ? ",%d" : "%d", list.cells[i]);
    std::putchar(']');
}

int commandGenerate(int argc, char **argv) {
    if (argc < 3) {
        std::fputs(Usage, stderr);
        return 2;
    }
    Options options{argc, argv, 3};
    long long seed = 1, ply = 0, budget = 1000, deadline = 100000, wide = 0;
    if (!options.number("--seed", seed) || !options.number("--ply", ply) ||
        !options.number("--budget", budget) || !options.number("--deadline-ms", deadline) ||
        !options.number("--path-wide", wide))
        return 2;
    if (ply < 0 || ply >= MaxPly) {
        std::fprintf(stderr, "pentad-tools: --ply must lie in 0..%d\n", MaxPly - 1);
        return 2;
    }
    EngineState &e = engineState();
    if (!loadToolPosition(argv[2], seed, e)) return 1;
    if (e.MoveNumber > CellCount) {
        std::fputs("pentad-tools: the board has no empty cell\n", stderr);
        return 1;
    }
    e.Deadline = int32_t(std::clamp<long long>(deadline, INT32_MIN, INT32_MAX));
    e.LeafMoveLimit = e.MoveNumber < 12 ? 16 : 24;
    computeBudgetThresholds(e);
    CandidateList moves;
    uint16_t pathCounts[3] = {uint16_t(wide), 0, 0};
    GenerateRequest req;
    req.side = e.MoveNumber % 2 == 1 ? X : O;
    req.budget = int32_t(std::clamp<long long>(budget, INT32_MIN, INT32_MAX));
    req.ply = int32_t(ply);
    req.moves = &moves;
    req.pathCounts = pathCounts;
    generateMoves(e, req);

    std::printf("{\"side\":%d,\"forced\":%s,\"defenceMode\":%s,\"quiet\":%s,\"defenceCount\":%d,",
                req.side, e.ForcedResult ? "true" : "false", e.DefenceMode ? "true" : "false",
                e.QuietNode ? "true" : "false", e.DefenceCount);
    // The evaluation exists only where the generator ended on a quiet node.
    if (e.QuietNode && !e.ForcedResult && moves.count == 0)
        std::printf("\"evaluation\":%d,", e.QuietEvaluation);
    else
        std::printf("\"evaluation\":null,");
    std::printf("\"moveLimit\":%d,\"moves\":", req.moveLimit);
    printList(moves);
    std::printf(",\"scores\":{");
    for (int i = 1; i <= moves.count; ++i)
        std::printf(i > 1 ? ",\"%d\":%d" : "\"%d\":%d", moves.cells[i],
                    e.MoveScores[req.ply][moves.cells[i]]);
    std::printf("},\"ownFiled\":");
    printList(e.OwnFiledCells);
    std::printf(",\"buckets\":{");
    bool first = true;
    for (int b = 1; b <= BucketCount; ++b) {
        if (e.Buckets[b].count == 0) continue;
        std::printf(first ? "\"%d\":" : ",\"%d\":", b);
        printList(e.Buckets[b]);
        first = false;
    }
    std::printf("}}\n");
    return 0;
}

template <size_t N> void printLine(const std::array<int16_t, N> &line) {
    std::putchar('[');
    for (int i = 1; i <= line[0]; ++i)
        std::printf(i > 1 ? ",%d" : "%d", line[i]);
    std::putchar(']');
}

struct PrintingObserver : SearchObserver {
    void iterationDone(const EngineState &e, int nodeBudget, int plyLimit) override {
        std::printf("{\"iteration\":%d,\"nodeBudget\":%d,\"plyLimit\":%d,\"nodes\":%d,\"best\":%d,"
                    "\"line\":",
                    e.IterationNumber, nodeBudget, plyLimit, e.IterationNodes, e.BestScore);
        printLine(e.IterationLine);
        std::printf("}\n");
        std::fflush(stdout);
    }
};

bool allocateTable() {
    if (transpositionTable().allocate()) return true;
    std::fputs("pentad-tools: not enough memory for the transposition table\n", stderr);
    return false;
}

int commandSearch(int argc, char **argv) {
    if (argc < 3) {
        std::fputs(Usage, stderr);
        return 2;
    }
    Options options{argc, argv, 3};
    long long seed = 1, turn = -1, match = -1, iterations = 0;
    if (!options.number("--seed", seed) || !options.number("--turn-s", turn) ||
        !options.number("--match-ms", match) || !options.number("--max-iterations", iterations))
        return 2;
    if (!allocateTable()) return 1;
    EngineState &e = engineState();
    int64_t start = processClockMs();
    if (!loadToolPosition(argv[2], seed, e)) return 1;
    if (e.MoveNumber > CellCount) {
        std::fputs("pentad-tools: the board has no empty cell\n", stderr);
        return 1;
    }
    if (options.value("--turn-s"))
        e.TurnLimit = int32_t(std::clamp<long long>(turn, INT32_MIN, INT32_MAX));
    if (options.value("--match-ms"))
        e.MatchTime = int32_t(std::clamp<long long>(match, INT32_MIN, INT32_MAX));
    e.ClockEnabled = !options.flag("--no-clock");
    if (options.flag("--no-book")) openingBook().use({});
    PrintingObserver observer;
    observer.maxIterations = int(std::clamp<long long>(iterations, 0, 1000));
    int move = prepareOpening(e);
    if (move < 0) {
        searchMove(e, &observer);
        move = e.IterationLine[1];
    }
    std::printf(
        "{\"move\":%d,\"col\":%d,\"row\":%d,\"totalNodes\":%lld,\"level\":%d,\"ms\":%lld}\n", move,
        move % BoardSize, move / BoardSize, (long long)e.TotalNodes, e.IterationNumber,
        (long long)(processClockMs() - start));
    return 0;
}

int commandBench(int argc, char **argv) {
    Options options{argc, argv, 2};
    long long iterations = 3;
    if (!options.number("--iterations", iterations)) return 2;
    if (iterations < 1 || iterations > 6) {
        std::fputs("pentad-tools: --iterations must lie in 1..6\n", stderr);
        return 2;
    }
    if (!allocateTable()) return 1;
    BenchResult r = runBench(int(iterations), true);
    std::printf("signature %lld\n", (long long)r.nodes);
    std::printf("nodes/second %lld\n", (long long)(r.ms > 0 ? r.nodes * 1000 / r.ms : 0));
    return 0;
}

int commandBookBuild(int argc, char **argv) {
    if (argc < 5) {
        std::fputs(Usage, stderr);
        return 2;
    }
    std::ifstream in(argv[3]);
    if (!in) {
        std::fprintf(stderr, "pentad-tools: cannot read %s\n", argv[3]);
        return 1;
    }
    std::vector<BookSourceRecord> records;
    std::vector<uint8_t> book;
    std::string error;
    if (!parseBookSource(in, records, error) || !buildBook(records, book, error)) {
        std::fprintf(stderr, "pentad-tools: %s: %s\n", argv[3], error.c_str());
        return 1;
    }
    if (!writeFile(argv[4], book.data(), book.size())) {
        std::fprintf(stderr, "pentad-tools: cannot write %s\n", argv[4]);
        return 1;
    }
    std::printf("%zu records, %zu bytes\n", records.size(), book.size());
    return 0;
}

// A long search of one position for the book: a clock several times longer than in play
// and a node-budget ceiling above the play ceiling.
int commandBookAnalyse(int argc, char **argv) {
    if (argc < 4) {
        std::fputs(Usage, stderr);
        return 2;
    }
    Options options{argc, argv, 4};
    long long seconds = 20, ceiling = 7500000, seed = 1, alternatives = 3;
    if (!options.number("--seconds", seconds) || !options.number("--ceiling", ceiling) ||
        !options.number("--seed", seed) || !options.number("--alternatives", alternatives))
        return 2;
    ExchangeInput in;
    in.board.fill('-');
    std::istringstream moves(argv[3]);
    std::string token;
    int stones = 0;
    while (moves >> token) {
        int column, row;
        char comma;
        std::istringstream move(token);
        if (!(move >> column >> comma >> row) || comma != ',' || column < 0 ||
            column >= BoardSize || row < 0 || row >= BoardSize ||
            in.board[row * BoardSize + column] != '-') {
            std::fprintf(stderr, "pentad-tools: bad move '%s'\n", token.c_str());
            return 2;
        }
        in.board[row * BoardSize + column] = stones++ % 2 ? 'O' : 'X';
    }
    in.sideLetter = stones % 2 ? 'O' : 'X';
    in.turnLimit = int32_t(std::clamp<long long>(seconds + 1, 1, 100000));
    in.matchTime = INT32_MAX;
    if (!allocateTable()) return 1;
    EngineState &e = engineState();
    if (!setupPosition(e, in, uint32_t(seed))) return 1;
    openingBook().use({});
    e.NodeBudgetCeiling = int32_t(std::clamp<long long>(ceiling, 2, INT32_MAX));
    // The value of the last root search the clock did not cut short.
    struct LastValue : SearchObserver {
        int value = 0;
        void iterationDone(const EngineState &state, int, int) override {
            if (!clockReached(state)) value = state.BestScore;
        }
    } last;
    int move = prepareOpening(e);
    if (move < 0) {
        searchMove(e, &last);
        move = e.IterationLine[1];
    }
    // The other root moves, best value first, then by ordering score.
    std::vector<std::pair<std::pair<int, int>, int>> others;
    for (int i = 1; i <= e.RootFullCount; ++i) {
        int cell = e.RootMoves.cells[i];
        if (cell != move) others.push_back({{-e.RootScores[i], -int(e.MoveScores[0][cell])}, cell});
    }
    std::stable_sort(others.begin(), others.end());
    std::printf("{\"move\":%d,\"col\":%d,\"row\":%d,\"best\":%d,\"level\":%d,\"nodes\":%lld,"
                "\"alternatives\":[",
                move, move % BoardSize, move / BoardSize, last.value, e.IterationNumber,
                (long long)e.TotalNodes);
    for (size_t i = 0; i < others.size() && i < size_t(std::max(0LL, alternatives)); ++i)
        std::printf(i ? ",%d" : "%d", others[i].second);
    std::printf("]}\n");
    return 0;
}

// A started engine state on an empty board, as the engine builds it, with the time limits
// of a folder without timeouts.dat unless given.
bool harnessState(EngineState &e, const Options &options, long long seed) {
    long long turn = 30, match = 180000;
    if (!options.number("--turn-s", turn) || !options.number("--match-ms", match)) return false;
    ExchangeInput in;
    in.board.fill('-');
    in.turnLimit = int32_t(std::clamp<long long>(turn, INT32_MIN, INT32_MAX));
    in.matchTime = int32_t(std::clamp<long long>(match, INT32_MIN, INT32_MAX));
    if (!allocateTable() || !setupPosition(e, in, uint32_t(seed))) return false;
    return true;
}

int commandInfo() {
    EngineState &e = engineState();
    if (!loadPatternTables(e)) return 1;
    if (!writeInfoDump(e, ".")) {
        std::fputs("pentad-tools: cannot write info.txt\n", stderr);
        return 1;
    }
    return 0;
}

int commandCandidates(int argc, char **argv) {
    if (argc < 3) {
        std::fputs(Usage, stderr);
        return 2;
    }
    EngineState &e = engineState();
    if (!loadToolPosition(argv[2], 1, e)) return 1;
    if (!writeCandidateBoard(e, argv[2])) {
        std::fprintf(stderr, "pentad-tools: cannot write %s/deb2.txt\n", argv[2]);
        return 1;
    }
    return 0;
}

int commandReplay(int argc, char **argv) {
    if (argc < 3) {
        std::fputs(Usage, stderr);
        return 2;
    }
    Options options{argc, argv, 3};
    long long set = 2;
    if (!options.number("--set", set)) return 2;
    if (set < 0 || set > 2) {
        std::fputs("pentad-tools: --set must be 0, 1 or 2\n", stderr);
        return 2;
    }
    GameRecord record;
    if (!readGameRecord(argv[2], record)) {
        std::fprintf(stderr, "pentad-tools: cannot read the game record %s\n", argv[2]);
        return 1;
    }
    for (const std::string &note : record.notes)
        std::fprintf(stderr, "pentad-tools: %s\n", note.c_str());
    EngineState &e = engineState();
    if (!harnessState(e, options, 1)) return 1;
    replayGameRecord(e, record, int(set), stdout);
    return 0;
}

int commandSelfPlay(int argc, char **argv) {
    Options options{argc, argv, 2};
    long long setX = -1, setO = -1, games = 1, seed = 1;
    if (!options.number("--x-set", setX) || !options.number("--o-set", setO) ||
        !options.number("--games", games) || !options.number("--seed", seed))
        return 2;
    if (setX < 0 || setX > 2 || setO < 0 || setO > 2 || games < 1) {
        std::fputs("pentad-tools: selfplay needs --x-set and --o-set in 0..2 and --games >= 1\n",
                   stderr);
        return 2;
    }
    std::srand(unsigned(seed));
    int winsX = 0, winsO = 0, draws = 0;
    std::vector<double> points; // set A's point per game
    for (long long g = 1; g <= games; ++g) {
        EngineState &e = engineState();
        e = EngineState{};
        if (!harnessState(e, options, seed + g)) return 1;
        SelfPlayGame game = playSelfGame(e, int(setX), int(setO));
        const char *result = game.result == 2 ? "X wins" : game.result == 0 ? "O wins" : "draw";
        std::printf("game %lld: opening %d, %s after %zu moves:", g, game.opening, result,
                    game.moves.size());
        for (int m : game.moves)
            std::printf(" %d,%d", m % BoardSize, m / BoardSize);
        std::printf("\n");
        std::fflush(stdout);
        winsX += game.result == 2;
        winsO += game.result == 0;
        draws += game.result == 1;
        points.push_back(game.result / 2.0);
    }
    const double n = double(points.size());
    double score = 0;
    for (double p : points)
        score += p;
    score /= n;
    double variance = 0;
    for (double p : points)
        variance += (p - score) * (p - score);
    const double margin = 1.96 * std::sqrt(variance / n) / std::sqrt(n);
    auto elo = [](double p) { return -400.0 * std::log10(1.0 / p - 1.0); };
    std::printf("set %lld (X) wins %d, set %lld (O) wins %d, draws %d, score %.3f", setX, winsX,
                setO, winsO, draws, score);
    if (score <= 0 || score >= 1) {
        std::printf(", Elo difference unbounded (%s)\n", score >= 1 ? "+inf" : "-inf");
    } else {
        double low = std::clamp(score - margin, 1e-6, 1 - 1e-6),
               high = std::clamp(score + margin, 1e-6, 1 - 1e-6);
        std::printf(", Elo difference %+.0f (95%% interval %+.0f .. %+.0f)\n", elo(score), elo(low),
                    elo(high));
    }
    return 0;
}

} // namespace

int runToolsCommand(int argc, char **argv) {
    std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "show") return commandShow(argc, argv);
    if (command == "tables") return commandTables(argc, argv);
    if (command == "state") return commandState(argc, argv);
    if (command == "generate") return commandGenerate(argc, argv);
    if (command == "search") return commandSearch(argc, argv);
    if (command == "bench") return commandBench(argc, argv);
    if (command == "info") return commandInfo();
    if (command == "candidates") return commandCandidates(argc, argv);
    if (command == "replay") return commandReplay(argc, argv);
    if (command == "selfplay") return commandSelfPlay(argc, argv);
    std::string_view sub = argc > 2 ? argv[2] : "";
    if (command == "book" && sub == "build") return commandBookBuild(argc, argv);
    if (command == "book" && (sub == "analyse" || sub == "analyze"))
        return commandBookAnalyse(argc, argv);
    if (command == "--help" || command == "-h" || command == "help") {
        std::fputs(Usage, stdout);
        return 0;
    }
    std::fputs(Usage, stderr);
    return 2;
}

} // namespace pentad

// Tool commands of the tournament engine: its move on a folder and its bench.
#include <cstdio>
#include <memory>

#include "driver/exchange.h"
#include "engine/classic_move.h"
#include "engine/tournament_engine.h"
#include "platform/platform.h"
#include "tools/bench.h"
#include "tools/tool_support.h"
#include "tournament/network.h"
#include "tournament/params.h"

namespace pentad {
namespace {

std::string cellList(const Thought &t) {
    std::string text;
    for (int i = 0; i < t.lineLength; ++i) {
        if (i) text += ',';
        text += std::to_string(t.line[size_t(i)]);
    }
    return text;
}

struct PrintingIterations : ThinkObserver {
    void progress(const Thought &t) override {
        std::printf("{\"depth\":%d,\"selDepth\":%d,\"value\":%d,\"nodes\":%lld,\"ms\":%lld,"
                    "\"line\":[%s]}\n",
                    t.depth, t.selDepth, t.value, (long long)t.nodes, (long long)t.ms,
                    cellList(t).c_str());
    }
};

// The engine's stones of a position whose side to move follows from the stone counts.
Position positionOf(const PositionInput &in) {
    const char own = stoneCount(in) % 2 == 0 ? 'X' : 'O';
    Position p{};
    for (int c = 0; c < CellCount; ++c)
        if (in.board[size_t(c)] != '-')
            p[size_t(c)] = in.board[size_t(c)] == own ? Stone::Own : Stone::Opponent;
    return p;
}

} // namespace

bool useNetworkOption(const Options &options) {
    const char *file = options.value("--network");
    if (!file) return true;
    std::string error;
    if (std::string_view(file) == "embedded" ? tournament::useEmbeddedNetwork(error)
                                             : tournament::loadNetworkFile(file, error))
        return true;
    std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
    return false;
}

int tournamentSearchCommand(const char *dir, const Options &options) {
    if (!useNetworkOption(options)) return 1;
    long long depth = 0, nodes = 0, ms = -1;
    if (!options.number("--depth", depth) || !options.number("--nodes", nodes) ||
        !options.number("--ms", ms))
        return 2;
    PositionInput in;
    std::string error, note;
    if (!readExchangeFiles(dir, in, error)) {
        std::fputs(error.c_str(), stderr);
        return 1;
    }
    normaliseColours(in);
    if (stoneCount(in) == CellCount) {
        std::fputs("pentad-tools: the board has no empty cell\n", stderr);
        return 1;
    }
    std::unique_ptr<Engine> engine = makeTournamentEngine();
    if (!engine->newGame(GameRules{}, error) || !engine->ready(error, note)) {
        std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
        return 1;
    }
    engine->setPosition(positionOf(in));
    ThinkLimits limits;
    limits.clockOrigin = processClockMs();
    limits.maxDepth = int(depth);
    limits.maxNodes = nodes;
    // A turn limit alone: no new iteration after 60 % of it, by default half a second.
    limits.matchMs = 0;
    limits.turnMs = (ms >= 0 ? ms : 1000) + SafetyMs;
    PrintingIterations observer;
    const Thought t = engine->think(limits, &observer);
    std::printf("{\"move\":%d,\"col\":%d,\"row\":%d,\"value\":%d,\"win\":%d,\"depth\":%d,"
                "\"selDepth\":%d,\"nodes\":%lld,\"ms\":%lld,\"decidedBy\":\"%s\",\"line\":[%s]}\n",
                t.move, t.move % BoardSize, t.move / BoardSize, t.value, t.winIn, t.depth,
                t.selDepth, (long long)t.nodes, (long long)(processClockMs() - limits.clockOrigin),
                t.decidedBy, cellList(t).c_str());
    return 0;
}

BenchResult runTournamentBench(int depth, bool print) {
    BenchResult result;
    std::unique_ptr<Engine> engine = makeTournamentEngine();
    engine->setMemory(TournamentBaseMemory + (16ll << 20)); // a 16 MB table
    std::string error, note;
    for (int i = 0; i < benchPositionCount(); ++i) {
        if (!engine->newGame(GameRules{}, error) || !engine->ready(error, note)) {
            std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
            return result;
        }
        engine->setPosition(positionOf(benchInput(i)));
        ThinkLimits limits;
        limits.maxDepth = depth;
        const int64_t start = processClockMs();
        limits.clockOrigin = start;
        const Thought t = engine->think(limits, nullptr);
        const int64_t ms = processClockMs() - start;
        result.nodes += t.nodes;
        result.ms += ms;
        if (print)
            std::printf("%2d  %2d stones  nodes %9lld  %6lld ms  move %d  depth %d value %d\n",
                        i + 1, stoneCount(benchInput(i)), (long long)t.nodes, (long long)ms, t.move,
                        t.depth, t.value);
    }
    return result;
}

} // namespace pentad

namespace pentad {

// The tournament engine's named search constants, one a line: name, value, low, high, step.
int commandParams(int, char **) {
    for (const tournament::ParamSpec &s : tournament::paramSpecs())
        std::printf("%s %d %d %d %d\n", s.name, tournament::searchParams().*s.field, s.low, s.high,
                    s.step);
    return 0;
}

} // namespace pentad

// Tool commands of the tournament engine: its move on a folder and its bench.
#include <cstdio>
#include <memory>

#include "tournament/params.h"
#include "tournament/search.h"
#include "driver/exchange.h"
#include "engine/engine.h"
#include "platform/platform.h"
#include "tools/bench.h"
#include "tools/tool_support.h"

namespace pentad {
namespace {

using tournament::Iteration;

std::string cellList(const Iteration &it) {
    std::string text;
    for (int i = 0; i < it.pvLength; ++i) {
        const int p = it.pv[size_t(i)];
        if (i) text += ',';
        text += std::to_string(tournament::rowOf(p) * BoardSize + tournament::columnOf(p));
    }
    return text;
}

struct PrintingIterations : tournament::Observer {
    void iterationDone(const Iteration &it) override {
        std::printf("{\"depth\":%d,\"selDepth\":%d,\"value\":%d,\"nodes\":%lld,\"ms\":%lld,"
                    "\"line\":[%s]}\n",
                    it.depth, it.selDepth, it.value, (long long)it.nodes, (long long)it.ms,
                    cellList(it).c_str());
    }
};

} // namespace

int tournamentSearchCommand(const char *dir, const Options &options) {
    long long depth = 0, nodes = 0, ms = -1;
    if (!options.number("--depth", depth) || !options.number("--nodes", nodes) ||
        !options.number("--ms", ms))
        return 2;
    PositionInput in;
    std::string error;
    if (!readExchangeFiles(dir, in, error)) {
        std::fputs(error.c_str(), stderr);
        return 1;
    }
    normaliseColours(in);
    if (stoneCount(in) == CellCount) {
        std::fputs("pentad-tools: the board has no empty cell\n", stderr);
        return 1;
    }
    auto board = std::make_unique<tournament::PatternBoard>();
    board->setUp(in.board);
    tournament::Searcher searcher;
    if (!searcher.allocate(size_t(64) << 20)) {
        std::fputs("pentad-tools: not enough memory for the transposition table\n", stderr);
        return 1;
    }
    tournament::Limits limits;
    limits.clockOrigin = processClockMs();
    limits.maxDepth = int(depth);
    limits.maxNodes = nodes;
    if (ms >= 0) {
        limits.maximumMs = ms;
        limits.optimumMs = ms / 2;
    } else if (depth == 0 && nodes == 0) {
        limits.maximumMs = 1000;
        limits.optimumMs = 500;
    }
    PrintingIterations observer;
    const tournament::Result r = searcher.think(*board, limits, &observer);
    const int move = tournament::rowOf(r.move) * BoardSize + tournament::columnOf(r.move);
    std::printf("{\"move\":%d,\"col\":%d,\"row\":%d,\"value\":%d,\"win\":%d,\"depth\":%d,"
                "\"selDepth\":%d,\"nodes\":%lld,\"ms\":%lld,\"decidedBy\":\"%s\",\"line\":[%s]}\n",
                move, move % BoardSize, move / BoardSize, r.last.value,
                tournament::winDistance(r.last.value), r.last.depth, r.last.selDepth,
                (long long)r.last.nodes, (long long)(processClockMs() - limits.clockOrigin),
                r.reason, cellList(r.last).c_str());
    return 0;
}

BenchResult runTournamentBench(int depth, bool print) {
    BenchResult result;
    tournament::Searcher searcher;
    searcher.allocate(size_t(16) << 20);
    auto board = std::make_unique<tournament::PatternBoard>();
    for (int i = 0; i < benchPositionCount(); ++i) {
        searcher.clear();
        board->setUp(benchInput(i).board);
        tournament::Limits limits;
        limits.maxDepth = depth;
        const int64_t start = processClockMs();
        limits.clockOrigin = start;
        const tournament::Result r = searcher.think(*board, limits);
        const int64_t ms = processClockMs() - start;
        result.nodes += r.last.nodes;
        result.ms += ms;
        if (print)
            std::printf("%2d  %2d stones  nodes %9lld  %6lld ms  move %d  depth %d value %d\n",
                        i + 1, board->stones(), (long long)r.last.nodes, (long long)ms,
                        tournament::rowOf(r.move) * BoardSize + tournament::columnOf(r.move),
                        r.last.depth, r.last.value);
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

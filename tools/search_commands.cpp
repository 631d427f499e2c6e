// The engine's whole move on a folder, and the bench signature.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <string_view>

#include "book/opening.h"
#include "book/opening_book.h"
#include "engine/classic_move.h"
#include "platform/platform.h"
#include "search/search.h"
#include "tools/bench.h"
#include "tools/tool_support.h"
#include "tournament/params.h"

namespace pentad {
namespace {

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

} // namespace

int commandSearch(int argc, char **argv) {
    if (argc < 3) {
        return usageError();
    }
    Options options{argc, argv, 3};
    if (const char *engine = options.value("--engine")) {
        if (std::string_view(engine) == "tournament")
            return tournamentSearchCommand(argv[2], options);
        if (std::string_view(engine) != "classic") {
            std::fputs("pentad-tools: --engine is classic or tournament\n", stderr);
            return 2;
        }
    }
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
    if (const char *engine = options.value("--engine")) {
        if (std::string_view(engine) == "tournament") {
            if (!useNetworkOption(options)) return 1;
            if (const char *param = options.value("--param")) {
                std::string error;
                if (!tournament::setSearchParam(param, error)) {
                    std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
                    return 2;
                }
            }
            long long depth = TournamentBenchDepth;
            if (!options.number("--depth", depth)) return 2;
            if (depth < 1 || depth > 20) {
                std::fputs("pentad-tools: --depth must lie in 1..20\n", stderr);
                return 2;
            }
            BenchResult r = runTournamentBench(int(depth), true);
            std::printf("signature %lld\n", (long long)r.nodes);
            std::printf("nodes/second %lld\n", (long long)(r.ms > 0 ? r.nodes * 1000 / r.ms : 0));
            return 0;
        }
        if (std::string_view(engine) != "classic") {
            std::fputs("pentad-tools: --engine is classic or tournament\n", stderr);
            return 2;
        }
    }
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

} // namespace pentad

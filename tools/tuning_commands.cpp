// Tuning: replaying recorded games through the search, and self-play between weight sets.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "tools/harness.h"
#include "tools/match_stats.h"
#include "tools/tool_support.h"

namespace pentad {

int commandReplay(int argc, char **argv) {
    if (argc < 3) {
        return usageError();
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

int commandStaticValues(int argc, char **argv) {
    if (argc < 4) return usageError();
    return tournamentStaticValuesCommand(Options{argc, argv, 4});
}

int commandSelfPlay(int argc, char **argv) {
    Options options{argc, argv, 2};
    if (const char *engine = options.value("--engine");
        engine && std::string_view(engine) == "tournament")
        return tournamentSelfPlayCommand(options);
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
    const EloEstimate estimate = estimateElo(points);
    std::printf("set %lld (X) wins %d, set %lld (O) wins %d, draws %d, score %.3f%s\n", setX, winsX,
                setO, winsO, draws, estimate.score, describeElo(estimate).c_str());
    return 0;
}

} // namespace pentad

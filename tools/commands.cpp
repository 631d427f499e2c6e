#include "tools/commands.h"

#include <cstdio>
#include <string>
#include <string_view>

#include "engine/version.h"
#include "tools/tool_support.h"

namespace pentad {
namespace {

struct ToolCommand {
    const char *name; ///< one word, or two for the book commands
    const char *arguments;
    const char *summary;
    int (*run)(int argc, char **argv);
};

// Every command with its arguments and options; the help is printed from this table.
constexpr ToolCommand Commands[] = {
    {"tables", "[DIR]",
     "derive the line-pattern tables and write DIR/whites.bin and DIR/sec4.bin (default DIR: "
     "resources)",
     commandTables},
    {"show", "DIR", "print DIR/plocha.dat with the move in DIR/tah.dat marked", commandShow},
    {"state", "DIR [--seed S]",
     "build the position of DIR as the engine does and print its derived state as one line of "
     "JSON",
     commandState},
    {"generate", "DIR [--seed S] [--ply P] [--budget B] [--deadline-ms D] [--path-wide W]",
     "run the move generator for the side to move and print its outputs as one line of JSON",
     commandGenerate},
    {"search",
     "DIR [--seed S] [--turn-s T] [--match-ms M] [--no-clock] [--max-iterations K] "
     "[--no-book] | DIR --engine tournament [--depth D] [--nodes N] [--ms T]",
     "the engine's whole move for DIR: one JSON line per root search, then the move; "
     "--engine tournament: the tournament engine's move, one JSON line per iteration, then the "
     "move, value, depth and line (default 1000 ms); "
     "--no-clock makes it reproducible, --no-book searches book positions too",
     commandSearch},
    {"bench", "[--iterations K] | --engine tournament [--depth D]",
     "search the bench positions for their first K root searches (default 3) and print the "
     "node signature and nodes per second; --engine tournament: the tournament engine to "
     "depth D (default 7) from an empty table",
     commandBench},
    {"vcf", "DIR [--nodes N] [--depth D]",
     "a VCF for the side to move of DIR: one JSON line with win, line (cells, attacker "
     "first), nodes, ms",
     commandVcf},
    {"vct", "DIR [--nodes N] [--depth D] [--vcf-depth F]",
     "a VCT for the side to move of DIR, deepened one threat move at a time; the same JSON",
     commandVct},
    {"book build", "SOURCE OUT", "check a book source and write the binary book", commandBookBuild},
    {"book analyse", "MOVES [--seconds T] [--ceiling N] [--seed S] [--alternatives K]",
     "a long search of the position after MOVES (\"c,r c,r ...\"), printed as JSON",
     commandBookAnalyse},
    {"info", "", "write info.txt: the table entry size and every line class", commandInfo},
    {"candidates", "DIR", "write DIR/deb2.txt: the board with the root candidates numbered",
     commandCandidates},
    {"replay", "FILE [--set K] [--turn-s T] [--match-ms M]",
     "replay a game record through the search and print the root-value statistic", commandReplay},
    {"selfplay", "--x-set A --o-set B [--games N] [--seed S] [--turn-s T] [--match-ms M]",
     "games between two stored weight sets, with the score and an Elo estimate; --engine "
     "tournament --openings FILE --out FILE [--games N] [--nodes N] [--threads T] [--seed S] "
     "[--random-moves K] [--eval-file F]: the pattern engine's self-play, its quiet positions "
     "with the result in FILE (binary, documented in tools/arena_tuning.cpp; a second run on "
     "the same FILE plays only the games it lacks)",
     commandSelfPlay},
    {"params", "",
     "the pattern engine's tunable search constants, one a line: name, value, low, high, step "
     "(set them with pbrain-pentad --param NAME=VALUE)",
     commandParams},
    {"serve", "[--port P] [--host H] [--engine \"CMD ARGS\"]",
     "the browser board: play and analyse against pbrain-pentad at http://127.0.0.1:8020/ "
     "(pentad-board beside this program; localhost only unless --host says otherwise)",
     commandServe},
};

void printUsage(FILE *out) {
    std::fputs("usage: pentad-tools COMMAND [ARGS]\ncommands:\n", out);
    for (const ToolCommand &c : Commands)
        std::fprintf(out, "  %s%s%s\n      %s\n", c.name, *c.arguments ? " " : "", c.arguments,
                     c.summary);
}

} // namespace

int usageError() {
    printUsage(stderr);
    return 2;
}

int runToolsCommand(int argc, char **argv) {
    std::string_view command = argc > 1 ? argv[1] : "";
    if (command == "--version") {
        std::printf("pentad-tools %s\n", engineVersion());
        return 0;
    }
    if (command == "--help" || command == "-h" || command == "help") {
        printUsage(stdout);
        return 0;
    }
    std::string twoWords = std::string(command) + " " + (argc > 2 ? argv[2] : "");
    if (twoWords == "book analyze") twoWords = "book analyse";
    for (const ToolCommand &c : Commands)
        if (command == c.name || twoWords == c.name) return c.run(argc, argv);
    return usageError();
}

} // namespace pentad

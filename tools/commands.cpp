#include "tools/commands.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "engine/version.h"
#include "tools/tool_support.h"

namespace pentad {
namespace {

struct ToolCommand {
    const char *name; ///< one word, or two for the book commands
    /// The usage after the name, which is also what the command accepts: "[--name X]" takes a
    /// whole number when X is one capital letter, a word when X is one in capitals ("FILE"),
    /// exactly that word when X is lower case ("--engine tournament"); an option with no X is
    /// a switch. "|" separates the forms of a command that `--engine` chooses between.
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
     "DIR [--engine classic] [--seed S] [--turn-s T] [--match-ms M] [--no-clock] "
     "[--max-iterations K] [--no-book] | DIR --engine tournament [--depth D] [--nodes N] [--ms T] "
     "[--network FILE]",
     "the engine's whole move for DIR: one JSON line per root search, then the move; "
     "--engine tournament: the tournament engine's move, one JSON line per iteration, then the "
     "move, value, depth and line (default 1000 ms); "
     "--no-clock makes it reproducible, --no-book searches book positions too",
     commandSearch},
    {"bench",
     "[--engine classic] [--iterations K] | --engine tournament [--depth D] [--network FILE] "
     "[--param NAME=VALUE]",
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
    {"selfplay",
     "--x-set A --o-set B [--games N] [--seed S] [--turn-s T] [--match-ms M] | --engine "
     "tournament --openings FILE --out FILE [--games N] [--nodes N] [--threads T] [--seed S] "
     "[--random-moves K] [--eval-file FILE] [--network FILE] [--records]",
     "games between two stored weight sets, with the score and an Elo estimate; --engine "
     "tournament: the tournament engine's self-play, its quiet positions with the result in the "
     "--out file (binary, documented in tools/tournament_tuning.cpp; a second run on the same file "
     "plays only the games it lacks); --records: the games whole, with the search's value of "
     "every position, for the network trainer",
     commandSelfPlay},
    {"static-values", "RECORDS OUT [--eval-file FILE]",
     "the tables' value of every position of a --records file, an int16 a move, for the network "
     "trainer's --base tables",
     commandStaticValues},
    {"params", "",
     "the tournament engine's tunable search constants, one a line: name, value, low, high, step "
     "(set them with pbrain-pentad --param NAME=VALUE)",
     commandParams},
    {"serve", "[--port P] [--host ADDRESS] [--engine \"CMD ARGS\"]",
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

void printCommandUsage(FILE *out, const ToolCommand &c) {
    std::fprintf(out, "usage: pentad-tools %s%s%s\n", c.name, *c.arguments ? " " : "", c.arguments);
}

struct OptionForm {
    enum Kind { Switch, Number, Word, Literal };
    std::string name;
    Kind kind = Switch;
    std::string literal; ///< the one word a Literal option takes
};

struct CommandForm {
    std::vector<OptionForm> options;
    int positionals = 0;
};

// The words of a usage text; a quoted phrase is one word.
std::vector<std::string> usageWords(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool quoted = false;
    for (char ch : text) {
        if (ch == '"') quoted = !quoted;
        if (ch == ' ' && !quoted) {
            if (!word.empty()) words.push_back(word);
            word.clear();
        } else {
            word += ch;
        }
    }
    if (!word.empty()) words.push_back(word);
    for (std::string &w : words) {
        while (!w.empty() && w.front() == '[')
            w.erase(0, 1);
        while (!w.empty() && w.back() == ']')
            w.pop_back();
    }
    return words;
}

std::vector<CommandForm> formsOf(const ToolCommand &c) {
    std::vector<CommandForm> forms(1);
    std::vector<std::string> words = usageWords(c.arguments);
    for (size_t i = 0; i < words.size(); ++i) {
        const std::string &w = words[i];
        if (w == "|") {
            forms.emplace_back();
        } else if (w.starts_with("--")) {
            OptionForm option{w, OptionForm::Switch, {}};
            if (i + 1 < words.size() && words[i + 1] != "|" && !words[i + 1].starts_with("--")) {
                const std::string &x = words[++i];
                if (std::islower(static_cast<unsigned char>(x[0]))) {
                    option.kind = OptionForm::Literal;
                    option.literal = x;
                } else {
                    option.kind = x.size() == 1 ? OptionForm::Number : OptionForm::Word;
                }
            }
            forms.back().options.push_back(option);
        } else {
            ++forms.back().positionals;
        }
    }
    return forms;
}

// Checks the arguments after the command's name against its usage; the message of the first
// fault, or empty. A typo in an option must not quietly change what a run measures.
std::string checkArguments(const ToolCommand &c, int argc, char **argv, int first) {
    const std::vector<CommandForm> forms = formsOf(c);
    // The form is the one whose literal --engine the arguments name, else the first.
    const CommandForm *form = &forms[0];
    for (int i = first; i + 1 < argc; ++i) {
        if (std::string_view(argv[i]) != "--engine") continue;
        std::string known;
        const CommandForm *chosen = nullptr;
        for (const CommandForm &f : forms)
            for (const OptionForm &o : f.options)
                if (o.name == "--engine" && o.kind == OptionForm::Literal) {
                    known += (known.empty() ? "" : " or ") + o.literal;
                    if (o.literal == argv[i + 1]) chosen = &f;
                }
        if (chosen)
            form = chosen;
        else if (!known.empty())
            return std::string("--engine takes ") + known + ", not '" + argv[i + 1] + "'";
        break;
    }
    int positionals = 0;
    for (int i = first; i < argc; ++i) {
        const std::string_view a = argv[i];
        if (!a.starts_with("--")) {
            if (++positionals > form->positionals)
                return "unexpected argument '" + std::string(a) + "'";
            continue;
        }
        const OptionForm *option = nullptr;
        for (const OptionForm &o : form->options)
            if (o.name == a) option = &o;
        if (!option) return "unknown option " + std::string(a);
        if (option->kind == OptionForm::Switch) continue;
        if (i + 1 >= argc) return std::string(a) + " needs a value";
        const char *value = argv[++i];
        if (option->kind == OptionForm::Number) {
            char *end = nullptr;
            errno = 0;
            std::strtoll(value, &end, 10);
            if (end == value || *end != '\0' || errno == ERANGE)
                return std::string(a) + " takes a whole number, not '" + value + "'";
        }
    }
    return {};
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
    for (const ToolCommand &c : Commands) {
        if (command != c.name && twoWords != c.name) continue;
        const int first = command == c.name ? 2 : 3;
        for (int i = first; i < argc; ++i)
            if (std::string_view(argv[i]) == "--help" || std::string_view(argv[i]) == "-h") {
                printCommandUsage(stdout, c);
                std::printf("  %s\n", c.summary);
                return 0;
            }
        if (std::string fault = checkArguments(c, argc, argv, first); !fault.empty()) {
            std::fprintf(stderr, "pentad-tools %s: %s\n", c.name, fault.c_str());
            printCommandUsage(stderr, c);
            return 2;
        }
        return c.run(argc, argv);
    }
    return usageError();
}

} // namespace pentad

// What the developer commands share: option parsing, the positions they build, JSON
// printing, and one function per command (one source file per command group).
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "board/engine_state.h"

namespace pentad {

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

/// Prints the command list to standard error; the exit status of a usage error.
int usageError();

/// Writes `size` bytes to the file; false when it cannot be written.
bool writeFile(const std::filesystem::path &path, const uint8_t *data, size_t size);

/// Builds the position of DIR exactly as the engine does, with `seed` in place of the start
/// time. Prints a message and returns false when the files cannot be used.
bool loadToolPosition(const char *dir, long long seed, EngineState &e);

/// Allocates the transposition table, with a message when it cannot be had.
bool allocateTable();

/// A started engine state on an empty board, as the engine builds it, with the time limits
/// of a folder without timeouts.dat unless given by --turn-s and --match-ms.
bool harnessState(EngineState &e, const Options &options, long long seed);

// JSON arrays of numbers, of a count-first list, and of a line buffer.
template <typename Array> void printNumbers(const Array &values, size_t count) {
    std::putchar('[');
    for (size_t i = 0; i < count; ++i)
        std::printf(i ? ",%d" : "%d", int(values[i]));
    std::putchar(']');
}
template <int N> void printList(const MoveList<N> &list) {
    std::putchar('[');
    for (int i = 1; i <= list.count; ++i)
        std::printf(i > 1 ? ",%d" : "%d", list.cells[i]);
    std::putchar(']');
}
template <size_t N> void printLine(const std::array<int16_t, N> &line) {
    std::putchar('[');
    for (int i = 1; i <= line[0]; ++i)
        std::printf(i > 1 ? ",%d" : "%d", line[i]);
    std::putchar(']');
}

// Position views (tools/position_commands.cpp).
int commandTables(int argc, char **argv);
int commandShow(int argc, char **argv);
int commandState(int argc, char **argv);
int commandGenerate(int argc, char **argv);
int commandInfo(int argc, char **argv);
int commandCandidates(int argc, char **argv);
// Search (tools/search_commands.cpp).
int commandSearch(int argc, char **argv);
int commandBench(int argc, char **argv);
// Threat solvers (tools/solver_commands.cpp).
int commandVcf(int argc, char **argv);
int commandVct(int argc, char **argv);
// Opening book (tools/book_commands.cpp).
int commandBookBuild(int argc, char **argv);
int commandBookAnalyse(int argc, char **argv);
// Tuning (tools/tuning_commands.cpp).
int commandReplay(int argc, char **argv);
int commandSelfPlay(int argc, char **argv);
int commandStaticValues(int argc, char **argv);
/// Starts the browser board beside this program.
int commandServe(int argc, char **argv);
/// The tournament engine's tunable search constants (tools/spsa.py reads them).
int commandParams(int argc, char **argv);

/// The tournament engine's move on a folder (--depth, --nodes, --ms): a JSON line per
/// iteration, then the move, its value, depth and line.
int tournamentSearchCommand(const char *dir, const Options &options);
/// --network FILE (or "embedded"): the tournament engine evaluates with that network; false
/// after a message when it cannot be used.
bool useNetworkOption(const Options &options);
/// Depth of the tournament engine's bench.
constexpr int TournamentBenchDepth = 7;

/// The tournament engine's self-play positions (selfplay --engine tournament), for
/// tools/tune_eval.py to fit its evaluation tables to.
int tournamentSelfPlayCommand(const Options &options);
int tournamentStaticValuesCommand(const Options &options);

} // namespace pentad

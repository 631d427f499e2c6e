#include "tools/tool_support.h"

#include <algorithm>
#include <climits>
#include <fstream>
#include <string>

#include "driver/exchange.h"
#include "engine/classic_move.h"
#include "search/transposition.h"

namespace pentad {

bool writeFile(const std::filesystem::path &path, const uint8_t *data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char *>(data), std::streamsize(size));
    return bool(out);
}

// Builds the position of DIR exactly as the engine does, with a fixed seed in place of the
// start time. Prints an error and returns false when the files cannot be used.
bool loadToolPosition(const char *dir, long long seed, EngineState &e) {
    PositionInput in;
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

bool allocateTable() {
    if (transpositionTable().allocate()) return true;
    std::fputs("pentad-tools: not enough memory for the transposition table\n", stderr);
    return false;
}

// A started engine state on an empty board, as the engine builds it, with the time limits
// of a folder without timeouts.dat unless given.
bool harnessState(EngineState &e, const Options &options, long long seed) {
    long long turn = 30, match = 180000;
    if (!options.number("--turn-s", turn) || !options.number("--match-ms", match)) return false;
    PositionInput in;
    in.board.fill('-');
    in.turnLimit = int32_t(std::clamp<long long>(turn, INT32_MIN, INT32_MAX));
    in.matchTime = int32_t(std::clamp<long long>(match, INT32_MIN, INT32_MAX));
    if (!allocateTable() || !setupPosition(e, in, uint32_t(seed))) return false;
    return true;
}

} // namespace pentad

// A fixed set of positions from the engine's own games: openings, middle games, quiet
// and tactical positions, both sides to move. Searched with a fixed seed and no clock,
// their total node count is the signature of the engine's search behaviour.
#include "tools/bench.h"

#include <cstdio>
#include <memory>
#include <sstream>

#include "board/engine_state.h"
#include "engine/classic_move.h"
#include "platform/platform.h"
#include "search/search.h"

namespace pentad {
namespace {

struct BenchPosition {
    const char *x; ///< cells of the X stones
    const char *o; ///< cells of the O stones
};

const BenchPosition Positions[] = {
    {"210", "189"},                                             // opening 0, 2 stones
    {"209 210", "189"},                                         // opening 0, 3 stones
    {"192 209 210", "189 208 230"},                             // opening 0, 6 stones
    {"192 209 210 213 228", "187 189 208 230"},                 // opening 0, 9 stones
    {"192 209 210 213 228 246 247", "167 187 189 208 227 230"}, // opening 0, 13 stones
    {"188 192 209 210 211 213 228 246 247",
     "166 167 187 189 190 208 212 227 230"}, // opening 0, 18 stones
    {"147 151 188 192 209 210 211 213 228 229 246 247",
     "166 167 168 170 185 187 189 190 208 212 227 230"},        // opening 0, 24 stones
    {"210 232", "231"},                                         // opening 1, 3 stones
    {"210 232", "213 231"},                                     // opening 1, 4 stones
    {"188 208 210 228 232", "191 209 213 231"},                 // opening 1, 9 stones
    {"188 208 210 228 232 249 251", "168 191 209 211 213 231"}, // opening 1, 13 stones
    {"188 208 210 228 232 249 250 251 270",
     "168 191 207 209 211 213 230 231 248"}, // opening 1, 18 stones
    {"151 188 208 210 228 232 249 250 251 270 271 272",
     "130 168 171 191 207 209 211 213 229 230 231 248"},        // opening 1, 24 stones
    {"210", "211"},                                             // opening 2, 2 stones
    {"192 194 210", "189 193 211"},                             // opening 2, 6 stones
    {"174 192 194 210 214 231 233", "154 171 189 191 193 211"}, // opening 2, 13 stones
    {"174 192 194 210 214 231 232 233 252",
     "154 171 189 191 193 195 211 212 234"}, // opening 2, 18 stones
    {"131 174 192 194 210 214 231 232 233 250 251 252",
     "112 151 154 171 189 191 193 195 211 212 213 234"}, // opening 2, 24 stones
    {"189 229", "210 249"},                              // opening 3, 4 stones
    {"170 188 189 211 229", "169 208 210 249"},          // opening 3, 9 stones
    {"170 188 189 211 229 232 251 253 270",
     "169 191 206 208 210 213 230 249 274"}, // opening 3, 18 stones
    {"170 188 189 211 229 232 251 252 253 270 272 291",
     "169 191 206 207 208 210 212 213 230 249 254 274"}, // opening 3, 24 stones
    {"170 188 189 205 209 211 229 232 234 251 252 253 270 272 275 291",
     "144 169 191 204 206 207 208 210 212 213 230 233 249 254 274"}, // opening 3, 31 stones
    {"63 124", "84"},                                                // opening 4, 3 stones
    {"63 65 124", "66 84 145"},                                      // opening 4, 6 stones
    {"23 44 63 65 83 105 124", "2 43 66 84 125 145"},                // opening 4, 13 stones
    {"23 25 26 44 63 65 83 105 124", "2 5 43 66 82 84 86 125 145"},  // opening 4, 18 stones
    {"55 73", "74 113"},                                             // opening 5, 4 stones
    {"55 73 92 114 173", "74 113 133 154"},                          // opening 5, 9 stones
    {"55 70 73 89 90 91 92 110 112 114 153 173",
     "50 72 74 88 93 111 113 133 154 155 156 175"}, // opening 5, 24 stones
    {"49 55 69 70 73 89 90 91 92 110 112 114 153 157 173 217",
     "9 50 72 74 88 93 111 113 133 154 155 156 158 175 196"}, // opening 5, 31 stones
};

constexpr uint32_t BenchSeed = 1;

PositionInput inputOf(const BenchPosition &p) {
    PositionInput in;
    in.board.fill('-');
    int stones = 0;
    for (auto [cells, letter] : {std::pair{p.x, 'X'}, std::pair{p.o, 'O'}}) {
        std::istringstream list(cells);
        int c;
        while (list >> c) {
            in.board[c] = letter;
            ++stones;
        }
    }
    in.sideLetter = stones % 2 == 0 ? 'X' : 'O';
    in.turnLimit = 30;
    in.matchTime = 180000;
    return in;
}

struct IterationLimit : SearchObserver {
    void iterationDone(const EngineState &, int, int) override {}
};

} // namespace

int benchPositionCount() { return int(std::size(Positions)); }

PositionInput benchInput(int i) { return inputOf(Positions[i]); }

BenchResult runBench(int iterations, bool print) {
    BenchResult result;
    EngineState &e = engineState();
    auto clean = std::make_unique<EngineState>();
    for (int i = 0; i < benchPositionCount(); ++i) {
        e = *clean;
        setupPosition(e, inputOf(Positions[i]), BenchSeed);
        e.ClockEnabled = false;
        IterationLimit limit;
        limit.maxIterations = iterations;
        int64_t start = processClockMs();
        searchMove(e, &limit);
        const int move = e.IterationLine[1];
        int64_t ms = processClockMs() - start;
        result.nodes += e.TotalNodes;
        result.ms += ms;
        if (print)
            std::printf("%2d  %2d stones  nodes %9lld  %6lld ms  move %d\n", i + 1,
                        int(e.MoveHistory.count), (long long)e.TotalNodes, (long long)ms, move);
    }
    return result;
}

} // namespace pentad

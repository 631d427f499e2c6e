// The pattern board's cost of one stone placed and taken back, in a middle-game position.
#include <benchmark/benchmark.h>
#include <memory>

#include "tournament/pattern_board.h"

namespace {

using namespace pentad::tournament;

void PlaceAndUndo(benchmark::State &state) {
    auto board = std::make_unique<PatternBoard>();
    const int stones[][2] = {{9, 9},  {10, 10}, {10, 9}, {11, 9},  {9, 10},
                             {8, 11}, {11, 11}, {9, 8},  {12, 12}, {8, 8}};
    for (const auto &s : stones)
        board->place(padded(s[0], s[1]));
    const int cells[] = {padded(10, 11), padded(12, 10), padded(7, 9), padded(11, 8)};
    size_t i = 0;
    for (auto _ : state) {
        board->place(cells[i & 3]);
        board->undo();
        ++i;
        benchmark::DoNotOptimize(board->hash());
    }
}
BENCHMARK(PlaceAndUndo);

} // namespace

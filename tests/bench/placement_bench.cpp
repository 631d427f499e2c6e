// Micro-benchmarks of the hot placement operations.
#include <benchmark/benchmark.h>

#include "board/placement.h"
#include "tests/test_support.h"

namespace pentad {
namespace {

// A middle-game position so that most line cells around the stone are empty and updated.
std::unique_ptr<EngineState> middleGame() {
    auto e = test::freshState();
    test::placeBoard(*e,
                     {"....................", "........X.O.........", ".......XOOX.........",
                      "......OXXXO.........", ".......O.X..........", "........O..........."},
                     7);
    return e;
}

void placeRemovePair(benchmark::State &state) {
    auto e = middleGame();
    for (auto _ : state) {
        place(*e, 209, X);
        place(*e, 209, Empty);
        benchmark::DoNotOptimize(e->PositionKey);
    }
}
BENCHMARK(placeRemovePair);

void lightPair(benchmark::State &state) {
    auto e = middleGame();
    for (auto _ : state) {
        placeLight(*e, 209, X);
        removeLight(*e, 209, X);
        benchmark::DoNotOptimize(e->LinePatternX[210][0]);
    }
}
BENCHMARK(lightPair);

void sortClasses(benchmark::State &state) {
    auto e = middleGame();
    for (auto _ : state) {
        sortCellClasses<X>(*e, 209);
        benchmark::DoNotOptimize(e->CellClassesX[209]);
    }
}
BENCHMARK(sortClasses);

} // namespace
} // namespace pentad

BENCHMARK_MAIN();

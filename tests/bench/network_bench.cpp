// The network evaluation's costs: building its table from the weights (the start-up), a
// stone's update of the sums put on and taken off, and a value of the position.
#include <benchmark/benchmark.h>
#include <memory>
#include <string>

#include "platform/resources.h"
#include "tournament/network.h"

namespace {

using namespace pentad::tournament;

void NetworkTableBuild(benchmark::State &state) {
    const auto bytes = pentad::findResource("tournamentnet");
    for (auto _ : state) {
        auto net = std::make_unique<Network>();
        std::string error;
        benchmark::DoNotOptimize(parseNetwork(bytes, *net, error));
    }
}
BENCHMARK(NetworkTableBuild)->Unit(benchmark::kMillisecond);

// A middle-game position of ten stones, as the search sees them.
std::unique_ptr<NetworkState> middleGame(const Network &net) {
    auto s = std::make_unique<NetworkState>(net);
    const int cells[] = {189, 210, 190, 191, 209, 228, 231, 169, 252, 168};
    for (int i = 0; i < 10; ++i)
        s->place(cells[i], i % 2 ? White : Black);
    return s;
}

void NetworkPlaceAndRemove(benchmark::State &state) {
    Network net;
    std::string error;
    parseNetwork(pentad::findResource("tournamentnet"), net, error);
    auto s = middleGame(net);
    const int cells[] = {230, 212, 149, 171};
    size_t i = 0;
    for (auto _ : state) {
        s->place(cells[i & 3], Black);
        s->remove(cells[i & 3], Black);
        ++i;
    }
    benchmark::DoNotOptimize(s->evaluate(Black));
}
BENCHMARK(NetworkPlaceAndRemove);

void NetworkEvaluate(benchmark::State &state) {
    Network net;
    std::string error;
    parseNetwork(pentad::findResource("tournamentnet"), net, error);
    auto s = middleGame(net);
    for (auto _ : state)
        benchmark::DoNotOptimize(s->evaluate(Black));
}
BENCHMARK(NetworkEvaluate);

} // namespace

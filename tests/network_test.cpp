#include <fstream>
#include <gtest/gtest.h>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "platform/resources.h"
#include "tools/bench.h"
#include "tools/tool_support.h"
#include "tournament/network.h"
#include "tournament/pattern_board.h"

namespace pentad {
namespace {

using namespace tournament;
using tournament::Side;

// Boards made inside the guard evaluate with the embedded network; those made after it with
// the tables again, as every other test expects.
struct EmbeddedNetwork {
    EmbeddedNetwork() {
        std::string error;
        EXPECT_TRUE(useEmbeddedNetwork(error)) << error;
    }
    ~EmbeddedNetwork() { useNoNetwork(); }
};

TEST(Network, BadFilesAreRefusedWithTheReason) {
    const std::span<const uint8_t> good = findResource("tournamentnet");
    ASSERT_FALSE(good.empty());
    std::vector<uint8_t> bytes(good.begin(), good.end());
    Network net;
    std::string error;
    ASSERT_TRUE(parseNetwork(bytes, net, error)) << error;
    struct Case {
        size_t at;
        uint8_t value;
        const char *message;
    } cases[] = {
        {0, 'X', "not a network file"},
        {8, 2, "network format version 2"},
        {10, 1, "the network is for rule 1"},
        {14, 8, "the network's shape"},
    };
    for (const Case &c : cases) {
        std::vector<uint8_t> bad = bytes;
        bad[c.at] = c.value;
        EXPECT_FALSE(parseNetwork(bad, net, error));
        EXPECT_TRUE(error.starts_with(c.message)) << error;
    }
    bytes.pop_back();
    EXPECT_FALSE(parseNetwork(bytes, net, error));
    EXPECT_TRUE(error.starts_with("the network file has")) << error;
    EXPECT_FALSE(loadNetworkFile("/no/such/network.bin", error));
    EXPECT_EQ(activeNetwork(), nullptr);
}

// The sums kept stone by stone, lazily, must equal those of the same stones put on afresh,
// through any order of moves and take-backs.
TEST(Network, IncrementalSumsMatchAFreshBoard) {
    EmbeddedNetwork guard;
    std::mt19937 rng(5);
    auto board = std::make_unique<PatternBoard>();
    int checked = 0;
    for (int step = 0; step < 600; ++step) {
        if (board->stones() > 0 && (board->stones() > 60 || rng() % 3 == 0)) {
            board->undo();
        } else {
            int p;
            do
                p = padded(int(rng() % Side), int(rng() % Side));
            while (!board->isEmpty(p));
            board->place(p);
        }
        if (rng() % 4 == 0) board->evaluate(); // sometimes the sums catch up mid-way
        if (step % 25 == 0) {
            ASSERT_TRUE(board->verify()) << "step " << step;
            ++checked;
        }
    }
    EXPECT_EQ(checked, 24);
}

// The engine's value of positions the trainer valued itself: the same network file, the
// same line codes and orientation, the same head.
TEST(Network, ValuesAgreeWithTheTrainers) {
    EmbeddedNetwork guard;
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/tests/data/network_check.txt");
    ASSERT_TRUE(in);
    std::string line;
    int positions = 0;
    while (std::getline(in, line)) {
        std::istringstream items(line);
        int expected = 0, cell = 0;
        items >> expected;
        auto board = std::make_unique<PatternBoard>();
        while (items >> cell)
            board->place(padded(cell % Side, cell / Side));
        EXPECT_NEAR(board->evaluate(), expected, 3 + std::abs(expected) / 100) << line;
        ++positions;
    }
    EXPECT_GE(positions, 4);
}

TEST(Bench, NetworkSignatureMatchesTheCommittedOne) {
#ifdef PENTAD_SANITIZED
    GTEST_SKIP() << "the full bench is run in the Release build";
#endif
    EmbeddedNetwork guard;
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/tests/bench_network.sig");
    long long expected = 0;
    ASSERT_TRUE(in >> expected);
    EXPECT_EQ(runTournamentBench(TournamentBenchDepth, false).nodes, expected);
}

} // namespace
} // namespace pentad

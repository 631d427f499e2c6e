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
        {8, 3, "network format version 3"},
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

// A network trained as a correction of the tables (format 2, base 1) is added to their value;
// the same weights alone (format 1) give the network's value only.
TEST(Network, ACorrectionIsAddedToTheTablesValue) {
    const std::span<const uint8_t> v1 = findResource("tournamentnet");
    std::vector<uint8_t> v2(v1.begin(), v1.end());
    if (v2[8] == 2) v2.erase(v2.begin() + 28, v2.begin() + 32); // back to format 1 first
    v2[8] = 1;
    const std::string aloneFile = testing::TempDir() + "network-alone.bin",
                      addedFile = testing::TempDir() + "network-added.bin";
    std::ofstream(aloneFile, std::ios::binary)
        .write(reinterpret_cast<const char *>(v2.data()), std::streamsize(v2.size()));
    v2[8] = 2;
    const uint8_t base[4] = {1, 0, 0, 0};
    v2.insert(v2.begin() + 28, base, base + 4);
    std::ofstream(addedFile, std::ios::binary)
        .write(reinterpret_cast<const char *>(v2.data()), std::streamsize(v2.size()));
    // A board keeps the network it was made with: each is done with before the next loads.
    const int cells[] = {189, 210, 190, 191, 209, 228, 231};
    auto valueWith = [&](const std::string &file, int &tables) {
        std::string error;
        EXPECT_TRUE(loadNetworkFile(file, error)) << error;
        auto board = std::make_unique<PatternBoard>();
        for (const int cell : cells)
            board->place(padded(cell % Side, cell / Side));
        tables = board->tableValue();
        const int value = board->evaluate();
        useNoNetwork();
        return value;
    };
    int tables = 0;
    const int alone = valueWith(aloneFile, tables), added = valueWith(addedFile, tables);
    EXPECT_NE(tables, 0);
    EXPECT_EQ(added, alone + tables);
    std::string error;
    v2[28] = 2;
    Network net;
    EXPECT_FALSE(parseNetwork(v2, net, error));
    EXPECT_TRUE(error.starts_with("the network's base value 2")) << error;
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
        const int tables = activeNetwork()->addsToTables ? board->tableValue() : 0;
        EXPECT_NEAR(board->evaluate() - tables, expected, 3 + std::abs(expected) / 100) << line;
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

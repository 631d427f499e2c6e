#include <fstream>
#include <gtest/gtest.h>

#include "search/transposition.h"
#include "tools/bench.h"

namespace pentad {
namespace {

// The bench signature pins the search's behaviour: a change that alters it must say so and
// update tests/bench.sig in the same commit.
TEST(Bench, SignatureMatchesTheCommittedOne) {
#ifdef PENTAD_SANITIZED
    GTEST_SKIP() << "the full bench is run in the Release build";
#endif
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/tests/bench.sig");
    long long expected = 0;
    ASSERT_TRUE(in >> expected);
    ASSERT_TRUE(transpositionTable().allocate());
    EXPECT_EQ(runBench(3, false).nodes, expected);
}

TEST(Bench, ShortBenchIsReproducible) {
    ASSERT_TRUE(transpositionTable().allocate());
    EXPECT_EQ(runBench(1, false).nodes, runBench(1, false).nodes);
}

} // namespace
} // namespace pentad

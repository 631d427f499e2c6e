#include <fstream>
#include <gtest/gtest.h>

#include "search/transposition.h"
#include "tools/bench.h"

namespace pentad {
namespace {

// A bench run's node count against the signature committed in tests/FILE.
void expectSignature(const char *file, bool solver, bool shapeSearch) {
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/tests/" + file);
    long long expected = 0;
    ASSERT_TRUE(in >> expected);
    ASSERT_TRUE(transpositionTable().allocate());
    EXPECT_EQ(runBench(3, false, solver, shapeSearch).nodes, expected);
}

// The bench signature pins the search's behaviour: a change that alters it must say so and
// update tests/bench.sig in the same commit. The tournament move has signatures of its own,
// with either search; the engine as designed keeps the first.
TEST(Bench, SignaturesMatchTheCommittedOnes) {
#ifdef PENTAD_SANITIZED
    GTEST_SKIP() << "the full bench is run in the Release build";
#endif
    expectSignature("bench.sig", false, false);
    expectSignature("bench_solver.sig", true, false);
    expectSignature("bench_shape.sig", true, true);
}

TEST(Bench, ShortBenchIsReproducible) {
    ASSERT_TRUE(transpositionTable().allocate());
    EXPECT_EQ(runBench(1, false).nodes, runBench(1, false).nodes);
}

} // namespace
} // namespace pentad

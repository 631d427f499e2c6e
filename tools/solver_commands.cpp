// The threat solvers on the position of a folder, read as the exchange-file engine reads it.
#include <cstdio>

#include "platform/platform.h"
#include "solver/threat_solver.h"
#include "tools/tool_support.h"

namespace pentad {
namespace {

int runSolver(int argc, char **argv, bool threats) {
    if (argc < 3) return usageError();
    Options options{argc, argv, 3};
    SolverLimits limits;
    long long nodes = threats ? 2000000 : 1000000, depth = threats ? 10 : 40,
              vcfDepth = limits.vcfDepth;
    if (!options.number("--nodes", nodes) || !options.number("--depth", depth) ||
        !options.number("--vcf-depth", vcfDepth))
        return 2;
    if (nodes < 1 || depth < 1 || depth > 40 || vcfDepth < 1 || vcfDepth > 40) {
        std::fputs("pentad-tools: --nodes must be positive, --depth and --vcf-depth 1..40\n",
                   stderr);
        return 2;
    }
    limits.maxNodes = nodes;
    limits.maxDepth = int(depth);
    limits.vcfDepth = int(vcfDepth);
    EngineState &e = engineState();
    if (!loadToolPosition(argv[2], 1, e)) return 1;
    const Side side = e.MoveNumber % 2 == 1 ? X : O;
    const int64_t start = processClockMs();
    ThreatSolver &solver = threatSolver();
    SolverResult r = threats ? solver.vct(e, side, limits) : solver.vcf(e, side, limits);
    std::printf("{\"win\":%s,\"line\":[", r.win ? "true" : "false");
    for (int i = 0; i < r.lineLength; ++i)
        std::printf(i ? ",%d" : "%d", r.line[size_t(i)]);
    std::printf("],\"nodes\":%lld,\"ms\":%lld,\"side\":%d,\"depth\":%d,\"complete\":%s}\n",
                (long long)r.nodes, (long long)(processClockMs() - start), int(side), r.depth,
                r.complete ? "true" : "false");
    return 0;
}

} // namespace

int commandVcf(int argc, char **argv) { return runSolver(argc, argv, false); }
int commandVct(int argc, char **argv) { return runSolver(argc, argv, true); }

} // namespace pentad

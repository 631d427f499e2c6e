// Views of positions and tables: the board of a folder, the engine's derived state, one
// generation, the candidate board and the class dump.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "board/parameters.h"
#include "board/pattern_tables.h"
#include "threats/generator.h"
#include "tools/diagnostics.h"
#include "tools/pattern_rules.h"
#include "tools/tool_support.h"

namespace pentad {
namespace {

void printPatterns(const std::array<std::array<uint16_t, DirectionCount>, CellCount> &p) {
    std::putchar('[');
    for (int c = 0; c < CellCount; ++c)
        for (int d = 0; d < DirectionCount; ++d)
            std::printf(c || d ? ",%d" : "%d", p[c][d]);
    std::putchar(']');
}

} // namespace

int commandTables(int argc, char **argv) {
    std::filesystem::path dir = argc > 2 ? argv[2] : "resources";
    PatternTableSet t = derivePatternTables();
    std::vector<uint8_t> whites(t.lineClass.begin(), t.lineClass.end());
    whites.insert(whites.end(), t.upgradeCells.begin(), t.upgradeCells.end());
    whites.insert(whites.end(), t.defenceCells.begin(), t.defenceCells.end());
    bool ok = writeFile(dir / "whites.bin", whites.data(), whites.size()) &&
              writeFile(dir / "sec4.bin", t.secondaryCells.data(), t.secondaryCells.size());
    if (!ok) {
        std::fprintf(stderr, "pentad-tools: cannot write the tables into %s\n",
                     dir.string().c_str());
        return 1;
    }
    std::printf("wrote %s and %s\n", (dir / "whites.bin").string().c_str(),
                (dir / "sec4.bin").string().c_str());
    return 0;
}

// The board of DIR as the manager wrote it, with the engine's move shown as '*'.
int commandShow(int argc, char **argv) {
    if (argc < 3) {
        return usageError();
    }
    std::filesystem::path dir = argv[2];
    // The move has replaced the side letter in tah.dat; the board is shown as written.
    std::ifstream moveFile(dir / "tah.dat");
    std::string moveText((std::istreambuf_iterator<char>(moveFile)),
                         std::istreambuf_iterator<char>());
    int column = -1, row = -1;
    bool hasMove = std::sscanf(moveText.c_str(), "%d,%d", &column, &row) == 2 && column >= 0 &&
                   column < BoardSize && row >= 0 && row < BoardSize;
    std::ifstream boardFile(dir / "plocha.dat");
    std::string token;
    std::printf("   ");
    for (int c = 0; c < BoardSize; ++c)
        std::printf("%c", c < 10 ? '0' + c : 'a' + c - 10);
    std::printf("\n");
    for (int r = 0; r < BoardSize; ++r) {
        if (!(boardFile >> token)) token.clear();
        token.resize(BoardSize, '-');
        std::printf("%2d ", r);
        for (int c = 0; c < BoardSize; ++c) {
            char ch = token[size_t(c)];
            ch = (ch == 'x' || ch == 'X') ? 'X' : (ch == 'o' || ch == 'O') ? 'O' : '.';
            if (hasMove && r == row && c == column) ch = '*';
            std::putchar(ch);
        }
        std::putchar('\n');
    }
    if (hasMove)
        std::printf("move: %d,%d (column %d, row %d)\n", column, row, column, row);
    else
        std::printf("no move in tah.dat: '%s'\n", moveText.c_str());
    return hasMove ? 0 : 1;
}

int commandState(int argc, char **argv) {
    if (argc < 3) {
        return usageError();
    }
    Options options{argc, argv, 3};
    long long seed = 1;
    if (!options.number("--seed", seed)) return 2;
    EngineState &e = engineState();
    if (!loadToolPosition(argv[2], seed, e)) return 1;
    std::printf("{\"weightX\":");
    printNumbers(e.WeightX, CellCount);
    std::printf(",\"weightO\":");
    printNumbers(e.WeightO, CellCount);
    std::printf(",\"liveX\":%d,\"liveO\":%d,\"key\":\"%08x%08x\",\"patternX\":", e.LiveWindowsX,
                e.LiveWindowsO, e.PositionKey.high, e.PositionKey.low);
    printPatterns(e.LinePatternX);
    std::printf(",\"patternO\":");
    printPatterns(e.LinePatternO);
    std::printf("}\n");
    return 0;
}

int commandGenerate(int argc, char **argv) {
    if (argc < 3) {
        return usageError();
    }
    Options options{argc, argv, 3};
    long long seed = 1, ply = 0, budget = 1000, deadline = 100000, wide = 0;
    if (!options.number("--seed", seed) || !options.number("--ply", ply) ||
        !options.number("--budget", budget) || !options.number("--deadline-ms", deadline) ||
        !options.number("--path-wide", wide))
        return 2;
    if (ply < 0 || ply >= MaxPly) {
        std::fprintf(stderr, "pentad-tools: --ply must lie in 0..%d\n", MaxPly - 1);
        return 2;
    }
    EngineState &e = engineState();
    if (!loadToolPosition(argv[2], seed, e)) return 1;
    if (e.MoveNumber > CellCount) {
        std::fputs("pentad-tools: the board has no empty cell\n", stderr);
        return 1;
    }
    e.Deadline = int32_t(std::clamp<long long>(deadline, INT32_MIN, INT32_MAX));
    e.LeafMoveLimit = e.MoveNumber < LateLeafMoveNumber ? OpeningLeafMoveLimit : LateLeafMoveLimit;
    computeBudgetThresholds(e);
    CandidateList moves;
    uint16_t pathCounts[3] = {uint16_t(wide), 0, 0};
    GenerateRequest req;
    req.side = e.MoveNumber % 2 == 1 ? X : O;
    req.budget = int32_t(std::clamp<long long>(budget, INT32_MIN, INT32_MAX));
    req.ply = int32_t(ply);
    req.moves = &moves;
    req.pathCounts = pathCounts;
    generateMoves(e, req);

    std::printf("{\"side\":%d,\"forced\":%s,\"defenceMode\":%s,\"quiet\":%s,\"defenceCount\":%d,",
                req.side, e.ForcedResult ? "true" : "false", e.DefenceMode ? "true" : "false",
                e.QuietNode ? "true" : "false", e.DefenceCount);
    // The evaluation exists only where the generator ended on a quiet node.
    if (e.QuietNode && !e.ForcedResult && moves.count == 0)
        std::printf("\"evaluation\":%d,", e.QuietEvaluation);
    else
        std::printf("\"evaluation\":null,");
    std::printf("\"moveLimit\":%d,\"moves\":", req.moveLimit);
    printList(moves);
    std::printf(",\"scores\":{");
    for (int i = 1; i <= moves.count; ++i)
        std::printf(i > 1 ? ",\"%d\":%d" : "\"%d\":%d", moves.cells[i],
                    e.MoveScores[req.ply][moves.cells[i]]);
    std::printf("},\"ownFiled\":");
    printList(e.OwnFiledCells);
    std::printf(",\"buckets\":{");
    bool first = true;
    for (int b = 1; b <= BucketCount; ++b) {
        if (e.Buckets[b].count == 0) continue;
        std::printf(first ? "\"%d\":" : ",\"%d\":", b);
        printList(e.Buckets[b]);
        first = false;
    }
    std::printf("}}\n");
    return 0;
}

int commandInfo(int, char **) {
    EngineState &e = engineState();
    if (!loadPatternTables(e)) return 1;
    if (!writeInfoDump(e, ".")) {
        std::fputs("pentad-tools: cannot write info.txt\n", stderr);
        return 1;
    }
    return 0;
}

int commandCandidates(int argc, char **argv) {
    if (argc < 3) {
        return usageError();
    }
    EngineState &e = engineState();
    if (!loadToolPosition(argv[2], 1, e)) return 1;
    if (!writeCandidateBoard(e, argv[2])) {
        std::fprintf(stderr, "pentad-tools: cannot write %s/deb2.txt\n", argv[2]);
        return 1;
    }
    return 0;
}

} // namespace pentad

#include "tools/diagnostics.h"

#include <algorithm>
#include <cstdio>

#include "search/search.h"
#include "search/transposition.h"
#include "threats/generator.h"

namespace pentad {

bool writeInfoDump(const EngineState &e, const std::filesystem::path &dir) {
    bool occurs[100] = {};
    for (uint8_t cls : e.LineClass)
        occurs[cls % 100] = true;
    FILE *f = std::fopen((dir / "info.txt").string().c_str(), "w");
    if (!f) return false;
    std::fprintf(f, "Hash entry size = %d\n", int(sizeof(TranspositionEntry)));
    int count = 0;
    for (int v = 0; v < 100; ++v)
        if (occurs[v]) std::fprintf(f, "%d) %2d\n", ++count, v);
    return std::fclose(f) == 0;
}

bool writeCandidateBoard(EngineState &e, const std::filesystem::path &dir) {
    constexpr int CandidateBudget = 1000;
    char picture[CellCount];
    for (int c = 0; c < CellCount; ++c)
        picture[c] = e.Board[c] == X ? 'X' : e.Board[c] == O ? 'O' : '-';
    CandidateList moves;
    LineCounters root;
    computeBudgetThresholds(e);
    GenerateRequest req;
    req.side = e.MoveNumber % 2 == 1 ? X : O;
    req.budget = CandidateBudget;
    req.ply = 0;
    req.moves = &moves;
    req.pathCounts = root.four;
    generateMoves(e, req);
    int count = std::min<int>(moves.count, req.moveLimit);
    for (int i = 1; i <= count; ++i)
        picture[moves.cells[i]] = char('0' + i);
    FILE *f = std::fopen((dir / "deb2.txt").string().c_str(), "w");
    if (!f) return false;
    for (int r = 0; r < BoardSize; ++r) {
        std::fputc('\n', f);
        for (int c = 0; c < BoardSize; ++c)
            std::fprintf(f, " %c ", picture[r * BoardSize + c]);
    }
    return std::fclose(f) == 0;
}

} // namespace pentad

// Building the opening book from its source, and the long searches that grow the source.
#include <algorithm>
#include <climits>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "book/opening.h"
#include "book/opening_book.h"
#include "engine/classic_move.h"
#include "search/search.h"
#include "tools/book_builder.h"
#include "tools/tool_support.h"

namespace pentad {

int commandBookBuild(int argc, char **argv) {
    if (argc < 5) {
        return usageError();
    }
    std::ifstream in(argv[3]);
    if (!in) {
        std::fprintf(stderr, "pentad-tools: cannot read %s\n", argv[3]);
        return 1;
    }
    std::vector<BookSourceRecord> records;
    std::vector<uint8_t> book;
    std::string error;
    if (!parseBookSource(in, records, error) || !buildBook(records, book, error)) {
        std::fprintf(stderr, "pentad-tools: %s: %s\n", argv[3], error.c_str());
        return 1;
    }
    if (!writeFile(argv[4], book.data(), book.size())) {
        std::fprintf(stderr, "pentad-tools: cannot write %s\n", argv[4]);
        return 1;
    }
    std::printf("%zu records, %zu bytes\n", records.size(), book.size());
    return 0;
}

// A long search of one position for the book: a clock several times longer than in play
// and a node-budget ceiling above the play ceiling.
int commandBookAnalyse(int argc, char **argv) {
    if (argc < 4) {
        return usageError();
    }
    Options options{argc, argv, 4};
    long long seconds = 20, ceiling = 7500000, seed = 1, alternatives = 3;
    if (!options.number("--seconds", seconds) || !options.number("--ceiling", ceiling) ||
        !options.number("--seed", seed) || !options.number("--alternatives", alternatives))
        return 2;
    PositionInput in;
    in.board.fill('-');
    std::istringstream moves(argv[3]);
    std::string token;
    int stones = 0;
    while (moves >> token) {
        int column, row;
        char comma;
        std::istringstream move(token);
        if (!(move >> column >> comma >> row) || comma != ',' || column < 0 ||
            column >= BoardSize || row < 0 || row >= BoardSize ||
            in.board[row * BoardSize + column] != '-') {
            std::fprintf(stderr, "pentad-tools: bad move '%s'\n", token.c_str());
            return 2;
        }
        in.board[row * BoardSize + column] = stones++ % 2 ? 'O' : 'X';
    }
    in.sideLetter = stones % 2 ? 'O' : 'X';
    in.turnLimit = int32_t(std::clamp<long long>(seconds + 1, 1, 100000));
    in.matchTime = INT32_MAX;
    if (!allocateTable()) return 1;
    EngineState &e = engineState();
    if (!setupPosition(e, in, uint32_t(seed))) return 1;
    openingBook().use({});
    e.NodeBudgetCeiling = int32_t(std::clamp<long long>(ceiling, 2, INT32_MAX));
    // The value of the last root search the clock did not cut short.
    struct LastValue : SearchObserver {
        int value = 0;
        void iterationDone(const EngineState &state, int, int) override {
            if (!clockReached(state)) value = state.BestScore;
        }
    } last;
    int move = prepareOpening(e);
    if (move < 0) {
        searchMove(e, &last);
        move = e.IterationLine[1];
    }
    // The other root moves, best value first, then by ordering score.
    std::vector<std::pair<std::pair<int, int>, int>> others;
    for (int i = 1; i <= e.RootFullCount; ++i) {
        int cell = e.RootMoves.cells[i];
        if (cell != move) others.push_back({{-e.RootScores[i], -int(e.MoveScores[0][cell])}, cell});
    }
    std::stable_sort(others.begin(), others.end());
    std::printf("{\"move\":%d,\"col\":%d,\"row\":%d,\"best\":%d,\"level\":%d,\"nodes\":%lld,"
                "\"alternatives\":[",
                move, move % BoardSize, move / BoardSize, last.value, e.IterationNumber,
                (long long)e.TotalNodes);
    for (size_t i = 0; i < others.size() && i < size_t(std::max(0LL, alternatives)); ++i)
        std::printf(i ? ",%d" : "%d", others[i].second);
    std::printf("]}\n");
    return 0;
}

} // namespace pentad

// Self-play data for fitting the tournament engine's evaluation: fast games between two copies
// of the engine, and of each game its quiet positions with the game's result and the value
// the engine's search gave the position. The fit itself is tools/tune_eval.py.
//
// Position file (little-endian), made to be read whole by a tuner:
//   header, 32 bytes:
//     char[8]  "PNTDPOS2"
//     uint16   format version (2)
//     uint16   combination count (1820)
//     uint16   cell pattern count (13)
//     uint16   random moves after each opening
//     uint32   seed
//     uint32   nodes a move
//     uint32   checksum of the evaluation tables that played (FNV-1a of their values)
//     uint32   0
//   then one block a game, in the order games end:
//     uint32   game number (from 0)
//     uint8    winner: 0 black, 1 white, 2 draw
//     uint8    0
//     uint16   positions in the block
//     a record per position, from the side to move's view:
//       uint8   result: 0 loss, 1 draw, 2 win
//       uint8   strongest cell pattern of the side to move
//       uint8   strongest cell pattern of the other side
//       uint8   stones on the board (at most 255)
//       int16   the search's value of the position (a win is 30000 less its plies), or
//               -32768 when no search ran (a single answer was played)
//       uint16  n, then n pairs (uint16 combination, int16 count): over the empty cells, how
//               many hold that combination for the side to move less how many for the other
// A position is quiet when the side to move has no five or open four to make and no four
// of his to block.
//
// With --records the file holds the games whole instead, about 4 bytes a position, for the
// network trainer (tools/train_network.py):
//   header, 32 bytes: as above, with "PNTDGAME" and format version 1
//   then one block a game, in the order games end:
//     uint32   game number (from 0)
//     uint8    winner: 0 black, 1 white, 2 draw
//     uint8    stones of the opening and the random moves, played without search
//     uint16   n, the moves of the game, then n records, black's first move first:
//       uint16  the cell (row * 20 + column), plus 0x8000 when the position before the move
//               was quiet
//       int16   the search's value of the position before the move, for the side to move,
//               or -32768 when no search ran
// A run given the same file again plays only the games the file lacks, so an interrupted
// run is resumed; a block cut short by the interruption is dropped.
//
// `static-values` writes, for a file of whole games, the tables' value of every position
// before each move, for the side to move: an int16 a move, in the file's order (a game cut
// short at the file's end is left out, as the trainer leaves it out). The trainer learns the
// network as a correction of that value.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "tools/tool_support.h"
#include "tournament/evaluation.h"
#include "tournament/pattern_board.h"
#include "tournament/search.h"

namespace pentad {
namespace {

using namespace tournament;
using tournament::Side;

constexpr char PositionMagic[9] = "PNTDPOS2";
constexpr char GameMagic[9] = "PNTDGAME";
constexpr size_t PositionHeaderBytes = 32;

std::vector<std::vector<int>> readOpenings(const char *path) {
    std::vector<std::vector<int>> openings;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream items(line);
        std::string item;
        std::vector<int> cells;
        while (items >> item) {
            int x = -1, y = -1;
            if (std::sscanf(item.c_str(), "%d,%d", &x, &y) == 2 && x >= 0 && x < Side && y >= 0 &&
                y < Side)
                cells.push_back(padded(x, y));
        }
        if (!cells.empty()) openings.push_back(cells);
    }
    return openings;
}

// A position worth learning from: the side to move has no five or open four to make, and
// no four of his to block.
bool quiet(const PatternBoard &b) {
    const Colour us = b.toMove();
    return !b.count(us, Five) && !b.count(us, Flex4) && !b.count(other(us), Five);
}

void put8(std::string &out, int v) { out.push_back(char(uint8_t(v))); }
void put16(std::string &out, int v) {
    put8(out, v & 0xff);
    put8(out, (v >> 8) & 0xff);
}
void put32(std::string &out, uint32_t v) {
    put16(out, int(v & 0xffff));
    put16(out, int(v >> 16));
}
uint32_t get32(const std::string &in, size_t at) {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | uint8_t(in[at + size_t(i)]);
    return v;
}
uint16_t get16(const std::string &in, size_t at) {
    return uint16_t(uint8_t(in[at]) | (uint8_t(in[at + 1]) << 8));
}

// The record of one position, without its result byte (known when the game ends) and with
// a value of 0 that the search's value replaces.
std::string describe(const PatternBoard &b, std::array<int, ComboCount> &diff) {
    const Colour us = b.toMove(), them = other(us);
    diff.fill(0);
    for (int y = 0; y < Side; ++y)
        for (int x = 0; x < Side; ++x)
            if (const int p = padded(x, y); b.isEmpty(p)) {
                ++diff[b.combo(us, p)];
                --diff[b.combo(them, p)];
            }
    std::string text;
    put8(text, int(b.strongest(us)));
    put8(text, int(b.strongest(them)));
    put8(text, std::min(b.stones(), 255));
    put16(text, 0);
    int n = 0;
    for (int d : diff)
        n += d != 0;
    put16(text, n);
    for (int i = 0; i < ComboCount; ++i)
        if (diff[size_t(i)]) {
            put16(text, i);
            put16(text, diff[size_t(i)]);
        }
    return text;
}

uint32_t tablesChecksum(const EvalTables &t) {
    uint32_t h = 2166136261u;
    auto mix = [&h](int16_t v) {
        for (int k = 0; k < 2; ++k) {
            h ^= uint8_t(uint16_t(v) >> (8 * k));
            h *= 16777619u;
        }
    };
    mix(t.tempo);
    for (const auto *table : {&t.value, &t.attack, &t.defend})
        for (int16_t v : *table)
            mix(v);
    for (const auto &row : t.threat)
        for (int16_t v : row)
            mix(v);
    return h;
}

std::string header(bool records, long long seed, long long nodes, long long randomMoves,
                   uint32_t checksum) {
    std::string h(records ? GameMagic : PositionMagic, 8);
    put16(h, records ? 1 : 2);
    put16(h, ComboCount);
    put16(h, CellPatternCount);
    put16(h, int(randomMoves));
    put32(h, uint32_t(seed));
    put32(h, uint32_t(nodes));
    put32(h, checksum);
    put32(h, 0);
    return h;
}

// The games an existing file holds whole, and the length of its whole part; false when it
// is not a position file of these settings.
bool scanExisting(bool records, const std::string &bytes, const std::string &expectedHeader,
                  std::set<long long> &done, size_t &wholeBytes, std::string &error) {
    if (bytes.size() < PositionHeaderBytes ||
        bytes.compare(0, PositionHeaderBytes, expectedHeader) != 0) {
        error = "the file was made with other settings or tables (seed, nodes, random moves and "
                "tables must match to resume); give a new --out";
        return false;
    }
    size_t at = PositionHeaderBytes;
    wholeBytes = at;
    while (at + 8 <= bytes.size()) {
        const long long game = get32(bytes, at);
        const int count = get16(bytes, at + 6);
        size_t end = at + 8;
        bool whole = true;
        if (records) {
            end += 4 * size_t(count);
            whole = end <= bytes.size();
        }
        for (int i = 0; i < count && whole && !records; ++i) {
            if (end + 8 > bytes.size()) {
                whole = false;
                break;
            }
            end += 8 + 4 * size_t(get16(bytes, end + 6));
            whole = end <= bytes.size();
        }
        if (!whole) break;
        done.insert(game);
        at = wholeBytes = end;
    }
    return true;
}

} // namespace

int tournamentStaticValuesCommand(const Options &options) {
    const char *in = options.argv[2], *out = options.argv[3];
    if (const char *tablesFile = options.value("--eval-file")) {
        std::string error;
        if (!loadEvalTablesFile(tablesFile, error)) {
            std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
            return 1;
        }
    }
    useNoNetwork();
    std::ifstream file(in, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    if (!file || bytes.size() < PositionHeaderBytes || bytes.compare(0, 8, GameMagic, 8) != 0) {
        std::fprintf(stderr, "pentad-tools: %s is not a file of whole games (%s)\n", in, GameMagic);
        return 1;
    }
    std::string values;
    auto board = std::make_unique<PatternBoard>();
    long long games = 0;
    for (size_t at = PositionHeaderBytes; at + 8 <= bytes.size();) {
        const int count = get16(bytes, at + 6);
        const size_t end = at + 8 + 4 * size_t(count);
        if (end > bytes.size()) break;
        board->reset();
        for (int i = 0; i < count; ++i) {
            const int cell = get16(bytes, at + 8 + 4 * size_t(i)) & 0x7fff;
            const int x = cell % tournament::Side, y = cell / tournament::Side;
            if (cell >= tournament::Side * tournament::Side || !board->isEmpty(padded(x, y))) {
                std::fprintf(stderr, "pentad-tools: %s: game %lld holds an impossible move\n", in,
                             games);
                return 1;
            }
            put16(values, std::clamp(board->tableValue(), -32767, 32767));
            board->placeAs(padded(x, y), i % 2 ? White : Black);
        }
        ++games;
        at = end;
    }
    std::ofstream written(out, std::ios::binary | std::ios::trunc);
    written.write(values.data(), std::streamsize(values.size()));
    if (!written) {
        std::fprintf(stderr, "pentad-tools: cannot write %s\n", out);
        return 1;
    }
    std::fprintf(stderr, "%lld games, %zu positions\n", games, values.size() / 2);
    return 0;
}

int tournamentSelfPlayCommand(const Options &options) {
    long long games = 100, nodes = 20000, threads = 2, seed = 1, randomMoves = 2;
    if (!useNetworkOption(options)) return 1;
    const char *out = options.value("--out");
    const bool records = options.flag("--records");
    const char *openingFile = options.value("--openings");
    if (!options.number("--games", games) || !options.number("--nodes", nodes) ||
        !options.number("--threads", threads) || !options.number("--seed", seed) ||
        !options.number("--random-moves", randomMoves))
        return 2;
    if (!out || !openingFile) {
        std::fputs("pentad-tools: selfplay --engine tournament needs --out and --openings\n",
                   stderr);
        return 2;
    }
    if (games < 1 || nodes < 1 || randomMoves < 0 || randomMoves > 20 || seed < 0) {
        std::fputs("pentad-tools: selfplay needs --games and --nodes of at least 1 and "
                   "--random-moves of 0 to 20\n",
                   stderr);
        return 2;
    }
    if (const char *tablesFile = options.value("--eval-file")) {
        std::string error;
        if (!loadEvalTablesFile(tablesFile, error)) {
            std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
            return 1;
        }
    }
    std::string error;
    const EvalTables *tables = activeEvalTables(&error);
    if (!tables) {
        std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
        return 1;
    }
    const auto openings = readOpenings(openingFile);
    if (openings.empty()) {
        std::fprintf(stderr, "pentad-tools: no openings in %s\n", openingFile);
        return 1;
    }

    // Resume: keep the whole games of an existing file, drop a block cut short.
    const std::string expected = header(records, seed, nodes, randomMoves, tablesChecksum(*tables));
    std::set<long long> done;
    {
        std::ifstream existing(out, std::ios::binary);
        if (existing) {
            std::string bytes((std::istreambuf_iterator<char>(existing)),
                              std::istreambuf_iterator<char>());
            size_t whole = 0;
            if (!bytes.empty()) {
                if (!scanExisting(records, bytes, expected, done, whole, error)) {
                    std::fprintf(stderr, "pentad-tools: %s: %s\n", out, error.c_str());
                    return 1;
                }
                if (whole < bytes.size()) {
                    std::ofstream rewrite(out, std::ios::binary | std::ios::trunc);
                    rewrite.write(bytes.data(), std::streamsize(whole));
                }
            }
        }
    }
    FILE *file = std::fopen(out, "ab");
    if (!file) {
        std::fprintf(stderr, "pentad-tools: cannot write %s\n", out);
        return 1;
    }
    if (std::ftell(file) == 0) std::fwrite(expected.data(), 1, expected.size(), file);
    std::vector<long long> todo;
    for (long long g = 0; g < games; ++g)
        if (!done.count(g)) todo.push_back(g);
    if (!done.empty())
        std::fprintf(stderr, "resuming: %zu of %lld games already in %s\n", done.size(), games,
                     out);

    std::mutex lock;
    std::atomic<size_t> next{0};
    std::atomic<long long> positions{0}, finished{0}, wins[3] = {0, 0, 0};
    const int64_t start = processClockMs();
    auto worker = [&] {
        tournament::Searcher searcher;
        searcher.allocate(size_t(8) << 20);
        auto board = std::make_unique<PatternBoard>();
        std::array<int, ComboCount> diff{};
        for (size_t k; (k = next++) < todo.size();) {
            const long long g = todo[k];
            board->reset();
            searcher.clear();
            for (int p : openings[size_t(g / 2) % openings.size()])
                board->place(p);
            // A few random near moves for variety; the two games of a pair share them.
            std::mt19937 pairRng(uint32_t(seed * 7919 + g / 2));
            for (int r = 0; r < randomMoves; ++r) {
                std::vector<int> near;
                for (int p = 0; p < PaddedCells; ++p)
                    if (board->isNear(p)) near.push_back(p);
                if (near.empty()) break;
                board->place(near[pairRng() % near.size()]);
            }
            const int unsearched = board->stones();
            std::vector<std::pair<Colour, std::string>> seen;
            std::string moves; // --records: every move of the game with its value
            int winner = -1;
            while (board->stones() < MaxStones) {
                const bool isQuiet = quiet(*board);
                const bool keep = !records && isQuiet && seen.size() < 65535;
                if (keep) seen.push_back({board->toMove(), describe(*board, diff)});
                tournament::Limits limits;
                limits.maxNodes = nodes + int64_t(g % 2) * 997; // the pair plays apart
                const tournament::Result r = searcher.think(*board, limits);
                const bool searched = r.last.depth > 0 || std::string_view(r.reason) != "search";
                const auto value =
                    uint16_t(int16_t(searched ? std::clamp(r.last.value, -32767, 32767) : -32768));
                if (keep) {
                    std::string &text = seen.back().second;
                    text[3] = char(value & 0xff);
                    text[4] = char(value >> 8);
                }
                if (records) {
                    put16(moves, (rowOf(r.move) * tournament::Side + columnOf(r.move)) |
                                     (isQuiet ? 0x8000 : 0));
                    put16(moves, value);
                }
                const Colour mover = board->toMove();
                const bool five = board->cellPattern(mover, r.move) == Five;
                board->place(r.move);
                if (five) {
                    winner = mover;
                    break;
                }
            }
            std::string block;
            put32(block, uint32_t(g));
            put8(block, winner < 0 ? 2 : winner == Black ? 0 : 1);
            if (records) {
                // The moves before the first search, then the searched ones.
                std::string opening;
                for (int i = 0; i < unsearched; ++i) {
                    put16(opening,
                          rowOf(board->moveAt(i)) * tournament::Side + columnOf(board->moveAt(i)));
                    put16(opening, uint16_t(int16_t(-32768)));
                }
                put8(block, unsearched);
                put16(block, int((opening.size() + moves.size()) / 4));
                block += opening + moves;
                positions += (long long)(moves.size() / 4);
            } else {
                put8(block, 0);
                put16(block, int(seen.size()));
                for (const auto &[colour, text] : seen) {
                    put8(block, winner < 0 ? 1 : winner == colour ? 2 : 0);
                    block += text;
                }
                positions += (long long)seen.size();
            }
            ++wins[winner < 0 ? 2 : winner == Black ? 0 : 1];
            std::lock_guard<std::mutex> guard(lock);
            std::fwrite(block.data(), 1, block.size(), file);
            std::fflush(file);
            const long long f = ++finished;
            const int64_t ms = std::max<int64_t>(processClockMs() - start, 1);
            std::fprintf(
                stderr, "\rgames %lld of %zu, %lld positions, %.0f positions/s, %lld s left ", f,
                todo.size(), (long long)positions, positions * 1000.0 / double(ms),
                (long long)(double(ms) / double(f) * double(todo.size() - size_t(f)) / 1000));
        }
    };
    std::vector<std::thread> pool;
    for (int t = 0; t < std::max<long long>(threads, 1); ++t)
        pool.emplace_back(worker);
    for (auto &t : pool)
        t.join();
    std::fclose(file);
    const int64_t ms = processClockMs() - start;
    std::fprintf(stderr, "\n");
    std::printf("games %zu (black %lld, white %lld, draws %lld), positions %lld, %lld ms, %.0f "
                "positions/s\n",
                todo.size(), (long long)wins[0], (long long)wins[1], (long long)wins[2],
                (long long)positions, (long long)ms,
                ms > 0 ? positions * 1000.0 / double(ms) : 0.0);
    return 0;
}

} // namespace pentad

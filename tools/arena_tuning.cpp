// Tuning the pattern engine's evaluation: self-play games that record quiet positions with
// the game's result, and a logistic fit of the value and threat tables to those results.
//
// Position file, one position a line, from the side to move's view (positions where the
// side to move can make a five or an open four, or must block a four, are left out):
//   R U T : a a a ... ; b b b ...
// R the result (1 win, 0 loss, 0.5 draw), U and T the strongest cell pattern of the side to
// move and of the other side, then the combination index of every empty cell for the side
// to move (a) and for the other side (b).
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "arena/search.h"
#include "pattern/eval_tables.h"
#include "pattern/pattern_board.h"
#include "platform/platform.h"
#include "platform/resources.h"
#include "tools/tool_support.h"

namespace pentad {
namespace {

using namespace pattern;
using pattern::Side;

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

std::string describe(const PatternBoard &b) {
    const Colour us = b.toMove(), them = other(us);
    char head[32];
    std::snprintf(head, sizeof head, " %d %d :", int(b.strongest(us)), int(b.strongest(them)));
    std::string text = head;
    for (Colour c : {us, them}) {
        for (int y = 0; y < Side; ++y)
            for (int x = 0; x < Side; ++x)
                if (b.isEmpty(padded(x, y))) {
                    std::snprintf(head, sizeof head, " %d", int(b.combo(c, padded(x, y))));
                    text += head;
                }
        if (c == us) text += " ;";
    }
    return text;
}

} // namespace

int arenaSelfPlayCommand(const Options &options) {
    long long games = 100, nodes = 20000, threads = 2, seed = 1, randomMoves = 2;
    const char *out = options.value("--out");
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
    const auto openings = readOpenings(openingFile);
    if (openings.empty()) {
        std::fprintf(stderr, "pentad-tools: no openings in %s\n", openingFile);
        return 1;
    }
    FILE *file = std::fopen(out, "a");
    if (!file) {
        std::fprintf(stderr, "pentad-tools: cannot write %s\n", out);
        return 1;
    }
    std::mutex lock;
    std::atomic<long long> next{0}, positions{0}, wins[3] = {0, 0, 0};
    const int64_t start = processClockMs();
    auto worker = [&] {
        arena::Searcher searcher;
        searcher.allocate(size_t(8) << 20);
        auto board = std::make_unique<PatternBoard>();
        for (long long g; (g = next++) < games;) {
            std::mt19937 rng(uint32_t(seed * 1000003 + g));
            board->reset();
            searcher.clear();
            for (int p : openings[size_t(g / 2) % openings.size()])
                board->place(p);
            // A few random near moves for variety; the pair of games shares them.
            std::mt19937 pairRng(uint32_t(seed * 7919 + g / 2));
            for (int k = 0; k < randomMoves; ++k) {
                std::vector<int> near;
                for (int p = 0; p < PaddedCells; ++p)
                    if (board->isNear(p)) near.push_back(p);
                if (near.empty()) break;
                board->place(near[pairRng() % near.size()]);
            }
            // The two games of a pair swap which engine instance... both sides are the same
            // engine; the pair differs in the first move's jitter.
            (void)rng;
            std::vector<std::pair<Colour, std::string>> seen;
            int winner = -1;
            while (board->stones() < MaxStones) {
                if (quiet(*board)) seen.push_back({board->toMove(), describe(*board)});
                arena::Limits limits;
                limits.maxNodes = nodes + int64_t(g % 2) * 997; // the pair plays apart
                const arena::Result r = searcher.think(*board, limits);
                const Colour mover = board->toMove();
                const bool five = board->cellPattern(mover, r.move) == Five;
                board->place(r.move);
                if (five) {
                    winner = mover;
                    break;
                }
            }
            ++wins[winner < 0 ? 2 : winner];
            std::lock_guard<std::mutex> guard(lock);
            for (const auto &[colour, text] : seen) {
                const char *result = winner < 0 ? "0.5" : winner == colour ? "1" : "0";
                std::fprintf(file, "%s%s\n", result, text.c_str());
            }
            positions += (long long)seen.size();
            std::fprintf(stderr, "\rgame %lld of %lld, %lld positions, %lld ms", g + 1, games,
                         (long long)positions, (long long)(processClockMs() - start));
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
    std::printf("games %lld (black %lld, white %lld, draws %lld), positions %lld, %lld ms, %.0f "
                "positions/s\n",
                games, (long long)wins[0], (long long)wins[1], (long long)wins[2],
                (long long)positions, (long long)ms, ms > 0 ? positions * 1000.0 / ms : 0.0);
    return 0;
}

} // namespace pentad

namespace pentad {
namespace {

struct Sample {
    float result = 0;
    uint8_t mover = 0, other = 0;
    std::vector<std::pair<uint16_t, int16_t>> counts; ///< combination, own count less his
};

bool readSamples(const char *path, std::vector<Sample> &samples) {
    std::ifstream in(path);
    if (!in) return false;
    std::string line;
    std::vector<int> diff(pattern::ComboCount);
    while (std::getline(in, line)) {
        std::istringstream items(line);
        Sample s;
        int mover = 0, other = 0;
        std::string colon;
        if (!(items >> s.result >> mover >> other >> colon) || colon != ":") continue;
        s.mover = uint8_t(mover);
        s.other = uint8_t(other);
        std::fill(diff.begin(), diff.end(), 0);
        int sign = 1;
        std::string item;
        while (items >> item) {
            if (item == ";") {
                sign = -1;
                continue;
            }
            const int combo = std::atoi(item.c_str());
            if (combo >= 0 && combo < pattern::ComboCount) diff[size_t(combo)] += sign;
        }
        for (int i = 0; i < pattern::ComboCount; ++i)
            if (diff[size_t(i)]) s.counts.push_back({uint16_t(i), int16_t(diff[size_t(i)])});
        samples.push_back(std::move(s));
    }
    return true;
}

void put16(std::vector<uint8_t> &out, int v) {
    const auto u = uint16_t(int16_t(std::clamp(v, -32768, 32767)));
    out.push_back(uint8_t(u & 0xff));
    out.push_back(uint8_t(u >> 8));
}

} // namespace

// Fits the value and threat tables and the tempo to the results by a logistic model of the
// static value, L2-pulled toward the tables it starts from; a tenth of the positions is held
// out and its loss reported.
int arenaTuneCommand(const Options &options) {
    const char *in = options.value("--in");
    const char *out = options.value("--out");
    long long epochs = 300, lambdaMilli = 10;
    if (!options.number("--epochs", epochs) || !options.number("--lambda-milli", lambdaMilli))
        return 2;
    if (!in || !out) {
        std::fputs("pentad-tools: tune-eval needs --in and --out\n", stderr);
        return 2;
    }
    std::vector<Sample> samples;
    if (!readSamples(in, samples) || samples.size() < 100) {
        std::fprintf(stderr, "pentad-tools: too few positions in %s\n", in);
        return 1;
    }
    std::string error;
    const pattern::EvalTables *start = pattern::embeddedEvalTables(&error);
    if (!start) {
        std::fprintf(stderr, "pentad-tools: %s\n", error.c_str());
        return 1;
    }
    constexpr int N = pattern::CellPatternCount;
    // Parameters: values, threat table, tempo.
    const int count = pattern::ComboCount + N * N + 1;
    std::vector<double> w(static_cast<size_t>(count)), w0;
    for (int i = 0; i < pattern::ComboCount; ++i)
        w[size_t(i)] = start->value[size_t(i)];
    for (int a = 0; a < N; ++a)
        for (int b = 0; b < N; ++b)
            w[size_t(pattern::ComboCount + a * N + b)] = start->threat[size_t(a)][size_t(b)];
    w[size_t(count - 1)] = start->tempo;
    w0 = w;
    auto evalOf = [&](const Sample &s) {
        double v = w[size_t(pattern::ComboCount + s.mover * N + s.other)] + w[size_t(count - 1)];
        for (auto [i, c] : s.counts)
            v += w[i] * c;
        return v;
    };
    std::mt19937 rng(1);
    std::shuffle(samples.begin(), samples.end(), rng);
    const size_t held = samples.size() / 10;
    auto loss = [&](size_t from, size_t to, double k) {
        double sum = 0;
        for (size_t i = from; i < to; ++i) {
            const double p = 1 / (1 + std::exp(-evalOf(samples[i]) / k));
            const double r = samples[i].result;
            sum -= r * std::log(std::max(p, 1e-9)) + (1 - r) * std::log(std::max(1 - p, 1e-9));
        }
        return sum / double(to - from);
    };
    // 1. The scale that fits the starting tables best.
    double k = 50, bestLoss = 1e9;
    for (double trial = 25; trial <= 3200; trial *= 1.25)
        if (const double l = loss(held, samples.size(), trial); l < bestLoss) {
            bestLoss = l;
            k = trial;
        }
    std::printf("scale %.0f, train loss %.5f, held-out loss %.5f\n", k, bestLoss, loss(0, held, k));
    // 2. Adam on the whole training set.
    std::vector<double> m(static_cast<size_t>(count)), v2(m), grad(m);
    const double lambda = double(lambdaMilli) / 1000.0, rate = 2.0;
    for (long long epoch = 1; epoch <= epochs; ++epoch) {
        std::fill(grad.begin(), grad.end(), 0.0);
        for (size_t i = held; i < samples.size(); ++i) {
            const Sample &s = samples[i];
            const double p = 1 / (1 + std::exp(-evalOf(s) / k));
            const double g = (p - s.result) / k;
            grad[size_t(pattern::ComboCount + s.mover * N + s.other)] += g;
            grad[size_t(count - 1)] += g;
            for (auto [j, c] : s.counts)
                grad[j] += g * c;
        }
        const double scale = 1.0 / double(samples.size() - held);
        for (int j = 0; j < count; ++j) {
            const double gj =
                grad[size_t(j)] * scale + lambda * 1e-4 * (w[size_t(j)] - w0[size_t(j)]);
            m[size_t(j)] = 0.9 * m[size_t(j)] + 0.1 * gj;
            v2[size_t(j)] = 0.999 * v2[size_t(j)] + 0.001 * gj * gj;
            const double mh = m[size_t(j)] / (1 - std::pow(0.9, double(epoch)));
            const double vh = v2[size_t(j)] / (1 - std::pow(0.999, double(epoch)));
            w[size_t(j)] -= rate * mh / (std::sqrt(vh) + 1e-12);
        }
        if (epoch % 50 == 0 || epoch == epochs)
            std::printf("epoch %lld: train loss %.5f, held-out loss %.5f\n", epoch,
                        loss(held, samples.size(), k), loss(0, held, k));
    }
    // 3. The tables in the engine's format; ordering tables kept.
    std::vector<uint8_t> bytes;
    for (char c : std::string("PNTDEVAL"))
        bytes.push_back(uint8_t(c));
    put16(bytes, 1);
    put16(bytes, pattern::ComboCount);
    put16(bytes, N);
    put16(bytes, int(std::lround(w[size_t(count - 1)])));
    for (int i = 0; i < pattern::ComboCount; ++i)
        put16(bytes, int(std::lround(w[size_t(i)])));
    for (int16_t a : start->attack)
        put16(bytes, a);
    for (int16_t d : start->defend)
        put16(bytes, d);
    for (int i = 0; i < N * N; ++i)
        put16(bytes, int(std::lround(w[size_t(pattern::ComboCount + i)])));
    FILE *f = std::fopen(out, "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) {
        std::fprintf(stderr, "pentad-tools: cannot write %s\n", out);
        if (f) std::fclose(f);
        return 1;
    }
    std::fclose(f);
    std::printf("wrote %s (%zu positions, %zu held out)\n", out, samples.size() - held, held);
    return 0;
}

} // namespace pentad

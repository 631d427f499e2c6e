// Built with -ffp-contract=off: the table and the head give the same bits in every build,
// with or without AVX2.
#include "tournament/network.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#if defined(__SSE2__)
#include <immintrin.h>
#endif

#include "platform/resources.h"

namespace pentad::tournament {
namespace {

constexpr char Magic[9] = "PNTDNET1";
constexpr size_t HeaderBytes = 8 + 8 * 2 + 4; ///< version 1; version 2 adds 4 bytes
constexpr int Edge = 3;                       ///< the state of a cell past the edge of the board

// The directions as (rows, columns) a step: along a row, a column, and the two diagonals.
constexpr std::array<std::array<int, 2>, 4> Direction = {{{0, 1}, {1, 0}, {1, 1}, {1, -1}}};

constexpr std::array<int32_t, NetWidth + 1> powers(int base) {
    std::array<int32_t, NetWidth + 1> p{};
    p[0] = 1;
    for (int i = 1; i <= NetWidth; ++i)
        p[size_t(i)] = p[size_t(i) - 1] * base;
    return p;
}
constexpr auto Pow3 = powers(3);

// The weights in the order of the file.
struct Weights {
    std::array<std::array<float, NetChannels>, 4> embed{};
    /// conv[l][out][in][tap]; the last layer's outputs are the features.
    std::array<std::array<std::array<std::array<float, 3>, NetChannels>, NetChannels>, NetRadius>
        conv{};
    std::array<std::array<float, NetChannels>, NetRadius> bias{};
};

// The line network's outputs for every window of 2l+1 cells (4 states each, the first cell
// the lowest base-4 digit), layer by layer; the last layer is run on the table's windows only.
void buildTable(const Weights &w, Network &net) {
    std::vector<std::array<float, NetChannels>> previous(4), next;
    for (int s = 0; s < 4; ++s)
        previous[size_t(s)] = w.embed[size_t(s)];
    auto convolve = [&](int layer, uint32_t code, int subWidth, bool relu,
                        std::array<float, NetChannels> &out) {
        const uint32_t mask = (1u << (2 * subWidth)) - 1;
        for (int o = 0; o < NetChannels; ++o) {
            float v = w.bias[size_t(layer)][size_t(o)];
            for (int t = 0; t < 3; ++t) {
                const auto &in = previous[(code >> (2 * t)) & mask];
                for (int i = 0; i < NetChannels; ++i)
                    v += w.conv[size_t(layer)][size_t(o)][size_t(i)][size_t(t)] * in[size_t(i)];
            }
            out[size_t(o)] = relu ? std::max(v, 0.0f) : v;
        }
    };
    for (int layer = 0; layer + 1 < NetRadius; ++layer) {
        const int width = 2 * layer + 3;
        next.assign(size_t(1) << (2 * width), {});
        for (uint32_t code = 0; code < next.size(); ++code)
            convolve(layer, code, width - 2, true, next[code]);
        previous.swap(next);
    }
    int32_t base = 0;
    for (int left = 0; left <= NetRadius; ++left)
        for (int right = 0; right <= NetRadius; ++right) {
            net.codeBase[size_t(left)][size_t(right)] = base;
            base += Pow3[size_t(1 + left + right)];
        }
    net.table.assign(size_t(base), FeatureVector{});
    std::array<float, NetChannels> out{};
    for (int left = 0; left <= NetRadius; ++left)
        for (int right = 0; right <= NetRadius; ++right) {
            const int cells = 1 + left + right;
            for (int32_t c = 0; c < Pow3[size_t(cells)]; ++c) {
                uint32_t window = 0; // base 4, cell -5 first; past the edge is Edge
                for (int k = -NetRadius; k <= NetRadius; ++k) {
                    int state = Edge;
                    if (k >= -left && k <= right) state = c / Pow3[size_t(k + left)] % 3;
                    window |= uint32_t(state) << (2 * (k + NetRadius));
                }
                convolve(NetRadius - 1, window, NetWidth - 2, false, out);
                auto &entry = net.table[size_t(net.codeBase[size_t(left)][size_t(right)] + c)];
                for (int f = 0; f < NetFeatures; ++f)
                    entry[f] = int16_t(
                        std::clamp(std::lround(out[size_t(f)] * float(net.quant)), -8000l, 8000l));
            }
        }
}

uint32_t fnv1a(std::span<const uint8_t> bytes) {
    uint32_t h = 2166136261u;
    for (uint8_t b : bytes) {
        h ^= b;
        h *= 16777619u;
    }
    return h;
}

std::unique_ptr<Network> &loaded() {
    static std::unique_ptr<Network> net;
    return net;
}

// Which cells a line holds, per cell and direction: how many lie before the centre and
// after it (at most the radius), and the cell k steps along (-1 past the edge).
struct Geometry {
    std::array<std::array<std::array<int8_t, 2>, NetCells>, 4> reach{};
    std::array<std::array<std::array<int16_t, NetWidth>, NetCells>, 4> along{};
    Geometry() {
        for (int d = 0; d < 4; ++d)
            for (int cell = 0; cell < NetCells; ++cell) {
                const int row = cell / NetSide, column = cell % NetSide;
                for (int k = -NetRadius; k <= NetRadius; ++k) {
                    const int r = row + k * Direction[size_t(d)][0],
                              col = column + k * Direction[size_t(d)][1];
                    const bool in = r >= 0 && r < NetSide && col >= 0 && col < NetSide;
                    along[size_t(d)][size_t(cell)][size_t(k + NetRadius)] =
                        int16_t(in ? r * NetSide + col : -1);
                }
                for (int side = 0; side < 2; ++side) {
                    int n = 0;
                    while (n < NetRadius && along[size_t(d)][size_t(cell)]
                                                 [size_t(NetRadius + (side ? n + 1 : -n - 1))] >= 0)
                        ++n;
                    reach[size_t(d)][size_t(cell)][size_t(side)] = int8_t(n);
                }
            }
    }
};

const Geometry &geometry() {
    static const Geometry g;
    return g;
}

} // namespace

bool parseNetwork(std::span<const uint8_t> bytes, Network &out, std::string &error) {
    if (bytes.size() < HeaderBytes || std::memcmp(bytes.data(), Magic, 8) != 0) {
        error = "not a network file (it must begin with PNTDNET1)";
        return false;
    }
    auto u16 = [&](size_t at) { return int(bytes[at] | (bytes[at + 1] << 8)); };
    const int version = u16(8), rule = u16(10), radius = u16(12), channels = u16(14),
              features = u16(16), hidden = u16(18), quant = u16(20), pool = u16(22);
    if (version != 1 && version != 2) {
        error =
            "network format version " + std::to_string(version) + " (this engine reads 1 and 2)";
        return false;
    }
    const size_t headerBytes = HeaderBytes + (version == 2 ? 4 : 0);
    const int base = version == 2 && bytes.size() >= headerBytes ? u16(28) : 0;
    if (base > 1) {
        error = "the network's base value " + std::to_string(base) +
                " is unknown (0 none, 1 the tables)";
        return false;
    }
    if (rule != 0) {
        error = "the network is for rule " + std::to_string(rule) + ", not free-style (0)";
        return false;
    }
    if (radius != NetRadius || channels != NetChannels || features != NetFeatures ||
        hidden != NetHidden || quant < 1 || pool < 1) {
        error = "the network's shape (radius " + std::to_string(radius) + ", " +
                std::to_string(channels) + " channels, " + std::to_string(features) +
                " features, " + std::to_string(hidden) + " hidden) is not this engine's (" +
                std::to_string(NetRadius) + ", " + std::to_string(NetChannels) + ", " +
                std::to_string(NetFeatures) + ", " + std::to_string(NetHidden) + ")";
        return false;
    }
    const size_t floats = 4 * NetChannels +
                          (NetRadius - 1) * (NetChannels * NetChannels * 3 + NetChannels) +
                          NetFeatures * NetChannels * 3 + NetFeatures + NetHidden * NetFeatures +
                          NetHidden + NetHidden * NetHidden + NetHidden + NetHidden + 1;
    if (bytes.size() != headerBytes + 4 * floats) {
        error = "the network file has " + std::to_string(bytes.size()) + " bytes, not " +
                std::to_string(headerBytes + 4 * floats);
        return false;
    }
    size_t at = HeaderBytes - 4;
    auto next = [&] {
        float v;
        std::memcpy(&v, bytes.data() + at, 4);
        at += 4;
        return v;
    };
    auto net = std::make_unique<Network>();
    net->quant = quant;
    net->pool = pool;
    net->valueScale = next();
    net->addsToTables = base == 1;
    at = headerBytes;
    if (!std::isfinite(net->valueScale) || net->valueScale <= 0) {
        error = "the network's value scale is not a positive number";
        return false;
    }
    auto w = std::make_unique<Weights>();
    for (auto &row : w->embed)
        for (float &v : row)
            v = next();
    for (int l = 0; l < NetRadius; ++l) {
        const int outs = l + 1 < NetRadius ? NetChannels : NetFeatures;
        for (int o = 0; o < outs; ++o)
            for (int i = 0; i < NetChannels; ++i)
                for (int t = 0; t < 3; ++t)
                    w->conv[size_t(l)][size_t(o)][size_t(i)][size_t(t)] = next();
        for (int o = 0; o < outs; ++o)
            w->bias[size_t(l)][size_t(o)] = next();
    }
    for (auto &row : net->w1)
        for (float &v : row)
            v = next();
    for (float &v : net->b1)
        v = next();
    for (auto &row : net->w2)
        for (float &v : row)
            v = next();
    for (float &v : net->b2)
        v = next();
    for (float &v : net->w3)
        v = next();
    net->b3 = next();
    for (const auto &row : w->embed)
        for (float v : row)
            if (!std::isfinite(v)) {
                error = "the network holds a weight that is not a number";
                return false;
            }
    buildTable(*w, *net);
    net->checksum = fnv1a(bytes);
    out = std::move(*net);
    return true;
}

bool loadNetworkFile(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read the network file " + path;
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                               std::istreambuf_iterator<char>());
    auto net = std::make_unique<Network>();
    if (!parseNetwork(bytes, *net, error)) {
        error = path + ": " + error;
        return false;
    }
    loaded() = std::move(net);
    return true;
}

bool useEmbeddedNetwork(std::string &error) {
    const std::span<const uint8_t> bytes = findResource("tournamentnet");
    if (bytes.empty()) {
        error = "the embedded network is missing";
        return false;
    }
    auto net = std::make_unique<Network>();
    if (!parseNetwork(bytes, *net, error)) {
        error = "the embedded network: " + error;
        return false;
    }
    loaded() = std::move(net);
    return true;
}

const Network *activeNetwork() { return loaded().get(); }

void useNoNetwork() { loaded().reset(); }

NetworkState::NetworkState(const Network &net) : net_(net) { reset(); }

void NetworkState::reset() {
    const Geometry &g = geometry();
    for (int view = 0; view < 2; ++view) {
        pooled_[size_t(view)].fill(0);
        for (int cell = 0; cell < NetCells; ++cell) {
            FeatureVector &sum = sum_[size_t(view)][size_t(cell)];
            sum = FeatureVector{};
            for (int d = 0; d < 4; ++d) {
                const auto &reach = g.reach[size_t(d)][size_t(cell)];
                const int32_t code = net_.codeBase[size_t(reach[0])][size_t(reach[1])];
                code_[size_t(view)][size_t(d)][size_t(cell)] = code;
                sum += net_.table[size_t(code)];
            }
            for (int f = 0; f < NetFeatures; ++f)
                pooled_[size_t(view)][size_t(f)] += std::clamp<int>(sum[f], 0, net_.quant);
        }
    }
}

namespace {

// A cell's 16 features in registers: one AVX2 register, two SSE2 ones, or the compiler's
// generic vectors. Clipping uses the int16 min and max instructions: without AVX2 the
// compiler turns plain vector comparisons into scalar code. Rows are copied in and out with
// memcpy, which compiles to plain vector loads and stores.
#if defined(__AVX2__)
struct Lanes {
    __m256i v;
    static Lanes load(const FeatureVector &f) {
        Lanes l;
        std::memcpy(&l.v, &f, sizeof l.v);
        return l;
    }
    void store(FeatureVector &f) const { std::memcpy(&f, &v, sizeof v); }
    Lanes operator+(Lanes o) const { return {_mm256_add_epi16(v, o.v)}; }
    Lanes operator-(Lanes o) const { return {_mm256_sub_epi16(v, o.v)}; }
    Lanes clip(Lanes top) const {
        return {_mm256_min_epi16(_mm256_max_epi16(v, _mm256_setzero_si256()), top.v)};
    }
};
#elif defined(__SSE2__)
struct Lanes {
    __m128i lo, hi;
    static Lanes load(const FeatureVector &f) {
        Lanes l;
        std::memcpy(&l.lo, &f, 16);
        std::memcpy(&l.hi, reinterpret_cast<const char *>(&f) + 16, 16);
        return l;
    }
    void store(FeatureVector &f) const {
        std::memcpy(&f, &lo, 16);
        std::memcpy(reinterpret_cast<char *>(&f) + 16, &hi, 16);
    }
    Lanes operator+(Lanes o) const { return {_mm_add_epi16(lo, o.lo), _mm_add_epi16(hi, o.hi)}; }
    Lanes operator-(Lanes o) const { return {_mm_sub_epi16(lo, o.lo), _mm_sub_epi16(hi, o.hi)}; }
    Lanes clip(Lanes top) const {
        const __m128i zero = _mm_setzero_si128();
        return {_mm_min_epi16(_mm_max_epi16(lo, zero), top.lo),
                _mm_min_epi16(_mm_max_epi16(hi, zero), top.hi)};
    }
};
#else
struct Lanes {
    FeatureVector v;
    static Lanes load(const FeatureVector &f) { return {f}; }
    void store(FeatureVector &f) const { f = v; }
    Lanes operator+(Lanes o) const { return {v + o.v}; }
    Lanes operator-(Lanes o) const { return {v - o.v}; }
    Lanes clip(Lanes top) const {
        const FeatureVector zero{};
        return {v < zero ? zero : (v > top.v ? top.v : v)};
    }
};
#endif

} // namespace

// A stone changes the code of every line through its cell: in the line of the cell k steps
// before it, its state joins at digit k + (cells before that line's centre).
void NetworkState::update(int cell, Colour c, int sign) {
    const Geometry &g = geometry();
    const FeatureVector topRow = FeatureVector{} + int16_t(net_.quant);
    const Lanes top = Lanes::load(topRow);
    for (int view = 0; view < 2; ++view) {
        const int state = (c == Colour(view) ? 1 : 2) * sign;
        // The clipped sums' change, at most 44 cells of at most the clip each: an int16 holds it.
        Lanes change = Lanes::load(FeatureVector{});
        for (int d = 0; d < 4; ++d) {
            const auto &line = g.along[size_t(d)][size_t(cell)];
            for (int k = -NetRadius; k <= NetRadius; ++k) {
                const int p = line[size_t(NetRadius - k)]; // the cell this stone is k after
                if (p < 0) continue;
                int32_t &code = code_[size_t(view)][size_t(d)][size_t(p)];
                const Lanes before = Lanes::load(net_.table[size_t(code)]);
                code += state * Pow3[size_t(k + g.reach[size_t(d)][size_t(p)][0])];
                FeatureVector &sum = sum_[size_t(view)][size_t(p)];
                const Lanes old = Lanes::load(sum);
                const Lanes now = old + (Lanes::load(net_.table[size_t(code)]) - before);
                now.store(sum);
                change = change + (now.clip(top) - old.clip(top));
            }
        }
        FeatureVector total;
        change.store(total);
        for (int f = 0; f < NetFeatures; ++f)
            pooled_[size_t(view)][size_t(f)] += total[f];
    }
}

int NetworkState::evaluate(Colour c) const {
    const auto &pooled = pooled_[size_t(c)];
    const float unit = 1.0f / float(net_.quant * net_.pool);
    std::array<float, NetFeatures> x{};
    for (int f = 0; f < NetFeatures; ++f)
        x[size_t(f)] = float(pooled[size_t(f)]) * unit;
    std::array<float, NetHidden> h1{}, h2{};
    for (int j = 0; j < NetHidden; ++j) {
        float v = net_.b1[size_t(j)];
        for (int f = 0; f < NetFeatures; ++f)
            v += net_.w1[size_t(j)][size_t(f)] * x[size_t(f)];
        h1[size_t(j)] = std::max(v, 0.0f);
    }
    for (int j = 0; j < NetHidden; ++j) {
        float v = net_.b2[size_t(j)];
        for (int i = 0; i < NetHidden; ++i)
            v += net_.w2[size_t(j)][size_t(i)] * h1[size_t(i)];
        h2[size_t(j)] = std::max(v, 0.0f);
    }
    float out = net_.b3;
    for (int j = 0; j < NetHidden; ++j)
        out += net_.w3[size_t(j)] * h2[size_t(j)];
    return int(std::clamp(std::lround(out * net_.valueScale), -20000l, 20000l));
}

bool NetworkState::verify() const {
    // The sums and the board-wide sums follow from the codes.
    for (int view = 0; view < 2; ++view) {
        std::array<int32_t, NetFeatures> pooled{};
        for (int cell = 0; cell < NetCells; ++cell) {
            std::array<int, NetFeatures> sum{};
            for (int d = 0; d < 4; ++d)
                for (int f = 0; f < NetFeatures; ++f)
                    sum[size_t(f)] +=
                        net_.table[size_t(code_[size_t(view)][size_t(d)][size_t(cell)])][f];
            for (int f = 0; f < NetFeatures; ++f) {
                if (sum[size_t(f)] != sum_[size_t(view)][size_t(cell)][f]) return false;
                pooled[size_t(f)] += std::clamp(sum[size_t(f)], 0, net_.quant);
            }
        }
        if (pooled != pooled_[size_t(view)]) return false;
    }
    return true;
}

} // namespace pentad::tournament

// The tournament engine's network evaluation: a line network over the 11 cells of each line
// through a cell, turned at start-up into a table by line content, summed per cell over the
// four directions, clipped, summed over the board, and a small head to the side to move's
// expected score. The sums are kept incrementally as stones come and go.
//
// Network file (little-endian), written by tools/train_network.py:
//   bytes 0-7   "PNTDNET1"
//   uint16      format version (1 or 2)
//   uint16      rule: 0 free-style
//   uint16      radius of a line, cells each way (5)
//   uint16      C, the line network's channels
//   uint16      F, its outputs: the features of a cell
//   uint16      H, the head's hidden width
//   uint16      table units of one feature (512)
//   uint16      the board-wide sum is divided by this
//   float32     engine value units of one logit
//   version 2 only: uint16 base: 0 the network's value alone, 1 the network's value added to
//               the evaluation tables' (it was trained as a correction of theirs); uint16 0
//   float32 weights, in this order: embedding [4][C] (empty, own, opponent, past the edge);
//     four convolutions [C][C][3] with biases [C]; the last [F][C][3] with biases [F];
//     the head: [H][F] + [H], [H][H] + [H], [1][H] + [1]
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "tournament/patterns.h"

namespace pentad::tournament {

constexpr int NetRadius = 5;
constexpr int NetWidth = 2 * NetRadius + 1;
constexpr int NetFeatures = 16;
constexpr int NetHidden = 32;
constexpr int NetChannels = 16;
constexpr int NetSide = 20; ///< cells on a side of the board the network plays
constexpr int NetCells = NetSide * NetSide;

/// A cell's features, one lane each: adds and clips in a few vector instructions (two SSE2
/// ones, or one AVX2 one).
using FeatureVector = int16_t __attribute__((vector_size(2 * NetFeatures)));

/// The network as the engine runs it: the feature table by line code, the head's weights.
struct Network {
    int quant = 512, pool = 16;
    float valueScale = 985.0f;
    bool addsToTables = false; ///< the value is the tables' plus the network's
    /// Where the codes of a line with `left` cells before its centre and `right` after it
    /// begin: the codes of the 1 + left + right cells, 3 states each, follow.
    std::array<std::array<int32_t, NetRadius + 1>, NetRadius + 1> codeBase{};
    std::vector<FeatureVector> table;
    std::array<std::array<float, NetFeatures>, NetHidden> w1{};
    std::array<float, NetHidden> b1{};
    std::array<std::array<float, NetHidden>, NetHidden> w2{};
    std::array<float, NetHidden> b2{};
    std::array<float, NetHidden> w3{};
    float b3 = 0;
    uint32_t checksum = 0; ///< of the file, to tell networks apart
};

/// Parses a network file and builds its table; false with the reason when the bytes do not
/// fit the format.
bool parseNetwork(std::span<const uint8_t> bytes, Network &out, std::string &error);

/// Reads a network for the boards made from now on to evaluate with; false with the reason,
/// and nothing changed, when the file cannot be read or does not fit.
bool loadNetworkFile(const std::string &path, std::string &error);
/// The embedded network, for the boards made from now on (false with the reason when bad).
bool useEmbeddedNetwork(std::string &error);
/// The network boards evaluate with, or nullptr: the evaluation tables then.
const Network *activeNetwork();
/// Boards made from now on evaluate with the tables again.
void useNoNetwork();

/// The network's sums for a position, from both colours' view, kept as stones come and go.
class NetworkState {
public:
    explicit NetworkState(const Network &net);
    /// The empty board.
    void reset();
    /// A stone of colour c put on, or taken off, the cell (row * 20 + column).
    void place(int cell, Colour c) { update(cell, c, 1); }
    void remove(int cell, Colour c) { update(cell, c, -1); }
    /// The value for colour c to move, in the engine's units.
    int evaluate(Colour c) const;
    /// Whether evaluate() is a correction to add to the tables' value.
    bool addsToTables() const { return net_.addsToTables; }
    /// Recomputes the sums from the codes; false on a difference.
    bool verify() const;

private:
    void update(int cell, Colour c, int sign);

    const Network &net_;
    /// By view (the colour called own), direction and cell: the line's code.
    std::array<std::array<std::array<int32_t, NetCells>, 4>, 2> code_{};
    /// By view and cell: the sum of the four lines' features.
    std::array<std::array<FeatureVector, NetCells>, 2> sum_{};
    /// By view: the clipped sums over the board.
    std::array<std::array<int32_t, NetFeatures>, 2> pooled_{};
};

} // namespace pentad::tournament

#include "threats/evaluation.h"

#include <algorithm>
#include <functional>

#include "board/cell_scan.h"
#include "board/parameters.h"
#include "board/placement.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {
constexpr int16_t ScoreSentinel = 32767;
} // namespace

template <Side S> void evaluateQuietNode(EngineState &e) {
    constexpr Side Them = opponent(S);
    auto n = [&](int bucket) { return int(e.Buckets[bucket].count); };
    // 1. Candidates gain both sides' weights. Those above the floor are gathered on the way
    // as keys, value above cell with the cell counted down, so that descending keys order
    // by value with ties to the lower cell; the selections below look only at them.
    const uint16_t floor = topFourFloor(e);
    std::array<uint32_t, CellCount> keys;
    int above = 0;
    // Sixteen cells a walk, and the keys gathered without a branch on the floor: neither
    // the end of a walk nor which candidates pass the floor follows a pattern.
    for (int base = 0; base < CellCount; base += 16) {
        const unsigned mask = addSumWhereNonZero8(&e.CellScore[base], &e.WeightX[base],
                                                  &e.WeightO[base], &e.CellScore[base]) |
                              addSumWhereNonZero8(&e.CellScore[base + 8], &e.WeightX[base + 8],
                                                  &e.WeightO[base + 8], &e.CellScore[base + 8])
                                  << 16;
        forEachLane(mask, base, [&](int c) {
            const uint16_t v = e.CellScore[c];
            keys[size_t(above)] = uint32_t(v) << 16 | uint32_t(0xFFFF - c);
            above += int(v > floor);
        });
    }
    // 2. Threat counts of both sides, bucket by bucket.
    int threats = DoubleOpenThreeWeight * (n(OwnDoubleOpenThree) - n(OppDoubleOpenThree)) +
                  UnusedBucketWeight * (n(15) - n(18)) +
                  ThreeOpenTwoWeight * (n(OwnThreeOpenTwo) - n(OppThreeOpenTwo)) +
                  DoubleOpenTwoWeight * (n(OwnDoubleOpenTwo) - n(OppDoubleOpenTwo));
    int own = OpenThreeWeight * n(OwnOpenThree) - e.Params.FourCountWeight * n(OwnFour);
    int opp = OpenThreeWeight * n(OppOpenThree) - e.Params.FourCountWeight * n(OppFour);
    // 3. The best candidates, four at a time, at most LeafMoveLimit of them. The rounds
    // take the candidates above the floor in order of value, ties to the lower cell, so
    // that order is found once; only the last round's top-four record is kept, as a round
    // short of four keeps the record's older cells after its own.
    const auto &theirWeights = weights<Them>(e);
    const int limit = e.LeafMoveLimit < 0 ? CellCount : e.LeafMoveLimit; // < 0: no limit
    // The last round that runs starts at 4 * (limit / 4), so limit + 4 ranks are enough.
    const int room = std::min(limit + 4, CellCount);
    // The ranks past the room need no order among themselves.
    const int kept = std::min(above, room);
    if (above > room) {
        // The keys whose value's high byte reaches that of the room-th largest are a small
        // superset of the ranks; counting bytes and gathering them takes no branch per key,
        // where selecting among all keys mispredicts about every other comparison.
        std::array<uint16_t, 256> counts{};
        uint32_t largest = 0;
        for (int i = 0; i < above; ++i) {
            ++counts[keys[size_t(i)] >> 24];
            largest = std::max(largest, keys[size_t(i)]);
        }
        unsigned cut = largest >> 24;
        for (int total = counts[cut]; total < room; total += counts[cut])
            --cut;
        int reached = 0;
        for (int i = 0; i < above; ++i) {
            keys[size_t(reached)] = keys[size_t(i)];
            reached += int((keys[size_t(i)] >> 24) >= cut);
        }
        if (reached > room)
            std::nth_element(keys.begin(), keys.begin() + room, keys.begin() + reached,
                             std::greater<uint32_t>());
    }
    std::sort(keys.begin(), keys.begin() + kept, std::greater<uint32_t>());
    std::array<int16_t, CellCount> ranked;
    std::array<uint16_t, CellCount> rankedValue;
    for (int i = 0; i < kept; ++i) {
        ranked[i] = int16_t(0xFFFF - (keys[i] & 0xFFFF));
        rankedValue[i] = uint16_t(keys[i] >> 16);
    }
    e.CellScore[CellCount] = uint16_t(ScoreSentinel);
    int taken = 0;
    for (int first = 0;; first += 4) {
        // One round's selection: up to four ranks from `first`, then the older cells.
        const int found = std::clamp(above - first, 0, 4);
        TopFourRecord top;
        for (int k = 0; k < 4; ++k) {
            top.cells[k] = k < found ? ranked[first + k] : e.TopFour.cells[k - found];
            top.values[k] = k < found ? rankedValue[first + k] : floor;
        }
        e.TopFour = top;
        if (found == 0) break;
        bool done = false;
        for (int k = 0; k < 4; ++k) {
            if (taken == e.LeafMoveLimit) {
                done = true;
                break;
            }
            int z = top.cells[k];
            int theirs = uint16_t(theirWeights[z]);
            opp += theirs;
            own += e.CellScore[z] - theirs - 2 * e.DefenceScore[z];
            e.CellScore[z] = 0;
            ++taken;
            if (k < 3 && k + 1 >= found) {
                done = true;
                break;
            }
        }
        if (done) break;
    }
    // 4. Threats, candidates and live windows.
    e.QuietEvaluation =
        threats + own - opp + LiveWindowWeight * (liveWindows<S>(e) - liveWindows<Them>(e));
}

template void evaluateQuietNode<X>(EngineState &);
template void evaluateQuietNode<O>(EngineState &);

} // namespace pentad

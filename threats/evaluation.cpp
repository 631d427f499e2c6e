#include "threats/evaluation.h"
#include "board/parameters.h"

#include "board/cell_scan.h"
#include "board/placement.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {
constexpr int16_t ScoreSentinel = 32767;
} // namespace

template <Side S> void evaluateQuietNode(EngineState &e) {
    constexpr Side Them = opponent(S);
    auto n = [&](int bucket) { return int(e.Buckets[bucket].count); };
    // 1. Candidates gain both sides' weights.
    // The candidates are gathered on the way, since the selections below look only at them.
    std::array<int16_t, CellCount> both;
    for (int c = 0; c < CellCount; ++c)
        both[c] = int16_t(e.WeightX[c] + e.WeightO[c]);
    std::array<int16_t, CellCount> candidates;
    int candidateCount = 0;
    for (int base = 0; base < CellCount; base += 8) {
        unsigned mask = addWhereNonZero8(&e.CellScore[base], &both[base], &e.CellScore[base]);
        forEachLane(mask, base, [&](int c) { candidates[candidateCount++] = int16_t(c); });
    }
    // 2. Threat counts of both sides, bucket by bucket.
    int threats = DoubleOpenThreeWeight * (n(OwnDoubleOpenThree) - n(OppDoubleOpenThree)) +
                  UnusedBucketWeight * (n(15) - n(18)) +
                  ThreeOpenTwoWeight * (n(OwnThreeOpenTwo) - n(OppThreeOpenTwo)) +
                  DoubleOpenTwoWeight * (n(OwnDoubleOpenTwo) - n(OppDoubleOpenTwo));
    int own = OpenThreeWeight * n(OwnOpenThree) - e.Params.FourCountWeight * n(OwnFour);
    int opp = OpenThreeWeight * n(OppOpenThree) - e.Params.FourCountWeight * n(OppFour);
    // 3. The best candidates, four at a time, at most LeafMoveLimit of them.
    const auto &theirWeights = weights<Them>(e);
    const uint16_t floor = topFourFloor(e);
    int taken = 0;
    bool done = false;
    while (!done) {
        e.CellScore[CellCount] = uint16_t(ScoreSentinel);
        // As a selection over the whole board: every other cell scores 0, below the floor.
        e.TopFour.values = {floor, floor, floor, floor};
        for (int i = 0; i < candidateCount; ++i)
            offerTopFour(e.TopFour, candidates[i], e.CellScore[candidates[i]]);
        if (e.TopFour.values[0] == floor) break;
        for (int k = 0; k < 4; ++k) {
            if (taken == e.LeafMoveLimit) {
                done = true;
                break;
            }
            int z = e.TopFour.cells[k];
            int theirs = uint16_t(theirWeights[z]);
            opp += theirs;
            own += e.CellScore[z] - theirs - 2 * e.DefenceScore[z];
            e.CellScore[z] = 0;
            ++taken;
            if (k < 3 && e.TopFour.values[k + 1] == floor) {
                done = true;
                break;
            }
        }
    }
    // 4. Threats, candidates and live windows.
    e.QuietEvaluation =
        threats + own - opp + LiveWindowWeight * (liveWindows<S>(e) - liveWindows<Them>(e));
}

template void evaluateQuietNode<X>(EngineState &);
template void evaluateQuietNode<O>(EngineState &);

} // namespace pentad

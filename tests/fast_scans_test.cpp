// The generator's fast scans against straightforward full-board versions of them, kept here
// as the reference model: class records after every stone, the candidate row and list,
// the top-four selection with passed-over cells, the quiet evaluation, the unread buckets
// and the table clear.
#include <algorithm>
#include <gtest/gtest.h>
#include <random>

#include "board/parameters.h"
#include "board/placement.h"
#include "board/side_traits.h"
#include "search/transposition.h"
#include "tests/test_support.h"
#include "threats/evaluation.h"
#include "threats/generator.h"
#include "threats/threat_classes.h"

namespace pentad {
namespace {

template <Side S> void expectRecordsCurrent(EngineState &e) {
    constexpr auto order = SideTraits<S>::EqualClassDirections;
    for (int c = 0; c < CellCount; ++c) {
        const uint8_t flags = classValid<S>(e)[c];
        if (!flags) continue;
        std::array<std::pair<int, int>, 4> lines; // (class, rank in the side's order)
        for (int r = 0; r < 4; ++r)
            lines[r] = {e.LineClass[linePatterns<S>(e)[c][order[r]]], r};
        std::sort(lines.begin(), lines.end());
        const CellClassRecord &rec = cellClasses<S>(e)[c];
        // Only the strongest class goes with the combined class alone.
        const int kept = flags & RecordCurrent ? 4 : 1;
        for (int k = 0; k < kept; ++k) {
            ASSERT_EQ(rec.cls[k], lines[k].first) << "side " << int(S) << " cell " << c;
            if (kept == 1) break;
            ASSERT_EQ(rec.dir[k], order[lines[k].second]) << "side " << int(S) << " cell " << c;
        }
        int best = lines[0].first, units = best % 10, second = lines[1].first / 10;
        ASSERT_EQ(combinedClasses<S>(e)[c], best / 10 * 10 + std::min(units, second)) << c;
    }
}

// The top four of a board of values, the old way: passed-over cells zeroed, all 400 looked at.
template <typename T>
TopFourRecord referenceTopFour(const std::array<T, CellCount + 1> &v, const EngineState &e,
                               const std::array<uint16_t, CellCount> &passed) {
    TopFourRecord top = e.TopFour;
    uint16_t floor = topFourFloor(e);
    top.values = {floor, floor, floor, floor};
    for (int c = 0; c < CellCount; ++c)
        offerTopFour(top, c, passed[c] ? 0 : uint16_t(v[c]));
    return top;
}

TEST(FastScans, MatchTheFullBoardReferenceOverRandomAndSelfPlayedGames) {
    std::mt19937 rng(7);
    int fullBuckets = 0, generations = 0;
    for (int game = 0; game < 60; ++game) {
        auto e = test::freshState(game + 1);
        const int stones = game % 3 == 0 ? 320 : 40 + int(rng() % 120);
        // With no proximity floor every empty cell is filed, and the weakest buckets overflow.
        if (game % 4 == 1) e->Params.ProximityFloor = 0;
        for (int n = 0; n < stones; ++n) {
            Side side = n % 2 ? O : X;
            // Every generation, in both modes; the search-mode one must agree on all it fills.
            GenerateRequest req;
            CandidateList moves, fullMoves;
            uint16_t path[3] = {uint16_t(rng() % 2), 0, 0};
            req.side = side;
            req.budget = int(rng() % 4) == 0 ? 1 : 1000 + int(rng() % 100000);
            req.ply = 1 + int(rng() % 6);
            req.moves = &moves;
            req.pathCounts = path;
            e->Deadline = 100000;
            auto full = std::make_unique<EngineState>(*e);
            GenerateRequest fullReq = req;
            fullReq.moves = &fullMoves;
            full->FileUnreadBuckets = true;
            e->FileUnreadBuckets = false;
            generateMoves(*e, req);
            generateMoves(*full, fullReq);
            ++generations;
            ASSERT_EQ(moves.count, fullMoves.count);
            ASSERT_TRUE(
                std::equal(&moves.cells[1], &moves.cells[1] + moves.count, &fullMoves.cells[1]));
            ASSERT_EQ(req.moveLimit, fullReq.moveLimit);
            ASSERT_EQ(e->MoveScores[req.ply], full->MoveScores[req.ply]);
            ASSERT_EQ(e->QuietEvaluation, full->QuietEvaluation);
            ASSERT_EQ(e->TopFour.cells, full->TopFour.cells);
            for (int b = 1; b <= BucketCount; ++b) {
                fullBuckets += full->Buckets[b].count == BucketRoom;
                if (b < FirstUnreadBucket || b > 23) {
                    ASSERT_EQ(e->Buckets[b].count, full->Buckets[b].count) << b;
                }
            }
            if (!e->QuietNode && !e->ForcedResult && moves.count > 1) {
                // The row as the full-board loop writes it, and the list in cell order.
                const auto &w = side == X ? e->WeightX : e->WeightO;
                std::vector<int> list;
                for (int c = 0; c < CellCount; ++c) {
                    uint16_t s = e->CellScore[c];
                    ASSERT_EQ(e->MoveScores[req.ply][c], s ? uint16_t(s + uint16_t(w[c])) : 0) << c;
                    if (s) list.push_back(c);
                }
                ASSERT_EQ(int(list.size()), moves.count);
            }
            expectRecordsCurrent<X>(*e);
            expectRecordsCurrent<O>(*e);
            // Next stone: the generator's first candidate half the time, else a random cell.
            int cell = moves.cells[1];
            if (moves.count == 0 || rng() % 2 || e->Board[cell] != Empty) do
                    cell = int(rng() % CellCount);
                while (e->Board[cell] != Empty);
            // A stone tried and taken back, with a generation between: the records the
            // take-back puts back must be current.
            int tried = int(rng() % CellCount);
            if (e->Board[tried] == Empty && tried != cell) {
                place(*e, tried, side);
                GenerateRequest childReq = req;
                childReq.side = opponent(side);
                generateMoves(*e, childReq);
                place(*e, tried, Empty);
                expectRecordsCurrent<X>(*e);
                expectRecordsCurrent<O>(*e);
            }
            place(*e, cell, side);
            expectRecordsCurrent<X>(*e);
            expectRecordsCurrent<O>(*e);
            // The selection with passed-over cells against the zeroed full board.
            std::array<uint16_t, CellCount> passed{};
            for (int c = 0; c < CellCount; ++c)
                passed[c] = rng() % 4 == 0 ? 0xFFFF : 0;
            auto expected = referenceTopFour(e->WeightO, *e, passed);
            selectTopFour(*e, e->WeightO, &passed);
            ASSERT_EQ(e->TopFour.cells, expected.cells);
            ASSERT_EQ(e->TopFour.values, expected.values);
        }
    }
    EXPECT_GT(generations, 5000);
    EXPECT_GT(fullBuckets, 0);
}

TEST(FastScans, TopFourMatchesTheCellByCellSelectionOnEveryKindOfArray) {
    std::mt19937 rng(11);
    auto e = test::freshState();
    for (int trial = 0; trial < 3000; ++trial) {
        // Full 16-bit range (read as unsigned), values near the floor that leave slots to
        // the older cells, and long runs of equal values.
        std::array<int16_t, CellCount + 1> v{};
        std::array<uint16_t, CellCount> passed{};
        for (int c = 0; c < CellCount; ++c) {
            const unsigned r = rng();
            v[c] = int16_t(trial % 3 == 0   ? r
                           : trial % 3 == 1 ? (r % 40 == 0 ? 23 + r % 3 : 20)
                                            : 30 + (r % 2));
            passed[c] = trial % 2 && rng() % 5 == 0 ? 0xFFFF : 0;
        }
        for (auto &cell : e->TopFour.cells)
            cell = int16_t(rng() % CellCount);
        auto expected = referenceTopFour(v, *e, passed);
        selectTopFour(*e, v, trial % 2 ? &passed : nullptr);
        ASSERT_EQ(e->TopFour.cells, expected.cells) << trial;
        ASSERT_EQ(e->TopFour.values, expected.values) << trial;
    }
}

TEST(FastScans, QuietEvaluationMatchesRepeatedFullBoardSelections) {
    std::mt19937 rng(11);
    auto e = test::freshState();
    for (auto &b : e->Buckets)
        b.count = 0;
    for (int trial = 0; trial < 300; ++trial) {
        e->LeafMoveLimit = 1 + int(rng() % 20);
        for (int c = 0; c < CellCount; ++c) {
            bool candidate = rng() % 3 == 0;
            e->CellScore[c] = candidate ? uint16_t(rng() % (trial % 2 ? 40 : 65536)) : 0;
            e->DefenceScore[c] = uint16_t(rng() % 50);
            e->WeightX[c] = int16_t(rng() % 300);
            e->WeightO[c] = int16_t(rng() % 300);
        }
        auto reference = std::make_unique<EngineState>(*e);
        evaluateQuietNode<X>(*e);
        // The old way: weights added cell by cell, then the full-board top four, taken
        // and zeroed until the leaf limit or the floor.
        EngineState &r = *reference;
        for (int c = 0; c < CellCount; ++c)
            if (r.CellScore[c])
                r.CellScore[c] = uint16_t(r.CellScore[c] + r.WeightX[c] + r.WeightO[c]);
        int own = 0, opp = 0, taken = 0;
        const uint16_t floor = topFourFloor(r);
        for (bool done = false; !done;) {
            selectTopFour(r, r.CellScore);
            if (r.TopFour.values[0] == floor) break;
            for (int k = 0; k < 4; ++k) {
                if (taken == r.LeafMoveLimit) {
                    done = true;
                    break;
                }
                int z = r.TopFour.cells[k], theirs = uint16_t(r.WeightO[z]);
                opp += theirs;
                own += r.CellScore[z] - theirs - 2 * r.DefenceScore[z];
                r.CellScore[z] = 0;
                ++taken;
                if (k < 3 && r.TopFour.values[k + 1] == floor) {
                    done = true;
                    break;
                }
            }
        }
        r.CellScore[CellCount] = e->CellScore[CellCount];
        ASSERT_EQ(e->CellScore, r.CellScore) << trial;
        ASSERT_EQ(e->TopFour.cells, r.TopFour.cells) << trial;
        // No threats and no stones: the evaluation is the candidates' part alone.
        ASSERT_EQ(e->QuietEvaluation, own - opp) << trial;
    }
}

TEST(FastScans, TableClearEmptiesWhatWasWrittenAndAllPastTheRoom) {
    TranspositionTable table;
    ASSERT_TRUE(table.allocate(TranspositionTable::SmallestBits));
    std::mt19937 rng(3);
    for (int writes : {1000, (1 << 19) + 5000}) {
        for (int i = 0; i < writes; ++i)
            table.store({uint32_t(rng()), uint32_t(rng()) | 1}, 1 + int(rng() % 9), 5, 7,
                        ExactScore, 1);
        table.clear();
        for (int32_t i = 0; i < (1 << TranspositionTable::SmallestBits) + 7; ++i)
            ASSERT_EQ(table.entry(i).depth, 0) << writes << " " << i;
    }
}

} // namespace
} // namespace pentad

#include <gtest/gtest.h>

#include "board/init.h"
#include "board/random.h"
#include "tests/test_support.h"

namespace pentad {
namespace {

using Reach = std::array<int16_t, 4>;

TEST(Geometry, ReachTablesStopAtTheBorderByRowAndColumn) {
    auto e = test::freshState();
    EXPECT_EQ(e->ReachForward[0], (Reach{4, 4, 4, 0}));
    EXPECT_EQ(e->ReachBack[0], (Reach{0, 0, 0, 0}));
    EXPECT_EQ(e->ReachForward[399], (Reach{0, 0, 0, 0}));
    EXPECT_EQ(e->ReachBack[399], (Reach{4, 4, 4, 0}));
    EXPECT_EQ(e->ReachForward[19], (Reach{0, 0, 4, 4}));
    EXPECT_EQ(e->ReachForward[380], (Reach{4, 0, 0, 0}));
    // Cell 20 (row 1, column 0) is one step forward of cell 19 by index only.
    EXPECT_EQ(e->ReachBack[20][0], 0);
}

TEST(Geometry, CellRelationNamesTheCommonLine) {
    auto rel = [&](int a, int b) {
        auto r = cellRelation(a, b);
        return std::pair<int, int>(r.distance, r.direction);
    };
    EXPECT_EQ(rel(0, 0), (std::pair{0, 1}));
    EXPECT_EQ(rel(0, 1), (std::pair{-1, 0}));
    EXPECT_EQ(rel(0, 20), (std::pair{-1, 2}));
    EXPECT_EQ(rel(0, 21), (std::pair{-1, 1}));
    EXPECT_EQ(rel(0, 22), (std::pair{21, 0}));
    EXPECT_EQ(rel(0, 40), (std::pair{-2, 2}));
    EXPECT_EQ(rel(1, 20), (std::pair{-1, 3}));
    // Whenever two cells share a line, a = b + distance * step.
    for (int a = 0; a < CellCount; a += 7) {
        for (int b = 0; b < CellCount; ++b) {
            auto r = cellRelation(a, b);
            if (r.distance != 21) {
                EXPECT_EQ(a, b + r.distance * LineStep[r.direction]);
            }
        }
    }
}

TEST(Geometry, FiveWindowsAndTheWindowsOfEachCell) {
    auto e = test::freshState();
    EXPECT_EQ(e->FiveWindowCount, 1152);
    using W = std::array<int32_t, 5>;
    EXPECT_EQ(e->FiveWindow[0], (W{0, 1, 2, 3, 4}));
    EXPECT_EQ(e->FiveWindow[1], (W{0, 21, 42, 63, 84}));
    EXPECT_EQ(e->FiveWindow[2], (W{0, 20, 40, 60, 80}));
    EXPECT_EQ(e->FiveWindow[3], (W{1, 2, 3, 4, 5}));
    EXPECT_EQ(e->WindowsOfCellCount[0], 3);
    EXPECT_EQ(e->WindowsOfCellCount[4], 8);
    EXPECT_EQ(e->WindowsOfCellCount[210], 20);
    for (int c = 0; c < CellCount; ++c)
        for (int i = 1; i < e->WindowsOfCellCount[c]; ++i)
            EXPECT_LT(e->WindowsOfCell[c][i - 1], e->WindowsOfCell[c][i]);
}

TEST(Geometry, MaskOffsetsListBackAndForwardCellsNearestFirst) {
    auto e = test::freshState();
    EXPECT_EQ(e->BitCount[255], 8);
    EXPECT_EQ(e->BitCount[0xAA], 4);
    auto slots = [&](int mask, int d) {
        std::vector<int> v;
        for (int s = 1; s <= e->BitCount[mask]; ++s)
            v.push_back(e->MaskOffset[s][mask][d]);
        return v;
    };
    EXPECT_EQ(slots(0xFF, 0), (std::vector<int>{-1, 1, -2, 2, -3, 3, -4, 4}));
    EXPECT_EQ(slots(0xAA, 0), (std::vector<int>{-2, 1, -4, 3}));
    EXPECT_EQ(slots(0x03, 0), (std::vector<int>{3, 4}));
    EXPECT_EQ(slots(0xAA, 2), (std::vector<int>{-40, 20, -80, 60}));
    EXPECT_EQ(e->MaskOffset[1][0x10][1], -21);
    // Slots past the mask's count hold the zero offset.
    EXPECT_EQ(e->MaskOffset[2][0x10][1], 0);
}

TEST(Geometry, BucketTablesAndTheTopFourFloor) {
    auto e = test::freshState();
    EXPECT_EQ(e->OwnBucketOf[24], 10);
    EXPECT_EQ(e->OpponentBucketOf[24], 12);
    EXPECT_EQ(e->OwnBucketOf[33], 9);
    EXPECT_EQ(e->OwnBucketOf[45], 16);
    EXPECT_EQ(e->OwnBucketOf[0], 1);
    EXPECT_EQ(e->OwnBucketOf[5], 23);
    EXPECT_EQ(e->OwnBucketOf[23], 5);
    EXPECT_EQ(e->OpponentBucketOf[12], 6);
    EXPECT_EQ(e->OwnBucketOf[55], 17);
    EXPECT_EQ(e->OpponentBucketOf[100], 22);
    for (int w = 0; w < 100; ++w) {
        EXPECT_NE(e->OwnBucketOf[w], 15); // category 7 never occurs
        EXPECT_NE(e->OpponentBucketOf[w], 18);
    }
}

TEST(Random, GeneratorAndPositionKeys) {
    EngineState fresh;
    EXPECT_EQ(drawRandom(fresh), 16838);
    EXPECT_EQ(fresh.RandomSeed, 1103527590u);

    // The key table takes the first 3200 draws: row 1 cell 0 is built from draws 1..4.
    auto e = test::freshState(1);
    EngineState replay;
    uint32_t d[4];
    for (auto &v : d)
        v = uint32_t(drawRandom(replay));
    EXPECT_EQ(e->ZobristTable[1][0].low, d[0] | d[1] << 16);
    EXPECT_EQ(e->ZobristTable[1][0].high, d[2] | d[3] << 16);
    for (int i = 4; i < 3200; ++i)
        drawRandom(replay);
    EXPECT_EQ(e->RandomSeed, replay.RandomSeed);
    for (const auto &key : e->ZobristTable[0])
        EXPECT_EQ(key, ZobristKey{});
    EXPECT_EQ(e->PositionKey, ZobristKey{});
}

TEST(StartUp, WeightsAndParameters) {
    auto e = test::freshState();
    const std::pair<int, int> weights[] = {{210, 36}, {0, 9},   {1, 12}, {4, 18},
                                           {21, 18},  {42, 21}, {63, 24}};
    for (auto [cell, w] : weights) {
        EXPECT_EQ(e->WeightX[cell], w) << cell;
        EXPECT_EQ(e->WeightO[cell], w) << cell;
    }
    EXPECT_EQ(e->WeightX[400], 32000);
    EXPECT_EQ(e->CellScore[400], 32000);
    EXPECT_EQ(e->Params.LevelScore,
              (std::array<int32_t, 10>{1000, 500, 185, 165, 81, 63, 13, 2, 1, 0}));
    const auto &p = e->Params;
    EXPECT_EQ(
        (std::array<int, 7>{p.DefenceCellScore, p.LineFourPenalty, p.FourCountWeight,
                            p.ThreatBonusCut, p.ProximityFloor, p.ThreatBonus, p.CounterFourScore}),
        (std::array<int, 7>{185, 305, 40, 2, 58, 150, 185}));
}

} // namespace
} // namespace pentad

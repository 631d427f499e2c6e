// Every tunable number and default setting of the engine, in one place, grouped by the
// subsystem that reads it. Structural constants (board size, table sizes, pattern digits)
// stay beside their tables; the evaluation weight sets live in `EvaluationParameters`.
#pragma once

#include <array>
#include <cstdint>

#include "board/engine_state.h"

namespace pentad {

// --- Settings of a move, applied by applyMoveSettings ---------------------------------------
constexpr int32_t DefaultNodeBudget = 1500000;
constexpr int32_t DefaultNodeBudgetCeiling = 1500000; ///< no root search starts above this
constexpr int32_t DefaultBudgetBase = 3;              ///< width-class step of node budgets
constexpr int32_t DefaultRootMoveLimit = 32;          ///< root moves searched
constexpr int32_t DefaultPlyLimit = 23;
constexpr int DefaultWeightSet = 3; ///< stored weight set 1..3 a move plays with
constexpr int32_t DefaultTurnLimitS = 30;
constexpr int32_t DefaultMatchTimeMs = 180000;

// --- Iterative deepening and the clock -------------------------------------------------------
constexpr int ExpectedGameLength = 50; ///< moves of a whole game, both sides together
constexpr int FirstNodeBudget = 1000;
constexpr int NodeBudgetGrowth = 5;
constexpr int OpeningCeiling = 1500000;
constexpr int OpeningStepFrom = 3125000; ///< in the opening this budget becomes the ceiling
constexpr int OpeningLastMoveNumber = 9;
constexpr int FirstPlyLimit = 15;
constexpr int PlyLimitGrowth = 2;
constexpr int TurnSafetyMs = 500; ///< kept back from the turn limit

// --- Node search: ordering bonuses and limits ------------------------------------------------
constexpr int KillerBonus = 1000;
constexpr int HashMoveBonus = 2000;
constexpr int LineFollowBonus = 2000;
constexpr int FourFollowUpBonus = 2000; ///< the move after a four's forced block, at any ply
constexpr int WideNodeMoves = 19;       ///< a node searching more moves counts as wide
constexpr int LeafNoiseRange = 128;     ///< leaf noise is 64 - (draw mod 128): -63..+64
constexpr int MaxExtensionLevel = 1;    ///< threat re-searches nest at most twice
constexpr int ExtensionPlies = 2;       ///< horizon added for a threat re-search

// --- Root search ------------------------------------------------------------------------------
constexpr int StartBestScore = -32750;
constexpr int SecondMoveBonusWindow = 19999; ///< root bonuses apply to values within +-this

// --- Move generator ---------------------------------------------------------------------------
/// Children that share a node's budget, by the budget's width class.
constexpr std::array<int, 12> WidthTable = {3, 4, 4, 5, 5, 5, 6, 6, 7, 7, 7, 7};
constexpr int ShallowPlyExtraWidth = 3;  ///< added at plies 1 and 2
constexpr int QuietBudget = 9;           ///< nodes with at most this budget may be leaves
constexpr int ShortDeadlineMs = 5000;    ///< under a short clock even plies may be leaves
constexpr int WideQuietMoveLimit = 24;   ///< quiet nodes off any wide line search this many
constexpr int OpeningLeafMoveLimit = 16; ///< moves a quiet leaf evaluates, early in the game
constexpr int LateLeafMoveLimit = 24;    ///< ... and from LateLeafMoveNumber on
constexpr int LateLeafMoveNumber = 12;
/// Ordering bonus of the generator's threat cells: ThreatBonus less these.
constexpr int DoubleThreeBonusCut = 10;
constexpr int FourWithThreeBonusCut = 30;

// --- Quiet expansion ------------------------------------------------------------------------
constexpr int MaxFiledForExpansion = 47;
constexpr int ExpansionRoom = 51; ///< passes run while r + 1 < (51 - filed) / 4
/// Whose weights each expansion pass selects by: 1 the side to move, 0 the opponent.
constexpr std::array<int, 16> ExpansionPasses = {1, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1};

// --- Quiet-node evaluation --------------------------------------------------------------------
constexpr int DoubleOpenThreeWeight = 100;
constexpr int UnusedBucketWeight = 12; ///< buckets 15 and 18 are always empty
constexpr int ThreeOpenTwoWeight = 10;
constexpr int DoubleOpenTwoWeight = 5;
constexpr int OpenThreeWeight = 30;
constexpr int LiveWindowWeight = 48;

// --- Opening ------------------------------------------------------------------------------
constexpr int CentreLow = 7; ///< the empty-board move lies in rows and columns 7..12
constexpr int CentreSpan = 6;

/// The settings every move starts from: budgets, limits, the weight set and the search
/// switches, and the clock settings a tool may have changed earlier in the process.
void applyMoveSettings(EngineState &e);

} // namespace pentad

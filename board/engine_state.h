// The one process-wide record of the engine and the vocabulary every other file uses.
//
// Everything the engine knows about a position lives in `EngineState`: the board, the
// incrementally kept line patterns, weights and window counts, the constant geometry
// tables built at start-up, and the settings of the running search.
#pragma once

#include <array>
#include <cstdint>

namespace pentad {

enum Side : uint8_t { Empty = 0, X = 1, O = 2 };
constexpr Side opponent(Side s) { return Side(3 - s); }

constexpr int BoardSize = 20;
constexpr int CellCount = 400;
constexpr int DirectionCount = 4;
constexpr int PatternCount = 6561; // 3^8 codes of a cell's eight line neighbours
constexpr int WindowCount = 1152;  // five-cell windows on the board
constexpr int MaxWindowsPerCell = 24;
constexpr int BucketCount = 28;
constexpr int BucketRoom = 255; // cells a threat bucket can hold
constexpr int MaxPly = 64;      // per-ply tables: current line, killers, line-follow flags
constexpr int MoveScoreRows = 96;
constexpr int16_t Sentinel = 32000;

using CellIndex = int16_t;

// Line steps of the four directions: horizontal, down-right, vertical, down-left.
constexpr std::array<int, DirectionCount> LineStep = {1, 21, 20, 19};
constexpr std::array<int, DirectionCount> ColumnStep = {1, 1, 0, -1};
constexpr std::array<int, DirectionCount> RowStep = {0, 1, 1, 1};

/// A count followed by cells; `N` is the room for cells.
template <int N> struct MoveList {
    int16_t count = 0;
    std::array<int16_t, N + 1> cells{}; ///< cells[1..count]; cells[0] unused
};

/// 64-bit position key kept as two halves, low half first.
struct ZobristKey {
    uint32_t low = 0;
    uint32_t high = 0;
    ZobristKey &operator^=(const ZobristKey &o) {
        low ^= o.low;
        high ^= o.high;
        return *this;
    }
    friend bool operator==(const ZobristKey &, const ZobristKey &) = default;
};

/// Pair of cells: signed distance along their common line and its direction;
/// distance 21 means the cells share no line.
struct CellRelationEntry {
    int16_t distance;
    uint16_t direction;
};

/// The common line of cells a and b: a = b + distance * LineStep[direction]. A cell with
/// itself reads distance 0 in direction 1. Worked out from the rows and columns, as a table
/// of all pairs would fill 640 KB of cache lines for a few lookups per node.
constexpr CellRelationEntry cellRelation(int a, int b) {
    const int ra = a / BoardSize, ca = a % BoardSize, rb = b / BoardSize, cb = b % BoardSize;
    CellRelationEntry r{21, 0};
    if (ca == cb) r = {int16_t(ra - rb), 2};
    if (ra == rb) r = {int16_t(ca - cb), 0};
    if (ra + ca == rb + cb) r = {int16_t(ra - rb), 3};
    if (ca - ra == cb - rb) r = {int16_t(ra - rb), 1};
    return r;
}

/// A cell's four line classes for one side, strongest first, and their directions.
struct CellClassRecord {
    std::array<uint8_t, 4> cls;
    std::array<uint8_t, 4> dir;
};

/// A cell on one of a stone's four lines within four steps: the pattern it holds for that
/// line (cell * 4 + direction) and the digit weight the stone has in it.
struct LineNeighbour {
    int16_t cell;
    int16_t slot;
    int16_t digit;
};
constexpr int MaxLineNeighbours = 2 * 4 * DirectionCount;

// Flags of a cell's class cache: the whole record, or only what filing reads.
constexpr uint8_t RecordCurrent = 1;
constexpr uint8_t CombinedCurrent = 2;

/// The four best cells of a scored array, best first; value 22 marks an unfilled slot.
struct TopFourRecord {
    std::array<int16_t, 4> cells{};
    std::array<uint16_t, 4> values{};
};

using CandidateList = MoveList<CellCount>;

/// A line of moves from the root: entry 0 the count, entries 1..count the moves.
using LineBuffer = std::array<int16_t, MaxPly>;
constexpr int MaxLineMoves = 20; ///< nodes write their move into the line only up to ply 19

/// What the search asks of the move generator at one node.
struct GenerateRequest {
    int32_t side = X;                     ///< side to move
    int32_t budget = 0;                   ///< node budget of this node
    int32_t ply = 0;                      ///< 0 for the root list
    CandidateList *moves = nullptr;       ///< out: candidates (room for 400)
    const uint16_t *pathCounts = nullptr; ///< [0]: wide nodes of the side to move on the line
    int32_t moveLimit = 0;                ///< out: how many of the moves the caller searches
};

/// Working weights copied from a stored set by `activateParameters`.
struct EvaluationParameters {
    std::array<std::array<int32_t, 12>, 3> StoredSets = {{
        {500, 185, 170, 90, 58, 17, 2, 185, 150, 45, 300, 185},
        {500, 185, 170, 90, 58, 17, 2, 185, 150, 45, 300, 185},
        {500, 185, 165, 81, 63, 13, 2, 185, 150, 40, 305, 185},
    }};
    /// Score of each threat level 0..9; both sides' tables always hold the same values.
    std::array<int32_t, 10> LevelScore = {1000, 500, 185, 170, 90, 58, 17, 2, 1, 0};
    int32_t DefenceCellScore = 185; ///< S1: score of a cell of the defence set
    int32_t LineFourPenalty = 300;  ///< S2: leaf penalty per four on the line
    int32_t FourCountWeight = 45;   ///< S3: quiet evaluation weight of own fours
    int32_t ThreatBonusCut = 2;     ///< S4
    int32_t ProximityFloor = 58;    ///< S5: cells with both weights below 4x are skipped
    int32_t ThreatBonus = 150;      ///< S6
    int32_t CounterFourScore = 185; ///< S7: the point where a counter-four must be blocked
};

struct EngineState {
    // --- Board and incrementally kept position data -----------------------------------
    std::array<int32_t, CellCount> Board{}; ///< Side per cell: 0 empty, 1 X, 2 O
    /// Base-3 code of the eight neighbours per cell and direction, X stones as digit 1.
    std::array<std::array<uint16_t, DirectionCount>, CellCount> LinePatternX{};
    /// The same with O stones as digit 1.
    std::array<std::array<uint16_t, DirectionCount>, CellCount> LinePatternO{};
    std::array<int16_t, CellCount + 1>
        WeightX{}; ///< 2*PX + PO for empty cells, 0 occupied; [400] 32000
    std::array<int16_t, CellCount + 1>
        WeightO{}; ///< PX + 2*PO for empty cells, 0 occupied; [400] 32000
    std::array<int16_t, CellCount> SavedWeightX{}; ///< weights a cell had when it was occupied
    std::array<int16_t, CellCount> SavedWeightO{};
    std::array<uint16_t, CellCount + 1> CellScore{};    ///< generator accumulator; [400] sentinel
    std::array<uint16_t, CellCount + 1> DefenceScore{}; ///< opponent-line part of CellScore
    std::array<CellClassRecord, CellCount> CellClassesX{};
    std::array<CellClassRecord, CellCount> CellClassesO{};
    /// RecordCurrent while CellClassesX of the cell is current, CombinedCurrent while its
    /// combined class and strongest class (CellClassesX[..].cls[0]) are.
    std::array<uint8_t, CellCount> ClassValidX{};
    std::array<uint8_t, CellCount> ClassValidO{};
    /// Combined class of the cell for each side, written with its class record.
    std::array<uint8_t, CellCount> CombinedClassX{};
    std::array<uint8_t, CellCount> CombinedClassO{};
    std::array<std::array<int32_t, 2>, WindowCount> WindowStones{}; ///< X count, O count
    int32_t LiveWindowsX = 0; ///< windows with X stones and no O stone
    int32_t LiveWindowsO = 0;
    ZobristKey PositionKey{};
    TopFourRecord TopFour{};

    // --- Move generation ------------------------------------------------------------------
    /// Threat buckets 1..28 (index 0 unused), each with room for 255 cells.
    std::array<MoveList<BucketRoom>, BucketCount + 1> Buckets{};
    /// Every cell filed into an own-side bucket during a generation, in filing order.
    MoveList<2 * CellCount> OwnFiledCells{};
    std::array<uint8_t, CellCount> OwnBestClass{}; ///< own cls_0 of a cell when it was filed
    /// 0xFFFF while a cell is filed for the side to move: the top-four selection by weights
    /// passes it over as if its weights were zero.
    std::array<uint16_t, CellCount> FiledMark{};
    bool ForcedResult = false; ///< the list is a decisive move or a forcing line
    bool DefenceMode = false;  ///< the side to move had to answer opponent threats
    int32_t DefenceCount = 1;  ///< cells in the final defence set, at least 1
    bool QuietNode = false;    ///< no list: the node's value is QuietEvaluation
    int32_t QuietEvaluation = 0;
    /// Ordering score of every cell per ply, written by the generator (0: no candidate).
    std::array<std::array<uint16_t, CellCount + 1>, MoveScoreRows> MoveScores{};
    /// The candidate list of the node search's node at each ply, kept here so that a node
    /// does not clear a fresh 400-cell list on its frame.
    std::array<CandidateList, MaxPly> PlyMoves{};
    /// The generator's defence set and the defence list of one threat, scratch of one call.
    MoveList<BucketRoom> DefenceSetCells{};
    MoveList<BucketRoom> DefenceWork{};
    /// Node budgets that separate the width classes: t0 = 10 * BudgetBase, tk = tk-1 * base.
    std::array<int32_t, 13> BudgetThresholds{};
    int32_t LeafMoveLimit = 16; ///< moves a quiet node takes into its evaluation

    // --- Constant geometry, built by initEngine ---------------------------------------
    std::array<int16_t, CellCount> RowOf{};
    std::array<int16_t, CellCount> ColumnOf{};
    std::array<std::array<int16_t, DirectionCount>, CellCount> ReachForward{}; ///< 0..4
    std::array<std::array<int16_t, DirectionCount>, CellCount> ReachBack{};    ///< 0..4
    /// The on-board cells of each cell's lines within four steps: behind it in directions
    /// 0..3, then ahead of it, nearest first.
    std::array<std::array<LineNeighbour, MaxLineNeighbours>, CellCount> LineNeighbours{};
    std::array<uint8_t, CellCount> LineNeighbourCount{};
    std::array<int32_t, 256> BitCount{};
    /// Signed cell offsets of the cells of a neighbour mask, slots 1..BitCount; slot 0 unused.
    std::array<std::array<std::array<int32_t, DirectionCount>, 256>, 9> MaskOffset{};
    std::array<uint8_t, 100> ClassUnits{};
    std::array<uint8_t, 100> ClassTens{};
    std::array<uint8_t, 100> ClassTensTimesTen{};
    std::array<int32_t, 100> OwnBucketOf{};
    std::array<int32_t, 101> OpponentBucketOf{}; ///< [100] holds TopFourFloor, 22
    std::array<std::array<int32_t, 5>, WindowCount> FiveWindow{};
    int32_t FiveWindowCount = 0;
    std::array<std::array<int32_t, MaxWindowsPerCell>, CellCount> WindowsOfCell{};
    std::array<int32_t, CellCount> WindowsOfCellCount{};
    std::array<std::array<ZobristKey, CellCount>, 3> ZobristTable{}; ///< row = Side; row 0 zero
    uint32_t RandomSeed = 1;

    // --- Line-pattern tables and the scores derived from them ---------------------------
    std::array<uint8_t, PatternCount> LineClass{};
    std::array<uint8_t, PatternCount> UpgradeCells{};
    std::array<uint8_t, PatternCount> DefenceCells{};
    std::array<uint8_t, PatternCount> SecondaryCells{};
    bool TablesLoaded = false;
    /// LevelScore[tens] + LevelScore[units] of the pattern's class, 16-bit.
    std::array<uint16_t, PatternCount> PatternScore{};
    EvaluationParameters Params{};

    // --- The move being chosen --------------------------------------------------------
    int32_t MoveNumber = 1; ///< stones on the board + 1; odd: X to move
    /// Stones in board-scan order, X at even and O at odd positions; one slot past the
    /// last stone receives the book answer. Room for a board of one colour only, whose
    /// stones stand at every other position.
    MoveList<2 * CellCount + 2> MoveHistory{};
    std::array<int16_t, CellCount> RootBonus{};
    int32_t NodeBudget = 1500000;
    int32_t NodeBudgetCeiling = 1500000; ///< no root search starts with a larger budget
    int32_t BudgetBase = 3;
    int32_t DefaultMoveLimit = 32;
    int32_t PlyLimit = 23;
    bool RandomizeLeaves = true;
    bool FullWindowRoot = false;
    bool BookMoveFlag = false;
    int64_t StartTime = 0;   ///< wall clock at start, whole seconds
    int32_t TurnLimit = 30;  ///< seconds
    int32_t MatchTime = 180; ///< milliseconds
    int32_t IterationNumber = 1;
    int64_t TotalNodes = 0;
    int32_t Deadline = 0;          ///< milliseconds after ClockOrigin when the search winds down
    int64_t ClockOrigin = 0;       ///< process clock (ms) the deadline counts from
    int32_t DeadlineOverride = -1; ///< >= 0: the move's deadline, given by the front end
    bool ClockEnabled = true;      ///< off: the deadline never fires (reproducible searches)
    int64_t NodeLimit = 0;     ///< > 0: the move ends once its search has visited this many nodes
    int32_t MaxIterations = 0; ///< > 0: the move runs at most this many root searches
    /// The generator fills the weakest buckets too; only tools that print them need that, so
    /// the search turns it off.
    bool FileUnreadBuckets = true;

    // --- Search ------------------------------------------------------------------------
    int32_t IterationNodes = 0; ///< nodes of the current root search
    int32_t ExtensionLevel = 0; ///< threat re-searches open on the current line
    int32_t EngineSide = X;     ///< side to move at the root
    /// Two killer moves per ply, first and second; -1 for none.
    std::array<std::array<int16_t, 2>, MaxPly> KillerMoves{};
    /// Per ply: the line from the root to here is the start of PrincipalLine.
    std::array<uint8_t, MaxPly> LineFollow{};
    LineBuffer IterationLine{}; ///< best line of the latest root search
    LineBuffer PrincipalLine{}; ///< best line of the previous root search, tried first
    CandidateList RootMoves{};  ///< count: the root moves searched
    int32_t RootFullCount = 0;  ///< root moves generated; all take part in the ordering
    std::array<int32_t, CellCount + 1> RootScores{}; ///< value per RootMoves position; -32000 none
    int32_t BestScore = 0;
    int32_t RootAlpha = 0;
};

/// The process-wide engine state.
EngineState &engineState();

// Per-side accessors, for bodies written once for both sides.
template <Side S> auto &linePatterns(EngineState &e) {
    if constexpr (S == X)
        return e.LinePatternX;
    else
        return e.LinePatternO;
}
template <Side S> const auto &linePatterns(const EngineState &e) {
    if constexpr (S == X)
        return e.LinePatternX;
    else
        return e.LinePatternO;
}
template <Side S> auto &weights(EngineState &e) {
    if constexpr (S == X)
        return e.WeightX;
    else
        return e.WeightO;
}
template <Side S> auto &cellClasses(EngineState &e) {
    if constexpr (S == X)
        return e.CellClassesX;
    else
        return e.CellClassesO;
}
template <Side S> auto &classValid(EngineState &e) {
    if constexpr (S == X)
        return e.ClassValidX;
    else
        return e.ClassValidO;
}
template <Side S> auto &combinedClasses(EngineState &e) {
    if constexpr (S == X)
        return e.CombinedClassX;
    else
        return e.CombinedClassO;
}
template <Side S> int32_t &liveWindows(EngineState &e) {
    if constexpr (S == X)
        return e.LiveWindowsX;
    else
        return e.LiveWindowsO;
}

inline int16_t cellAt(int row, int column) { return int16_t(row * BoardSize + column); }

} // namespace pentad

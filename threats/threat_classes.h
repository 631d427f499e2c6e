// Threats of whole cells: the combined class of a cell for a side, the cell masks read
// through the line patterns, and the filing of cells into the urgency buckets.
//
// Every threat operation is written once for the side to move S (`Own`) against `Them`.
// The threat tests of both sides are exact mirrors except through the class records they
// read: equal line classes are ordered by a side-dependent direction priority, so the
// first and second direction of a cell can differ. The quiet scoring differs in a few
// more places; board/side_traits.h lists every difference.
#pragma once

#include <algorithm>

#include "board/placement.h"

namespace pentad {

// Bucket numbers with a fixed meaning for the side to move.
enum Bucket : int {
    OwnFive = 1,
    OppFive = 2,
    OwnOpenFour = 3,
    OwnDoubleFour = 4,
    OwnFourOpenThree = 5,
    OppOpenFour = 6,
    OppDoubleFour = 7,
    OppFourOpenThree = 8,
    OwnDoubleOpenThree = 9,
    OwnFour = 10,
    OppDoubleOpenThree = 11,
    OppFour = 12,
    OwnOpenThree = 13,
    OppOpenThree = 14,
    OwnThreeOpenTwo = 16,
    OwnDoubleOpenTwo = 17,
    OppThreeOpenTwo = 19,
    OppDoubleOpenTwo = 20,
    OwnFourWithThree = 25, ///< own cells of combined class 24
    OwnFourWithTwo = 26,   ///< own cells of combined class 25
    OppFourWithThree = 27,
    OppFourWithTwo = 28,
};
/// Buckets OppFive..LastUrgentBucket are the threats that keep a node from being a leaf.
constexpr int LastUrgentBucket = 16;
/// Buckets from here on hold the weakest cells of both sides; nothing in the engine reads them.
constexpr int FirstUnreadBucket = 21;
/// Threat level of an open three; in defence only lines up to it reach unscored cells.
constexpr int OpenThreeLevel = 3;

// Line classes (tens digit: what the move makes in the line; units: what the line keeps
// after the opponent's best reply) and combined classes the threat tests name.
constexpr int LineFourWithThree = 24;      ///< a four with a three behind it
constexpr int LineOpenThreeWithThree = 34; ///< an open three that keeps a three when blocked
constexpr int CombinedFourWithThree = 24;  ///< a four combined with a level-4 three
constexpr int CombinedFourWithTwo = 25;    ///< a four combined with an open two

inline int level(const EngineState &e, int lineClass) { return e.ClassTens[lineClass]; }

/// Class k (0 = strongest) of side S at the cell, and its direction.
template <Side S> inline int cls(EngineState &e, int cell, int k) {
    return classesOf<S>(e, cell).cls[k];
}
template <Side S> inline int dir(EngineState &e, int cell, int k) {
    return classesOf<S>(e, cell).dir[k];
}

/// Level of the best line with the strength of the second direction folded into the units.
template <Side S> inline int combinedClass(EngineState &e, int cell) {
    return combinedClassOf<S>(e, cell);
}

template <Side S> inline int upgradeMask(const EngineState &e, int cell, int d) {
    return e.UpgradeCells[linePatterns<S>(e)[cell][d]];
}
template <Side S> inline int defenceMask(const EngineState &e, int cell, int d) {
    return e.DefenceCells[linePatterns<S>(e)[cell][d]];
}
template <Side S> inline int secondaryMask(const EngineState &e, int cell, int d) {
    return e.SecondaryCells[linePatterns<S>(e)[cell][d]];
}

/// Cell k (1-based) of a mask around `cell` in direction d; past the mask's count the cell
/// itself stands in.
inline int maskCell(const EngineState &e, int cell, int mask, int d, int k) {
    return cell + e.MaskOffset[k][mask][d];
}

/// First upgrade cell of side S at (cell, d): the five point of a four, an end of a three.
template <Side S> inline int firstUpgradeCell(const EngineState &e, int cell, int d) {
    return maskCell(e, cell, upgradeMask<S>(e, cell, d), d, 1);
}

/// Appends a cell to a list unless it is full.
template <int N> inline void append(MoveList<N> &list, int cell) {
    if (list.count < N) list.cells[++list.count] = int16_t(cell);
}

/// Appends all cells of a mask, in slot order.
template <int N>
inline void appendMask(const EngineState &e, MoveList<N> &list, int cell, int mask, int d) {
    for (int k = 1; k <= e.BitCount[mask]; ++k)
        append(list, maskCell(e, cell, mask, d, k));
}

/// Files a cell into a bucket; a cell beyond the bucket's room is dropped.
inline void fileCell(EngineState &e, int bucket, int cell) { append(e.Buckets[bucket], cell); }

/// Whether a combined class is one of the two four classes with buckets of their own.
inline bool specialFour(int w) { return unsigned(w - CombinedFourWithThree) <= 1u; }

/// Files a cell for the side to move: the special four buckets, its bucket by combined
/// class, the list of own filed cells and, with Mark, its mark, so the top-four selection
/// by weights passes it over. Occupied cells are classified but not filed; with
/// KnownEmpty the caller has made sure the cell is empty. Returns the cell's bucket, 0
/// when it is occupied.
template <Side S, bool Mark = true, bool KnownEmpty = false>
inline int fileOwnCell(EngineState &e, int cell, bool fileUnread) {
    int w = combinedClass<S>(e, cell);
    e.OwnBestClass[cell] = cellClasses<S>(e)[cell].cls[0]; // current with the combined class
    if (!KnownEmpty && e.Board[cell] != Empty) return 0;
    if (specialFour(w))
        fileCell(e, w == CombinedFourWithThree ? OwnFourWithThree : OwnFourWithTwo, cell);
    const int bucket = e.OwnBucketOf[w];
    if (bucket < FirstUnreadBucket || fileUnread) fileCell(e, bucket, cell);
    append(e.OwnFiledCells, cell);
    if constexpr (Mark) e.FiledMark[cell] = 0xFFFF;
    return bucket;
}
template <Side S, bool Mark = true> inline int fileOwnCell(EngineState &e, int cell) {
    return fileOwnCell<S, Mark>(e, cell, e.FileUnreadBuckets);
}

/// Files a cell for the opponent of the side to move S.
template <Side S, bool KnownEmpty = false>
inline void fileOpponentCell(EngineState &e, int cell, bool fileUnread) {
    constexpr Side Them = opponent(S);
    int w = combinedClass<Them>(e, cell);
    if (!KnownEmpty && e.Board[cell] != Empty) return;
    if (specialFour(w))
        fileCell(e, w == CombinedFourWithThree ? OppFourWithThree : OppFourWithTwo, cell);
    const int bucket = e.OpponentBucketOf[w];
    if (bucket < FirstUnreadBucket || fileUnread) fileCell(e, bucket, cell);
}
template <Side S> inline void fileOpponentCell(EngineState &e, int cell) {
    fileOpponentCell<S>(e, cell, e.FileUnreadBuckets);
}

/// Takes the marks of every own filed cell away.
inline void clearFiledMarks(EngineState &e) {
    for (int i = 1; i <= e.OwnFiledCells.count; ++i)
        e.FiledMark[e.OwnFiledCells.cells[i]] = 0;
}

/// A trial stone for the threat tests: line patterns and board only, taken back when the
/// guard goes out of scope, so every path out of a test restores the position.
class TrialStone {
public:
    TrialStone(EngineState &e, int cell, Side side) : e_(e), cell_(cell), side_(side) {
        placeLight(e_, cell_, side_);
        e_.Board[cell_] = side_;
    }
    ~TrialStone() {
        removeLight(e_, cell_, side_);
        e_.Board[cell_] = Empty;
    }
    TrialStone(const TrialStone &) = delete;
    TrialStone &operator=(const TrialStone &) = delete;

private:
    EngineState &e_;
    int cell_;
    Side side_;
};

} // namespace pentad

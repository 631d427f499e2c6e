// Every deliberate difference between the X and the O twin of an operation, in one place.
// The twins are written once and read these values; everything else about them is an
// exact mirror (a parity test holds that, and each difference below has a test of its own).
//
//   EqualClassDirections   equal line classes of a cell are listed in this direction order
//                          (X 2, 3, 1, 0; O 0, 1, 2, 3), so the first and second direction
//                          of a cell, and what the threat tests read through them, can differ
//   OwnThreesBeforeFours   the quiet expansion scores the own open threes before the own
//                          fours (O) or after them (X)
//   OwnFourLowestLevel     the own-four scoring takes lines from this level up to 7 (X 5, O 3)
//   OwnFourBestFromLevel   a four's cell gets half the best score of the mask cells of lines
//                          from this level up to 5 (X only open twos, O from level 3 on)
//   MarksUnscoredThreeCells the own-three scoring marks an unscored mask cell of a line
//                          other than an open two with 1 (X) or leaves it out (O)
//   AddsAlongOpenTwos      the own-three scoring adds to scored cells along open twos (O),
//                          or not (X)
//   MarksOpponentFourCell  the opponent-four scoring adds 1 to the four's own cell (X only)
#pragma once

#include <array>

#include "board/engine_state.h"

namespace pentad {

template <Side S> struct SideTraits;

template <> struct SideTraits<X> {
    static constexpr std::array<int, 4> EqualClassDirections = {2, 3, 1, 0};
    static constexpr bool OwnThreesBeforeFours = false;
    static constexpr int OwnFourLowestLevel = 5;
    static constexpr int OwnFourBestFromLevel = 5;
    static constexpr bool MarksUnscoredThreeCells = true;
    static constexpr bool AddsAlongOpenTwos = false;
    static constexpr bool MarksOpponentFourCell = true;
};

template <> struct SideTraits<O> {
    static constexpr std::array<int, 4> EqualClassDirections = {0, 1, 2, 3};
    static constexpr bool OwnThreesBeforeFours = true;
    static constexpr int OwnFourLowestLevel = 3;
    static constexpr int OwnFourBestFromLevel = 3;
    static constexpr bool MarksUnscoredThreeCells = false;
    static constexpr bool AddsAlongOpenTwos = true;
    static constexpr bool MarksOpponentFourCell = false;
};

} // namespace pentad

// Combination tests and defence lists: whether a four combined with a three wins by force,
// and which cells answer an opponent's combination threat.
//
// Each operation is written for the side to move S (own) against the opponent; trial
// stones go through `TrialStone`, so the position is always restored.
#pragma once

#include "board/engine_state.h"

namespace pentad {

using DefenceList = MoveList<BucketRoom>;
using ForcingLine = MoveList<CellCount>;

/// Own cell a of bucket 5: true when the forced block of the four leaves the opponent no
/// four. Otherwise scores the counter-four point and a, and returns false. Writes a into
/// element 1 of `out`.
template <Side S> bool checkFourOpenThree(EngineState &e, int a, ForcingLine &out);

/// Scans bucket 25 (own four with a three) for a verified four-three win.
template <Side S> bool findFourThreeWin(EngineState &e, ForcingLine &out);

/// Scans bucket 26 (own four with an open two) for a verified four-two win.
template <Side S> bool findFourTwoWin(EngineState &e, ForcingLine &out);

template <Side S> void defendOpenFour(EngineState &e, int p, DefenceList &list);
template <Side S> void defendDoubleFour(EngineState &e, int p, DefenceList &list);
/// The three builders below return false when the opponent's threat is not real.
template <Side S> bool defendFourOpenThree(EngineState &e, int p, DefenceList &list);
template <Side S> bool defendFourThree(EngineState &e, int p, DefenceList &list);
template <Side S> bool defendFourTwo(EngineState &e, int p, DefenceList &list);

} // namespace pentad

#include "driver/move_choice.h"

namespace pentad {

// Until the search is in place: the empty cell whose line weights for both sides are
// largest, the lower cell on ties.
int chooseMove(EngineState &e) {
    int best = -1, bestValue = -1;
    for (int c = 0; c < CellCount; ++c) {
        if (e.Board[c] != Empty) continue;
        int value = int(uint16_t(e.WeightX[c])) + int(uint16_t(e.WeightO[c]));
        if (value > bestValue) {
            best = c;
            bestValue = value;
        }
    }
    return best;
}

} // namespace pentad

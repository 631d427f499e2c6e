#include "engine/engine.h"

#include <algorithm>

#include "platform/platform.h"
#include "search/search.h"

namespace pentad {

bool Engine::play(int cell, Stone stone) {
    if (cell < 0 || cell >= CellCount || position_[size_t(cell)] != Stone::None) return false;
    position_[size_t(cell)] = stone;
    return true;
}

bool Engine::takeBack(int cell) {
    if (cell < 0 || cell >= CellCount || position_[size_t(cell)] == Stone::None) return false;
    position_[size_t(cell)] = Stone::None;
    return true;
}

void Engine::stop() { requestStop(); }
void Engine::clearStop() { pentad::clearStop(); }

int32_t moveBudget(int64_t turnMs, int64_t matchMs, int64_t timeLeft, int stones) {
    // timeout_turn 0 asks for an answer at once, and so does a time_left at or below zero;
    // only timeout_match 0 means no match limit.
    if (turnMs == 0) return 0;
    if (timeLeft != NoTimeLeft && timeLeft <= 0) return 0;
    int64_t budget = std::numeric_limits<int32_t>::max();
    if (turnMs > 0) budget = turnMs - SafetyMs;
    int64_t match = timeLeft != NoTimeLeft ? timeLeft : matchMs;
    if (match > 0) {
        const int64_t capped = std::min<int64_t>(match, std::numeric_limits<int32_t>::max());
        // The same Poisson model as the exchange engine, fed with the time that is left.
        int64_t perMove =
            timeBudgetMs(std::numeric_limits<int32_t>::max() / 1000, int32_t(capped), stones);
        budget = std::min(budget, perMove);
        budget = std::min(budget, match - SafetyMs);
    }
    return int32_t(std::clamp<int64_t>(budget, 0, std::numeric_limits<int32_t>::max()));
}

} // namespace pentad

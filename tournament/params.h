// The search's tunable constants, named so that a tuning run can set them from outside
// (pbrain-pentad --param NAME=VALUE) without a rebuild. They are read when a search starts;
// set them before the first one.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace pentad::tournament {

struct SearchParams {
    int aspirationWindow = 60;  ///< half-width of the first window around the last value
    int reductionBase = 40;     ///< late-move reduction: round(base/100 + ln d ln m / (div/100))
    int reductionDivisor = 220; ///<   the divisor of that formula, in hundredths
    int nonPvReduction = 1;     ///< plies more reduced off the principal variation
    int threeHorizonPlies = 1;  ///< depth given at the horizon to answer his open three
    int quiescencePlies = 16;   ///< fours the quiescence follows at the most
    /// With a turn limit only: no new iteration after this share of the move's maximum
    /// (percent); with a match limit the optimum is the match share instead.
    int turnOptimumPercent = 60;
    int staticNullDepth = 3;    ///< up to this depth a static value far above beta stands,
    int staticNullMargin = 300; ///<   this much a ply above it
    int moveCountDepth = 3;     ///< up to this depth late quiet moves are not searched,
    int moveCountBase = 4;      ///<   those after base + depth * depth moves
    int failHighMargin = 300;   ///< a static value this far above beta costs a ply (0: off)
    /// A network trained as a correction of the tables is not asked at a quiescence node
    /// whose tables' value lies this far outside the window (0: always asked).
    int networkGate = 0;
};

/// One tunable: its name, its range and the step a tuning run starts with.
struct ParamSpec {
    const char *name;
    int SearchParams::*field;
    int low, high, step;
};

std::span<const ParamSpec> paramSpecs();
/// The process-wide values every new search reads.
SearchParams &searchParams();
/// Sets one value by name; false with a reason for an unknown name or a value out of range.
bool setSearchParam(std::string_view name, int value, std::string &error);
/// "NAME=VALUE", as given on a command line.
bool setSearchParam(std::string_view assignment, std::string &error);

} // namespace pentad::tournament

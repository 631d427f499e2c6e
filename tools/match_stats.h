// Score and Elo estimate of a match from each game's points (1 win, 0.5 draw, 0 loss).
#pragma once

#include <string>
#include <vector>

namespace pentad {

struct EloEstimate {
    double score = 0;                  ///< mean points per game
    bool bounded = false;              ///< false at a score of 0 or 1: the difference is unbounded
    double elo = 0, low = 0, high = 0; ///< estimate and its 95% interval
};

EloEstimate estimateElo(const std::vector<double> &points);

/// ", Elo difference +N (95% interval +L .. +H)" or ", Elo difference unbounded (+inf)".
std::string describeElo(const EloEstimate &estimate);

} // namespace pentad

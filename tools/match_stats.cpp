#include "tools/match_stats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace pentad {

EloEstimate estimateElo(const std::vector<double> &points) {
    EloEstimate r;
    if (points.empty()) return r;
    const double n = double(points.size());
    for (double p : points)
        r.score += p;
    r.score /= n;
    double variance = 0;
    for (double p : points)
        variance += (p - r.score) * (p - r.score);
    const double margin = 1.96 * std::sqrt(variance / n) / std::sqrt(n);
    auto elo = [](double p) { return -400.0 * std::log10(1.0 / p - 1.0); };
    r.bounded = r.score > 0 && r.score < 1;
    if (r.bounded) {
        r.elo = elo(r.score);
        r.low = elo(std::clamp(r.score - margin, 1e-6, 1 - 1e-6));
        r.high = elo(std::clamp(r.score + margin, 1e-6, 1 - 1e-6));
    }
    return r;
}

std::string describeElo(const EloEstimate &e) {
    char text[128];
    if (!e.bounded)
        std::snprintf(text, sizeof text, ", Elo difference unbounded (%s)",
                      e.score >= 1 ? "+inf" : "-inf");
    else
        std::snprintf(text, sizeof text, ", Elo difference %+.0f (95%% interval %+.0f .. %+.0f)",
                      e.elo, e.low, e.high);
    return text;
}

} // namespace pentad

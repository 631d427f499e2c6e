#include "tournament/params.h"

#include <charconv>

namespace pentad::tournament {
namespace {

constexpr ParamSpec Specs[] = {
    {"aspirationWindow", &SearchParams::aspirationWindow, 10, 1000, 30},
    {"reductionBase", &SearchParams::reductionBase, -100, 200, 20},
    {"reductionDivisor", &SearchParams::reductionDivisor, 100, 600, 40},
    {"nonPvReduction", &SearchParams::nonPvReduction, 0, 3, 1},
    {"threeHorizonPlies", &SearchParams::threeHorizonPlies, 0, 2, 1},
    {"quiescencePlies", &SearchParams::quiescencePlies, 0, 40, 4},
    {"turnOptimumPercent", &SearchParams::turnOptimumPercent, 20, 100, 10},
    {"staticNullDepth", &SearchParams::staticNullDepth, 0, 8, 1},
    {"staticNullMargin", &SearchParams::staticNullMargin, 0, 5000, 100},
    {"networkGate", &SearchParams::networkGate, 0, 5000, 100},
    {"moveCountDepth", &SearchParams::moveCountDepth, 0, 8, 1},
    {"moveCountBase", &SearchParams::moveCountBase, 0, 40, 2},
    {"failHighMargin", &SearchParams::failHighMargin, 0, 5000, 100},
};

} // namespace

std::span<const ParamSpec> paramSpecs() { return Specs; }

SearchParams &searchParams() {
    static SearchParams params;
    return params;
}

bool setSearchParam(std::string_view name, int value, std::string &error) {
    for (const ParamSpec &s : Specs) {
        if (name != s.name) continue;
        if (value < s.low || value > s.high) {
            error = "parameter " + std::string(name) + " takes " + std::to_string(s.low) + " to " +
                    std::to_string(s.high);
            return false;
        }
        searchParams().*s.field = value;
        return true;
    }
    error = "unknown parameter " + std::string(name);
    return false;
}

bool setSearchParam(std::string_view assignment, std::string &error) {
    const size_t eq = assignment.find('=');
    int value = 0;
    if (eq == std::string_view::npos) {
        error = "a parameter is given as NAME=VALUE";
        return false;
    }
    const std::string_view text = assignment.substr(eq + 1);
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size()) {
        error = "parameter " + std::string(assignment.substr(0, eq)) + " needs a whole number";
        return false;
    }
    return setSearchParam(assignment.substr(0, eq), value, error);
}

} // namespace pentad::tournament

#include "board/pattern_tables.h"

#include <algorithm>

#include "platform/resources.h"

namespace pentad {

bool loadPatternTables(EngineState &e) {
    std::span<const uint8_t> whites = findResource("whites");
    std::span<const uint8_t> sec4 = findResource("sec4");
    if (whites.size() < size_t(WhitesTableCount * PatternCount) ||
        sec4.size() < size_t(PatternCount))
        return false;
    auto slice = [&](std::span<const uint8_t> from, int index,
                     std::array<uint8_t, PatternCount> &to) {
        std::copy_n(from.begin() + index * PatternCount, PatternCount, to.begin());
    };
    slice(whites, 0, e.LineClass);
    slice(whites, 1, e.UpgradeCells);
    slice(whites, 2, e.DefenceCells);
    slice(sec4, 0, e.SecondaryCells);
    e.TablesLoaded = true;
    return true;
}

void buildPatternScore(EngineState &e) {
    const auto &level = e.Params.LevelScore;
    for (int p = 0; p < PatternCount; ++p) {
        int cls = e.LineClass[p];
        e.PatternScore[p] = uint16_t(level[cls / 10] + level[cls % 10]);
    }
}

} // namespace pentad

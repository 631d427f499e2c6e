// The line-pattern tables: class, upgrade, defence and secondary masks of every pattern.
#pragma once

#include "board/engine_state.h"

namespace pentad {

constexpr int WhitesTableCount = 3; // class, upgrade and defence tables carried in "whites"

/// Copies the tables from the embedded resources. False when a resource is missing or
/// too short, in which case the engine must not run.
bool loadPatternTables(EngineState &e);

/// Rebuilds `PatternScore` from the class table and the working level scores.
void buildPatternScore(EngineState &e);

} // namespace pentad

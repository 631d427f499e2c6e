// Developer commands of pentad-tools; none of them is on the engine's move path.
#pragma once

namespace pentad {

/// Runs the subcommand named by argv[1]; returns the process exit status.
int runToolsCommand(int argc, char **argv);

} // namespace pentad

#include "board/engine_state.h"

namespace pentad {

/// Builds the position of DIR exactly as the engine does, with `seed` in place of the start
/// time. Prints a message and returns false when the files cannot be used.
bool loadToolPosition(const char *dir, long long seed, EngineState &e);

} // namespace pentad

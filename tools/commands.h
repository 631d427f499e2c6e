// Developer commands of pentad-tools; none of them is on the engine's move path.
#pragma once

namespace pentad {

/// Runs the subcommand named by argv[1]; returns the process exit status.
int runToolsCommand(int argc, char **argv);

} // namespace pentad

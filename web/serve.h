#pragma once

namespace pentad::web {

/// `pentad-board [--port P] [--host H] [--engine "CMD ARGS"]`: serves until interrupted.
int runBoardServer(int argc, char **argv);

} // namespace pentad::web

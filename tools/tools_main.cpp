// Developer tools: table generation and views of the engine's internal state.
#include "tools/commands.h"

int main(int argc, char **argv) { return pentad::runToolsCommand(argc, argv); }

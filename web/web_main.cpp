// The browser board: serves the page and runs an engine process for every game.
#include "web/serve.h"

int main(int argc, char **argv) { return pentad::web::runBoardServer(argc, argv); }

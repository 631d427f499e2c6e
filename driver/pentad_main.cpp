// The exchange-file engine: plays one move in the current folder and exits.
#include "driver/exchange.h"

int main() { return pentad::runEngine("."); }

// The exchange-file engine: plays one move in the current folder and exits.
#include "driver/exchange.h"
#include "platform/platform.h"

int main() {
    pentad::useBinaryStdio();
    return pentad::runEngine(".");
}

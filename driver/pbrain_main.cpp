// The pbrain engine: plays whole matches over standard input and output.
#include <iostream>

#include "driver/pbrain.h"
#include "platform/platform.h"

int main() {
    pentad::useBinaryStdio();
    std::ios::sync_with_stdio(false);
    return pentad::runPbrain(std::cin, std::cout);
}

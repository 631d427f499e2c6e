// The pbrain engine: plays whole matches over standard input and output.
#include <cstdlib>
#include <iostream>
#include <string_view>

#include "driver/pbrain.h"
#include "platform/platform.h"
#include "tournament/evaluation.h"
#include "tournament/network.h"
#include "tournament/params.h"

int main(int argc, char **argv) {
    pentad::useBinaryStdio();
    std::ios::sync_with_stdio(false);
    pentad::PbrainOptions options;
    // The tournament engine plays unless --classic asks for the engine as designed.
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--classic") {
            options.classic = true;
        } else if (arg == "--eval-file" && i + 1 < argc) {
            // Candidate evaluation tables for the tournament engine, for tuning matches.
            std::string error;
            if (!pentad::tournament::loadEvalTablesFile(argv[++i], error)) {
                std::cerr << "pbrain-pentad: " << error << "\n";
                return 2;
            }
        } else if (arg == "--network" && i + 1 < argc) {
            // A network evaluation for the tournament engine: a file, or the embedded one.
            std::string error, file = argv[++i];
            if (!(file == "embedded" ? pentad::tournament::useEmbeddedNetwork(error)
                                     : pentad::tournament::loadNetworkFile(file, error))) {
                std::cerr << "pbrain-pentad: " << error << "\n";
                return 2;
            }
        } else if (arg == "--param" && i + 1 < argc) {
            // A search constant of the tournament engine, NAME=VALUE, for tuning matches.
            std::string error;
            if (!pentad::tournament::setSearchParam(argv[++i], error)) {
                std::cerr << "pbrain-pentad: " << error << "\n";
                return 2;
            }
        } else if (arg == "--seed" && i + 1 < argc) {
            char *end = nullptr;
            unsigned long v = std::strtoul(argv[++i], &end, 10);
            if (!end || *end != '\0') {
                std::cerr << "pbrain-pentad: --seed needs a number\n";
                return 2;
            }
            options.fixedSeed = true;
            options.seed = uint32_t(v);
        } else {
            std::cerr
                << "pbrain-pentad: unknown option '" << arg
                << "' (known: --classic, --seed N, --eval-file FILE, --network FILE|embedded, "
                   "--param NAME=VALUE)\n";
            return 2;
        }
    }
    return pentad::runPbrain(std::cin, std::cout, options);
}

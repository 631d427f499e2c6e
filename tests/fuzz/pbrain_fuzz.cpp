// Fuzz target: the pbrain command reader and session, every move answered at once. Built
// twice: fuzz-pbrain plays the default engine, fuzz-pbrain-classic (PENTAD_FUZZ_CLASSIC) the
// classic one, whose session keeps its own table and limits.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "driver/pbrain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char *>(data), size));
    std::ostringstream out;
    pentad::PbrainOptions options;
    options.synchronous = true;
    options.maxMoveMs = 0;
#ifdef PENTAD_FUZZ_CLASSIC
    options.classic = true;
#endif
    pentad::runPbrain(in, out, options);
    // Every answer is one line of printable text.
    for (char c : out.str())
        if (c != '\n' && (static_cast<unsigned char>(c) < 0x20 && c != '\t')) __builtin_trap();
    return 0;
}

// Fuzz target: the exchange-file reader. The input is split at the first two 0xff bytes
// into tah.dat, plocha.dat and timeouts.dat (a part left out is a missing file).
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "driver/exchange.h"

namespace {

const std::filesystem::path &folder() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / "pentad-fuzz-exchange";
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

void put(const char *name, const std::string *content) {
    std::filesystem::path p = folder() / name;
    std::filesystem::remove(p);
    if (!content) return;
    std::ofstream(p, std::ios::binary) << *content;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    std::string parts[3];
    int part = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0xff && part < 2)
            ++part;
        else
            parts[part] += char(data[i]);
    }
    put("tah.dat", &parts[0]);
    put("plocha.dat", part >= 1 ? &parts[1] : nullptr);
    put("timeouts.dat", part >= 2 ? &parts[2] : nullptr);
    pentad::PositionInput in;
    std::string error;
    if (pentad::readExchangeFiles(folder(), in, error)) {
        pentad::normaliseColours(in);
        for (char c : in.board)
            if (c != 'X' && c != 'O' && c != '-') __builtin_trap();
    }
    return 0;
}

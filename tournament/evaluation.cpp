#include "tournament/evaluation.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

#include "platform/resources.h"

namespace pentad::tournament {
namespace {

struct Reader {
    std::span<const uint8_t> bytes;
    size_t at = 0;
    int16_t next() {
        const auto v = uint16_t(bytes[at] | (bytes[at + 1] << 8));
        at += 2;
        return int16_t(v);
    }
};

} // namespace

bool parseEvalTables(std::span<const uint8_t> bytes, EvalTables &out, std::string &error) {
    if (bytes.size() != EvalFileBytes) {
        error = "evaluation tables: " + std::to_string(bytes.size()) + " bytes, expected " +
                std::to_string(EvalFileBytes);
        return false;
    }
    if (std::memcmp(bytes.data(), "PNTDEVAL", 8) != 0) {
        error = "evaluation tables: not an evaluation file";
        return false;
    }
    Reader r{bytes, 8};
    const int version = r.next(), combos = r.next(), cells = r.next();
    if (version != 1 || combos != ComboCount || cells != CellPatternCount) {
        error = "evaluation tables: version " + std::to_string(version) + " with " +
                std::to_string(combos) + " combinations and " + std::to_string(cells) +
                " cell patterns does not fit this engine";
        return false;
    }
    out.tempo = r.next();
    for (auto *table : {&out.value, &out.attack, &out.defend})
        for (int16_t &v : *table)
            v = r.next();
    for (auto &row : out.threat)
        for (int16_t &v : row)
            v = r.next();
    const PatternTables &t = patternTables();
    for (size_t key = 0; key < out.keyEntry.size(); ++key)
        out.keyEntry[key] = uint32_t(uint16_t(out.value[t.combo[key]])) | uint32_t(t.cell[key])
                                                                              << 16;
    return true;
}

const EvalTables *embeddedEvalTables(std::string *error) {
    struct Loaded {
        std::unique_ptr<EvalTables> tables = std::make_unique<EvalTables>();
        std::string error;
        bool ok = false;
    };
    static const Loaded loaded = [] {
        Loaded l;
        l.ok = parseEvalTables(findResource("tournamenteval"), *l.tables, l.error);
        return l;
    }();
    if (error) *error = loaded.error;
    return loaded.ok ? loaded.tables.get() : nullptr;
}

namespace {
std::unique_ptr<EvalTables> &fileTables() {
    static std::unique_ptr<EvalTables> tables;
    return tables;
}
} // namespace

bool loadEvalTablesFile(const std::string &path, std::string &error) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    // One byte past the size is enough to tell a longer file.
    std::vector<uint8_t> bytes(EvalFileBytes + 1);
    in.read(reinterpret_cast<char *>(bytes.data()), std::streamsize(bytes.size()));
    bytes.resize(size_t(in.gcount()));
    auto tables = std::make_unique<EvalTables>();
    if (!parseEvalTables(bytes, *tables, error)) {
        error = path + ": " + error;
        return false;
    }
    fileTables() = std::move(tables);
    return true;
}

const EvalTables *activeEvalTables(std::string *error) {
    if (fileTables()) return fileTables().get();
    return embeddedEvalTables(error);
}

} // namespace pentad::tournament

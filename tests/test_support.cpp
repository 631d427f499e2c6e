#include "tests/test_support.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>

#include "board/init.h"
#include "board/pattern_tables.h"
#include "board/placement.h"

namespace pentad::test {

std::unique_ptr<EngineState> freshState(uint32_t seed) {
    auto e = std::make_unique<EngineState>();
    e->RandomSeed = seed;
    loadPatternTables(*e);
    initEngine(*e);
    activateParameters(*e, 3);
    recomputeWeights(*e);
    return e;
}

void placeBoard(EngineState &e, const std::vector<std::string> &rows, int firstRow) {
    for (size_t r = 0; r < rows.size(); ++r)
        for (size_t c = 0; c < rows[r].size() && c < size_t(BoardSize); ++c) {
            char ch = rows[r][c];
            if (ch == 'X' || ch == 'O')
                place(e, int(firstRow + r) * BoardSize + int(c), ch == 'X' ? X : O);
        }
}

namespace {
std::string fromEnvironment(const char *name, const char *fallback) {
    const char *value = std::getenv(name);
    return value && *value ? value : fallback;
}
} // namespace

std::string engineCommand() {
    return fromEnvironment("PENTAD_ENGINE_COMMAND", PENTAD_ENGINE_BINARY);
}
std::string pbrainCommand() {
    return fromEnvironment("PENTAD_PBRAIN_COMMAND", PENTAD_PBRAIN_BINARY);
}

std::vector<std::string> swapColours(std::vector<std::string> rows) {
    for (auto &row : rows)
        for (char &c : row)
            c = c == 'X' ? 'O' : c == 'O' ? 'X' : c;
    return rows;
}

ScratchDir::ScratchDir() {
    static std::atomic<int> counter{0};
    path_ = std::filesystem::temp_directory_path() /
            ("pentad-test-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

void ScratchDir::write(const std::string &name, const std::string &content) const {
    std::ofstream(path_ / name, std::ios::binary) << content;
}

std::string ScratchDir::read(const std::string &name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

bool ScratchDir::exists(const std::string &name) const {
    return std::filesystem::exists(path_ / name);
}

RunResult runIn(const std::filesystem::path &dir, const std::string &command) {
    std::string full = "cd '" + dir.string() + "' && " + command + " 2>/dev/null";
    FILE *pipe = popen(full.c_str(), "r");
    RunResult result{-1, ""};
    if (!pipe) return result;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0)
        result.output.append(buffer, n);
    int status = pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

std::string boardFile(const std::vector<std::string> &rows) {
    std::string text;
    for (int r = 0; r < BoardSize; ++r) {
        std::string row = r < int(rows.size()) ? rows[r] : "";
        row.resize(BoardSize, '-');
        text += row + "\n";
    }
    return text;
}

} // namespace pentad::test

// Shared helpers of the tests: fresh engine states, boards drawn as text, and runs of the
// built executables in scratch folders.
#pragma once

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "board/engine_state.h"

namespace pentad::test {

/// A started engine state of its own (tables, geometry, parameter set 3, empty board).
std::unique_ptr<EngineState> freshState(uint32_t seed = 1);

/// Places the stones of a board drawn as text: rows of up to 20 characters, 'X'/'O' for
/// stones, anything else empty; rows are listed from row `firstRow` on. Stones go down in
/// cell order.
void placeBoard(EngineState &e, const std::vector<std::string> &rows, int firstRow = 0);

/// Commands that start the engines: the built executables, or what the environment
/// names (PENTAD_ENGINE_COMMAND, PENTAD_PBRAIN_COMMAND), so the same tests can run the
/// Windows executables under wine.
std::string engineCommand();
std::string pbrainCommand();

/// The same drawing with X and O exchanged.
std::vector<std::string> swapColours(std::vector<std::string> rows);

/// A scratch folder removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    const std::filesystem::path &path() const { return path_; }
    void write(const std::string &name, const std::string &content) const;
    std::string read(const std::string &name) const;
    bool exists(const std::string &name) const;

private:
    std::filesystem::path path_;
};

struct RunResult {
    int status;         ///< exit status as the shell sees it
    std::string output; ///< standard output
};

/// Runs a command in `dir` and captures its standard output.
RunResult runIn(const std::filesystem::path &dir, const std::string &command);

/// A plocha.dat text from rows (missing rows become rows of dashes).
std::string boardFile(const std::vector<std::string> &rows);

} // namespace pentad::test

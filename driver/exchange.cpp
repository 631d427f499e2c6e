#include "driver/exchange.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <limits>
#include <memory>

#include "board/parameters.h"
#include "platform/platform.h"
#include "search/transposition.h"

namespace pentad {
namespace {

constexpr int StatisticsAfterSeconds = 10; // msg.dat gets its line only after longer moves
constexpr int ErrorBeepHertz = 400;
constexpr int ErrorBeepMs = 300;
constexpr int ErrorPauseMs = 1000;

struct FileCloser {
    FILE *file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

// A folder of the file's name counts as no file: reading it would give an empty board.
FILE *openFile(const std::filesystem::path &path, const char *mode) {
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) return nullptr;
    return std::fopen(path.string().c_str(), mode);
}

// A board file is read as a stream of tokens in bounded memory, so a long row or a long run
// of white space costs only the time to skip it. Reading still stops after a fixed number of
// bytes or a fixed time, so a file that never ends (a link to a device) cannot hold the move
// up; a file cut off that way before its last row is a wrong file, never a guessed board.
constexpr size_t MaxBoardFileBytes = size_t(1) << 28;
constexpr size_t MaxTimeFileBytes = 1 << 12;
constexpr int64_t MaxFileReadMs = 500;
constexpr size_t ReadChunkBytes = 1 << 16;

class BoundedReader {
public:
    BoundedReader(FILE *file, size_t limit)
        : file_(file), left_(limit), startMs_(processClockMs()) {}

    int get() {
        if (next_ == end_ && !refill()) return EOF;
        return static_cast<unsigned char>(buffer_[next_++]);
    }
    void unget(int ch) {
        if (ch != EOF && next_ > 0) --next_;
    }
    /// Reading stopped at the byte or time bound with the file not yet at its end.
    bool cutOff() const { return cutOff_; }

private:
    bool refill() {
        if (cutOff_ || atEnd_) return false;
        if (left_ == 0 || processClockMs() - startMs_ > MaxFileReadMs) {
            // Only a file with more to give is cut off; one that ends right at the bound is whole.
            const int ch = std::fgetc(file_);
            if (ch == EOF)
                atEnd_ = true;
            else
                cutOff_ = true;
            return false;
        }
        const size_t n = std::fread(buffer_.data(), 1, std::min(left_, buffer_.size()), file_);
        if (n == 0) {
            atEnd_ = true;
            return false;
        }
        left_ -= n;
        next_ = 0;
        end_ = n;
        return true;
    }

    FILE *file_;
    size_t left_;
    int64_t startMs_;
    std::array<char, ReadChunkBytes> buffer_{};
    size_t next_ = 0, end_ = 0;
    bool cutOff_ = false, atEnd_ = false;
};

std::string fileNotFound(const char *name) {
    return std::string("error: file  ") + name + "  not found!\n";
}

std::string wrongFile(const char *name) {
    return std::string("error: Wrong file  ") + name + " !\n";
}

// Reads a decimal integer the way "%d" does; out-of-range values are clamped.
bool scanInt(BoundedReader &f, int32_t &value) {
    int ch;
    do
        ch = f.get();
    while (ch != EOF && std::isspace(ch));
    bool negative = false;
    if (ch == '+' || ch == '-') {
        negative = ch == '-';
        ch = f.get();
    }
    if (ch == EOF || !std::isdigit(ch)) return false;
    int64_t magnitude = 0;
    constexpr int64_t Cap = int64_t(std::numeric_limits<int32_t>::max()) + 1;
    for (; ch != EOF && std::isdigit(ch); ch = f.get())
        if (magnitude < Cap) magnitude = magnitude * 10 + (ch - '0');
    f.unget(ch);
    if (magnitude > Cap) magnitude = Cap;
    int64_t v = negative ? -magnitude : magnitude;
    if (v > std::numeric_limits<int32_t>::max()) v = std::numeric_limits<int32_t>::max();
    value = int32_t(v);
    return true;
}

// One row of the board: the next whitespace-delimited token, of which only the first 20
// characters count. Returns false when no token is left.
bool readRow(BoundedReader &f, char *row) {
    int ch;
    do
        ch = f.get();
    while (ch != EOF && std::isspace(ch));
    if (ch == EOF) return false;
    for (int i = 0; ch != EOF && !std::isspace(ch); ++i, ch = f.get()) {
        if (i >= BoardSize) continue;
        row[i] = (ch == 'X' || ch == 'x') ? 'X' : (ch == 'O' || ch == 'o') ? 'O' : '-';
    }
    return true;
}

int fail(const std::string &message) {
    std::fputs(message.c_str(), stdout);
    std::fflush(stdout);
    beep(ErrorBeepHertz, ErrorBeepMs);
    sleepMs(ErrorPauseMs);
    return -1;
}

} // namespace

bool readExchangeFiles(const std::filesystem::path &dir, PositionInput &in, std::string &error) {
    {
        FileCloser tah{openFile(dir / "tah.dat", "r")};
        if (!tah.file) {
            error = fileNotFound("tah.dat");
            return false;
        }
        int letter = std::toupper(std::fgetc(tah.file));
        if (letter != 'X' && letter != 'O') {
            error = wrongFile("tah.dat");
            return false;
        }
        in.sideLetter = char(letter);
    }
    {
        FileCloser plocha{openFile(dir / "plocha.dat", "r")};
        if (!plocha.file) {
            error = fileNotFound("plocha.dat");
            return false;
        }
        in.board.fill('-');
        auto reader = std::make_unique<BoundedReader>(plocha.file, MaxBoardFileBytes);
        for (int r = 0; r < BoardSize; ++r)
            if (!readRow(*reader, &in.board[r * BoardSize])) break;
        if (reader->cutOff()) {
            error = wrongFile("plocha.dat");
            return false;
        }
    }
    FileCloser timeouts{openFile(dir / "timeouts.dat", "r")};
    if (timeouts.file) {
        // A number that does not end within the bound cannot be read, like one that is no
        // number: its preset stands and the engine plays, since an unreadable limit is no
        // reason to lose the game.
        const PositionInput preset;
        int32_t *limits[] = {&in.turnLimit, &in.matchTime};
        const int32_t presets[] = {preset.turnLimit, preset.matchTime};
        in.turnLimit = preset.turnLimit;
        in.matchTime = preset.matchTime;
        auto reader = std::make_unique<BoundedReader>(timeouts.file, MaxTimeFileBytes);
        for (int i = 0; i < 2 && scanInt(*reader, *limits[i]); ++i)
            if (reader->cutOff()) {
                *limits[i] = presets[i]; // its digits went on past the bound
                break;
            }
    } else {
        in.turnLimit = DefaultTurnLimitS;
        in.matchTime = DefaultMatchTimeMs;
    }
    return true;
}

int runEngine(const std::filesystem::path &dir) {
    EngineState &e = engineState();
    // The table is allocated before any file is read; without it there is no search.
    if (!transpositionTable().allocate())
        return fail("error: not enough memory for the transposition table!\n");
    // 1. The start time seeds every random choice of the run.
    e.StartTime = wallClockSeconds();
    uint32_t seed = uint32_t(e.StartTime);
    // 2. Exchange files: the side, the board and the time limits.
    PositionInput in;
    std::string error;
    if (!readExchangeFiles(dir, in, error)) return fail(error);
    // 3. Colours: X moved first and the engine is to move.
    normaliseColours(in);
    if (stoneCount(in) == CellCount) return fail("error: the board has no empty cell!\n");
    // 4. Start-up and placement of the position.
    if (!setupPosition(e, in, seed)) return fail("error: line-pattern tables missing!\n");
    // 5. Opening step, then the search.
    int move = chooseMove(e);
    // 6. The move, column first.
    {
        FileCloser tah{openFile(dir / "tah.dat", "w")};
        if (!tah.file) return fail("error: cannot write file  tah.dat !\n");
        std::fprintf(tah.file, "%d,%d", move % BoardSize, move / BoardSize);
    }
    // 7. Statistics line for long moves.
    int64_t elapsed = wallClockSeconds() - e.StartTime;
    FileCloser msg{openFile(dir / "msg.dat", "w")};
    if (msg.file && elapsed > StatisticsAfterSeconds)
        std::fprintf(msg.file, "lvl = %d, nds = %.0f", e.IterationNumber,
                     double(e.TotalNodes) / double(elapsed));
    return 0;
}

} // namespace pentad

// A pbrain engine as a child process: lines to its standard input, lines from its standard
// output. The board server runs one per game, so a crash or a hang of one engine costs that
// game its current search and nothing else.
#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

namespace pentad::web {

class EngineProcess {
public:
    EngineProcess() = default;
    EngineProcess(const EngineProcess &) = delete;
    EngineProcess &operator=(const EngineProcess &) = delete;
    ~EngineProcess() { kill(); }

    /// Starts `argv[0]` with the arguments that follow; false with `error` set when it cannot.
    bool start(const std::vector<std::string> &argv, std::string &error);
    bool running() const { return pid_ > 0; }

    /// Writes one line; false when the engine is gone.
    bool send(const std::string &line);

    enum class Read { Line, Timeout, Closed };
    /// The next line of output, without its end of line, waiting up to `timeoutMs`.
    Read readLine(std::string &line, int timeoutMs);

    /// Ends the process at once and reaps it.
    void kill();
    /// How the process ended, for a message ("exit status 3", "signal 11"), after Closed.
    std::string exitDescription();

private:
    pid_t pid_ = -1;
    int toChild_ = -1, fromChild_ = -1;
    std::string pending_; ///< output read but not yet returned as lines
    int status_ = -1;     ///< wait status once reaped
};

} // namespace pentad::web

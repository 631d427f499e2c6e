// The pbrain front end's input: lines read from a stream as managers end them, and the queue
// that carries them from the reader thread to the session.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <istream>
#include <mutex>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace pentad {

constexpr size_t MaxLineBytes = 1 << 16; ///< longer lines are cut: no command needs more

// Lines end in LF, CR LF or CR. A CR ends its line at once, without looking ahead (on a
// pipe a look-ahead would wait for the next byte), and a LF right after it is skipped.
// Bytes past MaxLineBytes are read and dropped.
class LineReader {
public:
    explicit LineReader(std::istream &in) : in_(in) {}

    /// False at the end of input with nothing read.
    bool next(std::string &line);

private:
    std::istream &in_;
    bool skipLineFeed_ = false;
};

// Lines from the reader thread to the session, in order.
class LineQueue {
public:
    void push(std::string line) {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            lines_.push_back({std::move(line), processClockMs()});
        }
        ready_.notify_one();
    }
    void close() {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            closed_ = true;
        }
        ready_.notify_one();
    }
    /// Waits for the next line and the process clock of its arrival; false once the queue
    /// is closed and empty.
    bool pop(std::string &line, int64_t &arrival) {
        std::unique_lock<std::mutex> lock(mutex_);
        ready_.wait(lock, [&] { return !lines_.empty() || closed_; });
        if (lines_.empty()) return false;
        line = std::move(lines_.front().first);
        arrival = lines_.front().second;
        lines_.pop_front();
        inFlight_ = true;
        return true;
    }
    /// The session has answered every line it took.
    void answered() {
        std::lock_guard<std::mutex> lock(mutex_);
        inFlight_ = false;
    }
    /// Nothing waits and nothing is being answered.
    bool idle() {
        std::lock_guard<std::mutex> lock(mutex_);
        return lines_.empty() && !inFlight_;
    }

private:
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<std::pair<std::string, int64_t>> lines_;
    bool closed_ = false;
    bool inFlight_ = false; ///< a line was taken and is not answered yet
};

} // namespace pentad

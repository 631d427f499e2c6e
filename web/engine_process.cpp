#include "web/engine_process.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char **environ;

namespace pentad::web {
namespace {

// No engine line is longer than a MESSAGE with a principal line; a runaway line is cut here
// so a broken engine cannot grow the server's memory.
constexpr size_t MaxLineBytes = 64 * 1024;

void closeFd(int &fd) {
    if (fd >= 0) ::close(fd);
    fd = -1;
}

} // namespace

bool EngineProcess::start(const std::vector<std::string> &argv, std::string &error) {
    kill();
    if (argv.empty()) {
        error = "no engine command";
        return false;
    }
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    if (::pipe2(out, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        ::close(in[0]);
        ::close(in[1]);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    pid_t pid = -1;
    int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    if (rc != 0) {
        error = "cannot start " + argv[0] + ": " + std::strerror(rc);
        ::close(in[1]);
        ::close(out[0]);
        return false;
    }
    pid_ = pid;
    toChild_ = in[1];
    fromChild_ = out[0];
    pending_.clear();
    status_ = -1;
    return true;
}

bool EngineProcess::send(const std::string &line) {
    if (toChild_ < 0) return false;
    std::string text = line + "\n";
    size_t done = 0;
    while (done < text.size()) {
        // The server ignores SIGPIPE, so a dead engine shows as EPIPE here.
        ssize_t n = ::write(toChild_, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

EngineProcess::Read EngineProcess::readLine(std::string &line, int timeoutMs) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        size_t end = pending_.find('\n');
        if (end != std::string::npos || pending_.size() >= MaxLineBytes) {
            if (end == std::string::npos) end = pending_.size();
            line = pending_.substr(0, end);
            pending_.erase(0, end + 1);
            if (!line.empty() && line.back() == '\r') line.pop_back();
            return Read::Line;
        }
        if (fromChild_ < 0) return Read::Closed;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return Read::Timeout;
        pollfd p{fromChild_, POLLIN, 0};
        int ready = ::poll(&p, 1, int(left));
        if (ready < 0 && errno == EINTR) continue;
        if (ready == 0) return Read::Timeout;
        char buffer[4096];
        ssize_t n = ::read(fromChild_, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            closeFd(fromChild_);
            if (pending_.empty()) return Read::Closed;
            line.swap(pending_);
            pending_.clear();
            return Read::Line;
        }
        pending_.append(buffer, size_t(n));
    }
}

void EngineProcess::kill() {
    closeFd(toChild_);
    closeFd(fromChild_);
    if (pid_ > 0) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        status_ = status;
    }
    pid_ = -1;
}

std::string EngineProcess::exitDescription() {
    // A closed pipe comes a moment before the process can be reaped.
    for (int wait = 0; pid_ > 0 && wait < 20; ++wait) {
        int status = 0;
        if (::waitpid(pid_, &status, WNOHANG) == pid_) {
            status_ = status;
            pid_ = -1;
            closeFd(toChild_);
            closeFd(fromChild_);
            break;
        }
        ::usleep(10000);
    }
    if (status_ < 0) return "still running";
    if (WIFEXITED(status_)) return "exit status " + std::to_string(WEXITSTATUS(status_));
    if (WIFSIGNALED(status_)) return std::string("signal ") + std::to_string(WTERMSIG(status_));
    return "ended";
}

} // namespace pentad::web

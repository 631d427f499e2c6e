// The browser board's HTTP server: the page, embedded at build, and a JSON API over games,
// each with its own engine process and a stream of server-sent events.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace httplib {
class Server;
}

namespace pentad::web {

class GameSession;

struct ServerOptions {
    std::string host = "127.0.0.1";
    int port = 8020; ///< 0: any free port
    std::vector<std::string> engineCommand;
};

/// Bounds that keep one client from taking the server down.
constexpr size_t MaxBodyBytes = 64 * 1024;
constexpr size_t MaxGames = 32;
constexpr int MaxEventStreams = 48;
constexpr int ServerThreads = 64;
constexpr int MinMoveMs = 100, MaxMoveMs = 60000;

class BoardServer {
public:
    explicit BoardServer(ServerOptions options);
    ~BoardServer();

    /// Binds; false with `error` set when the address cannot be had. Returns the port.
    bool bind(std::string &error);
    int port() const { return port_; }
    /// Serves until stop() (from another thread or a signal handler's helper).
    void serve();
    void stop();

private:
    ServerOptions options_;
    std::unique_ptr<httplib::Server> http_;
    int port_ = 0;
    std::mutex gamesMutex_;
    std::map<std::string, std::shared_ptr<GameSession>> games_;
    std::map<std::string, int64_t> lastUse_;
    int openStreams_ = 0;
    uint64_t idCounter_ = 0;

    void routes();
    std::shared_ptr<GameSession> find(const std::string &id);
    std::string newId();
};

} // namespace pentad::web

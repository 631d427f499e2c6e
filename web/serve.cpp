#include "web/serve.h"

#include <climits>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <sstream>
#include <string>
#include <thread>
#include <unistd.h>

#include "web/board_server.h"

namespace pentad::web {
namespace {

constexpr const char *Usage =
    "usage: pentad-board [--port P] [--host H] [--engine \"COMMAND ARGS\"]\n"
    "  serves a board to play and analyse against the engine in a browser\n"
    "  --port P    the port (default 8020; 0: any free port)\n"
    "  --host H    the address to listen on (default 127.0.0.1, this machine only;\n"
    "              0.0.0.0 lets other machines connect)\n"
    "  --engine    the pbrain engine each game runs (default: pbrain-pentad beside this\n"
    "              program)\n";

std::string besideThisProgram(const char *name) {
    char path[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0) return name;
    std::string self(path, size_t(n));
    size_t slash = self.rfind('/');
    return slash == std::string::npos ? name : self.substr(0, slash + 1) + name;
}

} // namespace

int runBoardServer(int argc, char **argv) {
    ServerOptions options;
    std::string engine;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        auto value = [&](std::string &out) {
            if (i + 1 >= argc) return false;
            out = argv[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            std::fputs(Usage, stdout);
            return 0;
        } else if (a == "--port" && value(v)) {
            char *end = nullptr;
            long port = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != 0 || port < 0 || port > 65535) {
                std::fprintf(stderr, "error: --port takes a number from 0 to 65535\n");
                return 2;
            }
            options.port = int(port);
        } else if (a == "--host" && value(v)) {
            options.host = v;
        } else if (a == "--engine" && value(v)) {
            engine = v;
        } else {
            if (a == "--port" || a == "--host" || a == "--engine")
                std::fprintf(stderr, "error: %s needs a value\n", a.c_str());
            else if (a.starts_with("-"))
                std::fprintf(stderr, "error: unknown option %s\n", a.c_str());
            else
                std::fprintf(stderr, "error: unexpected argument '%s'\n", a.c_str());
            std::fputs(Usage, stderr);
            return 2;
        }
    }
    if (engine.empty()) engine = besideThisProgram("pbrain-pentad");
    std::istringstream words(engine);
    for (std::string w; words >> w;)
        options.engineCommand.push_back(w);
    if (options.engineCommand.empty() || ::access(options.engineCommand[0].c_str(), X_OK) != 0) {
        std::fprintf(stderr, "error: no engine to run at %s\n", engine.c_str());
        return 1;
    }

    // Interrupts are taken by one thread, so the server ends its games and their engines.
    std::signal(SIGPIPE, SIG_IGN);
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    BoardServer server(options);
    std::string error;
    if (!server.bind(error)) {
        std::fprintf(stderr, "error: %s\n", error.c_str());
        return 1;
    }
    const bool local =
        options.host == "127.0.0.1" || options.host == "localhost" || options.host == "::1";
    std::string shownHost = options.host == "0.0.0.0" ? "127.0.0.1" : options.host;
    std::printf("Pentad board: open http://%s:%d/ in a browser\n", shownHost.c_str(),
                server.port());
    if (local)
        std::printf(
            "listening on %s only: other machines cannot connect (--host 0.0.0.0 lets them)\n",
            options.host.c_str());
    else
        std::printf("listening on %s: other machines can connect\n", options.host.c_str());
    std::printf("engine: %s\nstop with Ctrl-C\n", engine.c_str());
    std::fflush(stdout);

    std::thread signals([&] {
        int signal = 0;
        sigwait(&stopSignals, &signal);
        server.stop();
    });
    server.serve();
    // Served to its end by a stop from elsewhere: wake the signal thread to let it finish.
    ::kill(::getpid(), SIGTERM);
    signals.join();
    std::printf("stopped\n");
    return 0;
}

} // namespace pentad::web

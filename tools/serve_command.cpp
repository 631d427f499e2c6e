// `serve` hands over to pentad-board, the browser board, which lives in its own executable
// so that the engine's programs do not depend on the HTTP and JSON libraries.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/tool_support.h"

#ifndef _WIN32
#include <climits>
#include <unistd.h>
#endif

namespace pentad {

int commandServe(int argc, char **argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    std::fputs("error: the browser board (pentad-board) is not built for Windows\n", stderr);
    return 1;
#else
    char self[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = "pentad-board";
    if (n > 0) {
        std::string dir(self, size_t(n));
        path = dir.substr(0, dir.rfind('/') + 1) + "pentad-board";
    }
    if (::access(path.c_str(), X_OK) != 0) {
        std::fprintf(stderr,
                     "error: %s was not built: it needs libcpp-httplib-dev and nlohmann-json3-dev "
                     "when building\n",
                     path.c_str());
        return 1;
    }
    std::vector<char *> args{path.data()};
    for (int i = 2; i < argc; ++i)
        args.push_back(argv[i]);
    args.push_back(nullptr);
    std::fflush(stdout);
    ::execv(path.c_str(), args.data());
    std::perror(("error: cannot start " + path).c_str());
    return 1;
#endif
}

} // namespace pentad

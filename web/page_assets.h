// The page's files, embedded into the server at build so it needs nothing beside it.
#pragma once

#include <cstddef>
#include <vector>

namespace pentad::web {

struct PageAsset {
    const char *path; ///< "/index.html", "/board.js", ...
    const char *type; ///< its content type
    const char *data;
    size_t size;
};

const std::vector<PageAsset> &pageAssets();

} // namespace pentad::web

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

// The folders of the engine library and its front ends, lowest first: a file includes files
// of its own folder and of lower layers only, so the engines never depend on a front end and
// the classic and tournament engines never on each other.
const std::vector<std::vector<std::string>> Layers = {
    {"platform"}, {"board", "tournament"}, {"threats", "solver", "book"}, {"search"}, {"engine"},
    {"driver"},   {"tools", "web"},
};

TEST(Layers, NoFileIncludesOneFromAHigherLayer) {
    std::map<std::string, size_t> layerOf;
    for (size_t i = 0; i < Layers.size(); ++i)
        for (const std::string &folder : Layers[i])
            layerOf[folder] = i;
    const std::filesystem::path root = PENTAD_SOURCE_DIR;
    int files = 0;
    for (const auto &[folder, layer] : layerOf) {
        ASSERT_TRUE(std::filesystem::is_directory(root / folder)) << folder;
        for (const auto &entry : std::filesystem::recursive_directory_iterator(root / folder)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp") continue;
            ++files;
            std::ifstream in(entry.path());
            std::string line;
            for (int number = 1; std::getline(in, line); ++number) {
                if (!line.starts_with("#include \"")) continue;
                const std::string target = line.substr(10, line.find('/', 10) - 10);
                auto it = layerOf.find(target);
                if (it == layerOf.end() || target == folder) continue;
                EXPECT_LT(it->second, layer)
                    << std::filesystem::relative(entry.path(), root).string() << ":" << number
                    << " includes " << line.substr(9) << " from a layer above or beside " << folder
                    << "/";
            }
        }
    }
    EXPECT_GT(files, 100);
    // A new folder of code takes its place in the order before it is used.
    for (const auto &entry : std::filesystem::directory_iterator(root)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_directory() || layerOf.count(name) || name == "tests" ||
            name.starts_with(".") || name == "build")
            continue;
        for (const auto &file : std::filesystem::recursive_directory_iterator(entry.path()))
            EXPECT_NE(file.path().extension(), ".cpp") << name << "/ has no layer";
    }
}

} // namespace

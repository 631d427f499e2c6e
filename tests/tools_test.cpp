#include <gtest/gtest.h>
#include <regex>

#include "tests/test_support.h"

namespace pentad {
namespace {

const std::string Tools = PENTAD_TOOLS_BINARY;

// The numbers of a JSON array value named `key` in a one-line object.
std::vector<long> jsonArray(const std::string &json, const std::string &key) {
    std::vector<long> values;
    size_t at = json.find("\"" + key + "\":[");
    if (at == std::string::npos) return values;
    const char *p = json.c_str() + at + key.size() + 4;
    while (*p && *p != ']') {
        char *end;
        values.push_back(std::strtol(p, &end, 10));
        p = *end == ',' ? end + 1 : end;
    }
    return values;
}

TEST(ToolsState, PrintsTheDerivedStateOfTheEnginesPosition) {
    test::ScratchDir dir;
    dir.write("tah.dat", "o"); // one stone: O to move, no colour swap
    dir.write("plocha.dat",
              test::boardFile({"", "", "", "", "", "", "", "", "", "", "----------X"}));
    test::RunResult r = test::runIn(dir.path(), Tools + " state . --seed 1");
    ASSERT_EQ(r.status, 0);
    auto weightX = jsonArray(r.output, "weightX");
    auto weightO = jsonArray(r.output, "weightO");
    auto patternX = jsonArray(r.output, "patternX");
    ASSERT_EQ(weightX.size(), 400u);
    ASSERT_EQ(weightO.size(), 400u);
    ASSERT_EQ(patternX.size(), 1600u);
    ASSERT_EQ(jsonArray(r.output, "patternO").size(), 1600u);
    EXPECT_EQ(weightX[206], 57);
    EXPECT_EQ(weightO[206], 45);
    EXPECT_EQ(weightX[210], 0);
    EXPECT_EQ(patternX[214 * 4 + 0], 2187);
    EXPECT_NE(r.output.find("\"liveX\":20,\"liveO\":0"), std::string::npos);
    EXPECT_TRUE(std::regex_search(r.output, std::regex("\"key\":\"[0-9a-f]{16}\"")));

    // The same seed gives the same key; another seed another one.
    EXPECT_EQ(test::runIn(dir.path(), Tools + " state . --seed 1").output, r.output);
    EXPECT_NE(test::runIn(dir.path(), Tools + " state . --seed 2").output, r.output);
}

TEST(ToolsState, ReportsUnusableInput) {
    test::ScratchDir dir;
    EXPECT_NE(test::runIn(dir.path(), Tools + " state .").status, 0);
    EXPECT_EQ(test::runIn(dir.path(), Tools + " state . --seed abc").status, 2);
    EXPECT_EQ(test::runIn(dir.path(), Tools + " no-such-command").status, 2);
}

} // namespace
} // namespace pentad

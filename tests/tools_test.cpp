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

// A typo must not quietly change what a command measures: every fault is named, with the
// command's usage, and nothing runs.
TEST(ToolsOptions, FaultsAreRefusedWithTheCommandsUsage) {
    test::ScratchDir dir;
    const struct {
        const char *arguments, *fault;
    } cases[] = {
        {"bench --depht 3", "pentad-tools bench: unknown option --depht"},
        {"bench --iterations", "pentad-tools bench: --iterations needs a value"},
        {"bench --iterations 2x",
         "pentad-tools bench: --iterations takes a whole number, not '2x'"},
        {"search . --engine tournament --seed 3", "pentad-tools search: unknown option --seed"},
        {"search . --engine tournmant", "pentad-tools search: --engine takes classic or "
                                        "tournament, not 'tournmant'"},
        {"search . extra", "pentad-tools search: unexpected argument 'extra'"},
        {"selfplay --engine tournament --bogus", "pentad-tools selfplay: unknown option --bogus"},
        {"book analyse 10,10 --seconds", "pentad-tools book analyse: --seconds needs a value"},
        {"serve --hots 0.0.0.0", "pentad-tools serve: unknown option --hots"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.arguments);
        test::RunResult r = test::runIn(dir.path(), "{ " + Tools + " " + c.arguments + " 2>&1; }");
        EXPECT_EQ(r.status, 2);
        EXPECT_TRUE(r.output.starts_with(std::string(c.fault) + "\nusage: pentad-tools "))
            << r.output;
    }
    test::RunResult help = test::runIn(dir.path(), Tools + " vcf --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.output.starts_with("usage: pentad-tools vcf DIR [--nodes N]")) << help.output;
}

} // namespace
} // namespace pentad

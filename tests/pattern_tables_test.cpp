#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>

#include "board/pattern_tables.h"
#include "platform/resources.h"
#include "tests/test_support.h"
#include "tools/pattern_rules.h"

namespace pentad {
namespace {

std::vector<uint8_t> readCommitted(const std::string &name) {
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/resources/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A line drawn as nine positions -4..+4: x own, o other side or edge, . empty, + the cell.
int patternOf(const std::string &line) {
    static const int power3[8] = {1, 3, 9, 27, 81, 243, 729, 2187};
    int code = 0;
    for (int i = 0; i < 9; ++i) {
        int position = i - 4;
        if (position == 0) continue;
        int digit = position > 0 ? 4 - position : 3 - position;
        code += (line[i] == 'x' ? 1 : line[i] == 'o' ? 2 : 0) * power3[digit];
    }
    return code;
}

// A mask drawn the same way, # for a marked neighbour; "none" is empty.
int maskOf(const std::string &drawn) {
    if (drawn == "none") return 0;
    int mask = 0;
    for (int i = 0; i < 9; ++i) {
        int position = i - 4;
        if (position == 0 || drawn[i] != '#') continue;
        mask |= 1 << (position > 0 ? 4 - position : 3 - position);
    }
    return mask;
}

TEST(PatternTables, DerivedTablesMatchCommittedResourcesByteForByte) {
    PatternTableSet t = derivePatternTables();
    std::vector<uint8_t> whites(t.lineClass.begin(), t.lineClass.end());
    whites.insert(whites.end(), t.upgradeCells.begin(), t.upgradeCells.end());
    whites.insert(whites.end(), t.defenceCells.begin(), t.defenceCells.end());
    std::vector<uint8_t> sec4(t.secondaryCells.begin(), t.secondaryCells.end());
    EXPECT_EQ(readCommitted("whites.bin"), whites);
    EXPECT_EQ(readCommitted("sec4.bin"), sec4);

    // The executable carries exactly these bytes.
    auto embeddedWhites = findResource("whites");
    auto embeddedSec4 = findResource("sec4");
    EXPECT_EQ(std::vector<uint8_t>(embeddedWhites.begin(), embeddedWhites.end()), whites);
    EXPECT_EQ(std::vector<uint8_t>(embeddedSec4.begin(), embeddedSec4.end()), sec4);
    EXPECT_TRUE(findResource("no-such-resource").empty());
}

TEST(PatternTables, TellingRows) {
    struct Row {
        const char *line;
        int pattern, lineClass;
        const char *upgrade, *defence, *secondary;
    };
    const Row rows[] = {
        {"....+....", 0, 78, "-###+###-", "####+####", "none"},
        {"xxxx+....", 3240, 0, "none", "none", "none"},
        {".xxx+....", 1053, 12, "#---+#---", "#---+#---", "none"},
        {"oxxx+....", 5427, 29, "----+#---", "----+#---", "none"},
        {".x.x+x.x.", 840, 22, "--#-+-#--", "--#-+-#--", "none"},
        {"....+xx.x", 37, 24, "----+--#-", "----+--#-", "--##+----"},
        {"....+x.xx", 31, 26, "----+-#--", "----+-#--", "none"},
        {"....+.xxx", 13, 28, "----+#---", "----+#---", "none"},
        {"..xx+....", 324, 34, "-#--+#---", "##--+##--", "none"},
        {"..x.+x...", 270, 36, "---#+----", "-#-#+-#--", "none"},
        {"....+.xx.", 12, 38, "----+#---", "---#+#--#", "none"},
        {".x..+x..x", 757, 44, "--##+-##-", "--##+-##-", "none"},
        {"x.x.+....", 2430, 48, "-#-#+----", "-#-#+----", "none"},
        {".oxx+....", 1782, 49, "----+##--", "----+##--", "none"},
        {"...x+....", 81, 56, "-##-+##--", "###-+###-", "none"},
        {"x...+...x", 2188, 66, "-###+###-", "-###+###-", "none"},
        {"....+...x", 1, 68, "----+###-", "----+###-", "none"},
        {"..ox+....", 567, 69, "----+###-", "----+###-", "none"},
        {"ooo.+....", 6318, 79, "----+###-", "---#+####", "none"},
        {"oooo+....", 6480, 89, "----+####", "----+####", "none"},
        {"ooo.+.ooo", 6344, 99, "none", "none", "none"},
        {"xxxx+xxxx", patternOf("xxxx+xxxx"), 0, "none", "none", "none"},
    };
    auto e = test::freshState();
    for (const Row &row : rows) {
        SCOPED_TRACE(row.line);
        int p = patternOf(row.line);
        ASSERT_EQ(p, row.pattern);
        EXPECT_EQ(e->LineClass[p], row.lineClass);
        EXPECT_EQ(e->UpgradeCells[p], maskOf(row.upgrade));
        EXPECT_EQ(e->DefenceCells[p], maskOf(row.defence));
        EXPECT_EQ(e->SecondaryCells[p], maskOf(row.secondary));
    }
}

TEST(PatternTables, ClassValuesAndStoredDefenceExceptions) {
    auto e = test::freshState();
    std::set<int> classes(e->LineClass.begin(), e->LineClass.end());
    EXPECT_EQ(classes, (std::set<int>{0,  12, 22, 24, 26, 28, 29, 34, 36, 38, 39, 44, 46,
                                      48, 49, 56, 58, 59, 66, 68, 69, 78, 79, 89, 99}));
    // Two entries carry stored values instead of the derived 184 and 29.
    EXPECT_EQ(e->DefenceCells[730], 190);
    EXPECT_EQ(e->DefenceCells[2190], 125);
    // Only a four with a three behind it has secondary cells.
    for (int p = 0; p < PatternCount; ++p) {
        if (e->LineClass[p] != 24) {
            EXPECT_EQ(e->SecondaryCells[p], 0) << p;
        }
    }
}

TEST(PatternTables, BoardEdgesCountAsTheOtherSide) {
    auto e = test::freshState();
    const int expected[5][2] = {{162, 89}, {486, 79}, {1458, 79}, {4374, 79}, {0, 78}};
    for (int c = 0; c < 5; ++c) {
        EXPECT_EQ(e->LinePatternX[c][0], expected[c][0]) << c;
        EXPECT_EQ(e->LinePatternO[c][0], expected[c][0]) << c;
        EXPECT_EQ(e->LineClass[e->LinePatternX[c][0]], expected[c][1]) << c;
    }
    EXPECT_EQ(e->LinePatternX[0][3], 216);
    EXPECT_EQ(e->LineClass[216], 99);
}

TEST(PatternTables, PatternScoreFollowsTheLevelScores) {
    auto e = test::freshState();
    EXPECT_EQ(e->PatternScore[0], 3);                        // class 78
    EXPECT_EQ(e->PatternScore[patternOf("..xx+....")], 246); // open three 34: 165 + 81
    EXPECT_EQ(e->PatternScore[3240], 2 * e->Params.LevelScore[0]);
}

} // namespace
} // namespace pentad

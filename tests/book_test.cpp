#include <fstream>
#include <gtest/gtest.h>
#include <sstream>

#include "board/placement.h"
#include "book/opening.h"
#include "book/opening_book.h"
#include "search/search.h"
#include "search/transposition.h"
#include "tests/test_support.h"
#include "tools/book_builder.h"

namespace pentad {
namespace {

int at(int row, int column) { return row * BoardSize + column; }

TEST(BookSymmetries, EveryMapIsUndoneByItsInverse) {
    for (int k = 0; k < 8; ++k) {
        std::vector<bool> hit(CellCount);
        for (int c = 0; c < CellCount; ++c) {
            int t = transformCell(c, k);
            ASSERT_GE(t, 0);
            hit[t] = true;
            EXPECT_EQ(transformCell(t, -k), c) << "map " << k << " cell " << c;
        }
        EXPECT_EQ(std::count(hit.begin(), hit.end(), true), CellCount) << k; // a bijection
    }
    EXPECT_EQ(transformCell(at(2, 5), 1), at(14, 2)); // R: (row, col) -> (19 - col, row)
    EXPECT_EQ(transformCell(at(2, 5), 7), at(5, 2));
    EXPECT_EQ(transformCell(10, 8), -1);
    EXPECT_EQ(transformCell(10, -8), -1);
    EXPECT_EQ(transformCell(400, 0), -1);
}

// A started state with the stones placed through the history, as the driver does.
std::unique_ptr<EngineState> positionOf(const std::vector<int> &stonesInPlayOrder) {
    auto e = test::freshState();
    std::vector<int> xs, os;
    for (size_t i = 0; i < stonesInPlayOrder.size(); ++i)
        (i % 2 ? os : xs).push_back(stonesInPlayOrder[i]);
    std::sort(xs.begin(), xs.end());
    std::sort(os.begin(), os.end());
    e->MoveHistory.count = 0;
    for (size_t i = 0; i < stonesInPlayOrder.size(); ++i) {
        int cell = i % 2 ? os[i / 2] : xs[i / 2];
        place(*e, cell, i % 2 ? O : X);
        e->MoveHistory.cells[++e->MoveHistory.count] = int16_t(cell);
    }
    e->MoveNumber = e->MoveHistory.count + 1;
    return e;
}

TEST(BookLookup, TwoStoneRecordAndItsSymmetries) {
    // X on row 8 column 8, O on row 7 column 7, answer row 7 column 9.
    const std::vector<uint8_t> bytes = {0x03, 0x88, 0x77, 0x79, 0xFF};
    OpeningBook book;
    book.use(bytes);
    EXPECT_EQ(book.lookup(*positionOf({168, 147})), 149);
    // Shifted within the frame's range.
    EXPECT_EQ(book.lookup(*positionOf({168 + 21, 147 + 21})), 149 + 21);
    // Exchanging the colours of a diagonal pair is the same position turned half round.
    EXPECT_EQ(book.lookup(*positionOf({147, 168})), 166);
    // The direct start is another position.
    EXPECT_EQ(book.lookup(*positionOf({168, 148})), -1);
}

TEST(BookLookup, FoundUnderEveryMapAndShiftWithTheAnswerMappedBack) {
    // An asymmetric record: X (8, 8), (8, 10); O (7, 7), (9, 9); answer (7, 9).
    const std::vector<uint8_t> bytes = {0x05, 0x88, 0x77, 0x8A, 0x99, 0x79, 0xFF};
    OpeningBook book;
    book.use(bytes);
    const std::vector<int> stones = {168, 147, 170, 189};
    for (int k = 0; k < 8; ++k) {
        for (int shift : {0, 1, BoardSize, -BoardSize - 1, 3 * BoardSize + 4}) {
            std::vector<int> moved;
            for (int c : stones)
                moved.push_back(transformCell(c + shift, k));
            EXPECT_EQ(book.lookup(*positionOf(moved)), transformCell(149 + shift, k))
                << k << " " << shift;
        }
    }
}

TEST(BookLookup, StoneCountsOutsideTheBookAreNotFound) {
    const std::vector<uint8_t> bytes = {0x03, 0x88, 0x77, 0x79, 0xFF};
    OpeningBook book;
    book.use(bytes);
    // Odd counts (O to move) need an even record length, which a book never holds.
    EXPECT_EQ(book.lookup(*positionOf({168, 147, 190})), -1);
    EXPECT_EQ(book.lookup(*positionOf({168})), -1);
    // 34 to 50 stones run into the terminator; a book without one is never read past.
    std::vector<int> many;
    for (int i = 0; i < 40; ++i)
        many.push_back(at(i / 8 * 2, i % 8 * 2 + (i / 8) % 2));
    EXPECT_EQ(book.lookup(*positionOf(many)), -1);
    const std::vector<uint8_t> cut = {0x03, 0x88, 0x77};
    book.use(cut);
    EXPECT_EQ(book.lookup(*positionOf({168, 147})), -1);
    book.use({});
    EXPECT_EQ(book.lookup(*positionOf({168, 147})), -1);
}

TEST(OpeningStep, BookFlagOnlyForAnEmptyAnswerCell) {
    const std::vector<uint8_t> bytes = {0x03, 0x88, 0x77, 0x79, 0x05, 0x88,
                                        0x77, 0x99, 0x79, 0x77, 0xFF};
    openingBook().use(bytes);
    auto e = positionOf({168, 147});
    EXPECT_EQ(prepareOpening(*e), -1);
    EXPECT_TRUE(e->BookMoveFlag);
    EXPECT_EQ(e->MoveHistory.cells[3], 149);
    // A record whose answer is taken in the game: the answer is stored, the flag stays off.
    auto taken = positionOf({168, 147, 189, 149});
    EXPECT_EQ(openingBook().lookup(*taken), 147);
    prepareOpening(*taken);
    EXPECT_FALSE(taken->BookMoveFlag);
    openingBook().load();
}

TEST(OpeningStep, EmptyBoardAndSecondMoveBonuses) {
    auto e = test::freshState(77);
    e->MoveHistory.count = 0;
    for (int i = 0; i < 50; ++i) {
        int move = prepareOpening(*e);
        EXPECT_GE(move % BoardSize, 7);
        EXPECT_LE(move % BoardSize, 12);
        EXPECT_GE(move / BoardSize, 7);
        EXPECT_LE(move / BoardSize, 12);
    }
    auto bonusedCells = [](int row, int col) {
        auto state = positionOf({at(row, col)});
        prepareOpening(*state);
        std::vector<int> cells;
        for (int c = 0; c < CellCount; ++c)
            if (state->RootBonus[c] != 0) cells.push_back(c);
        return std::pair{cells, std::move(state)};
    };
    auto [centre, s1] = bonusedCells(9, 9);
    EXPECT_EQ(centre.size(), 8u);
    EXPECT_GE(s1->RootBonus[at(9, 8)], 550);
    EXPECT_LE(s1->RootBonus[at(9, 8)], 749);
    EXPECT_GE(s1->RootBonus[at(8, 8)], 150);
    EXPECT_LE(s1->RootBonus[at(8, 8)], 499);
    EXPECT_LE(s1->RootBonus[at(8, 9)], 349);
    auto [corner, s2] = bonusedCells(3, 3);
    EXPECT_EQ(corner, (std::vector<int>{at(3, 4), at(4, 3), at(4, 4)}));
    auto [edge, s3] = bonusedCells(3, 15);
    EXPECT_EQ(edge, (std::vector<int>{at(4, 14)}));
}

TEST(BookRoot, TheFlagPlaysTheBooksAnswer) {
    ASSERT_TRUE(transpositionTable().allocate());
    // The book answers a quiet four-stone position with a cell the generator would not
    // choose first (far from the stones).
    auto e = positionOf({at(9, 9), at(9, 10), at(10, 10), at(11, 11)});
    e->MoveHistory.cells[5] = int16_t(at(6, 6));
    e->BookMoveFlag = true;
    e->ClockEnabled = false;
    struct Two : SearchObserver {
        void iterationDone(const EngineState &, int, int) override {}
    } two;
    two.maxIterations = 2;
    searchMove(*e, &two);
    EXPECT_EQ(e->IterationLine[1], at(6, 6));
    EXPECT_EQ(e->BestScore, 31999);
}

std::vector<BookSourceRecord> parse(const std::string &text, std::string &error) {
    std::istringstream in(text);
    std::vector<BookSourceRecord> records;
    EXPECT_TRUE(parseBookSource(in, records, error)) << error;
    return records;
}

TEST(BookBuilder, WritesSortedRecordsThatLookupFinds) {
    std::string error;
    auto records = parse("# comment\n"
                         "9,9 10,10 11,9 8,8 : 11,11\n"
                         "\n"
                         "9,9 9,10 : 10,9   # trailing comment\n",
                         error);
    std::vector<uint8_t> book;
    ASSERT_TRUE(buildBook(records, book, error)) << error;
    ASSERT_EQ(book.size(), 4u + 6u + 1u); // two records and the terminator
    EXPECT_EQ(book[0], 3);                // the shorter record first
    EXPECT_EQ(book[4], 5);
    EXPECT_EQ(book.back(), BookTerminator);
    // X stones ascending at odd places, O stones ascending at even places.
    EXPECT_LT(book[5], book[7]);
    EXPECT_LT(book[6], book[8]);
    OpeningBook lookup;
    lookup.use(book);
    EXPECT_EQ(lookup.lookup(*positionOf({at(9, 9), at(10, 9)})), at(9, 10));
    EXPECT_EQ(lookup.lookup(*positionOf({at(9, 9), at(10, 10), at(9, 11), at(8, 8)})), at(11, 11));
}

TEST(BookBuilder, RejectsMalformedBooks) {
    const std::pair<const char *, const char *> bad[] = {
        {"9,9 9,10 10,10 : 11,11\n", "even number"},
        {"9,9 : 10,10\n", "even number"},
        {"9,9 9,10 : 9,10\n", "answer lies on a stone"},
        {"9,9 9,9 : 10,10\n", "two stones"},
        {"0,0 19,19 : 10,10\n", "frame"},
        {"9,9 9,10 : 10,9\n3,3 2,3 : 3,2\n", "same position"},
    };
    for (auto [text, words] : bad) {
        std::string error;
        auto records = parse(text, error);
        std::vector<uint8_t> book;
        EXPECT_FALSE(buildBook(records, book, error)) << text;
        EXPECT_NE(error.find(words), std::string::npos) << error;
    }
    for (const char *text :
         {"9,9 9,10 10,9\n", "9,9 9,x : 1,1\n", "9,9 9,20 : 1,1\n", "9,9 : 1,1 2,2\n"}) {
        std::istringstream in(text);
        std::vector<BookSourceRecord> records;
        std::string error;
        EXPECT_FALSE(parseBookSource(in, records, error)) << text;
        EXPECT_NE(error.find("line 1"), std::string::npos) << error;
    }
}

TEST(BookBuilder, ShippedBookIsItsSourceBuilt) {
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/book/data/book.txt");
    std::vector<BookSourceRecord> records;
    std::string error;
    ASSERT_TRUE(parseBookSource(in, records, error)) << error;
    std::vector<uint8_t> book;
    ASSERT_TRUE(buildBook(records, book, error)) << error;
    std::ifstream shipped(std::string(PENTAD_SOURCE_DIR) + "/resources/japanese.bin",
                          std::ios::binary);
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(shipped),
                               std::istreambuf_iterator<char>()};
    EXPECT_EQ(bytes, book);
}

// The shipped engine plays the book's answer for a book position under every symmetry and
// a shift.
TEST(BookEndToEnd, EngineAnswersBookPositionsUnderEverySymmetry) {
    std::ifstream in(std::string(PENTAD_SOURCE_DIR) + "/book/data/book.txt");
    std::vector<BookSourceRecord> records;
    std::string error;
    ASSERT_TRUE(parseBookSource(in, records, error));
    const BookSourceRecord *record = nullptr;
    for (const auto &r : records)
        if (r.stones.size() >= 4) {
            record = &r;
            break;
        }
    if (!record) GTEST_SKIP() << "the book holds no record of four stones";
    for (int k = 0; k < 8; ++k) {
        SCOPED_TRACE(k);
        std::vector<std::string> rows(BoardSize, std::string(BoardSize, '-'));
        const int shift = k % 2 ? 1 : -BoardSize; // one column right, or one row up
        for (size_t i = 0; i < record->stones.size(); ++i) {
            int c = transformCell(record->stones[i], k) + shift;
            rows[c / BoardSize][c % BoardSize] = i % 2 ? 'O' : 'X';
        }
        int expected = transformCell(record->answer, k) + shift;
        test::ScratchDir dir;
        dir.write("tah.dat", "x");
        dir.write("plocha.dat", test::boardFile(rows));
        dir.write("timeouts.dat", "5 60000");
        ASSERT_EQ(test::runIn(dir.path(), test::engineCommand()).status, 0);
        EXPECT_EQ(dir.read("tah.dat"), std::to_string(expected % BoardSize) + "," +
                                           std::to_string(expected / BoardSize));
    }
}

} // namespace
} // namespace pentad

#include "tools/book_builder.h"

#include <algorithm>
#include <map>
#include <set>
#include <sstream>

#include "board/engine_state.h"
#include "book/opening_book.h"

namespace pentad {
namespace {

constexpr int MaxRecordStones = 32;
constexpr int FrameFirst = 1; // the frame's rows and columns 1..15 hold the position
constexpr int FrameSpan = 15;

std::string at(int line) { return "line " + std::to_string(line) + ": "; }

bool parseMove(const std::string &token, int &cell) {
    int column, row;
    char comma, extra;
    std::istringstream in(token);
    if (!(in >> column >> comma >> row) || comma != ',' || (in >> extra)) return false;
    if (column < 0 || column >= BoardSize || row < 0 || row >= BoardSize) return false;
    cell = row * BoardSize + column;
    return true;
}

} // namespace

bool parseBookSource(std::istream &in, std::vector<BookSourceRecord> &records, std::string &error) {
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        text = text.substr(0, text.find('#'));
        if (text.find_first_not_of(" \t\r") == std::string::npos) continue;
        size_t colon = text.find(':');
        if (colon == std::string::npos || text.find(':', colon + 1) != std::string::npos) {
            error = at(line) + "expected the stones, one ':' and the answer";
            return false;
        }
        BookSourceRecord record;
        record.line = line;
        std::istringstream stones(text.substr(0, colon)), answer(text.substr(colon + 1));
        std::string token;
        while (stones >> token) {
            int cell;
            if (!parseMove(token, cell)) {
                error = at(line) + "bad move '" + token + "' (column,row, 0..19)";
                return false;
            }
            record.stones.push_back(cell);
        }
        if (!(answer >> token) || !parseMove(token, record.answer) || (answer >> token)) {
            error = at(line) + "expected one answer move after ':'";
            return false;
        }
        records.push_back(record);
    }
    return true;
}

std::string canonicalPosition(const std::vector<int> &stones) {
    std::string best;
    for (int k = 0; k < 8; ++k) {
        std::vector<std::pair<int, int>> cells; // (cell, colour)
        int minRow = BoardSize, minCol = BoardSize;
        for (size_t i = 0; i < stones.size(); ++i) {
            int c = transformCell(stones[i], k);
            cells.push_back({c, int(i % 2)});
            minRow = std::min(minRow, c / BoardSize);
            minCol = std::min(minCol, c % BoardSize);
        }
        std::vector<std::pair<int, int>> shifted;
        for (auto [c, colour] : cells)
            shifted.push_back(
                {(c / BoardSize - minRow) * BoardSize + c % BoardSize - minCol, colour});
        std::sort(shifted.begin(), shifted.end());
        std::string key;
        for (auto [c, colour] : shifted)
            key += std::to_string(c) + (colour ? "o" : "x");
        if (k == 0 || key < best) best = key;
    }
    return best;
}

bool buildBook(const std::vector<BookSourceRecord> &records, std::vector<uint8_t> &book,
               std::string &error) {
    std::map<std::string, int> seen; // canonical position -> source line
    std::vector<std::vector<uint8_t>> encoded;
    for (const BookSourceRecord &r : records) {
        const int n = int(r.stones.size());
        if (n < 2 || n > MaxRecordStones || n % 2 != 0) {
            error = at(r.line) + "a record holds an even number of 2 to 32 stones (X to move)";
            return false;
        }
        std::set<int> cells(r.stones.begin(), r.stones.end());
        if (int(cells.size()) != n) {
            error = at(r.line) + "a cell holds two stones";
            return false;
        }
        if (cells.count(r.answer)) {
            error = at(r.line) + "the answer lies on a stone";
            return false;
        }
        int minRow = BoardSize, maxRow = -1, minCol = BoardSize, maxCol = -1;
        for (int c : r.stones)
            cells.insert(c);
        cells.insert(r.answer);
        for (int c : cells) {
            minRow = std::min(minRow, c / BoardSize), maxRow = std::max(maxRow, c / BoardSize);
            minCol = std::min(minCol, c % BoardSize), maxCol = std::max(maxCol, c % BoardSize);
        }
        if (maxRow - minRow >= FrameSpan || maxCol - minCol >= FrameSpan) {
            error = at(r.line) + "the stones and answer do not fit the 15 x 15 book frame";
            return false;
        }
        auto [it, fresh] = seen.emplace(canonicalPosition(r.stones), r.line);
        if (!fresh) {
            error = at(r.line) + "the same position as line " + std::to_string(it->second) +
                    " under symmetry and translation";
            return false;
        }
        // Centre the position in the frame, so it is found wherever it stands on the board.
        const int rowShift = FrameFirst + (FrameSpan - 1 - (maxRow - minRow)) / 2 - minRow;
        const int colShift = FrameFirst + (FrameSpan - 1 - (maxCol - minCol)) / 2 - minCol;
        auto byteOf = [&](int c) {
            return uint8_t(16 * (c / BoardSize + rowShift) + c % BoardSize + colShift);
        };
        std::vector<uint8_t> xs, os;
        for (int i = 0; i < n; ++i)
            (i % 2 ? os : xs).push_back(byteOf(r.stones[i]));
        std::sort(xs.begin(), xs.end());
        std::sort(os.begin(), os.end());
        std::vector<uint8_t> record{uint8_t(n + 1)};
        for (size_t i = 0; i < xs.size(); ++i) {
            record.push_back(xs[i]);
            record.push_back(os[i]);
        }
        record.push_back(byteOf(r.answer));
        encoded.push_back(record);
    }
    std::stable_sort(encoded.begin(), encoded.end(),
                     [](const auto &a, const auto &b) { return a[0] < b[0]; });
    book.clear();
    for (const auto &record : encoded)
        book.insert(book.end(), record.begin(), record.end());
    book.push_back(BookTerminator);
    return true;
}

} // namespace pentad

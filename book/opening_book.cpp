#include "book/opening_book.h"

#include <array>

#include "platform/resources.h"

namespace pentad {
namespace {

constexpr int FrameSize = 16;
constexpr int Last = BoardSize - 1;

} // namespace

int transformCell(int cell, int k) {
    if (cell < 0 || cell >= CellCount) return -1;
    static constexpr int Inverse[8] = {0, 3, 2, 1, 4, 5, 6, 7};
    if (k < 0 && k >= -7) k = Inverse[-k];
    const int row = cell / BoardSize, col = cell % BoardSize;
    int r, c;
    switch (k) {
    case 0:
        r = row, c = col;
        break;
    case 1:
        r = Last - col, c = row;
        break;
    case 2:
        r = Last - row, c = Last - col;
        break;
    case 3:
        r = col, c = Last - row;
        break;
    case 4:
        r = Last - row, c = col;
        break;
    case 5:
        r = Last - col, c = Last - row;
        break;
    case 6:
        r = row, c = Last - col;
        break;
    case 7:
        r = col, c = row;
        break;
    default:
        return -1;
    }
    return r * BoardSize + c;
}

void OpeningBook::load() { bytes_ = findResource("japanese"); }

int OpeningBook::lookup(const EngineState &e) const {
    const int s = e.MoveHistory.count;
    if (s < BookMinStones || s > BookMaxStones) return -1;
    // Book positions alternate colours: X has one stone more than O or as many.
    int xCount = 0, oCount = 0;
    for (int c = 0; c < CellCount; ++c) {
        xCount += e.Board[c] == X;
        oCount += e.Board[c] == O;
    }
    if (xCount != (s + 1) / 2 || oCount != s / 2) return -1;
    const size_t size = bytes_.size();
    const int length = s + 1; // record length of such a position: stones and answer
    for (int k = 0; k < 8; ++k) {
        // 1. The position under map k on a scratch board.
        std::array<uint8_t, CellCount> scratch{};
        for (int j = 1; j <= s; ++j)
            scratch[transformCell(e.MoveHistory.cells[j], k)] = j % 2 ? X : O;
        // 2. Work list: X cells in scan order at odd places, O cells at even places.
        std::array<int, BookMaxStones + 2> w{};
        int nextX = 1, nextO = 2;
        for (int c = 0; c < CellCount; ++c) {
            if (scratch[c] == X)
                w[nextX] = c, nextX += 2;
            else if (scratch[c] == O)
                w[nextO] = c, nextO += 2;
        }
        // 3. The first record of this length.
        size_t pos = 0;
        while (pos < size && bytes_[pos] != BookTerminator && bytes_[pos] < s)
            pos += size_t(bytes_[pos]) + 1;
        const int r1 = w[1] / BoardSize, c1 = w[1] % BoardSize;
        // 4. Records of this length in order, each aligned on its first stone.
        for (; pos + size_t(length) < size && bytes_[pos] == length; pos += size_t(length) + 1) {
            const uint8_t *record = &bytes_[pos];
            const int h0 = record[1] >> 4, l0 = record[1] & 15;
            bool fits = c1 >= l0 - 1 && r1 >= h0 - 1 && BoardSize - c1 >= FrameSize - l0 &&
                        BoardSize - r1 >= FrameSize - h0;
            if (!fits) continue;
            bool agree = true;
            for (int m = 2; m <= length - 1 && agree; ++m) {
                int row = w[m] / BoardSize, col = w[m] % BoardSize;
                agree = FrameSize * (row - r1 + h0) + (col - c1 + l0) == record[m];
            }
            if (!agree) continue;
            const int answer = record[length];
            const int row = (answer >> 4) - h0 + r1, col = (answer & 15) - l0 + c1;
            if (row < 0 || row >= BoardSize || col < 0 || col >= BoardSize) return -1;
            return transformCell(row * BoardSize + col, -k);
        }
    }
    return -1;
}

OpeningBook &openingBook() {
    static OpeningBook book;
    return book;
}

} // namespace pentad

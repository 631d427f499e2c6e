// A game on the 20 x 20 board as the browser board keeps it: the moves in order, black
// first, a five or more of one colour ending it, and the two record formats a player copies
// and pastes (the tools' "c,r c,r ..." list and the .psq text of the pbrain managers).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace pentad::web {

constexpr int BoardSize = 20;

struct Point {
    int x = 0, y = 0; ///< column and row, from 0
    bool operator==(const Point &) const = default;
};

enum class Outcome { Playing, BlackWon, WhiteWon, Draw };

class GameRecord {
public:
    /// Plays `p` for the side to move; false with `error` set (off the board, on a stone,
    /// or the game already over) and the record unchanged.
    bool play(Point p, std::string &error);
    /// Takes back the last `count` moves (fewer when there are fewer).
    void undo(int count);
    void clear();

    const std::vector<Point> &moves() const { return moves_; }
    /// 1 black, 2 white, 0 empty.
    int at(Point p) const { return cells_[size_t(p.y * BoardSize + p.x)]; }
    bool blackToMove() const { return moves_.size() % 2 == 0; }
    Outcome outcome() const { return outcome_; }
    /// The five (or longer line) that ended the game, else empty.
    const std::vector<Point> &winLine() const { return winLine_; }

    /// The record as "c,r c,r ..." (from 0, play order) or as .psq text (from 1).
    std::string moveListText() const;
    std::string psqText() const;

    /// Reads either format (a .psq text starts with its "Piskvorky" header line) into a new
    /// record; false with `error` naming the first bad item.
    static bool parse(std::string_view text, GameRecord &record, std::string &error);

private:
    std::vector<Point> moves_;
    std::array<uint8_t, BoardSize * BoardSize> cells_{};
    Outcome outcome_ = Outcome::Playing;
    std::vector<Point> winLine_;

    void refreshOutcome();
};

bool onBoard(Point p);

} // namespace pentad::web

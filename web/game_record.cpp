#include "web/game_record.h"

#include <cctype>
#include <charconv>

namespace pentad::web {

bool onBoard(Point p) { return p.x >= 0 && p.y >= 0 && p.x < BoardSize && p.y < BoardSize; }

bool GameRecord::play(Point p, std::string &error) {
    if (outcome_ != Outcome::Playing) {
        error = "the game is over";
        return false;
    }
    if (!onBoard(p)) {
        error = "move " + std::to_string(p.x) + "," + std::to_string(p.y) + " is off the board";
        return false;
    }
    if (at(p) != 0) {
        error = "move " + std::to_string(p.x) + "," + std::to_string(p.y) + " is on a stone";
        return false;
    }
    cells_[size_t(p.y * BoardSize + p.x)] = blackToMove() ? 1 : 2;
    moves_.push_back(p);
    refreshOutcome();
    return true;
}

void GameRecord::undo(int count) {
    for (; count > 0 && !moves_.empty(); --count) {
        Point p = moves_.back();
        cells_[size_t(p.y * BoardSize + p.x)] = 0;
        moves_.pop_back();
    }
    refreshOutcome();
}

void GameRecord::clear() { undo(int(moves_.size())); }

// Only the last move can have made a five: earlier ones would have ended the game.
void GameRecord::refreshOutcome() {
    outcome_ = Outcome::Playing;
    winLine_.clear();
    if (moves_.empty()) return;
    Point last = moves_.back();
    int colour = at(last);
    static constexpr int Dx[4] = {1, 0, 1, 1}, Dy[4] = {0, 1, 1, -1};
    for (int d = 0; d < 4; ++d) {
        Point a = last, b = last;
        while (onBoard({a.x - Dx[d], a.y - Dy[d]}) && at({a.x - Dx[d], a.y - Dy[d]}) == colour)
            a = {a.x - Dx[d], a.y - Dy[d]};
        while (onBoard({b.x + Dx[d], b.y + Dy[d]}) && at({b.x + Dx[d], b.y + Dy[d]}) == colour)
            b = {b.x + Dx[d], b.y + Dy[d]};
        int length = std::max(std::abs(b.x - a.x), std::abs(b.y - a.y)) + 1;
        if (length < 5) continue;
        for (Point p = a;; p = {p.x + Dx[d], p.y + Dy[d]}) {
            winLine_.push_back(p);
            if (p == b) break;
        }
        outcome_ = colour == 1 ? Outcome::BlackWon : Outcome::WhiteWon;
        return;
    }
    if (moves_.size() == size_t(BoardSize * BoardSize)) outcome_ = Outcome::Draw;
}

std::string GameRecord::moveListText() const {
    std::string text;
    for (const Point &p : moves_) {
        if (!text.empty()) text += ' ';
        text += std::to_string(p.x) + "," + std::to_string(p.y);
    }
    return text;
}

std::string GameRecord::psqText() const {
    std::string text =
        "Piskvorky " + std::to_string(BoardSize) + "x" + std::to_string(BoardSize) + ", 11:11, 0\n";
    for (const Point &p : moves_)
        text += std::to_string(p.x + 1) + "," + std::to_string(p.y + 1) + ",0\n";
    return text + "-1\n";
}

namespace {

// Splits "a,b" or "a,b,c" into integers; false for anything else.
bool parseNumbers(std::string_view token, int *out, int &count) {
    count = 0;
    size_t at = 0;
    while (at <= token.size() && count < 3) {
        size_t comma = token.find(',', at);
        std::string_view part =
            token.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at);
        if (part.empty() || part.size() > 6) return false;
        auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), out[count]);
        if (ec != std::errc() || end != part.data() + part.size()) return false;
        ++count;
        if (comma == std::string_view::npos) return true;
        at = comma + 1;
    }
    return false;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

bool addMove(GameRecord &record, Point p, int number, std::string &error) {
    std::string why;
    if (record.play(p, why)) return true;
    error = "move " + std::to_string(number) + ": " + why;
    return false;
}

} // namespace

bool GameRecord::parse(std::string_view text, GameRecord &record, std::string &error) {
    record.clear();
    std::string_view rest = text;
    auto nextLine = [&rest]() {
        size_t end = rest.find('\n');
        std::string_view line = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        return trim(line);
    };
    std::string_view first = trim(rest);
    if (first.rfind("Piskvorky", 0) == 0) {
        // .psq: the header, then one "x,y,time" line a move counted from 1; the first other
        // line (the closing "-1", engine names) ends the moves.
        std::string_view header = nextLine();
        while (header.empty())
            header = nextLine();
        if (header.find("20x20") == std::string_view::npos) {
            error = "only 20x20 games can be read";
            return false;
        }
        int number = 0;
        while (!rest.empty()) {
            std::string_view line = nextLine();
            if (line.empty()) continue;
            int v[3], count = 0;
            if (!parseNumbers(line, v, count) || count < 2) break;
            if (!addMove(record, {v[0] - 1, v[1] - 1}, ++number, error)) return false;
        }
        return true;
    }
    // The tools' list: "c,r" tokens from 0 in play order, separated by blanks, new lines or
    // semicolons.
    int number = 0;
    size_t at = 0;
    while (at < text.size()) {
        while (at < text.size() &&
               (std::isspace(static_cast<unsigned char>(text[at])) || text[at] == ';'))
            ++at;
        if (at >= text.size()) break;
        size_t end = at;
        while (end < text.size() && !std::isspace(static_cast<unsigned char>(text[end])) &&
               text[end] != ';')
            ++end;
        std::string_view token = text.substr(at, end - at);
        at = end;
        int v[3], count = 0;
        if (!parseNumbers(token, v, count) || count != 2) {
            std::string shown(token.substr(0, 20));
            error = "item " + std::to_string(number + 1) + " (\"" + shown +
                    "\") is not a move: write moves as column,row from 0, or paste a .psq record";
            return false;
        }
        if (!addMove(record, {v[0], v[1]}, ++number, error)) return false;
    }
    return true;
}

} // namespace pentad::web

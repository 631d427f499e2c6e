// Building the binary opening book from its text source.
//
// Source format, one record a line: the stones in the order they were played (X first,
// then alternating), a colon, and the answer for X; moves are column,row pairs, 0-based.
// '#' starts a comment; blank lines are ignored. Example: "9,9 10,10 : 8,10".
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace pentad {

struct BookSourceRecord {
    std::vector<int> stones; ///< cells in play order, X first
    int answer = -1;         ///< cell
    int line = 0;            ///< source line, for messages
};

/// Reads the records of a book source; false with a message naming the line on a
/// malformed line.
bool parseBookSource(std::istream &in, std::vector<BookSourceRecord> &records, std::string &error);

/// Checks every record (X to move, 2 to 32 stones, distinct cells, answer on an empty
/// cell, fits the 16 x 16 frame, no two positions equal under symmetry and translation) and
/// writes the binary book. False with a message on the first fault.
bool buildBook(const std::vector<BookSourceRecord> &records, std::vector<uint8_t> &book,
               std::string &error);

/// The same key for two positions exactly when one is the other under a symmetry and a
/// translation; colours count.
std::string canonicalPosition(const std::vector<int> &stones);

} // namespace pentad

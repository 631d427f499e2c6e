#include "driver/line_input.h"

namespace pentad {

bool LineReader::next(std::string &line) {
    line.clear();
    bool any = false;
    int ch;
    while ((ch = in_.get()) != EOF) {
        if (skipLineFeed_) {
            skipLineFeed_ = false;
            if (ch == '\n') continue;
        }
        any = true;
        if (ch == '\n') return true;
        if (ch == '\r') {
            skipLineFeed_ = true;
            return true;
        }
        if (line.size() < MaxLineBytes) line += char(ch);
    }
    return any;
}

} // namespace pentad

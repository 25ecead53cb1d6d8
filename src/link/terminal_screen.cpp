#include "terminal_screen.h"

namespace varnel {

void TerminalScreen::reset() {
    lines_.clear();
    for (int i = 0; i < kRows; ++i) lines_.append(QString());
    TermRow = 0;
    TermCol = 0;
}

void TerminalScreen::put(uint8_t c) {
    if (c == 10) {
        TermCol = 0;
    } else if (c == 13) {
        if (TermRow < kRows - 1) {
            ++TermRow;
        } else {
            lines_.removeFirst();
            lines_.append(QString());
        }
    } else if (TermCol < kColumns) {
        // The column counts characters written since the line feed, not the line's length: a
        // CR alone moves down to a line that may already hold text, and the text goes after it.
        lines_[TermRow] += QChar::fromLatin1(char(c));
        ++TermCol;
    }
}

}  // namespace varnel

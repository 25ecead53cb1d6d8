#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>

namespace varnel {

// The terminal's 25-line screen as the box's bytes write it. A carriage return only moves down
// (scrolling at the bottom line) and a line feed only returns to the margin, so the box's CR LF
// starts a new line; a line takes at most 79 characters until the next line feed.
class TerminalScreen {
  public:
    static constexpr int kRows = 25;
    static constexpr int kColumns = 79;

    TerminalScreen() { reset(); }

    // All 25 lines empty, writing at the top left.
    void reset();
    void put(uint8_t c);

    const QStringList& lines() const { return lines_; }
    int TermRow = 0;
    int TermCol = 0;

  private:
    QStringList lines_;
};

}  // namespace varnel

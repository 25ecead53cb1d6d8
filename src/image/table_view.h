#pragma once

#include "image/eeprom_image.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <cstdint>

namespace varnel {

// The texts and numbers the table grid, the chart, the pots, the limit box and the hexadecimal
// grid show, worked out from the image alone so that the window and the command line agree.
// Every function takes the output kind as the Output selector shows it (true: frequency).

inline constexpr int kChartPoints = 32;  // entries 0..31; entry 32 is never plotted

// The title of the output column.
QString OutputTitle(bool frequency);  // "V Out" or "F Out"

// Entry i as the grid draws it, untrimmed.
QString EntryText(const EepromImage& image, int entry, bool frequency);

// Stores a typed text into an entry by the output kind's rules and returns the entry's text
// afterwards (which is the entry's, not the typed one, when the store refuses the text).
QString StoreEntryText(EepromImage& image, int entry, const QString& text, bool frequency);

// The chart's y value for an edited entry: only entries 1..30 move a point, and only when the
// trimmed text reads as a number.
bool ChartPointValue(int entry, const QString& text, float& y);

// x: volts in; y: volts or hertz out. Words above 1023 are plotted as they are.
QPointF TableChartPoint(const EepromImage& image, int entry, bool frequency);
QList<QPointF> TableChartPoints(const EepromImage& image, bool frequency);

// The word nearest a chart value (volts or hertz), ties to even, held to 0..1023: where a
// dragged point lands, and the word behind a point of a curve drawn from words.
uint16_t ChartValueWord(double y, bool frequency);

// The chart's tooltip for a point of a curve: "Entry 13: 2.437 V in, 2.500 V out", the texts as
// the grid formats them, trimmed; mark (when not empty) follows in brackets: "... out (adjusted)".
QString ChartPointTip(int entry, uint16_t word, bool frequency, const QString& mark = QString());

// The grid's "Diff" column: entry of image minus the same entry of reference, in the unit shown,
// formatted as the output column (" %5.3f " volts, " %4.0f " hertz); "****" when either word is
// beyond 1023, where the output column shows no value of its own.
QString DiffText(const EepromImage& image, const EepromImage& reference, int entry, bool frequency);

// The limit (entry 36) as the limit box shows it: trimmed.
QString LimitText(const EepromImage& image, bool frequency);
// The limit box's text into entry 36: trimmed, then stored by the output kind's rules.
void StoreLimitText(EepromImage& image, const QString& text, bool frequency);
// The limit box takes digits, the point, backspace and delete; other typed characters are dropped.
bool LimitKeyAccepted(QChar c);

// A pot byte as its box shows it. A value read from the image shows 0..128 as they are; a value
// reached with the spin buttons shows 0..127 as they are; everything above as value - 256.
QString PotLoadedText(uint8_t value);
QString PotSteppedText(uint8_t value);
// One spin click: down stops at 0, up stops at 99 (and does nothing above it).
uint8_t PotAfterStep(uint8_t value, int step);

// The hexadecimal grid: byte index of cell (column, row) for column and row 1..16, and the text
// " %2.2X " of a byte.
inline int HexCellIndex(int col, int row) {
    return (row - 1) * 16 + (col - 1);
}
QString HexByteText(uint8_t value);
// The value of the text's leading hexadecimal digits: 0 when the first character is not one.
// Saturates far above 0xFF, so any long text reads as out of range.
int LeadingHexValue(const QString& text);

}  // namespace varnel

#pragma once

#include "image/eeprom_image.h"

#include <QString>

namespace varnel {

// Work on a run of table entries at once: the five range operations, the clipboard's text and
// the table's CSV file. The window and varnel-cli both call these, so the same operation gives
// the same bytes either way. Every function takes the output kind as the Output selector shows
// it (true: frequency) and leaves the image untouched when it refuses.

enum class RangeKind {
    Set,          // text: stored into every entry as if typed there
    Add,          // number: volts or hertz, by the output kind
    AddWords,     // number: whole words (the + and - keys)
    Scale,        // number: percent
    Interpolate,  // a straight line from entry first to entry last
    Smooth,       // (w[i-1] + 2 w[i] + w[i+1]) / 4 of the words before
};

struct RangeOp {
    RangeKind kind = RangeKind::Set;
    int first = 0;  // entries first..last, 0 <= first <= last <= 32
    int last = 0;
    QString text;       // Set; Add's and Scale's number as typed, which they read exactly
    double number = 0;  // AddWords; Add and Scale when text is no number
};

// Why a range cannot take the operation ("" when it can): entries outside 0..32, first above
// last, or fewer than three entries for Interpolate and Smooth (the end entries keep their words).
QString RangeProblem(RangeKind kind, int first, int last);

// How the store would take a typed table text: a text that is not a number, and a negative
// voltage, change nothing when typed into a cell; a range operation or a paste refuses them.
enum class TextRefusal { None, NotANumber, Invalid };
TextRefusal TableTextRefusal(const QString& text, bool frequency);

// Applies op (its range must be valid). Computed exactly on the words and the typed number (a
// volt is 204.8 words, a word 2.88 Hz), rounded to nearest with ties to even and held to
// 0..1023; Set goes through the store. False, with the reason in error and the image untouched,
// when the store refuses Set's text.
bool ApplyRangeOp(EepromImage& image, const RangeOp& op, bool frequency, QString& error);

// The history's name for op: "Scale entries 5 to 10 by 5 %".
QString RangeOpCaption(const RangeOp& op, bool frequency);

// "entry 5" or "entries 5 to 10".
QString EntriesText(int first, int last);

// A number typed for Add or Scale: blanks around it, '.' as the decimal point, nothing else.
bool ParseNumber(const QString& text, double& value);

// Edit > Copy of entries first..last: one line per row, the input and the output as the grid
// shows them, trimmed, separated by a tab ("2.437\t2.500\n").
QString TableCopyText(const EepromImage& image, int first, int last, bool frequency);

// Edit > Paste: one value per line (of several fields separated by tabs, commas or semicolons,
// the last one) into the entries from first on, each through the store as if typed. All or
// nothing: false, with the reason and the line in error, when a value is refused or there are
// more values than rows from first to 32. count: the values pasted.
bool PasteTableText(EepromImage& image, int first, const QString& text, bool frequency,
                    QString& error, int& count);

// The table as CSV: "entry,v_in,v_out,word" ("f_out" under frequency) and the 33 entries, the
// texts as the grid shows them, trimmed.
QString TableCsvText(const EepromImage& image, bool frequency);

// A CSV file's rows into the table, by the header's column names: entry, and word or the output
// column of the kind (word first). All or nothing: false, with the reason and the line (of
// where: the file's name) in error. count: the entries the file gave.
bool ImportTableCsvText(EepromImage& image, const QString& text, bool frequency,
                        const QString& where, QString& error, int& count);

}  // namespace varnel

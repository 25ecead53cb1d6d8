#pragma once

#include "meter/meter_file.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace varnel {

// The next field of s: from pos (1-based, taken as 1 if smaller) it skips delimiters while pos is
// before the last character, collects up to the next delimiter or the end, and leaves pos on the
// character after the field.
QString ExtractToken(const QString& s, const QString& delimiters, int& pos);

// The lines of a meter text file: a line ends at CR, at LF, or at CR LF (one end), and Ctrl+Z
// ends the file. Bytes are 8-bit (Latin-1) characters.
QStringList MeterTextLines(const QByteArray& data);

struct MeterImportResult {
    int points = 0;   // rows stored in the record
    int leftOut = 0;  // data lines beyond the record's 62 rows
};

// Fills record from a meter text file as the editor's Convert does: lines 1 to 5 set the part
// number, the signal kind, the flow unit and the two description lines, each later line holding
// two numbers adds a row. The point count and both description lines are always reset; fields
// whose line is missing keep their values.
MeterImportResult ImportMeterText(const QByteArray& data, TMeterRecord& record);

// The message for an import that read no point from the file at path.
QString NoPointsMessage(const QString& path);

// The message for data lines that did not fit into the record.
QString LeftOutMessage(int leftOut);

}  // namespace varnel

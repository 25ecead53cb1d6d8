#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <string_view>
#include <vector>

namespace varnel {

// What a datalog's text holds, as the reader found it: where its names and units are, how its
// fields and numbers are written, and what each column is for. Loggers write their logs in many
// ways (a title and a block of settings before the names, a units row under them, sections, a
// semicolon and a decimal comma, Latin-1 names, one reading a row); all of it ends here, so the
// correction and the windows see columns by position and never the file's own ways.

enum class DecimalMark { Auto, Point, Comma };

struct LogOptions {
    DecimalMark decimal = DecimalMark::Auto;  // Auto: found from the numbers of the log
};

// What a column is for. Its values, taken through the column's UnitScale, are in the role's own
// unit: volts, hertz, grams a second, cubic feet a minute, percent, AFR, lambda, degrees
// Celsius, percent of throttle, revolutions a minute, seconds; the loop status as the logger
// wrote it (see ReadLoopState).
enum class LogRole {
    None,
    SignalVolts,
    SignalHertz,
    MassFlow,
    VolumeFlow,
    TrimShort,
    TrimLong,
    Afr,
    AfrTarget,
    Lambda,
    LambdaTarget,
    Coolant,
    IntakeTemp,
    Throttle,
    Rpm,
    Loop,
    Time,
};

// "signal-volts", ..., "time"; "" for None.
QString RoleName(LogRole role);

// The value in the role's unit: value x scale + offset.
struct UnitScale {
    double scale = 1;
    double offset = 0;
    double apply(double v) const { return v * scale + offset; }
    bool operator==(const UnitScale&) const = default;
};

// What the rows the reader looked at when it opened the log held in one column.
struct ColumnSample {
    int numbers = 0;
    int texts = 0;
    int missing = 0;
    double min = 0;
    double max = 0;
    double medianStep = 0;          // of the numbers in row order: a time column's interval
    QStringList examples;           // the first few values that are not missing, as written
    QList<QByteArray> textValues;   // the first few distinct texts, as written
    QList<double> distinctNumbers;  // the first few distinct numbers
};

struct LogColumn {
    QString header;       // the text of the names row (quotes and surrounding blanks removed)
    QString name;         // header without its unit in brackets
    QString unit;         // from the units row or the name; "" when neither gives one
    QStringList aliases;  // the texts of the other rows of names above the column
    LogRole role = LogRole::None;
    UnitScale scale;  // the column's values into the role's unit
    // Why the role is what it is where the name alone did not say, or why a name that looked
    // like a role got none ("values near 1.0: read as factors"); "" otherwise.
    QString note;
    bool numeric = false;  // the sampled values are numbers
    ColumnSample sample;
};

struct LogLayout {
    int headerLine = 0;    // 1-based line of the names; 0: the file has no names
    int unitsLine = 0;     // 1-based line of the units row; 0: none
    int dataLine = 0;      // 1-based line of the first row
    int skippedLines = 0;  // lines before the first row other than the names
    char separator = ',';
    char decimal = '.';
    bool decimalFound = true;  // false when the options set it
    bool latin1 = false;       // the names are Latin-1, not UTF-8
    bool byteOrderMark = false;
    // A long log, one reading a row: its rows are pivoted into one column per channel by time,
    // each channel holding its last value. readingColumns are the file's own (time, channel,
    // value, unit), for what the user is shown.
    bool narrow = false;
    QStringList readingColumns;
    QList<LogColumn> columns;

    int columnCount() const { return int(columns.size()); }
    // The first column of the role, from index from on; -1 when none has it.
    int firstWithRole(LogRole role, int from = 0) const;
};

// The column a user's text names: its names-row text or its name without the unit, in any case
// and either encoding, with "#k" after it for the k-th column of that name ("#k" alone: the k-th
// column). Texts that equal a
// column's names-row text win over texts that equal a name without its unit. -1, with the
// message in error, when there is none ("The log has no column 'X'.") or more than one ("The log
// has 2 columns 'X': name one as 'X#1' or 'X#2'.").
int FindColumn(const LogLayout& layout, const QString& text, QString& error);

// The text that FindColumn turns back into column index: its names-row text, with "#k" when
// another column has a name that compares equal ("#k" alone where nothing else would do).
QString ColumnReference(const LogLayout& layout, int index);

// The refusal of a column the log does not have.
QString NoColumnMessage(const QString& name);

enum class LoopState { Unknown, Closed, Open };

// A loop-status field: the OBD-II fuel-system status numbers (2 closed loop; 1, 4, 8 and 16 open;
// others unknown), or a text that begins with "CL" or "Closed" (closed) or "OL" or "Open" (open),
// in any case.
LoopState ReadLoopState(std::string_view field, char decimal);

}  // namespace varnel

#pragma once

#include "image/eeprom_image.h"
#include "log/log_layout.h"
#include "meter/meter_file.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <vector>

namespace varnel {

// The correction of the table from a datalog. The engine computer reads the box's output as the
// signal of the meter it was calibrated for (the expected meter), and its fuel trims say by how
// much that reading of the air flow was off: where it keeps adding fuel, the box reports too
// little air. For each logged row the signal that would have given the trimmed flow is found in
// the expected meter, and the difference is shared out between the two table entries the
// signal lies between. The window and varnel-cli both run it through CorrectFromLog.

// The expected meter's curve, points ascending by signal, signals in volts or hertz.
struct MeterCurve {
    std::vector<double> signal;
    std::vector<double> flow;
    bool kilograms = true;  // flows in kg/h; false: lb/h

    // Linear interpolation between the two points around the value; false outside the first
    // and last point.
    bool flowAt(double s, double& f) const;
    bool signalAt(double f, double& s) const;
    // A mass flow in grams a second in the meter's unit.
    double flowOfGrams(double gramsPerSecond) const;
};

// The expected meter as a curve for a table of the given output kind. Refused, with the message
// for the user: a text that is not a number, a meter of the other kind ("The meter reads hertz;
// the table drives volts.", or the other way round), or flows that do not rise strictly with the
// signal ("The meter's flows do not rise with its signal.", also for fewer than two points).
bool MeterCurveOf(const TMeterRecord& record, const QString& path, bool tableIsFrequency,
                  MeterCurve& curve, QString& error);

// A column of a log as the user chose it: by its position (the window's choice, kept while the
// column there still has the name it had) or by its text (see FindColumn); in another log that
// has no column of that name, the first with role, when one is given (the window's logs after
// the first). Neither position nor text: the column that has the correction's role.
struct ColumnRef {
    QString name;
    int index = -1;
    LogRole role = LogRole::None;

    ColumnRef() = default;
    ColumnRef(const QString& text) : name(text) {}
    ColumnRef(const char* text) : name(QString::fromUtf8(text)) {}
    ColumnRef(const QString& text, int at, LogRole fallback = LogRole::None)
        : name(text), index(at), role(fallback) {}
    bool empty() const { return name.isEmpty() && index < 0; }
};

// A row is used only when the value of column lies within min..max, or, for a text filter, when
// its text matches pattern ('*' stands for any text; letters in any case).
struct LogFilter {
    ColumnRef column;
    double min = 0;
    double max = 0;
    bool text = false;
    QString pattern;
};

struct CorrectionSettings {
    // The column of the signal the engine computer read (the box's output), or of the air mass
    // flow it computed from it; empty: by the columns' roles.
    ColumnRef signal;
    QList<ColumnRef> trims;  // added together, in percent; empty: by the columns' roles
    QList<LogFilter> filters;
    int minSamples = 10;    // at least 1
    double strength = 100;  // percent of each trim that is taken
    LogOptions log;         // how the logs write their numbers
};

enum class SignalKind { Volts, Hertz, MassFlow };

// A column as the correction takes it: its position, the text that names it (ColumnReference),
// and the scale into volts, hertz, grams a second or percent.
struct MappedColumn {
    int index = -1;
    QString name;
    UnitScale scale;
};

struct MappedFilter {
    MappedColumn column;
    bool text = false;
    double min = 0;
    double max = 0;
    QByteArray pattern;  // in the log's encoding
};

// The columns of one log that the correction reads, by position.
struct LogMapping {
    MappedColumn signal;
    SignalKind signalKind = SignalKind::Volts;
    QList<MappedColumn> trims;
    bool trimsAsFactors = false;  // a trim's values were factors near 1.0, turned into percent
    QList<MappedFilter> filters;
    bool byRole = false;  // signal and trims were chosen by their roles, not named
};

// The columns settings name in layout, or those whose roles fit where settings name none. The
// signal is the table's kind (volts or hertz) or, where the log has none, the air mass flow.
// Refused, with the message for the user: a column the log does not have or that two columns
// could be, a signal of the other kind ("The log's signal 'MAF Hz' is in hertz; the table
// drives volts."), a volume flow, a log without a signal or a trim, and a filter by number on a
// column of text.
bool MapLogColumns(const LogLayout& layout, const CorrectionSettings& settings, bool frequencyTable,
                   LogMapping& mapping, QString& error);

enum class RowSkip { None, NotANumber, Filtered, OutsideMeter, OutsideTable };

// What one table entry got from the log.
struct EntryCorrection {
    double samples = 0;   // the sum of the weights the entry got
    double trimSum = 0;   // weight x trim
    double shiftSum = 0;  // weight x (signal wanted - signal read)
    uint16_t word = 0;
    uint16_t proposedWord = 0;
    // The entry had enough samples to be corrected (its word may still come out the same).
    bool corrected = false;

    double meanTrim() const { return samples > 0 ? trimSum / samples : 0; }
};

// The rows of one log.
struct LogRows {
    QString path;
    qint64 rowsRead = 0;
    qint64 rowsUsed = 0;
};

struct CorrectionReport {
    qint64 rowsRead = 0;
    qint64 rowsUsed = 0;
    qint64 notANumber = 0;
    qint64 filtered = 0;
    qint64 outsideMeter = 0;
    qint64 outsideTable = 0;
    std::array<EntryCorrection, kTableEntries> entries{};
    QList<LogRows> logs;
    LogMapping mapping;  // the first log's columns

    std::array<uint16_t, kTableEntries> proposedWords() const;
    // Entries whose proposed word differs from the word now.
    int changedEntries() const;
};

// The rows' sums, one row at a time, in double precision.
class CorrectionSums {
  public:
    CorrectionSums(const std::array<uint16_t, kTableEntries>& words, bool frequency,
                   const MeterCurve& meter, double strength);

    // A row whose fields were numbers and passed the filters: signal s, trims summed to t.
    RowSkip add(double s, double t);
    // The proposed words: entries with at least minSamples take their mean shift.
    void finish(int minSamples, CorrectionReport& report) const;

    // The output of entry i in volts or hertz.
    double output(int i) const { return out_[size_t(i)]; }

  private:
    const MeterCurve& meter_;
    bool frequency_;
    double strength_;
    std::array<uint16_t, kTableEntries> words_;
    std::array<double, kTableEntries> out_{};
    std::array<double, kTableEntries> weight_{};
    std::array<double, kTableEntries> trim_{};
    std::array<double, kTableEntries> shift_{};
};

// Everything a correction needs, copied: it may run on another thread.
struct CorrectionInput {
    QStringList logPaths;  // their rows are pooled
    std::array<uint16_t, kTableEntries> words{};
    bool frequency = false;
    MeterCurve meter;
    CorrectionSettings settings;
};

struct CorrectionResult {
    bool ok = false;
    bool cancelled = false;
    QString error;  // the message for the user when not ok and not cancelled
    CorrectionReport report;
};

// Reads each log through once. progress, when set, is called now and then with the bytes read
// and the logs' size; returning false cancels the run. A run that uses no row fails with its
// main reason ("No row of the log was used: 4,235 rows had no number in 'MAF V'."). Thread-safe:
// touches nothing shared.
CorrectionResult CorrectFromLog(const CorrectionInput& input,
                                const std::function<bool(qint64, qint64)>& progress = {});

}  // namespace varnel

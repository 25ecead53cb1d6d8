#pragma once

#include "image/eeprom_image.h"
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

    // Linear interpolation between the two points around the value; false outside the first
    // and last point.
    bool flowAt(double s, double& f) const;
    bool signalAt(double f, double& s) const;
};

// The expected meter as a curve for a table of the given output kind. Refused, with the message
// for the user: a text that is not a number, a meter of the other kind ("The meter reads hertz;
// the table drives volts.", or the other way round), or flows that do not rise strictly with the
// signal ("The meter's flows do not rise with its signal.", also for fewer than two points).
bool MeterCurveOf(const TMeterRecord& record, const QString& path, bool tableIsFrequency,
                  MeterCurve& curve, QString& error);

// A row is used only when the value of column lies within min..max.
struct LogFilter {
    QString column;
    double min = 0;
    double max = 0;
};

struct CorrectionSettings {
    QString signal;     // the column of the signal the engine computer read (the box's output)
    QStringList trims;  // percent, added together
    QList<LogFilter> filters;
    int minSamples = 10;    // at least 1
    double strength = 100;  // percent of each trim that is taken
};

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

struct CorrectionReport {
    qint64 rowsRead = 0;
    qint64 rowsUsed = 0;
    qint64 notANumber = 0;
    qint64 filtered = 0;
    qint64 outsideMeter = 0;
    qint64 outsideTable = 0;
    std::array<EntryCorrection, kTableEntries> entries{};

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
    QString logPath;
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

// Reads the log through once. progress, when set, is called now and then with the bytes read
// and the file's size; returning false cancels the run. Thread-safe: touches nothing shared.
CorrectionResult CorrectFromLog(const CorrectionInput& input,
                                const std::function<bool(qint64, qint64)>& progress = {});

}  // namespace varnel

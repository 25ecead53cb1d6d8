#pragma once

#include "image/eeprom_image.h"
#include "log/log_layout.h"
#include "meter/meter_file.h"

#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <memory>
#include <vector>

namespace varnel {

// The correction of the table from a datalog. The engine computer reads the box's output as the
// signal of the meter it was calibrated for (the expected meter), and each logged row says by
// how much that reading of the air flow was off: in closed loop its fuel trims (where it keeps
// adding fuel, the box reports too little air), in open loop the mixture a wideband measured
// against the one it commanded. For each row the signal that would have given the right flow is
// found in the expected meter, and the difference is shared out between the two table entries
// the signal lies between. The window and varnel-cli both run it through CorrectFromLog.

class LogReader;

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
// the first). Neither position nor text: the column that has the correction's role; none: no
// column at all, whatever the roles say. An optional column that a log has neither by name nor
// by role is none in that log (the window's open-loop columns in its logs after the first).
struct ColumnRef {
    QString name;
    int index = -1;
    LogRole role = LogRole::None;
    bool none = false;
    bool optional = false;

    ColumnRef() = default;
    ColumnRef(const QString& text) : name(text) {}
    ColumnRef(const char* text) : name(QString::fromUtf8(text)) {}
    ColumnRef(const QString& text, int at, LogRole fallback = LogRole::None)
        : name(text), index(at), role(fallback) {}
    static ColumnRef None() {
        ColumnRef r;
        r.none = true;
        return r;
    }
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

// Which rows the correction takes by the engine computer's loop. Auto: both where the log has a
// wideband and a commanded mixture, closed loop only otherwise.
enum class LoopMode { Auto, Closed, Open, Both };

// How a mixture column reads: Auto by its role (or, for a column of no mixture role, by its
// values: 0.5 to 1.6 is a lambda).
enum class MixtureUnit { Auto, Afr, Lambda };

// The table's proposal after the estimates: which entries may move, and how far.
struct ProposalLimits {
    int minSamples = 10;   // at least 1
    double maxChange = 0;  // percent of the expected meter's flow at the old word; 0: no limit
    std::array<bool, kTableEntries> locked{};
};

struct CorrectionSettings {
    // The column of the signal the engine computer read (the box's output), or of the air mass
    // flow it computed from it; empty: by the columns' roles.
    ColumnRef signal;
    QList<ColumnRef> trims;  // added together, in percent; empty: by the columns' roles
    QList<LogFilter> filters;
    int minSamples = 10;    // at least 1
    double strength = 100;  // percent of each row's correction that is taken
    LogOptions log;         // how the logs write their numbers

    // Open loop: the rows' mixture as the wideband measured it against what the engine computer
    // commanded. Empty columns: by their roles.
    LoopMode mode = LoopMode::Auto;
    ColumnRef wideband;
    MixtureUnit widebandUnit = MixtureUnit::Auto;
    ColumnRef commanded;
    MixtureUnit commandedUnit = MixtureUnit::Auto;
    ColumnRef loop;            // the loop status
    double stoich = 14.7;      // the stoichiometric AFR of the fuel
    bool openLoopLtft = true;  // the long-term trims still apply in open loop
    double lagMs = 0;          // the wideband's value is taken from the row this much later
    double maxRate = 0;        // rows whose signal moves faster (per second) are transients; 0: off

    double maxChange = 0;  // see ProposalLimits
    std::array<bool, kTableEntries> locked{};

    ProposalLimits limits() const { return {minSamples, maxChange, locked}; }
};

enum class SignalKind { Volts, Hertz, MassFlow };

// A column as the correction takes it: its position, the text that names it (ColumnReference),
// and the scale into volts, hertz, grams a second, percent, AFR, lambda or seconds.
struct MappedColumn {
    int index = -1;  // -1: the log has none
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
    QList<bool> trimLong;         // per trim: a long-term one, which applies in open loop too
    bool trimsAsFactors = false;  // a trim's values were factors near 1.0, turned into percent
    QList<MappedFilter> filters;
    bool byRole = false;  // signal and trims were chosen by their roles, not named

    MappedColumn wideband;
    bool widebandLambda = false;
    MappedColumn commanded;
    bool commandedLambda = false;
    MappedColumn loop;
    MappedColumn time;  // in seconds; found only where the lag or the rate limit needs it
    LoopMode mode = LoopMode::Closed;  // Closed, Open or Both
};

// The columns settings name in layout, or those whose roles fit where settings name none. The
// signal is the table's kind (volts or hertz) or, where the log has none, the air mass flow.
// Refused, with the message for the user: a column the log does not have or that two columns
// could be, a signal of the other kind ("The log's signal 'MAF Hz' is in hertz; the table
// drives volts."), a volume flow, a log without a signal or a trim, a filter by number on a
// column of text, open-loop rows asked for in a log without a wideband or a commanded mixture,
// and a lag or a rate limit in a log without a time column.
bool MapLogColumns(const LogLayout& layout, const CorrectionSettings& settings, bool frequencyTable,
                   LogMapping& mapping, QString& error);

// Whether a row is in open loop: the status field when it says (ReadLoopState), else the
// commanded mixture (as a lambda, NaN when the row has none) richer than stoichiometric by more
// than 2 %; else closed loop.
bool IsOpenLoop(LoopState status, double commandedLambda);

enum class RowSkip { None, NotANumber, Filtered, OutsideMeter, OutsideTable };

// What one table entry got from the log.
struct EntryCorrection {
    double samples = 0;        // the sum of the weights the entry got
    double samplesClosed = 0;  // of them, from rows in closed loop
    double trimSum = 0;        // weight x the row's correction in percent (closed loop: the trims)
    double shiftSum = 0;       // weight x (signal wanted - signal read)
    // The median absolute deviation of the rows' corrections, in percent, all the rows that
    // reached the entry weighted by their share; NaN without samples.
    double spread = 0;
    uint16_t word = 0;
    uint16_t proposedWord = 0;
    // The entry had enough samples to be corrected and is not locked (its word may still come
    // out the same).
    bool corrected = false;
    bool held = false;     // moved to keep the table rising
    bool limited = false;  // held within the largest change
    bool locked = false;

    double samplesOpen() const { return samples - samplesClosed; }
    double meanTrim() const { return samples > 0 ? trimSum / samples : 0; }
};

// The rows of one log.
struct LogRows {
    QString path;
    qint64 rowsRead = 0;
    qint64 rowsUsed = 0;
};

// A used row as the scatter view draws it: the signal and the row's correction in percent.
struct ScatterPoint {
    float signal = 0;
    float correction = 0;
    bool open = false;
    bool outlier = false;  // left out of its entry's estimate
};

struct CorrectionReport {
    qint64 rowsRead = 0;
    qint64 rowsUsed = 0;
    qint64 rowsUsedClosed = 0;
    qint64 rowsUsedOpen = 0;
    qint64 notANumber = 0;
    qint64 filtered = 0;
    qint64 outsideMeter = 0;
    qint64 outsideTable = 0;
    qint64 widebandOutOfRange = 0;
    qint64 transient = 0;
    qint64 outlier = 0;
    int heldRising = 0;  // entries held to keep the table rising
    std::array<EntryCorrection, kTableEntries> entries{};
    std::array<double, kTableEntries> outputs{};  // each entry's output now, volts or hertz
    QList<LogRows> logs;
    LogMapping mapping;  // the first log's columns
    // The used rows (and the outliers), thinned to one a cell of a fine grid over signal and
    // correction: the view draws them; the estimates come from every row.
    std::vector<ScatterPoint> points;

    std::array<uint16_t, kTableEntries> proposedWords() const;
    // Entries whose proposed word differs from the word now.
    int changedEntries() const;
    int limitedEntries() const;
};

// The proposed words from the entries' estimates: an entry with at least minSamples that is not
// locked takes the mean shift of its rows; the others keep their words. Where the table now
// rises, the proposal rises too, pooled over adjacent entries weighted by their samples, the
// entries that keep their words held fixed; then each entry is held within maxChange of the
// expected meter's flow at its word. Sets each entry's proposedWord, corrected, held, limited
// and locked, and report.heldRising.
void ProposeWords(const MeterCurve& meter, bool frequency, const ProposalLimits& limits,
                  CorrectionReport& report);

// The rows' sums, one row at a time, in double precision. Rows in closed loop go straight into
// the sums; rows in open loop are kept sorted by their correction (in steps of 0.1 %) so that,
// at the end, those far from the rest of their entry's open-loop rows can be left out. Memory
// does not grow with the rows.
class CorrectionSums {
  public:
    CorrectionSums(const std::array<uint16_t, kTableEntries>& words, bool frequency,
                   const MeterCurve& meter, double strength);
    ~CorrectionSums();
    CorrectionSums(const CorrectionSums&) = delete;
    CorrectionSums& operator=(const CorrectionSums&) = delete;

    // A row whose fields were numbers and passed the filters: signal s, its correction t in
    // percent (closed loop: the trims summed; open loop: (c - 1) x 100 with c the row's flow
    // factor). log numbers the log for its own count of rows used.
    RowSkip add(double s, double t, bool open = false, int log = 0);
    // Keep the used rows (and outliers) for the scatter view.
    void keepPoints(bool on) { keepPoints_ = on; }

    // The estimates, with the open-loop rows that lie more than four median absolute deviations
    // from their entry's left out, then ProposeWords with limits.
    void finish(const ProposalLimits& limits, CorrectionReport& report) const;
    void finish(int minSamples, CorrectionReport& report) const {
        ProposalLimits l;
        l.minSamples = minSamples;
        finish(l, report);
    }
    // Rows used, closed and open loop, before outliers are left out.
    qint64 closedRows() const { return closedRows_; }
    qint64 openRows() const { return openRows_; }

    // The output of entry i in volts or hertz.
    double output(int i) const { return out_[size_t(i)]; }

  private:
    struct Open;
    const MeterCurve& meter_;
    bool frequency_;
    double strength_;
    bool keepPoints_ = false;
    std::array<uint16_t, kTableEntries> words_;
    std::array<double, kTableEntries> out_{};
    std::array<double, kTableEntries> weight_{};
    std::array<double, kTableEntries> trim_{};
    std::array<double, kTableEntries> shift_{};
    std::vector<double> closedSpread_;  // entry x step: the weight of closed-loop rows
    std::unique_ptr<Open> open_;        // made with the first open-loop row
    qint64 closedRows_ = 0;
    qint64 openRows_ = 0;
    struct Point {
        float signal;
        float correction;
        int8_t entry;  // the nearest entry of an open-loop row; -1 in closed loop
        int16_t step;
    };
    std::vector<Point> points_;
    std::vector<uint64_t> pointCells_;  // a bit for each cell of the grid that has a point
    double pointLow_ = 0;
    double pointHigh_ = 0;
};

// Everything a correction needs, copied: it may run on another thread.
struct CorrectionInput {
    QStringList logPaths;  // their rows are pooled
    std::array<uint16_t, kTableEntries> words{};
    bool frequency = false;
    MeterCurve meter;
    CorrectionSettings settings;
    bool keepPoints = false;  // for the scatter view
};

struct CorrectionResult {
    bool ok = false;
    bool cancelled = false;
    QString error;  // the message for the user when not ok and not cancelled
    CorrectionReport report;
};

// The rows of several logs pooled into one correction, one log at a time (CorrectFromLog runs
// it on files; a test may hand it any device).
class CorrectionRun {
  public:
    explicit CorrectionRun(const CorrectionInput& input);
    ~CorrectionRun();
    CorrectionRun(const CorrectionRun&) = delete;
    CorrectionRun& operator=(const CorrectionRun&) = delete;

    // Reads log, opened and at its first row, to its end. progress, when set, is called now and
    // then with the bytes read of this log; returning false cancels the run. False on a refusal
    // or a read error (the message in error) or when cancelled (error empty).
    bool read(LogReader& log, const QString& path, const std::function<bool(qint64)>& progress,
              QString& error);
    // The result after the last log: a run that used no row fails with its main reason ("No
    // row of the log was used: 4,235 rows had no number in 'MAF V'.").
    CorrectionResult finish();

  private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

// Reads each log through once. progress, when set, is called now and then with the bytes read
// and the logs' size; returning false cancels the run. Thread-safe: touches nothing shared.
CorrectionResult CorrectFromLog(const CorrectionInput& input,
                                const std::function<bool(qint64, qint64)>& progress = {});

}  // namespace varnel

#include "log_correction.h"

#include "log/log_channels.h"
#include "log/log_reader.h"
#include "log/log_text.h"

#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

namespace varnel {

namespace {

// Linear interpolation of ys over xs (strictly rising) at x; false outside xs.
bool interpolate(const std::vector<double>& xs, const std::vector<double>& ys, double x,
                 double& y) {
    if (xs.size() < 2 || !(x >= xs.front() && x <= xs.back())) return false;
    const auto hi = std::upper_bound(xs.begin(), xs.end(), x);
    if (hi == xs.end()) {
        y = ys.back();
        return true;
    }
    const size_t k = size_t(hi - xs.begin());
    y = ys[k - 1] + (x - xs[k - 1]) * (ys[k] - ys[k - 1]) / (xs[k] - xs[k - 1]);
    return true;
}

}  // namespace

bool MeterCurve::flowAt(double s, double& f) const {
    return interpolate(signal, flow, s, f);
}

bool MeterCurve::signalAt(double f, double& s) const {
    return interpolate(flow, signal, f, s);
}

double MeterCurve::flowOfGrams(double gramsPerSecond) const {
    // 3600 s an hour; a pound is 453.59237 g exactly.
    const double kilogramsPerHour = gramsPerSecond * 3.6;
    return kilograms ? kilogramsPerHour : kilogramsPerHour / 0.45359237;
}

bool MeterCurveOf(const TMeterRecord& record, const QString& path, bool tableIsFrequency,
                  MeterCurve& curve, QString& error) {
    error.clear();
    const bool meterIsFrequency = record.Frequency() != 0;
    if (meterIsFrequency != tableIsFrequency) {
        error = meterIsFrequency ? QStringLiteral("The meter reads hertz; the table drives volts.")
                                 : QStringLiteral("The meter reads volts; the table drives hertz.");
        return false;
    }
    if (!CheckMeterTexts(record, path, error)) return false;
    const int n = record.usableRows();
    std::vector<std::pair<double, double>> points;
    for (int row = 1; row <= n; ++row) {
        double s = 0;
        double f = 0;
        MeterTextToNumber(record.SignalText(row), s);
        MeterTextToNumber(record.FlowText(row), f);
        points.emplace_back(s, f);
    }
    // The editor keeps its rows in signal order; a file written otherwise is read as if it had.
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    bool rising = points.size() >= 2;
    for (size_t k = 1; k < points.size() && rising; ++k)
        rising = points[k].first > points[k - 1].first && points[k].second > points[k - 1].second;
    if (!rising) {
        error = QStringLiteral("The meter's flows do not rise with its signal.");
        return false;
    }
    curve = MeterCurve();
    curve.kilograms = record.Metric() != 0;
    for (const auto& [s, f] : points) {
        curve.signal.push_back(s);
        curve.flow.push_back(f);
    }
    return true;
}

namespace {

QString volumeFlowMessage(const QString& name) {
    return QStringLiteral(
               "The log's air flow '%1' is a volume (cfm): without the air density its logger "
               "assumed it gives no mass. Log the mass air flow (g/s) instead.")
        .arg(name);
}

bool resolve(const LogLayout& layout, const ColumnRef& ref, MappedColumn& column, QString& error) {
    int index = -1;
    if (ref.index >= 0 && ref.index < layout.columnCount() &&
        (ref.name.isEmpty() || ColumnReference(layout, ref.index) == ref.name))
        index = ref.index;
    else
        index = FindColumn(layout, ref.name, error);
    if (index < 0 && ref.role != LogRole::None && layout.firstWithRole(ref.role) >= 0) {
        index = layout.firstWithRole(ref.role);
        error.clear();
    }
    if (index < 0) return false;
    column.index = index;
    column.name = ColumnReference(layout, index);
    column.scale = UnitScale();
    return true;
}

MappedColumn mapped(const LogLayout& layout, int index) {
    return {index, ColumnReference(layout, index), layout.columns[index].scale};
}

}  // namespace

bool IsOpenLoop(LoopState status, double commandedLambda) {
    if (status != LoopState::Unknown) return status == LoopState::Open;
    // Richer than stoichiometric by more than 2 %: enrichment, not the closed loop's dither.
    return commandedLambda < 0.98;
}

namespace {

bool isLambdaRole(LogRole role) {
    return role == LogRole::Lambda || role == LogRole::LambdaTarget;
}

bool isMixtureRole(LogRole role) {
    return isLambdaRole(role) || role == LogRole::Afr || role == LogRole::AfrTarget;
}

// A mixture column: the one named, or the first of the roles (in the order given) that the log
// has; none when the settings say so. Its unit from the settings, its role or its values.
bool mixtureColumn(const LogLayout& layout, const ColumnRef& ref, MixtureUnit unit,
                   std::initializer_list<LogRole> roles, MappedColumn& column, bool& lambda,
                   QString& error) {
    column = MappedColumn();
    lambda = false;
    if (ref.none) return true;
    if (!ref.empty()) {
        if (!resolve(layout, ref, column, error)) {
            if (!ref.optional) return false;
            error.clear();
            column = MappedColumn();
            return true;
        }
    } else {
        for (const LogRole role : roles)
            if (const int i = layout.firstWithRole(role); i >= 0 && column.index < 0)
                column = mapped(layout, i);
        if (column.index < 0) return true;
    }
    const LogColumn& c = layout.columns[column.index];
    if (isMixtureRole(c.role)) column.scale = c.scale;
    if (unit != MixtureUnit::Auto)
        lambda = unit == MixtureUnit::Lambda;
    else if (isMixtureRole(c.role))
        lambda = isLambdaRole(c.role);
    else
        lambda = c.sample.numbers > 0 && c.sample.min >= 0.5 && c.sample.max <= 1.6;
    return true;
}

}  // namespace

bool MapLogColumns(const LogLayout& layout, const CorrectionSettings& settings, bool frequencyTable,
                   LogMapping& mapping, QString& error) {
    error.clear();
    mapping = LogMapping();
    const LogRole wanted = frequencyTable ? LogRole::SignalHertz : LogRole::SignalVolts;
    const LogRole other = frequencyTable ? LogRole::SignalVolts : LogRole::SignalHertz;
    auto wrongKind = [&](int index) {
        return QStringLiteral("The log's signal '%1' is in %2; the table drives %3.")
            .arg(ColumnReference(layout, index),
                 frequencyTable ? QStringLiteral("volts") : QStringLiteral("hertz"),
                 frequencyTable ? QStringLiteral("hertz") : QStringLiteral("volts"));
    };
    const SignalKind tableKind = frequencyTable ? SignalKind::Hertz : SignalKind::Volts;
    if (!settings.signal.empty()) {
        if (!resolve(layout, settings.signal, mapping.signal, error)) return false;
        const LogColumn& c = layout.columns[mapping.signal.index];
        mapping.signalKind = tableKind;
        if (c.role == LogRole::MassFlow) {
            mapping.signalKind = SignalKind::MassFlow;
            mapping.signal.scale = c.scale;
        } else if (c.role == LogRole::VolumeFlow) {
            error = volumeFlowMessage(mapping.signal.name);
            return false;
        } else if (c.role == other) {
            error = wrongKind(mapping.signal.index);
            return false;
        } else if (c.role == wanted) {
            mapping.signal.scale = c.scale;
        }
    } else {
        mapping.byRole = true;
        if (const int s = layout.firstWithRole(wanted); s >= 0) {
            mapping.signal = mapped(layout, s);
            mapping.signalKind = tableKind;
        } else if (const int f = layout.firstWithRole(LogRole::MassFlow); f >= 0) {
            mapping.signal = mapped(layout, f);
            mapping.signalKind = SignalKind::MassFlow;
        } else if (const int v = layout.firstWithRole(LogRole::VolumeFlow); v >= 0) {
            error = volumeFlowMessage(ColumnReference(layout, v));
            return false;
        } else if (const int o = layout.firstWithRole(other); o >= 0) {
            error = wrongKind(o);
            return false;
        } else {
            error = QStringLiteral(
                "The log has no column that holds the meter's signal or the air mass flow.");
            return false;
        }
    }

    if (!settings.trims.isEmpty()) {
        for (const ColumnRef& ref : settings.trims) {
            MappedColumn t;
            if (!resolve(layout, ref, t, error)) return false;
            const LogColumn& c = layout.columns[t.index];
            QString note;
            if (c.role == LogRole::TrimShort || c.role == LogRole::TrimLong)
                t.scale = c.scale;
            else if (!ReadAsTrim(c, t.scale, note))
                t.scale = UnitScale();
            mapping.trims.append(t);
        }
    } else {
        mapping.byRole = true;
        for (const LogRole role : {LogRole::TrimShort, LogRole::TrimLong})
            if (const int t = layout.firstWithRole(role); t >= 0)
                mapping.trims.append(mapped(layout, t));
        if (mapping.trims.isEmpty()) {
            error = QStringLiteral("The log has no fuel trim column.");
            return false;
        }
    }
    for (const MappedColumn& t : mapping.trims) {
        mapping.trimsAsFactors = mapping.trimsAsFactors || t.scale == UnitScale{100, -100};
        mapping.trimLong.append(layout.columns[t.index].role == LogRole::TrimLong);
    }

    for (const LogFilter& f : settings.filters) {
        MappedFilter m;
        if (!resolve(layout, f.column, m.column, error)) return false;
        const LogColumn& c = layout.columns[m.column.index];
        m.text = f.text;
        m.min = f.min;
        m.max = f.max;
        m.pattern = layout.latin1 ? f.pattern.toLatin1() : f.pattern.toUtf8();
        if (!f.text && c.sample.numbers == 0 && c.sample.texts > 0) {
            error = QStringLiteral(
                        "The column '%1' holds text, not numbers: filter it by its text "
                        "('%2=PATTERN').")
                        .arg(m.column.name, m.column.name);
            return false;
        }
        mapping.filters.append(m);
    }

    // The loop: its status, the commanded mixture and the wideband's. A wideband in the
    // commanded mixture's unit is preferred: the stoichiometric ratio then plays no part.
    if (!settings.loop.none) {
        if (!settings.loop.empty()) {
            if (!resolve(layout, settings.loop, mapping.loop, error)) {
                if (!settings.loop.optional) return false;
                error.clear();
                mapping.loop = MappedColumn();
            }
        } else if (const int l = layout.firstWithRole(LogRole::Loop); l >= 0) {
            mapping.loop = mapped(layout, l);
        }
    }
    if (!mixtureColumn(layout, settings.commanded, settings.commandedUnit,
                       {LogRole::AfrTarget, LogRole::LambdaTarget}, mapping.commanded,
                       mapping.commandedLambda, error))
        return false;
    const bool lambdaFirst = mapping.commanded.index >= 0 && mapping.commandedLambda;
    if (!mixtureColumn(layout, settings.wideband, settings.widebandUnit,
                       {lambdaFirst ? LogRole::Lambda : LogRole::Afr,
                        lambdaFirst ? LogRole::Afr : LogRole::Lambda},
                       mapping.wideband, mapping.widebandLambda, error))
        return false;
    const bool openPossible = mapping.wideband.index >= 0 && mapping.commanded.index >= 0;
    mapping.mode = settings.mode;
    if (mapping.mode == LoopMode::Auto)
        mapping.mode = openPossible ? LoopMode::Both : LoopMode::Closed;
    if (mapping.mode != LoopMode::Closed && mapping.wideband.index < 0) {
        error = QStringLiteral(
            "The log has no wideband column (AFR or lambda): the open-loop rows need one.");
        return false;
    }
    if (mapping.mode != LoopMode::Closed && mapping.commanded.index < 0) {
        error = QStringLiteral(
            "The log has no commanded AFR or lambda column: the open-loop rows need one.");
        return false;
    }
    if (settings.lagMs > 0 || settings.maxRate > 0) {
        const int t = layout.firstWithRole(LogRole::Time);
        if (t < 0) {
            error = QStringLiteral(
                "The log has no time column: the wideband's lag and the rate limit need one.");
            return false;
        }
        mapping.time = mapped(layout, t);
    }
    return true;
}

namespace {

// Why no row was used: the largest of the reasons rows were skipped.
struct NoRowReasons {
    int logs = 0;
    qint64 rowsRead = 0;
    QMap<QString, qint64> noNumber;
    qint64 wrongFields = 0;
    QMap<QString, qint64> filtered;
    qint64 closedByMode = 0;  // rows in closed loop that the mode left out
    qint64 openByMode = 0;
    qint64 outsideMeter = 0;
    qint64 outsideTable = 0;
    qint64 widebandOutOfRange = 0;
    bool widebandLambda = false;
    qint64 transient = 0;
};

QString noRowMessage(const NoRowReasons& r) {
    const QString start = r.logs > 1 ? QStringLiteral("No row of the logs was used: ")
                                     : QStringLiteral("No row of the log was used: ");
    if (r.rowsRead == 0)
        return start + (r.logs > 1 ? QStringLiteral("they have no rows.")
                                   : QStringLiteral("it has no rows."));
    qint64 most = 0;
    QString reason;
    auto rows = [](qint64 n, const char* one, const char* many) {
        return GroupedCount(n) + QLatin1Char(' ') + QLatin1String(n == 1 ? one : many);
    };
    auto consider = [&](qint64 n, const QString& text) {
        if (n > most) {
            most = n;
            reason = text;
        }
    };
    for (auto it = r.noNumber.cbegin(); it != r.noNumber.cend(); ++it)
        consider(*it, rows(*it, "row had", "rows had") +
                          QStringLiteral(" no number in '%1'.").arg(it.key()));
    consider(r.wrongFields, rows(r.wrongFields, "row had", "rows had") +
                                QStringLiteral(" the wrong number of fields."));
    for (auto it = r.filtered.cbegin(); it != r.filtered.cend(); ++it)
        consider(*it, rows(*it, "row was", "rows were") +
                          QStringLiteral(" left out by the filter on '%1'.").arg(it.key()));
    consider(r.openByMode, rows(r.openByMode, "row was", "rows were") +
                               QStringLiteral(" in open loop, which the mode leaves out."));
    consider(r.closedByMode, rows(r.closedByMode, "row was", "rows were") +
                                 QStringLiteral(" in closed loop, which the mode leaves out."));
    consider(r.outsideMeter,
             rows(r.outsideMeter, "row lay", "rows lay") + QStringLiteral(" outside the meter."));
    consider(r.outsideTable,
             rows(r.outsideTable, "row lay", "rows lay") + QStringLiteral(" outside the table."));
    consider(r.widebandOutOfRange,
             rows(r.widebandOutOfRange, "row's wideband lay", "rows' wideband lay") +
                 (r.widebandLambda ? QStringLiteral(" outside 0.6 to 1.4 lambda.")
                                   : QStringLiteral(" outside 9 to 20 AFR.")));
    consider(r.transient, rows(r.transient, "row was a transient", "rows were transients") +
                              QStringLiteral(" (the signal moved faster than the rate limit)."));
    return start + reason;
}

// A row in open loop whose wideband value is to come from a later row.
struct Pending {
    double wanted;   // the time of the wideband value, in seconds
    double s;        // the signal
    double partial;  // its flow factor over the measured lambda
};

// Rows that wait for their wideband value beyond this many (a time column that does not move)
// are given none.
constexpr size_t kMaxPending = 1 << 16;

}  // namespace

struct CorrectionRun::Impl {
    CorrectionInput input;
    CorrectionSums sums;
    CorrectionResult result;
    NoRowReasons why;

    explicit Impl(const CorrectionInput& in)
        : input(in), sums(input.words, input.frequency, input.meter, input.settings.strength) {
        sums.keepPoints(input.keepPoints);
    }
};

CorrectionRun::CorrectionRun(const CorrectionInput& input) : d_(std::make_unique<Impl>(input)) {}

CorrectionRun::~CorrectionRun() = default;

bool CorrectionRun::read(LogReader& log, const QString& path,
                         const std::function<bool(qint64)>& progress, QString& error) {
    const CorrectionInput& input = d_->input;
    const CorrectionSettings& set = input.settings;
    CorrectionReport& rep = d_->result.report;
    NoRowReasons& why = d_->why;
    CorrectionSums& sums = d_->sums;
    const int logIndex = int(rep.logs.size());
    error.clear();
    LogMapping m;
    if (!MapLogColumns(log.layout(), set, input.frequency, m, error)) return false;
    if (logIndex == 0) {
        rep.mapping = m;
        why.widebandLambda = m.widebandLambda;
    }
    LogRows counts;
    counts.path = path;
    const char decimal = log.layout().decimal;
    const size_t fieldCount = size_t(log.columnCount());
    const size_t trimCount = size_t(m.trims.size());
    const size_t filterCount = size_t(m.filters.size());
    const bool lagged = m.mode != LoopMode::Closed && set.lagMs > 0;
    const bool needTime = set.lagMs > 0 || set.maxRate > 0;
    const double lag = set.lagMs / 1000;
    const double stoich = set.stoich > 0 ? set.stoich : 14.7;
    // The rows each column had no number in: the signal, the trims, the filters, then the time,
    // the commanded mixture and the wideband.
    const size_t timeAt = 1 + trimCount + filterCount;
    std::vector<qint64> missing(timeAt + 3, 0);
    std::vector<qint64> filtered(filterCount, 0);
    std::vector<std::string_view> fields;
    fields.reserve(fieldCount + 1);

    // A mixture field as a lambda.
    auto lambdaOf = [&](const MappedColumn& c, bool isLambda, std::string_view field,
                        double& value) {
        if (!log.number(field, value)) return false;
        value = c.scale.apply(value);
        if (!isLambda) value /= stoich;
        return std::isfinite(value);
    };
    auto added = [&](RowSkip skip) {
        switch (skip) {
            case RowSkip::None:
                ++counts.rowsUsed;
                break;
            case RowSkip::OutsideMeter:
                ++rep.outsideMeter;
                break;
            case RowSkip::OutsideTable:
                ++rep.outsideTable;
                break;
            case RowSkip::NotANumber:
            case RowSkip::Filtered:
                break;
        }
    };
    // A row in open loop with its measured lambda: the wideband's range, then the sums.
    auto addOpen = [&](double s, double partial, double measured) {
        const double wide = m.widebandLambda ? measured : measured * stoich;
        const bool inRange =
            m.widebandLambda ? wide >= 0.6 && wide <= 1.4 : wide >= 9 && wide <= 20;
        if (!inRange) {
            ++rep.widebandOutOfRange;
            ++why.widebandOutOfRange;
            return;
        }
        added(sums.add(s, (partial * measured - 1) * 100, true, logIndex));
    };

    // The wideband lags the air: a row waits for the value logged lag seconds after it, taken
    // from the nearer of the two rows around that time. Rows wait in time order, so the queue
    // holds no more than the rows of one lag.
    std::deque<Pending> pending;
    struct Sample {
        bool valid = false;  // a row with a time
        double time = 0;
        bool number = false;  // its wideband was a number
        double lambda = 0;
    } last;
    auto noLaterValue = [&] {
        ++rep.notANumber;
        ++missing[timeAt + 2];
    };
    auto takeWideband = [&](double time, bool number, double lambda) {
        if (last.valid && time < last.time) {
            // The time went back (a log that starts over): nothing later is to come.
            for (size_t k = 0; k < pending.size(); ++k) noLaterValue();
            pending.clear();
        }
        while (!pending.empty() && pending.front().wanted <= time) {
            const Pending p = pending.front();
            pending.pop_front();
            const bool earlier = last.valid && p.wanted - last.time < time - p.wanted;
            if (earlier ? last.number : number)
                addOpen(p.s, p.partial, earlier ? last.lambda : lambda);
            else
                noLaterValue();
        }
        last = {true, time, number, lambda};
    };

    // The signal's last value and time, for its rate of change.
    bool havePrevious = false;
    double previousTime = 0;
    double previousSignal = 0;

    while (log.next(fields)) {
        ++counts.rowsRead;
        if ((counts.rowsRead & 0x3FFF) == 0 && progress && !progress(log.bytesRead())) {
            d_->result.cancelled = true;
            return false;
        }
        if (fields.size() != fieldCount) {
            ++rep.notANumber;
            ++why.wrongFields;
            continue;
        }
        double commanded = std::numeric_limits<double>::quiet_NaN();
        if (m.commanded.index >= 0 &&
            !lambdaOf(m.commanded, m.commandedLambda, fields[size_t(m.commanded.index)], commanded))
            commanded = std::numeric_limits<double>::quiet_NaN();
        const LoopState status = m.loop.index >= 0
                                     ? ReadLoopState(fields[size_t(m.loop.index)], decimal)
                                     : LoopState::Unknown;
        const bool open = IsOpenLoop(status, commanded);

        double time = 0;
        bool haveTime = needTime && log.number(fields[size_t(m.time.index)], time);
        if (haveTime) {
            time = m.time.scale.apply(time);
            haveTime = std::isfinite(time);
        }
        if (lagged && haveTime) {
            double measured = 0;
            const bool number =
                lambdaOf(m.wideband, m.widebandLambda, fields[size_t(m.wideband.index)], measured);
            takeWideband(time, number, measured);
            if (pending.size() > kMaxPending) {
                pending.pop_front();
                noLaterValue();
            }
        }
        double s = 0;
        const bool haveSignal = log.number(fields[size_t(m.signal.index)], s);
        bool inMeter = true;
        if (haveSignal) {
            s = m.signal.scale.apply(s);
            if (m.signalKind == SignalKind::MassFlow)
                inMeter = input.meter.signalAt(input.meter.flowOfGrams(s), s);
        }
        bool transient = false;
        if (set.maxRate > 0 && haveSignal && haveTime && inMeter) {
            if (havePrevious && time >= previousTime) {
                const double moved = std::abs(s - previousSignal);
                transient =
                    time > previousTime ? moved / (time - previousTime) > set.maxRate : moved > 0;
            }
            havePrevious = true;
            previousTime = time;
            previousSignal = s;
        }

        if (open ? m.mode == LoopMode::Closed : m.mode == LoopMode::Open) {
            ++rep.filtered;
            ++(open ? why.openByMode : why.closedByMode);
            continue;
        }
        bool numbers = haveSignal;
        if (!numbers) ++missing[0];
        double t = 0;  // the trims that apply: all in closed loop, the long-term ones in open
        for (size_t j = 0; numbers && j < trimCount; ++j) {
            if (open && !(set.openLoopLtft && m.trimLong[qsizetype(j)])) continue;
            const MappedColumn& c = m.trims[qsizetype(j)];
            double v = 0;
            numbers = log.number(fields[size_t(c.index)], v);
            if (!numbers) ++missing[1 + j];
            t += c.scale.apply(v);
        }
        int failing = -1;
        for (size_t j = 0; numbers && j < filterCount; ++j) {
            const MappedFilter& f = m.filters[qsizetype(j)];
            const std::string_view field = fields[size_t(f.column.index)];
            bool passes = false;
            if (f.text) {
                passes = TextMatches(
                    field, std::string_view(f.pattern.constData(), size_t(f.pattern.size())));
            } else {
                double v = 0;
                numbers = log.number(field, v);
                if (!numbers) ++missing[1 + trimCount + j];
                passes = v >= f.min && v <= f.max;
            }
            if (!passes && failing < 0) failing = int(j);
        }
        if (numbers && needTime && !haveTime) {
            numbers = false;
            ++missing[timeAt];
        }
        double measured = 0;
        if (numbers && open && !(commanded > 0)) {
            numbers = false;
            ++missing[timeAt + 1];
        }
        if (numbers && open && !lagged &&
            !lambdaOf(m.wideband, m.widebandLambda, fields[size_t(m.wideband.index)], measured)) {
            numbers = false;
            ++missing[timeAt + 2];
        }
        if (!numbers) {
            ++rep.notANumber;
            continue;
        }
        if (failing >= 0) {
            ++rep.filtered;
            ++filtered[size_t(failing)];
            continue;
        }
        if (!inMeter) {
            ++rep.outsideMeter;
            continue;
        }
        if (transient) {
            ++rep.transient;
            ++why.transient;
            continue;
        }
        if (!open) {
            added(sums.add(s, t, false, logIndex));
        } else if (lagged) {
            pending.push_back({time + lag, s, (1 + t / 100) / commanded});
        } else {
            addOpen(s, (1 + t / 100) / commanded, measured);
        }
    }
    // The last rows' wideband values were never logged.
    for (size_t k = 0; k < pending.size(); ++k) noLaterValue();
    if (log.failed()) {
        error = QStringLiteral("Error reading ") + path;
        return false;
    }
    rep.rowsRead += counts.rowsRead;
    rep.logs.append(counts);
    why.rowsRead = rep.rowsRead;
    ++why.logs;
    why.noNumber[m.signal.name] += missing[0];
    for (size_t j = 0; j < trimCount; ++j)
        why.noNumber[m.trims[qsizetype(j)].name] += missing[1 + j];
    for (size_t j = 0; j < filterCount; ++j) {
        const QString& name = m.filters[qsizetype(j)].column.name;
        why.noNumber[name] += missing[1 + trimCount + j];
        why.filtered[name] += filtered[j];
    }
    const MappedColumn* more[] = {&m.time, &m.commanded, &m.wideband};
    for (size_t k = 0; k < 3; ++k)
        if (more[k]->index >= 0 && missing[timeAt + k] > 0)
            why.noNumber[more[k]->name] += missing[timeAt + k];
    why.outsideMeter = rep.outsideMeter;
    why.outsideTable = rep.outsideTable;
    return true;
}

CorrectionResult CorrectionRun::finish() {
    CorrectionResult& result = d_->result;
    if (d_->sums.closedRows() + d_->sums.openRows() == 0) {
        result.error = noRowMessage(d_->why);
        return result;
    }
    d_->sums.finish(d_->input.settings.limits(), result.report);
    result.ok = true;
    return result;
}

CorrectionResult CorrectFromLog(const CorrectionInput& input,
                                const std::function<bool(qint64, qint64)>& progress) {
    CorrectionResult failed;
    qint64 total = 0;
    for (const QString& path : input.logPaths) total += QFileInfo(path).size();
    qint64 before = 0;
    if (progress && !progress(0, total)) {
        failed.cancelled = true;
        return failed;
    }
    CorrectionRun run(input);
    for (const QString& path : input.logPaths) {
        LogReader log;
        QString error;
        const auto step = [&](qint64 bytes) {
            return !progress || progress(before + bytes, total);
        };
        if (!log.open(path, input.settings.log, error) || !run.read(log, path, step, error)) {
            if (error.isEmpty()) {
                failed.cancelled = true;
                return failed;
            }
            if (input.logPaths.size() > 1 && !error.contains(path))
                error += QStringLiteral(" (%1)").arg(path);
            failed.error = error;
            return failed;
        }
        before += log.size();
    }
    CorrectionResult result = run.finish();
    if (result.ok && progress) progress(total, total);
    return result;
}

}  // namespace varnel

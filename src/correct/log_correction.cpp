#include "log_correction.h"

#include "log/log_channels.h"
#include "log/log_reader.h"
#include "log/log_text.h"

#include <QFileInfo>
#include <QMap>

#include <algorithm>
#include <cmath>

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

std::array<uint16_t, kTableEntries> CorrectionReport::proposedWords() const {
    std::array<uint16_t, kTableEntries> words{};
    for (size_t i = 0; i < words.size(); ++i) words[i] = entries[i].proposedWord;
    return words;
}

int CorrectionReport::changedEntries() const {
    return int(std::count_if(entries.begin(), entries.end(),
                             [](const EntryCorrection& e) { return e.proposedWord != e.word; }));
}

CorrectionSums::CorrectionSums(const std::array<uint16_t, kTableEntries>& words, bool frequency,
                               const MeterCurve& meter, double strength)
    : meter_(meter), frequency_(frequency), strength_(strength), words_(words) {
    for (size_t i = 0; i < words.size(); ++i)
        out_[i] = frequency ? words[i] * 2.88 : words[i] / 204.8;
}

RowSkip CorrectionSums::add(double s, double t) {
    double f = 0;
    if (!meter_.flowAt(s, f)) return RowSkip::OutsideMeter;
    const double wanted = f * (1 + (strength_ / 100) * t / 100);
    double s2 = 0;
    if (!meter_.signalAt(wanted, s2)) return RowSkip::OutsideMeter;
    // The first rising step of the table that holds the signal: the box's input lay there.
    int i = 0;
    while (i < kTableEntries - 1 && !(out_[i] < out_[i + 1] && out_[i] <= s && s <= out_[i + 1]))
        ++i;
    if (i == kTableEntries - 1) return RowSkip::OutsideTable;
    const double a = (s - out_[i]) / (out_[i + 1] - out_[i]);
    const double d = s2 - s;
    weight_[i] += 1 - a;
    shift_[i] += (1 - a) * d;
    trim_[i] += (1 - a) * t;
    weight_[i + 1] += a;
    shift_[i + 1] += a * d;
    trim_[i + 1] += a * t;
    return RowSkip::None;
}

void CorrectionSums::finish(int minSamples, CorrectionReport& report) const {
    for (size_t j = 0; j < words_.size(); ++j) {
        EntryCorrection& e = report.entries[j];
        e.samples = weight_[j];
        e.trimSum = trim_[j];
        e.shiftSum = shift_[j];
        e.word = words_[j];
        e.proposedWord = words_[j];
        // The weights are sums of fractions: five rows each giving 0.2 add up to a hair under
        // one, and they are meant as one sample.
        e.corrected = weight_[j] > 0 && weight_[j] >= minSamples - 1e-9;
        if (!e.corrected) continue;
        const double o = out_[j] + shift_[j] / weight_[j];
        const long double w = frequency_ ? o / 2.88L : o * 204.8L;
        e.proposedWord = static_cast<uint16_t>(std::clamp(RoundEven(w), 0, 1023));
    }
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
    for (const MappedColumn& t : mapping.trims)
        mapping.trimsAsFactors = mapping.trimsAsFactors || t.scale == UnitScale{100, -100};

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
    return true;
}

namespace {

// Why no row was used: the largest of the reasons rows were skipped.
QString noRowMessage(int logs, qint64 rowsRead, const QMap<QString, qint64>& noNumber,
                     qint64 wrongFields, const QMap<QString, qint64>& filtered, qint64 outsideMeter,
                     qint64 outsideTable) {
    const QString start = logs > 1 ? QStringLiteral("No row of the logs was used: ")
                                   : QStringLiteral("No row of the log was used: ");
    if (rowsRead == 0)
        return start + (logs > 1 ? QStringLiteral("they have no rows.")
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
    for (auto it = noNumber.cbegin(); it != noNumber.cend(); ++it)
        consider(*it, rows(*it, "row had", "rows had") +
                          QStringLiteral(" no number in '%1'.").arg(it.key()));
    consider(wrongFields, rows(wrongFields, "row had", "rows had") +
                              QStringLiteral(" the wrong number of fields."));
    for (auto it = filtered.cbegin(); it != filtered.cend(); ++it)
        consider(*it, rows(*it, "row was", "rows were") +
                          QStringLiteral(" left out by the filter on '%1'.").arg(it.key()));
    consider(outsideMeter,
             rows(outsideMeter, "row lay", "rows lay") + QStringLiteral(" outside the meter."));
    consider(outsideTable,
             rows(outsideTable, "row lay", "rows lay") + QStringLiteral(" outside the table."));
    return start + reason;
}

}  // namespace

CorrectionResult CorrectFromLog(const CorrectionInput& input,
                                const std::function<bool(qint64, qint64)>& progress) {
    CorrectionResult result;
    const CorrectionSettings& set = input.settings;
    CorrectionSums sums(input.words, input.frequency, input.meter, set.strength);
    CorrectionReport& rep = result.report;
    qint64 total = 0;
    for (const QString& path : input.logPaths) total += QFileInfo(path).size();
    qint64 before = 0;
    if (progress && !progress(0, total)) {
        result.cancelled = true;
        return result;
    }
    QMap<QString, qint64> noNumber;
    QMap<QString, qint64> filteredBy;
    qint64 wrongFields = 0;
    for (qsizetype k = 0; k < input.logPaths.size(); ++k) {
        const QString& path = input.logPaths[k];
        LogReader log;
        LogMapping m;
        if (!log.open(path, set.log, result.error) ||
            !MapLogColumns(log.layout(), set, input.frequency, m, result.error)) {
            if (input.logPaths.size() > 1 && !result.error.contains(path))
                result.error += QStringLiteral(" (%1)").arg(path);
            return result;
        }
        if (k == 0) rep.mapping = m;
        LogRows counts;
        counts.path = path;
        const size_t fieldCount = size_t(log.columnCount());
        const size_t trimCount = size_t(m.trims.size());
        const size_t filterCount = size_t(m.filters.size());
        // The rows each column had no number in: the signal, the trims, the filters.
        std::vector<qint64> missing(1 + trimCount + filterCount, 0);
        std::vector<qint64> filtered(filterCount, 0);
        std::vector<std::string_view> fields;
        fields.reserve(fieldCount + 1);
        while (log.next(fields)) {
            ++counts.rowsRead;
            if ((counts.rowsRead & 0x3FFF) == 0 && progress &&
                !progress(before + log.bytesRead(), total)) {
                result.cancelled = true;
                return result;
            }
            if (fields.size() != fieldCount) {
                ++rep.notANumber;
                ++wrongFields;
                continue;
            }
            double s = 0;
            double t = 0;
            bool numbers = log.number(fields[size_t(m.signal.index)], s);
            if (!numbers) ++missing[0];
            for (size_t j = 0; numbers && j < trimCount; ++j) {
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
            if (!numbers) {
                ++rep.notANumber;
                continue;
            }
            if (failing >= 0) {
                ++rep.filtered;
                ++filtered[size_t(failing)];
                continue;
            }
            s = m.signal.scale.apply(s);
            if (m.signalKind == SignalKind::MassFlow &&
                !input.meter.signalAt(input.meter.flowOfGrams(s), s)) {
                ++rep.outsideMeter;
                continue;
            }
            switch (sums.add(s, t)) {
                case RowSkip::None:
                    ++rep.rowsUsed;
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
        }
        if (log.failed()) {
            result.error = QStringLiteral("Error reading ") + path;
            return result;
        }
        rep.rowsRead += counts.rowsRead;
        rep.logs.append(counts);
        before += log.size();
        noNumber[m.signal.name] += missing[0];
        for (size_t j = 0; j < trimCount; ++j)
            noNumber[m.trims[qsizetype(j)].name] += missing[1 + j];
        for (size_t j = 0; j < filterCount; ++j) {
            const QString& name = m.filters[qsizetype(j)].column.name;
            noNumber[name] += missing[1 + trimCount + j];
            filteredBy[name] += filtered[j];
        }
    }
    if (rep.rowsUsed == 0) {
        result.error = noRowMessage(int(input.logPaths.size()), rep.rowsRead, noNumber, wrongFields,
                                    filteredBy, rep.outsideMeter, rep.outsideTable);
        return result;
    }
    sums.finish(std::max(1, set.minSamples), rep);
    if (progress) progress(total, total);
    result.ok = true;
    return result;
}

}  // namespace varnel

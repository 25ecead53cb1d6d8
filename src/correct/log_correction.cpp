#include "log_correction.h"

#include "correct/datalog.h"

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

CorrectionResult CorrectFromLog(const CorrectionInput& input,
                                const std::function<bool(qint64, qint64)>& progress) {
    CorrectionResult result;
    DatalogReader log;
    if (!log.open(input.logPath, result.error)) return result;

    const CorrectionSettings& set = input.settings;
    auto column = [&](const QString& name, int& index) {
        index = log.columnIndex(name);
        if (index < 0 && result.error.isEmpty()) result.error = NoColumnMessage(name);
        return index >= 0;
    };
    int signal = -1;
    column(set.signal, signal);
    std::vector<int> trims(size_t(set.trims.size()), -1);
    for (qsizetype k = 0; k < set.trims.size(); ++k) column(set.trims[k], trims[size_t(k)]);
    std::vector<int> filters(size_t(set.filters.size()), -1);
    for (qsizetype k = 0; k < set.filters.size(); ++k)
        column(set.filters[k].column, filters[size_t(k)]);
    if (!result.error.isEmpty()) return result;

    CorrectionSums sums(input.words, input.frequency, input.meter, set.strength);
    CorrectionReport& rep = result.report;
    const size_t fieldCount = size_t(log.columns().size());
    std::vector<std::string_view> fields;
    fields.reserve(fieldCount + 1);
    if (progress && !progress(0, log.size())) {
        result.cancelled = true;
        return result;
    }
    while (log.next(fields)) {
        ++rep.rowsRead;
        if ((rep.rowsRead & 0x3FFF) == 0 && progress && !progress(log.bytesRead(), log.size())) {
            result.cancelled = true;
            return result;
        }
        double s = 0;
        double t = 0;
        bool numbers = fields.size() == fieldCount && LogNumber(fields[size_t(signal)], s);
        for (size_t k = 0; numbers && k < trims.size(); ++k) {
            double v = 0;
            numbers = LogNumber(fields[size_t(trims[k])], v);
            t += v;
        }
        bool passes = true;
        for (size_t k = 0; numbers && k < filters.size(); ++k) {
            double v = 0;
            numbers = LogNumber(fields[size_t(filters[k])], v);
            const LogFilter& f = set.filters[qsizetype(k)];
            passes = passes && v >= f.min && v <= f.max;
        }
        if (!numbers) {
            ++rep.notANumber;
            continue;
        }
        if (!passes) {
            ++rep.filtered;
            continue;
        }
        switch (sums.add(s, t)) {
            case RowSkip::None:
                ++rep.rowsUsed;
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
        result.error = QStringLiteral("Error reading ") + input.logPath;
        return result;
    }
    sums.finish(std::max(1, set.minSamples), rep);
    if (progress) progress(log.size(), log.size());
    result.ok = true;
    return result;
}

}  // namespace varnel

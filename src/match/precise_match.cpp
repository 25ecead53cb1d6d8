#include "precise_match.h"

#include "meter/meter_file.h"

#include <algorithm>
#include <cmath>

namespace varnel {

namespace {

constexpr double kVoltWordScaleExact = 1024.0 / 5.0;
constexpr double kFreqWordScaleExact = 2.88;
constexpr int kTopWord = 1023;
// A frequency use meter's entry i is the classic match's cell 8i, 8 x 11.52 Hz apart.
constexpr double kFrequencyEntryStep = 8 * 4 * 2.88;
constexpr double kVoltageEntryStep = 0.1875;
// Flows below this share of the match meter's top flow are too small to compare: a word's step
// there is many percent of the flow.
constexpr double kComparedShare = 0.02;

double lerp(double x0, double y0, double x1, double y1, double x) {
    return y0 + (x - x0) * (y1 - y0) / (x1 - x0);
}

}  // namespace

QString NotRisingMessage() {
    return QStringLiteral("The meter's flows do not rise with its signal.");
}

double MatchCurve::flowAt(double s) const {
    if (s <= signal.front()) {
        if (signal.front() <= 0) return flow.front();
        return lerp(0, 0, signal.front(), flow.front(), std::max(s, 0.0));
    }
    if (s >= signal.back()) return flow.back();
    const size_t k = size_t(std::upper_bound(signal.begin(), signal.end(), s) - signal.begin());
    return lerp(signal[k - 1], flow[k - 1], signal[k], flow[k], s);
}

double MatchCurve::signalAt(double f) const {
    const size_t n = signal.size();
    // The last row of a flat run at no flow: the signal the meter leaves it at.
    size_t z = 0;
    while (z + 1 < n && flow[z + 1] <= 0) ++z;
    if (f <= flow.front()) {
        if (flow.front() <= 0) return signal[z];
        if (signal.front() <= 0) return signal.front();
        return lerp(0, 0, flow.front(), signal.front(), std::max(f, 0.0));
    }
    if (f > flow.back()) {
        if (n == 1) return lerp(0, 0, flow.back(), signal.back(), f);
        return lerp(flow[n - 2], signal[n - 2], flow[n - 1], signal[n - 1], f);
    }
    const size_t k = size_t(std::lower_bound(flow.begin() + long(z), flow.end(), f) - flow.begin());
    if (k <= z) return signal[z];
    return lerp(flow[k - 1], signal[k - 1], flow[k], signal[k], f);
}

bool MatchCurveOf(const MeterRows& rows, MatchCurve& curve, QString& error) {
    error.clear();
    std::vector<std::pair<double, double>> points;
    const int n = std::min(rows.count(), kMeterRowLimit);
    for (int k = 0; k < n; ++k) {
        double s = 0;
        double f = 0;
        if (!MeterTextToNumber(rows.signalTexts[k], s)) {
            error = NotANumberMessage(rows.signalTexts[k]);
            return false;
        }
        if (!MeterTextToNumber(rows.flowTexts[k], f)) {
            error = NotANumberMessage(rows.flowTexts[k]);
            return false;
        }
        points.emplace_back(s, f);
    }
    std::stable_sort(points.begin(), points.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    // Rising from zero: the line from (0, 0) that stands below the first row must not fall,
    // and the top row must give some flow at some signal.
    bool rising = !points.empty() && points.back().first > 0 && points.back().second > 0;
    for (size_t k = 0; k < points.size() && rising; ++k) {
        if (points[k].second < 0) rising = false;
        if (k == 0) continue;
        const bool flatStart = points[k].second == 0 && points[k - 1].second == 0;
        rising = points[k].first > points[k - 1].first &&
                 (points[k].second > points[k - 1].second || flatStart);
    }
    if (!rising) {
        error = NotRisingMessage();
        return false;
    }
    curve = MatchCurve();
    curve.metric = rows.metric;
    curve.frequency = rows.frequency;
    for (const auto& [s, f] : points) {
        curve.signal.push_back(s);
        curve.flow.push_back(f);
    }
    return true;
}

double ConvertedFlow(double flow, bool fromMetric, bool toMetric) {
    if (fromMetric && !toMetric) return flow / kKilogramsPerPoundExact;
    if (!fromMetric && toMetric) return flow * kKilogramsPerPoundExact;
    return flow;
}

double EntryInput(int entry, bool useIsFrequency) {
    return entry * (useIsFrequency ? kFrequencyEntryStep : kVoltageEntryStep);
}

int OutputWord(double signal, bool frequency) {
    const double w = frequency ? signal / kFreqWordScaleExact : signal * kVoltWordScaleExact;
    return std::clamp(RoundEven(w), 0, kTopWord);
}

double WordSignal(int word, bool frequency) {
    return frequency ? word * kFreqWordScaleExact : word / kVoltWordScaleExact;
}

TableWords PreciseMatchWords(const MatchCurve& use, const MatchCurve& match) {
    TableWords words{};
    for (int i = 0; i < kTableEntries; ++i) {
        const double f =
            ConvertedFlow(use.flowAt(EntryInput(i, use.frequency)), use.metric, match.metric);
        words[size_t(i)] = OutputWord(match.signalAt(f), match.frequency);
    }
    return words;
}

TableWords ClassicTableWords(const std::array<int, 32>& entries) {
    TableWords words{};
    std::copy(entries.begin(), entries.end(), words.begin());
    words[kTableEntries - 1] = -1;
    return words;
}

PredictedError PredictMatchError(const MatchCurve& use, const MatchCurve& match,
                                 const TableWords& words) {
    PredictedError e;
    double sum = 0;
    int count = 0;
    for (int i = 0; i < kTableEntries; ++i) {
        const int w = words[size_t(i)];
        const double input = EntryInput(i, use.frequency);
        if (w < 0 || !use.coversSignal(input)) continue;
        const double wanted = ConvertedFlow(use.flowAt(input), use.metric, match.metric);
        if (!match.coversFlow(wanted) || wanted < kComparedShare * match.topFlow() || wanted <= 0)
            continue;
        const double got = match.flowAt(WordSignal(w, match.frequency));
        const double percent = (got - wanted) / wanted * 100;
        e.entries[size_t(i)] = percent;
        if (!e.worst || std::abs(percent) > std::abs(*e.worst)) e.worst = percent;
        sum += std::abs(percent);
        ++count;
    }
    if (count > 0) e.mean = sum / count;
    return e;
}

QString ErrorPercentText(const std::optional<double>& value, bool withSign) {
    if (!value) return QStringLiteral("-");
    return FormatMeterNumber(withSign ? "%+.2f %%" : "%.2f %%", *value);
}

}  // namespace varnel

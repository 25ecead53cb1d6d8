#include "meter_fit.h"

#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <limits>

namespace varnel {

namespace {

constexpr double kComparedShare = 0.02;  // the part of the curve above 2 % of its top flow
constexpr double kVoltGrid = 0.01;       // two decimals of volts
constexpr double kFrequencyGrid = 1.0;   // whole hertz
constexpr double kMaxFlow = 9999.99;     // the most a flow cell holds
// The rows are chosen among at most this many grid signals (every grid signal of a voltage curve
// up to 7 V), and the choice weighs the error at up to this many of the curve's points; the
// figures reported are always taken at every point.
constexpr int kMaxCandidates = 701;
constexpr int kMaxWeighedPoints = 1500;
constexpr float kNoWay = std::numeric_limits<float>::infinity();
constexpr double kKilogramsPerPound = 0.45359237;  // exact, by definition of the pound

struct UnitInfo {
    const char* name;
    double toKilogramsPerHour;
    double toPoundsPerHour;
};

// Each factor taken directly, so a curve already in the meter's unit is copied as it is.
const UnitInfo kUnits[] = {
    {"g/s", 3.6, 3.6 / kKilogramsPerPound},        {"kg/h", 1.0, 1.0 / kKilogramsPerPound},
    {"lb/min", 60 * kKilogramsPerPound, 60.0},     {"lb/h", kKilogramsPerPound, 1.0},
    {"mg/s", 0.0036, 0.0036 / kKilogramsPerPound},
};

const UnitInfo& infoOf(CurveFlowUnit unit) {
    return kUnits[int(unit)];
}

QString numberText(double v) {
    return FormatMeterNumber("%g", v);
}

// The curve in the meter's unit, sorted by signal, each signal once.
struct Line {
    std::vector<double> x;
    std::vector<double> y;

    double at(double s) const {
        if (s <= x.front()) return y.front();
        if (s >= x.back()) return y.back();
        const size_t k = size_t(std::upper_bound(x.begin(), x.end(), s) - x.begin());
        return y[k - 1] + (s - x[k - 1]) * (y[k] - y[k - 1]) / (x[k] - x[k - 1]);
    }
    // The first signal at which the curve reaches flow f (the flows do not fall).
    double reaching(double f) const {
        const size_t k = size_t(std::lower_bound(y.begin(), y.end(), f) - y.begin());
        if (k == 0) return x.front();
        if (k >= y.size()) return x.back();
        return x[k - 1] + (f - y[k - 1]) * (x[k] - x[k - 1]) / (y[k] - y[k - 1]);
    }
};

bool curveLine(const std::vector<CurvePoint>& curve, const MeterFitOptions& options, Line& line,
               QString& error) {
    std::vector<CurvePoint> pts = curve;
    for (const CurvePoint& p : pts) {
        if (p.signal < 0 || p.flow < 0) {
            error = QStringLiteral("Line %1 of the curve: signals and flows cannot be negative.")
                        .arg(p.line);
            return false;
        }
    }
    std::stable_sort(pts.begin(), pts.end(),
                     [](const CurvePoint& a, const CurvePoint& b) { return a.signal < b.signal; });
    line = Line();
    for (size_t k = 0; k < pts.size(); ++k) {
        if (k > 0 && pts[k].flow < pts[k - 1].flow) {
            error = QStringLiteral("The curve's flows fall: %1 at line %2 after %3 at line %4.")
                        .arg(numberText(pts[k].flow))
                        .arg(pts[k].line)
                        .arg(numberText(pts[k - 1].flow))
                        .arg(pts[k - 1].line);
            return false;
        }
        if (k > 0 && pts[k].signal == pts[k - 1].signal) {
            if (pts[k].flow == pts[k - 1].flow) continue;
            error = QStringLiteral("The curve gives two flows at %1 (lines %2 and %3).")
                        .arg(numberText(pts[k].signal))
                        .arg(pts[k - 1].line)
                        .arg(pts[k].line);
            return false;
        }
        line.x.push_back(pts[k].signal);
        line.y.push_back(MeterFlowOf(pts[k].flow, options.unit, options.metric));
    }
    if (line.x.size() < 2 || line.y.back() <= 0) {
        error = QStringLiteral("The curve needs at least two points and a flow above zero.");
        return false;
    }
    if (line.y.back() > kMaxFlow) {
        error = QStringLiteral(
                    "The curve's top flow, %1 %2, is more than a meter file holds "
                    "(9999.99); is its unit right?")
                    .arg(FormatMeterNumber("%.2f", line.y.back()),
                         options.metric ? QStringLiteral("kg/h") : QStringLiteral("lb/h"));
        return false;
    }
    return true;
}

// One point where the meter is held against the curve.
struct Weighed {
    double x;
    double flow;
    bool curvePoint;  // counts towards the sum
    bool low;         // below 2 % of the top: in the sum only, against 2 % of the top
};

}  // namespace

bool CurveFlowUnitOf(const QString& name, CurveFlowUnit& unit) {
    for (size_t i = 0; i < std::size(kUnits); ++i) {
        if (name == QLatin1String(kUnits[i].name)) {
            unit = CurveFlowUnit(i);
            return true;
        }
    }
    return false;
}

QStringList CurveFlowUnitNames() {
    QStringList names;
    for (const UnitInfo& u : kUnits) names.append(QLatin1String(u.name));
    return names;
}

double MeterFlowOf(double flow, CurveFlowUnit unit, bool metric) {
    return flow * (metric ? infoOf(unit).toKilogramsPerHour : infoOf(unit).toPoundsPerHour);
}

bool ReadCurveText(const QByteArray& data, std::vector<CurvePoint>& points, QString& error) {
    points.clear();
    error.clear();
    static const QRegularExpression lineEnd(QStringLiteral("\r\n|\r|\n"));
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    const QStringList lines = QString::fromLatin1(data).split(lineEnd);
    for (int i = 0; i < lines.size(); ++i) {
        QString text = lines[i];
        if (const qsizetype hash = text.indexOf(QLatin1Char('#')); hash >= 0) text.truncate(hash);
        const QStringList fields = text.split(separators, Qt::SkipEmptyParts);
        std::vector<double> numbers;
        for (const QString& f : fields) {
            double v = 0;
            if (MeterTextToNumber(f, v) && std::isfinite(v)) numbers.push_back(v);
        }
        if (numbers.empty()) continue;  // a heading
        if (fields.size() != 2 || numbers.size() != 2) {
            error = QStringLiteral("Line %1 of the curve is not a signal and a flow: '%2'")
                        .arg(i + 1)
                        .arg(text.trimmed());
            return false;
        }
        points.push_back({numbers[0], numbers[1], i + 1});
    }
    if (points.size() < 2) {
        error = QStringLiteral("The curve needs at least two points and a flow above zero.");
        return false;
    }
    return true;
}

bool FitMeterCurve(const std::vector<CurvePoint>& curve, const MeterFitOptions& options,
                   MeterFitResult& result, QString& error) {
    error.clear();
    Line line;
    if (!curveLine(curve, options, line, error)) return false;
    const double step = options.frequency ? kFrequencyGrid : kVoltGrid;
    const double top = line.y.back();
    const size_t n = line.x.size();

    // The span: from the last point of a flat start at no flow, to the first point of a flat
    // top; each end on the nearest grid signal that still lies on the curve.
    size_t first = 0;
    while (first + 1 < n && line.y[first + 1] <= 0) ++first;
    size_t last = n - 1;
    while (last > 0 && line.y[last - 1] >= top) --last;
    if (last <= first) {
        error = QStringLiteral("The curve's flows do not rise.");
        return false;
    }
    const auto lowestGrid = long(std::ceil(line.x.front() / step - 1e-9));
    const auto highestGrid = long(std::floor(line.x.back() / step + 1e-9));
    const long lo = std::max(long(std::lround(line.x[first] / step)), lowestGrid);
    const long hi = std::min(long(std::lround(line.x[last] / step)), highestGrid);
    if (hi <= lo) {
        error = options.frequency ? QStringLiteral("The curve must rise over more than 1 Hz.")
                                  : QStringLiteral("The curve must rise over more than 0.01 V.");
        return false;
    }

    // Where rows may go: every grid signal, or on a long grid those at and around the curve's
    // points and an even spread between them.
    std::vector<long> grid;
    if (hi - lo + 1 <= kMaxCandidates) {
        for (long k = lo; k <= hi; ++k) grid.push_back(k);
    } else {
        for (double x : line.x)
            for (long k : {long(std::floor(x / step)), long(std::ceil(x / step))})
                if (k > lo && k < hi) grid.push_back(k);
        for (int j = 1; j < kMaxCandidates / 2; ++j)
            grid.push_back(lo + long(double(hi - lo) * j / (kMaxCandidates / 2)));
        std::sort(grid.begin(), grid.end());
        grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
        if (grid.size() > size_t(kMaxCandidates - 2)) {
            std::vector<long> thinned;
            const size_t m = grid.size();
            for (size_t j = 0; j < size_t(kMaxCandidates - 2); ++j)
                thinned.push_back(grid[j * m / size_t(kMaxCandidates - 2)]);
            grid = thinned;
        }
        grid.insert(grid.begin(), lo);
        grid.push_back(hi);
        grid.erase(std::unique(grid.begin(), grid.end()), grid.end());
    }
    const size_t m = grid.size();
    std::vector<double> gx(m), gc(m), gr(m);
    std::vector<QString> signalText(m), flowText(m);
    for (size_t k = 0; k < m; ++k) {
        gx[k] = double(grid[k]) * step;
        gc[k] = line.at(gx[k]);
        signalText[k] = FormatMeterNumber("%1.2f", gx[k]);
        flowText[k] = FormatMeterNumber("%4.2f", gc[k]);
        MeterTextToNumber(flowText[k], gr[k]);
    }

    // The points the choice is weighed at: the curve's own and the point where it crosses 2 % of
    // its top flow. Between them the error of a straight row segment against the straight curve
    // segment is monotonic, so these and the rows give its largest value. Below 2 % the error
    // is not held against the worst, but where rows to spare can follow the curve there (idle
    // flows) they should: there it counts in the sum, in parts of 2 % of the top.
    const double floorFlow = kComparedShare * top;
    std::vector<Weighed> weighed;
    const double crossing = line.reaching(floorFlow);
    if (crossing > gx.front() && crossing < gx.back())
        weighed.push_back({crossing, floorFlow, false, false});
    std::vector<size_t> inside;
    for (size_t j = 0; j < n; ++j)
        if (line.x[j] > gx.front() && line.x[j] <= gx.back()) inside.push_back(j);
    const size_t keepEvery = inside.size() / kMaxWeighedPoints + 1;
    for (size_t j = 0; j < inside.size(); j += keepEvery) {
        const double flow = line.y[inside[j]];
        weighed.push_back({line.x[inside[j]], flow, true, flow < floorFlow});
    }
    std::sort(weighed.begin(), weighed.end(),
              [](const Weighed& a, const Weighed& b) { return a.x < b.x; });
    auto rowError = [&](size_t k) {
        return gc[k] >= floorFlow && gc[k] > 0 ? std::abs(gr[k] / gc[k] - 1) : 0.0;
    };

    // The worst and summed error of each possible segment of rows a..b.
    std::vector<float> worstOf(m * m, kNoWay);
    std::vector<float> sumOf(m * m, 0);
    for (size_t a = 0; a + 1 < m; ++a) {
        const size_t from =
            size_t(std::upper_bound(weighed.begin(), weighed.end(), gx[a],
                                    [](double x, const Weighed& w) { return x < w.x; }) -
                   weighed.begin());
        for (size_t b = a + 1; b < m; ++b) {
            if (gr[b] <= gr[a]) continue;
            double worst = std::max(rowError(a), rowError(b));
            double sum = 0;
            const double slope = (gr[b] - gr[a]) / (gx[b] - gx[a]);
            for (size_t j = from; j < weighed.size() && weighed[j].x <= gx[b]; ++j) {
                const Weighed& w = weighed[j];
                const double meter = gr[a] + (w.x - gx[a]) * slope;
                const double e = std::abs(meter - w.flow) / (w.low ? floorFlow : w.flow);
                if (!w.low) worst = std::max(worst, e);
                if (w.curvePoint) sum += e;
            }
            worstOf[a * m + b] = float(worst);
            sumOf[a * m + b] = float(sum);
        }
    }

    // The smallest worst error that at most rows - 1 segments reach, then, among the choices
    // that keep to it, the smallest sum (the fewest rows where sums are equal).
    const int segments = std::clamp(options.rows, 2, kMeterRows) - 1;
    std::vector<float> best(m, kNoWay), next(m);
    best[0] = float(rowError(0));
    for (int s = 0; s < segments; ++s) {
        next = best;
        for (size_t b = 1; b < m; ++b)
            for (size_t a = 0; a < b; ++a) {
                const float w = std::max(best[a], worstOf[a * m + b]);
                if (w < next[b]) next[b] = w;
            }
        best.swap(next);
    }
    const float bound = best[m - 1];
    if (!(bound < kNoWay)) {
        error = QStringLiteral("The curve's flows do not rise enough for a meter's rows.");
        return false;
    }
    // Choices whose worst differs from the best only by rounding are as good: the fewer rows and
    // the smaller sum decide between them.
    const float slack = bound * (1 + 1e-5f) + 1e-9f;
    constexpr double kNone = std::numeric_limits<double>::infinity();
    std::vector<double> sums(m, kNone), nextSums(m);
    std::vector<std::vector<int>> from(size_t(segments), std::vector<int>(m, -1));
    sums[0] = 0;
    for (int s = 0; s < segments; ++s) {
        nextSums = sums;
        for (size_t b = 1; b < m; ++b)
            for (size_t a = 0; a < b; ++a) {
                if (sums[a] == kNone || worstOf[a * m + b] > slack) continue;
                const double total = sums[a] + double(sumOf[a * m + b]);
                if (total < nextSums[b] - 1e-12) {
                    nextSums[b] = total;
                    from[size_t(s)][b] = int(a);
                }
            }
        sums.swap(nextSums);
    }
    std::vector<size_t> chosen;
    size_t b = m - 1;
    for (int s = segments - 1; b != 0 && s >= 0; --s) {
        const int a = from[size_t(s)][b];
        if (a < 0) continue;
        chosen.push_back(b);
        b = size_t(a);
    }
    chosen.push_back(0);
    std::reverse(chosen.begin(), chosen.end());

    result = MeterFitResult();
    for (size_t k : chosen) result.rows.append({signalText[k], flowText[k]});
    MeterCurveError(curve, options, result.rows, result.worst, result.mean);
    return true;
}

void MeterCurveError(const std::vector<CurvePoint>& curve, const MeterFitOptions& options,
                     const QVector<MeterPoint>& rows, double& worst, double& mean) {
    worst = mean = 0;
    Line line;
    QString error;
    if (rows.isEmpty() || !curveLine(curve, options, line, error)) return;
    // The meter as a reader takes it: straight between rows, the last row's flow above them.
    Line meter;
    for (const MeterPoint& p : rows) {
        double s = 0;
        double f = 0;
        MeterTextToNumber(p.signal, s);
        MeterTextToNumber(p.flow, f);
        meter.x.push_back(s);
        meter.y.push_back(f);
    }
    const double floorFlow = kComparedShare * line.y.back();
    auto weigh = [&](double x, double flow) {
        if (flow < floorFlow || flow <= 0 || x < meter.x.front()) return 0.0;
        const double e = (meter.at(x) - flow) / flow * 100;
        if (std::abs(e) > std::abs(worst)) worst = e;
        return std::abs(e);
    };
    if (line.y.front() < floorFlow) weigh(line.reaching(floorFlow), floorFlow);
    for (double x : meter.x) weigh(x, line.at(x));
    double sum = 0;
    int count = 0;
    for (size_t j = 0; j < line.x.size(); ++j) {
        if (line.y[j] < floorFlow || line.x[j] < meter.x.front()) continue;
        sum += weigh(line.x[j], line.y[j]);
        ++count;
    }
    mean = count > 0 ? sum / count : 0;
}

void FillFittedRecord(const MeterFitResult& fit, const MeterFitOptions& options,
                      const QString& partNumber, const QString& curveName, TMeterRecord& record) {
    record.setPartNumber(partNumber.left(kMeterPartNumberLength));
    record.setMetric(options.metric ? 1 : 0);
    record.setFrequency(options.frequency ? 1 : 0);
    record.setDescription1(QStringLiteral("Fitted from %1 (%2)")
                               .arg(curveName, QLatin1String(infoOf(options.unit).name))
                               .left(kMeterDescriptionLength));
    record.setDescription2(FitSummary(fit).left(kMeterDescriptionLength));
    const int count = int(std::min<qsizetype>(fit.rows.size(), kMeterRows));
    record.setPointCount(static_cast<int16_t>(count));
    for (int r = 1; r <= count; ++r) {
        const MeterPoint& p = fit.rows[r - 1];
        double v = 0;
        MeterTextToNumber(p.signal, v);
        record.setSignalText(r, p.signal);
        record.setSignalValue(r, float(v));
        MeterTextToNumber(p.flow, v);
        record.setFlowText(r, p.flow);
        record.setFlowValue(r, float(v));
    }
}

QString FitSummary(const MeterFitResult& fit) {
    return QStringLiteral("Worst error %1, mean %2, %3 rows kept.")
        .arg(FormatMeterNumber("%+.2f %%", fit.worst), FormatMeterNumber("%.2f %%", fit.mean))
        .arg(fit.rows.size());
}

}  // namespace varnel

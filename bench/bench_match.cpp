// The predicted flow error of the classic and the precise match on every ordered pair of the
// sample meters (the largest magnitude with its sign, and the mean magnitude over the compared
// table entries), and the meter fit of the sample curve: its worst and mean error and its time.
//   usage: bench_match [SAMPLES_DIR]

#include "match/match_session.h"
#include "match/meter_match.h"
#include "match/precise_match.h"
#include "meter/meter_file.h"
#include "meter/meter_fit.h"

#include <QCoreApplication>
#include <QFileInfo>

#include <chrono>
#include <cmath>
#include <cstdio>

using namespace varnel;

namespace {

struct Pool {
    std::optional<double> worst;
    double sum = 0;
    int count = 0;

    void add(const PredictedError& e) {
        for (const std::optional<double>& v : e.entries) {
            if (!v) continue;
            if (!worst || std::abs(*v) > std::abs(*worst)) worst = *v;
            sum += std::abs(*v);
            ++count;
        }
    }
    QString text() const {
        return QStringLiteral("worst %1 mean %2")
            .arg(
                ErrorPercentText(worst, true),
                ErrorPercentText(count ? std::optional<double>(sum / count) : std::nullopt, false));
    }
};

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QString dir =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral(VARNEL_SAMPLES_DIR);
    const QStringList names = {QStringLiteral("sample-v1.maf"), QStringLiteral("sample-v2.maf"),
                               QStringLiteral("sample-f1.maf")};
    QList<TMeterRecord> meters;
    for (const QString& name : names) {
        TMeterRecord r;
        QString error;
        if (!ReadMeterFile(dir + QLatin1Char('/') + name, r, error)) {
            std::fprintf(stderr, "bench_match: %s: %s\n", qPrintable(name), qPrintable(error));
            return 1;
        }
        meters.append(r);
    }
    Pool classicAll, preciseAll;
    int pairs = 0;
    for (int u = 0; u < meters.size(); ++u)
        for (int m = 0; m < meters.size(); ++m) {
            if (u == m) continue;
            const MeterRows use = MeterRowsOf(meters[u]);
            const MeterRows match = MeterRowsOf(meters[m]);
            MatchCells cells;
            MatchCurve useCurve, matchCurve;
            QString error;
            if (!MatchMeters(use, match, cells, error) || !MatchCurveOf(use, useCurve, error) ||
                !MatchCurveOf(match, matchCurve, error)) {
                std::fprintf(stderr, "bench_match: %s\n", qPrintable(error));
                return 1;
            }
            const PredictedError classicError = PredictMatchError(
                useCurve, matchCurve, ClassicTableWords(MatchTableEntries(cells, match.frequency)));
            const PredictedError preciseError =
                PredictMatchError(useCurve, matchCurve, PreciseMatchWords(useCurve, matchCurve));
            Pool classic, precise;
            classic.add(classicError);
            precise.add(preciseError);
            std::printf("match %s as %s: classic %s; precise %s\n",
                        qPrintable(meters[u].PartNumber()), qPrintable(meters[m].PartNumber()),
                        qPrintable(classic.text()), qPrintable(precise.text()));
            classicAll.add(classicError);
            preciseAll.add(preciseError);
            ++pairs;
        }
    std::printf("match predicted error, sample meters (%d ordered pairs): classic %s; precise %s\n",
                pairs, qPrintable(classicAll.text()), qPrintable(preciseAll.text()));

    const QString curvePath = dir + QStringLiteral("/sample-curve.txt");
    QByteArray data;
    QString error;
    std::vector<CurvePoint> curve;
    if (!ReadFileStart(curvePath, 64LL * 1024 * 1024, data, error) ||
        !ReadCurveText(data, curve, error)) {
        std::fprintf(stderr, "bench_match: %s\n", qPrintable(error));
        return 1;
    }
    MeterFitOptions options;
    options.unit = CurveFlowUnit::GramsPerSecond;
    MeterFitResult fit;
    const auto start = std::chrono::steady_clock::now();
    if (!FitMeterCurve(curve, options, fit, error)) {
        std::fprintf(stderr, "bench_match: %s\n", qPrintable(error));
        return 1;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("meter fit sample-curve.txt (%zu points, g/s to kg/h): %s %.0f ms\n", curve.size(),
                qPrintable(FitSummary(fit)), ms);
    return 0;
}

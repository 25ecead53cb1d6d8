// The sample meters shipped with the program: what the files hold, that their texts still make
// them, and that matching them gives a table a user would believe.
#include "base/project_file.h"
#include "datalog_model.h"
#include "match/meter_match.h"
#include "meter/meter_file.h"
#include "meter/meter_import.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

using namespace varnel;

namespace {

QString samplePath(const QString& name) {
    return QStringLiteral(VARNEL_SAMPLES_DIR "/") + name;
}

TMeterRecord readSample(const QString& name) {
    TMeterRecord record;
    QString error;
    if (!ReadMeterFile(samplePath(name), record, error)) qWarning() << error;
    return record;
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

MeterRows rowsOf(const TMeterRecord& record) {
    MeterRows rows;
    rows.metric = record.Metric() != 0;
    rows.frequency = record.Frequency() != 0;
    for (int r = 1; r <= record.usableRows(); ++r) {
        rows.signalTexts.append(record.SignalText(r));
        rows.flowTexts.append(record.FlowText(r));
    }
    return rows;
}

struct Curve {
    QVector<double> signal;
    QVector<double> flow;
};

Curve curveOf(const TMeterRecord& record) {
    Curve c;
    for (int r = 1; r <= record.usableRows(); ++r) {
        double s = 0;
        double f = 0;
        MeterTextToNumber(record.SignalText(r), s);
        MeterTextToNumber(record.FlowText(r), f);
        c.signal.append(s);
        c.flow.append(f);
    }
    return c;
}

// Straight-line interpolation of y over x (x rising); NaN outside the points.
double interpolate(const QVector<double>& x, const QVector<double>& y, double at) {
    for (int i = 1; i < x.size(); ++i) {
        if (at >= x[i - 1] && at <= x[i])
            return y[i - 1] + (y[i] - y[i - 1]) * (at - x[i - 1]) / (x[i] - x[i - 1]);
    }
    return std::nan("");
}

}  // namespace

class SamplesTest : public QObject {
    Q_OBJECT
  private slots:
    void meterFiles_data();
    void meterFiles();
    void textsMakeTheFiles_data();
    void textsMakeTheFiles();
    void convertSample();
    void matchTable_data();
    void matchTable();
    void sampleLog();
};

void SamplesTest::meterFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("partNumber");
    QTest::addColumn<bool>("frequency");
    QTest::addColumn<bool>("metric");
    QTest::newRow("v1") << "sample-v1.maf"
                        << "SAMPLE-V1 (not real)" << false << false;
    QTest::newRow("v2") << "sample-v2.maf"
                        << "SAMPLE-V2 (not real)" << false << true;
    QTest::newRow("f1") << "sample-f1.maf"
                        << "SAMPLE-F1 (not real)" << true << false;
}

// Every sample says what it is, holds 12 to 30 points, and rises: signal and flow both climb
// from row to row, within what the box can take in (6 V, 2937.6 Hz).
void SamplesTest::meterFiles() {
    QFETCH(QString, file);
    QFETCH(QString, partNumber);
    QFETCH(bool, frequency);
    QFETCH(bool, metric);

    QCOMPARE(QFileInfo(samplePath(file)).size(), qint64(kMeterRecordSize));
    const TMeterRecord record = readSample(file);
    QString error;
    QVERIFY2(CheckMeterTexts(record, file, error), qPrintable(error));
    QCOMPARE(record.PartNumber(), partNumber);
    QVERIFY(record.Description1().contains(QLatin1String("not a real meter")));
    QVERIFY(!record.Description2().isEmpty());
    QCOMPARE(record.Frequency() != 0, frequency);
    QCOMPARE(record.Metric() != 0, metric);

    const Curve c = curveOf(record);
    QVERIFY2(c.signal.size() >= 12 && c.signal.size() <= 30, qPrintable(file));
    for (int i = 1; i < c.signal.size(); ++i) {
        QVERIFY2(c.signal[i] > c.signal[i - 1],
                 qPrintable(QStringLiteral("signal row %1").arg(i + 1)));
        QVERIFY2(c.flow[i] > c.flow[i - 1], qPrintable(QStringLiteral("flow row %1").arg(i + 1)));
    }
    QVERIFY(c.signal.first() >= 0);
    QVERIFY(c.signal.last() <= (frequency ? 2937.6 : 6.0));
}

void SamplesTest::textsMakeTheFiles_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("v1") << "sample-v1";
    QTest::newRow("v2") << "sample-v2";
    QTest::newRow("f1") << "sample-f1";
}

// The committed meter files are exactly what their texts give through "varnel-cli meter import"
// (samples/regenerate.sh): an edit of a text without a regeneration, or a change to the import,
// shows here.
void SamplesTest::textsMakeTheFiles() {
    QFETCH(QString, name);
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString out = dir.filePath(name + QStringLiteral(".maf"));
    QProcess cli;
    cli.start(QStringLiteral(VARNEL_CLI), {QStringLiteral("meter"), QStringLiteral("import"),
                                           samplePath(name + QStringLiteral(".txt")), out});
    QVERIFY(cli.waitForFinished(30000));
    QCOMPARE(cli.exitCode(), 0);
    QCOMPARE(cli.readAllStandardError(), QByteArray());
    const QByteArray made = readAll(out);
    QCOMPARE(made.size(), kMeterRecordSize);
    QVERIFY(made == readAll(samplePath(name + QStringLiteral(".maf"))));
}

// The Convert example reads whole: the part number and both description lines, every data line
// (tab-separated and out of order), and sorted as the editor sorts it the flows rise too.
void SamplesTest::convertSample() {
    const QByteArray text = readAll(samplePath(QStringLiteral("sample-convert.txt")));
    QVERIFY(!text.isEmpty());
    QVERIFY2(text.contains("\r\n"), "lines must end in CR LF");
    TMeterRecord record;
    const MeterImportResult result = ImportMeterText(text, record);
    QCOMPARE(result.leftOut, 0);
    QCOMPARE(result.points, int(text.count("\r\n")) - 5);
    QVERIFY(result.points >= 12 && result.points <= 30);
    QCOMPARE(record.PartNumber(), QStringLiteral("SAMPLE-V3 (not real)"));
    QCOMPARE(record.Frequency(), uint8_t(0));
    QCOMPARE(record.Metric(), uint8_t(0));
    QVERIFY(record.Description1().contains(QLatin1String("not a real meter")));
    QVERIFY(!record.Description2().isEmpty());

    MeterForm form = MeterRecordToForm(record);
    bool sorted = true;
    for (int i = 1; i < form.rows.size(); ++i)
        sorted = sorted && form.rows[i].signal.toDouble() > form.rows[i - 1].signal.toDouble();
    QVERIFY2(!sorted, "the example shows Convert sorting: its points are out of order");
    SortMeterRows(form.rows);
    for (int i = 1; i < form.rows.size(); ++i) {
        QVERIFY(form.rows[i].signal.toDouble() > form.rows[i - 1].signal.toDouble());
        QVERIFY(form.rows[i].flow.toDouble() > form.rows[i - 1].flow.toDouble());
    }
}

void SamplesTest::matchTable_data() {
    QTest::addColumn<QString>("use");
    QTest::addColumn<QString>("match");
    QTest::addColumn<double>("tolerance");  // volts or hertz
    // Pounds against kilograms both ways, and a voltage meter made to read as a frequency one.
    QTest::newRow("v1 as v2") << "sample-v1.maf"
                              << "sample-v2.maf" << 0.06;
    QTest::newRow("v2 as v1") << "sample-v2.maf"
                              << "sample-v1.maf" << 0.06;
    QTest::newRow("v1 as f1") << "sample-v1.maf"
                              << "sample-f1.maf" << 40.0;
}

// Matching two samples fills all 32 table entries, never falling, and each entry where both
// meters have points is the match meter's signal at the use meter's flow for that input, read
// off the two curves directly (flows converted at 0.454 kg/lb).
void SamplesTest::matchTable() {
    QFETCH(QString, use);
    QFETCH(QString, match);
    QFETCH(double, tolerance);

    const TMeterRecord useRecord = readSample(use);
    const TMeterRecord matchRecord = readSample(match);
    MatchCells cells;
    QString error;
    QVERIFY2(MatchMeters(rowsOf(useRecord), rowsOf(matchRecord), cells, error), qPrintable(error));
    const bool frequencyOut = matchRecord.Frequency() != 0;
    const std::array<int, 32> entries = MatchTableEntries(cells, frequencyOut);

    Curve useCurve = curveOf(useRecord);
    const Curve matchCurve = curveOf(matchRecord);
    const double factor = useRecord.Metric() == matchRecord.Metric() ? 1.0
                          : useRecord.Metric()                       ? 1 / 0.454
                                                                     : 0.454;
    for (double& f : useCurve.flow) f *= factor;

    int compared = 0;
    for (int i = 0; i < 32; ++i) {
        QVERIFY2(entries[i] >= 0, qPrintable(QStringLiteral("entry %1 left empty").arg(i)));
        if (i > 0)
            QVERIFY2(entries[i] >= entries[i - 1],
                     qPrintable(QStringLiteral("entry %1 falls").arg(i)));
        const double out = frequencyOut ? entries[i] * 2.88 : entries[i] / 204.8;
        const double flow = interpolate(useCurve.signal, useCurve.flow, i * 0.1875);
        const double expected = interpolate(matchCurve.flow, matchCurve.signal, flow);
        // Near no flow both curves are flat and any rising line between them is as right.
        if (std::isnan(expected) || flow < matchCurve.flow[2]) continue;
        ++compared;
        QVERIFY2(std::abs(out - expected) <= tolerance,
                 qPrintable(QStringLiteral("entry %1 (%2 V in): %3, the curves say %4")
                                .arg(i)
                                .arg(i * 0.1875)
                                .arg(out)
                                .arg(expected)));
    }
    QVERIFY2(compared >= 12, qPrintable(QStringLiteral("only %1 entries compared").arg(compared)));
    // The table spans most of the output range, so the match did something.
    QVERIFY(entries[31] - entries[0] > 500);
}

// The sample datalog says in its header that it is made up, and is what samples/regenerate.sh
// makes; correct --apply with the README's options on the matched table brings the model
// engine it was made with much closer to needing no trims.
void SamplesTest::sampleLog() {
    const QString log = samplePath(QStringLiteral("sample-log.csv"));
    const QByteArray text = readAll(log);
    QVERIFY(text.left(text.indexOf('\n'))
                .contains("Synthetic: made by Varnel's samples/regenerate.sh; no real engine"));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    auto run = [](const QString& program, const QStringList& args) {
        QProcess p;
        p.start(program, args);
        return p.waitForFinished(60000) && p.exitStatus() == QProcess::NormalExit &&
               p.exitCode() == 0;
    };
    QVERIFY(run(QStringLiteral(VARNEL_SAMPLES_DIR "/regenerate.sh"),
                {QStringLiteral(VARNEL_BUILD_DIR), dir.path()}));
    QVERIFY2(readAll(dir.filePath(QStringLiteral("sample-log.csv"))) == text,
             "sample-log.csv is not what samples/regenerate.sh makes");
    QVERIFY2(readAll(dir.filePath(QStringLiteral("sample-curve.txt"))) ==
                 readAll(samplePath(QStringLiteral("sample-curve.txt"))),
             "sample-curve.txt is not what samples/regenerate.sh makes");

    const QString project = dir.filePath(QStringLiteral("demo.KEX"));
    const QString cli = QStringLiteral(VARNEL_CLI);
    QVERIFY(run(cli, {"new", project}));
    QVERIFY(run(cli, {"match", samplePath("sample-v1.maf"), samplePath("sample-v2.maf"), "--into",
                      project}));
    datalog::EngineModel model;
    QString error;
    QVERIFY(datalog::ReadCurve(samplePath("sample-v1.maf"), 0.454, model.fitted, error));
    QVERIFY(datalog::ReadCurve(samplePath("sample-v2.maf"), 1, model.expected, error));
    model.errorLow = 6;
    model.errorHigh = 2;
    model.inputHigh = 4.6;
    // The trims the engine needs across the logged inputs, with the project's table.
    auto trims = [&](double& mean, double& worst) {
        ProjectHeader header;
        EepromImage image;
        if (ReadProjectFile(project, header, image) != ReadStatus::Ok) return false;
        for (int i = 0; i < 33; ++i) model.table[size_t(i)] = image.entry(i);
        mean = worst = 0;
        for (int k = 0; k <= 360; ++k) {
            const double t = std::abs(model.trim(1.0 + k * 0.01));
            mean += t / 361;
            worst = std::max(worst, t);
        }
        return true;
    };
    double mean0 = 0, worst0 = 0, mean1 = 0, worst1 = 0;
    QVERIFY(trims(mean0, worst0));
    const std::array<uint16_t, 33> matched = model.table;
    QVERIFY(run(cli, {"correct", project, log, "--meter", samplePath("sample-v2.maf"), "--signal",
                      "MAF V", "--trim", "STFT %,LTFT %", "--filter", "ECT C:70:120", "--apply"}));
    QVERIFY(trims(mean1, worst1));
    // The drive runs in open loop above 3.75 V in: only its wideband moves entries 21 to 24.
    for (int i = 21; i <= 24; ++i) QVERIFY(model.table[size_t(i)] > matched[size_t(i)]);
    qInfo("mean |trim| %.2f %% -> %.2f %%, worst %.2f %% -> %.2f %%", mean0, mean1, worst0, worst1);
    QVERIFY(mean0 > 2);
    QVERIFY(mean1 < mean0 / 4);
    QVERIFY(worst1 < worst0 / 2);
}

QTEST_GUILESS_MAIN(SamplesTest)
#include "tst_samples.moc"

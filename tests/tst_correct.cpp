// The correction of the table from a datalog: each step of the computation on rows worked by
// hand, the log's reading and its skips by reason, the refused meters, and varnel-cli correct,
// down to a log made through a model engine whose table is a known few percent low; and the
// loggers' layouts of tests/data/logs, each read by the reader, varnel-cli log and an
// auto-mapped correct.

#include "base/project_file.h"
#include "correct/log_correction.h"
#include "datalog_model.h"
#include "log/log_reader.h"
#include "support/match_meters.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <functional>
#include <tuple>

using namespace varnel;
using varnel::test::meterRecord;
using varnel::test::MeterTextRows;

namespace {

// Volts; flows rise from 0 V to 6 V.
MeterTextRows meterRows() {
    return {{"0", "0"}, {"1.0", "100"}, {"2.0", "300"}, {"3.0", "600"}, {"6.0", "1200"}};
}

MeterCurve curve(bool frequency = false) {
    MeterCurve c;
    QString error;
    if (!MeterCurveOf(meterRecord(false, frequency, meterRows()), "m.maf", frequency, c, error))
        qFatal("%s", qPrintable(error));
    return c;
}

// o_i = 0.3125 i V up to entry 15; entries 0 and 1 both 0 (a flat start); entry 16 at 4.995 V,
// then a step back down to 1.465 V at entry 20 and up again: a second crossing of low signals.
std::array<uint16_t, kTableEntries> table() {
    std::array<uint16_t, kTableEntries> w{};
    for (int i = 0; i < kTableEntries; ++i) w[size_t(i)] = uint16_t(i <= 15 ? 64 * i : 1023);
    w[1] = 0;
    w[20] = 300;
    return w;
}

// Table entries whose words differ: entry, word.
using EntryWords = QMap<int, int>;

struct Run {
    int code = -1;
    QString out;
    QString err;
};

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Run cli(const QStringList& args, const QString& locale = {}) {
    QProcess p;
    if (!locale.isEmpty()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("LC_ALL"), locale);
        p.setProcessEnvironment(env);
    }
    p.start(QStringLiteral(VARNEL_CLI), args);
    Run r;
    if (!p.waitForFinished(60000)) return r;
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    return r;
}

}  // namespace

class TestCorrect : public QObject {
    Q_OBJECT
  private slots:
    void initTestCase();

    void rowSteps_data();
    void rowSteps();
    void minimumSamples_data();
    void minimumSamples();
    void logReading_data();
    void logReading();
    void meterRefusals_data();
    void meterRefusals();
    void cliRefusals_data();
    void cliRefusals();
    void knownErrorIsCorrected();
    void loopRows_data();
    void loopRows();
    void proposal_data();
    void proposal();
    void bothRegionsCorrected_data();
    void bothRegionsCorrected();
    void sampleLogs_data();
    void sampleLogs();

  private:
    QString write(const QString& name, const QByteArray& bytes);
    QTemporaryDir dir_;
    QString project_;
    QString matched_;  // the sample meters' match: the table the sample logs were made on
    QString known_;    // a meter of smooth flows, for the logs of the model engine
};

QString TestCorrect::write(const QString& name, const QByteArray& bytes) {
    QFile f(dir_.filePath(name));
    if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) qFatal("cannot write");
    return f.fileName();
}

void TestCorrect::initTestCase() {
    QVERIFY(dir_.isValid());
    QVERIFY(test::writeMeter(dir_.filePath("volts.maf"), false, false, meterRows()));
    QVERIFY(
        test::writeMeter(dir_.filePath("hertz.maf"), false, true, {{"100", "0"}, {"2000", "900"}}));
    write("log.csv", "MAF,Trim\n1.5,10\n");
    project_ = dir_.filePath("p.KEX");
    QCOMPARE(cli({"new", project_}).code, 0);
    known_ = dir_.filePath("known.maf");
    QVERIFY(test::writeMeter(known_, true, false,
                             {{"0.5", "10"},
                              {"1.0", "30"},
                              {"1.5", "60"},
                              {"2.0", "100"},
                              {"2.5", "150"},
                              {"3.0", "210"},
                              {"3.5", "280"},
                              {"4.0", "360"},
                              {"4.5", "450"},
                              {"5.0", "550"}}));
    matched_ = dir_.filePath("matched.KEX");
    QCOMPARE(cli({"new", matched_}).code, 0);
    QCOMPARE(cli({"match", VARNEL_SAMPLES_DIR "/sample-v1.maf", VARNEL_SAMPLES_DIR "/sample-v2.maf",
                  "--into", matched_})
                 .code,
             0);
}

// One row through steps 2 to 5: the meter's flow and the signal wanted, the table's crossing
// and the row's split between entry i and i + 1.
void TestCorrect::rowSteps_data() {
    QTest::addColumn<double>("s");
    QTest::addColumn<double>("trim");
    QTest::addColumn<double>("strength");
    QTest::addColumn<int>("skip");
    QTest::addColumn<int>("entry");
    QTest::addColumn<double>("a");  // the weight of entry + 1
    QTest::addColumn<double>("d");
    const int none = int(RowSkip::None);
    // f = 200, f' = 220, s' = 1.6; 1.5 lies 0.8 of the way from entry 4 (1.25) to 5 (1.5625).
    QTest::newRow("split 0.2 / 0.8") << 1.5 << 10.0 << 100.0 << none << 4 << 0.8 << 0.1;
    // f = 450, half of -20 %: f' = 405, s' = 2.35. 2.5 is entry 8 exactly: the first step that
    // holds it is 7..8, and all of the row goes to entry 8.
    QTest::newRow("on an entry, half strength")
        << 2.5 << -20.0 << 50.0 << none << 7 << 1.0 << -0.15;
    // 5.5 V is in the meter (1100) but above every step of the table.
    QTest::newRow("above the table")
        << 5.5 << 0.0 << 100.0 << int(RowSkip::OutsideTable) << 0 << 0.0 << 0.0;
    // Entries 0 and 1 are both 0 V: a flat step holds nothing, the next one takes the row.
    QTest::newRow("flat start") << 0.0 << 0.0 << 100.0 << none << 1 << 0.0 << 0.0;
    // 1.6 V lies in 5..6 and again in 20..21: the first crossing counts.
    QTest::newRow("first crossing") << 1.6 << 0.0 << 100.0 << none << 5 << 0.12 << 0.0;
    QTest::newRow("1023 words end the rise")
        << 1023 / 204.8 << 0.0 << 100.0 << none << 15 << 1.0 << 0.0;
    QTest::newRow("below the meter")
        << -0.01 << 0.0 << 100.0 << int(RowSkip::OutsideMeter) << 0 << 0.0 << 0.0;
    QTest::newRow("above the meter")
        << 6.01 << 0.0 << 100.0 << int(RowSkip::OutsideMeter) << 0 << 0.0 << 0.0;
    // f = 1100 at 5.5 V; +10 % wants 1210, past the meter's last flow.
    QTest::newRow("trimmed flow past the meter")
        << 5.5 << 10.0 << 100.0 << int(RowSkip::OutsideMeter) << 0 << 0.0 << 0.0;
    QTest::newRow("zero strength keeps the signal")
        << 1.5 << 10.0 << 0.0 << none << 4 << 0.8 << 0.0;
}

void TestCorrect::rowSteps() {
    QFETCH(double, s);
    QFETCH(double, trim);
    QFETCH(double, strength);
    QFETCH(int, skip);
    QFETCH(int, entry);
    QFETCH(double, a);
    QFETCH(double, d);
    const MeterCurve m = curve();
    CorrectionSums sums(table(), false, m, strength);
    QCOMPARE(int(sums.add(s, trim)), skip);
    CorrectionReport r;
    sums.finish(1, r);
    double total = 0;
    for (const EntryCorrection& e : r.entries) total += e.samples;
    QCOMPARE(total, skip == int(RowSkip::None) ? 1.0 : 0.0);
    if (skip != int(RowSkip::None)) return;
    const EntryCorrection& lo = r.entries[size_t(entry)];
    const EntryCorrection& hi = r.entries[size_t(entry + 1)];
    QVERIFY(std::abs(lo.samples - (1 - a)) < 1e-12);
    QVERIFY(std::abs(hi.samples - a) < 1e-12);
    QVERIFY(std::abs(lo.shiftSum - (1 - a) * d) < 1e-12);
    QVERIFY(std::abs(hi.shiftSum - a * d) < 1e-12);
    QVERIFY(std::abs(hi.trimSum - a * trim) < 1e-12);
}

// Three rows at 1.5 V, +10 %: entry 4 gets 0.6 of a sample and 0.1 V, entry 5 gets 2.4.
void TestCorrect::minimumSamples_data() {
    QTest::addColumn<int>("n");
    QTest::addColumn<int>("word4");
    QTest::addColumn<int>("word5");
    // 1.25 + 0.1 = 1.35 V: 276.48 -> 276; 1.5625 + 0.1 V: 340.48 -> 340.
    QTest::newRow("1: only entry 5") << 1 << 256 << 340;
    QTest::newRow("2: only entry 5") << 2 << 256 << 340;
    QTest::newRow("3: neither") << 3 << 256 << 320;
}

void TestCorrect::minimumSamples() {
    QFETCH(int, n);
    QFETCH(int, word4);
    QFETCH(int, word5);
    const MeterCurve m = curve();
    CorrectionSums sums(table(), false, m, 100);
    for (int k = 0; k < 3; ++k) sums.add(1.5, 10);
    CorrectionReport r;
    sums.finish(n, r);
    QCOMPARE(int(r.entries[4].proposedWord), word4);
    QCOMPARE(int(r.entries[5].proposedWord), word5);
    QCOMPARE(r.entries[5].corrected, n <= 2);
    QVERIFY(std::abs(r.entries[5].meanTrim() - 10) < 1e-12);
    QCOMPARE(r.changedEntries(), n <= 2 ? 1 : 0);

    // Five rows give entry 4 a whole sample.
    CorrectionSums more(table(), false, m, 100);
    for (int k = 0; k < 5; ++k) more.add(1.5, 10);
    more.finish(1, r);
    QCOMPARE(int(r.entries[4].proposedWord), 276);
}

// The counts a log gives: read, used, not a number, filtered, outside the meter, outside the
// table; or the refusal.
void TestCorrect::logReading_data() {
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QStringList>("trims");
    QTest::addColumn<QString>("filter");  // column:min:max, or empty
    QTest::addColumn<QList<qint64>>("counts");
    QTest::addColumn<double>("trim5");  // the mean trim of entry 5
    QTest::addColumn<QString>("error");
    const QStringList t = {"Trim"};
    using C = QList<qint64>;
    QTest::newRow("comma, LF") << QByteArray("MAF,Trim\n1.5,10\n1.5,20\n") << t << ""
                               << C{2, 2, 0, 0, 0, 0} << 15.0 << "";
    QTest::newRow("semicolon after a quoted comma, CR LF")
        << QByteArray("\"Sig, V\";MAF;Trim\r\n0;1.5;10\r\n0;1.5;10\r\n") << t << ""
        << C{2, 2, 0, 0, 0, 0} << 10.0 << "";
    QTest::newRow("tab, names in any case and blanks")
        << QByteArray("\xEF\xBB\xBF  maf \t TRIM\n1.5\t4\n") << t << "" << C{1, 1, 0, 0, 0, 0}
        << 4.0 << "";
    QTest::newRow("quoted fields, no last line end, blank lines")
        << QByteArray("MAF,Trim\n\n\"1.5\", \"10\"\n\n1.5,10") << t << "" << C{2, 2, 0, 0, 0, 0}
        << 10.0 << "";
    QTest::newRow("two trims add up") << QByteArray("MAF,A,B\n1.5,4,6\n") << QStringList{"a", "b"}
                                      << "" << C{1, 1, 0, 0, 0, 0} << 10.0 << "";
    QTest::newRow("not numbers")
        << QByteArray(
               "MAF,Trim,X\n1.5,,x\n1.5,abc,x\n\"1,5\",10,x\n1.5,10\n1.5,10,x,y\nnan,1,x\n"
               "inf,1,x\n0x1,1,x\n1.5,1e999,x\n1.5,10,x\n")
        << t << "" << C{10, 1, 9, 0, 0, 0} << 10.0 << "";
    QTest::newRow("a number in another column does not matter")
        << QByteArray("MAF,Trim,Note\n1.5,10,no number\n") << t << "" << C{1, 1, 0, 0, 0, 0} << 10.0
        << "";
    QTest::newRow("filter") << QByteArray(
                                   "MAF,Trim,ECT\n1.5,10,60\n1.5,10,70\n1.5,20,120\n1.5,10,\n")
                            << t << "ect:70:120" << C{4, 2, 1, 1, 0, 0} << 15.0 << "";
    QTest::newRow("outside the meter and the table")
        << QByteArray("MAF,Trim\n-1,0\n7,0\n5.5,10\n5.5,0\n1.5,10\n") << t << ""
        << C{5, 1, 0, 0, 3, 1} << 10.0 << "";
    QTest::newRow("a line too long for a row")
        << QByteArray("MAF,Trim\n1.5,10\n") + QByteArray(LogReader::kMaxLine + 10, '1') +
               QByteArray("\n1.5,10\n")
        << t << "" << C{3, 2, 1, 0, 0, 0} << 10.0 << "";
    QTest::newRow("semicolon, decimal comma, units row, Latin-1 names")
        << QByteArray(
               "Zeit;MAF;Trim;K\xFChlmittel\ns;V;%;\xB0"
               "C\n0,1;1,5;10;80\n0,2;1,5;20;81\n")
        << t << "" << C{2, 2, 0, 0, 0, 0} << 15.0 << "";
    QTest::newRow("preamble, trailing separators, NaN, a cut last row")
        << QByteArray("# made by hand\nLogger: x\n\nMAF;Trim;\n1,5;10;\n1,5;NaN;\n1,5;") << t << ""
        << C{3, 1, 2, 0, 0, 0} << 10.0 << "";
    QTest::newRow("trims as factors") << QByteArray("MAF,Trim\n1.5,1.10\n1.5,1.10\n") << t << ""
                                      << C{2, 2, 0, 0, 0, 0} << 10.0 << "";
    QTest::newRow("mass flow through the meter (lb/h)")
        << QByteArray("MAF (g/s),Trim\n25.19958,10\n") << t << "" << C{1, 1, 0, 0, 0, 0} << 10.0
        << "";
    QTest::newRow("the second of two columns of one name")
        << QByteArray("MAF,Trim,trim\n1.5,0,10\n") << QStringList{"Trim#2"} << ""
        << C{1, 1, 0, 0, 0, 0} << 10.0 << "";
    QTest::newRow("two columns of one name")
        << QByteArray("MAF,Trim,trim\n1.5,0,10\n") << t << "" << C{} << 0.0
        << "The log has 2 columns 'Trim': name one as "
           "'Trim#1' or 'Trim#2'.";
    QTest::newRow("text filter")
        << QByteArray("MAF,Trim,Loop\n1.5,10,CL - Normal\n1.5,20,OL Drive\n1.5,30,\n") << t
        << "loop=cl*" << C{3, 1, 0, 2, 0, 0} << 10.0 << "";
    QTest::newRow("number filter on text")
        << QByteArray("MAF,Trim,Loop\n1.5,10,CL\n") << t << "Loop:1:2" << C{} << 0.0
        << "The column 'Loop' holds text, not numbers: filter it by its text ('Loop=PATTERN').";
    QTest::newRow("a volume flow")
        << QByteArray("MAF (cfm),Trim\n100,10\n") << t << "" << C{} << 0.0
        << "The log's air flow 'MAF (cfm)' is a volume (cfm): without "
           "the air density its logger assumed it gives no mass. Log "
           "the mass air flow (g/s) instead.";
    QTest::newRow("no row used: no numbers")
        << QByteArray("MAF,Trim\n") + QByteArray("x,1\n").repeated(1234) + "1.5,\n"
        << t << "" << C{} << 0.0
        << "No row of the log was used: 1,234 rows had no number in 'MAF'.";
    QTest::newRow("no row used: filtered")
        << QByteArray("MAF,Trim,ECT\n1.5,1,20\n") << t << "ECT:70:120" << C{} << 0.0
        << "No row of the log was used: 1 row was left out by "
           "the filter on 'ECT'.";
    QTest::newRow("no row used: no rows") << QByteArray("MAF,Trim\n") << t << "" << C{} << 0.0
                                          << "No row of the log was used: it has no rows.";
    QTest::newRow("no such trim") << QByteArray("MAF,Trim\n") << QStringList{"Lambda"} << "" << C{}
                                  << 0.0 << "The log has no column 'Lambda'.";
    QTest::newRow("no such filter") << QByteArray("MAF,Trim\n") << t << "ECT:0:1" << C{} << 0.0
                                    << "The log has no column 'ECT'.";
    QTest::newRow("empty file") << QByteArray() << t << "" << C{} << 0.0
                                << "The log has no column 'MAF'.";
}

void TestCorrect::logReading() {
    QFETCH(QByteArray, log);
    QFETCH(QStringList, trims);
    QFETCH(QString, filter);
    QFETCH(QList<qint64>, counts);
    QFETCH(double, trim5);
    QFETCH(QString, error);
    CorrectionInput in;
    in.logPaths = {write("reading.csv", log)};
    in.words = table();
    in.meter = curve();
    in.settings.signal = "MAF";
    for (const QString& t : trims) in.settings.trims.append(t);
    in.settings.minSamples = 1;
    if (filter.contains('=')) {
        LogFilter f;
        f.column = filter.section('=', 0, 0);
        f.text = true;
        f.pattern = filter.section('=', 1);
        in.settings.filters.append(f);
    } else if (!filter.isEmpty()) {
        const QStringList f = filter.split(':');
        LogFilter range;
        range.column = f[0];
        range.min = f[1].toDouble();
        range.max = f[2].toDouble();
        in.settings.filters.append(range);
    }
    const CorrectionResult r = CorrectFromLog(in);
    QCOMPARE(r.error, error);
    QCOMPARE(r.ok, error.isEmpty());
    if (!r.ok) return;
    const CorrectionReport& p = r.report;
    const QList<qint64> got = {p.rowsRead, p.rowsUsed,     p.notANumber,
                               p.filtered, p.outsideMeter, p.outsideTable};
    QCOMPARE(got, counts);
    QVERIFY(std::abs(p.entries[5].meanTrim() - trim5) < 1e-9);
}

void TestCorrect::meterRefusals_data() {
    QTest::addColumn<bool>("meterHertz");
    QTest::addColumn<bool>("tableHertz");
    QTest::addColumn<MeterTextRows>("rows");
    QTest::addColumn<QString>("error");
    const MeterTextRows rising = {{"1", "10"}, {"2", "20"}};
    QTest::newRow("hertz for a volt table")
        << true << false << rising << "The meter reads hertz; the table drives volts.";
    QTest::newRow("volts for a hertz table")
        << false << true << rising << "The meter reads volts; the table drives hertz.";
    QTest::newRow("out of order is sorted")
        << false << false << MeterTextRows{{"2", "20"}, {"1", "10"}} << "";
    QTest::newRow("a falling flow")
        << false << false << MeterTextRows{{"1", "10"}, {"2", "20"}, {"3", "15"}}
        << "The meter's flows do not rise with its signal.";
    QTest::newRow("one signal twice")
        << false << false << MeterTextRows{{"1", "10"}, {"1", "20"}, {"3", "30"}}
        << "The meter's flows do not rise with its signal.";
    QTest::newRow("one point") << false << false << MeterTextRows{{"1", "10"}}
                               << "The meter's flows do not rise with its signal.";
}

void TestCorrect::meterRefusals() {
    QFETCH(bool, meterHertz);
    QFETCH(bool, tableHertz);
    QFETCH(MeterTextRows, rows);
    QFETCH(QString, error);
    MeterCurve c;
    QString message;
    QCOMPARE(MeterCurveOf(meterRecord(false, meterHertz, rows), "m.maf", tableHertz, c, message),
             error.isEmpty());
    QCOMPARE(message, error);
    if (error.isEmpty()) QCOMPARE(c.signal, std::vector<double>({1, 2}));
}

void TestCorrect::cliRefusals_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("error");  // the start of standard error
    const QString p = dir_.filePath("p.KEX");
    const QString l = dir_.filePath("log.csv");
    const QString m = dir_.filePath("volts.maf");
    const QStringList ok = {"correct", p, l, "--meter", m, "--signal", "MAF", "--trim", "Trim"};
    QTest::newRow("no such column") << QStringList(ok.mid(0, 7) + QStringList{"--trim", "Trim,X"})
                                    << 1 << "The log has no column 'X'.";
    QStringList hertz = ok;
    hertz[4] = dir_.filePath("hertz.maf");
    QTest::newRow("meter of the other kind")
        << hertz << 1 << "The meter reads hertz; the table drives volts.";
    QStringList noLog = ok;
    noLog[2] = dir_.filePath("none.csv");
    QTest::newRow("no log") << noLog << 1 << noLog[2] + " not found";
    QTest::newRow("filter without a range") << ok + QStringList{"--filter", "ECT:70"} << 2
                                            << "varnel-cli: --filter takes COLUMN:MIN:MAX";
    QTest::newRow("strength 150") << ok + QStringList{"--strength", "150"} << 2
                                  << "varnel-cli: --strength";
    QTest::newRow("unknown option")
        << ok + QStringList{"--fast"} << 2 << "varnel-cli: unknown option --fast";
    QTest::newRow("decimal mark") << ok + QStringList{"--decimal", "dot"} << 2
                                  << "varnel-cli: --decimal takes comma or point";
    QTest::newRow("no row used") << ok + QStringList{"--filter", "MAF:3:4"} << 1
                                 << "No row of the log was used: 1 row was left out by the filter "
                                    "on 'MAF'.";
    for (const auto& [option, value, message] :
         {std::tuple{"--mode", "sideways", "--mode takes closed, open or both"},
          std::tuple{"--lock", "5-40", "--lock takes A-B, entries from 0 to 32"},
          std::tuple{"--lock", "9-3", "--lock takes A-B, entries from 0 to 32"},
          std::tuple{"--stoich", "30", "--stoich takes an AFR from 5 to 25"},
          std::tuple{"--open-loop-ltft", "yes", "--open-loop-ltft takes on or off"},
          std::tuple{"--lag", "-5", "--lag takes milliseconds from 0 to 10000"},
          std::tuple{"--max-rate", "fast", "--max-rate takes a rate from 0 up (0: off)"},
          std::tuple{"--max-change", "150", "--max-change takes a percentage from 0 to 100"}})
        QTest::newRow(qPrintable(QStringLiteral("%1 %2").arg(option, value)))
            << ok + QStringList{option, value} << 2 << QStringLiteral("varnel-cli: ") + message;
    QTest::newRow("--afr and --lambda")
        << ok + QStringList{"--afr", "MAF", "--lambda", "Trim"} << 2
        << "varnel-cli: --afr and --lambda name the same column: give one";
    QTest::newRow("open loop from a log without a wideband")
        << ok + QStringList{"--mode", "open"} << 1
        << "The log has no wideband column (AFR or lambda): the open-loop rows need one.";
    QTest::newRow("open loop without a commanded mixture")
        << ok + QStringList{"--mode", "both", "--afr", "Trim"} << 1
        << "The log has no commanded AFR or lambda column: the open-loop rows need one.";
    for (const char* option : {"--lag", "--max-rate"})
        QTest::newRow(qPrintable(QStringLiteral("%1 without a time column").arg(option)))
            << ok + QStringList{option, "100"} << 1
            << "The log has no time column: the wideband's lag and the rate limit need one.";
    const QString speed = dir_.filePath("speed.csv");
    QFile f(speed);
    QVERIFY(f.open(QIODevice::WriteOnly) && f.write("Speed,STFT\n1,2\n") > 0);
    f.close();
    QTest::newRow("no signal by its role")
        << QStringList{"correct", p, speed, "--meter", m} << 1
        << "The log has no column that holds the meter's signal or the air mass flow.";
    QTest::newRow("no trim by its role") << ok.mid(0, 7) << 1 << "The log has no fuel trim column.";
    QTest::newRow("log: no such file")
        << QStringList{"log", noLog[2]} << 1 << noLog[2] + " not found";
    QTest::newRow("log: two logs")
        << QStringList{"log", l, l} << 2 << "varnel-cli: log takes one LOG";
}

void TestCorrect::cliRefusals() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, error);
    const QByteArray before = readAll(project_);
    const Run r = cli(args);
    QCOMPARE(r.code, code);
    QVERIFY2(r.err.startsWith(error), qPrintable(r.err));
    QVERIFY(r.out.isEmpty());
    QCOMPARE(readAll(project_), before);
}

// A log made through the model engine from a table that gives 4 % too little flow everywhere:
// the trims read about +4.17 %; after one correct --apply the same engine, logged again, needs
// trims within 0.5 % at every entry that had enough samples.
void TestCorrect::knownErrorIsCorrected() {
    const QString meter = known_;
    datalog::EngineModel model;
    QString error;
    QVERIFY(datalog::ReadCurve(meter, 1, model.expected, error));
    model.fitted = model.expected;
    model.inputLow = 1.5;
    model.inputHigh = 4.5;
    for (int i = 0; i < kTableEntries; ++i) {
        const double x = std::min(i * 0.1875, 5.0);
        const double s = model.expected.signalAt(0.96 * model.expected.flowAt(x));
        model.table[size_t(i)] = uint16_t(std::lround(s * 204.8));
    }
    const QString project = dir_.filePath("known.KEX");
    QCOMPARE(cli({"new", project}).code, 0);
    {
        ProjectHeader header;
        EepromImage image;
        QCOMPARE(ReadProjectFile(project, header, image), ReadStatus::Ok);
        for (int i = 0; i < kTableEntries; ++i) image.setEntry(i, model.table[size_t(i)]);
        QCOMPARE(WriteProjectFile(project, header, image, error), SaveStatus::Saved);
    }
    datalog::LogShape shape;
    shape.rows = 4000;
    shape.noise = 0;
    shape.dropoutEvery = 500;
    auto logOf = [&](const QString& name) {
        const QString path = dir_.filePath(name);
        return datalog::WriteLogFile(path, model, shape) ? path : QString();
    };
    const QStringList how = {"--meter",       meter,      "--signal",     "maf v", "--trim",
                             "STFT %,LTFT %", "--filter", "ECT C:70:200", "--json"};
    // How many entries have enough samples; any of them that fails ok counts as a thousand.
    auto corrected = [](const Run& r, const std::function<bool(const QJsonObject&)>& ok) {
        int n = 0;
        const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
        for (const QJsonValue v : report.value("entries").toArray()) {
            const QJsonObject e = v.toObject();
            if (e.value("samples").toDouble() < 10) continue;
            if (!ok(e)) qWarning("%s", QJsonDocument(e).toJson().constData());
            n += ok(e) ? 1 : 1000;
        }
        return n;
    };

    const QString before = logOf("known-1.csv");
    Run r = cli(QStringList{"correct", project, before} + how.mid(0, 8), "de_DE.UTF-8");
    QCOMPARE(r.code, 0);
    QVERIFY2(r.out.contains("Skipped, not a number: 8\n") && r.out.contains("|  +4.1"),
             qPrintable(r.out));
    r = cli(QStringList{"correct", project, before, "--apply"} + how);
    QCOMPARE(r.code, 0);
    QVERIFY(r.out.contains("\"rowsRead\": 4000") && r.out.contains("\"filtered\": 400"));
    // Entries 8 to 24, 1.5 V to 4.5 V, read the error and move up.
    QCOMPARE(corrected(r,
                       [](const QJsonObject& e) {
                           return std::abs(e.value("meanTrim").toDouble() - 4.17) < 1 &&
                                  e.value("proposedWord").toInt() > e.value("word").toInt();
                       }),
             17);

    EepromImage image;
    ProjectHeader header;
    QCOMPARE(ReadProjectFile(project, header, image), ReadStatus::Ok);
    for (int i = 0; i < kTableEntries; ++i) model.table[size_t(i)] = image.entry(i);
    r = cli(QStringList{"correct", project, logOf("known-2.csv")} + how);
    QCOMPARE(r.code, 0);
    QCOMPARE(corrected(r,
                       [](const QJsonObject& e) {
                           return std::abs(e.value("meanTrim").toDouble()) <= 0.5;
                       }),
             17);
}

// Rows of closed and open loop through varnel-cli correct on the new project's table, every row
// at entry 8's output (1.4990234375 V) so that entry 8 takes each used row whole: the rows used
// in each loop, the skips by reason, and entry 8's mean correction (closed loop: the trims;
// open loop: (1 + LTFT / 100) x measured / commanded - 1, in percent); or the refusal.
void TestCorrect::loopRows_data() {
    QTest::addColumn<QByteArray>("log");
    QTest::addColumn<QStringList>("options");
    // read, used closed, used open, not a number, filtered, wideband out of range, transient,
    // outlier
    QTest::addColumn<QList<qint64>>("counts");
    QTest::addColumn<double>("mean");
    QTest::addColumn<QString>("error");
    using C = QList<qint64>;
    const QByteArray head = "MAF,STFT %,LTFT %,AFR,Target AFR,Loop\n";
    const QByteArray s = "1.4990234375,";
    // 1.02 x 13.2 / 12 = 1.122
    QTest::newRow("OBD-II status: 2 closed; 1, 4, 8, 16 open; 0 by the commanded AFR")
        << head + s + "2,3,14.7,14.7,2\n" + s + "9,2,13.2,12,1\n" + s + "9,2,13.2,12,4\n" + s +
               "9,2,13.2,12,8\n" + s + "9,2,13.2,12,16\n" + s + "9,2,13.2,12,0\n" + s +
               "1,2,14.7,14.7,0\n"
        << QStringList() << C{7, 2, 5, 0, 0, 0, 0, 0} << (5 + 3 + 5 * 12.2) / 7 << "";
    QTest::newRow("status texts") << head + s + "2,3,13.2,12,CL - Normal\n" + s +
                                         "9,2,13.2,12,OL Drive\n" + s +
                                         "2,3,13.2,12,Closed Loop\n" + s + "9,2,13.2,12,open\n"
                                  << QStringList() << C{4, 2, 2, 0, 0, 0, 0, 0}
                                  << (5 + 5 + 2 * 12.2) / 4 << "";
    QTest::newRow("no status: richer than stoichiometric by more than 2 % is open loop")
        << QByteArray("MAF,STFT %,LTFT %,AFR,Target AFR\n") + s + "0,0,14.7,14.7\n" + s +
               "0,0,14.5,14.5\n" + s + "9,4,14.3,14.3\n"
        << QStringList() << C{3, 2, 1, 0, 0, 0, 0, 0} << 4 / 3.0 << "";
    // 9.0 / 9.8 / 0.85 = 1.0804
    QTest::newRow("an AFR against a commanded lambda, --stoich 9.8")
        << QByteArray("MAF,STFT %,LTFT %,AFR,Lambda Target\n") + s + "5,0,9.0,0.85\n"
        << QStringList{"--stoich", "9.8"} << C{1, 0, 1, 0, 0, 0, 0, 0} << 8.0432 << "";
    QTest::newRow("--open-loop-ltft off")
        << head + s + "9,2,13.2,12,4\n"
        << QStringList{"--open-loop-ltft", "off"} << C{1, 0, 1, 0, 0, 0, 0, 0} << 10.0 << "";
    QTest::newRow("--mode closed leaves the open-loop rows out")
        << head + s + "2,3,14.7,14.7,2\n" + s + "9,2,13.2,12,4\n"
        << QStringList{"--mode", "closed"} << C{2, 1, 0, 0, 1, 0, 0, 0} << 5.0 << "";
    QTest::newRow("--mode open leaves the closed-loop rows out")
        << head + s + "2,3,14.7,14.7,2\n" + s + "9,2,13.2,12,4\n"
        << QStringList{"--mode", "open"} << C{2, 0, 1, 0, 1, 0, 0, 0} << 12.2 << "";
    QTest::newRow("in open loop only the wideband, the commanded AFR and the LTFT must be numbers")
        << head + s + ",2,13.2,12,4\n" + s + "1,,13.2,12,4\n" + s + "1,2,,12,4\n" + s +
               "1,2,13.2,-,4\n"
        << QStringList() << C{4, 0, 1, 3, 0, 0, 0, 0} << 12.2 << "";
    QTest::newRow("a wideband from 9 to 20 AFR")
        << head + s + "0,0,8.9,12,4\n" + s + "0,0,9,12,4\n" + s + "0,0,20,12,4\n" + s +
               "0,0,20.1,12,4\n"
        << QStringList{"--min-samples", "2"} << C{4, 0, 2, 0, 0, 2, 0, 0} << (-25 + 66.6667) / 2
        << "";
    QTest::newRow("a wideband lambda from 0.6 to 1.4")
        << QByteArray("MAF,STFT %,LTFT %,Lambda,Lambda Target\n") + s + "0,0,0.59,0.8\n" + s +
               "0,0,0.88,0.8\n" + s + "0,0,1.41,0.8\n"
        << QStringList() << C{3, 0, 1, 0, 0, 2, 0, 0} << 10.0 << "";
    // Each row takes the AFR of the row 200 ms after it; the last two have none.
    QTest::newRow("--lag 200") << QByteArray("Time ms,MAF,STFT %,LTFT %,AFR,Target AFR\n0,") + s +
                                      "0,0,12,12\n100," + s + "0,0,12,12\n200," + s +
                                      "0,0,13.2,12\n300," + s + "0,0,13.2,12\n400," + s +
                                      "0,0,13.2,12\n500," + s + "0,0,13.2,12\n"
                               << QStringList{"--lag", "200"} << C{6, 0, 4, 2, 0, 0, 0, 0} << 10.0
                               << "";
    QTest::newRow("--lag 140: the value of the nearer row")
        << QByteArray("Time s,MAF,STFT %,LTFT %,AFR,Target AFR\n0,") + s + "0,0,12,12\n0.1," + s +
               "0,0,12.6,12\n0.2," + s + "0,0,13.2,12\n0.26," + s + "0,0,12,12\n"
        << QStringList{"--lag", "140", "--min-samples", "2"} << C{4, 0, 2, 2, 0, 0, 0, 0} << 2.5
        << "";
    QTest::newRow("--max-rate 5: a jump of 1 V in 0.1 s and back")
        << QByteArray("Time s,MAF,STFT %,LTFT %\n0,") + s + "1,1\n0.1," + s +
               "1,1\n0.2,2.5,1,1\n0.3," + s + "1,1\n0.4," + s + "1,1\n"
        << QStringList{"--max-rate", "5"} << C{5, 3, 0, 0, 0, 0, 2, 0} << 2.0 << "";
    QByteArray steady = head;
    for (int k = 0; k < 30; ++k)
        steady += s + "0,0," + QByteArray::number(13.19 + 0.01 * (k % 3)) + ",12,4\n";
    QTest::newRow("an open-loop row beyond four spreads of its entry")
        << steady + s + "0,0,15.6,12,4\n"
        << QStringList() << C{31, 0, 30, 0, 0, 0, 0, 1} << 10.0 << "";
    QTest::newRow("no row used: all in open loop, closed loop asked for")
        << head + s + "9,2,13.2,12,4\n" + s + "9,2,13.2,12,4\n"
        << QStringList{"--mode", "closed"} << C{} << 0.0
        << "No row of the log was used: 2 rows were in open loop, which the mode leaves out.";
    QTest::newRow("no row used: the wideband out of range")
        << head + s + "0,0,25,12,4\n"
        << QStringList() << C{} << 0.0
        << "No row of the log was used: 1 row's wideband lay outside 9 to 20 AFR.";
    QTest::newRow("no row used: transients")
        << QByteArray("Time s,MAF,STFT %,LTFT %\n0,1,,1\n0.1,2,1,1\n0.2,1,1,1\n")
        << QStringList{"--max-rate", "1"} << C{} << 0.0
        << "No row of the log was used: 2 rows were transients (the signal moved faster than "
           "the rate limit).";
}

void TestCorrect::loopRows() {
    QFETCH(QByteArray, log);
    QFETCH(QStringList, options);
    QFETCH(QList<qint64>, counts);
    QFETCH(double, mean);
    QFETCH(QString, error);
    const Run r = cli(QStringList{"correct", project_, write("loop.csv", log), "--meter",
                                  dir_.filePath("volts.maf"), "--min-samples", "1", "--json"} +
                      options);
    QCOMPARE(r.err, error);
    QCOMPARE(r.code, error.isEmpty() ? 0 : 1);
    if (!error.isEmpty()) return;
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonObject skipped = o.value("skipped").toObject();
    QCOMPARE(skipped.keys(), (QStringList{"filtered", "notANumber", "outlier", "outsideMeter",
                                          "outsideTable", "transient", "widebandOutOfRange"}));
    const QList<qint64> got = {qint64(o.value("rowsRead").toInt()),
                               qint64(o.value("rowsUsedClosed").toInt()),
                               qint64(o.value("rowsUsedOpen").toInt()),
                               qint64(skipped.value("notANumber").toInt()),
                               qint64(skipped.value("filtered").toInt()),
                               qint64(skipped.value("widebandOutOfRange").toInt()),
                               qint64(skipped.value("transient").toInt()),
                               qint64(skipped.value("outlier").toInt())};
    QCOMPARE(got, counts);
    QCOMPARE(o.value("rowsUsed").toInt(), counts[1] + counts[2]);
    const QJsonObject e = o.value("entries").toArray()[8].toObject();
    QVERIFY2(std::abs(e.value("meanTrim").toDouble() - mean) < 2e-3,
             qPrintable(QString::number(e.value("meanTrim").toDouble())));
    QCOMPARE(e.value("samplesClosed").toDouble() + e.value("samplesOpen").toDouble(),
             e.value("samples").toDouble());
    QCOMPARE(e.value("samplesOpen").toDouble(), double(counts[2]));
}

// The proposal from entries' estimates on a table that rises by 32 words an entry (entry 32 at
// 1023): each listed entry as "entry:samples:shift in words"; locks; and the words proposed,
// with "h" for held to keep the table rising, "l" for limited, "k" for locked.
void TestCorrect::proposal_data() {
    QTest::addColumn<QString>("estimates");
    QTest::addColumn<EntryWords>("words");  // entries whose word now differs from 32 i
    QTest::addColumn<int>("minSamples");
    QTest::addColumn<double>("maxChange");
    QTest::addColumn<QList<int>>("locked");
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<int>("held");
    using W = EntryWords;
    using L = QList<int>;
    QTest::newRow("a rising estimate is taken as it is")
        << "10:20:+5 11:20:+3" << W() << 10 << 0.0 << L() << "10=325 11=355" << 0;
    // (30 x 360 + 10 x 342) / 40 = 355.5: to even.
    QTest::newRow("a fall is pooled, weighted by the samples")
        << "10:30:+40 11:10:-10" << W() << 10 << 0.0 << L() << "10=356h 11=356h" << 2;
    QTest::newRow("too few samples: the entry keeps its word and bounds the others")
        << "10:20:+40 11:5:+9 12:20:-30" << W() << 10 << 0.0 << L() << "10=352h 11=352 12=354" << 1;
    QTest::newRow("a locked entry bounds the others")
        << "10:20:+40 11:20:+9 12:20:-30" << W() << 10 << 0.0 << L{11} << "10=352h 11=352k 12=354"
        << 1;
    // Entry 11 falls now: nothing binds 10 to 11, but 11 to 12 still rises: (210 + 184) / 2.
    QTest::newRow("only where the table rises now")
        << "10:20:+40 11:20:+10 12:20:-200" << W{{11, 200}} << 10 << 0.0 << L()
        << "10=360 11=197h 12=197h" << 2;
    // 320 words: 1.5625 V, 212.5; 5 % more is 223.125 at 1.615625 V, 330.88 words. 640 words:
    // 3.125 V, 625; 5 % less is 593.75 at 2.979 V, 610.13 words. 352 words: 1.71875 V, 243.75;
    // 5 % more is 255.94 at 1.7797 V, 364.48 words.
    QTest::newRow("the largest change, as the meter's flow")
        << "10:20:+40 11:20:+20 20:20:-31" << W() << 10 << 5.0 << L() << "10=330l 11=364l 20=611l"
        << 0;
}

void TestCorrect::proposal() {
    QFETCH(QString, estimates);
    QFETCH(EntryWords, words);
    QFETCH(int, minSamples);
    QFETCH(double, maxChange);
    QFETCH(QList<int>, locked);
    QFETCH(QString, proposed);
    QFETCH(int, held);
    CorrectionReport r;
    for (int i = 0; i < kTableEntries; ++i)
        r.entries[size_t(i)].word = uint16_t(words.value(i, std::min(32 * i, 1023)));
    for (const QString& e : estimates.split(' ')) {
        const QStringList f = e.split(':');
        EntryCorrection& c = r.entries[size_t(f[0].toInt())];
        c.samples = f[1].toDouble();
        c.shiftSum = c.samples * f[2].toDouble() / 204.8;
    }
    ProposalLimits limits;
    limits.minSamples = minSamples;
    limits.maxChange = maxChange;
    for (const int i : locked) limits.locked[size_t(i)] = true;
    ProposeWords(curve(), false, limits, r);
    QStringList got;
    for (const QString& e : estimates.split(' ')) {
        const EntryCorrection& c = r.entries[size_t(e.section(':', 0, 0).toInt())];
        got << e.section(':', 0, 0) + '=' + QString::number(c.proposedWord) + (c.held ? "h" : "") +
                   (c.limited ? "l" : "") + (c.locked ? "k" : "");
    }
    QCOMPARE(got.join(' '), proposed);
    QCOMPARE(r.heldRising, held);
    // The other entries keep their words.
    for (int i = 0; i < kTableEntries; ++i)
        if (!estimates.contains(QString::number(i) + ':'))
            QCOMPARE(r.entries[size_t(i)].proposedWord, r.entries[size_t(i)].word);
}

// The model engine on a table that gives the right flow at every entry, while the air really
// flows 3 % less than that at 1.5 V and 5 % more at 4.5 V, in a straight line between; above
// 3.5 V in, the engine runs in open loop (commanding 12.5 AFR, its LTFT held) and only the
// wideband sees the error. After one correct --apply every entry with enough samples gives
// within 1 % of the air that really flows at its input; with closed loop only, the entries that
// only open-loop rows reached keep their words.
void TestCorrect::bothRegionsCorrected_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("lagRows");  // the wideband shows the mixture of this many rows before
    QTest::addColumn<bool>("openCorrected");
    QTest::newRow("both loops") << QStringList{"--mode", "both"} << 0 << true;
    QTest::newRow("both loops by default") << QStringList() << 0 << true;
    QTest::newRow("closed loop only") << QStringList{"--mode", "closed"} << 0 << false;
    QTest::newRow("a wideband 300 ms late, --lag 300")
        << QStringList{"--mode", "both", "--lag", "300"} << 3 << true;
}

void TestCorrect::bothRegionsCorrected() {
    QFETCH(QStringList, options);
    QFETCH(int, lagRows);
    QFETCH(bool, openCorrected);
    datalog::EngineModel model;
    QString error;
    QVERIFY(datalog::ReadCurve(known_, 1, model.expected, error));
    model.fitted = model.expected;
    model.inputLow = 1.5;
    model.inputHigh = 4.5;
    model.errorLow = -3;
    model.errorHigh = 5;
    for (int i = 0; i < kTableEntries; ++i)
        model.table[size_t(i)] = uint16_t(std::lround(std::min(i * 0.1875, 5.0) * 204.8));
    const QString project =
        dir_.filePath(QStringLiteral("regions-%1.KEX").arg(QTest::currentDataTag()));
    QCOMPARE(cli({"new", project}).code, 0);
    ProjectHeader header;
    EepromImage image;
    QCOMPARE(ReadProjectFile(project, header, image), ReadStatus::Ok);
    for (int i = 0; i < kTableEntries; ++i) image.setEntry(i, model.table[size_t(i)]);
    QCOMPARE(WriteProjectFile(project, header, image, error), SaveStatus::Saved);
    datalog::LogShape shape;
    shape.rows = 8000;
    shape.noise = 0.5;
    shape.wideband = true;
    shape.openLoopAbove = 3.5;
    shape.widebandLag = lagRows;
    const QString log = dir_.filePath("regions.csv");
    QVERIFY(datalog::WriteLogFile(log, model, shape));

    const Run r = cli(QStringList{"correct", project, log, "--meter", known_, "--filter",
                                  "ECT C:70:200", "--json", "--apply"} +
                      options);
    QCOMPARE(r.code, 0);
    const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QVERIFY(report.value("rowsUsedClosed").toInt() > 4500);
    QCOMPARE(report.value("rowsUsedOpen").toInt() > 2000, openCorrected);
    QCOMPARE(report.value("heldRising").toInt(), 0);
    QCOMPARE(ReadProjectFile(project, header, image), ReadStatus::Ok);
    int corrected = 0;
    int openOnly = 0;
    int wasOff = 0;  // entries more than 2 % off before
    double worst = 0;
    for (const QJsonValue v : report.value("entries").toArray()) {
        const QJsonObject e = v.toObject();
        const int i = e.value("entry").toInt();
        const double right = model.trueFlow(i * 0.1875);
        const double flow = model.expected.flowAt(image.entry(i) / 204.8);
        const double now = model.expected.flowAt(model.table[size_t(i)] / 204.8);
        if (e.value("samples").toDouble() >= 10) {
            ++corrected;
            wasOff += std::abs(now / right - 1) > 0.02 ? 1 : 0;
            worst = std::max(worst, std::abs(flow / right - 1));
            QVERIFY2(std::abs(flow / right - 1) < 0.01,
                     qPrintable(QStringLiteral("entry %1: %2, right %3, was %4")
                                    .arg(i)
                                    .arg(flow)
                                    .arg(right)
                                    .arg(now)));
        }
        if (i * 0.1875 > 3.5 + 0.1875 && i * 0.1875 <= 4.5) {
            ++openOnly;
            QCOMPARE(e.value("samplesClosed").toDouble(), 0.0);
            if (!openCorrected) QCOMPARE(image.entry(i), model.table[size_t(i)]);
        }
    }
    QCOMPARE(openOnly, 5);  // entries 20 to 24
    QCOMPARE(corrected, openCorrected ? 17 : 12);
    QVERIFY(wasOff >= (openCorrected ? 9 : 4));
    qInfo("worst error after the correction: %.2f %%", worst * 100);
}

// Each logger's layout of tests/data/logs (tools/datalog/make-sample-logs.sh: one drive of the
// model engine on the sample meters' match, 40 rows): what the reader finds, what varnel-cli log
// prints, and varnel-cli correct with the columns its roles give. Every layout reads the same
// drive (wideband.tsv in open loop above 3.6 V in), so the mean corrections agree.
void TestCorrect::sampleLogs_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<QList<int>>("lines");  // names, units, first row, skipped lines
    QTest::addColumn<QString>("shape");     // separator, decimal mark, encoding
    QTest::addColumn<QString>("roles");     // of each column; "-" for none
    QTest::addColumn<QString>("units");     // of each column; "-" for none
    QTest::addColumn<QString>("columns");   // signal (kind), trims (as)
    QTest::addColumn<int>("rowsUsed");
    QTest::addColumn<QStringList>("options");  // more options of correct
    QTest::addColumn<int>("open");             // of the rows used, those in open loop
    QTest::addColumn<double>("mean");          // the rows' mean correction
    using L = QList<int>;
    QTest::newRow("ECU flasher: units in brackets")
        << "flasher.csv" << L{1, 0, 2, 0} << ", . utf-8"
        << "time rpm signal-volts trim-short trim-long coolant throttle afr"
        << "sec rpm V % % C % AFR"
        << "Mass Airflow Sensor Voltage (V) (volts); A/F Correction #1 (%), A/F Learning #1 (%) "
           "(percent)"
        << 40 << QStringList() << 0 << 2.36;
    QTest::newRow("VAG logger: title block, aliases, units row, factors")
        << "vag-logger.txt" << L{11, 13, 14, 12} << ", . utf-8"
        << "time rpm signal-volts trim-short trim-long coolant lambda-target"
        << "s 1/min V - - °C -"
        << "uhfm_w (volts); fr_w, fra_w (factor)" << 36 << QStringList() << 0 << 2.62;
    QTest::newRow("Accessport-style: byte-order mark, CR LF, Fahrenheit")
        << "accessport.csv" << L{1, 0, 2, 0} << ", . utf-8"
        << "time trim-short trim-long signal-volts rpm coolant throttle afr-target"
        << "sec % % V RPM F % AFR"
        << "MAF Voltage (V) (volts); AF Correction 1 (%), AF Learning 1 (%) (percent)" << 36
        << QStringList() << 0 << 2.62;
    QTest::newRow("phone app: mass flow, dashes, a clock, cfm")
        << "obd-phone.csv" << L{1, 0, 2, 0} << ", . utf-8"
        << "- - - - rpm mass-flow trim-short trim-long coolant volume-flow"
        << "- - - - rpm g/s % % °C cfm"
        << "Mass Air Flow Rate(g/s) (mass-flow); Fuel Trim Bank 1 Short Term(%), Fuel Trim Bank 1 "
           "Long Term(%) (percent)"
        << 36 << QStringList() << 0 << 2.36;
    QTest::newRow("scan tool: sections, channel numbers, loop texts")
        << "gm-scan.csv" << L{9, 10, 13, 11} << ", . utf-8"
        << "time rpm signal-hertz mass-flow trim-short trim-long loop coolant"
        << "s rpm Hz g/s % % - °C"
        << "Mass Airflow (mass-flow); Short Term Fuel Trim Bank 1, Long Term Fuel Trim Bank 1 "
           "(percent)"
        << 36 << QStringList() << 0 << 2.62;
    QTest::newRow("BMW tool: square brackets, kg/h, lambda")
        << "bmw-tool.csv" << L{1, 0, 2, 0} << ", . utf-8"
        << "time rpm mass-flow trim-short trim-long lambda lambda-target coolant"
        << "ms 1/min kg/h % % - - °C"
        << "Air mass[kg/h] (mass-flow); STFT B1[%], LTFT B1[%] (percent)" << 40 << QStringList()
        << 4 << 2.84;
    QTest::newRow("German tool: semicolons, decimal commas, Latin-1, units row")
        << "german-diag.csv" << L{1, 2, 3, 1} << "; , latin-1"
        << "time rpm signal-volts trim-short trim-long coolant throttle"
        << "s 1/min V % % °C °"
        << "Luftmassenmesser Spannung (volts); Kurzzeit-Gemischadaption Bank 1, "
           "Langzeit-Gemischadaption Bank 1 (percent)"
        << 36 << QStringList{"--filter", "Kühlmitteltemperatur:70:120"} << 0 << 2.62;
    QTest::newRow("decimal commas, trailing separators, blank lines, NaN, a cut last row")
        << "decimal-comma.csv" << L{1, 0, 2, 3} << "; , utf-8"
        << "time rpm mass-flow signal-volts trim-short trim-long coolant"
        << "msec rpm g/s V % % C"
        << "Mass Airflow Sensor Voltage (V) (volts); A/F Correction #1 (%), A/F Learning #1 (%) "
           "(percent)"
        << 36 << QStringList() << 0 << 2.36;
    QTest::newRow("diagnostic tool: group, name and unit lines, two TIME columns")
        << "diag-groups.csv" << L{3, 4, 5, 3} << ", . utf-8"
        << "- time rpm mass-flow time trim-short trim-long"
        << "- STAMP /min g/s STAMP % %"
        << "Air mass (mass-flow); Lambda control, Lambda adaptation (percent)" << 40
        << QStringList() << 0 << 2.36;
    QTest::newRow("one reading a row, pivoted by time")
        << "narrow.csv" << L{1, 0, 2, 0} << "; . utf-8"
        << "time rpm signal-volts trim-short trim-long coolant"
        << "- rpm V % % °C"
        << "MAF voltage (volts); STFT, LTFT (percent)" << 40 << QStringList() << 0 << 2.36;
    QTest::newRow("wideband: no units, lambda named AFR, AFR named equivalence ratio")
        << "wideband.tsv" << L{1, 0, 2, 0} << "\t . utf-8"
        << "time rpm signal-volts trim-short trim-long lambda afr-target afr loop"
        << "- - - - - - AFR -" + QString(" -") << "MAF (volts); STFT, LTFT (percent)" << 36
        << QStringList() << 9 << 2.87;
}

void TestCorrect::sampleLogs() {
    QFETCH(QString, file);
    QFETCH(QList<int>, lines);
    QFETCH(QString, shape);
    QFETCH(QString, roles);
    QFETCH(QString, units);
    QFETCH(QString, columns);
    QFETCH(int, rowsUsed);
    QFETCH(QStringList, options);
    QFETCH(int, open);
    QFETCH(double, mean);
    const QString path = QStringLiteral(VARNEL_LOGS_DIR "/") + file;
    LogReader reader;
    LogScan scan;
    QString error;
    QVERIFY(reader.open(path, LogOptions(), error) && ScanLog(reader, path, scan, error));
    const LogLayout& l = reader.layout();
    QCOMPARE((QList<int>{l.headerLine, l.unitsLine, l.dataLine,
                         int(l.skippedLines + scan.blankLines + scan.commentLines)}),
             lines);
    QCOMPARE(QStringLiteral("%1 %2 %3")
                 .arg(QChar(l.separator), QChar(l.decimal), l.latin1 ? "latin-1" : "utf-8"),
             shape);
    QStringList gotRoles;
    QStringList gotUnits;
    for (const LogColumn& c : l.columns) {
        gotRoles << (c.role == LogRole::None ? QStringLiteral("-") : RoleName(c.role));
        gotUnits << (c.unit.isEmpty() ? QStringLiteral("-") : c.unit);
    }
    QCOMPARE(gotRoles.join(' '), roles);
    QCOMPARE(gotUnits.join(' '), units);
    QCOMPARE(scan.rows, 40);

    // varnel-cli log --json: the same, under exactly these keys.
    Run r = cli({"log", path, "--json"});
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.keys(), (QStringList{"columns", "decimal", "encoding", "headerLine", "rows",
                                    "separator", "skippedLines"}));
    QCOMPARE(o.value("headerLine").toInt(), lines[0]);
    QCOMPARE(o.value("skippedLines").toInt(), lines[3]);
    QCOMPARE(o.value("rows").toInt(), 40);
    QCOMPARE(QStringLiteral("%1 %2 %3")
                 .arg(o.value("separator").toString(), o.value("decimal").toString(),
                      o.value("encoding").toString()),
             shape);
    const QJsonArray cols = o.value("columns").toArray();
    QCOMPARE(cols.size(), l.columnCount());
    for (int i = 0; i < cols.size(); ++i) {
        const QJsonObject c = cols[i].toObject();
        QCOMPARE(c.keys(), (QStringList{"name", "numeric", "role", "unit"}));
        QCOMPARE(c.value("name").toString(), l.columns[i].name);
        QCOMPARE(c.value("role").isNull() ? QStringLiteral("-") : c.value("role").toString(),
                 gotRoles[i]);
        QCOMPARE(c.value("numeric").toBool(), l.columns[i].numeric);
    }

    // varnel-cli correct with no column named: the roles choose. (A filter typed in UTF-8 finds
    // its Latin-1 column.)
    r = cli(QStringList{"correct", matched_, path, "--meter", VARNEL_SAMPLES_DIR "/sample-v2.maf",
                        "--min-samples", "1", "--json"} +
            options);
    QCOMPARE(r.code, 0);
    const QJsonObject report = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonObject chosen = report.value("columns").toObject();
    QStringList trims;
    for (const QJsonValue t : chosen.value("trims").toArray()) trims << t.toString();
    QCOMPARE(QStringLiteral("%1 (%2); %3 (%4)")
                 .arg(chosen.value("signal").toString(), chosen.value("signalKind").toString(),
                      trims.join(", "), chosen.value("trimsAs").toString()),
             columns);
    const QJsonArray logs = report.value("logs").toArray();
    QCOMPARE(logs.size(), 1);
    QCOMPARE(logs[0].toObject().value("path").toString(), path);
    QCOMPARE(logs[0].toObject().value("rowsUsed").toInt(), rowsUsed);
    QCOMPARE(report.value("rowsUsedOpen").toInt(), open);
    QCOMPARE(report.value("rowsUsedClosed").toInt(), rowsUsed - open);
    double samples = 0;
    double trimSum = 0;
    for (const QJsonValue v : report.value("entries").toArray()) {
        samples += v.toObject().value("samples").toDouble();
        trimSum +=
            v.toObject().value("samples").toDouble() * v.toObject().value("meanTrim").toDouble();
    }
    // The four warm-up rows carry no trim: where they are used the mean is the drive's 2.36 %;
    // left out (by a filter, or as open loop where the log says so and has no wideband) it is
    // 40/36 of that; read through their wideband they carry the error (of 8 % at the low end).
    QVERIFY2(std::abs(trimSum / samples - mean) < 0.15,
             qPrintable(QString::number(trimSum / samples)));
}

QTEST_GUILESS_MAIN(TestCorrect)
#include "tst_correct.moc"

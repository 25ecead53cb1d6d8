#include "base/app_state.h"
#include "base/widgets.h"
#include "meter/kex_maed.h"
#include "meter/meter_file.h"
#include "meter/meter_fit.h"
#include "meter/meter_fit_dialog.h"
#include "meter/meter_grid.h"
#include "meter/meter_import.h"
#include "support/scripted_ui.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QLineSeries>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using namespace varnel;
using varnel::test::ScriptedUi;
using Answer = UiServices::Answer;

namespace {

void writeBytes(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(data), data.size());
}

QByteArray readBytes(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return f.readAll();
}

// "signal|flow" for each row of the record, as stored.
QStringList storedRows(const TMeterRecord& r) {
    QStringList rows;
    for (int i = 1; i <= r.usableRows(); ++i) rows.append(r.SignalText(i) + '|' + r.FlowText(i));
    return rows;
}

const QByteArray kHeader = "AB-1\r\nVolts\r\nkg/hr\r\nfirst\r\nsecond\r\n";

}  // namespace

class TestMeterImport : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void extractToken_data();
    void extractToken();
    void lines_data();
    void lines();
    void import_data();
    void import();
    void importedValuesAreSingles();
    void moreThan62DataLines();
    void convertButtonShowsTheSortedMeter();
    void convertFailures();
    void cliImportThenShowRoundTrips();
    void cliImportIsConvertThenSave();
    void cliFailures();
    void fitDenseCurve();
    void fitFailures_data();
    void fitFailures();
    void screenshot();

  private:
    QString path(const QString& name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<AppState> state_;
    ScriptedUi ui_;
    std::unique_ptr<TMassAirEditorDialog> d_;
};

void TestMeterImport::init() {
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    state_ = std::make_unique<AppState>();
    state_->AppDir = dir_->path() + QLatin1Char('/');
    state_->ProjectDir = dir_->filePath(QStringLiteral("GM")) + QLatin1Char('/');
    QVERIFY(QDir().mkpath(state_->ProjectDir));
    d_ = std::make_unique<TMassAirEditorDialog>(*state_, ui_);
}

void TestMeterImport::cleanup() {
    VERIFY_UI(ui_);
    d_.reset();
}

void TestMeterImport::extractToken_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("start");
    QTest::addColumn<QString>("token");
    QTest::addColumn<int>("after");
    QTest::newRow("first field") << "1.5 2.5" << 1 << "1.5" << 4;
    QTest::newRow("second field") << "1.5 2.5" << 4 << "2.5" << 8;
    QTest::newRow("position below 1") << "ab cd" << -3 << "ab" << 3;
    QTest::newRow("several delimiters") << "1 \t  2" << 2 << "2" << 7;
    QTest::newRow("past the end") << "1 2" << 4 << "" << 4;
    QTest::newRow("last character a delimiter") << "1 " << 2 << "" << 2;
    QTest::newRow("leading delimiters") << "\t\t7" << 1 << "7" << 4;
}

void TestMeterImport::extractToken() {
    QFETCH(QString, text);
    QFETCH(int, start);
    int pos = start;
    QTEST(ExtractToken(text, QStringLiteral("\t "), pos), "token");
    QTEST(pos, "after");
}

void TestMeterImport::lines_data() {
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << QByteArray("a\r\nb\r\n") << QStringList({"a", "b"});
    QTest::newRow("CR alone") << QByteArray("a\rb\r") << QStringList({"a", "b"});
    QTest::newRow("LF alone") << QByteArray("a\nb\n") << QStringList({"a", "b"});
    QTest::newRow("LF CR: two ends") << QByteArray("a\n\rb") << QStringList({"a", "", "b"});
    QTest::newRow("all three mixed")
        << QByteArray("a\rb\nc\r\nd") << QStringList({"a", "b", "c", "d"});
    QTest::newRow("CR CR LF") << QByteArray("a\r\r\nb") << QStringList({"a", "", "b"});
    QTest::newRow("no end at the end") << QByteArray("a\r\nb") << QStringList({"a", "b"});
    QTest::newRow("Ctrl+Z ends the file")
        << QByteArray("a\r\nb\x1A\r\nc\r\n") << QStringList({"a", "b"});
    QTest::newRow("empty") << QByteArray() << QStringList();
    QTest::newRow("8-bit characters")
        << QByteArray("\xE9t\xE9\r") << QStringList({"\u00E9t\u00E9"});
}

void TestMeterImport::lines() {
    QFETCH(QByteArray, data);
    QTEST(MeterTextLines(data), "lines");
}

void TestMeterImport::import_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("kindsBefore");  // Metric and Frequency before the import
    QTest::addColumn<QString>("part");
    QTest::addColumn<int>("frequency");
    QTest::addColumn<int>("metric");
    QTest::addColumn<QString>("description1");
    QTest::addColumn<QString>("description2");
    QTest::addColumn<QStringList>("rows");

    QTest::newRow("example")
        << QByteArray(
               "12345-AB\r\nVolts\r\nkg/hr\r\nExample meter, first line\r\nsecond line\r\n"
               "0.50 10.2\r\n1.00 25.7\r\n1.50 48.1\r\n")
        << 0 << "12345-AB" << 0 << 1 << "Example meter, first line"
        << "second line" << QStringList({"0.500|10.200", "1.000|25.700", "1.500|48.100"});
    QTest::newRow("volts") << QByteArray("P\r\nvolts\r\nlb/hr\r\n") << 1 << "PREVIOUS" << 0 << 0
                           << ""
                           << "" << QStringList();
    QTest::newRow("VOLTS") << QByteArray("PN1\r\nVOLTS\r\nKG/HR\r\n") << 1 << "PN1" << 0 << 1 << ""
                           << "" << QStringList();
    QTest::newRow("Freq") << QByteArray("PN1\r\nFreq\r\nKg/Hr\r\n") << 0 << "PN1" << 1 << 1 << ""
                          << "" << QStringList();
    QTest::newRow("other unit") << QByteArray("PN1\r\nHz.\r\nkg/h\r\n") << 1 << "PN1" << 1 << 0
                                << ""
                                << "" << QStringList();
    QTest::newRow("short header lines keep the fields")
        << QByteArray("AB\r\nV\r\nkg\r\nd1\r\n\r\n1 2\r\n") << 1 << "PREVIOUS" << 1 << 1 << ""
        << "" << QStringList({"1.000|2.000"});
    QTest::newRow("quoted header lines")
        << QByteArray("\"AB-1\"\r\n\"Volts\"\r\n\"kg/hr\"\r\n\"desc one\"\r\n  \"desc two\"  \r\n")
        << 0 << "AB-1" << 0 << 1 << "desc one"
        << "desc two" << QStringList();
    QTest::newRow("one quote only")
        << QByteArray("\"AB-1\r\nVolts\"\r\n") << 1 << "AB-1" << 0 << 1 << ""
        << "" << QStringList();
    QTest::newRow("quoted data line") << kHeader + "\"1 2\"\r\n"
                                      << 0 << "AB-1" << 0 << 1 << "first"
                                      << "second" << QStringList({"1.000|2.000"});
    QTest::newRow("quoted numbers") << kHeader + "\"1\" \"2\"\r\n"
                                    << 0 << "AB-1" << 0 << 1 << "first"
                                    << "second" << QStringList();
    QTest::newRow("data lines")
        << kHeader +
               "1 2\r\n12\r\n123\r\n4.5\r\n3\t4\r\n5     6\r\n7 8 9\r\nx 1\r\n1 y\r\n1,5 2\r\n"
               "1e5000 10\r\n1 -1e5000\r\n  9 10  \r\n"
        << 0 << "AB-1" << 0 << 1 << "first"
        << "second"
        << QStringList(
               {"1.000|2.000", "3.000|4.000", "5.000|6.000", "7.000|8.000", "9.000|10.000"});
    QTest::newRow("number texts")
        << kHeader + "0.5 1234.5678\r\n1 12345\r\n1e0 2.5E+1\r\n-1 +2\r\n.25 10000.00\r\n"
        << 0 << "AB-1" << 0 << 1 << "first"
        << "second"
        << QStringList(
               {"0.500|1234.56", "1.000|12345.0", "1.000|25.000", "-1.000|2.000", "0.250|10000.0"});
    QTest::newRow("values above the editor's limits") << kHeader + "7 12000\r\n"
                                                      << 0 << "AB-1" << 0 << 1 << "first"
                                                      << "second" << QStringList({"7.000|12000.0"});
    QTest::newRow("LF only, as Linux writes text")
        << QByteArray("ABCDEFGHIJ\nVolts\nkg/hr\nd-1\ne-2\n0.5 10\n1.0 20\n") << 1 << "ABCDEFGHIJ"
        << 0 << 1 << "d-1"
        << "e-2" << QStringList({"0.500|10.000", "1.000|20.000"});
    QTest::newRow("Ctrl+Z") << kHeader +
                                   "1 2\r\n\x1A"
                                   "3 4\r\n"
                            << 0 << "AB-1" << 0 << 1 << "first"
                            << "second" << QStringList({"1.000|2.000"});
    QTest::newRow("empty file") << QByteArray() << 1 << "PREVIOUS" << 1 << 1 << ""
                                << "" << QStringList();
}

void TestMeterImport::import() {
    QFETCH(QByteArray, text);
    QFETCH(int, kindsBefore);
    TMeterRecord r;
    r.setPartNumber(QStringLiteral("PREVIOUS"));
    r.setMetric(uint8_t(kindsBefore));
    r.setFrequency(uint8_t(kindsBefore));
    r.setDescription1(QStringLiteral("old one"));
    r.setDescription2(QStringLiteral("old two"));
    r.setPointCount(5);
    ImportMeterText(text, r);
    QTEST(r.PartNumber(), "part");
    QTEST(int(r.Frequency()), "frequency");
    QTEST(int(r.Metric()), "metric");
    QTEST(r.Description1(), "description1");
    QTEST(r.Description2(), "description2");
    QTEST(storedRows(r), "rows");
}

void TestMeterImport::importedValuesAreSingles() {
    TMeterRecord r;
    ImportMeterText(kHeader + "0.1 1234.5678\r\n", r);
    QCOMPARE(r.SignalValue(1), 0.1f);
    QCOMPARE(r.FlowValue(1), 1234.5678f);
    // Part numbers are cut to 26 characters.
    ImportMeterText(QByteArray(40, 'P') + "\r\n", r);
    QCOMPARE(r.PartNumber(), QString(26, QLatin1Char('P')));
}

void TestMeterImport::moreThan62DataLines() {
    QByteArray text = kHeader;
    for (int i = 1; i <= 70; ++i)
        text += QByteArray::number(i) + " " + QByteArray::number(i * 10) + "\r\n";
    TMeterRecord r;
    const MeterImportResult result = ImportMeterText(text, r);
    QCOMPARE(result.points, 62);
    QCOMPARE(result.leftOut, 8);
    QCOMPARE(int(r.PointCount()), 62);
    QCOMPARE(r.SignalText(62), QStringLiteral("62.000"));
    // Nothing was written past the rows: the description lines are intact.
    QCOMPARE(r.Description1(), QStringLiteral("first"));

    const QString file = path(QStringLiteral("many.txt"));
    writeBytes(file, text);
    ui_.expectOpenFile(file);
    ui_.expectInformation(LeftOutMessage(8));
    d_->ImportButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(d_->StringGrid->rowCount(), 64);
    QCOMPARE(LeftOutMessage(8), QStringLiteral("A meter holds at most 62 points: the first 62 were "
                                               "imported and 8 more data lines were left out."));
}

void TestMeterImport::convertButtonShowsTheSortedMeter() {
    const QString file = path(QStringLiteral("meter.txt"));
    writeBytes(file,
               "\"MAF 22\"\r\nFreq\r\nlb/hr\r\nA meter\r\n\r\n"
               "2.5 300\r\n0.5 10.2\r\n1.25 1234.5678\r\n7 12000\r\n");
    d_->MeterModified = false;
    ui_.expectOpenFile(file);
    d_->ImportButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(ui_.lastDir, state_->AppDir);
    QCOMPARE(ui_.lastFilter, QStringLiteral("Text files (*.txt)"));
    MeterGrid* g = d_->StringGrid;
    QCOMPARE(g->rowCount(), 6);
    const QStringList signalTexts = {g->cell(0, 1), g->cell(0, 2), g->cell(0, 3), g->cell(0, 4)};
    const QStringList flowTexts = {g->cell(1, 1), g->cell(1, 2), g->cell(1, 3), g->cell(1, 4)};
    QCOMPARE(signalTexts, QStringList({"0.50", "1.25", "2.50", "7.00"}));
    QCOMPARE(flowTexts, QStringList({"10.20", "1234.56", "300.00", "12000.00"}));
    QCOMPARE(g->cell(0, 0), QStringLiteral("Freq"));
    QCOMPARE(d_->UnitsRGrp->itemIndex(), 0);
    QCOMPARE(d_->PartNumberEdit->text(), QStringLiteral("MAF 22"));
    QCOMPARE(d_->DescriptionMemo->toPlainText(), QStringLiteral("A meter\n"));
    QCOMPARE(d_->Series1->count(), 4);
    QCOMPARE(d_->windowTitle(), QStringLiteral("Mass Air Meter Editor"));
    QVERIFY(d_->MeterFileName.isEmpty());
    QVERIFY(d_->MeterModified);
    // The record keeps the file's order until a save writes the grid's.
    QCOMPARE(d_->MeterRecord.SignalText(1), QStringLiteral("2.500"));

    const QString saved = path(QStringLiteral("GM/meter.maf"));
    ui_.expectSaveFile(saved);
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
    TMeterRecord r;
    QString error;
    QVERIFY(ReadMeterFile(saved, r, error));
    QCOMPARE(storedRows(r),
             QStringList({"0.50|10.20", "1.25|1234.56", "2.50|300.00", "7.00|12000.0"}));
    QCOMPARE(r.FlowValue(4), 12000.0f);
    QCOMPARE(int(r.Frequency()), 1);
    QCOMPARE(int(r.Metric()), 0);
}

void TestMeterImport::convertFailures() {
    d_->PartNumberEdit->setText(QStringLiteral("KEEP"));
    d_->MeterModified = false;
    ui_.expectOpenFile(QString());
    d_->ImportButtonClick();
    ui_.expectOpenFile(path(QStringLiteral("absent.txt")));
    ui_.expectError(QStringLiteral("File not found"));
    d_->ImportButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(d_->PartNumberEdit->text(), QStringLiteral("KEEP"));

    // An empty file: no points, no description, the previous part number stays.
    d_->MeterRecord.setPartNumber(QStringLiteral("BUFFERED"));
    d_->MeterRecord.setMetric(0);
    const QString empty = path(QStringLiteral("empty.txt"));
    writeBytes(empty, QByteArray());
    ui_.expectOpenFile(path(QStringLiteral("empty")));  // typed without its extension
    ui_.expectInformation(NoPointsMessage(empty));
    d_->ImportButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(d_->PartNumberEdit->text(), QStringLiteral("BUFFERED"));
    QCOMPARE(d_->UnitsRGrp->itemIndex(), 0);
    QCOMPARE(d_->StringGrid->rowCount(), 2);
    QCOMPARE(d_->DescriptionMemo->toPlainText(), QStringLiteral("\n"));
}

void TestMeterImport::cliImportThenShowRoundTrips() {
    const QString text = path(QStringLiteral("cli.txt"));
    writeBytes(text,
               "CLI-7\r\nVolts\r\nKG/HR\r\n\"Line \\ one\"\r\nLine two\r\n"
               "3.2 700\r\n0.5 1234.5678\r\n1 12345\r\n");
    const QString out = path(QStringLiteral("cli.maf"));
    QProcess p;
    p.start(QStringLiteral(VARNEL_CLI), {"meter", "import", text, out});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(p.readAllStandardError(), QByteArray());

    p.start(QStringLiteral(VARNEL_CLI), {"meter", "show", out, "--json"});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(p.readAllStandardOutput(), &error);
    QCOMPARE(error.error, QJsonParseError::NoError);
    const QJsonObject o = doc.object();
    QCOMPARE(o.value("partNumber").toString(), QStringLiteral("CLI-7"));
    QCOMPARE(o.value("description1").toString(), QStringLiteral("Line \\ one"));
    QCOMPARE(o.value("description2").toString(), QStringLiteral("Line two"));
    QCOMPARE(o.value("metric").toInt(-1), 1);
    QCOMPARE(o.value("frequency").toInt(-1), 0);
    QCOMPARE(o.value("pointCount").toInt(), 3);
    const QJsonArray rows = o.value("rows").toArray();
    QCOMPARE(rows.size(), 3);
    QStringList texts;
    for (const QJsonValue& v : rows)
        texts.append(v.toObject().value("signal").toString() + '|' +
                     v.toObject().value("flow").toString());
    QCOMPARE(texts, QStringList({"0.50|1234.56", "1.00|12345.0", "3.20|700.00"}));

    p.start(QStringLiteral(VARNEL_CLI), {"meter", "show", out});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).split('\n'),
             QStringList({"part number: CLI-7", "description: Line \\ one", "description: Line two",
                          "unit: kg/hr", "signal: volts", "points: 3", "0.50\t1234.56",
                          "1.00\t12345.0", "3.20\t700.00", ""}));
}

void TestMeterImport::cliImportIsConvertThenSave() {
    QByteArray text = "SAME\r\nfreq\r\nlb/hr\r\nd1\r\nd2\r\n";
    for (int i = 70; i >= 1; --i)
        text += QByteArray::number(i * 0.037, 'f', 4) + "\t" +
                QByteArray::number(i * 13.7, 'f', 3) + "\r\n";
    const QString source = path(QStringLiteral("same.txt"));
    writeBytes(source, text);

    const QString fromCli = path(QStringLiteral("cli.maf"));
    QProcess p;
    p.start(QStringLiteral(VARNEL_CLI), {"meter", "import", source, fromCli});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()).trimmed(), LeftOutMessage(8));

    const QString fromWindow = path(QStringLiteral("window.maf"));
    ui_.expectOpenFile(source);
    ui_.expectInformation(LeftOutMessage(8));
    d_->ImportButtonClick();
    ui_.expectSaveFile(fromWindow);
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(readBytes(fromCli).toHex(), readBytes(fromWindow).toHex());
}

void TestMeterImport::cliFailures() {
    const QString noPart = path(QStringLiteral("nopart.txt"));
    writeBytes(noPart, "\r\nVolts\r\n\r\n\r\n\r\n1 2\r\n");
    const QString out = path(QStringLiteral("nopart.maf"));
    QProcess p;
    p.start(QStringLiteral(VARNEL_CLI), {"meter", "import", noPart, out});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(p.readAllStandardError(), QByteArray("Please enter a valid part number.\n"));
    QVERIFY(!QFileInfo::exists(out));

    p.start(QStringLiteral(VARNEL_CLI), {"meter", "import", path(QStringLiteral("none.txt")), out});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(p.readAllStandardError(), QByteArray("File not found\n"));

    // Not a meter's text: imported, it reads no point; shown, it is refused.
    const QString notes = path(QStringLiteral("notes.txt"));
    writeBytes(notes,
               "Shopping list: eggs, milk, bread, butter, coffee, apples, rice, tea, salt.\n");
    p.start(QStringLiteral(VARNEL_CLI), {"meter", "import", notes, out});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()), NoPointsMessage(notes) + '\n');
    QVERIFY(!QFileInfo::exists(out));
    p.start(QStringLiteral(VARNEL_CLI), {"meter", "show", notes});
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(p.readAllStandardError()),
             notes + " cannot be used: 'ea, sal' is not a valid floating point value\n");
    QCOMPARE(p.readAllStandardOutput(), QByteArray());

    for (const QStringList& args :
         {QStringList({"meter", "import", noPart}), QStringList({"meter", "show"}),
          QStringList({"meter", "show", out, "--xml"})}) {
        p.start(QStringLiteral(VARNEL_CLI), args);
        QVERIFY(p.waitForFinished(10000));
        QCOMPARE(p.exitCode(), 2);
    }
}

// A made-up curve of 300 points in lb/min, as a data sheet gives it: no flow up to 0.70 V, flat
// from 4.85 V on. The fit keeps at most 62 rows on the 0.01 V grid, from the last point of no
// flow to the first of the flat top, and its worst error (taken here at 4000 signals between the
// rows, over the curve above 2 % of its top) is a fraction of what 62 evenly spread rows give.
// Fit Curve in the editor, then Save, writes the same file as the command line.
void TestMeterImport::fitDenseCurve() {
    QVector<double> xs, ys;
    QByteArray text = "# made up\nvolts, lb/min\n";
    for (int k = 0; k < 300; ++k) {
        const double v = 0.40 + k * 0.016;
        const double x = std::clamp(v, 0.70, 4.85) - 0.70;
        const QByteArray flow =
            QByteArray::number(0.08 * x + 0.25 * x * x + 0.03 * std::exp(1.1 * x) - 0.03, 'f', 4);
        text += QByteArray::number(v, 'f', 3) + ",\t" + flow + "\n";
        xs.append(v);
        ys.append(flow.toDouble() * 60);  // lb/h
    }
    const QString curve = path(QStringLiteral("dense.txt"));
    writeBytes(curve, text);
    const QString fromCli = path(QStringLiteral("cli.maf"));
    QProcess p;
    p.start(QStringLiteral(VARNEL_CLI), {"meter", "fit", curve, fromCli, "--unit", "lb/min", "--to",
                                         "lb/h", "--part", "FIT-1"});
    QVERIFY(p.waitForFinished(30000));
    QCOMPARE(p.exitCode(), 0);
    const QString summary = QString::fromUtf8(p.readAllStandardOutput()).trimmed();

    TMeterRecord r;
    QString error;
    QVERIFY(ReadMeterFile(fromCli, r, error));
    QCOMPARE(r.PartNumber(), QStringLiteral("FIT-1"));
    QCOMPARE(int(r.Metric()), 0);
    QCOMPARE(r.Description2(), summary);
    const int n = r.usableRows();
    QVERIFY(n > 40 && n <= 62);
    QVector<double> ms, mf;
    for (int i = 1; i <= n; ++i) {
        QVERIFY(
            QRegularExpression(QStringLiteral("^\\d\\.\\d\\d$")).match(r.SignalText(i)).hasMatch());
        ms.append(r.SignalText(i).toDouble());
        mf.append(r.FlowText(i).toDouble());
        if (i > 1) QVERIFY(mf[i - 1] > mf[i - 2]);
    }
    QCOMPARE(ms.first(), 0.69);  // the last point of no flow, 0.688 V
    QCOMPARE(ms.last(), 4.86);   // the first of the flat top, 4.864 V
    auto at = [](const QVector<double>& x, const QVector<double>& y, double s) {
        int k = 1;
        while (k < x.size() - 1 && s > x[k]) ++k;
        return y[k - 1] + (s - x[k - 1]) * (y[k] - y[k - 1]) / (x[k] - x[k - 1]);
    };
    auto worstOf = [&](const QVector<double>& rs, const QVector<double>& rf) {
        double worst = 0;
        for (int k = 0; k <= 4000; ++k) {
            const double s = rs.first() + k * (rs.last() - rs.first()) / 4000;
            const double c = at(xs, ys, s);
            if (c >= 0.02 * ys.last()) worst = std::max(worst, std::abs(at(rs, rf, s) / c - 1));
        }
        return worst * 100;
    };
    const double worst = worstOf(ms, mf);
    QVERIFY2(worst < 0.3, qPrintable(summary));
    const QRegularExpression shape(
        QStringLiteral("^Worst error [+-]0\\.[0-2]\\d %, mean 0\\.\\d\\d %, (\\d+) rows kept\\.$"));
    QCOMPARE(shape.match(summary).captured(1), QString::number(n));
    QVector<double> es, ef;
    for (int i = 0; i < 62; ++i) {
        es.append(0.70 + i * (4.86 - 0.70) / 61);
        ef.append(at(xs, ys, es.last()));
    }
    qInfo("%s; measured here %.3f %%, 62 even rows %.3f %%", qPrintable(summary), worst,
          worstOf(es, ef));
    QVERIFY(worstOf(es, ef) > 3 * worst);

    const QString fromWindow = path(QStringLiteral("window.maf"));
    ui_.expectOpenFile(curve);
    ui_.expectDialog(QStringLiteral("MeterFitDialog"), [](QDialog& dialog) {
        auto& d = static_cast<MeterFitDialog&>(dialog);
        d.CurveUnitCombo->setCurrentText(QStringLiteral("lb/min"));
        d.MeterUnitCombo->setCurrentText(QStringLiteral("lb/h"));
        d.PartNumberEdit->setText(QStringLiteral("FIT-1"));
        // The meter's own limit of rows is the default.
        return int(d.RowsSpin->value() == 62 ? QDialog::Accepted : QDialog::Rejected);
    });
    ui_.expectInformation(summary);
    d_->FitCurveButton->click();
    QVERIFY(d_->MeterModified);
    QCOMPARE(d_->StringGrid->rowCount(), n + 2);
    ui_.expectSaveFile(fromWindow);
    d_->SaveButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(readBytes(fromCli).toHex(), readBytes(fromWindow).toHex());
}

void TestMeterImport::fitFailures_data() {
    QTest::addColumn<QByteArray>("curve");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");  // on standard error, or output for exit 0
    const QByteArray good = "0.5 0\n1.0 10\n2.0 40\n";
    QTest::newRow("falling flows")
        << QByteArray("# a\n0.5 0\n1.0 10\n1.5 8\n") << QStringList() << 1
        << "The curve's flows fall: 8 at line 4 after 10 at line 3.";
    QTest::newRow("one number on a line")
        << QByteArray("0.5 0\n1.0\n") << QStringList() << 1
        << "Line 2 of the curve is not a signal and a flow: '1.0'";
    QTest::newRow("top flow beyond a meter file")
        << QByteArray("0.5 0\n1.0 100\n2.0 4000\n") << QStringList{"--unit", "g/s"} << 1
        << "The curve's top flow, 14400.00 kg/h, is more than a meter file holds (9999.99); is "
           "its unit right?";
    QTest::newRow("two rows") << good << QStringList{"--unit", "g/s", "--points", "2"} << 0
                              << "Worst error +33.33 %, mean 16.67 %, 2 rows kept.";
    QTest::newRow("above 2 % from the first point")
        << QByteArray("1 1\n2 2\n") << QStringList() << 0
        << "Worst error +0.00 %, mean 0.00 %, 2 rows kept.";
    QTest::newRow("flat") << QByteArray("1 5\n2 5\n") << QStringList() << 1
                          << "The curve's flows do not rise.";
    QTest::newRow("63 rows") << good << QStringList{"--points", "63"} << 2 << "";
    QTest::newRow("unknown unit") << good << QStringList{"--unit", "cfm"} << 2 << "";
    QTest::newRow("unknown target unit") << good << QStringList{"--to", "g/s"} << 2 << "";
}

void TestMeterImport::fitFailures() {
    QFETCH(QByteArray, curve);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    QFETCH(QString, message);
    const QString file = path(QStringLiteral("c.txt"));
    const QString out = path(QStringLiteral("c.maf"));
    writeBytes(file, curve);
    QProcess p;
    p.start(QStringLiteral(VARNEL_CLI), QStringList{"meter", "fit", file, out} + options);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitCode(), code);
    const QString err = QString::fromUtf8(p.readAllStandardError()).trimmed();
    if (code == 2) QVERIFY(err.startsWith(QStringLiteral("varnel-cli: ")));
    if (code == 1) QCOMPARE(err, message);
    if (code == 0) QCOMPARE(QString::fromUtf8(p.readAllStandardOutput()).trimmed(), message);
    QCOMPARE(QFileInfo::exists(out), code == 0);
}

void TestMeterImport::screenshot() {
    const QString file = path(QStringLiteral("shot.txt"));
    QByteArray text =
        "0280-218-019\r\nVolts\r\nkg/hr\r\nHot-film meter, 85 mm housing\r\n"
        "imported from the data sheet\r\n";
    // Out of order on purpose: the grid shows them sorted by signal.
    const double points[][2] = {{2.5, 160.0}, {1.0, 8.5},   {4.5, 640.0}, {0.5, 0.0},
                                {3.0, 250.0}, {1.5, 28.0},  {4.0, 480.0}, {2.0, 80.0},
                                {3.5, 360.0}, {5.0, 850.0}, {1.25, 17.0}};
    for (const auto& pt : points)
        text += QByteArray::number(pt[0]) + " " + QByteArray::number(pt[1]) + "\r\n";
    writeBytes(file, text);
    ui_.expectOpenFile(file);
    d_->show();
    d_->ImportButtonClick();
    VERIFY_UI(ui_);
    QCOMPARE(d_->StringGrid->cell(0, 1), QStringLiteral("0.50"));
    QCOMPARE(d_->Series1->count(), 11);
    QTest::qWait(50);
    const QPixmap shot = d_->grab();
    QCOMPARE(shot.size(), QSize(505, 331));
    const QString target = qEnvironmentVariable("VARNEL_SCREENSHOT");
    if (!target.isEmpty()) QVERIFY(shot.save(target));
}

QTEST_MAIN(TestMeterImport)
#include "tst_meter_import.moc"

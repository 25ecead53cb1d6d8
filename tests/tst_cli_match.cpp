// varnel-cli match, run as a separate program: its grid and table, its JSON, and its copy into
// a project compared with the match dialog's Copy E2P on the main window.

#include "app/kex_main.h"
#include "match/kex_matd.h"
#include "support/match_meters.h"
#include "support/window_fixture.h"

#include <QComboBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QPushButton>
#include <QtTest>

using namespace varnel;
using varnel::test::WindowFixture;
using varnel::test::workedMatchRows;
using varnel::test::workedUseRows;
using varnel::test::writeMeter;

namespace {

struct Run {
    int code = -1;
    QString out;
    QString err;
};

Run cli(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(VARNEL_CLI), args);
    Run r;
    if (!p.waitForFinished(30000)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.code = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

constexpr int kProjectImage = 0x200;

}  // namespace

class TestCliMatch : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void workedExampleText();
    void workedExampleJson();
    void uncoveredEntriesAreNull();
    void intoWritesWhatTheWindowWrites();
    void intoFrequencyProject();
    void preciseMethod();
    void refusedCopyLeavesTheProject();
    void failures_data();
    void failures();

  private:
    QString ford(const QString& name) const {
        return w.state->AppDir + QStringLiteral("Ford/") + name;
    }
    // A new project saved under name, made by the window.
    QString newProject(const QString& name);
    WindowFixture w;
};

void TestCliMatch::init() {
    w.make();
    for (const char* g : GroupNames) QDir().mkpath(w.state->AppDir + QLatin1String(g));
    QVERIFY(writeMeter(ford(QStringLiteral("USE.MAF")), false, false, workedUseRows()));
    QVERIFY(writeMeter(ford(QStringLiteral("MATCH.MAF")), false, false, workedMatchRows()));
    QVERIFY(writeMeter(ford(QStringLiteral("two.maf")), false, false,
                       {{"1.00", "100"}, {"3.00", "300"}}));
    QVERIFY(writeMeter(ford(QStringLiteral("freq.maf")), false, true,
                       {{"0", "0"}, {"1440", "300"}, {"2880", "600"}}));
}

void TestCliMatch::cleanup() {
    VERIFY_UI(w.ui);
    w.form.reset();
}

QString TestCliMatch::newProject(const QString& name) {
    w.fileNew();
    const QString file = w.path(name);
    w.fileSaveAs(file);
    return file;
}

void TestCliMatch::workedExampleText() {
    const Run r = cli({QStringLiteral("match"), ford(QStringLiteral("USE.MAF")),
                       ford(QStringLiteral("MATCH.MAF"))});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    const QStringList lines = r.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2 + 256 + 1 + 32);
    QCOMPARE(lines[0], QStringLiteral("Lbs / Hour"));
    QCOMPARE(lines[1], QStringLiteral("Flow|V Use|V Out"));
    // Grid row r is line r + 1, cell r - 1: the dialog's texts.
    QCOMPARE(lines[2], QStringLiteral("0.00|0.000|0.000"));
    QCOMPARE(lines[10], QStringLiteral("18.75|0.188|0.158"));
    QCOMPARE(lines[129], QStringLiteral("297.66|2.977|2.502"));
    QCOMPARE(lines[257], QStringLiteral("600.00|6.000|4.998"));
    QCOMPARE(lines[258], QStringLiteral("Entry|Word"));
    const auto table = varnel::test::workedTable();
    for (int i = 0; i < 32; ++i)
        QCOMPARE(lines[259 + i], QStringLiteral("%1|%2").arg(i, 5).arg(table[size_t(i)], 4));
}

void TestCliMatch::workedExampleJson() {
    const Run r = cli({QStringLiteral("match"), ford(QStringLiteral("USE.MAF")),
                       ford(QStringLiteral("MATCH.MAF")), QStringLiteral("--json")});
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("flowUnits")).toString(), QStringLiteral("Lbs / Hour"));
    QCOMPARE(o.value(QStringLiteral("useIsFrequency")), QJsonValue(false));
    QCOMPARE(o.value(QStringLiteral("matchIsFrequency")), QJsonValue(false));
    const QJsonArray cells = o.value(QStringLiteral("cells")).toArray();
    QCOMPARE(cells.size(), 256);
    const auto cell = [&](int n, const char* field) {
        return cells[n].toObject().value(QLatin1String(field));
    };
    QCOMPARE(cell(8, "signal").toDouble(), 0.1875);
    QCOMPARE(cell(8, "flow").toDouble(), 18.75);
    QCOMPARE(cell(8, "out").toInt(), 27);
    QCOMPARE(cell(127, "flow").toDouble(), 297.65625);
    QCOMPARE(cell(127, "out").toInt(), 427);
    // Singles print as their shortest decimal form.
    QVERIFY(r.out.contains(QStringLiteral("597.6378")));
    QCOMPARE(float(cell(254, "flow").toDouble()), 597.6378f);
    QCOMPARE(cell(255, "out").toInt(), 853);
    const QJsonArray table = o.value(QStringLiteral("table")).toArray();
    QCOMPARE(table.size(), 32);
    const auto expected = varnel::test::workedTable();
    for (int i = 0; i < 32; ++i) QCOMPARE(table[i].toInt(-1), expected[size_t(i)]);
    // The classic table's predicted error: entry 3's word 97 gives 56.836 lb/h for 56.25; no
    // flow at entry 0 and no word at entry 32 to compare.
    QCOMPARE(o.value(QStringLiteral("method")).toString(), QStringLiteral("classic"));
    const QJsonArray error = o.value(QStringLiteral("error")).toArray();
    QCOMPARE(error.size(), 33);
    QVERIFY(error[0].isNull() && error[32].isNull());
    QVERIFY(qFuzzyCompare(error[3].toDouble(), 100.0 / 96));
    QVERIFY(qFuzzyCompare(o.value(QStringLiteral("worstError")).toDouble(), 100.0 / 96));
    QVERIFY(o.value(QStringLiteral("meanError")).toDouble() > 0);
}

// --method precise prints and copies the 33 words of the precise table; its text output has
// the classic one's shape.
void TestCliMatch::preciseMethod() {
    const QStringList args = {QStringLiteral("match"), ford(QStringLiteral("USE.MAF")),
                              ford(QStringLiteral("freq.maf")), QStringLiteral("--method"),
                              QStringLiteral("precise")};
    const Run r = cli(args + QStringList{QStringLiteral("--json")});
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    QCOMPARE(o.value(QStringLiteral("method")).toString(), QStringLiteral("precise"));
    const QJsonArray table = o.value(QStringLiteral("table")).toArray();
    QCOMPARE(table.size(), 33);
    // 31.25 words per entry (480 Hz per volt in, 2.88 Hz a word), halves to even.
    for (int i = 0; i < 33; ++i) QCOMPARE(table[i].toInt(), int(std::nearbyint(i * 31.25)));
    QVERIFY(qFuzzyCompare(o.value(QStringLiteral("worstError")).toDouble(), -0.8));
    QCOMPARE(o.value(QStringLiteral("error")).toArray().size(), 33);

    const Run text = cli(args);
    QCOMPARE(text.code, 0);
    const QStringList lines = text.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 2 + 256 + 1 + 33);
    QCOMPARE(lines[258], QStringLiteral("Entry|Word"));
    QCOMPARE(lines.mid(290), QStringList({"   31| 969", "   32|1000"}));

    const QString file = newProject(QStringLiteral("p.KEX"));
    QCOMPARE(cli(args + QStringList{QStringLiteral("--into"), file}).code, 0);
    const QByteArray p = WindowFixture::readAll(file);
    QCOMPARE(uint8_t(p[kProjectImage + 64]) * 256 + uint8_t(p[kProjectImage + 65]), 1000);
    QCOMPARE(uint8_t(p[kProjectImage + 0x42]), uint8_t(0x02));
}

void TestCliMatch::uncoveredEntriesAreNull() {
    const Run r = cli({QStringLiteral("match"), ford(QStringLiteral("two.maf")),
                       ford(QStringLiteral("two.maf")), QStringLiteral("--json")});
    QCOMPARE(r.code, 0);
    const QJsonObject o = QJsonDocument::fromJson(r.out.toUtf8()).object();
    const QJsonArray table = o.value(QStringLiteral("table")).toArray();
    QCOMPARE(table.size(), 32);
    for (const QJsonValue& v : table) QVERIFY(v.isNull());
    const QJsonArray cells = o.value(QStringLiteral("cells")).toArray();
    QCOMPARE(cells[44].toObject().value(QStringLiteral("signal")).toDouble(), -1.0);
    QCOMPARE(cells[42].toObject().value(QStringLiteral("out")).toInt(), 171);

    const Run text = cli({QStringLiteral("match"), ford(QStringLiteral("two.maf")),
                          ford(QStringLiteral("two.maf"))});
    QVERIFY(text.out.contains(QStringLiteral("\n    0|---\n")));
    QVERIFY(text.out.contains(QStringLiteral("\n0.00|---|1.002\n")));
}

void TestCliMatch::intoWritesWhatTheWindowWrites() {
    const QString byWindow = newProject(QStringLiteral("window.KEX"));
    const QString byCli = w.path(QStringLiteral("cli.KEX"));
    QVERIFY(QFile::copy(byWindow, byCli));

    w.ui.expectDialog(QStringLiteral("MatchDialog"), [this](QDialog& dialog) {
        auto& d = static_cast<TMatchDialog&>(dialog);
        d.MeterUseCombo->setCurrentText(QStringLiteral("USE.MAF"));
        d.MeterMatchCombo->setCurrentText(QStringLiteral("MATCH.MAF"));
        d.MatchBtn->click();
        w.ui.expectConfirm(QStringLiteral("Ok to save E2P data in main table?"),
                           UiServices::Answer::Yes);
        d.CopyE2PBtn->click();
        return int(QDialog::Rejected);
    });
    w.form->EditMatch->trigger();
    w.ui.expectInformation(byWindow + QStringLiteral(" saved"));
    w.form->FileSave->trigger();
    VERIFY_UI(w.ui);

    const Run r = cli({QStringLiteral("match"), ford(QStringLiteral("USE.MAF")),
                       ford(QStringLiteral("MATCH.MAF")), QStringLiteral("--into"), byCli});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QByteArray a = WindowFixture::readAll(byWindow);
    QByteArray b = WindowFixture::readAll(byCli);
    QCOMPARE(a.size(), 768);
    const auto table = varnel::test::workedTable();
    for (int i = 0; i < 32; ++i)
        QCOMPARE(uint8_t(b[kProjectImage + 2 * i]) * 256 + uint8_t(b[kProjectImage + 2 * i + 1]),
                 table[size_t(i)]);
    // The save date is the only difference: the window's tests save on a fixed day.
    a.replace(4, 4, QByteArray(4, '\0'));
    b.replace(4, 4, QByteArray(4, '\0'));
    QCOMPARE(b.toHex(), a.toHex());
}

void TestCliMatch::intoFrequencyProject() {
    const QString file = newProject(QStringLiteral("f.KEX"));
    const Run r = cli({QStringLiteral("match"), ford(QStringLiteral("USE.MAF")),
                       ford(QStringLiteral("freq.maf")), QStringLiteral("--into"), file});
    QCOMPARE(r.code, 0);
    const QByteArray p = WindowFixture::readAll(file);
    QCOMPARE(uint8_t(p[kProjectImage + 0x42]), uint8_t(0x02));
    QCOMPARE(int(p[0x11]), 1);  // OutputType
    QCOMPARE(uint8_t(p[kProjectImage + 32]) * 256 + uint8_t(p[kProjectImage + 33]), 504);
    // The names are the files' names as the dialog would list them.
    QCOMPARE(p.mid(0xC0, 8), QByteArray("\x07USE.MAF"));
    QCOMPARE(p.mid(0xE0, 9), QByteArray("\x08"
                                        "FREQ.MAF"));
    QCOMPARE(int(p[0x13]), 0);
    QCOMPARE(int(p[0x14]), 0);
}

void TestCliMatch::refusedCopyLeavesTheProject() {
    const QString file = newProject(QStringLiteral("r.KEX"));
    const QByteArray before = WindowFixture::readAll(file);
    const Run r = cli({QStringLiteral("match"), ford(QStringLiteral("two.maf")),
                       ford(QStringLiteral("two.maf")), QStringLiteral("--into"), file});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, QStringLiteral("The match gives no output for 32 of the 32 table entries; "
                                   "nothing was copied.\n"));
    QCOMPARE(WindowFixture::readAll(file), before);
}

void TestCliMatch::failures_data() {
    QTest::addColumn<QStringList>("args");  // %F stands for the Ford folder
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("message");  // empty: any usage text
    QTest::newRow("no meters") << QStringList{} << 2 << "";
    QTest::newRow("one meter") << QStringList{"%FUSE.MAF"} << 2 << "";
    QTest::newRow("three meters") << QStringList{"%FUSE.MAF", "%FUSE.MAF", "%FUSE.MAF"} << 2 << "";
    QTest::newRow("unknown option") << QStringList{"%FUSE.MAF", "%FUSE.MAF", "--csv"} << 2 << "";
    QTest::newRow("--into without a file")
        << QStringList{"%FUSE.MAF", "%FUSE.MAF", "--into"} << 2 << "";
    QTest::newRow("--method without a name")
        << QStringList{"%FUSE.MAF", "%FUSE.MAF", "--method"} << 2 << "";
    QTest::newRow("unknown method")
        << QStringList{"%FUSE.MAF", "%FUSE.MAF", "--method", "exact"} << 2 << "";
    QTest::newRow("precise on a meter whose flows fall")
        << QStringList{"%Ffall.maf", "%FUSE.MAF", "--method", "precise"} << 1
        << "The meter's flows do not rise with its signal.\n";
    QTest::newRow("missing meter")
        << QStringList{"%FUSE.MAF", "%Fnone.maf"} << 1 << "File %Fnone.maf not found\n";
    QTest::newRow("missing project")
        << QStringList{"%FUSE.MAF", "%FUSE.MAF", "--into", "%Fnone.KEX"} << 1
        << "%Fnone.KEX not found\n";
    QTest::newRow("a text that is not a number")
        << QStringList{"%Fbad.maf", "%FUSE.MAF"} << 1
        << "%Fbad.maf cannot be used: '3OO' is not a valid floating point value\n";
    QTest::newRow("a number beyond every type")
        << QStringList{"%FUSE.MAF", "%Fhuge.maf"} << 1
        << "%Fhuge.maf cannot be used: '1e99999' is not a valid floating point value\n";
    QTest::newRow("not a meter file")
        << QStringList{"%FUSE.MAF", "%Fnotes.maf"} << 1
        << "%Fnotes.maf cannot be used: 'ea, sal' is not a valid floating point value\n";
}

void TestCliMatch::failures() {
    QFETCH(QStringList, args);
    QFETCH(int, code);
    QFETCH(QString, message);
    QVERIFY(writeMeter(ford(QStringLiteral("bad.maf")), false, false,
                       {{"0.00", "0"}, {"3.00", "3OO"}, {"6.00", "600"}}));
    QVERIFY(writeMeter(ford(QStringLiteral("fall.maf")), false, false,
                       {{"0.00", "0"}, {"3.00", "300"}, {"6.00", "200"}}));
    QVERIFY(writeMeter(ford(QStringLiteral("huge.maf")), false, false,
                       {{"0.00", "0"}, {"1e99999", "300"}, {"6.00", "600"}}));
    QVERIFY(WindowFixture::writeAll(
        ford(QStringLiteral("notes.maf")),
        "Shopping list: eggs, milk, bread, butter, coffee, apples, rice, tea, salt.\n"));
    const QString folder = ford(QString());
    for (QString& a : args) a.replace(QStringLiteral("%F"), folder);
    const Run r = cli(QStringList{QStringLiteral("match")} + args);
    QCOMPARE(r.code, code);
    if (!message.isEmpty())
        QCOMPARE(r.err, message.replace(QStringLiteral("%F"), folder));
    else
        QVERIFY(r.err.startsWith(QStringLiteral("varnel-cli: ")));
    if (code != 0) QCOMPARE(r.out, QString());
}

QTEST_MAIN(TestCliMatch)
#include "tst_cli_match.moc"

// varnel-cli new, show and set, run as a separate program, and compared with the main window
// doing the same edits.

#include "app/kex_main.h"
#include "base/project_file.h"
#include "base/widgets.h"
#include "support/window_fixture.h"

#include <QAction>
#include <QCheckBox>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QProcess>
#include <QToolButton>
#include <QtTest>

using namespace varnel;
using varnel::test::WindowFixture;

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

QJsonObject showJson(const QString& file) {
    const Run r = cli({QStringLiteral("show"), file, QStringLiteral("--json")});
    if (r.code != 0) return {};
    return QJsonDocument::fromJson(r.out.toUtf8()).object();
}

}  // namespace

class TestCliProject : public QObject {
    Q_OBJECT
  private slots:
    void init();
    void cleanup();

    void newThenShowJsonRoundTrips();
    void newWithFrequencyOutput();
    void showText();
    void setMatchesTheWindow_data();
    void setMatchesTheWindow();
    void diffFiles_data();
    void diffFiles();
    void unreadableFileExits1_data();
    void unreadableFileExits1();
    void refusedEntryExits1AndSavesNothing_data();
    void refusedEntryExits1AndSavesNothing();
    void usageErrors_data();
    void usageErrors();
    void newDoesNotReplaceWithoutForce();
    void refusalsLeaveTheFile();
    void tableCsvMatchesTheWindow();

  private:
    // The edits of one set option, made in the window as a user would.
    void applyInWindow(const QString& option, const QString& value);
    WindowFixture w;
};

void TestCliProject::init() {
    w.make();
}

void TestCliProject::cleanup() {
    VERIFY_UI(w.ui);
    w.form.reset();
}

void TestCliProject::newThenShowJsonRoundTrips() {
    const QString file = w.path(QStringLiteral("round.KEX"));
    const Run made =
        cli({QStringLiteral("new"), file, QStringLiteral("--name"), QStringLiteral("Fox body"),
             QStringLiteral("--description"), QStringLiteral("5.0 with 24 lb injectors"),
             QStringLiteral("--group"), QStringLiteral("import"), QStringLiteral("--metric")});
    QCOMPARE(made.code, 0);
    QCOMPARE(made.err, QString());
    const QByteArray bytes = WindowFixture::readAll(file);
    QCOMPARE(bytes.size(), kProjectFileSize);
    ProjectHeader header;
    EepromImage image;
    QCOMPARE(ReadProjectFile(file, header, image), ReadStatus::Ok);

    const QJsonObject j = showJson(file);
    const QJsonObject h = j.value(QStringLiteral("header")).toObject();
    QCOMPARE(h.size(), 15);
    QCOMPARE(h.value(QStringLiteral("ProjectName")).toString(), QStringLiteral("Fox body"));
    QCOMPARE(h.value(QStringLiteral("Description")).toString(),
             QStringLiteral("5.0 with 24 lb injectors"));
    QCOMPARE(h.value(QStringLiteral("Group")).toInt(), 2);
    QCOMPARE(h.value(QStringLiteral("Metric")).toInt(), 1);
    QCOMPARE(h.value(QStringLiteral("OutputType")).toInt(), 0);
    QCOMPARE(h.value(QStringLiteral("CreatedDate")).toInt(), header.CreatedDate());
    QCOMPARE(h.value(QStringLiteral("ModifiedDate")).toInt(), header.ModifiedDate());
    QCOMPARE(h.value(QStringLiteral("CreatedDate")).toInt(), DayNumber(QDate::currentDate()));
    QCOMPARE(h.value(QStringLiteral("TotalRecords")).toInt(), 48);
    QCOMPARE(h.value(QStringLiteral("HeaderRecords")).toInt(), 32);
    QCOMPARE(h.value(QStringLiteral("SoftwareVersion")).toInt(), 11);
    QCOMPARE(h.value(QStringLiteral("HardwareVersion")).toInt(), 10);
    QCOMPARE(h.value(QStringLiteral("VInMeterGroup")).toInt(), 255);
    QCOMPARE(h.value(QStringLiteral("VOutMeterGroup")).toInt(), 255);
    QCOMPARE(h.value(QStringLiteral("VInMeterName")).toString(), QStringLiteral("(none)"));
    QCOMPARE(h.value(QStringLiteral("VOutMeterName")).toString(), QStringLiteral("(none)"));

    QCOMPARE(j.value(QStringLiteral("image")).toString(),
             QString::fromLatin1(bytes.mid(kHeaderSize).toHex().toUpper()));
    QCOMPARE(j.value(QStringLiteral("output")).toString(), QStringLiteral("voltage"));
    QCOMPARE(j.value(QStringLiteral("invert")).toBool(), false);
    QCOMPARE(j.value(QStringLiteral("pots")).toArray(), QJsonArray({0, 0, 0, 0}));
    QCOMPARE(j.value(QStringLiteral("limit")).toString(), QStringLiteral("4.995"));
    const QJsonArray table = j.value(QStringLiteral("table")).toArray();
    QCOMPARE(table.size(), 33);
    for (int i = 0; i < 33; ++i) {
        const QJsonObject row = table[i].toObject();
        QCOMPARE(row.value(QStringLiteral("entry")).toInt(), i);
        QCOMPARE(row.value(QStringLiteral("word")).toInt(), int(image.entry(i)));
        QCOMPARE(row.value(QStringLiteral("text")).toString(), EntryToVoltText(image, i));
        QCOMPARE(row.value(QStringLiteral("input")).toString(), InputVoltText(i));
    }
    QCOMPARE(table[13].toObject().value(QStringLiteral("text")).toString(),
             QStringLiteral(" 2.437 "));

    // The window's File > New with the same answers makes the same bytes (its date is fixed).
    w.fileNew([](TNewDialog& d) {
        d.ProjectNameEdit->setText(QStringLiteral("Fox body"));
        d.DescriptionEdit->setText(QStringLiteral("5.0 with 24 lb injectors"));
        d.GroupRGrp->setItemIndex(2);
        d.UnitsRGrp->setItemIndex(1);
    });
    QCOMPARE(w.state->image, image);
    QCOMPARE(w.state->header.toByteArray().mid(8), header.toByteArray().mid(8));
}

void TestCliProject::newWithFrequencyOutput() {
    const QString volt = w.path(QStringLiteral("v.KEX"));
    const QString freq = w.path(QStringLiteral("f.KEX"));
    QCOMPARE(cli({QStringLiteral("new"), volt}).code, 0);
    QCOMPARE(
        cli({QStringLiteral("new"), freq, QStringLiteral("--output"), QStringLiteral("frequency")})
            .code,
        0);
    const QByteArray v = WindowFixture::readAll(volt);
    const QByteArray f = WindowFixture::readAll(freq);
    // The words are kept; only the kind (and the header's record of it) changes.
    QCOMPARE(uint8_t(f[kHeaderSize + kModeByteOffset]), uint8_t(0x02));
    QCOMPARE(uint8_t(f[0x11]), uint8_t(1));
    QByteArray fAsVolt = f;
    fAsVolt[kHeaderSize + kModeByteOffset] = char(0x01);
    fAsVolt[0x11] = 0;
    QCOMPARE(fAsVolt.mid(8), v.mid(8));

    const QJsonObject j = showJson(freq);
    QCOMPARE(j.value(QStringLiteral("output")).toString(), QStringLiteral("frequency"));
    QCOMPARE(j.value(QStringLiteral("limit")).toString(), QStringLiteral("2946"));
    QCOMPARE(j.value(QStringLiteral("table"))
                 .toArray()[13]
                 .toObject()
                 .value(QStringLiteral("text"))
                 .toString(),
             QStringLiteral(" 1437 "));
    QCOMPARE(
        j.value(QStringLiteral("header")).toObject().value(QStringLiteral("OutputType")).toInt(),
        1);
}

void TestCliProject::showText() {
    const QString file = w.path(QStringLiteral("text.KEX"));
    QCOMPARE(
        cli({QStringLiteral("new"), file, QStringLiteral("--name"), QStringLiteral("Plain")}).code,
        0);
    QCOMPARE(cli({QStringLiteral("set"), file, QStringLiteral("--pot"), QStringLiteral("2=7"),
                  QStringLiteral("--invert"), QStringLiteral("on")})
                 .code,
             0);
    const Run r = cli({QStringLiteral("show"), file});
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split(QLatin1Char('\n'));
    for (const char* expected :
         {"ProjectName: Plain", "Group: 0 (Ford)", "Output: Voltage", "Invert: on", "Pots: 0 7 0 0",
          "Limit: 4.995", "Entry|V in   |Word|V Out", "   13| 2.437 | 499| 2.437 ",
          "   32| 6.000 |1023| 4.995 "})
        QVERIFY2(lines.contains(QLatin1String(expected)), expected);
}

void TestCliProject::applyInWindow(const QString& option, const QString& value) {
    TMainForm& f = *w.form;
    const QString key = value.section(QLatin1Char('='), 0, 0);
    const QString rest = value.section(QLatin1Char('='), 1);
    if (option == QLatin1String("--entry")) {
        f.TableGrid->commitEdit(1, key.toInt() + 1, rest);
    } else if (option == QLatin1String("--limit")) {
        f.LimitEdit->setFocus();
        f.LimitEdit->selectAll();
        QTest::keyClicks(f.LimitEdit, value);
    } else if (option == QLatin1String("--pot")) {
        const int k = key.toInt();
        const int target = rest.toInt();
        for (int guard = 0; guard < 300 && w.state->PotValue[k - 1] != target; ++guard) {
            SpinButton* spin = f.PotSpins[k - 1];
            (w.state->PotValue[k - 1] < target ? spin->upButton() : spin->downButton())->click();
        }
    } else if (option == QLatin1String("--invert")) {
        f.InvertCBox->setChecked(value == QLatin1String("on"));
    } else if (option == QLatin1String("--output")) {
        f.OutputRGrp->setItemIndex(value == QLatin1String("frequency") ? 1 : 0);
    } else {
        // A range option: select the rows, give the dialog its number, pick the menu item.
        f.selectEntries(key.section(QLatin1Char('-'), 0, 0).toInt(),
                        key.section(QLatin1Char('-'), 1).toInt());
        if (!rest.isEmpty())
            w.ui.expectDialog(QStringLiteral("TableValueDialog"), [rest](QDialog& d) {
                d.findChild<QLineEdit*>(QStringLiteral("ValueEdit"))->setText(rest);
                return int(QDialog::Accepted);
            });
        const QHash<QString, QAction*> items{{"--fill", f.TableSet},
                                             {"--add", f.TableAdd},
                                             {"--scale", f.TableScale},
                                             {"--interpolate", f.TableInterpolate},
                                             {"--smooth", f.TableSmooth}};
        items.value(option)->trigger();
    }
}

void TestCliProject::setMatchesTheWindow_data() {
    QTest::addColumn<QStringList>("options");
    QTest::newRow("entry 13") << QStringList{"--entry", "13=2.5"};
    // What the stores take as they take it: clamped, or cleared below the frequency floor.
    QTest::newRow("clamped and cleared entries") << QStringList{
        "--entry", "5=9", "--output", "frequency", "--entry", "6=-1", "--entry", "7=1e-5000"};
    QTest::newRow("limit 4.5") << QStringList{"--limit", "4.5"};
    QTest::newRow("limit with refused keys") << QStringList{"--limit", "-3,x5"};
    QTest::newRow("pots") << QStringList{"--pot", "1=5", "--pot", "4=99", "--pot", "1=3"};
    QTest::newRow("invert") << QStringList{"--invert", "on"};
    QTest::newRow("frequency edits") << QStringList{"--output", "frequency", "--entry", "20=1000",
                                                    "--limit",  "1500",      "--entry", "21=3"};
    QTest::newRow("there and back") << QStringList{"--entry",  "3=1",     "--output", "frequency",
                                                   "--output", "voltage", "--entry",  "0=0.5"};
    QTest::newRow("range operations")
        << QStringList{"--fill",  "3-5=2.5", "--scale",       "10-20=5", "--add",    "0-4=-0.1",
                       "--entry", "7=1",     "--interpolate", "20-30",   "--smooth", "0-32"};
    QTest::newRow("ranges in hertz") << QStringList{
        "--output", "frequency", "--add", "5-9=100", "--fill", "30-32=9999", "--scale", "0-32=-10"};
}

void TestCliProject::setMatchesTheWindow() {
    QFETCH(QStringList, options);
    const QString base = w.path(QStringLiteral("base.KEX"));
    QCOMPARE(cli({QStringLiteral("new"), base}).code, 0);
    // A few pot bytes above the spin range, as a retrieved box may hold.
    QByteArray bytes = WindowFixture::readAll(base);
    bytes[kHeaderSize + 0x44] = char(200);
    const QString byCli = w.path(QStringLiteral("cli.KEX"));
    const QString byWindow = w.path(QStringLiteral("window.KEX"));
    QVERIFY(WindowFixture::writeAll(byCli, bytes));
    QVERIFY(WindowFixture::writeAll(byWindow, bytes));

    const Run r = cli(QStringList{QStringLiteral("set"), byCli} + options);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.code, 0);

    w.fileOpen(byWindow);
    for (int i = 0; i + 1 < options.size(); i += 2) applyInWindow(options[i], options[i + 1]);
    w.ui.expectInformation(byWindow + QStringLiteral(" saved"));
    w.form->FileSave->trigger();

    const QByteArray c = WindowFixture::readAll(byCli);
    const QByteArray v = WindowFixture::readAll(byWindow);
    QCOMPARE(c.size(), kProjectFileSize);
    QCOMPARE(c.mid(kHeaderSize).toHex(), v.mid(kHeaderSize).toHex());
    // The header differs only in the day of the save.
    QCOMPARE(c.left(4), v.left(4));
    QCOMPARE(c.mid(8, kHeaderSize - 8), v.mid(8, kHeaderSize - 8));
    QCOMPARE(c.mid(4, 4), bytes.mid(4, 4));
    if (QTest::currentDataTag() == QLatin1String("entry 13"))
        QCOMPARE(c.mid(kHeaderSize + 0x1A, 2), QByteArray::fromHex("0200"));
    if (QTest::currentDataTag() == QLatin1String("limit 4.5"))
        QCOMPARE(c.mid(kHeaderSize + 0x48, 2), QByteArray::fromHex("039A"));
}

void TestCliProject::diffFiles_data() {
    // B: a new project with --name (unless empty), then set with the options; against a new
    // project A made the same day.
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("out");
    QTest::newRow("same") << "" << QStringList() << 0 << "The projects hold the same box bytes.\n";
    QTest::newRow("the header alone") << "B" << QStringList() << 0
                                      << "The projects hold the same box bytes.\n"
                                         "ProjectName: (none) | B\n";
    QTest::newRow("box bytes, then the header")
        << "B" << QStringList{"--entry", "5=2.5", "--pot", "1=7", "--output", "frequency"} << 3
        << "Entry 5 (0.937 V in): 0.937 V (192) | 1475 Hz (512)\n"
           "Output: Voltage | Frequency\nPot 1: 0 | 7\nOutputType: 0 | 1\n"
           "ProjectName: (none) | B\n";
}

void TestCliProject::diffFiles() {
    QFETCH(QString, name);
    QFETCH(QStringList, options);
    QFETCH(int, code);
    const QString a = w.path(QStringLiteral("a.KEX"));
    const QString b = w.path(QStringLiteral("b.KEX"));
    QCOMPARE(cli({QStringLiteral("new"), a}).code, 0);
    QStringList made{QStringLiteral("new"), b};
    if (!name.isEmpty()) made << QStringLiteral("--name") << name;
    QCOMPARE(cli(made).code, 0);
    if (!options.isEmpty()) QCOMPARE(cli(QStringList{QStringLiteral("set"), b} + options).code, 0);
    const Run text = cli({QStringLiteral("diff"), a, b});
    QCOMPARE(text.code, code);
    QTEST(text.out, "out");
    QCOMPARE(text.err, QString());
    const Run json = cli({QStringLiteral("diff"), QStringLiteral("--json"), a, b});
    QCOMPARE(json.code, code);
    const QJsonObject o = QJsonDocument::fromJson(json.out.toUtf8()).object();
    QCOMPARE(o.value("equal").toBool(), code == 0);
    QCOMPARE(
        o.value("header").toObject().value("ProjectName").toObject(),
        name.isEmpty() ? QJsonObject() : QJsonObject({{"a", "(none)"}, {"b", QJsonValue(name)}}));
    if (code == 3) {
        QCOMPARE(o.value("entries").toArray(), QJsonArray({QJsonObject({{"entry", 5},
                                                                        {"input", "0.937"},
                                                                        {"a", "0.937"},
                                                                        {"b", "1475"},
                                                                        {"aWord", 192},
                                                                        {"bWord", 512}})}));
        QCOMPARE(o.value("pots").toArray(),
                 QJsonArray({QJsonObject({{"pot", 1}, {"a", 0}, {"b", 7}})}));
        QCOMPARE(o.value("mode").toObject().value("b").toObject().value("output").toString(),
                 QStringLiteral("frequency"));
        QVERIFY(o.value("limit").isNull());
    }
}

void TestCliProject::unreadableFileExits1_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArray>("bytes");  // empty: no file
    QTest::addColumn<QString>("message");
    QTest::newRow("show missing") << "show" << QByteArray() << "%1 not found";
    QTest::newRow("show short") << "show" << QByteArray(15, 'x') << "Error (2) reading %1";
    QTest::newRow("show cut image") << "show" << QByteArray() << "Error (4) reading %1";
    QTest::newRow("set missing") << "set" << QByteArray() << "%1 not found";
    QTest::newRow("set short") << "set" << QByteArray(15, 'x') << "Error (2) reading %1";
    QTest::newRow("diff missing") << "diff" << QByteArray() << "%1 not found";
    QTest::newRow("diff cut image") << "diff" << QByteArray() << "Error (4) reading %1";
}

void TestCliProject::unreadableFileExits1() {
    QFETCH(QString, command);
    QFETCH(QByteArray, bytes);
    QFETCH(QString, message);
    const QString file = w.path(QStringLiteral("bad.KEX"));
    if (message.startsWith(QLatin1String("Error (4)"))) {
        QCOMPARE(cli({QStringLiteral("new"), file}).code, 0);
        bytes = WindowFixture::readAll(file).left(767);
    }
    if (!bytes.isEmpty()) QVERIFY(WindowFixture::writeAll(file, bytes));
    QStringList args{command, file};
    if (command == QLatin1String("set")) args << QStringLiteral("--entry") << QStringLiteral("1=1");
    if (command == QLatin1String("diff")) {
        args.insert(1, w.path(QStringLiteral("good.KEX")));
        QCOMPARE(cli({QStringLiteral("new"), args[1]}).code, 0);
    }
    const Run r = cli(args);
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, message.arg(file) + QLatin1Char('\n'));
    QCOMPARE(r.out, QString());
    QCOMPARE(WindowFixture::readAll(file), bytes);
}

void TestCliProject::refusedEntryExits1AndSavesNothing_data() {
    QTest::addColumn<QStringList>("options");  // the last --entry is the one refused
    QTest::newRow("letters") << QStringList{"--entry", "5=abc"};
    QTest::newRow("trailing letter") << QStringList{"--entry", "5=2.5x"};
    QTest::newRow("beyond every type") << QStringList{"--entry", "5=1e5000"};
    QTest::newRow("negative voltage, after a good one")
        << QStringList{"--entry", "3=1", "--pot", "1=5", "--entry", "6=-1"};
    QTest::newRow("letters under frequency")
        << QStringList{"--output", "frequency", "--entry", "32=abc"};
}

void TestCliProject::refusedEntryExits1AndSavesNothing() {
    QFETCH(QStringList, options);
    const QString file = w.path(QStringLiteral("kept.KEX"));
    QCOMPARE(cli({QStringLiteral("new"), file}).code, 0);
    const QByteArray before = WindowFixture::readAll(file);
    const Run r = cli(QStringList{QStringLiteral("set"), file} + options);
    QCOMPARE(r.code, 1);
    const QString entry = options.last();
    QCOMPARE(r.err,
             QStringLiteral("'%1' is not a valid value for table entry %2\n")
                 .arg(entry.section(QLatin1Char('='), 1), entry.section(QLatin1Char('='), 0, 0)));
    QCOMPARE(WindowFixture::readAll(file), before);
}

void TestCliProject::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("new without file") << QStringList{"new"};
    QTest::newRow("new GM") << QStringList{"new", "x.KEX", "--group", "gm"};
    QTest::newRow("new odd output") << QStringList{"new", "x.KEX", "--output", "current"};
    QTest::newRow("new missing value") << QStringList{"new", "x.KEX", "--name"};
    QTest::newRow("show unknown option") << QStringList{"show", "x.KEX", "--xml"};
    QTest::newRow("set entry 33") << QStringList{"set", "x.KEX", "--entry", "33=1"};
    QTest::newRow("set entry without =") << QStringList{"set", "x.KEX", "--entry", "13"};
    QTest::newRow("set pot 5") << QStringList{"set", "x.KEX", "--pot", "5=1"};
    QTest::newRow("set pot 100") << QStringList{"set", "x.KEX", "--pot", "1=100"};
    QTest::newRow("set invert maybe") << QStringList{"set", "x.KEX", "--invert", "maybe"};
    QTest::newRow("set fill backwards") << QStringList{"set", "x.KEX", "--fill", "20-10=1"};
    QTest::newRow("set fill past 32") << QStringList{"set", "x.KEX", "--fill", "0-33=1"};
    QTest::newRow("set add without value") << QStringList{"set", "x.KEX", "--add", "0-3"};
    QTest::newRow("set scale not a number") << QStringList{"set", "x.KEX", "--scale", "0-3=5%"};
    QTest::newRow("set smooth of two") << QStringList{"set", "x.KEX", "--smooth", "5-6"};
    QTest::newRow("table import without CSV") << QStringList{"table", "import", "x.KEX"};
    QTest::newRow("diff of three files") << QStringList{"diff", "x.KEX", "y.KEX", "z.KEX"};
}

void TestCliProject::usageErrors() {
    QFETCH(QStringList, args);
    const QString cwd = QDir::currentPath();
    QDir::setCurrent(w.dir->path());
    const Run r = cli(args);
    QDir::setCurrent(cwd);
    QCOMPARE(r.code, 2);
    QVERIFY(r.err.startsWith(QLatin1String("varnel-cli: ")));
    QVERIFY(!QFileInfo::exists(w.path(QStringLiteral("x.KEX"))));
}

void TestCliProject::newDoesNotReplaceWithoutForce() {
    const QString file = w.path(QStringLiteral("keep.KEX"));
    const QByteArray old("not a project yet");
    QVERIFY(WindowFixture::writeAll(file, old));
    const Run r = cli({QStringLiteral("new"), file});
    QCOMPARE(r.code, 1);
    QCOMPARE(r.err, file + QStringLiteral(" already exists (use --force to replace it)\n"));
    QCOMPARE(WindowFixture::readAll(file), old);
    QCOMPARE(cli({QStringLiteral("new"), file, QStringLiteral("--force")}).code, 0);
    QCOMPARE(WindowFixture::readAll(file).size(), kProjectFileSize);
}

void TestCliProject::refusalsLeaveTheFile() {
    const QString file = w.path(QStringLiteral("keep.KEX"));
    const QString csv = w.path(QStringLiteral("bad.csv"));
    QCOMPARE(cli({QStringLiteral("new"), file}).code, 0);
    const QByteArray before = WindowFixture::readAll(file);
    QVERIFY(WindowFixture::writeAll(csv, "entry,word\n1,5\n1,6\n"));
    const Run fill =
        cli({QStringLiteral("set"), file, QStringLiteral("--entry"), QStringLiteral("1=2"),
             QStringLiteral("--fill"), QStringLiteral("3-5=-1")});
    QCOMPARE(fill.code, 1);
    QCOMPARE(fill.err, QStringLiteral("'-1' is not a valid value for table entries 3 to 5\n"));
    const Run import = cli({QStringLiteral("table"), QStringLiteral("import"), file, csv});
    QCOMPARE(import.code, 1);
    QCOMPARE(import.err, QStringLiteral("Line 3 of %1: entry 1 is given twice.\n").arg(csv));
    QCOMPARE(WindowFixture::readAll(file), before);
}

void TestCliProject::tableCsvMatchesTheWindow() {
    const QString base = w.path(QStringLiteral("base.KEX"));
    const QString csv = w.path(QStringLiteral("in.csv"));
    QCOMPARE(
        cli({QStringLiteral("new"), base, QStringLiteral("--output"), QStringLiteral("frequency")})
            .code,
        0);
    QVERIFY(WindowFixture::writeAll(csv, "word,entry,f_out\n7,30,\n,2,1000\n"));
    // Export: the window's file and the command's output, with and without --output.
    w.fileOpen(base);
    const QString byWindow = w.path(QStringLiteral("window.csv"));
    w.ui.expectSaveFile(byWindow);
    w.ui.expectInformation(byWindow + QStringLiteral(" saved"));
    w.form->FileExportTable->trigger();
    const Run exported = cli({QStringLiteral("table"), QStringLiteral("export"), base});
    QCOMPARE(exported.code, 0);
    QCOMPARE(exported.out.toUtf8(), WindowFixture::readAll(byWindow));
    QVERIFY(exported.out.startsWith(QLatin1String("entry,v_in,f_out,word\n0,0.000,0,0\n")));
    const QString byCli = w.path(QStringLiteral("cli.csv"));
    QCOMPARE(cli({QStringLiteral("table"), QStringLiteral("export"), base,
                  QStringLiteral("--output"), byCli})
                 .code,
             0);
    QCOMPARE(WindowFixture::readAll(byCli), WindowFixture::readAll(byWindow));

    // Import: the word column is empty in one row, so that row is refused in both.
    w.ui.expectOpenFile(csv);
    w.ui.expectError(QStringLiteral("Line 3 of %1: word '' is not 0 to 1023.").arg(csv));
    w.form->FileImportTable->trigger();
    QVERIFY(WindowFixture::writeAll(csv, "entry,f_out\n30,20\n2,1000\n"));
    w.ui.expectOpenFile(csv);
    w.form->FileImportTable->trigger();
    QCOMPARE(cli({QStringLiteral("table"), QStringLiteral("import"), base, csv}).code, 0);
    QCOMPARE(WindowFixture::readAll(base).mid(kHeaderSize), w.state->image.toByteArray());
    QCOMPARE(w.state->image.entry(2), uint16_t(347));
}

QTEST_MAIN(TestCliProject)
#include "tst_cli_project.moc"
